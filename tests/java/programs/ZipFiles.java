import java.io.ByteArrayOutputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.RandomAccessFile;
import java.util.Enumeration;
import java.util.zip.CRC32;
import java.util.zip.ZipEntry;
import java.util.zip.ZipException;
import java.util.zip.ZipFile;
import java.util.zip.ZipOutputStream;

/*
 * Archives written with ZipOutputStream and read back with ZipFile: the directory in
 * order, look-ups, every entry's data in several read sizes and two streams at once,
 * closing with streams still open (their Inflaters must come back: more live ones than
 * the machine allows would be refused), a prefix before the archive, many entries,
 * damaged data, and files that are no archives. Runs in an empty working directory.
 * Compressed sizes are not printed: they depend on the compression level.
 */
public class ZipFiles {
    static byte[] text(int n, int seed) {
        String[] words = {"alpha", "beta", "gamma", "delta", "zip", "file", "entry", "stream", "\n"};
        byte[] b = new byte[n];
        int x = seed * 7919 + 13;
        int at = 0;
        while (at < n) {
            x = x * 1103515245 + 12345;
            String w = words[(x >>> 16) % words.length];
            for (int i = 0; i < w.length() && at < n; i++) {
                b[at++] = (byte) w.charAt(i);
            }
            if (at < n) {
                b[at++] = (byte) ' ';
            }
        }
        return b;
    }

    static byte[] noise(int n, int seed) {
        byte[] b = new byte[n];
        int x = seed;
        for (int i = 0; i < n; i++) {
            x ^= x << 13;
            x ^= x >>> 17;
            x ^= x << 5;
            b[i] = (byte) x;
        }
        return b;
    }

    static String show(String s) {
        StringBuffer b = new StringBuffer();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c >= 32 && c < 127) {
                b.append(c);
            } else {
                b.append("\\u" + Integer.toHexString(c));
            }
        }
        return b.toString();
    }

    static long crc(byte[] b, int len) {
        CRC32 c = new CRC32();
        c.update(b, 0, len);
        return c.getValue();
    }

    static void put(ZipOutputStream z, String name, byte[] data, boolean stored) throws IOException {
        ZipEntry e = new ZipEntry(name);
        e.setTime(1000000000000L);
        if (stored) {
            e.setMethod(ZipEntry.STORED);
            e.setSize(data.length);
            e.setCompressedSize(data.length);
            e.setCrc(crc(data, data.length));
        }
        z.putNextEntry(e);
        // In pieces, so that the writer's own buffering is crossed.
        for (int at = 0; at < data.length; at += 1000) {
            z.write(data, at, Math.min(1000, data.length - at));
        }
        z.closeEntry();
    }

    static void write(String file, byte[] prefix) throws IOException {
        FileOutputStream f = new FileOutputStream(file);
        f.write(prefix);
        ZipOutputStream z = new ZipOutputStream(f);
        put(z, "a.txt", text(5000, 1), false);
        put(z, "dir/", new byte[0], true);
        put(z, "dir/empty", new byte[0], false);
        put(z, "stored.bin", noise(3000, 7), true);
        put(z, "big.txt", text(300000, 2), false);
        put(z, "noise.bin", noise(70000, 3), false);
        put(z, "na\u00efve \u4e2d.txt", text(10, 3), false);
        z.close();
    }

    /* Reads a stream to its end in pieces of the given size; its length and CRC-32. */
    static String drain(InputStream in, int piece) throws IOException {
        ByteArrayOutputStream all = new ByteArrayOutputStream();
        byte[] b = new byte[piece];
        int n;
        if (piece == 1) {
            while ((n = in.read()) != -1) {
                all.write(n);
            }
        } else {
            while ((n = in.read(b, 0, piece)) != -1) {
                all.write(b, 0, n);
            }
        }
        byte[] got = all.toByteArray();
        return got.length + " bytes, crc " + Long.toHexString(crc(got, got.length));
    }

    static void listing(ZipFile z) throws IOException {
        System.out.println(z.getName() + ": " + z.size() + " entries");
        Enumeration en = z.entries();
        while (en.hasMoreElements()) {
            ZipEntry e = (ZipEntry) en.nextElement();
            System.out.println("  " + show(e.getName()) + " size " + e.getSize() + " method " + e.getMethod()
                    + " crc " + Long.toHexString(e.getCrc()) + (e.isDirectory() ? " directory" : "")
                    + (e.getMethod() == ZipEntry.STORED ? " csize " + e.getCompressedSize() : ""));
            InputStream in = z.getInputStream(e);
            System.out.println("    read: " + drain(in, 4096));
            in.close();
        }
        try {
            en.nextElement();
            System.out.println("past the end: no exception");
        } catch (java.util.NoSuchElementException x) {
            System.out.println("past the end: NoSuchElementException");
        }
    }

    static void failing(String what, String file) {
        try {
            ZipFile z = new ZipFile(file);
            System.out.println(what + ": opened, " + z.size() + " entries");
            z.close();
        } catch (ZipException e) {
            System.out.println(what + ": ZipException");
        } catch (IOException e) {
            System.out.println(what + ": IOException");
        }
    }

    public static void main(String[] args) throws IOException {
        write("t.zip", new byte[0]);
        ZipFile z = new ZipFile("t.zip");
        listing(z);

        /* Look-ups: present, absent, a directory by its name without the slash. */
        System.out.println("getEntry a.txt: " + z.getEntry("a.txt").getSize());
        System.out.println("getEntry missing: " + z.getEntry("missing"));
        System.out.println("getEntry dir: " + z.getEntry("dir"));
        System.out.println("getEntry dir/empty: " + z.getEntry("dir/empty").getSize());
        System.out.println("stream of an unknown entry: " + z.getInputStream(new ZipEntry("nothing")));

        /* The same entry in several read sizes, and two streams interleaved on one file. */
        ZipEntry big = z.getEntry("big.txt");
        int[] pieces = {1, 7, 256, 65536};
        for (int i = 0; i < pieces.length; i++) {
            System.out.println("big.txt in pieces of " + pieces[i] + ": " + drain(z.getInputStream(big), pieces[i]));
        }
        InputStream s1 = z.getInputStream(big);
        InputStream s2 = z.getInputStream(z.getEntry("stored.bin"));
        InputStream s3 = z.getInputStream(z.getEntry("noise.bin"));
        ByteArrayOutputStream o1 = new ByteArrayOutputStream(), o2 = new ByteArrayOutputStream(),
                o3 = new ByteArrayOutputStream();
        byte[] b = new byte[333];
        boolean more = true;
        while (more) {
            more = false;
            int n;
            if ((n = s1.read(b, 0, b.length)) > 0) { o1.write(b, 0, n); more = true; }
            if ((n = s2.read(b, 0, 100)) > 0) { o2.write(b, 0, n); more = true; }
            if ((n = s3.read(b, 0, 200)) > 0) { o3.write(b, 0, n); more = true; }
        }
        System.out.println("interleaved: " + o1.size() + " " + Long.toHexString(crc(o1.toByteArray(), o1.size()))
                + ", " + o2.size() + " " + Long.toHexString(crc(o2.toByteArray(), o2.size()))
                + ", " + o3.size() + " " + Long.toHexString(crc(o3.toByteArray(), o3.size())));
        s1.close();
        s2.close();
        s3.close();

        /* Closing the file with streams open closes them; after it nothing else works. */
        InputStream open = z.getInputStream(big);
        open.read(b, 0, 10);
        z.close();
        z.close();
        try {
            open.read(b, 0, 10);
            System.out.println("read after close: no exception");
        } catch (IOException e) {
            System.out.println("read after close: IOException");
        }
        try {
            z.getEntry("a.txt");
            System.out.println("getEntry after close: no exception");
        } catch (IllegalStateException e) {
            System.out.println("getEntry after close: IllegalStateException");
        }
        try {
            z.getInputStream(big);
            System.out.println("getInputStream after close: no exception");
        } catch (IllegalStateException e) {
            System.out.println("getInputStream after close: IllegalStateException");
        }

        /* Streams left open at close, many times over: each close must give their inflaters back. */
        for (int round = 0; round < 20; round++) {
            ZipFile r = new ZipFile("t.zip");
            for (int i = 0; i < 4; i++) {
                r.getInputStream(r.getEntry("big.txt")).read(b, 0, 100);
            }
            r.close();
        }
        System.out.println("20 rounds of 4 streams left open: done");

        /* An archive after 1,000 bytes of something else: the offsets shift by the prefix. */
        write("prefixed.zip", noise(1000, 5));
        ZipFile p = new ZipFile("prefixed.zip");
        System.out.println("prefixed: " + p.size() + " entries, big.txt " + drain(p.getInputStream(p.getEntry("big.txt")), 5000));
        p.close();

        /* Many entries. */
        FileOutputStream f = new FileOutputStream("many.zip");
        ZipOutputStream w = new ZipOutputStream(f);
        for (int i = 0; i < 300; i++) {
            put(w, "e" + i, text(i, i), i % 2 == 0);
        }
        w.close();
        ZipFile m = new ZipFile("many.zip");
        long sum = 0;
        for (int i = 299; i >= 0; i--) {
            ZipEntry e = m.getEntry("e" + i);
            InputStream in = m.getInputStream(e);
            byte[] all = new byte[i + 1];
            int got = 0, n;
            while ((n = in.read(all, got, all.length - got)) > 0) {
                got += n;
            }
            in.close();
            if (got != i || crc(all, got) != e.getCrc()) {
                System.out.println("many: entry " + i + " read " + got + " bytes");
            }
            sum += got;
        }
        System.out.println("many: " + m.size() + " entries, " + sum + " bytes");
        m.close();

        /* Damaged data: the first entry's deflated bytes overwritten with 0xFF (an invalid block type). */
        RandomAccessFile raf = new RandomAccessFile("t.zip", "rw");
        raf.seek(26);
        int nameLength = raf.read() | raf.read() << 8;
        int extraLength = raf.read() | raf.read() << 8;
        raf.seek(30 + nameLength + extraLength);
        for (int i = 0; i < 8; i++) {
            raf.write(0xFF);
        }
        raf.close();
        ZipFile d = new ZipFile("t.zip");
        try {
            System.out.println("damaged: " + drain(d.getInputStream(d.getEntry("a.txt")), 512));
        } catch (ZipException e) {
            System.out.println("damaged: ZipException");
        }
        System.out.println("undamaged neighbour: " + drain(d.getInputStream(d.getEntry("stored.bin")), 512));
        d.close();

        /* Files that are no archives. */
        new FileOutputStream("empty.zip").close();
        failing("empty file", "empty.zip");
        FileOutputStream t = new FileOutputStream("text.zip");
        t.write(text(3000, 4));
        t.close();
        failing("text file", "text.zip");
        failing("missing file", "no-such.zip");
        // An archive cut in its central directory (its end record kept).
        RandomAccessFile whole = new RandomAccessFile("many.zip", "r");
        byte[] all = new byte[(int) whole.length()];
        whole.readFully(all);
        whole.close();
        FileOutputStream cut = new FileOutputStream("cut.zip");
        cut.write(all, 0, all.length - 2000);
        cut.write(all, all.length - 22, 22);
        cut.close();
        failing("directory cut short", "cut.zip");
    }
}
