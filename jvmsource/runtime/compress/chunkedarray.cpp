#include "chunkedarray.h"

#include "zippool.h"

namespace puxz {

namespace {
uint32_t droppedWrites = 0;
}

uint32_t ChunkedArray::DroppedWrites() { return __atomic_load_n(&droppedWrites, __ATOMIC_RELAXED); }

int ChunkedArray::Dropped() {
  __atomic_fetch_add(&droppedWrites, 1, __ATOMIC_RELAXED);
  return 0;
}

bool ChunkedArray::Fill(uint32_t n) {
  // An empty array still holds one chunk, so that "reached" is a real count.
  uint32_t needed = (n + ChunkBytes - 1) / ChunkBytes;
  if (needed == 0) needed = 1;
  uint32_t count = 0;
  for (uint32_t s = 0; s < SegmentsPerArray && count < needed; s++) {
    ChunkSegment* segment = static_cast<ChunkSegment*>(ZipPoolChunkAlloc(sizeof(ChunkSegment)));
    if (segment == NULL) {
      Release();
      return false;
    }
    segments[s] = segment;
    for (uint32_t j = 0; j < ChunksPerSegment && count < needed; j++) {
      uint8_t* chunk = static_cast<uint8_t*>(ZipPoolChunkAlloc(ChunkBytes));
      if (chunk == NULL) {
        Release();
        return false;
      }
      segment->chunks[j] = chunk;
      count++;
    }
  }
  size = n;
  return true;
}

void ChunkedArray::Release() {
  for (uint32_t s = 0; s < SegmentsPerArray; s++) {
    ChunkSegment* segment = segments[s];
    if (segment == NULL) continue;
    for (uint32_t j = 0; j < ChunksPerSegment; j++) ZipPoolChunkFree(segment->chunks[j]);
    ZipPoolChunkFree(segment);
    segments[s] = NULL;
  }
  size = 0;
}

ChunkedArray* ChunkedArray::Create(uint32_t n) {
  if (n > MaxArrayBytes) return NULL;
  ChunkedArray* array = static_cast<ChunkedArray*>(ZipPoolChunkAlloc(sizeof(ChunkedArray)));
  if (array == NULL) return NULL;
  if (!array->Fill(n)) {
    ZipPoolChunkFree(array);
    return NULL;
  }
  return array;
}

/* Counts are checked before they are multiplied: a wrapped product would make a small
   array that silently drops every later access. */
ChunkedArray* ChunkedArray::CreateShorts(uint32_t count) {
  return count > MaxArrayBytes / 2 ? NULL : Create(count * 2);
}

ChunkedArray* ChunkedArray::CreateInts(uint32_t count) {
  return count > MaxArrayBytes / 4 ? NULL : Create(count * 4);
}

void ChunkedArray::Destroy(ChunkedArray* array) {
  if (array == NULL) return;
  array->Release();
  ZipPoolChunkFree(array);
}

ChunkedRecordArray* ChunkedRecordArray::Create(uint32_t count, uint32_t recordBytes) {
  if (recordBytes == 0 || recordBytes > ChunkBytes) return NULL;
  uint32_t stride = ChunkBytes;
  while (stride > 2 && stride > recordBytes) stride >>= 1;
  if (recordBytes % stride != 0) stride <<= 1;
  uint64_t bytes = (uint64_t)count * stride;
  if (bytes > MaxArrayBytes) return NULL;
  ChunkedRecordArray* array =
      static_cast<ChunkedRecordArray*>(ZipPoolChunkAlloc(sizeof(ChunkedRecordArray)));
  if (array == NULL) return NULL;
  array->stride = (uint16_t)stride;
  if (!array->Fill((uint32_t)bytes)) {
    ZipPoolChunkFree(array);
    return NULL;
  }
  return array;
}

}  // namespace puxz
