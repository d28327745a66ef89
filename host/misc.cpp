/* Time, host texts, console, log, exit, code modules and diagnostics. */
#include "refhost_internal.h"

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace refhost {
namespace detail {

namespace {

pthread_mutex_t gTextLock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<bool> gCapture{false};
std::string gOut, gErr, gLog;

std::atomic<bool> gFatalReturns{true};
std::atomic<int> gFatalCount{0};
std::atomic<jint> gFatalCode{0};
std::string gFatalText;

std::atomic<uint32_t> gTestHooks{0};
std::atomic<void (*)()> gTestHookCallback{nullptr};
std::atomic<jint> gDiagnosticFlag{0};

/* Host texts are handed out as static C strings; settings replace them with copies
   that are kept for the life of the process, so a pointer handed out stays valid. */
std::atomic<const char*> gJavaHome{nullptr};
std::atomic<jint> gNullTextSlot{0};
const char* const kDefaultEncodingPkg = "pux.io.converters";
std::atomic<const char*> gEncodingPkg{kDefaultEncodingPkg};
std::atomic<const char*> gTimezone{nullptr};

/* Every kept text stays reachable from this chain, replaced or not: a text handed out
   may still be in use, and a leak checker must not take it for lost. */
struct KeptText {
  KeptText* next;
};
std::atomic<KeptText*> gKeptTexts{nullptr};

const char* KeepText(const std::string& s) {
  KeptText* kept = (KeptText*)malloc(sizeof(KeptText) + s.size() + 1);
  if (!kept) return "";
  char* text = (char*)(kept + 1);
  memcpy(text, s.c_str(), s.size() + 1);
  kept->next = gKeptTexts.load();
  while (!gKeptTexts.compare_exchange_weak(kept->next, kept)) {
  }
  return text;
}

/* The console and the log may be a pipe whose reader has gone. The write then fails
   with EPIPE and the text is dropped; the SIGPIPE it raises is held back for the call
   and taken, so that a host program that does not ignore the signal lives on. */
void WriteAll(int fd, const char* bytes, size_t length) {
  sigset_t pipeSignal, old, pending;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
  /* One that was pending before is not ours to take. */
  bool pendingBefore = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
  bool broken = false;
  while (length > 0) {
    ssize_t n = write(fd, bytes, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      broken = errno == EPIPE;
      break;
    }
    bytes += n;
    length -= (size_t)n;
  }
  if (broken && !pendingBefore) {
    struct timespec none = {0, 0};
    int saved = errno;
    while (sigtimedwait(&pipeSignal, nullptr, &none) < 0 && errno == EINTR) {
    }
    errno = saved;
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

/* Plain printable ASCII is valid modified UTF-8 whatever the bytes mean to the OS. */
bool PrintableAscii(const char* s) {
  for (; *s; s++)
    if ((unsigned char)*s < 0x20 || (unsigned char)*s > 0x7E) return false;
  return true;
}

const char* DefaultJavaHome() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "/";
  exe[n] = 0;
  char* slash = strrchr(exe, '/');
  if (slash && slash != exe) *slash = 0;
  if (!PrintableAscii(exe)) return "/";
  return KeepText(exe);
}

}  // namespace

void LogBytes(const char* bytes, size_t length) {
  if (gCapture.load()) {
    pthread_mutex_lock(&gTextLock);
    gLog.append(bytes, length);
    pthread_mutex_unlock(&gTextLock);
    return;
  }
  WriteAll(2, bytes, length);
}

void LogText(const char* text) { LogBytes(text, strlen(text)); }

jlong HOSTCALL CurrentTimeMillis(void) {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return (jlong)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

const char* HOSTCALL GetJavaHome(void) {
  if (gNullTextSlot.load() == 20) return nullptr;
  const char* home = gJavaHome.load();
  if (!home) {
    const char* made = DefaultJavaHome();
    const char* expected = nullptr;
    if (!gJavaHome.compare_exchange_strong(expected, made)) made = expected;
    home = made;
  }
  return home;
}

const char* HOSTCALL GetFileEncodingPkg(void) {
  return gNullTextSlot.load() == 21 ? nullptr : gEncodingPkg.load();
}

const char* HOSTCALL GetUserTimezone(void) {
  if (gNullTextSlot.load() == 22) return nullptr;
  const char* tz = gTimezone.load();
  if (!tz) {
    const char* env = getenv("TZ");
    const char* made = (env && *env && PrintableAscii(env)) ? KeepText(env) : "GMT";
    const char* expected = nullptr;
    if (!gTimezone.compare_exchange_strong(expected, made)) made = expected;
    tz = made;
  }
  return tz;
}

void HOSTCALL ConsoleWrite(jboolean toStderr, jint length, const char* bytes) {
  if (length <= 0 || !bytes) return;
  if (gCapture.load()) {
    pthread_mutex_lock(&gTextLock);
    (toStderr ? gErr : gOut).append(bytes, (size_t)length);
    pthread_mutex_unlock(&gTextLock);
    return;
  }
  WriteAll(toStderr ? 2 : 1, bytes, (size_t)length);
}

void HOSTCALL LogMessage(jint length, const char* text) {
  if (length <= 0 || !text) return;
  LogBytes(text, (size_t)length);
}

void HOSTCALL FatalExit(jint code, const char* text) {
  if (text) {
    std::string line = std::string(text) + "\n";
    if (gCapture.load()) {
      pthread_mutex_lock(&gTextLock);
      gErr += line;
      pthread_mutex_unlock(&gTextLock);
    } else {
      WriteAll(2, line.data(), line.size());
    }
  }
  if (!gFatalReturns.load()) {
    fflush(nullptr);
    exit(code);
  }
  pthread_mutex_lock(&gTextLock);
  gFatalText = text ? text : "";
  pthread_mutex_unlock(&gTextLock);
  gFatalCode.store(code);
  gFatalCount.fetch_add(1);
}

void HOSTCALL TestHook(void) {
  gTestHooks.fetch_add(1);
  void (*cb)() = gTestHookCallback.load();
  if (cb) cb();
}

JNIHostModuleEntryFn HOSTCALL LoadCodeModule(const char* name) {
  if (!name || !*name) return nullptr;
  void* module = dlopen(name, RTLD_NOW | RTLD_GLOBAL);
  if (!module) return nullptr;
  return (JNIHostModuleEntryFn)dlsym(module, kModuleEntrySymbol);
}

void* HOSTCALL OpenCodeResource(const char*) {
  /* The global scope: natives linked into the program (with -rdynamic) and every
     library loaded with RTLD_GLOBAL. */
  return dlopen(nullptr, RTLD_NOW);
}

void* HOSTCALL FindCodeSymbol(void* module, const char* symbol, jint) {
  /* ELF names carry no argument size, so the word count has nothing to check against. */
  if (!module || !symbol) return nullptr;
  return dlsym(module, symbol);
}

JNIHostJitSupport* HOSTCALL GetJitSupport(void) { return nullptr; }

jint HOSTCALL IsValidAddress(jlong value) { return (value >= 4096 && value <= 0xFFFFFFFFLL) ? 0 : 1; }

/* The collection stress the machine asks for with (116, 0): from PUX_GC_STRESS at
   start-up (a count, or 0), so that a whole test program runs stressed; tests may set
   their own. */
uint32_t StressFromEnvironment() {
  const char* text = getenv("PUX_GC_STRESS");
  if (text == nullptr || *text == 0) return 0;
  long n = strtol(text, nullptr, 10);
  return n > 0 ? (uint32_t)n : 0;
}
std::atomic<uint32_t> gCollectionStress{StressFromEnvironment()};

jint HOSTCALL QueryDiagnosticFlag(jint a, jint b) {
  if (a == kCollectionStressQuery && b == 0) return (jint)gCollectionStress.load(std::memory_order_relaxed);
  return gDiagnosticFlag.load(std::memory_order_relaxed);
}

void HOSTCALL ReportError(jint code, const char* text) {
  char line[400];
  snprintf(line, sizeof line, "refhost: error %d: %s\n", (int)code, text ? text : "");
  LogText(line);
}

void ResetMiscHooks() {
  gCapture.store(false);
  pthread_mutex_lock(&gTextLock);
  gOut.clear();
  gErr.clear();
  gLog.clear();
  gFatalText.clear();
  pthread_mutex_unlock(&gTextLock);
  gFatalReturns.store(true);
  gFatalCount.store(0);
  gFatalCode.store(0);
  gTestHooks.store(0);
  gTestHookCallback.store(nullptr);
  gDiagnosticFlag.store(0);
  gCollectionStress.store(StressFromEnvironment());
  gJavaHome.store(nullptr);
  gNullTextSlot.store(0);
  gEncodingPkg.store(kDefaultEncodingPkg);
  gTimezone.store(nullptr);
}

}  // namespace detail

using namespace detail;

void SetCapture(bool on) { gCapture.store(on); }
void SetCollectionStress(uint32_t n) { gCollectionStress.store(n); }
uint32_t CollectionStress() { return gCollectionStress.load(); }

std::string CapturedStdout() {
  pthread_mutex_lock(&gTextLock);
  std::string s = gOut;
  pthread_mutex_unlock(&gTextLock);
  return s;
}

std::string CapturedStderr() {
  pthread_mutex_lock(&gTextLock);
  std::string s = gErr;
  pthread_mutex_unlock(&gTextLock);
  return s;
}

std::string CapturedLog() {
  pthread_mutex_lock(&gTextLock);
  std::string s = gLog;
  pthread_mutex_unlock(&gTextLock);
  return s;
}

void SetFatalExitReturns(bool on) { gFatalReturns.store(on); }
int FatalExitCount() { return gFatalCount.load(); }
jint LastFatalExitCode() { return gFatalCode.load(); }

std::string LastFatalExitText() {
  pthread_mutex_lock(&gTextLock);
  std::string s = gFatalText;
  pthread_mutex_unlock(&gTextLock);
  return s;
}

uint32_t TestHookCount() { return gTestHooks.load(); }
void SetTestHookCallback(void (*callback)()) { gTestHookCallback.store(callback); }
void SetDiagnosticFlag(jint value) { gDiagnosticFlag.store(value); }

void SetJavaHome(const std::string& path) { gJavaHome.store(KeepText(path)); }
void SetFileEncodingPkg(const std::string& pkg) { gEncodingPkg.store(KeepText(pkg)); }
void SetUserTimezone(const std::string& tz) { gTimezone.store(KeepText(tz)); }
void SetNullHostText(jint slot) { gNullTextSlot.store(slot); }

}  // namespace refhost
