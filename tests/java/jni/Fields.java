/* Public, public static, private and inherited fields. */
public class Fields implements FieldsBase {
    public int pub;
    public static int spub;
    private int priv;
    public long wide;
}
