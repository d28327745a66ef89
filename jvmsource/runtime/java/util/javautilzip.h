/* The natives of java.util.zip: the checksums, the Deflater and Inflater streams over
   the machine's own engines and compression pool, the ZipEntry and ZipFile rows of the
   newer class-library generation (not implemented there), and the shared-file reads of
   the library's own ZipFile. Their Register_ functions are declared with the start-up
   list's (registration.h). */
#ifndef PUX_JAVAUTILZIP_H
#define PUX_JAVAUTILZIP_H

#include "registration.h"

/* The pool bytes a machine's live streams may hold when a new one is asked for, and how
   long a new one waits for other threads' streams to end while they hold more. */
enum : uint32_t { ZipStreamBudget = 280000, ZipBudgetWaitMillis = 2000 };

#endif
