/* Allocates far more than the heap holds (the runner gives it -Xmx16m), keeping only the
   last block: it runs only with a collector. */
public class AllocateMuch {
    public static void main(String[] args) {
        byte[] last = null;
        long total = 0;
        for (int i = 0; i < 4000; i++) {
            last = new byte[65536];
            last[i % 65536] = (byte) i;
            total += last.length;
        }
        System.out.println("allocated " + total + " bytes, last " + last.length);
    }
}
