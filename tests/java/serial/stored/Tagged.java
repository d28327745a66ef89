package stored;

public class Tagged implements Marker {
    public int tag;
}
