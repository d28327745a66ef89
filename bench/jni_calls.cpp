/* Calls across the native interface on this machine, beside the reference machine
   (java -Xint) running the same class files (bench/java/JniBench) with the same natives
   (bench/jni_calls_native.c, built 32-bit against our jni.h for this machine and 64-bit
   for the reference machine, whose process is 64-bit).

   Figures, nanoseconds per operation, best of three:
   - host round trip: the host calls CallStaticIntMethod on a trivial static Java method
     (variadic and jvalue forms); on the reference machine the same operation is timed
     from a native (callBack), which calls CallStaticIntMethod in a loop;
   - native round trip from a native: callBack on both machines;
   - Java to native: a Java loop calling a trivial static native (nativeLoop);
   - the same Java loop calling a trivial Java method (javaLoop), for the loop's share. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>

#include "bench_util.h"
#include "refhost.h"
#include "vmjni.h"

namespace {

const int kCalls = 2000000;
volatile jint sink;

struct Reference {
  double ms = -1;
  long checksum = 0;
};

std::map<std::string, Reference> RunReference(const std::string& classes, const std::string& libraries) {
  std::map<std::string, Reference> out;
  std::string cmd = "java -Xint -Djava.library.path='" + libraries + "' -cp '" + classes + "' JniBench " +
                    std::to_string(kCalls) + " 2>/dev/null";
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char name[64];
    double ms;
    long sum;
    while (fscanf(p, "%63s %lf %ld", name, &ms, &sum) == 3) out[name] = {ms, sum};
    pclose(p);
  }
  return out;
}

}  // namespace

int main() {
  std::string classes = std::string(PUX_BUILD_DIR) + "/testclasses/bench";
  JNI_SetHostFunctions(refhost::Functions());
  refhost::SetClassPath(nullptr, classes + ":" + PUX_BUILD_DIR + "/classlib.zip");
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = "bench";
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  if (JNI_CreateJavaVM(&vm, &env, &args) != 0) {
    fprintf(stderr, "machine creation failed\n");
    return 1;
  }
  const JNINativeInterface_* f = env->functions;
  jclass cls = f->FindClass(env, "JniBench");
  jmethodID trivial = cls != NULL ? f->GetStaticMethodID(env, cls, "trivial", "(I)I") : NULL;
  jmethodID nativeLoop = cls != NULL ? f->GetStaticMethodID(env, cls, "nativeLoop", "(I)I") : NULL;
  jmethodID callBackLoop = cls != NULL ? f->GetStaticMethodID(env, cls, "callBackLoop", "(I)I") : NULL;
  jmethodID javaLoop = cls != NULL ? f->GetStaticMethodID(env, cls, "javaLoop", "(I)I") : NULL;
  if (trivial == NULL || nativeLoop == NULL || callBackLoop == NULL || javaLoop == NULL) {
    fprintf(stderr, "JniBench not found\n");
    return 1;
  }

  jint hostSum = 0;
  double hostV = bench::Best(
      [&] {
        jint s = 0;
        for (jint i = 0; i < kCalls; i++) s += f->CallStaticIntMethod(env, cls, trivial, i);
        hostSum = s;
      },
      3);
  double hostA = bench::Best(
      [&] {
        jint s = 0;
        jvalue a[1];
        for (jint i = 0; i < kCalls; i++) {
          a[0].i = i;
          s += f->CallStaticIntMethodA(env, cls, trivial, a);
        }
        sink = s;
      },
      3);
  std::map<std::string, jint> sums;
  auto timeJava = [&](const char* name, jmethodID m) {
    return bench::Best([&] { sums[name] = f->CallStaticIntMethod(env, cls, m, kCalls); }, 3);
  };
  double pNative = timeJava("nativeLoop", nativeLoop);
  double pCallBack = timeJava("callBack", callBackLoop);
  double pJava = timeJava("javaLoop", javaLoop);
  bool failed = f->ExceptionCheck(env);
  vm->functions->DestroyJavaVM(vm);
  if (failed) {
    fprintf(stderr, "a benchmark call threw\n");
    return 1;
  }

  std::map<std::string, Reference> ref = RunReference(classes, std::string(PUX_BUILD_DIR) + "/bench64");
  auto ns = [](double seconds) { return seconds * 1e9 / kCalls; };
  printf("%-48s %12s %14s %7s\n", "operation (ns each)", "puxjvm", "java -Xint", "ratio");
  auto row = [&](const char* label, double seconds, const char* refName, jint sum) {
    auto r = ref.find(refName);
    if (r == ref.end() || r->second.ms < 0) {
      printf("%-48s %12.1f %14s %7s\n", label, ns(seconds), "-", "-");
      return;
    }
    double refNs = r->second.ms * 1e6 / kCalls;
    printf("%-48s %12.1f %14.1f %7.2f%s\n", label, ns(seconds), refNs, ns(seconds) / refNs,
           r->second.checksum == (long)sum ? "" : "  (checksums differ!)");
  };
  row("CallStaticIntMethod from the host (variadic)", hostV, "callBack", hostSum);
  row("CallStaticIntMethodA from the host (jvalue)", hostA, "callBack", hostSum);
  row("CallStaticIntMethod from a native (callBack)", pCallBack, "callBack", sums["callBack"]);
  row("Java calls a trivial native (nativeLoop)", pNative, "nativeLoop", sums["nativeLoop"]);
  row("Java calls a trivial Java method (javaLoop)", pJava, "javaLoop", sums["javaLoop"]);
  return 0;
}
