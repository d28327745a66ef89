import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;

/* Runs the case methods of test classes on the JDK, for the interpreter's differential
   test, which prints the same lines from the machine. Each class named on the command
   line has a static cases() and some of the static methods i, l, f and d taking the case
   number; every case n < cases() of each of them prints one line,

       <class> <kind> <n> <value>

   with an int or long in decimal, a float or double as its bits in hex, or "!" and the
   class name of what the case threw. Compiled against the JDK it runs on. */
public class CaseDriver {
    static final String[] KINDS = {"i", "l", "f", "d"};

    static String hex(long bits, int digits) {
        String text = Long.toHexString(bits);
        while (text.length() < digits) text = "0" + text;
        return text.substring(text.length() - digits);
    }

    static String value(Object result) {
        if (result instanceof Float) return hex(Float.floatToRawIntBits(((Float) result).floatValue()) & 0xFFFFFFFFL, 8);
        if (result instanceof Double) return hex(Double.doubleToRawLongBits(((Double) result).doubleValue()), 16);
        return String.valueOf(result);
    }

    public static void main(String[] args) throws Exception {
        StringBuffer out = new StringBuffer();
        for (int a = 0; a < args.length; a++) {
            Class c = Class.forName(args[a]);
            // Case classes need not be public.
            Method counter = c.getMethod("cases", new Class[0]);
            counter.setAccessible(true);
            Object count = counter.invoke(null, new Object[0]);
            int cases = ((Integer) count).intValue();
            for (int k = 0; k < KINDS.length; k++) {
                Method m;
                try {
                    m = c.getMethod(KINDS[k], new Class[] {Integer.TYPE});
                } catch (NoSuchMethodException e) {
                    continue;
                }
                m.setAccessible(true);
                for (int n = 0; n < cases; n++) {
                    String v;
                    try {
                        v = value(m.invoke(null, new Object[] {new Integer(n)}));
                    } catch (InvocationTargetException e) {
                        v = "!" + e.getTargetException().getClass().getName();
                    }
                    out.append(args[a]).append(' ').append(KINDS[k]).append(' ').append(n).append(' ').append(v).append('\n');
                }
            }
        }
        System.out.print(out);
        System.out.flush();
    }
}
