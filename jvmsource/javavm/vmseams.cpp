/* Seam: stand-ins for the neighbours of the runtime core (see vmseams.h). Each goes when
   the work that builds the real one lands. */
#include "vmseams.h"

#include <string.h>

#include "vm.h"
#include "vmobject.h"
#include "vmthread.h"
#include "vmutils.h"

namespace seam {

/* ---- the debugger ---- */

uint32_t DebuggerFindLineNumber(VMMethod*, uint32_t) { return 0; }

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
