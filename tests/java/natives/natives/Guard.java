package natives;

// A security manager that shows its natives; called through A.first -> B.second.
public class Guard extends SecurityManager {

    public Class[] context() {
        return getClassContext();
    }

    public int depthOf(String name) {
        return classDepth(name);
    }

    public int loaderDepth() {
        return classLoaderDepth();
    }

    public ClassLoader loader() {
        return currentClassLoader();
    }

    static String run() {
        return A.first(new Guard());
    }

    static class A {
        static String first(Guard g) {
            return B.second(g);
        }
    }

    static class B {
        static String second(Guard g) {
            Class[] c = g.context();
            StringBuffer text = new StringBuffer();
            for (int i = 0; i < 4 && i < c.length; i++) {
                text.append(c[i].getName()).append(' ');
            }
            text.append(g.depthOf("natives.Guard$B")).append(' ');
            text.append(g.depthOf("natives/Guard$B")).append(' ');
            text.append(g.depthOf("java.lang.Object")).append(' ');
            text.append(g.loaderDepth()).append(' ');
            text.append(g.loader() == null);
            try {
                g.depthOf(null);
                text.append(" no NPE");
            } catch (NullPointerException e) {
                text.append(" NPE");
            }
            return text.toString();
        }
    }
}
