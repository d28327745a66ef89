/* Creating and destroying machines through the exported entries, beside the reference
   machine starting an empty main (java -Xint) on the same host.

   Figures: a first machine (a name space of its own: the class library starts up) and a
   second machine on the first one's name space, each made and destroyed many times; the
   wall time of one create + destroy (best of the runs) and the host memory the machine
   holds once made (the bytes in use on its heaps and in process memory). The reference
   figure is the whole java process: wall time and peak resident memory.

   "bench_jni_create once" makes and destroys one first machine and exits, for timing the
   whole process from outside (farm-bench ... --vs 'java -Xint -cp DIR EmptyMain'). */
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "bench_util.h"
#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmnamespace.h"

namespace {

JNICreateArgs Args(JavaVM* share) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = "bench";
  args.shareNameSpaceOf = share;
  return args;
}

JavaVM* Make(JavaVM* share, JNIEnv** env) {
  JavaVM* vm = nullptr;
  JNICreateArgs args = Args(share);
  if (JNI_CreateJavaVM(&vm, env, &args) != 0) {
    fprintf(stderr, "machine creation failed\n");
    exit(1);
  }
  return vm;
}

/* The reference machine's empty main, timed from fork to exit, with its peak RSS. */
void RunReference(const std::string& dir, double* bestSeconds, long* peakKiB) {
  *bestSeconds = 1e30;
  *peakKiB = 0;
  for (int run = 0; run < 5; run++) {
    bench::Clock::time_point start = bench::Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      freopen("/dev/null", "w", stderr);
      execlp("java", "java", "-Xint", "-cp", dir.c_str(), "EmptyMain", (char*)nullptr);
      _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    double seconds = bench::Seconds(start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      *bestSeconds = -1;
      return;
    }
    if (seconds < *bestSeconds) *bestSeconds = seconds;
    if (usage.ru_maxrss > *peakKiB) *peakKiB = usage.ru_maxrss;
  }
}

}  // namespace

int main(int argc, char** argv) {
  JNI_SetHostFunctions(refhost::Functions());
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  JNIEnv* env = nullptr;
  if (argc > 1 && strcmp(argv[1], "once") == 0) {
    JavaVM* vm = Make(nullptr, &env);
    return vm->functions->DestroyJavaVM(vm);
  }

  // A first machine: a name space of its own each time.
  uint64_t firstBytes = 0;
  double first = bench::Best(
      [&] {
        uint64_t process = refhost::BytesInUse(nullptr);
        JavaVM* vm = Make(nullptr, &env);
        firstBytes = refhost::BytesInUse(vm->nameSpace->GetHeap()) + refhost::BytesInUse(vm->heap) +
                     (refhost::BytesInUse(nullptr) - process);
        vm->functions->DestroyJavaVM(vm);
      },
      20);

  // A second machine on the first one's name space.
  JavaVM* a = Make(nullptr, &env);
  uint64_t secondBytes = 0;
  double second = bench::Best(
      [&] {
        uint64_t process = refhost::BytesInUse(nullptr);
        uint64_t shared = refhost::BytesInUse(a->nameSpace->GetHeap());
        JNIEnv* envB = nullptr;
        JavaVM* b = Make(a, &envB);
        secondBytes = refhost::BytesInUse(b->heap) + (refhost::BytesInUse(a->nameSpace->GetHeap()) - shared) +
                      (refhost::BytesInUse(nullptr) - process);
        b->functions->DestroyJavaVM(b);
      },
      200);
  refhost::Functions()->AttachThreadEnv(a, env);
  refhost::Functions()->SetCurrentEnv(env);
  a->functions->DestroyJavaVM(a);

  double java = 0;
  long javaPeak = 0;
  RunReference(std::string(PUX_BUILD_DIR) + "/testclasses/bench", &java, &javaPeak);

  printf("%-40s %12s %14s\n", "", "wall ms", "host memory KiB");
  printf("%-40s %12.3f %14.1f\n", "first machine: create + destroy", first * 1e3, firstBytes / 1024.0);
  printf("%-40s %12.3f %14.1f\n", "second machine (shared name space)", second * 1e3, secondBytes / 1024.0);
  if (java > 0)
    printf("%-40s %12.3f %14ld  (peak RSS of the process)\n", "java -Xint, empty main (whole process)",
           java * 1e3, javaPeak);
  else
    printf("%-40s %12s\n", "java -Xint, empty main", "not run");
  return 0;
}
