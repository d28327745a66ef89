/* The collector's test world: the interpreter's world over the classes of tests/java/gc,
   with the natives those classes call (a collection on request, a native round trip,
   Object's notify/wait, which the class library's reference queues use), and helpers to
   read the machine's heap. */
#ifndef PUX_TESTS_GC_SUPPORT_H
#define PUX_TESTS_GC_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "interp_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmthread.h"

namespace gc_test {

using interp_test::Outcome;
using interp_test::World;

/* Registers the natives once per process (the tables outlive every name space). */
void RegisterNatives();

class GcTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  /* Turns reference handling on in the world's name space and machine, as the second
     library generation's start-up does. */
  void UseReferences();
  /* A static int method of gc/<cls> with int arguments; fails the test on an exception. */
  int Run(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args = {});
  /* A loop count, cut down in collection stress, where every allocation collects. */
  static uint32_t Scaled(uint32_t n, uint32_t stressDivisor = 40) {
    uint32_t cut = refhost::CollectionStress() != 0 ? n / stressDivisor : n;
    return cut > 0 ? cut : 1;
  }
  uint32_t Blocks() { return refhost::BlocksInUse(world.vm->GetHeap()); }
  uint32_t Collected() { return refhost::CollectedCount(world.vm->GetHeap()); }

  World world;
};

/* Counts of one machine's heap blocks by what their headers say. */
struct HeapCensus {
  uint32_t objects = 0;      // object heads
  uint32_t marked = 0;       // heads with any reachability, reference or finalizer mark
  uint32_t queued = 0;       // heads with a queue word
  uint32_t preGC = 0;        // heads with the pre-collection flag
};
HeapCensus TakeCensus(HHeap* heap);

/* Binds gc/Compiled's compiled code (gc_compiled.cpp) in the world's name space; false
   when some method stayed unbound. */
bool BindCompiledCode(World& world);
/* Run by gc/Compiled.attachedAgainNative while it waits declared, on the thread it
   attached again; nothing when null. */
extern void (*gAttachedAgainWait)();

}  // namespace gc_test

#endif
