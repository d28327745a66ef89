/* Seam: stand-ins for the neighbours of the runtime core (see vmseams.h). Each goes when
   the work that builds the real one lands. */
#include "vmseams.h"

#include <string.h>

#include "vm.h"
#include "vmerrorcatcher.h"
#include "vmobject.h"
#include "vmthread.h"
#include "vmutils.h"

namespace seam {

/* ---- the natives' cache ---- */

VMJniUtils* JniUtilsCreate(VMNameSpace* ns) {
  HHeap* heap = (HHeap*)((VMInternalObject*)ns)->GetScalar(0);
  return (VMJniUtils*)VMObject::CreateInternalNotToBeCalledDirectly(heap, 1, 0, VMTag_VMJniUtils,
                                                                    jallocFailFast);
}

void JniUtilsDestroy(VMJniUtils* utils, HHeap* heap) { ((VMObject*)utils)->Destroy(heap); }

void* JniUtilsFieldThreadDaemon(JNIEnv*) { return NULL; }

/* ---- class-library natives: the Thread class layout is not known yet ---- */

void JavaLangThreadClearNativeThread(JNIEnv*, jobject) {}

bool JavaLangThreadInitAttached(JNIEnv*, jobject) { return true; }

jboolean JavaIoFileSystemDelete(JNIEnv*, jobject) { return 0; }

/* ---- library object views: no class can be instantiated yet ---- */

VMJavaLangThread* JavaLangThreadCreate(JNIEnv*) { return NULL; }

VMJavaLangThrowable* JavaLangThrowableCreate(JNIEnv*, VMLoadableClass*) { return NULL; }

void JavaLangThrowableSetMessage(VMJavaLangThrowable*, VMJavaLangString*) {}

void JavaLangThrowableDestroy(VMJavaLangThrowable* throwable, HHeap* heap) {
  ((VMObject*)throwable)->Destroy(heap);
}

/* ---- the debugger ---- */

void DebuggerPauseThread() {
  VMThread* thread = VMThread::Current();
  while (thread != NULL && thread->GetYieldForDebugger()) VMUtils::GetHostFunctions()->Sleep(300);
}

void DebuggerDestroy(VMDebugger* agent, HHeap* heap) { ((VMObject*)agent)->Destroy(heap); }

VMDebugger* DebuggerNext(VMDebugger* agent) { return (VMDebugger*)((VMObject*)agent)->GetWord(0); }

/* ---- frames: one small group holding the first frame ---- */

enum { kGroupWords = 16, kFirstFrameWord = 3, kByteCodeFrameTag = 0x6266FECAu, kFrameListTag = 0x6A3DFECAu };
enum { kListSlots = 20, kListSlotWords = 8 };
enum { kListCount = 1 + kListSlots * kListSlotWords, kListCurrent, kListHead, kListNext, kListPrevious,
       kListWords };

VMFrame* CreateFirstFrame(JNIEnv*, VMThread* thread) {
  HHeap* heap = thread->GetVM()->GetHeap();
  VMObject* group = VMObject::CreateInstance(heap, kGroupWords, jallocFailFast, VMTag_VMFrameGroup);
  if (group == NULL) return NULL;
  group->SetWord(kFirstFrameWord, kByteCodeFrameTag);
  thread->SetFrameGroup((VMFrameGroup*)group);
  return (VMFrame*)group->GetElementAddress(kFirstFrameWord);
}

void FrameGroupDestroy(VMFrameGroup* group, HHeap* heap) { ((VMObject*)group)->Destroy(heap); }

uint32_t FrameListBytes() { return kListWords * 4; }

void FrameListCreate(framelist* list) {
  VMword* words = (VMword*)list;
  words[0] = kFrameListTag;
  words[kListCount] = 1;
  words[kListCurrent] = words[kListHead] = words[kListNext] = words[kListPrevious] = (VMword)list;
}

void FrameListDestroy(framelist* list, HHeap* heap) {
  VMword* head = (VMword*)list;
  VMword* block = (VMword*)head[kListNext];
  while (block != NULL && block != head) {
    VMword* next = (VMword*)block[kListNext];
    VMUtils::GetHostFunctions()->HeapFree(heap, block);
    block = next;
  }
  head[kListNext] = head[kListPrevious] = head[kListCurrent] = (VMword)head;
}

bool FrameIsByteCodeOrFirst(VMFrame* frame) { return frame != NULL; }

/* ---- throwing at a frame ---- */

static thread_local VMErrorCatcher* frameCatcher = NULL;
static thread_local VMStatus uncaughtThrow = 0;

void SetFrameCatcher(VMErrorCatcher* catcher) { frameCatcher = catcher; }

VMErrorCatcher* GetFrameCatcher() { return frameCatcher; }

void ThrowInternalException(VMFrame*, VMStatus status, const char*) {
  if (frameCatcher != NULL) frameCatcher->Throw(status);
  uncaughtThrow = status;
}

void ThrowException(VMFrame*, VMJavaLangThrowable* throwable) {
  VMThread* thread = VMThread::Current();
  if (thread != NULL) thread->SetException(throwable);
  if (frameCatcher != NULL) frameCatcher->Throw(VMStatus_AlreadyThrown);
  uncaughtThrow = VMStatus_AlreadyThrown;
}

void JumpToDebugLoop(VMThread*) {}

VMStatus TakeUncaughtThrow() {
  VMStatus status = uncaughtThrow;
  uncaughtThrow = 0;
  return status;
}

}  // namespace seam
