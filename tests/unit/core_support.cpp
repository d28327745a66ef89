#include "core_support.h"

#include "test_host.h"

namespace core_test {

LockRefusals& Refusals() {
  static LockRefusals refusals;
  return refusals;
}

bool TakeRefusal(std::atomic<int>& left) {
  int n = left.load();
  while (n > 0)
    if (left.compare_exchange_weak(n, n - 1)) return true;
  return false;
}

jboolean HOSTCALL RefusingMutexLock(void* mutex) {
  if (TakeRefusal(Refusals().mutexLocks)) return 0;
  return refhost::Functions()->MutexLock(mutex);
}

jboolean HOSTCALL CountingMutexUnlock(void* mutex) {
  Refusals().mutexUnlocks++;
  return refhost::Functions()->MutexUnlock(mutex);
}

jboolean HOSTCALL RefusingSpinAcquire(void* lock, const char* tag) {
  if (TakeRefusal(Refusals().spinAcquires)) return 0;
  return refhost::Functions()->SpinLockAcquire(lock, tag);
}

JNIHostFunctions* RefusingLocksTable() {
  static JNIHostFunctions table;
  table = *refhost::Functions();
  table.MutexLock = RefusingMutexLock;
  table.MutexUnlock = CountingMutexUnlock;
  table.SpinLockAcquire = RefusingSpinAcquire;
  return &table;
}

void CoreTest::SetUp() {
  refhost::ResetHooks();
  Refusals().mutexLocks = 0;
  Refusals().spinAcquires = 0;
  Refusals().mutexUnlocks = 0;
  host = test_host::BindReferenceHost();
  nsHeap = host->HeapCreate(nullptr, 1);
  machineHeap = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, nsHeap);
  ASSERT_NE(nullptr, machineHeap);
}

void CoreTest::TearDown() {
  refhost::ResetHooks();
  Detach();
  DestroyNameSpace();
  if (expectEmptyHeaps) {
    EXPECT_EQ(0u, refhost::BlocksInUse(nsHeap));
    EXPECT_EQ(0u, refhost::BlocksInUse(machineHeap));
  }
  host->HeapDestroy(nsHeap);
  host->HeapDestroy(machineHeap);
}

void CoreTest::MakeNameSpace(uint32_t literalTableSize, uint32_t internTableSize) {
  ns = (VMNameSpace*)VMObject::CreateInternalNotToBeCalledDirectly(
      nsHeap, VMNameSpace::Words, VMNameSpace::RefMask, VMTag_VMNameSpace, jallocFailFast);
  ASSERT_NE(nullptr, ns);
  ns->SetHeap(nsHeap);
  VMLiteralHashTable* literals = VMLiteralHashTable::CreateInstance(nsHeap, literalTableSize);
  ASSERT_NE(nullptr, literals);
  ns->SetLiteralHashTable(literals);
  VMJavaLangStringHashTable* strings =
      VMJavaLangStringHashTable::CreateInstance(nsHeap, internTableSize);
  ASSERT_NE(nullptr, strings);
  ns->SetInternTable(strings);
}

void CoreTest::MakeClassLists() {
  ASSERT_NE(nullptr, ns);
  VMClassList* classes = (VMClassList*)VMObject::CreateInternalNotToBeCalledDirectly(
      nsHeap, VMClassList::Words, VMClassList::RefMask, VMTag_VMClassList, jallocFailFast);
  VMArrayClassList* arrays = (VMArrayClassList*)VMObject::CreateInternalNotToBeCalledDirectly(
      nsHeap, VMArrayClassList::Words, VMArrayClassList::RefMask, VMTag_VMArrayClassList,
      jallocFailFast);
  ASSERT_NE(nullptr, classes);
  ASSERT_NE(nullptr, arrays);
  ns->SetClassList(classes);
  ns->SetArrayClassList(arrays);
}

void CoreTest::MakeStringClasses() {
  ASSERT_NO_FATAL_FAILURE(MakeClassLists());
  VMClassList* classes = ns->GetClassList();
  VMArrayClassList* arrays = ns->GetArrayClassList();

  stringClass = (VMLoadableClass*)VMObject::CreateInstance(nsHeap, 30, jallocFailFast, VMTag_VMClass);
  charsClass = (VMArrayClass*)VMObject::CreateInstance(nsHeap, 9, jallocFailFast, VMTag_VMClass);
  ASSERT_NE(nullptr, stringClass);
  ASSERT_NE(nullptr, charsClass);
  VMboolArray* bits = VMboolArray::CreateInstance(nsHeap, 4, jallocFailFast, VMTag_VMIsRefBits);
  ASSERT_NE(nullptr, bits);
  bits->Set(0, true);  /* value is the one reference */
  stringClass->SetWord(VMClass::NameSpaceWord, (VMword)ns);
  stringClass->SetWord(VMClass::NameWord, (VMword)Lit("java/lang/String"));
  stringClass->SetWord(VMLoadableClass::CreateBitsWord, (VMword)bits);
  stringClass->SetWord(VMLoadableClass::CreateSizeWord, 4);
  charsClass->SetWord(VMClass::NameSpaceWord, (VMword)ns);
  charsClass->SetWord(VMClass::NameWord, (VMword)Lit("[C"));
  classes->SetReference(VMClassList::StringClassWord, (VMObject*)stringClass);
  arrays->SetReference(VMArrayClassList::VMcharArrayClassWord, (VMObject*)charsClass);
}

void CoreTest::Attach() {
  vm = (VM*)VMObject::CreateInternalNotToBeCalledDirectly(machineHeap, VM::Words, 0, VMTag_VM,
                                                           jallocFailFast);
  ASSERT_NE(nullptr, vm);
  vm->SetScalar(VM::HEAP_WORD, (VMword)machineHeap);
  vm->SetScalar(VM::NAME_SPACE_WORD, (VMword)ns);
  javaVMWords[1] = (VMword)vm;
  envWords[1] = (VMword)javaVMWords;
  env = (JNIEnv*)envWords;
  host->SetCurrentEnv(env);
}

void CoreTest::Detach() {
  if (vm == nullptr) return;
  host->SetCurrentEnv(nullptr);
  vm->Destroy(machineHeap);
  vm = nullptr;
  env = nullptr;
}

void CoreTest::DestroyNameSpace() {
  if (ns == nullptr) return;
  if (stringClass != nullptr) {
    ((VMObject*)stringClass->GetWord(VMLoadableClass::CreateBitsWord))->Destroy(nsHeap);
    stringClass->VMObject::Destroy(nsHeap);
    charsClass->Destroy(nsHeap);
  }
  if (ns->GetClassList() != nullptr) ns->GetClassList()->Destroy(nsHeap);
  if (ns->GetArrayClassList() != nullptr) ns->GetArrayClassList()->Destroy(nsHeap);
  if (VMJavaLangStringHashTable* strings = ns->GetInternTable()) {
    for (uint32_t i = 0; i < strings->GetFilled(); i++)
      ((VMJavaLangString*)strings->Get(i))->Destroy(nsHeap);
    strings->Destroy(nsHeap);
  }
  if (VMLiteralHashTable* literals = ns->GetLiteralHashTable()) {
    for (uint32_t i = 0; i < literals->GetFilled(); i++)
      ((VMLiteral*)literals->Get(i))->Destroy(nsHeap);
    literals->Destroy(nsHeap);
  }
  ns->Destroy(nsHeap);
  ns = nullptr;
  stringClass = nullptr;
  charsClass = nullptr;
}

}  // namespace core_test
