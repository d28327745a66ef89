package corvane.sql.Tavik;

import java.io.IOException;
import java.io.OutputStream;

/* A test double of the host's output stream class: bytes go to the host stream whose
   handle it was made with, through a native the test binds to the reference host's
   serialization support table. */
public class VqOutputStream extends OutputStream {
    long m_strm;

    public VqOutputStream(long handle) {
        m_strm = handle;
    }

    public void write(int b) throws IOException {
        if (!write0(m_strm, b)) {
            throw new IOException("the host stream refused the write");
        }
    }

    private static native boolean write0(long handle, int b);
}
