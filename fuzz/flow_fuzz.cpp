/* Fuzz target of the flow analysis. Every input is parsed as a class file (seeded with
   the class library's, so that most mutations land in method code that the load-time
   pass still accepts); every method of a class that loads gets its blocks built, the
   state at every pc from 0 to the code length asked for, and its blocks dropped and
   built again. Nothing may crash, hang or leak; VerifyError is the expected answer for
   malformed code, and a method whose blocks build must answer every instruction start
   of a reached block.

   Built and run by fuzz/run.sh flow: with libFuzzer when clang can link it for -m32,
   else with the standalone driver at the end of this file. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../tests/unit/classfile_world.h"
#include "vmbasicblock.h"

using classfile_test::ClassWorld;

namespace {

ClassWorld* gWorld = nullptr;
int gInputs = 0;
std::string gClassPath;

void FreshWorld() {
  if (gWorld != nullptr) {
    gWorld->Destroy();
    delete gWorld;
  }
  gWorld = new ClassWorld();
  if (!gWorld->Create(gClassPath)) {
    fprintf(stderr, "flow_fuzz: cannot make the class world\n");
    abort();
  }
}

void FlowEveryMethod(VMLoadableClass* cls) {
  VMMethodArray* methods = cls->GetMethods();
  for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == nullptr || m->GetCode() == nullptr) continue;
    VMStatus built = VMBasicBlock::BuildBlocks(m);
    if (built != 0 && built != VMStatus_VerifyError) {
      fprintf(stderr, "flow_fuzz: build gave status %d\n", (int)built);
      abort();
    }
    uint32_t length = m->GetCode()->GetSize();
    for (uint32_t pc = 0; pc <= length; pc++) {
      VMBasicBlock* b = nullptr;
      VMStatus s = VMBasicBlock::GetBlockAtPC(m, pc, b);
      if ((s == 0) != (b != nullptr) || (s != 0 && s != VMStatus_VerifyError && s != VMStatus_OutOfMemoryError)) {
        fprintf(stderr, "flow_fuzz: pc %u gave status %d after a build with %d\n", pc, (int)s, (int)built);
        abort();
      }
      if (built == 0 && s != 0) {
        // Only a block the flow never reached, or a pc in none, may fail.
        VMBasicBlock* block = VMBasicBlock::Find(m, pc);
        if (block != nullptr && block->HasState()) {
          fprintf(stderr, "flow_fuzz: a reached block at pc %u gave status %d\n", pc, (int)s);
          abort();
        }
      }
      if (b != nullptr) b->Destroy(cls->GetHeap());
    }
    VMBasicBlock::DestroyBlocks(m);
    m->DestroyBlockInfo();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  // Interned names pile up across inputs: start over now and then.
  if (gWorld == nullptr || ++gInputs % 5000 == 0) FreshWorld();
  JNIHostFunctions* host = refhost::Functions();
  void* s = refhost::OpenMemoryStream(data, (uint32_t)size);
  if (s == nullptr) return 0;
  char name[512];
  bool named = VMClassLoader::GetClassInfo(s, name, sizeof name, nullptr) == 0;
  host->StreamClose(s);
  if (named && name[0] != 0) {
    for (char* p = name; *p; p++)
      if (*p == '.') *p = '/';
    VMLoadableClass* shell = gWorld->LooseShell(name);
    if (shell != nullptr) {
      if (gWorld->loader->Load(shell, data, (uint32_t)size) == 0) FlowEveryMethod(shell);
      gWorld->DropLoose(shell);
    }
  }
  return 0;
}
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* cp = getenv("PUX_FUZZ_CLASSPATH");
  gClassPath = cp != nullptr ? cp : "";
  return 0;
}

#define PUX_FUZZ_NAME "flow_fuzz"
#include "fuzz_driver.h"
