package stored;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* A readObject that never returns on its own. */
public class Spin implements java.io.Serializable {
    public int value;

    private void writeObject(ObjectOutputStream out) throws IOException {
        out.defaultWriteObject();
    }

    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        while (true) {
            tick();
        }
    }

    private static native void tick();
}
