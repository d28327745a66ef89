/* The invocation interface: creating a machine with its first attached thread, attaching
   and detaching further host threads, listing the machines, and taking a machine down
   (destroying it, or abandoning it to the host), with its destroy callbacks.

   Locks: the global mutex guards the list of created machines (cell 0), each record's
   destroy mark and its count of attaches under way, and is held through the making of
   a machine up to its listing; the name space's spin lock guards the name space's
   machine count (inside VM::CreateInstance, Destroy and Uncount). The global mutex is
   never taken under the spin lock, and no lock is held while a machine waits (300 ms
   polls; 1 ms for an attach under way, which takes microseconds). */
#include <string.h>

#include "vm.h"
#include "vmdebugger.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjni_functions.h"
#include "vmnamespace.h"
#include "vmupcalls.h"
#include "vmthread.h"
#include "vmutils.h"

static JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

static bool CellsExist() { return Host() != NULL && Host()->GetGlobalCell(0) != NULL; }

/* Under the global mutex. */
static bool IsListed(JavaVM* record) {
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next)
    if (r == record) return true;
  return false;
}

/* What the host knows of the calling thread: its current env, and so its machine. A
   failed attach puts this back instead of leaving the thread bound to nothing. */
static void RestoreHostBinding(JNIEnv* saved) {
  JNIHostFunctions* host = Host();
  host->AttachThreadEnv(saved != NULL ? saved->javaVM : NULL, saved);
  host->SetCurrentEnv(saved);
}

/* ---- envs and attachment ---- */

JNIEnv* VMJniCreateEnv(JavaVM* javaVM) {
  JNIEnv* env = (JNIEnv*)Host()->HeapAlloc(NULL, sizeof(JNIEnv), jallocFailFast);
  if (env == NULL) return NULL;
  memset(env, 0, sizeof(JNIEnv));
  env->functions = &VMJniEnvFunctionTable;
  env->javaVM = javaVM;
  return env;
}

int VMJniAttachEnv(JavaVM* javaVM, JNIEnv* env, JNIEnv** displaced) {
  JNIHostFunctions* host = Host();
  JNIEnv* saved = host->GetCurrentEnv();
  host->AttachThreadEnv(javaVM, env);
  host->SetCurrentEnv(env);
  VM* vm = javaVM->vm;
  VMThread* thread = vm != NULL ? vm->AttachThread(env, displaced) : NULL;
  if (thread == NULL) {
    // A new thread's record the heap refused. Read again: the attach may have waited
    // for a collection, and the host may have moved the machine meanwhile.
    if (vm != NULL) thread = javaVM->vm->AttachAfterCollection(env);
    if (thread == NULL) {
      RestoreHostBinding(saved);
      return -1;
    }
  }
  env->thread = thread;
  // Read again: a thread attached already parks for a collection in its attach, as at a
  // poll, and the host may move the machine meanwhile.
  if (VMDebugger* agent = javaVM->vm->GetDebugger()) agent->RequestThreadAttach(thread);
  return 0;
}

int VMJniCreateJavaLangThread(JavaVM* javaVM, JNIEnv* env) {
  VM* vm = javaVM != NULL ? javaVM->vm : NULL;
  VMNameSpace* ns = javaVM != NULL ? javaVM->nameSpace : NULL;
  if (vm == NULL || ns == NULL) return -1;
  if (ns->GetForCompiler() || !vm->GetEnableThreads()) return 0;
  return vm->CreateJavaLangThread(env) ? 0 : -1;
}

int VMJniDetachEnv(JavaVM* javaVM) {
  JNIHostFunctions* host = Host();
  VM* vm = javaVM != NULL ? javaVM->vm : NULL;
  if (vm == NULL) return 0;
  // Locals are dead once the env goes; the thread's record outlives it and would keep
  // their objects. Emptied before the detach: afterwards the exit-time pass of another
  // thread may drop the record.
  JNIEnv* current = host->GetCurrentEnv();
  if (current != NULL && current->javaVM == javaVM && current->thread != NULL)
    current->thread->GetJNIHandleArray()->Clear(1);
  JNIEnv* env = vm->DetachThread();
  if (env != NULL) {
    env->thread = NULL;
    if (host->GetCurrentEnv() == env) host->SetCurrentEnv(NULL);
    host->HeapFree(NULL, env);
  }
  return 0;
}

void VMJniClearHostEnv() { Host()->AttachThreadEnv(NULL, NULL); }

/* Attaches the calling thread with a new env; then what the variant adds. Every failure
   leaves the thread as it found it. */
enum AttachKind { AttachMakingObject, AttachNoObject, AttachWithObject, AttachNoObjectChecked };

/* Whether the machine is listed and no DestroyJavaVM has begun on it. When it is, the
   attach is under way until EndAttach: a destroyer that begins meanwhile waits for it
   before it counts the threads, so that no attach goes on with a machine being freed.
   A host thread (byHost) is let in only once the creation has finished: the machine is
   listed before its class library starts, which the creating thread does alone, and a
   creation waiting for a debugger would hold a waiting attach for as long as it waits.
   A thread that runs in the machine already (its current env the machine's, as the
   creating thread's is in a host call the creation makes) attaches again as ever. */
static bool RunsIn(JavaVM* javaVM) {
  JNIEnv* current = Host()->GetCurrentEnv();
  return current != NULL && current->javaVM == javaVM && current->thread != NULL;
}

static bool BeginAttach(JavaVM* javaVM, bool byHost) {
  if (!VMUtils::LockGlobalMutexIfSetUp()) return false;
  const bool open = IsListed(javaVM) && javaVM->terminating == 0 &&
                    (!byHost || javaVM->vm->GetInitialized() || RunsIn(javaVM));
  if (open) javaVM->attaching++;
  VMUtils::UnlockGlobalMutex();
  return open;
}

/* Called by an attach under way: the record is still there. */
static bool DestroyBegun(JavaVM* javaVM) {
  VMUtils::GlobalMutexGuard guard;
  return javaVM->terminating != 0;
}

/* The last the attach reads of the record unless it attached: a destroyer that waited
   for it may free the record now, and then finds an attached thread in the machine. */
static void EndAttach(JavaVM* javaVM) {
  VMUtils::GlobalMutexGuard guard;
  javaVM->attaching--;
}

static uint32_t AttachesUnderWay(JavaVM* javaVM) {
  VMUtils::GlobalMutexGuard guard;
  return javaVM->attaching;
}

/* A sleep of a machine's end, declared: the threads it waits for may need collections,
   which an attached caller (own, its env in the machine) would hold up for as long as it
   waits. The host may move the machine meanwhile: the caller's record is read through
   the env, whose word the move rewrites, on each side of the sleep. */
static void SleepDeclared(JNIEnv* own, jlong ms) {
  VM::EnterSafeRegion(own != NULL ? own->thread : NULL);
  Host()->Sleep(ms);
  // The host's sleep may have attached the thread again (a host call the creation's
  // debugger wait makes): the new env took the old one's place, and only its word
  // follows a move.
  JNIEnv* now = own != NULL ? Host()->GetCurrentEnv() : NULL;
  if (now != NULL && now != own && now->javaVM == own->javaVM && now->thread != NULL) own = now;
  VM::LeaveSafeRegion(own != NULL ? own->thread : NULL);
}

/* Waits until every attach that passed BeginAttach before the record was marked has
   ended; the mark keeps new ones out. An attach may wait for a collection. */
static void WaitForAttachesUnderWay(JavaVM* javaVM, JNIEnv* own) {
  while (AttachesUnderWay(javaVM) != 0) SleepDeclared(own, 1);
}

/* Whether a client call that found the machine listed still runs, on its current agent
   or on a detached one: it binds its thread to the machine, uncounted, and reads the
   name space to its end. A detach moves its agent to the dead list under this mutex;
   once the record is unlisted no call begins. */
static bool ClientCallsUnderWay(VM* vm) {
  VMUtils::GlobalMutexGuard guard;
  VMDebugger* current = vm->GetDebugger();
  if (current != NULL && __atomic_load_n(current->GetBusy(), __ATOMIC_ACQUIRE) != 0) return true;
  for (VMDebugger* d = vm->GetDeadDebuggers(); d != NULL; d = d->GetNextDeadDebugger())
    if (__atomic_load_n(d->GetBusy(), __ATOMIC_ACQUIRE) != 0) return true;
  return false;
}

/* Takes back an attach that joined the machine but may not stand. A thread that was
   attached before (by earlier) still runs in the machine, and a destroyer counts it by
   that attachment: it goes back to that env with its locals and monitors, and only the
   new env goes. A thread that was not attached leaves again. */
static void TakeBackAttach(JavaVM* javaVM, JNIEnv* env, JNIEnv* earlier, JNIEnv* saved) {
  if (earlier == NULL) {
    VMJniDetachEnv(javaVM);
  } else {
    javaVM->vm->RebindThread(env->thread, earlier);
    env->thread = NULL;
    Host()->HeapFree(NULL, env);
  }
  RestoreHostBinding(saved);
}

static int Attach(JavaVM* javaVM, JNIEnv** envOut, AttachKind kind, VMJavaLangThread* object) {
  // The debugger's client (the only attach without a thread object) is bound for each
  // of its calls, also while the destroyer waits for it to leave, before anything is
  // freed.
  const bool checked = kind != AttachNoObject;
  if (javaVM == NULL || envOut == NULL || (checked && !BeginAttach(javaVM, kind == AttachMakingObject))) return -1;
  JNIHostFunctions* host = Host();
  JNIEnv* saved = host->GetCurrentEnv();
  VM* vm = javaVM->vm;
  // Only this thread changes its own attachment, so the env the attach displaces is
  // still its env when the attach is taken back.
  JNIEnv* earlier = NULL;
  JNIEnv* env = vm != NULL ? VMJniCreateEnv(javaVM) : NULL;
  bool attached = env != NULL && VMJniAttachEnv(javaVM, env, &earlier) == 0;
  if (env != NULL && !attached) host->HeapFree(NULL, env);
  // A destroyer that began while this thread was joining has not counted the new
  // attachment: it is taken back before anything runs by it, while the destroyer still
  // waits for it.
  bool refused = attached && checked && DestroyBegun(javaVM);
  if (refused) TakeBackAttach(javaVM, env, earlier, saved);
  if (checked) EndAttach(javaVM);
  if (!attached || refused) return -1;
  VMJavaLangThread* known = earlier != NULL ? env->thread->GetJavaLangThread() : NULL;
  if (kind == AttachWithObject) {
    env->thread->SetJavaLangThreadAndName(object);
  } else if (kind == AttachMakingObject && known != NULL) {
    // A thread attached already keeps its Thread as Java code knows it (its name,
    // priority and group as that code left them, a started Thread counted in its own
    // group): only the word by which the machine finds the thread follows the new env.
    upcall::JavaLangThreadMoveNativeThread(env, known, earlier);
  } else if (kind == AttachMakingObject && VMJniCreateJavaLangThread(javaVM, env) != 0) {
    TakeBackAttach(javaVM, env, earlier, saved);
    return -1;
  }
  *envOut = env;
  return 0;
}

int VMJniAttachCurrentThreadNoObject(JavaVM* javaVM, JNIEnv** envOut, void*) {
  return Attach(javaVM, envOut, AttachNoObject, NULL);
}

int VMJniAttachCurrentThreadWithObject(JavaVM* javaVM, JNIEnv** envOut, VMJavaLangThread* thread) {
  return Attach(javaVM, envOut, AttachWithObject, thread);
}

/* The finalizer thread's attach: the record and the Thread the creation made for it,
   the Thread filled as an attached thread's but in no group's members, a daemon. */
int VMJniAttachFinalizerThread(JavaVM* javaVM, JNIEnv** envOut) {
  VM::SetAttachingFinalizer(true);
  int result = Attach(javaVM, envOut, AttachNoObjectChecked, NULL);
  VM::SetAttachingFinalizer(false);
  if (result != 0) return result;
  JNIEnv* env = *envOut;
  VM* vm = javaVM->vm;
  VMJavaLangThread* object = (VMJavaLangThread*)vm->GetReference(VM::FinalizerObjectWord);
  vm->SetReference(VM::FinalizerObjectWord, NULL);
  if (object == NULL || !env->thread->GetFinalizerThread()) {
    VMJniDetachEnv(javaVM);
    if (Host()->GetCurrentEnv() == NULL) VMJniClearHostEnv();
    return -1;
  }
  env->thread->SetJavaLangThreadAndName(object);
  jobject local = VMJniHandle::NewLocal(env, (VMObject*)object);
  if (local == NULL || !upcall::JavaLangThreadInitAttached(env, local)) {
    env->thread->SetException(NULL);
    VMJniDetachEnv(javaVM);
    if (Host()->GetCurrentEnv() == NULL) VMJniClearHostEnv();
    return -1;
  }
  env->functions->DeleteLocalRef(env, local);
  return 0;
}

VMDebugger* VMJniWaitForDebugger(JavaVM* javaVM) {
  for (;;) {
    // Released (the debug-wait byte cleared) or no machine: no debugger.
    if ((javaVM->debugWait & 0xFF) == 0) return NULL;
    VMDebugger* agent = javaVM->vm->GetDebugger();
    if (agent != NULL) {
      if (agent->GetIsConnected()) return agent;
      // An agent that goes before it connected must not leave creation waiting on it:
      // the loop starts over with whatever agent comes next.
    }
    // A destroyer waits for this thread to leave: the creation gives up.
    if (DestroyBegun(javaVM)) return NULL;
    // Declared: the client attaches to connect, which may wait for a collection.
    SleepDeclared(Host()->GetCurrentEnv(), 300);
  }
}

namespace VMJniInvoke {

jint AttachCurrentThread(JavaVM* vm, JNIEnv** envOut, void*) {
  return Attach(vm, envOut, AttachMakingObject, NULL);
}

jint DetachCurrentThread(JavaVM* vm) {
  JNIHostFunctions* host = Host();
  JNIEnv* env = host->GetCurrentEnv();
  // Returning into Java or native frames of a freed env would use freed memory, and so
  // would a client call the thread carries (a host detaching in the call's read).
  if (env != NULL && env->javaVM == vm && env->thread != NULL) {
    VMFrame* frame = env->thread->GetFrame();
    if ((frame != NULL && !frame->GetIsFirstFrame()) || env->thread->GetServingDebugger()) return -1;
  }
  VMJniDetachEnv(vm);
  // A binding to another machine's env stays.
  if (host->GetCurrentEnv() == NULL) VMJniClearHostEnv();
  return 0;
}

jint GetEnv(JavaVM*, void** envOut, jint) {
  JNIEnv* env = Host() != NULL ? Host()->GetCurrentEnv() : NULL;
  if (envOut != NULL) *envOut = env;
  return env != NULL ? 0 : -2;
}

}  // namespace VMJniInvoke

/* ---- creation ---- */

JNIEXPORT void HOSTCALL JNI_GetDefaultJavaVMInitArgs(JNICreateArgs* args) {
  if (args == NULL) return;
  memset(args, 0, sizeof *args);
  args->stackSize = 1024;
  args->name = "";
  args->unused20 = 0x7FFFFFFF;
  args->runVerifier = 1;
  args->enableThreads = 1;
  args->jdkVersion = 1;
}

/* What a creation has made so far, for its own teardown. */
struct Creation {
  JavaVM* record = NULL;
  JNIEnv* env = NULL;
  VMNameSpace* ownNameSpace = NULL;
  bool attached = false;
  bool listed = false;
  JNIEnv* savedEnv = NULL;
};

static void FreeRecord(JavaVM* record) {
  JNIHostFunctions* host = Host();
  if (record->name != NULL) host->HeapFree(NULL, record->name);
  host->HeapFree(NULL, record);
}

/* Takes back a failed creation: never waits for attached threads the way DestroyJavaVM
   does (a failed attach leaves none, and an unlisted machine was never seen), and
   releases a record only it made. Called with the global mutex held exactly when the
   record is not listed. */
static jint CreationFailed(Creation& c, JavaVM** vmOut, JNIEnv** envOut) {
  *vmOut = NULL;
  *envOut = NULL;
  JavaVM* record = c.record;
  if (c.listed) {
    // Listed, it could be found: whoever marks it first takes it down. A destroyer (or an
    // abandon) that marked it before has it, and waits for this thread to leave: once it
    // has, the record may be gone.
    bool taken;
    {
      VMUtils::GlobalMutexGuard guard;
      taken = record->terminating != 0;
      record->terminating = 1;
      if (!taken) VMJniUnlinkJavaVM(record);
    }
    if (taken) {
      VMJniDetachEnv(record);
      RestoreHostBinding(c.savedEnv);
      return -1;
    }
  }
  if (record != NULL) {
    if (c.attached) {
      VMJniDetachEnv(record);
    } else if (c.env != NULL) {
      Host()->HeapFree(NULL, c.env);
    }
    if (c.listed) {
      // Attaches under way end first (each refused by the mark), and threads that
      // attached meanwhile are stopped. The host may move the machine while this waits
      // (its creator has left it): it is read after.
      WaitForAttachesUnderWay(record, NULL);
      if (record->vm != NULL && record->vm->GetThreadsAttached() > 0) record->vm->StopAllOtherThreads();
    }
    VM* vm = record->vm;
    if (vm != NULL) {
      if (vm->Destroy() == 0) record->nameSpace->Destroy();
    } else if (c.ownNameSpace != NULL) {
      c.ownNameSpace->Destroy();
    }
    if (c.listed) VMJniRunDestroyCallbacks(record);
    FreeRecord(record);
  }
  RestoreHostBinding(c.savedEnv);
  if (!c.listed) VMUtils::UnlockGlobalMutex();
  VMUtils::Fini();
  return -1;
}

JNIEXPORT jint HOSTCALL JNI_CreateJavaVM(JavaVM** vmOut, JNIEnv** envOut, JNICreateArgs* args) {
  if (vmOut == NULL || envOut == NULL) return -1;
  *vmOut = NULL;
  *envOut = NULL;
  if (args == NULL || args->host == NULL || args->name == NULL) return -1;
  VMUtils::Init(args->host);
  JNIHostFunctions* host = Host();
  if (host == NULL) return -1;
  Creation c;
  c.savedEnv = host->GetCurrentEnv();
  VMUtils::LockGlobalMutex();
  // The process state may have been released between Init and here; the lock makes it
  // again, and without it nothing can be listed.
  if (!CellsExist()) {
    VMUtils::UnlockGlobalMutex();
    return -1;
  }

  JavaVM* record = (JavaVM*)host->HeapAlloc(NULL, sizeof(JavaVM), jallocFailFast);
  if (record == NULL) return CreationFailed(c, vmOut, envOut);
  memset(record, 0, sizeof *record);
  c.record = record;
  record->functions = &VMJniInvokeFunctionTable;
  uint32_t nameLength = (uint32_t)strlen(args->name);
  record->name = (char*)host->HeapAlloc(NULL, nameLength + 1, jallocFailFast);
  if (record->name == NULL) return CreationFailed(c, vmOut, envOut);
  memcpy(record->name, args->name, nameLength + 1);

  c.env = VMJniCreateEnv(record);
  if (c.env == NULL) return CreationFailed(c, vmOut, envOut);

  JavaVM* share = args->shareNameSpaceOf;
  if (share != NULL) {
    // Only a listed machine that is not being destroyed lends its name space: the count
    // it gets below then keeps the name space alive.
    if (!IsListed(share) || share->terminating != 0 || share->nameSpace == NULL)
      return CreationFailed(c, vmOut, envOut);
    record->nameSpace = share->nameSpace;
  } else {
    VMNameSpace* ns = VMNameSpace::CreateInstance();
    if (ns == NULL) return CreationFailed(c, vmOut, envOut);
    c.ownNameSpace = ns;
    if (args->runVerifier) ns->SetRunVerifier();
    if (args->forCompiler) ns->SetForCompiler();
    ns->SetLibraryVersion(args->jdkVersion);
    record->nameSpace = ns;
  }
  VMNameSpace* ns = record->nameSpace;

  // The machine object is read through the record from here on: once the creation is
  // declared (the debugger wait) or stands at a poll (the class library's start), the host
  // may move it, and the move rewrites the record's word.
  record->vm = VM::CreateInstance(args->stackSize, record);
  if (record->vm == NULL) return CreationFailed(c, vmOut, envOut);
  JNIEnv* env = c.env;
  const bool waitForDebugger = args->waitForDebugger != 0;
  if (waitForDebugger) {
    record->debugWait = 1;
    record->debuggerConnected = 1;
  }
  if (VMJniAttachEnv(record, env) != 0) return CreationFailed(c, vmOut, envOut);
  c.attached = true;
  record->next = VMUtils::GetVMList();
  VMUtils::SetVMList(record);
  c.listed = true;
  // The mutex was taken, and counted as a hold, by the thread as it was bound before the
  // attach: it is given back so. Given back as the new thread, it would leave a hold
  // counted on the thread's record in a machine it ran in before (whose collections then
  // give up whenever it parks) and a release on the new record that no hold matched
  // (whose detach then leaves the monitors it holds taken).
  host->SetCurrentEnv(c.savedEnv);
  VMUtils::UnlockGlobalMutex();
  host->SetCurrentEnv(env);

  env->debug = 0;
  const bool debugged = waitForDebugger && VMJniWaitForDebugger(record) != NULL;
  if (waitForDebugger && !debugged && DestroyBegun(record)) return CreationFailed(c, vmOut, envOut);
  if (waitForDebugger) {
    // A host call of the wait may have attached this thread again: the creation goes on
    // with the env that names the thread now (the displaced one is the host's, as after
    // any second attach).
    env = record->vm->AttachedEnvOfCurrentThread();
    if (env == NULL) return CreationFailed(c, vmOut, envOut);
  }
  if (ns->GetLibraryVersion() >= 2 && args->enableThreads) record->vm->SetEnableThreads();
  if (!ns->Initialize(env)) return CreationFailed(c, vmOut, envOut);
  // A name space that serves a compiler runs no Java code, and initialising the error's
  // class could: its machines go without the pre-made error.
  if (!ns->GetForCompiler()) {
    VMJavaLangThrowable* oom = VMJavaLangOutOfMemoryError::CreateInstance(env);
    if (oom == NULL) return CreationFailed(c, vmOut, envOut);
    record->vm->SetOutOfMemoryError(oom);
  }
  if (ns->GetLibraryVersion() < 2) {
    if (args->enableThreads) record->vm->SetEnableThreads();
    if (VMJniCreateJavaLangThread(record, env) != 0) return CreationFailed(c, vmOut, envOut);
  }
  // Without threads (or Java) finalizers run in passes, as a refused thread leaves them.
  if (!ns->GetForCompiler() && record->vm->GetEnableThreads() && record->vm->GetSystemThreadGroup() != NULL)
    record->vm->PrepareFinalizerThread(env);
  if (debugged) {
    env->debug = 1;
    env->thread->SetDebuggerAttachRequested();
    record->debugWait = 0;
  }
  record->vm->SetInitialized();
  *vmOut = record;
  *envOut = env;
  return 0;
}

/* ---- listing ---- */

JNIEXPORT jint HOSTCALL JNI_GetCreatedJavaVMsNoMutex(JavaVM** buffer, jsize bufferLength, jsize* total) {
  if (!CellsExist()) {
    if (total != NULL) *total = 0;
    return 0;
  }
  uint32_t room = buffer != NULL && bufferLength > 0 ? (uint32_t)bufferLength : 0;
  uint32_t count = 0;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next, count++)
    if (count < room) buffer[count] = r;
  if (total != NULL) *total = (jsize)count;
  return 0;
}

JNIEXPORT jint HOSTCALL JNI_GetCreatedJavaVMs(JavaVM** buffer, jsize bufferLength, jsize* total) {
  // Before the first machine and after the last there is no list, and taking the mutex
  // would make one.
  if (!VMUtils::LockGlobalMutexIfSetUp()) {
    if (total != NULL) *total = 0;
    return 0;
  }
  jint result = JNI_GetCreatedJavaVMsNoMutex(buffer, bufferLength, total);
  VMUtils::UnlockGlobalMutex();
  return result;
}

/* ---- destruction ---- */

int VMJniUnlinkJavaVM(JavaVM* javaVM) {
  if (javaVM == NULL || !CellsExist()) return -1;
  VMUtils::GlobalMutexGuard guard;
  JavaVM* previous = NULL;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; previous = r, r = r->next) {
    if (r != javaVM) continue;
    if (previous == NULL)
      VMUtils::SetVMList(r->next);
    else
      previous->next = r->next;
    r->next = NULL;
    return 0;
  }
  return -1;
}

/* The attached threads other than the caller that keep the machine from ending: those
   without a daemon Thread object. Read one record at a time under the spin lock that
   guards the array's growth; the daemon test of an attached caller runs outside it. */
static uint32_t OtherNonDaemonThreads(VM* vm) {
  VMNameSpace* ns = vm->GetNameSpace();
  void* me = Host()->CurrentThreadId();
  VMThread* caller = VMThread::Current();
  const bool here = caller != NULL && caller->GetVM() == vm;
  uint32_t count = 0;
  for (uint32_t i = 1;; i++) {
    VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - DestroyJavaVM");
    VMThreadHandleArray* threads = vm->GetThreads();
    bool more = threads != NULL && i < threads->GetCount();
    VMThread* thread = more ? threads->Get(i) : NULL;
    // A client's thread, attached for its call alone, is the client's, not the machine's:
    // the call ends by itself once the agent is not connected. A host thread that carries
    // a call through its own attachment is the machine's, Thread object or not.
    bool candidate = thread != NULL && thread->GetEnv() != NULL && thread->GetId() != me &&
                     !thread->GetAttachedForClientCall();
    // A caller that is not attached holds up no collection, and a collection drops the
    // records of threads that have ended: its test is made under the lock. It takes a
    // thread with a Thread object for a daemon, as GetIsDaemon does for it.
    bool outside = candidate && !here;
    if (outside && thread->GetJavaLangThread() == NULL) count++;
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - DestroyJavaVM");
    if (!more) return count;
    // An attached caller stands still here (the test allocates nothing that collects), so
    // no collection can drop the record meanwhile.
    if (candidate && !outside && !thread->GetIsDaemon()) count++;
  }
}

namespace VMJniInvoke {

jint DestroyJavaVM(JavaVM* record) {
  if (record == NULL || !CellsExist()) return -1;
  JNIHostFunctions* host = Host();
  JNIEnv* current = host->GetCurrentEnv();
  bool refused = false;
  {
    // One destroyer per machine, and only of a listed one: the mark also keeps a shared
    // name space from being lent out now, and the debugger from picking the machine.
    // The last machine may end while this thread waits for the mutex.
    VMUtils::GlobalMutexGuardIfSetUp guard;
    if (!guard.Held() || !IsListed(record)) return -1;
    refused = record->terminating != 0;
    // A caller refused for another destroyer that runs in the machine (attached to it,
    // one of its envs current) is one that destroyer waits for, which keeps the record
    // meanwhile: it leaves, as a destroy's caller does, or it would be waited for for good
    // (a host takes a destroy that failed for the end of the machine, and never detaches).
    JNIEnv* attached = refused && current != NULL && current->javaVM == record && record->vm != NULL
                           ? record->vm->AttachedEnvOfCurrentThread()
                           : NULL;
    if (refused && (attached == NULL || attached->thread != current->thread)) return -1;
    record->terminating = 1;
  }
  if (refused) {
    DetachCurrentThread(record);
    return -1;
  }
  // The end runs as the caller's own record in the machine, whatever env the host holds
  // current for it (a thread attached to several machines), or as a thread not attached
  // to it: its waits are declared in this machine, the daemon test and the finalizers are
  // this machine's. The host's binding is given back once the caller has detached.
  JNIEnv* own = current != NULL && current->javaVM == record ? current : record->vm->AttachedEnvOfCurrentThread();
  const bool rebound = own != current;
  if (rebound) {
    host->AttachThreadEnv(own != NULL ? record : NULL, own);
    host->SetCurrentEnv(own);
  }
  const bool callerAttached = own != NULL;
  // The caller declares its waits (SleepDeclared), the debugger's among them: its client
  // attaches to the machine to leave, and may wait for a collection to do so. The host
  // may move the machine meanwhile: the machine and its agent are read again after each.
  WaitForAttachesUnderWay(record, own);
  while (CellsExist() && VMUtils::GetDisableVMCreation() != 0) SleepDeclared(own, 300);
  VMNameSpace* ns = record->nameSpace;
  if (VMDebugger* agent = record->vm->GetDebugger()) {
    agent->NotifyVMTerminating();
    while ((agent = record->vm->GetDebugger()) != NULL && agent->GetIsConnected()) SleepDeclared(own, 300);
  }
  // Non-daemon threads end by themselves; daemon threads are stopped, as at the exit of
  // any program. (A flag is read through the caller's env: a caller that is not attached
  // takes every thread with a Thread object for a daemon, and stops it.) Either way the
  // machine goes only once every other thread has detached, or has been let go in a
  // host wait that a stop does not end.
  while (OtherNonDaemonThreads(record->vm) != 0) SleepDeclared(own, 300);
  VM::EndFinalizerThread(record, own);
  if (record->vm->GetThreadsAttached() > (callerAttached ? 1u : 0u) || record->vm->FinalizerThreadAttached())
    record->vm->StopAllOtherThreads(true);
  record->vm->RunFinalizers();
  VMJniDetachEnv(record);
  if (rebound) RestoreHostBinding(current);
  jint result = VMJniUnlinkJavaVM(record);
  if (result == 0) {
    // A call that claimed its agent before may still bind its thread and move the agent
    // to the dead list; the caller has left the machine, so its sleep holds nothing up.
    // The host may move the machine meanwhile (the call's thread stands outside it).
    while (ClientCallsUnderWay(record->vm)) host->Sleep(1);
    VM* vm = record->vm;
    if (vm->Destroy() == 0) ns->Destroy();
    if (record->name != NULL) host->HeapFree(NULL, record->name);
    record->name = NULL;
    VMJniRunDestroyCallbacks(record);
    host->HeapFree(NULL, record);
    VMUtils::Fini();
  }
  if (host->GetCurrentEnv() == NULL) VMJniClearHostEnv();
  return result;
}

/* Under the global mutex, the record listed: whether the calling thread is initialising
   a class of the name space, which would never finish for its other machines. */
static bool InitialisingAClassOf(VMNameSpace* ns, void* me) {
  for (uint32_t i = 1;; i++) {
    VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - AbandonJavaVM");
    VMClassHandleArray* classes = ns->GetClasses();
    bool more = classes != NULL && i < classes->GetCount();
    VMClass* cls = more ? classes->Get(i) : NULL;
    bool mine = cls != NULL && cls->GetIsLoadable() && (void*)((VMLoadableClass*)cls)->GetThreadDoingInit() == me;
    VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - AbandonJavaVM");
    if (mine) return true;
    if (!more) return false;
  }
}

jint AbandonJavaVM(JavaVM* record) {
  if (record == NULL || !CellsExist()) return -1;
  JNIHostFunctions* host = Host();
  VMNameSpace* ns = NULL;
  {
    // Nothing of the record is read before it is known to be listed and nobody's: a
    // destroy (or another abandon) that has it may free it at any time, and takes it only
    // under this mutex. A machine whose creation is still under way is its
    // creating thread's, which runs in it: not yet the host's to keep.
    VMUtils::GlobalMutexGuardIfSetUp guard;
    if (!guard.Held() || !IsListed(record) || record->terminating != 0 || record->vm == NULL ||
        !record->vm->GetInitialized())
      return -1;
    ns = record->nameSpace;
    if (InitialisingAClassOf(ns, host->CurrentThreadId())) return -1;
    // Nor while a client call runs: a call may wait for the client's next event for good,
    // and the host may try again.
    if (ClientCallsUnderWay(record->vm)) return -1;
    // Marked as a destroy marks it: an attach under way is refused, and nothing it may
    // still read goes before it has ended.
    record->terminating = 1;
    VMJniUnlinkJavaVM(record);
  }
  // Its waits are declared in this machine by the caller's own record there, whatever env
  // the host holds current for it.
  JNIEnv* current = host->GetCurrentEnv();
  JNIEnv* own = current != NULL && current->javaVM == record ? current : record->vm->AttachedEnvOfCurrentThread();
  WaitForAttachesUnderWay(record, own);
  // The finalizer thread is the machine's own, not the host's: it leaves before the host
  // may destroy the heap (one stuck in a finalizer is stopped and left to its stop).
  VM::EndFinalizerThread(record, own, true);
  // The count is the name space's, changed only under its spin lock; the machine is
  // left to the host, so its own Destroy will never lower it.
  if (record->vm->Uncount() == 0) ns->Destroy();
  // The host may destroy the heap at any time now: its list must not outlive it.
  VM::CloseFinalizables(record->vm->GetHeap());
  VMUtils::Fini();
  return 0;
}

jint StopOtherThreads(JavaVM* record) {
  if (record != NULL && record->vm != NULL) record->vm->StopAllOtherThreads();
  return 0;
}

jint AddDestroyCallback(JavaVM* vm, JNIDestroyCallback callback, void* context) {
  return VMJniAddKeyValue(vm, callback, context);
}

jint RemoveDestroyCallback(JavaVM* vm, JNIDestroyCallback callback, void* context) {
  return VMJniRemoveKeyValue(vm, callback, context);
}

}  // namespace VMJniInvoke

/* ---- destroy callbacks ---- */

static VMJniKeyValueNode** CallbackHead(JavaVM* javaVM) {
  return reinterpret_cast<VMJniKeyValueNode**>(&javaVM->destroyCallbacks);
}

/* The list is guarded by the monitor of the record's own machine (re-entrant: the zip
   pool adds its entry while it holds that monitor). */
int VMJniAddKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value) {
  if (javaVM == NULL || javaVM->vm == NULL || key == NULL || value == NULL) return -1;
  VM* vm = javaVM->vm;
  if (vm->MonitorEnter(javaVM->nameSpace) != VMStatus_OK) return -1;
  int result = 0;
  VMJniKeyValueNode** link = CallbackHead(javaVM);
  for (; *link != NULL; link = &(*link)->next) {
    if ((*link)->key == key && (*link)->value == value) result = -1;
  }
  if (result == 0) {
    VMJniKeyValueNode* node =
        (VMJniKeyValueNode*)Host()->HeapAlloc(NULL, sizeof(VMJniKeyValueNode), jallocFailFast);
    if (node == NULL) {
      result = -1;
    } else {
      node->next = NULL;
      node->key = key;
      node->value = value;
      *link = node;
    }
  }
  vm->MonitorExit(javaVM->nameSpace);
  return result;
}

int VMJniRemoveKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value) {
  if (javaVM == NULL || javaVM->vm == NULL || key == NULL || value == NULL) return -1;
  VM* vm = javaVM->vm;
  if (vm->MonitorEnter(javaVM->nameSpace) != VMStatus_OK) return -1;
  VMJniKeyValueNode* found = NULL;
  for (VMJniKeyValueNode** link = CallbackHead(javaVM); *link != NULL; link = &(*link)->next) {
    if ((*link)->key == key && (*link)->value == value) {
      found = *link;
      *link = found->next;
      break;
    }
  }
  vm->MonitorExit(javaVM->nameSpace);
  if (found == NULL) return -1;
  Host()->HeapFree(NULL, found);
  return 0;
}

void VMJniRunDestroyCallbacks(JavaVM* javaVM) {
  if (javaVM == NULL) return;
  VMJniKeyValueNode* node = *CallbackHead(javaVM);
  *CallbackHead(javaVM) = NULL;
  for (VMJniKeyValueNode* n = node; n != NULL; n = n->next) n->key(n->value);
  while (node != NULL) {
    VMJniKeyValueNode* next = node->next;
    Host()->HeapFree(NULL, node);
    node = next;
  }
}
