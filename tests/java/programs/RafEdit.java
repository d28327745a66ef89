import java.io.EOFException;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.RandomAccessFile;

/*
 * Editing a file in place with RandomAccessFile: seek, read, write, the file
 * pointer and the length, the data methods, and growing the file by writing
 * past its end. Runs in an empty working directory.
 */
public class RafEdit {
    static String contents(String name) throws IOException {
        FileInputStream in = new FileInputStream(name);
        StringBuffer b = new StringBuffer();
        int c;
        while ((c = in.read()) >= 0) {
            b.append(c >= 32 && c < 127 ? String.valueOf((char) c) : "<" + c + ">");
        }
        in.close();
        return b.toString();
    }

    public static void main(String[] args) throws IOException {
        FileOutputStream out = new FileOutputStream("ten");
        out.write("0123456789".getBytes());
        out.close();

        /* "rw" keeps the contents and starts at 0. */
        RandomAccessFile f = new RandomAccessFile("ten", "rw");
        System.out.println("length " + f.length() + ", pointer " + f.getFilePointer() + ", first " + (char) f.read());
        f.seek(2);
        f.write("abc".getBytes());
        System.out.println("after writing 3 at 2: length " + f.length() + ", pointer " + f.getFilePointer());
        f.seek(9);
        System.out.println("last " + (char) f.read() + ", then " + f.read());
        byte[] b = new byte[8];
        System.out.println("read at the end " + f.read(b, 1, 5));
        f.seek(1);
        System.out.println("read 5 at 1: " + f.read(b, 1, 5) + " [" + new String(b, 1, 5) + "]");
        f.seek(7);
        System.out.println("read 8 with 3 left: " + f.read(b) + " [" + new String(b, 0, 3) + "]");
        System.out.println("skip 4 from 0: ");
        f.seek(0);
        System.out.println("  skipped " + f.skipBytes(4) + ", pointer " + f.getFilePointer());
        System.out.println("  skipped " + f.skipBytes(100) + ", pointer " + f.getFilePointer());
        f.close();
        System.out.println("file: " + contents("ten"));

        /* Writing past the end makes the file longer; the gap reads as zeros. */
        f = new RandomAccessFile("ten", "rw");
        f.seek(12);
        f.write('!');
        System.out.println("grown to " + f.length());
        f.seek(f.length());
        f.writeBytes("END");
        f.close();
        System.out.println("file: " + contents("ten"));

        /* The data methods round trip. */
        f = new RandomAccessFile("data", "rw");
        System.out.println("new file: length " + f.length() + ", read " + f.read());
        f.writeBoolean(true);
        f.writeByte(-2);
        f.writeShort(-3);
        f.writeChar('\u20ac');
        f.writeInt(0x12345678);
        f.writeLong(-1234567890123456789L);
        f.writeFloat(1.5f);
        f.writeDouble(-0.25);
        f.writeUTF("h\u00e9llo \u20ac");
        f.writeChars("ab");
        f.writeBytes("line one\r\nline two\rline three\n");
        System.out.println("written " + f.getFilePointer() + ", length " + f.length());
        f.seek(0);
        System.out.println(f.readBoolean() + " " + f.readByte() + " " + f.readShort() + " " + (int) f.readChar() + " "
                + Integer.toHexString(f.readInt()) + " " + f.readLong() + " " + f.readFloat() + " " + f.readDouble());
        String utf = f.readUTF();
        System.out.println("utf " + utf.length() + " chars, " + (int) utf.charAt(1) + " " + (int) utf.charAt(6));
        System.out.println("chars " + f.readChar() + f.readChar());
        System.out.println("[" + f.readLine() + "] [" + f.readLine() + "] [" + f.readLine() + "] [" + f.readLine()
                + "]");
        try {
            f.readInt();
            System.out.println("readInt at the end returned");
        } catch (EOFException e) {
            System.out.println("readInt at the end: EOFException");
        }
        f.seek(1);
        f.writeByte(7);
        f.seek(1);
        System.out.println("edited byte " + f.readUnsignedByte() + ", then " + f.readUnsignedShort());
        f.close();

        /* Read-only: reads work, writes do not. */
        f = new RandomAccessFile("ten", "r");
        System.out.println("read-only: length " + f.length() + ", first " + (char) f.read());
        try {
            f.write('x');
            System.out.println("write on a read-only file returned");
        } catch (IOException e) {
            System.out.println("write on a read-only file: IOException");
        }
        f.close();
        System.out.println("file: " + contents("ten"));
    }
}
