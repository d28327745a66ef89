/* Host entries that may come with no machine at all: registrations of native tables and
   precompiled classes (kept for the machines to come, so they set the process up, and
   never find its tables torn down under them), and the archive directory of a zip file
   (which needs only the host's table, so it leaves no process state behind). */
#include "jni_support.h"

#include <string.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "safe_wait.h"
#include "vmclass.h"
#include "vmjni_entries.h"

namespace jni_test {
namespace {

void HOSTCALL Ping() {}

/* The process state keeps the registered pointers, so they are static. */
JNINativeMethod pingTable[] = {{(char*)"ping", (char*)"()V", (void*)Ping}};
const char* compiledNames[] = {"reg/Compiled", nullptr};
const uint32_t noRefs[] = {1u};
const char* noStrings[] = {nullptr};
void* noCode[] = {nullptr};
MCConstPoolClassDefinition definitions[] = {
    {compiledNames, noRefs, noStrings, noCode},
    {nullptr, nullptr, nullptr, nullptr},
};

/* The record of the name in a process table (name word, hash word after it), or null. */
VMObject* RecordNamed(VMObjectHashTable* table, const char* name, int nameWord) {
  if (table == nullptr) return nullptr;
  for (uint32_t i = 0; i < table->GetFilled(); i++) {
    VMObject* e = table->Get(i);
    if (e != nullptr && strcmp((const char*)e->GetWord(nameWord), name) == 0) return e;
  }
  return nullptr;
}

class RegistryTest : public JniTest {};

/* Modules register before any machine exists: the registration sets the process up and
   is there for the first machine, whose end releases it. (Both entries read the table's
   cell through the null pointer of a process not set up: SIGSEGV.) */
TEST_F(RegistryTest, RegistrationsBeforeTheFirstMachineAreKeptForIt) {
  ASSERT_FALSE(ProcessStateExists());
  EXPECT_EQ(0, JNI_RegisterNative("reg/Early", pingTable, 1));
  ASSERT_TRUE(ProcessStateExists());
  EXPECT_EQ(0, JNI_FiniClassInfo());
  ASSERT_FALSE(ProcessStateExists());
  EXPECT_EQ(0, JNI_RegisterCompiled(nullptr, definitions));
  EXPECT_EQ(0, JNI_RegisterNative("reg/Early", pingTable, 1));
  ASSERT_TRUE(ProcessStateExists());
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  VMNativeClassInfo* info = (VMNativeClassInfo*)RecordNamed(VMUtils::GetNativeClasses(), "reg/Early",
                                                            VMNativeClassInfo::NameWord);
  ASSERT_NE(nullptr, info) << "the machine did not find the earlier registration";
  EXPECT_EQ(pingTable, info->GetMethods());
  EXPECT_EQ(1u, info->GetCount());
  VMCompiledClassInfo* compiled = (VMCompiledClassInfo*)RecordNamed(
      VMUtils::GetCompiledClasses(), "reg/Compiled", VMCompiledClassInfo::NameWord);
  ASSERT_NE(nullptr, compiled);
  EXPECT_EQ(&definitions[0], compiled->GetTable());
  Destroy(vm);
}

/* With no host table there is nowhere to keep a registration: it is refused. */
TEST_F(RegistryTest, RegistrationsWithNoHostTableAreRefused) {
  JNI_SetHostFunctions(nullptr);
  EXPECT_EQ(-1, JNI_RegisterNative("reg/Nowhere", pingTable, 1));
  EXPECT_EQ(-1, JNI_RegisterCompiled(nullptr, definitions));
  JNI_SetHostFunctions(host);
  EXPECT_FALSE(ProcessStateExists());
}

/* Registrations from a second thread while the last machine ends: each runs whole before
   the process state goes, or after, into state it sets up again, which the host
   releases. (The end destroyed the tables under a registration in flight, and the next
   one read the released cells through a null pointer: SIGSEGV.) */
TEST_F(RegistryTest, RegistrationsRacingTheLastMachinesEndFindTheirTablesWhole) {
  for (int round = 0; round < 20; round++) {
    SCOPED_TRACE(round);
    JNIEnv* env = nullptr;
    JavaVM* vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    std::atomic<bool> started{false};
    std::atomic<bool> stop{false};
    std::atomic<int> refused{0};
    std::thread registrar([&] {
      // The last round begins after the end.
      for (bool last = false; !last; started = true) {
        last = stop.load();
        if (JNI_RegisterNative("reg/Racing", pingTable, 1) != 0) refused++;
        if (JNI_RegisterCompiled(nullptr, definitions) != 0) refused++;
      }
    });
    WhileOutside([&] {
      while (!started.load()) std::this_thread::yield();
    });
    Destroy(vm);
    stop = true;
    registrar.join();
    EXPECT_EQ(0, refused.load());
    ASSERT_TRUE(ProcessStateExists()) << "the registration after the end was lost";
    EXPECT_NE(nullptr, RecordNamed(VMUtils::GetNativeClasses(), "reg/Racing", VMNativeClassInfo::NameWord));
    EXPECT_EQ(0, JNI_FiniClassInfo());
    ASSERT_FALSE(ProcessStateExists());
  }
}

std::vector<uint8_t> LibraryBytes() {
  std::ifstream in(LibraryZip(), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

/* The directory of an archive, built, looked up in and destroyed. */
void BuildDirectory(JNIHostFunctions* host, std::vector<uint8_t>& bytes) {
  void* s = refhost::OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  void* table = JNI_CreateZipHash(nullptr, host, s, refhost::ZipSeek, (uint32_t)bytes.size());
  refhost::Functions()->StreamClose(s);
  ASSERT_NE(nullptr, table);
  uint32_t offset = 0, size = 0, compressed = 0;
  EXPECT_TRUE(JNI_ZipHashLookup(table, "java/lang/Object.class", &offset, &size, &compressed));
  EXPECT_GT(size, 0u);
  JNI_DestroyZipHash(nullptr, table);
}

/* An archive's directory needs the host's table, which it binds, and no process state:
   built before the first machine or after the last, it leaves none behind. (It set the
   process up, and the state outlived the last machine for nothing.) */
TEST_F(RegistryTest, AZipDirectoryMadeWithNoMachineLeavesNoProcessState) {
  std::vector<uint8_t> bytes = LibraryBytes();
  ASSERT_GT(bytes.size(), 1000u);
  JNI_SetHostFunctions(nullptr);
  BuildDirectory(host, bytes);
  EXPECT_EQ(host, VMUtils::GetHostFunctions()) << "the directory did not bind the host's table";
  EXPECT_FALSE(ProcessStateExists()) << "the directory set the process up before the first machine";
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  BuildDirectory(host, bytes);
  Destroy(vm);
  ASSERT_FALSE(ProcessStateExists());
  BuildDirectory(host, bytes);
  EXPECT_FALSE(ProcessStateExists()) << "the directory set the process up again after the last machine";
  if (ProcessStateExists()) VMUtils::Fini();
}

}  // namespace
}  // namespace jni_test
