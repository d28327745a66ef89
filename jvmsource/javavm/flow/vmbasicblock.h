/* Flow analysis: the basic blocks of a bytecode method and, for the entry of each block
   and for any pc, which locals and operand-stack words hold references, scalars, values
   of either kind (indeterminate) or jsr return addresses. The collector reads these maps
   to trace interpreted frames exactly; the verifier starts from the entry states and
   relies on the structural checks made while the blocks are built.

   Kinds of a local word, as (ref, scalar, return address) bits:
     (0,0,0) nothing has reached it yet (a block without state)
     (1,0,0) reference           (0,1,0) scalar         (0,1,1) return address
     (1,1,0) indeterminate       (1,1,1) conflict: a return address met something else
   A stack word has a ref and a return-address bit; stack words are never indeterminate.
   Every return address also carries the number of the subroutine whose entry its jsr
   called, in the block's subroutine-number arrays (only methods with jsr have them): one
   number per stack word, and one per local that some astore of the code writes, the only
   locals a return address can reach (the method's block info maps local to slot).

   Blocks, bit arrays, target arrays and the block info are allocated with allocation kind
   1 on the heap of the method's class; a refusal is status 19. Malformed code is status
   16. Blocks handed out by GetBlockAtPC belong to the caller. */
#ifndef PUX_VMBASICBLOCK_H
#define PUX_VMBASICBLOCK_H

#include "vmarray.h"
#include "vmerrorcatcher.h"
#include "vmobject.h"
#include "vmopdefinition.h"
#include "vmstatus.h"

class VMBasicBlock;

/* What a flow handler gets for one instruction. The first nine words are shared with the
   verifier's rules; the driver's own words follow. */
struct VMFlowState {
  VMMethod* Method;
  uint32_t PC;              /* code offset of the first operand byte */
  uint8_t* Operands;        /* first operand byte (in the code or in a straddle copy) */
  VMBasicBlock* Block;      /* the state before this instruction, changed in place */
  int32_t* Advance;         /* the full length of a switch or wide instruction */
  VMErrorCatcher* Catcher;
  uint32_t MaxLocals;       /* the Code attribute's max_locals */
  uint32_t MaxStack;        /* the Code attribute's max_stack */
  VMboolArray* LocalsDefined;  /* of the block the flow started from */
  /* Driver words. */
  VMConstantPool* Pool;
  uint32_t PoolCount;
  VMLoadableClass* Class;
  uint32_t CodeLength;
};
typedef VMFlowState FlowState;

typedef void (*VMFlowOp)(VMFlowState* state);
/* One handler per opcode 0x00-0xD7. */
extern const VMFlowOp FlowOpTable[VMOpcodeCount];

/* The opcode a debugger breakpoint replaced at pc, or the code byte there when no
   breakpoint is recorded. The debugger agent installs its look-up; without one every
   0xCA is a breakpoint without a saved opcode. */
typedef uint8_t (*VMPreBreakpointOpcodeFinder)(VMMethod* method, uint32_t pc);

class VMBasicBlock : public VMInternalObject {
 public:
  enum {
    StartPCWord = 0,
    EndPCWord = 1,
    SubroutineIndexWord = 2,
    RetIndexWord = 3,
    NextWord = 4,
    PrevWord = 5,
    Target0Word = 6,
    Target1Word = 7,
    Target2Word = 8,
    TargetThreeAndUpWord = 9,
    LocalsDefinedWord = 10,
    StackDepthWord = 11,
    StackIsRefArrayWord = 12,
    StackIsRetAddressArrayWord = 13,
    LocalIsRefArrayWord = 14,
    LocalIsScalarArrayWord = 15,
    LocalIsRetAddressArrayWord = 16,
    FlagsWord = 17,
    /* Subroutine numbers of return addresses, per stack word and per local (jchar). */
    StackSubroutineArrayWord = 18,
    LocalSubroutineArrayWord = 19,
    /* The number of the subroutine this block is the entry of; 0 for none. */
    EntryOfWord = 20,
    /* Position in the method's list. */
    PositionWord = 21,
    /* On a scratch block: the changed block of lowest pc the flow must look at next. */
    ChangedHintWord = 22,
    /* On a ret block: the subroutine it returns from. */
    RetOfWord = 23,
    /* The block info's map from local to subroutine-number slot (not owned). */
    RetSlotsWord = 24,
    Words = 25,
  };
  enum : VMword {
    RefMask = (1u << NextWord) | (1u << PrevWord) | (1u << Target0Word) | (1u << Target1Word) |
              (1u << Target2Word) | (1u << TargetThreeAndUpWord) | (1u << LocalsDefinedWord) |
              (1u << StackIsRefArrayWord) | (1u << StackIsRetAddressArrayWord) |
              (1u << LocalIsRefArrayWord) | (1u << LocalIsScalarArrayWord) |
              (1u << LocalIsRetAddressArrayWord) | (1u << StackSubroutineArrayWord) |
              (1u << LocalSubroutineArrayWord) | (1u << ChangedHintWord) | (1u << RetSlotsWord),
  };
  enum : uint32_t { NoState = 0x7FFFFFFFu };
  enum : uint32_t {
    IsChangedFlag = 1u << 0,
    IsRetReadyFlag = 1u << 1,
    IsJsrFlag = 1u << 2,
    IsRetFlag = 1u << 3,
    IsReturnFlag = 1u << 4,
    IsConditionalFlag = 1u << 5,
    IsSwitchFlag = 1u << 6,
    IsGotoFlag = 1u << 7,
    IsThrowFlag = 1u << 8,
    IsFallThruFlag = 1u << 9,
    IsArbitraryBreakFlag = 1u << 10,
    IsCatchFlag = 1u << 11,
    IsExceptionStartFlag = 1u << 12,
    IsVisitedFlag = 1u << 13,
    IsJsrTargetFlag = 1u << 14,
    IsReachableFlag = 1u << 15,
    HasCatchTargetFlag = 1u << 16,
  };

  /* ---- the record ---- */

  /* A block with empty kind arrays sized for the method and no entry state; NULL when
     any allocation fails. */
  static VMBasicBlock* CreateInstance(VMMethod* method);
  void Destroy(HHeap* heap);
  /* Whether an object lies in this block's own body, past the block's words (a kind
     set laid there): it goes with the block. */
  bool HoldsInBody(const VMObject* object) const;
  /* The set of locals this block's code writes, made empty (in the block's own body when
     it has room) the first time it is asked for; NULL without memory. */
  VMboolArray* MakeLocalsDefined(VMMethod* method);
  /* Takes another block's entry state: kinds, depth, SubroutineIndex and RetIndex. */
  void Copy(VMBasicBlock* other);

#define PUX_VMBB_SCALAR(Type, Name)                                     \
  Type Get##Name() const { return (Type)GetScalar(Name##Word); }        \
  void Set##Name(Type value) { SetScalar(Name##Word, (VMword)value); }
  PUX_VMBB_SCALAR(uint32_t, StartPC)
  PUX_VMBB_SCALAR(uint32_t, EndPC)
  PUX_VMBB_SCALAR(uint32_t, SubroutineIndex)
  PUX_VMBB_SCALAR(int32_t, RetIndex)
  PUX_VMBB_SCALAR(uint32_t, StackDepth)
  PUX_VMBB_SCALAR(uint32_t, EntryOf)
  PUX_VMBB_SCALAR(uint32_t, Position)
  PUX_VMBB_SCALAR(uint32_t, RetOf)
#undef PUX_VMBB_SCALAR
#define PUX_VMBB_REF(Type, Name)                                                  \
  Type* Get##Name() const { return (Type*)GetReference(Name##Word); }            \
  void Set##Name(Type* value) { SetReference(Name##Word, (VMObject*)value); }
  PUX_VMBB_REF(VMBasicBlock, Next)
  PUX_VMBB_REF(VMBasicBlock, Prev)
  PUX_VMBB_REF(VMBasicBlockArray, TargetThreeAndUp)
  PUX_VMBB_REF(VMboolArray, LocalsDefined)
  PUX_VMBB_REF(VMboolArray, StackIsRefArray)
  PUX_VMBB_REF(VMboolArray, StackIsRetAddressArray)
  PUX_VMBB_REF(VMboolArray, LocalIsRefArray)
  PUX_VMBB_REF(VMboolArray, LocalIsScalarArray)
  PUX_VMBB_REF(VMboolArray, LocalIsRetAddressArray)
  PUX_VMBB_REF(VMcharArray, StackSubroutineArray)
  PUX_VMBB_REF(VMcharArray, LocalSubroutineArray)
  PUX_VMBB_REF(VMBasicBlock, ChangedHint)
  PUX_VMBB_REF(VMcharArray, RetSlots)
#undef PUX_VMBB_REF

  bool HasState() const { return GetStackDepth() != NoState; }

#define PUX_VMBB_FLAG(Name)                                                          \
  bool Get##Name() const { return (GetScalar(FlagsWord) & Name##Flag) != 0; }        \
  void Set##Name() { SetScalar(FlagsWord, GetScalar(FlagsWord) | Name##Flag); }      \
  void Clear##Name() { SetScalar(FlagsWord, GetScalar(FlagsWord) & ~(VMword)Name##Flag); }
  PUX_VMBB_FLAG(IsChanged)
  PUX_VMBB_FLAG(IsRetReady)
  PUX_VMBB_FLAG(IsJsr)
  PUX_VMBB_FLAG(IsRet)
  PUX_VMBB_FLAG(IsReturn)
  PUX_VMBB_FLAG(IsConditional)
  PUX_VMBB_FLAG(IsSwitch)
  PUX_VMBB_FLAG(IsGoto)
  PUX_VMBB_FLAG(IsThrow)
  PUX_VMBB_FLAG(IsFallThru)
  PUX_VMBB_FLAG(IsArbitraryBreak)
  PUX_VMBB_FLAG(IsCatch)
  PUX_VMBB_FLAG(IsExceptionStart)
  PUX_VMBB_FLAG(IsVisited)
  PUX_VMBB_FLAG(IsJsrTarget)
  PUX_VMBB_FLAG(IsReachable)
  PUX_VMBB_FLAG(HasCatchTarget)
#undef PUX_VMBB_FLAG
  VMword GetFlags() const { return GetScalar(FlagsWord); }

  /* ---- kinds (indices are the caller's to keep in range) ---- */

  void SetLocalIsRef(uint32_t i, bool ref) { SetLocalBits(i, ref, !ref, false, 0); }
  void SetLocalIsIndeterminate(uint32_t i) { SetLocalBits(i, true, true, false, 0); }
  void SetLocalIsRetAddress(uint32_t i, uint32_t subroutine = 0) { SetLocalBits(i, false, true, true, subroutine); }
  /* Reference: ref set, scalar clear. */
  bool GetLocalIsRef(uint32_t i) const { return LocalRef(i) && !LocalScalar(i); }
  bool GetLocalIsScalar(uint32_t i) const { return LocalScalar(i) && !LocalRef(i) && !LocalRet(i); }
  bool GetLocalIsIndeterminite(uint32_t i) const { return LocalScalar(i) && LocalRef(i); }
  /* Exactly a return address: (0,1,1); a conflict (1,1,1) is not one. */
  bool GetLocalIsRetAddress(uint32_t i) const { return LocalRet(i) && LocalScalar(i) && !LocalRef(i); }
  /* The subroutine whose entry the return address in local i leads back from; 0 when the
     local is not a return address. */
  uint32_t GetLocalRetSubroutine(uint32_t i) const;

  void SetStackIsRef(uint32_t i, bool ref);
  void SetStackIsRetAddress(uint32_t i, uint32_t subroutine = 0);
  bool GetStackIsRef(uint32_t i) const { return GetStackIsRefArray()->Get(i); }
  /* A return address counts as scalar too. */
  bool GetStackIsScalar(uint32_t i) const { return !GetStackIsRef(i); }
  bool GetStackIsRetAddress(uint32_t i) const { return GetStackIsRetAddressArray()->Get(i); }
  uint32_t GetStackRetSubroutine(uint32_t i) const;

  /* ---- successors ---- */

  uint32_t GetNumberTargets() const;
  VMBasicBlock* GetTarget(uint32_t i) const;
  void SetNumberTargets(VMMethod* method, uint32_t count, VMErrorCatcher& catcher);
  void SetTarget(uint32_t i, VMBasicBlock* block);
  void AddTarget(VMMethod* method, VMBasicBlock* block, VMErrorCatcher& catcher);

  /* ---- queries ---- */

  /* The block starting exactly at pc; NULL when none does. */
  static VMBasicBlock* Find(VMMethod* method, uint32_t pc);
  /* The fixed instruction length of an opcode (the fixed part for the switches, 6 for
     wide). */
  static uint32_t OpcodeSize(uint8_t opcode) { return opcode < VMOpcodeCount ? VMOpcodeLength[opcode] : 1; }

  /* Builds and flows the method's blocks unless it has them (nothing for a native or
     abstract method). Run before any code of the method has run: quick opcodes and
     breakpoints without a saved opcode are malformed code here. */
  static VMStatus BuildBlocks(VMMethod* method);
  /* The state just before the instruction at pc, flowed from the start of its block, in a
     new block for the caller. pc equal to the code length gives the last block's exit
     state (a frame that is throwing from its last instruction). 16 for a pc outside the
     code or in code the flow never reaches. Takes the method's monitor. */
  static VMStatus GetBlockAtPC(VMMethod* method, uint32_t pc, VMBasicBlock*& out);
  /* The locals written anywhere in this block's subroutine (nested subroutines included);
     the array belongs to the method's block info. NULL for a block outside subroutines or
     on failure. */
  VMboolArray* GetLocalsDefinedBySubroutine(VMMethod* method);
  /* The kinds of an interpreted frame at pc, in a new block for the caller. A frame in
     the middle of a call it made, or of a throw, has its pc past that instruction
     (pastInstruction): its kinds are those just before it, never those of a block that
     may start at pc (a merge, or the code after an athrow). Inside subroutines, every
     local that the enclosing subroutines do not write takes its kind from the jsr that
     called them, found through the return addresses the frame holds (locals: the frame's
     local words; stack: its operand words, depth: how many there are). */
  static VMStatus GetBlockForFrame(VMMethod* method, uint32_t pc, bool pastInstruction,
                                   const VMword* locals, const VMword* stack, uint32_t depth,
                                   VMBasicBlock*& out);
  /* The same for the collector's and relocation's walk of a frame: the kinds land in a
     block the method keeps for the purpose, made with its blocks, so nothing is built or
     allocated; 16 when the method has no blocks. On success the method's monitor is held
     until ReleaseFrameState. */
  static VMStatus AcquireFrameState(VMMethod* method, uint32_t pc, bool pastInstruction,
                                    const VMword* locals, const VMword* stack, uint32_t depth,
                                    VMBasicBlock*& out);
  static void ReleaseFrameState(VMMethod* method);
  static VMStatus DestroyBlocks(VMMethod* method);
  /* Verifies the method over its built blocks, which it leaves as they are: 0, 16 for code
     that does not verify, 19 without memory, or the status of a class the check needed
     and could not load. Nothing for a method without blocks. */
  static VMStatus Verify(VMMethod* method);
  /* Adds each handler block to the targets of the blocks its range overlaps. */
  static VMStatus AddCatchTargets(VMMethod* method);

  static void SetPreBreakpointOpcodeFinder(VMPreBreakpointOpcodeFinder finder);
  static uint8_t FindPreBreakpointOpcode(VMMethod* method, uint32_t pc);

  /* ---- building and flowing (used by the build, the verifier and tests) ---- */

  void CreateBlocks(VMMethod* method, VMErrorCatcher& catcher, bool allowQuick);
  void CalculateLabels(VMMethod* method, VMboolArray* labels, VMboolArray* starts,
                       VMErrorCatcher& catcher, bool allowQuick);
  static void LinkReturnsToJsrNext(VMMethod* method, VMErrorCatcher& catcher);
  static void MarkSubroutines(VMMethod* method, VMErrorCatcher& catcher);
  void FlowBlocks(VMMethod* method, VMErrorCatcher& catcher);
  /* Takes source's entry state and flows it over source's instructions while pc < limit;
     with mergeHandlers, the state before each instruction also reaches the handlers
     whose ranges cover it. */
  void CopyBlockAndFlowTo(VMMethod* method, VMBasicBlock* source, uint32_t limit,
                          VMErrorCatcher& catcher, bool mergeHandlers);
  /* Joins source's state into this block's entry state; true when it changed. */
  bool MergeState(VMBasicBlock* source, uint32_t locals, bool isCatch, VMErrorCatcher& catcher,
                  VMboolArray* mask = NULL, bool sense = true);
  bool MergeReadyRetBlocks(VMMethod* method, VMErrorCatcher& catcher);
  static VMboolArray* GetLocalsDefinedBySubroutine(VMMethod* method, uint32_t subroutine,
                                                   VMErrorCatcher& catcher);

 private:
  bool LocalRef(uint32_t i) const { return GetLocalIsRefArray()->Get(i); }
  bool LocalScalar(uint32_t i) const { return GetLocalIsScalarArray()->Get(i); }
  bool LocalRet(uint32_t i) const { return GetLocalIsRetAddressArray()->Get(i); }
  void SetLocalBits(uint32_t i, bool ref, bool scalar, bool ret, uint32_t subroutine);
  /* The subroutine-number slot of local i, or -1 when it has none. */
  int32_t RetSlot(uint32_t i) const;
  uint32_t LocalSubroutine(uint32_t i) const;
  void SetLocalSubroutine(uint32_t i, uint32_t subroutine);
  void CopyLocal(VMBasicBlock* source, uint32_t i);
  static void FrameKinds(VMMethod* method, uint32_t pc, bool past, const VMword* locals, const VMword* stack,
                         uint32_t depth, VMBasicBlock* state, VMBasicBlock* caller, VMErrorCatcher& catcher);
  bool MergeLocals(VMBasicBlock* source, uint32_t locals, VMboolArray* mask, bool sense);
  void MergeStack(VMBasicBlock* source, VMErrorCatcher& catcher);
  void NoteChanged(VMBasicBlock* source);
};

/* The per-method record of the flow analysis. */
class VMBasicBlockInfo : public VMInternalObject {
 public:
  enum {
    BasicBlocksWord = 0,
    SubroutineInfoWord = 1,
    BlockCacheWord = 2,
    BlockCachePCWord = 3,
    /* The blocks in pc order, for look-up by pc. */
    BlockIndexWord = 4,
    /* Nonzero when the method's code has jsr instructions (blocks then carry subroutine
       numbers). */
    HasSubroutinesWord = 5,
    /* With jsr: per local, 0 when no astore writes it, else 1 + its slot in the blocks'
       local subroutine numbers; and the number of such slots. */
    RetSlotsWord = 6,
    RetSlotCountWord = 7,
    /* Blocks made with the others for the frame walk (the second one only with jsr). */
    FrameStateWord = 8,
    FrameCallerWord = 9,
    Words = 10,
  };
  enum : VMword {
    RefMask = (1u << BasicBlocksWord) | (1u << SubroutineInfoWord) | (1u << BlockCacheWord) |
              (1u << BlockIndexWord) | (1u << RetSlotsWord) | (1u << FrameStateWord) |
              (1u << FrameCallerWord),
  };

  static VMBasicBlockInfo* CreateInstance(HHeap* heap);
  /* Releases the subroutine unions and the cached block; the block list must have been
     destroyed first. */
  void Destroy(HHeap* heap);

  VMBasicBlock* GetBasicBlocks() const { return (VMBasicBlock*)GetReference(BasicBlocksWord); }
  void SetBasicBlocks(VMBasicBlock* b) { SetReference(BasicBlocksWord, (VMObject*)b); }
  VMboolArrayArray* GetSubroutineInfo() const { return (VMboolArrayArray*)GetReference(SubroutineInfoWord); }
  void SetSubroutineInfo(VMboolArrayArray* a) { SetReference(SubroutineInfoWord, (VMObject*)a); }
  VMBasicBlock* GetBlockCache() const { return (VMBasicBlock*)GetReference(BlockCacheWord); }
  void SetBlockCache(VMBasicBlock* b) { SetReference(BlockCacheWord, (VMObject*)b); }
  uint32_t GetBlockCachePC() const { return GetScalar(BlockCachePCWord); }
  void SetBlockCachePC(uint32_t pc) { SetScalar(BlockCachePCWord, pc); }
  VMBasicBlockArray* GetBlockIndex() const { return (VMBasicBlockArray*)GetReference(BlockIndexWord); }
  void SetBlockIndex(VMBasicBlockArray* a) { SetReference(BlockIndexWord, (VMObject*)a); }
  bool GetHasSubroutines() const { return GetScalar(HasSubroutinesWord) != 0; }
  void SetHasSubroutines(bool on) { SetScalar(HasSubroutinesWord, on ? 1 : 0); }
  VMcharArray* GetRetSlots() const { return (VMcharArray*)GetReference(RetSlotsWord); }
  void SetRetSlots(VMcharArray* a) { SetReference(RetSlotsWord, (VMObject*)a); }
  uint32_t GetRetSlotCount() const { return GetScalar(RetSlotCountWord); }
  void SetRetSlotCount(uint32_t n) { SetScalar(RetSlotCountWord, n); }
  VMBasicBlock* GetFrameState() const { return (VMBasicBlock*)GetReference(FrameStateWord); }
  void SetFrameState(VMBasicBlock* b) { SetReference(FrameStateWord, (VMObject*)b); }
  VMBasicBlock* GetFrameCaller() const { return (VMBasicBlock*)GetReference(FrameCallerWord); }
  void SetFrameCaller(VMBasicBlock* b) { SetReference(FrameCallerWord, (VMObject*)b); }
};

#endif
