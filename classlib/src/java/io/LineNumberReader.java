package java.io;

/**
 * A buffered reader that counts lines. Lines end at "\n", "\r" or "\r\n";
 * read() hands out every line end as a single '\n'. Numbering starts at 0.
 */
public class LineNumberReader extends BufferedReader {
    private int lineNumber;
    private int markedLineNumber;
    private boolean markedCR;
    /** The last array read ended with '\r': a '\n' first in the next one is not a new line. */
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
                skipNextLF();
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
            long done = 0;
            while (done < n) {
                if (read() == -1) {
                    break;
                }
                done++;
            }
            return done;
        }
    }

    public void mark(int readAheadLimit) throws IOException {
        synchronized (lock) {
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
