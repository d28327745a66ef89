/* The class model's calls into its neighbours (loaders, constant pools, the native
   interface), loading and preparation of a class; linking steps and initialisation are
   in vmclass_link.cpp. */
#include "vmclass.h"

#include "vmbasicblock.h"
#include "vmclass_support.h"
#include "vmclassloader.h"
#include "vmjni.h"
#include "vmconstantpool.h"
#include "vmliteral.h"
#include "vmutils.h"

using namespace classmodel;

namespace classmodel {

VMClassLoader* LoaderForId(VMNameSpace* ns, void* loaderId) {
  VMClassLoader* system = SystemLoader(ns);
  if (loaderId == NULL || (system != NULL && system->GetLoaderID() == loaderId)) return system;
  return ns->FindOrCreateLoader(loaderId);
}

VMStatus LoadClassFile(VMClassLoader* loader, VMLoadableClass* cls) {
  if (loader == NULL) return VMStatus_NoClassDefFoundError;
  return loader->Load(cls, false);
}

VMStatus LoadDebugInfo(VMLoadableClass* cls) {
  VMClassLoader* loader = cls->GetLoader();
  if (loader == NULL) return VMStatus_NoClassDefFoundError;
  return loader->LoadDebugInfo(cls);
}

void DestroyConstantPool(VMConstantPool* pool, HHeap* heap) { pool->Destroy(heap); }

uint32_t ConstantPoolCount(VMConstantPool* pool) { return pool->GetCount(); }

jint ConstantPoolTag(VMConstantPool* pool, uint32_t index) { return pool->GetConstType(index); }

VMClass* ConstantPoolClass(VMConstantPool* pool, uint32_t index, bool initialize) {
  VMStatus status = 0;
  return pool->GetConstClass(index, &status, initialize);
}

void ThrowOnEnv(JNIEnv* env, VMStatus status, const char* message) {
  if (env != NULL) (void)VMJniThrowInternal(env, status, message);
}

}  // namespace classmodel

/* ---------------------------------------------------------------------------------- */
/* Life cycle                                                                          */

/* No class monitor is taken: the loader lets one thread at a time load a class, and a
   thread loading interfaces must never wait on a monitor that another thread, loading
   the same interfaces the other way round, holds. */
VMStatus VMLoadableClass::Load() {
  if (GetIsLoaded()) return 0;
  return LoadClassFile(GetLoader(), this);
}

static bool IsJavaLangObject(VMLoadableClass* cls) {
  VMLiteral* name = cls->GetName();
  VMLiteral* known = WellKnown(cls->GetNameSpace(), LT_OBJECT);
  return known != NULL ? name == known : name->EqualsAscii("java/lang/Object");
}

/* Whether walking the superclasses from this class ever meets a class twice. */
bool VMLoadableClass::HasCircularSuperChain() {
  VMLoadableClass* slow = this;
  VMLoadableClass* fast = this;
  for (;;) {
    fast = fast->GetSuper();
    if (fast == NULL) return false;
    fast = fast->GetSuper();
    if (fast == NULL) return false;
    slow = slow->GetSuper();
    if (slow == fast) return true;
  }
}

/* Flow analysis over every method with code, and the verifier over its blocks while the
   name space asks for it. The blocks are made here, before any code of the class can
   run and outside any collection, and kept: the collector's walk of a frame then neither
   builds nor allocates, and code that flow analysis refuses (a fall past the end, a local
   beyond max_locals) never runs. A class that fails keeps none. */
static VMStatus FlowMethods(VMLoadableClass* cls, bool verify) {
  VMMethodArray* methods = cls->GetMethods();
  VMStatus status = 0;
  VMConstantPool::MemberMemo memo;
  VMConstantPool::BeginMemberMemo(cls->GetConstantPool(), &memo);
  for (uint32_t i = 0; status == 0 && methods != NULL && i < methods->GetSize(); i++) {
    VMMethod* m = methods->Get(i);
    if (m == NULL || !m->GetIsByteCode() || m->GetCode() == NULL) continue;
    status = VMBasicBlock::BuildBlocks(m);
    if (status == 0 && verify) status = VMBasicBlock::Verify(m);
  }
  VMConstantPool::EndMemberMemo(&memo);
  for (uint32_t i = 0; status != 0 && i < methods->GetSize(); i++) {
    if (VMMethod* m = methods->Get(i)) {
      (void)VMBasicBlock::DestroyBlocks(m);
      m->DestroyBlockInfo();
    }
  }
  return status;
}

VMStatus VMLoadableClass::Prepare(VMLoadableClass** failing) {
  if (GetIsErroneous() && GetStatus() != VMStatus_OutOfMemoryError) return GetStatus();
  if (GetIsPrepared()) return 0;
  VMNameSpace* ns = GetNameSpace();
  // Another thread preparing the class holds this monitor: the enter waits for it.
  VMStatus status = MonitorEnter(ns);
  if (status != 0) return status;
  if (GetIsErroneous() && GetStatus() != VMStatus_OutOfMemoryError) {
    status = GetStatus();
    (void)MonitorExit(ns);
    return status;
  }
  if (GetIsPrepared()) {
    (void)MonitorExit(ns);
    return 0;
  }
  if (GetIsPreparing()) {
    // Only this thread can hold the monitor: its own preparation came back here.
    (void)MonitorExit(ns);
    return VMStatus_ClassCircularityError;
  }
  status = Load();
  if (status == VMStatus_NoClassDefFoundError) {
    (void)MonitorExit(ns);
    return status;
  }
  VMLoadableClass* super = GetSuper();
  if (status == 0) {
    SetIsPreparing();
    // A chain that comes back to itself, or is deeper than a stack, would never end any
    // walk over superclasses.
    VMStatus chain = super != NULL ? CheckSuperChain(failing) : 0;
    if (chain != 0) {
      status = chain;
    } else if (super != NULL) {
      status = super->Prepare(failing);
      if (status != 0) {
        if (failing != NULL && *failing == NULL) *failing = super;
      } else if (super->GetIsFinal()) {
        status = VMStatus_ClassFormatError;
      } else if (super->GetIsInterface()) {
        // Without this an instance layout and a method table would be built on an
        // interface's missing ones.
        status = VMStatus_IncompatibleClassChangeError;
      }
    } else if (!IsJavaLangObject(this)) {
      status = VMStatus_ClassFormatError;
    }
  }
  if (status == 0) status = PrepareDataMemberClasses();
  if (status == 0) status = PrepareNumStatics();
  if (status == 0) {
    if (GetIsInterface()) {
      // An interface extends java/lang/Object and nothing else.
      if (super == NULL || !IsJavaLangObject(super)) status = VMStatus_ClassFormatError;
    } else {
      status = PrepareInstanceData();
      if (status == 0) status = PrepareVTable();
    }
  }
  if (status == 0) status = FlowMethods(this, ns->GetRunVerifier());
  if (status == 0) {
    (void)LinkNativeMethods();
    RegisterNativeMethods();
    // Prepared only now: a thread that finds the bit set never meets a half-made class.
    ClearIsErroneous();
    ClearIsPreparing();
    SetIsPrepared();
  } else {
    ClearIsPreparing();
    SetIsErroneous();
    SetStatus(status);
  }
  (void)MonitorExit(ns);
  return status;
}

VMStatus VMLoadableClass::PrepareDataMemberClasses() {
  VMDataMemberArray* fields = GetDataMembers();
  if (fields == NULL) return 0;
  VMConstantPool* pool = GetConstantPool();
  for (uint32_t i = 0; i < fields->GetSize(); i++) {
    VMDataMember* field = fields->Get(i);
    if (field == NULL) continue;
    // A field done by an earlier attempt (one that ran out of memory later) holds its
    // constant's value already, no longer its pool index.
    if (field->GetClass() != NULL) continue;
    VMClass* cls = VMClass::FindBySignature(GetNameSpace(), field->GetSignature(), GetClassLoader());
    if (cls == NULL) return VMStatus_OutOfMemoryError;
    VMConstantValue* value = field->GetIsStatic() ? field->GetConstantValue() : NULL;
    if (value != NULL) {
      uint32_t index = value->GetValue1();
      if (pool == NULL || index == 0 || index >= pool->GetCount()) return VMStatus_ClassFormatError;
      if (!cls->GetIsPrimitive()) {
        VMJavaLangString* string = pool->GetConstString(GetNameSpace(), index);
        if (string == NULL) return VMStatus_OutOfMemoryError;
        value->SetString(string);
        value->SetValue1(0);
      } else {
        value->SetValue1(pool->GetConstWord(index));
        if (cls->GetIsTwoEntries()) {
          if (index + 1 >= pool->GetCount()) return VMStatus_ClassFormatError;
          value->SetValue2(pool->GetConstWord(index + 1));
        }
      }
    }
    field->SetClass(cls);
  }
  return 0;
}

VMStatus VMLoadableClass::PrepareInstanceData() {
  VMLoadableClass* super = GetSuper();
  uint32_t superSize = super != NULL ? super->GetCreateSize() : 0;
  uint32_t size = superSize;
  VMDataMemberArray* fields = GetDataMembers();
  uint32_t count = fields != NULL ? fields->GetSize() : 0;
  for (uint32_t i = 0; i < count; i++) {
    VMDataMember* field = fields->Get(i);
    if (field == NULL || field->GetIsStatic()) continue;
    field->SetIndex((jint)size);
    VMClass* cls = field->GetClass();
    size += (cls != NULL && cls->GetIsTwoEntries()) ? 2 : 1;
  }
  VMboolArray* bits = NULL;
  if (size != 0) {
    bits = VMboolArray::CreateInstance(GetHeap(), size, jallocFailFast, 0x6226FECAu);
    if (bits == NULL) return VMStatus_OutOfMemoryError;
    VMboolArray* superBits = super != NULL ? super->GetCreateBits() : NULL;
    if (superBits != NULL) {
      for (uint32_t w = 0; w < (superSize + 31) / 32; w++) bits->SetWord(w, superBits->GetWord(w));
    }
    for (uint32_t i = 0; i < count; i++) {
      VMDataMember* field = fields->Get(i);
      if (field == NULL || field->GetIsStatic()) continue;
      VMClass* cls = field->GetClass();
      if (cls != NULL && !cls->GetIsPrimitive()) bits->Set((uint32_t)field->GetIndex(), true);
    }
  }
  // A preparation retried after running out of memory replaces its earlier mask.
  if (VMboolArray* old = GetCreateBits()) old->VMObject::Destroy(GetHeap());
  SetCreateBits(bits);
  SetCreateSize(size);
  return 0;
}
