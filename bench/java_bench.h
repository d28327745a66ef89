/* What the benchmarks over bench/java share: the machine they run on, the reference
   machine's (java -Xint) figures over the same class files and the rows that set the
   two side by side; and RunJavaBench, for a class whose static run(int) answers a text
   of result lines, which the reference prints from main. */
#ifndef PUX_BENCH_JAVA_BENCH_H
#define PUX_BENCH_JAVA_BENCH_H

#include <stdio.h>

#include <map>
#include <string>

#include "refhost.h"
#include "vmjni.h"

/* The class files of bench/java, for both machines. */
inline std::string BenchClasses() { return std::string(PUX_BUILD_DIR) + "/testclasses/bench"; }

/* A machine named "bench" over the benchmark classes and the class library, the calling
   thread its first; NULL (with a line on stderr) when it cannot be made. */
inline JavaVM* CreateBenchMachine(JNIEnv** env) {
  JNI_SetHostFunctions(refhost::Functions());
  refhost::SetClassPath(nullptr, BenchClasses() + ":" + PUX_BUILD_DIR + "/classlib.zip");
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.name = "bench";
  JavaVM* vm = nullptr;
  if (JNI_CreateJavaVM(&vm, env, &args) != 0) {
    fprintf(stderr, "machine creation failed\n");
    return nullptr;
  }
  return vm;
}

/* A loop timed on the reference machine: milliseconds for all its calls, and the
   checksum of its results. */
struct ReferenceFigure {
  double ms = -1;
  long checksum = 0;
};

/* Runs the command, which prints lines "name milliseconds checksum"; the figures by
   name (none when the reference machine cannot run). */
inline std::map<std::string, ReferenceFigure> ReadReferenceFigures(const std::string& command) {
  std::map<std::string, ReferenceFigure> out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char name[64];
    double ms;
    long sum;
    while (fscanf(p, "%63s %lf %ld", name, &ms, &sum) == 3) out[name] = {ms, sum};
    pclose(p);
  }
  return out;
}

/* The head of a table of operations, nanoseconds each. */
inline void PrintNsHeader() { printf("%-48s %12s %14s %7s\n", "operation (ns each)", "puxjvm", "java -Xint", "ratio"); }

/* One row: this machine's nanoseconds beside the reference figure of that name over the
   same number of calls, their ratio, and whether the two checksums agree. */
inline void PrintNsRow(const char* label, double ns, const std::map<std::string, ReferenceFigure>& reference,
                       const char* name, int calls, long checksum) {
  auto r = reference.find(name);
  if (r == reference.end() || r->second.ms < 0) {
    printf("%-48s %12.1f %14s %7s\n", label, ns, "-", "-");
    return;
  }
  double refNs = r->second.ms * 1e6 / calls;
  printf("%-48s %12.1f %14.1f %7.2f%s\n", label, ns, refNs, ns / refNs,
         r->second.checksum == checksum ? "" : "  (checksums differ!)");
}

/* Both texts; false (with a line on stderr) when this machine gives none. */
inline bool RunJavaBench(const char* className, int minMs, std::string* ours, std::string* reference) {
  std::string classes = BenchClasses();
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateBenchMachine(&env);
  if (vm == nullptr) return false;
  const JNINativeInterface_* fn = env->functions;
  jclass cls = fn->FindClass(env, className);
  jmethodID run = cls != nullptr ? fn->GetStaticMethodID(env, cls, "run", "(I)Ljava/lang/String;") : nullptr;
  jobject text = run != nullptr ? fn->CallStaticObjectMethod(env, cls, run, (jint)minMs) : nullptr;
  if (text == nullptr) {
    char* e = fn->GetPendingExceptionText(env);
    fprintf(stderr, "%s failed: %s\n", className, e != nullptr ? e : "?");
    return false;
  }
  const char* chars = fn->GetStringUTFChars(env, (jstring)text, nullptr);
  *ours = chars;
  fn->ReleaseStringUTFChars(env, (jstring)text, chars);
  vm->functions->DestroyJavaVM(vm);

  reference->clear();
  std::string cmd = "java -Xint -cp '" + classes + "' " + className + " " + std::to_string(minMs) + " 2>/dev/null";
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) reference->append(buf, n);
    pclose(p);
  }
  return true;
}

#endif
