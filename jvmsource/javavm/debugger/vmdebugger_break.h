/* The records behind breakpoints and watches.

   Method code belongs to the name space, which several machines may share: the patch
   at one (method, pc) is one record on the name space, counted by every breakpoint of
   every agent that uses it, and the displaced opcode goes back into the code when the
   last one goes. Each agent keeps its own breakpoints and watches. */
#ifndef PUX_VMDEBUGGER_BREAK_H
#define PUX_VMDEBUGGER_BREAK_H

#include "vmdebugger.h"

/* One patched instruction of a name space (made from the name space's heap). */
class VMDebuggerBreakOpcode : public VMInternalObject {
 public:
  enum { Words = 5, RefMask = 0x3 };
  enum { NextWord = 0, MethodWord = 1, PCWord = 2, RefCountWord = 3, OldByteWord = 4 };
  static VMDebuggerBreakOpcode* CreateInstance(HHeap* heap, VMMethod* method, uint32_t pc);
  VMDebuggerBreakOpcode* GetNext() const { return (VMDebuggerBreakOpcode*)GetReference(NextWord); }
  void SetNext(VMDebuggerBreakOpcode* n) { SetReference(NextWord, (VMObject*)n); }
  VMMethod* GetMethod() const { return (VMMethod*)GetReference(MethodWord); }
  uint32_t GetPC() const { return GetScalar(PCWord); }
  uint32_t GetRefCount() const { return GetScalar(RefCountWord); }
  void SetRefCount(uint32_t n) { SetScalar(RefCountWord, n); }
  uint8_t GetOldByte() const { return (uint8_t)GetScalar(OldByteWord); }
  void SetOldByte(uint8_t b) { SetScalar(OldByteWord, (VMword)(int32_t)(int8_t)b); }
};

/* One breakpoint of one agent (made from the agent's heap). */
class VMDebuggerCodeBreakpoint : public VMInternalObject {
 public:
  enum { Words = 3, RefMask = 0x7 };
  enum { DebuggerWord = 0, NextWord = 1, BreakOpcodeWord = 2 };
  /* The caller holds the agent's break-list mutex. NULL when the place cannot be
     patched or no memory (*noMemory, when given, tells which); nothing is left behind
     then. */
  static VMDebuggerCodeBreakpoint* CreateInstance(VMDebugger* agent, HHeap* heap, VMMethod* method, uint32_t pc,
                                                  VMDebuggerCodeBreakpoint* next, bool* noMemory = NULL);
  /* Lets go of the patch (restored when no breakpoint uses it any more), then the
     record. */
  void Destroy(HHeap* heap);
  VMDebugger* GetDebugger() const { return (VMDebugger*)GetReference(DebuggerWord); }
  VMDebuggerCodeBreakpoint* GetNext() const { return (VMDebuggerCodeBreakpoint*)GetReference(NextWord); }
  void SetNext(VMDebuggerCodeBreakpoint* n) { SetReference(NextWord, (VMObject*)n); }
  VMDebuggerBreakOpcode* GetBreakOpcode() const { return (VMDebuggerBreakOpcode*)GetReference(BreakOpcodeWord); }
};

/* One watch: up to 8 bytes of an object's body (the object held by the record, so it
   neither goes nor moves from under the watch: its place is found from it at every
   check), or of a frame's locals (checked on the frame's own thread alone, which is
   the only one that writes them, and dropped once the frame is gone). */
class VMDebuggerDataBreakpoint : public VMInternalObject {
 public:
  enum { Words = 9, RefMask = 0x7 };
  enum {
    NextWord = 0,
    OwnerWord = 1,
    ThreadWord = 2,
    FrameWord = 3,
    MethodWord = 4,
    OffsetWord = 5,
    SizeWord = 6,
    OldLowWord = 7,
    OldHighWord = 8,
  };
  enum : uint32_t { MaxSize = 8 };
  static VMDebuggerDataBreakpoint* CreateInstance(HHeap* heap, VMDebuggerDataBreakpoint* next);
  void Destroy(HHeap* heap) { VMObject::Destroy(heap); }
  VMDebuggerDataBreakpoint* GetNext() const { return (VMDebuggerDataBreakpoint*)GetReference(NextWord); }
  void SetNext(VMDebuggerDataBreakpoint* n) { SetReference(NextWord, (VMObject*)n); }
  VMObject* GetOwner() const { return GetReference(OwnerWord); }
  VMThread* GetThread() const { return (VMThread*)GetReference(ThreadWord); }
  VMByteCodeFrame* GetFrame() const { return (VMByteCodeFrame*)GetScalar(FrameWord); }
  uint32_t GetOffset() const { return GetScalar(OffsetWord); }
  uint32_t GetSize() const { return GetScalar(SizeWord); }
  /* The watched bytes as they are now. */
  void Read(uint8_t* out) const;
  /* The watched bytes as last seen := as they are now. */
  void SynchOldValue();
  bool OldValueChanged() const;
};

#endif
