/* Threads started and joined one at a time, each calling deep and making a little
   garbage, under a small heap: what a finished thread leaves behind must be given back,
   or the heap fills with dead threads' stacks and a start, a call or an allocation
   fails long before the last thread. */
public class ThreadChurn {
    static int depth(int n) {
        return n == 0 ? 0 : 1 + depth(n - 1);
    }

    public static void main(String[] args) throws Exception {
        final int threads = 500;
        final int[] failures = new int[1];
        final int[] ran = new int[1];
        for (int i = 0; i < threads; i++) {
            Thread t = new Thread() {
                public void run() {
                    try {
                        byte[][] garbage = new byte[8][];
                        for (int k = 0; k < garbage.length; k++) garbage[k] = new byte[256];
                        if (depth(700) != 700) failures[0]++;
                        ran[0]++;
                    } catch (Throwable e) {
                        failures[0]++;
                    }
                }
            };
            try {
                t.start();
                t.join();
            } catch (Throwable e) {
                failures[0]++;
            }
        }
        System.out.println("threads run " + ran[0] + " of " + threads + ", failures " + failures[0]);
    }
}
