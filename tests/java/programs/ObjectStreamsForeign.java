import java.io.ByteArrayInputStream;
import java.io.ObjectInputStream;
import java.util.Vector;

/* Streams another machine wrote: a Vector as the JDK 17 writes it (with a writeObject of
   its own, so with block data after its fields) and the same graph as this machine
   writes it (without), each followed by the wrapper classes. Both machines read both. */
public class ObjectStreamsForeign {
    static final String FROM_JDK =
            "aced0005737200106a6176612e7574696c2e566563746f72d9977d5b803baf010300034900116361706163697479496e" +
            "6372656d656e7449000c656c656d656e74436f756e745b000b656c656d656e74446174617400135b4c6a6176612f6c61" +
            "6e672f4f626a6563743b78700000000000000004757200135b4c6a6176612e6c616e672e4f626a6563743b90ce589f10" +
            "73296c02000078700000000a7400036f6e65737200116a6176612e6c616e672e496e746567657212e2a0a4f781873802" +
            "000149000576616c7565787200106a6176612e6c616e672e4e756d62657286ac951d0b94e08b02000078700000000273" +
            "72000e6a6176612e6c616e672e4c6f6e673b8be490cc8f23df0200014a000576616c75657871007e0007ffffffffffff" +
            "fffd71007e0002707070707070787571007e000300000008737200116a6176612e6c616e672e426f6f6c65616ecd2072" +
            "80d59cfaee0200015a000576616c7565787001737200136a6176612e6c616e672e436861726163746572348b47d96b1a" +
            "267802000143000576616c756578700071737200106a6176612e6c616e672e446f75626c6580b3c24a296bfb04020001" +
            "44000576616c75657871007e00073fe00000000000007372000f6a6176612e6c616e672e466c6f6174daedc9a2db3cf0" +
            "ec02000146000576616c75657871007e0007bfc000007372000f6a6176612e6c616e672e53686f7274684d37133460da" +
            "5202000153000576616c75657871007e000700077372000e6a6176612e6c616e672e427974659c4e6084ee50f51c0200" +
            "0142000576616c75657871007e0007f8757200025b494dba602676eab2a5020000787000000002000000040000000574" +
            "000173";
    static final String FROM_MACHINE =
            "aced0005737200106a6176612e7574696c2e566563746f72d9977d5b803baf010200034900116361706163697479496e" +
            "6372656d656e7449000c656c656d656e74436f756e745b000b656c656d656e74446174617400135b4c6a6176612f6c61" +
            "6e672f4f626a6563743b78700000000000000004757200135b4c6a6176612e6c616e672e4f626a6563743b90ce589f10" +
            "73296c02000078700000000a7400036f6e65737200116a6176612e6c616e672e496e746567657212e2a0a4f781873802" +
            "000149000576616c7565787200106a6176612e6c616e672e4e756d62657286ac951d0b94e08b02000078700000000273" +
            "72000e6a6176612e6c616e672e4c6f6e673b8be490cc8f23df0200014a000576616c75657871007e0007ffffffffffff" +
            "fffd71007e00027070707070707571007e000300000008737200116a6176612e6c616e672e426f6f6c65616ecd207280" +
            "d59cfaee0200015a000576616c7565787001737200136a6176612e6c616e672e436861726163746572348b47d96b1a26" +
            "7802000143000576616c756578700071737200106a6176612e6c616e672e446f75626c6580b3c24a296bfb0402000144" +
            "000576616c75657871007e00073fe00000000000007372000f6a6176612e6c616e672e466c6f6174daedc9a2db3cf0ec" +
            "02000146000576616c75657871007e0007bfc000007372000f6a6176612e6c616e672e53686f7274684d37133460da52" +
            "02000153000576616c75657871007e000700077372000e6a6176612e6c616e672e427974659c4e6084ee50f51c020001" +
            "42000576616c75657871007e0007f8757200025b494dba602676eab2a502000078700000000200000004000000057400" +
            "0173";

    static byte[] parse(String hex) {
        byte[] b = new byte[hex.length() / 2];
        for (int i = 0; i < b.length; i++) {
            b[i] = (byte) Integer.parseInt(hex.substring(2 * i, 2 * i + 2), 16);
        }
        return b;
    }

    static void read(String what, String hex) throws Exception {
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(parse(hex)));
        Vector v = (Vector) in.readObject();
        System.out.println(what + ": vector of " + v.size() + ": " + v.elementAt(0) + " " + v.elementAt(1) + " "
                + v.elementAt(2) + " " + (v.elementAt(3) == v) + " " + v.elementAt(1).getClass().getName());
        Object[] a = (Object[]) in.readObject();
        StringBuffer sb = new StringBuffer(what + ":");
        for (int i = 0; i < a.length; i++) {
            Object o = a[i];
            sb.append(' ').append(o instanceof int[] ? "int[" + ((int[]) o)[1] + "]" : o.getClass().getName() + "=" + o);
        }
        System.out.println(sb);
        System.out.println(what + ": then " + in.read());
    }

    public static void main(String[] args) throws Exception {
        read("jdk", FROM_JDK);
        read("machine", FROM_MACHINE);
    }
}
