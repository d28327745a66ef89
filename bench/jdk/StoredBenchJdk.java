import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;

/* The reference machine's side of the stored-object benchmark: the same graph
   (StoredGraph, from the benchmark's classes) through ObjectOutputStream and
   ObjectInputStream in memory, best of five each way; with "hooked", of items whose class
   has hooks of its own. Prints "name value" lines. */
public class StoredBenchJdk {
    public static void main(String[] args) throws Exception {
        int n = Integer.parseInt(args[0]);
        boolean hooked = args.length > 1 && args[1].equals("hooked");
        Object[] graph = StoredGraph.build(n, hooked);
        byte[] bytes = null;
        long bestWrite = Long.MAX_VALUE;
        for (int run = 0; run < 5; run++) {
            long start = System.nanoTime();
            ByteArrayOutputStream buffer = new ByteArrayOutputStream();
            ObjectOutputStream out = new ObjectOutputStream(buffer);
            out.writeObject(graph);
            out.close();
            bytes = buffer.toByteArray();
            bestWrite = Math.min(bestWrite, System.nanoTime() - start);
        }
        long bestRead = Long.MAX_VALUE;
        long check = 0;
        for (int run = 0; run < 5; run++) {
            long start = System.nanoTime();
            ObjectInputStream in = new ObjectInputStream(new ByteArrayInputStream(bytes));
            Object[] back = (Object[]) in.readObject();
            bestRead = Math.min(bestRead, System.nanoTime() - start);
            check = StoredGraph.check(back);
        }
        System.out.println("write_ns " + bestWrite);
        System.out.println("read_ns " + bestRead);
        System.out.println("bytes " + bytes.length);
        System.out.println("check " + check);
        System.out.println("original " + StoredGraph.check(graph));
    }
}
