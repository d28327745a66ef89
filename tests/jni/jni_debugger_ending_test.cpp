/* A machine's end and creation against the debugger's client: a client call that has
   claimed the agent when the host abandons or destroys the machine, the client's attach
   while a collection of the machine waits for a thread that waits for the global mutex,
   and a creation that waits for a debugger while the machine collects or is destroyed.
   A case that finds threads blocked for good ends the process after saying so: nothing
   else can end its machine. */
#include "jni_support.h"

#include <stdio.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <atomic>
#include <chrono>
#include <thread>

#include "safe_wait.h"
#include "vmdebugger.h"
#include "vmjni_entries.h"

namespace jni_test {
namespace {

using Ms = std::chrono::milliseconds;

/* A client thread held in the host's binding of its thread to the machine, where a
   preempted thread may be. 0: not yet held; 1: held; 2: let go by the test; 3: let go
   once the host sleeps after gSleepsBefore (the other side waits), or after 3 s. */
std::atomic<int> gStage{0};
std::atomic<uint32_t> gSleepsBefore{0};
thread_local bool tlsHold = false;
void(HOSTCALL* gRealAttachEnv)(JavaVM*, JNIEnv*) = nullptr;
/* Run by the held thread as it is let go, before it binds. */
std::function<void()> gOnLetGo;

void HOSTCALL HeldAttachEnv(JavaVM* vm, JNIEnv* env) {
  if (tlsHold && env != nullptr) {
    tlsHold = false;
    gStage = 1;
    for (int i = 0; i < 3000; i++) {
      int stage = gStage.load();
      if (stage == 2 || (stage == 3 && refhost::SleepCallCount() > gSleepsBefore.load())) break;
      std::this_thread::sleep_for(Ms(1));
    }
    if (gOnLetGo) gOnLetGo();
  }
  gRealAttachEnv(vm, env);
}

/* A client thread held at the first host mutex it takes while it serves a call (the
   global mutex of the agent's connection). */
std::atomic<void*> gClientId{nullptr};
std::atomic<bool> gHeldInCall{false};
std::atomic<bool> gLetGo{false};
jboolean(HOSTCALL* gRealMutexLock)(void*) = nullptr;

jboolean HOSTCALL HeldMutexLock(void* mutex) {
  JNIHostFunctions* h = refhost::Functions();
  JNIEnv* env = gClientId.load() != nullptr && h->CurrentThreadId() == gClientId.load() ? h->GetCurrentEnv() : nullptr;
  if (env != nullptr && env->thread != nullptr && env->thread->GetServingDebugger() && !gHeldInCall.load()) {
    gHeldInCall = true;
    for (int i = 0; i < 10000 && !gLetGo.load(); i++) std::this_thread::sleep_for(Ms(1));
  }
  return gRealMutexLock(mutex);
}

class DebuggerEndingTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    gStage = 0;
    gOnLetGo = nullptr;
    gRealAttachEnv = host->AttachThreadEnv;
    gRealMutexLock = host->MutexLock;
    gClientId = nullptr;
    gHeldInCall = false;
    gLetGo = false;
  }
  void TearDown() override {
    host->AttachThreadEnv = gRealAttachEnv;
    host->MutexLock = gRealMutexLock;
    gOnLetGo = nullptr;
    JniTest::TearDown();
  }
  /* The machine made by the calling thread, abandoned or not: the creation's own blocks
     are the host's to free after an abandon. */
  JavaVM* CreateToAbandon(JNIEnv** env) {
#ifdef __SANITIZE_ADDRESS__
    __lsan::ScopedDisabler lostByDesign;
#endif
    return Create(env);
  }
  /* A creation that waits for a debugger, on its own thread, once the machine is listed. */
  struct Waiting {
    std::thread creator;
    std::atomic<int> created{-5};
    JavaVM* made = nullptr;
    JNIEnv* madeEnv = nullptr;
    JavaVM* listed = nullptr;
  };
  void StartCreationWaitingForADebugger(Waiting& w) {
    JNICreateArgs args = Args();
    args.waitForDebugger = 1;
    w.creator = std::thread([&w, args]() mutable {
      w.created = JNI_CreateJavaVM(&w.made, &w.madeEnv, &args);
      if (w.created == 0) VMJniInvoke::DetachCurrentThread(w.made);
    });
    ASSERT_TRUE(WaitFor([&] {
      jsize total = 0;
      JNI_GetCreatedJavaVMs(&w.listed, 1, &total);
      return total == 1;
    }));
  }
};

/* A client call (JNI_DebugEventPending) has claimed the agent and is binding its thread
   to the machine when the host abandons the machine, its last: the abandon is refused,
   and neither the name space nor the process state goes under the call. (The abandon
   released both, and the call went on with a freed name space.) */
TEST_F(DebuggerEndingTest, AnAbandonIsRefusedWhileAClientCallBindsItsThread) {
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateToAbandon(&env);
  ASSERT_NE(nullptr, vm);
  void* agent = JNI_DebugAttach(nullptr);
  ASSERT_NE(nullptr, agent);
  host->AttachThreadEnv = HeldAttachEnv;
  std::atomic<int> answer{-5};
  std::thread client([&] {
    tlsHold = true;
    answer = JNI_DebugEventPending(agent);
  });
  WhileOutside([] {
    while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  gSleepsBefore = refhost::SleepCallCount();
  gStage = 3;
  const jint abandoned = vm->functions->AbandonJavaVM(vm);
  const bool underWay = answer.load() == -5;
  printf("AbandonJavaVM %d, client call still under way %d, process state %d\n", abandoned, underWay,
         ProcessStateExists());
  EXPECT_FALSE(abandoned == 0 && underWay) << "the machine was abandoned under a client call";
  EXPECT_TRUE(abandoned != 0 || ProcessStateExists() || !underWay);
  gStage = 2;
  JoinOutside(client);
  host->AttachThreadEnv = gRealAttachEnv;
  EXPECT_EQ(0, answer.load());
  if (abandoned == 0) {
    FreeAbandoned(vm, env);
    return;
  }
  // Refused, the machine is whole: the client leaves and it is destroyed as ever.
  JNI_DebugDetach(agent);
  Destroy(vm);
}

/* The same with the call held further on, at the global mutex its connection takes once
   the thread is attached and serves the call. */
TEST_F(DebuggerEndingTest, AnAbandonIsRefusedWhileAClientCallConnects) {
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateToAbandon(&env);
  ASSERT_NE(nullptr, vm);
  void* agent = JNI_DebugAttach(nullptr);
  ASSERT_NE(nullptr, agent);
  std::atomic<int> answer{-5};
  std::thread client([&] {
    gClientId = refhost::Functions()->CurrentThreadId();
    host->MutexLock = HeldMutexLock;
    answer = JNI_DebugEventPending(agent);
  });
  bool held = false;
  WhileOutside([&] { held = WaitFor([] { return gHeldInCall.load(); }, 10000); });
  host->MutexLock = gRealMutexLock;
  ASSERT_TRUE(held) << "the client's call never reached the hold";
  const jint abandoned = vm->functions->AbandonJavaVM(vm);
  printf("AbandonJavaVM during the client's call: %d\n", abandoned);
  const bool underWay = answer.load() == -5;
  gLetGo = true;
  JoinOutside(client);
  gClientId = nullptr;
  EXPECT_FALSE(abandoned == 0 && underWay) << "the machine was abandoned under a client call";
  if (abandoned == 0) {
    FreeAbandoned(vm, env);
    return;
  }
  EXPECT_EQ(0, answer.load());
  JNI_DebugDetach(agent);
  Destroy(vm);
}

/* A client's detach has claimed the agent and is binding its thread, not yet attached,
   when the machine is destroyed (the client never connected, so the destroy does not
   wait for it to leave). The destroy waits for the call before it tears anything down:
   the call finds the machine whole, and the agent it puts on the dead list is freed
   with the machine, not before and walked after. */
TEST_F(DebuggerEndingTest, ADetachClaimedBeforeTheDestroyEndsBeforeTheMachineIsTornDown) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  ASSERT_NE(nullptr, vm->vm->GetJNIHandleArray());
  void* agent = JNI_DebugAttach(nullptr);
  ASSERT_NE(nullptr, agent);
  host->AttachThreadEnv = HeldAttachEnv;
  // Read as the call goes on: the destroyer sleeps then, and cannot free the machine
  // object before the call has let go of the agent.
  static std::atomic<int> tornDown;
  tornDown = -1;
  gOnLetGo = [vm] { tornDown = vm->vm->GetJNIHandleArray() == nullptr ? 1 : 0; };
  std::atomic<bool> done{false};
  std::thread client([&] {
    tlsHold = true;
    JNI_DebugDetach(agent);
    done = true;
  });
  WhileOutside([] {
    while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  gSleepsBefore = refhost::SleepCallCount();
  gStage = 3;
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  printf("DestroyJavaVM returned; the detach had ended: %d; its machine was torn down under it: %d\n", done.load(),
         tornDown.load());
  EXPECT_EQ(0, tornDown.load()) << "the machine's teardown began under a client call claimed before the destroy";
  gStage = 2;
  client.join();
  EXPECT_TRUE(done.load());
}

/* A client attaches, polls (connecting) and detaches without pause, on one thread, and
   sets its loader on another, while the host abandons the machine (again and again until
   it is not refused) or destroys it. Nothing any call reads goes before the call ends;
   the sanitizer build finds what does. */
TEST_F(DebuggerEndingTest, ClientCallsRacingAnAbandonOrADestroyReadNothingFreed) {
  const int kRounds = 24;
  int refusals = 0, callsBefore = 0;
  for (int round = 0; round < kRounds; round++) {
    const bool abandon = (round & 1) == 0;
    JNIEnv* env = nullptr;
    JavaVM* vm = abandon ? CreateToAbandon(&env) : Create(&env);
    ASSERT_NE(nullptr, vm);
    std::atomic<bool> stop{false};
    std::atomic<int> calls{0};
    std::atomic<void*> current{nullptr};
    std::thread client([&] {
      while (!stop.load()) {
        void* agent = JNI_DebugAttach(nullptr);
        if (agent == nullptr) {
          std::this_thread::yield();
          continue;
        }
        current = agent;
        (void)JNI_DebugEventPending(agent);
        calls++;
        JNI_DebugDetach(agent);
        std::this_thread::yield();
      }
    });
    std::thread loader([&] {
      while (!stop.load()) {
        void* agent = current.load();
        JNI_DebugSetLoaderID(agent, (void*)&calls);
        (void)JNI_DebugEventPending(agent);
        std::this_thread::yield();
      }
    });
    WhileOutside([&] { WaitFor([&] { return calls.load() > round % 5; }, 2000); });
    callsBefore += calls.load() > 0;
    if (abandon) {
      jint abandoned = -1;
      for (int i = 0; i < 20000 && abandoned != 0; i++) {
        abandoned = vm->functions->AbandonJavaVM(vm);
        if (abandoned != 0) {
          refusals++;
          WhileOutside([] { std::this_thread::sleep_for(std::chrono::microseconds(100)); });
        }
      }
      ASSERT_EQ(0, abandoned) << "round " << round << ": every abandon was refused";
      stop = true;
      client.join();
      loader.join();
      FreeAbandoned(vm, env);
    } else {
      EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)) << "round " << round;
      stop = true;
      client.join();
      loader.join();
    }
    ASSERT_FALSE(ProcessStateExists()) << "round " << round;
  }
  printf("%d rounds, %d with client calls before the end, %d abandons refused\n", kRounds, callsBefore, refusals);
}

/* JNI_DebugAttach is held in its thread's attach while a thread of the machine waits for
   the global mutex (it lists the machines) and another collects, which waits for the
   lister: the attach holds no global mutex meanwhile, so the lister lists, the
   collection ends and the attach with it. (The attach held the mutex and waited for the
   collection, and nothing moved.) */
TEST_F(DebuggerEndingTest, ADebuggerAttachHoldsNoGlobalMutexWhileItsThreadAttaches) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  std::atomic<int> lister{0};     // 1: attached; 2: to list; 3: listed
  std::atomic<int> collector{0};  // 1: attached; 2: to collect; 3: collected
  std::thread inMachine([&] {
    JNIEnv* mine = nullptr;
    if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
    lister = 1;
    // Declared while it waits for its cue, not while it waits for the mutex.
    WhileOutside([&] {
      while (lister.load() != 2) std::this_thread::sleep_for(Ms(1));
    });
    jsize total = 0;
    JNI_GetCreatedJavaVMs(nullptr, 0, &total);
    lister = 3;
    VMJniInvoke::DetachCurrentThread(vm);
  });
  std::thread other([&] {
    JNIEnv* mine = nullptr;
    if (VMJniInvoke::AttachCurrentThread(vm, &mine, nullptr) != 0) return;
    collector = 1;
    WhileOutside([&] {
      while (collector.load() != 2) std::this_thread::sleep_for(Ms(1));
    });
    vm->vm->GarbageCollect(false);
    collector = 3;
    VMJniInvoke::DetachCurrentThread(vm);
  });
  WhileOutside([&] {
    while (lister.load() != 1 || collector.load() != 1) std::this_thread::sleep_for(Ms(1));
  });
  host->AttachThreadEnv = HeldAttachEnv;
  std::atomic<void*> agent{(void*)-1};
  std::thread client([&] {
    tlsHold = true;
    agent = JNI_DebugAttach(nullptr);
  });
  WhileOutside([&] {
    while (gStage.load() != 1) std::this_thread::sleep_for(Ms(1));
    lister = 2;
    std::this_thread::sleep_for(Ms(200));  // the lister is at the global mutex by now
    collector = 2;
    std::this_thread::sleep_for(Ms(200));  // the collection waits for the lister by now
    gStage = 2;
    if (!WaitFor([&] { return agent.load() != (void*)-1 && lister.load() == 3 && collector.load() == 3; }, 10000))
      Blocked("10 s on: the debugger's attach, its collection and the lister wait for one another");
  });
  client.join();
  JoinOutside(other);
  JoinOutside(inMachine);
  host->AttachThreadEnv = gRealAttachEnv;
  EXPECT_NE(nullptr, agent.load());
  if (agent.load() != nullptr) JNI_DebugDetach(agent.load());
  Destroy(vm);
}

/* Clients on several threads attach to one machine at once, round after round, and a
   destroy comes in some rounds: one agent at most is the machine's, every other attach
   is refused, and an agent made for a machine whose end has begun is not handed out. */
TEST_F(DebuggerEndingTest, DebuggerAttachesRacingOneAnotherAndADestroyHandOutOneAgent) {
  const int kRounds = 40, kClients = 4;
  int destroysRaced = 0;
  for (int round = 0; round < kRounds; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    const bool destroy = round % 4 == 3;
    std::atomic<int> go{0};
    std::atomic<void*> got[kClients];
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; i++) {
      got[i] = nullptr;
      clients.emplace_back([&, i] {
        while (go.load() == 0) std::this_thread::yield();
        got[i] = JNI_DebugAttach(nullptr);
      });
    }
    go = 1;
    if (destroy) {
      EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
      for (auto& t : clients) t.join();
      destroysRaced++;
      continue;  // any agent handed out went with the machine; its pointer is refused
    }
    JoinOutside(clients);
    int agents = 0;
    void* agent = nullptr;
    for (int i = 0; i < kClients; i++)
      if (got[i].load() != nullptr) {
        agents++;
        agent = got[i].load();
      }
    EXPECT_EQ(1, agents) << "round " << round;
    EXPECT_EQ(agent, (void*)vm->vm->GetDebugger()) << "round " << round;
    if (agent != nullptr) JNI_DebugDetach(agent);
    Destroy(vm);
  }
  printf("%d rounds, %d with a destroy racing the attaches\n", kRounds, destroysRaced);
}

/* While a creation waits for a debugger, a thread attached to the listed machine (as the
   client attaches) collects: the creating thread's wait is declared, so the collection
   ends; the client then connects and the creation goes on. (The collection waited for
   the creating thread for good, and the client, attaching to connect, for it.) */
TEST_F(DebuggerEndingTest, ACollectionGoesOnWhileTheCreationWaitsForADebugger) {
  Waiting w;
  StartCreationWaitingForADebugger(w);
  if (HasFatalFailure()) return;
  std::this_thread::sleep_for(Ms(100));
  std::atomic<int> collected{0};
  std::thread other([&] {
    JNIEnv* mine = nullptr;
    if (VMJniAttachCurrentThreadNoObject(w.listed, &mine, nullptr) != 0) return;
    collected = 1;
    w.listed->vm->GarbageCollect(false);
    collected = 2;
    VMJniInvoke::DetachCurrentThread(w.listed);
  });
  if (!WaitFor([&] { return collected.load() == 2; }, 5000))
    Blocked("5 s on: a collection of a machine whose creation waits for a debugger waits for the creating thread");
  other.join();
  void* agent = JNI_DebugAttach(nullptr);
  ASSERT_NE(nullptr, agent);
  std::atomic<int> connected{-5};
  std::thread client([&] { connected = JNI_DebugEventPending(agent); });
  if (!WaitFor([&] { return connected.load() != -5 && w.created.load() != -5; }, 10000))
    Blocked("10 s on: the connected client's creation did not go on");
  client.join();
  w.creator.join();
  EXPECT_EQ(0, connected.load());
  EXPECT_EQ(0, w.created.load());
  JNI_DebugDetach(agent);
  if (w.created == 0) Destroy(w.made);
}

/* A host shuts down (destroys what is listed) while a creation waits for a debugger that
   never comes: the creation gives up once the machine is marked, and the destroy ends,
   from a thread not attached and from one attached to the listed machine. (The destroy
   waited for the creating thread, which never looked at the mark.) */
TEST_F(DebuggerEndingTest, ADestroyOfACreationWaitingForADebuggerFailsTheCreation) {
  for (int attachedDestroyer = 0; attachedDestroyer < 2; attachedDestroyer++) {
    Waiting w;
    StartCreationWaitingForADebugger(w);
    if (HasFatalFailure()) return;
    std::atomic<int> destroyed{-5};
    std::thread shutdown([&] {
      JNIEnv* mine = nullptr;
      if (attachedDestroyer && VMJniAttachCurrentThreadNoObject(w.listed, &mine, nullptr) != 0) return;
      destroyed = VMJniInvoke::DestroyJavaVM(w.listed);
    });
    if (!WaitFor([&] { return destroyed.load() != -5 && w.created.load() != -5; }, 5000))
      Blocked("5 s on: the destroy of a machine whose creation waits for a debugger waits for the creation");
    shutdown.join();
    w.creator.join();
    printf("destroyer attached %d: destroy %d, creation %d\n", attachedDestroyer, destroyed.load(), w.created.load());
    EXPECT_EQ(0, destroyed.load());
    EXPECT_EQ(-1, w.created.load());
    EXPECT_EQ(nullptr, w.made);
    EXPECT_FALSE(ProcessStateExists());
  }
}

}  // namespace
}  // namespace jni_test
