#include "vmnamespace.h"

#include "vm.h"
#include "vmclass.h"
#include "vmclassloader.h"
#include "vmerrorcatcher.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmupcalls.h"
#include "vmutils.h"

/* ---- creation ---- */

VMNameSpace* VMNameSpace::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMNameSpace*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMNameSpace,
                                                           jallocFailFast);
}

VMNameSpace* VMNameSpace::CreateInstance() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  HHeap* heap = host->HeapCreate(NULL, 1);
  if (heap == NULL) return NULL;
  VMNameSpace* ns = Instantiate(heap, Words, RefMask);
  if (ns == NULL) {
    host->HeapDestroy(heap);
    return NULL;
  }
  ns->SetHeap(heap);
  // The host makes the locks of shared name-space data differently.
  ns->SetIsNameSpaceData();
  uint32_t size = (uint32_t)VMUtils::HashTableSize(heap);
  const char* lockText = "VMNameSpace::CreateInstance - NameSpace Create";

  ns->SetInternTable(VMJavaLangStringHashTable::CreateInstance(heap, size));
  if (ns->GetInternTable() == NULL) goto failed;
  ns->SetMutex(VMUtils::MutexCreate(ns));
  if (ns->GetMutex() == NULL) goto failed;
  ns->SetSpinLock(VMUtils::SpinLockCreate(ns, 4, lockText));
  if (ns->GetSpinLock() == NULL) goto failed;
  ns->SetMonitorSpinLock(VMUtils::SpinLockCreate(ns, 4, lockText));
  if (ns->GetMonitorSpinLock() == NULL) goto failed;
  ns->SetMonitorMutex(VMUtils::MutexCreate(ns));
  if (ns->GetMonitorMutex() == NULL) goto failed;
  ns->SetOpcodeMutex(VMUtils::MutexCreate(ns));
  if (ns->GetOpcodeMutex() == NULL) goto failed;
  ns->SetJNIHandleArray(
      VMObjectHandleArray::CreateInstance(heap, VMTag_VMJniNamespaceGlobalHandleArray, 10, 10));
  if (ns->GetJNIHandleArray() == NULL) goto failed;
  ns->SetJNIFieldIDArray(VMObjectHandleArray::CreateInstance(heap, VMTag_VMJniFieldIDArray, 10, 10));
  if (ns->GetJNIFieldIDArray() == NULL) goto failed;
  ns->SetJNIUtils(upcall::JniUtilsCreate(ns));
  if (ns->GetJNIUtils() == NULL) goto failed;
  ns->SetClasses(VMClassHandleArray::CreateInstance(heap, VMTag_VMClassHandleArray, 10, 10));
  if (ns->GetClasses() == NULL) goto failed;
  ns->SetClassLoaders(VMClassLoaderHashTable::CreateInstance(heap, size));
  if (ns->GetClassLoaders() == NULL) goto failed;
  ns->SetClassList(VMClassList::CreateInstance(heap));
  if (ns->GetClassList() == NULL) goto failed;
  ns->SetArrayClassList(VMArrayClassList::CreateInstance(heap));
  if (ns->GetArrayClassList() == NULL) goto failed;
  return ns;

failed:
  ns->Destroy();
  return NULL;
}

/* ---- destruction ---- */

void VMNameSpace::Destroy() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  HHeap* heap = GetHeap();

  // Loaders and their classes first: they refer to the literals and strings below,
  // never the other way round.
  if (VMClassLoaderHashTable* loaders = GetClassLoaders()) {
    while (loaders->GetFilled() > 0) {
      VMClassLoader* first = (VMClassLoader*)loaders->Get(0);
      uint32_t before = loaders->GetFilled();
      first->Destroy(heap);
      // A loader leaves the table as it goes; one that did not would be met again.
      if (loaders->GetFilled() >= before) break;
    }
    loaders->Destroy(heap);
    SetClassLoaders(NULL);
    SetSystemClassLoader(NULL);
  }
  if (VMJavaLangStringHashTable* strings = GetInternTable()) {
    for (uint32_t i = 0; i < strings->GetFilled(); i++) {
      VMJavaLangString* s = (VMJavaLangString*)strings->Get(i);
      if (s != NULL) s->Destroy(heap);
    }
    strings->Destroy(heap);
    SetInternTable(NULL);
  }
  if (GetClassList() != NULL) {
    GetClassList()->Destroy(heap);
    SetClassList(NULL);
  }
  if (GetArrayClassList() != NULL) {
    GetArrayClassList()->Destroy(heap);
    SetArrayClassList(NULL);
  }
  if (GetJNIHandleArray() != NULL) {
    GetJNIHandleArray()->Destroy(heap);
    SetJNIHandleArray(NULL);
  }
  if (GetJNIFieldIDArray() != NULL) {
    GetJNIFieldIDArray()->Destroy(heap);
    SetJNIFieldIDArray(NULL);
  }
  if (GetJNIUtils() != NULL) {
    upcall::JniUtilsDestroy(GetJNIUtils(), heap);
    SetJNIUtils(NULL);
  }
  if (GetExceptionClasses() != NULL) {
    ((VMObject*)GetExceptionClasses())->Destroy(heap);
    SetExceptionClasses(NULL);
  }
  if (VMLiteralHashTable* literals = GetLiteralHashTable()) {
    for (uint32_t i = 0; i < literals->GetFilled(); i++) {
      VMLiteral* l = (VMLiteral*)literals->Get(i);
      if (l != NULL) l->Destroy(heap);
    }
    literals->Destroy(heap);
    SetLiteralHashTable(NULL);
  }
  if (GetSharedStaticDataClasses() != NULL) {
    GetSharedStaticDataClasses()->Destroy(heap);  // its literals were those of the table above
    SetSharedStaticDataClasses(NULL);
  }
  if (GetClasses() != NULL) {
    GetClasses()->Destroy(heap);
    SetClasses(NULL);
  }
  if (GetLiterals() != NULL) {
    GetLiterals()->Destroy(heap);
    SetLiterals(NULL);
  }
  if (GetMonitorMutex() != NULL) host->MutexDestroy(GetMonitorMutex());
  if (GetMutex() != NULL) host->MutexDestroy(GetMutex());
  if (GetOpcodeMutex() != NULL) host->MutexDestroy(GetOpcodeMutex());
  if (GetSpinLock() != NULL) host->CloseHandle(GetSpinLock(), "VMNameSpace::Destroy NameSpace Close");
  if (GetMonitorSpinLock() != NULL)
    host->CloseHandle(GetMonitorSpinLock(), "VMNameSpace::Destroy NameSpace Close");
  VMObject::Destroy(heap);
  host->HeapDestroy(heap);
}

/* ---- exception classes ---- */

static uint32_t KnownStatus(uint32_t status) {
  return status < (uint32_t)VMStatusCount ? status : (uint32_t)VMStatus_InternalError;
}

VMLoadableClass* VMNameSpace::GetExceptionClass(JNIEnv* env, uint32_t status) {
  VMLoadableClass* cls = FindExceptionClass(env, status);
  return cls != NULL ? cls : FindExceptionClass(env, VMStatus_NoClassDefFoundError);
}

VMLoadableClass* VMNameSpace::FindExceptionClass(JNIEnv* env, uint32_t status) {
  VMLoadableClassArray* classes = GetExceptionClasses();
  if (classes == NULL) return NULL;
  status = KnownStatus(status);
  if (status >= classes->GetSize()) return NULL;
  VMLoadableClass* cls = classes->Get(status);
  if (cls != NULL) {
    // The cache is the name space's, initialisation is each machine's own: a machine
    // that did not make the entry may not have initialised the class yet.
    if (env != NULL && !GetForCompiler()) cls->EnsureInitialized(env);
    return cls;
  }
  VMLiteral* name = GetExceptionName(status);
  if (name == NULL) return NULL;
  cls = VMLoadableClass::FindInitialized(env, name, NULL);
  classes->Set(status, cls);
  return cls;
}

VMLiteral* VMNameSpace::GetExceptionName(uint32_t status) {
  return VMLiteral::CreateInstance(this, VMStatusClassName((VMStatus)KnownStatus(status)), 0xFFFFFFFFu);
}

/* ---- loaders ---- */

VMClassLoader* VMNameSpace::FindLoader(void* loaderId) {
  VMClassLoaderHashTable* loaders = GetClassLoaders();
  if (loaders == NULL) return NULL;
  VMObjectHashTableIterator it(loaders, (VMword)loaderId, VMClassLoaderHashTable::Mode);
  for (VMObject* e; (e = it.Next()) != NULL;) {
    if (((VMClassLoader*)e)->GetLoaderID() == loaderId) return (VMClassLoader*)e;
  }
  return NULL;
}

VMClassLoader* VMNameSpace::FindOrCreateLoader(void* loaderId) {
  VMClassLoader* loader = FindLoader(loaderId);
  if (loader != NULL) return loader;
  // Two threads that both miss must not make two loaders for one id: the second would
  // never be found, and the classes defined through it would be split from the first's.
  // The monitor mutex serialises the creations; the look-up is repeated under it.
  if (!VMUtils::MutexLock(GetMonitorMutex())) return NULL;
  loader = FindLoader(loaderId);
  if (loader == NULL) {
    // The new loader enters the table while other threads may walk it: under the
    // table's own lock, the one those walks hold.
    VMClassLoaderHashTable* loaders = GetClassLoaders();
    if (loaders != NULL && loaders->Lock(false)) {
      loader = VMClassLoader::CreateInstance(this, loaderId);
      loaders->relSpinlock();
    }
  }
  VMUtils::MutexUnlock(GetMonitorMutex());
  return loader;
}

void VMNameSpace::SetSharedStaticDataClass(VMLiteral* literal) {
  VMLiteralHashTable* table = GetSharedStaticDataClasses();
  if (table == NULL || literal == NULL) return;
  if (!table->Lock(true)) return;
  VMObjectHashTableIterator it(table, literal->GetHash(), VMLiteralHashTable::Mode);
  while (it.Next() != NULL) {
  }
  bool growing = table->CheckandUnlockifGrowing();
  it.Insert((VMObject*)literal);
  table->UnlockOrNotify(growing);
}

/* ---- the lists ---- */

VMClassList* VMClassList::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMClassList*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMClassList,
                                                           jallocFailFast);
}

VMClassList* VMClassList::CreateInstance(HHeap* heap) { return Instantiate(heap, Words, RefMask); }

VMLoadableClass* VMClassList::OnDemand(JNIEnv* env, uint32_t word, const char* name) {
  VMLoadableClass* cls = (VMLoadableClass*)GetReference(word);
  if (cls != NULL) return cls;
  VMNameSpace* ns = env != NULL && env->javaVM != NULL && env->javaVM->vm != NULL
                        ? env->javaVM->vm->GetNameSpace()
                        : NULL;
  if (ns == NULL) return NULL;
  VMLiteral* literal = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  if (literal == NULL) return NULL;
  cls = VMLoadableClass::FindInitialized(env, literal, NULL);
  if (cls != NULL) SetReference(word, (VMObject*)cls);
  return cls;
}

VMLoadableClass* VMClassList::GetThreadClass(JNIEnv* env) {
  return OnDemand(env, OnDemandThreadClassWord, "java/lang/Thread");
}

VMLoadableClass* VMClassList::GetThreadGroupClass(JNIEnv* env) {
  return OnDemand(env, OnDemandThreadGroupClassWord, "java/lang/ThreadGroup");
}

VMArrayClassList* VMArrayClassList::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMArrayClassList*)CreateInternalNotToBeCalledDirectly(heap, words, mask,
                                                                VMTag_VMArrayClassList, jallocFailFast);
}

VMArrayClassList* VMArrayClassList::CreateInstance(HHeap* heap) {
  return Instantiate(heap, Words, RefMask);
}

VMLiteralTable* VMLiteralTable::Instantiate(HHeap* heap, uint32_t words, VMword mask) {
  return (VMLiteralTable*)CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMLiteralTable,
                                                              jallocFailFast);
}

VMLiteralTable* VMLiteralTable::CreateInstance(HHeap* heap) { return Instantiate(heap, Words, RefMask); }

/* ---- the mutex guard ---- */

VMMutexGuard::VMMutexGuard(void* m) : mutex(m) { VMUtils::MutexLock(mutex); }

VMMutexGuard::~VMMutexGuard() { VMUtils::MutexUnlock(mutex); }
