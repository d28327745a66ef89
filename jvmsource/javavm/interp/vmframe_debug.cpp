/* The debugging loop: how a thread that the debugger watches runs bytecode.

   It runs one instruction at a time through the opcode table, with the frame's stack
   and pc stored before each one, so that whatever stops the thread (a step, a
   breakpoint, a watched write, an interrupt request) finds the frame whole: the client
   reads it, and a collection that runs while the thread waits walks it. A breakpoint is
   reported before its instruction, which then runs as the opcode it displaced; when the
   client clears the breakpoint meanwhile, the restored instruction runs. A thread
   enters the loop at its next entry into bytecode, or at its next poll when asked to
   (as every thread brought under the agent is: the fast loop makes calls and returns
   itself, and may never come back to an entry), and leaves it for the plain loops as
   soon as its agent is gone or disconnected. Plain loops pay nothing for any of this:
   they only see the env's debug byte at entry. */
#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmframe_handlers.h"
#include "vmjni.h"
#include "vmthread.h"

namespace {

/* The agent that watches the thread now, or NULL: the loop then hands over to the
   plain loops. */
inline VMDebugger* Watching(JNIEnv* env, VMThread* thread) {
  if ((env->debug & 0xFF) == 0) return NULL;
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  return agent != NULL && agent->GetIsConnected() ? agent : NULL;
}

/* A report waited in a safe region, where the host may have moved the machine: the
   registers name old copies. The Execute that owns the current frame starts over from
   the frame, which the move rewrote. */
[[noreturn]] void ResumeMoved(JNIEnv* env) {
  VMFrame* current = env->thread->GetFrame();
  longjmp(*current->GetOwner()->firstJmpBuf, 1);
}

/* Runs the thread's frames until no bytecode frame is current (true) or the thread is
   no longer watched (false: the plain loops go on from the stored state). */
__attribute__((noinline)) bool DebugLoop(JNIEnv* env) {
  for (;;) {
    VMThread* thread = env->thread;
    VMFrame* current = thread->GetFrame();
    if (!(current->flags & VMFrame::ExecutableByteCodeFlag)) return true;
    VMByteCodeFrame* f = (VMByteCodeFrame*)current;
    // The loop works by offsets.
    if (f->flags & VMFrame::UsingFastLoopFlag) {
      f->slowLoopPC = f->GetPC(false);
      f->ClearIsUsingFastLoop();
    }
    VMword* sp = f->stack;
    VMword* locals = f->locals;
    VMbyteArray* code = f->method->GetCode();
    uint32_t pc = f->slowLoopPC;
    VMCodeSegment cursor;
    cursor.offset = -1;
    for (;;) {
      f->stack = sp;
      f->slowLoopPC = pc;
      VMDebugger* agent = Watching(env, thread);
      if (agent == NULL) {
        f->GetOwner()->flags &= ~(VMword)VMFrame::DebugLoopFlag;
        return false;
      }
      uint32_t moves = VMFrame::GetRelocations();
      uint8_t byte = *(uint8_t*)code->FindElement(pc, 0u);
      // One check per instruction, the step first: a stepping thread stops where its
      // step ends, never at a breakpoint as such.
      if (agent->GetTraceThread() == thread)
        agent->CheckTrace(f);
      else if (byte == OP_breakpoint)
        agent->ReportBreakpoint(f);
      else if (agent->GetDataBreaks() != NULL)
        agent->CheckBreakWrite(f);
      else if (agent->GetInterruptPending())
        agent->ReportInterrupt(f);
      if (VMFrame::GetRelocations() != moves) ResumeMoved(env);
      // Fetched after the report: the client may have planted or cleared a breakpoint.
      uint8_t* instruction = cursor.FetchInstruction(code, pc);
      VMOpResult r = *instruction == OP_breakpoint
                         ? VMByteCodeFrame::RunPreBreakpointOpcode(sp, instruction, locals, f)
                         : VMOpcodeTable[*instruction](sp, instruction, locals, f);
      int32_t advance = VM_OP_ADVANCE(r);
      // A call, a return or a throw: the handler stored what the next frame needs.
      if (advance == 0) break;
      sp = (VMword*)((uint8_t*)sp + VM_OP_STACK(r));
      pc += (uint32_t)advance;
    }
  }
}

}  // namespace

bool VMByteCodeFrame::ExecuteDebug(JNIEnv* env, jmp_buf* inner) {
  VMThread* thread = env->thread;
  VMFrame* top = thread->GetFrame();
  if (!(top->flags & ExecutableByteCodeFlag)) return true;
  VMDebugger* agent = Watching(env, thread);
  if (agent == NULL) return false;
  VM* vm = thread->GetVM();
  if ((thread->GetDebuggerAttachRequested() || thread->GetDebuggerAttachRequestNoticedByYield()) &&
      vm->GetInitialized()) {
    thread->ClearDebuggerAttachRequested();
    thread->ClearDebuggerAttachRequestNoticedByYield();
    // A thread sent here to carry out a step (perhaps already running this loop) stops
    // where the step ends, not on arrival.
    bool only = thread->GetDebugLoopOnly();
    thread->ClearDebugLoopOnly();
    if (!only) {
      agent->ReportAllClassLoads();
      uint32_t moves = VMFrame::GetRelocations();
      agent->ReportInitialBreakpoint((VMByteCodeFrame*)top);
      if (VMFrame::GetRelocations() != moves) ResumeMoved(env);
    }
  }
  // Throws, calls and frame switches of the frames this Execute owns come back here.
  if (setjmp(*inner) != 0) {
  }
  env->thread->GetFrame()->GetOwner()->flags |= VMFrame::DebugLoopFlag;
  return DebugLoop(env);
}

void VMDebugger::JumpToDebugLoop(VMThread* thread) {
  VMFrame* top = thread->GetFrame();
  // Without a bytecode frame running (the thread's first frame) the next entry into
  // bytecode runs the loop.
  if (top == NULL || !(top->flags & VMFrame::ExecutableByteCodeFlag)) return;
  // Every Execute of the thread starts over at its outer buffer when next jumped to,
  // and so takes up the debugging loop there.
  for (VMFrame* f = top; f != NULL && !f->GetIsFirstFrame(); f = f->caller)
    if ((f->flags & VMFrame::ExecutableByteCodeFlag) && f->GetHasJmpBuf()) ((VMByteCodeFrame*)f)->RelocationOccured();
  longjmp(*top->GetOwner()->firstJmpBuf, 1);
}

void VMDebugger::TakeOverAfterNative(VMThread* thread) {
  // Its next poll would come too late: a step out of the call back ends before it (and a
  // later poll may lie inside a call of this frame, which a step out does not stop in),
  // and the instructions before it could trip a watch unseen.
  if (Watching(thread->GetEnv(), thread) == NULL) return;
  if (thread->GetFrame()->GetOwner()->flags & VMFrame::DebugLoopFlag) return;
  JumpToDebugLoop(thread);
}

void VMDebugger::AskCallersOver(VMThread* thread) {
  if (!GetIsConnected()) return;
  // The entry ran the debugging loop, perhaps taking the thread's request to go over
  // there, but the Executes below it only look at the debug byte when they start or are
  // jumped to, and coming back from a native or an initialiser is neither: asked again,
  // they go over at their next poll (silently unless an arrival is still due).
  if (!thread->GetDebuggerAttachRequested()) thread->SetDebugLoopOnly();
  thread->SetDebuggerAttachRequested();
}

void VMDebugger::StepFrameGone(VMThread* thread, VMFrame* remaining) {
  if (GetTraceThread() != thread) return;
  VMByteCodeFrame* bound = GetTraceFrame();
  if (bound == NULL) return;
  for (VMFrame* f = remaining; f != NULL && !f->GetIsFirstFrame(); f = f->caller)
    if (f == (VMFrame*)bound) return;
  // Its memory may hold a new frame before the thread runs bytecode again: the step is
  // bounded by nothing now, and stops at the thread's next instruction.
  SetTraceFrame(NULL);
  SetTraceLine(0);
}
