/* Objects: the common view of every heap block (VMObject) and the machine's own small
   records (VMInternalObject), whose kind word is a mask of the elements that hold
   references. */
#ifndef PUX_VMOBJECT_H
#define PUX_VMOBJECT_H

#include "vmsmallobjectbase.h"
#include "vmstatus.h"

class VMObject : public VMObjectBase {
 public:
  enum : uint32_t { MAX_INTERNAL_OBJECT_SIZE = 32 };
  static uint32_t GetMaxInternalObjectSize() { return MAX_INTERNAL_OBJECT_SIZE; }

  /* One block of n zeroed words with the reference mask in the kind word. Only the
     Instantiate functions of the heap classes call it. */
  static VMObject* CreateInternalNotToBeCalledDirectly(HHeap* heap, uint32_t words, VMword mask,
                                                       VMword tag, jallocType kind);
  static VMObject* Instantiate(HHeap* heap, uint32_t words, VMword mask) {
    return CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMObject, jallocFailFast);
  }

  /* A plain body of n words. */
  static VMObject* CreateInstance(HHeap* heap, uint32_t words, jallocType kind, VMword tag) {
    return static_cast<VMObject*>(VMObjectBase::CreateInstance(heap, words, kind, tag));
  }
  /* An uninitialised instance of a class. */
  static VMObject* CreateInstance(HHeap* heap, VMLoadableClass* cls, jallocType kind);
  /* Runs the class's no-argument constructor on this object. */
  VMObject* Initialize(JNIEnv* env, bool accessOverride);
  static VMObject* CreateInitialized(JNIEnv* env, VMLoadableClass* cls, jallocType kind,
                                     bool accessOverride, bool packageOverride);

  void Destroy(HHeap* heap);
  uint32_t GetIdentityHashCode(VM* vm);

  /* ---- reference walks (vmobject_walk.cpp) ---- */
  /* The collector's depth-first walk from this object. The callback gets the address of
     every non-NULL reference word of each object on the way; answering 2 (descend) puts
     the object the word names on the walk's stack, which is threaded through the header
     queue words, so the walk allocates nothing: an object must be pushed at most once
     per walk (the callbacks answer 2 only for what they have just marked). 0 ends the
     walk (with every queue word it used cleared again); the walk answers 1 when done. */
  WalkResult WalkReferences(WalkCallback callback, void* context);
  /* The reference words of this object alone, by its kind, without touching any queue
     word: a special walker or the static-data walk may descend on their own when the
     callback answers 2, plain words are not descended into. */
  WalkResult VisitReferences(WalkCallback callback, void* context);
  /* Relocation of one object: its storage pieces, its monitor and queue words, then
     every reference word it holds, each handed once to the host's callback. */
  void Relocate(VMRelocateInfo* info);
  /* Walks of a class's declared fields for the stored-object writer and reader. The walk
     gets this object when it is an instance of the class, else NULL, with each member;
     a false answer ends the walk with false. GuidedWalkMembers takes the class's own
     fields in declaration order (static ones included); ...WithClassDesc the stored
     members of a descriptor in their order, each as the class's own field of the same
     name and signature when one with the same static and transient bits exists, else as
     the stored member with NULL (so that its stored value is skipped). False when there
     is no member list. */
  typedef bool (*GuidedWalk)(VMObject* object, VMDataMember* member, void* context);
  bool GuidedWalkMembers(VMLoadableClass* cls, GuidedWalk walk, void* context);
  bool GuidedWalkMembersWithClassDesc(VMLoadableClass* cls, VMClassDescriptor* desc, GuidedWalk walk,
                                      void* context);

  /* Monitor operations (vmmonitor.cpp); 19 when the monitor cannot be had. The forms
     without a name space use the name space of the object's class. */
  VMStatus MonitorEnter(VMNameSpace* ns);
  VMStatus MonitorExit(VMNameSpace* ns);
  VMStatus Wait(VMNameSpace* ns, jlong ms, VMThread* thread);
  VMStatus JavaWait(VMNameSpace* ns, jlong ms, VMThread* thread);
  VMStatus Notify(VMNameSpace* ns);
  VMStatus NotifyAll(VMNameSpace* ns);
  VMStatus MonitorEnter();
  VMStatus MonitorExit();
  VMStatus Wait(jlong ms, VMThread* thread);
  VMStatus JavaWait(jlong ms, VMThread* thread);
  VMStatus Notify();
  VMStatus NotifyAll();
  /* Exits the monitor until free when the calling thread owns it; always 0. */
  VMStatus MonitorFini();

  /* The kind word; each getter answers NULL unless the kind bits match. */
  VMClass* GetClass() const {
    return GetHasClass() ? reinterpret_cast<VMClass*>(kindWord) : NULL;
  }
  /* An object given a class with a finalizer here must be put on its heap's list of
     finalizer candidates by its maker (VM::NoteFinalizable), as CreateInstance does. */
  void SetClass(VMClass* cls) {
    SetHasClass();
    kindWord = reinterpret_cast<VMword>(cls);
  }
  VMArrayClass* GetArrayClass() const { return reinterpret_cast<VMArrayClass*>(GetClass()); }
  VMLoadableClass* GetLoadableClass() const { return reinterpret_cast<VMLoadableClass*>(GetClass()); }
  VMLoadableOrArrayClass* GetLoadableOrArrayClass() const {
    return reinterpret_cast<VMLoadableOrArrayClass*>(GetClass());
  }
  VMLoadableClass* GetStaticDataClass() const {
    return GetHasStaticDataClass() ? reinterpret_cast<VMLoadableClass*>(kindWord) : NULL;
  }
  void SetStaticDataClass(VMLoadableClass* cls) {
    SetHasStaticDataClass();
    kindWord = reinterpret_cast<VMword>(cls);
  }
  VMword GetRefBits() const { return GetHasRefBits() ? kindWord : 0; }
  void SetRefBits(VMword mask) {
    SetHasRefBits();
    kindWord = mask;
  }
  SpecialObjWalker GetSpecialObjWalker() const {
    return GetHasSpecialObjWalker() ? reinterpret_cast<SpecialObjWalker>(kindWord) : NULL;
  }
  void SetSpecialObjWalker(SpecialObjWalker walker) {
    SetHasSpecialObjWalker();
    kindWord = reinterpret_cast<VMword>(walker);
  }
};

class VMInternalObject : public VMObject {
 public:
  static VMInternalObject* Instantiate(HHeap* heap, uint32_t words, VMword mask) {
    return static_cast<VMInternalObject*>(
        CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMInternalObject, jallocFailFast));
  }

  /* Element i (below 32) of an internal object is body word i. */
  VMword GetScalar(uint32_t i) const { return Body()[i]; }
  void SetScalar(uint32_t i, VMword value) { Body()[i] = value; }
  VMObject* GetReference(uint32_t i) const { return reinterpret_cast<VMObject*>(Body()[i]); }
  void SetReference(uint32_t i, VMObject* value) { Body()[i] = reinterpret_cast<VMword>(value); }
  uint16_t GetShort1(uint32_t i) const { return (uint16_t)Body()[i]; }
  uint16_t GetShort2(uint32_t i) const { return (uint16_t)(Body()[i] >> 16); }
  void SetShort1(uint32_t i, uint16_t value) { Body()[i] = (Body()[i] & 0xFFFF0000u) | value; }
  void SetShort2(uint32_t i, uint16_t value) { Body()[i] = (Body()[i] & 0xFFFFu) | ((VMword)value << 16); }
  uint8_t GetByte1(uint32_t i) const { return (uint8_t)Body()[i]; }
  uint8_t GetByte2(uint32_t i) const { return (uint8_t)(Body()[i] >> 8); }
  uint8_t GetByte3(uint32_t i) const { return (uint8_t)(Body()[i] >> 16); }
  uint8_t GetByte4(uint32_t i) const { return (uint8_t)(Body()[i] >> 24); }
  void SetByte1(uint32_t i, uint8_t value) { SetByte(i, 0, value); }
  void SetByte2(uint32_t i, uint8_t value) { SetByte(i, 8, value); }
  void SetByte3(uint32_t i, uint8_t value) { SetByte(i, 16, value); }
  void SetByte4(uint32_t i, uint8_t value) { SetByte(i, 24, value); }

 private:
  void SetByte(uint32_t i, unsigned shift, uint8_t value) {
    Body()[i] = (Body()[i] & ~((VMword)0xFF << shift)) | ((VMword)value << shift);
  }
};

static_assert(sizeof(VMObject) == 20, "no fields beyond the header");
static_assert(sizeof(VMInternalObject) == 20, "no fields beyond the header");

#endif
