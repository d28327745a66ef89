package java.lang;

/** Thrown in a thread that is being stopped; it is an Error so ordinary handlers let it pass. */
public class ThreadDeath extends Error {

    public ThreadDeath() {
        super();
    }
}
