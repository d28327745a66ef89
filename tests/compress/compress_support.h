/* Shared set-up of the compression tests: a machine with the calling thread attached (the
   pool finds its machine through the thread's env), and a walker that checks a pool's
   block list against its count. */
#ifndef PUX_TESTS_COMPRESS_SUPPORT_H
#define PUX_TESTS_COMPRESS_SUPPORT_H

#include <gtest/gtest.h>

#include "unit/runtime_support.h"
#include "zippool.h"

namespace compress_test {

/* Walks first -> next, checking each back link and that the walk ends at last; the sum
   of the block sizes, or 0xFFFFFFFF when a link is wrong. */
uint32_t WalkPool(const ZipPoolCookie* cookie, uint32_t* blocks = nullptr);

class PoolMachineTest : public runtime_test::RuntimeTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* The machine's pool as the chunk functions see it, without keeping a reference. */
  ZipPoolCookie* PeekCookie();
  /* The pool's bytes now (0 when there is no pool). */
  uint32_t PoolBytes();
  /* Detaches the calling thread when it is attached, then destroys the machine (which
     calls the keys of its JavaVM record, the pool's among them). */
  void DestroyAttachedMachine(runtime_test::Machine& m, bool attached);

  runtime_test::Machine machine;
  JNIEnv* env = nullptr;
};

}  // namespace compress_test

#endif
