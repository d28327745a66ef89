/* What a careless host or native cannot do to the machine: delete another thread's
   globals, exhaust the heap with the slot arrays of its globals, join a machine that is
   being taken down, pass (or return) a reference of the wrong class, and be written past
   its buffers. */
#include "jni_support.h"

#include <stdarg.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "safe_wait.h"
#include "vmjavalangstring.h"

namespace jni_test {
namespace {

class GuardTest : public JniTest {};

/* Bulk deletion takes only the caller's globals made since the marks: another thread's
   handle keeps its object and its slot, whoever makes globals afterwards. */
TEST_F(GuardTest, BulkDeletionLeavesAnotherThreadsGlobalAlone) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jint marks[3];
  ASSERT_EQ(0, f->GetHighWaterMarks(env, marks));
  jobject other = nullptr;
  jobject otherClass = nullptr;
  std::thread t([&] {
    JNIEnv* mine = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
    other = mine->functions->NewGlobalRef(mine, mine->functions->NewStringUTF(mine, "the other thread's"));
    // A class is name-space data: its global is in the name space's array.
    otherClass = mine->functions->NewGlobalRef(mine, mine->functions->FindClass(mine, "java/lang/Thread"));
    vm->functions->DetachCurrentThread(vm);
  });
  JoinOutside(t);
  ASSERT_NE(nullptr, other);
  ASSERT_NE(nullptr, otherClass);
  jobject mine = f->NewGlobalRef(env, f->NewStringUTF(env, "mine"));
  jobject mineClass = f->NewGlobalRef(env, f->FindClass(env, "java/lang/String"));
  ASSERT_EQ(0, f->DeleteRefs(env, marks, 1));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, mine));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, mineClass));
  for (int i = 0; i < 3; i++) {
    jobject later = f->NewGlobalRef(env, f->NewStringUTF(env, "made later"));
    jobject laterClass = f->NewGlobalRef(env, f->FindClass(env, "java/lang/Object"));
    EXPECT_NE(other, later) << "the other thread's handle now names this thread's object";
    EXPECT_NE(otherClass, laterClass);
  }
  EXPECT_EQ(18, f->GetStringUTFLength(env, (jstring)other));
  EXPECT_TRUE(f->IsSameObject(env, otherClass, f->FindClass(env, "java/lang/Thread")));
  EXPECT_FALSE(f->ExceptionCheck(env));
  Destroy(vm);
}

/* Growth by ten slots kept every replaced slot array: about N^2/5 bytes for N globals,
   so 40,000 exhausted the heap. */
TEST_F(GuardTest, FortyThousandGlobalReferencesFit) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jstring s = f->NewStringUTF(env, "held");
  std::vector<jobject> globals;
  for (int i = 0; i < 40000; i++) {
    jobject g = f->NewGlobalRef(env, s);
    if (g == nullptr) break;
    globals.push_back(g);
  }
  EXPECT_EQ(40000u, globals.size());
  // Deleted in the middle, the slots are found again without a walk from the start,
  // and a collection (which frees the retired slot arrays) keeps every live one.
  for (size_t i = 100; i < 200; i++) f->DeleteGlobalRef(env, globals[i]);
  for (size_t i = 100; i < 200; i++) EXPECT_NE(nullptr, f->NewGlobalRef(env, s));
  vm->vm->GarbageCollect(false);
  EXPECT_TRUE(f->IsSameObject(env, globals[39999], s));
  EXPECT_TRUE(f->IsSameObject(env, globals[1], s));
  EXPECT_EQ(nullptr, vm->vm->GetJNIHandleArray()->GetArray()->Get(0)) << "retired slot arrays outlived a collection";
  f->ExceptionClear(env);
  Destroy(vm);
}

/* A host thread that attaches while DestroyJavaVM runs the finalizers (after its wait
   for the other threads) is refused: the machine is freed under anything it ran. */
TEST_F(GuardTest, AnAttachDuringDestructionIsRefused) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass fin = f->FindClass(env, "GuardFin");
  ASSERT_NE(nullptr, fin);
  f->CallStaticVoidMethod(env, fin, f->GetStaticMethodID(env, fin, "arm", "()V"));
  ASSERT_FALSE(f->ExceptionCheck(env));
  std::atomic<int> attached{-5};
  std::thread late([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    JNIEnv* mine = nullptr;
    attached = vm->functions->AttachCurrentThread(vm, &mine, nullptr);
    if (attached != 0) return;
    jclass cls = mine->functions->FindClass(mine, "GuardFin");
    jmethodID loop = mine->functions->GetStaticMethodID(mine, cls, "loop", "(I)I");
    for (int i = 0; i < 100; i++) {
      mine->functions->CallStaticIntMethod(mine, cls, loop, 100000);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    vm->functions->DetachCurrentThread(vm);
  });
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  late.join();
  EXPECT_NE(0, attached.load());
}

jobject JNICALL ForgedPoke(JNIEnv* env, jclass) { return env->functions->NewStringUTF(env, "not a GuardPoke"); }

/* Java code trusts its declared types: an argument (or a native's result) of another
   class would have fields written past its end. Refused with IllegalArgumentException
   before anything runs; null and instances of subclasses pass. */
TEST_F(GuardTest, AReferenceOfTheWrongClassIsRefused) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass poke = f->FindClass(env, "GuardPoke");
  ASSERT_NE(nullptr, poke);
  jmethodID pokeId = f->GetStaticMethodID(env, poke, "poke", "(LGuardPoke;)V");
  jmethodID peekId = f->GetStaticMethodID(env, poke, "peek", "(LGuardPoke;)I");
  jmethodID lenId = f->GetStaticMethodID(env, poke, "len", "(Ljava/lang/String;)I");
  jstring s = f->NewStringUTF(env, "abc");
  jvalue v[1];
  v[0].l = s;
  for (int form = 0; form < 2; form++) {
    if (form == 0) f->CallStaticVoidMethod(env, poke, pokeId, s);
    else f->CallStaticVoidMethodA(env, poke, pokeId, v);
    EXPECT_EQ("java.lang.IllegalArgumentException", PendingClass(env)) << "poke ran on a String";
    f->ExceptionClear(env);
  }
  EXPECT_EQ(0, f->CallStaticIntMethod(env, poke, peekId, f->AllocObject(env, f->FindClass(env, "java/lang/Object"))));
  EXPECT_EQ("java.lang.IllegalArgumentException", PendingClass(env));
  f->ExceptionClear(env);
  EXPECT_EQ(3, f->GetStringLength(env, s));
  // What fits still runs.
  jobject real = f->AllocObject(env, poke);
  f->CallStaticVoidMethod(env, poke, pokeId, real);
  EXPECT_EQ(0x42424242, f->CallStaticIntMethod(env, poke, peekId, real));
  EXPECT_EQ(3, f->CallStaticIntMethod(env, poke, lenId, s));
  f->CallStaticVoidMethod(env, poke, pokeId, nullptr);
  EXPECT_EQ("java.lang.NullPointerException", PendingClass(env));
  f->ExceptionClear(env);
  // A native whose result is not what its descriptor says.
  JNINativeMethod forged = {(char*)"forged", (char*)"()LGuardPoke;", (void*)ForgedPoke};
  ASSERT_EQ(0, f->RegisterNatives(env, poke, &forged, 1));
  f->CallStaticIntMethod(env, poke, f->GetStaticMethodID(env, poke, "useForged", "()I"));
  EXPECT_EQ("java.lang.IllegalArgumentException", PendingClass(env));
  f->ExceptionClear(env);
  Destroy(vm);
}

/* GetStringRegion writes exactly the region: a buffer of len units, as ordinary JNI code
   passes, is not overrun. */
TEST_F(GuardTest, GetStringRegionWritesOnlyTheRegion) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  struct {
    jchar buffer[4];
    jchar guard;
  } s;
  s.guard = 0x7777;
  f->GetStringRegion(env, f->NewStringUTF(env, "abcdefgh"), 0, 4, s.buffer);
  EXPECT_EQ('d', s.buffer[3]);
  EXPECT_EQ(0x7777, s.guard);
  Destroy(vm);
}

/* A string's words are only the class library's promise: every reader bounds the count
   (and the offset) by the character array, so a string that claims more reads as what
   its array holds. */
TEST_F(GuardTest, StringReadersStayWithinTheArray) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jstring s = f->NewStringUTF(env, "abc");
  VMJavaLangString* string = (VMJavaLangString*)VMJniHandle::UnHandle(env, s);
  string->SetCount(100000000);
  EXPECT_EQ(3, f->GetStringLength(env, s));
  EXPECT_EQ(3, f->GetStringUTFLength(env, s));
  const char* text = f->GetStringUTFChars(env, s, nullptr);
  ASSERT_NE(nullptr, text);
  EXPECT_STREQ("abc", text);
  f->ReleaseStringUTFChars(env, s, text);
  string->SetOffset(2);
  EXPECT_EQ(1, f->GetStringLength(env, s));
  string->SetOffset(0xFFFFFFF0u);
  EXPECT_EQ(0, f->GetStringUTFLength(env, s));
  jclass file = f->FindClass(env, "java/io/File");
  jobject made = f->NewObject(env, file, f->GetMethodID(env, file, "<init>", "(Ljava/lang/String;)V"), s);
  f->CallBooleanMethod(env, made, f->GetMethodID(env, file, "exists", "()Z"));
  f->ExceptionClear(env);
  Destroy(vm);
}

/* A negative length is no room at all, not a very large one. */
TEST_F(GuardTest, ANegativeListLengthWritesNothing) {
  JNIEnv* envA = nullptr;
  JNIEnv* envB = nullptr;
  JavaVM* a = Create(&envA);
  JavaVM* b = Create(&envB, a);
  ASSERT_NE(nullptr, b);
  struct {
    JavaVM* buffer[1];
    void* guard;
  } s;
  for (jsize length : {-1, -2147483647 - 1, 0}) {
    s.buffer[0] = nullptr;
    s.guard = (void*)0x77777777;
    jsize total = 0;
    EXPECT_EQ(0, JNI_GetCreatedJavaVMs(s.buffer, length, &total));
    EXPECT_EQ(2, total);
    EXPECT_EQ(nullptr, s.buffer[0]);
    EXPECT_EQ((void*)0x77777777, s.guard);
  }
  EXPECT_EQ(0, b->functions->DetachCurrentThread(b));
  Destroy(b);
  host->AttachThreadEnv(a, envA);
  host->SetCurrentEnv(envA);
  Destroy(a);
}

jint CodeV(JNIEnv* env, jclass cls, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  jint r = env->functions->CallStaticIntMethodV(env, cls, id, list);
  va_end(list);
  return r;
}

/* A char arrives zero-extended, as Java's (int) c reads it, through every form. */
TEST_F(GuardTest, ACharArgumentIsSeenAsJavaSeesIt) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  const JNINativeInterface_* f = env->functions;
  jclass poke = f->FindClass(env, "GuardPoke");
  jmethodID code = f->GetStaticMethodID(env, poke, "code", "(C)I");
  ASSERT_NE(nullptr, code);
  for (jint c : {0xFFFF, 0x8000, 0x7FFF, 0}) {
    jvalue v[1];
    v[0].c = (jchar)c;
    EXPECT_EQ(c, f->CallStaticIntMethodA(env, poke, code, v));
    EXPECT_EQ(c, CodeV(env, poke, code, (jchar)c));
    EXPECT_EQ(c, f->CallStaticIntMethod(env, poke, code, (jchar)c));
  }
  EXPECT_FALSE(f->ExceptionCheck(env));
  Destroy(vm);
}

}  // namespace
}  // namespace jni_test
