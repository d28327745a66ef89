/* Inflating streams: one zip entry's raw deflate data, read from a host stream and
   inflated at once into 256-byte chunks of process memory, then read and positioned
   like a file. The entry is accepted only when it ends exactly where both of the
   caller's sizes say. */
#include <string.h>

#include "inflate.h"
#include "vmjni_entries.h"
#include "vmutils.h"

namespace {

enum : uint32_t {
  ChunkBytes = 256,
  PointersPerBlock = 64,
  MaxSize = ChunkBytes * PointersPerBlock * PointersPerBlock, /* 1,048,576 */
  LiveTag = 0x4D54535Au,                                     /* "ZSTM" */
  InputBytes = 2048,
  OutputBytes = 8192,
  DeadTag = 0x44414544u                                      /* "DEAD" */
};

struct ZStrm {
  uint32_t tag;
  int32_t size;
  int32_t position;
  uint8_t*** segments; /* 64 pages of 64 chunks */
};
static_assert(sizeof(void*) != 4 || sizeof(ZStrm) == 16, "the record is 16 bytes");

void* Take(uint32_t bytes) { return VMUtils::GetHostFunctions()->HeapAlloc(NULL, bytes, jallocFailFast); }

void Give(void* block) { VMUtils::GetHostFunctions()->HeapFree(NULL, block); }

bool ZStrmIsValid(const ZStrm* z) {
  return z != NULL && z->tag == LiveTag && z->size >= 1 && z->segments != NULL && z->position >= 0 &&
         z->position <= z->size;
}

/* The record and its table of pages are one block; each page (its 64 chunk pointers) is
   another, and the chunks it points to one more, so an open asks the host for two blocks
   per 16 KB of data instead of one per 256 bytes (none of them larger than 16 KB, a size
   hosts keep at hand). */
void ZStrmDestroy(ZStrm* z) {
  if (!ZStrmIsValid(z)) return;
  for (uint32_t p = 0; p < PointersPerBlock && z->segments[p] != NULL; p++) {
    if (z->segments[p][0] != NULL) Give(z->segments[p][0]);
    Give(z->segments[p]);
  }
  // A second close of the same pointer then finds no valid record (as long as the
  // block has not been handed out again).
  z->tag = DeadTag;
  z->size = 0;
  Give(z);
}

ZStrm* ZStrmCreate(uint32_t size) {
  if (size < 1 || size > MaxSize) return NULL;
  const uint32_t table = PointersPerBlock * (uint32_t)sizeof(uint8_t**);
  ZStrm* z = static_cast<ZStrm*>(Take((uint32_t)sizeof(ZStrm) + table));
  if (z == NULL) return NULL;
  z->tag = LiveTag;
  z->size = (int32_t)size;
  z->position = 0;
  z->segments = reinterpret_cast<uint8_t***>(z + 1);
  memset(z->segments, 0, table);
  const uint32_t chunks = (size + ChunkBytes - 1) / ChunkBytes;
  for (uint32_t p = 0; p * PointersPerBlock < chunks; p++) {
    const uint32_t here = chunks - p * PointersPerBlock < PointersPerBlock ? chunks - p * PointersPerBlock : PointersPerBlock;
    uint8_t** page = static_cast<uint8_t**>(Take(table));
    if (page == NULL) {
      ZStrmDestroy(z);
      return NULL;
    }
    memset(page, 0, table);
    z->segments[p] = page;
    // The chunks are not cleared: every byte below the size is written before the open
    // succeeds, and none past it is ever read.
    uint8_t* chunks = static_cast<uint8_t*>(Take(here * ChunkBytes));
    if (chunks == NULL) {
      ZStrmDestroy(z);
      return NULL;
    }
    for (uint32_t c = 0; c < here; c++) page[c] = chunks + c * ChunkBytes;
  }
  return z;
}

/* memcpy for a run the compiler can tell is at most a chunk, which it would expand into
   a slower string instruction: the empty asm hides the bound. */
inline void CopyRun(void* to, const void* from, uint32_t n) {
  __asm__("" : "+r"(n));
  memcpy(to, from, n);
}

uint8_t* ZStrmChunk(const ZStrm* z, uint32_t i) { return z->segments[i / (ChunkBytes * PointersPerBlock)][(i / ChunkBytes) % PointersPerBlock]; }

void ZStrmCopyIn(const ZStrm* z, const uint8_t* from, uint32_t p, uint32_t n) {
  for (uint32_t left = n; left != 0;) {
    uint32_t run = ChunkBytes - p % ChunkBytes;
    if (run > left) run = left;
    CopyRun(ZStrmChunk(z, p) + p % ChunkBytes, from, run);
    from += run;
    p += run;
    left -= run;
  }
}

uint32_t ZStrmCopyOut(const ZStrm* z, uint8_t* to, uint32_t p, uint32_t n) {
  for (uint32_t left = n; left != 0;) {
    uint32_t run = ChunkBytes - p % ChunkBytes;
    if (run > left) run = left;
    CopyRun(to, ZStrmChunk(z, p) + p % ChunkBytes, run);
    to += run;
    p += run;
    left -= run;
  }
  return n;
}

/* The engine's memory for one open: its some two hundred small blocks (window chunks,
   table blocks, state records) are carved out of 16 KB slabs of process memory, with the
   blocks it gives back kept by size for its next requests of that size, and everything
   released at once when the open ends. One open then costs the host four slabs
   instead of a request per block. The blocks are not cleared here: the engine clears
   those it needs cleared, whatever its allocator gives. */
struct Arena {
  enum : uint32_t { SlabBytes = 16384, Sizes = 12 };
  struct Slab {
    Slab* next;
    uint32_t used;
    uint32_t size;
  };
  struct Loose {
    Loose* next;
  };
  Slab* slabs = NULL;
  uint32_t sizes[Sizes] = {0};
  Loose* loose[Sizes] = {NULL};
  uint32_t looseBlocks = 0; /* in all the lists */

  /* Blocks carry their size in the word before them. */
  void* Take(uint32_t bytes) {
    if (bytes == 0 || bytes > SlabBytes - 64) return NULL;
    uint32_t n = (bytes + 3) & ~3u;
    for (uint32_t k = 0; looseBlocks != 0 && k < Sizes; k++) {
      if (sizes[k] == n && loose[k] != NULL) {
        Loose* block = loose[k];
        loose[k] = block->next;
        looseBlocks--;
        return block;
      }
    }
    uint32_t need = n + 4;
    if (slabs == NULL || slabs->size - slabs->used < need) {
      Slab* slab = static_cast<Slab*>(VMUtils::GetHostFunctions()->HeapAlloc(NULL, SlabBytes, jallocFailFast));
      if (slab == NULL) return NULL;
      slab->next = slabs;
      slab->used = sizeof(Slab);
      slab->size = SlabBytes;
      slabs = slab;
    }
    uint8_t* at = reinterpret_cast<uint8_t*>(slabs) + slabs->used;
    slabs->used += need;
    *reinterpret_cast<uint32_t*>(at) = n;
    return at + 4;
  }
  void Give(void* block) {
    uint32_t n = *(static_cast<uint32_t*>(block) - 1);
    for (uint32_t k = 0; k < Sizes; k++) {
      if (sizes[k] == 0) sizes[k] = n;
      if (sizes[k] == n) {
        Loose* l = static_cast<Loose*>(block);
        l->next = loose[k];
        loose[k] = l;
        looseBlocks++;
        return;
      }
    }
    // More sizes than the engine uses: the block stays in its slab until the end.
  }
  void Release() {
    while (slabs != NULL) {
      Slab* next = slabs->next;
      VMUtils::GetHostFunctions()->HeapFree(NULL, slabs);
      slabs = next;
    }
  }
};

void* ZStrmAlloc(void* opaque, uint32_t items, uint32_t size) {
  uint64_t bytes = (uint64_t)items * size;
  if (bytes == 0 || bytes > 0xFFFFFFF0u) return NULL;
  return static_cast<Arena*>(opaque)->Take((uint32_t)bytes);
}

void ZStrmFree(void* opaque, void* block) {
  if (block != NULL) static_cast<Arena*>(opaque)->Give(block);
}

int32_t ClampPosition(ZStrm* z, int64_t p) {
  if (p < 0) p = 0;
  if (p > z->size) p = z->size;
  z->position = (int32_t)p;
  return z->position;
}

}  // namespace

/* The host stream stands at the entry's first compressed byte. Input goes through a
   buffer of InputBytes; output through one of OutputBytes, whose room lets the engine
   decode straight into it (a chunk's 256 bytes would hold it to its window), and from
   there into the chunks. The rest of the compressed bytes are still read and decoded
   once all output is made, and the room past the size shows data going on past it; such
   bytes never reach the chunks. An entry is taken only when its
   stream ends with exactly size bytes out, exactly compressedSize bytes read, and all of
   them taken by the stream. */
JNIEXPORT void* HOSTCALL JNI_OpenZStrm(void* stream, uint32_t size, uint32_t compressedSize) {
  // Only the host's memory and stream services are needed: the table the host handed
  // over (with JNI_SetHostFunctions, JNI_CreateZipHash or JNI_CreateJavaVM); no process
  // state is made here, so that none outlives the host's last machine.
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL) return NULL;
  ZStrm* z = ZStrmCreate(size);
  if (z == NULL) return NULL;
  uint8_t input[InputBytes];
  uint8_t output[OutputBytes];
  puxz::z_stream s;
  memset(&s, 0, sizeof s);
  s.next_in = input;
  s.next_out = output;
  Arena arena;
  s.zalloc = ZStrmAlloc;
  s.zfree = ZStrmFree;
  s.opaque = &arena;
  if (puxz::inflateInit2_(&s, -15, PUXZ_VERSION, (int)sizeof s) != puxz::ZResult_Ok) {
    arena.Release();
    ZStrmDestroy(z);
    return NULL;
  }
  uint32_t read = 0;
  int rc = puxz::ZResult_Ok;
  bool broken = false;
  for (;;) {
    if (s.avail_in == 0 && read < compressedSize) {
      uint32_t want = compressedSize - read < InputBytes ? compressedSize - read : InputBytes;
      jint got = host->StreamRead(stream, input, (jint)want);
      // A host answering nothing, an error (-1) or more than asked ends the open.
      if (got <= 0 || (uint32_t)got > want) {
        broken = true;
        break;
      }
      read += (uint32_t)got;
      s.next_in = input;
      s.avail_in = (uint32_t)got;
    }
    // A longest match of room past the size: the engine then decodes the entry's last
    // bytes as fast as the others, and more bytes than the size still show.
    const uint32_t at = s.total_out; /* at most size */
    const uint32_t room = size - at < OutputBytes - 258 ? size - at + 258 : OutputBytes;
    s.next_out = output;
    s.avail_out = room;
    rc = puxz::inflate(&s, puxz::ZFlush_Sync);
    uint32_t made = room - s.avail_out;
    if (made > size - at) {
      rc = puxz::ZResult_DataError;  // data past the stated size
      break;
    }
    ZStrmCopyIn(z, output, at, made);
    if (rc != puxz::ZResult_Ok) break;
  }
  // The engine holds nothing but blocks of the arena: releasing the arena ends it, without
  // giving back its two hundred blocks one by one first.
  arena.Release();
  // The engine's own count tells a stream that ended before the stated compressed size.
  if (broken || rc != puxz::ZResult_StreamEnd || s.total_out != size || read != compressedSize ||
      s.total_in != compressedSize) {
    ZStrmDestroy(z);
    return NULL;
  }
  return z;
}

JNIEXPORT jint HOSTCALL JNI_ReadZStrm(void* zstream, void* buffer, jint count) {
  ZStrm* z = static_cast<ZStrm*>(zstream);
  if (z == NULL || buffer == NULL || count < 1 || !ZStrmIsValid(z)) return 0;
  int32_t n = count < z->size - z->position ? count : z->size - z->position;
  if (n < 1) return 0;
  ZStrmCopyOut(z, static_cast<uint8_t*>(buffer), (uint32_t)z->position, (uint32_t)n);
  ClampPosition(z, (int64_t)z->position + n);
  return n;
}

JNIEXPORT jint HOSTCALL JNI_SeekZStrm(void* zstream, jint distance) {
  ZStrm* z = static_cast<ZStrm*>(zstream);
  if (!ZStrmIsValid(z)) return -1;
  return ClampPosition(z, (int64_t)z->position + distance);
}

JNIEXPORT jint HOSTCALL JNI_SeekZStrmAbsolute(void* zstream, jint position) {
  ZStrm* z = static_cast<ZStrm*>(zstream);
  if (!ZStrmIsValid(z)) return -1;
  return ClampPosition(z, position);
}

JNIEXPORT void HOSTCALL JNI_CloseZStrm(void* zstream) { ZStrmDestroy(static_cast<ZStrm*>(zstream)); }
