#include "vmobject.h"

#include "vm.h"
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

/* Seam: an instance's size comes from its class's layout, which the class model
   provides. Until the class model is part of the library no class can be instantiated,
   and the creation fails the way a refused allocation does. */
VMObject* VMObject::CreateInstance(HHeap*, VMLoadableClass*, jallocType) {
  return NULL;
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
