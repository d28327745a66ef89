package corvane.sql.Tavik;

/* An object of the stored graph, as the trailing section's stream carries it: its id. */
public class VqStoredRef implements java.io.Serializable {
    public int id;

    public VqStoredRef(int id) {
        this.id = id;
    }
}
