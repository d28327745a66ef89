/* Machines: creation that fails part way, stopping the other threads, attaching and
   detaching again, the collector's park, the exit-time pass, the debugger's pause, and
   the heaps left empty at the end. */
#include "runtime_support.h"

#include <string.h>

#include <random>

#include "vmhandlearray.h"

class MachineTestAccess {
 public:
  static void SetThreadDoingGC(VM* vm, void* id) { vm->SetThreadDoingGC(id); }
  static void ReleaseThreadsWaitingForGC(VM* vm) { vm->ReleaseThreadsWaitingForGC(); }
};

namespace runtime_test {
namespace {

class RuntimeMachineTest : public RuntimeTest {};

uint32_t CountUnderLock(VMNameSpace* ns) {
  VMUtils::P_SpinLock(ns->GetSpinLock(), "test");
  uint32_t n = ns->GetVMCount();
  VMUtils::V_SpinLock(ns->GetSpinLock(), "test");
  return n;
}

TEST_F(RuntimeMachineTest, CreationFailingPartWayLeavesTheNameSpaceUntouched) {
  Machine keeper = MakeMachine();
  ASSERT_NE(nullptr, keeper.vm);
  VMNameSpace* ns = keeper.ns;
  JavaVM* jvm = (JavaVM*)host->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = ns;
  bool made = false;
  for (uint32_t n = 1; n < 30 && !made; n++) {
    size_t heaps = Watched().bytesAtDestroy.size();
    refhost::FailNthAllocation(n);
    VM* vm = VM::CreateInstance(1024, jvm);
    refhost::FailNthAllocation(0);
    if (vm != nullptr) {
      made = true;
      EXPECT_EQ(2u, CountUnderLock(ns));
      EXPECT_EQ(1u, vm->Destroy());
      continue;
    }
    // The half-made machine went with its heap, and the other machine's count stands.
    EXPECT_EQ(heaps + 1, Watched().bytesAtDestroy.size()) << "refused allocation " << n;
    EXPECT_EQ(1u, CountUnderLock(ns)) << "refused allocation " << n;
  }
  EXPECT_TRUE(made);
  // A machine without any name space fails the same way without touching one.
  jvm->nameSpace = nullptr;
  refhost::FailNthAllocation(3);
  EXPECT_EQ(nullptr, VM::CreateInstance(1024, jvm));
  refhost::FailNthAllocation(0);
  host->HeapFree(nullptr, jvm);
  EXPECT_EQ(1u, CountUnderLock(ns));
  EXPECT_EQ(0u, DestroyMachine(keeper));
}

TEST_F(RuntimeMachineTest, StopAllOtherThreadsWaitsUntilTheyHaveDetached) {
  Machine m = MakeMachine();
  AttachHere(m);
  std::atomic<int> running{0};
  std::vector<std::thread> others;
  for (int i = 0; i < 2; i++)
    others.emplace_back([&] {
      AttachHere(m);
      running++;
      // Java code would end at its next poll; this loop is that code.
      while (VMThread::Current()->Yield() == 0) std::this_thread::yield();
      DetachHere(m);
    });
  ASSERT_TRUE(WaitFor([&] { return running.load() == 2; }));
  EXPECT_EQ(3u, m.vm->GetThreadsAttached());
  m.vm->StopAllOtherThreads();
  EXPECT_EQ(1u, m.vm->GetThreadsAttached());
  for (auto& t : others) t.join();
  EXPECT_EQ(nullptr, VMThread::Current()->GetException());  // the caller was not asked to stop
  DetachHere(m);
  // A caller that is not attached does not wait for itself.
  m.vm->StopAllOtherThreads();
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, StopAllOtherThreadsAlsoStopsThreadsThatAttachWhileItWaits) {
  // A is stopped, detaches and attaches again (the host forgets a stop at detach); B
  // attaches only once the stopping has begun. Both run until told to stop.
  Machine m = MakeMachine();
  std::atomic<int> aStops{0};
  std::atomic<bool> bAttached{false}, bStopped{false}, release{false}, stopperDone{false};
  auto runUntilStopped = [&](VMThread* self) {
    while (self->Yield() == 0) {
      if (release.load()) return false;
      std::this_thread::yield();
    }
    return true;
  };
  std::thread a([&] {
    for (int attachment = 0; attachment < 2; attachment++) {
      AttachHere(m);
      if (runUntilStopped(VMThread::Current())) aStops++;
      DetachHere(m);
    }
  });
  ASSERT_TRUE(WaitFor([&] { return m.vm->GetThreadsAttached() == 1; }));
  std::thread stopper = AttachedThread(m, [&](VMThread*) {
    m.vm->StopAllOtherThreads();
    stopperDone = true;
  });
  ASSERT_TRUE(WaitFor([&] { return aStops.load() == 1; }));
  std::thread b = AttachedThread(m, [&](VMThread* self) {
    bAttached = true;
    bStopped = runUntilStopped(self);
  });
  ASSERT_TRUE(WaitFor([&] { return bAttached.load(); }));
  bool returned = WaitFor([&] { return stopperDone.load(); }, 3000);
  release = true;
  a.join();
  b.join();
  stopper.join();
  EXPECT_TRUE(returned) << "StopAllOtherThreads still waited 3 s on";
  EXPECT_TRUE(bStopped.load()) << "the thread that attached late was never stopped";
  EXPECT_EQ(2, aStops.load()) << "the thread that attached again was never stopped again";
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, AThreadThatDetachesHoldingMonitorsGivesThemUp) {
  Machine m = MakeMachine();
  AttachHere(m);
  HHeap* heap = m.vm->GetHeap();
  VMObject* twice = VMObject::Instantiate(heap, 1, 0);
  VMObject* once = VMObject::Instantiate(heap, 1, 0);
  VMObject* mine = VMObject::Instantiate(heap, 1, 0);
  ASSERT_EQ(0, mine->MonitorEnter(m.ns));
  VMThread* leaver = nullptr;
  std::thread([&] {
    AttachHere(m);
    leaver = VMThread::Current();
    ASSERT_EQ(0, twice->MonitorEnter(m.ns));
    ASSERT_EQ(0, twice->MonitorEnter(m.ns));
    ASSERT_EQ(0, once->MonitorEnter(m.ns));
    EXPECT_EQ(4, leaver->GetMutexLockCount());
    DetachHere(m);  // as DetachCurrentThread with monitors held
  }).join();
  ASSERT_NE(nullptr, leaver);
  EXPECT_EQ(1, leaver->GetMutexLockCount());
  for (VMObject* o : {twice, once}) {
    ASSERT_EQ(nullptr, o->GetMonitor()->GetOwner()) << "a monitor stayed with a thread that left";
    EXPECT_EQ(0u, o->GetMonitor()->GetOwnedCount());
    EXPECT_EQ(0, o->MonitorEnter(m.ns));
    EXPECT_EQ(0, o->MonitorExit(m.ns));
  }
  // Monitors of other threads are theirs still.
  EXPECT_TRUE(mine->GetMonitor()->IsOwnedByCaller());
  EXPECT_EQ(1u, mine->GetMonitor()->GetOwnedCount());
  EXPECT_EQ(0, mine->MonitorExit(m.ns));
  for (VMObject* o : {twice, once, mine}) o->Destroy(heap);
  DetachHere(m);
  DestroyMachine(m);
}

/* Hands every thread that asks the same identity, as a host may do once the thread that
   had it has ended. */
thread_local bool reusedIdentity = false;
void* HOSTCALL ReusedCurrentThreadId() {
  return reusedIdentity ? (void*)(uintptr_t)0x7FFF0001u : refhost::Functions()->CurrentThreadId();
}

TEST_F(RuntimeMachineTest, ANewHostThreadWithADeadThreadsIdentityStartsAfresh) {
  Machine m = MakeMachine();
  host->CurrentThreadId = ReusedCurrentThreadId;
  VMObject* thrown = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
  VMThread* first = nullptr;
  std::thread([&] {
    reusedIdentity = true;
    AttachHere(m);
    first = VMThread::Current();
    first->SetInterrupted();
    first->SetException((VMJavaLangThrowable*)thrown);
    first->Suspend();  // a suspension its poll never served
    DetachHere(m);
  }).join();
  std::thread([&] {
    reusedIdentity = true;
    AttachHere(m);
    VMThread* mine = VMThread::Current();
    EXPECT_EQ(first, mine);  // the record is reused...
    EXPECT_EQ(host->CurrentThreadHandle(), mine->GetHandle());  // ...for this thread
    EXPECT_FALSE(mine->GetInterrupted());
    EXPECT_EQ(nullptr, mine->GetException());
    EXPECT_EQ(0u, mine->GetSuspendCount());
    EXPECT_FALSE(mine->GetYieldToPostSuspend());
    EXPECT_EQ(1, mine->GetMutexLockCount());
    // With the old suspend request left standing the poll would suspend for ever.
    EXPECT_EQ(host->YieldCheck, mine->GetPollFunction());
    if (mine->GetPollFunction() == host->YieldCheck) {
      EXPECT_EQ(0, mine->Yield());
      mine->Stop();  // as StopAllOtherThreads would
      EXPECT_NE(0, mine->Yield()) << "the stop went to the dead thread";
    }
    DetachHere(m);
  }).join();
  // A pause the debugger asked of every record holds a thread that attaches meanwhile.
  m.vm->PauseThreadsForDebugger(true);
  std::thread([&] {
    reusedIdentity = true;
    AttachHere(m);
    EXPECT_TRUE(VMThread::Current()->GetYieldForDebugger());
    EXPECT_EQ(&VMThread::yieldAndCheck, VMThread::Current()->GetPollFunction());
    m.vm->PauseThreadsForDebugger(false);
    DetachHere(m);
  }).join();
  host->CurrentThreadId = refhost::Functions()->CurrentThreadId;
  thrown->Destroy(m.vm->GetHeap());
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, AParkedThreadIsHeldUntilTheCollectionEndsAndAlwaysReleased) {
  // The collector claims the machine, the other thread parks at its poll, the collector
  // releases it; a release made just as the thread goes to park must never be missed.
  Machine m = MakeMachine();
  AttachHere(m);
  void* me = host->CurrentThreadId();
  std::atomic<int> go{0}, done{0}, badStatus{0};
  std::atomic<bool> quit{false};
  std::thread parker = AttachedThread(m, [&](VMThread* self) {
    int seen = 0;
    while (!quit.load()) {
      int round = go.load();
      if (round == seen) {
        std::this_thread::yield();
        continue;
      }
      seen = round;
      if (m.vm->ThreadWaitForGC(self) != VMStatus_OK) badStatus++;
      if (self->GetWaitingForGC()) badStatus++;  // the release clears it
      done = round;
    }
  });
  std::mt19937 rng(7);
  int missed = 0, notHeld = 0;
  const int kRounds = 4000;
  for (int round = 1; round <= kRounds && missed == 0; round++) {
    MachineTestAccess::SetThreadDoingGC(m.vm, me);
    go = round;
    if (round % 100 == 0) {
      // Long enough for the thread to park: it must still be parked.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (done.load() == round) notHeld++;
    } else {
      for (volatile int i = 0, n = (int)(rng() % 400); i < n; i++) {
      }
    }
    MachineTestAccess::ReleaseThreadsWaitingForGC(m.vm);
    auto start = Clock::now();
    while (done.load() != round) {
      if (MillisSince(start) > 2000) {
        missed++;
        break;
      }
      std::this_thread::yield();
    }
  }
  quit = true;
  if (missed != 0) {  // let it go
    while (parker.joinable() && done.load() != go.load()) {
      MachineTestAccess::ReleaseThreadsWaitingForGC(m.vm);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  parker.join();
  EXPECT_EQ(0, missed) << "a parked thread slept through its release";
  EXPECT_EQ(0, notHeld) << "a thread went on while the collection ran";
  EXPECT_EQ(0, badStatus.load());
  DetachHere(m);
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, AParkKeepsTheInterruptAndOutlastsAStop) {
  Machine m = MakeMachine();
  AttachHere(m);
  std::atomic<VMThread*> parked{nullptr};
  std::atomic<int> status{-1};
  void* collector = host->CurrentThreadId();
  std::thread parker = AttachedThread(m, [&](VMThread* self) {
    // Claimed once this thread is attached: a thread attaching during a collection
    // waits for its end before it is added.
    MachineTestAccess::SetThreadDoingGC(m.vm, collector);
    self->SetInterrupted();  // meant for the Java code the thread runs next
    parked = self;
    status = m.vm->ThreadWaitForGC(self);
    EXPECT_TRUE(self->GetInterrupted());
    EXPECT_NE(0, self->Yield());  // the stop is kept for the same code
    self->ClearInterrupted();
    refhost::SetStopFlag(false);
  });
  ASSERT_TRUE(WaitFor([&] { return parked.load() != nullptr && parked.load()->GetWaitingForGC(); }));
  Interrupt(parked.load());
  parked.load()->Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(-1, status.load()) << "the park ended before the collection";
  MachineTestAccess::ReleaseThreadsWaitingForGC(m.vm);
  parker.join();
  EXPECT_EQ(VMStatus_OK, status.load());
  EXPECT_EQ(nullptr, m.vm->GetThreadDoingGC());
  DetachHere(m);
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, RunFinalizersReleasesMonitorsOfObjectHeadsOnly) {
  for (int onExit = 0; onExit < 2; onExit++) {
    Machine m = MakeMachine();
    AttachHere(m);
    HHeap* heap = m.vm->GetHeap();
    if (onExit) m.vm->SetRunFinalizersOnExit();
    // A large object: its body pieces are blocks of their own whose fourth word is
    // element data, here something no monitor pointer could be.
    VMObject* big = VMObject::CreateInstance(heap, 600, jallocFailFast, VMTag_VMObject);
    ASSERT_NE(nullptr, big);
    for (uint32_t i = 0; i < 600; i++) big->SetWord(i, 0x5A5A5A5Au);
    VMObject* held = VMObject::Instantiate(heap, 1, 0);
    ASSERT_EQ(0, held->MonitorEnter(m.ns));
    ASSERT_EQ(0, held->MonitorEnter(m.ns));
    m.vm->RunFinalizers();
    EXPECT_EQ(nullptr, held->GetMonitor()->GetOwner());
    EXPECT_EQ(onExit != 0, held->GetIsFinalized());
    EXPECT_EQ(onExit != 0, big->GetIsFinalized());
    big->Destroy(heap);
    held->Destroy(heap);
    DetachHere(m);
    DestroyMachine(m);
  }
}

TEST_F(RuntimeMachineTest, RunFinalizersDropsDetachedThreadsButNotAttachedOnes) {
  Machine m = MakeMachine();
  AttachHere(m);
  std::thread([&] {
    AttachHere(m);
    DetachHere(m);
  }).join();
  std::atomic<bool> attached{false};
  std::thread running([&] {
    AttachHere(m);
    attached = true;
    while (VMThread::Current()->Yield() == 0) std::this_thread::yield();
    DetachHere(m);
  });
  ASSERT_TRUE(WaitFor([&] { return attached.load(); }));
  VMThreadHandleArray* threads = m.vm->GetThreads();
  uint32_t entries = 0;
  for (uint32_t i = 1; i < threads->GetCount(); i++) entries += threads->Get(i) != nullptr;
  EXPECT_EQ(3u, entries);
  m.vm->RunFinalizers();  // stops the running one, drops the detached one
  running.join();
  entries = 0;
  for (uint32_t i = 1; i < threads->GetCount(); i++) entries += threads->Get(i) != nullptr;
  EXPECT_EQ(2u, entries);
  DetachHere(m);
  DestroyMachine(m);
}

/* A host thread that attaches again finds its old record under the thread lock; this
   release of the lock dawdles on such a thread, as a preempted one would. */
thread_local bool dawdleAfterAttachLookUp = false;
JNIHostFunctions* realHost = nullptr;

jboolean HOSTCALL DawdlingSpinLockRelease(void* lock, const char* tag) {
  jboolean released = realHost->SpinLockRelease(lock, tag);
  if (dawdleAfterAttachLookUp && tag != nullptr && strstr(tag, "Release  VM::AttachThread") != nullptr)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  return released;
}

bool RecordIsListed(const Machine& m, VMThread* record) {
  VMUtils::P_SpinLock(m.ns->GetSpinLock(), "test");
  bool listed = false;
  VMThreadHandleArray* threads = m.vm->GetThreads();
  for (uint32_t i = 1; i < threads->GetCount(); i++) listed |= threads->Get(i) == record;
  VMUtils::V_SpinLock(m.ns->GetSpinLock(), "test");
  return listed;
}

TEST_F(RuntimeMachineTest, RunFinalizersKeepsTheRecordOfAThreadAttachingAgain) {
  // The exit-time pass drops the records of detached threads. A thread that has found
  // its old record but not yet taken it back must not lose it to the pass.
  Machine m = MakeMachine();
  realHost = refhost::Functions();
  host->SpinLockRelease = DawdlingSpinLockRelease;
  std::atomic<bool> lookingUp{false};
  std::atomic<bool> listed{false};
  std::thread again([&] {
    AttachHere(m);
    VMThread* first = VMThread::Current();
    DetachHere(m);
    dawdleAfterAttachLookUp = true;
    lookingUp = true;
    ASSERT_NE(nullptr, AttachHere(m));
    dawdleAfterAttachLookUp = false;
    EXPECT_EQ(first, VMThread::Current());
    listed = RecordIsListed(m, VMThread::Current());
    DetachHere(m);
  });
  ASSERT_TRUE(WaitFor([&] { return lookingUp.load(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  m.vm->RunFinalizers();
  again.join();
  host->SpinLockRelease = realHost->SpinLockRelease;
  EXPECT_TRUE(listed.load()) << "the pass dropped the record of a thread attaching again";
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, PausingForTheDebuggerHoldsEveryThreadAtItsPoll) {
  Machine m = MakeMachine();
  std::atomic<long> counter{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> attached{false};
  std::thread spinner([&] {
    AttachHere(m);
    attached = true;
    while (!stop.load()) {
      counter++;
      VMThread::Current()->Yield();
    }
    DetachHere(m);
  });
  Joiner joiner(spinner, stop);
  ASSERT_TRUE(WaitFor([&] { return attached.load() && counter.load() > 10; }));
  m.vm->PauseThreadsForDebugger(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  long paused = counter.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_LE(counter.load(), paused + 1);
  m.vm->PauseThreadsForDebugger(false);
  EXPECT_TRUE(WaitFor([&] { return counter.load() > paused + 10; }));
  stop = true;
  spinner.join();
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, AThreadAttachedFromNativeCodeIsNamedDefault) {
  Machine m = MakeMachine();
  JNIEnv* env = AttachHere(m);
  VMThread* t = VMThread::Current();
  // No ThreadGroup class can be had yet: no group, no name, no Thread object.
  EXPECT_FALSE(m.vm->CreateJavaLangThread(env));
  EXPECT_EQ(nullptr, m.vm->GetSystemThreadGroup());
  EXPECT_EQ(nullptr, t->GetName());
  // With a group the thread is named, even though its Thread object cannot be made yet.
  VMObject* group = VMObject::Instantiate(m.vm->GetHeap(), 1, 0);
  m.vm->SetReference(VM::SystemThreadGroupWord, group);
  EXPECT_FALSE(m.vm->CreateJavaLangThread(env));
  VMcharArray* name = t->GetName();
  ASSERT_NE(nullptr, name);
  ASSERT_EQ(7u, name->GetSize());
  EXPECT_TRUE(name->GetIsScalarArray());
  const char* expected = "default";
  for (uint32_t i = 0; i < 7; i++) EXPECT_EQ((jchar)expected[i], name->Get(i));
  EXPECT_FALSE(m.vm->CreateJavaLangThread(env));
  EXPECT_EQ(name, t->GetName());  // named once
  // A status's exception needs the exception classes, which the start-up makes.
  t->SetException((VMJavaLangThrowable*)group);
  t->SetExceptionStatus(VMStatus_OutOfMemoryError, nullptr);
  EXPECT_EQ(nullptr, t->GetException());
  EXPECT_EQ(-1, VMJniThrowInternal(env, VMStatus_ThreadDeath, "stop"));
  EXPECT_EQ(nullptr, m.ns->GetClassList()->GetThreadClass(env));
  EXPECT_EQ(nullptr, m.ns->GetClassList()->GetOnDemandThreadClass());
  m.vm->SetReference(VM::SystemThreadGroupWord, nullptr);
  group->Destroy(m.vm->GetHeap());
  DetachHere(m);
  DestroyMachine(m);
}

TEST_F(RuntimeMachineTest, EveryHeapIsEmptyWhenItsOwnerGoes) {
  refhost::SetLeakReports(true);
  Machine a = MakeMachine();
  Machine b = MakeMachine(a.ns);
  RunThreads(2, [&](int i) {
    Machine& mine = i == 0 ? a : b;
    AttachHere(mine);
    VMObject* o = VMObject::Instantiate(mine.vm->GetHeap(), 3, 0);
    EXPECT_EQ(0, o->MonitorEnter(mine.ns));
    EXPECT_EQ(0, o->MonitorExit(mine.ns));
    o->Destroy(mine.vm->GetHeap());
    DetachHere(mine);
  });
  size_t before = Watched().bytesAtDestroy.size();
  EXPECT_EQ(1u, DestroyMachine(a));
  EXPECT_EQ(0u, DestroyMachine(b));
  // Both machine heaps and the name space's heap, each empty (checked at tear-down).
  ASSERT_EQ(before + 3, Watched().bytesAtDestroy.size());
  EXPECT_EQ(0u, refhost::LeakReportCount());
}

TEST_F(RuntimeMachineTest, MonitorsOfObjectsLeftOnAMachineDoNotOutliveIt) {
  Machine a = MakeMachine();
  Machine b = MakeMachine(a.ns);
  AttachHere(a);
  uint64_t nsBytes = refhost::BytesInUse(a.ns->GetHeap());
  VMObject* left = VMObject::Instantiate(a.vm->GetHeap(), 3, 0);
  ASSERT_EQ(0, left->MonitorEnter(a.ns));
  EXPECT_LT(nsBytes, refhost::BytesInUse(a.ns->GetHeap()));  // the monitor lives there
  DetachHere(a);
  size_t before = Watched().bytesAtDestroy.size();
  EXPECT_EQ(1u, DestroyMachine(a));
  // The object left on the machine went with it, before its heap did; the name space
  // got its monitor back.
  ASSERT_EQ(before + 1, Watched().bytesAtDestroy.size());
  EXPECT_EQ(0u, Watched().bytesAtDestroy.back());
  EXPECT_EQ(nsBytes, refhost::BytesInUse(b.ns->GetHeap()));
  EXPECT_EQ(0u, DestroyMachine(b));
}

}  // namespace
}  // namespace runtime_test
