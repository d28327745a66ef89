#include "runtime_support.h"

#include <string.h>

namespace runtime_test {

namespace {

JNIHostFunctions watching;

void HOSTCALL WatchHeapDestroy(HHeap* heap) {
  uint64_t bytes = refhost::BytesInUse(heap);
  {
    std::lock_guard<std::mutex> guard(Watched().lock);
    Watched().bytesAtDestroy.push_back(bytes);
  }
  refhost::Functions()->HeapDestroy(heap);
}

thread_local bool slowWaiter = false;

jint HOSTCALL WatchEventWait(void* event, jlong ms) {
  if (slowWaiter) std::this_thread::sleep_for(std::chrono::milliseconds(Watched().slowWaitMillis.load()));
  if (Watched().failEventWaits.load() > 0) {
    Watched().failEventWaits--;
    return 1;
  }
  return refhost::Functions()->EventWait(event, ms);
}

}  // namespace

void SetSlowWaiter(bool on) { slowWaiter = on; }

Watch& Watched() {
  static Watch watch;
  return watch;
}

void RuntimeTest::SetUp() {
  refhost::ResetHooks();
  Watched().bytesAtDestroy.clear();
  Watched().failEventWaits = 0;
  Watched().slowWaitMillis = 0;
  watching = *refhost::Functions();
  watching.HeapDestroy = WatchHeapDestroy;
  watching.EventWait = WatchEventWait;
  host = &watching;
  VMUtils::Init(host);
  VMUtils::SetHostFunctions(host);
  processBytesBefore = refhost::BytesInUse(nullptr);
}

void RuntimeTest::TearDown() {
  host->SetCurrentEnv(nullptr);
  VMUtils::SetHostFunctions(refhost::Functions());
  refhost::ResetHooks();
  // Every heap the test destroyed was empty by then, and every record was given back.
  for (uint64_t bytes : Watched().bytesAtDestroy) EXPECT_EQ(0u, bytes);
  EXPECT_EQ(processBytesBefore, refhost::BytesInUse(nullptr));
}

Machine RuntimeTest::MakeMachine(VMNameSpace* ns) {
  Machine m;
  m.jvm = (JavaVM*)host->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  EXPECT_NE(nullptr, m.jvm);
  if (m.jvm == nullptr) return m;
  memset(m.jvm, 0, sizeof(JavaVM));
  m.ns = ns != nullptr ? ns : VMNameSpace::CreateInstance();
  EXPECT_NE(nullptr, m.ns);
  m.jvm->nameSpace = m.ns;
  m.vm = VM::CreateInstance(1024, m.jvm);
  EXPECT_NE(nullptr, m.vm);
  m.jvm->vm = m.vm;
  return m;
}

uint32_t RuntimeTest::DestroyMachine(Machine& m) {
  uint32_t left = 0;
  if (m.vm != nullptr) {
    left = m.vm->Destroy();
    if (left == 0) m.ns->Destroy();
  }
  if (m.jvm != nullptr) {
    VMJniCallDestroyKeys(m.jvm);  // as DestroyJavaVM does last
    host->HeapFree(nullptr, m.jvm);
  }
  m = Machine();
  return left;
}

JNIEnv* RuntimeTest::AttachHere(const Machine& m) {
  JNIEnv* env = VMJniCreateEnv(m.jvm);
  if (env == nullptr) return nullptr;
  if (VMJniAttachEnv(m.jvm, env) != 0) {
    VMUtils::GetHostFunctions()->HeapFree(nullptr, env);
    return nullptr;
  }
  return env;
}

void RuntimeTest::DetachHere(const Machine& m) {
  VMJniDetachEnv(m.jvm);
  VMJniClearHostEnv();
}

std::thread RuntimeTest::AttachedThread(const Machine& m, std::function<void(VMThread*)> fn) {
  return std::thread([this, &m, fn] {
    AttachHere(m);
    fn(VMThread::Current());
    DetachHere(m);
  });
}

void RuntimeTest::Interrupt(VMThread* thread) {
  host->MutexLock(thread->GetMutex());
  thread->SetInterrupted();
  if (void* event = thread->GetBlockedOn()) host->EventPost(event);
  host->MutexUnlock(thread->GetMutex());
}

void RuntimeTest::RunThreads(int n, const std::function<void(int)>& fn) {
  std::vector<std::thread> threads;
  for (int i = 0; i < n; i++) threads.emplace_back(fn, i);
  for (auto& t : threads) t.join();
}

bool RuntimeTest::WaitFor(const std::function<bool()>& cond, int ms) {
  auto start = Clock::now();
  while (!cond()) {
    if (MillisSince(start) > ms) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace runtime_test
