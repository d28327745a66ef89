import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.Serializable;

/* The object streams' speed: a list of small objects (an int, a long, a string, a shared
   object and an int array each) written and read back, rounds times. Run on the machine
   and on java -Xint over the same class files; it prints the stream's size and a check
   sum, which must agree. Arguments: objects per graph, rounds. */
public class ObjectStreamBench {
    static class Item implements Serializable {
        int id;
        long stamp;
        String name;
        Item next;
        Object shared;
        int[] values;
    }

    public static void main(String[] args) throws Exception {
        int n = args.length > 0 ? Integer.parseInt(args[0]) : 20000;
        int rounds = args.length > 1 ? Integer.parseInt(args[1]) : 3;
        Object shared = "shared";
        final Item[] all = new Item[n];
        for (int i = 0; i < n; i++) {
            Item it = new Item();
            it.id = i;
            it.stamp = i * 1000003L;
            it.name = "item" + (i % 100);
            it.shared = shared;
            it.values = new int[] {i, -i, i * 7};
            // Each points at the one before: shared references, not nesting.
            it.next = i > 0 ? all[i - 1] : null;
            all[i] = it;
        }
        long sum = 0;
        int size = 0;
        for (int r = 0; r < rounds; r++) {
            ByteArrayOutputStream bytes = new ByteArrayOutputStream();
            ObjectOutputStream out = new ObjectOutputStream(bytes);
            // From the first item on, each link is a back reference: no deep nesting.
            out.writeObject(all);
            out.flush();
            byte[] b = bytes.toByteArray();
            size = b.length;
            Item[] back = (Item[]) new ObjectInputStream(new ByteArrayInputStream(b)).readObject();
            for (int i = 0; i < back.length; i++) {
                sum += back[i].id + back[i].stamp + back[i].values[2] + back[i].name.length()
                        + (back[i].next != null ? back[i].next.id : 0);
            }
        }
        System.out.println(size + " bytes, check " + sum);
    }
}
