/* Temporary: the name-space members the machine and its threads call, read from the
   record's words until the name space's own members are in place. Goes as soon as they
   are. */
#ifndef PUX_VMNAMESPACE_PENDING_H
#define PUX_VMNAMESPACE_PENDING_H

#include "vmnamespace.h"

namespace pending_ns {
inline void* SpinLock(VMNameSpace* ns) { return (void*)((VMInternalObject*)ns)->GetScalar(4); }
inline uint32_t GetVMCount(VMNameSpace* ns) { return ((VMInternalObject*)ns)->GetScalar(6); }
inline void SetVMCount(VMNameSpace* ns, uint32_t n) { ((VMInternalObject*)ns)->SetScalar(6, n); }
/* No exception class can be had before the start-up makes the exception classes. */
inline VMLoadableClass* GetExceptionClass(VMNameSpace*, JNIEnv*, uint32_t) { return NULL; }
/* Nor any class before classes can be loaded. */
inline VMLoadableClass* GetThreadGroupClass(VMNameSpace*, JNIEnv*) { return NULL; }
}  // namespace pending_ns

#endif
