/* Name spaces: creation and destruction, sharing by several machines, loaders, and the
   exception-class names. */
#include "runtime_support.h"

#include <algorithm>
#include <set>

#include "vmclassloader.h"
#include "vmliteral.h"

class NameSpaceTestAccess {
 public:
  static void SetSharedStaticDataClass(VMNameSpace* ns, VMLiteral* l) { ns->SetSharedStaticDataClass(l); }
  static VMLoadableClass* FindExceptionClass(VMNameSpace* ns, JNIEnv* env, uint32_t status) {
    return ns->FindExceptionClass(env, status);
  }
};

namespace runtime_test {
namespace {

class RuntimeNameSpaceTest : public RuntimeTest {};

uint32_t CountUnderLock(VMNameSpace* ns) {
  VMUtils::P_SpinLock(ns->GetSpinLock(), "test");
  uint32_t n = ns->GetVMCount();
  VMUtils::V_SpinLock(ns->GetSpinLock(), "test");
  return n;
}

TEST_F(RuntimeNameSpaceTest, TwoMachinesShareOneNameSpaceUntilTheLastGoes) {
  refhost::SetLeakReports(true);
  Machine first = MakeMachine();
  ASSERT_NE(nullptr, first.vm);
  VMNameSpace* ns = first.ns;
  EXPECT_EQ(1u, CountUnderLock(ns));
  Machine second = MakeMachine(ns);
  ASSERT_NE(nullptr, second.vm);
  EXPECT_EQ(ns, second.vm->GetNameSpace());
  EXPECT_NE(first.vm->GetHeap(), second.vm->GetHeap());
  EXPECT_EQ(2u, CountUnderLock(ns));

  size_t heapsBefore = Watched().bytesAtDestroy.size();
  EXPECT_EQ(1u, DestroyMachine(first));
  // Only the first machine's heap went; the name space is alive and still counts one.
  EXPECT_EQ(heapsBefore + 1, Watched().bytesAtDestroy.size());
  EXPECT_EQ(1u, CountUnderLock(ns));
  EXPECT_NE(nullptr, ns->GetInternTable());

  EXPECT_EQ(0u, DestroyMachine(second));
  // The second machine's heap, then the name space's heap.
  EXPECT_EQ(heapsBefore + 3, Watched().bytesAtDestroy.size());
  EXPECT_EQ(0u, refhost::LeakReportCount());
}

TEST_F(RuntimeNameSpaceTest, MachinesDestroyedTogetherDestroyTheNameSpaceOnce) {
  for (int round = 0; round < 20; round++) {
    Machine a = MakeMachine();
    Machine b = MakeMachine(a.ns);
    ASSERT_NE(nullptr, b.vm);
    std::atomic<int> sawZero{0};
    Machine* machines[2] = {&a, &b};
    VMNameSpace* ns = a.ns;
    RunThreads(2, [&](int i) {
      if (machines[i]->vm->Destroy() == 0) sawZero++;
    });
    EXPECT_EQ(1, sawZero.load());
    ns->Destroy();
    host->HeapFree(nullptr, a.jvm);
    host->HeapFree(nullptr, b.jvm);
  }
}

/* A machine's destroy that lingers in its heap walk, as a preempted one would. */
JNIHostFunctions* realHost = nullptr;
std::atomic<HHeap*> lingeringHeap{nullptr};
std::atomic<bool> lingering{false};
std::atomic<bool> lingerEnds{false};

/* Lingers until the test lets it go (after the other destroy has returned, however long
   a loaded machine takes for it), or at most 5 s. */
void HOSTCALL LingeringHeapWalk(HHeap* heap, JNIHostHeapWalkFn callback, void* context) {
  if (heap == lingeringHeap.load()) {
    lingering = true;
    for (int ms = 0; ms < 5000 && !lingerEnds.load(); ms++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  realHost->HeapWalk(heap, callback, context);
}

TEST_F(RuntimeNameSpaceTest, MachinesDestroyedAtOnceLeaveTheNameSpaceToTheLastToFinish) {
  // Each destroyer destroys the name space when its machine's destroy answers 0, with no
  // lock between the two (as the invocation interface does). The machine whose destroy
  // is still releasing monitors on the name space's heap must be the one that answers 0.
  realHost = refhost::Functions();
  host->HeapWalk = LingeringHeapWalk;
  for (int round = 0; round < 3; round++) {
    Machine a = MakeMachine();
    Machine b = MakeMachine(a.ns);
    AttachHere(a);
    uint64_t before = refhost::BytesInUse(a.vm->GetHeap());
    VMObject* left = VMObject::Instantiate(a.vm->GetHeap(), 3, 0);  // left for the heap to take
    uint64_t leftBytes = refhost::BytesInUse(a.vm->GetHeap()) - before;
    ASSERT_EQ(0, left->MonitorEnter(a.ns));
    ASSERT_EQ(0, left->MonitorExit(a.ns));
    DetachHere(a);
    lingering = false;
    lingerEnds = false;
    lingeringHeap = a.vm->GetHeap();
    std::atomic<uint32_t> leftA{99}, leftB{99};
    std::thread destroyA([&] { leftA = DestroyMachine(a); });
    ASSERT_TRUE(WaitFor([&] { return lingering.load(); }));
    std::thread destroyB([&] { leftB = DestroyMachine(b); });
    destroyB.join();
    lingerEnds = true;
    destroyA.join();
    EXPECT_EQ(1u, leftB.load()) << "round " << round;
    EXPECT_EQ(0u, leftA.load()) << "round " << round;
    // The object left on the machine was released with it: every heap was empty when
    // it went (checked at tear-down).
    std::lock_guard<std::mutex> guard(Watched().lock);
    auto& bytes = Watched().bytesAtDestroy;
    EXPECT_EQ(bytes.end(), std::find(bytes.begin(), bytes.end(), leftBytes));
  }
  host->HeapWalk = realHost->HeapWalk;
}

TEST_F(RuntimeNameSpaceTest, CreationFailingAtAnyStepLeavesNothing) {
  // Count the allocations of a whole creation, then refuse each of them in turn.
  uint64_t before = refhost::AllocationCount();
  VMNameSpace* ns = VMNameSpace::CreateInstance();
  ASSERT_NE(nullptr, ns);
  uint32_t steps = (uint32_t)(refhost::AllocationCount() - before);
  ns->Destroy();
  ASSERT_GT(steps, 10u);
  for (uint32_t n = 1; n <= steps; n++) {
    // The tables' bodies take thousands of allocations alike: every step of the record
    // itself, a sample of the bodies, and the last steps.
    if (n > 64 && n + 16 < steps && n % 97 != 0) continue;
    size_t heaps = Watched().bytesAtDestroy.size();
    refhost::FailNthAllocation(n);
    EXPECT_EQ(nullptr, VMNameSpace::CreateInstance()) << "refused allocation " << n;
    refhost::FailNthAllocation(0);
    // The half-made name space's heap was destroyed, empty (checked at tear-down).
    EXPECT_EQ(heaps + 1, Watched().bytesAtDestroy.size()) << "refused allocation " << n;
  }
}

TEST_F(RuntimeNameSpaceTest, OneLoaderPerIdEvenWhenThreadsRaceToMakeIt) {
  Machine m = MakeMachine();
  if (m.ns->FindOrCreateLoader((void*)(uintptr_t)99) == nullptr) {
    DestroyMachine(m);
    GTEST_SKIP() << "the class loader cannot make loaders yet";
  }
  for (int round = 0; round < 20; round++) {
    void* id = (void*)(uintptr_t)(100 + round);
    VMClassLoader* got[4] = {};
    std::atomic<int> ready{0};
    RunThreads(4, [&](int i) {
      ready++;
      while (ready.load() < 4) {
      }
      got[i] = m.ns->FindOrCreateLoader(id);
    });
    ASSERT_NE(nullptr, got[0]);
    for (int i = 1; i < 4; i++) EXPECT_EQ(got[0], got[i]) << "round " << round;
    EXPECT_EQ(got[0], m.ns->FindLoader(id));
    EXPECT_EQ(id, got[0]->GetLoaderID());
  }
  EXPECT_EQ(21u, m.ns->GetClassLoaders()->GetFilled());
  EXPECT_EQ(nullptr, m.ns->FindLoader((void*)(uintptr_t)98));
  DestroyMachine(m);
}

TEST_F(RuntimeNameSpaceTest, ExceptionNamesBeyondTheTableAreInternalError) {
  Machine m = MakeMachine();
  VMNameSpace* ns = m.ns;
  // Without a literal table nothing can be interned.
  EXPECT_EQ(nullptr, ns->GetExceptionName(18));
  ns->SetLiteralHashTable(VMLiteralHashTable::CreateInstance(ns->GetHeap(), 0x2000));
  VMLiteral* internal = ns->GetExceptionName(18);
  ASSERT_NE(nullptr, internal);
  EXPECT_TRUE(internal->EqualsAscii("java/lang/InternalError"));
  EXPECT_EQ(internal, ns->GetExceptionName(44));
  EXPECT_EQ(internal, ns->GetExceptionName(0xFFFFFFFFu));
  EXPECT_TRUE(ns->GetExceptionName(38)->EqualsAscii("java/lang/IllegalMonitorStateException"));
  // Before the exception classes exist every look-up answers NULL.
  JNIEnv* env = AttachHere(m);
  EXPECT_EQ(nullptr, ns->GetExceptionClass(env, 14));
  EXPECT_EQ(nullptr, ns->GetExceptionClass(env, 1000));
  EXPECT_EQ(nullptr, NameSpaceTestAccess::FindExceptionClass(ns, env, 19));
  DetachHere(m);
  DestroyMachine(m);
}

TEST_F(RuntimeNameSpaceTest, SharedStaticDataClassesAreKept) {
  Machine m = MakeMachine();
  VMNameSpace* ns = m.ns;
  HHeap* heap = ns->GetHeap();
  ns->SetLiteralHashTable(VMLiteralHashTable::CreateInstance(heap, 0x2000));
  NameSpaceTestAccess::SetSharedStaticDataClass(ns, VMLiteral::CreateInstance(ns, "a/B", 0xFFFFFFFFu));
  ns->SetSharedStaticDataClasses(VMLiteralHashTable::CreateInstance(heap, 7));
  std::set<VMLiteral*> added;
  for (int i = 0; i < 40; i++) {  // enough to grow the small table several times
    std::string name = "pkg/Class" + std::to_string(i);
    VMLiteral* l = VMLiteral::CreateInstance(ns, name.c_str(), 0xFFFFFFFFu);
    ASSERT_NE(nullptr, l);
    NameSpaceTestAccess::SetSharedStaticDataClass(ns, l);
    added.insert(l);
  }
  VMLiteralHashTable* table = ns->GetSharedStaticDataClasses();
  EXPECT_EQ(40u, table->GetFilled());
  for (VMLiteral* l : added) EXPECT_NE(VMHashNotFound, table->Find(l));
  DestroyMachine(m);
}

}  // namespace
}  // namespace runtime_test
