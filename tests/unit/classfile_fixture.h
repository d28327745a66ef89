/* The fixture of the class-file tests that load classes by name: a class world whose
   system class path is a fresh directory of test classes followed by the class library,
   and the tools that hostile cases need: class streams slowed down for chosen names, a
   watchdog that turns a hang into a failure, and threads with a chosen stack size. */
#ifndef PUX_TESTS_CLASSFILE_FIXTURE_H
#define PUX_TESTS_CLASSFILE_FIXTURE_H

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "classfile_support.h"
#include "classfile_world.h"

namespace classfile_test {

class ClassFileTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* Writes a class file into the test class directory. */
  void Put(const std::string& name, const Bytes& bytes);
  /* The shell of a class of the system loader, loaded (a failure is reported). */
  VMLoadableClass* Loaded(const char* name);

  ClassWorld world;
  std::string dir;
};

/* An interface extending the given interfaces. */
Bytes InterfaceFile(const std::string& name, const std::vector<std::string>& supers);

/* While alive, the host's class streams go through this hook: a class the generator
   makes (it gets the class name and fills the bytes) is served from memory, every other
   one from the class path; and after Delay, the streams of the named classes (all of
   them when names is empty) open only after a pause, counted by DelayedOpens. */
class StreamHook {
 public:
  typedef std::function<bool(const std::string& name, Bytes& bytes)> Generator;
  explicit StreamHook(Generator generate = nullptr);
  ~StreamHook();
  void Delay(int ms, std::vector<std::string> names = {});
  static int DelayedOpens();
};

/* Ends the process with a message when Disarm is not called within the time: a test
   whose threads hang fails instead of stalling the suite. */
class Watchdog {
 public:
  Watchdog(int seconds, const char* what);
  ~Watchdog();
  void Disarm();

 private:
  struct State;
  State* state;
};

/* Runs fn on a new thread with a stack of the given size and waits for it. */
void RunOnStack(size_t stackBytes, const std::function<void()>& fn);

}  // namespace classfile_test

#endif
