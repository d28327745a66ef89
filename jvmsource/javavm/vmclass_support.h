/* What the class model reads of the name space, its lists, the class loaders and the
   calling thread's env, in one place; private to the vmclass sources. */
#ifndef PUX_VMCLASS_SUPPORT_H
#define PUX_VMCLASS_SUPPORT_H

#include "vmclass.h"
#include "vmclassloader.h"
#include "vmjni.h"
#include "vmhandlearray.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmutils.h"

namespace classmodel {

/* Class-list entries. */
enum {
  CL_OBJECT = VMClassList::ObjectClassWord, CL_CLASS = VMClassList::ClassClassWord,
  CL_CLONEABLE = VMClassList::CloneableClassWord, CL_SERIALIZABLE = VMClassList::SerializableClassWord,
  CL_VOID = VMClassList::VMvoidClassWord, CL_BOOLEAN = VMClassList::VMbooleanClassWord,
  CL_BYTE = VMClassList::VMbyteClassWord, CL_SHORT = VMClassList::VMshortClassWord,
  CL_CHAR = VMClassList::VMcharClassWord, CL_INT = VMClassList::VMintClassWord,
  CL_LONG = VMClassList::VMlongClassWord, CL_FLOAT = VMClassList::VMfloatClassWord,
  CL_DOUBLE = VMClassList::VMdoubleClassWord,
};
/* Literal-table entries. */
enum {
  LT_SIG_NULL = 0, LT_NULL = 1, LT_INIT = 2, LT_CLINIT = 3, LT_FINALIZE = 4,
  LT_BOOLEAN = 6, LT_CHARACTER = 7, LT_FLOAT = 8, LT_DOUBLE = 9, LT_BYTE = 10,
  LT_SHORT = 11, LT_INTEGER = 12, LT_LONG = 13, LT_OBJECT = 14, LT_STRING = 15, LT_SYSTEM = 16,
  LT_INITIALIZE_SYSTEM_CLASS = 17,
};

/* A class of the name space's class list; NULL before the list or the entry exists. */
inline VMClass* ListClass(VMNameSpace* ns, int entry) {
  VMClassList* list = ns->GetClassList();
  return list != NULL ? (VMClass*)list->GetReference(entry) : NULL;
}
inline VMLoadableClass* ObjectClass(VMNameSpace* ns) { return (VMLoadableClass*)ListClass(ns, CL_OBJECT); }
/* A well-known name; NULL before the literal table exists. */
inline VMLiteral* WellKnown(VMNameSpace* ns, int entry) {
  VMInternalObject* table = (VMInternalObject*)ns->GetLiterals();
  return table != NULL ? (VMLiteral*)table->GetReference(entry) : NULL;
}
inline VMClassLoader* SystemLoader(VMNameSpace* ns) { return ns->GetSystemClassLoader(); }
inline VMClassHandleArray* Classes(VMNameSpace* ns) { return ns->GetClasses(); }
inline VMObjectHandleArray* FieldIDs(VMNameSpace* ns) { return ns->GetJNIFieldIDArray(); }
inline VMClassHashTable* ClassTable(VMClassLoader* loader) { return loader->GetClassTable(); }

/* The env's name space and its thread's current class-loader id. */
inline VMNameSpace* EnvNameSpace(JNIEnv* env) {
  return env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
}
inline void* EnvLoaderId(JNIEnv* env) { return (void*)env->userWord; }

inline JNIEnv* CurrentEnv() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  return host != NULL && host->GetCurrentEnv != NULL ? host->GetCurrentEnv() : NULL;
}

/* The loader of a host loader id in a name space, made on first use; NULL on failure. */
VMClassLoader* LoaderForId(VMNameSpace* ns, void* loaderId);

/* The calls into the class loader, the constant pool and the machines that the class
   model makes (vmclass_lifecycle.cpp). */
VMStatus LoadClassFile(VMClassLoader* loader, VMLoadableClass* cls);
VMStatus LoadDebugInfo(VMLoadableClass* cls);
void DestroyConstantPool(VMConstantPool* pool, HHeap* heap);
uint32_t ConstantPoolCount(VMConstantPool* pool);
jint ConstantPoolTag(VMConstantPool* pool, uint32_t index);
VMClass* ConstantPoolClass(VMConstantPool* pool, uint32_t index, bool initialize);
/* Raises status on the env's thread with an optional message (no-op without env). */
void ThrowOnEnv(JNIEnv* env, VMStatus status, const char* message);

/* A growable text buffer in process memory for building names. It has a destructor, so
   it must not live in a frame that a long jump skips. */
class TextBuffer {
 public:
  TextBuffer() : data(NULL), length(0), room(0), failed(false) {}
  ~TextBuffer() { Free(); }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;
  void Append(const char* bytes, uint32_t n);
  void Append(const char* text);
  void Append(VMLiteral* literal);
  void Free();
  const char* Data() const { return data; }
  uint32_t Length() const { return length; }
  bool Failed() const { return failed; }

 private:
  bool Reserve(uint32_t extra);
  char* data;
  uint32_t length;
  uint32_t room;
  bool failed;
};

}  // namespace classmodel

#endif
