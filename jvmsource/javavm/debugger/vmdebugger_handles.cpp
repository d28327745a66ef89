/* Handles, debugger addresses and value access of the debugger agent.

   The client names objects by handles and places by addresses, plain numbers it may
   have made up. Every use goes through Resolve, which turns an address into a place only
   when the handle names a live object of the right kind and the index a slot that exists
   there, and which says what each word of the place holds: a scalar, a reference, or
   something no client may write (a return address, a word of unknown kind). References
   are followed only out of reference slots and only to live Java objects; scalar writes
   land only in scalar slots, and a String only where its declared type accepts one. So
   a client can read wrong values at worst, never make the collector or the interpreter
   follow a forged pointer. */
#include <string.h>

#include "vm.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

using namespace dbg;

/* What one resolved address names. */
struct VMDebugPlace {
  enum : uint8_t { Scalar = 0, Reference = 1, Other = 2 };
  uint32_t kind;
  uint32_t index;
  /* Kinds 1-6 and 8: the slot's words (the second NULL when the slot has one). */
  VMword* words[2];
  uint8_t wordKind[2];
  /* Kind 7: the element and the bytes that lie together from it. */
  uint8_t* bytes;
  uint32_t available;
  bool refArray;
  bool writable;
  /* What a reference slot is declared to hold, when that is known. */
  VMClass* declared;
  /* Kinds 1-3: the frame whose local the place is. */
  VMByteCodeFrame* frame;
  /* Kind 8: the reference itself, copied for this call alone. */
  VMword cell;
};

namespace {

const uint32_t kMaxNesting = 256;

/* A live block of the machine that Java code can hold: a class instance, an array or a
   class descriptor. */
bool IsJavaObject(VMObject* o) {
  if (o == NULL) return false;
  VMword at = (VMword)o;
  if ((at & 3) != 0 || !VMUtils::IsValidAddress((jlong)at)) return false;
  VMword tag = o->GetTag();
  if (!VMUtils::ValidateTag(tag) || tag == VM_DESTROYED_TAG) return false;
  return o->GetHasClass() && o->GetClass() != NULL;
}

bool IsJavaArray(VMObject* o) {
  if (!IsJavaObject(o)) return false;
  VMClass* c = o->GetClass();
  return c->GetIsArray() && (o->GetIsScalarArray() || o->GetIsRefArray());
}

VMNameSpace* NameSpaceOf(VMDebugger* agent) { return agent->GetNameSpace(); }

/* The instance field of cls (or of a superclass) whose first word is word. */
VMDataMember* InstanceFieldAt(VMLoadableClass* cls, uint32_t word) {
  uint32_t depth = 0;
  for (VMLoadableClass* c = cls; c != NULL && depth < kMaxNesting; c = c->GetSuper(), depth++) {
    VMDataMemberArray* fields = c->GetDataMembers();
    for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
      VMDataMember* f = fields->Get(i);
      if (f != NULL && !f->GetIsStatic() && (uint32_t)f->GetIndex() == word) return f;
    }
  }
  return NULL;
}

VMDataMember* StaticFieldAt(VMLoadableClass* cls, uint32_t word) {
  VMDataMemberArray* fields = cls->GetDataMembers();
  for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
    VMDataMember* f = fields->Get(i);
    if (f != NULL && f->GetIsStatic() && (uint32_t)f->GetIndex() == word) return f;
  }
  return NULL;
}

bool IsTwoWords(VMDataMember* field) {
  VMClass* c = field->GetClass();
  return c != NULL && c->GetIsTwoEntries();
}

bool SubclassOf(VMClass* cls, VMClass* of) {
  uint32_t depth = 0;
  for (VMClass* c = cls; c != NULL && depth < kMaxNesting; c = c->GetSuper(), depth++)
    if (c == of) return true;
  return false;
}

/* The kind of address that a local, field or element of this signature gets. */
uint32_t KindBySignature(VMLiteral* signature, uint32_t base) {
  uint8_t c = signature != NULL && signature->UTF8Length() > 0 ? signature->ByteAt(0) : 0;
  if (c == 'B' || c == 'Z') return base + 2;
  if (c == 'C' || c == 'S') return base + 1;
  return base;
}

jlong MakeAddress(int32_t handle, uint32_t index, uint32_t kind) {
  return (jlong)(((uint64_t)(uint32_t)handle << 32) | ((uint64_t)(index & 0xFFFFu) << 16) | (kind & 0xFFFFu));
}

/* Whether a bytecode frame sits inside a call or a throw: its pc then lies past the
   instruction (the collector's rule). */
bool PastInstruction(VMFrame* frame, VMFrame* above) {
  if ((frame->flags & VMFrame::ThrowingFlag) != 0) return true;
  if (above == NULL) return false;
  return !(above->tag == VMFrame::HostFrameTag && above->GetIsJNI());
}

uint8_t LocalKind(VMBasicBlock* block, uint32_t i) {
  if (block->GetLocalIsRef(i)) return VMDebugPlace::Reference;
  if (block->GetLocalIsScalar(i)) return VMDebugPlace::Scalar;
  // A local nothing has written yet holds no reference either.
  if (!block->GetLocalIsIndeterminite(i) && !block->GetLocalIsRetAddress(i)) return VMDebugPlace::Scalar;
  return VMDebugPlace::Other;
}

VMword Extend(VMword raw, uint32_t as) {
  switch (as) {
    case 'B': return (VMword)(int32_t)(int8_t)raw;
    case 'Z': return (raw & 0xFF) != 0 ? 1u : 0u;
    case 'C': return raw & 0xFFFFu;
    case 'S': return (VMword)(int32_t)(int16_t)raw;
    default: return raw;
  }
}

}  // namespace

/* ---- handles ---- */

int32_t VMDebugger::FindHandle(VMObjectHandleArray* refs, VMuintArray* tags, VMObject* object, uint32_t tag) {
  uint32_t end = refs->GetCount();
  if (end > tags->GetSize()) end = tags->GetSize();
  for (uint32_t i = 1; i < end; i++)
    if (refs->Get(i) == object && tags->Get(i) == tag) return (int32_t)i;
  return 0;
}

/* A tag array that holds index: the same one, or a larger copy (the old one freed);
   NULL when the heap refuses, the old one then still in place. */
static VMuintArray* ExpandTags(HHeap* heap, VMuintArray* tags, uint32_t index) {
  uint32_t size = tags->GetSize();
  if (index < size) return tags;
  // Grown by half again: a client making many handles costs linear time, not quadratic.
  uint32_t grown = index + 20 + size / 2;
  VMuintArray* copy = VMuintArray::CreateInstance(heap, grown, jallocFailFast, VMTag_VMuintArray);
  if (copy == NULL) return NULL;
  copy->SetIsScalarArray();
  for (uint32_t i = 0; i < size; i++) copy->Set(i, tags->Get(i));
  tags->VMObject::Destroy(heap);
  return copy;
}

int32_t VMDebugger::EnHandle(uint32_t tag, VMObject* object) {
  if (object == NULL) return 0;
  int32_t handle = 0;
  VMUtils::MutexLock(GetClassLoadMutex());
  VMObjectHandleArray* refs = GetLocalRefs();
  if (refs->GetCount() <= MaxHandles) {
    uint32_t index = refs->Append(object);
    if (index != 0 && index <= MaxHandles) {
      VMuintArray* tags = ExpandTags(GetHeap(), GetLocalTags(), index);
      if (tags != NULL) {
        SetLocalTags(tags);
        tags->Set(index, tag);
        handle = (int32_t)index;
      }
    }
    // A slot without its tag would only ever read as a bad handle: it is given back.
    if (handle == 0 && index != 0) refs->Clear(index);
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  return handle;
}

int32_t VMDebugger::EnGlobal(uint32_t tag, VMObject* object) {
  if (object == NULL) return 0;
  int32_t handle = 0;
  VMUtils::MutexLock(GetClassLoadMutex());
  VMObjectHandleArray* refs = GetGlobalRefs();
  int32_t found = FindHandle(refs, GetGlobalTags(), object, tag);
  if (found != 0) {
    handle = -found;
  } else if (refs->GetCount() <= MaxHandles) {
    uint32_t index = refs->Append(object);
    if (index != 0 && index <= MaxHandles) {
      VMuintArray* tags = ExpandTags(GetHeap(), GetGlobalTags(), index);
      if (tags != NULL) {
        SetGlobalTags(tags);
        tags->Set(index, tag);
        handle = -(int32_t)index;
      }
    }
    if (handle == 0 && index != 0) refs->Clear(index);
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  return handle;
}

VMObject* VMDebugger::UnHandle(uint32_t tag, int32_t handle) {
  if (handle == 0) return NULL;
  bool global = handle < 0;
  // Negated as unsigned: the most negative number has no positive twin.
  uint32_t index = global ? 0u - (uint32_t)handle : (uint32_t)handle;
  VMObject* object = NULL;
  uint32_t stored = HandleNone;
  VMUtils::MutexLock(GetClassLoadMutex());
  VMObjectHandleArray* refs = global ? GetGlobalRefs() : GetLocalRefs();
  VMuintArray* tags = global ? GetGlobalTags() : GetLocalTags();
  if (index < refs->GetCount() && index < tags->GetSize()) {
    stored = tags->Get(index);
    object = refs->Get(index);
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  // Methods and local variables share the field's member layout, and serve where a
  // field is asked for.
  bool fits = stored == tag || (tag == HandleField && (stored == HandleMethod || stored == HandleLocal));
  if (!fits || object == NULL) {
    Log("Debug Error: bad handle\n");
    return NULL;
  }
  return object;
}

int32_t VMDebugger::RefNewGlobal(int32_t handle) {
  if (handle < 1) return handle;
  uint32_t index = (uint32_t)handle;
  VMObject* object = NULL;
  uint32_t tag = 0;
  VMUtils::MutexLock(GetClassLoadMutex());
  if (index < GetLocalRefs()->GetCount() && index < GetLocalTags()->GetSize()) {
    object = GetLocalRefs()->Get(index);
    tag = GetLocalTags()->Get(index);
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  if (object == NULL || tag == 0) return 0;
  // Each (object, kind) has one global slot: a global of the same object made for
  // another kind is a slot of its own, so neither stops resolving.
  return EnGlobal(tag, object);
}

void VMDebugger::RefGlobalFree(int32_t) {
  // Global handles live until the connection ends: the client may hold several copies
  // of one number, and none of them may come to name another object.
}

/* ---- frames ---- */

uint32_t VMDebugger::EnHandleFrame(VMFrame* frame) {
  if (frame == NULL) return 0;
  VMThread* thread = frame->thread;
  if (thread == NULL || !IsStopped(thread)) return 0;
  uint32_t depth = 0;
  VMFrame* f = thread->GetFrame();
  while (f != NULL && f != frame && depth <= 0xFFFFu) {
    f = f->caller;
    depth++;
  }
  if (f != frame || depth > 0xFFFFu) return 0;
  // One local handle per thread serves every frame handle of it.
  VMUtils::MutexLock(GetClassLoadMutex());
  int32_t h = FindHandle(GetLocalRefs(), GetLocalTags(), (VMObject*)thread, HandleFrameThread);
  VMUtils::MutexUnlock(GetClassLoadMutex());
  if (h == 0) h = EnHandle(HandleFrameThread, (VMObject*)thread);
  if (h <= 0 || (uint32_t)h > 0xFFFFu) return 0;
  return ((uint32_t)h << 16) | depth;
}

VMFrame* VMDebugger::UnHandleFrame(uint32_t handle, VMFrame** above) {
  if (above != NULL) *above = NULL;
  VMThread* thread = (VMThread*)UnHandle(HandleFrameThread, (int32_t)(handle >> 16));
  // The frames of a running thread change under the walk: only a thread that stands
  // still for the debugger is walked.
  if (thread == NULL || !IsStopped(thread)) return NULL;
  VMFrame* previous = NULL;
  VMFrame* f = thread->GetFrame();
  for (uint32_t depth = handle & 0xFFFFu; f != NULL && depth > 0; depth--) {
    previous = f;
    f = f->caller;
  }
  if (f != NULL && above != NULL) *above = previous;
  return f;
}

/* ---- JNI references ---- */

VMObject* VMDebugger::JNItoObj(uint32_t reference) {
  if (reference == 0 || (reference & VMJniHandle::MemberIdTag) != 0) return NULL;
  JNIEnv* env = Host()->GetCurrentEnv();
  if ((reference & (VMJniHandle::MachineGlobalTag | VMJniHandle::NameSpaceGlobalTag)) == 0) {
    // A local reference is some thread's: the stopped thread of the event, else the
    // first caught one, and only while it stands still.
    VMThread* owner = ThreadCurrent();
    if (owner == NULL) owner = ThreadNext(NULL);
    if (owner != NULL) {
      if (!IsStopped(owner) || owner->GetEnv() == NULL) return NULL;
      env = owner->GetEnv();
    }
  }
  if (env == NULL) return NULL;
  VMObject* object = VMJniHandle::UnHandle(env, (jobject)(uintptr_t)reference);
  return IsJavaObject(object) ? object : NULL;
}

/* ---- places ---- */

bool VMDebugger::Resolve(jlong address, VMDebugPlace& place) {
  memset(&place, 0, sizeof place);
  int32_t handle = (int32_t)(uint32_t)((uint64_t)address >> 32);
  uint32_t index = (uint32_t)(address >> 16) & 0xFFFFu;
  uint32_t kind = (uint32_t)address & 0xFFFFu;
  place.kind = kind;
  place.index = index;
  place.wordKind[0] = place.wordKind[1] = VMDebugPlace::Other;
  if (kind >= 1 && kind <= 3) {
    VMFrame* above = NULL;
    VMFrame* f = UnHandleFrame((uint32_t)handle, &above);
    if (f == NULL || !f->GetIsExecutableByteCode() || f->GetIsFirstFrame() || f->method == NULL) return false;
    VMByteCodeFrame* frame = (VMByteCodeFrame*)f;
    VMMethod* method = frame->method;
    uint32_t words = method->GetLocalWords();
    uint32_t locals = words >= 2 ? words - 2 : 0;
    if (index >= locals || frame->GetLocals() == NULL) return false;
    place.frame = frame;
    place.words[0] = frame->GetLocals() + index;
    place.words[1] = index + 1 < locals ? frame->GetLocals() + index + 1 : NULL;
    place.available = place.words[1] != NULL ? 8 : 4;
    VMword* start = frame->GetStackStart();
    uint32_t depth = frame->GetStack() > start ? (uint32_t)(frame->GetStack() - start) : 0;
    VMBasicBlock* block = NULL;
    if (VMBasicBlock::AcquireFrameState(method, frame->GetPC(false), PastInstruction(frame, above),
                                        frame->GetLocals(), start, depth, block) == 0) {
      place.wordKind[0] = LocalKind(block, index);
      if (place.words[1] != NULL) place.wordKind[1] = LocalKind(block, index + 1);
      VMBasicBlock::ReleaseFrameState(method);
    }
    place.writable = true;
    return true;
  }
  if (kind >= 4 && kind <= 6) {
    VMObject* object = UnHandle(HandleObject, handle);
    if (object == NULL) return false;
    VMDataMember* field = NULL;
    if (object->GetTag() == VMTag_VMStaticData && object->GetHasStaticDataClass()) {
      VMLoadableClass* cls = object->GetStaticDataClass();
      field = cls != NULL ? StaticFieldAt(cls, index) : NULL;
      if (field == NULL || index + (IsTwoWords(field) ? 2 : 1) > cls->GetNumStatics()) return false;
      VMClass* type = field->GetClass();
      // The collector follows a static word only when its field's type is known.
      place.wordKind[0] = type == NULL ? VMDebugPlace::Other
                          : type->GetIsPrimitive() ? VMDebugPlace::Scalar
                                                   : VMDebugPlace::Reference;
    } else {
      // Fields of Java instances only: arrays have elements (kind 7), descriptors and the
      // machine's own records have no fields a client may touch.
      if (!IsJavaObject(object)) return false;
      VMClass* c = object->GetClass();
      if (!c->GetIsLoadable() || c->GetIsArray() || c->GetIsPrimitive()) return false;
      if (c == (VMClass*)NameSpaceOf(this)->GetClassList()->GetClassClass()) return false;
      VMLoadableClass* cls = (VMLoadableClass*)c;
      VMboolArray* bits = cls->GetCreateBits();
      field = bits != NULL ? InstanceFieldAt(cls, index) : NULL;
      if (field == NULL || index + (IsTwoWords(field) ? 2 : 1) > cls->GetCreateSize()) return false;
      VMClass* type = field->GetClass();
      bool ref = bits->Get(index);
      if (ref && type != NULL && !type->GetIsPrimitive())
        place.wordKind[0] = VMDebugPlace::Reference;
      else if (!ref && type != NULL && type->GetIsPrimitive())
        place.wordKind[0] = VMDebugPlace::Scalar;
    }
    place.declared = field->GetClass();
    place.words[0] = object->GetElementAddress(index);
    if (IsTwoWords(field)) {
      place.words[1] = object->GetElementAddress(index + 1);
      place.wordKind[1] = place.wordKind[0];
    }
    place.available = place.words[1] != NULL ? 8 : 4;
    place.writable = true;
    return true;
  }
  if (kind == 7) {
    VMObject* object = UnHandle(HandleArray, handle);
    if (!IsJavaArray(object)) return false;
    VMArray* array = (VMArray*)object;
    if (index >= array->GetSize()) return false;
    uint32_t count = 0;
    place.bytes = (uint8_t*)array->FindElement(index, &count);
    if (place.bytes == NULL || count == 0) return false;
    place.available = count << array->GetElementShift();
    place.refArray = array->GetIsRefArray();
    VMClass* cls = array->GetClass();
    place.declared = ((VMArrayClass*)cls)->GetElementClass();
    place.writable = true;
    return true;
  }
  if (kind == 8) {
    VMObject* object = UnHandle(HandleObject, handle);
    if (object == NULL) return false;
    place.cell = (VMword)object;
    place.words[0] = &place.cell;
    place.wordKind[0] = VMDebugPlace::Reference;
    place.available = 4;
    // The cell is this call's copy: writing it would change nothing.
    place.writable = false;
    return true;
  }
  return false;
}

/* ---- watches ---- */

bool VMDebugger::BreakSetWrite(jlong address, uint32_t size) {
  static const char kRefused[] = "Debug assertion: address != NULL && size <= available\n";
  VMDebugPlace place;
  bool set = false;
  // The watch keeps its owner (an object, or a stopped frame of its own thread), never a
  // raw address: the place is found again at each check, so it follows the object and
  // ends with the frame. The reference cell of kind 8 is this call's copy: nothing there
  // can change.
  if (Resolve(address, place)) {
    int32_t handle = (int32_t)(uint32_t)((uint64_t)address >> 32);
    if (place.kind >= 1 && place.kind <= 3) {
      set = BreakSetWriteLocal(place.frame, place.index, size);
    } else if (place.kind >= 4 && place.kind <= 6) {
      set = BreakSetWriteBody(UnHandle(HandleObject, handle), place.index * 4, size);
    } else if (place.kind == 7) {
      VMArray* array = (VMArray*)UnHandle(HandleArray, handle);
      set = BreakSetWriteBody(array, 8 + (place.index << array->GetElementShift()), size);
    }
  }
  if (!set) Log(kRefused);
  return set;
}

bool VMDebugger::ReadPlace(jlong address, void* value, uint32_t width) {
  memset(value, 0, width);
  VMDebugPlace place;
  if (!Resolve(address, place) || place.available < width) return false;
  if (place.kind == 7) {
    memcpy(value, place.bytes, width);
    return true;
  }
  // A narrow read takes the low-order bytes of the slot's word.
  memcpy(value, place.words[0], width < 4 ? width : 4);
  if (width == 8) memcpy((uint8_t*)value + 4, place.words[1], 4);
  return true;
}

void VMDebugger::WritePlace(jlong address, const void* value, uint32_t width, uint32_t extendAs) {
  VMDebugPlace place;
  if (!Resolve(address, place) || !place.writable || place.available < width) return;
  if (place.kind == 7) {
    // A value never becomes a reference the collector would follow.
    if (place.refArray) return;
    memcpy(place.bytes, value, width);
    return;
  }
  if (place.wordKind[0] != VMDebugPlace::Scalar) return;
  if (width == 8) {
    if (place.words[1] == NULL || place.wordKind[1] != VMDebugPlace::Scalar) return;
    memcpy(place.words[0], value, 4);
    memcpy(place.words[1], (const uint8_t*)value + 4, 4);
    return;
  }
  // A narrow value fills its whole word in the form Java code expects of it.
  VMword raw = 0;
  memcpy(&raw, value, width);
  *place.words[0] = Extend(raw, extendAs);
}

jboolean VMDebugger::GetBoolean(jlong a) { return ReadAs<jboolean>(a); }
jbyte VMDebugger::GetByte(jlong a) { return ReadAs<jbyte>(a); }
jchar VMDebugger::GetChar(jlong a) { return ReadAs<jchar>(a); }
jshort VMDebugger::GetShort(jlong a) { return ReadAs<jshort>(a); }
jint VMDebugger::GetInt(jlong a) { return ReadAs<jint>(a); }
jfloat VMDebugger::GetFloat(jlong a) { return ReadAs<jfloat>(a); }
jlong VMDebugger::GetLong(jlong a) { return ReadAs<jlong>(a); }
jdouble VMDebugger::GetDouble(jlong a) { return ReadAs<jdouble>(a); }
void VMDebugger::SetBoolean(jlong a, jboolean v) {
  jboolean normal = (v & 0xFF) != 0 ? 1 : 0;
  WritePlace(a, &normal, 1, 'Z');
}
void VMDebugger::SetByte(jlong a, jbyte v) { WritePlace(a, &v, 1, 'B'); }
void VMDebugger::SetChar(jlong a, jchar v) { WritePlace(a, &v, 2, 'C'); }
void VMDebugger::SetShort(jlong a, jshort v) { WritePlace(a, &v, 2, 'S'); }
void VMDebugger::SetInt(jlong a, jint v) { WritePlace(a, &v, 4, 'I'); }
void VMDebugger::SetFloat(jlong a, jfloat v) { WritePlace(a, &v, 4, 'F'); }
void VMDebugger::SetLong(jlong a, jlong v) { WritePlace(a, &v, 8, 'J'); }
void VMDebugger::SetDouble(jlong a, jdouble v) { WritePlace(a, &v, 8, 'D'); }

/* ---- objects behind places ---- */

VMObject* VMDebugger::ObjectFromAddr(jlong address) {
  VMDebugPlace place;
  if (!Resolve(address, place) || place.available < 4) return NULL;
  VMObject* object = NULL;
  if (place.kind == 7) {
    if (!place.refArray) return NULL;
    memcpy(&object, place.bytes, 4);
  } else {
    if (place.wordKind[0] != VMDebugPlace::Reference) return NULL;
    object = (VMObject*)*place.words[0];
  }
  return IsJavaObject(object) ? object : NULL;
}

VMArray* VMDebugger::UnpackArray(jlong address) {
  VMObject* object = ObjectFromAddr(address);
  return IsJavaArray(object) ? (VMArray*)object : NULL;
}

jint VMDebugger::GetIdentityHashCode(jlong address) {
  VMObject* object = ObjectFromAddr(address);
  return object != NULL ? (jint)object->GetIdentityHashCode(GetVM()) : 0;
}

/* The string at the address when it is a well-formed java.lang.String. */
static VMJavaLangString* StringAt(VMDebugger* agent, jlong address) {
  VMObject* object = agent->ObjectFromAddr(address);
  VMNameSpace* ns = agent->GetNameSpace();
  if (object == NULL || object->GetClass() != (VMClass*)ns->GetClassList()->GetStringClass()) return NULL;
  VMJavaLangString* s = (VMJavaLangString*)object;
  VMObject* value = (VMObject*)s->GetValue();
  uint32_t offset = s->GetOffset();
  uint32_t count = s->GetCount();
  if (value == NULL) return count == 0 ? s : NULL;
  if (!IsJavaArray(value) || !value->GetIsScalarArray() || ((VMArray*)value)->GetElementShift() != 1) return NULL;
  uint32_t size = ((VMArray*)value)->GetSize();
  return offset <= size && count <= size - offset ? s : NULL;
}

VMJavaLangString* VMDebugger::GetString(jlong address) {
  VMJavaLangString* s = StringAt(this, address);
  if (s != NULL) return s;
  return VMJavaLangString::CreateInstance(Host()->GetCurrentEnv(), "<null>");
}

jint VMDebugger::GetStringLength(jlong address) {
  VMJavaLangString* s = StringAt(this, address);
  return s != NULL ? (jint)s->GetCount() : 0;
}

jint VMDebugger::ArraySize(VMArray* array) { return array != NULL ? (jint)array->GetSize() : 0; }

jint VMDebugger::GetArraySize(jlong address) { return ArraySize(UnpackArray(address)); }

jlong VMDebugger::GetArrayElement(jlong address, jint index) {
  VMArray* array = UnpackArray(address);
  // The index field holds 16 bits: an element it cannot name has no address.
  if (array == NULL || index < 0 || (uint32_t)index >= array->GetSize() || index > 0xFFFF) return 0;
  int32_t handle = EnHandle(HandleArray, array);
  return handle != 0 ? MakeAddress(handle, (uint32_t)index, 7) : 0;
}

VMClass* VMDebugger::GetElementClass(jlong address) {
  VMArray* array = UnpackArray(address);
  return array != NULL ? ((VMArrayClass*)array->GetClass())->GetElementClass() : NULL;
}

/* Whether a reference slot of the place may take a String. */
static bool TakesString(VMDebugger* agent, VMDebugPlace& place) {
  VMNameSpace* ns = agent->GetNameSpace();
  VMClass* string = (VMClass*)ns->GetClassList()->GetStringClass();
  VMClass* declared = place.declared;
  if (place.kind >= 1 && place.kind <= 3) {
    // A local's type is its entry in the local-variable table at the frame's pc.
    VMByteCodeFrame* frame = place.frame;
    VMStatus status = 0;
    VMLocalDataMemberArray* locals = frame->method->GetLocalVariables(&status);
    uint32_t pc = frame->GetPC(false);
    for (uint32_t i = 0; status == 0 && locals != NULL && i < locals->GetSize() && declared == NULL; i++) {
      VMLocalDataMember* l = locals->Get(i);
      uint32_t start = l != NULL ? (uint16_t)l->GetScopeStart() : 0;
      uint32_t length = l != NULL ? (uint16_t)l->GetScopeLength() : 0;
      if (l == NULL || (uint32_t)l->GetIndex() != place.index || pc < start || pc - start >= length) continue;
      VMLiteral* sig = l->GetSignature();
      if (sig == NULL || sig->UTF8Length() == 0 || (sig->ByteAt(0) != 'L' && sig->ByteAt(0) != '[')) return false;
      declared = VMClass::FindBySignature(ns, sig, frame->method->GetDefinedIn()->GetClassLoader());
      if (declared == NULL) return false;
    }
  }
  return declared != NULL && VMClass::AssignableFrom(string, declared);
}

bool VMDebugger::SetString(jlong address, const char* text) {
  VMDebugPlace place;
  if (text == NULL || !Resolve(address, place) || !place.writable || place.available < 4) return false;
  if (place.kind == 7 ? !place.refArray : place.wordKind[0] != VMDebugPlace::Reference) return false;
  if (!TakesString(this, place)) return false;
  // Made last: the slot's words stay where they are while it is made (the collector
  // moves nothing, and the slot's object or frame stays held meanwhile).
  VMJavaLangString* s = VMJavaLangString::CreateInstance(Host()->GetCurrentEnv(), text);
  if (s == NULL) return false;
  VMword word = (VMword)s;
  if (place.kind == 7)
    memcpy(place.bytes, &word, 4);
  else
    *place.words[0] = word;
  return true;
}

/* ---- addresses of members ---- */

jlong VMDebugger::LocalAddress(VMLocalDataMember* local, VMFrame* f) {
  if (local == NULL || f == NULL || !local->GetIsLocal()) return 0;
  if (!f->GetIsExecutableByteCode() || f->GetIsFirstFrame() || f->method == NULL) return 0;
  VMByteCodeFrame* frame = (VMByteCodeFrame*)f;
  VMMethod* method = frame->method;
  // Only a local of the frame's own method: another method's slot and type say nothing
  // about this frame's words.
  VMStatus status = 0;
  VMLocalDataMemberArray* table = method->GetLocalVariables(&status);
  bool own = false;
  for (uint32_t i = 0; status == 0 && table != NULL && i < table->GetSize() && !own; i++)
    own = table->Get(i) == local;
  if (!own) return 0;
  uint32_t pc = frame->GetPC(false);
  uint32_t start = (uint16_t)local->GetScopeStart();
  uint32_t length = (uint16_t)local->GetScopeLength();
  if (pc < start || pc - start >= length) return 0;
  uint32_t slot = (uint32_t)local->GetIndex();
  uint32_t words = method->GetLocalWords();
  if (words < 2 || slot >= words - 2) return 0;
  uint32_t handle = EnHandleFrame(frame);
  if (handle == 0) return 0;
  return MakeAddress((int32_t)handle, slot, KindBySignature(local->GetSignature(), 1));
}

jlong VMDebugger::FieldAddress(VMDataMember* field, jlong objectAddress) {
  // Fields only: a method's or a local's index is no word of any object.
  if (field == NULL || field->GetTag() != VMDataMember::Tag || field->GetIsLocal()) return 0;
  VMLoadableClass* definedIn = field->GetDefinedIn();
  if (definedIn == NULL) return 0;
  VMObject* holder;
  if (field->GetIsStatic()) {
    // Static data that does not exist yet is not made here: making it would run the
    // class's initialiser on the client's thread while the machine stands still.
    holder = definedIn->GetInitializedStaticData(GetVM());
  } else {
    holder = ObjectFromAddr(objectAddress);
    if (holder != NULL && !SubclassOf(holder->GetClass(), (VMClass*)definedIn)) holder = NULL;
  }
  if (holder == NULL) return 0;
  int32_t handle = EnHandle(HandleObject, holder);
  if (handle == 0) return 0;
  return MakeAddress(handle, (uint32_t)field->GetIndex(), KindBySignature(field->GetSignature(), 4));
}

jlong VMDebugger::AddrNewGlobal(jlong address) {
  uint32_t kind = (uint32_t)address & 0xFFFFu;
  uint32_t tag = kind == 7 ? (uint32_t)HandleArray : (kind >= 4 && kind <= 8) ? (uint32_t)HandleObject : 0u;
  if (tag == 0) return 0;
  int32_t handle = (int32_t)(uint32_t)((uint64_t)address >> 32);
  if (UnHandle(tag, handle) == NULL) return 0;
  int32_t global = RefNewGlobal(handle);
  if (global == 0) return 0;
  return (jlong)(((uint64_t)(uint32_t)global << 32) | ((uint64_t)address & 0xFFFFFFFFu));
}

void VMDebugger::AddrFreeGlobal(jlong address) {
  uint32_t kind = (uint32_t)address & 0xFFFFu;
  uint32_t tag = kind == 7 ? (uint32_t)HandleArray : (kind >= 4 && kind <= 8) ? (uint32_t)HandleObject : 0u;
  if (tag == 0) return;
  int32_t handle = (int32_t)(uint32_t)((uint64_t)address >> 32);
  if (handle < 0 && UnHandle(tag, handle) != NULL) RefGlobalFree(handle);
}
