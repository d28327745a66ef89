/* Shared set-up of the runtime-core tests: the library bound to the reference host, a
   name space with the words literals and strings read (its own shared heap, a literal
   table, a string table, class lists holding stand-ins for java/lang/String and [C), and a
   machine with a heap of its own that the calling thread looks attached to. */
#ifndef PUX_TESTS_CORE_SUPPORT_H
#define PUX_TESTS_CORE_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>

#include "refhost.h"
#include "vm.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmobject.h"
#include "vmutils.h"

namespace core_test {

/* Host locks refused on purpose: a lock is refused while its count is above zero (each
   refusal lowers it), and mutex unlocks are counted. Reset for every test. */
struct LockRefusals {
  std::atomic<int> mutexLocks{0};
  std::atomic<int> spinAcquires{0};
  std::atomic<int> mutexUnlocks{0};
};
LockRefusals& Refusals();
/* Takes one refusal when any is left. */
bool TakeRefusal(std::atomic<int>& left);
jboolean HOSTCALL RefusingMutexLock(void* mutex);
jboolean HOSTCALL CountingMutexUnlock(void* mutex);
jboolean HOSTCALL RefusingSpinAcquire(void* lock, const char* tag);
/* A copy of the reference host's table with the three hooks above. */
JNIHostFunctions* RefusingLocksTable();

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* Makes the name space; tables get the given initial sizes. */
  void MakeNameSpace(uint32_t literalTableSize = 0x2000, uint32_t internTableSize = 0x2000);
  /* Empty class lists (classes and array classes) for the name space. */
  void MakeClassLists();
  /* Stand-ins for the classes strings need, with the name, create size and create bits
     a String class has. */
  void MakeStringClasses();
  /* The calling thread looks attached to a machine on machineHeap using ns. */
  void Attach();
  void Detach();
  /* Releases the name space the way its owner does: every interned string and literal,
     then the tables and lists. */
  void DestroyNameSpace();

  VMLiteral* Lit(const char* text) { return VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu); }

  JNIHostFunctions* host = nullptr;
  HHeap* nsHeap = nullptr;       /* kind 1: the name space's shared heap */
  HHeap* machineHeap = nullptr;  /* kind 2 */
  VMNameSpace* ns = nullptr;
  VMLoadableClass* stringClass = nullptr;
  VMArrayClass* charsClass = nullptr;
  VM* vm = nullptr;
  JNIEnv* env = nullptr;
  /* Whether both heaps must be empty once the name space is gone. A refused creation
     gives its half-made body back at once, so even tests that refuse allocations
     part-way keep this on. */
  bool expectEmptyHeaps = true;

 private:
  VMword envWords[8] = {};
  VMword javaVMWords[8] = {};
};

}  // namespace core_test

#endif
