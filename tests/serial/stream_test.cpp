/* The byte streams and compact integers under the host's serialization callbacks: the
   encodings at every boundary, the 64-byte buffer's edges, and what a faulty host's read
   counts and refusals do. */
#include <limits.h>

#include "serial_support.h"

namespace serial_test {

namespace {

class StreamTest : public SerialTest {
 protected:
  void SetUp() override {
    SerialTest::SetUp();
    out = VMOutputByteStream::CreateInstance(heap, support);
    writer = VMClassDescSerializer::CreateInstance(heap, support, out);
    in = VMInputByteStream::CreateInstance(heap, support);
    reader = VMClassDescDeserializer::CreateInstance(heap, support, in);
    ASSERT_TRUE(writer != nullptr && reader != nullptr);
    // The fixture's fields are no root of the collector's.
    writer->SetIsReachableByCPlusPlusCode();
    reader->SetIsReachableByCPlusPlusCode();
    sink = refhost::SerialStreamCreate();
    out->SetHostStream(sink);
  }
  void TearDown() override {
    writer->Destroy(heap);
    reader->Destroy(heap);
    refhost::SerialStreamDestroy(sink);
    if (source != nullptr) refhost::SerialStreamDestroy(source);
    SerialTest::TearDown();
  }

  /* The status of writing v (0 when it went). */
  VMStatus PutCompact(jint v) {
    VMErrorCatcher c;
    if (VM_CATCHER_ARM(c)) return c.Caught();
    writer->WriteCompactInt(v, c);
    return 0;
  }
  Bytes Written() {
    out->Flush();
    return refhost::SerialStreamBytes(sink);
  }
  /* Reads from these bytes next. */
  void Source(const Bytes& bytes) {
    if (source != nullptr) refhost::SerialStreamDestroy(source);
    source = refhost::SerialStreamCreate(bytes.data(), bytes.size());
    in->SetHostStream(source);
    in->Reset();
  }
  VMStatus GetCompact(jint* v) {
    VMErrorCatcher c;
    if (VM_CATCHER_ARM(c)) return c.Caught();
    *v = reader->ReadCompactInt(c);
    return 0;
  }

  VMOutputByteStream* out = nullptr;
  VMClassDescSerializer* writer = nullptr;
  VMInputByteStream* in = nullptr;
  VMClassDescDeserializer* reader = nullptr;
  void* sink = nullptr;
  void* source = nullptr;
};

TEST_F(StreamTest, CompactIntegersRoundTripAtEveryBoundary) {
  std::vector<jint> values = {0};
  for (jint m : {63, 64, 8191, 8192, 1048575, 1048576, 134217727, 134217728, INT_MAX}) {
    values.push_back(m);
    values.push_back(-m);
    values.push_back(m - 1);
    values.push_back(1 - m);
  }
  for (jint v : values) ASSERT_EQ(0, PutCompact(v)) << v;
  Bytes bytes = Written();
  Source(bytes);
  size_t expectedSize = 0;
  for (jint v : values) {
    expectedSize += Compact(v).size();
    jint back = 0;
    ASSERT_EQ(0, GetCompact(&back)) << v;
    EXPECT_EQ(v, back);
  }
  EXPECT_EQ(expectedSize, bytes.size());
  // The examples of the format, as bytes.
  Bytes golden = Cat({Compact(100), Compact(-1), Compact(-64), Compact(-128), Compact(-8191), Compact(134217728)});
  EXPECT_EQ(Hex({0x40, 0x64, 0x81, 0xC0, 0x40, 0xC0, 0x80, 0xDF, 0xFF, 0x78, 0x08, 0x00, 0x00, 0x00}), Hex(golden));
  refhost::SerialStreamDestroy(sink);
  sink = refhost::SerialStreamCreate();
  out->SetHostStream(sink);
  for (jint v : {100, -1, -64, -128, -8191, 134217728}) ASSERT_EQ(0, PutCompact(v));
  EXPECT_EQ(Hex(golden), Hex(Written()));
  // The minimum has no stored form.
  EXPECT_EQ(VMStatus_TavikSerializationError, PutCompact(INT_MIN));
}

TEST_F(StreamTest, EveryShortInputDecodesByTheReaderRule) {
  for (uint32_t b0 = 0; b0 < 256; b0++) {
    for (uint32_t b1 = 0; b1 < 256; b1++) {
      Source({(uint8_t)b0, (uint8_t)b1});
      jint v = 12345;
      VMStatus status = GetCompact(&v);
      uint32_t sign = b0 & 0x80;
      if ((b0 & 0x40) == 0) {
        ASSERT_EQ(0, status);
        jint m = (jint)(b0 & 0x3F);
        ASSERT_EQ(sign ? -m : m, v) << b0;
      } else if ((b0 & 0x20) == 0) {
        ASSERT_EQ(0, status);
        jint m = (jint)(((b0 & 0x1F) << 8) | b1);
        ASSERT_EQ(sign ? -m : m, v) << b0 << " " << b1;
      } else {
        // Longer forms run past the two bytes.
        ASSERT_EQ(VMStatus_TavikSerializationError, status) << b0;
      }
    }
  }
  jint v = 1;
  Source({0x80});
  ASSERT_EQ(0, GetCompact(&v));
  EXPECT_EQ(0, v);
  Source({0x78, 0x00, 0x00, 0x00, 0x80});
  ASSERT_EQ(0, GetCompact(&v));
  EXPECT_EQ(128, v);
  Source({});
  EXPECT_EQ(VMStatus_TavikSerializationError, GetCompact(&v));
}

TEST_F(StreamTest, MagnitudesWithTheTopBitSetAreRefused) {
  // Such magnitudes came back as lengths and ids of the wrong sign (0x78 FF FF FF FF as
  // -1), and negating 2^31 overflows.
  for (Bytes bytes : std::vector<Bytes>{{0x78, 0xFF, 0xFF, 0xFF, 0xFF}, {0xF8, 0x80, 0x00, 0x00, 0x00},
                                         {0x78, 0x80, 0x00, 0x00, 0x00}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}) {
    Source(bytes);
    jint v = 0;
    EXPECT_EQ(VMStatus_TavikSerializationError, GetCompact(&v)) << Hex(bytes);
  }
  Source({0xF8, 0x7F, 0xFF, 0xFF, 0xFF});
  jint v = 0;
  ASSERT_EQ(0, GetCompact(&v));
  EXPECT_EQ(-INT_MAX, v);
}

TEST_F(StreamTest, TheBufferHandsTheHostFullBuffersOnly) {
  uint32_t calls = refhost::SerialWriteCalls();
  for (int i = 0; i < 64; i++) out->Write((uint8_t)i);
  EXPECT_EQ(calls, refhost::SerialWriteCalls()) << "64 bytes fit the buffer";
  out->Write(64);
  EXPECT_EQ(calls + 1, refhost::SerialWriteCalls());
  EXPECT_EQ(64u, refhost::SerialStreamBytes(sink).size());
  EXPECT_EQ(1u, out->Length());
  out->Flush();
  Bytes hundred(100);
  for (int i = 0; i < 100; i++) hundred[i] = (uint8_t)(200 - i);
  calls = refhost::SerialWriteCalls();
  out->Write(hundred.data(), 100);
  EXPECT_EQ(calls + 1, refhost::SerialWriteCalls());
  EXPECT_EQ(36u, out->Length());
  Bytes all = Written();
  ASSERT_EQ(165u, all.size());
  for (int i = 0; i < 65; i++) EXPECT_EQ(i, all[i]);
  EXPECT_TRUE(Bytes(all.begin() + 65, all.end()) == hundred);
  EXPECT_FALSE(out->GetIsError());
}

TEST_F(StreamTest, ValuesCrossHostReadsOfOneByte) {
  for (jint v : {INT_MAX, -134217728, 1048576, -8191, 5}) ASSERT_EQ(0, PutCompact(v));
  writer->WriteQWord(0x0102030405060708ull);
  writer->WriteDWord(0xA1B2C3D4u);
  writer->WriteWord(0xBEEF);
  Bytes bytes = Written();
  refhost::SerialSetReadPattern({1});
  Source(bytes);
  uint32_t reads = refhost::SerialReadCalls();
  for (jint v : {INT_MAX, -134217728, 1048576, -8191, 5}) {
    jint back = 0;
    ASSERT_EQ(0, GetCompact(&back));
    EXPECT_EQ(v, back);
  }
  EXPECT_EQ(0x0102030405060708ull, reader->ReadQWord());
  EXPECT_EQ(0xA1B2C3D4u, reader->ReadDWord());
  EXPECT_EQ(0xBEEF, reader->ReadWord());
  EXPECT_FALSE(in->GetIsError());
  EXPECT_EQ(bytes.size(), refhost::SerialReadCalls() - reads);
  // At the end: one more host read says 0 bytes, and the stream is at its end.
  EXPECT_EQ(-1, in->Read());
  EXPECT_TRUE(in->GetIsError());
}

TEST_F(StreamTest, AReadBeforeTheFirstFillAsksTheHost) {
  // A new stream's buffer holds whatever memory the host gave it (the reference host
  // fills new blocks with 0xCD): none of it may read as data.
  VMInputByteStream* fresh = VMInputByteStream::CreateInstance(heap, support);
  ASSERT_NE(nullptr, fresh);
  EXPECT_EQ(0u, fresh->Buffered());
  EXPECT_TRUE(fresh->EOS());
  void* empty = refhost::SerialStreamCreate();
  fresh->SetHostStream(empty);
  EXPECT_EQ(-1, fresh->Read()) << "nothing but the host's bytes is data";
  fresh->Destroy(heap);
  refhost::SerialStreamDestroy(empty);
  Source({0x2A});
  jint v = 0;
  ASSERT_EQ(0, GetCompact(&v));
  EXPECT_EQ(42, v);
  VMClassDescriptor* desc = nullptr;
  Source({});
  EXPECT_FALSE(reader->VMBaseDeserializer::ReadClassDesc(&desc)) << "an empty host stream holds no record";
}

TEST_F(StreamTest, OutOfRangeReadCountsTakeNothing) {
  // The count is the host's word on how much it stored: one outside 0..64 must not move
  // the limit, or the stream would read memory past its buffer as data.
  for (int32_t count : {-1, -64, INT_MIN, 65, INT_MAX, 64 + 0x10000}) {
    Source({1, 2, 3});
    refhost::SerialScriptRead(count);
    EXPECT_EQ(-1, in->Read()) << count;
    EXPECT_TRUE(in->GetIsError()) << count;
    EXPECT_EQ(0u, in->Buffered()) << count;
  }
  Source({1, 2, 3});
  refhost::SerialScriptRead(0, false);
  EXPECT_EQ(-1, in->Read());
  EXPECT_TRUE(in->GetIsError());
  // Short counts are fine: 2 then 1 bytes.
  Source({1, 2, 3});
  refhost::SerialScriptRead(2);
  refhost::SerialScriptRead(1);
  uint8_t three[3] = {0, 0, 0};
  EXPECT_EQ(3, in->Read(three, 3));
  EXPECT_EQ(3, three[2]);
  EXPECT_FALSE(in->GetIsError());
}

TEST_F(StreamTest, AFailedCallLeavesNeitherItsErrorNorItsBytesToTheNext) {
  VMObject* p = New("stored/Prims");
  // A refused write: the serializer's next row must start clean.
  Bytes clean = Write(p, 0);
  refhost::SerialFailWriteAt(1);
  jint result = 0;
  (void)Write(p, 0, &result);
  EXPECT_EQ(-1, result);
  EXPECT_TRUE(Write(p, 0, &result) == clean);
  EXPECT_EQ(0, result);
  // A write that fails halfway, before its flush (an object array of a class nobody
  // can store), must not leave its first bytes to the next row.
  VMrefArray* mixed = NewReferences(ns->GetClassList()->GetObjectClass(), 2);
  mixed->Set(0, p);
  mixed->Set(1, New("stored/Plain"));
  (void)Write(mixed, 0, &result);
  EXPECT_EQ(-1, result);
  EXPECT_TRUE(Write(p, 0, &result) == clean);
  // A refused read: the next read of a good row works.
  refhost::SerialScriptRead(0, false);
  EXPECT_EQ(nullptr, Read(clean));
  EXPECT_NE(nullptr, Read(clean));
  // A row cut short: its error bit does not stay.
  EXPECT_EQ(nullptr, Read(Bytes(clean.begin(), clean.end() - 1)));
  EXPECT_NE(nullptr, Read(clean));
}

TEST_F(StreamTest, SkipAndSeekStayInsideTheBuffer) {
  Source({1, 2, 3, 4, 5});
  EXPECT_EQ(1, in->Read());
  EXPECT_EQ(2, in->Skip(2));
  EXPECT_EQ(4, in->Read());
  EXPECT_EQ(1, in->Skip(10));
  EXPECT_TRUE(in->EOS());
  in->Seek(0, 0);
  EXPECT_TRUE(in->EOS()) << "a seek leaves the buffer alone";
  EXPECT_EQ(1, in->Read()) << "the next fill reads from the new position";
}

}  // namespace

}  // namespace serial_test
