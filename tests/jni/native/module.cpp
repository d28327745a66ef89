/* A code module for the loading entries: its entry answers 7, or reports the number of
   machines through an entry that takes the global mutex again. */
#include "jni.h"

extern "C" __attribute__((visibility("default"))) jint HOSTCALL ModuleEntry(jint argument) {
  if (argument == 7) return 7;
  jsize total = -1;
  if (JNI_GetCreatedJavaVMs(nullptr, 0, &total) != 0) return -100;
  return 1000 + total;
}
