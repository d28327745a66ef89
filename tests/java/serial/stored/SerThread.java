package stored;

/* A storable thread: its native thread values never travel. */
public class SerThread extends Thread implements java.io.Serializable {
    public int extra;
}
