/* The execution driver: entries from native and compiled code, the dispatch loops, the
   native call trampoline, and the throw path that unwinds frames to a handler. */
#include <emmintrin.h>
#include <string.h>

#include "vm.h"
#include "vmbasicblock.h"
#include "vmclass.h"
#include "vmconstantpool.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmframe_handlers.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmupcalls.h"
#include "vmutils.h"

namespace {

/* Java -> native -> Java nesting grows the host thread's own stack; past this depth the
   call fails with StackOverflowError instead of running the host out of stack. */
const int kMaxExecuteNesting = 400;
thread_local int executeNesting = 0;

}  // namespace

/* ------------------------------------------------------------------------------------ */
/* The trampoline                                                                        */

/* Whether Java code waits below frame (before the thread's first frame). */
static bool CallsJava(VMFrame* frame) {
  for (VMFrame* f = frame->caller; f != NULL && !(f->flags & VMFrame::FirstFrameFlag); f = f->caller)
    if (f->flags & VMFrame::ExecutableByteCodeFlag) return true;
  return false;
}

/* A watched thread came back from bytecode to its caller: a step bounded by a frame
   that went with it must not take a later frame at the same place for it, and Java code
   waiting from remaining down (below the native or the initialiser that entered the
   bytecode) goes over to the debugging loop too when a plain loop runs it. An Execute
   that runs the debugging loop already reads the byte before every instruction: asked
   over, it would only start its current instruction over at its next poll, and report a
   breakpoint there a second time. */
__attribute__((noinline)) static void WatchedLeftJava(VMThread* thread, VMFrame* remaining) {
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  if (agent == NULL) return;
  agent->StepFrameGone(thread, remaining);
  // The bytecode frame control comes back to, if any, and the Execute that runs it.
  VMFrame* below = remaining;
  while (below != NULL && !(below->flags & VMFrame::ByteCodeMask)) below = below->caller;
  if (below == NULL || (below->flags & VMFrame::FirstFrameFlag)) return;
  VMByteCodeFrame* owner = below->GetOwner();
  if (owner == NULL || !(owner->flags & VMFrame::DebugLoopFlag)) agent->AskCallersOver(thread);
}

/* The agent to tell of an exception the thread throws, or NULL. */
static VMDebugger* ExceptionWatcher(VMThread* thread) {
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  return agent != NULL && agent->GetIsConnected() ? agent : NULL;
}

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

namespace {
void FollowMovedRecord(JNIEnv* env);
}  // namespace

void VMFrame::ExecuteHelper(JNIEnv* env, VMMethod* method, VMword* args) {
  VMThread* thread = env->thread;
  const uint32_t moves = GetRelocations();
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
    if (__builtin_expect(GetRelocations() != moves, 0)) FollowMovedRecord(env);
    if ((env->debug & 0xFF) != 0) WatchedLeftJava(env->thread, jni);
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
    // The machine may have moved while the compiled code called Java; the env follows.
    if (__builtin_expect(GetRelocations() != moves, 0)) FollowMovedRecord(env);
    thread = env->thread;
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
    // The native may have waited where the host moves the machine: the record and its
    // handle array are read again through env (the JNI frames are not in the heap).
    if (__builtin_expect(GetRelocations() != moves, 0)) FollowMovedRecord(env);
    thread = env->thread;
    handles = thread->GetJNIHandleArray();
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
    const uint32_t moves = GetRelocations();
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
    // The machine may have moved while the native ran (a Java call of its stopped at a
    // poll). The native's frame lies outside the machine's heap and in the thread's chain,
    // so the move rewrote its words; the env follows the thread.
    if (__builtin_expect(GetRelocations() != moves, 0)) FollowMovedRecord(env);
    thread = env->thread;
    caller = nf->caller;
    handles = thread->GetJNIHandleArray();
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
  // As above: the callee may have been stopped while the machine moved.
  thread = frame->thread;
  caller = frame->caller;
  if (thread->GetException() != NULL) memset(args, 0, resultBytes);
  thread->SetFrame(caller);
  if ((env->debug & 0xFF) != 0) WatchedLeftJava(thread, caller);
}

/* ------------------------------------------------------------------------------------ */
/* The driver and its loops                                                              */

namespace {
// The locals' register is the frame pointer's, where the build leaves that free: the
// sanitizer builds keep frame pointers for their reports, and clang pins only the others.
#if defined(__OPTIMIZE__) && !defined(__SANITIZE_ADDRESS__) && !defined(__clang__)
#define LOOP_LOCALS(from) register VMword* locals asm("ebp") = (from)
#else
#define LOOP_LOCALS(from) VMword* locals = (from)
#endif
// On a cache line's start: where the loop's code falls relative to the lines moved the
// numeric kernels by a tenth as code elsewhere in the library came and went.
template <bool Pieces, bool TableOnly>
__attribute__((aligned(64))) void Loop(VMword* stackIn, uint8_t* pcIn, VMword* locals, VMByteCodeFrame* frame);
}  // namespace

namespace {
/* After a move: a native this Execute's frames called may have attached the thread again,
   which put a new env in the record's place, and the move rewrote only that env's word.
   The env these frames run on names the record again, read through the newer one. */
__attribute__((noinline, cold)) void FollowMovedRecord(JNIEnv* env) {
  JNIEnv* current = env->javaVM->vm->AttachedEnvOfCurrentThread();
  if (current != NULL && current != env) env->thread = current->thread;
}

/* The same when a move was made since moves was read; moves then counts it. */
inline void FollowIfMoved(JNIEnv* env, volatile uint32_t& moves) {
  if (__builtin_expect(VMFrame::GetRelocations() != moves, 0)) {
    moves = VMFrame::GetRelocations();
    FollowMovedRecord(env);
  }
}
}  // namespace

void VMByteCodeFrame::Execute(VMByteCodeFrame* frame) {
  VMThread* thread = frame->thread;
  thread->SetFrame(frame);
  // The env is not in the machine's heap: after a relocation the thread's record, which
  // may have moved, is found through it.
  JNIEnv* env = thread->GetEnv();
  // The moves seen: in memory, as it changes after the jump buffers are set.
  volatile uint32_t moves = GetRelocations();
  jmp_buf inner;
  jmp_buf outer;
  frame->SetJmpBufs(&inner, &outer);
  if (setjmp(outer) != 0) {
    // Re-armed after a relocation or a debugger switch: the inner buffer is set again.
    moves = GetRelocations();
    FollowMovedRecord(env);
  }
  if ((env->debug & 0xFF) != 0) {
    if (ExecuteDebug(env, &inner)) return;
    // The debugging loop handed the frames over, perhaps after moves.
    FollowIfMoved(env, moves);
  }
  // From here on a plain loop runs this Execute's frames (the debugging loop marks the
  // owner while it runs them).
  env->thread->GetFrame()->GetOwner()->flags &= ~(VMword)DebugLoopFlag;
  if (setjmp(inner) != 0) {
    // A throw, a frame switch or a call path resumes here with its frame current.
    FollowIfMoved(env, moves);
  }
  for (;;) {
    VMFrame* f = env->thread->GetFrame();
    if (!(f->flags & ExecutableByteCodeFlag)) return;
    VMByteCodeFrame* b = (VMByteCodeFrame*)f;
    // Every call and return into bytecode comes back here: the fast loop is entered
    // straight (it is out of line itself, so no long-jump target here holds its locals).
    if (!(b->flags & UsingFastLoopFlag))
      ExecuteSlowLoop(b);
    else if (VMOpcodeTableOnly)
      Loop<false, true>(b->stack, b->codePointer, b->locals, b);
    else
      Loop<false, false>(b->stack, b->codePointer, b->locals, b);
    // Back from a loop: a move since is seen here (the fast loop leaves on one), the
    // loops' own calls and returns never come by.
    FollowIfMoved(env, moves);
  }
}

/* ------------------------------------------------------------------------------------ */
/* The dispatch loops                                                                    */

bool VMOpcodeTableOnly = false;

namespace {

/* The length of every byte value as an opcode, indexed by the byte itself: bytes above
   the last opcode count 1 (their handler raises VerifyError). */
struct LengthTable {
  uint8_t of[256];
  constexpr LengthTable() : of() {
    for (uint32_t i = 0; i < 256; i++) of[i] = i < VMOpcodeCount ? VMOpcodeLength[i] : 1;
  }
};
constexpr LengthTable kLength;

/* Code bytes read in place by the slow loop: offset o lies at base + o for low <= o <
   high, the part of the code array's block or the one piece that holds them. An
   instruction that starts in the run lies in it whole when its (largest) length fits,
   and always in the run that ends the code: the load-time pass keeps every operand
   inside the code. */
struct CodeRun {
  uint8_t* base;
  uint32_t low, high;
  bool last;
  bool Holds(uint32_t at) const {
    return at >= low && at < high && (last || at + kLength.of[base[at]] <= high);
  }
  /* The run that holds offset at (at lies in the code). */
  void Find(VMbyteArray* code, uint32_t at) {
    const uint32_t pieceBytes = VMObject::NESTING_SIZE * 4;
    low = at < VMArray::FIRST_PART_BYTES ? 0 : at - (at - VMArray::FIRST_PART_BYTES) % pieceBytes;
    uint32_t count = 0;
    base = (uint8_t*)code->FindElement(low, &count) - low;
    high = low + count;
    last = high == code->GetSize();
  }
};

using namespace interp;

/* Elements and field words past an object's own block, out of line: the loop keeps its
   registers for the common case. */
__attribute__((noinline)) VMword* WordInPieces(VMObject* object, uint32_t slot) {
  return object->GetElementAddress(slot);
}

/* The pieces of arrays the loop used last: data byte b of a piece array lies in piece
   (b - 776) >> 8, at (b - 776) & 255 of it, so an access in a piece remembered for its
   array takes no walk of the piece trees. Only the loop's own instructions use it: it is
   emptied whenever a handler runs, since anything that can free an array (so that
   another may take its address), collect or relocate the machine happens in a handler
   or at a poll, which goes through one. */
struct PieceCache {
  // Ways by array and piece: a loop over several rows, or over two places of one array
  // (an FFT's butterflies), keeps them all. Rows of one size lie at a fixed distance
  // from each other, so the array's address is mixed before it picks a way.
  enum { Ways = 32 };
  // A way holds its piece number with the epoch it was filled in (pieces number below
  // 2^24): emptying is a new epoch, one add, paid by every handler call. Once in 256
  // epochs the arrays are cleared, so an entry of the epoch's last use cannot match.
  enum : uint32_t { EpochStep = 1u << 24 };
  uint32_t epoch;
  VMArray* array[Ways];
  uint32_t tag[Ways];
  uint8_t* base[Ways];
  // The frame's constant pool, looked up at its first use after a handler (which may
  // relocate the machine); kept here, in memory, to leave the loop's registers alone.
  VMConstantPool* pool;
  // The class last found initialised in this machine, with its static data. It stays
  // so, but a handler may move the data, or unload the class and another take its place.
  VMLoadableClass* ready;
  VMObject* readyData;
  void Reset() {
    epoch = 0;
    memset(array, 0, sizeof array);
    pool = NULL;
    ready = NULL;
    readyData = NULL;
  }
  void Clear() {
    epoch += EpochStep;
    if (epoch == 0) memset(array, 0, sizeof array);
    pool = NULL;
    ready = NULL;
    readyData = NULL;
  }
  static uint32_t WayOf(VMArray* a, uint32_t piece) {
    return (((uint32_t)(uintptr_t)a * 0x9E3779B1u >> 24) + piece) & (Ways - 1);
  }
};

/* The address of data byte b (at least 776) through the trees, remembered. */
__attribute__((noinline, flatten)) uint8_t* ElementInPieces(PieceCache* cache, VMArray* array, uint32_t b) {
  uint8_t* at = reinterpret_cast<uint8_t*>(array->ExpensiveElementAddress((b + 8) >> 2)) + (b & 3);
  uint32_t offset = b - VMArray::FIRST_PART_BYTES;
  uint32_t w = PieceCache::WayOf(array, offset >> 8);
  cache->array[w] = array;
  cache->tag[w] = (offset >> 8) | cache->epoch;
  cache->base[w] = at - (offset & 255);
  return at;
}
template <uint32_t Shift>
__attribute__((always_inline)) inline uint8_t* Element(PieceCache* cache, VMArray* array, uint32_t index) {
  uint32_t b = index << Shift;
  if (b < VMArray::FIRST_PART_BYTES) return array->GetFirstElementPointer() + b;
  uint32_t offset = b - VMArray::FIRST_PART_BYTES;
  uint32_t w = PieceCache::WayOf(array, offset >> 8);
  if (cache->array[w] == array && cache->tag[w] == ((offset >> 8) | cache->epoch)) return cache->base[w] + (offset & 255);
  return ElementInPieces(cache, array, b);
}

/* A two-word value copied as one 8-byte move: a double read back whole from two 4-byte
   stores waits for them (the store cannot be forwarded), costing more than the
   instruction itself. The move leaves every bit as it is, NaN payloads included. */
__attribute__((always_inline)) inline void Move64(void* to, const void* from) {
  _mm_storel_epi64((__m128i*)to, _mm_loadl_epi64((const __m128i*)from));
}

/* A constant pool entry's type, read as GetConstType reads it (acquire); -1 for an index
   outside the pool. */
__attribute__((always_inline)) inline int32_t ConstTypeAt(VMConstantPool* pool, uint32_t index,
                                                          PieceCache* cache) {
  if (pool == NULL || index == 0 || index >= pool->GetCount()) return -1;
  return __atomic_load_n((int16_t*)Element<1>(cache, (VMArray*)pool->GetTypes(), index), __ATOMIC_ACQUIRE);
}
/* The method of a resolved method reference, else NULL: the pool's ResolvedMethodAt, its
   type and word read through the loop's pieces (a class's pool mostly lies past its
   first block, and every call reads it). */
__attribute__((always_inline)) inline VMMethod* ResolvedMethodAt(VMConstantPool* pool, uint32_t index,
                                                                  PieceCache* cache) {
  if (ConstTypeAt(pool, index, cache) != VMConstantPool::TYPE_MethodRef_Resolved) return NULL;
  return *(VMMethod**)Element<2>(cache, pool, index);
}
/* The static data of a class initialised in this machine, else NULL (the handler then
   initialises it, or raises what its initialisation left). */
__attribute__((always_inline)) inline VMObject* ReadyData(PieceCache* cache, VMThread* thread, VMLoadableClass* cls) {
  if (cls == cache->ready) return cache->readyData;
  VMObject* data = cls->GetInitializedStaticData(thread->GetVM());
  if (data != NULL) {
    cache->ready = cls;
    cache->readyData = data;
  }
  return data;
}

/* A branching one-liner computed without its branch (which goes either way on data of
   either sign, and then costs more than all the rest), bit for bit as its bytecode
   computes it: the float forms keep a NaN as it is and give +0.0 for -0.0. Returns the
   stack pointer past the result. */
__attribute__((always_inline)) inline VMword* ComputeShape(VMMethod::Shape shape, VMword* args) {
  switch (shape) {
    case VMMethod::ShapeAbsInt: {
      uint32_t a = args[0], negative = 0u - (a >> 31);
      args[0] = (a ^ negative) - negative;
      return args + 1;
    }
    case VMMethod::ShapeAbsLong: {
      uint64_t a;
      memcpy(&a, args, 8);
      uint64_t negative = 0u - (a >> 63);
      a = (a ^ negative) - negative;
      memcpy(args, &a, 8);
      return args + 2;
    }
    case VMMethod::ShapeAbsFloat: {
      __m128 a = _mm_load_ss((const float*)args), zero = _mm_setzero_ps();
      __m128 le = _mm_cmple_ss(a, zero);
      _mm_store_ss((float*)args, _mm_or_ps(_mm_and_ps(le, _mm_sub_ss(zero, a)), _mm_andnot_ps(le, a)));
      return args + 1;
    }
    case VMMethod::ShapeAbsDouble: {
      __m128d a = _mm_load_sd((const double*)args), zero = _mm_setzero_pd();
      __m128d le = _mm_cmple_sd(a, zero);
      _mm_store_sd((double*)args, _mm_or_pd(_mm_and_pd(le, _mm_sub_sd(zero, a)), _mm_andnot_pd(le, a)));
      return args + 2;
    }
    case VMMethod::ShapeMaxInt: {
      int32_t a = (int32_t)args[0], b = (int32_t)args[1];
      args[0] = (VMword)(a >= b ? a : b);
      return args + 1;
    }
    case VMMethod::ShapeMinInt: {
      int32_t a = (int32_t)args[0], b = (int32_t)args[1];
      args[0] = (VMword)(a <= b ? a : b);
      return args + 1;
    }
    default:
      __builtin_unreachable();
  }
}

/* A mathematical native computed in place, its result over its arguments; false for any
   other native. */
__attribute__((noinline)) bool MathNative(VMMethod* callee, VMword* args) {
  void* address = callee->GetNativeAddress();
  return address != NULL && upcall::MathLeafCall(address, args, args);
}
__attribute__((always_inline)) inline VMword* FieldWord(VMObject* object, uint32_t slot) {
  if (slot < VMObject::FIRST_PART) return object->GetFirstElementPointer() + slot;
  return WordInPieces(object, slot);
}

/* Both dispatch loops. The commonest instructions are carried out here, each jumping
   straight to the next one's code; every other instruction, every failure and every
   poll that is due go to the opcode table, which stays the one definition of what an
   instruction does. With TableOnly every instruction goes to the table.

   The fast loop (Pieces false) runs contiguous code and writes nothing back to the
   frame. The slow loop (Pieces true) runs code stored in pieces: pc walks the run of
   code bytes it lies in, and an instruction that starts less than span bytes past the
   run's low end lies in it whole, whatever its length; near the run's end each one is
   located afresh, and one that straddles two runs is gathered by the cursor and run
   from the copy. Before every table call the slow loop stores its pc in the frame.

   Called with a null frame, it fills its label table and returns. */
template <bool Pieces, bool TableOnly>
__attribute__((noinline)) void Loop(VMword* stackIn, uint8_t* pcIn, VMword* localsIn, VMByteCodeFrame* frame) {
  static const void* labels[256];
  if (frame == NULL) {
    for (uint32_t i = 0; i < 256; i++) labels[i] = &&call;
    if (TableOnly) return;
#define INLINE_OP(op, label) labels[op] = &&label;
    INLINE_OP(OP_nop, op_nop) INLINE_OP(OP_unused_ba, op_nop)
    INLINE_OP(OP_aconst_null, op_zero) INLINE_OP(OP_fconst_0, op_zero)
    INLINE_OP(OP_iconst_m1, op_iconst_m1) INLINE_OP(OP_iconst_0, op_zero) INLINE_OP(OP_iconst_1, op_iconst_1)
    INLINE_OP(OP_iconst_2, op_iconst_2) INLINE_OP(OP_iconst_3, op_iconst_3) INLINE_OP(OP_iconst_4, op_iconst_4)
    INLINE_OP(OP_iconst_5, op_iconst_5)
    INLINE_OP(OP_bipush, op_bipush) INLINE_OP(OP_sipush, op_sipush)
    INLINE_OP(OP_iload, op_iload) INLINE_OP(OP_fload, op_iload) INLINE_OP(OP_aload, op_iload)
    INLINE_OP(OP_iload_0, op_iload_0) INLINE_OP(OP_fload_0, op_iload_0) INLINE_OP(OP_aload_0, op_iload_0)
    INLINE_OP(OP_iload_1, op_iload_1) INLINE_OP(OP_fload_1, op_iload_1) INLINE_OP(OP_aload_1, op_iload_1)
    INLINE_OP(OP_iload_2, op_iload_2) INLINE_OP(OP_fload_2, op_iload_2) INLINE_OP(OP_aload_2, op_iload_2)
    INLINE_OP(OP_iload_3, op_iload_3) INLINE_OP(OP_fload_3, op_iload_3) INLINE_OP(OP_aload_3, op_iload_3)
    INLINE_OP(OP_lload, op_lload) INLINE_OP(OP_dload, op_lload)
    INLINE_OP(OP_istore, op_istore) INLINE_OP(OP_fstore, op_istore) INLINE_OP(OP_astore, op_istore)
    INLINE_OP(OP_istore_0, op_istore_0) INLINE_OP(OP_fstore_0, op_istore_0) INLINE_OP(OP_astore_0, op_istore_0)
    INLINE_OP(OP_istore_1, op_istore_1) INLINE_OP(OP_fstore_1, op_istore_1) INLINE_OP(OP_astore_1, op_istore_1)
    INLINE_OP(OP_istore_2, op_istore_2) INLINE_OP(OP_fstore_2, op_istore_2) INLINE_OP(OP_astore_2, op_istore_2)
    INLINE_OP(OP_istore_3, op_istore_3) INLINE_OP(OP_fstore_3, op_istore_3) INLINE_OP(OP_astore_3, op_istore_3)
    INLINE_OP(OP_lstore, op_lstore) INLINE_OP(OP_dstore, op_lstore)
    INLINE_OP(OP_iaload, op_iaload) INLINE_OP(OP_faload, op_iaload) INLINE_OP(OP_aaload, op_iaload)
    INLINE_OP(OP_baload, op_baload) INLINE_OP(OP_caload, op_caload) INLINE_OP(OP_saload, op_saload)
    INLINE_OP(OP_iastore, op_iastore) INLINE_OP(OP_fastore, op_iastore)
    INLINE_OP(OP_bastore, op_bastore) INLINE_OP(OP_castore, op_castore) INLINE_OP(OP_sastore, op_castore)
    INLINE_OP(OP_arraylength, op_arraylength)
    INLINE_OP(OP_pop, op_pop) INLINE_OP(OP_pop2, op_pop2) INLINE_OP(OP_dup, op_dup)
    INLINE_OP(OP_dup_x1, op_dup_x1) INLINE_OP(OP_dup2, op_dup2) INLINE_OP(OP_swap, op_swap)
    INLINE_OP(OP_iadd, op_iadd) INLINE_OP(OP_isub, op_isub) INLINE_OP(OP_imul, op_imul)
    INLINE_OP(OP_iand, op_iand) INLINE_OP(OP_ior, op_ior) INLINE_OP(OP_ixor, op_ixor)
    INLINE_OP(OP_ishl, op_ishl) INLINE_OP(OP_ishr, op_ishr) INLINE_OP(OP_iushr, op_iushr)
    INLINE_OP(OP_ineg, op_ineg) INLINE_OP(OP_iinc, op_iinc)
    INLINE_OP(OP_i2b, op_i2b) INLINE_OP(OP_i2c, op_i2c) INLINE_OP(OP_i2s, op_i2s)
    INLINE_OP(OP_ifeq, op_ifeq) INLINE_OP(OP_ifnull, op_ifeq) INLINE_OP(OP_ifne, op_ifne)
    INLINE_OP(OP_ifnonnull, op_ifne) INLINE_OP(OP_iflt, op_iflt) INLINE_OP(OP_ifge, op_ifge)
    INLINE_OP(OP_ifgt, op_ifgt) INLINE_OP(OP_ifle, op_ifle)
    INLINE_OP(OP_if_icmpeq, op_if_icmpeq) INLINE_OP(OP_if_acmpeq, op_if_icmpeq)
    INLINE_OP(OP_if_icmpne, op_if_icmpne) INLINE_OP(OP_if_acmpne, op_if_icmpne)
    INLINE_OP(OP_if_icmplt, op_if_icmplt) INLINE_OP(OP_if_icmpge, op_if_icmpge)
    INLINE_OP(OP_if_icmpgt, op_if_icmpgt) INLINE_OP(OP_if_icmple, op_if_icmple)
    INLINE_OP(OP_goto, op_goto)
    INLINE_OP(OP_getfield_quick, op_getfield_quick) INLINE_OP(OP_agetfield_quick, op_getfield_quick)
    INLINE_OP(OP_putfield_quick, op_putfield_quick) INLINE_OP(OP_aputfield_quick, op_putfield_quick)
    INLINE_OP(OP_getfield2_quick, op_getfield2_quick) INLINE_OP(OP_putfield2_quick, op_putfield2_quick)
    INLINE_OP(OP_lconst_0, op_lconst_0) INLINE_OP(OP_dconst_0, op_lconst_0) INLINE_OP(OP_lconst_1, op_lconst_1)
    INLINE_OP(OP_dconst_1, op_dconst_1) INLINE_OP(OP_fconst_1, op_fconst_1) INLINE_OP(OP_fconst_2, op_fconst_2)
    INLINE_OP(OP_ldc, op_ldc) INLINE_OP(OP_ldc_w, op_ldc_w) INLINE_OP(OP_ldc2_w, op_ldc2_w)
    INLINE_OP(OP_lload_0, op_lload_0) INLINE_OP(OP_dload_0, op_lload_0) INLINE_OP(OP_lload_1, op_lload_1)
    INLINE_OP(OP_dload_1, op_lload_1) INLINE_OP(OP_lload_2, op_lload_2) INLINE_OP(OP_dload_2, op_lload_2)
    INLINE_OP(OP_lload_3, op_lload_3) INLINE_OP(OP_dload_3, op_lload_3)
    INLINE_OP(OP_lstore_0, op_lstore_0) INLINE_OP(OP_dstore_0, op_lstore_0) INLINE_OP(OP_lstore_1, op_lstore_1)
    INLINE_OP(OP_dstore_1, op_lstore_1) INLINE_OP(OP_lstore_2, op_lstore_2) INLINE_OP(OP_dstore_2, op_lstore_2)
    INLINE_OP(OP_lstore_3, op_lstore_3) INLINE_OP(OP_dstore_3, op_lstore_3)
    INLINE_OP(OP_laload, op_laload) INLINE_OP(OP_daload, op_laload)
    INLINE_OP(OP_lastore, op_lastore) INLINE_OP(OP_dastore, op_lastore) INLINE_OP(OP_aastore, op_aastore)
    INLINE_OP(OP_dup_x2, op_dup_x2) INLINE_OP(OP_dup2_x1, op_dup2_x1) INLINE_OP(OP_dup2_x2, op_dup2_x2)
    INLINE_OP(OP_idiv, op_idiv) INLINE_OP(OP_irem, op_irem) INLINE_OP(OP_ldiv, op_ldiv) INLINE_OP(OP_lrem, op_lrem)
    INLINE_OP(OP_ladd, op_ladd) INLINE_OP(OP_lsub, op_lsub) INLINE_OP(OP_lmul, op_lmul)
    INLINE_OP(OP_land, op_land) INLINE_OP(OP_lor, op_lor) INLINE_OP(OP_lxor, op_lxor)
    INLINE_OP(OP_lshl, op_lshl) INLINE_OP(OP_lshr, op_lshr) INLINE_OP(OP_lushr, op_lushr)
    INLINE_OP(OP_lneg, op_lneg) INLINE_OP(OP_fneg, op_fneg) INLINE_OP(OP_dneg, op_dneg)
    INLINE_OP(OP_fadd, op_fadd) INLINE_OP(OP_fsub, op_fsub) INLINE_OP(OP_fmul, op_fmul) INLINE_OP(OP_fdiv, op_fdiv)
    INLINE_OP(OP_dadd, op_dadd) INLINE_OP(OP_dsub, op_dsub) INLINE_OP(OP_dmul, op_dmul) INLINE_OP(OP_ddiv, op_ddiv)
    INLINE_OP(OP_i2l, op_i2l) INLINE_OP(OP_i2f, op_i2f) INLINE_OP(OP_i2d, op_i2d) INLINE_OP(OP_l2i, op_l2i)
    INLINE_OP(OP_l2f, op_l2f) INLINE_OP(OP_l2d, op_l2d) INLINE_OP(OP_f2i, op_f2i) INLINE_OP(OP_f2l, op_f2l)
    INLINE_OP(OP_f2d, op_f2d) INLINE_OP(OP_d2i, op_d2i) INLINE_OP(OP_d2l, op_d2l) INLINE_OP(OP_d2f, op_d2f)
    INLINE_OP(OP_lcmp, op_lcmp) INLINE_OP(OP_fcmpl, op_fcmpl) INLINE_OP(OP_fcmpg, op_fcmpg)
    INLINE_OP(OP_dcmpl, op_dcmpl) INLINE_OP(OP_dcmpg, op_dcmpg)
    INLINE_OP(OP_tableswitch, op_tableswitch) INLINE_OP(OP_lookupswitch, op_lookupswitch)
    INLINE_OP(OP_invokestatic, op_invokestatic) INLINE_OP(OP_invokevirtual_quick, op_invokevirtual_quick)
    INLINE_OP(OP_invokeinterface, op_invokeinterface) INLINE_OP(OP_invokespecial, op_invokespecial)
    INLINE_OP(OP_invokevirtual, op_invokevirtual) INLINE_OP(OP_checkcast, op_checkcast)
    INLINE_OP(OP_instanceof, op_instanceof) INLINE_OP(OP_monitorenter, op_monitorenter)
    INLINE_OP(OP_monitorexit, op_monitorexit) INLINE_OP(OP_jsr, op_jsr) INLINE_OP(OP_ret, op_ret)
    INLINE_OP(OP_getstatic_quick, op_getstatic_quick) INLINE_OP(OP_agetstatic_quick, op_getstatic_quick)
    INLINE_OP(OP_getstatic2_quick, op_getstatic_quick) INLINE_OP(OP_putstatic_quick, op_putstatic_quick)
    INLINE_OP(OP_aputstatic_quick, op_putstatic_quick) INLINE_OP(OP_putstatic2_quick, op_putstatic_quick)
    INLINE_OP(OP_ireturn, op_ireturn) INLINE_OP(OP_freturn, op_ireturn) INLINE_OP(OP_areturn, op_ireturn)
    INLINE_OP(OP_lreturn, op_lreturn) INLINE_OP(OP_dreturn, op_lreturn) INLINE_OP(OP_return, op_return)
#undef INLINE_OP
    return;
  }

  // The operand stack pointer, the code pointer and the locals live in registers of
  // their own from here on: left to itself the allocator spills one of them in a loop
  // this large, and every instruction then stores and reloads it.
  register VMword* sp asm("esi") = stackIn;
  register uint8_t* pc asm("edi") = pcIn;
  LOOP_LOCALS(localsIn);
  VMThread* const thread = frame->thread;
  const uint32_t relocations = TableOnly || Pieces ? 0 : VMFrame::GetRelocations();
  CodeRun runs[2] = {{NULL, 1, 0, false}, {NULL, 1, 0, false}};
  uint8_t* low = NULL;
  uintptr_t span = 0, limit = 0;
  VMbyteArray* code = NULL;
  VMCodeSegment cursor;
  uint32_t at = 0;
  PieceCache pieces;
  pieces.Reset();

// After a jump, the run's bounds compared as numbers: pc and low may lie in different
// blocks. Straight on from an instruction in the run, pc can only have passed its upper
// bound, which lies within the run's block (no instruction's length takes it past the
// block's end), so one comparison is enough.
#define DISPATCH()                                                       \
  do {                                                                   \
    if (Pieces && (uintptr_t)pc - (uintptr_t)low >= span) goto boundary; \
    goto* labels[*pc];                                                   \
  } while (0)
#define NEXT(length, words)                              \
  do {                                                   \
    sp += (words);                                       \
    pc += (length);                                      \
    if (Pieces && (uintptr_t)pc >= limit) goto boundary; \
    goto* labels[*pc];                                   \
  } while (0)
#define ENTER_RUN()                                                                          \
  do {                                                                                       \
    low = runs[0].base + runs[0].low;                                                        \
    uint32_t bytes = runs[0].high - runs[0].low;                                             \
    span = runs[0].last ? bytes : bytes >= VMOpcodeLengthMax ? bytes - (VMOpcodeLengthMax - 1) : 0; \
    limit = (uintptr_t)low + span;                                                           \
  } while (0)

  if (Pieces) {
    code = frame->method->GetCode();
    cursor.offset = -1;
    at = frame->slowLoopPC;
    goto locate;
  }
  DISPATCH();

call : {
  if (Pieces) frame->slowLoopPC = (uint32_t)(pc - runs[0].base);
  VMOpResult r = VMOpcodeTable[*pc](sp, pc, locals, frame);
  pieces.Clear();
  int32_t advance = VM_OP_ADVANCE(r);
  if (advance == 0) {
    // A call or a return made another frame current. One of the fast loop is run here
    // (leaving and entering the loop costs as much as a short method); anything else,
    // and anything after the machine moved, goes back to Execute's loop.
    if (Pieces || TableOnly) return;
    if (VMFrame::GetRelocations() != relocations) return;
    goto resume;
  }
  sp = (VMword*)((uint8_t*)sp + VM_OP_STACK(r));
  pc += advance;
  DISPATCH();
}

  // The thread's current frame is another now: one of the fast loop goes on here.
resume : {
  if (Pieces) return;  // never reached: the slow loop leaves calls and returns to the table
  const VMword wanted = VMFrame::ExecutableByteCodeFlag | VMFrame::UsingFastLoopFlag;
  VMFrame* next = thread->GetFrame();
  if ((next->flags & wanted) != wanted || VMOpcodeTableOnly) return;
  frame = (VMByteCodeFrame*)next;
  sp = frame->stack;
  pc = frame->codePointer;
  locals = frame->locals;
  pieces.pool = NULL;
  DISPATCH();
}

boundary:
  if (!Pieces) return;  // never reached: the fast loop has no boundary
  at = (uint32_t)(pc - runs[0].base);
locate:
  if (runs[0].Holds(at)) {
    pc = runs[0].base + at;
    goto* labels[*pc];
  }
  if (runs[1].Holds(at)) {
    CodeRun swap = runs[0];
    runs[0] = runs[1];
    runs[1] = swap;
    ENTER_RUN();
    pc = runs[0].base + at;
    goto* labels[*pc];
  }
  {
    CodeRun found;
    found.Find(code, at);
    if (found.Holds(at)) {
      runs[1] = runs[0];
      runs[0] = found;
      ENTER_RUN();
      pc = runs[0].base + at;
      goto* labels[*pc];
    }
    // Straddling two runs: the handler runs on a gathered copy.
    uint8_t* instruction = cursor.FetchInstruction(code, at);
    frame->slowLoopPC = at;
    VMOpResult r = VMOpcodeTable[*instruction](sp, instruction, locals, frame);
    pieces.Clear();
    int32_t advance = VM_OP_ADVANCE(r);
    if (advance == 0) return;
    sp = (VMword*)((uint8_t*)sp + VM_OP_STACK(r));
    at += (uint32_t)advance;
    goto locate;
  }

  /* ---- constants ---- */
op_nop:
  NEXT(1, 0);
op_zero:
  sp[0] = 0;
  NEXT(1, 1);
  // One label per value: a second read of the opcode byte would see a breakpoint planted
  // since the dispatch, and push its byte's value.
#define ICONST(label, value) \
  label:                     \
  sp[0] = (VMword)(value);   \
  NEXT(1, 1);
  ICONST(op_iconst_m1, -1)
  ICONST(op_iconst_1, 1)
  ICONST(op_iconst_2, 2)
  ICONST(op_iconst_3, 3)
  ICONST(op_iconst_4, 4)
  ICONST(op_iconst_5, 5)
#undef ICONST
op_bipush:
  sp[0] = (VMword)(int32_t)(int8_t)pc[1];
  NEXT(2, 1);
op_sipush:
  sp[0] = (VMword)(int32_t)S16(pc + 1);
  NEXT(3, 1);

  /* ---- locals ---- */
op_iload:
  sp[0] = locals[pc[1]];
  NEXT(2, 1);
op_iload_0:
  sp[0] = locals[0];
  NEXT(1, 1);
op_iload_1:
  sp[0] = locals[1];
  NEXT(1, 1);
op_iload_2:
  sp[0] = locals[2];
  NEXT(1, 1);
op_iload_3:
  sp[0] = locals[3];
  NEXT(1, 1);
op_lload:
  Move64(sp, locals + pc[1]);
  NEXT(2, 2);
op_istore:
  locals[pc[1]] = sp[-1];
  NEXT(2, -1);
op_istore_0:
  locals[0] = sp[-1];
  NEXT(1, -1);
op_istore_1:
  locals[1] = sp[-1];
  NEXT(1, -1);
op_istore_2:
  locals[2] = sp[-1];
  NEXT(1, -1);
op_istore_3:
  locals[3] = sp[-1];
  NEXT(1, -1);
op_lstore:
  Move64(locals + pc[1], sp - 2);
  NEXT(2, -2);
op_iinc:
  locals[pc[1]] = (VMword)((uint32_t)locals[pc[1]] + (uint32_t)(int32_t)(int8_t)pc[2]);
  NEXT(3, 0);

  /* ---- arrays: a null array or an index out of range goes to the handler ---- */
#define ARRAY_AT(arrayWord, indexWord)                               \
  VMArray* array = (VMArray*)sp[arrayWord];                          \
  uint32_t index = sp[indexWord];                                    \
  if (array == NULL || index >= array->GetSize()) goto call;
op_iaload : {
  ARRAY_AT(-2, -1)
  sp[-2] = *(VMword*)Element<2>(&pieces, array, index);
  NEXT(1, -1);
}
op_baload : {
  ARRAY_AT(-2, -1)
  sp[-2] = (VMword)(int32_t) * (int8_t*)Element<0>(&pieces, array, index);
  NEXT(1, -1);
}
op_caload : {
  ARRAY_AT(-2, -1)
  sp[-2] = (VMword) * (uint16_t*)Element<1>(&pieces, array, index);
  NEXT(1, -1);
}
op_saload : {
  ARRAY_AT(-2, -1)
  sp[-2] = (VMword)(int32_t) * (int16_t*)Element<1>(&pieces, array, index);
  NEXT(1, -1);
}
op_iastore : {
  ARRAY_AT(-3, -2)
  *(VMword*)Element<2>(&pieces, array, index) = sp[-1];
  NEXT(1, -3);
}
op_bastore : {
  ARRAY_AT(-3, -2)
  *(uint8_t*)Element<0>(&pieces, array, index) = (uint8_t)sp[-1];
  NEXT(1, -3);
}
op_castore : {
  ARRAY_AT(-3, -2)
  *(uint16_t*)Element<1>(&pieces, array, index) = (uint16_t)sp[-1];
  NEXT(1, -3);
}
#undef ARRAY_AT
op_arraylength : {
  VMArray* array = (VMArray*)sp[-1];
  if (array == NULL) goto call;
  sp[-1] = array->GetSize();
  NEXT(1, 0);
}

  /* ---- stack ---- */
op_pop:
  NEXT(1, -1);
op_pop2:
  NEXT(1, -2);
op_dup:
  sp[0] = sp[-1];
  NEXT(1, 1);
op_dup_x1 : {
  VMword v1 = sp[-1], v2 = sp[-2];
  sp[-2] = v1;
  sp[-1] = v2;
  sp[0] = v1;
  NEXT(1, 1);
}
op_dup2 : {
  // Word by word: it mostly copies an array and an index pushed apart, and one 8-byte
  // read of two 4-byte stores waits for them (the empty asm keeps the compiler from
  // merging the two copies into one).
  VMword low = sp[-2], high = sp[-1];
  __asm__("" : "+r"(low));
  sp[0] = low;
  sp[1] = high;
  NEXT(1, 2);
}
op_swap : {
  VMword v = sp[-1];
  sp[-1] = sp[-2];
  sp[-2] = v;
  NEXT(1, 0);
}

  /* ---- integer arithmetic: wraps (computed unsigned), shifts mask their counts ---- */
#define INT_BINARY(op, expr)         \
  op_##op : {                        \
    uint32_t a = sp[-2], b = sp[-1]; \
    sp[-2] = (VMword)(expr);         \
    NEXT(1, -1);                     \
  }
  VM_INT_BINARY_OPS(INT_BINARY)
#undef INT_BINARY
op_ineg:
  sp[-1] = 0u - sp[-1];
  NEXT(1, 0);
op_i2b:
  sp[-1] = (VMword)(int32_t)(int8_t)sp[-1];
  NEXT(1, 0);
op_i2c:
  sp[-1] = (VMword)(uint16_t)sp[-1];
  NEXT(1, 0);
op_i2s:
  sp[-1] = (VMword)(int32_t)(int16_t)sp[-1];
  NEXT(1, 0);

  /* ---- branches: a taken backward branch whose poll is due goes to the handler ---- */
#define BRANCH_IF(label, cond, words)                         \
  label : {                                                   \
    if (cond) {                                               \
      int32_t offset = S16(pc + 1);                           \
      if (offset <= 0 && PollDue(thread)) goto call;          \
      sp -= (words);                                          \
      pc += offset;                                           \
      DISPATCH();                                             \
    }                                                         \
    NEXT(3, -(words));                                        \
  }
  BRANCH_IF(op_ifeq, (int32_t)sp[-1] == 0, 1)
  BRANCH_IF(op_ifne, (int32_t)sp[-1] != 0, 1)
  BRANCH_IF(op_iflt, (int32_t)sp[-1] < 0, 1)
  BRANCH_IF(op_ifge, (int32_t)sp[-1] >= 0, 1)
  BRANCH_IF(op_ifgt, (int32_t)sp[-1] > 0, 1)
  BRANCH_IF(op_ifle, (int32_t)sp[-1] <= 0, 1)
  BRANCH_IF(op_if_icmpeq, (int32_t)sp[-2] == (int32_t)sp[-1], 2)
  BRANCH_IF(op_if_icmpne, (int32_t)sp[-2] != (int32_t)sp[-1], 2)
  BRANCH_IF(op_if_icmplt, (int32_t)sp[-2] < (int32_t)sp[-1], 2)
  BRANCH_IF(op_if_icmpge, (int32_t)sp[-2] >= (int32_t)sp[-1], 2)
  BRANCH_IF(op_if_icmpgt, (int32_t)sp[-2] > (int32_t)sp[-1], 2)
  BRANCH_IF(op_if_icmple, (int32_t)sp[-2] <= (int32_t)sp[-1], 2)
#undef BRANCH_IF
op_goto : {
  int32_t offset = S16(pc + 1);
  if (offset <= 0 && PollDue(thread)) goto call;
  pc += offset;
  DISPATCH();
}

  /* Subroutines (finally blocks of older compilers), in the fast loop only, where the
     code lies whole: the return point is the code offset the handlers push too. */
op_jsr : {
  if (Pieces) goto call;
  int32_t offset = S16(pc + 1);
  if (offset <= 0) goto call;
  sp[0] = (VMword)(pc - frame->method->GetCode()->GetFirstElementPointer()) + 3;
  sp += 1;
  pc += offset;
  DISPATCH();
}
op_ret : {
  if (Pieces) goto call;
  uint8_t* start = frame->method->GetCode()->GetFirstElementPointer();
  uint32_t target = locals[pc[1]];
  if (target >= frame->method->GetCode()->GetSize() || start + target == pc) goto call;
  pc = start + target;
  DISPATCH();
}

  /* ---- the quick field forms: a null object goes to the handler ---- */
op_getfield_quick : {
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) goto call;
  sp[-1] = *FieldWord(object, U16(pc + 1));
  NEXT(3, 0);
}
op_putfield_quick : {
  VMObject* object = (VMObject*)sp[-2];
  if (object == NULL) goto call;
  *FieldWord(object, U16(pc + 1)) = sp[-1];
  NEXT(3, -2);
}
op_getfield2_quick : {
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) goto call;
  uint32_t slot = U16(pc + 1);
  sp[-1] = *FieldWord(object, slot);
  sp[0] = *FieldWord(object, slot + 1);
  NEXT(3, 1);
}
op_putfield2_quick : {
  VMObject* object = (VMObject*)sp[-3];
  if (object == NULL) goto call;
  uint32_t slot = U16(pc + 1);
  *FieldWord(object, slot) = sp[-2];
  *FieldWord(object, slot + 1) = sp[-1];
  NEXT(3, -3);
}

  /* ---- the quick static field forms, once the field's class is initialised in this
     machine ---- */
#define STATIC_FIELD()                                                                    \
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();                \
  uint32_t index = U16(pc + 1);                                                           \
  if (ConstTypeAt(pieces.pool, index, &pieces) != VMConstantPool::TYPE_FieldRef_Resolved) \
    goto call;                                                                            \
  VMDataMember* field = *(VMDataMember**)Element<2>(&pieces, pieces.pool, index);         \
  if (!field->GetIsStatic()) goto call;                                                   \
  VMObject* data = ReadyData(&pieces, thread, field->GetDefinedIn());                     \
  if (data == NULL) goto call;                                                            \
  uint32_t slot = (uint32_t)field->GetIndex();
op_getstatic_quick : {
  STATIC_FIELD()
  sp[0] = *FieldWord(data, slot);
  if (field->GetClass()->GetIsTwoEntries()) {
    sp[1] = *FieldWord(data, slot + 1);
    NEXT(3, 2);
  }
  NEXT(3, 1);
}
op_putstatic_quick : {
  STATIC_FIELD()
  if (field->GetClass()->GetIsTwoEntries()) {
    *FieldWord(data, slot) = sp[-2];
    *FieldWord(data, slot + 1) = sp[-1];
    NEXT(3, -2);
  }
  *FieldWord(data, slot) = sp[-1];
  NEXT(3, -1);
}
#undef STATIC_FIELD

  /* ---- type tests of an object of exactly the named class (any other goes to the
     handler, which resolves the name and walks the supertypes), and monitors, which
     take no lock ---- */
#define EXACT_CLASS()                                                                  \
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();             \
  uint32_t index = U16(pc + 1);                                                        \
  int32_t type = ConstTypeAt(pieces.pool, index, &pieces);                             \
  bool exact = (type == VMConstantPool::TYPE_Class || type == VMConstantPool::TYPE_Class_Resolved) && \
               *(VMClass**)Element<2>(&pieces, pieces.pool, index) == object->GetClass();
op_checkcast : {
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) NEXT(3, 0);
  EXACT_CLASS()
  if (!exact) goto call;
  NEXT(3, 0);
}
op_instanceof : {
  VMObject* object = (VMObject*)sp[-1];
  if (object == NULL) NEXT(3, 0);
  EXACT_CLASS()
  if (!exact) goto call;
  sp[-1] = 1;
  NEXT(3, 0);
}
#undef EXACT_CLASS
op_monitorenter:
  if (sp[-1] == 0) goto call;
  thread->SetProcessingMonitorEnter();
  thread->SetMutexLockCount(thread->GetMutexLockCount() + 1);
  thread->ClearProcessingMonitorEnter();
  NEXT(1, -1);
op_monitorexit:
  if (sp[-1] == 0) goto call;
  thread->SetMutexLockCount(thread->GetMutexLockCount() - 1);
  NEXT(1, -1);

  /* ---- two-word constants and locals ---- */
op_lconst_0:
  sp[0] = 0;
  sp[1] = 0;
  NEXT(1, 2);
op_lconst_1:
  sp[0] = 1;
  sp[1] = 0;
  NEXT(1, 2);
op_dconst_1:
  sp[0] = 0;
  sp[1] = 0x3FF00000u;
  NEXT(1, 2);
op_fconst_1:
  sp[0] = 0x3F800000u;
  NEXT(1, 1);
op_fconst_2:
  sp[0] = 0x40000000u;
  NEXT(1, 1);
op_lload_0:
  Move64(sp, locals + 0);
  NEXT(1, 2);
op_lload_1:
  Move64(sp, locals + 1);
  NEXT(1, 2);
op_lload_2:
  Move64(sp, locals + 2);
  NEXT(1, 2);
op_lload_3:
  Move64(sp, locals + 3);
  NEXT(1, 2);
op_lstore_0:
  Move64(locals + 0, sp - 2);
  NEXT(1, -2);
op_lstore_1:
  Move64(locals + 1, sp - 2);
  NEXT(1, -2);
op_lstore_2:
  Move64(locals + 2, sp - 2);
  NEXT(1, -2);
op_lstore_3:
  Move64(locals + 3, sp - 2);
  NEXT(1, -2);

  /* ---- pool constants: numbers, and strings whose object the pool already holds; a
     string not yet made (making it may allocate) and anything a crafted pool holds go to
     the handler ---- */
op_ldc : {
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMConstantPool* pool = pieces.pool;
  int32_t type = ConstTypeAt(pool, pc[1], &pieces);
  if (type != VMConstantPool::TYPE_Integer && type != VMConstantPool::TYPE_Float &&
      type != VMConstantPool::TYPE_String_Resolved)
    goto call;
  sp[0] = *(VMword*)Element<2>(&pieces, pool, pc[1]);
  NEXT(2, 1);
}
op_ldc_w : {
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMConstantPool* pool = pieces.pool;
  uint32_t index = U16(pc + 1);
  int32_t type = ConstTypeAt(pool, index, &pieces);
  if (type != VMConstantPool::TYPE_Integer && type != VMConstantPool::TYPE_Float &&
      type != VMConstantPool::TYPE_String_Resolved)
    goto call;
  sp[0] = *(VMword*)Element<2>(&pieces, pool, index);
  NEXT(3, 1);
}
op_ldc2_w : {
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMConstantPool* pool = pieces.pool;
  uint32_t index = U16(pc + 1);
  int32_t type = ConstTypeAt(pool, index, &pieces);
  if ((type != VMConstantPool::TYPE_Long && type != VMConstantPool::TYPE_Double) || index + 1 >= pool->GetCount())
    goto call;
  sp[0] = *(VMword*)Element<2>(&pieces, pool, index);
  sp[1] = *(VMword*)Element<2>(&pieces, pool, index + 1);
  NEXT(3, 2);
}

  /* ---- two-word and reference array elements ---- */
#define ARRAY_AT(arrayWord, indexWord)                               \
  VMArray* array = (VMArray*)sp[arrayWord];                          \
  uint32_t index = sp[indexWord];                                    \
  if (array == NULL || index >= array->GetSize()) goto call;
op_laload : {
  ARRAY_AT(-2, -1)
  Move64(sp - 2, Element<3>(&pieces, array, index));
  NEXT(1, 0);
}
op_lastore : {
  ARRAY_AT(-4, -3)
  Move64(Element<3>(&pieces, array, index), sp - 2);
  NEXT(1, -4);
}
op_aastore : {
  // Null, or an instance of exactly the element class, needs no search of the class
  // tree; everything else (and every failure) goes to the handler.
  ARRAY_AT(-3, -2)
  VMObject* value = (VMObject*)sp[-1];
  if (value != NULL) {
    VMArrayClass* cls = array->GetArrayClass();
    if (cls == NULL || value->GetClass() == NULL || (VMClass*)value->GetClass() != cls->GetElementClass())
      goto call;
  }
  *(VMword*)Element<2>(&pieces, array, index) = (VMword)value;
  NEXT(1, -3);
}
#undef ARRAY_AT

  /* ---- stack ---- */
op_dup_x2 : {
  VMword v1 = sp[-1], v2 = sp[-2], v3 = sp[-3];
  sp[-3] = v1;
  sp[-2] = v3;
  sp[-1] = v2;
  sp[0] = v1;
  NEXT(1, 1);
}
op_dup2_x1 : {
  VMword v1 = sp[-1], v2 = sp[-2], v3 = sp[-3];
  sp[-3] = v2;
  sp[-2] = v1;
  sp[-1] = v3;
  sp[0] = v2;
  sp[1] = v1;
  NEXT(1, 2);
}
op_dup2_x2 : {
  VMword v1 = sp[-1], v2 = sp[-2], v3 = sp[-3], v4 = sp[-4];
  sp[-4] = v2;
  sp[-3] = v1;
  sp[-2] = v4;
  sp[-1] = v3;
  sp[0] = v2;
  sp[1] = v1;
  NEXT(1, 2);
}

  /* ---- division: a zero divisor goes to the handler (ArithmeticException); -1 is
     taken apart, since MIN_VALUE / -1 traps in the processor ---- */
op_idiv : {
  int32_t a = (int32_t)sp[-2], b = (int32_t)sp[-1];
  if (b == 0) goto call;
  sp[-2] = b == -1 ? (VMword)(0u - (uint32_t)a) : (VMword)(a / b);
  NEXT(1, -1);
}
op_irem : {
  int32_t a = (int32_t)sp[-2], b = (int32_t)sp[-1];
  if (b == 0) goto call;
  sp[-2] = b == -1 ? 0 : (VMword)(a % b);
  NEXT(1, -1);
}
op_ldiv : {
  int64_t a = Get64(sp - 4), b = Get64(sp - 2);
  if (b == 0) goto call;
  Put64(sp - 4, b == -1 ? (int64_t)(0ull - (uint64_t)a) : a / b);
  NEXT(1, -2);
}
op_lrem : {
  int64_t a = Get64(sp - 4), b = Get64(sp - 2);
  if (b == 0) goto call;
  Put64(sp - 4, b == -1 ? 0 : a % b);
  NEXT(1, -2);
}

  /* ---- long arithmetic: wraps (computed unsigned), shifts mask their counts to 63 ---- */
#define LONG_BINARY(op, expr)                                          \
  op_##op : {                                                          \
    uint64_t a = (uint64_t)Get64(sp - 4), b = (uint64_t)Get64(sp - 2); \
    Put64(sp - 4, (int64_t)(expr));                                    \
    NEXT(1, -2);                                                       \
  }
  VM_LONG_BINARY_OPS(LONG_BINARY)
#undef LONG_BINARY
#define LONG_SHIFT(op, expr)              \
  op_##op : {                             \
    uint64_t a = (uint64_t)Get64(sp - 3); \
    uint32_t n = sp[-1] & 63;             \
    Put64(sp - 3, (int64_t)(expr));       \
    NEXT(1, -1);                          \
  }
  VM_LONG_SHIFT_OPS(LONG_SHIFT)
#undef LONG_SHIFT
op_lneg:
  Put64(sp - 2, (int64_t)(0ull - (uint64_t)Get64(sp - 2)));
  NEXT(1, 0);
  // Negation flips the sign bit: 0 - x would turn -0.0 into +0.0.
op_fneg:
  sp[-1] ^= 0x80000000u;
  NEXT(1, 0);
op_dneg:
  sp[-1] ^= 0x80000000u;
  NEXT(1, 0);

  /* ---- float and double arithmetic (SSE: each operation rounded once, as Java has it) ---- */
#define FLOAT_BINARY(op, expr)                \
  op_##op : {                                 \
    float a = GetF(sp - 2), b = GetF(sp - 1); \
    PutF(sp - 2, expr);                       \
    NEXT(1, -1);                              \
  }
  VM_FLOAT_BINARY_OPS(FLOAT_BINARY)
#undef FLOAT_BINARY
#define DOUBLE_BINARY(op, expr)                \
  op_##op : {                                  \
    double a = GetD(sp - 4), b = GetD(sp - 2); \
    PutD(sp - 4, expr);                        \
    NEXT(1, -2);                               \
  }
  VM_DOUBLE_BINARY_OPS(DOUBLE_BINARY)
#undef DOUBLE_BINARY

  /* ---- conversions, to the Java rules (FloatingToInt, FloatingToLong) ---- */
op_i2l:
  Put64(sp - 1, (int64_t)(int32_t)sp[-1]);
  NEXT(1, 1);
op_i2f:
  PutF(sp - 1, (float)(int32_t)sp[-1]);
  NEXT(1, 0);
op_i2d:
  PutD(sp - 1, (double)(int32_t)sp[-1]);
  NEXT(1, 1);
op_l2i:
  NEXT(1, -1);  // the low word stays where it is
op_l2f:
  // One rounding from the 64-bit integer (through double it could round twice).
  PutF(sp - 2, (float)Get64(sp - 2));
  NEXT(1, -1);
op_l2d:
  PutD(sp - 2, (double)Get64(sp - 2));
  NEXT(1, 0);
op_f2i:
  sp[-1] = (VMword)FloatingToInt((double)GetF(sp - 1));
  NEXT(1, 0);
op_f2l:
  Put64(sp - 1, FloatingToLong((double)GetF(sp - 1)));
  NEXT(1, 1);
op_f2d:
  PutD(sp - 1, (double)GetF(sp - 1));
  NEXT(1, 1);
op_d2i:
  sp[-2] = (VMword)FloatingToInt(GetD(sp - 2));
  NEXT(1, -1);
op_d2l:
  Put64(sp - 2, FloatingToLong(GetD(sp - 2)));
  NEXT(1, 0);
op_d2f:
  PutF(sp - 2, (float)GetD(sp - 2));
  NEXT(1, -1);

  /* ---- comparisons: an unordered pair (a NaN) gives the instruction's own answer ---- */
op_lcmp : {
  int64_t a = Get64(sp - 4), b = Get64(sp - 2);
  sp[-4] = (VMword)(a < b ? -1 : a > b ? 1 : 0);
  NEXT(1, -3);
}
#define FCMP(label, nan)                                                   \
  label : {                                                                \
    float a = GetF(sp - 2), b = GetF(sp - 1);                              \
    sp[-2] = (VMword)(a < b ? -1 : a > b ? 1 : a == b ? 0 : (nan));        \
    NEXT(1, -1);                                                           \
  }
  FCMP(op_fcmpl, -1)
  FCMP(op_fcmpg, 1)
#undef FCMP
#define DCMP(label, nan)                                                   \
  label : {                                                                \
    double a = GetD(sp - 4), b = GetD(sp - 2);                             \
    sp[-4] = (VMword)(a < b ? -1 : a > b ? 1 : a == b ? 0 : (nan));        \
    NEXT(1, -3);                                                           \
  }
  DCMP(op_dcmpl, -1)
  DCMP(op_dcmpg, 1)
#undef DCMP

  /* ---- switches: only in the fast loop, where the table lies whole behind pc; a
     backward or zero offset, or any switch of the slow loop, goes to the handler ---- */
op_tableswitch : {
  if (Pieces) goto call;
  uint8_t* start = frame->method->GetCode()->GetFirstElementPointer();
  uint32_t op = (uint32_t)(pc - start);
  const uint8_t* fixed = start + ((op + 4) & ~3u);
  int32_t key = (int32_t)sp[-1];
  int32_t lowKey = S32(fixed + 4), highKey = S32(fixed + 8);
  int32_t offset = S32(fixed);
  uint32_t i = (uint32_t)key - (uint32_t)lowKey;
  if (key >= lowKey && key <= highKey && i <= (uint32_t)highKey - (uint32_t)lowKey) offset = S32(fixed + 12 + 4 * i);
  if (offset <= 0) goto call;
  sp -= 1;
  pc += offset;
  DISPATCH();
}
op_lookupswitch : {
  if (Pieces) goto call;
  uint8_t* start = frame->method->GetCode()->GetFirstElementPointer();
  uint32_t op = (uint32_t)(pc - start);
  const uint8_t* fixed = start + ((op + 4) & ~3u);
  int32_t key = (int32_t)sp[-1];
  int32_t offset = S32(fixed);
  int32_t pairs = S32(fixed + 4);
  for (int32_t i = 0; i < pairs; i++) {
    if (S32(fixed + 8 + 8 * i) == key) {
      offset = S32(fixed + 12 + 8 * i);
      break;
    }
  }
  if (offset <= 0) goto call;
  sp -= 1;
  pc += offset;
  DISPATCH();
}
  /* ---- calls and returns: a static call to a bytecode method whose frame fits in the
     caller's group, with no poll due (a synchronized one with its class's static data
     as the frame's monitor object), to a mathematical native, or to a one-liner, once
     the callee's class is initialised in this machine (a static method's calls of its
     own class need no look: it runs only once that holds, or while this thread
     initialises the class); every other call goes to the handler. Returns as the
     handlers make them, the result below the caller's stack pointer. The slow loop
     takes both to the handlers. ---- */
op_invokestatic : {
  if (Pieces) goto call;
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMMethod* callee = ResolvedMethodAt(pieces.pool, U16(pc + 1), &pieces);
  if (callee == NULL) goto call;
  VMword flags = callee->GetMemberFlags();
  const VMword kinds = VMMember::IsStaticFlag | VMMember::IsAbstractFlag | VMMember::IsByteCodeFlag |
                       VMMember::IsCompiledFlag | VMMember::IsNativeFlag | VMMember::IsSynchronizedFlag;
  const bool native = (flags & kinds) == (VMMember::IsStaticFlag | VMMember::IsNativeFlag);
  const bool synchronized = (flags & kinds) == (VMMember::IsStaticFlag | VMMember::IsByteCodeFlag |
                                                VMMember::IsSynchronizedFlag);
  if ((flags & kinds) != (VMMember::IsStaticFlag | VMMember::IsByteCodeFlag) && !native && !synchronized) goto call;
  VMMethod* caller = frame->method;
  VMLoadableClass* target = callee->GetDefinedIn();
  VMObject* data = NULL;
  if ((target != caller->GetDefinedIn() || !caller->GetIsStatic() || synchronized) &&
      (data = ReadyData(&pieces, thread, target)) == NULL)
    goto call;
  VMword* args = (VMword*)((uint8_t*)sp - callee->GetParameterBytes());
  // A watched thread runs every method it calls: it may stop in any of them.
  if ((flags & VMMember::ShapeMask) && (thread->GetEnv()->debug & 0xFF) == 0) {
    sp = ComputeShape(callee->GetShape(), args);
    pc += 3;
    DISPATCH();
  }
  if (native) {
    if (!MathNative(callee, args)) goto call;
    sp = args + 2;
    pc += 3;
    DISPATCH();
  }
  if (PollDue(thread) || !PushFrameInGroup(frame, pc + 3, 3, callee, flags, synchronized ? data : NULL, args))
    goto call;
  goto resume;
}
  /* Instance calls whose callee is resolved and whose target is a bytecode method (a
     synchronized one with its receiver as the frame's monitor object), as the static
     ones: a virtual call (a site left slow is one whose target was synchronized: an
     unsynchronized one goes to the handler, which makes the site quick), an interface
     call whose site's remembered slot holds the method, and a special call to a method
     of the caller's class or its superclass (the superclass's own, as the handler finds
     it). */
#define CALL_ON(target, length)                                                                            \
  {                                                                                                        \
    VMword flags = (target)->GetMemberFlags();                                                             \
    const VMword kinds = VMMember::IsStaticFlag | VMMember::IsAbstractFlag | VMMember::IsByteCodeFlag |    \
                         VMMember::IsCompiledFlag | VMMember::IsNativeFlag;                                \
    VMObject* synch = (flags & VMMember::IsSynchronizedFlag) ? (VMObject*)args[0] : NULL;                  \
    if ((flags & kinds) != VMMember::IsByteCodeFlag || PollDue(thread) ||                                  \
        !PushFrameInGroup(frame, pc + (length), (length), (target), flags, synch, args))                   \
      goto call;                                                                                           \
    goto resume;                                                                                           \
  }
op_invokevirtual:
op_invokevirtual_quick : {
  if (Pieces) goto call;
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMMethod* callee = ResolvedMethodAt(pieces.pool, U16(pc + 1), &pieces);
  if (callee == NULL) goto call;
  VMword* args = (VMword*)((uint8_t*)sp - callee->GetParameterBytes());
  VMObject* receiver = (VMObject*)args[0];
  if (receiver == NULL || callee->GetIsStatic()) goto call;
  VMMethod* target = MethodTableEntry(receiver, callee->GetIndex());
  if (target == NULL || (*pc == OP_invokevirtual && !target->GetIsSynchronized())) goto call;
  CALL_ON(target, 3)
}
op_invokeinterface : {
  if (Pieces) goto call;
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMMethod* callee = pieces.pool->ResolvedInterfaceMethodAt(U16(pc + 1));
  if (callee == NULL) goto call;
  uint32_t paramBytes = callee->GetParameterBytes();
  VMword* args = (VMword*)((uint8_t*)sp - paramBytes);
  VMObject* receiver = (VMObject*)args[0];
  if (paramBytes == 0 || receiver == NULL) goto call;
  VMMethod* target = MethodTableEntry(receiver, pc[4]);
  if (target == NULL || target->GetName() != callee->GetName() || target->GetSignature() != callee->GetSignature() ||
      !target->GetIsPublic())
    goto call;
  CALL_ON(target, 5)
}
op_invokespecial : {
  if (Pieces) goto call;
  if (pieces.pool == NULL) pieces.pool = frame->method->GetConstantPool();
  VMMethod* callee = ResolvedMethodAt(pieces.pool, U16(pc + 1), &pieces);
  if (callee == NULL) goto call;
  VMLoadableClass* current = frame->method->GetDefinedIn();
  VMLoadableClass* declaring = callee->GetDefinedIn();
  if (declaring != current && declaring != current->GetSuper()) goto call;
  VMword* args = (VMword*)((uint8_t*)sp - callee->GetParameterBytes());
  if ((VMObject*)args[0] == NULL) goto call;
  CALL_ON(callee, 3)
}
#undef CALL_ON
op_ireturn:
  if (Pieces) goto call;
  ReturnToCaller<1>(frame, sp);
  goto resume;
op_lreturn:
  if (Pieces) goto call;
  ReturnToCaller<2>(frame, sp);
  goto resume;
op_return:
  if (Pieces) goto call;
  ReturnToCaller<0>(frame, sp);
  goto resume;
#undef ENTER_RUN
#undef NEXT
#undef DISPATCH
}

struct LabelTables {
  LabelTables() {
    Loop<false, false>(NULL, NULL, NULL, NULL);
    Loop<false, true>(NULL, NULL, NULL, NULL);
    Loop<true, false>(NULL, NULL, NULL, NULL);
    Loop<true, true>(NULL, NULL, NULL, NULL);
  }
} labelTables;

}  // namespace

/* The fast loop is kept out of line so that no long-jump target forces its locals into
   memory. */
__attribute__((noinline)) void VMByteCodeFrame::ExecuteFastLoop(VMword* stack, uint8_t* pc, VMword* locals,
                                                                 VMByteCodeFrame* frame) {
  if (VMOpcodeTableOnly)
    Loop<false, true>(stack, pc, locals, frame);
  else
    Loop<false, false>(stack, pc, locals, frame);
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
  uint32_t need = kLength.of[*current];
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
  if (VMOpcodeTableOnly)
    Loop<true, true>(frame->stack, NULL, frame->locals, frame);
  else
    Loop<true, false>(frame->stack, NULL, frame->locals, frame);
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
  // The newest bytecode frame the exception has left: where an uncaught one is shown.
  VMByteCodeFrame* left = NULL;
  for (VMFrame* f = frame; f != NULL; f = f->caller) {
    if (f->flags & FirstFrameFlag) {
      // Nothing takes it: it stays pending for whoever looks.
      thread->SetFrame(f);
      exception->ClearIsReachableByCPlusPlusCode();
      return;
    }
    if (f->flags & ExecutableByteCodeFlag) {
      VMByteCodeFrame* b = f->GetByteCodeFrame();
      if (left == NULL) left = b;
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
      // Shown at the handler, with the exception on the frame's stack where a collection
      // during the stop finds it; a move of the machine meanwhile is picked up from the
      // frame by the Execute that runs it.
      if (VMDebugger* agent = ExceptionWatcher(thread)) {
        if (agent->GetReportCatch()) {
          uint32_t moves = GetRelocations();
          agent->ReportException(b, exception, true);
          if (GetRelocations() != moves) b = (VMByteCodeFrame*)VMThread::Current()->GetFrame();
          longjmp(*b->GetOwner()->firstJmpBuf, 1);
        }
      }
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
      if (left != NULL && ExceptionWatcher(thread) != NULL && !CallsJava(f)) {
        // Leaving the thread's last Java code: pending on the thread, the exception is
        // reachable during the stop, and the frames it left are still whole.
        ExceptionWatcher(thread)->ReportException(left, exception, false);
        thread = VMThread::Current();
        if (VMJavaLangThrowable* pending = thread->GetException()) exception = pending;
        f = thread->GetFrame();
        for (; f != NULL && !(f->flags & JNIFlag); f = f->caller) {
        }
        if (f == NULL) return;
      }
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
