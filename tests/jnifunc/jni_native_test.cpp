/* Natives: the C library found by symbol name, natives bound with RegisterNatives that
   call back into Java, registration faults, and the monitors and env services natives
   use. */
#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "jnifunc_support.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmsmallobjectbase.h"
#include "vmutils.h"

extern "C" int jnifunc_natives_version(void);

namespace jnifunc_test {
namespace {

using NativeTest = JniTest;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

/* jnifunc/CNatives.run calls every native of the C library, each of which calls back into
   Java; 0 when every check held, else the number of the first that failed. */
TEST_F(NativeTest, TheCLibraryCrossesEveryArgumentKindBothWays) {
  ASSERT_EQ(1, jnifunc_natives_version());
  jclass cls = Cls("jnifunc/CNatives");
  jmethodID run = StaticMethod("jnifunc/CNatives", "run", "()I");
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, run));
  EXPECT_EQ("", Thrown()) << message;
  // Twice: the ids the natives look up are the same ones again.
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, run));
}

/* ---- natives bound through the table ---- */

jmethodID innerId;

jint JNICALL ViaNative(JNIEnv* env, jclass cls, jint x) {
  return env->functions->CallStaticIntMethod(env, cls, innerId, x) + 10;
}
jint JNICALL Leaf(JNIEnv*, jclass, jint x) { return x * 3; }
jint JNICALL Nothing(JNIEnv*, jclass) { return 1234; }
jint JNICALL Other(JNIEnv*, jclass, jint v) { return -v; }
jint JNICALL Plain(JNIEnv*, jobject) { return 99; }

TEST_F(NativeTest, RegisteredNativesCallBackIntoJava) {
  jclass cls = Cls("jnifunc/Callback");
  innerId = StaticMethod("jnifunc/Callback", "inner", "(I)I");
  JNINativeMethod table[] = {{(char*)"viaNative", (char*)"(I)I", (void*)&ViaNative},
                             {(char*)"leaf", (char*)"(I)I", (void*)&Leaf}};
  ASSERT_EQ(0, f->RegisterNatives(env, cls, table, 2));
  // start(x) = viaNative(x) + 1 = inner(x) + 11 = 2 * leaf(x) + 11 = 6x + 11:
  // host -> Java -> native -> Java -> native.
  jmethodID start = StaticMethod("jnifunc/Callback", "start", "(I)I");
  EXPECT_EQ(6 * 7 + 11, f->CallStaticIntMethod(env, cls, start, 7));
  EXPECT_EQ(6 * -3 + 11, f->CallStaticIntMethod(env, cls, start, -3));
  EXPECT_EQ("", Thrown());
  // The native can be called from the host directly too.
  EXPECT_EQ(21, f->CallStaticIntMethod(env, cls, StaticMethod("jnifunc/Callback", "leaf", "(I)I"), 7));
}

TEST_F(NativeTest, RegistrationBindsWhatItFindsAndSaysWhatItMissed) {
  jclass cls = Cls("jnifunc/Unbound");
  jmethodID nothing = StaticMethod("jnifunc/Unbound", "nothing", "()I");
  jmethodID other = StaticMethod("jnifunc/Unbound", "other", "(I)I");
  JNINativeMethod table[] = {{(char*)"nothing", (char*)"()I", (void*)&Nothing},
                             {(char*)"absent", (char*)"()V", (void*)&Nothing},
                             {(char*)"other", (char*)"(I)I", (void*)&Other}};
  EXPECT_EQ(JNI_ERR, f->RegisterNatives(env, cls, table, 3));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  EXPECT_EQ(1234, f->CallStaticIntMethod(env, cls, nothing));
  EXPECT_EQ(-5, f->CallStaticIntMethod(env, cls, other, 5));
  EXPECT_EQ("", Thrown());

  // Dropping them: every call is an UnsatisfiedLinkError again.
  EXPECT_EQ(0, f->UnregisterNatives(env, cls));
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, nothing));
  EXPECT_EQ("java.lang.UnsatisfiedLinkError", Thrown());

  // An entry without a name or signature names no method; the others still bind.
  JNINativeMethod holes[] = {{NULL, (char*)"()I", (void*)&Nothing},
                             {(char*)"other", NULL, (void*)&Other},
                             {(char*)"nothing", (char*)"()I", (void*)&Nothing}};
  EXPECT_EQ(JNI_ERR, f->RegisterNatives(env, cls, holes, 3));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  EXPECT_EQ(1234, f->CallStaticIntMethod(env, cls, nothing));

  // A method that runs bytecode never reads its native address.
  JNINativeMethod plain[] = {{(char*)"plain", (char*)"()I", (void*)&Plain}};
  EXPECT_EQ(0, f->RegisterNatives(env, cls, plain, 1));
  jobject u = New("jnifunc/Unbound");
  EXPECT_EQ(8, f->CallIntMethod(env, u, Method("jnifunc/Unbound", "plain", "()I")));

  // No class, an array class, no entries: nothing bound, nothing raised.
  EXPECT_EQ(JNI_ERR, f->RegisterNatives(env, NULL, table, 1));
  EXPECT_EQ(JNI_ERR, f->RegisterNatives(env, f->GetObjectClass(env, f->NewIntArray(env, 1)), table, 1));
  EXPECT_EQ(0, f->RegisterNatives(env, cls, table, 0));
  EXPECT_EQ(0, f->RegisterNatives(env, cls, table, -1));
  EXPECT_EQ(JNI_ERR, f->UnregisterNatives(env, NULL));
  EXPECT_EQ(JNI_ERR, f->UnregisterNatives(env, f->NewStringUTF(env, "not a class")));
  EXPECT_EQ("", Thrown());
  EXPECT_EQ(JNI_ERR, f->RegisterNatives(env, cls, NULL, 2));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
}

/* A class name registered again keeps one record, which takes the new definition: the
   look-ups take the first record of a name, so a second one would never be bound. */
const char* compiledNamesA[] = {"jnifunc/gen/Compiled", nullptr};
const char* compiledNamesB[] = {"jnifunc/gen/Compiled", nullptr};
const uint32_t noRefs[] = {1u};
const char* noStrings[] = {nullptr};
void* noCode[] = {nullptr};
MCConstPoolClassDefinition definitionA[] = {{compiledNamesA, noRefs, noStrings, noCode}, {nullptr, nullptr, nullptr, nullptr}};
MCConstPoolClassDefinition definitionB[] = {{compiledNamesB, noRefs, noStrings, noCode}, {nullptr, nullptr, nullptr, nullptr}};

uint32_t RecordsNamed(VMObjectHashTable* table, const char* name, int nameWord) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < table->GetFilled(); i++) {
    VMObject* e = table->Get(i);
    if (e != nullptr && strcmp((const char*)e->GetWord(nameWord), name) == 0) n++;
  }
  return n;
}

TEST_F(NativeTest, ARegistrationRepeatedReplacesTheOneRecord) {
  EXPECT_EQ(0, JNI_RegisterCompiled(world.jvm, definitionA));
  EXPECT_EQ(0, JNI_RegisterCompiled(world.jvm, definitionB));
  EXPECT_EQ(1u, RecordsNamed(VMUtils::GetCompiledClasses(), "jnifunc/gen/Compiled", VMCompiledClassInfo::NameWord));
  VMCompiledClassInfo* info = VMCompiledClassInfo::Find(VMLiteral::CreateInstance(world.ns, "jnifunc/gen/Compiled", 0xFFFFFFFFu));
  ASSERT_NE(nullptr, info);
  EXPECT_EQ(&definitionB[0], info->GetTable());
  // A record whose fourth word is 0 ends the array: nothing at all.
  uint32_t filled = VMUtils::GetCompiledClasses()->GetFilled();
  EXPECT_EQ(0, JNI_RegisterCompiled(world.jvm, &definitionA[1]));
  EXPECT_EQ(filled, VMUtils::GetCompiledClasses()->GetFilled());

  // A name known already takes its new table in place, so no memory is needed for it.
  static JNINativeMethod first[] = {{(char*)"nothing", (char*)"()I", (void*)&Nothing}};
  static JNINativeMethod second[] = {{(char*)"other", (char*)"(I)I", (void*)&Other}};
  EXPECT_EQ(0, JNI_RegisterNative("jnifunc/gen/Twice", first, 1));
  refhost::FailNextAllocations(1000);
  EXPECT_EQ(0, JNI_RegisterNative("jnifunc/gen/Twice", second, 1));
  refhost::ResetHooks();
  VMNativeClassInfo* native = VMNativeClassInfo::Find(VMLiteral::CreateInstance(world.ns, "jnifunc/gen/Twice", 0xFFFFFFFFu));
  ASSERT_NE(nullptr, native);
  EXPECT_EQ(second, native->GetMethods());
}

/* A class's binding reads a record's table and count together: while another thread
   re-registers the name with tables of different sizes, a binding never pairs a short
   table with a long count (which would read past it). */
TEST_F(NativeTest, BindingNeverSeesANewTableWithAnOldCount) {
  // A prepared class to bind to; the entries name none of its methods, so that what is
  // left registered when the test ends binds nothing in later ones.
  ASSERT_NE(nullptr, Cls("jnifunc/Callback"));
  // Exactly sized tables of their own, so that a read past one is seen.
  const int kLong = 14, kShort = 3;
  JNINativeMethod* longTable = new JNINativeMethod[kLong];
  JNINativeMethod* shortTable = new JNINativeMethod[kShort];
  for (int i = 0; i < kLong; i++) longTable[i] = {(char*)"absentLong", (char*)"()I", (void*)&Nothing};
  for (int i = 0; i < kShort; i++) shortTable[i] = {(char*)"absentShort", (char*)"(I)I", (void*)&Other};
  std::atomic<bool> stop{false};
  std::atomic<int> registrations{0};
  std::thread registrar([&] {
    for (int round = 0; !stop; round++) {
      JNI_RegisterNative("jnifunc/Callback", (round & 1) ? shortTable : longTable, (round & 1) ? kShort : kLong);
      registrations++;
    }
  });
  while (registrations == 0) std::this_thread::yield();
  for (int round = 0; round < 20000; round++) VMLoadableClass::RegisterNativeMethods(world.ns, "jnifunc/Callback");
  stop = true;
  registrar.join();
  EXPECT_GT(registrations.load(), 1);
  // The registration stays in the process table: leave one that lives on.
  static JNINativeMethod lasting[] = {{(char*)"absent", (char*)"()I", (void*)&Nothing}};
  JNI_RegisterNative("jnifunc/Callback", lasting, 1);
  delete[] longTable;
  delete[] shortTable;
  EXPECT_EQ("", Thrown());
}

/* ---- monitors and env services ---- */

TEST_F(NativeTest, MonitorsAreRecursiveAndExcludeOtherThreads) {
  jobject lock = New("jnifunc/Values");
  jobject global = f->NewGlobalRef(env, lock);
  ASSERT_EQ(0, f->MonitorEnter(env, lock));
  ASSERT_EQ(0, f->MonitorEnter(env, lock));
  std::atomic<int> stage{0};
  std::atomic<jint> otherExit{-100};
  std::thread other([&] {
    JNIEnv* e = AttachThisThread(world.jvm);
    ASSERT_NE(nullptr, e);
    // Not the owner: the exit is refused and the owner keeps its hold.
    otherExit = e->functions->MonitorExit(e, global);
    JavaVM* vm = nullptr;
    EXPECT_EQ(0, e->functions->GetJavaVM(e, &vm));
    EXPECT_EQ(world.jvm, vm);
    EXPECT_TRUE(e->functions->ExceptionCheck(e));
    e->functions->ExceptionClear(e);
    stage = 1;
    EXPECT_EQ(0, e->functions->MonitorEnter(e, global));
    stage = 2;
    EXPECT_EQ(0, e->functions->MonitorExit(e, global));
    DetachThisThread(world.jvm);
  });
  // The other thread allocates (its attach, its exception) and may collect: this one
  // waits outside the machine, holding the monitor.
  WhileOutside([&] {
    while (stage < 1) Sleep(1);
  });
  EXPECT_EQ(VMStatus_IllegalMonitorStateException, otherExit.load());
  WhileOutside([&] { Sleep(50); });
  EXPECT_EQ(1, stage.load());
  EXPECT_EQ(0, f->MonitorExit(env, lock));
  WhileOutside([&] { Sleep(50); });
  EXPECT_EQ(1, stage.load());  // one hold left
  EXPECT_EQ(0, f->MonitorExit(env, lock));
  JoinOutside(other);
  EXPECT_EQ(2, stage.load());
  // Owned by nobody now: an exit is refused, with the exception pending.
  EXPECT_EQ(VMStatus_IllegalMonitorStateException, f->MonitorExit(env, lock));
  EXPECT_EQ("java.lang.IllegalMonitorStateException", Thrown());
  // An object that never had a monitor.
  EXPECT_EQ(VMStatus_IllegalMonitorStateException, f->MonitorExit(env, New("jnifunc/Values")));
  EXPECT_EQ("java.lang.IllegalMonitorStateException", Thrown());
  EXPECT_EQ(JNI_ERR, f->MonitorEnter(env, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  EXPECT_EQ(JNI_ERR, f->MonitorExit(env, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  // Class objects have monitors too.
  jclass cls = Cls("jnifunc/Values");
  EXPECT_EQ(0, f->MonitorEnter(env, cls));
  EXPECT_EQ(0, f->MonitorExit(env, cls));
  f->DeleteGlobalRef(env, global);
}

/* A thread blocked in MonitorEnter waits outside the machine: the monitor's holder
   collects meanwhile, and each collection completes (none is given up for a thread that
   could never reach a poll). Several rounds. */
TEST_F(NativeTest, TheHolderOfAMonitorCollectsWhileAnotherWaitsToEnter) {
  jobject global = f->NewGlobalRef(env, New("jnifunc/Values"));
  for (int round = 0; round < 3; round++) {
    ASSERT_EQ(0, f->MonitorEnter(env, global));
    std::atomic<int> stage{0};
    std::thread other([&] {
      JNIEnv* e = AttachThisThread(world.jvm);
      ASSERT_NE(nullptr, e);
      stage = 1;
      EXPECT_EQ(0, e->functions->MonitorEnter(e, global));
      stage = 2;
      EXPECT_EQ(0, e->functions->MonitorExit(e, global));
      DetachThisThread(world.jvm);
    });
    WhileOutside([&] {
      while (stage < 1) Sleep(1);
      Sleep(30);
    });
    const uint32_t stress = VMObjectBase::GetCollectionStress();
    VMObjectBase::SetCollectionStress(1);
    const uint32_t before = world.vm->GetCollections();
    for (int i = 0; i < 3; i++) f->DeleteLocalRef(env, New("jnifunc/Values"));
    VMObjectBase::SetCollectionStress(stress);
    EXPECT_LE(before + 3, world.vm->GetCollections()) << "round " << round;
    EXPECT_EQ(1, stage.load());
    EXPECT_EQ(0, f->MonitorExit(env, global));
    JoinOutside(other);
    EXPECT_EQ(2, stage.load());
  }
  f->DeleteGlobalRef(env, global);
  EXPECT_EQ("", Thrown());
}

/* Two threads count through one monitor many times: no increment is lost. */
TEST_F(NativeTest, TwoThreadsIncrementUnderAMonitor) {
  jobject lock = f->NewGlobalRef(env, New("jnifunc/Values"));
  jfieldID i = Field("jnifunc/Values", "i", "I");
  const int kRounds = 2000;
  auto work = [&](JNIEnv* e) {
    for (int r = 0; r < kRounds; r++) {
      ASSERT_EQ(0, e->functions->MonitorEnter(e, lock));
      jint v = e->functions->GetIntField(e, lock, i);
      if ((r & 63) == 0) std::this_thread::yield();
      e->functions->SetIntField(e, lock, i, v + 1);
      ASSERT_EQ(0, e->functions->MonitorExit(e, lock));
    }
  };
  std::thread other([&] {
    JNIEnv* e = AttachThisThread(world.jvm);
    ASSERT_NE(nullptr, e);
    work(e);
    DetachThisThread(world.jvm);
  });
  work(env);
  JoinOutside(other);
  EXPECT_EQ(2 * kRounds, f->GetIntField(env, lock, i));
}

TEST_F(NativeTest, ExceptionCheckJavaVMAndWeakReferences) {
  EXPECT_FALSE(f->ExceptionCheck(env));
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_ArithmeticException, "pending"));
  EXPECT_TRUE(f->ExceptionCheck(env));
  EXPECT_TRUE(f->ExceptionCheck(env));  // it stays
  f->ExceptionClear(env);
  EXPECT_FALSE(f->ExceptionCheck(env));
  JavaVM* vm = nullptr;
  EXPECT_EQ(0, f->GetJavaVM(env, &vm));
  EXPECT_EQ(world.jvm, vm);
  EXPECT_EQ(JNI_ERR, f->GetJavaVM(env, NULL));

  // A weak reference is a global one: it names the object until deleted.
  jobject o = New("jnifunc/Values");
  jweak weak = f->NewWeakGlobalRef(env, o);
  ASSERT_NE(nullptr, weak);
  EXPECT_TRUE(f->IsSameObject(env, weak, o));
  f->DeleteLocalRef(env, o);
  EXPECT_NE(nullptr, Obj(weak));
  f->DeleteWeakGlobalRef(env, weak);
  EXPECT_EQ(nullptr, Obj(weak));
  // No object: no reference, and an exception pending before stays.
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_ArithmeticException, "mine"));
  EXPECT_EQ(nullptr, f->NewWeakGlobalRef(env, NULL));
  EXPECT_EQ("java.lang.ArithmeticException", Thrown());
  EXPECT_EQ("mine", message);
}

}  // namespace
}  // namespace jnifunc_test
