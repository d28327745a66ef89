/* Runtime services of the support interface: exit, collection, memory figures, identity
   hashes, cloning, the monitor operations of java.lang.Object, interning, the clock and
   array copying. Several are natives of Object, String and System themselves. */
#include "vmjvm.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

VM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL; }

JNIEnv* CurrentEnv() {
  JNIHostFunctions* host = Host();
  return host != NULL ? host->GetCurrentEnv() : NULL;
}

/* The class of an object whose header names one; NULL for internal objects. */
VMClass* ClassOf(VMObject* object) { return object != NULL && object->GetHasClass() ? object->GetClass() : NULL; }

/* Raises status unless an exception is already pending (a poll may have thrown the
   posted one at this native's frame: that one is the answer). */
void Raise(JNIEnv* env, VMStatus status) {
  if (status == VMStatus_OK || status == VMStatus_AlreadyThrown) return;
  if (env->thread != NULL && env->thread->GetException() != NULL) return;
  VMJniThrowInternal(env, status, NULL);
}

/* The common front of the monitor entries: the object, or NULL with the exception
   pending. No ownership is tested: interpreted synchronized code takes no lock, so no
   thread is known to hold or not to hold a monitor; the monitor itself never releases
   levels a waiter does not own. */
VMObject* MonitorObject(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL || env->thread == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  return object;
}

/* Heap figures of a machine; free is never negative, whatever the host reports. */
jlong TotalBytes(VM* vm) {
  uint64_t total = Host()->HeapTotalBytes(vm->GetHeap());
  return total > (uint64_t)INT64_MAX ? INT64_MAX : (jlong)total;
}

jlong FreeBytes(VM* vm) {
  uint64_t total = Host()->HeapTotalBytes(vm->GetHeap());
  uint64_t used = Host()->HeapBytesInUse(vm->GetHeap());
  if (used >= total) return 0;
  uint64_t left = total - used;
  return left > (uint64_t)INT64_MAX ? INT64_MAX : (jlong)left;
}

/* The bytes of one element of a primitive class, by its newarray code. */
uint32_t ElementBytes(VMClass* element) {
  switch (((VMPrimitiveClass*)element)->GetType()) {
    case VMTypeBoolean: case VMTypeByte: return 1;
    case VMTypeChar: case VMTypeShort: return 2;
    case VMTypeFloat: case VMTypeInt: return 4;
    case VMTypeDouble: case VMTypeLong: return 8;
    default: return 0;
  }
}

jobject CloneArray(JNIEnv* env, VM* vm, VMArray* source, VMArrayClass* cls) {
  VMClass* element = cls->GetElementClass();
  uint32_t count = source->GetSize();
  VMArray* copy;
  if (element != NULL && element->GetIsPrimitive()) {
    uint32_t bytes = ElementBytes(element);
    copy = bytes != 0 ? VMArray::CreateInstance(vm->GetHeap(), count, bytes, jallocCollectAndRetry,
                                                VMTag_VMUserArrayInstance)
                      : NULL;
    if (copy != NULL) copy->SetIsScalarArray();
  } else {
    copy = VMrefArray::CreateInstance(vm->GetHeap(), count, jallocCollectAndRetry, VMTag_VMUserArrayInstance);
  }
  if (copy == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  copy->SetClass((VMClass*)cls);
  copy->Copy(source, 0, 0, count);
  return VMJniHandle::NewLocal(env, copy);
}

/* Whether cls is java/lang/Thread or below it. */
bool IsThreadClass(JNIEnv* env, VMLoadableClass* cls) {
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMLoadableClass* thread = ns->GetClassList()->GetThreadClass(env);
  if (thread == NULL) return false;
  for (uint32_t depth = 0; cls != NULL && depth <= VMLoadableClass::MAX_NESTING; cls = cls->GetSuper(), depth++)
    if (cls == thread) return true;
  return false;
}

}  // namespace

/* ---- exit, collection, tracing, memory ---- */

void JNICALL JVM_Exit(jint code) {
  Host()->FatalExit(code, NULL);
  // A host that keeps running: the calling thread must not go on in Java as if exit had
  // never been asked for. ThreadDeath ends its call as a host stop does.
  if (JNIEnv* env = CurrentEnv()) VMJniThrowInternal(env, VMStatus_ThreadDeath, NULL);
}

void JNICALL JVM_GC(void) {
  if (VM* vm = MachineOf(CurrentEnv())) vm->GarbageCollect(false);
}

void JNICALL JVM_TraceInstructions(jboolean) {}

void JNICALL JVM_TraceMethodCalls(jboolean) {}

/* The figures of the calling thread's machine; a caller outside every machine learns
   only that there is no figure to give. */
jlong JNICALL JVM_TotalMemory(void) {
  VM* vm = MachineOf(CurrentEnv());
  return vm != NULL ? TotalBytes(vm) : (jlong)0xFFFFFFFFu;
}

jlong JNICALL JVM_FreeMemory(void) {
  VM* vm = MachineOf(CurrentEnv());
  return vm != NULL ? FreeBytes(vm) : (jlong)0xFFFFFFFFu;
}

jboolean JNICALL JVM_IsSupportedJNIVersion(jint) { return 1; }

/* ---- identity, cloning ---- */

jint JNICALL JVM_IHashCode(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  VM* vm = MachineOf(env);
  if (object == NULL || vm == NULL) return 0;
  return (jint)object->GetIdentityHashCode(vm);
}

jobject JNICALL JVM_Clone(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  VM* vm = MachineOf(env);
  if (object == NULL || vm == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  VMClass* cls = ClassOf(object);
  if (cls != NULL && cls->GetIsArray()) return CloneArray(env, vm, (VMArray*)object, (VMArrayClass*)cls);
  if (cls == NULL || !cls->GetIsLoadable()) {
    VMJniThrowInternal(env, VMStatus_CloneNotSupportedException, NULL);
    return NULL;
  }
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  VMClass* cloneable = VMClass::FindSystemClass(env->javaVM->nameSpace, "java/lang/Cloneable");
  if (cloneable == NULL || !cloneable->GetIsLoadable()) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  if (!loadable->Implements((VMLoadableClass*)cloneable)) {
    VMJniThrowInternal(env, VMStatus_CloneNotSupportedException, NULL);
    return NULL;
  }
  VMObject* copy = VMObject::CreateInstance(vm->GetHeap(), loadable, jallocCollectAndRetry);
  if (copy == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  const uint32_t words = loadable->GetCreateSize();
  for (uint32_t i = 0; i < words; i++) copy->SetWord(i, object->GetWord(i));
  jobject result = VMJniHandle::NewLocal(env, copy);
  // A clone of a Thread is a new, unstarted thread: it must not name the host thread
  // of the original, or stop, interrupt and isAlive would act on that one.
  if (result != NULL && IsThreadClass(env, loadable)) JVMSetThreadEnvField(env, result, 0);
  return result;
}

/* ---- monitors ---- */

void JNICALL JVM_MonitorNotify(JNIEnv* env, jobject handle) {
  if (VMObject* object = MonitorObject(env, handle)) Raise(env, object->Notify());
}

void JNICALL JVM_MonitorNotifyAll(JNIEnv* env, jobject handle) {
  if (VMObject* object = MonitorObject(env, handle)) Raise(env, object->NotifyAll());
}

/* The monitor of the object handle holds, made if need be (making it allocates). */
static VMMonitor* MonitorOf(JNIEnv* env, jobject handle) {
  VMObject* object = MonitorObject(env, handle);
  if (object == NULL) return NULL;
  VMClass* cls = object->GetClass();
  VMMonitor* monitor = VMMonitor::GetMonitorFor(cls != NULL ? cls->GetNameSpace() : NULL, object);
  if (monitor == NULL) Raise(env, VMStatus_OutOfMemoryError);
  return monitor;
}

/* A native's wait, without limit if asked, touches no object once it has the monitor's
   record: it waits in a safe region, so the machine's collections go on without it (its
   notifier may be collecting). Leaving the region waits for a collection that began.
   The host may move the machine meanwhile: the wait reads the record and the monitor
   again through env and handle. */
void JNICALL JVM_MonitorWait(JNIEnv* env, jobject handle, jlong ms) {
  VMMonitor* monitor = MonitorOf(env, handle);
  if (monitor == NULL) return;
  VM::EnterSafeRegion(env->thread);
  VMStatus status = monitor->DoWait(env, handle, ms);
  VM::LeaveSafeRegion(env->thread);
  Raise(env, status);
}

void JNICALL JVM_JavaMonitorWait(JNIEnv* env, jobject handle, jlong ms) {
  if (VMMonitor* monitor = MonitorOf(env, handle)) Raise(env, monitor->DoJavaWait(env, handle, ms));
}

/* ---- strings, time ---- */

jstring JNICALL JVM_InternString(JNIEnv* env, jstring handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  if (object == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  VMJavaLangString* interned = ((VMJavaLangString*)object)->Intern(env->javaVM->nameSpace);
  if (interned == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)interned);
}

jlong JNICALL JVM_CurrentTimeMillis(JNIEnv*, jclass) { return Host()->CurrentTimeMillis(); }

/* ---- arraycopy ---- */

void JNICALL JVM_ArrayCopy(JNIEnv* env, jclass, jobject srcHandle, jint srcPos, jobject dstHandle, jint dstPos,
                           jint length) {
  VMObject* src = VMJniHandle::UnHandle(env, srcHandle);
  VMObject* dst = VMJniHandle::UnHandle(env, dstHandle);
  if (src == NULL || dst == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  VMClass* srcClass = ClassOf(src);
  VMClass* dstClass = ClassOf(dst);
  if (srcClass == NULL || dstClass == NULL || !srcClass->GetIsArray() || !dstClass->GetIsArray()) {
    VMJniThrowInternal(env, VMStatus_ArrayStoreException, NULL);
    return;
  }
  VMClass* srcElement = ((VMArrayClass*)srcClass)->GetElementClass();
  VMClass* dstElement = ((VMArrayClass*)dstClass)->GetElementClass();
  const bool srcPrimitive = srcElement != NULL && srcElement->GetIsPrimitive();
  const bool dstPrimitive = dstElement != NULL && dstElement->GetIsPrimitive();
  if (srcPrimitive ? srcElement != dstElement : dstPrimitive) {
    VMJniThrowInternal(env, VMStatus_ArrayStoreException, NULL);
    return;
  }
  VMArray* from = (VMArray*)src;
  VMArray* to = (VMArray*)dst;
  if (srcPos < 0 || dstPos < 0 || length < 0 || (uint32_t)srcPos + (uint32_t)length > from->GetSize() ||
      (uint32_t)dstPos + (uint32_t)length > to->GetSize()) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return;
  }
  if (length == 0) return;
  // Every element of the source fits the destination when its element class does: one
  // moving copy, right for overlapping ranges of one array.
  if (srcPrimitive || srcElement == dstElement || VMClass::AssignableFrom(srcElement, dstElement)) {
    to->Copy(from, (uint32_t)srcPos, (uint32_t)dstPos, (uint32_t)length);
    return;
  }
  VMrefArray* fromRefs = (VMrefArray*)from;
  VMrefArray* toRefs = (VMrefArray*)to;
  const bool downward = from == to && dstPos > srcPos;
  for (jint k = 0; k < length; k++) {
    jint i = downward ? length - 1 - k : k;
    VMObject* element = fromRefs->Get((uint32_t)(srcPos + i));
    if (element != NULL && !VMClass::InstanceOf(element, dstElement)) {
      VMJniThrowInternal(env, VMStatus_ArrayStoreException, NULL);
      return;
    }
    toRefs->Set((uint32_t)(dstPos + i), element);
  }
}

jboolean JNICALL JVM_IsNaN(jdouble d) {
  uint64_t bits;
  memcpy(&bits, &d, sizeof bits);
  return (bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull && (bits & 0x000FFFFFFFFFFFFFull) != 0;
}
