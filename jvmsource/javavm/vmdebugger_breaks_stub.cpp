/* Stand-ins for the requests that plant code and data breakpoints and load classes on
   the client's behalf, until those are built: each refuses with a line in the host's
   log, and no breakpoint or watch is ever set. */
#include "vmdebugger.h"
#include "vmdebugger_support.h"

using namespace dbg;

static const char kNotBuilt[] = "Debug assertion: breakpoints are not available\n";

bool VMDebugger::BreakSet(VMMethod*, uint32_t) {
  Log(kNotBuilt);
  return false;
}

bool VMDebugger::BreakClear(VMMethod*, uint32_t) {
  Log(kNotBuilt);
  return false;
}

void VMDebugger::ClearDataBreaks() {}

bool VMDebugger::BreakSetWrite(jlong, uint32_t) {
  Log(kNotBuilt);
  return false;
}

VMClass* VMDebugger::ClassLoad(const char*) {
  Log("Debug assertion: class loading on request is not available\n");
  return NULL;
}
