/* Linking and initialisation of a class: its class number and static slots, its method
   table, its static data in each machine, the binding of its natives, and the protocol
   by which exactly one thread of a machine runs its static initialiser. */
#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmclass_support.h"
#include "vmclassloader.h"
#include "vmconstantpool.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace classmodel;

namespace {

const char kGetSlot[] = "namespace spinlock - Get staticdata";
const char kReleaseSlot[] = "namespace spinlock - Release staticdata";

__attribute__((always_inline)) inline VMObjectArray* SlotArray(VM* vm) {
  VMObjectHandleArray* a = vm->GetStaticDataArray();
  if (a == NULL) return NULL;
  return (VMObjectArray*)__atomic_load_n(&a->Body()[VMHandleArray::ArrayWord], __ATOMIC_ACQUIRE);
}

/* The word of a slot: past the first 194 elements an array's words lie in pieces, found
   through the element accessor. */
__attribute__((always_inline)) inline VMword* SlotWord(VMObjectArray* slots, uint32_t index) { return (VMword*)slots->FindElement(index, 2u); }

/* The slot's object, read without a lock: slot arrays are never freed while the machine
   lives (a grown array keeps the one it replaced), so a reader holding an old array
   reads a stale but valid answer and re-checks under the lock. */
__attribute__((always_inline)) inline VMObject* ReadSlot(VM* vm, uint32_t index) {
  VMObjectArray* slots = SlotArray(vm);
  if (slots == NULL || index == 0 || index >= slots->GetSize()) return NULL;
  return (VMObject*)__atomic_load_n(SlotWord(slots, index), __ATOMIC_ACQUIRE);
}

/* Stores the slot under the name space's spin lock; the array grows by doubling and the
   array it outgrew is kept in the new one's unused slot 0. With found, the store is made
   only into an empty slot: an object already there is answered in *found instead. */
VMStatus WriteSlot(VM* vm, VMNameSpace* ns, uint32_t index, VMObject* data, VMObject** found = NULL) {
  VMObjectHandleArray* a = vm->GetStaticDataArray();
  if (a == NULL || index == 0) return VMStatus_OutOfMemoryError;
  if (!VMUtils::P_SpinLock(ns->GetSpinLock(), kGetSlot)) return VMStatus_OutOfMemoryError;
  VMStatus status = 0;
  VMObjectArray* slots = a->GetArray();
  if (index >= slots->GetSize()) {
    uint32_t size = slots->GetSize() * 2;
    if (size <= index) size = index + 16;
    VMObjectArray* grown = VMObjectArray::CreateInstance(vm->GetHeap(), size, jallocFailFast, slots->GetTag());
    if (grown == NULL) {
      status = VMStatus_OutOfMemoryError;
    } else {
      grown->Copy(slots, 0, 0, slots->GetSize());
      grown->Set(0, (VMObject*)slots);
      __atomic_store_n(&a->Body()[VMHandleArray::ArrayWord], (VMword)grown, __ATOMIC_RELEASE);
      slots = grown;
    }
  }
  if (status == 0) {
    VMword* slot = SlotWord(slots, index);
    if (found != NULL && (*found = (VMObject*)*slot) != NULL) {
      // Another thread's object stands.
    } else {
      __atomic_store_n(slot, (VMword)data, __ATOMIC_RELEASE);
      if (a->GetCount() < index + 1) a->SetScalar(VMHandleArray::CountWord, index + 1);
    }
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), kReleaseSlot);
  return status;
}

/* A machine's static data of a class carries the class's initialisation in that machine
   in two words after the fields: the state word (the mark of the host thread running the
   initialiser, which a move of the machine leaves where it is, unlike the thread's record;
   0 once it has run, InitFailed once it failed) and the status a failure left. A published
   object is never destroyed while the machine lives: threads read it without a lock. */
const VMword InitFailed = 1;

/* The calling host thread's mark: its address names the thread for as long as it lives. */
static thread_local char tInitializerMark;

__attribute__((always_inline)) inline VMword InitializerMark() { return (VMword)&tInitializerMark; }

__attribute__((always_inline)) inline VMword* StateWord(VMLoadableClass* cls, VMObject* data) { return data->GetElementAddress(cls->GetNumStatics()); }

__attribute__((always_inline)) inline VMword LoadState(VMLoadableClass* cls, VMObject* data) {
  return __atomic_load_n(StateWord(cls, data), __ATOMIC_ACQUIRE);
}

VM* MachineOf(JNIEnv* env) {
  return env != NULL && env->thread != NULL ? env->thread->GetVM() : NULL;
}

}  // namespace

void VMLoadableClass::ReleaseRetiredStaticSlots(VM* vm) {
  VMObjectArray* slots = SlotArray(vm);
  if (slots == NULL) return;
  VMObjectArray* old = (VMObjectArray*)slots->Get(0);
  slots->Set(0, NULL);
  while (old != NULL) {
    VMObjectArray* older = (VMObjectArray*)old->Get(0);
    old->VMObject::Destroy(vm->GetHeap());
    old = older;
  }
}

/* ------------------------------------------------------------------------------------ */
/* Class number, static slots, method table                                              */

VMStatus VMLoadableClass::PrepareNumStatics() {
  VMNameSpace* ns = GetNameSpace();
  if (GetIndex() == 0) {
    // Two threads preparing different classes must never share a number (they would
    // share static data): the add runs under the name space's spin lock.
    VMClassHandleArray* classes = ns->GetClasses();
    if (classes == NULL) return VMStatus_OutOfMemoryError;
    if (!VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get classnumber"))
      return VMStatus_OutOfMemoryError;
    uint32_t index = classes->Add(this);
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release classnumber");
    if (index == 0) return VMStatus_OutOfMemoryError;
    SetIndex(index);
  }
  uint32_t count = 0;
  if (VMDataMemberArray* fields = GetDataMembers()) {
    for (uint32_t i = 0; i < fields->GetSize(); i++) {
      VMDataMember* field = fields->Get(i);
      if (field == NULL || !field->GetIsStatic()) continue;
      field->SetIndex((jint)count);
      VMClass* cls = field->GetClass();
      count += (cls != NULL && cls->GetIsTwoEntries()) ? 2 : 1;
    }
  }
  SetNumStatics(count);
  return 0;
}

/* Whether m, declared in a class of package, replaces the inherited method other: a
   private method replaces nothing and is replaced by nothing, and a package-private one
   only from its own package. */
static bool Overrides(VMMethod* m, VMMethod* other, VMLiteral* package) {
  if (other == NULL || m->GetIsPrivate() || other->GetIsPrivate() || !other->Matches(m)) return false;
  return !other->GetIsDefault() || other->GetDefinedIn()->GetPackage() == package;
}

VMStatus VMLoadableClass::PrepareVTable() {
  VMLoadableClass* super = GetSuper();
  VMMethodArray* superTable = super != NULL ? super->VMLoadableOrArrayClass::GetMethodTable() : NULL;
  uint32_t inherited = superTable != NULL ? superTable->GetSize() : 0;
  VMLiteral* package = GetPackage();
  VMMethodArray* methods = GetMethods();
  uint32_t count = methods != NULL ? methods->GetSize() : 0;
  uint32_t next = inherited;
  for (uint32_t i = 0; i < count; i++) {
    VMMethod* m = methods->Get(i);
    if (m == NULL) continue;
    if (m->GetIsStatic()) {
      m->SetIndex(-1);
      continue;
    }
    // The method's index is the first slot it replaces; it goes into every one of them
    // below (a public method can replace a package-private one of its own package and a
    // public one of another package at once).
    int32_t slot = -1;
    for (uint32_t s = 0; s < inherited; s++) {
      VMMethod* other = superTable->Get(s);
      if (!Overrides(m, other, package)) continue;
      // Replacing a final method is what the class file may not do.
      if (other->GetIsFinal()) return VMStatus_VerifyError;
      if (slot < 0) slot = (int32_t)s;
    }
    m->SetIndex(slot >= 0 ? slot : (jint)next++);
  }
  VMMethodArray* table = VMMethodArray::CreateInstance(GetHeap(), next, jallocFailFast, 0x6326FECAu);
  if (table == NULL) return VMStatus_OutOfMemoryError;
  for (uint32_t s = 0; s < inherited; s++) table->Set(s, superTable->Get(s));
  for (uint32_t i = 0; i < count; i++) {
    VMMethod* m = methods->Get(i);
    if (m == NULL || m->GetIsStatic()) continue;
    table->Set((uint32_t)m->GetIndex(), m);
    for (uint32_t s = (uint32_t)m->GetIndex() + 1; s < inherited; s++) {
      if (Overrides(m, superTable->Get(s), package)) table->Set(s, m);
    }
  }
  VMLiteral* finalize = WellKnown(GetNameSpace(), LT_FINALIZE);
  VMLiteral* voidSig = WellKnown(GetNameSpace(), LT_SIG_NULL);
  SetFinalize(NULL);
  for (uint32_t s = 0; s < next; s++) {
    VMMethod* m = table->Get(s);
    if (m == NULL) continue;
    if (m->GetIsAbstract()) SetIsAbstract();
    if (m->GetName() == finalize && m->GetSignature() == voidSig) {
      if (super != NULL) SetFinalize(m->GetDefinedIn() != ObjectClass(GetNameSpace()) ? m : NULL);
      break;
    }
  }
  // A preparation retried after running out of memory replaces its earlier table.
  if (VMMethodArray* old = (VMMethodArray*)GetWord(TypeOrMethodTableWord)) old->VMObject::Destroy(GetHeap());
  SetMethodTable(table);
  return 0;
}

/* ------------------------------------------------------------------------------------ */
/* Static data                                                                           */

VMStatus VMLoadableClass::PrepareStaticData(JNIEnv* env, bool* published) {
  *published = false;
  VM* vm = MachineOf(env);
  if (vm == NULL) return VMStatus_InternalError;
  uint32_t statics = GetNumStatics();
  // Made at a class's first use, when the heap may well be full of garbage; nothing is
  // half made yet, so a failure collects once and tries again.
  VMObject* data = VMObject::CreateInstance(vm->GetHeap(), statics + 2, jallocFailFast, VMTag_VMStaticData);
  if (data == NULL && VMObjectBase::CollectForRetry())
    data = VMObject::CreateInstance(vm->GetHeap(), statics + 2, jallocFailFast, VMTag_VMStaticData);
  if (data == NULL) return VMStatus_OutOfMemoryError;
  if (statics != 0) {
    data->SetStaticDataClass(this);
    VMDataMemberArray* fields = GetDataMembers();
    for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
      VMDataMember* field = fields->Get(i);
      VMConstantValue* value = field != NULL && field->GetIsStatic() ? field->GetConstantValue() : NULL;
      if (value == NULL) continue;
      uint32_t slot = (uint32_t)field->GetIndex();
      if (value->GetString() != NULL) {
        data->SetWord(slot, (VMword)value->GetString());
      } else {
        data->SetWord(slot, value->GetValue1());
        if (field->GetClass()->GetIsTwoEntries()) data->SetWord(slot + 1, value->GetValue2());
      }
    }
  }
  // Constants and the initialising thread first, then the store: no thread of the
  // machine sees the data before it is complete.
  *StateWord(this, data) = InitializerMark();
  VMObject* found = NULL;
  VMStatus status = WriteSlot(vm, GetNameSpace(), GetIndex(), data, &found);
  if (status != 0 || found != NULL) {
    // Never published: no other thread can hold it.
    data->Destroy(vm->GetHeap());
    return status;
  }
  *published = true;
  return 0;
}

VMStatus VMLoadableClass::SetStaticData(VM* vm, VMObject* data) {
  return WriteSlot(vm, GetNameSpace(), GetIndex(), data);
}

VMObject* VMLoadableClass::TakeStaticData(VM* vm) {
  VMNameSpace* ns = GetNameSpace();
  uint32_t index = GetIndex();
  if (ns == NULL || index == 0 || vm->GetStaticDataArray() == NULL) return NULL;
  // Under the lock that grows the array: a store into an array just outgrown would be
  // lost, and the copy would go on naming the data once it is freed.
  if (!VMUtils::P_SpinLock(ns->GetSpinLock(), kGetSlot)) return NULL;
  VMObjectArray* slots = SlotArray(vm);
  VMObject* data = slots != NULL && index < slots->GetSize() ? (VMObject*)*SlotWord(slots, index) : NULL;
  // Data without static fields names no class; with this class's number still held,
  // nothing but its own can stand in the slot.
  VMLoadableClass* owner = data != NULL ? data->GetStaticDataClass() : NULL;
  if (data != NULL && (owner == this || (owner == NULL && GetNumStatics() == 0))) {
    __atomic_store_n(SlotWord(slots, index), (VMword)0, __ATOMIC_RELEASE);
    // The arrays the slots outgrew stay alive off slot 0 for readers without the lock,
    // and still name the data: the collector would follow them into the freed block.
    for (VMObjectArray* old = (VMObjectArray*)slots->Get(0); old != NULL; old = (VMObjectArray*)old->Get(0)) {
      if (index < old->GetSize() && old->Get(index) == data) old->Set(index, NULL);
    }
  } else {
    data = NULL;
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), kReleaseSlot);
  return data;
}

VMObject* VMLoadableClass::GetInitializedStaticData(VM* vm) {
  VMObject* data = ReadSlot(vm, GetIndex());
  // The slot is filled before the static initialiser runs (its own recursive requests
  // need it); until the state word says it has run, everyone goes the slow way.
  if (data == NULL || LoadState(this, data) != 0) return NULL;
  return data;
}

VMObject* VMLoadableClass::GetStaticData(VMThread* thread) {
  VMObject* data = GetInitializedStaticData(thread->GetVM());
  if (data != NULL) return data;
  JNIEnv* env = thread->GetEnv();
  if (Initialize(env) != 0) return NULL;
  // The initialiser may have let the host move the machine: it is found through env.
  return ReadSlot(MachineOf(env), GetIndex());
}

VMLoadableClass* VMLoadableClass::EnsureInitialized(JNIEnv* env) {
  VM* vm = MachineOf(env);
  if (vm != NULL && GetInitializedStaticData(vm) != NULL) return this;
  return Initialize(env) == 0 ? this : NULL;
}

bool VMLoadableClass::GetIsInitialized(JNIEnv* env) {
  VM* vm = MachineOf(env);
  return vm != NULL && GetIsPrepared() && GetInitializedStaticData(vm) != NULL;
}

VMCommonObjectBase::WalkResult VMLoadableClass::WalkStaticData(VMObject* data, WalkCallback callback,
                                                               void* context) {
  VMLoadableClass* cls = data->GetStaticDataClass();
  VMDataMemberArray* fields = cls != NULL ? cls->GetDataMembers() : NULL;
  for (uint32_t i = 0; fields != NULL && i < fields->GetSize(); i++) {
    VMDataMember* field = fields->Get(i);
    if (field == NULL || !field->GetIsStatic() || field->GetClass() == NULL ||
        field->GetClass()->GetIsPrimitive())
      continue;
    VMword* slot = data->GetElementAddress((uint32_t)field->GetIndex());
    if (*slot == 0) continue;
    WalkResult r = callback(slot, context);
    if (r == WalkAbort) return WalkAbort;
    if (r == WalkDescend && ((VMObject*)*slot)->WalkReferences(callback, context) == WalkAbort) return WalkAbort;
  }
  return WalkDone;
}

VMword* VMLoadableClass::StaticDataStateWord(VMObject* data) {
  // Without static fields the data has no class in its kind word: the state is word 0.
  VMLoadableClass* cls = data->GetStaticDataClass();
  return data->GetElementAddress(cls != NULL ? cls->GetNumStatics() : 0);
}

void VMLoadableClass::DestroySharedStaticData(HHeap* heap) {
  // Nothing in the machine makes shared static data; what a host put there is released
  // with the object alone, since arrays its fields name may be referenced elsewhere.
  VMObject* data = GetSharedStaticData();
  if (data == NULL) return;
  SetSharedStaticData(NULL);
  data->Destroy(heap);
}

/* ------------------------------------------------------------------------------------ */
/* Initialisation                                                                        */

namespace {

/* Wakes every thread waiting for some class's initialisation in some machine (under the
   name space's monitor, which the waits hold too). */
void WakeWaiters(VMNameSpace* ns) {
  VMObject* object = (VMObject*)ns;
  if (object->MonitorEnter(ns) != 0) return;
  (void)object->NotifyAll(ns);
  (void)object->MonitorExit(ns);
}

/* One 100 ms slice of waiting while another thread of the machine runs an initialiser.
   The state is read again under the monitor: the initialising thread stores its answer
   before it takes the monitor to wake the waiters, so no wake-up is lost in between.
   The caller stands declared, so the host may move the machine while this blocks on the
   monitor and while it waits: the static data and the thread's record are read through
   env after each (the name space's monitor never moves). No interrupt ends the wait: it
   stays set for the thread's next wait that may be interrupted. The host's stop does,
   after the slice: the initialiser may itself wait for good (for a class this thread
   initialises), and a machine's end must reach both threads. */
VMStatus WaitForInitializer(VMNameSpace* ns, JNIEnv* env, VMLoadableClass* cls) {
  VMObject* object = (VMObject*)ns;
  VMMonitor* monitor = VMMonitor::GetMonitorFor(ns, object);
  if (monitor == NULL) return VMStatus_OutOfMemoryError;
  VMStatus status = monitor->DoMonitorEnter();
  if (status != 0) return status;
  VMObject* data = ReadSlot(MachineOf(env), cls->GetIndex());
  VMword state = data != NULL ? LoadState(cls, data) : 0;
  if (state != 0 && state != InitFailed) status = monitor->DoUninterruptibleWait(env, 100);
  (void)monitor->DoMonitorExit();
  if (status == 0 && VMUtils::GetHostFunctions()->YieldCheck() != 0) status = VMStatus_ThreadDeath;
  return status;
}

/* The end of this machine's initialisation of a class: its answer for every later
   request, then the waiters woken. */
void FinishInitialization(VMLoadableClass* cls, VMObject* data, VMStatus failure) {
  VM::LeaveInitializer();
  if (failure != 0) {
    data->SetWord(cls->GetNumStatics() + 1, (VMword)failure);
    __atomic_store_n(StateWord(cls, data), InitFailed, __ATOMIC_RELEASE);
  } else {
    __atomic_store_n(StateWord(cls, data), (VMword)0, __ATOMIC_RELEASE);
  }
  WakeWaiters(cls->GetNameSpace());
}

/* Drops the reference Initialize kept to the exception it found pending. */
VMStatus Forget(JNIEnv* env, jobject notedRef, VMStatus status) {
  if (notedRef != NULL) env->functions->DeleteLocalRef(env, notedRef);
  return status;
}

}  // namespace

VMStatus VMLoadableClass::Initialize(JNIEnv* env) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  VM* vm = thread != NULL ? thread->GetVM() : NULL;
  if (vm == NULL) {
    // No machine to make static data in: the class and its superclasses are prepared.
    if (GetIsErroneous() && GetStatus() != VMStatus_OutOfMemoryError) return GetStatus();
    VMStatus status = Prepare(NULL);
    if (status != 0) return status;
    return GetSuper() != NULL ? GetSuper()->Initialize(env) : 0;
  }
  if (GetInitializedStaticData(vm) != NULL) return 0;
  VMNameSpace* ns = GetNameSpace();
  // Loading (a loader's Java code), the wait for another thread's initialiser and the
  // initialisers themselves let the host move the machine: the thread's record, the
  // machine, its static data and the exception noted are read again after each.
  VMJavaLangThrowable* noted = thread->GetException();
  jobject notedRef = noted != NULL ? VMJniHandle::NewLocal(env, (VMObject*)noted) : NULL;
  VMLoadableClass* named = this;
  VMObject* data = NULL;
  VMStatus status;
  {
    // Loading, preparation and verification are the class's, once for every machine:
    // their failure makes it erroneous everywhere.
    VMLoadableClass* failing = NULL;
    status = Prepare(&failing);
    if (failing != NULL) named = failing;
  }
  thread = env->thread;
  vm = thread->GetVM();
  if (status != 0) goto failed;
  // Initialisation is each machine's own: one thread of the machine runs the
  // initialiser, the others of that machine wait for it, and other machines never do.
  for (;;) {
    data = ReadSlot(vm, GetIndex());
    if (data == NULL) {
      bool published = false;
      status = PrepareStaticData(env, &published);
      if (status != 0) goto failed;
      data = ReadSlot(vm, GetIndex());
      // Stored by this thread: it runs the initialiser, and the machine's other users of
      // the class wait for it until FinishInitialization.
      if (published && data != NULL) {
        VM::EnterInitializer();
        break;
      }
      continue;
    }
    VMword state = LoadState(this, data);
    if (state == 0) return Forget(env, notedRef, 0);
    if (state == InitFailed) {
      status = (VMStatus)data->GetWord(GetNumStatics() + 1);
      goto failed;
    }
    // The initialiser itself asks again (a static method of its own class).
    if (state == InitializerMark()) return Forget(env, notedRef, 0);
    // The initialising thread may collect meanwhile: this one waits as stopped (the
    // static data it holds is the machine's, reachable from the machine object).
    VM::EnterSafeRegion(thread);
    status = WaitForInitializer(ns, env, this);
    VM::LeaveSafeRegion(env->thread);
    thread = env->thread;
    vm = thread->GetVM();
    if (status != 0) goto failed;
  }
  if (GetSuper() != NULL) {
    status = GetSuper()->Initialize(env);
    thread = env->thread;
    vm = thread->GetVM();
    data = ReadSlot(vm, GetIndex());
    if (status != 0) {
      // The class cannot be used in this machine without its superclass.
      FinishInitialization(this, data, VMStatus_NoClassDefFoundError);
      goto failed;
    }
  }
  // The client hears of the class before its initialiser runs, so that a breakpoint
  // can be set in it.
  if (VMDebugger* agent = vm->GetDebugger()) agent->NotifyClassLoad(this);
  if (!ns->GetForCompiler()) {
    (void)RunClinit(env);
    thread = env->thread;
    if (notedRef != NULL) noted = (VMJavaLangThrowable*)VMJniHandle::UnHandle(env, notedRef);
    if (GetName() == WellKnown(ns, LT_SYSTEM) && thread->GetException() == noted)
      RunStaticVoidMethodNoParms(env, WellKnown(ns, LT_INITIALIZE_SYSTEM_CLASS), WellKnown(ns, LT_SIG_NULL));
  }
  thread = env->thread;
  vm = thread->GetVM();
  data = ReadSlot(vm, GetIndex());
  if (notedRef != NULL) noted = (VMJavaLangThrowable*)VMJniHandle::UnHandle(env, notedRef);
  if (thread->GetException() == noted) {
    FinishInitialization(this, data, 0);
    return Forget(env, notedRef, 0);
  }
  {
    // The initialiser threw. Whether the class keeps its data is decided by what it
    // threw, before a wrapper (which may itself fall back to OutOfMemoryError) hides it.
    VMJavaLangThrowable* thrown = thread->GetException();
    VMLoadableClass* oom = ns->GetExceptionClass(env, VMStatus_OutOfMemoryError);
    bool outOfMemory = oom != NULL && (VMClass*)thrown->GetLoadableClass() == (VMClass*)oom;
    if (!VMJavaLangError::IsError(env, thrown)) {
      // The thrown exception stays pending (so reachable) while the wrapper is made.
      VMJavaLangThrowable* wrapper = VMJavaLangExceptionInInitializerError::CreateInstance(env, thrown);
      if (wrapper != NULL) thread->SetException(wrapper);
    }
    // A class whose initialiser ran out of memory counts as initialised; any other
    // failure is final in this machine.
    FinishInitialization(this, data, outOfMemory ? 0 : VMStatus_NoClassDefFoundError);
    return Forget(env, notedRef, VMStatus_AlreadyThrown);
  }

failed:
  if (status != VMStatus_AlreadyThrown && thread->GetException() == NULL && ns->GetIsInitialized())
    thread->SetExceptionStatus(status, named->GetDotName());
  return Forget(env, notedRef, status);
}

VMStatus VMLoadableClass::RunClinit(JNIEnv* env) {
  VMNameSpace* ns = GetNameSpace();
  if (GetConstantPool() == NULL) {
    VMClassLoader* loader = GetLoader();
    VMStatus status = loader != NULL ? loader->Load(this, true) : VMStatus_NoClassDefFoundError;
    if (status != 0) return status;
  }
  RunStaticVoidMethodNoParms(env, WellKnown(ns, LT_CLINIT), WellKnown(ns, LT_SIG_NULL));
  return 0;
}

void VMLoadableClass::RunStaticVoidMethodNoParms(JNIEnv* env, VMLiteral* name, VMLiteral* descriptor) {
  VMMethod* method = FindMethod(name, descriptor, false);
  if (method == NULL || !method->GetIsStatic()) return;
  VMword args[2] = {0, 0};
  VMFrame::ExecuteJava(env, method, args);
}

VMJavaLangThrowable* VMLoadableClass::RunFinalize(JNIEnv* env, VMObject* object) {
  VMMethod* method = GetFinalize();
  if (method == NULL || env == NULL || env->thread == NULL) return NULL;
  VMThread* thread = env->thread;
  // A finalizer's exception is dropped, but one pending before it was not its to drop.
  VMJavaLangThrowable* before = thread->GetException();
  VMword args[2] = {(VMword)object, 0};
  VMFrame::ExecuteJava(env, method, args);
  // The host may have moved the machine during the finalizer (a pass runs it as an
  // ordinary thread): the record is read again. A pass begins with none pending, so
  // before is then NULL.
  VMJavaLangThrowable* thrown = env->thread->GetException();
  env->thread->SetException(before);
  return thrown != before ? thrown : NULL;
}

void VMLoadableClass::FreeConstantPool() {
  VMConstantPool* pool = GetConstantPool();
  if (pool == NULL) return;
  SetConstantPool(NULL);
  DestroyConstantPool(pool, GetHeap());
}

/* ------------------------------------------------------------------------------------ */
/* Natives                                                                               */

bool VMLoadableClass::LinkNativeMethods() {
  VMMethodArray* methods = GetMethods();
  if (methods == NULL) return false;
  VMNameSpace* ns = GetNameSpace();
  if (MonitorEnter(ns) != 0) return false;
  bool all = true;
  for (uint32_t i = 0; i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == NULL || !m->GetIsNative()) continue;
    void* f = VMUtils::NativeMethodAddr(this, m);
    if (f != NULL)
      m->SetNativeAddress(f);
    else if (m->GetNativeAddress() == NULL)
      all = false;
  }
  (void)MonitorExit(ns);
  return all;
}

void VMLoadableClass::UnRegisterNatives() {
  VMMethodArray* methods = GetMethods();
  if (methods == NULL) return;
  VMNameSpace* ns = GetNameSpace();
  if (MonitorEnter(ns) != 0) return;
  for (uint32_t i = 0; i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == NULL) continue;
    m->SetNativeAddress(NULL);
    if (m->GetIsCompiled()) {
      m->ClearIsCompiled();
      // Compiling took the bytecode bit away; without it the method could not be called.
      if (m->GetCode() != NULL) m->SetIsByteCode();
      m->SetCompiledAddress((void*)&VMByteCodeFrame::ThunkForCompiledCode);
    }
  }
  (void)MonitorExit(ns);
}
