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
struct SlotNumber {
  size_t offset;
  size_t number;
};
#define S(name, number) {offsetof(JNIHostFunctions, name), number}
constexpr SlotNumber kSlotNumbers[] = {
    S(Reserved0, 0), S(Reserved1, 1), S(Reserved2, 2),
    S(HeapCreate, 3), S(HeapDestroy, 4), S(Reserved5, 5), S(Reserved6, 6), S(HeapWalk, 7),
    S(GetMaxAllocSize, 8), S(HeapBytesInUse, 9), S(HeapTotalBytes, 10), S(HeapAlloc, 11),
    S(HeapFree, 12), S(ObjectHashCode, 13), S(HeapCollected, 14), S(IsSharedHeap, 15),
    S(AllocGlobalCells, 16), S(FreeGlobalCells, 17), S(GetGlobalCell, 18),
    S(CurrentTimeMillis, 19), S(GetJavaHome, 20), S(GetFileEncodingPkg, 21),
    S(GetUserTimezone, 22),
    S(IsSystemClassName, 23), S(OpenClassStream, 24), S(StreamRead, 25), S(StreamSkip, 26),
    S(StreamSeek, 27), S(StreamSize, 28), S(StreamClose, 29), S(LoadCodeModule, 30),
    S(OpenCodeResource, 31), S(FindCodeSymbol, 32), S(Reserved33, 33),
    S(StartThread, 34), S(StopThread, 35), S(Reserved36, 36), S(CurrentThreadId, 37),
    S(CurrentThreadHandle, 38), S(YieldCheck, 39), S(Sleep, 40), S(SuspendThread, 41),
    S(ResumeThread, 42), S(AttachThreadEnv, 43), S(SetCurrentEnv, 44), S(GetCurrentEnv, 45),
    S(EventSemaphoreCreate, 46), S(EventPost, 47), S(EventWait, 48), S(EventSemaphoreDestroy, 49),
    S(GetGlobalMutex, 50), S(MutexCreate, 51), S(MutexLock, 52), S(MutexUnlock, 53),
    S(MutexDestroy, 54),
    S(ConsoleWrite, 55), S(LogMessage, 56), S(FatalExit, 57), S(GetSystemResourceStream, 58),
    S(TestHook, 59),
    S(NetStartup, 60), S(GetHostName, 61), S(LookupHostByName, 62), S(LookupHostByAddr, 63),
    S(HostToNetLong, 64), S(NetToHostLong, 65), S(HostToNetShort, 66), S(NetToHostShort, 67),
    S(SocketCreate, 68), S(SocketBind, 69), S(SocketConnect, 70), S(SocketGetName, 71),
    S(SocketAccept, 72), S(SocketListen, 73), S(SocketShutdown, 74), S(SocketClose, 75),
    S(SocketWait, 76), S(SocketHasInput, 77), S(SocketRecv, 78), S(SocketSend, 79),
    S(SocketRecvFrom, 80), S(SocketPeekFrom, 81), S(SocketSendTo, 82), S(MulticastJoin, 83),
    S(MulticastLeave, 84), S(DatagramCreateOption, 85), S(SocketSetTTL, 86),
    S(DatagramSetReuse, 87), S(StreamSetNoDelay, 88), S(DatagramSetOption, 89),
    S(SocketAvailable, 90), S(SocketGetTTL, 91), S(DatagramGetOption, 92),
    S(StreamGetNoDelay, 93), S(StreamSetLinger, 94), S(StreamGetLinger, 95),
    S(SocketErrorText, 96),
    S(GetFileSystem, 97), S(GetJitSupport, 98), S(SpinLockCreate, 99), S(SpinLockAcquire, 100),
    S(SpinLockRelease, 101), S(CloseHandle, 102), S(SpinLockPromote, 103), S(IsValidAddress, 104),
    S(QueryDiagnosticFlag, 105), S(ReportError, 106),
    S(SocketRecvNow, 107), S(SocketAcceptNow, 108), S(SocketRecvFromNow, 109), S(SocketPeekFromNow, 110),
};
#undef S
constexpr bool EverySlotAtItsNumber() {
  for (const SlotNumber& slot : kSlotNumbers)
    if (slot.offset != slot.number * sizeof(void*)) return false;
  return sizeof(kSlotNumbers) / sizeof(kSlotNumbers[0]) == sizeof(JNIHostFunctions) / sizeof(void*);
}
static_assert(EverySlotAtItsNumber(), "a host service slot is not at its number");

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
  t.GetSystemResourceStream = GetSystemResourceStream;
  t.GetFileSystem = GetFileSystem;
  InstallNetworkSlots(&t);
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
  detail::ResetSerialHooks();
  detail::ResetFileHooks();
  detail::ResetNetHooks();
}

}  // namespace refhost
