#include "compress_support.h"

namespace compress_test {

uint32_t WalkPool(const ZipPoolCookie* cookie, uint32_t* blocks) {
  uint32_t sum = 0, count = 0;
  const ZipPoolBlock* previous = nullptr;
  for (const ZipPoolBlock* b = cookie->first; b != nullptr; b = b->next) {
    if (b->prev != previous || b->size < ZipPoolCookie::MinimumBlock) return 0xFFFFFFFFu;
    sum += b->size;
    count++;
    previous = b;
  }
  if (previous != cookie->last) return 0xFFFFFFFFu;
  if (blocks != nullptr) *blocks = count;
  return sum;
}

void PoolMachineTest::SetUp() {
  RuntimeTest::SetUp();
  machine = MakeMachine();
  env = AttachHere(machine);
  ASSERT_NE(nullptr, env);
}

void PoolMachineTest::TearDown() {
  if (machine.jvm != nullptr) DestroyAttachedMachine(machine, env != nullptr);
  RuntimeTest::TearDown();
}

ZipPoolCookie* PoolMachineTest::PeekCookie() {
  JNIEnv* current = host->GetCurrentEnv();
  if (current == nullptr) return nullptr;
  for (VMJniKeyValueNode* n = static_cast<VMJniKeyValueNode*>(current->javaVM->destroyCallbacks);
       n != nullptr; n = n->next) {
    if (n->key == ZipPoolCookieDestroy) return static_cast<ZipPoolCookie*>(n->value);
  }
  return nullptr;
}

uint32_t PoolMachineTest::PoolBytes() {
  ZipPoolCookie* cookie = PeekCookie();
  return cookie == nullptr ? 0 : ZipPoolBytesInUse(cookie);
}

void PoolMachineTest::DestroyAttachedMachine(runtime_test::Machine& m, bool attached) {
  if (attached) DetachHere(m);
  DestroyMachine(m);
}

}  // namespace compress_test
