public class Enumerated {
    public static int value;
}
