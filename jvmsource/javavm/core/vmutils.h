/* The library's binding to its host: the service table, the seven process-wide cells the
   host keeps for every copy of the library, the recursive global mutex, counted host
   mutexes, raw tagged blocks and a few small utilities. Everything here is static. */
#ifndef PUX_VMUTILS_H
#define PUX_VMUTILS_H

#include <stddef.h>
#include <stdint.h>

#include "jnihost.h"
#include "jnitypes.h"
#include "vmforward.h"

/* Assertion sink: a failed check is reported and execution goes on as if it held. */
JNIEXPORT void HOSTCALL JNI_Assert(const char* expression, const char* file, jint line);
JNIEXPORT jint HOSTCALL JNI_SetHostFunctions(JNIHostFunctions* functions);
JNIEXPORT jint HOSTCALL JNI_SetJitFunctions(JNIHostJitSupport* functions);

#ifndef VM_ASSERT
#define VM_ASSERT(expression) \
  do {                        \
    if (!(expression)) JNI_Assert(#expression, __FILE__, __LINE__); \
  } while (0)
#endif

class VMUtils {
 public:
  /* The interface cookie JNI_SetHostFunctions answers. */
  enum : uint32_t { INTERFACE_COOKIE = 0x01A53DE5u };
  enum { GLOBAL_CELL_COUNT = 7 };
  /* Body words of a raw block never exceed this (keeps size * 4 + 20 within 32 bits). */
  enum : uint32_t { MAX_ALLOC_WORDS = (0xFFFFFFFFu - 20u) / 4u };

  static void Init(JNIHostFunctions* functions);
  /* Releases the registration tables and the cells, unless a machine is listed or the
     global mutex is held (by the caller itself: the clean-up then waits for a later
     call, made outside the locked region). */
  static void Fini();

  static void SetHostFunctions(JNIHostFunctions* functions) { hostFunctions = functions; }
  static JNIHostFunctions* GetHostFunctions() { return hostFunctions; }
  static JNIHostFunctions* RuntimeGetHostFunctions() { return hostFunctions; }
  static void SetJitFunctions(JNIHostJitSupport* functions) { JITFunctions = functions; }
  /* Compiled-code support is stored but never used. */
  static JNIHostJitSupport* GetJITFunctions() { return NULL; }

  /* The process cells; valid only between Init and Fini (the address is not tested). */
  static JavaVM* GetVMList() { return reinterpret_cast<JavaVM*>(*Cell(0)); }
  static void SetVMList(JavaVM* value) { *Cell(0) = reinterpret_cast<uint32_t>(value); }
  static VMCompiledClassInfoHashTable* GetCompiledClasses() {
    return reinterpret_cast<VMCompiledClassInfoHashTable*>(*Cell(1));
  }
  static void SetCompiledClasses(VMCompiledClassInfoHashTable* value) {
    *Cell(1) = reinterpret_cast<uint32_t>(value);
  }
  static VMNativeClassInfoHashTable* GetNativeClasses() {
    return reinterpret_cast<VMNativeClassInfoHashTable*>(*Cell(2));
  }
  static void SetNativeClasses(VMNativeClassInfoHashTable* value) {
    *Cell(2) = reinterpret_cast<uint32_t>(value);
  }
  static int32_t GetDisableVMCreation() { return (int32_t)*Cell(3); }
  static void SetDisableVMCreation(int32_t value) { *Cell(3) = (uint32_t)value; }
  static void* GetGlobalMutexOwner() { return reinterpret_cast<void*>(*Cell(4)); }
  static void SetGlobalMutexOwner(void* value) { *Cell(4) = reinterpret_cast<uint32_t>(value); }
  static int32_t GetGlobalMutexCount() { return (int32_t)*Cell(5); }
  static void SetGlobalMutexCount(int32_t value) { *Cell(5) = (uint32_t)value; }
  static void* GetVMCodeHandle() { return reinterpret_cast<void*>(*Cell(6)); }
  static void SetVMCodeHandle(void* value) { *Cell(6) = reinterpret_cast<uint32_t>(value); }

  /* The recursive process lock. Taking it sets the process up first when nothing is set
     up yet, so that every hold is recorded in the cells. */
  static void LockGlobalMutex();
  static void UnlockGlobalMutex();
  /* The same lock for an entry that only looks for listed machines: false, holding
     nothing, when the process is not set up (before the first machine, or once the last
     has released the cells, maybe while the caller waited for the lock), which a lock
     would set up again for no machine. */
  static bool LockGlobalMutexIfSetUp();

  /* Holds the global mutex for the life of a scope. Never let a long jump skip one. */
  class GlobalMutexGuard {
   public:
    GlobalMutexGuard() { LockGlobalMutex(); }
    ~GlobalMutexGuard() { UnlockGlobalMutex(); }
    GlobalMutexGuard(const GlobalMutexGuard&) = delete;
    GlobalMutexGuard& operator=(const GlobalMutexGuard&) = delete;
  };

  /* The same, held only if the process is set up when the mutex is got: an entry that may
     race the last machine's end must not set the process up again for no machine. */
  class GlobalMutexGuardIfSetUp {
   public:
    GlobalMutexGuardIfSetUp() : held_(LockGlobalMutexIfSetUp()) {}
    ~GlobalMutexGuardIfSetUp() {
      if (held_) UnlockGlobalMutex();
    }
    bool Held() const { return held_; }
    GlobalMutexGuardIfSetUp(const GlobalMutexGuardIfSetUp&) = delete;
    GlobalMutexGuardIfSetUp& operator=(const GlobalMutexGuardIfSetUp&) = delete;

   private:
    const bool held_;
  };

  /* Host mutexes and events; a lock that succeeds and its unlock are counted in the
     calling thread's VMThread. */
  static void* MutexCreate(VMObject* owner);
  static uint8_t MutexLock(void* mutex);
  static uint8_t MutexUnlock(void* mutex);
  static void* EventSemaphoreCreate(VMObject* owner);

  static void* SpinLockCreate(VMObject* owner, int mode, const char* tag);
  static uint8_t P_SpinLock(void* lock, const char* tag);
  static uint8_t V_SpinLock(void* lock, const char* tag);
  static uint8_t SpinLockPromote(void* lock, const char* tag);

  /* A zeroed block of n body words behind a 20-byte header tagged VMObject; flag 0x100
     on a shared heap. NULL when the host refuses; nothing collects here. */
  static VMObject* Alloc(HHeap* heap, uint32_t words, jallocType kind);
  static void Free(HHeap* heap, VMObject* block);

  static VMword GetBit(uint32_t n) { return (VMword)1 << n; }
  /* Decimal text of value into buffer, which must hold 12 bytes. */
  static void IntToDecimal(int32_t value, char* buffer);
  static bool ValidateTag(uint32_t tag) { return (tag & 0xFFFFu) == 0xFECAu; }
  static uint64_t HashTableSize(HHeap* heap);
  static int IsValidAddress(jlong value);
  static int IsValidObjectRef(VMObject*) { return 1; }

  static void HeapLock(JNIEnv*) {}
  static void HeapLock(JavaVM*) {}
  static void HeapUnlock(JNIEnv*) {}
  static void HeapUnlock(JavaVM*) {}
  static void AssertHeapLocked(JNIEnv*) {}

  /* Native symbol look-up; lives with the symbol-name code. */
  static void* NativeMethodAddr(VMLoadableClass* cls, VMMethod* method);

 private:
  VMUtils();

  static uint32_t* Cell(jint index) { return hostFunctions->GetGlobalCell(index); }

  static JNIHostFunctions* hostFunctions;
  static JNIHostJitSupport* JITFunctions;
};

#endif
