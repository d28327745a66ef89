package zip;

import java.io.OutputStream;

/** A growing byte array written through OutputStream, without System.arraycopy. */
public class Sink extends OutputStream {
    public byte[] bytes = new byte[64];
    public int count;

    public void write(int b) {
        if (count == bytes.length) {
            byte[] more = new byte[bytes.length * 2];
            for (int i = 0; i < count; i++) {
                more[i] = bytes[i];
            }
            bytes = more;
        }
        bytes[count++] = (byte) b;
    }

    public void write(byte[] b, int off, int len) {
        for (int i = 0; i < len; i++) {
            write(b[off + i]);
        }
    }

    public byte[] toBytes() {
        byte[] out = new byte[count];
        for (int i = 0; i < count; i++) {
            out[i] = bytes[i];
        }
        return out;
    }
}
