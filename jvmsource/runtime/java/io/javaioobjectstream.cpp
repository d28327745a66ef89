/* The natives of the object streams: java.io.ObjectStreamClass (what a class declares),
   java.io.ObjectInputStream and java.io.ObjectOutputStream (objects made without their
   serializable constructors, fields moved by slot, the classes' own hooks).

   Everything that reaches these natives may come from a hostile stream by way of Java
   code, so none of them trusts its arguments: a slot is used only when it names a
   non-static field of the object's class of the type asked for, a reference is stored
   only where the field's type admits it, array ranges are checked before any element is
   touched, and a hook or constructor runs only on an instance of its own class. */
#include <stdlib.h>
#include <string.h>

#include "javaio.h"
#include "registration.h"
#include "vmarray.h"
#include "vm.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmjni_support.h"
#include "vmjniutils.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmjvm.h"
#include "vmthread.h"
#include "vmupcalls.h"
#include "vmutils.h"

using vmjni::Intern;
using vmjni::NameSpaceOf;

namespace {

const jint kNoSlot = -1;

bool Pending(JNIEnv* env) { return env->thread->GetException() != NULL; }

void Throw(JNIEnv* env, VMStatus status, const char* message = NULL) {
  (void)VMJniThrowInternal(env, status, message);
}

/* A class argument; NULL with NullPointerException pending for null or a non-class. */
VMClass* ClassArg(JNIEnv* env, jobject handle) {
  VMClass* cls = VMJniUnHandleClass(env, handle);
  if (cls == NULL) Throw(env, VMStatus_NullPointerException);
  return cls;
}

/* A loadable class with its members read; NULL (exception pending) when preparation
   fails. */
VMLoadableClass* Prepared(JNIEnv* env, VMClass* cls) {
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  return vmjni::EnsurePrepared(env, loadable) ? loadable : NULL;
}

VMArrayClassList* Arrays(JNIEnv* env) { return NameSpaceOf(env)->GetArrayClassList(); }

/* An array argument of exactly that class; NULL with NullPointerException pending. */
VMArray* ArrayArg(JNIEnv* env, jobject handle, VMArrayClass* expected) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL || !object->GetHasClass() || object->GetClass() != (VMClass*)expected ||
      !object->GetIsScalarArray()) {
    Throw(env, VMStatus_NullPointerException);
    return NULL;
  }
  return (VMArray*)object;
}

/* The classes whose instances the machine builds itself or trusts: a stream never makes
   one, nor writes into one's fields. */
bool MachineBuilt(JNIEnv* env, VMClass* cls) {
  VMClassList* list = NameSpaceOf(env)->GetClassList();
  return cls == (VMClass*)list->GetStringClass() || cls == (VMClass*)list->GetClassClass() ||
         cls == (VMClass*)list->GetReflectFieldClass() || cls == (VMClass*)list->GetReflectMethodClass() ||
         cls == (VMClass*)list->GetReflectConstructorClass();
}

/* An object argument whose fields may be moved: a plain instance of a loadable class the
   machine does not build itself. NULL with an exception pending otherwise. */
VMObject* InstanceArg(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL || !object->GetHasClass()) {
    Throw(env, VMStatus_NullPointerException);
    return NULL;
  }
  VMClass* cls = object->GetClass();
  if (!cls->GetIsLoadable() || MachineBuilt(env, cls)) {
    Throw(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  return object;
}

/* Text buffers from the host's heap; NULL when refused. */
char* TextBuffer(size_t bytes) {
  if (bytes > 0x7FFFFFFFu) return NULL;
  return (char*)VMUtils::GetHostFunctions()->HeapAlloc(NULL, (uint32_t)bytes, jallocFailFast);
}

void FreeText(char* block) {
  if (block != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, block);
}

bool IsReferenceCode(jint code) { return code == 'L' || code == '['; }

/* The width in the primitive data of a type code; 0 for none. */
uint32_t Width(jint code) {
  switch (code) {
    case 'B': case 'Z': return 1;
    case 'C': case 'S': return 2;
    case 'F': case 'I': return 4;
    case 'D': case 'J': return 8;
    default: return 0;
  }
}

/* The non-static field of the object's class or a superclass that starts at the slot and
   has the type code (both reference codes stand for any reference field); NULL when
   there is none, which also keeps every slot used inside the object's body. */
VMDataMember* FieldAt(VMObject* object, jint slot, jint code) {
  if (slot < 0) return NULL;
  for (VMLoadableClass* cls = object->GetLoadableClass(); cls != NULL; cls = cls->GetSuper()) {
    VMDataMemberArray* fields = cls->GetDataMembers();
    uint32_t n = fields != NULL ? fields->GetSize() : 0;
    for (uint32_t i = 0; i < n; i++) {
      VMDataMember* field = fields->Get(i);
      if (field == NULL || field->GetIsStatic() || field->GetIndex() != slot) continue;
      VMLiteral* sig = field->GetSignature();
      jint first = sig != NULL && sig->UTF8Length() > 0 ? sig->ByteAt(0) : 0;
      if (IsReferenceCode(code) ? IsReferenceCode(first) : first == code) return field;
      return NULL;
    }
  }
  return NULL;
}

/* The field for a slot the caller wants to move, or NULL with
   ArrayIndexOutOfBoundsException pending. */
VMDataMember* CheckedField(JNIEnv* env, VMObject* object, jint slot, jint code) {
  VMDataMember* field = FieldAt(object, slot, code);
  if (field == NULL) Throw(env, VMStatus_ArrayIndexOutOfBoundsException, "no field at that slot");
  return field;
}

/* The declared type of a reference field; NULL when it cannot be had. */
VMClass* FieldType(JNIEnv* env, VMDataMember* field) {
  VMClass* type = field->GetClass();
  if (type != NULL) return type;
  VMLoadableClass* owner = field->GetDefinedIn();
  return owner != NULL ? VMClass::FindBySignature(NameSpaceOf(env), field->GetSignature(), owner->GetClassLoader())
                       : NULL;
}

/* Stores a reference in a field after the type test; false with ClassCastException
   pending when the value does not fit. */
bool StoreReference(JNIEnv* env, VMObject* object, VMDataMember* field, VMObject* value, VMClass* also) {
  if (value != NULL) {
    VMClass* type = FieldType(env, field);
    if (!value->GetHasClass() || type == NULL || !VMClass::AssignableFrom(value->GetClass(), type) ||
        (also != NULL && !VMClass::AssignableFrom(value->GetClass(), also))) {
      Throw(env, VMStatus_ClassCastException, "stream value does not fit the field");
      return false;
    }
  }
  object->SetWord((uint32_t)field->GetIndex(), (VMword)value);
  return true;
}

/* ---- hooks ---- */

/* The class's own, non-static writeObject or readObject hook; NULL when it has none. */
VMMethod* HookOf(JNIEnv* env, VMClass* cls, bool forWriting) {
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* name = Intern(ns, forWriting ? "writeObject" : "readObject");
  VMLiteral* sig = Intern(ns, forWriting ? "(Ljava/io/ObjectOutputStream;)V" : "(Ljava/io/ObjectInputStream;)V");
  if (name == NULL || sig == NULL) return NULL;
  VMMethod* method = ((VMLoadableClass*)cls)->FindMethod(name, sig, false);
  return method != NULL && !method->GetIsStatic() ? method : NULL;
}

/* Hooks call back into the streams, which call hooks again: a graph of hook classes
   nests C frames once per level. Past this depth the call is refused with
   StackOverflowError rather than let the host thread's stack run out. */
const int kMaxHookDepth = 1500;
thread_local int hookDepth = 0;

/* Runs the hook of exactly cls (never an override found through obj's class) on obj,
   which must be an instance of cls. */
jboolean InvokeHook(JNIEnv* env, jobject self, jobject obj, jclass clsHandle, bool forWriting) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL) return 0;
  VMObject* object = VMJniHandle::UnHandle(env, obj);
  if (object == NULL) {
    Throw(env, VMStatus_NullPointerException);
    return 0;
  }
  if (!VMClass::InstanceOf(object, cls)) {
    Throw(env, VMStatus_IllegalArgumentException, "object is not of the hook's class");
    return 0;
  }
  if (Prepared(env, cls) == NULL) return 0;
  VMMethod* hook = HookOf(env, cls, forWriting);
  if (hook == NULL) return 0;
  jmethodID id = (jmethodID)VMJniHandle::NewFieldID(env, hook);
  if (id == 0) return 0;
  if (hookDepth >= kMaxHookDepth) {
    Throw(env, VMStatus_StackOverflowError);
    return 0;
  }
  hookDepth++;
  env->functions->CallNonvirtualVoidMethod(env, obj, clsHandle, id, self);
  hookDepth--;
  return 1;
}

/* ---- the byte coding of primitive data ---- */

void PutBytes(VMArray* data, uint32_t at, uint64_t value, uint32_t width) {
  VMbyteArray* bytes = (VMbyteArray*)data;
  for (uint32_t i = 0; i < width; i++) bytes->Set(at + i, (jbyte)(value >> (8 * (width - 1 - i))));
}

uint64_t GetBytes(VMArray* data, uint32_t at, uint32_t width) {
  VMbyteArray* bytes = (VMbyteArray*)data;
  uint64_t value = 0;
  for (uint32_t i = 0; i < width; i++) value = (value << 8) | (uint8_t)bytes->Get(at + i);
  return value;
}

/* The field-ID arrays of the primitive-data natives, checked against each other; false
   with an exception pending. */
bool IdArrays(JNIEnv* env, jobject ids, jobject codes, jobject data, VMArray** idArray, VMArray** codeArray,
              VMArray** dataArray) {
  VMArrayClassList* arrays = Arrays(env);
  *idArray = ArrayArg(env, ids, arrays->GetVMlongArrayClass());
  if (*idArray == NULL) return false;
  *codeArray = ArrayArg(env, codes, arrays->GetVMcharArrayClass());
  if (*codeArray == NULL) return false;
  *dataArray = ArrayArg(env, data, arrays->GetVMbyteArrayClass());
  if (*dataArray == NULL) return false;
  if ((*codeArray)->GetSize() < (*idArray)->GetSize()) {
    Throw(env, VMStatus_ArrayIndexOutOfBoundsException);
    return false;
  }
  return true;
}

/* ---- field sequences: (type code, slot) pairs over an instance ---- */

/* How many pairs the sequence holds; -1 with an exception pending when the instance or
   the sequence is not what it must be. */
int32_t FieldPairs(JNIEnv* env, jobject obj, jobject sequence) {
  if (InstanceArg(env, obj) == NULL) return -1;
  VMArray* array = ArrayArg(env, sequence, Arrays(env)->GetVMintArrayClass());
  return array != NULL ? (int32_t)(array->GetSize() / 2) : -1;
}

/* Pair k, and the instance: both read again through their handles for every pair, since
   the stream's methods that run between pairs may collect (never move), and only the
   handles are known to the collector. */
VMObject* FieldPair(JNIEnv* env, jobject obj, jobject sequence, uint32_t k, jint* code, jint* slot) {
  VMintArray* pairs = (VMintArray*)VMJniHandle::UnHandle(env, sequence);
  *code = pairs->Get(2 * k);
  *slot = pairs->Get(2 * k + 1);
  return VMJniHandle::UnHandle(env, obj);
}

/* ---- the method ids of the stream's own read and write methods ---- */

jmethodID Checked(JNIEnv* env, jmethodID id) {
  if (id == 0 && !Pending(env)) Throw(env, VMStatus_InternalError, "missing method ID");
  return id;
}

}  // namespace

extern "C" {

/* ================= java.io.ObjectStreamClass ================= */

/* A primitive class answers as int[] does; an array the element's public bit over final
   and abstract, with the element class initialised as the loadable class would be. */
jint JNICALL JavaIoObjectStreamClass_getClassAccess(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL) return 0;
  if (cls->GetIsPrimitive()) return 0x411;
  if (cls->GetIsArray()) {
    VMClass* element = cls;
    while (element != NULL && element->GetIsArray()) element = ((VMArrayClass*)element)->GetElementClass();
    if (element == NULL || element->GetIsPrimitive()) return 0x411;
    VMLoadableClass* loadable = (VMLoadableClass*)element;
    if (loadable->EnsureInitialized(env) == NULL) return 0x410;
    return 0x410 | (loadable->GetFlags() & 0x1);
  }
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (loadable->EnsureInitialized(env) == NULL) return 0;
  return loadable->GetFlags();
}

/* One "name signature" string per own method (forMethods) or field, rooted in a local
   reference from the start, so that the strings made after it cannot lose it. */
static jobjectArray MemberSignatures(JNIEnv* env, jobject clsHandle, bool forMethods) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL) return NULL;
  jclass stringClass = (jclass)VMJniHandle::NewLocal(env, (VMObject*)NameSpaceOf(env)->GetClassList()->GetStringClass());
  if (stringClass == 0) return NULL;
  VMLoadableClass* loadable = cls->GetIsLoadable() ? Prepared(env, cls) : NULL;
  if (cls->GetIsLoadable() && loadable == NULL) return NULL;
  uint32_t n = 0;
  if (loadable != NULL) {
    VMObject* table = forMethods ? (VMObject*)loadable->GetMethods() : (VMObject*)loadable->GetDataMembers();
    n = table != NULL ? ((VMArray*)table)->GetSize() : 0;
  }
  jobjectArray result = env->functions->NewObjectArray(env, (jsize)n, stringClass, 0);
  env->functions->DeleteLocalRef(env, stringClass);
  if (result == 0) return NULL;
  for (uint32_t i = 0; i < n; i++) {
    VMMember* member = forMethods ? (VMMember*)loadable->GetMethods()->Get(i) : (VMMember*)loadable->GetDataMembers()->Get(i);
    char* name = member != NULL ? member->GetName()->MakeUTF8() : NULL;
    char* sig = member != NULL ? member->GetSignature()->MakeUTF8() : NULL;
    size_t nameLength = name != NULL ? strlen(name) : 0, sigLength = sig != NULL ? strlen(sig) : 0;
    char* joined = name != NULL && sig != NULL ? TextBuffer(nameLength + sigLength + 2) : NULL;
    jstring text = 0;
    if (joined != NULL) {
      memcpy(joined, name, nameLength);
      joined[nameLength] = ' ';
      memcpy(joined + nameLength + 1, sig, sigLength + 1);
      text = env->functions->NewStringUTF(env, joined);
    }
    FreeText(joined);
    VMLiteral::FreeUTF8(name);
    VMLiteral::FreeUTF8(sig);
    if (text == 0) {
      if (!Pending(env)) Throw(env, VMStatus_OutOfMemoryError);
      env->functions->DeleteLocalRef(env, result);
      return NULL;
    }
    env->functions->SetObjectArrayElement(env, result, (jsize)i, text);
    env->functions->DeleteLocalRef(env, text);
  }
  return result;
}

jobjectArray JNICALL JavaIoObjectStreamClass_getMethodSignatures(JNIEnv* env, jobject, jobject cls) {
  return MemberSignatures(env, cls, true);
}

jobjectArray JNICALL JavaIoObjectStreamClass_getFieldSignatures(JNIEnv* env, jobject, jobject cls) {
  return MemberSignatures(env, cls, false);
}

/* The modifiers of the own member a "name signature" string names; 0 for none. */
static jint MemberAccess(JNIEnv* env, jobject clsHandle, jstring text, bool forMethods) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL) return 0;
  VMJavaLangString* string = javaio::StringOf(env, text);
  if (string == NULL) {
    Throw(env, VMStatus_NullPointerException);
    return 0;
  }
  VMLoadableClass* loadable = Prepared(env, cls);
  if (loadable == NULL) return 0;
  char* copy = string->MakeUTF8();
  if (copy == NULL) {
    Throw(env, VMStatus_OutOfMemoryError);
    return 0;
  }
  jint flags = 0;
  char* blank = strchr(copy, ' ');
  if (blank != NULL) {
    *blank = 0;
    VMNameSpace* ns = NameSpaceOf(env);
    VMLiteral* name = Intern(ns, copy);
    VMLiteral* sig = Intern(ns, blank + 1);
    VMMember* member = NULL;
    if (name != NULL && sig != NULL)
      member = forMethods ? (VMMember*)loadable->FindMethod(name, sig, false)
                          : (VMMember*)loadable->FindField(name, sig, false, env);
    if (member != NULL && member->GetDefinedIn() == loadable) flags = member->GetFlags();
  }
  VMJavaLangString::FreeUTF8(copy);
  return flags;
}

jint JNICALL JavaIoObjectStreamClass_getMethodAccess(JNIEnv* env, jobject, jobject cls, jstring s) {
  return MemberAccess(env, cls, s, true);
}

jint JNICALL JavaIoObjectStreamClass_getFieldAccess(JNIEnv* env, jobject, jobject cls, jstring s) {
  return MemberAccess(env, cls, s, false);
}

namespace {

/* The slot of an own instance field of a class; -1 with InternalError pending when it
   has none. */
jint SlotOf(JNIEnv* env, VMLoadableClass* cls, const char* name, const char* sig) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* n = Intern(ns, name);
  VMLiteral* s = Intern(ns, sig);
  VMDataMember* field = n != NULL && s != NULL ? cls->FindField(n, s, false, env) : NULL;
  if (field != NULL && !field->GetIsStatic()) return field->GetIndex();
  Throw(env, VMStatus_InternalError, "missing field ID");
  return -1;
}

}  // namespace

/* The non-static, non-transient own fields as ObjectStreamFields (name, type code, slot,
   type string for references), in declaration order. Each element is filled word by
   word as its constructor would fill it (the type string interned), without running
   Java code: a class is described once a stream. The first failure ends it. */
jobjectArray JNICALL JavaIoObjectStreamClass_getFields0(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL) return NULL;
  jclass fieldClass = env->functions->FindClass(env, "java/io/ObjectStreamField");
  VMLoadableClass* streamField = fieldClass != 0 ? Prepared(env, VMJniUnHandleClass(env, fieldClass)) : NULL;
  if (streamField == NULL) return NULL;
  const jint nameSlot = SlotOf(env, streamField, "name", "Ljava/lang/String;");
  const jint typeSlot = SlotOf(env, streamField, "type", "C");
  const jint offsetSlot = SlotOf(env, streamField, "offset", "I");
  const jint typeStringSlot = SlotOf(env, streamField, "typeString", "Ljava/lang/String;");
  if (Pending(env)) return NULL;
  VMLoadableClass* loadable = NULL;
  if (cls->GetIsLoadable()) {
    loadable = Prepared(env, cls);
    if (loadable == NULL) return NULL;
  }
  VMDataMemberArray* fields = loadable != NULL ? loadable->GetDataMembers() : NULL;
  uint32_t n = fields != NULL ? fields->GetSize() : 0, count = 0;
  for (uint32_t i = 0; i < n; i++) {
    VMDataMember* f = fields->Get(i);
    if (f != NULL && !f->GetIsStatic() && !f->GetIsTransient()) count++;
  }
  jobjectArray result = env->functions->NewObjectArray(env, (jsize)count, fieldClass, 0);
  if (result == 0) return NULL;
  VMNameSpace* ns = NameSpaceOf(env);
  uint32_t next = 0;
  for (uint32_t i = 0; i < n && next < count; i++) {
    VMDataMember* f = loadable->GetDataMembers()->Get(i);
    if (f == NULL || f->GetIsStatic() || f->GetIsTransient()) continue;
    VMLiteral* sig = f->GetSignature();
    jchar code = sig->UTF8Length() > 0 ? sig->ByteAt(0) : 0;
    jobject element = env->functions->AllocObject(env, fieldClass);
    if (element == 0) return NULL;
    // The interned string is the name space's, which no collection of the machine frees;
    // the name is stored before anything else is made.
    VMJavaLangString* typeString = IsReferenceCode(code) ? VMJavaLangString::CreateIntern(ns, sig) : NULL;
    VMJavaLangString* name = IsReferenceCode(code) && typeString == NULL ? NULL : f->GetName()->MakeVMJavaLangString(env);
    if (name == NULL) {
      if (!Pending(env)) Throw(env, VMStatus_OutOfMemoryError);
      return NULL;
    }
    VMObject* o = VMJniHandle::UnHandle(env, element);
    o->SetWord((uint32_t)nameSlot, (VMword)name);
    o->SetWord((uint32_t)typeSlot, (VMword)code);
    o->SetWord((uint32_t)offsetSlot, (VMword)f->GetIndex());
    o->SetWord((uint32_t)typeStringSlot, (VMword)typeString);
    env->functions->SetObjectArrayElement(env, result, (jsize)next++, element);
    env->functions->DeleteLocalRef(env, element);
  }
  return result;
}

namespace {

/* The class's own static long serialVersionUID field (final too when asked); NULL when
   it declares none. */
VMDataMember* UidField(JNIEnv* env, VMLoadableClass* loadable, bool final) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* name = Intern(ns, "serialVersionUID");
  VMLiteral* sig = Intern(ns, "J");
  VMDataMember* field = name != NULL && sig != NULL ? loadable->FindField(name, sig, false, env) : NULL;
  if (field == NULL || !field->GetIsStatic() || (final && !field->GetIsFinal()) || field->GetDefinedIn() != loadable)
    return NULL;
  return field;
}

/* The value of the class's static long field, the class initialised first; 0 with an
   exception pending when that fails. */
jlong StaticLong(JNIEnv* env, jobject clsHandle, VMLoadableClass* loadable, VMDataMember* field) {
  if (loadable->EnsureInitialized(env) == NULL) return 0;
  jfieldID id = (jfieldID)VMJniHandle::NewFieldID(env, field);
  if (id == 0) return 0;
  return env->functions->GetStaticLongField(env, (jclass)clsHandle, id);
}

}  // namespace

/* The class's own static long serialVersionUID; 0 when it declares none. */
jlong JNICALL JavaIoObjectStreamClass_getSerialVersionUID(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL || !cls->GetIsLoadable()) return 0;
  VMLoadableClass* loadable = Prepared(env, cls);
  VMDataMember* field = loadable != NULL ? UidField(env, loadable, false) : NULL;
  return field != NULL ? StaticLong(env, clsHandle, loadable, field) : 0;
}

jboolean JNICALL JavaIoObjectStreamClass_hasWriteObject(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL || Prepared(env, cls) == NULL) return 0;
  return HookOf(env, cls, true) != NULL ? 1 : 0;
}

jboolean JNICALL JavaIoObjectStreamClass_hasStaticInitializer(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL || Prepared(env, cls) == NULL) return 0;
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* name = Intern(ns, "<clinit>");
  VMLiteral* sig = Intern(ns, "()V");
  return name != NULL && sig != NULL && ((VMLoadableClass*)cls)->FindMethod(name, sig, false) != NULL ? 1 : 0;
}

/* ---- SHA-1 ---- */

namespace javaio {

static inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void Sha1::Reset() {
  state_[0] = 0x67452301u;
  state_[1] = 0xEFCDAB89u;
  state_[2] = 0x98BADCFEu;
  state_[3] = 0x10325476u;
  state_[4] = 0xC3D2E1F0u;
  filled_ = 0;
  length_ = 0;
}

void Sha1::Write(const uint8_t* bytes, uint32_t count) {
  length_ += count;
  while (count > 0) {
    uint32_t n = count < 64 - filled_ ? count : 64 - filled_;
    memcpy(block_ + filled_, bytes, n);
    filled_ += n;
    bytes += n;
    count -= n;
    if (filled_ == 64) Compress();
  }
}

void Sha1::Digest(uint8_t out[20]) {
  // The bit length last, after a one bit and the zeros that end the block at 56 bytes.
  const uint64_t bits = length_ << 3;
  uint8_t tail[72] = {0x80};
  uint32_t pad = (filled_ < 56 ? 56 : 120) - filled_;
  for (int i = 0; i < 8; i++) tail[pad + i] = (uint8_t)(bits >> (56 - 8 * i));
  Write(tail, pad + 8);
  for (int i = 0; i < 20; i++) out[i] = (uint8_t)(state_[i >> 2] >> (24 - 8 * (i & 3)));
  Reset();
}

void Sha1::Compress() {
  uint32_t w[80];
  for (int t = 0; t < 16; t++)
    w[t] = (uint32_t)block_[4 * t] << 24 | (uint32_t)block_[4 * t + 1] << 16 | (uint32_t)block_[4 * t + 2] << 8 |
           block_[4 * t + 3];
  for (int t = 16; t < 80; t++) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
  for (int t = 0; t < 80; t++) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    uint32_t next = RotateLeft(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = next;
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  filled_ = 0;
}

}  // namespace javaio

namespace {

/* ---- a class's default serial version ----
   The SHA-1 of the class's description as DataOutputStream would write it: the name,
   the modifiers, the interfaces' names, the fields but the private static and private
   transient ones, the static initialiser, then the constructors and the methods but the
   private ones, each list sorted as Java sorts the texts "name signature". */

/* The characters of a text as Java code has it: a member's "name signature" (with a
   signature), or a class name with its '/' as '.' (dotted). */
class JavaText {
 public:
  JavaText(VMLiteral* text, VMLiteral* after, bool dotted)
      : text_(text), after_(after), blank_(after != NULL), dotted_(dotted) {}
  bool Next(jchar* c) {
    if (text_.HasMoreChars()) {
      *c = text_.NextChar();
    } else if (blank_) {
      blank_ = false;
      *c = ' ';
    } else if (after_.HasMoreChars()) {
      *c = after_.NextChar();
    } else {
      return false;
    }
    if (dotted_ && *c == '/') *c = '.';
    return true;
  }

 private:
  VMLiteralIterator text_, after_;
  bool blank_, dotted_;
};

/* String.compareTo of two texts. */
int CompareTexts(JavaText x, JavaText y) {
  for (;;) {
    jchar a, b;
    bool moreA = x.Next(&a), moreB = y.Next(&b);
    if (!moreA || !moreB) return (int)moreA - (int)moreB;
    if (a != b) return a < b ? -1 : 1;
  }
}

/* One entry of a list of the description: a member, or an interface (no signature). */
struct Described {
  VMLiteral* name;
  VMLiteral* sig;
  jint flags;
};

int CompareMembers(const void* a, const void* b) {
  const Described* x = (const Described*)a;
  const Described* y = (const Described*)b;
  return CompareTexts(JavaText(x->name, x->sig, false), JavaText(y->name, y->sig, false));
}

int CompareClassNames(const void* a, const void* b) {
  return CompareTexts(JavaText(((const Described*)a)->name, NULL, true), JavaText(((const Described*)b)->name, NULL, true));
}

/* The description's writer: DataOutputStream's coding, into the digest. */
struct DescriptionWriter {
  javaio::Sha1 sha;
  bool tooLong = false;

  void Int(jint value) {
    const uint8_t bytes[4] = {(uint8_t)(value >> 24), (uint8_t)(value >> 16), (uint8_t)(value >> 8), (uint8_t)value};
    sha.Write(bytes, 4);
  }
  /* writeUTF: the length in modified UTF-8, then the characters. */
  void Utf(JavaText text) {
    JavaText counted = text;
    uint32_t length = 0;
    for (jchar c; counted.Next(&c);) length += VMLiteral::EncodedLength(c);
    if (length > 0xFFFF) tooLong = true;
    const uint8_t head[2] = {(uint8_t)(length >> 8), (uint8_t)length};
    sha.Write(head, 2);
    char bytes[3];
    for (jchar c; text.Next(&c);) sha.Write((const uint8_t*)bytes, VMLiteral::UnicodeToUTF8(c, bytes));
  }
  void Utf(VMLiteral* text, bool dotted) { Utf(JavaText(text, NULL, dotted)); }
  /* The entries with their modifiers masked, signatures dotted when asked. */
  void Members(const Described* list, uint32_t n, jint mask, bool dottedSig) {
    for (uint32_t i = 0; i < n; i++) {
      Utf(list[i].name, false);
      Int(list[i].flags & mask);
      Utf(list[i].sig, dottedSig);
    }
  }
};

/* Room for n entries in process memory; NULL (OutOfMemoryError pending) when refused. */
Described* EntryRoom(JNIEnv* env, uint32_t n) {
  Described* room = (Described*)TextBuffer((size_t)(n > 0 ? n : 1) * sizeof(Described));
  if (room == NULL) Throw(env, VMStatus_OutOfMemoryError);
  return room;
}

/* The lists of a loadable class's description, in process memory (Free lets them go). */
struct DescribedLists {
  Described* interfaces = NULL;
  Described* fields = NULL;
  Described* methods = NULL;  // the constructors first, then the other methods
  uint32_t interfaceCount = 0, fieldCount = 0, constructorCount = 0, methodCount = 0;
  bool staticInitializer = false;
  bool ownMethods = false;  // a method not named <...>

  void Free() {
    FreeText((char*)interfaces);
    FreeText((char*)fields);
    FreeText((char*)methods);
  }

  bool Take(JNIEnv* env, VMLoadableClass* cls) {
    VMNameSpace* ns = NameSpaceOf(env);
    VMLiteral* init = Intern(ns, "<init>");
    VMLiteral* clinit = Intern(ns, "<clinit>");
    VMLiteral* voidSig = Intern(ns, "()V");
    VMClassArray* ifaces = cls->GetInterfaces();
    VMDataMemberArray* ownFields = cls->GetDataMembers();
    VMMethodArray* ownMethodList = cls->GetMethods();
    uint32_t ni = ifaces != NULL ? ifaces->GetSize() : 0, nf = ownFields != NULL ? ownFields->GetSize() : 0,
             nm = ownMethodList != NULL ? ownMethodList->GetSize() : 0;
    if (init == NULL || clinit == NULL || voidSig == NULL || (interfaces = EntryRoom(env, ni)) == NULL ||
        (fields = EntryRoom(env, nf)) == NULL || (methods = EntryRoom(env, nm)) == NULL)
      return false;
    for (uint32_t i = 0; i < ni; i++) {
      VMClass* iface = ifaces->Get(i);
      if (iface != NULL) interfaces[interfaceCount++] = {iface->GetName(), NULL, 0};
    }
    for (uint32_t i = 0; i < nf; i++) {
      VMDataMember* f = ownFields->Get(i);
      if (f == NULL || f->GetDefinedIn() != cls) continue;
      jint flags = f->GetFlags();
      if ((flags & 0x2) != 0 && (flags & (0x8 | 0x80)) != 0) continue;
      fields[fieldCount++] = {f->GetName(), f->GetSignature(), flags};
    }
    // The constructors in the first pass, the other methods in the second.
    for (int pass = 0; pass < 2; pass++) {
      for (uint32_t i = 0; i < nm; i++) {
        VMMethod* m = ownMethodList->Get(i);
        if (m == NULL || m->GetDefinedIn() != cls) continue;
        VMLiteral* name = m->GetName();
        if (pass == 0 && name == clinit && m->GetSignature() == voidSig) staticInitializer = true;
        if (pass == 0 && (name->UTF8Length() == 0 || name->ByteAt(0) != '<')) ownMethods = true;
        if ((m->GetFlags() & 0x2) != 0 || name == clinit || (name == init) != (pass == 0)) continue;
        methods[methodCount++] = {name, m->GetSignature(), m->GetFlags()};
      }
      if (pass == 0) constructorCount = methodCount;
    }
    qsort(interfaces, interfaceCount, sizeof(Described), CompareClassNames);
    qsort(fields, fieldCount, sizeof(Described), CompareMembers);
    qsort(methods, constructorCount, sizeof(Described), CompareMembers);
    qsort(methods + constructorCount, methodCount - constructorCount, sizeof(Described), CompareMembers);
    return true;
  }
};

/* The public bit of an array class's element class, as getModifiers gives it. */
jint ElementPublic(JNIEnv* env, VMArrayClass* array) {
  VMClass* element = array;
  while (element != NULL && element->GetIsArray()) element = ((VMArrayClass*)element)->GetElementClass();
  if (element == NULL || element->GetIsPrimitive()) return 0x1;
  jclass handle = (jclass)VMJniHandle::NewLocal(env, (VMObject*)element);
  jint modifiers = handle != 0 ? JVM_GetClassModifiers(env, handle) : 0;
  if (handle != 0) env->functions->DeleteLocalRef(env, handle);
  return modifiers & 0x1;
}

/* The default serial version of a loadable (initialised) or array class; 0 with an
   exception pending when it cannot be worked out. */
jlong DefaultSerialVersion(JNIEnv* env, VMClass* cls) {
  DescribedLists lists;
  jint modifiers;
  if (cls->GetIsArray()) {
    modifiers = 0x410 | ElementPublic(env, (VMArrayClass*)cls);
  } else {
    VMLoadableClass* loadable = (VMLoadableClass*)cls;
    if (!lists.Take(env, loadable)) {
      lists.Free();
      return 0;
    }
    modifiers = loadable->GetFlags() & 0x611;
    // An interface is abstract when it has methods, whatever its class file says.
    if ((modifiers & 0x200) != 0) modifiers = lists.ownMethods ? (modifiers | 0x400) : (modifiers & ~0x400);
  }
  DescriptionWriter out;
  out.Utf(cls->GetName(), true);
  out.Int(modifiers);
  for (uint32_t i = 0; i < lists.interfaceCount; i++) out.Utf(lists.interfaces[i].name, true);
  out.Members(lists.fields, lists.fieldCount, 0xDF, false);
  if (lists.staticInitializer) {
    VMNameSpace* ns = NameSpaceOf(env);
    Described clinit = {Intern(ns, "<clinit>"), Intern(ns, "()V"), 0x8};
    out.Members(&clinit, 1, 0x8, false);
  }
  out.Members(lists.methods, lists.methodCount, 0xD3F, true);
  lists.Free();
  if (out.tooLong) {
    Throw(env, VMStatus_InternalError, "serial version: a name too long for its description");
    return 0;
  }
  uint8_t digest[20];
  out.sha.Digest(digest);
  uint64_t version = 0;
  for (int i = 7; i >= 0; i--) version = (version << 8) | digest[i];
  return (jlong)version;
}

}  // namespace

/* The class's serial version: its own static final long serialVersionUID, else the
   default one. A loadable class is initialised first (its initialiser runs as the
   object streams' description of it always made it run); an array's element class is
   not. */
jlong JNICALL JavaIoObjectStreamClass_serialVersion(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  if (cls == NULL) return 0;
  if (cls->GetIsArray()) return DefaultSerialVersion(env, cls);
  VMLoadableClass* loadable = Prepared(env, cls);
  if (loadable == NULL) return 0;
  if (VMDataMember* field = UidField(env, loadable, true)) return StaticLong(env, clsHandle, loadable, field);
  if (loadable->EnsureInitialized(env) == NULL) return 0;
  // Read again: the initialiser ran Java code.
  return DefaultSerialVersion(env, VMJniUnHandleClass(env, clsHandle));
}

namespace {

/* A class's loader's key in the tables of descriptions: 0 for the system loader, which
   the host never drops (an array class is its element class's loader's, a primitive
   class the system's), else the host's id of the loader, which names one loader of the
   name space at a time. */
jint LoaderKey(VMNameSpace* ns, VMClass* cls) {
  VMClassLoader* loader = cls->GetClassLoader();
  return loader == NULL || loader == ns->GetSystemClassLoader() ? 0 : (jint)(intptr_t)loader->GetLoaderID();
}

/* The object as an Object[] of the tables (never an array of a narrower class, which
   would refuse what is stored in it); NULL for anything else. */
VMrefArray* Refs(VMNameSpace* ns, VMObject* object) {
  return object != NULL && object->GetHasClass() && object->GetIsRefArray() &&
                 object->GetClass() == (VMClass*)ns->GetArrayClassList()->GetVMObjectArrayClass()
             ? (VMrefArray*)object
             : NULL;
}

/* The object as an int[]; NULL for anything else. */
VMintArray* Ints(VMNameSpace* ns, VMObject* object) {
  return object != NULL && object->GetHasClass() &&
                 object->GetClass() == (VMClass*)ns->GetArrayClassList()->GetVMintArrayClass()
             ? (VMintArray*)object
             : NULL;
}

/* How many keys a list of tables holds, each with its holder; *keys gets them. A list is
   read as ObjectStreamClass builds it, but checked as if anything could be there. */
uint32_t ListedKeys(VMNameSpace* ns, VMrefArray* tables, VMintArray** keys) {
  *keys = tables != NULL && tables->GetSize() > 0 ? Ints(ns, tables->Get(0)) : NULL;
  if (*keys == NULL) return 0;
  uint32_t count = (*keys)->GetSize();
  return count < tables->GetSize() - 1 ? count : tables->GetSize() - 1;
}

/* The holder of the key's table in a list of tables; NULL when the list has none. */
VMrefArray* HolderIn(VMNameSpace* ns, VMrefArray* tables, jint key) {
  VMintArray* keys;
  uint32_t count = ListedKeys(ns, tables, &keys);
  for (uint32_t i = 0; i < count; i++) {
    if (keys->Get(i) != key) continue;
    VMrefArray* holder = Refs(ns, tables->Get(1 + i));
    return holder != NULL && holder->GetSize() > 0 ? holder : NULL;
  }
  return NULL;
}

/* The holder of the key's table in the list root[0]; NULL when the list has none. */
VMrefArray* HolderOf(VMNameSpace* ns, VMrefArray* root, jint key) {
  return HolderIn(ns, root->GetSize() > 0 ? Refs(ns, root->Get(0)) : NULL, key);
}

/* A holder a drop has not emptied for good (see ObjectStreamClass.root). */
bool Kept(VMNameSpace* ns, VMObject* holder) {
  VMrefArray* h = Refs(ns, holder);
  return h != NULL && h->GetSize() > 0 && h->Get(0) != holder;
}

}  // namespace

jint JNICALL JavaIoObjectStreamClass_loaderKey(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  return cls != NULL ? LoaderKey(NameSpaceOf(env), cls) : 0;
}

jint JNICALL JavaIoObjectStreamClass_classHash(JNIEnv* env, jobject, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  return cls != NULL ? (jint)cls->GetHash() : 0;
}

/* The description of the class in its loader's table under root, probed as
   ObjectStreamClass places it; null when there is none. */
jobject JNICALL JavaIoObjectStreamClass_described(JNIEnv* env, jobject, jobject rootHandle, jobject clsHandle) {
  VMClass* cls = ClassArg(env, clsHandle);
  VMNameSpace* ns = NameSpaceOf(env);
  VMrefArray* root = Refs(ns, VMJniHandle::UnHandle(env, rootHandle));
  if (cls == NULL || root == NULL) return NULL;
  VMrefArray* holder = HolderOf(ns, root, LoaderKey(ns, cls));
  VMrefArray* table = holder != NULL ? Refs(ns, holder->Get(0)) : NULL;
  uint32_t pairs = table != NULL ? table->GetSize() / 2 : 0;
  if (pairs == 0 || (pairs & (pairs - 1)) != 0) return NULL;
  uint32_t at = (uint32_t)cls->GetHash() & (pairs - 1);
  for (uint32_t probes = 0; probes < pairs; probes++, at = (at + 1) & (pairs - 1)) {
    VMObject* key = table->Get(2 * at);
    if (key == NULL) return NULL;
    if (key == (VMObject*)cls) {
      VMObject* desc = table->Get(2 * at + 1);
      return desc != NULL ? VMJniHandle::NewLocal(env, desc) : NULL;
    }
  }
  return NULL;
}

jobject JNICALL JavaIoObjectStreamClass_holder(JNIEnv* env, jobject, jobject tablesHandle, jint key) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMrefArray* holder = HolderIn(ns, Refs(ns, VMJniHandle::UnHandle(env, tablesHandle)), key);
  return holder != NULL ? VMJniHandle::NewLocal(env, (VMObject*)holder) : NULL;
}

/* The holders of the list kept, counted; copied to next and keys when they were made for
   that count. Nothing allocates here, so no drop empties a holder between the count and
   the copy. */
jint JNICALL JavaIoObjectStreamClass_listed(JNIEnv* env, jobject, jobject tablesHandle, jobject nextHandle,
                                            jobject keysHandle) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMrefArray* tables = Refs(ns, VMJniHandle::UnHandle(env, tablesHandle));
  VMintArray* keys;
  const uint32_t count = ListedKeys(ns, tables, &keys);
  uint32_t kept = 0;
  for (uint32_t i = 0; i < count; i++)
    if (Kept(ns, tables->Get(1 + i))) kept++;
  VMrefArray* next = Refs(ns, VMJniHandle::UnHandle(env, nextHandle));
  VMintArray* nextKeys = Ints(ns, VMJniHandle::UnHandle(env, keysHandle));
  if (next == NULL || nextKeys == NULL || next->GetSize() != kept + 2 || nextKeys->GetSize() != kept + 1)
    return (jint)kept;
  for (uint32_t i = 0, n = 0; i < count; i++) {
    VMObject* holder = tables->Get(1 + i);
    if (!Kept(ns, holder)) continue;
    nextKeys->Set(n, keys->Get(i));
    next->Set(1 + n++, holder);
  }
  return (jint)kept;
}

/* Stores now at a[i] when a[i] still holds expect, at once for every thread: the tables'
   only write after publication. An Object[] takes any object. */
jboolean JNICALL JavaIoObjectStreamClass_swap(JNIEnv* env, jobject, jobject arrayHandle, jint i, jobject expectHandle,
                                              jobject nowHandle) {
  VMrefArray* a = Refs(NameSpaceOf(env), VMJniHandle::UnHandle(env, arrayHandle));
  if (a == NULL || i < 0 || (uint32_t)i >= a->GetSize()) {
    Throw(env, VMStatus_NullPointerException);
    return 0;
  }
  VMword expect = (VMword)VMJniHandle::UnHandle(env, expectHandle);
  VMword now = (VMword)VMJniHandle::UnHandle(env, nowHandle);
  VMword* slot = (VMword*)a->FindElement((uint32_t)i, 2);
  return __atomic_compare_exchange_n(slot, &expect, now, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST) ? 1 : 0;
}

void JNICALL JavaIoObjectStreamClass_initNative(JNIEnv*, jobject) {}

namespace {

/* The slot of one descriptor field of the field-ID libraries, widened with its sign: the
   own instance field of its reflected field's declaring class with the field's name and
   the signature of its type; -1 when there is none (no reflected field, a class that is
   not loadable, no such field, or a static one), which the natives that take field IDs
   store nothing for. */
jlong DescriptorFieldId(JNIEnv* env, jobject f, jfieldID reflectedId, VMLiteral* name, VMLiteral* signature) {
  const JNINativeInterface_* fn = env->functions;
  jobject reflected = fn->GetObjectField(env, f, reflectedId);
  if (reflected == 0) return kNoSlot;
  jclass reflectedClass = fn->GetObjectClass(env, reflected);
  jfieldID clazzId = reflectedClass != 0 ? fn->GetFieldID(env, reflectedClass, "clazz", "Ljava/lang/Class;") : 0;
  jobject declaring = clazzId != 0 ? fn->GetObjectField(env, reflected, clazzId) : 0;
  if (reflectedClass != 0) fn->DeleteLocalRef(env, reflectedClass);
  fn->DeleteLocalRef(env, reflected);
  if (declaring == 0) return kNoSlot;
  VMClass* cls = VMJniUnHandleClass(env, declaring);
  fn->DeleteLocalRef(env, declaring);
  if (cls == NULL || !cls->GetIsLoadable() || name == NULL || signature == NULL) return kNoSlot;
  VMLoadableClass* loadable = Prepared(env, cls);
  if (loadable == NULL) return kNoSlot;
  VMDataMember* field = loadable->FindField(name, signature, false, env);
  if (field == NULL || field->GetIsStatic() || field->GetDefinedIn() != loadable) return kNoSlot;
  return (jlong)field->GetIndex();
}

/* 100 field IDs at a time into one of the two arrays. */
struct IdBuffer {
  jlong ids[100];
  jsize used;
  jsize next;
  bool Flush(JNIEnv* env, jlongArray to) {
    if (used > 0) env->functions->SetLongArrayRegion(env, to, next, used, ids);
    next += used;
    used = 0;
    return !Pending(env);
  }
};

}  // namespace

/* The field IDs of a descriptor's fields (class libraries of the field-ID form): the k-th
   primitive field's at index k of primitiveIDs, the k-th reference field's at index k of
   objectIDs. */
void JNICALL JavaIoObjectStreamClass_getFieldIDs(JNIEnv* env, jobject, jobjectArray fields, jlongArray primitiveIDs,
                                                 jlongArray objectIDs) {
  const JNINativeInterface_* fn = env->functions;
  if (fields == 0) {
    Throw(env, VMStatus_NullPointerException);
    return;
  }
  jsize n = fn->GetArrayLength(env, fields);
  if (n <= 0 || Pending(env)) return;
  jobject first = fn->GetObjectArrayElement(env, fields, 0);
  if (first == 0) {
    if (!Pending(env)) Throw(env, VMStatus_NullPointerException);
    return;
  }
  jclass descClass = fn->GetObjectClass(env, first);
  fn->DeleteLocalRef(env, first);
  if (descClass == 0) return;
  jfieldID typeId = fn->GetFieldID(env, descClass, "type", "C");
  jfieldID nameId = typeId != 0 ? fn->GetFieldID(env, descClass, "name", "Ljava/lang/String;") : 0;
  jfieldID reflectedId = nameId != 0 ? fn->GetFieldID(env, descClass, "field", "Ljava/lang/reflect/Field;") : 0;
  jfieldID typeStringId = reflectedId != 0 ? fn->GetFieldID(env, descClass, "typeString", "Ljava/lang/String;") : 0;
  if (typeStringId == 0) {
    fn->DeleteLocalRef(env, descClass);
    return;
  }
  VMNameSpace* ns = NameSpaceOf(env);
  IdBuffer primitives, references;
  primitives.used = primitives.next = references.used = references.next = 0;
  bool ok = true;
  for (jsize i = 0; i < n && ok; i++) {
    jobject f = fn->GetObjectArrayElement(env, fields, i);
    if (f == 0 || !fn->IsInstanceOf(env, f, descClass)) {
      if (f != 0) fn->DeleteLocalRef(env, f);
      if (!Pending(env)) Throw(env, VMStatus_NullPointerException);
      break;
    }
    jchar code = fn->GetCharField(env, f, typeId);
    jobject nameRef = fn->GetObjectField(env, f, nameId);
    VMJavaLangString* nameString = nameRef != 0 ? javaio::StringOf(env, nameRef) : NULL;
    VMLiteral* name = nameString != NULL ? nameString->MakeVMLiteral(ns) : NULL;
    if (nameRef != 0) fn->DeleteLocalRef(env, nameRef);
    bool reference = code == 'L' || code == '[';
    VMLiteral* signature = NULL;
    if (reference) {
      jobject typeRef = fn->GetObjectField(env, f, typeStringId);
      VMJavaLangString* typeString = typeRef != 0 ? javaio::StringOf(env, typeRef) : NULL;
      signature = typeString != NULL ? typeString->MakeVMLiteral(ns) : NULL;
      if (typeRef != 0) fn->DeleteLocalRef(env, typeRef);
    } else {
      char one[2] = {(char)code, 0};
      signature = code > 0 && code < 0x80 ? VMLiteral::CreateInstance(ns, one, 0xFFFFFFFFu) : NULL;
    }
    jlong id = DescriptorFieldId(env, f, reflectedId, name, signature);
    fn->DeleteLocalRef(env, f);
    if (Pending(env)) break;
    IdBuffer& to = reference ? references : primitives;
    to.ids[to.used++] = id;
    if (to.used == 100) ok = to.Flush(env, reference ? objectIDs : primitiveIDs);
  }
  if (ok && !Pending(env) && references.Flush(env, objectIDs)) primitives.Flush(env, primitiveIDs);
  fn->DeleteLocalRef(env, descClass);
}

/* ================= java.io.ObjectInputStream ================= */

/* The class of the name (dotted), found as the thread's loader finds it; a name no class
   answers to is ClassNotFoundException with that name, whatever the look-up raised. */
jobject JNICALL JavaIoObjectInputStream_loadClass0(JNIEnv* env, jobject, jobject, jstring nameHandle) {
  VMJavaLangString* string = javaio::StringOf(env, nameHandle);
  if (string == NULL) {
    Throw(env, VMStatus_ClassNotFoundException);
    return NULL;
  }
  char* dotted = string->MakeUTF8();
  if (dotted == NULL) {
    Throw(env, VMStatus_OutOfMemoryError);
    return NULL;
  }
  size_t length = strlen(dotted);
  char* slashed = TextBuffer(length + 1);
  bool valid = slashed != NULL && length > 0;
  if (slashed != NULL) {
    for (size_t i = 0; i <= length; i++) {
      char c = dotted[i];
      // A name in slash form is not the stream's: "a/b" must not find a.b.
      if (c == '/') valid = false;
      slashed[i] = c == '.' ? '/' : c;
    }
  }
  jclass found = valid ? env->functions->FindClass(env, slashed) : 0;
  if (found != 0 && !Pending(env)) {
    // An array class comes without its element class loaded: a missing element class
    // is a missing class here, not a failure at some later use. The element class is
    // linked but not initialised: a stream that names an array of a class runs none of
    // that class's code.
    VMClass* element = VMJniUnHandleClass(env, found);
    bool array = element != NULL && element->GetIsArray();
    while (element != NULL && element->GetIsArray()) element = ((VMArrayClass*)element)->GetElementClass();
    if (element == NULL) {
      valid = false;
    } else if (element->GetIsLoadable()) {
      VMLoadableClass* loadable = (VMLoadableClass*)element;
      if (array ? Prepared(env, loadable) == NULL : loadable->EnsureInitialized(env) == NULL) valid = false;
    }
  }
  if (found == 0 || Pending(env) || !valid) {
    // A look-up may hand back the class with its loading failure pending.
    if (found != 0) env->functions->DeleteLocalRef(env, found);
    found = 0;
    env->thread->SetException(NULL);
    Throw(env, VMStatus_ClassNotFoundException, dotted);
  }
  FreeText(slashed);
  VMJavaLangString::FreeUTF8(dotted);
  return found;
}

/* The object with only initclass's no-argument constructor run: initclass must be the
   first class above aclass that is not Serializable (aclass itself for an
   Externalizable), with its own constructor reachable from aclass. */
jobject JNICALL JavaIoObjectInputStream_allocateNewObject(JNIEnv* env, jobject, jobject aHandle, jobject initHandle) {
  VMClass* aclass = ClassArg(env, aHandle);
  if (aclass == NULL) return NULL;
  VMClass* initclass = VMJniUnHandleClass(env, initHandle);
  if (initclass == NULL || !initclass->GetIsLoadable()) {
    Throw(env, VMStatus_NoSuchMethodError);
    return NULL;
  }
  VMClass* serializable = (VMClass*)NameSpaceOf(env)->GetClassList()->GetSerializableClass();
  if (serializable == NULL) {
    jclass found = env->functions->FindClass(env, "java/io/Serializable");
    serializable = VMJniUnHandleClass(env, found);
    if (serializable == NULL) return NULL;
    env->functions->DeleteLocalRef(env, found);
  }
  if (!aclass->GetIsLoadable() || aclass->GetIsInterface() || MachineBuilt(env, aclass) ||
      !VMClass::AssignableFrom(aclass, serializable)) {
    Throw(env, VMStatus_InstantiationException);
    return NULL;
  }
  VMLoadableClass* a = Prepared(env, aclass);
  VMLoadableClass* init = a != NULL ? Prepared(env, initclass) : NULL;
  if (init == NULL) return NULL;
  if (a->GetIsAbstract()) {
    Throw(env, VMStatus_InstantiationException);
    return NULL;
  }
  if (a == init) {
    jclass ext = env->functions->FindClass(env, "java/io/Externalizable");
    if (ext == 0) return NULL;
    bool isExternalizable = VMClass::AssignableFrom(aclass, VMJniUnHandleClass(env, ext));
    env->functions->DeleteLocalRef(env, ext);
    if (!isExternalizable) {
      Throw(env, VMStatus_InstantiationException);
      return NULL;
    }
  } else {
    VMLoadableClass* first = a;
    while (first != NULL && VMClass::AssignableFrom((VMClass*)first, serializable)) first = first->GetSuper();
    if (first != init) {
      Throw(env, VMStatus_InstantiationException);
      return NULL;
    }
  }
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* initName = Intern(ns, "<init>");
  VMLiteral* voidSig = Intern(ns, "()V");
  VMMethod* ctor = initName != NULL && voidSig != NULL ? init->FindMethod(initName, voidSig, false) : NULL;
  if (ctor == NULL || ctor->GetDefinedIn() != init) {
    Throw(env, VMStatus_NoSuchMethodError);
    return NULL;
  }
  bool allowed;
  if (a == init) {
    allowed = ctor->GetIsPublic();
  } else if (ctor->GetIsPrivate()) {
    allowed = false;
  } else if (ctor->GetIsPublic() || ctor->GetIsProtected()) {
    allowed = true;
  } else {
    allowed = a->GetPackage() == init->GetPackage() && a->GetClassLoader() == init->GetClassLoader();
  }
  if (!allowed) {
    Throw(env, VMStatus_IllegalAccessException);
    return NULL;
  }
  if (a->EnsureInitialized(env) == NULL) return NULL;
  jobject object = env->functions->AllocObject(env, (jclass)aHandle);
  if (object == 0) return NULL;
  jmethodID id = (jmethodID)VMJniHandle::NewFieldID(env, ctor);
  if (id == 0) return NULL;
  env->functions->CallNonvirtualVoidMethod(env, object, (jclass)initHandle, id);
  return object;
}

jobject JNICALL JavaIoObjectInputStream_allocateNewArray(JNIEnv* env, jobject, jobject arrayHandle, jint length) {
  VMClass* cls = ClassArg(env, arrayHandle);
  if (cls == NULL) return NULL;
  if (!cls->GetIsArray()) {
    Throw(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  if (length < 0) {
    Throw(env, VMStatus_NegativeArraySizeException);
    return NULL;
  }
  VMClass* element = ((VMArrayClass*)cls)->GetElementClass();
  if (element == NULL) {
    Throw(env, VMStatus_IllegalArgumentException);
    return NULL;
  }
  const JNINativeInterface_* f = env->functions;
  if (element->GetIsPrimitive()) {
    switch (((VMPrimitiveClass*)element)->GetType()) {
      case VMTypeBoolean: return f->NewBooleanArray(env, length);
      case VMTypeChar: return f->NewCharArray(env, length);
      case VMTypeFloat: return f->NewFloatArray(env, length);
      case VMTypeDouble: return f->NewDoubleArray(env, length);
      case VMTypeByte: return f->NewByteArray(env, length);
      case VMTypeShort: return f->NewShortArray(env, length);
      case VMTypeInt: return f->NewIntArray(env, length);
      case VMTypeLong: return f->NewLongArray(env, length);
      default:
        Throw(env, VMStatus_IllegalArgumentException);
        return NULL;
    }
  }
  jclass elementHandle = (jclass)VMJniHandle::NewLocal(env, (VMObject*)element);
  if (elementHandle == 0) return NULL;
  jobject array = f->NewObjectArray(env, length, elementHandle, 0);
  f->DeleteLocalRef(env, elementHandle);
  return array;
}

jboolean JNICALL JavaIoObjectInputStream_invokeObjectReader(JNIEnv* env, jobject self, jobject obj, jobject cls) {
  return InvokeHook(env, self, obj, (jclass)cls, false);
}

jobject JNICALL JavaIoObjectInputStream_latestUserDefinedLoader(JNIEnv*, jobject) { return NULL; }

/* Reads each field of the sequence through the stream's own read methods and stores it
   after the checks; a reference that does not fit its field is ClassCastException. */
void JNICALL JavaIoObjectInputStream_inputClassFields(JNIEnv* env, jobject self, jobject obj, jobject,
                                                      jobject sequenceHandle) {
  int32_t pairs = FieldPairs(env, obj, sequenceHandle);
  if (pairs < 0) return;
  VMJniUtils* utils = NameSpaceOf(env)->GetJNIUtils();
  const JNINativeInterface_* f = env->functions;
  for (int32_t k = 0; k < pairs; k++) {
    jint code, slot;
    VMObject* object = FieldPair(env, obj, sequenceHandle, (uint32_t)k, &code, &slot);
    VMDataMember* field = NULL;
    if (slot != kNoSlot && (Width(code) != 0 || IsReferenceCode(code))) {
      field = CheckedField(env, object, slot, code);
      if (field == NULL) return;
    }
    jmethodID id = 0;
    switch (code) {
      case 'B': id = utils->GetFieldObjectInputStream_readByte(env); break;
      case 'C': id = utils->GetFieldObjectInputStream_readChar(env); break;
      case 'D': id = utils->GetFieldObjectInputStream_readDouble(env); break;
      case 'F': id = utils->GetFieldObjectInputStream_readFloat(env); break;
      case 'I': id = utils->GetFieldObjectInputStream_readInt(env); break;
      case 'J': id = utils->GetFieldObjectInputStream_readLong(env); break;
      case 'S': id = utils->GetFieldObjectInputStream_readShort(env); break;
      case 'Z': id = utils->GetFieldObjectInputStream_readBoolean(env); break;
      case 'L': case '[': id = utils->GetFieldObjectInputStream_readObject(env); break;
      default: continue;
    }
    if (Checked(env, id) == 0) return;
    VMword word = 0;
    jlong wide = 0;
    jobject ref = 0;
    switch (code) {
      case 'B': word = (VMword)(jint)f->CallByteMethod(env, self, id); break;
      case 'C': word = (VMword)f->CallCharMethod(env, self, id); break;
      case 'D': {
        jdouble d = f->CallDoubleMethod(env, self, id);
        memcpy(&wide, &d, 8);
        break;
      }
      case 'F': {
        jfloat v = f->CallFloatMethod(env, self, id);
        memcpy(&word, &v, 4);
        break;
      }
      case 'I': word = (VMword)f->CallIntMethod(env, self, id); break;
      case 'J': wide = f->CallLongMethod(env, self, id); break;
      case 'S': word = (VMword)(jint)f->CallShortMethod(env, self, id); break;
      case 'Z': word = f->CallBooleanMethod(env, self, id) != 0 ? 1 : 0; break;
      default: ref = f->CallObjectMethod(env, self, id); break;
    }
    if (Pending(env)) {
      if (ref != 0) f->DeleteLocalRef(env, ref);
      return;
    }
    if (slot == kNoSlot) {
      if (ref != 0) f->DeleteLocalRef(env, ref);
      continue;
    }
    object = VMJniHandle::UnHandle(env, obj);
    if (IsReferenceCode(code)) {
      bool stored = StoreReference(env, object, field, VMJniHandle::UnHandle(env, ref), NULL);
      if (ref != 0) f->DeleteLocalRef(env, ref);
      if (!stored) return;
    } else if (code == 'D' || code == 'J') {
      object->SetLong((uint32_t)slot, wide);
    } else {
      object->SetWord((uint32_t)slot, word);
    }
  }
}

/* The primitive values in data, in field-ID order, most significant byte first. */
void JNICALL JavaIoObjectInputStream_setPrimitiveFieldValues(JNIEnv* env, jobject, jobject obj, jobject ids,
                                                             jobject codes, jobject data) {
  VMObject* object = InstanceArg(env, obj);
  if (object == NULL) return;
  VMArray *idArray, *codeArray, *dataArray;
  if (!IdArrays(env, ids, codes, data, &idArray, &codeArray, &dataArray)) return;
  uint32_t n = idArray->GetSize(), size = dataArray->GetSize(), p = 0;
  for (uint32_t i = 0; i < n; i++) {
    jint code = ((VMcharArray*)codeArray)->Get(i);
    jint slot = (jint)((VMlongArray*)idArray)->Get(i);
    uint32_t width = Width(code);
    if (width == 0) continue;
    if (width > size - p || p > size) {
      Throw(env, VMStatus_ArrayIndexOutOfBoundsException);
      return;
    }
    uint64_t value = GetBytes(dataArray, p, width);
    p += width;
    if (slot == kNoSlot) continue;
    if (CheckedField(env, object, slot, code) == NULL) return;
    switch (code) {
      case 'B': object->SetWord((uint32_t)slot, (VMword)(jint)(jbyte)value); break;
      case 'S': object->SetWord((uint32_t)slot, (VMword)(jint)(jshort)value); break;
      case 'Z': object->SetWord((uint32_t)slot, value != 0 ? 1 : 0); break;
      case 'C': case 'F': case 'I': object->SetWord((uint32_t)slot, (VMword)value); break;
      default: object->SetLong((uint32_t)slot, (jlong)value); break;
    }
  }
}

/* A reference read by Java code, stored only where both the field and the type the
   caller names admit it. */
void JNICALL JavaIoObjectInputStream_setObjectFieldValue(JNIEnv* env, jobject, jobject obj, jlong id,
                                                         jobject typeHandle, jobject valueHandle) {
  VMObject* object = InstanceArg(env, obj);
  if (object == NULL) return;
  jint slot = (jint)id;
  if (slot == kNoSlot) return;
  VMDataMember* field = CheckedField(env, object, slot, 'L');
  if (field == NULL) return;
  VMClass* type = typeHandle != 0 ? VMJniUnHandleClass(env, typeHandle) : NULL;
  (void)StoreReference(env, object, field, VMJniHandle::UnHandle(env, valueHandle), type);
}

void JNICALL JavaIoObjectInputStream_bytesToFloats(JNIEnv* env, jobject, jobject src, jint srcpos, jobject dst,
                                                   jint dstpos, jint count) {
  VMArray* from = ArrayArg(env, src, Arrays(env)->GetVMbyteArrayClass());
  if (from == NULL) return;
  VMArray* to = ArrayArg(env, dst, Arrays(env)->GetVMfloatArrayClass());
  if (to == NULL || count <= 0) return;
  if (!javaio::RangeFits(dstpos, count, to->GetSize()) || srcpos < 0 ||
      (uint64_t)(uint32_t)srcpos + 4ull * (uint32_t)count > from->GetSize()) {
    Throw(env, VMStatus_ArrayIndexOutOfBoundsException);
    return;
  }
  for (jint k = 0; k < count; k++) {
    uint32_t bits = (uint32_t)GetBytes(from, (uint32_t)srcpos + 4u * (uint32_t)k, 4);
    ((VMuintArray*)to)->Set((uint32_t)(dstpos + k), bits);
  }
}

/* ================= java.io.ObjectOutputStream ================= */

jboolean JNICALL JavaIoObjectOutputStream_invokeObjectWriter(JNIEnv* env, jobject self, jobject obj, jobject cls) {
  return InvokeHook(env, self, obj, (jclass)cls, true);
}

/* Hands each field of the sequence to the stream's own write methods; a slot of -1 (a
   field the class does not have) writes the type's default, so the stream stays whole. */
void JNICALL JavaIoObjectOutputStream_outputClassFields(JNIEnv* env, jobject self, jobject obj, jobject,
                                                        jobject sequenceHandle) {
  int32_t pairs = FieldPairs(env, obj, sequenceHandle);
  if (pairs < 0) return;
  VMJniUtils* utils = NameSpaceOf(env)->GetJNIUtils();
  const JNINativeInterface_* f = env->functions;
  for (int32_t k = 0; k < pairs; k++) {
    jint code, slot;
    VMObject* object = FieldPair(env, obj, sequenceHandle, (uint32_t)k, &code, &slot);
    if (Width(code) == 0 && !IsReferenceCode(code)) continue;
    bool present = slot != kNoSlot;
    if (present && CheckedField(env, object, slot, code) == NULL) return;
    VMword word = present && code != 'D' && code != 'J' ? object->GetWord((uint32_t)slot) : 0;
    jlong wide = present && (code == 'D' || code == 'J') ? object->GetLong((uint32_t)slot) : 0;
    jmethodID id = 0;
    switch (code) {
      case 'B': id = utils->GetFieldObjectOutputStream_writeByte(env); break;
      case 'C': id = utils->GetFieldObjectOutputStream_writeChar(env); break;
      case 'D': id = utils->GetFieldObjectOutputStream_writeDouble(env); break;
      case 'F': id = utils->GetFieldObjectOutputStream_writeFloat(env); break;
      case 'I': id = utils->GetFieldObjectOutputStream_writeInt(env); break;
      case 'J': id = utils->GetFieldObjectOutputStream_writeLong(env); break;
      case 'S': id = utils->GetFieldObjectOutputStream_writeShort(env); break;
      case 'Z': id = utils->GetFieldObjectOutputStream_writeBoolean(env); break;
      default:
        id = word == 0 ? utils->GetFieldObjectOutputStream_writeByte(env)
                       : utils->GetFieldObjectOutputStream_writeObject(env);
        break;
    }
    if (Checked(env, id) == 0) return;
    switch (code) {
      case 'B': f->CallVoidMethod(env, self, id, (jint)(jbyte)word); break;
      case 'C': f->CallVoidMethod(env, self, id, (jint)(jchar)word); break;
      case 'S': f->CallVoidMethod(env, self, id, (jint)(jshort)word); break;
      case 'Z': f->CallVoidMethod(env, self, id, (jboolean)((uint8_t)word != 0)); break;
      case 'I': f->CallVoidMethod(env, self, id, (jint)word); break;
      case 'J': f->CallVoidMethod(env, self, id, wide); break;
      case 'F': {
        jfloat v;
        memcpy(&v, &word, 4);
        f->CallVoidMethod(env, self, id, (jdouble)v);
        break;
      }
      case 'D': {
        jdouble v;
        memcpy(&v, &wide, 8);
        f->CallVoidMethod(env, self, id, v);
        break;
      }
      default:
        if (word == 0) {
          f->CallVoidMethod(env, self, id, (jint)0x70);
        } else {
          jobject ref = VMJniHandle::NewLocal(env, (VMObject*)word);
          if (ref == 0) return;
          f->CallVoidMethod(env, self, id, ref);
          f->DeleteLocalRef(env, ref);
        }
        break;
    }
    if (Pending(env)) return;
  }
}

/* The primitive field values in field-ID order, most significant byte first; a slot of
   -1 gives the type's zero. */
void JNICALL JavaIoObjectOutputStream_getPrimitiveFieldValues(JNIEnv* env, jobject, jobject obj, jobject ids,
                                                              jobject codes, jobject data) {
  VMObject* object = InstanceArg(env, obj);
  if (object == NULL) return;
  VMArray *idArray, *codeArray, *dataArray;
  if (!IdArrays(env, ids, codes, data, &idArray, &codeArray, &dataArray)) return;
  uint32_t n = idArray->GetSize(), size = dataArray->GetSize(), p = 0;
  for (uint32_t i = 0; i < n; i++) {
    jint code = ((VMcharArray*)codeArray)->Get(i);
    jint slot = (jint)((VMlongArray*)idArray)->Get(i);
    uint32_t width = Width(code);
    if (width == 0) continue;
    if (p > size || width > size - p) {
      Throw(env, VMStatus_ArrayIndexOutOfBoundsException);
      return;
    }
    uint64_t value = 0;
    if (slot != kNoSlot) {
      if (CheckedField(env, object, slot, code) == NULL) return;
      value = width == 8 ? (uint64_t)object->GetLong((uint32_t)slot) : (uint64_t)object->GetWord((uint32_t)slot);
      if (code == 'Z') value = (uint8_t)value != 0 ? 1 : 0;
      // Every NaN is written as the canonical one, as writeFloat and writeDouble (and the
      // array writer) write it: the stream's bytes do not depend on a NaN's payload.
      if (code == 'F' && (value & 0x7F800000u) == 0x7F800000u && (value & 0x007FFFFFu) != 0) value = 0x7FC00000u;
      if (code == 'D' && (value & 0x7FF0000000000000ull) == 0x7FF0000000000000ull &&
          (value & 0x000FFFFFFFFFFFFFull) != 0)
        value = 0x7FF8000000000000ull;
    }
    PutBytes(dataArray, p, value, width);
    p += width;
  }
}

jobject JNICALL JavaIoObjectOutputStream_getObjectFieldValue(JNIEnv* env, jobject, jobject obj, jlong id) {
  VMObject* object = InstanceArg(env, obj);
  if (object == NULL) return NULL;
  jint slot = (jint)id;
  if (slot == kNoSlot) return NULL;
  if (CheckedField(env, object, slot, 'L') == NULL) return NULL;
  return VMJniHandle::NewLocal(env, (VMObject*)object->GetWord((uint32_t)slot));
}

void JNICALL JavaIoObjectOutputStream_floatsToBytes(JNIEnv* env, jobject, jobject src, jint srcpos, jobject dst,
                                                    jint dstpos, jint count) {
  VMArray* from = ArrayArg(env, src, Arrays(env)->GetVMfloatArrayClass());
  if (from == NULL) return;
  VMArray* to = ArrayArg(env, dst, Arrays(env)->GetVMbyteArrayClass());
  if (to == NULL || count <= 0) return;
  if (!javaio::RangeFits(srcpos, count, from->GetSize()) || dstpos < 0 ||
      (uint64_t)(uint32_t)dstpos + 4ull * (uint32_t)count > to->GetSize()) {
    Throw(env, VMStatus_ArrayIndexOutOfBoundsException);
    return;
  }
  for (jint k = 0; k < count; k++) {
    uint32_t bits = ((VMuintArray*)from)->Get((uint32_t)(srcpos + k));
    if ((bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0) bits = 0x7FC00000u;  // one NaN
    PutBytes(to, (uint32_t)dstpos + 4u * (uint32_t)k, bits, 4);
  }
}

}  // extern "C"

namespace {

const JNINativeMethod kObjectStreamClassNatives[] = {
    PUX_NATIVE("getClassAccess", "(Ljava/lang/Class;)I", JavaIoObjectStreamClass_getClassAccess),
    PUX_NATIVE("getMethodSignatures", "(Ljava/lang/Class;)[Ljava/lang/String;",
               JavaIoObjectStreamClass_getMethodSignatures),
    PUX_NATIVE("getMethodAccess", "(Ljava/lang/Class;Ljava/lang/String;)I", JavaIoObjectStreamClass_getMethodAccess),
    PUX_NATIVE("getFieldSignatures", "(Ljava/lang/Class;)[Ljava/lang/String;",
               JavaIoObjectStreamClass_getFieldSignatures),
    PUX_NATIVE("getFieldAccess", "(Ljava/lang/Class;Ljava/lang/String;)I", JavaIoObjectStreamClass_getFieldAccess),
    PUX_NATIVE("getFields0", "(Ljava/lang/Class;)[Ljava/io/ObjectStreamField;", JavaIoObjectStreamClass_getFields0),
    PUX_NATIVE("getSerialVersionUID", "(Ljava/lang/Class;)J", JavaIoObjectStreamClass_getSerialVersionUID),
    PUX_NATIVE("hasWriteObject", "(Ljava/lang/Class;)Z", JavaIoObjectStreamClass_hasWriteObject),
    PUX_NATIVE("hasStaticInitializer", "(Ljava/lang/Class;)Z", JavaIoObjectStreamClass_hasStaticInitializer),
    PUX_NATIVE("loaderKey", "(Ljava/lang/Class;)I", JavaIoObjectStreamClass_loaderKey),
    PUX_NATIVE("classHash", "(Ljava/lang/Class;)I", JavaIoObjectStreamClass_classHash),
    PUX_NATIVE("described", "([Ljava/lang/Object;Ljava/lang/Class;)Ljava/io/ObjectStreamClass;",
               JavaIoObjectStreamClass_described),
    PUX_NATIVE("holder", "([Ljava/lang/Object;I)[Ljava/lang/Object;", JavaIoObjectStreamClass_holder),
    PUX_NATIVE("listed", "([Ljava/lang/Object;[Ljava/lang/Object;[I)I", JavaIoObjectStreamClass_listed),
    PUX_NATIVE("swap", "([Ljava/lang/Object;ILjava/lang/Object;Ljava/lang/Object;)Z", JavaIoObjectStreamClass_swap),
    PUX_NATIVE("serialVersion", "(Ljava/lang/Class;)J", JavaIoObjectStreamClass_serialVersion),
    PUX_NATIVE("initNative", "()V", JavaIoObjectStreamClass_initNative),
    PUX_NATIVE("getFieldIDs", "([Ljava/io/ObjectStreamField;[J[J)V", JavaIoObjectStreamClass_getFieldIDs),
};

const JNINativeMethod kObjectInputStreamNatives[] = {
    PUX_NATIVE("loadClass0", "(Ljava/lang/Class;Ljava/lang/String;)Ljava/lang/Class;",
               JavaIoObjectInputStream_loadClass0),
    PUX_NATIVE("inputClassFields", "(Ljava/lang/Object;Ljava/lang/Class;[I)V", JavaIoObjectInputStream_inputClassFields),
    PUX_NATIVE("allocateNewObject", "(Ljava/lang/Class;Ljava/lang/Class;)Ljava/lang/Object;",
               JavaIoObjectInputStream_allocateNewObject),
    PUX_NATIVE("allocateNewArray", "(Ljava/lang/Class;I)Ljava/lang/Object;", JavaIoObjectInputStream_allocateNewArray),
    PUX_NATIVE("invokeObjectReader", "(Ljava/lang/Object;Ljava/lang/Class;)Z",
               JavaIoObjectInputStream_invokeObjectReader),
    PUX_NATIVE("latestUserDefinedLoader", "()Ljava/lang/ClassLoader;", JavaIoObjectInputStream_latestUserDefinedLoader),
    PUX_NATIVE("setPrimitiveFieldValues", "(Ljava/lang/Object;[J[C[B)V",
               JavaIoObjectInputStream_setPrimitiveFieldValues),
    PUX_NATIVE("setObjectFieldValue", "(Ljava/lang/Object;JLjava/lang/Class;Ljava/lang/Object;)V",
               JavaIoObjectInputStream_setObjectFieldValue),
    PUX_NATIVE("bytesToFloats", "([BI[FII)V", JavaIoObjectInputStream_bytesToFloats),
};

const JNINativeMethod kObjectOutputStreamNatives[] = {
    PUX_NATIVE("outputClassFields", "(Ljava/lang/Object;Ljava/lang/Class;[I)V",
               JavaIoObjectOutputStream_outputClassFields),
    PUX_NATIVE("invokeObjectWriter", "(Ljava/lang/Object;Ljava/lang/Class;)Z",
               JavaIoObjectOutputStream_invokeObjectWriter),
    PUX_NATIVE("getPrimitiveFieldValues", "(Ljava/lang/Object;[J[C[B)V",
               JavaIoObjectOutputStream_getPrimitiveFieldValues),
    PUX_NATIVE("getObjectFieldValue", "(Ljava/lang/Object;J)Ljava/lang/Object;",
               JavaIoObjectOutputStream_getObjectFieldValue),
    PUX_NATIVE("floatsToBytes", "([FI[BII)V", JavaIoObjectOutputStream_floatsToBytes),
};

}  // namespace

extern "C" void Register_java_io_ObjectStreamClass(void) {
  JNI_RegisterNative("java/io/ObjectStreamClass", kObjectStreamClassNatives, PUX_ROWS(kObjectStreamClassNatives));
}

extern "C" void Register_java_io_ObjectInputStream(void) {
  JNI_RegisterNative("java/io/ObjectInputStream", kObjectInputStreamNatives, PUX_ROWS(kObjectInputStreamNatives));
}

extern "C" void Register_java_io_ObjectOutputStream(void) {
  JNI_RegisterNative("java/io/ObjectOutputStream", kObjectOutputStreamNatives, PUX_ROWS(kObjectOutputStreamNatives));
}

/* ---- the drop of a host's loader ---- */

bool upcall::ObjectStreamFindTables(VMNameSpace* ns, upcall::DescriptionTables* where) {
  where->cls = NULL;
  where->word = 0;
  static const char kClass[] = "java/io/ObjectStreamClass";
  static const char kField[] = "root";
  static const char kSignature[] = "[Ljava/lang/Object;";
  VMLiteral* name = VMLiteral::Find(ns, kClass, sizeof kClass - 1);
  VMClassLoader* system = ns->GetSystemClassLoader();
  if (name == NULL || system == NULL) return false;
  VMClass* cls = NULL;
  {
    // Only looked up: a look-up by FindByName would enter a shell of the class.
    VMObjectHashTableIterator it(system->GetClassTable(), name->GetHash(), VMClassHashTable::Mode);
    for (VMObject* e = it.Next(); e != NULL && cls == NULL; e = it.Next())
      if (((VMClass*)e)->GetName() == name) cls = (VMClass*)e;
  }
  if (cls == NULL || !cls->GetIsLoadable() || !cls->GetLoadableClass()->GetIsPrepared()) return false;
  VMLiteral* field = VMLiteral::Find(ns, kField, sizeof kField - 1);
  VMLiteral* signature = VMLiteral::Find(ns, kSignature, sizeof kSignature - 1);
  VMDataMember* member =
      field != NULL && signature != NULL ? cls->GetLoadableClass()->FindField(field, signature, false, NULL) : NULL;
  if (member == NULL || !member->GetIsStatic()) return false;
  where->cls = cls->GetLoadableClass();
  where->word = (uint32_t)member->GetIndex();
  return true;
}

bool upcall::ObjectStreamForgetLoader(VM* vm, const upcall::DescriptionTables* where, VMClassLoader* loader) {
  VMObject* data = where->cls != NULL ? where->cls->GetInitializedStaticData(vm) : NULL;
  VMNameSpace* ns = vm->GetNameSpace();
  VMrefArray* root = data != NULL ? Refs(ns, (VMObject*)data->GetWord(where->word)) : NULL;
  VMrefArray* holder = root != NULL ? HolderOf(ns, root, (jint)(intptr_t)loader->GetLoaderID()) : NULL;
  // Emptied for good, the holder holding itself (see ObjectStreamClass.root); true when
  // it held a table.
  if (holder == NULL || holder->Get(0) == (VMObject*)holder) return false;
  const bool held = holder->Get(0) != NULL;
  holder->Set(0, (VMObject*)holder);
  return held;
}
