/* The objects of each machine heap whose class has a finalizer that has not run yet,
   listed as they are made, so that a collection chooses the finalizable ones without
   walking the whole heap.

   A list belongs to a heap from the machine's creation to its destruction (or its
   abandonment, after which the host may destroy the heap). Objects are listed by
   VMObject::CreateInstance, the one way instances of ordinary classes are made, and by
   the throwable maker; a list that process memory could not grow makes that machine's
   collections walk the heap for their candidates as before. Each collection keeps only
   the listed objects that survive it with their finalizer still to run; an object
   destroyed outside a collection leaves its list at once. The lists are in process
   memory, under one lock: nothing in a list is walked or moved by the heap's own
   machinery, so relocation rewrites the entries (VM::RelocateFinalizables). */
#include <atomic>

#include "vm.h"
#include "vmclass.h"
#include "vmobject.h"
#include "vmutils.h"

namespace {

struct HeapList {
  HeapList* next;
  HHeap* heap;
  VMObject** items;
  uint32_t count;
  uint32_t room;
  bool overflowed; /* an object could not be listed: this heap's collections walk */
};

std::atomic<int> lock(0);
HeapList* lists = NULL;

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

void Lock() {
  while (lock.exchange(1, std::memory_order_acquire) != 0) {
    while (lock.load(std::memory_order_relaxed) != 0) __builtin_ia32_pause();
  }
}
void Unlock() { lock.store(0, std::memory_order_release); }

HeapList* Find(HHeap* heap) {
  for (HeapList* l = lists; l != NULL; l = l->next)
    if (l->heap == heap) return l;
  return NULL;
}

bool Append(HeapList* l, VMObject* o) {
  if (l->count == l->room) {
    uint32_t room = l->room != 0 ? l->room * 2 : 64;
    VMObject** grown =
        room < (1u << 22) ? (VMObject**)Host()->HeapAlloc(NULL, room * sizeof(VMObject*), jallocFailFast) : NULL;
    if (grown == NULL) return false;
    for (uint32_t i = 0; i < l->count; i++) grown[i] = l->items[i];
    if (l->items != NULL) Host()->HeapFree(NULL, l->items);
    l->items = grown;
    l->room = room;
  }
  l->items[l->count++] = o;
  return true;
}

}  // namespace

bool VM::HasFinalizerToRun(VMObject* o) {
  if (o->GetIsFinalized() || !o->GetHasClass()) return false;
  VMClass* c = o->GetClass();
  return c != NULL && c->GetIsLoadable() && ((VMLoadableClass*)c)->GetFinalize() != NULL;
}

void VM::OpenFinalizables(HHeap* heap) {
  HeapList* l = (HeapList*)Host()->HeapAlloc(NULL, sizeof(HeapList), jallocFailFast);
  Lock();
  // A list left by a heap that was destroyed without its machine's end (an abandoned
  // one) and whose address came back must not lend its entries to the new heap.
  if (HeapList* stale = Find(heap)) {
    stale->count = 0;
    stale->overflowed = l == NULL;
  } else if (l != NULL) {
    *l = HeapList();
    l->heap = heap;
    l->next = lists;
    lists = l;
    l = NULL;
  }
  Unlock();
  if (l != NULL) Host()->HeapFree(NULL, l);
}

void VM::CloseFinalizables(HHeap* heap) {
  Lock();
  HeapList* found = NULL;
  for (HeapList** at = &lists; *at != NULL; at = &(*at)->next) {
    if ((*at)->heap == heap) {
      found = *at;
      *at = found->next;
      break;
    }
  }
  Unlock();
  if (found == NULL) return;
  if (found->items != NULL) Host()->HeapFree(NULL, found->items);
  Host()->HeapFree(NULL, found);
}

void VM::NoteFinalizable(HHeap* heap, VMObject* o) {
  Lock();
  // A heap that is no machine's (a name space's shared heap) is never swept.
  HeapList* l = Find(heap);
  if (l != NULL && !l->overflowed && !Append(l, o)) l->overflowed = true;
  Unlock();
}

void VM::ForgetFinalizable(HHeap* heap, VMObject* o) {
  Lock();
  if (HeapList* l = Find(heap)) {
    for (uint32_t i = l->count; i > 0; i--) {
      if (l->items[i - 1] == o) {
        l->items[i - 1] = l->items[--l->count];
        break;
      }
    }
  }
  Unlock();
}

bool VM::FinalizablesListed() {
  Lock();
  HeapList* l = Find(GetHeap());
  bool listed = l != NULL && !l->overflowed;
  Unlock();
  return listed;
}

void VM::ForEachFinalizable(void (*visit)(VMObject* o, void* context), void* context) {
  // Only this machine's collector reads or changes its list while it collects; others
  // only add to theirs, so the lock is not held across the visits (which walk objects).
  Lock();
  HeapList* l = Find(GetHeap());
  VMObject** items = l != NULL ? l->items : NULL;
  uint32_t count = l != NULL ? l->count : 0;
  Unlock();
  for (uint32_t i = 0; i < count; i++) visit(items[i], context);
}

void VM::KeepSurvivingFinalizables() {
  Lock();
  if (HeapList* l = Find(GetHeap())) {
    uint32_t kept = 0;
    for (uint32_t i = 0; i < l->count; i++) {
      VMObject* o = l->items[i];
      // What dies now, or is finalized after this collection, has nothing left to run.
      if (o->GetIsUnreachable() || o->GetIsFinalizable() || !HasFinalizerToRun(o)) continue;
      l->items[kept++] = o;
    }
    l->count = kept;
  }
  Unlock();
}

void VM::RelocateFinalizables(VMRelocateInfo* info) {
  Lock();
  if (HeapList* l = Find(GetHeap())) {
    for (uint32_t i = 0; i < l->count; i++) info->Relocate((VMword*)&l->items[i]);
  }
  Unlock();
}

uint32_t VM::CountFinalizables(HHeap* heap) {
  Lock();
  HeapList* l = Find(heap);
  uint32_t n = l != NULL ? l->count : 0;
  Unlock();
  return n;
}
