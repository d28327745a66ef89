package natives;

// Threads whose run() throws, under groups that take the exception.
public class Handlers {
    static volatile String seen = "";

    static class Group extends ThreadGroup {
        Group() {
            super("handlers");
        }

        public void uncaughtException(Thread t, Throwable e) {
            seen = seen + "group " + e.getMessage() + ";";
        }

        // Another signature: never the handler.
        public void uncaughtException(Thread t, Object e) {
            seen = seen + "overload;";
        }
    }

    static class Thrower extends Thread {
        Thrower(ThreadGroup g) {
            super(g, "thrower");
        }

        public void run() {
            throw new IllegalStateException("escaped");
        }
    }

    static java.io.PrintStream sink() {
        return new java.io.PrintStream(new java.io.ByteArrayOutputStream());
    }

    static String run() throws Exception {
        seen = "";
        Thread t = new Thrower(new Group());
        t.start();
        t.join();
        return seen;
    }
}
