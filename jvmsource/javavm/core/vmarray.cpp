#include "vmarray.h"

#include "vmclass.h"
#include "vmnamespace.h"

#include <string.h>

namespace {

inline uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

int ShiftForSize(uint32_t elementSize) {
  switch (elementSize) {
    case 1: return 0;
    case 2: return 1;
    case 4: return 2;
    case 8: return 3;
    default: return -1;
  }
}

/* Staging buffer of copies within one array that run backwards; a multiple of every
   element size. */
const uint32_t kStageBytes = 1024;

/* Moves count units of T, lowest first, each with one load and one store. The units
   are aligned on their size, as the copy makes them, and the compilers must know it: a
   quadword known to lie on four only (its alignment in a structure on this machine) is
   no single access, and its atomic move becomes a library call. */
template <typename T>
inline void MoveUnits(uint8_t*& to, const uint8_t*& from, uint32_t count) {
  typedef T Unit __attribute__((aligned(sizeof(T))));
  Unit* d = reinterpret_cast<Unit*>(to);
  const Unit* s = reinterpret_cast<const Unit*>(from);
  for (uint32_t i = 0; i < count; i++)
    __atomic_store_n(d + i, __atomic_load_n(s + i, __ATOMIC_RELAXED), __ATOMIC_RELAXED);
  to += count * sizeof(T);
  from += count * sizeof(T);
}

/* Copies whole elements, lowest first, so a run may overlap its source from above.
   Another thread may read or write these elements meanwhile (nothing obliges a Java
   program to lock around System.arraycopy or a clone), and each element must then be
   seen whole, old or new: the C library's copies make no such promise, and the
   sanitizer's memmove moves bytes one at a time, which splices a reference out of two
   and points it nowhere. So elements wider than a byte move in aligned units that hold
   whole elements and that the processor moves at once: two-byte ones for chars and
   shorts whose places differ by an odd two bytes, quadwords where both places agree
   modulo eight, words between. Eight-byte elements may move as two words, which Java
   allows. */
void CopyElements(uint8_t* to, const uint8_t* from, uint32_t bytes, uint32_t shift) {
  if (shift == 0) {
    memmove(to, from, bytes);
    return;
  }
  const uint32_t apart = (uint32_t)((uintptr_t)to ^ (uintptr_t)from);
  if (shift == 1) {
    VM_ASSERT(bytes % 2 == 0);
    if ((apart & 3) != 0) {
      MoveUnits<uint16_t>(to, from, bytes / 2);
      return;
    }
    if (((uintptr_t)to & 2) != 0 && bytes >= 2) {
      MoveUnits<uint16_t>(to, from, 1);
      bytes -= 2;
    }
  }
  VM_ASSERT(shift == 1 || bytes % 4 == 0);
  if ((apart & 7) == 0) {
    if (((uintptr_t)to & 4) != 0 && bytes >= 4) {
      MoveUnits<uint32_t>(to, from, 1);
      bytes -= 4;
    }
    MoveUnits<uint64_t>(to, from, bytes / 8);
    bytes &= 7;
  }
  MoveUnits<uint32_t>(to, from, bytes / 4);
  if ((bytes & 2) != 0) MoveUnits<uint16_t>(to, from, 1);
}

}  // namespace

VMArray* VMArray::CreateInstance(HHeap* heap, uint32_t count, uint32_t elementSize, jallocType kind,
                                 VMword tag) {
  int shift = ShiftForSize(elementSize);
  VM_ASSERT(shift >= 0);
  if (shift < 0) return NULL;
  uint64_t bytes = (uint64_t)count << shift;
  if (bytes > MAX_DATA_BYTES) return NULL;
  uint32_t words = (((uint32_t)bytes + 3) >> 2) + 2;
  VMArray* array = static_cast<VMArray*>(VMObjectBase::CreateInstance(heap, words, kind, tag));
  if (array == NULL) return NULL;
  array->Body()[0] = count;
  array->Body()[1] = (VMword)shift;
  array->SetIsScalarArray();
  return array;
}

void VMArray::Clear() {
  uint32_t shift = GetElementShift();
  uint32_t count = GetSize();
  uint32_t words = shift < 2 ? (count + (1u << (2 - shift)) - 1) >> (2 - shift) : count << (shift - 2);
  uint32_t remaining = words * 4;
  uint32_t b = 0;
  while (remaining > 0) {
    uint32_t run;
    uint8_t* address = ByteRun(b, &run);
    run = Min(run, remaining);
    memset(address, 0, run);
    b += run;
    remaining -= run;
  }
}

void VMArray::Copy(const VMArray* source, uint32_t sourceIndex, uint32_t destinationIndex, uint32_t count) {
  uint32_t shift = GetElementShift();
  VM_ASSERT(GetElementShift() == source->GetElementShift());
  VM_ASSERT(GetIsRefArray() == source->GetIsRefArray());
  if (source->GetElementShift() != shift || source->GetIsRefArray() != GetIsRefArray()) return;
  // Cut the count to both arrays: a copy never writes past this array's last element
  // nor reads past the source's.
  uint32_t destinationSize = GetSize();
  uint32_t sourceSize = source->GetSize();
  if (destinationIndex >= destinationSize || sourceIndex >= sourceSize) return;
  count = Min(count, Min(destinationSize - destinationIndex, sourceSize - sourceIndex));
  if (count == 0) return;
  bool same = (source == this);
  if (same && sourceIndex == destinationIndex) return;

  uint32_t sb = sourceIndex << shift;
  uint32_t db = destinationIndex << shift;
  uint32_t total = count << shift;

  if (same && destinationIndex > sourceIndex) {
    // Overlap upwards: move stretches from the end, each through a buffer, so every
    // source byte is read before the stretch that overwrites it is written.
    uint8_t stage[kStageBytes];
    uint32_t end = total;
    while (end > 0) {
      uint32_t length = Min(end, kStageBytes);
      uint32_t start = end - length;
      for (uint32_t done = 0; done < length;) {
        uint32_t run;
        uint8_t* from = ByteRun(sb + start + done, &run);
        run = Min(run, length - done);
        CopyElements(stage + done, from, run, shift);
        done += run;
      }
      for (uint32_t done = 0; done < length;) {
        uint32_t run;
        uint8_t* to = ByteRun(db + start + done, &run);
        run = Min(run, length - done);
        CopyElements(to, stage + done, run, shift);
        done += run;
      }
      end = start;
    }
    return;
  }

  while (total > 0) {
    uint32_t sourceRun, destinationRun;
    uint8_t* from = source->ByteRun(sb, &sourceRun);
    uint8_t* to = ByteRun(db, &destinationRun);
    uint32_t run = Min(total, Min(sourceRun, destinationRun));
    CopyElements(to, from, run, shift);
    sb += run;
    db += run;
    total -= run;
  }
}

bool VMArray::Equals(const VMArray* other, uint32_t otherIndex, uint32_t index, uint32_t count) const {
  if (count == 0) return true;
  uint32_t shift = GetElementShift();
  VM_ASSERT(GetElementShift() == other->GetElementShift());
  if (other->GetElementShift() != shift) return false;
  // A range that does not lie inside both arrays cannot be equal.
  if (index >= GetSize() || count > GetSize() - index) return false;
  if (otherIndex >= other->GetSize() || count > other->GetSize() - otherIndex) return false;
  uint32_t ob = otherIndex << shift;
  uint32_t b = index << shift;
  uint32_t total = count << shift;
  while (total > 0) {
    uint32_t otherRun, ownRun;
    const uint8_t* theirs = other->ByteRun(ob, &otherRun);
    const uint8_t* mine = ByteRun(b, &ownRun);
    uint32_t run = Min(total, Min(otherRun, ownRun));
    if (memcmp(theirs, mine, run) != 0) return false;
    ob += run;
    b += run;
    total -= run;
  }
  return true;
}

bool VMArray::Equals(const VMArray* other) const {
  if (other == this) return true;
  if (other->GetSize() != GetSize()) return false;
  if (other->GetClass() != GetClass()) return false;
  // Arrays of different element sizes are never equal, even with equal bytes.
  if (other->GetElementShift() != GetElementShift()) return false;
  return Equals(other, 0, 0, GetSize());
}

VMboolArray* VMboolArray::CreateInstance(HHeap* heap, uint32_t bits, jallocType kind, VMword tag) {
  return static_cast<VMboolArray*>(VMArray::CreateInstance(heap, WordsFor(bits), 4, kind, tag));
}

VMboolArray* VMboolArray::Place(VMObjectBase* owner, VMword* at, uint32_t bits, VMword tag) {
  uint32_t words = WordsFor(bits) + 2;
  VM_ASSERT(words <= FIRST_PART);
  memset(at, 0, PlacedWords(bits) * sizeof(VMword));
  VMboolArray* set = reinterpret_cast<VMboolArray*>(at);
  set->SetTag(tag);
  set->SetNumberOfElements((uint16_t)words);
  if (owner != NULL && owner->GetIsNameSpaceData()) set->SetIsNameSpaceData();
  set->SetIsRootObject();
  set->Body()[0] = words - 2;
  set->Body()[1] = 2;
  set->SetIsScalarArray();
  return set;
}

namespace {

enum BitOperation { kOr, kAnd, kAndNot };

/* Bit sets of different sizes are a caller's error; only the words both sets have are
   combined. */
void CheckSameSize(const VMboolArray* a, const VMboolArray* b) {
  VM_ASSERT(a->GetSize() == b->GetSize());
}

void Combine(VMboolArray* self, const VMboolArray* other, BitOperation operation) {
  CheckSameSize(self, other);
  uint32_t words = Min(self->GetSize(), other->GetSize());
  uint32_t w = 0;
  while (w < words) {
    uint32_t ownRun, otherRun;
    VMword* mine = static_cast<VMword*>(self->FindElement(w, &ownRun));
    const VMword* theirs = static_cast<const VMword*>(other->FindElement(w, &otherRun));
    uint32_t run = Min(words - w, Min(ownRun, otherRun));
    for (uint32_t k = 0; k < run; k++) {
      switch (operation) {
        case kOr: mine[k] |= theirs[k]; break;
        case kAnd: mine[k] &= theirs[k]; break;
        case kAndNot: mine[k] &= ~theirs[k]; break;
      }
    }
    w += run;
  }
}

}  // namespace

void VMboolArray::OrWith(const VMboolArray* other) { Combine(this, other, kOr); }
void VMboolArray::AndWith(const VMboolArray* other) { Combine(this, other, kAnd); }
void VMboolArray::AndWithNot(const VMboolArray* other) { Combine(this, other, kAndNot); }

/* Flow analysis copies thousands of bit sets of a word or two: those that lie in the
   first part of both arrays are copied word by word in place. */
static bool CopyFirstWords(VMboolArray* to, const VMboolArray* from, uint32_t words) {
  words = Min(words, Min(to->GetSize(), from->GetSize()));
  if (to == from || words > VMArray::FIRST_PART_WORDS) return false;
  VMword* d = reinterpret_cast<VMword*>(to->GetFirstElementPointer());
  const VMword* s = reinterpret_cast<const VMword*>(from->GetFirstElementPointer());
  for (uint32_t w = 0; w < words; w++) d[w] = s[w];
  return true;
}

void VMboolArray::Copy(const VMboolArray* other) {
  CheckSameSize(this, other);
  if (CopyFirstWords(this, other, GetSize())) return;
  VMArray::Copy(other, 0, 0, GetSize());
}

void VMboolArray::Copy(const VMboolArray* other, uint32_t bits) {
  if (CopyFirstWords(this, other, WordsFor(bits))) return;
  VMArray::Copy(other, 0, 0, WordsFor(bits));
}

VMrefArray* VMrefArray::CreateInstance(HHeap* heap, uint32_t count, jallocType kind, VMword tag) {
  // count + 2 body words must not wrap, and a negative count from native code must not
  // turn into a gigantic tree.
  if (count > MAX_COUNT) return NULL;
  VMrefArray* array = static_cast<VMrefArray*>(VMObjectBase::CreateInstance(heap, count + 2, kind, tag));
  if (array == NULL) return NULL;
  array->Body()[0] = count;
  array->Body()[1] = 2;
  array->SetIsRefArray();
  return array;
}

/* The array class of a classed array: the entry of the array-class list of the name
   space of the class passed in. NULL without a class, a list or the entry, and the
   creation then fails before anything is allocated. */
static VMClass* ArrayClassFor(VMClass* cls, VMClassedArray::ClassListEntry entry) {
  VMNameSpace* ns = cls != NULL ? cls->GetNameSpace() : NULL;
  VMArrayClassList* arrays = ns != NULL ? ns->GetArrayClassList() : NULL;
  return arrays != NULL ? (VMClass*)arrays->GetReference(entry) : NULL;
}

VMrefArray* VMClassedArray::Create(HHeap* heap, uint32_t count, VMClass* cls, ClassListEntry entry,
                                   jallocType kind, VMword tag) {
  VMClass* arrayClass = ArrayClassFor(cls, entry);
  if (arrayClass == NULL) return NULL;
  VMrefArray* array = VMrefArray::CreateInstance(heap, count, kind, tag);
  if (array == NULL) return NULL;
  array->SetClass(arrayClass);
  return array;
}
