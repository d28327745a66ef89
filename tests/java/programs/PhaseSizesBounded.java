/* Fills the heap with byte arrays of one size until it is full or 3 MB of them are made,
   drops them, collects, and goes on with the next size, from 8 bytes to 12 KB. What it
   holds never exceeds the heap limit (the runner gives -Xmx8m), so the process's resident
   memory must stay near where it started, whatever the sizes were. */
public class PhaseSizesBounded {
    static long residentKb() {
        try {
            java.io.BufferedReader r = new java.io.BufferedReader(
                new java.io.InputStreamReader(new java.io.FileInputStream("/proc/self/status")));
            try {
                String line;
                while ((line = r.readLine()) != null)
                    if (line.startsWith("VmRSS:"))
                        return Long.parseLong(line.substring(6, line.length() - 2).trim());
            } finally {
                r.close();
            }
        } catch (java.io.IOException e) {
        }
        return -1;
    }

    public static void main(String[] args) {
        System.gc(); // every class the phases use is loaded before the heap first fills
        long start = residentKb();
        long most = start;
        int phases = 0, filled = 0;
        for (int size = 8; size <= 12000; size = size < 512 ? size + 24 : size + size / 4) {
            Object[] held = new Object[3000000 / size + 1];
            int made = 0;
            try {
                while (made < held.length) held[made++] = new byte[size];
            } catch (OutOfMemoryError e) {
                filled++;
            }
            held = null;
            System.gc();
            long now = residentKb();
            if (now > most) most = now;
            phases++;
        }
        long growth = (most - start) / 1024;
        System.out.println(phases + " phases, " + (filled > 0 ? "some" : "none") + " filled the heap");
        System.out.println(start > 0 && growth < 48 ? "resident memory stayed bounded"
                                                     : "resident memory grew by " + growth + " MB");
    }
}
