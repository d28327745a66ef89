/* Keeps about 1,000,000 small objects alive (a table of linked pairs) and allocates ten
   times as many that die young, now and then replacing a kept one so that the old ones
   change too. Prints a checksum over what is kept, which both machines must agree on. */
public class GcBench {
    static final class Small {
        Small next;
        int value;

        Small(Small next, int value) {
            this.next = next;
            this.value = value;
        }
    }

    public static void main(String[] args) {
        int live = args.length > 0 ? Integer.parseInt(args[0]) : 1000000;
        int pairs = live / 2;
        Small[] table = new Small[pairs];
        for (int i = 0; i < pairs; i++) table[i] = new Small(new Small(null, i), -i);
        int seed = 1;
        long garbage = 0;
        Small young = null;
        for (int i = 0; i < live * 10; i++) {
            seed = seed * 1103515245 + 12345;
            young = new Small(young, seed);
            // Short chains of garbage: every 16th drops the chain.
            if ((i & 15) == 0) {
                garbage += (young.value >>> 16) & 1;
                young = null;
            }
            // One in 64 replaces a kept pair's tail.
            if ((i & 63) == 0) {
                int at = (seed >>> 1) % pairs;
                table[at].next = new Small(null, at + 1);
            }
        }
        long sum = 0;
        for (int i = 0; i < pairs; i++) sum = sum * 31 + table[i].value * 3 + table[i].next.value;
        System.out.println("kept " + sum + " garbage " + garbage);
    }
}
