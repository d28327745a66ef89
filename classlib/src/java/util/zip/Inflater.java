package java.util.zip;

/**
 * A decompressing stream of deflate data (RFC 1951), raw or in the zlib wrapper (RFC 1950).
 *
 * The stream lives in the machine's compression memory: call end() (or close the stream that
 * owns this Inflater) as soon as it is done. Damaged data, and data that needs a preset
 * dictionary, make inflate raise DataFormatException "Error in inflation" (the streams of this
 * package turn it into ZipException); inflate on an ended Inflater raises NullPointerException
 * "Inflater has been closed". getAdler answers 1 while a zlib stream is read: the running check
 * is not kept for Java. setDictionary raises InternalError.
 *
 * The natives find the fields below by name in this class: their names, types and
 * instance-ness are fixed, and no static field may have one of these names. They keep calls
 * on one Inflater apart themselves (synchronized excludes nothing on this machine), so an
 * end() racing an inflate() waits for it. strm names the machine's native stream: it is
 * never stored with the object.
 */
public class Inflater {
    private transient int strm;
    private byte[] buf = new byte[0];
    private int off;
    private int len;
    private boolean finished;
    private boolean needsDictionary;

    public Inflater(boolean nowrap) {
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

    public Inflater() {
        this(false);
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

    /** The bytes of the last input not yet taken by the stream. */
    public synchronized int getRemaining() {
        return len;
    }

    public synchronized boolean needsInput() {
        return len <= 0;
    }

    public synchronized boolean needsDictionary() {
        return needsDictionary;
    }

    public synchronized boolean finished() {
        return finished;
    }

    /**
     * Decompresses into b[off..off+len) and returns the bytes written; 0 means more input is
     * needed (see needsInput) or the stream has ended (see finished).
     */
    public native synchronized int inflate(byte[] b, int off, int len) throws DataFormatException;

    public int inflate(byte[] b) throws DataFormatException {
        if (b.length == 0) {
            return 0;
        }
        return inflate(b, 0, b.length);
    }

    public native synchronized int getAdler();

    public native synchronized int getTotalIn();

    public native synchronized int getTotalOut();

    /** Starts a new stream on the same memory; input staged for the old one is dropped. */
    public native synchronized void reset();

    /** Gives the stream's memory back; the Inflater cannot be used afterwards. */
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
