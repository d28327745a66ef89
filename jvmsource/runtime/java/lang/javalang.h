/* What the java.lang natives share: the env's machine and name space, and the text of
   a String argument. */
#ifndef PUX_JAVALANG_H
#define PUX_JAVALANG_H

#include <stddef.h>

#include "vm.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace javalang {

inline VMNameSpace* NameSpaceOf(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}

inline VM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL; }

/* The java.lang.String a handle names; NULL for 0 and for any other object. */
VMJavaLangString* StringOf(JNIEnv* env, jobject handle);

/* The modified UTF-8 text of a String argument, freed with VMJavaLangString::FreeUTF8.
   NULL for a null (or non-String) argument with NullPointerException pending, and for a
   text the host cannot hold with OutOfMemoryError pending. */
char* TextOf(JNIEnv* env, jobject string);

/* The file-name part of a library path: no drive ("X:"), nothing up to the last '/' or
   '\\', and no extension (from the last '.'). Points into the path. */
struct FileNameView {
  const char* start;
  size_t length;
};
FileNameView FileNamePart(const char* path);
/* Whether the name is one of the libraries whose natives the machine itself provides
   ("math", "net", "zip"), compared byte by byte. */
bool IsMachineLibrary(FileNameView name);

/* The seed of Math.random's generator for a clock reading in milliseconds: 48 bits that
   differ between two calls, and between two processes, in the same millisecond. */
uint64_t RandomSeed(jlong millis);

}  // namespace javalang

/* The Java thread object of a thread the host attached (VM::CreateJavaLangThread):
   group, priority 10, name and the native-thread value; false when the machine has no
   thread group or the class library lacks one of the fields. */
bool JavaLangThread_InitAttached(JNIEnv* env, jobject thread);
/* The native-thread value (the env, or 0); from class-library version 3 on also a fresh
   empty map in inheritableThreadLocals. */
void JavaLangThread_SetNativeThread(JNIEnv* env, jobject thread, VMword value);
/* At detach: the value 0. */
void JavaLangThread_ClearNativeThread(JNIEnv* env, jobject thread);

#endif
