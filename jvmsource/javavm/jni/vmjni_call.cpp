/* Calls into Java from native code: the 90 Call<Type>Method functions (virtual,
   nonvirtual and static; variadic, va_list and jvalue forms) and the NewObject
   functions, over one core.

   The core decides everything from the method itself, never from the handles it is
   given: whether a receiver is expected comes from the method's static flag, and the
   receiver must be an instance of the method's class. A call with a missing receiver
   would otherwise lay the arguments out one word off and run a method on whatever its
   first argument names. Every check comes before the arguments are laid out; nothing
   the core refuses has run any Java code but class initialisation.

   The argument area lives on this stack: the parameter words, low word first for a long
   or double, references as handles until just before the run. The result comes back in
   the area's first words; a public function returns 0 for every call that did not
   complete, and for every call that leaves an exception pending. */
#include <string.h>

#include "vmframe.h"
#include "vmjni_functions.h"
#include "vmjni_support.h"

using namespace vmjni;

namespace {

enum CallKind { kVirtual, kNonvirtual, kStatic };

/* 31 parameter words at most (the reference mask keeps one bit for the result), and two
   words for a result. */
enum { kMaxParameterWords = 31, kAreaWords = kMaxParameterWords + 2 };

/* The arguments of one call: a jvalue array or a va_list. */
struct Arguments {
  const jvalue* values;
  va_list* list;
};

inline bool Bit(VMword bits, uint32_t i) { return i < 32 && ((bits >> i) & 1) != 0; }

const char kNoObject[] = "Cannot call interface method without object";
const char kNoInterfaceMethod[] = "Interface method not found";
const char kTooManyParameters[] = "Too many parameters for JNI call";

/* The implementation of an interface method in the receiver's class: the last vtable
   entry with its name and signature. Private methods keep vtable slots of their own but
   implement nothing. */
VMMethod* FindImplementation(VMClass* cls, VMMethod* method) {
  if (!cls->GetIsLoadable()) return NULL;
  VMMethodArray* table = ((VMLoadableOrArrayClass*)cls)->GetMethodTable();
  for (uint32_t i = table != NULL ? table->GetSize() : 0; i > 0; i--) {
    VMMethod* m = table->Get(i - 1);
    if (m != NULL && !m->GetIsPrivate() && m->Matches(method)) return m;
  }
  return NULL;
}

/* The method the call runs; NULL with the exception pending. */
VMMethod* Resolve(JNIEnv* env, jobject receiver, jmethodID id, CallKind kind) {
  VMMethod* method = UnHandleMethod(env, id);
  if (method == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NoSuchMethodError, NULL);
    return NULL;
  }
  if (method->GetIsStatic() != (kind == kStatic)) {
    (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
    return NULL;
  }
  if (kind == kStatic) return method;
  VMLoadableClass* declaring = method->GetDefinedIn();
  bool viaInterface = declaring->GetIsInterface();
  VMObject* object = VMJniHandle::UnHandle(env, receiver);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, viaInterface ? kNoObject : NULL);
    return NULL;
  }
  VMClass* cls = object->GetClass();
  if (cls == NULL) {
    // Not a Java object: a member id's descriptor, say.
    (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
    return NULL;
  }
  if (viaInterface) {
    VMMethod* implementation = FindImplementation(cls, method);
    if (implementation == NULL) (void)VMJniThrowInternal(env, VMStatus_NoSuchMethodError, kNoInterfaceMethod);
    return implementation;
  }
  // The receiver must have the method's fields and vtable slot.
  if (!VMClass::InstanceOf(object, (VMClass*)declaring)) {
    (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
    return NULL;
  }
  if (kind == kNonvirtual) return method;
  VMMethodArray* table = ((VMLoadableOrArrayClass*)cls)->GetMethodTable();
  int32_t index = method->GetIndex();
  VMMethod* target = table != NULL && index >= 0 && (uint32_t)index < table->GetSize() ? table->Get((uint32_t)index) : NULL;
  if (target == NULL) (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
  return target;
}

/* Parameter words from jvalues: one jvalue per parameter of the signature, narrowed to
   the parameter's type as Java would see it. */
bool FromJValues(JNIEnv* env, VMMethod* method, const jvalue* values, VMword* area, uint32_t first, uint32_t n) {
  if (first >= n) return true;
  if (values == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return false;
  }
  VMLiteralIterator it(method->GetSignature());
  (void)it.NextChar();  // '('
  uint32_t i = first;
  for (const jvalue* v = values; i < n; v++) {
    switch (VMMethod::ScanSigItem(it)) {
      case VMMethod::SigObject:
      case VMMethod::SigArray: area[i++] = (VMword)(uintptr_t)v->l; break;
      case VMMethod::SigLong:
      case VMMethod::SigDouble:
        memcpy(&area[i], &v->j, 8);
        i += 2;
        break;
      case VMMethod::SigByte: area[i++] = (VMword)(int32_t)v->b; break;
      case VMMethod::SigChar: area[i++] = (VMword)v->c; break;
      case VMMethod::SigShort: area[i++] = (VMword)(int32_t)v->s; break;
      case VMMethod::SigBoolean: area[i++] = (VMword)v->z; break;
      case VMMethod::SigInt: area[i++] = (VMword)v->i; break;
      case VMMethod::SigFloat: memcpy(&area[i++], &v->f, 4); break;
      default: return true;  // the descriptor was checked at load: not reached
    }
  }
  return true;
}

/* Parameter words from a va_list, as a C caller passes them after the default
   promotions: 8 bytes for a long or double, a float as a double (narrowed here), 4 bytes
   for everything else, stored as it comes. */
void FromVaList(VMMethod* method, va_list* list, VMword* area, uint32_t first, uint32_t n) {
  VMword twoWords = method->GetTwoWordBits();
  VMword floats = method->GetFloatBits();
  for (uint32_t i = first; i < n;) {
    if (Bit(twoWords, i)) {
      if (Bit(floats, i)) {
        jdouble d = va_arg(*list, jdouble);
        memcpy(&area[i], &d, 8);
      } else {
        jlong j = va_arg(*list, jlong);
        memcpy(&area[i], &j, 8);
      }
      i += 2;
    } else if (Bit(floats, i)) {
      jfloat f = (jfloat)va_arg(*list, jdouble);
      memcpy(&area[i++], &f, 4);
    } else {
      area[i++] = va_arg(*list, VMword);
    }
  }
}

/* The core. result[0..1] must be 0 on entry and stay so unless the method returns. */
void Call(JNIEnv* env, jobject receiver, jmethodID id, CallKind kind, const Arguments& args, VMword* result) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (thread == NULL) return;
  VMMethod* method = Resolve(env, receiver, id, kind);
  if (method == NULL) return;
  // The jvalue form refuses a method with too many parameter words before its class is
  // initialised, the va_list form only after (and after the native check).
  if (args.values != NULL && method->GetIsMoreParmsThanBits()) {
    (void)VMJniThrowInternal(env, VMStatus_VirtualMachineError, kTooManyParameters);
    return;
  }
  // A class that could not be initialised here has no static data in this machine: its
  // code must not run.
  if (StaticDataOf(env, method->GetDefinedIn()) == NULL) return;
  // Checked on the method that will run, after dispatch: an unbound native base method
  // with a Java override is fine, a Java base method with an unbound native override
  // is not.
  if (method->GetIsNative() && !method->ResolveNativeAddress()) {
    VMLiteral* name = method->GetFullName();
    char* text = name != NULL ? name->MakeUTF8() : NULL;
    (void)VMJniThrowInternal(env, VMStatus_UnsatisfiedLinkError, text);
    if (text != NULL) VMLiteral::FreeUTF8(text);
    return;
  }
  if (method->GetIsMoreParmsThanBits()) {
    (void)VMJniThrowInternal(env, VMStatus_VirtualMachineError, kTooManyParameters);
    return;
  }
  uint32_t n = method->GetParameterWords();
  VMword area[kAreaWords];
  area[n] = 0;
  area[n + 1] = 0;
  uint32_t first = 0;
  if (!method->GetIsStatic()) area[first++] = (VMword)(uintptr_t)receiver;
  if (args.values != NULL || args.list == NULL) {
    if (!FromJValues(env, method, args.values, area, first, n)) return;
  } else {
    FromVaList(method, args.list, area, first, n);
  }
  VMword bits = method->GetObjectBits();
  // Java code trusts its declared parameter types: an object of another class would
  // have fields read and written that it does not have. The classes are resolved (once
  // per method) while the arguments are still handles.
  VMClassArray* types = NULL;
  bool checked = false;
  for (uint32_t i = first; i < n && !checked; i++) {
    if (Bit(bits, i) && area[i] != 0) {
      types = method->ResolvedParameterTypes(env);
      checked = true;
    }
  }
  // From here to the run nothing allocates: the unwrapped objects are held by their
  // handles only until the frames take them.
  for (uint32_t i = 0; i < n; i++) {
    if (Bit(bits, i)) area[i] = (VMword)VMJniHandle::UnHandle(env, (jobject)(uintptr_t)area[i]);
  }
  if (checked && !method->ReferenceArgumentsFit(types, area, first)) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return;
  }
  VMFrame::ExecuteJava(env, method, area);
  // The host may have moved the machine while the call stood at a poll or a debugger
  // stop: the thread's record is found again through the env.
  thread = env->thread;
  // A call that leaves an exception pending, thrown now or pending before, answers 0;
  // a failed frame leaves the arguments in the area, which must not come back as the
  // result (least of all as a reference).
  if (thread->GetException() != NULL) return;
  if (Bit(bits, n)) area[0] = (VMword)(uintptr_t)VMJniHandle::NewLocal(env, (VMObject*)area[0]);
  result[0] = area[0];
  result[1] = area[1];
}

inline void CallA(JNIEnv* env, jobject receiver, jmethodID id, CallKind kind, const jvalue* values, VMword* result) {
  Arguments args = {values, NULL};
  // A null jvalue array is still the jvalue form (with no parameters to read).
  static const jvalue kNone[1] = {};
  if (values == NULL) args.values = kNone;
  if (values == NULL) {
    VMMethod* m = UnHandleMethod(env, id);
    // Parameters but no values: refused before anything runs.
    if (m != NULL && m->GetParameterWords() > (m->GetIsStatic() ? 0u : 1u)) {
      (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
      return;
    }
  }
  Call(env, receiver, id, kind, args, result);
}

inline void CallV(JNIEnv* env, jobject receiver, jmethodID id, CallKind kind, va_list list, VMword* result) {
  va_list copy;
  va_copy(copy, list);
  Arguments args = {NULL, &copy};
  Call(env, receiver, id, kind, args, result);
  va_end(copy);
}

/* Result conversions by the public function's type. */
inline jobject AsObject(const VMword* r) { return (jobject)(uintptr_t)r[0]; }
inline jboolean AsBoolean(const VMword* r) { return (jboolean)(r[0] & 0xFF); }
inline jbyte AsByte(const VMword* r) { return (jbyte)(int8_t)r[0]; }
inline jchar AsChar(const VMword* r) { return (jchar)(r[0] & 0xFFFF); }
inline jshort AsShort(const VMword* r) { return (jshort)(int16_t)r[0]; }
inline jint AsInt(const VMword* r) { return (jint)r[0]; }
inline jlong AsLong(const VMword* r) { return (jlong)(((uint64_t)r[1] << 32) | r[0]); }
inline jfloat AsFloat(const VMword* r) {
  jfloat f;
  memcpy(&f, r, 4);
  return f;
}
inline jdouble AsDouble(const VMword* r) {
  jdouble d;
  memcpy(&d, r, 8);
  return d;
}

/* NewObject: the class must be instantiable and the id a constructor-like method of it
   or a superclass; the class is initialised before its object is made. The new object
   is held by its local reference from its allocation on. */
jobject NewObjectCore(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* values, va_list* list) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  VM* vm = MachineOf(env);
  if (thread == NULL || vm == NULL) return NULL;
  VMClass* c = UnHandleClass(env, clazz);
  if (c == NULL || !c->GetIsLoadable() || c->GetIsInterface()) {
    (void)VMJniThrowInternal(env, VMStatus_InstantiationException, NULL);
    return NULL;
  }
  VMLoadableClass* cls = (VMLoadableClass*)c;
  if (!EnsurePrepared(env, cls)) return NULL;
  if (cls->GetIsAbstract()) {
    (void)VMJniThrowInternal(env, VMStatus_InstantiationException, NULL);
    return NULL;
  }
  VMMethod* method = UnHandleMethod(env, id);
  if (method == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NoSuchMethodError, NULL);
    return NULL;
  }
  // A static id would take the new object for its first argument; a method of an
  // unrelated class would run on an object without its fields.
  if (method->GetIsStatic() || !VMClass::AssignableFrom(c, (VMClass*)method->GetDefinedIn())) {
    (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
    return NULL;
  }
  // The class's initialiser may have let the host move the machine: it is read again.
  if (StaticDataOf(env, cls) == NULL) return NULL;
  vm = MachineOf(env);
  VMObject* object = VMObject::CreateInstance(vm->GetHeap(), cls, jallocCollectAndRetry);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  jobject handle = VMJniHandle::NewLocal(env, object);
  if (handle == NULL) return NULL;
  // The constructor may let the host move the machine (a wait, a sleep): the exception
  // pending before it is held by a reference, and the record read again through the env.
  VMJavaLangThrowable* before = env->thread->GetException();
  jobject noted = before != NULL ? VMJniHandle::NewLocal(env, (VMObject*)before) : NULL;
  VMword result[2] = {0, 0};
  if (values != NULL || list == NULL) {
    CallA(env, handle, id, kNonvirtual, values, result);
  } else {
    CallV(env, handle, id, kNonvirtual, *list, result);
  }
  // An object whose constructor failed is not handed out.
  VMObject* after = (VMObject*)env->thread->GetException();
  const bool failed = after != NULL && after != VMJniHandle::UnHandle(env, noted);
  if (noted != NULL) VMJniEnv::DeleteLocalRef(env, noted);
  if (failed) {
    VMJniEnv::DeleteLocalRef(env, handle);
    return NULL;
  }
  return handle;
}

}  // namespace

namespace VMJniEnv {

/* Each type's nine functions. The variadic ones start their list and call their V twin. */
#define PUX_JNI_CALL_FAMILY(Name, T, Convert, Ret)                                                      \
  T Call##Name##MethodV(JNIEnv* env, jobject object, jmethodID id, va_list args) {                       \
    VMword r[2] = {0, 0};                                                                                \
    CallV(env, object, id, kVirtual, args, r);                                                           \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T Call##Name##MethodA(JNIEnv* env, jobject object, jmethodID id, const jvalue* args) {                 \
    VMword r[2] = {0, 0};                                                                                \
    CallA(env, object, id, kVirtual, args, r);                                                           \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T Call##Name##Method(JNIEnv* env, jobject object, jmethodID id, ...) {                                 \
    va_list args;                                                                                        \
    va_start(args, id);                                                                                  \
    VMword r[2] = {0, 0};                                                                                \
    CallV(env, object, id, kVirtual, args, r);                                                           \
    va_end(args);                                                                                        \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T CallNonvirtual##Name##MethodV(JNIEnv* env, jobject object, jclass, jmethodID id, va_list args) {     \
    VMword r[2] = {0, 0};                                                                                \
    CallV(env, object, id, kNonvirtual, args, r);                                                        \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T CallNonvirtual##Name##MethodA(JNIEnv* env, jobject object, jclass, jmethodID id, const jvalue* args) { \
    VMword r[2] = {0, 0};                                                                                \
    CallA(env, object, id, kNonvirtual, args, r);                                                        \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T CallNonvirtual##Name##Method(JNIEnv* env, jobject object, jclass, jmethodID id, ...) {               \
    va_list args;                                                                                        \
    va_start(args, id);                                                                                  \
    VMword r[2] = {0, 0};                                                                                \
    CallV(env, object, id, kNonvirtual, args, r);                                                        \
    va_end(args);                                                                                        \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T CallStatic##Name##MethodV(JNIEnv* env, jclass, jmethodID id, va_list args) {                         \
    VMword r[2] = {0, 0};                                                                                \
    CallV(env, NULL, id, kStatic, args, r);                                                              \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T CallStatic##Name##MethodA(JNIEnv* env, jclass, jmethodID id, const jvalue* args) {                   \
    VMword r[2] = {0, 0};                                                                                \
    CallA(env, NULL, id, kStatic, args, r);                                                              \
    Ret Convert(r);                                                                                      \
  }                                                                                                      \
  T CallStatic##Name##Method(JNIEnv* env, jclass, jmethodID id, ...) {                                   \
    va_list args;                                                                                        \
    va_start(args, id);                                                                                  \
    VMword r[2] = {0, 0};                                                                                \
    CallV(env, NULL, id, kStatic, args, r);                                                              \
    va_end(args);                                                                                        \
    Ret Convert(r);                                                                                      \
  }
#define PUX_RETURN return
PUX_JNI_CALL_FAMILY(Object, jobject, AsObject, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Boolean, jboolean, AsBoolean, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Byte, jbyte, AsByte, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Char, jchar, AsChar, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Short, jshort, AsShort, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Int, jint, AsInt, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Long, jlong, AsLong, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Float, jfloat, AsFloat, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Double, jdouble, AsDouble, PUX_RETURN)
PUX_JNI_CALL_FAMILY(Void, void, (void), )
#undef PUX_RETURN
#undef PUX_JNI_CALL_FAMILY

jobject NewObjectA(JNIEnv* env, jclass clazz, jmethodID id, const jvalue* args) {
  return NewObjectCore(env, clazz, id, args, NULL);
}

jobject NewObjectV(JNIEnv* env, jclass clazz, jmethodID id, va_list args) {
  va_list copy;
  va_copy(copy, args);
  jobject made = NewObjectCore(env, clazz, id, NULL, &copy);
  va_end(copy);
  return made;
}

jobject NewObject(JNIEnv* env, jclass clazz, jmethodID id, ...) {
  va_list args;
  va_start(args, id);
  jobject made = NewObjectCore(env, clazz, id, NULL, &args);
  va_end(args);
  return made;
}

}  // namespace VMJniEnv
