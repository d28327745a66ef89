#include "vmconstantpool.h"

#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

/* ---- creation ---- */

VMConstantPool* VMConstantPool::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return static_cast<VMConstantPool*>(
      CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMConstantPool, jallocFailFast));
}

VMConstantPool* VMConstantPool::CreateInstance(HHeap* heap, uint32_t count) {
  if (count == 0 || count > 0xFFFF) return NULL;
  VMConstantPool* pool =
      static_cast<VMConstantPool*>(VMArray::CreateInstance(heap, count, 4, jallocFailFast,
                                                           VMTag_VMConstantPool));
  if (pool == NULL) return NULL;
  // One slot more than the entries: it holds the flag of the parser's resolution pass.
  VMshortArray* types =
      VMshortArray::CreateInstance(heap, count + 1, jallocFailFast, VMTag_VMConstantPoolTypes);
  if (types == NULL) {
    pool->VMObject::Destroy(heap);
    return NULL;
  }
  types->Set(0, 1);
  pool->SetWord(0, (VMword)types);
  pool->ClearIsScalarArray();
  pool->SetSpecialObjWalker(WalkReferences);
  return pool;
}

void VMConstantPool::Destroy(HHeap* heap) {
  VMshortArray* types = GetTypes();
  if (types != NULL) {
    uint32_t filled = GetCursor();
    for (uint32_t i = 1; i < filled && i < GetCount(); i++)
      if (types->Get(i) == TYPE_Utf8 && GetWord(i) != 0) ((VMbyteArray*)GetWord(i))->Destroy(heap);
    types->Destroy(heap);
    SetWord(0, 0);
  }
  VMObject::Destroy(heap);
}

/* ---- writers ---- */

uint32_t VMConstantPool::NextPosition(int16_t type) {
  uint32_t position = GetCursor();
  if (position == 0 || position >= GetCount()) return 0;
  SetConstType(position, type);
  GetTypes()->Set(0, (jshort)(position + 1));
  return position;
}

namespace {

inline VMword Pack(uint16_t first, uint16_t second) { return (VMword)first << 16 | second; }

/* A one-word entry; the value is written only where the pool had room. */
uint32_t PlaceWord(VMConstantPool* pool, int16_t type, VMword value) {
  uint32_t p = pool->NextPosition(type);
  if (p != 0) pool->SetConstWord(p, value);
  return p;
}

/* A Long or Double: low word first, the high word in the unusable entry after it. */
uint32_t PlaceWide(VMConstantPool* pool, int16_t type, uint64_t bits) {
  // Both halves must fit: a wide entry in the last slot has no room for its high word.
  if (pool->GetCursor() + 1 >= pool->GetCount()) return 0;
  uint32_t p = pool->NextPosition(type);
  pool->NextPosition(VMConstantPool::TYPE_Unusable);
  pool->SetConstWord(p, (VMword)bits);
  pool->SetConstWord(p + 1, (VMword)(bits >> 32));
  return p;
}

}  // namespace

uint32_t VMConstantPool::SetConstUtf8(VMbyteArray* bytes) {
  return PlaceWord(this, TYPE_Utf8, (VMword)bytes);
}

uint32_t VMConstantPool::SetConstInt(jint value) {
  return PlaceWord(this, TYPE_Integer, (VMword)value);
}

uint32_t VMConstantPool::SetConstFloat(jfloat value) {
  VMword bits;
  memcpy(&bits, &value, 4);
  return PlaceWord(this, TYPE_Float, bits);
}

uint32_t VMConstantPool::SetConstFloatBits(uint32_t bits) { return PlaceWord(this, TYPE_Float, bits); }

uint32_t VMConstantPool::SetConstDoubleBits(uint64_t bits) { return PlaceWide(this, TYPE_Double, bits); }

uint32_t VMConstantPool::SetConstLong(jlong value) {
  return PlaceWide(this, TYPE_Long, (uint64_t)value);
}

uint32_t VMConstantPool::SetConstDouble(jdouble value) {
  uint64_t bits;
  memcpy(&bits, &value, 8);
  return PlaceWide(this, TYPE_Double, bits);
}

uint32_t VMConstantPool::SetConstClass(uint16_t nameIndex) {
  return PlaceWord(this, TYPE_Class, nameIndex);
}

uint32_t VMConstantPool::SetConstString(uint16_t utf8Index) {
  return PlaceWord(this, TYPE_String, utf8Index);
}

uint32_t VMConstantPool::SetConstField(uint16_t classIndex, uint16_t nameAndTypeIndex) {
  return PlaceWord(this, TYPE_FieldRef, Pack(classIndex, nameAndTypeIndex));
}

uint32_t VMConstantPool::SetConstMethod(uint16_t classIndex, uint16_t nameAndTypeIndex) {
  return PlaceWord(this, TYPE_MethodRef, Pack(classIndex, nameAndTypeIndex));
}

uint32_t VMConstantPool::SetConstInterfaceMethod(uint16_t classIndex, uint16_t nameAndTypeIndex) {
  return PlaceWord(this, TYPE_InterfaceMethodRef, Pack(classIndex, nameAndTypeIndex));
}

uint32_t VMConstantPool::SetConstNameAndType(uint16_t nameIndex, uint16_t descriptorIndex) {
  return PlaceWord(this, TYPE_NameAndType, Pack(nameIndex, descriptorIndex));
}

/* ---- plain readers ---- */

jint VMConstantPool::GetConstInt(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_Integer);
  return (jint)GetWord(index);
}

jfloat VMConstantPool::GetConstFloat(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_Float);
  VMword bits = GetWord(index);
  jfloat f;
  memcpy(&f, &bits, 4);
  return f;
}

jlong VMConstantPool::GetConstLong(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_Long || GetConstType(index) == TYPE_Double);
  return (jlong)((uint64_t)GetWord(index + 1) << 32 | GetWord(index));
}

jdouble VMConstantPool::GetConstDouble(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_Long || GetConstType(index) == TYPE_Double);
  uint64_t bits = (uint64_t)GetWord(index + 1) << 32 | GetWord(index);
  jdouble d;
  memcpy(&d, &bits, 8);
  return d;
}

VMLoadableClass* VMConstantPool::GetConstResolvedClass(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_Class_Resolved);
  return (VMLoadableClass*)GetWord(index);
}

VMDataMember* VMConstantPool::GetConstResolvedField(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_FieldRef_Resolved);
  return (VMDataMember*)GetWord(index);
}

VMMethod* VMConstantPool::GetConstResolvedMethod(uint32_t index) const {
  VM_ASSERT(GetConstType(index) == TYPE_MethodRef_Resolved ||
            GetConstType(index) == TYPE_InterfaceMethodRef_Resolved);
  return (VMMethod*)GetWord(index);
}

bool VMConstantPool::GetConstIsRef(uint32_t index) const {
  int16_t t = GetConstType(index);
  return t == TYPE_String || t == TYPE_String_Resolved;
}

VMbyteArray* VMConstantPool::GetConstUtf8Bytes(uint32_t index) const {
  if (!IsIndex(index) || GetConstType(index) != TYPE_Utf8) return NULL;
  return (VMbyteArray*)GetWord(index);
}

VMLoadableClass* VMConstantPool::StoredClass(uint32_t index) const {
  if (!IsIndex(index) || !GetClassesResolved()) return NULL;
  int16_t t = GetConstType(index);
  if (t != TYPE_Class && t != TYPE_Class_Resolved) return NULL;
  // While the parser reads a file its Class entries hold names; the descriptors come
  // when the whole file has been read.
  VMObject* word = (VMObject*)GetWord(index);
  return word != NULL && word->GetTag() == VMClass::Tag ? (VMLoadableClass*)word : NULL;
}

/* ---- the pool's monitor ---- */

VMNameSpace* VMConstantPool::MonitorNameSpace(VMNameSpace* fallback) {
  VM* vm = VM::Current();
  return vm != NULL && vm->GetNameSpace() != NULL ? vm->GetNameSpace() : fallback;
}

VMStatus VMConstantPool::Enter(VMNameSpace* ns) { return MonitorEnter(MonitorNameSpace(ns)); }

void VMConstantPool::Leave(VMNameSpace* ns) { MonitorExit(MonitorNameSpace(ns)); }

/* ---- resolution ----

   An entry's type is read once; a resolved entry's word is read after it (the writer
   stores the word first and publishes the type last). Everything an unresolved entry
   holds (the bytes of a Utf8, the indices of a reference) is read under the pool's
   monitor after testing the type again, since another thread may resolve the entry and
   replace its word at any moment. Classes are initialised and members looked up outside
   the monitor: initialisation runs Java code and waits for other threads. */

VMLiteral* VMConstantPool::GetConstUtf8(VMNameSpace* ns, uint32_t index) {
  if (!IsIndex(index)) return NULL;
  int16_t t = GetConstType(index);
  if (t == TYPE_Utf8_Resolved) return (VMLiteral*)GetWord(index);
  if (t != TYPE_Utf8 || Enter(ns) != 0) return NULL;
  VMLiteral* literal = NULL;
  t = GetConstType(index);
  if (t == TYPE_Utf8_Resolved) {
    literal = (VMLiteral*)GetWord(index);
  } else if (t == TYPE_Utf8) {
    VMbyteArray* bytes = (VMbyteArray*)GetWord(index);
    literal = VMLiteral::CreateInstance(ns, bytes);
    if (literal != NULL) {
      SetWord(index, (VMword)literal);
      SetConstType(index, TYPE_Utf8_Resolved);
      bytes->Destroy(ns->GetHeap());
    }
  }
  Leave(ns);
  return literal;
}

VMLiteral* VMConstantPool::GetConstUtf8(VMLoadableClass* cls, uint32_t index) {
  return GetConstUtf8(cls->GetNameSpace(), index);
}

VMJavaLangString* VMConstantPool::GetConstString(VMNameSpace* ns, uint32_t index) {
  if (!IsIndex(index)) return NULL;
  int16_t t = GetConstType(index);
  if (t == TYPE_String_Resolved) return (VMJavaLangString*)GetWord(index);
  if (t != TYPE_String || Enter(ns) != 0) return NULL;
  VMJavaLangString* string = NULL;
  t = GetConstType(index);
  if (t == TYPE_String_Resolved) {
    string = (VMJavaLangString*)GetWord(index);
  } else if (t == TYPE_String) {
    VMLiteral* literal = GetConstUtf8(ns, GetWord(index));
    if (literal != NULL) string = VMJavaLangString::CreateIntern(ns, literal);
    if (string != NULL) {
      SetWord(index, (VMword)string);
      SetConstType(index, TYPE_String_Resolved);
    }
  }
  Leave(ns);
  return string;
}

VMJavaLangString* VMConstantPool::GetConstString(VMLoadableClass* cls, uint32_t index) {
  return GetConstString(cls->GetNameSpace(), index);
}

VMLoadableClass* VMConstantPool::GetConstClass(uint32_t index, VMStatus* status, bool initialize) {
  VMStatus ignored;
  if (status == NULL) status = &ignored;
  *status = 0;
  bool resolved = IsIndex(index) && GetConstType(index) == TYPE_Class_Resolved;
  VMLoadableClass* cls = StoredClass(index);
  if (cls == NULL) {
    *status = VMStatus_ClassFormatError;
    return NULL;
  }
  if (!initialize || resolved) return cls;
  // Initialising runs Java code and may wait for other threads: never under the pool's
  // monitor, which every other resolution in this pool needs. The class word is fixed
  // since the parser's pass, so only the type changes afterwards, and storing it twice
  // is harmless.
  if (cls->GetIsLoadable()) {
    JNIEnv* env = VMUtils::GetHostFunctions()->GetCurrentEnv();
    VMStatus s = cls->Initialize(env);
    if (s != 0) {
      *status = s;
      return NULL;
    }
  }
  VMNameSpace* ns = cls->GetNameSpace();
  VMStatus s = Enter(ns);
  if (s != 0) {
    *status = s;
    return NULL;
  }
  SetConstType(index, TYPE_Class_Resolved);
  Leave(ns);
  return cls;
}

bool VMConstantPool::ReadReference(uint32_t index, bool anyKind, int16_t kind, Reference* ref,
                                   VMStatus* status) {
  *status = 0;
  ref->member = NULL;
  ref->cls = NULL;
  int16_t t = IsIndex(index) ? GetConstType(index) : 0;
  bool reference = t == TYPE_FieldRef || t == TYPE_MethodRef || t == TYPE_InterfaceMethodRef;
  bool member = t == TYPE_FieldRef_Resolved || t == TYPE_MethodRef_Resolved ||
                t == TYPE_InterfaceMethodRef_Resolved;
  if (!anyKind && t != kind && t != -kind) reference = member = false;
  if (member) {
    ref->member = (VMMember*)GetWord(index);
    return true;
  }
  if (!reference) {
    *status = VMStatus_ClassFormatError;
    return false;
  }
  // A first look, only to find the pool's name space: the indices are read again under
  // the monitor. When the look fails the entry is being resolved, by a thread that has
  // made the monitor already.
  uint16_t classIndex, nameAndType;
  GetConstTwoShort(index, &classIndex, &nameAndType);
  VMLoadableClass* any = StoredClass(classIndex);
  VMNameSpace* ns = any != NULL ? any->GetNameSpace() : NULL;
  *status = Enter(ns);
  if (*status != 0) return false;
  if (GetConstType(index) == -t) {
    ref->member = (VMMember*)GetWord(index);
  } else {
    GetConstTwoShort(index, &classIndex, &nameAndType);
    ref->classIndex = classIndex;
    ref->cls = StoredClass(classIndex);
    uint16_t nameIndex = 0, descriptorIndex = 0;
    if (IsIndex(nameAndType) && GetConstType(nameAndType) == TYPE_NameAndType)
      GetConstTwoShort(nameAndType, &nameIndex, &descriptorIndex);
    if (ref->cls == NULL || nameIndex == 0) {
      *status = VMStatus_ClassFormatError;
    } else {
      ref->name = GetConstUtf8(ref->cls->GetNameSpace(), nameIndex);
      ref->signature = GetConstUtf8(ref->cls->GetNameSpace(), descriptorIndex);
      if (ref->name == NULL || ref->signature == NULL) *status = VMStatus_OutOfMemoryError;
    }
  }
  Leave(ns);
  return *status == 0;
}

void VMConstantPool::Publish(uint32_t index, int16_t kind, VMMember** member) {
  VMNameSpace* ns = (*member)->GetDefinedIn()->GetNameSpace();
  if (Enter(ns) != 0) return;  // the answer stands; the entry stays to be resolved again
  if (GetConstType(index) == kind) {
    SetWord(index, (VMword)*member);
    SetConstType(index, (int16_t)-kind);
  } else if (GetConstType(index) == -kind) {
    *member = (VMMember*)GetWord(index);
  }
  Leave(ns);
}

VMLoadableClass* VMConstantPool::getClassNameAndSignature(uint32_t index, VMLiteral** name,
                                                          VMLiteral** signature, VMStatus* status) {
  VMStatus ignored;
  if (status == NULL) status = &ignored;
  Reference ref;
  if (!ReadReference(index, true, 0, &ref, status)) return NULL;
  if (ref.member != NULL) {
    *name = ref.member->GetName();
    *signature = ref.member->GetSignature();
    return ref.member->GetDefinedIn();
  }
  VMLoadableClass* cls = GetConstClass(ref.classIndex, status, false);
  if (cls == NULL) return NULL;
  *name = ref.name;
  *signature = ref.signature;
  return cls;
}

/* Access to a member from a class. A private member is reachable from its own class
   only: invokespecial's flag grants nothing here (its own rule for constructors is the
   caller's). */
VMStatus VMConstantPool::CheckAccess(VMMember* member, VMLoadableClass* accessor, bool) {
  if (member->GetIsPublic()) return 0;
  VMLoadableClass* owner = member->GetDefinedIn();
  if (member->GetIsPrivate()) return owner == accessor ? 0 : VMStatus_IllegalAccessError;
  if (member->GetIsProtected() && accessor != NULL &&
      VMClass::AssignableFrom((VMClass*)accessor, (VMClass*)owner))
    return 0;
  if (accessor != NULL && owner != NULL && accessor->GetPackage() == owner->GetPackage() &&
      accessor->GetPackage() != NULL)
    return 0;
  return VMStatus_IllegalAccessError;
}

VMDataMember* VMConstantPool::GetConstField(VMLoadableClass* accessor, uint32_t index,
                                            VMStatus* status) {
  if (IsIndex(index) && GetConstType(index) == TYPE_FieldRef_Resolved) {
    if (status != NULL) *status = 0;
    return (VMDataMember*)GetWord(index);
  }
  return GetConstUnresolvedField(accessor, index, status);
}

namespace {

/* The class a field or method reference names, loaded and prepared but not initialised:
   only new, getstatic, putstatic and invokestatic initialise a class, and they do so
   themselves (a member of a null receiver, or an interface call, initialises nothing).
   A class that cannot be prepared leaves its failure pending with its name. */
VMLoadableClass* LinkedClass(VMConstantPool* pool, uint32_t classIndex, VMStatus* status) {
  VMLoadableClass* cls = pool->GetConstClass(classIndex, status, false);
  if (cls == NULL || !cls->GetIsLoadable() || cls->GetIsPrepared()) return cls;
  VMLoadableClass* failing = NULL;
  *status = cls->Prepare(&failing);
  if (*status == 0) return cls;
  JNIEnv* env = VMUtils::GetHostFunctions()->GetCurrentEnv();
  VMThread* thread = env != NULL ? env->thread : NULL;
  VMNameSpace* ns = cls->GetNameSpace();
  if (thread != NULL && thread->GetException() == NULL && ns->GetIsInitialized())
    thread->SetExceptionStatus(*status, (failing != NULL ? failing : cls)->GetDotName());
  return NULL;
}

/* The object class of the referenced class's name space: methods named on an array
   class are the methods of java/lang/Object. */
VMLoadableClass* ObjectClassOf(VMClass* cls) {
  VMClassList* list = cls->GetNameSpace()->GetClassList();
  return list != NULL ? list->GetObjectClass() : NULL;
}

}  // namespace

VMDataMember* VMConstantPool::GetConstUnresolvedField(VMLoadableClass* accessor, uint32_t index,
                                                      VMStatus* status) {
  VMStatus ignored;
  if (status == NULL) status = &ignored;
  Reference ref;
  if (!ReadReference(index, false, TYPE_FieldRef, &ref, status)) return NULL;
  if (ref.member != NULL) return (VMDataMember*)ref.member;
  VMLoadableClass* cls = LinkedClass(this, ref.classIndex, status);
  if (cls == NULL) return NULL;
  if (!cls->GetIsLoadable()) {
    *status = VMStatus_NoSuchFieldError;  // arrays have no fields
    return NULL;
  }
  VMDataMember* field = cls->FindField(ref.name, ref.signature, false, NULL);
  // Compilers for newer targets name the class the access is made through, not the
  // declaring one: look along the supertypes too (preparing the interfaces met; the
  // access itself initialises the declaring class).
  if (field == NULL) field = cls->FindField(ref.name, ref.signature, true, NULL);
  if (field == NULL) {
    *status = VMStatus_NoSuchFieldError;
    return NULL;
  }
  *status = CheckAccess((VMMember*)field, accessor, false);
  if (*status != 0) return NULL;
  VMMember* member = (VMMember*)field;
  Publish(index, TYPE_FieldRef, &member);
  return (VMDataMember*)member;
}

VMMethod* VMConstantPool::GetConstMethod(VMLoadableClass* accessor, uint32_t index,
                                         VMStatus* status, bool special) {
  VMStatus ignored;
  if (status == NULL) status = &ignored;
  if (VMMethod* resolved = ResolvedMethodAt(index)) {
    *status = 0;
    return resolved;
  }
  Reference ref;
  if (!ReadReference(index, false, TYPE_MethodRef, &ref, status)) return NULL;
  if (ref.member != NULL) return (VMMethod*)ref.member;
  VMLoadableClass* cls = LinkedClass(this, ref.classIndex, status);
  if (cls == NULL) return NULL;
  // An array class has the methods of java/lang/Object (clone of an array, for one).
  VMLoadableClass* searched = cls->GetIsLoadable() ? cls : ObjectClassOf(cls);
  VMMethod* method = searched != NULL ? searched->FindMethod(ref.name, ref.signature, true) : NULL;
  if (method == NULL) {
    *status = VMStatus_NoSuchMethodError;
    return NULL;
  }
  *status = CheckAccess((VMMember*)method, accessor, special);
  if (*status != 0) return NULL;
  // Constructors are not inherited: invokespecial may call only the named class's own.
  VMLiteralTable* literals = cls->GetNameSpace()->GetLiterals();
  bool inheritedConstructor =
      literals != NULL && ref.name == literals->GetInit() && method->GetDefinedIn() != searched;
  if (inheritedConstructor && special) {
    *status = VMStatus_NoSuchMethodError;
    return NULL;
  }
  // Such an answer depends on the flag: it is not kept for the next use of the entry.
  if (inheritedConstructor) return method;
  VMMember* member = (VMMember*)method;
  Publish(index, TYPE_MethodRef, &member);
  return (VMMethod*)member;
}

VMMethod* VMConstantPool::GetConstInterfaceMethod(uint32_t index, VMStatus* status) {
  VMStatus ignored;
  if (status == NULL) status = &ignored;
  if (VMMethod* resolved = ResolvedInterfaceMethodAt(index)) {
    *status = 0;
    return resolved;
  }
  Reference ref;
  if (!ReadReference(index, false, TYPE_InterfaceMethodRef, &ref, status)) return NULL;
  if (ref.member != NULL) return (VMMethod*)ref.member;
  VMLoadableClass* cls = LinkedClass(this, ref.classIndex, status);
  if (cls == NULL) return NULL;
  VMLoadableClass* object = ObjectClassOf(cls);
  VMLoadableClass* searched = cls->GetIsLoadable() ? cls : object;
  // The named interface first; then its superinterfaces, and last java/lang/Object's
  // methods, which every interface type has.
  VMMethod* method = NULL;
  if (searched != NULL) {
    method = searched->FindMethod(ref.name, ref.signature, false);
    if (method == NULL) method = searched->FindSuperInterfaceMethod(ref.name, ref.signature);
    if (method == NULL) method = searched->FindMethod(ref.name, ref.signature, true);
  }
  if (method == NULL && object != NULL) method = object->FindMethod(ref.name, ref.signature, false);
  if (method == NULL) {
    *status = VMStatus_NoSuchMethodError;
    return NULL;
  }
  VMMember* member = (VMMember*)method;
  Publish(index, TYPE_InterfaceMethodRef, &member);
  return (VMMethod*)member;
}

/* ---- queries ---- */

namespace {
__thread VMConstantPool::MemberMemo* tMemberMemo = NULL;
}

void VMConstantPool::BeginMemberMemo(VMConstantPool* pool, MemberMemo* memo) {
  memo->pool = pool;
  memo->outer = tMemberMemo;
  for (uint32_t i = 0; i < MemberMemo::Slots; i++) memo->entries[i].index = 0;
  tMemberMemo = memo;
}

void VMConstantPool::EndMemberMemo(MemberMemo* memo) { tMemberMemo = memo->outer; }

VMLoadableClass* VMConstantPool::GetMemberRef(uint32_t index, VMLiteral** name, VMLiteral** signature) {
  MemberMemo* memo = tMemberMemo;
  MemberMemo::Entry* kept = NULL;
  if (memo != NULL && memo->pool == this && index != 0) {
    kept = &memo->entries[index % MemberMemo::Slots];
    if (kept->index == index) {
      *name = kept->name;
      *signature = kept->signature;
      return kept->owner;
    }
  }
  VMStatus status = 0;
  Reference ref;
  if (!ReadReference(index, true, 0, &ref, &status)) return NULL;
  VMLoadableClass* owner;
  if (ref.member != NULL) {
    *name = ref.member->GetName();
    *signature = ref.member->GetSignature();
    owner = ref.member->GetDefinedIn();
  } else {
    *name = ref.name;
    *signature = ref.signature;
    owner = ref.cls;
  }
  if (kept != NULL && owner != NULL) {
    kept->index = index;
    kept->owner = owner;
    kept->name = *name;
    kept->signature = *signature;
  }
  return owner;
}

VMLiteral* VMConstantPool::GetConstName(VMLoadableClass*, uint32_t index) {
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  return GetMemberRef(index, &name, &signature) != NULL ? name : NULL;
}

VMLiteral* VMConstantPool::GetConstSignature(VMLoadableClass*, uint32_t index) {
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  return GetMemberRef(index, &name, &signature) != NULL ? signature : NULL;
}

VMLiteral* VMConstantPool::GetConstClassName(uint32_t index) {
  if (!IsIndex(index)) return NULL;
  int16_t t = GetConstType(index);
  if (t == TYPE_Class || t == TYPE_Class_Resolved) {
    VMLoadableClass* cls = GetConstClass(index, NULL, false);
    return cls != NULL ? cls->GetName() : NULL;
  }
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  VMLoadableClass* cls = GetMemberRef(index, &name, &signature);
  return cls != NULL ? cls->GetName() : NULL;
}

VMLiteral* VMConstantPool::GetFieldName(uint32_t index) {
  VMLiteral* name = NULL;
  VMLiteral* signature = NULL;
  VMStatus status = 0;
  // A resolved entry no longer holds its indices: its member names the class.
  VMLoadableClass* cls = getClassNameAndSignature(index, &name, &signature, &status);
  if (cls == NULL) return NULL;
  VMNameSpace* ns = cls->GetNameSpace();
  VMLiteral* empty = VMLiteral::CreateInstance(ns, "", 0);
  VMLiteral* dot = VMLiteral::CreateInstance(ns, ".", 1);
  VMLiteral* dotName = cls->GetDotName();
  if (empty == NULL || dot == NULL || dotName == NULL) return NULL;
  VMLiteral* text = empty->Concat(ns, dotName);
  if (text != NULL) text = text->Concat(ns, dot);
  if (text != NULL) text = text->Concat(ns, name);
  return text;
}

/* ---- the collector's walk ---- */

/* The collector's own walk of one object (core/vmobject_walk.cpp). */
VMCommonObjectBase::WalkResult VMConstantPoolDescend(VMObject* object,
                                                     VMCommonObjectBase::WalkCallback callback,
                                                     void* context);

VMCommonObjectBase::WalkResult VMConstantPool::WalkReferences(VMword* slot, WalkCallback callback,
                                                              void* context) {
  VMConstantPool* pool = (VMConstantPool*)*slot;
  if (pool == NULL || pool->GetTypes() == NULL) return WalkDone;
  VMLocation location;
  pool->LocateElement(0, location);
  WalkResult r = callback(location.address, context);
  if (r == WalkAbort) return WalkAbort;
  VMshortArray* types = pool->GetTypes();
  bool classes = pool->GetClassesResolved();
  uint32_t filled = pool->GetCursor();
  for (uint32_t i = 1; i < filled && i < pool->GetCount(); i++) {
    int16_t t = types->Get(i);
    bool object = t == TYPE_Utf8 || t == TYPE_Utf8_Resolved || t == TYPE_Class_Resolved ||
                  t == TYPE_String_Resolved || t == TYPE_FieldRef_Resolved ||
                  t == TYPE_MethodRef_Resolved || t == TYPE_InterfaceMethodRef_Resolved ||
                  (t == TYPE_Class && classes);
    if (!object) continue;
    pool->LocateElement(i, location);
    r = callback(location.address, context);
    if (r == WalkAbort) return WalkAbort;
    if (r == WalkDescend && *location.address != 0 &&
        VMConstantPoolDescend((VMObject*)*location.address, callback, context) != WalkDone)
      return WalkAbort;
  }
  return WalkDone;
}
