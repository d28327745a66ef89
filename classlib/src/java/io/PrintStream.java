package java.io;

/**
 * Prints values as text onto another output stream. It never throws an
 * IOException: failures set an error flag that checkError reports.
 *
 * Characters are written in the platform's default encoding, which on this
 * system is ISO 8859-1: each char becomes its low byte, and characters above
 * 0xFF become '?'.
 *
 * None of the console natives that the machine offers for this class is
 * declared here: every PrintStream writes to its own underlying stream, and
 * System.out and System.err reach the console through file output streams on
 * the standard descriptors.
 *
 * Each print or println goes to the underlying stream in one write, the line
 * separator included: threads printing lines at the same time then never mix
 * their text within a line, even where a monitor is not enough to keep them
 * apart. Every method reads the stream once, so a print racing close() fails
 * quietly instead of throwing.
 */
public class PrintStream extends FilterOutputStream {
    private boolean autoFlush;
    private boolean trouble;
    private boolean closing;

    public PrintStream(OutputStream out) {
        this(out, false);
    }

    /**
     * With autoFlush, the stream is flushed after every println, every array
     * write, and every print of text that holds a newline.
     */
    public PrintStream(OutputStream out, boolean autoFlush) {
        super(out);
        if (out == null) {
            throw new NullPointerException("Null output stream");
        }
        this.autoFlush = autoFlush;
    }

    public synchronized void flush() {
        OutputStream o = out;
        if (o == null) {
            return;
        }
        try {
            o.flush();
        } catch (IOException e) {
            trouble = true;
        }
    }

    public synchronized void close() {
        if (closing) {
            return;
        }
        closing = true;
        OutputStream o = out;
        if (o == null) {
            return;
        }
        out = null;
        try {
            o.flush();
        } catch (IOException e) {
            trouble = true;
        }
        try {
            o.close();
        } catch (IOException e) {
            trouble = true;
        }
    }

    /**
     * Flushes the stream and tells whether any write, flush or close has
     * failed so far. Writing after close counts as a failure.
     */
    public boolean checkError() {
        flush();
        return trouble;
    }

    protected void setError() {
        trouble = true;
    }

    public synchronized void write(int b) {
        OutputStream o = out;
        if (o == null) {
            trouble = true;
            return;
        }
        try {
            o.write(b);
            if (b == '\n' && autoFlush) {
                o.flush();
            }
        } catch (IOException e) {
            trouble = true;
        }
    }

    public synchronized void write(byte[] buf, int off, int len) {
        OutputStream o = out;
        if (o == null) {
            trouble = true;
            return;
        }
        try {
            o.write(buf, off, len);
            if (autoFlush) {
                o.flush();
            }
        } catch (IOException e) {
            trouble = true;
        }
    }

    /**
     * Converts len chars of s (or of a when s is null) from off on to bytes and
     * writes them, followed by the line separator when newline is set, in one
     * write.
     */
    private synchronized void emit(String s, char[] a, int off, int len, boolean newline) {
        OutputStream o = out;
        if (o == null) {
            trouble = true;
            return;
        }
        String sep = newline ? LineSeparator.get() : "";
        int total = len + sep.length();
        byte[] bytes = new byte[total];
        char[] chars = a;
        if (s != null) {
            chars = new char[len];
            s.getChars(off, off + len, chars, 0);
            off = 0;
        }
        boolean sawNewline = newline;
        for (int i = 0; i < len; i++) {
            char c = chars[off + i];
            if (c == '\n') {
                sawNewline = true;
            }
            bytes[i] = c <= 0xFF ? (byte) c : (byte) '?';
        }
        for (int i = len; i < total; i++) {
            bytes[i] = (byte) sep.charAt(i - len);
        }
        try {
            o.write(bytes, 0, total);
            if (autoFlush && sawNewline) {
                o.flush();
            }
        } catch (IOException e) {
            trouble = true;
        }
    }

    private void emit(String s, boolean newline) {
        if (s == null) {
            s = "null";
        }
        emit(s, null, 0, s.length(), newline);
    }

    public void print(boolean b) {
        emit(b ? "true" : "false", false);
    }

    public void print(char c) {
        emit(String.valueOf(c), false);
    }

    public void print(int i) {
        emit(String.valueOf(i), false);
    }

    public void print(long l) {
        emit(String.valueOf(l), false);
    }

    public void print(float f) {
        emit(String.valueOf(f), false);
    }

    public void print(double d) {
        emit(String.valueOf(d), false);
    }

    public void print(char[] s) {
        emit(null, s, 0, s.length, false);
    }

    public void print(String s) {
        emit(s, false);
    }

    public void print(Object obj) {
        emit(String.valueOf(obj), false);
    }

    public void println() {
        emit("", true);
    }

    public void println(boolean x) {
        emit(x ? "true" : "false", true);
    }

    public void println(char x) {
        emit(String.valueOf(x), true);
    }

    public void println(int x) {
        emit(String.valueOf(x), true);
    }

    public void println(long x) {
        emit(String.valueOf(x), true);
    }

    public void println(float x) {
        emit(String.valueOf(x), true);
    }

    public void println(double x) {
        emit(String.valueOf(x), true);
    }

    /** Also the line printer of Throwable's stack trace native. */
    public void println(char[] x) {
        emit(null, x, 0, x.length, true);
    }

    public void println(String x) {
        emit(x, true);
    }

    public void println(Object x) {
        emit(String.valueOf(x), true);
    }
}
