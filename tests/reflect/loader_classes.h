/* Classes written class file by class file for the tests of dropped loaders, and a
   fixture around a machine whose loaders they are loaded by. In a package P, C<k> keeps
   an int and an int array in its statics and answers v * 10000 + o[0] from them, and
   P/Count counts how many of the initialisers that count ran: a class whose statics
   were taken and made anew shows as an initialiser run twice. */
#ifndef PUX_TESTS_REFLECT_LOADER_CLASSES_H
#define PUX_TESTS_REFLECT_LOADER_CLASSES_H

#include <stdint.h>
#include <sys/stat.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmjvm.h"

namespace loader_classes {

using classfile_test::Bytes;
using classfile_test::ClassBuilder;

inline void Push2(Bytes& code, uint8_t op, uint16_t operand) {
  code.push_back(op);
  code.push_back((uint8_t)(operand >> 8));
  code.push_back((uint8_t)operand);
}

/* Count.n++ for the package. */
inline void CountOne(ClassBuilder& b, Bytes& code, const std::string& pkg) {
  const uint16_t n = b.Ref(9, pkg + "/Count", "n", "I");
  Push2(code, 0xB2, n);                   // getstatic
  code.insert(code.end(), {0x04, 0x60});  // iconst_1 iadd
  Push2(code, 0xB3, n);                   // putstatic
}

/* P/C<k>: v = value, then Count.n++ when counted, then o = new int[] { k }. */
inline void WriteStaticsClass(const std::string& dir, const std::string& pkg, int k, int value, bool counted) {
  ClassBuilder b;
  const std::string name = pkg + "/C" + std::to_string(k);
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.AddField(0x0009, "v", "I");
  b.AddField(0x0009, "o", "Ljava/lang/Object;");
  const uint16_t v = b.Ref(9, name, "v", "I");
  const uint16_t o = b.Ref(9, name, "o", "Ljava/lang/Object;");
  const uint16_t ints = b.Class("[I");
  Bytes init;
  Push2(init, 0x11, (uint16_t)value);  // sipush
  Push2(init, 0xB3, v);                // putstatic
  if (counted) CountOne(b, init, pkg);
  init.insert(init.end(), {0x04, 0xBC, 0x0A, 0x59, 0x03});  // iconst_1 newarray int dup iconst_0
  Push2(init, 0x11, (uint16_t)k);
  init.push_back(0x4F);  // iastore
  Push2(init, 0xB3, o);
  init.push_back(0xB1);
  b.AddMethod(0x0008, "<clinit>", "()V", {b.CodeAttribute(4, 0, init)});
  Bytes get;
  Push2(get, 0xB2, v);
  Push2(get, 0x11, 10000);
  get.push_back(0x68);  // imul
  Push2(get, 0xB2, o);
  Push2(get, 0xC0, ints);                           // checkcast [I
  get.insert(get.end(), {0x03, 0x2E, 0x60, 0xAC});  // iconst_0 iaload iadd ireturn
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(3, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

/* P/C<k> as most tests write it: v = 1000 + k, counted. */
inline void WriteCountedClass(const std::string& dir, const std::string& pkg, int k) {
  WriteStaticsClass(dir, pkg, k, 1000 + k, true);
}

inline void WriteCount(const std::string& dir, const std::string& pkg) {
  ClassBuilder b;
  const std::string name = pkg + "/Count";
  b.thisClass = b.Class(name);
  b.superClass = b.Class("java/lang/Object");
  b.AddField(0x0009, "n", "I");
  Bytes get;
  Push2(get, 0xB2, b.Ref(9, name, "n", "I"));
  get.push_back(0xAC);
  b.AddMethod(0x0009, "get", "()I", {b.CodeAttribute(1, 0, get)});
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", b.Build())) << name;
}

/* The folder of package P under dir, with P/Count and the counted P/C0..C(n-1). */
inline void WriteCountedPackage(const std::string& dir, const std::string& pkg, int n) {
  ASSERT_EQ(0, mkdir((dir + "/" + pkg).c_str(), 0777)) << pkg;
  ASSERT_NO_FATAL_FAILURE(WriteCount(dir, pkg));
  for (int k = 0; k < n; k++) WriteCountedClass(dir, pkg, k);
}

/* What a counted P/C<k> answers. */
inline int Expected(int k) { return (1000 + k) * 10000 + k; }

/* <name>.get() in the loader; -1 when the class is not found, -3 when get threw. */
inline int Answer(JNIEnv* env, const std::string& name, void* loader) {
  jclass c = env->functions->FindClassInLoaderId(env, name.c_str(), loader);
  if (c == nullptr) {
    env->functions->ExceptionClear(env);
    return -1;
  }
  jmethodID get = env->functions->GetStaticMethodID(env, c, "get", "()I");
  int v = get != nullptr ? env->functions->CallStaticIntMethod(env, c, get) : -2;
  if (env->functions->ExceptionCheck(env)) {
    env->functions->ExceptionClear(env);
    v = -3;
  }
  env->functions->DeleteLocalRef(env, c);
  return v;
}

inline int AnswerOf(JNIEnv* env, const std::string& pkg, int k, void* loader) {
  return Answer(env, pkg + "/C" + std::to_string(k), loader);
}

/* How many of the package's counting initialisers ran in the env's machine for the
   loader (answering P/Count initialises nothing else). */
inline int Initialisers(JNIEnv* env, const std::string& pkg, void* loader) {
  return Answer(env, pkg + "/Count", loader);
}

/* The count of counted P/C0..C(n-1) of the loader that answered wrong in the env's
   machine (answering them initialises them). */
inline int Wrong(JNIEnv* env, const std::string& pkg, int n, void* loader) {
  int wrong = 0;
  for (int k = 0; k < n; k++) wrong += AnswerOf(env, pkg, k, loader) != Expected(k);
  return wrong;
}

/* The next loader id from first on, with the written classes of dir on its path. */
inline void* NewLoaderId(const std::string& dir, uintptr_t first, int& next) {
  void* id = (void*)(first + next++);
  refhost::SetClassPath(id, dir);
  return id;
}

/* A machine of its own for each test, and the other machines of its name space made,
   entered and ended from threads of their own, this one waiting outside meanwhile. */
class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    fatal = refhost::FatalExitCount();
  }
  void TearDown() override {
    refhost::ResetHooks();
    m.Destroy();
  }

  /* The host's records of this thread back on m after another machine was made here. */
  void Rebind() {
    refhost::Functions()->AttachThreadEnv(m.jvm, m.env);
    refhost::Functions()->SetCurrentEnv(m.env);
  }
  /* Arguments that make a machine of m's name space. */
  JNICreateArgs SharingArgs() {
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.shareNameSpaceOf = m.jvm;
    return args;
  }
  /* A machine of m's name space made on this thread, which is then left attached to m
     alone. */
  void MakeSharing(JavaVM** jvm) {
    JNICreateArgs args = SharingArgs();
    JNIEnv* env = nullptr;
    ASSERT_EQ(0, JNI_CreateJavaVM(jvm, &env, &args));
    ASSERT_EQ(0, (*jvm)->functions->DetachCurrentThread(*jvm));
    Rebind();
  }
  /* Runs body on a thread attached to jvm, this one waiting outside. */
  template <class Body>
  void On(JavaVM* jvm, Body body) {
    std::thread t([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &env, nullptr));
      body(env);
      jvm->functions->DetachCurrentThread(jvm);
    });
    JoinOutside(t);
  }
  /* Ends jvm from a thread attached to it. */
  void End(JavaVM* jvm) {
    std::thread end([&] {
      JNIEnv* env = nullptr;
      ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &env, nullptr));
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    });
    JoinOutside(end);
  }
  /* A frame of another thread that cannot be told word by word counts as naming the
     loader, which then stays for another try: the other threads end their passes. */
  void Drop(void* loader) {
    for (int attempt = 0; attempt < 1000 && JNI_FindClassLoaderLite(m.env, loader) != nullptr; attempt++) {
      if (attempt > 0) WhileOutside([] { std::this_thread::yield(); });
      JNI_DestroyClassLoaderLite(m.env, JNI_FindClassLoaderLite(m.env, loader));
    }
    EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(m.env, loader)) << "a loader nothing uses stayed";
  }
  /* m collected, then other from a thread of its own. */
  void CollectBoth(JavaVM* other) {
    m.vm->GarbageCollect(false);
    On(other, [&](JNIEnv*) { other->vm->GarbageCollect(false); });
  }

  natives_test::Machine m;
  int fatal = 0;
};

}  // namespace loader_classes

#endif
