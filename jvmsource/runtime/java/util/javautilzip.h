/* The natives of java.util.zip: the checksums, the Deflater and Inflater streams over
   the machine's own engines and compression pool, and the ZipEntry and ZipFile rows of
   the newer class-library generation (not implemented there). Each Register_ function
   hands its class's table to JNI_RegisterNative. */
#ifndef PUX_JAVAUTILZIP_H
#define PUX_JAVAUTILZIP_H

#include "jnitypes.h"

extern "C" {
void Register_java_util_zip_Adler32(void);
void Register_java_util_zip_CRC32(void);
void Register_java_util_zip_Inflater(void);
void Register_java_util_zip_Deflater(void);
void Register_java_util_zip_ZipEntry(void);
void Register_java_util_zip_ZipFile(void);
}

/* The pool bytes a machine's live streams may hold when a new one is asked for. */
enum : uint32_t { ZipStreamBudget = 280000 };

#endif
