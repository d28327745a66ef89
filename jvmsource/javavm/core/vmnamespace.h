/* One class world: its own heap, its interned literals and strings, its class loaders,
   the classes and names the machine uses by identity, the exception class of every
   status, the native interface's handle arrays and the natives' cache. Several machines
   may share one name space; it lives until the last of them is destroyed. */
#ifndef PUX_VMNAMESPACE_H
#define PUX_VMNAMESPACE_H

#include "vmhandlearray.h"
#include "vmobject.h"

/* Getter and setter of one body word of an internal object. */
#define PUX_NS_SCALAR(Name, Type, Word)                                   \
  Type Get##Name() const { return (Type)GetScalar(Word); }                \
  void Set##Name(Type value) { SetScalar(Word, (VMword)value); }
#define PUX_NS_REF(Name, Type, Word)                                      \
  Type* Get##Name() const { return (Type*)GetReference(Word); }           \
  void Set##Name(Type* value) { SetReference(Word, (VMObject*)value); }

class VMNameSpace : public VMInternalObject {
 public:
  enum { Words = 25, RefMask = 0x3FFF80 };
  enum {
    HeapWord = 0,
    MutexWord = 1,
    MonitorMutexWord = 2,
    OpcodeMutexWord = 3,
    SpinLockWord = 4,
    MonitorSpinLockWord = 5,
    VMCountWord = 6,
    LiteralHashTableWord = 7,
    SharedStaticDataClassesWord = 8,
    ClassListWord = 9,
    ArrayClassListWord = 10,
    LiteralsWord = 11,
    ExceptionClassesWord = 12,
    JNIHandleArrayWord = 13,
    JNIFieldIDArrayWord = 14,
    SystemClassLoaderWord = 15,
    ClassLoadersWord = 16,
    ClassesWord = 17,
    JNIUtilsWord = 18,
    BaseObjectWord = 19,
    InternTableWord = 20,
    BreakOpcodesWord = 21,
    LibraryVersionWord = 22,
    JITCookieWord = 23,
    FlagsWord = 24
  };
  enum : uint32_t {
    IsInitializedFlag = 0x1,
    RunVerifierFlag = 0x2,
    ForCompilerFlag = 0x4,
    /* The java/lang/ref classes and the positions of the fields the collector reads are
       in the class list. */
    ReferenceHandlingReadyFlag = 0x8
  };
  /* Entries of the exception-class array, one per status. */
  enum { ExceptionClassCount = 44 };

  /* NULL when any part cannot be made. */
  static VMNameSpace* CreateInstance();
  /* Releases everything the name space owns, and its heap. */
  void Destroy();
  /* The start-up on env's thread: the class world once per name space (stage A, under
     the name space's mutex), then the first classes of the library in env's machine and
     the thread's Thread object (stage B). False at the first failure; a later call
     resumes a stage A that failed. */
  bool Initialize(JNIEnv* env);
  using VMObject::Destroy;

  /* The class of a status's exception, initialised; the class of status 14 when that one
     cannot be had; NULL when neither can. A status outside the table counts as 18. */
  VMLoadableClass* GetExceptionClass(JNIEnv* env, uint32_t status);
  VMLiteral* GetExceptionName(uint32_t status);
  VMClassLoader* FindLoader(void* loaderId);
  /* The loader of the id, made on first use; never two for one id. */
  VMClassLoader* FindOrCreateLoader(void* loaderId);

  PUX_NS_SCALAR(Heap, HHeap*, HeapWord)
  PUX_NS_SCALAR(Mutex, void*, MutexWord)
  PUX_NS_SCALAR(MonitorMutex, void*, MonitorMutexWord)
  PUX_NS_SCALAR(OpcodeMutex, void*, OpcodeMutexWord)
  PUX_NS_SCALAR(SpinLock, void*, SpinLockWord)
  PUX_NS_SCALAR(MonitorSpinLock, void*, MonitorSpinLockWord)
  /* Read and change it only under the spin lock. */
  PUX_NS_SCALAR(VMCount, uint32_t, VMCountWord)
  PUX_NS_REF(LiteralHashTable, VMLiteralHashTable, LiteralHashTableWord)
  PUX_NS_REF(SharedStaticDataClasses, VMLiteralHashTable, SharedStaticDataClassesWord)
  PUX_NS_REF(ClassList, VMClassList, ClassListWord)
  PUX_NS_REF(ArrayClassList, VMArrayClassList, ArrayClassListWord)
  PUX_NS_REF(Literals, VMLiteralTable, LiteralsWord)
  PUX_NS_REF(ExceptionClasses, VMLoadableClassArray, ExceptionClassesWord)
  PUX_NS_REF(JNIHandleArray, VMObjectHandleArray, JNIHandleArrayWord)
  PUX_NS_REF(JNIFieldIDArray, VMObjectHandleArray, JNIFieldIDArrayWord)
  PUX_NS_REF(SystemClassLoader, VMClassLoader, SystemClassLoaderWord)
  PUX_NS_REF(ClassLoaders, VMClassLoaderHashTable, ClassLoadersWord)
  PUX_NS_REF(Classes, VMClassHandleArray, ClassesWord)
  PUX_NS_REF(JNIUtils, VMJniUtils, JNIUtilsWord)
  PUX_NS_REF(BaseObject, VMObject, BaseObjectWord)
  PUX_NS_REF(InternTable, VMJavaLangStringHashTable, InternTableWord)
  PUX_NS_REF(BreakOpcodes, VMDebuggerBreakOpcode, BreakOpcodesWord)
  PUX_NS_SCALAR(LibraryVersion, int32_t, LibraryVersionWord)
  PUX_NS_SCALAR(JITCookie, void*, JITCookieWord)

  bool GetIsInitialized() const { return (GetScalar(FlagsWord) & IsInitializedFlag) != 0; }
  bool GetRunVerifier() const { return (GetScalar(FlagsWord) & RunVerifierFlag) != 0; }
  void SetRunVerifier() { SetFlag(RunVerifierFlag); }
  void ClearRunVerifier() { ClearFlag(RunVerifierFlag); }
  bool GetForCompiler() const { return (GetScalar(FlagsWord) & ForCompilerFlag) != 0; }
  void SetForCompiler() { SetFlag(ForCompilerFlag); }
  void ClearForCompiler() { ClearFlag(ForCompilerFlag); }
  bool GetReferenceHandlingReady() const { return (GetScalar(FlagsWord) & ReferenceHandlingReadyFlag) != 0; }
  /* Initialises the java/lang/ref classes in the env's machine (loading them into the
     class list first when the library start-up has not) and records the positions of
     the fields the collector reads; from then on the collector clears and enqueues
     reference objects (library version 2 and up). False when a class or field is
     missing or of the wrong kind. */
  bool InitializeReferenceHandling(JNIEnv* env);

 private:
  static VMNameSpace* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  bool InitializeStageA(JNIEnv* env);
  bool InitializeStageB(JNIEnv* env);
  VMLoadableClass* FindExceptionClass(JNIEnv* env, uint32_t status);
  void SetSharedStaticDataClass(VMLiteral* literal);
  void SetIsInitialized() { SetFlag(IsInitializedFlag); }
  void ClearIsInitialized() { ClearFlag(IsInitializedFlag); }
  void SetFlag(VMword bit) { __atomic_fetch_or(&Body()[FlagsWord], bit, __ATOMIC_SEQ_CST); }
  void ClearFlag(VMword bit) { __atomic_fetch_and(&Body()[FlagsWord], ~bit, __ATOMIC_SEQ_CST); }
  friend class NameSpaceTestAccess;
};

/* The classes the machine uses by identity (32 words, words 0-25 references). */
class VMClassList : public VMInternalObject {
 public:
  enum { Words = 32, RefMask = 0x3FFFFFF };
  enum {
    ObjectClassWord, StringClassWord, ClassClassWord, CloneableClassWord, SerializableClassWord,
    VMvoidClassWord, VMbooleanClassWord, VMbyteClassWord, VMshortClassWord, VMcharClassWord,
    VMintClassWord, VMlongClassWord, VMfloatClassWord, VMdoubleClassWord, ReflectFieldClassWord,
    ReflectMethodClassWord, ReflectConstructorClassWord, ReflectArrayClassWord,
    BigDecimalClassWord, ReferenceClassWord, ReferenceQueueClassWord, OnDemandThreadClassWord,
    OnDemandThreadGroupClassWord, SoftReferenceClassWord, WeakReferenceClassWord,
    PhantomReferenceClassWord, ReferenceReferentIndexWord, ReferenceQueueIndexWord,
    ReferenceNextIndexWord, ReferenceLockIndexWord, ReferencePendingIndexWord,
    ReferenceQueueNULLIndexWord
  };

  static VMClassList* CreateInstance(HHeap* heap);
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }
  /* java/lang/Thread and java/lang/ThreadGroup, looked up on first use; NULL (and not
     remembered) when the class cannot be had. */
  VMLoadableClass* GetThreadClass(JNIEnv* env);
  VMLoadableClass* GetThreadGroupClass(JNIEnv* env);

#define PUX_CLASS_LIST_CLASS(Name)                                                  \
  VMLoadableClass* Get##Name() const { return (VMLoadableClass*)GetReference(Name##Word); } \
 private:                                                                           \
  void Set##Name(VMLoadableClass* c) { SetReference(Name##Word, (VMObject*)c); }   \
 public:
#define PUX_CLASS_LIST_INDEX(Name)                                                  \
  uint32_t Get##Name() const { return GetScalar(Name##Word); }                      \
 private:                                                                           \
  void Set##Name(uint32_t i) { SetScalar(Name##Word, i); }                          \
 public:
  PUX_CLASS_LIST_CLASS(ObjectClass) PUX_CLASS_LIST_CLASS(StringClass)
  PUX_CLASS_LIST_CLASS(ClassClass) PUX_CLASS_LIST_CLASS(CloneableClass)
  PUX_CLASS_LIST_CLASS(SerializableClass) PUX_CLASS_LIST_CLASS(VMvoidClass)
  PUX_CLASS_LIST_CLASS(VMbooleanClass) PUX_CLASS_LIST_CLASS(VMbyteClass)
  PUX_CLASS_LIST_CLASS(VMshortClass) PUX_CLASS_LIST_CLASS(VMcharClass)
  PUX_CLASS_LIST_CLASS(VMintClass) PUX_CLASS_LIST_CLASS(VMlongClass)
  PUX_CLASS_LIST_CLASS(VMfloatClass) PUX_CLASS_LIST_CLASS(VMdoubleClass)
  PUX_CLASS_LIST_CLASS(ReflectFieldClass) PUX_CLASS_LIST_CLASS(ReflectMethodClass)
  PUX_CLASS_LIST_CLASS(ReflectConstructorClass) PUX_CLASS_LIST_CLASS(ReflectArrayClass)
  PUX_CLASS_LIST_CLASS(BigDecimalClass) PUX_CLASS_LIST_CLASS(ReferenceClass)
  PUX_CLASS_LIST_CLASS(ReferenceQueueClass) PUX_CLASS_LIST_CLASS(OnDemandThreadClass)
  PUX_CLASS_LIST_CLASS(OnDemandThreadGroupClass) PUX_CLASS_LIST_CLASS(SoftReferenceClass)
  PUX_CLASS_LIST_CLASS(WeakReferenceClass) PUX_CLASS_LIST_CLASS(PhantomReferenceClass)
  PUX_CLASS_LIST_INDEX(ReferenceReferentIndex) PUX_CLASS_LIST_INDEX(ReferenceQueueIndex)
  PUX_CLASS_LIST_INDEX(ReferenceNextIndex) PUX_CLASS_LIST_INDEX(ReferenceLockIndex)
  PUX_CLASS_LIST_INDEX(ReferencePendingIndex) PUX_CLASS_LIST_INDEX(ReferenceQueueNULLIndex)
#undef PUX_CLASS_LIST_CLASS
#undef PUX_CLASS_LIST_INDEX

 private:
  static VMClassList* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  VMLoadableClass* OnDemand(JNIEnv* env, uint32_t word, const char* name);
  friend class VMNameSpace;
};

/* The array classes the machine uses by identity (14 words, all references). */
class VMArrayClassList : public VMInternalObject {
 public:
  enum { Words = 14, RefMask = 0x3FFF };
  enum {
    VMbooleanArrayClassWord, VMbyteArrayClassWord, VMshortArrayClassWord, VMcharArrayClassWord,
    VMintArrayClassWord, VMlongArrayClassWord, VMfloatArrayClassWord, VMdoubleArrayClassWord,
    VMObjectArrayClassWord, VMClassArrayClassWord, VMJavaLangStringArrayClassWord,
    VMJavaLangReflectFieldArrayClassWord, VMJavaLangReflectMethodArrayClassWord,
    VMJavaLangReflectConstructorArrayClassWord
  };

  static VMArrayClassList* CreateInstance(HHeap* heap);
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }
  VMArrayClass* GetVMLoadableClassArrayClass() const { return GetVMClassArrayClass(); }

#define PUX_ARRAY_CLASS(Name)                                                       \
  VMArrayClass* Get##Name() const { return (VMArrayClass*)GetReference(Name##Word); } \
 private:                                                                           \
  void Set##Name(VMArrayClass* c) { SetReference(Name##Word, (VMObject*)c); }      \
 public:
  PUX_ARRAY_CLASS(VMbooleanArrayClass) PUX_ARRAY_CLASS(VMbyteArrayClass)
  PUX_ARRAY_CLASS(VMshortArrayClass) PUX_ARRAY_CLASS(VMcharArrayClass)
  PUX_ARRAY_CLASS(VMintArrayClass) PUX_ARRAY_CLASS(VMlongArrayClass)
  PUX_ARRAY_CLASS(VMfloatArrayClass) PUX_ARRAY_CLASS(VMdoubleArrayClass)
  PUX_ARRAY_CLASS(VMObjectArrayClass) PUX_ARRAY_CLASS(VMClassArrayClass)
  PUX_ARRAY_CLASS(VMJavaLangStringArrayClass) PUX_ARRAY_CLASS(VMJavaLangReflectFieldArrayClass)
  PUX_ARRAY_CLASS(VMJavaLangReflectMethodArrayClass)
  PUX_ARRAY_CLASS(VMJavaLangReflectConstructorArrayClass)
#undef PUX_ARRAY_CLASS

 private:
  static VMArrayClassList* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  friend class VMNameSpace;
};

/* The well-known names, each an interned literal compared by pointer. */
class VMLiteralTable : public VMInternalObject {
 public:
  enum { Words = 18, RefMask = 0x3FFFF };
  enum {
    SigNullWord, NullWord, InitWord, ClinitWord, FinalizeWord, RunWord, Java_lang_BooleanWord,
    Java_lang_CharacterWord, Java_lang_FloatWord, Java_lang_DoubleWord, Java_lang_ByteWord,
    Java_lang_ShortWord, Java_lang_IntegerWord, Java_lang_LongWord, Java_lang_ObjectWord,
    Java_lang_StringWord, Java_lang_SystemWord, InitializeSystemClassWord
  };

  static VMLiteralTable* CreateInstance(HHeap* heap);
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }

#define PUX_LITERAL(Name) PUX_NS_REF(Name, VMLiteral, Name##Word)
  PUX_LITERAL(SigNull) PUX_LITERAL(Null) PUX_LITERAL(Init) PUX_LITERAL(Clinit)
  PUX_LITERAL(Finalize) PUX_LITERAL(Run) PUX_LITERAL(Java_lang_Boolean)
  PUX_LITERAL(Java_lang_Character) PUX_LITERAL(Java_lang_Float) PUX_LITERAL(Java_lang_Double)
  PUX_LITERAL(Java_lang_Byte) PUX_LITERAL(Java_lang_Short) PUX_LITERAL(Java_lang_Integer)
  PUX_LITERAL(Java_lang_Long) PUX_LITERAL(Java_lang_Object) PUX_LITERAL(Java_lang_String)
  PUX_LITERAL(Java_lang_System) PUX_LITERAL(InitializeSystemClass)
#undef PUX_LITERAL

 private:
  static VMLiteralTable* Instantiate(HHeap* heap, uint32_t words, VMword mask);
};

/* Holds a host mutex for the life of a scope (through the counted lock). It has a
   destructor: never let a long jump skip one. */
class VMMutexGuard {
 public:
  explicit VMMutexGuard(void* mutex);
  ~VMMutexGuard();
  VMMutexGuard(const VMMutexGuard&) = delete;
  VMMutexGuard& operator=(const VMMutexGuard&) = delete;

 private:
  void* mutex;
};

#undef PUX_NS_SCALAR
#undef PUX_NS_REF

#endif
