#include "classfile_fixture.h"

#include <pthread.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace classfile_test {

void ClassFileTest::SetUp() {
  refhost::ResetHooks();
  dir = TempDir("classfile");
  ASSERT_TRUE(world.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
}

void ClassFileTest::TearDown() {
  world.Destroy();
  refhost::SetClassPath(nullptr, "");
  RemoveTree(dir);
}

void ClassFileTest::Put(const std::string& name, const Bytes& bytes) {
  std::string path = dir + "/" + name + ".class";
  for (size_t k = dir.size() + 1; k < path.size(); k++)
    if (path[k] == '/') mkdir(path.substr(0, k).c_str(), 0777);
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
}

VMLoadableClass* ClassFileTest::Loaded(const char* name) {
  VMLoadableClass* c = world.Shell(name);
  EXPECT_NE(nullptr, c) << name;
  if (c != nullptr) {
    EXPECT_EQ(0, c->Load()) << name;
  }
  return c;
}

Bytes InterfaceFile(const std::string& name, const std::vector<std::string>& supers) {
  ClassBuilder c;
  c.access = 0x0601;
  c.thisClass = c.Class(name);
  c.superClass = c.Class("java/lang/Object");
  for (const std::string& s : supers) c.interfaces.push_back(c.Class(s));
  return c.Build();
}

/* ---- the stream hook ---- */

namespace {

std::mutex gHookLock;
int gDelay = 0;
std::vector<std::string> gDelayNames;
StreamHook::Generator gGenerate;
std::atomic<int> gDelayedOpens{0};
void*(HOSTCALL* gRealOpen)(const char*, JNIHostFindInZipFileFn, void*) = nullptr;

void* HOSTCALL HookedOpen(const char* name, JNIHostFindInZipFileFn finder, void* loaderId) {
  int delay = 0;
  StreamHook::Generator generate;
  {
    std::lock_guard<std::mutex> guard(gHookLock);
    bool listed = gDelayNames.empty();
    for (const std::string& n : gDelayNames) listed = listed || n == name;
    if (listed) delay = gDelay;
    generate = gGenerate;
  }
  if (delay > 0) {
    gDelayedOpens++;
    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
  }
  Bytes bytes;
  if (generate && generate(name, bytes)) return refhost::OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  return gRealOpen(name, finder, loaderId);
}

}  // namespace

StreamHook::StreamHook(Generator generate) {
  std::lock_guard<std::mutex> guard(gHookLock);
  JNIHostFunctions* host = refhost::Functions();
  if (gRealOpen == nullptr) gRealOpen = host->OpenClassStream;
  gGenerate = generate;
  gDelay = 0;
  gDelayNames.clear();
  gDelayedOpens = 0;
  host->OpenClassStream = HookedOpen;
}

StreamHook::~StreamHook() {
  std::lock_guard<std::mutex> guard(gHookLock);
  refhost::Functions()->OpenClassStream = gRealOpen;
  gDelay = 0;
  gDelayNames.clear();
  gGenerate = nullptr;
}

void StreamHook::Delay(int ms, std::vector<std::string> names) {
  std::lock_guard<std::mutex> guard(gHookLock);
  gDelay = ms;
  gDelayNames = names;
}

int StreamHook::DelayedOpens() { return gDelayedOpens.load(); }

/* ---- watchdog ---- */

struct Watchdog::State {
  std::mutex lock;
  std::condition_variable wake;
  bool disarmed = false;
  std::thread thread;
};

Watchdog::Watchdog(int seconds, const char* what) : state(new State) {
  State* s = state;
  std::string text = what;
  s->thread = std::thread([s, seconds, text] {
    std::unique_lock<std::mutex> guard(s->lock);
    if (!s->wake.wait_for(guard, std::chrono::seconds(seconds), [s] { return s->disarmed; })) {
      fprintf(stderr, "FAILED: %s did not finish within %d s (a hang)\n", text.c_str(), seconds);
      fflush(stderr);
      _exit(3);
    }
  });
}

void Watchdog::Disarm() {
  if (state == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(state->lock);
    state->disarmed = true;
  }
  state->wake.notify_all();
  state->thread.join();
  delete state;
  state = nullptr;
}

Watchdog::~Watchdog() { Disarm(); }

/* ---- threads with a given stack ---- */

void RunOnStack(size_t stackBytes, const std::function<void()>& fn) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, stackBytes);
  pthread_t thread;
  auto call = [](void* p) -> void* {
    (*(const std::function<void()>*)p)();
    return nullptr;
  };
  ASSERT_EQ(0, pthread_create(&thread, &attr, call, (void*)&fn));
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

}  // namespace classfile_test
