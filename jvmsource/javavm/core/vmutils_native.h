/* Symbol names of native methods: "Java_" + escaped class + "_" + escaped method, and for
   overloaded natives "__" + the escaped argument part of the signature. The names are
   built into a 256-byte buffer; a name that needs more does not fit and is not looked up. */
#ifndef PUX_VMUTILS_NATIVE_H
#define PUX_VMUTILS_NATIVE_H

#include "jnitypes.h"
#include "vmforward.h"

/* Writes bytes into a fixed buffer, counting every byte produced but storing only while
   the count stays below the capacity, so the count tells whether the whole name fit. */
struct VMNativeNameWriter {
  char* position;
  uint32_t capacity;
  uint32_t count;

  VMNativeNameWriter(char* buffer, uint32_t size) : position(buffer), capacity(size), count(0) {}
  void Put(char c) {
    if (++count < capacity) *position++ = c;
  }
  void Put(const char* text) {
    while (*text != 0) Put(*text++);
  }
  /* One character of a name, escaped. */
  void PutEscaped(jchar c);
  bool Fits() const { return count < capacity; }
  /* Terminates the name; false when it did not fit. */
  bool Finish() {
    if (!Fits()) return false;
    *position = 0;
    return true;
  }
};

class VMNativeName {
 public:
  enum { BufferSize = 256 };

  /* Builds the symbol name from the class name, method name and method signature, all
     modified UTF-8 (the signature is read only when overloaded). False when the name needs
     256 bytes or more. */
  static bool Build(char* buffer, VMLiteral* className, VMLiteral* methodName,
                    VMLiteral* signature, bool overloaded);
  /* The same over raw modified UTF-8 texts. */
  static bool Build(char* buffer, const char* className, uint32_t classLength,
                    const char* methodName, uint32_t methodLength, const char* signature,
                    uint32_t signatureLength, bool overloaded);

  /* Whether another native method of the class has the same name (by literal identity). */
  static bool IsOverloaded(VMLoadableClass* cls, VMMethod* method);
  /* The argument-size number handed to the host: parameter words, the env, and the class
     of a static method. */
  static jint ArgumentWords(VMMethod* method);
};

#endif
