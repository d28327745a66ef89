/* What the zip tests read of a pending exception. */
#ifndef PUX_TESTS_ZIP_PENDING_TEXT_H
#define PUX_TESTS_ZIP_PENDING_TEXT_H

#include <string>

#include "jni.h"

/* The pending exception as "class: message", cleared; "" when none is pending. */
inline std::string TakePendingText(JNIEnv* env) {
  if (env->functions->ExceptionCheck(env) == JNI_FALSE) return "";
  char* text = env->functions->GetPendingExceptionText(env);
  std::string s = text != nullptr ? text : "?";
  env->functions->FreeExceptionText(env, text);
  env->functions->ExceptionClear(env);
  return s;
}

#endif
