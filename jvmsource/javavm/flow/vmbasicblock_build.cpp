/* Block building: the pcs where blocks start, one block per start in pc order with its
   successors and control-flow flags, the return points of every ret, and the subroutine
   each block belongs to.

   Subroutine membership. A block belongs to subroutine k when it lies on a path from k's
   entry to a ret of k, following branches, exception edges (to handlers whose range
   covers the block), jsr calls into other subroutines and the step from a jsr to its
   return point. So handlers inside a finally belong to it, and so does a nested
   subroutine's code that jumps back into k; a path that leaves k for good (break,
   return, throw) does not, nor does any block of a subroutine that never returns. A block
   on the paths of a subroutine nested in k belongs to the inner one. The collector relies
   on this: inside a subroutine, every local the subroutine does not write has the kind it
   has at the call site, found through the return address. */
#include "vmbasicblock.h"

#include "vmbasicblock_code.h"
#include "vmclass.h"

namespace flow {

uint32_t InstructionLength(const CodeBytes& code, uint32_t pc, uint8_t op, VMErrorCatcher& catcher) {
  uint64_t length = code.length;
  switch (op) {
    case OP_tableswitch: {
      uint32_t p = (pc + 4) & ~3u;
      catcher.Verify((uint64_t)p + 12 <= length);
      int32_t low = code.S4(p + 4);
      int32_t high = code.S4(p + 8);
      catcher.Verify(low <= high);
      uint64_t end = (uint64_t)p + 12 + 4 * (uint64_t)((int64_t)high - low + 1);
      catcher.Verify(end <= length);
      return (uint32_t)(end - pc);
    }
    case OP_lookupswitch: {
      uint32_t p = (pc + 4) & ~3u;
      catcher.Verify((uint64_t)p + 8 <= length);
      int32_t pairs = code.S4(p + 4);
      catcher.Verify(pairs >= 0);
      uint64_t end = (uint64_t)p + 8 + 8 * (uint64_t)pairs;
      catcher.Verify(end <= length);
      return (uint32_t)(end - pc);
    }
    case OP_wide: {
      catcher.Verify((uint64_t)pc + 2 <= length);
      uint8_t widened = code.At(pc + 1);
      catcher.Verify(IsWideForm(widened));
      uint32_t n = widened == OP_iinc ? 6 : 4;
      catcher.Verify((uint64_t)pc + n <= length);
      return n;
    }
    default: {
      uint32_t n = VMOpcodeLength[op];
      catcher.Verify((uint64_t)pc + n <= length);
      return n;
    }
  }
}

namespace {
void Mark(VMboolArray* bits, uint32_t capacity, uint32_t i) {
  if (i < capacity) bits->Set(i, true);
}
}  // namespace

void ScanStores(VMMethod* method, const CodeBytes& code, uint32_t start, uint32_t end,
                VMboolArray* bits, VMErrorCatcher& catcher) {
  uint32_t capacity = method->GetLocalWords();
  for (uint32_t pc = start; pc < end;) {
    uint8_t op = DecodeOpcode(method, code.At(pc), pc, true, catcher);
    uint32_t length = InstructionLength(code, pc, op, catcher);
    if (op >= OP_istore && op <= OP_astore) {
      uint32_t n = code.At(pc + 1);
      Mark(bits, capacity, n);
      if (op == OP_lstore || op == OP_dstore) Mark(bits, capacity, n + 1);
    } else if (op >= OP_istore_0 && op <= OP_astore_3) {
      uint32_t family = (op - OP_istore_0) / 4, n = (op - OP_istore_0) % 4;
      Mark(bits, capacity, n);
      if (family == 1 || family == 3) Mark(bits, capacity, n + 1);  // lstore_n, dstore_n
    } else if (op == OP_iinc) {
      Mark(bits, capacity, code.At(pc + 1));
    } else if (op == OP_wide) {
      uint8_t widened = code.At(pc + 1);
      uint32_t n = code.U2(pc + 2);
      if ((widened >= OP_istore && widened <= OP_astore) || widened == OP_iinc) Mark(bits, capacity, n);
      if (widened == OP_lstore || widened == OP_dstore) Mark(bits, capacity, n + 1);
    }
    pc += length;
  }
}

}  // namespace flow

using flow::CodeBytes;

/* ---------------------------------------------------------------------------------- */
/* Labels and successors                                                               */

void VMBasicBlock::CalculateLabels(VMMethod* method, VMboolArray* labels, VMboolArray* starts,
                                   VMErrorCatcher& catcher, bool allowQuick) {
  VMBasicBlockInfo* info = method->GetBlocks();
  const bool second = info->GetBasicBlocks() != NULL;
  CodeBytes code(method->GetCode());
  const uint32_t length = code.length;
  VMExceptionHandlerArray* table = method->GetExceptionHandlers();
  const uint32_t entries = table != NULL ? table->GetSize() : 0;
  VMBasicBlockArray* index = info->GetBlockIndex();
  const uint32_t blocks = second ? index->GetSize() : 0;

  if (!second) {
    labels->Set(0, true);
    // Every handler and range start starts a block; one that is not an instruction start
    // is found once the walk has seen every instruction.
    for (uint32_t e = 0; e < entries; e++) {
      VMExceptionHandler* h = table->Get(e);
      catcher.Verify(h->GetStartPc() < length && h->GetHandlerPc() < length && h->GetEndPc() <= length);
      labels->Set(h->GetStartPc(), true);
      labels->Set(h->GetHandlerPc(), true);
    }
  }

  VMBasicBlock* current = NULL;
  uint32_t position = 0;
  uint32_t nextStart = 0;
  bool noFallThru = true;
  // Branch targets: in the first pass labels, in the second successors.
  auto target = [&](uint32_t i, uint32_t pcTarget) {
    catcher.Verify(pcTarget < length);
    if (!second) {
      labels->Set(pcTarget, true);
    } else {
      VMBasicBlock* b = flow::FindFast(info, pcTarget);
      catcher.NotNull(b);
      current->SetTarget(i, b);
    }
  };

  for (uint32_t pc = 0; pc < length;) {
    if (second && pc == nextStart) {
      VMBasicBlock* b = index->Get(position++);
      if (current != NULL && !noFallThru) {
        current->SetNumberTargets(method, 1, catcher);
        current->SetTarget(0, b);
        current->SetIsFallThru();
      }
      current = b;
      nextStart = position < blocks ? index->Get(position)->GetStartPC() : length;
      current->SetEndPC(nextStart);
    }
    if (!second) starts->Set(pc, true);
    if (second) {
      for (uint32_t e = 0; e < entries; e++) {
        VMExceptionHandler* h = table->Get(e);
        if (pc == h->GetHandlerPc())
          current->SetIsCatch();
        else if (pc == h->GetStartPc())
          current->SetIsExceptionStart();
      }
      labels->Set(pc, false);
    }

    uint8_t op = flow::DecodeOpcode(method, code.At(pc), pc, allowQuick, catcher);
    uint32_t size = flow::InstructionLength(code, pc, op, catcher);
    noFallThru = true;
    if ((op >= OP_ifeq && op <= OP_if_acmpne) || op == OP_ifnull || op == OP_ifnonnull) {
      catcher.Verify(pc + 3 < length);  // a conditional branch cannot end the code
      if (second) {
        current->SetNumberTargets(method, 2, catcher);
        current->SetIsConditional();
      }
      target(0, pc + 3);
      target(1, pc + (uint32_t)(int32_t)(int16_t)code.U2(pc + 1));
    } else if (op == OP_goto || op == OP_jsr || op == OP_goto_w || op == OP_jsr_w) {
      bool wide = op == OP_goto_w || op == OP_jsr_w;
      int32_t offset = wide ? code.S4(pc + 1) : (int16_t)code.U2(pc + 1);
      if (second) {
        current->SetNumberTargets(method, 1, catcher);
        if (op == OP_goto || op == OP_goto_w)
          current->SetIsGoto();
        else
          current->SetIsJsr();
      }
      if (!second && (op == OP_jsr || op == OP_jsr_w)) info->SetHasSubroutines(true);
      target(0, pc + (uint32_t)offset);
      if (!second) labels->Set(pc + size, true);
    } else if (op == OP_ret || (op == OP_wide && code.At(pc + 1) == OP_ret)) {
      if (second) {
        current->SetNumberTargets(method, 0, catcher);
        current->SetIsRet();
        current->SetRetIndex(op == OP_ret ? code.At(pc + 1) : code.U2(pc + 2));
      } else {
        labels->Set(pc + size, true);
      }
    } else if (op == OP_tableswitch || op == OP_lookupswitch) {
      uint32_t p = (pc + 4) & ~3u;
      uint32_t cases = op == OP_tableswitch ? (uint32_t)((int64_t)code.S4(p + 8) - code.S4(p + 4) + 1)
                                             : (uint32_t)code.S4(p + 4);
      if (second) {
        current->SetNumberTargets(method, cases + 1, catcher);
        current->SetIsSwitch();
      }
      for (uint32_t i = 0; i < cases; i++) {
        uint32_t word = op == OP_tableswitch ? p + 12 + 4 * i : p + 8 + 8 * i + 4;
        target(i, pc + (uint32_t)code.S4(word));
      }
      target(cases, pc + (uint32_t)code.S4(p));
      if (!second) labels->Set(pc + size, true);
    } else if ((op >= OP_ireturn && op <= OP_return) || op == OP_athrow) {
      if (second) {
        current->SetNumberTargets(method, 0, catcher);
        if (op == OP_athrow)
          current->SetIsThrow();
        else
          current->SetIsReturn();
      } else {
        labels->Set(pc + size, true);
      }
    } else {
      noFallThru = false;
    }
    pc += size;
  }
}

namespace {

/* What the blocks of one method may take, kind arrays and subroutine numbers included. */
const uint64_t kMaxBlockBytes = 64ull << 20;

/* Gives a subroutine-number slot to every local that an astore writes: only those can
   ever hold a return address. */
void MapReturnAddressSlots(VMMethod* method, VMBasicBlockInfo* info, VMErrorCatcher& catcher) {
  HHeap* heap = flow::HeapOf(method);
  uint32_t localWords = method->GetLocalWords();
  VMcharArray* map = VMcharArray::CreateInstance(heap, localWords, jallocFailFast, VMTag_VMcharArray);
  catcher.NotNull(map);
  info->SetRetSlots(map);
  info->SetRetSlotCount(0);
  CodeBytes code(method->GetCode());
  uint32_t slots = 0;
  for (uint32_t pc = 0; pc < code.length;) {
    uint8_t op = flow::DecodeOpcode(method, code.At(pc), pc, true, catcher);
    uint32_t length = flow::InstructionLength(code, pc, op, catcher);
    uint32_t n = localWords;
    if (op == OP_astore)
      n = code.At(pc + 1);
    else if (op >= OP_astore_0 && op <= OP_astore_3)
      n = op - OP_astore_0;
    else if (op == OP_wide && code.At(pc + 1) == OP_astore)
      n = code.U2(pc + 2);
    if (n < localWords && map->Get(n) == 0) map->Set(n, (jchar)++slots);
    pc += length;
  }
  info->SetRetSlotCount(slots);
}

}  // namespace

namespace {
/* Words of a scan set laid on the stack: code of up to 2,047 bytes. */
const uint32_t kStackSetWords = 7 + 64;
}  // namespace

void VMBasicBlock::CreateBlocks(VMMethod* method, VMErrorCatcher& outer, bool allowQuick) {
  VMBasicBlockInfo* info = method->GetBlockInfo();
  outer.NotNull(info);
  HHeap* heap = flow::HeapOf(method);
  const uint32_t length = method->GetCode()->GetSize();
  info->SetHasSubroutines(false);
  // The two sets of the scan live only here: for all but very long code they are laid
  // on the stack, not made on the heap.
  VMword labelWords[kStackSetWords];
  VMword startWords[kStackSetWords];
  const bool onStack = VMboolArray::PlacedWords(length + 1) <= kStackSetWords;
  VMboolArray* volatile labels =
      onStack ? VMboolArray::Place(NULL, labelWords, length + 1, VMTag_VMboolArray)
              : VMboolArray::CreateInstance(heap, length + 1, jallocFailFast, VMTag_VMboolArray);
  VMboolArray* volatile starts =
      onStack ? VMboolArray::Place(NULL, startWords, length + 1, VMTag_VMboolArray)
              : VMboolArray::CreateInstance(heap, length + 1, jallocFailFast, VMTag_VMboolArray);
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    if (labels != NULL && !onStack) labels->Destroy(heap);
    if (starts != NULL && !onStack) starts->Destroy(heap);
    flow::DestroyList(method, info);
    outer.Throw(status);
  }
  catcher.NotNull(labels);
  catcher.NotNull(starts);
  CalculateLabels(method, labels, starts, catcher, allowQuick);
  if (info->GetHasSubroutines()) MapReturnAddressSlots(method, info, catcher);

  // Every label must be an instruction start, and every range must end at one or at the
  // end of the code.
  uint32_t count = 0;
  for (uint32_t w = 0; w < VMboolArray::WordsFor(length); w++) {
    VMword l = labels->GetWord(w), s = starts->GetWord(w);
    uint32_t bits = length - w * 32 < 32 ? length - w * 32 : 32;
    VMword valid = bits == 32 ? ~(VMword)0 : (((VMword)1 << bits) - 1);
    catcher.Verify(((l & ~s) & valid) == 0);
    count += (uint32_t)__builtin_popcount(l & valid);
  }
  if (VMExceptionHandlerArray* table = method->GetExceptionHandlers()) {
    for (uint32_t e = 0; e < table->GetSize(); e++) {
      uint32_t end = table->Get(e)->GetEndPc();
      catcher.Verify(end == length || starts->Get(end));
    }
  }

  // Every block carries its kinds: a method whose blocks would take more than the
  // budget is refused as memory the machine does not have, before any is made.
  uint64_t bits = 5ull * method->GetLocalWords() + 2ull * method->GetStackWords();
  uint64_t perBlock = bits / 8 + 7 * 32 + 4 * VMBasicBlock::Words;
  if (info->GetHasSubroutines()) perBlock += 2ull * (info->GetRetSlotCount() + method->GetStackWords()) + 64;
  catcher.NotNull((uint64_t)count * perBlock <= kMaxBlockBytes ? (void*)1 : NULL);
  VMBasicBlockArray* index = VMBasicBlockArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMBasicBlockArray);
  catcher.NotNull(index);
  info->SetBlockIndex(index);
  VMBasicBlock* prev = NULL;
  uint32_t made = 0;
  for (uint32_t pc = 0; pc < length; pc++) {
    if (!labels->Get(pc)) continue;
    VMBasicBlock* b = CreateInstance(method);
    catcher.NotNull(b);
    b->SetStartPC(pc);
    b->SetPosition(made);
    b->SetPrev(prev);
    if (prev != NULL)
      prev->SetNext(b);
    else
      info->SetBasicBlocks(b);
    index->Set(made++, b);
    prev = b;
  }

  CalculateLabels(method, labels, starts, catcher, allowQuick);
  for (uint32_t pc = 0; pc < length; pc++) catcher.Verify(!labels->Get(pc));
  if (!onStack) {
    labels->Destroy(heap);
    starts->Destroy(heap);
  }
}

/* ---------------------------------------------------------------------------------- */
/* Subroutines                                                                         */

namespace {

/* The successor lists of every block as position lists, forward and backward, for the
   subroutine walks. An edge into a subroutine entry by jsr carries bit 0 (a call); the
   step from a jsr to its return point and handler edges are plain. */
struct Graph {
  VMuintArray* start;      /* n + 1 offsets into edges */
  VMuintArray* edges;      /* (position << 1) | call */
  VMuintArray* predStart;
  VMuintArray* preds;      /* (position << 1) | call */
};

template <typename F>
void ForEachSuccessor(VMBasicBlock* b, VMBasicBlockInfo* info, VMExceptionHandlerArray* table, F f) {
  if (b->GetIsJsr()) {
    if (VMBasicBlock* entry = b->GetTarget(0)) f(entry, true);
    if (VMBasicBlock* next = b->GetNext()) f(next, false);
  } else if (!b->GetIsRet()) {
    for (uint32_t t = 0; VMBasicBlock* target = b->GetTarget(t); t++) f(target, false);
  }
  if (table != NULL) {
    for (uint32_t e = 0; e < table->GetSize(); e++) {
      VMExceptionHandler* h = table->Get(e);
      if (h->GetStartPc() < b->GetEndPC() && h->GetEndPc() > b->GetStartPC()) {
        if (VMBasicBlock* handler = flow::FindFast(info, h->GetHandlerPc())) f(handler, false);
      }
    }
  }
}

VMuintArray* NewUints(HHeap* heap, uint32_t n, VMErrorCatcher& catcher) {
  VMuintArray* a = VMuintArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMuintArray);
  catcher.NotNull(a);
  return a;
}

/* Scratch arrays of the subroutine walks; all released by Release, on every path. */
struct Walk {
  HHeap* heap;
  Graph g;
  VMboolArray* forward;
  VMboolArray* backward;
  VMuintArray* queue;
  VMuintArray* callStart;  /* per subroutine: offsets into calls */
  VMuintArray* calls;      /* positions of the jsr blocks, grouped by subroutine */
  void Release() {
    VMObject* all[] = {g.start, g.edges, g.predStart, g.preds, forward, backward, queue, callStart, calls};
    for (VMObject* o : all)
      if (o != NULL) o->Destroy(heap);
  }
};

void BuildGraph(VMBasicBlockInfo* info, VMExceptionHandlerArray* table, Walk& w, VMErrorCatcher& catcher) {
  VMBasicBlockArray* index = info->GetBlockIndex();
  uint32_t n = index->GetSize();
  w.g.start = NewUints(w.heap, n + 1, catcher);
  w.g.predStart = NewUints(w.heap, n + 1, catcher);
  uint64_t total = 0;
  for (uint32_t i = 0; i < n; i++) {
    w.g.start->Set(i, (uint32_t)total);
    ForEachSuccessor(index->Get(i), info, table, [&](VMBasicBlock* t, bool) {
      total++;
      w.g.predStart->Set(t->GetPosition(), w.g.predStart->Get(t->GetPosition()) + 1);
    });
  }
  catcher.NotNull(total < 0x10000000u ? (void*)1 : NULL);
  w.g.start->Set(n, (uint32_t)total);
  w.g.edges = NewUints(w.heap, (uint32_t)total, catcher);
  w.g.preds = NewUints(w.heap, (uint32_t)total, catcher);
  uint32_t sum = 0;  // predecessor counts to offsets; each then counts up while filling
  for (uint32_t i = 0; i <= n; i++) {
    uint32_t c = i < n ? w.g.predStart->Get(i) : 0;
    w.g.predStart->Set(i, sum);
    sum += c;
  }
  uint32_t at = 0;
  for (uint32_t i = 0; i < n; i++) {
    ForEachSuccessor(index->Get(i), info, table, [&](VMBasicBlock* t, bool call) {
      uint32_t p = t->GetPosition();
      w.g.edges->Set(at++, p << 1 | (call ? 1 : 0));
      uint32_t slot = w.g.predStart->Get(p);
      w.g.preds->Set(slot, i << 1 | (call ? 1 : 0));
      w.g.predStart->Set(p, slot + 1);
    });
  }
  for (uint32_t i = n; i > 0; i--) w.g.predStart->Set(i, w.g.predStart->Get(i - 1));
  w.g.predStart->Set(0, 0);
}

/* Breadth-first over edges (forward or backward) from the blocks already in set, within
   limit when given, never through a call into the subroutine entered at position entry. */
void Reach(Walk& w, VMBasicBlockArray* index, VMboolArray* set, VMboolArray* limit, bool backward,
           uint32_t entry) {
  uint32_t n = index->GetSize();
  uint32_t head = 0, tail = 0;
  for (uint32_t i = 0; i < n; i++)
    if (set->Get(i)) w.queue->Set(tail++, i);
  VMuintArray* start = backward ? w.g.predStart : w.g.start;
  VMuintArray* edges = backward ? w.g.preds : w.g.edges;
  while (head < tail) {
    uint32_t x = w.queue->Get(head++);
    for (uint32_t e = start->Get(x); e < start->Get(x + 1); e++) {
      uint32_t edge = edges->Get(e);
      uint32_t y = edge >> 1;
      bool call = (edge & 1) != 0;
      // A call into the subroutine itself is recursion, not a path of this activation.
      if (call && (backward ? x : y) == entry) continue;
      if (set->Get(y) || (limit != NULL && !limit->Get(y))) continue;
      set->Set(y, true);
      w.queue->Set(tail++, y);
    }
  }
}

}  // namespace

void VMBasicBlock::LinkReturnsToJsrNext(VMMethod* method, VMErrorCatcher& outer) {
  VMBasicBlockInfo* info = method->GetBlocks();
  if (!info->GetHasSubroutines()) return;
  VMBasicBlockArray* index = info->GetBlockIndex();
  uint32_t n = index->GetSize();
  VMExceptionHandlerArray* table = method->GetExceptionHandlers();

  // Number the entries in pc order.
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    if (b->GetIsJsr()) b->GetTarget(0)->SetIsJsrTarget();
  }
  uint32_t subroutines = 0;
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    b->SetEntryOf(b->GetIsJsrTarget() ? ++subroutines : 0);
    b->SetRetOf(0);
  }

  Walk w = {};
  w.heap = flow::HeapOf(method);
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    w.Release();
    outer.Throw(status);
  }
  w.forward = VMboolArray::CreateInstance(w.heap, n, jallocFailFast, VMTag_VMboolArray);
  catcher.NotNull(w.forward);
  w.queue = NewUints(w.heap, n, catcher);
  // The rets of a subroutine: those its entry reaches without entering another
  // subroutine (a call is stepped over to its return point), handlers included. A ret
  // that two entries reach belongs to the outer one: the inner subroutine's code went
  // back into the code of the one that called it.
  auto ownWalk = [&](uint32_t e, auto onRet, auto onCall) {
    w.forward->Clear();
    w.forward->Set(e, true);
    uint32_t head = 0, tail = 0;
    w.queue->Set(tail++, e);
    while (head < tail) {
      VMBasicBlock* x = index->Get(w.queue->Get(head++));
      if (x->GetIsRet()) onRet(x);
      if (x->GetIsJsr()) onCall(x->GetTarget(0)->GetEntryOf());
      ForEachSuccessor(x, info, table, [&](VMBasicBlock* t, bool call) {
        if (call || w.forward->Get(t->GetPosition())) return;
        w.forward->Set(t->GetPosition(), true);
        w.queue->Set(tail++, t->GetPosition());
      });
    }
  };
  auto entryOf = [&](uint32_t k) {
    for (uint32_t i = 0; i < n; i++)
      if (index->Get(i)->GetEntryOf() == k) return i;
    return n;
  };
  auto calls = [&](uint32_t outer, uint32_t inner) {
    bool found = false;
    ownWalk(entryOf(outer), [](VMBasicBlock*) {}, [&](uint32_t m) { found |= m == inner; });
    return found;
  };
  w.calls = NewUints(w.heap, n, catcher);  // (ret position, second claimant) pairs
  uint32_t shared = 0;
  for (uint32_t i = 0; i < n; i++) {
    uint32_t k = index->Get(i)->GetEntryOf();
    if (k == 0) continue;
    ownWalk(i, [&](VMBasicBlock* r) {
      if (r->GetRetOf() == 0) {
        r->SetRetOf(k);
      } else if (r->GetRetOf() != k) {
        catcher.Verify(shared + 2 <= n);
        w.calls->Set(shared++, r->GetPosition());
        w.calls->Set(shared++, k);
      }
    }, [](uint32_t) {});
  }
  for (uint32_t c = 0; c < shared; c += 2) {
    VMBasicBlock* r = index->Get(w.calls->Get(c));
    uint32_t k = w.calls->Get(c + 1), q = r->GetRetOf();
    bool kCallsQ = calls(k, q), qCallsK = calls(q, k);
    catcher.Verify(kCallsQ != qCallsK);  // otherwise one ret serves two unrelated subroutines
    if (kCallsQ) r->SetRetOf(k);
  }
  w.calls->Destroy(w.heap);
  w.calls = NULL;

  // Call sites grouped by subroutine, in pc order; every ret of k returns to each.
  w.callStart = NewUints(w.heap, subroutines + 2, catcher);
  uint32_t jsrs = 0;
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    if (!b->GetIsJsr()) continue;
    uint32_t k = b->GetTarget(0)->GetEntryOf();
    w.callStart->Set(k + 1, w.callStart->Get(k + 1) + 1);
    jsrs++;
  }
  for (uint32_t k = 1; k <= subroutines + 1; k++) w.callStart->Set(k, w.callStart->Get(k) + w.callStart->Get(k - 1));
  w.calls = NewUints(w.heap, jsrs, catcher);
  w.queue->Clear();  // fill counts per subroutine
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    if (!b->GetIsJsr()) continue;
    uint32_t k = b->GetTarget(0)->GetEntryOf();
    uint32_t at = w.callStart->Get(k) + w.queue->Get(k);
    w.queue->Set(k, w.queue->Get(k) + 1);
    w.calls->Set(at, i);
  }
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* r = index->Get(i);
    uint32_t k = r->GetRetOf();
    if (!r->GetIsRet() || k == 0) continue;
    uint32_t first = w.callStart->Get(k), last = w.callStart->Get(k + 1);
    r->SetNumberTargets(method, last - first, catcher);
    for (uint32_t c = first; c < last; c++) {
      // A jsr that ends the code has no return point for this ret to go back to.
      VMBasicBlock* point = index->Get(w.calls->Get(c))->GetNext();
      catcher.Verify(point != NULL);
      r->SetTarget(c - first, point);
    }
  }
  w.Release();
}

void VMBasicBlock::MarkSubroutines(VMMethod* method, VMErrorCatcher& outer) {
  VMBasicBlockInfo* info = method->GetBlocks();
  VMBasicBlockArray* index = info->GetBlockIndex();
  uint32_t n = index->GetSize();
  HHeap* heap = flow::HeapOf(method);
  if (!info->GetHasSubroutines()) {
    for (uint32_t i = 0; i < n; i++) outer.Verify(!index->Get(i)->GetIsRet());  // ret outside a subroutine
    return;
  }
  VMExceptionHandlerArray* table = method->GetExceptionHandlers();
  uint32_t subroutines = 0;
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    b->ClearIsVisited();
    b->SetSubroutineIndex(0);
    if (b->GetEntryOf() != 0) subroutines = b->GetEntryOf();
  }

  Walk w = {};
  w.heap = heap;
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    w.Release();
    outer.Throw(status);
  }
  BuildGraph(info, table, w, catcher);
  w.forward = VMboolArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMboolArray);
  w.backward = VMboolArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMboolArray);
  catcher.NotNull(w.forward);
  catcher.NotNull(w.backward);
  w.queue = NewUints(heap, n, catcher);

  // Whether some jsr to the entry of subroutine `inner` passes the test.
  auto calledFrom = [&](uint32_t inner, auto test) {
    for (uint32_t i = 0; i < n; i++) {
      VMBasicBlock* b = index->Get(i);
      if (b->GetIsJsr() && b->GetTarget(0)->GetEntryOf() == inner && test(b)) return true;
    }
    return false;
  };

  for (uint32_t e = 0; e < n; e++) {
    uint32_t k = index->Get(e)->GetEntryOf();
    if (k == 0) continue;
    w.forward->Clear();
    w.forward->Set(e, true);
    Reach(w, index, w.forward, NULL, false, e);
    w.backward->Clear();
    bool returns = false;
    for (uint32_t i = 0; i < n; i++) {
      if (index->Get(i)->GetRetOf() == k && w.forward->Get(i)) {
        w.backward->Set(i, true);
        returns = true;
      }
    }
    if (!returns) continue;  // a subroutine that never returns owns no block
    Reach(w, index, w.backward, w.forward, true, e);
    // No jsr to k inside k's own activation.
    catcher.Verify(!calledFrom(k, [&](VMBasicBlock* j) { return w.backward->Get(j->GetPosition()); }));
    for (uint32_t i = 0; i < n; i++) {
      if (!w.backward->Get(i)) continue;
      VMBasicBlock* b = index->Get(i);
      uint32_t q = b->GetSubroutineIndex();
      if (q == 0) {
        b->SetSubroutineIndex(k);
        continue;
      }
      // Claimed before by q: the inner of two nested subroutines keeps it.
      bool kInQ = calledFrom(k, [&](VMBasicBlock* j) { return j->GetSubroutineIndex() == q; });
      bool qInK = calledFrom(q, [&](VMBasicBlock* j) { return w.backward->Get(j->GetPosition()); });
      catcher.Verify(kInQ != qInK);
      if (kInQ) b->SetSubroutineIndex(k);
    }
  }

  // Every ret returns from the subroutine it lies in; RetIndex names the return-address
  // local of the subroutine's first ret.
  w.callStart = NewUints(heap, subroutines + 1, catcher);  // ret local + 1 per subroutine
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    if (!b->GetIsRet()) continue;
    catcher.Verify(b->GetRetOf() != 0 && b->GetSubroutineIndex() == b->GetRetOf());
    if (w.callStart->Get(b->GetRetOf()) == 0) w.callStart->Set(b->GetRetOf(), (uint32_t)b->GetRetIndex() + 1);
  }
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    uint32_t k = b->GetSubroutineIndex();
    b->SetRetIndex(k != 0 ? (int32_t)w.callStart->Get(k) - 1 : -1);
  }

  // The locals each subroutine writes: its own blocks' stores and those of every
  // subroutine it calls. Known before the flow, so return points never take a local from
  // the call site that a later flowed block of the subroutine turns out to write.
  CodeBytes code(method->GetCode());
  uint32_t localWords = method->GetLocalWords();
  VMboolArrayArray* units = info->GetSubroutineInfo();
  if (units != NULL && units->GetSize() != subroutines + 1) {
    for (uint32_t k = 0; k < units->GetSize(); k++)
      if (VMboolArray* u = units->Get(k)) u->Destroy(heap);
    info->SetSubroutineInfo(NULL);
    units->Destroy(heap);
    units = NULL;
  }
  if (units == NULL) {
    units = VMboolArrayArray::CreateInstance(heap, subroutines + 1, jallocFailFast, VMTag_VMboolArrayArray);
    catcher.NotNull(units);
    info->SetSubroutineInfo(units);
  }
  for (uint32_t k = 1; k <= subroutines; k++) {
    if (units->Get(k) == NULL) {
      VMboolArray* u = VMboolArray::CreateInstance(heap, localWords, jallocFailFast, VMTag_VMboolArray);
      catcher.NotNull(u);
      units->Set(k, u);
    }
    units->Get(k)->Clear();
  }
  for (uint32_t i = 0; i < n; i++) {
    VMBasicBlock* b = index->Get(i);
    uint32_t k = b->GetSubroutineIndex();
    if (k == 0) continue;
    catcher.NotNull(b->MakeLocalsDefined(method));
    flow::ScanStores(method, code, b->GetStartPC(), b->GetEndPC(), b->GetLocalsDefined(), catcher);
    units->Get(k)->OrWith(b->GetLocalsDefined());
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (uint32_t i = 0; i < n; i++) {
      VMBasicBlock* j = index->Get(i);
      uint32_t q = j->GetSubroutineIndex();
      if (!j->GetIsJsr() || q == 0) continue;
      VMboolArray* outer = units->Get(q);
      VMboolArray* inner = units->Get(j->GetTarget(0)->GetEntryOf());
      for (uint32_t word = 0; word < outer->GetSize(); word++) {
        VMword before = outer->GetWord(word), after = before | inner->GetWord(word);
        if (after != before) {
          outer->SetWord(word, after);
          changed = true;
        }
      }
    }
  }
  w.Release();
}
