/* The round-trip property: random graphs stored as types 0, 1 and 3 read back whole, in
   loader 0 and loader 7, on the machine that wrote them and on a second machine of the
   same name space; the copy stores to the same bytes; the bytes read the same whatever
   the host's read counts; and a failed write or a cut row leaves nothing behind. */
#include "serial_support.h"

namespace serial_test {

namespace {

class RoundTripTest : public SerialTest {
 protected:
  /* Reads the row in the loader and checks it against the original and against the
     bytes it stores to again. */
  void CheckRead(const Bytes& bytes, VMObject* original, int type, void* loader, JNIEnv* on,
                 JNISerialization* through, const std::string& what) {
    VMObject* back = ReadOn(on, through, bytes, loader);
    ASSERT_NE(nullptr, back) << what << ": status "
                             << ((VMObjectDeserializer*)VMJniHandle::UnHandle(on, through->deserializer))->GetLastStatus();
    bool sameClasses = loader == kHome;
    EXPECT_EQ("", Compare(original, back, sameClasses)) << what;
    jint result = -1;
    Bytes again = WriteOn(on, through, back, type, &result);
    EXPECT_EQ(0, result) << what;
    EXPECT_TRUE(again == bytes) << what << ": the copy stores to other bytes";
    EXPECT_EQ(0u, FlaggedBlocks(on->javaVM->vm->GetHeap())) << what;
  }
};

TEST_F(RoundTripTest, RandomGraphsReadBackWholeInEveryLoaderAndMachine) {
  JNIEnv* env2 = nullptr;
  JavaVM* vm2 = CreateMachine(&env2, vm);
  ASSERT_NE(nullptr, vm2);
  JNISerialization* second = (JNISerialization*)env2->functions->CreateSerializationInterface(env2, support);
  // The second machine attached this thread last: the first one's env goes on serving it.
  host->SetCurrentEnv(env);
  ASSERT_NE(nullptr, second);
  std::mt19937 sizes(20240601);
  uint32_t largest = 0;
  // Under collection stress every allocation collects: the small graphs and the first
  // large one say what the stress can add, at a fraction of the cost.
  const bool stressed = refhost::CollectionStress() != 0;
  uint32_t largeChecked = 0;
  for (uint32_t seed = 1; seed <= 24; seed++) {
    uint32_t limit = seed <= 4 ? seed : 1 + sizes() % 2000;
    GraphMaker maker(this, seed, limit);
    VMObject* root = maker.Make();
    largest = std::max(largest, maker.Count());
    bool large = maker.Count() >= 1000;
    if (stressed && seed > 6 && (!large || largeChecked > 0)) {
      LetGo();
      continue;
    }
    if (large) largeChecked++;
    for (int type : {0, 1, 3}) {
      std::string what = "seed " + std::to_string(seed) + " type " + std::to_string(type) + " (" +
                         std::to_string(maker.Count()) + " objects)";
      jint result = -1;
      Bytes bytes = Write(root, type, &result);
      ASSERT_EQ(0, result) << what << ": status " << Serializer()->GetLastStatus();
      ASSERT_EQ((uint8_t)((type << 5) | 1), bytes[0]);
      CheckRead(bytes, root, type, kHome, env, serialization, what + ", loader 5");
      CheckRead(bytes, root, type, kOther, env, serialization, what + ", loader 7");
      host->SetCurrentEnv(env2);
      CheckRead(bytes, root, type, kHome, env2, second, what + ", second machine, loader 5");
      CheckRead(bytes, root, type, kOther, env2, second, what + ", second machine, loader 7");
      host->SetCurrentEnv(env);
      ExpectTablesEmpty();
      if (HasFailure()) return;
    }
    // Held graphs of every seed would make each forced collection walk them all.
    LetGo();
  }
  EXPECT_GE(largest, 1000u) << "no large graph was made";
  env2->functions->DestroySerializationInterface(env2, second);
  host->SetCurrentEnv(env2);
  DestroyMachine(vm2);
  host->SetCurrentEnv(env);
}

TEST_F(RoundTripTest, TheSameBytesReadTheSameWhateverTheHostsReadCounts) {
  GraphMaker maker(this, 77, 400);
  VMObject* root = maker.MakeAtLeast(300);
  std::mt19937 rng(5);
  for (int type : {0, 1, 3}) {
    Bytes bytes = Write(root, type);
    // Under collection stress, where every allocation collects, the first rounds do.
    const int rounds = refhost::CollectionStress() != 0 ? 4 : 12;
    for (int round = 0; round < rounds; round++) {
      std::vector<int32_t> pattern;
      for (int i = 0; i < 1 + round; i++) pattern.push_back(1 + (int32_t)(rng() % 64));
      if (round == 0) pattern = {1};
      refhost::SerialSetReadPattern(pattern);
      VMObject* back = Read(bytes);
      ASSERT_NE(nullptr, back) << "type " << type << " round " << round;
      EXPECT_EQ("", Compare(root, back, true));
    }
    refhost::SerialSetReadPattern({});
  }
}

TEST_F(RoundTripTest, AWriteRefusedByTheHostLeavesNothingForTheNextWrite) {
  GraphMaker maker(this, 3, 100);
  VMObject* root = maker.MakeAtLeast(60);
  for (int type : {0, 1, 3}) {
    Bytes clean = Write(root, type);
    uint32_t calls = refhost::SerialWriteCalls();
    (void)Write(root, type);
    uint32_t perWrite = refhost::SerialWriteCalls() - calls;
    ASSERT_GE(perWrite, 4u);
    for (uint32_t k = 1; k <= perWrite; k++) {
      refhost::SerialFailWriteAt(k);
      jint result = 0;
      (void)Write(root, type, &result);
      EXPECT_EQ(-1, result) << "write refused at call " << k;
      EXPECT_NE(0, Serializer()->GetLastStatus());
      // The same serializer, the next row: exactly what a fresh one writes.
      Bytes next = Write(root, type, &result);
      EXPECT_EQ(0, result);
      EXPECT_TRUE(next == clean) << "type " << type << ", after a refusal at call " << k;
    }
  }
}

TEST_F(RoundTripTest, EveryCutOfARowFailsCleanlyAndTheWholeRowStillReads) {
  GraphMaker maker(this, 11, 40);
  VMObject* root = maker.MakeAtLeast(30);
  for (int type : {0, 1, 3}) {
    Bytes bytes = Write(root, type);
    ASSERT_GE(bytes.size(), 300u);
    ASSERT_NE(nullptr, Read(bytes));
    uint32_t baseline = HeapBlocks();
    std::vector<size_t> cuts;
    for (size_t n = 0; n < bytes.size(); n++)
      if (bytes.size() <= 600 || n < 300 || n % 37 == 0 || n + 40 > bytes.size()) cuts.push_back(n);
    for (size_t n : cuts) {
      Bytes cut(bytes.begin(), bytes.begin() + (long)n);
      ASSERT_EQ(nullptr, Read(cut)) << "type " << type << " cut at " << n;
      EXPECT_NE(0, Deserializer()->GetLastStatus());
      ASSERT_EQ(0u, FlaggedBlocks()) << "cut at " << n;
      // Everything the cut row made is gone again.
      ASSERT_EQ(baseline, HeapBlocks()) << "type " << type << " cut at " << n;
    }
    VMObject* back = Read(bytes);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ("", Compare(root, back, true));
    ExpectTablesEmpty();
  }
}

TEST_F(RoundTripTest, DescriptorsCarryAClassToItsLaterVersion) {
  // Loader 7 has another version of stored/Evolving: `dropped` and `droppedRef` gone,
  // `added` and `addedRef` new.
  VMObject* e = New("stored/Evolving");
  SetWord(e, "kept", 41);
  SetLong(e, "dropped", 0x1122334455667788ll);
  SetRef(e, "keptRef", Str("kept"));
  SetRef(e, "droppedRef", Str("gone"));
  Bytes bytes = Write(e, 3);
  VMObject* later = Read(bytes, kOther);
  ASSERT_NE(nullptr, later) << Deserializer()->GetLastStatus();
  VMClass* cls = later->GetClass();
  EXPECT_NE(e->GetClass(), cls);
  EXPECT_EQ(41u, GetWord(later, "kept"));
  EXPECT_EQ(0u, GetWord(later, "added"));
  EXPECT_EQ(nullptr, GetRef(later, "addedRef"));
  VMJavaLangString* kept = (VMJavaLangString*)GetRef(later, "keptRef");
  ASSERT_NE(nullptr, kept);
  EXPECT_TRUE(kept->Equals((VMJavaLangString*)GetRef(e, "keptRef")));
  // The value of a field the reader lacks is read past: the row's end still comes out.
  EXPECT_EQ(0u, FlaggedBlocks());
  // Without descriptors the same change cannot be read safely, and is not.
  EXPECT_EQ(nullptr, Read(Write(e, 0), kOther));
  EXPECT_EQ(nullptr, Read(Write(e, 1), kOther));
}

TEST_F(RoundTripTest, NarrowValuesWidenAsJavaWidensThem) {
  VMObject* p = New("stored/Prims");
  SetWord(p, "b", (VMword)-1);
  SetWord(p, "s", (VMword)(jint)-2);
  SetWord(p, "c", 0xFFFF);
  SetWord(p, "z", 1);
  for (int type : {0, 1, 3}) {
    VMObject* back = Read(Write(p, type));
    ASSERT_NE(nullptr, back);
    EXPECT_EQ((VMword)-1, GetWord(back, "b"));
    EXPECT_EQ((VMword)-2, GetWord(back, "s"));
    EXPECT_EQ(0xFFFFu, GetWord(back, "c"));
    EXPECT_EQ(1u, GetWord(back, "z"));
    EXPECT_EQ(0u, GetWord(back, "trans"));
  }
}

TEST_F(RoundTripTest, MachineBoundValuesAreNeitherStoredNorRestored) {
  VMObject* t = New("stored/SerThread");
  VMDataMember* info = Field(t->GetClass(), "PrivateInfo");
  VMDataMember* eetop = Field(t->GetClass(), "eetop");
  // The library marks them transient; a library that does not must fare the same.
  for (bool marked : {true, false}) {
    if (!marked) {
      info->ClearIsTransient();
      eetop->ClearIsTransient();
    }
    SetWord(t, "PrivateInfo", 0x12345678);
    SetLong(t, "eetop", 0x0BADC0DE0BADC0DEll);
    SetWord(t, "extra", 5);
    for (int type : {0, 1, 3}) {
      Bytes bytes = Write(t, type);
      VMObject* back = Read(bytes);
      ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
      EXPECT_EQ(0u, GetWord(back, "PrivateInfo"));
      EXPECT_EQ(0, GetLong(back, "eetop"));
      EXPECT_EQ(5u, GetWord(back, "extra"));
      // No byte of the address leaves the machine.
      for (size_t i = 0; i + 4 <= bytes.size(); i++) {
        EXPECT_NE(0, memcmp(bytes.data() + i, "\x12\x34\x56\x78", 4)) << "type " << type;
        EXPECT_NE(0, memcmp(bytes.data() + i, "\x0B\xAD\xC0\xDE", 4)) << "type " << type;
      }
    }
  }
  info->SetIsTransient();
  eetop->SetIsTransient();
}

}  // namespace

}  // namespace serial_test
