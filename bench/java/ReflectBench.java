import java.lang.reflect.Method;

/* Method.invoke of a trivial instance method against a direct call of it, the same class
   files on either machine: invokeLoop calls through Method.invoke n times (one argument
   box made once, the result boxed by every call), boxedLoop makes the same result box
   around a direct call (the boxing's share), directLoop calls directly. main (the
   reference machine) prints per operation the milliseconds of the best of three runs and
   the checksum: "name ms checksum". */
public class ReflectBench {

    public int trivial(int x) {
        return x + 1;
    }

    public static int invokeLoop(int n) throws Exception {
        Method m = ReflectBench.class.getMethod("trivial", new Class[] {int.class});
        ReflectBench r = new ReflectBench();
        Object[] args = {new Integer(1)};
        int s = 0;
        for (int i = 0; i < n; i++) {
            s += ((Integer) m.invoke(r, args)).intValue();
        }
        return s;
    }

    public static int boxedLoop(int n) {
        ReflectBench r = new ReflectBench();
        Integer one = new Integer(1);
        int s = 0;
        for (int i = 0; i < n; i++) {
            s += new Integer(r.trivial(one.intValue())).intValue();
        }
        return s;
    }

    public static int directLoop(int n) {
        ReflectBench r = new ReflectBench();
        int s = 0;
        for (int i = 0; i < n; i++) {
            s += r.trivial(1);
        }
        return s;
    }

    public static void main(String[] args) throws Exception {
        int n = Integer.parseInt(args[0]);
        String[] names = {"invokeLoop", "boxedLoop", "directLoop"};
        for (int w = 0; w < names.length; w++) {
            long best = Long.MAX_VALUE;
            int result = 0;
            for (int r = 0; r < 3; r++) {
                long t0 = System.currentTimeMillis();
                result = w == 0 ? invokeLoop(n) : w == 1 ? boxedLoop(n) : directLoop(n);
                long t = System.currentTimeMillis() - t0;
                if (t < best) best = t;
            }
            System.out.println(names[w] + " " + best + " " + result);
        }
    }
}
