/* Every method of every class of the class library and of the ecj-compiled test classes
   (tests/java/flow, with jsr and ret for every finally): the blocks build, every
   instruction has a state, the state at a block's start is its entry state, the state a
   frame gets while it calls or throws is the one before that instruction, and random
   executions find no map that a collector would get wrong. */
#include <stdio.h>

#include "flow_support.h"
#include "vmliteral.h"

namespace flow_test {
namespace {

std::vector<std::string> ClassNames(const std::string& zip) {
  std::vector<std::string> names;
  std::string cmd = "python3 -c \"import zipfile,sys; [print(n[:-6]) for n in zipfile.ZipFile(sys.argv[1]).namelist() "
                    "if n.endswith('.class')]\" '" + zip + "'";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return names;
  char line[1024];
  while (fgets(line, sizeof line, p) != nullptr) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    names.push_back(s);
  }
  pclose(p);
  return names;
}

class CorpusTest : public FlowTest {
 protected:
  struct Totals {
    uint32_t methods = 0, withJsr = 0, instructions = 0, steps = 0;
  };

  /* Checks one method; failures are reported with the method's name. */
  void CheckMethod(VMMethod* m, const std::string& where, Totals& t, uint32_t paths) {
    if (m->GetIsNative() || m->GetIsAbstract() || m->GetCode() == nullptr) return;
    t.methods++;
    ASSERT_EQ(0, VMBasicBlock::BuildBlocks(m)) << where;
    VMBasicBlockInfo* info = m->GetBlocks();
    ASSERT_NE(nullptr, info);
    if (info->GetHasSubroutines()) t.withJsr++;
    std::vector<uint32_t> starts = InstructionStarts(m);
    for (uint32_t pc : starts) {
      VMBasicBlock* block = VMBasicBlock::Find(m, pc);
      VMStatus s = 0;
      VMBasicBlock* state = At(m, pc, &s);
      if (block != nullptr && !block->HasState()) {
        EXPECT_EQ(VMStatus_VerifyError, s) << where << " pc " << pc << ": a block the flow never reached";
      } else {
        ASSERT_EQ(0, s) << where << " pc " << pc;
        t.instructions++;
        if (block != nullptr) {
          VMBasicBlock* copy = VMBasicBlock::CreateInstance(m);
          copy->Copy(block);
          EXPECT_EQ(Kinds(m, copy), Kinds(m, state)) << where << " pc " << pc;
          copy->Destroy(Heap(m));
        }
      }
      if (state != nullptr) state->Destroy(Heap(m));
    }
    // Where the interpreter leaves the pc of a frame in a call or a throw: past the
    // instruction, possibly at a block start or at the code length. Outside subroutines
    // (inside, the kinds depend on the return addresses) the walk must give exactly the
    // state before the instruction, and refuse only where that is refused.
    for (size_t i = 0; i < starts.size(); i++) {
      uint32_t next = i + 1 < starts.size() ? starts[i + 1] : m->GetCode()->GetSize();
      VMBasicBlock* before = At(m, starts[i]);
      if (before == nullptr) {
        EXPECT_EQ("status 16", Frame(m, next, {}, {}, true)) << where << " saved pc " << next;
      } else if (before->GetSubroutineIndex() == 0) {
        EXPECT_EQ(Kinds(m, before), Frame(m, next, {}, {}, true)) << where << " saved pc " << next;
      }
      if (before != nullptr) before->Destroy(Heap(m));
    }
    uint32_t steps = 0;
    std::string failure = WalkMethod(m, paths, 1234 + t.methods, &steps);
    t.steps += steps;
    EXPECT_EQ("", failure) << where;
    // Rebuilt after the blocks are dropped, the states are the same.
    uint32_t probe = starts[starts.size() / 2];
    std::string before = KindsAt(m, probe);
    ASSERT_EQ(0, VMBasicBlock::DestroyBlocks(m));
    EXPECT_EQ(nullptr, m->GetBasicBlocks());
    EXPECT_EQ(before, KindsAt(m, probe)) << where;
  }

  void CheckClasses(const std::vector<std::string>& names, uint32_t paths, Totals& t) {
    for (const std::string& name : names) {
      VMLoadableClass* cls = LoadClass(name);
      ASSERT_NE(nullptr, cls) << name;
      VMMethodArray* methods = cls->GetMethods();
      for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
        VMMethod* m = methods->Get(i);
        char* mname = m->GetName()->MakeUTF8();
        char* msig = m->GetSignature()->MakeUTF8();
        CheckMethod(m, name + "." + mname + msig, t, paths);
        VMLiteral::FreeUTF8(mname);
        VMLiteral::FreeUTF8(msig);
        if (HasFatalFailure()) return;
      }
    }
  }
};

TEST_F(CorpusTest, EveryMethodOfTheClassLibrary) {
  std::vector<std::string> names = ClassNames(std::string(PUX_BUILD_DIR) + "/classlib.zip");
  ASSERT_GT(names.size(), 100u);
  Totals t;
  CheckClasses(names, 8, t);
  printf("classlib: %u methods (%u with jsr), %u instructions, %u walked steps\n", t.methods, t.withJsr,
         t.instructions, t.steps);
  EXPECT_GT(t.methods, 1000u);
}

TEST_F(CorpusTest, EveryMethodOfTheSubroutineClasses) {
  std::string dir = CompiledTestClasses();
  ASSERT_FALSE(dir.empty()) << "ecj could not compile tests/java/flow";
  refhost::SetClassPath(nullptr, dir + ":" + PUX_BUILD_DIR + "/classlib.zip");
  Totals t;
  CheckClasses({"fl/Finally", "fl/Shapes", "fl/Mix", "fl/Shapes2", "fl/Throws"}, 400, t);
  printf("test classes: %u methods (%u with jsr), %u walked steps\n", t.methods, t.withJsr, t.steps);
  EXPECT_GE(t.withJsr, 20u);
}

}  // namespace
}  // namespace flow_test
