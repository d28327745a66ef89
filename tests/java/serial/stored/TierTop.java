package stored;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* The bottom of the chain: its hook writes its data by hand, without the default
   writer, and an object that only the hook holds. */
public class TierTop extends TierMid {
    public int top;
    public transient Object extra;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.writeInt(top * 3);
        out.writeObject(extra);
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        top = in.readInt() / 3;
        extra = in.readObject();
    }
}
