/* The heap is filled and everything dropped again; then the program does the ordinary
   things that need memory the machine allocates for it (a class's first use, a deeper
   call than ever before, a new thread, a class's first use by the console), each of
   which a collection could serve at once. */
public class FullHeapThenUse {
    static int depth(int n) {
        return n == 0 ? 0 : 1 + depth(n - 1);
    }

    // Each call passes an array made just before it, held by nothing but the call's
    // arguments while a deeper frame's room is found: the callee checks it is intact.
    static int handOver(int n, int[] made) {
        if (made[0] != n || made[1] != -n) return -1;
        if (n == 0) return 0;
        int below = handOver(n - 1, new int[] {n - 1, 1 - n});
        return below < 0 ? below : below + 1;
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
            int handed = 0;
            try {
                int n = 2000 + 1000 * round;
                // Full of blocks the size of a stack's: a deeper frame finds no room,
                // while its argument still does.
                fill(12000);
                handed = handOver(n, new int[] {n, -n}) - n;
                fill(sizes[round]);
                depth(n + 1000);
            } catch (Throwable t) {
                err = t;
            }
            res[1] = err == null ? (handed == 0 ? "ok" : "argument lost " + handed) : err.toString();
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
