import java.io.Externalizable;
import java.io.IOException;
import java.io.ObjectInput;
import java.io.ObjectOutput;
import java.io.ObjectStreamClass;
import java.io.ObjectStreamField;
import java.io.Serializable;
import java.util.Vector;

/* The default serial versions of classes with every feature the version is computed
   from: class and member modifiers, interfaces, static initialisers, private static and
   transient fields, constructors, overloads and names with '$', arrays, and the field
   lists of the descriptions. Run on another machine over the same class files, every
   line must match. */
public class ObjectStreamUids {
    static class Plain implements Serializable {
        int a;
    }

    public static class Public implements Serializable, Cloneable {
        public int x;
        protected long y;
        private String z;
        static int s;
        private static int ps;
        transient int t;
        private transient int pt;
        volatile boolean v;
        final double f = 1.0;

        public Public() {
        }

        protected Public(int a) {
        }

        Public(String s) {
        }

        private Public(long l) {
        }

        public synchronized void m() {
        }

        native void n();

        private void hidden() {
        }

        static void st(int[] a, String[][] b) {
        }

        final Object $dollar(Object o) {
            return o;
        }

        void m(int i) {
        }
    }

    static final class WithInit implements Serializable {
        static final Vector shared = new Vector();
        char c;
    }

    abstract static class Abstract implements Serializable {
        abstract void run();
    }

    static class Concrete extends Abstract {
        byte b;
        short sh;
        float fl;
        Object[] arr;
        WithInit w;

        void run() {
        }
    }

    interface Marker extends Serializable {
        int CONSTANT = new Object().hashCode() == 0 ? 1 : 2;
    }

    interface Empty extends Serializable {
    }

    interface WithMethods extends Serializable {
        void go();
    }

    static class Implementor implements Marker, WithMethods, Empty {
        public void go() {
        }
    }

    public static class Ext implements Externalizable {
        int kept;

        public Ext() {
        }

        public void writeExternal(ObjectOutput out) throws IOException {
        }

        public void readExternal(ObjectInput in) throws IOException {
        }
    }

    static class Sub extends Public {
        private static final long serialVersionUID = 0L;
        int more;
    }

    static class NonFinalUid implements Serializable {
        static long serialVersionUID = 77L;
    }

    static void show(Class c) {
        ObjectStreamClass d = ObjectStreamClass.lookup(c);
        if (d == null) {
            System.out.println(c.getName() + ": not serializable");
            return;
        }
        StringBuffer sb = new StringBuffer(d.getName()).append(' ').append(d.getSerialVersionUID());
        ObjectStreamField[] f = d.getFields();
        for (int i = 0; i < f.length; i++) {
            sb.append(' ').append(f[i].getTypeCode()).append(f[i].getName());
            if (f[i].getTypeString() != null) {
                sb.append(':').append(f[i].getTypeString());
            }
        }
        System.out.println(sb);
    }

    public static void main(String[] args) {
        Class[] classes = {Plain.class, Public.class, WithInit.class, Abstract.class, Concrete.class, Marker.class,
                           Empty.class, WithMethods.class, Implementor.class, Ext.class, Sub.class, int[].class,
                           byte[].class, String[].class, Object[][].class, Public[].class, long[][].class,
                           Object.class, Vector.class, Integer.class, Character.class, Boolean.class, Number.class,
                           String.class, Thread.class, ObjectStreamUids.class};
        for (int i = 0; i < classes.length; i++) {
            show(classes[i]);
        }
    }
}
