/* Events, stepping and tracing of the debugger agent, and the line look-up that stack
   traces use as well, with or without an agent. */
#include "vmclass.h"
#include "vmdebugger.h"

uint32_t VMDebugger::FindLineNumber(VMMethod* method, uint32_t pc) {
  if (method == NULL) return 0;
  VMStatus status = 0;
  VMshortArray* table = method->GetLineNumbers(&status);
  if (status != 0 || table == NULL) return 0;
  uint32_t count = table->GetSize();
  if (count < 2) return 0;
  // The table keeps class-file order, which need not be sorted: the greatest start at or
  // before pc wins, and of equal starts the first.
  bool found = false;
  uint32_t bestStart = 0;
  uint32_t bestLine = 0;
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    uint32_t start = (uint16_t)table->Get(i);
    if (start > pc) continue;
    if (!found || start > bestStart) {
      found = true;
      bestStart = start;
      bestLine = (uint16_t)table->Get(i + 1);
    }
  }
  return found ? bestLine : 0;
}
