#include "vmjni_support.h"

#include "vmjavalangthrowable.h"

namespace vmjni {

bool EnsurePrepared(JNIEnv* env, VMLoadableClass* cls) {
  if (cls->GetIsPrepared()) return true;
  VMStatus status = cls->Prepare(NULL);
  if (status == 0) return true;
  if (env->thread != NULL && env->thread->GetException() == NULL) ThrowWithClassName(env, status, (VMClass*)cls);
  return false;
}

VMObject* StaticDataOf(JNIEnv* env, VMLoadableClass* cls) {
  VMThread* thread = env->thread;
  VMObject* data = cls->GetInitializedStaticData(thread->GetVM());
  if (data != NULL) return data;
  // The initialiser may let the host move the machine (a sleep, a wait): the exception
  // pending before it is held by a reference, and the record read again through the env.
  VMJavaLangThrowable* before = thread->GetException();
  jobject noted = before != NULL ? VMJniHandle::NewLocal(env, (VMObject*)before) : NULL;
  VMStatus status = cls->Initialize(env);
  thread = env->thread;
  before = (VMJavaLangThrowable*)VMJniHandle::UnHandle(env, noted);
  if (noted != NULL) VMJniHandle::DeleteLocal(env, noted);
  if (status == 0) {
    // The initialiser itself may ask (a native of the class calling back): the data is
    // there for it while it runs.
    data = cls->GetStaticData(thread);
    if (data != NULL) return data;
    status = VMStatus_NoClassDefFoundError;
  }
  // The initialiser's own exception (or the one Initialize made for its status) stays;
  // a failure that left nothing new pending is reported here, so that no caller goes on
  // without data and without an exception.
  VMJavaLangThrowable* now = thread->GetException();
  if (now == NULL || now == before)
    ThrowWithClassName(env, status == VMStatus_AlreadyThrown ? VMStatus_NoClassDefFoundError : status,
                       (VMClass*)cls);
  return NULL;
}

void ThrowWithClassName(JNIEnv* env, VMStatus status, VMClass* cls) {
  VMLiteral* name = cls != NULL ? cls->GetDotName() : NULL;
  char* text = name != NULL ? name->MakeUTF8() : NULL;
  (void)VMJniThrowInternal(env, status, text);
  if (text != NULL) VMLiteral::FreeUTF8(text);
}

}  // namespace vmjni
