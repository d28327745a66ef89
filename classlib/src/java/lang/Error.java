package java.lang;

public class Error extends Throwable {

    public Error() {
        super();
    }

    public Error(String message) {
        super(message);
    }
}
