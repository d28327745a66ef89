/* Strings and object arrays made through the table while the machine collects before
   every allocation that may collect, freed blocks poisoned: what a maker holds only in
   its own frame while it allocates again would be freed at once and read back poisoned. */
#include <string>
#include <vector>

#include "jnifunc_support.h"
#include "vm.h"
#include "vmsmallobjectbase.h"

namespace jnifunc_test {
namespace {

class CollectTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    saved = VMObjectBase::GetCollectionStress();
    VMObjectBase::SetCollectionStress(1);
  }
  void TearDown() override {
    VMObjectBase::SetCollectionStress(saved);
    JniTest::TearDown();
  }
  /* The units of a string made from seed: every length crosses a piece boundary
     differently (one block, a few pieces, many pieces). */
  static std::vector<jchar> Units(uint32_t length, uint32_t seed) {
    std::vector<jchar> units(length);
    for (uint32_t i = 0; i < length; i++) units[i] = (jchar)(seed * 7919u + i * 31u + (i >> 8));
    return units;
  }
  std::vector<jchar> Read(jstring s) {
    std::vector<jchar> out((size_t)f->GetStringLength(env, s) + 1);
    f->GetStringRegion(env, s, 0, (jsize)out.size() - 1, out.data());
    out.pop_back();
    return out;
  }
  uint32_t saved = 0;
};

TEST_F(CollectTest, NewStringHoldsItsCharactersThroughACollectionAtEveryAllocation) {
  const uint32_t lengths[] = {0, 1, 97, 196, 197, 400, 1500, 5000, 20000};
  uint32_t before = VM::GetGarbageCollectRequests();
  std::vector<jstring> made;
  for (int round = 0; round < 3; round++) {
    for (uint32_t i = 0; i < sizeof lengths / sizeof lengths[0]; i++) {
      std::vector<jchar> units = Units(lengths[i], i + 10 * round);
      jstring s = f->NewString(env, units.data(), (jsize)units.size());
      ASSERT_NE(nullptr, s) << lengths[i] << ": " << Thrown();
      made.push_back(s);
      // Garbage between them, so that every collection frees something.
      f->DeleteLocalRef(env, f->NewString(env, units.data(), (jsize)(units.size() / 2)));
      EXPECT_EQ(units, Read(s)) << lengths[i];
    }
  }
  EXPECT_LT(before + 50, VM::GetGarbageCollectRequests());
  // Every one still whole after all the collections that followed it.
  for (size_t k = 0; k < made.size(); k++) {
    uint32_t i = (uint32_t)(k % (sizeof lengths / sizeof lengths[0]));
    EXPECT_EQ(Units(lengths[i], i + 10 * (uint32_t)(k / 9)), Read(made[k])) << k;
  }
  EXPECT_EQ("", Thrown());
}

/* The array's class is made on the first call (an allocation), the initial element is
   held only by its handle, and the array is filled after its own allocation collected. */
TEST_F(CollectTest, NewObjectArrayKeepsItsClassAndInitialElementThroughCollections) {
  uint32_t before = VM::GetGarbageCollectRequests();
  const jsize lengths[] = {1, 3, 196, 197, 1000, 5000};
  jclass values = Cls("jnifunc/Values");
  jclass strings = Cls("java/lang/String");
  std::vector<jobjectArray> made;
  std::vector<jobject> inits;
  jobject element = New("jnifunc/Values");
  for (jsize length : lengths) {
    const jchar text[] = {'i', 'n', 'i', 't', (jchar)('0' + length % 10)};
    jobject init = f->NewString(env, text, 5);
    jobjectArray a = f->NewObjectArray(env, length, strings, init);
    ASSERT_NE(nullptr, a) << length << ": " << Thrown();
    made.push_back(a);
    inits.push_back(init);
    // An element class whose array class does not exist yet, nested once more each
    // time: the last array is the next one's element.
    jobjectArray v = f->NewObjectArray(env, length, values, element);
    ASSERT_NE(nullptr, v) << length << ": " << Thrown();
    EXPECT_TRUE(f->IsSameObject(env, element, f->GetObjectArrayElement(env, v, length - 1)));
    EXPECT_TRUE(f->IsInstanceOf(env, element, values));
    values = f->GetObjectClass(env, v);
    element = v;
  }
  EXPECT_LE(before + 12, VM::GetGarbageCollectRequests());  // two a round at least
  for (size_t k = 0; k < made.size(); k++) {
    jsize length = f->GetArrayLength(env, made[k]);
    ASSERT_EQ(lengths[k], length);
    for (jsize i = 0; i < length; i += (length > 50 ? 37 : 1))
      EXPECT_TRUE(f->IsSameObject(env, inits[k], f->GetObjectArrayElement(env, made[k], i))) << k << " " << i;
    EXPECT_TRUE(f->IsSameObject(env, inits[k], f->GetObjectArrayElement(env, made[k], length - 1)));
    EXPECT_EQ(std::string("init") + (char)('0' + length % 10), Text((jstring)inits[k]));
    // The element type survived with its class: a Values is refused.
    f->SetObjectArrayElement(env, made[k], 0, New("jnifunc/Values"));
    EXPECT_EQ("java.lang.ArrayStoreException", Thrown());
  }
}

}  // namespace
}  // namespace jnifunc_test
