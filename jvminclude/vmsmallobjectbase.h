/* The header every heap block starts with, and the piecewise body behind it.

   A block is never constructed: the host hands back raw memory and these classes are
   laid over it. Word 0 is the type tag, word 1 holds 16 flag bits and the count of body
   words in this block, words 2-4 the kind word, the monitor and the collector's queue
   link. The body follows; its first 196 words live in the block, the rest in pieces of at
   most 64 words hanging in trees of up to five levels from slots kept in the block, so
   that no host block is ever larger than 948 bytes.

   64-bit values in bodies are only 4-byte aligned: the header is five words, so on the
   host's 8-aligned blocks element 0 sits at 4 mod 8 (pieces start at 0 mod 8), and a long
   may even be split between two blocks (element 195 and the first word of the first
   piece, or the last word of one piece and the first of the next). Plain accesses are
   fine on this target, but no 8-byte move is atomic here: a volatile long or double
   must be read and written under a lock, never with one 64-bit load or store. */
#ifndef PUX_VMSMALLOBJECTBASE_H
#define PUX_VMSMALLOBJECTBASE_H

#include <stddef.h>
#include <stdint.h>

#include "jnitypes.h"
#include "vmforward.h"

/* Type codes of the 64-bit accessors that take one. */
enum { VM_LONGLONG = 1, VM_DOUBLE = 2 };

/* The host's rewrite function of a relocation, and the record the walks carry it in. */
typedef void (HOSTCALL* VMRelocateCallback)(void** word, void* context);

class VMRelocateInfo {
 public:
  VMRelocateInfo(VMRelocateCallback callback, void* context) : callback(callback), context(context) {}
  void Relocate(VMword* word) { callback(reinterpret_cast<void**>(word), context); }
  VMRelocateCallback GetCallback() const { return callback; }
  void* GetContext() const { return context; }

 private:
  VMRelocateCallback callback;
  void* context;
};

class VMTaggedObject {
 public:
  VMword GetTag() const { return tag; }
  void SetTag(VMword value) { tag = value; }

 protected:
  VMword tag;
};

/* Flag bits of header word 1 (low half). */
enum : uint16_t {
  VMFLAG_REACHABILITY = 0x0003,
  VMFLAG_REACHABLE = 0x0001,
  VMFLAG_PHANTOM_REACHABLE = 0x0002,
  VMFLAG_FINALIZER_REACHABLE = 0x0003,
  VMFLAG_REFERENCE_KIND = 0x000C,
  VMFLAG_REFERENCE = 0x0004,
  VMFLAG_PHANTOM_REFERENCE = 0x0008,
  VMFLAG_FINALIZED = 0x0010,
  VMFLAG_FINALIZABLE = 0x0020,
  VMFLAG_PRE_GC_ALLOCATION = 0x0040,
  VMFLAG_REACHABLE_BY_CPP = 0x0080,
  VMFLAG_NAME_SPACE_DATA = 0x0100,
  VMFLAG_ROOT_OBJECT = 0x0200,
  VMFLAG_SCALAR_ARRAY = 0x0400,
  VMFLAG_REF_ARRAY = 0x0800,
  VMFLAG_DESERIALIZING = 0x1000,
  VMFLAG_KIND = 0xE000,
  VMFLAG_KIND_SPECIAL_WALKER = 0x2000,
  VMFLAG_KIND_REF_BITS = 0x4000,
  VMFLAG_KIND_STATIC_DATA_CLASS = 0x6000,
  VMFLAG_KIND_CLASS = 0x8000,
};

class VMHeapObject : public VMTaggedObject {
 public:
  uint16_t GetFlags() const { return flags; }
  void SetFlags(uint16_t value) { flags = value; }
  uint16_t GetNumberOfElements() const { return numberOfElements; }
  void SetNumberOfElements(uint16_t value) { numberOfElements = value; }

  /* Reachability, bits 0-1. */
  void SetIsUnreachable() { SetField(VMFLAG_REACHABILITY, 0); }
  void SetIsReachable() { SetField(VMFLAG_REACHABILITY, VMFLAG_REACHABLE); }
  void SetIsPhantomReachable() { SetField(VMFLAG_REACHABILITY, VMFLAG_PHANTOM_REACHABLE); }
  void SetIsFinalizerReachable() { SetField(VMFLAG_REACHABILITY, VMFLAG_FINALIZER_REACHABLE); }
  bool GetIsUnreachable() const { return (flags & VMFLAG_REACHABILITY) == 0; }
  bool GetIsReachable() const { return (flags & VMFLAG_REACHABILITY) == VMFLAG_REACHABLE; }
  bool GetIsPhantomReachable() const { return (flags & VMFLAG_REACHABILITY) == VMFLAG_PHANTOM_REACHABLE; }
  bool GetIsFinalizerReachable() const { return (flags & VMFLAG_REACHABILITY) == VMFLAG_FINALIZER_REACHABLE; }
  void ClearIsReachable() { SetField(VMFLAG_REACHABILITY, 0); }
  void ClearIsUnreachable() { ClearIsReachable(); }
  void ClearIsPhantomReachable() { ClearIsReachable(); }
  void ClearIsFinalizerReachable() { ClearIsReachable(); }

  /* Reference kind, bits 2-3. */
  void SetIsReference() { SetField(VMFLAG_REFERENCE_KIND, VMFLAG_REFERENCE); }
  void SetIsPhantomReference() { SetField(VMFLAG_REFERENCE_KIND, VMFLAG_PHANTOM_REFERENCE); }
  bool GetIsReference() const { return (flags & VMFLAG_REFERENCE_KIND) == VMFLAG_REFERENCE; }
  bool GetIsPhantomReference() const { return (flags & VMFLAG_REFERENCE_KIND) == VMFLAG_PHANTOM_REFERENCE; }
  void ClearIsReference() { SetField(VMFLAG_REFERENCE_KIND, 0); }
  void ClearIsPhantomReference() { ClearIsReference(); }

#define PUX_VM_FLAG_BIT(Name, bit)                  \
  void SetIs##Name() { flags |= (bit); }            \
  bool GetIs##Name() const { return (flags & (bit)) != 0; } \
  void ClearIs##Name() { flags &= (uint16_t)~(bit); }
  PUX_VM_FLAG_BIT(Finalized, VMFLAG_FINALIZED)
  PUX_VM_FLAG_BIT(Finalizable, VMFLAG_FINALIZABLE)
  PUX_VM_FLAG_BIT(PreGCAllocation, VMFLAG_PRE_GC_ALLOCATION)
  PUX_VM_FLAG_BIT(NameSpaceData, VMFLAG_NAME_SPACE_DATA)
  PUX_VM_FLAG_BIT(RootObject, VMFLAG_ROOT_OBJECT)
  PUX_VM_FLAG_BIT(ScalarArray, VMFLAG_SCALAR_ARRAY)
  PUX_VM_FLAG_BIT(RefArray, VMFLAG_REF_ARRAY)
#undef PUX_VM_FLAG_BIT

  /* The two flags that make an object a root of its own are counted over the process
     as they come and go: while none is set anywhere, a collection need not walk the
     heap to find such roots. A change that is no change is not counted; an object
     destroyed with either flag set takes its count with it (VMObjectBase::Destroy). */
#define PUX_VM_HELD_FLAG_BIT(Name, bit)                                      \
  void SetIs##Name() {                                                        \
    if ((flags & (bit)) == 0) {                                               \
      flags |= (bit);                                                         \
      __atomic_add_fetch(&heldFlags, 1u, __ATOMIC_SEQ_CST);                   \
    }                                                                         \
  }                                                                           \
  bool GetIs##Name() const { return (flags & (bit)) != 0; }                  \
  void ClearIs##Name() {                                                      \
    if ((flags & (bit)) != 0) {                                               \
      flags &= (uint16_t)~(bit);                                              \
      __atomic_sub_fetch(&heldFlags, 1u, __ATOMIC_SEQ_CST);                   \
    }                                                                         \
  }
  PUX_VM_HELD_FLAG_BIT(ReachableByCPlusPlusCode, VMFLAG_REACHABLE_BY_CPP)
  PUX_VM_HELD_FLAG_BIT(Deserializing, VMFLAG_DESERIALIZING)
#undef PUX_VM_HELD_FLAG_BIT
  /* Objects of every heap now flagged held by machine code or being read back (an
     object with both counts twice). */
  static uint32_t GetHeldFlags() { return __atomic_load_n(&heldFlags, __ATOMIC_SEQ_CST); }

  /* Kind of word 2, bits 13-15. */
  void SetHasSpecialObjWalker() { SetField(VMFLAG_KIND, VMFLAG_KIND_SPECIAL_WALKER); }
  void SetHasRefBits() { SetField(VMFLAG_KIND, VMFLAG_KIND_REF_BITS); }
  void SetHasStaticDataClass() { SetField(VMFLAG_KIND, VMFLAG_KIND_STATIC_DATA_CLASS); }
  void SetHasClass() { SetField(VMFLAG_KIND, VMFLAG_KIND_CLASS); }
  bool GetHasSpecialObjWalker() const { return (flags & VMFLAG_KIND) == VMFLAG_KIND_SPECIAL_WALKER; }
  bool GetHasRefBits() const { return (flags & VMFLAG_KIND) == VMFLAG_KIND_REF_BITS; }
  bool GetHasStaticDataClass() const { return (flags & VMFLAG_KIND) == VMFLAG_KIND_STATIC_DATA_CLASS; }
  bool GetHasClass() const { return (flags & VMFLAG_KIND) == VMFLAG_KIND_CLASS; }
  void ClearHasClass() { SetField(VMFLAG_KIND, 0); }
  void ClearHasRefBits() { ClearHasClass(); }
  void ClearHasSpecialObjWalker() { ClearHasClass(); }
  void ClearHasStaticDataClass() { ClearHasClass(); }

 protected:
  void SetField(uint16_t mask, uint16_t value) { flags = (uint16_t)((flags & ~mask) | value); }
  static uint32_t heldFlags;

  uint16_t flags;
  uint16_t numberOfElements;
};

class VMCommonObjectBase : public VMHeapObject {
 public:
  /* The answer of a reference walk and of its callbacks. */
  enum WalkResult { WalkAbort = 0, WalkDone = 1, WalkDescend = 2 };
  typedef WalkResult (*WalkCallback)(VMword* slot, void* context);
  typedef WalkResult (*SpecialObjWalker)(VMword* object, WalkCallback callback, void* context);

  /* Word 2 whatever its kind bits say. */
  VMword GetRefBits() const { return kindWord; }
  VMword GetKindWord() const { return kindWord; }
  void SetKindWord(VMword value) { kindWord = value; }
  VMMonitor* GetMonitor() const { return monitor; }
  void SetMonitor(VMMonitor* value) { monitor = value; }
  VMObject* GetQueue() const { return queue; }
  void SetQueue(VMObject* value) { queue = value; }

 protected:
  /* The monitor word, then the queue word; blocks of a name space's shared heap never
     move with a machine's heap and are left alone. */
  void Relocate(VMRelocateInfo* info);

  VMword kindWord;
  VMMonitor* monitor;
  VMObject* queue;

 private:
  static void relocReference(VMRelocateInfo* info, VMword* word);
};

class VMObjectBase : public VMCommonObjectBase {
 public:
  /* Where an element lies: its word, its index inside its piece (the element index for
     words of the block itself), and whether it is the piece's last word. */
  struct VMLocation {
    VMword* address;
    uint32_t index;
    bool last;
  };

  /* Two consecutive elements, the first element first (the low half of a long). */
  struct VMDoubleWord {
    VMword first;
    VMword second;
  };

  enum : uint32_t {
    FIRST_PART = 196,      /* body words inside the block */
    NESTING_SIZE = 64,     /* words of a piece, slots of a tree node */
    HEADER_WORDS = 5,
    PIECE_HEADER_WORDS = 2,
    MAX_BLOCK_BODY_WORDS = 232,
  };

  static uint32_t GetFirstPart() { return FIRST_PART; }
  static uint32_t GetMaxNestedElements() { return NESTING_SIZE; }
  /* Body words reachable from one slot of a level (64 to the power level). */
  static uint32_t FullSize(uint32_t level) { return (uint32_t)1 << (6 * level); }
  /* Body words the block of an object of n words holds. */
  static uint32_t BlockWordsFor(uint32_t n);

  /* A body of n words, all zero; NULL when storage cannot be had. With kind 0 a refusal
     gives back whatever was built, runs one collection and builds once more from
     nothing (asking with kind 1), so no collection ever meets a half-built body. */
  static VMObjectBase* CreateInstance(HHeap* heap, uint32_t n, jallocType kind, VMword tag);
  /* One block of `words` body words and no pieces. Above the inline part its body is
     plain data: read it through GetFirstElementPointer, not GetWord, which would take
     words 196 onward for slots. */
  static VMObjectBase* CreateInternal(HHeap* heap, uint32_t words, VMword tag, jallocType kind);
  void Destroy(HHeap* heap);
  /* The one collection a refused kind-0 request allows, of the calling thread's machine;
     false, collecting nothing, on a thread without a machine. Whatever was built for the
     request is given back before it is called, and built again after. */
  static bool CollectForRetry();
  /* The one collection of a refused kind-0 request with the request made again, by
     retry(context), before the machine's other threads go on; its answer, or NULL on a
     thread without a machine. */
  static void* CollectThenRetry(void* (*retry)(void*), void* context);
  /* Collection stress, a test mode the host turns on: one collection before every nth
     allocation of kind 0 (0: off), so that an object the machine holds only in a C++
     local across such an allocation is freed, and found, at once. */
  static void SetCollectionStress(uint32_t n);
  /* What a finished collection left alive on its heap (the host's count): sets the
     budget of bodies with pieces made before the next collection comes early. */
  static void NoteCollection(uint64_t liveBytes);
  static uint32_t GetCollectionStress();
  /* The stress collection of an allocation of the given kind made of parts asked for
     with kind 1 (a string and its characters): called once, before the first part. */
  static void StressPoint(jallocType kind);

  void* operator new(size_t, void* place) { return place; }

  /* The body runs past the end of the class: hide the pointer's origin from the
     optimiser so that it does not bound accesses by sizeof(*this). */
  VMword* Body() const {
    VMword* body = reinterpret_cast<VMword*>(const_cast<VMObjectBase*>(this)) + HEADER_WORDS;
    __asm__("" : "+r"(body));
    return body;
  }

  VMword GetWord(uint32_t i) const { return i < FIRST_PART ? Body()[i] : ExpensiveGetWord(i); }
  void SetWord(uint32_t i, VMword value) {
    if (i < FIRST_PART)
      Body()[i] = value;
    else
      ExpensiveSetWord(i, value);
  }
  jlong GetLong(uint32_t i) const;
  void SetLong(uint32_t i, jlong value);
  jdouble GetDouble(uint32_t i) const;
  void SetDouble(uint32_t i, jdouble value);
  void GetDoubleWord(uint32_t i, VMDoubleWord& value, int type) const;
  void SetDoubleWord(uint32_t i, const VMDoubleWord& value, int type);

  void LocateElement(uint32_t i, VMLocation& location) const {
    if (i < FIRST_PART) {
      location.address = const_cast<VMword*>(Body()) + i;
      location.index = i;
      location.last = (i == FIRST_PART - 1);
    } else {
      ExpensiveLocateElement(i, location);
    }
  }
  VMword* GetElementAddress(uint32_t i) const {
    return i < FIRST_PART ? const_cast<VMword*>(Body()) + i : ExpensiveElementAddress(i);
  }
  VMword* GetFirstElementPointer() const { return const_cast<VMword*>(Body()); }
  VMword& GetIndexRef(uint32_t i) const { return *GetElementAddress(i); }
  uint8_t* ExpensiveLocateElementAtOffset(uint32_t byteOffset) const {
    return reinterpret_cast<uint8_t*>(GetElementAddress(byteOffset >> 2)) + (byteOffset & 3);
  }

  /* Hands every slot of the piece trees, then the monitor and queue words, to the
     relocation callback. */
  void Relocate(VMRelocateInfo* info);

  VMword ExpensiveGetWord(uint32_t i) const { return *ExpensiveElementAddress(i); }
  void ExpensiveSetWord(uint32_t i, VMword value) { *ExpensiveElementAddress(i) = value; }
  void ExpensiveGetDoubleWord(uint32_t i, VMDoubleWord& value) const;
  void ExpensiveSetDoubleWord(uint32_t i, const VMDoubleWord& value);
  void ExpensiveLocateElement(uint32_t i, VMLocation& location) const {
    location.address = ExpensiveElementAddress(i);
    // Every level starts 4 words past a multiple of 64, so a piece's words are the
    // elements with the same (i - 196) >> 6.
    location.index = i < FIRST_PART ? i : (i - FIRST_PART) & (NESTING_SIZE - 1);
    location.last = i < FIRST_PART ? i == FIRST_PART - 1 : location.index == NESTING_SIZE - 1;
  }
  VMword* ExpensiveElementAddress(uint32_t i) const {
    const VMword* body = Body();
    if (i < 1476) {
      if (i < FIRST_PART) return const_cast<VMword*>(body) + i;
      uint32_t j = i - 196;
      return Node(body[196 + (j >> 6)]) + (j & 63);
    }
    if (i < 17860) {
      uint32_t j = i - 1476;
      return Node(Node(body[216 + (j >> 12)])[(j >> 6) & 63]) + (j & 63);
    }
    if (i < 1066436) {
      uint32_t j = i - 17860;
      return Node(Node(Node(body[220 + (j >> 18)])[(j >> 12) & 63])[(j >> 6) & 63]) + (j & 63);
    }
    return DeepElementAddress(i);
  }

 private:
  /* One block, asked for once with kind; nothing collects here. */
  static VMObjectBase* AllocBlock(HHeap* heap, uint32_t words, VMword tag, jallocType kind);
  /* The block and every piece, each asked for once with kind: NULL, with nothing left
     on the heap, when any of them is refused. */
  static VMObjectBase* Build(HHeap* heap, uint32_t n, jallocType kind, VMword tag);
  struct BuildRequest {
    HHeap* heap;
    uint32_t n;
    VMword tag;
    bool single;  /* one block (CreateInternal), else a body with pieces */
  };
  static void* BuildAgain(void* request);
  static VMword* NewSubPiece(uint32_t count, jallocType kind, HHeap* heap, VMword tag);
  static uint32_t CreateSubPieces(VMword* slot, uint32_t level, uint32_t count, jallocType kind,
                                  HHeap* heap, VMword tag);
  static void DestroySubPieces(HHeap* heap, VMword* slots, uint32_t count, uint32_t level);
  static void RelocateSubPiece(VMRelocateInfo* info, VMword* slot, uint32_t level);
  static VMword* Node(VMword slot) { return reinterpret_cast<VMword*>(slot); }
  /* Levels 4 and 5. */
  VMword* DeepElementAddress(uint32_t i) const;
};

static_assert(sizeof(VMTaggedObject) == 4, "tag word");
static_assert(sizeof(VMHeapObject) == 8, "tag and flags words");
static_assert(sizeof(VMCommonObjectBase) == 20, "five header words");
static_assert(sizeof(VMObjectBase) == 20, "the body starts right behind the header");
static_assert(sizeof(VMObjectBase::VMDoubleWord) == 8, "two words");

#endif
