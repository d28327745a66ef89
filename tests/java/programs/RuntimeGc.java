/* Runtime's memory figures and collection requests. */
public class RuntimeGc {
    public static void main(String[] args) {
        Runtime rt = Runtime.getRuntime();
        long total = rt.totalMemory();
        long free = rt.freeMemory();
        System.out.println((total > 0) + " " + (free >= 0) + " " + (free <= total));
        byte[] keep = null;
        for (int i = 0; i < 10; i++) {
            keep = new byte[100000];
        }
        rt.gc();
        System.gc();
        rt.runFinalization();
        System.runFinalization();
        System.out.println("gc done " + (rt.freeMemory() <= rt.totalMemory()) + " " + keep.length);
    }
}
