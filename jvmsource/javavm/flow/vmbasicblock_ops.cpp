/* The flow handlers: the effect of each opcode on the kinds of the operand stack and the
   locals. They know nothing of values, never allocate and never look at other blocks.
   Every index test is unsigned, so a depth that went below zero is huge and fails; a
   failed test raises VerifyError through the state's catcher. Opcodes with one effect
   share one handler, named after one of them. */
#include <string.h>

#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmliteral.h"

namespace {

typedef VMFlowState State;

inline void Check(State* s, bool ok) { s->Catcher->Verify(ok); }
inline uint32_t Depth(State* s) { return s->Block->GetStackDepth(); }
inline void Final(State* s) { Check(s, Depth(s) <= s->MaxStack); }
inline void SetDepth(State* s, uint32_t d) {
  s->Block->SetStackDepth(d);
  Final(s);
}
inline void Put(State* s, uint32_t i, bool ref) {
  Check(s, i < s->MaxStack);
  s->Block->SetStackIsRef(i, ref);
}
inline uint8_t U1(State* s, uint32_t at) { return s->Operands[at]; }
inline uint16_t U2(State* s, uint32_t at) { return (uint16_t)(s->Operands[at] | s->Operands[at + 1] << 8); }
inline int32_t S4(State* s, uint32_t at) {
  int32_t v;
  memcpy(&v, s->Operands + at, 4);
  return v;
}

/* A stack word's kind with the subroutine of a return address. */
struct Kind {
  uint8_t code;  // 0 scalar, 1 reference, 2 return address
  uint32_t subroutine;
};
Kind Read(State* s, uint32_t i) {
  Check(s, i < s->MaxStack);
  VMBasicBlock* b = s->Block;
  if (b->GetStackIsRef(i)) return Kind{1, 0};
  if (b->GetStackIsRetAddress(i)) return Kind{2, b->GetStackRetSubroutine(i)};
  return Kind{0, 0};
}
void Write(State* s, uint32_t i, Kind k) {
  Check(s, i < s->MaxStack);
  if (k.code == 2)
    s->Block->SetStackIsRetAddress(i, k.subroutine);
  else
    s->Block->SetStackIsRef(i, k.code == 1);
}

void Push(State* s, uint32_t words, bool ref) {
  uint32_t d = Depth(s);
  for (uint32_t i = 0; i < words; i++) Put(s, d + i, ref);
  SetDepth(s, d + words);
}
void Pop(State* s, uint32_t words) { SetDepth(s, Depth(s) - words); }

/* A load reads words inside the frame's locals, as a store writes them. */
void Load(State* s, uint32_t n, uint32_t words, bool ref) {
  Check(s, n < s->MaxLocals && (words == 1 || n + 1 < s->MaxLocals));
  Push(s, words, ref);
}

void StoreScalar(State* s, uint32_t n) {
  Check(s, n < s->MaxLocals);
  s->Block->SetLocalIsRef(n, false);
  s->LocalsDefined->Set(n, true);
}
void Store(State* s, uint32_t n, uint32_t words) {
  StoreScalar(s, n);
  if (words == 2) StoreScalar(s, n + 1);
  Pop(s, words);
}
/* astore takes a reference or a return address; a scalar on top is malformed code. */
void StoreReference(State* s, uint32_t n) {
  Kind top = Read(s, Depth(s) - 1);
  Check(s, top.code != 0);
  Check(s, n < s->MaxLocals);
  if (top.code == 2)
    s->Block->SetLocalIsRetAddress(n, top.subroutine);
  else
    s->Block->SetLocalIsRef(n, true);
  s->LocalsDefined->Set(n, true);
  Pop(s, 1);
}
void Ret(State* s, uint32_t n) {
  Check(s, n < s->MaxLocals);
  s->Block->SetLocalIsIndeterminate(n);  // the return address is used up
  Final(s);
}

/* ---- constants and loads ---- */

void FlowOp_nop(State* s) { Final(s); }
void FlowOp_aconst_null(State* s) { Push(s, 1, true); }
void FlowOp_iconst_0(State* s) { Push(s, 1, false); }
void FlowOp_lconst_0(State* s) { Push(s, 2, false); }
void FlowOp_jsr(State* s) {
  // The driver, which knows the entry called, adds the subroutine number.
  uint32_t d = Depth(s);
  Check(s, d < s->MaxStack);
  s->Block->SetStackIsRetAddress(d, 0);
  SetDepth(s, d + 1);
}
void Ldc(State* s, uint32_t index) {
  Check(s, index < s->PoolCount);
  int16_t type = s->Pool->GetConstType(index);
  Check(s, type == VMConstantPool::TYPE_String || type == VMConstantPool::TYPE_String_Resolved ||
               type == VMConstantPool::TYPE_Integer || type == VMConstantPool::TYPE_Float);
  Push(s, 1, s->Pool->GetConstIsRef(index));
}
void FlowOp_ldc(State* s) { Ldc(s, U1(s, 0)); }
void FlowOp_ldc_w(State* s) { Ldc(s, U2(s, 0)); }
void FlowOp_iload(State* s) { Load(s, U1(s, 0), 1, false); }
void FlowOp_lload(State* s) { Load(s, U1(s, 0), 2, false); }
void FlowOp_aload(State* s) { Load(s, U1(s, 0), 1, true); }
void FlowOp_iload_0(State* s) { Load(s, 0, 1, false); }
void FlowOp_iload_1(State* s) { Load(s, 1, 1, false); }
void FlowOp_iload_2(State* s) { Load(s, 2, 1, false); }
void FlowOp_iload_3(State* s) { Load(s, 3, 1, false); }
void FlowOp_lload_0(State* s) { Load(s, 0, 2, false); }
void FlowOp_lload_1(State* s) { Load(s, 1, 2, false); }
void FlowOp_lload_2(State* s) { Load(s, 2, 2, false); }
void FlowOp_lload_3(State* s) { Load(s, 3, 2, false); }
void FlowOp_aload_0(State* s) { Load(s, 0, 1, true); }
void FlowOp_aload_1(State* s) { Load(s, 1, 1, true); }
void FlowOp_aload_2(State* s) { Load(s, 2, 1, true); }
void FlowOp_aload_3(State* s) { Load(s, 3, 1, true); }

/* ---- arrays and arithmetic ---- */

/* Writes count words of one kind from slot d - from up, then moves the depth by delta. */
void Result(State* s, uint32_t from, uint32_t count, bool ref, int32_t delta) {
  uint32_t d = Depth(s);
  for (uint32_t i = 0; i < count; i++) Put(s, d - from + i, ref);
  SetDepth(s, d + (uint32_t)delta);
}
/* slot d-2 := S, depth d-1: the int and float array loads, the binary int and float
   operations and compares, and the narrowing conversions from long and double. */
void FlowOp_iadd(State* s) { Result(s, 2, 1, false, -1); }
void FlowOp_aaload(State* s) { Result(s, 2, 1, true, -1); }
/* slots d-2, d-1 := S: laload, daload, lneg, dneg, l2d, d2l. */
void FlowOp_lneg(State* s) { Result(s, 2, 2, false, 0); }
/* slot d-1 := S: ineg, fneg, i2f, f2i, i2b, i2c, i2s, arraylength, instanceof. */
void FlowOp_ineg(State* s) { Result(s, 1, 1, false, 0); }
/* slot d-1 := R: newarray, anewarray. */
void FlowOp_newarray(State* s) { Result(s, 1, 1, true, 0); }
void FlowOp_multianewarray(State* s) {
  uint32_t dimensions = U1(s, 2);
  Result(s, dimensions, 1, true, 1 - (int32_t)dimensions);
}
void FlowOp_ladd(State* s) { Result(s, 4, 2, false, -2); }
void FlowOp_lshl(State* s) { Result(s, 3, 2, false, -1); }
void FlowOp_lcmp(State* s) { Result(s, 4, 1, false, -3); }
/* slots d-1, d := S, depth d+1: i2l, i2d, f2l, f2d. */
void FlowOp_i2l(State* s) { Result(s, 1, 2, false, 1); }

/* ---- stores ---- */

void FlowOp_istore(State* s) { Store(s, U1(s, 0), 1); }
void FlowOp_lstore(State* s) { Store(s, U1(s, 0), 2); }
void FlowOp_astore(State* s) { StoreReference(s, U1(s, 0)); }
void FlowOp_istore_0(State* s) { Store(s, 0, 1); }
void FlowOp_istore_1(State* s) { Store(s, 1, 1); }
void FlowOp_istore_2(State* s) { Store(s, 2, 1); }
void FlowOp_istore_3(State* s) { Store(s, 3, 1); }
void FlowOp_lstore_0(State* s) { Store(s, 0, 2); }
void FlowOp_lstore_1(State* s) { Store(s, 1, 2); }
void FlowOp_lstore_2(State* s) { Store(s, 2, 2); }
void FlowOp_lstore_3(State* s) { Store(s, 3, 2); }
void FlowOp_astore_0(State* s) { StoreReference(s, 0); }
void FlowOp_astore_1(State* s) { StoreReference(s, 1); }
void FlowOp_astore_2(State* s) { StoreReference(s, 2); }
void FlowOp_astore_3(State* s) { StoreReference(s, 3); }
void FlowOp_iinc(State* s) {
  StoreScalar(s, U1(s, 0));
  Final(s);
}

/* ---- stack shuffles: both bits of each word travel ---- */

void FlowOp_pop(State* s) { Pop(s, 1); }
void FlowOp_pop2(State* s) { Pop(s, 2); }
void FlowOp_iastore(State* s) { Pop(s, 3); }
void FlowOp_lastore(State* s) { Pop(s, 4); }
/* A shuffle reads the kinds a = d-1, b = d-2, c = d-3, e = d-4 (as many as it needs, in
   that order), then writes slots relative to d from them, in the order given. */
struct Shuffle {
  uint8_t reads;
  int8_t delta;
  uint8_t count;
  int8_t slot[6];  // relative to d
  uint8_t from[6]; // 0 a, 1 b, 2 c, 3 e
};
void Apply(State* s, const Shuffle& sh) {
  uint32_t d = Depth(s);
  Kind read[4];
  for (uint32_t i = 0; i < sh.reads; i++) read[i] = Read(s, d - 1 - i);
  for (uint32_t i = 0; i < sh.count; i++) Write(s, d + (uint32_t)(int32_t)sh.slot[i], read[sh.from[i]]);
  SetDepth(s, d + (uint32_t)(int32_t)sh.delta);
}
const Shuffle kDup = {1, 1, 1, {0}, {0}};
const Shuffle kDupX1 = {2, 1, 3, {0, -1, -2}, {0, 1, 0}};
const Shuffle kDupX2 = {3, 1, 4, {0, -1, -2, -3}, {0, 1, 2, 0}};
const Shuffle kDup2 = {2, 2, 2, {1, 0}, {0, 1}};
const Shuffle kDup2X1 = {3, 2, 5, {1, 0, -1, -2, -3}, {0, 1, 2, 0, 1}};
const Shuffle kDup2X2 = {4, 2, 6, {1, 0, -1, -2, -3, -4}, {0, 1, 2, 3, 0, 1}};
const Shuffle kSwap = {2, 0, 2, {-1, -2}, {1, 0}};
void FlowOp_dup(State* s) { Apply(s, kDup); }
void FlowOp_dup_x1(State* s) { Apply(s, kDupX1); }
void FlowOp_dup_x2(State* s) { Apply(s, kDupX2); }
void FlowOp_dup2(State* s) { Apply(s, kDup2); }
void FlowOp_dup2_x1(State* s) { Apply(s, kDup2X1); }
void FlowOp_dup2_x2(State* s) { Apply(s, kDup2X2); }
void FlowOp_swap(State* s) { Apply(s, kSwap); }

/* ---- control ---- */

void FlowOp_ret(State* s) { Ret(s, U1(s, 0)); }

/* Switch operands start at the next multiple of 4 counted from the start of the code.
   The counts are taken in 64 bits and the whole table must lie inside the code: a wrapped
   count would report a length of zero or less and the flow would never advance. */
void FlowOp_tableswitch(State* s) {
  uint32_t pc = s->PC - 1;
  uint32_t pad = (4 - (s->PC & 3)) & 3;
  Check(s, (uint64_t)s->PC + pad + 12 <= s->CodeLength);
  int32_t low = S4(s, pad + 4), high = S4(s, pad + 8);
  Check(s, low <= high);
  uint64_t length = 1 + pad + 12 + 4 * (uint64_t)((int64_t)high - low + 1);
  Check(s, pc + length <= s->CodeLength);
  Pop(s, 1);
  *s->Advance = (int32_t)length;
}
void FlowOp_lookupswitch(State* s) {
  uint32_t pc = s->PC - 1;
  uint32_t pad = (4 - (s->PC & 3)) & 3;
  Check(s, (uint64_t)s->PC + pad + 8 <= s->CodeLength);
  int32_t pairs = S4(s, pad + 4);
  Check(s, pairs >= 0);
  uint64_t length = 1 + pad + 8 + 8 * (uint64_t)pairs;
  Check(s, pc + length <= s->CodeLength);
  Pop(s, 1);
  *s->Advance = (int32_t)length;
}

/* ---- fields and calls: the kind comes from the first character of the signature ---- */

VMLiteral* Signature(State* s, uint32_t index, int16_t type) {
  Check(s, index < s->PoolCount);
  int16_t t = s->Pool->GetConstType(index);
  Check(s, t == type || t == -type);
  VMLiteral* signature = s->Pool->GetConstSignature(s->Class, index);
  s->Catcher->NotNull(signature);
  return signature;
}
void Field(State* s, bool isStatic, bool get) {
  jchar c = Signature(s, U2(s, 0), VMConstantPool::TYPE_FieldRef)->GetFirstChar();
  uint32_t words = (c == 'D' || c == 'J') ? 2 : 1;
  bool ref = c == 'L' || c == '[';
  uint32_t d = Depth(s) - (isStatic ? 0 : 1);
  uint32_t top = get ? d + words : d - words;
  SetDepth(s, top);
  if (!get) return;
  if (ref) {
    Put(s, top - 1, true);
  } else {
    if (words == 2) Put(s, top - 2, false);
    Put(s, top - 1, false);
  }
}
void FlowOp_getstatic(State* s) { Field(s, true, true); }
void FlowOp_putstatic(State* s) { Field(s, true, false); }
void FlowOp_getfield(State* s) { Field(s, false, true); }
void FlowOp_putfield(State* s) { Field(s, false, false); }

void Invoke(State* s, bool isStatic, int16_t type) {
  VMLiteral* signature = Signature(s, U2(s, 0), type);
  VMMethod::SignatureInfo info = {};
  // An unreadable signature would leave the counts unknown.
  Check(s, VMMethod::ClassifySignature(signature, isStatic, &info));
  uint32_t d = Depth(s) - info.parameterWords;
  SetDepth(s, d);
  jchar c = info.returnChar;
  if (c == 'L' || c == '[') {
    Put(s, d, true);
  } else if (c == 'D' || c == 'J') {
    Put(s, d, false);
    Put(s, d + 1, false);
  } else if (c != 'V') {
    Put(s, d, false);
  }
  SetDepth(s, d + info.returnWords);
}
void FlowOp_invokevirtual(State* s) { Invoke(s, false, VMConstantPool::TYPE_MethodRef); }
void FlowOp_invokestatic(State* s) { Invoke(s, true, VMConstantPool::TYPE_MethodRef); }
void FlowOp_invokeinterface(State* s) { Invoke(s, false, VMConstantPool::TYPE_InterfaceMethodRef); }

/* ---- wide: the narrow effect with a 16-bit local index ---- */

uint32_t WideIndex(State* s) { return U2(s, 1); }
void FlowOp_wide_iload(State* s) { Load(s, WideIndex(s), 1, false); }
void FlowOp_wide_lload(State* s) { Load(s, WideIndex(s), 2, false); }
void FlowOp_wide_aload(State* s) { Load(s, WideIndex(s), 1, true); }
void FlowOp_wide_istore(State* s) { Store(s, WideIndex(s), 1); }
void FlowOp_wide_lstore(State* s) { Store(s, WideIndex(s), 2); }
void FlowOp_wide_astore(State* s) { StoreReference(s, WideIndex(s)); }
void FlowOp_wide_iinc(State* s) { StoreScalar(s, WideIndex(s)); }
void FlowOp_wide_ret(State* s) { Ret(s, WideIndex(s)); }

void FlowOp_wide(State* s) {
  uint8_t widened = U1(s, 0);
  switch (widened) {
    case OP_iload: case OP_fload: FlowOp_wide_iload(s); break;
    case OP_lload: case OP_dload: FlowOp_wide_lload(s); break;
    case OP_aload: FlowOp_wide_aload(s); break;
    case OP_istore: case OP_fstore: FlowOp_wide_istore(s); break;
    case OP_lstore: case OP_dstore: FlowOp_wide_lstore(s); break;
    case OP_astore: FlowOp_wide_astore(s); break;
    case OP_iinc: FlowOp_wide_iinc(s); break;
    case OP_ret: FlowOp_wide_ret(s); break;
    default: VM_ASSERT(!"Valid opcode"); break;
  }
  *s->Advance = widened == OP_iinc ? 6 : 4;
  Final(s);
}

}  // namespace

/* Slot by slot, in opcode order. */
const VMFlowOp FlowOpTable[VMOpcodeCount] = {
    /* 0x00 nop .. dconst_1 */
    FlowOp_nop, FlowOp_aconst_null, FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_iconst_0,
    FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_lconst_0,
    FlowOp_lconst_0, FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_lconst_0,
    FlowOp_lconst_0,
    /* 0x10 bipush, sipush, ldc, ldc_w, ldc2_w, iload, lload, fload, dload, aload,
       iload_0-3, lload_0-1 */
    FlowOp_iconst_0, FlowOp_iconst_0, FlowOp_ldc, FlowOp_ldc_w, FlowOp_lconst_0, FlowOp_iload,
    FlowOp_lload, FlowOp_iload, FlowOp_lload, FlowOp_aload, FlowOp_iload_0,
    FlowOp_iload_1, FlowOp_iload_2, FlowOp_iload_3, FlowOp_lload_0, FlowOp_lload_1,
    /* 0x20 lload_2-3, fload_0-3, dload_0-3, aload_0-3, iaload, laload */
    FlowOp_lload_2, FlowOp_lload_3, FlowOp_iload_0, FlowOp_iload_1, FlowOp_iload_2,
    FlowOp_iload_3, FlowOp_lload_0, FlowOp_lload_1, FlowOp_lload_2, FlowOp_lload_3,
    FlowOp_aload_0, FlowOp_aload_1, FlowOp_aload_2, FlowOp_aload_3, FlowOp_iadd,
    FlowOp_lneg,
    /* 0x30 faload, daload, aaload, baload, caload, saload, istore, lstore, fstore, dstore,
       astore, istore_0-3, lstore_0 */
    FlowOp_iadd, FlowOp_lneg, FlowOp_aaload, FlowOp_iadd, FlowOp_iadd, FlowOp_iadd, FlowOp_istore,
    FlowOp_lstore, FlowOp_istore, FlowOp_lstore, FlowOp_astore, FlowOp_istore_0, FlowOp_istore_1,
    FlowOp_istore_2, FlowOp_istore_3, FlowOp_lstore_0,
    /* 0x40 lstore_1-3, fstore_0-3, dstore_0-3, astore_0-3, iastore */
    FlowOp_lstore_1, FlowOp_lstore_2, FlowOp_lstore_3, FlowOp_istore_0, FlowOp_istore_1,
    FlowOp_istore_2, FlowOp_istore_3, FlowOp_lstore_0, FlowOp_lstore_1, FlowOp_lstore_2,
    FlowOp_lstore_3, FlowOp_astore_0, FlowOp_astore_1, FlowOp_astore_2, FlowOp_astore_3,
    FlowOp_iastore,
    /* 0x50 lastore, fastore, dastore, aastore, bastore, castore, sastore, pop, pop2, dup,
       dup_x1, dup_x2, dup2, dup2_x1, dup2_x2, swap */
    FlowOp_lastore, FlowOp_iastore, FlowOp_lastore, FlowOp_iastore, FlowOp_iastore, FlowOp_iastore,
    FlowOp_iastore, FlowOp_pop, FlowOp_pop2, FlowOp_dup, FlowOp_dup_x1, FlowOp_dup_x2, FlowOp_dup2,
    FlowOp_dup2_x1, FlowOp_dup2_x2, FlowOp_swap,
    /* 0x60 iadd, ladd, fadd, dadd, isub, lsub, fsub, dsub, imul, lmul, fmul, dmul, idiv,
       ldiv, fdiv, ddiv */
    FlowOp_iadd, FlowOp_ladd, FlowOp_iadd, FlowOp_ladd, FlowOp_iadd, FlowOp_ladd, FlowOp_iadd,
    FlowOp_ladd, FlowOp_iadd, FlowOp_ladd, FlowOp_iadd, FlowOp_ladd, FlowOp_iadd, FlowOp_ladd,
    FlowOp_iadd, FlowOp_ladd,
    /* 0x70 irem, lrem, frem, drem, ineg, lneg, fneg, dneg, ishl, lshl, ishr, lshr, iushr,
       lushr, iand, land */
    FlowOp_iadd, FlowOp_ladd, FlowOp_iadd, FlowOp_ladd, FlowOp_ineg, FlowOp_lneg, FlowOp_ineg,
    FlowOp_lneg, FlowOp_iadd, FlowOp_lshl, FlowOp_iadd, FlowOp_lshl, FlowOp_iadd, FlowOp_lshl,
    FlowOp_iadd, FlowOp_ladd,
    /* 0x80 ior, lor, ixor, lxor, iinc, i2l, i2f, i2d, l2i, l2f, l2d, f2i, f2l, f2d, d2i, d2l */
    FlowOp_iadd, FlowOp_ladd, FlowOp_iadd, FlowOp_ladd, FlowOp_iinc, FlowOp_i2l, FlowOp_ineg,
    FlowOp_i2l, FlowOp_iadd, FlowOp_iadd, FlowOp_lneg, FlowOp_ineg, FlowOp_i2l, FlowOp_i2l,
    FlowOp_iadd, FlowOp_lneg,
    /* 0x90 d2f, i2b, i2c, i2s, lcmp, fcmpl, fcmpg, dcmpl, dcmpg, ifeq .. ifle, if_icmpeq */
    FlowOp_iadd, FlowOp_ineg, FlowOp_ineg, FlowOp_ineg, FlowOp_lcmp, FlowOp_iadd, FlowOp_iadd,
    FlowOp_lcmp, FlowOp_lcmp, FlowOp_pop, FlowOp_pop, FlowOp_pop, FlowOp_pop, FlowOp_pop,
    FlowOp_pop, FlowOp_pop2,
    /* 0xA0 if_icmpne .. if_acmpne, goto, jsr, ret, tableswitch, lookupswitch, ireturn,
       lreturn, freturn, dreturn */
    FlowOp_pop2, FlowOp_pop2, FlowOp_pop2, FlowOp_pop2, FlowOp_pop2, FlowOp_pop2, FlowOp_pop2,
    FlowOp_nop, FlowOp_jsr, FlowOp_ret, FlowOp_tableswitch, FlowOp_lookupswitch, FlowOp_pop,
    FlowOp_pop2, FlowOp_pop, FlowOp_pop2,
    /* 0xB0 areturn, return, getstatic, putstatic, getfield, putfield, invokevirtual,
       invokespecial, invokestatic, invokeinterface, xxxunusedxxx, new, newarray, anewarray,
       arraylength, athrow */
    FlowOp_pop, FlowOp_nop, FlowOp_getstatic, FlowOp_putstatic, FlowOp_getfield, FlowOp_putfield,
    FlowOp_invokevirtual, FlowOp_invokevirtual, FlowOp_invokestatic, FlowOp_invokeinterface,
    FlowOp_nop, FlowOp_aconst_null, FlowOp_newarray, FlowOp_newarray, FlowOp_ineg, FlowOp_pop,
    /* 0xC0 checkcast, instanceof, monitorenter, monitorexit, wide, multianewarray, ifnull,
       ifnonnull, goto_w, jsr_w, breakpoint */
    FlowOp_nop, FlowOp_ineg, FlowOp_pop, FlowOp_pop, FlowOp_wide, FlowOp_multianewarray,
    FlowOp_pop, FlowOp_pop, FlowOp_nop, FlowOp_jsr, FlowOp_nop,
    /* 0xCB-0xD7 quick forms: invokevirtual; getfield one scalar word, putfield one word,
       getfield two words, putfield two words, getfield a reference, putfield a reference;
       getstatic, putstatic (one word), getstatic, putstatic (two words), getstatic,
       putstatic (a reference) */
    FlowOp_invokevirtual, FlowOp_ineg, FlowOp_pop2, FlowOp_i2l, FlowOp_iastore, FlowOp_newarray,
    FlowOp_pop2, FlowOp_getstatic, FlowOp_putstatic, FlowOp_getstatic, FlowOp_putstatic,
    FlowOp_getstatic, FlowOp_putstatic,
};
