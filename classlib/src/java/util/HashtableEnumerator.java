package java.util;

/**
 * Walks a Hashtable's buckets from the last to the first, handing out keys or
 * values. It walks the table the hashtable had when the walk began.
 */
final class HashtableEnumerator implements Enumeration {
    private final HashtableEntry[] table;
    private final boolean keys;
    private int index;
    private HashtableEntry entry;

    HashtableEnumerator(HashtableEntry[] table, boolean keys) {
        this.table = table;
        this.keys = keys;
        this.index = table.length;
    }

    public boolean hasMoreElements() {
        while (entry == null && index > 0) {
            entry = table[--index];
        }
        return entry != null;
    }

    public Object nextElement() {
        if (!hasMoreElements()) {
            throw new NoSuchElementException("Hashtable Enumerator");
        }
        HashtableEntry e = entry;
        entry = e.next;
        return keys ? e.key : e.value;
    }
}
