#include "vmjniutils.h"

#include "vmjavalangthrowable.h"
#include "vmjni_functions.h"
#include "vmjni_support.h"
#include "vmupcalls.h"

using namespace vmjni;

/* ------------------------------------------------------------------------------------ */
/* The scoped monitor hold                                                               */

VMObjectMonitorLock::VMObjectMonitorLock(VMObject* object, VMNameSpace* ns)
    : status(object->MonitorEnter(ns)), object(object), nameSpace(ns) {}

void VMObjectMonitorLock::Release() {
  if (status != 0) return;
  (void)object->MonitorExit(nameSpace);
  status = VMStatus_IllegalMonitorStateException;
}

/* ------------------------------------------------------------------------------------ */
/* The cache                                                                             */

namespace {

struct ClassInfo {
  const char* javaName;
  uint32_t members;
  VMword tag;
};

const ClassInfo kClasses[VMJniUtils::ClassCount + 1] = {
    {NULL, 0, 0},
#define PUX_JNIUTILS_INFO(word, Class, javaName, count) {javaName, count, VMTag_VMJniUtils##Class},
    PUX_JNIUTILS_CLASSES(PUX_JNIUTILS_INFO)
#undef PUX_JNIUTILS_INFO
};

/* A look-up that failed for want of memory rather than for a missing class. */
bool FailedForMemory(JNIEnv* env) {
  VMJavaLangThrowable* pending = env->thread->GetException();
  if (pending == NULL) return false;
  VMLoadableClass* oom = NameSpaceOf(env)->GetExceptionClass(env, VMStatus_OutOfMemoryError);
  return oom != NULL && pending->GetClass() == (VMClass*)oom;
}

}  // namespace

VMJniUtils* VMJniUtils::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMJniUtils*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMJniUtils, jallocFailFast);
}

VMJniUtils* VMJniUtils::CreateInstance(VMNameSpace* ns) {
  if (ns == NULL) return NULL;
  VMJniUtils* utils = Instantiate(ns->GetHeap(), Words, RefMask);
  if (utils != NULL) utils->SetNameSpace(ns);
  return utils;
}

void VMJniUtils::Destroy(HHeap* heap) {
  static const uint32_t kOrder[ClassCount] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12,
                                              13, 14, 15, 16, 17, 18, 19, 20, 22, 23, 21};
  for (uint32_t word : kOrder) {
    VMObject* record = (VMObject*)GetScalar(word);
    if (record != NULL) record->Destroy(heap);
    SetScalar(word, 0);
  }
  VMObject::Destroy(heap);
}

VMObject* VMJniUtils::GetRecord(JNIEnv* env, uint32_t word) {
  if (word == 0 || word > ClassCount) return NULL;
  VMword* slot = &Body()[word];
  VMObject* record = (VMObject*)__atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (record != NULL || env == NULL || env->thread == NULL) return record;
  const ClassInfo& info = kClasses[word];
  // No lock is held here: FindClass may run the class's static initialiser, which may
  // wait for other threads or use this cache itself.
  jclass local = env->functions->FindClass(env, info.javaName);
  // A look-up nested in that initialiser, on this thread, may have published the record
  // meanwhile, with ids in it: that one stays.
  record = (VMObject*)__atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (record != NULL) {
    env->functions->DeleteLocalRef(env, local);
    return record;
  }
  VMObject* cls = VMJniHandle::UnHandle(env, local);
  jobject handle = NULL;
  if (cls != NULL) {
    handle = VMJniHandle::NewFieldID(env, cls);
    env->functions->DeleteLocalRef(env, local);
    // The class is there; only its id could not be made. Its OutOfMemoryError is pending.
    if (handle == NULL) return NULL;
  } else if (FailedForMemory(env)) {
    return NULL;
  }
  // A class that is not there gets its record all the same, with class 0, so that it is
  // looked for only once; whatever FindClass left pending reaches the caller.
  HHeap* heap = GetNameSpace()->GetHeap();
  VMObject* made = VMObject::CreateInternalNotToBeCalledDirectly(heap, 1 + info.members, 0, info.tag, jallocFailFast);
  if (made == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  made->SetWord(0, (VMword)(uintptr_t)handle);
  VMword expected = 0;
  if (!__atomic_compare_exchange_n(slot, &expected, (VMword)made, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
    // Another thread published first: one record per class.
    made->Destroy(heap);
    return (VMObject*)expected;
  }
  return made;
}

jobject VMJniUtils::GetMember(JNIEnv* env, uint32_t classWord, uint32_t memberWord, MemberKind kind,
                              const char* name, const char* signature) {
  VMObject* record = GetRecord(env, classWord);
  if (record == NULL) return NULL;
  VMword* slot = &record->Body()[memberWord];
  jobject id = (jobject)(uintptr_t)__atomic_load_n(slot, __ATOMIC_ACQUIRE);
  if (id != NULL) return id;
  jclass cls = (jclass)(uintptr_t)__atomic_load_n(&record->Body()[0], __ATOMIC_ACQUIRE);
  if (cls == NULL) {
    // Class 0 would make every env look-up answer 0 without a word; the native would
    // then pass the 0 on.
    char dotted[64];
    const char* slashed = kClasses[classWord].javaName;
    uint32_t i = 0;
    for (; slashed[i] != 0 && i + 1 < sizeof dotted; i++) dotted[i] = slashed[i] == '/' ? '.' : slashed[i];
    dotted[i] = 0;
    (void)VMJniThrowInternal(env, VMStatus_NoClassDefFoundError, dotted);
    return NULL;
  }
  const JNINativeInterface_* f = env->functions;
  switch (kind) {
    case kField: id = (jobject)f->GetFieldID(env, cls, name, signature); break;
    case kStaticField: id = (jobject)f->GetStaticFieldID(env, cls, name, signature); break;
    default: id = (jobject)f->GetMethodID(env, cls, name, signature); break;
  }
  // One member has one id, so a store racing another thread's stores the same word.
  if (id != NULL) __atomic_store_n(slot, (VMword)(uintptr_t)id, __ATOMIC_RELEASE);
  return id;
}

/* ------------------------------------------------------------------------------------ */
/* Where the name space and the threads reach the cache                                  */

namespace upcall {

VMJniUtils* JniUtilsCreate(VMNameSpace* ns) { return VMJniUtils::CreateInstance(ns); }

void JniUtilsDestroy(VMJniUtils* utils, HHeap* heap) {
  if (utils != NULL) utils->Destroy(heap);
}

/* The machine asks about Thread.daemon for itself: whatever the look-up raises (the
   class library may lack the field) is not the caller's. */
void* JniUtilsFieldThreadDaemon(JNIEnv* env) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMJniUtils* utils = ns != NULL ? ns->GetJNIUtils() : NULL;
  if (utils == NULL || env->thread == NULL) return NULL;
  VMJavaLangThrowable* pending = env->thread->GetException();
  jfieldID id = utils->GetFieldThread_daemon(env);
  env->thread->SetException(pending);
  return (void*)id;
}

}  // namespace upcall
