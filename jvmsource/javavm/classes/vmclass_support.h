/* What the class model reads of the name space, its lists, the class loaders and the
   calling thread's env, in one place; private to the class-model sources. */
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

/* A stack and a set of pointers for the walks over classes: they live in the caller's
   frame while small and move to process memory when they grow. A growth that cannot be
   had drops the entry and is remembered (Failed). Both have destructors, so neither may
   live in a frame that a long jump skips. */
class PointerStack {
 public:
  PointerStack() : data(first), count(0), room(kFirst), failed(false) {}
  ~PointerStack();
  PointerStack(const PointerStack&) = delete;
  PointerStack& operator=(const PointerStack&) = delete;
  void Push(void* p);
  /* The last pushed entry, or NULL when the stack is empty. */
  void* Pop() { return count != 0 ? data[--count] : NULL; }
  uint32_t Count() const { return count; }
  void* At(uint32_t i) const { return data[i]; }
  bool Failed() const { return failed; }

 private:
  enum { kFirst = 32 };
  void** data;
  uint32_t count;
  uint32_t room;
  bool failed;
  void* first[kFirst];
};

class PointerSet {
 public:
  PointerSet() : slots(first), room(kFirst), count(0), failed(false) {
    for (uint32_t i = 0; i < kFirst; i++) first[i] = NULL;
  }
  ~PointerSet();
  PointerSet(const PointerSet&) = delete;
  PointerSet& operator=(const PointerSet&) = delete;
  /* Adds p; true when it was not there before. */
  bool Add(void* p);
  /* Empties the set; it keeps its room. */
  void Clear() {
    for (uint32_t i = 0; i < room; i++) slots[i] = NULL;
    count = 0;
  }
  bool Failed() const { return failed; }

 private:
  enum { kFirst = 64 };
  bool Grow();
  void** slots;
  uint32_t room;
  uint32_t count;
  bool failed;
  void* first[kFirst];
};

/* The superinterfaces of classes (their interfaces, the interfaces of those, and so on),
   each once however many paths lead to it, depth first in declaration order. The
   interfaces of every class handed to Start join the one walk, and what an earlier Start
   reached is not visited again. */
class InterfaceWalk {
 public:
  void Start(VMLoadableClass* cls);
  /* The next interface, or NULL at the end. */
  VMLoadableClass* Next();
  bool Failed() const { return seen.Failed() || pending.Failed(); }

 private:
  void PushInterfacesOf(VMLoadableClass* cls);
  PointerSet seen;
  PointerStack pending;
};

}  // namespace classmodel

#endif
