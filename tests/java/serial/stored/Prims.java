package stored;

/* One field of every primitive type, and fields the stored form leaves out. */
public class Prims implements java.io.Serializable {
    public boolean z;
    public byte b;
    public char c;
    public short s;
    public int i;
    public long j;
    public float f;
    public double d;
    public static int stat;
    public transient int trans;
    public final int fin;

    public Prims() {
        fin = 7;
    }
}
