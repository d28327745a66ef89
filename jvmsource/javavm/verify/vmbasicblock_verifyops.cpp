/* The verifier's kind rules: one per opcode, each checking the kinds of the words the
   instruction consumes, the stack and local bounds and the constant-pool entries it
   names, then changing the state as the instruction would. Most opcodes have one shape
   (so many words of given kinds in, so many out) and share the generic rule over the
   shape table; the others have rules of their own.

   Every index test is unsigned: a slot below the bottom of the stack is a huge number and
   fails the same test as one above max_stack. A failed test raises VerifyError through
   the state's catcher; rules hold no lock and no object with a destructor. */
#include "vmbasicblock_verify.h"
#include "vmconstantpool.h"
#include "vmliteral.h"
#include "vmnamespace.h"

namespace verify {

const char* const kShapes[VMOpcodeCount] = {
    /* 0x00 nop, aconst_null, iconst_m1..iconst_5, lconst_0, lconst_1, fconst_0..2,
       dconst_0, dconst_1 */
    ">", ">R", ">S", ">S", ">S", ">S", ">S", ">S", ">S", ">SS", ">SS", ">S", ">S", ">S", ">SS", ">SS",
    /* 0x10 bipush, sipush, ldc, ldc_w, ldc2_w, loads */
    ">S", ">S", NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
    /* 0x20 loads, iaload, laload */
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "RN>S", "RN>SS",
    /* 0x30 faload, daload, aaload, baload, caload, saload, stores */
    "RN>S", "RN>SS", "RN>R", "RN>S", "RN>S", "RN>S", NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
    NULL,
    /* 0x40 stores, iastore */
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "RNN>",
    /* 0x50 lastore, fastore, dastore, aastore, bastore, castore, sastore, stack operations */
    "RNNN>", "RNN>", "RNNN>", "RNR>", "RNN>", "RNN>", "RNN>", NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
    NULL,
    /* 0x60 add, sub, mul, div (int, long, float, double each) */
    "NN>S", "NNNN>SS", "NN>S", "NNNN>SS", "NN>S", "NNNN>SS", "NN>S", "NNNN>SS", "NN>S", "NNNN>SS", "NN>S",
    "NNNN>SS", "NN>S", "NNNN>SS", "NN>S", "NNNN>SS",
    /* 0x70 rem, neg, shifts, iand, land */
    "NN>S", "NNNN>SS", "NN>S", "NNNN>SS", "N>S", "NN>SS", "N>S", "NN>SS", "NN>S", "NNN>SS", "NN>S", "NNN>SS",
    "NN>S", "NNN>SS", "NN>S", "NNNN>SS",
    /* 0x80 ior, lor, ixor, lxor, iinc, conversions */
    "NN>S", "NNNN>SS", "NN>S", "NNNN>SS", NULL, "N>SS", "N>S", "N>SS", "NN>S", "NN>S", "NN>SS", "N>S", "N>SS",
    "N>SS", "NN>S", "NN>SS",
    /* 0x90 d2f, i2b, i2c, i2s, lcmp, fcmpl, fcmpg, dcmpl, dcmpg, ifeq..ifle, if_icmpeq */
    "NN>S", "N>S", "N>S", "N>S", "NNNN>S", "NN>S", "NN>S", "NNNN>S", "NNNN>S", "N>", "N>", "N>", "N>", "N>",
    "N>", "NN>",
    /* 0xA0 if_icmpne..if_icmple, if_acmpeq, if_acmpne, goto, jsr, ret, switches, returns */
    "NN>", "NN>", "NN>", "NN>", "NN>", "RR>", "RR>", ">", NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
    /* 0xB0 returns, fields, invocations, 0xBA, new, newarray, anewarray, arraylength, athrow */
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "R>S", "R>",
    /* 0xC0 checkcast, instanceof, monitorenter, monitorexit, wide, multianewarray, ifnull,
       ifnonnull, goto_w, jsr_w */
    NULL, NULL, "R>", "R>", NULL, NULL, "R>", "R>", ">", NULL,
    /* 0xCA breakpoint, 0xCB-0xD7 quick forms: never verified */
    NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
};

}  // namespace verify

namespace {

typedef VMFlowState State;
using verify::U2;

inline void Check(State* s, bool ok) { s->Catcher->Verify(ok); }
inline uint32_t Depth(State* s) { return s->Block->GetStackDepth(); }
inline void SetDepth(State* s, uint32_t d) {
  s->Block->SetStackDepth(d);
  Check(s, d <= s->MaxStack);
}
inline void Final(State* s) { Check(s, Depth(s) <= s->MaxStack); }
/* R: a reference. */
inline void NeedRef(State* s, uint32_t slot) { Check(s, slot < s->MaxStack && s->Block->GetStackIsRef(slot)); }
/* N: anything but a reference (a return address passes). */
inline void NeedNotRef(State* s, uint32_t slot) {
  Check(s, slot < s->MaxStack && s->Block->GetStackIsScalar(slot));
}
inline void Put(State* s, uint32_t slot, bool ref) {
  Check(s, slot < s->MaxStack);
  s->Block->SetStackIsRef(slot, ref);
}
inline void Push(State* s, uint32_t words, bool ref) {
  uint32_t d = Depth(s);
  for (uint32_t i = 0; i < words; i++) Put(s, d + i, ref);
  SetDepth(s, d + words);
}
inline uint8_t U1(State* s, uint32_t at) { return s->Operands[at]; }
inline uint16_t Op2(State* s, uint32_t at) { return U2(s->Operands + at); }

/* The shape of the table: consumed words checked from the top down, produced words
   written from the lowest slot up. */
void Generic(State* s, const char* shape) {
  uint32_t in = 0;
  while (shape[in] != '>') in++;
  const char* out = shape + in + 1;
  uint32_t d = Depth(s);
  for (uint32_t k = in; k-- > 0;) {
    uint32_t slot = d - (in - k);
    if (shape[k] == 'R')
      NeedRef(s, slot);
    else
      NeedNotRef(s, slot);
  }
  uint32_t base = d - in;
  uint32_t produced = 0;
  for (; out[produced] != 0; produced++) Put(s, base + produced, out[produced] == 'R');
  SetDepth(s, base + produced);
}

/* ---- locals ---- */

void LoadRef(State* s, uint32_t n) {
  Check(s, n < s->MaxLocals && s->Block->GetLocalIsRef(n));
  Push(s, 1, true);
}
void LoadScalar(State* s, uint32_t n, uint32_t words) {
  Check(s, n < s->MaxLocals && s->Block->GetLocalIsScalar(n));
  if (words == 2) Check(s, n + 1 < s->MaxLocals && s->Block->GetLocalIsScalar(n + 1));
  Push(s, words, false);
}
/* astore: a reference, or a return address that keeps its subroutine. */
void StoreRef(State* s, uint32_t n) {
  uint32_t d = Depth(s);
  Check(s, d - 1 < s->MaxStack);
  VMBasicBlock* b = s->Block;
  if (b->GetStackIsRetAddress(d - 1)) {
    Check(s, n < s->MaxLocals);
    b->SetLocalIsRetAddress(n, b->GetStackRetSubroutine(d - 1));
  } else {
    Check(s, b->GetStackIsRef(d - 1));
    Check(s, n < s->MaxLocals);
    b->SetLocalIsRef(n, true);
  }
  SetDepth(s, d - 1);
}
void StoreScalar(State* s, uint32_t n, uint32_t words) {
  uint32_t d = Depth(s);
  for (uint32_t i = 1; i <= words; i++) NeedNotRef(s, d - i);
  Check(s, n < s->MaxLocals);
  s->Block->SetLocalIsRef(n, false);
  if (words == 2) {
    Check(s, n + 1 < s->MaxLocals);
    s->Block->SetLocalIsRef(n + 1, false);
  }
  SetDepth(s, d - words);
}
void Increment(State* s, uint32_t n) {
  Check(s, n < s->MaxLocals && s->Block->GetLocalIsScalar(n));
  s->Block->SetLocalIsRef(n, false);
  Final(s);
}
/* ret needs a return address of the subroutine the block returns from: one merged with
   anything else, or of another subroutine, would send control where the flow never
   looked. */
void Ret(State* s, uint32_t n) {
  VMBasicBlock* b = s->Block;
  Check(s, n < s->MaxLocals && b->GetLocalIsRetAddress(n));
  if (b->GetLocalSubroutineArray() != NULL) Check(s, b->GetLocalRetSubroutine(n) == b->GetSubroutineIndex());
  Final(s);
  b->SetLocalIsIndeterminate(n);
}

}  // namespace

#define PUX_LOAD(name, n, words) \
  static void VerifyOp_##name(State* s) { LoadScalar(s, n, words); }
#define PUX_LOADS(prefix, words)                               \
  static void VerifyOp_##prefix(State* s) { LoadScalar(s, U1(s, 0), words); } \
  PUX_LOAD(prefix##_0, 0, words) PUX_LOAD(prefix##_1, 1, words) \
  PUX_LOAD(prefix##_2, 2, words) PUX_LOAD(prefix##_3, 3, words)
PUX_LOADS(iload, 1)
PUX_LOADS(lload, 2)
PUX_LOADS(fload, 1)
PUX_LOADS(dload, 2)
#undef PUX_LOADS
#undef PUX_LOAD
static void VerifyOp_aload(State* s) { LoadRef(s, U1(s, 0)); }
static void VerifyOp_aload_0(State* s) { LoadRef(s, 0); }
static void VerifyOp_aload_1(State* s) { LoadRef(s, 1); }
static void VerifyOp_aload_2(State* s) { LoadRef(s, 2); }
static void VerifyOp_aload_3(State* s) { LoadRef(s, 3); }

#define PUX_STORE(name, n, words) \
  static void VerifyOp_##name(State* s) { StoreScalar(s, n, words); }
#define PUX_STORES(prefix, words)                                \
  static void VerifyOp_##prefix(State* s) { StoreScalar(s, U1(s, 0), words); } \
  PUX_STORE(prefix##_0, 0, words) PUX_STORE(prefix##_1, 1, words) \
  PUX_STORE(prefix##_2, 2, words) PUX_STORE(prefix##_3, 3, words)
PUX_STORES(istore, 1)
PUX_STORES(lstore, 2)
PUX_STORES(fstore, 1)
PUX_STORES(dstore, 2)
#undef PUX_STORES
#undef PUX_STORE
static void VerifyOp_astore(State* s) { StoreRef(s, U1(s, 0)); }
static void VerifyOp_astore_0(State* s) { StoreRef(s, 0); }
static void VerifyOp_astore_1(State* s) { StoreRef(s, 1); }
static void VerifyOp_astore_2(State* s) { StoreRef(s, 2); }
static void VerifyOp_astore_3(State* s) { StoreRef(s, 3); }
static void VerifyOp_iinc(State* s) { Increment(s, U1(s, 0)); }

/* ---- subroutines and wide ---- */

static void Jsr(State* s) {
  uint32_t d = Depth(s);
  Check(s, d < s->MaxStack);
  s->Block->SetStackIsRetAddress(d);
  SetDepth(s, d + 1);
}
static void VerifyOp_jsr(State* s) { Jsr(s); }
static void VerifyOp_jsr_w(State* s) { Jsr(s); }
static void VerifyOp_ret(State* s) { Ret(s, U1(s, 0)); }

static uint32_t WideIndex(State* s) { return Op2(s, 1); }
static void VerifyOp_wide_iload(State* s) { LoadScalar(s, WideIndex(s), 1); }
static void VerifyOp_wide_lload(State* s) { LoadScalar(s, WideIndex(s), 2); }
static void VerifyOp_wide_fload(State* s) { LoadScalar(s, WideIndex(s), 1); }
static void VerifyOp_wide_dload(State* s) { LoadScalar(s, WideIndex(s), 2); }
static void VerifyOp_wide_aload(State* s) { LoadRef(s, WideIndex(s)); }
static void VerifyOp_wide_istore(State* s) { StoreScalar(s, WideIndex(s), 1); }
static void VerifyOp_wide_lstore(State* s) { StoreScalar(s, WideIndex(s), 2); }
static void VerifyOp_wide_fstore(State* s) { StoreScalar(s, WideIndex(s), 1); }
static void VerifyOp_wide_dstore(State* s) { StoreScalar(s, WideIndex(s), 2); }
static void VerifyOp_wide_astore(State* s) { StoreRef(s, WideIndex(s)); }
static void VerifyOp_wide_iinc(State* s) { Increment(s, WideIndex(s)); }
static void VerifyOp_wide_ret(State* s) { Ret(s, WideIndex(s)); }

static void VerifyOp_wide(State* s) {
  uint8_t widened = U1(s, 0);
  uint32_t length = 4;
  switch (widened) {
    case OP_iload: VerifyOp_wide_iload(s); break;
    case OP_lload: VerifyOp_wide_lload(s); break;
    case OP_fload: VerifyOp_wide_fload(s); break;
    case OP_dload: VerifyOp_wide_dload(s); break;
    case OP_aload: VerifyOp_wide_aload(s); break;
    case OP_istore: VerifyOp_wide_istore(s); break;
    case OP_lstore: VerifyOp_wide_lstore(s); break;
    case OP_fstore: VerifyOp_wide_fstore(s); break;
    case OP_dstore: VerifyOp_wide_dstore(s); break;
    case OP_astore: VerifyOp_wide_astore(s); break;
    case OP_iinc:
      VerifyOp_wide_iinc(s);
      length = 6;
      break;
    case OP_ret:
      // Ends its block: the driver's fixed length takes the walk past it.
      VerifyOp_wide_ret(s);
      length = 0;
      break;
    default:
      // The load-time pass refuses every other widened opcode; never trust that here.
      Check(s, false);
  }
  if (length != 0) *s->Advance = (int32_t)length;
  Final(s);
}

/* ---- constants ---- */

static void Ldc(State* s, uint32_t index) {
  Check(s, index < s->PoolCount);
  int16_t type = s->Pool->GetConstType(index);
  Check(s, type == VMConstantPool::TYPE_Integer || type == VMConstantPool::TYPE_Float ||
               type == VMConstantPool::TYPE_String || type == VMConstantPool::TYPE_String_Resolved);
  Push(s, 1, s->Pool->GetConstIsRef(index));
}
static void VerifyOp_ldc(State* s) { Ldc(s, U1(s, 0)); }
static void VerifyOp_ldc_w(State* s) { Ldc(s, Op2(s, 0)); }
static void VerifyOp_ldc2_w(State* s) {
  uint32_t index = Op2(s, 0);
  Check(s, index < s->PoolCount);
  int16_t type = s->Pool->GetConstType(index);
  Check(s, type == VMConstantPool::TYPE_Long || type == VMConstantPool::TYPE_Double);
  Push(s, 2, false);
}

/* ---- stack operations: every word keeps its kind, and a return address its
   subroutine ---- */

namespace {

struct Word {
  uint8_t kind;  // 0 scalar, 1 reference, 2 return address
  uint32_t subroutine;
};
Word Read(State* s, uint32_t slot) {
  Check(s, slot < s->MaxStack);
  VMBasicBlock* b = s->Block;
  if (b->GetStackIsRef(slot)) return Word{1, 0};
  if (b->GetStackIsRetAddress(slot)) return Word{2, b->GetStackRetSubroutine(slot)};
  return Word{0, 0};
}
void Write(State* s, uint32_t slot, Word w) {
  Check(s, slot < s->MaxStack);
  if (w.kind == 2)
    s->Block->SetStackIsRetAddress(slot, w.subroutine);
  else
    s->Block->SetStackIsRef(slot, w.kind == 1);
}
/* Reads the top `reads` words (a = d-1, b = d-2, ...), writes slot d + at[i] from word
   from[i], then moves the depth. */
struct Shuffle {
  uint8_t reads;
  int8_t delta;
  uint8_t count;
  int8_t at[6];
  uint8_t from[6];
};
void Apply(State* s, const Shuffle& sh) {
  uint32_t d = Depth(s);
  Word read[4];
  for (uint32_t i = 0; i < sh.reads; i++) read[i] = Read(s, d - 1 - i);
  for (uint32_t i = 0; i < sh.count; i++) Write(s, d + (uint32_t)(int32_t)sh.at[i], read[sh.from[i]]);
  SetDepth(s, d + (uint32_t)(int32_t)sh.delta);
}
const Shuffle kDup = {1, 1, 1, {0}, {0}};
const Shuffle kDupX1 = {2, 1, 3, {0, -1, -2}, {0, 1, 0}};
const Shuffle kDupX2 = {3, 1, 4, {0, -1, -2, -3}, {0, 1, 2, 0}};
const Shuffle kDup2 = {2, 2, 2, {1, 0}, {0, 1}};
const Shuffle kDup2X1 = {3, 2, 5, {1, 0, -1, -2, -3}, {0, 1, 2, 0, 1}};
const Shuffle kDup2X2 = {4, 2, 6, {1, 0, -1, -2, -3, -4}, {0, 1, 2, 3, 0, 1}};
const Shuffle kSwap = {2, 0, 2, {-1, -2}, {1, 0}};

}  // namespace

/* pop and pop2 read no slot: the final check catches an empty stack. */
static void VerifyOp_pop(State* s) { SetDepth(s, Depth(s) - 1); }
static void VerifyOp_pop2(State* s) { SetDepth(s, Depth(s) - 2); }
static void VerifyOp_dup(State* s) { Apply(s, kDup); }
static void VerifyOp_dup_x1(State* s) { Apply(s, kDupX1); }
static void VerifyOp_dup_x2(State* s) { Apply(s, kDupX2); }
static void VerifyOp_dup2(State* s) { Apply(s, kDup2); }
static void VerifyOp_dup2_x1(State* s) { Apply(s, kDup2X1); }
static void VerifyOp_dup2_x2(State* s) { Apply(s, kDup2X2); }
static void VerifyOp_swap(State* s) { Apply(s, kSwap); }

/* ---- switches: the full length goes to the advance cell ---- */

static void VerifyOp_tableswitch(State* s) {
  uint32_t pc = s->PC - 1;
  uint32_t pad = verify::SwitchPad(pc);
  Check(s, (uint64_t)pc + 1 + pad + 12 <= s->CodeLength);
  const uint8_t* p = s->Operands + pad;
  uint32_t d = Depth(s);
  NeedNotRef(s, d - 1);
  SetDepth(s, d - 1);
  int32_t low = verify::S4(p + 4), high = verify::S4(p + 8);
  Check(s, low <= high);
  uint64_t length = 1 + pad + 12 + 4 * (uint64_t)((int64_t)high - low + 1);
  Check(s, pc + length <= s->CodeLength);
  *s->Advance = (int32_t)length;
}

/* The match keys lie beyond any copy the driver made of the fixed part: they are read
   from the code itself. */
static void VerifyOp_lookupswitch(State* s) {
  uint32_t pc = s->PC - 1;
  uint32_t pad = verify::SwitchPad(pc);
  Check(s, (uint64_t)pc + 1 + pad + 8 <= s->CodeLength);
  const uint8_t* p = s->Operands + pad;
  uint32_t d = Depth(s);
  NeedNotRef(s, d - 1);
  SetDepth(s, d - 1);
  int32_t pairs = verify::S4(p + 4);
  Check(s, pairs >= 0);
  uint32_t fixed = 1 + pad + 8;
  uint64_t length = fixed + 8 * (uint64_t)pairs;
  Check(s, pc + length <= s->CodeLength);
  if (pairs > 1) {
    verify::Cursor code(s->Method->GetCode());
    int32_t previous = code.S4(pc + fixed);
    for (int32_t k = 1; k < pairs; k++) {
      int32_t key = code.S4(pc + fixed + 8 * (uint32_t)k);
      Check(s, key > previous);
      previous = key;
    }
  }
  *s->Advance = (int32_t)length;
}

/* ---- returns: against the method's return type ---- */

static void Return(State* s, uint32_t words, bool ref, const char* types) {
  uint32_t d = Depth(s);
  for (uint32_t i = 1; i <= words; i++) {
    if (ref)
      NeedRef(s, d - i);
    else
      NeedNotRef(s, d - i);
  }
  jchar r = s->Method->GetReturnType();
  Check(s, r != 0 && r < 0x80 && strchr(types, (char)r) != NULL);
  SetDepth(s, d - words);
}
static void VerifyOp_ireturn(State* s) { Return(s, 1, false, "ISCBZ"); }
static void VerifyOp_lreturn(State* s) { Return(s, 2, false, "J"); }
static void VerifyOp_freturn(State* s) { Return(s, 1, false, "F"); }
static void VerifyOp_dreturn(State* s) { Return(s, 2, false, "D"); }
static void VerifyOp_areturn(State* s) { Return(s, 1, true, "L["); }
static void VerifyOp_return(State* s) {
  Final(s);
  Check(s, s->Method->GetReturnType() == 'V');
}

/* ---- fields and invocations: the shape comes from the entry's signature ---- */

namespace {

/* The signature (and the name) of a member reference of the given kind, read together
   (flow analysis checked the index and the kind already; they are cheap to check again). */
VMLiteral* MemberSignature(State* s, uint32_t index, int16_t kind, VMLiteral** name = NULL) {
  Check(s, index < s->PoolCount);
  int16_t t = s->Pool->GetConstType(index);
  Check(s, t == kind || t == -kind);
  VMLiteral* memberName = NULL;
  VMLiteral* signature = NULL;
  Check(s, s->Pool->GetMemberRef(index, &memberName, &signature) != NULL);
  Check(s, memberName != NULL && signature != NULL && signature->UTF8Length() != 0);
  if (name != NULL) *name = memberName;
  return signature;
}

void Field(State* s, bool isStatic, bool get) {
  jchar c = MemberSignature(s, Op2(s, 0), VMConstantPool::TYPE_FieldRef)->GetFirstChar();
  uint32_t w = (c == 'D' || c == 'J') ? 2 : 1;
  bool ref = c == 'L' || c == '[';
  uint32_t d = Depth(s);
  if (!isStatic) NeedRef(s, get ? d - 1 : d - w - 1);
  if (get) {
    uint32_t top = d + w - (isStatic ? 0 : 1);
    SetDepth(s, top);
    if (ref) {
      Put(s, top - 1, true);
    } else {
      if (w == 2) Put(s, top - 2, false);
      Put(s, top - 1, false);
    }
  } else {
    for (uint32_t i = 1; i <= w; i++) {
      if (ref)
        NeedRef(s, d - i);
      else
        NeedNotRef(s, d - i);
    }
    SetDepth(s, d - w - (isStatic ? 0 : 1));
  }
}

/* Whether each argument word of a signature holds a reference, for every word (the
   signature's 32-bit mask holds the first 32 only). */
void ArgumentKinds(State* s, VMLiteral* signature, bool isStatic, uint32_t words, uint8_t* refs) {
  uint32_t w = 0;
  if (!isStatic) refs[w++] = 1;
  VMLiteralIterator it(signature);
  it.NextChar();  // '('
  for (;;) {
    VMMethod::SigTypes kind = VMMethod::ScanSigItem(it);
    if (kind == VMMethod::SigEndParms) break;
    uint32_t size = (kind == VMMethod::SigLong || kind == VMMethod::SigDouble) ? 2 : 1;
    Check(s, kind != VMMethod::SigEnd && kind != VMMethod::SigInvalid && w + size <= words);
    bool ref = kind == VMMethod::SigArray || kind == VMMethod::SigObject;
    for (uint32_t i = 0; i < size; i++) refs[w++] = ref ? 1 : 0;
  }
  Check(s, w == words);
}

void Invoke(State* s, bool isStatic, bool special, int16_t kind) {
  uint32_t index = Op2(s, 0);
  VMLiteral* name = NULL;
  VMLiteral* signature = MemberSignature(s, index, kind, &name);
  VMMethod::SignatureInfo info = {};
  // An unreadable signature would leave the counts unknown.
  Check(s, VMMethod::ClassifySignature(signature, isStatic, &info));
  uint32_t n = info.parameterWords;
  // No method has more argument words, so no call can have them.
  Check(s, n <= 255);
  uint8_t refs[256];
  ArgumentKinds(s, signature, isStatic, n, refs);
  uint32_t d = Depth(s) - n;
  SetDepth(s, d);
  for (uint32_t k = 0; k < n; k++) {
    if (refs[k])
      NeedRef(s, d + k);
    else
      NeedNotRef(s, d + k);
  }
  jchar r = info.returnChar;
  if (r == 'L' || r == '[') {
    Put(s, d, true);
  } else if (r == 'D' || r == 'J') {
    Put(s, d, false);
    Put(s, d + 1, false);
  } else if (r != 'V') {
    Put(s, d, false);
  }
  SetDepth(s, d + info.returnWords);
  if (kind == VMConstantPool::TYPE_InterfaceMethodRef) {
    uint32_t count = U1(s, 2);
    Check(s, count == n && count > 0 && U1(s, 3) == 0);
  }
  VMLiteralTable* literals = s->Class->GetNameSpace()->GetLiterals();
  Check(s, literals != NULL);
  Check(s, name != literals->GetClinit());
  if (!special) Check(s, name != literals->GetInit());
}

/* The checks of a class entry: in the pool and of type Class. The class is the one the
   entry holds, neither loaded nor resolved: the verifier judges it by its name. */
VMClass* ClassEntry(State* s, uint32_t index) {
  Check(s, index < s->PoolCount);
  int16_t t = s->Pool->GetConstType(index);
  Check(s, t == VMConstantPool::TYPE_Class || t == VMConstantPool::TYPE_Class_Resolved);
  VMStatus status = 0;
  VMClass* cls = s->Pool->GetConstClass(index, &status, false);
  Check(s, cls != NULL && cls->GetName() != NULL);
  return cls;
}

/* The leading '[' of a class name, and whether a character follows them. */
uint32_t Dimensions(VMLiteral* name, bool* element) {
  uint32_t length = name->UTF8Length();
  uint32_t k = 0;
  while (k < length && name->ByteAt(k) == '[') k++;
  *element = k < length;
  return k;
}

}  // namespace

static void VerifyOp_getstatic(State* s) { Field(s, true, true); }
static void VerifyOp_putstatic(State* s) { Field(s, true, false); }
static void VerifyOp_getfield(State* s) { Field(s, false, true); }
static void VerifyOp_putfield(State* s) { Field(s, false, false); }
static void VerifyOp_invokevirtual(State* s) { Invoke(s, false, false, VMConstantPool::TYPE_MethodRef); }
static void VerifyOp_invokespecial(State* s) { Invoke(s, false, true, VMConstantPool::TYPE_MethodRef); }
static void VerifyOp_invokestatic(State* s) { Invoke(s, true, false, VMConstantPool::TYPE_MethodRef); }
static void VerifyOp_invokeinterface(State* s) {
  Invoke(s, false, false, VMConstantPool::TYPE_InterfaceMethodRef);
}

/* ---- objects and arrays ---- */

static void VerifyOp_new(State* s) {
  VMClass* cls = ClassEntry(s, Op2(s, 0));
  // An array class or a primitive cannot be made by new.
  Check(s, cls->GetIsLoadable() && cls->GetName()->UTF8Length() != 0 && cls->GetName()->ByteAt(0) != '[');
  Push(s, 1, true);
}

static void VerifyOp_newarray(State* s) {
  uint32_t d = Depth(s);
  NeedNotRef(s, d - 1);
  uint8_t type = U1(s, 0);
  Check(s, type >= VMTypeBoolean && type <= VMTypeLong);
  Put(s, d - 1, true);
  Final(s);
}

static void VerifyOp_anewarray(State* s) {
  uint32_t d = Depth(s);
  NeedNotRef(s, d - 1);
  bool element = false;
  uint32_t k = Dimensions(ClassEntry(s, Op2(s, 0))->GetName(), &element);
  // The new array has one dimension more than its element class.
  Check(s, element && k + 1 <= VMMethod::MAX_ARRAY_DIMENSIONS);
  Put(s, d - 1, true);
  Final(s);
}

static void VerifyOp_multianewarray(State* s) {
  VMClass* cls = ClassEntry(s, Op2(s, 0));
  uint32_t dimensions = U1(s, 2);
  Check(s, dimensions != 0);
  bool element = false;
  uint32_t k = Dimensions(cls->GetName(), &element);
  // Counted with a look at each character, so a class of 255 dimensions passes.
  Check(s, element && k >= dimensions && k <= VMMethod::MAX_ARRAY_DIMENSIONS);
  uint32_t slot = Depth(s) - dimensions;
  Put(s, slot, true);
  SetDepth(s, slot + 1);
}

static void VerifyOp_checkcast(State* s) {
  ClassEntry(s, Op2(s, 0));
  NeedRef(s, Depth(s) - 1);
  Final(s);
}

static void VerifyOp_instanceof(State* s) {
  ClassEntry(s, Op2(s, 0));
  uint32_t d = Depth(s);
  NeedRef(s, d - 1);
  Put(s, d - 1, false);
  Final(s);
}

/* ---- the opcodes of the shape table ---- */

#define PUX_SHAPE(name) \
  static void VerifyOp_##name(State* s) { Generic(s, verify::kShapes[OP_##name]); }
PUX_SHAPE(nop) PUX_SHAPE(aconst_null) PUX_SHAPE(iconst_m1) PUX_SHAPE(iconst_0) PUX_SHAPE(iconst_1)
PUX_SHAPE(iconst_2) PUX_SHAPE(iconst_3) PUX_SHAPE(iconst_4) PUX_SHAPE(iconst_5) PUX_SHAPE(lconst_0)
PUX_SHAPE(lconst_1) PUX_SHAPE(fconst_0) PUX_SHAPE(fconst_1) PUX_SHAPE(fconst_2) PUX_SHAPE(dconst_0)
PUX_SHAPE(dconst_1) PUX_SHAPE(bipush) PUX_SHAPE(sipush)
PUX_SHAPE(iaload) PUX_SHAPE(laload) PUX_SHAPE(faload) PUX_SHAPE(daload) PUX_SHAPE(aaload)
PUX_SHAPE(baload) PUX_SHAPE(caload) PUX_SHAPE(saload)
PUX_SHAPE(iastore) PUX_SHAPE(lastore) PUX_SHAPE(fastore) PUX_SHAPE(dastore) PUX_SHAPE(aastore)
PUX_SHAPE(bastore) PUX_SHAPE(castore) PUX_SHAPE(sastore)
PUX_SHAPE(iadd) PUX_SHAPE(ladd) PUX_SHAPE(fadd) PUX_SHAPE(dadd) PUX_SHAPE(isub) PUX_SHAPE(lsub)
PUX_SHAPE(fsub) PUX_SHAPE(dsub) PUX_SHAPE(imul) PUX_SHAPE(lmul) PUX_SHAPE(fmul) PUX_SHAPE(dmul)
PUX_SHAPE(idiv) PUX_SHAPE(ldiv) PUX_SHAPE(fdiv) PUX_SHAPE(ddiv) PUX_SHAPE(irem) PUX_SHAPE(lrem)
PUX_SHAPE(frem) PUX_SHAPE(drem) PUX_SHAPE(ineg) PUX_SHAPE(lneg) PUX_SHAPE(fneg) PUX_SHAPE(dneg)
PUX_SHAPE(ishl) PUX_SHAPE(lshl) PUX_SHAPE(ishr) PUX_SHAPE(lshr) PUX_SHAPE(iushr) PUX_SHAPE(lushr)
PUX_SHAPE(iand) PUX_SHAPE(land) PUX_SHAPE(ior) PUX_SHAPE(lor) PUX_SHAPE(ixor) PUX_SHAPE(lxor)
PUX_SHAPE(i2l) PUX_SHAPE(i2f) PUX_SHAPE(i2d) PUX_SHAPE(l2i) PUX_SHAPE(l2f) PUX_SHAPE(l2d)
PUX_SHAPE(f2i) PUX_SHAPE(f2l) PUX_SHAPE(f2d) PUX_SHAPE(d2i) PUX_SHAPE(d2l) PUX_SHAPE(d2f)
PUX_SHAPE(i2b) PUX_SHAPE(i2c) PUX_SHAPE(i2s) PUX_SHAPE(lcmp) PUX_SHAPE(fcmpl) PUX_SHAPE(fcmpg)
PUX_SHAPE(dcmpl) PUX_SHAPE(dcmpg)
PUX_SHAPE(ifeq) PUX_SHAPE(ifne) PUX_SHAPE(iflt) PUX_SHAPE(ifge) PUX_SHAPE(ifgt) PUX_SHAPE(ifle)
PUX_SHAPE(if_icmpeq) PUX_SHAPE(if_icmpne) PUX_SHAPE(if_icmplt) PUX_SHAPE(if_icmpge)
PUX_SHAPE(if_icmpgt) PUX_SHAPE(if_icmple) PUX_SHAPE(if_acmpeq) PUX_SHAPE(if_acmpne) PUX_SHAPE(goto)
PUX_SHAPE(arraylength) PUX_SHAPE(athrow) PUX_SHAPE(monitorenter) PUX_SHAPE(monitorexit)
PUX_SHAPE(ifnull) PUX_SHAPE(ifnonnull) PUX_SHAPE(goto_w)
#undef PUX_SHAPE

namespace verify {

/* Slot by slot in opcode order; 0xBA and everything from the breakpoint up is refused by
   the driver before a rule would run. */
const VMFlowOp kRules[VMOpcodeCount] = {
    /* 0x00 */ VerifyOp_nop, VerifyOp_aconst_null, VerifyOp_iconst_m1, VerifyOp_iconst_0, VerifyOp_iconst_1,
    VerifyOp_iconst_2, VerifyOp_iconst_3, VerifyOp_iconst_4, VerifyOp_iconst_5, VerifyOp_lconst_0,
    VerifyOp_lconst_1, VerifyOp_fconst_0, VerifyOp_fconst_1, VerifyOp_fconst_2, VerifyOp_dconst_0,
    VerifyOp_dconst_1,
    /* 0x10 */ VerifyOp_bipush, VerifyOp_sipush, VerifyOp_ldc, VerifyOp_ldc_w, VerifyOp_ldc2_w, VerifyOp_iload,
    VerifyOp_lload, VerifyOp_fload, VerifyOp_dload, VerifyOp_aload, VerifyOp_iload_0, VerifyOp_iload_1,
    VerifyOp_iload_2, VerifyOp_iload_3, VerifyOp_lload_0, VerifyOp_lload_1,
    /* 0x20 */ VerifyOp_lload_2, VerifyOp_lload_3, VerifyOp_fload_0, VerifyOp_fload_1, VerifyOp_fload_2,
    VerifyOp_fload_3, VerifyOp_dload_0, VerifyOp_dload_1, VerifyOp_dload_2, VerifyOp_dload_3, VerifyOp_aload_0,
    VerifyOp_aload_1, VerifyOp_aload_2, VerifyOp_aload_3, VerifyOp_iaload, VerifyOp_laload,
    /* 0x30 */ VerifyOp_faload, VerifyOp_daload, VerifyOp_aaload, VerifyOp_baload, VerifyOp_caload,
    VerifyOp_saload, VerifyOp_istore, VerifyOp_lstore, VerifyOp_fstore, VerifyOp_dstore, VerifyOp_astore,
    VerifyOp_istore_0, VerifyOp_istore_1, VerifyOp_istore_2, VerifyOp_istore_3, VerifyOp_lstore_0,
    /* 0x40 */ VerifyOp_lstore_1, VerifyOp_lstore_2, VerifyOp_lstore_3, VerifyOp_fstore_0, VerifyOp_fstore_1,
    VerifyOp_fstore_2, VerifyOp_fstore_3, VerifyOp_dstore_0, VerifyOp_dstore_1, VerifyOp_dstore_2,
    VerifyOp_dstore_3, VerifyOp_astore_0, VerifyOp_astore_1, VerifyOp_astore_2, VerifyOp_astore_3,
    VerifyOp_iastore,
    /* 0x50 */ VerifyOp_lastore, VerifyOp_fastore, VerifyOp_dastore, VerifyOp_aastore, VerifyOp_bastore,
    VerifyOp_castore, VerifyOp_sastore, VerifyOp_pop, VerifyOp_pop2, VerifyOp_dup, VerifyOp_dup_x1,
    VerifyOp_dup_x2, VerifyOp_dup2, VerifyOp_dup2_x1, VerifyOp_dup2_x2, VerifyOp_swap,
    /* 0x60 */ VerifyOp_iadd, VerifyOp_ladd, VerifyOp_fadd, VerifyOp_dadd, VerifyOp_isub, VerifyOp_lsub,
    VerifyOp_fsub, VerifyOp_dsub, VerifyOp_imul, VerifyOp_lmul, VerifyOp_fmul, VerifyOp_dmul, VerifyOp_idiv,
    VerifyOp_ldiv, VerifyOp_fdiv, VerifyOp_ddiv,
    /* 0x70 */ VerifyOp_irem, VerifyOp_lrem, VerifyOp_frem, VerifyOp_drem, VerifyOp_ineg, VerifyOp_lneg,
    VerifyOp_fneg, VerifyOp_dneg, VerifyOp_ishl, VerifyOp_lshl, VerifyOp_ishr, VerifyOp_lshr, VerifyOp_iushr,
    VerifyOp_lushr, VerifyOp_iand, VerifyOp_land,
    /* 0x80 */ VerifyOp_ior, VerifyOp_lor, VerifyOp_ixor, VerifyOp_lxor, VerifyOp_iinc, VerifyOp_i2l,
    VerifyOp_i2f, VerifyOp_i2d, VerifyOp_l2i, VerifyOp_l2f, VerifyOp_l2d, VerifyOp_f2i, VerifyOp_f2l,
    VerifyOp_f2d, VerifyOp_d2i, VerifyOp_d2l,
    /* 0x90 */ VerifyOp_d2f, VerifyOp_i2b, VerifyOp_i2c, VerifyOp_i2s, VerifyOp_lcmp, VerifyOp_fcmpl,
    VerifyOp_fcmpg, VerifyOp_dcmpl, VerifyOp_dcmpg, VerifyOp_ifeq, VerifyOp_ifne, VerifyOp_iflt, VerifyOp_ifge,
    VerifyOp_ifgt, VerifyOp_ifle, VerifyOp_if_icmpeq,
    /* 0xA0 */ VerifyOp_if_icmpne, VerifyOp_if_icmplt, VerifyOp_if_icmpge, VerifyOp_if_icmpgt,
    VerifyOp_if_icmple, VerifyOp_if_acmpeq, VerifyOp_if_acmpne, VerifyOp_goto, VerifyOp_jsr, VerifyOp_ret,
    VerifyOp_tableswitch, VerifyOp_lookupswitch, VerifyOp_ireturn, VerifyOp_lreturn, VerifyOp_freturn,
    VerifyOp_dreturn,
    /* 0xB0 */ VerifyOp_areturn, VerifyOp_return, VerifyOp_getstatic, VerifyOp_putstatic, VerifyOp_getfield,
    VerifyOp_putfield, VerifyOp_invokevirtual, VerifyOp_invokespecial, VerifyOp_invokestatic,
    VerifyOp_invokeinterface, NULL, VerifyOp_new, VerifyOp_newarray, VerifyOp_anewarray, VerifyOp_arraylength,
    VerifyOp_athrow,
    /* 0xC0 */ VerifyOp_checkcast, VerifyOp_instanceof, VerifyOp_monitorenter, VerifyOp_monitorexit,
    VerifyOp_wide, VerifyOp_multianewarray, VerifyOp_ifnull, VerifyOp_ifnonnull, VerifyOp_goto_w,
    VerifyOp_jsr_w,
    /* 0xCA-0xD7 */ NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
};

}  // namespace verify
