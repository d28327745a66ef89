/* The garbage collector of one machine: mark and sweep of the machine's heap, stopping
   the machine's other threads by cooperation.

   Stopping. The collecting thread claims the machine (ThreadDoingGC, by compare and
   exchange) and asks every other attached thread to park at its next poll. A thread
   counts as stopped when it is parked (WaitingForGC), in a Java wait (SafeToGC), or in
   a safe region (a machine wait that touches no object); every other attached thread
   counts as running, and so does a thread being attached. The collector waits on the
   machine object's monitor, under which each thread parks and announces its park, so
   no wake-up is lost either way. A parked thread that really holds a host mutex or a
   machine monitor (interpreted monitors lock nothing and do not count) makes the
   collection give up, since a finalizer may need what it holds; so does the collecting
   thread itself when it still holds one after ten 300 ms steps.

   Marking, in an order that no heap walk order can change: every thread's frames, the
   machine object, then the blocks held by machine code and those being read back from
   a stored form; only then are finalizable objects chosen (every root is marked by
   then) and, after their own marking, reference objects collected and sorted. Marks
   live in the block headers and the walk's stack in their queue words. The walk of an
   interpreted frame only reads the blocks flow analysis built when its class was
   prepared.

   Usually the sweep is the only walk of the heap: the process counts the objects held
   by machine code or being read back (none, most of the time), and each machine heap
   lists its objects with a finalizer still to run as they are made. Only while some
   object is held, or when the list could not grow, does a roots walk find the held
   ones and the finalizer candidates (listed in process memory for the choice). No block
   is made in the machine's heap between the start of marking and the sweep (the
   others are stopped, and marking allocates nothing there), so the blocks the sweep
   walk meets are exactly those the marking saw.

   What dies is freed by the sweep walk as it goes; cleared references are handed to the
   class library's pending list while the others are still parked (the library changes
   that list under monitors that lock nothing, so only the stop keeps its threads off it);
   no Java runs, and no class is initialised, during a collection. The objects whose
   finalizers fell due join the machine's due list, which every later collection marks
   first, as roots, until the machine's finalizer thread takes them: the release wakes it
   (and the first collection that finds objects due starts it), so that finalizers run as
   an ordinary thread's Java once the parked threads are let go, never on the collecting
   thread. Without that thread (the host refused it) a pass runs them instead, on a thread
   of the machine's own that asked for the collection, or at the next poll of the
   interpreter of one of its threads for a collection inside an allocation or by a thread
   that is no thread of the machine's own. The due list is chained through
   the objects' queue words, which the marking walk uses as its stack: its objects are
   all marked before any is walked, so that no walk pushes one of them. */
#include <atomic>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

typedef VMCommonObjectBase::WalkResult WalkResult;
const WalkResult kDone = VMCommonObjectBase::WalkDone;
const WalkResult kDescend = VMCommonObjectBase::WalkDescend;

std::atomic<uint32_t> requests(0);

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

/* A phantom reference's referent is marked by a walk nested in the marking of the
   reference; past this depth of such nesting the referent is only flagged and walked
   by a later pass, so that no chain of phantom references can exhaust the stack. */
const uint32_t kMaxPhantomNesting = 32;

enum RefKind { kNoReference = 0, kSoft = 1, kWeak = 2, kPhantom = 3 };

struct Marker {
  VM* vm;
  bool phantom;         /* marking what only phantom references reach */
  bool softClearable;
  bool references;      /* reference objects are sorted in this collection */
  bool tolerant;        /* the final collection: blocks freed by Destroy may be named */
  VMLoadableClass* reference;
  VMLoadableClass* soft;
  VMLoadableClass* weak;
  VMLoadableClass* phantomClass;
  uint32_t referentIndex;
  uint32_t nesting;
  bool phantomDeferred; /* a referent was flagged but not walked */
  uint32_t flagged;     /* reference objects flagged */
  /* Objects with a finalizer of their own, listed by the roots walk so that choosing
     the finalizable ones needs no second walk of the heap; the list lives in process
     memory, and when it cannot grow (overflowed) the heap is walked after all. */
  bool listCandidates;
  bool overflowed;
  VMObject** candidates;
  uint32_t count;
  uint32_t room;
  /* The marking walk's stack, and the reference words of the classes met. */
  VMObject** stack;
  enum { kLayouts = 64 };
  struct Layout {
    VMClass* cls;
    VMword mask;
    bool fast;
  } layouts[kLayouts];
};

/* A word the collector follows must name the head of a live block. A freed one (its tag
   poisoned or DE AD BE EF) means some reference was missed: that is reported at once,
   and in collection stress it ends the process here, where it can be seen. */
inline bool IsObjectHead(VMObject* o, Marker* m) {
  if (!VMUtils::ValidateTag(o->GetTag())) {
    if (m == NULL || !m->tolerant) {
      Host()->FatalExit(VMStatus_InternalError, "collector: a reference names a freed block");
      if (VMObjectBase::GetCollectionStress() != 0) __builtin_trap();
    }
    return false;
  }
  // The thread's frame-list block is a plain block: nothing to mark or walk.
  return o->GetIsRootObject();
}

uint32_t RefKindOf(VMLoadableClass* cls, Marker* m) {
  uint32_t note = cls->GetReferenceKindNote();
  if (note != 0) return note - 1;
  uint32_t kind = kNoReference;
  for (VMLoadableClass* c = cls; c != NULL; c = c->GetSuper()) {
    if (c == m->soft) kind = kSoft;
    else if (c == m->weak) kind = kWeak;
    else if (c == m->phantomClass) kind = kPhantom;
    if (kind != kNoReference || c == m->reference) break;
  }
  cls->SetReferenceKindNote(kind + 1);
  return kind;
}

WalkResult Mark(VMword* slot, void* context);
void MarkGraph(VMObject* start, Marker* m);

/* A phantom reference's referent, marked phantom-reachable with what it reaches. */
void MarkPhantomReferent(VMObject* referent, Marker* m) {
  bool mode = m->phantom;
  m->phantom = true;
  VMword word = (VMword)referent;
  if (m->nesting < kMaxPhantomNesting) {
    m->nesting++;
    if (Mark(&word, m) == kDescend) MarkGraph(referent, m);
    m->nesting--;
  } else if (Mark(&word, m) == kDescend) {
    m->phantomDeferred = true;
  }
  m->phantom = mode;
}

/* A newly marked object that may be a reference object whose referent this collection
   sorts out. */
__attribute__((noinline)) void NoteReference(VMObject* o, Marker* m) {
  VMClass* c = o->GetClass();
  if (c == NULL || !c->GetIsLoadable()) return;
  uint32_t kind = RefKindOf((VMLoadableClass*)c, m);
  // Soft references the collection may not clear are ordinary objects.
  if (kind == kSoft && !m->softClearable) kind = kNoReference;
  if (kind == kNoReference) return;
  VMObject* referent = (VMObject*)o->GetWord(m->referentIndex);
  if (referent == NULL) return;
  m->flagged++;
  if (kind == kPhantom) {
    o->SetIsPhantomReference();
    MarkPhantomReferent(referent, m);
  } else {
    o->SetIsReference();
  }
}

/* The marking test of one object: true when it was marked now and what it names is
   still to be marked. */
inline __attribute__((always_inline)) bool MarkObject(VMObject* o, Marker* m) {
  if (!IsObjectHead(o, m)) return false;
  if (o->GetIsReachable() || o->GetIsNameSpaceData()) return false;
  if (m->phantom) {
    if (o->GetIsPhantomReachable()) return false;
    o->SetIsPhantomReachable();
  } else {
    // Also promotes what phantom references reached first.
    o->SetIsReachable();
  }
  if (m->references && o->GetHasClass() && !o->GetIsRefArray() && !o->GetIsScalarArray()) NoteReference(o, m);
  return true;
}

/* The marking callback. */
WalkResult Mark(VMword* slot, void* context) {
  VMObject* o = (VMObject*)*slot;
  return o != NULL && MarkObject(o, (Marker*)context) ? kDescend : kDone;
}

/* The callback for the objects that the marking walk leaves to their own walk: what it
   marks goes on the stack of the innermost marking walk. */
WalkResult MarkOntoStack(VMword* slot, void* context) {
  Marker* m = (Marker*)context;
  VMObject* o = (VMObject*)*slot;
  if (o != NULL && MarkObject(o, m)) {
    o->SetQueue(*m->stack);
    *m->stack = o;
  }
  return kDone;
}

/* The reference words of the instances of a class as a mask of body words 0-31, noted
   on first use in a collection; false for a class whose instances are walked their own
   way (more than 32 words, or not laid out). Nothing changes a class's layout while
   the others are stopped. */
bool InstanceMask(VMClass* c, Marker* m, VMword* mask) {
  uint32_t slot = ((VMword)c >> 3) & (Marker::kLayouts - 1);
  Marker::Layout& l = m->layouts[slot];
  if (l.cls == c) {
    *mask = l.mask;
    return l.fast;
  }
  bool fast = true;
  VMword bits = 0;
  if (c != NULL && !c->GetIsArray() && !c->GetIsPrimitive()) {
    VMLoadableClass* cls = (VMLoadableClass*)c;
    VMboolArray* create = cls->GetCreateBits();
    uint32_t size = cls->GetCreateSize();
    if (create == NULL || size > 32) {
      fast = false;
    } else if (size != 0 && create->GetSize() != 0) {
      bits = create->GetWord(0);
      if (size < 32) bits &= ((VMword)1 << size) - 1;
    }
  }
  l.cls = c;
  l.mask = bits;
  l.fast = fast;
  *mask = bits;
  return fast;
}

inline void Push(VMObject* o, VMObject** top) {
  o->SetQueue(*top);
  *top = o;
}

/* Elements first..end-1 of a reference array, a run of adjacent words at a time, each
   element's header asked for a few elements ahead. */
void MarkElements(VMObject* a, uint32_t first, uint32_t end, Marker* m, VMObject** top) {
  const uint32_t inBlock = VMObjectBase::FIRST_PART;
  const uint32_t piece = VMObjectBase::NESTING_SIZE;
  const uint32_t ahead = 8;
  for (uint32_t w = first; w < end;) {
    VMword* p = a->GetElementAddress(w);
    uint32_t run = w < inBlock ? inBlock - w : piece - ((w - inBlock) & (piece - 1));
    if (run > end - w) run = end - w;
    for (uint32_t k = 0; k < run; k++) {
      if (k + ahead < run && p[k + ahead] != 0) __builtin_prefetch((const void*)p[k + ahead]);
      VMObject* o = (VMObject*)p[k];
      if (o != NULL && MarkObject(o, m)) Push(o, top);
    }
    w += run;
  }
}

/* The marking walk: the walk of VMObject::WalkReferences with the marking callback
   (depth first, its stack threaded through the queue words of the objects on it, the
   same words visited), with the two kinds of object that make up nearly every heap read
   here: instances of small laid-out classes, through the reference words of their class
   noted once per collection, and arrays of references. Every other object is visited by
   its own walk. */
void MarkGraph(VMObject* start, Marker* m) {
  VMObject* top = start;
  start->SetQueue(NULL);
  VMObject** outer = m->stack;
  m->stack = &top;
  const uint16_t shape = VMFLAG_KIND | VMFLAG_REF_ARRAY | VMFLAG_SCALAR_ARRAY | VMFLAG_DESERIALIZING;
  while (top != NULL) {
    VMObject* o = top;
    top = o->GetQueue();
    o->SetQueue(NULL);
    uint16_t flags = o->GetFlags();
    VMword mask;
    if ((flags & (shape | VMFLAG_REFERENCE_KIND)) == VMFLAG_KIND_CLASS &&
        InstanceMask((VMClass*)o->GetKindWord(), m, &mask)) {
      VMword* body = o->GetFirstElementPointer();
      while (mask != 0) {
        VMObject* t = (VMObject*)body[__builtin_ctz(mask)];
        mask &= mask - 1;
        if (t != NULL && MarkObject(t, m)) Push(t, &top);
      }
    } else if ((flags & (VMFLAG_REF_ARRAY | VMFLAG_SCALAR_ARRAY | VMFLAG_DESERIALIZING)) == VMFLAG_REF_ARRAY) {
      MarkElements(o, 2, o->GetWord(0) + 2, m, &top);
    } else if (o->VisitReferences(MarkOntoStack, m) != VMCommonObjectBase::WalkDone) {
      // A walk of its own that gave up ends the marking walk, as it ends any walk.
      while (top != NULL) {
        VMObject* rest = top;
        top = rest->GetQueue();
        rest->SetQueue(NULL);
      }
    }
  }
  m->stack = outer;
}

/* The due list's objects and what they reach, before anything else is marked: each is
   marked before any is walked, so that no walk takes one of them onto its stack (the
   queue word is its link in the list), and its link is put back after its own walk. */
void MarkFinalizersDue(VMObject* head, Marker* m) {
  for (VMObject* o = head; o != NULL; o = o->GetQueue()) o->SetIsReachable();
  for (VMObject* o = head; o != NULL;) {
    VMObject* next = o->GetQueue();
    MarkGraph(o, m);
    o->SetQueue(next);
    o = next;
  }
}

/* Marks what a slot names and everything that reaches. */
void MarkFrom(VMword* slot, Marker* m) {
  if (Mark(slot, m) == kDescend) MarkGraph((VMObject*)*slot, m);
}

bool MarkFrameSlot(VMword* slot, void* context) {
  MarkFrom(slot, (Marker*)context);
  return true;
}

WalkResult MarkFinalizerReachable(VMword* slot, void* context) {
  VMObject* o = (VMObject*)*slot;
  if (o == NULL || !IsObjectHead(o, (Marker*)context)) return kDone;
  if (o->GetIsReachable() || o->GetIsFinalizerReachable() || o->GetIsNameSpaceData()) return kDone;
  o->SetIsFinalizerReachable();
  return kDescend;
}

inline bool HasFinalizerToRun(VMObject* b) { return VM::HasFinalizerToRun(b); }

void ListCandidate(Marker* m, VMObject* b) {
  if (m->count == m->room) {
    uint32_t room = m->room != 0 ? m->room * 2 : 256;
    VMObject** grown =
        room < (1u << 28) ? (VMObject**)Host()->HeapAlloc(NULL, room * sizeof(VMObject*), jallocFailFast) : NULL;
    if (grown == NULL) {
      m->overflowed = true;
      return;
    }
    for (uint32_t i = 0; i < m->count; i++) grown[i] = m->candidates[i];
    if (m->candidates != NULL) Host()->HeapFree(NULL, m->candidates);
    m->candidates = grown;
    m->room = room;
  }
  m->candidates[m->count++] = b;
}

/* Heap walk 1: the blocks that exist now are this collection's (later ones are left
   alone); objects being read back are kept without being walked; objects held by
   machine code are roots. */
jboolean HOSTCALL RootsBlock(void* block, void* context) {
  Marker* m = (Marker*)context;
  VMObject* b = (VMObject*)block;
  if (!VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject()) return 1;
  VM_ASSERT(!b->GetIsNameSpaceData());
  b->SetIsPreGCAllocation();
  if (m->listCandidates && !m->overflowed && HasFinalizerToRun(b)) ListCandidate(m, b);
  if (b->GetIsDeserializing()) {
    b->SetIsReachable();
  } else if (b->GetIsReachableByCPlusPlusCode()) {
    VMword word = (VMword)b;
    MarkFrom(&word, m);
  }
  return 1;
}

/* A later pass for phantom referents whose walk nesting put off. */
jboolean HOSTCALL PhantomBlock(void* block, void* context) {
  Marker* m = (Marker*)context;
  VMObject* b = (VMObject*)block;
  if (!VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject() || !b->GetIsPhantomReachable()) return 1;
  m->phantom = true;
  MarkGraph(b, m);
  m->phantom = false;
  return 1;
}

/* Once every root is marked (over the listed candidates, or heap walk 2 when the
   list overflowed): an object no root reaches that has a finalizer of its own survives
   with all it reaches, for its finalizer. */
jboolean HOSTCALL FinalizableBlock(void* block, void* context) {
  VMObject* b = (VMObject*)block;
  if (!VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject()) return 1;
  if (b->GetIsReachable() || b->GetIsPhantomReachable() || !HasFinalizerToRun(b)) return 1;
  b->SetIsFinalizable();
  if (!b->GetIsFinalizerReachable()) {
    b->SetIsFinalizerReachable();
    (void)b->WalkReferences(MarkFinalizerReachable, context);
  }
  return 1;
}

void FinalizableListed(VMObject* o, void* context) { (void)FinalizableBlock(o, context); }

/* Heap walk 3, after all marking: the flagged reference objects, chained through their
   queue words (no walk uses them any more). */
jboolean HOSTCALL ChainReferenceBlock(void* block, void* context) {
  VM* vm = (VM*)context;
  VMObject* b = (VMObject*)block;
  if (!VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject()) return 1;
  if (!b->GetIsReference() && !b->GetIsPhantomReference()) return 1;
  b->SetQueue(vm->GetRefObjectsToHandle());
  vm->SetRefObjectsToHandle(b);
  return 1;
}

/* The sweep's context: the machine, its heap and the host's free, read once, so that the
   walk's callback reaches nothing global for the blocks that survive. */
struct Sweeper {
  VM* vm;
  HHeap* heap;
  void(HOSTCALL* heapFree)(HHeap*, void*);
};

/* The last heap walk: what no mark reached dies and is freed on the spot (the host
   defers the reuse of what is freed during a walk, and a destruction reads nothing but
   its own object and monitor); finalizable objects go on a chain for their finalizers;
   every survivor is unmarked for the next collection. */
jboolean HOSTCALL SweepBlock(void* block, void* context) {
  const Sweeper* s = (const Sweeper*)context;
  VMObject* b = (VMObject*)block;
  if (!VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject()) return 1;
  bool dead = b->GetIsUnreachable();
  if (dead && (VM*)b != s->vm) {
    if (b->GetMonitor() == NULL && b->GetNumberOfElements() <= VMObjectBase::FIRST_PART) {
      // Most of what dies is a small object that never had a monitor: its one block
      // goes back as Destroy would give it, without the calls around it.
      b->SetTag(VM_DESTROYED_TAG);
      s->heapFree(s->heap, b);
    } else {
      b->Destroy(s->heap);
    }
    return 1;
  }
  bool push = !dead && b->GetIsFinalizable();
  if (dead) b->ClearIsFinalizable();
  b->SetIsUnreachable();
  b->ClearIsReference();
  b->ClearIsPreGCAllocation();
  if (push) {
    b->SetQueue(s->vm->GetObjectsToDestroy());
    s->vm->SetObjectsToDestroy(b);
  }
  return 1;
}

jboolean HOSTCALL ClearBlock(void* block, void*) {
  VMObject* b = (VMObject*)block;
  if (!VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject()) return 1;
  b->SetIsUnreachable();
  b->ClearIsReference();
  b->ClearIsFinalizable();
  b->ClearIsPreGCAllocation();
  return 1;
}

/* The static data of a class in this machine when the class is initialised there;
   the collector never initialises one. */
VMObject* InitializedData(VM* vm, VMLoadableClass* cls) {
  return cls != NULL ? cls->GetInitializedStaticData(vm) : NULL;
}

void SetUpReferences(VM* vm, Marker* m) {
  m->references = false;
  VMNameSpace* ns = vm->GetNameSpace();
  if (ns == NULL || ns->GetLibraryVersion() < 2 || !ns->GetReferenceHandlingReady()) return;
  VMClassList* list = ns->GetClassList();
  if (list == NULL) return;
  m->reference = list->GetReferenceClass();
  m->soft = list->GetSoftReferenceClass();
  m->weak = list->GetWeakReferenceClass();
  m->phantomClass = list->GetPhantomReferenceClass();
  m->referentIndex = list->GetReferenceReferentIndex();
  // Until this machine has both classes initialised (and so no reference object can
  // exist yet), referents are ordinary fields.
  if (m->reference == NULL || m->soft == NULL || m->weak == NULL || m->phantomClass == NULL ||
      InitializedData(vm, m->reference) == NULL || InitializedData(vm, list->GetReferenceQueueClass()) == NULL)
    return;
  m->references = true;
}

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* Entry, claim and the stopping of the other threads                                    */

uint32_t VM::GetGarbageCollectRequests() { return requests.load(); }

bool VM::ClaimCollection(void* me) {
  VMword expected = 0;
  if (!__atomic_compare_exchange_n(&Body()[ThreadDoingGCWord], &expected, (VMword)me, false, __ATOMIC_SEQ_CST,
                                   __ATOMIC_SEQ_CST))
    return false;
  __atomic_fetch_add(&Body()[ClaimsWord], 1u, __ATOMIC_SEQ_CST);
  return true;
}

void VM::GarbageCollect(bool softReferencesClearable, bool awaitFinalizers) {
  VMThread* self;
  JavaVM* record = GetJVM();
  (void)CollectAndRelease(softReferencesClearable, NULL, NULL, NULL, 300, &self);
  // The finalizer thread runs what fell due; a request of one of the machine's own
  // threads waits for it (declared), as a request always waited for its finalizers.
  if (record != NULL && record->vm != NULL && record->vm->HandFinalizersOver()) {
    if (self != NULL && awaitFinalizers) (void)AwaitFinalizers(record, self->GetEnv());
    return;
  }
  const bool due = GetFinalizersDue() != NULL;
  // A pass running on another thread may have taken what this collection found due.
  if (!due && GetScalar(FinalizerPassWord) == 0) return;
  // Nothing was kept across the collection: Java may run here. A thread that is not one
  // of the machine's own leaves them to the machine's threads, at their next polls.
  if (self != NULL)
    RunFinalizersDue(self->GetEnv(), true);
  else if (due)
    RequestFinalizerPasses();
}

void* VM::CollectThen(bool softReferencesClearable, void* (*then)(void*), void* context, bool* collected,
                      jlong rescanMs, void (*before)(void*)) {
  VMThread* own;
  JavaVM* record = GetJVM();
  void* result = CollectAndRelease(softReferencesClearable, then, context, collected, rescanMs, &own, before);
  // Read through its record: the host may move the machine once the others go on.
  VM* vm = record != NULL && record->vm != NULL ? record->vm : this;
  // Whoever collected: the caller may hold pointers into the heap that a finalizer's Java
  // would let the host move, so without the finalizer thread the pass waits for the next
  // poll of the machine's threads.
  if (!vm->HandFinalizersOver()) {
    if (vm->GetFinalizersDue() != NULL) vm->RequestFinalizerPasses();
  } else if (own != NULL && !own->GetFinalizerThread() && vm->FinalizersBacklogged()) {
    // A thread that makes finalizable garbage faster than the finalizer thread runs it
    // lets it catch up at its next poll (where it may wait declared), so that what the
    // finalizers release (descriptors, streams) does not pile up behind the collections.
    own->SetRunFinalizersRequested();
  }
  return result;
}

void VM::RequestFinalizerPasses() {
  LockThreads("namespace spinlock - Get  VM::RequestFinalizerPasses");
  if (VMThreadHandleArray* threads = GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* t = threads->Get(i);
      if (t != NULL && t->GetEnv() != NULL && !t->GetAttachedForClientCall()) t->SetRunFinalizersRequested();
    }
  }
  UnlockThreads("namespace spinlock - Release  VM::RequestFinalizerPasses");
}

void* VM::CollectAndRelease(bool softReferencesClearable, void* (*then)(void*), void* context, bool* collected,
                            jlong rescanMs, VMThread** own, void (*before)(void*)) {
  requests.fetch_add(1);
  JNIHostFunctions* host = Host();
  void* me = host->CurrentThreadId();
  *own = NULL;
  if (collected != NULL) *collected = false;
  // An allocation failure inside the collection does not nest.
  if (GetThreadDoingGC() == me) return then != NULL ? then(context) : NULL;
  VMThread* self = VMThread::Current();
  if (self != NULL && (self->GetVM() != this || self->GetEnv() == NULL)) self = NULL;
  // Another thread collects: this one stops for it like any other, then collects
  // itself; a collection it only waited for would be of no use to it, since the others
  // woken by its end may fill the heap again before this thread is scheduled.
  while (!ClaimCollection(me)) {
    if (self != NULL)
      (void)ThreadWaitForGC(self);
    else
      host->Sleep(1);
  }
  JNIEnv* env = NULL;
  if (StopOtherThreads(self, &env, rescanMs)) {
    // The records of threads that have ended go now, stacks and all: no thread can read
    // one (each left it with its env), and none can attach while the claim is held. A
    // debugger keeps its own handles to records, so with one they stay to the end.
    if (GetDebugger() == NULL) DropDetachedThreads(me);
    if (before != NULL) before(context);
    uint32_t made = GetCollections();
    Collect(self, env, softReferencesClearable);
    // A frame whose references cannot be told abandons the collection inside.
    if (collected != NULL) *collected = GetCollections() != made;
  }
  // A thread attached for a call of its own (a debugger client's, a step of a loader's
  // drop) runs no Java, finalizers included: it leaves them as a thread of no machine does.
  const bool runsJava = self != NULL && !self->GetAttachedForClientCall();
  // What the collection was for is had while the others still wait.
  void* result = then != NULL ? then(context) : NULL;
  ReleaseThreadsWaitingForGC();
  if (runsJava) *own = self;
  return result;
}

bool VM::StopOtherThreads(VMThread* self, JNIEnv** env, jlong rescanMs, uint32_t giveUpAfter, uint32_t* runner) {
  JNIHostFunctions* host = Host();
  if (runner != NULL) *runner = 0;
  VMMonitor* monitor = GetNameSpace() != NULL ? VMMonitor::GetMonitorFor(GetNameSpace(), this) : NULL;
  if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) return false;
  bool stopped = false;
  for (uint32_t step = 0;; step++) {
    bool running = false;
    bool abandon = false;
    uint32_t first = 0;
    LockThreads("namespace spinlock - Get  VM::GarbageCollect");
    if (GetScalar(AttachingWord) != 0) running = true;
    VMThreadHandleArray* threads = GetThreads();
    for (uint32_t i = 1; threads != NULL && i < threads->GetCount(); i++) {
      VMThread* t = threads->Get(i);
      if (t == NULL || t->GetEnv() == NULL) continue;
      if (t == self) {
        // The machine's monitor, held for this scan, is not one of the holds meant.
        if (t->GetHostMutexCount() > 1 && step > 9) abandon = true;
        *env = t->GetEnv();
        continue;
      }
      if (!t->GetWaitingForGC()) {
        // Asked before its state is read: a thread that leaves a Java wait or a safe
        // region after this read finds the request (or the claim) and parks.
        t->SetWaitForGCRequested();
      }
      VMword flags = t->GetFlags();
      if (flags & VMThread::WaitingForGCFlag) {
        if (t->GetHostMutexCount() > 0) abandon = true;
      } else if (!(flags & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag))) {
        // A thread inside an interpreted monitorenter runs on to its next poll too.
        running = true;
        if (first == 0) first = i;
      }
    }
    UnlockThreads("namespace spinlock - Release  VM::GarbageCollect");
    if (runner != NULL) *runner = first;
    if (!running && !abandon) {
      stopped = true;
      break;
    }
    if (abandon || (giveUpAfter != 0 && step + 1 >= giveUpAfter)) break;
    // Parking threads announce themselves on this monitor; a time-out rescans anyway
    // (and asks again) for threads that run where no notification comes from.
    if (self != NULL) {
      (void)monitor->DoUninterruptibleWait(rescanMs, self);
    } else {
      monitor->DoMonitorExit();
      host->Sleep(1);
      if (monitor->DoMonitorEnter() != VMStatus_OK) return false;
    }
  }
  monitor->DoMonitorExit();
  return stopped;
}

VMStatus VM::ThreadWaitForGC(VMThread* thread) {
  void* me = thread->GetId();
  void* doing = GetThreadDoingGC();
  if (doing == NULL || doing == me) return VMStatus_OK;
  VMMonitor* monitor = VMMonitor::GetMonitorFor(GetNameSpace(), this);
  if (monitor == NULL) return VMStatus_OutOfMemoryError;
  VMStatus status = monitor->DoMonitorEnter();
  if (status != VMStatus_OK) return status;
  VMword announced = 0;
  while ((doing = GetThreadDoingGC()) != NULL && doing != me) {
    thread->SetWaitingForGC();
    // The claim count is read after the claim is seen: a claim not yet counted is
    // announced to once more, never once less.
    VMword claim = __atomic_load_n(&Body()[ClaimsWord], __ATOMIC_SEQ_CST);
    // The collector waits on this monitor for the others to park. A parker woken
    // without a new collection waits on silently, or the parkers would wake each other
    // for ever; one woken into the next collection (the release cleared its flag, and
    // that collector may be waiting already) announces itself to it.
    if (announced != claim) {
      monitor->DoNotifyAll();
      announced = claim;
    }
    // Not a Java wait: an interrupt meant for Java code must still be there when the
    // thread runs Java again, and the collection must end before it does.
    status = monitor->DoUninterruptibleWait(0, thread);
    if (status != VMStatus_OK) break;
  }
  // Unparked whatever happened: a failed wait must not leave the collector taking a
  // running thread for a stopped one.
  thread->ClearWaitingForGC();
  monitor->DoMonitorExit();
  return status;
}

void VM::EnterSafeRegion(VMThread* thread) {
  if (thread != NULL) thread->SetInSafeRegion();
}

void VM::LeaveSafeRegion(VMThread* thread) {
  if (thread == NULL) return;
  thread->ClearInSafeRegion();
  // The claim is made before the collector reads the flag: either it saw the thread
  // leave, or this sees its claim.
  VM* vm = thread->GetVM();
  void* doing = vm != NULL ? vm->GetThreadDoingGC() : NULL;
  if (doing != NULL && doing != thread->GetId()) (void)vm->ThreadWaitForGC(thread);
}

void VM::ReleaseThreadsWaitingForGC() {
  // Without a monitor no thread can have parked; the word is cleared all the same.
  VMMonitor* monitor = GetNameSpace() != NULL ? VMMonitor::GetMonitorFor(GetNameSpace(), this) : NULL;
  bool held = monitor != NULL && monitor->DoMonitorEnter() == VMStatus_OK;
  SetThreadDoingGC(NULL);
  LockThreads("namespace spinlock - Get  VM::ReleaseThreadsWaitingForGC");
  if (VMThreadHandleArray* threads = GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount(); i++) {
      VMThread* thread = threads->Get(i);
      if (thread == NULL || thread->GetEnv() == NULL) continue;
      thread->ClearWaitingForGC();
      thread->ClearYieldToWaitForGC();
    }
  }
  UnlockThreads("namespace spinlock - Release  VM::ReleaseThreadsWaitingForGC");
  if (held) {
    monitor->DoNotifyAll();
    monitor->DoMonitorExit();
  }
}

/* ------------------------------------------------------------------------------------ */
/* The collection                                                                         */

void VM::ClearMarks() { Host()->HeapWalk(GetHeap(), ClearBlock, NULL); }

void VM::Collect(VMThread* self, JNIEnv* env, bool softReferencesClearable) {
  (void)self;
  JNIHostFunctions* host = Host();
  HHeap* heap = GetHeap();
  Marker m = {};
  m.vm = this;
  m.softClearable = softReferencesClearable;
  m.listCandidates = true;
  SetUpReferences(this, &m);
  // No thread can be inside UnHandle now: the global slot arrays growth retired go (they
  // would otherwise keep the objects of deleted globals alive, too).
  if (VMObjectHandleArray* globals = GetJNIHandleArray()) globals->FreeRetired();
  if (VMObject* due = GetFinalizersDue()) MarkFinalizersDue(due, &m);

  // Every thread's frames, detached ones included. The thread array cannot change now:
  // a thread attaching during a collection waits for its end before it is added.
  VMThreadHandleArray* threads = GetThreads();
  for (uint32_t i = 1; threads != NULL && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    VMFrame* frame = t != NULL ? t->GetFrame() : NULL;
    if (frame == NULL) continue;
    if (frame->WalkReferences(MarkFrameSlot, &m) != 0) {
      // A frame whose references cannot be told: nothing may be freed.
      ClearMarks();
      return;
    }
  }
  // With no object of any heap held by machine code or being read back, and every
  // finalizer candidate of this heap listed, no heap walk is needed before the sweep.
  bool listed = FinalizablesListed() && VMObjectBase::GetHeldFlags() == 0;
  if (listed) {
    MarkMachineObject(&m);
  } else {
    MarkRoots(&m);
  }
  while (m.phantomDeferred) {
    m.phantomDeferred = false;
    host->HeapWalk(heap, PhantomBlock, &m);
  }
  if (listed) {
    ForEachFinalizable(FinalizableListed, &m);
  } else if (m.overflowed) {
    host->HeapWalk(heap, FinalizableBlock, &m);
  } else {
    for (uint32_t i = 0; i < m.count; i++) (void)FinalizableBlock(m.candidates[i], &m);
  }
  if (m.candidates != NULL) host->HeapFree(NULL, m.candidates);
  KeepSurvivingFinalizables();
  if (m.references && m.flagged != 0) {
    host->HeapWalk(heap, ChainReferenceBlock, this);
    NullReferents();
  }
  Sweep();
  QueueFinalizersDue();
  VMObjectBase::NoteCollection(host->HeapBytesInUse(heap));
  SetScalar(CollectionsWord, GetScalar(CollectionsWord) + 1);
  host->HeapCollected(heap);
  if (m.references) HandleRefObjects(env);
}

void VM::MarkMachineObject(void* marker) {
  // It is a block of its own heap.
  SetIsReachable();
  MarkGraph(this, (Marker*)marker);
}

void VM::MarkRoots(void* marker) {
  MarkMachineObject(marker);
  Host()->HeapWalk(GetHeap(), RootsBlock, marker);
}

void VM::Sweep() {
  Sweeper s = {this, GetHeap(), Host()->HeapFree};
  Host()->HeapWalk(s.heap, SweepBlock, &s);
}

void VM::CollectWithoutThreads() {
  Marker m = {};
  m.vm = this;
  m.softClearable = true;
  m.tolerant = true;
  // No pass comes any more: what the due list held is freed with the rest, unfinalized.
  for (VMObject* o = GetFinalizersDue(); o != NULL;) {
    VMObject* next = o->GetQueue();
    o->SetQueue(NULL);
    o = next;
  }
  SetFinalizersDue(NULL);
  MarkRoots(&m);
  while (m.phantomDeferred) {
    m.phantomDeferred = false;
    Host()->HeapWalk(GetHeap(), PhantomBlock, &m);
  }
  // No finalizer runs any more: the list goes before the sweep, which would otherwise
  // take each listed object that dies out of it one by one.
  CloseFinalizables(GetHeap());
  Sweep();
  // The machine object was marked like any other; it is not swept, but unmarked here.
  SetIsUnreachable();
}

void VM::NullReferents() {
  VMObject* kept = NULL;
  VMObject* last = NULL;
  VMNameSpace* ns = GetNameSpace();
  uint32_t referentIndex = ns->GetClassList()->GetReferenceReferentIndex();
  for (VMObject* r = GetRefObjectsToHandle(); r != NULL;) {
    VMObject* next = r->GetQueue();
    r->SetQueue(NULL);
    VM_ASSERT(r->GetIsReference() || r->GetIsPhantomReference());
    bool stays = false;
    VMObject* referent = (VMObject*)r->GetWord(referentIndex);
    if (!r->GetIsUnreachable() && referent != NULL) {
      if (r->GetIsPhantomReference()) {
        stays = referent->GetIsPhantomReachable();
      } else if (referent->GetIsUnreachable()) {
        r->SetWord(referentIndex, 0);
        stays = true;
      }
    }
    r->ClearIsReference();
    if (stays) {
      // The chain keeps its order.
      if (last == NULL) kept = r; else last->SetQueue(r);
      last = r;
    }
    r = next;
  }
  SetRefObjectsToHandle(kept);
}

void VM::QueueFinalizersDue() {
  VMObject* fresh = GetObjectsToDestroy();
  if (fresh == NULL) return;
  SetObjectsToDestroy(NULL);
  // The list keeps them from here; the sweep must not chain them again.
  uint32_t count = 0;
  for (VMObject* o = fresh; o != NULL; o = o->GetQueue()) {
    o->ClearIsFinalizable();
    count++;
  }
  __atomic_fetch_add(&Body()[FinalizersQueuedWord], count, __ATOMIC_SEQ_CST);
  VMObject* tail = GetFinalizersDue();
  if (tail == NULL) {
    SetFinalizersDue(fresh);
    return;
  }
  while (tail->GetQueue() != NULL) tail = tail->GetQueue();
  tail->SetQueue(fresh);
}

bool VM::AwaitFinalizerPass() {
  VMThread* self = VMThread::Current();
  if (self == NULL || self->GetVM() != this || self->GetEnv() == NULL || self->GetAttachedForClientCall() ||
      self->GetRunningFinalizers())
    return false;
  JNIHostFunctions* host = Host();
  const VMword me = (VMword)self->GetId();
  VMword begun = 0;
  jlong since = 0;
  bool waited = false;
  for (;;) {
    const VMword owner = __atomic_load_n(&Body()[FinalizerPassWord], __ATOMIC_ACQUIRE);
    if (owner == 0 || owner == me) return waited;
    const VMword now = __atomic_load_n(&Body()[FinalizersBegunWord], __ATOMIC_ACQUIRE);
    const jlong at = host->CurrentTimeMillis();
    if (since == 0 || now != begun) {
      begun = now;
      since = at;
    } else if (at - since >= kPassStallMillis || at < since) {
      return false;
    }
    waited = true;
    // Not declared: no move may come under the caller. A collection that the pass's
    // Java starts is served here as at a poll, without one.
    void* doing = GetThreadDoingGC();
    if (doing != NULL && doing != self->GetId())
      (void)ThreadWaitForGC(self);
    else
      host->Sleep(1);
  }
}

VMObject* VM::TakeFinalizerDue() {
  // Only threads running outside a poll take from the list, and a collection, which adds
  // to it, waits for each of them to stop: a taker can meet only another taker, and an
  // object once taken never comes back.
  VMword* word = &Body()[FinalizersDueWord];
  VMword head = __atomic_load_n(word, __ATOMIC_ACQUIRE);
  while (head != 0) {
    VMObject* o = (VMObject*)head;
    VMword next = (VMword)o->GetQueue();
    if (__atomic_compare_exchange_n(word, &head, next, false, __ATOMIC_SEQ_CST, __ATOMIC_ACQUIRE)) {
      o->SetQueue(NULL);
      return o;
    }
  }
  return NULL;
}

namespace {
bool Stopped(JNIHostFunctions* host, VMThread* thread) {
  return host->YieldCheck() != 0 || thread->GetYieldToPostException() || thread->GetException() != NULL;
}
bool IsThreadDeath(VMJavaLangThrowable* e) {
  for (VMLoadableClass* k = ((VMObject*)e)->GetLoadableClass(); k != NULL; k = k->GetSuper())
    if (k->GetName() != NULL && k->GetName()->EqualsAscii("java/lang/ThreadDeath")) return true;
  return false;
}
}  // namespace

void VM::RunFinalizersDue(JNIEnv* env, bool wait) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (thread == NULL || thread->GetRunningFinalizers() || thread->GetAttachedForClientCall()) return;
  VM* vm = env->javaVM->vm;
  if (vm == NULL || vm->GetThreadDoingGC() == thread->GetId()) return;
  // With the finalizer thread serving, a poll's request is a backlog to let it work off.
  if (vm->FinalizerThreadServes()) {
    if (!wait) (void)AwaitFinalizers(env->javaVM, env, kBacklogStallMillis);
    return;
  }
  // RunFinalize keeps a pending exception in a handle, which could collect before the
  // finalizer's frame holds the object taken: none is made here.
  if (thread->GetException() != NULL) return;
  JNIHostFunctions* host = Host();
  const VMword me = (VMword)thread->GetId();
  VMword begun = 0;
  jlong since = 0;
  // A pass running elsewhere may hold objects this caller's collection found due: a
  // request waits for its end even when nothing is left on the list.
  for (;;) {
    // A stopped thread would end each finalizer it began at its first poll.
    if (Stopped(host, env->thread)) return;
    VMword idle = 0;
    if (__atomic_compare_exchange_n(&vm->Body()[FinalizerPassWord], &idle, me, false, __ATOMIC_SEQ_CST,
                                    __ATOMIC_SEQ_CST))
      break;
    // The running pass asks for another at its end if any are left.
    if (!wait) return;
    const VMword now = __atomic_load_n(&vm->Body()[FinalizersBegunWord], __ATOMIC_ACQUIRE);
    const jlong at = host->CurrentTimeMillis();
    if (since == 0 || now != begun) {
      begun = now;
      since = at;
    } else if (at - since >= kPassStallMillis || at < since) {
      // That pass's finalizer waits, perhaps for this thread: the due objects stay for
      // the next pass.
      return;
    }
    VM::EnterSafeRegion(thread);
    host->Sleep(1);
    VM::LeaveSafeRegion(env->thread);
    thread = env->thread;
    vm = env->javaVM->vm;
  }
  // The objects due now, and no more: collections made by the finalizers add to the list
  // behind them, for the next pass (a pass that took every newcomer might never end).
  uint32_t count = 0;
  for (VMObject* o = vm->GetFinalizersDue(); o != NULL; o = o->GetQueue()) count++;
  if (count == 0) {
    __atomic_store_n(&vm->Body()[FinalizerPassWord], (VMword)0, __ATOMIC_SEQ_CST);
    return;
  }
  thread->SetRunningFinalizers();
  for (; count > 0; count--) {
    // The host may have moved the machine during the last finalizer.
    vm = env->javaVM->vm;
    // Stopped meanwhile (by the host, or a stop posted to it): the rest stay due, for a
    // pass of another thread.
    if (Stopped(host, env->thread)) break;
    VMObject* o = vm->TakeFinalizerDue();
    if (o == NULL) break;
    __atomic_fetch_add(&vm->Body()[FinalizersDoneWord], 1u, __ATOMIC_SEQ_CST);
    // The exit-time pass may have run it already.
    if (o->GetIsFinalized()) continue;
    o->SetIsFinalized();
    VMClass* c = o->GetClass();
    if (c == NULL || !c->GetIsLoadable()) continue;
    __atomic_fetch_add(&vm->Body()[FinalizersBegunWord], 1u, __ATOMIC_SEQ_CST);
    o->MonitorFini();
    // The object goes straight into the finalizer's frame: nothing collects before.
    VMJavaLangThrowable* thrown = ((VMLoadableClass*)c)->RunFinalize(env, o);
    // A stop that reached the thread inside the finalizer is the thread's, not the
    // finalizer's to drop: it stays pending and ends the pass (the rest stay due).
    if (thrown != NULL && IsThreadDeath(thrown)) {
      env->thread->SetException(thrown);
      break;
    }
  }
  env->thread->ClearRunningFinalizers();
  vm = env->javaVM->vm;
  __atomic_store_n(&vm->Body()[FinalizerPassWord], (VMword)0, __ATOMIC_SEQ_CST);
  if (vm->GetFinalizersDue() != NULL) vm->RequestFinalizerPasses();
}

/* Marks or unmarks the pending list from its head along the next fields, to its end
   (NULL, or a reference whose next names itself). */
static void MarkPendingList(VMObject* head, uint32_t nextIndex, bool mark) {
  for (VMObject* r = head; r != NULL;) {
    if (mark) {
      if (r->GetIsPreGCAllocation()) break;  // a cycle
      r->SetIsPreGCAllocation();
    } else {
      if (!r->GetIsPreGCAllocation()) break;
      r->ClearIsPreGCAllocation();
    }
    VMObject* next = (VMObject*)r->GetWord(nextIndex);
    if (next == r) break;
    r = next;
  }
}

void VM::HandleRefObjects(JNIEnv* env) {
  (void)env;
  VMObject* chain = GetRefObjectsToHandle();
  if (chain == NULL) return;
  VMNameSpace* ns = GetNameSpace();
  VMClassList* list = ns->GetClassList();
  VMObject* referenceData = InitializedData(this, list->GetReferenceClass());
  VMObject* queueData = InitializedData(this, list->GetReferenceQueueClass());
  uint32_t nextIndex = list->GetReferenceNextIndex();
  uint32_t queueIndex = list->GetReferenceQueueIndex();
  uint32_t pendingIndex = list->GetReferencePendingIndex();
  VMObject* nullQueue = queueData != NULL ? (VMObject*)queueData->GetWord(list->GetReferenceQueueNULLIndex()) : NULL;
  VMObject* pending = referenceData != NULL ? (VMObject*)referenceData->GetWord(pendingIndex) : NULL;
  // The list the library has not drained yet: its last reference's next is NULL as well,
  // and a phantom reference there (its referent is kept) comes back every collection;
  // pushed again it would cut the list. Its members are marked while this runs (the
  // pre-collection flag is free again since the sweep).
  uint32_t count = 0;
  VMObject* listed = pending;
  MarkPendingList(listed, nextIndex, true);
  for (VMObject* r = chain; r != NULL;) {
    VMObject* next = r->GetQueue();
    r->SetQueue(NULL);
    if (referenceData != NULL && queueData != NULL && r->GetWord(nextIndex) == 0 && !r->GetIsPreGCAllocation()) {
      if ((VMObject*)r->GetWord(queueIndex) == nullQueue) {
        // Without a queue it is done at once.
        r->SetWord(nextIndex, (VMword)r);
      } else {
        r->SetWord(nextIndex, (VMword)pending);
        pending = r;
        count++;
      }
    }
    r = next;
  }
  SetRefObjectsToHandle(NULL);
  MarkPendingList(listed, nextIndex, false);
  if (count == 0) return;
  referenceData->SetWord(pendingIndex, (VMword)pending);
  // The class library's reference handler waits on Reference.lock for the list.
  VMObject* lock = (VMObject*)referenceData->GetWord(list->GetReferenceLockIndex());
  if (lock != NULL && lock->MonitorEnter(ns) == VMStatus_OK) {
    (void)lock->Notify(ns);
    (void)lock->MonitorExit(ns);
  }
}

/* ------------------------------------------------------------------------------------ */
/* Relocation of the threads                                                             */

void VM::RelocateThreads(VMRelocateInfo* info) {
  // The finalizer thread's record waits outside the array until the thread takes it.
  if (VMThread* ready = (VMThread*)GetReference(FinalizerRecordWord)) ready->Relocate(info);
  VMThreadHandleArray* threads = GetThreads();
  for (uint32_t i = 1; threads != NULL && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    if (t != NULL) t->Relocate(info);
  }
}
