package stored;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* A list whose links only the hooks write: a list of n nodes nests the hooks n deep. */
public class Linked implements java.io.Serializable {
    public int value;
    public transient Linked next;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
        out.writeObject(next);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        next = (Linked) in.readObject();
    }
}
