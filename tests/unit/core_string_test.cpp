/* Java strings: making them from literals, char arrays and C text, the pool of interned
   strings of a name space, and conversions back to modified UTF-8. */
#include <gtest/gtest.h>

#include <string.h>

#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core_support.h"

using core_test::CoreTest;

namespace {

std::u16string Chars(VMJavaLangString* s) {
  std::u16string out;
  for (uint32_t i = 0; i < s->GetCount(); i++) out += (char16_t)s->Get(i);
  return out;
}

std::string Utf8(VMJavaLangString* s) {
  char* block = s->MakeUTF8();
  std::string out = block != nullptr ? block : "<null>";
  VMJavaLangString::FreeUTF8(block);
  return out;
}

class CoreString : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    MakeNameSpace(64, 64);
    MakeStringClasses();
    Attach();
  }
  /* A machine-heap string, destroyed with the test. */
  VMJavaLangString* Make(const char* text) {
    VMJavaLangString* s = VMJavaLangString::CreateInstance(env, text);
    if (s != nullptr) made.push_back(s);
    return s;
  }
  void TearDown() override {
    for (VMJavaLangString* s : made) s->Destroy(machineHeap);
    CoreTest::TearDown();
  }
  std::vector<VMJavaLangString*> made;
};

TEST_F(CoreString, AStringIsFourWordsWithItsClassAndACharArray) {
  VMJavaLangString* s = Make("ab");
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(VMTag_VMJavaLangString, s->GetTag());
  EXPECT_EQ((VMClass*)stringClass, s->GetClass());
  EXPECT_EQ(4, s->GetNumberOfElements());
  EXPECT_FALSE(s->GetIsNameSpaceData());
  VMcharArray* value = s->GetValue();
  EXPECT_EQ(VMTag_VMJavaLangStringCharacters, value->GetTag());
  EXPECT_EQ((VMClass*)charsClass, value->GetClass());
  EXPECT_EQ(0u, s->GetOffset());
  EXPECT_EQ(2u, s->GetCount());
  EXPECT_EQ(0u, s->GetHash());  // written only when interned
}

TEST_F(CoreString, FromLiteralsAndText) {
  VMJavaLangString* s = VMJavaLangString::CreateInstance(env, Lit("a\xC0\x80\xED\xA0\xBD\xED\xB8\x80"));
  ASSERT_NE(nullptr, s);
  made.push_back(s);
  EXPECT_EQ(std::u16string(u"a\0\xD83D\xDE00", 4), Chars(s));
  VMJavaLangString* t = Lit("x\xE4\xB8\xAD")->MakeVMJavaLangString(env);
  ASSERT_NE(nullptr, t);
  made.push_back(t);
  EXPECT_EQ(std::u16string(u"x\x4E2D"), Chars(t));
  EXPECT_EQ(nullptr, Make("bad\xE4"));
  EXPECT_EQ(std::u16string(u"caf\xE9"), Chars(Make("caf\xC3\xA9")));
}

TEST_F(CoreString, FromCharArrays) {
  VMcharArray* chars = VMcharArray::CreateInstance(machineHeap, 5, jallocFailFast, VMTag_VMcharArray);
  ASSERT_NE(nullptr, chars);
  for (uint32_t i = 0; i < 5; i++) chars->Set(i, (jchar)('a' + i));
  VMJavaLangString* whole = VMJavaLangString::CreateInstance(env, chars, 0);
  VMJavaLangString* tail = VMJavaLangString::CreateInstance(env, chars, 3);
  VMJavaLangString* none = VMJavaLangString::CreateInstance(env, chars, 5);
  VMJavaLangString* empty = VMJavaLangString::CreateInstance(env, (VMcharArray*)nullptr, 0);
  /* A start beyond the end would make a count of nearly 2^32 characters. */
  EXPECT_EQ(nullptr, VMJavaLangString::CreateInstance(env, chars, 6));
  EXPECT_EQ(nullptr, VMJavaLangString::CreateInstance(env, chars, 0xFFFFFFFFu));
  for (VMJavaLangString* s : {whole, tail, none, empty}) {
    ASSERT_NE(nullptr, s);
    made.push_back(s);
  }
  EXPECT_EQ(u"abcde", Chars(whole));
  EXPECT_EQ(u"de", Chars(tail));
  EXPECT_EQ(0u, none->GetCount());
  EXPECT_EQ(0u, empty->GetCount());
  EXPECT_NE(chars, whole->GetValue());  // copied
  chars->Destroy(machineHeap);
}

TEST_F(CoreString, HashEqualsAndLengths) {
  EXPECT_EQ(0u, Make("")->Hash());
  EXPECT_EQ(97u, Make("a")->Hash());
  EXPECT_EQ(3105u, Make("ab")->Hash());
  EXPECT_TRUE(Make("abc")->Equals(Make("abc")));
  EXPECT_FALSE(Make("abc")->Equals(Make("abd")));
  EXPECT_FALSE(Make("abc")->Equals(Make("ab")));

  EXPECT_EQ(2u, Make("\xC0\x80")->UTF8Length());
  EXPECT_EQ(2u, Make("\xDF\xBF")->UTF8Length());
  EXPECT_EQ(3u, Make("\xE0\xA0\x80")->UTF8Length());
  EXPECT_EQ("\xE0\xA0\x80", Utf8(Make("\xE0\xA0\x80")));
  EXPECT_EQ(std::string("a\xC0\x80z"), Utf8(Make("a\xC0\x80z")));

  refhost::SetMaxAllocSize(10240);
  std::string big(10240, 'w');
  EXPECT_EQ(nullptr, Make(big.c_str())->MakeUTF8());
  EXPECT_EQ(nullptr, Make(big.c_str())->MakeVMLiteral(ns));
  big.pop_back();
  EXPECT_EQ(big, Utf8(Make(big.c_str())));
}

TEST_F(CoreString, PiecesNeverRunPastTheRoom) {
  VMJavaLangString* s = Make("ab\xE4\xB8\xAD");
  ASSERT_NE(nullptr, s);
  uint32_t written = 99;
  for (uint32_t room = 0; room < 3; room++) {
    /* A buffer of exactly room bytes: the sanitizer sees any write past it. */
    std::unique_ptr<char[]> buffer(new char[room]);
    EXPECT_EQ(1u, s->GetUTF8Piece(buffer.get(), room, written, 1));
    EXPECT_EQ(0u, written);
    /* From the start such a room answers 0, which reads as the end: nothing is written,
       and callers must offer 3 bytes or more. */
    written = 99;
    EXPECT_EQ(0u, s->GetUTF8Piece(buffer.get(), room, written, 0));
    EXPECT_EQ(0u, written);
  }
  std::unique_ptr<char[]> three(new char[3]);
  EXPECT_EQ(1u, s->GetUTF8Piece(three.get(), 3, written, 0));
  EXPECT_EQ(1u, written);
  EXPECT_EQ(3u, s->GetUTF8Piece(three.get(), 3, written, 2));
  EXPECT_EQ(3u, written);
  EXPECT_EQ(0, memcmp(three.get(), "\xE4\xB8\xAD", 3));
  EXPECT_EQ(0u, s->GetUTF8Piece(three.get(), 3, written, 3));
  char four[4];
  EXPECT_EQ(2u, s->GetUTF8Piece(four, 4, written, 0));
  EXPECT_EQ(2u, written);
  EXPECT_EQ(0, memcmp(four, "ab", 2));
}

TEST_F(CoreString, InterningReturnsOneNameSpaceStringPerText) {
  VMJavaLangString* a = Make("hello");
  VMJavaLangString* b = Make("hello");
  VMJavaLangString* ia = a->Intern(ns);
  ASSERT_NE(nullptr, ia);
  EXPECT_NE(a, ia);
  EXPECT_TRUE(ia->GetIsNameSpaceData());
  EXPECT_EQ(ia->Hash(), ia->GetHash());
  EXPECT_EQ(ia, b->Intern(ns));
  EXPECT_EQ(ia, a->Intern(ns));
  EXPECT_EQ(ia, ia->Intern(ns));
  /* The given strings are left as they were. */
  EXPECT_EQ(0u, a->GetHash());
  EXPECT_EQ(u"hello", Chars(a));
  EXPECT_EQ(1u, ns->GetInternTable()->GetFilled());

  VMLiteral* hello = Lit("hello");
  uint32_t blocks = refhost::BlocksInUse(nsHeap);
  EXPECT_EQ(ia, VMJavaLangString::CreateIntern(ns, hello));
  EXPECT_EQ(blocks, refhost::BlocksInUse(nsHeap));  // the fresh copy was destroyed
  EXPECT_EQ(Lit("hello"), ia->MakeVMLiteral(ns));
}

TEST_F(CoreString, ACallersNameSpaceStringIsNeverDestroyedByIntern) {
  VMJavaLangString* pooled = VMJavaLangString::CreateIntern(ns, Lit("abc"));
  ASSERT_NE(nullptr, pooled);
  VMJavaLangString* mine = VMJavaLangString::allocate(ns, nsHeap, 3);
  ASSERT_NE(nullptr, mine);
  for (uint32_t i = 0; i < 3; i++) mine->GetValue()->Set(i, (jchar)('a' + i));
  EXPECT_EQ(pooled, mine->Intern(ns));
  EXPECT_EQ(VMTag_VMJavaLangString, mine->GetTag());
  EXPECT_EQ(u"abc", Chars(mine));
  mine->Destroy(nsHeap);
}

TEST_F(CoreString, NoStringTableGivesNullAndLeaksNothing) {
  VMJavaLangStringHashTable* table = ns->GetInternTable();
  ns->SetInternTable(nullptr);
  uint32_t blocks = refhost::BlocksInUse(nsHeap);
  EXPECT_EQ(nullptr, Make("x")->Intern(ns));
  EXPECT_EQ(nullptr, VMJavaLangString::CreateIntern(ns, Lit("x")));
  EXPECT_EQ(blocks + 1, refhost::BlocksInUse(nsHeap));  // only the literal "x"
  ns->SetInternTable(table);
}

/* Whatever text a literal accepts (overlong and stray bytes included, as the codec
   decodes by lead bytes only), the Java string made from it has the literal's
   characters, the literal made back from the string has them too, and both copy out the
   same bytes. */
TEST_F(CoreString, RandomTextsMakeTheSameCharactersBothWays) {
  std::mt19937 rng(3);
  for (int k = 0; k < 5000; k++) {
    uint32_t n = 1 + rng() % 12;
    std::string text(n, '\0');
    for (auto& c : text) c = (char)(rng() % 3 == 0 ? ('a' + rng() % 26) : (rng() & 0xFF));
    VMLiteral* l = VMLiteral::CreateInstance(ns, text.data(), n);
    if (l == nullptr) continue;
    uint32_t count = l->GetCount();
    ASSERT_EQ(VMLiteral::UnicodeLength(text.data(), n), count);
    VMJavaLangString* js = VMJavaLangString::CreateInstance(env, l);
    ASSERT_NE(nullptr, js);
    ASSERT_EQ(count, js->GetCount());
    if (memchr(text.data(), 0, n) == nullptr) {
      VMLiteral* back = js->MakeVMLiteral(ns);
      ASSERT_NE(nullptr, back);
      ASSERT_EQ(count, back->GetCount());
      VMLiteralIterator x(l), y(back);
      for (uint32_t i = 0; i < count; i++) ASSERT_EQ(x.NextChar(), y.NextChar()) << k;
    }
    char fromLiteral[64], fromString[64];
    uint32_t w1 = 0, w2 = 0;
    ASSERT_EQ(0u, l->GetUTF8Piece(fromLiteral, 64, w1, 0));
    ASSERT_EQ(0u, js->GetUTF8Piece(fromString, 64, w2, 0));
    ASSERT_EQ(w1, w2);
    ASSERT_EQ(0, memcmp(fromLiteral, fromString, w1));
    ASSERT_EQ(w1, js->UTF8Length());
    js->Destroy(machineHeap);
  }
}

/* Blocks on the machine heap as each request for it arrives. */
JNIHostFunctions watchingAllocs;
HHeap* watchedHeap = nullptr;
std::vector<uint32_t> blocksAtRequest;
void* HOSTCALL RecordingHeapAlloc(HHeap* heap, uint32_t size, jint kind) {
  if (heap == watchedHeap) blocksAtRequest.push_back(refhost::BlocksInUse(heap));
  return refhost::Functions()->HeapAlloc(heap, size, kind);
}

/* A string is two objects, the string and its characters. When either is refused, what
   was made is given back before the one collection the machine allows, and both are made
   again: no collection ever meets a string without its characters. */
TEST_F(CoreString, AStringRefusedPartWayIsGoneBeforeItsCollection) {
  watchedHeap = machineHeap;
  watchingAllocs = *refhost::Functions();
  watchingAllocs.HeapAlloc = RecordingHeapAlloc;
  const std::string longText(1000, 'q');  // characters in the block and in pieces
  struct Case {
    const char* text;
    uint32_t refused;  // which request is refused
    uint32_t requests; // requests of one complete making
  } cases[] = {{"refused once", 1, 2}, {"refused once", 2, 2}, {longText.c_str(), 3, 7}};
  for (const Case& c : cases) {
    uint32_t collections = VM::GetGarbageCollectRequests();
    uint32_t before = refhost::BlocksInUse(machineHeap);
    blocksAtRequest.clear();
    VMUtils::SetHostFunctions(&watchingAllocs);
    refhost::FailNthAllocation(c.refused);
    VMJavaLangString* s = VMJavaLangString::CreateInstance(env, c.text);
    VMUtils::SetHostFunctions(refhost::Functions());
    ASSERT_NE(nullptr, s) << c.refused;
    // Held by this test alone: the next case's collection would free it otherwise.
    s->SetIsReachableByCPlusPlusCode();
    made.push_back(s);
    EXPECT_EQ(c.text, Utf8(s));
    EXPECT_EQ(collections + 1, VM::GetGarbageCollectRequests());
    ASSERT_EQ(c.refused + c.requests, blocksAtRequest.size()) << c.refused;
    EXPECT_EQ(before + c.refused - 1, blocksAtRequest[c.refused - 1]);
    EXPECT_EQ(before, blocksAtRequest[c.refused]) << "a half-made string outlived its refusal";
  }
  // Refused again after the collection: nothing is left, and nothing more is collected.
  uint32_t collections = VM::GetGarbageCollectRequests();
  uint32_t before = refhost::BlocksInUse(machineHeap);
  refhost::FailNextAllocations(2);
  EXPECT_EQ(nullptr, VMJavaLangString::CreateInstance(env, "twice"));
  EXPECT_EQ(collections + 1, VM::GetGarbageCollectRequests());
  EXPECT_EQ(before, refhost::BlocksInUse(machineHeap));
}

/* The string table is written only under its mutex: when the host refuses it, interning
   fails (the caller reports it) instead of entering the string unlocked, where another
   thread may be writing the same slot. Nothing made for the interning is kept, and the
   caller's string is left alone. */
TEST_F(CoreString, ARefusedTableMutexFailsTheInterning) {
  VMJavaLangString* given = Make("abc");
  uint32_t blocks = refhost::BlocksInUse(nsHeap);
  VMUtils::SetHostFunctions(core_test::RefusingLocksTable());
  core_test::Refusals().mutexLocks = 1;
  VMJavaLangString* fromLiteral = VMJavaLangString::CreateIntern(ns, Lit("abc"));
  core_test::Refusals().mutexLocks = 1;
  VMJavaLangString* fromString = given->Intern(ns);
  VMUtils::SetHostFunctions(refhost::Functions());
  EXPECT_EQ(nullptr, fromLiteral) << "entered although the table's mutex was refused";
  EXPECT_EQ(nullptr, fromString);
  EXPECT_EQ(0, core_test::Refusals().mutexUnlocks.load());
  EXPECT_EQ(0u, ns->GetInternTable()->GetFilled());
  EXPECT_EQ(blocks + 1, refhost::BlocksInUse(nsHeap));  // only the literal "abc"
  EXPECT_EQ(u"abc", Chars(given));
  // With the mutex back, both intern to one string.
  VMJavaLangString* pooled = VMJavaLangString::CreateIntern(ns, Lit("abc"));
  ASSERT_NE(nullptr, pooled);
  EXPECT_EQ(pooled, given->Intern(ns));
}

/* Several name spaces share a process: a pooled string of one is a name-space string,
   but of another name space, and must enter a second name space's table as a copy in
   that name space's heap. Otherwise the second table would hold a block of the first
   heap, to be freed through the wrong heap or left dangling when the first goes. */
TEST_F(CoreString, AnotherNameSpacesStringIsCopiedIntoThisOne) {
  VMJavaLangString* inA = VMJavaLangString::CreateIntern(ns, Lit("shared text"));
  ASSERT_NE(nullptr, inA);
  HHeap* heapB = host->HeapCreate(nullptr, 1);
  VMNameSpace* nsB = (VMNameSpace*)VMObject::CreateInternalNotToBeCalledDirectly(
      heapB, VMNameSpace::Words, VMNameSpace::RefMask, VMTag_VMNameSpace, jallocFailFast);
  ASSERT_NE(nullptr, nsB);
  nsB->SetHeap(heapB);
  nsB->SetInternTable(VMJavaLangStringHashTable::CreateInstance(heapB, 16));
  ASSERT_NE(nullptr, nsB->GetInternTable());
  uint32_t blocksA = refhost::BlocksInUse(nsHeap);
  uint32_t blocksB = refhost::BlocksInUse(heapB);

  VMJavaLangString* inB = inA->Intern(nsB);
  ASSERT_NE(nullptr, inB);
  EXPECT_NE(inA, inB) << "B's table holds a string of A's heap";
  EXPECT_TRUE(inB->Equals(inA));
  EXPECT_EQ(inB, nsB->GetInternTable()->Get(0));
  EXPECT_EQ(blocksB + 2, refhost::BlocksInUse(heapB));  // the copy and its characters
  EXPECT_EQ(blocksA, refhost::BlocksInUse(nsHeap));
  EXPECT_EQ(inB, inA->Intern(nsB));
  EXPECT_EQ(inB, inB->Intern(nsB));
  // And back: B's string finds A's own in A's table.
  EXPECT_EQ(inA, inB->Intern(ns));
  EXPECT_EQ(blocksA, refhost::BlocksInUse(nsHeap));
  EXPECT_EQ(1u, ns->GetInternTable()->GetFilled());

  inB->Destroy(heapB);
  nsB->GetInternTable()->Destroy(heapB);
  nsB->Destroy(heapB);
  EXPECT_EQ(0u, refhost::BlocksInUse(heapB));
  host->HeapDestroy(heapB);
}

/* ------------------------------------------------------------------------------------ */
/* Interning under refused allocations and from several threads                         */

class CoreStringInterning : public CoreTest {};

TEST_F(CoreStringInterning, RefusedAllocationsDuringGrowthLoseNothing) {
  // A refused growth gives back its half-made arrays at once: the heaps end empty.
  MakeNameSpace(0x2000, 20);
  MakeStringClasses();
  Attach();
  std::vector<std::string> names;
  std::vector<VMJavaLangString*> got;
  for (int i = 0; i < 1500; i++) {
    std::string name = "s" + std::to_string(i * 104729);
    VMJavaLangString* local = VMJavaLangString::CreateInstance(env, name.c_str());
    ASSERT_NE(nullptr, local);
    refhost::FailNthAllocation(i % 3 == 2 ? 0 : 1 + (i / 3) % 25);
    VMJavaLangString* pooled = local->Intern(ns);
    refhost::FailNthAllocation(0);
    local->Destroy(machineHeap);
    if (pooled == nullptr) continue;
    names.push_back(name);
    got.push_back(pooled);
  }
  EXPECT_GT(names.size(), 700u);
  VMJavaLangStringHashTable* table = ns->GetInternTable();
  EXPECT_EQ(names.size(), table->GetFilled());
  EXPECT_GT(table->GetHashSize(), 1000u);
  for (size_t i = 0; i < names.size(); i++) {
    VMJavaLangString* again = VMJavaLangString::CreateInstance(env, names[i].c_str());
    ASSERT_EQ(got[i], again->Intern(ns)) << names[i];
    again->Destroy(machineHeap);
    ASSERT_NE(VM_DESTROYED_TAG, got[i]->GetTag());
    ASSERT_EQ(names[i], Utf8(got[i]));
  }
}

TEST_F(CoreStringInterning, FourThreadsInternTheSameAndTheirOwnStrings) {
  MakeNameSpace(0x2000, 0x400);  // a small string table, so that it rehashes several times
  MakeStringClasses();
  Attach();
  const int kThreads = 4, kShared = 6000, kOwn = 1000;
  auto shared = [](int i) { return "shared-" + std::to_string(i) + (i % 4 == 0 ? "\xE2\x82\xAC" : ""); };
  std::vector<std::vector<VMJavaLangString*>> seen(kThreads, std::vector<VMJavaLangString*>(kShared));
  std::vector<std::vector<VMJavaLangString*>> own(kThreads, std::vector<VMJavaLangString*>(kOwn));
  JNIEnv* machineEnv = env;
  VMNameSpace* space = ns;
  HHeap* heap = machineHeap;
  auto intern = [&](const std::string& text) {
    VMJavaLangString* local = VMJavaLangString::CreateInstance(machineEnv, text.c_str());
    if (local == nullptr) return (VMJavaLangString*)nullptr;
    VMJavaLangString* pooled = local->Intern(space);
    local->Destroy(heap);
    return pooled;
  };
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; t++) {
    workers.emplace_back([&, t] {
      for (int k = 0; k < kShared + kOwn; k++) {
        if (k % 7 == 3 && k / 7 < kOwn) {
          int j = k / 7;
          own[t][j] = intern("own-" + std::to_string(t) + "-" + std::to_string(j));
        }
        if (k < kShared) {
          int i = t == 0 ? k : t == 1 ? kShared - 1 - k : t == 2 ? (k * 7) % kShared
                                                                  : (k * 11 + 17) % kShared;
          seen[t][i] = intern(shared(i));
        }
      }
    });
  }
  for (auto& w : workers) w.join();

  VMJavaLangStringHashTable* table = ns->GetInternTable();
  EXPECT_EQ((uint32_t)(kShared + kThreads * kOwn), table->GetFilled());
  EXPECT_GT(table->GetHashSize(), 16000u);
  for (int i = 0; i < kShared; i++) {
    ASSERT_NE(nullptr, seen[0][i]);
    for (int t = 1; t < kThreads; t++) ASSERT_EQ(seen[0][i], seen[t][i]) << i;
    ASSERT_EQ(seen[0][i], intern(shared(i)));
    ASSERT_EQ(shared(i), Utf8(seen[0][i]));
  }
  for (int t = 0; t < kThreads; t++)
    for (int j = 0; j < kOwn; j++) {
      ASSERT_NE(nullptr, own[t][j]);
      ASSERT_EQ(own[t][j], intern("own-" + std::to_string(t) + "-" + std::to_string(j)));
    }
}

}  // namespace
