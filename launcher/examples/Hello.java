/* The README's first program: ./pux run Hello */
public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello, world");
    }
}
