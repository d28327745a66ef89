/* Class loaders by host id, and the names of class files read without a machine. The
   host names its loaders by opaque words; the name space keeps one loader per id. */
#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmclassloader.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmupcalls.h"
#include "vmutils.h"

static VMNameSpace* NameSpaceOf(JNIEnv* env) {
  return env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}

/* The loader a reference names; NULL for 0, a deleted reference or any other object. */
static VMClassLoader* LoaderOf(JNIEnv* env, jobject ref) {
  VMObject* object = VMJniHandle::UnHandle(env, ref);
  return object != NULL && object->GetTag() == VMTag_VMClassLoader ? (VMClassLoader*)object : NULL;
}

JNIEXPORT jobject HOSTCALL JNI_CreateClassLoaderLite(JNIEnv* env, void* loaderId) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMClassLoader* loader = ns != NULL ? ns->FindOrCreateLoader(loaderId) : NULL;
  return loader != NULL ? VMJniHandle::NewLocal(env, (VMObject*)loader) : NULL;
}

JNIEXPORT jobject HOSTCALL JNI_FindClassLoaderLite(JNIEnv* env, void* loaderId) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMClassLoader* loader = ns != NULL ? ns->FindLoader(loaderId) : NULL;
  return loader != NULL ? VMJniHandle::NewLocal(env, (VMObject*)loader) : NULL;
}

/* The count is the host's: the library neither reads it nor bounds it. */
JNIEXPORT void HOSTCALL JNI_IncRefClassLoaderLite(JNIEnv* env, jobject loader) {
  if (VMClassLoader* l = LoaderOf(env, loader)) l->SetRefCount(l->GetRefCount() + 1);
}

JNIEXPORT void HOSTCALL JNI_DecRefClassLoaderLite(JNIEnv* env, jobject loader) {
  if (VMClassLoader* l = LoaderOf(env, loader)) l->SetRefCount(l->GetRefCount() - 1);
}

JNIEXPORT jint HOSTCALL JNI_GetRefClassLoaderLite(JNIEnv* env, jobject loader) {
  VMClassLoader* l = LoaderOf(env, loader);
  return l != NULL ? l->GetRefCount() : 0;
}

/* Whether a handle array slot names one of the loader's classes or their members. */
static bool BelongsTo(VMObject* object, VMClassLoader* loader) {
  if (object == NULL) return false;
  if (object->GetTag() == VMClass::Tag) return ((VMClass*)object)->GetClassLoader() == loader;
  if (object->GetTag() == VMMethod::Tag || object->GetTag() == VMTag_VMDataMember) {
    VMLoadableClass* owner = ((VMMember*)object)->GetDefinedIn();
    return owner != NULL && ((VMClass*)owner)->GetClassLoader() == loader;
  }
  return false;
}

/* Whether a word names the loader, one of its classes or a member of one. */
static bool NamesLoader(VMObject* object, VMClassLoader* loader) {
  return object != NULL && (object == (VMObject*)loader || BelongsTo(object, loader));
}

static void Purge(VMObjectHandleArray* array, VMClassLoader* loader) {
  if (array == NULL) return;
  for (uint32_t i = 1; i < array->GetCount(); i++)
    if (NamesLoader(array->Get(i), loader)) array->Delete(i);
}

/* ---- whether a loader's classes are still in use ---- */

/* An array class belongs to the loader of its innermost element class. */
static bool OwnedBy(VMClass* cls, VMClassLoader* loader) { return cls != NULL && cls->GetClassLoader() == loader; }

/* One machine's part in a loader's destruction, done while every other thread of the
   machine stands still, around a collection (collected tells that it ran). */
struct LoaderSurvey {
  VM* vm;
  VMClassLoader* loader;
  bool collected;
  bool used;
  upcall::DescriptionTables described;
  bool due;     // the machine had objects whose finalizers had not run yet
};

static VMCommonObjectBase::WalkResult NoteName(VMword* slot, void* context) {
  LoaderSurvey* survey = (LoaderSurvey*)context;
  if (!NamesLoader((VMObject*)*slot, survey->loader)) return VMCommonObjectBase::WalkDone;
  survey->used = true;
  return VMCommonObjectBase::WalkAbort;
}

static bool NoteFrameName(VMword* slot, void* context) {
  return NoteName(slot, context) != VMCommonObjectBase::WalkAbort;
}

/* The storage of a thread's local references, which are emptied instead. */
static bool IsLocalStorage(VM* vm, VMObject* block) {
  VMThreadHandleArray* threads = vm->GetThreads();
  for (uint32_t i = 1; threads != NULL && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    VMObjectHandleArray* locals = t != NULL ? t->GetJNIHandleArray() : NULL;
    if (locals != NULL && (VMObject*)locals->GetArray() == block) return true;
  }
  return false;
}

static jboolean HOSTCALL FindUse(void* block, void* context) {
  LoaderSurvey* survey = (LoaderSurvey*)context;
  VMObject* b = (VMObject*)block;
  if (survey->used || !VMUtils::ValidateTag(b->GetTag()) || !b->GetIsRootObject()) return 1;
  if (OwnedBy(b->GetClass(), survey->loader)) {
    survey->used = true;
    return 1;
  }
  // What goes with the loader, or is emptied of it on the way: its classes' static data,
  // the debuggers' records of its class loads, the threads' local references.
  if (OwnedBy(b->GetStaticDataClass(), survey->loader) || b->GetTag() == VMTag_VMDebuggerClassLoad ||
      b->GetTag() == VMTag_VMDebuggerClassesLoadedArray ||
      (b->GetTag() == VMTag_VMObjectHandleArray && IsLocalStorage(survey->vm, b)))
    return 1;
  // A class object, reflected member or the loader itself held in a field or element.
  (void)b->VisitReferences(NoteName, survey);
  return 1;
}

/* A look's first half, with the machine's threads stopped before its collection marks.
   A frame that runs a method of the loader's classes, or names one of them in a slot,
   finds them used. Otherwise the object streams' descriptions of the loader's classes,
   kept for its next streams, are emptied now, so that the look's own collection frees
   them with whatever only they held (no thread can be adding one: its frame would name
   the class). */
static void LookAtFrames(void* context) {
  LoaderSurvey* survey = (LoaderSurvey*)context;
  VMThreadHandleArray* threads = survey->vm->GetThreads();
  for (uint32_t i = 1; threads != NULL && i < threads->GetCount() && !survey->used; i++) {
    VMThread* t = threads->Get(i);
    VMFrame* frame = t != NULL ? t->GetFrame() : NULL;
    for (VMFrame* f = frame; f != NULL && !f->GetIsFirstFrame(); f = f->GetCaller()) {
      VMMethod* m = f->GetMethod();
      if (m != NULL && OwnedBy((VMClass*)m->GetDefinedIn(), survey->loader)) {
        survey->used = true;
        break;
      }
    }
    // A frame whose slots cannot be told counts as naming the loader.
    if (!survey->used && frame != NULL && frame->WalkReferences(NoteFrameName, survey) != 0) survey->used = true;
  }
  if (!survey->used) (void)upcall::ObjectStreamForgetLoader(survey->vm, &survey->described, survey->loader);
}

/* The look's second half, after its collection, the threads still stopped: what is left
   in the heap is reachable, or awaits a finalizer that may revive it. */
static void* Survey(void* context) {
  LoaderSurvey* survey = (LoaderSurvey*)context;
  if (survey->collected && !survey->used)
    VMUtils::GetHostFunctions()->HeapWalk(survey->vm->GetHeap(), FindUse, survey);
  survey->due = survey->vm->FinalizersPending();
  return NULL;
}

/* The threads' local references to the loader, its classes and their members are
   emptied (their frames still count them): the collector would follow them into freed
   blocks. Only while the owners stand still, since they write their arrays unlocked.
   The machine's debuggers drop their records of what goes with the loader here too, and
   the classes' static data leaves the machine's slots and heap: the collector walks
   those, and here no collection of the machine can run (a machine the destroying thread
   is not in would collect on while its blocks were freed). */
static void* LetGo(void* context) {
  LoaderSurvey* survey = (LoaderSurvey*)context;
  if (!survey->collected) return NULL;
  VMDebugger::ForgetLoader(survey->vm, survey->loader);
  if (VMClassHashTable* table = survey->loader->GetClassTable()) {
    for (uint32_t i = 0; i < table->GetFilled(); i++) {
      VMClass* cls = (VMClass*)table->Get(i);
      VMObject* data = cls != NULL && cls->GetIsLoadable() ? cls->GetLoadableClass()->TakeStaticData(survey->vm) : NULL;
      if (data != NULL && !data->GetIsNameSpaceData()) data->Destroy(survey->vm->GetHeap());
    }
  }
  VMThreadHandleArray* threads = survey->vm->GetThreads();
  for (uint32_t i = 1; threads != NULL && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    VMObjectHandleArray* locals = t != NULL ? t->GetJNIHandleArray() : NULL;
    for (uint32_t k = 1; locals != NULL && k < locals->GetCount(); k++) {
      if (NamesLoader(locals->Get(k), survey->loader)) locals->GetArray()->Set(k, NULL);
    }
  }
  return NULL;
}

/* What came of one step in one machine. */
enum StepResult { StepDone, StepRefused, StepMachineGone };

/* The destroying thread's attachments that stand declared while a step collects a
   machine: in the other machines of the name space, and in the machine of the thread's
   current env. Another destroyer may be collecting any of those machines meanwhile,
   waiting for every thread attached to it: undeclared, two destroyers that collect each
   other's machines would wait for each other for good. The attachment in the machine of
   the thread's current env (own) is left last, once that env is current again. */
struct Standing {
  enum { kMost = 64 };
  JNIEnv* envs[kMost];
  uint32_t count;
  JNIEnv* own;
};

/* Under the global mutex: the thread's attachments to the machines listed, declared now
   unless they stand declared already (a host's own declaration stays as the host made
   it). A machine of another name space is not read: the host may be moving it (one the
   thread is not attached to, or stands declared in), and the thread's attachment there
   stays as the host left it. */
static void StandDeclared(Standing* standing, VMNameSpace* ns, JavaVM* collected, JNIEnv* current) {
  standing->count = 0;
  standing->own = NULL;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL && standing->count < Standing::kMost; r = r->next) {
    const bool own = current != NULL && r == current->javaVM;
    if (r->vm == NULL || r == collected || (r->nameSpace != ns && !own)) continue;
    JNIEnv* env = r->vm->AttachedEnvOfCurrentThread();
    VMThread* t = env != NULL ? env->thread : NULL;
    if (t == NULL || (t->GetFlags() & (VMThread::SafeToGCFlag | VMThread::InSafeRegionFlag)) != 0) continue;
    VM::EnterSafeRegion(t);
    if (own) standing->own = env;
    else standing->envs[standing->count++] = env;
  }
}

/* The thread a step collects its machine as: one of the machine's own that stands
   undeclared for the step, so that the host, which moves a machine only while every
   thread attached to it stands declared, cannot move it under the step. The destroying
   thread's own attachment there (its declaration taken back for the step) or, when it
   has none, one made for the step. */
struct StepThread {
  JNIEnv* env;
  bool attached;  // made for the step
  bool fresh;     // attached, by a record made for it (the machine held none of the thread)
  bool declared;  // the thread's own, declared by the host before the step
  bool waiting;   // the thread's own, in a Java wait whose host call drops the loader
};

/* An attachment for the step alone: no Thread object, and no Java code runs on it (its
   collections run no finalizer, no debugger brings it over to its loop, and the
   machine's end does not count it among the threads it waits for). The attach may wait
   for a collection, where the host may move the machine. */
static JNIEnv* AttachForStep(JavaVM* record) {
  JNIEnv* env = NULL;
  if (VMJniAttachCurrentThreadNoObject(record, &env, NULL) != 0) return NULL;
  VMThread* t = env->thread;
  t->SetAttachedForClientCall();
  t->SetServingDebugger();
  t->ClearDebuggerAttachRequested();
  return env;
}

/* Makes the thread the machine's undeclared thread for the step, its env current; false
   when it cannot be attached. */
static bool BeginStep(StepThread* step, JavaVM* record, JNIEnv* own, bool recorded) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  step->attached = own == NULL;
  step->fresh = step->attached && !recorded;
  step->declared = false;
  step->waiting = false;
  if (step->attached) {
    step->env = AttachForStep(record);
    return step->env != NULL;
  }
  step->env = own;
  host->AttachThreadEnv(record, own);
  host->SetCurrentEnv(own);
  // Left as a poll leaves a wait: it parks while another thread collects the machine.
  // A Java wait's mark declares the thread as well: it goes under a safe region's.
  VMThread* t = own->thread;
  step->declared = t->GetInSafeRegion();
  step->waiting = t->GetSafeToGC();
  if (step->waiting) {
    VM::EnterSafeRegion(t);
    t->ClearSafeToGC();
  }
  if (step->declared || step->waiting) VM::LeaveSafeRegion(t);
  return true;
}

/* The leave of an attachment whose record was made for the step: the record goes with
   it. It goes only now, the step's collection over, with the thread still undeclared in
   the machine: once it has no record there the host may move the machine, and the
   collection's release still reads and writes it. The machine's monitor keeps out the
   debugger's walks (which read a record past the lock) and every collection's stop, the
   lock the rest; nothing else knew the record (no Thread object, never a debugger's).
   With no env current the monitor counts nothing on the record. A debugger was never told
   of it, and with one connected no collection would drop it: each host thread that
   dropped a loader would leave one behind. */
static void LeaveFresh(JavaVM* record) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  VM* vm = record->vm;
  VMMonitor* monitor = vm->GetNameSpace() != NULL ? VMMonitor::GetMonitorFor(vm->GetNameSpace(), vm) : NULL;
  JNIEnv* current = host->GetCurrentEnv();
  host->SetCurrentEnv(NULL);
  if (monitor == NULL || monitor->DoMonitorEnter() != VMStatus_OK) {
    host->SetCurrentEnv(current);
    VMJniDetachEnv(record);
    return;
  }
  JNIEnv* env = vm->DetachThread(true);
  // The monitor lives in the name space's heap, which no move of the machine takes along.
  monitor->DoMonitorExit();
  if (env != NULL) {
    env->thread = NULL;
    host->HeapFree(NULL, env);
  }
}

/* Gives the thread's attachment back as the step found it. */
static void EndStep(StepThread* step, JavaVM* record) {
  if (step->attached) {
    if (step->fresh)
      LeaveFresh(record);
    else
      VMJniDetachEnv(record);
    return;
  }
  if (step->waiting) step->env->thread->SetSafeToGC();
  if (step->declared) VM::EnterSafeRegion(step->env->thread);
}

/* Runs step in the machine of a record found by MachinesOf, after a collection with its
   other threads stopped (survey->collected tells whether they were), and first (when
   given) with them stopped before the collection marks. While the step runs
   it counts as an attach under way, which a destroy or abandon of the machine begun
   meanwhile waits for before it frees anything. A machine no longer listed is gone with
   its slots and threads; one whose end has begun may still run threads, but can no
   longer be kept for the step: refused. The machine is read from the record once the
   thread stands in it undeclared, not kept from an earlier step or read before its
   attach: between steps, and in the attach, the destroying thread stands declared or
   outside the machine, where the host may move it (every thread of it declared or
   stopped). Every other attachment of the thread is read through its env after the step
   (the host may have moved those machines meanwhile); a machine of another name space it
   is not current in stays as the host left it. */
static StepResult StepIn(JavaVM* record, VMNameSpace* ns, LoaderSurvey* survey, void (*first)(void*),
                         void* (*step)(void*)) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  JNIEnv* current = host->GetCurrentEnv();
  Standing standing;
  JNIEnv* own;
  bool recorded = false;
  {
    VMUtils::GlobalMutexGuard guard;
    JavaVM* r = VMUtils::GetVMList();
    while (r != NULL && r != record) r = r->next;
    if (r == NULL || r->vm == NULL || r->nameSpace != ns) return StepMachineGone;
    if (r->terminating != 0) return StepRefused;
    r->attaching++;
    own = r->vm->AttachedEnvOfCurrentThread(&recorded);
    StandDeclared(&standing, ns, record, current);
  }
  StepThread thread;
  survey->collected = false;
  // An attach and a detach forget that the thread is a started Thread's: one made for
  // the step leaves it attached as it was, which its machine's end lets go of as before.
  JavaVM* startedBy = VM::GetStartedBy();
  if (BeginStep(&thread, record, own, recorded)) {
    survey->vm = record->vm;
    // The other threads stop in their own time: many enter a declared wait or another
    // destroyer's step without telling the collector, which looks again each millisecond
    // (a drop's steps would otherwise each wait a rescan of a collection's pace for them).
    (void)survey->vm->CollectThen(false, step, survey, &survey->collected, 1, first);
    survey->vm = NULL;
    EndStep(&thread, record);
  }
  VM::RestoreStartedBy(startedBy);
  // Leaving parks the thread while another thread collects there: with no env current
  // it reads and writes nothing of its other records meanwhile (a lock's count).
  host->SetCurrentEnv(NULL);
  for (uint32_t i = 0; i < standing.count; i++) VM::LeaveSafeRegion(standing.envs[i]->thread);
  if (own == NULL || own != current) host->AttachThreadEnv(current != NULL ? current->javaVM : NULL, current);
  host->SetCurrentEnv(current);
  if (standing.own != NULL) VM::LeaveSafeRegion(standing.own->thread);
  VMUtils::GlobalMutexGuard guard;
  record->attaching--;
  return survey->collected ? StepDone : StepRefused;
}

/* Waits until the finalizer thread of the machine has run what is due there, every
   attachment of the calling thread in the name space standing declared meanwhile (the
   finalizers' collections and class loading must not wait for it), and no lock held.
   False when the machine is gone or ends, or its finalizers did not all run. */
static bool AwaitFinalizersOf(JavaVM* record, VMNameSpace* ns) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  JNIEnv* current = host->GetCurrentEnv();
  Standing standing;
  {
    VMUtils::GlobalMutexGuard guard;
    JavaVM* r = VMUtils::GetVMList();
    while (r != NULL && r != record) r = r->next;
    if (r == NULL || r->vm == NULL || r->nameSpace != ns || r->terminating != 0) return false;
    // Counted as an attach under way, the record stays until the wait ends.
    r->attaching++;
    StandDeclared(&standing, ns, NULL, current);
  }
  host->SetCurrentEnv(NULL);
  const bool finished = VM::AwaitFinalizers(record, NULL);
  for (uint32_t i = 0; i < standing.count; i++) VM::LeaveSafeRegion(standing.envs[i]->thread);
  host->SetCurrentEnv(current);
  if (standing.own != NULL) VM::LeaveSafeRegion(standing.own->thread);
  VMUtils::GlobalMutexGuard guard;
  record->attaching--;
  return finished;
}

/* Whether anything of a machine still uses the loader's classes: an instance of one (or
   an array of them), a frame running one of their methods, or a word of an object or a
   frame naming the loader, one of them or a member of one. An object that died but
   whose finalizer just ran is freed only by the next collection, hence a second look.
   A machine that could not be looked at counts as using them; one gone uses nothing. */
static bool MachineUses(JavaVM* record, VMNameSpace* ns, VMClassLoader* loader) {
  LoaderSurvey survey = {NULL, loader, false, true, {NULL, 0}, false};
  (void)upcall::ObjectStreamFindTables(ns, &survey.described);
  for (int look = 0, looks = 2; look < looks && survey.used; look++) {
    survey.used = false;
    survey.due = false;
    StepResult result = StepIn(record, ns, &survey, LookAtFrames, Survey);
    if (result == StepMachineGone) return false;
    if (result == StepRefused) survey.used = true;
    // What only waits for its finalizers goes with the next look's collection once the
    // machine's finalizer thread has run them.
    if (survey.used && survey.due && look + 1 == looks && AwaitFinalizersOf(record, ns)) looks++;
  }
  return survey.used;
}

/* The machines of the name space by their records, listed first: collecting under the
   global mutex would hold it through finalizers. 0 when there are more than fit. The
   name space is the record's: a machine of another may be moving meanwhile. */
static uint32_t MachinesOf(VMNameSpace* ns, JavaVM** machines, uint32_t most) {
  VMUtils::GlobalMutexGuard guard;
  uint32_t count = 0;
  for (JavaVM* r = VMUtils::GetVMList(); r != NULL; r = r->next) {
    if (r->vm == NULL || r->nameSpace != ns) continue;
    if (count == most) return 0;
    machines[count++] = r;
  }
  return count;
}

/* A short sleep of the calling thread, declared in the machine it runs in, its record
   read through its env on each side (the host may move the machine meanwhile). */
static void SleepDeclared(jlong ms) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  VM::EnterSafeRegion(VMThread::Current());
  host->Sleep(ms);
  VM::LeaveSafeRegion(VMThread::Current());
}

/* How often a machine's let-go step is tried before the destroy gives up on it. */
static const int kLetGoTries = 20;

/* True when no machine uses the loader's classes, and every machine's threads have let
   go of their local references to them, its debuggers of their records of them, and its
   slots of their static data. Each machine's step is tried again when its threads could
   not be stopped: by then the machines before it have given up the statics, which a
   refusal would leave taken there, to be made anew by their initialisers at the next
   use (every machine was just stopped for its survey, so a refusal is a passing one). */
static bool ReleaseFromMachines(VMNameSpace* ns, VMClassLoader* loader) {
  JavaVM* machines[64];
  uint32_t count = MachinesOf(ns, machines, 64);
  if (count == 0) return false;
  for (uint32_t i = 0; i < count; i++)
    if (MachineUses(machines[i], ns, loader)) return false;
  for (uint32_t i = 0; i < count; i++) {
    LoaderSurvey survey = {NULL, loader, false, true, {NULL, 0}, false};
    for (int tries = 1;; tries++) {
      StepResult result = StepIn(machines[i], ns, &survey, NULL, LetGo);
      if (result != StepRefused) break;
      if (tries == kLetGoTries) return false;
      SleepDeclared(1);
    }
  }
  return true;
}

static const char kDestroySite[] = "namespace spinlock - DestroyClassLoaderLite";

/* The loader a destroy goes on with, marked by it: NULL for a reference to no loader, to
   the system loader (which holds java/lang/Object and every class the name space runs
   on), or to a loader whose destroy is under way already. A second destroy of a loader
   must not go on: it would read the loader, after its waits, once the first had freed
   it. Under the spin lock the purge of the global references holds: a loader read
   through a global reference is not freed before the lock is given up, and the
   reference reads null afterwards. A local reference names it until its thread's machine
   lets go of it, which waits for this thread to stand still. */
static VMClassLoader* BeginDestroy(JNIEnv* env, VMNameSpace* ns, jobject loader) {
  if (!VMUtils::P_SpinLock(ns->GetSpinLock(), kDestroySite)) return NULL;
  VMClassLoader* l = LoaderOf(env, loader);
  if (l != NULL && (l == ns->GetSystemClassLoader() || !l->BeginDestroying())) l = NULL;
  VMUtils::V_SpinLock(ns->GetSpinLock(), kDestroySite);
  return l;
}

static bool Growing(VMObjectHandleArray* array) { return array != NULL && array->GetIsbeingAllocated(); }

/* The spin lock, taken once neither shared array the purge empties is growing: a grower
   copies the slots with the lock given up, and would carry a slot emptied meanwhile into
   the new array. False when the host refuses the lock. */
static bool LockUngrown(VMNameSpace* ns) {
  for (;;) {
    if (!VMUtils::P_SpinLock(ns->GetSpinLock(), kDestroySite)) return false;
    if (!Growing(ns->GetJNIHandleArray()) && !Growing(ns->GetJNIFieldIDArray())) return true;
    VMUtils::V_SpinLock(ns->GetSpinLock(), kDestroySite);
    SleepDeclared(1);
  }
}

/* Destroys a loader this thread marked, once no machine uses it; false when it stays. */
static bool DestroyReleased(VMNameSpace* ns, VMClassLoader* l) {
  // A class freed under a live instance would be read through it by the next call on
  // the object, or by the collector: while anything uses them the loader stays, listed
  // under its id, for the host to drop again once it has let them go.
  if (!ReleaseFromMachines(ns, l)) return false;
  // Nothing of the name space may keep naming the loader, its classes and members once
  // they are gone: the global references and the member ids go here, each class number
  // with its class (after its static data has left every machine, or another loader's
  // class given the number would find that data in its slot).
  if (!LockUngrown(ns)) return false;
  Purge(ns->GetJNIHandleArray(), l);
  Purge(ns->GetJNIFieldIDArray(), l);
  VMUtils::V_SpinLock(ns->GetSpinLock(), kDestroySite);
  l->Destroy(ns->GetHeap());
  return true;
}

JNIEXPORT void HOSTCALL JNI_DestroyClassLoaderLite(JNIEnv* env, jobject loader) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMClassLoader* l = ns != NULL ? BeginDestroy(env, ns, loader) : NULL;
  // Destroys of other loaders, in this name space or another, go on meanwhile: each one
  // declares its thread in the machines it does not collect (StepIn).
  if (l != NULL && !DestroyReleased(ns, l)) l->EndDestroying();
}

JNIEXPORT jint HOSTCALL JNI_GetClassInfo(JNIHostFunctions* host, void* stream, char* nameBuffer,
                                         uint32_t bufferSize, uint32_t* accessFlags) {
  VMUtils::Init(host);
  // The scan reads through the bound table; without one there is nothing to read with.
  if (VMUtils::GetHostFunctions() == NULL || nameBuffer == NULL) return -1;
  uint16_t flags = 0;
  if (VMClassLoader::GetClassInfo(stream, nameBuffer, bufferSize, accessFlags != NULL ? &flags : NULL) != 0)
    return -1;
  if (accessFlags != NULL) *accessFlags = flags;
  return 0;
}

JNIEXPORT jint HOSTCALL JNI_GetClassName(JNIHostFunctions* host, void* stream, char* nameBuffer,
                                         uint32_t bufferSize) {
  return JNI_GetClassInfo(host, stream, nameBuffer, bufferSize, NULL);
}

JNIEXPORT jint HOSTCALL JNI_FiniClassInfo() {
  VMUtils::Fini();
  return 0;
}
