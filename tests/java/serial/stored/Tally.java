package stored;

import java.io.IOException;
import java.io.ObjectInput;
import java.io.ObjectOutput;

/* Externalizable with data: a count and a label. */
public class Tally implements java.io.Externalizable {
    public int count;
    public String label;

    public Tally() {
    }

    public void writeExternal(ObjectOutput out) throws IOException {
        out.writeInt(count);
        out.writeObject(label);
    }

    public void readExternal(ObjectInput in) throws IOException, ClassNotFoundException {
        count = in.readInt();
        label = (String) in.readObject();
    }
}
