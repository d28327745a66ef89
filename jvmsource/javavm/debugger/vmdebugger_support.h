/* What the debugger's sources share: the host, waits that count as stopped for the
   collector, and the walk of a machine's thread array one entry at a time. */
#ifndef PUX_VMDEBUGGER_SUPPORT_H
#define PUX_VMDEBUGGER_SUPPORT_H

#include "vm.h"
#include "vmdebugger.h"
#include "vmthread.h"
#include "vmutils.h"

namespace dbg {

inline JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

/* A wait in which the thread touches no heap object: the collector counts the thread as
   stopped, and leaving the wait first sits out a collection that runs meanwhile. */
void EnterWait(VMThread* thread);
void LeaveWait(VMThread* thread);

/* Entry i of the machine's thread array, read under the name space's spin lock that
   guards the array's growth; *more is false past the end. */
VMThread* ThreadAt(VM* vm, uint32_t i, bool* more);

/* One line of the host's log. */
void Log(const char* text);

}  // namespace dbg

#endif
