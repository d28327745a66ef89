/* Classes and members by name at the native interface: FindClass and the host's
   loader-aware variants, DefineClass, the class relations, public fields and overloaded
   methods by name, the loader of a class, the class enumeration, and the env's version
   and user word. Names are interned in the calling machine's name space first; the
   look-ups themselves are the class model's. */
#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmjni_functions.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmoverload.h"
#include "vmthread.h"
#include "vmutils.h"

static VMNameSpace* NameSpaceOf(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}

static VMLiteral* Intern(VMNameSpace* ns, const char* text) {
  return ns != NULL && text != NULL ? VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu) : NULL;
}

VMClass* VMJniUnHandleClass(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  return object != NULL && object->GetTag() == VMClass::Tag ? (VMClass*)object : NULL;
}

/* A loadable class ready for member look-ups: prepared, or NULL with its status pending. */
static VMLoadableClass* PreparedClass(JNIEnv* env, jclass clazz) {
  VMClass* cls = VMJniUnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!loadable->GetIsPrepared()) {
    VMStatus status = loadable->Prepare(NULL);
    if (status != VMStatus_OK) {
      VMJniThrowInternal(env, status, NULL);
      return NULL;
    }
  }
  return loadable;
}

/* ---- class look-up ---- */

/* The common core: loader NULL means the loader of the env's current loader id. A name
   that is no name (a null pointer, invalid modified UTF-8) gives 0 and raises nothing; a
   name that could not be interned for want of memory raises OutOfMemoryError, so that a
   caller never takes the failure for a class that does not exist (the natives' cache
   would remember it as missing for good). */
static jclass LookUp(JNIEnv* env, const char* name, VMClassLoader* loader, bool initialize) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* literal = Intern(ns, name);
  if (literal == NULL) {
    if (ns != NULL && name != NULL && VMLiteral::UnicodeLength(name, (uint32_t)strlen(name)) != VMInvalidUTF8Length)
      VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMClass* cls;
  if (name[0] == '[')
    cls = VMClass::FindByName(ns, literal, NULL);  // arrays live with their element's loader
  else if (initialize)
    cls = (VMClass*)VMLoadableClass::FindInitialized(env, literal, loader);
  else
    cls = (VMClass*)VMLoadableClass::FindPrepared(env, literal, loader);
  return cls != NULL ? VMJniHandle::NewLocal(env, (VMObject*)cls) : NULL;
}

namespace VMJniEnv {

jint GetVersion(JNIEnv*) { return 1; }

jclass FindClass(JNIEnv* env, const char* name) { return LookUp(env, name, NULL, true); }

jclass DefineClass(JNIEnv* env, const char* name, jobject, const jbyte* bytes, jsize length) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns == NULL || env->thread == NULL) return NULL;
  if (bytes == NULL || length < 0) {
    VMJniThrowInternal(env, VMStatus_ClassFormatError, name);
    return NULL;
  }
  VMLiteral* literal = Intern(ns, name);
  VMClassLoader* system = ns->GetSystemClassLoader();
  if (literal == NULL || system == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  if (name[0] == '[') {
    VMJniThrowInternal(env, VMStatus_ClassFormatError, name);
    return NULL;
  }
  // The class enters the system loader's table, so that it is found by name, meets its
  // loader's end, and cannot be defined twice.
  VMClassHashTable* table = system->GetClassTable();
  bool existed = false;
  {
    VMObjectHashTableIterator it(table, literal->GetHash(), VMClassHashTable::Mode);
    for (VMObject* e = it.Next(); e != NULL; e = it.Next())
      if (((VMClass*)e)->GetName() == literal) existed = true;
  }
  VMClass* found = VMClass::FindSystemClass(ns, literal);
  if (found == NULL || !found->GetIsLoadable()) {
    VMJniThrowInternal(env, found == NULL ? VMStatus_OutOfMemoryError : VMStatus_LinkageError, name);
    return NULL;
  }
  VMLoadableClass* cls = (VMLoadableClass*)found;
  if (cls->GetIsLoaded()) {
    VMJniThrowInternal(env, VMStatus_LinkageError, name);
    return NULL;
  }
  VMStatus status = system->Load(cls, (const uint8_t*)bytes, (uint32_t)length);
  if (status == VMStatus_OK) status = cls->Prepare(NULL);
  if (status == VMStatus_OK) return VMJniHandle::NewLocal(env, (VMObject*)cls);
  // A shell this call made and could not fill leaves the table again.
  if (!existed && !cls->GetIsLoaded() && table->Lock(true)) {
    table->Delete((VMObject*)cls);
    table->relSpinlock();
    ((VMClass*)cls)->Destroy(ns->GetHeap());
  }
  VMJniThrowInternal(env, status, name);
  return NULL;
}

jclass GetSuperclass(JNIEnv* env, jclass clazz) {
  VMClass* cls = VMJniUnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!loadable->GetIsLoaded()) {
    VMStatus status = loadable->Load();
    if (status != VMStatus_OK) {
      VMNameSpace* ns = NameSpaceOf(env);
      if (env->thread != NULL && env->thread->GetException() == NULL && ns != NULL && ns->GetIsInitialized())
        env->thread->SetExceptionStatus(status, cls->GetDotName());
      return NULL;
    }
  }
  VMLoadableClass* super = loadable->GetSuper();
  return super != NULL ? VMJniHandle::NewLocal(env, (VMObject*)super) : NULL;
}

jboolean IsAssignableFrom(JNIEnv* env, jclass clazz1, jclass clazz2) {
  VMClass* from = VMJniUnHandleClass(env, clazz1);
  VMClass* to = VMJniUnHandleClass(env, clazz2);
  if (from == NULL || to == NULL) return 0;
  return VMClass::AssignableFrom(from, to) ? 1 : 0;
}

}  // namespace VMJniEnv

namespace JNIEnvExtension {

jclass FindClassNoInit(JNIEnv* env, const char* name) { return LookUp(env, name, NULL, false); }

jclass FindClassInObjectLoader(JNIEnv* env, const char* name, jobject loader) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMObject* object = VMJniHandle::UnHandle(env, loader);
  // Only a loader names a loader: anything else is an unknown loader.
  if (object != NULL && object->GetTag() != VMTag_VMClassLoader) return NULL;
  VMClassLoader* chosen = (VMClassLoader*)object;
  if (ns != NULL && chosen == ns->GetSystemClassLoader()) chosen = NULL;
  return LookUp(env, name, chosen, true);
}

jclass FindClassInLoaderId(JNIEnv* env, const char* name, void* loaderId) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns == NULL || name == NULL) return NULL;
  if (name[0] == '[') return LookUp(env, name, NULL, true);
  VMClassLoader* loader = ns->FindOrCreateLoader(loaderId);
  return loader != NULL ? LookUp(env, name, loader, true) : NULL;
}

jobject GetLoaderFieldRef(JNIEnv* env, jobject ref) {
  VMObject* object = VMJniHandle::UnHandle(env, ref);
  if (object == NULL) return NULL;
  VMObject* held = NULL;
  // A class's loader; a member's class (for a method, its return type). The word is
  // read only of those two kinds: anything else may hold a scalar there.
  if (object->GetTag() == VMClass::Tag)
    held = (VMObject*)((VMClass*)object)->GetClassLoader();
  else if (object->GetTag() == VMMethod::Tag || object->GetTag() == VMTag_VMDataMember)
    held = (VMObject*)((VMMember*)object)->GetClass();
  return held != NULL ? VMJniHandle::NewLocal(env, held) : NULL;
}

jobject GetLoaderFieldRef2(JNIEnv* env, jobject ref) { return GetLoaderFieldRef(env, ref); }

void* GetEnvUserWord(JNIEnv* env) { return env != NULL ? (void*)env->userWord : NULL; }

void SetEnvUserWord(JNIEnv* env, void* word) {
  if (env != NULL) env->userWord = (VMword)word;
}

void EnumerateClasses(JNIEnv* env, JNIEnumerateClassesFn callback) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns == NULL || callback == NULL) return;
  // The array grows while classes are prepared, the callback's own calls included: it is
  // read one entry at a time under the lock that guards its growth.
  for (uint32_t i = 1;; i++) {
    if (!VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - EnumerateClasses")) return;
    VMClassHandleArray* classes = ns->GetClasses();
    bool more = classes != NULL && i < classes->GetCount();
    VMClass* cls = more ? classes->Get(i) : NULL;
    VMLiteral* name = cls != NULL ? cls->GetName() : NULL;
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - EnumerateClasses");
    if (!more) return;
    char* text = name != NULL ? name->MakeUTF8() : NULL;
    if (text == NULL) continue;
    callback(text);
    VMLiteral::FreeUTF8(text);
  }
}

}  // namespace JNIEnvExtension

/* ---- public fields ---- */

/* The field, with the id and modifiers stored as asked; NULL when there is none (nothing
   raised) or when the id cannot be made (OutOfMemoryError pending). */
static VMDataMember* PublicField(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID,
                                 jint* modifiers) {
  VMLoadableClass* cls = PreparedClass(env, clazz);
  if (cls == NULL) return NULL;
  VMLiteral* literal = Intern(NameSpaceOf(env), name);
  if (literal == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMDataMember* field = cls->FindPublicField(literal, env);
  if (field == NULL) return NULL;
  if (modifiers != NULL) *modifiers = ((VMMember*)field)->GetFlags();
  if (fieldID != NULL) {
    jobject id = VMJniHandle::NewFieldID(env, (VMObject*)field);
    if (id == NULL) return NULL;
    *fieldID = (jfieldID)id;
  }
  return field;
}

static jstring SignatureString(JNIEnv* env, VMLiteral* signature) {
  VMJavaLangString* text = signature != NULL ? signature->MakeVMJavaLangString(env) : NULL;
  if (text == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return VMJniHandle::NewLocal(env, (VMObject*)text);
}

static char* SignatureText(JNIEnv* env, VMLiteral* signature) {
  char* text = signature != NULL ? signature->MakeUTF8() : NULL;
  if (text == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return text;
}

/* ---- methods by overload resolution ---- */

static VMMethod* ResolveMethod(JNIEnv* env, jclass clazz, const char* name, const char* arguments,
                               jboolean instanceMethods, jmethodID* methodID, jint* modifiers) {
  VMLoadableClass* cls = PreparedClass(env, clazz);
  if (cls == NULL) return NULL;
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* nameLiteral = Intern(ns, name);
  VMLiteral* argumentLiteral = nameLiteral != NULL ? Intern(ns, arguments) : NULL;
  if (argumentLiteral == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMMethod* method;
  bool ambiguous;
  {
    VMOverload resolver(env);
    method = resolver.FindMethod(env, cls, nameLiteral, argumentLiteral, instanceMethods != 0);
    ambiguous = method == NULL && resolver.IsAmbiguous();
  }
  if (method == NULL) {
    if (ambiguous) VMJniThrowInternal(env, VMStatus_InstantiationException, "Ambiguous");
    return NULL;
  }
  if (modifiers != NULL) *modifiers = ((VMMember*)method)->GetFlags();
  if (methodID != NULL) {
    jobject id = VMJniHandle::NewFieldID(env, (VMObject*)method);
    if (id == NULL) return NULL;
    *methodID = (jmethodID)id;
  }
  return method;
}

namespace JNIEnvExtension {

jstring FindPublicFieldName(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jint* modifiers) {
  VMDataMember* field = PublicField(env, clazz, name, fieldID, modifiers);
  return field != NULL ? SignatureString(env, ((VMMember*)field)->GetSignature()) : NULL;
}

char* FindPublicFieldNameUTF(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jint* modifiers) {
  VMDataMember* field = PublicField(env, clazz, name, fieldID, modifiers);
  return field != NULL ? SignatureText(env, ((VMMember*)field)->GetSignature()) : NULL;
}

jstring FindPublicField(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jboolean* isStatic) {
  jint modifiers = 0;
  jstring signature = FindPublicFieldName(env, clazz, name, fieldID, &modifiers);
  if (isStatic != NULL) *isStatic = signature != NULL && (modifiers & 0x8) != 0 ? 1 : 0;
  return signature;
}

jstring FindMethodName(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature,
                       jboolean instanceMethods, jmethodID* methodID, jint* modifiers) {
  VMMethod* method = ResolveMethod(env, clazz, name, argumentSignature, instanceMethods, methodID, modifiers);
  return method != NULL ? SignatureString(env, ((VMMember*)method)->GetSignature()) : NULL;
}

char* FindMethodNameUTF(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature,
                        jboolean instanceMethods, jmethodID* methodID, jint* modifiers) {
  VMMethod* method = ResolveMethod(env, clazz, name, argumentSignature, instanceMethods, methodID, modifiers);
  return method != NULL ? SignatureText(env, ((VMMember*)method)->GetSignature()) : NULL;
}

jstring FindMethodBySignature(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature,
                              jboolean instanceMethods, jmethodID* methodID, jboolean* isStatic) {
  jint modifiers = 0;
  jstring signature = FindMethodName(env, clazz, name, argumentSignature, instanceMethods, methodID, &modifiers);
  if (isStatic != NULL) *isStatic = signature != NULL && (modifiers & 0x8) != 0 ? 1 : 0;
  return signature;
}

}  // namespace JNIEnvExtension
