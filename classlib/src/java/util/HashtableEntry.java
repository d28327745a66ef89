package java.util;

/** One key-value pair of a Hashtable's bucket chain. */
final class HashtableEntry implements java.io.Serializable {
    final int hash;
    final Object key;
    Object value;
    HashtableEntry next;

    HashtableEntry(int hash, Object key, Object value, HashtableEntry next) {
        this.hash = hash;
        this.key = key;
        this.value = value;
        this.next = next;
    }

    /** A copy of this chain; keys and values are shared, not cloned. */
    HashtableEntry copyChain() {
        HashtableEntry head = new HashtableEntry(hash, key, value, null);
        HashtableEntry tail = head;
        for (HashtableEntry e = next; e != null; e = e.next) {
            HashtableEntry c = new HashtableEntry(e.hash, e.key, e.value, null);
            tail.next = c;
            tail = c;
        }
        return head;
    }
}
