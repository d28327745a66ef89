/* Objects a host makes with AllocObject (no constructor runs) and drops at once, each
   holding an array the host stores in it; their finalizer counts them. */
public class HostFin {
    static int finalized;
    byte[] payload;

    protected void finalize() {
        finalized++;
    }
}
