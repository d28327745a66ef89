package stored;

public interface Marker extends java.io.Serializable {
}
