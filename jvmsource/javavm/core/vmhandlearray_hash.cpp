#include "vmhandlearray.h"

#include <string.h>

#include "vmliteral.h"
#include "vmutils.h"

static const char* const kIteratorGet = "table spinlock - Get  VMObjectHashTableIterator::Init";
static const char* const kIteratorRelease =
    "table spinlock - Release  VMObjectHashTableIterator::~VMObjectHashTableIterator";
const char* const VMObjectHashTable::LockGetTag = "table spinlock - Get  VMObjectHashTable::Lock";
const char* const VMObjectHashTable::LockReleaseTag =
    "table spinlock - Release  VMObjectHashTable::Lock";

/* ---------------------------------------------------------------------------------- */
/* Sizes                                                                               */

uint32_t VMObjectHashTable::NextPrime(uint32_t n) {
  for (uint32_t candidate = n | 1;; candidate += 2) {
    for (uint32_t d = 3;; d += 2) {
      uint32_t q = candidate / d;
      if (candidate % d == 0) break;  /* rejected: try the next odd candidate */
      if (d > q) return candidate;
    }
  }
}

uint32_t VMObjectHashTable::NextSize(uint32_t n) { return NextPrime((n - 1) * 2); }

/* ---------------------------------------------------------------------------------- */
/* Creation and destruction                                                            */

VMObjectHashTable* VMObjectHashTable::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMObjectHashTable*)VMObject::CreateInternalNotToBeCalledDirectly(
      heap, words, mask, VMTag_VMObjectHashTable, jallocFailFast);
}

VMObjectHashTable* VMObjectHashTable::CreateInstance(HHeap* heap, VMHashFunction hashFunc,
                                                     uint32_t mode, VMword tag, uint32_t size) {
  VMObjectHashTable* self = Instantiate(heap, Words, RefMask);
  if (self == nullptr) return nullptr;
  self->SetTag(tag);
  self->SetScalar(HeapWord, (VMword)heap);
  bool ok;
  if ((mode & VMHashLockMask) == VMHashLockMutex) {
    void* mutex = VMUtils::MutexCreate(self);
    self->SetScalar(MutexWord, (VMword)mutex);
    ok = mutex != nullptr;
  } else {
    void* spin = VMUtils::SpinLockCreate(self, (jint)(mode & ~VMHashLockMask),
                                         "VMHashTable::CreateInstance - Create");
    self->SetScalar(SpinLockWord, (VMword)spin);
    ok = spin != nullptr;
  }
  /* A one-slot table cannot be probed (its step is taken modulo 0). */
  if (size < 2) size = 2;
  uint32_t s = NextPrime(size);
  if (ok) {
    VMObjectArray* entries = VMObjectArray::CreateInstance(heap, s, jallocFailFast, tag);
    self->SetReference(ObjectArrayWord, (VMObject*)entries);
    ok = entries != nullptr;
  }
  if (ok) {
    VMintArray* slots = VMintArray::CreateInstance(heap, s, jallocFailFast, tag);
    self->SetReference(IndexArrayWord, (VMObject*)slots);
    ok = slots != nullptr;
  }
  if (ok) {
    void* event = VMUtils::EventSemaphoreCreate(self);
    self->SetScalar(EventWord, (VMword)event);
    ok = event != nullptr;
  }
  if (!ok) {
    self->Destroy(heap);
    return nullptr;
  }
  self->SetScalar(HashFuncWord, (VMword)hashFunc);
  self->SetScalar(ThreshholdWord, s / 2 + 1);
  self->SetScalar(HashSizeWord, s);
  self->SetFilled(0);
  self->ClearIsbeingAllocated();
  return self;
}

void VMObjectHashTable::Destroy(HHeap* heap) {
  /* Freeing a block through another heap than its own corrupts both. */
  if (GetHeap() != heap) JNI_Assert("GetHeap() == heap", "jvmsource/javavm/vmhandlearray", __LINE__);
  heap = GetHeap();
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  VMObjectArray* entries = GetObjectArray();
  if (entries != nullptr) entries->VMObject::Destroy(heap);
  VMintArray* slots = GetIndexArray();
  if (slots != nullptr) slots->VMObject::Destroy(heap);
  if (GetSpinLock() != nullptr) host->CloseHandle(GetSpinLock(), "VMObjectHashTable::Destroy - Close");
  if (GetMutex() != nullptr) host->MutexDestroy(GetMutex());
  if (GetEvent() != nullptr) host->EventSemaphoreDestroy(GetEvent());
  VMObject::Destroy(heap);
}

/* ---------------------------------------------------------------------------------- */
/* Probing                                                                             */

void VMObjectHashTableIterator::TakeLock() {
  switch (mode & VMHashLockMask) {
    /* A lock the host refused is not held, and must not be released by the iterator's
       end: that would release it for whichever thread does hold it. */
    case VMHashLockSpin:
      locked = VMUtils::P_SpinLock(table->GetSpinLock(), kIteratorGet) != 0;
      refused = !locked;
      break;
    case VMHashLockMutex:
      locked = VMUtils::MutexLock(table->GetMutex()) != 0;
      refused = !locked;
      break;
    default:
      break;
  }
}

void VMObjectHashTableIterator::ReleaseLock() {
  locked = false;
  if ((mode & VMHashLockMask) == VMHashLockSpin) {
    VMUtils::V_SpinLock(table->GetSpinLock(), kIteratorRelease);
  } else {
    VMUtils::MutexUnlock(table->GetMutex());
  }
}

void VMObjectHashTableIterator::Advance() {
  uint32_t size = table->GetHashSize();
  /* Most probes end at their first slot: the step is worked out when first needed. */
  if (step == 0) step = ((hash >> 8) % (size - 1)) | 1;
  position += step;
  if (position >= size) position -= size;
}

uint32_t VMObjectHashTableIterator::Insert(VMObject* object) {
  /* Only the empty slot that ended a probe can take an entry, and only under the lock. */
  if (refused || !started || lastEntry != VMHashNotFound) return VMHashNotFound;
  uint32_t size = table->GetHashSize();
  if (table->CanInsert() != 0) return VMHashNotFound;
  uint32_t e = table->GetFilled();
  table->GetObjectArray()->Set(e, object);
  if (table->GetHashSize() == size) {
    table->GetIndexArray()->Set(previous, (jint)(e + 1));
  } else {
    /* Making room rehashed the table: the slot this probe stopped at is gone. */
    table->PlaceEntry(e, object);
  }
  table->SetFilled(e + 1);
  /* The entry is in the table from here on: growth failures do not undo it. */
  table->Inserted();
  lastEntry = e;
  return e;
}

/* ---------------------------------------------------------------------------------- */
/* Insertion and growth                                                                */

VMStatus VMObjectHashTable::CanInsert() {
  uint32_t filled = GetFilled();
  /* A full table is one whose rehashes failed: try once more now. */
  if (filled + 1 >= GetHashSize() && (Rehash() != 0 || filled + 1 >= GetHashSize()))
    return VMStatus_OutOfMemoryError;
  if (filled >= GetObjectArray()->GetSize()) {
    /* An earlier growth of the entry array failed: try once more now. */
    if (GrowObjectArray() != 0) return VMStatus_OutOfMemoryError;
  }
  return 0;
}

VMStatus VMObjectHashTable::GrowObjectArray() {
  VMObjectArray* entries = GetObjectArray();
  uint32_t size = entries->GetSize();
  VMObjectArray* grown =
      VMObjectArray::CreateInstance(GetHeap(), NextSize(size), jallocFailFast, GetTag());
  if (grown == nullptr) return VMStatus_OutOfMemoryError;
  grown->Copy(entries, 0, 0, size);
  SetReference(ObjectArrayWord, (VMObject*)grown);
  entries->VMObject::Destroy(GetHeap());
  return 0;
}

void VMObjectHashTable::Inserted() {
  uint32_t n = GetFilled();
  if (n + 1 >= GetObjectArray()->GetSize()) (void)GrowObjectArray();
  /* A failed rehash leaves a valid, denser table; the next insertion tries again. */
  if (n >= GetThreshhold()) (void)Rehash();
}

void VMObjectHashTable::PlaceEntry(uint32_t e, VMObject* object) {
  VMObjectHashTableIterator it(this, Hash(object), 0);
  while (it.Next() != nullptr) {
  }
  GetIndexArray()->Set(it.previous, (jint)(e + 1));
}

VMStatus VMObjectHashTable::Rehash() {
  uint32_t s = NextSize(GetHashSize());
  VMintArray* slots = VMintArray::CreateInstance(GetHeap(), s, jallocFailFast, GetTag());
  if (slots == nullptr) return VMStatus_OutOfMemoryError;
  VMintArray* old = GetIndexArray();
  SetReference(IndexArrayWord, (VMObject*)slots);
  old->VMObject::Destroy(GetHeap());
  SetScalar(ThreshholdWord, s / 2 + 1);
  /* Read without the lock by probes that work out their start early (Prepare). */
  __atomic_store_n(HashSizeAddress(), s, __ATOMIC_RELAXED);
  VMObjectArray* entries = GetObjectArray();
  uint32_t filled = GetFilled();
  for (uint32_t e = 0; e < filled; e++) PlaceEntry(e, entries->Get(e));
  return 0;
}

/* ---------------------------------------------------------------------------------- */
/* Pointer operations                                                                  */

uint32_t VMObjectHashTable::Add(VMObject* object) {
  VMObjectHashTableIterator it(this, Hash(object), 0);
  while (it.Next() != nullptr) {
  }
  return it.Insert(object);
}

uint32_t VMObjectHashTable::AddOrFind(VMObject* object) {
  VMObjectHashTableIterator it(this, Hash(object), 0);
  for (;;) {
    VMObject* entry = it.Next();
    if (entry == nullptr) return it.Insert(object);
    if (entry == object) return it.lastEntry;
  }
}

uint32_t VMObjectHashTable::Find(VMObject* object) {
  VMObjectHashTableIterator it(this, Hash(object), 0);
  for (;;) {
    VMObject* entry = it.Next();
    if (entry == nullptr) return VMHashNotFound;
    if (entry == object) return it.lastEntry;
  }
}

VMObject* VMObjectHashTable::Get(uint32_t entry) {
  VMObjectArray* entries = GetObjectArray();
  return entry < entries->GetSize() ? entries->Get(entry) : nullptr;
}

/* Empties the first size slots a run of words at a time: tables sized for a whole heap
   have tens of thousands of slots, most of them in pieces past the array's first part. */
static void ClearSlots(VMintArray* slots, uint32_t size) {
  for (uint32_t i = 0; i < size && i < slots->GetSize();) {
    uint32_t run = 0;
    void* at = slots->FindElement(i, &run);
    if (at == nullptr || run == 0) break;
    if (run > size - i) run = size - i;
    memset(at, 0, (size_t)run * sizeof(jint));
    i += run;
  }
}

VMStatus VMObjectHashTable::Clear() {
  ClearSlots(GetIndexArray(), GetHashSize());
  VMObjectArray* entries = GetObjectArray();
  uint32_t filled = GetFilled();
  SetFilled(0);
  for (uint32_t e = 0; e < filled; e++) entries->Set(e, nullptr);
  return 0;
}

VMStatus VMObjectHashTable::Delete(VMObject* object) {
  ClearSlots(GetIndexArray(), GetHashSize());
  VMObjectArray* entries = GetObjectArray();
  uint32_t filled = GetFilled();
  uint32_t kept = 0;
  for (uint32_t e = 0; e < filled; e++) {
    VMObject* entry = entries->Get(e);
    if (entry == object) continue;
    entries->Set(kept, entry);
    PlaceEntry(kept, entry);
    kept++;
  }
  /* The vacated tail would otherwise keep the deleted object reachable for the
     collector, and the first null entry is what ends the used entries. */
  for (uint32_t e = kept; e < filled; e++) entries->Set(e, nullptr);
  SetFilled(kept);
  return 0;
}

/* ---------------------------------------------------------------------------------- */
/* The growth protocol of caller-locked tables                                         */

bool VMObjectHashTable::WaitForGrowth() {
  void* spin = GetSpinLock();
  while (GetIsbeingAllocated()) {
    /* Counted under the spin lock, so that the grower posts once for every waiter: the
       event releases one waiter per post, and a waiter left without one would sleep
       its whole step. A waiter whose step ran out counts itself again; the post it
       leaves over only makes a later wait return early and look again. */
    SetScalar(FlagsWord, GetScalar(FlagsWord) + WaiterUnit);
    VMUtils::V_SpinLock(spin, LockReleaseTag);
    if (VMUtils::GetHostFunctions()->EventWait(GetEvent(), 100) == 1) return false;
    if (VMUtils::P_SpinLock(spin, LockGetTag) == 0) return false;
  }
  return true;
}

bool VMObjectHashTable::CheckandUnlockifGrowing() {
  uint32_t n = GetFilled() + 1;
  if (n < GetThreshhold() && n + 1 < GetObjectArray()->GetSize()) return false;
  SetIsbeingAllocated();
  relSpinlock();
  return true;
}

void VMObjectHashTable::UnlockOrNotify(bool grew) {
  if (grew) {
    /* The flag is cleared even without the lock: left set, it would hold every later
       Lock(true) off for good. */
    bool held = Lock(false);
    uint32_t waiters = GetScalar(FlagsWord) / WaiterUnit;
    SetScalar(FlagsWord, 0);
    if (held) relSpinlock();
    JNIHostFunctions* host = VMUtils::GetHostFunctions();
    do host->EventPost(GetEvent());
    while (waiters-- > 1);
  } else {
    relSpinlock();
  }
}

/* ---------------------------------------------------------------------------------- */
/* Hash functions of the typed tables: each reads a word of the entry's body.          */

static inline VMword BodyWord(VMObject* entry, uint32_t i) {
  return ((VMObjectBase*)entry)->GetWord(i);
}

VMword VMJavaLangStringHashTable::HashFunc(VMObject* e) { return BodyWord(e, 3); }
VMword VMNativeClassInfoHashTable::HashFunc(VMObject* e) { return BodyWord(e, 3); }
VMword VMZipEntryHashTable::HashFunc(VMObject* e) { return BodyWord(e, 4); }
VMword VMLiteralHashTable::HashFunc(VMObject* e) { return ((VMLiteral*)e)->GetHash(); }
VMword VMClassHashTable::HashFunc(VMObject* e) { return BodyWord(e, 5); }
VMword VMMethodHashTable::HashFunc(VMObject* e) {
  VMLiteral* name = (VMLiteral*)BodyWord(e, 0);
  VMLiteral* signature = (VMLiteral*)BodyWord(e, 1);
  return name->GetHash() ^ signature->GetHash();
}
VMword VMCompiledClassInfoHashTable::HashFunc(VMObject* e) { return BodyWord(e, 2); }
VMword VMClassLoaderHashTable::HashFunc(VMObject* e) { return BodyWord(e, 1); }
VMword VMbyteArrayHashTable::HashFunc(VMObject* e) { return BodyWord(e, 0); }
