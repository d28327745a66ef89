/* Interpreter frames. Only the load-time code pass is here so far; the interpreter's
   issue brings the frame records, the execution driver and the handlers. */
#ifndef PUX_VMFRAME_H
#define PUX_VMFRAME_H

#include "jnitypes.h"
#include "vmarray.h"
#include "vmerrorcatcher.h"
#include "vmopdefinition.h"

class VMByteCodeFrame {
 public:
  /* Checks every opcode of freshly loaded code and turns its multi-byte operands into host
     order, in place; must run exactly once per code array. Returns the instruction count
     (a wide instruction and the one it widens count once), 0 for an empty array or an
     opcode above 0xD7. An operand past the end of the code or a bad tableswitch range
     throws VerifyError through the catcher; wide before an opcode without a wide form
     throws ClassFormatError. */
  static unsigned long CountOpcodesAndFlip(VMbyteArray* code, VMErrorCatcher& catcher);
  static void DumpOpcodes(VMbyteArray* code);
};

#endif
