/* Class descriptors, their members and the process-wide records of registered native and
   compiled code.

   A descriptor is the java.lang.Class object of one type in one name space: a primitive,
   an array type, or a class or interface read from a class file. Fields, methods and
   local variables of a loaded class are heap objects of the VMMember family. */
#ifndef PUX_VMCLASS_H
#define PUX_VMCLASS_H

#include "vmarray.h"
#include "vmobject.h"
#include "vmstatus.h"

class VMLiteralIterator;

/* One entry of a native registration table, laid out as native code writes it. */
#ifndef PUX_JNINATIVEMETHOD_DEFINED
#define PUX_JNINATIVEMETHOD_DEFINED
typedef struct {
  char* name;
  char* signature;
  void* fnPtr;
} JNINativeMethod;
#endif

/* A precompiled class as the host hands it in: four pointers, read as they stand. */
struct MCConstPoolClassDefinition {
  const char** classNames;     /* NULL-terminated; entry 0 is the compiled class */
  const uint32_t* methodRefs;  /* {u16 class index, u16 method index}, ends at a bad class index */
  const char** strings;        /* NULL-terminated */
  void** code;                 /* one entry per method in declaration order, NULL = interpreted */
};
static_assert(sizeof(MCConstPoolClassDefinition) == 16, "four pointers");

/* ------------------------------------------------------------------------------------ */
/* Descriptors                                                                           */

/* The type of a primitive class: the newarray type codes, and -1 for void. */
enum VMPrimitiveType {
  VMTypeBoolean = 4, VMTypeChar = 5, VMTypeFloat = 6, VMTypeDouble = 7,
  VMTypeByte = 8, VMTypeShort = 9, VMTypeInt = 10, VMTypeLong = 11, VMTypeVoid = -1,
};

class VMClass : public VMObject {
 public:
  enum {
    NameSpaceWord = 0,
    SuperWord = 1,
    NameWord = 2,
    ClassLoaderWord = 3,
    ArrayOfWord = 4,
    HashWord = 5,
    KindBitsWord = 6,
    TypeOrMethodTableWord = 7,
    ElementOrInterfacesWord = 8,
  };
  enum : uint32_t {
    IsPrimitiveBit = 1,
    IsLoadableBit = 2,
    IsInterfaceBit = 4,
    IsArrayBit = 8,
    IsTwoEntriesBit = 16,
    IsClassbeingInitializedBit = 32,
  };
  /* What Identify answers. */
  enum Identity {
    IdPrimitive = 0,
    IdArray = 1,
    IdOther = 2,
    IdBoolean = 3,
    IdCharacter = 4,
    IdFloat = 5,
    IdDouble = 6,
    IdByte = 7,
    IdShort = 8,
    IdInteger = 9,
    IdLong = 10,
  };
  static constexpr VMword Tag = 0x206BFECAu;

  VMNameSpace* GetNameSpace() const { return (VMNameSpace*)GetWord(NameSpaceWord); }
  HHeap* GetHeap() const;
  VMLoadableClass* GetSuper() const { return (VMLoadableClass*)GetWord(SuperWord); }
  void SetSuper(VMLoadableClass* c) { SetWord(SuperWord, (VMword)c); }
  /* The interned name in internal form ("java/lang/String", "[C"). */
  VMLiteral* GetName() const { return (VMLiteral*)GetWord(NameWord); }
  VMClassLoader* GetClassLoader() const { return (VMClassLoader*)GetWord(ClassLoaderWord); }
  void SetClassLoader(VMClassLoader* l) { SetWord(ClassLoaderWord, (VMword)l); }
  VMArrayClass* GetArrayOf() const { return (VMArrayClass*)GetWord(ArrayOfWord); }
  void SetArrayOf(VMArrayClass* c) { SetWord(ArrayOfWord, (VMword)c); }
  VMword GetHash() const { return GetWord(HashWord); }
  VMword GetKindBits() const { return GetWord(KindBitsWord); }

#define PUX_VMCLASS_KIND_BIT(Name)                                                  \
  bool GetIs##Name() const { return (GetWord(KindBitsWord) & Is##Name##Bit) != 0; } \
  void SetIs##Name() { SetWord(KindBitsWord, GetWord(KindBitsWord) | Is##Name##Bit); } \
  void ClearIs##Name() { SetWord(KindBitsWord, GetWord(KindBitsWord) & ~(VMword)Is##Name##Bit); }
  PUX_VMCLASS_KIND_BIT(Primitive)
  PUX_VMCLASS_KIND_BIT(Loadable)
  PUX_VMCLASS_KIND_BIT(Interface)
  PUX_VMCLASS_KIND_BIT(Array)
  PUX_VMCLASS_KIND_BIT(TwoEntries)
  PUX_VMCLASS_KIND_BIT(ClassbeingInitialized)
#undef PUX_VMCLASS_KIND_BIT

  /* Narrowing views; each asserts the kind. (They hide VMObject's accessors of the
     header's class, which for a descriptor is always java/lang/Class.) */
  VMPrimitiveClass* GetPrimitiveClass();
  VMArrayClass* GetArrayClass();
  VMLoadableClass* GetLoadableClass();
  VMLoadableOrArrayClass* GetLoadableOrArrayClass();

  /* Releases the descriptor according to its kind; one with no kind bit is left alone. */
  void Destroy(HHeap* heap);

  /* Look-ups. A NULL loader, or the system loader, means the loader of the calling
     thread's current class-loader id. NULL for every failure. */
  static VMClass* FindByName(VMNameSpace* ns, VMLiteral* name, VMClassLoader* loader);
  static VMClass* FindByName(VMNameSpace* ns, const char* name, VMClassLoader* loader);
  static VMClass* FindSystemClass(VMNameSpace* ns, VMLiteral* name);
  static VMClass* FindSystemClass(VMNameSpace* ns, const char* name);
  static VMClass* FindByDotName(JNIEnv* env, VMLiteral* dotName, VMClassLoader* loader);
  static VMClass* FindBySignature(VMNameSpace* ns, VMLiteral* signature, VMClassLoader* loader);
  /* Reads one field type from the iterator, which is left behind it. */
  static VMClass* FindBySignature(VMNameSpace* ns, VMLiteralIterator& it, VMClassLoader* loader);

  /* The one-dimension array class of this class; NULL for void or on failure. */
  VMArrayClass* MakeArrayOf();
  /* The name with '/' turned into '.': a literal, or a copy to free with FreeUTF8. */
  VMLiteral* GetDotName();
  char* GetDotNameUTF8();
  static bool ValidName(VMLiteral* name);
  Identity Identify();
  /* Java modifiers. */
  jint GetFlags();

  /* The Java assignment rule: a value of type from may be stored in a variable of to. */
  static bool AssignableFrom(VMClass* from, VMClass* to);
  /* NULL is an instance of every class. */
  static bool InstanceOf(VMObject* object, VMClass* cls);

 protected:
  static VMClass* CreateInstance(VMNameSpace* ns, uint32_t words, VMword mask, VMLiteral* name,
                                 VMLoadableClass* super);
  void ReleaseBlock(HHeap* heap) { VMObject::Destroy(heap); }
};

class VMPrimitiveClass : public VMClass {
 public:
  enum { Words = 8, RefMask = 0x1F };
  static constexpr VMword InstantiateTag = 0x316BFECAu;

  static VMPrimitiveClass* CreateInstance(VMNameSpace* ns, const char* name, VMPrimitiveType type);
  VMPrimitiveType GetType() const { return (VMPrimitiveType)(jint)GetWord(TypeOrMethodTableWord); }
  void Destroy(HHeap* heap) { ReleaseBlock(heap); }
};

class VMLoadableOrArrayClass : public VMClass {
 public:
  static constexpr VMword InstantiateTag = 0x4126FECAu;
  /* The instance method table. An array class shares java/lang/Object's, taken when it is
     first asked for, so an array class made before Object was prepared still gets it. */
  VMMethodArray* GetMethodTable() {
    // Inline for every virtual and interface call; only an array class's first ask goes on.
    VMMethodArray* table = (VMMethodArray*)GetWord(TypeOrMethodTableWord);
    return table != NULL ? table : GetMethodTableOfArray();
  }
  void SetMethodTable(VMMethodArray* t) { SetWord(TypeOrMethodTableWord, (VMword)t); }

 private:
  VMMethodArray* GetMethodTableOfArray();
};

class VMArrayClass : public VMLoadableOrArrayClass {
 public:
  enum { Words = 9, RefMask = 415 };
  enum { ElementClassWord = 8 };
  static constexpr VMword InstantiateTag = 0x5B6BFECAu;

  /* The element class is the caller's to set. */
  static VMArrayClass* CreateInstance(VMNameSpace* ns, VMLiteral* name);
  VMClass* GetElementClass() const { return (VMClass*)GetWord(ElementClassWord); }
  void SetElementClass(VMClass* c) { SetWord(ElementClassWord, (VMword)c); }
  jint GetFlags();
  void Destroy(HHeap* heap) { ReleaseBlock(heap); }
};

class VMLoadableClass : public VMLoadableOrArrayClass {
 public:
  enum { Words = 30 };
  /* The deepest chain of superclasses, and of interfaces extending interfaces, that a
     class may have: linking and loading recurse over them. */
  enum : uint32_t { MAX_NESTING = 256 };
  enum : VMword { RefMask = 0x1E0F7F9Fu };
  static constexpr VMword InstantiateTag = 0x2063FECAu;
  enum {
    InterfacesWord = 8,
    ConstantPoolWord = 9,
    DataMembersWord = 10,
    MethodsWord = 11,
    MethodLineNumberOffsetsWord = 12,
    MethodLocalInfoOffsetsWord = 13,
    LineNumberArrayWord = 14,
    DeclaringClassWord = 15,
    DeclaredClassesWord = 16,
    LocalVariableArrayWord = 17,
    CreateBitsWord = 18,
    SharedStaticDataWord = 19,
    CreateSizeWord = 20,
    ThreadDoingInitWord = 21,
    IndexWord = 22,
    NumStaticsWord = 23,
    StatusWord = 24,
    SourceFileWord = 25,
    FinalizeWord = 26,
    CompiledConstantPoolWord = 27,
    PackageNameWord = 28,
    FlagsWord = 29,
  };
  enum : uint32_t {
    IsLoadedBit = 1u << 0,
    IsPreparedBit = 1u << 1,
    IsErroneousBit = 1u << 2,
    HaveDebugInfoBit = 1u << 3,
    IsPublicBit = 1u << 4,
    IsPrivateBit = 1u << 5,
    IsProtectedBit = 1u << 6,
    IsFinalBit = 1u << 7,
    IsSuperBit = 1u << 8,
    IsAbstractBit = 1u << 9,
    AllReferencesLoadedBit = 1u << 10,
    /* Preparation is under way (by the holder of the class's monitor). */
    IsPreparingBit = 1u << 11,
  };

  /* An unloaded shell: nothing is read until Load. */
  static VMLoadableClass* CreateInstance(VMNameSpace* ns, VMLiteral* name);
  /* Destroys the class's static data in every machine, its members and tables, then the
     descriptor. Tolerates a shell that was never loaded. */
  void Destroy(HHeap* heap);

#define PUX_VMLC_REF(Type, Name)                                              \
  Type* Get##Name() const { return (Type*)GetWord(Name##Word); }              \
  void Set##Name(Type* value) { SetWord(Name##Word, (VMword)value); }
  PUX_VMLC_REF(VMClassArray, Interfaces)
  PUX_VMLC_REF(VMConstantPool, ConstantPool)
  PUX_VMLC_REF(VMDataMemberArray, DataMembers)
  PUX_VMLC_REF(VMMethodArray, Methods)
  PUX_VMLC_REF(VMuintArray, MethodLineNumberOffsets)
  PUX_VMLC_REF(VMuintArray, MethodLocalInfoOffsets)
  PUX_VMLC_REF(VMshortArrayArray, LineNumberArray)
  PUX_VMLC_REF(VMuintArray, DeclaredClasses)
  PUX_VMLC_REF(VMLocalDataMemberArrayArray, LocalVariableArray)
  PUX_VMLC_REF(VMboolArray, CreateBits)
  PUX_VMLC_REF(VMObject, SharedStaticData)
  PUX_VMLC_REF(VMLiteral, SourceFile)
  PUX_VMLC_REF(VMMethod, Finalize)
  PUX_VMLC_REF(VMObjectArray, CompiledConstantPool)
  PUX_VMLC_REF(VMLiteral, PackageName)
#undef PUX_VMLC_REF
#define PUX_VMLC_SCALAR(Type, Name)                                           \
  Type Get##Name() const { return (Type)GetWord(Name##Word); }                \
  void Set##Name(Type value) { SetWord(Name##Word, (VMword)value); }
  PUX_VMLC_SCALAR(uint32_t, DeclaringClass)
  /* Instance size in words. */
  PUX_VMLC_SCALAR(uint32_t, CreateSize)
  PUX_VMLC_SCALAR(VMword, ThreadDoingInit)
  /* The class number. */
  PUX_VMLC_SCALAR(uint32_t, Index)
  PUX_VMLC_SCALAR(uint32_t, NumStatics)
  PUX_VMLC_SCALAR(VMStatus, Status)
#undef PUX_VMLC_SCALAR

  /* The flags change on several threads at once (a load publishing IsLoaded while a
     preparation sets its own bits): each change is one atomic step, and a reader that
     sees a bit also sees what was written before it was set. */
#define PUX_VMLC_FLAG(Name)                                                                      \
  bool Get##Name() const {                                                                       \
    return (__atomic_load_n(&Body()[FlagsWord], __ATOMIC_ACQUIRE) & Name##Bit) != 0;             \
  }                                                                                              \
  void Set##Name() { __atomic_fetch_or(&Body()[FlagsWord], (VMword)Name##Bit, __ATOMIC_SEQ_CST); } \
  void Clear##Name() { __atomic_fetch_and(&Body()[FlagsWord], ~(VMword)Name##Bit, __ATOMIC_SEQ_CST); }
  PUX_VMLC_FLAG(IsLoaded)
  PUX_VMLC_FLAG(IsPrepared)
  PUX_VMLC_FLAG(IsErroneous)
  PUX_VMLC_FLAG(HaveDebugInfo)
  PUX_VMLC_FLAG(IsPublic)
  PUX_VMLC_FLAG(IsPrivate)
  PUX_VMLC_FLAG(IsProtected)
  PUX_VMLC_FLAG(IsFinal)
  PUX_VMLC_FLAG(IsSuper)
  PUX_VMLC_FLAG(IsAbstract)
  PUX_VMLC_FLAG(AllReferencesLoaded)
  PUX_VMLC_FLAG(IsPreparing)
#undef PUX_VMLC_FLAG

  /* The collector's note of the java/lang/ref class this class extends, kept in flag
     bits 12-14: 0 while not known, else 1 + the kind (0 none, 1 soft, 2 weak, 3
     phantom). Every machine of the name space works it out alike. */
  uint32_t GetReferenceKindNote() const {
    return (__atomic_load_n(&Body()[FlagsWord], __ATOMIC_ACQUIRE) >> 12) & 7u;
  }
  void SetReferenceKindNote(uint32_t note) {
    __atomic_fetch_or(&Body()[FlagsWord], (VMword)(note & 7u) << 12, __ATOMIC_SEQ_CST);
  }
  /* A member class's declared modifiers, from the InnerClasses entry that names it
     (its class file's flags say public for protected, package for private, and drop
     static); bits 16-26 of the flag word, bit 28 saying there was an entry. */
  enum : uint32_t { InnerFlagsShift = 16, InnerFlagsMask = 0x7FFu, HasInnerFlagsBit = 1u << 28 };
  void SetInnerFlags(uint32_t flags) {
    __atomic_fetch_or(&Body()[FlagsWord], (VMword)(((flags & InnerFlagsMask) << InnerFlagsShift) | HasInnerFlagsBit),
                      __ATOMIC_SEQ_CST);
  }
  bool GetInnerFlags(jint* flags) const {
    VMword word = __atomic_load_n(&Body()[FlagsWord], __ATOMIC_ACQUIRE);
    if ((word & HasInnerFlagsBit) == 0) return false;
    *flags = (jint)((word >> InnerFlagsShift) & InnerFlagsMask);
    return true;
  }

  /* Java modifiers of the class. */
  jint GetFlags();
  /* The class's loader, or the name space's system loader when it has none. */
  VMClassLoader* GetLoader();
  /* The part of the name before its last '/', cached; NULL on failure. */
  VMLiteral* GetPackage();

  /* Any superinterface of the class or of a superclass, however far up. */
  bool Implements(VMLoadableClass* iface);
  bool IsUnChecked();
  void LoadAllReferences();

  /* Members. FindField initialises each superinterface it searches. */
  VMDataMember* FindField(VMLiteral* name, VMLiteral* signature, bool searchSupers, JNIEnv* env);
  VMDataMember* FindPublicField(VMLiteral* name, JNIEnv* env);
  VMMethod* FindMethod(VMLiteral* name, VMLiteral* signature, bool searchSupers);
  /* A method declared by any superinterface of the class (not by the class itself). */
  VMMethod* FindSuperInterfaceMethod(VMLiteral* name, VMLiteral* signature);

  static VMLoadableClass* FindPrepared(JNIEnv* env, VMLiteral* dotName, VMClassLoader* loader);
  static VMLoadableClass* FindInitialized(JNIEnv* env, VMLiteral* dotName, VMClassLoader* loader);

  /* Life cycle: parse once per name space, link, initialise per machine. Initialize
     answers 0 when the class is initialised in the caller's machine, 1 when its static
     initialiser threw (the exception is pending), else the status of a load or link
     failure. */
  VMStatus Load();
  VMStatus Prepare(VMLoadableClass** failing);
  VMStatus Initialize(JNIEnv* env);
  VMStatus RunClinit(JNIEnv* env);
  void RunStaticVoidMethodNoParms(JNIEnv* env, VMLiteral* name, VMLiteral* descriptor);
  /* Runs object's finalizer, dropping what it throws; returns that (NULL for none). */
  VMJavaLangThrowable* RunFinalize(JNIEnv* env, VMObject* object);

  /* Linking steps: the classes of the fields, the static slots and the class number,
     the instance layout (the fields' word slots, the create size and the reference mask
     of an instance), the method table. */
  VMStatus PrepareDataMemberClasses();
  VMStatus PrepareNumStatics();
  VMStatus PrepareInstanceData();
  VMStatus PrepareVTable();
  bool HasCircularSuperChain();
  /* Loads the superclasses: 0, 5 for a chain that comes back to one of its classes, 4 for
     one deeper than MAX_NESTING, or the status of a superclass that could not be loaded
     (that class in *failing, when given and still NULL). */
  VMStatus CheckSuperChain(VMLoadableClass** failing = NULL);

  /* Static data: one object per machine, at the class number of the machine's array,
     with the class's initialisation state in that machine after the fields.
     PrepareStaticData makes it (constants written, the env's thread as its initialiser)
     and stores it unless another thread's stands: *published says whether this one
     was stored. */
  VMStatus PrepareStaticData(JNIEnv* env, bool* published);
  VMStatus SetStaticData(VM* vm, VMObject* data);
  /* Empties the machine's slot of this class's number when it holds this class's data,
     and answers that data for the caller to free; NULL when the slot holds none. */
  VMObject* TakeStaticData(VM* vm);
  /* The static data of an initialised class in the machine, initialising it first;
     NULL when initialisation failed (the exception is pending, or Initialize's status
     is to be raised). */
  VMObject* GetStaticData(VMThread* thread);
  /* The static data when the class is initialised in the machine for every thread but
     its initialiser, without any lock; NULL otherwise. */
  VMObject* GetInitializedStaticData(VM* vm);
  VMLoadableClass* EnsureInitialized(JNIEnv* env);
  bool GetIsInitialized(JNIEnv* env);
  static WalkResult WalkStaticData(VMObject* data, WalkCallback callback, void* context);
  /* The word of a machine's static data that names the thread initialising the class
     there (a VMThread while it runs, then 0 or the failure mark): relocation moves it. */
  static VMword* StaticDataStateWord(VMObject* data);
  void DestroySharedStaticData(HHeap* heap);
  /* Frees the slot arrays a machine's static-data array grew out of (VM::Destroy). */
  static void ReleaseRetiredStaticSlots(VM* vm);

  /* Binding of natives: by symbol name, by registered tables, and unbinding. */
  bool LinkNativeMethods();
  VMStatus RegisterNatives(const JNINativeMethod* table, uint32_t count);
  void UnRegisterNatives();
  void RegisterNativeMethods();
  static void RegisterNativeMethods(VMNameSpace* ns, const char* className);
  void FreeConstantPool();

  /* The superclass's serialization signature followed by the signatures of the class's
     own fields that are neither static nor transient; NULL on failure. */
  VMLiteral* GetSerializationSignature();
};

static_assert(sizeof(VMClass) == 20 && sizeof(VMLoadableClass) == 20 &&
                  sizeof(VMArrayClass) == 20 && sizeof(VMPrimitiveClass) == 20,
              "descriptors add no fields to the header");

/* ------------------------------------------------------------------------------------ */
/* Members                                                                               */

class VMMember : public VMObject {
 public:
  enum {
    NameWord = 0,
    SignatureWord = 1,
    DefinedInWord = 2,
    ClassWord = 3,
    IndexWord = 4,
    FlagsWord = 5,
    ConstantValueWord = 6,
  };
  enum : uint32_t {
    IsPublicFlag = 0x1,
    IsPrivateFlag = 0x2,
    IsProtectedFlag = 0x4,
    IsDefaultFlag = 0x8,
    IsStaticFlag = 0x10,
    IsFinalFlag = 0x20,
    IsSynchronizedFlag = 0x40,
    IsVolatileFlag = 0x80,
    IsTransientFlag = 0x100,
    IsNativeFlag = 0x200,
    IsAbstractFlag = 0x400,
    IsLocalFlag = 0x800,
    IsCompiledFlag = 0x1000,
    IsMoreParmsThanBitsFlag = 0x2000,
    IsContiguousCodeFlag = 0x4000,
    IsByteCodeFlag = 0x8000,
    IsUsedFlag = 0x10000,
    IsStrictFlag = 0x20000,
    // A static method whose whole code is one of a few branching one-liners (an abs, a
    // max or a min): the interpreter may compute it in place of the call. The shape's
    // number (VMMethod::Shape) lies in these bits; the class file cannot set them.
    ShapeMask = 0x1C0000,
    ShapeShift = 18,
  };

  VMLiteral* GetName() const { return (VMLiteral*)GetWord(NameWord); }
  void SetName(VMLiteral* l) { SetWord(NameWord, (VMword)l); }
  VMLiteral* GetSignature() const { return (VMLiteral*)GetWord(SignatureWord); }
  void SetSignature(VMLiteral* l) { SetWord(SignatureWord, (VMword)l); }
  VMLoadableClass* GetDefinedIn() const { return (VMLoadableClass*)GetWord(DefinedInWord); }
  void SetDefinedIn(VMLoadableClass* c) { SetWord(DefinedInWord, (VMword)c); }
  VMClass* GetClass() const { return (VMClass*)GetWord(ClassWord); }
  void SetClass(VMClass* c) { SetWord(ClassWord, (VMword)c); }
  jint GetIndex() const { return (jint)GetWord(IndexWord); }
  void SetIndex(jint i) { SetWord(IndexWord, (VMword)i); }
  VMword GetMemberFlags() const { return GetWord(FlagsWord); }

#define PUX_VMMEMBER_FLAG(Name)                                                      \
  bool GetIs##Name() const { return (GetWord(FlagsWord) & Is##Name##Flag) != 0; }    \
  void SetIs##Name() { SetWord(FlagsWord, GetWord(FlagsWord) | Is##Name##Flag); }    \
  void ClearIs##Name() { SetWord(FlagsWord, GetWord(FlagsWord) & ~(VMword)Is##Name##Flag); }
  PUX_VMMEMBER_FLAG(Public)
  PUX_VMMEMBER_FLAG(Private)
  PUX_VMMEMBER_FLAG(Protected)
  PUX_VMMEMBER_FLAG(Default)
  PUX_VMMEMBER_FLAG(Static)
  PUX_VMMEMBER_FLAG(Final)
  PUX_VMMEMBER_FLAG(Synchronized)
  PUX_VMMEMBER_FLAG(Volatile)
  PUX_VMMEMBER_FLAG(Transient)
  PUX_VMMEMBER_FLAG(Native)
  PUX_VMMEMBER_FLAG(Abstract)
  PUX_VMMEMBER_FLAG(Local)
  PUX_VMMEMBER_FLAG(Compiled)
  PUX_VMMEMBER_FLAG(MoreParmsThanBits)
  PUX_VMMEMBER_FLAG(ContiguousCode)
  PUX_VMMEMBER_FLAG(ByteCode)
  PUX_VMMEMBER_FLAG(Used)
#undef PUX_VMMEMBER_FLAG

  /* Class-file access flags to member bits and back. */
  void SetFlags(jint accessFlags);
  jint GetFlags() const;

  bool Matches(VMLiteral* name, VMLiteral* signature) const {
    return GetName() == name && GetSignature() == signature;
  }
  bool Matches(const VMMember* other) const {
    return Matches(other->GetName(), other->GetSignature());
  }
  /* The signature names an object or an array. */
  bool IsRefField() const;
  /* "java.lang.String.value"; NULL on failure. */
  VMLiteral* GetFullName();

  /* One field type and nothing after it. */
  static bool ValidSignature(VMLiteral* signature);

  /* Removes the member from the name space's field-ID handles, then releases it. */
  void Destroy(HHeap* heap);
};

class VMConstantValue : public VMObject {
 public:
  enum { Words = 3, RefMask = 1 };
  enum { StringWord = 0, Value1Word = 1, Value2Word = 2 };
  static constexpr VMword Tag = 0x7663FECAu;
  static VMConstantValue* CreateInstance(HHeap* heap);
  VMJavaLangString* GetString() const { return (VMJavaLangString*)GetWord(StringWord); }
  void SetString(VMJavaLangString* s) { SetWord(StringWord, (VMword)s); }
  VMword GetValue1() const { return GetWord(Value1Word); }
  void SetValue1(VMword v) { SetWord(Value1Word, v); }
  VMword GetValue2() const { return GetWord(Value2Word); }
  void SetValue2(VMword v) { SetWord(Value2Word, v); }
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }
};

class VMDataMember : public VMMember {
 public:
  enum { Words = 7, RefMask = 79 };
  static constexpr VMword Tag = 0x2064FECAu;

  /* A nonzero ConstantValue index is allowed on a static or final field only (16
     otherwise). Statuses: 16, 19. */
  static VMDataMember* CreateInstance(HHeap* heap, VMLiteral* name, VMLiteral* signature,
                                      jint accessFlags, uint32_t constantValueIndex,
                                      VMLoadableClass* definedIn, VMStatus* status);
  VMConstantValue* GetConstantValue() const { return (VMConstantValue*)GetWord(ConstantValueWord); }
  void SetConstantValue(VMConstantValue* v) { SetWord(ConstantValueWord, (VMword)v); }
  void Destroy(HHeap* heap);
};

class VMLocalDataMember : public VMMember {
 public:
  enum { Words = 9, RefMask = 79 };
  enum { ScopeStartWord = 7, ScopeLengthWord = 8 };
  static constexpr VMword Tag = 0x2061FECAu;

  static VMLocalDataMember* CreateInstance(HHeap* heap, VMLiteral* name, VMLiteral* signature,
                                           uint16_t scopeStart, uint16_t scopeLength,
                                           uint16_t slot);
  uint32_t GetScopeStart() const { return GetWord(ScopeStartWord); }
  uint32_t GetScopeLength() const { return GetWord(ScopeLengthWord); }
  void Destroy(HHeap* heap);
};

class VMExceptionHandler : public VMObject {
 public:
  enum { Words = 5, RefMask = 16 };
  enum { StartPcWord = 0, EndPcWord = 1, HandlerPcWord = 2, CatchTypeIndexWord = 3, CatchClassWord = 4 };
  static constexpr VMword Tag = 0x2078FECAu;
  static VMExceptionHandler* CreateInstance(HHeap* heap);
  uint32_t GetStartPc() const { return GetWord(StartPcWord); }
  void SetStartPc(uint32_t v) { SetWord(StartPcWord, v); }
  uint32_t GetEndPc() const { return GetWord(EndPcWord); }
  void SetEndPc(uint32_t v) { SetWord(EndPcWord, v); }
  uint32_t GetHandlerPc() const { return GetWord(HandlerPcWord); }
  void SetHandlerPc(uint32_t v) { SetWord(HandlerPcWord, v); }
  uint32_t GetCatchTypeIndex() const { return GetWord(CatchTypeIndexWord); }
  void SetCatchTypeIndex(uint32_t v) { SetWord(CatchTypeIndexWord, v); }
  VMLoadableClass* GetCatchClass() const { return (VMLoadableClass*)GetWord(CatchClassWord); }
  void SetCatchClass(VMLoadableClass* c) { SetWord(CatchClassWord, (VMword)c); }
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }
};

class VMMethod : public VMMember {
 public:
  enum { Words = 25 };
  enum : VMword { RefMask = 0x4003CFu };
  static constexpr VMword Tag = 0x206DFECAu;
  enum {
    CodeWord = 6,
    ExceptionHandlersWord = 7,
    BlocksWord = 8,
    ThrowsWord = 9,
    NativeAddressWord = 10,
    CompiledAddressWord = 11,
    Word12 = 12,
    JITtedAddressWord = 13,
    JITtedInfoWord = 14,
    JITLastUseWord = 15,
    JITInUseCountWord = 16,
    MutexWord = 17,
    SpinLockWord = 18,
    ObjectBitsWord = 19,
    TwoWordBitsWord = 20,
    FloatBitsWord = 21,
    ParameterTypesWord = 22,
    LocalStackBytesWord = 23,
    ParameterBytesWord = 24,
  };

  /* One item of a type signature. */
  enum SigTypes {
    SigEndParms = 0, SigArray = 1, SigObject = 2, SigLong = 3, SigDouble = 4, SigByte = 5,
    SigChar = 6, SigFloat = 7, SigInt = 8, SigShort = 9, SigBoolean = 10, SigVoid = 11,
    SigEnd = 12, SigInvalid = 13,
  };
  /* Deeper array types are invalid signatures and invalid class names. */
  enum : uint32_t { MAX_ARRAY_DIMENSIONS = 255 };
  static SigTypes ScanSigItem(VMLiteralIterator& it);

  /* What a method descriptor means for the argument words. */
  struct SignatureInfo {
    uint32_t parameterWords;  /* the receiver included */
    uint32_t returnWords;
    jchar returnChar;
    VMword objectBits;
    VMword twoWordBits;
    VMword floatBits;
    bool moreParmsThanBits;
    uint32_t returnStart;   /* byte index of the return type */
    uint32_t returnLength;  /* its byte length */
    uint32_t returnCharIndex;  /* character index of the return type */
  };
  static bool ClassifySignature(VMLiteral* signature, bool isStatic, SignatureInfo* info);

  /* Statuses: 16 malformed descriptor, 6 for 256 argument words or more, 14 return class
     not found, 19 no memory. */
  static VMMethod* CreateInstance(HHeap* heap, VMLiteral* name, VMLiteral* signature,
                                  jint accessFlags, void* nativeFunction,
                                  VMLoadableClass* definedIn, VMStatus* status);
  static VMMethod* CreateInstance(HHeap* heap, VMLiteral* name, VMLiteral* signature,
                                  jint accessFlags, VMLoadableClass* definedIn, VMStatus* status) {
    return CreateInstance(heap, name, signature, accessFlags, NULL, definedIn, status);
  }
  void Destroy(HHeap* heap);

  /* The branching one-liners the interpreter computes in place (ShapeMask): each is
     known by its descriptor and its whole code, so what it computes is fixed whatever
     its class or name. */
  enum Shape : uint32_t { ShapeNone, ShapeAbsInt, ShapeAbsLong, ShapeAbsFloat, ShapeAbsDouble, ShapeMaxInt, ShapeMinInt };
  Shape GetShape() const { return (Shape)((GetMemberFlags() & ShapeMask) >> ShapeShift); }
  /* Records the shape of a static bytecode method once its code is loaded. */
  void FindShape();
  /* Finds the return type's class (in the declaring class's loader) unless it is known:
     0, 14 when it cannot be found, 19. */
  VMStatus FindReturnClass();

#define PUX_VMMETHOD_REF(Type, Name)                                          \
  Type* Get##Name() const { return (Type*)GetWord(Name##Word); }              \
  void Set##Name(Type* value) { SetWord(Name##Word, (VMword)value); }
  PUX_VMMETHOD_REF(VMbyteArray, Code)
  PUX_VMMETHOD_REF(VMExceptionHandlerArray, ExceptionHandlers)
  PUX_VMMETHOD_REF(VMcharArray, Throws)
  PUX_VMMETHOD_REF(VMClassArray, ParameterTypes)
#undef PUX_VMMETHOD_REF
  VMBasicBlockInfo* GetBlocks() const { return (VMBasicBlockInfo*)GetWord(BlocksWord); }
  void* GetNativeAddress() const { return (void*)GetWord(NativeAddressWord); }
  void SetNativeAddress(void* f) { SetWord(NativeAddressWord, (VMword)f); }
  void* GetCompiledAddress() const { return (void*)GetWord(CompiledAddressWord); }
  void SetCompiledAddress(void* f) { SetWord(CompiledAddressWord, (VMword)f); }
  void* GetMutex() const { return (void*)GetWord(MutexWord); }
  VMword GetObjectBits() const { return GetWord(ObjectBitsWord); }
  VMword GetTwoWordBits() const { return GetWord(TwoWordBitsWord); }
  VMword GetFloatBits() const { return GetWord(FloatBitsWord); }
  /* The return type's class. */
  VMClass* GetReturnClass() const { return GetClass(); }

  uint32_t GetLocalBytes() const { return GetWord(LocalStackBytesWord) & 0xFFFFu; }
  uint32_t GetStackBytes() const { return GetWord(LocalStackBytesWord) >> 16; }
  /* max_locals and max_stack of the Code attribute; each gets two words more. */
  void SetLocalAndStackWords(uint32_t maxLocals, uint32_t maxStack) {
    SetWord(LocalStackBytesWord, ((maxLocals * 4 + 8) & 0xFFFFu) | ((maxStack * 4 + 8) << 16));
  }
  /* Argument words times 4 (the low half of its word). */
  uint32_t GetParameterBytes() const { return GetWord(ParameterBytesWord) & 0xFFFFu; }
  uint32_t GetReturnBytes() const { return (GetWord(ParameterBytesWord) >> 16) & 0xFFu; }
  jchar GetReturnType() const { return (jchar)(GetWord(ParameterBytesWord) >> 24); }
  uint32_t GetParameterWords() const { return GetParameterBytes() / 4; }
  uint32_t GetLocalWords() const { return GetLocalBytes() / 4; }
  uint32_t GetStackWords() const { return GetStackBytes() / 4; }
  uint32_t GetReturnWords() const { return GetReturnBytes() / 4; }

  bool IsVirtual() const { return !GetIsPrivate() && !GetIsStatic(); }
  bool ResolveNativeAddress() const { return GetNativeAddress() != NULL; }
  void SetCompiled() {
    SetIsCompiled();
    ClearIsByteCode();
  }
  VMConstantPool* GetConstantPool() const;

  /* The monitor object of a synchronized method: the receiver, or for a static method the
     declaring class's static data in the thread's machine. NULL when not synchronized. */
  VMObject* GetSynchObject(VMThread* thread, VMword* arguments);
  /* The method's line-number table / local-variable table, read from the class file on
     first demand. NULL with the status when the debug information cannot be read. */
  VMshortArray* GetLineNumbers(VMStatus* status);
  VMLocalDataMemberArray* GetLocalVariables(VMStatus* status);
  /* One bit per argument word, set for the receiver and every reference argument. */
  VMboolArray* GetObjectBitArray();
  /* The same without allocating, one byte per argument word into map (room for
     GetParameterWords() bytes): for methods whose words the 32-bit masks cannot hold. */
  void GetObjectWords(uint8_t* map);
  /* Whether argument word i holds a reference; map as GetObjectWords filled it when the
     method has more words than the masks hold, else unused. */
  bool IsObjectWord(uint32_t i, const uint8_t* map) const {
    return GetIsMoreParmsThanBits() ? map[i] != 0 : i < 32 && ((GetObjectBits() >> i) & 1) != 0;
  }
  bool GetReturnsObject() const { return GetReturnType() == 'L' || GetReturnType() == '['; }
  /* A readable name: the bare name, or with its parameter types when overloaded. */
  VMLiteral* GetQualifiedName();
  /* Flow analysis (vmbasicblock.cpp): the method's block info, made on first demand
     under the method's monitor (NULL without a class or memory); its block list; and the
     state at a pc, cached per method (the caller does not own the block). */
  VMBasicBlockInfo* GetBlockInfo();
  void DestroyBlockInfo();
  VMBasicBlock* GetBasicBlocks();
  void SetBasicBlocks(VMBasicBlock* blocks);
  VMStatus GetBasicBlockFor(uint32_t pc, VMBasicBlock*& out);

  /* A reflective call on object (ignored for a static method) with the Java arguments
     of an Object[] (NULL for none), access decided by the caller; the count and each argument must fit the
     parameter types, a primitive by unboxing and widening, a reference by instanceof
     (IllegalArgumentException otherwise); a static method's class is initialised first.
     An exception the method throws comes back wrapped in InvocationTargetException. The
     result: NULL when something is pending, for void, and without a return type; a
     primitive result as a new box; a reference as it is (the caller holds it before it
     allocates). */
  VMObject* ReflectInvoke(JNIEnv* env, VMObject* object, VMClassArray* parameterTypes, VMObjectArray* arguments,
                          VMClass* returnType);
  /* The declared classes of the parameters, resolved in the method's loader once and
     kept on the method; NULL, with the exception that was pending put back, when one of
     them cannot be found (then no object of it can be passed but null). */
  VMClassArray* ResolvedParameterTypes(JNIEnv* env);
  /* Whether the reference words of area (the parameter words, first the receiver's
     when first is 1) are null or instances of their parameter's class. */
  bool ReferenceArgumentsFit(VMClassArray* types, const VMword* area, uint32_t first);
  /* Whether a reference result (held by handle) is null or an instance of the return
     class; may load that class. */
  bool ReferenceResultFits(JNIEnv* env, jobject result);
};

inline VMConstantPool* VMMethod::GetConstantPool() const {
  VMLoadableClass* cls = GetDefinedIn();
  return cls != NULL ? cls->GetConstantPool() : NULL;
}

static_assert(sizeof(VMMember) == 20 && sizeof(VMMethod) == 20, "members add no fields");

/* ------------------------------------------------------------------------------------ */
/* Registered native tables and compiled classes (process-wide, no heap)                  */

class VMNativeClassInfo : public VMObject {
 public:
  enum { Words = 4, RefMask = 0 };
  enum { MethodsWord = 0, CountWord = 1, NameWord = 2, HashWord = 3 };
  static constexpr VMword Tag = 0x4426FECAu;

  /* The table and the name are the caller's and are not copied: they must live until
     the library's process state is released. */
  static VMNativeClassInfo* CreateInstance(const char* className, const JNINativeMethod* methods,
                                           uint32_t count);
  void Destroy();

  const JNINativeMethod* GetMethods() const { return (const JNINativeMethod*)GetWord(MethodsWord); }
  void SetMethods(const JNINativeMethod* m) { SetWord(MethodsWord, (VMword)m); }
  uint32_t GetCount() const { return GetWord(CountWord); }
  void SetCount(uint32_t n) { SetWord(CountWord, n); }
  const char* GetName() const { return (const char*)GetWord(NameWord); }
  void SetName(const char* n) { SetWord(NameWord, (VMword)n); }
  VMword GetHash() const { return GetWord(HashWord); }
  void SetHash(VMword h) { SetWord(HashWord, h); }

  /* The first record registered under the class's name, or NULL. */
  static VMNativeClassInfo* Find(VMLiteral* className);
  /* Records (name, table, count); a name already known takes the new table. 0, or 19. */
  static VMStatus Register(const char* className, const JNINativeMethod* methods, uint32_t count);
};

class VMCompiledClassInfo : public VMObject {
 public:
  enum { Words = 3, RefMask = 0 };
  enum { TableWord = 0, NameWord = 1, HashWord = 2 };
  static constexpr VMword Tag = 0x4226FECAu;

  static VMCompiledClassInfo* CreateInstance(const MCConstPoolClassDefinition* definition);
  void Destroy(HHeap* heap);

  const MCConstPoolClassDefinition* GetTable() const {
    return (const MCConstPoolClassDefinition*)GetWord(TableWord);
  }
  void SetTable(const MCConstPoolClassDefinition* t) { SetWord(TableWord, (VMword)t); }
  const char* GetName() const { return (const char*)GetWord(NameWord); }
  void SetName(const char* n) { SetWord(NameWord, (VMword)n); }
  VMword GetHash() const { return GetWord(HashWord); }
  void SetHash(VMword h) { SetWord(HashWord, h); }

  static VMCompiledClassInfo* Find(VMLiteral* className);
};

/* Host entries of native registration. */
JNIEXPORT jint HOSTCALL JNI_RegisterNative(const char* className, const JNINativeMethod* methods,
                                          jint count);
JNIEXPORT jint HOSTCALL JNI_RegisterCompiled(JavaVM* javaVM,
                                            const MCConstPoolClassDefinition* definitions);

#endif
