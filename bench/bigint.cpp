/* java.math.BigInteger on this machine beside the reference machine (java -Xint), both
   running bench/java/BigIntBench on the same operands: 1,024- and 2,048-bit modPow,
   4,096-bit multiplication, division of 8,192 by 4,096 and of 4,096 by 2,048 bits, and
   isProbablePrime(50) of a 512-bit prime. Milliseconds per operation as Java measures them
   on each machine; the checksums (the results' hash codes) must agree.

   Usage: bench_bigint [MIN_MS]   (each operation runs at least MIN_MS, default 1000) */
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <utility>

#include "refhost.h"
#include "vmjni.h"

namespace {

typedef std::map<std::string, std::pair<double, long>> Figures;

Figures Parse(const std::string& text) {
  Figures out;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    char name[64];
    double ms;
    long sum;
    if (sscanf(text.substr(at, nl - at).c_str(), "%63s %lf %ld", name, &ms, &sum) == 3) out[name] = {ms, sum};
    at = nl + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int minMs = argc > 1 ? atoi(argv[1]) : 1000;
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
    fprintf(stderr, "no machine\n");
    return 1;
  }
  const JNINativeInterface_* fn = env->functions;
  jclass cls = fn->FindClass(env, "BigIntBench");
  jmethodID run = cls != nullptr ? fn->GetStaticMethodID(env, cls, "run", "(I)Ljava/lang/String;") : nullptr;
  jobject text = run != nullptr ? fn->CallStaticObjectMethod(env, cls, run, (jint)minMs) : nullptr;
  if (text == nullptr) {
    char* e = fn->GetPendingExceptionText(env);
    fprintf(stderr, "BigIntBench failed: %s\n", e != nullptr ? e : "?");
    return 1;
  }
  const char* chars = fn->GetStringUTFChars(env, (jstring)text, nullptr);
  Figures ours = Parse(chars);
  fn->ReleaseStringUTFChars(env, (jstring)text, chars);
  vm->functions->DestroyJavaVM(vm);

  std::string reference;
  std::string cmd = "java -Xint -cp '" + classes + "' BigIntBench " + std::to_string(minMs) + " 2>/dev/null";
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) reference.append(buf, n);
    pclose(p);
  }
  Figures ref = Parse(reference);

  printf("%-26s %14s %14s %8s  %s\n", "operation (ms each)", "puxjvm", "java -Xint", "ratio", "results");
  for (const auto& kv : ours) {
    auto it = ref.find(kv.first);
    double theirs = it != ref.end() ? it->second.first : -1;
    const char* same = it == ref.end() ? "no reference" : it->second.second == kv.second.second ? "same" : "DIFFER";
    printf("%-26s %14.3f %14.3f %8.2f  %s\n", kv.first.c_str(), kv.second.first, theirs,
           theirs > 0 ? kv.second.first / theirs : 0.0, same);
  }
  return 0;
}
