/* The same name as a class of the first class path, with another body. */
public class Twin {
    public int alt;
}
