/* The client's entry points, and the carrying of a client call on the client's thread.

   Every agent pointer a client hands in is looked for among the agents of the listed
   machines before it is used: a stale, detached-twice or made-up pointer is refused.
   An agent found is marked busy under the global mutex, so the machine's destruction,
   which unlists it under the same mutex, waits for the call before it frees anything,
   and an abandon is refused while the call runs. */
#include <string.h>

#include "vm.h"
#include "vmdebugger.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_functions.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace dbg;

/* The listed machine whose current or detached agent this is; the caller holds the
   global mutex. */
static JavaVM* MachineOf(void* agent) {
  if (agent == NULL) return NULL;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next) {
    VM* vm = r->vm;
    if (vm == NULL) continue;
    if ((void*)vm->GetDebugger() == agent) return r;
    for (VMDebugger* d = vm->GetDeadDebuggers(); d != NULL; d = d->GetNextDeadDebugger())
      if ((void*)d == agent) return r;
  }
  return NULL;
}

/* Marks the agent busy when it is one; NULL when it is not. */
static VMDebugger* Claim(void* pointer) {
  // Before the first machine and after the last there is no list to look in, and taking
  // the mutex would make one.
  if (pointer == NULL) return NULL;
  VMUtils::GlobalMutexGuardIfSetUp guard;
  if (!guard.Held() || MachineOf(pointer) == NULL) return NULL;
  VMDebugger* agent = (VMDebugger*)pointer;
  __atomic_fetch_add(agent->GetBusy(), 1, __ATOMIC_ACQ_REL);
  return agent;
}

static void Unclaim(VMDebugger* agent) { __atomic_fetch_sub(agent->GetBusy(), 1, __ATOMIC_ACQ_REL); }

/* A reporter's failed wait left the connection to be ended here, between requests. */
static void EndFailedConnection(VMDebugger* agent) {
  if (agent->GetConnectionFailed() && agent->GetIsConnected()) agent->Disconnect();
}

/* Makes the calling thread the machine's for a client call: by its own env when it is
   attached already (a second attachment would take that env's place, and its detach
   at the end would leave the thread detached and the env lost), else by a new one.
   NULL when it cannot be attached. */
static JNIEnv* BindClient(JavaVM* record, JNIEnv* saved, bool* attached) {
  *attached = false;
  // A thread may be attached to several machines, the host holding one env current.
  JNIEnv* env = saved != NULL && saved->javaVM == record && saved->thread != NULL
                    ? saved
                    : record->vm->AttachedEnvOfCurrentThread();
  if (env != NULL) {
    if (env != saved) {
      Host()->AttachThreadEnv(record, env);
      Host()->SetCurrentEnv(env);
    }
    return env;
  }
  if (VMJniAttachCurrentThreadNoObject(record, &env, NULL) != 0) return NULL;
  env->thread->SetAttachedForClientCall();
  *attached = true;
  return env;
}

/* Gives the thread back to the host bound as it was before BindClient. */
static void UnbindClient(JavaVM* record, JNIEnv* env, JNIEnv* saved, bool attached) {
  if (attached) VMJniDetachEnv(record);
  if (attached || env != saved) {
    Host()->AttachThreadEnv(saved != NULL ? saved->javaVM : NULL, saved);
    Host()->SetCurrentEnv(saved);
  }
}

bool VMDebuggerCall::Begin(void* pointer, bool lock) {
  agent = NULL;
  env = NULL;
  saved = NULL;
  attached = false;
  locked = false;
  stops = false;
  savedDebug = 0;
  savedRequest = false;
  added = NULL;
  moves = 0;
  VMDebugger* a = Claim(pointer);
  if (a == NULL) return false;
  JNIHostFunctions* host = Host();
  JavaVM* record = a->GetVM()->GetJVM();
  saved = host->GetCurrentEnv();
  void* mark = a->GetEventAdded();
  const uint32_t movesBefore = VMFrame::GetRelocations();
  env = BindClient(record, saved, &attached);
  if (env != NULL && VMFrame::GetRelocations() != movesBefore) {
    // The bind may wait for a collection outside the machine, where the host may move it,
    // the agent with it. The claim keeps the agent the machine's, current or detached.
    VMUtils::GlobalMutexGuard guard;
    VMDebugger* found = VMDebugger::FindMoved(record->vm, mark);
    if (found != NULL) a = found;
  }
  // Already the machine's (a host thread that also runs Java): its env carries the
  // call. A call made from inside another call is refused.
  if (env == NULL || (!attached && env->thread->GetServingDebugger())) {
    if (env != NULL) UnbindClient(record, env, saved, attached);
    env = NULL;
    Unclaim(a);
    return false;
  }
  // The watch is set aside under the lock a disconnection clears the bytes under: it
  // either finds the byte gone or clears the mark. The request goes aside with it, also
  // one a poll set aside, which the connection this call may make would drop. Taken
  // under the same lock: a connection that finds the byte gone asks the thread over
  // only after its own section, and that request, not the ended watch's, must stand.
  VMThread* thread = env->thread;
  VMNameSpace* ns = a->GetNameSpace();
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebuggerCall::Begin");
  savedDebug = (uint8_t)(env->debug & 0xFF);
  env->debug &= ~0xFFu;
  if (savedDebug != 0 && !attached) thread->SetWatchSetAside();
  savedRequest = thread->GetDebuggerAttachRequested() || thread->GetDebugLoopDeferred();
  thread->ClearDebuggerAttachRequested();
  thread->ClearDebugLoopDeferred();
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebuggerCall::Begin");
  thread->SetServingDebugger();
  agent = a;
  if (lock) {
    VMUtils::MutexLock(a->GetRequestMutex());
    locked = true;
  }
  EndFailedConnection(a);
  return true;
}

void VMDebuggerCall::End() {
  if (agent == NULL) return;
  if (locked && stops) VMUtils::MutexUnlock(agent->GetStopMutex());
  if (locked) VMUtils::MutexUnlock(agent->GetRequestMutex());
  locked = false;
  stops = false;
  VMThread* thread = env->thread;
  thread->ClearServingDebugger();
  if (!attached) {
    // Only a watch no disconnection ended meanwhile (this call's own detach among them):
    // a byte put back after one would make the next connection take the thread for one
    // brought over already, and never ask it over.
    VMNameSpace* ns = agent->GetNameSpace();
    VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  VMDebuggerCall::End");
    bool kept = thread->GetWatchSetAside();
    thread->ClearWatchSetAside();
    if (kept) env->debug = (env->debug & ~0xFFu) | savedDebug;
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  VMDebuggerCall::End");
    // Its poll decides as ever: over now, or set aside until the connection.
    if (kept && savedRequest) thread->SetDebuggerAttachRequested();
  }
  UnbindClient(env->javaVM, env, saved, attached);
  Unclaim(agent);
  agent = NULL;
}

void VMDebuggerCall::HoldStops() {
  if (agent == NULL || !locked || stops) return;
  VMUtils::MutexLock(agent->GetStopMutex());
  stops = true;
}

void VMDebuggerCall::Release() {
  if (agent == NULL) return;
  added = agent->GetEventAdded();
  moves = VMFrame::GetRelocations();
  if (locked && stops) VMUtils::MutexUnlock(agent->GetStopMutex());
  if (locked) VMUtils::MutexUnlock(agent->GetRequestMutex());
  locked = false;
}

void VMDebuggerCall::Retake() {
  if (agent == NULL || locked) return;
  if (VMFrame::GetRelocations() != moves) {
    // The agent and this thread's env are blocks of the machine heap. The call keeps
    // the agent busy, so it is still the machine's, current or detached.
    JNIEnv* now = Host()->GetCurrentEnv();
    if (saved == env) saved = now;
    env = now;
    VMUtils::GlobalMutexGuard guard;
    VMDebugger* found = VMDebugger::FindMoved(env->thread->GetVM(), added);
    if (found != NULL) agent = found;
  }
  VMUtils::MutexLock(agent->GetRequestMutex());
  if (stops) VMUtils::MutexLock(agent->GetStopMutex());
  locked = true;
}

/* ---- the exported entries ---- */

JNIEXPORT void* HOSTCALL JNI_DebugAttach(const char* name) {
  JavaVM* record = NULL;
  {
    VMUtils::GlobalMutexGuardIfSetUp guard;
    if (!guard.Held()) return NULL;
    for (JavaVM* r = VMUtils::GetVMList(); r != NULL && record == NULL; r = r->next) {
      if (r->vm == NULL || r->terminating != 0) continue;
      if (name == NULL || (r->name != NULL && strcmp(r->name, name) == 0)) record = r;
    }
    if (record == NULL || record->vm->GetDebugger() != NULL) return NULL;
    // Counted as an attach under way: a destroyer or an abandon that marks the record
    // meanwhile waits for it before it frees anything. The mutex is not held across the
    // attach, which may wait for a collection that waits for a thread at this mutex.
    record->attaching++;
  }
  // The agent is made on the client's thread attached to the machine, out of the
  // debugger's reach like every client call.
  JNIHostFunctions* host = Host();
  JNIEnv* saved = host->GetCurrentEnv();
  bool attached = false;
  JNIEnv* env = BindClient(record, saved, &attached);
  VMDebugger* agent = NULL;
  if (env != NULL) {
    if (attached) {
      env->debug &= ~0xFFu;
      env->thread->ClearDebuggerAttachRequested();
    }
    agent = VMDebugger::CreateInstance(record->vm);
    bool stands = false;
    if (agent != NULL) {
      // Another client may have attached meanwhile, or the machine's end begun.
      VMUtils::GlobalMutexGuard guard;
      stands = record->terminating == 0 && record->vm->GetDebugger() == NULL;
      if (stands) record->vm->SetDebugger(agent);
    }
    if (agent != NULL && !stands) {
      agent->Destroy(agent->GetHeap());
      agent = NULL;
    }
    UnbindClient(record, env, saved, attached);
  }
  VMUtils::GlobalMutexGuard guard;
  record->attaching--;
  return agent;
}

JNIEXPORT void HOSTCALL JNI_DebugDetach(void* pointer) {
  VMDebuggerCall call;
  if (!call.Begin(pointer, true)) return;
  VMDebugger* agent = call.agent;
  VM* vm = agent->GetVM();
  bool current = false;
  {
    VMUtils::GlobalMutexGuard guard;
    // Only the machine's current agent detaches, once: a detached agent is refused.
    if (vm->GetDebugger() == agent && !agent->GetDetached()) {
      agent->SetDetached();
      current = true;
    }
  }
  if (current) {
    bool connected = agent->GetIsConnected();
    agent->Disconnect();
    // Nothing reaches the tables of a detached agent: a long-lived machine that clients
    // attach to again and again keeps only the small records.
    VMUtils::MutexLock(agent->GetClassLoadMutex());
    agent->ReleaseTables(agent->GetHeap());
    VMUtils::MutexUnlock(agent->GetClassLoadMutex());
    VMUtils::GlobalMutexGuard guard;
    agent->SetNextDeadDebugger(vm->GetDeadDebuggers());
    vm->SetDeadDebuggers(agent);
    vm->SetDebugger(NULL);
    // A client that leaves before it ever connected leaves no creation waiting for it:
    // the machine goes on without a debugger.
    if (!connected) {
      JavaVM* record = vm->GetJVM();
      record->debugWait &= ~0xFFu;
      record->debuggerConnected &= ~0xFFu;
    }
  }
  call.End();
}

JNIEXPORT uint32_t HOSTCALL JNI_DebugRequest(void* pointer, void* inContext, JNIDebugIOCallback read, void* outContext,
                                             JNIDebugIOCallback write) {
  VMDebuggerCall call;
  if (!call.Begin(pointer, true)) return 0xFFFFFFFFu;
  // A detached agent serves nothing: no client reaches what it would set or hand out.
  if (call.agent->GetDetached()) {
    call.End();
    return 0xFFFFFFFFu;
  }
  call.HoldStops();
  uint32_t result = call.agent->DispatchRequest(&call, inContext, read, outContext, write);
  call.End();
  return result;
}

JNIEXPORT jbyte HOSTCALL JNI_DebugEventPending(void* pointer) {
  if (pointer == NULL) return (jbyte)255;
  // Carried like every client call (Begin ends a failed connection): the records the
  // connection's end frees are walked by any collection of the machine, which waits for
  // a carried call.
  VMDebuggerCall call;
  if (call.Begin(pointer, false)) {
    call.agent->Connect();
    int32_t kind = call.agent->EventPending(false);
    call.End();
    return kind != 0 ? 1 : 0;
  }
  VMDebugger* agent = Claim(pointer);
  if (agent == NULL) return (jbyte)255;
  // Not carried: a poll from inside a call this thread carries already, or a thread the
  // machine could not take. Only the former may end a failed connection; the latter
  // leaves it to the next carried call.
  VMThread* me = VMThread::Current();
  if (me != NULL && me->GetVM() == agent->GetVM() && me->GetServingDebugger()) EndFailedConnection(agent);
  agent->Connect();
  int32_t kind = agent->EventPending(false);
  Unclaim(agent);
  return kind != 0 ? 1 : 0;
}

JNIEXPORT JavaVM* HOSTCALL JNI_DebugWaitForVM() {
  VMUtils::GlobalMutexGuardIfSetUp guard;
  if (!guard.Held()) return NULL;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next)
    if ((r->debugWait & 0xFF) != 0) return r;
  return NULL;
}

JNIEXPORT void HOSTCALL JNI_DebugReleaseVM(JavaVM* record) {
  VMUtils::GlobalMutexGuardIfSetUp guard;
  if (!guard.Held()) return;
  // Only a listed record is written: a stale pointer is not followed.
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next) {
    if (record != NULL && r != record) continue;
    r->debugWait &= ~0xFFu;
    r->debuggerConnected &= ~0xFFu;
  }
}

JNIEXPORT void HOSTCALL JNI_DebugEnableVMCreation(jboolean enable) {
  VMUtils::GlobalMutexGuardIfSetUp guard;
  if (!guard.Held()) return;
  int32_t count = VMUtils::GetDisableVMCreation();
  if ((enable & 0xFF) == 0) {
    VMUtils::SetDisableVMCreation(count + 1);
    return;
  }
  // An enable with no disable to undo (none made, or one the last machine's end released
  // with the process state) does nothing: below zero, the count would hold every destroy
  // for good.
  VM_ASSERT(count > 0);
  if (count > 0) VMUtils::SetDisableVMCreation(count - 1);
}

JNIEXPORT jint HOSTCALL JNI_DebugGetExistingVMs(JavaVM** buffer, uint32_t capacity, uint32_t* total) {
  VMUtils::GlobalMutexGuardIfSetUp guard;
  if (!guard.Held()) {
    if (total != NULL) *total = 0;
    return 0;
  }
  uint32_t count = 0;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next) {
    if ((r->debugWait & 0xFF) != 0) continue;
    if (buffer != NULL && count < capacity) buffer[count] = r;
    count++;
  }
  if (total != NULL) *total = count;
  return 0;
}

JNIEXPORT void HOSTCALL JNI_DebugSetLoaderID(void* pointer, void* loaderId) {
  VMDebugger* agent = Claim(pointer);
  if (agent == NULL) return;
  agent->SetLoaderID(loaderId);
  Unclaim(agent);
}
