/* What the handler sources share: the helpers every handler uses, and the names the
   opcode table is built from. Internal to the interpreter. */
#ifndef PUX_VMFRAME_HANDLERS_H
#define PUX_VMFRAME_HANDLERS_H

#include <string.h>

#include "vmframe.h"
#include "vmthread.h"

#define VM_OPDEF(name) \
  VMOpResult VM_HANDLER name(VMword* sp, uint8_t* pc, VMword* locals, VMByteCodeFrame* frame)
#define VM_UNUSED_OPERANDS (void)sp, (void)pc, (void)locals, (void)frame

namespace interp {

inline int16_t S16(const uint8_t* p) {
  int16_t v;
  memcpy(&v, p, 2);
  return v;
}
inline uint16_t U16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}
inline int32_t S32(const uint8_t* p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline int64_t Get64(const VMword* slot) {
  int64_t v;
  memcpy(&v, slot, 8);
  return v;
}
inline void Put64(VMword* slot, int64_t v) { memcpy(slot, &v, 8); }
inline float GetF(const VMword* slot) {
  float v;
  memcpy(&v, slot, 4);
  return v;
}
inline void PutF(VMword* slot, float v) { memcpy(slot, &v, 4); }
inline double GetD(const VMword* slot) {
  double v;
  memcpy(&v, slot, 8);
  return v;
}
inline void PutD(VMword* slot, double v) { memcpy(slot, &v, 8); }

/* Floating to integer by the Java rules (NaN gives 0, out of range saturates); shared
   by the conversion handlers and the dispatch loops. */
inline int32_t FloatingToInt(double v) {
  if (v != v) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return (int32_t)0x80000000u;
  return (int32_t)v;
}
inline int64_t FloatingToLong(double v) {
  if (v != v) return 0;
  if (v >= 9223372036854775807.0) return (int64_t)0x7FFFFFFFFFFFFFFFull;
  if (v <= -9223372036854775808.0) return (int64_t)0x8000000000000000ull;
  return (int64_t)v;
}

/* Raises status at the instruction at pc of the given length (the pc searched for a
   handler then lies inside it) and leaves the loop. */
VMOpResult Fail(VMByteCodeFrame* frame, uint8_t* pc, uint32_t length, VMStatus status);
/* As Fail for a failed resolution or initialisation: an exception it left pending is
   thrown as it is. */
VMOpResult FailResolve(VMByteCodeFrame* frame, uint8_t* pc, uint32_t length, VMStatus status);
/* Taken backward branches and calls into bytecode poll every PollInterval-th time: a
   host stop ends a loop within that many branches. While another thread has a request
   pending (its bit set, the request poll installed) every one polls. */
enum { PollInterval = 256 };
__attribute__((always_inline)) inline bool PollDue(VMThread* thread) {
  VMword* countdown = thread->GetPollCountdown();
  int32_t left = (int32_t)*countdown - 1;
  *countdown = (VMword)left;
  return left <= 0 || (thread->GetFlags() & VMThread::RequestFlags) != 0;
}
/* The caller of a bytecode callee whose arguments start at args resumes at next, with
   the result's words above args. */
__attribute__((always_inline)) inline void SetCallerResume(VMByteCodeFrame* frame, uint8_t* next, uint32_t length,
                                                           VMMethod* target, VMword* args) {
  frame->codePointer = next;
  frame->slowLoopPC += length;
  frame->stack = (VMword*)((uint8_t*)args + target->GetReturnBytes());
}
/* A bytecode callee's frame made in the caller's frame group, above its arguments (args),
   and made current, the caller set to resume at next. False (and nothing changed) when
   the callee's frame does not fit in the group. */
__attribute__((always_inline)) inline bool PushFrameInGroup(VMByteCodeFrame* frame, uint8_t* next, uint32_t length,
                                                            VMMethod* target, VMword targetFlags, VMObject* synch,
                                                            VMword* args) {
  VMByteCodeFrame* callee = (VMByteCodeFrame*)((uint8_t*)args + target->GetLocalBytes());
  VMword* limit = (VMword*)frame->limitOrHandler;
  if ((uint8_t*)callee->GetStackStart() + target->GetStackBytes() >= (uint8_t*)limit) return false;
  VMThread* thread = frame->thread;
  SetCallerResume(frame, next, length, target, args);
  callee->tag = VMFrame::ByteCodeTag;
  callee->flags = VMFrame::ExecutableByteCodeFlag | VMFrame::StackValidFlag |
                  ((targetFlags & VMMember::IsContiguousCodeFlag) ? (VMword)VMFrame::UsingFastLoopFlag : 0u);
  callee->thread = thread;
  callee->method = target;
  callee->caller = frame;
  callee->stack = callee->GetStackStart();
  callee->synch = synch;
  callee->limitOrHandler = limit;
  callee->locals = args;
  callee->slowLoopPC = 0;
  callee->codePointer = target->GetCode()->GetFirstElementPointer();
  callee->secondJmpBuf = VMByteCodeFrame::OwnerLinkFor(frame);
  thread->SetFrame(callee);
  return true;
}
/* A return: the result's words (0, 1 or 2) go just below the caller's saved stack
   pointer, and the caller becomes the thread's current frame. */
template <int Words>
__attribute__((always_inline)) inline void ReturnToCaller(VMByteCodeFrame* frame, VMword* sp) {
  VMFrame* caller = frame->caller;
  if (Words == 2) caller->stack[-2] = sp[-2];
  if (Words >= 1) caller->stack[-1] = sp[-1];
  frame->stack = sp;
  frame->thread->SetFrame(caller);
}
/* The entry of a receiver's method table at an index, NULL when there is none (bounded:
   a crafted or separately compiled class must not read beside the table). */
__attribute__((always_inline)) inline VMMethod* MethodTableEntry(VMObject* receiver, int32_t index) {
  VMClass* cls = receiver->GetClass();
  if (cls == NULL) return NULL;
  VMMethodArray* table = ((VMLoadableOrArrayClass*)cls)->GetMethodTable();
  if (table == NULL || index < 0 || (uint32_t)index >= table->GetSize()) return NULL;
  return table->Get((uint32_t)index);
}
/* Calls the thread's poll function (the countdown starts again) and returns its answer. */
int PollNow(VMThread* thread);
/* The poll of a taken backward (or zero) branch with the branch's state stored, when one
   is due; nonzero when ThreadDeath was thrown (the handler then returns 0). */
bool PollAtBranch(VMword* sp, uint8_t* pc, VMByteCodeFrame* frame);
/* A poll (or a class initialisation) that returned after the host moved the machine:
   the handler's registers, the frame included, name old copies. The thread's record is
   found again through its env, and the Execute that owns the current frame starts over
   from the frame, whose words the relocation rewrote (its instruction, or its branch, is
   run again, which its handler must bear). */
[[noreturn]] void ResumeAfterRelocation();
/* Leaves the loop at a code offset of this frame with the given stack. */
VMOpResult JumpTo(VMByteCodeFrame* frame, VMword* sp, uint32_t target);

}  // namespace interp

/* What the two-operand arithmetic instructions compute, one list for the handlers and
   the fast loop: X(instruction, expression) over the operands a and b (the integers
   unsigned, so that they wrap; n is a long shift's masked count). */
#define VM_INT_BINARY_OPS(X)                                                             \
  X(iadd, a + b) X(isub, a - b) X(imul, a * b) X(iand, a & b) X(ior, a | b) X(ixor, a ^ b) \
  X(ishl, a << (b & 31)) X(ishr, (uint32_t)((int32_t)a >> (b & 31))) X(iushr, a >> (b & 31))
#define VM_LONG_BINARY_OPS(X) \
  X(ladd, a + b) X(lsub, a - b) X(lmul, a * b) X(land, a & b) X(lor, a | b) X(lxor, a ^ b)
#define VM_LONG_SHIFT_OPS(X) X(lshl, a << n) X(lshr, (uint64_t)((int64_t)a >> n)) X(lushr, a >> n)
#define VM_FLOAT_BINARY_OPS(X) X(fadd, a + b) X(fsub, a - b) X(fmul, a * b) X(fdiv, a / b)
#define VM_DOUBLE_BINARY_OPS(X) X(dadd, a + b) X(dsub, a - b) X(dmul, a * b) X(ddiv, a / b)

/* The byte that stands for a field instruction while another thread rewrites it into
   its quick form in more than one store (see QuickenField): never in a class file (the
   load-time pass refuses every byte above the last opcode), and never seen by a
   collection, which waits for every running thread at a poll. */
enum : uint8_t { OP_field_rewriting = 0xD8 };
VM_OPDEF(Op_field_rewriting);

#define VM_HANDLER_NAMES(X)                                                                    \
  X(Op_nop) X(Op_aconst_null) X(Op_iconst_m1) X(Op_iconst_0) X(Op_iconst_1) X(Op_iconst_2)      \
  X(Op_iconst_3) X(Op_iconst_4) X(Op_iconst_5) X(Op_lconst_0) X(Op_lconst_1) X(Op_fconst_1)     \
  X(Op_fconst_2) X(Op_dconst_1) X(Op_bipush) X(Op_sipush) X(Op_ldc) X(Op_ldc_w) X(Op_ldc2_w)    \
  X(Op_iload) X(Op_lload) X(Op_iload_0) X(Op_iload_1) X(Op_iload_2) X(Op_iload_3) X(Op_lload_0) \
  X(Op_lload_1) X(Op_lload_2) X(Op_lload_3) X(Op_istore) X(Op_lstore) X(Op_istore_0)            \
  X(Op_istore_1) X(Op_istore_2) X(Op_istore_3) X(Op_lstore_0) X(Op_lstore_1) X(Op_lstore_2)     \
  X(Op_lstore_3) X(Op_pop) X(Op_pop2) X(Op_dup) X(Op_dup_x1) X(Op_dup_x2) X(Op_dup2)             \
  X(Op_dup2_x1) X(Op_dup2_x2) X(Op_swap) X(Op_iadd) X(Op_ladd) X(Op_fadd) X(Op_dadd) X(Op_isub)  \
  X(Op_lsub) X(Op_fsub) X(Op_dsub) X(Op_imul) X(Op_lmul) X(Op_fmul) X(Op_dmul) X(Op_idiv)        \
  X(Op_ldiv) X(Op_fdiv) X(Op_ddiv) X(Op_irem) X(Op_lrem) X(Op_frem) X(Op_drem) X(Op_ineg)        \
  X(Op_lneg) X(Op_fneg) X(Op_dneg) X(Op_ishl) X(Op_lshl) X(Op_ishr) X(Op_lshr) X(Op_iushr)       \
  X(Op_lushr) X(Op_iand) X(Op_land) X(Op_ior) X(Op_lor) X(Op_ixor) X(Op_lxor) X(Op_iinc)         \
  X(Op_i2l) X(Op_i2f) X(Op_i2d) X(Op_l2i) X(Op_l2f) X(Op_l2d) X(Op_f2i) X(Op_f2l) X(Op_f2d)      \
  X(Op_d2i) X(Op_d2l) X(Op_d2f) X(Op_i2b) X(Op_i2c) X(Op_i2s) X(Op_lcmp) X(Op_fcmpl)             \
  X(Op_fcmpg) X(Op_dcmpl) X(Op_dcmpg) X(Op_wide)                                                 \
  X(Op_ifeq) X(Op_ifne) X(Op_iflt) X(Op_ifge) X(Op_ifgt) X(Op_ifle) X(Op_if_icmpeq)              \
  X(Op_if_icmpne) X(Op_if_icmplt) X(Op_if_icmpge) X(Op_if_icmpgt) X(Op_if_icmple) X(Op_goto)     \
  X(Op_jsr) X(Op_ret) X(Op_tableswitch) X(Op_lookupswitch) X(Op_ireturn) X(Op_lreturn)           \
  X(Op_return) X(Op_athrow) X(Op_goto_w) X(Op_jsr_w) X(Op_breakpoint) X(Op_bad)                  \
  X(Op_iaload) X(Op_laload) X(Op_baload) X(Op_caload) X(Op_saload) X(Op_iastore) X(Op_lastore)   \
  X(Op_aastore) X(Op_bastore) X(Op_castore) X(Op_arraylength) X(Op_getstatic) X(Op_putstatic)    \
  X(Op_getfield) X(Op_putfield) X(Op_new) X(Op_newarray) X(Op_anewarray) X(Op_multianewarray)    \
  X(Op_checkcast) X(Op_instanceof) X(Op_monitorenter) X(Op_monitorexit) X(Op_getstatic_quick)    \
  X(Op_getstatic2_quick) X(Op_putstatic_quick) X(Op_putstatic2_quick) X(Op_getfield_quick)       \
  X(Op_putfield_quick) X(Op_getfield2_quick) X(Op_putfield2_quick) X(Op_agetfield_quick)         \
  X(Op_aputfield_quick) X(Op_invokevirtual) X(Op_invokespecial) X(Op_invokestatic)               \
  X(Op_invokeinterface) X(Op_invokevirtual_quick)

#define VM_DECLARE_HANDLER(name) VM_OPDEF(name);
VM_HANDLER_NAMES(VM_DECLARE_HANDLER)
#undef VM_DECLARE_HANDLER

#endif
