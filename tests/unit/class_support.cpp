#include "class_support.h"

#include "test_host.h"
#include "vmhandlearray.h"
#include "vmliteral.h"

namespace class_test {

static const struct {
  const char* name;
  VMPrimitiveType type;
} kPrimitives[9] = {
    {"void", VMTypeVoid},     {"boolean", VMTypeBoolean},
    {"byte", VMTypeByte},     {"short", VMTypeShort},
    {"char", VMTypeChar},     {"int", VMTypeInt},
    {"long", VMTypeLong},     {"float", VMTypeFloat},
    {"double", VMTypeDouble}};

void ClassTest::SetUp() {
  CoreTest::SetUp();
  MakeNameSpace(0x400, 0x100);
  ASSERT_NE(nullptr, ns);

  literalTable = VMInternalObject::Instantiate(nsHeap, test_host::kWellKnownNameCount, 0x3FFFF);
  ASSERT_NE(nullptr, literalTable);
  for (int i = 0; i < test_host::kWellKnownNameCount; i++)
    literalTable->SetReference(i, (VMObject*)Lit(test_host::kWellKnownNames[i]));
  ns->SetReference(11, literalTable);

  ASSERT_NO_FATAL_FAILURE(MakeClassLists());
  VMClassList* classes = ns->GetClassList();
  // Preparation numbers classes in the name space's class array, under its spin lock.
  ns->SetClasses(VMClassHandleArray::CreateInstance(nsHeap, VMTag_VMClassHandleArray, 10, 10));
  ASSERT_NE(nullptr, ns->GetClasses());
  ns->SetSpinLock(VMUtils::SpinLockCreate(ns, 4, "ClassTest"));
  ASSERT_NE(nullptr, ns->GetSpinLock());

  loaderTable = VMClassLoaderHashTable::CreateInstance(nsHeap, 17);
  ASSERT_NE(nullptr, loaderTable);
  ns->SetReference(16, loaderTable);
  systemLoader = MakeLoader(nullptr);
  ASSERT_NE(nullptr, systemLoader);
  ns->SetReference(15, (VMObject*)systemLoader);

  javaVMWords[2] = (VMword)ns;
  envWords[1] = (VMword)javaVMWords;
  RestoreEnv();

  for (int i = 0; i < 9; i++) {
    VMPrimitiveClass* p = VMPrimitiveClass::CreateInstance(ns, kPrimitives[i].name, kPrimitives[i].type);
    ASSERT_NE(nullptr, p);
    classes->SetReference(5 + i, p);
  }
  VMClass* classClass = Find("java/lang/Class");
  ASSERT_NE(nullptr, classClass);
  classes->SetReference(2, classClass);
  objectClass = Define("java/lang/Object", nullptr, {}, false);
  classes->SetReference(0, objectClass);
  cloneable = Define("java/lang/Cloneable", objectClass, {}, true);
  serializable = Define("java/io/Serializable", objectClass, {}, true);
  classes->SetReference(3, cloneable);
  classes->SetReference(4, serializable);
  ((VMLoadableClass*)classClass)->SetSuper(objectClass);
}

VMClassLoader* ClassTest::MakeLoader(void* loaderId) {
  VMClassLoader* loader = (VMClassLoader*)VMObject::CreateInternalNotToBeCalledDirectly(
      nsHeap, VMClassLoader::Words, VMClassLoader::RefMask, VMTag_VMClassLoader, jallocFailFast);
  if (loader == nullptr) return nullptr;
  VMClassHashTable* table = VMClassHashTable::CreateInstance(nsHeap, 67);
  if (table == nullptr) {
    loader->VMObject::Destroy(nsHeap);
    return nullptr;
  }
  loader->SetClassTable(table);
  loader->SetLoaderID(loaderId);
  loader->SetNameSpace(ns);
  loaders.push_back(loader);
  VMObjectHashTableIterator it(loaderTable, (VMword)loaderId, VMClassLoaderHashTable::Mode);
  while (it.Next() != nullptr) {
  }
  it.Insert(loader);
  return loader;
}

VMLoadableClass* ClassTest::Define(const char* name, VMLoadableClass* super,
                                   std::initializer_list<VMLoadableClass*> interfaces,
                                   bool isInterface) {
  VMClass* cls = Find(name);
  EXPECT_NE(nullptr, cls);
  if (cls == nullptr || !cls->GetIsLoadable()) return nullptr;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  loadable->SetSuper(super);
  if (isInterface) loadable->SetIsInterface();
  if (interfaces.size() != 0) {
    VMClassArray* array = (VMClassArray*)VMrefArray::CreateInstance(
        nsHeap, (uint32_t)interfaces.size(), jallocFailFast, 0x6626FECAu);
    EXPECT_NE(nullptr, array);
    uint32_t i = 0;
    for (VMLoadableClass* iface : interfaces) array->Set(i++, iface);
    loadable->SetInterfaces(array);
  }
  loadable->SetIsLoaded();
  return loadable;
}

VMClass* ClassTest::ListEntry(int entry) {
  return (VMClass*)((VMInternalObject*)ns->GetClassList())->GetReference(entry);
}

uint32_t ClassTest::ClassCount(VMClassLoader* loader) { return loader->GetClassTable()->GetFilled(); }

void ClassTest::TearDown() {
  host->SetCurrentEnv(nullptr);
  if (ns != nullptr) {
    for (VMClassLoader* loader : loaders) {
      VMClassHashTable* table = loader->GetClassTable();
      for (uint32_t i = 0; i < table->GetFilled(); i++) ((VMClass*)table->Get(i))->Destroy(nsHeap);
      table->Destroy(nsHeap);
      loader->VMObject::Destroy(nsHeap);
    }
    loaders.clear();
    if (ns->GetClassList() != nullptr) {
      for (int i = 5; i < 14; i++) {
        if (VMClass* p = ListEntry(i)) p->Destroy(nsHeap);
      }
    }
    if (loaderTable != nullptr) loaderTable->Destroy(nsHeap);
    if (ns->GetClasses() != nullptr) ns->GetClasses()->Destroy(nsHeap);
    ns->SetClasses(nullptr);
    if (ns->GetSpinLock() != nullptr) host->CloseHandle(ns->GetSpinLock(), "ClassTest");
    ns->SetSpinLock(nullptr);
    if (literalTable != nullptr) literalTable->Destroy(nsHeap);
    ns->SetReference(11, nullptr);
    ns->SetReference(15, nullptr);
    ns->SetReference(16, nullptr);
  }
  CoreTest::TearDown();
}

}  // namespace class_test
