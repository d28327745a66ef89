/* The loader object: one host loader inside one name space, with its class table. */
#include "vmclassloader.h"

#include "vmclass.h"
#include "vmhandlearray.h"
#include "vmnamespace.h"

VMClassLoader* VMClassLoader::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return static_cast<VMClassLoader*>(
      CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMClassLoader, jallocFailFast));
}

VMClassLoader* VMClassLoader::CreateInstance(VMNameSpace* ns, void* loaderId) {
  if (ns == NULL) return NULL;
  HHeap* heap = ns->GetHeap();
  VMClassLoader* loader = Instantiate(heap, Words, RefMask);
  if (loader == NULL) return NULL;
  loader->SetLoaderID(loaderId);
  loader->SetNameSpace(ns);
  VMClassHashTable* table = VMClassHashTable::CreateInstance(heap, CLASS_TABLE_SIZE);
  VMClassLoaderHashTable* loaders = ns->GetClassLoaders();
  if (table == NULL || loaders == NULL) {
    if (table != NULL) table->Destroy(heap);
    loader->VMObject::Destroy(heap);
    return NULL;
  }
  loader->SetClassTable(table);
  if (loaders->Add(loader) == VMHashNotFound) {
    loader->SetClassTable(NULL);
    table->Destroy(heap);
    loader->VMObject::Destroy(heap);
    return NULL;
  }
  return loader;
}

void VMClassLoader::Destroy(HHeap* heap) {
  VMClassHashTable* table = GetClassTable();
  // Shared static data goes before any class of the table does.
  VMNameSpace* ns = GetNameSpace();
  // Under the table's lock, which a loader made for another id at the same time holds
  // while it enters: unlocked, the two changes could lose that loader from the table.
  if (VMClassLoaderHashTable* loaders = ns != NULL ? ns->GetClassLoaders() : NULL) {
    bool locked = loaders->Lock(true);
    loaders->Delete(this);
    if (locked) loaders->relSpinlock();
  }
  if (table != NULL) {
    for (uint32_t i = 0; i < table->GetFilled(); i++) {
      VMClass* cls = (VMClass*)table->Get(i);
      if (cls != NULL && cls->GetIsLoadable()) cls->GetLoadableClass()->DestroySharedStaticData(heap);
    }
    for (uint32_t i = 0; i < table->GetFilled(); i++) {
      VMClass* cls = (VMClass*)table->Get(i);
      if (cls != NULL) cls->Destroy(heap);
    }
    SetClassTable(NULL);
    table->Destroy(heap);
  }
  VMObject::Destroy(heap);
}
