/* One small object of the stored-object benchmark's graph. */
public class StoredItem implements java.io.Serializable {
    public int id;
    public long stamp;
    public double weight;
    public StoredGroup group;
    public StoredItem peer;
}
