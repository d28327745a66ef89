/* The class model's calls into its neighbours (loaders, constant pools, the native
   interface) and the least of the class life cycle that lets classes be loaded and found.
   Linking proper and static initialisation arrive with their own work; the seams below
   say what each step does until then. */
#include "vmclass.h"

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

/* Seam: preparation checks the superclass chain and gives the class its instance layout,
   which object creation needs. Giving fields their static slots, the method table,
   verification and native binding by symbol belong to linking and are not done yet; a
   registered native table is applied. */
VMStatus VMLoadableClass::Prepare(VMLoadableClass** failing) {
  if (GetIsErroneous() && GetStatus() != VMStatus_OutOfMemoryError) return GetStatus();
  if (GetIsPrepared()) return 0;
  VMNameSpace* ns = GetNameSpace();
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
  status = Load();
  if (status == VMStatus_NoClassDefFoundError) {
    (void)MonitorExit(ns);
    return status;
  }
  if (status == 0) {
    // Set before the superclass is prepared, so that a circular chain meets a prepared
    // class and ends.
    SetIsPrepared();
    VMLoadableClass* super = GetSuper();
    // A chain that comes back to itself, or is deeper than a stack, would never end.
    VMStatus chain = super != NULL ? CheckSuperChain() : 0;
    if (chain != 0) {
      status = chain;
    } else if (super != NULL) {
      status = super->Prepare(failing);
      if (status != 0) {
        if (failing != NULL && *failing == NULL) *failing = super;
      } else if (super->GetIsFinal()) {
        status = VMStatus_ClassFormatError;
      } else if (super->GetIsInterface()) {
        status = VMStatus_IncompatibleClassChangeError;
      }
    } else if (!IsJavaLangObject(this)) {
      status = VMStatus_ClassFormatError;
    }
    // An interface extends java/lang/Object and nothing else.
    if (status == 0 && GetIsInterface() && (super == NULL || !IsJavaLangObject(super)))
      status = VMStatus_ClassFormatError;
  }
  if (status == 0) status = PrepareDataMemberClasses();
  if (status == 0 && !GetIsInterface()) status = PrepareInstanceData();
  if (status == 0) RegisterNativeMethods();
  if (status != 0) {
    SetIsErroneous();
    SetStatus(status);
  }
  (void)MonitorExit(ns);
  return status;
}

/* Seam: initialisation makes the class's static data in the calling machine and runs its
   static initialiser through the interpreter. Neither exists yet, so a class counts as
   ready once it and its superclasses are prepared. */
VMStatus VMLoadableClass::Initialize(JNIEnv*) {
  if (GetIsErroneous() && GetStatus() != VMStatus_OutOfMemoryError) return GetStatus();
  VMStatus status = Prepare(NULL);
  if (status != 0) return status;
  return GetSuper() != NULL ? GetSuper()->Initialize(NULL) : 0;
}

/* Seam: a static field's constant value is put in place with the static data, which
   does not exist yet; only the fields' classes are found here. */
VMStatus VMLoadableClass::PrepareDataMemberClasses() {
  VMDataMemberArray* fields = GetDataMembers();
  if (fields == NULL) return 0;
  for (uint32_t i = 0; i < fields->GetSize(); i++) {
    VMDataMember* field = fields->Get(i);
    if (field == NULL) continue;
    VMClass* cls = VMClass::FindBySignature(GetNameSpace(), field->GetSignature(), GetClassLoader());
    if (cls == NULL) return VMStatus_OutOfMemoryError;
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
