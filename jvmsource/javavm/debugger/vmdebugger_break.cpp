/* Breakpoints and watches of the debugger agent, and the class loads a thread reports
   when it comes under the debugger.

   A breakpoint is the reserved opcode written over the first byte of an instruction.
   Only an instruction's start is ever patched: a byte written over an operand would
   turn a branch offset, a pool index or a local number into something else in every
   machine of the name space. The displaced byte comes back when the last breakpoint
   on the place goes. Quickening never writes over a planted breakpoint, and a patch
   never lands while another thread is halfway through quickening the instruction.

   The agent's lists are changed under its break-list mutex, and the debugging loops
   read them under it, so a record is never freed under a reader. */
#include "vmdebugger_break.h"

#include "vm.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmframe_handlers.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace dbg;

namespace {

const char kPatchGet[] = "namespace spinlock - Get  debugger patch";
const char kPatchRelease[] = "namespace spinlock - Release  debugger patch";

/* The flow analysis and the interpreter ask the debugger what a breakpoint hides. */
struct InstallFinder {
  InstallFinder() { VMBasicBlock::SetPreBreakpointOpcodeFinder(&VMDebugger::FindPreBreakpointOpcode); }
} installFinder;

inline uint8_t* CodeByte(VMMethod* method, uint32_t pc) {
  return (uint8_t*)method->GetCode()->FindElement(pc, 0u);
}

VMDebuggerBreakOpcode* FindRecord(VMNameSpace* ns, VMMethod* method, uint32_t pc) {
  for (VMDebuggerBreakOpcode* r = ns->GetBreakOpcodes(); r != NULL; r = r->GetNext())
    if (r->GetMethod() == method && r->GetPC() == pc) return r;
  return NULL;
}

/* The caller holds the opcode mutex. */
uint8_t PreOpcode(VMNameSpace* ns, VMMethod* method, uint32_t pc) {
  uint8_t byte = *CodeByte(method, pc);
  if (byte != OP_breakpoint) return byte;
  VMDebuggerBreakOpcode* r = FindRecord(ns, method, pc);
  return r != NULL ? r->GetOldByte() : byte;
}

int32_t S4(VMMethod* method, uint32_t at) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < 4; i++) v |= (uint32_t)*CodeByte(method, at + i) << (8 * i);
  return (int32_t)v;
}

/* The length of the instruction at pc (operands in host order, as the load-time pass
   left them); 0 when it does not fit the code. The caller holds the opcode mutex. */
uint32_t LengthAt(VMNameSpace* ns, VMMethod* method, uint32_t pc, uint32_t size) {
  uint8_t op = PreOpcode(ns, method, pc);
  // A field instruction another thread is quickening this moment: three bytes either way.
  if (op == OP_field_rewriting) return (uint64_t)pc + 3 <= size ? 3 : 0;
  if (op > VMLastOpcode || op == OP_breakpoint) return 0;
  uint64_t end;
  switch (op) {
    case OP_tableswitch: {
      uint32_t p = (pc + 4) & ~3u;
      if ((uint64_t)p + 12 > size) return 0;
      int64_t low = S4(method, p + 4), high = S4(method, p + 8);
      if (high < low) return 0;
      end = (uint64_t)p + 12 + 4 * (uint64_t)(high - low + 1);
      break;
    }
    case OP_lookupswitch: {
      uint32_t p = (pc + 4) & ~3u;
      if ((uint64_t)p + 8 > size) return 0;
      int32_t pairs = S4(method, p + 4);
      if (pairs < 0) return 0;
      end = (uint64_t)p + 8 + 8 * (uint64_t)pairs;
      break;
    }
    case OP_wide:
      if ((uint64_t)pc + 2 > size) return 0;
      end = (uint64_t)pc + (*CodeByte(method, pc + 1) == OP_iinc ? 6 : 4);
      break;
    default:
      end = (uint64_t)pc + (VMOpcodeLength[op] != 0 ? VMOpcodeLength[op] : 1);
      break;
  }
  return end <= size ? (uint32_t)(end - pc) : 0;
}

/* The caller holds the opcode mutex. */
bool IsStartLocked(VMNameSpace* ns, VMMethod* method, uint32_t pc) {
  uint32_t size = method->GetCode()->GetSize();
  uint32_t at = 0;
  while (at < pc) {
    uint32_t length = LengthAt(ns, method, at, size);
    if (length == 0) return false;
    at += length;
  }
  return at == pc && pc < size;
}

/* Writes the breakpoint opcode over the instruction's opcode and returns the byte it
   displaced. A thread that is quickening the instruction in several stores is waited
   for; a one-byte quickening takes the same spin lock, so it either comes first (and
   its quick byte is displaced) or finds the breakpoint and leaves it. */
uint8_t Patch(VMNameSpace* ns, uint8_t* byte) {
  for (;;) {
    uint8_t seen = __atomic_load_n(byte, __ATOMIC_ACQUIRE);
    if (seen == OP_field_rewriting) {
      __builtin_ia32_pause();
      continue;
    }
    bool locked = VMUtils::P_SpinLock(ns->GetSpinLock(), kPatchGet) != 0;
    bool done = __atomic_compare_exchange_n(byte, &seen, (uint8_t)OP_breakpoint, false, __ATOMIC_SEQ_CST,
                                            __ATOMIC_RELAXED);
    if (locked) VMUtils::V_SpinLock(ns->GetSpinLock(), kPatchRelease);
    if (done) return seen;
  }
}

void Restore(VMNameSpace* ns, uint8_t* byte, uint8_t old) {
  bool locked = VMUtils::P_SpinLock(ns->GetSpinLock(), kPatchGet) != 0;
  __atomic_store_n(byte, old, __ATOMIC_SEQ_CST);
  if (locked) VMUtils::V_SpinLock(ns->GetSpinLock(), kPatchRelease);
}

/* Whether the watched frame is still one of its thread's, running the same method. */
bool FrameLives(VMThread* thread, VMDebuggerDataBreakpoint* watch) {
  VMByteCodeFrame* target = watch->GetFrame();
  VMMethod* method = (VMMethod*)watch->GetScalar(VMDebuggerDataBreakpoint::MethodWord);
  for (VMFrame* f = thread->GetFrame(); f != NULL && !f->GetIsFirstFrame(); f = f->caller)
    if (f == (VMFrame*)target) return f->GetIsExecutableByteCode() && f->method == method;
  return false;
}

/* Forgets the loader's classes in the agent's class-load lists: a record there would
   name a freed class. A delivered class keeps its number, with nothing behind it. */
void DropLoadedClasses(VMDebugger* agent, VMClassLoader* loader) {
  VMUtils::MutexLock(agent->GetClassLoadMutex());
  VMDebuggerClassLoad* previous = NULL;
  for (VMDebuggerClassLoad* c = agent->GetPendingClassLoads(); c != NULL;) {
    VMDebuggerClassLoad* next = c->GetNext();
    VMClass* cls = c->GetClassLoaded();
    if (cls != NULL && cls->GetClassLoader() == loader) {
      if (previous == NULL)
        agent->SetPendingClassLoads(next);
      else
        previous->SetNext(next);
      if (agent->GetAnnouncedClassLoad() == c) agent->SetAnnouncedClassLoad(NULL);
      c->Destroy(agent->GetHeap());
    } else {
      previous = c;
    }
    c = next;
  }
  VMClassHandleArray* loaded = agent->GetClassesLoaded();
  for (uint32_t i = 1; loaded != NULL && i < loaded->GetCount(); i++) {
    VMClass* cls = loaded->Get(i);
    if (cls != NULL && cls->GetClassLoader() == loader) loaded->Delete(i);
  }
  VMUtils::MutexUnlock(agent->GetClassLoadMutex());
}

/* Drops the breakpoints and watches of one agent that name what the loader's
   destruction frees: its methods' code and its classes' static data. */
void DropLoader(VMDebugger* agent, VMClassLoader* loader) {
  DropLoadedClasses(agent, loader);
  HHeap* heap = agent->GetHeap();
  VMUtils::MutexLock(agent->GetBreakListMutex());
  VMDebuggerCodeBreakpoint* previous = NULL;
  for (VMDebuggerCodeBreakpoint* b = agent->GetCodeBreaks(); b != NULL;) {
    VMDebuggerCodeBreakpoint* next = b->GetNext();
    VMMethod* m = b->GetBreakOpcode()->GetMethod();
    if (m->GetDefinedIn() != NULL && m->GetDefinedIn()->GetClassLoader() == loader) {
      if (previous == NULL)
        agent->SetCodeBreaks(next);
      else
        previous->SetNext(next);
      b->Destroy(heap);
    } else {
      previous = b;
    }
    b = next;
  }
  VMDebuggerDataBreakpoint* before = NULL;
  for (VMDebuggerDataBreakpoint* d = agent->GetDataBreaks(); d != NULL;) {
    VMDebuggerDataBreakpoint* next = d->GetNext();
    VMObject* owner = d->GetOwner();
    VMLoadableClass* cls = owner != NULL ? owner->GetStaticDataClass() : NULL;
    if (cls != NULL && cls->GetClassLoader() == loader) {
      if (before == NULL)
        agent->SetDataBreaks(next);
      else
        before->SetNext(next);
      d->Destroy(heap);
    } else {
      before = d;
    }
    d = next;
  }
  VMUtils::MutexUnlock(agent->GetBreakListMutex());
}

}  // namespace

/* ---- records ---- */

VMDebuggerBreakOpcode* VMDebuggerBreakOpcode::CreateInstance(HHeap* heap, VMMethod* method, uint32_t pc) {
  VMDebuggerBreakOpcode* r = (VMDebuggerBreakOpcode*)CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMDebuggerBreakOpcode, jallocFailFast);
  if (r == NULL) return NULL;
  r->SetReference(MethodWord, (VMObject*)method);
  r->SetScalar(PCWord, pc);
  return r;
}

VMDebuggerCodeBreakpoint* VMDebuggerCodeBreakpoint::CreateInstance(VMDebugger* agent, HHeap* heap, VMMethod* method,
                                                                   uint32_t pc, VMDebuggerCodeBreakpoint* next,
                                                                   bool* noMemory) {
  VMNameSpace* ns = agent->GetNameSpace();
  VMUtils::MutexLock(ns->GetOpcodeMutex());
  VMDebuggerCodeBreakpoint* record = NULL;
  bool refused = false;
  if (IsStartLocked(ns, method, pc)) {
    record = (VMDebuggerCodeBreakpoint*)CreateInternalNotToBeCalledDirectly(
        heap, Words, RefMask, VMTag_VMDebuggerCodeBreakpoint, jallocFailFast);
    refused = record == NULL;
  }
  if (record != NULL) {
    uint8_t* byte = CodeByte(method, pc);
    VMDebuggerBreakOpcode* op = FindRecord(ns, method, pc);
    if (op == NULL && *byte != OP_breakpoint) {
      op = VMDebuggerBreakOpcode::CreateInstance(ns->GetHeap(), method, pc);
      refused = op == NULL;
      if (op != NULL) {
        op->SetOldByte(Patch(ns, byte));
        op->SetNext(ns->GetBreakOpcodes());
        ns->SetBreakOpcodes(op);
      }
    } else if (op != NULL && *byte != OP_breakpoint) {
      // Written back meanwhile by something that did not know of the record.
      (void)Patch(ns, byte);
    }
    // A breakpoint byte with no record of what it hides is never taken over.
    if (op == NULL) {
      record->VMObject::Destroy(heap);
      record = NULL;
    } else {
      op->SetRefCount(op->GetRefCount() + 1);
      record->SetReference(BreakOpcodeWord, (VMObject*)op);
      record->SetReference(DebuggerWord, (VMObject*)agent);
      record->SetNext(next);
    }
  }
  VMUtils::MutexUnlock(ns->GetOpcodeMutex());
  if (noMemory != NULL) *noMemory = refused;
  return record;
}

void VMDebuggerCodeBreakpoint::Destroy(HHeap* heap) {
  VMNameSpace* ns = GetDebugger()->GetNameSpace();
  VMUtils::MutexLock(ns->GetOpcodeMutex());
  VMDebuggerBreakOpcode* op = GetBreakOpcode();
  if (op != NULL) {
    uint32_t left = op->GetRefCount() - 1;
    op->SetRefCount(left);
    if (left == 0) {
      Restore(ns, CodeByte(op->GetMethod(), op->GetPC()), op->GetOldByte());
      VMDebuggerBreakOpcode* previous = NULL;
      for (VMDebuggerBreakOpcode* r = ns->GetBreakOpcodes(); r != NULL; previous = r, r = r->GetNext()) {
        if (r != op) continue;
        if (previous == NULL)
          ns->SetBreakOpcodes(r->GetNext());
        else
          previous->SetNext(r->GetNext());
        break;
      }
      op->VMObject::Destroy(ns->GetHeap());
    }
  }
  VMObject::Destroy(heap);
  VMUtils::MutexUnlock(ns->GetOpcodeMutex());
}

VMDebuggerDataBreakpoint* VMDebuggerDataBreakpoint::CreateInstance(HHeap* heap, VMDebuggerDataBreakpoint* next) {
  VMDebuggerDataBreakpoint* d = (VMDebuggerDataBreakpoint*)CreateInternalNotToBeCalledDirectly(
      heap, Words, RefMask, VMTag_VMDebuggerDataBreakpoint, jallocFailFast);
  if (d != NULL) d->SetNext(next);
  return d;
}

void VMDebuggerDataBreakpoint::Read(uint8_t* out) const {
  uint32_t size = GetSize();
  uint32_t offset = GetOffset();
  if (VMObject* owner = GetOwner()) {
    // A body in pieces has no run of bytes longer than its piece: byte by byte.
    for (uint32_t i = 0; i < size; i++) out[i] = *owner->ExpensiveLocateElementAtOffset(offset + i);
  } else {
    memcpy(out, (uint8_t*)GetFrame()->locals + offset, size);
  }
}

void VMDebuggerDataBreakpoint::SynchOldValue() {
  uint8_t now[MaxSize] = {0};
  Read(now);
  VMword words[2];
  memcpy(words, now, sizeof now);
  SetScalar(OldLowWord, words[0]);
  SetScalar(OldHighWord, words[1]);
}

bool VMDebuggerDataBreakpoint::OldValueChanged() const {
  uint8_t now[MaxSize] = {0};
  Read(now);
  VMword words[2] = {GetScalar(OldLowWord), GetScalar(OldHighWord)};
  return memcmp(now, words, GetSize()) != 0;
}

/* ---- code breakpoints ---- */

bool VMDebugger::IsInstructionStart(VMMethod* method, uint32_t pc) {
  if (method == NULL || method->GetCode() == NULL || method->GetDefinedIn() == NULL) return false;
  VMNameSpace* ns = method->GetDefinedIn()->GetNameSpace();
  VMUtils::MutexLock(ns->GetOpcodeMutex());
  bool start = IsStartLocked(ns, method, pc);
  VMUtils::MutexUnlock(ns->GetOpcodeMutex());
  return start;
}

uint8_t VMDebugger::FindPreBreakpointOpcode(VMMethod* method, uint32_t pc) {
  uint8_t byte = *CodeByte(method, pc);
  if (byte != OP_breakpoint) return byte;
  VMNameSpace* ns = method->GetDefinedIn()->GetNameSpace();
  VMUtils::MutexLock(ns->GetOpcodeMutex());
  byte = PreOpcode(ns, method, pc);
  VMUtils::MutexUnlock(ns->GetOpcodeMutex());
  return byte;
}

bool VMDebugger::BreakSet(VMMethod* method, uint32_t pc, bool* noMemory) {
  if (noMemory != NULL) *noMemory = false;
  if (method == NULL || method->GetCode() == NULL || method->GetDefinedIn() == NULL) return false;
  // Only code of this agent's class world: the patch and its lock are the name space's.
  if (method->GetDefinedIn()->GetNameSpace() != GetNameSpace()) return false;
  if (pc >= method->GetCode()->GetSize()) return false;
  VMUtils::MutexLock(GetBreakListMutex());
  VMDebuggerCodeBreakpoint* record =
      VMDebuggerCodeBreakpoint::CreateInstance(this, GetHeap(), method, pc, GetCodeBreaks(), noMemory);
  if (record != NULL) SetCodeBreaks(record);
  VMUtils::MutexUnlock(GetBreakListMutex());
  return record != NULL;
}

void VMDebugger::BreakClear(VMMethod* method, uint32_t pc) {
  VMUtils::MutexLock(GetBreakListMutex());
  VMDebuggerCodeBreakpoint* previous = NULL;
  for (VMDebuggerCodeBreakpoint* b = GetCodeBreaks(); b != NULL; previous = b, b = b->GetNext()) {
    VMDebuggerBreakOpcode* op = b->GetBreakOpcode();
    if (op->GetMethod() != method || op->GetPC() != pc) continue;
    if (previous == NULL)
      SetCodeBreaks(b->GetNext());
    else
      previous->SetNext(b->GetNext());
    b->Destroy(GetHeap());
    break;
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
}

void VMDebugger::ClearCodeBreaks() {
  VMUtils::MutexLock(GetBreakListMutex());
  while (VMDebuggerCodeBreakpoint* head = GetCodeBreaks()) {
    SetCodeBreaks(head->GetNext());
    head->Destroy(GetHeap());
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
}

void VMDebugger::ClearDataBreaks() {
  VMUtils::MutexLock(GetBreakListMutex());
  while (VMDebuggerDataBreakpoint* head = GetDataBreaks()) {
    SetDataBreaks(head->GetNext());
    head->Destroy(GetHeap());
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
}

void VMDebugger::ClearAllBreaks() {
  // A half-made agent has no lists, nor the lock that guards them.
  if (GetBreakListMutex() == NULL) return;
  ClearCodeBreaks();
  ClearDataBreaks();
}

void VMDebugger::ReportBreakpoint(VMByteCodeFrame* frame) {
  VMMethod* method = frame->method;
  uint32_t pc = frame->GetPC(false);
  bool mine = false;
  VMUtils::MutexLock(GetBreakListMutex());
  for (VMDebuggerCodeBreakpoint* b = GetCodeBreaks(); b != NULL && !mine; b = b->GetNext()) {
    VMDebuggerBreakOpcode* op = b->GetBreakOpcode();
    mine = op->GetMethod() == method && op->GetPC() == pc;
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
  // Another agent's breakpoint in shared code is not this client's business.
  if (mine) AddEvent(EventBreakpoint, NULL, frame);
}

void VMDebugger::ForgetLoader(VM* vm, VMClassLoader* loader) {
  if (vm == NULL || loader == NULL) return;
  // No global mutex: a thread holding it may be attaching to this machine, and so be
  // waiting for the collection the caller holds. Nor is it needed: which agents the
  // machine has changes only on its own threads (a client call is carried by one), all
  // stopped; the lists themselves are changed under their agent's locks.
  if (VMDebugger* agent = vm->GetDebugger()) DropLoader(agent, loader);
  for (VMDebugger* d = vm->GetDeadDebuggers(); d != NULL; d = d->GetNextDeadDebugger()) DropLoadedClasses(d, loader);
}

/* ---- watches ---- */

bool VMDebugger::BreakSetWriteBody(VMObject* owner, uint32_t byteOffset, uint32_t size) {
  if (owner == NULL || size > VMDebuggerDataBreakpoint::MaxSize) return false;
  uint64_t limit;
  if (owner->GetIsScalarArray() || owner->GetIsRefArray()) {
    VMArray* array = (VMArray*)owner;
    limit = 8 + ((uint64_t)array->GetSize() << array->GetElementShift());
  } else {
    limit = (uint64_t)owner->GetNumberOfElements() * 4;
  }
  if ((uint64_t)byteOffset + size > limit) return false;
  VMUtils::MutexLock(GetBreakListMutex());
  VMDebuggerDataBreakpoint* d = VMDebuggerDataBreakpoint::CreateInstance(GetHeap(), GetDataBreaks());
  if (d != NULL) {
    d->SetReference(VMDebuggerDataBreakpoint::OwnerWord, owner);
    d->SetScalar(VMDebuggerDataBreakpoint::OffsetWord, byteOffset);
    d->SetScalar(VMDebuggerDataBreakpoint::SizeWord, size);
    d->SynchOldValue();
    SetDataBreaks(d);
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
  return d != NULL;
}

bool VMDebugger::BreakSetWriteLocal(VMByteCodeFrame* frame, uint32_t slot, uint32_t size) {
  if (frame == NULL || !frame->GetIsExecutableByteCode() || frame->GetIsFirstFrame() || frame->method == NULL)
    return false;
  if (size > VMDebuggerDataBreakpoint::MaxSize) return false;
  if ((uint64_t)slot * 4 + size > frame->method->GetLocalBytes()) return false;
  VMUtils::MutexLock(GetBreakListMutex());
  VMDebuggerDataBreakpoint* d = VMDebuggerDataBreakpoint::CreateInstance(GetHeap(), GetDataBreaks());
  if (d != NULL) {
    d->SetReference(VMDebuggerDataBreakpoint::ThreadWord, (VMObject*)frame->thread);
    d->SetScalar(VMDebuggerDataBreakpoint::FrameWord, (VMword)frame);
    d->SetScalar(VMDebuggerDataBreakpoint::MethodWord, (VMword)frame->method);
    d->SetScalar(VMDebuggerDataBreakpoint::OffsetWord, slot * 4);
    d->SetScalar(VMDebuggerDataBreakpoint::SizeWord, size);
    d->SynchOldValue();
    SetDataBreaks(d);
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
  return d != NULL;
}

void VMDebugger::CheckBreakWrite(VMByteCodeFrame* frame) {
  if (GetDataBreaks() == NULL) return;
  VMThread* me = frame->thread;
  bool changed = false;
  VMUtils::MutexLock(GetBreakListMutex());
  VMDebuggerDataBreakpoint* previous = NULL;
  for (VMDebuggerDataBreakpoint* d = GetDataBreaks(); d != NULL && !changed;) {
    VMDebuggerDataBreakpoint* next = d->GetNext();
    if (d->GetOwner() == NULL) {
      // Locals are written by their own thread alone, and read only there.
      if (d->GetThread() != me) {
        previous = d;
        d = next;
        continue;
      }
      if (!FrameLives(me, d)) {
        if (previous == NULL)
          SetDataBreaks(next);
        else
          previous->SetNext(next);
        d->Destroy(GetHeap());
        d = next;
        continue;
      }
    }
    if (d->OldValueChanged()) {
      d->SynchOldValue();
      changed = true;
    }
    previous = d;
    d = next;
  }
  VMUtils::MutexUnlock(GetBreakListMutex());
  // Reported without the lock: the client changes the lists while this thread waits.
  if (changed) ReportBreakWrite(frame);
}

/* ---- class loads ---- */

void VMDebugger::ReportAllClassLoads() {
  VM* vm = GetVM();
  VMClassLoaderHashTable* loaders = GetNameSpace()->GetClassLoaders();
  if (loaders == NULL || !loaders->Lock(true)) return;
  // Each table is read under its own lock: a table that grows meanwhile is replaced and
  // freed. The records are made without a collection (kind 1) under them.
  for (uint32_t i = 0; i < loaders->GetFilled(); i++) {
    VMClassLoader* loader = (VMClassLoader*)loaders->Get(i);
    VMClassHashTable* classes = loader != NULL ? loader->GetClassTable() : NULL;
    if (classes == NULL || !classes->Lock(true)) continue;
    for (uint32_t j = 0; j < classes->GetFilled(); j++) {
      VMClass* cls = (VMClass*)classes->Get(j);
      if (cls == NULL || !cls->GetIsLoadable()) continue;
      VMLoadableClass* loadable = cls->GetLoadableClass();
      if (loadable->GetInitializedStaticData(vm) != NULL) NotifyClassLoad(loadable);
    }
    classes->relSpinlock();
  }
  loaders->relSpinlock();
}

/* ---- relocation ---- */

void VMDebugger::RelocateFrames(VMRelocateInfo* info) {
  info->Relocate(&Body()[CurrentFrameWord]);
  info->Relocate(&Body()[TraceFrameWord]);
  // The list's words were rewritten with the records: it is read at the new places.
  for (VMDebuggerDataBreakpoint* d = GetDataBreaks(); d != NULL; d = d->GetNext())
    if (d->GetOwner() == NULL) info->Relocate(d->GetElementAddress(VMDebuggerDataBreakpoint::FrameWord));
}
