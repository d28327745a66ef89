/* The debugger agent of one machine, and its records.

   One agent serves one in-process client (a component of the host) that reaches it
   through the JNI_Debug* entries. The agent owns no thread. Java threads that it watches
   run the interpreter's debugging loop and report on their own stacks: a reporter
   stores the one event and waits until the client removes it, while every other thread
   of the machine parks at its next poll. Class loads wait on a list of their own and
   stop nobody. Objects, members, threads and frames reach the client only as handles,
   values only through debugger addresses (handle, index, kind), and everything the
   client hands back is checked against what it names before it is used.

   Lock order, outermost first: the agent's request mutex, the global mutex, the machine
   object's monitor, AddEventMutex, ClassLoadMutex, the break-list mutex, the name
   space's opcode mutex, the name space's spin lock. Nothing waits on a semaphore or
   sleeps holding anything but AddEventMutex (and the request mutex is released for the
   client's blocking wait). Allocations under the agent's locks are kind 1: no
   collection starts there.

   Threads that wait for the debugger (parked, reporting, or a client blocked waiting for
   an event) count as stopped for the collector for the length of the wait: their frames
   are stored whole before they wait, and leaving the wait first serves a collection
   that runs meanwhile. */
#ifndef PUX_VMDEBUGGER_H
#define PUX_VMDEBUGGER_H

#include "jnitypes.h"
#include "vmobject.h"
#include "vmstatus.h"

class VMByteCodeFrame;
class VMFrame;

/* The client's transport: a host function over (context, buffer, length). */
typedef jint(HOSTCALL* VMDebugIOCallback)(void* context, void* buffer, jint length);

class VMDebuggerCodeBreakpoint;
class VMDebuggerDataBreakpoint;
class VMDebuggerClassLoad;
struct VMDebuggerCall;

class VMDebugger : public VMInternalObject {
 public:
  /* The record the rest of the machine knows (24 words), then the agent's own words. */
  enum { Words = 29 };
  /* The traced words: those of the shared record, and the announced class load. */
  enum : VMword { RefMask = 0x1EB647u | (1u << 27) };
  enum {
    NextDeadDebuggerWord = 0,
    VMWord = 1,
    NameSpaceWord = 2,
    EventRemovedWord = 3,
    EventAddedWord = 4,
    EventTypeWord = 5,
    EventDataWord = 6,
    AddEventMutexWord = 7,
    CurrentFrameWord = 8,
    CodeBreaksWord = 9,
    DataBreaksWord = 10,
    ClassLoadMutexWord = 11,
    ClassesLoadedWord = 12,
    PendingClassLoadsWord = 13,
    TraceFrameWord = 14,
    TraceThreadWord = 15,
    TraceLineWord = 16,
    LocalTagsWord = 17,
    LocalRefsWord = 18,
    GlobalTagsWord = 19,
    GlobalRefsWord = 20,
    LoaderIDWord = 21,
    HeapWord = 22,
    FlagsWord = 23,
    /* Serialises the client's calls on this agent. */
    RequestMutexWord = 24,
    /* Guards CodeBreaks and DataBreaks against the debugging loops that walk them. */
    BreakListMutexWord = 25,
    /* Entry points running on this agent (VM::Destroy waits for none). */
    BusyWord = 26,
    /* The pending class load that EventPending announced: the one EventGet names and
       EventRemove retires, whatever was queued in front of it meanwhile. */
    AnnouncedClassLoadWord = 27,
    /* Held by each request the client sends, and by a parked or reporting thread while it
       leaves its stop: a request that found a thread stopped finds it so to its end. */
    StopMutexWord = 28,
  };
  enum : uint32_t {
    IsConnectedFlag = 0x01,
    InterruptPendingFlag = 0x02,
    ReportCatchFlag = 0x04,
    ReportedPendingClassLoadFlag = 0x08,
    AlreadyWaitedFlag = 0x10,
    ReportedAtLeastOneEventFlag = 0x20,
    /* The agent is no longer its machine's: nothing connects it again. */
    DetachedFlag = 0x40,
    /* A reporter's wait failed: the client's next call ends the connection. */
    ConnectionFailedFlag = 0x80,
    /* EventPending answered the stored event's kind: the client may now remove it. */
    ReportedStoredEventFlag = 0x100,
  };
  /* Event kinds. */
  enum : int32_t {
    EventBreakpoint = 1,
    EventUncaught = 2,
    EventCaught = 3,
    EventInterrupt = 4,
    EventTerminating = 5,
    EventStep = 6,
    EventClassLoad = 7,
    EventWatch = 8,
  };
  /* ---- life (vmdebugger.cpp) ---- */
  static VMDebugger* CreateInstance(VM* vm);
  static VMDebugger* Instantiate(HHeap* heap, uint32_t words, VMword mask);
  /* Releases everything the agent owns, then the agent. */
  void Destroy(HHeap* heap);
  /* Whether the agent is connected once it returns: not once detached, nor newly once
     the machine's end has begun. */
  bool Connect();
  void Disconnect();
  /* A detached agent's handle and tag tables and delivered classes are given back; the
     small record stays on the dead list and answers nothing. */
  void ReleaseTables(HHeap* heap);
  /* The agent of the machine whose event semaphore is added: this one where it still is
     after the host moved the machine; NULL once it is neither the current nor a detached
     agent. The caller holds the global mutex. */
  static VMDebugger* FindMoved(VM* vm, void* added);
  void RequestThreadAttach(VMThread* thread);
  /* Parks the calling thread while the machine is paused for the debugger. */
  static void PauseThread();

  /* Threads the client may see: those the last ThreadCount caught parked. */
  VMThread* ThreadNext(VMThread* previous);
  int32_t ThreadCount();
  VMThread* ThreadCurrent();
  void ThreadSuspend(VMThread* thread);
  void ThreadResume(VMThread* thread);
  void Interrupt(bool on);
  /* The nearest bytecode frame that called frame; NULL at a thread's first frame. */
  static VMByteCodeFrame* FrameCaller(VMFrame* frame);
  /* Whether the thread stands still for the debugger: parked or reporting while a stop
     holds it, or suspended by the client (an application's suspension may end at any
     time). */
  static bool IsStopped(VMThread* thread);

  /* ---- class loads (vmdebugger_events.cpp) ---- */
  /* Queues the class for the client unless it is queued or was delivered already. */
  void NotifyClassLoad(VMLoadableClass* cls);
  void ClearPendingClassLoads();

  /* ---- events, stepping, tracing (vmdebugger_events.cpp) ---- */
  void AddEvent(int32_t kind, VMObject* object, VMByteCodeFrame* frame);
  int32_t EventPending(bool wait);
  VMObject* EventGet();
  void EventRemove();
  void ReportInitialBreakpoint(VMByteCodeFrame* frame);
  void ReportBreakWrite(VMByteCodeFrame* frame);
  void ReportInterrupt(VMByteCodeFrame* frame);
  void ReportTrace(VMByteCodeFrame* frame);
  void ReportException(VMByteCodeFrame* frame, VMJavaLangThrowable* throwable, bool caught);
  void NotifyVMTerminating();
  /* Arms a step of the thread: mode 0 into, 1 over, 2 out; by line or by instruction. */
  void ThreadTrace(VMThread* thread, uint8_t byLine, uint8_t mode);
  /* Whether the stepped thread's step ends at frame's pc; reports it when so. */
  void CheckTrace(VMByteCodeFrame* frame);
  /* The source line of pc: the entry with the greatest start at or before it (the first
     of equal starts); 0 without a table, a method or an entry. */
  static uint32_t FindLineNumber(VMMethod* method, uint32_t pc);

  /* ---- breakpoints, watches, and the debugging loop's reports (vmdebugger_break.cpp,
     vmframe_debug.cpp) ---- */
  /* Plants a breakpoint before the instruction that starts at pc (false: not an
     instruction start of a method of this agent's name space that has code, or no
     memory, which *noMemory, when given, tells apart). */
  bool BreakSet(VMMethod* method, uint32_t pc, bool* noMemory = NULL);
  /* Removes one of this agent's breakpoints at the place, if it has one. */
  void BreakClear(VMMethod* method, uint32_t pc);
  void ClearCodeBreaks();
  void ClearDataBreaks();
  void ClearAllBreaks();
  /* The opcode the breakpoint at (method, pc) displaced, or the code byte there. */
  static uint8_t FindPreBreakpointOpcode(VMMethod* method, uint32_t pc);
  /* Whether pc starts an instruction of the method's code, breakpoints seen through. */
  static bool IsInstructionStart(VMMethod* method, uint32_t pc);
  /* Watches size (0 to 8) bytes of an object's body from byteOffset (arrays: their
     element data starts at body byte 8); the object stays alive while watched. False
     when the run does not lie in the body or no memory. */
  bool BreakSetWriteBody(VMObject* owner, uint32_t byteOffset, uint32_t size);
  /* Watches size bytes from local word slot of a bytecode frame; the watch ends with
     the frame. */
  bool BreakSetWriteLocal(VMByteCodeFrame* frame, uint32_t slot, uint32_t size);
  /* Reports the first watched run found changed (one per call). */
  void CheckBreakWrite(VMByteCodeFrame* frame);
  /* Reports the breakpoint at frame's pc when it is one of this agent's. */
  void ReportBreakpoint(VMByteCodeFrame* frame);
  /* Queues every class already initialised in the machine. */
  void ReportAllClassLoads();
  /* The thread left Java code down to remaining: a step bounded by a frame that is gone
     stops at the thread's next instruction. */
  void StepFrameGone(VMThread* thread, VMFrame* remaining);
  /* The watched thread left Java code it entered from native code (or an initialiser)
     with bytecode frames below: those, which may run a plain loop, go over at their next
     poll. */
  void AskCallersOver(VMThread* thread);
  /* Drops every breakpoint, watch and class-load record, in the machine's current and
     detached agents, that names a class, method or static data of the loader (its
     classes are about to go). The records are freed, and any collection of the machine
     walks them: the caller holds the machine's collection, its other threads stopped. */
  static void ForgetLoader(VM* vm, VMClassLoader* loader);
  /* The host moved the machine: the frames the agent names (the stopped one, the step
     frame, watched frames) are rewritten. */
  void RelocateFrames(VMRelocateInfo* info);
  /* The poll found a request to run the debugging loop: the thread's Execute starts
     over in it (returns only when no bytecode frame is running). */
  static void JumpToDebugLoop(VMThread* thread);
  /* Back in its bytecode frame from a native it called: a thread watched by a connected
     agent whose plain loop runs that frame (a call back of the native took its request
     to go over) takes up the debugging loop before its next instruction. */
  static void TakeOverAfterNative(VMThread* thread);
  /* The poll found a request to run the debugging loop: whether the thread is to go now.
     Not while its agent is unconnected (the loop would hand it straight back, the
     request spent): the request is then set aside until the connection asks again. */
  static bool ReadyForDebugLoop(VMThread* thread);

  /* ---- the client's calls (vmdebugger_entry.cpp) ---- */
  /* Serves one request of the client: reads its code and arguments through read,
     checks them, runs it and writes the announced reply through write. 0 always; a
     refused request writes nothing and leaves one line in the host's log. */
  uint32_t DispatchRequest(void* inContext, VMDebugIOCallback read, void* outContext, VMDebugIOCallback write);
  /* The same for a client call, whose request mutex is let go across blocking waits. */
  uint32_t DispatchRequest(VMDebuggerCall* call, void* inContext, VMDebugIOCallback read, void* outContext,
                           VMDebugIOCallback write);

  /* ---- handles and debugger addresses (vmdebugger_handles.cpp) ----
     A handle names an object together with the kind it was made for: a positive number
     is a local handle (lapses when a stopping event is removed), a negative one a global
     handle (lapses when the connection ends), 0 none. An address is handle << 32 | index
     << 16 | kind. Nothing a client sends is followed before it is checked against what it
     names; what does not check out reads as none. */
  enum : uint32_t {
    HandleObject = 0x206FFECAu,
    HandleArray = 0x205BFECAu,
    HandleClass = 0x206BFECAu,
    HandleMethod = 0x206DFECAu,
    HandleField = 0x2064FECAu,
    HandleLocal = 0x2061FECAu,
    HandleThread = 0x2074FECAu,
    HandleFrameThread = 0x6266FECAu,
    /* What a slot without a tag answers: no request asks for it. */
    HandleNone = 0x693FFECAu,
  };
  /* Local handles stop here, so that every thread's frame handle stays exact; global
     handles at the same count of their own. */
  enum : uint32_t { MaxHandles = 0xFFFFu };
  int32_t EnHandle(uint32_t tag, VMObject* object);
  /* The global handle of (object, tag): the same number for the same pair, without
     spending a local handle; 0 for NULL or when none can be made. */
  int32_t EnGlobal(uint32_t tag, VMObject* object);
  VMObject* UnHandle(uint32_t tag, int32_t handle);
  int32_t RefNewGlobal(int32_t handle);
  void RefGlobalFree(int32_t handle);
  /* Upper half: a local handle of the frame's thread; lower half: the frame's depth
     below the thread's top frame. 0 when either does not fit 16 bits. */
  uint32_t EnHandleFrame(VMFrame* frame);
  /* The frame, of any kind, while its thread stands still for the debugger; NULL
     otherwise. above, when given, receives the frame above it (NULL for the top). */
  VMFrame* UnHandleFrame(uint32_t handle, VMFrame** above = NULL);
  VMObject* JNItoObj(uint32_t reference);
  jlong AddrNewGlobal(jlong address);
  void AddrFreeGlobal(jlong address);
  jlong LocalAddress(VMLocalDataMember* local, VMFrame* frame);
  jlong FieldAddress(VMDataMember* field, jlong object);
  jboolean GetBoolean(jlong address);
  jbyte GetByte(jlong address);
  jchar GetChar(jlong address);
  jshort GetShort(jlong address);
  jint GetInt(jlong address);
  jfloat GetFloat(jlong address);
  jlong GetLong(jlong address);
  jdouble GetDouble(jlong address);
  void SetBoolean(jlong address, jboolean value);
  void SetByte(jlong address, jbyte value);
  void SetChar(jlong address, jchar value);
  void SetShort(jlong address, jshort value);
  void SetInt(jlong address, jint value);
  void SetFloat(jlong address, jfloat value);
  void SetLong(jlong address, jlong value);
  void SetDouble(jlong address, jdouble value);
  /* The object a reference place holds: a live Java object, else NULL. */
  VMObject* ObjectFromAddr(jlong address);
  VMArray* UnpackArray(jlong address);
  jint GetIdentityHashCode(jlong address);
  VMJavaLangString* GetString(jlong address);
  jint GetStringLength(jlong address);
  /* false when nothing was stored (invalid text, or a place that cannot hold a String). */
  bool SetString(jlong address, const char* text);
  jint GetArraySize(jlong address);
  jlong GetArrayElement(jlong address, jint index);
  VMClass* GetElementClass(jlong address);
  static jint ArraySize(VMArray* array);

  /* ---- threads, frames and classes (vmdebugger_query.cpp) ---- */
  VMJavaLangString* ThreadName(VMThread* thread);
  void ThreadStop(VMThread* thread);
  void ThreadSet(VMThread* thread);
  uint8_t ThreadSuspended(VMThread* thread);
  static int32_t FrameCallerCount(VMFrame* frame);
  static int32_t FrameFlags(VMFrame* frame);
  static uint32_t FrameMethodIndex(VMFrame* frame);
  static int32_t FramePC(VMFrame* frame);
  VMJavaLangString* ClassFile(VMClass* cls);
  VMJavaLangString* ClassName(VMClass* cls);
  static VMMethodArray* ClassMethods(VMClass* cls);
  static VMDataMemberArray* ClassFields(VMClass* cls);
  static VMClass* ClassSuper(VMClass* cls);
  uint32_t ClassId(VMClass* cls);
  int32_t ClassClassify(VMClass* cls);
  int32_t ClassSize(VMClass* cls);
  static uint32_t MethodCodeSize(VMMethod* method);
  static VMshortArray* MethodLines(VMMethod* method);
  static VMLocalDataMemberArray* MethodLocals(VMMethod* method);
  VMClass* FieldClass(VMDataMember* field);
  VMClass* FieldDynamicClass(jlong address, VMDataMember* field);
  static int32_t FieldAttributes(VMDataMember* field);

  /* ---- watches and class loads on request ----
     Watches size (0 to 8) bytes from the place the debugger address names: a field, an
     array element or static data (the object's body), or a local of a stopped frame.
     false: refused (the place is none of those, or the run passes its end, or no
     memory), with the reason already in the host's log. (vmdebugger_handles.cpp) */
  bool BreakSetWrite(jlong address, uint32_t size);
  /* The class of that name (internal or dotted form), loaded and linked in the loader of
     the request's class-loader id but not initialised: no Java code runs for it on the
     client's thread. NULL when it cannot be had; nothing is left pending.
     (vmdebugger_query.cpp) */
  VMClass* ClassLoad(const char* name);

  /* ---- fields ---- */
  VMDebugger* GetNextDeadDebugger() const { return (VMDebugger*)GetReference(NextDeadDebuggerWord); }
  void SetNextDeadDebugger(VMDebugger* d) { SetReference(NextDeadDebuggerWord, (VMObject*)d); }
  VM* GetVM() const { return (VM*)GetReference(VMWord); }
  VMNameSpace* GetNameSpace() const { return (VMNameSpace*)GetReference(NameSpaceWord); }
  void* GetEventRemoved() const { return (void*)GetScalar(EventRemovedWord); }
  void* GetEventAdded() const { return (void*)GetScalar(EventAddedWord); }
  int32_t GetEventType() const { return (int32_t)__atomic_load_n(&Body()[EventTypeWord], __ATOMIC_ACQUIRE); }
  void SetEventType(int32_t kind) { __atomic_store_n(&Body()[EventTypeWord], (VMword)kind, __ATOMIC_RELEASE); }
  VMObject* GetEventData() const { return GetReference(EventDataWord); }
  void SetEventData(VMObject* o) { SetReference(EventDataWord, o); }
  void* GetAddEventMutex() const { return (void*)GetScalar(AddEventMutexWord); }
  VMByteCodeFrame* GetCurrentFrame() const { return (VMByteCodeFrame*)GetScalar(CurrentFrameWord); }
  void SetCurrentFrame(VMByteCodeFrame* f) { SetScalar(CurrentFrameWord, (VMword)f); }
  VMDebuggerCodeBreakpoint* GetCodeBreaks() const { return (VMDebuggerCodeBreakpoint*)GetReference(CodeBreaksWord); }
  void SetCodeBreaks(VMDebuggerCodeBreakpoint* b) { SetReference(CodeBreaksWord, (VMObject*)b); }
  VMDebuggerDataBreakpoint* GetDataBreaks() const {
    return (VMDebuggerDataBreakpoint*)__atomic_load_n(&Body()[DataBreaksWord], __ATOMIC_ACQUIRE);
  }
  void SetDataBreaks(VMDebuggerDataBreakpoint* b) {
    __atomic_store_n(&Body()[DataBreaksWord], (VMword)b, __ATOMIC_RELEASE);
  }
  void* GetClassLoadMutex() const { return (void*)GetScalar(ClassLoadMutexWord); }
  VMClassHandleArray* GetClassesLoaded() const { return (VMClassHandleArray*)GetReference(ClassesLoadedWord); }
  VMDebuggerClassLoad* GetPendingClassLoads() const {
    return (VMDebuggerClassLoad*)GetReference(PendingClassLoadsWord);
  }
  void SetPendingClassLoads(VMDebuggerClassLoad* c) { SetReference(PendingClassLoadsWord, (VMObject*)c); }
  VMDebuggerClassLoad* GetAnnouncedClassLoad() const {
    return (VMDebuggerClassLoad*)GetReference(AnnouncedClassLoadWord);
  }
  void SetAnnouncedClassLoad(VMDebuggerClassLoad* c) { SetReference(AnnouncedClassLoadWord, (VMObject*)c); }
  VMByteCodeFrame* GetTraceFrame() const { return (VMByteCodeFrame*)GetScalar(TraceFrameWord); }
  void SetTraceFrame(VMByteCodeFrame* f) { SetScalar(TraceFrameWord, (VMword)f); }
  VMThread* GetTraceThread() const {
    return (VMThread*)__atomic_load_n(&Body()[TraceThreadWord], __ATOMIC_ACQUIRE);
  }
  void SetTraceThread(VMThread* t) { __atomic_store_n(&Body()[TraceThreadWord], (VMword)t, __ATOMIC_RELEASE); }
  uint32_t GetTraceLine() const { return GetScalar(TraceLineWord); }
  void SetTraceLine(uint32_t line) { SetScalar(TraceLineWord, line); }
  VMuintArray* GetLocalTags() const { return (VMuintArray*)GetReference(LocalTagsWord); }
  void SetLocalTags(VMuintArray* a) { SetReference(LocalTagsWord, (VMObject*)a); }
  VMObjectHandleArray* GetLocalRefs() const { return (VMObjectHandleArray*)GetReference(LocalRefsWord); }
  VMuintArray* GetGlobalTags() const { return (VMuintArray*)GetReference(GlobalTagsWord); }
  void SetGlobalTags(VMuintArray* a) { SetReference(GlobalTagsWord, (VMObject*)a); }
  VMObjectHandleArray* GetGlobalRefs() const { return (VMObjectHandleArray*)GetReference(GlobalRefsWord); }
  void* GetLoaderID() const { return (void*)GetScalar(LoaderIDWord); }
  void SetLoaderID(void* id) { SetScalar(LoaderIDWord, (VMword)id); }
  HHeap* GetHeap() const { return (HHeap*)GetScalar(HeapWord); }
  void* GetRequestMutex() const { return (void*)GetScalar(RequestMutexWord); }
  void* GetBreakListMutex() const { return (void*)GetScalar(BreakListMutexWord); }
  void* GetStopMutex() const { return (void*)GetScalar(StopMutexWord); }
  VMword* GetBusy() const { return &Body()[BusyWord]; }

  /* Flags change on several threads at once: each change is one atomic step. */
  VMword GetFlags() const { return __atomic_load_n(&Body()[FlagsWord], __ATOMIC_ACQUIRE); }
#define PUX_DEBUGGER_FLAG(Name)                                                                            \
  bool Get##Name() const { return (GetFlags() & Name##Flag) != 0; }                                        \
  void Set##Name() { __atomic_fetch_or(&Body()[FlagsWord], (VMword)Name##Flag, __ATOMIC_SEQ_CST); }        \
  void Clear##Name() { __atomic_fetch_and(&Body()[FlagsWord], ~(VMword)Name##Flag, __ATOMIC_SEQ_CST); }
  PUX_DEBUGGER_FLAG(IsConnected)
  PUX_DEBUGGER_FLAG(InterruptPending)
  PUX_DEBUGGER_FLAG(ReportCatch)
  PUX_DEBUGGER_FLAG(ReportedPendingClassLoad)
  PUX_DEBUGGER_FLAG(AlreadyWaited)
  PUX_DEBUGGER_FLAG(ReportedAtLeastOneEvent)
  PUX_DEBUGGER_FLAG(Detached)
  PUX_DEBUGGER_FLAG(ConnectionFailed)
  PUX_DEBUGGER_FLAG(ReportedStoredEvent)
#undef PUX_DEBUGGER_FLAG
  /* Sets IsConnected; true for the one caller that found it clear. */
  bool TakeUpConnection() {
    return (__atomic_fetch_or(&Body()[FlagsWord], (VMword)IsConnectedFlag, __ATOMIC_SEQ_CST) & IsConnectedFlag) == 0;
  }
  /* Clears InterruptPending; true for the one caller that found it set. */
  bool TakeInterruptPending() {
    return (__atomic_fetch_and(&Body()[FlagsWord], ~(VMword)InterruptPendingFlag, __ATOMIC_SEQ_CST) &
            InterruptPendingFlag) != 0;
  }

 private:
  /* Empties the local handles (event removed, connection ended). */
  void ReleaseLocalHandles();
  /* Asks over again every watched thread that set its request aside (ReadyForDebugLoop). */
  void AskDeferredThreadsOver();
  /* The place an address names (vmdebugger_handles.cpp). */
  bool Resolve(jlong address, struct VMDebugPlace& place);
  bool ReadPlace(jlong address, void* value, uint32_t width);
  /* The place read as a T, as wide as the type (0 when it cannot be read). */
  template <class T>
  T ReadAs(jlong address) {
    T value;
    ReadPlace(address, &value, sizeof value);
    return value;
  }
  void WritePlace(jlong address, const void* value, uint32_t width, uint32_t extendAs);
  int32_t FindHandle(VMObjectHandleArray* refs, VMuintArray* tags, VMObject* object, uint32_t tag);
};

/* The debugger wire's big-endian fields: Put writes the value at the pointer into the
   buffer, Get reads the buffer into the value. */
void DebugPut1(uint8_t* buffer, const void* value);
void DebugGet1(void* value, const uint8_t* buffer);
void DebugPut2(uint8_t* buffer, const void* value);
void DebugGet2(void* value, const uint8_t* buffer);
void DebugPut4(uint8_t* buffer, const void* value);
void DebugGet4(void* value, const uint8_t* buffer);
void DebugPut8(uint8_t* buffer, const void* value);
void DebugGet8(void* value, const uint8_t* buffer);

/* A class whose load the client has not been told of yet. */
class VMDebuggerClassLoad : public VMInternalObject {
 public:
  enum { Words = 2, RefMask = 0x3 };
  enum { NextWord = 0, ClassLoadedWord = 1 };
  static VMDebuggerClassLoad* CreateInstance(HHeap* heap, VMClass* cls, VMDebuggerClassLoad* next);
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }
  VMDebuggerClassLoad* GetNext() const { return (VMDebuggerClassLoad*)GetReference(NextWord); }
  void SetNext(VMDebuggerClassLoad* n) { SetReference(NextWord, (VMObject*)n); }
  VMClass* GetClassLoaded() const { return (VMClass*)GetReference(ClassLoadedWord); }
};

/* The calling host thread carries a client call on an agent: attached to the agent's
   machine (or with its own env when it already is), out of the debugger's reach (no
   debugging loop, no attach request, never parked, its own events dropped) and holding
   the agent's request mutex. Begin answers false, with nothing held, when the agent is
   not a current or detached agent of a listed machine, when the thread already carries
   a call, or when it cannot be attached. */
struct VMDebuggerCall {
  /* Found again after every wait that lets the host move the machine. */
  VMDebugger* agent;
  JNIEnv* env;
  JNIEnv* saved;
  bool attached;
  bool locked;
  /* The agent's stop mutex is held with the request mutex (a request's call). */
  bool stops;
  uint8_t savedDebug;
  /* The thread was asked over to the debugging loop (or had set the request aside). */
  bool savedRequest;
  /* The agent's event semaphore and the host's move count when the call let go. */
  void* added;
  uint32_t moves;
  bool Begin(void* agent, bool lock);
  void End();
  /* Takes the agent's stop mutex for the rest of the call (with the request mutex). */
  void HoldStops();
  /* Lets go of the request mutex for a blocking wait, and takes it back, with the agent
     and the thread's env found again when the host moved the machine meanwhile. */
  void Release();
  void Retake();
};

#endif
