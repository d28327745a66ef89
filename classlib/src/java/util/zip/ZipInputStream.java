package java.util.zip;

import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;

/**
 * An input stream that reads the entries of a zip archive in order, from their local
 * headers: getNextEntry positions at the next entry, read gives its data (inflated when it
 * is deflated) and ends with -1 at the entry's end, where its CRC-32 is checked.
 */
public class ZipInputStream extends InflaterInputStream {
    private ZipEntry entry;
    private CRC32 crc = new CRC32();
    private long remaining;       // of a stored entry
    private boolean entryEOF;
    private boolean closed;
    private int start;            // bytes of buf from start to len are read but unused
    private byte[] header = new byte[46];

    public ZipInputStream(InputStream in) {
        super(in, new Inflater(true), 512, true);
    }

    public ZipEntry getNextEntry() throws IOException {
        ensureOpen();
        if (entry != null) {
            closeEntry();
        }
        crc.reset();
        inf.reset();
        entryEOF = false;
        if (!readFully(header, 0, 4, false)) {
            return null;
        }
        int sig = getInt(header, 0);
        if (sig != ZipOutputStream.LOCSIG) {
            return null;  // the central directory, or no archive: no more entries
        }
        readFully(header, 4, 26, true);
        int flag = getShort(header, 6);
        int method = getShort(header, 8);
        int nameLength = getShort(header, 26);
        int extraLength = getShort(header, 28);
        byte[] name = new byte[nameLength];
        readFully(name, 0, nameLength, true);
        ZipEntry e = new ZipEntry(Utf8.decode(name, 0, nameLength));
        e.flag = flag;
        e.dosTime = getInt(header, 10);
        if (method != ZipEntry.STORED && method != ZipEntry.DEFLATED) {
            throw new ZipException("invalid compression method");
        }
        e.method = method;
        if ((flag & 8) == 0) {
            e.crc = getInt(header, 14) & 0xFFFFFFFFL;
            e.csize = getInt(header, 18) & 0xFFFFFFFFL;
            e.size = getInt(header, 22) & 0xFFFFFFFFL;
        } else if (method != ZipEntry.DEFLATED) {
            throw new ZipException("only DEFLATED entries can have EXT descriptor");
        }
        if (extraLength > 0) {
            byte[] extra = new byte[extraLength];
            readFully(extra, 0, extraLength, true);
            e.extra = extra;
        }
        remaining = e.size;
        entry = e;
        return e;
    }

    public void closeEntry() throws IOException {
        ensureOpen();
        byte[] scratch = new byte[512];
        while (read(scratch, 0, scratch.length) != -1) {
        }
        entryEOF = true;
    }

    public int available() throws IOException {
        ensureOpen();
        return entryEOF ? 0 : 1;
    }

    public int read(byte[] b, int off, int len) throws IOException {
        ensureOpen();
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        if (entry == null) {
            return -1;
        }
        if (entry.method == ZipEntry.STORED) {
            if (remaining <= 0) {
                finishEntry();
                return -1;
            }
            int n = len < remaining ? len : (int) remaining;
            n = readSome(b, off, n);
            if (n == -1) {
                throw new ZipException("unexpected EOF");
            }
            remaining -= n;
            crc.update(b, off, n);
            return n;
        }
        if (inf.ended()) {
            throw new IOException("Inflater has been closed");
        }
        for (;;) {
            int n;
            try {
                n = inf.inflate(b, off, len);
            } catch (DataFormatException e) {
                throw new ZipException(e.getMessage());
            } catch (NullPointerException e) {
                // Ended under this read by another thread's close.
                throw new IOException("Inflater has been closed");
            }
            if (n > 0) {
                crc.update(b, off, n);
                return n;
            }
            if (inf.finished()) {
                // What the inflater did not take belongs to what follows the entry.
                start = this.len - inf.getRemaining();
                finishEntry();
                return -1;
            }
            if (inf.needsInput()) {
                if (start < this.len) {
                    inf.setInput(buf, start, this.len - start);
                    start = this.len;
                } else {
                    fill();
                    start = this.len;
                }
            }
        }
    }

    public long skip(long n) throws IOException {
        if (n < 0) {
            throw new IllegalArgumentException("negative skip length");
        }
        byte[] scratch = new byte[512];
        long total = 0;
        while (total < n) {
            long left = n - total;
            int got = read(scratch, 0, left < scratch.length ? (int) left : scratch.length);
            if (got == -1) {
                break;
            }
            total += got;
        }
        return total;
    }

    public void close() throws IOException {
        if (!closed) {
            super.close();
            closed = true;
        }
    }

    protected ZipEntry createZipEntry(String name) {
        return new ZipEntry(name);
    }

    private void finishEntry() throws IOException {
        ZipEntry e = entry;
        if (e.method == ZipEntry.DEFLATED) {
            long size = inf.getTotalOut() & 0xFFFFFFFFL;
            long csize = inf.getTotalIn() & 0xFFFFFFFFL;
            if ((e.flag & 8) != 0) {
                // The descriptor: an optional signature, then CRC-32 and both sizes.
                readFully(header, 0, 4, true);
                int at = getInt(header, 0) == ZipOutputStream.EXTSIG ? 4 : 0;
                if (at == 4) {
                    readFully(header, 0, 12, true);
                } else {
                    readFully(header, 4, 8, true);
                }
                e.crc = getInt(header, 0) & 0xFFFFFFFFL;
                e.csize = getInt(header, 4) & 0xFFFFFFFFL;
                e.size = getInt(header, 8) & 0xFFFFFFFFL;
            }
            if (e.size != size || e.csize != csize) {
                throw new ZipException("invalid entry size (expected " + e.size + " but got " + size + " bytes)");
            }
        }
        if (e.crc != crc.getValue()) {
            throw new ZipException("invalid entry CRC (expected 0x" + Long.toHexString(e.crc) + " but got 0x"
                    + Long.toHexString(crc.getValue()) + ")");
        }
        entry = null;
        entryEOF = true;
    }

    /** Bytes from what was read but not used, then from the underlying stream. */
    private int readSome(byte[] b, int off, int n) throws IOException {
        if (start < len) {
            int k = n < len - start ? n : len - start;
            for (int i = 0; i < k; i++) {
                b[off + i] = buf[start + i];
            }
            start += k;
            return k;
        }
        return in.read(b, off, n);
    }

    /** False at the end of the stream before any byte when atEOFFails is false. */
    private boolean readFully(byte[] b, int off, int n, boolean atEOFFails) throws IOException {
        int done = 0;
        while (done < n) {
            int k = readSome(b, off + done, n - done);
            if (k == -1) {
                if (done == 0 && !atEOFFails) {
                    return false;
                }
                throw new EOFException("Unexpected end of ZIP input stream");
            }
            done += k;
        }
        return true;
    }

    private void ensureOpen() throws IOException {
        if (closed) {
            throw new IOException("Stream closed");
        }
    }

    private static int getShort(byte[] b, int at) {
        return (b[at] & 0xff) | (b[at + 1] & 0xff) << 8;
    }

    private static int getInt(byte[] b, int at) {
        return getShort(b, at) | getShort(b, at + 2) << 16;
    }
}
