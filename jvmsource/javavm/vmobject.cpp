#include "vmobject.h"

#include "vm.h"
#include "vmclass.h"
#include "vmmonitor.h"
#include "vmutils.h"

VMObject* VMObject::CreateInternalNotToBeCalledDirectly(HHeap* heap, uint32_t words, VMword mask,
                                                        VMword tag, jallocType kind) {
  VMObject* object = static_cast<VMObject*>(VMObjectBase::CreateInternal(heap, words, tag, kind));
  if (object == NULL) return NULL;
  object->SetIsRootObject();
  object->SetRefBits(mask);
  return object;
}

VMObject* VMObject::CreateInstance(HHeap* heap, VMLoadableClass* cls, jallocType kind) {
  if (cls == NULL) return NULL;
  VMObject* object = static_cast<VMObject*>(
      VMObjectBase::CreateInstance(heap, cls->GetCreateSize(), kind, VMTag_VMUserClassInstance));
  if (object == NULL) return NULL;
  object->SetClass(cls);
  return object;
}

/* Seam: running a constructor needs the class model and the interpreter. Without them
   no constructor can run, so the object is not handed back as initialised. */
VMObject* VMObject::Initialize(JNIEnv*, bool) {
  return NULL;
}

/* Seam: as Initialize; no class can be instantiated yet. */
VMObject* VMObject::CreateInitialized(JNIEnv*, VMLoadableClass*, jallocType, bool, bool) {
  return NULL;
}

void VMObject::Destroy(HHeap* heap) {
  VMMonitor::ReleaseMonitorFor(this);
  VMObjectBase::Destroy(heap);
}

uint32_t VMObject::GetIdentityHashCode(VM* vm) {
  HHeap* heap = vm->GetHeap();
  if (GetIsNameSpaceData()) {
    VMInternalObject* nameSpace = reinterpret_cast<VMInternalObject*>(vm->GetNameSpace());
    heap = reinterpret_cast<HHeap*>(nameSpace->GetScalar(0));
  }
  return (uint32_t)VMUtils::GetHostFunctions()->ObjectHashCode(heap, this);
}
