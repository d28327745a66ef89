package stored;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* The top of a chain whose classes alternate between hooks and plain fields: its hook
   writes its fields and a note of its own. */
public class TierBase implements java.io.Serializable {
    public int base;
    public transient String baseNote;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
        out.writeUTF(baseNote == null ? "-" : baseNote);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        baseNote = in.readUTF();
    }
}
