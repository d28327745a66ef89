#include "vmjavalangthrowable.h"

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmclass_support.h"
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

/* Whether f is one of the throwable's own frames, which a throwable made in Java starts
   with: its fillInStackTrace or a constructor run on it. A bytecode frame must have it
   for receiver, so that a throwable made within another's constructor keeps that one. */
bool OwnFrame(VMFrame* f, VMJavaLangThrowable* t) {
  VMMethod* m = f->GetMethod();
  if (m == NULL || m->GetIsStatic()) return false;
  if (f->GetIsExecutableByteCode()) {
    VMword* locals = f->GetByteCodeFrame()->GetLocals();
    if (locals == NULL || locals[0] != (VMword)t) return false;
  } else if (m->GetDefinedIn() == NULL || !VMClass::AssignableFrom(t->GetClass(), (VMClass*)m->GetDefinedIn())) {
    return false;
  }
  // Names are one literal per name space: a constructor's is the well-known one.
  VMLiteral* name = m->GetName();
  VMLoadableClass* cls = m->GetDefinedIn();
  VMLiteral* init = cls != NULL ? classmodel::WellKnown(cls->GetNameSpace(), classmodel::LT_INIT) : NULL;
  if (name == NULL) return false;
  if (init != NULL ? name == init : name->EqualsAscii("<init>")) return true;
  return name->EqualsAscii("fillInStackTrace");
}

/* Records the listed frames from f (called by callee) into slots from..to-1 of trace,
   each record asked for again after a collection when refused; how many it recorded. */
uint32_t RecordFrames(HHeap* heap, VMTracebackArray* trace, VMFrame* f, VMFrame* callee, uint32_t from,
                      uint32_t to) {
  uint32_t i = from;
  for (; i < to; callee = f, f = f->GetCaller()) {
    if (!ListedInTrace(f, callee)) continue;
    VMTraceback* record = VMTraceback::CreateInstance(heap, jallocFailFast);
    if (record == NULL) {
      trace->SetIsReachableByCPlusPlusCode();
      record = VMTraceback::CreateInstance(heap, jallocCollectAndRetry);
      trace->ClearIsReachableByCPlusPlusCode();
      if (record == NULL) break;
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
  return i - from;
}

/* A trace cut short by want of memory: the records of slots from..from+kept-1 in an array
   of their size, or NULL. Memory has just run out, and nothing else knows the whole-size
   array or the records left out: they are given back before the new array is asked for,
   the kept records meanwhile held by this code alone. */
VMTracebackArray* CutShort(HHeap* heap, VMTracebackArray* trace, uint32_t from, uint32_t kept) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  VMTraceback** records =
      kept > 0 ? (VMTraceback**)host->HeapAlloc(NULL, kept * (uint32_t)sizeof(VMTraceback*), jallocFailFast) : NULL;
  if (kept > 0 && records == NULL) {
    // Without room to hold them the kept records move to the front of the array.
    for (uint32_t i = 0; i < kept; i++) trace->Set(i, trace->Get(from + i));
    trace->SetSize(kept);
    return trace;
  }
  for (uint32_t i = 0; i < trace->GetSize(); i++) {
    VMTraceback* record = trace->Get(i);
    if (record == NULL) continue;
    if (i >= from && i < from + kept) {
      records[i - from] = record;
      record->SetIsReachableByCPlusPlusCode();
    } else {
      record->VMObject::Destroy(heap);
    }
  }
  trace->VMObject::Destroy(heap);
  if (kept == 0) return NULL;
  trace = VMTracebackArray::CreateInstance(heap, kept, jallocCollectAndRetry, VMTag_VMTracebackArray);
  for (uint32_t i = 0; i < kept; i++) {
    if (trace != NULL) trace->Set(i, records[i]);
    records[i]->ClearIsReachableByCPlusPlusCode();
  }
  host->HeapFree(NULL, records);
  return trace;
}

}  // namespace

void VMJavaLangThrowable::FillInFrameTrace(JNIEnv* env) {
  VM* vm = MachineOf(env);
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (vm == NULL || thread == NULL) return;
  // Listed frames, and how many of the first are the throwable's own; the frame below
  // those, and the one it called.
  uint32_t count = 0, own = 0;
  VMFrame* below = NULL;
  VMFrame* belowCallee = NULL;
  VMFrame* callee = NULL;
  for (VMFrame* f = thread->GetFrame(); f != NULL && !f->GetIsFirstFrame() && count < kMaxTraceFrames;
       callee = f, f = f->GetCaller()) {
    if (!ListedInTrace(f, callee)) continue;
    if (own == count) {
      if (OwnFrame(f, this)) {
        own++;
      } else {
        below = f;
        belowCallee = callee;
      }
    }
    count++;
  }
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
  // the new one is held by this code alone across a record's collection. The frames
  // below the throwable's own come first: a trace cut short keeps the innermost of them,
  // which tell where it was made, rather than its constructors.
  uint32_t kept = below != NULL ? RecordFrames(heap, trace, below, belowCallee, own, count) : 0;
  if (kept != count - own || RecordFrames(heap, trace, thread->GetFrame(), NULL, 0, own) != own) {
    trace = CutShort(heap, trace, own, kept);
    if (trace == NULL) return;
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
