/* Makes many short-lived arrays of a few hundred to a few thousand elements (about 400 MB
   in all, so that the machine collects early again and again) while a few of them stay,
   some held only through the pieces of reference arrays that stay: whatever stays keeps
   every element. */
public class ArrayChurn {
    static int[] fill(int n, int seed) {
        int[] a = new int[n];
        for (int j = 0; j < n; j++) a[j] = seed * 31 + j;
        return a;
    }

    static boolean intact(int[] a, int seed) {
        for (int j = 0; j < a.length; j++)
            if (a[j] != seed * 31 + j) return false;
        return true;
    }

    public static void main(String[] args) {
        int[][] kept = new int[50][];
        int[] seeds = new int[50];
        Object[] chain = null;
        long sum = 0;
        for (int i = 0; i < 40000; i++) {
            int n = 200 + (i * 397) % 3800;
            switch (i % 4) {
                case 0: {
                    int[] a = new int[n];
                    a[n - 1] = i;
                    sum += a[n - 1] + a[n / 2];
                    break;
                }
                case 1: {
                    double[] d = new double[n];
                    d[n - 1] = i;
                    sum += (long) d[n - 1];
                    break;
                }
                case 2: {
                    byte[] b = new byte[n * 4];
                    b[n * 4 - 1] = (byte) i;
                    sum += b[n * 4 - 1];
                    break;
                }
                default: {
                    Object[] o = new Object[n];
                    o[n - 1] = o;
                    if (i % 1000 == 3) {
                        // Elements past the first 196 words: both held through pieces.
                        o[n - 2] = chain;
                        o[n - 3] = fill(250 + i % 900, i);
                        chain = o;
                    }
                    sum += o[n - 1] == o ? 1 : 0;
                    break;
                }
            }
            if (i % 797 == 0) {
                int k = (i / 797) % 50;
                kept[k] = fill(300 + (i * 13) % 6000, i);
                seeds[k] = i;
            }
        }
        boolean all = true;
        for (int k = 0; k < 50; k++)
            if (kept[k] != null && !intact(kept[k], seeds[k])) all = false;
        int links = 0;
        int i = 40000;
        for (Object[] o = chain; o != null; o = (Object[]) o[o.length - 2]) {
            do i--; while (i % 1000 != 3);
            if (o[o.length - 1] != o || !intact((int[]) o[o.length - 3], i)) all = false;
            links++;
        }
        System.out.println("sum " + sum);
        System.out.println("kept arrays intact: " + all + ", chain of " + links);
    }
}
