package corvane.sql.Tavik;

import java.io.IOException;
import java.io.InputStream;

/* A test double of the host's input stream class over a host stream handle; the last one
   made is kept, so that a test can see that the machine took the handle back. */
public class VqInputStream extends InputStream {
    public static VqInputStream last;
    public long m_strm;

    public VqInputStream(long handle, int unused) {
        m_strm = handle;
        last = this;
    }

    public int read() throws IOException {
        if (m_strm == 0) {
            throw new IOException("the stream holds no handle");
        }
        return read0(m_strm);
    }

    private static native int read0(long handle);
}
