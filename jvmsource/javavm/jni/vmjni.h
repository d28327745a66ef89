/* The invocation interface's records and the operations the rest of the machine uses of
   the native interface: the JavaVM record of one machine, the JNIEnv record of one
   attachment, reference handles, and turning a status into a pending exception.

   The env and JavaVM function tables are typed in jni.h; their functions are declared in
   vmjni_functions.h and the tables themselves are in vmjni_table.cpp. */
#ifndef PUX_VMJNI_H
#define PUX_VMJNI_H

#include "jnitypes.h"
#include "vmforward.h"
#include "vmstatus.h"

/* One machine. Process memory, zero-filled at creation. */
struct JavaVM_ {
  const JNIInvokeInterface_* functions; /* 0: the JavaVM function table */
  VM* vm;                       /* 1 */
  VMNameSpace* nameSpace;       /* 2: own or shared */
  VMword attaching;             /* 3: attaches under way (BeginAttach), under the global mutex */
  JavaVM_* next;                /* 4: the next record of the list of created machines */
  VMword terminating;           /* 5: set under the global mutex by whoever takes the machine down */
  char* name;                   /* 6: the record's copy of the creation name */
  HHeap* heap;                  /* 7: the machine's heap, stored by VM::CreateInstance */
  VMword debugWait;             /* 8: low byte, nonzero while creation waits for a debugger */
  VMword debuggerConnected;     /* 9: low byte */
  void* destroyCallbacks;       /* 10: head of the destroy-callback list */
};

/* One attachment of a host thread. Process memory, zero-filled at creation. */
struct JNIEnv_ {
  const JNINativeInterface_* functions; /* 0: the JNIEnv function table */
  JavaVM_* javaVM;              /* 1 */
  VMThread* thread;             /* 2: null after detachment */
  VMword streamStamp;           /* 3: the attachment's mark on the compression streams it makes, 0 before */
  VMword debug;                 /* 4: low byte, nonzero while the thread runs under the debugger */
  VMword userWord;              /* 5: the thread's current class-loader id */
};

static_assert(sizeof(JavaVM_) == 11 * 4, "JavaVM record: eleven words");
static_assert(sizeof(JNIEnv_) == 6 * 4, "JNIEnv record: six words");

/* The two tables every record points to. */
extern const JNINativeInterface_ VMJniEnvFunctionTable;
extern const JNIInvokeInterface_ VMJniInvokeFunctionTable;

/* ---- creation, attachment and detachment ---- */

/* A zeroed env bound to the record, pointing at the env table; NULL when memory is short. */
JNIEnv* VMJniCreateEnv(JavaVM* javaVM);
/* Tells the host the calling thread now belongs to the machine with this env and
   attaches it (VM::AttachThread); 0, or -1 with the host's binding of the thread undone.
   The env is not freed. *displaced (when given) as VM::AttachThread gives it. */
int VMJniAttachEnv(JavaVM* javaVM, JNIEnv* env, JNIEnv** displaced = NULL);
/* The calling thread's java.lang.Thread object, unless the name space serves a compiler
   or the machine's threads are off; 0 or -1. */
int VMJniCreateJavaLangThread(JavaVM* javaVM, JNIEnv* env);
/* Create and bind an env without a java.lang.Thread object; 0 or -1 with nothing left. */
int VMJniAttachCurrentThreadNoObject(JavaVM* javaVM, JNIEnv** envOut, void* ignored);
/* Create, attach and bind the given Thread object; 0 or -1 with nothing left. */
int VMJniAttachCurrentThreadWithObject(JavaVM* javaVM, JNIEnv** envOut, VMJavaLangThread* thread);
/* Detaches the calling thread from the record's machine, empties its local references
   and frees its env; 0 always. The host's binding of the thread stays (VMJniClearHostEnv). */
int VMJniDetachEnv(JavaVM* javaVM);
void VMJniClearHostEnv();
/* Waits, 300 ms at a time, while creation is to wait for a debugger: the agent that
   connected, or NULL when the wait was released. */
VMDebugger* VMJniWaitForDebugger(JavaVM* javaVM);

/* ---- destruction ---- */

/* Removes the record from the list of created machines, under the global mutex; 0, or
   -1 when the record is not on it. */
int VMJniUnlinkJavaVM(JavaVM* javaVM);
/* Calls every destroy callback with its context in order of registration, then frees
   the nodes. */
void VMJniRunDestroyCallbacks(JavaVM* javaVM);

/* The destroy-callback list of the JavaVM record (word 10): process-memory nodes in
   order of registration. */
typedef JNIDestroyCallback VMJniDestroyKey;
struct VMJniKeyValueNode {
  VMJniKeyValueNode* next;
  VMJniDestroyKey key;
  void* value;
};
/* Slot 7 under the record's machine monitor (re-entrant): 0, or -1 for a null argument,
   a pair already listed, no monitor or no memory. */
int VMJniAddKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value);
/* Slot 8: unlinks and frees the matching node without calling it; 0, or -1. */
int VMJniRemoveKeyValue(JavaVM* javaVM, VMJniDestroyKey key, void* value);
/* The older name of VMJniRunDestroyCallbacks. */
inline void VMJniCallDestroyKeys(JavaVM* javaVM) { VMJniRunDestroyCallbacks(javaVM); }

/* ---- exceptions ---- */

/* Makes a throwable of the status's exception class pending on the calling thread, with
   the message as its detail message; 0, or -1 when no throwable could be made (the
   pending exception is then left as it was). Statuses 0 and 1 (nothing, or a Java
   exception already pending) change nothing and answer 0. */
int VMJniThrowInternal(JNIEnv* env, VMStatus status, const char* message);
/* A new throwable of the class with the message, pending; 0 or -1 (nothing changed). */
int VMJniThrowNew(JNIEnv* env, VMLoadableClass* cls, const char* message);
/* InternalError "nyi: ..." pending: the body of every table slot nothing fills yet. */
void VMJniNotImplemented(JNIEnv* env, const char* message);
/* Texts in process memory (HeapFree with no heap), NULL when none can be made:
   "java.lang.X: message", with a nested throwable's description in "( ... )". */
char* VMJniGetThrowableDescription(VMNameSpace* ns, VMObject* throwable);
/* Frame index of the throwable's backtrace as "pkg.Class.method(File.java:N)", "native
   code", or NULL past the end. */
char* VMJniGetThrowableStackLine(VMObject* throwable, jint index);
/* first + second + third in a new block; frees first and third (second stays the
   caller's). When no block can be had, first comes back as it was. */
char* VMJniConcatText(char* first, const char* second, char* third);

/* ---- reference handles ----
   A handle's low 29 bits index one of four arrays, chosen by its top bits: bit 29 the
   name space's member ids, bit 31 the name space's globals (objects on a name-space
   heap), bit 30 the machine's globals, none the calling thread's locals. 0 is null. */
class VMJniHandle {
 public:
  enum : uint32_t {
    IndexMask = 0x1FFFFFFFu,
    MemberIdTag = 0x20000000u,
    MachineGlobalTag = 0x40000000u,
    NameSpaceGlobalTag = 0x80000000u
  };
  /* The object a handle names; NULL for 0, a deleted slot or an index beyond the array. */
  static VMObject* UnHandle(JNIEnv* env, jobject handle);
  /* The array the handle's tag selects; *handle becomes the bare index. */
  static VMObjectHandleArray* GetHandleArray(JNIEnv* env, uint32_t* handle);
  /* NULL for a NULL object; on a full array that cannot grow, OutOfMemoryError pending. */
  static jobject NewLocal(JNIEnv* env, VMObject* object);
  static jobject NewGlobal(JNIEnv* env, VMObject* object);
  /* One id per member for the life of the name space. */
  static jobject NewFieldID(JNIEnv* env, VMObject* member);
  /* Empties the handle's slot; member ids are never deleted. */
  static void Delete(JNIEnv* env, jobject handle);
  static void DeleteLocal(JNIEnv* env, jobject handle) { Delete(env, handle); }
  /* marks[0..2] := the used counts of the name-space globals, the machine globals and the
     calling thread's locals. */
  static bool GetHighWaterMarks(JNIEnv* env, jint* marks);
  /* Truncates locals (kind 0) or both global arrays (kind 1) back to the marks. */
  static bool DeleteRefs(JNIEnv* env, const jint* marks, jint kind);
  static void Lock(JNIEnv* env, VMObjectHandleArray* array, bool wait);
  static void UnLock(JNIEnv* env);

 private:
  friend class HandleTestAccess;
  /* As though the calling thread had made n more globals: a test's way to a thread's
     stamps of many years without making them. */
  static void AdvanceStamps(JNIEnv* env, uint64_t n);
};
/* The class descriptor a handle names; NULL for 0 and for any other object. */
VMClass* VMJniUnHandleClass(JNIEnv* env, jobject handle);

/* ---- still to come with the field functions and the natives' cache ---- */
/* The env function of the same name: zero or nonzero. The field id is the stand-in
   cache's (the field's instance word plus one). */
jboolean VMJniGetBooleanField(JNIEnv* env, jobject object, void* fieldID);

#endif
