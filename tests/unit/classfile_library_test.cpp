/* The whole class library through the host's class path, from the archive and from the
   directory it was packed from: every class parses, its members are found by name and
   signature, and its constant pool resolves entry by entry. */
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>

#include <string>
#include <vector>

#include "classfile_support.h"
#include "classfile_world.h"

namespace {

using namespace classfile_test;

/* The class names under a directory of class files. */
void ListClasses(const std::string& root, const std::string& prefix, std::vector<std::string>& out) {
  DIR* d = opendir((root + "/" + prefix).c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    std::string rel = prefix.empty() ? n : prefix + "/" + n;
    if (n.size() > 6 && n.compare(n.size() - 6, 6, ".class") == 0)
      out.push_back(rel.substr(0, rel.size() - 6));
    else
      ListClasses(root, rel, out);
  }
  closedir(d);
}

class ClassLibraryTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    classes = std::string(PUX_BUILD_DIR) + "/classlib/classes";
    ListClasses(classes, "", names);
    std::string path = std::string(GetParam()) == "zip" ? std::string(PUX_BUILD_DIR) + "/classlib.zip"
                                                        : classes;
    ASSERT_TRUE(world.Create(path));
  }
  void TearDown() override {
    world.Destroy();
    refhost::SetClassPath(nullptr, "");
  }
  ClassWorld world;
  std::string classes;
  std::vector<std::string> names;
};

TEST_P(ClassLibraryTest, EveryClassLoadsAndFindsItsMembers) {
  ASSERT_GT(names.size(), 100u);
  for (const std::string& name : names) {
    VMLoadableClass* cls = world.Shell(name.c_str());
    ASSERT_NE(nullptr, cls) << name;
    ASSERT_EQ(0, cls->Load()) << name;
    ASSERT_TRUE(cls->GetIsLoaded()) << name;
    ASSERT_NE(nullptr, cls->GetConstantPool()) << name;
    if (name != "java/lang/Object") {
      EXPECT_NE(nullptr, cls->GetSuper()) << name;
    }
    VMMethodArray* methods = cls->GetMethods();
    ASSERT_NE(nullptr, methods) << name;
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      VMMethod* m = methods->Get(i);
      ASSERT_NE(nullptr, m) << name;
      EXPECT_EQ(m, cls->FindMethod(m->GetName(), m->GetSignature(), false)) << name;
      if (!m->GetIsNative() && !m->GetIsAbstract()) {
        EXPECT_NE(nullptr, m->GetCode()) << name;
      }
    }
    VMDataMemberArray* fields = cls->GetDataMembers();
    ASSERT_NE(nullptr, fields) << name;
    for (uint32_t i = 0; i < fields->GetSize(); i++) {
      VMDataMember* f = fields->Get(i);
      EXPECT_EQ(f, cls->FindField(f->GetName(), f->GetSignature(), false, nullptr)) << name;
    }
  }
}

TEST_P(ClassLibraryTest, EveryConstantPoolResolvesEntryByEntry) {
  for (const std::string& name : names) {
    VMLoadableClass* cls = world.Shell(name.c_str());
    ASSERT_EQ(0, cls->Load()) << name;
  }
  uint32_t members = 0;
  for (const std::string& name : names) {
    VMLoadableClass* cls = world.Shell(name.c_str());
    VMConstantPool* pool = cls->GetConstantPool();
    for (uint32_t i = 1; i < pool->GetCount(); i++) {
      VMStatus status = 0;
      switch (pool->GetConstType(i)) {
        case VMConstantPool::TYPE_Utf8:
        case VMConstantPool::TYPE_Utf8_Resolved:
          EXPECT_NE(nullptr, pool->GetConstUtf8(cls, i)) << name << " #" << i;
          break;
        case VMConstantPool::TYPE_String:
        case VMConstantPool::TYPE_String_Resolved: {
          VMJavaLangString* s = pool->GetConstString(cls, i);
          EXPECT_NE(nullptr, s) << name << " #" << i;
          EXPECT_EQ(s, pool->GetConstString(cls, i)) << name << " #" << i;
          break;
        }
        case VMConstantPool::TYPE_Class:
        case VMConstantPool::TYPE_Class_Resolved:
          EXPECT_NE(nullptr, pool->GetConstClass(i, &status, false)) << name << " #" << i;
          EXPECT_NE(nullptr, pool->GetConstClassName(i)) << name << " #" << i;
          break;
        case VMConstantPool::TYPE_FieldRef:
          EXPECT_NE(nullptr, pool->GetConstField(cls, i, &status)) << name << " #" << i << " " << status;
          EXPECT_EQ(VMConstantPool::TYPE_FieldRef_Resolved, pool->GetConstType(i));
          members++;
          break;
        case VMConstantPool::TYPE_MethodRef:
          // Without invokespecial's flag: it grants nothing beyond the constructor rule,
          // and the library's private methods are called from their own classes.
          EXPECT_NE(nullptr, pool->GetConstMethod(cls, i, &status, false)) << name << " #" << i << " " << status;
          members++;
          break;
        case VMConstantPool::TYPE_InterfaceMethodRef:
          EXPECT_NE(nullptr, pool->GetConstInterfaceMethod(i, &status)) << name << " #" << i << " " << status;
          members++;
          break;
        default:
          break;
      }
    }
  }
  EXPECT_GT(members, 1000u) << "the library's pools name members by the thousand";
}

TEST_P(ClassLibraryTest, EveryClassHasItsLineNumbers) {
  // The library is compiled with line numbers: each method with code gets its table on
  // first demand, read back from the class's source.
  for (const std::string& name : names) {
    VMLoadableClass* cls = world.Shell(name.c_str());
    ASSERT_EQ(0, cls->Load()) << name;
    ASSERT_EQ(0, world.loader->LoadDebugInfo(cls)) << name;
    ASSERT_TRUE(cls->GetHaveDebugInfo()) << name;
    VMMethodArray* methods = cls->GetMethods();
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      VMMethod* m = methods->Get(i);
      if (m->GetCode() == nullptr) continue;
      VMshortArray* lines = cls->GetLineNumberArray()->Get(i);
      ASSERT_NE(nullptr, lines) << name << " method " << i;
      ASSERT_GE(lines->GetSize(), 2u) << name;
      for (uint32_t k = 0; k < lines->GetSize(); k += 2)
        EXPECT_LT((uint16_t)lines->Get(k), m->GetCode()->GetSize()) << name;
    }
  }
}

/* Six threads load, link, resolve and read the line tables of the whole library at once,
   each in its own order, in a fresh name space each round: every step must succeed as it
   does for one thread. */
TEST_P(ClassLibraryTest, SixThreadsUseTheLibraryAtOnce) {
  const int kThreads = 6, kRounds = 12;
  world.Destroy();
  for (int round = 0; round < kRounds; round++) {
    std::string path = std::string(GetParam()) == "zip" ? std::string(PUX_BUILD_DIR) + "/classlib.zip" : classes;
    ClassWorld w;
    ASSERT_TRUE(w.Create(path));
    std::atomic<int> ready{0};
    std::vector<std::string> failures(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; k++) {
      threads.emplace_back([&, k] {
        std::vector<std::string> order = names;
        std::shuffle(order.begin(), order.end(), std::mt19937(round * 100 + k));
        ready++;
        while (ready.load() < kThreads) {
        }
        for (const std::string& name : order) {
          if (!failures[k].empty()) return;
          VMLoadableClass* cls = w.Shell(name.c_str());
          VMStatus status = cls != nullptr ? cls->Prepare(nullptr) : -1;
          if (status != 0) {
            failures[k] = "prepare " + name + ": " + std::to_string(status);
            continue;
          }
          VMConstantPool* pool = cls->GetConstantPool();
          for (uint32_t i = 1; i < pool->GetCount() && failures[k].empty(); i++) {
            const void* got = cls;
            switch (pool->GetConstType(i)) {
              case 1: case -1: got = pool->GetConstUtf8(cls, i); break;
              case 8: case -8: got = pool->GetConstString(cls, i); break;
              case 7: case -7: got = pool->GetConstClass(i, &status, false); break;
              case 9: case -9: got = pool->GetConstField(cls, i, &status); break;
              case 10: case -10: got = pool->GetConstMethod(cls, i, &status, false); break;
              case 11: case -11: got = pool->GetConstInterfaceMethod(i, &status); break;
              default: break;
            }
            if (got == nullptr) failures[k] = name + " #" + std::to_string(i) + ": status " + std::to_string(status);
          }
          VMMethodArray* methods = cls->GetMethods();
          for (uint32_t m = 0; m < methods->GetSize() && failures[k].empty(); m++) {
            methods->Get(m)->GetLineNumbers(&status);
            if (status != 0) failures[k] = "line numbers of " + name + ": " + std::to_string(status);
          }
        }
      });
    }
    for (std::thread& t : threads) t.join();
    for (int k = 0; k < kThreads; k++) EXPECT_EQ("", failures[k]) << "round " << round << " thread " << k;
    w.Destroy();
  }
  ASSERT_TRUE(world.Create(classes));
}

INSTANTIATE_TEST_SUITE_P(FromArchiveAndDirectory, ClassLibraryTest, ::testing::Values("zip", "dir"));

}  // namespace
