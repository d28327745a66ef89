/* The exported entries of the entry-point block that jni.h does not declare: the
   reference count of loaders (reached only through the block), the debugger's entries
   and the zip archive entries. All stdcall. */
#ifndef PUX_VMJNI_ENTRIES_H
#define PUX_VMJNI_ENTRIES_H

#include "jnihost.h"
#include "jnitypes.h"

JNIEXPORT void HOSTCALL JNI_IncRefClassLoaderLite(JNIEnv* env, jobject loader);
JNIEXPORT void HOSTCALL JNI_DecRefClassLoaderLite(JNIEnv* env, jobject loader);
JNIEXPORT jint HOSTCALL JNI_GetRefClassLoaderLite(JNIEnv* env, jobject loader);

/* The debugger's entries; the read and write callbacks are stdcall (context, buffer,
   length). The agent pointer JNI_DebugAttach answers is a block of the machine heap: a
   host that moves the machine translates it with the heap's other pointers. */
typedef jint(HOSTCALL* JNIDebugIOCallback)(void* context, void* buffer, jint length);
JNIEXPORT void* HOSTCALL JNI_DebugAttach(const char* machineName);
JNIEXPORT void HOSTCALL JNI_DebugDetach(void* agent);
JNIEXPORT uint32_t HOSTCALL JNI_DebugRequest(void* agent, void* inputContext, JNIDebugIOCallback read,
                                             void* outputContext, JNIDebugIOCallback write);
JNIEXPORT jbyte HOSTCALL JNI_DebugEventPending(void* agent);
JNIEXPORT JavaVM* HOSTCALL JNI_DebugWaitForVM(void);
JNIEXPORT void HOSTCALL JNI_DebugReleaseVM(JavaVM* vm);
JNIEXPORT void HOSTCALL JNI_DebugEnableVMCreation(jboolean enable);
JNIEXPORT jint HOSTCALL JNI_DebugGetExistingVMs(JavaVM** buffer, uint32_t capacity, uint32_t* total);
JNIEXPORT void HOSTCALL JNI_DebugSetLoaderID(void* agent, void* loaderId);

/* The zip archive entries. */
typedef jint(HOSTCALL* JNIZipSeekCallback)(void* stream, uint32_t absolutePosition);
JNIEXPORT void* HOSTCALL JNI_CreateZipHash(HHeap* heap, JNIHostFunctions* host, void* stream,
                                           JNIZipSeekCallback seek, uint32_t archiveSize);
JNIEXPORT void HOSTCALL JNI_DestroyZipHash(HHeap* heap, void* table);
JNIEXPORT jboolean HOSTCALL JNI_ZipHashLookup(void* table, const char* name, uint32_t* offset, uint32_t* size,
                                              uint32_t* compressedSize);
JNIEXPORT void* HOSTCALL JNI_OpenZStrm(void* stream, uint32_t size, uint32_t compressedSize);
JNIEXPORT jint HOSTCALL JNI_ReadZStrm(void* zstream, void* buffer, jint count);
JNIEXPORT jint HOSTCALL JNI_SeekZStrm(void* zstream, jint distance);
JNIEXPORT jint HOSTCALL JNI_SeekZStrmAbsolute(void* zstream, jint position);
JNIEXPORT void HOSTCALL JNI_CloseZStrm(void* zstream);

#endif
