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
 */
public class PrintStream extends FilterOutputStream {
    /** Largest amount of text converted to bytes at a time. */
    private static final int CHUNK = 1024;

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

    public void flush() {
        if (out == null) {
            return;
        }
        try {
            out.flush();
        } catch (IOException e) {
            trouble = true;
        }
    }

    public void close() {
        if (closing) {
            return;
        }
        closing = true;
        if (out == null) {
            return;
        }
        try {
            out.flush();
        } catch (IOException e) {
            trouble = true;
        }
        try {
            out.close();
        } catch (IOException e) {
            trouble = true;
        }
        out = null;
    }

    /**
     * Flushes the stream and tells whether any write, flush or close has
     * failed so far. Writing after close counts as a failure.
     */
    public boolean checkError() {
        if (out != null) {
            flush();
        }
        return trouble;
    }

    protected void setError() {
        trouble = true;
    }

    public void write(int b) {
        if (out == null) {
            trouble = true;
            return;
        }
        try {
            out.write(b);
            if (b == '\n' && autoFlush) {
                out.flush();
            }
        } catch (IOException e) {
            trouble = true;
        }
    }

    public void write(byte[] buf, int off, int len) {
        if (out == null) {
            trouble = true;
            return;
        }
        try {
            out.write(buf, off, len);
            if (autoFlush) {
                out.flush();
            }
        } catch (IOException e) {
            trouble = true;
        }
    }

    /**
     * Converts len chars of s (or of a when s is null) from off on to bytes and
     * writes them, followed by the line separator when newline is set. A line
     * of up to CHUNK bytes goes out in one write.
     */
    private void emit(String s, char[] a, int off, int len, boolean newline) {
        if (out == null) {
            trouble = true;
            return;
        }
        String sep = newline ? LineSeparator.get() : "";
        int total = len + sep.length();
        int size = total < CHUNK ? total : CHUNK;
        byte[] bytes = new byte[size];
        char[] chars = s != null ? new char[size] : a;
        boolean sawNewline = newline;
        try {
            int done = 0;
            while (done < total) {
                int n = total - done;
                if (n > size) {
                    n = size;
                }
                int text = len - done;
                if (text > n) {
                    text = n;
                } else if (text < 0) {
                    text = 0;
                }
                int base = off + done;
                if (s != null) {
                    s.getChars(base, base + text, chars, 0);
                    base = 0;
                }
                for (int i = 0; i < text; i++) {
                    char c = chars[base + i];
                    if (c == '\n') {
                        sawNewline = true;
                    }
                    bytes[i] = c <= 0xFF ? (byte) c : (byte) '?';
                }
                for (int i = text; i < n; i++) {
                    bytes[i] = (byte) sep.charAt(done + i - len);
                }
                out.write(bytes, 0, n);
                done += n;
            }
            if (autoFlush && sawNewline) {
                out.flush();
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
