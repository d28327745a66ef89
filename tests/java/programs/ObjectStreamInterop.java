import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.DataOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.ObjectStreamClass;
import java.io.Serializable;
import java.math.BigDecimal;
import java.math.BigInteger;
import java.net.InetAddress;
import java.util.BitSet;
import java.util.Hashtable;
import java.util.Locale;
import java.util.Properties;
import java.util.Random;
import java.util.Stack;
import java.util.Vector;
import java.util.zip.CRC32;

/* The object streams against the JDK's, the same expected output on both machines:
   - objects of the library's Serializable classes whose bytes are the JDK's: the same
     length and CRC-32 on both, and what reads back;
   - classes whose bytes differ: each machine writes exactly the bytes kept below for it,
     and reads the bytes the other machine wrote;
   - what the two must agree on besides: class objects of primitive types, NaN fields,
     the default serialVersionUID of a class with a strictfp method or a serialVersionUID
     that is not final, File's separator, a stream that names an array of a class (which
     initialises nothing), and each top-level object passed on when writeObject returns. */
public class ObjectStreamInterop {
    /* Class, the bytes JDK 17 writes, the bytes this machine writes, for the objects of
       made() in the same order. */
    static final String[][] CROSS = {
        {"java.util.Vector",
            "aced0005737200106a6176612e7574696c2e566563746f72d9977d5b803baf010300034900116361706163697479496e" +
            "6372656d656e7449000c656c656d656e74436f756e745b000b656c656d656e74446174617400135b4c6a6176612f6c61" +
            "6e672f4f626a6563743b78700000000000000002757200135b4c6a6176612e6c616e672e4f626a6563743b90ce589f10" +
            "73296c02000078700000000a74000161737200116a6176612e6c616e672e496e746567657212e2a0a4f7818738020001" +
            "49000576616c7565787200106a6176612e6c616e672e4e756d62657286ac951d0b94e08b020000787000000003707070" +
            "707070707078",
            "aced0005737200106a6176612e7574696c2e566563746f72d9977d5b803baf010200034900116361706163697479496e" +
            "6372656d656e7449000c656c656d656e74436f756e745b000b656c656d656e74446174617400135b4c6a6176612f6c61" +
            "6e672f4f626a6563743b78700000000000000002757200135b4c6a6176612e6c616e672e4f626a6563743b90ce589f10" +
            "73296c02000078700000000a74000161737200116a6176612e6c616e672e496e746567657212e2a0a4f7818738020001" +
            "49000576616c7565787200106a6176612e6c616e672e4e756d62657286ac951d0b94e08b020000787000000003707070" +
            "7070707070"},
        {"java.util.Stack",
            "aced00057372000f6a6176612e7574696c2e537461636b10fe2ac2bb09861d020000787200106a6176612e7574696c2e" +
            "566563746f72d9977d5b803baf010300034900116361706163697479496e6372656d656e7449000c656c656d656e7443" +
            "6f756e745b000b656c656d656e74446174617400135b4c6a6176612f6c616e672f4f626a6563743b7870000000000000" +
            "0002757200135b4c6a6176612e6c616e672e4f626a6563743b90ce589f1073296c02000078700000000a740001617372" +
            "00116a6176612e6c616e672e496e746567657212e2a0a4f781873802000149000576616c7565787200106a6176612e6c" +
            "616e672e4e756d62657286ac951d0b94e08b020000787000000003707070707070707078",
            "aced00057372000f6a6176612e7574696c2e537461636b10fe2ac2bb09861d020000787200106a6176612e7574696c2e" +
            "566563746f72d9977d5b803baf010200034900116361706163697479496e6372656d656e7449000c656c656d656e7443" +
            "6f756e745b000b656c656d656e74446174617400135b4c6a6176612f6c616e672f4f626a6563743b7870000000000000" +
            "0002757200135b4c6a6176612e6c616e672e4f626a6563743b90ce589f1073296c02000078700000000a740001617372" +
            "00116a6176612e6c616e672e496e746567657212e2a0a4f781873802000149000576616c7565787200106a6176612e6c" +
            "616e672e4e756d62657286ac951d0b94e08b0200007870000000037070707070707070"},
        {"java.lang.StringBuffer",
            "aced0005737200166a6176612e6c616e672e537472696e674275666665722f0707d9eac8ead3030003490005636f756e" +
            "745a00067368617265645b000576616c75657400025b4378700000000300757200025b43b02666b0e25d84ac02000078" +
            "7000000013006100620063000000000000000000000000000000000000000000000000000000000000000078",
            "aced0005737200166a6176612e6c616e672e537472696e674275666665722f0707d9eac8ead3020003490005636f756e" +
            "745a00067368617265645b000576616c75657400025b4378700000000300757200025b43b02666b0e25d84ac02000078" +
            "70000000130061006200630000000000000000000000000000000000000000000000000000000000000000"},
        {"java.util.Properties",
            "aced0005737200146a6176612e7574696c2e50726f706572746965733912d07a70363e980200014c000864656661756c" +
            "74737400164c6a6176612f7574696c2f50726f706572746965733b787200136a6176612e7574696c2e48617368746162" +
            "6c6513bb0f25214ae4b803000246000a6c6f6164466163746f724900097468726573686f6c6478703f40000000000002" +
            "770800000003000000017400016b740001767870",
            "aced0005737200146a6176612e7574696c2e50726f706572746965733912d07a70363e980200014c000864656661756c" +
            "74737400164c6a6176612f7574696c2f50726f706572746965733b787200136a6176612e7574696c2e48617368746162" +
            "6c6513bb0f25214ae4b803000246000a6c6f6164466163746f724900097468726573686f6c6478703f40000000000008" +
            "77080000000b000000017400016b740001767870"},
        {"java.util.Random",
            "aced0005737200106a6176612e7574696c2e52616e646f6d363296344bf00a530300035a0014686176654e6578744e65" +
            "7874476175737369616e4400106e6578744e657874476175737369616e4a000473656564787000000000000000000000" +
            "000005deece66a78",
            "aced0005737200106a6176612e7574696c2e52616e646f6d363296344bf00a530200035a0014686176654e6578744e65" +
            "7874476175737369616e4400106e6578744e657874476175737369616e4a000473656564787000000000000000000000" +
            "000005deece66a"},
        {"java.util.BitSet",
            "aced0005737200106a6176612e7574696c2e4269745365746efd887e3934ab210300015b0004626974737400025b4a78" +
            "70757200025b4a782004b512b175930200007870000000020000000000000008000000000000004078",
            "aced0005737200106a6176612e7574696c2e4269745365746efd887e3934ab210200015b0004626974737400025b4a78" +
            "70757200025b4a782004b512b1759302000078700000000200000000000000080000000000000040"},
        {"java.util.Locale",
            "aced0005737200106a6176612e7574696c2e4c6f63616c657ef811609c30f9ec03000649000868617368636f64654c00" +
            "07636f756e7472797400124c6a6176612f6c616e672f537472696e673b4c000a657874656e73696f6e7371007e00014c" +
            "00086c616e677561676571007e00014c000673637269707471007e00014c000776617269616e7471007e00017870ffff" +
            "ffff7400025553740000740002656e71007e000471007e000478",
            "aced0005737200106a6176612e7574696c2e4c6f63616c657ef811609c30f9ec0200034c0007636f756e747279740012" +
            "4c6a6176612f6c616e672f537472696e673b4c00086c616e677561676571007e00014c000776617269616e7471007e00" +
            "0178707400025553740002656e740000"},
        {"java.math.BigInteger",
            "aced0005737200146a6176612e6d6174682e426967496e74656765728cfc9f1fa93bfb1d030006490008626974436f75" +
            "6e744900096269744c656e67746849001366697273744e6f6e7a65726f427974654e756d49000c6c6f77657374536574" +
            "4269744900067369676e756d5b00096d61676e69747564657400025b42787200106a6176612e6c616e672e4e756d6265" +
            "7286ac951d0b94e08b0200007870fffffffffffffffffffffffefffffffe00000001757200025b42acf317f8060854e0" +
            "02000078700000000d018ee90ff6c373e0ee4e3f0ad278",
            "aced0005737200146a6176612e6d6174682e426967496e74656765728cfc9f1fa93bfb1d030006490008626974436f75" +
            "6e744900096269744c656e67746849001366697273744e6f6e7a65726f427974654e756d49000c6c6f77657374536574" +
            "4269744900067369676e756d5b00096d61676e69747564657400025b42787200106a6176612e6c616e672e4e756d6265" +
            "7286ac951d0b94e08b0200007870fffffffffffffffffffffffefffffffe00000001757200025b42acf317f8060854e0" +
            "02000078700000000d018ee90ff6c373e0ee4e3f0ad278"},
        {"java.math.BigDecimal",
            "aced0005737200146a6176612e6d6174682e426967446563696d616c54c71557f981284f0300024900057363616c654c" +
            "0006696e7456616c7400164c6a6176612f6d6174682f426967496e74656765723b787200106a6176612e6c616e672e4e" +
            "756d62657286ac951d0b94e08b020000787000000003737200146a6176612e6d6174682e426967496e74656765728cfc" +
            "9f1fa93bfb1d030006490008626974436f756e744900096269744c656e67746849001366697273744e6f6e7a65726f42" +
            "7974654e756d49000c6c6f776573745365744269744900067369676e756d5b00096d61676e69747564657400025b4278" +
            "71007e0002fffffffffffffffffffffffefffffffe00000001757200025b42acf317f8060854e0020000787000000003" +
            "bc614e7878",
            "aced0005737200146a6176612e6d6174682e426967446563696d616c54c71557f981284f0200024900057363616c654c" +
            "0006696e7456616c7400164c6a6176612f6d6174682f426967496e74656765723b787200106a6176612e6c616e672e4e" +
            "756d62657286ac951d0b94e08b020000787000000003737200146a6176612e6d6174682e426967496e74656765728cfc" +
            "9f1fa93bfb1d030006490008626974436f756e744900096269744c656e67746849001366697273744e6f6e7a65726f42" +
            "7974654e756d49000c6c6f776573745365744269744900067369676e756d5b00096d61676e69747564657400025b4278" +
            "71007e0002fffffffffffffffffffffffefffffffe00000001757200025b42acf317f8060854e0020000787000000003" +
            "bc614e78"},
        {"java.net.InetAddress",
            "aced0005737200146a6176612e6e65742e496e6574416464726573732d9b57af9fe3ebdb030003490007616464726573" +
            "7349000666616d696c794c0008686f73744e616d657400124c6a6176612f6c616e672f537472696e673b78707f000001" +
            "000000027078",
            "aced0005737200146a6176612e6e65742e496e657441646472657373469c46d88c0e5b47020003490007616464726573" +
            "7349000666616d696c794c0008686f73744e616d657400124c6a6176612f6c616e672f537472696e673b78707f000001" +
            "0000000270"},
    };

    /* A Throwable("t") and a WriteAbortedException("w", new Exception("inner")) as this
       machine writes them. JDK 17 reads them; its own carry their stack traces as
       StackTraceElements, a class this library does not have. */
    static final String[] THROWABLES = {
            "aced0005737200136a6176612e6c616e672e5468726f7761626c65d5c635273977b8cb0200014c000d64657461696c4d" +
            "6573736167657400124c6a6176612f6c616e672f537472696e673b787074000174",
            "aced00057372001d6a6176612e696f2e577269746541626f72746564457863657074696f6ed1d6289bb1df6776020001" +
            "4c000664657461696c7400154c6a6176612f6c616e672f457863657074696f6e3b7872001d6a6176612e696f2e4f626a" +
            "65637453747265616d457863657074696f6e64c3e46b8d39fbdf020000787200136a6176612e696f2e494f4578636570" +
            "74696f6e6c8073646525f0ab020000787200136a6176612e6c616e672e457863657074696f6ed0fd1f3e1a3b1cc40200" +
            "00787200136a6176612e6c616e672e5468726f7761626c65d5c635273977b8cb0200014c000d64657461696c4d657373" +
            "6167657400124c6a6176612f6c616e672f537472696e673b7870740001777371007e0004740005696e6e6572"
    };

    static Object[] made() throws IOException {
        Vector v = new Vector();
        v.addElement("a");
        v.addElement(new Integer(3));
        Stack s = new Stack();
        s.push("a");
        s.push(new Integer(3));
        Properties p = new Properties();
        p.put("k", "v");
        BitSet b = new BitSet();
        b.set(3);
        b.set(70);
        return new Object[] {v, s, new StringBuffer("abc"), p, new Random(7), b, new Locale("en", "US"),
                new BigInteger("123456789012345678901234567890"), new BigDecimal("12345.678"),
                InetAddress.getByName("127.0.0.1")};
    }

    static class Strict implements Serializable {
        int v;

        strictfp double half(double d) {
            return d / 2;
        }
    }

    static class NotFinalUid implements Serializable {
        static long serialVersionUID = 17;
        int v;
    }

    static class NaNs implements Serializable {
        private static final long serialVersionUID = 1L;
        float f;
        double d;
    }

    static class Typed implements Serializable {
        private static final long serialVersionUID = 2L;
        Class type = Integer.TYPE;
        Class none = Void.TYPE;
        Class[] all = {Boolean.TYPE, Byte.TYPE, Character.TYPE, Short.TYPE, Long.TYPE, Float.TYPE, Double.TYPE};
    }

    static class Init {
        static {
            System.out.println("static initializer of Init ran");
        }
    }

    static byte[] bytes(Object o) throws IOException {
        ByteArrayOutputStream bo = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bo);
        out.writeObject(o);
        out.flush();
        return bo.toByteArray();
    }

    static Object back(byte[] b) throws Exception {
        return new ObjectInputStream(new ByteArrayInputStream(b)).readObject();
    }

    static String hex(byte[] b, int from, int to) {
        StringBuffer sb = new StringBuffer();
        for (int i = from; i < to; i++) {
            sb.append(Character.forDigit((b[i] >> 4) & 15, 16));
            sb.append(Character.forDigit(b[i] & 15, 16));
        }
        return sb.toString();
    }

    static byte[] unhex(String s) {
        byte[] b = new byte[s.length() / 2];
        for (int i = 0; i < b.length; i++) {
            b[i] = (byte) Integer.parseInt(s.substring(2 * i, 2 * i + 2), 16);
        }
        return b;
    }

    static boolean same(byte[] a, byte[] b) {
        if (a.length != b.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }

    static String describe(Object o) {
        if (o == null) {
            return "null";
        } else if (o instanceof Random) {
            return "Random, next " + ((Random) o).nextInt();
        } else if (o instanceof Throwable) {
            return o.getClass().getName() + ": " + ((Throwable) o).getMessage();
        } else if (o instanceof Typed) {
            Typed t = (Typed) o;
            StringBuffer sb = new StringBuffer("Typed " + t.type + " " + t.none);
            for (int i = 0; i < t.all.length; i++) {
                sb.append(' ').append(t.all[i]);
            }
            return sb.toString();
        } else if (o instanceof NaNs) {
            NaNs n = (NaNs) o;
            return "NaNs " + Float.isNaN(n.f) + " " + Double.isNaN(n.d);
        } else if (o instanceof Strict) {
            return "Strict v=" + ((Strict) o).v;
        } else if (o instanceof NotFinalUid) {
            return "NotFinalUid v=" + ((NotFinalUid) o).v;
        } else if (o instanceof int[]) {
            int[] a = (int[]) o;
            return "int[" + a.length + "] " + a[0] + " " + a[a.length - 1];
        } else if (o instanceof Object[]) {
            Object[] a = (Object[]) o;
            StringBuffer sb = new StringBuffer(o.getClass().getName() + " {");
            for (int i = 0; i < a.length; i++) {
                sb.append(i == 0 ? "" : ", ").append(a[i] == a ? "itself" : a[i] == null ? "null" : describe(a[i]));
            }
            return sb.append('}').toString();
        }
        String text = String.valueOf(o);
        StringBuffer sb = new StringBuffer(o.getClass().getName() + " ");
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (c >= 0x20 && c < 0x7F) {
                sb.append(c);
            } else {
                sb.append("\\u").append(Integer.toHexString(c));
            }
        }
        return sb.toString();
    }

    static void sameBytes(String what, Object o) throws Exception {
        byte[] b = bytes(o);
        CRC32 crc = new CRC32();
        crc.update(b);
        String line = what + ": " + b.length + " bytes, crc " + Long.toHexString(crc.getValue()) + "; reads back ";
        try {
            line += describe(back(b));
        } catch (Exception e) {
            line += "nothing, " + e;
        }
        System.out.println(line);
    }

    /* TC_ARRAY of "[LObjectStreamInterop$Init;", length 0: Init is not Serializable. */
    static byte[] initArray() throws IOException {
        ByteArrayOutputStream bo = new ByteArrayOutputStream();
        DataOutputStream d = new DataOutputStream(bo);
        d.writeShort(0xACED);
        d.writeShort(5);
        d.writeByte(0x75);
        d.writeByte(0x72);
        d.writeUTF("[LObjectStreamInterop$Init;");
        d.writeLong(1);
        d.writeByte(2);
        d.writeShort(0);
        d.writeByte(0x78);
        d.writeByte(0x70);
        d.writeInt(0);
        d.flush();
        return bo.toByteArray();
    }

    public static void main(String[] args) throws Exception {
        System.out.println("-- the JDK's bytes");
        sameBytes("Boolean", Boolean.TRUE);
        sameBytes("Byte", new Byte((byte) -7));
        sameBytes("Character", new Character('q'));
        sameBytes("Short", new Short((short) 300));
        sameBytes("Integer", new Integer(7));
        sameBytes("Long", new Long(-7L));
        sameBytes("Float", new Float(-0.25f));
        sameBytes("Double", new Double(1.5));
        sameBytes("String", "text \u00e9\u4e2d");
        sameBytes("Class", String.class);
        sameBytes("int.class", Integer.TYPE);
        sameBytes("void.class", Void.TYPE);
        sameBytes("int[].class", int[].class);
        sameBytes("int[]", new int[] {1, 2, 3});
        Object[] cycle = new Object[3];
        cycle[0] = "a";
        cycle[2] = cycle;
        sameBytes("Object[]", cycle);
        Hashtable h = new Hashtable();
        h.put("one", new Integer(1));
        h.put("two", new Long(2));
        h.put("three", "3");
        sameBytes("Hashtable", h);
        sameBytes("class objects of primitive types", new Typed());
        NaNs n = new NaNs();
        n.f = Float.intBitsToFloat(0x7fc12345);
        n.d = Double.longBitsToDouble(0x7ff8000000000123L);
        sameBytes("NaN fields", n);
        byte[] nb = bytes(n);
        System.out.println("  written as " + hex(nb, nb.length - 12, nb.length));
        Strict strict = new Strict();
        strict.v = 3;
        sameBytes("strictfp class", strict);
        System.out.println("  serialVersionUID " + ObjectStreamClass.lookup(Strict.class).getSerialVersionUID());
        NotFinalUid nf = new NotFinalUid();
        nf.v = 4;
        sameBytes("non-final serialVersionUID", nf);
        System.out.println("  serialVersionUID " + ObjectStreamClass.lookup(NotFinalUid.class).getSerialVersionUID());

        System.out.println("-- File");
        byte[] fb = bytes(new File("x/y"));
        int at = fb.length - 3;
        char sep = (char) (((fb[at] & 0xFF) << 8) | (fb[at + 1] & 0xFF));
        System.out.println("the writer's separator follows the path: " + (sep == File.separatorChar));
        fb[at] = 0;
        fb[at + 1] = (byte) '/';
        CRC32 crc = new CRC32();
        crc.update(fb);
        System.out.println("bytes with '/' there: " + fb.length + ", crc " + Long.toHexString(crc.getValue()));
        char other = File.separatorChar == '/' ? '\\' : '/';
        String written = "x" + other + "y" + other + "z";
        fb = bytes(new File(written));
        at = fb.length - 3;
        fb[at] = 0;
        fb[at + 1] = (byte) other;
        try {
            String path = ((File) back(fb)).getPath();
            System.out.println("another machine's separator becomes this one's: "
                    + path.equals("x" + File.separatorChar + "y" + File.separatorChar + "z"));
        } catch (Exception e) {
            System.out.println("another machine's File: " + e);
        }

        System.out.println("-- other bytes, read both ways");
        Object[] objects = made();
        for (int i = 0; i < CROSS.length; i++) {
            byte[] jdk = unhex(CROSS[i][1]);
            byte[] mine = unhex(CROSS[i][2]);
            byte[] own = bytes(objects[i]);
            boolean isJdk = same(own, jdk);
            String line = CROSS[i][0] + ": writes the kept bytes " + (isJdk || same(own, mine)) + "; the other's ";
            try {
                line += describe(back(isJdk ? mine : jdk));
            } catch (Exception e) {
                line += "refused, " + e.getClass().getName();
            }
            System.out.println(line);
        }
        for (int i = 0; i < THROWABLES.length; i++) {
            try {
                System.out.println("this machine's " + describe(back(unhex(THROWABLES[i]))));
            } catch (Exception e) {
                System.out.println("this machine's throwable " + i + ": " + e);
            }
        }

        System.out.println("-- a stream naming an array of a class");
        try {
            System.out.println(describe(back(initArray())));
        } catch (Exception e) {
            System.out.println("refused: " + e);
        }

        System.out.println("-- each top-level object is passed on");
        ByteArrayOutputStream bo = new ByteArrayOutputStream();
        ObjectOutputStream o = new ObjectOutputStream(bo);
        System.out.println("after the header: " + bo.size());
        o.writeObject("hello");
        System.out.println("after writeObject(String): " + bo.size());
        o.writeObject(h);
        System.out.println("after writeObject(Hashtable): " + bo.size());
        o.writeInt(5);
        System.out.println("after writeInt: " + bo.size());
        o.writeObject(new Integer(9));
        System.out.println("after writeObject(Integer): " + bo.size());
        o.flush();
        System.out.println("after flush: " + bo.size());
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(bo.toByteArray()));
        System.out.println("read " + in.readObject() + " " + ((Hashtable) in.readObject()).size() + " " + in.readInt() + " "
                + in.readObject());
    }
}
