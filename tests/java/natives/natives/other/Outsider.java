package natives.other;

// Another package than the classes it makes.
public class Outsider {
    public static Object make(Class c) throws Exception {
        return c.newInstance();
    }
}
