/* Stand-ins for the neighbours the runtime core calls before they exist: the natives'
   cache, the class-library natives, the library object views of Thread and Throwable,
   the debugger, and the interpreter's frames. Every call site names them through this
   namespace, so each stand-in is found and replaced by the issue that builds the real
   one; none of them does more than the core needs to run and be tested. */
#ifndef PUX_VMSEAMS_H
#define PUX_VMSEAMS_H

#include <setjmp.h>

#include "jnitypes.h"
#include "vmforward.h"
#include "vmstatus.h"

class VMErrorCatcher;

namespace seam {

/* ---- the natives' cache of a name space (VMJniUtils) ---- */
VMJniUtils* JniUtilsCreate(VMNameSpace* ns);
void JniUtilsDestroy(VMJniUtils* utils, HHeap* heap);
/* The field ID of java/lang/Thread.daemon; NULL until the cache exists. */
void* JniUtilsFieldThreadDaemon(JNIEnv* env);

/* ---- class-library natives ---- */
void JavaLangThreadClearNativeThread(JNIEnv* env, jobject thread);
bool JavaLangThreadInitAttached(JNIEnv* env, jobject thread);
jboolean JavaIoFileSystemDelete(JNIEnv* env, jobject file);

/* ---- library object views ---- */
VMJavaLangThread* JavaLangThreadCreate(JNIEnv* env);
VMJavaLangThrowable* JavaLangThrowableCreate(JNIEnv* env, VMLoadableClass* cls);
void JavaLangThrowableSetMessage(VMJavaLangThrowable* throwable, VMJavaLangString* message);
void JavaLangThrowableDestroy(VMJavaLangThrowable* throwable, HHeap* heap);

/* ---- the debugger ---- */
/* Sleeps in 300 ms steps while the calling thread's pause request stays set. */
void DebuggerPauseThread();
void DebuggerDestroy(VMDebugger* agent, HHeap* heap);
/* The next agent of the dead-debugger chain (the agent's first word). */
VMDebugger* DebuggerNext(VMDebugger* agent);

/* ---- frames ---- */
/* The thread's first frame group and its first frame; NULL when no group can be made. */
VMFrame* CreateFirstFrame(JNIEnv* env, VMThread* thread);
void FrameGroupDestroy(VMFrameGroup* group, HHeap* heap);
/* Bytes of one frame-list block. */
uint32_t FrameListBytes();
void FrameListCreate(framelist* list);
void FrameListDestroy(framelist* list, HHeap* heap);
bool FrameIsByteCodeOrFirst(VMFrame* frame);

/* Throwing at a frame does not return in the machine. Until the interpreter owns the
   frames, a throw long-jumps to the catcher the calling thread registered here (tests
   register one around the code that may throw); without one it records the status and
   returns, and the caller answers as if the thread had been told to stop. */
void SetFrameCatcher(VMErrorCatcher* catcher);
VMErrorCatcher* GetFrameCatcher();
void ThrowInternalException(VMFrame* frame, VMStatus status, const char* message);
void ThrowException(VMFrame* frame, VMJavaLangThrowable* throwable);
/* Long-jumps into the debugging loop of the nearest frame that runs bytecode. */
void JumpToDebugLoop(VMThread* thread);
/* The status of the last throw that found no catcher (0 when none), cleared on read. */
VMStatus TakeUncaughtThrow();

}  // namespace seam

#endif
