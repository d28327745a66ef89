package java.io;

/**
 * SHA-1 of the bytes written: the object streams' default serial version of a class is
 * the first eight bytes of the digest of its description, written through a
 * DataOutputStream over this stream. digest() gives the 20 bytes and starts afresh.
 */
final class SHA1OutputStream extends OutputStream {
    private final int[] state = new int[5];
    private final byte[] block = new byte[64];
    private final int[] words = new int[80];
    private int filled;
    private long length;

    SHA1OutputStream() {
        reset();
    }

    private void reset() {
        state[0] = 0x67452301;
        state[1] = 0xEFCDAB89;
        state[2] = 0x98BADCFE;
        state[3] = 0x10325476;
        state[4] = 0xC3D2E1F0;
        filled = 0;
        length = 0;
    }

    public void write(int b) {
        block[filled++] = (byte) b;
        length++;
        if (filled == 64) {
            compress();
        }
    }

    public void write(byte[] b, int off, int len) {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        while (len > 0) {
            int n = 64 - filled;
            if (n > len) {
                n = len;
            }
            System.arraycopy(b, off, block, filled, n);
            filled += n;
            length += n;
            off += n;
            len -= n;
            if (filled == 64) {
                compress();
            }
        }
    }

    /** The digest of everything written since the last call. */
    byte[] digest() {
        long bits = length << 3;
        block[filled++] = (byte) 0x80;
        if (filled > 56) {
            while (filled < 64) {
                block[filled++] = 0;
            }
            compress();
        }
        while (filled < 56) {
            block[filled++] = 0;
        }
        for (int i = 7; i >= 0; i--) {
            block[filled++] = (byte) (bits >>> (8 * i));
        }
        compress();
        byte[] out = new byte[20];
        for (int i = 0; i < 20; i++) {
            out[i] = (byte) (state[i >> 2] >>> (24 - 8 * (i & 3)));
        }
        reset();
        return out;
    }

    private void compress() {
        int[] w = words;
        for (int t = 0; t < 16; t++) {
            int i = t * 4;
            w[t] = (block[i] << 24) | ((block[i + 1] & 0xFF) << 16) | ((block[i + 2] & 0xFF) << 8) | (block[i + 3] & 0xFF);
        }
        for (int t = 16; t < 80; t++) {
            int x = w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16];
            w[t] = (x << 1) | (x >>> 31);
        }
        int a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        for (int t = 0; t < 80; t++) {
            int f, k;
            if (t < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (t < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (t < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            int temp = ((a << 5) | (a >>> 27)) + f + e + k + w[t];
            e = d;
            d = c;
            c = (b << 30) | (b >>> 2);
            b = a;
            a = temp;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        filled = 0;
    }
}
