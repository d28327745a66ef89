#include "zchecksum.h"

#include <zlib.h>

namespace puxz {

uint32_t Adler32(uint32_t adler, const uint8_t* bytes, uint32_t len) {
  return (uint32_t)::adler32(adler, bytes, len);
}

uint32_t Crc32(uint32_t crc, const uint8_t* bytes, uint32_t len) {
  return (uint32_t)::crc32(crc, bytes, len);
}

}  // namespace puxz
