/* Machines through the exported entries: creation and its start-up, sharing a name space,
   listing, attaching and detaching, destruction and abandonment, destroy callbacks,
   creation with an allocation refused at each of its steps, a destroy meeting a creation
   that fails, and a thread attached again (from the host, or from a native of a Thread
   the machine started). */
#include "jni_support.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include "vmclass.h"
#include "vmclassloader.h"
#include "vmjavalangthrowable.h"
#include "vmjvm.h"
#include "vmliteral.h"
#include "vmmonitor.h"
#include "machine_move.h"
#include "safe_wait.h"

namespace jni_test {
namespace {

class InvokeTest : public JniTest {
 protected:
  /* A machine the test abandons: what it holds is lost by design, the host mutex of its
     own monitor (made by a collection, under collection stress) included. */
  JavaVM* CreateToAbandon(JNIEnv** env) {
#ifdef __SANITIZE_ADDRESS__
    __lsan::ScopedDisabler lostByDesign;
#endif
    return Create(env);
  }
  /* Starts a creation on a thread of its own, over no class library, that waits for a
     debugger once its machine is listed; it gives the wait up, and fails, once a destroy
     has marked the machine. Answers the machine as
     JNI_GetCreatedJavaVMs lists it (NULL when none is listed within 5 s); the creation's
     result lands in created. */
  JavaVM* StartFailingCreation(std::thread& creator, std::atomic<int>& created) {
    refhost::SetClassPath(nullptr, "/nonexistent-class-path");
    creator = std::thread([this, &created] {
      JNICreateArgs args = Args();
      args.waitForDebugger = 1;
      JavaVM* made = nullptr;
      JNIEnv* madeEnv = nullptr;
      created = JNI_CreateJavaVM(&made, &madeEnv, &args);
      EXPECT_EQ(nullptr, made);
      EXPECT_EQ(nullptr, madeEnv);
      EXPECT_EQ(nullptr, host->GetCurrentEnv());
    });
    JavaVM* listed = nullptr;
    jsize total = 0;
    WaitFor([&] {
      JNI_GetCreatedJavaVMs(&listed, 1, &total);
      return total == 1;
    });
    return total == 1 ? listed : nullptr;
  }

  /* Fills the machine's heap with 4 KiB arrays to OutOfMemoryError, then lets them go:
     what a request that ran out of memory leaves. Answers the arrays made, -1 when the
     fill ended otherwise than by OutOfMemoryError. */
  static int FillAndLetGo(JNIEnv* e) {
    auto f = e->functions;
    jclass object = f->FindClass(e, "java/lang/Object");
    const jsize slots = 4096;
    jobjectArray holder = object != nullptr ? f->NewObjectArray(e, slots, object, nullptr) : nullptr;
    if (holder == nullptr) return -1;
    int made = 0;
    for (; made < slots; made++) {
      jbyteArray bytes = f->NewByteArray(e, 4096);
      if (bytes == nullptr) break;
      f->SetObjectArrayElement(e, holder, made, bytes);
      f->DeleteLocalRef(e, bytes);
    }
    const bool full = made < slots && PendingClass(e) == "java.lang.OutOfMemoryError";
    f->ExceptionClear(e);
    f->DeleteLocalRef(e, holder);
    f->DeleteLocalRef(e, object);
    return full ? made : -1;
  }
};


TEST_F(InvokeTest, DefaultArgumentsAndTheirNullRecord) {
  JNICreateArgs args;
  memset(&args, 0x5A, sizeof args);
  JNI_GetDefaultJavaVMInitArgs(&args);
  EXPECT_EQ(nullptr, args.host);
  EXPECT_EQ(1024u, args.stackSize);
  EXPECT_STREQ("", args.name);
  EXPECT_EQ(nullptr, args.shareNameSpaceOf);
  EXPECT_EQ(0x7FFFFFFF, args.unused20);
  EXPECT_EQ(0, args.waitForDebugger);
  EXPECT_EQ(1, args.runVerifier);
  EXPECT_EQ(0, args.forCompiler);
  EXPECT_EQ(1, args.enableThreads);
  EXPECT_EQ(1, args.jdkVersion);
  JNI_GetDefaultJavaVMInitArgs(nullptr);  // ignored
  EXPECT_EQ(0x01A53DE5, JNI_SetHostFunctions(host));
  EXPECT_EQ(0, JNI_SetJitFunctions(nullptr));
}

TEST_F(InvokeTest, CreationStartsTheClassLibrary) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(vm, env->javaVM);
  EXPECT_EQ(&VMJniEnvFunctionTable, env->functions);
  EXPECT_EQ(&VMJniInvokeFunctionTable, vm->functions);
  EXPECT_STREQ("test machine", vm->name);
  EXPECT_EQ(vm, refhost::AttachedVM());
  EXPECT_EQ(env, refhost::AttachedEnv());
  VMNameSpace* ns = vm->nameSpace;
  EXPECT_TRUE(ns->GetIsInitialized());
  EXPECT_TRUE(vm->vm->GetInitialized());
  EXPECT_NE(nullptr, vm->vm->GetOutOfMemoryError());
  EXPECT_NE(nullptr, env->thread->GetJavaLangThread());
  VMClassList* list = ns->GetClassList();
  VMClass* classClass = (VMClass*)list->GetClassClass();
  for (uint32_t w = VMClassList::VMvoidClassWord; w <= VMClassList::VMdoubleClassWord; w++)
    EXPECT_EQ(classClass, ((VMObject*)list->GetReference(w))->GetClass()) << "primitive " << w;
  EXPECT_EQ(VMLiteral::CreateInstance(ns, "()V", 0xFFFFFFFFu), ns->GetLiterals()->GetSigNull());
  EXPECT_EQ(VMLiteral::CreateInstance(ns, "", 0xFFFFFFFFu), ns->GetLiterals()->GetNull());
  EXPECT_EQ(ns->GetSystemClassLoader(), ns->FindLoader(nullptr));
  // The first library: no reference classes, no index words.
  EXPECT_EQ(nullptr, list->GetReferenceClass());
  EXPECT_EQ(0u, list->GetReferenceReferentIndex());
  EXPECT_TRUE(list->GetObjectClass()->GetIsInitialized(env));
  EXPECT_TRUE(list->GetStringClass()->GetIsInitialized(env));
  EXPECT_NE(nullptr, ns->GetExceptionClasses()->Get(VMStatus_OutOfMemoryError));
  EXPECT_NE(nullptr, ns->GetExceptionClasses()->Get(VMStatus_NoClassDefFoundError));
  Destroy(vm);
  EXPECT_EQ(nullptr, refhost::AttachedVM());
}

TEST_F(InvokeTest, TheFirstLibraryWithoutThreadsLoadsNoThreadClass) {
  JNICreateArgs args = Args(1);
  args.enableThreads = 0;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env, args);
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(nullptr, env->thread->GetJavaLangThread());
  VMClassList* list = vm->nameSpace->GetClassList();
  EXPECT_EQ(nullptr, list->GetOnDemandThreadClass());
  EXPECT_EQ(nullptr, list->GetOnDemandThreadGroupClass());
  Destroy(vm);
}

TEST_F(InvokeTest, TheSecondLibraryFindsTheReferenceFields) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env, nullptr, 2);
  ASSERT_NE(nullptr, vm);
  VMNameSpace* ns = vm->nameSpace;
  VMClassList* list = ns->GetClassList();
  ASSERT_NE(nullptr, list->GetReferenceClass());
  auto index = [&](VMLoadableClass* cls, const char* name, const char* sig) {
    VMDataMember* f = cls->FindField(VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu),
                                     VMLiteral::CreateInstance(ns, sig, 0xFFFFFFFFu), true, env);
    return f != nullptr ? (uint32_t)((VMMember*)f)->GetIndex() : 0xFFFFFFFFu;
  };
  VMLoadableClass* ref = list->GetReferenceClass();
  EXPECT_EQ(index(ref, "referent", "Ljava/lang/Object;"), list->GetReferenceReferentIndex());
  EXPECT_EQ(index(ref, "queue", "Ljava/lang/ref/ReferenceQueue;"), list->GetReferenceQueueIndex());
  EXPECT_EQ(index(ref, "next", "Ljava/lang/ref/Reference;"), list->GetReferenceNextIndex());
  EXPECT_EQ(index(ref, "pending", "Ljava/lang/ref/Reference;"), list->GetReferencePendingIndex());
  EXPECT_EQ(index(list->GetReferenceQueueClass(), "NULL", "Ljava/lang/ref/ReferenceQueue;"),
            list->GetReferenceQueueNULLIndex());
  EXPECT_NE(index(ref, "referent", "Ljava/lang/Object;"), index(ref, "queue", "Ljava/lang/ref/ReferenceQueue;"));
  EXPECT_TRUE(list->GetOnDemandThreadClass()->GetIsInitialized(env));
  EXPECT_NE(nullptr, env->thread->GetJavaLangThread());
  Destroy(vm);
}

TEST_F(InvokeTest, TheThirdLibraryIsRefusedCleanly) {
  // It needs java/util/Collections$EmptyMap, which the library does not have.
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  JNICreateArgs args = Args(3);
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, &env, &args));
  EXPECT_EQ(nullptr, vm);
  EXPECT_EQ(nullptr, env);
}

TEST_F(InvokeTest, ALibraryWithoutOutOfMemoryErrorCannotStart) {
  refhost::SetClassPath(nullptr, TestClasses());  // no library at all
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  JNICreateArgs args = Args(1);
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, &env, &args));
  // For a compiler the library needs no exception class: the start-up still needs
  // java/lang/Object.
  args.forCompiler = 1;
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, &env, &args));
}

TEST_F(InvokeTest, AMachineForACompilerRunsNoJava) {
  JNICreateArgs args = Args(2);
  args.forCompiler = 1;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env, args);
  ASSERT_NE(nullptr, vm);
  EXPECT_TRUE(vm->nameSpace->GetForCompiler());
  EXPECT_EQ(nullptr, vm->vm->GetOutOfMemoryError()) << "no pre-made error: making it could run Java";
  EXPECT_FALSE(vm->nameSpace->GetClassList()->GetObjectClass()->GetIsInitialized(env));
  EXPECT_EQ(nullptr, env->thread->GetJavaLangThread());
  Destroy(vm);
}

TEST_F(InvokeTest, NullArgumentsMakeNothing) {
  JavaVM* vm = (JavaVM*)1;
  JNIEnv* env = (JNIEnv*)1;
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, &env, nullptr));
  EXPECT_EQ(nullptr, vm);
  EXPECT_EQ(nullptr, env);
  JNICreateArgs args = Args();
  args.name = nullptr;
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, &env, &args));
  args = Args();
  args.host = nullptr;
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, &env, &args));
  args = Args();
  EXPECT_EQ(-1, JNI_CreateJavaVM(nullptr, &env, &args));
  EXPECT_EQ(-1, JNI_CreateJavaVM(&vm, nullptr, &args));
  EXPECT_FALSE(ProcessStateExists());
}

TEST_F(InvokeTest, ListingWithoutProcessState) {
  JavaVM* buffer[2] = {(JavaVM*)1, (JavaVM*)1};
  jsize total = -1;
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(buffer, 2, &total));
  EXPECT_EQ(0, total);
  EXPECT_EQ(0, JNI_GetCreatedJavaVMsNoMutex(buffer, 2, &total));
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(buffer, 2, nullptr));
  EXPECT_FALSE(ProcessStateExists()) << "listing made the process state";
}

TEST_F(InvokeTest, ASecondMachineSharesTheNameSpaceAndIsListedFirst) {
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA);
  ASSERT_NE(nullptr, a);
  VMNameSpace* ns = a->nameSpace;
  VMLiteralTable* literals = ns->GetLiterals();
  VMClassLoader* system = ns->GetSystemClassLoader();
  JNICreateArgs args = Args(2);  // a shared name space keeps its own settings
  args.shareNameSpaceOf = a;
  args.forCompiler = 1;
  args.runVerifier = 0;
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB, args);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(ns, b->nameSpace);
  EXPECT_EQ(2u, ns->GetVMCount());
  EXPECT_EQ(1, ns->GetLibraryVersion());
  EXPECT_FALSE(ns->GetForCompiler());
  EXPECT_TRUE(ns->GetRunVerifier());
  EXPECT_EQ(literals, ns->GetLiterals()) << "stage A ran again";
  EXPECT_EQ(system, ns->GetSystemClassLoader());
  // Each machine has its own static data and its own Thread object.
  EXPECT_TRUE(ns->GetClassList()->GetObjectClass()->GetIsInitialized(envB));
  EXPECT_NE(nullptr, envB->thread->GetJavaLangThread());
  EXPECT_NE(envA->thread->GetJavaLangThread(), envB->thread->GetJavaLangThread());
  // The cached exception classes are initialised in the second machine too.
  refhost::SetCapture(true);
  EXPECT_EQ(0, VMJniThrowInternal(envB, VMStatus_ArithmeticException, "x"));
  VMLoadableClass* arithmetic = ns->GetExceptionClasses()->Get(VMStatus_ArithmeticException);
  ASSERT_NE(nullptr, arithmetic);
  EXPECT_TRUE(arithmetic->GetIsInitialized(envB));
  envB->functions->ExceptionClear(envB);
  EXPECT_EQ(0, VMJniThrowInternal(envA, VMStatus_ArithmeticException, "y"));
  EXPECT_TRUE(arithmetic->GetIsInitialized(envA));
  envA->functions->ExceptionClear(envA);

  JavaVM* buffer[3] = {nullptr, nullptr, nullptr};
  jsize total = 0;
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(buffer, 1, &total));
  EXPECT_EQ(2, total);
  EXPECT_EQ(b, buffer[0]);
  EXPECT_EQ(nullptr, buffer[1]);
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(buffer, 3, &total));
  EXPECT_EQ(a, buffer[1]);
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(nullptr, 5, &total));
  EXPECT_EQ(2, total);

  // The first goes; the second goes on working on the shared name space.
  EXPECT_EQ(0, b->functions->DetachCurrentThread(b));
  Destroy(b);
  EXPECT_EQ(1u, ns->GetVMCount());
  EXPECT_TRUE(ProcessStateExists());
  // The thread is still attached to the first machine: the host binds it back.
  host->AttachThreadEnv(a, envA);
  host->SetCurrentEnv(envA);
  EXPECT_NE(nullptr, envA->functions->FindClass(envA, "java/lang/String"));
  Destroy(a);
  EXPECT_FALSE(ProcessStateExists());
  // The process state is made again by the next creation, with the same table.
  JNIEnv* env = nullptr;
  JavaVM* c = Create(&env);
  ASSERT_NE(nullptr, c);
  Destroy(c);
}

TEST_F(InvokeTest, SharingADestroyedOrUnlistedMachineIsRefused) {
  JNIEnv* env = nullptr;
  JavaVM* a = Create(&env);
  ASSERT_NE(nullptr, a);
  JavaVM fake;
  memset(&fake, 0, sizeof fake);
  fake.nameSpace = a->nameSpace;
  JNICreateArgs args = Args();
  args.shareNameSpaceOf = &fake;
  JavaVM* b = nullptr;
  JNIEnv* envB = nullptr;
  EXPECT_EQ(-1, JNI_CreateJavaVM(&b, &envB, &args));
  EXPECT_EQ(1u, a->nameSpace->GetVMCount());
  EXPECT_EQ(env, refhost::AttachedEnv()) << "a refused creation kept the thread's binding to its machine";
  EXPECT_EQ(env, host->GetCurrentEnv());
  Destroy(a);
}

TEST_F(InvokeTest, ThreadsAttachAndDetachRepeatedly) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; t++) {
    threads.emplace_back([&] {
      for (int round = 0; round < 20; round++) {
        JNIEnv* mine = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) {
          failures++;
          continue;
        }
        void* got = nullptr;
        if (vm->functions->GetEnv(vm, &got, 0x10002) != 0 || got != mine) failures++;
        if (mine->thread == nullptr || mine->thread->GetJavaLangThread() == nullptr) failures++;
        if (mine->functions->FindClass(mine, round % 2 ? "java/lang/Runnable" : "java.lang.StringBuffer") == nullptr)
          failures++;
        if (vm->functions->DetachCurrentThread(vm) != 0) failures++;
        got = (void*)1;
        if (vm->functions->GetEnv(vm, &got, 1) != -2 || got != nullptr) failures++;
      }
    });
  }
  JoinOutside(threads);
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(1u, vm->vm->GetThreadsAttached());
  Destroy(vm);
}

TEST_F(InvokeTest, AttachingTwiceGivesTwoEnvsAndTheThreadFollowsTheSecond) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  VMThread* thread = env->thread;
  JNIEnv* second = nullptr;
  ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &second, nullptr));
  EXPECT_NE(env, second);
  EXPECT_EQ(thread, second->thread);
  EXPECT_EQ(second, thread->GetEnv());
  EXPECT_EQ(1u, vm->vm->GetThreadsAttached());
  // The first env is the host's to let go of; the machine forgets it.
  host->HeapFree(nullptr, env);
  Destroy(vm);
}

/* What Java code knows of the calling thread through env: its Thread's name, priority
   and group's name, and whether the machine finds the thread by it. */
std::string ThreadAsJavaKnowsIt(JNIEnv* env, jobject thread) {
  const JNINativeInterface_* f = env->functions;
  jclass threadClass = f->FindClass(env, "java/lang/Thread");
  jclass groupClass = f->FindClass(env, "java/lang/ThreadGroup");
  auto text = [&](jobject s) {
    const char* chars = s != nullptr ? f->GetStringUTFChars(env, (jstring)s, nullptr) : nullptr;
    std::string copy = chars != nullptr ? chars : "null";
    if (chars != nullptr) f->ReleaseStringUTFChars(env, (jstring)s, chars);
    return copy;
  };
  jobject name = f->CallObjectMethod(env, thread, f->GetMethodID(env, threadClass, "getName", "()Ljava/lang/String;"));
  jint priority = f->CallIntMethod(env, thread, f->GetMethodID(env, threadClass, "getPriority", "()I"));
  jobject group =
      f->CallObjectMethod(env, thread, f->GetMethodID(env, threadClass, "getThreadGroup", "()Ljava/lang/ThreadGroup;"));
  jobject groupName =
      group != nullptr ? f->CallObjectMethod(env, group, f->GetMethodID(env, groupClass, "getName", "()Ljava/lang/String;"))
                       : nullptr;
  const bool found = JVMGetVMThread(env, thread) == env->thread;
  return text(name) + " " + std::to_string(priority) + " " + text(groupName) + (found ? " found" : " lost") +
         (f->ExceptionCheck(env) ? " (an exception pending)" : "");
}

/* A host thread whose Java code named it and lowered its priority attaches again (a
   native that attaches to be sure of an env): its Thread is the same, as that code left
   it, the machine finds the thread by it, and once the thread has detached it is not
   alive. (The attach made it anew: "default", priority 10.) */
TEST_F(InvokeTest, AThreadAttachingAgainKeepsItsThreadAsJavaCodeLeftIt) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  jobject left = nullptr;
  std::thread attaching([&] {
    JNIEnv* first = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &first, nullptr));
    const JNINativeInterface_* f = first->functions;
    jclass c = f->FindClass(first, "java/lang/Thread");
    jobject me =
        f->CallStaticObjectMethod(first, c, f->GetStaticMethodID(first, c, "currentThread", "()Ljava/lang/Thread;"));
    f->CallVoidMethod(first, me, f->GetMethodID(first, c, "setName", "(Ljava/lang/String;)V"),
                      f->NewStringUTF(first, "worker-7"));
    f->CallVoidMethod(first, me, f->GetMethodID(first, c, "setPriority", "(I)V"), 3);
    EXPECT_EQ("worker-7 3 system found", ThreadAsJavaKnowsIt(first, me));
    JNIEnv* second = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &second, nullptr));
    host->HeapFree(nullptr, first);  // the env it replaced is the host's
    EXPECT_EQ("worker-7 3 system found", ThreadAsJavaKnowsIt(second, me));
    f = second->functions;
    jobject current =
        f->CallStaticObjectMethod(second, c, f->GetStaticMethodID(second, c, "currentThread", "()Ljava/lang/Thread;"));
    EXPECT_TRUE(f->IsSameObject(second, me, current));
    left = f->NewGlobalRef(second, me);
    EXPECT_EQ(0, vm->functions->DetachCurrentThread(vm));
  });
  JoinOutside(attaching);
  // Detached by the env it got last, it is no longer alive to the others.
  ASSERT_NE(nullptr, left);
  jclass c = env->functions->FindClass(env, "java/lang/Thread");
  EXPECT_FALSE(env->functions->CallBooleanMethod(env, left, env->functions->GetMethodID(env, c, "isAlive", "()Z")));
  env->functions->DeleteGlobalRef(env, left);
  Destroy(vm);
}

/* The native of Reattacher: attaches its thread again, and says what Java code then
   knows of it. */
std::string gReattached;
JNIEXPORT jint JNICALL Java_Reattacher_again(JNIEnv* env, jclass, jobject self) {
  JavaVM* vm = env->javaVM;
  JNIEnv* again = nullptr;
  jint result = vm->functions->AttachCurrentThread(vm, &again, nullptr);
  if (result == 0) gReattached = ThreadAsJavaKnowsIt(again, self);
  return result;
}

/* A Thread the machine started, in a group of its own, runs a native that attaches the
   thread again: its Thread stays as its code made it (the group it leaves when it ends
   included), and the env it started with goes with it. (The attach made the Thread
   anew, in the system group with priority 10, and the started env was never freed.) */
TEST_F(InvokeTest, AStartedThreadAttachedAgainByANativeKeepsItsThreadAndItsGroup) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  gReattached.clear();
  const JNINativeInterface_* f = env->functions;
  jclass c = f->FindClass(env, "Reattacher");
  ASSERT_NE(nullptr, c) << PendingText(env);
  EXPECT_EQ(0, f->CallStaticIntMethod(env, c, f->GetStaticMethodID(env, c, "runOne", "()I"))) << PendingText(env);
  EXPECT_EQ("reattacher 4 reattachers found", gReattached);
  Destroy(vm);
}

/* A thread attached already attaches again, without pause, while collections run one
   after another: each collection waits for it as for any thread of the machine, so the
   attach parks for it. (It slept until the collection was over, which waited for it for
   good.) */
TEST_F(InvokeTest, AnAttachedThreadAttachingAgainParksForACollection) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  std::atomic<bool> stop{false};
  std::atomic<int> again{0};
  std::thread attaching([&] {
    JNIEnv* current = nullptr;
    if (vm->functions->AttachCurrentThread(vm, &current, nullptr) != 0) return;
    while (!stop.load()) {
      JNIEnv* next = nullptr;
      if (vm->functions->AttachCurrentThread(vm, &next, nullptr) != 0) break;
      host->HeapFree(nullptr, current);  // the env it replaced is the host's
      current = next;
      again++;
    }
    vm->functions->DetachCurrentThread(vm);
  });
  // The collections run on this thread, outside the machine.
  ASSERT_EQ(0, vm->functions->DetachCurrentThread(vm));
  const bool ended = EndsWithin(60000, [&] {
    while (again.load() == 0) std::this_thread::yield();
    for (int i = 0; i < 200; i++) vm->vm->GarbageCollect(false);
  });
  if (!ended) {
    // Both wait for each other for ever: nothing can end the machine.
    ADD_FAILURE() << "a collection and an attach of a thread attached already waited for each other";
    attaching.detach();
    fflush(stdout);
    _exit(1);
  }
  stop = true;
  attaching.join();
  EXPECT_GT(again.load(), 1);
  Destroy(vm);
}

TEST_F(InvokeTest, AFailedAttachLeavesTheThreadAsItWas) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  // Refused at each allocation of the attach in turn: never attached, never bound. A new
  // host thread each time, whose attach makes a record; a refusal of the record is got
  // over by a collection, and the attach's later allocations are still to be refused.
  bool ended = false;
  for (uint32_t n = 1; n < 200 && !ended; n++) {
    std::thread attaching([&] {
      uint32_t blocks = refhost::BlocksInUse(nullptr);
      const uint64_t refused = refhost::RefusedCount();
      refhost::FailNthAllocation(n);
      JNIEnv* mine = nullptr;
      jint result = vm->functions->AttachCurrentThread(vm, &mine, nullptr);
      refhost::FailNthAllocation(0);
      if (result == 0) {
        EXPECT_EQ(0, vm->functions->DetachCurrentThread(vm));
        ended = refhost::RefusedCount() == refused;
        return;
      }
      EXPECT_EQ(nullptr, mine);
      EXPECT_EQ(nullptr, refhost::AttachedVM()) << n;
      EXPECT_EQ(nullptr, host->GetCurrentEnv()) << n;
      EXPECT_EQ(1u, vm->vm->GetThreadsAttached()) << n;
      EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << n;
    });
    JoinOutside(attaching);
  }
  EXPECT_TRUE(ended);
  Destroy(vm);
}

/* New host threads attach, many at once, to a machine whose heap a request filled and
   let go: nobody else allocates, so each attach must collect for its own record. (No
   attach was made until some attached thread allocated.) The filler stays attached,
   declared, so that nothing of its detach collects first. */
TEST_F(InvokeTest, HostThreadsAttachToAHeapFullOfGarbage) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  refhost::SetHeapCapacity(vm->heap, host->HeapBytesInUse(vm->heap) + (3u << 20));
  const int rounds = 6, attachers = 8;
  std::atomic<int> made{0}, filled{0};
  WhileOutside([&] {
    for (int round = 0; round < rounds; round++) {
      std::atomic<int> stage{0};
      std::thread filler([&] {
        JNIEnv* mine = nullptr;
        if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) {
          stage = 1;
          return;
        }
        if (FillAndLetGo(mine) > 0) filled++;
        WhileOutside([&] {
          stage = 1;
          while (stage.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        vm->functions->DetachCurrentThread(vm);
      });
      while (stage.load() != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::atomic<int> ready{0};
      std::vector<std::thread> threads;
      for (int t = 0; t < attachers; t++) {
        threads.emplace_back([&] {
          ready++;
          while (ready.load() < attachers) std::this_thread::yield();
          JNIEnv* mine = nullptr;
          if (vm->functions->AttachCurrentThread(vm, &mine, nullptr) != 0) return;
          if (mine->functions->FindClass(mine, "java/lang/Runnable") != nullptr) made++;
          vm->functions->DetachCurrentThread(vm);
        });
      }
      for (auto& t : threads) t.join();
      stage = 2;
      filler.join();
    }
  });
  EXPECT_EQ(rounds, filled.load()) << "a fill did not end in OutOfMemoryError";
  EXPECT_EQ(rounds * attachers, made.load()) << "attaches refused with the heap full of garbage";
  EXPECT_EQ(1u, vm->vm->GetThreadsAttached());
  Destroy(vm);
}

/* Creation with the nth allocation refused (within the scope set): -1 with nothing left
   behind, or, where the refusal is absorbed (a registration table the process does
   without, a collection and retry), a machine that is whole. -1 when the creation made
   fewer than n allocations, else whether it failed. */
int CreateRefusing(JniTest* test, JNIHostFunctions* host, uint32_t n, bool processOnly) {
  uint32_t blocks = refhost::BlocksInUse(nullptr);
  uint32_t leaks = refhost::LeakReportCount();
  refhost::SetFailureScope(processOnly, nullptr, -1);
  uint64_t refusedBefore = refhost::RefusedCount();
  refhost::FailNthAllocation(n);
  JavaVM* vm = (JavaVM*)1;
  JNIEnv* env = (JNIEnv*)1;
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  jint result = JNI_CreateJavaVM(&vm, &env, &args);
  refhost::FailNthAllocation(0);
  refhost::SetFailureScope(false, nullptr, -1);
  if (result == 0) {
    EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm)) << n;
  } else {
    EXPECT_EQ(-1, result) << n;
    EXPECT_EQ(nullptr, vm) << n;
    EXPECT_EQ(nullptr, env) << n;
    EXPECT_EQ(0u, refhost::MutexesHeldByThisThread()) << n;
    EXPECT_EQ(nullptr, refhost::AttachedVM()) << n;
    EXPECT_EQ(nullptr, host->GetCurrentEnv()) << n;
  }
  EXPECT_FALSE(refhost::Functions()->GetGlobalCell(0) != nullptr) << n;
  EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "process memory left by refusal " << n;
  EXPECT_EQ(leaks, refhost::LeakReportCount()) << "refusal " << n << refhost::CapturedLog();
  (void)test;
  if (refhost::RefusedCount() == refusedBefore) return -1;
  return result != 0 ? 1 : 0;
}

/* ---- the holds of a thread that makes a machine ----
   The creation holds the global mutex from before the creating thread has a record in the
   new machine until the machine is listed. A thread's holds decide whether a detach must
   give up the monitors it leaves and whether a collection may go on while it is parked,
   so the creation must leave both the new record and the thread's record in a machine it
   already ran in holding what the thread holds, nothing more and nothing less. */

/* A host thread makes a second machine of the name space, takes a class's monitor there
   (JNI MonitorEnter) and detaches without leaving it: the detach gives the monitor up, as
   for any thread that leaves holding monitors. (The mutex's release was counted on the
   new record, which had not counted its hold: the detach found nothing held and left the
   monitor to the thread, for whose identity the first machine's threads then waited.) */
TEST_F(InvokeTest, ACreatorThatDetachesHoldingAMonitorGivesItUp) {
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA);
  ASSERT_NE(nullptr, a);
  JavaVM* b = nullptr;
  std::atomic<void*> creatorId{nullptr};
  std::thread creator([&] {
    JNICreateArgs args = Args();
    args.shareNameSpaceOf = a;
    JNIEnv* envB = nullptr;
    if (JNI_CreateJavaVM(&b, &envB, &args) != 0) return;
    jclass cls = envB->functions->FindClass(envB, "java/lang/String");
    if (cls != nullptr && envB->functions->MonitorEnter(envB, cls) == 0) creatorId = host->CurrentThreadId();
    b->functions->DetachCurrentThread(b);
  });
  JoinOutside(creator);
  ASSERT_NE(nullptr, b);
  ASSERT_NE(nullptr, creatorId.load());
  VMMonitor* monitor = VMJniHandle::UnHandle(envA, envA->functions->FindClass(envA, "java/lang/String"))->GetMonitor();
  ASSERT_NE(nullptr, monitor);
  EXPECT_EQ(nullptr, monitor->GetOwner()) << "the class's monitor is still owned by the thread that left it";
  Destroy(b);
  Destroy(a);
}

/* A host thread attached to machine A makes machine B, comes back to A and runs bytecode
   there while another thread of A collects: the collection runs. (The creation's mutex
   was counted as a hold on the thread's record in A and never given back there: every
   collection of A that found the thread parked at a poll took it for a thread holding a
   mutex and gave up, so A could not collect while the thread ran in it.) */
TEST_F(InvokeTest, AThreadThatMadeAnotherMachineLetsItsFirstMachineCollect) {
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA);
  ASSERT_NE(nullptr, a);
  const JNINativeInterface_* f = envA->functions;
  jclass spinner = f->FindClass(envA, "Spinner");
  ASSERT_NE(nullptr, spinner);
  jfieldID stop = f->GetStaticFieldID(envA, spinner, "stop", "Z");
  ASSERT_NE(nullptr, stop);
  jclass system = f->FindClass(envA, "java/lang/System");
  jmethodID gc = f->GetStaticMethodID(envA, system, "gc", "()V");
  ASSERT_NE(nullptr, gc);
  std::atomic<bool> spinning{false};
  std::atomic<int> destroyedB{-5};
  std::thread other([&] {
    JNIEnv* inA = nullptr;
    if (VMJniInvoke::AttachCurrentThread(a, &inA, nullptr) != 0) {
      spinning = true;
      return;
    }
    JavaVM* b = nullptr;
    JNIEnv* inB = nullptr;
    JNICreateArgs args = Args();
    if (JNI_CreateJavaVM(&b, &inB, &args) == 0) {
      host->AttachThreadEnv(a, inA);
      host->SetCurrentEnv(inA);
      jclass mine = inA->functions->FindClass(inA, "Spinner");
      spinning = true;
      inA->functions->CallStaticVoidMethod(inA, mine, inA->functions->GetStaticMethodID(inA, mine, "spin", "()V"));
      inA->functions->DeleteLocalRef(inA, mine);
      host->AttachThreadEnv(b, inB);
      host->SetCurrentEnv(inB);
      destroyedB = b->functions->DestroyJavaVM(b);
      host->AttachThreadEnv(a, inA);
      host->SetCurrentEnv(inA);
    }
    spinning = true;  // also when B could not be made: the test then fails below
    VMJniInvoke::DetachCurrentThread(a);
  });
  WhileOutside([&] {
    while (!spinning.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  const uint32_t before = a->vm->GetCollections();
  f->CallStaticVoidMethod(envA, system, gc);
  const uint32_t after = a->vm->GetCollections();
  f->SetStaticBooleanField(envA, spinner, stop, JNI_TRUE);
  JoinOutside(other);
  EXPECT_LT(before, after) << "the collection gave up: the thread that made machine B counted a hold it never had";
  EXPECT_EQ(0, destroyedB.load());
  Destroy(a);
}

TEST_F(InvokeTest, AllocationRefusedAtEveryStepOfCreation) {
  // Every allocation in process memory in turn: the creation's own records, the process
  // state, the registrations.
  uint32_t refused = 0, tried = 0;
  for (uint32_t n = 1;; n++) {
    int outcome = CreateRefusing(this, host, n, true);
    if (HasFailure()) return;
    if (outcome < 0) break;
    refused += outcome;
    tried++;
  }
  EXPECT_GT(tried, 5u);
  EXPECT_GT(refused, 0u);
  // On every heap: each of the first few hundred allocations (the records, the name
  // space, the machine, the first classes), then a spread over the library's start-up.
  JNIEnv* env = nullptr;
  uint64_t before = refhost::AllocationCount();
  JavaVM* vm = Create(&env);
  uint64_t steps = refhost::AllocationCount() - before;
  Destroy(vm);
  ASSERT_GT(steps, 300u);
  uint32_t stride = (uint32_t)((steps - 300) / 700) + 1;
  refused = 0;
  tried = 0;
  for (uint32_t n = 1; n <= steps; n += n < 300 ? 1 : stride) {
    int outcome = CreateRefusing(this, host, n, false);
    if (HasFailure()) return;
    if (outcome < 0) break;
    refused += outcome;
    tried++;
  }
  EXPECT_GT(refused, tried / 2);
}

/* A destroy callback that records its calls. */
std::vector<std::pair<int, void*>>* gCalls;
void HOSTCALL CallbackF(void* context) { gCalls->push_back({1, context}); }
void HOSTCALL CallbackG(void* context) { gCalls->push_back({2, context}); }

TEST_F(InvokeTest, DestroyCallbacksRunOnceInOrderOfRegistration) {
  std::vector<std::pair<int, void*>> calls;
  gCalls = &calls;
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  int a = 0, b = 0, c = 0;
  EXPECT_EQ(0, vm->functions->AddDestroyCallback(vm, CallbackF, &a));
  EXPECT_EQ(0, vm->functions->AddDestroyCallback(vm, CallbackG, &b));
  EXPECT_EQ(-1, vm->functions->AddDestroyCallback(vm, CallbackF, &a));
  EXPECT_EQ(0, vm->functions->AddDestroyCallback(vm, CallbackF, &c));
  EXPECT_EQ(0, vm->functions->RemoveDestroyCallback(vm, CallbackG, &b));
  EXPECT_EQ(-1, vm->functions->RemoveDestroyCallback(vm, CallbackG, &b));
  EXPECT_EQ(-1, vm->functions->AddDestroyCallback(vm, nullptr, &a));
  EXPECT_EQ(-1, vm->functions->AddDestroyCallback(vm, CallbackF, nullptr));
  EXPECT_EQ(-1, vm->functions->AddDestroyCallback(nullptr, CallbackF, &a));
  EXPECT_TRUE(calls.empty());
  // The list's lock is the machine's monitor, and it is re-entrant: the zip pool adds its
  // entry while it holds that monitor.
  ASSERT_EQ(0, vm->vm->MonitorEnter(vm->nameSpace));
  EXPECT_EQ(0, vm->functions->AddDestroyCallback(vm, CallbackG, &c));
  EXPECT_EQ(0, vm->vm->MonitorExit(vm->nameSpace));
  Destroy(vm);
  ASSERT_EQ(3u, calls.size());
  EXPECT_EQ(std::make_pair(2, (void*)&c), calls[2]);
  EXPECT_EQ(std::make_pair(1, (void*)&a), calls[0]);
  EXPECT_EQ(std::make_pair(1, (void*)&c), calls[1]);
}

TEST_F(InvokeTest, DestroyingTwiceOrAnUnlistedRecordIsRefusedWithNothingDone) {
  JNIEnv* env = nullptr;
  JavaVM* a = Create(&env);
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB);
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  JavaVM fake;
  memset(&fake, 0, sizeof fake);
  fake.vm = a->vm;
  fake.nameSpace = a->nameSpace;
  EXPECT_EQ(-1, VMJniInvoke::DestroyJavaVM(&fake));
  EXPECT_EQ(-1, VMJniInvoke::DestroyJavaVM(nullptr));
  // Nothing of a was touched: its thread is still attached and it still runs.
  EXPECT_EQ(envB, host->GetCurrentEnv());
  Destroy(b);
  EXPECT_EQ(-1, VMJniUnlinkJavaVM(b)) << "a record that is not on the list is not unlinked";
  JNIEnv* again = nullptr;
  ASSERT_EQ(0, a->functions->AttachCurrentThread(a, &again, nullptr));
  EXPECT_NE(nullptr, again->functions->FindClass(again, "java/lang/Object"));
  host->HeapFree(nullptr, env);  // the first env of this thread, replaced by the attach
  Destroy(a);
  EXPECT_EQ(-1, VMJniInvoke::DestroyJavaVM(a)) << "the last machine destroyed twice";
}

TEST_F(InvokeTest, AnUnattachedCallerDestroysOnceTheOthersHaveLeft) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(0, vm->functions->DetachCurrentThread(vm));
  EXPECT_EQ(nullptr, refhost::AttachedVM());
  std::atomic<bool> attached{false}, leave{false};
  std::thread worker([&] {
    JNIEnv* mine = nullptr;
    ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
    attached = true;
    while (!leave.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    vm->functions->DetachCurrentThread(vm);
  });
  ASSERT_TRUE(WaitFor([&] { return attached.load(); }));
  std::atomic<bool> destroyed{false};
  std::thread destroyer([&] {
    EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
    destroyed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_FALSE(destroyed.load()) << "destroyed under an attached thread";
  leave = true;
  worker.join();
  EXPECT_TRUE(WaitFor([&] { return destroyed.load(); }, 5000));
  destroyer.join();
}

TEST_F(InvokeTest, TwoMachinesOfOneNameSpaceDestroyedAtOnce) {
  for (int round = 0; round < 4; round++) {
    JNIEnv* envA = nullptr;
    JavaVM* a = Create(&envA);
    ASSERT_NE(nullptr, a);
    JavaVM* b = nullptr;
    std::thread maker([&] {
      JNIEnv* envB = nullptr;
      b = Create(&envB, a);
      if (b != nullptr) b->functions->DetachCurrentThread(b);
    });
    maker.join();
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(0, a->functions->DetachCurrentThread(a));
    std::thread first([&] { EXPECT_EQ(0, a->functions->DestroyJavaVM(a)); });
    std::thread second([&] { EXPECT_EQ(0, b->functions->DestroyJavaVM(b)); });
    first.join();
    second.join();
    EXPECT_FALSE(ProcessStateExists());
  }
}

TEST_F(InvokeTest, ConcurrentCreationsShareOneStart) {
  JNIEnv* envA = nullptr;
  JavaVM* a = nullptr;
  std::thread first([&] {
    a = Create(&envA);
    if (a != nullptr) a->functions->DetachCurrentThread(a);
  });
  // The second names the first as soon as it is listed, before its start-up has ended.
  JavaVM* listed = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    jsize total = 0;
    JNI_GetCreatedJavaVMs(&listed, 1, &total);
    return total == 1;
  }));
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB, listed);
  first.join();
  ASSERT_NE(nullptr, a);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(a->nameSpace, b->nameSpace);
  EXPECT_TRUE(b->nameSpace->GetClassList()->GetStringClass()->GetIsInitialized(envB));
  Destroy(b);
  Destroy(a);
}

TEST_F(InvokeTest, TheLastDestroyRacesANewCreation) {
  // The process state goes with the last machine while another creation is between
  // setting it up and listing its record: the creation must find it again.
  for (int round = 0; round < 12; round++) {
    JavaVM* a = nullptr;
    std::thread([&] {
      JNIEnv* env = nullptr;
      a = Create(&env);
      if (a != nullptr) a->functions->DetachCurrentThread(a);
    }).join();
    ASSERT_NE(nullptr, a);
    JavaVM* b = nullptr;
    std::thread destroyer([&] { EXPECT_EQ(0, a->functions->DestroyJavaVM(a)); });
    std::thread creator([&] {
      JNIEnv* env = nullptr;
      b = Create(&env);
      if (b != nullptr) b->functions->DetachCurrentThread(b);
    });
    destroyer.join();
    creator.join();
    ASSERT_NE(nullptr, b);
    jsize total = 0;
    EXPECT_EQ(0, JNI_GetCreatedJavaVMs(nullptr, 0, &total));
    EXPECT_EQ(1, total);
    EXPECT_EQ(0, b->functions->DestroyJavaVM(b));
  }
}

TEST_F(InvokeTest, AStartRefusedMidwayResumesWhereItStopped) {
  // A name space that outlives its failed start (as a shared one does), made by hand.
  VMUtils::Init(host);
  VMNameSpace* ns = VMNameSpace::CreateInstance();
  ASSERT_NE(nullptr, ns);
  JavaVM* record = (JavaVM*)host->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  memset(record, 0, sizeof *record);
  record->functions = &VMJniInvokeFunctionTable;
  record->nameSpace = ns;
  record->vm = VM::CreateInstance(1024, record);
  ASSERT_NE(nullptr, record->vm);
  JNIEnv* env = VMJniCreateEnv(record);
  ASSERT_EQ(0, VMJniAttachEnv(record, env));
  VMLiteralTable* literals = nullptr;
  int attempts = 0;
  for (uint32_t n = 1; n < 600; n++, attempts++) {
    refhost::SetFailureScope(true, ns->GetHeap(), -1);
    refhost::FailNthAllocation(n);
    bool started = ns->Initialize(env);
    refhost::FailNthAllocation(0);
    refhost::SetFailureScope(false, nullptr, -1);
    env->thread->SetException(nullptr);
    // Once made, the tables stay: a retry never replaces what descriptors point to.
    if (literals == nullptr) literals = ns->GetLiterals();
    if (literals != nullptr) {
      ASSERT_EQ(literals, ns->GetLiterals()) << n;
    }
    if (started) break;
  }
  EXPECT_GT(attempts, 3);
  ASSERT_TRUE(ns->Initialize(env));
  EXPECT_TRUE(ns->GetIsInitialized());
  EXPECT_EQ(ns->GetSystemClassLoader(), ns->FindLoader(nullptr));
  EXPECT_EQ(1u, ns->GetClassLoaders()->GetFilled()) << "a retry made a second system loader";
  EXPECT_EQ(VMLiteral::CreateInstance(ns, "()V", 0xFFFFFFFFu), ns->GetLiterals()->GetSigNull());
  VMJniDetachEnv(record);
  VMJniClearHostEnv();
  if (record->vm->Destroy() == 0) ns->Destroy();
  host->HeapFree(nullptr, record);
  VMUtils::Fini();
}

TEST_F(InvokeTest, AbandoningTheOnlyMachineReleasesTheProcessState) {
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateToAbandon(&env);
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(0, vm->functions->AbandonJavaVM(vm));
  EXPECT_FALSE(ProcessStateExists());
  EXPECT_EQ(-1, vm->functions->AbandonJavaVM(vm));
  // What the host does with an abandoned machine is its own affair: here it frees it.
  // The reports of its heap, and of the name space's (their monitors), are expected.
  FreeAbandoned(vm, env);
}

TEST_F(InvokeTest, AnAbandonedMachineRunsNoCallbackAndLeavesTheCountToTheOthers) {
  std::vector<std::pair<int, void*>> calls;
  gCalls = &calls;
  JNIEnv* envA = nullptr;
  JavaVM* a = Create(&envA);
  ASSERT_NE(nullptr, a);
  int context = 0;
  EXPECT_EQ(0, a->functions->AddDestroyCallback(a, CallbackF, &context));
  JNIEnv* envB = nullptr;
  JavaVM* b = Create(&envB, a);
  ASSERT_NE(nullptr, b);
  VMNameSpace* ns = a->nameSpace;
  EXPECT_EQ(0, a->functions->AbandonJavaVM(a));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(1u, ns->GetVMCount());
  JavaVM* listed[2] = {nullptr, nullptr};
  jsize total = 0;
  JNI_GetCreatedJavaVMs(listed, 2, &total);
  EXPECT_EQ(1, total);
  EXPECT_EQ(b, listed[0]);
  // The host takes the abandoned machine down itself: it no longer counts.
  host->AttachThreadEnv(a, envA);
  host->SetCurrentEnv(envA);
  VMJniDetachEnv(a);
  EXPECT_EQ(1u, a->vm->Destroy());
  host->HeapFree(nullptr, a->destroyCallbacks);
  host->HeapFree(nullptr, a->name);
  host->HeapFree(nullptr, a);
  host->AttachThreadEnv(b, envB);
  host->SetCurrentEnv(envB);
  Destroy(b);
  EXPECT_TRUE(calls.empty());
}

TEST_F(InvokeTest, StopOtherThreadsAloneReturnsAtOnce) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  uint32_t sleeps = refhost::SleepCallCount();
  EXPECT_EQ(0, vm->functions->StopOtherThreads(vm));
  EXPECT_EQ(sleeps, refhost::SleepCallCount());
  EXPECT_EQ(0, vm->functions->StopOtherThreads(nullptr));
  Destroy(vm);
}

/* The host's stop of every other thread waits until each has left: the machine's own
   finalizer thread, idle between collections, must leave too, or the stop never ends. */
TEST_F(InvokeTest, StopOtherThreadsEndsTheIdleFinalizerThread) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  auto f = env->functions;
  jclass c = f->FindClass(env, "FinLitter");
  ASSERT_NE(nullptr, c) << PendingText(env);
  jmethodID litter = f->GetStaticMethodID(env, c, "litter", "(IZ)V");
  jmethodID begun = f->GetStaticMethodID(env, c, "begun", "()I");
  jclass system = f->FindClass(env, "java/lang/System");
  jmethodID gc = f->GetStaticMethodID(env, system, "gc", "()V");
  ASSERT_TRUE(litter != nullptr && begun != nullptr && gc != nullptr);
  f->CallStaticVoidMethod(env, c, litter, 20, (jboolean)0);
  f->CallStaticVoidMethod(env, system, gc);
  ASSERT_EQ(20, f->CallStaticIntMethod(env, c, begun)) << PendingText(env);
  ASSERT_TRUE(vm->vm->FinalizerThreadAttached());
  // The finalizer thread has run every finalizer and waits for the next collection.
  Watchdog dog(20000, "the host's StopOtherThreads with the finalizer thread idle");
  EXPECT_EQ(0, vm->functions->StopOtherThreads(vm));
  EXPECT_FALSE(vm->vm->FinalizerThreadAttached());
  // Finalizers that fall due afterwards still run, in passes on the machine's threads.
  f->CallStaticVoidMethod(env, c, litter, 20, (jboolean)0);
  f->CallStaticVoidMethod(env, system, gc);
  EXPECT_EQ(40, f->CallStaticIntMethod(env, c, begun)) << PendingText(env);
  f->DeleteLocalRef(env, system);
  f->DeleteLocalRef(env, c);
  Destroy(vm);
}

/* An abandon gives the machine to the host, which may free it at once: the finalizer
   thread, stuck in a finalizer that waits for good, must have left it by then, not be
   still running there. */
TEST_F(InvokeTest, AnAbandonLeavesNoFinalizerThreadInTheMachine) {
  JNIEnv* env = nullptr;
  JavaVM* vm = CreateToAbandon(&env);
  ASSERT_NE(nullptr, vm);
  auto f = env->functions;
  jclass c = f->FindClass(env, "FinLitter");
  ASSERT_NE(nullptr, c) << PendingText(env);
  jmethodID litter = f->GetStaticMethodID(env, c, "litter", "(IZ)V");
  jmethodID begun = f->GetStaticMethodID(env, c, "begun", "()I");
  ASSERT_TRUE(litter != nullptr && begun != nullptr);
  f->CallStaticVoidMethod(env, c, litter, 1, (jboolean)1);
  // Collected by a thread of no machine, which leaves the finalizers to the finalizer
  // thread without waiting for them; the creator stands declared meanwhile.
  OutsideAs(env, [&] { std::thread([&] { vm->vm->GarbageCollect(false); }).join(); });
  // The creator stands declared between its looks: the finalizer's Java may collect.
  EXPECT_TRUE(WaitFor([&] {
    OutsideAs(env, [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); });
    return f->CallStaticIntMethod(env, c, begun) == 1;
  }));
  f->DeleteLocalRef(env, c);
  EXPECT_EQ(0, vm->functions->AbandonJavaVM(vm));
  // The heap is the host's now (the name space has gone with the last machine): no
  // record of the machine may still be attached but the caller's.
  VMThreadHandleArray* threads = vm->vm->GetThreads();
  uint32_t others = 0;
  for (uint32_t i = 1; i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    if (t != nullptr && t->GetEnv() != nullptr && t->GetEnv() != env) others++;
  }
  EXPECT_EQ(0u, others);
  FreeAbandoned(vm, env);
}

TEST_F(InvokeTest, CreationWaitingForADebuggerEndsWhenReleased) {
  JNICreateArgs args = Args();
  args.waitForDebugger = 1;
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  std::atomic<bool> done{false};
  std::thread creator([&] {
    EXPECT_EQ(0, JNI_CreateJavaVM(&vm, &env, &args));
    if (vm != nullptr) vm->functions->DetachCurrentThread(vm);
    done = true;
  });
  JavaVM* waiting = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    jsize total = 0;
    JNI_GetCreatedJavaVMs(&waiting, 1, &total);
    return total == 1;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  EXPECT_FALSE(done.load()) << "creation did not wait";
  EXPECT_EQ(1u, waiting->debugWait & 0xFF);
  waiting->debugWait = 0;  // what the debugger's release does
  EXPECT_TRUE(WaitFor([&] { return done.load(); }));
  creator.join();
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(0, vm->vm->GetInitialized() ? 0 : 1);
  Destroy(vm);
}

/* A machine is listed while its creation still waits (for a debugger here), and a host's
   shutdown destroys every listed machine, this one too: the destroyer marks it and waits
   for the creating thread, which gives up its wait and fails: the machine is
   the destroyer's to take down, once the creating thread has left it. (The failed
   creation took it down as well, freeing it under the destroyer: heap-use-after-free in
   the sanitizer build.) */
TEST_F(InvokeTest, ADestroyOfAListedMachineWhoseCreationThenFailsTakesItDownAlone) {
  std::atomic<int> created{-5};
  std::thread creator;
  JavaVM* listed = StartFailingCreation(creator, created);
  ASSERT_NE(nullptr, listed);
  std::atomic<int> destroyed{-5};
  std::thread destroyer([&] { destroyed = listed->functions->DestroyJavaVM(listed); });
  // The record stays while the creation waits: the destroy has begun once it is marked.
  EXPECT_TRUE(WaitFor([&] { return __atomic_load_n(&listed->terminating, __ATOMIC_SEQ_CST) != 0; }));
  // The creation gives up its wait once the machine is marked, and fails: the destroy may
  // free the record from then on, so the test touches nothing of it.
  creator.join();
  destroyer.join();
  EXPECT_EQ(-1, created.load());
  EXPECT_EQ(0, destroyed.load());
}

/* Creations that fail (no class library) race a host that destroys whatever it finds
   listed: whichever marks a machine first takes it down, the other leaves it alone, in
   either order, with nothing lost and nothing freed twice. (A machine of this thread
   keeps the process state: the list is never empty between rounds.) */
TEST_F(InvokeTest, DestroysRacingFailingCreationsTakeEachMachineDownOnce) {
  JNIEnv* env = nullptr;
  JavaVM* keeper = Create(&env);
  ASSERT_NE(nullptr, keeper);
  refhost::SetClassPath(nullptr, "/nonexistent-class-path");
  const int kRounds = 12;
  int takenByDestroyer = 0;
  for (int round = 0; round < kRounds; round++) {
    std::atomic<bool> done{false};
    std::atomic<int> created{-5};
    std::thread creator([&] {
      JNICreateArgs args = Args();
      JavaVM* made = nullptr;
      JNIEnv* madeEnv = nullptr;
      created = JNI_CreateJavaVM(&made, &madeEnv, &args);
      done = true;
    });
    int destroyed = -5;
    while (!done.load() && destroyed != 0) {
      JavaVM* listed[2] = {nullptr, nullptr};
      jsize total = 0;
      JNI_GetCreatedJavaVMs(listed, 2, &total);
      // Through the entry itself: the failed creation may have freed the record, table
      // and all, since it was listed.
      for (jsize i = 0; i < total && i < 2; i++)
        if (listed[i] != keeper) destroyed = VMJniInvoke::DestroyJavaVM(listed[i]);
    }
    JoinOutside(creator);
    EXPECT_EQ(-1, created.load()) << "round " << round;
    if (destroyed == 0) takenByDestroyer++;
    jsize total = -1;
    JNI_GetCreatedJavaVMs(nullptr, 0, &total);
    ASSERT_EQ(1, total) << "round " << round;
  }
  printf("machines taken down by the destroyer: %d of %d\n", takenByDestroyer, kRounds);
  refhost::SetClassPath(nullptr, TestClasses() + ":" + LibraryZip());
  Destroy(keeper);
}

/* What a host's shutdown does to every machine it finds listed, from three threads at
   once (two destroys and an abandon), meets a machine whose creation still waits (for a
   debugger here), which fails once a destroy has it. The abandon is refused: the machine
   is not yet the host's to keep, its creating thread runs in it. One destroy takes it,
   the other is refused, and the failed creation leaves it to that destroy. (The abandon
   released the name space and the process state, and the creation went on into them:
   heap-use-after-free in the sanitizer build.) */
TEST_F(InvokeTest, AFailingCreationRacedByTwoDestroysAndAnAbandonIsTakenDownOnce) {
  std::atomic<int> created{-5};
  std::thread creator;
  JavaVM* listed = StartFailingCreation(creator, created);
  ASSERT_NE(nullptr, listed);
  // The abandon first: the order that took everything from under the creation.
  EXPECT_EQ(-1, VMJniInvoke::AbandonJavaVM(listed)) << "a machine whose creation was under way was abandoned";
  std::atomic<int> destroyed[2] = {{-5}, {-5}};
  std::vector<std::thread> destroyers;
  for (int i = 0; i < 2; i++)
    destroyers.emplace_back([&, i] { destroyed[i] = VMJniInvoke::DestroyJavaVM(listed); });
  // The one that comes second is refused at once; the other waits for the creation.
  EXPECT_TRUE(WaitFor([&] { return destroyed[0].load() == -1 || destroyed[1].load() == -1; }));
  EXPECT_EQ(-1, VMJniInvoke::AbandonJavaVM(listed));
  // The creation gives up its wait for the debugger once the destroy has marked the
  // machine, and fails: nothing of the record is the test's to touch any more.
  creator.join();
  for (auto& t : destroyers) t.join();
  EXPECT_EQ(-1, created.load());
  EXPECT_EQ(1, (destroyed[0].load() == 0) + (destroyed[1].load() == 0));
}

/* A host thread that runs in a machine destroys it while a thread attached to nothing
   (a host's shutdown, which found it listed) already does. The second destroy is
   refused; the caller, attached, leaves the machine all the same (it is not to be run in
   any more), or the first destroy, which waits for every thread to leave, would wait for
   it for good. In the second round the caller has attached again and holds its first
   env current (the host's to free). */
TEST_F(InvokeTest, AThreadWhoseDestroyIsRefusedForAnotherLeavesTheMachineToIt) {
  for (int round = 0; round < 2; round++) {
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    JNIEnv* second = nullptr;
    if (round == 1) {
      ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &second, nullptr));
      host->SetCurrentEnv(env);
    }
    std::atomic<int> first{-5};
    std::thread shutdown([&] { first = VMJniInvoke::DestroyJavaVM(vm); });
    WhileOutside([&] { EXPECT_TRUE(WaitFor([&] { return __atomic_load_n(&vm->terminating, __ATOMIC_SEQ_CST) != 0; })); });
    EXPECT_EQ(-1, VMJniInvoke::DestroyJavaVM(vm)) << "round " << round;
    if (round == 1) {
      EXPECT_EQ(env, host->GetCurrentEnv());  // the host's, which it lets go of now
      host->SetCurrentEnv(nullptr);
      host->HeapFree(nullptr, env);
      host->AttachThreadEnv(nullptr, nullptr);
    }
    EXPECT_EQ(nullptr, host->GetCurrentEnv()) << "round " << round;
    EXPECT_EQ(nullptr, refhost::AttachedEnv()) << "round " << round;
    const bool ended = EndsWithin(60000, [&] { shutdown.join(); });
    if (!ended) {
      // The first destroy waits for this thread for ever: nothing can end the machine.
      ADD_FAILURE() << "round " << round << ": the first destroy waited for a thread whose own destroy it had refused";
      shutdown.detach();
      fflush(stdout);
      _exit(1);
    }
    EXPECT_EQ(0, first.load());
  }
}

}  // namespace
}  // namespace jni_test
