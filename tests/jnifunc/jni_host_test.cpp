/* A host as the server is one: machines made with JNI_CreateJavaVM over the class
   library and the test classes, driven through the env table only, destroyed with
   DestroyJavaVM, and nothing left behind. */
#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "jnifunc_support.h"
#include "safe_wait.h"
#include "vmjniutils.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace jnifunc_test {
namespace {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = refhost::Functions();
    JNI_SetHostFunctions(host);
    refhost::SetClassPath(nullptr, interp_test::ClassDir("jnifunc") + ":" + PUX_BUILD_DIR + "/classlib.zip");
    // The other tests of this program keep the process state alive between them; the
    // last DestroyJavaVM here releases it, so it is measured without it.
    jsize total = -1;
    if (JNI_GetCreatedJavaVMs(nullptr, 0, &total) == 0 && total == 0) VMUtils::Fini();
    processBlocks = refhost::BlocksInUse(nullptr);
  }
  void TearDown() override {
    jsize total = -1;
    EXPECT_EQ(0, JNI_GetCreatedJavaVMs(nullptr, 0, &total));
    EXPECT_EQ(0, total);
    EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr)) << "process memory left behind";
    EXPECT_EQ(0u, refhost::MutexesHeldByThisThread());
    refhost::SetClassPath(nullptr, "");
    refhost::ResetHooks();
  }
  JavaVM* Create(JNIEnv** env, JavaVM* share = nullptr) {
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = host;
    args.name = "jnifunc host";
    args.shareNameSpaceOf = share;
    JavaVM* vm = nullptr;
    EXPECT_EQ(0, JNI_CreateJavaVM(&vm, env, &args));
    return vm;
  }
  /* The class of the pending exception, cleared; "" when none. */
  static std::string Pending(JNIEnv* env) {
    char* text = env->functions->GetPendingExceptionText(env);
    std::string result = text != nullptr ? text : "";
    env->functions->FreeExceptionText(env, text);
    env->functions->ExceptionClear(env);
    size_t end = result.find_first_of(":(");
    return end == std::string::npos ? result : result.substr(0, end);
  }
  JNIHostFunctions* host = nullptr;
  uint32_t processBlocks = 0;
};

TEST_F(HostTest, AHostDrivesJavaThroughTheTable) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass values = f->FindClass(env, "jnifunc/Values");
  ASSERT_NE(nullptr, values);

  // Every argument kind through the jvalue form, read back from the statics.
  jmethodID storeAll = f->GetStaticMethodID(env, values, "storeAll", "(ZBCSIJFDLjava/lang/Object;)I");
  jstring text = f->NewStringUTF(env, "host");
  jvalue a[9];
  a[0].z = 1;
  a[1].b = -3;
  a[2].c = 0x263A;
  a[3].s = 300;
  a[4].i = 41;
  a[5].j = -7;
  a[6].f = 0.75f;
  a[7].d = 1e-5;
  a[8].l = text;
  EXPECT_EQ(42, f->CallStaticIntMethodA(env, values, storeAll, a));
  EXPECT_EQ(0x263A, f->GetStaticCharField(env, values, f->GetStaticFieldID(env, values, "sc", "C")));
  EXPECT_EQ(-7, f->GetStaticLongField(env, values, f->GetStaticFieldID(env, values, "sj", "J")));
  EXPECT_TRUE(f->IsSameObject(env, text,
                              f->GetStaticObjectField(env, values, f->GetStaticFieldID(env, values, "sl", "Ljava/lang/Object;"))));

  // An object through its constructor, its fields and an instance call.
  jmethodID init = f->GetMethodID(env, values, "<init>", "(IJLjava/lang/Object;)V");
  jobject o = f->NewObject(env, values, init, 5, (jlong)1 << 40, text);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ((jlong)1 << 40, f->GetLongField(env, o, f->GetFieldID(env, values, "j", "J")));
  EXPECT_EQ(15, f->CallIntMethod(env, o, f->GetMethodID(env, values, "hereI", "(I)I"), 10));

  // Arrays and strings into Java and back.
  jintArray ints = f->NewIntArray(env, 4);
  jint four[4] = {1, 2, 3, 4};
  f->SetIntArrayRegion(env, ints, 0, 4, four);
  EXPECT_EQ(10, f->CallStaticIntMethod(env, values, f->GetStaticMethodID(env, values, "sum", "([I)I"), ints));
  jobjectArray parts = f->NewObjectArray(env, 3, f->FindClass(env, "java/lang/String"), text);
  EXPECT_EQ(12, f->CallStaticIntMethod(env, values, f->GetStaticMethodID(env, values, "joinedLength", "([Ljava/lang/String;)I"), parts));
  jintArray squares = (jintArray)f->CallStaticObjectMethod(env, values, f->GetStaticMethodID(env, values, "squares", "(I)[I"), 5);
  jint got[5];
  f->GetIntArrayRegion(env, squares, 0, 5, got);
  EXPECT_EQ(16, got[4]);
  EXPECT_EQ("", Pending(env));

  // A Java exception reaches the host pending; a call result is then 0.
  EXPECT_EQ(0, f->CallStaticIntMethod(env, values, f->GetStaticMethodID(env, values, "length", "(Ljava/lang/String;)I"), NULL));
  EXPECT_EQ("java.lang.NullPointerException", Pending(env));
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
}

/* Two machines on one name space: the same classes and ids, each its own statics. */
TEST_F(HostTest, TwoMachinesShareClassesAndIdsButNotStatics) {
  JNIEnv* env = nullptr;
  JavaVM* first = Create(&env);
  ASSERT_NE(nullptr, first);
  jclass cls = env->functions->FindClass(env, "jnifunc/Flagged");
  jfieldID value = env->functions->GetStaticFieldID(env, cls, "value", "I");
  jmethodID bumped = env->functions->GetStaticMethodID(env, cls, "bumped", "()I");
  ASSERT_NE(nullptr, value);
  env->functions->SetStaticIntField(env, cls, value, 100);
  JNIEnv* env2 = nullptr;
  JavaVM* second = Create(&env2, first);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(first->nameSpace, second->nameSpace);
  EXPECT_EQ(1, env2->functions->CallStaticIntMethod(env2, NULL, bumped));
  EXPECT_EQ(1, env2->functions->GetStaticIntField(env2, NULL, value));
  EXPECT_EQ(0, second->functions->DestroyJavaVM(second));
  host->AttachThreadEnv(first, env);
  host->SetCurrentEnv(env);
  EXPECT_EQ(101, env->functions->CallStaticIntMethod(env, cls, bumped));
  EXPECT_EQ(0, first->functions->DestroyJavaVM(first));
}

/* The cache after a real start-up: the thread objects' fields, the streams of System. */
TEST_F(HostTest, TheNativesCacheOverAStartedLibrary) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  VMJniUtils* utils = vm->nameSpace->GetJNIUtils();
  ASSERT_NE(nullptr, utils);
  jfieldID daemon = utils->GetFieldThread_daemon(env);
  ASSERT_NE(nullptr, daemon);
  jobject self = VMJniHandle::NewLocal(env, (VMObject*)env->thread->GetJavaLangThread());
  ASSERT_NE(nullptr, self);
  EXPECT_EQ(0, env->functions->GetBooleanField(env, self, daemon));
  EXPECT_FALSE(env->thread->GetIsDaemon());
  env->functions->SetBooleanField(env, self, daemon, 1);
  EXPECT_TRUE(env->thread->GetIsDaemon());
  env->functions->SetBooleanField(env, self, daemon, 0);
  EXPECT_NE(nullptr, utils->GetFieldJSystem_out(env));
  EXPECT_NE(nullptr, utils->GetFieldThread_name(env));
  EXPECT_NE(nullptr, utils->GetFieldDatagramPacket_buf(env));
  EXPECT_EQ("", Pending(env));
  // A class the library lacks: no id, and the look-up's error is left pending.
  EXPECT_EQ(nullptr, utils->GetFieldAccessibleObject_isAccessible(env));
  EXPECT_EQ("java.lang.NoClassDefFoundError", Pending(env));
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
}

/* A host thread attached through the JavaVM table waits for the first thread's monitor. */
TEST_F(HostTest, MonitorsBetweenTwoAttachedHostThreads) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jobject lock = f->NewGlobalRef(env, f->AllocObject(env, f->FindClass(env, "jnifunc/Values")));
  ASSERT_EQ(0, f->MonitorEnter(env, lock));
  std::atomic<int> stage{0};
  std::thread other([&] {
    JNIEnv* e = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &e, nullptr));
    stage = 1;
    EXPECT_EQ(0, e->functions->MonitorEnter(e, lock));
    stage = 2;
    EXPECT_EQ(0, e->functions->MonitorExit(e, lock));
    EXPECT_EQ(0, vm->functions->DetachCurrentThread(vm));
  });
  // The other thread's attach and its blocked enter may collect: this one waits outside.
  WhileOutside([&] {
    while (stage < 1) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  });
  EXPECT_EQ(1, stage.load());
  EXPECT_EQ(0, f->MonitorExit(env, lock));
  JoinOutside(other);
  EXPECT_EQ(2, stage.load());
  f->DeleteGlobalRef(env, lock);
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
}

}  // namespace
}  // namespace jnifunc_test
