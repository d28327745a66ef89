/* One class world: its own heap, its interned literals and strings, its class lists.
   Only the words that literals and strings read are here so far; the name-space code
   replaces this file with the whole record. */
#ifndef PUX_VMNAMESPACE_H
#define PUX_VMNAMESPACE_H

#include "vmobject.h"

class VMNameSpace : public VMInternalObject {
 public:
  enum { Words = 25, RefMask = 0x3FFF80 };
  enum {
    HeapWord = 0,
    LiteralHashTableWord = 7,
    ClassListWord = 9,
    ArrayClassListWord = 10,
    InternTableWord = 20
  };

  HHeap* GetHeap() const { return (HHeap*)GetScalar(HeapWord); }
  void SetHeap(HHeap* heap) { SetScalar(HeapWord, (VMword)heap); }
  VMLiteralHashTable* GetLiteralHashTable() const {
    return (VMLiteralHashTable*)GetReference(LiteralHashTableWord);
  }
  void SetLiteralHashTable(VMLiteralHashTable* t) {
    SetReference(LiteralHashTableWord, (VMObject*)t);
  }
  VMClassList* GetClassList() const { return (VMClassList*)GetReference(ClassListWord); }
  void SetClassList(VMClassList* l) { SetReference(ClassListWord, (VMObject*)l); }
  VMArrayClassList* GetArrayClassList() const {
    return (VMArrayClassList*)GetReference(ArrayClassListWord);
  }
  void SetArrayClassList(VMArrayClassList* l) { SetReference(ArrayClassListWord, (VMObject*)l); }
  VMJavaLangStringHashTable* GetInternTable() const {
    return (VMJavaLangStringHashTable*)GetReference(InternTableWord);
  }
  void SetInternTable(VMJavaLangStringHashTable* t) { SetReference(InternTableWord, (VMObject*)t); }
};

/* The classes the machine uses by identity (32 words, words 0-25 references). */
class VMClassList : public VMInternalObject {
 public:
  enum { Words = 32, RefMask = 0x3FFFFFF };
  enum { StringClassWord = 1 };
  VMLoadableClass* GetStringClass() const {
    return (VMLoadableClass*)GetReference(StringClassWord);
  }
};

/* The array classes the machine uses by identity (14 words, all references). */
class VMArrayClassList : public VMInternalObject {
 public:
  enum { Words = 14, RefMask = 0x3FFF };
  enum { VMcharArrayClassWord = 3 };
  VMArrayClass* GetVMcharArrayClass() const {
    return (VMArrayClass*)GetReference(VMcharArrayClassWord);
  }
};

#endif
