/* Tag names and the exported entry points of the storage layer. */
#include <dlfcn.h>
#include <string.h>

#include <set>
#include <string>

#include "storage_support.h"
#include "vmarray.h"
#include "vmsmallobjectbase.h"

JNIEXPORT jint HOSTCALL JNI_IntTagToString(VMword tag, char* buffer, jint size);
JNIEXPORT jint HOSTCALL JNI_TagToString(const void* block, uint32_t blockSize, char* buffer, jint size);

namespace {

std::string Name(VMword tag, jint size, jint* written = nullptr) {
  char buffer[300];
  memset(buffer, 'x', sizeof buffer);
  jint n = JNI_IntTagToString(tag, buffer, size);
  if (written) *written = n;
  return std::string(buffer, strnlen(buffer, n + 1 < (jint)sizeof buffer ? n + 1 : sizeof buffer));
}

TEST(TagNames, EdgeCases) {
  jint n;
  EXPECT_EQ("VMObject ", Name(0x206FFECA, 20, &n));
  EXPECT_EQ(9, n);
  EXPECT_EQ("VMLoadableClass Dummy-Class", Name(0x2063FECA, 100));
  EXPECT_EQ("VMUnknown ", Name(0, 100));
  EXPECT_EQ("VMMethod Dummy-Method", Name(VMTag_VMMethod, 100));
  EXPECT_EQ("VMLiteral Dummy-Literal", Name(VMTag_VMLiteral, 100));
  EXPECT_EQ("VMArrayClass Dummy-Class", Name(VMTag_VMArrayClass, 100));
  EXPECT_EQ("VMUnknown ", Name(0xEFBEADDE, 100));
  // Cut inside the detail: no terminating zero fits.
  EXPECT_EQ("VMLoadableClass Du", Name(0x2063FECA, 18, &n).substr(0, 18));
  EXPECT_EQ(18, n);
}

TEST(TagNames, NeverWritePastTheBufferSize) {
  char buffer[8];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(4, JNI_IntTagToString(0x206BFECA, buffer, 4));
  EXPECT_EQ(0, memcmp("VMCl", buffer, 4));
  EXPECT_EQ('#', buffer[4]);  // the zero does not fit, and nothing lands there
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(7, JNI_IntTagToString(0x206BFECA, buffer, 7));  // "VMClass", no blank
  EXPECT_EQ('#', buffer[7]);
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(0, JNI_IntTagToString(0x206BFECA, buffer, 0));
  EXPECT_EQ(0, JNI_IntTagToString(0x206BFECA, buffer, -5));
  EXPECT_EQ('#', buffer[0]);

  memset(buffer, '#', sizeof buffer);
  VMword block[2] = {VMTag_VMObject, 0};
  EXPECT_EQ(0, JNI_TagToString(block, 3, buffer, 8));
  EXPECT_EQ('#', buffer[0]);
  EXPECT_EQ(8, JNI_TagToString(block, 8, buffer, 8));
  EXPECT_EQ(0, memcmp("VMObject", buffer, 8));
  char wide[40];
  EXPECT_EQ(9, JNI_TagToString(block, 8, wide, 40));
  EXPECT_STREQ("VMObject ", wide);
}

TEST(TagNames, EveryClassOfTheTableHasItsOwnTag) {
  std::set<VMword> tags;
#define PUX_CHECK_TAG(name, kind, subkind)                                \
  tags.insert(VMTag_##name);                                              \
  EXPECT_EQ(#name, Name(VMTag_##name, 100).substr(0, sizeof(#name) - 1)); \
  EXPECT_TRUE(VMUtils::ValidateTag(VMTag_##name));
  PUX_VM_TAG_LIST(PUX_CHECK_TAG)
#undef PUX_CHECK_TAG
  EXPECT_EQ(178u, tags.size());
  // In memory a byte array's tag reads CA FE '[' 'B'.
  const uint8_t expected[4] = {0xCA, 0xFE, 0x5B, 0x42};
  VMword tag = VMTag_VMbyteArray;
  EXPECT_EQ(0, memcmp(expected, &tag, 4));
  EXPECT_EQ(0x425BFECAu, tag);
  EXPECT_EQ(0x2022FECAu, VMTag_VMJavaLangString);
  EXPECT_EQ(0x693FFECAu, VMTag_VMInternalObject);
  EXPECT_EQ(0x6A3DFECAu, VMTag_framelist);
}

class BlockNames : public storage_test::StorageTest {
 protected:
  VMbyteArray* Literal(const char* text) {
    uint32_t n = (uint32_t)strlen(text);
    VMbyteArray* literal = VMbyteArray::CreateInstance(heap, n, jallocFailFast, VMTag_VMLiteral);
    for (uint32_t i = 0; i < n; i++) literal->Set(i, (jbyte)text[i]);
    return literal;
  }
  VMInternalObject* Record(VMword tag, VMObject* elementTwo) {
    VMInternalObject* o = static_cast<VMInternalObject*>(
        VMObject::CreateInternalNotToBeCalledDirectly(heap, 4, 0x4, tag, jallocFailFast));
    o->SetReference(2, elementTwo);
    return o;
  }
  std::string Text(const void* block, uint32_t blockSize, jint size = 100) {
    char buffer[120];
    memset(buffer, '#', sizeof buffer);
    jint n = JNI_TagToString(block, blockSize, buffer, size);
    EXPECT_TRUE(n == size || buffer[n] == 0) << n;
    return std::string(buffer, n);
  }
};

TEST_F(BlockNames, LiteralsClassesAndMembersNameThemselves) {
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  VMbyteArray* literal = Literal("java/lang/Line\nFeed\r\f");
  EXPECT_EQ("VMLiteral java/lang/Line!Feed!!", Text(literal, 60));
  VMInternalObject* cls = Record(VMTag_VMLoadableClass, literal);
  EXPECT_EQ("VMLoadableClass java/lang/Line!Feed!!", Text(cls, 36));
  // A block too small to hold element 2 is named without it.
  EXPECT_EQ("VMLoadableClass ", Text(cls, 31));
  VMInternalObject* method = Record(VMTag_VMMethod, cls);
  EXPECT_EQ("VMMethod java/lang/Line!Feed!!", Text(method, 36));
  EXPECT_EQ("VMMethod java", Text(method, 36, 13));
  VMInternalObject* orphan = Record(VMTag_VMDataMember, nullptr);
  EXPECT_EQ("VMDataMember ", Text(orphan, 36));
  VMInternalObject* thread = Record(VMTag_VMThread, literal);
  EXPECT_EQ("VMThread ", Text(thread, 36));
  for (VMObject* o : {(VMObject*)method, (VMObject*)cls, (VMObject*)orphan, (VMObject*)thread, (VMObject*)literal})
    o->Destroy(heap);
  // The text copies were given back to process memory.
  EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));
}

/* The block being named may be damaged: a word that should lead to a name but holds
   something else gives no detail rather than a read through it. */
TEST_F(BlockNames, WordsThatDoNotLeadToANameGiveNoDetail) {
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  VMbyteArray* notALiteral = VMbyteArray::CreateInstance(heap, 4, jallocFailFast, VMTag_VMbyteArray);
  for (uint32_t i = 0; i < 4; i++) notALiteral->Set(i, 'z');
  VMbyteArray* literal = Literal("p/Named");
  VMInternalObject* badName = Record(VMTag_VMClass, notALiteral);
  EXPECT_EQ("VMClass ", Text(badName, 36));
  VMInternalObject* smallWord = Record(VMTag_VMLoadableClass, reinterpret_cast<VMObject*>(0x10));
  EXPECT_EQ("VMLoadableClass ", Text(smallWord, 36));
  // A member whose class word holds a literal instead of a class.
  VMInternalObject* member = Record(VMTag_VMDataMember, literal);
  EXPECT_EQ("VMDataMember ", Text(member, 36));
  VMInternalObject* cls = Record(VMTag_VMClass, literal);
  VMInternalObject* method = Record(VMTag_VMMethod, cls);
  EXPECT_EQ("VMMethod p/Named", Text(method, 36));
  // Before the host has given its table the name alone is printed.
  VMUtils::SetHostFunctions(nullptr);
  EXPECT_EQ("VMMethod ", Text(method, 36));
  EXPECT_EQ("VMLiteral ", Text(literal, 60));
  VMUtils::SetHostFunctions(host);
  for (VMObject* o : {(VMObject*)method, (VMObject*)cls, (VMObject*)member, (VMObject*)smallWord,
                      (VMObject*)badName, (VMObject*)literal, (VMObject*)notALiteral})
    o->Destroy(heap);
  EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));
}

/* A heap walk hands the host every block, the pieces and nodes of large bodies included;
   they carry their owner's tag, but their words are the owner's data. A long literal
   whose data would read as a literal header, a literal whose block is cut short, and a
   class whose name word points into a piece are all named without a detail. */
TEST_F(BlockNames, PiecesAndCutBlocksAreNeverReadAsObjects) {
  uint32_t processBlocks = refhost::BlocksInUse(nullptr);
  std::string text(1000, 'a');
  // Data bytes 788-795 lie where a piece block read as an object has its size and shift:
  // a "literal" of 300 bytes that runs past the 264-byte piece.
  const char fake[8] = {44, 1, 0, 0, 0, 0, 0, 0};
  memcpy(&text[788], fake, 8);
  VMbyteArray* literal = VMbyteArray::CreateInstance(heap, 1000, jallocFailFast, VMTag_VMLiteral);
  ASSERT_NE(nullptr, literal);
  for (uint32_t i = 0; i < 1000; i++) literal->Set(i, (jbyte)text[i]);
  for (uint32_t slot = 196; slot < 216; slot++) {
    VMword* data = reinterpret_cast<VMword*>(literal->Body()[slot]);
    if (data == nullptr) break;
    const void* piece = data - 2;
    uint32_t pieceSize = 8 + 4 * (data[-1] >> 16);
    EXPECT_EQ("VMLiteral ", Text(piece, pieceSize)) << slot;
  }
  // The head itself is named with its text, as far as the buffer goes.
  EXPECT_EQ("VMLiteral " + text.substr(0, 90), Text(literal, 20 + 216 * 4));
  // A size that cannot hold the head's own words.
  EXPECT_EQ("VMLiteral ", Text(literal, 20 + 215 * 4));
  // A class whose name word leads into the literal's first piece.
  VMInternalObject* cls = Record(VMTag_VMClass, reinterpret_cast<VMObject*>(literal->Body()[196] - 8));
  EXPECT_EQ("VMClass ", Text(cls, 36));
  cls->Destroy(heap);
  literal->Destroy(heap);
  EXPECT_EQ(processBlocks, refhost::BlocksInUse(nullptr));
}

typedef jint(HOSTCALL* SetHostFn)(JNIHostFunctions*);
typedef jint(HOSTCALL* SetJitFn)(JNIHostJitSupport*);
typedef jint(HOSTCALL* IntTagFn)(VMword, char*, jint);

TEST(Exports, TheLibraryExportsItsEntryPointsByName) {
  void* library = dlopen(PUX_BUILD_DIR "/libpuxjvm.so", RTLD_NOW);
  ASSERT_NE(nullptr, library) << dlerror();
  for (const char* name : {"JNI_SetHostFunctions", "JNI_SetJitFunctions", "JNI_Assert", "JNI_IntTagToString",
                           "JNI_TagToString"})
    EXPECT_NE(nullptr, dlsym(library, name)) << name;

  SetHostFn setHost = reinterpret_cast<SetHostFn>(dlsym(library, "JNI_SetHostFunctions"));
  SetJitFn setJit = reinterpret_cast<SetJitFn>(dlsym(library, "JNI_SetJitFunctions"));
  IntTagFn intTag = reinterpret_cast<IntTagFn>(dlsym(library, "JNI_IntTagToString"));
  ASSERT_TRUE(setHost && setJit && intTag);
  EXPECT_EQ(0x01A53DE5, setHost(refhost::Functions()));
  EXPECT_EQ(0x01A53DE5, setHost(nullptr));
  EXPECT_EQ(nullptr, VMUtils::GetHostFunctions());
  EXPECT_EQ(0x01A53DE5, setHost(refhost::Functions()));
  EXPECT_EQ(refhost::Functions(), VMUtils::GetHostFunctions());
  int jitTable = 0;
  EXPECT_EQ(0, setJit(reinterpret_cast<JNIHostJitSupport*>(&jitTable)));
  EXPECT_EQ(nullptr, VMUtils::GetJITFunctions());
  char buffer[16];
  EXPECT_EQ(3, intTag(VMTag_VM, buffer, 16));
  EXPECT_STREQ("VM ", buffer);
  dlclose(library);
}

}  // namespace
