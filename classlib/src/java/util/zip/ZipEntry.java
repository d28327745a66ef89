package java.util.zip;

/** An entry of a zip archive: its name and what the archive records about it. */
public class ZipEntry {
    public static final int STORED = 0;
    public static final int DEFLATED = 8;

    String name;
    long time = -1;
    long crc = -1;
    long size = -1;
    long csize = -1;
    int method = -1;
    byte[] extra;
    String comment;
    int dosTime;   // as the archive stores it
    int flag;      // the general purpose flags read from the archive
    int offset;    // of the local header, while writing

    public ZipEntry(String name) {
        if (name == null) {
            throw new NullPointerException();
        }
        if (name.length() > 0xFFFF) {
            throw new IllegalArgumentException("entry name too long");
        }
        this.name = name;
    }

    public ZipEntry(ZipEntry e) {
        name = e.name;
        time = e.time;
        crc = e.crc;
        size = e.size;
        csize = e.csize;
        method = e.method;
        extra = e.extra;
        comment = e.comment;
        dosTime = e.dosTime;
    }

    public String getName() {
        return name;
    }

    public void setTime(long time) {
        this.time = time;
        this.dosTime = DosTime.fromMillis(time);
    }

    public long getTime() {
        if (time == -1 && dosTime != 0) {
            return DosTime.toMillis(dosTime);
        }
        return time;
    }

    public void setSize(long size) {
        if (size < 0 || size > 0xFFFFFFFFL) {
            throw new IllegalArgumentException("invalid entry size");
        }
        this.size = size;
    }

    public long getSize() {
        return size;
    }

    public void setCompressedSize(long csize) {
        this.csize = csize;
    }

    public long getCompressedSize() {
        return csize;
    }

    public void setCrc(long crc) {
        if (crc < 0 || crc > 0xFFFFFFFFL) {
            throw new IllegalArgumentException("invalid entry crc-32");
        }
        this.crc = crc;
    }

    public long getCrc() {
        return crc;
    }

    public void setMethod(int method) {
        if (method != STORED && method != DEFLATED) {
            throw new IllegalArgumentException("invalid compression method");
        }
        this.method = method;
    }

    public int getMethod() {
        return method;
    }

    public void setExtra(byte[] extra) {
        if (extra != null && extra.length > 0xFFFF) {
            throw new IllegalArgumentException("invalid extra field length");
        }
        this.extra = extra;
    }

    public byte[] getExtra() {
        return extra;
    }

    public void setComment(String comment) {
        this.comment = comment;
    }

    public String getComment() {
        return comment;
    }

    public boolean isDirectory() {
        return name.endsWith("/");
    }

    public String toString() {
        return name;
    }

    public int hashCode() {
        return name.hashCode();
    }
}
