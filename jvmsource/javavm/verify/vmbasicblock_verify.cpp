/* The verifier's driver: the name check, then the kind walk over every block flow
   analysis reached, one instruction at a time from the block's flowed entry state, then
   the type walk (vmbasicblock_types.cpp). Blocks flow analysis did not reach are never
   run, so they are not checked. */
#include "vmbasicblock_verify.h"

#include "vmconstantpool.h"
#include "vmliteral.h"
#include "vmnamespace.h"

namespace {

/* A name that begins with '<' is one of the two special methods. */
void CheckName(VMMethod* method, VMErrorCatcher& catcher) {
  VMLiteral* name = method->GetName();
  catcher.Verify(name != NULL && name->UTF8Length() > 0);
  if (name->GetFirstChar() != '<') return;
  VMLiteralTable* literals = method->GetDefinedIn()->GetNameSpace()->GetLiterals();
  catcher.Verify(literals != NULL && (name == literals->GetInit() || name == literals->GetClinit()));
}

/* The kind walk of one reached block, from its flowed entry state in the scratch block. */
void WalkBlock(VMBasicBlock* block, VMFlowState& state, verify::Cursor& cursor, VMErrorCatcher& catcher) {
  VMMethod* method = state.Method;
  state.Block->Copy(block);
  const uint32_t end = block->GetEndPC();
  const uint32_t length = state.CodeLength;
  int32_t advance = 0;
  state.Advance = &advance;
  uint8_t last = OP_nop, widened = 0;
  for (uint32_t pc = block->GetStartPC(); pc < end;) {
    uint8_t* at = cursor.At(pc, 1);
    uint8_t op = verify::Opcode(method, at[0], pc);
    // The breakpoint opcode without a saved one, the machine's quick forms and 0xBA are
    // no instructions of a class file.
    catcher.Verify(op < OP_breakpoint && op != OP_unused_ba);
    uint32_t size = VMBasicBlock::OpcodeSize(op);
    at = cursor.At(pc, size);
    advance = 0;
    state.PC = pc + 1;
    state.Operands = at + 1;
    verify::kRules[op](&state);
    last = op;
    widened = op == OP_wide && pc + 1 < length ? at[1] : 0;
    if (advance != 0) size = (uint32_t)advance;
    catcher.Verify(advance >= 0 && size > 0);
    pc += size;
  }
  // Code that ran on past its last instruction would run whatever lies behind it.
  if (end >= length) catcher.Verify(verify::EndsFlow(last, widened));
}

}  // namespace

VMStatus verify::CheckKinds(VMMethod* method) {
  if (method == NULL) return 0;
  // Without blocks (no code: native or abstract) there is nothing to check.
  VMBasicBlockInfo* info = method->GetBlocks();
  VMBasicBlock* first = info != NULL ? info->GetBasicBlocks() : NULL;
  VMbyteArray* code = method->GetCode();
  if (first == NULL || code == NULL) return 0;
  VMLoadableClass* cls = method->GetDefinedIn();
  HHeap* heap = cls->GetHeap();
  VMBasicBlock* volatile scratch = VMBasicBlock::CreateInstance(method);
  if (scratch == NULL) return VMStatus_OutOfMemoryError;

  VMErrorCatcher catcher;
  if (VM_CATCHER_ARM(catcher)) {
    VMStatus status = catcher.Caught();
    scratch->Destroy(heap);
    return status;
  }
  VMFlowState state;
  memset(&state, 0, sizeof state);
  state.Method = method;
  state.Block = scratch;
  state.Catcher = &catcher;
  state.MaxLocals = method->GetLocalWords() - 2;
  state.MaxStack = method->GetStackWords() - 2;
  state.Class = cls;
  state.Pool = method->GetConstantPool();
  state.PoolCount = state.Pool != NULL ? state.Pool->GetCount() : 0;
  state.CodeLength = code->GetSize();
  CheckName(method, catcher);
  verify::Cursor cursor(code);
  for (VMBasicBlock* b = first; b != NULL; b = b->GetNext()) {
    if (b->GetIsReachable()) WalkBlock(b, state, cursor, catcher);
  }
  scratch->Destroy(heap);
  return 0;
}

VMStatus VMBasicBlock::Verify(VMMethod* method) {
  VMStatus status = verify::CheckKinds(method);
  return status != 0 ? status : verify::CheckTypes(method);
}
