package java.util;

import java.io.IOException;
import java.io.ObjectInputStream;
import java.io.ObjectOutputStream;
import java.io.Serializable;
import java.io.StreamCorruptedException;

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

    // The capacity other writers give a default table: it is written, and it places the
    // entries, whose order is written too.
    private static final int DEFAULT_CAPACITY = 11;
    private static final float DEFAULT_LOAD_FACTOR = 0.75f;
    private static final int MOST_READ_CAPACITY = 1 << 20;

    // The entries are written by writeObject, not as fields, in the layout other writers
    // use: capacity, count, then each key and its value.
    private transient HashtableEntry[] table;
    private transient int count;
    private int threshold;
    private float loadFactor;
    // Set by every constructor and by readObject; false in a table made without either
    // (its entries, if any, are then put in their places again before its first use).
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

    /**
     * Writes the load factor and threshold, then as block data the capacity and the
     * count, then each key and its value: buckets from the last to the first, each chain
     * from its end, so that a reader putting them in that order rebuilds every chain as
     * it was.
     */
    private synchronized void writeObject(ObjectOutputStream out) throws IOException {
        HashtableEntry[] tab = placedTable();
        out.defaultWriteObject();
        out.writeInt(tab.length);
        out.writeInt(count);
        HashtableEntry[] chain = new HashtableEntry[4];
        for (int i = tab.length; i-- > 0;) {
            int n = 0;
            for (HashtableEntry e = tab[i]; e != null; e = e.next) {
                if (n == chain.length) {
                    HashtableEntry[] bigger = new HashtableEntry[n * 2];
                    System.arraycopy(chain, 0, bigger, 0, n);
                    chain = bigger;
                }
                chain[n++] = e;
            }
            while (n-- > 0) {
                out.writeObject(chain[n].key);
                out.writeObject(chain[n].value);
                chain[n] = null;
            }
        }
    }

    /**
     * Reads what writeObject writes, into a table sized for the count read as other
     * readers size it (so that a table read and written again is written alike): about
     * the count over the load factor (taken as 1/4 to 4), odd, no larger than the
     * capacity written unless the count needs more. A stream may claim any count: the
     * table made before the entries arrive is bounded, and grows as they come.
     */
    private void readObject(ObjectInputStream in) throws IOException, ClassNotFoundException {
        in.defaultReadObject();
        if (!(loadFactor > 0.0f) || Float.isInfinite(loadFactor)) {
            throw new StreamCorruptedException("Illegal load factor: " + loadFactor);
        }
        int capacity = in.readInt();
        int n = in.readInt();
        if (n < 0) {
            throw new StreamCorruptedException("Illegal number of entries: " + n);
        }
        float f = loadFactor < 0.25f ? 0.25f : loadFactor > 4.0f ? 4.0f : loadFactor;
        long length = (long) ((n + n / 20) / f) + 3;
        if (length > n && (length & 1) == 0) {
            length--;
        }
        if (capacity > 0 && length > capacity) {
            length = capacity;
        }
        long least = (long) (n / f) + 1;
        if (length < least) {
            length = least;
        }
        if (length > MOST_READ_CAPACITY) {
            length = MOST_READ_CAPACITY;
        }
        table = new HashtableEntry[(int) length];
        float t = length * f;
        threshold = t >= Integer.MAX_VALUE ? Integer.MAX_VALUE : (int) t;
        count = 0;
        placed = true;
        for (int i = 0; i < n; i++) {
            Object key = in.readObject();
            Object value = in.readObject();
            if (key == null || value == null) {
                throw new StreamCorruptedException("null key or value in a Hashtable");
            }
            reconstitute(key, value);
        }
    }

    /* An entry read back: at the head of its chain, as writeObject's order expects. A
       key met twice is a stream no table wrote. Only a count beyond the table made
       for it makes the table grow. */
    private void reconstitute(Object key, Object value) throws StreamCorruptedException {
        int hash = key.hashCode();
        if (count >= threshold && count >= table.length) {
            rehash();
        }
        HashtableEntry[] tab = table;
        int index = indexFor(hash, tab.length);
        for (HashtableEntry e = tab[index]; e != null; e = e.next) {
            if (e.hash == hash && e.key.equals(key)) {
                throw new StreamCorruptedException("a key twice in a Hashtable");
            }
        }
        tab[index] = new HashtableEntry(hash, key, value, tab[index]);
        count++;
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
