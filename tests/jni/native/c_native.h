/* What the C native saw, for the tests to read. */
#ifndef PUX_TESTS_JNI_C_NATIVE_H
#define PUX_TESTS_JNI_C_NATIVE_H

#include "jni.h"

#ifdef __cplusplus
extern "C" {
#endif

struct CNativeResults {
  int calls;
  jint version;
  int foundString;      /* FindClass("java/lang/String") gave a class */
  int superIsObject;    /* its superclass is java/lang/Object (IsSameObject) */
  int assignable;       /* String is assignable to Object, and not the reverse */
  int globalSame;       /* a global of the class is the same object */
  int pushFrameRaised;  /* PushLocalFrame (not provided) left an exception pending */
  int pendingCleared;   /* ExceptionClear removed it */
  jint throwNew;        /* ThrowNew's result */
};
extern struct CNativeResults gCNativeResults;

#ifdef __cplusplus
}
#endif

#endif
