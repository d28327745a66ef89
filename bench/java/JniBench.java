/* Calls across the native interface, the same class files on either machine: nativeLoop
   calls a trivial native n times from Java; callBack is a native that calls the trivial
   Java method back n times through CallStaticIntMethod; javaLoop is nativeLoop with a
   Java callee, the cost of the loop and of an interpreted call. main (the reference
   machine) prints per operation the milliseconds of the best of three runs and the
   checksum: "name ms checksum". */
public class JniBench {
    static native int nop(int x);
    static native int callBack(int n);

    static int trivial(int x) {
        return x + 1;
    }

    public static int nativeLoop(int n) {
        int s = 0;
        for (int i = 0; i < n; i++) s += nop(i);
        return s;
    }

    public static int javaLoop(int n) {
        int s = 0;
        for (int i = 0; i < n; i++) s += trivial(i);
        return s;
    }

    public static int callBackLoop(int n) {
        return callBack(n);
    }

    public static void main(String[] args) {
        System.loadLibrary("benchjni64");
        int n = Integer.parseInt(args[0]);
        String[] names = {"nativeLoop", "callBack", "javaLoop"};
        for (int w = 0; w < names.length; w++) {
            long best = Long.MAX_VALUE;
            int result = 0;
            for (int r = 0; r < 3; r++) {
                long t0 = System.currentTimeMillis();
                result = w == 0 ? nativeLoop(n) : w == 1 ? callBackLoop(n) : javaLoop(n);
                long t = System.currentTimeMillis() - t0;
                if (t < best) best = t;
            }
            System.out.println(names[w] + " " + best + " " + result);
        }
    }
}
