/* Reflection under hostile conditions: objects made without a constructor or with words
   pointing anywhere, refused allocations at every step of the builders, a name space's
   cached types outliving the machine that made them, racing first look-ups, privileged
   actions that must never end the host. */
#include <string.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "natives_support.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmjavalangreflectfield.h"
#include "vmjavalangstring.h"
#include "vmjvm.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

typedef jint(JNICALL* IntGetter)(JNIEnv*, jobject, jobject);
typedef jobject(JNICALL* ObjectGetter)(JNIEnv*, jobject, jobject);
typedef void(JNICALL* LongSetter)(JNIEnv*, jobject, jobject, jlong);
typedef jint(JNICALL* Modifiers)(JNIEnv*, jobject);
typedef jobject(JNICALL* NewInstance)(JNIEnv*, jobject, jobjectArray);

class HostileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m.Create(1, "reflect"));
    fixture = m.Class("reflect/Fixture");
    ASSERT_NE(nullptr, fixture);
  }
  void TearDown() override { m.Destroy(); }

  /* A new object of a reflection class with every word zero, as bytecode that skips the
     constructor makes one. */
  VMObject* Blank(VMLoadableClass* cls) {
    return VMObject::CreateInstance(m.vm->GetHeap(), cls, jallocFailFast);
  }
  VMJavaLangReflectField* FieldNamed(const char* name) {
    VMJavaLangReflectFieldArray* fields = VMClassReflectInfo::GetFields(m.env, (VMClass*)fixture, 1);
    for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++) {
      if (m.Text((VMObject*)fields->Get(i)->GetName(1)) == name) return fields->Get(i);
    }
    return nullptr;
  }
  VMJavaLangReflectMethod* MethodNamed(const char* name) {
    VMJavaLangReflectMethodArray* methods = VMClassReflectInfo::GetMethods(m.env, (VMClass*)fixture, 1);
    for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
      if (m.Text((VMObject*)methods->Get(i)->GetName(1)) == name) return methods->Get(i);
    }
    return nullptr;
  }

  Machine m;
  VMLoadableClass* fixture = nullptr;
};

/* Zeroed objects, and real ones with their class or slot word rewritten, reach no member:
   every native answers IllegalArgumentException and reads nothing beside an object. */
TEST_F(HostileTest, ForgedReflectionObjectsReachNothing) {
  VMClassList* list = m.ns->GetClassList();
  IntGetter getInt = (IntGetter)m.Native("java/lang/reflect/Field", "getInt", "(Ljava/lang/Object;)I");
  ObjectGetter get = (ObjectGetter)m.Native("java/lang/reflect/Field", "get", "(Ljava/lang/Object;)Ljava/lang/Object;");
  LongSetter setLong = (LongSetter)m.Native("java/lang/reflect/Field", "setLong", "(Ljava/lang/Object;J)V");
  Modifiers fieldModifiers = (Modifiers)m.Native("java/lang/reflect/Field", "getModifiers", "()I");
  Modifiers methodModifiers = (Modifiers)m.Native("java/lang/reflect/Method", "getModifiers", "()I");
  Modifiers constructorModifiers = (Modifiers)m.Native("java/lang/reflect/Constructor", "getModifiers", "()I");
  NewInstance newInstance =
      (NewInstance)m.Native("java/lang/reflect/Constructor", "newInstance", "([Ljava/lang/Object;)Ljava/lang/Object;");
  ASSERT_TRUE(getInt && get && setLong && fieldModifiers && methodModifiers && constructorModifiers && newInstance);
  VMObject* target = Blank(fixture);
  jobject targetRef = m.Local(target);

  jobject blankField = m.Local(Blank(list->GetReflectFieldClass()));
  EXPECT_EQ(0, getInt(m.env, blankField, targetRef));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(nullptr, get(m.env, blankField, targetRef));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  setLong(m.env, blankField, targetRef, -1);
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(0, fieldModifiers(m.env, blankField));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(0, methodModifiers(m.env, m.Local(Blank(list->GetReflectMethodClass()))));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  jobject blankConstructor = m.Local(Blank(list->GetReflectConstructorClass()));
  EXPECT_EQ(0, constructorModifiers(m.env, blankConstructor));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(nullptr, newInstance(m.env, blankConstructor, nullptr));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  EXPECT_EQ(nullptr, JVM_InvokeMethod(m.env, m.Local(Blank(list->GetReflectMethodClass())), targetRef, nullptr));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());

  // A real Field of the long field j, then its words rewritten one at a time.
  VMJavaLangReflectField* j = FieldNamed("j");
  ASSERT_NE(nullptr, j);
  jobject jRef = m.Local(j);
  setLong(m.env, jRef, targetRef, 0x123456789LL);
  EXPECT_EQ("", m.TakeException());
  const VMword slot = j->GetWord(1);
  const VMword cls = j->GetWord(0);
  // The forged class words are walked by every collection the natives start: each must
  // name a live object, so the string is held by a handle, not only by the table below.
  VMObject* notAClass = m.String("reflect.Fixture");
  jobject notAClassRef = m.Local(notAClass);
  ASSERT_NE(nullptr, notAClassRef);
  const VMword words[][2] = {
      {cls, 9999},  {cls, 0x80000000u},                  // slot past the end, negative
      {0, slot},    {(VMword)notAClass, slot},            // class word no class
      {(VMword)m.ns->GetClassList()->GetVMintClass(), slot},      // a class with no fields
      {(VMword)m.ns->GetLiterals(), slot},                        // a machine record
      {(VMword)target, slot},                                     // an instance, not a class
  };
  for (const auto& w : words) {
    j->SetWord(0, w[0]);
    j->SetWord(1, w[1]);
    EXPECT_EQ(0, getInt(m.env, jRef, targetRef));
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException()) << std::hex << w[0] << " " << w[1];
    setLong(m.env, jRef, targetRef, -1);
    EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
  }
  // The field's value was never touched by the forged writes.
  j->SetWord(0, cls);
  j->SetWord(1, slot);
  typedef jlong(JNICALL * LongGetter)(JNIEnv*, jobject, jobject);
  LongGetter getLong = (LongGetter)m.Native("java/lang/reflect/Field", "getLong", "(Ljava/lang/Object;)J");
  EXPECT_EQ(0x123456789LL, getLong(m.env, jRef, targetRef));
  // A type word that lies changes nothing: the field's record says long.
  j->SetWord(3, (VMword)m.ns->GetClassList()->GetStringClass());
  EXPECT_EQ(0x123456789LL, getLong(m.env, jRef, targetRef));
  VMword out[2] = {0, 0};
  EXPECT_EQ(11u, VMJavaLangReflectField::UnWrap(VMJniHandle::UnHandle(m.env, get(m.env, jRef, targetRef)), out));
  EXPECT_EQ(0x23456789u, out[0]);
  EXPECT_EQ(1u, out[1]);
  EXPECT_EQ("", m.TakeException());

  // A Method's slot pointing at a constructor or the initialiser, or past either table.
  VMJavaLangReflectMethod* describe = MethodNamed("describe");
  ASSERT_NE(nullptr, describe);
  jobject describeRef = m.Local(describe);
  for (VMword s : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFF0000u}) {
    describe->SetWord(1, s);
    jobject r = JVM_InvokeMethod(m.env, describeRef, targetRef, nullptr);
    std::string thrown = m.TakeException();
    EXPECT_EQ(nullptr, r) << s;
    EXPECT_EQ("java.lang.IllegalArgumentException", thrown) << s;
  }
  // VMUtil.getSignature reads the same slot.
  typedef jstring(JNICALL * Signature)(JNIEnv*, jclass, jobject);
  Signature signature = (Signature)m.Native("corvane/sql/VMUtil", "getSignature", "(Ljava/lang/reflect/Method;)Ljava/lang/String;");
  ASSERT_NE(nullptr, signature);
  EXPECT_EQ(nullptr, signature(m.env, nullptr, describeRef));
  EXPECT_EQ("java.lang.IllegalArgumentException", m.TakeException());
}

/* A field that holds one of the machine's own records (which no Java code can store)
   answers null to Field.get rather than hand Java an object without a class. */
TEST_F(HostileTest, AMachineRecordInAFieldReadsAsNull) {
  VMJavaLangReflectField* obj = FieldNamed("obj");
  ASSERT_NE(nullptr, obj);
  VMDataMember* member = obj->GetVMDataMember(1);
  ASSERT_NE(nullptr, member);
  VMObject* target = Blank(fixture);
  target->SetWord((uint32_t)member->GetIndex(), (VMword)m.ns->GetLiterals());
  ObjectGetter get = (ObjectGetter)m.Native("java/lang/reflect/Field", "get", "(Ljava/lang/Object;)Ljava/lang/Object;");
  EXPECT_EQ(nullptr, get(m.env, m.Local(obj), m.Local(target)));
  EXPECT_EQ("", m.TakeException());
  target->SetWord((uint32_t)member->GetIndex(), (VMword)m.String("visible"));
  EXPECT_EQ("visible", m.Text(VMJniHandle::UnHandle(m.env, get(m.env, m.Local(obj), m.Local(target)))));
}

/* Privileged actions are Java's business only: nothing they do ends the host. */
TEST_F(HostileTest, PrivilegedActionsNeverEndTheHost) {
  refhost::SetFatalExitReturns(true);
  std::string report = m.CallText("reflect/PrivilegedCases", "report", "()Ljava/lang/String;");
  EXPECT_NE(std::string::npos, report.find("Inherits: String returned / String returned")) << report;
  // An object whose class has no run() at all (not a PrivilegedAction by its type).
  EXPECT_EQ(nullptr, JVM_DoPrivileged(m.env, nullptr, m.Local(m.String("no run")), nullptr, 0));
  EXPECT_EQ("java.lang.NoSuchMethodError", m.TakeException());
  EXPECT_EQ(nullptr, JVM_DoPrivileged(m.env, nullptr, nullptr, nullptr, 1));
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
  EXPECT_EQ(0, refhost::FatalExitCount());
}

/* ---- refused allocations ---- */

/* The names of the members a builder made, or what it raised; with refusals from the
   Nth allocation on during the build only (reading the names allocates too). */
std::string Built(Machine& m, VMClass* cls, int kind, int which, uint32_t refuse, bool* refused) {
  if (refuse != 0) refhost::FailNthAllocation(refuse);
  uint64_t before = refhost::RefusedCount();
  VMrefArray* array = kind == 0   ? (VMrefArray*)VMClassReflectInfo::GetMethods(m.env, cls, which)
                      : kind == 1 ? (VMrefArray*)VMClassReflectInfo::GetFields(m.env, cls, which)
                                  : (VMrefArray*)VMClassReflectInfo::GetConstructors(m.env, cls, which);
  refhost::FailNthAllocation(0);
  if (refused != nullptr) *refused = refhost::RefusedCount() != before;
  std::string thrown = m.TakeException();
  if (array == nullptr) return thrown.empty() ? "null with nothing pending" : "threw " + thrown;
  if (!thrown.empty()) return "an array with " + thrown + " pending";
  std::string text;
  for (uint32_t i = 0; i < array->GetSize(); i++) {
    VMObject* w = array->Get(i);
    if (w == nullptr) return "a null element";
    if (kind == 2) {
      VMClassArray* types = ((VMJavaLangReflectConstructor*)w)->GetParameterTypes(1);
      text += "<init>/" + std::to_string(types != nullptr ? (int)types->GetSize() : -1) + " ";
    } else {
      VMJavaLangString* name = kind == 0 ? ((VMJavaLangReflectMethod*)w)->GetName(1)
                                         : ((VMJavaLangReflectField*)w)->GetName(1);
      text += m.Text((VMObject*)name) + " ";
      if (kind == 0 && ((VMJavaLangReflectMethod*)w)->GetParameterTypes(1) == nullptr) return "no parameter types";
    }
  }
  return text;
}

/* Loads every class the members of cls name (returns, parameters, exceptions), without
   caching the parameter types: the refusals then meet the builders' own steps, never the
   host opening a class file, whose failure the class keeps for good. */
void LoadMemberTypes(Machine& m, VMLoadableClass* cls) {
  VMMethodArray* lists[2] = {cls->GetMethods(), cls->VMLoadableOrArrayClass::GetMethodTable()};
  for (VMMethodArray* list : lists) {
    for (uint32_t i = 0; list != nullptr && i < list->GetSize(); i++) {
      VMMethod* method = list->Get(i);
      if (method == nullptr) continue;
      ASSERT_NE(nullptr, VMClassReflectInfo::GetReturnType(m.env, method));
      ASSERT_NE(nullptr, VMClassReflectInfo::GetExceptionTypes(m.env, method));
      char* signature = method->GetSignature()->MakeUTF8();
      ASSERT_NE(nullptr, signature);
      std::string text = signature;
      VMLiteral::FreeUTF8(signature);
      for (size_t at = text.find('L'); at != std::string::npos; at = text.find('L', at)) {
        size_t end = text.find(';', at);
        ASSERT_NE(std::string::npos, end) << text;
        ASSERT_NE(nullptr, m.Class(text.substr(at + 1, end - at - 1).c_str())) << text;
        at = end;
      }
      ASSERT_EQ("", m.TakeException());
    }
  }
}

/* Each builder with the Nth allocation refused, for every N until one runs through: it
   either answers the whole list or raises an error (OutOfMemoryError, or
   NoClassDefFoundError for a type whose look-up the refusal failed); and the cached
   types a refused run left behind are whole, so the next run answers the whole list. */
TEST(RefusedAllocationTest, EveryStepOfEveryBuilderFailsCleanly) {
  for (int kind = 0; kind < 3; kind++) {
    for (int which = 0; which < 2; which++) {
      std::string expected;
      for (uint32_t n = 0;; n++) {
        Machine m;
        ASSERT_TRUE(m.Create(1, "reflect"));
        VMClass* cls = (VMClass*)m.Class("reflect/Fixture");
        ASSERT_NE(nullptr, cls);
        LoadMemberTypes(m, (VMLoadableClass*)cls);
        bool refused = false;
        std::string text = Built(m, cls, kind, which, n, &refused);
        if (n == 0) {
          expected = text;
          ASSERT_FALSE(refused);
          ASSERT_EQ(std::string::npos, expected.find("threw")) << expected;
          m.Destroy();
          continue;
        }
        if (refused && text != expected) {
          EXPECT_TRUE(text == "threw java.lang.OutOfMemoryError" || text == "threw java.lang.NoClassDefFoundError")
              << text << " kind " << kind << " which " << which << " n=" << n;
        }
        EXPECT_EQ(expected, Built(m, cls, kind, which, 0, nullptr)) << kind << which << " n=" << n;
        m.Destroy();
        if (!refused) break;
        ASSERT_LT(n, 5000u);
      }
    }
  }
}

/* A class whose superclass's class file the host could not open (it was short of memory)
   fails its preparation with that load's status; it never prepares on a second, lucky
   attempt with the first one's NoClassDefFoundError still pending. */
TEST(RefusedAllocationTest, ASuperclassThatFailedToLoadFailsThePreparation) {
  int failed = 0;
  for (uint32_t n = 1;; n++) {
    Machine m;
    ASSERT_TRUE(m.Create(1, "reflect"));
    VMClass* found = VMClass::FindByName(m.ns, "java/io/CharConversionException", nullptr);
    ASSERT_NE(nullptr, found);
    VMLoadableClass* cls = found->GetLoadableClass();
    ASSERT_FALSE(cls->GetIsPrepared());
    refhost::FailNthAllocation(n);
    uint64_t before = refhost::RefusedCount();
    VMStatus status = cls->Prepare(nullptr);
    refhost::FailNthAllocation(0);
    bool refused = refhost::RefusedCount() != before;
    std::string pending = m.TakeException();
    if (status == 0) {
      EXPECT_EQ("", pending) << "n=" << n;
    } else {
      failed++;
    }
    m.Destroy();
    if (!refused) break;
    ASSERT_LT(n, 5000u);
  }
  EXPECT_GT(failed, 0);
}

/* Method.invoke and Constructor.newInstance with the Nth allocation refused: the result,
   or an exception pending, never a box that is null with nothing pending. */
TEST(RefusedAllocationTest, InvocationFailsCleanly) {
  for (uint32_t n = 1;; n++) {
    Machine m;
    ASSERT_TRUE(m.Create(1, "reflect"));
    VMLoadableClass* fixture = m.Class("reflect/Fixture");
    ASSERT_NE(nullptr, fixture);
    // The wrappers first, without refusals.
    VMJavaLangReflectMethodArray* methods = VMClassReflectInfo::GetMethods(m.env, (VMClass*)fixture, 1);
    ASSERT_NE(nullptr, methods);
    jobject add = nullptr;
    for (uint32_t i = 0; i < methods->GetSize(); i++)
      if (m.Text((VMObject*)methods->Get(i)->GetName(1)) == "add") add = m.Local(methods->Get(i));
    ASSERT_NE(nullptr, add);
    VMword two[2] = {2, 0}, forty[2] = {40, 0};
    VMObjectArray* args = VMObjectArray::CreateInstance(m.vm->GetHeap(), 2, jallocFailFast, VMTag_VMUserArrayInstance);
    ASSERT_NE(nullptr, args);
    args->SetClass((VMClass*)m.ns->GetArrayClassList()->GetVMObjectArrayClass());
    jobject argsRef = m.Local(args);
    args->Set(0, VMJavaLangReflectField::Wrap(m.env, 10, two));
    args->Set(1, VMJavaLangReflectField::Wrap(m.env, 11, forty));
    refhost::FailNthAllocation(n);
    uint64_t before = refhost::RefusedCount();
    jobject result = JVM_InvokeMethod(m.env, add, nullptr, (jobjectArray)argsRef);
    bool refused = refhost::RefusedCount() != before;
    refhost::FailNthAllocation(0);
    std::string thrown = m.TakeException();
    if (result == nullptr) {
      EXPECT_FALSE(thrown.empty()) << n;
    } else {
      EXPECT_EQ("", thrown) << n;
      VMword out[2];
      EXPECT_EQ(10u, VMJavaLangReflectField::UnWrap(VMJniHandle::UnHandle(m.env, result), out)) << n;
      EXPECT_EQ(42u, out[0]) << n;
    }
    m.Destroy();
    if (!refused) break;
    ASSERT_LT(n, 5000u);
  }
}

/* ---- the name space's cache ---- */

/* The parameter types a machine cached stay valid for another machine of the name space
   after the first is gone with its heap: they live on the name space's heap. */
TEST(SharedNameSpaceTest, CachedParameterTypesOutliveTheMachineThatMadeThem) {
  Machine a;
  ASSERT_TRUE(a.Create(1, "reflect"));
  VMLoadableClass* fixture = a.Class("reflect/Fixture");
  ASSERT_NE(nullptr, fixture);
  VMJavaLangReflectMethodArray* first = VMClassReflectInfo::GetMethods(a.env, (VMClass*)fixture, 1);
  ASSERT_NE(nullptr, first);
  std::vector<VMClassArray*> cached;
  for (uint32_t i = 0; i < first->GetSize(); i++) cached.push_back(first->Get(i)->GetParameterTypes(1));

  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.shareNameSpaceOf = a.jvm;
  JavaVM* b = nullptr;
  JNIEnv* envB = nullptr;
  ASSERT_EQ(0, JNI_CreateJavaVM(&b, &envB, &args));
  ASSERT_EQ(a.ns, b->nameSpace);
  VMJavaLangReflectMethodArray* second = VMClassReflectInfo::GetMethods(envB, (VMClass*)fixture, 1);
  ASSERT_NE(nullptr, second);
  ASSERT_EQ(first->GetSize(), second->GetSize());
  for (uint32_t i = 0; i < second->GetSize(); i++) {
    EXPECT_EQ(cached[i], second->Get(i)->GetParameterTypes(1));
    EXPECT_TRUE(((VMObject*)cached[i])->GetIsNameSpaceData());
  }
  // The first machine goes, and its heap with it.
  JNIHostFunctions* host = refhost::Functions();
  EXPECT_EQ(0, b->functions->DetachCurrentThread(b));
  host->AttachThreadEnv(a.jvm, a.env);
  host->SetCurrentEnv(a.env);
  EXPECT_EQ(0, a.jvm->functions->DestroyJavaVM(a.jvm));
  a.jvm = nullptr;
  ASSERT_EQ(0, b->functions->AttachCurrentThread(b, &envB, nullptr));
  // The second machine still reads them, and calls through them.
  VMJavaLangReflectMethodArray* third = VMClassReflectInfo::GetMethods(envB, (VMClass*)fixture, 1);
  ASSERT_NE(nullptr, third);
  std::string names;
  for (uint32_t i = 0; i < third->GetSize(); i++) {
    VMClassArray* types = third->Get(i)->GetParameterTypes(1);
    EXPECT_EQ(cached[i], types);
    if (a.Text((VMObject*)third->Get(i)->GetName(1)) != "setAll") continue;
    for (uint32_t k = 0; types != nullptr && k < types->GetSize(); k++) {
      char* name = types->Get(k)->GetDotNameUTF8();
      names += std::string(name) + ",";
      VMLiteral::FreeUTF8(name);
    }
  }
  EXPECT_EQ("boolean,byte,char,short,int,long,float,double,java.lang.String,", names);
  EXPECT_EQ(0, b->functions->DestroyJavaVM(b));
  refhost::ResetHooks();
}

/* Threads that list a class's methods for the first time at once all get whole lists,
   the types of each method made once and shared. */
TEST(RaceTest, FirstLookUpsOnSeveralThreadsAgree) {
  for (int round = 0; round < 20; round++) {
    Machine m;
    ASSERT_TRUE(m.Create(1, "reflect"));
    VMLoadableClass* fixture = m.Class("reflect/Fixture");
    ASSERT_NE(nullptr, fixture);
    std::atomic<int> ready{0};
    std::vector<std::vector<VMClassArray*>> seen(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++) {
      threads.emplace_back([&, t] {
        JNIEnv* env = nullptr;
        if (m.jvm->functions->AttachCurrentThread(m.jvm, &env, nullptr) != 0) return;
        ready++;
        // A collection started by a thread still attaching waits for this one to stop:
        // the spin touches no object, so it is a safe region.
        WhileOutside([&] {
          while (ready.load() < 4) std::this_thread::yield();
        });
        VMJavaLangReflectMethodArray* methods = VMClassReflectInfo::GetMethods(env, (VMClass*)fixture, 1);
        for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++)
          seen[t].push_back(methods->Get(i)->GetParameterTypes(1));
        m.jvm->functions->DetachCurrentThread(m.jvm);
      });
    }
    // The test's own thread stays attached: its join must not hold up their collections.
    JoinOutside(threads);
    ASSERT_FALSE(seen[0].empty());
    for (int t = 1; t < 4; t++) EXPECT_EQ(seen[0], seen[t]) << "round " << round;
    for (VMClassArray* types : seen[0]) ASSERT_NE(nullptr, types);
    m.Destroy();
  }
}

}  // namespace
