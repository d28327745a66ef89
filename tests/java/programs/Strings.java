/* String and StringBuffer: searching, cutting, comparing, interning, and buffers that
   grow, shrink and are reversed. */
import java.util.StringTokenizer;

public class Strings {
    public static void main(String[] args) {
        String s = "Hello, World";
        System.out.println(s.length() + " " + s.charAt(7) + " " + s.indexOf('o') + " " + s.lastIndexOf('o') + " "
                + s.indexOf("World") + " " + s.indexOf("xyz") + " " + s.indexOf('o', 5));
        System.out.println(s.substring(7) + "|" + s.substring(0, 5) + "|" + s.substring(12) + "|");
        System.out.println(s.toUpperCase() + " " + s.toLowerCase());
        System.out.println("[" + "  pad me \t".trim() + "]");
        System.out.println(s.replace('l', 'L') + " " + s.startsWith("Hell") + " " + s.endsWith("ld") + " " + s.startsWith("World", 7));
        System.out.println("b".compareTo("a") + " " + "a".compareTo("b") + " " + "abc".compareTo("ab") + " " + "same".compareTo("same")
                + " " + "A".equalsIgnoreCase("a"));
        System.out.println("ab".hashCode() + " " + "".hashCode() + " " + "hello".hashCode());
        String a = "hel";
        String b = "lo";
        String c = a + b;
        System.out.println((c == "hello") + " " + (c.intern() == "hello") + " " + c.equals("hello"));
        System.out.println(String.valueOf(12) + String.valueOf(true) + String.valueOf('c') + String.valueOf(2.5)
                + String.valueOf((Object) null));
        char[] chars = s.toCharArray();
        System.out.println(chars.length + " " + new String(chars, 7, 5) + " " + String.valueOf(chars, 0, 4));
        System.out.println("a,b,,c".indexOf(",,") + " " + "x".concat("y") + " " + "".length() + " "
                + "abc".regionMatches(true, 0, "ABD", 0, 2));

        StringBuffer sb = new StringBuffer();
        sb.append("abc").append(1).append('x').append(2.5).append(true).append((String) null).append(new char[] {'y', 'z'});
        System.out.println(sb + " " + sb.length());
        sb.insert(0, "<").insert(sb.length(), '>').reverse();
        System.out.println(sb);
        sb.setLength(3);
        sb.setCharAt(0, '#');
        System.out.println(sb + " " + sb.charAt(2));
        sb.setLength(5);
        System.out.println(sb.length() + " " + (int) sb.charAt(4));
        StringBuffer big = new StringBuffer();
        for (int i = 0; i < 1000; i++) {
            big.append(i % 10);
        }
        String bs = big.toString();
        big.setCharAt(0, 'X');
        System.out.println(bs.length() + " " + bs.charAt(0) + " " + bs.substring(995) + " " + big.charAt(0));
        try {
            "abc".charAt(5);
        } catch (StringIndexOutOfBoundsException e) {
            System.out.println("StringIndexOutOfBoundsException");
        }
        try {
            "abc".substring(2, 1);
        } catch (StringIndexOutOfBoundsException e) {
            System.out.println("substring refused");
        }
        String u = "\u00e9t\u00e9";
        System.out.println(u.length() + " " + (int) u.charAt(0) + " " + u.toUpperCase().equals("\u00c9T\u00c9"));
        System.out.println(Integer.toString(255, 16) + " " + Integer.toString(-255, 2) + " " + Long.toString(Long.MIN_VALUE, 36));
        StringTokenizer st = new StringTokenizer("a b,c", " ,");
        StringBuffer toks = new StringBuffer();
        while (st.hasMoreTokens()) {
            toks.append('[').append(st.nextToken()).append(']');
        }
        System.out.println(toks + " " + new StringTokenizer("x y z").countTokens());
    }
}
