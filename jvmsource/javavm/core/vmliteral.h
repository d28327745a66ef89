/* Interned modified UTF-8 strings, and the one modified UTF-8 codec of the machine.

   A literal is a byte array of the text (no terminating zero) that exists once per name
   space, so names are compared by pointer everywhere else. Modified UTF-8 writes each
   16-bit character in one to three bytes and the character 0 as C0 80; surrogates are
   written one by one. */
#ifndef PUX_VMLITERAL_H
#define PUX_VMLITERAL_H

#include <string.h>

#include "jnitypes.h"
#include "vmforward.h"
#include "vmarray.h"

enum : uint32_t { VMInvalidUTF8Length = 0x7FFFFFFFu };

class VMLiteral : public VMbyteArray {
 public:
  /* ---- codec, on raw bytes ---- */

  /* Decodes the character at bytes; the lead byte alone decides the length. Returns the
     bytes consumed (1 to 3). Reads up to three bytes: see DecodeBounded for text whose
     end is known. */
  static uint32_t UTF8toUnicode(const char* bytes, jchar* out);
  /* Encodes c into out (room for 3 bytes); returns the bytes written. */
  static uint32_t UnicodeToUTF8(jchar c, char* out);
  /* Number of characters, or VMInvalidUTF8Length when a character runs past n bytes. */
  static uint32_t UnicodeLength(const char* bytes, uint32_t n);
  /* The literal hash over signed bytes, stopping after n bytes or at a zero byte. */
  static VMword HashUTF8(const char* bytes, uint32_t n);
  /* Like UTF8toUnicode, but never reads beyond bytes + left: missing continuation bytes
     count as zero bits and are not consumed. left must be at least 1. */
  static uint32_t DecodeBounded(const char* bytes, uint32_t left, jchar* out);
  /* Bytes the character takes in modified UTF-8. */
  static uint32_t EncodedLength(jchar c) { return (c != 0 && c < 0x80) ? 1 : (c < 0x800 ? 2 : 3); }

  /* ---- interning ---- */

  /* The interned literal of the text; length 0xFFFFFFFF means up to the first zero byte.
     NULL for invalid text, a name space without a literal table, or any failure. */
  static VMLiteral* CreateInstance(VMNameSpace* ns, const char* text, uint32_t length);
  /* The literal of the text when one is interned already; NULL otherwise (nothing is
     made: for look-ups of names that Java code chooses, which must not grow the table). */
  static VMLiteral* Find(VMNameSpace* ns, const char* text, uint32_t length);
  /* The interned literal of the array's bytes (not validated). */
  static VMLiteral* CreateInstance(VMNameSpace* ns, VMbyteArray* bytes);

  /* Interns a literal made by this class: the result is this one, or an equal one already
     interned (this one is then destroyed), or NULL when it cannot be interned. A NULL
     after the table refused to insert it destroys this one too, since the table does not
     hold it; a NULL because the table could not be locked leaves it as it is, since it
     may be the table's own (an interned literal interned again). */
  VMLiteral* Intern(VMNameSpace* ns);
  VMLiteral* Concat(VMNameSpace* ns, VMLiteral* other);
  /* Up to count characters from character start; past the end gives the empty literal. */
  VMLiteral* Substring(VMNameSpace* ns, uint32_t start, uint32_t count);

  /* ---- reading ---- */

  uint32_t GetCount();
  jchar GetFirstChar();
  uint32_t UTF8Length() { return GetSize(); }
  VMword GetHash();
  bool Equals(VMLiteral* other);
  /* False when text is not valid modified UTF-8. */
  bool EqualsAscii(const char* text);
  bool equalsUTF8(const char* bytes, uint32_t length) {
    if (GetSize() != length) return false;
    if (length <= VMArray::FIRST_PART_BYTES) return SameBytes(GetFirstElementPointer(), bytes, length);
    return equalsLongUTF8(bytes, length);
  }
  /* Names are short: a word-wise compare in line beats a call to memcmp. */
  static bool SameBytes(const void* a, const void* b, uint32_t n) {
    const uint8_t* x = (const uint8_t*)a;
    const uint8_t* y = (const uint8_t*)b;
    uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
      uint32_t u, v;
      memcpy(&u, x + i, 4);
      memcpy(&v, y + i, 4);
      if (u != v) return false;
    }
    for (; i < n; i++)
      if (x[i] != y[i]) return false;
    return true;
  }

  /* Copies characters from character start into buffer while written + 3 < room, re-encoded.
     Returns the index of the next character to copy, or 0 when the end was reached (the
     buffer then holds the last written bytes). A room of 3 or less copies nothing and
     returns start, which for start 0 reads as the end: callers offer more room than that.
     The buffer is not zero-terminated. */
  uint32_t GetUTF8Piece(char* buffer, uint32_t room, uint32_t& written, uint32_t start);

  /* A zero-terminated copy in process memory (free with FreeUTF8), NULL when too large
     for the host or refused. */
  char* MakeUTF8();
  static void FreeUTF8(char* block);

  VMJavaLangString* MakeVMJavaLangString(JNIEnv* env);
  void Destroy(HHeap* heap);

  /* Byte i of the text; i must be below UTF8Length(). */
  uint8_t ByteAt(uint32_t i) { return *(const uint8_t*)FindElement(i); }
  /* Copies length bytes from byte from into out. */
  void ReadBytes(uint32_t from, uint32_t length, char* out);

 private:
  friend class VMJavaLangString;
  bool equalsLongUTF8(const char* bytes, uint32_t length);
  /* Intern of a literal just made by this class, which nothing else holds: it is given
     back on every path that does not return it. */
  VMLiteral* InternFresh(VMNameSpace* ns);
  VMLiteral* Intern(VMNameSpace* ns, bool fresh);
  static VMLiteral* allocate(VMNameSpace* ns, uint32_t length);
  void copyUTF8(const char* text, uint32_t length);
};

/* Walks a literal character by character. */
class VMLiteralIterator {
 public:
  explicit VMLiteralIterator(VMLiteral* l = nullptr) : position(0), index(0), literal(l) {}
  VMLiteralIterator(const VMLiteralIterator&) = default;
  VMLiteralIterator& operator=(const VMLiteralIterator&) = default;

  void Reset() {
    position = 0;
    index = 0;
  }
  bool HasMoreChars() const { return literal != nullptr && position < literal->UTF8Length(); }
  /* Past the last character both give 0 and nothing moves; 0 is also a character, so a
     scan must stop on HasMoreChars, never on a character it looks for. */
  jchar PeekChar() const {
    if (!HasMoreChars()) return 0;
    uint8_t b = AsciiAt();
    if (b < 0x80) return b;
    jchar c;
    Decode(&c);
    return c;
  }
  jchar NextChar() {
    if (!HasMoreChars()) return 0;
    // Names and signatures are nearly all ASCII: one byte is one character, read in line.
    uint8_t b = AsciiAt();
    if (b < 0x80) {
      position++;
      index++;
      return b;
    }
    jchar c;
    position += Decode(&c);
    index++;
    return c;
  }
  /* The number of characters consumed so far. */
  uint32_t GetNextIndex() const { return index; }
  /* The byte position of the next character in the literal's text. */
  uint32_t GetNextBytePosition() const { return position; }
  VMLiteral* GetLiteral() const { return literal; }

 private:
  uint32_t Decode(jchar* out) const;
  /* The byte at position when it lies in the literal's first part, else 0x80 (not a
     character by itself), which sends the caller to Decode. */
  uint8_t AsciiAt() const {
    return position < VMArray::FIRST_PART_BYTES ? literal->GetFirstElementPointer()[position] : (uint8_t)0x80;
  }

  uint32_t position;
  uint32_t index;
  VMLiteral* literal;
};

#endif
