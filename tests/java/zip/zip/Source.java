package zip;

import java.io.InputStream;

/** Bytes read through InputStream, in pieces of at most step bytes. */
public class Source extends InputStream {
    private byte[] bytes;
    private int at;
    private int step;

    public Source(byte[] bytes, int step) {
        this.bytes = bytes;
        this.step = step;
    }

    public int read() {
        return at < bytes.length ? bytes[at++] & 0xFF : -1;
    }

    public int read(byte[] b, int off, int len) {
        if (at >= bytes.length) {
            return -1;
        }
        int n = len < step ? len : step;
        if (n > bytes.length - at) {
            n = bytes.length - at;
        }
        for (int i = 0; i < n; i++) {
            b[off + i] = bytes[at++];
        }
        return n;
    }
}
