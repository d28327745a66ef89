import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;

/*
 * Files of 0, 776, 777, 1032 and 5000 bytes (the lengths around the machine's
 * inline and piece storage of byte arrays), each written from an array at an
 * odd offset in odd-sized chunks, copied through buffers of several sizes read
 * at odd offsets, then appended to, and checked byte for byte. Runs in an empty
 * working directory.
 */
public class FileCopy {
    static byte[] pattern(int n, int seed) {
        byte[] b = new byte[n];
        int x = seed;
        for (int i = 0; i < n; i++) {
            x = x * 1103515245 + 12345;
            b[i] = (byte) (x >>> 16);
        }
        return b;
    }

    static int sum(byte[] b, int off, int len) {
        int h = 1;
        for (int i = off; i < off + len; i++) {
            h = 31 * h + (b[i] & 0xFF);
        }
        return h;
    }

    /* The data sits in a larger array at offset 7 and goes out in chunks of 333. */
    static void write(String name, byte[] data, boolean append) throws IOException {
        byte[] holder = new byte[data.length + 13];
        System.arraycopy(data, 0, holder, 7, data.length);
        FileOutputStream out = new FileOutputStream(name, append);
        int done = 0;
        while (done < data.length) {
            int n = Math.min(333, data.length - done);
            out.write(holder, 7 + done, n);
            done += n;
        }
        out.write(holder, 0, 0);
        out.close();
    }

    static byte[] readAll(String name, int bufferSize) throws IOException {
        FileInputStream in = new FileInputStream(name);
        byte[] result = new byte[0];
        byte[] buffer = new byte[bufferSize];
        int off = bufferSize > 1 ? 1 : 0;
        while (true) {
            int n = in.read(buffer, off, buffer.length - off);
            if (n < 0) {
                break;
            }
            if (n == 0 && buffer.length - off > 0) {
                throw new IOException("zero read");
            }
            byte[] more = new byte[result.length + n];
            System.arraycopy(result, 0, more, 0, result.length);
            System.arraycopy(buffer, off, more, result.length, n);
            result = more;
        }
        if (in.read() != -1) {
            throw new IOException("data after the end");
        }
        in.close();
        return result;
    }

    static void copy(String from, String to, int bufferSize) throws IOException {
        FileInputStream in = new FileInputStream(from);
        FileOutputStream out = new FileOutputStream(to);
        byte[] buffer = new byte[bufferSize];
        int off = 3;
        int n;
        while ((n = in.read(buffer, off, buffer.length - off)) > 0) {
            out.write(buffer, off, n);
            off = off == 3 ? 5 : 3;
        }
        in.close();
        out.close();
    }

    static boolean same(byte[] a, byte[] b) {
        if (a.length != b.length) {
            return false;
        }
        for (int i = 0; i < a.length; i++) {
            if (a[i] != b[i]) {
                return false;
            }
        }
        return true;
    }

    public static void main(String[] args) throws IOException {
        int[] sizes = {0, 776, 777, 1032, 5000};
        int[] buffers = {8, 776, 777, 1032, 5000, 8192};
        for (int s = 0; s < sizes.length; s++) {
            int size = sizes[s];
            byte[] data = pattern(size, size + 1);
            String name = "source" + size;
            write(name, data, false);
            File f = new File(name);
            System.out.println(name + ": length " + f.length() + ", sum " + sum(data, 0, size));
            boolean all = true;
            for (int b = 0; b < buffers.length; b++) {
                String copyName = "copy" + size + "-" + buffers[b];
                copy(name, copyName, buffers[b]);
                byte[] back = readAll(copyName, buffers[(b + 1) % buffers.length]);
                if (!same(data, back)) {
                    all = false;
                    System.out.println("  copy through " + buffers[b] + " differs: " + back.length + " bytes");
                }
            }
            System.out.println("  copies through " + buffers.length + " buffer sizes equal: " + all);

            /* Appending keeps what was there: the file ends up as data + tail. */
            byte[] tail = pattern(size / 2 + 3, size + 2);
            write(name, tail, true);
            byte[] whole = readAll(name, 777);
            boolean kept = whole.length == size + tail.length;
            for (int i = 0; kept && i < whole.length; i++) {
                kept = whole[i] == (i < size ? data[i] : tail[i - size]);
            }
            System.out.println("  after append: length " + new File(name).length() + ", contents kept: " + kept);

            /* A byte at a time through the single-byte write and read. */
            FileOutputStream one = new FileOutputStream("single");
            for (int i = 0; i < Math.min(size, 300); i++) {
                one.write(data[i]);
            }
            one.close();
            FileInputStream in = new FileInputStream("single");
            int count = 0;
            boolean equal = true;
            int c;
            while ((c = in.read()) >= 0) {
                equal &= c == (data[count] & 0xFF);
                count++;
            }
            in.close();
            System.out.println("  single bytes: " + count + ", equal: " + equal);
        }

        /* skip and available on a file. */
        FileInputStream in = new FileInputStream("source5000");
        System.out.println("available " + in.available());
        System.out.println("skipped " + in.skip(1000));
        System.out.println("available " + in.available());
        System.out.println("skip 0: " + in.skip(0));
        byte[] b = new byte[10];
        System.out.println("read " + in.read(b) + ", sum " + sum(b, 0, 10));
        System.out.println("read nothing: " + in.read(b, 10, 0));
        in.close();

        /* Truncating open: an existing file starts empty. */
        write("source777", new byte[5], false);
        System.out.println("truncated to " + new File("source777").length());
    }
}
