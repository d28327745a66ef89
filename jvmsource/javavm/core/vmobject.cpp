#include "vmobject.h"

#include "vm.h"
#include "vmclass.h"
#include "vmclass_support.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmthread.h"
#include "vmmonitor.h"
#include "vmserial.h"
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
  if (cls->GetFinalize() != NULL) VM::NoteFinalizable(heap, object);
  return object;
}

using namespace classmodel;

VMObject* VMObject::Initialize(JNIEnv* env, bool accessOverride) {
  VMLoadableClass* cls = GetHasClass() ? GetLoadableClass() : NULL;
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (cls == NULL || thread == NULL) return NULL;
  VMNameSpace* ns = cls->GetNameSpace();
  VMMethod* init = cls->FindMethod(WellKnown(ns, LT_INIT), WellKnown(ns, LT_SIG_NULL), false);
  if (init == NULL) {
    thread->SetExceptionStatus(VMStatus_InstantiationException, cls->GetDotName());
    return NULL;
  }
  if (!accessOverride && init->GetIsPrivate()) {
    thread->SetExceptionStatus(VMStatus_IllegalAccessException, cls->GetDotName());
    return NULL;
  }
  VMword args[2] = {(VMword)this, 0};
  VMFrame::ExecuteJava(env, init, args);
  return this;
}

VMObject* VMObject::CreateInitialized(JNIEnv* env, VMLoadableClass* cls, jallocType kind, bool accessOverride,
                                      bool packageOverride) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  if (cls == NULL || thread == NULL) return NULL;
  if (!cls->GetIsLoadable() || cls->GetIsInterface() || cls->GetIsAbstract()) {
    thread->SetExceptionStatus(VMStatus_InstantiationException, cls->GetDotName());
    return NULL;
  }
  if (!cls->GetIsPublic() && !packageOverride) {
    VMFrame* frame = thread->GetFrame();
    VMFrame* caller = frame != NULL ? frame->GetLastByteCodeFrame() : NULL;
    VMMethod* method = caller != NULL ? caller->GetMethod() : NULL;
    VMLiteral* callerPackage = method != NULL ? method->GetDefinedIn()->GetPackage() : NULL;
    if (callerPackage != cls->GetPackage()) {
      thread->SetExceptionStatus(VMStatus_IllegalAccessException, cls->GetDotName());
      return NULL;
    }
  }
  VMObject* object = CreateInstance(thread->GetVM()->GetHeap(), cls, kind);
  if (object == NULL) {
    thread->SetExceptionStatus(VMStatus_InstantiationException, cls->GetDotName());
    return NULL;
  }
  return object->Initialize(env, accessOverride);
}

void VMObject::Destroy(HHeap* heap) {
  // Only what the two listing makers made can be listed (their tags); nothing else's
  // kind word is read here.
  VMword tag = GetTag();
  if ((tag == VMTag_VMUserClassInstance || tag == VMTag_VMJavaLangThrowable) && VM::HasFinalizerToRun(this))
    VM::ForgetFinalizable(heap, this);
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

/* ---------------------------------------------------------------------------------- */
/* Guided member walks                                                                 */

bool VMObject::GuidedWalkMembers(VMLoadableClass* cls, GuidedWalk walk, void* context) {
  VMDataMemberArray* members = cls != NULL ? cls->GetDataMembers() : NULL;
  if (members == NULL || walk == NULL) return false;
  VMObject* object = VMClass::AssignableFrom(GetClass(), cls) ? this : NULL;
  uint32_t n = members->GetSize();
  for (uint32_t i = 0; i < n; i++) {
    if (!walk(object, members->Get(i), context)) return false;
  }
  return true;
}

bool VMObject::GuidedWalkMembersWithClassDesc(VMLoadableClass* cls, VMClassDescriptor* desc, GuidedWalk walk,
                                              void* context) {
  VM_ASSERT(cls != NULL && desc != NULL && walk != NULL);
  VMDataMemberArray* stored = desc != NULL ? desc->GetMembers() : NULL;
  if (cls == NULL || stored == NULL || walk == NULL) return false;
  // A stored chain that names a class this object is not an instance of only has its
  // values skipped: nothing is written outside the object.
  bool instance = VMClass::AssignableFrom(GetClass(), cls);
  const VMword kinds = VMMember::IsStaticFlag | VMMember::IsTransientFlag;
  uint32_t n = stored->GetSize();
  for (uint32_t i = 0; i < n; i++) {
    VMDataMember* member = stored->Get(i);
    VMDataMember* own = instance ? cls->FindField(member->GetName(), member->GetSignature(), false, NULL) : NULL;
    bool ok = own != NULL && (own->GetMemberFlags() & kinds) == (member->GetMemberFlags() & kinds)
                  ? walk(this, own, context)
                  : walk(NULL, member, context);
    if (!ok) return false;
  }
  return true;
}
