package java.util.zip;

import java.io.IOException;
import java.io.RandomAccessFile;

/*
 * Reads of one RandomAccessFile by several threads, each at places of its own: a ZipFile's
 * entry streams all read the file the ZipFile opened. The file has one position, and
 * synchronized excludes nothing on this machine, so the natives hold the file object's
 * machine monitor around the seek and the read, and around the close, which a read then
 * never meets half-way.
 */
final class SharedFile {
    private SharedFile() {
    }

    /** Up to len bytes from pos on into b[off..]: the count, -1 at the end of the file. */
    static native int read(RandomAccessFile file, long pos, byte[] b, int off, int len) throws IOException;

    static native void close(RandomAccessFile file) throws IOException;
}
