/* A host thread attaching to a machine and detaching again, through the exported entries:
   with no other thread attached, and with many other host threads attached (each waiting
   in a declared wait, as a host's idle workers do), which the attach's look for the
   thread's own record walks past.

   Figures: nanoseconds per attach + detach, best of the runs. "bench_jni_attach N" keeps
   N other threads attached (default 500). */
#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "bench_util.h"
#include "refhost.h"
#include "vm.h"
#include "vmjni.h"
#include "vmthread.h"

namespace {

const int kAttaches = 5000;

/* Best nanoseconds per attach + detach of a host thread new to the machine each run. */
double AttachDetachNs(JavaVM* vm) {
  double best = 1e30;
  std::thread t([&] {
    best = bench::Best(
               [&] {
                 for (int i = 0; i < kAttaches; i++) {
                   JNIEnv* mine = nullptr;
                   vm->functions->AttachCurrentThread(vm, &mine, nullptr);
                   vm->functions->DetachCurrentThread(vm);
                 }
               },
               7) *
           1e9 / kAttaches;
  });
  t.join();
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int idle = argc > 1 ? atoi(argv[1]) : 500;
  JNI_SetHostFunctions(refhost::Functions());
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip");
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = "bench";
  if (JNI_CreateJavaVM(&vm, &env, &args) != 0) {
    fprintf(stderr, "machine creation failed\n");
    return 1;
  }
  // The creating thread waits declared while the others attach and detach: their
  // attaches and Thread objects may collect.
  VM::EnterSafeRegion(env->thread);
  const double alone = AttachDetachNs(vm);

  std::atomic<bool> done{false};
  std::atomic<int> ready{0};
  std::vector<std::thread> idlers;
  for (int i = 0; i < idle; i++)
    idlers.emplace_back([&] {
      JNIEnv* mine = nullptr;
      vm->functions->AttachCurrentThread(vm, &mine, nullptr);
      VM::EnterSafeRegion(mine->thread);
      ready++;
      while (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      VM::LeaveSafeRegion(mine->thread);
      vm->functions->DetachCurrentThread(vm);
    });
  while (ready.load() != idle) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const double crowded = AttachDetachNs(vm);
  done = true;
  for (auto& t : idlers) t.join();
  VM::LeaveSafeRegion(env->thread);

  printf("%-48s %10s\n", "", "ns");
  printf("%-48s %10.0f\n", "attach + detach, no other thread", alone);
  std::string row = "attach + detach, " + std::to_string(idle) + " other threads attached";
  printf("%-48s %10.0f\n", row.c_str(), crowded);
  vm->functions->DestroyJavaVM(vm);
  return 0;
}
