/* Basic types shared by the machine, its host and native code. 32-bit x86 only. The
   native interface's own types and tables come from jni.h; inside the library the JNIEnv
   and JavaVM records are the machine's (vmjni.h), not the natives' views. */
#ifndef PUX_JNITYPES_H
#define PUX_JNITYPES_H

#include <stdint.h>

#if defined(PUX_JNI_H) && !defined(PUX_JNI_MACHINE_RECORDS)
#error "jni.h was included before the machine's headers: include the machine's first"
#endif
#define PUX_JNI_MACHINE_RECORDS
#include "jni.h"

/* One 32-bit slot of an object body, an operand stack or a locals area. */
typedef uint32_t VMword;
#define VMBITS_PER_WORD 32

/* Allocation kind passed with every creation: 0 lets a refused allocation run one
   collection of the current machine and retry once; 1 fails at once with NULL. */
typedef int32_t jallocType;
enum { jallocCollectAndRetry = 0, jallocFailFast = 1 };

/* Opaque handle of a host heap. */
typedef struct HHeap HHeap;

#ifdef __cplusplus
static_assert(sizeof(VMword) == 4, "a VMword is 32 bits");
#endif

#endif
