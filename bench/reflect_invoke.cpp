/* Method.invoke of a trivial method against a direct call, on this machine beside the
   reference machine (java -Xint) running the same class files (bench/java/ReflectBench).

   Figures, nanoseconds per call, best of three: a Java loop calling the method through
   Method.invoke (the result boxed by every call), the same loop boxing the result of a
   direct call (what boxing costs alone), and the loop with a direct call. The machine
   has no collector yet, so the loop count keeps the boxes within its heap. */
#include <stdio.h>

#include <map>
#include <string>

#include "bench_util.h"
#include "java_bench.h"
#include "refhost.h"
#include "vmjni.h"

namespace {

const int kCalls = 400000;

}  // namespace

int main() {
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateBenchMachine(&env);
  if (vm == nullptr) return 1;
  const JNINativeInterface_* f = env->functions;
  jclass cls = f->FindClass(env, "ReflectBench");
  const char* names[] = {"invokeLoop", "boxedLoop", "directLoop"};
  std::map<std::string, double> seconds;
  std::map<std::string, jint> sums;
  for (const char* name : names) {
    jmethodID m = cls != NULL ? f->GetStaticMethodID(env, cls, name, "(I)I") : NULL;
    if (m == NULL) {
      fprintf(stderr, "ReflectBench.%s not found\n", name);
      return 1;
    }
    seconds[name] = bench::Best([&] { sums[name] = f->CallStaticIntMethod(env, cls, m, kCalls); }, 3);
    if (f->ExceptionCheck(env)) {
      fprintf(stderr, "ReflectBench.%s threw\n", name);
      return 1;
    }
  }
  vm->functions->DestroyJavaVM(vm);

  std::map<std::string, ReferenceFigure> ref = ReadReferenceFigures(
      "java -Xint -cp '" + BenchClasses() + "' ReflectBench " + std::to_string(kCalls) + " 2>/dev/null");
  auto ns = [](double s) { return s * 1e9 / kCalls; };
  PrintNsHeader();
  const char* labels[] = {"Method.invoke of a trivial method", "direct call, result boxed", "direct call"};
  for (int i = 0; i < 3; i++) PrintNsRow(labels[i], ns(seconds[names[i]]), ref, names[i], kCalls, sums[names[i]]);
  double invoke = ns(seconds[names[0]]) - ns(seconds[names[2]]);
  auto refInvoke = ref.find(names[0]), refDirect = ref.find(names[2]);
  if (refInvoke != ref.end() && refDirect != ref.end())
    printf("%-48s %12.1f %14.1f\n", "Method.invoke over a direct call", invoke,
           (refInvoke->second.ms - refDirect->second.ms) * 1e6 / kCalls);
  return 0;
}
