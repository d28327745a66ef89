/* Fields, methods, local variables, exception-table entries and constant values, and the
   reading of type signatures. */
#include "vmclass.h"

#include <string.h>

#include "vmclass_support.h"
#include "vm.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmthread.h"
#include "vmliteral.h"
#include "vmutils.h"

using namespace classmodel;

/* ---------------------------------------------------------------------------------- */
/* Signatures                                                                          */

namespace {

/* Signatures are read through either of two cursors with one set of rules: the
   literal's iterator, or, for a literal whose text is all ASCII and lies in its first
   part (nearly every signature), its bytes in place, where a character is a byte. */
class AsciiCursor {
 public:
  AsciiCursor(const uint8_t* text, uint32_t length) : text(text), length(length), position(0) {}
  bool HasMoreChars() const { return position < length; }
  jchar PeekChar() const { return position < length ? text[position] : 0; }
  jchar NextChar() { return position < length ? text[position++] : 0; }
  uint32_t GetNextIndex() const { return position; }
  uint32_t GetNextBytePosition() const { return position; }

 private:
  const uint8_t* text;
  uint32_t length;
  uint32_t position;
};

/* The text of a literal when it is all ASCII and lies in the literal's own block. */
const uint8_t* AsciiText(VMLiteral* literal) {
  uint32_t n = literal->UTF8Length();
  if (n > VMArray::FIRST_PART_BYTES) return NULL;
  const uint8_t* text = literal->GetFirstElementPointer();
  uint8_t any = 0;
  for (uint32_t i = 0; i < n; i++) any |= text[i];
  return any < 0x80 ? text : NULL;
}

template <typename Cursor>
VMMethod::SigTypes ScanItem(Cursor& it) {
  if (!it.HasMoreChars()) return VMMethod::SigEnd;
  switch (it.NextChar()) {
    case ')': return VMMethod::SigEndParms;
    case 'J': return VMMethod::SigLong;
    case 'D': return VMMethod::SigDouble;
    case 'B': return VMMethod::SigByte;
    case 'C': return VMMethod::SigChar;
    case 'F': return VMMethod::SigFloat;
    case 'I': return VMMethod::SigInt;
    case 'S': return VMMethod::SigShort;
    case 'Z': return VMMethod::SigBoolean;
    case 'V': return VMMethod::SigVoid;
    case '[': {
      // At most 255 dimensions, as class files allow: every dimension is a class with a
      // name of its own, so a deeper type (a Utf8 entry can spell 65534) would cost
      // gigabytes of names before it failed.
      uint32_t dimensions = 1;
      while (it.HasMoreChars() && it.PeekChar() == '[') {
        it.NextChar();
        if (++dimensions > VMMethod::MAX_ARRAY_DIMENSIONS) return VMMethod::SigInvalid;
      }
      // Only a field type may follow: ')' and the end are no element type any more
      // than void is, so "[)" and "[" are invalid.
      VMMethod::SigTypes element = ScanItem(it);
      return element >= VMMethod::SigObject && element <= VMMethod::SigBoolean ? VMMethod::SigArray
                                                                               : VMMethod::SigInvalid;
    }
    case 'L': {
      // A class name runs to the next ';' and is never empty.
      uint32_t start = it.GetNextIndex();
      while (it.HasMoreChars()) {
        if (it.NextChar() == ';') return it.GetNextIndex() - start > 1 ? VMMethod::SigObject : VMMethod::SigInvalid;
      }
      return VMMethod::SigInvalid;
    }
    default: return VMMethod::SigInvalid;
  }
}

}  // namespace

VMMethod::SigTypes VMMethod::ScanSigItem(VMLiteralIterator& it) { return ScanItem(it); }

namespace {
template <typename Cursor>
bool ValidFieldType(Cursor& it) {
  VMMethod::SigTypes kind = ScanItem(it);
  if (kind < VMMethod::SigArray || kind > VMMethod::SigBoolean) return false;
  return ScanItem(it) == VMMethod::SigEnd;
}
}  // namespace

bool VMMember::ValidSignature(VMLiteral* signature) {
  if (signature == NULL) return false;
  if (const uint8_t* text = AsciiText(signature)) {
    AsciiCursor it(text, signature->UTF8Length());
    return ValidFieldType(it);
  }
  VMLiteralIterator it(signature);
  return ValidFieldType(it);
}

/* The running bit of the argument maps: bit n for argument word n, dropped past 31. */
static inline void SetArgBit(VMword* bits, uint32_t n) {
  if (n < 32) *bits |= (VMword)1 << n;
}

namespace {

template <typename Cursor>
bool Classify(Cursor& it, uint32_t length, bool isStatic, VMMethod::SignatureInfo* info) {
  VMMethod::SignatureInfo out = {};
  uint32_t bit = 0;
  if (!isStatic) {
    SetArgBit(&out.objectBits, 0);
    bit = 1;
  }
  if (it.NextChar() != '(') return false;
  uint32_t words = 0;
  for (;;) {
    VMMethod::SigTypes kind = ScanItem(it);
    if (kind == VMMethod::SigEndParms) break;
    switch (kind) {
      case VMMethod::SigArray:
      case VMMethod::SigObject:
        SetArgBit(&out.objectBits, bit);
        bit += 1;
        words += 1;
        break;
      case VMMethod::SigLong:
        SetArgBit(&out.twoWordBits, bit);
        SetArgBit(&out.twoWordBits, bit + 1);
        bit += 2;
        words += 2;
        break;
      case VMMethod::SigDouble:
        SetArgBit(&out.twoWordBits, bit);
        SetArgBit(&out.twoWordBits, bit + 1);
        SetArgBit(&out.floatBits, bit);
        SetArgBit(&out.floatBits, bit + 1);
        bit += 2;
        words += 2;
        break;
      case VMMethod::SigFloat:
        SetArgBit(&out.floatBits, bit);
        bit += 1;
        words += 1;
        break;
      case VMMethod::SigByte:
      case VMMethod::SigChar:
      case VMMethod::SigInt:
      case VMMethod::SigShort:
      case VMMethod::SigBoolean:
        bit += 1;
        words += 1;
        break;
      default:
        return false;
    }
  }
  out.parameterWords = words + (isStatic ? 0 : 1);
  out.returnStart = it.GetNextBytePosition();
  uint32_t returnCharIndex = it.GetNextIndex();
  if (it.HasMoreChars()) out.returnChar = it.PeekChar();
  switch (ScanItem(it)) {
    case VMMethod::SigArray:
    case VMMethod::SigObject:
      SetArgBit(&out.objectBits, bit);
      out.returnWords = 1;
      break;
    case VMMethod::SigLong:
    case VMMethod::SigDouble:
      out.returnWords = 2;
      break;
    case VMMethod::SigByte:
    case VMMethod::SigChar:
    case VMMethod::SigFloat:
    case VMMethod::SigInt:
    case VMMethod::SigShort:
    case VMMethod::SigBoolean:
      out.returnWords = 1;
      break;
    case VMMethod::SigVoid:
      out.returnWords = 0;
      break;
    default:
      return false;
  }
  out.moreParmsThanBits = out.parameterWords >= 32;
  if (ScanItem(it) != VMMethod::SigEnd) return false;
  out.returnLength = length - out.returnStart;
  out.returnCharIndex = returnCharIndex;
  *info = out;
  return true;
}

}  // namespace

bool VMMethod::ClassifySignature(VMLiteral* signature, bool isStatic, SignatureInfo* info) {
  if (signature == NULL || signature->UTF8Length() < 3) return false;
  uint32_t length = signature->UTF8Length();
  if (const uint8_t* text = AsciiText(signature)) {
    AsciiCursor it(text, length);
    return Classify(it, length, isStatic, info);
  }
  VMLiteralIterator it(signature);
  return Classify(it, length, isStatic, info);
}

/* ---------------------------------------------------------------------------------- */
/* Flags and names                                                                     */

void VMMember::SetFlags(jint access) {
  VMword f = GetWord(FlagsWord);
  if ((access & 0x7) == 0) f |= IsDefaultFlag;
  if (access & 0x1) f |= IsPublicFlag;
  if (access & 0x2) f |= IsPrivateFlag;
  if (access & 0x4) f |= IsProtectedFlag;
  if (access & 0x8) f |= IsStaticFlag;
  if (access & 0x10) f |= IsFinalFlag;
  if (access & 0x20) f |= IsSynchronizedFlag;
  if (access & 0x40) f |= IsVolatileFlag;
  if (access & 0x80) f |= IsTransientFlag;
  if (access & 0x100) {
    f |= IsNativeFlag;
    f &= ~(VMword)IsByteCodeFlag;
  }
  if (access & 0x400) f |= IsAbstractFlag;
  if (access & 0x800) f |= IsStrictFlag;
  SetWord(FlagsWord, f);
}

jint VMMember::GetFlags() const {
  VMword f = GetWord(FlagsWord);
  jint access = 0;
  if (f & IsPublicFlag) access |= 0x1;
  if (f & IsPrivateFlag) access |= 0x2;
  if (f & IsProtectedFlag) access |= 0x4;
  if (f & IsStaticFlag) access |= 0x8;
  if (f & IsFinalFlag) access |= 0x10;
  if (f & IsSynchronizedFlag) access |= 0x20;
  if (f & IsVolatileFlag) access |= 0x40;
  if (f & IsTransientFlag) access |= 0x80;
  if (f & IsNativeFlag) access |= 0x100;
  if (f & IsAbstractFlag) access |= 0x400;
  // strictfp is a method's modifier (it enters the default serialVersionUID); a field's
  // stray 0x800 bit means nothing.
  if (f & IsStrictFlag) {
    VMLiteral* s = GetSignature();
    if (s != NULL && s->UTF8Length() > 0 && s->ByteAt(0) == '(') access |= 0x800;
  }
  return access;
}

bool VMMember::IsRefField() const {
  VMLiteral* s = GetSignature();
  if (s == NULL || s->UTF8Length() == 0) return false;
  uint8_t c = s->ByteAt(0);
  return c == 'L' || c == '[';
}

VMLiteral* VMMember::GetFullName() {
  VMLoadableClass* cls = GetDefinedIn();
  if (cls == NULL || GetName() == NULL) return NULL;
  char* dotted = cls->GetDotNameUTF8();
  if (dotted == NULL) return NULL;
  TextBuffer text;
  text.Append(dotted);
  VMLiteral::FreeUTF8(dotted);
  text.Append(".");
  text.Append(GetName());
  if (text.Failed()) return NULL;
  return VMLiteral::CreateInstance(cls->GetNameSpace(), text.Data(), text.Length());
}

/* ---------------------------------------------------------------------------------- */
/* Creation and destruction                                                            */

static VMObject* NewRecord(HHeap* heap, uint32_t words, VMword mask, VMword tag) {
  return VMObject::CreateInternalNotToBeCalledDirectly(heap, words, mask, tag, jallocFailFast);
}

VMConstantValue* VMConstantValue::CreateInstance(HHeap* heap) {
  return (VMConstantValue*)NewRecord(heap, Words, RefMask, Tag);
}

VMExceptionHandler* VMExceptionHandler::CreateInstance(HHeap* heap) {
  return (VMExceptionHandler*)NewRecord(heap, Words, RefMask, Tag);
}

VMDataMember* VMDataMember::CreateInstance(HHeap* heap, VMLiteral* name, VMLiteral* signature,
                                           jint access, uint32_t constantValueIndex,
                                           VMLoadableClass* definedIn, VMStatus* status) {
  *status = 0;
  // A constant belongs to a field that cannot change after its class is initialised.
  if (constantValueIndex != 0 && (access & 0x18) == 0) {
    *status = VMStatus_VerifyError;
    return NULL;
  }
  VMDataMember* field = (VMDataMember*)NewRecord(heap, Words, RefMask, Tag);
  if (field == NULL) {
    *status = VMStatus_OutOfMemoryError;
    return NULL;
  }
  field->SetName(name);
  field->SetSignature(signature);
  field->SetFlags(access);
  field->SetDefinedIn(definedIn);
  if (constantValueIndex != 0) {
    VMConstantValue* value = VMConstantValue::CreateInstance(heap);
    if (value == NULL) {
      field->Destroy(heap);
      *status = VMStatus_OutOfMemoryError;
      return NULL;
    }
    value->SetValue1(constantValueIndex);
    field->SetConstantValue(value);
  }
  return field;
}

VMLocalDataMember* VMLocalDataMember::CreateInstance(HHeap* heap, VMLiteral* name,
                                                     VMLiteral* signature, uint16_t scopeStart,
                                                     uint16_t scopeLength, uint16_t slot) {
  VMLocalDataMember* local = (VMLocalDataMember*)NewRecord(heap, Words, RefMask, Tag);
  if (local == NULL) return NULL;
  local->SetName(name);
  local->SetSignature(signature);
  local->SetIndex(slot);
  local->SetWord(ScopeStartWord, scopeStart);
  local->SetWord(ScopeLengthWord, scopeLength);
  local->SetIsLocal();
  return local;
}

VMMethod* VMMethod::CreateInstance(HHeap* heap, VMLiteral* name, VMLiteral* signature,
                                   jint access, void* nativeFunction, VMLoadableClass* definedIn,
                                   VMStatus* status) {
  *status = 0;
  SignatureInfo info;
  if (!ClassifySignature(signature, (access & 0x8) != 0, &info)) {
    *status = VMStatus_VerifyError;
    return NULL;
  }
  // A method has fewer than 256 argument words; the count is kept as 16-bit bytes, so a
  // larger one would wrap and the frame would disagree with the descriptor.
  if (info.parameterWords >= 256) {
    *status = VMStatus_ClassFormatError;
    return NULL;
  }
  VMMethod* method = (VMMethod*)NewRecord(heap, Words, RefMask, Tag);
  if (method == NULL) {
    *status = VMStatus_OutOfMemoryError;
    return NULL;
  }
  method->SetIsByteCode();
  method->SetName(name);
  method->SetSignature(signature);
  method->SetFlags(access);
  method->SetDefinedIn(definedIn);
  if (definedIn != NULL) {
    *status = method->FindReturnClass();
    if (*status != 0) {
      method->SetDefinedIn(NULL);
      method->Destroy(heap);
      return NULL;
    }
  }
  method->SetWord(ParameterBytesWord, ((info.parameterWords * 4) & 0xFFFFu) |
                                          ((info.returnWords * 4) << 16) |
                                          ((VMword)(info.returnChar & 0xFF) << 24));
  method->SetWord(ObjectBitsWord, info.objectBits);
  method->SetWord(TwoWordBitsWord, info.twoWordBits);
  method->SetWord(FloatBitsWord, info.floatBits);
  // Compiled code calls every method through its compiled address: the interpreter's
  // thunk until compiled code is bound.
  method->SetCompiledAddress((void*)&VMByteCodeFrame::ThunkForCompiledCode);
  method->SetWord(Word12, 0xFFFFFFFFu);
  void* mutex = VMUtils::MutexCreate(method);
  if (mutex == NULL) {
    method->Destroy(heap);
    *status = VMStatus_OutOfMemoryError;
    return NULL;
  }
  method->SetWord(MutexWord, (VMword)mutex);
  if (info.moreParmsThanBits) method->SetIsMoreParmsThanBits();
  method->SetNativeAddress(nativeFunction);
  return method;
}

void VMMethod::FindShape() {
  struct Known {
    Shape shape;
    const char* descriptor;
    uint32_t length;
    uint8_t code[14];
  };
  // As the class library's java.lang.Math compiles them, branch offsets in the order the
  // loader stores them (the machine's own); another compiler's code for the same source
  // is simply called.
  static const Known kKnown[] = {
      {ShapeAbsInt, "(I)I", 11, {0x1a, 0x9c, 0x08, 0x00, 0x1a, 0x74, 0xa7, 0x04, 0x00, 0x1a, 0xac}},
      {ShapeAbsLong, "(J)J", 13, {0x1e, 0x09, 0x94, 0x9c, 0x08, 0x00, 0x1e, 0x75, 0xa7, 0x04, 0x00, 0x1e, 0xad}},
      {ShapeAbsFloat, "(F)F", 14,
       {0x22, 0x0b, 0x96, 0x9d, 0x09, 0x00, 0x0b, 0x22, 0x66, 0xa7, 0x04, 0x00, 0x22, 0xae}},
      {ShapeAbsDouble, "(D)D", 14,
       {0x26, 0x0e, 0x98, 0x9d, 0x09, 0x00, 0x0e, 0x26, 0x67, 0xa7, 0x04, 0x00, 0x26, 0xaf}},
      {ShapeMaxInt, "(II)I", 11, {0x1a, 0x1b, 0xa1, 0x07, 0x00, 0x1a, 0xa7, 0x04, 0x00, 0x1b, 0xac}},
      {ShapeMinInt, "(II)I", 11, {0x1a, 0x1b, 0xa3, 0x07, 0x00, 0x1a, 0xa7, 0x04, 0x00, 0x1b, 0xac}},
  };
  const VMword kinds = IsStaticFlag | IsByteCodeFlag | IsNativeFlag | IsAbstractFlag | IsSynchronizedFlag;
  VMbyteArray* code = GetCode();
  if ((GetMemberFlags() & kinds) != (IsStaticFlag | IsByteCodeFlag) || code == NULL || GetSignature() == NULL)
    return;
  const uint8_t* bytes = code->GetFirstElementPointer();
  for (const Known& k : kKnown) {
    if (code->GetSize() == k.length && memcmp(bytes, k.code, k.length) == 0 &&
        GetSignature()->EqualsAscii(k.descriptor)) {
      SetWord(FlagsWord, (GetMemberFlags() & ~(VMword)ShapeMask) | ((VMword)k.shape << ShapeShift));
      return;
    }
  }
}

VMStatus VMMethod::FindReturnClass() {
  if (GetReturnClass() != NULL) return 0;
  VMLoadableClass* definedIn = GetDefinedIn();
  VMLiteral* signature = GetSignature();
  if (definedIn == NULL || signature == NULL) return VMStatus_NoClassDefFoundError;
  // The return type is what follows the ')' (the descriptor was checked at creation).
  // Read in place: no literal is made for the return type itself, only for a class name.
  VMLiteralIterator it(signature);
  bool found = false;
  while (it.HasMoreChars()) {
    if (it.NextChar() == ')') {
      found = true;
      break;
    }
  }
  if (!found || !it.HasMoreChars()) return VMStatus_NoClassDefFoundError;
  VMNameSpace* ns = definedIn->GetNameSpace();
  VMClass* returnClass = VMClass::FindBySignature(ns, it, definedIn->GetClassLoader());
  if (returnClass == NULL) return VMStatus_NoClassDefFoundError;
  SetClass(returnClass);
  return 0;
}

void VMMember::Destroy(HHeap* heap) {
  VMLoadableClass* cls = GetDefinedIn();
  if (cls != NULL && cls->GetNameSpace() != NULL) {
    VMObjectHandleArray* ids = FieldIDs(cls->GetNameSpace());
    if (ids != NULL) {
      for (uint32_t i = ids->Find(this); i != 0; i = ids->Find(this)) ids->Delete(i);
    }
  }
  VMObject::Destroy(heap);
}

void VMDataMember::Destroy(HHeap* heap) {
  if (VMConstantValue* value = GetConstantValue()) value->Destroy(heap);
  VMMember::Destroy(heap);
}

void VMLocalDataMember::Destroy(HHeap* heap) {
  if (VMConstantValue* value = (VMConstantValue*)GetWord(ConstantValueWord)) value->Destroy(heap);
  VMMember::Destroy(heap);
}

void VMMethod::Destroy(HHeap* heap) {
  if (VMObject* types = (VMObject*)GetParameterTypes()) types->Destroy(heap);
  if (VMObject* code = (VMObject*)GetCode()) code->Destroy(heap);
  if (VMExceptionHandlerArray* handlers = GetExceptionHandlers()) {
    for (uint32_t i = 0; i < handlers->GetSize(); i++) {
      if (VMExceptionHandler* h = handlers->Get(i)) h->Destroy(heap);
    }
    handlers->VMObject::Destroy(heap);
  }
  if (VMObject* throws = (VMObject*)GetThrows()) throws->Destroy(heap);
  DestroyBlockInfo();
  if (void* mutex = GetMutex()) VMUtils::GetHostFunctions()->MutexDestroy(mutex);
  VMMember::Destroy(heap);
}

/* ---------------------------------------------------------------------------------- */
/* Method queries                                                                      */

VMObject* VMMethod::GetSynchObject(VMThread* thread, VMword* arguments) {
  if (!GetIsSynchronized()) return NULL;
  if (!GetIsStatic()) return (VMObject*)arguments[0];
  // A static method's monitor object is its class's static data in the thread's machine.
  VMLoadableClass* cls = GetDefinedIn();
  if (cls == NULL || thread == NULL || thread->GetVM() == NULL) return NULL;
  return thread->GetVM()->GetStaticDataArray() != NULL ? thread->GetVM()->GetStaticDataArray()->Get(cls->GetIndex())
                                                       : NULL;
}

VMboolArray* VMMethod::GetObjectBitArray() {
  VMLoadableClass* cls = GetDefinedIn();
  SignatureInfo info;
  if (cls == NULL || !ClassifySignature(GetSignature(), GetIsStatic(), &info)) return NULL;
  VMboolArray* bits = VMboolArray::CreateInstance(cls->GetHeap(), info.parameterWords,
                                                  jallocFailFast, 0x5A5BFECAu);
  if (bits == NULL) return NULL;
  VMLiteralIterator it(GetSignature());
  it.NextChar();  // '('
  uint32_t word = 0;
  if (!GetIsStatic()) bits->Set(word++, true);
  for (;;) {
    SigTypes kind = ScanSigItem(it);
    if (kind == SigEndParms) break;
    if (kind == SigArray || kind == SigObject) bits->Set(word, true);
    word += (kind == SigLong || kind == SigDouble) ? 2 : 1;
  }
  return bits;
}

void VMMethod::GetObjectWords(uint8_t* map) {
  uint32_t word = 0;
  if (!GetIsStatic()) map[word++] = 1;
  VMLiteralIterator it(GetSignature());
  it.NextChar();  // '('
  for (uint32_t n = GetParameterWords(); word < n;) {
    SigTypes kind = ScanSigItem(it);
    if (kind == SigEndParms || kind == SigEnd || kind == SigInvalid) break;
    map[word++] = kind == SigArray || kind == SigObject;
    if ((kind == SigLong || kind == SigDouble) && word < n) map[word++] = 0;
  }
}

/* Makes the class's debug information present; 0 when it is. */
static VMStatus EnsureDebugInfo(VMLoadableClass* cls);

static int32_t MethodPosition(VMLoadableClass* cls, VMMethod* method) {
  VMMethodArray* methods = cls->GetMethods();
  if (methods == NULL) return -1;
  for (uint32_t i = 0; i < methods->GetSize(); i++) {
    if (methods->Get(i) == method) return (int32_t)i;
  }
  return -1;
}

VMshortArray* VMMethod::GetLineNumbers(VMStatus* status) {
  VMLoadableClass* cls = GetDefinedIn();
  *status = cls != NULL ? EnsureDebugInfo(cls) : VMStatus_InternalError;
  if (*status != 0) return NULL;
  int32_t i = MethodPosition(cls, this);
  VMshortArrayArray* tables = cls->GetLineNumberArray();
  if (i < 0 || tables == NULL || (uint32_t)i >= tables->GetSize()) return NULL;
  return tables->Get((uint32_t)i);
}

VMLocalDataMemberArray* VMMethod::GetLocalVariables(VMStatus* status) {
  VMLoadableClass* cls = GetDefinedIn();
  *status = cls != NULL ? EnsureDebugInfo(cls) : VMStatus_InternalError;
  if (*status != 0) return NULL;
  int32_t i = MethodPosition(cls, this);
  VMLocalDataMemberArrayArray* tables = cls->GetLocalVariableArray();
  if (i < 0 || tables == NULL || (uint32_t)i >= tables->GetSize()) return NULL;
  return tables->Get((uint32_t)i);
}

VMLiteral* VMMethod::GetQualifiedName() {
  VMLiteral* name = GetName();
  VMLoadableClass* cls = GetDefinedIn();
  if (cls == NULL || name == NULL) return name;
  VMNameSpace* ns = cls->GetNameSpace();
  TextBuffer text;
  if (name == WellKnown(ns, LT_INIT) || name->EqualsAscii("<init>")) {
    char* dotted = cls->GetDotNameUTF8();
    if (dotted == NULL) return name;
    const char* simple = dotted;
    for (const char* p = dotted; *p != 0; p++) {
      if (*p == '.') simple = p + 1;
    }
    text.Append(simple);
    VMLiteral::FreeUTF8(dotted);
  } else {
    text.Append(name);
  }
  bool overloaded = false;
  if (VMMethodArray* methods = cls->GetMethods()) {
    for (uint32_t i = 0; i < methods->GetSize(); i++) {
      VMMethod* other = methods->Get(i);
      if (other != NULL && other != this && other->GetName() == name) overloaded = true;
    }
  }
  VMLiteral* signature = GetSignature();
  if (overloaded && signature != NULL && signature->UTF8Length() >= 3 && signature->ByteAt(0) == '(') {
    text.Append("(");
    VMLiteralIterator it(signature);
    it.NextChar();
    bool first = true;
    for (;;) {
      VMLiteralIterator start = it;
      SigTypes kind = ScanSigItem(it);
      if (kind == SigEndParms) break;
      if (kind > SigBoolean || kind < SigArray) return name;
      VMClass* param = VMClass::FindBySignature(ns, start, cls->GetClassLoader());
      if (param == NULL) return name;
      char* dotted = param->GetDotNameUTF8();
      if (dotted == NULL) return name;
      if (!first) text.Append(",");
      text.Append(dotted);
      VMLiteral::FreeUTF8(dotted);
      first = false;
    }
    text.Append(")");
  }
  if (text.Failed()) return name;
  VMLiteral* result = VMLiteral::CreateInstance(ns, text.Data(), text.Length());
  return result != NULL ? result : name;
}

/* ---------------------------------------------------------------------------------- */
/* Debug information                                                                   */

static VMStatus EnsureDebugInfo(VMLoadableClass* cls) {
  if (cls->GetHaveDebugInfo()) return 0;
  return LoadDebugInfo(cls);
}
