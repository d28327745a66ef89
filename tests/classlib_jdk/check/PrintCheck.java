package check;

import java.util.ArrayList;
import java.util.List;

/**
 * PrintStream: each print and println reaches the underlying stream in one write, the line
 * separator included, so that lines of threads printing at once never mix even where
 * synchronized takes no lock; printing that races close() never throws.
 */
public class PrintCheck {
    static final Checks c = new Checks("PrintCheck");
    static final String SEP = System.getProperty("line.separator");

    public static void main(String[] args) throws Exception {
        oneWritePerCall();
        flushing();
        threads();
        closeRace();
        c.finish();
    }

    static String repeat(char ch, int n) {
        StringBuilder b = new StringBuilder();
        for (int i = 0; i < n; i++) {
            b.append(ch);
        }
        return b.toString();
    }

    static void oneWritePerCall() {
        Recorder rec = new Recorder();
        t.io.PrintStream p = new t.io.PrintStream(rec, false);
        String longLine = repeat('a', 3000);
        p.println("hello");
        p.println(longLine);
        p.println(new char[] {'x', 'y'});
        p.println(42);
        p.println((Object) null);
        p.println((String) null);
        p.println();
        p.print("two\nlines");
        p.print("\u00e9\u0100\uD800");
        p.println('c');
        p.println(2.5);
        String[] expected = {"hello" + SEP, longLine + SEP, "xy" + SEP, "42" + SEP, "null" + SEP, "null" + SEP, SEP,
                             "two\nlines", "\u00e9??", "c" + SEP, "2.5" + SEP};
        c.eq(new Integer(expected.length), new Integer(rec.writes.size()), "one write per call");
        for (int i = 0; i < expected.length && i < rec.writes.size(); i++) {
            c.eq(expected[i], rec.writes.get(i), "write " + i);
        }
        c.ok(!p.checkError(), "no error on a working stream");
        p.close();
        p.println("after close");
        c.ok(p.checkError(), "printing after close is an error");
    }

    static void flushing() {
        Recorder rec = new Recorder();
        t.io.PrintStream p = new t.io.PrintStream(rec, true);
        p.print("no line end");
        c.eq(new Integer(0), new Integer(rec.flushes), "no flush without a line end");
        p.print("a\nb");
        c.eq(new Integer(1), new Integer(rec.flushes), "flush after text with a line end");
        p.println("line");
        c.eq(new Integer(2), new Integer(rec.flushes), "flush after println");
        Recorder failing = new Recorder();
        failing.fail = true;
        t.io.PrintStream q = new t.io.PrintStream(failing);
        q.println("lost");
        c.ok(q.checkError(), "a failed write sets the error flag");
    }

    // Two threads print long lines into a stream whose single write is atomic but slow.
    static void threads() throws Exception {
        final Recorder rec = new Recorder();
        rec.slow = true;
        final t.io.PrintStream p = new t.io.PrintStream(rec, true);
        final String[] lines = {repeat('a', 3000), repeat('b', 3000)};
        Thread[] threads = new Thread[2];
        for (int i = 0; i < 2; i++) {
            final String line = lines[i];
            threads[i] = new Thread() {
                public void run() {
                    for (int k = 0; k < 100; k++) {
                        p.println(line);
                    }
                }
            };
            threads[i].start();
        }
        for (int i = 0; i < 2; i++) {
            threads[i].join();
        }
        String all;
        synchronized (rec) {
            all = String.join("", rec.writes);
        }
        String[] got = all.split(SEP);
        int mixed = 0;
        for (int i = 0; i < got.length; i++) {
            if (!got[i].equals(lines[0]) && !got[i].equals(lines[1])) {
                mixed++;
            }
        }
        c.eq(new Integer(200), new Integer(got.length), "lines printed by two threads");
        c.eq(new Integer(0), new Integer(mixed), "lines mixing both threads' text");
    }

    static void closeRace() throws Exception {
        int thrown = 0;
        for (int round = 0; round < 300; round++) {
            final t.io.PrintStream p = new t.io.PrintStream(new Recorder(), true);
            final Throwable[] failure = new Throwable[1];
            Thread w = new Thread() {
                public void run() {
                    try {
                        for (int i = 0; i < 40; i++) {
                            p.println("hello world");
                            p.print('x');
                            p.flush();
                            p.write(65);
                        }
                    } catch (Throwable e) {
                        failure[0] = e;
                    }
                }
            };
            w.start();
            if (round % 2 == 0) {
                Thread.yield();
            }
            p.close();
            w.join();
            if (failure[0] != null) {
                thrown++;
                c.ok(false, "printing while another thread closes threw " + failure[0]);
            }
        }
        c.eq(new Integer(0), new Integer(thrown), "rounds where printing threw");
    }

    /** Records each write as the text of its bytes; optionally slow or failing. */
    static class Recorder extends t.io.OutputStream {
        final List<String> writes = new ArrayList<String>();
        int flushes;
        boolean slow;
        boolean fail;

        public synchronized void write(int b) throws t.io.IOException {
            write(new byte[] {(byte) b}, 0, 1);
        }

        public synchronized void write(byte[] b, int off, int len) throws t.io.IOException {
            if (fail) {
                throw new t.io.IOException("refused");
            }
            StringBuilder s = new StringBuilder();
            for (int i = 0; i < len; i++) {
                s.append((char) (b[off + i] & 0xff));
                if (slow && i % 500 == 0) {
                    Thread.yield();
                }
            }
            writes.add(s.toString());
        }

        public synchronized void flush() {
            flushes++;
        }
    }
}
