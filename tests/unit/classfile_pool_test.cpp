/* The constant pool: its storage, and resolution of strings, classes, fields and methods
   with the access rules, over classes crafted for each case. */
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "classfile_support.h"
#include "classfile_world.h"

namespace {

using namespace classfile_test;

class ConstantPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    dir = TempDir("constantpool");
    ASSERT_TRUE(world.Create(dir + ":" + std::string(PUX_BUILD_DIR) + "/classlib.zip"));
  }
  void TearDown() override {
    world.Destroy();
    refhost::SetClassPath(nullptr, "");
    RemoveTree(dir);
  }
  void Put(const std::string& name, const Bytes& bytes) {
    std::string path = dir + "/" + name + ".class";
    for (size_t k = dir.size() + 1; k < path.size(); k++)
      if (path[k] == '/') mkdir(path.substr(0, k).c_str(), 0777);
    ASSERT_TRUE(WriteFileBytes(path, bytes));
  }
  /* The interface t/Runner with its one method run()V. */
  void PutRunner() {
    ClassBuilder r;
    r.access = 0x0601;
    r.thisClass = r.Class("t/Runner");
    r.superClass = r.Class("java/lang/Object");
    r.AddMethod(0x0401, "run", "()V");
    Put("t/Runner", r.Build());
  }
  VMLoadableClass* Loaded(const char* name) {
    VMLoadableClass* c = world.Shell(name);
    EXPECT_NE(nullptr, c);
    EXPECT_EQ(0, c->Load()) << name;
    return c;
  }
  /* While another thread holds the monitor of held, resolve runs (and waits for it to
     be released); meanwhile the pool must still serve another entry. */
  void ExpectPoolFreeMeanwhile(VMLoadableClass* held, std::function<bool()> resolve,
                               std::function<bool()> meanwhile) {
    std::atomic<int> stage{0};
    std::atomic<bool> resolved{false}, done{false};
    std::thread holder([&] {
      ASSERT_EQ(0, held->MonitorEnter(world.ns));
      stage = 1;
      while (stage < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      held->MonitorExit(world.ns);
    });
    while (stage < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::thread resolver([&] { resolved = resolve(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::thread other([&] { done = meanwhile(); });
    for (int n = 0; n < 2000 && !done; n++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(done) << "the pool stayed locked while a class was initialised";
    EXPECT_FALSE(resolved) << "the initialisation should still be held up";
    stage = 2;
    holder.join();
    resolver.join();
    other.join();
    EXPECT_TRUE(resolved);
  }

  ClassWorld world;
  std::string dir;
};

TEST_F(ConstantPoolTest, StorageOfEntries) {
  EXPECT_EQ(nullptr, VMConstantPool::CreateInstance(world.heap, 0));
  VMConstantPool* one = VMConstantPool::CreateInstance(world.heap, 1);
  ASSERT_NE(nullptr, one);
  EXPECT_EQ(0u, one->SetConstInt(5)) << "a pool of count 1 has no entries";
  one->Destroy(world.heap);

  uint64_t before = refhost::BytesInUse(world.heap);
  VMConstantPool* pool = VMConstantPool::CreateInstance(world.heap, 6);
  ASSERT_NE(nullptr, pool);
  VMbyteArray* text = VMbyteArray::CreateInstance(world.heap, 3, jallocFailFast, VMTag_VMbyteArray);
  EXPECT_EQ(1u, pool->SetConstUtf8(text));
  EXPECT_EQ(2u, pool->SetConstLong((jlong)0x1122334455667788ll));
  EXPECT_EQ(VMConstantPool::TYPE_Unusable, pool->GetConstType(3));
  EXPECT_EQ((jlong)0x1122334455667788ll, pool->GetConstLong(2));
  EXPECT_EQ(0x55667788u, pool->GetConstWord(2));
  EXPECT_EQ(0x11223344u, pool->GetConstWord(3));
  EXPECT_EQ(4u, pool->SetConstMethod(0x0102, 0x0304));
  uint16_t a, b;
  pool->GetConstTwoShort(4, &a, &b);
  EXPECT_EQ(0x0102, a);
  EXPECT_EQ(0x0304, b);
  // A Double in the last entry has no room for its high word.
  EXPECT_EQ(0u, pool->SetConstDouble(1.5));
  EXPECT_EQ(5u, pool->SetConstFloat(2.5f));
  EXPECT_EQ(2.5f, pool->GetConstFloat(5));
  EXPECT_EQ(0u, pool->SetConstInt(1)) << "full";
  // Destroy takes the unresolved Utf8 bytes with it.
  pool->Destroy(world.heap);
  EXPECT_EQ(before, refhost::BytesInUse(world.heap));
}

TEST_F(ConstantPoolTest, StringsAndClasses) {
  ClassBuilder c = SmallClass("t/P");
  uint16_t s1 = c.String("hello");
  uint16_t s2 = c.String("hello");
  uint16_t cls = c.Class("t/NeverLoaded");
  Put("t/P", c.Build());
  VMLoadableClass* p = Loaded("t/P");
  VMConstantPool* pool = p->GetConstantPool();
  VMJavaLangString* a = pool->GetConstString(p, s1);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(a, pool->GetConstString(p, s1));
  // Same Utf8 entry, already a literal by now: the same interned string.
  EXPECT_EQ(a, pool->GetConstString(p, s2));
  EXPECT_EQ(VMConstantPool::TYPE_String_Resolved, pool->GetConstType(s2));
  // Without the initialise flag the stored class comes back untouched: not loaded, the
  // entry not resolved.
  VMStatus status = -1;
  VMLoadableClass* never = pool->GetConstClass(cls, &status, false);
  EXPECT_EQ(0, status);
  ASSERT_NE(nullptr, never);
  EXPECT_EQ(world.Lit("t/NeverLoaded"), never->GetName());
  EXPECT_FALSE(never->GetIsLoaded());
  EXPECT_EQ(VMConstantPool::TYPE_Class, pool->GetConstType(cls));
  EXPECT_EQ(world.Lit("t/NeverLoaded"), pool->GetConstClassName(cls));
  // With it, a class the host does not have fails and the entry stays as it was.
  EXPECT_EQ(nullptr, pool->GetConstClass(cls, &status, true));
  EXPECT_NE(0, status);
  EXPECT_EQ(VMConstantPool::TYPE_Class, pool->GetConstType(cls));
}

TEST_F(ConstantPoolTest, MemberReferencesAndAccess) {
  // t/A: a private field and method, a protected field, a public field; t/B extends t/A
  // and is referenced for an inherited field; t/C (another package) refers to all.
  ClassBuilder a = SmallClass("t/A");
  a.AddField(0x02, "priv", "I");
  a.AddField(0x01, "pub", "I");
  a.AddField(0x00, "pkg", "I");
  a.AddMethod(0x02, "secret", "()V", {a.CodeAttribute(1, 1, {0xB1})});
  Put("t/A", a.Build());
  ClassBuilder b = SmallClass("t/B", "t/A");
  Put("t/B", b.Build());
  PutRunner();
  ClassBuilder c = SmallClass("u/C");
  uint16_t priv = c.Ref(9, "t/A", "priv", "I");
  uint16_t pub = c.Ref(9, "t/B", "pub", "I");  // declared in the superclass
  uint16_t pkg = c.Ref(9, "t/A", "pkg", "I");
  uint16_t none = c.Ref(9, "t/A", "none", "I");
  uint16_t secret = c.Ref(10, "t/A", "secret", "()V");
  uint16_t superInit = c.Ref(10, "t/B", "<init>", "()V");
  uint16_t clone = c.Ref(10, "[I", "clone", "()Ljava/lang/Object;");
  uint16_t length = c.Ref(9, "[I", "length", "I");
  uint16_t iface = c.Ref(11, "t/Runner", "run", "()V");
  Put("u/C", c.Build());
  VMLoadableClass* user = Loaded("u/C");
  VMConstantPool* pool = user->GetConstantPool();
  VMStatus status = 0;

  EXPECT_EQ(nullptr, pool->GetConstField(user, priv, &status));
  EXPECT_EQ(VMStatus_IllegalAccessError, status);
  EXPECT_EQ(VMConstantPool::TYPE_FieldRef, pool->GetConstType(priv)) << "a failure changes nothing";
  VMDataMember* f = pool->GetConstField(user, pub, &status);
  ASSERT_NE(nullptr, f) << status;
  EXPECT_EQ(world.Shell("t/A"), f->GetDefinedIn());
  EXPECT_EQ(f, pool->GetConstResolvedField(pub));
  EXPECT_EQ(nullptr, pool->GetConstField(user, pkg, &status));
  EXPECT_EQ(VMStatus_IllegalAccessError, status);
  EXPECT_EQ(nullptr, pool->GetConstField(user, none, &status));
  EXPECT_EQ(VMStatus_NoSuchFieldError, status);

  // A private method is its own class's alone, with invokespecial's flag or without.
  EXPECT_EQ(nullptr, pool->GetConstMethod(user, secret, &status, false));
  EXPECT_EQ(VMStatus_IllegalAccessError, status);
  EXPECT_EQ(nullptr, pool->GetConstMethod(user, secret, &status, true));
  EXPECT_EQ(VMStatus_IllegalAccessError, status);
  EXPECT_EQ(VMConstantPool::TYPE_MethodRef, pool->GetConstType(secret));
  // The constructor of the class named, as invokespecial asks for it.
  VMMethod* init = pool->GetConstMethod(user, superInit, &status, true);
  ASSERT_NE(nullptr, init) << status;
  EXPECT_EQ(world.Shell("t/B"), init->GetDefinedIn());

  // Methods named on an array class are java/lang/Object's; arrays have no fields.
  VMMethod* m = pool->GetConstMethod(user, clone, &status, false);
  ASSERT_NE(nullptr, m) << status;
  EXPECT_EQ(world.Shell("java/lang/Object"), m->GetDefinedIn());
  EXPECT_EQ(nullptr, pool->GetConstField(user, length, &status));
  EXPECT_EQ(VMStatus_NoSuchFieldError, status);

  // Interface methods resolve without an access check.
  VMMethod* run = pool->GetConstInterfaceMethod(iface, &status);
  ASSERT_NE(nullptr, run) << status;
  EXPECT_EQ(VMConstantPool::TYPE_InterfaceMethodRef_Resolved, pool->GetConstType(iface));
  VMLiteral* name = nullptr;
  VMLiteral* sig = nullptr;
  EXPECT_EQ(world.Shell("t/Runner"), pool->GetMemberRef(iface, &name, &sig));
  EXPECT_EQ(world.Lit("run"), name);
  // Unresolved, the class the reference names; resolved, the field's own class.
  EXPECT_EQ(world.Lit("t.A.pkg"), pool->GetFieldName(pkg));
  EXPECT_EQ(world.Lit("t.A.pub"), pool->GetFieldName(pub));
}

/* The calls' in-place readers answer what resolution answered and nothing else: for
   entries in the pool's own block and for entries past it (the words past 194, the
   types past 388 lie in pieces), only once resolved, only for their own kind. */
TEST_F(ConstantPoolTest, ResolvedEntriesReadInPlaceAnswerOnlyTheirOwnKind) {
  ClassBuilder a = SmallClass("t/A");
  a.AddField(0x09, "count", "I");
  a.AddMethod(0x09, "twice", "()V", {a.CodeAttribute(1, 1, {0xB1})});
  Put("t/A", a.Build());
  PutRunner();
  ClassBuilder c = SmallClass("u/C");
  uint16_t nearMethod = c.Ref(10, "t/A", "twice", "()V");
  uint16_t nearField = c.Ref(9, "t/A", "count", "I");
  uint16_t nearIface = c.Ref(11, "t/Runner", "run", "()V");
  for (uint32_t k = 0; c.PoolCount() < 700; k++) c.Integer(0x5000 + k);
  uint16_t farMethod = c.Ref(10, "t/A", "twice", "()V");
  uint16_t farField = c.Ref(9, "t/A", "count", "I");
  uint16_t farIface = c.Ref(11, "t/Runner", "run", "()V");
  ASSERT_GT(farMethod, 388);
  Put("u/C", c.Build());
  VMLoadableClass* user = Loaded("u/C");
  VMConstantPool* pool = user->GetConstantPool();
  uint32_t count = pool->GetCount();
  for (uint32_t index : {0u, count, count + 1000u, 0xFFFFu}) {
    EXPECT_EQ(nullptr, pool->ResolvedMethodAt(index)) << index;
    EXPECT_EQ(nullptr, pool->ResolvedInterfaceMethodAt(index)) << index;
    EXPECT_EQ(nullptr, pool->ResolvedFieldAt(index)) << index;
  }
  VMStatus status = 0;
  for (uint16_t method : {nearMethod, farMethod}) {
    EXPECT_EQ(nullptr, pool->ResolvedMethodAt(method)) << "not resolved yet: " << method;
    VMMethod* m = pool->GetConstMethod(user, method, &status, false);
    ASSERT_NE(nullptr, m) << status;
    EXPECT_EQ(m, pool->ResolvedMethodAt(method)) << method;
    EXPECT_EQ(nullptr, pool->ResolvedInterfaceMethodAt(method)) << method;
    EXPECT_EQ(nullptr, pool->ResolvedFieldAt(method)) << method;
    EXPECT_EQ(m, pool->GetConstMethod(user, method, &status, false));
  }
  for (uint16_t field : {nearField, farField}) {
    EXPECT_EQ(nullptr, pool->ResolvedFieldAt(field)) << field;
    VMDataMember* f = pool->GetConstField(user, field, &status);
    ASSERT_NE(nullptr, f) << status;
    EXPECT_EQ(f, pool->ResolvedFieldAt(field)) << field;
    EXPECT_EQ(nullptr, pool->ResolvedMethodAt(field)) << field;
  }
  for (uint16_t iface : {nearIface, farIface}) {
    EXPECT_EQ(nullptr, pool->ResolvedInterfaceMethodAt(iface)) << iface;
    VMMethod* m = pool->GetConstInterfaceMethod(iface, &status);
    ASSERT_NE(nullptr, m) << status;
    EXPECT_EQ(m, pool->ResolvedInterfaceMethodAt(iface)) << iface;
    EXPECT_EQ(nullptr, pool->ResolvedMethodAt(iface)) << iface;
  }
  // The integers between are no members, whatever their words hold.
  for (uint32_t index = nearIface + 1; index < farMethod; index += 97) {
    EXPECT_EQ(nullptr, pool->ResolvedMethodAt(index)) << index;
    EXPECT_EQ(nullptr, pool->ResolvedFieldAt(index)) << index;
  }
}

TEST_F(ConstantPoolTest, ConstructorOfASuperclassIsNoSpecialTarget) {
  ClassBuilder a = SmallClass("t/Base");
  Put("t/Base", a.Build());
  ClassBuilder b;
  b.thisClass = b.Class("t/Derived");
  b.superClass = b.Class("t/Base");
  Put("t/Derived", b.Build());  // no constructor of its own
  ClassBuilder c = SmallClass("t/User");
  uint16_t init = c.Ref(10, "t/Derived", "<init>", "()V");
  Put("t/User", c.Build());
  VMLoadableClass* user = Loaded("t/User");
  VMStatus status = 0;
  // Found through the superclass for a plain use; that answer is not kept, so the
  // entry's use by invokespecial still meets the rule.
  VMMethod* inherited = user->GetConstantPool()->GetConstMethod(user, init, &status, false);
  ASSERT_NE(nullptr, inherited) << status;
  EXPECT_EQ(world.Shell("t/Base"), inherited->GetDefinedIn());
  EXPECT_EQ(nullptr, user->GetConstantPool()->GetConstMethod(user, init, &status, true));
  EXPECT_EQ(VMStatus_NoSuchMethodError, status);
}

/* A private member is reachable from its own class only: a subclass in another package
   does not get a superclass's private method by invokespecial, and the answer it got
   first never serves a later use. */
TEST_F(ConstantPoolTest, PrivateMethodsStayWithTheirClass) {
  ClassBuilder a = SmallClass("t/A");
  a.AddMethod(0x02, "secret", "()V", {a.CodeAttribute(1, 1, {0xB1})});
  uint16_t own = a.Ref(10, "t/A", "secret", "()V");
  Put("t/A", a.Build());
  Put("u/Sub", SmallClass("u/Sub", "t/A").Build());
  ClassBuilder c = SmallClass("u/C", "u/Sub");
  uint16_t secret = c.Ref(10, "t/A", "secret", "()V");
  Put("u/C", c.Build());
  VMLoadableClass* user = world.Shell("u/C");
  ASSERT_EQ(0, user->Prepare(nullptr));
  VMConstantPool* pool = user->GetConstantPool();
  for (bool special : {false, true, false}) {
    VMStatus status = 0;
    EXPECT_EQ(nullptr, pool->GetConstMethod(user, secret, &status, special)) << special;
    EXPECT_EQ(VMStatus_IllegalAccessError, status) << special;
  }
  VMLoadableClass* owner = Loaded("t/A");
  VMStatus status = 0;
  VMMethod* m = owner->GetConstantPool()->GetConstMethod(owner, own, &status, true);
  ASSERT_NE(nullptr, m) << status;
  EXPECT_EQ(m, owner->GetConstantPool()->GetConstMethod(owner, own, &status, false));
}

TEST_F(ConstantPoolTest, TheCollectorWalkSeesEveryObject) {
  ClassBuilder c = SmallClass("t/W");
  c.String("s");
  c.Integer(3);
  Put("t/W", c.Build());
  VMLoadableClass* w = Loaded("t/W");
  VMConstantPool* pool = w->GetConstantPool();
  struct Seen {
    int slots = 0;
    VMword first = 0;
  } seen;
  VMword slot = (VMword)pool;
  VMCommonObjectBase::WalkResult r = VMConstantPool::WalkReferences(
      &slot,
      [](VMword* s, void* ctx) {
        Seen* k = (Seen*)ctx;
        if (k->slots++ == 0) k->first = *s;
        EXPECT_NE(0u, *s);
        return VMCommonObjectBase::WalkDone;
      },
      &seen);
  EXPECT_EQ(VMCommonObjectBase::WalkDone, r);
  EXPECT_EQ((VMword)pool->GetTypes(), seen.first);
  int expected = 1;
  for (uint32_t i = 1; i < pool->GetCount(); i++) {
    int16_t t = pool->GetConstType(i);
    if (t == 1 || t == -1 || t == 7 || t < -6) expected++;
  }
  EXPECT_EQ(expected, seen.slots);
  // A visitor that aborts ends the walk at once.
  seen.slots = 0;
  r = VMConstantPool::WalkReferences(
      &slot, [](VMword*, void* ctx) { ((Seen*)ctx)->slots++; return VMCommonObjectBase::WalkAbort; }, &seen);
  EXPECT_EQ(VMCommonObjectBase::WalkAbort, r);
  EXPECT_EQ(1, seen.slots);
}

}  // namespace

namespace {

using namespace classfile_test;

/* Initialising a class runs Java code and may wait for other threads, so it must not hold
   the pool's monitor: here it is held up by another thread owning the class's monitor,
   and a string of the same pool still resolves meanwhile. */
TEST_F(ConstantPoolTest, InitialisingAClassLeavesThePoolFree) {
  Put("t/Slow", SmallClass("t/Slow").Build());
  ClassBuilder u = SmallClass("t/Waiter");
  uint16_t slowIndex = u.Class("t/Slow");
  uint16_t text = u.String("meanwhile");
  Put("t/Waiter", u.Build());
  VMLoadableClass* user = Loaded("t/Waiter");
  VMConstantPool* pool = user->GetConstantPool();
  VMLoadableClass* slow = world.Shell("t/Slow");

  ExpectPoolFreeMeanwhile(
      slow, [&] { return pool->GetConstClass(slowIndex, nullptr, true) != nullptr; },
      [&] { return pool->GetConstString(user, text) != nullptr; });
  EXPECT_EQ(VMConstantPool::TYPE_Class_Resolved, pool->GetConstType(slowIndex));
}

/* A field found in an interface is resolved after the interface is initialised: that
   too must happen with the pool's monitor free. */
TEST_F(ConstantPoolTest, AFieldOfAnInterfaceResolvesWithThePoolFree) {
  ClassBuilder i;
  i.access = 0x0601;
  i.thisClass = i.Class("t/Consts");
  i.superClass = i.Class("java/lang/Object");
  i.AddField(0x19, "X", "I", {{i.Utf8("ConstantValue"), {0, (uint8_t)i.Integer(1)}}});
  Put("t/Consts", i.Build());
  ClassBuilder k = SmallClass("t/Impl");
  k.interfaces.push_back(k.Class("t/Consts"));
  Put("t/Impl", k.Build());
  ClassBuilder u = SmallClass("t/Reader");
  uint16_t field = u.Ref(9, "t/Impl", "X", "I");
  uint16_t text = u.String("meanwhile");
  Put("t/Reader", u.Build());
  VMLoadableClass* reader = Loaded("t/Reader");
  ASSERT_EQ(0, world.Shell("t/Impl")->Prepare(nullptr));
  VMLoadableClass* consts = world.Shell("t/Consts");
  ASSERT_TRUE(consts->GetIsLoaded());
  ASSERT_FALSE(consts->GetIsPrepared());
  VMConstantPool* pool = reader->GetConstantPool();

  ExpectPoolFreeMeanwhile(
      consts, [&] { return pool->GetConstField(reader, field, nullptr) != nullptr; },
      [&] { return pool->GetConstString(reader, text) != nullptr; });
  EXPECT_EQ(VMConstantPool::TYPE_FieldRef_Resolved, pool->GetConstType(field));
  EXPECT_EQ(consts, pool->GetConstResolvedField(field)->GetDefinedIn());
}

}  // namespace

namespace {

using namespace classfile_test;

VMLoadableClass* ParserClass(VMConstantPool* pool, uint32_t index, VMStatus* status) {
  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    *status = catcher.Caught();
    return nullptr;
  }
  *status = 0;
  return VMClassLoader::GetConstClass(pool, index, false, catcher);
}

TEST_F(ConstantPoolTest, TheParserTakesResolvedClassEntriesToo) {
  ClassBuilder c = SmallClass("t/Named");
  uint16_t other = c.Class("t/Named2");
  uint16_t number = c.Integer(4);
  Put("t/Named2", SmallClass("t/Named2").Build());
  Put("t/Named", c.Build());
  VMLoadableClass* cls = Loaded("t/Named");
  VMConstantPool* pool = cls->GetConstantPool();
  VMStatus status = 0;
  ASSERT_NE(nullptr, pool->GetConstClass(other, &status, true)) << status;
  ASSERT_EQ(VMConstantPool::TYPE_Class_Resolved, pool->GetConstType(other));
  EXPECT_EQ(world.Shell("t/Named2"), ParserClass(pool, other, &status));
  EXPECT_EQ(0, status);
  EXPECT_EQ(nullptr, ParserClass(pool, number, &status));
  EXPECT_EQ(VMStatus_ClassFormatError, status);
  EXPECT_EQ(nullptr, ParserClass(pool, pool->GetCount(), &status));
  EXPECT_EQ(VMStatus_ClassFormatError, status);
}

}  // namespace
