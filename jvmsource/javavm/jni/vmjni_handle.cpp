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
   It is kept once the thread has taken marks. When it is full, a compaction drops the
   entries whose slot no longer holds a global of the thread, and those of a slot with a
   newer entry: a slot is filled again only once it was emptied, so an older entry names a
   global gone, and the newest takes whatever it would have. The log then holds at most
   one entry per global the thread holds below remembered marks, and only doubles while
   more than half of it is live. The log is the thread's own: only the thread writes it.

   The log array starts with a table of twice as many words as it has room for entries:
   the compaction finds each slot's newest entry there. Entries start after it. */

/* Whether the thread has taken marks: the first entry is filled first, and stays. */
static bool KeepsMarks(VMThread* t) { return t->GetMark(0, VMThread::MarkLocalLevel) != 0; }

static uint32_t LogFirst(VMThread* t) { return t->GetScalar(VMThread::GlobalLogFirstWord); }
static uint32_t LogEnd(VMThread* t) { return t->GetScalar(VMThread::GlobalLogEndWord); }
static uint64_t LogStamp(VMintArray* log, uint32_t at) {
  return (uint32_t)log->Get(at + 1) | (uint64_t)(uint32_t)log->Get(at + 2) << 32;
}

/* A log with room for n entries (a power of two): the table's 2n words, then the entries'. */
static uint32_t LogWords(uint32_t n) { return (2 + VMThread::GlobalLogEntryWords) * n; }
static uint32_t LogBase(VMintArray* log) { return log->GetSize() / (2 + VMThread::GlobalLogEntryWords) * 2; }

static VMObjectHandleArray* LoggedArray(JNIEnv* env, uint32_t slot) {
  if (slot & VMThread::GlobalLogNameSpaceBit) return NameSpaceOf(env)->GetJNIHandleArray();
  return MachineOf(env)->GetJNIHandleArray();
}

/* Entries the compaction checks under one hold of the spin lock: another thread's global
   waits for a bounded part of the log, however large it is. */
static const uint32_t kCompactEntriesPerHold = 256;

/* Keeps the newest entry of each slot still holding a global of the thread, moved to the
   start. Finding the newest needs no lock (the log is the thread's own); the owners are
   read under the spin lock, the arrays not growing, a bounded number of entries at a
   time. Between the holds another thread may empty a slot of this thread's, never give
   it one: only the thread writes itself as a slot's owner. False when the host refuses
   the lock (the entries not checked then stay). */
static bool CompactLog(JNIEnv* env) {
  VMThread* thread = env->thread;
  VMintArray* log = thread->GetGlobalLog();
  const uint32_t base = LogBase(log);
  const uint32_t first = LogFirst(thread);
  const uint32_t end = LogEnd(thread);
  // Newest first, into the table (a power of two of words, at most half filled); an
  // older entry of a slot already there gets slot 0, which none has.
  uint32_t shift = 32;
  for (uint32_t n = base; n > 1; n >>= 1) shift--;
  for (uint32_t w = 0; w < base; w++) log->Set(w, 0);
  for (uint32_t at = end; at > first;) {
    at -= VMThread::GlobalLogEntryWords;
    const uint32_t slot = (uint32_t)log->Get(at);
    for (uint32_t h = (slot * 0x9E3779B1u) >> shift;; h = (h + 1) & (base - 1)) {
      const uint32_t there = (uint32_t)log->Get(h);
      if (there == 0) {
        log->Set(h, (int32_t)slot);
        break;
      }
      if (there == slot) {
        log->Set(at, 0);
        break;
      }
    }
  }
  const VMword owner = OwnerOf(env);
  bool locked = true;
  uint32_t to = base;
  for (uint32_t at = first; at < end;) {
    VMNameSpace* ns = NameSpaceOf(env);
    if (locked) locked = LockShared(env, ns, ns->GetJNIHandleArray(), MachineOf(env)->GetJNIHandleArray(), true);
    log = env->thread->GetGlobalLog();
    const uint32_t stop = end - at > kCompactEntriesPerHold * VMThread::GlobalLogEntryWords
                              ? at + kCompactEntriesPerHold * VMThread::GlobalLogEntryWords
                              : end;
    for (; at < stop; at += VMThread::GlobalLogEntryWords) {
      const uint32_t slot = (uint32_t)log->Get(at);
      if (slot == 0) continue;
      if (locked && !LoggedArray(env, slot)->IsOwnedBy(slot & ~VMThread::GlobalLogNameSpaceBit, owner)) continue;
      for (uint32_t w = 0; w < VMThread::GlobalLogEntryWords; w++) log->Set(to + w, log->Get(at + w));
      to += VMThread::GlobalLogEntryWords;
    }
    if (locked) UnlockShared(ns);
  }
  thread = env->thread;
  thread->SetScalar(VMThread::GlobalLogFirstWord, base);
  thread->SetScalar(VMThread::GlobalLogEndWord, to);
  return locked;
}

/* Makes room in a full log (or the first one): compaction comes first; the log doubles
   while more than half of it is live, so that each global costs the log a bounded share
   of work, and shrinks to four times what is live when a sixteenth or less is: a thread
   that once held many globals below its marks and now holds few keeps a log the size of
   what it holds, not of what it held. Out of line: every global passes MakeLogRoom. */
__attribute__((noinline, cold)) static bool GrowLog(JNIEnv* env) {
  VMThread* thread = env->thread;
  VMintArray* log = thread->GetGlobalLog();
  const uint32_t size = log != NULL ? log->GetSize() : 0;
  const uint32_t room = log != NULL ? (size - LogBase(log)) / VMThread::GlobalLogEntryWords : 0;
  uint32_t want = room < 16 ? 16 : 2 * room;
  if (log != NULL) {
    if (!CompactLog(env)) return false;
    thread = env->thread;
    const uint32_t held = (LogEnd(thread) - LogFirst(thread)) / VMThread::GlobalLogEntryWords;
    if (held <= room / 2) {
      if (room <= 64 || held > room / 16) return true;
      want = 16;
      while (want < 4 * held) want *= 2;
    }
  }
  HHeap* heap = MachineOf(env)->GetHeap();
  VMintArray* more =
      want != room ? VMintArray::CreateInstance(heap, LogWords(want), jallocFailFast, VMTag_VMintArray) : NULL;
  thread = env->thread;
  log = thread->GetGlobalLog();
  if (more == NULL) return log != NULL && LogEnd(thread) + VMThread::GlobalLogEntryWords <= log->GetSize();
  const uint32_t base = LogBase(more);
  const uint32_t live = log != NULL ? LogEnd(thread) - LogFirst(thread) : 0;
  if (log != NULL) {
    more->Copy(log, LogFirst(thread), base, live);
    log->VMObject::Destroy(heap);
  }
  thread->SetGlobalLog(more);
  thread->SetScalar(VMThread::GlobalLogFirstWord, base);
  thread->SetScalar(VMThread::GlobalLogEndWord, base + live);
  return true;
}

/* Makes room in the calling thread's log for one more entry before a global is made:
   the entry is written under the spin lock, where nothing may be allocated. False when
   the heap refuses the room. */
__attribute__((always_inline)) static inline bool MakeLogRoom(JNIEnv* env) {
  VMThread* thread = env->thread;
  if (thread == NULL || !KeepsMarks(thread)) return true;
  VMintArray* log = thread->GetGlobalLog();
  if (log != NULL && LogEnd(thread) + VMThread::GlobalLogEntryWords <= log->GetSize()) return true;
  return GrowLog(env);
}

/* Whether slot index of the array lies below the levels of some marks the thread
   remembers. Entries are filled from the first. */
__attribute__((always_inline)) static inline bool BelowMarks(VMThread* thread, bool nameSpace, uint32_t index) {
  const uint32_t field = nameSpace ? VMThread::MarkNameSpaceLevel : VMThread::MarkMachineLevel;
  for (uint32_t e = 0; e < VMThread::MarkEntries && thread->GetMark(e, VMThread::MarkLocalLevel) != 0; e++)
    if (index < thread->GetMark(e, field)) return true;
  return false;
}

/* Counts a global the calling thread made in slot index of the name space's array or
   the machine's, and logs it when the slot lies below some marks and the thread keeps
   its log (MakeLogRoom made the room). In line: every global passes here. */
__attribute__((always_inline)) static inline void NoteGlobalMade(VMThread* thread, bool nameSpace, uint32_t index) {
  if (thread == NULL) return;
  const uint64_t stamp = thread->GetGlobalStamp() + 1;
  thread->SetGlobalStamp(stamp);
  if (!BelowMarks(thread, nameSpace, index)) return;
  VMintArray* log = thread->GetGlobalLog();
  const uint32_t end = LogEnd(thread);
  if (log == NULL || end + VMThread::GlobalLogEntryWords > log->GetSize()) return;
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
    if (index != 0 && owned) NoteGlobalMade(env->thread, array == ns->GetJNIHandleArray(), index);
    UnlockShared(ns);
    return index;
  }
  // Growth: no allocation under the spin lock.
  if (!GrowShared(env, ns, array, index, owned, object, owner)) return 0;
  if (owned) NoteGlobalMade(env->thread, array == ns->GetJNIHandleArray(), index);
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
   and how low its local count has fallen since. Marks it no longer remembers delete by
   position only, and so do another thread's, unless they read the same as marks of the
   caller's own: nothing in three fill levels tells whose they are, and taking marks
   writes nothing another thread reads. The record is the thread's own: only the thread
   reads or writes it.

   Brackets inside brackets may read the same levels. Marks taken again while nothing was
   made since those of the same levels (the thread made no global, its local count did
   not fall) count one more open on their entry, once for each kind of deletion; a
   deletion of a kind closes the newest entry of its levels still open for that kind. Marks
   taken after something was made, while an entry of their levels is open, are set apart
   from it (the local count moves over empty slots) and go to an entry of their own, so
   an outer bracket still open keeps the stamp and local low it was taken with, whichever
   kinds of deletion the inner one uses. */

static uint32_t Opens(VMThread* thread, uint32_t e, uint32_t kind) {
  const uint32_t opens = thread->GetMark(e, VMThread::MarkOpens);
  return (kind == VMThread::MarkOpenLocals ? opens >> 16 : opens) & VMThread::MarkOpensMask;
}

/* Closed by a deletion of either kind: the scope has been left once, and later marks of
   the same levels are taken as the newer. */
static bool Closed(VMThread* thread, uint32_t e) {
  return Opens(thread, e, VMThread::MarkOpenGlobals) == 0 || Opens(thread, e, VMThread::MarkOpenLocals) == 0;
}

/* The newest entry of these levels still open for a deletion of kind (MarkOpenGlobals or
   MarkOpenLocals; 0 for none), else the newest of these levels (marks used again); -1
   when the thread remembers none. Entries are filled from the first. */
__attribute__((always_inline)) static inline int FindMarks(VMThread* thread, const jint* marks, uint32_t kind) {
  // Ranked by age, those open for kind before the rest.
  int best = -1;
  uint32_t bestRank = 2 * VMThread::MarkEntries;
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++) {
    const uint32_t local = thread->GetMark(e, VMThread::MarkLocalLevel);
    if (local == 0) break;
    if (local != (uint32_t)marks[2] || thread->GetMark(e, VMThread::MarkMachineLevel) != (uint32_t)marks[1] ||
        thread->GetMark(e, VMThread::MarkNameSpaceLevel) != (uint32_t)marks[0])
      continue;
    const bool open = kind != 0 && Opens(thread, e, kind) != 0;
    const uint32_t rank = thread->GetMark(e, VMThread::MarkAge) + (open ? 0u : (uint32_t)VMThread::MarkEntries);
    if (rank < bestRank) {
      best = (int)e;
      bestRank = rank;
    }
  }
  return best;
}

/* Whether a deletion from new marks would take just what one from entry e takes: the
   thread has made no global since e, and its local count has not fallen since. */
static bool NothingMadeSince(VMThread* thread, uint32_t e) {
  return thread->GetGlobalStamp() == thread->GetMarkStamp(e) &&
         thread->GetMark(e, VMThread::MarkLocalLow) == thread->GetMark(e, VMThread::MarkLocalLevel);
}

/* The entry new marks go to when none of their levels may take them: an empty one, else
   the oldest closed, else the oldest. An outer scope still open thus outlives any number
   of closed inner ones. */
static uint32_t FreeEntry(VMThread* thread) {
  uint32_t best = 0;
  uint32_t bestRank = 0;
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++) {
    if (thread->GetMark(e, VMThread::MarkLocalLevel) == 0) return e;
    const uint32_t rank = thread->GetMark(e, VMThread::MarkAge) + (Closed(thread, e) ? (uint32_t)VMThread::MarkEntries : 0u);
    if (rank >= bestRank) {
      best = e;
      bestRank = rank;
    }
  }
  return best;
}

/* Makes entry e the newest: the others filled before it grow older by one. */
static void MakeNewest(VMThread* thread, uint32_t e) {
  const bool filled = thread->GetMark(e, VMThread::MarkLocalLevel) != 0;
  const uint32_t age = filled ? thread->GetMark(e, VMThread::MarkAge) : (uint32_t)VMThread::MarkEntries;
  if (age == 0) return;
  for (uint32_t f = 0; f < VMThread::MarkEntries; f++)
    if (f != e && thread->GetMark(f, VMThread::MarkLocalLevel) != 0 && thread->GetMark(f, VMThread::MarkAge) < age)
      thread->SetMark(f, VMThread::MarkAge, thread->GetMark(f, VMThread::MarkAge) + 1);
  thread->SetMark(e, VMThread::MarkAge, 0);
}

/* Locals are appended, so those made after a mark are every one from the lowest count
   since the mark up. */
static void NoteLocalCount(VMThread* thread, uint32_t count) {
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
    if (thread->GetMark(e, VMThread::MarkLocalLow) > count) thread->SetMark(e, VMThread::MarkLocalLow, count);
}

/* Whether new marks reading as entry e would be taken for e's: e is open and something
   was made since it. */
static bool Taken(VMThread* thread, int e) {
  return e >= 0 && !Closed(thread, (uint32_t)e) && !NothingMadeSince(thread, (uint32_t)e);
}

/* Marks of the same levels as an open bracket, taken after something was made since it,
   would be taken for its marks by the deletion of the kind the inner bracket does not
   close (with the inner bracket's stamp or local low). The thread's own local count moves
   over empty slots at its top to the lowest level that no such bracket reads: down over
   those already empty, else up over new ones. Of any MarkEntries + 1 levels one is free,
   so brackets left open do not pile slots up. Returns the entry of the marks' levels, as
   FindMarks; out of memory, the marks stay as read. */
static int SetApart(VMThread* thread, jint* marks, int same) {
  VMObjectHandleArray* locals = thread->GetJNIHandleArray();
  const uint32_t count = locals->GetCount();
  uint32_t level = count;
  while (level > 1 && count - level < VMThread::MarkEntries && locals->Get(level - 1) == NULL) level--;
  for (;; level++) {
    marks[2] = (jint)level;
    const int found = level == count ? same : FindMarks(thread, marks, 0);
    if (!Taken(thread, found)) {
      same = found;
      break;
    }
  }
  if (level < count) {
    // As a deletion of the top local would: the count falls over empty slots.
    locals->Clear(level);
    NoteLocalCount(thread, level);
    return same;
  }
  while (locals->GetCount() < level)
    if (locals->AddAt(locals->GetCount(), NULL) != VMStatus_OK) {
      marks[2] = (jint)count;
      return FindMarks(thread, marks, 0);
    }
  return same;
}

static void RememberMarks(VMThread* thread, jint* marks) {
  int same = FindMarks(thread, marks, 0);
  if (Taken(thread, same)) same = SetApart(thread, marks, same);
  if (same >= 0 && !Closed(thread, (uint32_t)same) && NothingMadeSince(thread, (uint32_t)same)) {
    const uint32_t e = (uint32_t)same;
    uint32_t opens = thread->GetMark(e, VMThread::MarkOpens);
    if (Opens(thread, e, VMThread::MarkOpenGlobals) < VMThread::MarkOpensMask) opens += VMThread::MarkOpenGlobals;
    if (Opens(thread, e, VMThread::MarkOpenLocals) < VMThread::MarkOpensMask) opens += VMThread::MarkOpenLocals;
    thread->SetMark(e, VMThread::MarkOpens, opens);
    MakeNewest(thread, e);
    return;
  }
  const uint32_t e = same >= 0 && Closed(thread, (uint32_t)same) ? (uint32_t)same : FreeEntry(thread);
  if (e != (uint32_t)same || thread->GetMark(e, VMThread::MarkAge) != 0) MakeNewest(thread, e);
  thread->SetMark(e, VMThread::MarkNameSpaceLevel, (uint32_t)marks[0]);
  thread->SetMark(e, VMThread::MarkMachineLevel, (uint32_t)marks[1]);
  thread->SetMark(e, VMThread::MarkLocalLevel, (uint32_t)marks[2]);
  // Every global this thread made before has a stamp up to this one.
  thread->SetMarkStamp(e, thread->GetGlobalStamp());
  thread->SetMark(e, VMThread::MarkLocalLow, (uint32_t)marks[2]);
  thread->SetMark(e, VMThread::MarkOpens, VMThread::MarkOpenGlobals | VMThread::MarkOpenLocals);
}

/* A deletion of kind closes one open of entry e. */
__attribute__((always_inline)) static inline void CloseOnce(VMThread* thread, int e, uint32_t kind) {
  if (e < 0 || Opens(thread, (uint32_t)e, kind) == 0) return;
  thread->SetMark((uint32_t)e, VMThread::MarkOpens, thread->GetMark((uint32_t)e, VMThread::MarkOpens) - kind);
}

/* Drops the log entries of globals made before every remembered marks: no deletion
   asks for them. */
static void TrimLog(VMThread* thread) {
  VMintArray* log = thread->GetGlobalLog();
  if (log == NULL || LogEnd(thread) == LogFirst(thread)) return;
  uint64_t oldest = thread->GetGlobalStamp();
  for (uint32_t e = 0; e < VMThread::MarkEntries; e++)
    if (thread->GetMark(e, VMThread::MarkLocalLevel) != 0 && thread->GetMarkStamp(e) < oldest)
      oldest = thread->GetMarkStamp(e);
  uint32_t first = LogFirst(thread);
  while (first < LogEnd(thread) && LogStamp(log, first) <= oldest) first += VMThread::GlobalLogEntryWords;
  if (first == LogEnd(thread)) {
    first = LogBase(log);
    thread->SetScalar(VMThread::GlobalLogEndWord, first);
  }
  thread->SetScalar(VMThread::GlobalLogFirstWord, first);
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
  // An emptied slot names nobody: the next maker fills it before writing itself as owner,
  // and its global must not read meanwhile as this one's maker's.
  array->SetOwner(index, 0);
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
  marks[0] = (jint)nsGlobals->GetCount();
  marks[1] = (jint)vmGlobals->GetCount();
  UnlockShared(ns);
  marks[2] = (jint)thread->GetJNIHandleArray()->GetCount();
  RememberMarks(thread, marks);
  TrimLog(thread);
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
    const int remembered = FindMarks(thread, marks, VMThread::MarkOpenLocals);
    CloseOnce(thread, remembered, VMThread::MarkOpenLocals);
    VMObjectHandleArray* locals = thread->GetJNIHandleArray();
    uint32_t first = Mark(marks[2]);
    if (remembered >= 0) first = Mark((jint)thread->GetMark(remembered, VMThread::MarkLocalLow));
    locals->Clear(first);
    NoteLocalCount(thread, locals->GetCount());
  } else if (kind == 1) {
    VMObjectHandleArray* nsGlobals = ns->GetJNIHandleArray();
    VMObjectHandleArray* vmGlobals = vm->GetJNIHandleArray();
    const int remembered = FindMarks(thread, marks, VMThread::MarkOpenGlobals);
    if (!LockShared(env, ns, nsGlobals, vmGlobals, true)) return false;
    if (remembered >= 0) ClearLoggedSince(env, thread, thread->GetMarkStamp((uint32_t)remembered), marks);
    CloseOnce(thread, remembered, VMThread::MarkOpenGlobals);
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
