/* One Java virtual machine inside the host process: its own heap, its attached threads,
   the static data of its classes, its global references, its debugger agent, its files
   to delete at exit and a pre-made OutOfMemoryError. Several machines may share one
   name space. */
#ifndef PUX_VM_H
#define PUX_VM_H

#include "vmobject.h"
#include "vmstatus.h"

class VM : public VMInternalObject {
 public:
  /* Words 16 and up are the collector's own, beyond the record the rest of the machine
     reads: threads attaching while a collection may start (each counts as running until
     it is in the thread array), how many collections ran, how many were claimed (a
     parked thread tells one collection from the next by it), and, after a drop of the
     records of ended threads failed, the length the thread array must reach before the
     next is tried (0 when none failed), and the objects whose finalizers fell due and
     have not been taken by a finalizer pass yet (chained through their queue words,
     oldest first; VM::RunFinalizersDue), the identity of the thread whose pass runs (0
     when none does), how many finalizers passes have begun, and the slot of a thread
     that the last failed drop of ended records found running (0 for none): no drop is
     tried while it stays out of reach (ManyEndedThreads). Then the finalizer thread's
     state (FinalizerState), how many objects have joined the due list and how many of
     them the finalizer thread (or a pass) has finished, how many threads wait for it,
     and the record and Thread object made for it at the machine's creation, until it
     takes them (a full heap cannot refuse them then), and the done count at which the
     earliest of its waiters is to be woken (0 for none), and the millisecond clock's low
     word when the last finalizer began. */
  enum { Words = 32, RefMask = 0x30106CFE };
  enum {
    HEAP_WORD = 0,
    ThreadsWord = 1,
    FilesToBeDeletedWord = 2,
    StaticDataArrayWord = 3,
    JNIHandleArrayWord = 4,
    DebuggerWord = 5,
    NAME_SPACE_WORD = 6,
    SystemThreadGroupWord = 7,
    DefaultStackSizeWord = 8,
    JVMWord = 9,
    ObjectsToDestroyWord = 10,
    RefObjectsToHandleWord = 11,
    ThreadDoingGCWord = 12,
    DeadDebuggersWord = 13,
    OutOfMemoryErrorWord = 14,
    FlagsWord = 15,
    AttachingWord = 16,
    CollectionsWord = 17,
    ClaimsWord = 18,
    EndedDropWord = 19,
    FinalizersDueWord = 20,
    FinalizerPassWord = 21,
    FinalizersBegunWord = 22,
    EndedDropHeldWord = 23,
    FinalizerStateWord = 24,
    FinalizersQueuedWord = 25,
    FinalizersDoneWord = 26,
    FinalizerWaitersWord = 27,
    FinalizerRecordWord = 28,
    FinalizerObjectWord = 29,
    FinalizerWakeAtWord = 30,
    FinalizerBegunAtWord = 31
  };
  /* The finalizer thread's life: none made yet (its record may be ready); its host thread
     asked for; attached and serving; refused (by the host, or its record could not be
     made): finalizer passes on the machine's threads run instead; asked to end. */
  enum FinalizerState : uint32_t {
    FinalizerNone = 0,
    FinalizerStarting = 1,
    FinalizerRunning = 2,
    FinalizerRefused = 3,
    FinalizerEnding = 4
  };
  enum : uint32_t {
    RunFinalizersOnExitFlag = 0x1,
    EnableThreadsFlag = 0x2,
    InitializedFlag = 0x4,
    /* Private: the machine was counted in its name space, so Destroy must uncount it. */
    CountedFlag = 0x80000000u
  };

  static VM* CreateInstance(unsigned long defaultStackSize, JavaVM* jvm);
  static VM* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  /* The machine of the calling host thread's current env; NULL without one. */
  static VM* Current();

  /* *displaced (when given) gets the env the calling thread was attached by until now,
     NULL when it was not attached: only this thread changes its own attachment. */
  VMThread* AttachThread(JNIEnv* env, JNIEnv** displaced = NULL);
  /* For an attach of a new thread whose record AttachThread could not make or list: the
     heap may be full of garbage that nothing collects (a host whose requests each attach
     a new host thread allocates nothing between them). The calling thread collects once,
     as a thread of no machine (no longer counted as attaching, which would have the
     collection wait for this very attach, and its env naming no record, so that it is
     not waited for and runs no finalizer), then attaches again. Called outside every
     lock. Nothing is displaced: the thread had no record here, and only it makes one. */
  VMThread* AttachAfterCollection(JNIEnv* env);
  int AttachCurrentThreadWithObject(JNIEnv** env, VMJavaLangThread* thread);
  /* dropRecord: the record goes with the attachment. The caller holds the machine's
     monitor (no debugger walk or collection's stop runs), and no reader outside the lock
     knows the record (no Thread object, never caught by a debugger). */
  JNIEnv* DetachThread(bool dropRecord = false);
  /* The env by which the calling host thread is attached to this machine, whatever env
     the host holds current for it; NULL when it is not attached. *recorded (when given)
     tells whether the machine holds a record of the thread, attached or not. */
  JNIEnv* AttachedEnvOfCurrentThread(bool* recorded = NULL);
  /* Binds the calling host thread's record back to an env it was attached by before a
     later attach took that env's place (the later attach taken back): the thread stays
     attached, by its earlier env. */
  void RebindThread(VMThread* thread, JNIEnv* earlier);
  bool CreateJavaLangThread(JNIEnv* env);
  unsigned long GetThreadsAttached();
  void PauseThreadsForDebugger(bool pause);
  /* Stops every other attached thread and waits until they have detached. The host must
     make a stopped thread end and detach: the wait has no limit. For a machine that ends
     (machineEnds), a thread of its own still in a host wait after a step of the wait is
     let go instead (LetGoOfHostWaiters): the stop did not wake its host call, which may
     never return. */
  void StopAllOtherThreads(bool machineEnds = false);
  void RunFinalizers();
  /* Releases the machine and its heap. Returns the number of machines its name space
     still serves, read under the name space's spin lock after everything of this
     machine is gone (its monitors live on the name space's heap): only the caller whose
     destroy left 0 may destroy the name space. */
  uint32_t Destroy();
  using VMObject::Destroy;
  /* Takes the machine out of its name space's count without destroying it (a machine
     the host abandons): the count left, read under the name space's spin lock in the
     same hold that lowered it. Destroy no longer lowers it afterwards. */
  uint32_t Uncount();

  /* ---- the collector (vm_collector.cpp) ---- */
  /* One full collection of this machine's heap by the calling thread: every other
     attached thread is stopped at its next poll, the heap is marked from the threads'
     frames, the machine object and the objects held by machine code, finalizable and
     reference objects are sorted, the dead are freed, finalizers run and cleared
     references are handed to the class library. softReferencesClearable lets soft
     references be cleared (a refused allocation); a request (Runtime.gc, System.gc,
     JVM_GC) passes false. Returns at once on the collecting thread itself; when another
     thread collects, the caller waits for that collection to end instead. A collection
     may be abandoned (see the collector's source): then nothing is freed.
     What fell due is handed to the machine's finalizer thread (vm_finalizer.cpp), which
     the first such collection starts; called by one of the machine's own threads at a
     point where it may run Java (a native, host code holding only references), the call
     then waits for it (AwaitFinalizers) unless awaitFinalizers is false (a caller that
     waits for other events too looks at the finalizer thread's progress itself). Without
     the finalizer thread it runs the finalizers due as a pass (RunFinalizersDue), the
     other threads running again, unless the call came from inside a pass of this thread;
     called by any other thread, it leaves them to the machine's threads, at their next
     poll. */
  void GarbageCollect(bool softReferencesClearable, bool awaitFinalizers = true);
  /* A collection as GarbageCollect's, after which then(context) runs while every other
     thread still waits (its answer is returned): a refused allocation is made again
     there, before the threads it waited for can take the memory it freed. Without a
     collection (on the collecting thread itself) then runs at once. *collected (when
     given) tells whether this call's collection ran, every other thread stopped;
     rescanMs is the stop's (StopOtherThreads). before(context), when given, runs once
     the others are stopped, before the collection marks, and only then: what it lets go
     of is freed by that collection. Runs no Java: the caller may be inside an
     allocation, where nothing may move. Finalizers that fell due are handed to the
     finalizer thread, or without it left for a pass at the machine's threads' next poll. */
  void* CollectThen(bool softReferencesClearable, void* (*then)(void*), void* context,
                    bool* collected = NULL, jlong rescanMs = 300, void (*before)(void*) = NULL);
  /* Without the finalizer thread (refused by the host, or a machine without threads),
     the finalizer pass: runs, on the calling thread of env (one of the machine's own, as
     an ordinary thread, no longer a collector), the finalizers of the objects due when
     it starts, each taken off the machine's list before its finalizer runs, so that each
     runs once. One pass at a time in a machine, as finalizers have always run one at a
     time (Java's monitors exclude nothing here): with another thread's pass running, a
     pass asked for by a poll is left to that one, and one asked for by a collection
     request (wait) waits for it, declared, unless it stops beginning finalizers for
     kPassStallMillis. Nothing on a thread inside a pass already (a finalizer that
     collects), holding the collector's claim, with an exception pending, or attached for
     a call of its own. Due objects stay alive, with what they reach, across every
     collection until a pass takes them; those due when the pass ends ask for another
     pass at the next polls. The machine is read through env after each finalizer. */
  static void RunFinalizersDue(JNIEnv* env, bool wait);
  /* For a refused allocation of one of the machine's own threads, outside any pass of its
     own: waits while another thread's finalizer pass runs (and begins finalizers within
     kPassStallMillis), undeclared, since the caller holds pointers into the heap, parking
     for the collections meanwhile. True when it waited for a pass to its end: a
     collection now frees what that pass finalized. */
  bool AwaitFinalizerPass();
  enum { kPassStallMillis = 2000 };

  /* ---- the finalizer thread (vm_finalizer.cpp) ---- */
  /* Makes, on the creating thread, the record and the Thread object that the finalizer
     thread takes when it starts. A machine without them falls back to passes. */
  void PrepareFinalizerThread(JNIEnv* env);
  /* After a collection has let the machine go: when objects are due, the finalizer
     thread is started (the first time) or woken (every collection's release wakes it).
     False when finalizers fall back to passes on the machine's threads. */
  bool HandFinalizersOver();
  /* Whether the finalizer thread serves (or is being started): no pass runs then. */
  bool FinalizerThreadServes() const {
    const VMword state = __atomic_load_n(&Body()[FinalizerStateWord], __ATOMIC_ACQUIRE);
    return state == FinalizerStarting || state == FinalizerRunning;
  }
  /* Waits until the finalizer thread has finished every object due now, or has begun no
     finalizer for kPassStallMillis, or the caller is stopped. Declared when env is the
     caller's record here (the host may move the machine meanwhile: nothing of it is kept
     across the call), plain host sleeps for a thread of no machine. Returns at once on
     the finalizer thread itself. True when everything due was finished. */
  static bool AwaitFinalizers(JavaVM* record, JNIEnv* env, jlong stallMillis = kPassStallMillis);
  /* Whether so many objects wait for the finalizer thread that a thread whose collection
     found them lets it catch up at its next poll (for at most kBacklogStallMillis without
     a finalizer begun: a finalizer that waits for that thread ends the wait soon). */
  bool FinalizersBacklogged() const;
  enum { kBacklog = 64, kBacklogStallMillis = 100 };
  /* The same for a refused allocation, undeclared (the caller holds pointers into the
     heap), serving other threads' collections as a poll does. True when some object has
     been finalized since done read doneBefore (GetFinalizersDone, before the caller's
     collection): a collection now frees it. */
  bool AwaitFinalizersInPlace(VMword doneBefore);
  VMword GetFinalizersDone() const;
  /* Whether some object that fell due has not been finished yet. */
  bool FinalizersPending() const;
  /* The machine's end: lets a finalizer that has begun finish (up to kPassStallMillis
     without progress) and waits, declared by own when given, until the thread has left;
     a thread still inside a finalizer then is stopped, and left to the end's stop of
     every thread, or (untilGone: an abandon, after which the host may free the heap)
     waited for until it has left. */
  static void EndFinalizerThread(JavaVM* record, JNIEnv* own, bool untilGone = false);
  static bool IsFinalizerThread(JNIEnv* env);
  /* Whether the finalizer thread is attached (it leaves at the end, or at a host stop). */
  bool FinalizerThreadAttached();
  /* Around the finalizer thread's own attach: it takes the record made for it. */
  static void SetAttachingFinalizer(bool on);
  /* The record made for the finalizer thread, taken by its attach (NULL afterwards). */
  VMThread* TakeFinalizerRecord();
  VMObject* GetFinalizersDue() const { return GetReference(FinalizersDueWord); }
  /* Calls of GarbageCollect in the process so far, whatever came of them. */
  static uint32_t GetGarbageCollectRequests();
  /* Collections this machine has completed (abandoned ones not counted). */
  uint32_t GetCollections() const { return GetScalar(CollectionsWord); }
  /* Parks the calling thread while another thread collects: it waits on the machine
     object's monitor, testing ThreadDoingGC under that monitor, so that the release
     (ReleaseThreadsWaitingForGC) cannot slip between the test and the wait. The park
     leaves the thread's interrupt flag alone and is not ended by a host stop. A failed
     wait leaves the thread unparked. 0, or 19 / 17 when the monitor cannot be had or
     waited on. */
  VMStatus ThreadWaitForGC(VMThread* thread);
  /* A stretch in which the calling thread touches no heap object and holds no object in
     a C++ local (a machine wait outside the heap, a host thread's wait for others): the
     collector counts it as stopped. Leaving parks first while another thread collects. */
  static void EnterSafeRegion(VMThread* thread);
  static void LeaveSafeRegion(VMThread* thread);
  /* A safe region around one host call of the calling thread (its own record) that uses
     nothing of the machine: host handles, and memory of the thread's own stack, never the
     heap. Such a call may not return for as long as the process lives (a read of a pipe
     that nobody writes), and the machine may end meanwhile without waiting for it, if
     the thread is one it started (MarkStartedThread), holds no host mutex and runs no
     static initialiser (EnterInitializer); any other thread's wait is a plain safe region,
     which the end waits for. A thread it let go
     never comes back into it: LeaveHostWait then parks the thread for good, before it
     reads anything (its record, its env and its frames are gone). The host may move the
     machine during the wait: a caller that held no record across it leaves through its
     env, whose thread word names the record where it is now. */
  static void EnterHostWait(VMThread* thread);
  static void LeaveHostWait(VMThread* thread);
  static void LeaveHostWait(JNIEnv* env);
  /* Names a block of process memory (or NULL) that the calling thread's next host waits
     read into: a thread let go gives it back before it parks. */
  static void SetHostWaitBlock(void* block);
  /* Marks the calling host thread, just attached to run a Thread this machine started, as
     the machine's own, until it attaches to or detaches from any machine. */
  void MarkStartedThread();
  /* The machine the calling host thread runs a started Thread of (NULL when none), and
     its mark put back after an attachment of its own made and taken back, which leaves
     the thread attached as before (a loader drop's step in another machine). */
  static JavaVM* GetStartedBy();
  static void RestoreStartedBy(JavaVM* record);
  /* Around the calling host thread's run of a class's static initialiser in its machine:
     the machine's other users of the class wait for it to end. */
  static void EnterInitializer();
  static void LeaveInitializer();
  /* The values of a host thread's host-wait word (its gate, VMThread word 21). */
  enum : VMword { OutsideHostWait = 0, InsideHostWait = 1, LetGoOfHostWait = 2 };
  /* The final collection of Destroy: with no thread left, everything the machine object
     and the objects held by machine code do not reach is freed, without finalizers. */
  void CollectWithoutThreads();
  void NullReferents();
  /* After the sweep: the objects whose finalizers fell due in this collection join the
     end of the machine's due list, finalizable no more (the list keeps them). */
  void QueueFinalizersDue();
  void HandleRefObjects(JNIEnv* env);
  /* Relocation (vm_relocate.cpp): refused while a collection runs, since the collector's
     chains live in the queue words. True when the machine may be relocated now. */
  bool GetMayRelocate() const { return GetThreadDoingGC() == NULL; }
  /* Every thread's words, frames, frame groups and frame lists, in the array's order. */
  void RelocateThreads(VMRelocateInfo* info);

  /* Objects with a finalizer still to run, listed per machine heap as they are made
     (vm_finalizables.cpp), so that a collection finds its candidates without a walk
     of the heap. Open from the machine's creation to its end or abandonment; a list
     that could not take an object (process memory refused) makes the machine's
     collections walk the heap for their candidates as before. */
  static bool HasFinalizerToRun(VMObject* o);
  static void OpenFinalizables(HHeap* heap);
  static void CloseFinalizables(HHeap* heap);
  static void NoteFinalizable(HHeap* heap, VMObject* o);
  static void ForgetFinalizable(HHeap* heap, VMObject* o);
  static uint32_t CountFinalizables(HHeap* heap);
  /* Whether this machine's list holds every candidate of its heap. */
  bool FinalizablesListed();
  void ForEachFinalizable(void (*visit)(VMObject* o, void* context), void* context);
  /* After the finalizable choice: only what survives with its finalizer to run stays. */
  void KeepSurvivingFinalizables();
  void RelocateFinalizables(VMRelocateInfo* info);

  /* ---- fields ---- */
  HHeap* GetHeap() const { return reinterpret_cast<HHeap*>(GetScalar(HEAP_WORD)); }
  VMThreadHandleArray* GetThreads() const { return (VMThreadHandleArray*)GetReference(ThreadsWord); }
  void SetThreads(VMThreadHandleArray* a) { SetReference(ThreadsWord, (VMObject*)a); }
  VMObjectHandleArray* GetFilesToBeDeleted() const {
    return (VMObjectHandleArray*)GetReference(FilesToBeDeletedWord);
  }
  void SetFilesToBeDeleted(VMObjectHandleArray* a) { SetReference(FilesToBeDeletedWord, (VMObject*)a); }
  VMObjectHandleArray* GetStaticDataArray() const {
    return (VMObjectHandleArray*)GetReference(StaticDataArrayWord);
  }
  VMObjectHandleArray* GetJNIHandleArray() const {
    return (VMObjectHandleArray*)GetReference(JNIHandleArrayWord);
  }
  void SetJNIHandleArray(VMObjectHandleArray* a) { SetReference(JNIHandleArrayWord, (VMObject*)a); }
  VMDebugger* GetDebugger() const { return (VMDebugger*)GetReference(DebuggerWord); }
  void SetDebugger(VMDebugger* d) { SetReference(DebuggerWord, (VMObject*)d); }
  VMNameSpace* GetNameSpace() const { return reinterpret_cast<VMNameSpace*>(GetScalar(NAME_SPACE_WORD)); }
  VMObject* GetSystemThreadGroup() const { return GetReference(SystemThreadGroupWord); }
  uint32_t GetDefaultStackSize() const { return GetScalar(DefaultStackSizeWord); }
  void SetDefaultStackSize(uint32_t n) { SetScalar(DefaultStackSizeWord, n); }
  JavaVM* GetJVM() const { return (JavaVM*)GetScalar(JVMWord); }
  VMObject* GetObjectsToDestroy() const { return GetReference(ObjectsToDestroyWord); }
  void SetObjectsToDestroy(VMObject* o) { SetReference(ObjectsToDestroyWord, o); }
  VMObject* GetRefObjectsToHandle() const { return GetReference(RefObjectsToHandleWord); }
  void SetRefObjectsToHandle(VMObject* o) { SetReference(RefObjectsToHandleWord, o); }
  void* GetThreadDoingGC() const { return (void*)__atomic_load_n(&Body()[ThreadDoingGCWord], __ATOMIC_ACQUIRE); }
  VMDebugger* GetDeadDebuggers() const { return (VMDebugger*)GetReference(DeadDebuggersWord); }
  void SetDeadDebuggers(VMDebugger* d) { SetReference(DeadDebuggersWord, (VMObject*)d); }
  VMJavaLangThrowable* GetOutOfMemoryError() const {
    return (VMJavaLangThrowable*)GetReference(OutOfMemoryErrorWord);
  }
  void SetOutOfMemoryError(VMJavaLangThrowable* e) { SetReference(OutOfMemoryErrorWord, (VMObject*)e); }

#define PUX_VM_FLAG(Name)                                                   \
  bool Get##Name() const { return (GetScalar(FlagsWord) & Name##Flag) != 0; } \
  void Set##Name() { __atomic_fetch_or(&Body()[FlagsWord], (VMword)Name##Flag, __ATOMIC_SEQ_CST); } \
  void Clear##Name() { __atomic_fetch_and(&Body()[FlagsWord], ~(VMword)Name##Flag, __ATOMIC_SEQ_CST); }
  PUX_VM_FLAG(RunFinalizersOnExit)
  PUX_VM_FLAG(EnableThreads)
  PUX_VM_FLAG(Initialized)
#undef PUX_VM_FLAG

 private:
  void SetHeap(HHeap* heap) { SetScalar(HEAP_WORD, (VMword)heap); }
  void SetJVM(JavaVM* jvm) { SetScalar(JVMWord, (VMword)jvm); }
  void SetNameSpace(VMNameSpace* ns) { SetScalar(NAME_SPACE_WORD, (VMword)ns); }
  void SetStaticDataArray(VMObjectHandleArray* a) { SetReference(StaticDataArrayWord, (VMObject*)a); }
  void SetSystemThreadGroup(VMObject* g) { SetReference(SystemThreadGroupWord, g); }
  void SetThreadDoingGC(void* id) { __atomic_store_n(&Body()[ThreadDoingGCWord], (VMword)id, __ATOMIC_SEQ_CST); }
  /* The end of a collection: ThreadDoingGC := 0 and every attached thread's collector
     flags cleared, under the machine object's monitor, then every parked thread woken. */
  void ReleaseThreadsWaitingForGC();
  /* The collector's steps (vm_collector.cpp). */
  /* Waits until every other attached thread is parked or declared; it looks again each
     time a parking thread tells it, and every rescanMs besides for the threads that stop
     without telling (a thread that detaches or enters a safe region). A stop that need
     not happen gives up after giveUpAfter looks (0: it never does); *runner (when given)
     is then the slot of a thread its last look found running, 0 for none. */
  bool StopOtherThreads(VMThread* self, JNIEnv** env, jlong rescanMs = 300, uint32_t giveUpAfter = 0,
                        uint32_t* runner = NULL);
  bool ClaimCollection(void* me);
  /* CollectThen's collection and release; *self gets the calling thread's record when it
     is one of the machine's own that may run Java, NULL otherwise. */
  void* CollectAndRelease(bool softReferencesClearable, void* (*then)(void*), void* context, bool* collected,
                          jlong rescanMs, VMThread** self, void (*before)(void*) = NULL);
  void SetFinalizersDue(VMObject* o) { SetReference(FinalizersDueWord, o); }
 public:
  /* Asks every thread of the machine's own for a finalizer pass at its next poll. */
  void RequestFinalizerPasses();
  /* Takes the oldest due object off the list; NULL when it is empty. */
  VMObject* TakeFinalizerDue();
 private:
  void Collect(VMThread* self, JNIEnv* env, bool softReferencesClearable);
  void MarkMachineObject(void* marker);
  void MarkRoots(void* marker);
  void Sweep();
  void ClearMarks();
  /* Stops every attached thread other than the one of identity me, each through the
     host; returns how many it stopped. */
  unsigned long StopOtherAttachedThreads(void* me);
  /* For a machine that ends: every other attached thread in a host wait it may be let go
     in (EnterHostWait) is detached here on its behalf (its env freed; it holds no host
     mutex, and so no monitor that locks) and never returns from the wait. Returns how
     many were let go. */
  unsigned long LetGoOfHostWaiters(void* me);
  /* Destroys the records of the threads that have detached (but the one of identity
     me) and frees their slots; under the collector's claim. */
  void DropDetachedThreads(void* me);
  /* DropDetachedThreads as a collection makes it, the other threads stopped, without a
     collection; self is the calling thread's record, attached, which found ended records.
     Nothing when another thread collects (its collection drops them); a drop that could
     not stop the others is tried again once as many more have ended. */
  void DropEndedThreads(VMThread* self);
  /* Whether the records of ended threads (at least a few, and more than the threads
     attached) are to be dropped now; under the lock. Not while the thread a drop gave up
     on is still out of reach: attached, neither parked nor declared, and not back at a
     poll since (the request the drop left it is still set). */
  bool ManyEndedThreads();
  bool GetCounted() const { return (GetScalar(FlagsWord) & CountedFlag) != 0; }
  /* Destroys every object still on the heap but the machine itself. */
  void ReleaseRemainingObjects(HHeap* heap);

  /* The thread array grows while other threads scan it; every scan and every change
     holds the name space's spin lock. */
  void LockThreads(const char* site);
  void UnlockThreads(const char* site);
  /* Index of the calling host thread's entry, 0 when it has none; under the lock. */
  uint32_t FindCurrentThread();
  friend class MachineTestAccess;
};

#endif
