/* The host binding: process cells, set-up and clean-up, the recursive global mutex,
   counted host mutexes, raw blocks and the small utilities. */
#include <atomic>
#include <chrono>
#include <climits>
#include <thread>

#include "storage_support.h"

using storage_test::Calls;
using storage_test::StorageTest;

namespace {

class UtilsTest : public StorageTest {
 protected:
  /* Whether another thread can take the host's global mutex within the patience given
     (in 10 ms steps). */
  bool GlobalMutexFreeForOthers(int patience = 500) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    JNIHostFunctions* table = refhost::Functions();
    std::thread([done, table] {
      table->MutexLock(table->GetGlobalMutex());
      table->MutexUnlock(table->GetGlobalMutex());
      done->store(true);
    }).detach();
    for (int i = 0; i < patience && !done->load(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done->load();
  }
};

TEST_F(UtilsTest, SecondInitChangesNothing) {
  uint32_t* cell0 = host->GetGlobalCell(0);
  ASSERT_NE(nullptr, cell0);
  VMUtils::SetDisableVMCreation(3);
  JNIHostFunctions other = *host;
  VMUtils::Init(&other);
  EXPECT_EQ(host, VMUtils::GetHostFunctions());
  EXPECT_EQ(cell0, host->GetGlobalCell(0));
  EXPECT_EQ(3, VMUtils::GetDisableVMCreation());
  EXPECT_TRUE(GlobalMutexFreeForOthers());
  VMUtils::SetDisableVMCreation(0);

  // A library state without a table takes the one it is given, cells or not.
  VMUtils::SetHostFunctions(nullptr);
  VMUtils::Init(host);
  EXPECT_EQ(host, VMUtils::GetHostFunctions());
}

TEST_F(UtilsTest, FiniReleasesTheCellsOnlyWhenNoMachineIsListed) {
  VMword fakeMachine[8] = {};
  VMUtils::SetVMList(reinterpret_cast<JavaVM*>(fakeMachine));
  VMUtils::Fini();
  ASSERT_NE(nullptr, host->GetGlobalCell(0));
  EXPECT_EQ(reinterpret_cast<JavaVM*>(fakeMachine), VMUtils::GetVMList());
  VMUtils::SetVMList(nullptr);

  VMUtils::Fini();
  EXPECT_EQ(nullptr, host->GetGlobalCell(0));
  VMUtils::Fini();  // nothing left to release
  EXPECT_EQ(host, VMUtils::GetHostFunctions());

  // Set-up starts over, with fresh zeroed cells.
  VMUtils::Init(host);
  ASSERT_NE(nullptr, host->GetGlobalCell(0));
  EXPECT_EQ(nullptr, VMUtils::GetVMList());
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  EXPECT_EQ(nullptr, VMUtils::GetGlobalMutexOwner());
  EXPECT_NE(nullptr, VMUtils::GetCompiledClasses());
  EXPECT_NE(nullptr, VMUtils::GetNativeClasses());
}

TEST_F(UtilsTest, GlobalMutexIsRecursiveAndCounted) {
  AttachFakeMachine();
  uint32_t hostLocks = refhost::GlobalMutexLockCount();
  VMUtils::LockGlobalMutex();
  VMUtils::LockGlobalMutex();
  {
    VMUtils::GlobalMutexGuard guard;
    // Held once at the host however deep the recursion.
    EXPECT_EQ(hostLocks + 1, refhost::GlobalMutexLockCount());
    EXPECT_EQ(3, VMUtils::GetGlobalMutexCount());
    EXPECT_EQ(host->CurrentThreadId(), VMUtils::GetGlobalMutexOwner());
    EXPECT_FALSE(GlobalMutexFreeForOthers(20));
  }
  VMUtils::UnlockGlobalMutex();
  // Counted once in the thread however deep the recursion.
  EXPECT_EQ(1, thread->GetMutexLockCount());
  VMUtils::UnlockGlobalMutex();
  EXPECT_EQ(0, thread->GetMutexLockCount());
  EXPECT_EQ(nullptr, VMUtils::GetGlobalMutexOwner());
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  // The other thread got the mutex once it was free (its probe may still be finishing).
  EXPECT_TRUE(GlobalMutexFreeForOthers());
}

TEST_F(UtilsTest, UnbalancedUnlockIsIgnored) {
  AttachFakeMachine();
  VMUtils::UnlockGlobalMutex();
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  EXPECT_EQ(0, thread->GetMutexLockCount());
  VMUtils::LockGlobalMutex();
  VMUtils::UnlockGlobalMutex();
  VMUtils::UnlockGlobalMutex();
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  EXPECT_EQ(0, thread->GetMutexLockCount());
  EXPECT_TRUE(GlobalMutexFreeForOthers());
}

TEST_F(UtilsTest, ARefusedGlobalLockRecordsNoOwner) {
  AttachFakeMachine();
  Watch();
  Calls().failMutexLocks = 1;
  VMUtils::LockGlobalMutex();
  EXPECT_EQ(nullptr, VMUtils::GetGlobalMutexOwner());
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  EXPECT_EQ(0, thread->GetMutexLockCount());
  // The matching unlock finds nothing to release.
  VMUtils::UnlockGlobalMutex();
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  EXPECT_TRUE(GlobalMutexFreeForOthers());
}

/* A hold taken before anything is set up, with the set-up and a nested entry point
   inside the region (an entry point that a module loaded under the global mutex calls):
   every hold is recorded, so the host sees as many unlocks as locks. */
TEST_F(UtilsTest, AHoldTakenBeforeSetUpIsReleased) {
  AttachFakeMachine();
  VMUtils::Fini();
  ASSERT_EQ(nullptr, host->GetGlobalCell(0));
  uint32_t locks = refhost::GlobalMutexLockCount(), unlocks = refhost::GlobalMutexUnlockCount();
  VMUtils::LockGlobalMutex();
  ASSERT_NE(nullptr, host->GetGlobalCell(0));
  EXPECT_EQ(1, VMUtils::GetGlobalMutexCount());
  VMUtils::Init(host);
  VMUtils::LockGlobalMutex();
  VMUtils::UnlockGlobalMutex();
  VMUtils::UnlockGlobalMutex();
  EXPECT_EQ(refhost::GlobalMutexLockCount() - locks, refhost::GlobalMutexUnlockCount() - unlocks);
  EXPECT_EQ(0, VMUtils::GetGlobalMutexCount());
  EXPECT_EQ(0, thread->GetMutexLockCount());
  EXPECT_TRUE(GlobalMutexFreeForOthers());
}

/* Clean-up inside a locked region would lose the region's owner and depth with the
   cells: it is left for a call made outside the region. */
TEST_F(UtilsTest, FiniInsideALockedRegionLeavesEverythingForALaterCall) {
  AttachFakeMachine();
  VMUtils::SetDisableVMCreation(2);
  VMUtils::LockGlobalMutex();
  VMUtils::Fini();
  ASSERT_NE(nullptr, host->GetGlobalCell(0));
  EXPECT_EQ(2, VMUtils::GetDisableVMCreation());
  EXPECT_NE(nullptr, VMUtils::GetNativeClasses());
  VMUtils::Init(host);
  VMUtils::UnlockGlobalMutex();
  EXPECT_EQ(0, thread->GetMutexLockCount());
  EXPECT_TRUE(GlobalMutexFreeForOthers());

  VMUtils::SetDisableVMCreation(0);
  VMUtils::Fini();
  EXPECT_EQ(nullptr, host->GetGlobalCell(0));
  VMUtils::Init(host);
  EXPECT_NE(nullptr, host->GetGlobalCell(0));
}

/* One thread nests the global mutex while another finishes and sets the process up
   again, round after round: inside the region the cells and the depth never change
   under the holder, and the host sees every lock undone. */
TEST_F(UtilsTest, FiniAndInitOfAnotherThreadNeverCutIntoAHold) {
  const int kRounds = 3000;
  uint32_t locks = refhost::GlobalMutexLockCount(), unlocks = refhost::GlobalMutexUnlockCount();
  std::atomic<int> broken{0};
  std::atomic<bool> stop{false};
  JNIHostFunctions* table = host;
  std::thread cycler([&] {
    while (!stop.load()) {
      VMUtils::Fini();
      VMUtils::Init(table);
    }
  });
  for (int round = 0; round < kRounds; round++) {
    VMUtils::LockGlobalMutex();
    VMUtils::LockGlobalMutex();
    if (table->GetGlobalCell(0) == nullptr || VMUtils::GetGlobalMutexCount() != 2 ||
        VMUtils::GetGlobalMutexOwner() != table->CurrentThreadId())
      broken++;
    std::this_thread::yield();
    if (table->GetGlobalCell(0) == nullptr || VMUtils::GetGlobalMutexCount() != 2) broken++;
    VMUtils::UnlockGlobalMutex();
    VMUtils::UnlockGlobalMutex();
  }
  stop = true;
  cycler.join();
  VMUtils::Init(host);
  EXPECT_EQ(0, broken.load());
  EXPECT_EQ(refhost::GlobalMutexLockCount() - locks, refhost::GlobalMutexUnlockCount() - unlocks);
  EXPECT_TRUE(GlobalMutexFreeForOthers());
}

TEST_F(UtilsTest, OnlySuccessfulMutexLocksAreCounted) {
  AttachFakeMachine();
  Watch();
  void* mutex = VMUtils::MutexCreate(nullptr);
  ASSERT_NE(nullptr, mutex);
  Calls().failMutexLocks = 1;
  EXPECT_EQ(0, VMUtils::MutexLock(mutex));
  EXPECT_EQ(0, thread->GetMutexLockCount());
  EXPECT_NE(0, VMUtils::MutexLock(mutex));
  EXPECT_EQ(1, thread->GetMutexLockCount());
  EXPECT_NE(0, VMUtils::MutexUnlock(mutex));
  EXPECT_EQ(0, thread->GetMutexLockCount());
  host->MutexDestroy(mutex);
}

TEST_F(UtilsTest, AllocMakesZeroedTaggedBlocks) {
  VMObject* bare = VMUtils::Alloc(heap, 0, jallocFailFast);
  ASSERT_NE(nullptr, bare);
  EXPECT_EQ(20u, refhost::BytesInUse(heap));
  EXPECT_EQ(0x206FFECAu, bare->GetTag());
  EXPECT_EQ(0, bare->GetFlags());
  EXPECT_EQ(0, bare->GetNumberOfElements());
  VMUtils::Free(heap, bare);

  VMObject* block = VMUtils::Alloc(heap, 40, jallocFailFast);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(180u, refhost::BytesInUse(heap));
  for (uint32_t i = 0; i < 40; i++) ASSERT_EQ(0u, block->GetWord(i));
  EXPECT_EQ(0u, block->GetKindWord());
  EXPECT_EQ(nullptr, block->GetMonitor());
  EXPECT_EQ(nullptr, block->GetQueue());
  VMUtils::Free(heap, block);

  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, VMUtils::Alloc(heap, 1, jallocCollectAndRetry));
  EXPECT_EQ(nullptr, VMUtils::Alloc(heap, 0x40000000u, jallocFailFast));

  HHeap* shared = host->HeapCreate(nullptr, 1);
  VMObject* data = VMUtils::Alloc(shared, 1, jallocFailFast);
  EXPECT_TRUE(data->GetIsNameSpaceData());
  void* mutex = VMUtils::MutexCreate(data);  // a shared owner still gets a mutex
  EXPECT_NE(nullptr, mutex);
  host->MutexDestroy(mutex);
  VMUtils::Free(shared, data);
  refhost::SetSharedAnswer(shared, 2);  // only exactly 1 means shared
  data = VMUtils::Alloc(shared, 1, jallocFailFast);
  EXPECT_FALSE(data->GetIsNameSpaceData());
  VMUtils::Free(shared, data);
  host->HeapDestroy(shared);
}

TEST_F(UtilsTest, HashTableSizeFollowsTheHeapsFreeRoom) {
  EXPECT_EQ(0x2000u, VMUtils::HashTableSize(heap));
  void* block = host->HeapAlloc(heap, 1000, jallocFailFast);
  ASSERT_NE(nullptr, block);
  const struct { uint64_t ratio, size; } cases[] = {{1, 0x2000}, {2, 0x4000}, {3, 0x6000},
                                                    {7, 0xE000}, {8, 0x10000}, {100, 0x10000}};
  // What the block costs the heap (its prefix and size class included) is the unit.
  uint64_t used = host->HeapBytesInUse(heap);
  ASSERT_GE(used, 1000u);
  for (const auto& c : cases) {
    refhost::SetHeapCapacity(heap, used * c.ratio);
    EXPECT_EQ(c.size, VMUtils::HashTableSize(heap)) << c.ratio;
  }
  host->HeapFree(heap, block);
}

TEST_F(UtilsTest, SmallUtilities) {
  char text[12];
  const struct { int32_t value; const char* text; } cases[] = {
      {0, "0"}, {7, "7"}, {-7, "-7"}, {10, "10"}, {123456789, "123456789"},
      {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"},
  };
  for (const auto& c : cases) {
    memset(text, 'x', sizeof text);
    VMUtils::IntToDecimal(c.value, text);
    EXPECT_STREQ(c.text, text);
  }
  EXPECT_EQ(1u, VMUtils::GetBit(0));
  EXPECT_EQ(0x80000000u, VMUtils::GetBit(31));
  EXPECT_TRUE(VMUtils::ValidateTag(0x206FFECA));
  EXPECT_FALSE(VMUtils::ValidateTag(0xEFBEADDE));
  VMword local = 0;
  EXPECT_EQ(1, VMUtils::IsValidAddress((jlong)reinterpret_cast<uintptr_t>(&local)));
  EXPECT_EQ(0, VMUtils::IsValidAddress(0));
}

}  // namespace
