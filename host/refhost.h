/* The reference host: our POSIX implementation of the host service table. It stands in
   for the database server in the tests, the benchmarks and the launcher.

   Everything under refhost:: besides Functions() is a test hook or a setting; a host
   built for production would not have them. */
#ifndef PUX_REFHOST_H
#define PUX_REFHOST_H

#include "jnihost.h"

#include <stddef.h>
#include <stdint.h>
#include <string>

namespace refhost {

/* The one service table of the process. It is never freed. */
JNIHostFunctions* Functions();

/* Restores every hook and setting to its default and clears captures and counters.
   Tests call it between cases; it does not touch live heaps or threads. */
void ResetHooks();

/* ---- heaps ---- */

/* Refuse only the Nth allocation from now on (1 = the next one), counting every
   allocation of every heap and of process memory; 0 turns it off. */
void FailNthAllocation(uint32_t n);
/* Refuse every Nth allocation from now on; 0 turns it off. */
void FailEveryNthAllocation(uint32_t n);
/* Refuse the next count allocations. */
void FailNextAllocations(uint32_t count);
/* Refuse allocations of more than size bytes (0 = no limit). */
void FailAllocationsAbove(uint32_t size);
/* Allocations counted so far (refused ones included), for choosing N above. */
uint64_t AllocationCount();
/* Allocations refused so far. */
uint64_t RefusedCount();

/* Capacity of a heap: HeapAlloc refuses when in-use + size would exceed it, and
   HeapTotalBytes answers it. The default is 256 MiB. */
void SetHeapCapacity(HHeap* heap, uint64_t bytes);
/* What IsSharedHeap answers for a heap (normally 1 for kind 1, else 0). */
void SetSharedAnswer(HHeap* heap, jint answer);
/* The answer of GetMaxAllocSize (never below 10240). */
void SetMaxAllocSize(uint32_t bytes);
/* Blocks and requested bytes still live on a heap, or in process memory for NULL. */
uint32_t BlocksInUse(HHeap* heap);
uint64_t BytesInUse(HHeap* heap);
/* Times HeapCollected was called for a heap. */
uint32_t CollectedCount(HHeap* heap);
/* When on, HeapDestroy writes a line to the log capture naming the count and bytes
   of blocks still live (a leak report); LeakReports counts such reports. */
void SetLeakReports(bool on);
uint32_t LeakReportCount();

/* ---- console, log, exit ---- */

/* While capture is on, ConsoleWrite and LogMessage append to buffers instead of
   writing to file descriptors. */
void SetCapture(bool on);
std::string CapturedStdout();
std::string CapturedStderr();
std::string CapturedLog();
/* When on (the default in tests), FatalExit records its code and text and returns
   instead of ending the process. */
void SetFatalExitReturns(bool on);
int FatalExitCount();
jint LastFatalExitCode();

/* ---- threads ---- */

/* Sets or clears the calling thread's sticky stop flag (what YieldCheck answers). */
void SetStopFlag(bool on);
/* Makes StartThread refuse. */
void SetStartThreadRefuses(bool on);

/* ---- counters and diagnostics ---- */

uint32_t GlobalMutexLockCount();
uint32_t EventPostCount();
uint32_t TestHookCount();
void SetDiagnosticFlag(jint value);

}  // namespace refhost

#endif
