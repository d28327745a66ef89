/* Runs a benchmark class of bench/java on this machine and on the reference machine
   (java -Xint) over the same class files: its static run(int) answers a text of result
   lines, which the reference prints from main. */
#ifndef PUX_BENCH_JAVA_BENCH_H
#define PUX_BENCH_JAVA_BENCH_H

#include <stdio.h>

#include <string>

#include "refhost.h"
#include "vmjni.h"

/* Both texts; false (with a line on stderr) when this machine gives none. */
inline bool RunJavaBench(const char* className, int minMs, std::string* ours, std::string* reference) {
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
    return false;
  }
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
