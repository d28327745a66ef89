/* Shared set-up of the stored-object tests: a machine made through the exported entries
   on the reference host, over the class library (loader 0, the system loader), the
   classes of tests/java/serial in loader 5 (the home loader of the tests' objects) and
   those of tests/java/serial_alt before them in loader 7 (so that loader 7 has classes of
   its own of the same names, one of them in another version), the reference host's
   serialization support table, objects built the way the machine lays them out, and the
   checks every test ends with: no machine, process memory, host handle or host stream
   left, and no object of the heap still marked as being read. */
#ifndef PUX_TESTS_SERIAL_SUPPORT_H
#define PUX_TESTS_SERIAL_SUPPORT_H

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "refhost.h"
#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmserial.h"
#include "vmthread.h"

namespace serial_test {

typedef std::vector<uint8_t> Bytes;

/* A compact integer as the format writes it. */
Bytes Compact(int32_t v);
Bytes Cat(std::initializer_list<Bytes> parts);
std::string Hex(const Bytes& bytes);

class SerialTest : public ::testing::Test {
 protected:
  friend class GraphMaker;
  void SetUp() override;
  void TearDown() override;

  /* A machine on the calling thread (share: the machine whose name space it shares). */
  JavaVM* CreateMachine(JNIEnv** env, JavaVM* share = nullptr, int version = 1);
  void DestroyMachine(JavaVM* vm);

  /* ---- classes and objects of the machine `env` ---- */
  static void* const kHome;
  static void* const kOther;
  VMLoadableClass* Class(const char* name, void* loader = kHome, JNIEnv* on = nullptr);
  /* The same, NULL (and no failure) when the class cannot be had. */
  VMLoadableClass* TryClass(const char* name, void* loader = kHome);
  /* The field of that name in the class or a superclass. */
  static VMDataMember* Field(VMClass* cls, const char* name);
  /* The tests keep their objects in C++ variables, where the collector does not look:
     every object a test makes or reads back is held as machine code holds one, until
     LetGo (or the machine's end). */
  template <typename T>
  T* Hold(T* o) {
    if (o != nullptr) {
      o->SetIsReachableByCPlusPlusCode();
      held.push_back(o);
    }
    return o;
  }
  /* Lets the collector have every object held so far (all their machines still live). */
  void LetGo();
  VMObject* New(VMLoadableClass* cls);
  VMObject* New(const char* name, void* loader = kHome) { return New(Class(name, loader)); }
  static void SetWord(VMObject* o, const char* field, VMword value);
  static VMword GetWord(VMObject* o, const char* field);
  static void SetLong(VMObject* o, const char* field, jlong value);
  static jlong GetLong(VMObject* o, const char* field);
  static void SetRef(VMObject* o, const char* field, VMObject* value) { SetWord(o, field, (VMword)value); }
  static VMObject* GetRef(VMObject* o, const char* field) { return (VMObject*)GetWord(o, field); }
  VMJavaLangString* Str(const char* text);
  /* A primitive array of a type code (4..11) and a reference array of the element class. */
  VMArray* NewPrimitives(int code, uint32_t length);
  VMrefArray* NewReferences(VMClass* elementClass, uint32_t length);

  /* ---- the serialization interface of the machine `env` ---- */
  JNISerialization* Interface() { return serialization; }
  VMObjectSerializer* Serializer();
  VMObjectDeserializer* Deserializer();
  /* The row that WriteObject stores for the object, and its result through ok. */
  Bytes Write(VMObject* root, int type, jint* result = nullptr);
  /* The object ReadObject makes of the bytes in the loader (NULL on failure). */
  VMObject* Read(const Bytes& bytes, void* loaderId = kHome);
  /* The same on another machine's env and interface. */
  Bytes WriteOn(JNIEnv* on, JNISerialization* through, VMObject* root, int type, jint* result = nullptr);
  VMObject* ReadOn(JNIEnv* on, JNISerialization* through, const Bytes& bytes, void* loaderId);

  /* ---- what every call must leave behind ---- */
  /* Blocks of the machine's heap still flagged as being read. */
  uint32_t FlaggedBlocks(HHeap* heap = nullptr);
  /* The deserializer's and serializer's tables hold nothing. */
  void ExpectTablesEmpty();
  uint32_t HeapBlocks() { return refhost::BlocksInUse(heap); }
  /* Objects the machine's global references hold. */
  uint32_t LiveGlobals();

  /* The two graphs have the same shape: a bijection of their objects under which classes
     (by name, or identical when sameClasses), array lengths, primitive values (bit for
     bit) and references agree; transient fields of b are zero. The first difference, or
     "". */
  std::string Compare(VMObject* a, VMObject* b, bool sameClasses);

  JNIHostFunctions* host = nullptr;
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  VM* machine = nullptr;
  HHeap* heap = nullptr;
  VMNameSpace* ns = nullptr;
  JNISerialization* serialization = nullptr;
  JNIHostSerializationSupport* support = nullptr;
  uint32_t processBlocksBefore = 0;
  uint32_t leakReportsBefore = 0;
  int32_t spinLocksBefore = 0;
  int32_t eventsBefore = 0;
  std::vector<VMObject*> held;
};

/* Random graphs over the test classes. */
class GraphMaker {
 public:
  GraphMaker(SerialTest* test, uint32_t seed, uint32_t maxObjects);
  VMObject* Make();
  /* Graphs of further seeds until one has at least min objects. */
  VMObject* MakeAtLeast(uint32_t min);
  uint32_t Count() const { return (uint32_t)made.size(); }

 private:
  VMObject* Value(VMClass* declared, int depth);
  VMObject* Fresh(VMClass* declared, int depth);
  VMObject* NewOf(VMLoadableClass* cls, int depth);
  VMObject* NewArrayOf(VMArrayClass* cls, int depth);
  void FillPrimitive(VMObject* o, VMDataMember* field);
  VMJavaLangString* RandomString();
  uint32_t Length(uint32_t width);
  uint32_t Pick(uint32_t n) { return n == 0 ? 0 : (uint32_t)(rng() % n); }

  SerialTest* t;
  std::mt19937 rng;
  uint32_t limit;
  std::vector<VMObject*> made;
  std::vector<VMLoadableClass*> classes;
  std::vector<VMClass*> arrays;
  VMcharArray* shared = nullptr;
};

}  // namespace serial_test

#endif
