package stored;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* Hooks that go wrong as the tests ask: writeMode 1 throws, 2 writes too little, 3 too
   much; readMode 1 throws an IOException, 2 reads too little, 3 too much, 4 throws a
   RuntimeException; readMode | 16 first keeps the object where Java code can reach it. */
public class Misfit implements java.io.Serializable {
    public static int writeMode;
    public static int readMode;
    public static Object kept;
    public static int reads;

    public int value;
    public Object peer;
    public transient String text;

    private void writeObject(ObjectOutputStream out) throws IOException {
        if (writeMode == 1) {
            throw new IOException("write refused");
        }
        out.defaultWriteObject();
        if (writeMode == 2) {
            return;
        }
        out.writeUTF(text == null ? "" : text);
        if (writeMode == 3) {
            out.writeInt(99);
        }
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        reads++;
        if ((readMode & 16) != 0) {
            kept = this;
        }
        int mode = readMode & 15;
        if (mode == 1) {
            throw new IOException("read refused");
        }
        if (mode == 4) {
            throw new IllegalStateException("read refused");
        }
        in.defaultReadObject();
        if (mode == 2) {
            return;
        }
        text = in.readUTF();
        if (mode == 3) {
            in.readInt();
        }
    }
}
