/* Basic types shared by the machine, its host and native code. 32-bit x86 only. */
#ifndef PUX_JNITYPES_H
#define PUX_JNITYPES_H

#include <stdint.h>

/* One calling convention for every table and callback that crosses the boundary
   between the machine and its host (callee pops). Variadic functions stay cdecl. */
#define HOSTCALL __attribute__((stdcall))
#define JNICALL HOSTCALL
#define JNIEXPORT extern "C" __attribute__((visibility("default")))

typedef uint8_t  jboolean;
typedef int8_t   jbyte;
typedef uint16_t jchar;
typedef int16_t  jshort;
typedef int32_t  jint;
typedef int64_t  jlong;
typedef float    jfloat;
typedef double   jdouble;
typedef jint     jsize;

/* One 32-bit slot of an object body, an operand stack or a locals area. */
typedef uint32_t VMword;
#define VMBITS_PER_WORD 32

/* Allocation kind passed with every creation: 0 lets a refused allocation run one
   collection of the current machine and retry once; 1 fails at once with NULL. */
typedef int32_t jallocType;
enum { jallocCollectAndRetry = 0, jallocFailFast = 1 };

/* Opaque handle of a host heap. */
typedef struct HHeap HHeap;

/* The invocation and environment records; their layout belongs to the native interface. */
typedef struct JNIEnv_ JNIEnv;
typedef struct JavaVM_ JavaVM;

/* Reference handles as native code sees them. */
typedef struct _jobject* jobject;
typedef jobject jclass;
typedef jobject jstring;
typedef jobject jthrowable;

#ifdef __cplusplus
static_assert(sizeof(void*) == 4, "puxjvm is a 32-bit machine: build with -m32");
static_assert(sizeof(VMword) == 4, "a VMword is 32 bits");
#endif

#endif
