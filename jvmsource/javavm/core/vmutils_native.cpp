#include "vmutils_native.h"

#include "vmclass.h"
#include "vmliteral.h"
#include "vmutils.h"

void VMNativeNameWriter::PutEscaped(jchar c) {
  static const char hex[] = "0123456789abcdef";
  switch (c) {
    case '/':
    case '<':
    case '>':
      Put('_');
      return;
    case '_':
      Put("_1");
      return;
    case ';':
      Put("_2");
      return;
    case '[':
      Put("_3");
      return;
    default:
      break;
  }
  /* U+0000 would end the name early as a raw byte, so it is escaped like the characters
     from 0xFF upward. */
  if (c == 0 || c >= 0xFF) {
    Put("_0");
    Put(hex[(c >> 12) & 0xF]);
    Put(hex[(c >> 8) & 0xF]);
    Put(hex[(c >> 4) & 0xF]);
    Put(hex[c & 0xF]);
    return;
  }
  Put((char)c);
}

/* A character source over raw modified UTF-8 that never reads past its end. */
class VMRawCharSource {
 public:
  VMRawCharSource(const char* text, uint32_t length) : text(text), left(length) {}
  bool HasMoreChars() const { return left > 0; }
  jchar NextChar() {
    jchar c;
    uint32_t used = VMLiteral::DecodeBounded(text, left, &c);
    text += used;
    left -= used;
    return c;
  }

 private:
  const char* text;
  uint32_t left;
};

template <class Source>
static void PutName(VMNativeNameWriter& w, Source s) {
  while (s.HasMoreChars()) w.PutEscaped(s.NextChar());
}

/* The characters between the opening '(' and the closing ')'. */
template <class Source>
static void PutArguments(VMNativeNameWriter& w, Source s) {
  if (!s.HasMoreChars()) return;
  jchar c = s.NextChar();
  if (c != '(') w.PutEscaped(c);
  while (s.HasMoreChars()) {
    c = s.NextChar();
    if (c == ')') break;
    w.PutEscaped(c);
  }
}

template <class Source>
static bool BuildFrom(char* buffer, Source cls, Source method, Source signature, bool overloaded) {
  VMNativeNameWriter w(buffer, VMNativeName::BufferSize);
  w.Put("Java_");
  PutName(w, cls);
  w.Put('_');
  PutName(w, method);
  if (overloaded) {
    w.Put("__");
    PutArguments(w, signature);
  }
  return w.Finish();
}

bool VMNativeName::Build(char* buffer, VMLiteral* className, VMLiteral* methodName,
                         VMLiteral* signature, bool overloaded) {
  return BuildFrom(buffer, VMLiteralIterator(className), VMLiteralIterator(methodName),
                   VMLiteralIterator(signature), overloaded);
}

bool VMNativeName::Build(char* buffer, const char* className, uint32_t classLength,
                         const char* methodName, uint32_t methodLength, const char* signature,
                         uint32_t signatureLength, bool overloaded) {
  return BuildFrom(buffer, VMRawCharSource(className, classLength),
                   VMRawCharSource(methodName, methodLength),
                   VMRawCharSource(signature, signatureLength), overloaded);
}

bool VMNativeName::IsOverloaded(VMLoadableClass* cls, VMMethod* method) {
  VMMethodArray* methods = cls->GetMethods();
  if (methods == nullptr) return false;
  uint32_t count = methods->GetSize();
  for (uint32_t i = 0; i < count; i++) {
    VMMethod* other = methods->Get(i);
    if (other != nullptr && other != method && other->GetName() == method->GetName() &&
        other->GetIsNative())
      return true;
  }
  return false;
}

jint VMNativeName::ArgumentWords(VMMethod* method) {
  return (jint)(method->GetParameterBytes() / 4 + 1 + (method->GetIsStatic() ? 1 : 0));
}

void* VMUtils::NativeMethodAddr(VMLoadableClass* cls, VMMethod* method) {
  char name[VMNativeName::BufferSize];
  if (!VMNativeName::Build(name, cls->GetName(), method->GetName(), method->GetSignature(),
                           VMNativeName::IsOverloaded(cls, method)))
    return nullptr;
  void* module = GetVMCodeHandle();
  if (module == nullptr) return nullptr;
  return GetHostFunctions()->FindCodeSymbol(module, name, VMNativeName::ArgumentWords(method));
}
