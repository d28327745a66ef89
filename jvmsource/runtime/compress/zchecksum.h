/* The two checksums of the system's zlib, reached through one source file that alone
   includes <zlib.h>, so that no engine header ever sees zlib's declarations. */
#ifndef PUX_COMPRESS_ZCHECKSUM_H
#define PUX_COMPRESS_ZCHECKSUM_H

#include <stdint.h>

namespace puxz {

/* Running Adler-32 (starts at 1) and CRC-32 (starts at 0) over len bytes. */
uint32_t Adler32(uint32_t adler, const uint8_t* bytes, uint32_t len);
uint32_t Crc32(uint32_t crc, const uint8_t* bytes, uint32_t len);

}  // namespace puxz

#endif
