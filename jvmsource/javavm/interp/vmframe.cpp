/* Frames, frame groups, the frame list and the walks over a thread's frames. */
#include "vmframe.h"

#include <string.h>

#include <atomic>

#include "vm.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

/* A thread's Java stack never grows past this many bytes of frame groups, however much
   memory the host would hand out: runaway recursion ends in StackOverflowError while
   the machine still has memory to go on with. */
const unsigned long kMaxStackBytes = 4u << 20;

/* Whether a group the host can give has room for a frame of this many bytes (strictly
   below its limit, as the placement test asks): a larger one overflows the stack
   whatever memory is free. */
bool AGroupCanHold(unsigned long bytes) {
  unsigned long cap = Host()->GetMaxAllocSize();
  return cap > VMFrameGroup::Overhead && cap - VMFrameGroup::Overhead > bytes + 4;
}

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* Any frame                                                                             */

VMConstantPool* VMFrame::GetConstantPool() const {
  return method != NULL ? method->GetConstantPool() : NULL;
}

VMFrame* VMFrame::GetLastByteCodeFrame() {
  VMFrame* f = this;
  while (f != NULL && !f->GetIsByteCode()) f = f->caller;
  return f;
}

VMByteCodeFrame* VMFrame::GetOwnerBelow() {
  VMFrame* f = this;
  while (f != NULL && !f->GetHasJmpBuf()) {
    if (f->flags & ExecutableByteCodeFlag) {
      if (VMByteCodeFrame* owner = f->GetByteCodeFrame()->GetOwnerLink()) return owner;
    }
    f = f->caller;
  }
  return (VMByteCodeFrame*)f;
}

VMFrame* VMFrame::UnwindFrame() {
  thread->SetFrame(caller);
  return caller;
}

VMFrame* VMFrame::UnwindFrame(JNIEnv* env) {
  VMThread* t = env->thread;
  VMFrame* current = t->GetFrame();
  return current != NULL ? current->UnwindFrame() : NULL;
}

/* The kinds of the last few places a walk read, for the frames of a recursion: reading
   them afresh for each frame costs the method's monitor and a flow from the start of its
   block, and a recursion's frames stand at one place or a few (methods that call each
   other). Kept for methods without subroutines, whose kinds depend on the place alone,
   with no more than 64 words of stack and 64 of locals, and only below a thread's first
   64 frames: a shallow walk would pay for keeping it and gain nothing. */
struct VMByteCodeFrame::KindsMemo {
  enum { FramesBefore = 64 };
  enum { Places = 4 };
  struct Place {
    VMMethod* method;
    uint32_t pc;
    bool past;
    uint32_t stackDepth;
    uint64_t stackRefs;
    uint64_t localRefs;
  } places[Places];
  uint32_t next;
};

/* The collector's walk: from this frame through its callers, the first frame excluded.
   The top words of a caller's stack that a call's result will fill hold nothing yet;
   that holds for calls made by invoke instructions (the frame above is a bytecode,
   compiled or frame-list JNI frame), not for a host JNI frame that a handler pushed to
   run Java (a class's initialiser, a constructor), whose caller's top words are live.
   A frame below one that an invoke made is inside that call, and a throwing frame inside
   its throw: both have their pc past the instruction. */
VMStatus VMFrame::WalkReferences(bool (*callback)(VMword* slot, void* context), void* context) {
  uint32_t skip = 0;
  bool inCall = false;
  VMByteCodeFrame::KindsMemo memo = {};
  uint32_t walked = 0;
  for (VMFrame* f = this; f != NULL && !f->GetIsFirstFrame(); f = f->caller, walked++) {
    if (f->GetIsCompiled()) {
      VMCompiledFrame* c = f->GetCompiledFrame();
      for (uint32_t i = 0; i < c->GetNumberReferences(); i++) {
        VMword* slot = c->GetReferenceAddress(i);
        if (*slot != 0 && !callback(slot, context)) break;
      }
    } else if (f->GetIsExecutableByteCode()) {
      bool past = inCall || (f->flags & ThrowingFlag) != 0;
      VMStatus status = f->GetByteCodeFrame()->WalkReferences(
          callback, skip, past, context, walked >= VMByteCodeFrame::KindsMemo::FramesBefore ? &memo : NULL);
      if (status != 0) return status;
    }
    if (f->synch != NULL) (void)callback((VMword*)&f->synch, context);
    bool hostJNI = f->tag == HostFrameTag && f->GetIsJNI();
    skip = f->method != NULL && !hostJNI ? f->method->GetReturnBytes() : 0;
    inCall = !hostJNI;
  }
  return 0;
}

namespace {

/* The references of a frame whose kinds a memo's place holds. */
void WalkKnownKinds(const VMByteCodeFrame::KindsMemo::Place& p, VMword* stack, uint32_t depth, VMword* locals,
                    uint32_t localWords, bool (*callback)(VMword* slot, void* context), void* context) {
  if (depth > p.stackDepth) depth = p.stackDepth;
  bool go = true;
  for (uint32_t i = 0; go && i < depth; i++) {
    if (((p.stackRefs >> i) & 1) != 0 && stack[i] != 0 && VMUtils::IsValidObjectRef((VMObject*)stack[i]))
      go = callback(&stack[i], context);
  }
  for (uint32_t i = 0; go && i < localWords; i++) {
    if (((p.localRefs >> i) & 1) != 0 && locals[i] != 0) go = callback(&locals[i], context);
  }
}

}  // namespace

VMStatus VMByteCodeFrame::WalkReferences(bool (*callback)(VMword* slot, void* context), uint32_t skip,
                                         bool pastInstruction, void* context, KindsMemo* memo) {
  VMword* start = GetStackStart();
  int32_t words = (int32_t)(stack - start) - (int32_t)(skip / 4);
  uint32_t depth = words > 0 ? (uint32_t)words : 0;
  uint32_t localWords = method->GetLocalWords() - 2;
  uint32_t pc = GetPC(false);
  for (uint32_t k = 0; memo != NULL && k < KindsMemo::Places; k++) {
    const KindsMemo::Place& p = memo->places[k];
    if (p.method == method && p.pc == pc && p.past == pastInstruction) {
      WalkKnownKinds(p, start, depth, locals, localWords, callback, context);
      return 0;
    }
  }
  VMBasicBlock* block = NULL;
  // The kinds just before the instruction the frame is at (or in the middle of), with the
  // locals of enclosing subroutines taken from their calls; nothing is allocated.
  VMStatus status =
      VMBasicBlock::AcquireFrameState(method, pc, pastInstruction, locals, start, depth, block);
  if (status != 0) return status;
  // Words above the depth flow analysis knows are stale.
  uint32_t known = block->GetStackDepth();
  if (memo != NULL && known <= 64 && localWords <= 64 && !method->GetBlocks()->GetHasSubroutines()) {
    KindsMemo::Place& p = memo->places[memo->next];
    memo->next = (memo->next + 1) % KindsMemo::Places;
    p.method = method;
    p.pc = pc;
    p.past = pastInstruction;
    p.stackDepth = known;
    p.stackRefs = 0;
    p.localRefs = 0;
    for (uint32_t i = 0; i < known; i++)
      if (block->GetStackIsRef(i)) p.stackRefs |= (uint64_t)1 << i;
    for (uint32_t i = 0; i < localWords; i++)
      if (block->GetLocalIsRef(i)) p.localRefs |= (uint64_t)1 << i;
    VMBasicBlock::ReleaseFrameState(method);
    WalkKnownKinds(p, start, depth, locals, localWords, callback, context);
    return 0;
  }
  if (depth > known) depth = known;
  bool go = true;
  for (uint32_t i = 0; go && i < depth; i++) {
    if (block->GetStackIsRef(i) && start[i] != 0 && VMUtils::IsValidObjectRef((VMObject*)start[i]))
      go = callback(&start[i], context);
  }
  for (uint32_t i = 0; go && i < localWords; i++) {
    if (block->GetLocalIsRef(i) && locals[i] != 0) go = callback(&locals[i], context);
  }
  VMBasicBlock::ReleaseFrameState(method);
  return 0;
}

namespace {

bool RelocateSlot(VMword* slot, void* context) {
  ((VMRelocateInfo*)context)->Relocate(slot);
  return true;
}

}  // namespace

std::atomic<uint32_t> VMFrame::relocations(0);

void VMFrame::CountRelocation() { relocations.fetch_add(1, std::memory_order_seq_cst); }

void VMFrame::Relocate(VMRelocateInfo* info) {
  for (VMFrame* f = this; f != NULL;) {
    info->Relocate((VMword*)&f->thread);
    info->Relocate((VMword*)&f->method);
    info->Relocate((VMword*)&f->caller);
    // The synch object is a reference of the frame: the walk below hands it over, and
    // no word may reach the host's callback twice in one relocation.
    if (f->GetIsStackValid()) info->Relocate((VMword*)&f->stack);
    if (f->GetIsByteCode()) {
      VMByteCodeFrame* b = f->GetByteCodeFrame();
      info->Relocate((VMword*)&b->limitOrHandler);
      info->Relocate((VMword*)&b->locals);
      info->Relocate((VMword*)&b->codePointer);
      // An owner's second word is a jump buffer on the host's stack; any other frame's
      // names its owner, a frame that moves with it.
      if (!b->GetHasJmpBuf() && (b->flags & ExecutableByteCodeFlag) && b->secondJmpBuf != NULL)
        info->Relocate((VMword*)&b->secondJmpBuf);
      b->RelocationOccured();
    }
    f = f->caller;
  }
  // A frame whose references cannot all be found would keep pointers into blocks that are
  // gone once the host finishes the move.
  VMStatus status = WalkReferences(RelocateSlot, info);
  if (status != 0) Host()->FatalExit(status, "relocation could not find the references of an interpreted frame");
}

VMClassArray* VMFrame::GetClassContext() {
  uint32_t count = 0;
  for (VMFrame* f = this; f != NULL && !f->GetIsFirstFrame(); f = f->caller) {
    if (f->method != NULL && (f->GetIsByteCode() || f->GetIsCompiled())) count++;
  }
  VM* vm = thread->GetVM();
  // The array's class comes from the name space's list, whatever this frame runs.
  VMClass* object = (VMClass*)vm->GetNameSpace()->GetClassList()->GetObjectClass();
  VMClassArray* array = VMClassArray::CreateInstance(vm->GetHeap(), count, object, jallocCollectAndRetry,
                                                     VMTag_VMClassArray);
  if (array == NULL) return NULL;
  uint32_t i = 0;
  for (VMFrame* f = this; f != NULL && !f->GetIsFirstFrame() && i < count; f = f->caller) {
    if (f->method != NULL && (f->GetIsByteCode() || f->GetIsCompiled()))
      array->Set(i++, (VMClass*)f->method->GetDefinedIn());
  }
  return array;
}

/* ------------------------------------------------------------------------------------ */
/* JNI and compiled frames                                                               */

VMJNIFrame* VMJNIFrame::CreateInstance(VMMethod* method, VMThread* thread, VMFrame* caller,
                                       VMObject* synch) {
  void* block = Host()->HeapAlloc(NULL, sizeof(VMJNIFrame), jallocFailFast);
  return block != NULL ? Fill(block, HostFrameTag, method, thread, caller, synch) : NULL;
}

VMJNIFrame* VMJNIFrame::Fill(void* place, VMword tag, VMMethod* method, VMThread* thread, VMFrame* caller,
                             VMObject* synch) {
  VMJNIFrame* f = (VMJNIFrame*)place;
  // Every word, the stack and the handler-record head included: a throw that meets a
  // frame without a record leaves the exception pending instead of jumping through it.
  memset(place, 0, sizeof(VMJNIFrame));
  f->tag = tag;
  f->flags = JNIFlag;
  f->method = method;
  f->thread = thread;
  f->caller = caller;
  f->synch = synch;
  return f;
}

void VMJNIFrame::Destroy() { Host()->HeapFree(NULL, this); }

VMJNIFrame* VMJNIFrame::CreateInstanceNF(VMMethod* method, VMThread* thread, VMFrame* caller,
                                         VMObject* synch) {
  VMword* slot = thread->GetNativeFrames()->PushFrame(thread->GetVM()->GetHeap());
  return slot != NULL ? Fill(slot, ListFrameTag, method, thread, caller, synch) : NULL;
}

void VMJNIFrame::DestroyNF(VMThread* t) { t->GetNativeFrames()->PopFrame(t->GetVM()->GetHeap()); }

VMCompiledFrame::VMCompiledFrame(VMThread* t, VMFrame* c, VMObject* s) {
  tag = HostFrameTag;
  flags = CompiledFlag;
  thread = t;
  method = NULL;
  caller = c;
  stack = NULL;
  synch = s;
  limitOrHandler = NULL;
  references = NULL;
}

/* ------------------------------------------------------------------------------------ */
/* Frame groups                                                                          */

VMFrameGroup* VMFrameGroup::CreateInstance(HHeap* heap, VMFrameGroup* next, unsigned long* size) {
  unsigned long want = *size + Overhead;
  unsigned long cap = Host()->GetMaxAllocSize();
  unsigned long n = want < cap ? want : cap;
  if (n < 900) n = 900;
  uint32_t words = (uint32_t)((n - 20) / 4);
  // One contiguous host block: the storage layer's objects keep words past 196 in
  // pieces, and frames are carved from the body by address.
  VMword* block = (VMword*)Host()->HeapAlloc(heap, 20 + 4 * words, jallocFailFast);
  if (block == NULL) return NULL;
  memset(block, 0, 20 + 4 * words);
  VMFrameGroup* group = (VMFrameGroup*)block;
  block[0] = Tag;
  // Root object, its kind word a reference mask naming only the link word; the element
  // count stays 0 so that no walk reads the body as pieces.
  ((VMHeapObject*)block)->SetFlags(VMFLAG_ROOT_OBJECT | VMFLAG_KIND_REF_BITS);
  block[2] = 1;
  VMword* body = group->Body();
  body[ActualSizeWord] = words;
  body[FrameLimitWord] = (VMword)&body[words - 2];
  body[words - 1] = (VMword)group;
  group->SetNext(next);
  unsigned long covered = 4ul * words - Overhead;
  *size = covered <= *size ? *size - covered : 0;
  return group;
}

void VMFrameGroup::SetNext(VMFrameGroup* next) {
  Body()[LinkWord] = (VMword)next;
  GetBufferEnd()[0] = (VMword)next;
}

VMFrameGroup* VMFrameGroup::AddNext(HHeap* heap, VMword* frameLimit, unsigned long bytes) {
  // Groups of about 10 KB, or one sized for a larger frame (a method may have 65535
  // words of locals): only a frame larger than any block the host gives overflows.
  if (!AGroupCanHold(bytes)) return NULL;
  unsigned long size = 10240 - Overhead;
  if (size < bytes + 4) size = bytes + 4;
  VMFrameGroup* group = CreateInstance(heap, NULL, &size);
  if (group == NULL) return NULL;
  GetGroup(frameLimit)->SetNext(group);
  return group;
}

void VMFrameGroup::Destroy(HHeap* heap) {
  VMFrameGroup* g = this;
  while (g != NULL) {
    VMFrameGroup* next = g->GetLink();
    Host()->HeapFree(heap, g);
    g = next;
  }
}

void VMFrameGroup::Relocate(VMRelocateInfo* info) {
  // The link word is the group's one reference word, rewritten with the group as an
  // object (the host relocates every object head), so it already names the next
  // group's new place.
  for (VMFrameGroup* g = this; g != NULL; g = g->GetLink()) {
    VMword* end = g->GetBufferEnd();
    info->Relocate(&end[0]);
    info->Relocate(&end[1]);
    info->Relocate(&g->Body()[FrameLimitWord]);
  }
}

/* ------------------------------------------------------------------------------------ */
/* The frame list                                                                        */

void framelist::CreateInstance(framelist* block) {
  VMword* w = (VMword*)block;
  w[0] = VMFrame::ListFrameTag;
  w[CountWord] = 1;
  w[CurrentWord] = w[HeadWord] = w[NextWord] = w[PreviousWord] = (VMword)block;
}

VMword* framelist::PushFrame(HHeap* heap) {
  VMword* head = Words_();
  VMword* current = (VMword*)head[CurrentWord];
  if (current[CountWord] >= Slots) {
    VMword* block = (VMword*)Host()->HeapAlloc(heap, Bytes(), jallocFailFast);
    if (block == NULL) return NULL;
    memset(block, 0, Bytes());
    block[0] = VMFrame::ListFrameTag;
    block[CountWord] = 1;
    block[HeadWord] = (VMword)head;
    block[NextWord] = current[NextWord];
    block[PreviousWord] = (VMword)current;
    ((VMword*)current[NextWord])[PreviousWord] = (VMword)block;
    current[NextWord] = (VMword)block;
    head[CurrentWord] = (VMword)block;
    current = block;
  }
  VMword* slot = &current[1 + current[CountWord] * SlotWords];
  current[CountWord]++;
  return slot;
}

void framelist::PopFrame(HHeap* heap) {
  VMword* head = Words_();
  VMword* current = (VMword*)head[CurrentWord];
  if (current[CountWord] > 1) current[CountWord]--;
  if (current[CountWord] == 1 && current != head) {
    VMword* previous = (VMword*)current[PreviousWord];
    VMword* next = (VMword*)current[NextWord];
    previous[NextWord] = (VMword)next;
    next[PreviousWord] = (VMword)previous;
    head[CurrentWord] = (VMword)previous;
    Host()->HeapFree(heap, current);
  }
}

void framelist::Destroy(HHeap* heap) {
  VMword* head = Words_();
  VMword* block = (VMword*)head[NextWord];
  while (block != NULL && block != head) {
    VMword* next = (VMword*)block[NextWord];
    Host()->HeapFree(heap, block);
    block = next;
  }
  head[NextWord] = head[PreviousWord] = head[CurrentWord] = (VMword)head;
  head[CountWord] = 1;
}

/* ------------------------------------------------------------------------------------ */
/* Bytecode frames                                                                       */

uint32_t VMByteCodeFrame::GetPC(bool before) const {
  uint32_t pc = (flags & UsingFastLoopFlag)
                    ? (uint32_t)(codePointer - method->GetCode()->GetFirstElementPointer())
                    : slowLoopPC;
  return before ? pc - 1 : pc;
}

uint32_t VMByteCodeFrame::OffsetOf(const uint8_t* pc) const {
  return (flags & UsingFastLoopFlag) ? (uint32_t)(pc - method->GetCode()->GetFirstElementPointer())
                                     : slowLoopPC;
}

void VMByteCodeFrame::Init(VMObject* s, VMword* frameLimit, VMword* stk, VMword* l, VMMethod* m,
                           VMFrame* c) {
  tag = ByteCodeTag;
  // The whole flags word: no stale jump-buffer flag may survive the frame's reuse.
  flags = (VMword)ExecutableByteCodeFlag | (VMword)StackValidFlag |
          (m->GetIsContiguousCode() ? (VMword)UsingFastLoopFlag : 0u);
  synch = s;
  limitOrHandler = frameLimit;
  stack = stk;
  locals = l;
  method = m;
  codePointer = m->GetCode()->GetFirstElementPointer();
  slowLoopPC = 0;
  thread = c->thread;
  caller = c;
  secondJmpBuf = OwnerLinkFor(c);
  thread->SetFrame(this);
}

VMByteCodeFrame* VMByteCodeFrame::CreateInstance(VMObject* synch, VMword* l, VMMethod* m,
                                                 VMFrame* caller, VMByteCodeFrame* current) {
  VMByteCodeFrame* f = (VMByteCodeFrame*)((uint8_t*)l + m->GetLocalBytes());
  VMword* limit = current->GetFrameLimit();
  if ((uint8_t*)f->GetStackStart() + m->GetStackBytes() < (uint8_t*)limit) {
    f->Init(synch, limit, f->GetStackStart(), l, m, caller);
    return f;
  }
  return NewFrameGroup(synch, l, limit, current, m, caller);
}

namespace {

struct GroupRequest {
  HHeap* heap;
  VMword* frameLimit;
  unsigned long bytes;
};

void* AddNextAgain(void* context) {
  GroupRequest* r = (GroupRequest*)context;
  return VMFrameGroup::AddNext(r->heap, r->frameLimit, r->bytes);
}

}  // namespace

/* A heap full of garbage must not end a call: one collection, then the group again.
   Only for a call an invoke makes, whose arguments still lie on the caller's stack: the
   caller is shown to the walk as inside its invoke (pc past it, the arguments on its
   stack), as a throwing frame is shown. Other callers have nothing that a collection
   could be sure to find, and fail as before. */
VMFrameGroup* VMByteCodeFrame::AddNextAfterCollection(HHeap* heap, VMword* frameLimit, unsigned long bytes,
                                                      VMword* params, VMMethod* m, VMFrame* caller) {
  VMThread* t = caller->thread;
  if (params == NULL || t->GetFrame() != caller || !(caller->flags & ExecutableByteCodeFlag)) return NULL;
  VMByteCodeFrame* b = caller->GetByteCodeFrame();
  VMword* savedStack = b->stack;
  const bool wasThrowing = (b->flags & ThrowingFlag) != 0;
  b->stack = (VMword*)((uint8_t*)params + m->GetParameterBytes());
  b->flags |= ThrowingFlag;
  GroupRequest request = {heap, frameLimit, bytes};
  VMFrameGroup* group = (VMFrameGroup*)t->GetVM()->CollectThen(true, AddNextAgain, &request);
  b->stack = savedStack;
  if (!wasThrowing) b->flags &= ~(VMword)ThrowingFlag;
  return group;
}

VMByteCodeFrame* VMByteCodeFrame::NewFrameGroup(VMObject* synch, VMword* params, VMword* frameLimit,
                                                VMFrame* thrower, VMMethod* m, VMFrame* caller) {
  VMThread* t = caller->thread;
  HHeap* heap = t->GetVM()->GetHeap();
  unsigned long need = m->GetStackBytes() + m->GetLocalBytes() + 52;
  VMFrameGroup* group = VMFrameGroup::GetNext(frameLimit);
  if (group != NULL && (unsigned long)((uint8_t*)group->GetFrameLimit() - (uint8_t*)group->GetFrameStart()) <= need) {
    // Kept from deeper calls but too small for this frame: it and the groups after it
    // hold no frame (frames come and go in order), so they make way for one that fits.
    VMFrameGroup::GetGroup(frameLimit)->SetNext(NULL);
    group->Destroy(heap);
    group = NULL;
  }
  if (group == NULL) {
    unsigned long total = 0;
    for (VMFrameGroup* g = t->GetFrameGroup(); g != NULL; g = g->GetLink()) total += 4ul * g->GetActualSize();
    unsigned long limit = t->GetVM()->GetDefaultStackSize();
    if (limit < kMaxStackBytes) limit = kMaxStackBytes;
    if (total < limit) group = VMFrameGroup::AddNext(heap, frameLimit, need);
    if (group == NULL && total < limit) group = AddNextAfterCollection(heap, frameLimit, need, params, m, caller);
    if (group == NULL) {
      // Below the limit, a frame a group can hold found no memory even after a
      // collection: that is the heap's shortage, not the stack's.
      const bool overflow = total >= limit || !AGroupCanHold(need);
      ThrowInternalException(thrower, overflow ? VMStatus_StackOverflowError : VMStatus_OutOfMemoryError,
                             (const char*)NULL);
      return NULL;
    }
  }
  VMword* l = group->GetFrameStart();
  VMByteCodeFrame* f = (VMByteCodeFrame*)((uint8_t*)l + m->GetLocalBytes());
  if (!((uint8_t*)f->GetStackStart() + m->GetStackBytes() < (uint8_t*)group->GetFrameLimit())) {
    ThrowInternalException(thrower, VMStatus_StackOverflowError,
                           "size of java stack + locals is too large for the current page size");
    return NULL;
  }
  if (params != NULL) memcpy(l, params, m->GetParameterBytes());
  f->Init(synch, group->GetFrameLimit(), f->GetStackStart(), l, m, caller);
  return f;
}

VMByteCodeFrame* VMByteCodeFrame::CreateFirstFrame(JNIEnv*, VMThread* t) {
  VM* vm = t->GetVM();
  unsigned long size = vm->GetDefaultStackSize();
  VMFrameGroup* last = NULL;
  for (;;) {
    VMFrameGroup* g = VMFrameGroup::CreateInstance(vm->GetHeap(), last, &size);
    if (g == NULL) break;
    last = g;
    if (size == 0) break;
  }
  if (last == NULL) return NULL;
  VMByteCodeFrame* f = (VMByteCodeFrame*)last->GetFrameStart();
  memset((void*)f, 0, HeadWords * 4);
  f->tag = ByteCodeTag;
  f->flags = FirstFrameFlag | StackValidFlag;
  f->thread = t;
  f->stack = f->GetStackStart();
  f->limitOrHandler = last->GetFrameLimit();
  t->SetFrameGroup((VMFrameGroup*)last);
  return f;
}

VMObject* VMByteCodeFrame::MultiCreateArray(VMThread* t, VMArrayClass* arrayClass, VMword* dimensions,
                                            int count, jallocType kind) {
  int32_t n = (int32_t)dimensions[0];
  if (n < 0) return NULL;
  HHeap* heap = t->GetVM()->GetHeap();
  VMClass* element = arrayClass->GetElementClass();
  if (count <= 1) {
    VMObject* array = NULL;
    if (element != NULL && element->GetIsPrimitive()) {
      uint32_t bytes = 4;
      switch (((VMPrimitiveClass*)element)->GetType()) {
        case VMTypeBoolean: case VMTypeByte: bytes = 1; break;
        case VMTypeChar: case VMTypeShort: bytes = 2; break;
        case VMTypeLong: case VMTypeDouble: bytes = 8; break;
        default: bytes = 4; break;
      }
      array = VMArray::CreateInstance(heap, (uint32_t)n, bytes, kind, VMTag_VMUserArrayInstance);
      if (array != NULL) array->SetIsScalarArray();
    } else {
      array = VMObjectArray::CreateInstance(heap, (uint32_t)n, kind, VMTag_VMUserArrayInstance);
    }
    if (array != NULL) array->SetClass(arrayClass);
    return array;
  }
  VMObjectArray* outer = VMObjectArray::CreateInstance(heap, (uint32_t)n, kind, VMTag_VMUserArrayInstance);
  if (outer == NULL) return NULL;
  outer->SetClass(arrayClass);
  outer->SetIsReachableByCPlusPlusCode();
  if (element == NULL || !element->GetIsArray()) {
    outer->ClearIsReachableByCPlusPlusCode();
    return NULL;
  }
  for (int32_t i = 0; i < n; i++) {
    VMObject* sub = MultiCreateArray(t, (VMArrayClass*)element, dimensions + 1, count - 1, kind);
    if (sub == NULL) {
      outer->ClearIsReachableByCPlusPlusCode();
      return NULL;
    }
    sub->ClearIsReachableByCPlusPlusCode();
    outer->Set((uint32_t)i, sub);
  }
  outer->ClearIsReachableByCPlusPlusCode();
  return outer;
}
