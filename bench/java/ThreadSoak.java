/* Starts and joins threads for the given seconds, each calling 200 deep and making a
   little garbage, and reports the process's resident size (VmRSS of /proc/self/status)
   at the start and every tenth of the run: a thread that has ended must leave nothing
   behind, so the figure stays flat. Prints "refused N" for starts that failed and
   "failed N" for threads that did not finish their work. */
import java.io.FileInputStream;

public class ThreadSoak {
    static int depth(int n) {
        return n == 0 ? 0 : 1 + depth(n - 1);
    }

    static String residentKb() {
        try {
            FileInputStream in = new FileInputStream("/proc/self/status");
            byte[] buf = new byte[8192];
            int n = 0, r;
            while (n < buf.length && (r = in.read(buf, n, buf.length - n)) > 0) n += r;
            in.close();
            String s = new String(buf, 0, n);
            int at = s.indexOf("VmRSS:");
            if (at < 0) return "?";
            int end = s.indexOf('\n', at);
            return s.substring(at + 6, end < 0 ? s.length() : end).trim();
        } catch (Exception e) {
            return "? (" + e + ")";
        }
    }

    public static void main(String[] args) throws Exception {
        long seconds = args.length > 0 ? Long.parseLong(args[0]) : 120;
        final int[] failed = new int[1];
        int refused = 0;
        long started = 0;
        long t0 = System.currentTimeMillis();
        long end = t0 + seconds * 1000;
        long step = seconds * 100;
        long next = t0;
        int report = 0;
        while (true) {
            long now = System.currentTimeMillis();
            if (now >= next) {
                System.out.println("t=" + (now - t0) / 1000 + "s threads " + started + " resident " + residentKb());
                report++;
                next = t0 + report * step;
            }
            if (now >= end) break;
            Thread t = new Thread() {
                public void run() {
                    try {
                        byte[][] garbage = new byte[4][];
                        for (int k = 0; k < garbage.length; k++) garbage[k] = new byte[200];
                        if (depth(200) != 200) failed[0]++;
                    } catch (Throwable e) {
                        failed[0]++;
                    }
                }
            };
            try {
                t.start();
                t.join();
                started++;
            } catch (Throwable e) {
                refused++;
            }
        }
        System.out.println("threads " + started + ", refused " + refused + ", failed " + failed[0]);
    }
}
