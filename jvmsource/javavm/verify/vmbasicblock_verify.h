/* What the verifier's sources share. Verification runs in two walks over the blocks flow
   analysis built and flowed:

   - the kind walk (vmbasicblock_verify.cpp, rules in vmbasicblock_verifyops.cpp) goes once
     over every reachable block from the block's flowed entry state and checks each
     instruction against the three kinds of value (reference, scalar, return address),
     the stack and local bounds and the constant-pool entries the instruction names;
   - the type walk (vmbasicblock_types.cpp) infers, on the same blocks and edges, the type
     of every reference (its class or array type by name, null, an object whose
     constructor has not run yet) to its own fixed point and checks receivers, arguments,
     stored and returned values, array elements, thrown values and constructors. The
     interpreter trusts all of it: it checks no class of its own when it reads a field,
     indexes a method table or an array, or throws.

   Both fail through a VMErrorCatcher: VerifyError for code that does not verify,
   OutOfMemoryError when their scratch memory is refused, and the status of a class that
   the type walk needed and could not load. Neither keeps anything between methods, and
   neither changes the method's blocks. */
#ifndef PUX_VMBASICBLOCK_VERIFY_H
#define PUX_VMBASICBLOCK_VERIFY_H

#include <string.h>

#include "vmbasicblock.h"
#include "vmclass.h"

namespace verify {

/* The stack shape of each opcode that the generic rule serves: the words it consumes,
   '>', the words it produces, deepest first (R a reference, N a word that must not be
   one, S a scalar produced); NULL for an opcode with a rule of its own. */
extern const char* const kShapes[VMOpcodeCount];

/* The rule of every opcode below the breakpoint, 0xBA excepted. */
extern const VMFlowOp kRules[VMOpcodeCount];

/* Reads a method's code, which lies in pieces when it is longer than 776 bytes. The run
   of contiguous bytes around the last position read is kept; an instruction that
   straddles two runs is copied into a buffer whose address has the remainder modulo 4
   of the code's, so that switch padding computed on either holds. */
class Cursor {
 public:
  explicit Cursor(VMbyteArray* code)
      : code(code), length(code->GetSize()), run(NULL), runPc(0), runLength(0) {}

  /* The bytes at pc, with need bytes behind them, cut at the end of the code: the part
     of an instruction that lies past the code is never read. */
  uint8_t* At(uint32_t pc, uint32_t need) {
    if (run == NULL || pc < runPc || pc - runPc >= runLength) {
      run = static_cast<uint8_t*>(code->FindElement(pc, &runLength));
      runPc = pc;
    }
    uint8_t* here = run + (pc - runPc);
    if (need > length - pc) need = length - pc;
    uint32_t avail = runLength - (pc - runPc);
    if (need <= avail) return here;
    uint8_t* copy = buffer + (((uintptr_t)here - (uintptr_t)buffer) & 3);
    memcpy(copy, here, avail);
    for (uint32_t done = avail; done < need;) {
      uint32_t count = 0;
      uint8_t* more = static_cast<uint8_t*>(code->FindElement(pc + done, &count));
      uint32_t take = need - done < count ? need - done : count;
      memcpy(copy + done, more, take);
      done += take;
    }
    return copy;
  }
  /* count bytes from pc into out (pc + count within the code). */
  void Read(uint32_t pc, uint32_t count, uint8_t* out) {
    while (count > 0) {
      uint32_t n = 0;
      const uint8_t* from = static_cast<const uint8_t*>(code->FindElement(pc, &n));
      if (n > count) n = count;
      memcpy(out, from, n);
      out += n;
      pc += n;
      count -= n;
    }
  }
  int32_t S4(uint32_t pc) {
    uint8_t b[4];
    Read(pc, 4, b);
    int32_t v;
    memcpy(&v, b, 4);
    return v;
  }
  uint32_t Length() const { return length; }

 private:
  VMbyteArray* code;
  uint32_t length;
  uint8_t* run;
  uint32_t runPc;
  uint32_t runLength;
  alignas(4) uint8_t buffer[40];
};

/* Operands in host order (the load-time pass turned them). */
inline uint16_t U2(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline int32_t S4(const uint8_t* p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}

/* The padding of a switch whose opcode lies at pc. */
inline uint32_t SwitchPad(uint32_t pc) { return (4 - ((pc + 1) & 3)) & 3; }

/* The opcode at pc as the verifier sees it: a planted breakpoint is read as the opcode it
   hides. */
inline uint8_t Opcode(VMMethod* method, uint8_t byte, uint32_t pc) {
  return byte == OP_breakpoint ? VMBasicBlock::FindPreBreakpointOpcode(method, pc) : byte;
}

/* Whether control never runs on past an instruction of this opcode (at the end of the
   code the last instruction must be one). A jsr whose subroutine returns is refused by
   flow analysis when it ends the code, so one that ends it never comes back. */
inline bool EndsFlow(uint8_t op, uint8_t widened) {
  return op == OP_goto || op == OP_goto_w || (op >= OP_ireturn && op <= OP_return) || op == OP_athrow ||
         op == OP_ret || (op == OP_wide && widened == OP_ret) || op == OP_tableswitch ||
         op == OP_lookupswitch || op == OP_jsr || op == OP_jsr_w;
}

/* The kind walk (with the name check), and the type walk over a method whose kind walk
   passed: 0 or the failure's status. VMBasicBlock::Verify runs the one, then the other. */
VMStatus CheckKinds(VMMethod* method);
VMStatus CheckTypes(VMMethod* method);

}  // namespace verify

#endif
