package java.util.zip;

import java.io.EOFException;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.RandomAccessFile;
import java.util.Enumeration;
import java.util.Hashtable;
import java.util.NoSuchElementException;
import java.util.Vector;

/**
 * A zip archive read through its central directory: the directory is read once, at the
 * open, and each entry's data is read from the file when its stream asks for it, inflated
 * when the entry is deflated. The file stays open until close(), which also closes every
 * stream still open on it (giving their Inflaters back at once: the machine holds only a
 * few at a time). Every read is of the file the ZipFile opened, never of whatever file
 * has its name later, and each entry stream reads at places of its own (SharedFile keeps
 * the streams' seeks and reads apart: synchronized excludes nothing on this machine).
 */
public class ZipFile {
    private static final int ENDSIG = 0x06054B50;
    private static final int CENSIG = 0x02014B50;
    private static final int LOCSIG = 0x04034B50;
    private static final int ENDHDR = 22;
    private static final int CENHDR = 46;
    private static final int LOCHDR = 30;

    private final String name;
    private final RandomAccessFile file;  // every read, through SharedFile
    private final Vector entries = new Vector();       // in the directory's order
    private final Hashtable byName = new Hashtable();  // the first of entries named alike
    private final Vector streams = new Vector();       // open entry streams
    private boolean closed;

    public ZipFile(String name) throws IOException {
        this(new File(name));
    }

    public ZipFile(File file) throws ZipException, IOException {
        this.name = file.getPath();
        this.file = new RandomAccessFile(file, "r");
        try {
            readDirectory();
        } catch (IOException e) {
            SharedFile.close(this.file);
            throw e;
        } catch (RuntimeException e) {
            SharedFile.close(this.file);
            throw e;
        }
    }

    public String getName() {
        return name;
    }

    public int size() {
        ensureOpen();
        return entries.size();
    }

    /** The entry of that name (or, failing that, the directory entry "name/"); null if none. */
    public ZipEntry getEntry(String entryName) {
        if (entryName == null) {
            throw new NullPointerException("name");
        }
        ensureOpen();
        ZipEntry e = (ZipEntry) byName.get(entryName);
        if (e == null && !entryName.endsWith("/")) {
            e = (ZipEntry) byName.get(entryName + "/");
        }
        return e == null ? null : new ZipEntry(e);
    }

    public Enumeration entries() {
        ensureOpen();
        return new Enumeration() {
            private int next;

            public boolean hasMoreElements() {
                ensureOpen();
                return next < entries.size();
            }

            public Object nextElement() {
                ensureOpen();
                if (next >= entries.size()) {
                    throw new NoSuchElementException();
                }
                return new ZipEntry((ZipEntry) entries.elementAt(next++));
            }
        };
    }

    /** The data of the archive's entry of that entry's name; null when there is none. */
    public InputStream getInputStream(ZipEntry entry) throws IOException {
        if (entry == null) {
            throw new NullPointerException("entry");
        }
        synchronized (this) {
            ensureOpen();
            ZipEntry e = (ZipEntry) byName.get(entry.getName());
            if (e == null) {
                return null;
            }
            long start;
            try {
                start = dataStart(e);
            } catch (IOException x) {
                throw closedOr(x);
            }
            InputStream in;
            if (e.method == ZipEntry.STORED) {
                in = new Region(start, e.csize, false);
            } else {
                int size = e.csize < 64 ? 64 : e.csize > 8192 ? 8192 : (int) e.csize + 1;
                in = new Inflating(new Region(start, e.csize, true), size, e.size);
            }
            streams.addElement(in);
            if (closed) {
                // A close that ran meanwhile did not see this stream.
                in.close();
                throw new IllegalStateException("zip file closed");
            }
            return in;
        }
    }

    public void close() throws IOException {
        Vector open;
        synchronized (this) {
            if (closed) {
                return;
            }
            closed = true;
            open = (Vector) streams.clone();
            streams.removeAllElements();
        }
        // Threads that open and close entry streams at once write the list unexcluded (a
        // synchronized method takes no lock here): a slot one of them filled may have
        // been counted by another, and holds nothing.
        for (int i = 0; i < open.size(); i++) {
            InputStream in = (InputStream) open.elementAt(i);
            if (in != null) {
                in.close();
            }
        }
        SharedFile.close(file);
    }

    protected void finalize() throws IOException {
        close();
    }

    /* A close that ran after an open or a read found the archive open leaves the file's
       handle closed under it, and the file's IOException says nothing: say what happened. */
    private IOException closedOr(IOException e) {
        return closed ? new IOException("zip file closed") : e;
    }

    private void ensureOpen() {
        if (closed) {
            throw new IllegalStateException("zip file closed");
        }
    }

    private synchronized void forget(InputStream in) {
        streams.removeElement(in);
    }

    /* ---- the directory ---- */

    private void readDirectory() throws IOException {
        long length = file.length();
        if (length == 0) {
            throw new ZipException("zip file is empty");
        }
        // The end record lies in the last 22 + 65,535 bytes (its comment is at most that long).
        int tail = length < ENDHDR + 0xFFFF ? (int) length : ENDHDR + 0xFFFF;
        byte[] t = new byte[tail];
        readAt(file, length - tail, t, 0, tail);
        int end = -1;
        for (int at = tail - ENDHDR; at >= 0; at--) {
            if (getInt(t, at) == ENDSIG && at + ENDHDR + getShort(t, at + 20) <= tail) {
                end = at;
                break;
            }
        }
        if (end < 0) {
            throw new ZipException("zip END header not found");
        }
        long endPos = length - tail + end;
        int total = getShort(t, end + 10);
        long cenSize = getInt(t, end + 12) & 0xFFFFFFFFL;
        long cenPos = getInt(t, end + 16) & 0xFFFFFFFFL;
        if (cenSize > endPos || cenPos > endPos - cenSize) {
            throw new ZipException("invalid END header (bad central directory offset)");
        }
        // Bytes before the first entry (a prefix such as a launcher script) shift every offset.
        long shift = endPos - cenSize - cenPos;
        byte[] cen = new byte[(int) cenSize];
        readAt(file, cenPos + shift, cen, 0, cen.length);
        int at = 0;
        for (int i = 0; i < total; i++) {
            if (at > cen.length - CENHDR || getInt(cen, at) != CENSIG) {
                throw new ZipException("invalid CEN header (bad signature)");
            }
            int flag = getShort(cen, at + 8);
            int method = getShort(cen, at + 10);
            int nameLength = getShort(cen, at + 28);
            int extraLength = getShort(cen, at + 30);
            int commentLength = getShort(cen, at + 32);
            int next = at + CENHDR + nameLength + extraLength + commentLength;
            if (next > cen.length) {
                throw new ZipException("invalid CEN header (bad header size)");
            }
            if (method != ZipEntry.STORED && method != ZipEntry.DEFLATED) {
                throw new ZipException("invalid CEN header (bad compression method: " + method + ")");
            }
            ZipEntry e = new ZipEntry(Utf8.decode(cen, at + CENHDR, nameLength));
            e.flag = flag;
            e.method = method;
            e.dosTime = getInt(cen, at + 12);
            e.crc = getInt(cen, at + 16) & 0xFFFFFFFFL;
            e.csize = getInt(cen, at + 20) & 0xFFFFFFFFL;
            e.size = getInt(cen, at + 24) & 0xFFFFFFFFL;
            long local = (getInt(cen, at + 42) & 0xFFFFFFFFL) + shift;
            if (local > endPos - LOCHDR || e.csize > endPos - local) {
                throw new ZipException("invalid CEN header (bad local header offset)");
            }
            e.offset = (int) local;
            if (extraLength > 0) {
                byte[] extra = new byte[extraLength];
                System.arraycopy(cen, at + CENHDR + nameLength, extra, 0, extraLength);
                e.extra = extra;
            }
            if (commentLength > 0) {
                e.comment = Utf8.decode(cen, at + CENHDR + nameLength + extraLength, commentLength);
            }
            entries.addElement(e);
            if (!byName.containsKey(e.name)) {
                byName.put(e.name, e);
            }
            at = next;
        }
    }

    /* Where the entry's data begins: after its local header, whose name and extra field
       may differ in length from the directory's. */
    private long dataStart(ZipEntry e) throws IOException {
        byte[] h = new byte[LOCHDR];
        readAt(file, e.offset & 0xFFFFFFFFL, h, 0, LOCHDR);
        if (getInt(h, 0) != LOCSIG) {
            throw new ZipException("invalid LOC header (bad signature)");
        }
        long start = (e.offset & 0xFFFFFFFFL) + LOCHDR + getShort(h, 26) + getShort(h, 28);
        if (e.csize > file.length() - start) {
            throw new ZipException("invalid LOC header (entry data past the end of the file)");
        }
        return start;
    }

    private static void readAt(RandomAccessFile file, long pos, byte[] b, int off, int len) throws IOException {
        while (len > 0) {
            int n = SharedFile.read(file, pos, b, off, len);
            if (n < 0) {
                throw new EOFException();
            }
            pos += n;
            off += n;
            len -= n;
        }
    }

    private static int getShort(byte[] b, int at) {
        return (b[at] & 0xFF) | (b[at + 1] & 0xFF) << 8;
    }

    private static int getInt(byte[] b, int at) {
        return getShort(b, at) | getShort(b, at + 2) << 16;
    }

    /* ---- entry streams ---- */

    /* The bytes of one entry's data, read from the ZipFile's file at their position. An
       inflated entry's stream gets one zero byte past the data, which lets a raw inflater
       that wants a byte of look-ahead finish. */
    private class Region extends InputStream {
        private long pos;
        private long left;
        private boolean pad;
        private boolean closed;

        Region(long pos, long length, boolean pad) {
            this.pos = pos;
            this.left = length;
            this.pad = pad;
        }

        public int read() throws IOException {
            byte[] one = new byte[1];
            return read(one, 0, 1) == -1 ? -1 : one[0] & 0xFF;
        }

        public int read(byte[] b, int off, int len) throws IOException {
            if (off < 0 || len < 0 || off > b.length - len) {
                throw new IndexOutOfBoundsException();
            }
            if (closed) {
                throw new IOException("Stream closed");
            }
            if (len == 0) {
                return 0;
            }
            if (left <= 0) {
                if (pad) {
                    pad = false;
                    b[off] = 0;
                    return 1;
                }
                return -1;
            }
            int n = len < left ? len : (int) left;
            if (ZipFile.this.closed) {
                throw new IOException("zip file closed");
            }
            try {
                n = SharedFile.read(file, pos, b, off, n);
            } catch (IOException x) {
                throw closedOr(x);
            }
            if (n <= 0) {
                throw new ZipException("unexpected end of the zip file");
            }
            pos += n;
            left -= n;
            return n;
        }

        public long skip(long n) throws IOException {
            if (closed) {
                throw new IOException("Stream closed");
            }
            if (n <= 0) {
                return 0;
            }
            long k = n < left ? n : left;
            pos += k;
            left -= k;
            return k;
        }

        public int available() throws IOException {
            return closed ? 0 : left > Integer.MAX_VALUE ? Integer.MAX_VALUE : (int) left;
        }

        public void close() throws IOException {
            if (!closed) {
                closed = true;
                forget(this);
            }
        }
    }

    /* A deflated entry's data, with an Inflater of its own given back at close. */
    private class Inflating extends InflaterInputStream {
        private long remaining;  // of the inflated size, for available()

        Inflating(Region in, int size, long inflated) {
            super(in, new Inflater(true), size, true);
            this.remaining = inflated;
        }

        public int read(byte[] b, int off, int len) throws IOException {
            int n = super.read(b, off, len);
            if (n > 0) {
                remaining -= n;
            }
            return n;
        }

        public int available() throws IOException {
            int open = super.available();
            if (open == 0 || remaining <= 0) {
                return 0;
            }
            return remaining > Integer.MAX_VALUE ? Integer.MAX_VALUE : (int) remaining;
        }

        public void close() throws IOException {
            forget(this);
            super.close();
        }
    }
}
