/* The walks over the reference words of heap objects: the collector's depth-first walk,
   the one-object visit that relocation uses, and the stored-object format's walk over a
   class's data members. */
#include "vmobject.h"

#include "vmarray.h"
#include "vmclass.h"
#include "vmnamespace.h"
#include "vmutils.h"

namespace {

typedef VMCommonObjectBase::WalkResult WalkResult;
typedef VMCommonObjectBase::WalkCallback WalkCallback;

/* Where the reference words of an object go: each to `callback`, and with `stack` set the
   objects the callback answers 2 for are pushed there instead of being descended into. */
struct Visit {
  WalkCallback callback;
  void* context;
  VMObject** stack;
};

/* 0 ends the visit; 1 goes on. */
inline bool Slot(Visit& v, VMword* slot) {
  if (*slot == 0) return true;
  WalkResult r = v.callback(slot, v.context);
  if (r == VMCommonObjectBase::WalkAbort) return false;
  if (r == VMCommonObjectBase::WalkDescend && v.stack != NULL) {
    VMObject* target = (VMObject*)*slot;
    target->SetQueue(*v.stack);
    *v.stack = target;
  }
  return true;
}

/* Body words first..end-1 of an object whose words past the block's own lie in pieces:
   one run of adjacent words at a time. */
bool Words(Visit& v, VMObject* o, uint32_t first, uint32_t end) {
  const uint32_t inBlock = VMObjectBase::FIRST_PART;
  const uint32_t piece = VMObjectBase::NESTING_SIZE;
  uint32_t w = first;
  while (w < end) {
    VMword* p = o->GetElementAddress(w);
    uint32_t run = w < inBlock ? inBlock - w : piece - ((w - inBlock) & (piece - 1));
    if (run > end - w) run = end - w;
    // A long array of references names objects scattered over the heap: each is asked
    // for a few elements ahead, so that its header is at hand when its turn comes.
    const uint32_t ahead = 8;
    for (uint32_t k = 0; k < run; k++) {
      if (k + ahead < run && p[k + ahead] != 0) __builtin_prefetch((const void*)p[k + ahead]);
      if (!Slot(v, p + k)) return false;
    }
    w += run;
  }
  return true;
}

/* The referent word of a reference object is left to the collector's sorting of
   reference objects; only that word: another field naming the same object is ordinary. */
uint32_t ReferentWord(VMObject* o, VMLoadableClass* cls) {
  if (!o->GetIsReference() && !o->GetIsPhantomReference()) return 0xFFFFFFFFu;
  VMNameSpace* ns = ((VMClass*)cls)->GetNameSpace();
  VMClassList* list = ns != NULL ? ns->GetClassList() : NULL;
  return list != NULL ? list->GetReferenceReferentIndex() : 0xFFFFFFFFu;
}

WalkResult VisitSlots(VMObject* o, Visit& v) {
  if (o->GetIsDeserializing() || o->GetIsScalarArray()) return VMCommonObjectBase::WalkDone;
  // A Java array of references has a class too: the element words are what it holds.
  if (o->GetIsRefArray()) {
    uint32_t count = o->GetWord(0);
    return Words(v, o, 2, count + 2) ? VMCommonObjectBase::WalkDone : VMCommonObjectBase::WalkAbort;
  }
  if (o->GetHasSpecialObjWalker()) {
    VMword self = (VMword)o;
    return o->GetSpecialObjWalker()(&self, v.callback, v.context);
  }
  if (o->GetHasStaticDataClass()) return VMLoadableClass::WalkStaticData(o, v.callback, v.context);
  if (o->GetHasClass()) {
    VMClass* c = o->GetClass();
    // An array's elements are told by its array flags; anything else is an instance.
    if (c == NULL || c->GetIsArray() || c->GetIsPrimitive()) return VMCommonObjectBase::WalkDone;
    VMLoadableClass* cls = (VMLoadableClass*)c;
    VMboolArray* bits = cls->GetCreateBits();
    if (bits == NULL) {
      // A class not laid out yet has no instances but those the machine makes itself,
      // before the class library's start-up prepares it: its strings, whose
      // characters are their first word.
      if (o->GetTag() == VMTag_VMJavaLangString && !Slot(v, o->Body())) return VMCommonObjectBase::WalkAbort;
      return VMCommonObjectBase::WalkDone;
    }
    uint32_t size = cls->GetCreateSize();
    uint32_t skip = ReferentWord(o, cls);
    uint32_t bitWords = bits->GetSize();
    for (uint32_t word = 0; word < bitWords && word * 32 < size; word++) {
      VMword set = bits->GetWord(word);
      while (set != 0) {
        uint32_t i = word * 32 + (uint32_t)__builtin_ctz(set);
        set &= set - 1;
        if (i >= size) break;
        if (i == skip) continue;
        if (!Slot(v, o->GetElementAddress(i))) return VMCommonObjectBase::WalkAbort;
      }
    }
    return VMCommonObjectBase::WalkDone;
  }
  if (o->GetHasRefBits()) {
    VMword mask = o->GetRefBits();
    while (mask != 0) {
      uint32_t i = (uint32_t)__builtin_ctz(mask);
      mask &= mask - 1;
      if (!Slot(v, o->Body() + i)) return VMCommonObjectBase::WalkAbort;
    }
  }
  return VMCommonObjectBase::WalkDone;
}

}  // namespace

VMCommonObjectBase::WalkResult VMObject::VisitReferences(WalkCallback callback, void* context) {
  Visit v = {callback, context, NULL};
  return VisitSlots(this, v);
}

VMCommonObjectBase::WalkResult VMObject::WalkReferences(WalkCallback callback, void* context) {
  VMObject* top = this;
  SetQueue(NULL);
  Visit v = {callback, context, &top};
  while (top != NULL) {
    VMObject* o = top;
    top = o->GetQueue();
    o->SetQueue(NULL);
    WalkResult r = VisitSlots(o, v);
    if (r == WalkDone) continue;
    // Ended early: the objects still stacked get their queue words back.
    while (top != NULL) {
      VMObject* rest = top;
      top = rest->GetQueue();
      rest->SetQueue(NULL);
    }
    return r;
  }
  return WalkDone;
}

/* A constant pool's own walk descends through here into what its entries name. */
VMCommonObjectBase::WalkResult VMConstantPoolDescend(VMObject* object, VMCommonObjectBase::WalkCallback callback,
                                                     void* context) {
  return object->WalkReferences(callback, context);
}

namespace {

VMCommonObjectBase::WalkResult RelocateWord(VMword* slot, void* context) {
  ((VMRelocateInfo*)context)->Relocate(slot);
  return VMCommonObjectBase::WalkDone;
}

}  // namespace

void VMObject::Relocate(VMRelocateInfo* info) {
  VMObjectBase::Relocate(info);
  (void)VisitReferences(RelocateWord, info);
}

