package java.io;

/** Writing of objects as well as primitive data. */
public interface ObjectOutput extends DataOutput {
    void writeObject(Object obj) throws IOException;

    void write(int b) throws IOException;

    void write(byte[] b) throws IOException;

    void write(byte[] b, int off, int len) throws IOException;

    void flush() throws IOException;

    void close() throws IOException;
}
