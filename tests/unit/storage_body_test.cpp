/* The piecewise body: block sizes, tree shapes, element addressing across every boundary,
   64-bit values split between pieces, destruction, refused allocations and relocation. */
#include <set>

#include "storage_support.h"
#include "vmsmallobjectbase.h"

using storage_test::Calls;
using storage_test::StorageTest;

namespace {

const VMword kTag = VMTag_VMUserClassInstance;

VMword* Slot(VMObjectBase* object, uint32_t bodyWord) {
  return reinterpret_cast<VMword*>(object->Body()[bodyWord]);
}
uint32_t PieceCount(const VMword* piece) { return piece[-1] >> 16; }
VMword Pattern(uint32_t i) { return i * 2654435761u ^ 0x5A5A5A5Au; }

class BodyTest : public StorageTest {};

std::vector<VMword*> relocated;
void HOSTCALL RecordRelocation(void** word, void*) { relocated.push_back(reinterpret_cast<VMword*>(word)); }

TEST_F(BodyTest, BlockHoldsOnlyTheBodyWordsItsSizeNeeds) {
  const struct { uint32_t n, words; } cases[] = {
      {0, 0},          {196, 196},         {197, 216},         {1476, 216},
      {1477, 220},     {17860, 220},       {17861, 224},       {1066436, 224},
      {1066437, 228},  {68175300, 228},    {68175301, 232},    {0xFFFFFFFFu, 232},
  };
  for (const auto& c : cases) EXPECT_EQ(c.words, VMObjectBase::BlockWordsFor(c.n)) << c.n;
}

TEST_F(BodyTest, TreeShapesAtTheLevelBoundaries) {
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 196, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(196, o->GetNumberOfElements());
  EXPECT_EQ(1u, refhost::BlocksInUse(heap));
  EXPECT_EQ(VMFLAG_ROOT_OBJECT, o->GetFlags());
  o->Destroy(heap);

  o = VMObjectBase::CreateInstance(heap, 197, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(216, o->GetNumberOfElements());
  ASSERT_NE(nullptr, Slot(o, 196));
  EXPECT_EQ(1u, PieceCount(Slot(o, 196)));
  EXPECT_EQ(kTag, Slot(o, 196)[-2]);  // pieces carry their object's tag
  for (uint32_t s = 197; s < 216; s++) EXPECT_EQ(nullptr, Slot(o, s));
  o->Destroy(heap);

  o = VMObjectBase::CreateInstance(heap, 1476, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  for (uint32_t s = 196; s < 216; s++) ASSERT_EQ(64u, PieceCount(Slot(o, s)));
  o->Destroy(heap);

  o = VMObjectBase::CreateInstance(heap, 1477, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(220, o->GetNumberOfElements());
  VMword* node = Slot(o, 216);
  ASSERT_NE(nullptr, node);
  EXPECT_EQ(1u, PieceCount(node));
  EXPECT_EQ(1u, PieceCount(reinterpret_cast<VMword*>(node[0])));
  EXPECT_EQ(nullptr, Slot(o, 217));
  o->Destroy(heap);

  o = VMObjectBase::CreateInstance(heap, 17860 + 4097, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  node = Slot(o, 220);
  ASSERT_EQ(2u, PieceCount(node));
  VMword* first = reinterpret_cast<VMword*>(node[0]);
  VMword* second = reinterpret_cast<VMword*>(node[1]);
  ASSERT_EQ(64u, PieceCount(first));
  for (uint32_t s = 0; s < 64; s++) EXPECT_EQ(64u, PieceCount(reinterpret_cast<VMword*>(first[s])));
  ASSERT_EQ(1u, PieceCount(second));
  EXPECT_EQ(1u, PieceCount(reinterpret_cast<VMword*>(second[0])));
  EXPECT_EQ(0u, o->Body()[221]);
  o->Destroy(heap);
}

/* Fills every element of objects that end around each boundary and reads them back, by
   value and by address; distinct elements must never share a word. */
TEST_F(BodyTest, EveryElementIsItsOwnWordAcrossAllLevels) {
  const uint32_t sizes[] = {195, 196, 197, 259, 260, 1475, 1476, 1477, 17859, 17860, 17861,
                            17860 + 4097, 1066435, 1066436, 1066437};
  for (uint32_t n : sizes) {
    VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
    ASSERT_NE(nullptr, o) << n;
    for (uint32_t i = 0; i < n; i++) o->SetWord(i, Pattern(i));
    uint32_t bad = 0;
    for (uint32_t i = 0; i < n; i++) {
      if (o->GetWord(i) != Pattern(i) || *o->GetElementAddress(i) != Pattern(i) ||
          o->GetIndexRef(i) != Pattern(i))
        bad++;
    }
    EXPECT_EQ(0u, bad) << n;
    // Location: inline words by their index, piece words by their place in the piece.
    VMObjectBase::VMLocation where;
    o->LocateElement(n - 1, where);
    EXPECT_EQ(o->GetElementAddress(n - 1), where.address);
    o->Destroy(heap);
  }
}

/* New pieces are cleared in line over memory the host fills with a pattern: every piece
   length from one word to a full piece (odd and even, so every tail of the clearing is
   met) reads zero, its header is whole, and nothing past it was written (the host's
   checks on the next block would stop the destroy). Bodies are built in a row, so each
   piece has a neighbour right after it. */
TEST_F(BodyTest, NewPiecesReadZeroWhateverTheirLength) {
  refhost::SetBlockPatterns(true, true);
  std::vector<VMObjectBase*> made;
  for (uint32_t n = 197; n <= 196 + 2 * 64 + 1; n++) {
    VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
    ASSERT_NE(nullptr, o) << n;
    made.push_back(o);
  }
  for (uint32_t k = 0; k < made.size(); k++) {
    VMObjectBase* o = made[k];
    uint32_t n = 197 + k;
    uint32_t bad = 0;
    for (uint32_t i = 196; i < n; i++) bad += o->GetWord(i) != 0;
    EXPECT_EQ(0u, bad) << n;
    for (uint32_t s = 196; s < 196 + (n - 196 + 63) / 64; s++) {
      VMword* piece = Slot(o, s);
      uint32_t expected = s + 1 < 196 + (n - 196 + 63) / 64 ? 64 : (n - 196 - 1) % 64 + 1;
      EXPECT_EQ(expected, PieceCount(piece)) << n;
      EXPECT_EQ(kTag, piece[-2]) << n;
    }
  }
  for (VMObjectBase* o : made) o->Destroy(heap);
}

/* The deep levels hold more than a test heap can: lay hand-made trees under a block and
   check that every level's slot and node indexes are taken from the right bits of the
   element index. Every slot off the expected path leads to a trap node, so a wrong index
   anywhere lands in the trap. */
TEST_F(BodyTest, EveryLevelTakesItsIndexesFromTheRightBits) {
  const uint32_t bound[6] = {0, 196, 1476, 17860, 1066436, 68175300};
  const uint32_t slotStart[6] = {0, 196, 216, 220, 224, 228};
  VMObjectBase* o = VMObjectBase::CreateInternal(heap, 232, kTag, jallocFailFast);
  ASSERT_NE(nullptr, o);
  static VMword trap[64];
  static VMword nodes[5][64];  // nodes[0] is the piece, nodes[l] a node of level l + 1
  for (VMword& w : trap) w = reinterpret_cast<VMword>(trap);
  const uint32_t cases[] = {196 + 19 * 64 + 63, 1476 + 3 * 4096 + 5 * 64 + 9,
                            17860 + 2 * 262144 + 17 * 4096 + 33 * 64 + 1,
                            1066436, 1066436 + 3 * 16777216 + 62 * 262144 + 7 * 4096 + 8 * 64 + 9,
                            68175299, 68175300, 68175300 + 1 * 1073741824u + 2 * 16777216 + 3 * 262144 + 4 * 4096 + 5 * 64 + 6,
                            0xFFFFFFFFu};
  for (uint32_t i : cases) {
    uint32_t level = 5;
    while (i < bound[level]) level--;
    uint32_t j = i - bound[level];
    for (auto& node : nodes)
      for (VMword& w : node) w = reinterpret_cast<VMword>(trap);
    for (uint32_t w = 196; w < 232; w++) o->GetFirstElementPointer()[w] = reinterpret_cast<VMword>(trap);
    o->GetFirstElementPointer()[slotStart[level] + (j >> (6 * level))] = reinterpret_cast<VMword>(nodes[level - 1]);
    for (uint32_t l = level - 1; l >= 1; l--) nodes[l][(j >> (6 * l)) & 63] = reinterpret_cast<VMword>(nodes[l - 1]);
    EXPECT_EQ(&nodes[0][j & 63], o->GetElementAddress(i)) << i;
    VMObjectBase::VMLocation where;
    o->LocateElement(i, where);
    EXPECT_EQ(&nodes[0][j & 63], where.address) << i;
    EXPECT_EQ(j & 63, where.index) << i;
  }
  o->Destroy(heap);  // a single block: the hand-made trees are not its pieces
}

TEST_F(BodyTest, LocationsMarkTheLastWordOfEachPiece) {
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 17860 + 200, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  const struct { uint32_t i, index; bool last; } cases[] = {
      {0, 0, false},     {195, 195, true},  {196, 0, false},   {259, 63, true},
      {260, 0, false},   {1475, 63, true},  {1476, 0, false},  {1476 + 63, 63, true},
      {17859, 63, true}, {17860, 0, false}, {17860 + 127, 63, true},
  };
  for (const auto& c : cases) {
    VMObjectBase::VMLocation where;
    o->LocateElement(c.i, where);
    EXPECT_EQ(c.index, where.index) << c.i;
    EXPECT_EQ(c.last, where.last) << c.i;
    EXPECT_EQ(o->GetElementAddress(c.i), where.address) << c.i;
  }
  // Element 196 is the first word of the first level-1 piece; 1476 the first word of the
  // first piece under the first level-2 node.
  EXPECT_EQ(Slot(o, 196), o->GetElementAddress(196));
  EXPECT_EQ(reinterpret_cast<VMword*>(Slot(o, 216)[0]), o->GetElementAddress(1476));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(o->GetElementAddress(300)) + 3, o->ExpensiveLocateElementAtOffset(1203));
  o->Destroy(heap);
}

TEST_F(BodyTest, SixtyFourBitValuesSplitAcrossPieces) {
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 1500, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  const jlong value = 0x0123456789ABCDEFLL;
  for (uint32_t i : {0u, 194u, 195u, 196u, 258u, 259u, 1474u, 1475u, 1476u}) {
    o->SetLong(i, value);
    EXPECT_EQ(0x89ABCDEFu, o->GetWord(i)) << i;
    EXPECT_EQ(0x01234567u, o->GetWord(i + 1)) << i;
    EXPECT_EQ(value, o->GetLong(i)) << i;
    o->SetDouble(i, -2.5e300);
    EXPECT_EQ(-2.5e300, o->GetDouble(i)) << i;
  }
  // The long at 195 has its high half in the first word of the first level-1 piece.
  o->SetLong(195, value);
  EXPECT_EQ(0x01234567u, Slot(o, 196)[0]);
  // The long at 259 spans the first two pieces.
  o->SetLong(259, value);
  EXPECT_EQ(0x89ABCDEFu, Slot(o, 196)[63]);
  EXPECT_EQ(0x01234567u, Slot(o, 197)[0]);

  VMObjectBase::VMDoubleWord pair = {0x11111111u, 0x22222222u};
  o->SetDoubleWord(259, pair, VM_LONGLONG);
  VMObjectBase::VMDoubleWord back = {0, 0};
  o->GetDoubleWord(259, back, VM_DOUBLE);
  EXPECT_EQ(pair.first, back.first);
  EXPECT_EQ(pair.second, back.second);
  // An unknown type code is handled like a long.
  o->GetDoubleWord(259, back, 7);
  EXPECT_EQ(pair.second, back.second);
  o->Destroy(heap);
}

/* A single block of more body words than the inline part holds is data throughout: its
   words past the inline part are never followed as pieces. */
TEST_F(BodyTest, LargeSingleBlocksHoldNoSlots) {
  for (uint32_t words : {197u, 232u, 300u, 70000u}) {
    VMObjectBase* o = VMObjectBase::CreateInternal(heap, words, kTag, jallocFailFast);
    ASSERT_NE(nullptr, o) << words;
    EXPECT_EQ(1u, refhost::BlocksInUse(heap));
    EXPECT_EQ(20u + 4u * words, refhost::BytesInUse(heap));
    EXPECT_EQ(0, o->GetNumberOfElements());
    VMword* body = o->GetFirstElementPointer();
    for (uint32_t i = 0; i < words; i++) body[i] = 0xFFFFFFF0u - i;
    relocated.clear();
    VMRelocateInfo info(RecordRelocation, nullptr);
    o->Relocate(&info);
    EXPECT_TRUE(relocated.empty()) << words;
    o->Destroy(heap);
    EXPECT_EQ(0u, refhost::BlocksInUse(heap)) << words;
  }
  // Up to the inline part the count is the body's size, as for any other block.
  VMObjectBase* o = VMObjectBase::CreateInternal(heap, 196, kTag, jallocFailFast);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(196, o->GetNumberOfElements());
  o->Destroy(heap);
}

TEST_F(BodyTest, DestroyedBlocksAndPiecesReadDeadBeforeTheHostGetsThem) {
  Watch();
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 17860 + 4097, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  size_t made = Calls().allocKinds.size();
  o->Destroy(heap);
  ASSERT_EQ(made, Calls().freedFirstWords.size());
  for (VMword w : Calls().freedFirstWords) EXPECT_EQ(VM_DESTROYED_TAG, w);
  const uint8_t dead[4] = {0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(0, memcmp(dead, &Calls().freedFirstWords[0], 4));
  EXPECT_FALSE(VMUtils::ValidateTag(VM_DESTROYED_TAG));
}

/* The pieces of every tree a body holds, nodes included, found from its slots. */
void CollectPieces(VMword* piece, uint32_t level, std::vector<void*>* out) {
  if (piece == nullptr) return;
  if (level > 1)
    for (uint32_t i = 0; i < PieceCount(piece); i++) CollectPieces(reinterpret_cast<VMword*>(piece[i]), level - 1, out);
  out->push_back(piece - VMObjectBase::PIECE_HEADER_WORDS);
}

/* Destruction gives the host every block of a body exactly once (the block itself last)
   and nothing else, whatever the shape of its trees: the last slot of each level
   partly filled, several levels at once, a single piece behind a node. */
TEST_F(BodyTest, DestroyFreesEveryPieceOnceAndTheBlockLast) {
  const uint32_t kSlotStart[] = {0, 196, 216, 220, 224};
  const uint32_t sizes[] = {197, 196 + 64 * 20, 1477, 1476 + 64 * 64 + 1, 17860 + 4097, 17860 + 64 * 64 * 7 + 65,
                            1066437};
  Watch();
  for (uint32_t n : sizes) {
    VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
    ASSERT_NE(nullptr, o) << n;
    std::vector<void*> expected;
    uint32_t k = o->GetNumberOfElements();
    for (uint32_t level = 4; level >= 1; level--)
      for (uint32_t s = kSlotStart[level]; s < k && (level == 4 || s < kSlotStart[level + 1]); s++)
        CollectPieces(Slot(o, s), level, &expected);
    ASSERT_EQ(Calls().allocKinds.size(), expected.size() + 1) << n;
    Calls() = storage_test::HeapCalls();
    o->Destroy(heap);
    ASSERT_FALSE(Calls().freedBlocks.empty());
    EXPECT_EQ(static_cast<void*>(o), Calls().freedBlocks.back()) << n;
    Calls().freedBlocks.pop_back();
    std::multiset<void*> freed(Calls().freedBlocks.begin(), Calls().freedBlocks.end());
    EXPECT_EQ(std::multiset<void*>(expected.begin(), expected.end()), freed) << n;
    EXPECT_EQ(0u, refhost::BlocksInUse(heap)) << n;
    Calls() = storage_test::HeapCalls();
  }
}

/* Bodies with pieces made with kind 0 collect early once their bytes since the last
   collection pass the budget, which follows what that collection left alive; nothing
   else counts, and nothing collects a heap that is not the calling machine's. */
TEST_F(BodyTest, BodiesWithPiecesCollectEarlyOncePastTheBudget) {
  AttachFakeMachine();
  const uint32_t n = 16384;  // 64 KiB: 64 of them make the smallest budget, 4 MiB
  auto make = [&](uint32_t count, jallocType kind, HHeap* on) {
    for (uint32_t i = 0; i < count; i++) {
      VMObjectBase* o = VMObjectBase::CreateInstance(on, n, kind, kTag);
      ASSERT_NE(nullptr, o);
      o->Destroy(on);
    }
  };
  VMObjectBase::NoteCollection(0);
  uint32_t start = VM::GetGarbageCollectRequests();
  make(64, jallocCollectAndRetry, heap);
  EXPECT_EQ(start, VM::GetGarbageCollectRequests());
  make(1, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 1, VM::GetGarbageCollectRequests());
  // Counted again from nothing: 64 more, then the next collects.
  make(64, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 1, VM::GetGarbageCollectRequests());
  make(1, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 2, VM::GetGarbageCollectRequests());

  // Kind 1 and bodies without pieces never collect, however many.
  make(200, jallocFailFast, heap);
  for (uint32_t i = 0; i < 3000; i++) {
    VMObjectBase* o = VMObjectBase::CreateInstance(heap, 196, jallocCollectAndRetry, kTag);
    ASSERT_NE(nullptr, o);
    o->Destroy(heap);
  }
  EXPECT_EQ(start + 2, VM::GetGarbageCollectRequests());

  // Bodies on another heap pass the budget but collect nothing; the machine's next
  // body does.
  HHeap* other = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, other);
  make(100, jallocCollectAndRetry, other);
  host->HeapDestroy(other);
  EXPECT_EQ(start + 2, VM::GetGarbageCollectRequests());
  make(1, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 3, VM::GetGarbageCollectRequests());

  // Four times what lives: 3 MiB alive allow 12 MiB, 192 bodies.
  VMObjectBase::NoteCollection(3u << 20);
  make(192, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 3, VM::GetGarbageCollectRequests());
  make(1, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 4, VM::GetGarbageCollectRequests());

  // With more alive than any cache holds, only refusals collect.
  VMObjectBase::NoteCollection(9u << 20);
  make(600, jallocCollectAndRetry, heap);
  EXPECT_EQ(start + 4, VM::GetGarbageCollectRequests());
  VMObjectBase::NoteCollection(0);
}

/* Refusing each allocation of a large creation in turn must fail the creation and leave
   nothing on the heap; one more allocation than needed lets it succeed. */
TEST_F(BodyTest, ARefusalAtAnyStepLeavesNoBlockBehind) {
  const uint32_t n = 17860 + 4097 + 5;
  uint64_t before = refhost::AllocationCount();
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  uint32_t steps = (uint32_t)(refhost::AllocationCount() - before);
  o->Destroy(heap);
  ASSERT_GT(steps, 80u);
  for (uint32_t k = 1; k <= steps; k++) {
    refhost::FailNthAllocation(k);
    EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag)) << k;
    ASSERT_EQ(0u, refhost::BlocksInUse(heap)) << "refused step " << k;
  }
  refhost::FailNthAllocation(0);
}

TEST_F(BodyTest, KindZeroWithoutAMachineFailsLikeKindOne) {
  uint32_t collections = VM::GetGarbageCollectRequests();
  uint64_t before = refhost::AllocationCount();
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, 10, jallocCollectAndRetry, kTag));
  EXPECT_EQ(collections, VM::GetGarbageCollectRequests());
  EXPECT_EQ(1u, refhost::AllocationCount() - before);

  // A refused piece takes the same path: no collection, no retry, nothing left behind.
  refhost::FailNthAllocation(3);
  before = refhost::AllocationCount();
  EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, 196 + 64 * 4, jallocCollectAndRetry, kTag));
  EXPECT_EQ(collections, VM::GetGarbageCollectRequests());
  EXPECT_EQ(3u, refhost::AllocationCount() - before);
  EXPECT_EQ(0u, refhost::BlocksInUse(heap));
}

TEST_F(BodyTest, KindZeroCollectsOnceThenAsksWithKindOne) {
  AttachFakeMachine();
  Watch();
  uint32_t collections = VM::GetGarbageCollectRequests();

  // The block itself refused once: one collection, one retry with kind 1.
  refhost::FailNthAllocation(1);
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 10, jallocCollectAndRetry, kTag);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(collections + 1, VM::GetGarbageCollectRequests());
  EXPECT_EQ((std::vector<jint>{0, 1}), Calls().allocKinds);
  o->Destroy(heap);

  // A piece refused: the body is built again from its block on, every part with kind 1.
  Calls().allocKinds.clear();
  refhost::FailNthAllocation(3);
  o = VMObjectBase::CreateInstance(heap, 196 + 64 * 5, jallocCollectAndRetry, kTag);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(collections + 2, VM::GetGarbageCollectRequests());
  EXPECT_EQ((std::vector<jint>{0, 0, 0, 1, 1, 1, 1, 1, 1}), Calls().allocKinds);
  o->Destroy(heap);

  // Refused again after the collection: the creation fails, having collected once.
  refhost::FailNextAllocations(2);
  EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, 10, jallocCollectAndRetry, kTag));
  EXPECT_EQ(collections + 3, VM::GetGarbageCollectRequests());

  // Kind 1 never collects.
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, 10, jallocFailFast, kTag));
  EXPECT_EQ(collections + 3, VM::GetGarbageCollectRequests());
}

/* A kind-0 body refused at any step of its building gives back what it had before the
   collection runs, so that no collection meets a half-built object (whose raw pointers
   a moving collector would leave stale), and then builds again from nothing: whatever
   the step, the rebuild starts on a heap that holds nothing of the first try. */
TEST_F(BodyTest, ARefusedKindZeroBodyIsGoneBeforeTheCollection) {
  AttachFakeMachine();
  Watch();
  const uint32_t n = 17860 + 4097 + 5;  // levels 1 to 3
  const uint32_t before = refhost::BlocksInUse(heap);
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  const uint32_t steps = (uint32_t)Calls().allocKinds.size();
  o->Destroy(heap);
  for (uint32_t k = 1; k <= steps; k += (k < 8 || k > steps - 8) ? 1 : 7) {
    Calls() = storage_test::HeapCalls();
    // The bodies made so far pass the budget of an early collection, which would be
    // counted as well: it starts again from nothing.
    VMObjectBase::NoteCollection(0);
    uint32_t collections = VM::GetGarbageCollectRequests();
    refhost::FailNthAllocation(k);
    o = VMObjectBase::CreateInstance(heap, n, jallocCollectAndRetry, kTag);
    ASSERT_NE(nullptr, o) << k;
    EXPECT_EQ(collections + 1, VM::GetGarbageCollectRequests()) << k;
    ASSERT_GT(Calls().allocKinds.size(), k) << k;
    // Request k was refused; request k + 1 is the rebuild's first, made after the collection.
    EXPECT_EQ(before + k - 1, Calls().blocksAtAlloc[k - 1]) << k;
    EXPECT_EQ(before, Calls().blocksAtAlloc[k]) << "step " << k << ": a half-built body outlived the refusal";
    ASSERT_EQ(k + steps, Calls().allocKinds.size()) << k;
    for (uint32_t i = k; i < k + steps; i++) ASSERT_EQ(jallocFailFast, Calls().allocKinds[i]) << k;
    for (uint32_t i = 0; i < n; i += 997) o->SetWord(i, Pattern(i));
    for (uint32_t i = 0; i < n; i += 997) ASSERT_EQ(Pattern(i), o->GetWord(i));
    o->Destroy(heap);
  }
}

/* A body larger than the heap's whole capacity can never be had: it is refused before
   anything is asked of the host, and no collection is run for it. */
TEST_F(BodyTest, ABodyLargerThanTheHeapIsRefusedAtOnce) {
  AttachFakeMachine();
  uint32_t collections = VM::GetGarbageCollectRequests();
  uint64_t requests = refhost::AllocationCount();
  // 2 GiB of ints on a 256 MiB heap.
  EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, 0x20000000u, jallocCollectAndRetry, kTag));
  refhost::SetHeapCapacity(heap, 4000);
  EXPECT_EQ(nullptr, VMObjectBase::CreateInstance(heap, 1001, jallocCollectAndRetry, kTag));
  EXPECT_EQ(requests, refhost::AllocationCount());
  EXPECT_EQ(collections, VM::GetGarbageCollectRequests());
  // Within the capacity the body is made as usual.
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 300, jallocCollectAndRetry, kTag);
  ASSERT_NE(nullptr, o);
  o->Destroy(heap);
}

TEST_F(BodyTest, RelocationVisitsEverySlotThenMonitorAndQueue) {
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, 1476 + 64 * 3, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  VMObject* own = VMUtils::Alloc(heap, 0, jallocFailFast);
  HHeap* shared = host->HeapCreate(nullptr, 1);
  VMObject* nameSpaceData = VMUtils::Alloc(shared, 0, jallocFailFast);
  ASSERT_TRUE(nameSpaceData->GetIsNameSpaceData());

  relocated.clear();
  VMRelocateInfo info(RecordRelocation, nullptr);
  o->Relocate(&info);
  // 20 level-1 slots, the level-2 slot and its node's 3 slots; no monitor or queue yet.
  ASSERT_EQ(24u, relocated.size());
  // Deepest level first, a node slot before the slots inside its node, the block's slots from the last.
  EXPECT_EQ(&o->Body()[216], relocated[0]);
  EXPECT_EQ(Slot(o, 216), relocated[1]);
  EXPECT_EQ(Slot(o, 216) + 2, relocated[3]);
  EXPECT_EQ(&o->Body()[215], relocated[4]);
  EXPECT_EQ(&o->Body()[196], relocated.back());
  std::set<VMword*> unique(relocated.begin(), relocated.end());
  EXPECT_EQ(relocated.size(), unique.size());

  o->SetMonitor(reinterpret_cast<VMMonitor*>(nameSpaceData));
  o->SetQueue(own);
  relocated.clear();
  o->Relocate(&info);
  ASSERT_EQ(25u, relocated.size());
  EXPECT_EQ(reinterpret_cast<VMword*>(reinterpret_cast<VMword*>(o) + 4), relocated.back());

  o->SetMonitor(nullptr);
  o->SetQueue(nullptr);
  o->Destroy(heap);
  own->Destroy(heap);
  nameSpaceData->Destroy(shared);
  EXPECT_EQ(0u, refhost::BlocksInUse(shared));
  host->HeapDestroy(shared);
}

/* The host moves every block of the heap for real; the heads found among the moved
   blocks fix their slots through the relocation walk, the old copies are poisoned and
   given back, and every element of bodies of one to four levels reads back as written. */
struct MovedHeads {
  std::vector<void*> heads;
};
void CollectHead(void*, void* newBlock, void* context) {
  if (static_cast<VMObjectBase*>(newBlock)->GetIsRootObject())
    static_cast<MovedHeads*>(context)->heads.push_back(newBlock);
}

TEST_F(BodyTest, BodiesSurviveARealHeapRelocation) {
  const uint32_t sizes[] = {196, 1476 + 3, 17860 + 4097, 1066436 + 64 * 4096 + 70};
  std::vector<VMObjectBase*> objects;
  for (uint32_t n : sizes) {
    VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
    ASSERT_NE(nullptr, o);
    for (uint32_t i = 0; i < n; i++) o->SetWord(i, Pattern(i) ^ n);
    objects.push_back(o);
  }
  ASSERT_GT(refhost::RelocateHeap(heap), 0u);
  MovedHeads moved;
  refhost::ForEachRelocated(heap, CollectHead, &moved);
  ASSERT_EQ(objects.size(), moved.heads.size());
  VMRelocateInfo info(refhost::RelocateWord, heap);
  for (void* head : moved.heads) static_cast<VMObjectBase*>(head)->Relocate(&info);
  std::vector<VMObjectBase*> after;
  for (VMObjectBase* o : objects) {
    VMObjectBase* now = static_cast<VMObjectBase*>(refhost::RelocatedAddress(heap, o));
    EXPECT_NE(o, now);
    after.push_back(now);
  }
  refhost::FinishRelocation(heap);
  for (size_t k = 0; k < after.size(); k++) {
    uint32_t n = sizes[k], bad = 0;
    for (uint32_t i = 0; i < n; i++) bad += after[k]->GetWord(i) != (Pattern(i) ^ n);
    EXPECT_EQ(0u, bad) << n;
    after[k]->Destroy(heap);
  }
}

/* A real level-5 body: 68 million words come before the first level-5 element, so
   about 285 MB in a million host blocks, every element written with its own pattern. */
TEST_F(BodyTest, LevelFiveWithRealPieces) {
  refhost::SetHeapCapacity(heap, 1ull << 30);
  const uint32_t n = 68175300u + 64 * 64 + 64 + 3;  // level-5 slot 0: nodes down to a 3-word piece
  VMObjectBase* o = VMObjectBase::CreateInstance(heap, n, jallocFailFast, kTag);
  ASSERT_NE(nullptr, o);
  EXPECT_EQ(232, o->GetNumberOfElements());
  for (uint32_t i = 0; i < n; i++) o->SetWord(i, Pattern(i));
  uint32_t bad = 0;
  for (uint32_t i = 0; i < n; i++) bad += o->GetWord(i) != Pattern(i);
  EXPECT_EQ(0u, bad);
  // A long across the level-4/level-5 seam, and the last piece.
  o->SetLong(68175299u, 0x0102030405060708LL);
  EXPECT_EQ(0x0102030405060708LL, o->GetLong(68175299u));
  EXPECT_EQ(0x01020304u, o->GetWord(68175300u));
  VMObjectBase::VMLocation where;
  o->LocateElement(n - 1, where);
  EXPECT_EQ(2u, where.index);
  o->Destroy(heap);
}

}  // namespace
