package stored;

public class Ext implements java.io.Externalizable {
    public int value;

    public Ext() {
    }

    public void writeExternal(java.io.ObjectOutput out) {
    }

    public void readExternal(java.io.ObjectInput in) {
    }
}
