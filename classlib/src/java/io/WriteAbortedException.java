package java.io;

/** A stream whose writer failed partway: the stream holds the failure, detail. */
public class WriteAbortedException extends ObjectStreamException {
    /** The failure the writer met. */
    public Exception detail;

    public WriteAbortedException(String s, Exception ex) {
        super(s);
        detail = ex;
    }

    /** The message, then the failure's own text when there is one. */
    public String getMessage() {
        if (detail == null) {
            return super.getMessage();
        }
        return super.getMessage() + "; " + detail.toString();
    }
}
