/* Many short-lived arrays of a few hundred to a few thousand elements (int[], double[],
   byte[]), each written, read back and dropped: making and freeing bodies of many pieces,
   and the sweeps that free them, are most of the work. Prints "ok" and a checksum that it
   checks itself. Run against the reference on the same class files, e.g.
       build/puxjava -cp build/testclasses/bench PieceArrayChurn 200000
       java -Xint -cp build/testclasses/bench PieceArrayChurn 200000 */
public class PieceArrayChurn {
    public static void main(String[] args) {
        int rounds = args.length > 0 ? Integer.parseInt(args[0]) : 200000;
        long sum = 0;
        int[][] keep = new int[64][];
        for (int r = 0; r < rounds; r++) {
            int n = 200 + (r * 37) % 2800;
            switch (r % 3) {
            case 0: {
                int[] a = new int[n];
                for (int i = 0; i < n; i += 16) a[i] = i ^ r;
                sum += a[n - 1 - (n - 1) % 16] + a.length;
                keep[r & 63] = a;
                break;
            }
            case 1: {
                double[] d = new double[n];
                d[n / 2] = r;
                d[n - 1] = 0.5;
                sum += (long) (d[n / 2] + d[n - 1] * 2) + d.length;
                break;
            }
            default: {
                byte[] b = new byte[n * 2];
                b[n] = (byte) r;
                sum += b[n] + b.length;
                break;
            }
            }
        }
        long expect = 0;
        for (int r = 0; r < rounds; r++) {
            int n = 200 + (r * 37) % 2800;
            if (r % 3 == 0) expect += ((n - 1 - (n - 1) % 16) ^ r) + n;
            else if (r % 3 == 1) expect += r + 1 + n;
            else expect += (byte) r + 2 * n;
        }
        System.out.println(sum == expect ? "ok " + sum : "WRONG " + sum + " != " + expect);
    }
}
