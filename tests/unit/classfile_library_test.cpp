/* The whole class library through the host's class path, from the archive and from the
   directory it was packed from: every class parses, its members are found by name and
   signature, and its constant pool resolves entry by entry. */
#include <gtest/gtest.h>

#include <dirent.h>

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
          // Private methods are called with invokespecial: resolve as that instruction does.
          EXPECT_NE(nullptr, pool->GetConstMethod(cls, i, &status, true)) << name << " #" << i << " " << status;
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

INSTANTIATE_TEST_SUITE_P(FromArchiveAndDirectory, ClassLibraryTest, ::testing::Values("zip", "dir"));

}  // namespace
