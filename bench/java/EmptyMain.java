/* A program that does nothing: what starting the reference machine costs. */
public class EmptyMain {
    public static void main(String[] args) {
    }
}
