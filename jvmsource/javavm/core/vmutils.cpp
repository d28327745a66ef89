#include "vmutils.h"

#include <string.h>

#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmobject.h"
#include "vmthread.h"

JNIHostFunctions* VMUtils::hostFunctions = NULL;
JNIHostJitSupport* VMUtils::JITFunctions = NULL;

JNIEXPORT void HOSTCALL JNI_Assert(const char*, const char*, jint) {}

JNIEXPORT jint HOSTCALL JNI_SetHostFunctions(JNIHostFunctions* functions) {
  VMUtils::SetHostFunctions(functions);
  return (jint)VMUtils::INTERFACE_COOKIE;
}

JNIEXPORT jint HOSTCALL JNI_SetJitFunctions(JNIHostJitSupport* functions) {
  VMUtils::SetJitFunctions(functions);
  return 0;
}

void VMUtils::Init(JNIHostFunctions* functions) {
  VM_ASSERT(VMBITS_PER_WORD == 8*sizeof( VMword ));
  VM_ASSERT(sizeof(VMTaggedObject) % sizeof(VMword) == 0);
  VM_ASSERT(sizeof(VMHeapObject) % sizeof(VMword) == 0);
  VM_ASSERT(sizeof(VMObjectBase) % sizeof(VMword) == 0);
  if (functions == NULL) return;

  // The cells may not exist yet, so the recursive global mutex cannot be used here: the
  // raw host mutex serialises concurrent first calls.
  functions->MutexLock(functions->GetGlobalMutex());
  if (functions->GetGlobalCell(0) != NULL) {
    // Another library state (or an earlier call) set the process up. A state that has
    // no table yet still needs one to reach the cells at all.
    if (hostFunctions == NULL) hostFunctions = functions;
    functions->MutexUnlock(functions->GetGlobalMutex());
    return;
  }
  hostFunctions = functions;
  functions->AllocGlobalCells(GLOBAL_CELL_COUNT);

  // The registration tables of compiled and native classes live in process memory; a
  // table that cannot be made is recorded as NULL, which every reader treats as
  // "nothing registered".
  SetCompiledClasses(VMCompiledClassInfoHashTable::CreateInstance(NULL, 0x2000));
  SetNativeClasses(VMNativeClassInfoHashTable::CreateInstance(NULL, 0x2000));

  SetVMCodeHandle(functions->OpenCodeResource("kordel6"));
  JITFunctions = functions->GetJitSupport != NULL ? functions->GetJitSupport() : NULL;
  functions->MutexUnlock(functions->GetGlobalMutex());
}

void VMUtils::Fini() {
  if (hostFunctions == NULL || hostFunctions->GetGlobalCell(0) == NULL) return;
  // The raw host mutex keeps the cells from being taken or held by another thread while
  // they are looked at and released; it is the global mutex itself, so a thread that
  // holds the global mutex passes it (host mutexes are recursive).
  void* mutex = hostFunctions->GetGlobalMutex();
  hostFunctions->MutexLock(mutex);
  // Owner and depth of the global mutex live in the cells: released inside a locked
  // region, they would be lost, and fresh cells made later would turn the region's
  // unlock into a no-op that leaves the mutex held for good. Only the holder can see a
  // nonzero depth here, so the clean-up is simply left to a later call.
  // The cells and the registration tables are shared by every machine of the process:
  // releasing them while a machine is still listed would pull them from under it.
  if (hostFunctions->GetGlobalCell(0) == NULL || GetGlobalMutexCount() != 0 || GetVMList() != NULL) {
    hostFunctions->MutexUnlock(mutex);
    return;
  }

  if (VMCompiledClassInfoHashTable* compiled = GetCompiledClasses()) {
    for (uint32_t i = 0; i < compiled->GetFilled(); i++) {
      if (VMCompiledClassInfo* info = (VMCompiledClassInfo*)compiled->Get(i)) info->Destroy(NULL);
    }
    compiled->Destroy(NULL);
    SetCompiledClasses(NULL);
  }
  if (VMNativeClassInfoHashTable* natives = GetNativeClasses()) {
    for (uint32_t i = 0; i < natives->GetFilled(); i++) {
      if (VMNativeClassInfo* info = (VMNativeClassInfo*)natives->Get(i)) info->Destroy();
    }
    natives->Destroy(NULL);
    SetNativeClasses(NULL);
  }
  hostFunctions->FreeGlobalCells();
  hostFunctions->MutexUnlock(mutex);
}

void VMUtils::LockGlobalMutex() {
  void* me = hostFunctions->CurrentThreadId();
  uint32_t* ownerCell = Cell(4);
  if (ownerCell != NULL && reinterpret_cast<void*>(*ownerCell) == me) {
    SetGlobalMutexCount(GetGlobalMutexCount() + 1);
    return;
  }
  // The outermost level goes through the counted lock, so the thread's count of held
  // host mutexes sees the global mutex like any other.
  // A refused lock records no owner, so the matching unlock is ignored instead of
  // releasing a mutex this thread never held.
  if (!MutexLock(hostFunctions->GetGlobalMutex())) return;
  // Every hold must be recorded in the cells, or its unlock could not be told from an
  // unbalanced one once cells exist: a lock taken before any set-up (an entry point that
  // runs before the first machine) sets the process up. With the mutex held, no other
  // thread can make or release the cells meanwhile.
  if (Cell(4) == NULL) Init(hostFunctions);
  if (Cell(4) == NULL) return;  // the host made no cells: a plain lock, undone by the cell-less unlock
  SetGlobalMutexOwner(me);
  SetGlobalMutexCount(1);
}

bool VMUtils::LockGlobalMutexIfSetUp() {
  // Looked up once: the last machine may release the cells between two looks.
  uint32_t* ownerCell = hostFunctions != NULL ? Cell(4) : NULL;
  if (ownerCell == NULL) return false;
  void* me = hostFunctions->CurrentThreadId();
  if (reinterpret_cast<void*>(*ownerCell) == me) {
    SetGlobalMutexCount(GetGlobalMutexCount() + 1);
    return true;
  }
  if (!MutexLock(hostFunctions->GetGlobalMutex())) return false;
  // The last machine may have released the cells while this thread waited.
  if (Cell(4) == NULL) {
    MutexUnlock(hostFunctions->GetGlobalMutex());
    return false;
  }
  SetGlobalMutexOwner(me);
  SetGlobalMutexCount(1);
  return true;
}

void VMUtils::UnlockGlobalMutex() {
  if (Cell(0) == NULL) {
    MutexUnlock(hostFunctions->GetGlobalMutex());
    return;
  }
  // An unlock without a matching lock of this thread would release a mutex some other
  // thread holds; it is ignored.
  int32_t count = GetGlobalMutexCount();
  if (count <= 0 || GetGlobalMutexOwner() != hostFunctions->CurrentThreadId()) {
    VM_ASSERT(count > 0);
    return;
  }
  count -= 1;
  if (count == 0) {
    SetGlobalMutexCount(0);
    SetGlobalMutexOwner(NULL);
    MutexUnlock(hostFunctions->GetGlobalMutex());
  } else {
    SetGlobalMutexCount(count);
  }
}

static jboolean OwnerOnSharedHeap(VMObject* owner) {
  return owner != NULL && owner->GetIsNameSpaceData() ? 1 : 0;
}

void* VMUtils::MutexCreate(VMObject* owner) {
  return hostFunctions->MutexCreate(OwnerOnSharedHeap(owner));
}

uint8_t VMUtils::MutexLock(void* mutex) {
  uint8_t result = hostFunctions->MutexLock(mutex);
  // Read once the lock is had: a thread that blocks for it in a safe region may find the
  // machine moved, its record with it.
  VMThread* thread = VMThread::Current();
  // A failed lock holds nothing, so it must not be counted as held.
  if (thread != NULL && result != 0) {
    thread->SetMutexLockCount(thread->GetMutexLockCount() + 1);
    thread->AddHostMutexCount(1);
  }
  return result;
}

uint8_t VMUtils::MutexUnlock(void* mutex) {
  VMThread* thread = VMThread::Current();
  // Counted as given back before it is: the thread that takes the mutex next may read
  // this thread's count at once (a collector judging a parked thread does).
  if (thread != NULL) {
    thread->SetMutexLockCount(thread->GetMutexLockCount() - 1);
    thread->AddHostMutexCount(-1);
  }
  uint8_t result = hostFunctions->MutexUnlock(mutex);
  if (thread != NULL && result == 0) {
    thread->SetMutexLockCount(thread->GetMutexLockCount() + 1);
    thread->AddHostMutexCount(1);
  }
  return result;
}

void* VMUtils::EventSemaphoreCreate(VMObject* owner) {
  return hostFunctions->EventSemaphoreCreate(OwnerOnSharedHeap(owner));
}

void* VMUtils::SpinLockCreate(VMObject*, int mode, const char* tag) {
  return hostFunctions->SpinLockCreate(mode, tag);
}

uint8_t VMUtils::P_SpinLock(void* lock, const char* tag) {
  return hostFunctions->SpinLockAcquire(lock, tag);
}

uint8_t VMUtils::V_SpinLock(void* lock, const char* tag) {
  return hostFunctions->SpinLockRelease(lock, tag);
}

uint8_t VMUtils::SpinLockPromote(void* lock, const char* tag) {
  return hostFunctions->SpinLockPromote(lock, tag);
}

VMObject* VMUtils::Alloc(HHeap* heap, uint32_t words, jallocType kind) {
  if (words > MAX_ALLOC_WORDS) return NULL;
  uint32_t bytes = words * 4 + 20;
  void* block = hostFunctions->HeapAlloc(heap, bytes, kind);
  if (block == NULL) return NULL;
  memset(block, 0, bytes);
  VMObject* object = static_cast<VMObject*>(block);
  object->SetTag(VMTag_VMObject);
  if (hostFunctions->IsSharedHeap(heap) == 1) object->SetIsNameSpaceData();
  return object;
}

void VMUtils::Free(HHeap* heap, VMObject* block) {
  hostFunctions->HeapFree(heap, block);
}

void VMUtils::IntToDecimal(int32_t value, char* buffer) {
  char digits[10];
  int n = 0;
  // Work on the magnitude as unsigned: the most negative value has no positive twin.
  uint32_t magnitude = value < 0 ? 0u - (uint32_t)value : (uint32_t)value;
  do {
    digits[n++] = (char)('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  char* out = buffer;
  if (value < 0) *out++ = '-';
  while (n > 0) *out++ = digits[--n];
  *out = '\0';
}

uint64_t VMUtils::HashTableSize(HHeap* heap) {
  uint32_t used = (uint32_t)hostFunctions->HeapBytesInUse(heap);
  uint32_t total = (uint32_t)hostFunctions->HeapTotalBytes(heap);
  if (used == 0) return 0x2000;
  uint32_t ratio = total / used;
  if (ratio <= 1) return 0x2000;
  if (ratio >= 8) return 0x10000;
  return (uint64_t)ratio * 0x2000;
}

int VMUtils::IsValidAddress(jlong value) {
  return hostFunctions->IsValidAddress(value) == 0 ? 1 : 0;
}
