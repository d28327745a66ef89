/* Many references on one thread: N global references (one object each) and 4N local
   references, for N = 25,000, 50,000 and 100,000, each on a fresh machine. Figures: the
   time per reference and the machine heap's bytes per reference once all are made. Both
   stay flat as N grows when growth is linear; a slot array grown by a fixed step makes
   the time per reference grow with N (and, for globals, the bytes too).

   Then a server's request bracket (GetHighWaterMarks, three globals, DeleteRefs of
   kind 1) while the thread holds N globals made before (its caches): rows of kind
   "bracket", N = 0, 1,000, 10,000 and 100,000, the third column the nanoseconds per
   bracket (the thread's processor time, the best of seven rounds of at least 20 ms). A
   bracket costs what it made: the rows stay flat as N grows.

   Then the same bracket among other threads, each row "kind count value" (one core):
   - bracket-idle, K = 0, 64 and 256: K attached threads have each served one request
     bracket and wait; the nanoseconds per bracket of one more thread (as above). A
     bracket belongs to its thread: the rows stay flat as K grows.
   - bracket-churn, K = 1,000: K short-lived threads, one after another, each attached,
     bracketed once, detached and ended (no collection meanwhile); then the same.
   - locals-count, 200,000: brackets of one local (DeleteRefs of kind 0) on two threads
     in turn, whose marks read the same; the machine's global count at the end less at
     the start: 0, taking marks writes no shared count.
   - bracket-busy, 64: 64 threads bracket requests at once for a second; brackets per
     second, all threads together.
   - cache-plain and cache-refresh, 1,000,000: a thread keeps a cache of 10 globals
     fresh (each refresh a new global, then the old one deleted), one that never took
     marks and one that served one request bracket first; nanoseconds of the thread's
     processor time per refresh, the best of three rounds of 1,000,000. The thread that
     bracketed logs each global it puts below the bracket's marks, and its log stays as
     small as its cache: the second row stays near the first.
   - cache-busy, 64: 64 threads each serve one request bracket, then keep a cache of 10
     globals fresh at once for a second; refreshes per second, all threads together.
     Their globals fill each other's holes below their marks, so each logs them and
     compacts its log, reading the owners under the name space's spin lock.

   Usage: bench_jni_refs [KIND...] (only the rows of those kinds) */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmhandlearray.h"
#include "vmjni.h"

namespace {

JavaVM* Make(JNIEnv** env) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = "bench";
  JavaVM* vm = nullptr;
  if (JNI_CreateJavaVM(&vm, env, &args) != 0) {
    fprintf(stderr, "machine creation failed\n");
    exit(1);
  }
  return vm;
}

/* Seconds for n references of the kind, and the heap bytes they added. */
void Run(bool global, int n, double* seconds, double* bytes) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  const JNINativeInterface_* f = env->functions;
  jclass objectClass = f->FindClass(env, "java/lang/Object");
  jmethodID init = f->GetMethodID(env, objectClass, "<init>", "()V");
  HHeap* heap = vm->vm->GetHeap();
  uint64_t before = refhost::BytesInUse(heap);
  bench::Clock::time_point start = bench::Clock::now();
  for (int i = 0; i < n; i++) {
    if (global) {
      jobject o = f->NewObject(env, objectClass, init);
      jobject g = o != nullptr ? f->NewGlobalRef(env, o) : nullptr;
      f->DeleteLocalRef(env, o);
      if (g == nullptr) {
        fprintf(stderr, "global reference %d refused\n", i + 1);
        exit(1);
      }
    } else if (f->NewLocalRef(env, objectClass) == nullptr) {
      fprintf(stderr, "local reference %d refused\n", i + 1);
      exit(1);
    }
  }
  *seconds = bench::Seconds(start);
  *bytes = (double)(refhost::BytesInUse(heap) - before);
  vm->functions->DestroyJavaVM(vm);
}

/* A server's request bracket: marks, three globals, DeleteRefs of kind 1. */
void Request(JNIEnv* env, jobject text) {
  const JNINativeInterface_* f = env->functions;
  jint marks[3];
  f->GetHighWaterMarks(env, marks);
  for (int i = 0; i < 3; i++) f->NewGlobalRef(env, text);
  f->DeleteRefs(env, marks, 1);
}

/* Nanoseconds of the thread's processor time per request bracket, the best of seven
   rounds of at least 20 ms. */
double TimeRequests(JNIEnv* env, jobject text) {
  double best = 1e30;
  for (int round = 0; round < 7; round++) {
    long brackets = 0;
    const double start = bench::ThreadSeconds();
    double seconds = 0;
    do {
      for (int r = 0; r < 50; r++) Request(env, text);
      brackets += 50;
      seconds = bench::ThreadSeconds() - start;
    } while (seconds < 0.02);
    best = std::min(best, seconds * 1e9 / (double)brackets);
  }
  return best;
}

/* Nanoseconds per request bracket while the thread holds `held` globals. */
double Bracket(int held) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  const JNINativeInterface_* f = env->functions;
  jobject text = f->NewStringUTF(env, "request");
  for (int i = 0; i < held; i++) {
    if (f->NewGlobalRef(env, text) == nullptr) {
      fprintf(stderr, "global reference %d refused\n", i + 1);
      exit(1);
    }
  }
  const double best = TimeRequests(env, text);
  vm->functions->DestroyJavaVM(vm);
  return best;
}

JNIEnv* Attach(JavaVM* vm) {
  JNIEnv* env = nullptr;
  if (vm->functions->AttachCurrentThread(vm, &env, nullptr) != 0) {
    fprintf(stderr, "attach refused\n");
    exit(1);
  }
  return env;
}

/* Nanoseconds per request bracket of one thread after `others` threads have each served
   one: idle ones that stay attached, waiting outside the machine, or (churn) short-lived
   ones that came and went one after another. */
double BracketAmong(int others, bool churn) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  jobject text = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, "request"));
  std::atomic<int> served{0};
  std::mutex lock;
  std::condition_variable stopped;
  bool stop = false;
  std::vector<std::thread> idle;
  for (int t = 0; t < others; t++) {
    std::thread one([&] {
      JNIEnv* mine = Attach(vm);
      Request(mine, text);
      served++;
      if (!churn)
        WhileOutside([&] {
          std::unique_lock<std::mutex> hold(lock);
          stopped.wait(hold, [&] { return stop; });
        });
      vm->functions->DetachCurrentThread(vm);
    });
    if (churn) JoinOutside(one);
    else idle.push_back(std::move(one));
  }
  WhileOutside([&] {
    while (served.load() < others) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  double best = 0;
  std::thread measure([&] {
    JNIEnv* mine = Attach(vm);
    best = TimeRequests(mine, text);
    vm->functions->DetachCurrentThread(vm);
  });
  JoinOutside(measure);
  {
    std::lock_guard<std::mutex> hold(lock);
    stop = true;
  }
  stopped.notify_all();
  JoinOutside(idle);
  vm->functions->DestroyJavaVM(vm);
  return best;
}

/* The machine's global count after `brackets` brackets of one local each, deleted by
   kind 0, on two threads in turn, less the count before. */
double LocalsCount(long brackets) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  jobject text = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, "request"));
  VMObjectHandleArray* globals = vm->vm->GetJNIHandleArray();
  const uint32_t before = globals->GetCount();
  std::atomic<long> turn{0};
  std::vector<std::thread> two;
  for (int t = 0; t < 2; t++) {
    two.emplace_back([&, t] {
      JNIEnv* mine = Attach(vm);
      const JNINativeInterface_* m = mine->functions;
      for (;;) {
        long now = 0;
        WhileOutside([&] {
          while ((now = turn.load()) % 2 != t && now < brackets) std::this_thread::yield();
        });
        if (now >= brackets) break;
        jint marks[3];
        m->GetHighWaterMarks(mine, marks);
        m->NewLocalRef(mine, text);
        m->DeleteRefs(mine, marks, 0);
        turn++;
      }
      vm->functions->DetachCurrentThread(vm);
    });
  }
  JoinOutside(two);
  const double grown = (double)globals->GetCount() - (double)before;
  vm->functions->DestroyJavaVM(vm);
  return grown;
}

/* The work per second of `threads` threads attached to vm at once: each runs
   body(env, start), which calls start() once it is set up and answers the work it did
   from then on; start() holds it until every thread is set up, and the clock runs from
   then until the last thread is done. */
template <class Body>
double PerSecondOfThreads(JavaVM* vm, int threads, Body body) {
  std::atomic<int> ready{0};
  std::atomic<long> total{0};
  std::atomic<bool> go{false};
  auto start = [&] {
    ready++;
    WhileOutside([&] {
      while (!go.load()) std::this_thread::yield();
    });
  };
  std::vector<std::thread> all;
  for (int t = 0; t < threads; t++) {
    all.emplace_back([&] {
      JNIEnv* mine = Attach(vm);
      total += body(mine, start);
      vm->functions->DetachCurrentThread(vm);
    });
  }
  WhileOutside([&] {
    while (ready.load() < threads) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  const bench::Clock::time_point begin = bench::Clock::now();
  go = true;
  JoinOutside(all);
  return (double)total.load() / bench::Seconds(begin);
}

/* Request brackets per second of `threads` threads bracketing at once for a second. */
double BracketsBusy(int threads) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  jobject text = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, "request"));
  const double perSecond = PerSecondOfThreads(vm, threads, [&](JNIEnv* mine, auto start) {
    start();
    long brackets = 0;
    const bench::Clock::time_point end = bench::Clock::now() + std::chrono::seconds(1);
    while (bench::Clock::now() < end) {
      for (int r = 0; r < 10; r++) Request(mine, text);
      brackets += 10;
    }
    return brackets;
  });
  vm->functions->DestroyJavaVM(vm);
  return perSecond;
}

/* Refreshes per second of caches of 10 globals kept fresh by `threads` threads at once,
   each after one request bracket. */
double CachesBusy(int threads) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  jobject text = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, "cached"));
  const double perSecond = PerSecondOfThreads(vm, threads, [&](JNIEnv* mine, auto start) {
    const JNINativeInterface_* f = mine->functions;
    std::vector<jobject> cache;
    for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(mine, text));
    Request(mine, text);
    start();
    long refreshes = 0;
    const bench::Clock::time_point end = bench::Clock::now() + std::chrono::seconds(1);
    while (bench::Clock::now() < end) {
      for (size_t r = 0; r < 100; r++) {
        jobject fresh = f->NewGlobalRef(mine, text);
        if (fresh == nullptr) {
          fprintf(stderr, "cache-busy: global refused\n");
          exit(1);
        }
        f->DeleteGlobalRef(mine, cache[r % cache.size()]);
        cache[r % cache.size()] = fresh;
      }
      refreshes += 100;
    }
    for (jobject g : cache) f->DeleteGlobalRef(mine, g);
    return refreshes;
  });
  vm->functions->DestroyJavaVM(vm);
  return perSecond;
}

/* Nanoseconds of the thread's processor time per refresh of a cache of 10 globals, the
   best of three rounds of `refreshes`; after one request bracket when bracketed. */
double CacheRefresh(long refreshes, bool bracketed) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Make(&env);
  const JNINativeInterface_* f = env->functions;
  jobject text = f->NewStringUTF(env, "cached");
  std::vector<jobject> cache;
  for (int i = 0; i < 10; i++) cache.push_back(f->NewGlobalRef(env, text));
  if (bracketed) Request(env, text);
  double best = 1e30;
  for (int round = 0; round < 3; round++) {
    const double start = bench::ThreadSeconds();
    for (long r = 0; r < refreshes; r++) {
      jobject fresh = f->NewGlobalRef(env, text);
      if (fresh == nullptr) {
        fprintf(stderr, "refresh %ld: global refused\n", r + 1);
        exit(1);
      }
      jobject& held = cache[(size_t)r % cache.size()];
      f->DeleteGlobalRef(env, held);
      held = fresh;
    }
    best = std::min(best, (bench::ThreadSeconds() - start) * 1e9 / (double)refreshes);
  }
  vm->functions->DestroyJavaVM(vm);
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  if (getenv("ONLY")) { for (int k = 0; k < 10; k++) printf("%.1f\n", Bracket(atoi(getenv("ONLY")))); return 0; }
  auto Wanted = [&](const char* kind) {
    for (int i = 1; i < argc; i++)
      if (strcmp(argv[i], kind) == 0) return true;
    return argc < 2;
  };
  printf("%-13s %9s %12s %14s\n", "kind", "count", "ns/ref", "heap bytes/ref");
  for (int pass = 0; pass < 2; pass++) {
    const bool global = pass == 0;
    if (!Wanted(global ? "global" : "local")) continue;
    for (int n = 25000; n <= 100000; n *= 2) {
      const int count = global ? n : 4 * n;
      double seconds = 0, bytes = 0;
      Run(global, count, &seconds, &bytes);
      printf("%-13s %9d %12.1f %14.1f\n", global ? "global" : "local", count, seconds * 1e9 / count, bytes / count);
    }
  }
  if (Wanted("bracket"))
    for (int held : {0, 1000, 10000, 100000}) printf("%-13s %9d %12.1f %14s\n", "bracket", held, Bracket(held), "-");
  if (Wanted("bracket-idle"))
    for (int idle : {0, 64, 256})
      printf("%-13s %9d %12.1f %14s\n", "bracket-idle", idle, BracketAmong(idle, false), "-");
  if (Wanted("bracket-churn")) printf("%-13s %9d %12.1f %14s\n", "bracket-churn", 1000, BracketAmong(1000, true), "-");
  if (Wanted("locals-count")) printf("%-13s %9d %12.0f %14s\n", "locals-count", 200000, LocalsCount(200000), "-");
  if (Wanted("bracket-busy")) printf("%-13s %9d %12.0f %14s\n", "bracket-busy", 64, BracketsBusy(64), "-");
  if (Wanted("cache-plain")) printf("%-13s %9d %12.1f %14s\n", "cache-plain", 1000000, CacheRefresh(1000000, false), "-");
  if (Wanted("cache-refresh"))
    printf("%-13s %9d %12.1f %14s\n", "cache-refresh", 1000000, CacheRefresh(1000000, true), "-");
  if (Wanted("cache-busy")) printf("%-13s %9d %12.0f %14s\n", "cache-busy", 64, CachesBusy(64), "-");
  return 0;
}
