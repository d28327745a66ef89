package stored;

public class Derived extends Base implements java.io.Serializable {
    public short derivedValue;
}
