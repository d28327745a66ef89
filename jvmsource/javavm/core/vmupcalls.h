/* The core's calls up into the code that sits above it: the natives' cache of a name space
   (jni) and the class-library natives (runtime/java). The core is built and tested beneath
   them, so it names them only through these declarations, each defined beside the code it
   reaches. */
#ifndef PUX_VMUPCALLS_H
#define PUX_VMUPCALLS_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmstatus.h"

namespace upcall {

/* ---- the natives' cache of a name space (VMJniUtils) ---- */
VMJniUtils* JniUtilsCreate(VMNameSpace* ns);
void JniUtilsDestroy(VMJniUtils* utils, HHeap* heap);
/* The field ID of java/lang/Thread.daemon; NULL until the cache exists. */
void* JniUtilsFieldThreadDaemon(JNIEnv* env);

/* ---- class-library natives ---- */
/* Start-up's registration of every class-library native table (JNI_RegisterNative for
   each Register_* function, in the order of the registration table). */
void RegisterClassLibraryNatives();
void JavaLangThreadClearNativeThread(JNIEnv* env, jobject thread);
bool JavaLangThreadInitAttached(JNIEnv* env, jobject thread);
/* The Thread of a thread attached again by env, in place of from: its native-thread
   word, when it named from, names env. Nothing else of it changes, a pending exception
   included, and nothing is allocated. */
void JavaLangThreadMoveNativeThread(JNIEnv* env, VMJavaLangThread* thread, JNIEnv* from);
/* The shutdown pass over the machine's delete-on-exit list: deletes each registered file
   or empty directory while file access is granted, and leaves no exception behind. */
void JavaIoFileSystemDeleteAtExit(JNIEnv* env, VM* vm);
/* A java.lang.Math native that only computes: when address is one of them and these
   argument words (the native's own, without the class) make it neither throw nor touch
   the machine, its result (always a double: two words) goes to result, which may be the
   argument words themselves, and the answer is true; the interpreter then calls it
   without a native frame. */
bool MathLeafCall(void* address, const uint32_t* args, uint32_t* result);
/* Where each machine of a name space keeps the object streams' descriptions of classes,
   one table per loader (java.io.ObjectStreamClass.root): the class and its static word. */
struct DescriptionTables {
  VMLoadableClass* cls;
  uint32_t word;
};
/* Looks the place up by names only (nothing is loaded or entered); false when no
   machine can have made a description yet. */
bool ObjectStreamFindTables(VMNameSpace* ns, DescriptionTables* where);
/* Empties the machine's table of the loader's classes, for a drop of the loader while
   the machine's threads stand still; true when there was one to empty. */
bool ObjectStreamForgetLoader(VM* vm, const DescriptionTables* where, VMClassLoader* loader);

}  // namespace upcall

#endif
