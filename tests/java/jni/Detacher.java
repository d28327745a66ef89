/* Its static initialiser calls a native that tries to detach its own thread. */
public class Detacher {
    static native int detach();
    public static int result = detach();
}
