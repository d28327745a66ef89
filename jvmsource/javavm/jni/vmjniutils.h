/* The natives' cache of one name space: the classes and member ids the class-library
   natives use over and over, looked up the first time a native asks and shared from then
   on by every thread of every machine on the name space.

   The cache object has one word per class (a record, NULL until first asked for); a
   record holds the class as a name-space handle in word 0 and the ids of the class's
   members in the words after it, 0 until found. Records are published with one atomic
   compare-and-swap after they are complete, ids with one atomic store, so a reader needs
   no lock; the look-ups themselves (which may run a class's static initialiser) hold no
   lock either.

   Also here: VMObjectMonitorLock, the scoped hold of an object's monitor that natives
   with caches of their own use. */
#ifndef PUX_VMJNIUTILS_H
#define PUX_VMJNIUTILS_H

#include "vmobject.h"
#include "vmstatus.h"

/* Holds an object's monitor, entered in the given name space, for the life of a scope.
   It has a destructor: never let a long jump skip one (only code that catches its own
   jumps may run while it is held). */
class VMObjectMonitorLock {
 public:
  VMObjectMonitorLock(VMObject* object, VMNameSpace* ns);
  ~VMObjectMonitorLock() { Release(); }
  VMObjectMonitorLock(const VMObjectMonitorLock&) = delete;
  VMObjectMonitorLock& operator=(const VMObjectMonitorLock&) = delete;
  /* 0 when the monitor is held. */
  VMStatus GetStatus() const { return status; }
  /* Leaves the monitor when it was entered (once). */
  void Release();

 private:
  VMStatus status;
  VMObject* object;
  VMNameSpace* nameSpace;
};

/* The cached classes: cache word, record class suffix, class name, member count. */
#define PUX_JNIUTILS_CLASSES(X)                                                    \
  X(1, FileDescriptor, "java/io/FileDescriptor", 1)                                \
  X(2, InetAddress, "java/net/InetAddress", 3)                                     \
  X(3, PlainSocketImpl, "java/net/PlainSocketImpl", 5)                             \
  X(4, PlainDatagramSocketImpl, "java/net/PlainDatagramSocketImpl", 3)             \
  X(5, DatagramPacket, "java/net/DatagramPacket", 4)                               \
  X(6, Properties, "java/util/Properties", 1)                                      \
  X(7, RandomAccessFile, "java/io/RandomAccessFile", 1)                            \
  X(8, FileOutputStream, "java/io/FileOutputStream", 1)                            \
  X(9, FileInputStream, "java/io/FileInputStream", 1)                              \
  X(10, SocketException, "java/net/SocketException", 0)                            \
  X(11, IOException, "java/io/IOException", 0)                                     \
  X(12, SocketInputStream, "java/net/SocketInputStream", 1)                        \
  X(13, InterruptedIOException, "java/io/InterruptedIOException", 0)               \
  X(14, JSystem, "java/lang/System", 3)                                            \
  X(15, UnknownHostException, "java/net/UnknownHostException", 0)                  \
  X(16, Thread, "java/lang/Thread", 10)                                            \
  X(17, ThreadGroup, "java/lang/ThreadGroup", 8)                                   \
  X(18, ObjectOutputStream, "java/io/ObjectOutputStream", 9)                       \
  X(19, ObjectInputStream, "java/io/ObjectInputStream", 9)                         \
  X(20, ClassLoader_NativeLibrary, "java/lang/ClassLoader$NativeLibrary", 1)       \
  X(21, File, "java/io/File", 1)                                                   \
  X(22, Ref_Reference, "java/lang/ref/Reference", 1)                               \
  X(23, AccessibleObject, "java/lang/reflect/AccessibleObject", 1)

/* The cached members of each class, in record-word order: record class suffix, record
   word, accessor name, kind (Field, StaticField, Method), name looked up, signature. */
#define PUX_JNIUTILS_MEMBERS_FileDescriptor(M) M(FileDescriptor, 1, fd, Field, "fd", "I")
#define PUX_JNIUTILS_MEMBERS_InetAddress(M)          \
  M(InetAddress, 1, address, Field, "address", "I") \
  M(InetAddress, 2, family, Field, "family", "I")   \
  M(InetAddress, 3, constructor, Method, "<init>", "()V")
#define PUX_JNIUTILS_MEMBERS_PlainSocketImpl(M)                                  \
  M(PlainSocketImpl, 1, address, Field, "address", "Ljava/net/InetAddress;")     \
  M(PlainSocketImpl, 2, fd, Field, "fd", "Ljava/io/FileDescriptor;")             \
  M(PlainSocketImpl, 3, localport, Field, "localport", "I")                      \
  M(PlainSocketImpl, 4, port, Field, "port", "I")                                \
  M(PlainSocketImpl, 5, timeout, Field, "timeout", "I")
#define PUX_JNIUTILS_MEMBERS_PlainDatagramSocketImpl(M)                          \
  M(PlainDatagramSocketImpl, 1, fd, Field, "fd", "Ljava/io/FileDescriptor;")     \
  M(PlainDatagramSocketImpl, 2, localPort, Field, "localPort", "I")              \
  M(PlainDatagramSocketImpl, 3, timeout, Field, "timeout", "I")
#define PUX_JNIUTILS_MEMBERS_DatagramPacket(M)                                   \
  M(DatagramPacket, 1, buf, Field, "buf", "[B")                                  \
  M(DatagramPacket, 2, length, Field, "length", "I")                             \
  M(DatagramPacket, 3, address, Field, "address", "Ljava/net/InetAddress;")      \
  M(DatagramPacket, 4, port, Field, "port", "I")
#define PUX_JNIUTILS_MEMBERS_Properties(M) \
  M(Properties, 1, put, Method, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;")
#define PUX_JNIUTILS_MEMBERS_RandomAccessFile(M) \
  M(RandomAccessFile, 1, fd, Field, "fd", "Ljava/io/FileDescriptor;")
#define PUX_JNIUTILS_MEMBERS_FileOutputStream(M) \
  M(FileOutputStream, 1, fd, Field, "fd", "Ljava/io/FileDescriptor;")
#define PUX_JNIUTILS_MEMBERS_FileInputStream(M) \
  M(FileInputStream, 1, fd, Field, "fd", "Ljava/io/FileDescriptor;")
#define PUX_JNIUTILS_MEMBERS_SocketException(M)
#define PUX_JNIUTILS_MEMBERS_IOException(M)
#define PUX_JNIUTILS_MEMBERS_SocketInputStream(M) \
  M(SocketInputStream, 1, impl, Field, "impl", "Ljava/net/SocketImpl;")
#define PUX_JNIUTILS_MEMBERS_InterruptedIOException(M)
#define PUX_JNIUTILS_MEMBERS_JSystem(M)                              \
  M(JSystem, 1, err, StaticField, "err", "Ljava/io/PrintStream;")   \
  M(JSystem, 2, in, StaticField, "in", "Ljava/io/InputStream;")     \
  M(JSystem, 3, out, StaticField, "out", "Ljava/io/PrintStream;")
#define PUX_JNIUTILS_MEMBERS_UnknownHostException(M)
#define PUX_JNIUTILS_MEMBERS_Thread(M)                                                                  \
  M(Thread, 1, name, Field, "name", "[C")                                                               \
  M(Thread, 2, priority, Field, "priority", "I")                                                        \
  M(Thread, 3, PrivateInfo, Field, "PrivateInfo", "I")                                                  \
  M(Thread, 4, group, Field, "group", "Ljava/lang/ThreadGroup;")                                        \
  M(Thread, 5, exit, Method, "exit", "()V")                                                             \
  M(Thread, 6, eetop, Field, "eetop", "J")                                                              \
  M(Thread, 7, daemon, Field, "daemon", "Z")                                                            \
  M(Thread, 8, inheritableThreadLocals, Field, "inheritableThreadLocals", "Ljava/util/Map;")            \
  M(Thread, 9, inheritedAccessControlContext, Field, "inheritedAccessControlContext",                  \
    "Ljava/security/AccessControlContext;")                                                             \
  M(Thread, 10, threadInitNumber, StaticField, "threadInitNumber", "I")
#define PUX_JNIUTILS_MEMBERS_ThreadGroup(M)                              \
  M(ThreadGroup, 1, constructor, Method, "<init>", "()V")               \
  M(ThreadGroup, 2, uncaughtException, Method, "uncaughtException",     \
    "(Ljava/lang/Thread;Ljava/lang/Throwable;)V")                        \
  M(ThreadGroup, 3, threads, Field, "threads", "[Ljava/lang/Thread;")   \
  M(ThreadGroup, 4, groups, Field, "groups", "[Ljava/lang/ThreadGroup;") \
  M(ThreadGroup, 5, destroyed, Field, "destroyed", "Z")                 \
  M(ThreadGroup, 6, unstarted, Field, "unstarted", "I")                 \
  M(ThreadGroup, 7, add, Method, "add", "(Ljava/lang/Thread;)V")        \
  M(ThreadGroup, 8, remove, Method, "remove", "(Ljava/lang/Thread;)V")
#define PUX_JNIUTILS_MEMBERS_ObjectOutputStream(M)                                   \
  M(ObjectOutputStream, 1, writeByte, Method, "writeByte", "(I)V")                   \
  M(ObjectOutputStream, 2, writeChar, Method, "writeChar", "(I)V")                   \
  M(ObjectOutputStream, 3, writeFloat, Method, "writeFloat", "(F)V")                 \
  M(ObjectOutputStream, 4, writeDouble, Method, "writeDouble", "(D)V")               \
  M(ObjectOutputStream, 5, writeInt, Method, "writeInt", "(I)V")                     \
  M(ObjectOutputStream, 6, writeLong, Method, "writeLong", "(J)V")                   \
  M(ObjectOutputStream, 7, writeShort, Method, "writeShort", "(I)V")                 \
  M(ObjectOutputStream, 8, writeBoolean, Method, "writeBoolean", "(Z)V")             \
  M(ObjectOutputStream, 9, writeObject, Method, "writeObject", "(Ljava/lang/Object;)V")
#define PUX_JNIUTILS_MEMBERS_ObjectInputStream(M)                                    \
  M(ObjectInputStream, 1, readByte, Method, "readByte", "()B")                       \
  M(ObjectInputStream, 2, readChar, Method, "readChar", "()C")                       \
  M(ObjectInputStream, 3, readFloat, Method, "readFloat", "()F")                     \
  M(ObjectInputStream, 4, readDouble, Method, "readDouble", "()D")                   \
  M(ObjectInputStream, 5, readInt, Method, "readInt", "()I")                         \
  M(ObjectInputStream, 6, readLong, Method, "readLong", "()J")                       \
  M(ObjectInputStream, 7, readShort, Method, "readShort", "()S")                     \
  M(ObjectInputStream, 8, readBoolean, Method, "readBoolean", "()Z")                 \
  M(ObjectInputStream, 9, readObject, Method, "readObject", "()Ljava/lang/Object;")
#define PUX_JNIUTILS_MEMBERS_ClassLoader_NativeLibrary(M) \
  M(ClassLoader_NativeLibrary, 1, handle, Field, "handle", "J")
#define PUX_JNIUTILS_MEMBERS_File(M) M(File, 1, path, Field, "path", "Ljava/lang/String;")
#define PUX_JNIUTILS_MEMBERS_Ref_Reference(M) \
  M(Ref_Reference, 1, referent, Field, "referent", "Ljava/lang/Object;")
#define PUX_JNIUTILS_MEMBERS_AccessibleObject(M) \
  M(AccessibleObject, 1, isAccessible, Field, "override", "Z")

/* Every member of every class, in cache-word order. */
#define PUX_JNIUTILS_ALL_MEMBERS_OF(word, Class, javaName, count) PUX_JNIUTILS_MEMBERS_##Class(PUX_JNIUTILS_M)

/* The id type of a member kind. */
#define PUX_JNIUTILS_ID_Field jfieldID
#define PUX_JNIUTILS_ID_StaticField jfieldID
#define PUX_JNIUTILS_ID_Method jmethodID

/* One record class per cached class: word 0 the class, then one id per member. */
#define PUX_JNIUTILS_RECORD_ACCESSORS(Class, word, member, kind, name, signature)                       \
  PUX_JNIUTILS_ID_##kind Get##member() const {                                                          \
    return (PUX_JNIUTILS_ID_##kind)(uintptr_t)__atomic_load_n(&Body()[word], __ATOMIC_ACQUIRE);          \
  }                                                                                                     \
  void Set##member(PUX_JNIUTILS_ID_##kind id) {                                                        \
    __atomic_store_n(&Body()[word], (VMword)(uintptr_t)id, __ATOMIC_RELEASE);                          \
  }
#define PUX_JNIUTILS_RECORD_CLASS(word, Class, javaName, count)                                        \
  class VMJniUtils##Class : public VMInternalObject {                                                   \
   public:                                                                                              \
    enum { Words = 1 + (count), RefMask = 0 };                                                          \
    static VMJniUtils##Class* Instantiate(HHeap* heap, uint32_t words, VMword mask) {                   \
      return (VMJniUtils##Class*)CreateInternalNotToBeCalledDirectly(heap, words, mask,                 \
                                                                     VMTag_VMJniUtils##Class, jallocFailFast); \
    }                                                                                                   \
    jclass Getcls() const { return (jclass)(uintptr_t)__atomic_load_n(&Body()[0], __ATOMIC_ACQUIRE); }  \
    void Setcls(jclass cls) { __atomic_store_n(&Body()[0], (VMword)(uintptr_t)cls, __ATOMIC_RELEASE); } \
    PUX_JNIUTILS_MEMBERS_##Class(PUX_JNIUTILS_RECORD_ACCESSORS)                                         \
  };
PUX_JNIUTILS_CLASSES(PUX_JNIUTILS_RECORD_CLASS)
#undef PUX_JNIUTILS_RECORD_CLASS
#undef PUX_JNIUTILS_RECORD_ACCESSORS

class VMJniUtils : public VMInternalObject {
 public:
  enum { Words = 24, RefMask = 0xFFFFFF };
  enum { NameSpaceWord = 0, ClassCount = 23 };

  /* The cache of a new name space (records made on first use); NULL without memory. */
  static VMJniUtils* CreateInstance(VMNameSpace* ns);
  static VMJniUtils* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  /* Destroys the records that were made, then the cache. The handles in the records are
     entries of the name space's member-id array, which goes with the name space. */
  void Destroy(HHeap* heap);

  VMNameSpace* GetNameSpace() const { return (VMNameSpace*)GetScalar(NameSpaceWord); }
  void SetNameSpace(VMNameSpace* ns) { SetScalar(NameSpaceWord, (VMword)ns); }

  /* Per class: the record word (Get/Set, no look-up), the record made on first use
     (GetVMJni<Class>: NULL when it cannot be made, with the exception pending), and the
     class handle in it (GetClass<Class>: 0 for a class the library does not have). */
#define PUX_JNIUTILS_CLASS_ACCESSORS(word, Class, javaName, count)                                  \
  VMJniUtils##Class* Get##Class() const {                                                            \
    return (VMJniUtils##Class*)__atomic_load_n(&Body()[word], __ATOMIC_ACQUIRE);                     \
  }                                                                                                  \
  void Set##Class(VMJniUtils##Class* record) {                                                       \
    __atomic_store_n(&Body()[word], (VMword)record, __ATOMIC_RELEASE);                               \
  }                                                                                                  \
  VMJniUtils##Class* GetVMJni##Class(JNIEnv* env) { return (VMJniUtils##Class*)GetRecord(env, word); } \
  jclass GetClass##Class(JNIEnv* env) {                                                              \
    VMJniUtils##Class* record = GetVMJni##Class(env);                                                \
    return record != NULL ? record->Getcls() : (jclass)0;                                            \
  }
  PUX_JNIUTILS_CLASSES(PUX_JNIUTILS_CLASS_ACCESSORS)
#undef PUX_JNIUTILS_CLASS_ACCESSORS

  /* Per member: GetField<Class>_<member>, the id found on first use; 0 when the member
     is not found (its NoSuchFieldError or NoSuchMethodError pending; the next call looks
     again), or for a class the library does not have (NoClassDefFoundError pending). */
#define PUX_JNIUTILS_MEMBER_GETTER(Class, word, member, kind, name, signature)                       \
  PUX_JNIUTILS_ID_##kind GetField##Class##_##member(JNIEnv* env) {                                   \
    return (PUX_JNIUTILS_ID_##kind)GetMember(env, VMJniUtils::Class##Word, word, k##kind, name, signature); \
  }
#define PUX_JNIUTILS_M PUX_JNIUTILS_MEMBER_GETTER
  PUX_JNIUTILS_CLASSES(PUX_JNIUTILS_ALL_MEMBERS_OF)
#undef PUX_JNIUTILS_M
#undef PUX_JNIUTILS_MEMBER_GETTER

  /* The cache word of each class. */
#define PUX_JNIUTILS_WORD(word, Class, javaName, count) Class##Word = word,
  enum ClassWord { PUX_JNIUTILS_CLASSES(PUX_JNIUTILS_WORD) };
#undef PUX_JNIUTILS_WORD
  enum MemberKind { kField, kStaticField, kMethod };

  /* The record of a cache word (1-23), made on first use; NULL with the exception
     pending when it cannot be made. A class that is really missing gets a record with
     class 0, once and for good; a look-up that failed for want of memory publishes
     nothing, so a later call tries again. */
  VMObject* GetRecord(JNIEnv* env, uint32_t word);
  /* The id of a member of the record of a cache word. */
  jobject GetMember(JNIEnv* env, uint32_t classWord, uint32_t memberWord, MemberKind kind, const char* name,
                    const char* signature);
};

#endif
