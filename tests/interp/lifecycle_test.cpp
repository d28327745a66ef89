/* Class initialisation as machines see it: static data for hundreds of classes, each
   machine's own run and own failure of an initialiser, the static data a failed
   initialiser leaves, a refused lock, and which instructions initialise a class. */
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "interp_support.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"
#include "vmutils.h"
#include "safe_wait.h"

namespace interp_test {
namespace {

/* A second machine on a world's name space, destroyed with the test's end. */
struct SecondMachine {
  JavaVM* jvm = nullptr;
  VM* vm = nullptr;
  explicit SecondMachine(World& world) {
    jvm = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
    memset(jvm, 0, sizeof(JavaVM));
    jvm->nameSpace = world.ns;
    vm = VM::CreateInstance(1024, jvm);
    jvm->vm = vm;
  }
  ~SecondMachine() {
    if (vm != nullptr) vm->Destroy();
    VMJniCallDestroyKeys(jvm);
    refhost::Functions()->HeapFree(nullptr, jvm);
  }
};

/* The class name of what the thread has pending (cleared), or the int result. */
std::string Answer(JNIEnv* env, VMword result) {
  VMJavaLangThrowable* e = env->thread->GetException();
  env->thread->SetException(nullptr);
  if (e == nullptr) return std::to_string((int32_t)result);
  char* name = ((VMClass*)e->GetLoadableClass())->GetDotNameUTF8();
  std::string text = name != nullptr ? name : "?";
  VMJavaLangString::FreeUTF8(name);
  return text;
}

/* Runs cls.name()I on a host thread of its own attached to jvm. */
std::string RunOn(World& world, JavaVM* jvm, const char* cls, const char* name) {
  std::string result;
  VMMethod* m = world.Method(cls, name, "()I");
  std::thread t([&] {
    JNIEnv* env = VMJniCreateEnv(jvm);
    VMJniAttachEnv(jvm, env);
    VMword args[2] = {0, 0};
    VMFrame::ExecuteJava(env, m, args);
    result = Answer(env, args[0]);
    VMJniDetachEnv(jvm);
  });
  t.join();
  refhost::Functions()->SetCurrentEnv(world.env);
  return result;
}

class InterpLifecycleTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(world.Create(ClassDir("interp"))); }
  void TearDown() override { world.Destroy(); }
  VMLiteral* Lit(const char* text) { return VMLiteral::CreateInstance(world.ns, text, 0xFFFFFFFFu); }
  World world;
};

TEST_F(InterpLifecycleTest, ClassesNumberedPastTheArraysBlockKeepTheirStatics) {
  // 320 classes with a static each: the static-data array's elements from 194 on lie in
  // pieces, and every class must find its own value there, in C++ and through getstatic.
  uint32_t highest = 0;
  for (int k = 0; k < 320; k++) {
    std::string name = "interp/Many" + std::to_string(k);
    VMLoadableClass* cls = world.Class(name.c_str());
    ASSERT_NE(nullptr, cls) << name;
    ASSERT_EQ(0, cls->Initialize(world.env)) << name;
    VMDataMember* v = cls->FindField(Lit("v"), Lit("I"), false, nullptr);
    ASSERT_NE(nullptr, v);
    VMObject* data = cls->GetStaticData(world.env->thread);
    ASSERT_NE(nullptr, data) << name;
    EXPECT_EQ((VMword)(7 * k + 1), data->GetWord((uint32_t)v->GetIndex())) << name << " number " << cls->GetIndex();
    if (cls->GetIndex() > highest) highest = cls->GetIndex();
  }
  EXPECT_GT(highest, 300u);
  EXPECT_EQ(0, world.Call("interp/ManyStatics", "wrong", "()I").Int());
  // A second machine fills its own array from nothing, in the other order.
  SecondMachine second(world);
  ASSERT_NE(nullptr, second.vm);
  EXPECT_EQ("0", RunOn(world, second.jvm, "interp/ManyStatics", "wrong"));
}

TEST_F(InterpLifecycleTest, OppositeInitialisationOrdersInTwoMachinesBothFinish) {
  // CrossA needs CrossB and CrossB needs CrossA. Machine one starts from A, machine two
  // from B: each machine's thread owns only its own machine's initialisations, so
  // neither may wait for the other.
  for (int round = 0; round < 3; round++) {
    SecondMachine one(world), two(world);
    ASSERT_NE(nullptr, one.vm);
    ASSERT_NE(nullptr, two.vm);
    VMMethod* readA = world.Method("interp/Machines", "readCrossA", "()I");
    VMMethod* readB = world.Method("interp/Machines", "readCrossB", "()I");
    std::atomic<int> ready{0}, done{0};
    std::string results[2];
    auto body = [&](JavaVM* jvm, VMMethod* m, std::string* out) {
      JNIEnv* env = VMJniCreateEnv(jvm);
      VMJniAttachEnv(jvm, env);
      ready++;
      while (ready.load() < 2) std::this_thread::yield();
      VMword args[2] = {0, 0};
      VMFrame::ExecuteJava(env, m, args);
      *out = Answer(env, args[0]);
      VMJniDetachEnv(jvm);
      done++;
    };
    std::thread a(body, one.jvm, readA, &results[0]);
    std::thread b(body, two.jvm, readB, &results[1]);
    for (int i = 0; i < 600 && done.load() < 2; i++) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (done.load() < 2) {
      // Both threads wait for each other for ever: nothing can end them.
      ADD_FAILURE() << "the two machines' initialisations wait for each other";
      a.detach();
      b.detach();
      fflush(stdout);
      _exit(1);
    }
    a.join();
    b.join();
    refhost::Functions()->SetCurrentEnv(world.env);
    // One machine: A = 1 + (B = 10 + 0); the other: B = 10 + (A = 1 + 0).
    EXPECT_EQ("11", results[0]) << "round " << round;
    EXPECT_EQ("11", results[1]) << "round " << round;
    // Each machine keeps its own answers.
    EXPECT_EQ("10", RunOn(world, one.jvm, "interp/Machines", "readCrossB"));
    EXPECT_EQ("1", RunOn(world, two.jvm, "interp/Machines", "readCrossA"));
  }
}

TEST_F(InterpLifecycleTest, AnInitialiserFailingInOneMachineFailsThereOnly) {
  SecondMachine second(world);
  ASSERT_NE(nullptr, second.vm);
  // Machine one sets its own switch, so Poison's initialiser fails there.
  EXPECT_EQ(0, world.Call("interp/Machines", "armPoison", "()I").Int());
  Outcome o = world.Call("interp/Machines", "readPoison", "()I");
  EXPECT_EQ("java.lang.ExceptionInInitializerError", o.thrown);
  EXPECT_EQ("java.lang.IllegalStateException", o.cause);
  EXPECT_EQ("java.lang.NoClassDefFoundError", world.Call("interp/Machines", "readPoison", "()I").thrown);
  VMLoadableClass* poison = world.Class("interp/Poison");
  EXPECT_FALSE(poison->GetIsErroneous()) << "a failed initialiser marks the class in every machine";
  // Machine two's switch is clear: there the class initialises and works.
  EXPECT_EQ("7", RunOn(world, second.jvm, "interp/Machines", "readPoison"));
  EXPECT_EQ("7", RunOn(world, second.jvm, "interp/Machines", "readPoison"));
  // And machine one stays failed.
  EXPECT_EQ("java.lang.NoClassDefFoundError", world.Call("interp/Machines", "readPoison", "()I").thrown);
  EXPECT_FALSE(poison->GetIsInitialized(world.env));
}

}  // namespace
}  // namespace interp_test

/* What Captured's initialiser handed out: its own static data while it ran. */
static VMObject* captured = nullptr;

extern "C" JNIEXPORT jint JNICALL Java_interp_Captured_capture(JNIEnv* env, jclass cls) {
  VMLoadableClass* self = (VMLoadableClass*)VMJniHandle::UnHandle(env, (jobject)cls);
  captured = self != nullptr ? self->GetStaticData(env->thread) : nullptr;
  return 0;
}

namespace interp_test {
namespace {

TEST_F(InterpLifecycleTest, TheStaticDataOfAFailedInitialiserStaysValid) {
  // Threads read a slot without a lock while an initialiser runs: an object that was
  // in a slot is never destroyed while its machine lives, even when the initialiser
  // fails (the freed block would be poisoned, and ASan would see the read).
  captured = nullptr;
  Outcome o = world.Call("interp/Machines", "readCaptured", "()I");
  EXPECT_EQ("java.lang.ExceptionInInitializerError", o.thrown);
  ASSERT_NE(nullptr, captured) << "the initialiser's own request got no static data";
  EXPECT_EQ((VMword)VMTag_VMStaticData, captured->GetTag());
  EXPECT_EQ(world.Class("interp/Captured"), captured->GetStaticDataClass());
  EXPECT_EQ("java.lang.NoClassDefFoundError", world.Call("interp/Machines", "readCaptured", "()I").thrown);
  EXPECT_EQ(nullptr, world.Class("interp/Captured")->GetStaticData(world.env->thread));
  world.TakeException();
}

/* Four threads attached to a fresh machine, started together, each calling cls.name()I
   calls times: the answers of each thread's calls, in order. */
std::vector<std::vector<std::string>> RaceOnAFreshMachine(World& world, const char* cls, const char* name,
                                                          int calls) {
  std::vector<std::vector<std::string>> results(4);
  SecondMachine machine(world);
  EXPECT_NE(nullptr, machine.vm);
  if (machine.vm == nullptr) return results;
  VMMethod* m = world.Method(cls, name, "()I");
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; i++) {
    threads.emplace_back([&, i] {
      JNIEnv* env = VMJniCreateEnv(machine.jvm);
      VMJniAttachEnv(machine.jvm, env);
      ready++;
      while (ready.load() < 4) std::this_thread::yield();
      for (int k = 0; k < calls; k++) {
        VMword args[2] = {0, 0};
        VMFrame::ExecuteJava(env, m, args);
        results[i].push_back(Answer(env, args[0]));
      }
      VMJniDetachEnv(machine.jvm);
    });
  }
  JoinOutside(threads);
  refhost::Functions()->SetCurrentEnv(world.env);
  return results;
}

TEST_F(InterpLifecycleTest, ThreadsMeetingAFailingInitialiserGetOneErrorEachAndNoFreedData) {
  // Every round a fresh machine: four threads read a class whose initialiser runs a
  // while and then fails. One sees ExceptionInInitializerError, the others (waiting,
  // or coming later) NoClassDefFoundError.
  for (int round = 0; round < 8; round++) {
    std::vector<std::vector<std::string>> results = RaceOnAFreshMachine(world, "interp/Machines", "readSlowFailing", 3);
    int first = 0, later = 0;
    for (auto& r : results) {
      ASSERT_EQ(3u, r.size());
      first += r[0] == "java.lang.ExceptionInInitializerError";
      later += r[0] == "java.lang.NoClassDefFoundError";
      EXPECT_EQ("java.lang.NoClassDefFoundError", r[1]);
      EXPECT_EQ("java.lang.NoClassDefFoundError", r[2]);
    }
    EXPECT_EQ(1, first) << "round " << round;
    EXPECT_EQ(3, later) << "round " << round;
  }
}

/* The host table with the next spin-lock acquire refused. */
std::atomic<int> spinRefusals{0};
jboolean HOSTCALL RefusingSpinLockAcquire(void* lock, const char* tag) {
  int n = spinRefusals.load();
  while (n > 0)
    if (spinRefusals.compare_exchange_weak(n, n - 1)) return 0;
  return refhost::Functions()->SpinLockAcquire(lock, tag);
}

TEST_F(InterpLifecycleTest, ARefusedSpinLockFailsTheInitialisationAndReleasesNobodysLock) {
  VMLoadableClass* cls = world.Class("interp/Consts");
  ASSERT_NE(nullptr, cls);
  ASSERT_EQ(0, cls->Prepare(nullptr));
  // A thread attached first (attaching takes the lock), then waiting for the signal.
  std::atomic<int> go{0};
  std::atomic<VMStatus> status{-1};
  std::thread a([&] {
    JNIEnv* env = VMJniCreateEnv(world.jvm);
    VMJniAttachEnv(world.jvm, env);
    go = 1;
    while (go.load() != 2) std::this_thread::yield();
    status = cls->Initialize(env);
    env->thread->SetException(nullptr);
    VMJniDetachEnv(world.jvm);
  });
  while (go.load() != 1) std::this_thread::yield();
  // This thread holds the name space's lock; the other's next acquire is refused.
  void* lock = world.ns->GetSpinLock();
  ASSERT_EQ(1, refhost::Functions()->SpinLockAcquire(lock, "test holds"));
  static JNIHostFunctions refusing;
  refusing = *refhost::Functions();
  refusing.SpinLockAcquire = RefusingSpinLockAcquire;
  spinRefusals = 1;
  VMUtils::SetHostFunctions(&refusing);
  go = 2;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // A refusal is a failure: nothing went on as if locked, so nothing released the
  // lock this thread holds.
  EXPECT_EQ(1, refhost::Functions()->SpinLockRelease(lock, "test releases")) << "another thread released this lock";
  a.join();
  VMUtils::SetHostFunctions(refhost::Functions());
  refhost::Functions()->SetCurrentEnv(world.env);
  EXPECT_EQ(0, spinRefusals.load());
  EXPECT_NE(0, status.load());
  EXPECT_FALSE(cls->GetIsInitialized(world.env));
  // The class was not marked: it initialises on the next request.
  ASSERT_EQ(0, cls->Initialize(world.env));
  VMDataMember* plain = cls->FindField(Lit("plain"), Lit("I"), false, nullptr);
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(9u, cls->GetStaticData(world.env->thread)->GetWord((uint32_t)plain->GetIndex()));
}

TEST_F(InterpLifecycleTest, OnlyNewStaticAccessAndStaticCallsInitialiseAClass) {
  // A member of a null receiver, an interface call and an array of a class initialise
  // nothing; the class is made ready to use, not initialised.
  const char* names[] = {"interp/LazyField", "interp/LazyMethod", "interp/LazyFace", "interp/LazyImpl"};
  auto initialised = [&](int k) { return world.Class(names[k])->GetIsInitialized(world.env); };
  EXPECT_EQ(0, world.Call("interp/Lazy", "i", "(I)I", {0}).Int());
  EXPECT_EQ(0, world.Call("interp/Lazy", "i", "(I)I", {1}).Int());
  EXPECT_FALSE(initialised(0));
  EXPECT_FALSE(initialised(1));
  EXPECT_TRUE(world.Class(names[0])->GetIsPrepared());
  EXPECT_EQ(503, world.Call("interp/Lazy", "i", "(I)I", {2}).Int()) << "the interface call ran its initialiser";
  EXPECT_FALSE(initialised(2));
  EXPECT_EQ(200, world.Call("interp/Lazy", "i", "(I)I", {4}).Int());
  EXPECT_FALSE(initialised(0));
  // The interface's own static: its initialiser, and only now.
  EXPECT_EQ(404, world.Call("interp/Lazy", "i", "(I)I", {3}).Int());
  EXPECT_TRUE(initialised(2));
  EXPECT_EQ(201, world.Call("interp/Lazy", "i", "(I)I", {5}).Int());
  EXPECT_EQ(402, world.Call("interp/Lazy", "i", "(I)I", {6}).Int());
}

/* A static call looks at its class's initialisation in the calling machine every time,
   whatever the call site resolved before and wherever: the same call site succeeds in
   one machine and fails in another; an instance kept from a failed initialiser cannot
   call its class's statics; calls within one class's static methods (recursion, a
   synchronized one) still run. */
TEST_F(InterpLifecycleTest, StaticCallsLookAtTheirClassesInitialisationInTheirOwnMachine) {
  SecondMachine second(world);
  ASSERT_NE(nullptr, second.vm);
  EXPECT_EQ("8", RunOn(world, second.jvm, "interp/Machines", "callPoison"));  // the entry resolved there
  EXPECT_EQ(0, world.Call("interp/Machines", "armPoison", "()I").Int());
  for (int k = 0; k < 3; k++) {
    Outcome o = world.Call("interp/Machines", "callPoison", "()I");
    EXPECT_EQ(k == 0 ? "java.lang.ExceptionInInitializerError" : "java.lang.NoClassDefFoundError", o.thrown) << k;
  }
  EXPECT_EQ("8", RunOn(world, second.jvm, "interp/Machines", "callPoison"));
  // The initialiser failed after handing out an instance: 1, then NoClassDefFoundError
  // (10) for each of five calls, never the static's answer.
  EXPECT_EQ(51, world.Call("interp/StaticCalls", "keptInstance", "()I").Int());
  Outcome own = world.Call("interp/StaticCalls", "ownCalls", "(I)I", {10});
  EXPECT_EQ("", own.thrown);
  EXPECT_EQ(558, own.Int());
}

TEST_F(InterpLifecycleTest, StaticCallsRacingTheInitialiserWaitForIt) {
  // Every round a fresh machine: four threads call a static method of a class whose
  // initialiser runs a while; each waits for it and then sees it done, through the
  // class's own static calls too.
  for (int round = 0; round < 8; round++) {
    std::vector<std::vector<std::string>> results = RaceOnAFreshMachine(world, "interp/StaticCalls", "raceCall", 1);
    for (int i = 0; i < 4; i++) {
      ASSERT_EQ(1u, results[i].size());
      EXPECT_EQ("1001", results[i][0]) << "round " << round << " thread " << i;
    }
  }
}

TEST_F(InterpLifecycleTest, OneLinersAndStaticFieldsRacingTheirClasssInitialiserWaitForIt) {
  // As above, with a one-liner of another class that the loop would compute in place,
  // and with a static field whose read an earlier round's machine made quick.
  for (const char* name : {"raceShape", "raceField"}) {
    for (int round = 0; round < 5; round++) {
      std::vector<std::vector<std::string>> results = RaceOnAFreshMachine(world, "interp/StaticCalls", name, 1);
      for (int i = 0; i < 4; i++) {
        ASSERT_EQ(1u, results[i].size());
        EXPECT_EQ("5001", results[i][0]) << name << " round " << round << " thread " << i;
      }
    }
  }
}

}  // namespace
}  // namespace interp_test
