/* The machine's own reference containers. They are heap objects, so the collector sees
   every reference they hold: handle arrays (small integer handles to objects) and
   open-addressing hash tables of objects with a per-type hash function. */
#ifndef PUX_VMHANDLEARRAY_H
#define PUX_VMHANDLEARRAY_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmobject.h"
#include "vmstatus.h"
#include "vmarray.h"

/* ------------------------------------------------------------------------------------ */
/* Handle arrays. Index 0 is never handed out, so 0 can mean "none".                     */

class VMHandleArray : public VMInternalObject {
 public:
  enum { Words = 7, RefMask = 0x41 };
  enum { ArrayWord = 0, CountWord = 1, InitialWord = 2, IncrementWord = 3, HeapWord = 4, FlagsWord = 5, OwnersWord = 6 };

  /* A size or increment of 0 counts as 1. NULL when any part cannot be made. */
  static VMHandleArray* CreateInstance(HHeap* heap, VMword elementTag, uint32_t initial,
                                       uint32_t increment);
  static VMHandleArray* Instantiate(HHeap* heap, uint32_t words, VMword mask);

  /* The lowest index from 1 below Count whose slot holds object, else 0; Find(NULL) is the
     first free slot. */
  uint32_t Find(VMObject* object);
  VMStatus AddAt(uint32_t index, VMObject* object);
  /* The index used, 0 for a NULL object or when the array cannot grow. */
  uint32_t Append(VMObject* object);
  /* Reuses the first free slot, else appends; 0 for a NULL object or on failure. */
  uint32_t Add(VMObject* object);
  void Delete(uint32_t index);
  void Clear(uint32_t first);
  /* NULL for an index beyond the slots. */
  VMObject* Get(uint32_t index);
  /* For arrays that other threads read without a lock: makes room for index as Resize
     does, but the old reference array stays alive, chained through slot 0 of the new
     one (which no handle names), so that a reader still holding it reads valid slots.
     Destroy releases the chain. With owned, the owner words grow to the new capacity too.
     The caller excludes every other writer. */
  VMStatus GrowKeepingOld(uint32_t index, bool owned = false);
  /* Frees the slot arrays GrowKeepingOld retired. Only while no reader can hold one: with
     every thread of the array's users stopped. */
  void FreeRetired();
  /* The first free slot below Count (from the free hint), 0 when there is none. */
  uint32_t FindFree();

  /* Shared arrays record which thread made each slot's handle, so that a thread's bulk
     deletion takes only its own: one owner word a slot. They grow with GrowKeepingOld
     once HasOwnerRoom has been false (GrowKeepingOld with owned); owner 0 is nobody's. */
  bool HasOwnerRoom(uint32_t index) {
    VMintArray* owners = GetOwners();
    return owners != nullptr && index < owners->GetSize();
  }
  void SetOwner(uint32_t index, VMword owner) {
    if (HasOwnerRoom(index)) GetOwners()->Set(index, (int32_t)owner);
  }
  /* Whether slot index, below Count, holds a handle owner made. */
  bool IsOwnedBy(uint32_t index, VMword owner) {
    return index >= 1 && index < GetCount() && GetArray()->Get(index) != nullptr && HasOwnerRoom(index) &&
           (VMword)GetOwners()->Get(index) == owner;
  }
  /* Empties every slot that owner made from first up; shrinks Count past the empty slots
     at the top. */
  void ClearOwned(uint32_t first, VMword owner);
  /* Empties slot index when owner made its handle; Count stays (DropEmptyTop). The slot
     forgets its maker: whoever fills it next stores the handle before its own owner. */
  void ClearIfOwned(uint32_t index, VMword owner) {
    if (!IsOwnedBy(index, owner)) return;
    GetArray()->Set(index, nullptr);
    GetOwners()->Set(index, 0);
    LowerFreeHint(index);
  }
  /* Shrinks Count past the empty slots at the top. */
  void DropEmptyTop() {
    VMObjectArray* slots = GetArray();
    uint32_t count = GetCount();
    while (count > 1 && slots->Get(count - 1) == nullptr) count--;
    if (count < GetCount()) SetCount(count);
  }
  /* Frees the slots and the array through the array's own heap; heap must be that heap
     (anything else is a caller's error, reported, and never used to free). */
  void Destroy(HHeap* heap);

  VMObjectArray* GetArray() { return (VMObjectArray*)GetReference(ArrayWord); }
  uint32_t GetCount() { return GetScalar(CountWord); }
  uint32_t GetInitial() { return GetScalar(InitialWord); }
  uint32_t GetIncrement() { return GetScalar(IncrementWord); }
  HHeap* GetHeap() { return (HHeap*)GetScalar(HeapWord); }

  bool GetIsbeingAllocated() { return (GetScalar(FlagsWord) & 1) != 0; }
  void SetIsbeingAllocated() { SetScalar(FlagsWord, GetScalar(FlagsWord) | 1); }
  void ClearIsbeingAllocated() { SetScalar(FlagsWord, GetScalar(FlagsWord) & ~1u); }

 private:
  /* Every slot from 1 below the hint holds an object, so Add looks for the first free
     slot from there: filling n handles reads each slot about once, not n^2/2 times. The
     hint lives in the flag word above bit 0. */
  uint32_t GetFreeHint() {
    uint32_t hint = GetScalar(FlagsWord) >> 1;
    return hint < 1 ? 1 : hint;
  }
  void SetFreeHint(uint32_t hint) { SetScalar(FlagsWord, (GetScalar(FlagsWord) & 1) | (hint << 1)); }
  void LowerFreeHint(uint32_t index) {
    if (index < GetFreeHint()) SetFreeHint(index);
  }
  VMStatus Resize(uint32_t index);
  /* The capacity of a grown slot array that must hold index: doubled, so that n handles
     cost O(n) copying and at most as much again in retired arrays. 0 on overflow. */
  uint32_t GrownSize(uint32_t index);
  VMintArray* GetOwners() { return (VMintArray*)GetReference(OwnersWord); }
  void SetArray(VMObjectArray* a) { SetReference(ArrayWord, (VMObject*)a); }
  void SetCount(uint32_t n) { SetScalar(CountWord, n); }
};

/* Views of a handle array typed to their element class (Self is the view itself). */
template <class T, class Self>
class VMTypedHandleArray : public VMHandleArray {
 public:
  static Self* CreateInstance(HHeap* heap, VMword elementTag, uint32_t initial,
                              uint32_t increment) {
    return (Self*)VMHandleArray::CreateInstance(heap, elementTag, initial, increment);
  }
  VMStatus AddAt(uint32_t index, T* object) {
    return VMHandleArray::AddAt(index, (VMObject*)object);
  }
  uint32_t Find(T* object) { return VMHandleArray::Find((VMObject*)object); }
  uint32_t Add(T* object) { return VMHandleArray::Add((VMObject*)object); }
  uint32_t Append(T* object) { return VMHandleArray::Append((VMObject*)object); }
  /* The index of object, added when it is not there yet; 0 for NULL, which is never
     stored (Find(NULL) would report a free slot as its index). */
  uint32_t AddOrFind(T* object) {
    if (object == nullptr) return 0;
    uint32_t i = Find(object);
    return i != 0 ? i : Add(object);
  }
  T* Get(uint32_t index) { return (T*)VMHandleArray::Get(index); }
};

class VMClassHandleArray : public VMTypedHandleArray<VMClass, VMClassHandleArray> {};
class VMClassLoaderHandleArray
    : public VMTypedHandleArray<VMClassLoader, VMClassLoaderHandleArray> {};
class VMMethodHandleArray : public VMTypedHandleArray<VMMethod, VMMethodHandleArray> {};
class VMObjectHandleArray : public VMTypedHandleArray<VMObject, VMObjectHandleArray> {};
class VMThreadHandleArray : public VMTypedHandleArray<VMThread, VMThreadHandleArray> {};
static_assert(sizeof(VMObjectHandleArray) == sizeof(VMObject), "views add no fields");

/* ------------------------------------------------------------------------------------ */
/* Hash tables of objects: prime sizes, double hashing, slots holding entry index + 1 so  */
/* that growth never moves an entry.                                                      */

typedef VMword (*VMHashFunction)(VMObject* entry);

enum : uint32_t { VMHashNotFound = 0xFFFFFFFFu };

/* Lock modes: (mode & 48) == 16 - spin lock taken by the probe iterators; == 32 - a host
   mutex taken by the probe iterators; anything else - a spin lock the callers take. The
   spin-lock kind handed to the host is mode & ~48. */
enum : uint32_t { VMHashLockMask = 48, VMHashLockSpin = 16, VMHashLockMutex = 32 };

class VMObjectHashTable : public VMInternalObject {
 public:
  enum { Words = 11, RefMask = 0x3 };
  enum {
    ObjectArrayWord = 0,
    IndexArrayWord = 1,
    SpinLockWord = 2,
    MutexWord = 3,
    EventWord = 4,
    FilledWord = 5,
    ThreshholdWord = 6,
    HashSizeWord = 7,
    HashFuncWord = 8,
    HeapWord = 9,
    FlagsWord = 10
  };

  /* NULL on failure, with everything made so far released. */
  static VMObjectHashTable* CreateInstance(HHeap* heap, VMHashFunction hashFunc, uint32_t mode,
                                           VMword tag, uint32_t size);

  /* Entry indexes, or VMHashNotFound. Add and AddOrFind take no lock: a caller that
     shares the table provides the exclusion. */
  uint32_t Add(VMObject* object);
  uint32_t AddOrFind(VMObject* object);
  uint32_t Find(VMObject* object);
  VMObject* Get(uint32_t entry);
  VMStatus Clear();
  VMStatus Delete(VMObject* object);

  /* The growth protocol of caller-locked tables. Lock and relSpinlock sit on every
     literal look-up: their common case is in line. */
  bool Lock(bool wait) {
    /* A refused spin lock is a failed Lock: the caller must not go on, nor release it. */
    if (VMUtils::GetHostFunctions()->SpinLockAcquire(GetSpinLock(), LockGetTag) == 0) return false;
    if (!wait || !GetIsbeingAllocated()) return true;
    return WaitForGrowth();
  }
  void relSpinlock() {
    VMUtils::GetHostFunctions()->SpinLockRelease(GetSpinLock(), LockReleaseTag);
  }
  bool CheckandUnlockifGrowing();
  /* Ends a growth (grew) by clearing the growing flag and posting the event once for
     each thread counted as waiting (at least once), or only releases the spin lock. */
  void UnlockOrNotify(bool grew);

  /* Bit 0 of the flags word is the growing flag; the bits above count the threads that
     wait for the growth to end (in units of WaiterUnit). */
  enum : uint32_t { WaiterUnit = 2 };
  bool GetIsbeingAllocated() { return (GetScalar(FlagsWord) & 1) != 0; }
  void SetIsbeingAllocated() { SetScalar(FlagsWord, GetScalar(FlagsWord) | 1); }
  void ClearIsbeingAllocated() { SetScalar(FlagsWord, GetScalar(FlagsWord) & ~1u); }

  /* Frees through the table's own heap, as the handle array does. */
  void Destroy(HHeap* heap);

  VMObjectArray* GetObjectArray() { return (VMObjectArray*)GetReference(ObjectArrayWord); }
  VMintArray* GetIndexArray() { return (VMintArray*)GetReference(IndexArrayWord); }
  void* GetSpinLock() { return (void*)GetScalar(SpinLockWord); }
  void* GetMutex() { return (void*)GetScalar(MutexWord); }
  void* GetEvent() { return (void*)GetScalar(EventWord); }
  uint32_t GetFilled() { return GetScalar(FilledWord); }
  uint32_t GetThreshhold() { return GetScalar(ThreshholdWord); }
  uint32_t GetHashSize() { return GetScalar(HashSizeWord); }
  VMword* HashSizeAddress() { return GetElementAddress(HashSizeWord); }
  VMHashFunction GetHashFunc() { return (VMHashFunction)GetScalar(HashFuncWord); }
  HHeap* GetHeap() { return (HHeap*)GetScalar(HeapWord); }

  /* The table's sizes: odd numbers without an odd divisor, starting from n with its
     lowest bit set (so 3 is passed over); NextSize roughly doubles. */
  static uint32_t NextPrime(uint32_t n);
  static uint32_t NextSize(uint32_t n);

  VMword Hash(VMObject* object) { return GetHashFunc()(object); }

 private:
  friend class VMObjectHashTableIterator;
  static VMObjectHashTable* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  static const char* const LockGetTag;
  static const char* const LockReleaseTag;
  /* Lock(true) found a growth going on, with the lock held: waits it out. */
  bool WaitForGrowth();

  /* Refuses (19) before anything is written when the table could not take one more. */
  VMStatus CanInsert();
  /* After an entry is written: makes room for the next one. Failures are not reported
     back; they are retried by the next insertion. */
  void Inserted();
  VMStatus GrowObjectArray();
  VMStatus Rehash();
  /* Places entry index e in the first free slot of its probe sequence. */
  void PlaceEntry(uint32_t e, VMObject* object);

  void SetFilled(uint32_t n) { SetScalar(FilledWord, n); }
};

/* A probe along one hash value's slot sequence; takes the table's lock for its lifetime
   when its mode asks for it. When the host refuses that lock the probe is refused as a
   whole: Next finds nothing and Insert stores nothing, so no caller reads or writes a
   shared table without its lock; Refused tells such a probe from one that found an
   empty slot. It has a destructor, so it must not live in a frame that a long jump
   skips. */
class VMObjectHashTableIterator {
 public:
  VMObjectHashTableIterator() : table(nullptr), position(0), previous(0), step(0), hash(0),
                                lastEntry(VMHashNotFound), mode(0), locked(false),
                                refused(false), started(false) {}
  VMObjectHashTableIterator(VMObjectHashTable* t, VMword hash, uint32_t lockMode)
      : VMObjectHashTableIterator() {
    Init(t, hash, lockMode);
  }
  ~VMObjectHashTableIterator() { Release(); }
  VMObjectHashTableIterator(const VMObjectHashTableIterator&) = delete;
  VMObjectHashTableIterator& operator=(const VMObjectHashTableIterator&) = delete;

  void Init(VMObjectHashTable* t, VMword h, uint32_t lockMode) {
    table = t;
    mode = lockMode;
    lastEntry = VMHashNotFound;
    locked = false;
    refused = false;
    if ((lockMode & VMHashLockMask) != 0) TakeLock();
    position = h % t->GetHashSize();
    step = 0;
    hash = h;
    previous = position;
    started = false;
  }

  /* Where a probe of hash h would start and go on, worked out from a size read before
     the table's lock is taken, so that the divisions overlap with taking it. Only the
     size is read (atomically): the table object outlives its arrays. */
  struct Start {
    uint32_t size;
    uint32_t position;
    uint32_t step;
  };
  static Start Prepare(VMObjectHashTable* t, VMword h) {
    Start s;
    s.size = __atomic_load_n(t->HashSizeAddress(), __ATOMIC_RELAXED);
    s.position = h % s.size;
    s.step = ((h >> 8) % (s.size - 1)) | 1;
    return s;
  }
  /* Init without lock taking, for a table whose caller holds its lock: uses start when
     the table still has the size it was worked out for. */
  void Init(VMObjectHashTable* t, VMword h, const Start& start) {
    if (t->GetHashSize() != start.size) {
      Init(t, h, 0);
      return;
    }
    table = t;
    mode = 0;
    lastEntry = VMHashNotFound;
    locked = false;
    refused = false;
    position = start.position;
    step = start.step;
    hash = h;
    previous = position;
    started = false;
  }
  /* The entry at the next slot of the sequence, or NULL at an empty slot. */
  VMObject* Next() {
    if (refused) return nullptr;
    if (started) Advance();
    started = true;
    previous = position;
    /* Slot and entry indexes are always within their arrays: read them directly. */
    uint32_t slot = *(const uint32_t*)table->GetIndexArray()->FindElement(position, 2);
    if (slot == 0) {
      lastEntry = VMHashNotFound;
      return nullptr;
    }
    lastEntry = slot - 1;
    return *(VMObject* const*)table->GetObjectArray()->FindElement(lastEntry, 2);
  }
  /* Stores object at the empty slot the last Next stopped at: its entry index, or
     VMHashNotFound when the table refuses or the probe holds no lock it needs (nothing is
     written then). */
  uint32_t Insert(VMObject* object);
  /* Whether the host refused the lock this probe's mode takes. */
  bool Refused() const { return refused; }
  /* Gives up the lock before the iterator ends (the destructor then does nothing). */
  void Release() {
    if (locked) ReleaseLock();
  }

 private:
  friend class VMObjectHashTable;
  void TakeLock();
  void ReleaseLock();
  void Advance();

  VMObjectHashTable* table;
  uint32_t position;
  uint32_t previous;
  uint32_t step;       /* 0 until the first step is taken */
  VMword hash;
  uint32_t lastEntry;  /* entry index of the last slot visited; VMHashNotFound when empty */
  uint32_t mode;
  bool locked;
  bool refused;  /* the lock the mode asks for was refused: the probe sees nothing */
  bool started;
};

/* ------------------------------------------------------------------------------------ */
/* The typed tables: each fixes its hash function, lock mode and tag.                    */

#define PUX_TYPED_HASH_TABLE(Name, lockMode, tagValue)                                   \
  class Name : public VMObjectHashTable {                                                 \
   public:                                                                                \
    enum : uint32_t { Mode = (lockMode) };                                                \
    static constexpr VMword Tag = (tagValue);                                             \
    static VMword HashFunc(VMObject* entry);                                              \
    static Name* CreateInstance(HHeap* heap, uint32_t size) {                             \
      return (Name*)VMObjectHashTable::CreateInstance(heap, HashFunc, Mode, Tag, size);  \
    }                                                                                     \
  };

PUX_TYPED_HASH_TABLE(VMJavaLangStringHashTable, 32, 0x7323FECAu)
PUX_TYPED_HASH_TABLE(VMNativeClassInfoHashTable, 32, 0x4526FECAu)
PUX_TYPED_HASH_TABLE(VMZipEntryHashTable, 32, 0x683DFECAu)
PUX_TYPED_HASH_TABLE(VMLiteralHashTable, 4, 0x5323FECAu)
PUX_TYPED_HASH_TABLE(VMClassHashTable, 20, 0x6B23FECAu)
PUX_TYPED_HASH_TABLE(VMMethodHashTable, 20, 0x6D23FECAu)
PUX_TYPED_HASH_TABLE(VMCompiledClassInfoHashTable, 20, 0x4326FECAu)
PUX_TYPED_HASH_TABLE(VMClassLoaderHashTable, 20, 0x6F7AFECAu)
PUX_TYPED_HASH_TABLE(VMbyteArrayHashTable, 20, 0x643DFECAu)

#undef PUX_TYPED_HASH_TABLE

#endif
