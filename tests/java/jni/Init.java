/* A class whose initialisation can be seen: it sets a flag. */
public class Init {
    public static boolean flag;
    static {
        flag = true;
    }
}
