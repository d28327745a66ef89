#include "storage_support.h"

#include "test_host.h"

namespace storage_test {

namespace {

JNIHostFunctions watching;

void* HOSTCALL WatchAlloc(HHeap* heap, uint32_t size, jint kind) {
  Calls().allocKinds.push_back(kind);
  Calls().blocksAtAlloc.push_back(refhost::BlocksInUse(heap));
  return refhost::Functions()->HeapAlloc(heap, size, kind);
}

void HOSTCALL WatchFree(HHeap* heap, void* block) {
  if (block != nullptr) Calls().freedFirstWords.push_back(*static_cast<VMword*>(block));
  Calls().freedBlocks.push_back(block);
  refhost::Functions()->HeapFree(heap, block);
}

jint HOSTCALL WatchHash(HHeap* heap, void* object) {
  Calls().hashHeaps.push_back(heap);
  return refhost::Functions()->ObjectHashCode(heap, object);
}

jboolean HOSTCALL WatchMutexLock(void* mutex) {
  if (Calls().failMutexLocks > 0) {
    Calls().failMutexLocks--;
    return 0;
  }
  return refhost::Functions()->MutexLock(mutex);
}

}  // namespace

HeapCalls& Calls() {
  static HeapCalls calls;
  return calls;
}

JNIHostFunctions* WatchingTable() {
  watching = *refhost::Functions();
  watching.HeapAlloc = WatchAlloc;
  watching.HeapFree = WatchFree;
  watching.ObjectHashCode = WatchHash;
  watching.MutexLock = WatchMutexLock;
  return &watching;
}

void StorageTest::SetUp() {
  refhost::ResetHooks();
  Calls() = HeapCalls();
  host = test_host::BindReferenceHost();
  heap = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, heap);
}

void StorageTest::TearDown() {
  DetachFakeMachine();
  VMUtils::SetHostFunctions(refhost::Functions());
  refhost::ResetHooks();
  // Whatever a test made on its heap it must have given back.
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  EXPECT_EQ(0u, refhost::BytesInUse(heap));
  refhost::Functions()->HeapDestroy(heap);
}

void StorageTest::Watch() {
  host = WatchingTable();
  VMUtils::SetHostFunctions(host);
}

void StorageTest::AttachFakeMachine() {
  // Records of the real sizes: the collector's and the thread's later words are written.
  vm = static_cast<VM*>(VMObject::CreateInternalNotToBeCalledDirectly(heap, VM::Words, 0, VMTag_VM, jallocFailFast));
  thread = static_cast<VMThread*>(
      VMObject::CreateInternalNotToBeCalledDirectly(heap, VMThread::Words, 0, VMTag_VMThread, jallocFailFast));
  ASSERT_NE(nullptr, vm);
  ASSERT_NE(nullptr, thread);
  vm->SetScalar(VM::HEAP_WORD, reinterpret_cast<VMword>(heap));
  javaVM[1] = reinterpret_cast<VMword>(vm);
  env[1] = reinterpret_cast<VMword>(javaVM);
  env[2] = reinterpret_cast<VMword>(thread);
  refhost::Functions()->SetCurrentEnv(reinterpret_cast<JNIEnv*>(env));
}

void StorageTest::DetachFakeMachine() {
  if (vm == nullptr) return;
  refhost::Functions()->SetCurrentEnv(nullptr);
  static_cast<VMObject*>(static_cast<VMObjectBase*>(thread))->Destroy(heap);
  static_cast<VMObject*>(static_cast<VMObjectBase*>(vm))->Destroy(heap);
  vm = nullptr;
  thread = nullptr;
}

}  // namespace storage_test
