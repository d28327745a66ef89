/* Fuzz target of the flow analysis. Every input is parsed as a class file (seeded with
   the class library's and the jsr-rich classes of fuzz/seeds/flow, so that most
   mutations land in method code that the load-time pass still accepts); every method of
   a class that loads gets its blocks built, the state at every pc from 0 to the code
   length asked for, both as the state before the instruction there and as the saved pc
   of a frame in the middle of the instruction before it, and its blocks dropped and
   built again. Nothing may crash, hang or leak; VerifyError is the expected answer for
   malformed code, and a method whose blocks build must answer every instruction start
   of a reached block.

   Built and run by fuzz/run.sh flow: with libFuzzer when clang can link it for -m32,
   else with the standalone driver of fuzz_common.h. */
#define PUX_FUZZ_NAME "flow_fuzz"
#include "fuzz_common.h"
#include "vmbasicblock.h"

namespace {

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
      // The walk of a frame in a call or a throw, whose pc lies past its instruction.
      if (pc > 0) {
        std::vector<VMword> words(m->GetLocalWords() + m->GetStackWords(), 0);
        VMStatus f = VMBasicBlock::GetBlockForFrame(m, pc, true, words.data(), words.data() + m->GetLocalWords(),
                                                    m->GetStackWords(), b);
        if ((f == 0) != (b != nullptr) || (f != 0 && f != VMStatus_VerifyError && f != VMStatus_OutOfMemoryError)) {
          fprintf(stderr, "flow_fuzz: saved pc %u gave status %d\n", pc, (int)f);
          abort();
        }
        if (b != nullptr) b->Destroy(cls->GetHeap());
      }
    }
    VMBasicBlock::DestroyBlocks(m);
    m->DestroyBlockInfo();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  classfile_test::ClassWorld* world = fuzz_common::NextWorld();
  VMLoadableClass* shell = fuzz_common::ShellFor(world, data, size);
  if (shell == nullptr) return 0;
  if (world->loader->Load(shell, data, (uint32_t)size) == 0) FlowEveryMethod(shell);
  world->DropLoose(shell);
  return 0;
}
