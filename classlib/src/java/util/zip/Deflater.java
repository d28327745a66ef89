package java.util.zip;

/**
 * A compressing stream in the deflate format (RFC 1951), raw or in the zlib wrapper (RFC 1950).
 *
 * The stream lives in the machine's compression memory, which holds at most about two
 * Deflaters at once: call end() (or close the stream that owns this Deflater) as soon as a
 * stream is done. Every stream compresses at level 1 with the default strategy: setLevel and
 * setStrategy are kept but have no effect. setDictionary and getAdler raise InternalError; take
 * checksums from CRC32 or Adler32.
 *
 * The natives find the fields below by name in this class: their names, types and
 * instance-ness are fixed, and no static field may have one of these names. They keep calls
 * on one Deflater apart themselves (synchronized excludes nothing on this machine), so an
 * end() racing a deflate() waits for it; deflate on an ended Deflater raises
 * NullPointerException "Deflater has been closed". strm names the machine's native stream:
 * it is never stored with the object.
 */
public class Deflater {
    public static final int DEFLATED = 8;
    public static final int NO_COMPRESSION = 0;
    public static final int BEST_SPEED = 1;
    public static final int BEST_COMPRESSION = 9;
    public static final int DEFAULT_COMPRESSION = -1;
    public static final int FILTERED = 1;
    public static final int HUFFMAN_ONLY = 2;
    public static final int DEFAULT_STRATEGY = 0;

    private transient int strm;
    private byte[] buf = new byte[0];
    private int off;
    private int len;
    private int level;
    private int strategy;
    private boolean setParams;
    private boolean finish;
    private boolean finished;

    public Deflater(int level, boolean nowrap) {
        this.level = level;
        this.strategy = DEFAULT_STRATEGY;
        try {
            init(nowrap);
        } catch (OutOfMemoryError e) {
            // The compression budget is held: perhaps by streams nobody closed, which a
            // collection ends (their finalizers), so it comes first; the second try waits a
            // while for other threads' streams to end.
            System.gc();
            System.runFinalization();
            initWaiting(nowrap);
        }
    }

    public Deflater(int level) {
        this(level, false);
    }

    public Deflater() {
        this(DEFAULT_COMPRESSION, false);
    }

    public synchronized void setInput(byte[] b, int off, int len) {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new ArrayIndexOutOfBoundsException();
        }
        this.buf = b;
        this.off = off;
        this.len = len;
    }

    public void setInput(byte[] b) {
        setInput(b, 0, b.length);
    }

    public native synchronized void setDictionary(byte[] b, int off, int len);

    public void setDictionary(byte[] b) {
        setDictionary(b, 0, b.length);
    }

    /** Kept, with no effect on the stream. */
    public synchronized void setStrategy(int strategy) {
        if (strategy != DEFAULT_STRATEGY && strategy != FILTERED && strategy != HUFFMAN_ONLY) {
            throw new IllegalArgumentException();
        }
        if (this.strategy != strategy) {
            this.strategy = strategy;
            setParams = true;
        }
    }

    /** Kept, with no effect on the stream. */
    public synchronized void setLevel(int level) {
        if ((level < 0 || level > 9) && level != DEFAULT_COMPRESSION) {
            throw new IllegalArgumentException("invalid compression level");
        }
        if (this.level != level) {
            this.level = level;
            setParams = true;
        }
    }

    public boolean needsInput() {
        return len <= 0;
    }

    public synchronized void finish() {
        finish = true;
    }

    public synchronized boolean finished() {
        return finished;
    }

    /**
     * Compresses into b[off..off+len) and returns the bytes written; 0 means more input is
     * needed (see needsInput). A range outside b raises ArrayIndexOutOfBoundsException.
     */
    public native synchronized int deflate(byte[] b, int off, int len);

    public int deflate(byte[] b) {
        if (b.length == 0) {
            return 0;
        }
        return deflate(b, 0, b.length);
    }

    /** Raises InternalError: the stream keeps no Adler-32 for Java. */
    public native synchronized int getAdler();

    public native synchronized int getTotalIn();

    public native synchronized int getTotalOut();

    /** Starts a new stream on the same memory; input given before is dropped. */
    public native synchronized void reset();

    /** Gives the stream's memory back; the Deflater cannot be used afterwards. */
    public native synchronized void end();

    protected void finalize() {
        end();
    }

    /** The stream was ended (or never made): its calls are refused, its counters answer 0. */
    boolean ended() {
        return strm == 0;
    }

    private native void init(boolean nowrap);

    private native void initWaiting(boolean nowrap);
}
