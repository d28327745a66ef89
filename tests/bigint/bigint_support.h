/* Shared set-up of the BigInteger tests: magnitudes on a heap of the reference host,
   turned from and into bytes and hex, the vectors that Python's integers computed, and
   a reference of 64-bit arithmetic for the exhaustive small cases. */
#ifndef PUX_TESTS_BIGINT_SUPPORT_H
#define PUX_TESTS_BIGINT_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "biginteger.h"
#include "refhost.h"

namespace bigint_test {

typedef std::vector<uint8_t> Bytes;

/* Hex of bytes as they stand, "-" for none; and back. */
std::string Hex(const Bytes& b);
Bytes FromHex(const std::string& hex);
/* The bytes of a 64-bit value without leading zeros, after `zeros` zero bytes. */
Bytes FromU64(uint64_t v, int zeros = 0);
/* The value of bytes that fit in 64 bits. */
uint64_t ToU64(const Bytes& b);
/* Without leading zero bytes. */
Bytes Canonical(const Bytes& b);

/* One line of the vector file, split at spaces. */
typedef std::vector<std::string> Fields;
/* Every line of the generated file whose first field is the tag. */
const std::vector<Fields>& Vectors(const std::string& tag);

class BigIntTest : public ::testing::Test {
 public:
  static Bytes Read(const bigint::Mag* m);

 protected:
  void SetUp() override;
  void TearDown() override;

  /* A magnitude made as Java would hand it in (a byte array of the heap, no class). */
  bigint::Mag* Make(const Bytes& b);
  bigint::Mag* MakeHex(const std::string& hex) { return Make(FromHex(hex)); }
  /* Frees an array made here or answered by a routine (NULL ignored). */
  void Drop(VMArray* a);
  /* A fresh computation on the test's heap, polling through CountPoll. */
  bigint::Context NewContext();
  uint32_t Blocks() const { return refhost::BlocksInUse(heap); }

  /* Polls seen, and after how many further polls the poll answers nonzero (-1 never). */
  int polls = 0;
  int stopAfter = -1;
  static int CountPoll(void* self);

  JNIHostFunctions* host = nullptr;
  HHeap* heap = nullptr;
};

/* Arguments that must come back untouched: their bytes now, checked again later. */
struct Snapshot {
  std::vector<const bigint::Mag*> arrays;
  std::vector<Bytes> bytes;
  void Add(const bigint::Mag* m);
  /* Whether every array still holds its bytes and is still a live byte array. */
  ::testing::AssertionResult Unchanged() const;
};

}  // namespace bigint_test

#endif
