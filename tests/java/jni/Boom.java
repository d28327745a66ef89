/* A static initialiser that divides by zero. */
public class Boom {
    static int zero = 0;
    static int x;
    static {
        x = 1 / zero;
    }
}
