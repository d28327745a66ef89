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
        threadGroups();
        outputStreamsAndWriters();
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
                StackTraceElement[] at = e.getStackTrace();
                c.ok(false, what + " threw " + e + (at.length > 0 ? " at " + at[0] : ""));
            }
            c.eq(new Integer(0), new Integer(thrown.size()), what + ": threads that threw");
        }
        return !hung;
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

    // Appends, inserts, cuts and reads of one buffer from four threads at once.
    static void buffersWrittenByManyThreads() throws Exception {
        final t.lang.StringBuffer sb = new t.lang.StringBuffer(1);
        final int[] bad = new int[1];
        race("a buffer written by four threads", 4, 30000, new Body() {
            public void run(int id, int round) {
                switch ((id + round) % 9) {
                    case 0: sb.append("abc"); break;
                    case 1: sb.append('d'); break;
                    case 2: sb.insert(0, "ef"); break;
                    case 3: sb.insert(0, 'g'); break;
                    case 4: sb.append(new char[] {'h', 'i'}, 0, 2); break;
                    case 5: sb.reverse(); break;
                    case 6:
                        if (sb.length() > 300) {
                            sb.setLength(round % 3);
                        }
                        break;
                    case 7: sb.ensureCapacity(round % 500); break;
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
        }, NONE);
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

    static void vectorsAndStacks() throws Exception {
        final t.util.Stack s = new t.util.Stack();
        race("a stack used by four threads", 4, 20000, new Body() {
            public void run(int id, int r) {
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
                        if (r % 20 == 11) {
                            s.removeAllElements();
                        }
                        break;
                }
            }
        }, new Class[] {t.util.EmptyStackException.class, t.util.NoSuchElementException.class});
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
    static void outputStreamsAndWriters() throws Exception {
        final t.io.ByteArrayOutputStream bytes = new t.io.ByteArrayOutputStream(1);
        final t.io.BufferedOutputStream buffered = new t.io.BufferedOutputStream(new t.io.ByteArrayOutputStream(), 64);
        final t.io.CharArrayWriter chars = new t.io.CharArrayWriter(1);
        final t.io.BufferedWriter writer = new t.io.BufferedWriter(new t.io.OutputStreamWriter(new t.io.ByteArrayOutputStream()), 64);
        final byte[] some = "0123456789abcdefghij".getBytes();
        race("byte and char buffers written by four threads", 4, 20000, new Body() {
            public void run(int id, int r) throws Throwable {
                int len = r % 21;
                switch ((id + r) % 10) {
                    case 0: bytes.write(some, 0, len); break;
                    case 1: bytes.write(r); if (bytes.size() > 5000) { bytes.reset(); } break;
                    case 2: bytes.toByteArray(); bytes.toString(); break;
                    case 3: buffered.write(some, 0, len); break;
                    case 4: buffered.write(r); if (r % 50 == 4) { buffered.flush(); } break;
                    case 5: chars.write("0123456789abcdefghij", 0, len); chars.write(r); break;
                    case 6: chars.toCharArray(); if (chars.size() > 5000) { chars.reset(); } break;
                    case 7: writer.write("0123456789abcdefghij", 0, len); break;
                    case 8: writer.write(r); writer.write(new char[] {'x', 'y', 'z'}, 0, r % 4); break;
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
}
