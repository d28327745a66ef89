/* Thread identity, suspension, starting threads, env words and the small services. */
#include "host_test_util.h"

#include <atomic>
#include <chrono>
#include <set>
#include <string.h>
#include <time.h>

JNIEXPORT jint JNICALL Java_host_test_Native_answer(void*, void*) { return 42; }

namespace {

using Clock = std::chrono::steady_clock;

class ThreadTest : public HostTest {
 protected:
  /* A thread ends, `between` more are passed over as starting them one by one would, and
     a live thread starts: a late stop and resume through the ended thread's handle must
     reach nothing, and in particular not the live thread. */
  void ExpectAStaleHandleReachesNothing(uint32_t between) {
    void* ended = nullptr;
    std::thread([&] { ended = host->CurrentThreadHandle(); }).join();
    if (between != 0) refhost::PassThreadHandles(between);
    std::atomic<void*> live{nullptr};
    std::atomic<int> state{0};
    std::thread t([&] {
      live = host->CurrentThreadHandle();
      while (state.load() == 0) std::this_thread::yield();
      // The stale stop and resume came before: neither may have reached this thread.
      state = host->YieldCheck() == 0 ? 2 : 3;
      host->SuspendThread(live);
      state = 4;
    });
    while (live.load() == nullptr) std::this_thread::yield();
    EXPECT_NE(ended, live.load()) << "the live thread has the handle of one " << between + 1 << " threads before it";
    host->StopThread(ended, 1);
    host->ResumeThread(ended);
    state = 1;
    while (state.load() < 2) std::this_thread::yield();
    EXPECT_EQ(2, state.load()) << "a stop through a handle " << between + 1 << " threads old stopped the live thread";
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_NE(4, state.load()) << "a resume through a handle " << between + 1 << " threads old reached the live thread";
    host->ResumeThread(live);
    t.join();
  }
};

TEST_F(ThreadTest, IdsAreNonzeroStableAndNeverReused) {
  void* mine = host->CurrentThreadId();
  EXPECT_NE(nullptr, mine);
  EXPECT_EQ(mine, host->CurrentThreadId());
  EXPECT_EQ(host->CurrentThreadHandle(), host->CurrentThreadHandle());
  std::set<void*> ids{mine}, handles{host->CurrentThreadHandle()};
  // Threads run one after another, so the system may recycle their stacks and ids.
  for (int i = 0; i < 200; i++) {
    void* id = nullptr;
    void* handle = nullptr;
    std::thread([&] {
      id = host->CurrentThreadId();
      handle = host->CurrentThreadHandle();
    }).join();
    EXPECT_TRUE(ids.insert(id).second) << "id reused";
    EXPECT_TRUE(handles.insert(handle).second) << "handle reused";
  }
}

TEST_F(ThreadTest, LateStopAndResumeOfAnEndedThreadAreHarmless) {
  void* handle = nullptr;
  std::thread([&] { handle = host->CurrentThreadHandle(); }).join();
  host->StopThread(handle, 1);
  host->ResumeThread(handle);
  EXPECT_EQ(0, host->YieldCheck());
}

/* Threads that start and end for ever keep as many records as lived at once: an ended
   thread's record serves the next one. The handle an ended thread had then reaches
   nothing, so a late stop or resume never lands on the thread that lives now. */
TEST_F(ThreadTest, AnEndedThreadsRecordServesTheNextWhileItsHandleReachesNothing) {
  for (int i = 0; i < 20; i++) std::thread([&] { (void)host->CurrentThreadHandle(); }).join();
  const uint32_t records = refhost::ThreadRecordCount();
  for (int i = 0; i < 3000; i++) std::thread([&] { (void)host->CurrentThreadHandle(); }).join();
  EXPECT_EQ(records, refhost::ThreadRecordCount());
  for (int round = 0; round < 50; round++) ExpectAStaleHandleReachesNothing(0);
}

/* The live thread must not answer to a handle of a thread that ended any number of
   threads before it, without the seconds that 65,536 thread starts take. */
TEST_F(ThreadTest, AStaleHandleReachesNothingHoweverManyThreadsCameBetween) {
  for (uint32_t between : {1u, 65535u, 65536u, 131071u, 0x7FFFFFFFu}) ExpectAStaleHandleReachesNothing(between);
}

/* Handles are taken in turn from a 32-bit range: when the turn comes round again, the
   handle of a thread still alive is passed over, and so is null. */
TEST_F(ThreadTest, HandlesComingRoundAgainSkipTheLiveOnesAndNull) {
  std::atomic<void*> held{nullptr};
  std::atomic<bool> release{false};
  std::atomic<int> stopped{-1};
  std::thread holder([&] {
    held = host->CurrentThreadHandle();
    while (!release.load()) std::this_thread::yield();
    // A stop through its own handle still reaches it after the range came round.
    stopped = host->YieldCheck();
  });
  while (held.load() == nullptr) std::this_thread::yield();
  const uint32_t mine = (uint32_t)(uintptr_t)host->CurrentThreadHandle();
  for (int round = 0; round < 2; round++) {
    void* last = nullptr;
    std::thread([&] { last = host->CurrentThreadHandle(); }).join();
    // Round 0 comes back to the held thread's handle, round 1 to the end of the range.
    uint32_t target = round == 0 ? (uint32_t)(uintptr_t)held.load() : 0u;
    refhost::PassThreadHandles(target - (uint32_t)(uintptr_t)last - 4);
    std::set<void*> seen;
    for (int i = 0; i < 8; i++) {
      void* h = nullptr;
      std::thread([&] { h = host->CurrentThreadHandle(); }).join();
      EXPECT_NE(nullptr, h);
      EXPECT_NE(held.load(), h) << "a new thread took the handle of one still alive";
      EXPECT_NE(mine, (uint32_t)(uintptr_t)h) << "a new thread took this thread's handle";
      EXPECT_TRUE(seen.insert(h).second);
    }
  }
  host->StopThread(held.load(), 1);
  release = true;
  holder.join();
  EXPECT_EQ(1, stopped.load());
}

TEST_F(ThreadTest, ResumeBeforeSuspendIsRememberedButNotCounted) {
  std::atomic<void*> handle{nullptr};
  std::atomic<int> passed{0};
  std::atomic<bool> go{false};
  std::thread t([&] {
    handle = host->CurrentThreadHandle();
    while (!go) std::this_thread::yield();
    host->SuspendThread(handle);  // the permit left before: returns at once
    passed++;
    host->SuspendThread(handle);  // two resumes left only one permit: waits
    passed++;
  });
  while (!handle) std::this_thread::yield();
  host->ResumeThread(handle);
  host->ResumeThread(handle);
  go = true;
  auto start = Clock::now();
  while (passed < 1 && Clock::now() - start < std::chrono::seconds(5)) std::this_thread::yield();
  EXPECT_EQ(1, passed.load());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(1, passed.load());
  host->ResumeThread(handle);
  t.join();
  EXPECT_EQ(2, passed.load());
}

TEST_F(ThreadTest, StopDoesNotReleaseASuspendedThread) {
  std::atomic<void*> handle{nullptr};
  std::atomic<bool> resumed{false};
  std::thread t([&] {
    handle = host->CurrentThreadHandle();
    host->SuspendThread(handle);
    resumed = true;
    host->AttachThreadEnv(nullptr, nullptr);
  });
  while (!handle) std::this_thread::yield();
  host->StopThread(handle, 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(40));
  EXPECT_FALSE(resumed.load());
  host->ResumeThread(handle);
  t.join();
  EXPECT_TRUE(resumed.load());
}

struct StartCtx {
  JNIHostFunctions* host;
  std::atomic<void*> id{nullptr};
  std::atomic<bool> done{false};
};

jint HOSTCALL StartedRoutine(void* ctx) {
  StartCtx* c = (StartCtx*)ctx;
  c->id = c->host->CurrentThreadId();
  c->done = true;
  return 0;
}

TEST_F(ThreadTest, StartThreadRunsTheRoutineOnANewThread) {
  StartCtx ctx;
  ctx.host = host;
  ASSERT_EQ(1, host->StartThread(StartedRoutine, &ctx, 1));
  auto start = Clock::now();
  while (!ctx.done && Clock::now() - start < std::chrono::seconds(10)) std::this_thread::yield();
  ASSERT_TRUE(ctx.done.load());
  EXPECT_NE(host->CurrentThreadId(), ctx.id.load());

  refhost::SetStartThreadRefuses(true);
  StartCtx refused;
  refused.host = host;
  EXPECT_EQ(0, host->StartThread(StartedRoutine, &refused, 1));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(refused.done.load());
}

TEST_F(ThreadTest, SleepSleepsAndNonPositiveOnlyYields) {
  auto start = Clock::now();
  host->Sleep(0);
  host->Sleep(-5);
  // Only yields: nothing is counted as slept (below), and a loaded machine may still take
  // a while to run the thread again, so the time bound is loose.
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(0, refhost::SleptMillis());
  start = Clock::now();
  host->Sleep(60);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(59));
  EXPECT_EQ(3u, refhost::SleepCallCount());
  EXPECT_EQ(60, refhost::SleptMillis());
}

TEST_F(ThreadTest, EnvWordsArePerThread) {
  JNIEnv* env = (JNIEnv*)0x1000;
  JavaVM* vm = (JavaVM*)0x2000;
  host->SetCurrentEnv(env);
  host->AttachThreadEnv(vm, (JNIEnv*)0x3000);
  EXPECT_EQ(env, host->GetCurrentEnv());  // the binding does not replace the current env
  EXPECT_EQ(vm, refhost::AttachedVM());
  JNIEnv* elsewhere = (JNIEnv*)1;
  std::thread([&] { elsewhere = host->GetCurrentEnv(); }).join();
  EXPECT_EQ(nullptr, elsewhere);
  refhost::SetStopFlag(true);
  EXPECT_NE(0, host->YieldCheck());
  host->AttachThreadEnv(nullptr, nullptr);
  EXPECT_EQ(0, host->YieldCheck());
  EXPECT_EQ(nullptr, refhost::AttachedVM());
  host->SetCurrentEnv(nullptr);
  EXPECT_EQ(nullptr, host->GetCurrentEnv());
}

TEST_F(ThreadTest, ConsoleLogAndExitCapture) {
  refhost::SetCapture(true);
  host->ConsoleWrite(0, 3, "abcdef");
  host->ConsoleWrite(0, 0, "x");
  host->ConsoleWrite(1, 4, std::string("e\0rr", 4).data());
  host->LogMessage(10, "nyi: JVM_X");
  host->LogMessage(1, "\n");
  EXPECT_EQ("abc", refhost::CapturedStdout());
  EXPECT_EQ(std::string("e\0rr", 4), refhost::CapturedStderr());
  EXPECT_EQ("nyi: JVM_X\n", refhost::CapturedLog());

  host->FatalExit(3, nullptr);
  host->FatalExit(1, "fatal error");
  EXPECT_EQ(2, refhost::FatalExitCount());
  EXPECT_EQ(1, refhost::LastFatalExitCode());
  EXPECT_EQ("fatal error", refhost::LastFatalExitText());
}

TEST_F(ThreadTest, HostTextsAndSmallServices) {
  ASSERT_NE(nullptr, host->GetJavaHome());
  ASSERT_NE(nullptr, host->GetFileEncodingPkg());
  ASSERT_NE(nullptr, host->GetUserTimezone());
  refhost::SetJavaHome("/opt/pux");
  EXPECT_STREQ("/opt/pux", host->GetJavaHome());

  jlong now = host->CurrentTimeMillis();
  EXPECT_LE(std::llabs(now - (jlong)time(nullptr) * 1000), 2000);

  EXPECT_EQ(0, host->IsValidAddress(4096));
  EXPECT_EQ(0, host->IsValidAddress(0xFFFFFFFFLL));
  EXPECT_EQ(1, host->IsValidAddress(4095));
  EXPECT_EQ(1, host->IsValidAddress(0x100000000LL));
  EXPECT_EQ(1, host->IsValidAddress(-1));
  EXPECT_EQ(0, host->QueryDiagnosticFlag(107, 13));
  refhost::SetDiagnosticFlag(5);
  EXPECT_EQ(5, host->QueryDiagnosticFlag(107, 13));
  EXPECT_EQ(nullptr, host->GetJitSupport());

  static int callbacks;
  callbacks = 0;
  refhost::SetTestHookCallback([] { callbacks++; });
  host->TestHook();
  host->TestHook();
  EXPECT_EQ(2u, refhost::TestHookCount());
  EXPECT_EQ(2, callbacks);

  refhost::SetCapture(true);
  host->ReportError(38, "Invalid jvm object has been encountred");
  EXPECT_NE(std::string::npos, refhost::CapturedLog().find("Invalid jvm object"));
}

TEST_F(ThreadTest, NativeSymbolsComeFromTheProgramScope) {
  void* module = host->OpenCodeResource("kordel6");
  ASSERT_NE(nullptr, module);
  void* fn = host->FindCodeSymbol(module, "Java_host_test_Native_answer", 2);
  ASSERT_NE(nullptr, fn);
  EXPECT_EQ(42, ((jint(JNICALL*)(void*, void*))fn)(nullptr, nullptr));
  EXPECT_EQ(nullptr, host->FindCodeSymbol(module, "Java_host_test_Native_missing", 2));
  EXPECT_EQ(nullptr, host->LoadCodeModule("/nonexistent/libnothing.so"));
  EXPECT_EQ(nullptr, host->LoadCodeModule("libz.so.1"));  // loads, but has no entry function
}

using ThreadDeathTest = ThreadTest;

TEST_F(ThreadDeathTest, SlotsWithoutAServiceSayWhichAndStop) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(((void(HOSTCALL*)(void))host->Reserved36)(), "slot 36");
  EXPECT_DEATH(((void(HOSTCALL*)(void))host->Reserved33)(), "slot 33");
}

}  // namespace
