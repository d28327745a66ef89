/*
 * Closing System.out closes only Java's side of standard output: System.err
 * keeps printing, and printing to the closed System.out fails quietly, as a
 * PrintStream does, which checkError then reports.
 */
public class StdoutClosed {
    public static void main(String[] args) {
        System.out.println("before close");
        System.out.close();
        System.out.println("after close (lost)");
        System.err.println("error stream works: " + System.out.checkError());
        System.out.close();
        System.err.println("second close is harmless");
        System.err.close();
        System.err.println("lost as well");
    }
}
