package java.io;

import java.util.Hashtable;

/**
 * Writes primitive data and graphs of objects in the standard object stream format.
 * Every object is written once; later occurrences refer back to it by handle, so shared
 * references and cycles come back as they were. A class's own writeObject hook writes its
 * part of the object in block data; Externalizable classes write themselves entirely.
 */
public class ObjectOutputStream extends OutputStream implements ObjectOutput, ObjectStreamConstants {
    private static final int MAX_BLOCK = 1024;
    private static final byte TC_LONGSTRING = 0x7C;

    private final OutputStream out;
    private final byte[] block = new byte[MAX_BLOCK];
    private int blockUsed;
    private boolean blockMode;
    private final byte[] raw = new byte[512];
    private int rawUsed;
    private int depth;
    private boolean replace;

    // The object and class whose part a writeObject hook writes.
    private Object currentObject;
    private ObjectStreamClass currentClassDesc;

    // Handles by identity: open addressing over identityHashCode.
    private Object[] handleKeys = new Object[64];
    private int[] handleValues = new int[64];
    private int handleCount;

    // The stream's own descriptions of the classes of loaders a host may drop, and the
    // class of the last object written with its description (objects come in runs).
    private final Hashtable descs = new Hashtable();
    private Class lastClass;
    private ObjectStreamClass lastDesc;

    public ObjectOutputStream(OutputStream out) throws IOException {
        if (out == null) {
            throw new NullPointerException();
        }
        this.out = out;
        writeStreamHeader();
        drainRaw();
        blockMode = true;
    }

    protected void writeStreamHeader() throws IOException {
        writeRaw((STREAM_MAGIC >> 8) & 0xFF);
        writeRaw(STREAM_MAGIC & 0xFF);
        writeRaw((STREAM_VERSION >> 8) & 0xFF);
        writeRaw(STREAM_VERSION & 0xFF);
    }

    /* ---- the bytes ---- */

    private void writeRaw(int b) throws IOException {
        if (rawUsed == raw.length) {
            drainRaw();
        }
        raw[rawUsed++] = (byte) b;
    }

    private void drainRaw() throws IOException {
        if (rawUsed > 0) {
            out.write(raw, 0, rawUsed);
            rawUsed = 0;
        }
    }

    /** Writes what block data there is as one block. */
    protected void drain() throws IOException {
        if (blockUsed == 0) {
            return;
        }
        if (blockUsed <= 0xFF) {
            writeRaw(TC_BLOCKDATA);
            writeRaw(blockUsed);
        } else {
            writeRaw(TC_BLOCKDATALONG);
            writeRaw(blockUsed >>> 24);
            writeRaw(blockUsed >>> 16);
            writeRaw(blockUsed >>> 8);
            writeRaw(blockUsed);
        }
        for (int i = 0; i < blockUsed; i++) {
            writeRaw(block[i]);
        }
        blockUsed = 0;
    }

    private boolean setBlockMode(boolean on) throws IOException {
        boolean old = blockMode;
        if (old != on) {
            if (old) {
                drain();
            }
            blockMode = on;
        }
        return old;
    }

    public void write(int b) throws IOException {
        if (blockMode) {
            if (blockUsed == MAX_BLOCK) {
                drain();
            }
            block[blockUsed++] = (byte) b;
        } else {
            writeRaw(b);
        }
    }

    public void write(byte[] b) throws IOException {
        write(b, 0, b.length);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        for (int i = 0; i < len; i++) {
            write(b[off + i]);
        }
    }

    public void flush() throws IOException {
        drain();
        drainRaw();
        out.flush();
    }

    public void close() throws IOException {
        flush();
        out.close();
    }

    public void writeBoolean(boolean v) throws IOException {
        write(v ? 1 : 0);
    }

    public void writeByte(int v) throws IOException {
        write(v);
    }

    public void writeShort(int v) throws IOException {
        write(v >>> 8);
        write(v);
    }

    public void writeChar(int v) throws IOException {
        write(v >>> 8);
        write(v);
    }

    public void writeInt(int v) throws IOException {
        write(v >>> 24);
        write(v >>> 16);
        write(v >>> 8);
        write(v);
    }

    public void writeLong(long v) throws IOException {
        writeInt((int) (v >>> 32));
        writeInt((int) v);
    }

    public void writeFloat(float v) throws IOException {
        writeInt(Float.floatToIntBits(v));
    }

    public void writeDouble(double v) throws IOException {
        writeLong(Double.doubleToLongBits(v));
    }

    public void writeBytes(String s) throws IOException {
        int n = s.length();
        for (int i = 0; i < n; i++) {
            write(s.charAt(i));
        }
    }

    public void writeChars(String s) throws IOException {
        int n = s.length();
        for (int i = 0; i < n; i++) {
            writeChar(s.charAt(i));
        }
    }

    static long utfLength(String s) {
        long n = 0;
        int len = s.length();
        for (int i = 0; i < len; i++) {
            char c = s.charAt(i);
            n += c >= 1 && c <= 0x7F ? 1 : c <= 0x7FF ? 2 : 3;
        }
        return n;
    }

    private void writeUTFBody(String s) throws IOException {
        int len = s.length();
        for (int i = 0; i < len; i++) {
            char c = s.charAt(i);
            if (c >= 1 && c <= 0x7F) {
                write(c);
            } else if (c <= 0x7FF) {
                write(0xC0 | (c >> 6));
                write(0x80 | (c & 0x3F));
            } else {
                write(0xE0 | (c >> 12));
                write(0x80 | ((c >> 6) & 0x3F));
                write(0x80 | (c & 0x3F));
            }
        }
    }

    public void writeUTF(String s) throws IOException {
        long n = utfLength(s);
        if (n > 0xFFFF) {
            throw new UTFDataFormatException("encoded string too long: " + n + " bytes");
        }
        writeShort((int) n);
        writeUTFBody(s);
    }

    /* ---- handles ---- */

    private int lookupHandle(Object obj) {
        int mask = handleKeys.length - 1;
        int i = System.identityHashCode(obj) & mask;
        while (true) {
            Object k = handleKeys[i];
            if (k == null) {
                return -1;
            }
            if (k == obj) {
                return handleValues[i];
            }
            i = (i + 1) & mask;
        }
    }

    private void assignHandle(Object obj) {
        if ((handleCount + 1) * 3 >= handleKeys.length * 2) {
            Object[] oldKeys = handleKeys;
            int[] oldValues = handleValues;
            handleKeys = new Object[oldKeys.length * 2];
            handleValues = new int[oldKeys.length * 2];
            for (int j = 0; j < oldKeys.length; j++) {
                if (oldKeys[j] != null) {
                    insert(oldKeys[j], oldValues[j]);
                }
            }
        }
        insert(obj, baseWireHandle + handleCount);
        handleCount++;
    }

    private void insert(Object obj, int value) {
        int mask = handleKeys.length - 1;
        int i = System.identityHashCode(obj) & mask;
        while (handleKeys[i] != null) {
            i = (i + 1) & mask;
        }
        handleKeys[i] = obj;
        handleValues[i] = value;
    }

    private void clearHandles() {
        handleKeys = new Object[64];
        handleValues = new int[64];
        handleCount = 0;
    }

    /** Forgets every object written so far: the next occurrence is written anew. */
    public void reset() throws IOException {
        if (depth != 0) {
            throw new IOException("stream active");
        }
        boolean old = setBlockMode(false);
        writeRaw(TC_RESET);
        clearHandles();
        setBlockMode(old);
    }

    /* ---- objects ---- */

    protected void annotateClass(Class cl) throws IOException {
    }

    protected Object replaceObject(Object obj) throws IOException {
        return obj;
    }

    protected boolean enableReplaceObject(boolean enable) throws SecurityException {
        boolean old = replace;
        if (enable && System.getSecurityManager() != null && getClass().getClassLoader() != null) {
            throw new SecurityException("not allowed to replace objects");
        }
        replace = enable;
        return old;
    }

    public final void writeObject(Object obj) throws IOException {
        boolean old = setBlockMode(false);
        try {
            writeObject0(obj);
        } catch (IOException e) {
            if (depth == 0) {
                writeFatal(e);
            }
            throw e;
        } finally {
            setBlockMode(old);
        }
        // A whole top-level object is passed on at once: a reader waiting for it (a peer
        // at the other end of a socket) must not wait for the next flush.
        if (depth == 0) {
            drainRaw();
        }
    }

    /* The stream ends its record of the failed object with the failure itself. */
    private void writeFatal(IOException e) {
        try {
            blockUsed = 0;
            blockMode = false;
            clearHandles();
            writeRaw(TC_EXCEPTION);
            writeObject0(e);
            clearHandles();
        } catch (Throwable ignored) {
            // The first failure is the one the caller hears of.
        }
    }

    private void writeObject0(Object obj) throws IOException {
        depth++;
        try {
            if (obj == null) {
                writeRaw(TC_NULL);
                return;
            }
            int h = lookupHandle(obj);
            if (h != -1) {
                writeHandle(h);
                return;
            }
            if (obj instanceof Class) {
                writeClass((Class) obj);
                return;
            }
            if (obj instanceof ObjectStreamClass) {
                // A description of a local class made elsewhere (ObjectStreamClass.lookup)
                // is written as the stream's own of the class, so that a class written
                // again is named by its first handle.
                ObjectStreamClass desc = (ObjectStreamClass) obj;
                Class c = desc.forClass();
                writeClassDesc(c != null && desc.getLocalDesc() == desc ? ObjectStreamClass.lookupAny(c, descs) : desc);
                return;
            }
            if (replace) {
                Object rep = replaceObject(obj);
                if (rep != obj) {
                    obj = rep;
                    if (obj == null) {
                        writeRaw(TC_NULL);
                        return;
                    }
                    h = lookupHandle(obj);
                    if (h != -1) {
                        writeHandle(h);
                        return;
                    }
                }
            }
            if (obj instanceof String) {
                writeString((String) obj);
            } else if (obj.getClass().isArray()) {
                writeArray(obj);
            } else if (obj instanceof Serializable) {
                writeOrdinaryObject(obj);
            } else {
                throw new NotSerializableException(obj.getClass().getName());
            }
        } finally {
            depth--;
        }
    }

    private void writeHandle(int h) throws IOException {
        writeRaw(TC_REFERENCE);
        writeRaw(h >>> 24);
        writeRaw(h >>> 16);
        writeRaw(h >>> 8);
        writeRaw(h);
    }

    private void writeString(String s) throws IOException {
        assignHandle(s);
        long n = utfLength(s);
        if (n <= 0xFFFF) {
            writeRaw(TC_STRING);
            writeShort((int) n);
        } else {
            writeRaw(TC_LONGSTRING);
            writeLong(n);
        }
        writeUTFBody(s);
    }

    private void writeClass(Class c) throws IOException {
        writeRaw(TC_CLASS);
        writeClassDesc(ObjectStreamClass.lookupAny(c, descs));
        assignHandle(c);
    }

    private void writeClassDesc(ObjectStreamClass desc) throws IOException {
        if (desc == null) {
            writeRaw(TC_NULL);
            return;
        }
        int h = lookupHandle(desc);
        if (h != -1) {
            writeHandle(h);
            return;
        }
        writeRaw(TC_CLASSDESC);
        writeUTF(desc.getName());
        writeLong(desc.getSerialVersionUID());
        assignHandle(desc);
        writeRaw(desc.getFlags());
        ObjectStreamField[] fields = desc.fieldsOnWire();
        writeShort(fields.length);
        for (int i = 0; i < fields.length; i++) {
            ObjectStreamField f = fields[i];
            writeRaw(f.type);
            writeUTF(f.name);
            if (!f.isPrimitive()) {
                int th = lookupHandle(f.typeString);
                if (th != -1) {
                    writeHandle(th);
                } else {
                    writeString(f.typeString);
                }
            }
        }
        setBlockMode(true);
        annotateClass(desc.forClass());
        setBlockMode(false);
        writeRaw(TC_ENDBLOCKDATA);
        writeClassDesc(desc.getSuperDesc());
    }

    private void writeArray(Object array) throws IOException {
        Class c = array.getClass();
        writeRaw(TC_ARRAY);
        writeClassDesc(ObjectStreamClass.lookupAny(c, descs));
        assignHandle(array);
        Class ct = c.getComponentType();
        if (ct.isPrimitive()) {
            if (ct == Integer.TYPE) {
                int[] a = (int[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeInt(a[i]);
                }
            } else if (ct == Byte.TYPE) {
                byte[] a = (byte[]) array;
                writeInt(a.length);
                drainRaw();
                out.write(a, 0, a.length);
            } else if (ct == Long.TYPE) {
                long[] a = (long[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeLong(a[i]);
                }
            } else if (ct == Float.TYPE) {
                float[] a = (float[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeFloat(a[i]);
                }
            } else if (ct == Double.TYPE) {
                double[] a = (double[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeDouble(a[i]);
                }
            } else if (ct == Short.TYPE) {
                short[] a = (short[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeShort(a[i]);
                }
            } else if (ct == Character.TYPE) {
                char[] a = (char[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeChar(a[i]);
                }
            } else {
                boolean[] a = (boolean[]) array;
                writeInt(a.length);
                for (int i = 0; i < a.length; i++) {
                    writeBoolean(a[i]);
                }
            }
        } else {
            Object[] a = (Object[]) array;
            writeInt(a.length);
            for (int i = 0; i < a.length; i++) {
                writeObject0(a[i]);
            }
        }
    }

    private void writeOrdinaryObject(Object obj) throws IOException {
        Class c = obj.getClass();
        if (c != lastClass) {
            lastDesc = ObjectStreamClass.lookupAny(c, descs);
            lastClass = c;
        }
        ObjectStreamClass desc = lastDesc;
        if (!desc.isSerializable() && !desc.isExternalizable()) {
            throw new NotSerializableException(obj.getClass().getName());
        }
        writeRaw(TC_OBJECT);
        writeClassDesc(desc);
        assignHandle(obj);
        Object savedObject = currentObject;
        ObjectStreamClass savedDesc = currentClassDesc;
        try {
            if (desc.isExternalizable()) {
                currentObject = null;
                currentClassDesc = null;
                setBlockMode(true);
                ((Externalizable) obj).writeExternal(this);
                setBlockMode(false);
                writeRaw(TC_ENDBLOCKDATA);
            } else {
                writeSerialData(obj, desc);
            }
        } finally {
            currentObject = savedObject;
            currentClassDesc = savedDesc;
        }
    }

    private void writeSerialData(Object obj, ObjectStreamClass desc) throws IOException {
        int n = 0;
        for (ObjectStreamClass d = desc; d != null; d = d.getSuperDesc()) {
            n++;
        }
        ObjectStreamClass[] chain = new ObjectStreamClass[n];
        for (ObjectStreamClass d = desc; d != null; d = d.getSuperDesc()) {
            chain[--n] = d;
        }
        for (int i = 0; i < chain.length; i++) {
            ObjectStreamClass d = chain[i];
            if (d.hasWriteHook()) {
                currentObject = obj;
                currentClassDesc = d;
                setBlockMode(true);
                invokeObjectWriter(obj, d.forClass());
                setBlockMode(false);
                writeRaw(TC_ENDBLOCKDATA);
            } else {
                writeFields(obj, d);
            }
        }
    }

    private void writeFields(Object obj, ObjectStreamClass d) throws IOException {
        if (d.primBytes > 0) {
            byte[] data = new byte[d.primBytes];
            getPrimitiveFieldValues(obj, d.primIds, d.primCodes, data);
            for (int i = 0; i < data.length; i++) {
                writeRaw(data[i]);
            }
        }
        long[] ids = d.objIds;
        for (int i = 0; i < ids.length; i++) {
            writeObject0(getObjectFieldValue(obj, ids[i]));
        }
    }

    /** Writes the fields of the current class of the object a writeObject hook writes. */
    public final void defaultWriteObject() throws IOException {
        if (currentObject == null || currentClassDesc == null) {
            throw new NotActiveException("not in call to writeObject");
        }
        boolean old = setBlockMode(false);
        try {
            writeFields(currentObject, currentClassDesc.getLocalDesc());
        } finally {
            setBlockMode(old);
        }
    }

    private native void outputClassFields(Object o, Class cl, int[] fieldSequence) throws InvalidClassException;

    private native boolean invokeObjectWriter(Object o, Class c) throws IOException;

    private static native void getPrimitiveFieldValues(Object obj, long[] fieldIDs, char[] typecodes, byte[] data);

    private static native Object getObjectFieldValue(Object obj, long fieldID);
}
