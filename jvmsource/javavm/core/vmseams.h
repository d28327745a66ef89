/* Stand-ins for the neighbours the runtime core calls before they exist: the natives'
   cache, the class-library natives, and the debugger. Every call site names them through this
   namespace, so each stand-in is found and replaced by the issue that builds the real
   one; none of them does more than the core needs to run and be tested. */
#ifndef PUX_VMSEAMS_H
#define PUX_VMSEAMS_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmstatus.h"

namespace seam {

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
/* The shutdown pass over the machine's delete-on-exit list: deletes each registered file
   or empty directory while file access is granted, and leaves no exception behind. */
void JavaIoFileSystemDeleteAtExit(JNIEnv* env, VM* vm);

}  // namespace seam

#endif
