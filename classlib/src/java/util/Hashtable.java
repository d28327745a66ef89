package java.util;

import java.io.Serializable;

/**
 * A hash table from keys to values. Neither keys nor values may be null.
 * Keys are compared with equals and placed by hashCode.
 *
 * put is declared here, in a superclass of Properties, because the machine
 * looks it up on Properties through the class chain when it fills the system
 * properties.
 */
public class Hashtable extends Dictionary implements Cloneable, Serializable {
    // The version other writers give this class, so that their streams and ours agree.
    private static final long serialVersionUID = 1421746759512286392L;

    private static final int DEFAULT_CAPACITY = 101;
    private static final float DEFAULT_LOAD_FACTOR = 0.75f;

    // Stored with the table: a table read back from storage has its entries, but at the
    // places their keys' hash codes had before (an identity hash changes on the way), so
    // it puts every entry in its place again before its first use.
    private HashtableEntry[] table;
    private int count;
    private int threshold;
    private float loadFactor;
    // Set by every constructor; false in a table read back from storage.
    private transient boolean placed;

    /**
     * A table of the given capacity that grows when it holds more than
     * capacity * loadFactor entries.
     */
    public Hashtable(int initialCapacity, float loadFactor) {
        if (initialCapacity < 0) {
            throw new IllegalArgumentException("Illegal Capacity: " + initialCapacity);
        }
        if (!(loadFactor > 0.0f)) {
            throw new IllegalArgumentException("Illegal Load factor: " + loadFactor);
        }
        if (initialCapacity == 0) {
            initialCapacity = 1;
        }
        this.loadFactor = loadFactor;
        table = new HashtableEntry[initialCapacity];
        threshold = thresholdFor(initialCapacity);
        placed = true;
    }

    /** The table, with every entry at the place of its key's hash code. */
    private HashtableEntry[] placedTable() {
        if (!placed) {
            HashtableEntry[] old = table;
            int capacity = old == null || old.length == 0 ? 1 : old.length;
            HashtableEntry[] tab = new HashtableEntry[capacity];
            int n = 0;
            for (int i = old == null ? 0 : old.length; i-- > 0;) {
                for (HashtableEntry e = old[i]; e != null; e = e.next) {
                    int hash = e.key.hashCode();
                    int index = indexFor(hash, capacity);
                    tab[index] = new HashtableEntry(hash, e.key, e.value, tab[index]);
                    n++;
                }
            }
            table = tab;
            count = n;
            if (threshold <= 0) {
                threshold = thresholdFor(capacity);
            }
            placed = true;
        }
        return table;
    }

    public Hashtable(int initialCapacity) {
        this(initialCapacity, DEFAULT_LOAD_FACTOR);
    }

    public Hashtable() {
        this(DEFAULT_CAPACITY, DEFAULT_LOAD_FACTOR);
    }

    private int thresholdFor(int capacity) {
        float t = capacity * loadFactor;
        if (t >= Integer.MAX_VALUE) {
            return Integer.MAX_VALUE;
        }
        return (int) t;
    }

    private static int indexFor(int hash, int length) {
        return (hash & 0x7FFFFFFF) % length;
    }

    // Racing puts and removes may lose updates of the count; it never shows below zero.
    public int size() {
        int n = count;
        return n < 0 ? 0 : n;
    }

    public boolean isEmpty() {
        return count <= 0;
    }

    public synchronized Enumeration keys() {
        return new HashtableEnumerator(placedTable(), true);
    }

    public synchronized Enumeration elements() {
        return new HashtableEnumerator(placedTable(), false);
    }

    /** Whether some key maps to a value equal to value. */
    public synchronized boolean contains(Object value) {
        if (value == null) {
            throw new NullPointerException();
        }
        HashtableEntry[] tab = placedTable();
        for (int i = tab.length; i-- > 0;) {
            for (HashtableEntry e = tab[i]; e != null; e = e.next) {
                if (e.value.equals(value)) {
                    return true;
                }
            }
        }
        return false;
    }

    public synchronized boolean containsKey(Object key) {
        return find(key) != null;
    }

    private HashtableEntry find(Object key) {
        int hash = key.hashCode();
        HashtableEntry[] tab = placedTable();
        for (HashtableEntry e = tab[indexFor(hash, tab.length)]; e != null; e = e.next) {
            if (e.hash == hash && e.key.equals(key)) {
                return e;
            }
        }
        return null;
    }

    public synchronized Object get(Object key) {
        HashtableEntry e = find(key);
        return e == null ? null : e.value;
    }

    /**
     * Puts a copy of every entry into a table about twice as large. The machine's monitors take
     * no lock, so other threads may be walking, or rehashing, the old chains meanwhile: they are
     * left exactly as they were, where relinking them would send a walker into the wrong bucket
     * or two rehashing threads round a cycle. A change racing this one may be lost.
     */
    protected void rehash() {
        HashtableEntry[] old = placedTable();
        int oldCapacity = old.length;
        int newCapacity = oldCapacity * 2 + 1;
        if (newCapacity < 0) {
            newCapacity = Integer.MAX_VALUE;
        }
        if (newCapacity <= oldCapacity) {
            return;
        }
        HashtableEntry[] tab = new HashtableEntry[newCapacity];
        for (int i = oldCapacity; i-- > 0;) {
            for (HashtableEntry e = old[i]; e != null; e = e.next) {
                int index = indexFor(e.hash, newCapacity);
                tab[index] = new HashtableEntry(e.hash, e.key, e.value, tab[index]);
            }
        }
        table = tab;
        threshold = thresholdFor(newCapacity);
    }

    public synchronized Object put(Object key, Object value) {
        if (value == null) {
            throw new NullPointerException();
        }
        int hash = key.hashCode();
        HashtableEntry[] tab = placedTable();
        int index = indexFor(hash, tab.length);
        for (HashtableEntry e = tab[index]; e != null; e = e.next) {
            if (e.hash == hash && e.key.equals(key)) {
                Object old = e.value;
                e.value = value;
                return old;
            }
        }
        if (count >= threshold) {
            rehash();
            tab = table;
            index = indexFor(hash, tab.length);
        }
        tab[index] = new HashtableEntry(hash, key, value, tab[index]);
        count++;
        return null;
    }

    public synchronized Object remove(Object key) {
        int hash = key.hashCode();
        HashtableEntry[] tab = placedTable();
        int index = indexFor(hash, tab.length);
        HashtableEntry prev = null;
        for (HashtableEntry e = tab[index]; e != null; e = e.next) {
            if (e.hash == hash && e.key.equals(key)) {
                if (prev == null) {
                    tab[index] = e.next;
                } else {
                    prev.next = e.next;
                }
                count--;
                return e.value;
            }
            prev = e;
        }
        return null;
    }

    public synchronized void clear() {
        HashtableEntry[] tab = placedTable();
        for (int i = tab.length; --i >= 0;) {
            tab[i] = null;
        }
        count = 0;
    }

    /** A copy of the table; the keys and values themselves are shared. */
    public synchronized Object clone() {
        try {
            Hashtable t = (Hashtable) super.clone();
            HashtableEntry[] old = placedTable();
            HashtableEntry[] tab = new HashtableEntry[old.length];
            int n = 0;
            for (int i = old.length; i-- > 0;) {
                HashtableEntry e = old[i];
                if (e != null) {
                    tab[i] = e.copyChain();
                    for (; e != null; e = e.next) {
                        n++;
                    }
                }
            }
            t.table = tab;
            t.count = n;
            return t;
        } catch (CloneNotSupportedException e) {
            throw new InternalError();
        }
    }

    /** The entries as "{key1=value1, key2=value2}", in enumeration order. */
    public synchronized String toString() {
        StringBuffer buf = new StringBuffer();
        buf.append('{');
        HashtableEntry[] tab = placedTable();
        boolean first = true;
        for (int i = tab.length; i-- > 0;) {
            for (HashtableEntry e = tab[i]; e != null; e = e.next) {
                if (!first) {
                    buf.append(", ");
                }
                first = false;
                buf.append(e.key == this ? "(this Hashtable)" : String.valueOf(e.key));
                buf.append('=');
                buf.append(e.value == this ? "(this Hashtable)" : String.valueOf(e.value));
            }
        }
        buf.append('}');
        return buf.toString();
    }
}
