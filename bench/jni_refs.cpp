/* Many references on one thread: N global references (one object each) and 4N local
   references, for N = 25,000, 50,000 and 100,000, each on a fresh machine. Figures: the
   time per reference and the machine heap's bytes per reference once all are made. Both
   stay flat as N grows when growth is linear; a slot array grown by a fixed step makes
   the time per reference grow with N (and, for globals, the bytes too).

   Usage: bench_jni_refs */
#include <stdio.h>
#include <stdlib.h>

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

}  // namespace

int main() {
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
  return 0;
}
