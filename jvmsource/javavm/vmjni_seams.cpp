/* Seam: the least of the invocation interface that the runtime core needs before the
   interface itself exists (see vmjni.h). Replaced as a whole by the interface's issue. */
#include "vmjni.h"

#include <string.h>

#include "vm.h"
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

/* A local reference is the index of its slot in the thread's local handle array, shifted
   past a tag bit so that no reference is 0. */
jobject VMJniHandle::NewLocal(JNIEnv* env, VMObject* object) {
  if (object == NULL || env == NULL || env->thread == NULL) return NULL;
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  uint32_t index = locals != NULL ? locals->Append(object) : 0;
  return index == 0 ? NULL : (jobject)(uintptr_t)(index << 2 | 1);
}

VMObject* VMJniHandle::UnHandle(JNIEnv* env, jobject handle) {
  if (handle == NULL || env == NULL || env->thread == NULL) return NULL;
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  return locals != NULL ? locals->Get((uint32_t)(uintptr_t)handle >> 2) : NULL;
}

void VMJniDeleteLocalRef(JNIEnv* env, jobject handle) {
  if (handle == NULL || env == NULL || env->thread == NULL) return;
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  if (locals != NULL) locals->Delete((uint32_t)(uintptr_t)handle >> 2);
}

/* A field ID of the stand-in cache is the field's instance word plus one. */
jboolean VMJniGetBooleanField(JNIEnv* env, jobject object, void* fieldID) {
  VMObject* target = VMJniHandle::UnHandle(env, object);
  if (target == NULL || fieldID == NULL) return 0;
  return target->GetWord((uint32_t)(uintptr_t)fieldID - 1) != 0 ? 1 : 0;
}

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

void VMJniCallDestroyKeys(JavaVM* javaVM) {
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
