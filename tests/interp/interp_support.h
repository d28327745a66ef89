/* The least world in which Java runs: a name space with the parts of its start-up that
   the interpreter reads (well-known names, primitive and array classes, the system loader
   on the test classes and the class library, the exception classes), a machine with its
   pre-made OutOfMemoryError and an attached thread. The class library's own start-up and
   its natives are later work: the only native the tests need of it is stood in for here
   (Throwable.fillInStackTrace). Shared by the tests and the interpreter benchmark. */
#ifndef PUX_TESTS_INTERP_SUPPORT_H
#define PUX_TESTS_INTERP_SUPPORT_H

#include <stdint.h>

#include <string>

#include "refhost.h"
#include "vm.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace interp_test {

/* One result of a call: the words and the class name of what it threw (empty when
   nothing), with the throwable's message and wrapped exception's class when there is one. */
struct Outcome {
  VMword words[2] = {0, 0};
  std::string thrown;
  std::string message;
  std::string cause;
  VMJavaLangThrowable* exception = nullptr;
  int32_t Int() const { return (int32_t)words[0]; }
  int64_t Long() const { return (int64_t)((uint64_t)words[1] << 32 | words[0]); }
  VMObject* Object() const { return (VMObject*)words[0]; }
};

class World {
 public:
  /* classDir: a directory of compiled test classes (before the class library on the
     class path); stackBytes: the machine's default stack size. */
  bool Create(const std::string& classDir, uint32_t stackBytes = 1024);
  void Destroy();

  /* A second machine on the same name space, with a thread of its own attached on the
     calling host thread (the env is switched to it; Use switches back). */
  JNIEnv* env = nullptr;
  VM* vm = nullptr;
  VMNameSpace* ns = nullptr;
  JavaVM* jvm = nullptr;

  VMLoadableClass* Class(const char* name);
  VMMethod* Method(const char* cls, const char* name, const char* sig);
  /* Runs a static method (or an instance one with the receiver first in args). */
  Outcome Call(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args = {});
  Outcome Call(VMMethod* method, std::initializer_list<VMword> args);
  /* The class name of the pending exception (cleared), empty when none. */
  std::string TakeException(Outcome* into = nullptr);
  VMJavaLangString* String(const char* text);
  std::string Text(VMObject* string);

  /* Attaches / detaches the calling host thread to this world's machine. */
  JNIEnv* Attach();
  void Detach();
};

/* The directory of the compiled classes of tests/java/<suite> (built by CMake). */
std::string ClassDir(const char* suite);

}  // namespace interp_test

#endif
