package reflect;

/** Declares exceptions of its own package (a test takes one's class file away). */
public class Thrower {

    public void mayFail() throws ThrownHere, java.io.IOException {
    }

    public void fine() {
    }
}
