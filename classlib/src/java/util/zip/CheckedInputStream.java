package java.util.zip;

import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;

/** An input stream that keeps a checksum of the bytes read through it. */
public class CheckedInputStream extends FilterInputStream {
    private Checksum cksum;

    public CheckedInputStream(InputStream in, Checksum cksum) {
        super(in);
        this.cksum = cksum;
    }

    public int read() throws IOException {
        int b = in.read();
        if (b != -1) {
            cksum.update(b);
        }
        return b;
    }

    public int read(byte[] buf, int off, int len) throws IOException {
        int n = in.read(buf, off, len);
        if (n > 0) {
            cksum.update(buf, off, n);
        }
        return n;
    }

    public long skip(long n) throws IOException {
        byte[] scratch = new byte[512];
        long total = 0;
        while (total < n) {
            long left = n - total;
            int got = read(scratch, 0, left < scratch.length ? (int) left : scratch.length);
            if (got == -1) {
                break;
            }
            total += got;
        }
        return total;
    }

    public Checksum getChecksum() {
        return cksum;
    }
}
