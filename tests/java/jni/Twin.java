/* The same name as a class of the second class path, with another body. */
public class Twin {
    public int here;
}
