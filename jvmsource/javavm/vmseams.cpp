/* Seam: stand-ins for the neighbours of the runtime core (see vmseams.h). Each goes when
   the work that builds the real one lands. */
#include "vmseams.h"

#include <string.h>

#include "vm.h"
#include "vmclass.h"
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

/* ---- class-library natives: the file system's delete comes with the file natives ---- */

jboolean JavaIoFileSystemDelete(JNIEnv*, jobject) { return 0; }

/* ---- the debugger ---- */

/* Stack traces print lines before the debugger exists: the line of the entry with the
   greatest start at or before pc, read from the method's table. */
uint32_t DebuggerFindLineNumber(VMMethod* method, uint32_t pc) {
  VMStatus status = 0;
  VMshortArray* table = method != NULL ? method->GetLineNumbers(&status) : NULL;
  if (table == NULL) return 0;
  uint32_t line = 0;
  uint32_t bestStart = 0;
  for (uint32_t i = 0; i + 1 < table->GetSize(); i += 2) {
    uint32_t start = (uint16_t)table->Get(i);
    if (start > pc || (line != 0 && start < bestStart)) continue;
    bestStart = start;
    line = (uint16_t)table->Get(i + 1);
  }
  return line;
}

void DebuggerRequestThreadAttach(VMDebugger*, VMThread*) {}

void DebuggerNotifyVMTerminating(VMDebugger*) {}

bool DebuggerIsConnected(VMDebugger*) { return false; }

void DebuggerPauseThread() {
  VMThread* thread = VMThread::Current();
  while (thread != NULL && thread->GetYieldForDebugger()) VMUtils::GetHostFunctions()->Sleep(300);
}

void DebuggerDestroy(VMDebugger* agent, HHeap* heap) { ((VMObject*)agent)->Destroy(heap); }

VMDebugger* DebuggerNext(VMDebugger* agent) { return (VMDebugger*)((VMObject*)agent)->GetWord(0); }

void JumpToDebugLoop(VMThread*) {}

}  // namespace seam
