package java.util.zip;

/** Names and comments of archives in UTF-8, without the library's encoders. */
final class Utf8 {
    private Utf8() {
    }

    static byte[] encode(String s) {
        int n = 0;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            n += c < 0x80 && c != 0 ? 1 : c < 0x800 ? 2 : 3;
        }
        byte[] b = new byte[n];
        int at = 0;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c < 0x80 && c != 0) {
                b[at++] = (byte) c;
            } else if (c < 0x800) {
                b[at++] = (byte) (0xC0 | c >> 6);
                b[at++] = (byte) (0x80 | (c & 0x3F));
            } else {
                b[at++] = (byte) (0xE0 | c >> 12);
                b[at++] = (byte) (0x80 | ((c >> 6) & 0x3F));
                b[at++] = (byte) (0x80 | (c & 0x3F));
            }
        }
        return b;
    }

    /** Bytes that are not UTF-8 are taken one byte to a character. */
    static String decode(byte[] b, int off, int len) {
        char[] c = new char[len];
        int n = 0;
        int end = off + len;
        for (int i = off; i < end;) {
            int x = b[i] & 0xFF;
            if (x < 0x80) {
                c[n++] = (char) x;
                i++;
            } else if ((x & 0xE0) == 0xC0 && i + 1 < end && (b[i + 1] & 0xC0) == 0x80) {
                c[n++] = (char) ((x & 0x1F) << 6 | (b[i + 1] & 0x3F));
                i += 2;
            } else if ((x & 0xF0) == 0xE0 && i + 2 < end && (b[i + 1] & 0xC0) == 0x80 && (b[i + 2] & 0xC0) == 0x80) {
                c[n++] = (char) ((x & 0x0F) << 12 | (b[i + 1] & 0x3F) << 6 | (b[i + 2] & 0x3F));
                i += 3;
            } else {
                c[n++] = (char) x;
                i++;
            }
        }
        return new String(c, 0, n);
    }
}
