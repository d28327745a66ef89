import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/* Interfaces reached along very many paths, more than a list keeps in its own record:
   a chain whose each interface extends the two before it, some redeclaring a method of
   the first, and a fan of interfaces all declaring one method; every Method listed
   answers its modifiers and its text, and a redeclaration hides only what its interface
   extends. */
public class ReflectDeepDiamonds {
    interface C0 { void m0(); void m(); int n(); }
    interface C1 extends C0 { void m1(); }
    interface C2 extends C1, C0 { void m2(); }
    interface C3 extends C2, C1 { void m3(); void m(); }
    interface C4 extends C3, C2 { void m4(); }
    interface C5 extends C4, C3 { void m5(); int n(); }
    interface C6 extends C5, C4 { void m6(); void m(); }
    interface C7 extends C6, C5 { void m7(); }
    interface C8 extends C7, C6 { void m8(); }
    interface C9 extends C8, C7 { void m9(); void m(); }
    interface C10 extends C9, C8 { void m10(); int n(); }
    interface C11 extends C10, C9 { void m11(); }
    interface C12 extends C11, C10 { void m12(); void m(); }
    interface C13 extends C12, C11 { void m13(); }
    interface C14 extends C13, C12 { void m14(); }
    interface C15 extends C14, C13 { void m15(); void m(); int n(); }
    interface C16 extends C15, C14 { void m16(); }
    interface C17 extends C16, C15 { void m17(); }
    interface C18 extends C17, C16 { void m18(); void m(); }
    interface C19 extends C18, C17 { void m19(); }
    interface C20 extends C19, C18 { void m20(); int n(); }
    interface C21 extends C20, C19 { void m21(); void m(); }
    interface C22 extends C21, C20 { void m22(); }
    interface C23 extends C22, C21 { void m23(); }
    interface W0 { void w0(); void m(); }
    interface W1 { void w1(); void m(); }
    interface W2 { void w2(); void m(); }
    interface W3 { void w3(); void m(); }
    interface W4 { void w4(); void m(); }
    interface W5 { void w5(); void m(); }
    interface W6 { void w6(); void m(); }
    interface W7 { void w7(); void m(); }
    interface W8 { void w8(); void m(); }
    interface W9 { void w9(); void m(); }
    interface W10 { void w10(); void m(); }
    interface W11 { void w11(); void m(); }
    interface W12 { void w12(); void m(); }
    interface W13 { void w13(); void m(); }
    interface W14 { void w14(); void m(); }
    interface W15 { void w15(); void m(); }
    interface W16 { void w16(); void m(); }
    interface W17 { void w17(); void m(); }
    interface W18 { void w18(); void m(); }
    interface W19 { void w19(); void m(); }
    interface W20 { void w20(); void m(); }
    interface W21 { void w21(); void m(); }
    interface W22 { void w22(); void m(); }
    interface W23 { void w23(); void m(); }
    interface W24 { void w24(); void m(); }
    interface W25 { void w25(); void m(); }
    interface W26 { void w26(); void m(); }
    interface W27 { void w27(); void m(); }
    interface W28 { void w28(); void m(); }
    interface W29 { void w29(); void m(); }
    interface W30 { void w30(); void m(); }
    interface W31 { void w31(); void m(); }
    interface W32 { void w32(); void m(); }
    interface W33 { void w33(); void m(); }
    interface W34 { void w34(); void m(); }
    interface W35 { void w35(); void m(); }
    interface W36 { void w36(); void m(); }
    interface W37 { void w37(); void m(); }
    interface W38 { void w38(); void m(); }
    interface W39 { void w39(); void m(); }
    interface W40 { void w40(); void m(); }
    interface W41 { void w41(); void m(); }
    interface W42 { void w42(); void m(); }
    interface W43 { void w43(); void m(); }
    interface W44 { void w44(); void m(); }
    interface W45 { void w45(); void m(); }
    interface W46 { void w46(); void m(); }
    interface W47 { void w47(); void m(); }
    interface W48 { void w48(); void m(); }
    interface W49 { void w49(); void m(); }
    interface W50 { void w50(); void m(); }
    interface W51 { void w51(); void m(); }
    interface W52 { void w52(); void m(); }
    interface W53 { void w53(); void m(); }
    interface W54 { void w54(); void m(); }
    interface W55 { void w55(); void m(); }
    interface W56 { void w56(); void m(); }
    interface W57 { void w57(); void m(); }
    interface W58 { void w58(); void m(); }
    interface W59 { void w59(); void m(); }
    interface W60 { void w60(); void m(); }
    interface W61 { void w61(); void m(); }
    interface W62 { void w62(); void m(); }
    interface W63 { void w63(); void m(); }
    interface W64 { void w64(); void m(); }
    interface W65 { void w65(); void m(); }
    interface W66 { void w66(); void m(); }
    interface W67 { void w67(); void m(); }
    interface W68 { void w68(); void m(); }
    interface W69 { void w69(); void m(); }
    interface WW extends W0, W1, W2, W3, W4, W5, W6, W7, W8, W9, W10, W11, W12, W13, W14, W15, W16, W17, W18, W19, W20, W21, W22, W23, W24, W25, W26, W27, W28, W29, W30, W31, W32, W33, W34, W35, W36, W37, W38, W39, W40, W41, W42, W43, W44, W45, W46, W47, W48, W49, W50, W51, W52, W53, W54, W55, W56, W57, W58, W59, W60, W61, W62, W63, W64, W65, W66, W67, W68, W69 { }
    interface WX extends WW, C23 { void m(); }
    interface WY extends C23, WW { }
    static abstract class AX implements WY { public void m0() { } }

    static String name(Class c) { return c.getName().substring(c.getName().lastIndexOf('$') + 1); }

    static void sort(String[] a) {
        for (int i = 1; i < a.length; i++) {
            String k = a[i];
            int j = i - 1;
            while (j >= 0 && a[j].compareTo(k) > 0) { a[j + 1] = a[j]; j--; }
            a[j + 1] = k;
        }
    }

    /* The methods that m's are hidden by none of, and how many failed to answer. */
    static void methods(Class c) {
        Method[] ms = c.getMethods();
        int n = 0, bad = 0;
        for (int i = 0; i < ms.length; i++) if (ms[i].getDeclaringClass() != Object.class) n++;
        String[] s = new String[n];
        n = 0;
        for (int i = 0; i < ms.length; i++) {
            Method m = ms[i];
            if (m.getDeclaringClass() == Object.class) continue;
            try {
                if (m.toString().indexOf(m.getName()) < 0 || !Modifier.isPublic(m.getModifiers())) bad++;
            } catch (Throwable t) {
                bad++;
            }
            String d = name(m.getDeclaringClass()) + "." + m.getName();
            if (Modifier.isAbstract(m.getModifiers())) d += " abstract";
            s[n++] = d;
        }
        sort(s);
        StringBuffer line = new StringBuffer(name(c)).append(' ').append(n).append(" methods, failed on ").append(bad).append(':');
        for (int i = 0; i < n; i++) if (s[i].indexOf(".m ") >= 0 || s[i].indexOf(".n ") >= 0 || s[i].endsWith(".m") || s[i].endsWith(".n")) line.append(' ').append(s[i]);
        System.out.println(line);
    }

    public static void main(String[] args) throws Exception {
        Class[] cs = { C23.class, C22.class, WW.class, WX.class, WY.class, AX.class };
        for (int i = 0; i < cs.length; i++) methods(cs[i]);
        System.out.println("WY.getMethod m -> " + name(WY.class.getMethod("m", new Class[0]).getDeclaringClass()));
    }
}
