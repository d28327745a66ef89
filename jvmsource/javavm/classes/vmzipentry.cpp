/* Building the zip directory hash from an archive read through the host's stream
   services and a seek callback, looking names up, and releasing the table. Every size
   and offset of the archive is distrusted: sums are made in 64 bits, each record must
   lie inside the archive and before the central directory, a short read refuses the
   archive, and an archive with more entries than it declares is refused as soon as one
   more appears. */
#include "vmzipentry.h"

#include <string.h>

#include "vmjni_entries.h"
#include "vmutils.h"

namespace {

enum : uint32_t {
  EndRecordBytes = 22,
  CentralHeaderBytes = 46,
  LocalHeaderBytes = 30,
  EndSignature = 0x06054B50u,
  CentralSignature = 0x02014B50u,
  LocalSignature = 0x04034B50u,
  CommentReach = 65535, /* how far back from the end the end record is looked for */
  TableSize = 8192
};

uint32_t ZipGetU16(const uint8_t* b, uint32_t o) { return b[o] | (uint32_t)b[o + 1] << 8; }
uint32_t ZipGetU32(const uint8_t* b, uint32_t o) { return ZipGetU16(b, o) | ZipGetU16(b, o + 2) << 16; }

struct Reader {
  JNIHostFunctions* host;
  void* handle;
  JNIZipSeekCallback seek;
  uint64_t size;

  /* Exactly n bytes from position at, into a zeroed buffer; false on a short read. */
  bool ReadAt(uint64_t at, uint8_t* buffer, uint32_t n) {
    memset(buffer, 0, n);
    if (at + n > size) return false;
    seek(handle, (uint32_t)at);
    return n == 0 || host->StreamRead(handle, buffer, (jint)n) == (jint)n;
  }
};

/* The end record's offset: the highest p with the signature and a comment that reaches
   exactly to the end. Pieces of 64 bytes are read backwards; the three bytes after each
   piece (from the piece read before it) complete a signature that straddles the two. */
bool ZipFindEndRecord(Reader& r, uint64_t* endOffset) {
  if (r.size < EndRecordBytes) return false;
  uint64_t low = r.size > CommentReach ? r.size - CommentReach : 0;
  uint8_t buffer[64 + 3];
  uint8_t carry[3] = {0, 0, 0};
  uint64_t end = r.size;
  while (end > low) {
    uint64_t start = end > low + 64 ? end - 64 : low;
    uint32_t n = (uint32_t)(end - start);
    if (!r.ReadAt(start, buffer, n)) return false;
    memcpy(buffer + n, carry, 3);
    for (uint64_t p = end; p-- > start;) {
      if (p + EndRecordBytes > r.size) continue;
      if (ZipGetU32(buffer, (uint32_t)(p - start)) != EndSignature) continue;
      uint8_t record[EndRecordBytes];
      if (!r.ReadAt(p, record, EndRecordBytes)) return false;
      if (p + EndRecordBytes + ZipGetU16(record, 20) == r.size) {
        *endOffset = p;
        return true;
      }
    }
    memcpy(carry, buffer, 3);
    end = start;
  }
  return false;
}

void DestroyTable(HHeap* heap, VMZipEntryHashTable* table) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  uint32_t count = table->GetFilled();
  for (uint32_t i = 0; i < count; i++) {
    VMZipEntry* e = static_cast<VMZipEntry*>(table->Get(i));
    if (e == nullptr) continue;
    host->HeapFree(heap, const_cast<char*>(e->GetName()));
    e->Destroy(heap);
  }
  table->Destroy(heap);
}

VMZipEntryHashTable* ZipBuildHash(HHeap* heap, Reader& r) {
  uint64_t endOffset;
  if (!ZipFindEndRecord(r, &endOffset)) return nullptr;
  uint8_t end[EndRecordBytes];
  if (!r.ReadAt(endOffset, end, EndRecordBytes) || ZipGetU32(end, 0) != EndSignature) return nullptr;
  const uint32_t onDisk = ZipGetU16(end, 8), total = ZipGetU16(end, 10);
  const uint64_t cdSize = ZipGetU32(end, 12), cdOffset = ZipGetU32(end, 16);
  if (cdOffset + cdSize != endOffset || (uint64_t)total * CentralHeaderBytes > cdSize || onDisk != total) {
    return nullptr;
  }
  VMZipEntryHashTable* table = VMZipEntryHashTable::CreateInstance(heap, TableSize);
  if (table == nullptr) return nullptr;
  JNIHostFunctions* host = r.host;
  uint32_t count = 0;
  uint64_t d = 0;
  bool refused = false;
  while (d < cdSize && !refused) {
    refused = true;
    uint8_t central[CentralHeaderBytes];
    uint8_t local[LocalHeaderBytes];
    if (count == total || !r.ReadAt(cdOffset + d, central, CentralHeaderBytes) ||
        ZipGetU32(central, 0) != CentralSignature) {
      break;
    }
    const uint64_t csize = ZipGetU32(central, 20), size = ZipGetU32(central, 24);
    const uint64_t localOffset = ZipGetU32(central, 42);
    const uint32_t n = ZipGetU16(central, 28), x = ZipGetU16(central, 30), comment = ZipGetU16(central, 32);
    d += CentralHeaderBytes;
    if (n == 0 || d + n + x + comment > cdSize || localOffset + LocalHeaderBytes > cdOffset) break;
    char* name = static_cast<char*>(host->HeapAlloc(heap, n + 1, jallocFailFast));
    if (name == nullptr) break;
    // The name: no NUL inside (it would make a shorter name than a lister shows).
    bool good = r.ReadAt(cdOffset + d, reinterpret_cast<uint8_t*>(name), n) && memchr(name, 0, n) == nullptr;
    name[n] = 0;
    d += n + x + comment;
    good = good && r.ReadAt(localOffset, local, LocalHeaderBytes) && ZipGetU32(local, 0) == LocalSignature;
    const uint64_t data = localOffset + LocalHeaderBytes + ZipGetU16(local, 26) + ZipGetU16(local, 28);
    good = good && data + csize <= cdOffset;
    VMZipEntry* e = good ? VMZipEntry::CreateInstance(heap, name, (uint32_t)data, (uint32_t)size, (uint32_t)csize)
                         : nullptr;
    if (e == nullptr) {
      host->HeapFree(heap, name);
      break;
    }
    if (table->Add(e) == VMHashNotFound) {
      e->Destroy(heap);
      host->HeapFree(heap, name);
      break;
    }
    count++;
    refused = false;
  }
  if (refused || d != cdSize || count != total) {
    DestroyTable(heap, table);
    return nullptr;
  }
  return table;
}

}  // namespace

uint32_t ZipNameHash(const char* name) {
  uint32_t h = 2166136261u;
  for (const uint8_t* p = reinterpret_cast<const uint8_t*>(name); *p != 0; p++) {
    h ^= *p;
    h *= 16777619u;
  }
  return h;
}

VMZipEntry* VMZipEntry::CreateInstance(HHeap* heap, char* name, uint32_t offset, uint32_t size,
                                       uint32_t compressedSize) {
  VMZipEntry* e = static_cast<VMZipEntry*>(
      CreateInternalNotToBeCalledDirectly(heap, Words, RefMask, VMTag_VMZipEntry, jallocFailFast));
  if (e == nullptr) return nullptr;
  e->SetName(name);
  e->SetOffset(offset);
  e->SetSize(size);
  e->SetCompressedSize(compressedSize);
  e->SetHash(ZipNameHash(name));
  return e;
}

void VMZipEntry::Destroy(HHeap* heap) { VMObject::Destroy(heap); }

JNIEXPORT void* HOSTCALL JNI_CreateZipHash(HHeap* heap, JNIHostFunctions* host, void* stream, JNIZipSeekCallback seek,
                                           uint32_t archiveSize) {
  if (host == nullptr || seek == nullptr) return nullptr;
  // Only the host's memory and stream services are needed, so no process state is made,
  // and none outlives the host's last machine. The table is bound as the set-up would
  // bind it, for the streams and the destroy that follow: when none is bound, or when no
  // process state (which no machine then uses) keeps an earlier one.
  if (VMUtils::GetHostFunctions() == nullptr || host->GetGlobalCell(0) == nullptr) {
    VMUtils::SetHostFunctions(host);
  }
  Reader r = {VMUtils::GetHostFunctions(), stream, seek, archiveSize};
  return ZipBuildHash(heap, r);
}

JNIEXPORT jboolean HOSTCALL JNI_ZipHashLookup(void* table, const char* name, uint32_t* offset, uint32_t* size,
                                              uint32_t* compressedSize) {
  if (table == nullptr || name == nullptr) return 0;
  // No lock: the table is complete when the build hands it out and never changes after
  // that (the host must not destroy it while looking up), so readers cannot see it
  // half-written. Its mutex would only make every thread that loads a class from the
  // archive wait for every other one.
  VMObjectHashTableIterator it(static_cast<VMZipEntryHashTable*>(table), ZipNameHash(name), 0u);
  for (VMObject* o = it.Next(); o != nullptr; o = it.Next()) {
    VMZipEntry* e = static_cast<VMZipEntry*>(o);
    if (strcmp(e->GetName(), name) != 0) continue;
    if (offset != nullptr) *offset = e->GetOffset();
    if (size != nullptr) *size = e->GetSize();
    if (compressedSize != nullptr) *compressedSize = e->GetCompressedSize();
    return 1;
  }
  return 0;
}

JNIEXPORT void HOSTCALL JNI_DestroyZipHash(HHeap* heap, void* table) {
  if (table == nullptr || VMUtils::GetHostFunctions() == nullptr) return;
  DestroyTable(heap, static_cast<VMZipEntryHashTable*>(table));
}
