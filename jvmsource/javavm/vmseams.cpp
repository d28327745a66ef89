/* Seam: stand-ins for the neighbours of the runtime core (see vmseams.h). Each goes when
   the work that builds the real one lands. */
#include "vmseams.h"

#include <string.h>

#include "vm.h"
#include "vmobject.h"
#include "vmthread.h"
#include "vmutils.h"

namespace seam {

/* ---- class-library natives: the file system's delete comes with the file natives ---- */

jboolean JavaIoFileSystemDelete(JNIEnv*, jobject) { return 0; }

/* ---- the debugger ---- */

void JumpToDebugLoop(VMThread*) {}

}  // namespace seam
