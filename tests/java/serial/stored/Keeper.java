package stored;

import java.io.IOException;
import java.io.ObjectInput;
import java.io.ObjectOutput;

/* Externalizable, and its constructor keeps every instance where Java code reaches it:
   made during a read, it is seen before the read has ended. */
public class Keeper implements java.io.Externalizable {
    public static Object kept;

    public int value;
    public Object other;

    public Keeper() {
        kept = this;
    }

    public void writeExternal(ObjectOutput out) throws IOException {
        out.writeInt(value);
        out.writeObject(other);
    }

    public void readExternal(ObjectInput in) throws IOException, ClassNotFoundException {
        value = in.readInt();
        other = in.readObject();
    }
}
