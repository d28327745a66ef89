/* Flow analysis: the block record, the per-method block info, and the queries the rest
   of the machine makes (build, state at a pc, the locals a subroutine writes, and the
   kinds of an interpreted frame through its chain of subroutine calls). */
#include "vmbasicblock.h"

#include "vmbasicblock_code.h"
#include "vmclass.h"
#include "vmconstantpool.h"

/* ---------------------------------------------------------------------------------- */
/* The record                                                                          */

/* Flow analysis makes a block for every basic block of every method it prepares, and
   a scratch one for each walk: the five kind sets are laid in the block's own body
   whenever they fit there, so that a block is one host block, made and given back in
   one call. Each set keeps the header and body a set of its own block has, so whoever
   reads a block's sets cannot tell the two layouts apart. */
VMBasicBlock* VMBasicBlock::CreateInstance(VMMethod* method) {
  HHeap* heap = flow::HeapOf(method);
  uint32_t stack = method->GetStackWords();
  uint32_t locals = method->GetLocalWords();
  uint32_t stackSet = VMboolArray::PlacedWords(stack);
  uint32_t localSet = VMboolArray::PlacedWords(locals);
  // Room for a sixth set, of the locals the block's code writes, which flow analysis
  // makes when it first flows the block.
  bool placed = stackSet <= FIRST_PART && localSet <= FIRST_PART &&
                Words + 2 * stackSet + 4 * localSet <= FIRST_PART;
  uint32_t words = placed ? Words + 2 * stackSet + 4 * localSet : (uint32_t)Words;
  VMBasicBlock* block = (VMBasicBlock*)VMObject::CreateInternalNotToBeCalledDirectly(
      heap, words, RefMask, VMTag_VMBasicBlock, jallocFailFast);
  if (block == NULL) return NULL;
  block->SetStackDepth(NoState);
  block->SetRetIndex(-1);
  if (placed) {
    VMword* at = block->Body() + Words;
    block->SetStackIsRefArray(VMboolArray::Place(block, at, stack, VMTag_VMStackRefBits));
    at += stackSet;
    block->SetStackIsRetAddressArray(VMboolArray::Place(block, at, stack, VMTag_VMStackRefBits));
    at += stackSet;
    block->SetLocalIsRefArray(VMboolArray::Place(block, at, locals, VMTag_VMLocalRefBits));
    at += localSet;
    block->SetLocalIsRetAddressArray(VMboolArray::Place(block, at, locals, VMTag_VMLocalRefBits));
    at += localSet;
    block->SetLocalIsScalarArray(VMboolArray::Place(block, at, locals, VMTag_VMLocalScalarBits));
  } else {
    block->SetStackIsRefArray(VMboolArray::CreateInstance(heap, stack, jallocFailFast, VMTag_VMStackRefBits));
    block->SetStackIsRetAddressArray(
        VMboolArray::CreateInstance(heap, stack, jallocFailFast, VMTag_VMStackRefBits));
    block->SetLocalIsRefArray(VMboolArray::CreateInstance(heap, locals, jallocFailFast, VMTag_VMLocalRefBits));
    block->SetLocalIsRetAddressArray(
        VMboolArray::CreateInstance(heap, locals, jallocFailFast, VMTag_VMLocalRefBits));
    block->SetLocalIsScalarArray(
        VMboolArray::CreateInstance(heap, locals, jallocFailFast, VMTag_VMLocalScalarBits));
  }
  bool ok = block->GetStackIsRefArray() != NULL && block->GetStackIsRetAddressArray() != NULL &&
            block->GetLocalIsRefArray() != NULL && block->GetLocalIsRetAddressArray() != NULL &&
            block->GetLocalIsScalarArray() != NULL;
  VMBasicBlockInfo* info = method->GetBlocks();
  if (ok && info != NULL && info->GetHasSubroutines()) {
    block->SetStackSubroutineArray(VMcharArray::CreateInstance(heap, stack, jallocFailFast, VMTag_VMcharArray));
    ok = block->GetStackSubroutineArray() != NULL;
    // Numbers only for the locals a return address can reach.
    uint32_t slots = info->GetRetSlotCount();
    if (ok && slots != 0 && info->GetRetSlots() != NULL) {
      block->SetLocalSubroutineArray(VMcharArray::CreateInstance(heap, slots, jallocFailFast, VMTag_VMcharArray));
      block->SetRetSlots(info->GetRetSlots());
      ok = block->GetLocalSubroutineArray() != NULL;
    }
  }
  if (!ok) {
    block->Destroy(heap);
    return NULL;
  }
  return block;
}

VMboolArray* VMBasicBlock::MakeLocalsDefined(VMMethod* method) {
  if (VMboolArray* made = GetLocalsDefined()) return made;
  uint32_t locals = method->GetLocalWords();
  uint32_t localSet = VMboolArray::PlacedWords(locals);
  uint32_t at = Words + 2 * VMboolArray::PlacedWords(method->GetStackWords()) + 3 * localSet;
  VMboolArray* defined =
      localSet <= FIRST_PART && at + localSet <= GetNumberOfElements()
          ? VMboolArray::Place(this, Body() + at, locals, VMTag_VMboolArray)
          : VMboolArray::CreateInstance(flow::HeapOf(method), locals, jallocFailFast, VMTag_VMboolArray);
  SetLocalsDefined(defined);
  return defined;
}

bool VMBasicBlock::HoldsInBody(const VMObject* object) const {
  const VMword* at = reinterpret_cast<const VMword*>(object);
  return at >= Body() + Words && at < Body() + GetNumberOfElements();
}

void VMBasicBlock::Destroy(HHeap* heap) {
  static const int kOwned[] = {StackIsRefArrayWord, StackIsRetAddressArrayWord, LocalIsRefArrayWord,
                               LocalIsRetAddressArrayWord, LocalIsScalarArrayWord, LocalsDefinedWord,
                               TargetThreeAndUpWord, StackSubroutineArrayWord, LocalSubroutineArrayWord};
  for (int word : kOwned) {
    VMObject* o = GetReference(word);
    if (o != NULL && !HoldsInBody(o)) o->Destroy(heap);
  }
  VMObject::Destroy(heap);
}

void VMBasicBlock::Copy(VMBasicBlock* other) {
  GetStackIsRefArray()->Copy(other->GetStackIsRefArray());
  GetStackIsRetAddressArray()->Copy(other->GetStackIsRetAddressArray());
  GetLocalIsRefArray()->Copy(other->GetLocalIsRefArray());
  GetLocalIsScalarArray()->Copy(other->GetLocalIsScalarArray());
  GetLocalIsRetAddressArray()->Copy(other->GetLocalIsRetAddressArray());
  if (GetStackSubroutineArray() != NULL && other->GetStackSubroutineArray() != NULL)
    GetStackSubroutineArray()->VMArray::Copy(other->GetStackSubroutineArray(), 0, 0,
                                             GetStackSubroutineArray()->GetSize());
  if (GetLocalSubroutineArray() != NULL && other->GetLocalSubroutineArray() != NULL)
    GetLocalSubroutineArray()->VMArray::Copy(other->GetLocalSubroutineArray(), 0, 0,
                                             GetLocalSubroutineArray()->GetSize());
  SetStackDepth(other->GetStackDepth());
  SetSubroutineIndex(other->GetSubroutineIndex());
  SetRetIndex(other->GetRetIndex());
}

int32_t VMBasicBlock::RetSlot(uint32_t i) const {
  VMcharArray* map = GetRetSlots();
  if (map == NULL || GetLocalSubroutineArray() == NULL || i >= map->GetSize()) return -1;
  return (int32_t)map->Get(i) - 1;
}

uint32_t VMBasicBlock::LocalSubroutine(uint32_t i) const {
  int32_t slot = RetSlot(i);
  return slot < 0 ? 0 : GetLocalSubroutineArray()->Get((uint32_t)slot);
}

void VMBasicBlock::SetLocalSubroutine(uint32_t i, uint32_t subroutine) {
  int32_t slot = RetSlot(i);
  // Only an astore puts a return address into a local, and every local an astore writes
  // has a slot.
  VM_ASSERT(slot >= 0 || subroutine == 0);
  if (slot >= 0) GetLocalSubroutineArray()->Set((uint32_t)slot, (jchar)subroutine);
}

void VMBasicBlock::SetLocalBits(uint32_t i, bool ref, bool scalar, bool ret, uint32_t subroutine) {
  GetLocalIsRefArray()->Set(i, ref);
  GetLocalIsScalarArray()->Set(i, scalar);
  GetLocalIsRetAddressArray()->Set(i, ret);
  SetLocalSubroutine(i, ret ? subroutine : 0);
}

uint32_t VMBasicBlock::GetLocalRetSubroutine(uint32_t i) const {
  return GetLocalIsRetAddress(i) ? LocalSubroutine(i) : 0;
}

void VMBasicBlock::SetStackIsRef(uint32_t i, bool ref) {
  GetStackIsRefArray()->Set(i, ref);
  GetStackIsRetAddressArray()->Set(i, false);
  if (VMcharArray* subs = GetStackSubroutineArray()) subs->Set(i, 0);
}

void VMBasicBlock::SetStackIsRetAddress(uint32_t i, uint32_t subroutine) {
  GetStackIsRefArray()->Set(i, false);
  GetStackIsRetAddressArray()->Set(i, true);
  if (VMcharArray* subs = GetStackSubroutineArray()) subs->Set(i, (jchar)subroutine);
}

uint32_t VMBasicBlock::GetStackRetSubroutine(uint32_t i) const {
  VMcharArray* subs = GetStackSubroutineArray();
  return subs != NULL && GetStackIsRetAddress(i) ? subs->Get(i) : 0;
}

/* ---------------------------------------------------------------------------------- */
/* Successors                                                                          */

uint32_t VMBasicBlock::GetNumberTargets() const {
  uint32_t n = 0;
  while (GetTarget(n) != NULL) n++;
  return n;
}

VMBasicBlock* VMBasicBlock::GetTarget(uint32_t i) const {
  if (i < 3) return (VMBasicBlock*)GetReference(Target0Word + i);
  VMBasicBlockArray* more = GetTargetThreeAndUp();
  return more != NULL && i - 3 < more->GetSize() ? more->Get(i - 3) : NULL;
}

void VMBasicBlock::SetNumberTargets(VMMethod* method, uint32_t count, VMErrorCatcher& catcher) {
  if (VMBasicBlockArray* more = GetTargetThreeAndUp()) {
    SetTargetThreeAndUp(NULL);
    more->Destroy(flow::HeapOf(method));
  }
  for (int i = 0; i < 3; i++) SetReference(Target0Word + i, NULL);
  if (count > 3) {
    VMBasicBlockArray* more = VMBasicBlockArray::CreateInstance(flow::HeapOf(method), count - 3,
                                                                jallocFailFast, VMTag_VMBasicBlockArray);
    catcher.NotNull(more);
    SetTargetThreeAndUp(more);
  }
}

void VMBasicBlock::SetTarget(uint32_t i, VMBasicBlock* block) {
  if (i < 3) {
    SetReference(Target0Word + i, block);
  } else {
    GetTargetThreeAndUp()->Set(i - 3, block);
  }
}

void VMBasicBlock::AddTarget(VMMethod* method, VMBasicBlock* block, VMErrorCatcher& catcher) {
  uint32_t n = GetNumberTargets();
  if (n < 3) {
    SetReference(Target0Word + n, block);
    return;
  }
  VMBasicBlockArray* old = GetTargetThreeAndUp();
  uint32_t used = n - 3;
  VMBasicBlockArray* more = VMBasicBlockArray::CreateInstance(flow::HeapOf(method), used + 1,
                                                              jallocFailFast, VMTag_VMBasicBlockArray);
  catcher.NotNull(more);
  for (uint32_t i = 0; i < used; i++) more->Set(i, old->Get(i));
  more->Set(used, block);
  SetTargetThreeAndUp(more);
  if (old != NULL) old->Destroy(flow::HeapOf(method));
}

/* ---------------------------------------------------------------------------------- */
/* Look-up                                                                             */

namespace flow {

namespace {
/* The last block starting at or before pc (end pcs are not known while building). */
VMBasicBlock* AtOrBefore(VMBasicBlockInfo* info, uint32_t pc) {
  VMBasicBlockArray* index = info != NULL ? info->GetBlockIndex() : NULL;
  if (index == NULL) {
    VMBasicBlock* found = NULL;
    for (VMBasicBlock* b = info != NULL ? info->GetBasicBlocks() : NULL; b != NULL && b->GetStartPC() <= pc;
         b = b->GetNext())
      found = b;
    return found;
  }
  uint32_t lo = 0, hi = index->GetSize();
  while (lo < hi) {
    uint32_t mid = lo + (hi - lo) / 2;
    if (index->Get(mid)->GetStartPC() <= pc)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo == 0 ? NULL : index->Get(lo - 1);
}
}  // namespace

VMBasicBlock* FindFast(VMBasicBlockInfo* info, uint32_t pc) {
  VMBasicBlock* b = AtOrBefore(info, pc);
  return b != NULL && b->GetStartPC() == pc ? b : NULL;
}

VMBasicBlock* FindContaining(VMBasicBlockInfo* info, uint32_t pc) {
  VMBasicBlock* b = AtOrBefore(info, pc);
  return b != NULL && pc < b->GetEndPC() ? b : NULL;
}

void DestroyList(VMMethod* method, VMBasicBlockInfo* info) {
  HHeap* heap = HeapOf(method);
  VMBasicBlock* b = info->GetBasicBlocks();
  info->SetBasicBlocks(NULL);
  while (b != NULL) {
    VMBasicBlock* next = b->GetNext();
    b->Destroy(heap);
    b = next;
  }
  if (VMBasicBlockArray* index = info->GetBlockIndex()) {
    info->SetBlockIndex(NULL);
    index->Destroy(heap);
  }
  // The frame walk's blocks and the slot map are sized for this list.
  if (VMBasicBlock* state = info->GetFrameState()) {
    info->SetFrameState(NULL);
    state->Destroy(heap);
  }
  if (VMBasicBlock* caller = info->GetFrameCaller()) {
    info->SetFrameCaller(NULL);
    caller->Destroy(heap);
  }
  if (VMcharArray* slots = info->GetRetSlots()) {
    info->SetRetSlots(NULL);
    info->SetRetSlotCount(0);
    slots->Destroy(heap);
  }
}

}  // namespace flow

VMBasicBlock* VMBasicBlock::Find(VMMethod* method, uint32_t pc) {
  VMBasicBlockInfo* info = method->GetBlocks();
  return info != NULL ? flow::FindFast(info, pc) : NULL;
}

static VMPreBreakpointOpcodeFinder gBreakpointFinder = NULL;

void VMBasicBlock::SetPreBreakpointOpcodeFinder(VMPreBreakpointOpcodeFinder finder) {
  gBreakpointFinder = finder;
}

uint8_t VMBasicBlock::FindPreBreakpointOpcode(VMMethod* method, uint32_t pc) {
  if (gBreakpointFinder != NULL) return gBreakpointFinder(method, pc);
  return *static_cast<const uint8_t*>(method->GetCode()->FindElement(pc, 0u));
}

/* ---------------------------------------------------------------------------------- */
/* The block info and the method's side                                                */

VMBasicBlockInfo* VMBasicBlockInfo::CreateInstance(HHeap* heap) {
  return (VMBasicBlockInfo*)VMObject::CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMBasicBlockInfo, jallocFailFast);
}

void VMBasicBlockInfo::Destroy(HHeap* heap) {
  VM_ASSERT(GetBasicBlocks() == NULL);
  if (VMboolArrayArray* subs = GetSubroutineInfo()) {
    for (uint32_t i = 0; i < subs->GetSize(); i++) {
      if (VMboolArray* w = subs->Get(i)) {
        subs->Set(i, NULL);
        w->Destroy(heap);
      }
    }
    SetSubroutineInfo(NULL);
    subs->Destroy(heap);
  }
  if (VMBasicBlock* cached = GetBlockCache()) {
    SetBlockCache(NULL);
    cached->Destroy(heap);
  }
  VMObject::Destroy(heap);
}

namespace {

/* The method's monitor, in the name space of its class. */
VMStatus EnterMethod(VMMethod* method) {
  VMLoadableClass* cls = method->GetDefinedIn();
  if (cls == NULL) return VMStatus_OutOfMemoryError;
  return method->MonitorEnter(cls->GetNameSpace()) == 0 ? 0 : VMStatus_OutOfMemoryError;
}
void LeaveMethod(VMMethod* method) { method->MonitorExit(method->GetDefinedIn()->GetNameSpace()); }

}  // namespace

VMBasicBlockInfo* VMMethod::GetBlockInfo() {
  if (VMBasicBlockInfo* info = GetBlocks()) return info;
  VMLoadableClass* cls = GetDefinedIn();
  if (cls == NULL) return NULL;
  // Installed by one compare-and-swap rather than under the method's monitor, which
  // would give every method of every prepared class a monitor (and two host mutexes) of
  // its own: the first record installed stays, a thread that lost the race gives its
  // own back.
  VMBasicBlockInfo* made = VMBasicBlockInfo::CreateInstance(cls->GetHeap());
  if (made == NULL) return NULL;
  VMword seen = __sync_val_compare_and_swap(GetElementAddress(BlocksWord), (VMword)0, (VMword)made);
  if (seen != 0) {
    made->Destroy(cls->GetHeap());
    return (VMBasicBlockInfo*)seen;
  }
  return made;
}

void VMMethod::DestroyBlockInfo() {
  VMBasicBlockInfo* info = GetBlocks();
  if (info == NULL) return;
  // The list belongs to the info's owner as well: a method destroyed with blocks left
  // would otherwise leak them.
  flow::DestroyList(this, info);
  SetWord(BlocksWord, 0);
  info->Destroy(GetDefinedIn()->GetHeap());
}

VMBasicBlock* VMMethod::GetBasicBlocks() {
  VMBasicBlockInfo* info = GetBlockInfo();
  return info != NULL ? info->GetBasicBlocks() : NULL;
}

void VMMethod::SetBasicBlocks(VMBasicBlock* blocks) {
  if (VMBasicBlockInfo* info = GetBlockInfo()) info->SetBasicBlocks(blocks);
}

VMStatus VMMethod::GetBasicBlockFor(uint32_t pc, VMBasicBlock*& out) {
  out = NULL;
  VMBasicBlockInfo* info = GetBlockInfo();
  if (info == NULL) return VMStatus_OutOfMemoryError;
  if (EnterMethod(this) != 0) return VMStatus_OutOfMemoryError;
  VMStatus status = 0;
  if (info->GetBlockCache() != NULL && info->GetBlockCachePC() == pc) {
    out = info->GetBlockCache();
  } else {
    VMBasicBlock* block = NULL;
    status = VMBasicBlock::GetBlockAtPC(this, pc, block);
    if (status == 0) {
      if (VMBasicBlock* old = info->GetBlockCache()) old->Destroy(flow::HeapOf(this));
      info->SetBlockCache(block);
      info->SetBlockCachePC(pc);
      out = block;
    }
  }
  LeaveMethod(this);
  return status;
}

/* ---------------------------------------------------------------------------------- */
/* Building and queries                                                                */

namespace {

/* Builds and flows the blocks unless the method has them. On any failure the partial
   list is destroyed, so that the next query builds again rather than reading blocks
   without states. */
void BuildInner(VMMethod* method, bool allowQuick, VMErrorCatcher& outer) {
  if (method->GetIsNative() || method->GetIsAbstract() || method->GetCode() == NULL) return;
  VMBasicBlockInfo* info = method->GetBlockInfo();
  outer.NotNull(info);
  if (info->GetBasicBlocks() != NULL) return;
  VMBasicBlock* volatile scratch = VMBasicBlock::CreateInstance(method);
  outer.NotNull(scratch);
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    scratch->Destroy(flow::HeapOf(method));
    flow::DestroyList(method, info);
    outer.Throw(status);
  }
  scratch->CreateBlocks(method, catcher, allowQuick);
  // The scratch block was made before the build knew whether the code has subroutines:
  // make one that carries subroutine numbers when it does.
  if (info->GetHasSubroutines()) {
    VMBasicBlock* fresh = VMBasicBlock::CreateInstance(method);
    catcher.NotNull(fresh);
    scratch->Destroy(flow::HeapOf(method));
    scratch = fresh;
  }
  VMBasicBlock::LinkReturnsToJsrNext(method, catcher);
  VMBasicBlock::MarkSubroutines(method, catcher);
  scratch->FlowBlocks(method, catcher);
  // Kept for the frame walk, which then needs no allocation; with jsr it needs a second.
  if (info->GetHasSubroutines()) {
    VMBasicBlock* caller = VMBasicBlock::CreateInstance(method);
    catcher.NotNull(caller);
    info->SetFrameCaller(caller);
  }
  info->SetFrameState(scratch);
}

}  // namespace

VMStatus VMBasicBlock::BuildBlocks(VMMethod* method) {
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) return catcher.Caught();
  BuildInner(method, false, catcher);
  return 0;
}

VMStatus VMBasicBlock::GetBlockAtPC(VMMethod* method, uint32_t pc, VMBasicBlock*& out) {
  out = NULL;
  if (EnterMethod(method) != 0) return VMStatus_OutOfMemoryError;
  VMBasicBlock* volatile result = NULL;
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    if (result != NULL) result->Destroy(flow::HeapOf(method));
    LeaveMethod(method);
    return status;
  }
  BuildInner(method, true, catcher);
  VMBasicBlockInfo* info = method->GetBlocks();
  catcher.Verify(info != NULL && info->GetBasicBlocks() != NULL);
  uint32_t length = method->GetCode()->GetSize();
  catcher.Verify(pc <= length);
  VMBasicBlock* block = flow::FindContaining(info, pc == length ? length - 1 : pc);
  catcher.Verify(block != NULL && block->HasState());
  result = CreateInstance(method);
  catcher.NotNull(result);
  // A pc inside an instruction, or at the code length, flows through the instruction.
  result->CopyBlockAndFlowTo(method, block, pc, catcher, false);
  out = result;
  LeaveMethod(method);
  return 0;
}

VMStatus VMBasicBlock::DestroyBlocks(VMMethod* method) {
  if (EnterMethod(method) != 0) return VMStatus_OutOfMemoryError;
  if (VMBasicBlockInfo* info = method->GetBlocks()) flow::DestroyList(method, info);
  LeaveMethod(method);
  return 0;
}

VMboolArray* VMBasicBlock::GetLocalsDefinedBySubroutine(VMMethod* method, uint32_t subroutine,
                                                        VMErrorCatcher& catcher) {
  VMBasicBlockInfo* info = method->GetBlocks();
  catcher.Verify(info != NULL && info->GetSubroutineInfo() != NULL);
  VMboolArrayArray* subs = info->GetSubroutineInfo();
  catcher.Verify(subroutine != 0 && subroutine < subs->GetSize() && subs->Get(subroutine) != NULL);
  return subs->Get(subroutine);
}

VMboolArray* VMBasicBlock::GetLocalsDefinedBySubroutine(VMMethod* method) {
  if (EnterMethod(method) != 0) return NULL;
  VMboolArray* volatile result = NULL;
  VMErrorCatcher catcher;
  if (!VM_CATCHER_ARM(catcher)) result = GetLocalsDefinedBySubroutine(method, GetSubroutineIndex(), catcher);
  LeaveMethod(method);
  return result;
}

namespace {

/* Where the return address of the innermost open activation of subroutine k lies in the
   state: the subroutine's own return-address local when it holds one of k, else the
   topmost stack word holding one (a subroutine that has not stored it yet), else the
   lowest local holding one. */
bool FindReturnAddress(VMBasicBlock* state, uint32_t k, int32_t retIndex, uint32_t locals,
                       uint32_t depth, uint32_t* where, bool* onStack) {
  if (retIndex >= 0 && (uint32_t)retIndex < locals && state->GetLocalRetSubroutine(retIndex) == k) {
    *where = (uint32_t)retIndex;
    *onStack = false;
    return true;
  }
  for (uint32_t i = depth; i-- > 0;) {
    if (state->GetStackRetSubroutine(i) == k) {
      *where = i;
      *onStack = true;
      return true;
    }
  }
  for (uint32_t i = 0; i < locals; i++) {
    if (state->GetLocalRetSubroutine(i) == k) {
      *where = i;
      *onStack = false;
      return true;
    }
  }
  return false;
}

/* The start of the instruction of block b that holds the byte before pc. */
uint32_t InstructionBefore(VMMethod* method, VMBasicBlock* b, uint32_t pc, VMErrorCatcher& catcher) {
  flow::CodeBytes code(method->GetCode());
  uint32_t at = b->GetStartPC();
  for (;;) {
    uint8_t op = flow::DecodeOpcode(method, code.At(at), at, true, catcher);
    uint32_t next = at + flow::InstructionLength(code, at, op, catcher);
    if (next >= pc) return at;
    at = next;
  }
}

/* The block a state at pc is flowed from, and how far: before the instruction at pc,
   or, past, before the one that holds pc - 1. Only blocks the flow reached, which all
   have their LocalsDefined, so flowing them allocates nothing. */
VMBasicBlock* StateSource(VMMethod* method, uint32_t pc, bool past, uint32_t* limit, VMErrorCatcher& catcher) {
  VMBasicBlockInfo* info = method->GetBlocks();
  catcher.Verify(info != NULL && info->GetBasicBlocks() != NULL);
  uint32_t length = method->GetCode()->GetSize();
  catcher.Verify(past ? pc >= 1 && pc <= length : pc < length);
  VMBasicBlock* block = flow::FindContaining(info, past ? pc - 1 : pc);
  catcher.Verify(block != NULL && block->HasState() && block->GetLocalsDefined() != NULL);
  *limit = past ? InstructionBefore(method, block, pc, catcher) : pc;
  return block;
}

}  // namespace

/* The kinds of a frame into state; caller is scratch for the subroutine chain. Runs under
   the method's monitor on built blocks. */
void VMBasicBlock::FrameKinds(VMMethod* method, uint32_t pc, bool past, const VMword* locals,
                              const VMword* stack, uint32_t depth, VMBasicBlock* state, VMBasicBlock* caller,
                              VMErrorCatcher& catcher) {
  uint32_t limit = 0;
  VMBasicBlock* source = StateSource(method, pc, past, &limit, catcher);
  state->CopyBlockAndFlowTo(method, source, limit, catcher, false);
  VMBasicBlockInfo* info = method->GetBlocks();
  uint32_t localWords = method->GetLocalWords() - 2;
  if (depth > state->GetStackDepth()) depth = state->GetStackDepth();
  uint32_t k = state->GetSubroutineIndex();
  int32_t retIndex = state->GetRetIndex();
  // Each step leaves one subroutine for the one its call site lies in; a chain longer
  // than the number of blocks can only come from a cycle.
  uint32_t maxSteps = info->GetBlockIndex()->GetSize();
  for (uint32_t steps = 0; k != 0; steps++) {
    catcher.Verify(steps <= maxSteps && caller != NULL);
    uint32_t where = 0;
    bool onStack = false;
    catcher.Verify(FindReturnAddress(state, k, retIndex, localWords, depth, &where, &onStack));
    uint32_t returnPC = onStack ? stack[where] : locals[where];
    // The return address must lead to the instruction after a jsr to this subroutine.
    VMBasicBlock* point = flow::FindFast(info, returnPC);
    VMBasicBlock* call = point != NULL ? point->GetPrev() : NULL;
    catcher.Verify(call != NULL && call->GetIsJsr() && call->GetTarget(0) != NULL &&
                   call->GetTarget(0)->GetEntryOf() == k && call->HasState() && call->GetLocalsDefined() != NULL);
    VMboolArray* written = GetLocalsDefinedBySubroutine(method, k, catcher);
    // The kinds at the jsr itself: its return point may also be reached from elsewhere,
    // and a merge there loses what a handler inside the subroutine may still read.
    caller->CopyBlockAndFlowTo(method, call, call->GetEndPC(), catcher, false);
    for (uint32_t i = 0; i < localWords; i++)
      if (!written->Get(i)) state->CopyLocal(caller, i);
    k = caller->GetSubroutineIndex();
    retIndex = caller->GetRetIndex();
  }
}

VMStatus VMBasicBlock::GetBlockForFrame(VMMethod* method, uint32_t pc, bool pastInstruction, const VMword* locals,
                                        const VMword* stack, uint32_t depth, VMBasicBlock*& out) {
  out = NULL;
  if (EnterMethod(method) != 0) return VMStatus_OutOfMemoryError;
  HHeap* heap = flow::HeapOf(method);
  VMBasicBlock* volatile state = NULL;
  VMBasicBlock* volatile caller = NULL;
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    if (state != NULL) state->Destroy(heap);
    if (caller != NULL) caller->Destroy(heap);
    LeaveMethod(method);
    return status;
  }
  BuildInner(method, true, catcher);
  state = CreateInstance(method);
  catcher.NotNull(state);
  caller = CreateInstance(method);
  catcher.NotNull(caller);
  FrameKinds(method, pc, pastInstruction, locals, stack, depth, state, caller, catcher);
  caller->Destroy(heap);
  out = state;
  LeaveMethod(method);
  return 0;
}

VMStatus VMBasicBlock::AcquireFrameState(VMMethod* method, uint32_t pc, bool pastInstruction, const VMword* locals,
                                         const VMword* stack, uint32_t depth, VMBasicBlock*& out) {
  out = NULL;
  if (EnterMethod(method) != 0) return VMStatus_OutOfMemoryError;
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    LeaveMethod(method);
    return status;
  }
  // Built before the method first ran; a walk never builds them.
  VMBasicBlockInfo* info = method->GetBlocks();
  catcher.Verify(info != NULL && info->GetFrameState() != NULL);
  FrameKinds(method, pc, pastInstruction, locals, stack, depth, info->GetFrameState(), info->GetFrameCaller(),
             catcher);
  out = info->GetFrameState();
  return 0;
}

void VMBasicBlock::ReleaseFrameState(VMMethod* method) { LeaveMethod(method); }

void VMBasicBlock::CopyLocal(VMBasicBlock* source, uint32_t i) {
  SetLocalBits(i, source->LocalRef(i), source->LocalScalar(i), source->LocalRet(i), source->LocalSubroutine(i));
}

/* ---------------------------------------------------------------------------------- */
/* Handler blocks as targets                                                           */

VMStatus VMBasicBlock::AddCatchTargets(VMMethod* method) {
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) return VMStatus_OutOfMemoryError;
  VMExceptionHandlerArray* table = method->GetExceptionHandlers();
  VMBasicBlockInfo* info = method->GetBlocks();
  if (table == NULL || info == NULL) return 0;
  for (uint32_t e = 0; e < table->GetSize(); e++) {
    VMExceptionHandler* h = table->Get(e);
    VMBasicBlock* handler = flow::FindFast(info, h->GetHandlerPc());
    if (handler == NULL) continue;
    for (VMBasicBlock* b = info->GetBasicBlocks(); b != NULL; b = b->GetNext()) {
      if (!(h->GetStartPc() < b->GetEndPC() && h->GetEndPc() > b->GetStartPC())) continue;
      bool present = false;
      for (uint32_t t = 0; VMBasicBlock* target = b->GetTarget(t); t++) present |= target == handler;
      if (!present) b->AddTarget(method, handler, catcher);
      b->SetHasCatchTarget();
    }
  }
  return 0;
}
