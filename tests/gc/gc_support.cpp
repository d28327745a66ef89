#include "gc_support.h"

#include "test_host.h"

#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmmonitor.h"
#include "vmnamespace.h"

namespace gc_test {

namespace {

void JNICALL Collect(JNIEnv* env, jclass, jboolean soft) {
  VM* vm = env->javaVM->vm;
  vm->GarbageCollect(soft != 0);
}

jint JNICALL Collections(JNIEnv* env, jclass) { return (jint)env->javaVM->vm->GetCollections(); }

jobject JNICALL Through(JNIEnv* env, jclass, jobject o) {
  // A collection while the native holds its argument in a local handle only.
  env->javaVM->vm->GarbageCollect(false);
  return o;
}

jint JNICALL CollectWithoutCallersFlow(JNIEnv* env, jclass) {
  VM* vm = env->javaVM->vm;
  VMFrame* caller = env->thread->GetFrame()->GetCaller();
  VMMethod* method = caller->GetMethod();
  (void)VMBasicBlock::DestroyBlocks(method);
  uint32_t before = vm->GetCollections();
  vm->GarbageCollect(false);
  uint32_t completed = vm->GetCollections() - before;
  (void)VMBasicBlock::BuildBlocks(method);
  return (jint)completed;
}

JNINativeMethod hostNatives[] = {
    {(char*)"collectWithoutCallersFlow", (char*)"()I", (void*)&CollectWithoutCallersFlow},
    {(char*)"collect", (char*)"(Z)V", (void*)&Collect},
    {(char*)"collections", (char*)"()I", (void*)&Collections},
    {(char*)"through", (char*)"(Ljava/lang/Object;)Ljava/lang/Object;", (void*)&Through},
};

/* Object's monitor natives as the class library's own will be: the reference queues
   notify waiters when they append. */
void JNICALL NotifyAll(JNIEnv* env, jobject self) {
  VMObject* o = VMJniHandle::UnHandle(env, self);
  if (o != nullptr) (void)o->NotifyAll(env->javaVM->nameSpace);
}
void JNICALL Notify(JNIEnv* env, jobject self) {
  VMObject* o = VMJniHandle::UnHandle(env, self);
  if (o != nullptr) (void)o->Notify(env->javaVM->nameSpace);
}
void JNICALL Wait(JNIEnv* env, jobject self, jlong ms) {
  VMObject* o = VMJniHandle::UnHandle(env, self);
  if (o != nullptr) (void)o->JavaWait(env->javaVM->nameSpace, ms, env->thread);
}

JNINativeMethod objectNatives[] = {
    {(char*)"notifyAll", (char*)"()V", (void*)&NotifyAll},
    {(char*)"notify", (char*)"()V", (void*)&Notify},
    {(char*)"wait", (char*)"(J)V", (void*)&Wait},
};

jboolean HOSTCALL CensusBlock(void* block, void* context) {
  HeapCensus* c = (HeapCensus*)context;
  VMObject* o = (VMObject*)block;
  if (!VMUtils::ValidateTag(o->GetTag()) || !o->GetIsRootObject()) return 1;
  c->objects++;
  if (o->GetFlags() & (VMFLAG_REACHABILITY | VMFLAG_REFERENCE_KIND | VMFLAG_FINALIZABLE)) c->marked++;
  if (o->GetQueue() != nullptr) c->queued++;
  if (o->GetIsPreGCAllocation()) c->preGC++;
  return 1;
}

}  // namespace

void RegisterNatives() {
  static bool done = false;
  if (done) return;
  done = JNI_RegisterNative("gc/Host", hostNatives, 4) == 0 &&
         JNI_RegisterNative("java/lang/Object", objectNatives, 3) == 0;
}

HeapCensus TakeCensus(HHeap* heap) {
  HeapCensus c;
  refhost::Functions()->HeapWalk(heap, CensusBlock, &c);
  return c;
}

void GcTest::SetUp() {
  refhost::ResetHooks();
  // Before the world: its classes bind the tables when they are prepared.
  test_host::BindReferenceHost();
  RegisterNatives();
  ASSERT_TRUE(world.Create(interp_test::ClassDir("gc"))) << "the test world could not be made";
}

void GcTest::TearDown() { world.Destroy(); }

void GcTest::UseReferences() {
  world.ns->SetLibraryVersion(2);
  ASSERT_TRUE(world.ns->InitializeReferenceHandling(world.env)) << world.TakeException();
}

int GcTest::Run(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args) {
  std::string qualified = std::string("gc/") + cls;
  Outcome o = world.Call(qualified.c_str(), name, sig, args);
  EXPECT_EQ("", o.thrown) << cls << "." << name << ": " << o.message;
  return o.Int();
}

}  // namespace gc_test
