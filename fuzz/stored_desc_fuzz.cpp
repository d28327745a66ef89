/* Fuzz target of the two smallest readers of stored data: compact integers and single
   class-descriptor records, each read from the input by the machine's own streams over
   the reference host's memory streams. It is cheap per input, so it goes much deeper into
   those two than the whole-row target (stored_fuzz) can.

   Byte 0 of the input holds options: bit 0 the reader (0: compact integers, 1: one
   descriptor record in loader 5, whose classes are the class library's), bits 1-2 the
   host's read counts (whole buffers, single bytes, or counts from a generator seeded by
   the input). The rest is the data.

   Compact integers: every value the machine decodes is the one an independent decoder of
   the format finds at the same place, the machine fails exactly where that decoder finds
   the data cut or a magnitude past 2147483647, and the values written again come out in
   their shortest form and decode to themselves.
   Descriptor records: a record read is complete (a name, a loadable class, flags of four
   bits, every member named and with a signature of one type) and leaves nothing behind
   once destroyed; a refused one leaves nothing pending; after either, a good record reads
   on the same reader; the machine's heap and the name space grow by no more than the
   input can account for. Built and run by fuzz/run.sh stored_desc. */
#define PUX_FUZZ_NAME "stored_desc_fuzz"
#include "fuzz_common.h"

#include <string>
#include <vector>

#include "vm.h"
#include "vmjni.h"
#include "vmserial.h"
#include "vmthread.h"

namespace {

void* const kHome = (void*)5;

struct Fixture {
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  HHeap* heap = nullptr;
  JNIHostSerializationSupport* support = nullptr;
  VMClassDescDeserializer* reader = nullptr;  /* descriptor records */
  VMClassDescDeserializer* numbers = nullptr; /* compact integers */
  VMClassDescSerializer* writer = nullptr;    /* compact integers written again */
  std::vector<uint8_t> good;                  /* a record read after every input */
  uint32_t inputs = 0;
};

Fixture* gFixture = nullptr;

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "stored_desc_fuzz: %s\n", what);
  abort();
}

/* The compact integer at data[*at]: 1 with its value, 0 when the data ends inside it, -1
   for a magnitude that no 32-bit value of its sign has. Written from the format's table,
   apart from the machine's decoder. */
int Decode(const std::vector<uint8_t>& data, size_t* at, int32_t* value) {
  if (*at >= data.size()) return 0;
  uint8_t b = data[*at];
  size_t extra = (b & 0x40) == 0 ? 0 : (b & 0x20) == 0 ? 1 : (b & 0x10) == 0 ? 2 : (b & 0x08) == 0 ? 3 : 4;
  if (*at + 1 + extra > data.size()) return 0;
  uint64_t m = extra == 4 ? 0 : (uint64_t)(b & (0x3F >> extra));
  for (size_t i = 1; i <= extra; i++) m = (m << 8) | data[*at + i];
  *at += 1 + extra;
  if (m > 0x7FFFFFFFu) return -1;
  *value = (b & 0x80) != 0 ? -(int32_t)m : (int32_t)m;
  return 1;
}

/* The shortest form of a value. */
std::vector<uint8_t> Encode(int32_t v) {
  uint32_t m = v < 0 ? (uint32_t)(-(int64_t)v) : (uint32_t)v;
  uint8_t sign = v < 0 ? 0x80 : 0;
  if (m < 64) return {(uint8_t)(m | sign)};
  if (m < 8192) return {(uint8_t)((m >> 8) | 0x40 | sign), (uint8_t)m};
  if (m < 1048576) return {(uint8_t)((m >> 16) | 0x60 | sign), (uint8_t)(m >> 8), (uint8_t)m};
  if (m < 134217728) return {(uint8_t)((m >> 24) | 0x70 | sign), (uint8_t)(m >> 16), (uint8_t)(m >> 8), (uint8_t)m};
  return {(uint8_t)(0x78 | sign), (uint8_t)(m >> 24), (uint8_t)(m >> 16), (uint8_t)(m >> 8), (uint8_t)m};
}

std::vector<uint8_t> DescriptorOf(Fixture* f, JNISerialization* serialization, const char* name) {
  void* stream = refhost::SerialStreamCreate();
  jint result = serialization->functions->WriteClassDescriptor(f->env, name, kHome, f->support, stream);
  std::vector<uint8_t> bytes = refhost::SerialStreamBytes(stream);
  refhost::SerialStreamDestroy(stream);
  if (result != 0) Fail("a fixture descriptor cannot be written");
  return bytes;
}

void DestroyFixture(Fixture* f) {
  f->reader->Destroy(f->heap);
  f->numbers->Destroy(f->heap);
  f->writer->Destroy(f->heap);
  if (f->vm->functions->DestroyJavaVM(f->vm) != 0) Fail("the machine cannot be destroyed");
  delete f;
}

Fixture* MakeFixture() {
  Fixture* f = new Fixture();
  JNIHostFunctions* host = refhost::Functions();
  JNI_SetHostFunctions(host);
  refhost::SetClassPath(nullptr, fuzz_common::ClassPath());
  refhost::SetCapture(true);
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  args.name = "stored_desc_fuzz";
  jint made = JNI_CreateJavaVM(&f->vm, &f->env, &args);
  if (made != 0) {
    fprintf(stderr, "stored_desc_fuzz: no machine (%d)\n%s", (int)made, refhost::CapturedLog().c_str());
    abort();
  }
  f->heap = f->vm->vm->GetHeap();
  f->support = refhost::SerialSupport();
  JNISerialization* serialization =
      (JNISerialization*)f->env->functions->CreateSerializationInterface(f->env, f->support);
  if (serialization == nullptr) Fail("no serialization interface");
  f->good = DescriptorOf(f, serialization, "java/util/Vector");
  // The classes a seed names, loaded once: what an input adds is then only its own.
  for (const char* name : {"java/lang/Integer", "java/lang/Object", "java/util/Hashtable", "java/lang/Throwable"})
    (void)DescriptorOf(f, serialization, name);
  f->env->functions->DestroySerializationInterface(f->env, serialization);
  f->reader = VMClassDescDeserializer::CreateInstance(f->heap, f->support, VMInputByteStream::CreateInstance(f->heap, f->support));
  f->numbers = VMClassDescDeserializer::CreateInstance(f->heap, f->support, VMInputByteStream::CreateInstance(f->heap, f->support));
  f->writer = VMClassDescSerializer::CreateInstance(f->heap, f->support, VMOutputByteStream::CreateInstance(f->heap, f->support));
  if (f->reader == nullptr || f->numbers == nullptr || f->writer == nullptr) Fail("no readers");
  return f;
}

void CompactIntegers(Fixture* f, const std::vector<uint8_t>& data) {
  void* in = refhost::SerialStreamCreate(data.data(), data.size());
  void* out = refhost::SerialStreamCreate();
  VMInputByteStream* s = f->numbers->GetStream();
  s->SetHostStream(in);
  s->Reset();
  VMOutputByteStream* o = f->writer->GetStream();
  o->SetHostStream(out);
  o->Reset();
  std::vector<uint8_t> expected;
  size_t at = 0;
  for (;;) {
    int32_t want = 0;
    int known = Decode(data, &at, &want);
    jint got = 0;
    bool ok = f->numbers->GetCompactInt(&got);
    if (ok != (known == 1)) Fail(ok ? "a value decoded where the data has none" : "a value refused that the data holds");
    if (!ok) break;
    if (got != want) Fail("a value decoded other than the data holds");
    if (!f->writer->PutCompactInt(got)) Fail("a decoded value cannot be written");
    std::vector<uint8_t> shortest = Encode(got);
    size_t back = 0;
    int32_t again = 0;
    if (Decode(shortest, &back, &again) != 1 || again != got || back != shortest.size()) Fail("the shortest form reads back otherwise");
    expected.insert(expected.end(), shortest.begin(), shortest.end());
  }
  o->Flush();
  if (o->GetIsError()) Fail("the host refused the values written again");
  if (refhost::SerialStreamBytes(out) != expected) Fail("values written again are not in their shortest form");
  s->SetHostStream(nullptr);
  o->SetHostStream(nullptr);
  refhost::SerialStreamDestroy(in);
  refhost::SerialStreamDestroy(out);
}

std::string Text(VMLiteral* s) {
  std::string text;
  for (uint32_t i = 0; i < s->UTF8Length(); i++) text.push_back(*(const char*)s->FindElement(i));
  return text;
}

bool IsValidSignature(VMLiteral* s) {
  if (s == nullptr || s->UTF8Length() == 0) return false;
  std::string text = Text(s);
  uint32_t n = (uint32_t)text.size();
  if (n == 1) return vmserial::TypeCodeOfSignature((jchar)text[0]) > 0;
  uint32_t i = 0;
  while (i < n && text[i] == '[') i++;
  if (i == n) return false;
  if (text[i] == 'L') return text[n - 1] == ';' && n - i > 2;
  return i + 1 == n && vmserial::TypeCodeOfSignature((jchar)text[i]) > 0;
}

/* One record; the descriptor is checked and destroyed. */
bool Descriptor(Fixture* f, const uint8_t* data, size_t size, VMClassDescriptor** out) {
  void* stream = refhost::SerialStreamCreate(data, size);
  f->reader->GetStream()->SetHostStream(stream);
  VMClassDescriptor* desc = nullptr;
  bool ok = f->reader->ReadClassDesc(f->env, &desc, f->vm->nameSpace->FindOrCreateLoader(kHome));
  f->reader->GetStream()->SetHostStream(nullptr);
  refhost::SerialStreamDestroy(stream);
  if (f->env->thread->GetException() != nullptr) Fail("a read left an exception pending");
  if (!ok && desc != nullptr) Fail("a refused record gave a descriptor");
  if (desc != nullptr) {
    if (desc->GetName() == nullptr) Fail("a descriptor without a name");
    VMLoadableClass* cls = desc->GetClass();
    if (cls == nullptr || !((VMClass*)cls)->GetIsLoadable()) Fail("a descriptor without a loadable class");
    if ((desc->GetFlags() & ~(VMword)0xF) != 0) Fail("descriptor flags past four bits");
    VMDataMemberArray* members = desc->GetMembers();
    if (members == nullptr || members->GetSize() > vmserial::MAX_DESCRIPTOR_FIELDS) Fail("a descriptor's fields out of bounds");
    for (uint32_t i = 0; i < members->GetSize(); i++) {
      VMDataMember* m = members->Get(i);
      if (m == nullptr || m->GetName() == nullptr || m->GetName()->UTF8Length() == 0) Fail("a field without a name");
      if (!IsValidSignature(m->GetSignature())) Fail("a field whose signature names no type");
    }
  }
  if (out != nullptr) {
    *out = desc;
  } else if (desc != nullptr) {
    desc->Destroy(f->heap);
  }
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gFixture == nullptr) {
    gFixture = MakeFixture();
  } else if (++gFixture->inputs % 20000 == 0) {
    // Names read pile up in the name space for good: a fresh machine now and then.
    DestroyFixture(gFixture);
    gFixture = MakeFixture();
  }
  Fixture* f = gFixture;
  if (size == 0 || size > 65536) return 0;
  uint8_t options = data[0];
  std::vector<uint8_t> rest(data + 1, data + size);
  uint32_t seed = 2166136261u;
  for (size_t i = 0; i < size; i++) seed = (seed ^ data[i]) * 16777619u;
  std::vector<int32_t> pattern;
  switch ((options >> 1) & 3) {
    case 1: pattern = {1}; break;
    case 2:
    case 3:
      for (int i = 0; i < 16; i++) {
        seed = seed * 1103515245u + 12345u;
        pattern.push_back((int32_t)(1 + (seed >> 16) % 64));
      }
      break;
  }
  refhost::SerialSetReadPattern(pattern);
  if ((options & 1) == 0) {
    CompactIntegers(f, rest);
    refhost::SerialSetReadPattern({});
    return 0;
  }
  HHeap* nsHeap = f->vm->nameSpace->GetHeap();
  uint64_t nsBytes = refhost::BytesInUse(nsHeap);
  uint64_t heapBytes = refhost::BytesInUse(f->heap);
  (void)Descriptor(f, rest.data(), rest.size(), nullptr);
  refhost::SerialSetReadPattern({});
  // Only a class loaded for the first time may stay (its class object and the loader's
  // records); a descriptor read or refused leaves nothing.
  if (refhost::BytesInUse(f->heap) > heapBytes + 64 * (uint64_t)size + (256u << 10)) Fail("the heap grew without bound");
  if (refhost::BytesInUse(nsHeap) > nsBytes + 256 * (uint64_t)size + (256u << 10)) Fail("the name space grew without bound");
  // The same reader then reads a good record as it should.
  VMClassDescriptor* good = nullptr;
  if (!Descriptor(f, f->good.data(), f->good.size(), &good) || good == nullptr) Fail("a good record does not read after this input");
  if (!good->GetName()->EqualsAscii("java/util/Vector") || good->GetMembers()->GetSize() != 3)
    Fail("the good record reads otherwise");
  good->Destroy(f->heap);
  return 0;
}
