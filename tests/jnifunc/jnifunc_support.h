/* The world of the native-interface tests: a machine over the class library and the test
   classes of tests/java/jnifunc (plus a few class files made here byte by byte), driven
   through the env function table as a host or a native would drive it. */
#ifndef PUX_TESTS_JNIFUNC_SUPPORT_H
#define PUX_TESTS_JNIFUNC_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "interp_support.h"
#include "refhost.h"

namespace jnifunc_test {

/* A second machine on the world's name space, with the calling host thread attached to
   it while it is in use (Use switches the thread's env). */
struct Machine {
  JavaVM* jvm = nullptr;
  VM* vm = nullptr;
  JNIEnv* env = nullptr;
  bool Create(VMNameSpace* ns);
  void Destroy();
};

/* Attaches the calling host thread (another one than the world's) to a machine. */
JNIEnv* AttachThisThread(JavaVM* jvm);
void DetachThisThread(JavaVM* jvm);

class JniTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* FindClass through the table; a failure is a test failure. */
  jclass Cls(const char* name);
  jmethodID Method(const char* cls, const char* name, const char* sig);
  jmethodID StaticMethod(const char* cls, const char* name, const char* sig);
  jfieldID Field(const char* cls, const char* name, const char* sig);
  jfieldID StaticField(const char* cls, const char* name, const char* sig);
  /* A new object of the class made by its no-argument constructor. */
  jobject New(const char* cls);

  /* The dotted class name of the pending exception ("" when none), which is cleared;
     its message goes to message. */
  std::string Thrown();
  /* The used count of the calling thread's local references. */
  jint Locals();
  /* The object behind a handle. */
  VMObject* Obj(jobject handle) { return VMJniHandle::UnHandle(env, handle); }
  std::string Text(jstring s);

  interp_test::World world;
  JNIEnv* env = nullptr;
  const JNINativeInterface_* f = nullptr;
  std::string message;
  std::string genDir;
};

}  // namespace jnifunc_test

#endif
