/* The execution driver: entries from native and compiled code, the dispatch loops, the
   native call trampoline, and the throw path that unwinds frames to a handler. */
#include <string.h>

#include "vm.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

/* Java -> native -> Java nesting grows the host thread's own stack; past this depth the
   call fails with StackOverflowError instead of running the host out of stack. */
const int kMaxExecuteNesting = 400;
thread_local int executeNesting = 0;

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* The trampoline                                                                        */

/* cdecl: function, env, area, twoWordBits, floatBits, words, returnType. Every argument
   word travels on the stack on this platform, so the two bit masks are not read. The
   stack is aligned to 16 at the call and restored from ebp afterwards, whatever the
   callee popped (stdcall, C convention, or a wrongly declared native). */
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".globl VMCallNativeFunction\n"
    ".hidden VMCallNativeFunction\n"
    ".type VMCallNativeFunction, @function\n"
    "VMCallNativeFunction:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 28(%ebp), %ecx\n"      /* words */
    "  leal 4(,%ecx,4), %eax\n"    /* bytes of the env and the words */
    "  movl %esp, %edx\n"
    "  subl %eax, %edx\n"
    "  andl $-16, %edx\n"
    "  movl %edx, %esp\n"
    "  movl 12(%ebp), %eax\n"      /* env first */
    "  movl %eax, (%esp)\n"
    "  leal 4(%esp), %edi\n"
    "  movl 16(%ebp), %esi\n"
    "  cld\n"
    "  rep movsl\n"
    "  call *8(%ebp)\n"
    "  movl 16(%ebp), %ecx\n"      /* area */
    "  movl 32(%ebp), %ebx\n"      /* return letter */
    "  cmpl $86, %ebx\n"           /* V */
    "  je 9f\n"
    "  cmpl $73, %ebx\n"           /* I */
    "  je 1f\n"
    "  cmpl $76, %ebx\n"           /* L */
    "  je 1f\n"
    "  cmpl $91, %ebx\n"           /* [ */
    "  je 1f\n"
    "  cmpl $74, %ebx\n"           /* J */
    "  je 2f\n"
    "  cmpl $70, %ebx\n"           /* F */
    "  je 3f\n"
    "  cmpl $68, %ebx\n"           /* D */
    "  je 4f\n"
    "  cmpl $67, %ebx\n"           /* C */
    "  je 5f\n"
    "  cmpl $83, %ebx\n"           /* S */
    "  je 6f\n"
    "  cmpl $90, %ebx\n"           /* Z */
    "  je 7f\n"
    "  movsbl %al, %eax\n"         /* B and anything else */
    "  jmp 1f\n"
    "5: movzwl %ax, %eax\n"
    "  jmp 1f\n"
    "6: movswl %ax, %eax\n"
    "  jmp 1f\n"
    "7: movzbl %al, %eax\n"
    "1: movl %eax, (%ecx)\n"
    "  jmp 9f\n"
    "2: movl %eax, (%ecx)\n"
    "  movl %edx, 4(%ecx)\n"
    "  jmp 9f\n"
    "3: fstps (%ecx)\n"
    "  jmp 9f\n"
    "4: fstpl (%ecx)\n"
    "9: leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n"
    ".size VMCallNativeFunction, .-VMCallNativeFunction\n");

void VMFrame::CallNativeMethod(JNIEnv* env, VMMethod* method, VMword* args) {
  uint32_t words = method->GetParameterWords();
  if (!method->GetIsStatic()) {
    VMCallNativeFunction(method->GetNativeAddress(), env, args, method->GetTwoWordBits(),
                         method->GetFloatBits(), words, method->GetReturnType());
    return;
  }
  // A static native gets its class in front; the copy also has room for a two-word
  // result however few arguments there are.
  VMword copy[260];
  copy[0] = (VMword)VMJniHandle::NewLocal(env, (VMObject*)method->GetDefinedIn());
  memcpy(&copy[1], args, words * 4);
  copy[words + 1] = 0;
  VMCallNativeFunction(method->GetNativeAddress(), env, copy, method->GetTwoWordBits() << 1,
                       method->GetFloatBits() << 1, words + 1, method->GetReturnType());
  memcpy(args, copy, method->GetReturnBytes());
}

/* ------------------------------------------------------------------------------------ */
/* Entering Java from native code                                                        */

void VMFrame::ExecuteJava(JNIEnv* env, VMMethod* method, VMword* args) {
  VMThread* thread = env->thread;
  uint32_t resultBytes = method->GetReturnBytes();
  // An exception pending from before belongs to the caller: Java code must not meet it
  // at its first native call. It comes back unless a new one replaces it. Meanwhile a
  // local handle holds it: the call may collect, and the host may move the machine
  // while the call's threads stop at a poll (only the env and the JNI frame, which are
  // not in the machine's heap, are read again afterwards).
  VMJavaLangThrowable* saved = thread->GetException();
  uint32_t savedHandle = 0;
  bool savedFlagged = false;
  if (saved != NULL) {
    savedHandle = thread->GetJNIHandleArray()->Append((VMObject*)saved);
    if (savedHandle == 0 && !((VMObject*)saved)->GetIsReachableByCPlusPlusCode()) {
      ((VMObject*)saved)->SetIsReachableByCPlusPlusCode();
      savedFlagged = true;
    }
  }
  thread->SetException(NULL);
  if (executeNesting >= kMaxExecuteNesting) {
    thread->SetExceptionStatus(VMStatus_StackOverflowError, NULL);
    memset(args, 0, resultBytes);
  } else {
    VMJNIFrame* jni =
        VMJNIFrame::CreateInstance(method, thread, thread->GetFrame(), method->GetSynchObject(thread, args));
    if (jni == NULL) {
      thread->SetExceptionStatus(VMStatus_OutOfMemoryError, NULL);
      memset(args, 0, resultBytes);
    } else {
      executeNesting++;
      thread->SetFrame(jni);
      ExecuteHelper(env, method, args);
      executeNesting--;
      thread = env->thread;
      thread->SetFrame(jni->caller);
      jni->Destroy();
    }
  }
  if (savedHandle != 0) {
    VMObjectHandleArray* handles = thread->GetJNIHandleArray();
    saved = (VMJavaLangThrowable*)handles->Get(savedHandle);
    handles->Delete(savedHandle);
  } else if (savedFlagged) {
    ((VMObject*)saved)->ClearIsReachableByCPlusPlusCode();
  }
  if (thread->GetException() == NULL) thread->SetException(saved);
}

void VMFrame::ExecuteHelper(JNIEnv* env, VMMethod* method, VMword* args) {
  VMThread* thread = env->thread;
  VMJNIFrame* jni = (VMJNIFrame*)thread->GetFrame();
  uint32_t resultBytes = method->GetReturnBytes();
  VMword flags = method->GetMemberFlags();
  if (flags & VMMember::IsAbstractFlag) {
    thread->SetExceptionStatus(VMStatus_AbstractMethodError, method->GetFullName());
    memset(args, 0, resultBytes);
  } else if (flags & VMMember::IsByteCodeFlag) {
    VMNativeExceptionHandler handler(NULL);
    handler.SetNext(jni->GetExceptionHandler());
    jni->SetExceptionHandler(&handler);
    // Armed before the callee's frame is made: a StackOverflowError raised while making
    // it ends here too.
    if (!VM_HANDLER_ARM(handler)) {
      VMFrame* base = jni->GetLastByteCodeFrame();
      jni->SetReturnValueStack(args + resultBytes / 4);
      VMword* locals = base->stack;
      VMByteCodeFrame* f = (VMByteCodeFrame*)((uint8_t*)locals + method->GetLocalBytes());
      VMword* limit = (VMword*)base->limitOrHandler;
      if ((uint8_t*)f->GetStackStart() + method->GetStackBytes() < (uint8_t*)limit) {
        f->Init(NULL, limit, f->GetStackStart(), locals, method, jni);
      } else {
        f = VMByteCodeFrame::NewFrameGroup(NULL, NULL, limit, jni, method, jni);
        locals = f->locals;
      }
      memcpy(locals, args, method->GetParameterBytes());
      VMByteCodeFrame::Execute(f);
    }
    thread = env->thread;
    jni->SetExceptionHandler(handler.GetNext());
    thread->SetFrame(jni);
    if (thread->GetException() != NULL) memset(args, 0, resultBytes);
  } else if (flags & VMMember::IsCompiledFlag) {
    VMCompiledFrame frame(thread, jni, method->GetSynchObject(thread, args));
    frame.method = method;
    VMNativeExceptionHandler handler(NULL);
    handler.SetNext(jni->GetExceptionHandler());
    jni->SetExceptionHandler(&handler);
    if (!VM_HANDLER_ARM(handler)) {
      // The collector walks the compiled frame's references while its code runs.
      thread->SetFrame(&frame);
      ((VMCompiledEntry)method->GetCompiledAddress())(&frame, args);
    }
    jni->SetExceptionHandler(handler.GetNext());
    thread->SetFrame(jni);
  } else if (flags & VMMember::IsNativeFlag) {
    if (!method->ResolveNativeAddress()) {
      thread->SetExceptionStatus(VMStatus_UnsatisfiedLinkError, method->GetFullName());
      memset(args, 0, resultBytes);
      return;
    }
    VMJNIFrame* nf = VMJNIFrame::CreateInstance(method, thread, jni, method->GetSynchObject(thread, args));
    if (nf == NULL) {
      thread->SetExceptionStatus(VMStatus_OutOfMemoryError, NULL);
      memset(args, 0, resultBytes);
      return;
    }
    thread->SetFrame(nf);
    VMObjectHandleArray* handles = thread->GetJNIHandleArray();
    uint32_t level = handles->GetCount();
    uint8_t map[256];
    if (method->GetIsMoreParmsThanBits()) method->GetObjectWords(map);
    bool ok = true;
    for (uint32_t i = 0; i < method->GetParameterWords(); i++) {
      if (!method->IsObjectWord(i, map) || args[i] == 0) continue;
      args[i] = (VMword)VMJniHandle::NewLocal(env, (VMObject*)args[i]);
      if (args[i] == 0) ok = false;
    }
    if (ok) CallNativeMethod(env, method, args);
    thread->SetFrame(jni);
    nf->Destroy();
    if (!ok) {
      thread->SetExceptionStatus(VMStatus_OutOfMemoryError, NULL);
      memset(args, 0, resultBytes);
    } else if (method->GetReturnsObject()) {
      args[0] = (VMword)VMJniHandle::UnHandle(env, (jobject)args[0]);
    }
    handles->Clear(level);
  } else {
    // No kind bit at all: nothing to run.
    thread->SetExceptionStatus(VMStatus_AbstractMethodError, method->GetFullName());
    memset(args, 0, resultBytes);
  }
}

void HOSTCALL VMByteCodeFrame::ThunkForCompiledCode(VMCompiledFrame* frame, VMword* args) {
  VMThread* thread = frame->thread;
  VMMethod* method = frame->method;
  VMFrame* caller = frame->caller;
  uint32_t resultBytes = method->GetReturnBytes();
  JNIEnv* env = thread->GetEnv();
  if (method->GetIsNative()) {
    if (!method->ResolveNativeAddress()) {
      VMLiteral* name = method->GetFullName();
      ThrowInternalException(frame, VMStatus_UnsatisfiedLinkError,
                             name != NULL ? name->MakeVMJavaLangString(env) : NULL);
      return;
    }
    VMJNIFrame* nf = VMJNIFrame::CreateInstance(method, thread, caller, frame->synch);
    if (nf == NULL) {
      ThrowInternalException(frame, VMStatus_OutOfMemoryError, (const char*)NULL);
      return;
    }
    thread->SetFrame(nf);
    VMObjectHandleArray* handles = thread->GetJNIHandleArray();
    uint32_t level = handles->GetCount();
    uint8_t map[256];
    if (method->GetIsMoreParmsThanBits()) method->GetObjectWords(map);
    for (uint32_t i = 0; i < method->GetParameterWords(); i++) {
      if (method->IsObjectWord(i, map) && args[i] != 0) args[i] = (VMword)VMJniHandle::NewLocal(env, (VMObject*)args[i]);
    }
    VMFrame::CallNativeMethod(env, method, args);
    thread->SetFrame(caller);
    nf->Destroy();
    if (method->GetReturnsObject()) args[0] = (VMword)VMJniHandle::UnHandle(env, (jobject)args[0]);
    handles->Clear(level);
    if (thread->GetException() != NULL) ThrowException(caller, thread->GetException());
    return;
  }
  VMFrame* base = frame->GetLastByteCodeFrame();
  frame->SetReturnValueStack(args + resultBytes / 4);
  VMword* locals = base->stack;
  VMByteCodeFrame* f = (VMByteCodeFrame*)((uint8_t*)locals + method->GetLocalBytes());
  VMword* limit = (VMword*)base->limitOrHandler;
  thread->SetFrame(frame);
  if ((uint8_t*)f->GetStackStart() + method->GetStackBytes() < (uint8_t*)limit) {
    f->Init(NULL, limit, f->GetStackStart(), locals, method, frame);
  } else {
    f = NewFrameGroup(NULL, NULL, limit, frame, method, frame);
    if (f == NULL) return;
    locals = f->locals;
  }
  memcpy(locals, args, method->GetParameterBytes());
  Execute(f);
  if (thread->GetException() != NULL) memset(args, 0, resultBytes);
  thread->SetFrame(caller);
}

/* ------------------------------------------------------------------------------------ */
/* The driver and its loops                                                              */

void VMByteCodeFrame::Execute(VMByteCodeFrame* frame) {
  VMThread* thread = frame->thread;
  thread->SetFrame(frame);
  // The env is not in the machine's heap: after a relocation the thread's record, which
  // may have moved, is found through it.
  JNIEnv* env = thread->GetEnv();
  jmp_buf inner;
  jmp_buf outer;
  frame->SetJmpBufs(&inner, &outer);
  if (setjmp(outer) != 0) {
    // Re-armed after a relocation or a debugger switch: the inner buffer is set again.
  }
  if ((env->debug & 0xFF) != 0 && ExecuteDebug(env, &inner)) return;
  if (setjmp(inner) != 0) {
    // A throw, a frame switch or a call path resumes here with its frame current.
  }
  for (;;) {
    VMFrame* f = env->thread->GetFrame();
    if (!(f->flags & ExecutableByteCodeFlag)) return;
    VMByteCodeFrame* b = (VMByteCodeFrame*)f;
    if (b->flags & UsingFastLoopFlag)
      ExecuteFastLoop(b->stack, b->codePointer, b->locals, b);
    else
      ExecuteSlowLoop(b);
  }
}

/* The hot path: one table call per instruction, nothing written back. Kept out of line
   so that no long-jump target forces its locals into memory. */
__attribute__((noinline)) void VMByteCodeFrame::ExecuteFastLoop(VMword* stack, uint8_t* pc, VMword* locals,
                                                                 VMByteCodeFrame* frame) {
  for (;;) {
    VMOpResult r = VMOpcodeTable[*pc](stack, pc, locals, frame);
    int32_t advance = VM_OP_ADVANCE(r);
    if (advance == 0) return;
    stack = (VMword*)((uint8_t*)stack + VM_OP_STACK(r));
    pc += advance;
  }
}

void VMCodeSegment::Locate(VMbyteArray* code, uint32_t at) {
  uint32_t count = 0;
  start = current = (uint8_t*)code->FindElement(at, &count);
  end = start + count;
  offset = (int32_t)at;
}

uint8_t* VMCodeSegment::FetchInstruction(VMbyteArray* code, uint32_t at) {
  if (offset < 0 || (uint32_t)offset > at || current + (at - (uint32_t)offset) >= end) {
    Locate(code, at);
  } else {
    current += at - (uint32_t)offset;
    offset = (int32_t)at;
  }
  uint8_t op = *current;
  uint32_t need = op < VMOpcodeCount ? VMOpcodeLength[op] : 1;
  uint32_t size = code->GetSize();
  if (at + need > size) need = size - at;  // a short last instruction (lookupswitch, wide)
  length = need;
  if (current + need <= end) return current;
  // The instruction straddles two runs: gather it, keeping its address mod 4 (the
  // switches' alignment is counted from the start of the code).
  uint8_t* copy = (uint8_t*)(((uintptr_t)buffer + 3) & ~(uintptr_t)3) + ((uintptr_t)current & 3);
  uint32_t first = (uint32_t)(end - current);
  memcpy(copy, current, first);
  uint32_t done = first;
  while (done < need) {
    uint32_t count = 0;
    uint8_t* run = (uint8_t*)code->FindElement(at + done, &count);
    uint32_t take = need - done < count ? need - done : count;
    memcpy(copy + done, run, take);
    done += take;
  }
  // The cursor stays in step with the offset: the next fetch locates afresh.
  offset = -1;
  return copy;
}

void VMByteCodeFrame::ExecuteSlowLoop(VMByteCodeFrame* frame) {
  frame->ClearIsUsingFastLoop();
  uint32_t pc = frame->slowLoopPC;
  VMword* stack = frame->stack;
  VMword* locals = frame->locals;
  VMbyteArray* code = frame->method->GetCode();
  VMCodeSegment cursor;
  cursor.offset = -1;
  // Two runs of code bytes [low, high), each lying at base + offset (a loop may cross
  // from one piece into the next): an instruction inside one is read in place.
  struct Run {
    uint8_t* base;
    uint32_t low, high;
  } runs[2] = {{NULL, 1, 0}, {NULL, 1, 0}};
  for (;;) {
    uint8_t* instruction;
    if (pc >= runs[0].low && pc < runs[0].high && pc + VMOpcodeLength[runs[0].base[pc] % VMOpcodeCount] <= runs[0].high) {
      instruction = runs[0].base + pc;
    } else if (pc >= runs[1].low && pc < runs[1].high &&
               pc + VMOpcodeLength[runs[1].base[pc] % VMOpcodeCount] <= runs[1].high) {
      Run swap = runs[0];
      runs[0] = runs[1];
      runs[1] = swap;
      instruction = runs[0].base + pc;
    } else {
      instruction = cursor.FetchInstruction(code, pc);
      if (instruction == cursor.current) {
        runs[1] = runs[0];
        runs[0].base = cursor.start - ((uint32_t)cursor.offset - (uint32_t)(cursor.current - cursor.start));
        runs[0].low = (uint32_t)(cursor.start - runs[0].base);
        runs[0].high = (uint32_t)(cursor.end - runs[0].base);
      }
    }
    frame->slowLoopPC = pc;
    VMOpResult r = VMOpcodeTable[*instruction](stack, instruction, locals, frame);
    int32_t advance = VM_OP_ADVANCE(r);
    // Execute's loop takes whatever frame is current now: no long jump needed.
    if (advance == 0) return;
    stack = (VMword*)((uint8_t*)stack + VM_OP_STACK(r));
    pc += (uint32_t)advance;
  }
}

/* The debugging loop comes with the debugger: without an agent the normal loops run. */
bool VMByteCodeFrame::ExecuteDebug(JNIEnv* env, jmp_buf*) {
  VMFrame* f = env->thread->GetFrame();
  if (!(f->flags & ExecutableByteCodeFlag)) return true;
  return false;
}

void VMByteCodeFrame::FrameSwitch(VMFrame* next) {
  // The owning Execute is found from this frame, never from the new current one: that
  // may belong to an outer Execute.
  VMByteCodeFrame* owner = GetOwner();
  thread->SetFrame(next);
  longjmp(*owner->firstJmpBuf, 1);
}

void VMByteCodeFrame::CheapFrameSwitch(VMFrame* next) { thread->SetFrame(next); }

VMOpResult VM_HANDLER VMByteCodeFrame::RunPreBreakpointOpcode(VMword* stack, uint8_t* pc, VMword* locals,
                                                              VMByteCodeFrame* frame) {
  uint32_t offset = frame->GetPC(false);
  uint8_t op = VMBasicBlock::FindPreBreakpointOpcode(frame->method, offset);
  if (op == OP_breakpoint) {
    // No record of what the breakpoint replaced: running it again would never end.
    frame->MarkThrow(pc, 1);
    ThrowInternalException(frame, VMStatus_VerifyError, (const char*)NULL);
    return 0;
  }
  return VMOpcodeTable[op](stack, pc, locals, frame);
}

void VMFrame::Yield() {
  if (thread->Yield() != 0) ThrowInternalException(this, VMStatus_ThreadDeath, "");
}

/* ------------------------------------------------------------------------------------ */
/* Throwing                                                                              */

void VMFrame::ThrowInternalException(VMFrame* frame, VMStatus status, const char* text) {
  VMThread* thread = frame->thread;
  // Before anything is allocated: a collection meanwhile walks this frame at the
  // instruction that threw.
  if (frame->flags & ExecutableByteCodeFlag) frame->flags |= ThrowingFlag;
  VMJavaLangString* message = NULL;
  if (text != NULL && status != VMStatus_AlreadyThrown) {
    // Made before the throwable; kept from collection until it is stored there.
    message = VMJavaLangString::CreateInstance(thread->GetEnv(), text);
  }
  ThrowInternalException(frame, status, message);
}

void VMFrame::ThrowInternalException(VMFrame* frame, VMStatus status, VMJavaLangString* message) {
  VMThread* thread = frame->thread;
  JNIEnv* env = thread->GetEnv();
  // The throwing frame's operand stack is discarded on every path: an empty stack is
  // exact for any walk while the throwable is made, and Java run meanwhile (a static
  // initialiser of the exception class) is placed above it.
  if (frame->flags & ExecutableByteCodeFlag) {
    VMByteCodeFrame* b = frame->GetByteCodeFrame();
    b->stack = b->GetStackStart();
    b->flags |= ThrowingFlag;
  }
  thread->SetFrame(frame);
  VMJavaLangThrowable* exception = NULL;
  if (status == VMStatus_AlreadyThrown) {
    exception = thread->GetException();
    // Nothing pending after all: never throw null.
    if (exception == NULL) status = VMStatus_InternalError;
  }
  if (exception == NULL) {
    if (message != NULL) message->SetIsReachableByCPlusPlusCode();
    thread->SetException(NULL);
    VMNameSpace* ns = thread->GetVM()->GetNameSpace();
    VMLoadableClass* cls = ns->GetExceptionClass(env, status);
    // A pending exception from making the class (its initialiser failing) is dropped
    // for the one asked for, or thrown itself when no class can be had.
    VMJavaLangThrowable* pendingFromClass = thread->GetException();
    thread->SetException(NULL);
    exception = cls != NULL ? VMJavaLangThrowable::CreateInstance(env, cls) : NULL;
    // The pre-made OutOfMemoryError standing in takes this message too (none clears it).
    if (exception != NULL) exception->SetMessage(message);
    if (exception == NULL) exception = pendingFromClass;
    if (message != NULL) message->ClearIsReachableByCPlusPlusCode();
    if (exception == NULL) {
      // Not even an OutOfMemoryError can be had: the frames above unwind to the nearest
      // native caller with nothing pending but a zeroed result. Only a machine without
      // its pre-made error (during its own creation) gets here.
      exception = thread->GetVM()->GetOutOfMemoryError();
      if (exception == NULL) {
        for (VMFrame* f = frame; f != NULL; f = f->caller) {
          if (f->GetIsJNI() || f->GetIsFirstFrame()) {
            thread->SetFrame(f);
            VMNativeExceptionHandler* h = f->GetIsJNI() ? f->GetJNIFrame()->GetExceptionHandler() : NULL;
            if (h != NULL) h->JumpTo();
            return;
          }
        }
        return;
      }
    }
  }
  ThrowException(frame, exception);
}

VMExceptionHandler* VMByteCodeFrame::FindExceptionHandler(uint32_t pc, VMJavaLangThrowable* exception) {
  if (method == NULL) return NULL;
  VMExceptionHandlerArray* table = method->GetExceptionHandlers();
  if (table == NULL) return NULL;
  for (uint32_t i = 0; i < table->GetSize(); i++) {
    VMExceptionHandler* h = table->Get(i);
    if (h == NULL || pc < h->GetStartPc() || pc >= h->GetEndPc()) continue;
    VMLoadableClass* c = h->GetCatchClass();
    if (c == NULL) return h;
    // Catch classes are shells until first used; one that cannot be loaded catches
    // nothing (an instance of it cannot exist).
    if (!c->GetIsPrepared() && c->Prepare(NULL) != 0) continue;
    if (VMClass::InstanceOf((VMObject*)exception, (VMClass*)c)) return h;
  }
  return NULL;
}

VMNativeExceptionHandler* VMCompiledFrame::FindExceptionHandler(VMJavaLangThrowable* exception) {
  for (VMNativeExceptionHandler* h = GetExceptionHandler(); h != NULL; h = h->GetNext()) {
    if (h->GetClass() == NULL || VMClass::InstanceOf((VMObject*)exception, h->GetClass())) return h;
  }
  return NULL;
}

void VMFrame::ThrowException(VMFrame* frame, VMJavaLangThrowable* exception) {
  VMThread* thread = frame->thread;
  if (frame->flags & ExecutableByteCodeFlag) frame->flags |= ThrowingFlag;
  // Held only by this C++ frame until it is stored in a stack word or the pending word.
  exception->SetIsReachableByCPlusPlusCode();
  thread->SetException(exception);
  for (VMFrame* f = frame; f != NULL; f = f->caller) {
    if (f->flags & FirstFrameFlag) {
      // Nothing takes it: it stays pending for whoever looks.
      thread->SetFrame(f);
      exception->ClearIsReachableByCPlusPlusCode();
      return;
    }
    if (f->flags & ExecutableByteCodeFlag) {
      VMByteCodeFrame* b = f->GetByteCodeFrame();
      VMExceptionHandler* h = b->FindExceptionHandler(b->GetPC(true), exception);
      if (h == NULL) continue;
      VMword* s = b->GetStackStart();
      s[0] = (VMword)exception;
      b->stack = s + 1;
      b->flags &= ~(VMword)ThrowingFlag;  // it runs on from the handler's first instruction
      if (b->flags & UsingFastLoopFlag)
        b->codePointer = b->method->GetCode()->GetFirstElementPointer() + h->GetHandlerPc();
      else
        b->slowLoopPC = h->GetHandlerPc();
      thread->SetException(NULL);
      exception->ClearIsReachableByCPlusPlusCode();
      VMByteCodeFrame* owner = b->GetOwner();
      thread->SetFrame(b);
      longjmp(*owner->firstJmpBuf, 1);
    }
    if (f->flags & CompiledFlag) {
      VMNativeExceptionHandler* r = f->GetCompiledFrame()->FindExceptionHandler(exception);
      if (r == NULL) continue;
      thread->SetFrame(f);
      exception->ClearIsReachableByCPlusPlusCode();
      r->JumpTo();
    }
    if (f->flags & JNIFlag) {
      thread->SetFrame(f);
      exception->ClearIsReachableByCPlusPlusCode();
      VMNativeExceptionHandler* h = f->GetJNIFrame()->GetExceptionHandler();
      // A frame without a handler record (a native's own frame, met by a poll inside
      // the native) gets the exception pending and the thrower its return.
      if (h != NULL) h->JumpTo();
      return;
    }
  }
  exception->ClearIsReachableByCPlusPlusCode();
}
