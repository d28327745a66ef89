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
    /* The descriptions of the system loader's classes, which stay as long as the name
       space. A description names its class, so one of another loader's class kept here
       would keep that loader from ever being dropped: those are made for each stream (see
       lookupAny). Threads share the table without a lock; a put lost to another thread's
       only has a description made twice. */
    private static Hashtable cache;

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
     * A description for any class (a class object is written with one). A class of the
     * system loader has one for good; any other class has one in the stream's own table
     * (own, by class), made on its first use there, so that a stream names each class and
     * superclass by one description; without a table it is made afresh.
     */
    static ObjectStreamClass lookupAny(Class c, Hashtable own) {
        if (c == null) {
            return null;
        }
        Hashtable shared = cache;
        if (shared == null) {
            shared = new Hashtable();
            cache = shared;
        }
        ObjectStreamClass desc = (ObjectStreamClass) shared.get(c);
        if (desc == null && own != null) {
            desc = (ObjectStreamClass) own.get(c);
        }
        if (desc == null) {
            boolean forGood = isSystemClass(c);
            desc = new ObjectStreamClass();
            desc.initLocal(c, forGood ? null : own);
            if (forGood) {
                shared.put(c, desc);
            } else if (own != null) {
                own.put(c, desc);
            }
        }
        return desc;
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

    private void initLocal(Class c, Hashtable own) {
        cl = c;
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
            suid = declaresUID(c) ? getSerialVersionUID(c) : computeDefaultUID(c);
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

    /* ---- the default serial version ---- */

    private static boolean declaresUID(Class c) {
        String[] sigs = getFieldSignatures(c);
        if (sigs == null) {
            return false;
        }
        for (int i = 0; i < sigs.length; i++) {
            if (sigs[i].equals("serialVersionUID J")) {
                // Only a static final field is the class's own; any other is an ordinary
                // field, and the default value is computed.
                return (getFieldAccess(c, sigs[i]) & 0x18) == 0x18;
            }
        }
        return false;
    }

    private static void sortStrings(String[] a) {
        for (int i = 1; i < a.length; i++) {
            String x = a[i];
            int j = i - 1;
            while (j >= 0 && a[j].compareTo(x) > 0) {
                a[j + 1] = a[j];
                j--;
            }
            a[j + 1] = x;
        }
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

    /* An array class's access comes from its element class, which is not initialised
       for it: describing an array (as a stream that names one makes this library do)
       runs none of the element class's code. */
    private static int classAccess(Class c) {
        if (!c.isArray()) {
            return getClassAccess(c);
        }
        Class e = c;
        while (e.isArray()) {
            e = e.getComponentType();
        }
        return 0x410 | (e.isPrimitive() || (e.getModifiers() & 0x1) != 0 ? 0x1 : 0);
    }

    private static long computeDefaultUID(Class c) {
        try {
            SHA1OutputStream sha = new SHA1OutputStream();
            DataOutputStream out = new DataOutputStream(sha);
            out.writeUTF(c.getName());
            String[] methods = getMethodSignatures(c);
            if (methods == null) {
                methods = new String[0];
            }
            int mods = classAccess(c) & 0x611;
            if ((mods & 0x200) != 0) {
                boolean any = false;
                for (int i = 0; i < methods.length; i++) {
                    if (!methods[i].startsWith("<")) {
                        any = true;
                    }
                }
                mods = any ? (mods | 0x400) : (mods & ~0x400);
            }
            out.writeInt(mods);
            if (!c.isArray()) {
                Class[] interfaces = c.getInterfaces();
                String[] names = new String[interfaces.length];
                for (int i = 0; i < names.length; i++) {
                    names[i] = interfaces[i].getName();
                }
                sortStrings(names);
                for (int i = 0; i < names.length; i++) {
                    out.writeUTF(names[i]);
                }
            }
            String[] fieldSigs = getFieldSignatures(c);
            if (fieldSigs == null) {
                fieldSigs = new String[0];
            }
            sortStrings(fieldSigs);
            for (int i = 0; i < fieldSigs.length; i++) {
                int access = getFieldAccess(c, fieldSigs[i]);
                if ((access & 0x2) != 0 && (access & (0x8 | 0x80)) != 0) {
                    continue;
                }
                int blank = fieldSigs[i].indexOf(' ');
                out.writeUTF(fieldSigs[i].substring(0, blank));
                out.writeInt(access & 0xDF);
                out.writeUTF(fieldSigs[i].substring(blank + 1));
            }
            if (hasStaticInitializer(c)) {
                out.writeUTF("<clinit>");
                out.writeInt(0x8);
                out.writeUTF("()V");
            }
            sortStrings(methods);
            // Constructors first (sorted by descriptor), then the other methods by name and
            // descriptor; "name descriptor" texts sort that way once constructors lead.
            for (int pass = 0; pass < 2; pass++) {
                for (int i = 0; i < methods.length; i++) {
                    String m = methods[i];
                    boolean ctor = m.startsWith("<init> ");
                    if (m.startsWith("<clinit> ") || ctor != (pass == 0)) {
                        continue;
                    }
                    int access = getMethodAccess(c, m);
                    if ((access & 0x2) != 0) {
                        continue;
                    }
                    int blank = m.indexOf(' ');
                    out.writeUTF(m.substring(0, blank));
                    out.writeInt(access & 0xD3F);
                    out.writeUTF(m.substring(blank + 1).replace('/', '.'));
                }
            }
            out.flush();
            byte[] hash = sha.digest();
            long h = 0;
            for (int i = Math.min(hash.length, 8) - 1; i >= 0; i--) {
                h = (h << 8) | (hash[i] & 0xFF);
            }
            return h;
        } catch (IOException e) {
            throw new InternalError("serial version: " + e);
        }
    }

    private static native int getClassAccess(Class c);

    private static native String[] getMethodSignatures(Class c);

    private static native int getMethodAccess(Class c, String s);

    private static native String[] getFieldSignatures(Class c);

    private static native int getFieldAccess(Class c, String s);

    private static native ObjectStreamField[] getFields0(Class c);

    private static native long getSerialVersionUID(Class c);

    private static native boolean hasWriteObject(Class c);

    private static native boolean hasStaticInitializer(Class c);

    /* The class is the system loader's (an array: its element class is), which the host
       never drops; a primitive type counts as one. */
    private static native boolean isSystemClass(Class c);
}
