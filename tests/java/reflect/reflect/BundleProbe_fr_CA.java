package reflect;

public class BundleProbe_fr_CA extends java.util.ListResourceBundle {

    protected Object[][] getContents() {
        return new Object[][] {{"greeting", "allo"}, {"words", new String[] {"un", "deux"}}};
    }
}
