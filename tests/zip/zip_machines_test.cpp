/* Two machines of one host, on one name space, each with Inflater streams of the newer
   shape (handles, and an object's strm word over them): a handle or word of one machine
   names nothing in the other, whichever native it reaches, and the machine that made it
   still has its stream whole; destroying one machine, with a stream still live, leaves
   the other's streams (one half read) working, and it makes new ones. */
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp_support.h"
#include "pending_text.h"
#include "jni.h"
#include "refhost.h"
#include "vm.h"
#include "zippool.h"

namespace {

/* One machine's view of the newer Inflater shape. */
struct Streams {
  JNIEnv* env = nullptr;
  jclass cls = nullptr;  // a global reference

  bool Bind(JNIEnv* e) {
    env = e;
    jclass local = env->functions->FindClass(env, "java/util/zip/Inflater");
    if (local == nullptr) return false;
    cls = (jclass)env->functions->NewGlobalRef(env, local);
    env->functions->DeleteLocalRef(env, local);
    return cls != nullptr;
  }
  jmethodID Static(const char* name, const char* sig) {
    return env->functions->GetStaticMethodID(env, cls, name, sig);
  }
  std::string Pending() { return TakePendingText(env); }
  jlong Init() {
    jvalue a[1];
    a[0].z = JNI_FALSE;
    return env->functions->CallStaticLongMethodA(env, cls, Static("init", "(Z)J"), a);
  }
  jint Adler(jlong h) {
    jvalue a[1];
    a[0].j = h;
    return env->functions->CallStaticIntMethodA(env, cls, Static("getAdler", "(J)I"), a);
  }
  void Handle(const char* name, jlong h) {
    jvalue a[1];
    a[0].j = h;
    env->functions->CallStaticVoidMethodA(env, cls, Static(name, "(J)V"), a);
  }
  jbyteArray Bytes(const char* name) {
    return (jbyteArray)env->functions->CallStaticObjectMethodA(env, cls, Static(name, "()[B"), nullptr);
  }
  /* An Inflater object (made without its constructor) whose strm word is the handle's,
     over the whole zlib stream of data(); a global reference. */
  jobject Over(jlong h) {
    jobject o = env->functions->AllocObject(env, cls);
    jbyteArray packed = Bytes("packed");
    if (o == nullptr || packed == nullptr) return nullptr;
    env->functions->SetIntField(env, o, env->functions->GetFieldID(env, cls, "strm", "I"), (jint)h);
    env->functions->SetObjectField(env, o, env->functions->GetFieldID(env, cls, "buf", "[B"), packed);
    env->functions->SetIntField(env, o, env->functions->GetFieldID(env, cls, "len", "I"),
                                env->functions->GetArrayLength(env, packed));
    jobject g = env->functions->NewGlobalRef(env, o);
    env->functions->DeleteLocalRef(env, o);
    env->functions->DeleteLocalRef(env, packed);
    return g;
  }
  /* inflateBytes into out[off, off + len): the count, or -1 with the exception in *thrown. */
  jint Inflate(jobject o, jbyteArray out, jint off, jint len, std::string* thrown) {
    jvalue a[3];
    a[0].l = out;
    a[1].i = off;
    a[2].i = len;
    jmethodID inflate = env->functions->GetMethodID(env, cls, "inflateBytes", "([BII)I");
    jint n = env->functions->CallIntMethodA(env, o, inflate, a);
    *thrown = Pending();
    return thrown->empty() ? n : -1;
  }
  std::vector<jbyte> Elements(jbyteArray a, jint n) {
    std::vector<jbyte> v(n > 0 ? n : 0);
    if (n > 0) env->functions->GetByteArrayRegion(env, a, 0, n, v.data());
    return v;
  }
  std::vector<jbyte> Data() {
    jbyteArray d = Bytes("data");
    std::vector<jbyte> v = Elements(d, env->functions->GetArrayLength(env, d));
    env->functions->DeleteLocalRef(env, d);
    return v;
  }
};

class TwoMachinesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    refhost::SetCapture(true);
    refhost::SetClassPath(nullptr, interp_test::ClassDir("zipgen") + ":" + PUX_BUILD_DIR + "/classlib.zip");
  }
  void TearDown() override {
    refhost::SetClassPath(nullptr, "");
    refhost::ResetHooks();
  }
  JavaVM* Create(JNIEnv** env, JavaVM* share) {
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = host;
    args.shareNameSpaceOf = share;
    JavaVM* jvm = nullptr;
    return JNI_CreateJavaVM(&jvm, env, &args) == 0 ? jvm : nullptr;
  }
  void Use(JavaVM* jvm, JNIEnv* env) {
    host->AttachThreadEnv(jvm, env);
    host->SetCurrentEnv(env);
  }
  JNIHostFunctions* host = refhost::Functions();
};

TEST_F(TwoMachinesTest, AStreamOfOneMachineIsNoneOfTheOthers) {
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA, nullptr);
  ASSERT_NE(nullptr, a);
  Streams sa;
  ASSERT_TRUE(sa.Bind(envA));
  const jlong hA = sa.Init();
  ASSERT_NE(0, hA) << sa.Pending();

  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB, a);
  ASSERT_NE(nullptr, b);
  Streams sb;
  ASSERT_TRUE(sb.Bind(envB));
  const std::vector<jbyte> data = sb.Data();
  ASSERT_EQ(3000u, data.size());
  const jlong hB = sb.Init();
  ASSERT_NE(0, hB) << sb.Pending();
  // B reads the first part of its stream now, the rest after A is gone.
  jobject readerB = sb.Over(hB);
  jbyteArray outB = (jbyteArray)envB->functions->NewGlobalRef(envB, envB->functions->NewByteArray(envB, 3100));
  std::string thrown;
  ASSERT_EQ(1000, sb.Inflate(readerB, outB, 0, 1000, &thrown)) << thrown;

  // A's handle, and an object word holding it, from B: every row finds no stream.
  EXPECT_EQ(0, sb.Adler(hA));
  sb.Handle("reset", hA);
  EXPECT_EQ("java.lang.NullPointerException: cannot reset Inflater", sb.Pending());
  sb.Handle("end", hA);
  EXPECT_EQ("", sb.Pending());
  jobject foreign = sb.Over(hA);
  jbyteArray scratch = envB->functions->NewByteArray(envB, 3100);
  EXPECT_EQ(-1, sb.Inflate(foreign, scratch, 0, 3100, &thrown));
  EXPECT_EQ("java.lang.NullPointerException: Inflater has been closed", thrown);

  // A's stream is as it was, and B's handle is none of A's.
  Use(a, envA);
  EXPECT_EQ(1, sa.Adler(hA));
  EXPECT_EQ(0, sa.Adler(hB));
  sa.Handle("reset", hB);
  EXPECT_EQ("java.lang.NullPointerException: cannot reset Inflater", sa.Pending());
  sa.Handle("end", hB);
  jobject readerA = sa.Over(hA);
  jbyteArray outA = envA->functions->NewByteArray(envA, 3100);
  ASSERT_EQ(3000, sa.Inflate(readerA, outA, 0, 3100, &thrown)) << thrown;
  EXPECT_TRUE(sa.Elements(outA, 3000) == data);
  envA->functions->DeleteGlobalRef(envA, readerA);
  envA->functions->DeleteGlobalRef(envA, sa.cls);

  // A goes with its stream still live.
  Use(b, envB);
  ASSERT_EQ(0, b->functions->DetachCurrentThread(b));
  Use(a, envA);
  ASSERT_EQ(0, a->functions->DestroyJavaVM(a));
  ASSERT_EQ(0, b->functions->AttachCurrentThread(b, &envB, nullptr));
  sb.env = envB;

  // B's stream goes on where it stopped, a new one works, and A's handle is still none.
  ASSERT_EQ(2000, sb.Inflate(readerB, outB, 1000, 2100, &thrown)) << thrown;
  EXPECT_TRUE(sb.Elements(outB, 3000) == data);
  EXPECT_EQ(0, sb.Adler(hA));
  const jlong hB2 = sb.Init();
  ASSERT_NE(0, hB2) << sb.Pending();
  jobject second = sb.Over(hB2);
  jbyteArray out2 = envB->functions->NewByteArray(envB, 3100);
  ASSERT_EQ(3000, sb.Inflate(second, out2, 0, 3100, &thrown)) << thrown;
  EXPECT_TRUE(sb.Elements(out2, 3000) == data);
  sb.Handle("end", hB);
  sb.Handle("end", hB2);
  EXPECT_EQ("", sb.Pending());
  ZipPoolCookie* cookie = ZipPoolGetCookie();
  ASSERT_NE(nullptr, cookie);
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  ZipPoolReleaseCookie(cookie);
  for (jobject g : {readerB, (jobject)outB, foreign, second, (jobject)sb.cls}) {
    envB->functions->DeleteGlobalRef(envB, g);
  }
  EXPECT_EQ(0, b->functions->DestroyJavaVM(b));
}

}  // namespace
