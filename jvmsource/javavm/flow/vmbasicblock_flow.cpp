/* The flow driver: entry states of every block by iteration to a fixed point, and the
   state at any pc by flowing one block instruction by instruction.

   States join by OR-ing the kind bits of each local, except that a return address meeting
   anything but a return address of the same subroutine becomes a conflict (1,1,1), and
   stacks must agree word for word (return addresses and their subroutines included).
   A ret reaches the return point after each call site J of its subroutine: the locals the
   subroutine writes come from the ret, every other local from J. Each pair (ret, J) is
   merged again whenever either side is flowed again. */
#include "vmbasicblock.h"

#include "vmbasicblock_code.h"
#include "vmclass.h"
#include "vmconstantpool.h"

namespace {

/* Reads code that may lie in pieces: the current contiguous run is kept, and an
   instruction that straddles two runs is copied into a buffer whose address has the same
   remainder modulo 4 as the code's, so that switch padding computed on addresses holds. */
class CodeCursor {
 public:
  explicit CodeCursor(VMbyteArray* code) : code(code), length(code->GetSize()), run(NULL), runPc(0), runLength(0) {}

  /* The address of pc with at least need bytes (cut at the end of the code) behind it. */
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

 private:
  VMbyteArray* code;
  uint32_t length;
  uint8_t* run;
  uint32_t runPc;
  uint32_t runLength;
  uint8_t buffer[32];
};

bool WritesLocal(uint8_t op) { return (op >= OP_istore && op <= OP_astore_3) || op == OP_iinc || op == OP_wide; }

/* Bits of the word w of a set of n bits that lie below n. */
VMword ValidBits(uint32_t w, uint32_t n) {
  uint32_t below = n - w * 32;
  return below >= 32 ? ~(VMword)0 : (((VMword)1 << below) - 1);
}

}  // namespace

/* ---------------------------------------------------------------------------------- */
/* Joining states                                                                      */

void VMBasicBlock::NoteChanged(VMBasicBlock* source) {
  SetIsChanged();
  VMBasicBlock* hint = source->GetChangedHint();
  if (hint == NULL || GetStartPC() < hint->GetStartPC()) source->SetChangedHint(this);
}

bool VMBasicBlock::MergeLocals(VMBasicBlock* source, uint32_t locals, VMboolArray* mask, bool sense) {
  VMboolArray* tr = GetLocalIsRefArray();
  VMboolArray* ts = GetLocalIsScalarArray();
  VMboolArray* tt = GetLocalIsRetAddressArray();
  VMboolArray* sr = source->GetLocalIsRefArray();
  VMboolArray* ss = source->GetLocalIsScalarArray();
  VMboolArray* st = source->GetLocalIsRetAddressArray();
  VMcharArray* tsub = GetLocalSubroutineArray();
  VMcharArray* ssub = source->GetLocalSubroutineArray();
  bool changed = false;
  for (uint32_t w = 0; w < VMboolArray::WordsFor(locals); w++) {
    VMword m = ValidBits(w, locals);
    if (mask != NULL) m &= sense ? mask->GetWord(w) : ~mask->GetWord(w);
    if (m == 0) continue;
    VMword r = tr->GetWord(w), s = ts->GetWord(w), t = tt->GetWord(w);
    VMword empty = ~(r | s | t) & m;
    VMword srcRet = st->GetWord(w) & m;
    // A return address meets something else, or one of another subroutine.
    VMword conflict = m & ~empty & (t ^ srcRet);
    VMword both = m & ~empty & t & srcRet & ~r;
    if (both != 0 && tsub != NULL && ssub != NULL) {
      for (uint32_t b = 0; b < 32; b++)
        if ((both >> b & 1) && LocalSubroutine(w * 32 + b) != source->LocalSubroutine(w * 32 + b))
          conflict |= (VMword)1 << b;
    }
    VMword nr = r | (sr->GetWord(w) & m) | conflict;
    VMword ns = s | (ss->GetWord(w) & m) | conflict;
    VMword nt = t | srcRet | conflict;
    if (tsub != NULL && ssub != NULL && (empty & srcRet) != 0) {
      for (uint32_t b = 0; b < 32; b++)
        if ((empty & srcRet) >> b & 1) SetLocalSubroutine(w * 32 + b, source->LocalSubroutine(w * 32 + b));
    }
    if (nr != r || ns != s || nt != t) {
      tr->SetWord(w, nr);
      ts->SetWord(w, ns);
      tt->SetWord(w, nt);
      changed = true;
    }
  }
  return changed;
}

void VMBasicBlock::MergeStack(VMBasicBlock* source, VMErrorCatcher& catcher) {
  uint32_t depth = GetStackDepth();
  catcher.Verify(depth == source->GetStackDepth());
  VMcharArray* tsub = GetStackSubroutineArray();
  VMcharArray* ssub = source->GetStackSubroutineArray();
  for (uint32_t w = 0; w < VMboolArray::WordsFor(depth); w++) {
    VMword m = ValidBits(w, depth);
    VMword tRef = GetStackIsRefArray()->GetWord(w) & m, sRef = source->GetStackIsRefArray()->GetWord(w) & m;
    VMword tRet = GetStackIsRetAddressArray()->GetWord(w) & m;
    VMword sRet = source->GetStackIsRetAddressArray()->GetWord(w) & m;
    catcher.Verify(tRef == sRef && tRet == sRet);
    if (tRet != 0 && tsub != NULL && ssub != NULL) {
      for (uint32_t b = 0; b < 32; b++)
        if (tRet >> b & 1) catcher.Verify(tsub->Get(w * 32 + b) == ssub->Get(w * 32 + b));
    }
  }
}

bool VMBasicBlock::MergeState(VMBasicBlock* source, uint32_t locals, bool isCatch, VMErrorCatcher& catcher,
                              VMboolArray* mask, bool sense) {
  bool stackToo = !isCatch && !(mask != NULL && !sense);
  if (!HasState()) {
    if (mask == NULL) {
      GetLocalIsRefArray()->Copy(source->GetLocalIsRefArray());
      GetLocalIsScalarArray()->Copy(source->GetLocalIsScalarArray());
      GetLocalIsRetAddressArray()->Copy(source->GetLocalIsRetAddressArray());
      if (GetLocalSubroutineArray() != NULL && source->GetLocalSubroutineArray() != NULL)
        GetLocalSubroutineArray()->VMArray::Copy(source->GetLocalSubroutineArray(), 0, 0,
                                                 GetLocalSubroutineArray()->GetSize());
    } else {
      for (uint32_t i = 0; i < locals; i++)
        if (mask->Get(i) == sense) CopyLocal(source, i);
    }
    if (isCatch) {
      SetStackDepth(1);
      SetStackIsRef(0, true);
    } else if (stackToo) {
      SetStackDepth(source->GetStackDepth());
      GetStackIsRefArray()->Copy(source->GetStackIsRefArray());
      GetStackIsRetAddressArray()->Copy(source->GetStackIsRetAddressArray());
      if (GetStackSubroutineArray() != NULL && source->GetStackSubroutineArray() != NULL)
        GetStackSubroutineArray()->VMArray::Copy(source->GetStackSubroutineArray(), 0, 0,
                                                 GetStackSubroutineArray()->GetSize());
    }
    NoteChanged(source);
    return true;
  }
  bool changed = MergeLocals(source, locals, mask, sense);
  if (isCatch) {
    catcher.Verify(GetStackDepth() == 1 && GetStackIsRef(0));
  } else if (stackToo) {
    MergeStack(source, catcher);
  }
  if (changed) NoteChanged(source);
  return changed;
}

/* ---------------------------------------------------------------------------------- */
/* Flowing one block                                                                   */

void VMBasicBlock::CopyBlockAndFlowTo(VMMethod* method, VMBasicBlock* source, uint32_t limit,
                                      VMErrorCatcher& catcher, bool mergeHandlers) {
  Copy(source);
  uint32_t localWords = method->GetLocalWords();
  catcher.NotNull(source->MakeLocalsDefined(method));
  VMExceptionHandlerArray* table = method->GetExceptionHandlers();
  if (table == NULL || table->GetSize() == 0) mergeHandlers = false;
  VMBasicBlockInfo* info = method->GetBlocks();
  VMbyteArray* code = method->GetCode();

  int32_t advance = 0;
  VMFlowState state;
  state.Method = method;
  state.Block = this;
  state.Catcher = &catcher;
  state.MaxLocals = localWords - 2;
  state.MaxStack = method->GetStackWords() - 2;
  state.LocalsDefined = source->GetLocalsDefined();
  state.Advance = &advance;
  state.Class = method->GetDefinedIn();
  state.Pool = method->GetConstantPool();
  state.PoolCount = state.Pool != NULL ? state.Pool->GetCount() : 0;
  state.CodeLength = code->GetSize();

  CodeCursor cursor(code);
  bool mergeNow = true;
  for (uint32_t pc = source->GetStartPC(); pc < limit;) {
    uint8_t* at = cursor.At(pc, 1);
    uint8_t op = flow::DecodeOpcode(method, at[0], pc, true, catcher);
    // The replaced opcode's length, not the breakpoint's.
    at = cursor.At(pc, OpcodeSize(op));
    advance = 0;
    if (mergeHandlers && mergeNow) {
      // The state before this instruction reaches every handler whose range covers it;
      // it only differs from the last one merged after a store.
      VMBasicBlock* last = NULL;
      for (uint32_t e = 0; e < table->GetSize(); e++) {
        VMExceptionHandler* h = table->Get(e);
        if (pc < h->GetStartPc() || pc >= h->GetEndPc()) continue;
        VMBasicBlock* handler = flow::FindFast(info, h->GetHandlerPc());
        catcher.Verify(handler != NULL);
        if (handler != last) handler->MergeState(this, localWords, true, catcher);
        last = handler;
      }
      mergeNow = false;
    }
    if (op == OP_ret || (op == OP_wide && at[1] == OP_ret)) {
      // A ret must use a return address of the subroutine it returns from.
      uint32_t n = op == OP_ret ? at[1] : (uint32_t)(at[2] | at[3] << 8);
      catcher.Verify(n < state.MaxLocals && GetLocalIsRetAddress(n));
      catcher.Verify(GetLocalSubroutineArray() == NULL || GetLocalRetSubroutine(n) == source->GetRetOf());
    }
    state.PC = pc + 1;
    state.Operands = at + 1;
    FlowOpTable[op](&state);
    if (op == OP_jsr || op == OP_jsr_w) {
      // A jsr ends its block, whose only target is the subroutine's entry.
      VMBasicBlock* entry = source->GetTarget(0);
      catcher.Verify(entry != NULL);
      SetStackIsRetAddress(GetStackDepth() - 1, entry->GetEntryOf());
    }
    if (WritesLocal(op)) mergeNow = true;
    uint32_t size = advance != 0 ? (uint32_t)advance : OpcodeSize(op);
    catcher.Verify(advance >= 0 && size > 0);
    pc += size;
  }
}

/* ---------------------------------------------------------------------------------- */
/* The fixed point                                                                     */

bool VMBasicBlock::MergeReadyRetBlocks(VMMethod* method, VMErrorCatcher& catcher) {
  VMBasicBlockInfo* info = method->GetBlocks();
  uint32_t locals = method->GetLocalWords();
  bool any = false;
  for (VMBasicBlock* r = info->GetBasicBlocks(); r != NULL; r = r->GetNext()) {
    if (!r->GetIsRet() || !r->HasState()) continue;
    VMboolArray* written = GetLocalsDefinedBySubroutine(method, r->GetRetOf(), catcher);
    for (uint32_t t = 0; VMBasicBlock* point = r->GetTarget(t); t++) {
      VMBasicBlock* call = point->GetPrev();
      if (!call->HasState() || !(r->GetIsRetReady() || call->GetIsRetReady())) continue;
      CopyBlockAndFlowTo(method, r, r->GetEndPC(), catcher, false);
      any |= point->MergeState(this, locals, false, catcher, written, true);
      CopyBlockAndFlowTo(method, call, call->GetEndPC(), catcher, false);
      any |= point->MergeState(this, locals, false, catcher, written, false);
    }
  }
  for (VMBasicBlock* b = info->GetBasicBlocks(); b != NULL; b = b->GetNext()) b->ClearIsRetReady();
  return any;
}

void VMBasicBlock::FlowBlocks(VMMethod* method, VMErrorCatcher& catcher) {
  VMBasicBlockInfo* info = method->GetBlocks();
  VMBasicBlock* first = info->GetBasicBlocks();
  uint32_t locals = method->GetLocalWords();
  uint32_t parameters = method->GetParameterWords();
  catcher.Verify(parameters <= locals);

  first->SetStackDepth(0);
  if (!method->GetIsMoreParmsThanBits()) {
    VMword mask = method->GetObjectBits();
    for (uint32_t i = 0; i < parameters; i++) first->SetLocalIsRef(i, (mask >> i & 1) != 0);
  } else {
    VMboolArray* bits = method->GetObjectBitArray();
    catcher.NotNull(bits);
    for (uint32_t i = 0; i < parameters; i++) first->SetLocalIsRef(i, bits->Get(i));
    bits->Destroy(flow::HeapOf(method));
  }
  // Nothing has been stored into the other locals: whatever they hold is never traced.
  for (uint32_t i = parameters; i < locals; i++) first->SetLocalIsIndeterminate(i);
  first->SetIsChanged();
  SetChangedHint(first);

  for (;;) {
    VMBasicBlock* x = NULL;
    for (VMBasicBlock* b = GetChangedHint(); b != NULL; b = b->GetNext()) {
      if (!b->GetIsChanged()) continue;
      if (b->HasState()) {
        x = b;
        break;
      }
      b->ClearIsChanged();
    }
    if (x == NULL) {
      SetChangedHint(NULL);
      if (!MergeReadyRetBlocks(method, catcher)) break;
      continue;
    }
    SetChangedHint(x->GetNext());
    x->ClearIsChanged();
    x->SetIsReachable();
    // Code that runs on past its last instruction would run past the code.
    catcher.Verify(x->GetNext() != NULL || x->GetIsReturn() || x->GetIsThrow() || x->GetIsGoto() ||
                   x->GetIsRet() || x->GetIsSwitch() || x->GetIsJsr());
    CopyBlockAndFlowTo(method, x, x->GetEndPC(), catcher, true);
    if (x->GetIsRet() || x->GetIsJsr()) x->SetIsRetReady();
    if (x->GetIsRet()) continue;  // a ret reaches its return points through the pairs
    for (uint32_t t = 0; VMBasicBlock* target = x->GetTarget(t); t++)
      target->MergeState(this, locals, false, catcher);
  }
  SetChangedHint(NULL);
}
