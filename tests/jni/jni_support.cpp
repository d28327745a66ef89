#include "jni_support.h"

#include <stdio.h>
#include <unistd.h>

#include "machine_move.h"
#include "vmclass.h"
#include "vmjavalangstring.h"

namespace jni_test {

std::string TestClasses() { return std::string(PUX_BUILD_DIR) + "/testclasses/jni"; }
std::string AltTestClasses() { return std::string(PUX_BUILD_DIR) + "/testclasses/jni_alt"; }
std::string LibraryZip() { return std::string(PUX_BUILD_DIR) + "/classlib.zip"; }

void Blocked(const char* what) {
  ADD_FAILURE() << "blocked: " << what;
  printf("BLOCKED: %s\n", what);
  fflush(stdout);
  _exit(1);
}

void AttachedUntilLetGo(JavaVM* vm, std::atomic<int>& stage) {
  JNIEnv* mine = nullptr;
  if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
  OutsideAs(mine, [&] {
    stage = 1;
    while (stage.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  VMJniInvoke::DetachCurrentThread(vm);
}

void JniTest::SetUp() {
  refhost::ResetHooks();
  host = refhost::Functions();
  JNI_SetHostFunctions(host);
  refhost::SetCapture(true);
  refhost::SetClassPath(nullptr, TestClasses() + ":" + LibraryZip());
  refhost::SetLeakReports(true);
  leakReportsBefore = refhost::LeakReportCount();
  processBlocksBefore = refhost::BlocksInUse(nullptr);
}

void JniTest::TearDown() {
  jsize total = -1;
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(nullptr, 0, &total));
  EXPECT_EQ(0, total) << "a test left a machine behind";
  EXPECT_FALSE(ProcessStateExists()) << "the process state outlived the last machine";
  EXPECT_EQ(leakReportsBefore, refhost::LeakReportCount()) << refhost::CapturedLog();
  EXPECT_EQ(processBlocksBefore, refhost::BlocksInUse(nullptr)) << "process memory leaked";
  EXPECT_EQ(0u, refhost::MutexesHeldByThisThread());
  refhost::SetClassPath(nullptr, "");
  refhost::SetClassPath((void*)7, "");
  refhost::ResetHooks();
}

JNICreateArgs JniTest::Args(int version) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  args.name = "test machine";
  args.jdkVersion = version;
  return args;
}

JavaVM* JniTest::Create(JNIEnv** env, const JNICreateArgs& args) {
  JavaVM* vm = nullptr;
  JNICreateArgs copy = args;
  jint result = JNI_CreateJavaVM(&vm, env, &copy);
  EXPECT_EQ(0, result) << PendingText(*env);
  return result == 0 ? vm : nullptr;
}

JavaVM* JniTest::Create(JNIEnv** env, JavaVM* share, int version) {
  JNICreateArgs args = Args(version);
  args.shareNameSpaceOf = share;
  return Create(env, args);
}

void JniTest::Destroy(JavaVM* vm) {
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
}

void JniTest::FreeAbandoned(JavaVM* vm, JNIEnv* env) {
  HHeap* heap = vm->heap;
  host->AttachThreadEnv(nullptr, nullptr);
  host->SetCurrentEnv(nullptr);
  VMThreadHandleArray* threads = vm->vm->GetThreads();
  for (uint32_t i = 1; i < threads->GetCount(); i++)
    if (threads->Get(i) != nullptr) threads->Get(i)->Destroy(heap);
  host->HeapDestroy(heap);
  host->HeapFree(nullptr, env);
  host->HeapFree(nullptr, vm->name);
  host->HeapFree(nullptr, vm);
  leakReportsBefore = refhost::LeakReportCount();
}

std::string JniTest::PendingText(JNIEnv* env) {
  if (env == nullptr) return "";
  char* text = env->functions->GetPendingExceptionText(env);
  std::string result = text != nullptr ? text : "";
  env->functions->FreeExceptionText(env, text);
  return result;
}

std::string JniTest::PendingClass(JNIEnv* env) {
  std::string text = PendingText(env);
  size_t end = text.find_first_of(":(");
  return end == std::string::npos ? text : text.substr(0, end);
}

bool JniTest::EndsWithin(int ms, const std::function<void()>& fn) {
  std::atomic<bool> done{false};
  std::thread t([&] {
    fn();
    done = true;
  });
  bool ended = WaitFor([&] { return done.load(); }, ms);
  if (ended) {
    t.join();
  } else {
    t.detach();  // the test has failed; the process ends with it
  }
  return ended;
}

bool JniTest::WaitFor(const std::function<bool()>& cond, int ms) {
  auto start = std::chrono::steady_clock::now();
  while (!cond()) {
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(ms)) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

bool JniTest::ProcessStateExists() { return refhost::Functions()->GetGlobalCell(0) != nullptr; }

}  // namespace jni_test
