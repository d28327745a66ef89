package java.util;

import java.io.IOException;
import java.io.InputStream;

/**
 * Splits the bytes of a stream into lines of ISO 8859-1 chars, for
 * Properties.load. Lines end at "\n", "\r" or "\r\n".
 */
final class LineSource {
    private final InputStream in;
    private final byte[] buf = new byte[4096];
    private int pos;
    private int end;
    private boolean skipLF;
    private char[] line = new char[128];

    LineSource(InputStream in) {
        this.in = in;
    }

    private int read() throws IOException {
        if (pos >= end) {
            int n = in.read(buf, 0, buf.length);
            if (n <= 0) {
                return -1;
            }
            pos = 0;
            end = n;
        }
        return buf[pos++] & 0xFF;
    }

    /** The next line without its end, or null at the end of the stream. */
    String next() throws IOException {
        int len = 0;
        int c;
        while (true) {
            c = read();
            if (skipLF) {
                skipLF = false;
                if (c == '\n') {
                    continue;
                }
            }
            if (c == -1 || c == '\n') {
                break;
            }
            if (c == '\r') {
                skipLF = true;
                break;
            }
            if (len == line.length) {
                char[] bigger = new char[len * 2];
                System.arraycopy(line, 0, bigger, 0, len);
                line = bigger;
            }
            line[len++] = (char) c;
        }
        if (c == -1 && len == 0) {
            return null;
        }
        return new String(line, 0, len);
    }
}
