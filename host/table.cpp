/* The one service table of the process, and the stubs for services this host lacks. */
#include "refhost_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <utility>

namespace refhost {

namespace {

/* A slot nobody may call, or one this host does not offer yet: say which, then stop.
   Returning anything would let the machine carry on with a made-up answer. */
template <int N>
void HOSTCALL Unavailable() {
  fprintf(stderr, "refhost: host service slot %d was called, but this host does not provide it\n", N);
  fflush(stderr);
  abort();
}

enum { kSlots = sizeof(JNIHostFunctions) / sizeof(void*) };

template <size_t... I>
void FillStubs(void** slots, std::index_sequence<I...>) {
  ((slots[I] = (void*)&Unavailable<(int)I>), ...);
}

JNIHostFunctions* Build() {
  static JNIHostFunctions table;
  void* slots[kSlots];
  FillStubs(slots, std::make_index_sequence<kSlots>());
  memcpy(&table, slots, sizeof table);
  /* Assigned by name, so the compiler checks every signature against its slot. */
  using namespace detail;
  JNIHostFunctions& t = table;
  t.HeapCreate = HeapCreate;
  t.HeapDestroy = HeapDestroy;
  t.HeapWalk = HeapWalk;
  t.GetMaxAllocSize = GetMaxAllocSize;
  t.HeapBytesInUse = HeapBytesInUse;
  t.HeapTotalBytes = HeapTotalBytes;
  t.HeapAlloc = HeapAlloc;
  t.HeapFree = HeapFree;
  t.ObjectHashCode = ObjectHashCode;
  t.HeapCollected = HeapCollected;
  t.IsSharedHeap = IsSharedHeap;
  t.AllocGlobalCells = AllocGlobalCells;
  t.FreeGlobalCells = FreeGlobalCells;
  t.GetGlobalCell = GetGlobalCell;
  t.CurrentTimeMillis = CurrentTimeMillis;
  t.GetJavaHome = GetJavaHome;
  t.GetFileEncodingPkg = GetFileEncodingPkg;
  t.GetUserTimezone = GetUserTimezone;
  t.IsSystemClassName = IsSystemClassName;
  t.OpenClassStream = OpenClassStream;
  t.StreamRead = StreamRead;
  t.StreamSkip = StreamSkip;
  t.StreamSeek = StreamSeek;
  t.StreamSize = StreamSize;
  t.StreamClose = StreamClose;
  t.LoadCodeModule = LoadCodeModule;
  t.OpenCodeResource = OpenCodeResource;
  t.FindCodeSymbol = FindCodeSymbol;
  t.StartThread = StartThread;
  t.StopThread = StopThread;
  t.CurrentThreadId = CurrentThreadId;
  t.CurrentThreadHandle = CurrentThreadHandle;
  t.YieldCheck = YieldCheck;
  t.Sleep = Sleep;
  t.SuspendThread = SuspendThread;
  t.ResumeThread = ResumeThread;
  t.AttachThreadEnv = AttachThreadEnv;
  t.SetCurrentEnv = SetCurrentEnv;
  t.GetCurrentEnv = GetCurrentEnv;
  t.EventSemaphoreCreate = EventSemaphoreCreate;
  t.EventPost = EventPost;
  t.EventWait = EventWait;
  t.EventSemaphoreDestroy = EventSemaphoreDestroy;
  t.GetGlobalMutex = GetGlobalMutex;
  t.MutexCreate = MutexCreate;
  t.MutexLock = MutexLock;
  t.MutexUnlock = MutexUnlock;
  t.MutexDestroy = MutexDestroy;
  t.ConsoleWrite = ConsoleWrite;
  t.LogMessage = LogMessage;
  t.FatalExit = FatalExit;
  t.TestHook = TestHook;
  t.GetJitSupport = GetJitSupport;
  t.SpinLockCreate = SpinLockCreate;
  t.SpinLockAcquire = SpinLockAcquire;
  t.SpinLockRelease = SpinLockRelease;
  t.CloseHandle = CloseHandle;
  t.SpinLockPromote = SpinLockPromote;
  t.IsValidAddress = IsValidAddress;
  t.QueryDiagnosticFlag = QueryDiagnosticFlag;
  t.ReportError = ReportError;
  return &table;
}

}  // namespace

JNIHostFunctions* Functions() {
  static JNIHostFunctions* table = Build();
  return table;
}

void ResetHooks() {
  detail::ResetHeapHooks();
  detail::ResetThreadHooks();
  detail::ResetSyncHooks();
  detail::ResetStreamHooks();
  detail::ResetMiscHooks();
}

}  // namespace refhost
