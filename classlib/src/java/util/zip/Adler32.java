package java.util.zip;

/**
 * The Adler-32 checksum of RFC 1950. The running value is the object's first word: the
 * natives read and write it there, so it must stay the only field.
 */
public class Adler32 implements Checksum {
    private int adler = 1;

    public Adler32() {
    }

    public void update(int b) {
        update1(b);
    }

    /**
     * Sums b[off] to b[off+len-1]. A range that runs past the end of the array stops at its
     * last element; a negative offset raises ArrayIndexOutOfBoundsException.
     */
    public native void update(byte[] b, int off, int len);

    public void update(byte[] b) {
        update(b, 0, b.length);
    }

    public void reset() {
        adler = 1;
    }

    public long getValue() {
        return adler & 0xFFFFFFFFL;
    }

    private native void update1(int b);
}
