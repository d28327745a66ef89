package check;

import java.util.ArrayList;
import java.util.List;

import t.lang.JString;

/**
 * The library as the machine runs it, whose monitors take no lock (the copy has every
 * synchronized taken out): threads racing on one object, looped many rounds. A racing change
 * may be lost, but a string never changes after it is made, a table never loses its shape, and
 * nothing fails inside the library or hangs.
 */
public class RaceCheck {
    static final Checks c = new Checks("RaceCheck");

    public static void main(String[] args) throws Exception {
        stringsTakenFromABuffer();
        buffersWrittenByManyThreads();
        hashtables();
        vectorsAndStacks();
        threadGroupMembers();
        threadGroups();
        outputStreamsAndWriters();
        readersSharedByThreads();
        bufferedReadersSharedByThreads();
        marksMovedWhileBuffersGrow();
        sequencesReadToTheirEnd();
        c.finish();
    }

    interface Body {
        void run(int id, int round) throws Throwable;
    }

    /**
     * Runs body on each of n threads for rounds rounds; every throwable but those expected is
     * a failure, and so is a thread still running after 60 seconds (a cycle in a chain).
     */
    static boolean race(String what, int n, final int rounds, final Body body, final Class[] expected) throws Exception {
        final List<Throwable> thrown = new ArrayList<Throwable>();
        Thread[] ts = new Thread[n];
        for (int i = 0; i < n; i++) {
            final int id = i;
            ts[i] = new Thread() {
                public void run() {
                    for (int r = 0; r < rounds; r++) {
                        try {
                            body.run(id, r);
                        } catch (Throwable e) {
                            boolean ok = false;
                            for (int k = 0; k < expected.length; k++) {
                                ok |= expected[k].isInstance(e);
                            }
                            if (!ok) {
                                synchronized (thrown) {
                                    thrown.add(e);
                                }
                                return;
                            }
                        }
                    }
                }
            };
            ts[i].setDaemon(true);
            ts[i].start();
        }
        long end = System.currentTimeMillis() + 60000;
        boolean hung = false;
        for (int i = 0; i < n; i++) {
            ts[i].join(Math.max(1, end - System.currentTimeMillis()));
            hung |= ts[i].isAlive();
        }
        c.ok(!hung, what + ": a thread still runs after a minute");
        synchronized (thrown) {
            for (Throwable e : thrown) {
                c.ok(false, what + " threw " + e + where(e));
            }
            c.eq(new Integer(0), new Integer(thrown.size()), what + ": threads that threw");
        }
        return !hung;
    }

    /**
     * Where e came from: the frames down to the first of the library that is not System (an
     * index fault is thrown inside arraycopy, but the fault is in the method that called it),
     * so that a failure seen once under load can be traced.
     */
    static String where(Throwable e) {
        StackTraceElement[] at = e.getStackTrace();
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < at.length; i++) {
            sb.append(i == 0 ? " at " : " <- ").append(at[i]);
            String cls = at[i].getClassName();
            if (!cls.startsWith("java.") && !cls.startsWith("jdk.") && !cls.equals("t.lang.System")) {
                break;
            }
        }
        return sb.toString();
    }

    static final Class[] NONE = {};
    static volatile int sink;

    // One thread reverses the buffer and sets chars in it; the others take strings from it and
    // read each twice, a little apart.
    static void stringsTakenFromABuffer() throws Exception {
        char[] a = new char[1000];
        java.util.Arrays.fill(a, 'a');
        final t.lang.StringBuffer sb = new t.lang.StringBuffer(new String(a));
        final int[] changed = new int[1];
        race("strings taken from a buffer that changes", 3, 8000, new Body() {
            public void run(int id, int round) {
                if (id == 0) {
                    if ((round & 1) == 0) {
                        sb.reverse();
                    } else {
                        sb.setCharAt((int) ((round * 7919L) % 1000), (char) ('a' + round % 26));
                    }
                    return;
                }
                JString s = new JString(sb);
                String first = s.str();
                for (int k = 0; k < 4; k++) {
                    for (int spin = 0; spin < 50; spin++) {
                        sink += spin;
                    }
                    if (!s.str().equals(first)) {
                        synchronized (changed) {
                            changed[0]++;
                        }
                        return;
                    }
                }
            }
        }, NONE);
        c.eq(new Integer(0), new Integer(changed[0]), "strings that changed after they were made");
    }

    // Appends, inserts, cuts and reads of one buffer from four threads at once; the buffer is
    // replaced by a new small one now and then, so that it is often nearly full.
    static void buffersWrittenByManyThreads() throws Exception {
        final t.lang.StringBuffer[] holder = {new t.lang.StringBuffer(1)};
        final int[] bad = new int[1];
        race("a buffer written by four threads", 4, 40000, new Body() {
            public void run(int id, int round) {
                t.lang.StringBuffer sb = holder[0];
                switch ((id + round) % 10) {
                    case 0: sb.append("abc"); break;
                    case 1: sb.append('d'); break;
                    case 2: sb.insert(0, "ef"); break;
                    case 3: sb.insert(0, 'g'); break;
                    case 4: sb.append(new char[] {'h', 'i'}, 0, 2); break;
                    case 5: sb.reverse(); break;
                    case 6:
                        if (sb.length() > 60) {
                            sb.setLength(round % 3);
                        }
                        break;
                    case 7:
                        if (sb.length() > 40) {
                            holder[0] = new t.lang.StringBuffer(round % 3);
                        }
                        break;
                    case 8: sb.setCharAt(0, 'a'); break;
                    default:
                        String s = sb.toString();
                        for (int i = 0; i < s.length(); i++) {
                            if ("abcdefghi\u0000".indexOf(s.charAt(i)) < 0) {
                                synchronized (bad) {
                                    bad[0]++;
                                }
                                break;
                            }
                        }
                        break;
                }
            }
        }, new Class[] {StringIndexOutOfBoundsException.class});
        c.eq(new Integer(0), new Integer(bad[0]), "strings holding a char never written");
    }

    // Puts, removes and gets on keys the threads share, from a capacity of 1 so that the table
    // grows all along; one thread walks the keys meanwhile.
    static void hashtables() throws Exception {
        for (int round = 0; round < 10; round++) {
            final t.util.Hashtable h = new t.util.Hashtable(1);
            boolean ended = race("a hashtable growing under four threads", 4, 3000, new Body() {
                public void run(int id, int r) {
                    Integer key = new Integer((r * 31 + id * 7) % 600);
                    switch (r % 5) {
                        case 0:
                        case 1:
                            h.put(key, "v" + key);
                            break;
                        case 2:
                            h.remove(new Integer((r * 17) % 600));
                            break;
                        case 3:
                            Object v = h.get(key);
                            if (v != null && !v.equals("v" + key)) {
                                throw new IllegalStateException("get(" + key + ") gave " + v);
                            }
                            break;
                        default:
                            if (id == 0) {
                                for (t.util.Enumeration e = h.keys(); e.hasMoreElements();) {
                                    e.nextElement();
                                }
                                h.clone();
                            }
                            break;
                    }
                }
            }, NONE);
            if (!ended) {
                return;
            }
            // What the walk finds, a look-up finds: no entry sits in another key's bucket.
            int missing = 0;
            for (t.util.Enumeration e = h.keys(); e.hasMoreElements();) {
                Object k = e.nextElement();
                if (!("v" + k).equals(h.get(k))) {
                    missing++;
                }
            }
            c.eq(new Integer(0), new Integer(missing), "keys walked that get does not find");
        }
    }

    // Four threads push, insert, pop, remove, trim and walk one stack; it is replaced by a new
    // small one now and then, so that it often has to grow.
    static void vectorsAndStacks() throws Exception {
        final t.util.Stack[] holder = {new t.util.Stack()};
        race("a stack used by four threads", 4, 30000, new Body() {
            public void run(int id, int r) {
                t.util.Stack s = holder[0];
                Integer x = new Integer(r % 50);
                switch ((id * 3 + r) % 12) {
                    case 0: s.push(x); break;
                    case 1: s.addElement(x); break;
                    case 2: s.insertElementAt(x, 0); break;
                    case 3: s.pop(); break;
                    case 4: s.removeElement(x); break;
                    case 5: s.search(x); s.lastIndexOf(x); s.indexOf(x); break;
                    case 6:
                        if (r % 40 == 6) {
                            s.trimToSize();
                        }
                        break;
                    case 7:
                        if (s.size() > 200) {
                            s.setSize(r % 4);
                        }
                        break;
                    case 8:
                        for (t.util.Enumeration e = s.elements(); e.hasMoreElements();) {
                            e.nextElement();
                        }
                        break;
                    case 9: s.toString(); s.clone(); break;
                    case 10: s.peek(); s.lastElement(); break;
                    default:
                        if (s.size() > 40) {
                            holder[0] = new t.util.Stack();
                        } else if (r % 20 == 11) {
                            s.removeAllElements();
                        }
                        break;
                }
            }
        }, new Class[] {t.util.EmptyStackException.class, t.util.NoSuchElementException.class});
    }

    // What the racing below must keep: members counted when alive, listed in order, left and
    // destroyed groups gone.
    static void threadGroupMembers() {
        t.lang.ThreadGroup g = t.lang.GroupAccess.system();
        Thread idle = new Thread();
        Thread me = Thread.currentThread();
        Thread other = new Thread();
        t.lang.GroupAccess.add(g, idle);
        t.lang.GroupAccess.add(g, me);
        t.lang.GroupAccess.add(g, other);
        Thread[] list = new Thread[4];
        c.eq("1 1", g.activeCount() + " " + g.enumerate(list), "a group of one live thread and two never started");
        c.ok(list[0] == me, "the live thread is listed");
        t.lang.GroupAccess.remove(g, me);
        t.lang.ThreadGroup child = new t.lang.ThreadGroup(g, "child");
        t.lang.GroupAccess.add(child, me);
        t.lang.ThreadGroup[] groups = new t.lang.ThreadGroup[2];
        c.eq("1 1 1", g.activeCount() + " " + g.activeGroupCount() + " " + g.enumerate(groups), "the live thread moved to a child group");
        c.ok(groups[0] == child && g.enumerate(list, false) == 0, "the child is listed, and no thread of the parent's own");
        t.lang.GroupAccess.remove(child, me);
        child.destroy();
        c.eq("0 0 true", g.activeCount() + " " + g.activeGroupCount() + " " + child.isDestroyed(), "the child destroyed");
        t.lang.GroupAccess.remove(g, idle);
        t.lang.GroupAccess.remove(g, other);
        t.lang.GroupAccess.remove(g, other);
        c.eq(new Integer(0), new Integer(g.enumerate(list)), "every thread left");
    }

    // Threads join and leave one group, and groups are made and destroyed under it, while
    // other threads count and list the members.
    static void threadGroups() throws Exception {
        final t.lang.ThreadGroup top = t.lang.GroupAccess.system();
        final Thread[][] made = new Thread[4][16];
        for (int i = 0; i < 4; i++) {
            for (int k = 0; k < 16; k++) {
                made[i][k] = new Thread();
            }
        }
        race("a thread group joined, left and counted by six threads", 6, 8000, new Body() {
            public void run(int id, int r) {
                if (id < 4) {
                    Thread member = made[id][r % 16];
                    if ((r / 16) % 2 == 0) {
                        t.lang.GroupAccess.add(top, member);
                    } else {
                        t.lang.GroupAccess.remove(top, member);
                    }
                    return;
                }
                if (id == 4 && r % 10 == 0) {
                    t.lang.ThreadGroup g = new t.lang.ThreadGroup(top, "g" + r);
                    g.destroy();
                    return;
                }
                top.activeCount();
                top.activeGroupCount();
                top.enumerate(new Thread[8]);
                top.enumerate(new t.lang.ThreadGroup[4]);
            }
        }, NONE);
    }

    // Writers racing on the library's buffered streams and writers, and a print racing a close.
    // The growing buffers are replaced by new small ones now and then, so that they often have
    // to grow.
    static void outputStreamsAndWriters() throws Exception {
        final t.io.ByteArrayOutputStream[] bytes = {new t.io.ByteArrayOutputStream(1)};
        final t.io.CharArrayWriter[] chars = {new t.io.CharArrayWriter(1)};
        final t.io.BufferedOutputStream buffered = new t.io.BufferedOutputStream(new t.io.ByteArrayOutputStream(), 64);
        final t.io.BufferedWriter writer = new t.io.BufferedWriter(new t.io.OutputStreamWriter(new t.io.ByteArrayOutputStream()), 64);
        final byte[] some = "0123456789abcdefghij".getBytes();
        race("byte and char buffers written by four threads", 4, 30000, new Body() {
            public void run(int id, int r) throws Throwable {
                int len = r % 21;
                t.io.ByteArrayOutputStream b = bytes[0];
                t.io.CharArrayWriter w = chars[0];
                b.write(some, 0, len);
                b.write(r);
                w.write("0123456789abcdefghij", 0, len);
                w.write(r);
                switch ((id + r) % 8) {
                    case 0: b.toByteArray(); b.toString(); if (r % 7 == 0) { b.reset(); } break;
                    case 1: if (b.size() > 300) { bytes[0] = new t.io.ByteArrayOutputStream(r % 3); } break;
                    case 2: buffered.write(some, 0, len); break;
                    case 3: buffered.write(r); if (r % 50 == 4) { buffered.flush(); } break;
                    case 4: w.toCharArray(); if (w.size() > 300) { chars[0] = new t.io.CharArrayWriter(r % 3); } break;
                    case 5: writer.write("0123456789abcdefghij", 0, len); break;
                    case 6: writer.write(r); writer.write(new char[] {'x', 'y', 'z'}, 0, r % 4); break;
                    default: if (r % 30 == 9) { writer.flush(); } break;
                }
            }
        }, NONE);
        for (int round = 0; round < 300; round++) {
            final t.io.PrintWriter p = new t.io.PrintWriter(new t.io.CharArrayWriter());
            race("a PrintWriter printing while another thread closes it", 2, 40, new Body() {
                public void run(int id, int r) {
                    if (id == 1 && r == 5) {
                        p.close();
                    }
                    p.println("hello world");
                    p.print('x');
                    p.flush();
                }
            }, NONE);
        }
    }

    // Three threads read one stream of each kind to its end and start it again from the mark.
    static void readersSharedByThreads() throws Exception {
        final byte[] b = new byte[300];
        final char[] a = new char[300];
        for (int i = 0; i < 300; i++) {
            b[i] = (byte) i;
            a[i] = (char) ('a' + i % 26);
        }
        final t.io.ByteArrayInputStream bytes = new t.io.ByteArrayInputStream(b);
        final t.io.CharArrayReader chars = new t.io.CharArrayReader(a);
        final t.io.StringReader text = new t.io.StringReader(new String(a));
        race("byte and char readers shared by three threads", 3, 20000, new Body() {
            public void run(int id, int r) throws Throwable {
                char[] to = new char[7];
                byte[] into = new byte[7];
                switch ((id + r) % 6) {
                    case 0: bytes.read(); bytes.read(into, 0, r % 8); break;
                    case 1: bytes.skip(r % 5); if (bytes.available() == 0) { bytes.reset(); } break;
                    case 2: chars.read(); chars.read(to, 0, r % 8); break;
                    case 3: chars.skip(r % 5); if (!chars.ready()) { chars.reset(); } break;
                    case 4: text.read(); text.read(to, 0, r % 8); break;
                    default: if (text.skip(r % 5) == 0) { text.reset(); } break;
                }
            }
        }, NONE);
    }

    // Four threads read one buffered or push-back stream of each kind, with marks, resets and
    // push-backs, and the last closes them all part way: a closed stream may say so, nothing
    // else may fail.
    static void bufferedReadersSharedByThreads() throws Exception {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; sb.length() < 6000; i++) {
            sb.append("line ").append(i).append(i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n");
        }
        final String text = sb.toString();
        final byte[] bytes = text.getBytes("ISO-8859-1");
        for (int round = 0; round < 20; round++) {
            final t.io.BufferedReader r = new t.io.BufferedReader(new t.io.InputStreamReader(new t.io.ByteArrayInputStream(bytes)), 16);
            final t.io.BufferedInputStream bin = new t.io.BufferedInputStream(new t.io.ByteArrayInputStream(bytes), 16);
            final t.io.PushbackReader pr = new t.io.PushbackReader(new t.io.StringReader(text), 4);
            final t.io.PushbackInputStream pin = new t.io.PushbackInputStream(new t.io.ByteArrayInputStream(bytes), 4);
            boolean ended = race("buffered and push-back readers shared by four threads", 4, 1500, new Body() {
                public void run(int id, int n) throws Throwable {
                    if (id == 3 && n == 1200) {
                        r.close();
                        bin.close();
                        pr.close();
                        pin.close();
                    }
                    char[] cs = new char[9];
                    byte[] bs = new byte[9];
                    switch ((id * 5 + n) % 12) {
                        case 0: r.read(); r.read(); r.read(); r.read(cs, 1, n % 9); break;
                        case 1: r.readLine(); break;
                        case 2: r.skip(n % 7); r.ready(); break;
                        case 3: if (n % 4 == 3) { r.mark(n % 40); } else { r.reset(); } break;
                        case 4: bin.read(); bin.read(); bin.read(); bin.read(bs, 1, n % 9); break;
                        case 5: bin.skip(n % 7); bin.available(); break;
                        case 6: if (n % 4 == 2) { bin.mark(n % 40); } else { bin.reset(); } break;
                        case 7: pr.read(); pr.read(cs, 0, n % 10); break;
                        case 8: pr.unread('u'); pr.unread(cs, 0, n % 3); pr.skip(n % 5); break;
                        case 9: pin.read(); pin.read(bs, 0, n % 10); break;
                        case 10: pin.unread('u'); pin.unread(bs, 0, n % 3); pin.skip(n % 5); break;
                        default: pin.available(); pr.ready(); break;
                    }
                }
            }, new Class[] {t.io.IOException.class});
            if (!ended) {
                return;
            }
        }
    }

    // Two threads read through a small buffer kept for a mark, and two move the mark with read
    // limits on both sides of the buffer's size, so that the buffer grows, shifts or drops the
    // mark while the limit changes under it.
    static void marksMovedWhileBuffersGrow() throws Exception {
        final byte[] bytes = new byte[4000];
        char[] chars = new char[4000];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = (byte) i;
            chars[i] = (char) ('a' + i % 26);
        }
        final String text = new String(chars);
        for (int round = 0; round < 20; round++) {
            final t.io.BufferedInputStream bin = new t.io.BufferedInputStream(new t.io.ByteArrayInputStream(bytes), 4);
            final t.io.BufferedReader r = new t.io.BufferedReader(new t.io.StringReader(text), 4);
            boolean ended = race("marks moved while buffers grow", 4, 3000, new Body() {
                public void run(int id, int n) throws Throwable {
                    byte[] bs = new byte[3];
                    char[] cs = new char[3];
                    int limit = n % 2 == 0 ? 1 : 4 + n % 29;
                    switch (id) {
                        case 0: bin.read(); bin.read(bs, 0, 3); if (bin.available() == 0) { bin.reset(); } break;
                        case 1: r.read(); r.read(cs, 0, 3); if (!r.ready()) { r.reset(); } break;
                        case 2: bin.mark(limit); r.mark(limit); bin.read(); r.read(); break;
                        default: bin.mark(limit ^ 1); r.mark(limit ^ 1); bin.skip(2); r.skip(2); break;
                    }
                }
            }, new Class[] {t.io.IOException.class});
            if (!ended) {
                return;
            }
        }
    }

    // Four threads read one sequence of many short streams, skipping and asking what is
    // available, and one closes it part way: the streams may run out under a thread at any
    // call, and nothing but the end may come of it.
    static void sequencesReadToTheirEnd() throws Exception {
        final byte[] bytes = new byte[5];
        for (int round = 0; round < 200; round++) {
            t.util.Vector parts = new t.util.Vector();
            for (int i = 0; i < 400; i++) {
                parts.addElement(new t.io.ByteArrayInputStream(bytes));
            }
            final t.io.SequenceInputStream in = new t.io.SequenceInputStream(parts.elements());
            final int closeAt = round % 3 == 0 ? 150 : -1;
            boolean ended = race("a sequence of streams read by four threads", 4, 300, new Body() {
                public void run(int id, int n) throws Throwable {
                    byte[] into = new byte[3];
                    if (id == 3 && n == closeAt) {
                        in.close();
                    }
                    switch ((id + n) % 4) {
                        case 0: in.read(); break;
                        case 1: in.read(into, 0, 3); break;
                        case 2: in.available(); break;
                        default: in.skip(2); break;
                    }
                }
            }, new Class[] {t.io.IOException.class});
            if (!ended) {
                return;
            }
        }
    }
}
