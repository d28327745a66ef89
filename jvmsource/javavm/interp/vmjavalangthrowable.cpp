#include "vmjavalangthrowable.h"

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

VM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL; }

}  // namespace

#define PUX_VIEW_INSTANTIATE(View, TagValue)                                                  \
  View* View::Instantiate(HHeap* heap, uint32_t words, VMword mask) {                          \
    return (View*)CreateInternalNotToBeCalledDirectly(heap, words, mask, TagValue, jallocFailFast); \
  }
PUX_VIEW_INSTANTIATE(VMJavaLangThrowable, VMTag_VMJavaLangThrowable)
PUX_VIEW_INSTANTIATE(VMJavaLangException, VMTag_VMJavaLangException)
PUX_VIEW_INSTANTIATE(VMJavaLangInvocationTargetException, VMTag_VMJavaLangInvocationTargetException)
PUX_VIEW_INSTANTIATE(VMJavaLangError, VMTag_VMJavaLangError)
PUX_VIEW_INSTANTIATE(VMJavaLangLinkageError, VMTag_VMJavaLangLinkageError)
PUX_VIEW_INSTANTIATE(VMJavaLangExceptionInInitializerError, VMTag_VMJavaLangExceptionInInitializerError)
PUX_VIEW_INSTANTIATE(VMJavaLangVirtualMachineError, VMTag_VMJavaLangVirtualMachineError)
PUX_VIEW_INSTANTIATE(VMJavaLangOutOfMemoryError, VMTag_VMJavaLangOutOfMemoryError)
PUX_VIEW_INSTANTIATE(VMJavaLangThread, VMTag_VMJavaLangThread)
#undef PUX_VIEW_INSTANTIATE

VMTraceback* VMTraceback::CreateInstance(HHeap* heap, jallocType kind) {
  return (VMTraceback*)CreateInternalNotToBeCalledDirectly(heap, Words, RefMask, VMTag_VMTraceback, kind);
}

bool VMJavaLangThrowable::LayoutFits(VMLoadableClass* cls, uint32_t words) {
  if (cls == NULL || cls->GetCreateSize() < words) return false;
  VMboolArray* bits = cls->GetCreateBits();
  if (bits == NULL) return false;
  for (uint32_t i = 0; i < words; i++) {
    if (!bits->Get(i)) return false;
  }
  return true;
}

VMJavaLangThrowable* VMJavaLangThrowable::CreateInstance(JNIEnv* env, VMLoadableClass* cls) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  VMJavaLangThrowable* t = NULL;
  // A class whose instances cannot hold the trace and the message is never written to;
  // the fallback below stands in for it.
  if (cls != NULL && LayoutFits(cls, Words)) {
    t = (VMJavaLangThrowable*)VMObjectBase::CreateInstance(vm->GetHeap(), cls->GetCreateSize(),
                                                           jallocCollectAndRetry,
                                                           VMTag_VMJavaLangThrowable);
    if (t != NULL) {
      t->SetClass((VMClass*)cls);
      if (cls->GetFinalize() != NULL) VM::NoteFinalizable(vm->GetHeap(), t);
    }
  }
  if (t == NULL) {
    // Before the machine has its pre-made error there is nothing to fall back on.
    t = vm->GetOutOfMemoryError();
    if (t == NULL) return NULL;
  }
  // Only C++ holds it until a caller stores it: keep a collection off it meanwhile.
  bool wasHeld = t->GetIsReachableByCPlusPlusCode();
  t->SetIsReachableByCPlusPlusCode();
  t->FillInFrameTrace(env);
  if (!wasHeld) t->ClearIsReachableByCPlusPlusCode();
  return t;
}

VMJavaLangThrowable* VMJavaLangThrowable::CreateInstance(JNIEnv* env, const char* slashName) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  VMNameSpace* ns = vm->GetNameSpace();
  VMLoadableClass* cls = NULL;
  if (VMLiteral* name = VMLiteral::CreateInstance(ns, slashName, 0xFFFFFFFFu))
    cls = VMLoadableClass::FindInitialized(env, name, NULL);
  if (cls == NULL) cls = ns->GetExceptionClass(env, VMStatus_OutOfMemoryError);
  return CreateInstance(env, cls);
}

namespace {

/* The frames a trace keeps, from the newest: a throwable made deep down costs no more
   than one made near the bottom. */
const uint32_t kMaxTraceFrames = 1024;

/* The frame the native interface pushes to run a method from native code carries that
   method, whose own frame is the one above it: it is no call of its own. */
bool ListedInTrace(VMFrame* f, VMFrame* callee) {
  return !(f->GetIsJNI() && callee != NULL && callee->GetCaller() == f && callee->GetMethod() == f->GetMethod());
}

}  // namespace

void VMJavaLangThrowable::FillInFrameTrace(JNIEnv* env) {
  VM* vm = MachineOf(env);
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (vm == NULL || thread == NULL) return;
  uint32_t count = 0;
  VMFrame* callee = NULL;
  for (VMFrame* f = thread->GetFrame(); f != NULL && !f->GetIsFirstFrame() && count < kMaxTraceFrames;
       callee = f, f = f->GetCaller())
    if (ListedInTrace(f, callee)) count++;
  HHeap* heap = vm->GetHeap();
  // Each part is first asked for without a collection; one refused is asked for again as
  // the throwable itself was, after one. A collection moves no object, and the host
  // moves the machine only while no collection runs and every thread stands outside it or
  // at a poll: the frames and this throwable (its caller keeps it reachable) stay put.
  VMTracebackArray* trace =
      VMTracebackArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMTracebackArray);
  if (trace == NULL)
    trace = VMTracebackArray::CreateInstance(heap, count, jallocCollectAndRetry, VMTag_VMTracebackArray);
  if (trace == NULL) return;
  // Stored only when done: until then the throwable keeps its old trace reachable, and
  // the new one is held by this code alone across a record's collection.
  uint32_t i = 0;
  callee = NULL;
  for (VMFrame* f = thread->GetFrame(); i < count; callee = f, f = f->GetCaller()) {
    if (!ListedInTrace(f, callee)) continue;
    VMTraceback* record = VMTraceback::CreateInstance(heap, jallocFailFast);
    if (record == NULL) {
      trace->SetIsReachableByCPlusPlusCode();
      record = VMTraceback::CreateInstance(heap, jallocCollectAndRetry);
      trace->ClearIsReachableByCPlusPlusCode();
      if (record == NULL) {
        // The innermost frames tell more than none, or than the frames of an older throw.
        if (i == 0) return;
        trace->SetSize(i);
        break;
      }
    }
    record->SetMethod(f->GetMethod());
    // The instruction that threw, or a caller's call: the pc lies past it (the handler
    // search reads the one before, too), so past the end of its line when it ends one.
    if (f->GetIsExecutableByteCode() && f->GetMethod() != NULL) {
      uint32_t pc = f->GetByteCodeFrame()->GetPC(false);
      record->SetPC(pc > 0 ? pc - 1 : 0);
    }
    trace->Set(i++, record);
  }
  SetTraceback(trace);
}

void VMJavaLangThrowable::Destroy(HHeap* heap) {
  if (VMTracebackArray* trace = GetTraceback()) {
    for (uint32_t i = 0; i < trace->GetSize(); i++) {
      if (VMTraceback* record = trace->Get(i)) {
        trace->Set(i, NULL);
        record->VMObject::Destroy(heap);
      }
    }
    SetTraceback(NULL);
    trace->VMObject::Destroy(heap);
  }
  VMObject::Destroy(heap);
}

VMJavaLangThrowable* VMJavaLangThrowable::Wrap(JNIEnv* env, const char* slashName,
                                               VMJavaLangThrowable* target) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  VMJavaLangThrowable* t = CreateInstance(env, slashName);
  if (t == NULL) return NULL;
  VMLoadableClass* oom = vm->GetNameSpace()->GetExceptionClass(env, VMStatus_OutOfMemoryError);
  VMLoadableClass* cls = t->GetLoadableClass();
  if (cls == oom || !LayoutFits(cls, 3)) return t;
  t->SetWord(2, (VMword)target);
  return t;
}

VMJavaLangThrowable* VMJavaLangInvocationTargetException::CreateInstance(JNIEnv* env,
                                                                        VMJavaLangThrowable* target) {
  return Wrap(env, "java/lang/reflect/InvocationTargetException", target);
}

VMJavaLangThrowable* VMJavaLangExceptionInInitializerError::CreateInstance(
    JNIEnv* env, VMJavaLangThrowable* target) {
  return Wrap(env, "java/lang/ExceptionInInitializerError", target);
}

bool VMJavaLangError::IsError(JNIEnv* env, VMJavaLangThrowable* t) {
  VM* vm = MachineOf(env);
  if (vm == NULL || t == NULL) return false;
  VMClass* error = VMClass::FindSystemClass(vm->GetNameSpace(), "java/lang/Error");
  if (error == NULL) return false;
  uint32_t depth = 0;
  for (VMLoadableClass* c = t->GetLoadableClass(); c != NULL && depth < 10000; c = c->GetSuper(), depth++) {
    if ((VMClass*)c == error) return true;
  }
  return false;
}

VMJavaLangThrowable* VMJavaLangOutOfMemoryError::CreateInstance(JNIEnv* env) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  return VMJavaLangThrowable::CreateInstance(
      env, vm->GetNameSpace()->GetExceptionClass(env, VMStatus_OutOfMemoryError));
}

VMJavaLangThread* VMJavaLangThread::CreateInstance(JNIEnv* env) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  VMLoadableClass* cls = vm->GetNameSpace()->GetClassList()->GetThreadClass(env);
  if (cls == NULL) return NULL;
  return (VMJavaLangThread*)VMObject::CreateInstance(vm->GetHeap(), cls, jallocCollectAndRetry);
}
