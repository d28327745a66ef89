import java.lang.reflect.Array;
import java.lang.reflect.Constructor;
import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;

/* Reflection as a program uses it: a class's members listed (sorted), every field kind set,
   read and widened, methods invoked with boxed and widened arguments through interfaces
   and superclasses, constructors that throw, wrong arguments, arrays of one and several
   dimensions. */
public class Reflection {

    public interface Speaker {
        String speak();
    }

    public static class Animal implements Speaker {
        public String speak() {
            return "...";
        }

        public String kind() {
            return "animal";
        }
    }

    public static class Dog extends Animal {
        public String speak() {
            return "woof";
        }
    }

    public static class Values {
        public boolean z = true;
        public byte b = -7;
        public char c = 'x';
        public short s = -300;
        public int i = 123456;
        public long j = -9000000000L;
        public float f = 0.5f;
        public double d = 1e100;
        public String str = "text";
        public static int counter = 3;

        public Values() {
        }

        public Values(int i, long j) {
            this.i = i;
            this.j = j;
        }

        public Values(String fail) throws java.io.IOException {
            throw new java.io.IOException(fail);
        }

        public long sum(int a, long b, double c) {
            return a + b + (long) c;
        }

        public static String join(String a, Object b) {
            return a + "+" + b;
        }
    }

    static String name(Class c) {
        String n = c.getName();
        return n.substring(n.lastIndexOf('$') + 1);
    }

    static String shown(Object v) {
        return v == null ? "null" : name(v.getClass()) + " " + v;
    }

    static String thrown(Throwable t) {
        if (t instanceof InvocationTargetException) {
            Throwable target = ((InvocationTargetException) t).getTargetException();
            return "InvocationTargetException(" + name(target.getClass()) + ": " + target.getMessage() + ")";
        }
        return name(t.getClass());
    }

    static void sort(String[] a) {
        for (int i = 1; i < a.length; i++) {
            String x = a[i];
            int k = i - 1;
            for (; k >= 0 && a[k].compareTo(x) > 0; k--) {
                a[k + 1] = a[k];
            }
            a[k + 1] = x;
        }
    }

    static void members() {
        Field[] fs = Values.class.getDeclaredFields();
        String[] names = new String[fs.length];
        for (int k = 0; k < fs.length; k++) {
            names[k] = fs[k].getName() + ":" + fs[k].getType().getName() + ":" + fs[k].getModifiers();
        }
        sort(names);
        StringBuffer line = new StringBuffer("fields");
        for (int k = 0; k < names.length; k++) {
            line.append(' ').append(names[k]);
        }
        System.out.println(line);
        Method[] ms = Values.class.getDeclaredMethods();
        names = new String[ms.length];
        for (int k = 0; k < ms.length; k++) {
            Class[] p = ms[k].getParameterTypes();
            StringBuffer sb = new StringBuffer(ms[k].getName()).append('(');
            for (int q = 0; q < p.length; q++) {
                sb.append(q > 0 ? "," : "").append(p[q].getName());
            }
            names[k] = sb.append(')').append(ms[k].getReturnType().getName()).toString();
        }
        sort(names);
        line = new StringBuffer("methods");
        for (int k = 0; k < names.length; k++) {
            line.append(' ').append(names[k]);
        }
        System.out.println(line);
        System.out.println("constructors " + Values.class.getDeclaredConstructors().length);
    }

    static void fields() throws Exception {
        String[] names = {"z", "b", "c", "s", "i", "j", "f", "d", "str", "counter"};
        for (int k = 0; k < names.length; k++) {
            Field f = Values.class.getField(names[k]);
            Values v = new Values();
            StringBuffer line = new StringBuffer(names[k]).append(": ").append(shown(f.get(v)));
            try {
                double widened = f.getDouble(v);
                line.append(" double ").append(widened);
            } catch (IllegalArgumentException e) {
                line.append(" double IllegalArgumentException");
            }
            try {
                f.set(v, new Byte((byte) 5));
                line.append(" set Byte -> ").append(shown(f.get(v)));
            } catch (IllegalArgumentException e) {
                line.append(" set Byte IllegalArgumentException");
            }
            System.out.println(line);
        }
    }

    static void invoke() throws Exception {
        Method sum = Values.class.getMethod("sum", new Class[] {int.class, long.class, double.class});
        Object[] args = {new Short((short) 2), new Integer(40), new Float(0.5f)};
        System.out.println("sum " + shown(sum.invoke(new Values(), args)));
        try {
            sum.invoke(new Values(), new Object[] {new Long(1), new Long(1), new Long(1)});
        } catch (Throwable t) {
            System.out.println("sum with a Long for int: " + thrown(t));
        }
        try {
            sum.invoke(null, args);
        } catch (Throwable t) {
            System.out.println("sum without a receiver: " + thrown(t));
        }
        Method join = Values.class.getMethod("join", new Class[] {String.class, Object.class});
        System.out.println("join " + shown(join.invoke(null, new Object[] {"a", new Character('b')})));
        Method speak = Speaker.class.getMethod("speak", null);
        Method kind = Animal.class.getMethod("kind", null);
        Method animalSpeak = Animal.class.getMethod("speak", null);
        System.out.println("Speaker.speak on Dog " + speak.invoke(new Dog(), null));
        System.out.println("Animal.speak on Dog " + animalSpeak.invoke(new Dog(), null));
        System.out.println("Animal.kind on Dog " + kind.invoke(new Dog(), null));
        try {
            speak.invoke("not a speaker", null);
        } catch (Throwable t) {
            System.out.println("Speaker.speak on a String: " + thrown(t));
        }
        Constructor two = Values.class.getConstructor(new Class[] {int.class, long.class});
        Values made = (Values) two.newInstance(new Object[] {new Byte((byte) 9), new Character('A')});
        System.out.println("new Values(9, 'A') i=" + made.i + " j=" + made.j);
        Constructor failing = Values.class.getConstructor(new Class[] {String.class});
        try {
            failing.newInstance(new Object[] {"no"});
        } catch (Throwable t) {
            System.out.println("new Values(\"no\"): " + thrown(t));
        }
        try {
            two.newInstance(new Object[] {new Integer(1)});
        } catch (Throwable t) {
            System.out.println("new Values(1): " + thrown(t));
        }
    }

    static void arrays() {
        int[][] grid = (int[][]) Array.newInstance(int.class, new int[] {2, 3});
        Array.setInt(grid[1], 2, 7);
        System.out.println("grid " + grid.length + "x" + grid[0].length + " " + Array.getLong(grid[1], 2));
        Object names = Array.newInstance(String.class, 2);
        Array.set(names, 0, "first");
        System.out.println("names " + Array.getLength(names) + " " + Array.get(names, 0) + " " + Array.get(names, 1));
        double[] ds = new double[] {1.5};
        Array.setFloat(ds, 0, 2.25f);
        System.out.println("double[] " + Array.get(ds, 0));
        try {
            Array.set(names, 1, new Integer(3));
        } catch (IllegalArgumentException e) {
            System.out.println("Integer into String[]: IllegalArgumentException");
        }
        try {
            Array.newInstance(int.class, new int[] {2, -1});
        } catch (NegativeArraySizeException e) {
            System.out.println("negative dimension: NegativeArraySizeException");
        }
    }

    public static void main(String[] args) throws Exception {
        members();
        fields();
        invoke();
        arrays();
    }
}
