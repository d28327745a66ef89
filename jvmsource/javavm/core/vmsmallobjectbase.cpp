#include "vmsmallobjectbase.h"

#include <emmintrin.h>
#include <string.h>

#include <atomic>

#include "vm.h"
#include "vmobject.h"
#include "vmutils.h"

namespace {

const uint32_t kLevels = 5;
/* First element held by each level's trees (index 0 unused). */
const uint32_t kLevelBound[kLevels + 1] = {0, 196, 1476, 17860, 1066436, 68175300};
/* Body word of each level's first slot, and one past the last level's slots. */
const uint32_t kSlotStart[kLevels + 2] = {0, 196, 216, 220, 224, 228, 232};

inline VMword* SlotPointer(VMword slot) { return reinterpret_cast<VMword*>(slot); }
inline uint32_t PieceCount(const VMword* piece) { return piece[-1] >> 16; }
/* A read of the line at p started early. Written out: in the machine's link-time
   optimised build the builtin left no instruction here. */
inline void Prefetch(const char* p) {
#if defined(__i386__) || defined(__x86_64__)
  __asm__ volatile("prefetcht0 %0" : : "m"(*p));
#else
  __builtin_prefetch(p);
#endif
}
/* A piece's header and the line before it, where the host's words for the block
   usually are. */
inline void PrefetchPiece(VMword slot) {
  if (slot == 0) return;
  const char* header = reinterpret_cast<const char*>(slot) - 8;
  Prefetch(header);
  Prefetch(header - 32);
}

/* A new piece's words cleared in line, 16 bytes a store: pieces are made by the million,
   and the library call, with its lookup and its dispatch on size, would cost as much as
   the stores. bytes is a multiple of 4 and the block 8-byte aligned. The empty asm keeps
   the compiler from turning the loop back into that call. */
inline void ClearPiece(VMword* block, uint32_t bytes) {
  char* p = reinterpret_cast<char*>(block);
  char* end = p + bytes;
  __m128i zero = _mm_setzero_si128();
  for (; p + 16 <= end; p += 16) {
    __asm__("" : "+x"(zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), zero);
  }
  if (p + 8 <= end) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), zero);
    p += 8;
  }
  if (p < end) *reinterpret_cast<uint32_t*>(p) = 0;
}

}  // namespace

bool VMObjectBase::CollectForRetry() {
  VM* vm = VM::Current();
  if (vm == NULL) return false;
  // Inside an allocation: finalizers wait for the next poll.
  (void)vm->CollectThen(true, NULL, NULL);
  return true;
}

/* Rounds of waiting for finalizers that a refused allocation makes at most. */
static const int kFinalizerRounds = 4;

void* VMObjectBase::CollectThenRetry(void* (*retry)(void*), void* context) {
  VM* vm = VM::Current();
  if (vm == NULL) return NULL;
  VMword done = vm->GetFinalizersDone();
  void* made = vm->CollectThen(true, retry, context);
  // What the finalizer thread (or a pass of another thread) finalizes is freed by the
  // next collection. Other threads may fill what it freed with garbage that falls due in
  // turn: the allocation waits again while each round finalizes something, a few rounds.
  for (int round = 0; made == NULL && round < kFinalizerRounds; round++) {
    vm = VM::Current();
    const VMword before = done;
    done = vm->GetFinalizersDone();
    if (!vm->AwaitFinalizersInPlace(before) && !vm->AwaitFinalizerPass()) break;
    made = VM::Current()->CollectThen(true, retry, context);
  }
  return made;
}

void* VMObjectBase::BuildAgain(void* context) {
  BuildRequest* r = (BuildRequest*)context;
  if (r->single) {
    VMObjectBase* block = AllocBlock(r->heap, r->n, r->tag, jallocFailFast);
    if (block != NULL && r->n > FIRST_PART) block->SetNumberOfElements(0);
    return block;
  }
  return Build(r->heap, r->n, jallocFailFast, r->tag);
}

namespace {
std::atomic<uint32_t> stressInterval(0);
std::atomic<uint32_t> stressCount(0);

inline void StressCollection(jallocType kind) {
  if (kind != jallocCollectAndRetry) return;
  uint32_t n = stressInterval.load(std::memory_order_relaxed);
  if (n == 0 || stressCount.fetch_add(1, std::memory_order_relaxed) % n != 0) return;
  (void)VMObjectBase::CollectForRetry();
}

/* Early collections. Bodies with pieces that die young would otherwise fill the whole heap
   before the first refusal collects them, and every new one would be built in memory the
   caches lost long ago: once the bytes of such bodies made since the last collection pass
   a budget, the next one collects first, so that their memory is reused while it is still
   near. The budget is four times what the last collection left alive, at least
   kEarlyBudget: a collection's marking grows with what lives, and is never more than a
   small part of the cost of the bodies made meanwhile. Past kEarlyLive alive the budget
   would outgrow any cache, and only refusals collect, as before. Counted over the
   process, like the stress count: it only decides when a machine collects. */
const uint32_t kEarlyBudget = 4u << 20;
const uint64_t kEarlyLive = 8u << 20;
std::atomic<uint32_t> bodyBytesSince(0);
std::atomic<uint32_t> earlyBudget(kEarlyBudget);

inline void EarlyCollection(HHeap* heap, uint32_t n, jallocType kind) {
  if (kind != jallocCollectAndRetry) return;
  uint32_t since = bodyBytesSince.fetch_add(n * (uint32_t)sizeof(VMword), std::memory_order_relaxed);
  if (since < earlyBudget.load(std::memory_order_relaxed)) return;
  // Only a machine's own thread making a body on its heap collects it (a name space's
  // heap is nobody's to collect); soft references stay, for this is no shortage.
  VM* vm = VM::Current();
  if (vm == NULL || vm->GetHeap() != heap) return;
  bodyBytesSince.store(0, std::memory_order_relaxed);
  (void)vm->CollectThen(false, NULL, NULL);
}
}  // namespace

void VMObjectBase::NoteCollection(uint64_t liveBytes) {
  uint32_t budget = liveBytes > kEarlyLive ? UINT32_MAX : (uint32_t)liveBytes * 4;
  earlyBudget.store(budget < kEarlyBudget ? kEarlyBudget : budget, std::memory_order_relaxed);
  bodyBytesSince.store(0, std::memory_order_relaxed);
}

void VMObjectBase::SetCollectionStress(uint32_t n) { stressInterval.store(n); }

void VMObjectBase::StressPoint(jallocType kind) { StressCollection(kind); }

uint32_t VMObjectBase::GetCollectionStress() { return stressInterval.load(); }

void VMCommonObjectBase::relocReference(VMRelocateInfo* info, VMword* word) {
  VMHeapObject* target = reinterpret_cast<VMHeapObject*>(*word);
  if (target == NULL || target->GetIsNameSpaceData()) return;
  info->Relocate(word);
}

void VMCommonObjectBase::Relocate(VMRelocateInfo* info) {
  relocReference(info, reinterpret_cast<VMword*>(&monitor));
  relocReference(info, reinterpret_cast<VMword*>(&queue));
}

uint32_t VMObjectBase::BlockWordsFor(uint32_t n) {
  if (n <= FIRST_PART) return n;
  for (uint32_t level = 2; level <= kLevels; level++)
    if (n <= kLevelBound[level]) return kSlotStart[level];
  return kSlotStart[kLevels + 1];
}

VMObjectBase* VMObjectBase::AllocBlock(HHeap* heap, uint32_t words, VMword tag, jallocType kind) {
  VMObject* block = VMUtils::Alloc(heap, words, kind);
  if (block == NULL) return NULL;
  block->SetNumberOfElements((uint16_t)words);
  block->SetTag(tag);
  return block;
}

/* The single-block path, also for blocks of more body words than a piecewise object's
   block ever has (the frame groups of the interpreter). Such a body holds no slots: its
   element count stays 0, so that destruction and relocation never take its words for
   pointers to pieces. */
VMObjectBase* VMObjectBase::CreateInternal(HHeap* heap, uint32_t words, VMword tag, jallocType kind) {
  StressCollection(kind);
  VMObjectBase* block = AllocBlock(heap, words, tag, kind);
  if (block == NULL && kind == jallocCollectAndRetry) {
    BuildRequest request = {heap, words, tag, true};
    return (VMObjectBase*)CollectThenRetry(BuildAgain, &request);
  }
  if (block != NULL && words > FIRST_PART) block->SetNumberOfElements(0);
  return block;
}

/* Creation of a body never collects while any part of it exists: a refused block or
   piece gives back everything built so far, and only then may the one collection of
   kind 0 run, after which the body is built again from nothing. So no collection ever
   meets a half-built object, nothing it could move is held across it, and it never runs
   with the heap full of an object that is about to fail anyway. */
VMObjectBase* VMObjectBase::CreateInstance(HHeap* heap, uint32_t n, jallocType kind, VMword tag) {
  if (n > FIRST_PART) {
    // A body larger than the whole heap can never be had, collection or not (a host
    // that does not know its heap's size answers 0).
    uint64_t total = VMUtils::GetHostFunctions()->HeapTotalBytes(heap);
    if (total != 0 && (uint64_t)n * sizeof(VMword) > total) return NULL;
  }
  StressCollection(kind);
  if (n > FIRST_PART) EarlyCollection(heap, n, kind);
  VMObjectBase* object = Build(heap, n, kind, tag);
  if (object == NULL && kind == jallocCollectAndRetry) {
    BuildRequest request = {heap, n, tag, false};
    object = (VMObjectBase*)CollectThenRetry(BuildAgain, &request);
  }
  return object;
}

VMObjectBase* VMObjectBase::Build(HHeap* heap, uint32_t n, jallocType kind, VMword tag) {
  VMObjectBase* object = AllocBlock(heap, BlockWordsFor(n), tag, kind);
  if (object == NULL) return NULL;
  object->SetIsRootObject();
  for (uint32_t level = kLevels; level >= 1; level--) {
    uint32_t bound = kLevelBound[level];
    if (n <= bound) continue;
    uint32_t wanted = n - bound;
    uint32_t made = CreateSubPieces(object->Body() + kSlotStart[level], level, wanted, kind, heap, tag);
    if (made != wanted) {
      // Nobody knows the object yet, so it is given back at once, pieces and all.
      object->Destroy(heap);
      return NULL;
    }
    n = bound;
  }
  return object;
}

VMword* VMObjectBase::NewSubPiece(uint32_t count, jallocType kind, HHeap* heap, VMword tag) {
  VM_ASSERT(count <= NESTING_SIZE);
  uint32_t bytes = count * 4 + 8;
  VMword* block = static_cast<VMword*>(VMUtils::GetHostFunctions()->HeapAlloc(heap, bytes, kind));
  if (block == NULL) return NULL;
  ClearPiece(block, bytes);
  block[0] = tag;
  block[1] = count << 16;
  return block + PIECE_HEADER_WORDS;
}

uint32_t VMObjectBase::CreateSubPieces(VMword* slot, uint32_t level, uint32_t count, jallocType kind,
                                       HHeap* heap, VMword tag) {
  uint32_t done = 0;
  if (level == 1) {
    while (done < count) {
      uint32_t k = count - done < NESTING_SIZE ? count - done : NESTING_SIZE;
      VMword* piece = NewSubPiece(k, kind, heap, tag);
      *slot = reinterpret_cast<VMword>(piece);
      if (piece == NULL) break;
      done += k;
      slot++;
    }
    return done;
  }
  uint32_t unit = FullSize(level - 1);
  uint32_t span = unit * NESTING_SIZE;
  while (done < count) {
    uint32_t chunk = count - done < span ? count - done : span;
    uint32_t slots = (chunk + unit - 1) / unit;
    VMword* node = NewSubPiece(slots, kind, heap, tag);
    *slot = reinterpret_cast<VMword>(node);
    if (node == NULL) break;
    if (CreateSubPieces(node, level - 1, chunk, kind, heap, tag) != chunk) break;
    done += chunk;
    slot++;
  }
  return done;
}

/* Each piece of count slots' trees is given back once, a node after what hangs from it.
   The pieces of a dead body lie far apart and are seldom in the cache: each is fetched a
   few slots ahead of its free, so the host's reads of them overlap instead of waiting
   one after the other. */
void VMObjectBase::DestroySubPieces(HHeap* heap, VMword* slots, uint32_t count, uint32_t level) {
  const uint32_t ahead = 16;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  for (uint32_t i = 0; i < count && i < ahead; i++) PrefetchPiece(slots[i]);
  for (uint32_t i = 0; i < count; i++) {
    if (i + ahead < count) PrefetchPiece(slots[i + ahead]);
    VMword* piece = SlotPointer(slots[i]);
    // A body whose build was refused has empty slots from the refusal on.
    if (piece == NULL) continue;
    if (level > 1) DestroySubPieces(heap, piece, PieceCount(piece), level - 1);
    VMword* block = piece - PIECE_HEADER_WORDS;
    block[0] = VM_DESTROYED_TAG;
    host->HeapFree(heap, block);
  }
}

uint32_t VMHeapObject::heldFlags = 0;

void VMObjectBase::Destroy(HHeap* heap) {
  ClearIsReachableByCPlusPlusCode();
  ClearIsDeserializing();
  uint32_t k = GetNumberOfElements();
  VMword* body = Body();
  for (uint32_t level = kLevels; level >= 1; level--) {
    if (k > kSlotStart[level]) {
      DestroySubPieces(heap, body + kSlotStart[level], k - kSlotStart[level], level);
      k = kSlotStart[level];
    }
  }
  SetTag(VM_DESTROYED_TAG);
  VMUtils::Free(heap, static_cast<VMObject*>(this));
}

void VMObjectBase::RelocateSubPiece(VMRelocateInfo* info, VMword* slot, uint32_t level) {
  if (*slot == 0) return;
  info->Relocate(slot);
  if (level > 1) {
    VMword* node = SlotPointer(*slot);
    uint32_t count = PieceCount(node);
    for (uint32_t i = 0; i < count; i++) RelocateSubPiece(info, node + i, level - 1);
  }
}

void VMObjectBase::Relocate(VMRelocateInfo* info) {
  uint32_t k = GetNumberOfElements();
  VMword* body = Body();
  for (uint32_t level = kLevels; level >= 1; level--) {
    while (k > kSlotStart[level]) {
      k--;
      RelocateSubPiece(info, body + k, level);
    }
  }
  VMCommonObjectBase::Relocate(info);
}

VMword* VMObjectBase::DeepElementAddress(uint32_t i) const {
  uint32_t level = i < kLevelBound[5] ? 4 : 5;
  uint32_t j = i - kLevelBound[level];
  VMword* p = SlotPointer(Body()[kSlotStart[level] + (j >> (6 * level))]);
  for (uint32_t l = level - 1; l >= 1; l--) p = SlotPointer(p[(j >> (6 * l)) & 63]);
  return p + (j & 63);
}

void VMObjectBase::ExpensiveGetDoubleWord(uint32_t i, VMDoubleWord& value) const {
  VMLocation location;
  LocateElement(i, location);
  value.first = location.address[0];
  value.second = location.last ? *GetElementAddress(i + 1) : location.address[1];
}

void VMObjectBase::ExpensiveSetDoubleWord(uint32_t i, const VMDoubleWord& value) {
  VMLocation location;
  LocateElement(i, location);
  location.address[0] = value.first;
  if (location.last)
    *GetElementAddress(i + 1) = value.second;
  else
    location.address[1] = value.second;
}

void VMObjectBase::GetDoubleWord(uint32_t i, VMDoubleWord& value, int type) const {
  VM_ASSERT(type == VM_LONGLONG || type == VM_DOUBLE);
  if (i < FIRST_PART - 1) {
    value.first = Body()[i];
    value.second = Body()[i + 1];
  } else {
    ExpensiveGetDoubleWord(i, value);
  }
}

void VMObjectBase::SetDoubleWord(uint32_t i, const VMDoubleWord& value, int type) {
  VM_ASSERT(type == VM_LONGLONG || type == VM_DOUBLE);
  if (i < FIRST_PART - 1) {
    Body()[i] = value.first;
    Body()[i + 1] = value.second;
  } else {
    ExpensiveSetDoubleWord(i, value);
  }
}

jlong VMObjectBase::GetLong(uint32_t i) const {
  VMDoubleWord value;
  GetDoubleWord(i, value, VM_LONGLONG);
  return (jlong)(((uint64_t)value.second << 32) | value.first);
}

void VMObjectBase::SetLong(uint32_t i, jlong value) {
  VMDoubleWord words = {(VMword)(uint64_t)value, (VMword)((uint64_t)value >> 32)};
  SetDoubleWord(i, words, VM_LONGLONG);
}

jdouble VMObjectBase::GetDouble(uint32_t i) const {
  VMDoubleWord words;
  GetDoubleWord(i, words, VM_DOUBLE);
  jdouble value;
  memcpy(&value, &words, sizeof value);
  return value;
}

void VMObjectBase::SetDouble(uint32_t i, jdouble value) {
  VMDoubleWord words;
  memcpy(&words, &value, sizeof value);
  SetDoubleWord(i, words, VM_DOUBLE);
}
