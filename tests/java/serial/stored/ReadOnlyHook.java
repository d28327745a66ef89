package stored;

public class ReadOnlyHook implements java.io.Serializable {
    public int value;

    private void readObject(java.io.ObjectInputStream in) {
    }
}
