/* A machine made through JNI_CreateJavaVM on the reference host, with the class library
   started and its natives registered, and the Java classes of tests/java/natives on the
   class path before the library. Java methods run through the interpreter directly;
   natives are also reached by their registered rows. */
#ifndef PUX_TESTS_NATIVES_SUPPORT_H
#define PUX_TESTS_NATIVES_SUPPORT_H

#include <stdint.h>

#include <initializer_list>
#include <string>

#include "refhost.h"
#include "vm.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace natives_test {

/* One call's result: its words and what it threw (class, message, and the class and
   message of an ExceptionInInitializerError's cause). */
struct Outcome {
  VMword words[2] = {0, 0};
  std::string thrown;
  std::string message;
  std::string cause;
  int32_t Int() const { return (int32_t)words[0]; }
  int64_t Long() const { return (int64_t)((uint64_t)words[1] << 32 | words[0]); }
  VMObject* Object() const { return (VMObject*)words[0]; }
};

class Machine {
 public:
  /* A machine of the class-library version; false when creation fails. The classes of
     the suite tests/java/<suite> go on the class path before the natives' own (several
     suites: "a:b", in that order). */
  bool Create(int32_t version = 1, const char* suite = nullptr);
  void Destroy();

  /* Console and log go to the host's capture buffers from before creation on. */
  bool captureFromStart = false;
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  VM* vm = nullptr;
  VMNameSpace* ns = nullptr;

  VMLoadableClass* Class(const char* name);
  Outcome Call(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args = {});
  /* The text of a String object; "<null>" for none. */
  std::string Text(VMObject* string);
  /* A call whose result is a String. */
  std::string CallText(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args = {});
  /* A String held by a local reference, as is the object a Call answers. */
  VMObject* String(const char* text);
  jobject Local(VMObject* object) { return VMJniHandle::NewLocal(env, object); }
  /* The class name of the pending exception, which is cleared; empty when none. */
  std::string TakeException(Outcome* into = nullptr);
  /* The function of a registered row; nullptr when the class has no such row. */
  void* Native(const char* cls, const char* name, const char* sig);
};

/* The folder of the compiled Java classes of tests/java/<suite>. */
std::string ClassDir(const char* suite);

/* n times " word": the expected text of a run of like answers. */
inline std::string Repeat(const char* word, int n) {
  std::string text;
  for (int i = 0; i < n; i++) text += std::string(" ") + word;
  return text;
}

}  // namespace natives_test

#endif
