/* The native of java.util.ResourceBundle: the classes of the Java frames from the one
   that called the native outwards, innermost first (native frames add nothing). */
#include "registration.h"
#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"

namespace {

jobjectArray JNICALL GetClassContext(JNIEnv* env, jclass) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  VMFrame* self = thread != NULL ? thread->GetFrame() : NULL;
  if (self == NULL) return NULL;
  VMFrame* caller = self->GetCaller();
  VMClassArray* context = NULL;
  if (caller != NULL) {
    context = caller->GetClassContext();
  } else {
    // Called straight from the host: no Java frame at all.
    VMClass* object = (VMClass*)env->javaVM->nameSpace->GetClassList()->GetObjectClass();
    context = VMClassArray::CreateInstance(thread->GetVM()->GetHeap(), 0, object, jallocCollectAndRetry,
                                           VMTag_VMClassArray);
  }
  if (context == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jobjectArray)VMJniHandle::NewLocal(env, (VMObject*)context);
}

const JNINativeMethod kResourceBundle[] = {
    PUX_NATIVE("getClassContext", "()[Ljava/lang/Class;", GetClassContext),
};

}  // namespace

void Register_java_util_ResourceBundle(void) {
  JNI_RegisterNative("java/util/ResourceBundle", kResourceBundle, PUX_ROWS(kResourceBundle));
}
