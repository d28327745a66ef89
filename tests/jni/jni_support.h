/* Shared set-up of the native-interface tests: machines made through the exported
   entries on the reference host, over the class library and the test classes, with the
   process state and the host's memory checked to be back where they were after each
   test. */
#ifndef PUX_TESTS_JNI_SUPPORT_H
#define PUX_TESTS_JNI_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmjni_functions.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace jni_test {

std::string TestClasses();
std::string AltTestClasses();
std::string LibraryZip();

/* Fails the test and ends the process at once: what it names blocked for good, and
   nothing else could end the threads or the machine. */
[[noreturn]] void Blocked(const char* what);

/* A host thread attached to vm that waits declared (stage 1) until stage is 2, then
   detaches. */
void AttachedUntilLetGo(JavaVM* vm, std::atomic<int>& stage);

/* Ends the process with what after ms unless disarmed (destroyed) first. */
struct Watchdog {
  std::atomic<bool> done{false};
  std::thread t;
  Watchdog(int ms, const char* what) {
    t = std::thread([this, ms, what] {
      for (int i = 0; i < ms && !done.load(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (!done.load()) Blocked(what);
    });
  }
  ~Watchdog() {
    done = true;
    t.join();
  }
};

class JniTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* Default arguments on the reference host; version is the library version. */
  JNICreateArgs Args(int version = 1);
  /* A machine made on the calling thread; fails the test when creation fails. */
  JavaVM* Create(JNIEnv** env, JavaVM* share = nullptr, int version = 1);
  JavaVM* Create(JNIEnv** env, const JNICreateArgs& args);
  /* DestroyJavaVM, expecting 0. */
  void Destroy(JavaVM* vm);
  /* What a host does with a machine it abandoned (its only one, env its creating
     thread's): frees it itself, records, heap and all, and takes the thread's binding
     away. The heap's leak reports are expected: the machine's objects were never
     released. */
  void FreeAbandoned(JavaVM* vm, JNIEnv* env);

  /* The pending exception's description ("" when none), and its class's dotted name. */
  static std::string PendingText(JNIEnv* env);
  static std::string PendingClass(JNIEnv* env);
  /* Runs fn and waits up to ms for it on a helper thread; false when it did not end. */
  static bool EndsWithin(int ms, const std::function<void()>& fn);
  static bool WaitFor(const std::function<bool()>& cond, int ms = 5000);
  /* Whether the process state (the cells) exists. */
  static bool ProcessStateExists();

  JNIHostFunctions* host = nullptr;
  uint32_t processBlocksBefore = 0;
  uint32_t leakReportsBefore = 0;
};

}  // namespace jni_test

#endif
