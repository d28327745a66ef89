/* Reference handles: objects, classes and member ids cross the native interface as
   small integers into one of four handle arrays.

   The two global arrays and the member-id array are shared: the name space's by every
   thread of every machine on it, the machine's by every thread of the machine. Writers
   of a shared array hold the name space's spin lock, except while the array grows: the
   grower holds the array's growing flag instead, so that the allocation happens outside
   the spin lock, and other writers wait for the flag on the name space's monitor.
   Readers (UnHandle) take no lock: growth keeps the old slot array alive behind the new
   one (VMHandleArray::GrowKeepingOld), so a reader that still holds it reads valid
   slots; the machine's collection, which stops every reader of the machine's array,
   frees that array's retired ones. The local array belongs to its thread and takes no
   lock. */
#include "vmjni.h"

#include "vm.h"
#include "vmhandlearray.h"
#include "vmjni_functions.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

static const char kLockTag[] = "vmjnihandle";

static VMNameSpace* NameSpaceOf(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}

static VM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL; }

VMObjectHandleArray* VMJniHandle::GetHandleArray(JNIEnv* env, uint32_t* handle) {
  uint32_t h = *handle;
  *handle = h & IndexMask;
  if ((h & (MemberIdTag | NameSpaceGlobalTag | MachineGlobalTag)) == 0)
    return env->thread != NULL ? env->thread->GetJNIHandleArray() : NULL;
  if (h & MemberIdTag) {
    VMNameSpace* ns = NameSpaceOf(env);
    return ns != NULL ? ns->GetJNIFieldIDArray() : NULL;
  }
  if (h & NameSpaceGlobalTag) {
    VMNameSpace* ns = NameSpaceOf(env);
    return ns != NULL ? ns->GetJNIHandleArray() : NULL;
  }
  VM* vm = MachineOf(env);
  return vm != NULL ? vm->GetJNIHandleArray() : NULL;
}

VMObject* VMJniHandle::UnHandle(JNIEnv* env, jobject handle) {
  uint32_t index = (uint32_t)(uintptr_t)handle;
  if (index == 0 || env == NULL) return NULL;
  VMObjectHandleArray* array = GetHandleArray(env, &index);
  // Slot 0 of a shared array holds the chain of retired slot arrays, never an object.
  if (array == NULL || index == 0) return NULL;
  return array->Get(index);
}

/* ---- the lock of the shared arrays ---- */

/* Waits up to 100 ms for a grower to clear the flag. The wait is not a Java wait: an
   interrupt meant for Java code stays for it. */
static void WaitForGrowth(JNIEnv* env, VMNameSpace* ns, VMObjectHandleArray* array) {
  VMThread* thread = env->thread;
  VMMonitor* monitor = thread != NULL ? VMMonitor::GetMonitorFor(ns, (VMObject*)ns) : NULL;
  if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) {
    VMUtils::GetHostFunctions()->Sleep(1);
    return;
  }
  if (array->GetIsbeingAllocated()) monitor->DoUninterruptibleWait(100, thread);
  monitor->DoMonitorExit();
}

static void NotifyGrowthDone(JNIEnv* env, VMNameSpace* ns) {
  VMMonitor* monitor = env->thread != NULL ? VMMonitor::GetMonitorFor(ns, (VMObject*)ns) : NULL;
  if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) return;
  monitor->DoNotifyAll();
  monitor->DoMonitorExit();
}

/* Takes the spin lock; with wait, only once neither array is growing. False when the
   host refuses the lock. */
static bool LockShared(JNIEnv* env, VMNameSpace* ns, VMObjectHandleArray* a, VMObjectHandleArray* b,
                       bool wait) {
  for (;;) {
    if (!VMUtils::P_SpinLock(ns->GetSpinLock(), kLockTag)) return false;
    VMObjectHandleArray* growing = NULL;
    if (wait && a != NULL && a->GetIsbeingAllocated()) growing = a;
    if (wait && growing == NULL && b != NULL && b->GetIsbeingAllocated()) growing = b;
    if (growing == NULL) return true;
    VMUtils::V_SpinLock(ns->GetSpinLock(), kLockTag);
    WaitForGrowth(env, ns, growing);
  }
}

static void UnlockShared(VMNameSpace* ns) { VMUtils::V_SpinLock(ns->GetSpinLock(), kLockTag); }

void VMJniHandle::Lock(JNIEnv* env, VMObjectHandleArray* array, bool wait) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns != NULL) LockShared(env, ns, array, NULL, wait);
}

void VMJniHandle::UnLock(JNIEnv* env) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns != NULL) UnlockShared(ns);
}

/* The thread a shared slot belongs to: the host's id of the calling thread, the same on
   every machine of the name space. */
static VMword OwnerOf(JNIEnv* env) { return env->thread != NULL ? (VMword)env->thread->GetId() : 0; }

/* When a global was made: one sequence for the whole process, so that marks taken on one
   machine order the globals of every array, and no re-attach starts it again. Compared
   modulo 2^32. */
static uint32_t gStamps = 0;

static uint32_t NextStamp() { return __atomic_add_fetch(&gStamps, 1, __ATOMIC_RELAXED); }

static void NoteGlobalMade(JNIEnv* env, uint32_t stamp) {
  if (env->thread != NULL) env->thread->SetScalar(VMThread::LastGlobalStampWord, stamp);
}

/* Puts object into a shared array: its existing slot when unique and already there,
   else the lowest empty slot, else a new one at the end. 0 on failure. */
static uint32_t AddShared(JNIEnv* env, VMObjectHandleArray* array, VMObject* object, bool unique) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns == NULL || array == NULL) return 0;
  if (!LockShared(env, ns, array, NULL, true)) return 0;
  if (unique) {
    uint32_t found = array->Find(object);
    if (found != 0) {
      UnlockShared(ns);
      return found;
    }
  }
  const VMword owner = OwnerOf(env);
  const uint32_t stamp = NextStamp();
  uint32_t index = array->FindFree();
  if (index == 0) index = array->GetCount();
  // Globals record their maker; member ids are everybody's.
  const bool owned = !unique;
  if (index < array->GetArray()->GetSize() && (!owned || array->HasOwnerRoom(index))) {
    index = array->AddAt(index, object) == VMStatus_OK ? index : 0;
    if (index != 0) array->SetOwner(index, owner, stamp);
    if (index != 0 && owned) NoteGlobalMade(env, stamp);
    UnlockShared(ns);
    return index;
  }
  // Growth: no other writer while the flag is set, and no allocation under the spin lock.
  array->SetIsbeingAllocated();
  UnlockShared(ns);
  bool grown = array->GrowKeepingOld(index, owned) == VMStatus_OK;
  if (grown) {
    array->GetArray()->Set(index, object);
    array->SetOwner(index, owner, stamp);
    if (owned) NoteGlobalMade(env, stamp);
  }
  // The flag is cleared even when the host refuses the lock: waiters must not wait for
  // good. Nothing else writes the array while the flag is set.
  bool locked = VMUtils::P_SpinLock(ns->GetSpinLock(), kLockTag) != 0;
  array->ClearIsbeingAllocated();
  if (locked) UnlockShared(ns);
  NotifyGrowthDone(env, ns);
  return grown ? index : 0;
}

/* ---- making handles ---- */

jobject VMJniHandle::NewLocal(JNIEnv* env, VMObject* object) {
  if (object == NULL || env == NULL || env->thread == NULL) return NULL;
  VMObjectHandleArray* locals = env->thread->GetJNIHandleArray();
  uint32_t index = locals != NULL ? locals->Append(object) : 0;
  if (index == 0) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return (jobject)(uintptr_t)index;
}

jobject VMJniHandle::NewGlobal(JNIEnv* env, VMObject* object) {
  if (object == NULL || env == NULL) return NULL;
  VMNameSpace* ns = NameSpaceOf(env);
  VM* vm = MachineOf(env);
  uint32_t index = 0;
  uint32_t tag = 0;
  if (object->GetIsNameSpaceData()) {
    index = ns != NULL ? AddShared(env, ns->GetJNIHandleArray(), object, false) : 0;
    tag = NameSpaceGlobalTag;
  } else {
    index = vm != NULL ? AddShared(env, vm->GetJNIHandleArray(), object, false) : 0;
    tag = MachineGlobalTag;
  }
  if (index == 0 || index > IndexMask) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jobject)(uintptr_t)(index | tag);
}

jobject VMJniHandle::NewFieldID(JNIEnv* env, VMObject* member) {
  if (member == NULL || env == NULL) return NULL;
  VMNameSpace* ns = NameSpaceOf(env);
  uint32_t index = ns != NULL ? AddShared(env, ns->GetJNIFieldIDArray(), member, true) : 0;
  if (index == 0 || index > IndexMask) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jobject)(uintptr_t)(index | MemberIdTag);
}

/* ---- the thread's remembered marks ---- */

/* A mark is only the fill levels, and the levels come round again: a global may be put
   into a slot freed below them, and the local count falls below them when the newest
   locals are deleted. So the thread remembers its latest marks with when they were taken
   and how low its local count has fallen since. Marks it no longer remembers (or another
   thread's) delete by position only. */

static int FindMarks(VMThread* thread, const jint* marks) {
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++) {
    if (thread->GetMark(e, VMThread::MarkLocalLevel) == 0) continue;
    if (thread->GetMark(e, VMThread::MarkNameSpaceLevel) == (uint32_t)marks[0] &&
        thread->GetMark(e, VMThread::MarkMachineLevel) == (uint32_t)marks[1] &&
        thread->GetMark(e, VMThread::MarkLocalLevel) == (uint32_t)marks[2])
      return (int)e;
  }
  return -1;
}

static bool After(uint32_t stamp, uint32_t since) { return (int32_t)(stamp - since) > 0; }

/* Whether new marks of the same levels as entry e may take its place: a bulk deletion
   has used e (its scope has been closed once; a later one of the same levels is taken as
   the newer), or a deletion from new marks would take just what one from e would (the
   thread has made no global since e, and its local count has not fallen since). Else e
   is an outer scope still open, and the two must not be told apart by their levels. */
static bool MayReplace(VMThread* thread, int e) {
  if (thread->GetMark(e, VMThread::MarkUsed) != 0) return true;
  return !After(thread->GetScalar(VMThread::LastGlobalStampWord), thread->GetMark(e, VMThread::MarkStamp)) &&
         thread->GetMark(e, VMThread::MarkLocalLow) == thread->GetMark(e, VMThread::MarkLocalLevel);
}

static void RememberMarks(VMThread* thread, const jint* marks, uint32_t stamp) {
  int e = FindMarks(thread, marks);
  if (e < 0) {
    e = (int)(thread->GetScalar(VMThread::NextMarkWord) % VMThread::MarkEntries);
    thread->SetScalar(VMThread::NextMarkWord, (uint32_t)(e + 1) % VMThread::MarkEntries);
    thread->SetMark(e, VMThread::MarkNameSpaceLevel, (uint32_t)marks[0]);
    thread->SetMark(e, VMThread::MarkMachineLevel, (uint32_t)marks[1]);
    thread->SetMark(e, VMThread::MarkLocalLevel, (uint32_t)marks[2]);
  }
  thread->SetMark(e, VMThread::MarkStamp, stamp);
  thread->SetMark(e, VMThread::MarkLocalLow, (uint32_t)marks[2]);
  thread->SetMark(e, VMThread::MarkUsed, 0);
}

/* Locals are appended, so those made after a mark are every one from the lowest count
   since the mark up. */
static void NoteLocalCount(VMThread* thread, uint32_t count) {
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
    if (thread->GetMark(e, VMThread::MarkLocalLow) > count) thread->SetMark(e, VMThread::MarkLocalLow, count);
}

void VMJniHandle::Delete(JNIEnv* env, jobject handle) {
  uint32_t index = (uint32_t)(uintptr_t)handle;
  // A member id stays for the life of its name space: the natives' cache and every
  // other holder share one id per member.
  if (index == 0 || env == NULL || (index & MemberIdTag) != 0) return;
  bool shared = (index & (NameSpaceGlobalTag | MachineGlobalTag)) != 0;
  VMObjectHandleArray* array = GetHandleArray(env, &index);
  if (array == NULL) return;
  if (!shared) {
    array->Delete(index);
    NoteLocalCount(env->thread, array->GetCount());
    return;
  }
  VMNameSpace* ns = NameSpaceOf(env);
  if (!LockShared(env, ns, array, NULL, true)) return;
  array->Delete(index);
  UnlockShared(ns);
}

/* ---- fill levels ---- */

bool VMJniHandle::GetHighWaterMarks(JNIEnv* env, jint* marks) {
  VMNameSpace* ns = NameSpaceOf(env);
  VM* vm = MachineOf(env);
  if (marks == NULL || ns == NULL || vm == NULL || env->thread == NULL) return false;
  VMObjectHandleArray* nsGlobals = ns->GetJNIHandleArray();
  VMObjectHandleArray* vmGlobals = vm->GetJNIHandleArray();
  VMThread* thread = env->thread;
  if (!LockShared(env, ns, nsGlobals, vmGlobals, true)) return false;
  marks[2] = (jint)thread->GetJNIHandleArray()->GetCount();
  // Inner marks of the same levels as outer ones still open (the thread made a global
  // into a hole, or its locals fell and rose again, in between) could not be told apart,
  // and a deletion from the outer ones would miss what came in between. The machine's
  // count then rises over an empty slot, free for the next global, until the levels
  // differ; with no room left without growing, the later marks take the place.
  for (uint32_t tries = 0;; tries++) {
    marks[0] = (jint)nsGlobals->GetCount();
    marks[1] = (jint)vmGlobals->GetCount();
    int e = FindMarks(thread, marks);
    if (e < 0 || MayReplace(thread, e) || tries == VMThread::MarkEntries || !vmGlobals->AppendEmpty()) break;
  }
  UnlockShared(ns);
  // Every global this thread made before has a stamp up to this one.
  RememberMarks(thread, marks, __atomic_load_n(&gStamps, __ATOMIC_RELAXED));
  return true;
}

static uint32_t Mark(jint mark) { return mark < 1 ? 1u : (uint32_t)mark; }

bool VMJniHandle::DeleteRefs(JNIEnv* env, const jint* marks, jint kind) {
  VMNameSpace* ns = NameSpaceOf(env);
  VM* vm = MachineOf(env);
  if (marks == NULL || ns == NULL || vm == NULL || env->thread == NULL) return false;
  VMThread* thread = env->thread;
  const int remembered = FindMarks(thread, marks);
  if (remembered >= 0 && (kind == 0 || kind == 1)) thread->SetMark(remembered, VMThread::MarkUsed, 1);
  if (kind == 0) {
    VMObjectHandleArray* locals = thread->GetJNIHandleArray();
    uint32_t first = Mark(marks[2]);
    if (remembered >= 0) first = Mark((jint)thread->GetMark(remembered, VMThread::MarkLocalLow));
    locals->Clear(first);
    NoteLocalCount(thread, locals->GetCount());
  } else if (kind == 1) {
    VMObjectHandleArray* nsGlobals = ns->GetJNIHandleArray();
    VMObjectHandleArray* vmGlobals = vm->GetJNIHandleArray();
    const bool bySince = remembered >= 0;
    const uint32_t since = bySince ? thread->GetMark(remembered, VMThread::MarkStamp) : 0;
    if (!LockShared(env, ns, nsGlobals, vmGlobals, true)) return false;
    // Only this thread's: another thread's handle above the marks stays its own, and
    // its slot is not handed out again.
    vmGlobals->ClearOwned(Mark(marks[1]), OwnerOf(env), bySince, since);
    nsGlobals->ClearOwned(Mark(marks[0]), OwnerOf(env), bySince, since);
    UnlockShared(ns);
  }
  return true;
}

/* ---- the env functions ---- */

/* A failed New*Ref leaves no exception of its own behind, and never takes away one that
   was pending before the call. */
static jobject NewRef(JNIEnv* env, jobject ref, bool global) {
  VMObject* object = VMJniHandle::UnHandle(env, ref);
  if (object == NULL || env->thread == NULL) return NULL;
  VMJavaLangThrowable* pending = env->thread->GetException();
  jobject made = global ? VMJniHandle::NewGlobal(env, object) : VMJniHandle::NewLocal(env, object);
  if (made == NULL) env->thread->SetException(pending);
  return made;
}

namespace VMJniEnv {

jobject NewGlobalRef(JNIEnv* env, jobject ref) { return NewRef(env, ref, true); }

jobject NewLocalRef(JNIEnv* env, jobject ref) { return NewRef(env, ref, false); }

void DeleteGlobalRef(JNIEnv* env, jobject ref) { VMJniHandle::Delete(env, ref); }

void DeleteLocalRef(JNIEnv* env, jobject ref) { VMJniHandle::Delete(env, ref); }

jboolean IsSameObject(JNIEnv* env, jobject ref1, jobject ref2) {
  return VMJniHandle::UnHandle(env, ref1) == VMJniHandle::UnHandle(env, ref2) ? 1 : 0;
}

jint EnsureLocalCapacity(JNIEnv*, jint) { return 0; }

}  // namespace VMJniEnv

namespace JNIEnvExtension {

jint GetHighWaterMarks(JNIEnv* env, jint* marks) { return VMJniHandle::GetHighWaterMarks(env, marks) ? 0 : -1; }

jint DeleteRefs(JNIEnv* env, const jint* marks, jint kind) {
  return VMJniHandle::DeleteRefs(env, marks, kind) ? 0 : -1;
}

}  // namespace JNIEnvExtension
