/* Hand-made hostile rows: one per way found for a corrupt or malicious row to crash,
   hang, over-allocate or forge a reference. Each is refused with its status, leaves no
   object marked as being read, no table entry, no host handle and (but for the error
   object of a class that cannot be loaded) no heap block, and the next good row reads. */
#include <limits.h>

#include "serial_support.h"

namespace serial_test {

namespace {

Bytes Int(uint32_t v) { return {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v}; }
Bytes Name(const std::string& text) {
  Bytes b(text.begin(), text.end());
  b.push_back(0);
  return b;
}

class HostileTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    idA = refhost::SerialIdOf("stored/A");
    idB = refhost::SerialIdOf("stored/B");
    idObject = refhost::SerialIdOf("java/lang/Object");
    idHolder = refhost::SerialIdOf("stored/Holder");
    idNode = refhost::SerialIdOf("stored/Node");
    idString = refhost::SerialIdOf("java/lang/String");
    idBuffer = refhost::SerialIdOf("java/lang/StringBuffer");
    idClass = refhost::SerialIdOf("java/lang/Class");
    // A good row, read once so that the reader's tables and caches exist before any
    // count of blocks is taken.
    goodRoot = New("stored/A");
    SetWord(goodRoot, "a", 5);
    good = Write(goodRoot, 0);
    ASSERT_NE(nullptr, Read(good));
    ASSERT_NE(nullptr, Read(Write(goodRoot, 1)));
    ASSERT_NE(nullptr, Read(Write(goodRoot, 3)));
    // Every class a row names is loaded and initialised first: what a row leaves behind
    // is then only what the row itself made.
    for (const char* name : {"stored/Holder", "stored/Node", "stored/B", "java/lang/StringBuffer", "stored/Hooked",
                             "stored/StaticHook", "stored/Ext", "stored/Marker", "stored/Shape", "stored/Plain",
                             "stored/SerRef", "java/lang/String"})
      (void)Class(name);
  }

  /* A record of A: its int, its reference, then Object. */
  Bytes RecordA(uint32_t a, Bytes ra = {0}) { return Cat({Compact(idA), Int(a), ra, Compact(idObject)}); }

  /* The row is refused with the status and leaves nothing. */
  void Refused(const Bytes& row, VMStatus status, const std::string& what, bool loadsNothing = true,
               void* loader = kHome) {
    uint32_t blocks = HeapBlocks();
    int32_t spins = refhost::LiveSpinLocks();
    EXPECT_EQ(nullptr, Read(row, loader)) << what;
    EXPECT_EQ(status, Deserializer()->GetLastStatus()) << what << ": " << Hex(row);
    EXPECT_EQ(0u, FlaggedBlocks()) << what;
    ExpectTablesEmpty();
    if (loadsNothing) {
      EXPECT_EQ(blocks, HeapBlocks()) << what << ": the row left objects behind";
    }
    EXPECT_EQ(spins, refhost::LiveSpinLocks()) << what;
    EXPECT_EQ(nullptr, env->thread->GetException()) << what;
    EXPECT_EQ(0u, refhost::SerialClassDataOpen()) << what;
    VMObject* next = Read(good);
    EXPECT_NE(nullptr, next) << what << ": the next good row";
    if (next != nullptr) {
      EXPECT_EQ("", Compare(goodRoot, next, true)) << what;
    }
  }

  jint idA = 0, idB = 0, idObject = 0, idHolder = 0, idNode = 0, idString = 0, idBuffer = 0, idClass = 0;
  VMObject* goodRoot = nullptr;
  Bytes good;
};

TEST_F(HostileTest, HostReadCountsOutsideTheBuffer) {  // rows 1 and 2
  for (int32_t count : {INT_MIN, -1, -64, 65, INT_MAX}) {
    refhost::SerialScriptRead(count);
    Refused(good, VMStatus_TavikSerializationError, "read count " + std::to_string(count));
  }
  refhost::SerialScriptRead(0, false);
  Refused(good, VMStatus_TavikSerializationError, "a refused read");
  Refused({}, VMStatus_TavikSerializationError, "an empty row: nothing before the first fill is data");
}

TEST_F(HostileTest, CompactIntegersOfNoThirtyTwoBitValue) {  // row 3
  Refused({0x01, 0x78, 0xFF, 0xFF, 0xFF, 0xFF}, VMStatus_TavikSerializationError, "a class id of 2^32 - 1");
  Refused(Cat({{0x01, 0xC0, 0x4A}, {0xF8, 0x80, 0, 0, 0}}), VMStatus_TavikSerializationError, "a length of -2^31");
  Refused(Cat({{0x01}, RecordA(1, {0xF8, 0xFF, 0xFF, 0xFF, 0xFF}), {0}}), VMStatus_TavikSerializationError,
          "an id of -(2^32 - 1)");
}

TEST_F(HostileTest, ClassReferencesOutsideTheList) {  // row 4
  Refused({0x01, 0xC0, 0x80, 0x00}, VMStatus_TavikSerializationError, "a list index in a row without a list");
  Refused(Cat({{0x21}, Compact(idA), {0}, Compact(-129), {0}}), VMStatus_TavikSerializationError, "index past the list");
  Refused(Cat({{0x21}, Compact(idA), {0}, {0xF8, 0x7F, 0xFF, 0xFF, 0xFF}, {0}}), VMStatus_TavikSerializationError,
          "the last index there is");
  Refused(Cat({{0x21}, Compact(-128), {0}}), VMStatus_TavikSerializationError, "a list entry naming the list");
  Refused({0x01, 0x85, 0x00}, VMStatus_TavikSerializationError, "a class reference of -5");
  Refused(Cat({{0x21}, Compact(idA), Compact(idA), {0}, {0}}), VMStatus_TavikSerializationError, "a class listed twice");
}

TEST_F(HostileTest, IdsThatNameNoObject) {  // rows 5 and 16
  Refused(Cat({{0x01}, RecordA(1, Compact(-5)), {0}}), VMStatus_TavikSerializationError, "a field id of -5");
  Refused(Cat({{0x01}, RecordA(1, Compact(7)), {0}}), VMStatus_TavikSerializationError, "a positive field id");
  Refused(Cat({{0x01}, RecordA(1, Compact(-129)), {0}}), VMStatus_VerifyError, "a field id past the records");
  Refused(Cat({{0x01}, RecordA(1, {0xF8, 0x7F, 0xFF, 0xFF, 0xFF}), {0}}), VMStatus_VerifyError, "the lowest id");
  Bytes array = Cat({{0x01, 0xC0, 0x40, '[', 'L'}, Compact(idObject), {0}, Compact(2), Compact(-128), Compact(-130), {0}});
  Refused(array, VMStatus_TavikSerializationError, "an element id past the records");
  Bytes element = Cat({{0x01, 0xC0, 0x40, '[', 'L'}, Compact(idObject), {0}, Compact(1), Compact(-3), {0}});
  Refused(element, VMStatus_TavikSerializationError, "an element id of -3");
  // FindObject: nothing outside the table, nothing between reads.
  VMObject* out = nullptr;
  for (jint id : {-128, -127, -1, 0, 5, INT_MIN, INT_MAX, -129})
    EXPECT_EQ(VMStatus_TavikSerializationError, Deserializer()->FindObject(id, &out)) << id;
  EXPECT_EQ(nullptr, out);
}

TEST_F(HostileTest, ReferencesOfAnotherTypeThanTheirField) {  // row 6
  // Holder: text String, ints int[], node Node, marker Marker, any Object.
  auto holder = [&](Bytes text, Bytes ints, Bytes node, Bytes marker, Bytes extra) {
    return Cat({{0x01}, Compact(idHolder), text, ints, node, marker, {0}, Compact(idObject), extra, {0}});
  };
  Bytes intArray = {0xC0, 0x4A, 0x01, 0, 0, 0, 9};
  Refused(holder(Compact(-129), {0}, {0}, {0}, intArray), VMStatus_VerifyError, "an int[] in a String field");
  Refused(holder({0}, Compact(-129), {0}, {0}, RecordA(1)), VMStatus_VerifyError, "an A in an int[] field");
  Refused(holder({0}, {0}, Compact(-129), {0}, RecordA(1)), VMStatus_VerifyError, "an A in a Node field");
  Refused(holder({0}, {0}, {0}, Compact(-129), RecordA(1)), VMStatus_VerifyError, "an A in a Marker field");
  Refused(holder({0}, Compact(-129), {0}, {0}, Cat({Compact(idClass), Compact(idA)})), VMStatus_VerifyError,
          "a class object in an int[] field");
  Refused(holder(Compact(-128), {0}, {0}, {0}, {}), VMStatus_VerifyError, "the Holder itself in its String field");
  Bytes nodes = Cat({{0x01, 0xC0, 0x40, '[', 'L'}, Compact(idNode), {0}, Compact(1), Compact(-129), RecordA(1), {0}});
  Refused(nodes, VMStatus_TavikSerializationError, "an A in a Node[]");
  Bytes grid = Cat({{0x01, 0xC0, 0x40, '[', '[', 'L'}, Compact(idObject), {0}, Compact(1), Compact(-129), intArray, {0}});
  Refused(grid, VMStatus_TavikSerializationError, "an int[] in an Object[][]");
  // What fits goes: an int[] in the Object field.
  Bytes fits = Cat({{0x01}, Compact(idHolder), {0, 0, 0, 0}, Compact(-129), Compact(idObject), intArray, {0}});
  VMObject* back = Read(fits);
  ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
  EXPECT_NE(nullptr, GetRef(back, "any"));
}

TEST_F(HostileTest, ArrayNamesThatNameNoObjectArray) {  // row 7
  Refused({0x01, 0xC0, 0x40, '[', '[', 'I', 'I', 0, 0, 0}, VMStatus_TavikSerializationError, "[[II");
  for (Bytes name : std::vector<Bytes>{{'[', 'I', 0}, {'a', 'b', 'c', 0}, {'[', 0}, {0}, {'[', '[', 'Q', 0},
                                       {'[', '[', 'V', 0}, {'L'}}) {
    Refused(Cat({{0x01, 0xC0, 0x40}, name, Compact(0), {0}}), VMStatus_VerifyError, "array name " + Hex(name));
  }
  Bytes tooDeep(20, '[');
  tooDeep.push_back('L');
  Refused(Cat({{0x01, 0xC0, 0x40}, tooDeep, Compact(idObject), {0, 0, 0}}), VMStatus_VerifyError, "21 name bytes");
  Bytes notClosed = {'[', 'L'};
  Refused(Cat({{0x01, 0xC0, 0x40}, notClosed, Compact(idObject), {7, 0, 0}}), VMStatus_TavikSerializationError,
          "an element class and no 0 byte");
  Refused(Cat({{0x01, 0xC0, 0x40}, notClosed, {0}, {0, 0, 0}}), VMStatus_OutOfMemoryError, "no element class");
  Refused(Cat({{0x01, 0xC0, 0x40}, notClosed, {0x85}, {0, 0, 0}}), VMStatus_TavikSerializationError,
          "an element class of -5");
  // The int[][] form reads: an array of one int array.
  VMObject* back = Read({0x01, 0xC0, 0x40, '[', '[', 'I', 0, 0x01, 0xC0, 0x81, 0xC0, 0x4A, 0x00, 0x00});
  ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
  EXPECT_TRUE(back->GetIsRefArray());
}

TEST_F(HostileTest, RecordsOfClassesThatHaveNoSuchInstances) {  // row 8
  auto named = [&](const char* name) { return Cat({{0x41}, Name(name), {0}, Compact(-128), {0}}); };
  Refused(named("stored/Marker"), VMStatus_TavikSerializationError, "an interface", false);
  Refused(named("stored/Shape"), VMStatus_TavikSerializationError, "an abstract class", false);
  Refused(named("stored/Plain"), VMStatus_TavikSerializationError, "a class that is not Serializable", false);
  Refused(named("stored/SerRef"), VMStatus_TavikSerializationError, "a reference object", false);
  Refused(named("java/lang/reflect/Field"), VMStatus_TavikSerializationError, "a reflection object", false);
  Refused(named("java/lang/ClassLoader"), VMStatus_TavikSerializationError, "a class loader", false);
  Refused(named("[I"), VMStatus_OutOfMemoryError, "an array name in a name list", false);
  Refused(named("stored/NoSuchThing"), VMStatus_VerifyError, "a class the loader lacks", false);
  refhost::SerialMapId(9001, "[I");
  Refused(Cat({{0x01}, Compact(9001), {0}}), VMStatus_OutOfMemoryError, "a host id naming an array class", false);
  refhost::SerialMapId(9002, "stored/Marker");
  Refused(Cat({{0x01}, Compact(9002), {0}}), VMStatus_TavikSerializationError, "a host id naming an interface", false);
}

TEST_F(HostileTest, NoClassWhereARecordNeedsOne) {  // rows 9 and 10
  Bytes chainCut = Cat({{0x01}, Compact(idB), Int(0), Int(1), {0}, {0}, {0}});
  Refused(chainCut, VMStatus_TavikSerializationError, "a 0 where B's superclass goes");
  Bytes chainLies = Cat({{0x01}, Compact(idB), Int(0), Int(1), {0}, Compact(idHolder), {0, 0, 0, 0, 0}, {0}});
  Refused(chainLies, VMStatus_TavikSerializationError, "another class where B's superclass goes");
  Refused(Cat({{0x01}, Compact(idClass), {0}, {0}}), VMStatus_TavikSerializationError, "a class object of no class");
  Refused(Cat({{0x01}, Compact(idClass), Compact(idA), Compact(idClass), Compact(idA), {0}}),
          VMStatus_TavikSerializationError, "one class object twice");
}

TEST_F(HostileTest, ClassesWithDataOfTheirOwnAndStandardStreams) {  // rows 11, 12, 13 and 20
  jint hooked = refhost::SerialIdOf("stored/Hooked");
  jint statics = refhost::SerialIdOf("stored/StaticHook");
  // A trailing section that owes another count of records than the records asked for is
  // refused before any of its bytes reach Java code. (The Externalizable object's
  // constructor has run: what it made is the collector's.)
  for (jint count : {0, 2, -1}) {
    Bytes trailing = Cat({Compact(count), Compact(8), Int(0xFFFFFF80u), Int(0xFFFFFF80u)});
    Refused(Cat({{0x01}, Compact(hooked), Compact(idObject), {0}, trailing}), VMStatus_TavikSerializationError,
            "a Hooked record");
    Refused(Cat({{0x01}, Compact(refhost::SerialIdOf("stored/Ext")), {0}, trailing}),
            VMStatus_TavikSerializationError, "an Externalizable record", false);
  }
  // Static methods of the hooks' names make no hook: the fields are read.
  VMObject* back = Read(Cat({{0x01}, Compact(statics), Int(44), Compact(idObject), {0}}));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(44u, GetWord(back, "value"));
  // A descriptor that says the class wrote its own data, for a class with no hook.
  Bytes saysHooks = Cat({{0x81}, Name("stored/StaticHook"), {0x09}, Compact(1), Name("value"), {10}});
  Refused(Cat({{0x61}, saysHooks, {0x81, 0, 0xC0, 0x80}, Int(1), Compact(idObject), {0}}),
          VMStatus_TavikSerializationError, "hooks the class does not have");
  Refused({0xAD, 0x00}, VMStatus_VerifyError, "type 5 of another version");
  const std::pair<uint8_t, VMStatus> kHeaders[] = {
      {0x00, VMStatus_TavikSerializationError},  // version 0, and a null root
      {0x02, VMStatus_VerifyError},  {0x22, VMStatus_VerifyError},  {0x7F, VMStatus_VerifyError},
      {0x81, VMStatus_TavikSerializationError}, {0xC1, VMStatus_TavikSerializationError},
      {0xE1, VMStatus_TavikSerializationError}};
  for (const auto& h : kHeaders) Refused({h.first, 0x00}, h.second, "header " + std::to_string(h.first));
}

TEST_F(HostileTest, DescriptorsWithSignaturesOfNoType) {  // row 14
  for (Bytes field : std::vector<Bytes>{Cat({Name("a"), {0}, Name("Q")}), Cat({Name("a"), {0}, {0}}),
                                        Cat({Name("a"), {0}, Name("I")}), Cat({Name("a"), {3}}),
                                        Cat({Name("a"), {12}}), Cat({Name("a"), {0}, Name("[V")})}) {
    Bytes desc = Cat({{0x81}, Name("stored/A"), {0x01}, Compact(1), field});
    Refused(Cat({{0x61}, desc, {0x81, 0x00, 0xC0, 0x80}, Int(1), {0}}), VMStatus_VerifyError, "field " + Hex(field));
  }
}

TEST_F(HostileTest, FailuresInTheRootAndInTheCompletionLeaveNothingMarked) {  // row 15
  Refused(Cat({{0x01}, Compact(idA), Int(1)}), VMStatus_TavikSerializationError, "a root cut in its fields");
  Bytes records;
  for (int i = 0; i < 49; i++) records = Cat({records, RecordA((uint32_t)i, Compact(-128 - (i + 1)))});
  Refused(Cat({{0x01}, records, Compact(idA)}), VMStatus_TavikSerializationError, "49 records and a cut one");
  // Completion fails at the last object: the 49 before it are complete, all go.
  Bytes badLast = Cat({{0x01}, records, RecordA(49, Compact(-300)), {0}});
  Refused(badLast, VMStatus_VerifyError, "an id past the records in the last object");
}

TEST_F(HostileTest, StringsAndBuffersOutOfTheirBounds) {  // row 17
  auto string = [&](uint32_t offset, uint32_t count, bool value) {
    return Cat({{0x01}, Compact(idString), value ? Compact(-129) : Bytes{0}, Int(offset), Int(count), Int(0),
                Compact(idObject), value ? Bytes{0xC0, 0x45, 0x02, 0, 'a', 0, 'b'} : Bytes{}, {0}});
  };
  ASSERT_NE(nullptr, Read(string(1, 1, true)));
  Refused(string(1, 2, true), VMStatus_TavikSerializationError, "offset + count past the chars");
  Refused(string(0xFFFFFFFFu, 1, true), VMStatus_TavikSerializationError, "a negative offset");
  Refused(string(0, 0xFFFFFFFFu, true), VMStatus_TavikSerializationError, "a negative count");
  Refused(string(0x7FFFFFFF, 0x7FFFFFFF, true), VMStatus_TavikSerializationError, "a sum that wraps");
  Refused(string(0, 0, false), VMStatus_TavikSerializationError, "no chars at all");
  auto buffer = [&](uint32_t count, bool value) {
    return Cat({{0x01}, Compact(idBuffer), value ? Compact(-129) : Bytes{0}, Int(count), {0}, Compact(idObject),
                value ? Bytes{0xC0, 0x45, 0x02, 0, 'a', 0, 'b'} : Bytes{}, {0}});
  };
  ASSERT_NE(nullptr, Read(buffer(2, true)));
  ASSERT_NE(nullptr, Read(buffer(0, false)));
  Refused(buffer(3, true), VMStatus_TavikSerializationError, "a count past the chars");
  Refused(buffer(1, false), VMStatus_TavikSerializationError, "a count without chars");
  Refused(Cat({{0x01}, Compact(idBuffer), {0}, Int(0), {2}, Compact(idObject), {0}}), VMStatus_TavikSerializationError,
          "a boolean of 2");
}

TEST_F(HostileTest, TheHostsClassDataForIdsItNoLongerNames) {  // rows 18 and 25
  jint id = refhost::SerialIdOf("stored/A");
  Bytes rowOfA = good;
  goodRoot = New("stored/Node");
  good = Write(goodRoot, 0);
  refhost::SerialHideClassId(id, true);
  Refused(rowOfA, VMStatus_VerifyError, "no class data");
  refhost::SerialLeaveClassDataHandleUnset(true);
  Refused(rowOfA, VMStatus_VerifyError, "a handle the host never set");
  refhost::SerialLeaveClassDataHandleUnset(false);
  refhost::SerialSetClassData(id, {0x81, 0x00});
  Refused(rowOfA, VMStatus_VerifyError, "the end record for a class");
  refhost::SerialSetClassData(id, {0x81, 's', 't', 'o', 'r', 'e', 'd', '/', 'A', 0, 1, 0x85});
  Refused(rowOfA, VMStatus_VerifyError, "a bad record");
  // The record as written: the row reads, and its class data is fetched once per read
  // however many records name the id.
  void* stream = refhost::SerialStreamCreate();
  ASSERT_EQ(0, serialization->functions->WriteClassDescriptor(env, "stored/A", kHome, support, stream));
  refhost::SerialSetClassData(id, refhost::SerialStreamBytes(stream));
  refhost::SerialStreamDestroy(stream);
  Bytes many = {0x01};
  for (int i = 0; i < 200; i++) many = Cat({many, RecordA((uint32_t)i, {0})});
  many.push_back(0);
  uint32_t calls = refhost::SerialClassDataCalls();
  VMObject* back = Read(many);
  ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
  EXPECT_EQ(calls + 1, refhost::SerialClassDataCalls());
  EXPECT_EQ(0u, refhost::SerialClassDataOpen());
  ExpectTablesEmpty();
  refhost::SerialHideClassId(id, false);
}

TEST_F(HostileTest, LengthsTheDataDoesNotCarry) {  // row 21
  // A length of about 2^31 with no elements after it: what is allocated follows what
  // arrives (steps of 1 MB), so the read ends with the data, not with the heap.
  refhost::FailAboveByteBudget(true, 16u << 20);
  Refused({0x01, 0xC0, 0x4A, 0x78, 0x7F, 0xFF, 0x00, 0x00, 0, 0, 0, 1}, VMStatus_TavikSerializationError,
          "an int[] of 2^31 - 65536 elements");
  Refused({0x01, 0xC0, 0x4B, 0x78, 0x7F, 0xFF, 0x00, 0x00}, VMStatus_TavikSerializationError, "a huge long[]");
  Refused(Cat({{0x01, 0xC0, 0x40, '[', 'L'}, Compact(idObject), {0, 0x78, 0x7F, 0xFF, 0x00, 0x00, 0x00}}),
          VMStatus_TavikSerializationError, "a huge Object[]");
  refhost::FailAboveByteBudget(false, 0);
  Refused({0x01, 0xC0, 0x4A, 0x81}, VMStatus_TavikSerializationError, "a length of -1");
  // An array larger than a step, with all its elements: it reads, whole.
  uint32_t n = 700000;
  Bytes big = Cat({{0x01, 0xC0, 0x4A}, Compact((int32_t)n)});
  for (uint32_t i = 0; i < n; i++) {
    Bytes v = Int(i * 2654435761u);
    big.insert(big.end(), v.begin(), v.end());
  }
  big.push_back(0);
  VMObject* back = Read(big);
  ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
  VMintArray* ints = (VMintArray*)back;
  ASSERT_EQ(n, ints->GetSize());
  for (uint32_t i = 0; i < n; i += 9973) EXPECT_EQ((jint)(i * 2654435761u), ints->Get(i));
  EXPECT_EQ((jint)((n - 1) * 2654435761u), ints->Get(n - 1));
  // The budget of one read.
  Deserializer()->SetAllocationBudget(4096);
  Refused({0x01, 0xC0, 0x4A, 0x50, 0x00, 0x00}, VMStatus_OutOfMemoryError, "4096 ints over a budget of 4 KB");
  Deserializer()->SetAllocationBudget(0);
}

TEST_F(HostileTest, NamesAreBoundedAndCheckedBeforeAnyLookUp) {  // rows 22, 23 and 24
  HHeap* nsHeap = ns->GetHeap();
  uint32_t nsBlocks = refhost::BlocksInUse(nsHeap);
  uint64_t nsBytes = refhost::BytesInUse(nsHeap);
  std::string huge(1 << 20, 'n');
  Refused(Cat({{0x41}, Name(huge), {0}}), VMStatus_OutOfMemoryError, "a 1 MB class name");
  EXPECT_LT(refhost::BytesInUse(nsHeap), nsBytes + 4096) << "the name went into the name space";
  Refused(Cat({{0x61, 0x81}, Name(std::string(65536, 'd')), {1, 0}}), VMStatus_VerifyError, "a 64 KB descriptor name");
  Refused(Cat({{0x61, 0x81}, Name("stored/A"), {1}, Compact(70000)}), VMStatus_VerifyError, "70000 fields");
  for (const char* name : {"a..b", "a//b", "/a", "a/", "a;b", "a[b", "a.b", ""}) {
    Refused(Cat({{0x41}, Name(std::string("stored/") + name), {0}}), VMStatus_OutOfMemoryError,
            std::string("name ") + name);
  }
  EXPECT_EQ(nsBlocks, refhost::BlocksInUse(nsHeap)) << "a refused name still made a literal or a class";
}

TEST_F(HostileTest, AFailedReadLeavesTheNextReadsAsTheyWere) {  // row 26
  VMObject* a = New("stored/A");
  Bytes list = Write(a, 1);
  // ReadObjectClasses, then a read of another list: its references are its own.
  void* s1 = refhost::SerialStreamCreate(list.data(), list.size());
  EXPECT_TRUE(serialization->functions->ReadObjectClasses(env, serialization->deserializer, s1, kHome));
  refhost::SerialStreamDestroy(s1);
  ExpectTablesEmpty();
  VMObject* node = New("stored/Node");
  VMObject* back = Read(Write(node, 1));
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(node->GetClass(), back->GetClass());
  for (int round = 0; round < 20; round++) {
    Refused(Bytes(list.begin(), list.begin() + 1 + round % (list.size() - 1)), VMStatus_TavikSerializationError,
            "a cut list row");
  }
  void* s2 = refhost::SerialStreamCreate(good.data(), good.size());
  EXPECT_FALSE(serialization->functions->ReadObjectClasses(env, serialization->deserializer, s2, kHome))
      << "a row of type 0 has no class list";
  refhost::SerialStreamDestroy(s2);
  ExpectTablesEmpty();
}

}  // namespace

}  // namespace serial_test
