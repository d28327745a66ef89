/* The zip directory hash: an archive's central directory indexed by entry name, so that
   a host finds an entry's data offset and sizes without walking the archive. The table
   and its entries are internal objects on a heap the host names: it must be a heap made
   for zip tables (or null, process memory) and never given to a machine, whose
   collector would free what it cannot reach and whose heap walks would misread the raw
   name blocks. */
#ifndef PUX_VMZIPENTRY_H
#define PUX_VMZIPENTRY_H

#include "vmhandlearray.h"
#include "vmobject.h"

class VMZipEntry : public VMInternalObject {
 public:
  enum { Words = 5, RefMask = 0 };
  enum { NameWord = 0, OffsetWord = 1, SizeWord = 2, CompressedSizeWord = 3, HashWord = 4 };

  /* Keeps the name pointer (the text is not copied); null when the heap refuses. */
  static VMZipEntry* CreateInstance(HHeap* heap, char* name, uint32_t offset, uint32_t size, uint32_t compressedSize);
  /* Releases the entry, not its name. */
  void Destroy(HHeap* heap);

  const char* GetName() const { return reinterpret_cast<const char*>(GetScalar(NameWord)); }
  uint32_t GetOffset() const { return GetScalar(OffsetWord); }
  uint32_t GetSize() const { return GetScalar(SizeWord); }
  uint32_t GetCompressedSize() const { return GetScalar(CompressedSizeWord); }
  uint32_t GetHash() const { return GetScalar(HashWord); }

 private:
  void SetName(char* name) { SetScalar(NameWord, reinterpret_cast<VMword>(name)); }
  void SetOffset(uint32_t v) { SetScalar(OffsetWord, v); }
  void SetSize(uint32_t v) { SetScalar(SizeWord, v); }
  void SetCompressedSize(uint32_t v) { SetScalar(CompressedSizeWord, v); }
  void SetHash(uint32_t v) { SetScalar(HashWord, v); }
};

/* The hash of an entry name, over every byte up to the NUL (32-bit FNV-1a). A hash of
   only the last few bytes would give every "pkg/Name.class" of an archive a handful of
   values between them, and building the table would take time quadratic in its size. */
uint32_t ZipNameHash(const char* name);

#endif
