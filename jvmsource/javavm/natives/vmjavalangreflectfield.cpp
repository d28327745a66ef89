/* Reflection objects and the value conversions. See vmjavalangreflectfield.h. */
#include "vmjavalangreflectfield.h"

#include <stdio.h>
#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmclass_support.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmjvm.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace classmodel;

/* words, access, class, slot, name, type, parameter types, exception types, modifiers,
   reference words */
const VMReflectLayout VMJavaLangReflectField116::Layout = {4, -1, 0, 1, 2, 3, -1, -1, -1, 0x0D};
const VMReflectLayout VMJavaLangReflectField122::Layout = {6, 0, 1, 2, 3, 4, -1, -1, 5, 0x1A};
const VMReflectLayout VMJavaLangReflectMethod116::Layout = {6, -1, 0, 1, 2, 3, 4, 5, -1, 0x3D};
const VMReflectLayout VMJavaLangReflectMethod122::Layout = {8, 0, 1, 2, 3, 4, 5, 6, 7, 0x7A};
const VMReflectLayout VMJavaLangReflectConstructor116::Layout = {4, -1, 0, 1, -1, -1, 2, 3, -1, 0x0D};
const VMReflectLayout VMJavaLangReflectConstructor122::Layout = {6, 0, 1, 2, -1, -1, 3, 4, 5, 0x1A};

namespace {

const VMword kTags[3][2] = {
    {VMTag_VMJavaLangReflectField116, VMTag_VMJavaLangReflectField122},
    {VMTag_VMJavaLangReflectMethod116, VMTag_VMJavaLangReflectMethod122},
    {VMTag_VMJavaLangReflectConstructor116, VMTag_VMJavaLangReflectConstructor122},
};

const char* const kKindNames[3] = {"java/lang/reflect/Field", "java/lang/reflect/Method",
                                   "java/lang/reflect/Constructor"};

VMNameSpace* EnvNameSpaceOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL; }

int32_t FromWord(VMword w) { return (int32_t)w; }

/* The reason creation refuses a kind, for the log and the InternalError. */
void LayoutMessage(char* text, size_t room, VMNameSpace* ns, VMJavaLangReflectMember::Kind kind) {
  VMLoadableClass* cls = VMJavaLangReflectMember::ClassOf(ns, kind);
  const VMReflectLayout& layout = VMJavaLangReflectMember::LayoutOf(kind, (unsigned long)ns->GetLibraryVersion());
  snprintf(text, room, "%s of the class library has %u instance words; library version %d needs %u: reflection refused",
           kKindNames[kind], cls != NULL ? (unsigned)cls->GetCreateSize() : 0u, (int)ns->GetLibraryVersion(),
           (unsigned)layout.words);
}

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* Layouts                                                                               */

const VMReflectLayout& VMJavaLangReflectMember::LayoutOf(Kind kind, unsigned long version) {
  const bool old = version == 1;
  switch (kind) {
    case KindField: return old ? VMJavaLangReflectField116::Layout : VMJavaLangReflectField122::Layout;
    case KindMethod: return old ? VMJavaLangReflectMethod116::Layout : VMJavaLangReflectMethod122::Layout;
    default: return old ? VMJavaLangReflectConstructor116::Layout : VMJavaLangReflectConstructor122::Layout;
  }
}

bool VMJavaLangReflectMember::LayoutFits(VMLoadableClass* cls, const VMReflectLayout& layout) {
  if (cls == NULL || !cls->GetIsPrepared() || cls->GetCreateSize() != layout.words) return false;
  VMboolArray* bits = cls->GetCreateBits();
  if (bits == NULL) return false;
  for (uint32_t i = 0; i < layout.words; i++) {
    if (bits->Get(i) != (((layout.refMask >> i) & 1) != 0)) return false;
  }
  return true;
}

VMLoadableClass* VMJavaLangReflectMember::ClassOf(VMNameSpace* ns, Kind kind) {
  VMClassList* list = ns != NULL ? ns->GetClassList() : NULL;
  if (list == NULL) return NULL;
  switch (kind) {
    case KindField: return list->GetReflectFieldClass();
    case KindMethod: return list->GetReflectMethodClass();
    default: return list->GetReflectConstructorClass();
  }
}

bool VMJavaLangReflectMember::CheckLayouts(VMNameSpace* ns) {
  bool fit = true;
  const unsigned long version = (unsigned long)ns->GetLibraryVersion();
  for (int k = KindField; k <= KindConstructor; k++) {
    Kind kind = (Kind)k;
    if (LayoutFits(ClassOf(ns, kind), LayoutOf(kind, version))) continue;
    fit = false;
    char text[200];
    LayoutMessage(text, sizeof text, ns, kind);
    JNIHostFunctions* host = VMUtils::GetHostFunctions();
    if (host != NULL && host->LogMessage != NULL) {
      host->LogMessage((jint)strlen(text), text);
      host->LogMessage(1, "\n");
    }
  }
  return fit;
}

const VMReflectLayout* VMJavaLangReflectMember::Check(VMObject* object, Kind kind, unsigned long version) {
  if (object == NULL || !object->GetHasClass()) return NULL;
  VMClass* cls = object->GetClass();
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* expected = ClassOf(cls->GetNameSpace(), kind);
  const VMReflectLayout& layout = LayoutOf(kind, version);
  if ((VMLoadableClass*)cls != expected || !LayoutFits(expected, layout)) return NULL;
  return &layout;
}

VMLoadableClass* VMJavaLangReflectMember::CheckedClass(const VMReflectLayout& layout) {
  VMObject* word = (VMObject*)GetWord((uint32_t)layout.classWord);
  if (word == NULL || !word->GetHasClass()) return NULL;
  VMNameSpace* ns = GetClass()->GetNameSpace();
  if (word->GetClass() != ListClass(ns, CL_CLASS)) return NULL;
  VMClass* cls = (VMClass*)word;
  if (!cls->GetIsLoadable() || cls->GetNameSpace() != ns) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  return loadable->GetIsPrepared() ? loadable : NULL;
}

VMJavaLangReflectMember* VMJavaLangReflectMember::Create(JNIEnv* env, Kind kind, const VMReflectLayout** out) {
  VMNameSpace* ns = EnvNameSpaceOf(env);
  VM* vm = env != NULL && env->thread != NULL ? env->thread->GetVM() : NULL;
  if (ns == NULL || vm == NULL) return NULL;
  const unsigned long version = (unsigned long)ns->GetLibraryVersion();
  const VMReflectLayout& layout = LayoutOf(kind, version);
  VMLoadableClass* cls = ClassOf(ns, kind);
  if (!LayoutFits(cls, layout)) {
    char text[200];
    LayoutMessage(text, sizeof text, ns, kind);
    (void)VMJniThrowInternal(env, VMStatus_InternalError, text);
    return NULL;
  }
  VMObject* object = (VMObject*)VMObjectBase::CreateInstance(vm->GetHeap(), layout.words, jallocCollectAndRetry,
                                                            kTags[kind][version == 1 ? 0 : 1]);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  // From here on an ordinary instance of the Java class: the collector walks it by the
  // class's reference words, which the layout test above matched.
  object->SetFlags((uint16_t)((object->GetFlags() & 0x1FFF) | VMFLAG_KIND_CLASS));
  object->SetClass((VMClass*)cls);
  if (VMJniHandle::NewLocal(env, object) == NULL) {
    // Nothing else holds it.
    object->Destroy(vm->GetHeap());
    return NULL;
  }
  *out = &layout;
  return (VMJavaLangReflectMember*)object;
}

bool VMJavaLangReflectMember::MayReach(JNIEnv* env, VMMember* member, bool override, VMClass* target) {
  VMLoadableClass* owner = member->GetDefinedIn();
  if (override || owner == NULL) return override;
  if (member->GetIsPublic() && owner->GetIsPublic()) return true;
  VMMethod* caller = JVMCallerMethod(env, 1);
  if (caller == NULL) return true;
  VMLoadableClass* from = caller->GetDefinedIn();
  if (from == owner) return true;
  if (from == NULL || member->GetIsPrivate()) return false;
  // The package is the name's and the loader's: a class of another loader that names
  // the same package is no insider.
  VMLiteral* package = from->GetPackage();
  const bool samePackage =
      package != NULL && package == owner->GetPackage() && from->GetLoader() == owner->GetLoader();
  if (samePackage) return true;
  if (!owner->GetIsPublic()) return false;
  if (!member->GetIsProtected() || !VMClass::AssignableFrom((VMClass*)from, (VMClass*)owner)) return false;
  // A subclass elsewhere reaches the protected members of its own kind of object only:
  // not another subclass's, not a plain instance of the owner (nor its constructor).
  return target == NULL || VMClass::AssignableFrom(target, (VMClass*)from);
}

bool VMJavaLangReflectMember::ReadOverride(JNIEnv* env, jobject handle, unsigned long version) {
  if (version < 2 || env == NULL || env->thread == NULL) return false;
  VMNameSpace* ns = EnvNameSpaceOf(env);
  VMJniUtils* utils = ns != NULL ? ns->GetJNIUtils() : NULL;
  if (utils == NULL) return false;
  VMThread* thread = env->thread;
  VMJavaLangThrowable* before = thread->GetException();
  // One id per name space, looked up once; a look-up that fails leaves its exception,
  // which is no business of the reflective call.
  jfieldID id = utils->GetFieldAccessibleObject_isAccessible(env);
  jboolean flag = id != 0 ? env->functions->GetBooleanField(env, handle, id) : 0;
  if (thread->GetException() != before) {
    thread->SetException(before);
    return false;
  }
  return flag != 0;
}

/* ------------------------------------------------------------------------------------ */
/* Creation                                                                              */

namespace {

/* The member's name as a new String into its word: false with OutOfMemoryError. */
bool StoreName(JNIEnv* env, VMJavaLangReflectMember* object, int word, VMLiteral* name) {
  VMJavaLangString* string = name != NULL ? name->MakeVMJavaLangString(env) : NULL;
  if (string == NULL) {
    if (env->thread->GetException() == NULL) (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return false;
  }
  object->SetRawWord(word, (VMword)string);
  return true;
}

/* Parameter and exception types into their words: false with the exception pending. */
bool StoreTypes(JNIEnv* env, VMJavaLangReflectMember* object, const VMReflectLayout& layout, VMMethod* method) {
  VMClassArray* parameters = VMClassReflectInfo::GetParameterTypes(env, method);
  if (parameters == NULL) return false;
  object->SetRawWord(layout.parameterTypesWord, (VMword)parameters);
  VMClassArray* exceptions = VMClassReflectInfo::GetExceptionTypes(env, method);
  if (exceptions == NULL) return false;
  object->SetRawWord(layout.exceptionTypesWord, (VMword)exceptions);
  return true;
}

/* Creation stops at the first failure: the half-made object stays with its local
   reference for the collector; its caller drops the result. */
void Refuse(JNIEnv* env, const char* text) { (void)VMJniThrowInternal(env, VMStatus_InternalError, text); }

}  // namespace

VMJavaLangReflectField* VMJavaLangReflectField::CreateInstance(JNIEnv* env, VMLoadableClass* cls,
                                                               unsigned long index) {
  VMDataMemberArray* fields = cls != NULL ? cls->GetDataMembers() : NULL;
  VMDataMember* field = fields != NULL && index < fields->GetSize() ? fields->Get((uint32_t)index) : NULL;
  if (field == NULL || field->GetClass() == NULL) {
    Refuse(env, "no such field");
    return NULL;
  }
  const VMReflectLayout* layout = NULL;
  VMJavaLangReflectMember* object = Create(env, KindField, &layout);
  if (object == NULL) return NULL;
  object->SetRawWord(layout->classWord, (VMword)cls);
  object->SetRawWord(layout->slotWord, (VMword)index);
  object->SetRawWord(layout->typeWord, (VMword)field->GetClass());
  object->SetRawWord(layout->modifiersWord, (VMword)field->GetFlags());
  if (!StoreName(env, object, layout->nameWord, field->GetName())) return NULL;
  return (VMJavaLangReflectField*)object;
}

VMJavaLangReflectMethod* VMJavaLangReflectMethod::CreateInstance(JNIEnv* env, VMLoadableClass* cls, bool declared,
                                                                 unsigned long index) {
  if (cls == NULL) return NULL;
  const bool own = declared || cls->GetIsInterface();
  VMMethodArray* list = own ? cls->GetMethods() : cls->VMLoadableOrArrayClass::GetMethodTable();
  VMMethod* method = list != NULL && index < list->GetSize() ? list->Get((uint32_t)index) : NULL;
  // Slot 0 of a method table has no negated form: it would read as the first declared
  // method. It holds java/lang/Object's <init>, which no list shows.
  VM_ASSERT(own || index != 0);
  if (method == NULL || index > 0x7FFFFFFFu || (!own && index == 0)) {
    Refuse(env, "no such method");
    return NULL;
  }
  const VMReflectLayout* layout = NULL;
  VMJavaLangReflectMember* object = Create(env, KindMethod, &layout);
  if (object == NULL) return NULL;
  object->SetRawWord(layout->classWord, (VMword)cls);
  object->SetRawWord(layout->slotWord, own ? (VMword)index : (VMword)(-(int32_t)index));
  if (!StoreName(env, object, layout->nameWord, method->GetName())) return NULL;
  VMClass* returnType = VMClassReflectInfo::GetReturnType(env, method);
  if (returnType == NULL) return NULL;
  object->SetRawWord(layout->typeWord, (VMword)returnType);
  if (!StoreTypes(env, object, *layout, method)) return NULL;
  object->SetRawWord(layout->modifiersWord, (VMword)method->GetFlags());
  return (VMJavaLangReflectMethod*)object;
}

VMJavaLangReflectConstructor* VMJavaLangReflectConstructor::CreateInstance(JNIEnv* env, VMLoadableClass* cls, bool,
                                                                           unsigned long index) {
  VMMethodArray* methods = cls != NULL ? cls->GetMethods() : NULL;
  VMMethod* method = methods != NULL && index < methods->GetSize() ? methods->Get((uint32_t)index) : NULL;
  if (method == NULL || index > 0x7FFFFFFFu) {
    Refuse(env, "no such constructor");
    return NULL;
  }
  const VMReflectLayout* layout = NULL;
  VMJavaLangReflectMember* object = Create(env, KindConstructor, &layout);
  if (object == NULL) return NULL;
  object->SetRawWord(layout->classWord, (VMword)cls);
  object->SetRawWord(layout->slotWord, (VMword)index);
  if (!StoreTypes(env, object, *layout, method)) return NULL;
  object->SetRawWord(layout->modifiersWord, (VMword)method->GetFlags());
  return (VMJavaLangReflectConstructor*)object;
}

/* ------------------------------------------------------------------------------------ */
/* Checked accessors                                                                     */

VMDataMember* VMJavaLangReflectField::GetVMDataMember(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindField, version);
  VMLoadableClass* cls = layout != NULL ? CheckedClass(*layout) : NULL;
  if (cls == NULL) return NULL;
  VMDataMemberArray* fields = cls->GetDataMembers();
  uint32_t slot = (uint32_t)RawWord(layout->slotWord);
  if (fields == NULL || slot >= fields->GetSize()) return NULL;
  VMDataMember* field = fields->Get(slot);
  if (field == NULL || field->GetDefinedIn() != cls || field->GetClass() == NULL) return NULL;
  return field;
}

jint VMJavaLangReflectField::GetAccessibleObject_ACCESS_PERMISSION(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindField, version);
  return layout != NULL ? RawWord(layout->accessWord) & 0xFF : 0;
}

VMLoadableClass* VMJavaLangReflectField::GetReflectClass(unsigned long version) {
  VMDataMember* field = GetVMDataMember(version);
  return field != NULL ? field->GetDefinedIn() : NULL;
}

jint VMJavaLangReflectField::GetSlot(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindField, version);
  return layout != NULL ? RawWord(layout->slotWord) : 0;
}

VMJavaLangString* VMJavaLangReflectField::GetName(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindField, version);
  return layout != NULL ? (VMJavaLangString*)RawWord(layout->nameWord) : NULL;
}

VMClass* VMJavaLangReflectField::GetType(unsigned long version) {
  VMDataMember* field = GetVMDataMember(version);
  return field != NULL ? field->GetClass() : NULL;
}

jint VMJavaLangReflectField::GetModifiers(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindField, version);
  if (layout == NULL || layout->modifiersWord < 0) return 0;
  VMDataMember* field = GetVMDataMember(version);
  return field != NULL ? field->GetFlags() : 0;
}

namespace {

/* Whether a method may stand behind a Method (constructors and initialisers may not) or
   behind a Constructor (only constructors). */
bool IsConstructorName(VMMethod* method) {
  VMNameSpace* ns = method->GetDefinedIn() != NULL ? method->GetDefinedIn()->GetNameSpace() : NULL;
  return ns != NULL && method->GetName() == WellKnown(ns, LT_INIT);
}
bool IsInitializerName(VMMethod* method) {
  VMNameSpace* ns = method->GetDefinedIn() != NULL ? method->GetDefinedIn()->GetNameSpace() : NULL;
  return ns != NULL && method->GetName() == WellKnown(ns, LT_CLINIT);
}

}  // namespace

VMMethod* VMJavaLangReflectMethod::GetVMMethod(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  VMLoadableClass* cls = layout != NULL ? CheckedClass(*layout) : NULL;
  if (cls == NULL) return NULL;
  int32_t slot = RawWord(layout->slotWord);
  VMMethod* method = NULL;
  if (slot >= 0) {
    VMMethodArray* methods = cls->GetMethods();
    if (methods == NULL || (uint32_t)slot >= methods->GetSize()) return NULL;
    method = methods->Get((uint32_t)slot);
    if (method == NULL || method->GetDefinedIn() != cls) return NULL;
  } else {
    VMMethodArray* table = cls->VMLoadableOrArrayClass::GetMethodTable();
    uint32_t index = (uint32_t)(-(int64_t)slot);
    if (table == NULL || index >= table->GetSize()) return NULL;
    method = table->Get(index);
    // Made only for a method of the class itself, at a slot its subclasses keep.
    if (method == NULL || method->GetDefinedIn() != cls) return NULL;
  }
  if (IsConstructorName(method) || IsInitializerName(method)) return NULL;
  return method;
}

jint VMJavaLangReflectMethod::GetAccessibleObject_ACCESS_PERMISSION(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? RawWord(layout->accessWord) & 0xFF : 0;
}

VMLoadableClass* VMJavaLangReflectMethod::GetReflectClass(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? CheckedClass(*layout) : NULL;
}

jint VMJavaLangReflectMethod::GetSlot(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? RawWord(layout->slotWord) : 0;
}

VMJavaLangString* VMJavaLangReflectMethod::GetName(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? (VMJavaLangString*)RawWord(layout->nameWord) : NULL;
}

namespace {

/* A type word as a class, only when it is one. */
VMClass* AsClass(VMObject* self, VMword word) {
  VMObject* o = (VMObject*)word;
  if (o == NULL || !o->GetHasClass()) return NULL;
  return o->GetClass() == ListClass(self->GetClass()->GetNameSpace(), CL_CLASS) ? (VMClass*)o : NULL;
}

/* A types word as a Class[], only when it is one. */
VMClassArray* AsClassArray(VMObject* self, VMword word) {
  VMObject* o = (VMObject*)word;
  if (o == NULL || !o->GetHasClass()) return NULL;
  VMArrayClassList* arrays = self->GetClass()->GetNameSpace()->GetArrayClassList();
  return arrays != NULL && o->GetClass() == (VMClass*)arrays->GetVMClassArrayClass() ? (VMClassArray*)o : NULL;
}

}  // namespace

VMClass* VMJavaLangReflectMethod::GetReturnType(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? AsClass(this, (VMword)RawWord(layout->typeWord)) : NULL;
}

VMClassArray* VMJavaLangReflectMethod::GetParameterTypes(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? AsClassArray(this, (VMword)RawWord(layout->parameterTypesWord)) : NULL;
}

VMClassArray* VMJavaLangReflectMethod::GetExceptionTypes(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  return layout != NULL ? AsClassArray(this, (VMword)RawWord(layout->exceptionTypesWord)) : NULL;
}

jint VMJavaLangReflectMethod::GetModifiers(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindMethod, version);
  if (layout == NULL || layout->modifiersWord < 0) return 0;
  VMMethod* method = GetVMMethod(version);
  return method != NULL ? method->GetFlags() : 0;
}

VMMethod* VMJavaLangReflectConstructor::GetVMMethod(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  VMLoadableClass* cls = layout != NULL ? CheckedClass(*layout) : NULL;
  if (cls == NULL) return NULL;
  VMMethodArray* methods = cls->GetMethods();
  uint32_t slot = (uint32_t)RawWord(layout->slotWord);
  if (methods == NULL || slot >= methods->GetSize()) return NULL;
  VMMethod* method = methods->Get(slot);
  if (method == NULL || method->GetDefinedIn() != cls || !IsConstructorName(method) || method->GetIsStatic())
    return NULL;
  return method;
}

jint VMJavaLangReflectConstructor::GetAccessibleObject_ACCESS_PERMISSION(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  return layout != NULL ? RawWord(layout->accessWord) & 0xFF : 0;
}

VMLoadableClass* VMJavaLangReflectConstructor::GetReflectClass(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  return layout != NULL ? CheckedClass(*layout) : NULL;
}

jint VMJavaLangReflectConstructor::GetSlot(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  return layout != NULL ? RawWord(layout->slotWord) : 0;
}

VMClassArray* VMJavaLangReflectConstructor::GetParameterTypes(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  return layout != NULL ? AsClassArray(this, (VMword)RawWord(layout->parameterTypesWord)) : NULL;
}

VMClassArray* VMJavaLangReflectConstructor::GetExceptionTypes(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  return layout != NULL ? AsClassArray(this, (VMword)RawWord(layout->exceptionTypesWord)) : NULL;
}

jint VMJavaLangReflectConstructor::GetModifiers(unsigned long version) {
  const VMReflectLayout* layout = Check(this, KindConstructor, version);
  if (layout == NULL || layout->modifiersWord < 0) return 0;
  VMMethod* method = GetVMMethod(version);
  return method != NULL ? method->GetFlags() : 0;
}

/* ------------------------------------------------------------------------------------ */
/* Value conversions                                                                     */

namespace {

/* Words of a box's value by type code. */
uint32_t ValueWords(int32_t code) { return code == VMTypeLong || code == VMTypeDouble ? 2 : 1; }

int64_t Long(const VMword* v) { return (int64_t)(((uint64_t)v[1] << 32) | v[0]); }
void PutLong(VMword* v, int64_t x) {
  v[0] = (VMword)(uint64_t)x;
  v[1] = (VMword)((uint64_t)x >> 32);
}
void PutFloat(VMword* v, float f) { memcpy(&v[0], &f, 4); }
void PutDouble(VMword* v, double d) {
  uint64_t bits;
  memcpy(&bits, &d, 8);
  v[0] = (VMword)bits;
  v[1] = (VMword)(bits >> 32);
}
float Float(const VMword* v) {
  float f;
  memcpy(&f, &v[0], 4);
  return f;
}

}  // namespace

int32_t VMJavaLangReflectField::TypeCode(VMClass* cls) {
  if (cls == NULL || !cls->GetIsPrimitive()) return 0;
  return (int32_t)((VMPrimitiveClass*)cls)->GetType();
}

uint32_t VMJavaLangReflectField::UnWrap(VMObject* value, VMword* out) {
  out[0] = (VMword)value;
  if (value == NULL || !value->GetHasClass()) return 0;
  VMClass* cls = value->GetClass();
  if (cls == NULL || !cls->GetIsLoadable()) return 0;
  VMClass::Identity id = cls->Identify();
  if (id < VMClass::IdBoolean || id > VMClass::IdLong) return 0;
  int32_t code = (int32_t)id + 1;
  // A class of that name from another loader with no room for the value is no box.
  if (((VMLoadableClass*)cls)->GetCreateSize() < ValueWords(code)) return 0;
  out[0] = value->GetWord(0);
  if (ValueWords(code) == 2) out[1] = value->GetWord(1);
  return (uint32_t)code;
}

VMObject* VMJavaLangReflectField::Wrap(JNIEnv* env, int32_t type, const VMword* value) {
  if (type < VMTypeBoolean || type > VMTypeLong) {
    VM_ASSERT(type == VMTypeVoid);
    return NULL;
  }
  VMNameSpace* ns = EnvNameSpaceOf(env);
  VM* vm = env != NULL && env->thread != NULL ? env->thread->GetVM() : NULL;
  if (ns == NULL || vm == NULL) return NULL;
  // The box names stand in the literal table in type-code order from Boolean on.
  VMLiteral* name = WellKnown(ns, LT_BOOLEAN + (type - VMTypeBoolean));
  VMClass* found = name != NULL ? VMClass::FindSystemClass(ns, name) : NULL;
  VMLoadableClass* cls = found != NULL && found->GetIsLoadable() ? (VMLoadableClass*)found : NULL;
  if (cls != NULL && cls->GetInitializedStaticData(vm) == NULL) cls = VMLoadableClass::FindInitialized(env, name, NULL);
  if (cls == NULL || cls->GetCreateSize() < ValueWords(type)) {
    if (env->thread->GetException() == NULL) (void)VMJniThrowInternal(env, VMStatus_NoClassDefFoundError, NULL);
    return NULL;
  }
  VMObject* box = VMObject::CreateInstance(vm->GetHeap(), cls, jallocCollectAndRetry);
  if (box == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  box->SetWord(0, value[0]);
  if (ValueWords(type) == 2) box->SetWord(1, value[1]);
  return box;
}

bool VMJavaLangReflectField::Widen(int32_t from, int32_t to, VMword* value) {
  if (from == to) return true;
  // The int-like source kinds hold their value sign- or zero-extended in word 0.
  const bool intLike = from == VMTypeByte || from == VMTypeShort || from == VMTypeChar || from == VMTypeInt;
  switch (to) {
    case VMTypeShort: return from == VMTypeByte;
    case VMTypeInt: return from == VMTypeByte || from == VMTypeShort || from == VMTypeChar;
    case VMTypeLong:
      if (!intLike) return false;
      PutLong(value, (int64_t)FromWord(value[0]));
      return true;
    case VMTypeFloat:
      if (intLike) {
        PutFloat(value, (float)FromWord(value[0]));
        return true;
      }
      if (from == VMTypeLong) {
        PutFloat(value, (float)Long(value));
        return true;
      }
      return false;
    case VMTypeDouble:
      if (intLike) {
        PutDouble(value, (double)FromWord(value[0]));
        return true;
      }
      if (from == VMTypeLong) {
        PutDouble(value, (double)Long(value));
        return true;
      }
      if (from == VMTypeFloat) {
        PutDouble(value, (double)Float(value));
        return true;
      }
      return false;
    default: return false;
  }
}
