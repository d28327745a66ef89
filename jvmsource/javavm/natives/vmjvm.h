/* The exported support interface of the class-library natives (JVM_*): system
   properties, runtime services, class queries, Java threads on host threads and stack
   traces. Many natives are these entries themselves, so every entry takes its
   arguments exactly as a native of its row does: the env, then the receiver or class,
   then the Java arguments; the C convention like every native.

   An entry that is provided but not implemented reports "nyi: <name>" to the host's
   log and raises InternalError with the same text on the calling thread; it never ends
   the host's process. */
#ifndef PUX_VMJVM_H
#define PUX_VMJVM_H

#include "jnitypes.h"
#include "vmforward.h"

extern "C" {

/* ---- system properties ---- */
JNIEXPORT jobject JNICALL JVM_InitProperties(JNIEnv* env, jobject props);

/* ---- runtime services ---- */
JNIEXPORT void JNICALL JVM_Exit(jint code);
JNIEXPORT void JNICALL JVM_GC(void);
JNIEXPORT void JNICALL JVM_TraceInstructions(jboolean on);
JNIEXPORT void JNICALL JVM_TraceMethodCalls(jboolean on);
JNIEXPORT jlong JNICALL JVM_TotalMemory(void);
JNIEXPORT jlong JNICALL JVM_FreeMemory(void);
JNIEXPORT jboolean JNICALL JVM_IsSupportedJNIVersion(jint version);
JNIEXPORT jint JNICALL JVM_IHashCode(JNIEnv* env, jobject object);
JNIEXPORT jobject JNICALL JVM_Clone(JNIEnv* env, jobject object);
JNIEXPORT void JNICALL JVM_MonitorNotify(JNIEnv* env, jobject object);
JNIEXPORT void JNICALL JVM_MonitorNotifyAll(JNIEnv* env, jobject object);
JNIEXPORT void JNICALL JVM_MonitorWait(JNIEnv* env, jobject object, jlong ms);
JNIEXPORT void JNICALL JVM_JavaMonitorWait(JNIEnv* env, jobject object, jlong ms);
JNIEXPORT jstring JNICALL JVM_InternString(JNIEnv* env, jstring string);
JNIEXPORT jlong JNICALL JVM_CurrentTimeMillis(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL JVM_ArrayCopy(JNIEnv* env, jclass cls, jobject src, jint srcPos, jobject dst,
                                     jint dstPos, jint length);
JNIEXPORT jboolean JNICALL JVM_IsNaN(jdouble d);

/* ---- class queries ---- */
JNIEXPORT jstring JNICALL JVM_GetClassName(JNIEnv* env, jclass cls);
JNIEXPORT jobjectArray JNICALL JVM_GetClassInterfaces(JNIEnv* env, jclass cls);
JNIEXPORT jobject JNICALL JVM_GetClassLoader(JNIEnv* env, jclass cls);
JNIEXPORT jobject JNICALL JVM_NewInstance(JNIEnv* env, jclass cls);
JNIEXPORT jboolean JNICALL JVM_IsInterface(JNIEnv* env, jclass cls);
JNIEXPORT jboolean JNICALL JVM_IsArrayClass(JNIEnv* env, jclass cls);
JNIEXPORT jboolean JNICALL JVM_IsPrimitiveClass(JNIEnv* env, jclass cls);

/* ---- provided, not implemented ---- */
JNIEXPORT jint JNICALL JVM_ExecInternal(JNIEnv* env, jobjectArray command, jobjectArray environment);
JNIEXPORT void* JNICALL JVM_LoadLibrary(const char* name);
JNIEXPORT void JNICALL JVM_UnloadLibrary(void* handle);
JNIEXPORT void* JNICALL JVM_FindLibraryEntry(void* handle, const char* name);
JNIEXPORT jobjectArray JNICALL JVM_GetClassSigners(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL JVM_SetClassSigners(JNIEnv* env, jclass cls, jobjectArray signers);
JNIEXPORT void JNICALL JVM_InitializeCompiler(JNIEnv* env, jclass compilerClass);
JNIEXPORT jboolean JNICALL JVM_CompileClass(JNIEnv* env, jclass compilerClass, jclass cls);
JNIEXPORT jboolean JNICALL JVM_CompileClasses(JNIEnv* env, jclass compilerClass, jstring name);
JNIEXPORT jobject JNICALL JVM_CompilerCommand(JNIEnv* env, jclass compilerClass, jobject command);
JNIEXPORT void JNICALL JVM_EnableCompiler(JNIEnv* env, jclass compilerClass);
JNIEXPORT void JNICALL JVM_DisableCompiler(JNIEnv* env, jclass compilerClass);
JNIEXPORT jstring JNICALL JVM_GetSystemPackage(JNIEnv* env, jstring name);
JNIEXPORT jobjectArray JNICALL JVM_GetSystemPackages(JNIEnv* env);
JNIEXPORT jobjectArray JNICALL JVM_GetClassContext(JNIEnv* env);
JNIEXPORT jclass JNICALL JVM_CurrentLoadedClass(JNIEnv* env);
JNIEXPORT jobject JNICALL JVM_CurrentClassLoader(JNIEnv* env);
JNIEXPORT jint JNICALL JVM_ClassDepth(JNIEnv* env, jstring name);
JNIEXPORT jint JNICALL JVM_ClassLoaderDepth(JNIEnv* env);
JNIEXPORT jint JNICALL JVM_CountStackFrames(JNIEnv* env, jobject thread);

/* ---- Java threads ---- */
JNIEXPORT void JNICALL JVM_StartThread(JNIEnv* env, jobject thread);
JNIEXPORT void JNICALL JVM_StopThread(JNIEnv* env, jobject thread, jobject throwable);
JNIEXPORT jboolean JNICALL JVM_IsThreadAlive(JNIEnv* env, jobject thread);
JNIEXPORT void JNICALL JVM_SuspendThread(JNIEnv* env, jobject thread);
JNIEXPORT void JNICALL JVM_ResumeThread(JNIEnv* env, jobject thread);
JNIEXPORT void JNICALL JVM_SetThreadPriority(JNIEnv* env, jobject thread, jint priority);
JNIEXPORT void JNICALL JVM_Yield(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL JVM_Sleep(JNIEnv* env, jclass cls, jlong millis);
JNIEXPORT jobject JNICALL JVM_CurrentThread(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL JVM_Interrupt(JNIEnv* env, jobject thread);
JNIEXPORT jboolean JNICALL JVM_IsInterrupted(JNIEnv* env, jobject thread, jboolean clear);

/* ---- stack traces ---- */
JNIEXPORT void JNICALL JVM_FillInStackTrace(JNIEnv* env, jobject throwable);
JNIEXPORT void JNICALL JVM_PrintStackTrace(JNIEnv* env, jobject throwable, jobject stream);

/* ---- class reflection info (which: 0 the public view, 1 the declared view) ---- */
JNIEXPORT jobjectArray JNICALL JVM_GetClassFields(JNIEnv* env, jclass cls, jint which);
JNIEXPORT jobjectArray JNICALL JVM_GetClassMethods(JNIEnv* env, jclass cls, jint which);
JNIEXPORT jobjectArray JNICALL JVM_GetClassConstructors(JNIEnv* env, jclass cls, jint which);
JNIEXPORT jobject JNICALL JVM_GetClassField(JNIEnv* env, jclass cls, jstring name, jint which);
JNIEXPORT jobject JNICALL JVM_GetClassMethod(JNIEnv* env, jclass cls, jstring name, jobjectArray types,
                                             jint which);
JNIEXPORT jobject JNICALL JVM_GetClassConstructor(JNIEnv* env, jclass cls, jobjectArray types, jint which);
JNIEXPORT jclass JNICALL JVM_GetComponentType(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL JVM_GetClassModifiers(JNIEnv* env, jclass cls);
JNIEXPORT jobjectArray JNICALL JVM_GetDeclaredClasses(JNIEnv* env, jclass cls);
JNIEXPORT jclass JNICALL JVM_GetDeclaringClass(JNIEnv* env, jclass cls);
JNIEXPORT jclass JNICALL JVM_GetCallerClass(JNIEnv* env, jint depth);

/* ---- reflective invocation, privileged actions, class finders ---- */
JNIEXPORT jobject JNICALL JVM_InvokeMethod(JNIEnv* env, jobject method, jobject receiver, jobjectArray arguments);
/* The action's run() with its result; an exception it throws stays pending (wrapped in
   java.security.PrivilegedActionException when wrap is set and it is a checked one). */
JNIEXPORT jobject JNICALL JVM_DoPrivileged(JNIEnv* env, jclass cls, jobject action, jobject context, jboolean wrap);
JNIEXPORT jobject JNICALL JVM_GetInheritedAccessControlContext(JNIEnv* env, jclass cls);
JNIEXPORT jobject JNICALL JVM_GetStackAccessControlContext(JNIEnv* env, jclass cls);
JNIEXPORT jclass JNICALL JVM_FindClassFromClassLoader(JNIEnv* env, const char* name, jboolean initialize,
                                                      jobject loader, jboolean throwError);
JNIEXPORT jclass JNICALL JVM_FindPrimitiveClass(JNIEnv* env, const char* name);
JNIEXPORT void JNICALL JVM_SetProtectionDomain(JNIEnv* env, jclass cls, jobject domain);

/* provided, not implemented */
JNIEXPORT jobject JNICALL JVM_NewInstanceFromConstructor(JNIEnv* env, jobject constructor, jobjectArray arguments);
JNIEXPORT jobject JNICALL JVM_GetProtectionDomain(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL JVM_ResolveClass(JNIEnv* env, jclass cls);
JNIEXPORT jclass JNICALL JVM_FindLoadedClass(JNIEnv* env, jobject loader, jstring name);
JNIEXPORT jobject JNICALL JVM_GetField(JNIEnv* env, jobject field, jobject object);
JNIEXPORT jvalue JNICALL JVM_GetPrimitiveField(JNIEnv* env, jobject field, jobject object, unsigned char code);
JNIEXPORT void JNICALL JVM_SetField(JNIEnv* env, jobject field, jobject object, jobject value);
JNIEXPORT void JNICALL JVM_SetPrimitiveField(JNIEnv* env, jobject field, jobject object, jvalue value,
                                             unsigned char code);
JNIEXPORT jint JNICALL JVM_GetArrayLength(JNIEnv* env, jobject array);
JNIEXPORT jobject JNICALL JVM_GetArrayElement(JNIEnv* env, jobject array, jint index);
JNIEXPORT jvalue JNICALL JVM_GetPrimitiveArrayElement(JNIEnv* env, jobject array, jint index, jint code);
JNIEXPORT void JNICALL JVM_SetArrayElement(JNIEnv* env, jobject array, jint index, jobject value);
JNIEXPORT void JNICALL JVM_SetPrimitiveArrayElement(JNIEnv* env, jobject array, jint index, jvalue value,
                                                    unsigned char code);
JNIEXPORT jobject JNICALL JVM_NewArray(JNIEnv* env, jclass elementClass, jint length);
JNIEXPORT jobject JNICALL JVM_NewMultiArray(JNIEnv* env, jclass elementClass, jintArray dimensions);

/* ---- queries by index for a class-file verifier outside the machine ----
   Each takes a class handle after the env; a null handle or a class that is not a
   class-file class answers 0, false or NULL with nothing pending (JVM_GetClassNameUTF
   answers for every class). An index at or past the end of its table, or an entry of
   the wrong kind, raises IllegalArgumentException. Texts are modified UTF-8 in process
   memory, given back with JVM_ReleaseUTF. The buffers are the caller's, sized from the
   matching Length or Count query. */
JNIEXPORT const char* JNICALL JVM_GetClassNameUTF(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL JVM_GetClassFieldsCount(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL JVM_GetClassMethodsCount(JNIEnv* env, jclass cls);
JNIEXPORT jint JNICALL JVM_GetFieldIxModifiers(JNIEnv* env, jclass cls, jint fieldIndex);
JNIEXPORT jint JNICALL JVM_GetMethodIxModifiers(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT jint JNICALL JVM_GetMethodIxByteCodeLength(JNIEnv* env, jclass cls, jint methodIndex);
/* The code as the machine keeps it: after the load-time pass, so multi-byte operands are
   in host (little-endian) order, and run-time rewrites (quick opcodes 0xCB-0xD7,
   breakpoints 0xCA) may show. A class-file verifier must not read it as class-file code. */
JNIEXPORT void JNICALL JVM_GetMethodIxByteCode(JNIEnv* env, jclass cls, jint methodIndex, unsigned char* code);
JNIEXPORT jint JNICALL JVM_GetMethodIxLocalsCount(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT jint JNICALL JVM_GetMethodIxMaxStack(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT jint JNICALL JVM_GetMethodIxArgsSize(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT jint JNICALL JVM_GetMethodIxExceptionsCount(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT void JNICALL JVM_GetMethodIxExceptionIndexes(JNIEnv* env, jclass cls, jint methodIndex,
                                                       unsigned short* exceptions);
JNIEXPORT jint JNICALL JVM_GetMethodIxExceptionTableLength(JNIEnv* env, jclass cls, jint methodIndex);
/* One handler of a method's exception table. */
typedef struct {
  jint start_pc;
  jint end_pc;
  jint handler_pc;
  jint catchType; /* constant-pool index, 0 for any */
} JVMExceptionTableEntry;
JNIEXPORT void JNICALL JVM_GetMethodIxExceptionTableEntry(JNIEnv* env, jclass cls, jint methodIndex,
                                                          jint entryIndex, JVMExceptionTableEntry* entry);
JNIEXPORT const char* JNICALL JVM_GetMethodIxSignatureUTF(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT const char* JNICALL JVM_GetMethodIxNameUTF(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT jboolean JNICALL JVM_IsConstructorIx(JNIEnv* env, jclass cls, jint methodIndex);
JNIEXPORT jint JNICALL JVM_GetClassCPEntriesCount(JNIEnv* env, jclass cls);
JNIEXPORT void JNICALL JVM_GetClassCPTypes(JNIEnv* env, jclass cls, unsigned char* types);
JNIEXPORT const char* JNICALL JVM_GetCPClassNameUTF(JNIEnv* env, jclass cls, jint index);
JNIEXPORT const char* JNICALL JVM_GetCPFieldClassNameUTF(JNIEnv* env, jclass cls, jint index);
JNIEXPORT const char* JNICALL JVM_GetCPMethodClassNameUTF(JNIEnv* env, jclass cls, jint index);
JNIEXPORT const char* JNICALL JVM_GetCPFieldSignatureUTF(JNIEnv* env, jclass cls, jint index);
JNIEXPORT const char* JNICALL JVM_GetCPMethodSignatureUTF(JNIEnv* env, jclass cls, jint index);
JNIEXPORT const char* JNICALL JVM_GetCPMethodNameUTF(JNIEnv* env, jclass cls, jint index);
JNIEXPORT jint JNICALL JVM_GetCPFieldModifiers(JNIEnv* env, jclass cls, jint index, jclass calledClass);
JNIEXPORT jint JNICALL JVM_GetCPMethodModifiers(JNIEnv* env, jclass cls, jint index, jclass calledClass);
JNIEXPORT jboolean JNICALL JVM_IsSameClassPackage(JNIEnv* env, jclass cls1, jclass cls2);
JNIEXPORT void JNICALL JVM_ReleaseUTF(const char* utf);
JNIEXPORT jint JNICALL JVM_GetInterfaceVersion(void);

}  // extern "C"

/* ---- inside the machine ---- */

/* The machine thread behind a java.lang.Thread object: the thread of this machine
   whose env is the object's native-thread value; NULL when no attached thread has it.
   The value is only ever compared, never followed. */
VMThread* JVMGetVMThread(JNIEnv* env, jobject thread);
/* The native-thread value of the object (0 when none, or when the class library has no
   such field). */
VMword JVMGetThreadEnvField(JNIEnv* env, jobject thread);
/* Stores the value into the object's native-thread field (PrivateInfo below class-
   library version 2, the low word of eetop from 2 on); false when the field is missing. */
bool JVMSetThreadEnvField(JNIEnv* env, jobject thread, VMword value);
/* Stores to into the object's native-thread field when it holds from; false when it
   holds anything else or the field is missing. Allocates nothing. */
bool JVMMoveThreadEnvField(JNIEnv* env, VMObject* thread, VMword from, VMword to);

/* A thread the host attached is a member of the system group from the moment its Thread
   is made to its detach, and Java code counts and lists it there through JVMHostMembers.
   It stays out of the group's member array, which each attach and detach, and each start
   and end of a thread of the group, would copy whole. The join marks the record; a detach
   ends the membership with the record's env, and an attach again begins a new one.
   Allocates nothing. */
void JVMJoinGroupAtAttach(JNIEnv* env);
/* The Threads of the machine's threads that the host attached with a Thread of the
   machine's making, attached and alive now (the machine's own finalizer thread is none),
   stored into list (a Thread[]) from its start as far as it holds them: how many there are
   (list may be null, or hold fewer). 0 for any group but the machine's system group. Takes
   the name space's spin lock for a few records at a time; allocates nothing, runs no
   Java. */
jint JVMHostMembers(JNIEnv* env, jobject group, jobject list);

/* The changes of a java.lang.ThreadGroup's members (arrays built beforehand, stored whole
   over the array they were built from) and of its marks. */
enum JVMGroupChange {
  kGroupThreadStarts,  /* threads old -> now, one unstarted Thread less */
  kGroupThreadEnds,    /* threads old -> now */
  kGroupAddGroup,      /* groups old -> now */
  kGroupRemoveGroup,   /* groups old -> now */
  kGroupThreadMade,    /* one unstarted Thread more */
  kGroupDestroy,       /* destroyed, when it has no members */
  kGroupDestroyIdle    /* destroyed, when it has no members and no unstarted Thread */
};
/* Makes the change under the name space's spin lock, so that changes made at once by many
   threads never lose one another: false, with nothing changed, when the array is no longer
   old, when a destroyed group would gain a thread, a group or an unstarted Thread, or when
   a destroy finds what keeps the group (a look-up's exception may then be pending). Takes
   no other lock, allocates nothing once the ids are known, runs no Java. */
bool JVMChangeThreadGroup(JNIEnv* env, jobject group, JVMGroupChange change, jobject old, jobject now);

/* The method of the nearest frame with a method, starting skip caller links above the
   thread's current frame and passing over frames without one; NULL at the thread's
   first frame. */
VMMethod* JVMCallerMethod(JNIEnv* env, uint32_t skip);

/* One line of a stack trace: prefix and text handed to the stream's println(char[]) as
   one char array; nothing for a null text or a line that cannot be made. */
void JVMPrintStackTraceLine(JNIEnv* env, jobject stream, jmethodID println, const char* prefix,
                            const char* text);

/* The "nyi" report of an entry: the log line, then InternalError with the same text
   pending on the calling thread when it has an env. */
void JVMNotImplemented(JNIEnv* env, const char* name);

#endif
