package java.io;

import java.util.Enumeration;

/** Reads several input streams one after the other, as one stream. */
public class SequenceInputStream extends InputStream {
    private Enumeration rest;
    private InputStream current;

    /** The enumeration must yield InputStream objects. */
    public SequenceInputStream(Enumeration e) {
        rest = e;
        nextStream();
    }

    public SequenceInputStream(InputStream s1, InputStream s2) {
        java.util.Vector v = new java.util.Vector(2);
        v.addElement(s1);
        v.addElement(s2);
        rest = v.elements();
        nextStream();
    }

    /** Moves to the next stream; a null element throws NullPointerException. */
    private void nextStream() {
        if (rest.hasMoreElements()) {
            current = (InputStream) rest.nextElement();
            if (current == null) {
                throw new NullPointerException();
            }
        } else {
            current = null;
        }
    }

    private void closeAndAdvance() throws IOException {
        InputStream done = current;
        nextStream();
        done.close();
    }

    public int available() throws IOException {
        if (current == null) {
            return 0;
        }
        return current.available();
    }

    public int read() throws IOException {
        while (current != null) {
            int c = current.read();
            if (c != -1) {
                return c;
            }
            closeAndAdvance();
        }
        return -1;
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || len > b.length - off) {
            throw new IndexOutOfBoundsException();
        }
        if (current == null) {
            return -1;
        }
        if (len == 0) {
            return 0;
        }
        while (current != null) {
            int n = current.read(b, off, len);
            if (n != -1) {
                return n;
            }
            closeAndAdvance();
        }
        return -1;
    }

    /** Closes every stream not yet finished. */
    public void close() throws IOException {
        while (current != null) {
            closeAndAdvance();
        }
    }
}
