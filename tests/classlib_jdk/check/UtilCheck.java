package check;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Random;

/** java.util against the JDK: Random's gaussians, Properties, Vector, StringTokenizer, Hashtable. */
public class UtilCheck {
    static final Checks c = new Checks("UtilCheck");

    public static void main(String[] args) throws Exception {
        gaussians();
        propertiesLoad();
        propertiesStore();
        vector();
        tokenizer();
        hashtable();
        c.finish();
    }

    // The same seed gives the same values on every machine: Random's log may not be the C library's.
    static void gaussians() {
        for (long seed = 0; seed < 12; seed++) {
            t.util.Random a = new t.util.Random(seed * 7919 - 40);
            Random b = new Random(seed * 7919 - 40);
            int differ = 0;
            for (int i = 0; i < 1500; i++) {
                double x;
                double y;
                if (i % 5 == 4) {
                    x = a.nextDouble();
                    y = b.nextDouble();
                } else {
                    x = a.nextGaussian();
                    y = b.nextGaussian();
                }
                if (Double.doubleToRawLongBits(x) != Double.doubleToRawLongBits(y)) {
                    if (differ++ == 0) {
                        c.ok(false, "seed " + seed + " value " + i + ": " + x + " vs the JDK's " + y);
                    }
                }
            }
            c.eq(new Integer(0), new Integer(differ), "gaussians that differ, seed " + seed);
        }
    }

    static String loaded(String text, boolean ours) throws Exception {
        byte[] bytes = text.getBytes("ISO-8859-1");
        List<String> entries = new ArrayList<String>();
        if (ours) {
            t.util.Properties p = new t.util.Properties();
            p.load(new t.io.ByteArrayInputStream(bytes));
            for (t.util.Enumeration e = p.keys(); e.hasMoreElements();) {
                Object k = e.nextElement();
                entries.add(k + "=" + p.get(k));
            }
        } else {
            java.util.Properties p = new java.util.Properties();
            p.load(new java.io.ByteArrayInputStream(bytes));
            for (Object k : p.keySet()) {
                entries.add(k + "=" + p.get(k));
            }
        }
        Collections.sort(entries);
        return entries.toString();
    }

    static void propertiesLoad() throws Exception {
        c.eq("[a=1]", loaded("a=1\n\\\n\n", true), "a continued blank line holds no entry");
        String[] cases = {"a=1\n\\\n\n", "a=1\n\\\n  \nb=2", "\\\n  x=1", "a=1", "a 1", "a:1", "  a = 1  ", "a\\\n  b=c",
                          "#c\na=1", "!c\r\nb=2\r\n", "a=\\u0041\\t", "a\\ b=c", "a=b\\\\", "a\\=b:c\\:d", "=v", "k=",
                          "k", "a=1\rb=2\r\nc=3", "x=\\\n\\\n  y", "\\#x=1", " \t\f"};
        for (int i = 0; i < cases.length; i++) {
            c.eq(loaded(cases[i], false), loaded(cases[i], true), "load " + Checks.show(cases[i]));
        }
    }

    static List<String> storedLines(String text) {
        List<String> lines = new ArrayList<String>();
        String[] all = text.split("\n");
        for (int i = 0; i < all.length; i++) {
            if (!all[i].startsWith("#")) {
                lines.add(all[i]);
            }
        }
        Collections.sort(lines);
        return lines;
    }

    static void propertiesStore() throws Exception {
        t.util.Properties p = new t.util.Properties();
        p.put("k=1", "v=1:#! x");
        java.io.ByteArrayOutputStream out = new java.io.ByteArrayOutputStream();
        p.store(new PrintCheck.Recorder() {
            public synchronized void write(byte[] b, int off, int len) {
                out.write(b, off, len);
            }
        }, null);
        c.eq("k\\=1=v\\=1\\:\\#\\! x\n", out.toString("ISO-8859-1"), "separators and comment chars escaped everywhere");
        Random r = new Random(5);
        String alphabet = "ab =:#!\\\t\n\u00e9\u4e2d ";
        for (int round = 0; round < 300; round++) {
            t.util.Properties ours = new t.util.Properties();
            java.util.Properties jdk = new java.util.Properties();
            for (int i = 0; i < 4; i++) {
                String k = random(r, alphabet, 5);
                String v = random(r, alphabet, 8);
                ours.put(k, v);
                jdk.put(k, v);
            }
            final java.io.ByteArrayOutputStream o = new java.io.ByteArrayOutputStream();
            ours.store(new PrintCheck.Recorder() {
                public synchronized void write(byte[] b, int off, int len) {
                    o.write(b, off, len);
                }
            }, "head");
            java.io.ByteArrayOutputStream j = new java.io.ByteArrayOutputStream();
            jdk.store(j, "head");
            c.eq(storedLines(j.toString("ISO-8859-1")), storedLines(o.toString("ISO-8859-1")), "stored lines");
            t.util.Properties back = new t.util.Properties();
            back.load(new t.io.ByteArrayInputStream(o.toByteArray()));
            boolean same = back.size() == ours.size();
            for (t.util.Enumeration e = ours.keys(); e.hasMoreElements();) {
                Object k = e.nextElement();
                same &= ours.get(k).equals(back.get(k));
            }
            c.ok(same, "store then load gives the table back: " + Checks.show(o.toString("ISO-8859-1")));
        }
    }

    static String random(Random r, String alphabet, int max) {
        StringBuilder b = new StringBuilder();
        int n = r.nextInt(max + 1);
        for (int i = 0; i < n; i++) {
            b.append(alphabet.charAt(r.nextInt(alphabet.length())));
        }
        return b.toString();
    }

    static void vector() {
        t.util.Vector v = new t.util.Vector(72);
        for (int i = 0; i < 9; i++) {
            v.addElement(new Integer(i));
        }
        t.util.Vector copy = (t.util.Vector) v.clone();
        c.eq(new Integer(9), new Integer(copy.capacity()), "a clone is as large as its elements");
        c.eq(new Integer(9), new Integer(copy.size()), "clone size");
        copy.addElement("x");
        c.eq("x", copy.lastElement(), "a clone grows");
        c.eq(new Integer(9), new Integer(v.size()), "the original keeps its size");
        final t.util.Vector fv = v;
        c.eq("!ArrayIndexOutOfBoundsException", Checks.outcome(() -> new Integer(fv.indexOf(new Integer(3), -1))),
                "indexOf from a negative index");
        c.eq("=3", Checks.outcome(() -> new Integer(fv.indexOf(new Integer(3), 2))), "indexOf from 2");
        c.eq("=-1", Checks.outcome(() -> new Integer(fv.indexOf(new Integer(3), 9))), "indexOf from the end");
        c.eq("!ArrayIndexOutOfBoundsException", Checks.outcome(() -> new Integer(fv.lastIndexOf(new Integer(3), 9))),
                "lastIndexOf from past the end");
        t.util.Vector empty = (t.util.Vector) new t.util.Vector().clone();
        empty.addElement("y");
        c.eq("y", empty.elementAt(0), "the clone of an empty vector grows");
    }

    static void tokenizer() {
        final t.util.StringTokenizer nul = new t.util.StringTokenizer("a b", null);
        c.eq("!NullPointerException", Checks.outcome(() -> nul.nextToken()), "null delimiters");
        c.eq("=false", Checks.outcome(() -> Boolean.valueOf(new t.util.StringTokenizer("", null).hasMoreTokens())),
                "null delimiters over nothing");
        Random r = new Random(9);
        for (int round = 0; round < 2000; round++) {
            String s = random(r, "ab c,\t\n\r.", 12);
            String delim = round % 3 == 0 ? null : random(r, " ,.", 2);
            boolean ret = r.nextBoolean();
            t.util.StringTokenizer a = delim == null ? new t.util.StringTokenizer(s) : new t.util.StringTokenizer(s, delim, ret);
            java.util.StringTokenizer b = delim == null ? new java.util.StringTokenizer(s)
                                                        : new java.util.StringTokenizer(s, delim, ret);
            StringBuilder la = new StringBuilder().append(a.countTokens()).append(':');
            StringBuilder lb = new StringBuilder().append(b.countTokens()).append(':');
            for (int step = 0; step < 8; step++) {
                final t.util.StringTokenizer fa = a;
                final java.util.StringTokenizer fb = b;
                if (r.nextInt(4) == 0) {
                    final String d = random(r, " .a", 2);
                    la.append(Checks.outcome(() -> fa.nextToken(d))).append('|');
                    lb.append(Checks.outcome(() -> fb.nextToken(d))).append('|');
                } else {
                    la.append(Checks.outcome(() -> fa.nextToken())).append('|');
                    lb.append(Checks.outcome(() -> fb.nextToken())).append('|');
                }
            }
            la.append(a.hasMoreTokens());
            lb.append(b.hasMoreTokens());
            c.eq(lb.toString(), la.toString(), "tokens of " + Checks.show(s) + " by " + Checks.show(delim));
        }
    }

    static void hashtable() {
        Random r = new Random(13);
        for (int round = 0; round < 60; round++) {
            int capacity = 1 + r.nextInt(40);
            float load = 0.25f + r.nextInt(4) * 0.25f;
            t.util.Hashtable a = new t.util.Hashtable(capacity, load);
            java.util.Hashtable<Object, Object> b = new java.util.Hashtable<Object, Object>(capacity, load);
            StringBuilder la = new StringBuilder();
            StringBuilder lb = new StringBuilder();
            for (int i = 0; i < 200; i++) {
                Integer k = new Integer(r.nextInt(100) - 20);
                switch (r.nextInt(3)) {
                    case 0:
                        la.append(a.put(k, "v" + i));
                        lb.append(b.put(k, "v" + i));
                        break;
                    case 1:
                        la.append(a.remove(k));
                        lb.append(b.remove(k));
                        break;
                    default:
                        la.append(a.get(k));
                        lb.append(b.get(k));
                        break;
                }
            }
            la.append(a.size()).append(a.toString());
            lb.append(b.size()).append(b.toString());
            for (t.util.Enumeration e = a.keys(); e.hasMoreElements();) {
                la.append(e.nextElement()).append(',');
            }
            for (java.util.Enumeration<Object> e = b.keys(); e.hasMoreElements();) {
                lb.append(e.nextElement()).append(',');
            }
            c.eq(lb.toString(), la.toString(), "hashtable capacity " + capacity + " load " + load);
        }
    }
}
