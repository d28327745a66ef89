package reflect;

/** The base bundle of reflect.BundleProbe. */
public class BundleProbe extends java.util.ListResourceBundle {

    protected Object[][] getContents() {
        return new Object[][] {{"greeting", "hello"}, {"count", new Integer(3)}};
    }
}
