/* The run-time constant pool of a class: one word per class-file entry and a parallel
   array of 16-bit entry types. The parser fills it in file order; later each entry is
   resolved at most once, under the pool's monitor, into the literal, string, class or
   member it names, and a resolved entry carries the negated class-file tag. */
#ifndef PUX_VMCONSTANTPOOL_H
#define PUX_VMCONSTANTPOOL_H

#include "jnitypes.h"
#include "vmarray.h"
#include "vmforward.h"
#include "vmstatus.h"

class VMConstantPool : public VMArray {
 public:
  enum Type : int16_t {
    TYPE_Unusable = 0,  /* second half of a Long or Double */
    TYPE_Utf8 = 1,
    TYPE_Integer = 3,
    TYPE_Float = 4,
    TYPE_Long = 5,
    TYPE_Double = 6,
    TYPE_Class = 7,
    TYPE_String = 8,
    TYPE_FieldRef = 9,
    TYPE_MethodRef = 10,
    TYPE_InterfaceMethodRef = 11,
    TYPE_NameAndType = 12,
    TYPE_Utf8_Resolved = -1,
    TYPE_Class_Resolved = -7,
    TYPE_String_Resolved = -8,
    TYPE_FieldRef_Resolved = -9,
    TYPE_MethodRef_Resolved = -10,
    TYPE_InterfaceMethodRef_Resolved = -11,
  };

  /* NULL for count 0 or when either array cannot be made. */
  static VMConstantPool* CreateInstance(HHeap* heap, uint32_t count);
  static VMConstantPool* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  /* Destroys the bytes of unresolved Utf8 entries, the type array and the pool. */
  void Destroy(HHeap* heap);

  /* The number of entries (constant_pool_count). */
  uint32_t GetCount() const { return GetSize(); }
  VMshortArray* GetTypes() const { return (VMshortArray*)GetWord(0); }
  /* An entry's type is read with acquire and written with release: a reader that sees a
     resolved type sees the word stored before it. */
  int16_t GetConstType(uint32_t index) const {
    VM_ASSERT(index < GetTypes()->GetSize());
    return __atomic_load_n((int16_t*)GetTypes()->FindElement(index), __ATOMIC_ACQUIRE);
  }
  /* The method of a resolved method reference, else NULL (index 0 or outside the pool,
     any other entry, one not resolved yet). Inline: every interpreted call reads its
     entry, and GetConstMethod's answer for a resolved entry is exactly this. */
  VMMethod* ResolvedMethodAt(uint32_t index) const {
    return (VMMethod*)ResolvedAt(index, TYPE_MethodRef_Resolved);
  }
  /* The same for an interface method reference (GetConstInterfaceMethod's) and a field
     reference. */
  VMMethod* ResolvedInterfaceMethodAt(uint32_t index) const {
    return (VMMethod*)ResolvedAt(index, TYPE_InterfaceMethodRef_Resolved);
  }
  VMDataMember* ResolvedFieldAt(uint32_t index) const {
    return (VMDataMember*)ResolvedAt(index, TYPE_FieldRef_Resolved);
  }
  void SetConstType(uint32_t index, int16_t type) {
    VM_ASSERT(index < GetTypes()->GetSize());
    __atomic_store_n((int16_t*)GetTypes()->FindElement(index), type, __ATOMIC_RELEASE);
  }
  /* Entries written so far plus one: the index the next writer fills. */
  uint32_t GetCursor() const { return (uint16_t)GetTypes()->Get(0); }

  /* Class entries hold class descriptors (not name indices) once the parser's resolution
     pass has run; the collector's walk needs to know which. */
  bool GetClassesResolved() const { return GetTypes()->Get(GetCount()) != 0; }
  void SetClassesResolved(bool on) { GetTypes()->Set(GetCount(), on ? 1 : 0); }

  /* ---- writers (the parser only) ---- each returns the position written, 0 when the
     pool is full. */
  uint32_t NextPosition(int16_t type);
  uint32_t SetConstUtf8(VMbyteArray* bytes);
  uint32_t SetConstInt(jint value);
  uint32_t SetConstFloat(jfloat value);
  /* The same from the bits, which keep a signalling NaN as it is. */
  uint32_t SetConstFloatBits(uint32_t bits);
  uint32_t SetConstDoubleBits(uint64_t bits);
  uint32_t SetConstLong(jlong value);
  uint32_t SetConstDouble(jdouble value);
  uint32_t SetConstClass(uint16_t nameIndex);
  uint32_t SetConstString(uint16_t utf8Index);
  uint32_t SetConstField(uint16_t classIndex, uint16_t nameAndTypeIndex);
  uint32_t SetConstMethod(uint16_t classIndex, uint16_t nameAndTypeIndex);
  uint32_t SetConstInterfaceMethod(uint16_t classIndex, uint16_t nameAndTypeIndex);
  uint32_t SetConstNameAndType(uint16_t nameIndex, uint16_t descriptorIndex);
  void GetConstTwoShort(uint32_t index, uint16_t* first, uint16_t* second) const {
    VMword w = GetWord(index);
    *first = (uint16_t)(w >> 16);
    *second = (uint16_t)w;
  }
  /* The raw word of an entry. */
  VMword GetConstWord(uint32_t index) const { return GetWord(index); }
  void SetConstWord(uint32_t index, VMword value) { SetWord(index, value); }

  /* ---- plain readers: no lock, no resolution; the entry must have the stated type ---- */
  jint GetConstInt(uint32_t index) const;
  jfloat GetConstFloat(uint32_t index) const;
  jlong GetConstLong(uint32_t index) const;
  jdouble GetConstDouble(uint32_t index) const;
  VMLoadableClass* GetConstResolvedClass(uint32_t index) const;
  VMDataMember* GetConstResolvedField(uint32_t index) const;
  VMMethod* GetConstResolvedMethod(uint32_t index) const;
  /* True when the constant pushes a reference (a String entry). */
  bool GetConstIsRef(uint32_t index) const;
  /* The unresolved bytes of a Utf8 entry, NULL for any other entry. */
  VMbyteArray* GetConstUtf8Bytes(uint32_t index) const;

  /* ---- resolving operations: NULL (with a status where there is one) on failure ---- */
  VMLiteral* GetConstUtf8(VMNameSpace* ns, uint32_t index);
  VMLiteral* GetConstUtf8(VMLoadableClass* cls, uint32_t index);
  VMJavaLangString* GetConstString(VMNameSpace* ns, uint32_t index);
  VMJavaLangString* GetConstString(VMLoadableClass* cls, uint32_t index);
  /* The class of a Class entry. Without initialize the stored class is returned as it is,
     neither loaded nor resolved; with it the class is initialised and the entry resolved. */
  VMLoadableClass* GetConstClass(uint32_t index, VMStatus* status, bool initialize);
  VMDataMember* GetConstField(VMLoadableClass* accessor, uint32_t index, VMStatus* status);
  VMDataMember* GetConstUnresolvedField(VMLoadableClass* accessor, uint32_t index, VMStatus* status);
  /* special is set for invokespecial. */
  VMMethod* GetConstMethod(VMLoadableClass* accessor, uint32_t index, VMStatus* status, bool special);
  VMMethod* GetConstInterfaceMethod(uint32_t index, VMStatus* status);
  VMLoadableClass* getClassNameAndSignature(uint32_t index, VMLiteral** name, VMLiteral** signature,
                                            VMStatus* status);

  /* ---- queries on reference entries (the reference itself is not resolved) ---- */
  VMLoadableClass* GetMemberRef(uint32_t index, VMLiteral** name, VMLiteral** signature);

  /* What GetMemberRef answered for one pool, kept for the calling thread while it
     prepares that pool's class: flow analysis and the verifier's two walks read every
     member reference of the code once each, and without it each read takes the pool's
     monitor. The record lives on the preparing thread's stack; entries are kept by index,
     a later index in the same slot replacing an earlier one. Only answers that succeeded
     are kept, and an entry's answer cannot change while no code of the class has run. */
  struct MemberMemo {
    enum : uint32_t { Slots = 256 };
    struct Entry {
      uint32_t index;
      VMLoadableClass* owner;
      VMLiteral* name;
      VMLiteral* signature;
    };
    VMConstantPool* pool;
    MemberMemo* outer;
    Entry entries[Slots];
  };
  /* Starts keeping answers for pool in memo on this thread (a memo already kept, of a
     class whose preparation led here, comes back when this one ends). */
  static void BeginMemberMemo(VMConstantPool* pool, MemberMemo* memo);
  static void EndMemberMemo(MemberMemo* memo);
  VMLiteral* GetConstName(VMLoadableClass* cls, uint32_t index);
  VMLiteral* GetConstSignature(VMLoadableClass* cls, uint32_t index);
  VMLiteral* GetConstClassName(uint32_t index);
  /* "pkg.Class.field", interned; NULL on any failure. */
  VMLiteral* GetFieldName(uint32_t index);

  /* The collector's walk over the objects the pool refers to. */
  static WalkResult WalkReferences(VMword* slot, WalkCallback callback, void* context);

  /* The access rule of a resolved member for an accessing class: 0, or 10 (linkage fails
     with IllegalAccessError, never the checked exception reflection throws). The special
     flag grants nothing (a private member is its own class's alone). */
  static VMStatus CheckAccess(VMMember* member, VMLoadableClass* accessor, bool special);

 private:
  void* ResolvedAt(uint32_t index, int16_t resolved) const {
    if (index == 0 || index >= GetCount()) return NULL;
    const int16_t* type = (const int16_t*)GetTypes()->FindElement(index, 1u);
    if (__atomic_load_n(type, __ATOMIC_ACQUIRE) != resolved) return NULL;
    return (void*)GetWord(index);
  }
  /* A reference entry as read under the monitor: the member once resolved, else the
     index of its Class entry, the class stored there and the name and descriptor. */
  struct Reference {
    VMMember* member;
    uint32_t classIndex;
    VMLoadableClass* cls;
    VMLiteral* name;
    VMLiteral* signature;
  };
  /* Reads a field, method or interface-method reference (of the given kind, or any when
     anyKind); false with a status when it is none or cannot be read. */
  bool ReadReference(uint32_t index, bool anyKind, int16_t kind, Reference* ref, VMStatus* status);
  /* Stores a resolved member unless another thread did first; *member becomes what the
     entry holds. */
  void Publish(uint32_t index, int16_t kind, VMMember** member);
  /* The pool's monitor, in the name space of the calling thread's machine (or of ns when
     the thread has none). */
  VMStatus Enter(VMNameSpace* ns);
  void Leave(VMNameSpace* ns);
  VMNameSpace* MonitorNameSpace(VMNameSpace* fallback);
  /* The class of a Class entry without initialising it; NULL for another type or while
     the entry still holds a name index. */
  VMLoadableClass* StoredClass(uint32_t index) const;
  bool IsIndex(uint32_t index) const { return index != 0 && index < GetCount(); }
};

static_assert(sizeof(VMConstantPool) == 20, "a word array");

#endif
