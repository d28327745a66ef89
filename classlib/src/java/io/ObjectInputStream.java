package java.io;

import java.util.Hashtable;
import java.util.Vector;

/**
 * Reads primitive data and graphs of objects in the standard object stream format. The
 * stream is not trusted: every length, handle, type code and class is checked, a
 * reference is stored only where the field's or element's type admits it, and objects are
 * made only of Serializable classes, with the no-argument constructor of the first class
 * above them that is not Serializable.
 */
public class ObjectInputStream extends InputStream implements ObjectInput, ObjectStreamConstants {
    private static final byte TC_LONGSTRING = 0x7C;
    private static final byte TC_PROXYCLASSDESC = 0x7D;
    private static final Object UNRESOLVED = new Object();

    private final InputStream in;
    private int peeked = -2;
    private boolean blockMode;
    private int blockLeft;
    private int depth;
    private boolean resolve;

    // The object and class whose part a readObject hook reads.
    private Object currentObject;
    private ObjectStreamClass currentClassDesc;

    private Object[] handles = new Object[32];
    private int handleCount;
    private Vector validations;

    // The stream's own descriptions of the classes of loaders a host may drop.
    private final Hashtable descs = new Hashtable();

    public ObjectInputStream(InputStream in) throws IOException, StreamCorruptedException {
        if (in == null) {
            throw new NullPointerException();
        }
        this.in = in;
        readStreamHeader();
        blockMode = true;
    }

    protected void readStreamHeader() throws IOException, StreamCorruptedException {
        int magic = (rawByte() << 8) | rawByte();
        int version = (rawByte() << 8) | rawByte();
        if (magic != (STREAM_MAGIC & 0xFFFF) || version != STREAM_VERSION) {
            throw new StreamCorruptedException("invalid stream header: " + Integer.toHexString(magic)
                    + Integer.toHexString(version));
        }
    }

    /* ---- the bytes ---- */

    /* The next byte of the stream, not taken; -1 at its end. */
    private int peekRaw() throws IOException {
        if (peeked == -2) {
            peeked = in.read();
        }
        return peeked;
    }

    /* The next byte of the stream; EOFException at its end. */
    private int rawByte() throws IOException {
        int b = peeked != -2 ? peeked : in.read();
        peeked = -2;
        if (b < 0) {
            throw new EOFException();
        }
        return b & 0xFF;
    }

    private int rawInt() throws IOException {
        return (rawByte() << 24) | (rawByte() << 16) | (rawByte() << 8) | rawByte();
    }

    /* Reads block headers until data is there; false at the end of the block data. */
    private boolean refill() throws IOException {
        while (blockLeft == 0) {
            int tc = peekRaw();
            if (tc == TC_BLOCKDATA) {
                rawByte();
                blockLeft = rawByte();
            } else if (tc == TC_BLOCKDATALONG) {
                rawByte();
                int n = rawInt();
                if (n < 0) {
                    throw new StreamCorruptedException("illegal block data header length: " + n);
                }
                blockLeft = n;
            } else if (tc == TC_RESET && depth == 0) {
                rawByte();
                clearHandles();
            } else {
                return false;
            }
        }
        return true;
    }

    private boolean setBlockMode(boolean on) throws IOException {
        boolean old = blockMode;
        if (old != on) {
            if (old && blockLeft > 0) {
                throw new StreamCorruptedException("unread block data");
            }
            blockMode = on;
            blockLeft = 0;
        }
        return old;
    }

    public int read() throws IOException {
        if (blockMode) {
            if (!refill()) {
                return -1;
            }
            blockLeft--;
            return rawByte();
        }
        int b = peeked != -2 ? peeked : in.read();
        peeked = -2;
        return b;
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (b == null) {
            throw new NullPointerException();
        }
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        int n = 0;
        while (n < len) {
            if (blockMode && blockLeft == 0 && !refill()) {
                break;
            }
            int c = read();
            if (c < 0) {
                break;
            }
            b[off + n++] = (byte) c;
            if (!blockMode && in.available() == 0 && peeked == -2) {
                break;
            }
        }
        return n == 0 && len > 0 ? -1 : n;
    }

    public int available() throws IOException {
        if (blockMode) {
            return blockLeft;
        }
        return in.available() + (peeked >= 0 ? 1 : 0);
    }

    public void close() throws IOException {
        in.close();
    }

    /* One byte of data, from the block in block mode; EOFException when there is none. */
    private int dataByte() throws IOException {
        int b = read();
        if (b < 0) {
            throw new EOFException();
        }
        return b;
    }

    public void readFully(byte[] b) throws IOException {
        readFully(b, 0, b.length);
    }

    public void readFully(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        for (int i = 0; i < len; i++) {
            b[off + i] = (byte) dataByte();
        }
    }

    public int skipBytes(int n) throws IOException {
        int i = 0;
        for (; i < n; i++) {
            if (read() < 0) {
                break;
            }
        }
        return i;
    }

    public boolean readBoolean() throws IOException {
        return dataByte() != 0;
    }

    public byte readByte() throws IOException {
        return (byte) dataByte();
    }

    public int readUnsignedByte() throws IOException {
        return dataByte();
    }

    public short readShort() throws IOException {
        return (short) ((dataByte() << 8) | dataByte());
    }

    public int readUnsignedShort() throws IOException {
        return (dataByte() << 8) | dataByte();
    }

    public char readChar() throws IOException {
        return (char) ((dataByte() << 8) | dataByte());
    }

    public int readInt() throws IOException {
        return (dataByte() << 24) | (dataByte() << 16) | (dataByte() << 8) | dataByte();
    }

    public long readLong() throws IOException {
        return ((long) readInt() << 32) | (readInt() & 0xFFFFFFFFL);
    }

    public float readFloat() throws IOException {
        return Float.intBitsToFloat(readInt());
    }

    public double readDouble() throws IOException {
        return Double.longBitsToDouble(readLong());
    }

    public String readLine() throws IOException {
        StringBuffer sb = new StringBuffer();
        int c = read();
        if (c < 0) {
            return null;
        }
        while (c >= 0 && c != '\n') {
            if (c != '\r') {
                sb.append((char) c);
            }
            c = read();
        }
        return sb.toString();
    }

    public String readUTF() throws IOException {
        return readUTFBody(readUnsignedShort());
    }

    private String readUTFBody(long utflen) throws IOException {
        StringBuffer sb = new StringBuffer(utflen < 4096 ? (int) utflen : 4096);
        long i = 0;
        while (i < utflen) {
            int a = dataByte();
            i++;
            if (a < 0x80) {
                sb.append((char) a);
            } else if ((a & 0xE0) == 0xC0) {
                if (i + 1 > utflen) {
                    throw new UTFDataFormatException("malformed input: partial character at end");
                }
                int b = dataByte();
                i++;
                if ((b & 0xC0) != 0x80) {
                    throw new UTFDataFormatException("malformed input around byte " + i);
                }
                sb.append((char) (((a & 0x1F) << 6) | (b & 0x3F)));
            } else if ((a & 0xF0) == 0xE0) {
                if (i + 2 > utflen) {
                    throw new UTFDataFormatException("malformed input: partial character at end");
                }
                int b = dataByte();
                int c = dataByte();
                i += 2;
                if ((b & 0xC0) != 0x80 || (c & 0xC0) != 0x80) {
                    throw new UTFDataFormatException("malformed input around byte " + i);
                }
                sb.append((char) (((a & 0x0F) << 12) | ((b & 0x3F) << 6) | (c & 0x3F)));
            } else {
                throw new UTFDataFormatException("malformed input around byte " + i);
            }
        }
        return sb.toString();
    }

    /* ---- handles ---- */

    private int assignHandle(Object obj) {
        if (handleCount == handles.length) {
            Object[] grown = new Object[handles.length * 2];
            System.arraycopy(handles, 0, grown, 0, handleCount);
            handles = grown;
        }
        handles[handleCount] = obj;
        return handleCount++;
    }

    private void clearHandles() {
        handles = new Object[32];
        handleCount = 0;
    }

    private Object readHandle() throws IOException {
        int h = rawInt() - baseWireHandle;
        if (h < 0 || h >= handleCount) {
            throw new StreamCorruptedException("invalid handle value: " + Integer.toHexString(h + baseWireHandle));
        }
        Object obj = handles[h];
        if (obj == UNRESOLVED) {
            throw new InvalidObjectException("reference to an object that could not be read");
        }
        return obj;
    }

    /* ---- objects ---- */

    protected Class resolveClass(ObjectStreamClass v) throws IOException, ClassNotFoundException {
        String name = v.getName();
        Class c;
        try {
            c = loadClass0(null, name);
        } catch (ClassNotFoundException e) {
            // A primitive type's class object travels under the type's name, which no
            // loader answers to.
            c = primitiveClass(name);
            if (c == null) {
                throw e;
            }
        }
        if (c == null) {
            throw new ClassNotFoundException(name);
        }
        return c;
    }

    private static Class primitiveClass(String name) {
        if (name.equals("boolean")) {
            return Boolean.TYPE;
        } else if (name.equals("byte")) {
            return Byte.TYPE;
        } else if (name.equals("char")) {
            return Character.TYPE;
        } else if (name.equals("short")) {
            return Short.TYPE;
        } else if (name.equals("int")) {
            return Integer.TYPE;
        } else if (name.equals("long")) {
            return Long.TYPE;
        } else if (name.equals("float")) {
            return Float.TYPE;
        } else if (name.equals("double")) {
            return Double.TYPE;
        } else if (name.equals("void")) {
            return Void.TYPE;
        }
        return null;
    }

    protected Object resolveObject(Object obj) throws IOException {
        return obj;
    }

    protected boolean enableResolveObject(boolean enable) throws SecurityException {
        boolean old = resolve;
        if (enable && System.getSecurityManager() != null && getClass().getClassLoader() != null) {
            throw new SecurityException("not allowed to resolve objects");
        }
        resolve = enable;
        return old;
    }

    public synchronized void registerValidation(ObjectInputValidation obj, int prio)
            throws NotActiveException, InvalidObjectException {
        if (depth == 0) {
            throw new NotActiveException("stream inactive");
        }
        if (obj == null) {
            throw new InvalidObjectException("null callback");
        }
        if (validations == null) {
            validations = new Vector();
        }
        int i = 0;
        while (i < validations.size() && ((int[]) validations.elementAt(i + 1))[0] >= prio) {
            i += 2;
        }
        validations.insertElementAt(new int[] {prio}, i);
        validations.insertElementAt(obj, i);
    }

    public final Object readObject() throws OptionalDataException, ClassNotFoundException, IOException {
        if (blockMode) {
            if (refill()) {
                throw new OptionalDataException(blockLeft);
            }
            if (peekRaw() == TC_ENDBLOCKDATA) {
                throw new OptionalDataException(true);
            }
        }
        boolean old = setBlockMode(false);
        try {
            Object obj = readObject0();
            if (depth == 0 && validations != null) {
                Vector v = validations;
                validations = null;
                for (int i = 0; i < v.size(); i += 2) {
                    ((ObjectInputValidation) v.elementAt(i)).validateObject();
                }
            }
            return obj;
        } finally {
            if (depth == 0) {
                validations = null;
            }
            blockMode = old;
            blockLeft = 0;
        }
    }

    private Object readObject0() throws ClassNotFoundException, IOException {
        depth++;
        try {
            while (true) {
                int tc = rawByte();
                switch (tc) {
                    case TC_NULL:
                        return null;
                    case TC_REFERENCE:
                        return readHandle();
                    case TC_STRING: {
                        String s = readUTFBody(readUnsignedShort());
                        assignHandle(s);
                        return s;
                    }
                    case TC_LONGSTRING: {
                        long n = readLong();
                        if (n < 0 || n > Integer.MAX_VALUE) {
                            throw new StreamCorruptedException("invalid long string length: " + n);
                        }
                        String s = readUTFBody(n);
                        assignHandle(s);
                        return s;
                    }
                    case TC_CLASS: {
                        ObjectStreamClass desc = readClassDesc();
                        if (desc == null) {
                            throw new StreamCorruptedException("class without a descriptor");
                        }
                        Class c = desc.forClass();
                        assignHandle(c);
                        return c;
                    }
                    case TC_CLASSDESC:
                        return readNewClassDesc();
                    case TC_ARRAY:
                        return readArray();
                    case TC_OBJECT:
                        return readNewObject();
                    case TC_RESET:
                        if (depth > 1) {
                            throw new StreamCorruptedException("reset inside an object");
                        }
                        clearHandles();
                        continue;
                    case TC_EXCEPTION: {
                        // The writer failed, possibly in the middle of an object: what
                        // follows is its failure, after which the stream starts afresh.
                        clearHandles();
                        Object ex = readObject0();
                        clearHandles();
                        if (!(ex instanceof Exception)) {
                            throw new StreamCorruptedException("written exception is no exception");
                        }
                        throw new WriteAbortedException("writing aborted", (Exception) ex);
                    }
                    case TC_ENDBLOCKDATA:
                        throw new StreamCorruptedException("unexpected end of block data");
                    case TC_BLOCKDATA:
                    case TC_BLOCKDATALONG:
                        throw new StreamCorruptedException("unexpected block data");
                    default:
                        throw new StreamCorruptedException("invalid type code: " + Integer.toHexString(tc));
                }
            }
        } finally {
            depth--;
        }
    }

    private ObjectStreamClass readClassDesc() throws ClassNotFoundException, IOException {
        int tc = rawByte();
        switch (tc) {
            case TC_NULL:
                return null;
            case TC_REFERENCE: {
                Object obj = readHandle();
                if (!(obj instanceof ObjectStreamClass)) {
                    throw new StreamCorruptedException("reference to a class descriptor is no descriptor");
                }
                return (ObjectStreamClass) obj;
            }
            case TC_CLASSDESC:
                return readNewClassDesc();
            case TC_PROXYCLASSDESC:
                throw new InvalidClassException("proxy class descriptors are not supported");
            default:
                throw new StreamCorruptedException("invalid type code: " + Integer.toHexString(tc));
        }
    }

    private ObjectStreamClass readNewClassDesc() throws ClassNotFoundException, IOException {
        depth++;
        try {
            String name = readUTF();
            long suid = readLong();
            int handle = assignHandle(UNRESOLVED);
            byte flags = (byte) rawByte();
            int n = readShort();
            if (n < 0) {
                throw new StreamCorruptedException("negative field count");
            }
            ObjectStreamField[] fields = new ObjectStreamField[Math.min(n, 1024)];
            for (int i = 0; i < n; i++) {
                char code = (char) rawByte();
                String fname = readUTF();
                String ts = null;
                if (code == 'L' || code == '[') {
                    Object t = readObject0();
                    if (!(t instanceof String)) {
                        throw new StreamCorruptedException("field type is no string");
                    }
                    ts = (String) t;
                } else if (ObjectStreamClass.width(code) == 0) {
                    throw new InvalidClassException(name, "invalid type code for field " + fname + ": " + code);
                }
                if (i == fields.length) {
                    ObjectStreamField[] grown = new ObjectStreamField[fields.length * 2];
                    System.arraycopy(fields, 0, grown, 0, i);
                    fields = grown;
                }
                fields[i] = new ObjectStreamField(fname, code, -1, ts);
            }
            if (fields.length != n) {
                ObjectStreamField[] exact = new ObjectStreamField[n];
                System.arraycopy(fields, 0, exact, 0, n);
                fields = exact;
            }
            ObjectStreamClass desc = ObjectStreamClass.fromStream(name, suid, flags, fields);
            Class c = resolveClass(desc);
            skipCustomData();
            ObjectStreamClass sup = readClassDesc();
            desc.bind(c, sup, descs);
            handles[handle] = desc;
            return desc;
        } finally {
            depth--;
        }
    }

    /* Skips what a class wrote beyond its fields, up to and with the end of its block data. */
    private void skipCustomData() throws ClassNotFoundException, IOException {
        boolean old = blockMode;
        blockMode = true;
        blockLeft = 0;
        try {
            while (true) {
                if (refill()) {
                    while (blockLeft > 0) {
                        blockLeft--;
                        rawByte();
                    }
                    continue;
                }
                int tc = peekRaw();
                if (tc == TC_ENDBLOCKDATA) {
                    rawByte();
                    return;
                }
                if (tc < 0) {
                    throw new EOFException();
                }
                blockMode = false;
                readObject0();
                blockMode = true;
            }
        } finally {
            blockMode = old;
            blockLeft = 0;
        }
    }

    private Object readArray() throws ClassNotFoundException, IOException {
        ObjectStreamClass desc = readClassDesc();
        Class c = desc != null ? desc.forClass() : null;
        if (c == null || !c.isArray()) {
            throw new InvalidClassException(desc != null ? desc.getName() : null, "array descriptor of no array class");
        }
        int len = readInt();
        if (len < 0) {
            throw new StreamCorruptedException("negative array length: " + len);
        }
        Class ct = c.getComponentType();
        Object array = allocateNewArray(c, len);
        int handle = assignHandle(array);
        if (ct.isPrimitive()) {
            if (ct == Integer.TYPE) {
                int[] a = (int[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readInt();
                }
            } else if (ct == Byte.TYPE) {
                readFully((byte[]) array);
            } else if (ct == Long.TYPE) {
                long[] a = (long[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readLong();
                }
            } else if (ct == Float.TYPE) {
                float[] a = (float[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readFloat();
                }
            } else if (ct == Double.TYPE) {
                double[] a = (double[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readDouble();
                }
            } else if (ct == Short.TYPE) {
                short[] a = (short[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readShort();
                }
            } else if (ct == Character.TYPE) {
                char[] a = (char[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readChar();
                }
            } else {
                boolean[] a = (boolean[]) array;
                for (int i = 0; i < len; i++) {
                    a[i] = readBoolean();
                }
            }
        } else {
            Object[] a = (Object[]) array;
            for (int i = 0; i < len; i++) {
                Object element = readObject0();
                if (element != null && !ct.isInstance(element)) {
                    throw new ClassCastException("array element of class " + element.getClass().getName()
                            + " in an array of " + ct.getName());
                }
                a[i] = element;
            }
        }
        if (resolve) {
            Object rep = resolveObject(array);
            handles[handle] = rep;
            return rep;
        }
        return array;
    }

    private static Class stringClass;
    private static Class classClass;
    private static Class descClass;

    /* Classes a stream never makes by their fields. */
    private static boolean refused(Class c) {
        if (stringClass == null) {
            stringClass = String.class;
            classClass = Class.class;
            descClass = ObjectStreamClass.class;
        }
        return c == stringClass || c == classClass || c == descClass;
    }

    private Object readNewObject() throws ClassNotFoundException, IOException {
        ObjectStreamClass desc = readClassDesc();
        if (desc == null) {
            throw new StreamCorruptedException("object without a descriptor");
        }
        Class c = desc.forClass();
        if (c == null || c.isArray() || refused(c)) {
            throw new InvalidClassException(desc.getName(), "class cannot be read as an object");
        }
        if (!desc.isSerializable() && !desc.isExternalizable()) {
            throw new InvalidClassException(desc.getName(), "class invalid for deserialization");
        }
        Object obj;
        try {
            if (desc.isExternalizable()) {
                obj = allocateNewObject(c, c);
            } else {
                obj = allocateNewObject(c, desc.getLocalDesc().firstPlainSuperclass());
            }
        } catch (NoSuchMethodError e) {
            throw new InvalidClassException(c.getName(), "no valid constructor");
        } catch (IllegalAccessException e) {
            throw new InvalidClassException(c.getName(), "no valid constructor");
        } catch (InstantiationException e) {
            throw new InvalidClassException(c.getName(), "class cannot be instantiated");
        }
        int handle = assignHandle(obj);
        Object savedObject = currentObject;
        ObjectStreamClass savedDesc = currentClassDesc;
        try {
            if (desc.isExternalizable()) {
                readExternalData((Externalizable) obj, desc);
            } else {
                readSerialData(obj, desc);
            }
        } finally {
            currentObject = savedObject;
            currentClassDesc = savedDesc;
        }
        if (resolve) {
            Object rep = resolveObject(obj);
            handles[handle] = rep;
            return rep;
        }
        return obj;
    }

    private void readExternalData(Externalizable obj, ObjectStreamClass desc) throws ClassNotFoundException, IOException {
        currentObject = null;
        currentClassDesc = null;
        boolean blocked = (desc.getFlags() & ObjectStreamClass.SC_BLOCK_DATA) != 0;
        if (blocked) {
            blockMode = true;
            blockLeft = 0;
            try {
                obj.readExternal(this);
            } finally {
                blockMode = false;
                blockLeft = 0;
            }
            skipCustomData();
        } else {
            obj.readExternal(this);
        }
    }

    private void readSerialData(Object obj, ObjectStreamClass desc) throws ClassNotFoundException, IOException {
        int n = 0;
        for (ObjectStreamClass d = desc; d != null; d = d.getSuperDesc()) {
            n++;
        }
        ObjectStreamClass[] chain = new ObjectStreamClass[n];
        for (ObjectStreamClass d = desc; d != null; d = d.getSuperDesc()) {
            chain[--n] = d;
        }
        Class objClass = obj.getClass();
        for (int i = 0; i < chain.length; i++) {
            ObjectStreamClass d = chain[i];
            Class c = d.forClass();
            // A class of the stream that is not one of the object's own is read past.
            boolean applies = c != null && c.isAssignableFrom(objClass) && !d.isExternalizable();
            if (applies && d.hasWriteHook()) {
                currentObject = obj;
                currentClassDesc = d;
                blockMode = true;
                blockLeft = 0;
                try {
                    invokeObjectReader(obj, c);
                } finally {
                    blockMode = false;
                    blockLeft = 0;
                }
                if (d.wroteData()) {
                    skipCustomData();
                }
            } else {
                readFields(obj, d, applies);
                if (d.wroteData()) {
                    skipCustomData();
                }
            }
        }
    }

    private void readFields(Object obj, ObjectStreamClass d, boolean store) throws ClassNotFoundException, IOException {
        if (d.primBytes > 0) {
            byte[] data = new byte[d.primBytes];
            readFully(data);
            if (store) {
                setPrimitiveFieldValues(obj, d.primIds, d.primCodes, data);
            }
        }
        long[] ids = d.objIds;
        for (int i = 0; i < ids.length; i++) {
            Object value = readObject0();
            if (store) {
                setObjectFieldValue(obj, ids[i], null, value);
            }
        }
    }

    /** Reads the fields of the current class of the object a readObject hook reads. */
    public final void defaultReadObject() throws IOException, ClassNotFoundException, NotActiveException {
        if (currentObject == null || currentClassDesc == null) {
            throw new NotActiveException("not in call to readObject");
        }
        boolean old = setBlockMode(false);
        try {
            readFields(currentObject, currentClassDesc, true);
        } finally {
            blockMode = old;
            blockLeft = 0;
        }
    }

    private static native Class loadClass0(Class cl, String classname) throws ClassNotFoundException;

    private native void inputClassFields(Object o, Class cl, int[] fieldSequence)
            throws InvalidClassException, StreamCorruptedException, ClassNotFoundException, IOException;

    private static native Object allocateNewObject(Class aclass, Class initclass)
            throws InstantiationException, IllegalAccessException;

    private static native Object allocateNewArray(Class aclass, int length);

    private native boolean invokeObjectReader(Object o, Class aclass) throws ClassNotFoundException, IOException;

    private static native void setPrimitiveFieldValues(Object obj, long[] fieldIDs, char[] typecodes, byte[] data);

    private static native void setObjectFieldValue(Object obj, long fieldID, Class type, Object value);
}
