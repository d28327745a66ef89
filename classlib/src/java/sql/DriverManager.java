package java.sql;

import java.io.PrintStream;

/**
 * The driver manager's settings: the login timeout and the log stream. Database drivers
 * themselves are the server's business.
 */
public class DriverManager {

    private static int loginTimeout;
    private static PrintStream logStream;

    private DriverManager() {
    }

    public static void setLoginTimeout(int seconds) {
        loginTimeout = seconds;
    }

    public static int getLoginTimeout() {
        return loginTimeout;
    }

    public static void setLogStream(PrintStream out) {
        logStream = out;
    }

    public static PrintStream getLogStream() {
        return logStream;
    }

    public static void println(String message) {
        PrintStream out = logStream;
        if (out != null) {
            out.println(message);
        }
    }

    // The class loader of the caller, which the machine answers for every class.
    private static native ClassLoader getCallerClassLoader();
}
