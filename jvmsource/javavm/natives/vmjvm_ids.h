/* The class-library members the support interface and the java.lang natives use by id:
   the ids the name space's natives' cache hands out (a member id is the same handle for
   the life of the name space, whoever asks). 0 when the class or the member is missing,
   with the look-up's exception (NoSuchFieldError, NoSuchMethodError, or the class's)
   pending. */
#ifndef PUX_VMJVM_IDS_H
#define PUX_VMJVM_IDS_H

#include "jnitypes.h"
#include "vmforward.h"

/* java/lang/Thread: the native-thread field (PrivateInfo below class-library version 2,
   eetop from 2 on), group, priority, name, inheritableThreadLocals, and exit(). */
jfieldID JVMFieldThreadNative(JNIEnv* env);
jfieldID JVMFieldThreadGroup(JNIEnv* env);
jfieldID JVMFieldThreadPriority(JNIEnv* env);
jfieldID JVMFieldThreadName(JNIEnv* env);
jfieldID JVMFieldThreadInheritableThreadLocals(JNIEnv* env);
jmethodID JVMMethodThreadExit(JNIEnv* env);
/* The static counter of java/lang/Thread's automatic names. */
jfieldID JVMFieldThreadInitNumber(JNIEnv* env);
/* java/lang/ThreadGroup.uncaughtException(Thread, Throwable). */
jmethodID JVMMethodThreadGroupUncaughtException(JNIEnv* env);
/* java/lang/ThreadGroup's members and their marks, which change under the name space's
   lock: threads, groups, destroyed and unstarted; and add(Thread) and remove(Thread). */
jfieldID JVMFieldThreadGroupThreads(JNIEnv* env);
jfieldID JVMFieldThreadGroupGroups(JNIEnv* env);
jfieldID JVMFieldThreadGroupDestroyed(JNIEnv* env);
jfieldID JVMFieldThreadGroupUnstarted(JNIEnv* env);
jmethodID JVMMethodThreadGroupAdd(JNIEnv* env);
jmethodID JVMMethodThreadGroupRemove(JNIEnv* env);
/* java/util/Properties.put(Object, Object). */
jmethodID JVMMethodPropertiesPut(JNIEnv* env);
/* The static fields in, out and err of java/lang/System. */
jfieldID JVMFieldSystemIn(JNIEnv* env);
jfieldID JVMFieldSystemOut(JNIEnv* env);
jfieldID JVMFieldSystemErr(JNIEnv* env);
/* java/lang/ClassLoader$NativeLibrary.handle. */
jfieldID JVMFieldNativeLibraryHandle(JNIEnv* env);

/* What an id names: the field or method, NULL for 0 and for an id of anything else. */
VMDataMember* JVMFieldOf(JNIEnv* env, jfieldID id);
VMMethod* JVMMethodOf(JNIEnv* env, jmethodID id);

#endif
