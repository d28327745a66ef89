/* An object that many items of the benchmark's graph share. */
public class StoredGroup implements java.io.Serializable {
    public int code;
    public String label;

    public StoredGroup(int code, String label) {
        this.code = code;
        this.label = label;
    }
}
