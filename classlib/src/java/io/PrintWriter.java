package java.io;

/**
 * Prints values as text onto a writer. It never throws an IOException:
 * failures set an error flag that checkError reports. With autoFlush, every
 * println flushes.
 */
public class PrintWriter extends Writer {
    // Every method reads out once: the machine's monitors take no lock, and a print racing
    // close() must fail quietly, as PrintStream's do, rather than throw.
    protected Writer out;

    private boolean autoFlush;
    private boolean trouble;
    private String lineSeparator;

    public PrintWriter(Writer out) {
        this(out, false);
    }

    public PrintWriter(Writer out, boolean autoFlush) {
        super(out);
        this.out = out;
        this.autoFlush = autoFlush;
        lineSeparator = LineSeparator.get();
    }

    public PrintWriter(OutputStream out) {
        this(out, false);
    }

    /** Prints to a byte stream through a buffered writer in the default encoding. */
    public PrintWriter(OutputStream out, boolean autoFlush) {
        this(new BufferedWriter(new OutputStreamWriter(out)), autoFlush);
    }

    public void flush() {
        synchronized (lock) {
            Writer o = out;
            if (o == null) {
                trouble = true;
                return;
            }
            try {
                o.flush();
            } catch (IOException e) {
                trouble = true;
            }
        }
    }

    public void close() {
        synchronized (lock) {
            Writer o = out;
            if (o == null) {
                return;
            }
            try {
                o.close();
            } catch (IOException e) {
                trouble = true;
            }
            out = null;
        }
    }

    /** Flushes, then tells whether any operation has failed so far. */
    public boolean checkError() {
        if (out != null) {
            flush();
        }
        return trouble;
    }

    protected void setError() {
        trouble = true;
    }

    public void write(int c) {
        synchronized (lock) {
            Writer o = out;
            if (o == null) {
                trouble = true;
                return;
            }
            try {
                o.write(c);
            } catch (IOException e) {
                trouble = true;
            }
        }
    }

    public void write(char[] buf, int off, int len) {
        synchronized (lock) {
            Writer o = out;
            if (o == null) {
                trouble = true;
                return;
            }
            try {
                o.write(buf, off, len);
            } catch (IOException e) {
                trouble = true;
            }
        }
    }

    public void write(char[] buf) {
        write(buf, 0, buf.length);
    }

    public void write(String s, int off, int len) {
        synchronized (lock) {
            Writer o = out;
            if (o == null) {
                trouble = true;
                return;
            }
            try {
                o.write(s, off, len);
            } catch (IOException e) {
                trouble = true;
            }
        }
    }

    public void write(String s) {
        write(s, 0, s.length());
    }

    private void newLine() {
        synchronized (lock) {
            write(lineSeparator);
            if (autoFlush) {
                flush();
            }
        }
    }

    public void print(boolean b) {
        write(b ? "true" : "false");
    }

    public void print(char c) {
        write(c);
    }

    public void print(int i) {
        write(String.valueOf(i));
    }

    public void print(long l) {
        write(String.valueOf(l));
    }

    public void print(float f) {
        write(String.valueOf(f));
    }

    public void print(double d) {
        write(String.valueOf(d));
    }

    public void print(char[] s) {
        write(s);
    }

    public void print(String s) {
        if (s == null) {
            s = "null";
        }
        write(s);
    }

    public void print(Object obj) {
        write(String.valueOf(obj));
    }

    public void println() {
        newLine();
    }

    public void println(boolean x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(char x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(int x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(long x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(float x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(double x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    /** Also the line printer of Throwable's stack trace native. */
    public void println(char[] x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(String x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }

    public void println(Object x) {
        synchronized (lock) {
            print(x);
            newLine();
        }
    }
}
