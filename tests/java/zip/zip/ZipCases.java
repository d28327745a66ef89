package zip;

import java.io.IOException;
import java.util.zip.Adler32;
import java.util.zip.CRC32;
import java.util.zip.CheckedInputStream;
import java.util.zip.CheckedOutputStream;
import java.util.zip.Checksum;
import java.util.zip.DataFormatException;
import java.util.zip.Deflater;
import java.util.zip.DeflaterOutputStream;
import java.util.zip.GZIPInputStream;
import java.util.zip.GZIPOutputStream;
import java.util.zip.Inflater;
import java.util.zip.InflaterInputStream;
import java.util.zip.ZipEntry;
import java.util.zip.ZipInputStream;
import java.util.zip.ZipOutputStream;

/** Cases of java.util.zip that the machine's tests run and check. */
public class ZipCases {
    /** n bytes of a text-like pattern that compresses. */
    public static byte[] data(int n, int seed) {
        byte[] b = new byte[n];
        int x = seed * 7 + 1;
        for (int i = 0; i < n; i++) {
            x = x * 1103515245 + 12345;
            int w = (x >>> 16) % 12;
            b[i] = (byte) (w < 8 ? "the zip machine ".charAt(i % 16) : 'a' + ((x >>> 8) & 15));
        }
        return b;
    }

    public static int crcOf(int n) {
        CRC32 c = new CRC32();
        c.update(data(n, n), 0, n);
        return (int) c.getValue();
    }

    /** The CRC-32 (which 0) or Adler-32 of data(n, 3)[off, off + len), in one update. */
    public static int checksumOfRange(int which, int n, int off, int len) {
        Checksum c = which == 0 ? (Checksum) new CRC32() : (Checksum) new Adler32();
        c.update(data(n, 3), off, len);
        return (int) c.getValue();
    }

    public static int adlerOf(int n) {
        Adler32 a = new Adler32();
        byte[] b = data(n, n);
        // In three parts, the middle one byte at a time.
        int third = n / 3;
        a.update(b, 0, third);
        for (int i = third; i < 2 * third; i++) {
            a.update(b[i]);
        }
        a.update(b, 2 * third, n - 2 * third);
        return (int) a.getValue();
    }

    public static int crc123456789() {
        CRC32 c = new CRC32();
        byte[] b = new byte[9];
        for (int i = 0; i < 9; i++) {
            b[i] = (byte) ('1' + i);
        }
        c.update(b);
        return (int) c.getValue();
    }

    public static int adlerWikipedia() {
        Adler32 a = new Adler32();
        byte[] b = {'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'};
        a.update(b);
        return (int) a.getValue();
    }

    /** A range past the end stops at the last byte; only the low 8 bits of update(int) count. */
    public static int checksumEdges() {
        byte[] b = data(10, 3);
        CRC32 one = new CRC32();
        one.update(b, 8, 5);
        CRC32 two = new CRC32();
        two.update(b, 8, 2);
        if (one.getValue() != two.getValue()) {
            return 1;
        }
        Adler32 a = new Adler32();
        a.update(0x161);
        Adler32 c = new Adler32();
        c.update(0x61);
        if (a.getValue() != c.getValue()) {
            return 2;
        }
        Adler32 empty = new Adler32();
        empty.update(b, 3, 0);
        if (empty.getValue() != 1) {
            return 3;
        }
        one.reset();
        if (one.getValue() != 0) {
            return 4;
        }
        return 0;
    }

    public static void checksumOfNull() {
        new CRC32().update(null, 0, 1);
    }

    public static void checksumNegativeOffset() {
        new Adler32().update(new byte[4], -1, 2);
    }

    /** Compresses in pieces of outStep bytes of output room; every input at once. */
    public static byte[] deflate(byte[] in, boolean nowrap, int outStep) {
        Deflater d = new Deflater(Deflater.BEST_COMPRESSION, nowrap);
        d.setInput(in);
        d.finish();
        Sink out = new Sink();
        byte[] room = new byte[outStep];
        int guard = 0;
        while (!d.finished()) {
            int n = d.deflate(room);
            out.write(room, 0, n);
            if (++guard > 10000000) {
                throw new RuntimeException("deflate does not end");
            }
        }
        d.end();
        return out.toBytes();
    }

    public static byte[] inflate(byte[] packed, boolean nowrap, int inStep, int outStep) throws DataFormatException {
        Inflater inf = new Inflater(nowrap);
        Sink out = new Sink();
        byte[] room = new byte[outStep];
        int at = 0;
        int guard = 0;
        while (!inf.finished()) {
            if (inf.needsInput()) {
                if (at >= packed.length) {
                    // Raw data may need one byte past its end to show the end of its last block.
                    inf.setInput(new byte[1]);
                } else {
                    int n = inStep < packed.length - at ? inStep : packed.length - at;
                    byte[] piece = new byte[n];
                    for (int i = 0; i < n; i++) {
                        piece[i] = packed[at + i];
                    }
                    at += n;
                    inf.setInput(piece);
                }
            }
            int n = inf.inflate(room);
            out.write(room, 0, n);
            if (++guard > 10000000) {
                throw new RuntimeException("inflate does not end");
            }
        }
        inf.end();
        return out.toBytes();
    }

    static int min(int a, int b) {
        return a < b ? a : b;
    }

    public static int same(byte[] a, byte[] b) {
        if (a.length != b.length) {
            return -1 - min(a.length, b.length);
        }
        for (int i = 0; i < a.length; i++) {
            if (a[i] != b[i]) {
                return i + 1;
            }
        }
        return 0;
    }

    /** 0 when size bytes come back through Deflater and Inflater with the given steps. */
    public static int roundTrip(int size, boolean nowrap, int inStep, int outStep) throws DataFormatException {
        byte[] in = data(size, size + 1);
        return same(in, inflate(deflate(in, nowrap, outStep), nowrap, inStep, outStep));
    }

    /** The stream of deflate(data(size), nowrap, 300) for the test to inflate with zlib. */
    public static byte[] deflated(int size, boolean nowrap) {
        return deflate(data(size, size + 1), nowrap, 300);
    }

    public static byte[] gzip(int size, int writeStep) throws IOException {
        byte[] in = data(size, size + 2);
        Sink sink = new Sink();
        GZIPOutputStream gz = new GZIPOutputStream(sink);
        for (int at = 0; at < in.length; at += writeStep) {
            gz.write(in, at, min(writeStep, in.length - at));
        }
        gz.close();
        return sink.toBytes();
    }

    /** 0 when the GZIP stream reads back to data(size) with reads of readSize bytes. */
    public static int gunzip(byte[] packed, int size, int readSize, int sourceStep) throws IOException {
        GZIPInputStream in = new GZIPInputStream(new Source(packed, sourceStep));
        Sink out = new Sink();
        byte[] buf = new byte[readSize];
        int n;
        while ((n = in.read(buf, 0, buf.length)) != -1) {
            out.write(buf, 0, n);
        }
        in.close();
        return same(data(size, size + 2), out.toBytes());
    }

    public static int gzipRoundTrip(int size, int writeStep, int readSize) throws IOException {
        return gunzip(gzip(size, writeStep), size, readSize, 97);
    }

    /** The streams of the zlib format, with a checksum kept on each side. */
    public static int streamsRoundTrip(int size) throws IOException {
        byte[] in = data(size, size + 3);
        Sink sink = new Sink();
        CRC32 written = new CRC32();
        DeflaterOutputStream out = new DeflaterOutputStream(new CheckedOutputStream(sink, written));
        for (int at = 0; at < in.length; at += 777) {
            out.write(in, at, min(777, in.length - at));
        }
        out.close();
        CRC32 read = new CRC32();
        InflaterInputStream inf = new InflaterInputStream(new CheckedInputStream(new Source(sink.toBytes(), 50), read));
        Sink back = new Sink();
        byte[] buf = new byte[8192];
        int n;
        while ((n = inf.read(buf, 0, buf.length)) != -1) {
            back.write(buf, 0, n);
        }
        inf.close();
        if (written.getValue() != read.getValue()) {
            return -2;
        }
        return same(in, back.toBytes());
    }

    /** Reads a damaged zlib stream: must end in an exception. */
    public static void corrupt(byte[] packed) throws IOException {
        InflaterInputStream in = new InflaterInputStream(new Source(packed, 64));
        try {
            byte[] buf = new byte[100];
            while (in.read(buf, 0, buf.length) != -1) {
            }
        } finally {
            in.close();
        }
    }

    public static byte[] damaged(int size) {
        byte[] p = deflate(data(size, 9), false, 300);
        for (int i = 10; i < p.length && i < 40; i++) {
            p[i] ^= 0x5A;
        }
        return p;
    }

    /** A reset in the middle of a stream, then new data in pieces: as a fresh Deflater. */
    public static int resetMidStream() {
        byte[] first = data(3000, 5);
        byte[] second = data(5000, 6);
        Deflater d = new Deflater(1, true);
        d.setInput(first, 0, 2000);
        byte[] room = new byte[100];
        d.deflate(room);
        d.finish();
        d.reset();
        Sink out = new Sink();
        for (int at = 0; at < second.length; at += 1234) {
            d.setInput(second, at, min(1234, second.length - at));
            while (!d.needsInput()) {
                out.write(room, 0, d.deflate(room));
            }
        }
        d.finish();
        while (!d.finished()) {
            out.write(room, 0, d.deflate(room));
        }
        d.end();
        return same(deflate(second, true, 100), out.toBytes());
    }

    /** A finished stream reset and used again. */
    public static int resetAfterEnd() throws DataFormatException {
        Deflater d = new Deflater(1, false);
        byte[] room = new byte[64];
        d.setInput(data(500, 7));
        d.finish();
        while (!d.finished()) {
            d.deflate(room);
        }
        d.reset();
        byte[] second = data(2000, 8);
        Sink out = new Sink();
        d.setInput(second);
        while (!d.needsInput()) {
            out.write(room, 0, d.deflate(room));
        }
        d.finish();
        while (!d.finished()) {
            out.write(room, 0, d.deflate(room));
        }
        d.end();
        return same(second, inflate(out.toBytes(), false, 100, 100));
    }

    /** Live streams against the machine's compression budget: which one is refused. */
    public static int budget(boolean deflaters, int count) {
        Object[] live = new Object[count];
        int made = 0;
        try {
            for (; made < count; made++) {
                live[made] = deflaters ? (Object) new Deflater() : (Object) new Inflater();
            }
        } catch (OutOfMemoryError e) {
            // refused: made streams are live
        }
        for (int i = 0; i < made; i++) {
            if (deflaters) {
                ((Deflater) live[i]).end();
            } else {
                ((Inflater) live[i]).end();
            }
        }
        return made;
    }

    /** After end() the budget is back: as many again. */
    public static int budgetComesBack() {
        int first = budget(true, 5);
        int second = budget(true, 5);
        return first == second ? first : -1;
    }

    /** Output ranges that must be refused, and the counters. */
    public static int rangesAndCounters() throws DataFormatException {
        Deflater d = new Deflater();
        d.setInput(data(100, 1));
        byte[] out = new byte[10];
        int failures = 0;
        try {
            d.deflate(out, 5, -1);
            failures |= 1;
        } catch (ArrayIndexOutOfBoundsException e) {
        }
        try {
            d.deflate(out, 10, 0);
            failures |= 2;
        } catch (ArrayIndexOutOfBoundsException e) {
        }
        try {
            d.setInput(out, 5, 6);
            failures |= 4;
        } catch (ArrayIndexOutOfBoundsException e) {
        }
        d.finish();
        byte[] room = new byte[1000];
        int made = 0;
        while (!d.finished()) {
            made += d.deflate(room, 0, room.length);
        }
        if (d.getTotalIn() != 100 || d.getTotalOut() != made) {
            failures |= 8;
        }
        d.end();
        d.end();
        if (d.getTotalIn() != 0) {
            failures |= 16;
        }
        try {
            d.reset();
            failures |= 32;
        } catch (NullPointerException e) {
        }
        Inflater inf = new Inflater();
        if (inf.inflate(new byte[5]) != 0 || !inf.needsInput()) {
            failures |= 64;
        }
        inf.end();
        return failures;
    }

    /** A subclass made before any plain Deflater finds the fields of Deflater. */
    public static int subclassFirst() throws DataFormatException {
        Deflater d = new Deflater(6, false) {
        };
        byte[] in = data(700, 2);
        d.setInput(in);
        d.finish();
        Sink out = new Sink();
        byte[] room = new byte[50];
        while (!d.finished()) {
            out.write(room, 0, d.deflate(room));
        }
        d.end();
        return same(in, inflate(out.toBytes(), false, 7, 13));
    }

    public static void nyi() {
        Deflater d = new Deflater();
        try {
            d.getAdler();
        } finally {
            d.end();
        }
    }

    /** An archive: a deflated text, a stored entry, an empty one, a directory, a comment. */
    public static byte[] zipArchive(int size) throws IOException {
        Sink sink = new Sink();
        ZipOutputStream zip = new ZipOutputStream(sink);
        zip.setComment("made by ZipCases");
        zip.putNextEntry(new ZipEntry("text/big.txt"));
        byte[] big = data(size, 11);
        for (int at = 0; at < big.length; at += 1000) {
            zip.write(big, at, min(1000, big.length - at));
        }
        ZipEntry stored = new ZipEntry("stored.bin");
        byte[] small = data(300, 12);
        CRC32 c = new CRC32();
        c.update(small);
        stored.setMethod(ZipEntry.STORED);
        stored.setSize(small.length);
        stored.setCrc(c.getValue());
        zip.putNextEntry(stored);
        zip.write(small, 0, small.length);
        zip.closeEntry();
        zip.putNextEntry(new ZipEntry("empty"));
        zip.putNextEntry(new ZipEntry("dir/"));
        zip.close();
        return sink.toBytes();
    }

    /** 0 when ZipInputStream reads zipArchive(size)'s entries back, in order and whole. */
    public static int unzip(byte[] archive, int size, int sourceStep, int readSize) throws IOException {
        ZipInputStream in = new ZipInputStream(new Source(archive, sourceStep));
        try {
            String[] names = {"text/big.txt", "stored.bin", "empty", "dir/"};
            byte[][] contents = {data(size, 11), data(300, 12), new byte[0], new byte[0]};
            for (int i = 0; i < names.length; i++) {
                ZipEntry e = in.getNextEntry();
                if (e == null || !e.getName().equals(names[i])) {
                    return 100 + i;
                }
                Sink out = new Sink();
                byte[] buf = new byte[readSize];
                int n;
                while ((n = in.read(buf, 0, buf.length)) != -1) {
                    out.write(buf, 0, n);
                }
                if (same(contents[i], out.toBytes()) != 0) {
                    return 200 + i;
                }
                if (e.getSize() != contents[i].length) {
                    return 300 + i;
                }
            }
            if (in.getNextEntry() != null) {
                return 400;
            }
            return 0;
        } finally {
            in.close();
        }
    }

    /** An entry of an archive whose data was damaged: ZipException, never a crash. */
    public static void unzipDamaged(byte[] archive) throws IOException {
        ZipInputStream in = new ZipInputStream(new Source(archive, 100));
        try {
            byte[] buf = new byte[256];
            while (in.getNextEntry() != null) {
                while (in.read(buf, 0, buf.length) != -1) {
                }
            }
        } finally {
            in.close();
        }
    }

    /** 1 when making a Deflater is refused with OutOfMemoryError, 0 when it is made. */
    public static int makeDeflater() {
        try {
            new Deflater().end();
            return 0;
        } catch (OutOfMemoryError e) {
            return e.getMessage() != null && e.getMessage().indexOf("no compression memory") >= 0 ? 1 : 2;
        }
    }

    /** Writing through a stream whose Deflater was ended: an IOException, never a loop. */
    public static void writeAfterEnd() throws IOException {
        Deflater d = new Deflater();
        DeflaterOutputStream out = new DeflaterOutputStream(new Sink(), d);
        d.end();
        out.write(data(100, 1), 0, 100);
    }

    /* Where the pattern first occurs in b from index from; -1 when nowhere. */
    static int find(byte[] b, byte[] p, int from) {
        for (int i = from; i + p.length <= b.length; i++) {
            int k = 0;
            while (k < p.length && b[i + k] == p[k]) {
                k++;
            }
            if (k == p.length) {
                return i;
            }
        }
        return -1;
    }

    /**
     * A check that only a checksum can make: data whose every byte still inflates (or is
     * stored), with one byte of the data or of its check changed. 0: a stored entry's byte;
     * 1: the CRC of a deflated entry's data descriptor; 2: a GZIP trailer's CRC; 3: its size.
     * Each must raise ZipException.
     */
    public static void damagedCheck(int which) throws IOException {
        if (which >= 2) {
            byte[] packed = gzip(5000, 700);
            packed[packed.length - (which == 2 ? 8 : 4)] ^= 0x10;
            GZIPInputStream in = new GZIPInputStream(new Source(packed, 100));
            try {
                byte[] buf = new byte[512];
                while (in.read(buf, 0, buf.length) != -1) {
                }
            } finally {
                in.close();
            }
            return;
        }
        byte[] archive = zipArchive(3000);
        if (which == 0) {
            byte[] small = data(300, 12);
            byte[] head = new byte[16];
            System.arraycopy(small, 0, head, 0, head.length);
            archive[find(archive, head, 0) + 100] ^= 0x01;
        } else {
            // The deflated entry ends with a data descriptor: its signature, then the CRC.
            byte[] sig = {0x50, 0x4b, 0x07, 0x08};
            archive[find(archive, sig, 0) + 4] ^= 0x01;
        }
        unzipDamaged(archive);
    }

    /**
     * Inflater.inflate called directly on data it cannot inflate: 1 for DataFormatException
     * "Error in inflation", 2 for NullPointerException, 3 for no exception. which 0: damaged
     * deflate data; 1: a zlib stream that asks for a preset dictionary.
     */
    public static int inflateRefusal(int which) {
        byte[] in;
        if (which == 0) {
            in = deflated(2000, false);
            for (int i = 2; i < 40; i++) {
                in[i] = (byte) 0xFF;
            }
        } else {
            in = new byte[] {0x78, (byte) 0xBB, 0x01, 0x02, 0x03, 0x04, 0x4B, 0x04, 0x00};
        }
        Inflater inf = new Inflater();
        try {
            inf.setInput(in);
            inf.inflate(new byte[5000]);
            return 3;
        } catch (DataFormatException e) {
            return "Error in inflation".equals(e.getMessage()) ? 1 : 4;
        } catch (NullPointerException e) {
            return 2;
        } finally {
            inf.end();
        }
    }

    /** new GZIPInputStream over data that is no GZIP: ZipException (its Inflater ended). */
    public static void notGzip() throws IOException {
        new GZIPInputStream(new Source("plain text, not gzip".getBytes(), 3));
    }

    /** new GZIPOutputStream over a stream that refuses the header: IOException (its Deflater ended). */
    public static void gzipHeaderRefused() throws IOException {
        new GZIPOutputStream(new java.io.OutputStream() {
            public void write(int b) throws IOException {
                throw new IOException("refused");
            }

            public void write(byte[] b, int off, int len) throws IOException {
                throw new IOException("refused");
            }
        });
    }

    /** inflate and deflate on an ended stream: 3 when both raise NullPointerException "... has been closed". */
    public static int callsAfterEnd() throws DataFormatException {
        int r = 0;
        Inflater inf = new Inflater();
        inf.setInput(deflated(100, false));
        inf.end();
        try {
            inf.inflate(new byte[10]);
        } catch (NullPointerException e) {
            r |= "Inflater has been closed".equals(e.getMessage()) ? 1 : 0;
        }
        Deflater d = new Deflater();
        d.setInput(new byte[10]);
        d.end();
        try {
            d.deflate(new byte[10]);
        } catch (NullPointerException e) {
            r |= "Deflater has been closed".equals(e.getMessage()) ? 2 : 0;
        }
        return r;
    }

    /**
     * Inflates deflate(data(size)) into room[off, off + step) of an array with guard bytes
     * around it, the input given inStep bytes at a time: 0 when every piece comes out right
     * and no guard byte changes; else 1 + the first wrong output index, or -1 for a guard.
     */
    static byte[] rangeIn;
    static byte[] rangePacked;

    public static int inflateIntoRange(int size, int off, int step, int inStep) throws DataFormatException {
        if (rangeIn == null || rangeIn.length != size) {
            rangeIn = data(size, size + 5);
            rangePacked = deflate(rangeIn, true, 4096);
        }
        byte[] in = rangeIn;
        byte[] packed = rangePacked;
        Inflater inf = new Inflater(true);
        byte[] room = new byte[off + step + 300];
        for (int i = 0; i < room.length; i++) {
            room[i] = (byte) 0x5A;
        }
        int done = 0;
        int at = 0;
        int guard = 0;
        while (!inf.finished()) {
            if (inf.needsInput()) {
                int n = at < packed.length ? min(inStep, packed.length - at) : 0;
                if (n == 0) {
                    inf.setInput(new byte[1]);
                } else {
                    inf.setInput(packed, at, n);
                    at += n;
                }
            }
            int n = inf.inflate(room, off, step);
            for (int i = 0; i < n; i++) {
                if (done + i >= in.length || room[off + i] != in[done + i]) {
                    inf.end();
                    return 1 + done + i;
                }
                room[off + i] = (byte) 0x5A;
            }
            // The guards next to the range (the rest of the array lies farther still).
            for (int i = off < 16 ? 0 : off - 16; i < room.length; i = i == off - 1 ? off + step : i + 1) {
                if (room[i] != (byte) 0x5A) {
                    inf.end();
                    return -1;
                }
            }
            done += n;
            if (++guard > 1000000) {
                throw new RuntimeException("inflate does not end");
            }
        }
        inf.end();
        return done == in.length ? 0 : 1 + done;
    }

    /**
     * The whole stream given at once and read in rooms of room bytes: once the engine has
     * taken all the input, the bytes it holds must still come out, call after call, to the
     * end. 0 when they all do; -2 when a call answers 0 asking for input with bytes still
     * due; else as same().
     */
    public static int inflateHeldBytes(int size, int room, boolean nowrap) throws DataFormatException {
        byte[] in = data(size, size + 9);
        Inflater inf = new Inflater(nowrap);
        inf.setInput(deflate(in, nowrap, 4096));
        Sink out = new Sink();
        byte[] buf = new byte[room];
        int guard = 0;
        while (!inf.finished()) {
            int n = inf.inflate(buf);
            if (n == 0 && !inf.finished() && inf.needsInput()) {
                inf.end();
                return -2;
            }
            out.write(buf, 0, n);
            if (++guard > 10000000) {
                throw new RuntimeException("inflate does not end");
            }
        }
        inf.end();
        return same(in, out.toBytes());
    }

    /**
     * Reads of an InflaterInputStream: over an Inflater its owner ended before the read
     * (1 for IOException "Inflater has been closed", at the first read and after some bytes
     * were read), and after the stream's close (2 for IOException "Stream closed"; 4 the same
     * through the one-byte read).
     */
    public static int readsAfterEnd() throws IOException {
        int r = 0;
        byte[] packed = deflated(5000, false);
        for (int before = 0; before < 2; before++) {
            Inflater inf = new Inflater();
            InflaterInputStream in = new InflaterInputStream(new Source(packed, 100), inf, 64);
            byte[] buf = new byte[300];
            if (before == 1 && in.read(buf, 0, buf.length) <= 0) {
                return -1;
            }
            inf.end();
            try {
                in.read(buf, 0, buf.length);
            } catch (IOException e) {
                r |= "Inflater has been closed".equals(e.getMessage()) ? 1 << (4 * before) : 0;
            }
        }
        InflaterInputStream in = new InflaterInputStream(new Source(packed, 100));
        in.close();
        try {
            in.read(new byte[10], 0, 10);
        } catch (IOException e) {
            r |= "Stream closed".equals(e.getMessage()) ? 2 : 0;
        }
        try {
            in.read();
        } catch (IOException e) {
            r |= "Stream closed".equals(e.getMessage()) ? 4 : 0;
        }
        return r;
    }

    /* Copies made by Object.clone hold the original's stream word. */
    static class CopyableInflater extends Inflater implements Cloneable {
        Object copy() throws CloneNotSupportedException {
            return clone();
        }
    }

    static class CopyableDeflater extends Deflater implements Cloneable {
        Object copy() throws CloneNotSupportedException {
            return clone();
        }
    }

    /**
     * A copy's word after its original ended, with a new stream made since (in the memory
     * the ended one gave back, on a host that hands a freed block straight back): every
     * call through the copy is refused as on an ended stream, and the new stream's own
     * work comes out whole. Before the end, the copy shares the live stream. 0, or the
     * number of the first check that failed, times 1000, plus the round.
     */
    public static int staleCopies(int rounds) throws Exception {
        byte[] text = data(3000, 3001);
        byte[] packed = deflated(3000, false);
        byte[] junk = deflate(data(500, 4), false, 4096);
        byte[] out = new byte[4000];
        for (int round = 0; round < rounds; round++) {
            CopyableInflater original = new CopyableInflater();
            Inflater copy = (Inflater) original.copy();
            copy.setInput(junk);
            if (copy.inflate(out, 0, 10) != 10 || original.getTotalOut() != 10) {
                return 1000 + round;
            }
            original.end();
            Inflater victim = new Inflater();
            victim.setInput(packed);
            if (victim.inflate(out, 0, 100) != 100) {
                return 2000 + round;
            }
            copy.setInput(junk);
            try {
                copy.inflate(out, 0, out.length);
                return 3000 + round;
            } catch (NullPointerException e) {
                if (!"Inflater has been closed".equals(e.getMessage())) {
                    return 4000 + round;
                }
            }
            try {
                copy.reset();
                return 5000 + round;
            } catch (NullPointerException e) {
            }
            if (copy.getTotalIn() != 0 || copy.getTotalOut() != 0 || copy.getAdler() != 0) {
                return 6000 + round;
            }
            copy.end();
            int n = 100 + victim.inflate(out, 100, out.length - 100);
            victim.end();
            if (n != text.length || same(text, cut(out, n)) != 0) {
                return 7000 + round;
            }

            CopyableDeflater dOriginal = new CopyableDeflater();
            Deflater dCopy = (Deflater) dOriginal.copy();
            dOriginal.end();
            Deflater dVictim = new Deflater();
            dVictim.setInput(text);
            dCopy.setInput(junk);
            dCopy.finish();
            try {
                dCopy.deflate(out, 0, out.length);
                return 8000 + round;
            } catch (NullPointerException e) {
            }
            dCopy.end();
            dVictim.finish();
            n = 0;
            for (int guard = 0; !dVictim.finished() && n < out.length && guard < 100; guard++) {
                n += dVictim.deflate(out, n, out.length - n);
            }
            boolean finished = dVictim.finished();
            dVictim.end();
            if (!finished || same(text, inflate(cut(out, n), false, 4096, 4096)) != 0) {
                return 9000 + round;
            }
        }
        return 0;
    }

    static volatile String asked;

    /** Compresses 4000 bytes with d and ends it: "made" when bytes came out. */
    public static String use(Deflater d) {
        d.setInput(data(4000, 1));
        d.finish();
        int n = d.deflate(new byte[4000]);
        d.end();
        return n > 0 ? "made" : "nothing";
    }

    /**
     * This thread holds the compression budget (two Deflaters) while another asks for a third
     * and waits; the wait then ends in one of three ways: 1, the asker is interrupted; 2, it is
     * stopped; 3, nothing could end it: the two were made by a thread that has ended, and the
     * asker is refused without waiting. In the first two a stream is ended half a second later,
     * which a wait that went on would take for room. What the asker got: "made", or the class
     * of what it met, with " interrupted" while its interrupt is still set.
     */
    public static String budgetWait(int how) throws InterruptedException {
        final Deflater[] pair = new Deflater[2];
        if (how == 3) {
            makeTwo(pair);
        } else {
            pair[0] = new Deflater();
            pair[1] = new Deflater();
        }
        Deflater first = pair[0];
        Deflater second = pair[1];
        Thread asker = new Thread() {
            public void run() {
                try {
                    asked = use(new Deflater());
                } catch (Throwable e) {
                    asked = e.getClass().getName() + (isInterrupted() ? " interrupted" : "");
                }
            }
        };
        asker.start();
        Thread.sleep(200);
        if (how == 1) {
            asker.interrupt();
        } else if (how == 2) {
            asker.stop();
        }
        if (how != 3) {
            Thread.sleep(500);
            first.end();
        }
        asker.join();
        first.end();
        second.end();
        return asked;
    }

    /** Two Deflaters made by a thread that has ended by the time this returns. */
    static void makeTwo(final Deflater[] pair) throws InterruptedException {
        Thread maker = new Thread() {
            public void run() {
                pair[0] = new Deflater();
                pair[1] = new Deflater();
            }
        };
        maker.start();
        maker.join();
    }

    static Deflater[] handedPair = new Deflater[2];

    /** Two Deflaters made by a thread that has ended, for this thread to hold. */
    public static void handOver() throws InterruptedException {
        makeTwo(handedPair);
    }

    /**
     * Holding the two of handOver, this thread asks for a third: nothing but its own code can
     * end them. "made" or "refused"; the two are ended after.
     */
    public static String askThird() {
        String outcome;
        try {
            new Deflater().end();
            outcome = "made";
        } catch (OutOfMemoryError e) {
            outcome = "refused";
        }
        handedPair[0].end();
        handedPair[1].end();
        return outcome;
    }

    /**
     * A thread makes two Deflaters, drops them without ending them, and ends: the budget is
     * held by streams only a collection can end.
     */
    public static void leaveTwo() throws InterruptedException {
        Thread leaver = new Thread() {
            public void run() {
                new Deflater();
                new Deflater();
            }
        };
        leaver.start();
        leaver.join();
    }

    /** A finalizer that takes a while and ends no stream. */
    static class SlowToFinalize {
        protected void finalize() throws InterruptedException {
            Thread.sleep(5);
        }
    }

    public static volatile boolean feedStop;
    public static volatile int feedRounds;

    /**
     * Keeps the finalizer thread busy: ten objects whose finalizers take a while, then a
     * collection, round after round, until feedStop is set or 10 s have gone. Whether it
     * was stopped.
     */
    public static boolean feedFinalizers() {
        long end = System.currentTimeMillis() + 10000;
        while (!feedStop && System.currentTimeMillis() < end) {
            for (int i = 0; i < 10; i++) {
                new SlowToFinalize();
            }
            System.gc();
            feedRounds++;
        }
        return feedStop;
    }

    static byte[] cut(byte[] b, int n) {
        byte[] r = new byte[n];
        System.arraycopy(b, 0, r, 0, n);
        return r;
    }
}
