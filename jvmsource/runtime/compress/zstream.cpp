#include "zstream.h"

#include "zippool.h"

namespace puxz {

const char* const ZMessageTable[10] = {
    "need dictionary",      /* 2 */
    "stream end",           /* 1 */
    "",                     /* 0 */
    "file error",           /* -1 */
    "stream error",         /* -2 */
    "data error",           /* -3 */
    "insufficient memory",  /* -4 */
    "buffer error",         /* -5 */
    "incompatible version", /* -6 */
    ""};

const char* ZMessage(int result) {
  if (result > ZResult_NeedDict || result < ZResult_VersionError) return NULL;
  return ZMessageTable[ZResult_NeedDict - result];
}

/* An installed default pair would otherwise call itself through the record it was given
   (or, with any other opaque, through whatever lies at that address). */
void* zcalloc(void* stream, uint32_t items, uint32_t size) {
  z_stream* z = static_cast<z_stream*>(stream);
  if (z == NULL || z->zalloc == zcalloc) return NULL;
  if (z->zalloc != NULL) return z->zalloc(z->opaque, items, size);
  return ZipPoolAlloc(z->opaque, items, size);
}

void zcfree(void* stream, void* block) {
  z_stream* z = static_cast<z_stream*>(stream);
  if (z == NULL || z->zfree == zcfree) return;
  if (z->zfree != NULL) {
    z->zfree(z->opaque, block);
    return;
  }
  ZipPoolFree(z->opaque, block);
}

}  // namespace puxz
