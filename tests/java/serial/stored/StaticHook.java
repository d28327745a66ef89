package stored;

/* Static methods of the hooks' names and signatures are no hooks. */
public class StaticHook implements java.io.Serializable {
    public int value;

    private static void writeObject(java.io.ObjectOutputStream out) {
    }

    private static void readObject(java.io.ObjectInputStream in) {
    }
}
