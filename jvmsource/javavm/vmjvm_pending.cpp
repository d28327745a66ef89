/* The reflection entries that java.lang.Class's table names and reflection builds: each
   reports "nyi: <name>" and raises InternalError until then. JVM_GetCallerClass is the
   exception: the System and ClassLoader natives need it now.

   To build one: define it in a file of its own and delete its line here. */
#include "vmjvm.h"

#include "vmclass.h"
#include "vmjni.h"

jobjectArray JNICALL JVM_GetClassFields(JNIEnv* env, jclass, jint) { JVMNotImplemented(env, "JVM_GetClassFields"); return NULL; }
jobjectArray JNICALL JVM_GetClassMethods(JNIEnv* env, jclass, jint) { JVMNotImplemented(env, "JVM_GetClassMethods"); return NULL; }
jobjectArray JNICALL JVM_GetClassConstructors(JNIEnv* env, jclass, jint) { JVMNotImplemented(env, "JVM_GetClassConstructors"); return NULL; }
jobject JNICALL JVM_GetClassField(JNIEnv* env, jclass, jstring, jint) { JVMNotImplemented(env, "JVM_GetClassField"); return NULL; }
jobject JNICALL JVM_GetClassMethod(JNIEnv* env, jclass, jstring, jobjectArray, jint) { JVMNotImplemented(env, "JVM_GetClassMethod"); return NULL; }
jobject JNICALL JVM_GetClassConstructor(JNIEnv* env, jclass, jobjectArray, jint) { JVMNotImplemented(env, "JVM_GetClassConstructor"); return NULL; }
jclass JNICALL JVM_GetComponentType(JNIEnv* env, jclass) { JVMNotImplemented(env, "JVM_GetComponentType"); return NULL; }
jint JNICALL JVM_GetClassModifiers(JNIEnv* env, jclass) { JVMNotImplemented(env, "JVM_GetClassModifiers"); return 0; }
jobjectArray JNICALL JVM_GetDeclaredClasses(JNIEnv* env, jclass) { JVMNotImplemented(env, "JVM_GetDeclaredClasses"); return NULL; }
jclass JNICALL JVM_GetDeclaringClass(JNIEnv* env, jclass) { JVMNotImplemented(env, "JVM_GetDeclaringClass"); return NULL; }

/* The class of the nearest Java frame above the calling native's own; the depth is not
   looked at. 0 when no Java frame lies between it and the thread's first frame. */
jclass JNICALL JVM_GetCallerClass(JNIEnv* env, jint) {
  VMMethod* caller = JVMCallerMethod(env, 1);
  return caller != NULL ? (jclass)VMJniHandle::NewLocal(env, (VMObject*)caller->GetDefinedIn()) : NULL;
}
