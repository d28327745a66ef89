import java.util.zip.DataFormatException;
import java.util.zip.Deflater;
import java.util.zip.Inflater;

/*
 * A copy of an Inflater made by Object.clone holds the original's stream word. Once the
 * original ends, the word names nothing, also after a new Inflater is made (whose stream
 * may lie where the ended one lay): the copy's calls never reach the new Inflater's
 * stream, which reads its own data whole.
 */
public class InflaterClone {
    static class Copyable extends Inflater implements Cloneable {
        Copyable() {
            super();
        }

        Object copy() throws CloneNotSupportedException {
            return clone();
        }
    }

    static byte[] deflate(String s) {
        Deflater d = new Deflater();
        byte[] in = s.getBytes();
        d.setInput(in, 0, in.length);
        d.finish();
        byte[] out = new byte[200];
        int n = d.deflate(out, 0, out.length);
        d.end();
        byte[] r = new byte[n];
        System.arraycopy(out, 0, r, 0, n);
        return r;
    }

    public static void main(String[] args) throws Exception {
        byte[] victimData = deflate("the victim's own text, which nothing else may touch");
        byte[] junk = deflate("junk from the stale copy");
        int crossed = 0, damaged = 0, rounds = 200;
        for (int round = 0; round < rounds; round++) {
            Copyable original = new Copyable();
            Inflater stale = (Inflater) original.copy();
            original.end();
            Inflater victim = new Inflater();
            // The stale copy feeds its own input and reads whatever comes out.
            stale.setInput(junk, 0, junk.length);
            byte[] out = new byte[200];
            try {
                int n = stale.inflate(out, 0, 10);
                if (n > 0 || stale.getTotalIn() > 0) {
                    crossed++;
                }
            } catch (Exception e) {
                // refused: as it should be
            }
            victim.setInput(victimData, 0, victimData.length);
            String text;
            try {
                int n = victim.inflate(out, 0, out.length);
                text = "\"" + new String(out, 0, n) + "\"";
            } catch (DataFormatException e) {
                text = e.toString();
            }
            if (!text.equals("\"the victim's own text, which nothing else may touch\"")) {
                damaged++;
                if (damaged <= 2) {
                    System.out.println("round " + round + ": the victim read " + text);
                }
            }
            victim.end();
        }
        System.out.println("stale copies that reached a live stream: " + crossed + " of " + rounds + ", victims damaged: " + damaged);
    }
}
