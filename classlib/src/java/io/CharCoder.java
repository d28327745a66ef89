package java.io;

/**
 * Conversion between bytes and chars for the encodings this library knows:
 * ISO 8859-1 (the default here), US-ASCII and UTF-8.
 *
 * One coder serves one reader or writer and keeps what a conversion step
 * leaves over: a high surrogate waiting for its partner when encoding. When
 * decoding, an incomplete multi-byte sequence at the end of the input is left
 * unconsumed for the caller to keep and offer again with more bytes.
 */
final class CharCoder {
    static final int LATIN1 = 0;
    static final int ASCII = 1;
    static final int UTF8 = 2;

    final int kind;

    /** After decode or encode: how far the input was consumed. */
    int inPos;

    /** After decode or encode: how far the output was filled. */
    int outPos;

    /** A high surrogate seen at the end of the last encode input, or 0. */
    private char pendingHigh;

    CharCoder(int kind) {
        this.kind = kind;
    }

    /** The coder for the named encoding; names are matched without case. */
    static CharCoder forName(String enc) throws UnsupportedEncodingException {
        return new CharCoder(lookup(enc));
    }

    /** The coder for the default encoding of the system properties. */
    static CharCoder forDefault() {
        return new CharCoder(defaultKind());
    }

    static int lookup(String enc) throws UnsupportedEncodingException {
        if (enc == null) {
            throw new NullPointerException();
        }
        String e = enc.toUpperCase();
        if (e.equals("8859_1") || e.equals("ISO8859_1") || e.equals("ISO-8859-1")
                || e.equals("ISO8859-1") || e.equals("ISO_8859_1") || e.equals("ISO_8859-1")
                || e.equals("LATIN1") || e.equals("ISO-LATIN-1")) {
            return LATIN1;
        }
        if (e.equals("UTF8") || e.equals("UTF-8")) {
            return UTF8;
        }
        if (e.equals("ASCII") || e.equals("US-ASCII") || e.equals("US_ASCII") || e.equals("646")) {
            return ASCII;
        }
        throw new UnsupportedEncodingException(enc);
    }

    /**
     * The kind named by file.encoding, or ISO 8859-1 when the property is
     * missing, unreadable or names an encoding this library lacks.
     */
    static int defaultKind() {
        String enc = null;
        try {
            enc = System.getProperty("file.encoding");
        } catch (RuntimeException e) {
            enc = null;
        } catch (LinkageError e) {
            enc = null;
        }
        if (enc == null) {
            return LATIN1;
        }
        try {
            return lookup(enc);
        } catch (UnsupportedEncodingException e) {
            return LATIN1;
        }
    }

    /** The historical name getEncoding reports. */
    String name() {
        switch (kind) {
            case ASCII:
                return "ASCII";
            case UTF8:
                return "UTF8";
            default:
                return "8859_1";
        }
    }

    /**
     * Decodes in[inOff .. inEnd-1] into out[outOff .. outEnd-1] as far as both
     * allow; sets inPos and outPos. A multi-byte sequence cut off by inEnd is
     * left unconsumed; malformed input throws CharConversionException.
     */
    void decode(byte[] in, int inOff, int inEnd, char[] out, int outOff, int outEnd)
            throws CharConversionException {
        int i = inOff;
        int o = outOff;
        if (kind != UTF8) {
            while (i < inEnd && o < outEnd) {
                int b = in[i++] & 0xFF;
                if (kind == ASCII && b > 0x7F) {
                    b = '?';
                }
                out[o++] = (char) b;
            }
            inPos = i;
            outPos = o;
            return;
        }
        while (i < inEnd && o < outEnd) {
            int a = in[i] & 0xFF;
            if (a < 0x80) {
                out[o++] = (char) a;
                i++;
                continue;
            }
            int need;
            int value;
            if ((a & 0xE0) == 0xC0) {
                need = 1;
                value = a & 0x1F;
            } else if ((a & 0xF0) == 0xE0) {
                need = 2;
                value = a & 0x0F;
            } else if ((a & 0xF8) == 0xF0) {
                need = 3;
                value = a & 0x07;
            } else {
                throw malformed(i, o);
            }
            if (i + need >= inEnd) {
                // Cut off by the end of the input: check the bytes present,
                // then leave the sequence for the next call.
                boolean ok = true;
                for (int k = i + 1; k < inEnd; k++) {
                    if ((in[k] & 0xC0) != 0x80) {
                        ok = false;
                    }
                }
                if (ok) {
                    break;
                }
                throw malformed(i, o);
            }
            boolean bad = false;
            for (int k = 1; k <= need; k++) {
                int c = in[i + k] & 0xFF;
                if ((c & 0xC0) != 0x80) {
                    bad = true;
                }
                value = (value << 6) | (c & 0x3F);
            }
            if (need == 3 && (value < 0x10000 || value > 0x10FFFF)) {
                bad = true;
            }
            if (bad) {
                throw malformed(i, o);
            }
            if (need == 3) {
                if (outEnd - o < 2) {
                    break;
                }
                value -= 0x10000;
                out[o++] = (char) (0xD800 + (value >> 10));
                out[o++] = (char) (0xDC00 + (value & 0x3FF));
            } else {
                out[o++] = (char) value;
            }
            i += need + 1;
        }
        inPos = i;
        outPos = o;
    }

    /**
     * The exception for a malformed sequence at input index i. Sets inPos and
     * outPos first, so that the caller sees what was decoded before it.
     */
    private CharConversionException malformed(int i, int o) {
        inPos = i;
        outPos = o;
        return new CharConversionException("Malformed UTF-8 input");
    }

    /** Whether encode may leave state that flushEncoder must write out. */
    boolean hasPending() {
        return pendingHigh != 0;
    }

    /**
     * Encodes in[inOff .. inEnd-1] into out[outOff .. outEnd-1] as far as both
     * allow; sets inPos and outPos. Characters the encoding lacks become '?'.
     * out must have room for at least four bytes.
     */
    void encode(char[] in, int inOff, int inEnd, byte[] out, int outOff, int outEnd) {
        int i = inOff;
        int o = outOff;
        if (kind != UTF8) {
            int limit = kind == ASCII ? 0x7F : 0xFF;
            while (i < inEnd && o < outEnd) {
                char c = in[i++];
                out[o++] = c <= limit ? (byte) c : (byte) '?';
            }
            inPos = i;
            outPos = o;
            return;
        }
        while (i < inEnd && outEnd - o >= 4) {
            char c = in[i];
            if (pendingHigh != 0) {
                char high = pendingHigh;
                pendingHigh = 0;
                if (c >= 0xDC00 && c <= 0xDFFF) {
                    int cp = 0x10000 + ((high - 0xD800) << 10) + (c - 0xDC00);
                    out[o++] = (byte) (0xF0 | (cp >> 18));
                    out[o++] = (byte) (0x80 | ((cp >> 12) & 0x3F));
                    out[o++] = (byte) (0x80 | ((cp >> 6) & 0x3F));
                    out[o++] = (byte) (0x80 | (cp & 0x3F));
                    i++;
                    continue;
                }
                // A lone high surrogate cannot be encoded.
                out[o++] = (byte) '?';
                continue;
            }
            i++;
            if (c < 0x80) {
                out[o++] = (byte) c;
            } else if (c < 0x800) {
                out[o++] = (byte) (0xC0 | (c >> 6));
                out[o++] = (byte) (0x80 | (c & 0x3F));
            } else if (c >= 0xD800 && c <= 0xDBFF) {
                pendingHigh = c;
            } else if (c >= 0xDC00 && c <= 0xDFFF) {
                out[o++] = (byte) '?';
            } else {
                out[o++] = (byte) (0xE0 | (c >> 12));
                out[o++] = (byte) (0x80 | ((c >> 6) & 0x3F));
                out[o++] = (byte) (0x80 | (c & 0x3F));
            }
        }
        inPos = i;
        outPos = o;
    }

    /**
     * Writes what the encoder holds back (a lone high surrogate, as '?') into
     * out from off on; returns the number of bytes written.
     */
    int flushEncoder(byte[] out, int off) {
        if (pendingHigh != 0) {
            pendingHigh = 0;
            out[off] = (byte) '?';
            return 1;
        }
        return 0;
    }
}
