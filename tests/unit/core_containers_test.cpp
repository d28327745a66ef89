/* Handle arrays, hash tables and FILO queues. */
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core_support.h"
#include "vmfiloqueue.h"
#include "vmhandlearray.h"
#include "vmthread.h"

using core_test::CoreTest;

namespace {

/* A small internal object whose body word 0 is its key. */
VMInternalObject* Item(HHeap* heap, VMword key, uint32_t words = 6) {
  VMInternalObject* o = VMInternalObject::Instantiate(heap, words, 0);
  if (o != nullptr) o->SetScalar(0, key);
  return o;
}

VMword KeyHash(VMObject* o) { return ((VMInternalObject*)o)->GetScalar(0); }

class ContainerTest : public CoreTest {
 protected:
  VMInternalObject* Make(VMword key) {
    VMInternalObject* o = Item(nsHeap, key);
    EXPECT_NE(nullptr, o);
    items.push_back(o);
    return o;
  }
  void TearDown() override {
    for (VMInternalObject* o : items) o->Destroy(nsHeap);
    CoreTest::TearDown();
  }
  std::vector<VMInternalObject*> items;
};

/* ------------------------------------------------------------------------------------ */
/* Handle arrays                                                                         */

class CoreHandleArray : public ContainerTest {};

TEST_F(CoreHandleArray, IndexesStartAtOneAndFreedIndexesAreReused) {
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 4, 4);
  ASSERT_NE(nullptr, a);
  VMObject* x = Make(1);
  EXPECT_EQ(1u, a->Add(x));
  a->Delete(1);
  EXPECT_EQ(1u, a->GetCount());
  EXPECT_EQ(1u, a->Add(Make(2)));

  EXPECT_EQ(2u, a->Add(Make(3)));
  EXPECT_EQ(3u, a->Add(Make(4)));
  a->Delete(2);  // a middle index: only the slot is cleared
  EXPECT_EQ(4u, a->GetCount());
  EXPECT_EQ(nullptr, a->Get(2));
  EXPECT_EQ(2u, a->Add(Make(5)));
  a->Destroy(nsHeap);
}

TEST_F(CoreHandleArray, DeletingTheLastIndexShrinksPastTrailingHoles) {
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 2, 2);
  ASSERT_NE(nullptr, a);
  for (VMword k = 1; k <= 4; k++) a->Add(Make(k));
  a->Delete(3);
  a->Delete(4);
  EXPECT_EQ(3u, a->GetCount());  // index 2 is now the highest in use
  a->Delete(1);
  a->Delete(2);
  EXPECT_EQ(1u, a->GetCount());
  a->Destroy(nsHeap);
}

TEST_F(CoreHandleArray, NullIsNeverStored) {
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 4, 4);
  ASSERT_NE(nullptr, a);
  a->Add(Make(1));
  a->Add(Make(2));
  a->Add(Make(3));
  a->Delete(2);
  EXPECT_EQ(0u, a->Append(nullptr));
  EXPECT_EQ(0u, a->Add(nullptr));
  EXPECT_EQ(4u, a->GetCount());
  EXPECT_EQ(2u, a->Find(nullptr));  // the free slot is still free
  VMObject* d = Make(4);
  EXPECT_EQ(2u, a->Add(d));
  EXPECT_EQ(2u, a->Find(d));
  a->Destroy(nsHeap);

  // The typed view's AddOrFind: NULL is neither found (at a free slot) nor added.
  VMObjectHandleArray* typed = VMObjectHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 4, 4);
  ASSERT_NE(nullptr, typed);
  VMObject* x = Make(5);
  EXPECT_EQ(1u, typed->AddOrFind(x));
  EXPECT_EQ(2u, typed->AddOrFind(Make(6)));
  EXPECT_EQ(3u, typed->AddOrFind(Make(7)));
  typed->Delete(2);
  EXPECT_EQ(0u, typed->AddOrFind(nullptr)) << "a free slot was reported as NULL's index";
  EXPECT_EQ(1u, typed->AddOrFind(x));
  EXPECT_EQ(nullptr, typed->Get(2));
  typed->Destroy(nsHeap);
}

TEST_F(CoreHandleArray, GrowsByItsIncrementAndKeepsEverySlot) {
  VMObjectHandleArray* a = VMObjectHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 0, 0);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(1u, a->GetInitial());
  EXPECT_EQ(1u, a->GetIncrement());
  std::vector<VMObject*> added;
  for (VMword k = 0; k < 300; k++) {
    added.push_back(Make(k));
    ASSERT_EQ(k + 1, a->Append(added.back()));
  }
  for (uint32_t i = 0; i < added.size(); i++) EXPECT_EQ(added[i], a->Get(i + 1));
  EXPECT_EQ(VMTag_VMObjectArray, a->GetArray()->GetTag());
  EXPECT_EQ(nullptr, a->Get(100000));
  EXPECT_EQ(5u, a->AddOrFind(added[4]));
  EXPECT_EQ(0u, a->VMHandleArray::Find(Make(999)));
  a->Destroy(nsHeap);
}

TEST_F(CoreHandleArray, RefusedGrowthChangesNothing) {
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 2, 2);
  ASSERT_NE(nullptr, a);
  VMObject* x = Make(1);
  VMObject* y = Make(2);
  a->Add(x);
  VMObjectArray* before = a->GetArray();
  refhost::FailNextAllocations(1);
  EXPECT_EQ(VMStatus_OutOfMemoryError, a->AddAt(10, y));
  refhost::FailNextAllocations(1);
  EXPECT_EQ(0u, a->Append(y));
  refhost::FailNextAllocations(0);
  EXPECT_EQ(2u, a->GetCount());
  EXPECT_EQ(before, a->GetArray());
  EXPECT_EQ(x, a->Get(1));
  EXPECT_EQ(2u, a->Append(y));
  a->Destroy(nsHeap);
}

TEST_F(CoreHandleArray, EveryAddTakesTheFirstFreeSlotWhateverCameBefore) {
  // Random adds, appends, deletes, stores (NULL ones and ones past the end) and clears,
  // checked step by step against a plain vector: Add must always take the lowest free
  // slot, however the slots below it were freed.
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 4, 8);
  ASSERT_NE(nullptr, a);
  std::vector<VMObject*> pool;
  for (VMword k = 0; k < 16; k++) pool.push_back(Make(k + 1));
  std::vector<VMObject*> model(1, nullptr);  // index 0 is never used
  std::mt19937 rng(11);
  for (int step = 0; step < 20000 && !HasFailure(); step++) {
    uint32_t count = (uint32_t)model.size();
    VMObject* o = pool[rng() % pool.size()];
    switch (rng() % 8) {
      case 0: case 1: case 2: {
        uint32_t expected = 1;
        while (expected < count && model[expected] != nullptr) expected++;
        ASSERT_EQ(expected, a->Add(o)) << "step " << step;
        if (expected == count) model.push_back(o); else model[expected] = o;
        break;
      }
      case 3: {
        uint32_t index = 1 + rng() % (count + 1);
        a->Delete(index);
        if (index + 1 < count) {
          model[index] = nullptr;
        } else if (index + 1 == count) {
          model.pop_back();
          while (model.size() > 1 && model.back() == nullptr) model.pop_back();
        }
        break;
      }
      case 4: {
        uint32_t index = 1 + rng() % (count + 3);
        VMObject* stored = rng() % 2 ? o : nullptr;
        ASSERT_EQ(0, a->AddAt(index, stored));
        if (index >= model.size()) model.resize(index + 1, nullptr);
        model[index] = stored;
        break;
      }
      case 5:
        if (rng() % 8 == 0) {
          uint32_t first = 1 + rng() % count;
          a->Clear(first);
          if (first < model.size()) model.resize(first);
        }
        break;
      default:
        if (rng() % 4 == 0) {
          ASSERT_EQ(count, a->Append(o)) << "step " << step;
          model.push_back(o);
        }
        break;
    }
    ASSERT_EQ(model.size(), a->GetCount()) << "step " << step;
    for (uint32_t i = 1; i < model.size(); i++) ASSERT_EQ(model[i], a->Get(i)) << "step " << step << " slot " << i;
  }
  a->Destroy(nsHeap);
}

TEST_F(CoreHandleArray, ClearNullsFromTheFirstIndexOn) {
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 8, 8);
  ASSERT_NE(nullptr, a);
  for (VMword k = 1; k <= 5; k++) a->Add(Make(k));
  a->Clear(3);
  EXPECT_EQ(3u, a->GetCount());
  EXPECT_EQ(nullptr, a->GetArray()->Get(3));
  EXPECT_EQ(nullptr, a->GetArray()->Get(5));
  EXPECT_NE(nullptr, a->Get(2));
  a->Clear(7);  // beyond the end: nothing to clear, nothing grows
  EXPECT_EQ(3u, a->GetCount());
  a->Destroy(nsHeap);
}

/* ------------------------------------------------------------------------------------ */
/* Hash tables                                                                           */

class CoreHashTable : public ContainerTest {
 protected:
  VMObjectHashTable* Table(uint32_t size, uint32_t mode = 0) {
    VMObjectHashTable* t = VMObjectHashTable::CreateInstance(nsHeap, KeyHash, mode,
                                                             VMTag_VMObjectHashTable, size);
    EXPECT_NE(nullptr, t);
    return t;
  }
  /* Every entry at its own index, found by its pointer, the rest of the entry array null. */
  void ExpectConsistent(VMObjectHashTable* t, const std::vector<VMObject*>& entries) {
    ASSERT_EQ(entries.size(), t->GetFilled());
    ASSERT_LT(t->GetFilled() + 1, t->GetHashSize() + 1);
    for (uint32_t e = 0; e < entries.size(); e++) {
      ASSERT_EQ(entries[e], t->Get(e)) << e;
      ASSERT_EQ(e, t->Find(entries[e])) << e;
      ASSERT_NE(VM_DESTROYED_TAG, entries[e]->GetTag());
    }
    uint32_t used = 0;
    for (uint32_t s = 0; s < t->GetHashSize(); s++) used += t->GetIndexArray()->Get(s) != 0;
    ASSERT_EQ(entries.size(), used);
  }
};

TEST_F(CoreHashTable, PrimeSizes) {
  EXPECT_EQ(1u, VMObjectHashTable::NextPrime(0));
  EXPECT_EQ(1u, VMObjectHashTable::NextPrime(1));
  EXPECT_EQ(5u, VMObjectHashTable::NextPrime(2));
  EXPECT_EQ(5u, VMObjectHashTable::NextPrime(3));
  EXPECT_EQ(23u, VMObjectHashTable::NextPrime(20));
  EXPECT_EQ(37u, VMObjectHashTable::NextPrime(32));
  EXPECT_EQ(8209u, VMObjectHashTable::NextPrime(8192));
  EXPECT_EQ(16417u, VMObjectHashTable::NextSize(8209));
  EXPECT_EQ(11u, VMObjectHashTable::NextSize(5));  // 9 has a divisor
}

TEST_F(CoreHashTable, SizesBelowTwoStillProbe) {
  for (uint32_t size : {0u, 1u}) {
    VMObjectHashTable* t = Table(size);
    ASSERT_NE(nullptr, t);
    EXPECT_EQ(5u, t->GetHashSize());
    std::vector<VMObject*> entries;
    for (VMword k = 0; k < 20; k++) {
      entries.push_back(Make(k * 7));
      ASSERT_EQ(k, t->Add(entries.back()));
    }
    ExpectConsistent(t, entries);
    t->Destroy(nsHeap);
  }
}

TEST_F(CoreHashTable, RehashesAtHalfFullAndKeepsEntryIndexes) {
  VMObjectHashTable* t = Table(8192);
  ASSERT_NE(nullptr, t);
  EXPECT_EQ(8209u, t->GetHashSize());
  EXPECT_EQ(4105u, t->GetThreshhold());
  std::vector<VMObject*> entries;
  for (VMword k = 0; k < 4104; k++) {
    entries.push_back(Make(k * 2654435761u));
    t->Add(entries.back());
  }
  EXPECT_EQ(8209u, t->GetHashSize());
  entries.push_back(Make(12345));
  EXPECT_EQ(4104u, t->Add(entries.back()));  // the 4105th entry
  EXPECT_EQ(16417u, t->GetHashSize());
  ExpectConsistent(t, entries);
  t->Destroy(nsHeap);
}

TEST_F(CoreHashTable, PointerOperations) {
  VMObjectHashTable* t = Table(16);
  ASSERT_NE(nullptr, t);
  VMObject* a = Make(5);
  VMObject* b = Make(5);  // same hash, different object
  EXPECT_EQ(VMHashNotFound, t->Find(a));
  EXPECT_EQ(0u, t->AddOrFind(a));
  EXPECT_EQ(0u, t->AddOrFind(a));
  EXPECT_EQ(VMHashNotFound, t->Find(b));
  EXPECT_EQ(1u, t->Add(b));
  EXPECT_EQ(2u, t->Add(b));  // Add does not look for the same pointer
  EXPECT_EQ(3u, t->GetFilled());
  EXPECT_EQ(nullptr, t->Get(1000));
  EXPECT_EQ(0, t->Clear());
  EXPECT_EQ(0u, t->GetFilled());
  EXPECT_EQ(nullptr, t->GetObjectArray()->Get(0));
  EXPECT_EQ(nullptr, t->GetObjectArray()->Get(2));
  EXPECT_EQ(VMHashNotFound, t->Find(a));
  t->Destroy(nsHeap);
}

TEST_F(CoreHashTable, DeleteClosesUpAndClearsTheVacatedEntries) {
  VMObjectHashTable* t = Table(32);
  ASSERT_NE(nullptr, t);
  std::vector<VMObject*> entries;
  for (VMword k = 0; k < 10; k++) {
    entries.push_back(Make(k % 3));
    t->Add(entries.back());
  }
  VMObject* gone = entries[3];
  EXPECT_EQ(0, t->Delete(gone));
  entries.erase(entries.begin() + 3);
  ExpectConsistent(t, entries);
  EXPECT_EQ(VMHashNotFound, t->Find(gone));
  /* The collector walks the entry array: the deleted object must not stay in it. */
  for (uint32_t e = 0; e < t->GetObjectArray()->GetSize(); e++)
    EXPECT_NE(gone, t->GetObjectArray()->Get(e)) << e;
  EXPECT_EQ(nullptr, t->GetObjectArray()->Get(9));
  t->Destroy(nsHeap);
}

/* Tables sized for a whole heap keep most of their slots in pieces: Delete and Clear
   empty every one of them (ExpectConsistent counts the used slots over the whole table),
   and the entries left are found again. */
TEST_F(CoreHashTable, DeleteAndClearReachSlotsInPieces) {
  VMObjectHashTable* t = Table(0x10000);
  ASSERT_NE(nullptr, t);
  ASSERT_GT(t->GetHashSize(), 65536u);
  std::vector<VMObject*> entries;
  for (VMword k = 0; k < 400; k++) {
    entries.push_back(Make(k * 2654435761u));
    ASSERT_EQ(k, t->Add(entries.back()));
  }
  for (uint32_t at : {0u, 199u, 397u}) {
    VMObject* gone = entries[at];
    ASSERT_EQ(0, t->Delete(gone));
    entries.erase(entries.begin() + at);
    ExpectConsistent(t, entries);
    EXPECT_EQ(VMHashNotFound, t->Find(gone));
  }
  ASSERT_EQ(0, t->Clear());
  ExpectConsistent(t, {});
  for (VMObject* e : entries) EXPECT_EQ(VMHashNotFound, t->Find(e));
  EXPECT_EQ(0u, t->Add(entries[5]));
  EXPECT_EQ(0u, t->Find(entries[5]));
  t->Destroy(nsHeap);
}

TEST_F(CoreHashTable, AFullTableRefusesBeforeWritingAnything) {
  VMObjectHashTable* t = Table(2);  // 5 slots
  ASSERT_NE(nullptr, t);
  std::vector<VMObject*> entries;
  for (VMword k = 0; k < 4; k++) entries.push_back(Make(k));
  VMObject* refused = Make(99);
  refhost::FailNextAllocations(1000000);  // no growth of any kind
  for (uint32_t k = 0; k < entries.size(); k++) ASSERT_EQ(k, t->Add(entries[k]));
  EXPECT_EQ(VMHashNotFound, t->Add(refused));
  refhost::FailNextAllocations(0);
  EXPECT_EQ(VMHashNotFound, t->Find(refused));
  for (uint32_t e = entries.size(); e < t->GetObjectArray()->GetSize(); e++)
    EXPECT_EQ(nullptr, t->GetObjectArray()->Get(e));
  ExpectConsistent(t, entries);
  /* Once memory is back the next insertion grows the table again. */
  EXPECT_EQ(4u, t->Add(refused));
  entries.push_back(refused);
  EXPECT_GT(t->GetHashSize(), 5u);
  ExpectConsistent(t, entries);
  t->Destroy(nsHeap);
}

TEST_F(CoreHashTable, RefusedAllocationAtEveryStepOfGrowthKeepsTheTableConsistent) {
  // A refused growth gives back its half-made arrays at once: the heaps end empty.
  VMObjectHashTable* t = Table(20);
  ASSERT_NE(nullptr, t);
  std::vector<VMObject*> pool;
  for (VMword k = 0; k < 600; k++) pool.push_back(Make(k * 40503u));
  std::vector<VMObject*> entries;
  uint64_t refusedBefore = refhost::RefusedCount();
  for (uint32_t i = 0; i < pool.size(); i++) {
    /* Refuse the first, second, ... allocation of whatever growth this insertion makes
       (index arrays of hundreds of slots take many pieces); leave every third insertion
       alone so that the table also gets to grow. */
    refhost::FailNthAllocation(i % 3 == 2 ? 0 : 1 + (i / 3) % 25);
    uint32_t index = t->Add(pool[i]);
    refhost::FailNthAllocation(0);
    if (index != VMHashNotFound) {
      ASSERT_EQ(entries.size(), index);
      entries.push_back(pool[i]);
    } else {
      ASSERT_EQ(VMHashNotFound, t->Find(pool[i]));
    }
    ExpectConsistent(t, entries);
  }
  EXPECT_GT(refhost::RefusedCount(), refusedBefore);
  EXPECT_GT(entries.size(), 500u);
  EXPECT_GT(t->GetHashSize(), 1000u);
  t->Destroy(nsHeap);
}

/* Takes each growth of a table in turn (a rehash of its slots, then a growth of its
   entry array, both arrays large enough to need pieces) and refuses every allocation of
   it, one at a time, on a fresh table: the insertion that triggered it still counts,
   every entry stays findable at its index, nothing half made stays on the heap, and the
   next insertion completes the growth. */
TEST_F(CoreHashTable, ARefusalAtEachStepOfAGrowthKeepsEveryEntry) {
  std::vector<VMObject*> pool;
  for (VMword k = 0; k < 260; k++) pool.push_back(Make(k * 2654435761u));
  const uint32_t blocksOfItems = refhost::BlocksInUse(nsHeap);

  struct Growth {
    uint32_t before;  // entries added before the insertion that grows
    uint32_t oldSlots, newSlots, oldEntries, newEntries;
  } growths[] = {
      {105, 211, 421, 211, 211},  // the 106th entry reaches the threshold: a rehash
      /* The 210th entry fills the entry array, which grows; the 211th, which completes
         a refused growth, also reaches the next threshold. */
      {209, 421, 853, 211, 421},
  };
  for (const Growth& g : growths) {
    /* How many allocations this growth makes. */
    VMObjectHashTable* t = Table(200);
    ASSERT_NE(nullptr, t);
    for (uint32_t e = 0; e < g.before; e++) ASSERT_EQ(e, t->Add(pool[e]));
    ASSERT_EQ(g.oldSlots, t->GetHashSize());
    ASSERT_EQ(g.oldEntries, t->GetObjectArray()->GetSize());
    uint64_t start = refhost::AllocationCount();
    ASSERT_EQ(g.before, t->Add(pool[g.before]));
    uint32_t steps = (uint32_t)(refhost::AllocationCount() - start);
    ASSERT_GE(steps, 5u);  // a block and its pieces
    t->Destroy(nsHeap);

    for (uint32_t k = 1; k <= steps; k++) {
      t = Table(200);
      ASSERT_NE(nullptr, t);
      for (uint32_t e = 0; e < g.before; e++) ASSERT_EQ(e, t->Add(pool[e]));
      uint32_t blocks = refhost::BlocksInUse(nsHeap);
      refhost::FailNthAllocation(k);
      ASSERT_EQ(g.before, t->Add(pool[g.before])) << "refused step " << k;
      refhost::FailNthAllocation(0);
      std::vector<VMObject*> entries(pool.begin(), pool.begin() + g.before + 1);
      ExpectConsistent(t, entries);
      EXPECT_EQ(g.oldSlots, t->GetHashSize()) << k;
      EXPECT_EQ(g.oldEntries, t->GetObjectArray()->GetSize()) << k;
      EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap)) << "refused step " << k;
      /* Memory is back: the next insertion grows the table. */
      entries.push_back(pool[g.before + 1]);
      ASSERT_EQ(g.before + 1, t->Add(entries.back()));
      EXPECT_EQ(g.newSlots, t->GetHashSize()) << k;
      EXPECT_EQ(g.newEntries, t->GetObjectArray()->GetSize()) << k;
      ExpectConsistent(t, entries);
      t->Destroy(nsHeap);
      ASSERT_EQ(blocksOfItems, refhost::BlocksInUse(nsHeap));
    }
  }
}

JNIHostFunctions countingTable;
int eventsLive = 0, mutexesLive = 0, spinsLive = 0, spinHeld = 0;
void* HOSTCALL CountEventCreate(jboolean shared) {
  eventsLive++;
  return refhost::Functions()->EventSemaphoreCreate(shared);
}
void HOSTCALL CountEventDestroy(void* e) {
  eventsLive--;
  refhost::Functions()->EventSemaphoreDestroy(e);
}
void* HOSTCALL CountMutexCreate(jboolean shared) {
  mutexesLive++;
  return refhost::Functions()->MutexCreate(shared);
}
void HOSTCALL CountMutexDestroy(void* m) {
  mutexesLive--;
  refhost::Functions()->MutexDestroy(m);
}
void* HOSTCALL CountSpinCreate(jint mode, const char* tag) {
  spinsLive++;
  return refhost::Functions()->SpinLockCreate(mode, tag);
}
void HOSTCALL CountClose(void* h, const char* reason) {
  spinsLive--;
  refhost::Functions()->CloseHandle(h, reason);
}
std::atomic<int>& spinAcquiresToRefuse = core_test::Refusals().spinAcquires;
std::atomic<int>& mutexLocksToRefuse = core_test::Refusals().mutexLocks;
std::atomic<int>& mutexUnlocks = core_test::Refusals().mutexUnlocks;
jboolean HOSTCALL CountAcquire(void* l, const char* tag) {
  if (core_test::TakeRefusal(spinAcquiresToRefuse)) return 0;
  spinHeld++;
  return refhost::Functions()->SpinLockAcquire(l, tag);
}
jboolean HOSTCALL CountRelease(void* l, const char* tag) {
  spinHeld--;
  return refhost::Functions()->SpinLockRelease(l, tag);
}

TEST_F(CoreHashTable, LocksOfEachModeAndTheirRelease) {
  countingTable = *refhost::Functions();
  countingTable.EventSemaphoreCreate = CountEventCreate;
  countingTable.EventSemaphoreDestroy = CountEventDestroy;
  countingTable.MutexCreate = CountMutexCreate;
  countingTable.MutexDestroy = CountMutexDestroy;
  countingTable.SpinLockCreate = CountSpinCreate;
  countingTable.CloseHandle = CountClose;
  countingTable.SpinLockAcquire = CountAcquire;
  countingTable.SpinLockRelease = CountRelease;
  eventsLive = mutexesLive = spinsLive = spinHeld = 0;
  VMUtils::SetHostFunctions(&countingTable);

  /* A mode-32 table locks its mutex through the counted lock of the calling thread. */
  VMThread* thread = (VMThread*)VMInternalObject::Instantiate(machineHeap, VMThread::Words, 0);
  ASSERT_NE(nullptr, thread);
  VMword envWords[4] = {0, 0, (VMword)thread, 0};
  host->SetCurrentEnv((JNIEnv*)envWords);
  VMObjectHashTable* strings = Table(8, VMHashLockMutex);
  ASSERT_NE(nullptr, strings);
  EXPECT_EQ(1, mutexesLive);
  EXPECT_EQ(nullptr, strings->GetSpinLock());
  {
    VMObjectHashTableIterator it(strings, 17, VMHashLockMutex);
    EXPECT_EQ(1, thread->GetMutexLockCount());
    EXPECT_EQ(nullptr, it.Next());
  }
  EXPECT_EQ(0, thread->GetMutexLockCount());
  host->SetCurrentEnv(nullptr);

  /* Mode 20 is locked by its iterators; mode 4 by its callers. */
  VMObjectHashTable* classes = Table(8, 20);
  ASSERT_NE(nullptr, classes);
  {
    VMObjectHashTableIterator it(classes, 3, 20);
    EXPECT_EQ(1, spinHeld);
  }
  EXPECT_EQ(0, spinHeld);
  VMObjectHashTable* literals = Table(8, 4);
  ASSERT_NE(nullptr, literals);
  {
    VMObjectHashTableIterator it(literals, 3, 4);
    EXPECT_EQ(0, spinHeld);
  }
  ASSERT_TRUE(literals->Lock(true));
  EXPECT_EQ(1, spinHeld);
  literals->relSpinlock();
  EXPECT_EQ(3, eventsLive);
  EXPECT_EQ(2, spinsLive);

  strings->Destroy(nsHeap);
  classes->Destroy(nsHeap);
  literals->Destroy(nsHeap);
  EXPECT_EQ(0, eventsLive);
  EXPECT_EQ(0, mutexesLive);
  EXPECT_EQ(0, spinsLive);
  VMUtils::SetHostFunctions(refhost::Functions());
  thread->Destroy(machineHeap);
}

/* A probe whose lock the host refused holds nothing: it must neither read nor write the
   table (another thread may be writing it), and its end releases nothing, since an
   unlock there would free the mutex for whichever thread really holds it. For both lock
   modes: the refused probe finds nothing although the entry is there, inserts nothing,
   and says it was refused. */
TEST_F(CoreHashTable, ARefusedProbeNeitherReadsNorWritesTheTable) {
  countingTable = *refhost::Functions();
  countingTable.MutexLock = core_test::RefusingMutexLock;
  countingTable.MutexUnlock = core_test::CountingMutexUnlock;
  countingTable.SpinLockAcquire = CountAcquire;
  countingTable.SpinLockRelease = CountRelease;
  mutexLocksToRefuse = 0;
  spinAcquiresToRefuse = 0;
  mutexUnlocks = 0;
  spinHeld = 0;
  VMUtils::SetHostFunctions(&countingTable);
  for (uint32_t mode : {(uint32_t)VMHashLockMutex, 20u}) {
    VMObjectHashTable* t = Table(8, mode);
    ASSERT_NE(nullptr, t);
    VMObject* present = Make(5);
    VMObject* absent = Make(5 + 1000003);
    {
      VMObjectHashTableIterator it(t, 5, mode);
      ASSERT_EQ(nullptr, it.Next());
      ASSERT_EQ(0u, it.Insert(present));
      EXPECT_FALSE(it.Refused());
    }
    EXPECT_EQ(mode == 20u ? 0 : 1, mutexUnlocks.load());
    EXPECT_EQ(0, spinHeld);
    if (mode == 20u)
      spinAcquiresToRefuse = 1;
    else
      mutexLocksToRefuse = 1;
    {
      VMObjectHashTableIterator it(t, 5, mode);
      EXPECT_TRUE(it.Refused());
      EXPECT_EQ(nullptr, it.Next()) << "a refused probe read the table";
      EXPECT_EQ(VMHashNotFound, it.Insert(absent)) << "a refused probe wrote the table";
    }
    EXPECT_EQ(mode == 20u ? 0 : 1, mutexUnlocks.load()) << "a lock that was never taken was released";
    EXPECT_EQ(0, spinHeld);
    EXPECT_EQ(1u, t->GetFilled());
    {
      VMObjectHashTableIterator it(t, 5, mode);
      EXPECT_FALSE(it.Refused());
      EXPECT_EQ(present, it.Next());
    }
    mutexUnlocks = 0;
    t->Destroy(nsHeap);
  }
  VMUtils::SetHostFunctions(refhost::Functions());
}

/* A spin lock the host refuses fails Lock and a spin-locked probe, and is never
   released: the count of held locks never goes below zero. */
TEST_F(CoreHashTable, ARefusedSpinLockIsReportedAndNeverReleased) {
  countingTable = *refhost::Functions();
  countingTable.SpinLockAcquire = CountAcquire;
  countingTable.SpinLockRelease = CountRelease;
  spinHeld = 0;
  spinAcquiresToRefuse = 0;
  VMUtils::SetHostFunctions(&countingTable);
  VMObjectHashTable* literals = Table(8, 4);
  VMObjectHashTable* classes = Table(8, 20);
  ASSERT_NE(nullptr, literals);
  ASSERT_NE(nullptr, classes);
  spinAcquiresToRefuse = 1;
  EXPECT_FALSE(literals->Lock(true));
  EXPECT_EQ(0, spinHeld);
  spinAcquiresToRefuse = 1;
  EXPECT_FALSE(literals->Lock(false));
  EXPECT_EQ(0, spinHeld);
  spinAcquiresToRefuse = 1;
  {
    VMObjectHashTableIterator it(classes, 9, 20);
  }
  EXPECT_EQ(0, spinHeld);
  /* A grower that cannot retake the lock still clears the growing flag. */
  ASSERT_TRUE(literals->Lock(true));
  literals->SetIsbeingAllocated();
  literals->relSpinlock();
  spinAcquiresToRefuse = 1;
  literals->UnlockOrNotify(true);
  EXPECT_EQ(0, spinHeld);
  EXPECT_FALSE(literals->GetIsbeingAllocated());
  ASSERT_TRUE(literals->Lock(true));
  EXPECT_EQ(1, spinHeld);
  literals->relSpinlock();
  EXPECT_EQ(0, spinHeld);
  VMUtils::SetHostFunctions(refhost::Functions());
  literals->Destroy(nsHeap);
  classes->Destroy(nsHeap);
}

TEST_F(CoreHashTable, RefusedCreationReleasesWhatWasMade) {
  for (uint32_t n = 1; n <= 3; n++) {
    refhost::FailNthAllocation(n);
    VMObjectHashTable* t =
        VMObjectHashTable::CreateInstance(nsHeap, KeyHash, 4, VMTag_VMObjectHashTable, 8);
    refhost::FailNthAllocation(0);
    EXPECT_EQ(nullptr, t) << n;
  }
  EXPECT_EQ(0u, refhost::BlocksInUse(nsHeap) - items.size());
}

TEST_F(CoreHashTable, TypedTablesHashTheirOwnWord) {
  VMInternalObject* o = Item(nsHeap, 0, 8);
  ASSERT_NE(nullptr, o);
  for (uint32_t w = 0; w < 8; w++) o->SetScalar(w, 100 + w);
  EXPECT_EQ(103u, VMJavaLangStringHashTable::HashFunc(o));
  EXPECT_EQ(103u, VMNativeClassInfoHashTable::HashFunc(o));
  EXPECT_EQ(104u, VMZipEntryHashTable::HashFunc(o));
  EXPECT_EQ(105u, VMClassHashTable::HashFunc(o));
  EXPECT_EQ(102u, VMCompiledClassInfoHashTable::HashFunc(o));
  EXPECT_EQ(101u, VMClassLoaderHashTable::HashFunc(o));
  EXPECT_EQ(100u, VMbyteArrayHashTable::HashFunc(o));
  o->Destroy(nsHeap);

  VMJavaLangStringHashTable* t = VMJavaLangStringHashTable::CreateInstance(nsHeap, 10);
  ASSERT_NE(nullptr, t);
  EXPECT_EQ(0x7323FECAu, t->GetTag());
  EXPECT_EQ(0x7323FECAu, t->GetObjectArray()->GetTag());
  EXPECT_NE(nullptr, t->GetMutex());
  /* Both arrays are references: on a collected heap the slot array would otherwise be
     swept from under the table, and a relocation would not move its pointer. */
  EXPECT_EQ(3u, t->GetRefBits());
  t->Destroy(nsHeap);
  VMClassLoaderHashTable* l = VMClassLoaderHashTable::CreateInstance(nsHeap, 10);
  ASSERT_NE(nullptr, l);
  EXPECT_EQ(0x6F7AFECAu, l->GetTag());
  EXPECT_NE(nullptr, l->GetSpinLock());
  l->Destroy(nsHeap);
}

/* ------------------------------------------------------------------------------------ */
/* FILO queues                                                                           */

class CoreFiloQueue : public ContainerTest {};

TEST_F(CoreFiloQueue, LastInFirstOutAcrossGrowth) {
  VMFiloQueue* q = VMFiloQueue::CreateInstance(nsHeap, 2, 0);  // increment 0 counts as 1
  ASSERT_NE(nullptr, q);
  EXPECT_EQ(1u, q->GetIncrement());
  std::vector<VMObject*> in;
  for (VMword k = 0; k < 40; k++) {
    in.push_back(Make(k));
    ASSERT_EQ(0, q->EnQueue(in.back()));
  }
  for (size_t i = in.size(); i-- > 0;) EXPECT_EQ(in[i], q->DeQueue());
  EXPECT_EQ(nullptr, q->DeQueue());
  EXPECT_EQ(nullptr, q->GetArray()->Get(0));  // taken slots are cleared
  q->Destroy(nsHeap);
}

TEST_F(CoreFiloQueue, RefusedGrowthStoresNothing) {
  VMMonitorFiloQueue* q = VMMonitorFiloQueue::CreateInstance(nsHeap, 1, 4);
  ASSERT_NE(nullptr, q);
  VMMonitor* m1 = (VMMonitor*)Make(1);
  VMMonitor* m2 = (VMMonitor*)Make(2);
  ASSERT_EQ(0, q->EnQueue(m1));
  refhost::FailNextAllocations(1);
  EXPECT_EQ(VMStatus_OutOfMemoryError, q->EnQueue(m2));
  EXPECT_EQ(1u, q->GetTop());
  EXPECT_EQ(m1, q->DeQueue());
  EXPECT_EQ(nullptr, q->DeQueue());
  q->Destroy(nsHeap);
}

/* Each container is freed through its own heap: a caller that names another heap made
   an error, which is reported, but freeing through that heap would corrupt both (the
   reference host stops the process on it). */
TEST_F(CoreFiloQueue, ContainersAreFreedThroughTheirOwnHeap) {
  HHeap* other = host->HeapCreate(nullptr, 1);
  ASSERT_NE(nullptr, other);
  uint32_t before = refhost::BlocksInUse(nsHeap);
  VMFiloQueue* q = VMFiloQueue::CreateInstance(nsHeap, 2, 1);
  VMHandleArray* a = VMHandleArray::CreateInstance(nsHeap, VMTag_VMObjectArray, 4, 4);
  VMObjectHashTable* t = VMObjectHashTable::CreateInstance(nsHeap, KeyHash, 20, VMTag_VMObjectHashTable, 8);
  ASSERT_TRUE(q != nullptr && a != nullptr && t != nullptr);
  ASSERT_EQ(0, q->EnQueue(Make(1)));
  ASSERT_NE(0u, a->Add(Make(2)));
  ASSERT_NE(VMHashNotFound, t->Add(Make(3)));
  q->Destroy(other);
  a->Destroy(other);
  t->Destroy(other);
  EXPECT_EQ(before + 3, refhost::BlocksInUse(nsHeap));  // only the three items
  EXPECT_EQ(0u, refhost::BlocksInUse(other));
  host->HeapDestroy(other);
}

/* A queue made with no room grows on its first entry. */
TEST_F(CoreFiloQueue, AQueueOfNoInitialRoomGrows) {
  VMFiloQueue* q = VMFiloQueue::CreateInstance(nsHeap, 0, 1);
  ASSERT_NE(nullptr, q);
  VMObject* x = Make(1);
  EXPECT_EQ(0, q->EnQueue(x));
  EXPECT_EQ(x, q->DeQueue());
  EXPECT_EQ(nullptr, q->DeQueue());
  q->Destroy(nsHeap);
}

}  // namespace
