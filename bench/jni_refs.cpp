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

   Usage: bench_jni_refs */
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "bench_util.h"
#include "refhost.h"
#include "vm.h"
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
  double best = 1e30;
  for (int round = 0; round < 7; round++) {
    long brackets = 0;
    const double start = bench::ThreadSeconds();
    double seconds = 0;
    do {
      for (int r = 0; r < 50; r++) {
        jint marks[3];
        f->GetHighWaterMarks(env, marks);
        for (int i = 0; i < 3; i++) f->NewGlobalRef(env, text);
        f->DeleteRefs(env, marks, 1);
      }
      brackets += 50;
      seconds = bench::ThreadSeconds() - start;
    } while (seconds < 0.02);
    best = std::min(best, seconds * 1e9 / (double)brackets);
  }
  vm->functions->DestroyJavaVM(vm);
  return best;
}

}  // namespace

int main() {
  if (getenv("ONLY")) { refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip"); for (int k = 0; k < 10; k++) printf("%.1f\n", Bracket(atoi(getenv("ONLY")))); return 0; }
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  printf("%-8s %9s %12s %14s\n", "kind", "count", "ns/ref", "heap bytes/ref");
  for (int pass = 0; pass < 2; pass++) {
    const bool global = pass == 0;
    for (int n = 25000; n <= 100000; n *= 2) {
      const int count = global ? n : 4 * n;
      double seconds = 0, bytes = 0;
      Run(global, count, &seconds, &bytes);
      printf("%-8s %9d %12.1f %14.1f\n", global ? "global" : "local", count, seconds * 1e9 / count, bytes / count);
    }
  }
  for (int held : {0, 1000, 10000, 100000}) printf("%-8s %9d %12.1f %14s\n", "bracket", held, Bracket(held), "-");
  return 0;
}
