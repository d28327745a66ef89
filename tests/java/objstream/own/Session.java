package objstream.own;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.ObjectStreamClass;
import java.io.Serializable;

/* A session's classes, loaded only by a host loader of their own: the tests drop that
   loader after its classes went through the object streams. Base declares no serial
   version (its default is worked out). */
public class Session {
    static class Base implements Serializable {
        int a;

        Base(int a) {
            this.a = a;
        }
    }

    static class Leaf extends Base {
        static final long serialVersionUID = 7L;
        String s;

        Leaf(int a, String s) {
            super(a);
            this.s = s;
        }
    }

    /* One stream of Base's description, a Base, a Leaf and a Base: how often each class's
       name is written in it, then what is read back. */
    public static String trip() throws Exception {
        ObjectStreamClass described = ObjectStreamClass.lookup(Base.class);
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        ObjectOutputStream out = new ObjectOutputStream(bytes);
        out.writeObject(described);
        out.writeObject(new Base(1));
        out.writeObject(new Leaf(2, "x"));
        out.writeObject(new Base(3));
        out.close();
        String text = new String(bytes.toByteArray(), "ISO-8859-1");
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(bytes.toByteArray()));
        ObjectStreamClass back = (ObjectStreamClass) in.readObject();
        Base first = (Base) in.readObject();
        Leaf leaf = (Leaf) in.readObject();
        Base last = (Base) in.readObject();
        return "Base " + count(text, Base.class.getName()) + ", Leaf " + count(text, Leaf.class.getName()) + "; "
                + (back.getSerialVersionUID() == described.getSerialVersionUID()) + " " + first.a + " " + leaf.a
                + leaf.s + " " + last.a;
    }

    /* A Base and a Leaf made and read as trip makes them, but with no stream: the
       loader's classes are used and never described. */
    public static String plain() {
        Base first = new Base(1);
        Leaf leaf = new Leaf(2, "x");
        return first.a + " " + leaf.a + leaf.s;
    }

    /* Threads describe the session's classes at once, then a stream carries them: each
       class (an array of one included) must be one description for every thread, for
       the stream and for look-ups after it, the loser of a race handed the winner's.
       Answers "same", or the first class whose descriptions differ. */
    public static String describedOnce(int threads) throws Exception {
        final Class[] classes = {Base.class, Leaf.class, Leaf[].class, Base[][].class};
        final ObjectStreamClass[][] seen = new ObjectStreamClass[threads][classes.length];
        final boolean[] go = new boolean[1];
        Thread[] started = new Thread[threads];
        for (int t = 0; t < threads; t++) {
            final ObjectStreamClass[] mine = seen[t];
            started[t] = new Thread() {
                public void run() {
                    while (!go[0]) {
                        Thread.yield();
                    }
                    for (int i = 0; i < classes.length; i++) {
                        mine[i] = ObjectStreamClass.lookup(classes[i]);
                    }
                }
            };
            started[t].start();
        }
        go[0] = true;
        for (int t = 0; t < threads; t++) {
            started[t].join();
        }
        trip();
        for (int i = 0; i < classes.length; i++) {
            ObjectStreamClass first = seen[0][i];
            for (int t = 1; t < threads; t++) {
                if (seen[t][i] != first) {
                    return classes[i].getName() + " differs between threads";
                }
            }
            if (first == null || ObjectStreamClass.lookup(classes[i]) != first) {
                return classes[i].getName() + " described again after a stream";
            }
        }
        return "same";
    }

    /* A stream left open between two calls of the host, which tries a drop of the loader
       in between: the stream names the loader's classes, so the drop is refused, but it
       may empty the loader's descriptions meanwhile. */
    private static ByteArrayOutputStream openBytes;
    private static ObjectOutputStream open;

    public static String begin() throws Exception {
        openBytes = new ByteArrayOutputStream();
        open = new ObjectOutputStream(openBytes);
        open.writeObject(new Base(1));
        return "begun";
    }

    /* The rest of the stream begun: a Leaf, whose superclass the stream already named,
       and a Base; as trip, how often each class's name is written, then what is read. */
    public static String finish() throws Exception {
        open.writeObject(new Leaf(2, "x"));
        open.writeObject(new Base(3));
        open.close();
        byte[] written = openBytes.toByteArray();
        open = null;
        openBytes = null;
        String text = new String(written, "ISO-8859-1");
        ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(written));
        Base first = (Base) in.readObject();
        Leaf leaf = (Leaf) in.readObject();
        Base last = (Base) in.readObject();
        return "Base " + count(text, Base.class.getName()) + ", Leaf " + count(text, Leaf.class.getName()) + "; "
                + first.a + " " + leaf.a + leaf.s + " " + last.a;
    }

    /* Describes Base and Leaf, then looks them up again: "same" when each look-up hands
       back the description the first made (host threads call this for loaders of their
       own at once, each loader's first description racing the others' into the list). */
    public static String describedAgain() {
        ObjectStreamClass base = ObjectStreamClass.lookup(Base.class);
        ObjectStreamClass leaf = ObjectStreamClass.lookup(Leaf.class);
        if (ObjectStreamClass.lookup(Base.class) != base) {
            return "Base described again";
        }
        return ObjectStreamClass.lookup(Leaf.class) == leaf ? "same" : "Leaf described again";
    }

    private static int count(String text, String name) {
        int n = 0;
        for (int at = text.indexOf(name); at >= 0; at = text.indexOf(name, at + 1)) {
            n++;
        }
        return n;
    }
}
