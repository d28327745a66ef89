/* Objects: header words at creation, the kind word's views, internal-object elements and
   the identity hash. */
#include "storage_support.h"

using storage_test::Calls;
using storage_test::StorageTest;

namespace {

class ObjectTest : public StorageTest {};

TEST_F(ObjectTest, InternalObjectsCarryTheirMask) {
  VMObject* bare = VMObject::CreateInternalNotToBeCalledDirectly(heap, 0, 0x81, VMTag_VMThread, jallocFailFast);
  ASSERT_NE(nullptr, bare);
  EXPECT_EQ(VMTag_VMThread, bare->GetTag());
  EXPECT_EQ(VMFLAG_ROOT_OBJECT | VMFLAG_KIND_REF_BITS, bare->GetFlags());
  EXPECT_EQ(0x81u, bare->GetRefBits());
  EXPECT_EQ(20u, refhost::BytesInUse(heap));
  bare->Destroy(heap);

  VMInternalObject* o = VMInternalObject::Instantiate(heap, 32, 0xFFFFFFFFu);
  EXPECT_EQ(0x693FFECAu, o->GetTag());
  EXPECT_EQ(32, o->GetNumberOfElements());
  // A class lookup on a mask-kind object finds nothing, though word 2 is not zero.
  EXPECT_EQ(nullptr, o->GetClass());
  EXPECT_EQ(0xFFFFFFFFu, static_cast<VMCommonObjectBase*>(o)->GetRefBits());
  o->Destroy(heap);

  VMObject* plain = VMObject::Instantiate(heap, 3, 0x4);
  EXPECT_EQ(0x206FFECAu, plain->GetTag());
  plain->Destroy(heap);
}

TEST_F(ObjectTest, ElementsByHalvesAndBytes) {
  VMInternalObject* o = VMInternalObject::Instantiate(heap, 4, 0);
  o->SetScalar(1, 0xA1B2C3D4u);
  EXPECT_EQ(0xC3D4, o->GetShort1(1));
  EXPECT_EQ(0xA1B2, o->GetShort2(1));
  EXPECT_EQ(0xD4, o->GetByte1(1));
  EXPECT_EQ(0xC3, o->GetByte2(1));
  EXPECT_EQ(0xB2, o->GetByte3(1));
  EXPECT_EQ(0xA1, o->GetByte4(1));
  o->SetShort2(1, 0x1234);
  o->SetByte1(1, 0x99);
  EXPECT_EQ(0x1234C399u, o->GetScalar(1));
  o->SetByte4(1, 0x00);
  o->SetShort1(1, 0xFFFF);
  EXPECT_EQ(0x0034FFFFu, o->GetScalar(1));
  EXPECT_EQ(0u, o->GetScalar(0));
  EXPECT_EQ(0u, o->GetScalar(2));
  o->SetReference(3, o);
  EXPECT_EQ(o, o->GetReference(3));
  o->Destroy(heap);
}

TEST_F(ObjectTest, KindWordViewsAnswerOnlyForTheirKind) {
  VMObject* o = VMObject::CreateInstance(heap, 300, jallocFailFast, VMTag_VMUserClassInstance);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(VMFLAG_ROOT_OBJECT, o->GetFlags());
  EXPECT_EQ(0u, o->GetKindWord());
  VMClass* cls = reinterpret_cast<VMClass*>(0x5000);
  o->SetClass(cls);
  EXPECT_EQ(cls, o->GetClass());
  EXPECT_EQ(reinterpret_cast<VMLoadableClass*>(cls), o->GetLoadableClass());
  EXPECT_EQ(nullptr, o->GetStaticDataClass());
  EXPECT_EQ(0u, o->GetRefBits());
  o->SetStaticDataClass(reinterpret_cast<VMLoadableClass*>(0x6000));
  EXPECT_EQ(nullptr, o->GetClass());
  EXPECT_EQ(reinterpret_cast<VMLoadableClass*>(0x6000), o->GetStaticDataClass());
  o->SetRefBits(0x3);
  EXPECT_EQ(0x3u, o->GetRefBits());
  EXPECT_EQ(nullptr, o->GetSpecialObjWalker());
  o->ClearHasClass();
  EXPECT_EQ(nullptr, o->GetArrayClass());
  o->Destroy(heap);
}

TEST_F(ObjectTest, FlagFieldsSetOnlyTheirOwnBits) {
  VMObject* o = VMUtils::Alloc(heap, 0, jallocFailFast);
  o->SetIsFinalizerReachable();
  o->SetIsPhantomReference();
  o->SetHasStaticDataClass();
  o->SetIsDeserializing();
  EXPECT_EQ(0x3 | 0x8 | 0x6000 | 0x1000, o->GetFlags());
  o->SetIsReachable();  // a Set first clears its whole field
  o->SetIsReference();
  o->SetHasClass();
  EXPECT_EQ(0x1 | 0x4 | 0x8000 | 0x1000, o->GetFlags());
  EXPECT_TRUE(o->GetIsReachable());
  EXPECT_FALSE(o->GetIsFinalizerReachable());
  o->ClearIsPhantomReachable();
  o->ClearIsPhantomReference();
  o->ClearHasSpecialObjWalker();
  o->ClearIsDeserializing();
  EXPECT_EQ(0, o->GetFlags());
  EXPECT_TRUE(o->GetIsUnreachable());
  o->SetNumberOfElements(0xFFFF);
  EXPECT_EQ(0, o->GetFlags());
  EXPECT_EQ(0xFFFF, o->GetNumberOfElements());
  o->SetNumberOfElements(0);
  o->Destroy(heap);
}

TEST_F(ObjectTest, ClassInstancesNeedTheClassModel) {
  uint64_t before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, VMObject::CreateInstance(heap, static_cast<VMLoadableClass*>(nullptr), jallocFailFast));
  EXPECT_EQ(nullptr, VMObject::CreateInitialized(nullptr, nullptr, jallocFailFast, true, true));
  EXPECT_EQ(before, refhost::AllocationCount());
}

TEST_F(ObjectTest, IdentityHashComesFromTheHeapHoldingTheObject) {
  AttachFakeMachine();
  Watch();
  HHeap* shared = host->HeapCreate(nullptr, 1);
  VMInternalObject* nameSpace = VMInternalObject::Instantiate(heap, 4, 0);
  nameSpace->SetScalar(0, reinterpret_cast<VMword>(shared));
  vm->SetScalar(VM::NAME_SPACE_WORD, reinterpret_cast<VMword>(nameSpace));

  VMObject* own = VMObject::Instantiate(heap, 1, 0);
  VMObject* data = VMObject::Instantiate(shared, 1, 0);
  uint32_t code = own->GetIdentityHashCode(vm);
  EXPECT_EQ(code, own->GetIdentityHashCode(vm));
  EXPECT_EQ((uint32_t)host->ObjectHashCode(heap, own), code);
  data->GetIdentityHashCode(vm);
  ASSERT_EQ(4u, Calls().hashHeaps.size());
  EXPECT_EQ(heap, Calls().hashHeaps[0]);
  EXPECT_EQ(shared, Calls().hashHeaps[3]);

  own->Destroy(heap);
  data->Destroy(shared);
  nameSpace->Destroy(heap);
  host->HeapDestroy(shared);
}

}  // namespace
