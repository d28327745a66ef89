/* The two records the invocation interface shares with the host and with every Part of
   the machine: the JavaVM record of one machine and the JNIEnv record of one attached
   thread. Their layout is fixed now so that nothing moves when the invocation interface
   itself arrives; until then the few operations the runtime core needs of it are the
   stand-ins declared at the end of this file (vmjni_seams.cpp). */
#ifndef PUX_VMJNI_H
#define PUX_VMJNI_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmstatus.h"

/* One machine. Process memory, zero-filled at creation. */
struct JavaVM_ {
  const void* functions;        /* 0: the JavaVM function table */
  VM* vm;                       /* 1 */
  VMNameSpace* nameSpace;       /* 2: own or shared */
  VMword reserved3;             /* 3 */
  JavaVM_* next;                /* 4: the next record of the list of created machines */
  VMword reserved5;             /* 5 */
  char* name;                   /* 6: the record's copy of the creation name */
  HHeap* heap;                  /* 7: the machine's heap, stored by VM::CreateInstance */
  VMword debugWait;             /* 8: low byte, nonzero while creation waits for a debugger */
  VMword debuggerConnected;     /* 9: low byte */
  void* destroyCallbacks;       /* 10: head of the destroy-callback list */
};

/* One attachment of a host thread. Process memory, zero-filled at creation. */
struct JNIEnv_ {
  const void* functions;        /* 0: the JNIEnv function table */
  JavaVM_* javaVM;              /* 1 */
  VMThread* thread;             /* 2: null after detachment */
  VMword reserved3;             /* 3 */
  VMword debug;                 /* 4: low byte, nonzero while the thread runs under the debugger */
  VMword userWord;              /* 5: the thread's current class-loader id */
};

static_assert(sizeof(JavaVM_) == 11 * 4, "JavaVM record: eleven words");
static_assert(sizeof(JNIEnv_) == 6 * 4, "JNIEnv record: six words");

/* ---- stand-ins of the invocation interface (vmjni_seams.cpp) ----------------------
   The least the runtime core calls before the real interface exists. Each is marked as
   a seam where it is defined and is replaced, not extended, by the interface's issue. */

/* A zeroed env bound to the record (no function table yet); NULL when memory is short. */
JNIEnv* VMJniCreateEnv(JavaVM* javaVM);
/* Tells the host the calling thread now belongs to the machine with this env and
   attaches it (VM::AttachThread); 0, or -1 with the host binding undone. */
int VMJniAttachEnv(JavaVM* javaVM, JNIEnv* env);
/* Detaches the calling thread (VM::DetachThread), clears the host's env words and frees
   the env; 0 always. */
int VMJniDetachEnv(JavaVM* javaVM);
/* Create, attach and bind the given Thread object; 0 or -1. */
int VMJniAttachCurrentThreadWithObject(JavaVM* javaVM, JNIEnv** envOut, VMJavaLangThread* thread);
/* Makes a throwable of the status's exception class pending on the calling thread;
   0, or -1 when no class could be had. */
int VMJniThrowInternal(JNIEnv* env, VMStatus status, const char* message);

/* The JavaVM record's key/value list (word 10): process-memory nodes, newest first.
   Each key is a function that the machine's destruction calls with its value. */
typedef void (*VMJniDestroyKey)(void* value);
struct VMJniKeyValueNode {
  VMJniKeyValueNode* next;
  VMJniDestroyKey key;
  void* value;
};
/* The JavaVM table's add operation (slot 7), under the VM object's monitor: 0, or -1 for a
   null argument, a pair already listed, no monitor or no memory. */
int VMJniAddKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value);
/* The remove operation (slot 8): unlinks and frees the matching node; 0, or -1 when there
   is none or the monitor cannot be had. */
int VMJniRemoveKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value);
/* What the machine's destruction does last: calls every key with its value, then frees
   the nodes and clears the list. */
void VMJniCallDestroyKeys(JavaVM* javaVM);

/* Local references: an object kept in the thread's local handle array. */
class VMJniHandle {
 public:
  /* NULL for a NULL object or when the array cannot grow. */
  static jobject NewLocal(JNIEnv* env, VMObject* object);
  static VMObject* UnHandle(JNIEnv* env, jobject handle);
};
/* The env function of the same name (through the env's table once there is one). */
void VMJniDeleteLocalRef(JNIEnv* env, jobject handle);
/* The env function of the same name: zero or nonzero. */
jboolean VMJniGetBooleanField(JNIEnv* env, jobject object, void* fieldID);

#endif
