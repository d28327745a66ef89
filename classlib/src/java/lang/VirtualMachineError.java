package java.lang;

public abstract class VirtualMachineError extends Error {

    public VirtualMachineError() {
        super();
    }

    public VirtualMachineError(String message) {
        super(message);
    }
}
