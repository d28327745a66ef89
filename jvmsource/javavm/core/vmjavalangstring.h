/* The machine's view of a java.lang.String: four words, value (a char array), offset,
   count and hash, the first a reference. Strings are immutable once made; the name
   space keeps a pool of interned ones. */
#ifndef PUX_VMJAVALANGSTRING_H
#define PUX_VMJAVALANGSTRING_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmarray.h"
#include "vmobject.h"

class VMJavaLangString : public VMObject {
 public:
  enum { Words = 4, ValueWord = 0, OffsetWord = 1, CountWord = 2, HashWord = 3 };

  /* A string of count characters, all 0, offset 0, on heap; NULL on failure. */
  static VMJavaLangString* allocate(VMNameSpace* ns, HHeap* heap, uint32_t count,
                                    jallocType kind = jallocFailFast);

  /* In the current machine's heap. */
  static VMJavaLangString* CreateInstance(JNIEnv* env, VMLiteral* literal);
  /* The characters of chars from start to its end; a NULL array gives the empty string,
     a start beyond the array's end gives NULL. */
  static VMJavaLangString* CreateInstance(JNIEnv* env, VMcharArray* chars, uint32_t start);
  /* NULL for text that is not valid modified UTF-8. */
  static VMJavaLangString* CreateInstance(JNIEnv* env, const char* text);
  /* The interned string of a literal, made in the name space's heap. */
  static VMJavaLangString* CreateIntern(VMNameSpace* ns, VMLiteral* literal);

  /* The name space's string equal to this one, entered now when there is none; NULL on
     failure. A string of this name space (its heap and its String class) is entered as
     it is, any other string as a copy in the name space's heap. This string itself is
     never destroyed here. */
  VMJavaLangString* Intern(VMNameSpace* ns);

  bool Equals(VMJavaLangString* other);
  VMword Hash();
  jchar Get(uint32_t index);
  uint32_t UTF8Length();
  char* MakeUTF8();
  static void FreeUTF8(char* block);
  /* Encodes characters from character start while the buffer position is at most
     room - 3; returns the character index where the next piece starts, or 0 when the end
     was reached. Not zero-terminated. A room below 3 writes nothing and returns start,
     which for start 0 reads as the end: callers offer 3 bytes or more. */
  uint32_t GetUTF8Piece(char* buffer, uint32_t room, uint32_t& written, uint32_t start);
  VMLiteral* MakeVMLiteral(VMNameSpace* ns);
  void Destroy(HHeap* heap);

  VMcharArray* GetValue() const { return (VMcharArray*)VMObject::GetWord(ValueWord); }
  void SetValue(VMcharArray* v) { VMObject::SetWord(ValueWord, (VMword)v); }
  /* The offset and count as the machine reads them: bounded by the value array, since
     Java code can make a string whose fields say more (its words are only the class
     library's promise). */
  uint32_t GetOffset() const {
    VMcharArray* value = GetValue();
    uint32_t size = value != nullptr ? value->GetSize() : 0;
    uint32_t offset = VMObject::GetWord(OffsetWord);
    return offset < size ? offset : size;
  }
  void SetOffset(uint32_t v) { VMObject::SetWord(OffsetWord, v); }
  uint32_t GetCount() const {
    VMcharArray* value = GetValue();
    uint32_t room = value != nullptr ? value->GetSize() - GetOffset() : 0;
    uint32_t count = VMObject::GetWord(CountWord);
    return count < room ? count : room;
  }
  void SetCount(uint32_t v) { VMObject::SetWord(CountWord, v); }
  VMword GetHash() const { return VMObject::GetWord(HashWord); }
  void SetHash(VMword v) { VMObject::SetWord(HashWord, v); }

 private:
  /* Decodes count characters of valid modified UTF-8 text into the value. */
  void copyUTF8(const char* text, uint32_t count);
  VMJavaLangString* Intern(VMNameSpace* ns, bool ownedCandidate);
};

#endif
