package p2;

/* Reflective access from a subclass in another package, made in the subclass's own code:
   protected instance members on its own kind of object only, protected statics on none,
   the protected constructor never; package and private members not at all. */
public class Sub extends p1.Target {
    static Object run(int k, p1.Target other, Sub mine) throws Exception {
        Class t = p1.Target.class;
        switch (k) {
            case 0: return t.getDeclaredField("prot").get(other);
            case 1: return t.getDeclaredField("prot").get(mine);
            case 2: return t.getDeclaredMethod("protM", new Class[0]).invoke(other, new Object[0]);
            case 3: return t.getDeclaredMethod("protM", new Class[0]).invoke(mine, new Object[0]);
            case 4: return t.getDeclaredField("sprot").get(null);
            case 5: t.getDeclaredField("prot").setInt(other, 42); return "set " + t.getDeclaredField("prot").get(mine);
            case 6: return t.getDeclaredConstructor(new Class[] {Integer.TYPE}).newInstance(new Object[] {new Integer(1)}).getClass().getName();
            case 7: return t.getDeclaredField("pkg").get(mine);
            case 8: return t.getDeclaredField("priv").get(mine);
        }
        return null;
    }

    public static void main(String[] a) {
        String[] names = {"protected field, a Target", "protected field, a Sub", "protected method, a Target",
                          "protected method, a Sub", "protected static field", "protected field set, a Target",
                          "protected constructor", "package field, a Sub", "private field, a Sub"};
        p1.Target other = new p1.Target();
        Sub mine = new Sub();
        for (int k = 0; k < names.length; k++) {
            try {
                System.out.println(names[k] + ": " + run(k, other, mine));
            } catch (Throwable e) {
                System.out.println(names[k] + ": " + e.getClass().getName());
            }
        }
    }
}
