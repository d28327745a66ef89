package java.lang;

import java.io.PrintStream;
import java.io.PrintWriter;

/**
 * The machine makes most throwables without running a constructor and fills in only the
 * first two words: the recorded frames and the message. Everything here therefore works
 * with just those two set, and no further instance field may be added (the wrappers keep
 * what they wrap right after them). Like Object, this class creates nothing itself.
 */
public class Throwable implements java.io.Serializable {

    // Word 0: the machine's frame record; only the machine reads or writes it.
    private transient Object backtrace;

    // Word 1.
    private String detailMessage;

    public Throwable() {
        fillInStackTrace();
    }

    public Throwable(String message) {
        fillInStackTrace();
        detailMessage = message;
    }

    public String getMessage() {
        return detailMessage;
    }

    public String getLocalizedMessage() {
        return getMessage();
    }

    public String toString() {
        String name = getClass().getName();
        String message = getLocalizedMessage();
        if (message == null) {
            return name;
        }
        return name.concat(": ").concat(message);
    }

    public void printStackTrace() {
        // Before System has its streams there is nowhere to print to.
        PrintStream err = System.err;
        if (err != null) {
            printStackTrace0(err);
        }
    }

    public void printStackTrace(PrintStream s) {
        LangSupport.checkStream(s);
        printStackTrace0(s);
    }

    public void printStackTrace(PrintWriter s) {
        LangSupport.checkStream(s);
        printStackTrace0(s);
    }

    // The stream may be any object with an instance method println(char[]).
    private native void printStackTrace0(Object stream);

    public native Throwable fillInStackTrace();

    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = -3042686055658047285L;
}
