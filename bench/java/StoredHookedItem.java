import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* An item whose class writes data of its own: stored, each one is a record of the
   trailing section. */
public class StoredHookedItem extends StoredItem {
    public transient int extra;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
        out.writeInt(extra);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        extra = in.readInt();
    }
}
