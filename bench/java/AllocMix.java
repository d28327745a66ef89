/* Byte arrays of mixed sizes (0-700 bytes, now and then 2-6 KB), a ring of 20,000 of them
   kept: the heap's blocks vary in size, and each collection sweeps a heap full of them.
   Prints "kept" and a sum both machines must agree on. */
public class AllocMix {
    public static void main(String[] args) {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 3000000;
        Object[] ring = new Object[20000];
        int seed = 7;
        long sum = 0;
        for (int i = 0; i < n; i++) {
            seed = seed * 1103515245 + 12345;
            int r = (seed >>> 8) & 1023;
            int size = r < 1000 ? (r * 7) % 701 : 2000 + r * 4;
            byte[] b = new byte[size];
            if (size > 0) b[size - 1] = (byte) i;
            sum += b.length;
            ring[(seed >>> 12) % ring.length] = b;
        }
        System.out.println("kept " + ring.length + ", sum " + sum);
    }
}
