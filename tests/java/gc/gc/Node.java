package gc;

/* A cell of the linked structures: a value, two links and some padding of both kinds. */
public class Node {
    public int value;
    public Node next;
    public Object other;
    public long wide;
    public double real;

    public Node(int value, Node next) {
        this.value = value;
        this.next = next;
        this.wide = value * 3L;
        this.real = value * 0.5;
    }
}
