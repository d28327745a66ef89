/* Runs bytecode without pause (a backward branch polls at every turn) until told to stop. */
public class Spinner {
    public static volatile boolean stop;

    public static void spin() {
        while (!stop) {
        }
    }
}
