package java.lang;

public class VerifyError extends LinkageError {

    public VerifyError() {
        super();
    }

    public VerifyError(String message) {
        super(message);
    }
}
