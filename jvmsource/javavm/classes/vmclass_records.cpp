/* The process-wide records of native tables and precompiled classes that the host and
   the class-library natives register by Java class name, before any class exists.

   Records keep the caller's pointers (class name, method table, definition) without
   copying them: a host must keep them alive until the library's process state is
   released (VMUtils::Fini). */
#include "vmclass.h"

#include <string.h>

#include "vmclass_support.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmutils.h"

using namespace classmodel;

/* Records live in process memory (no heap). */
static VMObject* NewProcessRecord(uint32_t words, VMword tag) {
  return VMObject::CreateInternalNotToBeCalledDirectly(NULL, words, 0, tag, jallocFailFast);
}

static VMword NameHash(const char* name) {
  return VMLiteral::HashUTF8(name, (uint32_t)strlen(name));
}

VMNativeClassInfo* VMNativeClassInfo::CreateInstance(const char* className,
                                                     const JNINativeMethod* methods,
                                                     uint32_t count) {
  if (className == NULL) return NULL;
  VMNativeClassInfo* info = (VMNativeClassInfo*)NewProcessRecord(Words, Tag);
  if (info == NULL) return NULL;
  info->SetMethods(methods);
  info->SetCount(count);
  info->SetName(className);
  info->SetHash(NameHash(className));
  return info;
}

void VMNativeClassInfo::Destroy() { VMObject::Destroy(NULL); }

VMCompiledClassInfo* VMCompiledClassInfo::CreateInstance(const MCConstPoolClassDefinition* d) {
  if (d == NULL || d->classNames == NULL || d->classNames[0] == NULL) return NULL;
  VMCompiledClassInfo* info = (VMCompiledClassInfo*)NewProcessRecord(Words, Tag);
  if (info == NULL) return NULL;
  info->SetTable(d);
  info->SetName(d->classNames[0]);
  info->SetHash(NameHash(d->classNames[0]));
  return info;
}

void VMCompiledClassInfo::Destroy(HHeap* heap) { VMObject::Destroy(heap); }

/* The first entry of a process table with the hash whose C-string name (word nameWord)
   equals name. The table's iterator holds its lock for the walk. */
static VMObject* FindRecord(VMObjectHashTable* table, uint32_t mode, VMword hash, int nameWord,
                            VMLiteral* name) {
  if (table == NULL || name == NULL) return NULL;
  VMObjectHashTableIterator it(table, hash, mode);
  for (VMObject* e = it.Next(); e != NULL; e = it.Next()) {
    if (e->GetWord(nameWord + 1) != hash) continue;  // the hash word follows the name
    if (name->EqualsAscii((const char*)e->GetWord(nameWord))) return e;
  }
  return NULL;
}

VMNativeClassInfo* VMNativeClassInfo::Find(VMLiteral* className) {
  if (className == NULL) return NULL;
  return (VMNativeClassInfo*)FindRecord(VMUtils::GetNativeClasses(), VMNativeClassInfoHashTable::Mode,
                                        className->GetHash(), NameWord, className);
}

VMCompiledClassInfo* VMCompiledClassInfo::Find(VMLiteral* className) {
  if (className == NULL) return NULL;
  return (VMCompiledClassInfo*)FindRecord(VMUtils::GetCompiledClasses(),
                                          VMCompiledClassInfoHashTable::Mode,
                                          className->GetHash(), NameWord, className);
}

VMStatus VMNativeClassInfo::Register(const char* className, const JNINativeMethod* methods,
                                     uint32_t count) {
  VMNativeClassInfoHashTable* table = VMUtils::GetNativeClasses();
  if (table == NULL || className == NULL) return VMStatus_OutOfMemoryError;
  VMword hash = NameHash(className);
  VMStatus status = 0;
  // One walk under the table's lock both finds a known name and adds a new one, so two
  // registrations of one name never make two records. A known name takes the new table
  // in place, without a record to allocate: a repeated registration cannot be refused.
  VMObjectHashTableIterator it(table, hash, VMNativeClassInfoHashTable::Mode);
  if (it.Refused()) return VMStatus_VirtualMachineError;
  for (VMObject* e = it.Next(); e != NULL; e = it.Next()) {
    VMNativeClassInfo* other = (VMNativeClassInfo*)e;
    if (other->GetHash() == hash && strcmp(other->GetName(), className) == 0) {
      other->SetMethods(methods);
      other->SetCount(count);
      return 0;
    }
  }
  VMNativeClassInfo* info = CreateInstance(className, methods, count);
  if (info == NULL) return VMStatus_OutOfMemoryError;
  if (it.Insert(info) == VMHashNotFound) {
    info->Destroy();
    status = VMStatus_OutOfMemoryError;
  }
  return status;
}

/* The table and count of the record of the class's name, read together under the
   table's lock: a registration replacing them at the same time is seen whole or not at
   all, never as a new table with an old count. */
static bool FindNativeTable(VMLiteral* className, const JNINativeMethod** methods, uint32_t* count) {
  VMNativeClassInfoHashTable* table = VMUtils::GetNativeClasses();
  if (table == NULL || className == NULL) return false;
  VMword hash = className->GetHash();
  VMObjectHashTableIterator it(table, hash, VMNativeClassInfoHashTable::Mode);
  for (VMObject* e = it.Next(); e != NULL; e = it.Next()) {
    VMNativeClassInfo* info = (VMNativeClassInfo*)e;
    if (info->GetHash() != hash || !className->EqualsAscii(info->GetName())) continue;
    *methods = info->GetMethods();
    *count = info->GetCount();
    return true;
  }
  return false;
}

/* Registrations are kept for the machines to come: modules register before the first
   machine, so a registration sets the process up like JNI_LoadCompiled (the host releases
   a state no machine took with JNI_FiniClassInfo). The global mutex is held over the
   table's use, so the last machine's end cannot release the tables under it. With no host
   table there is nowhere to keep one: -1. */
JNIEXPORT jint HOSTCALL JNI_RegisterNative(const char* className, const JNINativeMethod* methods,
                                          jint count) {
  if (VMUtils::GetHostFunctions() == NULL) return -1;
  VMUtils::GlobalMutexGuard guard;
  // The name-space start-up ignores the answer; a registration that could not be kept
  // leaves the class to its symbol-named natives.
  (void)VMNativeClassInfo::Register(className, methods, count < 0 ? 0 : (uint32_t)count);
  return 0;
}

/* Kept like JNI_RegisterNative's tables. The binding to the machine's classes runs
   outside the mutex, as it ran outside the table's lock: it takes class monitors. */
JNIEXPORT jint HOSTCALL JNI_RegisterCompiled(JavaVM* javaVM,
                                            const MCConstPoolClassDefinition* definitions) {
  if (VMUtils::GetHostFunctions() == NULL) return -1;
  if (definitions == NULL) return 0;
  VMNameSpace* ns = javaVM != NULL ? javaVM->nameSpace : NULL;
  for (const MCConstPoolClassDefinition* d = definitions; d->code != NULL; d++) {
    if (d->classNames == NULL || d->classNames[0] == NULL) continue;
    const char* name = d->classNames[0];
    VMword hash = NameHash(name);
    bool kept = false;
    {
      VMUtils::GlobalMutexGuard guard;
      VMCompiledClassInfoHashTable* table = VMUtils::GetCompiledClasses();
      if (table == NULL) continue;
      // A class registered again takes the new definition in its one record: look-ups
      // take the first record of a name, so a second one would never be bound.
      VMObjectHashTableIterator it(table, hash, VMCompiledClassInfoHashTable::Mode);
      if (it.Refused()) continue;
      for (VMObject* e = it.Next(); e != NULL && !kept; e = it.Next()) {
        VMCompiledClassInfo* other = (VMCompiledClassInfo*)e;
        if (other->GetHash() != hash || strcmp(other->GetName(), name) != 0) continue;
        other->SetTable(d);
        other->SetName(name);
        kept = true;
      }
      if (!kept) {
        VMCompiledClassInfo* info = VMCompiledClassInfo::CreateInstance(d);
        if (info != NULL && it.Insert(info) != VMHashNotFound) {
          kept = true;
        } else if (info != NULL) {
          info->Destroy(NULL);
        }
      }
    }
    if (kept && ns != NULL) VMLoadableClass::RegisterNativeMethods(ns, name);
  }
  return 0;
}

/* ---------------------------------------------------------------------------------- */
/* Applying registered tables to a class                                               */

VMStatus VMLoadableClass::RegisterNatives(const JNINativeMethod* table, uint32_t count) {
  VMNameSpace* ns = GetNameSpace();
  VMStatus result = 0;
  for (uint32_t i = 0; i < count; i++) {
    // An entry without a name or signature names no method (and has no text to intern).
    if (table[i].name == NULL || table[i].signature == NULL) {
      result = VMStatus_NoSuchMethodError;
      continue;
    }
    VMLiteral* name = VMLiteral::CreateInstance(ns, table[i].name, 0xFFFFFFFFu);
    VMLiteral* signature = VMLiteral::CreateInstance(ns, table[i].signature, 0xFFFFFFFFu);
    if (name == NULL || signature == NULL) return VMStatus_OutOfMemoryError;
    VMMethod* method = FindMethod(name, signature, false);
    if (method == NULL) {
      result = VMStatus_NoSuchMethodError;
      continue;
    }
    // Only native methods take an address: a library that keeps a method in Java (a
    // print stream writing to its own stream) runs that Java, whatever a table says.
    // Such a row is no error; it is simply not used.
    if (!method->GetIsNative()) continue;
    method->SetNativeAddress(table[i].fnPtr);
  }
  return result;
}

/* The method at a position of a class's own methods; NULL when there is none. */
static VMMethod* MethodAt(VMClass* cls, uint32_t position) {
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMMethodArray* methods = cls->GetLoadableClass()->GetMethods();
  return methods != NULL && position < methods->GetSize() ? methods->Get(position) : NULL;
}

/* Applies a precompiled definition: the compiled constant pool (the classes, then the
   referenced methods, then the interned strings) and the compiled entry points. */
static void ApplyCompiledDefinition(VMLoadableClass* self, const MCConstPoolClassDefinition* d) {
  VMNameSpace* ns = self->GetNameSpace();
  uint32_t classCount = 0;
  while (d->classNames[classCount] != NULL) classCount++;
  uint32_t methodCount = 0;
  if (d->methodRefs != NULL) {
    while ((d->methodRefs[methodCount] & 0xFFFFu) < classCount) methodCount++;
  }
  uint32_t stringCount = 0;
  if (d->strings != NULL) {
    while (d->strings[stringCount] != NULL) stringCount++;
  }
  VMObjectArray* pool = VMObjectArray::CreateInstance(
      self->GetHeap(), classCount + methodCount + stringCount, jallocFailFast, 0x6F5BFECAu);
  if (pool == NULL) return;
  uint32_t slot = 0;
  for (uint32_t i = 0; i < classCount; i++) {
    VMClass* cls = VMClass::FindByName(ns, d->classNames[i], NULL);
    if (cls != NULL && cls != self && cls->GetIsLoadable()) (void)cls->GetLoadableClass()->Load();
    pool->Set(slot++, cls);
  }
  for (uint32_t i = 0; i < methodCount; i++) {
    uint32_t ref = d->methodRefs[i];
    pool->Set(slot++, MethodAt((VMClass*)pool->Get(ref & 0xFFFFu), ref >> 16));
  }
  for (uint32_t i = 0; i < stringCount; i++) {
    VMLiteral* literal = VMLiteral::CreateInstance(ns, d->strings[i], 0xFFFFFFFFu);
    pool->Set(slot++, literal != NULL ? (VMObject*)VMJavaLangString::CreateIntern(ns, literal) : NULL);
  }
  if (VMMethodArray* methods = self->GetMethods()) {
    for (uint32_t i = 0; d->code != NULL && i < methods->GetSize(); i++) {
      VMMethod* method = methods->Get(i);
      if (method == NULL || d->code[i] == NULL) continue;
      method->SetCompiledAddress(d->code[i]);
      method->SetCompiled();
    }
  }
  if (VMObjectArray* old = self->GetCompiledConstantPool()) old->VMObject::Destroy(self->GetHeap());
  self->SetCompiledConstantPool(pool);
}

void VMLoadableClass::RegisterNativeMethods() {
  const JNINativeMethod* methods = NULL;
  uint32_t count = 0;
  if (FindNativeTable(GetName(), &methods, &count)) (void)RegisterNatives(methods, count);
  // Precompiled code refers to classes of the library, so it is bound only once the name
  // space has finished its start-up.
  if (!GetNameSpace()->GetIsInitialized()) return;
  if (VMCompiledClassInfo* compiled = VMCompiledClassInfo::Find(GetName()))
    ApplyCompiledDefinition(this, compiled->GetTable());
}

void VMLoadableClass::RegisterNativeMethods(VMNameSpace* ns, const char* className) {
  if (ns == NULL || className == NULL) return;
  VMLiteral* name = VMLiteral::CreateInstance(ns, className, 0xFFFFFFFFu);
  VMClassLoader* system = SystemLoader(ns);
  if (name == NULL || system == NULL || ClassTable(system) == NULL) return;
  VMClass* cls = NULL;
  {
    VMObjectHashTableIterator it(ClassTable(system), name->GetHash(), VMClassHashTable::Mode);
    for (VMObject* e = it.Next(); e != NULL; e = it.Next()) {
      if (((VMClass*)e)->GetName() == name) {
        cls = (VMClass*)e;
        break;
      }
    }
  }
  if (cls == NULL || !cls->GetIsLoadable()) return;
  // Under the class's monitor, which a preparation applying the same records holds: two
  // threads must never build the class's compiled constant pool at once.
  VMLoadableClass* loadable = cls->GetLoadableClass();
  if (loadable->MonitorEnter(ns) != 0) return;
  if (loadable->GetIsPrepared()) loadable->RegisterNativeMethods();
  (void)loadable->MonitorExit(ns);
}
