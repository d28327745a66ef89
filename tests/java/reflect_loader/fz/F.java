package fz;

/* Instances whose finalizer runs Java code (a StringBuffer, a count) and notes how many
   have run in the machine's properties under the tag of the call that made them, where
   the count outlives the loader's classes. */
public class F {
    static int finalized;
    static String key;
    static StringBuffer log = new StringBuffer();
    int[] data = new int[16];

    static synchronized void note() {
        finalized++;
        System.getProperties().put(key, String.valueOf(finalized));
    }

    protected void finalize() {
        log.append('f');
        if (log.length() > 1000) log.setLength(0);
        note();
    }

    /* 40 instances left for the collector. */
    public static int make(int tag) {
        key = "fz.F.finalized." + tag;
        for (int i = 0; i < 40; i++) new F();
        return 40;
    }
}
