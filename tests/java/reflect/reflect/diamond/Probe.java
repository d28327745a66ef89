package reflect.diamond;

import java.lang.reflect.Method;

/* The public methods of the chain's interfaces, and whether each answers and is called. */
public class Probe implements T {
    int calls;

    public void m() { calls++; }

    public void n() { calls += 100; }

    /* "Owner.name" of each method, sorted, after the interface's simple name. */
    public static String of(String name) throws Exception {
        Method[] ms = Class.forName("reflect.diamond." + name).getMethods();
        String[] s = new String[ms.length];
        for (int i = 0; i < ms.length; i++) {
            String owner = ms[i].getDeclaringClass().getName();
            s[i] = owner.substring(owner.lastIndexOf('.') + 1) + "." + ms[i].getName();
            for (int j = i; j > 0 && s[j - 1].compareTo(s[j]) > 0; j--) { String t = s[j]; s[j] = s[j - 1]; s[j - 1] = t; }
        }
        StringBuffer sb = new StringBuffer(name).append(':');
        for (int i = 0; i < s.length; i++) sb.append(' ').append(s[i]);
        return sb.toString();
    }

    /* Of a list of T's methods, those that fail to give their modifiers or text or to
       run on a Probe, and 1000 more unless m and n ran once each; -1 for no list. */
    public static int unusable(Method[] ms) {
        if (ms == null) return -1;
        Probe p = new Probe();
        int bad = 0;
        for (int i = 0; i < ms.length; i++) {
            try {
                if (ms[i].getModifiers() == 0 || ms[i].toString().indexOf(ms[i].getName()) < 0) bad++;
                else ms[i].invoke(p, new Object[0]);
            } catch (Throwable t) {
                bad++;
            }
        }
        return p.calls == 101 ? bad : bad + 1000;
    }
}
