#include "vmliteral.h"

#include <string.h>

#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmnamespace.h"
#include "vmutils.h"

/* ---------------------------------------------------------------------------------- */
/* Codec                                                                               */

/* The length of a character from its lead byte alone. */
static inline uint32_t LeadLength(uint8_t b) {
  if (b < 0x80) return 1;
  return (b & 0x20) == 0 ? 2 : 3;
}

uint32_t VMLiteral::UTF8toUnicode(const char* bytes, jchar* out) {
  const uint8_t* b = (const uint8_t*)bytes;
  switch (LeadLength(b[0])) {
    case 1:
      *out = b[0];
      return 1;
    case 2:
      *out = (jchar)(((b[0] & 0x1F) << 6) | (b[1] & 0x3F));
      return 2;
    default:
      *out = (jchar)(((b[0] & 0x0F) << 12) | ((b[1] & 0x3F) << 6) | (b[2] & 0x3F));
      return 3;
  }
}

uint32_t VMLiteral::DecodeBounded(const char* bytes, uint32_t left, jchar* out) {
  uint32_t length = LeadLength((uint8_t)bytes[0]);
  if (length <= left) return UTF8toUnicode(bytes, out);
  char padded[3] = {0, 0, 0};
  memcpy(padded, bytes, left);
  UTF8toUnicode(padded, out);
  return left;
}

uint32_t VMLiteral::UnicodeToUTF8(jchar c, char* out) {
  uint8_t* b = (uint8_t*)out;
  if (c == 0) {
    b[0] = 0xC0;
    b[1] = 0x80;
    return 2;
  }
  if (c < 0x80) {
    b[0] = (uint8_t)c;
    return 1;
  }
  if (c < 0x800) {
    b[0] = (uint8_t)(0xC0 | (c >> 6));
    b[1] = (uint8_t)(0x80 | (c & 0x3F));
    return 2;
  }
  b[0] = (uint8_t)(0xE0 | (c >> 12));
  b[1] = (uint8_t)(0x80 | ((c >> 6) & 0x3F));
  b[2] = (uint8_t)(0x80 | (c & 0x3F));
  return 3;
}

uint32_t VMLiteral::UnicodeLength(const char* bytes, uint32_t n) {
  const uint8_t* b = (const uint8_t*)bytes;
  uint32_t count = 0;
  uint32_t i = 0;
  while (i < n) {
    uint32_t length = LeadLength(b[i]);
    if (length > n - i) return VMInvalidUTF8Length;
    i += length;
    count++;
  }
  return count;
}

/* The literal hash keeps 28 bits and folds the nibble shifted out of them back into bits
   4-7. Here the running value is the sum before that fold: the nibble sits on top of it,
   and is folded in (as bits 8-11 of the next shifted value) on the next step, which
   shortens each byte's chain of dependent operations. Only the end result needs the
   last fold and the mask. */
static inline uint32_t HashStep(uint32_t a, int8_t c) {
  return ((a << 4) ^ ((a >> 20) & 0xF00u)) + (uint32_t)(int32_t)c;
}

static inline VMword HashEnd(uint32_t a) { return (a ^ ((a >> 24) & 0xF0u)) & 0x0FFFFFFFu; }

static inline VMword HashBytes(const uint8_t* b, uint32_t n) {
  uint32_t a = 0;
  for (uint32_t i = 0; i < n; i++) a = HashStep(a, (int8_t)b[i]);
  return HashEnd(a);
}

/* One pass for interning: whether UnicodeLength(bytes, n) would accept the text, and its
   HashUTF8. Names are nearly always ASCII without zero bytes: that case is checked four
   bytes at a time alongside the hash, and anything else goes the long way. */
static bool HashValidUTF8(const char* bytes, uint32_t n, VMword* hash) {
  const uint8_t* b = (const uint8_t*)bytes;
  uint32_t sum = 0;
  uint32_t odd = 0;  /* bit 7 of a byte set where the byte is 0 or above 0x7F */
  uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint32_t w;
    memcpy(&w, b + i, 4);
    odd |= w | (w - 0x01010101u);
    sum = HashStep(sum, (int8_t)b[i]);
    sum = HashStep(sum, (int8_t)b[i + 1]);
    sum = HashStep(sum, (int8_t)b[i + 2]);
    sum = HashStep(sum, (int8_t)b[i + 3]);
  }
  for (; i < n; i++) {
    odd |= b[i] | (uint32_t)(b[i] - 1u);
    sum = HashStep(sum, (int8_t)b[i]);
  }
  if ((odd & 0x80808080u) == 0) {
    *hash = HashEnd(sum);
    return true;
  }

  sum = 0;
  uint32_t pending = 0;  /* continuation bytes still owed by the current character */
  for (i = 0; i < n; i++) {
    uint8_t c = b[i];
    if (c == 0) break;
    if (pending != 0)
      pending--;
    else if (c >= 0x80)
      pending = LeadLength(c) - 1;
    sum = HashStep(sum, (int8_t)c);
  }
  /* Past a zero byte only the validation goes on. */
  for (; i < n; i++) {
    if (pending != 0)
      pending--;
    else if (b[i] >= 0x80)
      pending = LeadLength(b[i]) - 1;
  }
  *hash = HashEnd(sum);
  return pending == 0;
}

VMword VMLiteral::HashUTF8(const char* bytes, uint32_t n) {
  if (n == 0) return 0;
  const void* zero = memchr(bytes, 0, n);
  if (zero != nullptr) n = (uint32_t)((const char*)zero - bytes);
  return HashBytes((const uint8_t*)bytes, n);
}

/* ---------------------------------------------------------------------------------- */
/* Bytes of a literal                                                                  */

void VMLiteral::ReadBytes(uint32_t from, uint32_t length, char* out) {
  while (length > 0) {
    uint32_t run = 0;
    const void* p = FindElement(from, &run);
    if (run == 0) break;  /* past the last element */
    if (run > length) run = length;
    memcpy(out, p, run);
    out += run;
    from += run;
    length -= run;
  }
}

void VMLiteral::copyUTF8(const char* text, uint32_t length) {
  uint32_t at = 0;
  while (at < length) {
    uint32_t run = 0;
    void* p = FindElement(at, &run);
    if (run == 0) break;  /* past the last element */
    if (run > length - at) run = length - at;
    memcpy(p, text + at, run);
    at += run;
  }
}

bool VMLiteral::equalsLongUTF8(const char* bytes, uint32_t length) {
  uint32_t at = 0;
  while (at < length) {
    uint32_t run = 0;
    const void* p = FindElement(at, &run);
    if (run == 0) return false;  /* more bytes than the literal holds */
    if (run > length - at) run = length - at;
    if (memcmp(p, bytes + at, run) != 0) return false;
    at += run;
  }
  return true;
}

bool VMLiteral::Equals(VMLiteral* other) {
  if (other == this) return true;
  uint32_t length = GetSize();
  if (other == nullptr || other->GetSize() != length) return false;
  return VMArray::Equals(other, 0, 0, length);
}

bool VMLiteral::EqualsAscii(const char* text) {
  uint32_t length = (uint32_t)strlen(text);
  // A literal of another length differs whether or not the text is valid.
  if (GetSize() != length || UnicodeLength(text, length) == VMInvalidUTF8Length) return false;
  return equalsUTF8(text, length);
}

VMword VMLiteral::GetHash() {
  uint32_t length = GetSize();
  if (GetIsContiguous()) return HashUTF8((const char*)GetFirstElementPointer(), length);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < length; i++) {
    int8_t b = (int8_t)ByteAt(i);
    if (b == 0) break;
    sum = HashStep(sum, b);
  }
  return HashEnd(sum);
}

uint32_t VMLiteral::GetCount() {
  uint32_t length = GetSize();
  uint32_t count = 0;
  for (uint32_t i = 0; i < length; count++) {
    uint32_t step = LeadLength(ByteAt(i));
    i += step <= length - i ? step : length - i;
  }
  return count;
}

jchar VMLiteral::GetFirstChar() {
  if (GetSize() == 0) return 0;
  VMLiteralIterator it(this);
  return it.PeekChar();
}

/* ---------------------------------------------------------------------------------- */
/* Iterator                                                                            */

uint32_t VMLiteralIterator::Decode(jchar* out) const {
  uint32_t length = literal->UTF8Length();
  uint32_t left = length - position;
  if (literal->GetIsContiguous()) {
    return VMLiteral::DecodeBounded((const char*)literal->GetFirstElementPointer() + position,
                                    left, out);
  }
  char bytes[3];
  uint32_t n = left < 3 ? left : 3;
  for (uint32_t i = 0; i < n; i++) bytes[i] = (char)literal->ByteAt(position + i);
  return VMLiteral::DecodeBounded(bytes, n, out);
}

/* ---------------------------------------------------------------------------------- */
/* Interning                                                                           */

VMLiteral* VMLiteral::allocate(VMNameSpace* ns, uint32_t length) {
  return (VMLiteral*)VMbyteArray::CreateInstance(ns->GetHeap(), length, jallocFailFast,
                                                 VMTag_VMLiteral);
}

/* The literal table a text of `*length` bytes (all up to its NUL when 0xFFFFFFFF) is looked
   up in, with the text's hash in `*h`; null for no name space or text, invalid UTF-8, or no
   table yet. */
static VMLiteralHashTable* TableForText(VMNameSpace* ns, const char* text, uint32_t* length,
                                        VMword* h) {
  if (ns == nullptr || text == nullptr) return nullptr;
  if (*length == 0xFFFFFFFFu) *length = (uint32_t)strlen(text);
  if (!HashValidUTF8(text, *length, h)) return nullptr;
  return ns->GetLiteralHashTable();
}

VMLiteral* VMLiteral::CreateInstance(VMNameSpace* ns, const char* text, uint32_t length) {
  VMword h;
  VMLiteralHashTable* table = TableForText(ns, text, &length, &h);
  if (table == nullptr) return nullptr;

  static_assert((VMLiteralHashTable::Mode & VMHashLockMask) == 0, "the caller locks");
  VMObjectHashTableIterator::Start start = VMObjectHashTableIterator::Prepare(table, h);
  if (!table->Lock(true)) return nullptr;
  {
    VMObjectHashTableIterator it;
    it.Init(table, h, start);
    for (VMLiteral* e; (e = (VMLiteral*)it.Next()) != nullptr;) {
      if (e->equalsUTF8(text, length)) {
        table->relSpinlock();
        return e;
      }
    }
  }
  table->relSpinlock();

  /* Not there yet: make it without the lock, then look again, since another thread may
     have interned the same text meanwhile. */
  HHeap* heap = ns->GetHeap();
  VMLiteral* fresh = allocate(ns, length);
  if (fresh == nullptr) return nullptr;
  fresh->copyUTF8(text, length);

  if (!table->Lock(true)) {
    fresh->Destroy(heap);
    return nullptr;
  }
  VMObjectHashTableIterator it(table, h, VMLiteralHashTable::Mode);
  for (VMLiteral* e; (e = (VMLiteral*)it.Next()) != nullptr;) {
    if (e->equalsUTF8(text, length)) {
      table->relSpinlock();
      fresh->Destroy(heap);
      return e;
    }
  }
  bool growing = table->CheckandUnlockifGrowing();
  uint32_t entry = it.Insert(fresh);
  table->UnlockOrNotify(growing);
  if (entry == VMHashNotFound) {
    /* Refused before anything was written: the table does not hold it. */
    fresh->Destroy(heap);
    return nullptr;
  }
  return fresh;
}

/* Sets `*found` to the interned literal of hash `h` that `same` accepts, or null; false when
   the table's lock is refused, so nothing was looked at. */
template <typename Same>
static bool FindInterned(VMLiteralHashTable* table, VMword h, Same same, VMLiteral** found) {
  *found = nullptr;
  VMObjectHashTableIterator::Start start = VMObjectHashTableIterator::Prepare(table, h);
  if (!table->Lock(true)) return false;
  {
    VMObjectHashTableIterator it;
    it.Init(table, h, start);
    for (VMLiteral* e; (e = (VMLiteral*)it.Next()) != nullptr;) {
      if (same(e)) {
        *found = e;
        break;
      }
    }
  }
  table->relSpinlock();
  return true;
}

VMLiteral* VMLiteral::Find(VMNameSpace* ns, const char* text, uint32_t length) {
  VMword h;
  VMLiteralHashTable* table = TableForText(ns, text, &length, &h);
  if (table == nullptr) return nullptr;
  VMLiteral* found;
  FindInterned(table, h, [&](VMLiteral* e) { return e->equalsUTF8(text, length); }, &found);
  return found;
}

VMLiteral* VMLiteral::CreateInstance(VMNameSpace* ns, VMbyteArray* bytes) {
  if (ns == nullptr || bytes == nullptr || ns->GetLiteralHashTable() == nullptr) return nullptr;
  uint32_t length = bytes->GetSize();
  if (bytes->GetIsContiguous()) {
    // Most texts a class file names are interned already (names of classes and of the
    // members every class has): one found by its bytes costs no literal made and given
    // back. The hash is the one a literal of these bytes has.
    const uint8_t* text = bytes->GetFirstElementPointer();
    VMLiteralHashTable* table = ns->GetLiteralHashTable();
    VMword h = HashUTF8((const char*)text, length);
    VMLiteral* found;
    bool looked = FindInterned(table, h, [&](VMLiteral* e) {
      return e->GetSize() == length && e->GetIsContiguous() &&
             memcmp(e->GetFirstElementPointer(), text, length) == 0;
    }, &found);
    if (!looked) return nullptr;
    if (found != nullptr) return found;
  }
  VMLiteral* fresh = allocate(ns, length);
  if (fresh == nullptr) return nullptr;
  fresh->Copy(bytes, 0, 0, length);
  return fresh->InternFresh(ns);
}

VMLiteral* VMLiteral::Intern(VMNameSpace* ns) { return Intern(ns, false); }

VMLiteral* VMLiteral::InternFresh(VMNameSpace* ns) { return Intern(ns, true); }

VMLiteral* VMLiteral::Intern(VMNameSpace* ns, bool fresh) {
  VMLiteralHashTable* table = ns != nullptr ? ns->GetLiteralHashTable() : nullptr;
  if (table == nullptr || !table->Lock(true)) {
    /* Without the table's lock nothing tells whether the table holds this literal: only
       one made for this interning is known not to be held, and may be given back. */
    if (fresh && ns != nullptr) Destroy(ns->GetHeap());
    return nullptr;
  }
  HHeap* heap = ns->GetHeap();
  VMword h = GetHash();
  VMObjectHashTableIterator it(table, h, VMLiteralHashTable::Mode);
  for (VMLiteral* e; (e = (VMLiteral*)it.Next()) != nullptr;) {
    if (e == this) {
      table->relSpinlock();
      return this;
    }
    /* The table holds one literal per text, so with an equal one there this one is not. */
    if (e->Equals(this)) {
      table->relSpinlock();
      Destroy(heap);
      return e;
    }
  }
  bool growing = table->CheckandUnlockifGrowing();
  uint32_t entry = it.Insert(this);
  table->UnlockOrNotify(growing);
  if (entry == VMHashNotFound) {
    /* Refused before anything was written: the table does not hold it. */
    Destroy(heap);
    return nullptr;
  }
  return this;
}

VMLiteral* VMLiteral::Concat(VMNameSpace* ns, VMLiteral* other) {
  uint32_t length = GetSize();
  uint32_t otherLength = other->GetSize();
  if (length == 0) return other;
  if (otherLength == 0) return this;
  if (otherLength > VMArray::MAX_DATA_BYTES - length) return nullptr;
  VMLiteral* joined = allocate(ns, length + otherLength);
  if (joined == nullptr) return nullptr;
  joined->Copy(this, 0, 0, length);
  joined->Copy(other, 0, length, otherLength);
  return joined->InternFresh(ns);
}

VMLiteral* VMLiteral::Substring(VMNameSpace* ns, uint32_t start, uint32_t count) {
  uint32_t length = GetSize();
  uint32_t begin = 0;
  for (uint32_t i = 0; i < start && begin < length; i++) {
    uint32_t step = LeadLength(ByteAt(begin));
    begin += step <= length - begin ? step : length - begin;
  }
  uint32_t end = begin;
  for (uint32_t i = 0; i < count && end < length; i++) {
    uint32_t step = LeadLength(ByteAt(end));
    end += step <= length - end ? step : length - end;
  }
  VMLiteral* piece = allocate(ns, end - begin);
  if (piece == nullptr) return nullptr;
  piece->Copy(this, begin, 0, end - begin);
  return piece->InternFresh(ns);
}

/* ---------------------------------------------------------------------------------- */
/* Copies out                                                                          */

uint32_t VMLiteral::GetUTF8Piece(char* buffer, uint32_t room, uint32_t& written, uint32_t start) {
  written = 0;
  VMLiteralIterator it(this);
  for (uint32_t i = 0; i < start; i++) {
    if (!it.HasMoreChars()) return 0;
    it.NextChar();
  }
  if (!it.HasMoreChars()) return 0;
  uint32_t next = start;
  while (written + 3 < room) {
    if (!it.HasMoreChars()) return 0;
    written += UnicodeToUTF8(it.NextChar(), buffer + written);
    next++;
  }
  return next;
}

char* VMLiteral::MakeUTF8() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  uint32_t length = GetSize();
  if (length >= host->GetMaxAllocSize()) return nullptr;
  char* block = (char*)host->HeapAlloc(nullptr, length + 1, jallocFailFast);
  if (block == nullptr) return nullptr;
  ReadBytes(0, length, block);
  block[length] = 0;
  return block;
}

void VMLiteral::FreeUTF8(char* block) { VMUtils::GetHostFunctions()->HeapFree(nullptr, block); }

VMJavaLangString* VMLiteral::MakeVMJavaLangString(JNIEnv* env) {
  return VMJavaLangString::CreateInstance(env, this);
}

void VMLiteral::Destroy(HHeap* heap) { VMObject::Destroy(heap); }
