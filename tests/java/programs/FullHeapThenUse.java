/* The heap is filled and everything dropped again; then the program does the ordinary
   things that need memory the machine allocates for it (a class's first use, a deeper
   call than ever before, a new thread, a class's first use by the console), each of
   which a collection could serve at once. */
public class FullHeapThenUse {
    static int depth(int n) {
        return n == 0 ? 0 : 1 + depth(n - 1);
    }

    static void fill(int size) {
        java.util.Vector v = new java.util.Vector();
        try {
            while (true) v.addElement(new byte[size]);
        } catch (OutOfMemoryError e) {
        }
    }

    public static void main(String[] a) throws Exception {
        String[] res = new String[3];
        int[] sizes = {8, 100, 400};
        for (int round = 0; round < sizes.length; round++) {
            Throwable err = null;
            fill(sizes[round]);
            try {
                if (round == 0) new java.util.BitSet(10).set(1);
                if (round == 1) new java.util.Stack().push("x");
                if (round == 2) new java.util.Random(1).nextInt();
            } catch (Throwable t) {
                err = t;
            }
            res[0] = err == null ? "ok" : err.toString();
            err = null;
            fill(sizes[round]);
            try {
                depth(2000 + 1000 * round);
            } catch (Throwable t) {
                err = t;
            }
            res[1] = err == null ? "ok" : err.toString();
            err = null;
            Thread started = new Thread();
            fill(8);
            try {
                started.start();
                started.join();
            } catch (Throwable t) {
                err = t;
            }
            res[2] = err == null ? "ok" : err.toString();
            System.out.print("round " + round + ": class " + res[0] + ", call " + res[1] + ", thread " + res[2] + "\n");
        }
        fill(24);
        System.out.println("first println after the fill: ok");
    }
}
