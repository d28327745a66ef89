/* Shared set-up of the storage tests: the library bound to the reference host, a fresh
   machine heap per test that must be empty again at the end, a host table whose heap
   calls can be watched, and a fake current machine for the paths that need one. */
#ifndef PUX_TESTS_STORAGE_SUPPORT_H
#define PUX_TESTS_STORAGE_SUPPORT_H

#include <gtest/gtest.h>

#include <vector>

#include "refhost.h"
#include "vm.h"
#include "vmobject.h"
#include "vmthread.h"
#include "vmutils.h"

namespace storage_test {

/* What the watching table saw. */
struct HeapCalls {
  std::vector<jint> allocKinds;
  std::vector<uint32_t> blocksAtAlloc;  // blocks on the heap asked, as each request arrives
  std::vector<VMword> freedFirstWords;  // first word of every block, read just before its free
  std::vector<void*> freedBlocks;       // every block freed, in order
  std::vector<HHeap*> hashHeaps;
  int failMutexLocks = 0;               // refuse this many MutexLock calls
};

HeapCalls& Calls();

/* A copy of the reference host's table whose HeapAlloc, HeapFree, ObjectHashCode and
   MutexLock go through recorders first. */
JNIHostFunctions* WatchingTable();

class StorageTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* Binds the watching table instead of the reference host's own for this test. */
  void Watch();

  /* Makes the calling thread look attached to a machine whose heap is `heap`, with a
     VMThread record of its own. */
  void AttachFakeMachine();
  void DetachFakeMachine();

  JNIHostFunctions* host = nullptr;
  HHeap* heap = nullptr;
  VM* vm = nullptr;
  VMThread* thread = nullptr;
  VMword env[8] = {};
  VMword javaVM[8] = {};
};

}  // namespace storage_test

#endif
