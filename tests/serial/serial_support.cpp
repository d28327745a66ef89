#include "serial_support.h"

#include <stdio.h>
#include <string.h>

#include <set>

#include "vmjni_functions.h"

namespace serial_test {

namespace {

std::string SerialClasses() { return std::string(PUX_BUILD_DIR) + "/testclasses/serial"; }
std::string AltClasses() { return std::string(PUX_BUILD_DIR) + "/testclasses/serial_alt"; }
std::string LibraryZip() { return std::string(PUX_BUILD_DIR) + "/classlib.zip"; }

jboolean HOSTCALL CountFlagged(void* block, void* ctx) {
  const VMword* words = (const VMword*)block;
  if (words[0] != VM_DESTROYED_TAG && (words[1] & VMFLAG_DESERIALIZING) != 0) (*(uint32_t*)ctx)++;
  return 1;
}

uint32_t WidthOf(int code) { return vmserial::SizeOfTypeCode(code); }

}  // namespace

Bytes Compact(int32_t v) {
  uint32_t m = v < 0 ? (uint32_t)-(int64_t)v : (uint32_t)v;
  uint8_t s = v < 0 ? 0x80 : 0;
  if (m < 64) return {(uint8_t)(m | s)};
  if (m < 8192) return {(uint8_t)((m >> 8) | 0x40 | s), (uint8_t)m};
  if (m < 1048576) return {(uint8_t)((m >> 16) | 0x60 | s), (uint8_t)(m >> 8), (uint8_t)m};
  if (m < 134217728) return {(uint8_t)((m >> 24) | 0x70 | s), (uint8_t)(m >> 16), (uint8_t)(m >> 8), (uint8_t)m};
  return {(uint8_t)(0x78 | s), (uint8_t)(m >> 24), (uint8_t)(m >> 16), (uint8_t)(m >> 8), (uint8_t)m};
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Hex(const Bytes& bytes) {
  std::string s;
  char b[4];
  for (uint8_t x : bytes) {
    snprintf(b, sizeof b, "%02X ", x);
    s += b;
  }
  return s;
}

/* ---------------------------------------------------------------------------------- */

void* const SerialTest::kHome = (void*)5;
void* const SerialTest::kOther = (void*)7;

void SerialTest::SetUp() {
  refhost::ResetHooks();
  host = refhost::Functions();
  JNI_SetHostFunctions(host);
  refhost::SetCapture(true);
  // The host's own stream classes (test doubles) come with its class library.
  refhost::SetClassPath(nullptr, LibraryZip() + ":" + std::string(PUX_BUILD_DIR) + "/testclasses/serial_host");
  refhost::SetClassPath(kHome, SerialClasses());
  refhost::SetClassPath(kOther, AltClasses() + ":" + SerialClasses());
  refhost::SetLeakReports(true);
  leakReportsBefore = refhost::LeakReportCount();
  processBlocksBefore = refhost::BlocksInUse(nullptr);
  spinLocksBefore = refhost::LiveSpinLocks();
  eventsBefore = refhost::LiveEventSemaphores();
  vm = CreateMachine(&env);
  ASSERT_NE(nullptr, vm);
  machine = vm->vm;
  heap = machine->GetHeap();
  ns = vm->nameSpace;
  support = refhost::SerialSupport();
  serialization = (JNISerialization*)env->functions->CreateSerializationInterface(env, support);
  ASSERT_NE(nullptr, serialization);
}

void SerialTest::TearDown() {
  if (vm != nullptr) {
    EXPECT_EQ(0u, FlaggedBlocks()) << "an object is still marked as being read";
    env->functions->DestroySerializationInterface(env, serialization);
    DestroyMachine(vm);
  }
  held.clear();
  // The host indexes a class archive on first use and keeps the index, with its lock and
  // event, until the path changes: drop the paths before counting what is still open.
  refhost::SetClassPath(nullptr, "");
  refhost::SetClassPath(kHome, "");
  refhost::SetClassPath(kOther, "");
  jsize total = -1;
  EXPECT_EQ(0, JNI_GetCreatedJavaVMs(nullptr, 0, &total));
  EXPECT_EQ(0, total);
  EXPECT_EQ(leakReportsBefore, refhost::LeakReportCount()) << refhost::CapturedLog();
  EXPECT_EQ(processBlocksBefore, refhost::BlocksInUse(nullptr)) << "process memory leaked";
  EXPECT_EQ(spinLocksBefore, refhost::LiveSpinLocks()) << "a host spin lock was never closed";
  EXPECT_EQ(eventsBefore, refhost::LiveEventSemaphores()) << "an event semaphore was never closed";
  EXPECT_EQ(0u, refhost::SerialStreamsLive());
  EXPECT_EQ(0u, refhost::SerialClassDataOpen()) << "class data handed out and never released";
  refhost::ResetHooks();
}

JavaVM* SerialTest::CreateMachine(JNIEnv** out, JavaVM* share, int version) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  args.name = share == nullptr ? "stored objects" : "stored objects, second";
  args.jdkVersion = version;
  args.shareNameSpaceOf = share;
  JavaVM* made = nullptr;
  jint result = JNI_CreateJavaVM(&made, out, &args);
  EXPECT_EQ(0, result);
  return result == 0 ? made : nullptr;
}

void SerialTest::DestroyMachine(JavaVM* which) {
  ASSERT_NE(nullptr, which);
  EXPECT_EQ(0, which->functions->DestroyJavaVM(which));
}

VMLoadableClass* SerialTest::Class(const char* name, void* loader, JNIEnv* on) {
  JNIEnv* e = on != nullptr ? on : env;
  jclass ref = e->functions->FindClassInLoaderId(e, name, loader);
  VMClass* cls = VMJniUnHandleClass(e, ref);
  if (ref != nullptr) e->functions->DeleteLocalRef(e, ref);
  EXPECT_TRUE(cls != nullptr && cls->GetIsLoadable()) << name;
  if (cls == nullptr) e->functions->ExceptionClear(e);
  return cls != nullptr && cls->GetIsLoadable() ? (VMLoadableClass*)cls : nullptr;
}

VMLoadableClass* SerialTest::TryClass(const char* name, void* loader) {
  jclass ref = env->functions->FindClassInLoaderId(env, name, loader);
  VMClass* cls = VMJniUnHandleClass(env, ref);
  if (ref != nullptr) env->functions->DeleteLocalRef(env, ref);
  env->functions->ExceptionClear(env);
  return cls != nullptr && cls->GetIsLoadable() ? (VMLoadableClass*)cls : nullptr;
}

VMDataMember* SerialTest::Field(VMClass* cls, const char* name) {
  for (VMLoadableClass* k = (VMLoadableClass*)cls; k != nullptr; k = k->GetSuper()) {
    VMDataMemberArray* fields = k->GetDataMembers();
    for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++) {
      VMDataMember* f = fields->Get(i);
      if (f->GetName()->EqualsAscii(name)) return f;
    }
  }
  ADD_FAILURE() << "no field " << name;
  return nullptr;
}

void SerialTest::LetGo() {
  for (VMObject* o : held) o->ClearIsReachableByCPlusPlusCode();
  held.clear();
}

VMObject* SerialTest::New(VMLoadableClass* cls) {
  if (cls == nullptr) return nullptr;
  VMObject* o = VMObject::CreateInstance(heap, cls, jallocFailFast);
  EXPECT_NE(nullptr, o);
  return Hold(o);
}

void SerialTest::SetWord(VMObject* o, const char* field, VMword value) {
  o->SetWord((uint32_t)Field(o->GetClass(), field)->GetIndex(), value);
}
VMword SerialTest::GetWord(VMObject* o, const char* field) {
  return o->GetWord((uint32_t)Field(o->GetClass(), field)->GetIndex());
}
void SerialTest::SetLong(VMObject* o, const char* field, jlong value) {
  o->SetLong((uint32_t)Field(o->GetClass(), field)->GetIndex(), value);
}
jlong SerialTest::GetLong(VMObject* o, const char* field) {
  return o->GetLong((uint32_t)Field(o->GetClass(), field)->GetIndex());
}

VMJavaLangString* SerialTest::Str(const char* text) {
  VMJavaLangString* s = VMJavaLangString::CreateInstance(env, text);
  EXPECT_NE(nullptr, s);
  return Hold(s);
}

VMArray* SerialTest::NewPrimitives(int code, uint32_t length) {
  VMClassList* list = ns->GetClassList();
  VMClass* element = nullptr;
  switch (code) {
    case 4: element = list->GetVMbooleanClass(); break;
    case 5: element = list->GetVMcharClass(); break;
    case 6: element = list->GetVMfloatClass(); break;
    case 7: element = list->GetVMdoubleClass(); break;
    case 8: element = list->GetVMbyteClass(); break;
    case 9: element = list->GetVMshortClass(); break;
    case 10: element = list->GetVMintClass(); break;
    case 11: element = list->GetVMlongClass(); break;
  }
  VMArray* a = VMArray::CreateInstance(heap, length, WidthOf(code), jallocFailFast, VMTag_VMUserArrayInstance);
  EXPECT_NE(nullptr, a);
  a->SetIsScalarArray();
  a->SetClass(element->MakeArrayOf());
  return Hold(a);
}

VMrefArray* SerialTest::NewReferences(VMClass* elementClass, uint32_t length) {
  VMrefArray* a = VMrefArray::CreateInstance(heap, length, jallocFailFast, VMTag_VMUserArrayInstance);
  EXPECT_NE(nullptr, a);
  a->SetClass(elementClass->MakeArrayOf());
  return Hold(a);
}

VMObjectSerializer* SerialTest::Serializer() {
  return (VMObjectSerializer*)VMJniHandle::UnHandle(env, serialization->serializer);
}

VMObjectDeserializer* SerialTest::Deserializer() {
  return (VMObjectDeserializer*)VMJniHandle::UnHandle(env, serialization->deserializer);
}

Bytes SerialTest::WriteOn(JNIEnv* on, JNISerialization* through, VMObject* root, int type, jint* result) {
  void* stream = refhost::SerialStreamCreate();
  jobject handle = VMJniHandle::NewLocal(on, root);
  jint r = through->functions->WriteObject(on, through->serializer, type, handle, stream);
  if (handle != nullptr) on->functions->DeleteLocalRef(on, handle);
  if (result != nullptr) *result = r;
  Bytes bytes = refhost::SerialStreamBytes(stream);
  refhost::SerialStreamDestroy(stream);
  return bytes;
}

VMObject* SerialTest::ReadOn(JNIEnv* on, JNISerialization* through, const Bytes& bytes, void* loaderId) {
  void* stream = refhost::SerialStreamCreate(bytes.data(), bytes.size());
  jobject ref = through->functions->ReadObject(on, through->deserializer, stream, loaderId);
  VMObject* object = Hold(VMJniHandle::UnHandle(on, ref));
  if (ref != nullptr) on->functions->DeleteLocalRef(on, ref);
  refhost::SerialStreamDestroy(stream);
  return object;
}

Bytes SerialTest::Write(VMObject* root, int type, jint* result) { return WriteOn(env, serialization, root, type, result); }

VMObject* SerialTest::Read(const Bytes& bytes, void* loaderId) { return ReadOn(env, serialization, bytes, loaderId); }

uint32_t SerialTest::FlaggedBlocks(HHeap* which) {
  uint32_t count = 0;
  host->HeapWalk(which != nullptr ? which : heap, CountFlagged, &count);
  return count;
}

uint32_t SerialTest::LiveGlobals() {
  VMObjectHandleArray* globals = machine->GetJNIHandleArray();
  uint32_t live = 0;
  for (uint32_t i = 1; i < globals->GetCount(); i++)
    if (globals->Get(i) != nullptr) live++;
  return live;
}

void SerialTest::ExpectTablesEmpty() {
  VMObjectDeserializer* d = Deserializer();
  for (VMObjectHashTable* t : {d->GetObjectTable(), d->GetClassTable(), d->GetExtProxyMgr(), d->GetDescriptorTable()}) {
    if (t != nullptr) {
      EXPECT_EQ(0u, t->GetFilled());
    }
  }
  EXPECT_FALSE(d->GetIsBusy());
  VMObjectSerializer* s = Serializer();
  for (VMObjectHashTable* t : {s->GetObjectTable(), s->GetClassTable()}) {
    if (t != nullptr) {
      EXPECT_EQ(0u, t->GetFilled());
    }
  }
  EXPECT_FALSE(s->GetIsBusy());
}

/* ---------------------------------------------------------------------------------- */
/* Graph comparison                                                                    */

namespace {

bool IsClassObject(VMNameSpace* ns, VMObject* o) {
  return o->GetClass() == (VMClass*)ns->GetClassList()->GetClassClass();
}

std::string NameOf(VMClass* cls) {
  if (cls == nullptr) return "(none)";
  char* text = cls->GetName()->MakeUTF8();
  std::string s = text != nullptr ? text : "?";
  VMLiteral::FreeUTF8(text);
  return s;
}

VMDataMember* FieldByName(VMLoadableClass* k, VMDataMember* like) {
  VMDataMemberArray* fields = k->GetDataMembers();
  for (uint32_t i = 0; fields != nullptr && i < fields->GetSize(); i++) {
    VMDataMember* f = fields->Get(i);
    if (f->GetName()->Equals(like->GetName()) && f->GetSignature()->Equals(like->GetSignature())) return f;
  }
  return nullptr;
}

}  // namespace

std::string SerialTest::Compare(VMObject* a, VMObject* b, bool sameClasses) {
  std::map<VMObject*, VMObject*> forward, backward;
  std::vector<std::pair<VMObject*, VMObject*>> queue;
  auto pair = [&](VMObject* x, VMObject* y, const std::string& where) -> std::string {
    if ((x == nullptr) != (y == nullptr)) return where + ": null on one side only";
    if (x == nullptr) return "";
    auto f = forward.find(x);
    auto g = backward.find(y);
    if (f != forward.end() || g != backward.end()) {
      if (f == forward.end() || f->second != y || g == backward.end() || g->second != x)
        return where + ": references do not correspond";
      return "";
    }
    forward[x] = y;
    backward[y] = x;
    queue.push_back({x, y});
    return "";
  };
  std::string diff = pair(a, b, "root");
  for (size_t q = 0; diff.empty() && q < queue.size(); q++) {
    VMObject* x = queue[q].first;
    VMObject* y = queue[q].second;
    VMClass* cx = x->GetClass();
    VMClass* cy = y->GetClass();
    std::string where = "object " + std::to_string(q) + " (" + NameOf(cx) + ")";
    if (NameOf(cx) != NameOf(cy) || (sameClasses && cx != cy)) return where + ": class " + NameOf(cy);
    if (IsClassObject(ns, x)) {
      if (NameOf((VMClass*)x) != NameOf((VMClass*)y) || (sameClasses && x != y))
        return where + ": describes " + NameOf((VMClass*)y);
      continue;
    }
    if (y->GetIsDeserializing()) return where + ": still flagged";
    if (cx->GetIsArray()) {
      VMArray* ax = (VMArray*)x;
      VMArray* ay = (VMArray*)y;
      if (ax->GetSize() != ay->GetSize()) return where + ": length " + std::to_string(ay->GetSize());
      if (x->GetIsRefArray() != y->GetIsRefArray() || x->GetIsScalarArray() != y->GetIsScalarArray())
        return where + ": array kind";
      if (x->GetIsRefArray()) {
        for (uint32_t i = 0; i < ax->GetSize() && diff.empty(); i++)
          diff = pair(((VMrefArray*)x)->Get(i), ((VMrefArray*)y)->Get(i), where + "[" + std::to_string(i) + "]");
      } else {
        uint32_t shift = ax->GetElementShift();
        if (shift != ay->GetElementShift()) return where + ": element size";
        for (uint32_t i = 0; i < ax->GetSize(); i++) {
          if (memcmp(ax->FindElement(i), ay->FindElement(i), 1u << shift) != 0)
            return where + ": element " + std::to_string(i);
        }
      }
      continue;
    }
    for (VMLoadableClass* kx = (VMLoadableClass*)cx, *ky = (VMLoadableClass*)cy; kx != nullptr && diff.empty();
         kx = kx->GetSuper(), ky = ky != nullptr ? ky->GetSuper() : nullptr) {
      if (ky == nullptr) return where + ": shorter chain";
      VMDataMemberArray* fields = kx->GetDataMembers();
      for (uint32_t i = 0; fields != nullptr && i < fields->GetSize() && diff.empty(); i++) {
        VMDataMember* fx = fields->Get(i);
        if (fx->GetIsStatic()) continue;
        VMDataMember* fy = FieldByName(ky, fx);
        if (fy == nullptr) return where + ": no field in the copy";
        char* fname = fx->GetName()->MakeUTF8();
        std::string field = where + "." + fname;
        VMLiteral::FreeUTF8(fname);
        uint32_t sx = (uint32_t)fx->GetIndex();
        uint32_t sy = (uint32_t)fy->GetIndex();
        jchar kind = fx->GetSignature()->GetFirstChar();
        bool wide = kind == 'J' || kind == 'D';
        if (fx->GetIsTransient()) {
          if (y->GetWord(sy) != 0 || (wide && y->GetWord(sy + 1) != 0)) return field + ": transient field not zero";
          continue;
        }
        if (kind == 'L' || kind == '[') {
          diff = pair((VMObject*)x->GetWord(sx), (VMObject*)y->GetWord(sy), field);
        } else if (wide) {
          if (x->GetLong(sx) != y->GetLong(sy)) return field + ": differs";
        } else if (x->GetWord(sx) != y->GetWord(sy)) {
          return field + ": " + std::to_string(x->GetWord(sx)) + " became " + std::to_string(y->GetWord(sy));
        }
      }
    }
  }
  return diff;
}

}  // namespace serial_test
