package reflect;

public class BundleProbe_fr extends java.util.ListResourceBundle {

    protected Object[][] getContents() {
        return new Object[][] {{"greeting", "bonjour"}, {"only_fr", "oui"}};
    }
}
