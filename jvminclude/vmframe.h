/* Interpreter frames, frame groups, the execution driver and the opcode handlers.

   Every activation of a method has a frame; a thread's frames form one chain through
   their caller words, from the thread's current frame down to its first frame. Bytecode
   frames (locals, a 13-word head, the operand stack) are carved out of frame groups:
   single host blocks chained per thread. JNI frames come from the host or from the
   thread's frame list; compiled frames live on the machine stack of their caller.

   Frames are not heap objects: the classes below are plain records laid over memory,
   word by word as the collector, the debugger and the throw path read them. */
#ifndef PUX_VMFRAME_H
#define PUX_VMFRAME_H

#include <setjmp.h>

#include <atomic>

#include "jnitypes.h"
#include "vmarray.h"
#include "vmerrorcatcher.h"
#include "vmopdefinition.h"

class VMFrame;
class VMJNIFrame;
class VMCompiledFrame;
class VMByteCodeFrame;

/* Opcode handlers take their first three arguments in registers (eax, edx, ecx): four
   pushes per instruction would cost more than the work of most handlers. */
#define VM_HANDLER __attribute__((regparm(3)))

/* A handler's answer: the pc advance (signed, bits 31-16) and the change of the stack
   pointer in bytes (signed, bits 15-0). Advance 0 leaves the dispatch loop; the handler
   has then stored everything the next run needs in the frame. */
typedef uint32_t VMOpResult;
#define VM_OP(advance, stackBytes) \
  ((VMOpResult)(((uint32_t)(int32_t)(advance) << 16) | ((uint32_t)(int32_t)(stackBytes)&0xFFFFu)))
#define VM_OP_ADVANCE(r) ((int32_t)(r) >> 16)
#define VM_OP_STACK(r) ((int32_t)(int16_t)(uint16_t)(r))

typedef VMOpResult(VM_HANDLER* VMOpHandler)(VMword* sp, uint8_t* pc, VMword* locals,
                                             VMByteCodeFrame* frame);

/* The table of every opcode byte: 0xD8-0xFF name a handler that raises VerifyError, so
   no byte can call through garbage. */
extern VMOpHandler VMOpcodeTable[256];

/* The dispatch loops carry out the commonest instructions themselves and call the table
   for every other one and for every failure. Set, they call the table for every
   instruction: for tools that replace table entries to count or trace, and to check
   the loops against the handlers. Changed only while no thread runs Java. */
extern bool VMOpcodeTableOnly;

/* ------------------------------------------------------------------------------------ */
/* The common head of every frame                                                        */

class VMFrame {
 public:
  enum : VMword {
    ByteCodeTag = 0x6266FECAu,   /* bytecode frames and the first frame */
    HostFrameTag = 0x2066FECAu,  /* compiled frames and JNI frames from the host */
    ListFrameTag = 0x6A3DFECAu,  /* JNI frames from a thread's frame list */
  };
  enum : VMword {
    UsingFastLoopFlag = 0x01,
    JNIFlag = 0x02,
    CompiledFlag = 0x04,
    ExecutableByteCodeFlag = 0x08,
    StackValidFlag = 0x10,
    HasJmpBufFlag = 0x20,
    FirstFrameFlag = 0x40,
    HitBreakpointFlag = 0x80,
    JITtedFlag = 0x100,
    /* A bytecode frame that is throwing: its pc lies past the instruction that threw
       (the handler search and the collector's walk look at that instruction). */
    ThrowingFlag = 0x200,
    /* An Execute's owner frame while that Execute runs the debugging loop. */
    DebugLoopFlag = 0x400,
    ByteCodeMask = 0x48,
  };
  enum { HeadWords = 8 };

  VMword tag;
  VMword flags;
  VMThread* thread;
  VMMethod* method;
  VMFrame* caller;
  VMword* stack;
  VMObject* synch;
  /* Bytecode and first frames: the end of their group's buffer. JNI and compiled frames:
     the head of their handler-record chain. */
  void* limitOrHandler;

  bool GetIsUsingFastLoop() const { return (flags & UsingFastLoopFlag) != 0; }
  void SetIsUsingFastLoop() { flags |= UsingFastLoopFlag; }
  void ClearIsUsingFastLoop() { flags &= ~(VMword)UsingFastLoopFlag; }
  bool GetIsJNI() const { return (flags & JNIFlag) != 0; }
  bool GetIsCompiled() const { return (flags & CompiledFlag) != 0; }
  bool GetIsExecutableByteCode() const { return (flags & ExecutableByteCodeFlag) != 0; }
  bool GetIsStackValid() const { return (flags & StackValidFlag) != 0; }
  bool GetHasJmpBuf() const { return (flags & HasJmpBufFlag) != 0; }
  bool GetIsFirstFrame() const { return (flags & FirstFrameFlag) != 0; }
  bool GetHitBreakpoint() const { return (flags & HitBreakpointFlag) != 0; }
  void SetHitBreakpoint() { flags |= HitBreakpointFlag; }
  void ClearHitBreakpoint() { flags &= ~(VMword)HitBreakpointFlag; }
  bool GetIsJITted() const { return (flags & JITtedFlag) != 0; }
  void SetIsJITted() { flags |= JITtedFlag; }
  void ClearIsJITted() { flags &= ~(VMword)JITtedFlag; }
  /* The first frame counts as bytecode wherever this is asked. */
  bool GetIsByteCode() const { return (flags & ByteCodeMask) != 0; }

  VMByteCodeFrame* GetByteCodeFrame() { return (VMByteCodeFrame*)this; }
  VMCompiledFrame* GetCompiledFrame() { return (VMCompiledFrame*)this; }
  VMJNIFrame* GetJNIFrame() { return (VMJNIFrame*)this; }

  VMword* GetStack() const { return stack; }
  void SetStack(VMword* s) { stack = s; }
  void SetReturnValueStack(VMword* s) {
    flags |= StackValidFlag;
    stack = s;
  }
  VMObject* GetSynchObject() const { return synch; }
  void SetSynchObject(VMObject* o) { synch = o; }
  VMThread* GetThread() const { return thread; }
  void SetThread(VMThread* t) { thread = t; }
  VMMethod* GetMethod() const { return method; }
  void SetMethod(VMMethod* m) { method = m; }
  VMFrame* GetCaller() const { return caller; }
  void SetCaller(VMFrame* c) { caller = c; }
  VMConstantPool* GetConstantPool() const;

  /* The first frame from this one through the callers that is bytecode or first. */
  VMFrame* GetLastByteCodeFrame();
  /* The nearest frame from this one through the callers that owns an Execute: mostly
     this one, asked as each Execute begins, so that is told inline. */
  VMByteCodeFrame* GetOwner() { return GetHasJmpBuf() ? (VMByteCodeFrame*)(void*)this : GetOwnerBelow(); }
  VMByteCodeFrame* GetOwnerBelow();
  /* The thread's current frame := this frame's caller; returns the caller. */
  VMFrame* UnwindFrame();
  static VMFrame* UnwindFrame(JNIEnv* env);

  /* The collector's walk over the references the frames hold (false from the callback
     ends it), the relocation walk, and the classes of the running methods for the
     security manager. */
  VMStatus WalkReferences(bool (*callback)(VMword* slot, void* context), void* context);
  void Relocate(VMRelocateInfo* info);
  /* Relocations finished in the process so far: a handler that polled reads it before
     and after, and when it changed its registers name the old copies of moved blocks.
     Inline: a host's call into Java reads it up to four times. */
  static uint32_t GetRelocations() { return relocations.load(std::memory_order_seq_cst); }
  static void CountRelocation();
  VMClassArray* GetClassContext();

  /* ---- running Java from native code ---- */
  /* Runs a method of any kind; args holds the argument words and receives the result
     (zeros when an exception is pending afterwards). */
  static void ExecuteJava(JNIEnv* env, VMMethod* method, VMword* args);
  /* A native call for ExecuteJava and compiled code: the JNI frame and the local
     references are the caller's; the result replaces the first words of args. */
  static void CallNativeMethod(JNIEnv* env, VMMethod* method, VMword* args);

  /* ---- throwing (none returns while some frame can take the exception) ---- */
  static void ThrowInternalException(VMFrame* frame, VMStatus status, const char* message);
  static void ThrowInternalException(VMFrame* frame, VMStatus status, VMJavaLangString* message);
  static void ThrowException(VMFrame* frame, VMJavaLangThrowable* exception);

  /* The poll of native code that runs for a frame: the thread's poll function; a
     nonzero answer throws ThreadDeath at this frame. */
  void Yield();

 private:
  static void ExecuteHelper(JNIEnv* env, VMMethod* method, VMword* args);
  /* Hidden: the library reads it at a fixed offset, not through its offset table. */
  static std::atomic<uint32_t> relocations __attribute__((visibility("hidden")));
};

/* ------------------------------------------------------------------------------------ */
/* JNI and compiled frames                                                               */

class VMJNIFrame : public VMFrame {
 public:
  /* 32 zeroed bytes from the host; NULL without memory. */
  static VMJNIFrame* CreateInstance(VMMethod* method, VMThread* thread, VMFrame* caller,
                                    VMObject* synch);
  void Destroy();
  /* A slot of the thread's frame list; NULL when none can be had. */
  static VMJNIFrame* CreateInstanceNF(VMMethod* method, VMThread* thread, VMFrame* caller,
                                      VMObject* synch);
  void DestroyNF(VMThread* thread);

 private:
  static VMJNIFrame* Fill(void* place, VMword tag, VMMethod* method, VMThread* thread, VMFrame* caller,
                          VMObject* synch);

 public:
  VMNativeExceptionHandler* GetExceptionHandler() const {
    return (VMNativeExceptionHandler*)limitOrHandler;
  }
  void SetExceptionHandler(VMNativeExceptionHandler* h) { limitOrHandler = h; }
};

class VMCompiledFrame : public VMFrame {
 public:
  VMCompiledFrame(VMThread* thread, VMFrame* caller, VMObject* synch);
  /* A count word followed by that many reference words. */
  VMword* references;
  uint32_t GetNumberReferences() const { return references != NULL ? references[0] : 0; }
  VMword* GetReferenceAddress(uint32_t i) const { return &references[1 + i]; }
  void SetReferences(VMword* table) { references = table; }
  VMNativeExceptionHandler* GetExceptionHandler() const {
    return (VMNativeExceptionHandler*)limitOrHandler;
  }
  void SetExceptionHandler(VMNativeExceptionHandler* h) { limitOrHandler = h; }
  VMNativeExceptionHandler* FindExceptionHandler(VMJavaLangThrowable* exception);
};

/* Compiled code is entered with (its frame, the argument words), stdcall like every other
   entry point the host's code generator sees. */
typedef void(HOSTCALL* VMCompiledEntry)(VMCompiledFrame* frame, VMword* args);

/* ------------------------------------------------------------------------------------ */
/* Frame groups: one host block each, with a hand-written five-word heap header          */

class VMFrameGroup {
 public:
  enum : VMword { Tag = 0x665BFECAu };
  enum { Overhead = 40, LinkWord = 0, ActualSizeWord = 1, FrameLimitWord = 2, FrameStartWord = 3 };

  /* A group for a request of *size bytes; *size is lowered by what it covers. NULL when
     the heap is exhausted. */
  static VMFrameGroup* CreateInstance(HHeap* heap, VMFrameGroup* next, unsigned long* size);
  /* A group after the one that ends at frameLimit, for a frame of bytes; NULL when the
     frame is too large for any group or no memory (or stack) is left. */
  static VMFrameGroup* AddNext(HHeap* heap, VMword* frameLimit, unsigned long bytes);
  /* Destroys this group and every one after it. */
  void Destroy(HHeap* heap);
  void Relocate(VMRelocateInfo* info);

  VMword* Body() const { return (VMword*)this + 5; }
  VMFrameGroup* GetLink() const { return (VMFrameGroup*)Body()[LinkWord]; }
  void SetNext(VMFrameGroup* next);
  uint32_t GetActualSize() const { return Body()[ActualSizeWord]; }
  VMword* GetBufferStart() const { return &Body()[FrameLimitWord]; }
  VMword* GetFrameStart() const { return &Body()[FrameStartWord]; }
  VMword* GetBufferEnd() const { return &Body()[GetActualSize() - 2]; }
  VMword* GetFrameLimit() const { return (VMword*)Body()[FrameLimitWord]; }
  static VMFrameGroup* GetNext(VMword* frameLimit) { return (VMFrameGroup*)frameLimit[0]; }
  static VMFrameGroup* GetGroup(VMword* frameLimit) { return (VMFrameGroup*)frameLimit[1]; }
};

/* A thread's cache of JNI frames for native calls made by the interpreter. */
class framelist {
 public:
  enum { Slots = 20, SlotWords = 8 };
  enum { CountWord = 1 + Slots * SlotWords, CurrentWord, HeadWord, NextWord, PreviousWord, Words };
  static uint32_t Bytes() { return Words * 4; }
  /* Fills a zeroed block as the thread's own list block. */
  static void CreateInstance(framelist* block);
  VMword* PushFrame(HHeap* heap);
  void PopFrame(HHeap* heap);
  /* Frees every extra block; the thread's own block stays. */
  void Destroy(HHeap* heap);
  VMword* Words_() { return (VMword*)this; }
};

/* ------------------------------------------------------------------------------------ */
/* Bytecode frames                                                                       */

class VMByteCodeFrame : public VMFrame {
 public:
  enum { HeadWords = 13 };

  VMword* locals;
  uint32_t slowLoopPC;
  uint8_t* codePointer;
  jmp_buf* firstJmpBuf;
  jmp_buf* secondJmpBuf;

  VMword* GetLocals() const { return locals; }
  void SetLocals(VMword* l) { locals = l; }
  uint32_t GetSlowLoopPC() const { return slowLoopPC; }
  void SetSlowLoopPC(uint32_t pc) { slowLoopPC = pc; }
  uint8_t* GetCodePointer() const { return codePointer; }
  void SetCodePointer(uint8_t* p) { codePointer = p; }
  VMword* GetFrameLimit() const { return (VMword*)limitOrHandler; }
  void SetFrameLimit(VMword* l) { limitOrHandler = l; }
  VMword* GetStackStart() const { return (VMword*)this + HeadWords; }
  void SetJmpBufs(jmp_buf* first, jmp_buf* second) {
    firstJmpBuf = first;
    secondJmpBuf = second;
    flags |= HasJmpBufFlag;
  }
  void RelocationOccured() { firstJmpBuf = secondJmpBuf; }
  /* A frame that owns no Execute keeps the nearest one that does in its second
     jump-buffer word, which only an owner uses: the owner is then found in constant
     time however deep the frames are (a catch looks for it at every frame it stops
     in). NULL when the frame was made by a caller that is no bytecode frame. */
  VMByteCodeFrame* GetOwnerLink() const { return (VMByteCodeFrame*)(void*)secondJmpBuf; }
  /* What a frame called from c keeps as its owner link. */
  static jmp_buf* OwnerLinkFor(const VMFrame* c) {
    if (!(c->flags & ExecutableByteCodeFlag)) return NULL;
    const VMByteCodeFrame* b = (const VMByteCodeFrame*)c;
    return (c->flags & HasJmpBufFlag) ? (jmp_buf*)(void*)b : b->secondJmpBuf;
  }

  /* The byte offset of the current instruction (one less with before). */
  uint32_t GetPC(bool before) const;
  /* The offset of the instruction whose (possibly copied) bytes start at pc. */
  uint32_t OffsetOf(const uint8_t* pc) const;
  /* Records a throw at the instruction at pc of the given length: the pc searched for a
     handler then lies inside it, in either loop. */
  void MarkThrow(uint8_t* pc, uint32_t length) {
    flags |= ThrowingFlag;
    codePointer = pc + length;
    if (!(flags & UsingFastLoopFlag)) slowLoopPC += length;
  }

  /* ---- frames ---- */
  static VMByteCodeFrame* CreateInstance(VMObject* synch, VMword* locals, VMMethod* method,
                                         VMFrame* caller, VMByteCodeFrame* current);
  void Init(VMObject* synch, VMword* frameLimit, VMword* stack, VMword* locals, VMMethod* method,
            VMFrame* caller);
  /* Places a frame at the start of the next group; parameter words are copied from
     params (NULL: the caller copies them). Throws StackOverflowError at thrower. */
  static VMByteCodeFrame* NewFrameGroup(VMObject* synch, VMword* params, VMword* frameLimit,
                                        VMFrame* thrower, VMMethod* method, VMFrame* caller);
  static VMByteCodeFrame* CreateFirstFrame(JNIEnv* env, VMThread* thread);
  static VMFrameGroup* AddNextAfterCollection(HHeap* heap, VMword* frameLimit, unsigned long bytes,
                                              VMword* params, VMMethod* m, VMFrame* caller);
  static VMObject* MultiCreateArray(VMThread* thread, VMArrayClass* arrayClass, VMword* dimensions,
                                    int count, jallocType kind);

  /* ---- the driver ---- */
  static void Execute(VMByteCodeFrame* frame);
  static void ExecuteFastLoop(VMword* stack, uint8_t* pc, VMword* locals, VMByteCodeFrame* frame);
  static void ExecuteSlowLoop(VMByteCodeFrame* frame);
  static bool ExecuteDebug(JNIEnv* env, jmp_buf* inner);
  static void HOSTCALL ThunkForCompiledCode(VMCompiledFrame* frame, VMword* args);
  [[noreturn]] void FrameSwitch(VMFrame* next);
  void CheapFrameSwitch(VMFrame* next);
  static VMOpResult VM_HANDLER RunPreBreakpointOpcode(VMword* stack, uint8_t* pc, VMword* locals,
                                                      VMByteCodeFrame* frame);

  /* ---- calls out of a handler (both leave the loop; failures throw) ---- */
  static VMOpResult CallNativeMethod(VMByteCodeFrame* frame, uint8_t* nextPC, VMword* sp,
                                     VMMethod* method, VMObject* synch, uint32_t paramBytes,
                                     uint32_t length);
  static VMOpResult CallCompiledMethod(VMByteCodeFrame* frame, uint8_t* nextPC, VMword* sp,
                                       VMMethod* method, VMObject* synch, uint32_t paramBytes,
                                       uint32_t length);

  /* The references of this frame's stack (less the top skip bytes) and locals; with
     pastInstruction the frame's pc lies past the instruction it is in (a call, a throw).
     A walk over many frames passes a memo of the kinds at the places it read last
     (vmframe.cpp). */
  struct KindsMemo;
  VMStatus WalkReferences(bool (*callback)(VMword* slot, void* context), uint32_t skip, bool pastInstruction,
                          void* context, KindsMemo* memo = NULL);

  /* ---- exceptions ---- */
  VMExceptionHandler* FindExceptionHandler(uint32_t pc, VMJavaLangThrowable* exception);

  /* ---- the load-time code pass ---- */
  /* Checks every opcode of freshly loaded code and turns its multi-byte operands into host
     order, in place; must run exactly once per code array. Returns the instruction count
     (a wide instruction and the one it widens count once), 0 for an empty array or an
     opcode above 0xD7. An operand past the end of the code, a bad switch count, or a
     breakpoint or quick opcode (only the machine writes those) throws VerifyError through
     the catcher; wide before an opcode without a wide form throws ClassFormatError. */
  static unsigned long CountOpcodesAndFlip(VMbyteArray* code, VMErrorCatcher& catcher);
  static void DumpOpcodes(VMbyteArray* code);
};

static_assert(sizeof(VMFrame) == 8 * 4, "eight-word frame head");
static_assert(sizeof(VMJNIFrame) == 8 * 4, "a JNI frame is the head");
static_assert(sizeof(VMCompiledFrame) == 9 * 4, "head and reference table");
static_assert(sizeof(VMByteCodeFrame) == 13 * 4, "thirteen-word bytecode frame head");

enum { VMOpcodeLengthMax = 16 };

/* The code cursor of the slow loop: the contiguous run of code bytes that holds the
   current instruction, and a buffer for one instruction that straddles two runs. */
struct VMCodeSegment {
  uint8_t* start;
  uint8_t* end;
  uint8_t* current;
  int32_t offset;
  uint32_t length;
  uint8_t buffer[VMOpcodeLengthMax + 8];

  void Locate(VMbyteArray* code, uint32_t at);
  /* The address from which the instruction at offset can be read whole. */
  uint8_t* FetchInstruction(VMbyteArray* code, uint32_t at);
};

/* The native call trampoline: copies words argument words after the env onto the machine
   stack, calls the function (stdcall or C convention alike: the stack pointer is restored
   from a saved register) and stores its result in area[0..] by the return-type letter. */
extern "C" void VMCallNativeFunction(void* function, JNIEnv* env, VMword* area, VMword twoWordBits,
                                     VMword floatBits, uint32_t words, uint32_t returnType);

#endif
