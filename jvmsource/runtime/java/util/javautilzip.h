/* The natives of java.util.zip: the checksums, the Deflater and Inflater streams over
   the machine's own engines and compression pool, the ZipEntry and ZipFile rows of the
   newer class-library generation (not implemented there), and the shared-file reads of
   the library's own ZipFile. Their Register_ functions are declared with the start-up
   list's (registration.h). */
#ifndef PUX_JAVAUTILZIP_H
#define PUX_JAVAUTILZIP_H

#include "registration.h"

/* The pool bytes a machine's live streams may hold when a new one is asked for; the longest
   a new one waits for room while other threads' streams that could end hold more (far more
   than any wait of a server's load in turn; a wait that nothing could end is answered at
   once); the longest step of such a wait between two looks; and how long the first waiter
   waits without any room coming back before it has a collection made (streams left to the
   collector end only in one). */
enum : uint32_t {
  ZipStreamBudget = 280000,
  ZipBudgetWaitMillis = 30000,
  ZipBudgetStepMillis = 50,
  ZipBudgetQuietMillis = 100
};

#endif
