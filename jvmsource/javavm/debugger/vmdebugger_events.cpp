/* Events, stepping and tracing of the debugger agent, and the line look-up that stack
   traces use as well, with or without an agent. */
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace dbg;

uint32_t VMDebugger::FindLineNumber(VMMethod* method, uint32_t pc) {
  if (method == NULL) return 0;
  VMStatus status = 0;
  VMshortArray* table = method->GetLineNumbers(&status);
  if (status != 0 || table == NULL) return 0;
  uint32_t count = table->GetSize();
  if (count < 2) return 0;
  // The table keeps class-file order, which need not be sorted: the greatest start at or
  // before pc wins, and of equal starts the first.
  bool found = false;
  uint32_t bestStart = 0;
  uint32_t bestLine = 0;
  for (uint32_t i = 0; i + 1 < count; i += 2) {
    uint32_t start = (uint16_t)table->Get(i);
    if (start > pc) continue;
    if (!found || start > bestStart) {
      found = true;
      bestStart = start;
      bestLine = (uint16_t)table->Get(i + 1);
    }
  }
  return found ? bestLine : 0;
}

/* ---- the stored event ---- */

namespace {

/* How many callers below the thread's current frame the frame is; ~0u when it is not
   on the thread's chain (or there is none). */
uint32_t FrameDepth(VMThread* thread, VMFrame* frame) {
  if (thread == NULL || frame == NULL) return ~0u;
  uint32_t depth = 0;
  for (VMFrame* f = thread->GetFrame(); f != NULL; f = f->caller, depth++) {
    if (f == frame) return depth;
  }
  return ~0u;
}

/* The frame that many callers below the thread's current frame. */
VMByteCodeFrame* FrameAtDepth(VMThread* thread, uint32_t depth) {
  VMFrame* f = thread != NULL && depth != ~0u ? thread->GetFrame() : NULL;
  for (; f != NULL && depth > 0; depth--) f = f->caller;
  return (VMByteCodeFrame*)f;
}

}  // namespace

void VMDebugger::AddEvent(int32_t kind, VMObject* object, VMByteCodeFrame* frame) {
  if (!GetIsConnected()) return;
  VMThread* me = VMThread::Current();
  // A client's own call never waits for the client: that would be a deadlock.
  if (me != NULL && me->GetServingDebugger()) return;
  // The host may move the machine while this thread waits for the class's monitor below
  // or for another reporter's event to end: the agent is then found again through the
  // invocation record, the thread through its env and the frame by its place under the
  // thread's current one (the object is a class, whose heap does not move).
  VM* vm = GetVM();
  JavaVM* record = vm->GetJVM();
  JNIEnv* env = me != NULL ? me->GetEnv() : NULL;
  const uint32_t depth = FrameDepth(me, frame);
  const uint32_t movesBefore = VMFrame::GetRelocations();
  VMDebugger* self = this;
  // The host's mutex stays where it is, and names the agent.
  void* lock = GetAddEventMutex();
  // False when the agent has gone meanwhile.
  auto refind = [&]() {
    if (VMFrame::GetRelocations() == movesBefore) return true;
    if (env != NULL) me = env->thread;
    vm = record != NULL ? record->vm : NULL;
    self = vm != NULL ? vm->GetDebugger() : NULL;
    if (self == NULL || self->GetAddEventMutex() != lock) return false;
    frame = FrameAtDepth(me, depth);
    return true;
  };
  // The client asks for the stopped method's lines and locals while this thread waits:
  // loaded now, under the class's monitor, they are there for it. Loaded by the
  // client, they would wait for a monitor a parked thread may hold.
  if (frame != NULL && frame->method != NULL) {
    VMStatus status = 0;
    (void)frame->method->GetLineNumbers(&status);
    (void)frame->method->GetLocalVariables(&status);
    if (!refind()) return;
  }
  JNIHostFunctions* host = Host();
  if (me != NULL) me->SetPausedForDebugger();
  // A reporter stands still from here on: a collection asked meanwhile goes ahead.
  EnterWait(me);
  VMUtils::MutexLock(lock);
  if (!refind()) {
    // Detached meanwhile: nothing is stored, and nobody waits for this thread.
    if (me != NULL) me->ClearPausedForDebugger();
    VMUtils::MutexUnlock(lock);
    LeaveWait(me);
    return;
  }
  // Decided under the lock under which a disconnection clears the flag and looks for a
  // stored event: either it finds this one and wakes this thread, or nothing is stored
  // and nobody is asked to park.
  bool stored = false;
  VMUtils::MutexLock(self->GetClassLoadMutex());
  if (self->GetIsConnected()) {
    vm->PauseThreadsForDebugger(true);
    // A polling client never sees a new kind with an old object or frame.
    self->SetCurrentFrame(frame);
    self->SetEventData(object);
    self->SetEventType(kind);
    stored = true;
  }
  VMUtils::MutexUnlock(self->GetClassLoadMutex());
  if (stored) {
    host->EventPost(self->GetEventAdded());
    // The host may move the machine while this thread waits: the agent, the thread and
    // the machine are found again afterwards (the semaphore and the mutex are the
    // host's, and stay).
    void* removed = self->GetEventRemoved();
    // Removal clears the kind; a post banked by an earlier spare release or an old
    // connection's end leaves it set, and the wait goes on. Only this thread stores
    // events while it holds the lock, so a kind still set is this event's.
    for (;;) {
      uint32_t moves = VMFrame::GetRelocations();
      jint result = host->EventWait(removed, -1);
      if (VMFrame::GetRelocations() != moves) {
        me = VMThread::Current();
        vm = me != NULL ? me->GetVM() : NULL;
        self = vm != NULL ? vm->GetDebugger() : NULL;
        // Detached meanwhile: the connection's end released everything.
        if (self == NULL || self->GetEventRemoved() != removed) {
          if (me != NULL) me->ClearPausedForDebugger();
          VMUtils::MutexUnlock(lock);
          LeaveWait(me);
          return;
        }
      }
      if (self->GetEventType() == 0 || !self->GetIsConnected()) break;
      if (result != 0) {
        // The host woke the thread: a stop of this thread abandons its event alone;
        // any other failure ends the connection at the client's next call, where it
        // cannot pull handles from under a request.
        if (host->YieldCheck() == 0) self->SetConnectionFailed();
        VMUtils::MutexLock(self->GetClassLoadMutex());
        self->ReleaseLocalHandles();
        self->SetEventType(0);
        self->SetEventData(NULL);
        self->SetCurrentFrame(NULL);
        self->ClearReportedStoredEvent();
        VMUtils::MutexUnlock(self->GetClassLoadMutex());
        break;
      }
    }
    // The stop ends between requests: one that found a thread stopped finds it so to
    // its end (no request waits for this thread's AddEventMutex).
    void* stop = self->GetStopMutex();
    VMUtils::MutexLock(stop);
    vm->PauseThreadsForDebugger(false);
    if (me != NULL) me->ClearPausedForDebugger();
    VMUtils::MutexUnlock(stop);
    VMUtils::MutexUnlock(lock);
    LeaveWait(me);
    return;
  }
  if (me != NULL) me->ClearPausedForDebugger();
  VMUtils::MutexUnlock(lock);
  LeaveWait(me);
}

int32_t VMDebugger::EventPending(bool wait) {
  VMDebugger* self = this;
  VMThread* me = VMThread::Current();
  bool woken = false;
  for (;;) {
    VMUtils::MutexLock(self->GetClassLoadMutex());
    int32_t kind;
    if (self->GetPendingClassLoads() != NULL) {
      self->SetReportedPendingClassLoad();
      self->SetAnnouncedClassLoad(self->GetPendingClassLoads());
      kind = EventClassLoad;
    } else {
      self->ClearReportedPendingClassLoad();
      self->SetAnnouncedClassLoad(NULL);
      kind = self->GetEventType();
      if (kind != 0) self->SetReportedStoredEvent();
    }
    VMUtils::MutexUnlock(self->GetClassLoadMutex());
    // Nothing is waited for while something is there to answer: the reporter of a
    // stored event waits for this client.
    if (kind != 0 || !wait) return kind;
    if (!self->GetIsConnected()) {
      // The connection's end posts once however many clients wait: each it wakes wakes
      // the next (the last post is banked, and only makes a later wait look again).
      if (woken) Host()->EventPost(self->GetEventAdded());
      return kind;
    }
    void* added = self->GetEventAdded();
    uint32_t moves = VMFrame::GetRelocations();
    EnterWait(me);
    jint result = Host()->EventWait(added, -1);
    woken = true;
    // The host may have moved the machine meanwhile: the thread and the agent are found
    // again (the semaphore is the host's, and stays).
    me = VMThread::Current();
    LeaveWait(me);
    if (result != 0) return 0;
    if (VMFrame::GetRelocations() != moves) {
      VMUtils::GlobalMutexGuard guard;
      self = VMDebugger::FindMoved(me != NULL ? me->GetVM() : NULL, added);
      if (self == NULL) return 0;
    }
  }
}

VMObject* VMDebugger::EventGet() {
  VMUtils::MutexLock(GetClassLoadMutex());
  VMObject* object;
  if (GetReportedPendingClassLoad()) {
    VMDebuggerClassLoad* announced = GetAnnouncedClassLoad();
    object = announced != NULL ? (VMObject*)announced->GetClassLoaded() : NULL;
  } else {
    object = GetReportedStoredEvent() ? GetEventData() : NULL;
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  return object;
}

void VMDebugger::EventRemove() {
  bool resume = false;
  VMUtils::MutexLock(GetClassLoadMutex());
  SetReportedAtLeastOneEvent();
  if (GetReportedPendingClassLoad()) {
    // The class is delivered once it is removed, and recorded only then. Loads queued
    // since the announcement sit in front of it and wait for their own.
    VMDebuggerClassLoad* announced = GetAnnouncedClassLoad();
    VMDebuggerClassLoad* previous = NULL;
    VMDebuggerClassLoad* c = GetPendingClassLoads();
    while (c != NULL && c != announced) {
      previous = c;
      c = c->GetNext();
    }
    if (c != NULL) {
      if (previous == NULL)
        SetPendingClassLoads(c->GetNext());
      else
        previous->SetNext(c->GetNext());
      VMClass* cls = c->GetClassLoaded();
      c->Destroy(GetHeap());
      VMClassHandleArray* loaded = GetClassesLoaded();
      if (cls != NULL && loaded->Find(cls) == 0) (void)loaded->Append(cls);
    }
    SetAnnouncedClassLoad(NULL);
    ClearReportedPendingClassLoad();
  } else if (GetReportedStoredEvent() && GetEventType() != 0) {
    // Only an event the client was told of is released, and only once: a spare
    // release would let the next reporter run on while it looks stopped.
    ReleaseLocalHandles();
    SetEventType(0);
    SetEventData(NULL);
    SetCurrentFrame(NULL);
    ClearReportedStoredEvent();
    resume = true;
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  if (resume) Host()->EventPost(GetEventRemoved());
}

/* ---- reports ---- */

void VMDebugger::ReportInitialBreakpoint(VMByteCodeFrame* frame) { AddEvent(EventBreakpoint, NULL, frame); }

void VMDebugger::ReportBreakWrite(VMByteCodeFrame* frame) { AddEvent(EventWatch, NULL, frame); }

void VMDebugger::ReportInterrupt(VMByteCodeFrame* frame) {
  // Every watched thread may see the request at once: one of them reports it.
  if (TakeInterruptPending()) AddEvent(EventInterrupt, NULL, frame);
}

void VMDebugger::ReportTrace(VMByteCodeFrame* frame) {
  SetTraceThread(NULL);
  SetTraceFrame(NULL);
  SetTraceLine(0);
  AddEvent(EventStep, NULL, frame);
}

void VMDebugger::ReportException(VMByteCodeFrame* frame, VMJavaLangThrowable* throwable, bool caught) {
  VMObject* t = (VMObject*)throwable;
  VMObject* cls = t != NULL && t->GetHasClass() ? (VMObject*)t->GetClass() : NULL;
  AddEvent(caught ? EventCaught : EventUncaught, cls, frame);
}

void VMDebugger::NotifyVMTerminating() { AddEvent(EventTerminating, NULL, NULL); }

/* ---- stepping ---- */

void VMDebugger::ThreadTrace(VMThread* thread, uint8_t byLine, uint8_t mode) {
  if (thread == NULL) return;
  VMFrame* top = thread->GetFrame();
  // Without a frame that runs a method's bytecode there is no line or frame to step
  // from: the thread stops at its next instruction.
  VMByteCodeFrame* frame = NULL;
  if (top != NULL && top->GetIsExecutableByteCode() && !top->GetIsFirstFrame() && top->method != NULL)
    frame = (VMByteCodeFrame*)top;
  uint32_t line = 0;
  VMByteCodeFrame* bound = GetTraceFrame();
  if (frame == NULL) {
    bound = NULL;
  } else {
    if (byLine) line = FindLineNumber(frame->method, frame->GetPC(false));
    if (mode == 0) {
      bound = NULL;
    } else if (mode == 1) {
      bound = frame;
    } else if (mode == 2) {
      bound = FrameCaller(frame);
      line = 0;
    }
  }
  // The stepped thread reads the step only once it is named, and then whole.
  SetTraceLine(line);
  SetTraceFrame(bound);
  SetTraceThread(thread);
  // A watched thread that still runs a plain loop (it was caught at a poll, or stopped
  // in a native) takes up the debugging loop at its next poll, which checks the step.
  VMNameSpace* ns = GetNameSpace();
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebugger::ThreadTrace");
  JNIEnv* env = thread->GetEnv();
  bool watched = env != NULL && (env->debug & 0xFF) != 0;
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebugger::ThreadTrace");
  if (watched && !thread->GetServingDebugger()) {
    thread->SetDebugLoopOnly();
    thread->SetDebuggerAttachRequested();
  }
}

void VMDebugger::CheckTrace(VMByteCodeFrame* frame) {
  VMByteCodeFrame* bound = GetTraceFrame();
  if (bound != NULL && bound != frame) {
    for (VMFrame* f = frame; f != NULL && !f->GetIsFirstFrame(); f = f->caller)
      if (f == (VMFrame*)bound) return;  // inside a call the step frame made
    ReportTrace(frame);
    return;
  }
  uint32_t line = GetTraceLine();
  if (line == 0 || FindLineNumber(frame->method, frame->GetPC(false)) != line) ReportTrace(frame);
}

/* ---- class loads ---- */

VMDebuggerClassLoad* VMDebuggerClassLoad::CreateInstance(HHeap* heap, VMClass* cls, VMDebuggerClassLoad* next) {
  VMDebuggerClassLoad* record = (VMDebuggerClassLoad*)CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMDebuggerClassLoad, jallocFailFast);
  if (record == NULL) return NULL;
  record->SetReference(ClassLoadedWord, (VMObject*)cls);
  record->SetNext(next);
  return record;
}

void VMDebugger::NotifyClassLoad(VMLoadableClass* cls) {
  if (cls == NULL) return;
  bool added = false;
  VMUtils::MutexLock(GetClassLoadMutex());
  // An agent detached since the loader found it keeps no records.
  bool known = GetClassesLoaded() == NULL || GetClassesLoaded()->Find((VMClass*)cls) != 0;
  for (VMDebuggerClassLoad* c = GetPendingClassLoads(); c != NULL && !known; c = c->GetNext())
    known = c->GetClassLoaded() == (VMClass*)cls;
  if (!known) {
    // No collection can start under the lock: the record is made without one.
    VMDebuggerClassLoad* record = VMDebuggerClassLoad::CreateInstance(GetHeap(), (VMClass*)cls, GetPendingClassLoads());
    if (record != NULL) {
      SetPendingClassLoads(record);
      added = true;
    }
  }
  VMUtils::MutexUnlock(GetClassLoadMutex());
  // A client blocked waiting for an event learns of the class now.
  if (added) Host()->EventPost(GetEventAdded());
}

void VMDebugger::ClearPendingClassLoads() {
  VMUtils::MutexLock(GetClassLoadMutex());
  while (VMDebuggerClassLoad* head = GetPendingClassLoads()) {
    SetPendingClassLoads(head->GetNext());
    head->Destroy(GetHeap());
  }
  SetAnnouncedClassLoad(NULL);
  ClearReportedPendingClassLoad();
  VMUtils::MutexUnlock(GetClassLoadMutex());
}
