/* What preparation checks of a class and its superclass chain, and how failures are
   remembered. */
#include "class_support.h"

namespace class_test {
namespace {

using LifecycleTest = ClassTest;

TEST_F(LifecycleTest, ClassWithoutBytesStaysRetryable) {
  VMLoadableClass* shell = (VMLoadableClass*)Find("life/Missing");
  ASSERT_NE(nullptr, shell);
  EXPECT_EQ(VMStatus_NoClassDefFoundError, shell->Load());
  EXPECT_FALSE(shell->GetIsLoaded());
  VMLoadableClass* failing = nullptr;
  EXPECT_EQ(VMStatus_NoClassDefFoundError, shell->Prepare(&failing));
  EXPECT_FALSE(shell->GetIsErroneous());
  EXPECT_FALSE(shell->GetIsPrepared());
  EXPECT_EQ(nullptr, failing);
}

TEST_F(LifecycleTest, MissingSuperclassMakesTheSubclassErroneous) {
  VMLoadableClass* missing = (VMLoadableClass*)Find("life/Gone");
  VMLoadableClass* sub = Define("life/Orphan", missing, {}, false);
  VMLoadableClass* failing = nullptr;
  EXPECT_EQ(VMStatus_NoClassDefFoundError, sub->Prepare(&failing));
  EXPECT_EQ(missing, failing);
  EXPECT_TRUE(sub->GetIsErroneous());
  EXPECT_EQ(VMStatus_NoClassDefFoundError, sub->GetStatus());
  EXPECT_FALSE(missing->GetIsErroneous());
  EXPECT_EQ(VMStatus_NoClassDefFoundError, sub->Prepare(nullptr));  // remembered
}

TEST_F(LifecycleTest, ImpossibleSuperclassesFailCleanly) {
  VMLoadableClass* sealed = Define("life/Sealed", objectClass, {}, false);
  sealed->SetIsFinal();
  VMLoadableClass* sub = Define("life/Sub", sealed, {}, false);
  EXPECT_EQ(VMStatus_ClassFormatError, sub->Prepare(nullptr));
  EXPECT_TRUE(sub->GetIsErroneous());
  EXPECT_FALSE(sealed->GetIsErroneous());

  VMLoadableClass* iface = Define("life/Api", objectClass, {}, true);
  VMLoadableClass* impl = Define("life/Impl", iface, {}, false);
  EXPECT_EQ(VMStatus_IncompatibleClassChangeError, impl->Prepare(nullptr));

  VMLoadableClass* root = Define("life/Root", nullptr, {}, false);
  EXPECT_EQ(VMStatus_ClassFormatError, root->Prepare(nullptr));

  VMLoadableClass* base = Define("life/Base", objectClass, {}, false);
  VMLoadableClass* odd = Define("life/OddApi", base, {}, true);
  EXPECT_EQ(VMStatus_ClassFormatError, odd->Prepare(nullptr));
}

TEST_F(LifecycleTest, CircularSuperclassChainFailsInsteadOfLooping) {
  VMLoadableClass* a = Define("life/A", objectClass, {}, false);
  VMLoadableClass* b = Define("life/B", a, {}, false);
  VMLoadableClass* c = Define("life/C", b, {}, false);
  a->SetSuper(c);
  EXPECT_EQ(VMStatus_ClassCircularityError, b->Prepare(nullptr));
  EXPECT_TRUE(b->GetIsErroneous());
  EXPECT_TRUE(a->HasCircularSuperChain());
  VMLoadableClass* self = Define("life/Self", objectClass, {}, false);
  self->SetSuper(self);
  EXPECT_EQ(VMStatus_ClassCircularityError, self->Prepare(nullptr));
  EXPECT_FALSE(objectClass->HasCircularSuperChain());
}

TEST_F(LifecycleTest, PreparedClassHasItsLayoutAndIsInitializedOnce) {
  VMLoadableClass* point = Define("life/Point", objectClass, {}, false);
  VMStatus status;
  VMDataMember* x = VMDataMember::CreateInstance(nsHeap, Lit("x"), Lit("J"), 0, 0, point, &status);
  VMDataMember* next = VMDataMember::CreateInstance(nsHeap, Lit("next"), Lit("Llife/Point;"), 0, 0, point, &status);
  ASSERT_NE(nullptr, x);
  ASSERT_NE(nullptr, next);
  VMDataMemberArray* fields = VMDataMemberArray::CreateInstance(nsHeap, 2, jallocFailFast, 0x645BFECAu);
  fields->Set(0, x);
  fields->Set(1, next);
  point->SetDataMembers(fields);
  EXPECT_EQ(0, point->Initialize(host->GetCurrentEnv()));
  EXPECT_TRUE(point->GetIsPrepared());
  EXPECT_TRUE(objectClass->GetIsPrepared());
  EXPECT_EQ(3u, point->GetCreateSize());
  EXPECT_EQ(0x4u, point->GetCreateBits()->GetWord(0));
  EXPECT_EQ(ListEntry(11), x->GetClass());
  EXPECT_EQ(0, point->Prepare(nullptr));
  EXPECT_EQ(point, VMLoadableClass::FindInitialized(host->GetCurrentEnv(), Lit("life.Point"), nullptr));
  EXPECT_EQ(nullptr, VMLoadableClass::FindPrepared(host->GetCurrentEnv(), Lit("life.Nowhere"), nullptr));
}

}  // namespace
}  // namespace class_test
