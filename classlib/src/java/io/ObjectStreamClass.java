package java.io;

import java.util.Hashtable;

/**
 * The description of a class in an object stream: its name, its serial version, its
 * flags and its serializable fields in the order of the wire. Descriptions of local
 * classes come from lookup; those read from a stream are bound to the local class of the
 * same name, with each stream field matched to the local field by name (slot -1 where the
 * local class lacks it).
 */
public class ObjectStreamClass implements Serializable {
    static final byte SC_WRITE_METHOD = 0x01;
    static final byte SC_SERIALIZABLE = 0x02;
    static final byte SC_EXTERNALIZABLE = 0x04;
    static final byte SC_BLOCK_DATA = 0x08;

    private static final ObjectStreamField[] NO_FIELDS = new ObjectStreamField[0];
    /* The descriptions this machine made, by loader, so that a class is described once
       for its loader and not again by each stream. root[0] is the list of tables: its
       element 0 the loaders' keys (loaderKey), element 1 + i the holder of key i's table
       (an array of one). A table holds pairs, a class then its description, placed by
       classHash in a power of two of pairs. Neither a list nor a table is written once
       published: a thread adds to one by swapping a grown copy in for the one it read, so
       threads share them without a lock, and one that loses a race hands out the
       description that won. A description names its class, so a table would keep a
       host's loader from ever being dropped: the drop empties the loader's holder in each
       machine, the machine's threads stopped, before the collection after which it looks
       for uses of its classes (which frees the descriptions). It empties it for good, the
       holder then holding itself: only such a holder leaves the list when another is
       added, since a holder that is merely empty may be filled by a thread at any time,
       which would then fill one no list holds. No thread is filling the holder of a
       loader whose drop empties it: it would name the loader's class in its frame, and
       the drop would not empty it. The list is searched and copied by natives: a machine
       may keep many loaders. */
    private static final Object[] root = {new Object[] {new int[0]}};

    private String name;
    private long suid;
    private transient Class cl;
    private transient byte flags;
    private transient boolean serializable;
    private transient boolean externalizable;
    /** The local class has its own writeObject (and so, as a rule, readObject). */
    private transient boolean hasWriteHook;
    private transient ObjectStreamField[] fields;
    private transient ObjectStreamClass superDesc;
    /** The description of the local class; this one for a local description. */
    private transient ObjectStreamClass localDesc;
    /** The first superclass of a Serializable local class that is not; null until asked. */
    private transient Class plainSuperclass;
    /** A local description of a class of the system loader, which no drop empties. */
    private transient boolean forGood;

    // The field transfer: primitive fields by slot and type code (the stream's codes),
    // packed in primBytes bytes, then the reference fields by slot.
    transient long[] primIds;
    transient char[] primCodes;
    transient int primBytes;
    transient long[] objIds;

    private ObjectStreamClass() {
    }

    /** The description of a Serializable class; null for any other class. */
    public static ObjectStreamClass lookup(Class c) {
        ObjectStreamClass desc = lookupAny(c, null);
        return desc != null && (desc.serializable || desc.externalizable) ? desc : null;
    }

    /**
     * A description for any class (a class object is written with one): the one its
     * loader's table holds, made on the first use. A stream passes its own table (own, by
     * class) for the classes of loaders a host may drop: a drop may empty the loader's
     * table while the stream runs, and the stream must still name each class and
     * superclass by one description.
     */
    static ObjectStreamClass lookupAny(Class c, Hashtable own) {
        if (c == null) {
            return null;
        }
        ObjectStreamClass desc = described(root, c);
        if (desc != null && (own == null || desc.forGood)) {
            return desc;
        }
        if (own != null) {
            ObjectStreamClass mine = (ObjectStreamClass) own.get(c);
            if (mine != null) {
                return mine;
            }
        }
        if (desc == null) {
            desc = new ObjectStreamClass();
            desc.initLocal(c, null);
            desc = publish(c, desc);
        }
        if (own != null && !desc.forGood) {
            ObjectStreamClass sup = desc.superDesc;
            if (sup != null && !sup.forGood && !fits(sup, own)) {
                // A drop emptied the loader's table after the stream named a superclass:
                // the table's description names another one for it, so the stream gets
                // its own, its superclasses named as the stream named them.
                desc = new ObjectStreamClass();
                desc.initLocal(c, own);
            }
            own.put(c, desc);
            for (ObjectStreamClass d = desc.superDesc; d != null && !d.forGood; d = d.superDesc) {
                if (own.get(d.cl) == null) {
                    own.put(d.cl, d);
                }
            }
        }
        return desc;
    }

    /* Whether sup and each description above it is the one the stream names its class
       by, where it names it already. */
    private static boolean fits(ObjectStreamClass sup, Hashtable own) {
        for (ObjectStreamClass d = sup; d != null && !d.forGood; d = d.superDesc) {
            Object mine = own.get(d.cl);
            if (mine != null && mine != d) {
                return false;
            }
        }
        return true;
    }

    /* Enters desc in its class's loader's table unless a description of the class stands
       there already: the one that stands. */
    private static ObjectStreamClass publish(Class c, ObjectStreamClass desc) {
        int key = loaderKey(c);
        int hash = classHash(c);
        for (;;) {
            Object[] tables = (Object[]) root[0];
            Object[] holder = holder(tables, key);
            Object held = holder == null ? null : holder[0];
            if (holder == null || held == holder) {
                Object[] next = withLoader(tables, key);
                if (next != null) {
                    swap(root, 0, tables, next);
                }
                continue;
            }
            Object[] table = (Object[]) held;
            int cap = table == null ? 0 : table.length / 2;
            int used = 0;
            for (int i = 0; i < cap; i++) {
                Object k = table[2 * i];
                if (k == c) {
                    return (ObjectStreamClass) table[2 * i + 1];
                }
                if (k != null) {
                    used++;
                }
            }
            Object[] grown;
            if (2 * (used + 1) <= cap) {
                grown = new Object[table.length];
                System.arraycopy(table, 0, grown, 0, table.length);
            } else {
                grown = new Object[cap == 0 ? 16 : 4 * cap];
                for (int i = 0; i < cap; i++) {
                    Class k = (Class) table[2 * i];
                    if (k != null) {
                        place(grown, k, classHash(k), table[2 * i + 1]);
                    }
                }
            }
            place(grown, c, hash, desc);
            if (swap(holder, 0, table, grown)) {
                return desc;
            }
        }
    }

    private static void place(Object[] table, Class c, int hash, Object desc) {
        int mask = table.length / 2 - 1;
        int i = hash & mask;
        while (table[2 * i] != null) {
            i = (i + 1) & mask;
        }
        table[2 * i] = c;
        table[2 * i + 1] = desc;
    }

    /* The list with a holder for key added, and without the holders a drop emptied for
       good; null when a drop emptied one while the new list was made (the thread stopped
       at an allocation), the count then no longer that of the arrays made. */
    private static Object[] withLoader(Object[] tables, int key) {
        int live = listed(tables, null, null);
        int[] nextKeys = new int[live + 1];
        Object[] next = new Object[live + 2];
        if (listed(tables, next, nextKeys) != live) {
            return null;
        }
        next[0] = nextKeys;
        nextKeys[live] = key;
        next[1 + live] = new Object[1];
        return next;
    }

    public String getName() {
        return name;
    }

    public long getSerialVersionUID() {
        return suid;
    }

    public Class forClass() {
        return cl;
    }

    public ObjectStreamField[] getFields() {
        ObjectStreamField[] copy = new ObjectStreamField[fields.length];
        System.arraycopy(fields, 0, copy, 0, fields.length);
        return copy;
    }

    public String toString() {
        return name + ": static final long serialVersionUID = " + suid + "L;";
    }

    byte getFlags() {
        return flags;
    }

    boolean isSerializable() {
        return serializable;
    }

    boolean isExternalizable() {
        return externalizable;
    }

    ObjectStreamField[] fieldsOnWire() {
        return fields;
    }

    ObjectStreamClass getSuperDesc() {
        return superDesc;
    }

    ObjectStreamClass getLocalDesc() {
        return localDesc;
    }

    /**
     * The first superclass of this local description's Serializable class that is not
     * Serializable: its no-argument constructor makes an object read from a stream.
     */
    Class firstPlainSuperclass() {
        Class plain = plainSuperclass;
        if (plain == null) {
            plain = cl.getSuperclass();
            while (plain != null && isSerializable(plain)) {
                plain = plain.getSuperclass();
            }
            plainSuperclass = plain;
        }
        return plain;
    }

    /** The stream said the class wrote data of its own. */
    boolean wroteData() {
        return (flags & SC_WRITE_METHOD) != 0 || ((flags & SC_EXTERNALIZABLE) != 0 && (flags & SC_BLOCK_DATA) != 0);
    }

    /** The local class has its own writeObject hook. */
    boolean hasWriteHook() {
        return localDesc != null && localDesc.hasWriteHook;
    }

    private static Class serializableClass;
    private static Class externalizableClass;

    private static boolean isSerializable(Class c) {
        if (serializableClass == null) {
            serializableClass = Serializable.class;
        }
        return serializableClass.isAssignableFrom(c);
    }

    private static boolean isExternalizable(Class c) {
        if (externalizableClass == null) {
            externalizableClass = Externalizable.class;
        }
        return externalizableClass.isAssignableFrom(c);
    }

    /* own: the stream's table, when the description is the stream's own (see lookupAny). */
    private void initLocal(Class c, Hashtable own) {
        cl = c;
        forGood = loaderKey(c) == 0;
        name = c.getName();
        localDesc = this;
        fields = NO_FIELDS;
        if (c.isArray()) {
            serializable = true;
            flags = SC_SERIALIZABLE;
        } else if (!c.isPrimitive() && isSerializable(c)) {
            Class sup = c.getSuperclass();
            if (sup != null && isSerializable(sup)) {
                superDesc = lookupAny(sup, own);
            }
            if (isExternalizable(c)) {
                externalizable = true;
                flags = SC_EXTERNALIZABLE | SC_BLOCK_DATA;
            } else {
                serializable = true;
                flags = SC_SERIALIZABLE;
                hasWriteHook = hasWriteObject(c);
                if (hasWriteHook) {
                    flags |= SC_WRITE_METHOD;
                }
                // A string is written as its text: its description has no fields.
                ObjectStreamField[] declared = c == String.class ? null : getFields0(c);
                if (declared != null) {
                    fields = declared;
                    sort(fields);
                }
            }
        }
        if (serializable || externalizable) {
            suid = serialVersion(c);
        }
        primIds = null;
        buildTransfer(fields, null);
    }

    /* The transfer of a field list; slots[i] (when given) replaces field i's own slot. */
    private void buildTransfer(ObjectStreamField[] f, int[] slots) {
        int nprim = 0;
        for (int i = 0; i < f.length; i++) {
            if (f[i].isPrimitive()) {
                nprim++;
            }
        }
        primIds = new long[nprim];
        primCodes = new char[nprim];
        objIds = new long[f.length - nprim];
        int p = 0, o = 0, bytes = 0;
        for (int i = 0; i < f.length; i++) {
            int slot = slots != null ? slots[i] : f[i].offset;
            if (f[i].isPrimitive()) {
                primIds[p] = slot;
                primCodes[p] = f[i].type;
                bytes += width(f[i].type);
                p++;
            } else {
                objIds[o++] = slot;
            }
        }
        primBytes = bytes;
    }

    static int width(char code) {
        switch (code) {
            case 'B':
            case 'Z':
                return 1;
            case 'C':
            case 'S':
                return 2;
            case 'I':
            case 'F':
                return 4;
            case 'J':
            case 'D':
                return 8;
            default:
                return 0;
        }
    }

    /* ---- descriptions read from a stream ---- */

    /** A description as the stream gave it, not yet bound. */
    static ObjectStreamClass fromStream(String name, long suid, byte flags, ObjectStreamField[] fields) {
        ObjectStreamClass desc = new ObjectStreamClass();
        desc.name = name;
        desc.suid = suid;
        desc.flags = flags;
        desc.fields = fields;
        desc.serializable = (flags & SC_SERIALIZABLE) != 0;
        desc.externalizable = (flags & SC_EXTERNALIZABLE) != 0;
        return desc;
    }

    /**
     * Binds a stream description to the local class c, with the checks of the format; own
     * is the reading stream's table of descriptions (see lookupAny).
     */
    void bind(Class c, ObjectStreamClass sup, Hashtable own) throws InvalidClassException {
        superDesc = sup;
        if (serializable && externalizable) {
            throw new InvalidClassException(name, "serializable and externalizable flags conflict");
        }
        if (!c.getName().equals(name)) {
            throw new InvalidClassException(name, "local class name incompatible with stream class name \"" + c.getName() + "\"");
        }
        ObjectStreamClass local = lookupAny(c, own);
        boolean described = serializable || externalizable;
        if (local == null || (described && !local.serializable && !local.externalizable)) {
            throw new InvalidClassException(name, "class invalid for deserialization");
        }
        if (!described) {
            // A class object's description (a primitive type, a class that is not
            // Serializable): it names the class and nothing more. No object is ever read
            // under it.
            if (fields.length != 0) {
                throw new InvalidClassException(name, "class invalid for deserialization");
            }
        } else if (c.isArray()) {
            if (fields.length != 0 || externalizable) {
                throw new InvalidClassException(name, "array class with fields");
            }
        } else {
            if (local.suid != suid) {
                throw new InvalidClassException(name, "local class incompatible: stream classdesc serialVersionUID = " + suid
                        + ", local class serialVersionUID = " + local.suid);
            }
            if (local.externalizable != externalizable || local.serializable != serializable) {
                throw new InvalidClassException(name, "Serializable incompatible with Externalizable");
            }
        }
        int[] slots = new int[fields.length];
        for (int i = 0; i < fields.length; i++) {
            ObjectStreamField f = fields[i];
            slots[i] = -1;
            for (int j = 0; j < local.fields.length; j++) {
                ObjectStreamField lf = local.fields[j];
                if (lf.name.equals(f.name)) {
                    if (lf.type != f.type) {
                        throw new InvalidClassException(name, "incompatible types for field " + f.name);
                    }
                    slots[i] = lf.offset;
                    break;
                }
            }
        }
        cl = c;
        localDesc = local;
        buildTransfer(fields, slots);
    }

    private static void sort(ObjectStreamField[] a) {
        for (int i = 1; i < a.length; i++) {
            ObjectStreamField x = a[i];
            int j = i - 1;
            while (j >= 0 && a[j].compareTo(x) > 0) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = x;
        }
    }

    // The class's natives of old. The serial version no longer asks for a class's members
    // one by one through them: serialVersion reads them in one call.
    private static native int getClassAccess(Class c);

    private static native String[] getMethodSignatures(Class c);

    private static native int getMethodAccess(Class c, String s);

    private static native String[] getFieldSignatures(Class c);

    private static native int getFieldAccess(Class c, String s);

    private static native ObjectStreamField[] getFields0(Class c);

    private static native long getSerialVersionUID(Class c);

    private static native boolean hasWriteObject(Class c);

    private static native boolean hasStaticInitializer(Class c);

    /* The class's own static final long serialVersionUID, else its default serial
       version, worked out from its description as the object-stream format has it. */
    private static native long serialVersion(Class c);

    /* The key of the class's loader in the tables of descriptions: 0 for the system
       loader (for an array, its element class's loader; a primitive type counts as the
       system's), which the host never drops. */
    private static native int loaderKey(Class c);

    /* The hash of the class by which the tables place it. */
    private static native int classHash(Class c);

    /* The description of c in the tables under root; null when none. */
    private static native ObjectStreamClass described(Object[] root, Class c);

    /* The holder of key's table in the list tables; null when it has none. */
    private static native Object[] holder(Object[] tables, int key);

    /* How many holders of the list tables a drop has not emptied for good. When next
       has room for that many after its first element and one more, and keys for that
       many and one more, they and their keys are copied there in order, from next[1]
       and keys[0]. */
    private static native int listed(Object[] tables, Object[] next, int[] keys);

    /* Stores now at a[i] if that still holds expect, as one step no other thread splits. */
    private static native boolean swap(Object[] a, int i, Object expect, Object now);
}
