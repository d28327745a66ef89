/* The class model tried as a hostile class file and a second thread would: concurrent
   first use of constant-pool entries, interfaces that extend each other loaded from two
   threads, one class prepared from two threads, chains of classes deeper than any stack,
   interface diamonds, descriptors wider than the argument words can count, class files
   that fail after naming thousands of array types, and defining a class twice. */
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "classfile_fixture.h"
#include "vmjni.h"

namespace {

using namespace classfile_test;

using HostileTest = ClassFileTest;

/* ---- concurrent first resolution ---- */

/* Four threads resolve the same entries of one pool in the same order, each round in a
   fresh world: every resolution must succeed and all threads must see the same member. */
TEST_F(HostileTest, ConcurrentFirstResolutionOfTheSameEntries) {
  const int kEntries = 120, kThreads = 4, kRounds = 100;
  ClassBuilder t = SmallClass("t/Target");
  for (int i = 0; i < kEntries; i++) {
    t.AddMethod(0x0009, "m" + std::to_string(i), "()V", {t.CodeAttribute(0, 0, {0xB1})});
    t.AddField(0x0009, "f" + std::to_string(i), "I");
  }
  t.interfaces.push_back(t.Class("t/Api"));
  Put("t/Target", t.Build());
  ClassBuilder api;
  api.access = 0x0601;
  api.thisClass = api.Class("t/Api");
  api.superClass = api.Class("java/lang/Object");
  for (int i = 0; i < kEntries; i++) api.AddMethod(0x0401, "i" + std::to_string(i), "()V");
  Put("t/Api", api.Build());
  ClassBuilder u = SmallClass("t/User");
  std::vector<uint16_t> methods, fields, ifaces, strings, utf8s;
  for (int i = 0; i < kEntries; i++) {
    methods.push_back(u.Ref(10, "t/Target", "m" + std::to_string(i), "()V"));
    fields.push_back(u.Ref(9, "t/Target", "f" + std::to_string(i), "I"));
    ifaces.push_back(u.Ref(11, "t/Api", "i" + std::to_string(i), "()V"));
    strings.push_back(u.String("text" + std::to_string(i)));
    utf8s.push_back(u.Utf8("name" + std::to_string(i)));
  }
  Put("t/User", u.Build());

  int failures = 0;
  for (int round = 0; round < kRounds && failures == 0; round++) {
    ClassWorld w;
    ASSERT_TRUE(w.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
    VMLoadableClass* user = w.Shell("t/User");
    ASSERT_EQ(0, user->Prepare(nullptr));
    ASSERT_EQ(0, w.Shell("t/Target")->Prepare(nullptr));
    VMConstantPool* pool = user->GetConstantPool();
    std::atomic<int> ready{0};
    std::vector<std::vector<void*>> seen(kThreads, std::vector<void*>(5 * kEntries));
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; k++) {
      threads.emplace_back([&, k] {
        ready++;
        while (ready.load() < kThreads) {
        }
        for (int i = 0; i < kEntries; i++) {
          VMStatus s[3] = {0, 0, 0};
          void* got[5] = {pool->GetConstMethod(user, methods[i], &s[0], false),
                          pool->GetConstField(user, fields[i], &s[1]),
                          pool->GetConstInterfaceMethod(ifaces[i], &s[2]),
                          pool->GetConstString(user, strings[i]), pool->GetConstUtf8(user, utf8s[i])};
          for (int j = 0; j < 5; j++) {
            seen[k][5 * i + j] = got[j];
            if (got[j] == nullptr && errors[k].empty())
              errors[k] = "entry kind " + std::to_string(j) + " of #" + std::to_string(i) +
                          " failed with status " + std::to_string(j < 3 ? s[j] : 0);
          }
        }
      });
    }
    for (std::thread& th : threads) th.join();
    for (int k = 0; k < kThreads; k++) {
      if (!errors[k].empty()) {
        ADD_FAILURE() << "round " << round << " thread " << k << ": " << errors[k];
        failures++;
      }
      if (seen[k] != seen[0]) {
        ADD_FAILURE() << "round " << round << ": threads saw different resolutions";
        failures++;
      }
    }
    w.Destroy();
  }
}

/* ---- loading from two threads ---- */

/* I extends J and J extends I: each thread loads one of them; both must come back with
   ClassCircularityError instead of waiting for each other. */
TEST_F(HostileTest, InterfacesExtendingEachOtherLoadedFromTwoThreads) {
  Put("t/I", InterfaceFile("t/I", {"t/J"}));
  Put("t/J", InterfaceFile("t/J", {"t/I"}));
  Watchdog watchdog(60, "loading a cycle of interfaces from two threads");
  StreamHook hook;
  for (int round = 0; round < 12; round++) {
    ClassWorld w;
    ASSERT_TRUE(w.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
    // Slow opens make both threads be inside their first parse at once.
    hook.Delay(round % 3 == 0 ? 0 : 10 * (round % 3), {"t/I", "t/J"});
    VMLoadableClass* i = w.Shell("t/I");
    VMLoadableClass* j = w.Shell("t/J");
    VMStatus si = -1, sj = -1;
    std::thread a([&] { si = i->Load(); });
    std::thread b([&] { sj = j->Load(); });
    a.join();
    b.join();
    EXPECT_EQ(VMStatus_ClassCircularityError, si) << "round " << round;
    EXPECT_EQ(VMStatus_ClassCircularityError, sj) << "round " << round;
    EXPECT_FALSE(i->GetIsLoaded());
    EXPECT_FALSE(j->GetIsLoaded());
    w.Destroy();
  }
  watchdog.Disarm();
}

/* ---- preparing from two threads ---- */

/* One thread prepares a class whose superclass is slow to open; a second thread asks for
   the same class meanwhile. Its Prepare must come back only with the class whole: the
   superclass loaded and the instance layout made, never with a class half prepared. */
TEST_F(HostileTest, ASecondPrepareReturnsOnlyAWholeClass) {
  ClassBuilder s = SmallClass("t/SlowSuper");
  s.AddField(0, "a", "J");
  Put("t/SlowSuper", s.Build());
  ClassBuilder c = SmallClass("t/OnTop", "t/SlowSuper");
  c.AddField(0, "b", "I");
  c.AddField(0, "o", "Ljava/lang/Object;");
  Put("t/OnTop", c.Build());
  Watchdog watchdog(60, "preparing one class from two threads");
  StreamHook hook;
  for (int round = 0; round < 4; round++) {
    ClassWorld w;
    ASSERT_TRUE(w.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
    ASSERT_EQ(0, w.Shell("java/lang/Object")->Prepare(nullptr));
    VMLoadableClass* top = w.Shell("t/OnTop");
    VMLoadableClass* super = w.Shell("t/SlowSuper");
    hook.Delay(60, {"t/SlowSuper"});
    int opened = StreamHook::DelayedOpens();
    VMStatus first = -1, second = -1;
    uint32_t size = 0;
    bool bits = false, superLoaded = false;
    std::thread a([&] { first = top->Prepare(nullptr); });
    // The first thread is inside the preparation once the superclass is being opened.
    while (StreamHook::DelayedOpens() == opened) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::thread b([&] {
      second = top->Prepare(nullptr);
      size = top->GetCreateSize();
      bits = top->GetCreateBits() != nullptr;
      superLoaded = super->GetIsLoaded();
    });
    a.join();
    b.join();
    hook.Delay(0);
    EXPECT_EQ(0, first) << "round " << round;
    EXPECT_EQ(0, second) << "round " << round;
    EXPECT_TRUE(superLoaded) << "round " << round << ": prepared before its superclass was loaded";
    EXPECT_TRUE(bits) << "round " << round << ": prepared without its reference map";
    EXPECT_NE(0u, size) << "round " << round << ": prepared without its layout";
    EXPECT_EQ(top->GetCreateSize(), size) << "round " << round;
    w.Destroy();
    if (HasFailure()) break;
  }
  watchdog.Disarm();
}

/* ---- chains deeper than a stack ---- */

/* Classes K0, K1, ... made on demand: interfaces where each extends the next, or classes
   where each is the next one's subclass. */
StreamHook::Generator Chain(bool interfaces, int length) {
  return [=](const std::string& name, Bytes& bytes) {
    if (name.size() < 2 || name[0] != 'K') return false;
    int k = atoi(name.c_str() + 1);
    std::string next = "K" + std::to_string(k + 1);
    if (interfaces)
      bytes = InterfaceFile(name, k + 1 < length ? std::vector<std::string>{next} : std::vector<std::string>{});
    else
      bytes = SmallClass(name, k + 1 < length ? next : "java/lang/Object").Build();
    return true;
  };
}

TEST_F(HostileTest, DeepChainsEndWithAnErrorNotACrash) {
  ASSERT_EQ(0, world.Shell("java/lang/Object")->Prepare(nullptr));
  {
    StreamHook hook(Chain(true, 20000));
    VMStatus status = 0;
    RunOnStack(1 << 20, [&] { status = world.Shell("K0")->Load(); });
    EXPECT_EQ(VMStatus_LinkageError, status) << "20,000 interfaces each extending the next";
  }
  {
    StreamHook hook(Chain(false, 40000));
    VMStatus status = 0;
    RunOnStack(1 << 20, [&] { status = world.Shell("K0")->Prepare(nullptr); });
    EXPECT_EQ(VMStatus_LinkageError, status) << "40,000 classes each extending the next";
  }
  // Chains of ordinary depth still load and link.
  ClassWorld w;
  ASSERT_TRUE(w.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
  {
    StreamHook hook(Chain(true, 100));
    EXPECT_EQ(0, w.Shell("K0")->Load());
    VMLoadableClass* last = w.Shell("K99");
    EXPECT_TRUE(last->GetIsLoaded());
    EXPECT_TRUE(w.Shell("K0")->Implements(last));
  }
  w.Destroy();
}

/* Class R0 names R1 in its pool, R1 names R2, and so on: loading all references follows
   the whole chain without a frame per link. */
TEST_F(HostileTest, LoadingAllReferencesOfALongChain) {
  const int kLength = 6000;
  StreamHook hook([](const std::string& name, Bytes& bytes) {
    if (name.size() < 2 || name[0] != 'R') return false;
    int k = atoi(name.c_str() + 1);
    ClassBuilder c = SmallClass(name);
    if (k + 1 < kLength) c.Class("R" + std::to_string(k + 1));
    bytes = c.Build();
    return true;
  });
  ASSERT_EQ(0, world.Shell("java/lang/Object")->Prepare(nullptr));
  VMLoadableClass* first = world.Shell("R0");
  ASSERT_EQ(0, first->Load());
  RunOnStack(256 << 10, [&] { first->LoadAllReferences(); });
  EXPECT_TRUE(first->GetAllReferencesLoaded());
  EXPECT_TRUE(world.Shell(("R" + std::to_string(kLength - 1)).c_str())->GetIsPrepared());
}

/* A second thread asking for all references while the first is still loading them gets
   its answer only once they are there. */
TEST_F(HostileTest, AllReferencesAreLoadedWhenTheCallReturns) {
  ClassBuilder r = SmallClass("t/Refs");
  for (const char* n : {"t/L1", "t/L2", "t/L3"}) {
    r.Class(n);
    Put(n, SmallClass(n).Build());
  }
  Put("t/Refs", r.Build());
  VMLoadableClass* refs = Loaded("t/Refs");
  ASSERT_EQ(0, world.Shell("java/lang/Object")->Prepare(nullptr));
  StreamHook hook;
  hook.Delay(300, {"t/L1"});
  std::thread first([&] { refs->LoadAllReferences(); });
  while (StreamHook::DelayedOpens() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  refs->LoadAllReferences();
  for (const char* n : {"t/L1", "t/L2", "t/L3"})
    EXPECT_TRUE(world.Shell(n)->GetIsLoaded()) << n << " not loaded when the second call returned";
  first.join();
}

/* ---- interface diamonds ---- */

/* A_k and B_k both extend A_(k+1) and B_(k+1): 2^depth paths lead to the bottom, so any
   walk that visits an interface once per path never ends. */
TEST_F(HostileTest, InterfaceDiamondsAreWalkedOncePerInterface) {
  const int kDepth = 40;
  StreamHook hook([](const std::string& name, Bytes& bytes) {
    if (name == "X") {
      bytes = InterfaceFile("X", {});
      return true;
    }
    if (name.size() < 2 || (name[0] != 'A' && name[0] != 'B')) return false;
    int k = atoi(name.c_str() + 1);
    std::vector<std::string> supers;
    if (k + 1 < kDepth) supers = {"A" + std::to_string(k + 1), "B" + std::to_string(k + 1)};
    bytes = InterfaceFile(name, supers);
    return true;
  });
  ClassBuilder c = SmallClass("t/Diamond");
  c.interfaces.push_back(c.Class("A0"));
  uint16_t field = c.Ref(9, "t/Diamond", "missing", "I");
  uint16_t method = c.Ref(11, "A0", "missing", "()V");
  Put("t/Diamond", c.Build());
  Watchdog watchdog(60, "look-ups over an interface diamond");
  VMLoadableClass* cls = world.Shell("t/Diamond");
  ASSERT_EQ(0, cls->Prepare(nullptr));
  VMLoadableClass* x = world.Shell("X");
  ASSERT_EQ(0, x->Load());
  VMLoadableClass* bottom = world.Shell(("B" + std::to_string(kDepth - 1)).c_str());
  EXPECT_FALSE(VMClass::AssignableFrom((VMClass*)cls, (VMClass*)x));
  EXPECT_TRUE(VMClass::AssignableFrom((VMClass*)cls, (VMClass*)bottom));
  VMStatus status = 0;
  EXPECT_EQ(nullptr, cls->GetConstantPool()->GetConstField(cls, field, &status));
  EXPECT_EQ(VMStatus_NoSuchFieldError, status);
  EXPECT_EQ(nullptr, cls->FindPublicField(world.Lit("missing"), nullptr));
  EXPECT_EQ(nullptr, cls->GetConstantPool()->GetConstInterfaceMethod(method, &status));
  EXPECT_EQ(VMStatus_NoSuchMethodError, status);
  watchdog.Disarm();
}

/* ---- descriptors and amplification ---- */

TEST_F(HostileTest, ParameterWordsThatDoNotFitAreRefused) {
  for (int params : {255, 256, 16383, 16384, 16394, 65000}) {
    ClassBuilder c = SmallClass("t/Wide");
    c.AddMethod(0x0009, "m", "(" + std::string(params, 'I') + ")V", {c.CodeAttribute(1, 20, {0xB1})});
    Bytes b = c.Build();
    VMLoadableClass* shell = world.LooseShell("t/Wide");
    EXPECT_EQ(VMStatus_ClassFormatError, world.loader->Load(shell, b.data(), (uint32_t)b.size()))
        << params << " int parameters";
    world.DropLoose(shell);
  }
}

/* Files naming many distinct array types of 255 dimensions (as classes of the pool, or
   as methods' return types) and failing at their very end: what a failed parse leaves
   behind must stay in proportion to the file. */
TEST_F(HostileTest, AFailedParseLeavesLittleBehind) {
  auto deep = [](const char* prefix, int i) { return std::string(255, '[') + "L" + prefix + std::to_string(i) + ";"; };
  ClassBuilder entries;
  entries.thisClass = entries.Class("t/Amp");
  entries.superClass = entries.Class("java/lang/Object");
  for (int i = 0; i < 1000; i++) entries.Class(deep("x", i));
  ClassBuilder returns;
  returns.thisClass = returns.Class("t/Amp");
  returns.superClass = returns.Class("java/lang/Object");
  for (int i = 0; i < 100; i++) returns.AddMethod(0x0109, "n" + std::to_string(i), "()" + deep("y", i));
  for (ClassBuilder* c : {&entries, &returns}) {
    Bytes bad = c->Build();
    bad.push_back(0);  // a trailing byte: refused at the very end
    uint64_t before = refhost::BytesInUse(world.heap);
    VMLoadableClass* shell = world.LooseShell("t/Amp");
    EXPECT_EQ(VMStatus_ClassFormatError, world.loader->Load(shell, bad.data(), (uint32_t)bad.size()));
    world.DropLoose(shell);
    uint64_t left = refhost::BytesInUse(world.heap) - before;
    EXPECT_LT(left, 2 * bad.size()) << "a failed parse of " << bad.size() << " bytes left " << left;
  }
  // Without the byte the file loads, and the types are there.
  ClassBuilder good;
  good.thisClass = good.Class("t/Amp");
  good.superClass = good.Class("java/lang/Object");
  uint16_t entry = good.Class(deep("x", 0));
  good.AddMethod(0x0109, "n", "()" + deep("y", 0));
  Bytes bytes = good.Build();
  VMLoadableClass* shell = world.Shell("t/Amp");
  ASSERT_EQ(0, world.loader->Load(shell, bytes.data(), (uint32_t)bytes.size()));
  VMMethod* n = shell->GetMethods()->Get(0);
  ASSERT_NE(nullptr, n->GetReturnClass());
  EXPECT_TRUE(n->GetReturnClass()->GetIsArray());
  VMStatus status = 0;
  VMClass* array = (VMClass*)shell->GetConstantPool()->GetConstClass(entry, &status, false);
  ASSERT_NE(nullptr, array) << status;
  EXPECT_TRUE(array->GetIsArray());
  EXPECT_EQ(world.Lit(deep("x", 0).c_str()), shell->GetConstantPool()->GetConstClassName(entry));
}

/* ---- defining ---- */

TEST_F(HostileTest, DefiningALoadedClassIsRefused) {
  ClassBuilder h = SmallClass("t/Twice");
  h.AddField(0x0009, "x", "I");
  Bytes good = h.Build();
  Put("t/Twice", good);
  VMLoadableClass* cls = Loaded("t/Twice");
  VMConstantPool* pool = cls->GetConstantPool();
  VMDataMemberArray* fields = cls->GetDataMembers();
  uint32_t blocks = refhost::BlocksInUse(world.heap);
  EXPECT_EQ(VMStatus_LinkageError, world.loader->Load(cls, good.data(), (uint32_t)good.size()));
  Bytes truncated(good.begin(), good.end() - 3);
  EXPECT_EQ(VMStatus_LinkageError, world.loader->Load(cls, truncated.data(), (uint32_t)truncated.size()));
  EXPECT_TRUE(cls->GetIsLoaded());
  EXPECT_EQ(pool, cls->GetConstantPool());
  EXPECT_EQ(fields, cls->GetDataMembers());
  EXPECT_EQ(blocks, refhost::BlocksInUse(world.heap));
  // A class defined from bytes is loaded: loading it by name reads nothing more.
  VMLoadableClass* defined = world.Shell("t/Defined");
  Bytes d = SmallClass("t/Defined").Build();
  ASSERT_EQ(0, world.loader->Load(defined, d.data(), (uint32_t)d.size()));
  EXPECT_TRUE(defined->GetIsLoaded());
  EXPECT_EQ(0, defined->Load());
  EXPECT_EQ(VMStatus_LinkageError, world.loader->Load(defined, d.data(), (uint32_t)d.size()));
}

/* ---- loaders ---- */

/* A class of the system loader first loaded on a thread whose env names a session's
   loader: its references belong to the system loader, so destroying the session's
   loader leaves them whole. */
TEST_F(HostileTest, ASystemClassKeepsItsReferencesInItsOwnLoader) {
  ClassBuilder m = SmallClass("app/Main");
  uint16_t other = m.Class("app/Other");
  Put("app/Main", m.Build());
  Put("app/Other", SmallClass("app/Other").Build());
  VMLoadableClass* main = world.Shell("app/Main");
  VMClassLoader* session = world.ns->FindOrCreateLoader((void*)0x55);
  ASSERT_NE(nullptr, session);
  VMword vmWords[11] = {};
  VMword envWords[6] = {};
  vmWords[2] = (VMword)world.ns;
  envWords[1] = (VMword)vmWords;
  envWords[5] = 0x55;
  JNIHostFunctions* host = refhost::Functions();
  VMStatus status = -1;
  std::thread session_thread([&] {
    host->SetCurrentEnv((JNIEnv*)envWords);
    status = main->Load();
    host->SetCurrentEnv(nullptr);
  });
  session_thread.join();
  ASSERT_EQ(0, status);
  VMLoadableClass* o = main->GetConstantPool()->GetConstClass(other, &status, false);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(world.loader, o->GetClassLoader());
  session->Destroy(world.heap);
  EXPECT_EQ(world.Lit("app/Other"), main->GetConstantPool()->GetConstClassName(other));
  EXPECT_EQ(0, o->Load());
}

}  // namespace
