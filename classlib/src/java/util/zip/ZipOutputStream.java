package java.util.zip;

import java.io.IOException;
import java.io.OutputStream;

/**
 * An output stream that writes a zip archive. Deflated entries are written with their
 * sizes and CRC-32 after the data (a data descriptor); stored entries need their size and
 * CRC-32 set before putNextEntry. Names and comments are written in UTF-8.
 */
public class ZipOutputStream extends DeflaterOutputStream {
    public static final int STORED = ZipEntry.STORED;
    public static final int DEFLATED = ZipEntry.DEFLATED;

    static final int LOCSIG = 0x04034b50;
    static final int EXTSIG = 0x08074b50;
    static final int CENSIG = 0x02014b50;
    static final int ENDSIG = 0x06054b50;

    private ZipEntry entry;
    private ZipEntry[] entries = new ZipEntry[8];
    private int count;
    private CRC32 crc = new CRC32();
    private long written;
    private long entryStart;
    private int method = DEFLATED;
    private byte[] comment;
    private boolean finished;
    private boolean closed;

    public ZipOutputStream(OutputStream out) {
        super(out, new Deflater(Deflater.DEFAULT_COMPRESSION, true), 512, true);
    }

    public void setComment(String comment) {
        this.comment = comment == null ? null : Utf8.encode(comment);
        if (this.comment != null && this.comment.length > 0xFFFF) {
            throw new IllegalArgumentException("invalid ZIP file comment");
        }
    }

    public void setMethod(int method) {
        if (method != STORED && method != DEFLATED) {
            throw new IllegalArgumentException("invalid compression method");
        }
        this.method = method;
    }

    /** Kept, with no effect: every stream compresses at level 1 (see Deflater). */
    public void setLevel(int level) {
        def.setLevel(level);
    }

    public void putNextEntry(ZipEntry e) throws IOException {
        ensureOpen();
        if (entry != null) {
            closeEntry();
        }
        if (e.method == -1) {
            e.method = method;
        }
        if (e.dosTime == 0) {
            e.dosTime = DosTime.EARLIEST;
        }
        if (e.method == STORED) {
            if (e.size == -1) {
                e.size = e.csize;
            } else if (e.csize == -1) {
                e.csize = e.size;
            }
            if (e.size == -1 || e.crc == -1) {
                throw new ZipException("STORED entry missing size, compressed size, or crc-32");
            }
            if (e.size != e.csize) {
                throw new ZipException("STORED entry where compressed != uncompressed size");
            }
            e.flag = 0;
        } else {
            e.flag = 8;  // sizes and CRC-32 after the data
        }
        for (int i = 0; i < count; i++) {
            if (entries[i].name.equals(e.name)) {
                throw new ZipException("duplicate entry: " + e.name);
            }
        }
        e.offset = (int) written;
        writeLocalHeader(e);
        entry = e;
        entryStart = written;
        crc.reset();
        if (count == entries.length) {
            ZipEntry[] more = new ZipEntry[count * 2];
            for (int i = 0; i < count; i++) {
                more[i] = entries[i];
            }
            entries = more;
        }
        entries[count++] = e;
    }

    public void closeEntry() throws IOException {
        ensureOpen();
        ZipEntry e = entry;
        if (e == null) {
            return;
        }
        if (e.method == DEFLATED) {
            def.finish();
            while (!def.finished()) {
                deflate();
            }
            long size = def.getTotalIn() & 0xFFFFFFFFL;
            long csize = written - entryStart;
            if (e.size != -1 && e.size != size) {
                throw new ZipException("invalid entry size (expected " + e.size + " but got " + size + " bytes)");
            }
            e.size = size;
            e.csize = csize;
            e.crc = crc.getValue();
            byte[] d = new byte[16];
            putInt(d, 0, EXTSIG);
            putInt(d, 4, (int) e.crc);
            putInt(d, 8, (int) e.csize);
            putInt(d, 12, (int) e.size);
            writeRaw(d, 0, 16);
            def.reset();
        } else {
            long size = written - entryStart;
            if (size != e.size) {
                throw new ZipException("invalid entry size (expected " + e.size + " but got " + size + " bytes)");
            }
            if (crc.getValue() != e.crc) {
                throw new ZipException("invalid entry crc-32");
            }
        }
        entry = null;
    }

    public synchronized void write(byte[] b, int off, int len) throws IOException {
        ensureOpen();
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (entry == null) {
            throw new ZipException("no current ZIP entry");
        }
        if (len == 0) {
            return;
        }
        if (entry.method == DEFLATED) {
            super.write(b, off, len);
        } else {
            writeRaw(b, off, len);
        }
        crc.update(b, off, len);
    }

    public void finish() throws IOException {
        ensureOpen();
        if (finished) {
            return;
        }
        if (entry != null) {
            closeEntry();
        }
        long cdStart = written;
        for (int i = 0; i < count; i++) {
            writeCentralHeader(entries[i]);
        }
        byte[] end = new byte[22];
        putInt(end, 0, ENDSIG);
        putShort(end, 8, count);
        putShort(end, 10, count);
        putInt(end, 12, (int) (written - cdStart));
        putInt(end, 16, (int) cdStart);
        putShort(end, 20, comment == null ? 0 : comment.length);
        writeRaw(end, 0, 22);
        if (comment != null) {
            writeRaw(comment, 0, comment.length);
        }
        finished = true;
    }

    public void close() throws IOException {
        if (!closed) {
            super.close();
            closed = true;
        }
    }

    protected void deflate() throws IOException {
        if (def.ended()) {
            throw new IOException("Deflater has been closed");
        }
        int n = def.deflate(buf, 0, buf.length);
        if (n > 0) {
            writeRaw(buf, 0, n);
        }
    }

    private void writeLocalHeader(ZipEntry e) throws IOException {
        byte[] name = Utf8.encode(e.name);
        byte[] extra = e.extra;
        byte[] h = new byte[30];
        putInt(h, 0, LOCSIG);
        putShort(h, 4, e.flag == 8 ? 20 : 10);
        putShort(h, 6, e.flag);
        putShort(h, 8, e.method);
        putInt(h, 10, e.dosTime);
        if (e.flag != 8) {
            putInt(h, 14, (int) e.crc);
            putInt(h, 18, (int) e.csize);
            putInt(h, 22, (int) e.size);
        }
        putShort(h, 26, name.length);
        putShort(h, 28, extra == null ? 0 : extra.length);
        writeRaw(h, 0, 30);
        writeRaw(name, 0, name.length);
        if (extra != null) {
            writeRaw(extra, 0, extra.length);
        }
    }

    private void writeCentralHeader(ZipEntry e) throws IOException {
        byte[] name = Utf8.encode(e.name);
        byte[] extra = e.extra;
        byte[] comment = e.comment == null ? null : Utf8.encode(e.comment);
        byte[] h = new byte[46];
        putInt(h, 0, CENSIG);
        putShort(h, 4, e.flag == 8 ? 20 : 10);
        putShort(h, 6, e.flag == 8 ? 20 : 10);
        putShort(h, 8, e.flag);
        putShort(h, 10, e.method);
        putInt(h, 12, e.dosTime);
        putInt(h, 16, (int) e.crc);
        putInt(h, 20, (int) e.csize);
        putInt(h, 24, (int) e.size);
        putShort(h, 28, name.length);
        putShort(h, 30, extra == null ? 0 : extra.length);
        putShort(h, 32, comment == null ? 0 : comment.length);
        putInt(h, 42, e.offset);
        writeRaw(h, 0, 46);
        writeRaw(name, 0, name.length);
        if (extra != null) {
            writeRaw(extra, 0, extra.length);
        }
        if (comment != null) {
            writeRaw(comment, 0, comment.length);
        }
    }

    private void writeRaw(byte[] b, int off, int len) throws IOException {
        out.write(b, off, len);
        written += len;
    }

    private void ensureOpen() throws IOException {
        if (closed) {
            throw new IOException("Stream closed");
        }
    }

    static void putShort(byte[] b, int at, int v) {
        b[at] = (byte) v;
        b[at + 1] = (byte) (v >> 8);
    }

    static void putInt(byte[] b, int at, int v) {
        putShort(b, at, v);
        putShort(b, at + 2, v >> 16);
    }
}
