package java.lang;

import java.io.UnsupportedEncodingException;

/**
 * The byte encodings of the library: ISO 8859-1 (the platform default), US-ASCII and UTF-8.
 * Strings convert here, and so do the readers and writers of java.io (through the String
 * conversions), so that text written one way reads back the other.
 *
 * Encoding: a character the encoding lacks becomes '?'; in UTF-8 a surrogate pair becomes
 * one four-byte sequence and a lone surrogate '?'. Decoding: each malformed sequence, and
 * each byte that starts none, becomes U+FFFD; a sequence cut short by the end of the input
 * is malformed.
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
        char[] v = new char[length];
        if (codec != UTF8) {
            for (int i = 0; i < length; i++) {
                int c = b[start + i] & 0xff;
                v[i] = (codec == ASCII && c > 0x7f) ? '\ufffd' : (char) c;
            }
            return v;
        }
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
            if (c >= 0xc0 && c <= 0xdf) {
                need = 1;
                min = 0x80;
                c &= 0x1f;
            } else if (c >= 0xe0 && c <= 0xef) {
                need = 2;
                min = 0x800;
                c &= 0x0f;
            } else if (c >= 0xf0 && c <= 0xf7) {
                need = 3;
                min = 0x10000;
                c &= 0x07;
            } else {
                v[n++] = '\ufffd';
                continue;
            }
            int j = 0;
            while (j < need && i < end && (b[i] & 0xc0) == 0x80) {
                c = (c << 6) | (b[i++] & 0x3f);
                j++;
            }
            // The two-byte form of NUL is the machine's own way of writing it, so it is
            // accepted; surrogates written as three bytes each are accepted too.
            if (j < need || (c < min && !(c == 0 && need == 1)) || c > 0x10ffff) {
                v[n++] = '\ufffd';
            } else if (need == 3) {
                // Four bytes are one character above U+FFFF: a surrogate pair. It fits,
                // as four bytes gave at most four chars before.
                c -= 0x10000;
                v[n++] = (char) (0xd800 + (c >> 10));
                v[n++] = (char) (0xdc00 + (c & 0x3ff));
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
        int end = start + length;
        int size = 0;
        for (int i = start; i < end; i++) {
            int w = width(v, i, end);
            size += w;
            if (w == 4) {
                i++;
            }
        }
        byte[] b = new byte[size];
        int n = 0;
        for (int i = start; i < end; i++) {
            char c = v[i];
            switch (width(v, i, end)) {
                case 1:
                    b[n++] = c < 0x80 ? (byte) c : (byte) '?';
                    break;
                case 2:
                    b[n++] = (byte) (0xc0 | (c >> 6));
                    b[n++] = (byte) (0x80 | (c & 0x3f));
                    break;
                case 3:
                    b[n++] = (byte) (0xe0 | (c >> 12));
                    b[n++] = (byte) (0x80 | ((c >> 6) & 0x3f));
                    b[n++] = (byte) (0x80 | (c & 0x3f));
                    break;
                default:
                    int cp = 0x10000 + ((c - 0xd800) << 10) + (v[++i] - 0xdc00);
                    b[n++] = (byte) (0xf0 | (cp >> 18));
                    b[n++] = (byte) (0x80 | ((cp >> 12) & 0x3f));
                    b[n++] = (byte) (0x80 | ((cp >> 6) & 0x3f));
                    b[n++] = (byte) (0x80 | (cp & 0x3f));
                    break;
            }
        }
        return b;
    }

    // The UTF-8 bytes of the character at v[i]: 4 for a surrogate pair (both chars), 1 for
    // a lone surrogate, which becomes '?'.
    private static int width(char[] v, int i, int end) {
        char c = v[i];
        if (c < 0x80) {
            return 1;
        }
        if (c < 0x800) {
            return 2;
        }
        if (c >= 0xd800 && c <= 0xdbff && i + 1 < end && v[i + 1] >= 0xdc00 && v[i + 1] <= 0xdfff) {
            return 4;
        }
        return c >= 0xd800 && c <= 0xdfff ? 1 : 3;
    }
}
