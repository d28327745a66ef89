/* Runs InterpBench's workloads on the reference machine and prints, per workload, the
   milliseconds of the best of five runs and the checksum: "name ms checksum". */
public class InterpBenchMain {
    public static void main(String[] args) {
        int scale = args.length > 0 ? Integer.parseInt(args[0]) : 1;
        String[] names = {"intLoop", "fib", "calls", "fields", "intLoopLong"};
        for (int w = 0; w < names.length; w++) {
            long best = Long.MAX_VALUE;
            int result = 0;
            for (int r = 0; r < 5; r++) {
                long t0 = System.currentTimeMillis();
                result = run(w, scale);
                long t = System.currentTimeMillis() - t0;
                if (t < best) best = t;
            }
            System.out.println(names[w] + " " + best + " " + result);
        }
    }

    static int run(int w, int scale) {
        switch (w) {
            case 0: return InterpBench.intLoop(100000000 / scale);
            case 1: return InterpBench.fib(30);
            case 2: return InterpBench.calls(10000000 / scale);
            case 3: return InterpBench.fields(20000000 / scale);
            default: return InterpBench.intLoopLong(100000000 / scale);
        }
    }
}
