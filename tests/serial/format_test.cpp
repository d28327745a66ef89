/* The stored form byte for byte, class-descriptor records and the host-id caches. */
#include <limits.h>

#include <algorithm>

#include "serial_support.h"

namespace serial_test {

namespace {

Bytes Name(const char* text) {
  Bytes b(text, text + strlen(text));
  b.push_back(0);
  return b;
}

class FormatTest : public SerialTest {
 protected:
  jint Id(const char* name) { return refhost::SerialIdOf(name); }

  /* The record WriteClassDescriptor stores for the class of the loader. */
  Bytes Descriptor(const char* name, void* loader = kHome, jint* result = nullptr) {
    void* stream = refhost::SerialStreamCreate();
    jint r = serialization->functions->WriteClassDescriptor(env, name, loader, support, stream);
    if (result != nullptr) *result = r;
    Bytes bytes = refhost::SerialStreamBytes(stream);
    refhost::SerialStreamDestroy(stream);
    return bytes;
  }

  /* Reads one record from bytes with a class-descriptor reader: false on failure. */
  bool ReadDescriptor(const Bytes& bytes, VMClassDescriptor** out, void* loader = kHome) {
    VMInputByteStream* in = VMInputByteStream::CreateInstance(heap, support);
    VMClassDescDeserializer* reader = VMClassDescDeserializer::CreateInstance(heap, support, in);
    void* stream = refhost::SerialStreamCreate(bytes.data(), bytes.size());
    in->SetHostStream(stream);
    // Only this frame holds the reader, and finding a class can collect.
    reader->SetIsReachableByCPlusPlusCode();
    bool ok = reader->ReadClassDesc(env, out, ns->FindOrCreateLoader(loader));
    reader->Destroy(heap);
    refhost::SerialStreamDestroy(stream);
    return ok;
  }
};

TEST_F(FormatTest, GoldenRowsOfTheFormat) {
  VMObject* plain = New(ns->GetClassList()->GetObjectClass());
  jint object = Id("java/lang/Object");
  EXPECT_EQ(Hex(Cat({{0x01}, Compact(object), {0x00}})), Hex(Write(plain, 0)));
  EXPECT_EQ(Hex(Cat({{0x21}, Compact(object), {0x00, 0xC0, 0x80, 0x00}})), Hex(Write(plain, 1)));
  VMArray* ints = NewPrimitives(10, 2);
  ((VMintArray*)ints)->Set(0, 1);
  ((VMintArray*)ints)->Set(1, 2);
  EXPECT_EQ("01 C0 4A 02 00 00 00 01 00 00 00 02 00 ", Hex(Write(ints, 0)));
  // A field holding its own object: -128.
  VMObject* node = New("stored/Node");
  SetRef(node, "next", node);
  Bytes selfRow = Cat({{0x01}, Compact(Id("stored/Node")), {0xC0, 0x80, 0, 0, 0, 0, 0, 0}, Compact(object), {0}});
  EXPECT_EQ(Hex(selfRow), Hex(Write(node, 0)));
  // A descriptor of a class without storable fields ends with 0 after its flags.
  EXPECT_EQ(Hex(Cat({{0x81}, Name("java/lang/Object"), {0x00, 0x00}})), Hex(Descriptor("java/lang/Object")));
  // The primitive codes, in a type-3 row of one Prims.
  VMObject* p = New("stored/Prims");
  SetWord(p, "z", 1);
  SetWord(p, "b", (VMword)-2);
  SetWord(p, "c", 0xABCD);
  SetWord(p, "s", (VMword)-3);
  SetWord(p, "i", 0x01020304);
  SetLong(p, "j", 0x05060708090A0B0Cll);
  SetWord(p, "f", 0x3F800000);
  SetLong(p, "d", 0x4000000000000000ll);
  SetWord(p, "trans", 99);
  SetWord(p, "fin", 7);
  Bytes prims = Cat({{0x81}, Name("stored/Prims"), {0x01}, Compact(9), Name("z"), {4}, Name("b"), {8}, Name("c"), {5},
                     Name("s"), {9}, Name("i"), {10}, Name("j"), {11}, Name("f"), {6}, Name("d"), {7}, Name("fin"),
                     {10}});
  Bytes row = Cat({{0x61}, prims, {0x81}, Name("java/lang/Object"), {0x00, 0x00, 0x81, 0x00}, {0xC0, 0x80},
                   {1, 0xFE, 0xAB, 0xCD, 0xFF, 0xFD, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x3F, 0x80, 0, 0, 0x40, 0, 0,
                    0, 0, 0, 0, 0, 0, 0, 0, 7},
                   {0xC0, 0x81, 0x00}});
  EXPECT_EQ(Hex(row), Hex(Write(p, 3)));
}

TEST_F(FormatTest, SharedAndCyclicObjectsTakeOneRecordAndOneNumber) {
  VMObject* a = New("stored/Node");
  VMObject* b = New("stored/Node");
  VMJavaLangString* s = Str("shared");
  SetRef(a, "next", b);
  SetRef(a, "name", s);
  SetRef(b, "next", a);
  SetRef(b, "name", s);
  for (int type : {0, 1, 3}) {
    VMObject* back = Read(Write(a, type));
    ASSERT_NE(nullptr, back);
    VMObject* backB = GetRef(back, "next");
    EXPECT_EQ(back, GetRef(backB, "next"));
    EXPECT_EQ(GetRef(back, "name"), GetRef(backB, "name"));
    EXPECT_NE(back, backB);
  }
  // Numbered breadth first: root 0, b 1, the string 2 (and its chars 3).
  Bytes row = Write(a, 0);
  Bytes idB = Compact(-129), idS = Compact(-130);
  Bytes rootRecord = Cat({Compact(Id("stored/Node")), idB, {0}, idS});
  EXPECT_TRUE(std::search(row.begin(), row.end(), rootRecord.begin(), rootRecord.end()) == row.begin() + 1);
}

TEST_F(FormatTest, AClassObjectTakesTheNumberOfItsRecord) {
  VMObject* node = New("stored/Node");
  VMLoadableClass* prims = Class("stored/Prims");
  SetRef(node, "type", prims);
  VMObject* other = New("stored/A");
  SetWord(other, "a", 77);
  SetRef(node, "any", other);
  for (int type : {0, 1, 3}) {
    VMObject* back = Read(Write(node, type));
    ASSERT_NE(nullptr, back) << Deserializer()->GetLastStatus();
    EXPECT_EQ((VMObject*)prims, GetRef(back, "type"));
    VMObject* a = GetRef(back, "any");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(77u, GetWord(a, "a"));
  }
}

TEST_F(FormatTest, DescriptorsReadBackAsWritten) {
  jint result = -1;
  Bytes bytes = Descriptor("stored/Prims", kHome, &result);
  ASSERT_EQ(0, result);
  VMClassDescriptor* desc = nullptr;
  ASSERT_TRUE(ReadDescriptor(bytes, &desc));
  ASSERT_NE(nullptr, desc);
  EXPECT_TRUE(desc->GetName()->EqualsAscii("stored/Prims"));
  EXPECT_EQ((VMClass*)Class("stored/Prims"), (VMClass*)desc->GetClass());
  EXPECT_EQ((VMword)vmserial::DESC_SERIALIZABLE, desc->GetFlags());
  const char* names[] = {"z", "b", "c", "s", "i", "j", "f", "d", "fin"};
  const char* sigs[] = {"Z", "B", "C", "S", "I", "J", "F", "D", "I"};
  ASSERT_EQ(9u, desc->GetMembers()->GetSize());
  for (uint32_t i = 0; i < 9; i++) {
    EXPECT_TRUE(desc->GetMembers()->Get(i)->GetName()->EqualsAscii(names[i]));
    EXPECT_TRUE(desc->GetMembers()->Get(i)->GetSignature()->EqualsAscii(sigs[i]));
  }
  desc->Destroy(heap);
  // References, arrays of two dimensions, an interface type.
  ASSERT_TRUE(ReadDescriptor(Descriptor("stored/Node"), &desc));
  EXPECT_TRUE(desc->GetMembers()->Get(5)->GetSignature()->EqualsAscii("[[Ljava/lang/Object;"));
  EXPECT_TRUE(desc->GetMembers()->Get(6)->GetSignature()->EqualsAscii("Ljava/io/Serializable;"));
  desc->Destroy(heap);
  // The flags: hooks by name and signature in the class itself, static ones not counted.
  struct {
    const char* name;
    uint8_t flags;
  } const kFlags[] = {{"stored/Hooked", 13}, {"stored/ReadOnlyHook", 5}, {"stored/StaticHook", 1},
                      {"stored/Ext", 3},     {"stored/Plain", 0},         {"stored/B", 1}};
  for (const auto& k : kFlags) {
    Bytes record = Descriptor(k.name);
    ASSERT_GT(record.size(), strlen(k.name) + 2) << k.name;
    EXPECT_EQ(k.flags, record[1 + strlen(k.name) + 1]) << k.name;
  }
  // A class whose fields are all static or transient lists none.
  ASSERT_TRUE(ReadDescriptor(Descriptor("stored/Quiet"), &desc));
  EXPECT_EQ(0u, desc->GetMembers()->GetSize());
  EXPECT_TRUE(desc->GetIsSerializable());
  desc->Destroy(heap);
  // Unknown classes are refused, leaving nothing.
  uint32_t globals = LiveGlobals();
  EXPECT_EQ(0u, Descriptor("stored/NoSuchClass", kHome, &result).size());
  EXPECT_EQ(-1, result);
  EXPECT_EQ(globals, LiveGlobals()) << "the writer's global reference stayed";
  EXPECT_EQ(0u, refhost::SerialStreamsLive());
  env->functions->ExceptionClear(env);
}

TEST_F(FormatTest, HostileDescriptorRecordsAreRefusedAndLeaveNothing) {
  Bytes good = Descriptor("stored/A");
  VMClassDescriptor* desc = nullptr;
  ASSERT_TRUE(ReadDescriptor(good, &desc));
  desc->Destroy(heap);
  Bytes longName(70000, 'x');
  longName.push_back(0);
  std::vector<std::pair<std::string, Bytes>> hostile = {
      {"no lead byte", Cat({{0x61}, Name("stored/A"), {1, 0}})},
      {"a count of 70000", Cat({{0x81}, Name("stored/A"), {1}, Compact(70000)})},
      {"a count of -1", Cat({{0x81}, Name("stored/A"), {1}, Compact(-1)})},
      {"code 12", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a"), {12}})},
      {"code 3", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a"), {3}})},
      {"code 0 with I", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a"), {0}, Name("I")})},
      {"code 0 with nothing", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a"), {0, 0}})},
      {"code 0 with Q", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a"), {0}, Name("Q")})},
      {"code 0 with a bad class name", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a"), {0}, Name("La//b;")})},
      {"an empty field name", Cat({{0x81}, Name("stored/A"), {1, 1}, {0}, {10}})},
      {"a field name with a dot", Cat({{0x81}, Name("stored/A"), {1, 1}, Name("a.b"), {10}})},
      {"a 70 KB name", Cat({{0x81}, longName, {1, 0}})},
      {"an array name", Cat({{0x81}, Name("[Lstored/A;"), {1, 0}})},
      {"a dotted name", Cat({{0x81}, Name("stored.A"), {1, 0}})},
      {"bad UTF-8", Cat({{0x81}, {'s', 0xC0, 0}, {1, 0}})},
      {"a class the loader lacks", Cat({{0x81}, Name("stored/Missing"), {1, 0}})},
      {"a cut record", Bytes(good.begin(), good.end() - 2)},
      {"nothing", {}},
  };
  for (const auto& h : hostile) {
    uint32_t blocks = HeapBlocks();
    desc = nullptr;
    EXPECT_FALSE(ReadDescriptor(h.second, &desc)) << h.first;
    EXPECT_EQ(nullptr, desc) << h.first;
    EXPECT_EQ(nullptr, env->thread->GetException()) << h.first << ": the reader's own failure is no exception";
    // A class that cannot be loaded leaves the loader's error object as garbage for the
    // collector; anything else leaves nothing at all.
    if (h.first != "a class the loader lacks") {
      EXPECT_EQ(blocks, HeapBlocks()) << h.first << ": the half-read descriptor stayed";
    }
  }
  // The end record reads as no descriptor.
  ASSERT_TRUE(ReadDescriptor({0x81, 0x00}, &desc));
  EXPECT_EQ(nullptr, desc);
}

TEST_F(FormatTest, IdCachesKeepBusyPairsAndAgeOutIdleOnes) {
  VMIdToObjectCache* cache = VMIdToObjectCache::CreateInstance(heap, 4);
  ASSERT_NE(nullptr, cache);
  VMObject* x = New("stored/A");
  VMObject* y = New("stored/A");
  VMObject* z = New("stored/A");
  for (uint32_t start : {0u, 0xFFFFFFF0u}) {
    cache->Clear();
    cache->SetCounter(start);
    cache->AddObject(3, x);
    EXPECT_EQ(x, cache->FindObject(3));
    // 19 shares slot 3: with no hit elsewhere since 3 was found, it replaces it.
    cache->AddObject(19, y);
    EXPECT_EQ(nullptr, cache->FindObject(3));
    EXPECT_EQ(y, cache->FindObject(19));
    // One hit on another slot in between: the pair stays.
    cache->AddObject(5, z);
    EXPECT_EQ(z, cache->FindObject(5));
    cache->AddObject(3, x);
    EXPECT_EQ(y, cache->FindObject(19)) << "start " << start;
    EXPECT_EQ(nullptr, cache->FindObject(3));
    // 32 hits elsewhere since it was last found: it goes (the counter may wrap).
    for (int i = 0; i < 31; i++) EXPECT_EQ(z, cache->FindObject(5));
    cache->AddObject(3, x);
    EXPECT_EQ(y, cache->FindObject(19)) << "31 hits are not enough";
    for (int i = 0; i < 32; i++) EXPECT_EQ(z, cache->FindObject(5));
    cache->AddObject(3, x);
    EXPECT_EQ(x, cache->FindObject(3)) << "start " << start;
    EXPECT_EQ(nullptr, cache->FindObject(19));
  }
  // Id 0 is never cached.
  cache->AddObject(0, x);
  EXPECT_EQ(nullptr, cache->FindObject(0));
  cache->Destroy(heap);
  for (uint32_t n = 1; n <= 4; n++) {
    uint32_t blocks = HeapBlocks();
    refhost::FailNthAllocation(n);
    EXPECT_EQ(nullptr, VMObjectCache::CreateInstance(heap, 4, VMTag_VMIdToObjectCache)) << n;
    refhost::FailNthAllocation(0);
    EXPECT_EQ(blocks, HeapBlocks()) << n;
  }
  // The name cache compares literals by identity.
  VMLiteralToIdCache* names = VMLiteralToIdCache::CreateInstance(heap, 4);
  VMLiteral* a = VMLiteral::CreateInstance(ns, "stored/A", 0xFFFFFFFFu);
  VMLiteral* b = VMLiteral::CreateInstance(ns, "stored/B", 0xFFFFFFFFu);
  names->AddObject(42, a);
  EXPECT_EQ(42, names->FindId(a));
  EXPECT_EQ(0, names->FindId(b));
  names->Destroy(heap);
}

}  // namespace

}  // namespace serial_test
