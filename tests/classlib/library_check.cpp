#include "library_check.h"

#include <algorithm>
#include <set>

namespace classlib {

namespace {

/* ------------------------------------------------------------------------------------ */
/* What the machine expects, as tables.                                                  */

// A field at a fixed instance word. A null name means the name is free.
struct Slot {
  int word;
  const char* name;
  const char* desc;
};

// Instance layouts read by position. `exact`: these are all the instance words of the
// class (inherited ones included). `optional`: checked only when the class is in the library.
struct LayoutRule {
  const char* cls;
  const char* super;
  bool exact;
  bool optional;
  std::vector<Slot> slots;
};

const std::vector<LayoutRule>& LayoutRules() {
  static const std::vector<LayoutRule> rules = {
      {"java/lang/String", "java/lang/Object", true, false,
       {{0, "value", "[C"}, {1, "offset", "I"}, {2, "count", "I"}, {3, "hash", "I"}}},
      {"java/lang/Throwable", "java/lang/Object", true, false,
       {{0, "backtrace", "Ljava/lang/Object;"}, {1, "detailMessage", "Ljava/lang/String;"}}},
      {"java/lang/Thread", "java/lang/Object", false, false, {{0, "name", "[C"}}},
      {"java/lang/ExceptionInInitializerError", "java/lang/LinkageError", false, false,
       {{2, nullptr, "Ljava/lang/Throwable;"}}},
      {"java/lang/reflect/InvocationTargetException", "java/lang/Exception", false, false,
       {{2, nullptr, "Ljava/lang/Throwable;"}}},
      // The boxes: the value is the first and only field.
      {"java/lang/Boolean", "java/lang/Object", true, false, {{0, nullptr, "Z"}}},
      {"java/lang/Character", "java/lang/Object", true, false, {{0, nullptr, "C"}}},
      {"java/lang/Byte", "java/lang/Number", true, false, {{0, nullptr, "B"}}},
      {"java/lang/Short", "java/lang/Number", true, false, {{0, nullptr, "S"}}},
      {"java/lang/Integer", "java/lang/Number", true, false, {{0, nullptr, "I"}}},
      {"java/lang/Float", "java/lang/Number", true, false, {{0, nullptr, "F"}}},
      {"java/lang/Long", "java/lang/Number", true, false, {{0, nullptr, "J"}}},
      {"java/lang/Double", "java/lang/Number", true, false, {{0, nullptr, "D"}}},
      // Reflection objects, 1.1 layouts: made by the machine at exactly this size.
      {"java/lang/reflect/Field", "java/lang/Object", true, false,
       {{0, "clazz", "Ljava/lang/Class;"}, {1, nullptr, "I"}, {2, nullptr, "Ljava/lang/String;"},
        {3, nullptr, "Ljava/lang/Class;"}}},
      {"java/lang/reflect/Method", "java/lang/Object", true, false,
       {{0, "clazz", "Ljava/lang/Class;"}, {1, nullptr, "I"}, {2, nullptr, "Ljava/lang/String;"},
        {3, nullptr, "Ljava/lang/Class;"}, {4, nullptr, "[Ljava/lang/Class;"},
        {5, nullptr, "[Ljava/lang/Class;"}}},
      {"java/lang/reflect/Constructor", "java/lang/Object", true, false,
       {{0, "clazz", "Ljava/lang/Class;"}, {1, nullptr, "I"}, {2, nullptr, "[Ljava/lang/Class;"},
        {3, nullptr, "[Ljava/lang/Class;"}}},
      {"java/io/File", "java/lang/Object", false, true, {{0, "path", "Ljava/lang/String;"}}},
      // The socket streams extend the file streams and share the descriptor's word.
      {"java/io/FileInputStream", "java/io/InputStream", false, true, {{0, "fd", "Ljava/io/FileDescriptor;"}}},
      {"java/io/FileOutputStream", "java/io/OutputStream", false, true, {{0, "fd", "Ljava/io/FileDescriptor;"}}},
      // ...and the socket natives read it through the field ID of SocketImpl.fd.
      {"java/net/SocketImpl", "java/lang/Object", false, false, {{0, "fd", "Ljava/io/FileDescriptor;"}}},
      {"java/net/SocketInputStream", "java/io/FileInputStream", false, false, {{0, "fd", "Ljava/io/FileDescriptor;"}}},
      {"java/net/SocketOutputStream", "java/io/FileOutputStream", false, false,
       {{0, "fd", "Ljava/io/FileDescriptor;"}}},
      {"java/net/PlainSocketImpl", "java/net/SocketImpl", false, false, {{0, "fd", "Ljava/io/FileDescriptor;"}}},
      // The checksum natives keep the running value in the object's first word.
      {"java/util/zip/Adler32", "java/lang/Object", true, true, {{0, "adler", "I"}}},
      {"java/util/zip/CRC32", "java/lang/Object", true, true, {{0, "crc", "I"}}},
  };
  return rules;
}

// Classes that declare no instance fields of their own.
const char* const kNoOwnFields[] = {
    "java/lang/Object", "java/lang/Class",        "java/lang/Number",
    "java/lang/Error",  "java/lang/LinkageError", "java/lang/Exception",
};

// The throwables the machine raises by status, and their superclasses.
const char* const kHierarchy[][2] = {
    {"java/lang/Throwable", "java/lang/Object"},
    {"java/lang/Error", "java/lang/Throwable"},
    {"java/lang/LinkageError", "java/lang/Error"},
    {"java/lang/ClassCircularityError", "java/lang/LinkageError"},
    {"java/lang/ClassFormatError", "java/lang/LinkageError"},
    {"java/lang/ExceptionInInitializerError", "java/lang/LinkageError"},
    {"java/lang/IncompatibleClassChangeError", "java/lang/LinkageError"},
    {"java/lang/AbstractMethodError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/IllegalAccessError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/InstantiationError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/NoSuchFieldError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError"},
    {"java/lang/NoClassDefFoundError", "java/lang/LinkageError"},
    {"java/lang/UnsatisfiedLinkError", "java/lang/LinkageError"},
    {"java/lang/VerifyError", "java/lang/LinkageError"},
    {"java/lang/VirtualMachineError", "java/lang/Error"},
    {"java/lang/InternalError", "java/lang/VirtualMachineError"},
    {"java/lang/OutOfMemoryError", "java/lang/VirtualMachineError"},
    {"java/lang/StackOverflowError", "java/lang/VirtualMachineError"},
    {"java/lang/UnknownError", "java/lang/VirtualMachineError"},
    {"java/lang/ThreadDeath", "java/lang/Error"},
    {"java/lang/Exception", "java/lang/Throwable"},
    {"java/lang/ClassNotFoundException", "java/lang/Exception"},
    {"java/lang/CloneNotSupportedException", "java/lang/Exception"},
    {"java/lang/IllegalAccessException", "java/lang/Exception"},
    {"java/lang/InstantiationException", "java/lang/Exception"},
    {"java/lang/NoSuchFieldException", "java/lang/Exception"},
    {"java/lang/NoSuchMethodException", "java/lang/Exception"},
    {"java/lang/InterruptedException", "java/lang/Exception"},
    {"java/lang/RuntimeException", "java/lang/Exception"},
    {"java/lang/ArithmeticException", "java/lang/RuntimeException"},
    {"java/lang/ArrayStoreException", "java/lang/RuntimeException"},
    {"java/lang/ClassCastException", "java/lang/RuntimeException"},
    {"java/lang/IllegalArgumentException", "java/lang/RuntimeException"},
    {"java/lang/IllegalThreadStateException", "java/lang/IllegalArgumentException"},
    {"java/lang/NumberFormatException", "java/lang/IllegalArgumentException"},
    {"java/lang/IllegalMonitorStateException", "java/lang/RuntimeException"},
    {"java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException"},
    {"java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException"},
    {"java/lang/NegativeArraySizeException", "java/lang/RuntimeException"},
    {"java/lang/NullPointerException", "java/lang/RuntimeException"},
    {"java/lang/SecurityException", "java/lang/RuntimeException"},
    {"java/lang/TavikSerializationError", "java/lang/Error"},
    {"java/lang/reflect/InvocationTargetException", "java/lang/Exception"},
    {"java/io/IOException", "java/lang/Exception"},
    {"java/io/SyncFailedException", "java/io/IOException"},
    {"java/io/InterruptedIOException", "java/io/IOException"},
    {"java/net/SocketException", "java/io/IOException"},
    {"java/net/UnknownHostException", "java/io/IOException"},
    {"java/net/ConnectException", "java/net/SocketException"},
    {"java/net/BindException", "java/net/SocketException"},
    {"java/net/NoRouteToHostException", "java/net/SocketException"},
    {"java/net/PlainSocketImpl", "java/net/SocketImpl"},
    {"java/net/PlainDatagramSocketImpl", "java/net/DatagramSocketImpl"},
    {"java/net/SocketInputStream", "java/io/FileInputStream"},
    {"java/net/SocketOutputStream", "java/io/FileOutputStream"},
};

// Members the machine looks up by name or calls.
enum Kind { kInstance, kStatic };
enum Where { kDeclared, kInherited };  // in the class itself, or in it or a superclass
enum Access { kAnyAccess, kPublicOnly };

struct ByNameRule {
  const char* cls;
  bool isField;
  const char* name;
  const char* desc;
  Kind kind;
  Where where;
  Access access;
  bool optional;  // checked only when the class is in the library
};

const ByNameRule kByName[] = {
    {"java/lang/Object", false, "<init>", "()V", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Object", false, "finalize", "()V", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/System", true, "in", "Ljava/io/InputStream;", kStatic, kDeclared, kAnyAccess, false},
    {"java/lang/System", true, "out", "Ljava/io/PrintStream;", kStatic, kDeclared, kAnyAccess, false},
    {"java/lang/System", true, "err", "Ljava/io/PrintStream;", kStatic, kDeclared, kAnyAccess, false},
    {"java/lang/System", false, "initializeSystemClass", "()V", kStatic, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "name", "[C", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "priority", "I", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "group", "Ljava/lang/ThreadGroup;", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "daemon", "Z", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "PrivateInfo", "I", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "eetop", "J", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/Thread", true, "inheritableThreadLocals", "Ljava/util/Map;", kInstance, kDeclared, kAnyAccess,
     false},
    {"java/lang/Thread", true, "inheritedAccessControlContext", "Ljava/security/AccessControlContext;", kInstance,
     kDeclared, kAnyAccess, false},
    {"java/lang/Thread", false, "run", "()V", kInstance, kInherited, kAnyAccess, false},
    {"java/lang/Thread", false, "exit", "()V", kInstance, kInherited, kAnyAccess, false},
    {"java/lang/Thread", true, "threadInitNumber", "I", kStatic, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", false, "<init>", "()V", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", false, "uncaughtException", "(Ljava/lang/Thread;Ljava/lang/Throwable;)V",
     kInstance, kDeclared, kPublicOnly, false},
    // The machine changes a group's members and marks under its lock, and calls add and
    // remove as threads start and end.
    {"java/lang/ThreadGroup", true, "threads", "[Ljava/lang/Thread;", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", true, "groups", "[Ljava/lang/ThreadGroup;", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", true, "destroyed", "Z", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", true, "unstarted", "I", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", false, "add", "(Ljava/lang/Thread;)V", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ThreadGroup", false, "remove", "(Ljava/lang/Thread;)V", kInstance, kDeclared, kAnyAccess, false},
    {"java/util/Properties", false, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;", kInstance,
     kInherited, kAnyAccess, false},
    {"java/lang/ref/Reference", true, "referent", "Ljava/lang/Object;", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ref/Reference", true, "queue", "Ljava/lang/ref/ReferenceQueue;", kInstance, kDeclared, kAnyAccess,
     false},
    {"java/lang/ref/Reference", true, "next", "Ljava/lang/ref/Reference;", kInstance, kDeclared, kAnyAccess, false},
    {"java/lang/ref/Reference", true, "lock", "Ljava/lang/ref/Reference$Lock;", kStatic, kDeclared, kAnyAccess,
     false},
    {"java/lang/ref/Reference", true, "pending", "Ljava/lang/ref/Reference;", kStatic, kDeclared, kAnyAccess,
     false},
    {"java/lang/ref/ReferenceQueue", true, "NULL", "Ljava/lang/ref/ReferenceQueue;", kStatic, kDeclared,
     kAnyAccess, false},
    {"java/io/FileDescriptor", true, "fd", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/io/FileInputStream", true, "fd", "Ljava/io/FileDescriptor;", kInstance, kDeclared, kAnyAccess, true},
    {"java/io/FileOutputStream", true, "fd", "Ljava/io/FileDescriptor;", kInstance, kDeclared, kAnyAccess, true},
    {"java/io/PrintStream", false, "println", "([C)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/PrintWriter", false, "println", "([C)V", kInstance, kInherited, kAnyAccess, true},
    // The signed difference becomes a BigInteger through this constructor.
    {"java/math/BigInteger", false, "<init>", "([B)V", kInstance, kDeclared, kAnyAccess, false},
    // The Deflater and Inflater natives find these instance fields by name in the class.
    {"java/util/zip/Deflater", true, "strm", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "buf", "[B", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "off", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "len", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "level", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "strategy", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "setParams", "Z", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "finish", "Z", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Deflater", true, "finished", "Z", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Inflater", true, "strm", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Inflater", true, "buf", "[B", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Inflater", true, "off", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Inflater", true, "len", "I", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Inflater", true, "finished", "Z", kInstance, kDeclared, kAnyAccess, true},
    {"java/util/zip/Inflater", true, "needsDictionary", "Z", kInstance, kDeclared, kAnyAccess, true},
    // The archive reader that programs reach for, with its 1.1 face.
    {"java/util/zip/ZipFile", false, "<init>", "(Ljava/lang/String;)V", kInstance, kDeclared, kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "<init>", "(Ljava/io/File;)V", kInstance, kDeclared, kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "entries", "()Ljava/util/Enumeration;", kInstance, kDeclared, kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "getEntry", "(Ljava/lang/String;)Ljava/util/zip/ZipEntry;", kInstance, kDeclared,
     kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "getInputStream", "(Ljava/util/zip/ZipEntry;)Ljava/io/InputStream;", kInstance,
     kDeclared, kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "getName", "()Ljava/lang/String;", kInstance, kDeclared, kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "size", "()I", kInstance, kDeclared, kPublicOnly, false},
    {"java/util/zip/ZipFile", false, "close", "()V", kInstance, kDeclared, kPublicOnly, false},
    // The natives' cache looks these up by name. Fields may be inherited, as the cache's
    // look-up searches superclasses; InetAddress's constructor may not, since the look-up
    // would take java/lang/Object's.
    {"java/net/InetAddress", true, "address", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/InetAddress", true, "family", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/InetAddress", false, "<init>", "()V", kInstance, kDeclared, kAnyAccess, false},
    {"java/net/PlainSocketImpl", true, "address", "Ljava/net/InetAddress;", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainSocketImpl", true, "fd", "Ljava/io/FileDescriptor;", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainSocketImpl", true, "localport", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainSocketImpl", true, "port", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainSocketImpl", true, "timeout", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainDatagramSocketImpl", true, "fd", "Ljava/io/FileDescriptor;", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainDatagramSocketImpl", true, "localPort", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/PlainDatagramSocketImpl", true, "timeout", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/DatagramPacket", true, "buf", "[B", kInstance, kInherited, kAnyAccess, false},
    {"java/net/DatagramPacket", true, "length", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/net/DatagramPacket", true, "address", "Ljava/net/InetAddress;", kInstance, kInherited, kAnyAccess, false},
    {"java/net/DatagramPacket", true, "port", "I", kInstance, kInherited, kAnyAccess, false},
    {"java/io/RandomAccessFile", true, "fd", "Ljava/io/FileDescriptor;", kInstance, kInherited, kAnyAccess, true},
    {"java/net/SocketInputStream", true, "impl", "Ljava/net/SocketImpl;", kInstance, kInherited, kAnyAccess, false},
    {"java/io/ObjectOutputStream", false, "writeByte", "(I)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeChar", "(I)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeFloat", "(F)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeDouble", "(D)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeInt", "(I)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeLong", "(J)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeShort", "(I)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeBoolean", "(Z)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectOutputStream", false, "writeObject", "(Ljava/lang/Object;)V", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readByte", "()B", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readChar", "()C", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readFloat", "()F", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readDouble", "()D", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readInt", "()I", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readLong", "()J", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readShort", "()S", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readBoolean", "()Z", kInstance, kInherited, kAnyAccess, true},
    {"java/io/ObjectInputStream", false, "readObject", "()Ljava/lang/Object;", kInstance, kInherited, kAnyAccess, true},
    {"java/lang/ClassLoader$NativeLibrary", true, "handle", "J", kInstance, kInherited, kAnyAccess, true},
    {"java/lang/reflect/AccessibleObject", true, "override", "Z", kInstance, kInherited, kAnyAccess, true},
    // What privileged actions run and how a checked exception of theirs is wrapped.
    {"java/security/PrivilegedAction", false, "run", "()Ljava/lang/Object;", kInstance, kDeclared, kAnyAccess, false},
    {"java/security/PrivilegedExceptionAction", false, "run", "()Ljava/lang/Object;", kInstance, kDeclared,
     kAnyAccess, false},
    {"java/security/PrivilegedActionException", false, "<init>", "(Ljava/lang/Exception;)V", kInstance, kDeclared,
     kAnyAccess, false},
};

// Subclasses that must override every method of their superclass that a caller could reach
// (instance, not private, not final, not a constructor): the socket streams, whose inherited
// file methods would hand the socket's handle to the file natives, or close the socket when
// a stream is collected.
const char* const kOverridesAll[][2] = {
    {"java/net/SocketInputStream", "java/io/FileInputStream"},
    {"java/net/SocketOutputStream", "java/io/FileOutputStream"},
};

// Classes the machine needs at start-up or names in descriptors.
const char* const kRequiredClasses[] = {
    "java/lang/Object", "java/lang/Class", "java/lang/String", "java/lang/Cloneable", "java/io/Serializable",
    "java/lang/Throwable", "java/lang/Error", "java/lang/LinkageError", "java/lang/NoClassDefFoundError",
    "java/lang/VirtualMachineError", "java/lang/OutOfMemoryError", "java/lang/Thread", "java/lang/ThreadGroup",
    "java/lang/System", "java/lang/reflect/Array", "java/lang/reflect/Field", "java/lang/reflect/Method",
    "java/lang/reflect/Constructor", "java/lang/ref/Reference", "java/lang/ref/Reference$Lock",
    "java/lang/ref/ReferenceQueue", "java/lang/ref/SoftReference", "java/lang/ref/WeakReference",
    "java/lang/ref/PhantomReference", "java/util/Map", "java/util/Properties",
    "java/security/AccessControlContext", "java/security/PrivilegedAction", "java/security/PrivilegedExceptionAction",
    "java/security/PrivilegedActionException",
};

// Registered natives. kNat: a method with this name and descriptor must be native. kJava: it
// must not be (the row ends the process, or the design keeps it in Java). kEither: free.
enum RowRule { kNat, kJava, kEither };

struct NativeRow {
  const char* cls;
  const char* name;
  const char* desc;
  bool isStatic;
  RowRule rule;
};

#define I_ false
#define S_ true
const NativeRow kRows[] = {
    {"java/lang/Class", "forName0", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;", S_, kNat},
    {"java/lang/Class", "newInstance0", "()Ljava/lang/Object;", I_, kNat},
    {"java/lang/Class", "forName", "(Ljava/lang/String;)Ljava/lang/Class;", S_, kNat},
    {"java/lang/Class", "newInstance", "()Ljava/lang/Object;", I_, kNat},
    {"java/lang/Class", "isInstance", "(Ljava/lang/Object;)Z", I_, kNat},
    {"java/lang/Class", "isAssignableFrom", "(Ljava/lang/Class;)Z", I_, kNat},
    {"java/lang/Class", "isInterface", "()Z", I_, kNat},
    {"java/lang/Class", "isArray", "()Z", I_, kNat},
    {"java/lang/Class", "isPrimitive", "()Z", I_, kNat},
    {"java/lang/Class", "getName", "()Ljava/lang/String;", I_, kNat},
    {"java/lang/Class", "getClassLoader0", "()Ljava/lang/ClassLoader;", I_, kNat},
    {"java/lang/Class", "getClassLoader", "()Ljava/lang/ClassLoader;", I_, kNat},
    {"java/lang/Class", "getSuperclass", "()Ljava/lang/Class;", I_, kNat},
    {"java/lang/Class", "getInterfaces", "()[Ljava/lang/Class;", I_, kNat},
    {"java/lang/Class", "getComponentType", "()Ljava/lang/Class;", I_, kNat},
    {"java/lang/Class", "getModifiers", "()I", I_, kNat},
    {"java/lang/Class", "getSigners", "()[Ljava/lang/Object;", I_, kJava},
    {"java/lang/Class", "setSigners", "([Ljava/lang/Object;)V", I_, kJava},
    {"java/lang/Class", "getPrimitiveClass", "(Ljava/lang/String;)Ljava/lang/Class;", S_, kNat},
    {"java/lang/Class", "getFields0", "(I)[Ljava/lang/reflect/Field;", I_, kNat},
    {"java/lang/Class", "getMethods0", "(I)[Ljava/lang/reflect/Method;", I_, kNat},
    {"java/lang/Class", "getDeclaredClasses0", "()[Ljava/lang/Class;", I_, kNat},
    {"java/lang/Class", "getDeclaringClass", "()Ljava/lang/Class;", I_, kNat},
    {"java/lang/Class", "getConstructors0", "(I)[Ljava/lang/reflect/Constructor;", I_, kNat},
    {"java/lang/Class", "getField0", "(Ljava/lang/String;I)Ljava/lang/reflect/Field;", I_, kNat},
    {"java/lang/Class", "getMethod0", "(Ljava/lang/String;[Ljava/lang/Class;I)Ljava/lang/reflect/Method;", I_, kNat},
    {"java/lang/Class", "getConstructor0", "([Ljava/lang/Class;I)Ljava/lang/reflect/Constructor;", I_, kNat},
    {"java/lang/Class", "getProtectionDomain0", "()Ljava/security/ProtectionDomain;", I_, kNat},
    {"java/lang/Class", "setProtectionDomain0", "(Ljava/security/ProtectionDomain;)V", I_, kNat},
    {"java/lang/Class", "registerNatives", "()V", S_, kNat},

    {"java/lang/ClassLoader", "init", "()V", I_, kNat},
    {"java/lang/ClassLoader", "defineClass0", "(Ljava/lang/String;[BII)Ljava/lang/Class;", I_, kNat},
    {"java/lang/ClassLoader", "resolveClass0", "(Ljava/lang/Class;)V", I_, kNat},
    {"java/lang/ClassLoader", "findSystemClass0", "(Ljava/lang/String;)Ljava/lang/Class;", I_, kNat},
    {"java/lang/ClassLoader", "getSystemResourceAsStream0", "(Ljava/lang/String;)Ljava/io/InputStream;", S_, kNat},
    {"java/lang/ClassLoader", "getSystemResourceAsName0", "(Ljava/lang/String;)Ljava/lang/String;", S_, kNat},
    {"java/lang/ClassLoader", "getCallerClassLoader", "()Ljava/lang/ClassLoader;", S_, kNat},

    {"java/lang/ClassLoader$NativeLibrary", "find", "(Ljava/lang/String;)J", I_, kNat},
    {"java/lang/ClassLoader$NativeLibrary", "load", "(Ljava/lang/String;)V", I_, kNat},
    {"java/lang/ClassLoader$NativeLibrary", "unload", "()V", I_, kNat},

    {"java/lang/Package", "getSystemPackage0", "(Ljava/lang/String;)Ljava/lang/String;", S_, kNat},
    {"java/lang/Package", "getSystemPackages0", "()[Ljava/lang/String;", S_, kNat},

    {"java/lang/Double", "doubleToLongBits", "(D)J", S_, kNat},
    {"java/lang/Double", "longBitsToDouble", "(J)D", S_, kNat},
    {"java/lang/Double", "valueOf0", "(Ljava/lang/String;)D", S_, kNat},
    {"java/lang/Float", "floatToIntBits", "(F)I", S_, kNat},
    {"java/lang/Float", "intBitsToFloat", "(I)F", S_, kNat},

    {"java/lang/Math", "sin", "(D)D", S_, kNat},
    {"java/lang/Math", "cos", "(D)D", S_, kNat},
    {"java/lang/Math", "tan", "(D)D", S_, kNat},
    {"java/lang/Math", "asin", "(D)D", S_, kNat},
    {"java/lang/Math", "acos", "(D)D", S_, kNat},
    {"java/lang/Math", "atan", "(D)D", S_, kNat},
    {"java/lang/Math", "exp", "(D)D", S_, kNat},
    {"java/lang/Math", "log", "(D)D", S_, kNat},
    {"java/lang/Math", "sqrt", "(D)D", S_, kNat},
    {"java/lang/Math", "IEEEremainder", "(DD)D", S_, kNat},
    {"java/lang/Math", "ceil", "(D)D", S_, kNat},
    {"java/lang/Math", "floor", "(D)D", S_, kNat},
    {"java/lang/Math", "rint", "(D)D", S_, kNat},
    {"java/lang/Math", "atan2", "(DD)D", S_, kNat},
    {"java/lang/Math", "pow", "(DD)D", S_, kNat},
    // Math.random's generator, registered with Math's table.
    {"java/lang/MathRandom", "next", "()D", S_, kNat},

    {"java/lang/Object", "getClass", "()Ljava/lang/Class;", I_, kNat},
    {"java/lang/Object", "hashCode", "()I", I_, kNat},
    {"java/lang/Object", "clone", "()Ljava/lang/Object;", I_, kNat},
    {"java/lang/Object", "notify", "()V", I_, kNat},
    {"java/lang/Object", "notifyAll", "()V", I_, kNat},
    {"java/lang/Object", "wait", "(J)V", I_, kNat},
    {"java/lang/Object", "registerNatives", "()V", S_, kNat},

    {"java/lang/Runtime", "exitInternal", "(I)V", I_, kNat},
    {"java/lang/Runtime", "runFinalizersOnExit0", "(Z)V", S_, kNat},
    {"java/lang/Runtime", "execInternal", "([Ljava/lang/String;[Ljava/lang/String;)Ljava/lang/Process;", I_, kNat},
    {"java/lang/Runtime", "freeMemory", "()J", I_, kNat},
    {"java/lang/Runtime", "totalMemory", "()J", I_, kNat},
    {"java/lang/Runtime", "gc", "()V", I_, kNat},
    {"java/lang/Runtime", "runFinalization", "()V", I_, kNat},
    {"java/lang/Runtime", "traceInstructions", "(Z)V", I_, kNat},
    {"java/lang/Runtime", "traceMethodCalls", "(Z)V", I_, kNat},
    {"java/lang/Runtime", "initializeLinkerInternal", "()Ljava/lang/String;", I_, kNat},
    {"java/lang/Runtime", "buildLibName", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", I_, kNat},
    {"java/lang/Runtime", "loadFileInternal", "(Ljava/lang/String;)I", I_, kNat},
    {"java/lang/Runtime", "runFinalization0", "()V", S_, kNat},

    {"java/lang/SecurityManager", "getClassContext", "()[Ljava/lang/Class;", I_, kNat},
    {"java/lang/SecurityManager", "currentClassLoader", "()Ljava/lang/ClassLoader;", I_, kNat},
    {"java/lang/SecurityManager", "currentClassLoader0", "()Ljava/lang/ClassLoader;", I_, kNat},
    {"java/lang/SecurityManager", "classDepth", "(Ljava/lang/String;)I", I_, kNat},
    {"java/lang/SecurityManager", "classLoaderDepth", "()I", I_, kNat},
    {"java/lang/SecurityManager", "classLoaderDepth0", "()I", I_, kNat},
    {"java/lang/SecurityManager", "currentLoadedClass0", "()Ljava/lang/Class;", I_, kNat},

    {"java/lang/String", "intern", "()Ljava/lang/String;", I_, kNat},

    {"java/lang/System", "setIn0", "(Ljava/io/InputStream;)V", S_, kNat},
    {"java/lang/System", "setOut0", "(Ljava/io/PrintStream;)V", S_, kNat},
    {"java/lang/System", "setErr0", "(Ljava/io/PrintStream;)V", S_, kNat},
    {"java/lang/System", "currentTimeMillis", "()J", S_, kNat},
    {"java/lang/System", "arraycopy", "(Ljava/lang/Object;ILjava/lang/Object;II)V", S_, kNat},
    {"java/lang/System", "identityHashCode", "(Ljava/lang/Object;)I", S_, kNat},
    {"java/lang/System", "initProperties", "(Ljava/util/Properties;)Ljava/util/Properties;", S_, kNat},
    {"java/lang/System", "getCallerClass", "()Ljava/lang/Class;", S_, kNat},
    {"java/lang/System", "mapLibraryName", "(Ljava/lang/String;)Ljava/lang/String;", S_, kNat},
    {"java/lang/System", "registerNatives", "()V", S_, kNat},

    {"java/lang/Throwable", "printStackTrace0", "(Ljava/lang/Object;)V", I_, kNat},
    {"java/lang/Throwable", "fillInStackTrace", "()Ljava/lang/Throwable;", I_, kNat},

    {"java/lang/Thread", "currentThread", "()Ljava/lang/Thread;", S_, kNat},
    {"java/lang/Thread", "yield", "()V", S_, kNat},
    {"java/lang/Thread", "sleep", "(J)V", S_, kNat},
    {"java/lang/Thread", "start", "()V", I_, kNat},
    {"java/lang/Thread", "isInterrupted", "(Z)Z", I_, kNat},
    {"java/lang/Thread", "isAlive", "()Z", I_, kNat},
    {"java/lang/Thread", "countStackFrames", "()I", I_, kNat},
    {"java/lang/Thread", "setPriority0", "(I)V", I_, kNat},
    {"java/lang/Thread", "stop0", "(Ljava/lang/Object;)V", I_, kNat},
    {"java/lang/Thread", "suspend0", "()V", I_, kNat},
    {"java/lang/Thread", "resume0", "()V", I_, kNat},
    {"java/lang/Thread", "interrupt0", "()V", I_, kNat},
    {"java/lang/Thread", "registerNatives", "()V", S_, kNat},
    {"java/lang/Thread", "nextThreadNum", "()I", S_, kNat},

    {"java/lang/ThreadGroup", "swapThreads", "([Ljava/lang/Thread;[Ljava/lang/Thread;Z)Z", I_, kNat},
    {"java/lang/ThreadGroup", "swapGroups", "([Ljava/lang/ThreadGroup;[Ljava/lang/ThreadGroup;Z)Z", I_, kNat},
    {"java/lang/ThreadGroup", "countUnstarted", "()Z", I_, kNat},
    {"java/lang/ThreadGroup", "destroyIfEmpty", "(Z)Z", I_, kNat},
    {"java/lang/ThreadGroup", "attached", "([Ljava/lang/Thread;)I", I_, kNat},

    {"java/lang/reflect/Array", "getLength", "(Ljava/lang/Object;)I", S_, kNat},
    {"java/lang/reflect/Array", "get", "(Ljava/lang/Object;I)Ljava/lang/Object;", S_, kNat},
    {"java/lang/reflect/Array", "getBoolean", "(Ljava/lang/Object;I)Z", S_, kNat},
    {"java/lang/reflect/Array", "getByte", "(Ljava/lang/Object;I)B", S_, kNat},
    {"java/lang/reflect/Array", "getChar", "(Ljava/lang/Object;I)C", S_, kNat},
    {"java/lang/reflect/Array", "getShort", "(Ljava/lang/Object;I)S", S_, kNat},
    {"java/lang/reflect/Array", "getInt", "(Ljava/lang/Object;I)I", S_, kNat},
    {"java/lang/reflect/Array", "getLong", "(Ljava/lang/Object;I)J", S_, kNat},
    {"java/lang/reflect/Array", "getFloat", "(Ljava/lang/Object;I)F", S_, kNat},
    {"java/lang/reflect/Array", "getDouble", "(Ljava/lang/Object;I)D", S_, kNat},
    {"java/lang/reflect/Array", "set", "(Ljava/lang/Object;ILjava/lang/Object;)V", S_, kNat},
    {"java/lang/reflect/Array", "setBoolean", "(Ljava/lang/Object;IZ)V", S_, kNat},
    {"java/lang/reflect/Array", "setByte", "(Ljava/lang/Object;IB)V", S_, kNat},
    {"java/lang/reflect/Array", "setChar", "(Ljava/lang/Object;IC)V", S_, kNat},
    {"java/lang/reflect/Array", "setShort", "(Ljava/lang/Object;IS)V", S_, kNat},
    {"java/lang/reflect/Array", "setInt", "(Ljava/lang/Object;II)V", S_, kNat},
    {"java/lang/reflect/Array", "setLong", "(Ljava/lang/Object;IJ)V", S_, kNat},
    {"java/lang/reflect/Array", "setFloat", "(Ljava/lang/Object;IF)V", S_, kNat},
    {"java/lang/reflect/Array", "setDouble", "(Ljava/lang/Object;ID)V", S_, kNat},
    {"java/lang/reflect/Array", "newArray", "(Ljava/lang/Class;I)Ljava/lang/Object;", S_, kNat},
    {"java/lang/reflect/Array", "multiNewArray", "(Ljava/lang/Class;[I)Ljava/lang/Object;", S_, kNat},

    {"java/lang/reflect/Constructor", "getModifiers", "()I", I_, kNat},
    {"java/lang/reflect/Constructor", "newInstance", "([Ljava/lang/Object;)Ljava/lang/Object;", I_, kNat},

    {"java/lang/reflect/Field", "getModifiers", "()I", I_, kNat},
    {"java/lang/reflect/Field", "get", "(Ljava/lang/Object;)Ljava/lang/Object;", I_, kNat},
    {"java/lang/reflect/Field", "getBoolean", "(Ljava/lang/Object;)Z", I_, kNat},
    {"java/lang/reflect/Field", "getByte", "(Ljava/lang/Object;)B", I_, kNat},
    {"java/lang/reflect/Field", "getChar", "(Ljava/lang/Object;)C", I_, kNat},
    {"java/lang/reflect/Field", "getShort", "(Ljava/lang/Object;)S", I_, kNat},
    {"java/lang/reflect/Field", "getInt", "(Ljava/lang/Object;)I", I_, kNat},
    {"java/lang/reflect/Field", "getLong", "(Ljava/lang/Object;)J", I_, kNat},
    {"java/lang/reflect/Field", "getFloat", "(Ljava/lang/Object;)F", I_, kNat},
    {"java/lang/reflect/Field", "getDouble", "(Ljava/lang/Object;)D", I_, kNat},
    {"java/lang/reflect/Field", "set", "(Ljava/lang/Object;Ljava/lang/Object;)V", I_, kNat},
    {"java/lang/reflect/Field", "setBoolean", "(Ljava/lang/Object;Z)V", I_, kNat},
    {"java/lang/reflect/Field", "setByte", "(Ljava/lang/Object;B)V", I_, kNat},
    {"java/lang/reflect/Field", "setChar", "(Ljava/lang/Object;C)V", I_, kNat},
    {"java/lang/reflect/Field", "setShort", "(Ljava/lang/Object;S)V", I_, kNat},
    {"java/lang/reflect/Field", "setInt", "(Ljava/lang/Object;I)V", I_, kNat},
    {"java/lang/reflect/Field", "setLong", "(Ljava/lang/Object;J)V", I_, kNat},
    {"java/lang/reflect/Field", "setFloat", "(Ljava/lang/Object;F)V", I_, kNat},
    {"java/lang/reflect/Field", "setDouble", "(Ljava/lang/Object;D)V", I_, kNat},

    {"java/lang/reflect/Method", "getModifiers", "()I", I_, kNat},
    {"java/lang/reflect/Method", "invoke", "(Ljava/lang/Object;[Ljava/lang/Object;)Ljava/lang/Object;", I_, kNat},

    {"java/util/ResourceBundle", "getClassContext", "()[Ljava/lang/Class;", S_, kNat},

    {"corvane/sql/VMUtil", "getSignature", "(Ljava/lang/reflect/Method;)Ljava/lang/String;", S_, kNat},
    {"corvane/sql/VMUtil", "Overload", "(Ljava/lang/Class;Ljava/lang/String;Ljava/lang/String;Z)Ljava/lang/String;", S_,
     kNat},

    {"java/security/AccessController", "doPrivileged", "(Ljava/security/PrivilegedAction;)Ljava/lang/Object;", S_, kNat},
    {"java/security/AccessController", "doPrivileged",
     "(Ljava/security/PrivilegedAction;Ljava/security/AccessControlContext;)Ljava/lang/Object;", S_, kNat},
    {"java/security/AccessController", "doPrivileged", "(Ljava/security/PrivilegedExceptionAction;)Ljava/lang/Object;",
     S_, kNat},
    {"java/security/AccessController", "doPrivileged",
     "(Ljava/security/PrivilegedExceptionAction;Ljava/security/AccessControlContext;)Ljava/lang/Object;", S_, kNat},
    {"java/security/AccessController", "getInheritedAccessControlContext", "()Ljava/security/AccessControlContext;",
     S_, kNat},
    {"java/security/AccessController", "getStackAccessControlContext", "()Ljava/security/AccessControlContext;", S_,
     kNat},

    {"java/sql/DriverManager", "getCallerClassLoader", "()Ljava/lang/ClassLoader;", S_, kNat},

    {"java/io/File", "exists0", "()Z", I_, kNat},
    {"java/io/File", "canWrite0", "()Z", I_, kNat},
    {"java/io/File", "canRead0", "()Z", I_, kNat},
    {"java/io/File", "isFile0", "()Z", I_, kNat},
    {"java/io/File", "isDirectory0", "()Z", I_, kNat},
    {"java/io/File", "lastModified0", "()J", I_, kNat},
    {"java/io/File", "length0", "()J", I_, kNat},
    {"java/io/File", "mkdir0", "()Z", I_, kNat},
    {"java/io/File", "renameTo0", "(Ljava/io/File;)Z", I_, kNat},
    {"java/io/File", "delete0", "()Z", I_, kNat},
    {"java/io/File", "rmdir0", "()Z", I_, kNat},
    {"java/io/File", "list0", "()[Ljava/lang/String;", I_, kNat},
    {"java/io/File", "canonPath", "(Ljava/lang/String;)Ljava/lang/String;", I_, kNat},
    {"java/io/File", "isAbsolute", "()Z", I_, kEither},

    {"java/io/FileDescriptor", "valid", "()Z", I_, kNat},
    {"java/io/FileDescriptor", "sync", "()V", I_, kNat},
    {"java/io/FileDescriptor", "initSystemFD", "(Ljava/io/FileDescriptor;I)Ljava/io/FileDescriptor;", S_, kNat},
    {"java/io/FileDescriptor", "initIDs", "()V", S_, kNat},

    {"java/io/FileOutputStream", "open", "(Ljava/lang/String;)V", I_, kNat},
    {"java/io/FileOutputStream", "openAppend", "(Ljava/lang/String;)V", I_, kNat},
    {"java/io/FileOutputStream", "write", "(I)V", I_, kEither},
    {"java/io/FileOutputStream", "writeBytes", "([BII)V", I_, kNat},
    {"java/io/FileOutputStream", "close", "()V", I_, kEither},
    {"java/io/FileOutputStream", "initIDs", "()V", S_, kNat},

    {"java/io/FileInputStream", "open", "(Ljava/lang/String;)V", I_, kNat},
    {"java/io/FileInputStream", "read", "()I", I_, kEither},
    {"java/io/FileInputStream", "readBytes", "([BII)I", I_, kNat},
    {"java/io/FileInputStream", "skip", "(J)J", I_, kEither},
    {"java/io/FileInputStream", "available", "()I", I_, kEither},
    {"java/io/FileInputStream", "close", "()V", I_, kEither},
    {"java/io/FileInputStream", "initIDs", "()V", S_, kNat},

    {"java/io/RandomAccessFile", "open", "(Ljava/lang/String;Z)V", I_, kNat},
    {"java/io/RandomAccessFile", "read", "()I", I_, kEither},
    {"java/io/RandomAccessFile", "readBytes", "([BII)I", I_, kNat},
    {"java/io/RandomAccessFile", "write", "(I)V", I_, kEither},
    {"java/io/RandomAccessFile", "writeBytes", "([BII)V", I_, kNat},
    {"java/io/RandomAccessFile", "getFilePointer", "()J", I_, kEither},
    {"java/io/RandomAccessFile", "seek", "(J)V", I_, kEither},
    {"java/io/RandomAccessFile", "length", "()J", I_, kEither},
    {"java/io/RandomAccessFile", "close", "()V", I_, kEither},
    {"java/io/RandomAccessFile", "initIDs", "()V", S_, kNat},

    // The object streams: the field-offset form of the 1.1 library; its natives are static
    // but for the two that use the stream they are called on.
    {"java/io/ObjectStreamClass", "getClassAccess", "(Ljava/lang/Class;)I", S_, kNat},
    {"java/io/ObjectStreamClass", "getMethodSignatures", "(Ljava/lang/Class;)[Ljava/lang/String;", S_, kNat},
    {"java/io/ObjectStreamClass", "getMethodAccess", "(Ljava/lang/Class;Ljava/lang/String;)I", S_, kNat},
    {"java/io/ObjectStreamClass", "getFieldSignatures", "(Ljava/lang/Class;)[Ljava/lang/String;", S_, kNat},
    {"java/io/ObjectStreamClass", "getFieldAccess", "(Ljava/lang/Class;Ljava/lang/String;)I", S_, kNat},
    {"java/io/ObjectStreamClass", "getFields0", "(Ljava/lang/Class;)[Ljava/io/ObjectStreamField;", S_, kNat},
    {"java/io/ObjectStreamClass", "getSerialVersionUID", "(Ljava/lang/Class;)J", S_, kNat},
    {"java/io/ObjectStreamClass", "hasWriteObject", "(Ljava/lang/Class;)Z", S_, kNat},
    {"java/io/ObjectStreamClass", "hasStaticInitializer", "(Ljava/lang/Class;)Z", S_, kNat},
    {"java/io/ObjectStreamClass", "initNative", "()V", S_, kNat},
    // The library's own: a serial version in one call, and the tables of descriptions by loader.
    {"java/io/ObjectStreamClass", "loaderKey", "(Ljava/lang/Class;)I", S_, kNat},
    {"java/io/ObjectStreamClass", "classHash", "(Ljava/lang/Class;)I", S_, kNat},
    {"java/io/ObjectStreamClass", "described", "([Ljava/lang/Object;Ljava/lang/Class;)Ljava/io/ObjectStreamClass;", S_, kNat},
    {"java/io/ObjectStreamClass", "holder", "([Ljava/lang/Object;I)[Ljava/lang/Object;", S_, kNat},
    {"java/io/ObjectStreamClass", "listed", "([Ljava/lang/Object;[Ljava/lang/Object;[I)I", S_, kNat},
    {"java/io/ObjectStreamClass", "swap", "([Ljava/lang/Object;ILjava/lang/Object;Ljava/lang/Object;)Z", S_, kNat},
    {"java/io/ObjectStreamClass", "serialVersion", "(Ljava/lang/Class;)J", S_, kNat},
    {"java/io/ObjectInputStream", "loadClass0", "(Ljava/lang/Class;Ljava/lang/String;)Ljava/lang/Class;", S_, kNat},
    {"java/io/ObjectInputStream", "inputClassFields", "(Ljava/lang/Object;Ljava/lang/Class;[I)V", I_, kNat},
    {"java/io/ObjectInputStream", "allocateNewObject", "(Ljava/lang/Class;Ljava/lang/Class;)Ljava/lang/Object;", S_, kNat},
    {"java/io/ObjectInputStream", "allocateNewArray", "(Ljava/lang/Class;I)Ljava/lang/Object;", S_, kNat},
    {"java/io/ObjectInputStream", "invokeObjectReader", "(Ljava/lang/Object;Ljava/lang/Class;)Z", I_, kNat},
    {"java/io/ObjectInputStream", "latestUserDefinedLoader", "()Ljava/lang/ClassLoader;", S_, kNat},
    {"java/io/ObjectInputStream", "setPrimitiveFieldValues", "(Ljava/lang/Object;[J[C[B)V", S_, kNat},
    {"java/io/ObjectInputStream", "setObjectFieldValue", "(Ljava/lang/Object;JLjava/lang/Class;Ljava/lang/Object;)V", S_, kNat},
    {"java/io/ObjectInputStream", "bytesToFloats", "([BI[FII)V", S_, kNat},
    {"java/io/ObjectOutputStream", "outputClassFields", "(Ljava/lang/Object;Ljava/lang/Class;[I)V", I_, kNat},
    {"java/io/ObjectOutputStream", "invokeObjectWriter", "(Ljava/lang/Object;Ljava/lang/Class;)Z", I_, kNat},
    {"java/io/ObjectOutputStream", "getPrimitiveFieldValues", "(Ljava/lang/Object;[J[C[B)V", S_, kNat},
    {"java/io/ObjectOutputStream", "getObjectFieldValue", "(Ljava/lang/Object;J)Ljava/lang/Object;", S_, kNat},
    {"java/io/ObjectOutputStream", "floatsToBytes", "([FI[BII)V", S_, kNat},

    // The console natives would send every print stream to the console: the library keeps
    // PrintStream in Java over its underlying stream.
    {"java/io/PrintStream", "flush", "()V", I_, kJava},
    {"java/io/PrintStream", "write", "(I)V", I_, kJava},
    {"java/io/PrintStream", "write", "([BII)V", I_, kJava},
    {"java/io/PrintStream", "write", "([C)V", I_, kJava},
    {"java/io/PrintStream", "write", "(Ljava/lang/String;)V", I_, kJava},
    {"java/io/PrintStream", "newLine", "()V", I_, kJava},

    {"java/io/FileSystem", "getFileSystem", "()Ljava/io/FileSystem;", S_, kNat},

    // The binder binds a registered row to a Java method of that name and descriptor too, so
    // none of these may be declared in Java.
    {"java/net/InetAddress", "init", "()V", S_, kNat},
    {"java/net/InetAddressImpl", "getLocalHostName", "()Ljava/lang/String;", I_, kNat},
    {"java/net/InetAddressImpl", "makeAnyLocalAddress", "(Ljava/net/InetAddress;)V", I_, kNat},
    {"java/net/InetAddressImpl", "lookupAllHostAddr", "(Ljava/lang/String;)[[B", I_, kNat},
    {"java/net/InetAddressImpl", "getHostByAddr", "(I)Ljava/lang/String;", I_, kNat},
    {"java/net/InetAddressImpl", "getInetFamily", "()I", I_, kNat},

    {"java/net/PlainDatagramSocketImpl", "init", "()V", S_, kNat},
    {"java/net/PlainDatagramSocketImpl", "bind", "(ILjava/net/InetAddress;)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "send", "(Ljava/net/DatagramPacket;)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "peek", "(Ljava/net/InetAddress;)I", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "receive", "(Ljava/net/DatagramPacket;)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "setTTL", "(B)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "getTTL", "()B", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "join", "(Ljava/net/InetAddress;)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "leave", "(Ljava/net/InetAddress;)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "datagramSocketCreate", "()V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "datagramSocketClose", "()V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "socketSetOption", "(ILjava/lang/Object;)V", I_, kNat},
    {"java/net/PlainDatagramSocketImpl", "socketGetOption", "(I)I", I_, kNat},

    {"java/net/PlainSocketImpl", "socketCreate", "(Z)V", I_, kNat},
    {"java/net/PlainSocketImpl", "socketConnect", "(Ljava/net/InetAddress;I)V", I_, kNat},
    {"java/net/PlainSocketImpl", "socketBind", "(Ljava/net/InetAddress;I)V", I_, kNat},
    {"java/net/PlainSocketImpl", "socketListen", "(I)V", I_, kNat},
    {"java/net/PlainSocketImpl", "socketAccept", "(Ljava/net/SocketImpl;)V", I_, kNat},
    {"java/net/PlainSocketImpl", "socketAvailable", "()I", I_, kNat},
    {"java/net/PlainSocketImpl", "socketClose", "()V", I_, kNat},
    {"java/net/PlainSocketImpl", "initProto", "()V", S_, kNat},
    {"java/net/PlainSocketImpl", "socketSetOption", "(IZLjava/lang/Object;)V", I_, kNat},
    {"java/net/PlainSocketImpl", "socketGetOption", "(I)I", I_, kNat},

    {"java/net/SocketInputStream", "init", "()V", S_, kNat},
    {"java/net/SocketInputStream", "socketRead", "([BII)I", I_, kNat},
    {"java/net/SocketOutputStream", "init", "()V", S_, kNat},
    {"java/net/SocketOutputStream", "socketWrite", "([BII)V", I_, kNat},
    {"java/net/DatagramPacket", "init", "()V", S_, kNat},

    // Magnitudes in, magnitudes out: the receiver is unused, so the library declares them static.
    {"java/math/BigInteger", "plumbInit", "()V", S_, kNat},
    {"java/math/BigInteger", "plumbAdd", "([B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbSubtract", "([B[B)Ljava/math/BigInteger;", S_, kNat},
    {"java/math/BigInteger", "plumbMultiply", "([B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbDivide", "([B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbRemainder", "([B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbDivideAndRemainder", "([B[B)[[B", S_, kNat},
    {"java/math/BigInteger", "plumbGcd", "([B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbModPow", "([B[B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbModInverse", "([B[B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbSquare", "([B)[B", S_, kNat},
    {"java/math/BigInteger", "plumbGeneratePrime", "([B)[B", S_, kNat},
    // java.util.zip, the older generation's rows (the newer ones are declared by no class
    // of this library).
    {"java/util/zip/Adler32", "update", "([BII)V", I_, kNat},
    {"java/util/zip/Adler32", "update1", "(I)V", I_, kNat},
    {"java/util/zip/Adler32", "update", "(II)I", S_, kEither},
    {"java/util/zip/Adler32", "updateBytes", "(I[BII)I", S_, kEither},
    {"java/util/zip/CRC32", "update", "([BII)V", I_, kNat},
    {"java/util/zip/CRC32", "update1", "(I)V", I_, kNat},
    {"java/util/zip/CRC32", "update", "(II)I", S_, kEither},
    {"java/util/zip/CRC32", "updateBytes", "(I[BII)I", S_, kEither},
    {"java/util/zip/Deflater", "setDictionary", "([BII)V", I_, kNat},
    {"java/util/zip/Deflater", "deflate", "([BII)I", I_, kNat},
    {"java/util/zip/Deflater", "getAdler", "()I", I_, kNat},
    {"java/util/zip/Deflater", "getTotalIn", "()I", I_, kNat},
    {"java/util/zip/Deflater", "getTotalOut", "()I", I_, kNat},
    {"java/util/zip/Deflater", "reset", "()V", I_, kNat},
    {"java/util/zip/Deflater", "end", "()V", I_, kNat},
    {"java/util/zip/Deflater", "init", "(Z)V", I_, kNat},
    {"java/util/zip/Deflater", "initWaiting", "(Z)V", I_, kNat},
    {"java/util/zip/Inflater", "setDictionary", "([BII)V", I_, kNat},
    {"java/util/zip/Inflater", "inflate", "([BII)I", I_, kNat},
    {"java/util/zip/Inflater", "getAdler", "()I", I_, kNat},
    {"java/util/zip/Inflater", "getTotalIn", "()I", I_, kNat},
    {"java/util/zip/Inflater", "getTotalOut", "()I", I_, kNat},
    {"java/util/zip/Inflater", "reset", "()V", I_, kNat},
    {"java/util/zip/Inflater", "end", "()V", I_, kNat},
    {"java/util/zip/Inflater", "init", "(Z)V", I_, kNat},
    {"java/util/zip/Inflater", "initWaiting", "(Z)V", I_, kNat},
    // ZipEntry and ZipFile are Java over RandomAccessFile and Inflater; their registered rows
    // answer "nyi", and the binder would put them in place of a Java method of that name and
    // descriptor, so none may be declared.
    {"java/util/zip/ZipEntry", "initFields", "(J)V", I_, kNat},
    {"java/util/zip/ZipEntry", "initIDs", "()V", S_, kNat},
    {"java/util/zip/ZipFile", "close", "(J)V", S_, kNat},
    {"java/util/zip/ZipFile", "getCSize", "(J)I", S_, kNat},
    {"java/util/zip/ZipFile", "getEntry", "(JLjava/lang/String;)J", S_, kNat},
    {"java/util/zip/ZipFile", "getMethod", "(J)I", S_, kNat},
    {"java/util/zip/ZipFile", "getNextEntry", "(JI)J", S_, kNat},
    {"java/util/zip/ZipFile", "getTotal", "(J)I", S_, kNat},
    {"java/util/zip/ZipFile", "initIDs", "()V", S_, kNat},
    {"java/util/zip/ZipFile", "open", "(Ljava/lang/String;)J", S_, kNat},
    {"java/util/zip/ZipFile", "read", "(JJI[BII)I", S_, kNat},
    // ZipFile's reads of its one file, each under the file object's monitor.
    {"java/util/zip/SharedFile", "read", "(Ljava/io/RandomAccessFile;J[BII)I", S_, kNat},
    {"java/util/zip/SharedFile", "close", "(Ljava/io/RandomAccessFile;)V", S_, kNat},
};
#undef I_
#undef S_

// Methods that must be declared, and native, because no row exists under another name or
// because the machine counts the caller's frame.
const char* const kMustBeNative[][2] = {
    {"java/lang/Object", "getClass"},       {"java/lang/Object", "hashCode"},
    {"java/lang/Object", "clone"},          {"java/lang/Object", "notify"},
    {"java/lang/Object", "notifyAll"},      {"java/lang/Object", "wait"},
    {"java/lang/Thread", "start"},          {"java/lang/Thread", "sleep"},
    {"java/lang/Thread", "currentThread"},  {"java/lang/Thread", "yield"},
    {"java/lang/Thread", "isAlive"},        {"java/lang/Thread", "countStackFrames"},
    {"java/lang/Thread", "isInterrupted"},  {"java/lang/System", "currentTimeMillis"},
    {"java/lang/System", "arraycopy"},      {"java/lang/System", "identityHashCode"},
    {"java/lang/System", "initProperties"}, {"java/lang/Runtime", "freeMemory"},
    {"java/lang/Runtime", "totalMemory"},   {"java/lang/Runtime", "gc"},
    {"java/lang/Class", "getName"},         {"java/lang/Class", "isInstance"},
    {"java/lang/Class", "isArray"},         {"java/lang/Class", "getSuperclass"},
    {"java/lang/Class", "getPrimitiveClass"}, {"java/lang/Class", "forName"},
    {"java/lang/Class", "newInstance"},     {"java/lang/Throwable", "fillInStackTrace"},
    {"java/lang/Throwable", "printStackTrace0"}, {"java/lang/String", "intern"},
    {"java/lang/Float", "floatToIntBits"},  {"java/lang/Float", "intBitsToFloat"},
    {"java/lang/Double", "doubleToLongBits"}, {"java/lang/Double", "longBitsToDouble"},
};

// Classes whose static initialiser runs before String exists (or that the machine's class
// parser initialises mid-parse): they must have none.
const char* const kNoInitializer[] = {
    "java/lang/Object",        "java/lang/Throwable",           "java/lang/Error",
    "java/lang/VirtualMachineError", "java/lang/OutOfMemoryError", "java/lang/LinkageError",
    "java/lang/NoClassDefFoundError", "java/lang/Cloneable",       "java/io/Serializable",
};

/* ------------------------------------------------------------------------------------ */
/* Helpers.                                                                              */

const ClassFile* Find(const Library& lib, const std::string& name) {
  auto it = lib.find(name);
  return it == lib.end() ? nullptr : &it->second;
}

struct InstanceField {
  int word;
  std::string owner;
  const Member* field;
};

// The instance words of a class, superclass fields first; false when the chain is broken.
bool InstanceLayout(const Library& lib, const ClassFile& cls, std::vector<InstanceField>& out,
                    std::string& error) {
  std::vector<const ClassFile*> chain;
  for (const ClassFile* c = &cls; c != nullptr;) {
    chain.push_back(c);
    if (chain.size() > 64) {
      error = cls.name + ": superclass cycle";
      return false;
    }
    if (c->superName.empty()) break;
    const ClassFile* s = Find(lib, c->superName);
    if (s == nullptr) {
      error = cls.name + ": superclass " + c->superName + " missing";
      return false;
    }
    c = s;
  }
  int word = 0;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    for (const Member& f : (*it)->fields) {
      if (f.IsStatic()) continue;
      out.push_back({word, (*it)->name, &f});
      word += FieldWords(f.desc);
    }
  }
  return true;
}

// Finds a method in the class or its superclasses (not interfaces).
const Member* FindInherited(const Library& lib, const ClassFile* cls, const std::string& name,
                            const std::string& desc) {
  for (int depth = 0; cls != nullptr && depth < 64; depth++) {
    if (const Member* m = cls->FindMethod(name, desc)) return m;
    cls = cls->superName.empty() ? nullptr : Find(lib, cls->superName);
  }
  return nullptr;
}

// Finds a field in the class or its superclasses, as the machine's look-up by name does.
const Member* FindInheritedField(const Library& lib, const ClassFile* cls, const std::string& name,
                                 const std::string& desc) {
  for (int depth = 0; cls != nullptr && depth < 64; depth++) {
    if (const Member* m = cls->FindField(name, desc)) return m;
    cls = cls->superName.empty() ? nullptr : Find(lib, cls->superName);
  }
  return nullptr;
}

void Add(Problems& p, const std::string& s) { p.push_back(s); }

}  // namespace

/* ------------------------------------------------------------------------------------ */

bool LoadLibrary(const std::string& zipPath, Library& lib, std::string& error) {
  std::vector<ArchiveEntry> entries;
  if (!ReadArchive(zipPath, entries, error)) return false;
  lib.clear();
  for (const ArchiveEntry& e : entries) {
    if (e.flags & 0x8) {
      error = e.name + ": sizes in a data descriptor, not in the local header";
      return false;
    }
    const std::string suffix = ".class";
    if (e.name.size() <= suffix.size() || e.name.compare(e.name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      error = e.name + ": not a class file entry";
      return false;
    }
    ClassFile cls;
    std::string why;
    if (!ParseClass(e.data, cls, why)) {
      error = e.name + ": " + why;
      return false;
    }
    std::string expected = e.name.substr(0, e.name.size() - suffix.size());
    if (cls.name != expected) {
      error = e.name + " holds " + cls.name;
      return false;
    }
    if (lib.count(cls.name) != 0) {
      error = e.name + " appears twice";
      return false;
    }
    lib[cls.name] = cls;
  }
  return true;
}

Problems CheckVersions(const Library& lib) {
  Problems p;
  for (const auto& kv : lib) {
    const ClassFile& c = kv.second;
    if (c.major != 45 || c.minor != 3) {
      Add(p, c.name + ": version " + std::to_string(c.major) + "." + std::to_string(c.minor) + ", not 45.3");
    }
  }
  return p;
}

Problems CheckLayouts(const Library& lib) {
  Problems p;
  for (const LayoutRule& r : LayoutRules()) {
    const ClassFile* c = Find(lib, r.cls);
    if (c == nullptr) {
      if (!r.optional) Add(p, std::string(r.cls) + ": missing");
      continue;
    }
    if (c->superName != r.super) {
      Add(p, std::string(r.cls) + ": superclass " + c->superName + ", expected " + r.super);
    }
    std::vector<InstanceField> layout;
    std::string error;
    if (!InstanceLayout(lib, *c, layout, error)) {
      Add(p, error);
      continue;
    }
    for (const Slot& s : r.slots) {
      const InstanceField* at = nullptr;
      for (const InstanceField& f : layout) {
        if (f.word == s.word) at = &f;
      }
      if (at == nullptr) {
        Add(p, std::string(r.cls) + ": no instance field at word " + std::to_string(s.word));
        continue;
      }
      if (at->field->desc != s.desc || (s.name != nullptr && at->field->name != s.name)) {
        Add(p, std::string(r.cls) + ": word " + std::to_string(s.word) + " is " + at->field->name + " " +
                   at->field->desc + ", expected " + (s.name ? s.name : "(any name)") + " " + s.desc);
      }
    }
    if (r.exact) {
      int words = 0;
      for (const InstanceField& f : layout) words = f.word + FieldWords(f.field->desc);
      int expected = 0;
      for (const Slot& s : r.slots) expected = std::max(expected, s.word + FieldWords(s.desc));
      if (words != expected || layout.size() != r.slots.size()) {
        Add(p, std::string(r.cls) + ": " + std::to_string(layout.size()) + " instance fields in " +
                   std::to_string(words) + " words, expected exactly " + std::to_string(r.slots.size()) + " in " +
                   std::to_string(expected));
      }
    }
  }
  for (const char* name : kNoOwnFields) {
    const ClassFile* c = Find(lib, name);
    if (c == nullptr) {
      Add(p, std::string(name) + ": missing");
      continue;
    }
    for (const Member& f : c->fields) {
      if (!f.IsStatic()) Add(p, std::string(name) + ": declares instance field " + f.name);
    }
  }
  for (const auto& h : kHierarchy) {
    const ClassFile* c = Find(lib, h[0]);
    bool optional = std::string(h[0]).compare(0, 8, "java/io/") == 0;
    if (c == nullptr) {
      if (!optional) Add(p, std::string(h[0]) + ": missing");
      continue;
    }
    if (c->superName != h[1]) Add(p, std::string(h[0]) + ": superclass " + c->superName + ", expected " + h[1]);
  }
  // Only Object has no superclass.
  for (const auto& kv : lib) {
    const ClassFile& c = kv.second;
    if (c.superName.empty() != (c.name == "java/lang/Object")) Add(p, c.name + ": wrong use of super_class 0");
  }
  return p;
}

Problems CheckMembersByName(const Library& lib) {
  Problems p;
  for (const char* name : kRequiredClasses) {
    if (Find(lib, name) == nullptr) Add(p, std::string(name) + ": missing");
  }
  for (const ByNameRule& r : kByName) {
    const ClassFile* c = Find(lib, r.cls);
    std::string what = std::string(r.cls) + "." + r.name + " " + r.desc;
    if (c == nullptr) {
      if (!r.optional) Add(p, std::string(r.cls) + ": missing");
      continue;
    }
    const Member* m;
    if (r.isField) {
      m = r.where == kDeclared ? c->FindField(r.name, r.desc) : FindInheritedField(lib, c, r.name, r.desc);
    } else if (r.where == kDeclared) {
      m = c->FindMethod(r.name, r.desc);
    } else {
      m = FindInherited(lib, c, r.name, r.desc);
    }
    if (m == nullptr) {
      Add(p, what + ": not found");
      continue;
    }
    if (m->IsStatic() != (r.kind == kStatic)) {
      Add(p, what + (r.kind == kStatic ? ": must be static" : ": must not be static"));
    }
    if (r.access == kPublicOnly && (m->access & kAccPublic) == 0) Add(p, what + ": must be public");
  }
  for (const auto& pair : kOverridesAll) {
    const ClassFile* sub = Find(lib, pair[0]);
    const ClassFile* super = Find(lib, pair[1]);
    if (sub == nullptr || super == nullptr) {
      Add(p, std::string(sub == nullptr ? pair[0] : pair[1]) + ": missing");
      continue;
    }
    for (const Member& m : super->methods) {
      if (m.IsStatic() || (m.access & (kAccPrivate | kAccFinal)) != 0 || m.name == "<init>" || m.name == "<clinit>") {
        continue;
      }
      if (sub->FindMethod(m.name, m.desc) == nullptr) {
        Add(p, std::string(pair[0]) + ": does not override " + pair[1] + "." + m.name + m.desc);
      }
    }
  }
  // Object's first non-static method is its constructor: reflection slot 0 relies on it.
  if (const ClassFile* object = Find(lib, "java/lang/Object")) {
    for (const Member& m : object->methods) {
      if (m.IsStatic()) continue;
      if (m.name != "<init>" || m.desc != "()V") {
        Add(p, "java/lang/Object: first instance method is " + m.name + m.desc + ", not <init>()V");
      }
      break;
    }
  }
  // Field look-ups by name end at the first name and descriptor match whatever its kind, so a
  // static field must not shadow one of Thread's instance fields.
  if (const ClassFile* thread = Find(lib, "java/lang/Thread")) {
    std::set<std::string> seen;
    for (const Member& f : thread->fields) {
      std::string key = f.name + " " + f.desc;
      if (!seen.insert(key).second) Add(p, "java/lang/Thread: field " + key + " declared twice");
    }
  }
  return p;
}

Problems CheckNatives(const Library& lib) {
  Problems p;
  for (const auto& kv : lib) {
    const ClassFile& c = kv.second;
    for (const Member& m : c.methods) {
      const NativeRow* row = nullptr;
      for (const NativeRow& r : kRows) {
        if (c.name == r.cls && m.name == r.name && m.desc == r.desc) row = &r;
      }
      std::string what = c.name + "." + m.name + m.desc;
      if (m.IsNative()) {
        if (row == nullptr) {
          Add(p, what + ": native without a registered row");
        } else if (row->rule == kJava) {
          Add(p, what + ": must not be native");
        } else if (row->isStatic != m.IsStatic()) {
          Add(p, what + (row->isStatic ? ": registered as static" : ": registered as an instance method"));
        }
      } else if (row != nullptr && row->rule == kNat) {
        Add(p, what + ": a registered native declared in Java");
      }
    }
  }
  for (const auto& mn : kMustBeNative) {
    const ClassFile* c = Find(lib, mn[0]);
    if (c == nullptr) {
      Add(p, std::string(mn[0]) + ": missing");
      continue;
    }
    bool found = false;
    for (const NativeRow& r : kRows) {
      if (mn[0] != std::string(r.cls) || mn[1] != std::string(r.name)) continue;
      const Member* m = c->FindMethod(r.name, r.desc);
      if (m != nullptr && m->IsNative()) found = true;
    }
    if (!found) Add(p, std::string(mn[0]) + "." + mn[1] + ": must be declared native");
  }
  return p;
}

Problems CheckCreatedClassesExist(const Library& lib) {
  Problems p;
  for (const auto& kv : lib) {
    const ClassFile& c = kv.second;
    for (const Member& m : c.methods) {
      std::vector<std::string> names;
      std::string error;
      if (!CreatedClasses(c, m, names, error)) {
        Add(p, error);
        continue;
      }
      for (const std::string& n : names) {
        if (lib.count(n) == 0) Add(p, c.name + "." + m.name + m.desc + " creates missing class " + n);
      }
    }
  }
  return p;
}

Problems CheckParserPatterns(const Library& lib) {
  Problems p;
  for (const auto& kv : lib) {
    const ClassFile& c = kv.second;
    // The parser skips attributes it does not know, and a skip that ends exactly at the end of
    // the file fails: the last class attribute must be one it reads.
    if (!c.attributes.empty()) {
      const std::string& last = c.attributes.back().name;
      if (last != "SourceFile" && last != "InnerClasses") {
        Add(p, c.name + ": last class attribute is " + last);
      }
    }
    auto deprecated = [&](const std::vector<Attribute>& attrs) {
      for (const Attribute& a : attrs) {
        if (a.name == "Deprecated") return true;
      }
      return false;
    };
    if (deprecated(c.attributes)) Add(p, c.name + ": Deprecated attribute");
    for (const Member& m : c.fields) {
      if (deprecated(m.attributes)) Add(p, c.name + "." + m.name + ": Deprecated attribute");
    }
    // A resolved interface entry cannot be used again: no interface listed twice, and no
    // member-class entry naming an interface the class implements.
    std::set<std::string> ifaces;
    for (const std::string& i : c.interfaces) {
      if (!ifaces.insert(i).second) Add(p, c.name + ": interface " + i + " listed twice");
    }
    for (const Attribute& a : c.attributes) {
      if (a.name != "InnerClasses" || a.data.size() < 2) continue;
      size_t n = static_cast<size_t>(a.data[0] << 8 | a.data[1]);
      for (size_t i = 0; i < n && 2 + 8 * (i + 1) <= a.data.size(); i++) {
        const uint8_t* e = &a.data[2 + 8 * i];
        std::string inner = c.ClassName(static_cast<uint16_t>(e[0] << 8 | e[1]));
        if (ifaces.count(inner) != 0) {
          Add(p, c.name + ": implements its member interface " + inner);
        }
      }
    }
    for (const Member& m : c.methods) {
      if (deprecated(m.attributes)) Add(p, c.name + "." + m.name + ": Deprecated attribute");
      // Interfaces are initialised while their implementors are parsed: nothing may run there.
      if (c.IsInterface() && m.name == "<clinit>") Add(p, c.name + ": interface with a static initialiser");
      int params = ArgumentWords(m.desc) + (m.IsStatic() ? 0 : 1);
      if (params >= 256) Add(p, c.name + "." + m.name + ": " + std::to_string(params) + " parameter words");
      if (const Attribute* code = m.Find("Code")) {
        if (code->data.size() >= 4) {
          int maxStack = code->data[0] << 8 | code->data[1];
          int maxLocals = code->data[2] << 8 | code->data[3];
          if (maxStack + maxLocals > 2000) {
            Add(p, c.name + "." + m.name + ": frame of " + std::to_string(maxStack + maxLocals) + " words");
          }
        }
      }
    }
  }
  for (const char* name : kNoInitializer) {
    const ClassFile* c = Find(lib, name);
    if (c != nullptr && c->FindMethod("<clinit>", "()V") != nullptr) {
      Add(p, std::string(name) + ": has a static initialiser");
    }
  }
  // Object is verified before anything else exists: it names no array class.
  if (const ClassFile* object = Find(lib, "java/lang/Object")) {
    for (size_t i = 1; i < object->pool.size(); i++) {
      if (object->pool[i].tag == kCpClass && object->ClassName(static_cast<uint16_t>(i))[0] == '[') {
        Add(p, "java/lang/Object: names array class " + object->ClassName(static_cast<uint16_t>(i)));
      }
    }
  }
  for (const char* name : {"java/lang/VMOkay", "java/lang/VMAlreadyThrown"}) {
    if (Find(lib, name) != nullptr) Add(p, std::string(name) + ": must not exist");
  }
  return p;
}

Problems CheckAll(const Library& lib) {
  Problems all;
  for (const Problems& part : {CheckVersions(lib), CheckLayouts(lib), CheckMembersByName(lib), CheckNatives(lib),
                               CheckCreatedClassesExist(lib), CheckParserPatterns(lib)}) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

}  // namespace classlib
