package java.io;

/**
 * A buffered reader that counts lines. Lines end at "\n", "\r" or "\r\n";
 * read() hands out every line end as a single '\n'. Numbering starts at 0.
 * After a '\r', only the next read() or readLine() drops a following '\n';
 * an array read hands it out without counting it.
 */
public class LineNumberReader extends BufferedReader {
    private int lineNumber;
    private int markedLineNumber;
    private boolean markedCR;
    /** The last char read was '\r': a '\n' right after it is not a new line. */
    private boolean afterCR;

    public LineNumberReader(Reader in) {
        super(in);
    }

    public LineNumberReader(Reader in, int sz) {
        super(in, sz);
    }

    public void setLineNumber(int lineNumber) {
        this.lineNumber = lineNumber;
    }

    public int getLineNumber() {
        return lineNumber;
    }

    public int read() throws IOException {
        synchronized (lock) {
            int c = super.read();
            if (afterCR) {
                afterCR = false;
                if (c == '\n') {
                    c = super.read();
                }
            }
            if (c == '\r') {
                afterCR = true;
                lineNumber++;
                return '\n';
            }
            if (c == '\n') {
                lineNumber++;
            }
            return c;
        }
    }

    public int read(char[] cbuf, int off, int len) throws IOException {
        synchronized (lock) {
            int n = super.read(cbuf, off, len);
            for (int i = off; i < off + n; i++) {
                char c = cbuf[i];
                if (afterCR) {
                    afterCR = false;
                    if (c == '\n') {
                        continue;
                    }
                }
                if (c == '\r') {
                    afterCR = true;
                    lineNumber++;
                } else if (c == '\n') {
                    lineNumber++;
                }
            }
            return n;
        }
    }

    public String readLine() throws IOException {
        synchronized (lock) {
            if (afterCR) {
                afterCR = false;
                skipNextLF();
            }
            String line = super.readLine();
            if (line != null) {
                lineNumber++;
            }
            return line;
        }
    }

    public long skip(long n) throws IOException {
        if (n < 0) {
            throw new IllegalArgumentException("skip() value is negative");
        }
        synchronized (lock) {
            // Through the array read, so that a "\r\n" counts as the two chars it is.
            char[] skipped = new char[(int) Math.min(n, 512)];
            long done = 0;
            while (done < n) {
                int k = read(skipped, 0, (int) Math.min(n - done, skipped.length));
                if (k <= 0) {
                    break;
                }
                done += k;
            }
            return done;
        }
    }

    public void mark(int readAheadLimit) throws IOException {
        synchronized (lock) {
            // After a '\r' the next read may take one char more than it hands out, a '\n':
            // allow for it, or reading readAheadLimit chars could lose the mark.
            if (afterCR && readAheadLimit >= 0 && readAheadLimit < Integer.MAX_VALUE) {
                readAheadLimit++;
            }
            super.mark(readAheadLimit);
            markedLineNumber = lineNumber;
            markedCR = afterCR;
        }
    }

    public void reset() throws IOException {
        synchronized (lock) {
            super.reset();
            lineNumber = markedLineNumber;
            afterCR = markedCR;
        }
    }
}
