/* Runs a native written in C from its static initialiser. */
public class CNativeUser {
    static native int probe();
    static int result = probe();
}
