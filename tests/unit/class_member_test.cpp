/* Fields and methods: creation and its statuses, flags, look-up over a hierarchy, names,
   and the instance layout the class model gives an object. */
#include "class_support.h"

#include <string.h>

#include <string>

#include "refhost.h"
#include "vmliteral.h"

namespace class_test {
namespace {

class MemberTest : public ClassTest {
 protected:
  VMMethod* Method(VMLoadableClass* cls, const char* name, const char* sig, jint access,
                   VMStatus* status) {
    return VMMethod::CreateInstance(nsHeap, Lit(name), Lit(sig), access, cls, status);
  }
  VMDataMember* Field(VMLoadableClass* cls, const char* name, const char* sig, jint access,
                      VMStatus* status = nullptr) {
    VMStatus ignored;
    return VMDataMember::CreateInstance(nsHeap, Lit(name), Lit(sig), access, 0, cls,
                                        status != nullptr ? status : &ignored);
  }
  /* Gives the class these members (the class owns and destroys them). */
  void SetFields(VMLoadableClass* cls, std::initializer_list<VMDataMember*> fields) {
    VMDataMemberArray* a = VMDataMemberArray::CreateInstance(nsHeap, (uint32_t)fields.size(),
                                                             jallocFailFast, 0x645BFECAu);
    ASSERT_NE(nullptr, a);
    uint32_t i = 0;
    for (VMDataMember* f : fields) a->Set(i++, f);
    cls->SetDataMembers(a);
  }
  void SetMethods(VMLoadableClass* cls, std::initializer_list<VMMethod*> methods) {
    VMMethodArray* a = VMMethodArray::CreateInstance(nsHeap, (uint32_t)methods.size(),
                                                     jallocFailFast, 0x6D5BFECAu);
    ASSERT_NE(nullptr, a);
    uint32_t i = 0;
    for (VMMethod* m : methods) a->Set(i++, m);
    cls->SetMethods(a);
  }
};

TEST_F(MemberTest, MethodCreationFillsTheArgumentWords) {
  VMLoadableClass* cls = Define("m/T", objectClass, {}, false);
  VMStatus status = -1;
  VMMethod* m = Method(cls, "f", "(JLjava/lang/String;)[I", 0x1, &status);
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(0, status);
  EXPECT_EQ(4u, m->GetParameterWords());
  EXPECT_EQ(1u, m->GetReturnWords());
  EXPECT_EQ('[', m->GetReturnType());
  EXPECT_EQ(0x19u, m->GetObjectBits());  // receiver, the String, the returned array
  EXPECT_EQ(0x6u, m->GetTwoWordBits());
  EXPECT_EQ(Find("[I"), m->GetReturnClass());
  EXPECT_TRUE(m->GetIsByteCode());
  EXPECT_TRUE(m->GetIsPublic());
  EXPECT_TRUE(m->IsVirtual());
  EXPECT_NE(nullptr, m->GetMutex());
  EXPECT_EQ(0xFFFFFFFFu, m->GetWord(VMMethod::Word12));
  EXPECT_EQ(0x1, m->GetFlags());
  SetMethods(cls, {m});
}

TEST_F(MemberTest, SynchronizedMethodsNameTheirMonitorObject) {
  VMLoadableClass* cls = Define("m/Sync", objectClass, {}, false);
  VMStatus status;
  VMMethod* plain = Method(cls, "p", "()V", 0x1, &status);
  VMMethod* locked = Method(cls, "l", "(I)V", 0x21, &status);
  ASSERT_NE(nullptr, plain);
  ASSERT_NE(nullptr, locked);
  SetMethods(cls, {plain, locked});
  VMword args[2] = {(VMword)objectClass, 7};
  EXPECT_EQ(nullptr, plain->GetSynchObject(nullptr, args));
  EXPECT_EQ((VMObject*)objectClass, locked->GetSynchObject(nullptr, args));
  EXPECT_TRUE(locked->GetIsSynchronized());
  EXPECT_EQ(0x21, locked->GetFlags());
}

TEST_F(MemberTest, MethodCreationStatuses) {
  VMLoadableClass* cls = Define("m/S", objectClass, {}, false);
  VMStatus status = 0;
  EXPECT_EQ(nullptr, Method(cls, "bad", "(I", 0x8, &status));
  EXPECT_EQ(VMStatus_VerifyError, status);
  EXPECT_EQ(nullptr, Method(cls, "bad", "([V)V", 0x8, &status));
  EXPECT_EQ(VMStatus_VerifyError, status);

  std::string wide = "(";
  for (int i = 0; i < 31; i++) wide += "I";
  wide += ")V";
  // 32 words with the receiver: more than the masks hold, for a native too, whose calls
  // then classify the words one by one.
  VMMethod* wideNative = Method(cls, "natWide", wide.c_str(), 0x100, &status);
  ASSERT_NE(nullptr, wideNative) << status;
  EXPECT_TRUE(wideNative->GetIsMoreParmsThanBits());
  VMMethod* interpreted = Method(cls, "wide", wide.c_str(), 0x0, &status);
  ASSERT_NE(nullptr, interpreted);
  EXPECT_TRUE(interpreted->GetIsMoreParmsThanBits());
  VMMethod* nativeStatic = Method(cls, "nat", wide.c_str(), 0x108, &status);
  ASSERT_NE(nullptr, nativeStatic);
  EXPECT_TRUE(nativeStatic->GetIsNative());
  EXPECT_FALSE(nativeStatic->GetIsByteCode());
  VMMethod* mixed = Method(cls, "mixed", ("(" + std::string(30, 'I') + "JLm/S;[IDLm/S;)Lm/S;").c_str(), 0x108, &status);
  ASSERT_NE(nullptr, mixed) << status;
  ASSERT_EQ(37u, mixed->GetParameterWords());
  uint8_t map[37];
  memset(map, 9, sizeof map);
  mixed->GetObjectWords(map);
  for (uint32_t i = 0; i < 37; i++)
    EXPECT_EQ(i == 32 || i == 33 || i == 36, mixed->IsObjectWord(i, map)) << "word " << i;
  EXPECT_TRUE(mixed->GetReturnsObject());
  EXPECT_TRUE(wideNative->IsObjectWord(0, (wideNative->GetObjectWords(map), map)));
  EXPECT_FALSE(wideNative->IsObjectWord(31, map));
  SetMethods(cls, {interpreted, nativeStatic, wideNative, mixed});

  // Running out of memory at any step (the method, the return type's literal) reports
  // 19 and leaves nothing behind.
  for (uint32_t n = 1; n <= 4; n++) {
    std::string name = "oom" + std::to_string(n);
    VMLiteral* lname = Lit(name.c_str());
    VMLiteral* sig = Lit(("(I" + std::string(n, 'J') + ")I").c_str());
    refhost::FailNthAllocation(n);
    status = 0;
    VMMethod* m = VMMethod::CreateInstance(nsHeap, lname, sig, 0, cls, &status);
    refhost::ResetHooks();
    if (m == nullptr) {
      EXPECT_EQ(VMStatus_OutOfMemoryError, status) << n;
    } else {
      EXPECT_EQ(0, status);
      m->Destroy(nsHeap);
    }
  }
}

TEST_F(MemberTest, ConstantValuesBelongToStaticOrFinalFields) {
  VMLoadableClass* cls = Define("m/K", objectClass, {}, false);
  VMStatus status = 0;
  EXPECT_EQ(nullptr, VMDataMember::CreateInstance(nsHeap, Lit("x"), Lit("I"), 0x1, 5, cls, &status));
  EXPECT_EQ(VMStatus_VerifyError, status);
  VMDataMember* s = VMDataMember::CreateInstance(nsHeap, Lit("y"), Lit("I"), 0x8, 5, cls, &status);
  ASSERT_NE(nullptr, s);
  ASSERT_NE(nullptr, s->GetConstantValue());
  EXPECT_EQ(5u, s->GetConstantValue()->GetValue1());
  VMDataMember* f = VMDataMember::CreateInstance(nsHeap, Lit("z"), Lit("J"), 0x10, 7, cls, &status);
  ASSERT_NE(nullptr, f);
  EXPECT_TRUE(f->GetIsFinal());
  EXPECT_TRUE(f->GetIsDefault());
  SetFields(cls, {s, f});
  VMLiteral* name = Lit("w");
  VMLiteral* sig = Lit("I");
  for (uint32_t n = 1; n <= 2; n++) {
    refhost::FailNthAllocation(n);
    VMDataMember* m = VMDataMember::CreateInstance(nsHeap, name, sig, 0x8, 3, cls, &status);
    refhost::ResetHooks();
    EXPECT_EQ(nullptr, m);
    EXPECT_EQ(VMStatus_OutOfMemoryError, status);
  }
}

TEST_F(MemberTest, FlagsMapBothWays) {
  VMLoadableClass* cls = Define("m/F", objectClass, {}, false);
  const jint all = 0x1 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x100 | 0x400;
  VMDataMember* f = Field(cls, "f", "I", all);
  VMDataMember* g = Field(cls, "g", "I", 0x4);
  ASSERT_NE(nullptr, f);
  ASSERT_NE(nullptr, g);
  EXPECT_EQ(all, f->GetFlags());
  EXPECT_FALSE(f->GetIsDefault());
  EXPECT_EQ(0x4, g->GetFlags());
  EXPECT_FALSE(g->IsRefField());
  SetFields(cls, {f, g});
}

TEST_F(MemberTest, FieldLookUpWalksClassesAndInterfaces) {
  VMLoadableClass* iface = Define("m/Consts", objectClass, {}, true);
  VMLoadableClass* base = Define("m/Base", objectClass, {}, false);
  VMLoadableClass* derived = Define("m/Derived", base, {iface}, false);
  VMDataMember* first = Field(derived, "x", "I", 0x1);
  VMDataMember* second = Field(derived, "x", "I", 0x1);
  VMDataMember* shadowed = Field(base, "x", "I", 0x1);
  VMDataMember* baseOnly = Field(base, "y", "J", 0x0);
  VMDataMember* constant = Field(iface, "K", "Ljava/lang/String;", 0x19);
  SetFields(derived, {first, second});
  SetFields(base, {shadowed, baseOnly});
  SetFields(iface, {constant});
  SetFields(objectClass, {});

  JNIEnv* env = host->GetCurrentEnv();
  EXPECT_EQ(second, derived->FindField(Lit("x"), Lit("I"), true, env));  // the last declared
  EXPECT_EQ(shadowed, base->FindField(Lit("x"), Lit("I"), true, env));
  EXPECT_EQ(baseOnly, derived->FindField(Lit("y"), Lit("J"), true, env));
  EXPECT_EQ(nullptr, derived->FindField(Lit("y"), Lit("J"), false, env));
  EXPECT_EQ(nullptr, derived->FindField(Lit("y"), Lit("I"), true, env));
  EXPECT_EQ(constant, derived->FindField(Lit("K"), Lit("Ljava/lang/String;"), true, env));
  EXPECT_TRUE(constant->IsRefField());

  EXPECT_EQ(first, derived->FindPublicField(Lit("x"), env));
  EXPECT_EQ(nullptr, derived->FindPublicField(Lit("y"), env));  // package access
  EXPECT_EQ(constant, derived->FindPublicField(Lit("K"), env));
}

TEST_F(MemberTest, MethodLookUpWalksSuperclassesOnly) {
  VMLoadableClass* iface = Define("m/Api", objectClass, {}, true);
  VMLoadableClass* base = Define("m/Shape", objectClass, {}, false);
  VMLoadableClass* derived = Define("m/Circle", base, {iface}, false);
  VMStatus status;
  VMMethod* area = Method(base, "area", "()D", 0x1, &status);
  VMMethod* areaScaled = Method(base, "area", "(D)D", 0x1, &status);
  VMMethod* draw = Method(derived, "draw", "()V", 0x1, &status);
  VMMethod* run = Method(iface, "run", "()V", 0x401, &status);
  SetMethods(base, {area, areaScaled});
  SetMethods(derived, {draw});
  SetMethods(iface, {run});
  SetMethods(objectClass, {});
  EXPECT_EQ(areaScaled, derived->FindMethod(Lit("area"), Lit("(D)D"), true));
  EXPECT_EQ(nullptr, derived->FindMethod(Lit("area"), Lit("(D)D"), false));
  EXPECT_EQ(draw, derived->FindMethod(Lit("draw"), Lit("()V"), false));
  EXPECT_EQ(nullptr, derived->FindMethod(Lit("run"), Lit("()V"), true));
  EXPECT_EQ(nullptr, derived->FindMethod(Lit("area"), Lit("()I"), true));

  EXPECT_EQ(Lit("draw"), draw->GetQualifiedName());
  EXPECT_EQ(Lit("area(double)"), areaScaled->GetQualifiedName());
  EXPECT_EQ(Lit("area()"), area->GetQualifiedName());
  EXPECT_EQ(Lit("m.Circle.draw"), draw->GetFullName());
}

TEST_F(MemberTest, QualifiedNamesOfConstructors) {
  VMLoadableClass* cls = Define("m/Point", objectClass, {}, false);
  VMStatus status;
  VMMethod* one = Method(cls, "<init>", "()V", 0x1, &status);
  SetMethods(cls, {one});
  EXPECT_EQ(Lit("Point"), one->GetQualifiedName());
  VMMethod* two = Method(cls, "<init>", "(ILjava/lang/String;[J)V", 0x1, &status);
  VMMethodArray* methods = cls->GetMethods();
  methods->VMObject::Destroy(nsHeap);
  SetMethods(cls, {one, two});
  EXPECT_EQ(Lit("Point(int,java.lang.String,[J)"), two->GetQualifiedName());
}

TEST_F(MemberTest, ObjectBitsOfManyArguments) {
  VMLoadableClass* cls = Define("m/Wide", objectClass, {}, false);
  std::string sig = "(";
  for (int i = 0; i < 33; i++) sig += "I";
  sig += "Ljava/lang/Object;)V";
  VMStatus status;
  VMMethod* m = Method(cls, "w", sig.c_str(), 0, &status);
  ASSERT_NE(nullptr, m);
  SetMethods(cls, {m});
  VMboolArray* bits = m->GetObjectBitArray();
  ASSERT_NE(nullptr, bits);
  EXPECT_TRUE(bits->Get(0));
  EXPECT_FALSE(bits->Get(1));
  EXPECT_TRUE(bits->Get(34));
  bits->VMObject::Destroy(nsHeap);
}

TEST_F(MemberTest, DestroyingAMemberDropsItsIds) {
  VMObjectHandleArray* ids = VMObjectHandleArray::CreateInstance(nsHeap, 0x623DFECAu, 4, 4);
  ASSERT_NE(nullptr, ids);
  ns->SetReference(14, ids);
  VMLoadableClass* cls = Define("m/Ids", objectClass, {}, false);
  VMStatus status;
  VMMethod* m = Method(cls, "a", "()V", 0, &status);
  VMDataMember* f = Field(cls, "b", "I", 0);
  ASSERT_NE(nullptr, m);
  ASSERT_NE(nullptr, f);
  uint32_t first = ids->Add(m);
  ids->Add(f);
  uint32_t again = ids->Append(m);
  m->Destroy(nsHeap);
  EXPECT_EQ(nullptr, ids->Get(first));
  EXPECT_EQ(nullptr, ids->Get(again));
  EXPECT_EQ(first, ids->Find(nullptr));
  f->Destroy(nsHeap);
  ids->Destroy(nsHeap);
  ns->SetReference(14, nullptr);
}

TEST_F(MemberTest, InstanceLayoutFollowsDeclarationOrder) {
  VMLoadableClass* base = Define("m/Base2", objectClass, {}, false);
  VMLoadableClass* sub = Define("m/Sub2", base, {}, false);
  VMLoadableClass* statics = Define("m/Statics", base, {}, false);
  VMDataMember* a = Field(base, "a", "I", 0);
  VMDataMember* b = Field(base, "b", "J", 0);
  VMDataMember* c = Field(base, "c", "Ljava/lang/Object;", 0);
  VMDataMember* s = Field(base, "s", "[I", 0x8);
  VMDataMember* d = Field(sub, "d", "B", 0);
  VMDataMember* e = Field(sub, "e", "[D", 0);
  VMDataMember* k = Field(statics, "k", "Ljava/lang/Object;", 0x8);
  SetFields(objectClass, {});
  SetFields(base, {a, b, c, s});
  SetFields(sub, {d, e});
  SetFields(statics, {k});
  for (VMLoadableClass* cls : {objectClass, base, sub, statics}) {
    ASSERT_EQ(0, cls->PrepareDataMemberClasses());
    ASSERT_EQ(0, cls->PrepareInstanceData());
  }
  EXPECT_EQ(0u, objectClass->GetCreateSize());
  EXPECT_EQ(nullptr, objectClass->GetCreateBits());
  EXPECT_EQ(0, a->GetIndex());
  EXPECT_EQ(1, b->GetIndex());
  EXPECT_EQ(3, c->GetIndex());
  EXPECT_EQ(4u, base->GetCreateSize());
  EXPECT_EQ(0x8u, base->GetCreateBits()->GetWord(0));
  EXPECT_EQ(4, d->GetIndex());
  EXPECT_EQ(5, e->GetIndex());
  EXPECT_EQ(6u, sub->GetCreateSize());
  EXPECT_EQ(0x28u, sub->GetCreateBits()->GetWord(0));
  EXPECT_EQ(4u, statics->GetCreateSize());
  EXPECT_EQ(0x8u, statics->GetCreateBits()->GetWord(0));
  EXPECT_EQ(Find("[I"), s->GetClass());

  VMObject* object = VMObject::CreateInstance(nsHeap, sub, jallocFailFast);
  ASSERT_NE(nullptr, object);
  EXPECT_EQ(6u, object->GetNumberOfElements());
  EXPECT_EQ(VMTag_VMUserClassInstance, object->GetTag());
  EXPECT_EQ((VMClass*)sub, object->GetClass());
  object->Destroy(nsHeap);

  EXPECT_EQ(Lit("IJLjava/lang/Object;B[D"), sub->GetSerializationSignature());
}

}  // namespace
}  // namespace class_test
