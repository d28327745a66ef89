#include "bigint_support.h"

#include <fstream>
#include <map>
#include <sstream>

#include "vmutils.h"

namespace bigint_test {

std::string Hex(const Bytes& b) {
  if (b.empty()) return "-";
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (uint8_t v : b) {
    s += digits[v >> 4];
    s += digits[v & 15];
  }
  return s;
}

Bytes FromHex(const std::string& hex) {
  Bytes b;
  if (hex == "-") return b;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) b.push_back((uint8_t)std::stoul(hex.substr(i, 2), nullptr, 16));
  return b;
}

Bytes FromU64(uint64_t v, int zeros) {
  Bytes b(zeros, 0);
  Bytes digits;
  for (; v != 0; v >>= 8) digits.insert(digits.begin(), (uint8_t)v);
  b.insert(b.end(), digits.begin(), digits.end());
  return b;
}

uint64_t ToU64(const Bytes& b) {
  uint64_t v = 0;
  for (uint8_t x : b) v = (v << 8) | x;
  return v;
}

Bytes Canonical(const Bytes& b) {
  size_t i = 0;
  while (i < b.size() && b[i] == 0) i++;
  return Bytes(b.begin() + i, b.end());
}

const std::vector<Fields>& Vectors(const std::string& tag) {
  static std::map<std::string, std::vector<Fields>> byTag;
  static bool loaded = false;
  if (!loaded) {
    loaded = true;
    std::ifstream in(std::string(PUX_BUILD_DIR) + "/bigint_vectors.txt");
    for (std::string line; std::getline(in, line);) {
      std::istringstream words(line);
      Fields f;
      for (std::string w; words >> w;) f.push_back(w);
      if (!f.empty()) byTag[f[0]].push_back(f);
    }
  }
  return byTag[tag];
}

void BigIntTest::SetUp() {
  refhost::ResetHooks();
  host = refhost::Functions();
  VMUtils::Init(host);
  VMUtils::SetHostFunctions(host);
  heap = host->HeapCreate(nullptr, 2);
  ASSERT_NE(nullptr, heap);
}

void BigIntTest::TearDown() {
  refhost::ResetHooks();
  EXPECT_EQ(0u, refhost::BlocksInUse(heap)) << "a temporary or a result was left on the heap";
  host->HeapDestroy(heap);
}

bigint::Mag* BigIntTest::Make(const Bytes& b) {
  bigint::Mag* m = bigint::Mag::CreateInstance(heap, (uint32_t)b.size(), jallocFailFast, VMTag_VMUserArrayInstance);
  EXPECT_NE(nullptr, m);
  if (m == nullptr) return nullptr;
  m->SetIsScalarArray();
  for (size_t i = 0; i < b.size(); i++) m->Set((uint32_t)i, (jbyte)b[i]);
  return m;
}

Bytes BigIntTest::Read(const bigint::Mag* m) {
  Bytes b;
  if (m == nullptr) return b;
  for (uint32_t i = 0; i < m->GetSize(); i++) b.push_back((uint8_t)m->Get(i));
  return b;
}

void BigIntTest::Drop(VMArray* a) {
  if (a != nullptr) a->Destroy(heap);
}

bigint::Context BigIntTest::NewContext() {
  bigint::Context ctx;
  ctx.heap = heap;
  ctx.poll = CountPoll;
  ctx.pollData = this;
  return ctx;
}

int BigIntTest::CountPoll(void* self) {
  BigIntTest* t = (BigIntTest*)self;
  t->polls++;
  if (t->stopAfter < 0) return 0;
  return t->stopAfter-- == 0 ? 1 : 0;
}

void Snapshot::Add(const bigint::Mag* m) {
  arrays.push_back(m);
  bytes.push_back(BigIntTest::Read(m));
}

::testing::AssertionResult Snapshot::Unchanged() const {
  for (size_t i = 0; i < arrays.size(); i++) {
    if (arrays[i]->GetTag() != VMTag_VMUserArrayInstance)
      return ::testing::AssertionFailure() << "argument " << i << " was freed";
    if (BigIntTest::Read(arrays[i]) != bytes[i])
      return ::testing::AssertionFailure() << "argument " << i << " changed: " << Hex(bytes[i]) << " became "
                                           << Hex(BigIntTest::Read(arrays[i]));
  }
  return ::testing::AssertionSuccess();
}

}  // namespace bigint_test
