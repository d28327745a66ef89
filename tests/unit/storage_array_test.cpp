/* Arrays: typed access at every storage boundary, element runs, the size limits, copies
   and comparisons against a flat reference buffer, clearing and bit sets. */
#include <atomic>
#include <random>
#include <thread>
#include <type_traits>
#include <string.h>
#include <vector>

#include "storage_support.h"
#include "vmarray.h"

using storage_test::StorageTest;

namespace {

class ArrayTest : public StorageTest {
 protected:
  /* Destroys an array created by a test. */
  void Drop(VMArray* array) { array->Destroy(heap); }
};

template <typename T>
T PatternOf(uint32_t i) {
  uint64_t bits = (uint64_t)(i + 1) * 0x9E3779B97F4A7C15ull;
  T value;
  memcpy(&value, &bits, sizeof value);
  return value;
}
/* Floating values travel through the x87 registers, which quiet signalling NaNs: use
   ordinary numbers so that a value read back is bit for bit the one stored. */
template <>
jfloat PatternOf<jfloat>(uint32_t i) { return (jfloat)i * 0.75f - 1000.0f; }
template <>
jdouble PatternOf<jdouble>(uint32_t i) { return (jdouble)i * 1.0625e-3 - 123456.5; }

/* Walks the array in FindElement runs and compares each run with the flat copy; the runs
   must tile the array exactly and never pass its end. */
template <typename A, typename T>
void CheckRuns(const A* array, const std::vector<T>& flat) {
  uint32_t count = array->GetSize();
  uint32_t index = 0;
  while (index < count) {
    uint32_t run = 0;
    const void* p = array->FindElement(index, &run);
    ASSERT_GT(run, 0u) << index;
    ASSERT_LE(run, count - index) << index;
    ASSERT_EQ(0, memcmp(p, &flat[index], run * sizeof(T))) << index;
    ASSERT_EQ(p, array->FindElement(index));
    index += run;
  }
}

template <typename A>
void FillAndCheck(HHeap* heap, uint32_t count) {
  typedef typename A::Element T;
  A* array = A::CreateInstance(heap, count, jallocFailFast, VMTag_VMintArray);
  ASSERT_NE(nullptr, array) << count;
  ASSERT_EQ(count, array->GetSize());
  ASSERT_EQ(sizeof(T), 1u << array->GetElementShift());
  EXPECT_TRUE(array->GetIsScalarArray());
  std::vector<T> flat(count);
  for (uint32_t i = 0; i < count; i++) {
    flat[i] = PatternOf<T>(i);
    array->Set(i, flat[i]);
  }
  uint32_t bad = 0;
  for (uint32_t i = 0; i < count; i++) {
    T got = array->Get(i);
    if (memcmp(&flat[i], &got, sizeof(T)) != 0) bad++;
  }
  EXPECT_EQ(0u, bad) << count << " elements of " << sizeof(T);
  CheckRuns(array, flat);
  // The bytes of the last data word behind the last element stay zero.
  uint32_t bytes = count * (uint32_t)sizeof(T);
  const uint8_t* last = static_cast<const uint8_t*>(array->FindElement(count - 1)) + sizeof(T);
  for (uint32_t b = bytes; b % 4 != 0; b++, last++) EXPECT_EQ(0, *last);
  array->Destroy(heap);
}

/* Arrays whose bodies end one word before, at and one word after the block's end and the
   end of each tree level, for every element size. */
TEST_F(ArrayTest, TypedAccessAtEveryStorageBoundary) {
  const uint32_t boundaries[] = {196, 1476, 17860, 1066436};
  for (uint32_t bodyWords : boundaries) {
    for (int delta = -1; delta <= 1; delta++) {
      uint32_t dataBytes = (bodyWords + delta - 2) * 4;
      FillAndCheck<VMbyteArray>(heap, dataBytes);
      FillAndCheck<VMbyteArray>(heap, dataBytes - 3);
      FillAndCheck<VMcharArray>(heap, dataBytes / 2);
      FillAndCheck<VMshortArray>(heap, dataBytes / 2 - 1);
      FillAndCheck<VMintArray>(heap, dataBytes / 4);
      FillAndCheck<VMfloatArray>(heap, dataBytes / 4);
      FillAndCheck<VMuintArray>(heap, dataBytes / 4);
      FillAndCheck<VMiwordArray>(heap, dataBytes / 4);
      FillAndCheck<VMlongArray>(heap, dataBytes / 8);
      FillAndCheck<VMdoubleArray>(heap, (dataBytes + 4) / 8);
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(ArrayTest, BlockPartAndFirstPiece) {
  VMbyteArray* bytes = VMbyteArray::CreateInstance(heap, 776, jallocFailFast, VMTag_VMbyteArray);
  EXPECT_TRUE(bytes->GetIsContiguous());
  Drop(bytes);
  bytes = VMbyteArray::CreateInstance(heap, 777, jallocFailFast, VMTag_VMbyteArray);
  EXPECT_FALSE(bytes->GetIsContiguous());
  // Its last byte is the first byte of the first piece.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(bytes->Body()[196]), bytes->FindElement(776));
  Drop(bytes);

  VMintArray* ints = VMintArray::CreateInstance(heap, 195, jallocFailFast, VMTag_VMintArray);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(ints) + 20 + 8 + 193 * 4, ints->FindElement(193));
  EXPECT_EQ(reinterpret_cast<void*>(ints->Body()[196]), ints->FindElement(194));
  uint32_t run = 0;
  ints->FindElement(0, &run);
  EXPECT_EQ(194u, run);
  ints->FindElement(194, &run);
  EXPECT_EQ(1u, run);  // the piece has room for 64, but the array ends
  // FindElement with an explicit shift addresses by that shift.
  EXPECT_EQ(ints->FindElement(100), ints->FindElement(200, 1));
  Drop(ints);

  // The long at data word 193 is split between the block and the first piece.
  VMlongArray* longs = VMlongArray::CreateInstance(heap, 200, jallocFailFast, VMTag_VMlongArray);
  longs->SetLong(193, 0x1122334455667788LL);
  EXPECT_EQ(0x55667788u, longs->GetWord(193));
  EXPECT_EQ(0x11223344u, *reinterpret_cast<VMword*>(longs->Body()[196]));
  EXPECT_EQ(0x1122334455667788LL, longs->GetLong(193));
  longs->Set(97, -5);
  EXPECT_EQ(-5, longs->Get(97));
  VMObjectBase::VMLocation where;
  longs->LocateElement(194, where);
  EXPECT_EQ(0u, where.index);
  longs->SetDouble(10, 0.25);
  EXPECT_EQ(0.25, longs->GetDouble(10));
  Drop(longs);
}

TEST_F(ArrayTest, RunsNeverPassTheLastElement) {
  for (uint32_t count : {100u, 776u, 777u, 800u, 1032u, 1033u, 5000u}) {
    VMbyteArray* bytes = VMbyteArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMbyteArray);
    for (uint32_t i = 0; i < count; i++) {
      uint32_t run = 0;
      bytes->FindElement(i, &run);
      ASSERT_GE(run, 1u);
      ASSERT_LE(run, count - i) << count << " at " << i;
    }
    Drop(bytes);
  }
}

/* At or past the count nothing lies there, even where the next word would be one past
   the block or behind a slot that holds no piece: no address is worked out, and the run
   of 0 ends a caller's loop. Arrays end exactly at the block, at a piece boundary and at
   the end of a level. */
TEST_F(ArrayTest, NothingLiesAtOrPastTheCount) {
  for (uint32_t count : {0u, 194u, 194u + 64u, 194u + 64u * 20u, 194u + 64u * 20u + 64u * 64u}) {
    VMintArray* ints = VMintArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMintArray);
    ASSERT_NE(nullptr, ints) << count;
    for (uint32_t index : {count, count + 1, count + 64, 0xFFFFFFFFu}) {
      uint32_t run = 99;
      EXPECT_EQ(nullptr, ints->FindElement(index, &run)) << count << " at " << index;
      EXPECT_EQ(0u, run);
    }
    Drop(ints);
  }
}

TEST_F(ArrayTest, ScalarSizeLimit) {
  // A heap that could hold it, and a host that refuses the second block asked for.
  refhost::SetHeapCapacity(heap, 4ull << 30);
  refhost::FailNthAllocation(2);
  uint64_t before = refhost::AllocationCount();
  // Exactly at the limit the creation asks the host ...
  EXPECT_EQ(nullptr, VMArray::CreateInstance(heap, 0x7FFF0000u / 4, 4, jallocFailFast, VMTag_VMintArray));
  EXPECT_GT(refhost::AllocationCount(), before);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
  // ... one element more, or a product beyond 32 bits, is refused without asking.
  before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, VMArray::CreateInstance(heap, 0x7FFF0000u / 4 + 1, 4, jallocFailFast, VMTag_VMintArray));
  EXPECT_EQ(nullptr, VMArray::CreateInstance(heap, 0x80000000u, 2, jallocFailFast, VMTag_VMcharArray));
  EXPECT_EQ(nullptr, VMArray::CreateInstance(heap, 0xFFFFFFFFu, 8, jallocFailFast, VMTag_VMlongArray));
  EXPECT_EQ(nullptr, VMArray::CreateInstance(heap, 10, 3, jallocFailFast, VMTag_VMArray));
  EXPECT_EQ(before, refhost::AllocationCount());
}

TEST_F(ArrayTest, ReferenceArraysRefuseCountsThatWouldOverflow) {
  uint64_t before = refhost::AllocationCount();
  for (uint32_t count : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x80000000u, (uint32_t)VMrefArray::MAX_COUNT + 1})
    EXPECT_EQ(nullptr, VMrefArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMObjectArray)) << count;
  EXPECT_EQ(before, refhost::AllocationCount());

  VMObjectArray* refs = VMObjectArray::CreateInstance(heap, 300, jallocFailFast, VMTag_VMObjectArray);
  ASSERT_NE(nullptr, refs);
  EXPECT_TRUE(refs->GetIsRefArray());
  EXPECT_FALSE(refs->GetIsScalarArray());
  EXPECT_EQ(2u, refs->GetElementShift());
  VMObject* a = VMUtils::Alloc(heap, 1, jallocFailFast);
  refs->Set(299, a);
  refs->Set(0, a);
  EXPECT_EQ(a, refs->Get(299));
  EXPECT_EQ(nullptr, refs->Get(298));
  Drop(refs);
  a->Destroy(heap);

  VMThreadArray* threads = VMThreadArray::CreateInstance(heap, 3, jallocFailFast, VMTag_VMThreadArray);
  threads->Set(2, reinterpret_cast<VMThread*>(a));
  EXPECT_EQ(reinterpret_cast<VMThread*>(a), threads->Get(2));
  Drop(threads);
}

/* A large array is one block and many pieces in trees: refusing any one of them must
   fail the creation and give back everything made before the refusal. */
TEST_F(ArrayTest, ARefusalAtAnyStepOfALargeArrayLeavesNoBlockBehind) {
  const uint32_t count = 17860 + 64 * 70 + 3;  // reaches the level-3 trees
  uint64_t before = refhost::AllocationCount();
  VMintArray* whole = VMintArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMintArray);
  ASSERT_NE(nullptr, whole);
  uint32_t steps = (uint32_t)(refhost::AllocationCount() - before);
  Drop(whole);
  ASSERT_GT(steps, 300u);
  for (uint32_t k = 1; k <= steps; k++) {
    refhost::FailNthAllocation(k);
    EXPECT_EQ(nullptr, VMintArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMintArray)) << k;
    ASSERT_EQ(0u, refhost::BlocksInUse(heap)) << "refused step " << k;
    EXPECT_EQ(0u, refhost::BytesInUse(heap)) << "refused step " << k;
  }
  refhost::FailNthAllocation(0);
  // The same for a reference array, refusing steps spread over its creation.
  for (uint32_t k = 1; k <= steps; k += 37) {
    refhost::FailNthAllocation(k);
    EXPECT_EQ(nullptr, VMObjectArray::CreateInstance(heap, count, jallocFailFast, VMTag_VMObjectArray)) << k;
    ASSERT_EQ(0u, refhost::BlocksInUse(heap)) << "refused step " << k;
  }
  refhost::FailNthAllocation(0);
}

TEST_F(ArrayTest, ClassedArraysFailCleanlyWithoutAClassWorld) {
  uint64_t before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, VMClassArray::CreateInstance(heap, 4, nullptr, jallocFailFast, VMTag_VMClassArray));
  EXPECT_EQ(nullptr, VMJavaLangStringArray::CreateInstance(heap, 4, nullptr, jallocFailFast,
                                                           VMTag_VMJavaLangStringArray));
  EXPECT_EQ(before, refhost::AllocationCount());
}

/* A flat model of VMArray::Copy, clamping included. */
void ModelCopy(std::vector<uint8_t>& dst, uint32_t dstCount, const std::vector<uint8_t>& src, uint32_t srcCount,
               uint32_t si, uint32_t di, uint32_t c, uint32_t shift) {
  if (di >= dstCount || si >= srcCount) return;
  c = std::min(c, std::min(dstCount - di, srcCount - si));
  memmove(&dst[di << shift], &src[si << shift], c << shift);
}

std::vector<uint8_t> Bytes(const VMArray* array) {
  std::vector<uint8_t> out(array->GetSize() << array->GetElementShift());
  uint32_t index = 0, shift = array->GetElementShift();
  while (index < array->GetSize()) {
    uint32_t run;
    const void* p = array->FindElement(index, &run);
    memcpy(&out[index << shift], p, run << shift);
    index += run;
  }
  return out;
}

void Load(VMArray* array, const std::vector<uint8_t>& bytes) {
  uint32_t index = 0, shift = array->GetElementShift();
  while (index < array->GetSize()) {
    uint32_t run;
    void* p = array->FindElement(index, &run);
    memcpy(p, &bytes[index << shift], run << shift);
    index += run;
  }
}

TEST_F(ArrayTest, RandomisedCopiesMatchAFlatBuffer) {
  std::mt19937 random(20261206);
  const uint32_t byteSizes[] = {770, 776, 777, 1032, 1033, 776 + 256 * 2, 776 + 256 * 3 + 1, 776 + 256 * 9};
  for (uint32_t shift = 0; shift <= 3; shift++) {
    for (uint32_t byteSize : byteSizes) {
      uint32_t dn = byteSize >> shift;
      uint32_t sn = (byteSize + 300) >> shift;
      VMArray* dst = VMArray::CreateInstance(heap, dn, 1u << shift, jallocFailFast, VMTag_VMArray);
      VMArray* src = VMArray::CreateInstance(heap, sn, 1u << shift, jallocFailFast, VMTag_VMArray);
      std::vector<uint8_t> d(dn << shift), s(sn << shift);
      for (auto& b : d) b = (uint8_t)random();
      for (auto& b : s) b = (uint8_t)random();
      Load(dst, d);
      Load(src, s);
      for (int op = 0; op < 60; op++) {
        bool same = op % 2 == 0;
        uint32_t limit = same ? dn : sn;
        uint32_t si = random() % (limit + 2);
        uint32_t di = random() % (dn + 2);
        uint32_t c = op % 7 == 0 ? 0xFFFFFFFFu : random() % (dn + 10);
        if (same) {
          dst->Copy(dst, si, di, c);
          std::vector<uint8_t> before = d;
          ModelCopy(d, dn, before, dn, si, di, c, shift);
        } else {
          dst->Copy(src, si, di, c);
          ModelCopy(d, dn, s, sn, si, di, c, shift);
        }
        ASSERT_EQ(d, Bytes(dst)) << "shift " << shift << " size " << dn << " copy " << si << "->" << di
                                 << " x" << c << (same ? " within" : " across");
        ASSERT_EQ(s, Bytes(src));
      }
      Drop(dst);
      Drop(src);
    }
  }
}

TEST_F(ArrayTest, OverlappingCopiesShiftWithoutSmearing) {
  VMintArray* ints = VMintArray::CreateInstance(heap, 11, jallocFailFast, VMTag_VMintArray);
  for (int i = 0; i < 11; i++) ints->Set(i, i);
  ints->Copy(ints, 0, 1, 10);
  for (int i = 1; i < 11; i++) EXPECT_EQ(i - 1, ints->Get(i));
  EXPECT_EQ(0, ints->Get(0));
  for (int i = 0; i < 11; i++) ints->Set(i, i);
  ints->Copy(ints, 1, 0, 10);
  for (int i = 0; i < 10; i++) EXPECT_EQ(i + 1, ints->Get(i));
  EXPECT_EQ(10, ints->Get(10));
  Drop(ints);
}

/* A copy within one array while a second thread stores into it (an unlocked Vector's
   remove racing an add): every element read afterwards must be one of the values ever
   stored, whole, never bytes of two. Every store writes 0 or one pattern, so a spliced
   element shows; the arrays pass the first part and several pieces, and the copies run
   both ways. */
template <typename A>
void CopyRacingStores(HHeap* heap, typename A::Element pattern) {
  typedef typename A::Element T;
  const uint32_t count = 600;
  A* array = A::CreateInstance(heap, count, jallocFailFast, VMTag_VMintArray);
  ASSERT_NE(nullptr, array);
  std::atomic<bool> stop(false);
  std::thread storer([&] {
    uint32_t r = 12345;
    while (!stop.load(std::memory_order_relaxed)) {
      r = r * 1103515245u + 12345u;
      T* at = static_cast<T*>(array->FindElement((r >> 8) % count));
      __atomic_store_n(at, (r & 0x10000) ? pattern : (T)0, __ATOMIC_RELAXED);
    }
  });
  uint32_t spliced = 0;
  T bad = 0;
  for (uint32_t round = 0; round < 4000 && spliced == 0; round++) {
    uint32_t length = count - 1 - round % 97;
    if (round & 1)
      array->Copy(array, 1, 0, length);
    else
      array->Copy(array, 0, 1, length);
    for (uint32_t i = 0; i < count; i++) {
      T v = __atomic_load_n(static_cast<T*>(array->FindElement(i)), __ATOMIC_RELAXED);
      if (v != 0 && v != pattern) {
        spliced++;
        bad = v;
      }
    }
  }
  stop = true;
  storer.join();
  EXPECT_EQ(0u, spliced) << "an element read as 0x" << std::hex << (uint64_t)(typename std::make_unsigned<T>::type)bad;
  array->Destroy(heap);
}

TEST_F(ArrayTest, CopiesRacingStoresMoveWholeElements) {
  CopyRacingStores<VMintArray>(heap, (jint)0xf4a5eefc);
  CopyRacingStores<VMshortArray>(heap, (jshort)0xa5fc);
}

TEST_F(ArrayTest, CopiesNeverReachPastEitherArray) {
  // A byte array of 5 elements: its last data word holds 3 bytes behind the elements.
  VMbyteArray* small = VMbyteArray::CreateInstance(heap, 5, jallocFailFast, VMTag_VMbyteArray);
  VMbyteArray* big = VMbyteArray::CreateInstance(heap, 20, jallocFailFast, VMTag_VMbyteArray);
  for (int i = 0; i < 20; i++) big->Set(i, (jbyte)(i + 1));
  small->Copy(big, 0, 3, 20);  // the destination has room for 2
  EXPECT_EQ(1, small->Get(3));
  EXPECT_EQ(2, small->Get(4));
  EXPECT_EQ(0u, small->GetWord(1) >> 8);
  small->Copy(big, 18, 0, 5);  // the source has 2 left
  EXPECT_EQ(19, small->Get(0));
  EXPECT_EQ(20, small->Get(1));
  EXPECT_EQ(0, small->Get(2));
  small->Copy(big, 25, 0, 1);  // index out of range: nothing
  small->Copy(big, 0, 5, 1);
  EXPECT_EQ(19, small->Get(0));
  EXPECT_EQ(0u, small->GetWord(1) >> 8);
  // Arrays of different element sizes are never copied into each other.
  VMintArray* ints = VMintArray::CreateInstance(heap, 5, jallocFailFast, VMTag_VMintArray);
  ints->Copy(big, 0, 0, 5);
  EXPECT_EQ(0, ints->Get(0));
  // Nor are values and references, though both are words: an int copied into a
  // reference array would be a reference the collector follows.
  VMObjectArray* refs = VMObjectArray::CreateInstance(heap, 5, jallocFailFast, VMTag_VMObjectArray);
  VMObject* target = VMUtils::Alloc(heap, 0, jallocFailFast);
  ints->Set(0, 0x12345678);
  refs->Copy(ints, 0, 0, 5);
  EXPECT_EQ(nullptr, refs->Get(0));
  refs->Set(1, target);
  ints->Copy(refs, 0, 0, 5);
  EXPECT_EQ(0, ints->Get(1));
  EXPECT_EQ(0x12345678, ints->Get(0));
  VMObjectArray* moreRefs = VMObjectArray::CreateInstance(heap, 5, jallocFailFast, VMTag_VMObjectArray);
  moreRefs->Copy(refs, 0, 0, 5);
  EXPECT_EQ(target, moreRefs->Get(1));
  VMUtils::Free(heap, target);
  Drop(moreRefs);
  Drop(refs);
  Drop(ints);
  Drop(small);
  Drop(big);
}

TEST_F(ArrayTest, RandomisedEqualsMatchesAFlatComparison) {
  std::mt19937 random(77);
  for (uint32_t shift = 0; shift <= 3; shift++) {
    for (uint32_t byteSize : {776u, 777u, 776u + 256u * 4u}) {
      uint32_t n = byteSize >> shift;
      VMArray* a = VMArray::CreateInstance(heap, n, 1u << shift, jallocFailFast, VMTag_VMArray);
      VMArray* b = VMArray::CreateInstance(heap, n, 1u << shift, jallocFailFast, VMTag_VMArray);
      std::vector<uint8_t> bytes(n << shift);
      for (auto& x : bytes) x = (uint8_t)(random() % 3);  // many equal stretches
      Load(a, bytes);
      std::vector<uint8_t> other = bytes;
      other[(random() % n) << shift] ^= 0x40;
      Load(b, other);
      EXPECT_FALSE(a->Equals(b));
      Load(b, bytes);
      EXPECT_TRUE(a->Equals(b));
      other = bytes;
      for (int k = 0; k < 5; k++) other[random() % other.size()] ^= 1;
      Load(b, other);
      for (int op = 0; op < 200; op++) {
        uint32_t i = random() % (n + 1), oi = random() % (n + 1);
        uint32_t c = random() % 40;
        bool expected = c == 0 ||
                        (i < n && oi < n && c <= n - i && c <= n - oi &&
                         memcmp(&bytes[i << shift], &other[oi << shift], c << shift) == 0);
        ASSERT_EQ(expected, a->Equals(b, oi, i, c)) << i << " " << oi << " " << c;
      }
      Drop(a);
      Drop(b);
    }
  }
}

TEST_F(ArrayTest, EqualsLooksAtCountShiftAndClass) {
  VMintArray* ints = VMintArray::CreateInstance(heap, 2, jallocFailFast, VMTag_VMintArray);
  VMshortArray* shorts = VMshortArray::CreateInstance(heap, 4, jallocFailFast, VMTag_VMshortArray);
  VMshortArray* twoShorts = VMshortArray::CreateInstance(heap, 2, jallocFailFast, VMTag_VMshortArray);
  VMintArray* other = VMintArray::CreateInstance(heap, 2, jallocFailFast, VMTag_VMintArray);
  EXPECT_TRUE(ints->Equals(ints));
  EXPECT_TRUE(ints->Equals(other));
  // Same bytes, different element sizes.
  EXPECT_FALSE(ints->Equals(twoShorts));
  EXPECT_FALSE(ints->Equals(shorts));
  EXPECT_FALSE(ints->Equals(shorts, 0, 0, 2));
  // Same bytes, different array classes.
  ints->SetClass(reinterpret_cast<VMClass*>(0x1000));
  EXPECT_FALSE(ints->Equals(other));
  other->SetClass(reinterpret_cast<VMClass*>(0x1000));
  EXPECT_TRUE(ints->Equals(other));
  Drop(ints);
  Drop(shorts);
  Drop(twoShorts);
  Drop(other);
}

TEST_F(ArrayTest, ClearZeroesEveryDataWord) {
  for (uint32_t shift = 0; shift <= 3; shift++) {
    for (uint32_t count : {1u, 5u, 777u >> shift, 3000u}) {
      VMArray* a = VMArray::CreateInstance(heap, count, 1u << shift, jallocFailFast, VMTag_VMArray);
      std::vector<uint8_t> ones(count << shift, 0xFF);
      Load(a, ones);
      a->Clear();
      EXPECT_EQ(std::vector<uint8_t>(count << shift, 0), Bytes(a));
      Drop(a);
    }
  }
}

TEST_F(ArrayTest, BitSets) {
  VMboolArray* bits = VMboolArray::CreateInstance(heap, 33, jallocFailFast, VMTag_VMboolArray);
  EXPECT_EQ(2u, bits->GetSize());
  bits->Set(32, true);
  EXPECT_EQ(1u, bits->GetWord(1));
  EXPECT_TRUE(bits->Get(32));
  EXPECT_FALSE(bits->Get(31));
  bits->Set(0, true);
  bits->Set(0, false);
  EXPECT_EQ(0u, bits->GetWord(0));
  Drop(bits);

  const uint32_t n = 40000;  // reaches into the level-2 trees
  VMboolArray* a = VMboolArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMboolArray);
  VMboolArray* b = VMboolArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMboolArray);
  std::vector<bool> fa(n), fb(n);
  std::mt19937 random(5);
  for (uint32_t i = 0; i < n; i++) {
    fa[i] = random() & 1;
    fb[i] = random() & 1;
    a->Set(i, fa[i]);
    b->Set(i, fb[i]);
  }
  a->OrWith(b);
  for (uint32_t i = 0; i < n; i++) ASSERT_EQ(fa[i] || fb[i], a->Get(i)) << i;
  a->AndWithNot(b);
  for (uint32_t i = 0; i < n; i++) ASSERT_EQ(fa[i] && !fb[i], a->Get(i)) << i;
  a->OrWith(b);
  a->AndWith(b);
  for (uint32_t i = 0; i < n; i++) ASSERT_EQ((bool)fb[i], a->Get(i)) << i;
  a->Clear();
  a->Copy(b, 64);
  for (uint32_t i = 0; i < 100; i++) ASSERT_EQ(i < 64 && fb[i], a->Get(i)) << i;
  a->Copy(b);
  EXPECT_TRUE(a->Equals(b));
  Drop(a);
  Drop(b);
}

/* Copies of bit sets that lie in the first part go word by word in place; longer ones
   run through the pieces. Either way exactly the words asked for are copied. */
TEST_F(ArrayTest, BitSetCopiesOnBothSidesOfTheFirstPart) {
  std::mt19937 random(11);
  for (uint32_t words : {1u, 2u, 193u, 194u, 195u, 260u}) {
    uint32_t n = words * 32;
    VMboolArray* a = VMboolArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMboolArray);
    VMboolArray* b = VMboolArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMboolArray);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    std::vector<bool> fa(n), fb(n);
    for (uint32_t i = 0; i < n; i++) {
      fb[i] = random() & 1;
      b->Set(i, fb[i]);
    }
    for (uint32_t bits : {0u, 1u, 31u, 32u, 33u, n - 1, n}) {
      for (uint32_t i = 0; i < n; i++) {
        fa[i] = random() & 1;
        a->Set(i, fa[i]);
      }
      a->Copy(b, bits);
      uint32_t copied = VMboolArray::WordsFor(bits) * 32;
      for (uint32_t i = 0; i < n; i++)
        ASSERT_EQ(i < copied ? (bool)fb[i] : (bool)fa[i], a->Get(i)) << words << " words, " << bits << " bits, bit " << i;
    }
    a->Copy(b);
    EXPECT_TRUE(a->Equals(b)) << words;
    a->Copy(a);
    EXPECT_TRUE(a->Equals(b)) << words;
    Drop(a);
    Drop(b);
  }
}

/* Bit sets of different sizes are a caller's error, which must not stop the host's
   process: only the words both sets have are combined or copied. */
TEST_F(ArrayTest, BitSetsOfDifferentSizesCombineTheirCommonWords) {
  VMboolArray* a = VMboolArray::CreateInstance(heap, 64, jallocFailFast, VMTag_VMboolArray);
  VMboolArray* b = VMboolArray::CreateInstance(heap, 96, jallocFailFast, VMTag_VMboolArray);
  b->Set(3, true);
  b->Set(70, true);
  a->OrWith(b);
  EXPECT_TRUE(a->Get(3));
  EXPECT_EQ(2u, a->GetSize());
  b->AndWith(a);
  EXPECT_TRUE(b->Get(3));
  EXPECT_TRUE(b->Get(70));  // beyond the smaller set: untouched
  a->Set(5, true);
  b->Copy(a);
  EXPECT_TRUE(b->Get(5));
  EXPECT_TRUE(b->Get(70));
  b->AndWithNot(a);
  EXPECT_FALSE(b->Get(3));
  EXPECT_TRUE(b->Get(70));
  Drop(a);
  Drop(b);
}

}  // namespace
