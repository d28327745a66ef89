package java.lang;

public class UnknownError extends VirtualMachineError {

    public UnknownError() {
        super();
    }

    public UnknownError(String message) {
        super(message);
    }
}
