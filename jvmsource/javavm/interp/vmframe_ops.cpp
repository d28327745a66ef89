/* Handlers of the instructions that move and compute values, branch, switch, call
   subroutines and return; and the opcode table. Values stay bit patterns in their
   slots: floats are only ever computed in SSE registers (the build asks for them), so
   every result is rounded exactly once, as the Java rules want. */
#include <math.h>

#include "vm.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmdebugger.h"
#include "vmframe_handlers.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"

using namespace interp;

namespace interp {

VMOpResult Fail(VMByteCodeFrame* frame, uint8_t* pc, uint32_t length, VMStatus status) {
  frame->MarkThrow(pc, length);
  VMFrame::ThrowInternalException(frame, status, (const char*)NULL);
  return 0;
}

VMOpResult FailResolve(VMByteCodeFrame* frame, uint8_t* pc, uint32_t length, VMStatus status) {
  if (frame->thread->GetException() != NULL) status = VMStatus_AlreadyThrown;
  if (status == 0) status = VMStatus_InternalError;
  return Fail(frame, pc, length, status);
}

[[noreturn]] void ResumeAfterRelocation() {
  VMFrame* current = VMThread::Current()->GetFrame();
  longjmp(*current->GetOwner()->firstJmpBuf, 1);
}

int PollNow(VMThread* thread) {
  *thread->GetPollCountdown() = PollInterval;
  return thread->GetPollFunction()();
}

bool PollAtBranch(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame) {
  if (!PollDue(frame->thread)) return false;
  // The state before the branch is what a collection during the poll sees.
  frame->stack = sp;
  frame->codePointer = pc;
  uint32_t relocations = VMFrame::GetRelocations();
  if (PollNow(frame->thread) == 0) {
    if (VMFrame::GetRelocations() != relocations) ResumeAfterRelocation();
    return false;
  }
  // Thrown from inside the branch, so that a handler range covering it catches it.
  frame->MarkThrow(pc, 1);
  VMFrame::ThrowInternalException(frame, VMStatus_ThreadDeath, "");
  return true;
}

VMOpResult JumpTo(VMByteCodeFrame* frame, VMword* sp, uint32_t target) {
  frame->stack = sp;
  if (frame->flags & VMFrame::UsingFastLoopFlag)
    frame->codePointer = frame->method->GetCode()->GetFirstElementPointer() + target;
  else
    frame->slowLoopPC = target;
  return 0;
}

}  // namespace interp

/* ------------------------------------------------------------------------------------ */
/* Constants                                                                             */

VM_OPDEF(Op_nop) {
  VM_UNUSED_OPERANDS;
  return VM_OP(1, 0);
}

#define PUSH_CONST(name, value)  \
  VM_OPDEF(name) {               \
    VM_UNUSED_OPERANDS;          \
    sp[0] = (VMword)(value);     \
    return VM_OP(1, 4);          \
  }
PUSH_CONST(Op_aconst_null, 0)
PUSH_CONST(Op_iconst_m1, -1)
PUSH_CONST(Op_iconst_0, 0)
PUSH_CONST(Op_iconst_1, 1)
PUSH_CONST(Op_iconst_2, 2)
PUSH_CONST(Op_iconst_3, 3)
PUSH_CONST(Op_iconst_4, 4)
PUSH_CONST(Op_iconst_5, 5)
PUSH_CONST(Op_fconst_1, 0x3F800000u)
PUSH_CONST(Op_fconst_2, 0x40000000u)
#undef PUSH_CONST

#define PUSH_CONST2(name, low, high) \
  VM_OPDEF(name) {                   \
    VM_UNUSED_OPERANDS;              \
    sp[0] = (VMword)(low);           \
    sp[1] = (VMword)(high);          \
    return VM_OP(1, 8);              \
  }
PUSH_CONST2(Op_lconst_0, 0, 0)
PUSH_CONST2(Op_lconst_1, 1, 0)
PUSH_CONST2(Op_dconst_1, 0, 0x3FF00000u)
#undef PUSH_CONST2

VM_OPDEF(Op_bipush) {
  VM_UNUSED_OPERANDS;
  sp[0] = (VMword)(int32_t)(int8_t)pc[1];
  return VM_OP(2, 4);
}

VM_OPDEF(Op_sipush) {
  VM_UNUSED_OPERANDS;
  sp[0] = (VMword)(int32_t)S16(pc + 1);
  return VM_OP(3, 4);
}

static VMOpResult LoadConstant(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, uint32_t index, uint32_t length) {
  frame->stack = sp;
  frame->codePointer = pc;
  VMConstantPool* pool = frame->method->GetConstantPool();
  // A crafted class must not push a class pointer or read past the pool.
  if (pool == NULL || index == 0 || index >= pool->GetCount()) return Fail(frame, pc, length, VMStatus_VerifyError);
  int16_t type = pool->GetConstType(index);
  if (type == VMConstantPool::TYPE_Integer || type == VMConstantPool::TYPE_Float) {
    sp[0] = pool->GetConstWord(index);
  } else if (type == VMConstantPool::TYPE_String || type == VMConstantPool::TYPE_String_Resolved) {
    VMJavaLangString* s = pool->GetConstString(frame->thread->GetVM()->GetNameSpace(), index);
    if (s == NULL) return Fail(frame, pc, length, VMStatus_OutOfMemoryError);
    sp[0] = (VMword)s;
  } else {
    return Fail(frame, pc, length, VMStatus_VerifyError);
  }
  return VM_OP(length, 4);
}

VM_OPDEF(Op_ldc) {
  (void)locals;
  return LoadConstant(sp, pc, frame, pc[1], 2);
}

VM_OPDEF(Op_ldc_w) {
  (void)locals;
  return LoadConstant(sp, pc, frame, U16(pc + 1), 3);
}

VM_OPDEF(Op_ldc2_w) {
  (void)locals;
  uint32_t index = U16(pc + 1);
  VMConstantPool* pool = frame->method->GetConstantPool();
  if (pool == NULL || index == 0 || index + 1 >= pool->GetCount() ||
      (pool->GetConstType(index) != VMConstantPool::TYPE_Long &&
       pool->GetConstType(index) != VMConstantPool::TYPE_Double))
    return Fail(frame, pc, 3, VMStatus_VerifyError);
  sp[0] = pool->GetConstWord(index);
  sp[1] = pool->GetConstWord(index + 1);
  return VM_OP(3, 8);
}

/* ------------------------------------------------------------------------------------ */
/* Locals                                                                                */

VM_OPDEF(Op_iload) {
  (void)frame;
  sp[0] = locals[pc[1]];
  return VM_OP(2, 4);
}

VM_OPDEF(Op_lload) {
  (void)frame;
  sp[0] = locals[pc[1]];
  sp[1] = locals[pc[1] + 1];
  return VM_OP(2, 8);
}

#define LOAD_N(name, n)       \
  VM_OPDEF(name) {            \
    VM_UNUSED_OPERANDS;       \
    sp[0] = locals[n];        \
    return VM_OP(1, 4);       \
  }
LOAD_N(Op_iload_0, 0)
LOAD_N(Op_iload_1, 1)
LOAD_N(Op_iload_2, 2)
LOAD_N(Op_iload_3, 3)
#undef LOAD_N

#define LLOAD_N(name, n)      \
  VM_OPDEF(name) {            \
    VM_UNUSED_OPERANDS;       \
    sp[0] = locals[n];        \
    sp[1] = locals[n + 1];    \
    return VM_OP(1, 8);       \
  }
LLOAD_N(Op_lload_0, 0)
LLOAD_N(Op_lload_1, 1)
LLOAD_N(Op_lload_2, 2)
LLOAD_N(Op_lload_3, 3)
#undef LLOAD_N

VM_OPDEF(Op_istore) {
  (void)frame;
  locals[pc[1]] = sp[-1];
  return VM_OP(2, -4);
}

VM_OPDEF(Op_lstore) {
  (void)frame;
  locals[pc[1]] = sp[-2];
  locals[pc[1] + 1] = sp[-1];
  return VM_OP(2, -8);
}

#define STORE_N(name, n)      \
  VM_OPDEF(name) {            \
    VM_UNUSED_OPERANDS;       \
    locals[n] = sp[-1];       \
    return VM_OP(1, -4);      \
  }
STORE_N(Op_istore_0, 0)
STORE_N(Op_istore_1, 1)
STORE_N(Op_istore_2, 2)
STORE_N(Op_istore_3, 3)
#undef STORE_N

#define LSTORE_N(name, n)     \
  VM_OPDEF(name) {            \
    VM_UNUSED_OPERANDS;       \
    locals[n] = sp[-2];       \
    locals[n + 1] = sp[-1];   \
    return VM_OP(1, -8);      \
  }
LSTORE_N(Op_lstore_0, 0)
LSTORE_N(Op_lstore_1, 1)
LSTORE_N(Op_lstore_2, 2)
LSTORE_N(Op_lstore_3, 3)
#undef LSTORE_N

VM_OPDEF(Op_iinc) {
  (void)sp, (void)frame;
  locals[pc[1]] = (VMword)((uint32_t)locals[pc[1]] + (uint32_t)(int32_t)(int8_t)pc[2]);
  return VM_OP(3, 0);
}

/* wide: the operands follow the modified opcode; the advance counts from wide. */
VM_OPDEF(Op_wide) {
  uint32_t n = U16(pc + 2);
  switch (pc[1]) {
    case OP_iload: case OP_fload: case OP_aload:
      sp[0] = locals[n];
      return VM_OP(4, 4);
    case OP_lload: case OP_dload:
      sp[0] = locals[n];
      sp[1] = locals[n + 1];
      return VM_OP(4, 8);
    case OP_istore: case OP_fstore: case OP_astore:
      locals[n] = sp[-1];
      return VM_OP(4, -4);
    case OP_lstore: case OP_dstore:
      locals[n] = sp[-2];
      locals[n + 1] = sp[-1];
      return VM_OP(4, -8);
    case OP_iinc:
      locals[n] = (VMword)((uint32_t)locals[n] + (uint32_t)(int32_t)S16(pc + 4));
      return VM_OP(6, 0);
    case OP_ret: {
      uint32_t target = locals[n];
      int32_t advance = (int32_t)target - (int32_t)frame->OffsetOf(pc);
      if (advance != 0 && advance == (int16_t)advance) return VM_OP(advance, 0);
      return JumpTo(frame, sp, target);
    }
    default:
      // The load-time pass refuses every other form.
      return Fail(frame, pc, 1, VMStatus_VerifyError);
  }
}

/* ------------------------------------------------------------------------------------ */
/* Stack                                                                                 */

VM_OPDEF(Op_pop) {
  VM_UNUSED_OPERANDS;
  return VM_OP(1, -4);
}

VM_OPDEF(Op_pop2) {
  VM_UNUSED_OPERANDS;
  return VM_OP(1, -8);
}

VM_OPDEF(Op_dup) {
  VM_UNUSED_OPERANDS;
  sp[0] = sp[-1];
  return VM_OP(1, 4);
}

VM_OPDEF(Op_dup_x1) {
  VM_UNUSED_OPERANDS;
  VMword v1 = sp[-1], v2 = sp[-2];
  sp[-2] = v1;
  sp[-1] = v2;
  sp[0] = v1;
  return VM_OP(1, 4);
}

VM_OPDEF(Op_dup_x2) {
  VM_UNUSED_OPERANDS;
  VMword v1 = sp[-1], v2 = sp[-2], v3 = sp[-3];
  sp[-3] = v1;
  sp[-2] = v3;
  sp[-1] = v2;
  sp[0] = v1;
  return VM_OP(1, 4);
}

VM_OPDEF(Op_dup2) {
  VM_UNUSED_OPERANDS;
  sp[0] = sp[-2];
  sp[1] = sp[-1];
  return VM_OP(1, 8);
}

VM_OPDEF(Op_dup2_x1) {
  VM_UNUSED_OPERANDS;
  VMword v1 = sp[-1], v2 = sp[-2], v3 = sp[-3];
  sp[-3] = v2;
  sp[-2] = v1;
  sp[-1] = v3;
  sp[0] = v2;
  sp[1] = v1;
  return VM_OP(1, 8);
}

VM_OPDEF(Op_dup2_x2) {
  VM_UNUSED_OPERANDS;
  VMword v1 = sp[-1], v2 = sp[-2], v3 = sp[-3], v4 = sp[-4];
  sp[-4] = v2;
  sp[-3] = v1;
  sp[-2] = v4;
  sp[-1] = v3;
  sp[0] = v2;
  sp[1] = v1;
  return VM_OP(1, 8);
}

VM_OPDEF(Op_swap) {
  VM_UNUSED_OPERANDS;
  VMword v = sp[-1];
  sp[-1] = sp[-2];
  sp[-2] = v;
  return VM_OP(1, 0);
}

/* ------------------------------------------------------------------------------------ */
/* Arithmetic: integers wrap (computed unsigned), shifts mask their counts               */

#define INT_BINARY(op, expr)         \
  VM_OPDEF(Op_##op) {                \
    VM_UNUSED_OPERANDS;              \
    uint32_t a = sp[-2], b = sp[-1]; \
    sp[-2] = (VMword)(expr);         \
    return VM_OP(1, -4);             \
  }
VM_INT_BINARY_OPS(INT_BINARY)
#undef INT_BINARY

#define LONG_BINARY(op, expr)                                          \
  VM_OPDEF(Op_##op) {                                                  \
    VM_UNUSED_OPERANDS;                                                \
    uint64_t a = (uint64_t)Get64(sp - 4), b = (uint64_t)Get64(sp - 2); \
    Put64(sp - 4, (int64_t)(expr));                                    \
    return VM_OP(1, -8);                                               \
  }
VM_LONG_BINARY_OPS(LONG_BINARY)
#undef LONG_BINARY

#define LONG_SHIFT(op, expr)              \
  VM_OPDEF(Op_##op) {                     \
    VM_UNUSED_OPERANDS;                   \
    uint64_t a = (uint64_t)Get64(sp - 3); \
    uint32_t n = sp[-1] & 63;             \
    Put64(sp - 3, (int64_t)(expr));       \
    return VM_OP(1, -4);                  \
  }
VM_LONG_SHIFT_OPS(LONG_SHIFT)
#undef LONG_SHIFT

#define FLOAT_BINARY(op, expr)                \
  VM_OPDEF(Op_##op) {                         \
    VM_UNUSED_OPERANDS;                       \
    float a = GetF(sp - 2), b = GetF(sp - 1); \
    PutF(sp - 2, expr);                       \
    return VM_OP(1, -4);                      \
  }
VM_FLOAT_BINARY_OPS(FLOAT_BINARY)
// The remainder of two floats is exact, so computing it in double loses nothing.
FLOAT_BINARY(frem, (float)fmod((double)a, (double)b))
#undef FLOAT_BINARY

#define DOUBLE_BINARY(op, expr)                \
  VM_OPDEF(Op_##op) {                          \
    VM_UNUSED_OPERANDS;                        \
    double a = GetD(sp - 4), b = GetD(sp - 2); \
    PutD(sp - 4, expr);                        \
    return VM_OP(1, -8);                       \
  }
VM_DOUBLE_BINARY_OPS(DOUBLE_BINARY)
DOUBLE_BINARY(drem, fmod(a, b))
#undef DOUBLE_BINARY

/* Divisors 0 (ArithmeticException) and -1 (MIN / -1 would trap) are tested first. */
VM_OPDEF(Op_idiv) {
  (void)locals;
  int32_t a = (int32_t)sp[-2], b = (int32_t)sp[-1];
  if (b == 0) return Fail(frame, pc, 1, VMStatus_ArithmeticException);
  sp[-2] = b == -1 ? (VMword)(0u - (uint32_t)a) : (VMword)(a / b);
  return VM_OP(1, -4);
}

VM_OPDEF(Op_irem) {
  (void)locals;
  int32_t a = (int32_t)sp[-2], b = (int32_t)sp[-1];
  if (b == 0) return Fail(frame, pc, 1, VMStatus_ArithmeticException);
  sp[-2] = b == -1 ? 0 : (VMword)(a % b);
  return VM_OP(1, -4);
}

VM_OPDEF(Op_ldiv) {
  (void)locals;
  int64_t a = Get64(sp - 4), b = Get64(sp - 2);
  if (b == 0) return Fail(frame, pc, 1, VMStatus_ArithmeticException);
  Put64(sp - 4, b == -1 ? (int64_t)(0ull - (uint64_t)a) : a / b);
  return VM_OP(1, -8);
}

VM_OPDEF(Op_lrem) {
  (void)locals;
  int64_t a = Get64(sp - 4), b = Get64(sp - 2);
  if (b == 0) return Fail(frame, pc, 1, VMStatus_ArithmeticException);
  Put64(sp - 4, b == -1 ? 0 : a % b);
  return VM_OP(1, -8);
}

VM_OPDEF(Op_ineg) {
  VM_UNUSED_OPERANDS;
  sp[-1] = 0u - sp[-1];
  return VM_OP(1, 0);
}

VM_OPDEF(Op_lneg) {
  VM_UNUSED_OPERANDS;
  Put64(sp - 2, (int64_t)(0ull - (uint64_t)Get64(sp - 2)));
  return VM_OP(1, 0);
}

/* Negation flips the sign bit: 0 - x would turn -0.0 into +0.0. */
VM_OPDEF(Op_fneg) {
  VM_UNUSED_OPERANDS;
  sp[-1] ^= 0x80000000u;
  return VM_OP(1, 0);
}

VM_OPDEF(Op_dneg) {
  VM_UNUSED_OPERANDS;
  sp[-1] ^= 0x80000000u;
  return VM_OP(1, 0);
}

/* ------------------------------------------------------------------------------------ */
/* Conversions, to the Java rules: NaN gives 0, out of range saturates                   */

VM_OPDEF(Op_i2l) {
  VM_UNUSED_OPERANDS;
  Put64(sp - 1, (int64_t)(int32_t)sp[-1]);
  return VM_OP(1, 4);
}

VM_OPDEF(Op_i2f) {
  VM_UNUSED_OPERANDS;
  PutF(sp - 1, (float)(int32_t)sp[-1]);
  return VM_OP(1, 0);
}

VM_OPDEF(Op_i2d) {
  VM_UNUSED_OPERANDS;
  PutD(sp - 1, (double)(int32_t)sp[-1]);
  return VM_OP(1, 4);
}

VM_OPDEF(Op_l2i) {
  VM_UNUSED_OPERANDS;
  return VM_OP(1, -4);  // the low word stays where it is
}

/* One rounding from the 64-bit integer (through double it could round twice). */
VM_OPDEF(Op_l2f) {
  VM_UNUSED_OPERANDS;
  PutF(sp - 2, (float)Get64(sp - 2));
  return VM_OP(1, -4);
}

VM_OPDEF(Op_l2d) {
  VM_UNUSED_OPERANDS;
  PutD(sp - 2, (double)Get64(sp - 2));
  return VM_OP(1, 0);
}

VM_OPDEF(Op_f2i) {
  VM_UNUSED_OPERANDS;
  sp[-1] = (VMword)FloatingToInt((double)GetF(sp - 1));
  return VM_OP(1, 0);
}

VM_OPDEF(Op_f2l) {
  VM_UNUSED_OPERANDS;
  Put64(sp - 1, FloatingToLong((double)GetF(sp - 1)));
  return VM_OP(1, 4);
}

VM_OPDEF(Op_f2d) {
  VM_UNUSED_OPERANDS;
  PutD(sp - 1, (double)GetF(sp - 1));
  return VM_OP(1, 4);
}

VM_OPDEF(Op_d2i) {
  VM_UNUSED_OPERANDS;
  sp[-2] = (VMword)FloatingToInt(GetD(sp - 2));
  return VM_OP(1, -4);
}

VM_OPDEF(Op_d2l) {
  VM_UNUSED_OPERANDS;
  Put64(sp - 2, FloatingToLong(GetD(sp - 2)));
  return VM_OP(1, 0);
}

VM_OPDEF(Op_d2f) {
  VM_UNUSED_OPERANDS;
  PutF(sp - 2, (float)GetD(sp - 2));
  return VM_OP(1, -4);
}

VM_OPDEF(Op_i2b) {
  VM_UNUSED_OPERANDS;
  sp[-1] = (VMword)(int32_t)(int8_t)sp[-1];
  return VM_OP(1, 0);
}

VM_OPDEF(Op_i2c) {
  VM_UNUSED_OPERANDS;
  sp[-1] = (VMword)(uint16_t)sp[-1];
  return VM_OP(1, 0);
}

VM_OPDEF(Op_i2s) {
  VM_UNUSED_OPERANDS;
  sp[-1] = (VMword)(int32_t)(int16_t)sp[-1];
  return VM_OP(1, 0);
}

/* ------------------------------------------------------------------------------------ */
/* Comparisons                                                                           */

VM_OPDEF(Op_lcmp) {
  VM_UNUSED_OPERANDS;
  int64_t a = Get64(sp - 4), b = Get64(sp - 2);
  sp[-4] = (VMword)(a < b ? -1 : a > b ? 1 : 0);
  return VM_OP(1, -12);
}

#define FCMP(name, nan)                                                    \
  VM_OPDEF(name) {                                                         \
    VM_UNUSED_OPERANDS;                                                    \
    float a = GetF(sp - 2), b = GetF(sp - 1);                              \
    sp[-2] = (VMword)(a < b ? -1 : a > b ? 1 : a == b ? 0 : (nan));        \
    return VM_OP(1, -4);                                                   \
  }
FCMP(Op_fcmpl, -1)
FCMP(Op_fcmpg, 1)
#undef FCMP

#define DCMP(name, nan)                                                    \
  VM_OPDEF(name) {                                                         \
    VM_UNUSED_OPERANDS;                                                    \
    double a = GetD(sp - 4), b = GetD(sp - 2);                             \
    sp[-4] = (VMword)(a < b ? -1 : a > b ? 1 : a == b ? 0 : (nan));        \
    return VM_OP(1, -12);                                                  \
  }
DCMP(Op_dcmpl, -1)
DCMP(Op_dcmpg, 1)
#undef DCMP

/* ------------------------------------------------------------------------------------ */
/* Branches: every backward or zero offset polls the thread                              */

#define IF_ZERO(name, cond)                                                \
  VM_OPDEF(name) {                                                         \
    (void)locals;                                                          \
    int32_t v = (int32_t)sp[-1];                                           \
    if (!(cond)) return VM_OP(3, -4);                                      \
    int32_t offset = S16(pc + 1);                                          \
    if (offset <= 0) {                                                     \
      if (PollAtBranch(sp, pc, frame)) return 0;                           \
      if (offset == 0) return JumpTo(frame, sp - 1, frame->OffsetOf(pc));  \
    }                                                                      \
    return VM_OP(offset, -4);                                              \
  }
IF_ZERO(Op_ifeq, v == 0)
IF_ZERO(Op_ifne, v != 0)
IF_ZERO(Op_iflt, v < 0)
IF_ZERO(Op_ifge, v >= 0)
IF_ZERO(Op_ifgt, v > 0)
IF_ZERO(Op_ifle, v <= 0)
#undef IF_ZERO

#define IF_CMP(name, cond)                                                 \
  VM_OPDEF(name) {                                                         \
    (void)locals;                                                          \
    int32_t a = (int32_t)sp[-2], b = (int32_t)sp[-1];                      \
    if (!(cond)) return VM_OP(3, -8);                                      \
    int32_t offset = S16(pc + 1);                                          \
    if (offset <= 0) {                                                     \
      if (PollAtBranch(sp, pc, frame)) return 0;                           \
      if (offset == 0) return JumpTo(frame, sp - 2, frame->OffsetOf(pc));  \
    }                                                                      \
    return VM_OP(offset, -8);                                              \
  }
IF_CMP(Op_if_icmpeq, a == b)
IF_CMP(Op_if_icmpne, a != b)
IF_CMP(Op_if_icmplt, a < b)
IF_CMP(Op_if_icmpge, a >= b)
IF_CMP(Op_if_icmpgt, a > b)
IF_CMP(Op_if_icmple, a <= b)
#undef IF_CMP

VM_OPDEF(Op_goto) {
  (void)locals;
  int32_t offset = S16(pc + 1);
  if (offset <= 0) {
    if (PollAtBranch(sp, pc, frame)) return 0;
    // An empty endless loop: leave the loop, so that the next round polls again.
    if (offset == 0) return JumpTo(frame, sp, frame->OffsetOf(pc));
  }
  return VM_OP(offset, 0);
}

VM_OPDEF(Op_jsr) {
  (void)locals;
  int32_t offset = S16(pc + 1);
  if (offset <= 0 && PollAtBranch(sp, pc, frame)) return 0;
  sp[0] = frame->OffsetOf(pc) + 3;
  if (offset == 0) return JumpTo(frame, sp + 1, frame->OffsetOf(pc));
  return VM_OP(offset, 4);
}

/* A 32-bit offset: taken through the frame when it does not fit the packed advance. */
static VMOpResult LongBranch(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, int32_t offset, int32_t pushBytes) {
  if (offset != 0 && offset == (int16_t)offset) return VM_OP(offset, pushBytes);
  return JumpTo(frame, (VMword*)((uint8_t*)sp + pushBytes), frame->OffsetOf(pc) + (uint32_t)offset);
}

VM_OPDEF(Op_goto_w) {
  (void)locals;
  int32_t offset = S32(pc + 1);
  if (offset <= 0 && PollAtBranch(sp, pc, frame)) return 0;
  return LongBranch(sp, pc, frame, offset, 0);
}

VM_OPDEF(Op_jsr_w) {
  (void)locals;
  int32_t offset = S32(pc + 1);
  if (offset <= 0 && PollAtBranch(sp, pc, frame)) return 0;
  sp[0] = frame->OffsetOf(pc) + 5;
  return LongBranch(sp, pc, frame, offset, 4);
}

/* ret never polls. A return point more than 32767 bytes away goes through the frame. */
VM_OPDEF(Op_ret) {
  uint32_t target = locals[pc[1]];
  int32_t advance = (int32_t)target - (int32_t)frame->OffsetOf(pc);
  if (advance != 0 && advance == (int16_t)advance) return VM_OP(advance, 0);
  return JumpTo(frame, sp, target);
}

/* A switch word at a code offset: contiguous in a fast-loop frame; in the slow loop only
   the fixed part is gathered, so the rest is read from the code array. */
static int32_t SwitchWord(VMByteCodeFrame* frame, uint8_t* pc, uint32_t opOffset, uint32_t at) {
  if (frame->flags & VMFrame::UsingFastLoopFlag) return S32(pc + (at - opOffset));
  return S32((uint8_t*)frame->method->GetCode()->FindElement(at, 0u));
}

static VMOpResult SwitchTo(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame, uint32_t opOffset, int32_t offset) {
  if (offset <= 0 && PollAtBranch(sp, pc, frame)) return 0;
  if (offset != 0 && offset == (int16_t)offset) return VM_OP(offset, -4);
  return JumpTo(frame, sp - 1, opOffset + (uint32_t)offset);
}

VM_OPDEF(Op_tableswitch) {
  (void)locals;
  uint32_t op = frame->OffsetOf(pc);
  uint32_t base = (op + 4) & ~3u;
  uint8_t* fixed = pc + (base - op);
  int32_t key = (int32_t)sp[-1];
  int32_t low = S32(fixed + 4), high = S32(fixed + 8);
  int32_t offset = S32(fixed);
  // Unsigned: key - low cannot overflow, and keys below low wrap above the range.
  uint32_t i = (uint32_t)key - (uint32_t)low;
  if (key >= low && key <= high && i <= (uint32_t)high - (uint32_t)low)
    offset = SwitchWord(frame, pc, op, base + 12 + 4 * i);
  return SwitchTo(sp, pc, frame, op, offset);
}

VM_OPDEF(Op_lookupswitch) {
  (void)locals;
  uint32_t op = frame->OffsetOf(pc);
  uint32_t base = (op + 4) & ~3u;
  uint8_t* fixed = pc + (base - op);
  int32_t key = (int32_t)sp[-1];
  int32_t offset = S32(fixed);
  int32_t pairs = S32(fixed + 4);
  for (int32_t i = 0; i < pairs; i++) {
    uint32_t at = base + 8 + 8 * (uint32_t)i;
    if (SwitchWord(frame, pc, op, at) == key) {
      offset = SwitchWord(frame, pc, op, at + 4);
      break;
    }
  }
  return SwitchTo(sp, pc, frame, op, offset);
}

/* ------------------------------------------------------------------------------------ */
/* Returns: the result goes just below the caller's saved stack pointer                  */

VM_OPDEF(Op_ireturn) {
  (void)pc, (void)locals;
  ReturnToCaller<1>(frame, sp);
  return 0;
}

VM_OPDEF(Op_lreturn) {
  (void)pc, (void)locals;
  ReturnToCaller<2>(frame, sp);
  return 0;
}

VM_OPDEF(Op_return) {
  (void)pc, (void)locals;
  ReturnToCaller<0>(frame, sp);
  return 0;
}

VM_OPDEF(Op_athrow) {
  (void)locals;
  VMJavaLangThrowable* exception = (VMJavaLangThrowable*)sp[-1];
  if (exception == NULL) return Fail(frame, pc, 1, VMStatus_NullPointerException);
  frame->MarkThrow(pc, 1);
  VMFrame::ThrowException(frame, exception);
  return 0;
}

/* Met in a plain loop, the replaced opcode runs as if no breakpoint were there, and the
   breakpoint stays planted: for threads no debugger watches, threads of another machine
   on the name space, the client's own. A thread that a connected debugger watches goes
   over to the debugging loop here, which reports the breakpoint before its instruction. */
VM_OPDEF(Op_breakpoint) {
  frame->stack = sp;
  frame->codePointer = pc;
  VMThread* thread = frame->thread;
  if ((thread->GetEnv()->debug & 0xFF) != 0) {
    VMDebugger* agent = thread->GetVM()->GetDebugger();
    if (agent != NULL && agent->GetIsConnected()) VMDebugger::JumpToDebugLoop(thread);
  }
  return VMByteCodeFrame::RunPreBreakpointOpcode(sp, pc, locals, frame);
}

/* Bytes above the last opcode cannot come from a class file (the load-time pass refuses
   them); should one appear anyway it is a VerifyError, never a call through garbage. */
VM_OPDEF(Op_bad) {
  (void)sp, (void)locals;
  frame->stack = sp;
  return Fail(frame, pc, 1, VMStatus_VerifyError);
}

/* ------------------------------------------------------------------------------------ */
/* The table                                                                             */

static VMOpHandler MakeEntry(uint32_t op) {
  switch (op) {
    case OP_nop: case OP_unused_ba: return Op_nop;
    case OP_aconst_null: case OP_fconst_0: return Op_aconst_null;
    case OP_iconst_m1: return Op_iconst_m1;
    case OP_iconst_0: return Op_iconst_0;
    case OP_iconst_1: return Op_iconst_1;
    case OP_iconst_2: return Op_iconst_2;
    case OP_iconst_3: return Op_iconst_3;
    case OP_iconst_4: return Op_iconst_4;
    case OP_iconst_5: return Op_iconst_5;
    case OP_lconst_0: case OP_dconst_0: return Op_lconst_0;
    case OP_lconst_1: return Op_lconst_1;
    case OP_fconst_1: return Op_fconst_1;
    case OP_fconst_2: return Op_fconst_2;
    case OP_dconst_1: return Op_dconst_1;
    case OP_bipush: return Op_bipush;
    case OP_sipush: return Op_sipush;
    case OP_ldc: return Op_ldc;
    case OP_ldc_w: return Op_ldc_w;
    case OP_ldc2_w: return Op_ldc2_w;
    case OP_iload: case OP_fload: case OP_aload: return Op_iload;
    case OP_lload: case OP_dload: return Op_lload;
    case OP_iload_0: case OP_fload_0: case OP_aload_0: return Op_iload_0;
    case OP_iload_1: case OP_fload_1: case OP_aload_1: return Op_iload_1;
    case OP_iload_2: case OP_fload_2: case OP_aload_2: return Op_iload_2;
    case OP_iload_3: case OP_fload_3: case OP_aload_3: return Op_iload_3;
    case OP_lload_0: case OP_dload_0: return Op_lload_0;
    case OP_lload_1: case OP_dload_1: return Op_lload_1;
    case OP_lload_2: case OP_dload_2: return Op_lload_2;
    case OP_lload_3: case OP_dload_3: return Op_lload_3;
    case OP_iaload: case OP_faload: case OP_aaload: return Op_iaload;
    case OP_laload: case OP_daload: return Op_laload;
    case OP_baload: return Op_baload;
    case OP_caload: return Op_caload;
    case OP_saload: return Op_saload;
    case OP_istore: case OP_fstore: case OP_astore: return Op_istore;
    case OP_lstore: case OP_dstore: return Op_lstore;
    case OP_istore_0: case OP_fstore_0: case OP_astore_0: return Op_istore_0;
    case OP_istore_1: case OP_fstore_1: case OP_astore_1: return Op_istore_1;
    case OP_istore_2: case OP_fstore_2: case OP_astore_2: return Op_istore_2;
    case OP_istore_3: case OP_fstore_3: case OP_astore_3: return Op_istore_3;
    case OP_lstore_0: case OP_dstore_0: return Op_lstore_0;
    case OP_lstore_1: case OP_dstore_1: return Op_lstore_1;
    case OP_lstore_2: case OP_dstore_2: return Op_lstore_2;
    case OP_lstore_3: case OP_dstore_3: return Op_lstore_3;
    case OP_iastore: case OP_fastore: return Op_iastore;
    case OP_lastore: case OP_dastore: return Op_lastore;
    case OP_aastore: return Op_aastore;
    case OP_bastore: return Op_bastore;
    case OP_castore: case OP_sastore: return Op_castore;
    case OP_pop: return Op_pop;
    case OP_pop2: return Op_pop2;
    case OP_dup: return Op_dup;
    case OP_dup_x1: return Op_dup_x1;
    case OP_dup_x2: return Op_dup_x2;
    case OP_dup2: return Op_dup2;
    case OP_dup2_x1: return Op_dup2_x1;
    case OP_dup2_x2: return Op_dup2_x2;
    case OP_swap: return Op_swap;
    case OP_iadd: return Op_iadd;
    case OP_ladd: return Op_ladd;
    case OP_fadd: return Op_fadd;
    case OP_dadd: return Op_dadd;
    case OP_isub: return Op_isub;
    case OP_lsub: return Op_lsub;
    case OP_fsub: return Op_fsub;
    case OP_dsub: return Op_dsub;
    case OP_imul: return Op_imul;
    case OP_lmul: return Op_lmul;
    case OP_fmul: return Op_fmul;
    case OP_dmul: return Op_dmul;
    case OP_idiv: return Op_idiv;
    case OP_ldiv: return Op_ldiv;
    case OP_fdiv: return Op_fdiv;
    case OP_ddiv: return Op_ddiv;
    case OP_irem: return Op_irem;
    case OP_lrem: return Op_lrem;
    case OP_frem: return Op_frem;
    case OP_drem: return Op_drem;
    case OP_ineg: return Op_ineg;
    case OP_lneg: return Op_lneg;
    case OP_fneg: return Op_fneg;
    case OP_dneg: return Op_dneg;
    case OP_ishl: return Op_ishl;
    case OP_lshl: return Op_lshl;
    case OP_ishr: return Op_ishr;
    case OP_lshr: return Op_lshr;
    case OP_iushr: return Op_iushr;
    case OP_lushr: return Op_lushr;
    case OP_iand: return Op_iand;
    case OP_land: return Op_land;
    case OP_ior: return Op_ior;
    case OP_lor: return Op_lor;
    case OP_ixor: return Op_ixor;
    case OP_lxor: return Op_lxor;
    case OP_iinc: return Op_iinc;
    case OP_i2l: return Op_i2l;
    case OP_i2f: return Op_i2f;
    case OP_i2d: return Op_i2d;
    case OP_l2i: return Op_l2i;
    case OP_l2f: return Op_l2f;
    case OP_l2d: return Op_l2d;
    case OP_f2i: return Op_f2i;
    case OP_f2l: return Op_f2l;
    case OP_f2d: return Op_f2d;
    case OP_d2i: return Op_d2i;
    case OP_d2l: return Op_d2l;
    case OP_d2f: return Op_d2f;
    case OP_i2b: return Op_i2b;
    case OP_i2c: return Op_i2c;
    case OP_i2s: return Op_i2s;
    case OP_lcmp: return Op_lcmp;
    case OP_fcmpl: return Op_fcmpl;
    case OP_fcmpg: return Op_fcmpg;
    case OP_dcmpl: return Op_dcmpl;
    case OP_dcmpg: return Op_dcmpg;
    case OP_ifeq: case OP_ifnull: return Op_ifeq;
    case OP_ifne: case OP_ifnonnull: return Op_ifne;
    case OP_iflt: return Op_iflt;
    case OP_ifge: return Op_ifge;
    case OP_ifgt: return Op_ifgt;
    case OP_ifle: return Op_ifle;
    case OP_if_icmpeq: case OP_if_acmpeq: return Op_if_icmpeq;
    case OP_if_icmpne: case OP_if_acmpne: return Op_if_icmpne;
    case OP_if_icmplt: return Op_if_icmplt;
    case OP_if_icmpge: return Op_if_icmpge;
    case OP_if_icmpgt: return Op_if_icmpgt;
    case OP_if_icmple: return Op_if_icmple;
    case OP_goto: return Op_goto;
    case OP_jsr: return Op_jsr;
    case OP_ret: return Op_ret;
    case OP_tableswitch: return Op_tableswitch;
    case OP_lookupswitch: return Op_lookupswitch;
    case OP_ireturn: case OP_freturn: case OP_areturn: return Op_ireturn;
    case OP_lreturn: case OP_dreturn: return Op_lreturn;
    case OP_return: return Op_return;
    case OP_getstatic: return Op_getstatic;
    case OP_putstatic: return Op_putstatic;
    case OP_getfield: return Op_getfield;
    case OP_putfield: return Op_putfield;
    case OP_invokevirtual: return Op_invokevirtual;
    case OP_invokespecial: return Op_invokespecial;
    case OP_invokestatic: return Op_invokestatic;
    case OP_invokeinterface: return Op_invokeinterface;
    case OP_new: return Op_new;
    case OP_newarray: return Op_newarray;
    case OP_anewarray: return Op_anewarray;
    case OP_arraylength: return Op_arraylength;
    case OP_athrow: return Op_athrow;
    case OP_checkcast: return Op_checkcast;
    case OP_instanceof: return Op_instanceof;
    case OP_monitorenter: return Op_monitorenter;
    case OP_monitorexit: return Op_monitorexit;
    case OP_wide: return Op_wide;
    case OP_multianewarray: return Op_multianewarray;
    case OP_goto_w: return Op_goto_w;
    case OP_jsr_w: return Op_jsr_w;
    case OP_breakpoint: return Op_breakpoint;
    case OP_field_rewriting: return Op_field_rewriting;
    case OP_invokevirtual_quick: return Op_invokevirtual_quick;
    case OP_getfield_quick: return Op_getfield_quick;
    case OP_putfield_quick: return Op_putfield_quick;
    case OP_getfield2_quick: return Op_getfield2_quick;
    case OP_putfield2_quick: return Op_putfield2_quick;
    case OP_agetfield_quick: return Op_agetfield_quick;
    case OP_aputfield_quick: return Op_aputfield_quick;
    case OP_getstatic_quick: case OP_agetstatic_quick: return Op_getstatic_quick;
    case OP_putstatic_quick: case OP_aputstatic_quick: return Op_putstatic_quick;
    case OP_getstatic2_quick: return Op_getstatic2_quick;
    case OP_putstatic2_quick: return Op_putstatic2_quick;
    default: return Op_bad;
  }
}

struct TableBuilder {
  TableBuilder() {
    for (uint32_t op = 0; op < 256; op++) VMOpcodeTable[op] = MakeEntry(op);
  }
};

VMOpHandler VMOpcodeTable[256];
static TableBuilder tableBuilder;
