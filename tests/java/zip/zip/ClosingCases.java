package zip;

import java.io.IOException;
import java.io.InputStream;
import java.util.Vector;
import java.util.zip.ZipEntry;
import java.util.zip.ZipFile;

/** A ZipFile closed by one thread while others open and read its entries. */
public class ClosingCases {
    /**
     * getInputStream asks the entry for its name once it has found the archive open; this
     * entry's first answer waits for another thread to close the archive. What the open
     * then raises, as "class: message", or "opened".
     */
    public static String openWhileClosing(String path) throws IOException {
        final ZipFile zip = new ZipFile(path);
        ZipEntry entry = new ZipEntry("stored.bin") {
            private boolean asked;

            public String getName() {
                if (!asked) {
                    asked = true;
                    Thread closer = new Thread() {
                        public void run() {
                            try {
                                zip.close();
                            } catch (IOException e) {
                            }
                        }
                    };
                    closer.start();
                    try {
                        closer.join();
                    } catch (InterruptedException e) {
                    }
                }
                return super.getName();
            }
        };
        try {
            zip.getInputStream(entry).close();
            return "opened";
        } catch (Exception e) {
            return e.toString();
        }
    }

    /**
     * Each round, readers of a stored and a deflated entry open and read them over and over
     * while the main thread closes the archive (once each has read once). Every exception
     * they met, as "class: message", each text once. Each reader writes only its own slots:
     * synchronized excludes nothing on this machine, and wait(ms) only wakes the check.
     */
    public static String[] readWhileClosing(String path, int rounds) throws Exception {
        final String[] names = {"stored.bin", "text/big.txt"};
        final Object started = new Object();
        Vector seen = new Vector();
        for (int round = 0; round < rounds; round++) {
            final ZipFile zip = new ZipFile(path);
            final boolean[] reading = new boolean[4];
            final String[] met = new String[reading.length];
            Thread[] readers = new Thread[reading.length];
            for (int t = 0; t < readers.length; t++) {
                final int me = t;
                readers[t] = new Thread() {
                    public void run() {
                        byte[] b = new byte[1 + 97 * me];
                        try {
                            for (;;) {
                                InputStream in = zip.getInputStream(zip.getEntry(names[me % 2]));
                                while (in.read(b, 0, b.length) >= 0) {
                                    if (!reading[me]) {
                                        reading[me] = true;
                                        synchronized (started) {
                                            started.notifyAll();
                                        }
                                    }
                                }
                                in.close();
                            }
                        } catch (Throwable e) {
                            met[me] = e.toString();
                            reading[me] = true;
                            synchronized (started) {
                                started.notifyAll();
                            }
                        }
                    }
                };
                readers[t].start();
            }
            for (int t = 0; t < readers.length; t++) {
                while (!reading[t]) {
                    synchronized (started) {
                        started.wait(50);
                    }
                }
            }
            zip.close();
            for (int t = 0; t < readers.length; t++) {
                readers[t].join();
                if (met[t] != null && !seen.contains(met[t])) {
                    seen.addElement(met[t]);
                }
            }
        }
        String[] texts = new String[seen.size()];
        seen.copyInto(texts);
        return texts;
    }
}
