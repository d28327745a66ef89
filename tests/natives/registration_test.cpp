/* The registration list and the java.lang tables against the class library: every row
   binds a native method of the same name, descriptor and static-ness or names a method
   the library does not have; every native of these classes is bound after start-up. */
#include <gtest/gtest.h>
#include <string.h>

#include <set>
#include <string>

#include "natives_support.h"
#include "registration.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

VMLiteral* Lit(VMNameSpace* ns, const char* text) { return VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu); }

/* Rows the library keeps in Java on purpose: a Java method of that name must stay Java. */
bool KeptInJava(const std::string& cls, const char* name) {
  if (cls == "java/lang/Class") return strcmp(name, "getSigners") == 0 || strcmp(name, "setSigners") == 0;
  // The console print-stream natives and the single-byte write, which has no console
  // path: this library writes through Java there.
  if (cls == "java/io/PrintStream") return true;
  return cls == "java/io/FileOutputStream" && strcmp(name, "write") == 0;
}

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }
  Machine m;
};

TEST_F(RegistrationTest, TheListNamesEveryClassOnceWithTheJavaLangFunctionsFirst) {
  ASSERT_EQ(50u, VMNativeRegistrationCount);
  std::set<std::string> seen;
  for (uint32_t i = 0; i < VMNativeRegistrationCount; i++) {
    const VMNativeRegistration& row = VMNativeRegistrations[i];
    ASSERT_NE(nullptr, row.className);
    EXPECT_TRUE(seen.insert(row.className).second) << row.className;
    bool javaLang = strncmp(row.className, "java/lang/", 10) == 0 && strchr(row.className + 10, '/') == nullptr;
    EXPECT_EQ(i < 15, javaLang) << row.className;
    if (javaLang) {
      EXPECT_NE(nullptr, row.registerNatives) << row.className;
    }
  }
  EXPECT_STREQ("java/lang/Class", VMNativeRegistrations[0].className);
  EXPECT_STREQ("corvane_vm_internal_jnitest", VMNativeRegistrations[49].className);
}

TEST_F(RegistrationTest, RegisteringAgainKeepsOneRecordWithTheSameTable) {
  const struct {
    const char* cls;
    uint32_t rows;
  } tables[] = {{"java/lang/Class", 30}, {"java/lang/ClassLoader", 7}, {"java/lang/ClassLoader$NativeLibrary", 3},
                {"java/lang/Package", 2}, {"java/lang/Double", 3},     {"java/lang/Float", 2},
                {"java/lang/Math", 15},  {"java/lang/Object", 7},      {"java/lang/Runtime", 13},
                {"java/lang/SecurityManager", 7}, {"java/lang/String", 1}, {"java/lang/System", 10},
                {"java/lang/Throwable", 2}, {"java/lang/Thread", 14}, {"java/lang/ThreadGroup", 5}};
  VMNativeClassInfo* before[15];
  for (int i = 0; i < 15; i++) {
    before[i] = VMNativeClassInfo::Find(Lit(m.ns, tables[i].cls));
    ASSERT_NE(nullptr, before[i]) << tables[i].cls;
    EXPECT_EQ(tables[i].rows, before[i]->GetCount()) << tables[i].cls;
  }
  const JNINativeMethod* table = before[6]->GetMethods();
  VMRegisterClassLibraryNatives();
  for (int i = 0; i < 15; i++) {
    VMNativeClassInfo* after = VMNativeClassInfo::Find(Lit(m.ns, tables[i].cls));
    EXPECT_EQ(before[i], after) << tables[i].cls;
    EXPECT_EQ(tables[i].rows, after->GetCount());
  }
  EXPECT_EQ(table, before[6]->GetMethods());
  // The Java registerNatives() of the four classes that have one does the same.
  for (const char* cls : {"java/lang/Class", "java/lang/Object", "java/lang/System", "java/lang/Thread"}) {
    typedef void(JNICALL * Register)(JNIEnv*, jclass);
    Register again = (Register)m.Native(cls, "registerNatives", "()V");
    ASSERT_NE(nullptr, again) << cls;
    VMNativeClassInfo* before = VMNativeClassInfo::Find(Lit(m.ns, cls));
    uint32_t rows = before->GetCount();
    again(m.env, nullptr);
    EXPECT_EQ(before, VMNativeClassInfo::Find(Lit(m.ns, cls)));
    EXPECT_EQ(rows, before->GetCount());
  }
}

TEST_F(RegistrationTest, EveryRowMatchesTheLibraryAndEveryNativeIsBound) {
  uint32_t bound = 0;
  for (uint32_t i = 0; i < VMNativeRegistrationCount; i++) {
    const VMNativeRegistration& reg = VMNativeRegistrations[i];
    if (reg.registerNatives == nullptr) continue;
    VMNativeClassInfo* info = VMNativeClassInfo::Find(Lit(m.ns, reg.className));
    ASSERT_NE(nullptr, info) << reg.className;
    // A class the library does not have (ClassLoader$NativeLibrary, Package) has
    // nothing to bind.
    VMLoadableClass* cls = m.Class(reg.className);
    m.TakeException();
    if (cls == nullptr) continue;
    std::set<VMMethod*> rowed;
    for (uint32_t r = 0; r < info->GetCount(); r++) {
      const JNINativeMethod& row = info->GetMethods()[r];
      VMMethod* method = cls->FindMethod(Lit(m.ns, row.name), Lit(m.ns, row.signature), false);
      if (method == nullptr) continue;
      rowed.insert(method);
      if (KeptInJava(reg.className, row.name)) {
        EXPECT_FALSE(method->GetIsNative()) << reg.className << "." << row.name;
        continue;
      }
      EXPECT_TRUE(method->GetIsNative()) << reg.className << "." << row.name << row.signature;
      EXPECT_EQ(row.fnPtr, method->GetNativeAddress()) << reg.className << "." << row.name;
      bound++;
    }
    VMMethodArray* methods = cls->GetMethods();
    for (uint32_t k = 0; methods != nullptr && k < methods->GetSize(); k++) {
      VMMethod* method = methods->Get(k);
      if (method == nullptr || !method->GetIsNative()) continue;
      char* name = method->GetName()->MakeUTF8();
      EXPECT_TRUE(rowed.count(method) == 1) << reg.className << "." << name << " has no row";
      VMLiteral::FreeUTF8(name);
    }
  }
  EXPECT_GE(bound, 85u);
}

}  // namespace
