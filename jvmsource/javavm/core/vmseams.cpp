/* Seam: stand-ins for the neighbours of the runtime core (see vmseams.h). Each goes when
   the work that builds the real one lands. */
#include "vmseams.h"

#include <string.h>

#include "vm.h"
#include "vmobject.h"
#include "vmthread.h"
#include "vmutils.h"

namespace seam {}  // namespace seam
