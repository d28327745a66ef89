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
        InputStream next = null;
        if (rest.hasMoreElements()) {
            boolean took = false;
            try {
                next = (InputStream) rest.nextElement();
                took = true;
            } catch (java.util.NoSuchElementException e) {
                // Another thread took the last one between the two calls: the sequence is over.
            }
            if (took && next == null) {
                throw new NullPointerException();
            }
        }
        current = next;
    }

    /* Only the thread that still finds done current moves on, so threads racing to the end
       of one stream skip no stream after it. */
    private void closeAndAdvance(InputStream done) throws IOException {
        if (current == done) {
            nextStream();
        }
        done.close();
    }

    public int available() throws IOException {
        InputStream in = current;
        return in == null ? 0 : in.available();
    }

    public int read() throws IOException {
        for (InputStream in = current; in != null; in = current) {
            int c = in.read();
            if (c != -1) {
                return c;
            }
            closeAndAdvance(in);
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
        InputStream in = current;
        if (in == null) {
            return -1;
        }
        if (len == 0) {
            return 0;
        }
        for (; in != null; in = current) {
            int n = in.read(b, off, len);
            if (n != -1) {
                return n;
            }
            closeAndAdvance(in);
        }
        return -1;
    }

    /** Closes every stream not yet finished. */
    public void close() throws IOException {
        for (InputStream in = current; in != null; in = current) {
            closeAndAdvance(in);
        }
    }
}
