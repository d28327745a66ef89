package reflect;

/** An interface with a constant, extending another one. */
public interface Marked extends Tagged {

    int MARK = 42;

    String describe();
}
