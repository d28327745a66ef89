package java.lang;

import java.io.InputStream;
import java.io.OutputStream;

/** A process started by Runtime.exec. The machine starts none, so no instance ever exists. */
public abstract class Process {

    public Process() {
    }

    public abstract OutputStream getOutputStream();

    public abstract InputStream getInputStream();

    public abstract InputStream getErrorStream();

    public abstract int waitFor() throws InterruptedException;

    public abstract int exitValue();

    public abstract void destroy();
}
