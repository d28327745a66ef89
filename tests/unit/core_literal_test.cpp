/* Literals: interning per name space, character-level operations, copies out, and
   interning from several threads and under refused allocations. */
#include <gtest/gtest.h>

#include <string.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core_support.h"

using core_test::CoreTest;

namespace {

std::string Text(VMLiteral* l) {
  std::string s(l->UTF8Length(), '\0');
  l->ReadBytes(0, l->UTF8Length(), &s[0]);
  return s;
}

class CoreLiteral : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    MakeNameSpace(64, 64);
  }
};

TEST_F(CoreLiteral, EqualTextsInternToOneLiteralPerNameSpace) {
  VMLiteral* a = Lit("java/lang/Object");
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(a, Lit("java/lang/Object"));
  EXPECT_EQ(a, VMLiteral::CreateInstance(ns, "java/lang/Object;junk", 16));
  EXPECT_NE(a, Lit("java/lang/Objec"));
  EXPECT_EQ(VMTag_VMLiteral, a->GetTag());
  EXPECT_TRUE(a->GetIsScalarArray());
  EXPECT_TRUE(a->GetIsNameSpaceData());
  EXPECT_EQ(16u, a->UTF8Length());
  EXPECT_EQ(VMLiteral::HashUTF8("java/lang/Object", 16), a->GetHash());

  /* A second name space has literals of its own. */
  VMNameSpace* first = ns;
  HHeap* firstHeap = nsHeap;
  HHeap* otherHeap = host->HeapCreate(nullptr, 1);
  nsHeap = otherHeap;
  MakeNameSpace(16, 16);
  VMLiteral* b = Lit("java/lang/Object");
  ASSERT_NE(nullptr, b);
  EXPECT_NE(a, b);
  EXPECT_TRUE(a->Equals(b));
  DestroyNameSpace();
  EXPECT_EQ(0u, refhost::BlocksInUse(otherHeap));
  host->HeapDestroy(otherHeap);
  ns = first;
  nsHeap = firstHeap;
}

TEST_F(CoreLiteral, InvalidTextAndMissingTablesGiveNull) {
  EXPECT_EQ(nullptr, Lit("abc\xE4\xB8"));
  EXPECT_EQ(nullptr, VMLiteral::CreateInstance(ns, "\xC3\xA9", 1));
  VMLiteralHashTable* table = ns->GetLiteralHashTable();
  ns->SetLiteralHashTable(nullptr);
  EXPECT_EQ(nullptr, Lit("abc"));
  ns->SetLiteralHashTable(table);
}

TEST_F(CoreLiteral, CharactersOfModifiedUTF8) {
  VMLiteral* nul = Lit("\xC0\x80");
  ASSERT_NE(nullptr, nul);
  EXPECT_EQ(1u, nul->GetCount());
  EXPECT_EQ(2u, nul->UTF8Length());
  EXPECT_EQ(0, nul->GetFirstChar());

  VMLiteral* l = Lit("a\xC3\xA9\xE4\xB8\xAD\xED\xA0\xBD\xED\xB8\x80");  // a é 中 and a pair
  ASSERT_NE(nullptr, l);
  EXPECT_EQ(5u, l->GetCount());
  EXPECT_EQ('a', l->GetFirstChar());
  VMLiteralIterator it(l);
  const jchar expect[] = {'a', 0xE9, 0x4E2D, 0xD83D, 0xDE00};
  for (jchar c : expect) {
    ASSERT_TRUE(it.HasMoreChars());
    EXPECT_EQ(c, it.PeekChar());
    EXPECT_EQ(c, it.NextChar());
  }
  EXPECT_FALSE(it.HasMoreChars());
  EXPECT_EQ(5u, it.GetNextIndex());
  EXPECT_EQ(12u, it.GetNextBytePosition());
  // Past the end nothing is read and nothing moves.
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(0, it.PeekChar());
    EXPECT_EQ(0, it.NextChar());
  }
  EXPECT_EQ(5u, it.GetNextIndex());
  EXPECT_EQ(12u, it.GetNextBytePosition());
  VMLiteralIterator none(nullptr);
  EXPECT_EQ(0, none.NextChar());
  EXPECT_EQ(0u, none.GetNextIndex());
  VMLiteralIterator copy(it);
  copy.Reset();
  EXPECT_EQ(0u, copy.GetNextIndex());
  EXPECT_EQ(0u, copy.GetNextBytePosition());
  EXPECT_EQ(l, copy.GetLiteral());
  EXPECT_FALSE(VMLiteralIterator(nullptr).HasMoreChars());

  EXPECT_EQ(0, Lit("")->GetFirstChar());
  EXPECT_EQ(0u, Lit("")->GetCount());
}

TEST_F(CoreLiteral, UnvalidatedBytesNeverReadPastTheEnd) {
  VMbyteArray* bytes = VMbyteArray::CreateInstance(nsHeap, 2, jallocFailFast, VMTag_VMbyteArray);
  ASSERT_NE(nullptr, bytes);
  bytes->Set(0, 'x');
  bytes->Set(1, (jbyte)0xE4);  // announces two more bytes that are not there
  VMLiteral* l = VMLiteral::CreateInstance(ns, bytes);
  ASSERT_NE(nullptr, l);
  EXPECT_EQ(2u, l->UTF8Length());
  EXPECT_EQ(2u, l->GetCount());
  VMLiteralIterator it(l);
  it.NextChar();
  EXPECT_EQ(0x4000, it.NextChar());
  EXPECT_EQ(2u, it.GetNextBytePosition());
  EXPECT_FALSE(it.HasMoreChars());
  EXPECT_EQ(l, VMLiteral::CreateInstance(ns, bytes));  // interned like any other
  bytes->Destroy(nsHeap);
}

TEST_F(CoreLiteral, EqualityTests) {
  VMLiteral* a = Lit("abc");
  EXPECT_TRUE(a->EqualsAscii("abc"));
  EXPECT_FALSE(a->EqualsAscii("abd"));
  EXPECT_FALSE(a->EqualsAscii("ab"));
  EXPECT_FALSE(Lit("ab\xC3\xA9")->EqualsAscii("ab\xC3"));  // not valid text
  EXPECT_TRUE(a->equalsUTF8("abcdef", 3));
  EXPECT_FALSE(a->equalsUTF8("abcdef", 4));
  EXPECT_TRUE(a->Equals(a));
  EXPECT_FALSE(a->Equals(Lit("abd")));
}

TEST_F(CoreLiteral, ConcatAndSubstring) {
  VMLiteral* empty = Lit("");
  VMLiteral* ab = Lit("ab");
  EXPECT_EQ(ab, ab->Concat(ns, empty));
  EXPECT_EQ(ab, empty->Concat(ns, ab));
  EXPECT_EQ(Lit("ab\xE4\xB8\xAD"), ab->Concat(ns, Lit("\xE4\xB8\xAD")));

  VMLiteral* l = Lit("a\xC3\xA9\xE4\xB8\xAD" "b");
  EXPECT_EQ(empty, l->Substring(ns, 0, 0));
  EXPECT_EQ(empty, l->Substring(ns, 9, 2));
  EXPECT_EQ(Lit("\xC3\xA9\xE4\xB8\xAD"), l->Substring(ns, 1, 2));
  EXPECT_EQ(Lit("\xE4\xB8\xAD" "b"), l->Substring(ns, 2, 100));
  EXPECT_EQ(l, l->Substring(ns, 0, 4));
}

TEST_F(CoreLiteral, PiecesOfText) {
  VMLiteral* l = Lit("a\xE4\xB8\xAD" "bc");
  char buffer[8];
  uint32_t written = 99;
  /* Room 4: one character per call, a three-byte one included. */
  EXPECT_EQ(1u, l->GetUTF8Piece(buffer, 4, written, 0));
  EXPECT_EQ(1u, written);
  EXPECT_EQ(2u, l->GetUTF8Piece(buffer, 4, written, 1));
  EXPECT_EQ(3u, written);
  EXPECT_EQ(0, memcmp(buffer, "\xE4\xB8\xAD", 3));
  EXPECT_EQ(3u, l->GetUTF8Piece(buffer, 4, written, 2));
  EXPECT_EQ(4u, l->GetUTF8Piece(buffer, 4, written, 3));  // the last character
  EXPECT_EQ(1u, written);
  EXPECT_EQ('c', buffer[0]);
  EXPECT_EQ(0u, l->GetUTF8Piece(buffer, 4, written, 4));  // the end
  EXPECT_EQ(0u, written);
  /* Room 3 copies nothing. */
  EXPECT_EQ(2u, l->GetUTF8Piece(buffer, 3, written, 2));
  EXPECT_EQ(0u, written);
  EXPECT_EQ(0u, l->GetUTF8Piece(buffer, 3, written, 4));
  EXPECT_EQ(0u, l->GetUTF8Piece(buffer, 8, written, 9));
  /* A large room takes everything in one call; NUL is re-encoded as C0 80. */
  VMLiteral* nul = Lit("x\xC0\x80");
  EXPECT_EQ(0u, nul->GetUTF8Piece(buffer, 8, written, 0));
  EXPECT_EQ(3u, written);
}

TEST_F(CoreLiteral, CopiesForTheHost) {
  VMLiteral* l = Lit("java/lang/String");
  char* copy = l->MakeUTF8();
  ASSERT_NE(nullptr, copy);
  EXPECT_STREQ("java/lang/String", copy);
  VMLiteral::FreeUTF8(copy);

  std::string big(10300, 'q');
  VMLiteral* large = Lit(big.c_str());
  ASSERT_NE(nullptr, large);
  refhost::SetMaxAllocSize(10300);
  EXPECT_EQ(nullptr, large->MakeUTF8());  // length + 1 exceeds the largest block
  refhost::SetMaxAllocSize(10301);
  copy = large->MakeUTF8();
  ASSERT_NE(nullptr, copy);
  EXPECT_EQ(big, std::string(copy));
  VMLiteral::FreeUTF8(copy);
}

TEST_F(CoreLiteral, LongLiteralsSpanPieces) {
  std::string text;
  for (int i = 0; text.size() < 3000; i++) text += (i % 3 == 0) ? "\xE4\xB8\xAD" : (i % 3 == 1 ? "x" : "\xC3\xA9");
  VMLiteral* l = Lit(text.c_str());
  ASSERT_NE(nullptr, l);
  EXPECT_FALSE(l->GetIsContiguous());
  EXPECT_EQ(text, Text(l));
  EXPECT_EQ(VMLiteral::HashUTF8(text.data(), (uint32_t)text.size()), l->GetHash());
  EXPECT_EQ(VMLiteral::UnicodeLength(text.data(), (uint32_t)text.size()), l->GetCount());
  EXPECT_EQ(l, Lit(text.c_str()));
  VMLiteral* tail = l->Substring(ns, 1000, 5000);
  ASSERT_NE(nullptr, tail);
  VMLiteralIterator it(l);
  for (int i = 0; i < 1000; i++) it.NextChar();
  EXPECT_EQ(text.substr(it.GetNextBytePosition()), Text(tail));
  char* copy = l->MakeUTF8();
  EXPECT_EQ(text, std::string(copy));
  VMLiteral::FreeUTF8(copy);
}

/* ASCII is read in line from a literal's first part; everything else, and every byte
   past the first part, is decoded. Characters of one, two and three bytes (and the two
   bytes of character 0) laid just before, across and after the end of the first part
   read the same as an independent decoding of the text, position for position. */
TEST_F(CoreLiteral, TheIteratorReadsEveryCharacterAroundTheEndOfTheFirstPart) {
  const uint32_t firstPart = VMArray::FIRST_PART_BYTES;
  for (uint32_t lead = firstPart - 8; lead <= firstPart + 2; lead++) {
    std::string text(lead, 'a');
    text += "\xC3\xA9" "b" "\xE4\xB8\xAD" "c" "\xC0\x80" "d";
    text += std::string(40, 'z') + "\xE4\xB8\xAD" + "q";
    VMLiteral* l = Lit(text.c_str());
    ASSERT_NE(nullptr, l);
    ASSERT_FALSE(l->GetIsContiguous());
    std::vector<jchar> chars;
    std::vector<uint32_t> starts;
    for (size_t i = 0; i < text.size();) {
      uint8_t b = (uint8_t)text[i];
      uint32_t n = b < 0x80 ? 1 : ((b & 0x20) == 0 ? 2 : 3);
      uint8_t b1 = n > 1 ? (uint8_t)text[i + 1] : 0, b2 = n > 2 ? (uint8_t)text[i + 2] : 0;
      jchar c = n == 1 ? b : n == 2 ? (jchar)(((b & 0x1F) << 6) | (b1 & 0x3F))
                                    : (jchar)(((b & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
      chars.push_back(c);
      starts.push_back((uint32_t)i);
      i += n;
    }
    VMLiteralIterator it(l);
    for (size_t k = 0; k < chars.size(); k++) {
      ASSERT_EQ(starts[k], it.GetNextBytePosition()) << "lead " << lead << ", character " << k;
      ASSERT_EQ(k, it.GetNextIndex());
      ASSERT_EQ(chars[k], it.PeekChar()) << "lead " << lead << ", character " << k;
      ASSERT_EQ(chars[k], it.NextChar()) << "lead " << lead << ", character " << k;
    }
    EXPECT_FALSE(it.HasMoreChars());
    EXPECT_EQ(text.size(), it.GetNextBytePosition());
    EXPECT_EQ(0, it.NextChar());
  }
}

/* ------------------------------------------------------------------------------------ */
/* Interning when the table cannot grow, and from several threads                        */

class CoreLiteralInterning : public CoreTest {};

/* Interning from text hashes in the same pass that validates; interning a byte array
   (and every rehash) hashes the literal's bytes: both must place a text at the same slot,
   or one text would be interned twice. Random texts with zeros and high bytes, through
   rehashes from 5 slots to thousands. */
TEST_F(CoreLiteralInterning, TextAndByteArraysMeetAtOneLiteralAcrossRehashes) {
  MakeNameSpace(2, 2);
  std::mt19937 rng(7);
  std::vector<std::string> texts;
  std::vector<VMLiteral*> literals;
  for (int k = 0; k < 3000; k++) {
    uint32_t n = rng() % 24;
    std::string text(n, '\0');
    for (auto& c : text) {
      uint32_t r = rng() % 10;
      c = (char)(r == 0 ? 0 : r == 1 ? (0x80 | (rng() & 0x7F)) : ('a' + rng() % 26));
    }
    VMLiteral* l = VMLiteral::CreateInstance(ns, text.data(), n);
    if (l == nullptr) {
      ASSERT_EQ(VMInvalidUTF8Length, VMLiteral::UnicodeLength(text.data(), n));
      continue;
    }
    ASSERT_EQ(VMLiteral::HashUTF8(text.data(), n), l->GetHash());
    texts.push_back(text);
    literals.push_back(l);
  }
  ASSERT_GT(ns->GetLiteralHashTable()->GetHashSize(), 1000u);
  for (size_t i = 0; i < texts.size(); i++) {
    const std::string& text = texts[i];
    ASSERT_EQ(literals[i], VMLiteral::CreateInstance(ns, text.data(), (uint32_t)text.size()));
    VMbyteArray* bytes = VMbyteArray::CreateInstance(nsHeap, (uint32_t)text.size(), jallocFailFast,
                                                     VMTag_VMbyteArray);
    ASSERT_NE(nullptr, bytes);
    for (uint32_t j = 0; j < text.size(); j++) bytes->Set(j, (jbyte)text[j]);
    ASSERT_EQ(literals[i], VMLiteral::CreateInstance(ns, bytes));
    bytes->Destroy(nsHeap);
  }
}

/* Bytes of a class file whose text is interned already come back as that literal with
   nothing made; texts that differ only past a NUL (the hash stops there) or only in
   their last byte, and texts on both sides of the end of the first part, stay apart. */
TEST_F(CoreLiteralInterning, ByteArraysFindTheirLiteralByEveryByte) {
  MakeNameSpace(64, 64);
  auto bytesOf = [&](const std::string& text) {
    VMbyteArray* bytes = VMbyteArray::CreateInstance(nsHeap, (uint32_t)text.size(), jallocFailFast,
                                                     VMTag_VMbyteArray);
    for (uint32_t j = 0; bytes != nullptr && j < text.size(); j++) bytes->Set(j, (jbyte)text[j]);
    return bytes;
  };
  std::vector<std::string> texts = {std::string("ab\0c", 4), std::string("ab\0d", 4), std::string("ab\0", 3),
                                    "ab", "abc", "abd", ""};
  for (uint32_t n = 770; n <= 780; n++) {
    texts.push_back(std::string(n, 'x'));
    texts.push_back(std::string(n - 1, 'x') + "y");
  }
  std::vector<VMLiteral*> first;
  for (const std::string& text : texts) {
    VMbyteArray* bytes = bytesOf(text);
    ASSERT_NE(nullptr, bytes);
    VMLiteral* l = VMLiteral::CreateInstance(ns, bytes);
    ASSERT_NE(nullptr, l) << text.size();
    EXPECT_EQ(text, Text(l));
    for (VMLiteral* other : first) EXPECT_NE(other, l) << text.size();
    first.push_back(l);
    bytes->Destroy(nsHeap);
  }
  for (int pass = 0; pass < 2; pass++) {
    for (size_t i = 0; i < texts.size(); i++) {
      VMbyteArray* bytes = bytesOf(texts[i]);
      ASSERT_NE(nullptr, bytes);
      uint32_t blocks = refhost::BlocksInUse(nsHeap);
      uint64_t made = refhost::AllocationCount();
      EXPECT_EQ(first[i], VMLiteral::CreateInstance(ns, bytes)) << texts[i].size();
      EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap));
      if (texts[i].size() <= VMArray::FIRST_PART_BYTES) {
        EXPECT_EQ(made, refhost::AllocationCount()) << texts[i].size();
      }
      bytes->Destroy(nsHeap);
      if (texts[i].find('\0') == std::string::npos) {
        EXPECT_EQ(first[i], VMLiteral::CreateInstance(ns, texts[i].data(), (uint32_t)texts[i].size()));
      }
    }
  }
}

TEST_F(CoreLiteralInterning, AFullTableRefusesWithoutFreeingWhatItHolds) {
  MakeNameSpace(2, 2);  // 5 slots
  VMLiteralHashTable* table = ns->GetLiteralHashTable();
  /* Literals of a few bytes can still be made; no entry or index array can. */
  refhost::FailAllocationsAbove(40);
  std::vector<VMLiteral*> held;
  std::vector<std::string> names;
  int refused = 0;
  for (int i = 0; i < 10; i++) {
    std::string name = "n" + std::to_string(i);
    VMLiteral* l = Lit(name.c_str());
    if (l == nullptr) {
      refused++;
      continue;
    }
    held.push_back(l);
    names.push_back(name);
  }
  EXPECT_EQ(4u, held.size());
  EXPECT_EQ(6, refused);
  uint32_t blocks = refhost::BlocksInUse(nsHeap);
  EXPECT_EQ(nullptr, Lit("n9"));  // a refused literal is not left behind
  EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap));
  for (size_t i = 0; i < held.size(); i++) {
    EXPECT_EQ(held[i], Lit(names[i].c_str()));
    EXPECT_EQ(names[i], Text(held[i]));
  }
  refhost::FailAllocationsAbove(0);
  for (int i = 0; i < 50; i++) ASSERT_NE(nullptr, Lit(("m" + std::to_string(i)).c_str()));
  EXPECT_EQ(54u, table->GetFilled());
  for (size_t i = 0; i < held.size(); i++) EXPECT_EQ(held[i], Lit(names[i].c_str()));
}

TEST_F(CoreLiteralInterning, RefusedAllocationsDuringGrowthLoseNothing) {
  // A refused growth gives back its half-made arrays at once: the heaps end empty.
  MakeNameSpace(20, 16);
  std::vector<std::string> names;
  std::vector<VMLiteral*> got;
  for (int i = 0; i < 1500; i++) {
    std::string name = "pkg/Class" + std::to_string(i * 7919);
    refhost::FailNthAllocation(i % 3 == 2 ? 0 : 1 + (i / 3) % 25);
    VMLiteral* l = Lit(name.c_str());
    refhost::FailNthAllocation(0);
    if (l == nullptr) continue;
    ASSERT_EQ(name, Text(l));
    names.push_back(name);
    got.push_back(l);
  }
  EXPECT_GT(names.size(), 1000u);
  VMLiteralHashTable* table = ns->GetLiteralHashTable();
  EXPECT_EQ(names.size(), table->GetFilled());
  EXPECT_GT(table->GetHashSize(), 2000u);
  for (size_t i = 0; i < names.size(); i++) {
    ASSERT_EQ(got[i], Lit(names[i].c_str())) << names[i];
    ASSERT_NE(VM_DESTROYED_TAG, got[i]->GetTag());
  }
}

/* The interning that reaches the table's threshold rehashes it (a slot array of a block
   and pieces). Refusing each allocation of that interning in turn, on a fresh name space:
   the first refusal (the literal itself) gives NULL and changes nothing; any later one
   still gives the literal, which the table holds and which is never freed. */
TEST_F(CoreLiteralInterning, ARefusalAtEachStepOfARehashLosesNothing) {
  auto name = [](int i) { return "q/Rehash" + std::to_string(i * 31); };
  const int kBefore = 105;  // a table of 211 slots rehashes at its 106th entry
  uint32_t steps = 0;
  {
    MakeNameSpace(200, 16);
    for (int i = 0; i < kBefore; i++) ASSERT_NE(nullptr, Lit(name(i).c_str()));
    uint64_t start = refhost::AllocationCount();
    ASSERT_NE(nullptr, Lit(name(kBefore).c_str()));
    steps = (uint32_t)(refhost::AllocationCount() - start);
    ASSERT_GT(ns->GetLiteralHashTable()->GetHashSize(), 211u);
    DestroyNameSpace();
  }
  ASSERT_GE(steps, 5u);
  for (uint32_t k = 1; k <= steps; k++) {
    MakeNameSpace(200, 16);
    std::vector<VMLiteral*> held;
    for (int i = 0; i < kBefore; i++) held.push_back(Lit(name(i).c_str()));
    uint32_t blocks = refhost::BlocksInUse(nsHeap);
    refhost::FailNthAllocation(k);
    VMLiteral* added = Lit(name(kBefore).c_str());
    refhost::FailNthAllocation(0);
    VMLiteralHashTable* table = ns->GetLiteralHashTable();
    if (k == 1) {
      EXPECT_EQ(nullptr, added);
      EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap));
      EXPECT_EQ((uint32_t)kBefore, table->GetFilled());
    } else {
      ASSERT_NE(nullptr, added) << "refused step " << k;
      EXPECT_EQ(211u, table->GetHashSize()) << k;
      EXPECT_EQ(blocks + 1, refhost::BlocksInUse(nsHeap)) << "refused step " << k;  // the literal
      held.push_back(added);
    }
    for (size_t i = 0; i < held.size(); i++) {
      ASSERT_NE(VM_DESTROYED_TAG, held[i]->GetTag()) << k;
      ASSERT_EQ(held[i], Lit(name((int)i).c_str())) << "refused step " << k;
    }
    /* Memory is back: the next interning completes the rehash. */
    ASSERT_NE(nullptr, Lit(name(kBefore + 1).c_str()));
    EXPECT_GT(table->GetHashSize(), 211u);
    for (size_t i = 0; i < held.size(); i++) ASSERT_EQ(held[i], Lit(name((int)i).c_str()));
    DestroyNameSpace();
  }
}

/* Interning a literal the table already holds is an ordinary call; when the table's lock
   is refused it fails, but must leave the literal alone, since it cannot tell that the
   table holds it. Literals made for an interning (concatenations, substrings, copies of
   byte arrays) are given back instead, since nothing else holds them. */
TEST_F(CoreLiteralInterning, ARefusedTableLockNeverFreesALiteralTheTableHolds) {
  MakeNameSpace(64, 64);
  VMLiteral* held = Lit("java/lang/Object");
  ASSERT_NE(nullptr, held);
  ASSERT_EQ(held, held->Intern(ns));
  VMLiteral* part = Lit("java/");
  VMLiteral* rest = Lit("lang/String");
  VMbyteArray* bytes = VMbyteArray::CreateInstance(nsHeap, 3, jallocFailFast, VMTag_VMbyteArray);
  for (uint32_t i = 0; i < 3; i++) bytes->Set(i, (jbyte)"abc"[i]);
  VMLiteralHashTable* table = ns->GetLiteralHashTable();
  uint32_t filled = table->GetFilled();
  uint32_t blocks = refhost::BlocksInUse(nsHeap);

  VMUtils::SetHostFunctions(core_test::RefusingLocksTable());
  core_test::Refusals().spinAcquires = 1;
  VMLiteral* again = held->Intern(ns);
  core_test::Refusals().spinAcquires = 1;
  VMLiteral* joined = part->Concat(ns, rest);
  core_test::Refusals().spinAcquires = 1;
  VMLiteral* piece = held->Substring(ns, 5, 4);
  core_test::Refusals().spinAcquires = 1;
  VMLiteral* copied = VMLiteral::CreateInstance(ns, bytes);
  VMUtils::SetHostFunctions(refhost::Functions());

  EXPECT_EQ(nullptr, again);
  EXPECT_EQ(nullptr, joined);
  EXPECT_EQ(nullptr, piece);
  EXPECT_EQ(nullptr, copied);
  EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap)) << "a literal was freed, or one made was kept";
  ASSERT_EQ(VMTag_VMLiteral, held->GetTag());
  EXPECT_EQ("java/lang/Object", Text(held));
  EXPECT_EQ(filled, table->GetFilled());
  EXPECT_EQ(held, Lit("java/lang/Object"));
  // With the lock back, the same calls intern as usual.
  EXPECT_EQ(held, held->Intern(ns));
  EXPECT_EQ(Lit("java/lang/String"), part->Concat(ns, rest));
  EXPECT_EQ(Lit("lang"), held->Substring(ns, 5, 4));
  EXPECT_EQ(Lit("abc"), VMLiteral::CreateInstance(ns, bytes));
  bytes->Destroy(nsHeap);
}

/* A host that records which threads wait on events. */
JNIHostFunctions watchingWaits;
std::mutex waitersLock;
std::set<std::thread::id> waitingThreads;
jint HOSTCALL RecordingEventWait(void* event, jlong ms) {
  {
    std::lock_guard<std::mutex> hold(waitersLock);
    waitingThreads.insert(std::this_thread::get_id());
  }
  return refhost::Functions()->EventWait(event, ms);
}

/* Threads that find the table growing wait on its event, which releases one waiter per
   post: the end of the growth must post for every one of them, or all but one sleep out
   their 100 ms step (for each growth, in every class loader of a server). The growth is
   held open until every thread waits, so the waiting path runs on any number of CPUs. */
TEST_F(CoreLiteralInterning, TheEndOfAGrowthWakesEveryWaiter) {
  MakeNameSpace(64, 64);
  VMLiteralHashTable* table = ns->GetLiteralHashTable();
  const int kThreads = 6;
  ASSERT_TRUE(table->Lock(false));  // a growth under way, as an inserting thread starts one
  table->SetIsbeingAllocated();
  table->relSpinlock();
  waitingThreads.clear();
  watchingWaits = *refhost::Functions();
  watchingWaits.EventWait = RecordingEventWait;
  VMUtils::SetHostFunctions(&watchingWaits);
  uint32_t posts = refhost::EventPostCount();
  std::vector<VMLiteral*> got(kThreads);
  std::vector<std::thread> threads;
  VMNameSpace* space = ns;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      std::string name = "w/" + std::to_string(t);
      got[t] = VMLiteral::CreateInstance(space, name.c_str(), (uint32_t)name.size());
    });
  }
  for (int i = 0; i < 2000; i++) {
    {
      std::lock_guard<std::mutex> hold(waitersLock);
      if (waitingThreads.size() == (size_t)kThreads) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  {
    std::lock_guard<std::mutex> hold(waitersLock);
    EXPECT_EQ((size_t)kThreads, waitingThreads.size());
  }
  table->UnlockOrNotify(true);  // the growth ends
  for (auto& t : threads) t.join();
  VMUtils::SetHostFunctions(refhost::Functions());
  EXPECT_GE(refhost::EventPostCount() - posts, (uint32_t)kThreads)
      << "the end of the growth released fewer threads than were waiting";
  EXPECT_FALSE(table->GetIsbeingAllocated());
  for (int t = 0; t < kThreads; t++) {
    ASSERT_NE(nullptr, got[t]);
    EXPECT_EQ(got[t], Lit(("w/" + std::to_string(t)).c_str()));
  }
}

/* Names with two-byte characters, the encoded zero and surrogate pairs mixed in. */
std::string SharedName(int i) {
  std::string s = "r/" + std::to_string(i * 2654435761u);
  if (i % 3 == 0) s += "\xC3\xA9";
  if (i % 5 == 0) s += "\xC0\x80";
  if (i % 7 == 0) s += "\xED\xA0\xBD\xED\xB8\x80";
  return s;
}

/* Eight threads intern the same names, each by every path that interns (text, a byte
   array, a concatenation, a substring), into a table that starts at 5 slots and so grows
   while they do; with allocations refused here and there in the second round. Every
   thread gets the one literal of each name, the table holds no duplicate and no freed
   literal, and every entry is found at its own index. */
TEST_F(CoreLiteralInterning, EightThreadsInternByEveryPathWhileTheTableGrows) {
  const int kThreads = 8, kNames = 3001;
  for (int round = 0; round < 2; round++) {
    MakeNameSpace(2, 2);
    VMNameSpace* space = ns;
    HHeap* heap = nsHeap;
    std::vector<std::vector<VMLiteral*>> seen(kThreads, std::vector<VMLiteral*>(kNames));
    std::atomic<int> go{0};
    std::vector<std::thread> workers;
    if (round == 1) refhost::FailEveryNthAllocation(7);
    for (int t = 0; t < kThreads; t++) {
      workers.emplace_back([&, t] {
        while (go.load() == 0) std::this_thread::yield();
        for (int k = 0; k < kNames; k++) {
          int i = (k * (2 * t + 1) + t * 977) % kNames;
          std::string s = SharedName(i);
          VMLiteral* l = nullptr;
          switch ((i + t) % 4) {
            case 0:
              l = VMLiteral::CreateInstance(space, s.c_str(), (uint32_t)s.size());
              break;
            case 1: {
              VMbyteArray* b = VMbyteArray::CreateInstance(heap, (uint32_t)s.size(), jallocFailFast,
                                                           VMTag_VMbyteArray);
              if (b == nullptr) break;
              for (uint32_t j = 0; j < s.size(); j++) b->Set(j, (jbyte)s[j]);
              l = VMLiteral::CreateInstance(space, b);
              b->Destroy(heap);
              break;
            }
            case 2: {
              VMLiteral* a = VMLiteral::CreateInstance(space, s.c_str(), 2);
              VMLiteral* rest = VMLiteral::CreateInstance(space, s.c_str() + 2, (uint32_t)s.size() - 2);
              l = (a && rest) ? a->Concat(space, rest) : nullptr;
              break;
            }
            case 3: {
              std::string longer = "zz" + s;
              VMLiteral* w = VMLiteral::CreateInstance(space, longer.c_str(), (uint32_t)longer.size());
              l = w ? w->Substring(space, 2, 0x7FFFFFFF) : nullptr;
              break;
            }
          }
          seen[t][i] = l;
        }
      });
    }
    go = 1;
    for (auto& w : workers) w.join();
    refhost::FailEveryNthAllocation(0);

    VMLiteralHashTable* table = ns->GetLiteralHashTable();
    EXPECT_FALSE(table->GetIsbeingAllocated());
    std::set<std::string> texts;
    for (uint32_t e = 0; e < table->GetFilled(); e++) {
      VMLiteral* l = (VMLiteral*)table->Get(e);
      ASSERT_NE(nullptr, l) << e;
      ASSERT_NE(VM_DESTROYED_TAG, l->GetTag()) << e;
      ASSERT_TRUE(texts.insert(Text(l)).second) << "duplicate literal " << Text(l);
      ASSERT_EQ(e, table->Find(l));
    }
    for (int i = 0; i < kNames; i++) {
      VMLiteral* l = Lit(SharedName(i).c_str());
      ASSERT_NE(nullptr, l);
      for (int t = 0; t < kThreads; t++) {
        if (round == 0) {
          ASSERT_NE(nullptr, seen[t][i]) << i;
        }
        if (seen[t][i] != nullptr) {
          ASSERT_EQ(l, seen[t][i]) << "round " << round << " name " << i;
        }
      }
    }
    DestroyNameSpace();
  }
}

TEST_F(CoreLiteralInterning, FourThreadsInternTheSameAndTheirOwnNames) {
  MakeNameSpace(0x400, 16);  // small, so that the table rehashes several times
  const int kThreads = 4, kShared = 6000, kOwn = 1000;
  auto shared = [](int i) {
    return "corvane/shared/N" + std::to_string(i) + (i % 5 == 0 ? "\xC3\xA9" : "");
  };
  std::vector<std::vector<VMLiteral*>> seen(kThreads, std::vector<VMLiteral*>(kShared));
  std::vector<std::vector<VMLiteral*>> own(kThreads, std::vector<VMLiteral*>(kOwn));
  std::vector<std::thread> workers;
  VMNameSpace* space = ns;
  for (int t = 0; t < kThreads; t++) {
    workers.emplace_back([&, t] {
      for (int k = 0; k < kShared + kOwn; k++) {
        /* Each thread walks the shared names in its own order, its own names mixed in. */
        if (k % 7 == 3 && k / 7 < kOwn) {
          int j = k / 7;
          std::string name = "t" + std::to_string(t) + "/own/" + std::to_string(j);
          own[t][j] = VMLiteral::CreateInstance(space, name.c_str(), 0xFFFFFFFFu);
        }
        if (k < kShared) {
          int i = t == 0 ? k : t == 1 ? kShared - 1 - k : t == 2 ? (k * 7) % kShared
                                                                  : (k * 11 + 17) % kShared;
          seen[t][i] = VMLiteral::CreateInstance(space, shared(i).c_str(), 0xFFFFFFFFu);
        }
      }
    });
  }
  for (auto& w : workers) w.join();

  VMLiteralHashTable* table = ns->GetLiteralHashTable();
  EXPECT_EQ((uint32_t)(kShared + kThreads * kOwn), table->GetFilled());
  EXPECT_GT(table->GetHashSize(), 16000u);
  for (int i = 0; i < kShared; i++) {
    ASSERT_NE(nullptr, seen[0][i]);
    for (int t = 1; t < kThreads; t++) ASSERT_EQ(seen[0][i], seen[t][i]) << i;
    ASSERT_EQ(seen[0][i], Lit(shared(i).c_str()));
    ASSERT_EQ(shared(i), Text(seen[0][i]));
  }
  for (int t = 0; t < kThreads; t++) {
    for (int j = 0; j < kOwn; j++) {
      std::string name = "t" + std::to_string(t) + "/own/" + std::to_string(j);
      ASSERT_NE(nullptr, own[t][j]);
      ASSERT_EQ(own[t][j], Lit(name.c_str()));
    }
  }
}

}  // namespace
