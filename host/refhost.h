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
#include <vector>

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
/* When on, refuse an allocation once the bytes allowed since this call would exceed
   bytes (refused requests spend nothing). */
void FailAboveByteBudget(bool on, uint64_t bytes);
/* Allocations counted so far (refused ones included), for choosing N above. */
uint64_t AllocationCount();
/* Allocations refused so far. */
uint64_t RefusedCount();

/* Capacity of a heap: HeapAlloc refuses when what the heap's live blocks cost (each
   block's size rounded up to 8 bytes and its 24-byte prefix, as HeapBytesInUse answers)
   and the new block's cost would exceed it, or when the block (one above 16 KiB, or one
   that fits none of the heap's free places) would take what the heap holds of the
   process, regions and big blocks together, past twice its capacity;
   HeapTotalBytes answers it. The default is 256 MiB. */
void SetHeapCapacity(HHeap* heap, uint64_t bytes);
/* Heaps of this kind created from now on start with this capacity instead of the
   default (the machine makes its own heap with kind 2, a name space's with kind 1). */
void SetCapacityOfNewHeaps(jint kind, uint64_t bytes);
/* What IsSharedHeap answers for a heap (normally 1 for kind 1, else 0). */
void SetSharedAnswer(HHeap* heap, jint answer);
/* How many bytes of regions a heap holds before its walks find its blocks from a map
   of their starts instead of from span to span (16 MiB; 0 maps every heap). A heap
   past it keeps its map. */
void SetStartMapFrom(uint32_t regionBytes);
/* Whether the runs of address space mapped from now on for heaps and process memory are
   backed by huge pages. The default, also after ResetHooks, comes from the environment
   variable PUX_HUGE_PAGES (set, neither empty nor 0: on). */
void SetHugePages(bool on);
/* The answer of GetMaxAllocSize (never below 10240). */
void SetMaxAllocSize(uint32_t bytes);
/* Blocks and requested bytes still live on a heap, or in process memory for NULL. */
uint32_t BlocksInUse(HHeap* heap);
uint64_t BytesInUse(HHeap* heap);
/* What a heap holds of the process's memory: its regions of small blocks, in use or
   kept for reuse, and its big blocks, prefixes included. */
uint64_t HeapFootprint(HHeap* heap);
/* Bytes (block prefixes included) of the free process-memory blocks that the calling
   thread's caches keep, counted block by block. */
uint64_t CachedProcessBytes();
/* Times HeapCollected was called for a heap. */
uint32_t CollectedCount(HHeap* heap);
/* When on, HeapDestroy writes a line to the log capture naming the count and bytes
   of blocks still live (a leak report); LeakReports counts such reports. */
void SetLeakReports(bool on);
uint32_t LeakReportCount();
/* Limits the injected failures above to one heap (process memory when heap is NULL)
   if oneHeap, and to one allocation kind if allocType >= 0; allocations outside the
   scope neither fail nor count towards N. */
void SetFailureScope(bool oneHeap, HHeap* heap, jint allocType);
/* Blocks made while a walk of the heap runs are numbered so that it does not visit
   them; the numbers start again from 0 when no walk runs and they grew past 2^30. This
   sets the number the next such block follows, so that a test can cross that point. */
void SetWalkNumber(HHeap* heap, uint32_t n);
/* New blocks are filled with 0xCD and freed ones with 0xDD (both on by default), so
   nothing can rely on zeroed memory or read a block after freeing it unnoticed. */
void SetBlockPatterns(bool fillNew, bool poisonFreed);

/* Relocation, for exercising a machine whose blocks move: RelocateHeap copies every
   live block of a heap to a new address (contents and identity hash kept) and returns
   how many moved, or 0 when nothing could move (no blocks, a walk or relocation in
   progress, no memory). Until FinishRelocation frees them, the old copies stay
   readable, RelocatedAddress maps an address inside an old block to the same place in
   its new one (anything else, NULL included, comes back unchanged), and RelocateWord
   is that mapping as the machine's relocation callback, with the heap as its context. */
uint32_t RelocateHeap(HHeap* heap);
void* RelocatedAddress(HHeap* heap, void* address);
void HOSTCALL RelocateWord(void** word, void* heap);
void ForEachRelocated(HHeap* heap, void (*fn)(void* oldBlock, void* newBlock, void* ctx), void* ctx);
void FinishRelocation(HHeap* heap);
/* The heap's own bookkeeping checked under its lock, walks may run meanwhile: every
   region steps from prefix to prefix to its fence, each span and back link agreeing,
   the map of starts (in a mapped heap) naming exactly those prefixes; every free list
   and its map bit agree with the blocks' flags and spans; with no walk running, no two
   free blocks lie side by side, nothing is held or pending, and the counts agree with
   the live blocks. An empty answer when all holds, else one line per fault. */
std::string CheckHeap(HHeap* heap);
/* Takes the wholly free regions of every heap that nobody holds or walks back into the
   regions' supply, as a region or big block refused for want of address space does;
   whether any came. */
bool ReclaimHeapRegions();
/* The regions' supply checked under its lock: its free list linked both ways, each run's
   count of free regions agreeing with the list, and the count of those that keep their
   pages. Empty when all holds (and always under the sanitizer, where regions come from
   malloc), else one line per fault. */
std::string CheckRegionSupply();

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
std::string LastFatalExitText();

/* ---- files (the file-system table of slot 97) ---- */

/* Off: GetFileSystem answers NULL, and every file open now is closed (the machine could
   not reach Close without the table). On by default. */
void SetFileAccess(bool on);
/* Every path is taken below this directory (a sandbox for tests); "" for none. */
void SetFileRoot(const std::string& directory);
/* GetFileSystem answers this table instead of the real one (NULL: the real one again). */
void SetFileSystemOverride(JNIHostFileSystem* table);
/* The real table, whatever GetFileSystem answers. */
JNIHostFileSystem* RealFileSystem();
/* Write takes at most this many bytes per call (0: all of them). */
void SetFileWriteCap(uint32_t bytes);
/* Files open now; closes every one of them. */
uint32_t OpenFileCount();
void CloseAllFiles();
/* Moves the next file handle to this number: forward, or back only while no file is
   open (a test that used up the numbers gives them back). */
void SetNextFileHandle(jint handle);

/* ---- network (slots 60-96) ---- */

/* Off: SocketCreate refuses ("network access refused"), the look-ups answer NULL and
   GetHostName -1; sockets already made go on working. On by default. */
void SetNetworkAccess(bool on);
/* Names the look-ups answer before (or, with SetHostTableOnly, instead of) the resolver:
   addresses in dotted form, kept in the order given. Names match without regard to case. */
struct HostTableEntry {
  std::string name;
  std::vector<std::string> addresses;
};
void SetHostTable(const std::vector<HostTableEntry>& table);
void SetHostTableOnly(bool on);
/* GetHostName answers this name ("" for the system's), or fails. */
void SetLocalHostName(const std::string& name);
void FailGetHostName(bool on);
/* The longest a look-up waits for the resolver (10 s by default). */
void SetResolverTimeout(int ms);
/* Calls of network slot 60-96 since ResetHooks. */
uint32_t NetCallCount(int slot);
/* While on, every SocketWait is logged (handle, ms asked, result); turning it on or off
   empties the log. */
struct SocketWaitRecord {
  jint handle, ms, result;
};
void SetSocketWaitLog(bool on);
std::vector<SocketWaitRecord> SocketWaitLog();
/* Socket handles open now (made and not yet closed). */
uint32_t OpenSocketCount();
/* Moves the next socket handle to this number: forward, or back while no socket is open. */
void SetNextSocketHandle(jint handle);
/* The network services themselves, whatever the service table holds now. */
const JNIHostFunctions* RealNetworkServices();
/* Puts the non-null network slots (60-96, 107-110) of overlay into the service table in
   place of the real ones, for scripting out-of-contract answers; NULL (and ResetHooks)
   puts the real ones back. An overlay slot may call the real service through
   RealNetworkServices. Overlaying a blocking receive or accept (72, 78, 80, 81) without
   its no-wait form (108, 107, 109, 110) leaves that form NULL, so the machine calls the
   scripted one. The no-wait forms count as calls of their blocking slots. */
void SetNetworkOverlay(const JNIHostFunctions* overlay);

/* ---- threads ---- */

/* Sets or clears the calling thread's sticky stop flag (what YieldCheck answers). */
void SetStopFlag(bool on);
/* Makes StartThread refuse. */
void SetStartThreadRefuses(bool on);
/* How many thread records the host holds: as many as threads have lived at once. */
uint32_t ThreadRecordCount();
/* Moves the handles on as n threads started and ended one after another would, without
   starting them: the next new thread's handle is the one the n-th of them would get. */
void PassThreadHandles(uint32_t n);
/* Sleep calls so far (ms <= 0 included) and the milliseconds asked for in total. */
uint32_t SleepCallCount();
int64_t SleptMillis();
/* The calling thread's (vm, env) pair from AttachThreadEnv. */
JavaVM* AttachedVM();
JNIEnv* AttachedEnv();

/* ---- counters and diagnostics ---- */

uint32_t GlobalMutexLockCount();
uint32_t GlobalMutexUnlockCount();
/* Host mutexes (MutexLock, the global one included) the calling thread holds now:
   successful locks minus successful unlocks. */
uint32_t MutexesHeldByThisThread();
uint32_t EventPostCount();
/* Spin locks and event semaphores made and not yet destroyed. */
int32_t LiveSpinLocks();
int32_t LiveEventSemaphores();
uint32_t EventWaitCount();
/* Threads blocked in EventWait on ev (0 for no event): once it counts a thread, a post
   made from then on is that thread's (or one blocked before it), never a later taker's.
   Tests wait for it, where a sleep would guess, before they post. */
uint32_t EventWaiters(void* ev);
uint32_t TestHookCount();
/* Called by TestHook after counting (NULL for none). */
void SetTestHookCallback(void (*callback)());
void SetDiagnosticFlag(jint value);
/* What QueryDiagnosticFlag answers for (kCollectionStressQuery, 0): the machine then
   collects before every nth allocation that may collect (0: never). A machine reads it
   when it is created. The default, also after ResetHooks, comes from the environment
   variable PUX_GC_STRESS. */
constexpr jint kCollectionStressQuery = 116;
void SetCollectionStress(uint32_t n);
uint32_t CollectionStress();
/* Mutexes made from now on check their owner instead of allowing recursion. */
void SetErrorCheckingMutexes(bool on);

/* ---- host texts (java.home, file.encoding.pkg, user.timezone) ----
   Defaults: the running program's directory, "pux.io.converters", and TZ or "GMT". */
void SetJavaHome(const std::string& path);
void SetFileEncodingPkg(const std::string& pkg);
void SetUserTimezone(const std::string& tz);
/* The text slot (20, 21 or 22) that answers NULL, as a host without that value would;
   0 for none. */
void SetNullHostText(jint slot);

/* ---- code modules ---- */

/* The symbol LoadCodeModule looks up in a loaded module:
   jint HOSTCALL ModuleEntry(jint arg). */
constexpr const char* kModuleEntrySymbol = "ModuleEntry";

/* ---- class streams ---- */

/* The class path of a loader id (0 = the system class path): ':'-separated directories
   and zip archives, searched in order. An empty path removes it; a loader id without a
   class path finds nothing. Class paths are configuration: ResetHooks keeps them. */
void SetClassPath(void* loaderId, const std::string& path);
std::string GetClassPath(void* loaderId);
/* Archives at this path are mapped into memory instead of read into it: for a file that
   stays as it is while the process runs (the launcher's class library), whose pages are
   then shared with the file cache and met only where classes are read. Once mapped it is
   not looked at again: a file put in its place later is not seen, and one truncated in
   place while mapped would fault the process, so user archives are never mapped. */
void MapArchive(const std::string& path);
/* The prefixes IsSystemClassName accepts; the default is "java/", "corvane/",
   "nimbrel/" and "corvane_vm_internal_jnitest". */
void SetSystemClassPrefixes(const std::vector<std::string>& prefixes);
/* Host streams for the machine's zip and class-file entry points, read through the
   stream slots and closed with StreamClose. NULL when the file cannot be read. */
void* OpenFileStream(const char* path);
void* OpenMemoryStream(const void* data, uint32_t size);
/* The same over the caller's bytes, without a copy: they must stay as they are until the
   stream is closed (what the host does with an archive it holds whole). */
void* OpenMemoryView(const void* data, uint32_t size);
/* The seek callback the zip entry points take: the next read or skip on the stream
   starts at that position (the end itself included). 0, or -1 beyond the end. */
jint HOSTCALL ZipSeek(void* stream, uint32_t absolutePosition);
/* The largest buffer allocated for an inflated archive entry since ResetHooks. */
uint32_t LargestInflateBuffer();

/* ---- stored objects: the serialization support table ----
   Host streams live in memory: reads come from their bytes in order, writes append.
   Class ids are given out by ClassToId per class name (from 1, for the life of the
   process); IdToClass finds the id's class by name in the loader that the calling
   thread's env names (GetEnvUserWord), NULL when it cannot. GetClassData serves the
   bytes set for an id as a new stream, which ReleaseClassData closes. */
JNIHostSerializationSupport* SerialSupport();
void* SerialStreamCreate(const void* data = nullptr, size_t size = 0);
std::vector<uint8_t> SerialStreamBytes(void* stream);
/* The next read starts from the first byte again. */
void SerialStreamRewind(void* stream);
void SerialStreamDestroy(void* stream);
/* Streams made and not destroyed (class-data streams included). */
uint32_t SerialStreamsLive();
/* Read hands out at most these counts in turn (a count outside 0..capacity: the
   capacity), cycling; empty: the capacity each time. */
void SerialSetReadPattern(const std::vector<int32_t>& counts);
/* Queues one answer of Read, taken before the pattern: refusal (succeed false), or a
   count; one outside 0..capacity is reported as it is with nothing stored. */
void SerialScriptRead(int32_t count, bool succeed = true);
/* Drops the answers queued and not yet taken. */
void SerialClearReadScript();
/* The Nth Write from now on is refused (0 turns it off). */
void SerialFailWriteAt(uint32_t n);
uint32_t SerialWriteCalls();
uint32_t SerialReadCalls();
uint32_t SerialClassToIdCalls();
uint32_t SerialIdToClassCalls();
uint32_t SerialClassDataCalls();
/* The id ClassToId gives a class name (given out now when new). */
jint SerialIdOf(const std::string& name);
/* ClassToId answers this for the name (0, negative ids...). */
void SerialSetClassToIdAnswer(const std::string& name, jint answer);
/* IdToClass looks the id up as this class name. */
void SerialMapId(jint id, const std::string& name);
/* IdToClass answers NULL for the id, as for a class the host no longer has. */
void SerialHideClassId(jint id, bool hidden);
/* The class data GetClassData serves for an id. */
void SerialSetClassData(jint id, const std::vector<uint8_t>& bytes);
/* GetClassData leaves the handle as the caller set it. */
void SerialLeaveClassDataHandleUnset(bool on);
/* Class-data streams handed out and not yet released. */
uint32_t SerialClassDataOpen();

}  // namespace refhost

#endif
