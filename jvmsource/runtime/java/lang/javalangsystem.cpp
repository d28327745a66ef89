/* The natives of java.lang.System and java.lang.Runtime: the standard streams, identity
   hashes, properties, the caller's class, library names, exit, heap figures and
   collection. Nothing here reaches the operating system but through the host. */
#include <string.h>

#include "javalang.h"
#include "registration.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjvm.h"
#include "vmjvm_ids.h"
#include "vmutils.h"

namespace {

JNIHostFunctions* Host() { return VMUtils::GetHostFunctions(); }

/* ---- java/lang/System ---- */

void SetStream(JNIEnv* env, jclass system, jfieldID field, jobject stream) {
  // Without the field its look-up's exception is the answer.
  if (field == NULL) return;
  env->functions->SetStaticObjectField(env, system, field, stream);
}

void JNICALL SystemSetIn0(JNIEnv* env, jclass system, jobject in) { SetStream(env, system, JVMFieldSystemIn(env), in); }

void JNICALL SystemSetOut0(JNIEnv* env, jclass system, jobject out) {
  SetStream(env, system, JVMFieldSystemOut(env), out);
}

void JNICALL SystemSetErr0(JNIEnv* env, jclass system, jobject err) {
  SetStream(env, system, JVMFieldSystemErr(env), err);
}

jint JNICALL SystemIdentityHashCode(JNIEnv* env, jclass, jobject object) { return JVM_IHashCode(env, object); }

jobject JNICALL SystemInitProperties(JNIEnv* env, jclass, jobject props) { return JVM_InitProperties(env, props); }

jclass JNICALL SystemGetCallerClass(JNIEnv* env, jclass) { return JVM_GetCallerClass(env, 2); }

/* A new String of the name and ".dll"; nothing is interned, so names Java code makes up
   never grow the name space's tables. */
jstring JNICALL SystemMapLibraryName(JNIEnv* env, jclass, jstring name) {
  char* text = javalang::TextOf(env, name);
  if (text == NULL) return NULL;
  size_t length = strlen(text);
  char* joined = length < 0x7FFFFFF0u ? (char*)Host()->HeapAlloc(NULL, (uint32_t)length + 5, jallocFailFast) : NULL;
  VMJavaLangString* result = NULL;
  if (joined != NULL) {
    memcpy(joined, text, length);
    memcpy(joined + length, ".dll", 5);
    result = VMJavaLangString::CreateInstance(env, joined);
    Host()->HeapFree(NULL, joined);
  }
  VMJavaLangString::FreeUTF8(text);
  if (result == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)result);
}

void JNICALL SystemRegisterNatives(JNIEnv*, jclass) { Register_java_lang_System(); }

const JNINativeMethod kSystem[] = {
    PUX_NATIVE("setIn0", "(Ljava/io/InputStream;)V", SystemSetIn0),
    PUX_NATIVE("setOut0", "(Ljava/io/PrintStream;)V", SystemSetOut0),
    PUX_NATIVE("setErr0", "(Ljava/io/PrintStream;)V", SystemSetErr0),
    PUX_NATIVE("currentTimeMillis", "()J", JVM_CurrentTimeMillis),
    PUX_NATIVE("arraycopy", "(Ljava/lang/Object;ILjava/lang/Object;II)V", JVM_ArrayCopy),
    PUX_NATIVE("identityHashCode", "(Ljava/lang/Object;)I", SystemIdentityHashCode),
    PUX_NATIVE("initProperties", "(Ljava/util/Properties;)Ljava/util/Properties;", SystemInitProperties),
    PUX_NATIVE("getCallerClass", "()Ljava/lang/Class;", SystemGetCallerClass),
    PUX_NATIVE("mapLibraryName", "(Ljava/lang/String;)Ljava/lang/String;", SystemMapLibraryName),
    PUX_NATIVE("registerNatives", "()V", SystemRegisterNatives),
};

/* ---- java/lang/Runtime ---- */

/* The host ends the process. A host that keeps running gets the calling thread back with
   ThreadDeath pending, so the Java code after exit() never runs. */
void JNICALL RuntimeExitInternal(JNIEnv* env, jobject, jint status) {
  Host()->FatalExit(status, NULL);
  VMJniThrowInternal(env, VMStatus_ThreadDeath, NULL);
}

void JNICALL RuntimeRunFinalizersOnExit0(JNIEnv* env, jclass, jboolean value) {
  VM* vm = javalang::MachineOf(env);
  if (vm == NULL) return;
  if (value)
    vm->SetRunFinalizersOnExit();
  else
    vm->ClearRunFinalizersOnExit();
}

/* No process is ever started: the class library turns the null into IOException. */
jobject JNICALL RuntimeExecInternal(JNIEnv* env, jobject, jobjectArray command, jobjectArray) {
  VMObject* array = VMJniHandle::UnHandle(env, command);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  if (!array->GetHasClass() || !array->GetClass()->GetIsArray() || ((VMArray*)array)->GetSize() == 0) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return NULL;
  }
  return NULL;
}

/* The machine's heap as the host counts it; free is what is not in use, never below 0
   however the host's two answers fall. */
jlong JNICALL RuntimeFreeMemory(JNIEnv* env, jobject) {
  VM* vm = javalang::MachineOf(env);
  if (vm == NULL) return 0;
  uint64_t total = Host()->HeapTotalBytes(vm->GetHeap());
  uint64_t used = Host()->HeapBytesInUse(vm->GetHeap());
  uint64_t left = used < total ? total - used : 0;
  return left > (uint64_t)INT64_MAX ? INT64_MAX : (jlong)left;
}

jlong JNICALL RuntimeTotalMemory(JNIEnv* env, jobject) {
  VM* vm = javalang::MachineOf(env);
  if (vm == NULL) return 0;
  uint64_t total = Host()->HeapTotalBytes(vm->GetHeap());
  return total > (uint64_t)INT64_MAX ? INT64_MAX : (jlong)total;
}

/* gc, runFinalization and runFinalization0: one full collection. */
void JNICALL RuntimeGc(JNIEnv* env, jobject) {
  if (VM* vm = javalang::MachineOf(env)) vm->GarbageCollect(false);
}

void JNICALL RuntimeTrace(JNIEnv*, jobject, jboolean) {}

jstring JNICALL RuntimeInitializeLinkerInternal(JNIEnv* env, jobject) {
  VMJavaLangString* result = VMJavaLangString::CreateInstance(env, ";");
  if (result == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)result);
}

jstring JNICALL RuntimeBuildLibName(JNIEnv* env, jobject, jstring path, jstring name) {
  if (path == NULL || name == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  return name;
}

/* 1 for the exact names of the libraries whose natives the machine has. */
jint JNICALL RuntimeLoadFileInternal(JNIEnv* env, jobject, jstring path) {
  char* text = javalang::TextOf(env, path);
  if (text == NULL) return 0;
  jint known = strcmp(text, "math") == 0 || strcmp(text, "net") == 0 || strcmp(text, "zip") == 0 ? 1 : 0;
  VMJavaLangString::FreeUTF8(text);
  return known;
}

const JNINativeMethod kRuntime[] = {
    PUX_NATIVE("exitInternal", "(I)V", RuntimeExitInternal),
    PUX_NATIVE("runFinalizersOnExit0", "(Z)V", RuntimeRunFinalizersOnExit0),
    PUX_NATIVE("execInternal", "([Ljava/lang/String;[Ljava/lang/String;)Ljava/lang/Process;", RuntimeExecInternal),
    PUX_NATIVE("freeMemory", "()J", RuntimeFreeMemory),
    PUX_NATIVE("totalMemory", "()J", RuntimeTotalMemory),
    PUX_NATIVE("gc", "()V", RuntimeGc),
    PUX_NATIVE("runFinalization", "()V", RuntimeGc),
    PUX_NATIVE("traceInstructions", "(Z)V", RuntimeTrace),
    PUX_NATIVE("traceMethodCalls", "(Z)V", RuntimeTrace),
    PUX_NATIVE("initializeLinkerInternal", "()Ljava/lang/String;", RuntimeInitializeLinkerInternal),
    PUX_NATIVE("buildLibName", "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", RuntimeBuildLibName),
    PUX_NATIVE("loadFileInternal", "(Ljava/lang/String;)I", RuntimeLoadFileInternal),
    PUX_NATIVE("runFinalization0", "()V", RuntimeGc),
};

}  // namespace

void Register_java_lang_System(void) { JNI_RegisterNative("java/lang/System", kSystem, PUX_ROWS(kSystem)); }

void Register_java_lang_Runtime(void) { JNI_RegisterNative("java/lang/Runtime", kRuntime, PUX_ROWS(kRuntime)); }
