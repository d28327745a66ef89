/* The graph both machines store and read back: n small items in an array, each pointing
   at the item before it (so that no writer recurses deeply) and at one of 100 shared
   groups with a label. */
public class StoredGraph {
    public static Object[] build(int n) {
        return build(n, false);
    }

    /* hooked: items whose class writes an int of its own with its hooks. */
    public static Object[] build(int n, boolean hooked) {
        StoredGroup[] groups = new StoredGroup[100];
        for (int i = 0; i < groups.length; i++) {
            groups[i] = new StoredGroup(i, "group " + i);
        }
        Object[] items = new Object[n];
        StoredItem previous = null;
        for (int i = 0; i < n; i++) {
            StoredItem item;
            if (hooked) {
                StoredHookedItem h = new StoredHookedItem();
                h.extra = i * 3 + 1;
                item = h;
            } else {
                item = new StoredItem();
            }
            item.id = i;
            item.stamp = i * 1000003L;
            item.weight = i / 7.0;
            item.group = groups[i % groups.length];
            item.peer = previous;
            items[i] = item;
            previous = item;
        }
        return items;
    }

    /* A sum over the graph that a wrong copy is unlikely to keep. */
    public static long check(Object[] items) {
        long sum = 0;
        for (int i = 0; i < items.length; i++) {
            StoredItem item = (StoredItem) items[i];
            sum = sum * 31 + item.id + item.stamp + (long) item.weight + item.group.code + item.group.label.length();
            if (item.peer != null) {
                sum += item.peer.id;
            }
            if (item instanceof StoredHookedItem) {
                sum += ((StoredHookedItem) item).extra;
            }
        }
        return sum;
    }
}
