/* Arrays of up to 64 KB kept in 256-byte chunks, so that no request the engines make of
   the compression pool exceeds 256 bytes: a header points to at most four segment tables
   of 64 chunk pointers each. Every block comes from the calling thread's machine's pool
   (ZipPoolChunkAlloc) and goes back to it, whatever allocation pair a stream carries.

   The guarded accessors read 0 and drop writes outside the array; the matcher relies on
   reads past the data giving 0. A dropped write is never wanted, so each is counted
   (DroppedWrites) for the tests to watch. Elements are in host byte order; a 16-bit or
   32-bit element or a record never straddles two chunks. */
#ifndef PUX_COMPRESS_CHUNKEDARRAY_H
#define PUX_COMPRESS_CHUNKEDARRAY_H

#include <stdint.h>
#include <string.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace puxz {

/* Copies n bytes (at most a chunk's worth, as the engines move them: a run within one
   chunk) between memory that does not overlap. For runs this short the compiler's own
   expansion of memcpy is a string instruction whose start-up costs more than the copy;
   16-byte unaligned moves do not care that a chunk sits 12 bytes into its pool block. */
inline void ChunkCopy(void* to, const void* from, uint32_t n) {
  uint8_t* d = static_cast<uint8_t*>(to);
  const uint8_t* f = static_cast<const uint8_t*>(from);
  uint32_t i = 0;
#ifdef __SSE2__
  for (; i + 16 <= n; i += 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_loadu_si128(reinterpret_cast<const __m128i*>(f + i)));
  }
#endif
  for (; i + 4 <= n; i += 4) {
    uint32_t v;
    memcpy(&v, f + i, 4);
    memcpy(d + i, &v, 4);
  }
  for (; i < n; i++) d[i] = f[i];
}

enum : uint32_t {
  ChunkBytes = 256,
  ChunksPerSegment = 64,
  SegmentsPerArray = 4,
  SegmentBytes = ChunkBytes * ChunksPerSegment, /* 16,384 */
  MaxArrayBytes = SegmentBytes * SegmentsPerArray /* 65,536 */
};

/* One pool block of 64 chunk pointers; unused slots are null. */
struct ChunkSegment {
  uint8_t* chunks[ChunksPerSegment];

  static uint8_t* Chunk(const ChunkSegment* segment, uint32_t slot) {
    return slot < ChunksPerSegment ? segment->chunks[slot] : NULL;
  }
};

struct ChunkedArray {
  uint32_t size; /* bytes, as asked for at creation */
  ChunkSegment* segments[SegmentsPerArray];

  /* n bytes (0 to 65,536), zero-filled; null when too large or the pool refuses, with
     nothing kept. */
  static ChunkedArray* Create(uint32_t n);
  static ChunkedArray* CreateShorts(uint32_t count);
  static ChunkedArray* CreateInts(uint32_t count);
  /* Gives every chunk, table and the header back; nothing for null. */
  static void Destroy(ChunkedArray* array);

  static uint8_t* ChunkByte(uint8_t* chunk, uint32_t k) { return k < ChunkBytes ? chunk + k : NULL; }

  /* The address of byte o, unchecked: only for offsets already compared with size. */
  uint8_t* Address(uint32_t o) const {
    return segments[o >> 14]->chunks[(o >> 8) & (ChunksPerSegment - 1)] + (o & (ChunkBytes - 1));
  }
  /* The chunk holding byte o (o < size) and how many bytes of it lie from o on. */
  uint8_t* Run(uint32_t o, uint32_t* left) const {
    *left = ChunkBytes - (o & (ChunkBytes - 1));
    return Address(o);
  }

  /* Fills map with the array's chunk addresses in order, as T pointers: element e of
     chunk c is then map[c][e], one look-up instead of two. */
  template <typename T>
  void Map(T** map) const {
    uint32_t chunks = (size + ChunkBytes - 1) / ChunkBytes;
    for (uint32_t c = 0; c < chunks; c++) {
      map[c] = reinterpret_cast<T*>(segments[c / ChunksPerSegment]->chunks[c % ChunksPerSegment]);
    }
  }

  uint32_t GetByte(uint32_t i) const { return i < size ? *Address(i) : 0; }
  uint32_t GetShort(uint32_t i) const {
    return i < size / 2 ? *reinterpret_cast<const uint16_t*>(Address(i * 2)) : 0;
  }
  uint32_t GetInt(uint32_t i) const {
    return i < size / 4 ? *reinterpret_cast<const uint32_t*>(Address(i * 4)) : 0;
  }
  /* Bytes [o, o + n) of the array (inside its size) out to plain memory, or in from it. */
  void CopyOut(uint32_t o, void* to, uint32_t n) const {
    uint8_t* into = static_cast<uint8_t*>(to);
    for (uint32_t done = 0; done < n;) {
      uint32_t run;
      const uint8_t* from = Run(o + done, &run);
      if (run > n - done) run = n - done;
      ChunkCopy(into + done, from, run);
      done += run;
    }
  }
  void CopyIn(uint32_t o, const void* from, uint32_t n) {
    const uint8_t* bytes = static_cast<const uint8_t*>(from);
    for (uint32_t done = 0; done < n;) {
      uint32_t run;
      uint8_t* into = Run(o + done, &run);
      if (run > n - done) run = n - done;
      ChunkCopy(into, bytes + done, run);
      done += run;
    }
  }

  int SetByte(uint32_t i, uint32_t value) {
    if (i >= size) return Dropped();
    *Address(i) = (uint8_t)value;
    return 1;
  }
  int SetShort(uint32_t i, uint32_t value) {
    if (i >= size / 2) return Dropped();
    *reinterpret_cast<uint16_t*>(Address(i * 2)) = (uint16_t)value;
    return 1;
  }
  int SetInt(uint32_t i, uint32_t value) {
    if (i >= size / 4) return Dropped();
    *reinterpret_cast<uint32_t*>(Address(i * 4)) = value;
    return 1;
  }

  /* Writes dropped outside any array since the process started. */
  static uint32_t DroppedWrites();
  static void CountDroppedWrite() { Dropped(); }

 protected:
  static int Dropped();
  /* Takes the segment tables and chunks of n bytes into this header; false (with
     everything given back and the header's table pointers cleared) on a refusal. */
  bool Fill(uint32_t n);
  void Release();
};

/* An array of fixed-size records, each given a power-of-two stride (2 to 256 bytes). */
struct ChunkedRecordArray : ChunkedArray {
  uint16_t stride;
  uint16_t reserved;

  /* count records of recordBytes each; null for records over 256 bytes, more than
     65,536 bytes in all, or a refusal. Destroyed with ChunkedArray::Destroy. */
  static ChunkedRecordArray* Create(uint32_t count, uint32_t recordBytes);
  /* (i + 1) x stride <= size is i < size / stride without the division. */
  uint8_t* Record(uint32_t i) const {
    return i < MaxArrayBytes && (i + 1) * stride <= size ? Address(i * stride) : NULL;
  }
};

static_assert(sizeof(void*) != 4 || sizeof(ChunkedArray) == 20, "an array header is 20 bytes");
static_assert(sizeof(void*) != 4 || sizeof(ChunkedRecordArray) == 24, "a record header is 24 bytes");

}  // namespace puxz

#endif
