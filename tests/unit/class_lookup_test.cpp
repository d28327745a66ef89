/* Finding classes by name, dotted name and signature; array classes; loaders. */
#include "class_support.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "refhost.h"
#include "vmliteral.h"

namespace class_test {
namespace {

using LookupTest = ClassTest;

TEST_F(LookupTest, UnknownNameYieldsOneUnloadedShell) {
  VMClass* shell = Find("never/Loaded");
  ASSERT_NE(nullptr, shell);
  EXPECT_TRUE(shell->GetIsLoadable());
  EXPECT_FALSE(((VMLoadableClass*)shell)->GetIsLoaded());
  EXPECT_EQ(systemLoader, shell->GetClassLoader());
  EXPECT_EQ(Lit("never/Loaded"), shell->GetName());
  EXPECT_EQ(Lit("never/Loaded")->GetHash(), shell->GetHash());
  EXPECT_EQ(ListEntry(2), shell->VMObject::GetClass());  // its header names java/lang/Class
  EXPECT_EQ(shell, Find("never/Loaded"));
  EXPECT_EQ(shell, VMClass::FindSystemClass(ns, Lit("never/Loaded")));
}

TEST_F(LookupTest, NestedArrayNamesBuildTheirElementClasses) {
  VMClass* outer = Find("[[I");
  ASSERT_NE(nullptr, outer);
  ASSERT_TRUE(outer->GetIsArray());
  VMClass* inner = ((VMArrayClass*)outer)->GetElementClass();
  ASSERT_NE(nullptr, inner);
  EXPECT_EQ(Lit("[I"), inner->GetName());
  EXPECT_EQ(inner, Find("[I"));
  EXPECT_EQ(ListEntry(10), ((VMArrayClass*)inner)->GetElementClass());  // int
  EXPECT_EQ(systemLoader, outer->GetClassLoader());
  EXPECT_EQ(systemLoader, inner->GetClassLoader());
  EXPECT_EQ(objectClass, outer->GetSuper());

  VMClass* strings = Find("[Ljava/lang/String;");
  ASSERT_NE(nullptr, strings);
  EXPECT_EQ(Find("java/lang/String"), ((VMArrayClass*)strings)->GetElementClass());
}

TEST_F(LookupTest, MalformedArrayNamesMakeNoClass) {
  uint32_t before = ClassCount(systemLoader);
  for (const char* bad : {"[V", "[[V", "[", "[)", "[L;", "[Lx", "[Q", "[II", "[Lx;I", ""}) {
    EXPECT_EQ(nullptr, Find(bad)) << bad;
  }
  EXPECT_EQ(before, ClassCount(systemLoader));
}

TEST_F(LookupTest, SignaturesNamePrimitivesClassesAndArrays) {
  EXPECT_EQ(ListEntry(10), Sig("I"));
  EXPECT_EQ(ListEntry(5), Sig("V"));
  EXPECT_EQ(ListEntry(11), Sig("J"));
  EXPECT_EQ(Find("java/lang/String"), Sig("Ljava/lang/String;"));
  EXPECT_EQ(Find("[[Lx/Y;"), Sig("[[Lx/Y;"));
  for (const char* bad : {"Q", "", "[V", "L;", "Lx", "II", "Lx;I", "[", ")"}) {
    EXPECT_EQ(nullptr, Sig(bad)) << bad;
  }
  // The iterator form reads one type and leaves the rest.
  VMLiteralIterator it(Lit("JLa/B;[Z"));
  EXPECT_EQ(ListEntry(11), VMClass::FindBySignature(ns, it, nullptr));
  EXPECT_EQ(Find("a/B"), VMClass::FindBySignature(ns, it, nullptr));
  EXPECT_EQ(Find("[Z"), VMClass::FindBySignature(ns, it, nullptr));
  EXPECT_EQ(nullptr, VMClass::FindBySignature(ns, it, nullptr));
}

TEST_F(LookupTest, MakeArrayOfIsCachedAndNamedByKind) {
  VMClass* intClass = ListEntry(10);
  VMArrayClass* ints = intClass->MakeArrayOf();
  ASSERT_NE(nullptr, ints);
  EXPECT_EQ(Find("[I"), ints);
  EXPECT_EQ(ints, intClass->MakeArrayOf());
  EXPECT_EQ(Find("[[I"), ints->MakeArrayOf());
  VMClass* object = objectClass;
  EXPECT_EQ(Find("[Ljava/lang/Object;"), object->MakeArrayOf());
  EXPECT_EQ(nullptr, ListEntry(5)->MakeArrayOf());  // void has no arrays
}

TEST_F(LookupTest, ArrayClassMadeBeforeObjectIsPreparedGetsObjectsMethods) {
  VMArrayClass* early = (VMArrayClass*)Find("[Learly/Bird;");
  ASSERT_NE(nullptr, early);
  EXPECT_EQ(nullptr, early->GetMethodTable());
  VMMethodArray* table = VMMethodArray::CreateInstance(nsHeap, 3, jallocFailFast, 0x6326FECAu);
  ASSERT_NE(nullptr, table);
  objectClass->SetMethodTable(table);
  EXPECT_EQ(table, early->GetMethodTable());
  EXPECT_EQ(table, ((VMArrayClass*)Find("[Llate/Bird;"))->GetMethodTable());
}

TEST_F(LookupTest, WithoutAnEnvTheSystemLoaderIsUsed) {
  DropEnv();
  VMClass* cls = Find("no/Env");
  ASSERT_NE(nullptr, cls);
  EXPECT_EQ(systemLoader, cls->GetClassLoader());
  EXPECT_EQ(cls, Find("no/Env", systemLoader));
}

TEST_F(LookupTest, SecondLoaderSeesSystemClassesFirst) {
  VMClassLoader* other = MakeLoader((void*)7);
  ASSERT_NE(nullptr, other);
  EXPECT_EQ(objectClass, Find("java/lang/Object", other));
  VMClass* own = Find("app/Main", other);
  ASSERT_NE(nullptr, own);
  EXPECT_EQ(other, own->GetClassLoader());
  EXPECT_NE(own, Find("app/Main"));  // the system loader has its own

  refhost::SetSystemClassPrefixes({"sys/"});
  VMClass* shared = Find("sys/Util", other);
  ASSERT_NE(nullptr, shared);
  EXPECT_EQ(systemLoader, shared->GetClassLoader());
  EXPECT_EQ(shared, Find("sys/Util"));

  // An array's loader is its element's.
  VMClass* array = Find("[Lapp/Main;", other);
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(other, array->GetClassLoader());
  EXPECT_EQ(systemLoader, Find("[I", other)->GetClassLoader());
  refhost::SetSystemClassPrefixes({});
}

TEST_F(LookupTest, TheEnvsLoaderIdStandsForANullLoaderOnly) {
  VMClassLoader* other = MakeLoader((void*)9);
  ASSERT_NE(nullptr, other);
  SetEnvLoaderId((void*)9);
  VMClass* cls = Find("env/Chosen");
  ASSERT_NE(nullptr, cls);
  EXPECT_EQ(other, cls->GetClassLoader());
  EXPECT_EQ(cls, Find("env/Chosen", other));
  // The system loader named as such is the system loader whatever the thread's loader
  // id: a system class's references never land in a session's loader.
  VMClass* own = Find("env/Chosen", systemLoader);
  ASSERT_NE(nullptr, own);
  EXPECT_NE(cls, own);
  EXPECT_EQ(systemLoader, own->GetClassLoader());
  SetEnvLoaderId(nullptr);
  EXPECT_EQ(own, Find("env/Chosen"));
}

TEST_F(LookupTest, ThreadsMissingOneNameEndWithOneDescriptor) {
  const int kThreads = 6;
  const int kNames = 600;
  std::vector<VMLiteral*> literals;
  for (int i = 0; i < kNames; i++) {
    std::string name = "race/C" + std::to_string(i);
    literals.push_back(Lit((i % 5 == 0 ? "[L" + name + ";" : name).c_str()));
  }
  uint32_t before = ClassCount(systemLoader);
  std::vector<std::vector<VMClass*>> seen(kThreads, std::vector<VMClass*>(kNames));
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      ready++;
      while (ready.load() < kThreads) {
      }
      for (int i = 0; i < kNames; i++) seen[t][i] = VMClass::FindByName(ns, literals[i], nullptr);
    });
  }
  for (std::thread& th : threads) th.join();
  for (int i = 0; i < kNames; i++) {
    ASSERT_NE(nullptr, seen[0][i]);
    for (int t = 1; t < kThreads; t++) EXPECT_EQ(seen[0][i], seen[t][i]) << i;
  }
  // One descriptor per name; an array name also made its element's.
  EXPECT_EQ(before + kNames + kNames / 5, ClassCount(systemLoader));
}

TEST_F(LookupTest, NamesPackagesAndIdentity) {
  EXPECT_TRUE(VMClass::ValidName(Lit("a/B")));
  EXPECT_TRUE(VMClass::ValidName(Lit("[[I")));
  EXPECT_FALSE(VMClass::ValidName(Lit("")));
  EXPECT_FALSE(VMClass::ValidName(Lit("[")));
  EXPECT_FALSE(VMClass::ValidName(Lit("[)")));
  EXPECT_FALSE(VMClass::ValidName(Lit("[V")));

  EXPECT_EQ(Lit("java.lang.Object"), objectClass->GetDotName());
  EXPECT_EQ(objectClass, VMClass::FindByDotName(host->GetCurrentEnv(), Lit("java.lang.Object"), nullptr));
  EXPECT_EQ(Find("Top"), VMClass::FindByDotName(host->GetCurrentEnv(), Lit("Top"), nullptr));
  EXPECT_EQ(Lit("java/lang"), objectClass->GetPackage());
  EXPECT_EQ(Lit(""), ((VMLoadableClass*)Find("Top"))->GetPackage());

  EXPECT_EQ(VMClass::IdInteger, Find("java/lang/Integer")->Identify());
  EXPECT_EQ(VMClass::IdBoolean, Find("java/lang/Boolean")->Identify());
  EXPECT_EQ(VMClass::IdOther, objectClass->Identify());
  EXPECT_EQ(VMClass::IdPrimitive, ListEntry(10)->Identify());
  EXPECT_EQ(VMClass::IdArray, Find("[I")->Identify());
}

TEST_F(LookupTest, ModifiersOfArraysComeFromTheInnermostElement) {
  VMLoadableClass* hidden = Define("p/Hidden", objectClass, {}, false);
  hidden->SetIsFinal();
  EXPECT_EQ(0x10, hidden->GetFlags());
  EXPECT_EQ(0x10 | 0x400, Find("[[Lp/Hidden;")->GetFlags());
  objectClass->SetIsPublic();
  EXPECT_EQ(0x1 | 0x10 | 0x400, Find("[Ljava/lang/Object;")->GetFlags());
  EXPECT_EQ(0x1 | 0x10 | 0x400, Find("[[J")->GetFlags());
  cloneable->SetIsPublic();
  EXPECT_EQ(0x1 | 0x200, cloneable->GetFlags());
}

TEST_F(LookupTest, FailedAllocationsLeaveNoHalfMadeClass) {
  uint32_t before = ClassCount(systemLoader);
  for (uint32_t n = 1; n <= 12; n++) {
    std::string name = "oom/A" + std::to_string(n);
    std::string array = "[[Loom/B" + std::to_string(n) + ";";
    refhost::FailNthAllocation(n);
    VMClass* a = Find(name.c_str());
    VMClass* b = Find(array.c_str());
    refhost::ResetHooks();
    // Whatever failed, a second look-up finds or makes exactly one class per name.
    EXPECT_NE(nullptr, Find(name.c_str()));
    EXPECT_NE(nullptr, Find(array.c_str()));
    if (a != nullptr) {
      EXPECT_EQ(a, Find(name.c_str()));
    }
    if (b != nullptr) {
      EXPECT_EQ(b, Find(array.c_str()));
    }
  }
  // Each round makes oom/A, oom/B and two array classes of it.
  EXPECT_EQ(before + 12 * 4, ClassCount(systemLoader));
}

}  // namespace
}  // namespace class_test

namespace class_test {
namespace {

TEST_F(LookupTest, ClassedArraysTakeTheirClassFromTheArrayClassList) {
  VMClass* classArray = Find("[Ljava/lang/Class;");
  ASSERT_NE(nullptr, classArray);
  EXPECT_EQ(nullptr, VMClassArray::CreateInstance(nsHeap, 2, objectClass, jallocFailFast, VMTag_VMClassArray));
  ns->GetArrayClassList()->SetReference(VMArrayClassList::VMClassArrayClassWord, classArray);
  VMClassArray* array = VMClassArray::CreateInstance(nsHeap, 2, objectClass, jallocFailFast, VMTag_VMClassArray);
  ASSERT_NE(nullptr, array);
  EXPECT_EQ(classArray, array->VMObject::GetClass());
  EXPECT_EQ(2u, array->GetSize());
  array->VMObject::Destroy(nsHeap);
}

}  // namespace
}  // namespace class_test

namespace class_test {
namespace {

TEST_F(LookupTest, ArrayNamesAreClassesExactlyWhenTheyAreValidSignatures) {
  // Short texts over the signature alphabet, in a fixed pseudo-random order.
  const char alphabet[] = "[[[LIJVZ;)a/";
  uint32_t seed = 12345;
  for (int round = 0; round < 400; round++) {
    std::string text = "[";
    seed = seed * 1103515245u + 12345u;
    uint32_t length = (seed >> 16) % 6;
    for (uint32_t i = 0; i < length; i++) {
      seed = seed * 1103515245u + 12345u;
      text += alphabet[(seed >> 16) % (sizeof alphabet - 1)];
    }
    VMLiteral* name = Lit(text.c_str());
    ASSERT_NE(nullptr, name);
    uint32_t before = ClassCount(systemLoader);
    VMClass* cls = VMClass::FindByName(ns, name, nullptr);
    bool valid = VMMember::ValidSignature(name);
    EXPECT_EQ(valid, cls != nullptr) << text;
    EXPECT_EQ(valid, VMClass::ValidName(name)) << text;
    if (cls == nullptr) {
      EXPECT_EQ(before, ClassCount(systemLoader)) << text;
    } else {
      EXPECT_TRUE(cls->GetIsArray()) << text;
      EXPECT_EQ(name, cls->GetName()) << text;
      EXPECT_EQ(cls, Sig(text.c_str())) << text;
    }
  }
}

}  // namespace
}  // namespace class_test
