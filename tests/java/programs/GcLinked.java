/* Linked lists, a tree and arrays allocated many times over what the heap holds (the
   runner gives it -Xmx16m), a changing part of each kept: the checksum over what is
   kept shows that the collector freed nothing still reachable and moved no value. */
public class GcLinked {
    static final class Node {
        Node next;
        int value;
        int[] payload;

        Node(Node next, int value) {
            this.next = next;
            this.value = value;
            payload = new int[6];
            for (int i = 0; i < payload.length; i++) payload[i] = value * 31 + i;
        }
    }

    static final class Tree {
        Tree left, right;
        long key;

        Tree(long key, int depth) {
            this.key = key;
            if (depth > 0) {
                left = new Tree(key * 2, depth - 1);
                right = new Tree(key * 2 + 1, depth - 1);
            }
        }

        long sum() {
            long s = key;
            if (left != null) s += left.sum();
            if (right != null) s += right.sum();
            return s;
        }
    }

    static int seed = 12345;

    static int next() {
        seed = seed * 1103515245 + 12345;
        return (seed >>> 8) & 0xFFFF;
    }

    static long listSum(Node n) {
        long s = 0;
        for (; n != null; n = n.next) {
            s += n.value;
            for (int i = 0; i < n.payload.length; i++) s += n.payload[i] - n.value * 31;
        }
        return s;
    }

    public static void main(String[] args) {
        Node[] lists = new Node[48];
        long[][] arrays = new long[32][];
        Tree tree = null;
        long made = 0;
        long dropped = 0;
        for (int round = 0; round < 10000; round++) {
            int slot = next() % lists.length;
            if (lists[slot] != null) dropped += listSum(lists[slot]);
            Node head = null;
            int length = 40 + next() % 80;
            for (int i = 0; i < length; i++) head = new Node(head, next());
            lists[slot] = head;
            made += length;
            long[] a = new long[100 + next() % 900];
            for (int i = 0; i < a.length; i += 7) a[i] = (long) round * i;
            // Most arrays die at once; one in four replaces a kept one.
            if ((round & 3) == 0) arrays[next() % arrays.length] = a;
            if (round % 1000 == 0) tree = new Tree(1, 11);
            // Garbage that holds garbage.
            Object[] junk = new Object[64];
            for (int i = 0; i < junk.length; i++) junk[i] = new int[next() % 32];
        }
        long kept = 0;
        for (int i = 0; i < lists.length; i++) kept += listSum(lists[i]);
        long arraySum = 0;
        for (int i = 0; i < arrays.length; i++) {
            if (arrays[i] == null) continue;
            for (int j = 0; j < arrays[i].length; j++) arraySum += arrays[i][j] ^ j;
        }
        System.out.println("nodes made " + made);
        System.out.println("kept lists " + kept + ", dropped " + dropped);
        System.out.println("kept arrays " + arraySum);
        System.out.println("tree " + tree.sum());
    }
}
