import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.util.zip.CRC32;
import java.util.zip.DataFormatException;
import java.util.zip.Deflater;
import java.util.zip.GZIPInputStream;
import java.util.zip.GZIPOutputStream;
import java.util.zip.Inflater;
import java.util.zip.InflaterInputStream;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;
import java.util.zip.ZipInputStream;
import java.util.zip.ZipOutputStream;

/*
 * end() and close() on a second thread racing every call of the classes whose objects hold
 * native state: Inflater, Deflater, the inflating streams and ZipFile. (The deflating streams
 * are left out: on the JDK a close racing a write may never return.) Each racing call either does
 * its whole work (the bytes it gives are the right ones) or is refused as closed
 * (NullPointerException from the engines, an IOException from the streams); anything else is
 * printed. The ender starts after a varying number of yields, so that over the rounds it
 * lands before, inside and after the call. Runs in an empty working directory.
 */
public class ZipEndRaces {
    static volatile boolean go;
    static byte[] data;
    static byte[] deflated;
    static byte[] gzipped;
    static byte[] zipped;
    static File archive;

    abstract static class Race {
        final String name;

        Race(String name) {
            this.name = name;
        }

        abstract void setUp() throws Exception;

        abstract void call() throws Exception;

        abstract void end() throws Exception;
    }

    static String failure;

    static void run(final Race race, int rounds) throws Exception {
        failure = null;
        for (int r = 0; r < rounds && failure == null; r++) {
            race.setUp();
            go = false;
            final int delay = r % 12;
            Thread ender = new Thread() {
                public void run() {
                    while (!go) {
                        Thread.yield();
                    }
                    for (int i = 0; i < delay; i++) {
                        Thread.yield();
                    }
                    try {
                        race.end();
                    } catch (Throwable t) {
                        failure = "end: " + t;
                    }
                }
            };
            ender.start();
            go = true;
            try {
                race.call();
            } catch (NullPointerException e) {
                // refused as closed
            } catch (IOException e) {
                // refused as closed (the JDK's ZipFile says so with a ZipException)
            } catch (Throwable t) {
                failure = "call: " + t;
            }
            ender.join();
        }
        System.out.println(race.name + ": " + (failure == null ? "ok" : failure));
    }

    static void check(byte[] got, int off, int n, int at) {
        for (int i = 0; i < n; i++) {
            if (got[off + i] != data[at + i]) {
                throw new RuntimeException("byte " + (at + i) + " differs");
            }
        }
    }

    /* Reads the stream to its end, checking every byte against the data. */
    static void drain(InputStream in) throws IOException {
        byte[] b = new byte[777];
        int at = 0;
        int n;
        while ((n = in.read(b, 0, b.length)) > 0) {
            check(b, 0, n, at);
            at += n;
        }
        if (at != data.length) {
            throw new RuntimeException("ended after " + at + " bytes");
        }
    }

    static byte[] compress(boolean nowrap) {
        Deflater d = new Deflater(Deflater.DEFAULT_COMPRESSION, nowrap);
        d.setInput(data);
        d.finish();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] room = new byte[4096];
        while (!d.finished()) {
            out.write(room, 0, d.deflate(room));
        }
        d.end();
        return out.toByteArray();
    }

    public static void main(String[] args) throws Exception {
        int rounds = args.length > 0 ? Integer.parseInt(args[0]) : 24;
        data = new byte[96 * 1024];
        for (int i = 0; i < data.length; i++) {
            data[i] = (byte) (i * 31 + (i >> 9) + (i % 7 == 0 ? i >> 3 : 0));
        }
        deflated = compress(false);
        ByteArrayOutputStream bo = new ByteArrayOutputStream();
        GZIPOutputStream go2 = new GZIPOutputStream(bo);
        go2.write(data);
        go2.close();
        gzipped = bo.toByteArray();
        bo = new ByteArrayOutputStream();
        ZipOutputStream zo = new ZipOutputStream(bo);
        zo.putNextEntry(new ZipEntry("d.bin"));
        zo.write(data);
        zo.closeEntry();
        ZipEntry stored = new ZipEntry("s.bin");
        stored.setMethod(ZipEntry.STORED);
        stored.setSize(data.length);
        CRC32 crc = new CRC32();
        crc.update(data);
        stored.setCrc(crc.getValue());
        zo.putNextEntry(stored);
        zo.write(data);
        zo.closeEntry();
        zo.close();
        zipped = bo.toByteArray();
        archive = new File("races.zip");
        FileOutputStream fo = new FileOutputStream(archive);
        fo.write(zipped);
        fo.close();

        run(new Race("Inflater.inflate against end") {
            Inflater inf;

            void setUp() {
                inf = new Inflater();
                inf.setInput(deflated);
            }

            void call() throws DataFormatException {
                byte[] out = new byte[data.length];
                int n = inf.inflate(out, 0, out.length);
                check(out, 0, n, 0);
            }

            void end() {
                inf.end();
            }
        }, rounds);
        run(new Race("Inflater counters and reset against end") {
            Inflater inf;

            void setUp() throws DataFormatException {
                inf = new Inflater();
                inf.setInput(deflated);
                inf.inflate(new byte[1000]);
            }

            void call() throws DataFormatException {
                for (int i = 0; i < 300; i++) {
                    if (inf.getTotalIn() < 0 || inf.getTotalOut() < 0) {
                        throw new RuntimeException("negative count");
                    }
                    inf.getAdler();
                    inf.getRemaining();
                    inf.needsInput();
                    inf.finished();
                    if (i % 50 == 0) {
                        inf.reset();
                        inf.setInput(deflated);
                    }
                }
            }

            void end() {
                inf.end();
            }
        }, rounds);
        run(new Race("Inflater.end against end") {
            Inflater inf;

            void setUp() {
                inf = new Inflater(true);
            }

            void call() {
                inf.end();
                inf.end();
            }

            void end() {
                inf.end();
            }
        }, rounds);
        run(new Race("Deflater.deflate against end") {
            Deflater d;

            void setUp() {
                d = new Deflater();
                d.setInput(data);
                d.finish();
            }

            void call() {
                byte[] out = new byte[data.length + 1024];
                int n = 0;
                while (!d.finished()) {
                    n += d.deflate(out, n, out.length - n);
                }
                Inflater inf = new Inflater();
                inf.setInput(out, 0, n);
                byte[] back = new byte[data.length];
                try {
                    if (inf.inflate(back) != data.length) {
                        throw new RuntimeException("short deflate output");
                    }
                } catch (DataFormatException e) {
                    throw new RuntimeException("bad deflate output");
                } finally {
                    inf.end();
                }
                check(back, 0, back.length, 0);
            }

            void end() {
                d.end();
            }
        }, rounds);
        run(new Race("Deflater counters and reset against end") {
            Deflater d;

            void setUp() {
                d = new Deflater();
                d.setInput(data, 0, 5000);
                d.deflate(new byte[100]);
            }

            void call() {
                for (int i = 0; i < 300; i++) {
                    if (d.getTotalIn() < 0 || d.getTotalOut() < 0) {
                        throw new RuntimeException("negative count");
                    }
                    d.needsInput();
                    d.finished();
                    if (i % 50 == 0) {
                        d.reset();
                        d.setInput(data, 0, 3000);
                        d.deflate(new byte[10]);
                    }
                }
            }

            void end() {
                d.end();
            }
        }, rounds);
        run(new Race("InflaterInputStream.read against close") {
            InputStream in;

            void setUp() {
                in = new InflaterInputStream(new ByteArrayInputStream(deflated));
            }

            void call() throws IOException {
                drain(in);
            }

            void end() throws IOException {
                in.close();
            }
        }, rounds);
        run(new Race("GZIPInputStream.read against close") {
            InputStream in;

            void setUp() throws IOException {
                in = new GZIPInputStream(new ByteArrayInputStream(gzipped));
            }

            void call() throws IOException {
                drain(in);
            }

            void end() throws IOException {
                in.close();
            }
        }, rounds);
        run(new Race("ZipInputStream.read against close") {
            ZipInputStream in;

            void setUp() throws IOException {
                in = new ZipInputStream(new ByteArrayInputStream(zipped));
                in.getNextEntry();
            }

            void call() throws IOException {
                drain(in);
            }

            void end() throws IOException {
                in.close();
            }
        }, rounds);
        for (int k = 0; k < 2; k++) {
            final String entry = k == 0 ? "d.bin" : "s.bin";
            run(new Race("ZipFile entry " + entry + " read against the ZipFile's close") {
                ZipFile z;
                InputStream in;

                void setUp() throws IOException {
                    z = new ZipFile(archive);
                    in = z.getInputStream(z.getEntry(entry));
                }

                void call() throws IOException {
                    drain(in);
                }

                void end() throws IOException {
                    z.close();
                }
            }, rounds);
        }
        archive.delete();
    }
}
