import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.math.BigInteger;

/*
 * A BigInteger written to an object stream, one field changed in the bytes, read back: the
 * stream's cached bitLength is never believed (the value reads back whole), and a sign that
 * is no sign, or that disagrees with the magnitude, is refused with StreamCorruptedException.
 */
public class BigIntegerSerialCaches {
    static final String VALUE = "123456789012345678901234567890";

    public static void main(String[] args) throws Exception {
        ByteArrayOutputStream bo = new ByteArrayOutputStream();
        ObjectOutputStream o = new ObjectOutputStream(bo);
        o.writeObject(new BigInteger(VALUE));
        o.close();
        byte[] b = bo.toByteArray();
        // The primitive fields, in the serial form's order: bitCount -1, bitLength -1,
        // firstNonzeroByteNum -2, lowestSetBit -2, signum 1.
        byte[] pattern = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -2, -1, -1, -1, -2, 0, 0, 0, 1};
        int at = find(b, pattern);
        if (at < 0) {
            System.out.println("field values not found in the stream");
            return;
        }
        read("unchanged", b);
        read("bitLength 5", patch(b, at + 4, 5));
        read("bitLength -2147483632", patch(b, at + 4, 0x80000010));
        read("signum 0", patch(b, at + 16, 0));
        read("signum 7", patch(b, at + 16, 7));
    }

    static void read(String label, byte[] stream) {
        String s;
        try {
            BigInteger x = (BigInteger) new ObjectInputStream(new ByteArrayInputStream(stream)).readObject();
            s = "toString " + x + ", plus one " + x.add(BigInteger.valueOf(1)) + ", equals the original "
                    + x.equals(new BigInteger(VALUE));
        } catch (Throwable t) {
            s = t.getClass().getName();
        }
        System.out.println(label + ": " + s);
    }

    static byte[] patch(byte[] b, int at, int v) {
        byte[] c = (byte[]) b.clone();
        c[at] = (byte) (v >> 24);
        c[at + 1] = (byte) (v >> 16);
        c[at + 2] = (byte) (v >> 8);
        c[at + 3] = (byte) v;
        return c;
    }

    static int find(byte[] b, byte[] p) {
        for (int i = 0; i + p.length <= b.length; i++) {
            int k = 0;
            while (k < p.length && b[i + k] == p[k]) {
                k++;
            }
            if (k == p.length) {
                return i;
            }
        }
        return -1;
    }
}
