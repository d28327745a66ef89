/* Temporary stand-in for what the constant pool calls before its owner lands; it goes
   when the collector's object walk is in the library. */
#include "vmobject.h"

/* The collector's walk of one object, which the pool's own walk asks for when its visitor
   answers "descend". With no collector nothing asks yet, and a descent that cannot be
   made must not end the walk. */
VMCommonObjectBase::WalkResult VMConstantPoolDescend(VMObject*, VMCommonObjectBase::WalkCallback,
                                                     void*) {
  return VMCommonObjectBase::WalkDone;
}
