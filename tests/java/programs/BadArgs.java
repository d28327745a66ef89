import java.io.File;
import java.io.FileInputStream;
import java.io.FileNotFoundException;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.RandomAccessFile;

/*
 * Every bad argument to the file streams and RandomAccessFile gives its
 * exception and changes nothing: negative lengths and offsets, ranges past the
 * array (also where off + len overflows), null arrays and names, closed
 * streams, missing files and directories opened as files. The kind of each
 * exception is printed, not its text, which is the library's own. Runs in an
 * empty working directory.
 */
public class BadArgs {
    interface Step {
        void run() throws Exception;
    }

    static String kind(Throwable t) {
        if (t instanceof FileNotFoundException) return "FileNotFoundException";
        if (t instanceof IOException) return "IOException";
        if (t instanceof IndexOutOfBoundsException) return "IndexOutOfBoundsException";
        if (t instanceof NullPointerException) return "NullPointerException";
        if (t instanceof IllegalArgumentException) return "IllegalArgumentException";
        return t.getClass().getName();
    }

    static void expect(String what, Step step) {
        try {
            step.run();
            System.out.println(what + ": no exception");
        } catch (Throwable t) {
            System.out.println(what + ": " + kind(t));
        }
    }

    static String contents(String name) throws IOException {
        FileInputStream in = new FileInputStream(name);
        byte[] b = new byte[100];
        int n = in.read(b);
        in.close();
        return n < 0 ? "" : new String(b, 0, n);
    }

    public static void main(String[] args) throws Exception {
        FileOutputStream make = new FileOutputStream("data");
        make.write("0123456789".getBytes());
        make.close();
        new File("dir").mkdir();

        final byte[] ten = new byte[10];
        final FileInputStream in = new FileInputStream("data");
        final FileOutputStream out = new FileOutputStream("out");
        final RandomAccessFile raf = new RandomAccessFile("data", "rw");
        final int[][] ranges = {{-1, 1}, {0, -1}, {0, 11}, {10, 1}, {5, 6}, {11, 0}, {-1, 0},
                                {1, Integer.MAX_VALUE}, {Integer.MAX_VALUE, 1}, {Integer.MIN_VALUE, 0}};
        for (int i = 0; i < ranges.length; i++) {
            final int off = ranges[i][0];
            final int len = ranges[i][1];
            String r = "(" + off + ", " + len + ")";
            expect("input read " + r, new Step() { public void run() throws Exception { in.read(ten, off, len); } });
            expect("output write " + r, new Step() { public void run() throws Exception { out.write(ten, off, len); } });
            expect("random read " + r, new Step() { public void run() throws Exception { raf.read(ten, off, len); } });
            expect("random write " + r, new Step() { public void run() throws Exception { raf.write(ten, off, len); } });
        }
        System.out.println("in still at " + in.available() + " available, out length " + new File("out").length()
                + ", random pointer " + raf.getFilePointer() + ", length " + raf.length());
        expect("input read of 0 at the end", new Step() { public void run() throws Exception {
            if (in.read(ten, 10, 0) != 0) throw new Error("not 0"); } });
        expect("random read of 0 at the end", new Step() { public void run() throws Exception {
            if (raf.read(ten, 10, 0) != 0) throw new Error("not 0"); } });

        expect("input read null", new Step() { public void run() throws Exception { in.read(null, 0, 1); } });
        expect("input read null array", new Step() { public void run() throws Exception { in.read(null); } });
        expect("output write null", new Step() { public void run() throws Exception { out.write(null, 0, 1); } });
        expect("random read null", new Step() { public void run() throws Exception { raf.read(null, 0, 1); } });
        expect("random write null", new Step() { public void run() throws Exception { raf.write(null, 0, 1); } });
        expect("random seek -1", new Step() { public void run() throws Exception { raf.seek(-1); } });
        expect("random seek Long.MIN_VALUE", new Step() { public void run() throws Exception { raf.seek(Long.MIN_VALUE); } });
        System.out.println("random pointer " + raf.getFilePointer());

        expect("open null name", new Step() { public void run() throws Exception { new FileInputStream((String) null); } });
        expect("open output null name", new Step() { public void run() throws Exception { new FileOutputStream((String) null); } });
        expect("open random null name", new Step() { public void run() throws Exception { new RandomAccessFile((String) null, "r"); } });
        expect("new File(null)", new Step() { public void run() throws Exception { new File((String) null); } });
        expect("random mode w", new Step() { public void run() throws Exception { new RandomAccessFile("data", "w"); } });
        expect("open missing", new Step() { public void run() throws Exception { new FileInputStream("missing"); } });
        expect("open random missing", new Step() { public void run() throws Exception { new RandomAccessFile("missing", "r"); } });
        expect("open output in a missing directory", new Step() { public void run() throws Exception { new FileOutputStream("nodir/x"); } });
        expect("open random in a missing directory", new Step() { public void run() throws Exception { new RandomAccessFile("nodir/x", "rw"); } });
        expect("open a directory", new Step() { public void run() throws Exception { new FileInputStream("dir"); } });
        expect("open a directory for output", new Step() { public void run() throws Exception { new FileOutputStream("dir"); } });
        expect("open a directory to append", new Step() { public void run() throws Exception { new FileOutputStream("dir", true); } });
        expect("open a directory at random", new Step() { public void run() throws Exception { new RandomAccessFile("dir", "r"); } });
        expect("open a directory at random rw", new Step() { public void run() throws Exception { new RandomAccessFile("dir", "rw"); } });
        expect("rename to null", new Step() { public void run() throws Exception { new File("data").renameTo(null); } });
        System.out.println("missing exists " + new File("missing").exists() + ", nodir exists " + new File("nodir").exists()
                + ", dir is a directory " + new File("dir").isDirectory());

        in.close();
        out.close();
        raf.close();
        expect("close again", new Step() { public void run() throws Exception { in.close(); out.close(); raf.close(); } });
        expect("input read after close", new Step() { public void run() throws Exception { in.read(); } });
        expect("input read array after close", new Step() { public void run() throws Exception { in.read(ten, 0, 1); } });
        expect("input skip after close", new Step() { public void run() throws Exception { in.skip(1); } });
        expect("input available after close", new Step() { public void run() throws Exception { in.available(); } });
        expect("output write after close", new Step() { public void run() throws Exception { out.write(1); } });
        expect("output write array after close", new Step() { public void run() throws Exception { out.write(ten, 0, 1); } });
        expect("random read after close", new Step() { public void run() throws Exception { raf.read(); } });
        expect("random read array after close", new Step() { public void run() throws Exception { raf.read(ten, 0, 1); } });
        expect("random write after close", new Step() { public void run() throws Exception { raf.write(1); } });
        expect("random write array after close", new Step() { public void run() throws Exception { raf.write(ten, 0, 1); } });
        expect("random seek after close", new Step() { public void run() throws Exception { raf.seek(0); } });
        expect("random length after close", new Step() { public void run() throws Exception { raf.length(); } });
        expect("random pointer after close", new Step() { public void run() throws Exception { raf.getFilePointer(); } });
        System.out.println("data " + contents("data") + ", out " + new File("out").length() + " bytes");
    }
}
