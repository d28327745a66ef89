/* Allocates byte arrays of one size after another (16 bytes more each phase), keeping
   about one array per 32 KB of those it makes and dropping the rest; collections reclaim
   the dropped ones. What it keeps stays a small part of the heap limit (the runner gives
   -Xmx8m), and the places between the arrays kept must serve the later sizes: the
   process's resident memory must stay near where it started (read as PhaseSizesBounded
   reads it). */
public class PinnedPhasesBounded {
    public static void main(String[] args) {
        int phases = args.length > 0 ? Integer.parseInt(args[0]) : 20;
        int megabytes = args.length > 1 ? Integer.parseInt(args[1]) : 4;
        Object[][] kept = new Object[phases][];
        long keptBytes = 0;
        System.gc();
        long start = PhaseSizesBounded.residentKb();
        long most = start;
        for (int p = 0; p < phases; p++) {
            int size = 16 + p * 16;
            int every = 32768 / (size + 40);
            int total = megabytes * 1000000 / size;
            kept[p] = new Object[total / every + 1];
            int n = 0;
            for (int i = 0; i < total; i++) {
                byte[] b = new byte[size];
                if (i % every == 0) {
                    kept[p][n++] = b;
                    keptBytes += size;
                }
            }
            long now = PhaseSizesBounded.residentKb();
            if (now > most) most = now;
        }
        long growth = (most - start) / 1024;
        System.out.println(phases + " phases, " + (keptBytes < 4000000 ? "less than 4 MB kept" : keptBytes + " bytes kept"));
        System.out.println(start > 0 && growth < 24 ? "resident memory stayed bounded"
                                                     : "resident memory grew by " + growth + " MB");
    }
}
