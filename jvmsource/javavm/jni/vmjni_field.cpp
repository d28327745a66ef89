/* Field ids and the field accessors, instance and static.

   An accessor reads or writes one or two body words of the object (or of the declaring
   class's static data in the calling machine) at the field's index. Before it does, it
   checks what the arguments are: the id names a field of the kind the accessor serves
   (static or not, and of its type), and the object is an instance of the field's class.
   A field of another class read on this object would lie past its body; an int written
   into a reference field would be followed by the collector as a pointer; an object
   written into an int field would be hidden from it. Static accesses initialise the
   class in the machine first and stop when that leaves it without static data. */
#include <string.h>

#include "vmjni_functions.h"
#include "vmjni_support.h"

using namespace vmjni;

namespace {

/* The type letters of the accessors; an Object accessor serves 'L' and '[' fields. */
bool TypeMatches(VMDataMember* field, char type) {
  VMLiteral* signature = field->GetSignature();
  if (signature == NULL || signature->UTF8Length() == 0) return false;
  char c = (char)signature->ByteAt(0);
  return type == 'L' ? (c == 'L' || c == '[') : c == type;
}

/* The object (or static data) and the body index the accessor works on; false with the
   exception pending: NoSuchFieldError for a null or foreign id, IncompatibleClassChange-
   Error for an id of the wrong kind or type or an object without the field,
   NullPointerException for a null object. */
bool Locate(JNIEnv* env, jobject handle, jfieldID id, bool isStatic, char type, VMObject** target,
            uint32_t* index) {
  VMDataMember* field = UnHandleField(env, id);
  if (field == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NoSuchFieldError, NULL);
    return false;
  }
  if (field->GetIsStatic() != isStatic || !TypeMatches(field, type)) {
    (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
    return false;
  }
  VMLoadableClass* declaring = field->GetDefinedIn();
  VMObject* object;
  if (isStatic) {
    object = StaticDataOf(env, declaring);
    if (object == NULL) return false;
  } else {
    object = VMJniHandle::UnHandle(env, handle);
    if (object == NULL) {
      (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
      return false;
    }
    if (!object->GetHasClass() || !VMClass::InstanceOf(object, (VMClass*)declaring)) {
      (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
      return false;
    }
  }
  *target = object;
  *index = (uint32_t)field->GetIndex();
  return true;
}

/* The object a reference field may take: null, or an instance of the field's type (when
   that class is known). Java code reading the field trusts its type. */
bool StorableIn(JNIEnv* env, jfieldID id, VMObject* value) {
  if (value == NULL) return true;
  VMDataMember* field = UnHandleField(env, id);
  VMClass* type = field != NULL ? field->GetClass() : NULL;
  if (type == NULL || VMClass::InstanceOf(value, type)) return true;
  (void)VMJniThrowInternal(env, VMStatus_IncompatibleClassChangeError, NULL);
  return false;
}

jfieldID LookUp(JNIEnv* env, jclass clazz, const char* name, const char* signature, bool wantStatic) {
  VMNameSpace* ns = NameSpaceOf(env);
  // Names that cannot be interned, and handles that name no class read from a class
  // file, give 0 and raise nothing.
  VMLiteral* n = Intern(ns, name);
  if (n == NULL) return NULL;
  VMLiteral* s = Intern(ns, signature);
  if (s == NULL) return NULL;
  VMClass* cls = UnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!EnsurePrepared(env, loadable)) return NULL;
  VMDataMember* field = loadable->FindField(n, s, true, env);
  if (field == NULL || field->GetIsStatic() != wantStatic) {
    (void)VMJniThrowInternal(env, VMStatus_NoSuchFieldError, NULL);
    return NULL;
  }
  // A refused id leaves its OutOfMemoryError pending: the field is there.
  return (jfieldID)VMJniHandle::NewFieldID(env, field);
}

inline jint FloatBits(jfloat f) {
  jint bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

inline jfloat BitsFloat(VMword bits) {
  jfloat f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

namespace VMJniEnv {

jfieldID GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
  return LookUp(env, clazz, name, signature, false);
}

jfieldID GetStaticFieldID(JNIEnv* env, jclass clazz, const char* name, const char* signature) {
  return LookUp(env, clazz, name, signature, true);
}

/* One accessor pair per type and kind. The static ones take a class handle they do not
   read: the id names the class. */
#define PUX_JNI_FIELD_ONE_WORD(Name, T, type, FromWord, ToWord)                                        \
  T Get##Name##Field(JNIEnv* env, jobject object, jfieldID id) {                                        \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    if (!Locate(env, object, id, false, type, &target, &i)) return 0;                                   \
    VMword word = target->GetWord(i);                                                                    \
    return FromWord;                                                                                     \
  }                                                                                                      \
  void Set##Name##Field(JNIEnv* env, jobject object, jfieldID id, T value) {                             \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    if (Locate(env, object, id, false, type, &target, &i)) target->SetWord(i, ToWord);                  \
  }                                                                                                      \
  T GetStatic##Name##Field(JNIEnv* env, jclass, jfieldID id) {                                          \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    if (!Locate(env, NULL, id, true, type, &target, &i)) return 0;                                      \
    VMword word = target->GetWord(i);                                                                    \
    return FromWord;                                                                                     \
  }                                                                                                      \
  void SetStatic##Name##Field(JNIEnv* env, jclass, jfieldID id, T value) {                              \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    if (Locate(env, NULL, id, true, type, &target, &i)) target->SetWord(i, ToWord);                     \
  }
PUX_JNI_FIELD_ONE_WORD(Boolean, jboolean, 'Z', (jboolean)(word & 0xFF), (VMword)(uint8_t)value)
PUX_JNI_FIELD_ONE_WORD(Byte, jbyte, 'B', (jbyte)(int8_t)word, (VMword)(int32_t)value)
PUX_JNI_FIELD_ONE_WORD(Char, jchar, 'C', (jchar)(word & 0xFFFF), (VMword)(uint16_t)value)
PUX_JNI_FIELD_ONE_WORD(Short, jshort, 'S', (jshort)(int16_t)word, (VMword)(int32_t)value)
PUX_JNI_FIELD_ONE_WORD(Int, jint, 'I', (jint)word, (VMword)value)
PUX_JNI_FIELD_ONE_WORD(Float, jfloat, 'F', BitsFloat(word), (VMword)FloatBits(value))
#undef PUX_JNI_FIELD_ONE_WORD

/* Longs and doubles: element i the low word, i + 1 the high one, which may lie in the
   next piece of the body. */
#define PUX_JNI_FIELD_TWO_WORDS(Name, T, type, Read, Write)                                                \
  T Get##Name##Field(JNIEnv* env, jobject object, jfieldID id) {                                        \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    return Locate(env, object, id, false, type, &target, &i) ? target->Read(i) : 0;                      \
  }                                                                                                      \
  void Set##Name##Field(JNIEnv* env, jobject object, jfieldID id, T value) {                             \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    if (Locate(env, object, id, false, type, &target, &i)) target->Write(i, value);                       \
  }                                                                                                      \
  T GetStatic##Name##Field(JNIEnv* env, jclass, jfieldID id) {                                          \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    return Locate(env, NULL, id, true, type, &target, &i) ? target->Read(i) : 0;                         \
  }                                                                                                      \
  void SetStatic##Name##Field(JNIEnv* env, jclass, jfieldID id, T value) {                              \
    VMObject* target;                                                                                    \
    uint32_t i;                                                                                          \
    if (Locate(env, NULL, id, true, type, &target, &i)) target->Write(i, value);                          \
  }
PUX_JNI_FIELD_TWO_WORDS(Long, jlong, 'J', GetLong, SetLong)
PUX_JNI_FIELD_TWO_WORDS(Double, jdouble, 'D', GetDouble, SetDouble)
#undef PUX_JNI_FIELD_TWO_WORDS

/* The object getters make a local reference (none for null); the setters store the
   object the value handle names. */
jobject GetObjectField(JNIEnv* env, jobject object, jfieldID id) {
  VMObject* target;
  uint32_t i;
  if (!Locate(env, object, id, false, 'L', &target, &i)) return NULL;
  return VMJniHandle::NewLocal(env, (VMObject*)target->GetWord(i));
}

void SetObjectField(JNIEnv* env, jobject object, jfieldID id, jobject value) {
  VMObject* target;
  uint32_t i;
  if (!Locate(env, object, id, false, 'L', &target, &i)) return;
  VMObject* v = VMJniHandle::UnHandle(env, value);
  if (StorableIn(env, id, v)) target->SetWord(i, (VMword)v);
}

jobject GetStaticObjectField(JNIEnv* env, jclass, jfieldID id) {
  VMObject* target;
  uint32_t i;
  if (!Locate(env, NULL, id, true, 'L', &target, &i)) return NULL;
  return VMJniHandle::NewLocal(env, (VMObject*)target->GetWord(i));
}

void SetStaticObjectField(JNIEnv* env, jclass, jfieldID id, jobject value) {
  VMObject* target;
  uint32_t i;
  if (!Locate(env, NULL, id, true, 'L', &target, &i)) return;
  VMObject* v = VMJniHandle::UnHandle(env, value);
  if (StorableIn(env, id, v)) target->SetWord(i, (VMword)v);
}

}  // namespace VMJniEnv

/* The machine's own reading of Thread.daemon: no id (the class library lacks the field)
   reads as false and raises nothing. */
jboolean VMJniGetBooleanField(JNIEnv* env, jobject object, void* fieldID) {
  if (fieldID == NULL) return 0;
  return VMJniEnv::GetBooleanField(env, object, (jfieldID)fieldID);
}
