/* Seam: the least of the invocation interface that the runtime core needs before the
   interface itself exists (see vmjni.h). Replaced as a whole by the interface's issue. */
#include "vmjni.h"
#include "vmjni_functions.h"

#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmjavalangthrowable.h"
#include "vmseams.h"
#include "vmthread.h"
#include "vmutils.h"

JNIEnv* VMJniCreateEnv(JavaVM* javaVM) {
  JNIEnv* env = (JNIEnv*)VMUtils::GetHostFunctions()->HeapAlloc(NULL, sizeof(JNIEnv), jallocFailFast);
  if (env == NULL) return NULL;
  memset(env, 0, sizeof(JNIEnv));
  env->functions = &VMJniEnvFunctionTable;
  env->javaVM = javaVM;
  return env;
}

int VMJniAttachEnv(JavaVM* javaVM, JNIEnv* env) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  host->AttachThreadEnv(javaVM, env);
  host->SetCurrentEnv(env);
  VMThread* thread = javaVM->vm->AttachThread(env);
  if (thread == NULL) {
    host->SetCurrentEnv(NULL);
    host->AttachThreadEnv(NULL, NULL);
    return -1;
  }
  env->thread = thread;
  return 0;
}

int VMJniDetachEnv(JavaVM* javaVM) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  JNIEnv* env = javaVM->vm->DetachThread();
  if (env != NULL) {
    env->thread = NULL;
    host->SetCurrentEnv(NULL);
    host->HeapFree(NULL, env);
  }
  host->AttachThreadEnv(NULL, NULL);
  return 0;
}

int VMJniAttachCurrentThreadWithObject(JavaVM* javaVM, JNIEnv** envOut, VMJavaLangThread* thread) {
  JNIEnv* env = VMJniCreateEnv(javaVM);
  if (env == NULL) return -1;
  if (VMJniAttachEnv(javaVM, env) != 0) {
    VMUtils::GetHostFunctions()->HeapFree(NULL, env);
    return -1;
  }
  env->thread->SetJavaLangThreadAndName(thread);
  *envOut = env;
  return 0;
}

int VMJniThrowInternal(JNIEnv* env, VMStatus status, const char* message) {
  if (env == NULL || env->javaVM == NULL || env->thread == NULL) return -1;
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMLoadableClass* cls = ns != NULL ? ns->GetExceptionClass(env, (uint32_t)status) : NULL;
  if (cls == NULL) return -1;
  VMJavaLangString* text = message != NULL ? VMJavaLangString::CreateInstance(env, message) : NULL;
  if (text != NULL) text->SetIsReachableByCPlusPlusCode();
  VMJavaLangThrowable* throwable = VMJavaLangThrowable::CreateInstance(env, cls);
  if (text != NULL) text->ClearIsReachableByCPlusPlusCode();
  if (throwable == NULL) return -1;
  throwable->SetMessage(text);
  env->thread->SetException(throwable);
  return 0;
}

/* A local reference is the index of its slot in the thread's local handle array; a tag
   in the top bits selects one of the shared arrays instead. */
static VMObjectHandleArray* ArrayOf(JNIEnv* env, uint32_t* handle) {
  uint32_t h = *handle;
  *handle = h & VMJniHandle::IndexMask;
  VMNameSpace* ns = env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  if (h & VMJniHandle::MemberIdTag) return ns != NULL ? ns->GetJNIFieldIDArray() : NULL;
  if (h & VMJniHandle::NameSpaceGlobalTag) return ns != NULL ? ns->GetJNIHandleArray() : NULL;
  if (h & VMJniHandle::MachineGlobalTag) return env->javaVM->vm != NULL ? env->javaVM->vm->GetJNIHandleArray() : NULL;
  return env->thread != NULL ? env->thread->GetJNIHandleArray() : NULL;
}

jobject VMJniHandle::NewLocal(JNIEnv* env, VMObject* object) {
  if (object == NULL || env == NULL || env->thread == NULL) return NULL;
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  uint32_t index = locals != NULL ? locals->Append(object) : 0;
  if (index == 0) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return (jobject)(uintptr_t)index;
}

static jobject AddShared(JNIEnv* env, VMObjectHandleArray* array, VMObject* object, uint32_t tag, bool unique) {
  if (object == NULL || array == NULL) return NULL;
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMUtils::P_SpinLock(ns->GetSpinLock(), "jni seam");
  uint32_t index = unique ? array->AddOrFind(object) : array->Add(object);
  VMUtils::V_SpinLock(ns->GetSpinLock(), "jni seam");
  if (index == 0) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jobject)(uintptr_t)(index | tag);
}

jobject VMJniHandle::NewGlobal(JNIEnv* env, VMObject* object) {
  if (object == NULL || env == NULL) return NULL;
  if (object->GetIsNameSpaceData())
    return AddShared(env, env->javaVM->nameSpace->GetJNIHandleArray(), object, NameSpaceGlobalTag, false);
  return AddShared(env, env->javaVM->vm->GetJNIHandleArray(), object, MachineGlobalTag, false);
}

jobject VMJniHandle::NewFieldID(JNIEnv* env, VMObject* member) {
  if (member == NULL || env == NULL) return NULL;
  return AddShared(env, env->javaVM->nameSpace->GetJNIFieldIDArray(), member, MemberIdTag, true);
}

VMObject* VMJniHandle::UnHandle(JNIEnv* env, jobject handle) {
  uint32_t index = (uint32_t)(uintptr_t)handle;
  if (index == 0 || env == NULL) return NULL;
  VMObjectHandleArray* array = ArrayOf(env, &index);
  return array != NULL && index != 0 ? array->Get(index) : NULL;
}

void VMJniHandle::Delete(JNIEnv* env, jobject handle) {
  uint32_t index = (uint32_t)(uintptr_t)handle;
  if (index == 0 || env == NULL || (index & MemberIdTag) != 0) return;
  VMObjectHandleArray* array = ArrayOf(env, &index);
  if (array != NULL) array->Delete(index);
}

bool VMJniHandle::GetHighWaterMarks(JNIEnv* env, jint* marks) {
  marks[0] = (jint)env->javaVM->nameSpace->GetJNIHandleArray()->GetCount();
  marks[1] = (jint)env->javaVM->vm->GetJNIHandleArray()->GetCount();
  marks[2] = (jint)env->thread->GetJNIHandleArray()->GetCount();
  return true;
}

void VMJniEnv::DeleteLocalRef(JNIEnv* env, jobject handle) { VMJniHandle::Delete(env, handle); }
void VMJniEnv::DeleteGlobalRef(JNIEnv* env, jobject handle) { VMJniHandle::Delete(env, handle); }
jobject VMJniEnv::NewGlobalRef(JNIEnv* env, jobject ref) {
  return VMJniHandle::NewGlobal(env, VMJniHandle::UnHandle(env, ref));
}
jboolean VMJniEnv::IsSameObject(JNIEnv* env, jobject a, jobject b) {
  return VMJniHandle::UnHandle(env, a) == VMJniHandle::UnHandle(env, b) ? 1 : 0;
}
jthrowable VMJniEnv::ExceptionOccurred(JNIEnv* env) {
  return VMJniHandle::NewLocal(env, (VMObject*)env->thread->GetException());
}
void VMJniEnv::ExceptionClear(JNIEnv* env) { env->thread->SetException(NULL); }
jclass VMJniEnv::FindClass(JNIEnv* env, const char* name) {
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMLiteral* literal = name != NULL ? VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu) : NULL;
  if (literal == NULL) return NULL;
  VMClass* cls = name[0] == '[' ? VMClass::FindByName(ns, literal, NULL)
                                : (VMClass*)VMLoadableClass::FindInitialized(env, literal, NULL);
  return cls != NULL ? VMJniHandle::NewLocal(env, (VMObject*)cls) : NULL;
}
jint JNIEnvExtension::GetHighWaterMarks(JNIEnv* env, jint* marks) {
  return VMJniHandle::GetHighWaterMarks(env, marks) ? 0 : -1;
}

void VMJniNotImplemented(JNIEnv* env, const char* message) {
  (void)VMJniThrowInternal(env, VMStatus_InternalError, message);
}

jint VMJniInvoke::DestroyJavaVM(JavaVM*) { return -1; }
jint VMJniInvoke::AttachCurrentThread(JavaVM*, JNIEnv**, void*) { return -1; }
jint VMJniInvoke::DetachCurrentThread(JavaVM*) { return -1; }
jint VMJniInvoke::GetEnv(JavaVM*, void**, jint) { return -2; }
jint VMJniInvoke::AddDestroyCallback(JavaVM* vm, JNIDestroyCallback callback, void* context) {
  return VMJniAddKeyValue(vm, callback, context);
}
jint VMJniInvoke::RemoveDestroyCallback(JavaVM* vm, JNIDestroyCallback callback, void* context) {
  return VMJniRemoveKeyValue(vm, callback, context);
}
jint VMJniInvoke::AbandonJavaVM(JavaVM*) { return -1; }
jint VMJniInvoke::StopOtherThreads(JavaVM*) { return 0; }

/* Not built yet. */
jint VMJniEnv::GetVersion(JNIEnv* env) { VMJniNotImplemented(env, "nyi: GetVersion"); return 0; }
jclass VMJniEnv::DefineClass(JNIEnv* env, const char*, jobject, const jbyte*, jsize) { VMJniNotImplemented(env, "nyi: DefineClass"); return NULL; }
jclass VMJniEnv::GetSuperclass(JNIEnv* env, jclass) { VMJniNotImplemented(env, "nyi: GetSuperclass"); return NULL; }
jboolean VMJniEnv::IsAssignableFrom(JNIEnv* env, jclass, jclass) { VMJniNotImplemented(env, "nyi: IsAssignableFrom"); return 0; }
jint VMJniEnv::Throw(JNIEnv* env, jthrowable) { VMJniNotImplemented(env, "nyi: Throw"); return 0; }
jint VMJniEnv::ThrowNew(JNIEnv* env, jclass, const char*) { VMJniNotImplemented(env, "nyi: ThrowNew"); return 0; }
void VMJniEnv::ExceptionDescribe(JNIEnv* env) { VMJniNotImplemented(env, "nyi: ExceptionDescribe"); }
void VMJniEnv::FatalError(JNIEnv* env, const char*) { VMJniNotImplemented(env, "nyi: FatalError"); }
jobject VMJniEnv::NewLocalRef(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: NewLocalRef"); return NULL; }
jint VMJniEnv::EnsureLocalCapacity(JNIEnv* env, jint) { VMJniNotImplemented(env, "nyi: EnsureLocalCapacity"); return 0; }
jclass JNIEnvExtension::FindClassNoInit(JNIEnv* env, const char*) { VMJniNotImplemented(env, "nyi: FindClassNoInit"); return NULL; }
jclass JNIEnvExtension::FindClassInObjectLoader(JNIEnv* env, const char*, jobject) { VMJniNotImplemented(env, "nyi: FindClassInObjectLoader"); return NULL; }
jclass JNIEnvExtension::FindClassInLoaderId(JNIEnv* env, const char*, void*) { VMJniNotImplemented(env, "nyi: FindClassInLoaderId"); return NULL; }
jstring JNIEnvExtension::FindPublicField(JNIEnv* env, jclass, const char*, jfieldID*, jboolean*) { VMJniNotImplemented(env, "nyi: FindPublicField"); return NULL; }
jstring JNIEnvExtension::FindMethodBySignature(JNIEnv* env, jclass, const char*, const char*, jboolean, jmethodID*, jboolean*) { VMJniNotImplemented(env, "nyi: FindMethodBySignature"); return NULL; }
jobject JNIEnvExtension::GetLoaderFieldRef(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: GetLoaderFieldRef"); return NULL; }
jobject JNIEnvExtension::GetLoaderFieldRef2(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: GetLoaderFieldRef2"); return NULL; }
jstring JNIEnvExtension::FindPublicFieldName(JNIEnv* env, jclass, const char*, jfieldID*, jint*) { VMJniNotImplemented(env, "nyi: FindPublicFieldName"); return NULL; }
jstring JNIEnvExtension::FindMethodName(JNIEnv* env, jclass, const char*, const char*, jboolean, jmethodID*, jint*) { VMJniNotImplemented(env, "nyi: FindMethodName"); return NULL; }
char* JNIEnvExtension::GetPendingExceptionText(JNIEnv* env) { VMJniNotImplemented(env, "nyi: GetPendingExceptionText"); return NULL; }
char* JNIEnvExtension::GetPendingExceptionStackLine(JNIEnv* env, jint) { VMJniNotImplemented(env, "nyi: GetPendingExceptionStackLine"); return NULL; }
void JNIEnvExtension::FreeExceptionText(JNIEnv* env, char*) { VMJniNotImplemented(env, "nyi: FreeExceptionText"); }
void* JNIEnvExtension::GetEnvUserWord(JNIEnv* env) { VMJniNotImplemented(env, "nyi: GetEnvUserWord"); return NULL; }
void JNIEnvExtension::SetEnvUserWord(JNIEnv* env, void*) { VMJniNotImplemented(env, "nyi: SetEnvUserWord"); }
jint JNIEnvExtension::DeleteRefs(JNIEnv* env, const jint*, jint) { VMJniNotImplemented(env, "nyi: DeleteRefs"); return 0; }
char* JNIEnvExtension::FindPublicFieldNameUTF(JNIEnv* env, jclass, const char*, jfieldID*, jint*) { VMJniNotImplemented(env, "nyi: FindPublicFieldNameUTF"); return NULL; }
char* JNIEnvExtension::FindMethodNameUTF(JNIEnv* env, jclass, const char*, const char*, jboolean, jmethodID*, jint*) { VMJniNotImplemented(env, "nyi: FindMethodNameUTF"); return NULL; }
void JNIEnvExtension::EnumerateClasses(JNIEnv* env, JNIEnumerateClassesFn) { VMJniNotImplemented(env, "nyi: EnumerateClasses"); }

/* ---- the key/value list of the JavaVM record ---- */

static VMJniKeyValueNode** KeyValueHead(JavaVM* javaVM) {
  return reinterpret_cast<VMJniKeyValueNode**>(&javaVM->destroyCallbacks);
}

int VMJniAddKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value) {
  if (javaVM == NULL || javaVM->vm == NULL || key == NULL || value == NULL) return -1;
  VM* vm = javaVM->vm;
  if (vm->MonitorEnter(javaVM->nameSpace) != VMStatus_OK) return -1;
  int result = 0;
  for (VMJniKeyValueNode* n = *KeyValueHead(javaVM); n != NULL; n = n->next) {
    if (n->key == key && n->value == value) result = -1;
  }
  if (result == 0) {
    VMJniKeyValueNode* node = (VMJniKeyValueNode*)VMUtils::GetHostFunctions()->HeapAlloc(
        NULL, sizeof(VMJniKeyValueNode), jallocFailFast);
    if (node == NULL) {
      result = -1;
    } else {
      node->key = key;
      node->value = value;
      node->next = *KeyValueHead(javaVM);
      *KeyValueHead(javaVM) = node;
    }
  }
  vm->MonitorExit(javaVM->nameSpace);
  return result;
}

int VMJniRemoveKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value) {
  if (javaVM == NULL || javaVM->vm == NULL) return -1;
  VM* vm = javaVM->vm;
  if (vm->MonitorEnter(javaVM->nameSpace) != VMStatus_OK) return -1;
  VMJniKeyValueNode* found = NULL;
  for (VMJniKeyValueNode** link = KeyValueHead(javaVM); *link != NULL; link = &(*link)->next) {
    if ((*link)->key == key && (*link)->value == value) {
      found = *link;
      *link = found->next;
      break;
    }
  }
  vm->MonitorExit(javaVM->nameSpace);
  if (found == NULL) return -1;
  VMUtils::GetHostFunctions()->HeapFree(NULL, found);
  return 0;
}

void VMJniRunDestroyCallbacks(JavaVM* javaVM) {
  if (javaVM == NULL) return;
  VMJniKeyValueNode* node = *KeyValueHead(javaVM);
  for (VMJniKeyValueNode* n = node; n != NULL; n = n->next) n->key(n->value);
  *KeyValueHead(javaVM) = NULL;
  while (node != NULL) {
    VMJniKeyValueNode* next = node->next;
    VMUtils::GetHostFunctions()->HeapFree(NULL, node);
    node = next;
  }
}
