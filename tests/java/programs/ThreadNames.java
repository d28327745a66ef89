/* Threads made with automatic names by many threads at once: every Thread-N is a name of
   its own. */
import java.util.Hashtable;

public class ThreadNames {
    static String[][] names;

    public static void main(String[] args) throws Exception {
        final int makers = 16;
        final int per = 2000;
        names = new String[makers][];
        Thread[] ts = new Thread[makers];
        for (int i = 0; i < makers; i++) {
            final int id = i;
            ts[i] = new Thread("maker-" + i) {
                public void run() {
                    String[] s = new String[per];
                    for (int k = 0; k < per; k++) {
                        s[k] = new Thread().getName();
                    }
                    names[id] = s;
                }
            };
        }
        for (int i = 0; i < makers; i++) ts[i].start();
        for (int i = 0; i < makers; i++) ts[i].join();
        Hashtable seen = new Hashtable();
        int duplicates = 0;
        for (int i = 0; i < makers; i++) {
            for (int k = 0; k < per; k++) {
                if (seen.put(names[i][k], names[i][k]) != null) duplicates++;
            }
        }
        System.out.println(makers * per + " automatic names, duplicates " + duplicates);
    }
}
