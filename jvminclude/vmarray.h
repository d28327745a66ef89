/* Arrays: a count and an element shift laid over a piecewise body, with byte-exact
   access to elements of 1, 2, 4 or 8 bytes.

   Body element 0 is the count, element 1 the shift; the data starts at element 2, so
   data byte b lies in body element 2 + (b >> 2). The first 776 data bytes lie in the
   array's own block, the rest in 256-byte pieces; no element straddles a piece. */
#ifndef PUX_VMARRAY_H
#define PUX_VMARRAY_H

#include <string.h>

#include "vmobject.h"
#include "vmutils.h"

class VMArray : public VMObject {
 public:
  enum : uint32_t {
    FIRST_PART_WORDS = 194,
    FIRST_PART_BYTES = 776,
    MAX_DATA_BYTES = 0x7FFF0000u,
  };

  static uint32_t GetFirstPart() { return FIRST_PART_WORDS; }
  static uint32_t GetFirstPartInBytes() { return FIRST_PART_BYTES; }

  /* count elements of elementSize (1, 2, 4 or 8) bytes, all zero; NULL above the byte
     limit or when storage cannot be had. */
  static VMArray* CreateInstance(HHeap* heap, uint32_t count, uint32_t elementSize, jallocType kind,
                                 VMword tag);
  static VMArray* Instantiate(HHeap* heap, uint32_t words, VMword mask) {
    return static_cast<VMArray*>(
        CreateInternalNotToBeCalledDirectly(heap, words, mask, VMTag_VMArray, jallocFailFast));
  }

  uint32_t GetSize() const { return Body()[0]; }
  void SetSize(uint32_t count) { Body()[0] = count; }
  uint32_t GetElementShift() const { return Body()[1]; }
  bool GetIsContiguous() const { return (GetSize() << GetElementShift()) < FIRST_PART_BYTES + 1; }
  uint8_t* GetFirstElementPointer() const {
    return reinterpret_cast<uint8_t*>(const_cast<VMword*>(Body()) + 2);
  }

  /* The address of element index for a given shift, or for the array's own shift. */
  void* FindElement(uint32_t index, uint32_t shift) const { return ByteAddress(index << shift); }
  void* FindElement(uint32_t index) const { return ByteAddress(index << GetElementShift()); }
  /* Also how many elements from index on lie together in memory, never past the last
     element (count may be NULL). At or past the last element nothing lies there: the
     answer is NULL with a count of 0, so a loop over runs ends rather than stalls. */
  void* FindElement(uint32_t index, uint32_t* count) const {
    uint32_t size = GetSize();
    VM_ASSERT(index < size);
    if (index >= size) {
      if (count != NULL) *count = 0;
      return NULL;
    }
    uint32_t shift = GetElementShift();
    uint32_t bytes;
    uint8_t* address = ByteRun(index << shift, &bytes);
    if (count != NULL) {
      // A run never passes the last element, whether it ends in the block or in a piece.
      uint32_t run = bytes >> shift;
      *count = run < size - index ? run : size - index;
    }
    return address;
  }

  /* Data words: data word w is body element w + 2. */
  VMword GetWord(uint32_t w) const { return VMObject::GetWord(w + 2); }
  void SetWord(uint32_t w, VMword value) { VMObject::SetWord(w + 2, value); }
  jlong GetLong(uint32_t w) const { return VMObject::GetLong(w + 2); }
  void SetLong(uint32_t w, jlong value) { VMObject::SetLong(w + 2, value); }
  jdouble GetDouble(uint32_t w) const { return VMObject::GetDouble(w + 2); }
  void SetDouble(uint32_t w, jdouble value) { VMObject::SetDouble(w + 2, value); }
  void LocateElement(uint32_t w, VMLocation& location) const { VMObject::LocateElement(w + 2, location); }

  void Clear();
  /* Copies count elements of source from sourceIndex to destinationIndex of this array;
     the count is cut to what both arrays hold, and overlapping ranges of one array are
     copied as if through a buffer. Nothing is copied between arrays of different
     element sizes, nor between a reference array and any other (a value would become a
     reference the collector follows, or a reference a value it no longer sees). */
  void Copy(const VMArray* source, uint32_t sourceIndex, uint32_t destinationIndex, uint32_t count);
  bool Equals(const VMArray* other) const;
  bool Equals(const VMArray* other, uint32_t otherIndex, uint32_t index, uint32_t count) const;

 protected:
  /* The address of data byte b. */
  uint8_t* ByteAddress(uint32_t b) const {
    if (b < FIRST_PART_BYTES) return GetFirstElementPointer() + b;
    return reinterpret_cast<uint8_t*>(ExpensiveElementAddress((b + 8) >> 2)) + (b & 3);
  }
  /* The address of data byte b and how many bytes from it on lie together. */
  uint8_t* ByteRun(uint32_t b, uint32_t* bytes) const {
    if (b < FIRST_PART_BYTES) {
      *bytes = FIRST_PART_BYTES - b;
      return GetFirstElementPointer() + b;
    }
    VMLocation location;
    ExpensiveLocateElement((b + 8) >> 2, location);
    *bytes = (NESTING_SIZE - location.index) * 4 - (b & 3);
    return reinterpret_cast<uint8_t*>(location.address) + (b & 3);
  }

  template <typename T, unsigned Shift>
  T Load(uint32_t index) const {
    VM_ASSERT(index < GetSize());
    T value;
    memcpy(&value, ByteAddress(index << Shift), sizeof(T));
    return value;
  }
  template <typename T, unsigned Shift>
  void Store(uint32_t index, T value) {
    VM_ASSERT(index < GetSize());
    memcpy(ByteAddress(index << Shift), &value, sizeof(T));
  }
};

/* A scalar array of one element type. */
template <typename T, unsigned Shift>
class VMScalarArrayOf : public VMArray {
 public:
  typedef T Element;
  T Get(uint32_t index) const { return Load<T, Shift>(index); }
  void Set(uint32_t index, T value) { Store<T, Shift>(index, value); }

 protected:
  static VMArray* Create(HHeap* heap, uint32_t count, jallocType kind, VMword tag) {
    return VMArray::CreateInstance(heap, count, 1u << Shift, kind, tag);
  }
};

#define PUX_VM_SCALAR_ARRAY(Name, T, Shift)                                          \
  class Name : public VMScalarArrayOf<T, Shift> {                                    \
   public:                                                                           \
    static Name* CreateInstance(HHeap* heap, uint32_t count, jallocType kind, VMword tag) { \
      return static_cast<Name*>(Create(heap, count, kind, tag));                     \
    }                                                                                \
  };
PUX_VM_SCALAR_ARRAY(VMbyteArray, jbyte, 0)
PUX_VM_SCALAR_ARRAY(VMcharArray, jchar, 1)
PUX_VM_SCALAR_ARRAY(VMshortArray, jshort, 1)
PUX_VM_SCALAR_ARRAY(VMintArray, jint, 2)
PUX_VM_SCALAR_ARRAY(VMfloatArray, jfloat, 2)
PUX_VM_SCALAR_ARRAY(VMuintArray, uint32_t, 2)
PUX_VM_SCALAR_ARRAY(VMiwordArray, VMword, 2)
PUX_VM_SCALAR_ARRAY(VMlongArray, jlong, 3)
PUX_VM_SCALAR_ARRAY(VMdoubleArray, jdouble, 3)
#undef PUX_VM_SCALAR_ARRAY

/* A bit set: bit i is bit i & 31 of data word i >> 5. The count is in words. */
class VMboolArray : public VMArray {
 public:
  static VMboolArray* CreateInstance(HHeap* heap, uint32_t bits, jallocType kind, VMword tag);
  static uint32_t WordsFor(uint32_t bits) { return (bits >> 5) + ((bits & 31) != 0 ? 1 : 0); }
  /* Words a set of `bits` takes, header included, when laid inside its owner's block. */
  static uint32_t PlacedWords(uint32_t bits) { return HEADER_WORDS + 2 + WordsFor(bits); }
  /* A set laid over PlacedWords(bits) words of its owner's body (which must lie in the
     owner's own block), with the header a set of its own block would have: same tag,
     flags and body. It goes with its owner's block and is never destroyed by itself.
     Without an owner the words are the caller's own (a set on the stack). */
  static VMboolArray* Place(VMObjectBase* owner, VMword* at, uint32_t bits, VMword tag);

  bool Get(uint32_t bit) const { return (GetWord(bit >> 5) >> (bit & 31)) & 1; }
  void Set(uint32_t bit, bool value) {
    VMword* word = reinterpret_cast<VMword*>(ByteAddress((bit >> 5) << 2));
    if (value)
      *word |= (VMword)1 << (bit & 31);
    else
      *word &= ~((VMword)1 << (bit & 31));
  }
  void OrWith(const VMboolArray* other);
  void AndWith(const VMboolArray* other);
  void AndWithNot(const VMboolArray* other);
  void Copy(const VMboolArray* other);
  void Copy(const VMboolArray* other, uint32_t bits);
};

/* An array of object references the collector follows: shift 2, flag 0x800. */
class VMrefArray : public VMArray {
 public:
  /* Above this count the size computation of a reference array would not fit. */
  enum : uint32_t { MAX_COUNT = MAX_DATA_BYTES / 4 };

  static VMrefArray* CreateInstance(HHeap* heap, uint32_t count, jallocType kind, VMword tag);

  VMObject* Get(uint32_t index) const { return reinterpret_cast<VMObject*>(Load<VMword, 2>(index)); }
  void Set(uint32_t index, VMObject* value) { Store<VMword, 2>(index, reinterpret_cast<VMword>(value)); }
};

/* A reference array whose elements are records of one class. */
template <typename T>
class VMRecordArrayOf : public VMrefArray {
 public:
  T* Get(uint32_t index) const { return reinterpret_cast<T*>(VMrefArray::Get(index)); }
  void Set(uint32_t index, T* value) { VMrefArray::Set(index, reinterpret_cast<VMObject*>(value)); }
};

#define PUX_VM_RECORD_ARRAY(Name, T)                                                  \
  class Name : public VMRecordArrayOf<T> {                                            \
   public:                                                                            \
    static Name* CreateInstance(HHeap* heap, uint32_t count, jallocType kind, VMword tag) { \
      return static_cast<Name*>(VMrefArray::CreateInstance(heap, count, kind, tag));  \
    }                                                                                 \
  };
PUX_VM_RECORD_ARRAY(VMObjectArray, VMObject)
PUX_VM_RECORD_ARRAY(VMThreadArray, VMThread)
PUX_VM_RECORD_ARRAY(VMExceptionHandlerArray, VMExceptionHandler)
PUX_VM_RECORD_ARRAY(VMDataMemberArray, VMDataMember)
PUX_VM_RECORD_ARRAY(VMLiteralArray, VMLiteral)
PUX_VM_RECORD_ARRAY(VMLocalDataMemberArray, VMLocalDataMember)
PUX_VM_RECORD_ARRAY(VMLocalDataMemberArrayArray, VMLocalDataMemberArray)
PUX_VM_RECORD_ARRAY(VMMethodArray, VMMethod)
PUX_VM_RECORD_ARRAY(VMTracebackArray, VMTraceback)
PUX_VM_RECORD_ARRAY(VMBasicBlockArray, VMBasicBlock)
PUX_VM_RECORD_ARRAY(VMboolArrayArray, VMboolArray)
PUX_VM_RECORD_ARRAY(VMshortArrayArray, VMshortArray)
#undef PUX_VM_RECORD_ARRAY

/* Reference arrays that are real Java arrays: the array class, found through the class
   list of the name space of the class passed in, sits in the kind word. */
class VMClassedArray : public VMrefArray {
 public:
  /* Entries of a name space's class list that hold the classed array classes. */
  enum ClassListEntry {
    CLASS_ARRAY_ENTRY = 9,
    STRING_ARRAY_ENTRY = 10,
    REFLECT_FIELD_ARRAY_ENTRY = 11,
    REFLECT_METHOD_ARRAY_ENTRY = 12,
    REFLECT_CONSTRUCTOR_ARRAY_ENTRY = 13,
  };

 protected:
  static VMrefArray* Create(HHeap* heap, uint32_t count, VMClass* cls, ClassListEntry entry,
                            jallocType kind, VMword tag);
};

#define PUX_VM_CLASSED_ARRAY(Name, T, Entry)                                               \
  class Name : public VMClassedArray {                                                     \
   public:                                                                                 \
    static Name* CreateInstance(HHeap* heap, uint32_t count, VMClass* cls, jallocType kind, \
                                VMword tag) {                                              \
      return static_cast<Name*>(Create(heap, count, cls, Entry, kind, tag));               \
    }                                                                                      \
    T* Get(uint32_t index) const { return reinterpret_cast<T*>(VMrefArray::Get(index)); }  \
    void Set(uint32_t index, T* value) { VMrefArray::Set(index, reinterpret_cast<VMObject*>(value)); } \
  };
PUX_VM_CLASSED_ARRAY(VMLoadableClassArray, VMLoadableClass, CLASS_ARRAY_ENTRY)
PUX_VM_CLASSED_ARRAY(VMClassArray, VMClass, CLASS_ARRAY_ENTRY)
PUX_VM_CLASSED_ARRAY(VMJavaLangStringArray, VMJavaLangString, STRING_ARRAY_ENTRY)
PUX_VM_CLASSED_ARRAY(VMJavaLangReflectFieldArray, VMJavaLangReflectField, REFLECT_FIELD_ARRAY_ENTRY)
PUX_VM_CLASSED_ARRAY(VMJavaLangReflectMethodArray, VMJavaLangReflectMethod, REFLECT_METHOD_ARRAY_ENTRY)
PUX_VM_CLASSED_ARRAY(VMJavaLangReflectConstructorArray, VMJavaLangReflectConstructor,
                     REFLECT_CONSTRUCTOR_ARRAY_ENTRY)
#undef PUX_VM_CLASSED_ARRAY

static_assert(sizeof(VMArray) == 20 && sizeof(VMintArray) == 20 && sizeof(VMrefArray) == 20 &&
                  sizeof(VMObjectArray) == 20 && sizeof(VMClassArray) == 20,
              "arrays add no fields to the header");

#endif
