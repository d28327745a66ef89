/* Class descriptors and methods. Only what objects, strings and native symbol names read
   of them is here so far (the words of the descriptor and method layouts); the class model
   replaces this file with the whole of it. */
#ifndef PUX_VMCLASS_H
#define PUX_VMCLASS_H

#include "vmobject.h"
#include "vmarray.h"

class VMClass : public VMObject {
 public:
  enum { NameSpaceWord = 0, SuperWord = 1, NameWord = 2, ClassLoaderWord = 3, HashWord = 5,
         KindBitsWord = 6 };

  VMNameSpace* GetNameSpace() const { return (VMNameSpace*)GetWord(NameSpaceWord); }
  /* The interned name in internal form ("java/lang/String", "[C"). */
  VMLiteral* GetName() const { return (VMLiteral*)GetWord(NameWord); }
};

class VMLoadableOrArrayClass : public VMClass {};

class VMArrayClass : public VMLoadableOrArrayClass {
 public:
  enum { ElementClassWord = 8 };
  VMClass* GetElementClass() const { return (VMClass*)GetWord(ElementClassWord); }
};

class VMLoadableClass : public VMLoadableOrArrayClass {
 public:
  enum { MethodsWord = 11, CreateBitsWord = 18, CreateSizeWord = 20 };

  /* The class's own methods in class-file order. */
  VMMethodArray* GetMethods() const { return (VMMethodArray*)GetWord(MethodsWord); }
  /* Reference mask of an instance, one bit per instance word. */
  VMboolArray* GetCreateBits() const { return (VMboolArray*)GetWord(CreateBitsWord); }
  /* Instance size in words. */
  uint32_t GetCreateSize() const { return GetWord(CreateSizeWord); }
};

class VMMethod : public VMObject {
 public:
  enum { NameWord = 0, SignatureWord = 1, DefinedInWord = 2, FlagsWord = 5,
         ParameterBytesWord = 24 };
  enum : uint32_t { IsStaticFlag = 0x10, IsNativeFlag = 0x200 };

  VMLiteral* GetName() const { return (VMLiteral*)GetWord(NameWord); }
  VMLiteral* GetSignature() const { return (VMLiteral*)GetWord(SignatureWord); }
  VMLoadableClass* GetDefinedIn() const { return (VMLoadableClass*)GetWord(DefinedInWord); }
  bool GetIsStatic() const { return (GetWord(FlagsWord) & IsStaticFlag) != 0; }
  bool GetIsNative() const { return (GetWord(FlagsWord) & IsNativeFlag) != 0; }
  /* Argument words times 4 (the low half of its word). */
  uint32_t GetParameterBytes() const { return GetWord(ParameterBytesWord) & 0xFFFFu; }
};

#endif
