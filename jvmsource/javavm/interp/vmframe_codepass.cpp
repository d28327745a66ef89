/* The load-time code pass: one walk over a method's bytecode right after it is read,
   so that the handlers never swap bytes at run time. The code may lie in pieces
   (arrays over 776 bytes), so every byte goes through element access. */
#include "vmframe.h"

namespace {

class CodeWalk {
 public:
  CodeWalk(VMbyteArray* code, VMErrorCatcher& catcher)
      : code(code), catcher(catcher), size(code->GetSize()), index(0) {}

  uint8_t Byte(uint32_t i) const { return *static_cast<uint8_t*>(code->FindElement(i, 0u)); }
  void SetByte(uint32_t i, uint8_t v) { *static_cast<uint8_t*>(code->FindElement(i, 0u)) = v; }

  /* The operand of n bytes at the index must end inside the code. */
  void Need(uint32_t n) {
    if ((uint64_t)index + n > size) catcher.Throw(VMStatus_VerifyError);
  }
  void Skip(uint32_t n) {
    Need(n);
    index += n;
  }
  /* Swaps a 16-bit operand into host order; returns its big-endian value. */
  uint16_t Flip2() {
    Need(2);
    uint8_t b0 = Byte(index), b1 = Byte(index + 1);
    SetByte(index, b1);
    SetByte(index + 1, b0);
    index += 2;
    return (uint16_t)(b0 << 8 | b1);
  }
  /* Reverses a 32-bit operand; returns its big-endian value. */
  int32_t Flip4() {
    Need(4);
    uint8_t b[4];
    for (uint32_t k = 0; k < 4; k++) b[k] = Byte(index + k);
    for (uint32_t k = 0; k < 4; k++) SetByte(index + k, b[3 - k]);
    index += 4;
    return (int32_t)((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]);
  }
  /* Switch operands start at the next multiple of 4 counted from the start of the code. */
  void Align() { index = (index + 3) & ~3u; }

  VMbyteArray* code;
  VMErrorCatcher& catcher;
  uint32_t size;
  uint32_t index;
};

bool IsWidenable(uint8_t op) {
  return (op >= OP_iload && op <= OP_aload) || (op >= OP_istore && op <= OP_astore) || op == OP_ret;
}

}  // namespace

unsigned long VMByteCodeFrame::CountOpcodesAndFlip(VMbyteArray* code, VMErrorCatcher& catcher) {
  if (code == NULL) return 0;
  CodeWalk walk(code, catcher);
  unsigned long count = 0;
  while (walk.index < walk.size) {
    count++;
    uint8_t op = walk.Byte(walk.index++);
    if (op > VMLastOpcode) return 0;
    // The breakpoint and the quick forms are written by the machine alone: from a class
    // file they would run unchecked (a quick field form reads any word of any object).
    if (op >= OP_breakpoint) catcher.Throw(VMStatus_VerifyError);
    switch (op) {
      case OP_bipush: case OP_ldc: case OP_newarray: case OP_ret:
      case OP_iload: case OP_lload: case OP_fload: case OP_dload: case OP_aload:
      case OP_istore: case OP_lstore: case OP_fstore: case OP_dstore: case OP_astore:
        walk.Skip(1);
        break;
      case OP_iinc:
        walk.Skip(2);
        break;
      case OP_invokeinterface:
        walk.Flip2();
        walk.Skip(2);
        break;
      case OP_multianewarray:
        walk.Flip2();
        walk.Skip(1);
        break;
      case OP_goto_w: case OP_jsr_w:
        walk.Flip4();
        break;
      case OP_tableswitch: {
        walk.Align();
        walk.Flip4();  // default
        int32_t low = walk.Flip4();
        int32_t high = walk.Flip4();
        if (low > high) catcher.Throw(VMStatus_VerifyError);
        // Every offset is bound-checked, so a huge range ends at the end of the code.
        for (int64_t n = (int64_t)high - low + 1; n > 0; n--) walk.Flip4();
        break;
      }
      case OP_lookupswitch: {
        walk.Align();
        walk.Flip4();  // default
        int32_t pairs = walk.Flip4();
        if (pairs < 0) catcher.Throw(VMStatus_VerifyError);
        while (pairs-- > 0) {
          walk.Flip4();
          walk.Flip4();
        }
        break;
      }
      case OP_wide: {
        walk.Need(1);
        uint8_t widened = walk.Byte(walk.index++);
        if (IsWidenable(widened)) {
          walk.Flip2();
        } else if (widened == OP_iinc) {
          walk.Flip2();
          walk.Flip2();
        } else {
          catcher.Throw(VMStatus_ClassFormatError);
        }
        break;
      }
      default:
        if (VMOpcodeLength[op] == 3) walk.Flip2();
        // Every other opcode left here is a single byte.
        break;
    }
  }
  return count;
}

void VMByteCodeFrame::DumpOpcodes(VMbyteArray*) {}
