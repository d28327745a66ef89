/* Process-wide registrations of native tables and precompiled classes, and how a class
   takes a registered table. */
#include "class_support.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "refhost.h"
#include "vmhandlearray.h"
#include "vmliteral.h"

namespace class_test {
namespace {

using RecordsTest = ClassTest;

void HOSTCALL NativeA() {}
void HOSTCALL NativeB() {}
void HOSTCALL NativeC() {}

/* Registrations outlive a test (the process state keeps the pointers), so the tables
   are static. */
JNINativeMethod firstTable[] = {{(char*)"ping", (char*)"()V", (void*)NativeA}};
JNINativeMethod secondTable[] = {{(char*)"ping", (char*)"()V", (void*)NativeB},
                                 {(char*)"pong", (char*)"(I)I", (void*)NativeC}};
JNINativeMethod partialTable[] = {{(char*)"ping", (char*)"()V", (void*)NativeC},
                                  {(char*)"missing", (char*)"()V", (void*)NativeA}};

uint32_t RecordsNamed(VMObjectHashTable* table, const char* name, int nameWord) {
  uint32_t n = 0;
  for (uint32_t i = 0; i < table->GetFilled(); i++) {
    VMObject* e = table->Get(i);
    if (e != nullptr && strcmp((const char*)e->GetWord(nameWord), name) == 0) n++;
  }
  return n;
}

TEST_F(RecordsTest, InitMakesBothProcessTables) {
  ASSERT_NE(nullptr, VMUtils::GetNativeClasses());
  ASSERT_NE(nullptr, VMUtils::GetCompiledClasses());
  EXPECT_EQ(VMNativeClassInfoHashTable::Tag, VMUtils::GetNativeClasses()->GetTag());
  EXPECT_EQ(VMCompiledClassInfoHashTable::Tag, VMUtils::GetCompiledClasses()->GetTag());
}

TEST_F(RecordsTest, RegisteringANameTwiceKeepsOneRecordWithTheSecondTable) {
  EXPECT_EQ(0, JNI_RegisterNative("rec/Twice", firstTable, 1));
  EXPECT_EQ(0, JNI_RegisterNative("rec/Twice", secondTable, 2));
  EXPECT_EQ(1u, RecordsNamed(VMUtils::GetNativeClasses(), "rec/Twice", VMNativeClassInfo::NameWord));
  VMNativeClassInfo* info = VMNativeClassInfo::Find(Lit("rec/Twice"));
  ASSERT_NE(nullptr, info);
  EXPECT_EQ(secondTable, info->GetMethods());
  EXPECT_EQ(2u, info->GetCount());
  EXPECT_EQ(VMLiteral::HashUTF8("rec/Twice", 9), info->GetHash());
  EXPECT_EQ(nullptr, VMNativeClassInfo::Find(Lit("rec/Other")));
}

TEST_F(RecordsTest, PreparedClassTakesTheRegisteredTable) {
  VMLoadableClass* cls = Define("rec/Bound", objectClass, {}, false);
  VMStatus status;
  VMMethod* ping = VMMethod::CreateInstance(nsHeap, Lit("ping"), Lit("()V"), 0x100, cls, &status);
  VMMethod* pong = VMMethod::CreateInstance(nsHeap, Lit("pong"), Lit("(I)I"), 0x108, cls, &status);
  ASSERT_NE(nullptr, ping);
  ASSERT_NE(nullptr, pong);
  VMMethodArray* methods = VMMethodArray::CreateInstance(nsHeap, 2, jallocFailFast, 0x6D5BFECAu);
  methods->Set(0, ping);
  methods->Set(1, pong);
  cls->SetMethods(methods);

  JNI_RegisterNative("rec/Bound", secondTable, 2);
  cls->RegisterNativeMethods();
  EXPECT_EQ((void*)NativeB, ping->GetNativeAddress());
  EXPECT_EQ((void*)NativeC, pong->GetNativeAddress());

  // An entry naming no method of the class is reported; the others are still bound.
  EXPECT_EQ(VMStatus_NoSuchMethodError, cls->RegisterNatives(partialTable, 2));
  EXPECT_EQ((void*)NativeC, ping->GetNativeAddress());

  // A registration after preparation reaches the class through the static form.
  JNI_RegisterNative("rec/Bound", firstTable, 1);
  VMLoadableClass::RegisterNativeMethods(ns, "rec/Bound");
  EXPECT_EQ((void*)NativeC, ping->GetNativeAddress());  // not prepared: left alone
  cls->SetIsPrepared();
  VMLoadableClass::RegisterNativeMethods(ns, "rec/Bound");
  EXPECT_EQ((void*)NativeA, ping->GetNativeAddress());
}

/* A registration that arrives while another thread holds the class's monitor (as a
   preparation does) waits for it before it binds anything. */
TEST_F(RecordsTest, ALateRegistrationWaitsForTheClassMonitor) {
  VMLoadableClass* cls = Define("rec/Held", objectClass, {}, false);
  VMStatus status;
  VMMethod* ping = VMMethod::CreateInstance(nsHeap, Lit("ping"), Lit("()V"), 0x100, cls, &status);
  ASSERT_NE(nullptr, ping);
  VMMethodArray* methods = VMMethodArray::CreateInstance(nsHeap, 1, jallocFailFast, 0x6D5BFECAu);
  methods->Set(0, ping);
  cls->SetMethods(methods);
  cls->SetIsPrepared();
  JNI_RegisterNative("rec/Held", firstTable, 1);
  std::atomic<int> stage{0};
  std::thread holder([&] {
    ASSERT_EQ(0, cls->MonitorEnter(ns));
    stage = 1;
    while (stage < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    // Still nothing bound while the monitor is held.
    EXPECT_EQ(nullptr, ping->GetNativeAddress());
    cls->MonitorExit(ns);
  });
  while (stage < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::thread late([&] { VMLoadableClass::RegisterNativeMethods(ns, "rec/Held"); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stage = 2;
  holder.join();
  late.join();
  EXPECT_EQ((void*)NativeA, ping->GetNativeAddress());
}

const char* compiledNames[] = {"rec/Compiled", "java/lang/Object", nullptr};
const char* noNames[] = {"rec/Compiled2", nullptr};
const uint32_t emptyRefs[] = {1u};  // class index 1 is not below the one name: no entries
const uint32_t someRefs[] = {1u << 16 | 0u, 2u};
const char* noStrings[] = {nullptr};
void* code[] = {nullptr, (void*)NativeA};
MCConstPoolClassDefinition definitions[] = {
    {compiledNames, someRefs, noStrings, code},
    {noNames, emptyRefs, noStrings, code},
    {nullptr, nullptr, nullptr, nullptr},
};

TEST_F(RecordsTest, CompiledDefinitionsAreRecordedByTheirFirstClassName) {
  uint32_t before = VMUtils::GetCompiledClasses()->GetFilled();
  EXPECT_EQ(0, JNI_RegisterCompiled(nullptr, definitions));
  EXPECT_EQ(before + 2, VMUtils::GetCompiledClasses()->GetFilled());
  VMCompiledClassInfo* info = VMCompiledClassInfo::Find(Lit("rec/Compiled"));
  ASSERT_NE(nullptr, info);
  EXPECT_EQ(&definitions[0], info->GetTable());
  VMCompiledClassInfo* empty = VMCompiledClassInfo::Find(Lit("rec/Compiled2"));
  ASSERT_NE(nullptr, empty);
  EXPECT_EQ(&definitions[1], empty->GetTable());
  EXPECT_EQ(nullptr, VMCompiledClassInfo::Find(Lit("java/lang/Object")));
}

TEST_F(RecordsTest, CompiledDefinitionBindsOnlyTheMethodsWithCode) {
  JNI_RegisterCompiled(nullptr, definitions);
  VMLoadableClass* cls = Define("rec/Compiled", objectClass, {}, false);
  VMStatus status;
  VMMethod* interpreted = VMMethod::CreateInstance(nsHeap, Lit("a"), Lit("()V"), 0, cls, &status);
  VMMethod* compiled = VMMethod::CreateInstance(nsHeap, Lit("b"), Lit("(I)I"), 0, cls, &status);
  ASSERT_NE(nullptr, interpreted);
  ASSERT_NE(nullptr, compiled);
  VMMethodArray* methods = VMMethodArray::CreateInstance(nsHeap, 2, jallocFailFast, 0x6D5BFECAu);
  methods->Set(0, interpreted);
  methods->Set(1, compiled);
  cls->SetMethods(methods);

  // Before the name space has started nothing precompiled is bound.
  cls->RegisterNativeMethods();
  EXPECT_EQ(nullptr, cls->GetCompiledConstantPool());
  ns->SetScalar(VMNameSpace::FlagsWord, VMNameSpace::IsInitializedFlag);
  cls->RegisterNativeMethods();
  EXPECT_FALSE(interpreted->GetIsCompiled());
  EXPECT_TRUE(interpreted->GetIsByteCode());
  EXPECT_TRUE(compiled->GetIsCompiled());
  EXPECT_FALSE(compiled->GetIsByteCode());
  EXPECT_EQ((void*)NativeA, compiled->GetCompiledAddress());
  VMObjectArray* pool = cls->GetCompiledConstantPool();
  ASSERT_NE(nullptr, pool);
  ASSERT_EQ(3u, pool->GetSize());  // two classes, one method reference, no strings
  EXPECT_EQ((VMObject*)cls, pool->Get(0));
  EXPECT_EQ((VMObject*)objectClass, pool->Get(1));
  EXPECT_EQ((VMObject*)compiled, pool->Get(2));
  ns->SetScalar(VMNameSpace::FlagsWord, 0);
}

TEST_F(RecordsTest, FiniReleasesEveryRecordAndInitStartsAfresh) {
  VMUtils::Fini();
  VMUtils::Init(host);
  uint32_t fresh = refhost::BlocksInUse(nullptr);
  JNI_RegisterNative("rec/Gone", firstTable, 1);
  JNI_RegisterNative("rec/Gone2", secondTable, 2);
  JNI_RegisterCompiled(nullptr, definitions);
  EXPECT_LT(fresh, refhost::BlocksInUse(nullptr));
  VMUtils::Fini();
  EXPECT_EQ(nullptr, host->GetGlobalCell(0));
  VMUtils::Init(host);
  // Records and tables live in process memory: Fini left none of them there.
  EXPECT_EQ(fresh, refhost::BlocksInUse(nullptr));
  EXPECT_EQ(nullptr, VMNativeClassInfo::Find(Lit("rec/Gone")));
  EXPECT_EQ(0u, VMUtils::GetNativeClasses()->GetFilled());
}

TEST_F(RecordsTest, RegistrationThatCannotBeKeptIsDropped) {
  refhost::FailNthAllocation(1);
  EXPECT_EQ(0, JNI_RegisterNative("rec/NoRoom", firstTable, 1));
  refhost::ResetHooks();
  EXPECT_EQ(nullptr, VMNativeClassInfo::Find(Lit("rec/NoRoom")));
}

}  // namespace
}  // namespace class_test
