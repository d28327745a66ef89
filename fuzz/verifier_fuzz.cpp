/* Fuzz target of the verifier. Every input is parsed as a class file (seeded with the
   class library's classes and those of fuzz/seeds/verifier: compiler shapes with
   subroutines, switches, long code, many argument words and types joined at merges);
   every method of a class that loads is verified as it came, then again after each of
   a few mutations of its code made where they keep the code's structure (an opcode for
   another of its length, a local index, a constant-pool index, a branch offset for
   another instruction's, two neighbours swapped, any byte), so that most mutants get
   through flow analysis to the verifier's walks. Nothing may crash, hang or leak; every
   answer is a status (0, VerifyError, OutOfMemoryError, or the status of a class the
   type walk could not load), the same when asked twice, and verification leaves the
   method's blocks as they were.

   Built and run by fuzz/run.sh verifier: with libFuzzer when clang can link it for -m32,
   else with the standalone driver of fuzz_common.h. */
#define PUX_FUZZ_NAME "verifier_fuzz"
#include <vector>

#include "fuzz_common.h"
#include "vmbasicblock.h"
#include "vmbasicblock_verify.h"
#include "vmconstantpool.h"

namespace {

uint32_t Hash(const uint8_t* data, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; i++) h = (h ^ data[i]) * 16777619u;
  return h;
}

struct Rng {
  uint32_t s;
  uint32_t Next() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
};

uint8_t* At(VMbyteArray* code, uint32_t i) { return static_cast<uint8_t*>(code->FindElement(i, 0u)); }

/* The instruction starts of the code as the load-time pass left it. */
std::vector<uint32_t> Starts(VMbyteArray* code) {
  std::vector<uint32_t> starts;
  uint32_t length = code->GetSize();
  for (uint32_t pc = 0; pc < length;) {
    starts.push_back(pc);
    uint8_t op = *At(code, pc);
    uint32_t n = op < VMOpcodeCount ? VMOpcodeLength[op] : 1;
    if (op == OP_tableswitch || op == OP_lookupswitch) {
      uint32_t p = (pc + 4) & ~3u;
      if ((uint64_t)p + 12 > length) break;
      int32_t a, b;
      uint8_t w[12];
      for (uint32_t k = 0; k < 12; k++) w[k] = *At(code, p + k);
      memcpy(&a, w + 4, 4);
      memcpy(&b, w + 8, 4);
      uint64_t end = op == OP_tableswitch ? (uint64_t)p + 12 + 4 * ((int64_t)b - a + 1) : (uint64_t)p + 8 + 8 * (uint64_t)(uint32_t)a;
      if (end > length || end <= pc) break;
      n = (uint32_t)(end - pc);
    } else if (op == OP_wide) {
      n = pc + 1 < length && *At(code, pc + 1) == OP_iinc ? 6 : 4;
    }
    pc += n;
  }
  return starts;
}

bool IsLocalOp(uint8_t op) {
  return (op >= OP_iload && op <= OP_aload) || (op >= OP_istore && op <= OP_astore) || op == OP_iinc || op == OP_ret;
}
bool IsPoolOp(uint8_t op) {
  return op == OP_ldc_w || op == OP_ldc2_w || (op >= OP_getstatic && op <= OP_invokeinterface) || op == OP_new ||
         op == OP_anewarray || op == OP_checkcast || op == OP_instanceof || op == OP_multianewarray;
}
bool IsBranch(uint8_t op) {
  return (op >= OP_ifeq && op <= OP_jsr) || op == OP_ifnull || op == OP_ifnonnull;
}

/* One structure-keeping mutation of the code in place. */
void Mutate(VMMethod* m, Rng& rng) {
  VMbyteArray* code = m->GetCode();
  uint32_t length = code->GetSize();
  std::vector<uint32_t> starts = Starts(code);
  if (starts.empty()) return;
  uint32_t i = rng.Next() % (uint32_t)starts.size();
  uint32_t pc = starts[i];
  uint8_t op = *At(code, pc);
  uint32_t n = op < VMOpcodeCount ? VMOpcodeLength[op] : 1;
  uint32_t poolCount = m->GetConstantPool() != nullptr ? m->GetConstantPool()->GetCount() : 1;
  switch (rng.Next() % 6) {
    case 0: {  // another opcode of the same length
      for (int tries = 0; tries < 64; tries++) {
        uint8_t other = (uint8_t)(rng.Next() % OP_breakpoint);
        if (VMOpcodeLength[other] == n && other != OP_tableswitch && other != OP_lookupswitch && other != OP_wide) {
          *At(code, pc) = other;
          break;
        }
      }
      break;
    }
    case 1:  // a local index
      if (IsLocalOp(op) && pc + 1 < length) *At(code, pc + 1) = (uint8_t)(rng.Next() % 6);
      break;
    case 2:  // a constant-pool index, host order
      if (IsPoolOp(op) && pc + 2 < length) {
        uint16_t index = (uint16_t)(rng.Next() % (poolCount + 2));
        *At(code, pc + 1) = (uint8_t)index;
        *At(code, pc + 2) = (uint8_t)(index >> 8);
      }
      break;
    case 3:  // a branch to another instruction
      if (IsBranch(op) && pc + 2 < length) {
        uint32_t target = starts[rng.Next() % (uint32_t)starts.size()];
        uint16_t offset = (uint16_t)(target - pc);
        *At(code, pc + 1) = (uint8_t)offset;
        *At(code, pc + 2) = (uint8_t)(offset >> 8);
      }
      break;
    case 4:  // two neighbours of the same length swapped
      if (i + 1 < starts.size() && starts[i + 1] + n <= length && starts[i + 1] - pc == n) {
        uint8_t next = *At(code, starts[i + 1]);
        if (next < VMOpcodeCount && VMOpcodeLength[next] == n && next != OP_tableswitch && next != OP_lookupswitch &&
            next != OP_wide) {
          for (uint32_t k = 0; k < n; k++) {
            uint8_t t = *At(code, pc + k);
            *At(code, pc + k) = *At(code, pc + n + k);
            *At(code, pc + n + k) = t;
          }
        }
      }
      break;
    default:  // any byte
      *At(code, rng.Next() % length) = (uint8_t)rng.Next();
      break;
  }
}

bool Allowed(VMStatus s) {
  return s == 0 || s == VMStatus_VerifyError || s == VMStatus_OutOfMemoryError || s == VMStatus_NoClassDefFoundError ||
         s == VMStatus_ClassFormatError || s == VMStatus_LinkageError || s == VMStatus_ClassCircularityError ||
         s == VMStatus_IncompatibleClassChangeError;
}

/* The entry states of every block, to see that verification leaves them alone. */
std::vector<uint32_t> Snapshot(VMMethod* m) {
  std::vector<uint32_t> out;
  VMBasicBlockInfo* info = m->GetBlocks();
  for (VMBasicBlock* b = info != nullptr ? info->GetBasicBlocks() : nullptr; b != nullptr; b = b->GetNext()) {
    out.push_back(b->GetStackDepth());
    out.push_back(b->GetFlags());
    for (VMboolArray* a : {b->GetStackIsRefArray(), b->GetStackIsRetAddressArray(), b->GetLocalIsRefArray(),
                           b->GetLocalIsScalarArray(), b->GetLocalIsRetAddressArray()}) {
      for (uint32_t w = 0; a != nullptr && w < VMboolArray::WordsFor(a->GetSize()); w++) out.push_back(a->GetWord(w));
    }
  }
  return out;
}

/* How far the methods got, printed at exit with PUX_FUZZ_STATS set: refused by flow
   analysis, by the kind walk, by the type walk, or verified. */
unsigned long gStages[4];

void PrintStages() {
  fprintf(stderr, "verifier_fuzz: methods refused by flow analysis %lu, by the kind walk %lu, by the type walk %lu; "
          "verified %lu\n", gStages[0], gStages[1], gStages[2], gStages[3]);
}

void Judge(VMMethod* m, const char* what) {
  static bool registered = false;
  if (!registered) {
    registered = true;
    if (getenv("PUX_FUZZ_STATS") != nullptr) atexit(PrintStages);
  }
  VMStatus built = VMBasicBlock::BuildBlocks(m);
  if (built != 0 && built != VMStatus_VerifyError && built != VMStatus_OutOfMemoryError) {
    fprintf(stderr, "verifier_fuzz: %s: build gave status %d\n", what, (int)built);
    abort();
  }
  if (built != 0) {
    gStages[0]++;
    return;
  }
  std::vector<uint32_t> before = Snapshot(m);
  // The two walks apart, then together: Verify answers the first failure.
  VMStatus kinds = verify::CheckKinds(m);
  VMStatus types = kinds == 0 ? verify::CheckTypes(m) : 0;
  gStages[kinds != 0 ? 1 : types != 0 ? 2 : 3]++;
  VMStatus first = VMBasicBlock::Verify(m);
  VMStatus second = VMBasicBlock::Verify(m);
  if (!Allowed(first) || first != second || first != (kinds != 0 ? kinds : types)) {
    fprintf(stderr, "verifier_fuzz: %s: verification gave %d, then %d (walks %d, %d)\n", what, (int)first,
            (int)second, (int)kinds, (int)types);
    abort();
  }
  if (Snapshot(m) != before) {
    fprintf(stderr, "verifier_fuzz: %s: verification changed the blocks\n", what);
    abort();
  }
}

void VerifyEveryMethod(VMLoadableClass* cls, uint32_t seed) {
  VMMethodArray* methods = cls->GetMethods();
  for (uint32_t i = 0; methods != nullptr && i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == nullptr || m->GetCode() == nullptr) continue;
    Judge(m, "as loaded");
    VMbyteArray* code = m->GetCode();
    uint32_t length = code->GetSize();
    std::vector<uint8_t> saved(length);
    for (uint32_t k = 0; k < length; k++) saved[k] = *At(code, k);
    Rng rng = {seed ^ (i * 0x9E3779B9u) ^ 0x5bd1e995u};
    if (rng.s == 0) rng.s = 1;
    for (int round = 0; round < 4; round++) {
      VMBasicBlock::DestroyBlocks(m);
      for (int k = 0, edits = 1 + (int)(rng.Next() % 2); k < edits; k++) Mutate(m, rng);
      Judge(m, "mutated");
      for (uint32_t k = 0; k < length; k++) *At(code, k) = saved[k];
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
  if (world->loader->Load(shell, data, (uint32_t)size) == 0) VerifyEveryMethod(shell, Hash(data, size));
  world->DropLoose(shell);
  return 0;
}
