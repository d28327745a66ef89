package stored;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* Writes a note of its own after its fields, and counts what it read. */
public class Journal implements java.io.Serializable {
    public int value;
    public transient String note;
    public transient int reads;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
        out.writeUTF(note == null ? "" : note);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        note = in.readUTF();
        reads++;
    }
}
