/* Temporary stand-ins for what the class loader calls before its owners land; weak, so
   that the real definitions replace them without a clash. */
#include "vmjni.h"

/* Stand-in until the native interface's own stand-in is in the library. */
__attribute__((weak)) int VMJniThrowInternal(JNIEnv*, VMStatus, const char*) { return -1; }

#include "vmobject.h"

/* Stand-in until the collector's object walk exists: with no collector nothing asks the
   pool to descend, and a descent that cannot be made must not end the walk. */
VMCommonObjectBase::WalkResult VMConstantPoolDescend(VMObject*, VMCommonObjectBase::WalkCallback,
                                                     void*) {
  return VMCommonObjectBase::WalkDone;
}
