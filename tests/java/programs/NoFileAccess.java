import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.RandomAccessFile;

/*
 * Run on a host that refuses file access: every file operation reports it,
 * File.exists says false without an exception, and the console still prints.
 */
public class NoFileAccess {
    interface Step {
        Object run() throws Exception;
    }

    static void report(String what, Step step) {
        try {
            System.out.println(what + ": " + step.run());
        } catch (Exception e) {
            System.out.println(what + ": " + e);
        }
    }

    public static void main(String[] args) {
        final File f = new File("anything");
        report("exists", new Step() { public Object run() { return new Boolean(f.exists()); } });
        report("isFile", new Step() { public Object run() { return new Boolean(f.isFile()); } });
        report("length", new Step() { public Object run() { return new Long(f.length()); } });
        report("list", new Step() { public Object run() { return f.list(); } });
        report("mkdir", new Step() { public Object run() { return new Boolean(f.mkdir()); } });
        report("delete", new Step() { public Object run() { return new Boolean(f.delete()); } });
        report("canonical", new Step() { public Object run() throws Exception { return f.getCanonicalPath(); } });
        report("read", new Step() { public Object run() throws Exception { return new FileInputStream(f); } });
        report("write", new Step() { public Object run() throws Exception { return new FileOutputStream(f); } });
        report("append", new Step() { public Object run() throws Exception { return new FileOutputStream("x", true); } });
        report("random", new Step() { public Object run() throws Exception { return new RandomAccessFile(f, "rw"); } });
        report("standard input", new Step() { public Object run() throws Exception { return new Integer(System.in.read()); } });
        System.err.println("standard error prints");
        System.out.println("standard output prints");
    }
}
