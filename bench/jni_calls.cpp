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
#include "java_bench.h"
#include "refhost.h"
#include "vmjni.h"

namespace {

const int kCalls = 2000000;
volatile jint sink;

}  // namespace

int main() {
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateBenchMachine(&env);
  if (vm == nullptr) return 1;
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

  std::map<std::string, ReferenceFigure> ref =
      ReadReferenceFigures("java -Xint -Djava.library.path='" + std::string(PUX_BUILD_DIR) + "/bench64' -cp '" +
                           BenchClasses() + "' JniBench " + std::to_string(kCalls) + " 2>/dev/null");
  auto ns = [](double seconds) { return seconds * 1e9 / kCalls; };
  PrintNsHeader();
  auto row = [&](const char* label, double seconds, const char* refName, jint sum) {
    PrintNsRow(label, ns(seconds), ref, refName, kCalls, sum);
  };
  row("CallStaticIntMethod from the host (variadic)", hostV, "callBack", hostSum);
  row("CallStaticIntMethodA from the host (jvalue)", hostA, "callBack", hostSum);
  row("CallStaticIntMethod from a native (callBack)", pCallBack, "callBack", sums["callBack"]);
  row("Java calls a trivial native (nativeLoop)", pNative, "nativeLoop", sums["nativeLoop"]);
  row("Java calls a trivial Java method (javaLoop)", pJava, "javaLoop", sums["javaLoop"]);
  return 0;
}
