/* Fuzz target of the stored-object reader. Every input is a row that a host hands the
   machine to read: a machine made through JNI_CreateJavaVM over the class library and
   the test classes of tests/java/serial reads it through the serialization interface,
   with the host's class ids fixed:
     1-48   classes of the library and the tests (see kNamed), found in the read's loader;
     49-56  ids the host no longer names as classes, with valid stored descriptors;
     57-64  the same, with the descriptor bytes taken from the input's tail.
   Classes with hooks and Externalizable classes read their trailing section through the
   host's stream classes (the test doubles of tests/java/serial_host, whose natives reach
   this reader's FindObject, and the host's streams for type 5); stored/Misfit's hook and
   stored/Keeper's constructor keep the objects they read where Java code reaches them.
   Byte 0 of the input holds options: bit 0 the read's loader (5, or 7 where one class
   has another version), bits 1-2 the host's read counts (whole buffers, single bytes, or
   counts from a generator seeded by the input), bit 3 a host read that reports a count
   outside the buffer at some point, bit 4 ReadObjectClasses before the read. Then the
   row; then, after the bytes FF FE, the descriptor tail.

   After each input: no sanitizer report; the object read, if any, passes a check of the
   heap from it (every reference slot null or an object of a class its declared type
   admits, arrays of their kind, strings and string buffers within their chars, nothing
   still marked as being read), and so do the objects Java code kept, whether the read
   failed or not; no block of the heap is marked as being read; the
   reader's tables are empty; a good row then reads correctly on the same reader; and the
   name space grew by no more than the input can account for.

   PUX_STORED_SEEDS=<dir> makes the target write its seed rows there and exit (they are
   kept in fuzz/seeds/stored/). Built and run by fuzz/run.sh stored. */
#define PUX_FUZZ_NAME "stored_fuzz"
#include "fuzz_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>

#include "vm.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmserial.h"
#include "vmthread.h"

namespace {

const char* const kNamed[48] = {
    "java/lang/Object",   "java/lang/String",  "java/lang/StringBuffer", "java/lang/Class",
    "java/lang/Thread",   "java/io/FileDescriptor", "java/util/Vector",  "java/util/Hashtable",
    "java/util/HashtableEntry", "java/lang/Integer", "java/lang/Number", "stored/Prims",
    "stored/Node",        "stored/A",          "stored/B",               "stored/C",
    "stored/Derived",     "stored/Base",       "stored/Big",             "stored/Holder",
    "stored/Tagged",      "stored/Marker",     "stored/Shape",           "stored/Hooked",
    "stored/Ext",         "stored/Plain",      "stored/SerThread",       "stored/SerRef",
    "stored/StaticHook",  "stored/Evolving",   "java/lang/Throwable",    "java/lang/Long",
    "stored/Journal",     "stored/Tally",      "stored/TierBase",        "stored/TierMid",
    "stored/TierTop",     "stored/Linked",     "stored/Misfit",          "stored/Keeper",
    "stored/TallyPlus",   "stored/ReadOnlyHook", "stored/Counted",       "corvane/sql/Tavik/VqStoredRef",
    "java/lang/Boolean",  "java/lang/Character", "java/util/Stack",      "java/util/Random",
};
const int kNamedCount = 48;
const jint kDescribedIds = 49;  /* 49-56 */
const jint kTailIds = 57;       /* 57-64 */
const char* const kDescribed[8] = {"stored/A", "stored/B", "stored/Node", "stored/Prims",
                                   "stored/Holder", "stored/Evolving", "stored/C", "stored/Derived"};
void* const kHome = (void*)5;
void* const kOther = (void*)7;

struct Fixture {
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  JNISerialization* serialization = nullptr;
  JNIHostSerializationSupport* support = nullptr;
  std::vector<uint8_t> good;  /* a row read after every input */
  // The good row's root class (its loader keeps it): the root object itself is held by
  // nothing, and a collection may take it while inputs are read.
  VMClass* goodClass = nullptr;
  uint32_t inputs = 0;
};

Fixture* gFixture = nullptr;

/* The host's stream classes, bound to this fixture's reader and writer and to the
   reference host's streams. */
jint JNICALL AddObject0(JNIEnv* env, jclass, jobject object) {
  return gFixture->serialization->functions->AddObject(env, gFixture->serialization->serializer, object);
}
jobject JNICALL FindObject0(JNIEnv* env, jclass, jint id) {
  return gFixture->serialization->functions->FindObject(env, gFixture->serialization->deserializer, id);
}
jboolean JNICALL Write0(JNIEnv*, jclass, jlong handle, jint b) {
  uint8_t byte = (uint8_t)b;
  return refhost::SerialSupport()->Write((void*)(intptr_t)(jint)handle, &byte, 1) != 0 ? 1 : 0;
}
jint JNICALL Read0(JNIEnv*, jclass, jlong handle) {
  uint8_t byte = 0;
  jint count = 0;
  if (refhost::SerialSupport()->Read((void*)(intptr_t)(jint)handle, &byte, 1, &count) == 0 || count != 1) return -1;
  return byte;
}
const JNINativeMethod kObjectOutNatives[] = {{(char*)"addObject0", (char*)"(Ljava/lang/Object;)I", (void*)&AddObject0}};
const JNINativeMethod kObjectInNatives[] = {{(char*)"findObject0", (char*)"(I)Ljava/lang/Object;", (void*)&FindObject0}};
const JNINativeMethod kOutNatives[] = {{(char*)"write0", (char*)"(JI)Z", (void*)&Write0}};
const JNINativeMethod kInNatives[] = {{(char*)"read0", (char*)"(J)I", (void*)&Read0}};

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "stored_fuzz: %s\n", what);
  abort();
}

VMLoadableClass* ClassOf(Fixture* f, const char* name, void* loader = kHome) {
  jclass ref = f->env->functions->FindClassInLoaderId(f->env, name, loader);
  VMClass* cls = VMJniUnHandleClass(f->env, ref);
  if (ref != nullptr) f->env->functions->DeleteLocalRef(f->env, ref);
  f->env->functions->ExceptionClear(f->env);
  return cls != nullptr && cls->GetIsLoadable() ? (VMLoadableClass*)cls : nullptr;
}

VMDataMember* FieldOf(VMClass* cls, const char* name) {
  for (VMLoadableClass* k = (VMLoadableClass*)cls; k != nullptr; k = k->GetSuper()) {
    VMDataMemberArray* fields = k->GetDataMembers();
    for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++)
      if (fields->Get(i)->GetName()->EqualsAscii(name)) return fields->Get(i);
  }
  Fail("a fixture field is missing");
}

void Set(VMObject* o, const char* field, VMword value) { o->SetWord((uint32_t)FieldOf(o->GetClass(), field)->GetIndex(), value); }

jclass ClassRefOf(Fixture* f, const char* name) {
  VMLoadableClass* cls = ClassOf(f, name);
  if (cls == nullptr) Fail("a fixture class is missing");
  return (jclass)VMJniHandle::NewLocal(f->env, (VMObject*)cls);
}

void SetStaticInt(Fixture* f, const char* cls, const char* field, jint value) {
  const JNINativeInterface_* jni = f->env->functions;
  jclass c = ClassRefOf(f, cls);
  jni->SetStaticIntField(f->env, c, jni->GetStaticFieldID(f->env, c, field, "I"), value);
  jni->DeleteLocalRef(f->env, c);
}

void SetShared(Fixture* f, bool on) {
  const JNINativeInterface_* jni = f->env->functions;
  jclass c = jni->FindClass(f->env, "corvane/sql/Tavik/VqObjectOutputStream");
  if (c == nullptr) Fail("the host's object stream class is missing");
  jni->SetStaticBooleanField(f->env, c, jni->GetStaticFieldID(f->env, c, "share", "Z"), on ? 1 : 0);
  jni->DeleteLocalRef(f->env, c);
}

/* What the class's static "kept" holds now (null when nothing). */
VMObject* Kept(Fixture* f, const char* cls) {
  const JNINativeInterface_* jni = f->env->functions;
  jclass c = ClassRefOf(f, cls);
  jobject o = jni->GetStaticObjectField(f->env, c, jni->GetStaticFieldID(f->env, c, "kept", "Ljava/lang/Object;"));
  jni->DeleteLocalRef(f->env, c);
  VMObject* object = VMJniHandle::UnHandle(f->env, o);
  if (o != nullptr) jni->DeleteLocalRef(f->env, o);
  return object;
}

VMObject* Made(Fixture* f, const char* cls) {
  return VMObject::CreateInstance(f->vm->vm->GetHeap(), ClassOf(f, cls), jallocFailFast);
}

std::vector<uint8_t> WriteRow(Fixture* f, VMObject* root, int type) {
  void* stream = refhost::SerialStreamCreate();
  jobject ref = VMJniHandle::NewLocal(f->env, root);
  jint result = f->serialization->functions->WriteObject(f->env, f->serialization->serializer, type, ref, stream);
  f->env->functions->DeleteLocalRef(f->env, ref);
  std::vector<uint8_t> bytes = refhost::SerialStreamBytes(stream);
  refhost::SerialStreamDestroy(stream);
  if (result != 0) bytes.clear();
  return bytes;
}

std::vector<uint8_t> DescriptorOf(Fixture* f, const char* name) {
  void* stream = refhost::SerialStreamCreate();
  jint result = f->serialization->functions->WriteClassDescriptor(f->env, name, kHome, f->support, stream);
  std::vector<uint8_t> bytes = refhost::SerialStreamBytes(stream);
  refhost::SerialStreamDestroy(stream);
  if (result != 0) Fail("a fixture descriptor cannot be written");
  return bytes;
}

VMArray* Primitives(Fixture* f, int code, uint32_t n) {
  VMClassList* list = f->vm->nameSpace->GetClassList();
  VMClass* element = code == 5 ? list->GetVMcharClass() : code == 10 ? list->GetVMintClass() : list->GetVMlongClass();
  VMArray* a = VMArray::CreateInstance(f->vm->vm->GetHeap(), n, vmserial::SizeOfTypeCode(code), jallocFailFast,
                                       VMTag_VMUserArrayInstance);
  a->SetIsScalarArray();
  a->SetClass(element->MakeArrayOf());
  for (uint32_t i = 0; i < n; i++) *(uint8_t*)a->FindElement(i) = (uint8_t)(i * 7 + 1);
  return a;
}

/* Graphs of the seeds and the good row: a bit of everything the format carries. */
std::vector<VMObject*> SeedGraphs(Fixture* f) {
  HHeap* heap = f->vm->vm->GetHeap();
  std::vector<VMObject*> roots;
  VMObject* node = VMObject::CreateInstance(heap, ClassOf(f, "stored/Node"), jallocFailFast);
  VMObject* kid = VMObject::CreateInstance(heap, ClassOf(f, "stored/Node"), jallocFailFast);
  VMrefArray* kids = VMrefArray::CreateInstance(heap, 2, jallocFailFast, VMTag_VMUserArrayInstance);
  kids->SetClass(ClassOf(f, "stored/Node")->MakeArrayOf());
  kids->Set(0, kid);
  kids->Set(1, node);
  Set(node, "kids", (VMword)kids);
  Set(node, "next", (VMword)node);
  Set(node, "name", (VMword)VMJavaLangString::CreateInstance(f->env, "n\xC0\x80\xED\xA0\x80"));
  Set(node, "data", (VMword)Primitives(f, 10, 3));
  Set(node, "type", (VMword)ClassOf(f, "stored/Prims"));
  Set(kid, "any", (VMword)Primitives(f, 5, 5));
  roots.push_back(node);
  VMObject* c = VMObject::CreateInstance(heap, ClassOf(f, "stored/C"), jallocFailFast);
  Set(c, "a", 0x11223344);
  Set(c, "ra", (VMword)node);
  Set(c, "rb", (VMword)VMJavaLangString::CreateInstance(f->env, "rb"));
  roots.push_back(c);
  VMObject* holder = VMObject::CreateInstance(heap, ClassOf(f, "stored/Holder"), jallocFailFast);
  Set(holder, "node", (VMword)node);
  Set(holder, "marker", (VMword)VMObject::CreateInstance(heap, ClassOf(f, "stored/Tagged"), jallocFailFast));
  Set(holder, "any", (VMword)Primitives(f, 11, 200));
  roots.push_back(holder);
  VMObject* prims = VMObject::CreateInstance(heap, ClassOf(f, "stored/Prims"), jallocFailFast);
  Set(prims, "b", (VMword)-1);
  Set(prims, "c", 0xFFFF);
  roots.push_back(prims);
  roots.push_back(VMObject::CreateInstance(heap, ClassOf(f, "stored/Evolving"), jallocFailFast));
  roots.push_back(VMObject::CreateInstance(heap, ClassOf(f, "stored/Big"), jallocFailFast));
  roots.push_back(VMObject::CreateInstance(heap, ClassOf(f, "stored/Derived"), jallocFailFast));
  roots.push_back(VMObject::CreateInstance(heap, ClassOf(f, "stored/SerThread"), jallocFailFast));
  // Classes with data of their own, for the trailing section: hooks at the top and the
  // bottom of a chain, Externalizable objects (one kept by its constructor), a hook that
  // keeps what it reads, and hooks nested in the section's stream.
  VMrefArray* own = VMrefArray::CreateInstance(heap, 7, jallocFailFast, VMTag_VMUserArrayInstance);
  own->SetClass(f->vm->nameSpace->GetClassList()->GetObjectClass()->MakeArrayOf());
  VMObject* journal = Made(f, "stored/Journal");
  Set(journal, "value", 5);
  Set(journal, "note", (VMword)VMJavaLangString::CreateInstance(f->env, "note"));
  VMObject* tally = Made(f, "stored/Tally");
  Set(tally, "count", 3);
  Set(tally, "label", (VMword)VMJavaLangString::CreateInstance(f->env, "label"));
  VMObject* tier = Made(f, "stored/TierTop");
  Set(tier, "link", (VMword)journal);
  Set(tier, "extra", (VMword)tally);
  Set(tier, "top", 7);
  VMObject* misfit = Made(f, "stored/Misfit");
  Set(misfit, "peer", (VMword)node);
  VMObject* keeper = Made(f, "stored/Keeper");
  Set(keeper, "other", (VMword)journal);
  VMObject* first = Made(f, "stored/Linked");
  VMObject* second = Made(f, "stored/Linked");
  Set(first, "next", (VMword)second);
  Set(second, "value", 2);
  own->Set(0, journal);
  own->Set(1, tally);
  own->Set(2, tier);
  own->Set(3, misfit);
  own->Set(4, keeper);
  own->Set(5, first);
  own->Set(6, Made(f, "stored/TallyPlus"));
  roots.push_back(own);
  return roots;
}

void DestroyFixture(Fixture* f) {
  f->env->functions->DestroySerializationInterface(f->env, f->serialization);
  if (f->vm->functions->DestroyJavaVM(f->vm) != 0) Fail("the machine cannot be destroyed");
  delete f;
}

Fixture* MakeFixture() {
  Fixture* f = new Fixture();
  JNIHostFunctions* host = refhost::Functions();
  JNI_SetHostFunctions(host);
  std::string lib = fuzz_common::ClassPath() + ":" + std::string(PUX_BUILD_DIR) + "/testclasses/serial_host";
  std::string classes = std::string(PUX_BUILD_DIR) + "/testclasses/serial";
  refhost::SetClassPath(nullptr, lib);
  refhost::SetClassPath(kHome, classes);
  refhost::SetClassPath(kOther, std::string(PUX_BUILD_DIR) + "/testclasses/serial_alt:" + classes);
  refhost::SetCapture(true);
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  args.name = "stored_fuzz";
  if (JNI_CreateJavaVM(&f->vm, &f->env, &args) != 0) Fail("no machine");
  // A small heap, so that a row that claims much fails fast rather than slowly.
  refhost::SetHeapCapacity(f->vm->vm->GetHeap(), 64u << 20);
  if (JNI_RegisterNative("corvane/sql/Tavik/VqObjectOutputStream", kObjectOutNatives, 1) != 0 ||
      JNI_RegisterNative("corvane/sql/Tavik/VqObjectInputStream", kObjectInNatives, 1) != 0 ||
      JNI_RegisterNative("corvane/sql/Tavik/VqOutputStream", kOutNatives, 1) != 0 ||
      JNI_RegisterNative("corvane/sql/Tavik/VqInputStream", kInNatives, 1) != 0)
    Fail("the host's stream classes cannot be bound");
  f->support = refhost::SerialSupport();
  f->serialization = (JNISerialization*)f->env->functions->CreateSerializationInterface(f->env, f->support);
  if (f->serialization == nullptr) Fail("no serialization interface");
  static bool named = false;
  if (!named) {
    // Ids are the host's for the life of the process: 1 to 32 in this order.
    for (int i = 0; i < kNamedCount; i++)
      if (refhost::SerialIdOf(kNamed[i]) != i + 1) Fail("the fixture's class ids are taken");
    named = true;
  }
  for (int i = 0; i < 8; i++) {
    refhost::SerialMapId(kDescribedIds + i, kDescribed[i]);
    refhost::SerialHideClassId(kDescribedIds + i, true);
    refhost::SerialSetClassData(kDescribedIds + i, DescriptorOf(f, kDescribed[i]));
    refhost::SerialMapId(kTailIds + i, kDescribed[i]);
    refhost::SerialHideClassId(kTailIds + i, true);
  }
  // Every class an id names, loaded in both loaders: what an input adds to the name
  // space is then only what the input itself names.
  for (const char* name : kNamed) {
    (void)ClassOf(f, name, kHome);
    (void)ClassOf(f, name, kOther);
  }
  // Misfit's hook keeps what it reads (Keeper's constructor always does).
  SetStaticInt(f, "stored/Misfit", "readMode", 16);
  std::vector<VMObject*> graphs = SeedGraphs(f);
  f->goodClass = graphs[0]->GetClass();
  f->good = WriteRow(f, graphs[0], 1);
  if (f->good.empty()) Fail("the good row cannot be written");
  // The object streams and what they load, loaded once in both loaders: a row's growth
  // of the name space is measured from there.
  for (int type : {0, 5}) {
    std::vector<uint8_t> row = WriteRow(f, graphs.back(), type);
    for (void* loader : {kHome, kOther}) {
      void* stream = refhost::SerialStreamCreate(row.data(), row.size());
      jobject back = f->serialization->functions->ReadObject(f->env, f->serialization->deserializer, stream, loader);
      refhost::SerialStreamDestroy(stream);
      if (back == nullptr) Fail("a row of classes with data of their own does not read");
      f->env->functions->DeleteLocalRef(f->env, back);
    }
  }
  return f;
}

/* ---- the heap check ---- */

jboolean HOSTCALL CountFlagged(void* block, void* ctx) {
  const VMword* words = (const VMword*)block;
  if (words[0] != VM_DESTROYED_TAG && (words[1] & VMFLAG_DESERIALIZING) != 0) (*(uint32_t*)ctx)++;
  return 1;
}

void CheckGraph(Fixture* f, VMObject* root) {
  VMNameSpace* ns = f->vm->nameSpace;
  VMClass* classClass = ns->GetClassList()->GetClassClass();
  VMClass* stringClass = ns->GetClassList()->GetStringClass();
  VMClass* bufferClass = ClassOf(f, "java/lang/StringBuffer");
  VMDataMember* bufferValue = FieldOf(bufferClass, "value");
  VMDataMember* bufferCount = FieldOf(bufferClass, "count");
  std::set<VMObject*> seen;
  std::vector<VMObject*> work = {root};
  seen.insert(root);
  auto reach = [&](VMObject* value, VMClass* declared) {
    if (value == nullptr) return;
    if (((VMword*)value)[0] == VM_DESTROYED_TAG) Fail("a reference to a released block");
    if (!VMClass::AssignableFrom(value->GetClass(), declared)) Fail("a reference its declared type does not admit");
    if (seen.insert(value).second) work.push_back(value);
  };
  while (!work.empty()) {
    VMObject* o = work.back();
    work.pop_back();
    if (o->GetIsDeserializing()) Fail("an object of the result is still marked as being read");
    VMClass* cls = o->GetClass();
    if (cls == nullptr) Fail("an object without a class");
    if (cls == classClass) continue;
    if (cls->GetIsArray()) {
      VMClass* element = ((VMArrayClass*)cls)->GetElementClass();
      if (element->GetIsPrimitive() != o->GetIsScalarArray() || element->GetIsPrimitive() == o->GetIsRefArray())
        Fail("an array of the wrong kind");
      if (o->GetIsRefArray()) {
        VMrefArray* a = (VMrefArray*)o;
        for (uint32_t i = 0; i < a->GetSize(); i++) reach(a->Get(i), element);
      }
      continue;
    }
    if (!cls->GetIsLoadable() || o->GetIsRefArray() || o->GetIsScalarArray()) Fail("an object with an array's kind");
    for (VMLoadableClass* k = (VMLoadableClass*)cls; k != nullptr; k = k->GetSuper()) {
      VMDataMemberArray* fields = k->GetDataMembers();
      for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++) {
        VMDataMember* field = fields->Get(i);
        if (field->GetIsStatic() || !field->IsRefField()) continue;
        reach((VMObject*)o->GetWord((uint32_t)field->GetIndex()), field->GetClass());
      }
    }
    if (cls == stringClass) {
      VMJavaLangString* s = (VMJavaLangString*)o;
      VMcharArray* value = s->GetValue();
      if (value == nullptr || (uint64_t)s->GetOffset() + s->GetCount() > value->GetSize() || (int32_t)s->GetOffset() < 0 ||
          (int32_t)s->GetCount() < 0)
        Fail("a string outside its chars");
    }
    if (cls == bufferClass) {
      VMArray* value = (VMArray*)o->GetWord((uint32_t)bufferValue->GetIndex());
      int32_t count = (int32_t)o->GetWord((uint32_t)bufferCount->GetIndex());
      if (count < 0 || (uint32_t)count > (value != nullptr ? value->GetSize() : 0)) Fail("a string buffer outside its chars");
    }
  }
}

/* ---- seeds ---- */

void WriteSeed(const std::string& dir, const std::string& name, uint8_t options, const std::vector<uint8_t>& row,
               const std::vector<uint8_t>& tail = {}) {
  std::vector<uint8_t> bytes = {options};
  bytes.insert(bytes.end(), row.begin(), row.end());
  if (!tail.empty()) {
    bytes.push_back(0xFF);
    bytes.push_back(0xFE);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
  }
  FILE* file = fopen((dir + "/" + name).c_str(), "wb");
  if (file == nullptr) Fail("a seed cannot be written");
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

void MakeSeeds(Fixture* f, const std::string& dir) {
  mkdir(dir.c_str(), 0777);
  std::vector<VMObject*> roots = SeedGraphs(f);
  for (size_t i = 0; i < roots.size(); i++) {
    for (int type : {0, 1, 3}) {
      std::vector<uint8_t> row = WriteRow(f, roots[i], type);
      if (row.empty()) continue;
      std::string name = "graph" + std::to_string(i) + "_type" + std::to_string(type);
      WriteSeed(dir, name, (uint8_t)(i % 2), row);
      WriteSeed(dir, name + "_bytewise", 0x02, row);
    }
  }
  // The trailing section with the objects its hooks write shared with the records.
  SetShared(f, true);
  for (int type : {0, 3}) WriteSeed(dir, "shared_type" + std::to_string(type), 0, WriteRow(f, roots.back(), type));
  SetShared(f, false);
  WriteSeed(dir, "standard", 0, WriteRow(f, roots.back(), 5));
  // Ids whose classes the host serves as stored descriptors.
  std::vector<uint8_t> descA = DescriptorOf(f, "stored/A");
  const uint8_t d = (uint8_t)kDescribedIds, t = (uint8_t)kTailIds;
  WriteSeed(dir, "descriptor_ids", 0, {0x01, d, 0, 0, 0, 9, 0, 1, 0});
  WriteSeed(dir, "descriptor_tail", 0, {0x01, t, 0, 0, 0, 9, 0, 1, 0}, descA);
  WriteSeed(dir, "descriptor_list", 0x10, {0x21, d, t, 0, 0xC0, 0x80, 0, 0, 0, 1, 0, 0xC0, 0x81, 0}, descA);
  // Rows of the hostile kinds, as starting points.
  WriteSeed(dir, "hostile_count", 0x08, f->good);
  WriteSeed(dir, "hostile_array_name", 0, {0x01, 0xC0, 0x40, '[', 'I', 0, 0, 0});
  WriteSeed(dir, "hostile_huge_length", 0, {0x01, 0xC0, 0x4A, 0x78, 0x7F, 0xFF, 0x00, 0x00, 0, 0, 0, 1});
  WriteSeed(dir, "hostile_class_twice", 0, {0x01, 4, 14, 4, 14, 0});
  WriteSeed(dir, "hostile_wrong_field", 0, {0x01, 20, 0xC0, 0x81, 0, 0, 0, 0, 1, 0xC0, 0x4A, 1, 0, 0, 0, 9, 0});
  WriteSeed(dir, "hostile_string_bounds", 0, {0x01, 2, 0xC0, 0x81, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 0, 1, 0xC0, 0x45, 1, 0, 'a', 0});
  WriteSeed(dir, "hostile_standard", 0, {0xAC, 0xED, 0x00, 0x05});
  WriteSeed(dir, "hostile_version0", 0, {0x00, 0xC0, 0x40, '[', 'L', 1, 0, 9, 0x03, 0xC0, 0x80, 0xC0, 0x80, 0});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gFixture == nullptr) {
    gFixture = MakeFixture();
    const char* seeds = getenv("PUX_STORED_SEEDS");
    if (seeds != nullptr && seeds[0] != 0) {
      MakeSeeds(gFixture, seeds);
      DestroyFixture(gFixture);
      _exit(0);
    }
  } else if (++gFixture->inputs % 2000 == 0 ||
             refhost::BytesInUse(gFixture->vm->vm->GetHeap()) > (24u << 20)) {
    // The rows read pile up without a collector, and names and classes pile up in the
    // name space: a fresh machine now and then.
    DestroyFixture(gFixture);
    gFixture = MakeFixture();
  }
  Fixture* f = gFixture;
  if (size == 0 || size > 65536) return 0;
  uint8_t options = data[0];
  const uint8_t* row = data + 1;
  size_t rowSize = size - 1;
  std::vector<uint8_t> tail;
  for (size_t i = 0; i + 1 < rowSize; i++) {
    if (row[i] == 0xFF && row[i + 1] == 0xFE) {
      tail.assign(row + i + 2, row + rowSize);
      rowSize = i;
      break;
    }
  }
  for (int i = 0; i < 8; i++) refhost::SerialSetClassData(kTailIds + i, tail);
  void* loader = (options & 1) != 0 ? kOther : kHome;
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
  if ((options & 8) != 0) {
    // Some good counts, then one a faulty host might give.
    for (uint32_t i = 0; i < (seed >> 8) % 4; i++) refhost::SerialScriptRead(64);
    static const int32_t kBad[] = {-1, 65, INT32_MIN, 0x7FFFFFFF};
    refhost::SerialScriptRead(kBad[seed % 4]);
  }
  JNIEnv* env = f->env;
  HHeap* nsHeap = f->vm->nameSpace->GetHeap();
  uint64_t nsBytes = refhost::BytesInUse(nsHeap);
  VMObjectDeserializer* reader = (VMObjectDeserializer*)VMJniHandle::UnHandle(env, f->serialization->deserializer);
  void* stream = refhost::SerialStreamCreate(row, rowSize);
  if ((options & 16) != 0) {
    (void)f->serialization->functions->ReadObjectClasses(env, f->serialization->deserializer, stream, loader);
    refhost::SerialStreamRewind(stream);
  }
  jobject result = f->serialization->functions->ReadObject(env, f->serialization->deserializer, stream, loader);
  refhost::SerialStreamDestroy(stream);
  refhost::SerialSetReadPattern({});
  refhost::SerialClearReadScript();
  if (result != nullptr) {
    CheckGraph(f, VMJniHandle::UnHandle(env, result));
    env->functions->DeleteLocalRef(env, result);
  } else if (reader->GetLastStatus() == 0 && !(rowSize > 0 && row[0] == 0xAC)) {
    // (A standard stream whose Java read threw, or that holds null, reads as null.)
    Fail("a failed read kept no status");
  }
  if (env->thread->GetException() != nullptr) env->functions->ExceptionClear(env);
  // What Java code kept of the read, failed or not, is whole.
  for (const char* keeper : {"stored/Misfit", "stored/Keeper"}) {
    VMObject* kept = Kept(f, keeper);
    if (kept != nullptr) CheckGraph(f, kept);
  }
  uint32_t flagged = 0;
  refhost::Functions()->HeapWalk(f->vm->vm->GetHeap(), CountFlagged, &flagged);
  if (flagged != 0) Fail("a block of the heap is still marked as being read");
  for (VMObjectHashTable* t : {reader->GetObjectTable(), reader->GetClassTable(), reader->GetExtProxyMgr(),
                               reader->GetDescriptorTable()})
    if (t != nullptr && t->GetFilled() != 0) Fail("a table of the reader kept entries");
  if (reader->GetIsBusy()) Fail("the reader stayed busy");
  // The same reader then reads a good row as it should.
  void* goodStream = refhost::SerialStreamCreate(f->good.data(), f->good.size());
  jobject again = f->serialization->functions->ReadObject(env, f->serialization->deserializer, goodStream, kHome);
  refhost::SerialStreamDestroy(goodStream);
  if (again == nullptr) Fail("a good row does not read after this input");
  VMObject* back = VMJniHandle::UnHandle(env, again);
  if (back->GetClass() != f->goodClass) Fail("the good row reads as another class");
  CheckGraph(f, back);
  env->functions->DeleteLocalRef(env, again);
  // Names and classes from the row: no more than the row can account for.
  if (refhost::BytesInUse(nsHeap) > nsBytes + 256 * (uint64_t)size + (64u << 10)) Fail("the name space grew without bound");
  return 0;
}
