/* A host that hands a freed block of process memory straight back to the next request of
   its size, as the plain build's pooled host does and the sanitizer build's does not (its
   allocator holds freed blocks back): a new stream's record then takes an ended one's
   memory in every build. Installed in the reference host's table for the object's life. */
#ifndef PUX_TESTS_ZIP_REUSING_MEMORY_H
#define PUX_TESTS_ZIP_REUSING_MEMORY_H

#include <stdint.h>

namespace zip_test {

class ReusingProcessMemory {
 public:
  ReusingProcessMemory();
  ~ReusingProcessMemory();
  /* Requests served with a block freed before. */
  uint32_t Reused() const;
};

}  // namespace zip_test

#endif
