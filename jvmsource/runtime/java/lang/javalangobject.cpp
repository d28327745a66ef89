/* The natives of java.lang.Object, SecurityManager, String, Throwable and Package. The
   security manager's natives look at the classes of the Java frames of the calling
   thread, innermost first. */
#include <string.h>

#include "javalang.h"
#include "registration.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjvm.h"

namespace {

/* ---- java/lang/Object ---- */

jclass JNICALL ObjectGetClass(JNIEnv* env, jobject self) {
  VMObject* object = VMJniHandle::UnHandle(env, self);
  if (object == NULL || (object->GetFlags() & VMFLAG_KIND) != VMFLAG_KIND_CLASS) return NULL;
  return (jclass)VMJniHandle::NewLocal(env, (VMObject*)object->GetClass());
}

void JNICALL ObjectRegisterNatives(JNIEnv*, jclass) { Register_java_lang_Object(); }

const JNINativeMethod kObject[] = {
    PUX_NATIVE("getClass", "()Ljava/lang/Class;", ObjectGetClass),
    PUX_NATIVE("hashCode", "()I", JVM_IHashCode),
    PUX_NATIVE("clone", "()Ljava/lang/Object;", JVM_Clone),
    PUX_NATIVE("notify", "()V", JVM_MonitorNotify),
    PUX_NATIVE("notifyAll", "()V", JVM_MonitorNotifyAll),
    PUX_NATIVE("wait", "(J)V", JVM_JavaMonitorWait),
    PUX_NATIVE("registerNatives", "()V", ObjectRegisterNatives),
};

/* ---- java/lang/SecurityManager ---- */

/* The classes of the calling thread's Java frames; NULL without a thread or a frame. */
VMClassArray* ClassContext(JNIEnv* env) {
  VMThread* thread = env != NULL ? env->thread : NULL;
  VMFrame* frame = thread != NULL ? thread->GetFrame() : NULL;
  return frame != NULL ? frame->GetClassContext() : NULL;
}

jobjectArray JNICALL SecurityManagerGetClassContext(JNIEnv* env, jobject) {
  return (jobjectArray)VMJniHandle::NewLocal(env, ClassContext(env));
}

/* The first class of the context whose loader counts, with its depth and loader. Below
   class-library version 2 every loader counts; from 2 on the system class loader does
   not (asked of ClassLoader.getSystemClassLoader(); a library without that method has
   none, and every loader counts). */
struct LoaderWalk {
  jint depth = -1;
  jclass cls = NULL;
  jobject loader = NULL;
};

LoaderWalk WalkLoaders(JNIEnv* env) {
  LoaderWalk found;
  VMNameSpace* ns = javalang::NameSpaceOf(env);
  VMClassArray* context = ClassContext(env);
  if (ns == NULL || context == NULL) return found;
  jobject contextHandle = VMJniHandle::NewLocal(env, context);
  const bool newer = ns->GetLibraryVersion() >= 2;
  jobject system = NULL;
  bool systemAsked = false;
  for (uint32_t i = 0; i < context->GetSize(); i++) {
    jclass cls = (jclass)VMJniHandle::NewLocal(env, (VMObject*)context->Get(i));
    jobject loader = cls != NULL ? JVM_GetClassLoader(env, cls) : NULL;
    bool counts = loader != NULL;
    if (counts && newer) {
      if (!systemAsked) {
        systemAsked = true;
        jclass loaderClass = env->functions->FindClass(env, "java/lang/ClassLoader");
        jmethodID get = loaderClass != NULL ? env->functions->GetStaticMethodID(env, loaderClass, "getSystemClassLoader",
                                                                                "()Ljava/lang/ClassLoader;")
                                            : NULL;
        system = get != NULL ? env->functions->CallStaticObjectMethod(env, loaderClass, get) : NULL;
        if (get == NULL) env->thread->SetException(NULL);
        if (loaderClass != NULL) env->functions->DeleteLocalRef(env, loaderClass);
      }
      counts = system == NULL || !env->functions->IsSameObject(env, loader, system);
    }
    if (counts) {
      found.depth = (jint)i;
      found.cls = cls;
      found.loader = loader;
      break;
    }
    if (loader != NULL) env->functions->DeleteLocalRef(env, loader);
    if (cls != NULL) env->functions->DeleteLocalRef(env, cls);
  }
  if (system != NULL) env->functions->DeleteLocalRef(env, system);
  if (contextHandle != NULL) env->functions->DeleteLocalRef(env, contextHandle);
  if (found.depth >= 0 && newer) found.depth++;
  return found;
}

jobject JNICALL SecurityManagerCurrentClassLoader(JNIEnv* env, jobject) {
  LoaderWalk found = WalkLoaders(env);
  if (found.cls != NULL) env->functions->DeleteLocalRef(env, found.cls);
  return found.loader;
}

jint JNICALL SecurityManagerClassLoaderDepth(JNIEnv* env, jobject) {
  LoaderWalk found = WalkLoaders(env);
  if (found.cls != NULL) env->functions->DeleteLocalRef(env, found.cls);
  if (found.loader != NULL) env->functions->DeleteLocalRef(env, found.loader);
  return found.depth;
}

jclass JNICALL SecurityManagerCurrentLoadedClass0(JNIEnv* env, jobject) {
  LoaderWalk found = WalkLoaders(env);
  if (found.loader != NULL) env->functions->DeleteLocalRef(env, found.loader);
  return found.cls;
}

/* The depth of the first frame whose class has the dotted name; -1 when none has it (or
   the thread has no frame: "found" must never be the answer by default). */
jint JNICALL SecurityManagerClassDepth(JNIEnv* env, jobject, jstring name) {
  char* text = javalang::TextOf(env, name);
  if (text == NULL) return -1;
  VMClassArray* context = ClassContext(env);
  jint depth = -1;
  for (uint32_t i = 0; context != NULL && i < context->GetSize() && depth < 0; i++) {
    VMClass* cls = context->Get(i);
    char* dotted = cls != NULL ? cls->GetDotNameUTF8() : NULL;
    if (dotted != NULL && strcmp(dotted, text) == 0) depth = (jint)i;
    VMJavaLangString::FreeUTF8(dotted);
  }
  VMJavaLangString::FreeUTF8(text);
  return depth;
}

const JNINativeMethod kSecurityManager[] = {
    PUX_NATIVE("getClassContext", "()[Ljava/lang/Class;", SecurityManagerGetClassContext),
    PUX_NATIVE("currentClassLoader", "()Ljava/lang/ClassLoader;", SecurityManagerCurrentClassLoader),
    PUX_NATIVE("currentClassLoader0", "()Ljava/lang/ClassLoader;", SecurityManagerCurrentClassLoader),
    PUX_NATIVE("classDepth", "(Ljava/lang/String;)I", SecurityManagerClassDepth),
    PUX_NATIVE("classLoaderDepth", "()I", SecurityManagerClassLoaderDepth),
    PUX_NATIVE("classLoaderDepth0", "()I", SecurityManagerClassLoaderDepth),
    PUX_NATIVE("currentLoadedClass0", "()Ljava/lang/Class;", SecurityManagerCurrentLoadedClass0),
};

/* ---- java/lang/String ---- */

const JNINativeMethod kString[] = {
    PUX_NATIVE("intern", "()Ljava/lang/String;", JVM_InternString),
};

/* ---- java/lang/Throwable ---- */

void JNICALL ThrowablePrintStackTrace0(JNIEnv* env, jobject self, jobject stream) {
  JVM_PrintStackTrace(env, self, stream);
}

jobject JNICALL ThrowableFillInStackTrace(JNIEnv* env, jobject self) {
  JVM_FillInStackTrace(env, self);
  return self;
}

const JNINativeMethod kThrowable[] = {
    PUX_NATIVE("printStackTrace0", "(Ljava/lang/Object;)V", ThrowablePrintStackTrace0),
    PUX_NATIVE("fillInStackTrace", "()Ljava/lang/Throwable;", ThrowableFillInStackTrace),
};

/* ---- java/lang/Package: no package is the system's ---- */

jstring JNICALL PackageGetSystemPackage0(JNIEnv*, jclass, jstring) { return NULL; }

jobjectArray JNICALL PackageGetSystemPackages0(JNIEnv*, jclass) { return NULL; }

const JNINativeMethod kPackage[] = {
    PUX_NATIVE("getSystemPackage0", "(Ljava/lang/String;)Ljava/lang/String;", PackageGetSystemPackage0),
    PUX_NATIVE("getSystemPackages0", "()[Ljava/lang/String;", PackageGetSystemPackages0),
};

}  // namespace

void Register_java_lang_Object(void) { JNI_RegisterNative("java/lang/Object", kObject, PUX_ROWS(kObject)); }

void Register_java_lang_SecurityManager(void) {
  JNI_RegisterNative("java/lang/SecurityManager", kSecurityManager, PUX_ROWS(kSecurityManager));
}

void Register_java_lang_String(void) { JNI_RegisterNative("java/lang/String", kString, PUX_ROWS(kString)); }

void Register_java_lang_Throwable(void) {
  JNI_RegisterNative("java/lang/Throwable", kThrowable, PUX_ROWS(kThrowable));
}

void Register_java_lang_Package(void) { JNI_RegisterNative("java/lang/Package", kPackage, PUX_ROWS(kPackage)); }
