/* Class descriptors: creation, destruction, look-up by name and signature, array classes,
   type relations and member look-up. */
#include "vmclass.h"

#include "vmclass_support.h"
#include "vm.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmerrorcatcher.h"
#include "vmliteral.h"
#include "vmthread.h"
#include "vmutils.h"

#include <string.h>

using namespace classmodel;

/* ---------------------------------------------------------------------------------- */
/* Creation and destruction                                                            */

HHeap* VMClass::GetHeap() const {
  VMNameSpace* ns = GetNameSpace();
  return ns != NULL ? ns->GetHeap() : NULL;
}

VMClass* VMClass::CreateInstance(VMNameSpace* ns, uint32_t words, VMword mask, VMLiteral* name,
                                 VMLoadableClass* super) {
  if (ns == NULL || name == NULL) return NULL;
  VMClass* cls = (VMClass*)VMObject::CreateInternalNotToBeCalledDirectly(ns->GetHeap(), words, mask,
                                                                         Tag, jallocFailFast);
  if (cls == NULL) return NULL;
  cls->SetWord(NameSpaceWord, (VMword)ns);
  cls->SetWord(NameWord, (VMword)name);
  cls->SetWord(HashWord, name->GetHash());
  cls->SetSuper(super);
  // The descriptor is the java.lang.Class object Java code sees. java/lang/Class itself,
  // and every descriptor made before it, keep their reference mask instead.
  if (VMClass* classClass = ListClass(ns, CL_CLASS)) cls->VMObject::SetClass(classClass);
  return cls;
}

VMPrimitiveClass* VMPrimitiveClass::CreateInstance(VMNameSpace* ns, const char* name,
                                                   VMPrimitiveType type) {
  VMLiteral* literal = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  if (literal == NULL) return NULL;
  VMPrimitiveClass* cls =
      (VMPrimitiveClass*)VMClass::CreateInstance(ns, Words, RefMask, literal, NULL);
  if (cls == NULL) return NULL;
  cls->SetIsPrimitive();
  cls->SetWord(TypeOrMethodTableWord, (VMword)(jint)type);
  if (type == VMTypeLong || type == VMTypeDouble) cls->SetIsTwoEntries();
  return cls;
}

VMArrayClass* VMArrayClass::CreateInstance(VMNameSpace* ns, VMLiteral* name) {
  VMArrayClass* cls =
      (VMArrayClass*)VMClass::CreateInstance(ns, Words, RefMask, name, ObjectClass(ns));
  if (cls == NULL) return NULL;
  cls->SetIsArray();
  if (VMLoadableClass* object = ObjectClass(ns)) cls->SetMethodTable(object->GetMethodTable());
  return cls;
}

VMLoadableClass* VMLoadableClass::CreateInstance(VMNameSpace* ns, VMLiteral* name) {
  VMLoadableClass* cls =
      (VMLoadableClass*)VMClass::CreateInstance(ns, Words, RefMask, name, NULL);
  if (cls == NULL) return NULL;
  cls->SetIsLoadable();
  cls->SetThreadDoingInit(0);
  cls->SetSharedStaticData(NULL);
  return cls;
}

VMMethodArray* VMLoadableOrArrayClass::GetMethodTableOfArray() {
  VMMethodArray* table = NULL;
  if (GetIsArray()) {
    // Arrays answer java/lang/Object's methods. Object may have been prepared after
    // this array class was made, so its table is taken now.
    VMLoadableClass* object = GetSuper();
    if (object != NULL) table = (VMMethodArray*)object->GetWord(TypeOrMethodTableWord);
    if (table != NULL) SetMethodTable(table);
  }
  return table;
}

void VMClass::Destroy(HHeap* heap) {
  if (GetIsLoadable())
    GetLoadableClass()->Destroy(heap);
  else if (GetIsArray() || GetIsPrimitive())
    ReleaseBlock(heap);
}

static void DestroyRecord(VMObject* object, HHeap* heap) {
  if (object != NULL) object->Destroy(heap);
}

void VMLoadableClass::Destroy(HHeap* heap) {
  // The class's static data goes from every machine of its name space, and only then
  // its number: a class given the number while a slot still held this one's data would
  // take that data for its own, and have it freed under it. A machine of another name
  // space is not read (its record tells): the host may be moving it meanwhile.
  VMNameSpace* ns = GetNameSpace();
  if (ns != NULL && GetIndex() != 0) {
    VMUtils::LockGlobalMutex();
    for (JavaVM* j = VMUtils::GetVMList(); j != NULL; j = j->next) {
      VM* vm = j->vm;
      if (vm == NULL || j->nameSpace != ns) continue;
      VMObject* data = TakeStaticData(vm);
      if (data != NULL && !data->GetIsNameSpaceData()) data->Destroy(vm->GetHeap());
    }
    VMUtils::UnlockGlobalMutex();
    VMClassHandleArray* classes = Classes(ns);
    if (classes != NULL && VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Free classnumber")) {
      if (classes->Get(GetIndex()) == this) classes->Delete(GetIndex());
      VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Free classnumber");
    }
  }
  DestroySharedStaticData(heap);
  DestroyRecord((VMObject*)GetInterfaces(), heap);
  if (VMConstantPool* pool = GetConstantPool()) DestroyConstantPool(pool, heap);
  if (VMDataMemberArray* fields = GetDataMembers()) {
    for (uint32_t i = 0; i < fields->GetSize(); i++) {
      if (VMDataMember* f = fields->Get(i)) f->Destroy(heap);
    }
    fields->VMObject::Destroy(heap);
  }
  if (VMMethodArray* methods = GetMethods()) {
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      if (VMMethod* m = methods->Get(i)) m->Destroy(heap);
    }
    methods->VMObject::Destroy(heap);
  }
  DestroyRecord((VMObject*)GetMethodLineNumberOffsets(), heap);
  DestroyRecord((VMObject*)GetDeclaredClasses(), heap);
  DestroyRecord((VMObject*)GetMethodLocalInfoOffsets(), heap);
  DestroyRecord((VMObject*)GetCreateBits(), heap);
  DestroyRecord((VMObject*)GetWord(TypeOrMethodTableWord), heap);
  DestroyRecord((VMObject*)GetCompiledConstantPool(), heap);
  if (VMshortArrayArray* lines = GetLineNumberArray()) {
    for (uint32_t i = 0; i < lines->GetSize(); i++) DestroyRecord((VMObject*)lines->Get(i), heap);
    lines->VMObject::Destroy(heap);
  }
  if (VMLocalDataMemberArrayArray* locals = GetLocalVariableArray()) {
    for (uint32_t i = 0; i < locals->GetSize(); i++) {
      VMLocalDataMemberArray* table = locals->Get(i);
      if (table == NULL) continue;
      // A table cut short by a nameless entry keeps empty slots.
      for (uint32_t j = 0; j < table->GetSize(); j++) {
        if (VMLocalDataMember* local = table->Get(j)) local->Destroy(heap);
      }
      table->VMObject::Destroy(heap);
    }
    locals->VMObject::Destroy(heap);
  }
  ReleaseBlock(heap);
}

/* ---------------------------------------------------------------------------------- */
/* Narrowing                                                                           */

VMPrimitiveClass* VMClass::GetPrimitiveClass() {
  VM_ASSERT(GetIsPrimitive());
  return (VMPrimitiveClass*)this;
}
VMArrayClass* VMClass::GetArrayClass() {
  VM_ASSERT(GetIsArray());
  return (VMArrayClass*)this;
}
VMLoadableClass* VMClass::GetLoadableClass() {
  VM_ASSERT(GetIsLoadable());
  return (VMLoadableClass*)this;
}
VMLoadableOrArrayClass* VMClass::GetLoadableOrArrayClass() {
  VM_ASSERT(GetIsLoadable() || GetIsArray());
  return (VMLoadableOrArrayClass*)this;
}

/* ---------------------------------------------------------------------------------- */
/* Look-up by name                                                                     */

/* The class of that name in the loader's table, or NULL. */
static VMClass* ProbeTable(VMClassLoader* loader, VMLiteral* name) {
  VMClassHashTable* table = loader != NULL ? ClassTable(loader) : NULL;
  if (table == NULL) return NULL;
  VMObjectHashTableIterator it(table, name->GetHash(), VMClassHashTable::Mode);
  for (VMObject* entry = it.Next(); entry != NULL; entry = it.Next()) {
    if (((VMClass*)entry)->GetName() == name) return (VMClass*)entry;
  }
  return NULL;
}

/* Adds cls to the loader's table unless a class of the same name got there first, all
   under the table's lock: the class in the table afterwards, or NULL when it cannot be
   added. The loser of a race is destroyed. */
static VMClass* AddOrFindByName(VMClassLoader* loader, VMClass* cls) {
  VMClassHashTable* table = ClassTable(loader);
  HHeap* heap = cls->GetHeap();
  VMClass* found = NULL;
  uint32_t entry = VMHashNotFound;
  {
    VMObjectHashTableIterator it(table, cls->GetHash(), VMClassHashTable::Mode);
    VMObject* e;
    while ((e = it.Next()) != NULL) {
      if (((VMClass*)e)->GetName() == cls->GetName()) {
        found = (VMClass*)e;
        break;
      }
    }
    if (found == NULL) entry = it.Insert(cls);
  }
  if (found != NULL || entry == VMHashNotFound) {
    cls->Destroy(heap);
    return found;
  }
  return cls;
}

/* A NULL loader stands for the loader of the calling thread's current loader id; any
   other loader is taken as it is. (A class's own loader resolves its references: a
   system class must never come to hold classes of a session loader that can be
   destroyed under it.) */
static VMClassLoader* EffectiveLoader(VMNameSpace* ns, VMClassLoader* loader, bool* failed) {
  *failed = false;
  if (loader != NULL) return loader;
  VMClassLoader* system = SystemLoader(ns);
  JNIEnv* env = CurrentEnv();
  // Without an env (a host thread outside any machine) the system loader is the only
  // loader there is.
  if (env == NULL) return system;
  VMClassLoader* chosen = LoaderForId(ns, EnvLoaderId(env));
  if (chosen == NULL) {
    ThrowOnEnv(env, VMStatus_OutOfMemoryError, NULL);
    *failed = true;
  }
  return chosen;
}

static VMClassLoader* OwnerOf(VMClass* element, VMClassLoader* system) {
  VMClassLoader* owner = element->GetClassLoader();
  return owner != NULL ? owner : system;
}

VMClass* VMClass::FindByName(VMNameSpace* ns, VMLiteral* name, VMClassLoader* loader) {
  if (ns == NULL || name == NULL) return NULL;
  bool failed;
  loader = EffectiveLoader(ns, loader, &failed);
  if (loader == NULL) return NULL;
  VMClassLoader* system = SystemLoader(ns);
  if (VMClass* hit = ProbeTable(loader, name)) return hit;
  if (loader != system && system != NULL) {
    if (VMClass* hit = ProbeTable(system, name)) return hit;
  }
  if (name->UTF8Length() == 0) return NULL;

  VMClass* created;
  VMClassLoader* owner = loader;
  if (name->ByteAt(0) == '[') {
    // The whole name is checked first, so a malformed one leaves no element shell behind.
    if (!VMMember::ValidSignature(name)) return NULL;
    VMLiteral* elementSig = name->Substring(ns, 1, 0xFFFFFFFFu);
    if (elementSig == NULL) return NULL;
    VMClass* element = FindBySignature(ns, elementSig, loader);
    if (element == NULL || (element->GetIsPrimitive() &&
                            element->GetPrimitiveClass()->GetType() == VMTypeVoid))
      return NULL;
    VMArrayClass* array = VMArrayClass::CreateInstance(ns, name);
    if (array == NULL) return NULL;
    array->SetElementClass(element);
    owner = OwnerOf(element, system);
    created = array;
  } else {
    VMLoadableClass* shell = VMLoadableClass::CreateInstance(ns, name);
    if (shell == NULL) return NULL;
    if (loader != system && system != NULL) {
      char* text = name->MakeUTF8();
      if (text == NULL) {
        shell->Destroy(ns->GetHeap());
        return NULL;
      }
      if (VMUtils::GetHostFunctions()->IsSystemClassName(text)) owner = system;
      VMLiteral::FreeUTF8(text);
    }
    created = shell;
  }
  if (owner == NULL || ClassTable(owner) == NULL) {
    created->Destroy(ns->GetHeap());
    return NULL;
  }
  created->SetClassLoader(owner);
  return AddOrFindByName(owner, created);
}

VMClass* VMClass::FindByName(VMNameSpace* ns, const char* name, VMClassLoader* loader) {
  VMLiteral* literal = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  return literal != NULL ? FindByName(ns, literal, loader) : NULL;
}

VMClass* VMClass::FindSystemClass(VMNameSpace* ns, VMLiteral* name) {
  return FindByName(ns, name, SystemLoader(ns));
}

VMClass* VMClass::FindSystemClass(VMNameSpace* ns, const char* name) {
  return FindByName(ns, name, SystemLoader(ns));
}

VMClass* VMClass::FindByDotName(JNIEnv* env, VMLiteral* dotName, VMClassLoader* loader) {
  VMNameSpace* ns = env != NULL ? EnvNameSpace(env) : NULL;
  if (ns == NULL || dotName == NULL) return NULL;
  char* text = dotName->MakeUTF8();
  if (text == NULL) {
    // Short of memory, not a missing class: a caller that remembers missing classes (the
    // natives' cache) must be told the difference.
    VMThread* thread = env->thread;
    if (thread != NULL && thread->GetException() == NULL) thread->SetExceptionStatus(VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  bool dotted = false;
  for (char* p = text; *p != 0; p++) {
    if (*p == '.') {
      *p = '/';
      dotted = true;
    }
  }
  VMClass* cls = dotted ? FindByName(ns, text, loader) : FindByName(ns, dotName, loader);
  VMLiteral::FreeUTF8(text);
  return cls;
}

static VMClass* PrimitiveFor(VMNameSpace* ns, jchar c) {
  switch (c) {
    case 'B': return ListClass(ns, CL_BYTE);
    case 'C': return ListClass(ns, CL_CHAR);
    case 'D': return ListClass(ns, CL_DOUBLE);
    case 'F': return ListClass(ns, CL_FLOAT);
    case 'I': return ListClass(ns, CL_INT);
    case 'J': return ListClass(ns, CL_LONG);
    case 'S': return ListClass(ns, CL_SHORT);
    case 'V': return ListClass(ns, CL_VOID);
    case 'Z': return ListClass(ns, CL_BOOLEAN);
    default: return NULL;
  }
}

static bool IsElementLetter(jchar c) {
  return c == 'B' || c == 'C' || c == 'D' || c == 'F' || c == 'I' || c == 'J' || c == 'S' ||
         c == 'Z';
}

VMClass* VMClass::FindBySignature(VMNameSpace* ns, VMLiteralIterator& it, VMClassLoader* loader) {
  VMLiteral* text = it.GetLiteral();
  if (ns == NULL || !it.HasMoreChars()) return NULL;
  uint32_t start = it.GetNextIndex();
  jchar c = it.NextChar();
  if (c == 'L') {
    for (;;) {
      if (!it.HasMoreChars()) return NULL;
      if (it.NextChar() == ';') break;
    }
    uint32_t length = it.GetNextIndex() - start - 2;
    if (length == 0) return NULL;
    VMLiteral* name = text->Substring(ns, start + 1, length);
    return name != NULL ? FindByName(ns, name, loader) : NULL;
  }
  if (c == '[') {
    while (it.HasMoreChars() && it.PeekChar() == '[') it.NextChar();
    if (!it.HasMoreChars()) return NULL;
    // An array of void does not exist.
    jchar e = it.NextChar();
    if (e == 'L') {
      uint32_t nameStart = it.GetNextIndex();
      for (;;) {
        if (!it.HasMoreChars()) return NULL;
        if (it.NextChar() == ';') break;
      }
      if (it.GetNextIndex() - nameStart < 2) return NULL;
    } else if (!IsElementLetter(e)) {
      return NULL;
    }
    VMLiteral* name = text->Substring(ns, start, it.GetNextIndex() - start);
    return name != NULL ? FindByName(ns, name, loader) : NULL;
  }
  return PrimitiveFor(ns, c);
}

VMClass* VMClass::FindBySignature(VMNameSpace* ns, VMLiteral* signature, VMClassLoader* loader) {
  if (signature == NULL) return NULL;
  // A signature literal is exactly one type (void included); anything else names no
  // class, and is refused before any shell is made for part of it.
  bool isVoid = signature->UTF8Length() == 1 && signature->ByteAt(0) == 'V';
  if (!isVoid && !VMMember::ValidSignature(signature)) return NULL;
  VMLiteralIterator it(signature);
  return FindBySignature(ns, it, loader);
}

/* ---------------------------------------------------------------------------------- */
/* Names                                                                               */

VMArrayClass* VMClass::MakeArrayOf() {
  if (VMArrayClass* cached = GetArrayOf()) return cached;
  VMNameSpace* ns = GetNameSpace();
  VMLiteral* name = NULL;
  if (GetIsPrimitive()) {
    const char* fixed = NULL;
    switch (GetPrimitiveClass()->GetType()) {
      case VMTypeByte: fixed = "[B"; break;
      case VMTypeChar: fixed = "[C"; break;
      case VMTypeDouble: fixed = "[D"; break;
      case VMTypeFloat: fixed = "[F"; break;
      case VMTypeInt: fixed = "[I"; break;
      case VMTypeLong: fixed = "[J"; break;
      case VMTypeShort: fixed = "[S"; break;
      case VMTypeBoolean: fixed = "[Z"; break;
      default: return NULL;  // void
    }
    name = VMLiteral::CreateInstance(ns, fixed, 0xFFFFFFFFu);
  } else {
    TextBuffer text;
    text.Append(GetIsArray() ? "[" : "[L");
    text.Append(GetName());
    if (!GetIsArray()) text.Append(";");
    if (text.Failed()) return NULL;
    name = VMLiteral::CreateInstance(ns, text.Data(), text.Length());
  }
  if (name == NULL) return NULL;
  VMClass* array = FindByName(ns, name, GetClassLoader());
  if (array == NULL || !array->GetIsArray()) return NULL;
  SetArrayOf((VMArrayClass*)array);
  return (VMArrayClass*)array;
}

char* VMClass::GetDotNameUTF8() {
  VMLiteral* name = GetName();
  char* text = name != NULL ? name->MakeUTF8() : NULL;
  if (text == NULL) return NULL;
  for (char* p = text; *p != 0; p++) {
    if (*p == '/') *p = '.';
  }
  return text;
}

VMLiteral* VMClass::GetDotName() {
  char* text = GetDotNameUTF8();
  if (text == NULL) return NULL;
  VMLiteral* literal = VMLiteral::CreateInstance(GetNameSpace(), text, 0xFFFFFFFFu);
  VMLiteral::FreeUTF8(text);
  return literal;
}

bool VMClass::ValidName(VMLiteral* name) {
  if (name == NULL || name->UTF8Length() == 0) return false;
  if (name->ByteAt(0) == '[') return VMMember::ValidSignature(name);
  return true;
}

VMLiteral* VMLoadableClass::GetPackage() {
  if (VMLiteral* cached = GetPackageName()) return cached;
  VMLiteral* name = GetName();
  VMLiteralIterator it(name);
  uint32_t lastSlash = 0;
  bool found = false;
  while (it.HasMoreChars()) {
    if (it.NextChar() == '/') {
      lastSlash = it.GetNextIndex() - 1;
      found = true;
    }
  }
  VMLiteral* package = found ? name->Substring(GetNameSpace(), 0, lastSlash)
                             : VMLiteral::CreateInstance(GetNameSpace(), "", 0);
  if (package != NULL) SetPackageName(package);
  return package;
}

VMClass::Identity VMClass::Identify() {
  if (GetIsPrimitive()) return IdPrimitive;
  if (GetIsArray()) return IdArray;
  VMNameSpace* ns = GetNameSpace();
  VMLiteral* name = GetName();
  static const struct { int entry; Identity id; } boxes[] = {
      {LT_BOOLEAN, IdBoolean}, {LT_CHARACTER, IdCharacter}, {LT_FLOAT, IdFloat},
      {LT_DOUBLE, IdDouble},   {LT_BYTE, IdByte},           {LT_SHORT, IdShort},
      {LT_INTEGER, IdInteger}, {LT_LONG, IdLong},
  };
  for (const auto& box : boxes) {
    VMLiteral* known = WellKnown(ns, box.entry);
    if (known != NULL && known == name) return box.id;
  }
  return IdOther;
}

jint VMClass::GetFlags() {
  if (GetIsLoadable()) return GetLoadableClass()->GetFlags();
  if (GetIsArray()) return GetArrayClass()->GetFlags();
  return 0x1 | 0x10 | 0x400;
}

jint VMLoadableClass::GetFlags() {
  jint flags = 0;
  if (GetIsPublic()) flags |= 0x1;
  if (GetIsPrivate()) flags |= 0x2;
  if (GetIsProtected()) flags |= 0x4;
  if (GetIsFinal()) flags |= 0x10;
  if (GetIsSuper()) flags |= 0x20;
  if (GetIsInterface()) flags |= 0x200;
  if (GetIsAbstract()) flags |= 0x400;
  return flags;
}

jint VMArrayClass::GetFlags() {
  VMClass* inner = GetElementClass();
  while (inner != NULL && inner->GetIsArray()) inner = inner->GetArrayClass()->GetElementClass();
  jint flags = 0x1;
  if (inner != NULL && inner->GetIsLoadable()) flags = inner->GetLoadableClass()->GetFlags();
  return flags | 0x10 | 0x400;
}

VMClassLoader* VMLoadableClass::GetLoader() {
  VMClassLoader* loader = GetClassLoader();
  return loader != NULL ? loader : SystemLoader(GetNameSpace());
}

/* ---------------------------------------------------------------------------------- */
/* Type relations                                                                      */

bool VMLoadableClass::Implements(VMLoadableClass* iface) {
  // The direct interfaces along the chain answer most questions without a walk.
  bool deeper = false;
  for (VMLoadableClass* cls = this; cls != NULL; cls = cls->GetSuper()) {
    VMClassArray* interfaces = cls->GetInterfaces();
    uint32_t n = interfaces != NULL ? interfaces->GetSize() : 0;
    for (uint32_t i = 0; i < n; i++) {
      VMClass* direct = interfaces->Get(i);
      if (direct == (VMClass*)iface) return true;
      if (direct != NULL && direct->GetIsLoadable() && direct->GetLoadableClass()->GetInterfaces() != NULL &&
          direct->GetLoadableClass()->GetInterfaces()->GetSize() != 0)
        deeper = true;
    }
  }
  if (!deeper) return false;
  InterfaceWalk walk;
  for (VMLoadableClass* cls = this; cls != NULL; cls = cls->GetSuper()) walk.Start(cls);
  for (VMLoadableClass* i = walk.Next(); i != NULL; i = walk.Next())
    if (i == iface) return true;
  return false;
}

bool VMClass::AssignableFrom(VMClass* from, VMClass* to) {
  if (from == NULL || to == NULL) return false;
  VMNameSpace* ns = from->GetNameSpace();
  if (from->GetIsLoadable()) {
    VMLoadableClass* start = from->GetLoadableClass();
    if (to->GetIsInterface()) {
      for (VMLoadableClass* c = start; c != NULL; c = c->GetSuper()) {
        if ((VMClass*)c == to) return true;
      }
      // Implements looks along the superclasses itself.
      return start->Implements((VMLoadableClass*)to);
    }
    if (to->GetIsLoadable()) {
      for (VMLoadableClass* c = start; c != NULL; c = c->GetSuper()) {
        if ((VMClass*)c == to) return true;
      }
    }
    return false;
  }
  if (from->GetIsArray()) {
    if (to->GetIsInterface())
      return to == ListClass(ns, CL_CLONEABLE) || to == ListClass(ns, CL_SERIALIZABLE);
    if (to->GetIsLoadable()) return to == ListClass(ns, CL_OBJECT);
    if (to->GetIsArray()) {
      VMClass* fromElement = from->GetArrayClass()->GetElementClass();
      VMClass* toElement = to->GetArrayClass()->GetElementClass();
      if (toElement != NULL && toElement->GetIsPrimitive()) return toElement == fromElement;
      return AssignableFrom(fromElement, toElement);
    }
  }
  return false;
}

bool VMClass::InstanceOf(VMObject* object, VMClass* cls) {
  if (object == NULL) return true;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host->QueryDiagnosticFlag != NULL && host->QueryDiagnosticFlag(107, 13) != 0 &&
      !VMUtils::IsValidObjectRef(object)) {
    host->ReportError(38, "Invalid jvm object has been encountred");
    return false;
  }
  return AssignableFrom(object->VMObject::GetClass(), cls);
}

bool VMLoadableClass::IsUnChecked() {
  VMNameSpace* ns = GetNameSpace();
  VMLiteral* error = ns->GetExceptionName(VMStatus_Error);
  VMLiteral* runtime = ns->GetExceptionName(VMStatus_RuntimeException);
  for (VMLoadableClass* c = this; c != NULL; c = c->GetSuper()) {
    VMLiteral* name = c->GetName();
    if ((error != NULL && name == error) || (runtime != NULL && name == runtime)) return true;
  }
  return false;
}

void VMLoadableClass::LoadAllReferences() {
  if (GetAllReferencesLoaded()) return;
  // A work list, not recursion: references form chains as long as the class path.
  PointerSet seen;
  PointerStack pending, visited;
  seen.Add(this);
  pending.Push(this);
  for (VMLoadableClass* c = (VMLoadableClass*)pending.Pop(); c != NULL; c = (VMLoadableClass*)pending.Pop()) {
    visited.Push(c);
    VMConstantPool* pool = c->GetConstantPool();
    if (c->GetAllReferencesLoaded() || pool == NULL) continue;
    uint32_t count = ConstantPoolCount(pool);
    for (uint32_t i = 1; i < count; i++) {
      jint tag = ConstantPoolTag(pool, i);
      if (tag != 7 && tag != -7) continue;
      VMClass* cls = ConstantPoolClass(pool, i, true);
      if (cls != NULL && cls->GetIsLoadable() && seen.Add(cls)) pending.Push(cls);
    }
  }
  // Done only now, and only when nothing was dropped: a second caller must not return
  // while the first is still loading.
  if (seen.Failed() || pending.Failed() || visited.Failed()) return;
  for (uint32_t i = 0; i < visited.Count(); i++) ((VMLoadableClass*)visited.At(i))->SetAllReferencesLoaded();
}

/* Loads the superclasses up to the deepest chain a class may have, so that linking, which
   recurses over the chain, stays within its stack: a chain that comes back to one of its
   classes is ClassCircularityError, a longer one LinkageError. A superclass that cannot
   be loaded ends the check with its load's status: linking must not go on and load it a
   second time, which may succeed (a host that was short of memory the first time) and
   leave the first attempt's NoClassDefFoundError pending on a class that prepared. */
VMStatus VMLoadableClass::CheckSuperChain(VMLoadableClass** failing) {
  uint32_t depth = 0;
  for (VMLoadableClass* c = GetSuper(); c != NULL; c = c->GetSuper()) {
    if (c == this) return VMStatus_ClassCircularityError;
    if (++depth > MAX_NESTING)
      return HasCircularSuperChain() ? VMStatus_ClassCircularityError : VMStatus_LinkageError;
    VMStatus status = c->Load();
    if (status != 0) {
      if (failing != NULL && *failing == NULL) *failing = c;
      return status;
    }
  }
  return 0;
}

/* ---------------------------------------------------------------------------------- */
/* Member look-up                                                                      */

VMDataMember* VMLoadableClass::FindField(VMLiteral* name, VMLiteral* signature, bool searchSupers,
                                         JNIEnv* env) {
  InterfaceWalk walk;
  for (VMLoadableClass* cls = this; cls != NULL; cls = cls->GetSuper()) {
    VMDataMemberArray* fields = cls->GetDataMembers();
    if (fields == NULL) return NULL;
    // The last of two equal declarations wins.
    for (uint32_t i = fields->GetSize(); i-- > 0;) {
      VMDataMember* field = fields->Get(i);
      if (field != NULL && field->Matches(name, signature)) return field;
    }
    if (!searchSupers) return NULL;
    walk.Start(cls);
    for (VMLoadableClass* iface = walk.Next(); iface != NULL; iface = walk.Next()) {
      // A field found in an interface is a constant of it: the interface is made ready
      // before its field is handed out.
      (void)iface->Initialize(env);
      VMDataMemberArray* own = iface->GetDataMembers();
      for (uint32_t i = own != NULL ? own->GetSize() : 0; i-- > 0;) {
        VMDataMember* field = own->Get(i);
        if (field != NULL && field->Matches(name, signature)) return field;
      }
    }
  }
  return NULL;
}

/* The first public field of that name among a class's own fields. */
static VMDataMember* OwnPublicField(VMLoadableClass* cls, VMLiteral* name) {
  VMDataMemberArray* fields = cls->GetDataMembers();
  for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
    VMDataMember* field = fields->Get(i);
    if (field != NULL && field->GetIsPublic() && field->GetName() == name) return field;
  }
  return NULL;
}

VMDataMember* VMLoadableClass::FindPublicField(VMLiteral* name, JNIEnv* env) {
  for (VMLoadableClass* cls = this; cls != NULL; cls = cls->GetSuper()) {
    if (cls->GetDataMembers() == NULL) return NULL;
    if (VMDataMember* field = OwnPublicField(cls, name)) return field;
  }
  InterfaceWalk walk;
  for (VMLoadableClass* cls = this; cls != NULL; cls = cls->GetSuper()) {
    walk.Start(cls);
    for (VMLoadableClass* iface = walk.Next(); iface != NULL; iface = walk.Next()) {
      (void)iface->Initialize(env);
      if (VMDataMember* field = OwnPublicField(iface, name)) return field;
    }
  }
  return NULL;
}

VMMethod* VMLoadableClass::FindMethod(VMLiteral* name, VMLiteral* signature, bool searchSupers) {
  for (VMLoadableClass* cls = this; cls != NULL; cls = cls->GetSuper()) {
    VMMethodArray* methods = cls->GetMethods();
    if (methods == NULL) return NULL;
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      VMMethod* method = methods->Get(i);
      if (method != NULL && method->Matches(name, signature)) return method;
    }
    if (!searchSupers) return NULL;
  }
  return NULL;
}

VMMethod* VMLoadableClass::FindSuperInterfaceMethod(VMLiteral* name, VMLiteral* signature) {
  InterfaceWalk walk;
  walk.Start(this);
  for (VMLoadableClass* iface = walk.Next(); iface != NULL; iface = walk.Next())
    if (VMMethod* method = iface->FindMethod(name, signature, false)) return method;
  return NULL;
}

VMLoadableClass* VMLoadableClass::FindPrepared(JNIEnv* env, VMLiteral* dotName,
                                               VMClassLoader* loader) {
  VMClass* cls = VMClass::FindByDotName(env, dotName, loader);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = cls->GetLoadableClass();
  VMStatus status = loadable->Prepare(NULL);
  if (status != 0) {
    // Failures during the name space's start-up stay silent; later ones are recorded on
    // a thread that has nothing pending yet.
    VMThread* thread = env != NULL ? env->thread : NULL;
    VMNameSpace* ns = loadable->GetNameSpace();
    if (thread != NULL && thread->GetException() == NULL && ns->GetIsInitialized())
      thread->SetExceptionStatus(status, loadable->GetDotName());
    return NULL;
  }
  return loadable;
}

VMLoadableClass* VMLoadableClass::FindInitialized(JNIEnv* env, VMLiteral* dotName,
                                                  VMClassLoader* loader) {
  VMLoadableClass* cls = FindPrepared(env, dotName, loader);
  if (cls == NULL || cls->Initialize(env) != 0) return NULL;
  return cls;
}

VMLiteral* VMLoadableClass::GetSerializationSignature() {
  VMNameSpace* ns = GetNameSpace();
  // The superclasses' fields come first: the chain is gathered, then read from the top.
  if (HasCircularSuperChain()) return NULL;
  PointerStack chain;
  for (VMLoadableClass* c = this; c != NULL; c = c->GetSuper()) chain.Push(c);
  VMLiteral* result = VMLiteral::CreateInstance(ns, "", 0);
  if (result == NULL || chain.Failed()) return NULL;
  for (VMLoadableClass* c = (VMLoadableClass*)chain.Pop(); c != NULL; c = (VMLoadableClass*)chain.Pop()) {
    VMDataMemberArray* fields = c->GetDataMembers();
    for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
      VMDataMember* field = fields->Get(i);
      if (field == NULL || field->GetIsStatic() || field->GetIsTransient()) continue;
      result = result->Concat(ns, field->GetSignature());
      if (result == NULL) return NULL;
    }
  }
  return result;
}

/* ---------------------------------------------------------------------------------- */
/* Text buffer                                                                         */

namespace classmodel {

/* Process memory for the scratch structures below. */
static void* ProcessAlloc(uint32_t bytes) {
  return VMUtils::GetHostFunctions()->HeapAlloc(NULL, bytes, jallocFailFast);
}

static void ProcessFree(void* block) { VMUtils::GetHostFunctions()->HeapFree(NULL, block); }

bool TextBuffer::Reserve(uint32_t extra) {
  if (failed) return false;
  if (length + extra + 1 <= room) return true;
  uint32_t wanted = (length + extra + 1) * 2;
  if (wanted < 64) wanted = 64;
  char* grown = (char*)ProcessAlloc(wanted);
  if (grown == NULL) {
    failed = true;
    return false;
  }
  if (data != NULL) {
    memcpy(grown, data, length);
    ProcessFree(data);
  }
  data = grown;
  room = wanted;
  return true;
}

void TextBuffer::Append(const char* bytes, uint32_t n) {
  if (!Reserve(n)) return;
  memcpy(data + length, bytes, n);
  length += n;
  data[length] = 0;
}

void TextBuffer::Append(const char* text) { Append(text, (uint32_t)strlen(text)); }

void TextBuffer::Append(VMLiteral* literal) {
  if (literal == NULL) {
    failed = true;
    return;
  }
  uint32_t n = literal->UTF8Length();
  if (!Reserve(n)) return;
  literal->ReadBytes(0, n, data + length);
  length += n;
  data[length] = 0;
}

void TextBuffer::Free() {
  if (data != NULL) ProcessFree(data);
  data = NULL;
  length = room = 0;
}

/* ---- pointer stacks and sets, the interface walk ---- */

PointerStack::~PointerStack() {
  if (data != first) ProcessFree(data);
}

void PointerStack::Push(void* p) {
  if (count == room) {
    void** grown = room < 0x10000000u ? (void**)ProcessAlloc(room * 2 * sizeof(void*)) : NULL;
    if (grown == NULL) {
      failed = true;
      return;
    }
    memcpy(grown, data, count * sizeof(void*));
    if (data != first) ProcessFree(data);
    data = grown;
    room *= 2;
  }
  data[count++] = p;
}

PointerSet::~PointerSet() {
  if (slots != first) ProcessFree(slots);
}

static uint32_t PointerSlot(void* p, uint32_t room) {
  // Blocks are word aligned: the low bits say nothing.
  return (uint32_t)(((uintptr_t)p >> 2) * 2654435761u) & (room - 1);
}

bool PointerSet::Grow() {
  if (room >= 0x10000000u) return false;
  uint32_t bigger = room * 2;
  void** grown = (void**)ProcessAlloc(bigger * sizeof(void*));
  if (grown == NULL) return false;
  for (uint32_t i = 0; i < bigger; i++) grown[i] = NULL;
  for (uint32_t i = 0; i < room; i++) {
    if (slots[i] == NULL) continue;
    uint32_t k = PointerSlot(slots[i], bigger);
    while (grown[k] != NULL) k = (k + 1) & (bigger - 1);
    grown[k] = slots[i];
  }
  if (slots != first) ProcessFree(slots);
  slots = grown;
  room = bigger;
  return true;
}

bool PointerSet::Add(void* p) {
  if ((count + 1) * 2 > room && !Grow()) {
    // Without room p counts as seen: a walk then misses entries (Failed says so) but
    // always ends, cycles included.
    failed = true;
    return false;
  }
  uint32_t k = PointerSlot(p, room);
  while (slots[k] != NULL) {
    if (slots[k] == p) return false;
    k = (k + 1) & (room - 1);
  }
  slots[k] = p;
  count++;
  return true;
}

void InterfaceWalk::PushInterfacesOf(VMLoadableClass* cls) {
  VMClassArray* interfaces = cls->GetInterfaces();
  uint32_t n = interfaces != NULL ? interfaces->GetSize() : 0;
  // Reversed, so that the first declared is visited first.
  for (uint32_t i = n; i-- > 0;) {
    VMClass* iface = interfaces->Get(i);
    if (iface != NULL && iface->GetIsLoadable()) pending.Push(iface);
  }
}

void InterfaceWalk::Start(VMLoadableClass* cls) {
  if (cls != NULL) PushInterfacesOf(cls);
}

VMLoadableClass* InterfaceWalk::Next() {
  for (;;) {
    VMLoadableClass* next = (VMLoadableClass*)pending.Pop();
    if (next == NULL) return NULL;
    if (!seen.Add(next)) continue;
    PushInterfacesOf(next);
    return next;
  }
}

}  // namespace classmodel
