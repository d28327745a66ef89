/* The one service table of the process, and the stubs for services this host lacks. */
#include "refhost_internal.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <utility>

/* Slot numbers are the contract with hosts built from the numbers rather than from this
   table's header: each slot is pinned to its number, so a slot that moves, or two slots
   of one type that swap, stop the build here instead of calling the wrong service. */
#define PUX_HOST_SLOT(name, number) \
  static_assert(offsetof(JNIHostFunctions, name) == (number) * sizeof(void*), "slot " #number " is " #name);
PUX_HOST_SLOT(Reserved0, 0) PUX_HOST_SLOT(Reserved1, 1) PUX_HOST_SLOT(Reserved2, 2)
PUX_HOST_SLOT(HeapCreate, 3) PUX_HOST_SLOT(HeapDestroy, 4) PUX_HOST_SLOT(Reserved5, 5)
PUX_HOST_SLOT(Reserved6, 6) PUX_HOST_SLOT(HeapWalk, 7) PUX_HOST_SLOT(GetMaxAllocSize, 8)
PUX_HOST_SLOT(HeapBytesInUse, 9) PUX_HOST_SLOT(HeapTotalBytes, 10) PUX_HOST_SLOT(HeapAlloc, 11)
PUX_HOST_SLOT(HeapFree, 12) PUX_HOST_SLOT(ObjectHashCode, 13) PUX_HOST_SLOT(HeapCollected, 14)
PUX_HOST_SLOT(IsSharedHeap, 15) PUX_HOST_SLOT(AllocGlobalCells, 16)
PUX_HOST_SLOT(FreeGlobalCells, 17) PUX_HOST_SLOT(GetGlobalCell, 18)
PUX_HOST_SLOT(CurrentTimeMillis, 19) PUX_HOST_SLOT(GetJavaHome, 20)
PUX_HOST_SLOT(GetFileEncodingPkg, 21) PUX_HOST_SLOT(GetUserTimezone, 22)
PUX_HOST_SLOT(IsSystemClassName, 23) PUX_HOST_SLOT(OpenClassStream, 24)
PUX_HOST_SLOT(StreamRead, 25) PUX_HOST_SLOT(StreamSkip, 26) PUX_HOST_SLOT(StreamSeek, 27)
PUX_HOST_SLOT(StreamSize, 28) PUX_HOST_SLOT(StreamClose, 29) PUX_HOST_SLOT(LoadCodeModule, 30)
PUX_HOST_SLOT(OpenCodeResource, 31) PUX_HOST_SLOT(FindCodeSymbol, 32) PUX_HOST_SLOT(Reserved33, 33)
PUX_HOST_SLOT(StartThread, 34) PUX_HOST_SLOT(StopThread, 35) PUX_HOST_SLOT(Reserved36, 36)
PUX_HOST_SLOT(CurrentThreadId, 37) PUX_HOST_SLOT(CurrentThreadHandle, 38)
PUX_HOST_SLOT(YieldCheck, 39) PUX_HOST_SLOT(Sleep, 40) PUX_HOST_SLOT(SuspendThread, 41)
PUX_HOST_SLOT(ResumeThread, 42) PUX_HOST_SLOT(AttachThreadEnv, 43) PUX_HOST_SLOT(SetCurrentEnv, 44)
PUX_HOST_SLOT(GetCurrentEnv, 45) PUX_HOST_SLOT(EventSemaphoreCreate, 46)
PUX_HOST_SLOT(EventPost, 47) PUX_HOST_SLOT(EventWait, 48) PUX_HOST_SLOT(EventSemaphoreDestroy, 49)
PUX_HOST_SLOT(GetGlobalMutex, 50) PUX_HOST_SLOT(MutexCreate, 51) PUX_HOST_SLOT(MutexLock, 52)
PUX_HOST_SLOT(MutexUnlock, 53) PUX_HOST_SLOT(MutexDestroy, 54) PUX_HOST_SLOT(ConsoleWrite, 55)
PUX_HOST_SLOT(LogMessage, 56) PUX_HOST_SLOT(FatalExit, 57)
PUX_HOST_SLOT(GetSystemResourceStream, 58) PUX_HOST_SLOT(TestHook, 59)
PUX_HOST_SLOT(NetStartup, 60) PUX_HOST_SLOT(GetHostName, 61) PUX_HOST_SLOT(LookupHostByName, 62)
PUX_HOST_SLOT(LookupHostByAddr, 63) PUX_HOST_SLOT(HostToNetLong, 64)
PUX_HOST_SLOT(NetToHostLong, 65) PUX_HOST_SLOT(HostToNetShort, 66)
PUX_HOST_SLOT(NetToHostShort, 67) PUX_HOST_SLOT(SocketCreate, 68) PUX_HOST_SLOT(SocketBind, 69)
PUX_HOST_SLOT(SocketConnect, 70) PUX_HOST_SLOT(SocketGetName, 71) PUX_HOST_SLOT(SocketAccept, 72)
PUX_HOST_SLOT(SocketListen, 73) PUX_HOST_SLOT(SocketShutdown, 74) PUX_HOST_SLOT(SocketClose, 75)
PUX_HOST_SLOT(SocketWait, 76) PUX_HOST_SLOT(SocketHasInput, 77) PUX_HOST_SLOT(SocketRecv, 78)
PUX_HOST_SLOT(SocketSend, 79) PUX_HOST_SLOT(SocketRecvFrom, 80) PUX_HOST_SLOT(SocketPeekFrom, 81)
PUX_HOST_SLOT(SocketSendTo, 82) PUX_HOST_SLOT(MulticastJoin, 83) PUX_HOST_SLOT(MulticastLeave, 84)
PUX_HOST_SLOT(DatagramCreateOption, 85) PUX_HOST_SLOT(SocketSetTTL, 86)
PUX_HOST_SLOT(DatagramSetReuse, 87) PUX_HOST_SLOT(StreamSetNoDelay, 88)
PUX_HOST_SLOT(DatagramSetOption, 89) PUX_HOST_SLOT(SocketAvailable, 90)
PUX_HOST_SLOT(SocketGetTTL, 91) PUX_HOST_SLOT(DatagramGetOption, 92)
PUX_HOST_SLOT(StreamGetNoDelay, 93) PUX_HOST_SLOT(StreamSetLinger, 94)
PUX_HOST_SLOT(StreamGetLinger, 95) PUX_HOST_SLOT(SocketErrorText, 96)
PUX_HOST_SLOT(GetFileSystem, 97) PUX_HOST_SLOT(GetJitSupport, 98) PUX_HOST_SLOT(SpinLockCreate, 99)
PUX_HOST_SLOT(SpinLockAcquire, 100) PUX_HOST_SLOT(SpinLockRelease, 101)
PUX_HOST_SLOT(CloseHandle, 102) PUX_HOST_SLOT(SpinLockPromote, 103)
PUX_HOST_SLOT(IsValidAddress, 104) PUX_HOST_SLOT(QueryDiagnosticFlag, 105)
PUX_HOST_SLOT(ReportError, 106)
#undef PUX_HOST_SLOT

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
