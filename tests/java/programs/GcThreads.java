/* Four threads allocate at once, together many times what the heap holds (the runner
   gives it -Xmx16m); each keeps its own changing set of lists and arrays and sums what
   it kept. Any thread's allocation may start a collection while the others run. */
public class GcThreads implements Runnable {
    static final class Cell {
        Cell next;
        Object payload;
        int value;

        Cell(Cell next, int value) {
            this.next = next;
            this.value = value;
            payload = (value & 1) == 0 ? (Object) new int[value % 24] : (Object) String.valueOf(value);
        }
    }

    private int seed;
    private final Cell[] kept = new Cell[40];
    private final int[][] arrays = new int[16][];
    long sum;
    long made;

    GcThreads(int seed) {
        this.seed = seed;
    }

    private int next() {
        seed = seed * 1103515245 + 12345;
        return (seed >>> 8) & 0xFFFF;
    }

    private static long check(Cell c) {
        long s = 0;
        for (; c != null; c = c.next) {
            s += c.value;
            if (c.payload instanceof int[]) {
                s += ((int[]) c.payload).length;
            } else if (!c.payload.equals(String.valueOf(c.value))) {
                s += 1000000007L;  // a string that lost its characters
            }
        }
        return s;
    }

    public void run() {
        for (int round = 0; round < 2500; round++) {
            Cell head = null;
            int length = 20 + next() % 60;
            for (int i = 0; i < length; i++) head = new Cell(head, next());
            made += length;
            kept[next() % kept.length] = head;
            int[] a = new int[200 + next() % 1500];
            a[a.length - 1] = round;
            if ((round & 7) == 0) arrays[next() % arrays.length] = a;
            StringBuffer b = new StringBuffer();
            for (int i = 0; i < 8; i++) b.append(next()).append(',');
            if (b.length() == 0) sum = -1;
        }
        for (int i = 0; i < kept.length; i++) sum += check(kept[i]);
        for (int i = 0; i < arrays.length; i++) {
            if (arrays[i] != null) sum += arrays[i].length + arrays[i][arrays[i].length - 1];
        }
    }

    public static void main(String[] args) throws InterruptedException {
        GcThreads[] work = new GcThreads[4];
        Thread[] threads = new Thread[work.length];
        for (int i = 0; i < work.length; i++) {
            work[i] = new GcThreads(1000 + i * 77);
            threads[i] = new Thread(work[i], "worker-" + i);
        }
        for (int i = 0; i < threads.length; i++) threads[i].start();
        for (int i = 0; i < threads.length; i++) threads[i].join();
        for (int i = 0; i < work.length; i++) {
            System.out.println(threads[i].getName() + ": made " + work[i].made + ", kept sum " + work[i].sum);
        }
    }
}
