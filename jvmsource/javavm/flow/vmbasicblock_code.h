/* What the flow-analysis sources share: reading a method's code, which lies in pieces
   when it is longer than 776 bytes, and decoding instruction lengths with planted
   breakpoints seen through. Operands are in host order (the load-time pass). */
#ifndef PUX_VMBASICBLOCK_CODE_H
#define PUX_VMBASICBLOCK_CODE_H

#include <string.h>

#include "vmbasicblock.h"
#include "vmclass.h"

namespace flow {

inline HHeap* HeapOf(VMMethod* method) { return method->GetDefinedIn()->GetHeap(); }

/* Byte-wise access for the builder's scans (one element look-up per byte). */
class CodeBytes {
 public:
  explicit CodeBytes(VMbyteArray* code) : code(code), length(code->GetSize()) {}
  uint8_t At(uint32_t i) const { return *static_cast<const uint8_t*>(code->FindElement(i, 0u)); }
  uint16_t U2(uint32_t i) const { return (uint16_t)(At(i) | At(i + 1) << 8); }
  int32_t S4(uint32_t i) const {
    return (int32_t)((uint32_t)At(i) | (uint32_t)At(i + 1) << 8 | (uint32_t)At(i + 2) << 16 |
                     (uint32_t)At(i + 3) << 24);
  }
  VMbyteArray* code;
  uint32_t length;
};

/* The opcode at pc with a planted breakpoint replaced by the opcode it hides. Refuses
   0xBA, a breakpoint without a saved opcode, anything above 0xD7 and, when the code has
   not run yet (allowQuick false), the quick forms that only the interpreter writes. */
inline uint8_t DecodeOpcode(VMMethod* method, uint8_t op, uint32_t pc, bool allowQuick,
                            VMErrorCatcher& catcher) {
  if (op == OP_breakpoint) op = VMBasicBlock::FindPreBreakpointOpcode(method, pc);
  catcher.Verify(op <= VMLastOpcode && op != OP_breakpoint && op != OP_unused_ba);
  catcher.Verify(allowQuick || op < OP_breakpoint);
  return op;
}

inline bool IsWideForm(uint8_t op) {
  return (op >= OP_iload && op <= OP_aload) || (op >= OP_istore && op <= OP_astore) ||
         op == OP_iinc || op == OP_ret;
}

/* Length of the instruction at pc whose (decoded) opcode is op, with switch tables and
   wide forms checked to lie inside the code; 16 when they do not. */
uint32_t InstructionLength(const CodeBytes& code, uint32_t pc, uint8_t op, VMErrorCatcher& catcher);

/* Sets in bits every local word that an instruction of [start, end) stores into. */
void ScanStores(VMMethod* method, const CodeBytes& code, uint32_t start, uint32_t end,
                VMboolArray* bits, VMErrorCatcher& catcher);

/* The block starting at pc through the info's index (binary search); NULL when none. */
VMBasicBlock* FindFast(VMBasicBlockInfo* info, uint32_t pc);
/* The block with start <= pc < end; NULL when none. */
VMBasicBlock* FindContaining(VMBasicBlockInfo* info, uint32_t pc);

/* Destroys the block list and the index without taking the monitor. */
void DestroyList(VMMethod* method, VMBasicBlockInfo* info);

}  // namespace flow

#endif
