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

/* Grows a shared array to hold index with the spin lock given up: the growing flag keeps
   every other writer out meanwhile, and the waiters are woken after. With object, the
   slot gets it and owner. Called with the lock held; returns without it. False when the
   heap refuses. */
static bool GrowShared(JNIEnv* env, VMNameSpace* ns, VMObjectHandleArray* array, uint32_t index, bool owned,
                       VMObject* object, VMword owner) {
  array->SetIsbeingAllocated();
  UnlockShared(ns);
  bool grown = array->GrowKeepingOld(index, owned) == VMStatus_OK;
  if (grown && object != NULL) {
    array->GetArray()->Set(index, object);
    array->SetOwner(index, owner);
  }
  // The flag is cleared even when the host refuses the lock: waiters must not wait for
  // good. Nothing else writes the array while the flag is set.
  bool locked = VMUtils::P_SpinLock(ns->GetSpinLock(), kLockTag) != 0;
  array->ClearIsbeingAllocated();
  if (locked) UnlockShared(ns);
  NotifyGrowthDone(env, ns);
  return grown;
}

/* ---- the log of a thread's globals ----

   A bulk deletion from marks the thread remembers takes every global the thread made
   since, wherever its slot lies. Those from the marks up are found by position; those put
   into a slot freed below the marks, in the thread's log, newest last. So a deletion
   reads what was made since the marks and nothing else, and the log holds only globals
   that went below the levels of some remembered marks (a hole), since the oldest of them.
   It is kept once the thread has taken marks; an entry whose global has gone stays until
   the log is full, when such entries are dropped (a slot still holding a global of the
   thread, made at or after the entry, is as new as the entry). The log is the thread's
   own: only the thread writes it. */

/* Whether the thread has taken marks: the first entry is filled first, and stays. */
static bool KeepsMarks(VMThread* t) { return t->GetMark(0, VMThread::MarkLocalLevel) != 0; }

static uint32_t LogFirst(VMThread* t) { return t->GetScalar(VMThread::GlobalLogFirstWord); }
static uint32_t LogEnd(VMThread* t) { return t->GetScalar(VMThread::GlobalLogEndWord); }
static uint64_t LogStamp(VMintArray* log, uint32_t at) {
  return (uint32_t)log->Get(at + 1) | (uint64_t)(uint32_t)log->Get(at + 2) << 32;
}

static VMObjectHandleArray* LoggedArray(JNIEnv* env, uint32_t slot) {
  if (slot & VMThread::GlobalLogNameSpaceBit) return NameSpaceOf(env)->GetJNIHandleArray();
  return MachineOf(env)->GetJNIHandleArray();
}

/* Keeps the entries whose slot still holds a global of the thread, from the log's start.
   Under the spin lock, the arrays not growing. */
static void CompactLog(JNIEnv* env, VMThread* thread, VMintArray* log) {
  const VMword owner = OwnerOf(env);
  uint32_t to = 0;
  for (uint32_t at = LogFirst(thread); at < LogEnd(thread); at += VMThread::GlobalLogEntryWords) {
    uint32_t slot = (uint32_t)log->Get(at);
    if (!LoggedArray(env, slot)->IsOwnedBy(slot & ~VMThread::GlobalLogNameSpaceBit, owner)) continue;
    for (uint32_t w = 0; w < VMThread::GlobalLogEntryWords; w++) log->Set(to + w, log->Get(at + w));
    to += VMThread::GlobalLogEntryWords;
  }
  thread->SetScalar(VMThread::GlobalLogFirstWord, 0);
  thread->SetScalar(VMThread::GlobalLogEndWord, to);
}

/* Makes room in the calling thread's log for one more entry before a global is made:
   the entry is written under the spin lock, where nothing may be allocated. Dropping
   the entries of globals gone comes first; the log doubles while more than half of it
   is live, so that each global costs the log a bounded share of work. False when the
   heap refuses the room. */
static bool MakeLogRoom(JNIEnv* env) {
  VMThread* thread = env->thread;
  if (thread == NULL || !KeepsMarks(thread)) return true;
  VMintArray* log = thread->GetGlobalLog();
  const uint32_t size = log != NULL ? log->GetSize() : 0;
  if (LogEnd(thread) + VMThread::GlobalLogEntryWords <= size) return true;
  if (log != NULL) {
    VMNameSpace* ns = NameSpaceOf(env);
    if (!LockShared(env, ns, ns->GetJNIHandleArray(), MachineOf(env)->GetJNIHandleArray(), true)) return false;
    CompactLog(env, thread, log);
    UnlockShared(ns);
    if (LogEnd(thread) + VMThread::GlobalLogEntryWords <= size / 2) return true;
  }
  const uint32_t want = size < 16 * VMThread::GlobalLogEntryWords ? 16 * VMThread::GlobalLogEntryWords : 2 * size;
  HHeap* heap = MachineOf(env)->GetHeap();
  VMintArray* more = want > size ? VMintArray::CreateInstance(heap, want, jallocFailFast, VMTag_VMintArray) : NULL;
  if (more == NULL) return LogEnd(thread) + VMThread::GlobalLogEntryWords <= size;
  if (log != NULL) {
    more->Copy(log, 0, 0, LogEnd(thread));
    log->VMObject::Destroy(heap);
  }
  thread->SetGlobalLog(more);
  return true;
}

/* Whether slot index of the array lies below the levels of some marks the thread
   remembers. */
static bool BelowMarks(VMThread* thread, bool nameSpace, uint32_t index) {
  const uint32_t field = nameSpace ? VMThread::MarkNameSpaceLevel : VMThread::MarkMachineLevel;
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
    if (index < thread->GetMark(e, field)) return true;
  return false;
}

/* Counts a global the calling thread made in slot index, and logs it when the thread
   keeps its log (MakeLogRoom made the room) and the slot lies below some marks. */
static void NoteGlobalMade(JNIEnv* env, VMObjectHandleArray* array, uint32_t index) {
  VMThread* thread = env->thread;
  if (thread == NULL) return;
  const uint64_t stamp = thread->GetGlobalStamp() + 1;
  thread->SetGlobalStamp(stamp);
  VMintArray* log = thread->GetGlobalLog();
  const uint32_t end = LogEnd(thread);
  const bool nameSpace = array == NameSpaceOf(env)->GetJNIHandleArray();
  if (!KeepsMarks(thread) || log == NULL || end + VMThread::GlobalLogEntryWords > log->GetSize() ||
      !BelowMarks(thread, nameSpace, index))
    return;
  log->Set(end, (int32_t)(index | (nameSpace ? (uint32_t)VMThread::GlobalLogNameSpaceBit : 0u)));
  log->Set(end + 1, (int32_t)(uint32_t)stamp);
  log->Set(end + 2, (int32_t)(uint32_t)(stamp >> 32));
  thread->SetScalar(VMThread::GlobalLogEndWord, end + VMThread::GlobalLogEntryWords);
}

/* Puts object into a shared array: its existing slot when unique and already there,
   else the lowest empty slot, else a new one at the end. 0 on failure. Globals (not
   unique) record their maker, and are counted in the maker's thread. */
static uint32_t AddShared(JNIEnv* env, VMObjectHandleArray* array, VMObject* object, bool unique) {
  VMNameSpace* ns = NameSpaceOf(env);
  if (ns == NULL || array == NULL) return 0;
  const bool owned = !unique;
  if (owned && !MakeLogRoom(env)) return 0;
  if (!LockShared(env, ns, array, NULL, true)) return 0;
  if (unique) {
    uint32_t found = array->Find(object);
    if (found != 0) {
      UnlockShared(ns);
      return found;
    }
  }
  const VMword owner = OwnerOf(env);
  uint32_t index = array->FindFree();
  if (index == 0) index = array->GetCount();
  if (index < array->GetArray()->GetSize() && (!owned || array->HasOwnerRoom(index))) {
    index = array->AddAt(index, object) == VMStatus_OK ? index : 0;
    if (index != 0) array->SetOwner(index, owner);
    if (index != 0 && owned) NoteGlobalMade(env, array, index);
    UnlockShared(ns);
    return index;
  }
  // Growth: no allocation under the spin lock.
  if (!GrowShared(env, ns, array, index, owned, object, owner)) return 0;
  if (owned) NoteGlobalMade(env, array, index);
  return index;
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

void VMJniHandle::AdvanceStamps(JNIEnv* env, uint64_t n) {
  if (env != NULL && env->thread != NULL) env->thread->SetGlobalStamp(env->thread->GetGlobalStamp() + n);
}

/* ---- the thread's remembered marks ---- */

/* A mark is only the fill levels, and the levels come round again: a global may be put
   into a slot freed below them, and the local count falls below them when the newest
   locals are deleted. So the thread remembers its latest marks with when they were taken
   and how low its local count has fallen since. Marks it no longer remembers (or another
   thread's) delete by position only. The levels of an entry are written under the spin
   lock, so that other threads' marks may be kept apart from them (TakenByAnother). */

static bool SameLevels(VMThread* thread, uint32_t e, const jint* marks) {
  return thread->GetMark(e, VMThread::MarkLocalLevel) != 0 &&
         thread->GetMark(e, VMThread::MarkNameSpaceLevel) == (uint32_t)marks[0] &&
         thread->GetMark(e, VMThread::MarkMachineLevel) == (uint32_t)marks[1] &&
         thread->GetMark(e, VMThread::MarkLocalLevel) == (uint32_t)marks[2];
}

static int FindMarks(VMThread* thread, const jint* marks) {
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
    if (SameLevels(thread, e, marks)) return (int)e;
  return -1;
}

/* Whether another thread of the machine remembers marks of these levels: handed to it,
   marks of the caller's would read as its own. The threads' records are read under the
   spin lock, the threads array's lock as well. */
static bool TakenByAnother(VM* vm, VMThread* self, const jint* marks) {
  VMThreadHandleArray* threads = vm->GetThreads();
  if (threads == NULL) return false;
  for (uint32_t i = 1; i < threads->GetCount(); i++) {
    VMThread* other = threads->Get(i);
    if (other == NULL || other == self || !KeepsMarks(other)) continue;
    for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
      if (SameLevels(other, e, marks)) return true;
  }
  return false;
}

/* Whether new marks of the same levels as entry e may take its place: a bulk deletion
   has used e (its scope has been closed once; a later one of the same levels is taken as
   the newer), or a deletion from new marks would take just what one from e would (the
   thread has made no global since e, and its local count has not fallen since). Else e
   is an outer scope still open, and the two must not be told apart by their levels. */
static bool MayReplace(VMThread* thread, int e) {
  if (thread->GetMark(e, VMThread::MarkUsed) != 0) return true;
  return thread->GetGlobalStamp() == thread->GetMarkStamp(e) &&
         thread->GetMark(e, VMThread::MarkLocalLow) == thread->GetMark(e, VMThread::MarkLocalLevel);
}

/* The entry new marks go to: the one of the same levels, else an empty one, else the
   oldest a deletion has used (its scope closed), else the oldest. An outer scope still
   open thus outlives any number of closed inner ones. */
static uint32_t EntryFor(VMThread* thread, const jint* marks) {
  int same = FindMarks(thread, marks);
  if (same >= 0) return (uint32_t)same;
  uint32_t best = 0;
  uint32_t bestRank = 0;
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++) {
    if (thread->GetMark(e, VMThread::MarkLocalLevel) == 0) return e;
    const bool used = thread->GetMark(e, VMThread::MarkUsed) != 0;
    const uint32_t rank = thread->GetMark(e, VMThread::MarkAge) + (used ? (uint32_t)VMThread::MarkEntries : 0u);
    if (rank >= bestRank) {
      best = e;
      bestRank = rank;
    }
  }
  return best;
}

static void RememberMarks(VMThread* thread, const jint* marks) {
  const uint32_t e = EntryFor(thread, marks);
  // The others filled before e grow older by one; e is the newest.
  const bool filled = thread->GetMark(e, VMThread::MarkLocalLevel) != 0;
  const uint32_t age = filled ? thread->GetMark(e, VMThread::MarkAge) : (uint32_t)VMThread::MarkEntries;
  for (uint32_t f = 0; f < VMThread::MarkEntries; f++)
    if (f != e && thread->GetMark(f, VMThread::MarkLocalLevel) != 0 && thread->GetMark(f, VMThread::MarkAge) < age)
      thread->SetMark(f, VMThread::MarkAge, thread->GetMark(f, VMThread::MarkAge) + 1);
  thread->SetMark(e, VMThread::MarkAge, 0);
  thread->SetMark(e, VMThread::MarkNameSpaceLevel, (uint32_t)marks[0]);
  thread->SetMark(e, VMThread::MarkMachineLevel, (uint32_t)marks[1]);
  thread->SetMark(e, VMThread::MarkLocalLevel, (uint32_t)marks[2]);
  // Every global this thread made before has a stamp up to this one.
  thread->SetMarkStamp(e, thread->GetGlobalStamp());
  thread->SetMark(e, VMThread::MarkLocalLow, (uint32_t)marks[2]);
  thread->SetMark(e, VMThread::MarkUsed, 0);
}

/* Drops the log entries of globals made before every remembered marks: no deletion
   asks for them. */
static void TrimLog(VMThread* thread) {
  VMintArray* log = thread->GetGlobalLog();
  if (log == NULL) return;
  uint64_t oldest = thread->GetGlobalStamp();
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
    if (thread->GetMark(e, VMThread::MarkLocalLevel) != 0 && thread->GetMarkStamp(e) < oldest)
      oldest = thread->GetMarkStamp(e);
  uint32_t first = LogFirst(thread);
  while (first < LogEnd(thread) && LogStamp(log, first) <= oldest) first += VMThread::GlobalLogEntryWords;
  if (first == LogEnd(thread)) {
    first = 0;
    thread->SetScalar(VMThread::GlobalLogEndWord, 0);
  }
  thread->SetScalar(VMThread::GlobalLogFirstWord, first);
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
  // Marks of the same levels as others the machine must tell apart from them (an outer
  // scope of the thread's own still open, when it made a global into a hole or its
  // locals fell and rose again in between; any marks another thread remembers) raise
  // the machine's count over an empty slot, free for the next global, until the levels
  // differ. Each raise passes a level some entry holds, so the raises end; a refused
  // heap ends them early, and the later marks then take the place of the thread's own.
  VMThreadHandleArray* threads = vm->GetThreads();
  const uint32_t entries = (threads != NULL ? threads->GetCount() + 1 : 2) * VMThread::MarkEntries;
  for (uint32_t tries = 0;; tries++) {
    marks[0] = (jint)nsGlobals->GetCount();
    marks[1] = (jint)vmGlobals->GetCount();
    int e = FindMarks(thread, marks);
    bool apart = (e < 0 || MayReplace(thread, e)) && !TakenByAnother(vm, thread, marks);
    if (apart || tries > entries) break;
    if (vmGlobals->AppendEmpty()) continue;
    const uint32_t count = vmGlobals->GetCount();
    bool grown = GrowShared(env, ns, vmGlobals, count, true, NULL, 0);
    if (!LockShared(env, ns, nsGlobals, vmGlobals, true)) return false;
    if (!grown) break;
  }
  RememberMarks(thread, marks);
  TrimLog(thread);
  UnlockShared(ns);
  return true;
}

static uint32_t Mark(jint mark) { return mark < 1 ? 1u : (uint32_t)mark; }

/* Empties the slots below the marks of the globals the calling thread logged after stamp
   since (those from the marks up go by position), and drops their entries. Under the
   spin lock. */
static void ClearLoggedSince(JNIEnv* env, VMThread* thread, uint64_t since, const jint* marks) {
  VMintArray* log = thread->GetGlobalLog();
  if (log == NULL) return;
  const VMword owner = OwnerOf(env);
  uint32_t end = LogEnd(thread);
  while (end > LogFirst(thread) && LogStamp(log, end - VMThread::GlobalLogEntryWords) > since) {
    end -= VMThread::GlobalLogEntryWords;
    const uint32_t slot = (uint32_t)log->Get(end);
    const bool nameSpace = (slot & VMThread::GlobalLogNameSpaceBit) != 0;
    const uint32_t index = slot & ~VMThread::GlobalLogNameSpaceBit;
    if (index < Mark(marks[nameSpace ? 0 : 1])) LoggedArray(env, slot)->ClearIfOwned(index, owner);
  }
  thread->SetScalar(VMThread::GlobalLogEndWord, end);
}

bool VMJniHandle::DeleteRefs(JNIEnv* env, const jint* marks, jint kind) {
  VMNameSpace* ns = NameSpaceOf(env);
  VM* vm = MachineOf(env);
  if (marks == NULL || ns == NULL || vm == NULL || env->thread == NULL) return false;
  VMThread* thread = env->thread;
  if (kind == 0) {
    const int remembered = FindMarks(thread, marks);
    if (remembered >= 0) thread->SetMark(remembered, VMThread::MarkUsed, 1);
    VMObjectHandleArray* locals = thread->GetJNIHandleArray();
    uint32_t first = Mark(marks[2]);
    if (remembered >= 0) first = Mark((jint)thread->GetMark(remembered, VMThread::MarkLocalLow));
    locals->Clear(first);
    NoteLocalCount(thread, locals->GetCount());
  } else if (kind == 1) {
    VMObjectHandleArray* nsGlobals = ns->GetJNIHandleArray();
    VMObjectHandleArray* vmGlobals = vm->GetJNIHandleArray();
    if (!LockShared(env, ns, nsGlobals, vmGlobals, true)) return false;
    const int remembered = FindMarks(thread, marks);
    if (remembered >= 0) {
      thread->SetMark(remembered, VMThread::MarkUsed, 1);
      ClearLoggedSince(env, thread, thread->GetMarkStamp(remembered), marks);
    }
    // Only this thread's: another thread's handle above the marks stays its own, and
    // its slot is not handed out again.
    vmGlobals->ClearOwned(Mark(marks[1]), OwnerOf(env));
    nsGlobals->ClearOwned(Mark(marks[0]), OwnerOf(env));
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
