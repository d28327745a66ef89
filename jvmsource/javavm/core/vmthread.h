/* The machine's record of one host thread attached to one machine, and the requests
   other threads post to it.

   Other threads never act on a running thread directly: they set a request bit and
   install yieldAndCheck as the thread's poll function, and the thread serves the
   request at its next poll. The flag word and the poll word are written by several
   threads, so both change only through atomic operations.

   Word 18, beyond the record's first 18 words, is the thread's wake event: the event it
   sleeps on in every monitor wait, and so the one its BlockedOn word names. A post on it
   is for this thread alone. Word 19 is the interpreter's poll countdown, written only by
   the thread itself: taken backward branches and calls into bytecode count it down and
   call the poll function when it runs out, or at once while a request bit is set. Word 20
   counts the host mutexes and machine monitors the thread really holds: the mutex-lock
   count (word 14) also counts the levels of interpreted monitors, which lock nothing, and
   the collector must tell the two apart. Word 21 names the word that says whether the
   host thread is in a host wait (VM::EnterHostWait): a word of the host thread's own,
   which outlives this record. Words 22 to 58 serve bulk deletion (GetHighWaterMarks,
   DeleteRefs): word 22 is the log of the globals the thread put below the levels of the
   marks it remembers, since the oldest of them (an int array: the table its compaction
   uses, then entries of three words: the slot, with bit 31 set for the name space's
   array, and the 64-bit stamp the global got), words 23 to 54 remember its four latest
   marks (the three fill levels, when they
   were taken, how low the local count has fallen since, how many brackets opened on them
   are still open, and how recent they are among the four), so that a bulk deletion from them finds
   every global made after them, wherever its slot lies, by reading the slots from the
   marks up and the log's newest entries; words 55 and 56 are the log's live entries, 57
   and 58 the stamp of the thread's last global (one sequence per thread, 64 bits: it
   never comes round). */
#ifndef PUX_VMTHREAD_H
#define PUX_VMTHREAD_H

#include "jnihost.h"
#include "vmobject.h"
#include "vmstatus.h"

class VMThread : public VMInternalObject {
 public:
  enum { Words = 59, RefMask = 0x4181E1 };
  enum {
    NameWord = 0,
    Word1 = 1,
    EnvWord = 2,
    MutexWord = 3,
    BlockedOnWord = 4,
    JavaLangThreadWord = 5,
    MachineWord = 6,
    ExceptionWord = 7,
    FrameGroupWord = 8,
    FrameWord = 9,
    HandleWord = 10,
    IdWord = 11,
    SuspendCountWord = 12,
    PollWord = 13,
    MUTEX_LOCK_COUNT_WORD = 14,
    JNIHandleArrayWord = 15,
    NativeFramesWord = 16,
    FlagsWord = 17,
    WakeEventWord = 18,
    PollCountdownWord = 19,
    HostMutexCountWord = 20,
    HostWaitGateWord = 21,
    GlobalLogWord = 22,
    MarksWord = 23,
    GlobalLogFirstWord = 55,
    GlobalLogEndWord = 56,
    GlobalStampWord = 57
  };
  /* The remembered marks: entries of eight words each; an empty entry has a local fill
     level of 0, which no mark has. Entries are filled from the first and never emptied
     again. Ages run from 0, the newest, among the entries filled. The opens word counts
     the marks taken on the entry that no deletion has closed yet, in two halves: those
     of kind 1 (globals) in the low one, of kind 0 (locals) in the high one. */
  enum { MarkEntries = 4, MarkEntryWords = 8 };
  enum {
    MarkNameSpaceLevel = 0,
    MarkMachineLevel = 1,
    MarkLocalLevel = 2,
    MarkStamp = 3, /* and 4: 64 bits */
    MarkLocalLow = 5,
    MarkOpens = 6,
    MarkAge = 7
  };
  enum : uint32_t { MarkOpenGlobals = 1u, MarkOpenLocals = 0x10000u, MarkOpensMask = 0xFFFFu };
  /* A log entry: the slot, then the stamp's two words. */
  enum { GlobalLogEntryWords = 3 };
  enum : uint32_t { GlobalLogNameSpaceBit = 0x80000000u };
  enum : uint32_t {
    WaitingForGCFlag = 0x1,
    DebuggerAttachRequestNoticedByYieldFlag = 0x2,
    /* The thread runs a finalizer pass (VM::RunFinalizersDue): its collections start no
       other. */
    RunningFinalizersFlag = 0x4,
    SuspendedByDebuggerFlag = 0x8,
    InterruptedFlag = 0x10,
    SuspendedFlag = 0x20,
    OnDeathRowFlag = 0x40,
    CaughtByDebuggerFlag = 0x80,
    PausedForDebuggerFlag = 0x100,
    YieldToPostSuspendFlag = 0x200,
    YieldToWaitForGCFlag = 0x400,
    YieldToJumpToDebugLoopFlag = 0x800,
    YieldToPostExceptionFlag = 0x1000,
    YieldToBeDebuggedFlag = 0x2000,
    SafeToGCFlag = 0x4000,
    ProcessingMonitorEnterFlag = 0x8000,
    /* The thread is in a stretch that touches no heap object (VM::EnterSafeRegion). */
    InSafeRegionFlag = 0x10000,
    /* The thread carries a call of a debugger client: the debugger never parks it, and
       drops the events it raises. */
    ServingDebuggerFlag = 0x20000,
    /* The debugger sends the thread to its debugging loop to carry out a step: it does
       not report its arrival there. */
    DebugLoopOnlyFlag = 0x40000,
    /* The thread is in a host wait (VM::EnterHostWait); its gate word is its own. */
    InHostWaitFlag = 0x80000,
    /* The poll found the thread asked over to the debugging loop while its agent was not
       connected, and set the request aside: the connection asks the thread again. Not a
       request: the thread polls no more often for it. */
    DebugLoopDeferredFlag = 0x100000,
    /* The thread carries a client call and was watched when the call began: the call set
       its debug byte and its request to go over aside, and puts them back at its end. A
       disconnection, which ends the watch of every thread, clears it with their bytes. */
    WatchSetAsideFlag = 0x200000,
    /* A debugger client's call, or a step of a loader's drop, attached the thread to
       carry it, the thread having no attachment of its own to the machine: it leaves
       when the call ends, the machine's end does not wait for it, and no Java code runs
       on it (its collections run no finalizer). */
    AttachedForClientCallFlag = 0x400000,
    /* A collection of this thread's left finalizers due where no Java could run (inside
       an allocation): the poll runs them. */
    YieldToRunFinalizersFlag = 0x800000,
    /* The machine's finalizer thread: a daemon the machine started for itself, whose
       Thread no group lists; the host's stops and other threads' stops pass it by. */
    FinalizerThreadFlag = 0x1000000,
    /* The thread's Thread is one the machine made at its attach, not one Java started:
       the system group counts it while the Thread names the record's env
       (JVMHostMembers). An attach after a detach clears it. */
    HostMemberFlag = 0x2000000,
    /* Every request the poll serves. */
    RequestFlags = 0x803E00
  };

  /* NULL on any failure, with the partial thread destroyed. */
  static VMThread* CreateInstance(VM* vm, JNIEnv* env, void* handle, void* id);
  static VMThread* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  /* The VMThread of the calling host thread's current env; NULL without one. */
  static VMThread* Current();

  void SetExceptionStatus(VMStatus status, VMLiteral* message);
  void PostException(VMJavaLangThrowable* throwable);
  /* Counted suspension. Both hold the thread's mutex, so that a resume never sees a
     count raised by a suspend that has not yet posted its request. */
  void Suspend();
  void Resume();
  void Stop();
  VMStatus WaitForGC();
  /* The record's words that relocation moves: its env's back link, its current frame
     and the frame chain, its frame groups and the ring of its frame-list blocks. */
  void Relocate(VMRelocateInfo* info);
  /* Calls the thread's poll function and returns its answer. */
  int Yield();
  /* The poll of machine code that keeps raw pointers into the machine's heap across it
     (a long native): it serves a collection, a posted exception and the host's stop,
     which leave every block where it is, and leaves a suspension and a debugger's park,
     during which the host may move the machine, to the interpreter's next poll. */
  int YieldInPlace();
  bool GetIsDaemon();
  void SetJavaLangThreadAndName(VMJavaLangThread* thread);
  void Destroy(HHeap* heap);
  /* Makes a detached record fit for a new attachment of the host thread with this
     identity, which may be another thread than the one that left it (a host may give
     a dead thread's identity to a new one): the host handle is the caller's, and the
     state of the last attachment (flags, suspension, pending exception, poll, held
     locks) is gone. A pause the debugger asked of every thread stays. */
  void BeginAttachment(void* handle);

  /* ---- requests (set from any thread; each installs the poll) ---- */
  void SetWaitForGCRequested() { Request(YieldToWaitForGCFlag); }
  void SetDebuggerAttachRequested() { Request(YieldToJumpToDebugLoopFlag); }
  void SetYieldForDebugger() { Request(YieldToBeDebuggedFlag); }
  void SetRunFinalizersRequested() { Request(YieldToRunFinalizersFlag); }
  bool GetDebuggerAttachRequested() const { return HasFlag(YieldToJumpToDebugLoopFlag); }
  void ClearDebuggerAttachRequested() { ClearFlag(YieldToJumpToDebugLoopFlag); }
  bool GetYieldForDebugger() const { return HasFlag(YieldToBeDebuggedFlag); }
  void ClearYieldForDebugger() { ClearFlag(YieldToBeDebuggedFlag); }

  /* ---- flags: getter, setter and clearer per bit ---- */
#define PUX_THREAD_FLAG(Name)                                     \
  bool Get##Name() const { return HasFlag(Name##Flag); }          \
  void Set##Name() { SetFlag(Name##Flag); }                       \
  void Clear##Name() { ClearFlag(Name##Flag); }
  PUX_THREAD_FLAG(WaitingForGC)
  PUX_THREAD_FLAG(DebuggerAttachRequestNoticedByYield)
  PUX_THREAD_FLAG(RunningFinalizers)
  PUX_THREAD_FLAG(YieldToRunFinalizers)
  PUX_THREAD_FLAG(SuspendedByDebugger)
  PUX_THREAD_FLAG(Interrupted)
  PUX_THREAD_FLAG(Suspended)
  PUX_THREAD_FLAG(OnDeathRow)
  PUX_THREAD_FLAG(CaughtByDebugger)
  PUX_THREAD_FLAG(PausedForDebugger)
  PUX_THREAD_FLAG(YieldToPostSuspend)
  PUX_THREAD_FLAG(YieldToWaitForGC)
  PUX_THREAD_FLAG(YieldToPostException)
  PUX_THREAD_FLAG(SafeToGC)
  PUX_THREAD_FLAG(ProcessingMonitorEnter)
  PUX_THREAD_FLAG(InSafeRegion)
  PUX_THREAD_FLAG(ServingDebugger)
  PUX_THREAD_FLAG(DebugLoopOnly)
  PUX_THREAD_FLAG(InHostWait)
  PUX_THREAD_FLAG(DebugLoopDeferred)
  PUX_THREAD_FLAG(WatchSetAside)
  PUX_THREAD_FLAG(AttachedForClientCall)
  PUX_THREAD_FLAG(FinalizerThread)
  PUX_THREAD_FLAG(HostMember)
#undef PUX_THREAD_FLAG
  /* Clears DebugLoopDeferred; true for the one caller that found it set. */
  bool TakeDebugLoopDeferred() {
    return (__atomic_fetch_and(&Body()[FlagsWord], ~(VMword)DebugLoopDeferredFlag, __ATOMIC_SEQ_CST) &
            DebugLoopDeferredFlag) != 0;
  }
  __attribute__((always_inline)) VMword GetFlags() const { return __atomic_load_n(&Body()[FlagsWord], __ATOMIC_ACQUIRE); }

  /* ---- fields ---- */
  VMcharArray* GetName() const { return (VMcharArray*)GetReference(NameWord); }
  void SetName(VMcharArray* name) { SetReference(NameWord, (VMObject*)name); }
  JNIEnv* GetEnv() const { return (JNIEnv*)GetScalar(EnvWord); }
  void SetEnv(JNIEnv* env) { SetScalar(EnvWord, (VMword)env); }
  void* GetMutex() const { return (void*)GetScalar(MutexWord); }
  void SetMutex(void* mutex) { SetScalar(MutexWord, (VMword)mutex); }
  void* GetBlockedOn() const { return (void*)__atomic_load_n(&Body()[BlockedOnWord], __ATOMIC_ACQUIRE); }
  void SetBlockedOn(void* event) { __atomic_store_n(&Body()[BlockedOnWord], (VMword)event, __ATOMIC_RELEASE); }
  VMJavaLangThread* GetJavaLangThread() const { return (VMJavaLangThread*)GetReference(JavaLangThreadWord); }
  void SetJavaLangThread(VMJavaLangThread* t) { SetReference(JavaLangThreadWord, (VMObject*)t); }
  VM* GetVM() const { return (VM*)GetScalar(MachineWord); }
  void SetVM(VM* vm) { SetScalar(MachineWord, (VMword)vm); }
  VMJavaLangThrowable* GetException() const { return (VMJavaLangThrowable*)GetReference(ExceptionWord); }
  void SetException(VMJavaLangThrowable* e) { SetReference(ExceptionWord, (VMObject*)e); }
  VMFrameGroup* GetFrameGroup() const { return (VMFrameGroup*)GetReference(FrameGroupWord); }
  void SetFrameGroup(VMFrameGroup* g) { SetReference(FrameGroupWord, (VMObject*)g); }
  VMFrame* GetFrame() const { return (VMFrame*)GetScalar(FrameWord); }
  void SetFrame(VMFrame* f) { SetScalar(FrameWord, (VMword)f); }
  void* GetHandle() const { return (void*)GetScalar(HandleWord); }
  void SetHandle(void* h) { SetScalar(HandleWord, (VMword)h); }
  void* GetId() const { return (void*)GetScalar(IdWord); }
  void SetId(void* id) { SetScalar(IdWord, (VMword)id); }
  uint32_t GetSuspendCount() const { return GetScalar(SuspendCountWord); }
  void SetSuspendCount(uint32_t n) { SetScalar(SuspendCountWord, n); }
  JNIHostPollFn GetPollFunction() const {
    return (JNIHostPollFn)__atomic_load_n(&Body()[PollWord], __ATOMIC_ACQUIRE);
  }
  void SetPollFunction(JNIHostPollFn fn) {
    __atomic_store_n(&Body()[PollWord], (VMword)fn, __ATOMIC_SEQ_CST);
  }
  /* Host mutexes (and monitor levels) the thread holds. */
  int32_t GetMutexLockCount() const { return (int32_t)GetScalar(MUTEX_LOCK_COUNT_WORD); }
  void SetMutexLockCount(int32_t value) { SetScalar(MUTEX_LOCK_COUNT_WORD, (VMword)value); }
  /* Host mutexes and machine monitors held, interpreted monitor levels not counted. */
  int32_t GetHostMutexCount() const { return (int32_t)GetScalar(HostMutexCountWord); }
  void AddHostMutexCount(int32_t n) { SetScalar(HostMutexCountWord, GetScalar(HostMutexCountWord) + (VMword)n); }
  void SetHostMutexCount(int32_t value) { SetScalar(HostMutexCountWord, (VMword)value); }
  uint32_t GetMark(uint32_t entry, uint32_t field) const {
    return GetScalar(MarksWord + entry * MarkEntryWords + field);
  }
  void SetMark(uint32_t entry, uint32_t field, uint32_t value) {
    SetScalar(MarksWord + entry * MarkEntryWords + field, value);
  }
  uint64_t GetMarkStamp(uint32_t entry) const { return GetWide(MarksWord + entry * MarkEntryWords + MarkStamp); }
  void SetMarkStamp(uint32_t entry, uint64_t stamp) { SetWide(MarksWord + entry * MarkEntryWords + MarkStamp, stamp); }
  uint64_t GetGlobalStamp() const { return GetWide(GlobalStampWord); }
  void SetGlobalStamp(uint64_t stamp) { SetWide(GlobalStampWord, stamp); }
  VMintArray* GetGlobalLog() const { return (VMintArray*)GetReference(GlobalLogWord); }
  void SetGlobalLog(VMintArray* log) { SetReference(GlobalLogWord, (VMObject*)log); }
  VMObjectHandleArray* GetJNIHandleArray() const {
    return (VMObjectHandleArray*)GetReference(JNIHandleArrayWord);
  }
  void SetJNIHandleArray(VMObjectHandleArray* a) { SetReference(JNIHandleArrayWord, (VMObject*)a); }
  framelist* GetNativeFrames() const { return (framelist*)GetScalar(NativeFramesWord); }
  void SetNativeFrames(framelist* f) { SetScalar(NativeFramesWord, (VMword)f); }
  void* GetWakeEvent() const { return (void*)GetScalar(WakeEventWord); }
  VMword* GetPollCountdown() const { return &Body()[PollCountdownWord]; }
  VMword* GetHostWaitGate() const { return (VMword*)GetScalar(HostWaitGateWord); }
  void SetHostWaitGate(VMword* gate) { SetScalar(HostWaitGateWord, (VMword)gate); }

  /* The poll function that serves requests. Public only so that tests and the
     interpreter can recognise it as the installed poll. */
  static jint HOSTCALL yieldAndCheck();

 private:
  /* The poll's work for the calling thread; InPlace as YieldInPlace. */
  template <bool InPlace>
  static jint Serve();
  void SetWakeEvent(void* event) { SetScalar(WakeEventWord, (VMword)event); }
  uint64_t GetWide(uint32_t word) const { return GetScalar(word) | (uint64_t)GetScalar(word + 1) << 32; }
  void SetWide(uint32_t word, uint64_t value) {
    SetScalar(word, (VMword)value);
    SetScalar(word + 1, (VMword)(value >> 32));
  }
  bool HasFlag(VMword bit) const { return (GetFlags() & bit) != 0; }
  void SetFlag(VMword bit) { __atomic_fetch_or(&Body()[FlagsWord], bit, __ATOMIC_SEQ_CST); }
  void ClearFlag(VMword bit) { __atomic_fetch_and(&Body()[FlagsWord], ~bit, __ATOMIC_SEQ_CST); }
  /* Set the bit, then install the poll: the poll re-checks the bits after it restores
     the host's check, so the request cannot slip between the two. */
  void Request(VMword bit) {
    SetFlag(bit);
    SetPollFunction(yieldAndCheck);
  }
  friend class VMMonitor;
};

static_assert(sizeof(VMThread) == 20, "no fields beyond the header");

#endif
