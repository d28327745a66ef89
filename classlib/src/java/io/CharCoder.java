package java.io;

/**
 * The stream side of the library's one codec: readers and writers convert through the
 * String conversions, so that streams and strings always agree, and this class keeps what
 * a stream must carry between two conversions. Known encodings: ISO 8859-1 (the default
 * here), US-ASCII and UTF-8.
 *
 * Decoding holds back a UTF-8 sequence cut off by the end of the bytes at hand until more
 * arrive; encoding holds back a high surrogate at the end of the chars until its partner
 * comes.
 */
final class CharCoder {
    /** The encoding's historical name, which String also takes. */
    private final String name;
    private final boolean utf8;

    /** A high surrogate seen at the end of the last encode input, or 0. */
    private char pendingHigh;

    private CharCoder(String name) {
        this.name = name;
        this.utf8 = name.equals("UTF8");
    }

    /** The coder for the named encoding; names are matched as String matches them. */
    static CharCoder forName(String enc) throws UnsupportedEncodingException {
        if (enc == null) {
            throw new NullPointerException();
        }
        // The encoding tells itself by how it writes one character.
        byte[] probe = bytes("\u00e9", enc);
        if (probe.length == 2) {
            return new CharCoder("UTF8");
        }
        return new CharCoder(probe[0] == '?' ? "ASCII" : "8859_1");
    }

    /**
     * The coder for the default encoding of the system properties: file.encoding, or
     * ISO 8859-1 when the property is missing, unreadable or names an encoding this library
     * lacks.
     */
    static CharCoder forDefault() {
        String enc = null;
        try {
            enc = System.getProperty("file.encoding");
        } catch (RuntimeException e) {
            enc = null;
        } catch (LinkageError e) {
            enc = null;
        }
        if (enc != null) {
            try {
                return forName(enc);
            } catch (UnsupportedEncodingException e) {
                // the default below
            }
        }
        return new CharCoder("8859_1");
    }

    /** The historical name getEncoding reports. */
    String name() {
        return name;
    }

    /**
     * How many of in[off .. end-1] can be decoded now: all but a UTF-8 sequence cut off by
     * end whose bytes so far are well formed, which waits for the rest.
     */
    int complete(byte[] in, int off, int end) {
        if (utf8) {
            for (int i = end - 1; i >= off && i >= end - 3; i--) {
                int c = in[i] & 0xFF;
                if ((c & 0xC0) == 0x80) {
                    continue;
                }
                int need = c >= 0xF8 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
                return end - i <= need ? i - off : end - off;
            }
        }
        return end - off;
    }

    /** The chars of in[off .. off+len-1]; malformed input becomes U+FFFD. */
    String decode(byte[] in, int off, int len) {
        try {
            return chars(in, off, len, name);
        } catch (UnsupportedEncodingException e) {
            throw new InternalError(name);
        }
    }

    /** The bytes of in[off .. off+len-1], after any held-back high surrogate. */
    byte[] encode(char[] in, int off, int len) {
        char[] text = new char[len + 1];
        int n = 0;
        if (pendingHigh != 0) {
            text[n++] = pendingHigh;
            pendingHigh = 0;
        }
        System.arraycopy(in, off, text, n, len);
        n += len;
        if (utf8 && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
            pendingHigh = text[--n];
        }
        return encoded(new String(text, 0, n));
    }

    /** The bytes of what encode holds back (a lone high surrogate, as '?'). */
    byte[] flushEncoder() {
        if (pendingHigh == 0) {
            return new byte[0];
        }
        String lone = String.valueOf(pendingHigh);
        pendingHigh = 0;
        return encoded(lone);
    }

    private byte[] encoded(String s) {
        try {
            return bytes(s, name);
        } catch (UnsupportedEncodingException e) {
            throw new InternalError(name);
        }
    }

    // The two conversions of String that the streams go through.

    private static String chars(byte[] in, int off, int len, String enc) throws UnsupportedEncodingException {
        return new String(in, off, len, enc);
    }

    private static byte[] bytes(String s, String enc) throws UnsupportedEncodingException {
        return s.getBytes(enc);
    }
}
