/* The class reflection info: the Field, Method and Constructor arrays of a class and
   the types of a method.

   Rooting: a builder makes its result array, holds it by a local reference at once, and
   stores each new member object in it before the next one is made; a member object is
   held by its own local reference while it is filled (its strings and type arrays are
   made after it). The local references a member needed are dropped again once it sits in
   the array, so that a class with thousands of members takes a few slots, not thousands.

   No class is loaded, prepared or initialised while a class's monitor is held here: the
   types are found first and published under the monitor afterwards, the public field
   view initialises its interfaces before it takes the class's monitor, and the public
   method view of an interface prepares its superinterfaces before. A thread
   that holds an interface's monitor in its initialiser and reflects on a class that
   implements it cannot meet this one in the other order. */
#include "vmjavalangreflectfield.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmclass_support.h"
#include "vmconstantpool.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmjni_support.h"
#include "vmliteral.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace classmodel;

namespace {

VMNameSpace* NsOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL; }
VM* VmOf(JNIEnv* env) { return env != NULL && env->thread != NULL ? env->thread->GetVM() : NULL; }

/* A status made pending unless the step that failed left its own exception. */
void RaiseUnlessPending(JNIEnv* env, VMStatus status) {
  if (env->thread->GetException() != NULL) return;
  if (status == 0 || status == VMStatus_AlreadyThrown) status = VMStatus_OutOfMemoryError;
  (void)VMJniThrowInternal(env, status, NULL);
}

/* The level of the thread's local references, and dropping back to it. */
uint32_t LocalLevel(JNIEnv* env) {
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  return locals != NULL ? locals->GetCount() : 0;
}
void DropLocals(JNIEnv* env, uint32_t level) {
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  if (locals != NULL && level != 0 && level < locals->GetCount()) locals->Clear(level);
}

/* A class's monitor for the length of a build: false with OutOfMemoryError when it
   cannot be had. Its holder may collect while it builds (every member object is an
   allocation), and a collection waits for every attached thread to stop: this thread
   blocks on the monitor in a safe region (the monitor record is had first, since making
   it allocates), else the two wait for each other for ever. */
bool Enter(JNIEnv* env, VMLoadableClass* cls) {
  VMMonitor* monitor = VMMonitor::GetMonitorFor(cls->GetNameSpace(), (VMObject*)cls);
  if (monitor != NULL) {
    VM::EnterSafeRegion(env->thread);
    VMStatus status = monitor->DoMonitorEnter();
    VM::LeaveSafeRegion(env->thread);
    if (status == 0) return true;
  }
  RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
  return false;
}
void Leave(VMLoadableClass* cls) { (void)((VMObject*)cls)->MonitorExit(cls->GetNameSpace()); }

/* What a walk has met so far, each once, in the order met: the classes it reached, or
   the methods whose name and descriptor hide a later one's. A wide hierarchy meets
   thousands and a narrow one a handful: the first few stand in the record itself and are
   found by a scan; past them the list moves to process memory that doubles as it fills,
   with an open hash of the positions beside it, so that one is looked up in constant
   time however many were met. Key tells which two are the same (Same) and spreads them
   (Hash). Plain data, given back by Release on every way out (no destructor: nothing here
   may hold what a jump over the frame would lose). Out of memory, Add answers "met" from
   then on, which ends the walk early, and failed stays set for the caller to report. */
template <class T, class Key>
struct Seen {
  enum { kInline = 64 };
  T* first[kInline];
  T** items;
  uint32_t count;
  uint32_t room;
  uint32_t* slots;  // position + 1 of an item, 0 for an empty slot; mask + 1 of them
  uint32_t mask;
  bool failed;

  void Init() {
    items = first;
    count = 0;
    room = kInline;
    slots = NULL;
    mask = 0;
    failed = false;
  }
  /* Empty again for a second pass, keeping the memory. */
  void Reset() {
    count = 0;
    if (slots != NULL) memset(slots, 0, (mask + 1) * sizeof *slots);
  }
  void Release() {
    JNIHostFunctions* host = VMUtils::GetHostFunctions();
    if (items != first) host->HeapFree(NULL, items);
    if (slots != NULL) host->HeapFree(NULL, slots);
    Init();
  }
  /* The slot of x, or of the empty slot where it would go. */
  uint32_t Slot(T* x) const {
    uint32_t i = Key::Hash(x) & mask;
    while (slots[i] != 0 && !Key::Same(items[slots[i] - 1], x)) i = (i + 1) & mask;
    return i;
  }
  bool Contains(T* x) const {
    if (slots != NULL) return slots[Slot(x)] != 0;
    for (uint32_t i = 0; i < count; i++)
      if (Key::Same(items[i], x)) return true;
    return false;
  }
  /* Room for one more item, and a hash at most half full; false when memory ran out. */
  bool Grow() {
    JNIHostFunctions* host = VMUtils::GetHostFunctions();
    if (count == room) {
      if (room > 0x3FFFFFFFu / sizeof *items) return false;
      T** grown = (T**)host->HeapAlloc(NULL, room * 2 * sizeof *items, jallocFailFast);
      if (grown == NULL) return false;
      memcpy(grown, items, count * sizeof *items);
      if (items != first) host->HeapFree(NULL, items);
      items = grown;
      room *= 2;
    }
    if (count < kInline || (slots != NULL && (count + 1) * 2 <= mask + 1)) return true;
    uint32_t size = slots != NULL ? (mask + 1) * 2 : kInline * 4;
    uint32_t* table = (uint32_t*)host->HeapAlloc(NULL, size * sizeof *table, jallocFailFast);
    if (table == NULL) return false;
    memset(table, 0, size * sizeof *table);
    if (slots != NULL) host->HeapFree(NULL, slots);
    slots = table;
    mask = size - 1;
    for (uint32_t k = 0; k < count; k++) slots[Slot(items[k])] = k + 1;
    return true;
  }
  /* True the first time x (or one the same as x) is offered. */
  bool Add(T* x) { return !failed && !Contains(x) && Put(x); }
  /* x, which the caller knows is not there yet, added; false when memory ran out. */
  bool Put(T* x) {
    if (slots == NULL && count < kInline && !failed) {
      items[count++] = x;
      return true;
    }
    if (failed) return false;
    if (!Grow()) {
      failed = true;
      return false;
    }
    items[count++] = x;
    if (slots != NULL) slots[Slot(x)] = count;
    return true;
  }
  /* Whether test holds for an item that hashes as x does (and maybe for others): in the
     hash, the run of filled slots from x's own holds every such item. */
  template <class Test>
  bool Any(T* x, Test test) const {
    return AnyAt(x, [this, &test](uint32_t at) { return test(items[at]); });
  }
  /* The same, test given the item's position in the order met. */
  template <class Test>
  bool AnyAt(T* x, Test test) const {
    if (slots == NULL) {
      for (uint32_t i = 0; i < count; i++)
        if (test(i)) return true;
      return false;
    }
    for (uint32_t i = Key::Hash(x) & mask; slots[i] != 0; i = (i + 1) & mask)
      if (test(slots[i] - 1)) return true;
    return false;
  }
  /* Where x stands in the order met; kAbsent when it was not met. */
  enum : uint32_t { kAbsent = 0xFFFFFFFFu };
  uint32_t PositionOf(T* x) const {
    if (slots != NULL) return slots[Slot(x)] != 0 ? slots[Slot(x)] - 1 : (uint32_t)kAbsent;
    for (uint32_t i = 0; i < count; i++)
      if (Key::Same(items[i], x)) return i;
    return kAbsent;
  }
};

inline uint32_t Spread(const void* p) { return (uint32_t)(((uintptr_t)p >> 3) * 2654435761u); }

/* A class is itself. */
struct ClassKey {
  static uint32_t Hash(VMLoadableClass* cls) { return Spread(cls); }
  static bool Same(VMLoadableClass* a, VMLoadableClass* b) { return a == b; }
};
typedef Seen<VMLoadableClass, ClassKey> Reached;

/* A method is itself, spread by its name and descriptor (both interned literals), so
   that Any finds the methods of one name and descriptor, whatever class declares them. */
struct MethodKey {
  static uint32_t Hash(VMMethod* m) {
    uint32_t h = Spread(m->GetName()) ^ (Spread(m->GetSignature()) * 31u);
    return h ^ (h >> 16);
  }
  static bool Same(VMMethod* a, VMMethod* b) { return a == b; }
};
typedef Seen<VMMethod, MethodKey> Methods;

/* The three result arrays, made in the env's machine for cls's name space and held by a
   local reference (stored in *ref when asked for); NULL with OutOfMemoryError. */
template <class T>
T* NewResult(JNIEnv* env, VMClass* cls, uint32_t count, VMword tag, jobject* ref = NULL) {
  VM* vm = VmOf(env);
  T* array = vm != NULL ? T::CreateInstance(vm->GetHeap(), count, cls, jallocCollectAndRetry, tag) : NULL;
  if (array == NULL) {
    RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  jobject local = VMJniHandle::NewLocal(env, (VMObject*)array);
  if (local == NULL) return NULL;
  if (ref != NULL) *ref = local;
  return array;
}

/* A class ready for the builders: prepared, so that its method table and field slots
   exist. NULL with the exception pending. */
VMLoadableClass* Prepared(JNIEnv* env, VMClass* cls) {
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  return vmjni::EnsurePrepared(env, loadable) ? loadable : NULL;
}

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* Methods                                                                               */

namespace {

/* Both passes of a method list: counting (no result) and filling. */
struct MethodList {
  JNIEnv* env;
  VMLoadableClass* cls;  // the class listed, whose monitor the walk holds
  VMJavaLangReflectMethodArray* result;
  jobject resultRef;  // the local reference that holds result
  jobject anchor;     // the local reference of an object naming cls, once the walk polls
  VMLiteral* init;    // the names never listed
  VMLiteral* clinit;
  uint32_t count;
  uint32_t steps;  // methods looked at since the last poll
  bool failed;
  bool held;  // cls's monitor
  Reached reached;
  /* The methods met so far, found by name and descriptor: the statics of the classes
     listed before (a subclass's hide its superclasses'), or the public methods of every
     interface reached (one hides another's only from an interface that extends it). */
  Methods met;
};

/* Methods a walk looks at between two polls. */
const uint32_t kPollEvery = 256;

/* Parked at a poll, the walk holds the class only by pointers that a host's destroy of
   its loader cannot see (the loader goes when nothing of the machine names its classes,
   the threads' local references apart): an array naming the class, held by a local
   reference, keeps the loader until the list is done. False with OutOfMemoryError. */
bool Anchor(MethodList* list) {
  if (list->anchor != NULL) return true;
  VM* vm = VmOf(list->env);
  VMClassArray* anchor =
      vm != NULL ? VMClassArray::CreateInstance(vm->GetHeap(), 1, list->cls, jallocCollectAndRetry, VMTag_VMClassArray)
                 : NULL;
  if (anchor == NULL) {
    RaiseUnlessPending(list->env, VMStatus_OutOfMemoryError);
    return false;
  }
  anchor->Set(0, list->cls);
  list->anchor = VMJniHandle::NewLocal(list->env, (VMObject*)anchor);
  return list->anchor != NULL;
}

/* The poll of a walk over thousands of methods, every so often, so that what another
   thread asks of this one (a collection above all, which waits for every thread to stop)
   is served within a few hundred methods rather than after the whole list. The class's
   monitor is given up around it, since a thread that parks for a collection while
   holding a machine monitor makes the collection give up; a thread that holds any other
   does not poll, for the same reason (the collector's test is the same: a count above
   zero once the class's monitor is given up). The walk ends when the poll answers a stop
   or a posted exception (left pending) or the monitor cannot be had again. A suspension
   served by the poll stops the thread where the host may move the machine's heap, the
   list being filled and the thread's record included: both are read again afterwards. */
bool Poll(MethodList* list) {
  list->steps = 0;
  if (list->failed) return false;
  if (list->env->thread->GetHostMutexCount() > 1) return true;
  if (!Anchor(list)) {
    list->failed = true;
    return false;
  }
  Leave(list->cls);
  list->held = false;
  const int stop = list->env->thread->Yield();
  if (list->resultRef != NULL)
    list->result = (VMJavaLangReflectMethodArray*)VMJniHandle::UnHandle(list->env, list->resultRef);
  if (stop != 0) {
    if (list->env->thread->GetException() == NULL) (void)VMJniThrowInternal(list->env, VMStatus_ThreadDeath, NULL);
    list->failed = true;
    return false;
  }
  list->held = Enter(list->env, list->cls);
  list->failed = !list->held;
  return list->held;
}

/* One method looked at; false when the walk is to end. Kept to a count and a test in
   the loops of every list, the poll itself aside: a walk that failed goes on doing
   nothing (Emit emits no more) until its next poll ends it. */
inline bool Step(MethodList* list) { return ++list->steps < kPollEvery || Poll(list); }

/* A method a public view may list. */
inline bool Listable(const MethodList* list, VMMethod* m) {
  return m != NULL && m->GetIsPublic() && m->GetName() != list->init && m->GetName() != list->clinit;
}

void Emit(MethodList* list, VMLoadableClass* owner, bool declared, uint32_t index) {
  if (list->failed) return;
  if (list->result == NULL) {
    list->count++;
    return;
  }
  uint32_t level = LocalLevel(list->env);
  VMJavaLangReflectMethod* w =
      list->count < list->result->GetSize() ? VMJavaLangReflectMethod::CreateInstance(list->env, owner, declared, index)
                                             : NULL;
  if (w == NULL) list->failed = true;
  else list->result->Set(list->count++, w);
  DropLocals(list->env, level);
}

/* Whether a method of m's name and descriptor was met (one of m's own class aside). */
bool MetAlike(const MethodList* list, VMMethod* m) {
  return list->met.Any(m, [m](VMMethod* other) { return other != m && other->Matches(m); });
}

/* An interface and its superinterfaces, each once, in the order reached, with their
   public methods met. */
void ReachInterfaces(MethodList* list, VMLoadableClass* iface) {
  if (!list->reached.Add(iface)) return;
  VMMethodArray* methods = iface->GetMethods();
  for (uint32_t i = 0; methods != NULL && i < methods->GetSize() && Step(list); i++) {
    VMMethod* m = methods->Get(i);
    if (Listable(list, m)) (void)list->met.Put(m);
  }
  VMClassArray* supers = iface->GetInterfaces();
  for (uint32_t i = 0; supers != NULL && i < supers->GetSize() && !list->failed; i++) {
    VMClass* super = supers->Get(i);
    if (super != NULL && super->GetIsLoadable()) ReachInterfaces(list, (VMLoadableClass*)super);
  }
}

/* Whether an interface that extends m's declares a method of m's name and descriptor.
   Which interface the walk reached first says nothing: in a diamond whose one side
   redeclares a method of the interface at the bottom, the other side may come first. */
bool HiddenBelow(const MethodList* list, VMLoadableClass* iface, VMMethod* m) {
  return list->met.Any(m, [iface, m](VMMethod* other) {
    if (other == m || !other->Matches(m)) return false;
    VMLoadableClass* below = other->GetDefinedIn();
    return below != NULL && below != iface && below->Implements(iface);
  });
}

/* The same answer for every method of the view at once, found by bits instead of a walk
   per method: a view over a thousand sibling interfaces that each redeclare a few common
   methods otherwise asks HiddenBelow a thousand times for each of thousands. Per reached
   interface (by its place in reached), the reached interfaces it extends; per method met
   (by its place in met), whether it is hidden. Process memory, given back by Release on
   every way out. */
struct Hiding {
  /* Rows of bits cost the square of the interfaces: past this many, HiddenBelow answers. */
  enum : uint32_t { kMostRows = 4096 };
  /* Below this many, HiddenBelow's walks cost less than taking, filling and freeing the
     bits unless nearly every interface redeclares the same methods, and then not much
     more: a small interface's list takes no process memory for them. */
  enum : uint32_t { kFewestRows = 8 };
  uint32_t* above;   // a row of words per reached interface
  uint32_t* done;    // a bit per reached interface: its row is complete
  uint32_t* hidden;  // a bit per method met
  uint32_t* taken;   // a bit per method met: its name and descriptor were looked at
  uint32_t* mask;    // a row: what the declarers of one name and descriptor extend
  uint32_t* owner;   // per method met, the place of its interface in reached
  uint32_t words;

  void Init() {
    above = done = hidden = taken = mask = owner = NULL;
    words = 0;
  }
  void Release() {
    JNIHostFunctions* host = VMUtils::GetHostFunctions();
    uint32_t* blocks[] = {above, done, hidden, taken, mask, owner};
    for (uint32_t* block : blocks)
      if (block != NULL) host->HeapFree(NULL, block);
    Init();
  }
  static bool Bit(const uint32_t* bits, uint32_t at) { return (bits[at >> 5] >> (at & 31)) & 1u; }
  static void Set(uint32_t* bits, uint32_t at) { bits[at >> 5] |= 1u << (at & 31); }
};

uint32_t* ZeroedWords(uint64_t count) {
  if (count == 0) count = 1;
  if (count > 0x3FFFFFFFu) return NULL;
  uint32_t* block = (uint32_t*)VMUtils::GetHostFunctions()->HeapAlloc(NULL, (uint32_t)count * 4u, jallocFailFast);
  if (block != NULL) memset(block, 0, (size_t)count * 4u);
  return block;
}

/* The row of reached interface k: each of its superinterfaces and what that extends. The
   depth of the calls is the depth of the hierarchy, as the reaching walk's is. */
void FillAbove(const MethodList* list, Hiding* h, uint32_t k) {
  if (Hiding::Bit(h->done, k)) return;
  Hiding::Set(h->done, k);
  VMClassArray* supers = list->reached.items[k]->GetInterfaces();
  for (uint32_t i = 0; supers != NULL && i < supers->GetSize(); i++) {
    VMClass* super = supers->Get(i);
    if (super == NULL || !super->GetIsLoadable()) continue;
    uint32_t j = list->reached.PositionOf((VMLoadableClass*)super);
    if (j == Reached::kAbsent || j == k) continue;
    FillAbove(list, h, j);
    uint32_t* row = h->above + (size_t)k * h->words;
    const uint32_t* up = h->above + (size_t)j * h->words;
    Hiding::Set(row, j);
    for (uint32_t w = 0; w < h->words; w++) row[w] |= up[w];
  }
}

/* Which methods met are hidden: a method is, when an interface that declares one of its
   name and descriptor extends its own. Each name and descriptor is looked at once, with
   all its declarers together. False (nothing planned) when the interfaces are too few
   for the bits to pay or too many for them to fit, or memory ran out. */
bool PlanHiding(MethodList* list, Hiding* h) {
  const Reached& reached = list->reached;
  const Methods& met = list->met;
  const uint32_t n = reached.count, count = met.count;
  if (list->failed || reached.failed || met.failed || n < Hiding::kFewestRows || n > Hiding::kMostRows) return false;
  h->words = (n + 31) / 32;
  h->above = ZeroedWords((uint64_t)n * h->words);
  h->done = ZeroedWords(h->words);
  h->mask = ZeroedWords(h->words);
  h->hidden = ZeroedWords((count + 31) / 32);
  h->taken = ZeroedWords((count + 31) / 32);
  h->owner = ZeroedWords(count);
  if (h->above == NULL || h->done == NULL || h->mask == NULL || h->hidden == NULL || h->taken == NULL ||
      h->owner == NULL)
    return false;
  // The reaching walk met each interface's listable methods right after the interface.
  uint32_t at = 0;
  for (uint32_t k = 0; k < n; k++) {
    VMMethodArray* methods = reached.items[k]->GetMethods();
    for (uint32_t i = 0; methods != NULL && i < methods->GetSize(); i++) {
      VMMethod* m = methods->Get(i);
      if (!Listable(list, m)) continue;
      if (at >= count || met.items[at] != m) return false;
      h->owner[at++] = k;
    }
  }
  if (at != count) return false;
  for (uint32_t k = 0; k < n; k++) FillAbove(list, h, k);
  for (uint32_t p = 0; p < count && Step(list); p++) {
    if (Hiding::Bit(h->taken, p)) continue;
    VMMethod* m = met.items[p];
    uint32_t declarers = 0;
    met.AnyAt(m, [&](uint32_t q) {
      if (met.items[q]->Matches(m)) declarers++;
      return false;
    });
    Hiding::Set(h->taken, p);
    if (declarers < 2) continue;
    memset(h->mask, 0, h->words * sizeof *h->mask);
    met.AnyAt(m, [&](uint32_t q) {
      if (!met.items[q]->Matches(m)) return false;
      const uint32_t* row = h->above + (size_t)h->owner[q] * h->words;
      for (uint32_t w = 0; w < h->words; w++) h->mask[w] |= row[w];
      return false;
    });
    met.AnyAt(m, [&](uint32_t q) {
      if (!met.items[q]->Matches(m)) return false;
      Hiding::Set(h->taken, q);
      if (Hiding::Bit(h->mask, h->owner[q])) Hiding::Set(h->hidden, q);
      return false;
    });
  }
  return !list->failed;
}

/* The public view of an interface: its own methods and its superinterfaces', each
   interface once, less those an interface that extends theirs redeclares. */
void ListInterface(MethodList* list, VMLoadableClass* lc) {
  ReachInterfaces(list, lc);
  Hiding hiding;
  hiding.Init();
  const bool planned = PlanHiding(list, &hiding);
  uint32_t at = 0;  // the place in met of the next listable method
  for (uint32_t k = 0; k < list->reached.count && !list->failed; k++) {
    VMLoadableClass* iface = list->reached.items[k];
    VMMethodArray* methods = iface->GetMethods();
    for (uint32_t i = 0; methods != NULL && i < methods->GetSize() && Step(list); i++) {
      VMMethod* m = methods->Get(i);
      if (!Listable(list, m)) continue;
      const bool known = planned && at < list->met.count && list->met.items[at] == m;
      // The interface listed is hidden by none: every other one reached is above it.
      const bool hidden = k != 0 && (known ? Hiding::Bit(hiding.hidden, at) : HiddenBelow(list, iface, m));
      at++;
      if (!hidden) Emit(list, iface, true, i);
    }
  }
  hiding.Release();
}

/* The methods of a view, in this machine's order. The declared view lists the class's
   own methods; the public view of an interface its own and its superinterfaces'; the
   public view of a class the public static methods of the class and then of each
   superclass (less those a subclass hides), then the public methods of its table. */
void ListMethods(MethodList* list, VMLoadableClass* lc, bool declared) {
  list->reached.Reset();
  list->met.Reset();
  // Each pass counts its own: one shorter than the stride, an ordinary class's, is over
  // as soon, and never gives its monitor up.
  list->steps = 0;
  VMMethodArray* methods = lc->GetMethods();
  const uint32_t nMethods = methods != NULL ? methods->GetSize() : 0;
  if (declared) {
    for (uint32_t i = 0; i < nMethods && Step(list); i++) {
      VMMethod* m = methods->Get(i);
      if (m != NULL && m->GetName() != list->init && m->GetName() != list->clinit) Emit(list, lc, true, i);
    }
    return;
  }
  if (lc->GetIsInterface()) {
    ListInterface(list, lc);
    return;
  }
  for (VMLoadableClass* c = lc; c != NULL && !list->failed; c = c->GetSuper()) {
    VMMethodArray* own = c->GetMethods();
    const bool last = c->GetSuper() == NULL;
    for (uint32_t i = 0; own != NULL && i < own->GetSize() && Step(list); i++) {
      VMMethod* m = own->Get(i);
      // A static of any access hides a superclass's of its name and descriptor.
      if (m == NULL || !m->GetIsStatic() || m->GetName() == list->clinit || (c != lc && MetAlike(list, m))) continue;
      if (!last) (void)list->met.Put(m);
      if (m->GetIsPublic() && m->GetName() != list->init) Emit(list, c, true, i);
    }
  }
  VMMethodArray* table = list->failed ? NULL : lc->VMLoadableOrArrayClass::GetMethodTable();
  for (uint32_t i = 0; table != NULL && i < table->GetSize() && Step(list); i++) {
    VMMethod* m = table->Get(i);
    if (!Listable(list, m)) continue;
    // Inherited methods stand under their declaring class, at the index they keep in
    // every subclass's table.
    Emit(list, m->GetDefinedIn(), false, i);
  }
}

/* The list is whole: nothing failed, and neither set ran out of memory. */
bool Whole(const MethodList* list) { return !list->failed && !list->reached.failed && !list->met.failed; }

/* Every interface above iface prepared, each once, so that the list names none whose
   methods cannot be used; reached holds those met. Done before the class's monitor is
   taken (preparing may load classes). False with the exception pending. */
bool PrepareSuperinterfaces(JNIEnv* env, VMLoadableClass* iface, Reached* reached) {
  VMClassArray* supers = iface->GetInterfaces();
  for (uint32_t i = 0; supers != NULL && i < supers->GetSize(); i++) {
    VMClass* super = supers->Get(i);
    if (super == NULL || !super->GetIsLoadable() || !reached->Add((VMLoadableClass*)super)) continue;
    if (!vmjni::EnsurePrepared(env, (VMLoadableClass*)super) ||
        !PrepareSuperinterfaces(env, (VMLoadableClass*)super, reached))
      return false;
  }
  return true;
}

}  // namespace

VMJavaLangReflectMethodArray* VMClassReflectInfo::GetMethods(JNIEnv* env, VMClass* cls, int32_t which) {
  VMNameSpace* ns = NsOf(env);
  if (cls == NULL || ns == NULL || env->thread == NULL) return NULL;
  if (!cls->GetIsLoadable())
    return NewResult<VMJavaLangReflectMethodArray>(env, cls, 0, VMTag_VMJavaLangReflectMethodArray);
  VMLoadableClass* lc = Prepared(env, cls);
  if (lc == NULL) return NULL;
  const bool declared = which != 0;
  MethodList list;
  list.env = env;
  list.cls = lc;
  list.result = NULL;
  list.resultRef = NULL;
  list.anchor = NULL;
  list.init = WellKnown(ns, LT_INIT);
  list.clinit = WellKnown(ns, LT_CLINIT);
  list.count = 0;
  list.steps = 0;
  list.failed = false;
  list.held = false;
  list.reached.Init();
  list.met.Init();
  if (!declared && lc->GetIsInterface()) {
    const bool prepared = PrepareSuperinterfaces(env, lc, &list.reached);
    const bool whole = !list.reached.failed;
    list.reached.Release();
    if (!prepared || !whole) {
      if (prepared) RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
      return NULL;
    }
  }
  if (!Enter(env, lc)) return NULL;
  list.held = true;
  ListMethods(&list, lc, declared);
  VMJavaLangReflectMethodArray* result =
      Whole(&list) ? NewResult<VMJavaLangReflectMethodArray>(env, lc, list.count, VMTag_VMJavaLangReflectMethodArray,
                                                             &list.resultRef)
                   : NULL;
  if (result != NULL) {
    list.result = result;
    list.count = 0;
    ListMethods(&list, lc, declared);
    result = Whole(&list) && list.count == list.result->GetSize() ? list.result : NULL;
  }
  list.reached.Release();
  list.met.Release();
  if (list.anchor != NULL) env->functions->DeleteLocalRef(env, list.anchor);
  if (list.held) Leave(lc);
  if (result == NULL) RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
  return result;
}

/* ------------------------------------------------------------------------------------ */
/* Fields                                                                                */

namespace {

/* The interfaces above cls, each once: its superclasses' first. */
bool InitializeReached(JNIEnv* env, VMClass* cls, Reached* reached) {
  if (cls == NULL || !cls->GetIsLoadable()) return true;
  VMLoadableClass* lc = (VMLoadableClass*)cls;
  if (!lc->GetIsInterface() && !InitializeReached(env, lc->GetSuper(), reached)) return false;
  VMClassArray* interfaces = lc->GetInterfaces();
  for (uint32_t i = 0; interfaces != NULL && i < interfaces->GetSize(); i++) {
    VMClass* iface = interfaces->Get(i);
    if (iface == NULL || !iface->GetIsLoadable() || !reached->Add((VMLoadableClass*)iface)) continue;
    VMStatus status = ((VMLoadableClass*)iface)->Initialize(env);
    if (status != 0) {
      RaiseUnlessPending(env, status == VMStatus_AlreadyThrown ? VMStatus_NoClassDefFoundError : status);
      return false;
    }
    if (!InitializeReached(env, iface, reached)) return false;
  }
  return true;
}

}  // namespace

bool VMClassReflectInfo::InitializeInterfaces(JNIEnv* env, VMClass* cls) {
  Reached reached;
  reached.Init();
  bool done = InitializeReached(env, cls, &reached);
  const bool failed = reached.failed;
  reached.Release();
  if (done && failed) {
    RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
    return false;
  }
  return done;
}

namespace {

/* The fields of cls and, for the public view, of its superclasses and interfaces, each
   interface once however many ways it is reached. */
uint32_t CollectReached(JNIEnv* env, VMClass* cls, VMJavaLangReflectFieldArray* array, bool declared, uint32_t index,
                        Reached* reached) {
  if (cls == NULL || !cls->GetIsLoadable()) return index;
  VMLoadableClass* lc = (VMLoadableClass*)cls;
  if (!declared) {
    if (lc->GetIsInterface() && !reached->Add(lc)) return index;
    if (!lc->GetIsInterface()) {
      index = CollectReached(env, lc->GetSuper(), array, declared, index, reached);
      if (index == 0xFFFFFFFFu) return index;
    }
    VMClassArray* interfaces = lc->GetInterfaces();
    for (uint32_t i = 0; interfaces != NULL && i < interfaces->GetSize(); i++) {
      index = CollectReached(env, interfaces->Get(i), array, declared, index, reached);
      if (index == 0xFFFFFFFFu) return index;
    }
  }
  VMDataMemberArray* fields = lc->GetDataMembers();
  for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
    VMDataMember* field = fields->Get(i);
    if (field == NULL || (!declared && !field->GetIsPublic())) continue;
    if (array != NULL) {
      if (index >= array->GetSize()) {
        RaiseUnlessPending(env, VMStatus_InternalError);
        return 0xFFFFFFFFu;
      }
      uint32_t level = LocalLevel(env);
      VMJavaLangReflectField* w = VMJavaLangReflectField::CreateInstance(env, lc, i);
      if (w == NULL) return 0xFFFFFFFFu;
      array->Set(index, w);
      DropLocals(env, level);
    }
    index++;
  }
  return index;
}

}  // namespace

uint32_t VMClassReflectInfo::CollectFields(JNIEnv* env, VMClass* cls, VMJavaLangReflectFieldArray* array,
                                           bool declared, uint32_t index) {
  Reached reached;
  reached.Init();
  index = CollectReached(env, cls, array, declared, index, &reached);
  if (reached.failed && index != 0xFFFFFFFFu) {
    RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
    index = 0xFFFFFFFFu;
  }
  reached.Release();
  return index;
}

VMJavaLangReflectFieldArray* VMClassReflectInfo::GetFields(JNIEnv* env, VMClass* cls, int32_t which) {
  if (cls == NULL || NsOf(env) == NULL || env->thread == NULL) return NULL;
  if (!cls->GetIsLoadable())
    return NewResult<VMJavaLangReflectFieldArray>(env, cls, 0, VMTag_VMJavaLangReflectFieldArray);
  VMLoadableClass* lc = Prepared(env, cls);
  if (lc == NULL) return NULL;
  const bool declared = which != 0;
  // Interfaces run their initialisers (Java code) before the monitor is taken.
  if (!declared && !InitializeInterfaces(env, lc)) return NULL;
  if (!Enter(env, lc)) return NULL;
  VMJavaLangReflectFieldArray* result = NULL;
  uint32_t count = CollectFields(env, lc, NULL, declared, 0);
  if (count != 0xFFFFFFFFu) {
    result = NewResult<VMJavaLangReflectFieldArray>(env, lc, count, VMTag_VMJavaLangReflectFieldArray);
    if (result != NULL && CollectFields(env, lc, result, declared, 0) != count) result = NULL;
  }
  Leave(lc);
  if (result == NULL) RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
  return result;
}

/* ------------------------------------------------------------------------------------ */
/* Constructors                                                                          */

VMJavaLangReflectConstructorArray* VMClassReflectInfo::GetConstructors(JNIEnv* env, VMClass* cls, int32_t which) {
  VMNameSpace* ns = NsOf(env);
  if (cls == NULL || ns == NULL || env->thread == NULL) return NULL;
  if (!cls->GetIsLoadable())
    return NewResult<VMJavaLangReflectConstructorArray>(env, cls, 0, VMTag_VMJavaLangReflectConstructorArray);
  VMLoadableClass* lc = Prepared(env, cls);
  if (lc == NULL) return NULL;
  const bool declared = which != 0;
  VMLiteral* init = WellKnown(ns, LT_INIT);
  VMMethodArray* methods = lc->GetMethods();
  const uint32_t n = methods != NULL ? methods->GetSize() : 0;
  if (!Enter(env, lc)) return NULL;
  uint32_t count = 0;
  for (uint32_t i = 0; i < n; i++) {
    VMMethod* m = methods->Get(i);
    if (m != NULL && m->GetName() == init && !m->GetIsStatic() && (declared || m->GetIsPublic())) count++;
  }
  VMJavaLangReflectConstructorArray* result =
      NewResult<VMJavaLangReflectConstructorArray>(env, lc, count, VMTag_VMJavaLangReflectConstructorArray);
  uint32_t filled = 0;
  for (uint32_t i = 0; result != NULL && i < n; i++) {
    VMMethod* m = methods->Get(i);
    if (m == NULL || m->GetName() != init || m->GetIsStatic() || !(declared || m->GetIsPublic())) continue;
    uint32_t level = LocalLevel(env);
    VMJavaLangReflectConstructor* w =
        filled < count ? VMJavaLangReflectConstructor::CreateInstance(env, lc, declared, i) : NULL;
    if (w == NULL) result = NULL;
    else result->Set(filled++, w);
    DropLocals(env, level);
  }
  Leave(lc);
  if (result == NULL) RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
  return result;
}

/* ------------------------------------------------------------------------------------ */
/* Types of a method                                                                     */

namespace {

/* A type class handed to Java: a class-file class is prepared (a shell is never handed
   out). False with the exception pending. */
bool Ready(JNIEnv* env, VMClass* cls) {
  if (!cls->GetIsLoadable()) return true;
  VMStatus status = ((VMLoadableClass*)cls)->Prepare(NULL);
  if (status == 0) return true;
  if (env->thread->GetException() == NULL) vmjni::ThrowWithClassName(env, status, cls);
  return false;
}

/* The cached parameter types, read without the monitor: published with a release store
   after every element was written. */
VMClassArray* CachedParameterTypes(VMMethod* method) {
  VMword* word = ((VMObject*)method)->GetElementAddress(VMMethod::ParameterTypesWord);
  return (VMClassArray*)__atomic_load_n(word, __ATOMIC_ACQUIRE);
}

}  // namespace

VMClass* VMClassReflectInfo::GetReturnType(JNIEnv* env, VMMethod* method) {
  VMLoadableClass* cls = method->GetDefinedIn();
  if (cls == NULL) {
    RaiseUnlessPending(env, VMStatus_NoClassDefFoundError);
    return NULL;
  }
  // In the loader of the method's class, as its parameter types are; finding it again
  // after another thread did stores the same class.
  VMClass* type = method->GetReturnClass();
  if (type == NULL) {
    VMStatus status = method->FindReturnClass();
    type = method->GetReturnClass();
    if (status != 0 || type == NULL) {
      RaiseUnlessPending(env, status != 0 ? status : VMStatus_NoClassDefFoundError);
      return NULL;
    }
  }
  return Ready(env, type) ? type : NULL;
}

VMClassArray* VMClassReflectInfo::GetParameterTypes(JNIEnv* env, VMMethod* method) {
  if (VMClassArray* cached = CachedParameterTypes(method)) return cached;
  VMLoadableClass* cls = method->GetDefinedIn();
  VMNameSpace* ns = cls != NULL ? cls->GetNameSpace() : NULL;
  if (ns == NULL) {
    RaiseUnlessPending(env, VMStatus_NoClassDefFoundError);
    return NULL;
  }
  uint32_t count = 0;
  {
    VMLiteralIterator it(method->GetSignature());
    if (it.NextChar() != '(') {
      RaiseUnlessPending(env, VMStatus_ClassFormatError);
      return NULL;
    }
    for (;;) {
      VMMethod::SigTypes t = VMMethod::ScanSigItem(it);
      if (t == VMMethod::SigEndParms || t == VMMethod::SigEnd || t == VMMethod::SigInvalid) break;
      count++;
    }
  }
  // Made on the name space's heap: the method is name-space data, which no machine's
  // collection walks, and every machine of the name space reads this array.
  VMClassArray* types = VMClassArray::CreateInstance(cls->GetHeap(), count, cls, jallocFailFast, VMTag_VMClassArray);
  if (types == NULL) {
    RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  VMLiteralIterator it(method->GetSignature());
  (void)it.NextChar();
  for (uint32_t i = 0; i < count; i++) {
    VMClass* type = VMClass::FindBySignature(ns, it, cls->GetClassLoader());
    if (type == NULL || !Ready(env, type)) {
      types->VMObject::Destroy(cls->GetHeap());
      RaiseUnlessPending(env, VMStatus_NoClassDefFoundError);
      return NULL;
    }
    types->Set(i, type);
  }
  // Published once; a thread that lost the race gives its copy back.
  VMStatus entered = ((VMObject*)cls)->MonitorEnter(ns);
  VMword* word = ((VMObject*)method)->GetElementAddress(VMMethod::ParameterTypesWord);
  VMword expected = 0;
  if (!__atomic_compare_exchange_n(word, &expected, (VMword)types, false, __ATOMIC_RELEASE, __ATOMIC_ACQUIRE)) {
    types->VMObject::Destroy(cls->GetHeap());
    types = (VMClassArray*)expected;
  }
  if (entered == 0) (void)((VMObject*)cls)->MonitorExit(ns);
  return types;
}

VMClassArray* VMClassReflectInfo::GetExceptionTypes(JNIEnv* env, VMMethod* method) {
  VMLoadableClass* cls = method->GetDefinedIn();
  VM* vm = VmOf(env);
  VMConstantPool* pool = cls != NULL ? cls->GetConstantPool() : NULL;
  if (cls == NULL || vm == NULL) {
    RaiseUnlessPending(env, VMStatus_NoClassDefFoundError);
    return NULL;
  }
  VMcharArray* throws = method->GetThrows();
  const uint32_t n = throws != NULL ? throws->GetSize() : 0;
  // Every class is found and loaded before the array exists: a class that cannot be had
  // fails the query (a null entry would fail Method.toString later, far from the cause).
  for (uint32_t i = 0; i < n; i++) {
    VMStatus status = 0;
    VMLoadableClass* c = pool != NULL ? pool->GetConstClass(throws->Get(i), &status, false) : NULL;
    if (c == NULL || !Ready(env, (VMClass*)c)) {
      RaiseUnlessPending(env, status != 0 ? status : VMStatus_NoClassDefFoundError);
      return NULL;
    }
  }
  VMClassArray* types = VMClassArray::CreateInstance(vm->GetHeap(), n, cls, jallocCollectAndRetry, VMTag_VMClassArray);
  if (types == NULL) {
    RaiseUnlessPending(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  for (uint32_t i = 0; i < n; i++) {
    VMStatus status = 0;
    types->Set(i, (VMClass*)pool->GetConstClass(throws->Get(i), &status, false));
  }
  return types;
}
