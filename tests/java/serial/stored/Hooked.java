package stored;

/* Writes and reads its own data. */
public class Hooked implements java.io.Serializable {
    public int value;

    private void writeObject(java.io.ObjectOutputStream out) {
    }

    private void readObject(java.io.ObjectInputStream in) {
    }
}
