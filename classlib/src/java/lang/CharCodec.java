package java.lang;

import java.io.UnsupportedEncodingException;

/**
 * The byte encodings strings know: ISO 8859-1 (the platform default), US-ASCII and UTF-8.
 * Unmappable characters become '?'; malformed UTF-8 input becomes U+FFFD.
 */
final class CharCodec {

    static final int LATIN1 = 0;
    static final int ASCII = 1;
    static final int UTF8 = 2;

    private CharCodec() {
    }

    static int defaultCodec() {
        return LATIN1;
    }

    static int lookup(String name) throws UnsupportedEncodingException {
        if (name == null) {
            throw new NullPointerException();
        }
        String n = name.toUpperCase();
        if (n.equals("8859_1") || n.equals("ISO8859_1") || n.equals("ISO-8859-1") || n.equals("ISO8859-1")
                || n.equals("ISO_8859_1") || n.equals("ISO_8859-1") || n.equals("LATIN1") || n.equals("ISO-LATIN-1")) {
            return LATIN1;
        }
        if (n.equals("ASCII") || n.equals("US-ASCII") || n.equals("US_ASCII") || n.equals("646")) {
            return ASCII;
        }
        if (n.equals("UTF8") || n.equals("UTF-8")) {
            return UTF8;
        }
        throw new UnsupportedEncodingException(name);
    }

    static char[] decode(int codec, byte[] b, int start, int length) {
        if (codec != UTF8) {
            char[] v = new char[length];
            for (int i = 0; i < length; i++) {
                int c = b[start + i] & 0xff;
                v[i] = (codec == ASCII && c > 0x7f) ? '\ufffd' : (char) c;
            }
            return v;
        }
        char[] v = new char[length];
        int n = 0;
        int i = start;
        int end = start + length;
        while (i < end) {
            int c = b[i++] & 0xff;
            if (c < 0x80) {
                v[n++] = (char) c;
                continue;
            }
            int need;
            int min;
            if ((c & 0xe0) == 0xc0) {
                need = 1;
                min = 0x80;
                c &= 0x1f;
            } else if ((c & 0xf0) == 0xe0) {
                need = 2;
                min = 0x800;
                c &= 0x0f;
            } else {
                v[n++] = '\ufffd';
                continue;
            }
            int j = 0;
            while (j < need && i < end && (b[i] & 0xc0) == 0x80) {
                c = (c << 6) | (b[i++] & 0x3f);
                j++;
            }
            // Short sequences are malformed; the two-byte form of NUL is the machine's own
            // way of writing it, so it is accepted.
            if (j < need || (c < min && !(c == 0 && need == 1))) {
                v[n++] = '\ufffd';
            } else {
                v[n++] = (char) c;
            }
        }
        if (n == v.length) {
            return v;
        }
        char[] r = new char[n];
        System.arraycopy(v, 0, r, 0, n);
        return r;
    }

    static byte[] encode(int codec, char[] v, int start, int length) {
        if (codec != UTF8) {
            int limit = codec == ASCII ? 0x7f : 0xff;
            byte[] b = new byte[length];
            for (int i = 0; i < length; i++) {
                char c = v[start + i];
                b[i] = (byte) (c > limit ? '?' : c);
            }
            return b;
        }
        int size = 0;
        for (int i = 0; i < length; i++) {
            char c = v[start + i];
            size += c < 0x80 ? 1 : (c < 0x800 ? 2 : 3);
        }
        byte[] b = new byte[size];
        int n = 0;
        for (int i = 0; i < length; i++) {
            char c = v[start + i];
            if (c < 0x80) {
                b[n++] = (byte) c;
            } else if (c < 0x800) {
                b[n++] = (byte) (0xc0 | (c >> 6));
                b[n++] = (byte) (0x80 | (c & 0x3f));
            } else {
                b[n++] = (byte) (0xe0 | (c >> 12));
                b[n++] = (byte) (0x80 | ((c >> 6) & 0x3f));
                b[n++] = (byte) (0x80 | (c & 0x3f));
            }
        }
        return b;
    }
}
