/* The natives of java.util.zip. The checksums feed zlib's Adler-32 and CRC-32 from a
   Java byte array run by run. A Deflater or Inflater keeps one stream record in the
   compression pool of its machine: the engine's stream and two 256-byte staging
   buffers through which input and output pass between the Java arrays and the engine
   (a Deflater's; an Inflater's calls stage through larger buffers on their own stack,
   and the record's only stand for them between calls).
   The natives reach the Java fields by the word indexes of their names, looked up in
   the class java/util/zip/Deflater (or Inflater) itself, whatever subclass the object
   is of; one layout serves the process, and a class of another layout is refused
   rather than read at the wrong words.

   Java's synchronized excludes nothing on this machine, so the natives keep a stream's
   callers apart themselves. A native of an object takes the object's machine monitor
   (which does lock) for the whole call. Every live record is on the process's list of
   live records, and Java never holds a record's address: the strm word (and the handle
   of the newer rows) is the record's name, a number the process gives out once. A word
   names a record only while that record is on the list and belongs to the calling
   machine: a forged word, or a stale one (copied by Object.clone, say, before its
   stream ended), is refused, never followed, whatever record has taken the old one's
   memory since. A call holds the record as a user, so that an end racing it only marks
   the record, the last user freeing it. The engine itself is held by one call at a time
   (the busy word), whichever native, object or handle, reaches it.

   An ended record stays on the list, found by no look-up, until its blocks are back in the
   pool: the budget's waiters count it as room on its way, not as a stream gone. The
   waiters read the records of their own machine on a second list (BudgetShard), under a
   lock that a stream's calls never take. */
#include "javautilzip.h"

#include <atomic>
#include <string.h>

#include "chunkedarray.h"
#include "deflate.h"
#include "inflate.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vm.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"
#include "zchecksum.h"
#include "zippool.h"

// The RandomAccessFile natives: ZipFile's shared reads call them under the file's monitor.
#include "../io/javaio.h"

namespace {

/* ---- checksums ---------------------------------------------------------------------- */

typedef uint32_t (*ChecksumFn)(uint32_t value, const uint8_t* bytes, uint32_t length);

/* The most bytes a checksum gathers from an array's pieces into one run (see Feed). */
enum : uint32_t { ChecksumGather = 4096 };

inline VMbyteArray* ByteArray(JNIEnv* env, jobject handle) {
  return static_cast<VMbyteArray*>(VMJniHandle::UnHandle(env, handle));
}

/* The checksum over b[off..off+len), stopping silently at the array's end, one call per
   run of elements that lie together. A null array or a negative offset raises (and the
   value stays); *raised says so. */
uint32_t Feed(JNIEnv* env, ChecksumFn fn, uint32_t value, jbyteArray b, jint off, jint len, bool* raised) {
  *raised = false;
  VMbyteArray* array = ByteArray(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, "");
    *raised = true;
    return value;
  }
  if (off < 0) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, "");
    *raised = true;
    return value;
  }
  const int32_t n = (int32_t)array->GetSize();
  // Past its first 776 bytes an array lies in 256-byte pieces, and zlib's checksums cost
  // nearly twice as much a byte over pieces that short as over a few KB: the runs of a
  // longer range are gathered here first, which costs a small part of a checksum.
  uint8_t gathered[ChecksumGather];
  uint32_t held = 0;
  while (len > 0 && off < n) {
    uint32_t run = 0;
    const uint8_t* p = static_cast<const uint8_t*>(array->FindElement((uint32_t)off, &run));
    if (p == NULL || run == 0) break;
    if (run > (uint32_t)len) run = (uint32_t)len;
    if (held == 0 && (run == (uint32_t)len || run >= ChecksumGather)) {
      value = fn(value, p, run);
    } else {
      if (held + run > ChecksumGather) {
        value = fn(value, gathered, held);
        held = 0;
      }
      puxz::ChunkCopy(gathered + held, p, run);  // runs of a piece: no string instruction
      held += run;
    }
    off += (jint)run;
    len -= (jint)run;
  }
  if (held != 0) value = fn(value, gathered, held);
  return value;
}

template <ChecksumFn fn>
void JNICALL UpdateBytesOfObject(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  VMObject* o = VMJniHandle::UnHandle(env, self);
  if (o == NULL) return;
  bool raised;
  uint32_t value = Feed(env, fn, (uint32_t)o->GetWord(0), b, off, len, &raised);
  o->SetWord(0, value);
}

template <ChecksumFn fn>
void JNICALL UpdateByteOfObject(JNIEnv* env, jobject self, jint b) {
  VMObject* o = VMJniHandle::UnHandle(env, self);
  if (o == NULL) return;
  uint8_t byte = (uint8_t)b;
  o->SetWord(0, fn((uint32_t)o->GetWord(0), &byte, 1));
}

template <ChecksumFn fn>
jint JNICALL UpdateByte(JNIEnv*, jobject, jint value, jint b) {
  uint8_t byte = (uint8_t)b;
  return (jint)fn((uint32_t)value, &byte, 1);
}

template <ChecksumFn fn>
jint JNICALL UpdateBytes(JNIEnv* env, jobject, jint value, jbyteArray b, jint off, jint len) {
  bool raised;
  return (jint)Feed(env, fn, (uint32_t)value, b, off, len, &raised);
}

const JNINativeMethod kAdler32[] = {
    {(char*)"update", (char*)"([BII)V", (void*)UpdateBytesOfObject<puxz::Adler32>},
    {(char*)"update1", (char*)"(I)V", (void*)UpdateByteOfObject<puxz::Adler32>},
    {(char*)"update", (char*)"(II)I", (void*)UpdateByte<puxz::Adler32>},
    {(char*)"updateBytes", (char*)"(I[BII)I", (void*)UpdateBytes<puxz::Adler32>},
};
const JNINativeMethod kCRC32[] = {
    {(char*)"update", (char*)"([BII)V", (void*)UpdateBytesOfObject<puxz::Crc32>},
    {(char*)"update1", (char*)"(I)V", (void*)UpdateByteOfObject<puxz::Crc32>},
    {(char*)"update", (char*)"(II)I", (void*)UpdateByte<puxz::Crc32>},
    {(char*)"updateBytes", (char*)"(I[BII)I", (void*)UpdateBytes<puxz::Crc32>},
};

/* ---- the stream record and its fields ---------------------------------------------- */

enum : uint32_t { StagingBytes = 256 };
/* An inflate call's staging on the stack (see InflateLocked). */
enum : uint32_t { InflateStageIn = 2048, InflateStageOut = 4096 };

struct ZipStreamRecord {
  puxz::z_stream* stream;
  uint8_t* in;
  uint8_t* out;
  JavaVM* machine;           /* whose pool holds the blocks: its record, which a move leaves in place */
  struct BudgetShard* shard; /* its machine's shard of the budget's lists */
  ZipStreamRecord* sideBy[2]; /* its neighbours on the shard's list of streams, under the shard's lock */
  void* maker;               /* the identity of the thread that made it */
  JNIEnv* makerEnv;          /* and the attachment it was made in: a later thread of that identity is another */
  VMword makerStamp;         /* that attachment's stamp: a later one may be given the same env's memory */
  uint32_t name;             /* the word Java holds for it: never 0, not given again for 2^32 streams */
  ZipStreamRecord* next;     /* the process's live records, under gLiveLock */
  uint32_t users;            /* calls holding the record, under gLiveLock */
  uint32_t ended;            /* no look-up finds it; the last user frees it. An atomic word: set without gLiveLock, read by waiters too */
  std::atomic<uint32_t> busy; /* 1 while a call runs the engine */
  bool deflater;
  bool starved; /* the engine's last pass took all the input and left room: only input moves it */
};

enum Field { FStrm, FBuf, FOff, FLen, FFinished, FFinish, FLevel, FStrategy, FSetParams, FieldCount };

/* One family (Deflater or Inflater): its class, the names of its fields in Field order
   (null where the family has none; an alias for the Inflater's dictionary field), and
   the process-wide layout. */
struct Family {
  const char* className;
  const char* initError;
  const char* budgetError;
  const char* resetError;
  const char* memoryError;
  const char* names[FieldCount];
  const char* extraName;      /* the dictionary field, under either of two names */
  const char* extraAlias;
  std::atomic<bool> found;
  int32_t slots[FieldCount];
  int32_t extraSlot;
};

Family gDeflater = {"java/util/zip/Deflater",
                    "Internal Error: java_util_zip_Deflater_init",
                    "java_util_zip_Deflater_init - too many Inflater/Deflater objects: the machine's compression "
                    "memory budget of 280000 bytes is in use",
                    "cannot reset deflater",
                    "java_util_zip_Deflater_init - no compression memory for the stream",
                    {"strm", "buf", "off", "len", "finished", "finish", "level", "strategy", "setParams"},
                    NULL,
                    NULL,
                    {false},
                    {-1, -1, -1, -1, -1, -1, -1, -1, -1},
                    -1};
Family gInflater = {"java/util/zip/Inflater",
                    "Internal Error: java_util_zip_Inflater_init",
                    "java_util_zip_Inflater_init - too many Inflater/Deflater objects: the machine's compression "
                    "memory budget of 280000 bytes is in use",
                    "cannot reset Inflater",
                    "java_util_zip_Inflater_init - no compression memory for the stream",
                    {"strm", "buf", "off", "len", "finished", NULL, NULL, NULL, NULL},
                    "needsDictionary",
                    "needDict",
                    {false},
                    {-1, -1, -1, -1, -1, -1, -1, -1, -1},
                    -1};

/* The class named className among cls and its superclasses: a subclass's object has
   the fields of the class that declares them. */
VMLoadableClass* DeclaringClass(VMLoadableClass* cls, const char* className) {
  for (int depth = 0; cls != NULL && depth < 256; depth++, cls = cls->GetSuper()) {
    VMLiteral* name = cls->GetName();
    if (name != NULL && name->EqualsAscii(className)) return cls;
  }
  return NULL;
}

/* The instance word index of every named field of the family's class; false when one
   is missing. */
bool LayoutOf(VMLoadableClass* cls, const Family& f, int32_t* slots, int32_t* extra) {
  for (int i = 0; i < FieldCount; i++) slots[i] = -1;
  *extra = -1;
  VMDataMemberArray* fields = cls != NULL ? cls->GetDataMembers() : NULL;
  uint32_t count = fields != NULL ? fields->GetSize() : 0;
  for (uint32_t k = 0; k < count; k++) {
    VMDataMember* field = fields->Get(k);
    if (field == NULL || field->GetIsStatic() || field->GetName() == NULL) continue;
    VMLiteral* name = field->GetName();
    for (int i = 0; i < FieldCount; i++) {
      if (f.names[i] != NULL && slots[i] < 0 && name->EqualsAscii(f.names[i])) slots[i] = field->GetIndex();
    }
    if (f.extraName != NULL && *extra < 0 && (name->EqualsAscii(f.extraName) || name->EqualsAscii(f.extraAlias))) {
      *extra = field->GetIndex();
    }
  }
  for (int i = 0; i < FieldCount; i++) {
    if (f.names[i] != NULL && slots[i] < 0) return false;
  }
  return f.extraName == NULL || *extra >= 0;
}

/* Makes the class's layout the process's, or checks it against the one already made:
   false when the class lacks a field or lays them out otherwise. Called under the
   machine's monitor; other machines may race, so the first layout is published with a
   compare-and-swap of a claim before the found flag. */
bool LookupFields(VMLoadableClass* cls, Family& f) {
  int32_t slots[FieldCount], extra;
  if (!LayoutOf(DeclaringClass(cls, f.className), f, slots, &extra)) return false;
  static std::atomic<int> claim[2] = {{0}, {0}};
  std::atomic<int>& mine = claim[&f == &gDeflater ? 0 : 1];
  if (!f.found.load(std::memory_order_acquire)) {
    int expected = 0;
    if (mine.compare_exchange_strong(expected, 1)) {
      memcpy(f.slots, slots, sizeof slots);
      f.extraSlot = extra;
      f.found.store(true, std::memory_order_release);
    } else {
      while (!f.found.load(std::memory_order_acquire)) {
      }
    }
  }
  return memcmp(f.slots, slots, sizeof slots) == 0 && f.extraSlot == extra;
}

/* The field words of an object of the family; only valid once the layout is found. */
struct Fields {
  VMObject* o;
  const Family& f;
  VMword Get(Field k) const { return o->GetWord((uint32_t)f.slots[k]); }
  void Set(Field k, VMword v) const { o->SetWord((uint32_t)f.slots[k], v); }
};

/* ---- the live records ------------------------------------------------------------------ */

/* The locks of the lists are held for a few steps, never across a call out of this file:
   a spin, yielding once it lasts (its holder may have been preempted, or a thread it woke
   may run on its core). */
__attribute__((noinline)) void SpinOn(std::atomic_flag& lock) {
  for (uint32_t spins = 0; lock.test_and_set(std::memory_order_acquire); spins++) {
    if (spins >= 64) VMUtils::GetHostFunctions()->Sleep(0);
  }
}
inline void Spin(std::atomic_flag& lock) {
  if (lock.test_and_set(std::memory_order_acquire)) SpinOn(lock);
}
void Unspin(std::atomic_flag& lock) { lock.clear(std::memory_order_release); }

std::atomic_flag gLiveLock = ATOMIC_FLAG_INIT;
ZipStreamRecord* gLive = NULL;

void LockLive() { Spin(gLiveLock); }
void UnlockLive() { Unspin(gLiveLock); }

/* A thread waiting for room in its machine's budget: a record on its own stack, on its
   machine's shard from its first look to its answer. */
struct BudgetWaiter {
  JavaVM* machine;
  void* id;    /* the thread's identity and attachment, as a stream's maker has them */
  JNIEnv* env;
  void* event; /* its wake event, posted when its turn may have come (WakeWaiters) */
  uint64_t ticket;
  BudgetWaiter* prev;
  BudgetWaiter* next;
  std::atomic<uint32_t> posting; /* posts of its event under way: the record outlives them */
};

/* The budget's waiters and the streams they look at (live and ending), of the machines
   whose records hash alike, the waiters in the order they came, under a lock of their
   own: a waiter's looks keep neither a stream's calls nor other machines' waiters (but by
   a chance of the hash) from their lists. */
struct BudgetShard {
  std::atomic_flag lock = ATOMIC_FLAG_INIT;
  ZipStreamRecord* streams = NULL;
  std::atomic<BudgetWaiter*> first{NULL}; /* read without the lock: none waits when null */
  BudgetWaiter* last = NULL;
  uint64_t tickets = 0;
};
enum : uint32_t { ShardBits = 6 };
BudgetShard gShards[1u << ShardBits];

BudgetShard& ShardOf(const JavaVM* machine) {
  return gShards[((uint32_t)(uintptr_t)machine * 0x9E3779B1u) >> (32 - ShardBits)];
}

JavaVM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL && env->javaVM->vm != NULL ? env->javaVM : NULL; }

/* The names count through every 32-bit value before one comes again (an odd multiplier
   is a one-to-one map), spread so that a name's neighbours name no stream made near it. */
uint32_t gNamesGiven = 0;

bool NameLive(uint32_t name) {
  for (ZipStreamRecord* r = gLive; r != NULL; r = r->next) {
    if (r->name == name) return true;
  }
  return false;
}

/* Names the record and puts it on the lists. After 2^32 streams the count comes round:
   a name still live then is passed over. */
void Publish(ZipStreamRecord* r) {
  LockLive();
  uint32_t name;
  do {
    name = ++gNamesGiven * 0x9E3779B1u;
  } while (name == 0 || NameLive(name));
  r->name = name;
  r->next = gLive;
  gLive = r;
  UnlockLive();
  BudgetShard& shard = *r->shard;
  Spin(shard.lock);
  r->sideBy[0] = NULL;
  r->sideBy[1] = shard.streams;
  if (shard.streams != NULL) shard.streams->sideBy[0] = r;
  shard.streams = r;
  Unspin(shard.lock);
}

VMword WordOf(const ZipStreamRecord* r) { return r != NULL ? (VMword)r->name : 0; }

/* The live record of the calling machine that the word names, with one more user; null
   for any other word. The word is only compared with the names of live records, so a
   forged or stale word is never followed. */
ZipStreamRecord* Acquire(VMword word, JavaVM* machine) {
  if (word == 0 || machine == NULL) return NULL;
  LockLive();
  ZipStreamRecord* r = gLive;
  while (r != NULL && r->name != (uint32_t)word) r = r->next;
  if (r != NULL && r->machine == machine && __atomic_load_n(&r->ended, __ATOMIC_RELAXED) == 0) {
    r->users++;
  } else {
    r = NULL;
  }
  UnlockLive();
  return r;
}

/* Ends a record its caller holds: no later look-up finds it, and the last user's Release
   frees it, which takes it off the list. No lock: the caller's own Release comes after,
   so a Release that finds itself the last user has seen the mark. */
void Retire(ZipStreamRecord* r) { __atomic_store_n(&r->ended, 1, __ATOMIC_RELEASE); }

__attribute__((always_inline)) inline void LeaveShard(ZipStreamRecord* r) {
  BudgetShard& shard = *r->shard;
  Spin(shard.lock);
  ZipStreamRecord* before = r->sideBy[0];
  ZipStreamRecord* after = r->sideBy[1];
  if (before != NULL) {
    before->sideBy[1] = after;
  } else {
    shard.streams = after;
  }
  if (after != NULL) after->sideBy[0] = before;
  Unspin(shard.lock);
}

__attribute__((always_inline)) inline void Unlink(ZipStreamRecord* r) {
  LockLive();
  for (ZipStreamRecord** at = &gLive; *at != NULL; at = &(*at)->next) {
    if (*at == r) {
      *at = r->next;
      r->next = NULL;
      break;
    }
  }
  UnlockLive();
  LeaveShard(r);
}

/* A machine's end frees its pool whole: its records leave the lists first. */
void ForgetPool(ZipPoolCookie* cookie) {
  ZipStreamRecord* gone = NULL;
  LockLive();
  for (ZipStreamRecord** at = &gLive; *at != NULL;) {
    ZipStreamRecord* r = *at;
    if (r->stream != NULL && r->stream->opaque == cookie) {
      *at = r->next;
      r->next = gone;
      gone = r;
      __atomic_store_n(&r->ended, 1, __ATOMIC_RELAXED);
    } else {
      at = &r->next;
    }
  }
  UnlockLive();
  for (ZipStreamRecord* r = gone; r != NULL; r = r->next) LeaveShard(r);
}

void EndStream(ZipStreamRecord* record);

/* Drops a user; the last user of a retired record frees it. */
void Release(ZipStreamRecord* r) {
  LockLive();
  bool last = --r->users == 0 && __atomic_load_n(&r->ended, __ATOMIC_ACQUIRE) != 0;
  UnlockLive();
  if (last) EndStream(r);
}

/* The engine for one call at a time. A call that finds it busy waits in a safe region
   (it touches no Java object meanwhile): the holder may collect. */
void TakeEngine(JNIEnv* env, ZipStreamRecord* r) {
  uint32_t idle = 0;
  if (r->busy.compare_exchange_strong(idle, 1, std::memory_order_acquire)) return;
  VM::EnterSafeRegion(env->thread);
  for (;;) {
    idle = 0;
    if (r->busy.compare_exchange_strong(idle, 1, std::memory_order_acquire)) break;
    VMUtils::GetHostFunctions()->Sleep(1);
  }
  VM::LeaveSafeRegion(env->thread);
}
void DropEngine(ZipStreamRecord* r) { r->busy.store(0, std::memory_order_release); }

/* One native call on a Deflater or Inflater object: the object's monitor, then its live
   record (null when it has none: ended, never made or not a record) held as a user with
   its engine. The exception a call raises is made once everything is let go: making it
   may collect. */
struct Call {
  JNIEnv* env;
  jobject self;
  VMObject* o;
  ZipStreamRecord* r;
  VMStatus raise;
  const char* message;
  const char* raiseClass; /* an exception of the class library, by name */
};

/* False (an exception pending) when the monitor cannot be had. */
bool Open(Call& c, JNIEnv* env, jobject self, Family& f) {
  c = Call{env, self, NULL, NULL, 0, NULL, NULL};
  if (self == NULL) return false;
  if (env->functions->MonitorEnter(env, self) != JNI_OK) {
    if (env->functions->ExceptionOccurred(env) == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, "");
    return false;
  }
  VMObject* o = VMJniHandle::UnHandle(env, self);
  if (o != NULL && f.found.load(std::memory_order_acquire)) c.r = Acquire(Fields{o, f}.Get(FStrm), MachineOf(env));
  if (c.r != NULL) TakeEngine(env, c.r);
  c.o = VMJniHandle::UnHandle(env, self);  // after any wait
  return true;
}

void Close(Call& c) {
  if (c.r != NULL) {
    DropEngine(c.r);
    Release(c.r);
  }
  c.env->functions->MonitorExit(c.env, c.self);
  if (c.raise != 0) {
    VMJniThrowInternal(c.env, c.raise, c.message);
  } else if (c.raiseClass != NULL) {
    jclass cls = c.env->functions->FindClass(c.env, c.raiseClass);
    if (cls != NULL) c.env->functions->ThrowNew(c.env, cls, c.message);
  }
}

/* A handle native's hold of a record: the record with its engine, or null. */
ZipStreamRecord* AcquireHandle(JNIEnv* env, jlong handle) {
  // The creating natives hand the name out sign-extended; either extension is taken.
  VMword word = (VMword)(uint32_t)handle;
  if (handle != (jlong)(int32_t)word && handle != (jlong)word) return NULL;
  ZipStreamRecord* r = Acquire(word, MachineOf(env));
  if (r != NULL) TakeEngine(env, r);
  return r;
}
void ReleaseHandle(ZipStreamRecord* r) {
  DropEngine(r);
  Release(r);
}

/* The machine's monitor, under which its pool and budget change; taken and left through
   the JavaVM record, which names the machine where it is now. */
bool EnterMachine(JavaVM* machine) { return machine->vm->MonitorEnter(machine->nameSpace) == VMStatus_OK; }
void LeaveMachine(JavaVM* machine) { machine->vm->MonitorExit(machine->nameSpace); }

/* ---- the budget's waiters ---------------------------------------------------------------- */

const uint64_t NoTicket = ~(uint64_t)0;

void Enlist(BudgetWaiter* w) {
  BudgetShard& shard = ShardOf(w->machine);
  Spin(shard.lock);
  w->ticket = shard.tickets++;
  w->prev = shard.last;
  w->next = NULL;
  if (shard.last != NULL) {
    shard.last->next = w;
  } else {
    shard.first.store(w, std::memory_order_release);
  }
  shard.last = w;
  Unspin(shard.lock);
}

/* Takes the waiter off the list (its caller then wakes the machine's others: one of them
   may be first now), and lets its record go once no post of its event is under way. */
void Delist(BudgetWaiter* w) {
  BudgetShard& shard = ShardOf(w->machine);
  Spin(shard.lock);
  if (w->prev != NULL) {
    w->prev->next = w->next;
  } else {
    shard.first.store(w->next, std::memory_order_release);
  }
  if (w->next != NULL) {
    w->next->prev = w->prev;
  } else {
    shard.last = w->prev;
  }
  Unspin(shard.lock);
  // A post takes a few steps of its poster; the thread, and its event, may go after this.
  while (w->posting.load(std::memory_order_acquire) != 0) VMUtils::GetHostFunctions()->Sleep(0);
}

/* Posts the machine's first waiter, whose turn it is, once the lock is let go: a post may
   wake the waiter onto the poster's processor, which must not then hold what the waiter
   needs. The others look again on their own (ZipBudgetStepMillis): room is not theirs
   before the first has had it, and waking every waiter at every end would keep a server's
   many threads waking for nothing. A waiter enlists under the machine's monitor, under
   which an end gives its blocks back before it wakes: one that enlisted later has seen the
   room in its first look. */
void WakeWaiters(JavaVM* machine) {
  BudgetShard& shard = ShardOf(machine);
  if (shard.first.load(std::memory_order_acquire) == NULL) return;
  Spin(shard.lock);
  BudgetWaiter* first = shard.first.load(std::memory_order_relaxed);
  while (first != NULL && first->machine != machine) first = first->next;
  void* event = first != NULL ? first->event : NULL;
  if (event != NULL) first->posting.fetch_add(1, std::memory_order_relaxed);
  Unspin(shard.lock);
  if (event == NULL) return;
  VMUtils::GetHostFunctions()->EventPost(event);
  first->posting.fetch_sub(1, std::memory_order_release);
}

/* Whether a waiter of the machine that came before the ticket waits now; the caller's own
   waits (a finalizer of its collection asking too) aside. */
bool WaiterAhead(JavaVM* machine, void* id, JNIEnv* env, uint64_t ticket) {
  BudgetShard& shard = ShardOf(machine);
  if (shard.first.load(std::memory_order_acquire) == NULL) return false;
  bool ahead = false;
  Spin(shard.lock);
  for (BudgetWaiter* w = shard.first.load(std::memory_order_relaxed); w != NULL && w->ticket < ticket && !ahead;
       w = w->next) {
    ahead = w->machine == machine && !(w->id == id && w->env == env);
  }
  Unspin(shard.lock);
  return ahead;
}

/* The most makers a waiter looks for among the machine's threads; past it, some stream is
   taken to be one that could end. */
enum : uint32_t { MakersLooked = 32 };

/* Whether a stream of the waiter's machine could end while it waits: one ending now (its
   blocks on their way back), or a live one made by another thread that is still attached
   and does not wait for the budget before this waiter. Only its maker's code can be
   counted on to end a stream; the waiter's own, and those of threads that wait ahead of it
   or have gone, it would wait for in vain. A maker that came after the waiter will be
   answered first (refused, when nothing could end its own wait), and its code may then end
   the stream: the earlier waiter keeps its turn rather than both being refused. Called
   without the machine's monitor. */
bool AnotherStreamCouldEnd(JNIEnv* env, const BudgetWaiter* self) {
  struct Maker {
    void* id;
    JNIEnv* env;
    VMword stamp;
  } makers[MakersLooked];
  uint32_t n = 0;
  bool could = false;
  BudgetShard& shard = ShardOf(self->machine);
  Spin(shard.lock);
  for (ZipStreamRecord* r = shard.streams; r != NULL && !could; r = r->sideBy[1]) {
    if (r->machine != self->machine) continue;
    if (__atomic_load_n(&r->ended, __ATOMIC_RELAXED) != 0) {
      could = true;
      continue;
    }
    if (r->maker == self->id && r->makerEnv == self->env) continue;
    bool seen = false;
    for (uint32_t i = 0; i < n && !seen; i++) seen = makers[i].id == r->maker && makers[i].env == r->makerEnv;
    if (seen) continue;
    if (n == MakersLooked) {
      could = true;
    } else {
      makers[n++] = Maker{r->maker, r->makerEnv, r->makerStamp};
    }
  }
  for (BudgetWaiter* w = shard.first.load(std::memory_order_relaxed); w != NULL && w->ticket < self->ticket && !could;
       w = w->next) {
    for (uint32_t i = 0; i < n && w->machine == self->machine;) {
      if (makers[i].id == w->id && makers[i].env == w->env) {
        makers[i] = makers[--n];
      } else {
        i++;
      }
    }
  }
  Unspin(shard.lock);
  if (could || n == 0) return could;
  VM* vm = env->javaVM->vm;
  VMNameSpace* ns = vm->GetNameSpace();
  VMUtils::P_SpinLock(ns->GetSpinLock(), "namespace spinlock - Get  zip budget makers");
  if (VMThreadHandleArray* threads = vm->GetThreads()) {
    for (uint32_t i = 1; i < threads->GetCount() && !could; i++) {
      VMThread* t = threads->Get(i);
      JNIEnv* attached = t != NULL ? t->GetEnv() : NULL;
      if (attached == NULL) continue;
      // An env is freed only once its record has let it go under this lock: its stamp is
      // read while it is live.
      for (uint32_t k = 0; k < n && !could; k++) {
        could = makers[k].env == attached && makers[k].id == t->GetId() &&
                __atomic_load_n(&attached->streamStamp, __ATOMIC_RELAXED) == makers[k].stamp;
      }
    }
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), "namespace spinlock - Release  zip budget makers");
  return could;
}

/* One step of a wait, declared, on the thread's wake event (which an end, an interrupt and
   a stop post) for at most ms. The record is read again through the env after each hold
   of its mutex and after the wait: the host may move the machine meanwhile. */
void WaitStep(JNIEnv* env, jlong ms) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  void* event = env->thread->GetWakeEvent();
  VM::EnterSafeRegion(env->thread);
  jint waited = 1;
  if (event != NULL && VMUtils::MutexLock(env->thread->GetMutex())) {
    VMThread* thread = env->thread;
    // Published under the thread's mutex, as an interrupter or a stopper reads it: either
    // it sees the event, or its mark is seen here before the wait.
    const bool due = thread->GetInterrupted() || thread->GetYieldToPostException();
    if (!due) thread->SetBlockedOn(event);
    VMUtils::MutexUnlock(thread->GetMutex());
    waited = 0;
    if (!due) {
      waited = host->EventWait(event, ms);
      VMUtils::MutexLock(env->thread->GetMutex());
      thread = env->thread;
      thread->SetBlockedOn(NULL);
      VMUtils::MutexUnlock(thread->GetMutex());
    }
  }
  if (waited == 1) host->Sleep(ms < 4 ? ms : 4);  // a host without events: short sleeps
  VM::LeaveSafeRegion(env->thread);
}

enum Budget { Room, Refused, Stopped };

/* Room in the budget for one more stream, given in turn: a caller takes room only when no
   waiter of the machine is before it. A first try (wait false) that finds no room and no
   waiter is refused at once: the constructor then has a collection made before it asks
   again; one that finds waiters waits behind them. A waiter waits while room is on its
   way: free room a waiter before it will take, or a stream that could end
   (AnotherStreamCouldEnd); each end wakes the first waiter, and every waiter looks again
   at least every ZipBudgetStepMillis. When nothing could end its wait it has one collection made (with
   finalization, which ends the streams nobody closed) and is refused if that made no room;
   a first try behind waiters has it made in its turn too: the constructor's own collection
   waits for the finalizer thread, and the threads behind would take their turns first.
   While it is first and no room has come back for ZipBudgetQuietMillis, it has a collection
   made too: streams left to the collector end only in one. The wait leaves the machine's
   monitor (an end takes it to free its blocks) and is declared, so collections go on and
   the host may move the machine meanwhile. An interrupt ends the wait in a refusal and
   stays set for the caller's code; a stop ends it with the stop's exception pending, or
   *raise set to ThreadDeath. Called holding the monitor; returns holding it, unless *held
   says it could not be taken again. */
Budget WaitForRoom(JNIEnv* env, ZipPoolCookie* cookie, bool wait, bool* held, VMStatus* raise) {
  JavaVM* machine = env->javaVM;
  void* id = env->thread->GetId();
  const bool queued = WaiterAhead(machine, id, env, NoTicket);
  if (ZipPoolBytesInUse(cookie) <= ZipStreamBudget && !queued) return Room;
  if ((!wait && !queued) || env->thread->GetInterrupted()) return Refused;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  void* event = env->thread->GetWakeEvent();
  BudgetWaiter self = {machine, id, env, event, 0, NULL, NULL, {0}};
  Enlist(&self);
  // Posts left from an earlier wait of this thread must not count as ends for this one; an
  // end from now on is either seen by the first look or posted after the drain.
  while (event != NULL && host->EventWait(event, 0) == 0) {
  }
  const jlong start = host->CurrentTimeMillis();
  jlong quietSince = start;
  uint32_t lastBytes = 0xFFFFFFFFu;
  // Whether the wait's last collection waited for the finalizers it found due: a refusal
  // for want of ends comes only after one that did.
  bool collected = false;
  Budget answer = Refused;
  for (;;) {
    const uint32_t bytes = ZipPoolBytesInUse(cookie);
    const bool ahead = WaiterAhead(machine, id, env, self.ticket);
    if (bytes <= ZipStreamBudget && !ahead) {
      answer = Room;
      break;
    }
    const jlong now = host->CurrentTimeMillis();
    if (env->thread->GetInterrupted() || now < start || now - start >= ZipBudgetWaitMillis) break;
    if (bytes < lastBytes) quietSince = now;
    lastBytes = bytes;
    LeaveMachine(machine);
    const bool worth = bytes <= ZipStreamBudget || AnotherStreamCouldEnd(env, &self);
    if (!worth && collected) {
      // An end made whole since the look at the count left no record for the walk to
      // see; only the count shows it.
      if ((*held = EnterMachine(machine)) && ZipPoolBytesInUse(cookie) != bytes) continue;
      break;
    }
    if (!worth || (!ahead && now - quietSince >= ZipBudgetQuietMillis)) {
      // When nothing else could end the wait, its finalizers are waited for (then the
      // count is looked at once more); otherwise the finalizer thread's ends wake this
      // wait, which an end made meanwhile by another thread must be able to reach too (a
      // finalizer's own ask may wait behind this waiter for such an end). What such a
      // collection handed over is waited for by the one a later look that finds nothing
      // else could end has made. Pending finalizers are no end to wait for: other threads'
      // collections keep handing more over, and meanwhile this waiter's streams count for
      // nobody behind it.
      collected = !worth;
      env->javaVM->vm->GarbageCollect(false, !worth);
      quietSince = host->CurrentTimeMillis();
      lastBytes = 0xFFFFFFFFu;
    } else {
      const jlong left = (jlong)ZipBudgetWaitMillis - (now - start);
      WaitStep(env, left < (jlong)ZipBudgetStepMillis ? left : (jlong)ZipBudgetStepMillis);
      // The poll serves what other threads asked of this one (a stop's exception comes here).
      if (env->thread->Yield() != 0 && env->thread->GetException() == NULL) *raise = VMStatus_ThreadDeath;
    }
    if (env->thread->GetException() != NULL || *raise != 0) {
      *held = EnterMachine(machine);
      answer = Stopped;
      break;
    }
    if (!(*held = EnterMachine(machine))) break;
  }
  Delist(&self);
  WakeWaiters(machine);
  return answer;
}

/* The attachment's stamp, given with its first stream: a thread that detaches and attaches
   again may be given the same memory for its new env, and is not the maker of the
   streams its earlier attachment made. */
std::atomic<VMword> gStampsGiven{0};
VMword StampOf(JNIEnv* env) {
  VMword stamp = __atomic_load_n(&env->streamStamp, __ATOMIC_RELAXED);
  while (stamp == 0) stamp = ++gStampsGiven;
  // Read by waiters of other threads (AnotherStreamCouldEnd).
  __atomic_store_n(&env->streamStamp, stamp, __ATOMIC_RELAXED);
  return stamp;
}

/* Creation of a stream: under the machine's monitor, the layout, a pool reference, the
   budget (waited for, when wait says so, while other threads' streams hold it), the four
   blocks and the engine. An exception is raised only after the monitor is left: making the throwable
   may collect, and other threads wait on that monitor for every pool request. */
ZipStreamRecord* CreateStream(JNIEnv* env, VMLoadableClass* cls, Family& f, bool nowrap, bool wait, bool* layoutOk) {
  *layoutOk = false;
  JavaVM* machine = MachineOf(env);
  if (machine == NULL || !EnterMachine(machine)) return NULL;
  bool held = true;
  VMStatus raise = 0;
  const char* message = NULL;
  ZipStreamRecord* record = NULL;
  ZipPoolCookie* cookie = NULL;
  Budget answer = Room;
  if (!LookupFields(cls, f)) {
    raise = VMStatus_InternalError;
    message = f.initError;
  } else if ((*layoutOk = true, cookie = ZipPoolGetCookie()) == NULL) {
    raise = VMStatus_InternalError;
    message = f.initError;
  } else if ((answer = WaitForRoom(env, cookie, wait, &held, &raise)) != Room) {
    ZipPoolReleaseCookie(cookie);
    if (answer == Refused) {
      raise = VMStatus_OutOfMemoryError;
      message = f.budgetError;
    }
  } else {
    record = static_cast<ZipStreamRecord*>(ZipPoolAlloc(cookie, 1, sizeof(ZipStreamRecord)));
    puxz::z_stream* stream = static_cast<puxz::z_stream*>(ZipPoolAlloc(cookie, 1, sizeof(puxz::z_stream)));
    uint8_t* in = static_cast<uint8_t*>(ZipPoolAlloc(cookie, 1, StagingBytes));
    uint8_t* out = static_cast<uint8_t*>(ZipPoolAlloc(cookie, 1, StagingBytes));
    int rc = -1;
    if (record != NULL && stream != NULL && in != NULL && out != NULL) {
      memset(stream, 0, sizeof *stream);
      stream->zalloc = ZipPoolAlloc;
      stream->zfree = ZipPoolFree;
      stream->opaque = cookie;
      if (&f == &gDeflater) {
        rc = puxz::deflateInit2_(stream, 1, puxz::ZMethod_Deflated, nowrap ? -15 : 15, 7, puxz::ZStrategy_Default,
                                 PUXZ_VERSION, puxz::ZStreamSize);
      } else {
        rc = puxz::inflateInit2_(stream, nowrap ? -15 : 15, PUXZ_VERSION, puxz::ZStreamSize);
      }
    }
    if (rc != 0) {
      void* blocks[] = {record, stream, in, out};
      for (void* b : blocks) {
        if (b != NULL) ZipPoolFree(cookie, b);
      }
      ZipPoolReleaseCookie(cookie);
      record = NULL;
      // Said, not kept quiet: an object without a stream answers 0 to every call, and a
      // stream's writer would wait for its input to be taken for ever.
      raise = VMStatus_OutOfMemoryError;
      message = f.memoryError;
    } else {
      // Staged input lives in the record's buffer: with nothing staged the engine still
      // gets a buffer, never a null pointer.
      stream->next_in = in;
      stream->avail_in = 0;
      record->stream = stream;
      record->in = in;
      record->out = out;
      record->machine = machine;
      record->shard = &ShardOf(machine);
      record->maker = env->thread->GetId();
      record->makerEnv = env;
      record->makerStamp = StampOf(env);
      record->deflater = &f == &gDeflater;
      record->starved = false;
      ZipPoolForgetHook = ForgetPool;
      Publish(record);
    }
  }
  if (held) LeaveMachine(machine);
  if (raise != 0) VMJniThrowInternal(env, raise, message);
  return record;
}

/* Ends the engine and gives the record back, with the pool reference its creation took.
   No call holds the record. It leaves the live list only with its own block, under the
   machine's monitor, under which waiters read the pool's count: until then it is counted
   as an end on its way. Then the machine's waiters are woken. A thread of another machine,
   or of none, cannot reach the pool: the record leaves the list, and its blocks stay
   counted until the machine's end frees the pool. */
void EndStream(ZipStreamRecord* record) {
  if (record == NULL) return;
  JavaVM* machine = record->machine;
  ZipPoolCookie* cookie = static_cast<ZipPoolCookie*>(record->stream->opaque);
  if (MachineOf(VMUtils::GetHostFunctions()->GetCurrentEnv()) != machine) {
    Unlink(record);
    return;
  }
  if (record->deflater) {
    puxz::deflateEnd(record->stream);
  } else {
    puxz::inflateEnd(record->stream);
  }
  ZipPoolFree(cookie, record->stream);
  ZipPoolFree(cookie, record->in);
  ZipPoolFree(cookie, record->out);
  const bool held = EnterMachine(machine);
  Unlink(record);
  ZipPoolFree(cookie, record);
  if (held) LeaveMachine(machine);
  ZipPoolReleaseCookie(cookie);
  WakeWaiters(machine);
}

/* Copies up to n bytes of a Java array from index at into to, run by run. */
void CopyFromArray(VMbyteArray* a, uint32_t at, uint8_t* to, uint32_t n) {
  while (n != 0) {
    uint32_t run = 0;
    const uint8_t* p = static_cast<const uint8_t*>(a->FindElement(at, &run));
    if (p == NULL || run == 0) return;
    if (run > n) run = n;
    puxz::ChunkCopy(to, p, run);  // runs of a piece or two: no string instruction
    to += run;
    at += run;
    n -= run;
  }
}

void CopyToArray(VMbyteArray* a, uint32_t at, const uint8_t* from, uint32_t n) {
  while (n != 0) {
    uint32_t run = 0;
    uint8_t* p = static_cast<uint8_t*>(a->FindElement(at, &run));
    if (p == NULL || run == 0) return;
    if (run > n) run = n;
    puxz::ChunkCopy(p, from, run);
    from += run;
    at += run;
    n -= run;
  }
}

/* The ranges are tested in signed arithmetic: a negative length must never pass as a
   large unsigned one. */
bool OutputRangeBad(int32_t off, int32_t len, int32_t length) {
  return off < 0 || len < 0 || off >= length || len > length - off;
}
bool InputRangeBad(int32_t o, int32_t l, int32_t n) { return o < 0 || l < 0 || o > n || l > n - o; }

/* ---- Deflater --------------------------------------------------------------------------- */

const char* const kDeflaterClosed = "Deflater has been closed";
const char* const kInflaterClosed = "Inflater has been closed";

jint DeflateLocked(Call& c, jbyteArray b, jint off, jint len) {
  JNIEnv* env = c.env;
  ZipStreamRecord* r = c.r;
  VMbyteArray* out = ByteArray(env, b);
  if (out == NULL) return 0;
  if (OutputRangeBad(off, len, (int32_t)out->GetSize())) {
    c.raise = VMStatus_ArrayIndexOutOfBoundsException;
    c.message = "";
    return 0;
  }
  Fields fields{c.o, gDeflater};
  VMbyteArray* in = reinterpret_cast<VMbyteArray*>(fields.Get(FBuf));
  if (in == NULL) return 0;
  int32_t io = (int32_t)fields.Get(FOff), il = (int32_t)fields.Get(FLen), n = (int32_t)in->GetSize();
  if (InputRangeBad(io, il, n)) {
    c.raise = VMStatus_ArrayIndexOutOfBoundsException;
    c.message = "";
    return 0;
  }
  const bool finish = fields.Get(FFinish) != 0;
  puxz::z_stream* z = r->stream;
  int32_t produced = 0;
  while (produced < len) {
    if (z->avail_in == 0 && il > 0) {
      uint32_t take = il < (int32_t)StagingBytes ? (uint32_t)il : StagingBytes;
      CopyFromArray(in, (uint32_t)io, r->in, take);
      io += (int32_t)take;
      il -= (int32_t)take;
      fields.Set(FOff, (VMword)io);
      fields.Set(FLen, (VMword)il);
      z->next_in = r->in;
      z->avail_in = take;
    }
    uint32_t room = len - produced < (int32_t)StagingBytes ? (uint32_t)(len - produced) : StagingBytes;
    z->next_out = r->out;
    z->avail_out = room;
    // Finishing only once the Java input is all staged: finishing earlier would end
    // the stream after this piece and drop the rest.
    int flush = finish && il <= 0 ? puxz::ZFlush_Finish : puxz::ZFlush_None;
    int rc = puxz::deflate(z, flush);
    if (rc != puxz::ZResult_Ok && rc != puxz::ZResult_StreamEnd) break;
    uint32_t got = room - z->avail_out;
    CopyToArray(out, (uint32_t)(off + produced), r->out, got);
    produced += (int32_t)got;
    if (rc == puxz::ZResult_StreamEnd) {
      fields.Set(FFinished, 1);
      break;
    }
    if (il <= 0) break;  // no Java input left to stage: the next call goes on
  }
  return produced;
}

jint JNICALL DeflaterDeflate(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  Call c;
  if (!Open(c, env, self, gDeflater)) return 0;
  jint produced = 0;
  if (c.r == NULL) {
    // Ended (perhaps by another thread while this call waited): the JDK's answer.
    c.raise = VMStatus_NullPointerException;
    c.message = kDeflaterClosed;
  } else {
    produced = DeflateLocked(c, b, off, len);
  }
  Close(c);
  return produced;
}

void JNICALL DeflaterSetDictionary(JNIEnv* env, jobject, jbyteArray, jint, jint) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_util_zip_Deflater_setDictionary");
}
void JNICALL DeflaterSetDictionaryJ(JNIEnv* env, jobject, jlong, jbyteArray, jint, jint) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_util_zip_Deflater_setDictionary");
}
jint JNICALL DeflaterGetAdler(JNIEnv* env, jobject) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_util_zip_Deflater_getAdler");
  return 0;
}
jint JNICALL DeflaterGetAdlerJ(JNIEnv* env, jobject, jlong) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_util_zip_Deflater_getAdler");
  return 0;
}

enum Counter { TotalIn, TotalOut, Adler };

uint32_t CounterOf(const ZipStreamRecord* r, Counter which) {
  const puxz::z_stream* z = r->stream;
  return which == TotalIn ? (uint32_t)z->total_in : which == TotalOut ? (uint32_t)z->total_out : (uint32_t)z->adler;
}

/* The counters answer 0 once the stream is ended. */
template <Family& f, Counter which>
jint JNICALL GetCounter(JNIEnv* env, jobject self) {
  Call c;
  if (!Open(c, env, self, f)) return 0;
  jint value = c.r != NULL ? (jint)CounterOf(c.r, which) : 0;
  Close(c);
  return value;
}
template <Counter which>
jint JNICALL GetCounterJ(JNIEnv* env, jobject, jlong handle) {
  ZipStreamRecord* r = AcquireHandle(env, handle);
  if (r == NULL) return 0;
  jint value = (jint)CounterOf(r, which);
  ReleaseHandle(r);
  return value;
}

/* A reset drops whatever input the old stream had staged: it belongs to that stream. */
void ResetEngine(ZipStreamRecord* r) {
  if (r->deflater) {
    puxz::deflateReset(r->stream);
  } else {
    puxz::inflateReset(r->stream);
  }
  r->stream->next_in = r->in;
  r->stream->avail_in = 0;
  r->starved = false;
}

template <Family& f>
void JNICALL Reset(JNIEnv* env, jobject self) {
  Call c;
  if (!Open(c, env, self, f)) return;
  if (c.r == NULL) {
    c.raise = VMStatus_NullPointerException;
    c.message = f.resetError;
  } else {
    ResetEngine(c.r);
    Fields fields{c.o, f};
    fields.Set(FFinished, 0);
    // A new set of input data follows: the input the fields still describe belongs to the
    // old stream (the engine has dropped what it had staged of it, and must not stage the
    // rest again), and a finish asked of the old stream must not end the new one after its
    // first piece.
    fields.Set(FOff, 0);
    fields.Set(FLen, 0);
    if (&f == &gDeflater) fields.Set(FFinish, 0);
  }
  Close(c);
}

template <Family& f>
void JNICALL ResetJ(JNIEnv* env, jobject, jlong handle) {
  ZipStreamRecord* r = AcquireHandle(env, handle);
  if (r == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, f.resetError);
    return;
  }
  ResetEngine(r);
  ReleaseHandle(r);
}

/* An end waits for the call running the engine, if any, and frees the record as its
   last user; a second end finds nothing. */
template <Family& f>
void JNICALL End(JNIEnv* env, jobject self) {
  Call c;
  if (!Open(c, env, self, f)) return;
  if (c.r != NULL) {
    Fields{c.o, f}.Set(FStrm, 0);
    Retire(c.r);
  }
  Close(c);
}

template <Family& f>
void JNICALL EndJ(JNIEnv* env, jobject, jlong handle) {
  ZipStreamRecord* r = AcquireHandle(env, handle);
  if (r == NULL) return;
  Retire(r);
  ReleaseHandle(r);
}

/* The object's first try waits only behind other waiters: finding the budget held and
   nobody waiting, it is refused, and the constructor collects (streams nobody closed end
   then) before a second try, which waits its turn (WaitForRoom). */
template <Family& f, bool wait>
void JNICALL Init(JNIEnv* env, jobject self, jboolean nowrap) {
  if (VMJniHandle::UnHandle(env, self) == NULL) return;
  bool layoutOk;
  VMLoadableClass* cls = VMJniHandle::UnHandle(env, self)->GetLoadableClass();
  ZipStreamRecord* r = CreateStream(env, cls, f, nowrap != 0, wait, &layoutOk);
  if (!layoutOk || r == NULL) return;
  // strm is written only in a layout checked against this object's class, and only over
  // no live stream: a second init keeps the first.
  Call c;
  bool stored = false;
  if (Open(c, env, self, f)) {
    if (c.r == NULL) {
      Fields{c.o, f}.Set(FStrm, WordOf(r));
      stored = true;
    }
    Close(c);
  }
  if (!stored && Acquire(WordOf(r), MachineOf(env)) == r) {
    Retire(r);
    Release(r);
  }
}

jlong JNICALL DeflaterInitJ(JNIEnv* env, jclass cls, jint, jint, jboolean nowrap) {
  VMClass* c = VMJniUnHandleClass(env, cls);
  bool layoutOk;
  ZipStreamRecord* r = CreateStream(env, reinterpret_cast<VMLoadableClass*>(c), gDeflater, nowrap != 0, true, &layoutOk);
  return (jlong)(int32_t)WordOf(r);
}

void JNICALL InitIDs(JNIEnv*, jclass) {}

/* ---- Inflater ---------------------------------------------------------------------------- */

jint InflateLocked(Call& c, jbyteArray b, jint off, jint len) {
  JNIEnv* env = c.env;
  ZipStreamRecord* r = c.r;
  VMbyteArray* out = ByteArray(env, b);
  if (out == NULL) return 0;
  if (OutputRangeBad(off, len, (int32_t)out->GetSize())) {
    c.raise = VMStatus_ArrayIndexOutOfBoundsException;
    c.message = "";
    return 0;
  }
  Fields fields{c.o, gInflater};
  VMbyteArray* in = reinterpret_cast<VMbyteArray*>(fields.Get(FBuf));
  if (in == NULL) return 0;
  int32_t io = (int32_t)fields.Get(FOff), il = (int32_t)fields.Get(FLen), n = (int32_t)in->GetSize();
  if (n == 0 && io == 0 && il == 0) return 0;
  if (InputRangeBad(io, il, n)) {
    c.raise = VMStatus_ArrayIndexOutOfBoundsException;
    c.message = "";
    return 0;
  }
  // A stream read to the end of its input answers 0 until it is given more: InflaterInputStream
  // asks once for every buffer of input, and the engine need not be asked again.
  if (r->starved && il <= 0) return 0;
  r->starved = false;
  puxz::z_stream* z = r->stream;
  int32_t produced = 0;
  int rc = puxz::ZResult_Ok;
  // The engine works through buffers on this stack, far larger than the record's: every
  // engine call has a fixed cost, and with room for a longest match (258 bytes) and input
  // to spare it decodes straight into the output instead of through its window. Staged
  // input is Java's [io, io + avail_in), as the fields count only what the engine took; a
  // stage the previous call left is dropped here and staged again from the fields.
  uint8_t stageIn[InflateStageIn], stageOut[InflateStageOut];
  z->next_in = stageIn;
  z->avail_in = 0;
  // Every pass that answers 0 made progress; the cap only guards against a stall.
  for (uint32_t passes = 0; produced < len && passes < 64 + 8 * (uint32_t)len; passes++) {
    if (z->avail_in == 0 && il > 0) {
      uint32_t take = il < (int32_t)InflateStageIn ? (uint32_t)il : InflateStageIn;
      CopyFromArray(in, (uint32_t)io, stageIn, take);
      z->next_in = stageIn;
      z->avail_in = take;
    }
    uint32_t room = len - produced < (int32_t)InflateStageOut ? (uint32_t)(len - produced) : InflateStageOut;
    z->next_out = stageOut;
    z->avail_out = room;
    uint32_t before = z->avail_in;
    rc = puxz::inflate(z, puxz::ZFlush_Sync);
    if (rc != puxz::ZResult_Ok && rc != puxz::ZResult_StreamEnd) break;
    uint32_t got = room - z->avail_out;
    CopyToArray(out, (uint32_t)(off + produced), stageOut, got);
    produced += (int32_t)got;
    uint32_t consumed = before - z->avail_in;
    io += (int32_t)consumed;
    il -= (int32_t)consumed;
    fields.Set(FOff, (VMword)io);
    fields.Set(FLen, (VMword)il);
    if (rc == puxz::ZResult_StreamEnd) break;
    // Room left over with all the input taken: the engine stopped for input, and another
    // pass without any would only say so.
    if (z->avail_in == 0 && il <= 0 && z->avail_out != 0) {
      r->starved = true;
      break;
    }
  }
  // Nothing may point at this frame's buffers once it returns.
  z->next_in = r->in;
  z->avail_in = 0;
  z->next_out = r->out;
  z->avail_out = 0;
  if (rc == puxz::ZResult_StreamEnd) {
    fields.Set(FFinished, 1);
    return produced;
  }
  // No progress is no error: the caller gives more input (or more room) and calls again.
  if (rc == puxz::ZResult_Ok || rc == puxz::ZResult_BufError) return produced;
  // Damaged data, or data that asks for a dictionary (none can be set): the exception
  // the method declares.
  c.raiseClass = "java/util/zip/DataFormatException";
  c.message = "Error in inflation";
  return 0;
}

jint JNICALL InflaterInflate(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  Call c;
  if (!Open(c, env, self, gInflater)) return 0;
  jint produced = 0;
  if (c.r == NULL) {
    c.raise = VMStatus_NullPointerException;
    c.message = kInflaterClosed;
  } else {
    produced = InflateLocked(c, b, off, len);
  }
  Close(c);
  return produced;
}

void JNICALL InflaterSetDictionary(JNIEnv* env, jobject, jbyteArray, jint, jint) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_util_zip_Inflater_setDictionary");
}
void JNICALL InflaterSetDictionaryJ(JNIEnv* env, jobject, jlong, jbyteArray, jint, jint) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_util_zip_Inflater_setDictionary");
}
jlong JNICALL InflaterInitJ(JNIEnv* env, jclass cls, jboolean nowrap) {
  VMClass* c = VMJniUnHandleClass(env, cls);
  bool layoutOk;
  ZipStreamRecord* r = CreateStream(env, reinterpret_cast<VMLoadableClass*>(c), gInflater, nowrap != 0, true, &layoutOk);
  return (jlong)(int32_t)WordOf(r);
}

#define ROW(name, desc, fn) \
  { (char*)(name), (char*)(desc), (void*)(fn) }

const JNINativeMethod kDeflater[] = {
    ROW("setDictionary", "([BII)V", DeflaterSetDictionary),
    ROW("deflate", "([BII)I", DeflaterDeflate),
    ROW("getAdler", "()I", DeflaterGetAdler),
    ROW("getTotalIn", "()I", (GetCounter<gDeflater, TotalIn>)),
    ROW("getTotalOut", "()I", (GetCounter<gDeflater, TotalOut>)),
    ROW("reset", "()V", Reset<gDeflater>),
    ROW("end", "()V", End<gDeflater>),
    ROW("init", "(Z)V", (Init<gDeflater, false>)),
    ROW("initWaiting", "(Z)V", (Init<gDeflater, true>)),
    ROW("deflateBytes", "([BII)I", DeflaterDeflate),
    ROW("end", "(J)V", EndJ<gDeflater>),
    ROW("getAdler", "(J)I", DeflaterGetAdlerJ),
    ROW("getTotalIn", "(J)I", GetCounterJ<TotalIn>),
    ROW("getTotalOut", "(J)I", GetCounterJ<TotalOut>),
    ROW("init", "(IIZ)J", DeflaterInitJ),
    ROW("initIDs", "()V", InitIDs),
    ROW("reset", "(J)V", ResetJ<gDeflater>),
    ROW("setDictionary", "(J[BII)V", DeflaterSetDictionaryJ),
};

const JNINativeMethod kInflater[] = {
    ROW("setDictionary", "([BII)V", InflaterSetDictionary),
    ROW("inflate", "([BII)I", InflaterInflate),
    ROW("getAdler", "()I", (GetCounter<gInflater, Adler>)),
    ROW("getTotalIn", "()I", (GetCounter<gInflater, TotalIn>)),
    ROW("getTotalOut", "()I", (GetCounter<gInflater, TotalOut>)),
    ROW("reset", "()V", Reset<gInflater>),
    ROW("end", "()V", End<gInflater>),
    ROW("init", "(Z)V", (Init<gInflater, false>)),
    ROW("initWaiting", "(Z)V", (Init<gInflater, true>)),
    ROW("end", "(J)V", EndJ<gInflater>),
    ROW("getAdler", "(J)I", GetCounterJ<Adler>),
    ROW("getTotalIn", "(J)I", GetCounterJ<TotalIn>),
    ROW("getTotalOut", "(J)I", GetCounterJ<TotalOut>),
    ROW("inflateBytes", "([BII)I", InflaterInflate),
    ROW("init", "(Z)J", InflaterInitJ),
    ROW("initIDs", "()V", InitIDs),
    ROW("reset", "(J)V", ResetJ<gInflater>),
    ROW("setDictionary", "(J[BII)V", InflaterSetDictionaryJ),
};

/* ---- ZipEntry and ZipFile (the newer generation's rows; not implemented) ------------------ */

#define NYI(Name, Ret, text, ...)                                      \
  Ret JNICALL Name(JNIEnv* env, __VA_ARGS__) {                         \
    VMJniThrowInternal(env, VMStatus_InternalError, "nyi: " text);     \
    return (Ret)0;                                                     \
  }
#define NYI_VOID(Name, text, ...)                                      \
  void JNICALL Name(JNIEnv* env, __VA_ARGS__) {                        \
    VMJniThrowInternal(env, VMStatus_InternalError, "nyi: " text);     \
  }

NYI_VOID(ZipEntryInitFields, "java_util_zip_ZipEntry_initFields", jobject, jlong)
NYI_VOID(ZipFileClose, "java_util_zip_ZipFile_close", jobject, jlong)
NYI(ZipFileGetCSize, jint, "java_util_zip_ZipFile_getCSize", jobject, jlong)
NYI(ZipFileGetEntry, jlong, "java_util_zip_ZipFile_getEntry", jobject, jlong, jobject)
NYI(ZipFileGetMethod, jint, "java_util_zip_ZipFile_getMethod", jobject, jlong)
NYI(ZipFileGetNextEntry, jlong, "java_util_zip_ZipFile_getNextEntry", jobject, jlong, jint)
NYI(ZipFileGetTotal, jint, "java_util_zip_ZipFile_getTotal", jobject, jlong)
NYI(ZipFileOpen, jlong, "java_util_zip_ZipFile_open", jobject, jobject)
NYI(ZipFileRead, jint, "java_util_zip_ZipFile_read", jobject, jlong, jlong, jint, jbyteArray, jint, jint)

const JNINativeMethod kZipEntry[] = {
    ROW("initFields", "(J)V", ZipEntryInitFields),
    ROW("initIDs", "()V", InitIDs),
};

const JNINativeMethod kZipFile[] = {
    ROW("close", "(J)V", ZipFileClose),
    ROW("getCSize", "(J)I", ZipFileGetCSize),
    ROW("getEntry", "(JLjava/lang/String;)J", ZipFileGetEntry),
    ROW("getMethod", "(J)I", ZipFileGetMethod),
    ROW("getNextEntry", "(JI)J", ZipFileGetNextEntry),
    ROW("getTotal", "(J)I", ZipFileGetTotal),
    ROW("initIDs", "()V", InitIDs),
    ROW("open", "(Ljava/lang/String;)J", ZipFileOpen),
    ROW("read", "(JJI[BII)I", ZipFileRead),
};

/* ---- the library's ZipFile: one archive file read by all its entry streams ------------ */

/* Each stream reads at a place of its own, and the file has one position: a read seeks
   and reads holding the file object's machine monitor, and the close takes it too, so a
   read never lands on a handle the host has closed (and perhaps given to another file)
   meanwhile. A thread waiting for the monitor waits in a safe region. */

/* Takes the monitor of file, a RandomAccessFile; false, with an exception pending, for
   anything else or when the monitor cannot be had. */
bool EnterFile(JNIEnv* env, jobject file) {
  if (file == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, "");
    return false;
  }
  jclass cls = env->functions->FindClass(env, "java/io/RandomAccessFile");
  if (cls == NULL) return false;
  bool is = env->functions->IsInstanceOf(env, file, cls) != JNI_FALSE;
  env->functions->DeleteLocalRef(env, cls);
  if (!is) {
    VMJniThrowInternal(env, VMStatus_IllegalArgumentException, "not a RandomAccessFile");
    return false;
  }
  if (env->functions->MonitorEnter(env, file) != JNI_OK) {
    if (env->functions->ExceptionOccurred(env) == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, "");
    return false;
  }
  return true;
}

/* Up to len bytes from pos on into b[off..]: the count, -1 at the end of the file. */
jint JNICALL SharedFileRead(JNIEnv* env, jclass, jobject file, jlong pos, jbyteArray b, jint off, jint len) {
  if (!EnterFile(env, file)) return -1;
  jint n = -1;
  JavaIoRandomAccessFile_seek(env, file, pos);
  if (env->functions->ExceptionCheck(env) == JNI_FALSE) n = JavaIoRandomAccessFile_readBytes(env, file, b, off, len);
  env->functions->MonitorExit(env, file);
  return n;
}

void JNICALL SharedFileClose(JNIEnv* env, jclass, jobject file) {
  if (!EnterFile(env, file)) return;
  JavaIoRandomAccessFile_close(env, file);
  env->functions->MonitorExit(env, file);
}

const JNINativeMethod kSharedFile[] = {
    ROW("read", "(Ljava/io/RandomAccessFile;J[BII)I", SharedFileRead),
    ROW("close", "(Ljava/io/RandomAccessFile;)V", SharedFileClose),
};

#define COUNT(table) ((jint)(sizeof(table) / sizeof((table)[0])))

}  // namespace

extern "C" {
void Register_java_util_zip_Adler32(void) { JNI_RegisterNative("java/util/zip/Adler32", kAdler32, COUNT(kAdler32)); }
void Register_java_util_zip_CRC32(void) { JNI_RegisterNative("java/util/zip/CRC32", kCRC32, COUNT(kCRC32)); }
void Register_java_util_zip_Inflater(void) {
  JNI_RegisterNative("java/util/zip/Inflater", kInflater, COUNT(kInflater));
}
void Register_java_util_zip_Deflater(void) {
  JNI_RegisterNative("java/util/zip/Deflater", kDeflater, COUNT(kDeflater));
}
void Register_java_util_zip_ZipEntry(void) {
  JNI_RegisterNative("java/util/zip/ZipEntry", kZipEntry, COUNT(kZipEntry));
}
/* The library's ZipFile reads through a helper class of its own, whose table goes with
   ZipFile's. */
void Register_java_util_zip_ZipFile(void) {
  JNI_RegisterNative("java/util/zip/ZipFile", kZipFile, COUNT(kZipFile));
  JNI_RegisterNative("java/util/zip/SharedFile", kSharedFile, COUNT(kSharedFile));
}
}
