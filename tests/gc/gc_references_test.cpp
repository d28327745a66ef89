/* Reference objects under the second library generation: soft, weak and phantom
   references cleared (or kept) and handed to the class library's pending list, which
   its queues drain; a reference's own fields are ordinary. */
#include "gc_support.h"

namespace gc_test {
namespace {

class ReferencesTest : public GcTest {
 protected:
  void SetUp() override {
    GcTest::SetUp();
    UseReferences();
  }
};

TEST_F(ReferencesTest, WeakReferencesAreClearedAndEnqueued) { EXPECT_EQ(0, Run("Refs", "weak", "()I")); }

TEST_F(ReferencesTest, SoftReferencesAreClearedOnlyWhenTheCollectionMay) { EXPECT_EQ(0, Run("Refs", "soft", "()I")); }

TEST_F(ReferencesTest, PhantomReferentsAreKeptAndTheReferenceEnqueued) {
  EXPECT_EQ(0, Run("Refs", "phantom", "()I"));
}

TEST_F(ReferencesTest, AReferenceWithoutAQueueIsDoneAtOnce) {
  EXPECT_EQ(0, Run("Refs", "withoutQueue", "()I"));
  // Its next field names itself: it is never put on the pending list.
  VMLoadableClass* refs = world.Class("gc/Refs");
  VMObject* lone = (VMObject*)refs->GetInitializedStaticData(world.vm)->GetWord(1);
  ASSERT_NE(nullptr, lone);
  EXPECT_EQ((VMword)lone, lone->GetWord(world.ns->GetClassList()->GetReferenceNextIndex()));
}

TEST_F(ReferencesTest, AnUnreachableReferenceIsNeitherClearedNorEnqueued) {
  EXPECT_EQ(0, Run("Refs", "unreachableReference", "()I"));
}

/* A field of a reference subclass that names the referent keeps it: only the referent
   word itself is left to the sorting of references. */
TEST_F(ReferencesTest, AnOrdinaryFieldEqualToTheReferentKeepsIt) {
  EXPECT_EQ(0, Run("Refs", "subclassField", "()I"));
}

/* A chain of phantom references longer than the nesting of the marking walk: every one
   is enqueued, none is freed while its referent's reference is alive. */
TEST_F(ReferencesTest, ALongChainOfPhantomReferencesIsMarkedWithoutDeepNesting) {
  // In collection stress the older ones are handed over while the chain grows, and a
  // reference whose referent is on the pending list (strongly reachable) never is.
  if (refhost::CollectionStress() == 0) {
    EXPECT_EQ(0, Run("Refs", "chain", "(I)I", {300}));
  }
}

TEST_F(ReferencesTest, TheLastReferenceOnThePendingListIsNotHandedOverTwice) {
  EXPECT_EQ(0, Run("Refs", "pendingTail", "()I"));
}

/* Under the first generation (and before the start-up that makes reference handling
   ready) referents are ordinary fields: nothing is cleared. */
TEST_F(GcTest, WithoutReferenceHandlingReferentsAreOrdinaryFields) {
  world.ns->SetLibraryVersion(1);
  EXPECT_EQ(1, Run("Refs", "weak", "()I")) << "the weak referent must survive";
}

}  // namespace
}  // namespace gc_test
