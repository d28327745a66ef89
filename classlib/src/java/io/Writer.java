package java.io;

/** The base of every character output stream. */
public abstract class Writer {
    /** The object whose monitor guards this writer: the writer itself unless given. */
    protected Object lock;

    private char[] oneChar;

    protected Writer() {
        this.lock = this;
    }

    protected Writer(Object lock) {
        if (lock == null) {
            throw new NullPointerException();
        }
        this.lock = lock;
    }

    /** Writes the low 16 bits of c as one char. */
    public void write(int c) throws IOException {
        synchronized (lock) {
            if (oneChar == null) {
                oneChar = new char[1];
            }
            oneChar[0] = (char) c;
            write(oneChar, 0, 1);
        }
    }

    public void write(char[] cbuf) throws IOException {
        write(cbuf, 0, cbuf.length);
    }

    public abstract void write(char[] cbuf, int off, int len) throws IOException;

    public void write(String str) throws IOException {
        write(str, 0, str.length());
    }

    public void write(String str, int off, int len) throws IOException {
        if (off < 0 || len < 0 || len > str.length() - off) {
            throw new StringIndexOutOfBoundsException();
        }
        char[] chars = new char[len];
        str.getChars(off, off + len, chars, 0);
        write(chars, 0, len);
    }

    public abstract void flush() throws IOException;

    public abstract void close() throws IOException;
}
