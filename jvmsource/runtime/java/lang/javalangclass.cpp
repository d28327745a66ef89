/* The natives of java.lang.Class, java.lang.ClassLoader and
   java.lang.ClassLoader$NativeLibrary. Most Class rows are support-interface entries
   themselves. */
#include <string.h>

#include "javalang.h"
#include "registration.h"
#include "vmclass.h"
#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjvm.h"
#include "vmjvm_ids.h"
#include "vmliteral.h"

namespace {

VMClass* ClassArgument(JNIEnv* env, jobject handle) { return VMJniUnHandleClass(env, handle); }

/* The detail message of the pending exception as modified UTF-8 (to free with
   FreeUTF8); NULL when nothing is pending or it has no message. */
char* PendingMessage(JNIEnv* env) {
  VMJavaLangThrowable* pending = env->thread->GetException();
  if (pending == NULL || !pending->GetHasClass()) return NULL;
  VMLoadableClass* cls = pending->GetLoadableClass();
  if (!VMJavaLangThrowable::LayoutFits(cls, VMJavaLangThrowable::Words)) return NULL;
  VMObject* message = (VMObject*)pending->GetMessage();
  VMNameSpace* ns = javalang::NameSpaceOf(env);
  if (message == NULL || !message->GetHasClass() ||
      message->GetClass() != (VMClass*)ns->GetClassList()->GetStringClass())
    return NULL;
  return ((VMJavaLangString*)message)->MakeUTF8();
}

/* Replaces the pending exception with one of the class with the message. */
void Replace(JNIEnv* env, VMLoadableClass* cls, const char* message) {
  env->thread->SetException(NULL);
  if (cls == NULL || VMJniThrowNew(env, cls, message) != 0)
    VMJniThrowInternal(env, VMStatus_ClassNotFoundException, message);
}

/* Whether the class file of the class was read. No class file is ClassNotFoundException
   naming what was asked for; a class file that is there but cannot be read keeps its own
   error. */
bool Loaded(JNIEnv* env, VMLoadableClass* cls, const char* asked) {
  VMStatus status = cls->Load();
  if (status == VMStatus_OK) return true;
  env->thread->SetException(NULL);
  VMJniThrowInternal(env, status == VMStatus_NoClassDefFoundError ? VMStatus_ClassNotFoundException : status, asked);
  return false;
}

/* The shared look-up of forName and forName0: the class of the name (dotted or slash
   form) in the loader, loaded whatever the flag says, so that a name no class file
   bears is reported and not handed out as an empty shell; initialised when asked.
   The class comes back as a local reference, also with an exception pending from its
   initialisation. */
jclass FindClassByName(JNIEnv* env, jstring name, bool initialize, VMClassLoader* loader) {
  VMNameSpace* ns = javalang::NameSpaceOf(env);
  VMJavaLangString* string = javalang::StringOf(env, name);
  if (string == NULL || ns == NULL) {
    VMJniThrowInternal(env, VMStatus_ClassNotFoundException, NULL);
    return NULL;
  }
  char* text = string->MakeUTF8();
  VMLiteral* literal = text != NULL ? VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu) : NULL;
  if (literal == NULL) {
    VMJavaLangString::FreeUTF8(text);
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMClass* cls = VMClass::FindByDotName(env, literal, loader);
  if (cls == NULL) {
    char* message = PendingMessage(env);
    env->thread->SetException(NULL);
    VMJniThrowInternal(env, VMStatus_ClassNotFoundException, message != NULL ? message : text);
    VMJavaLangString::FreeUTF8(message);
    VMJavaLangString::FreeUTF8(text);
    return NULL;
  }
  // An array class stands for its element class: "[Lx;" is there only when x is.
  VMClass* element = cls;
  while (element != NULL && element->GetIsArray()) element = ((VMArrayClass*)element)->GetElementClass();
  if (element != NULL && element->GetIsLoadable() && !Loaded(env, (VMLoadableClass*)element, text)) {
    VMJavaLangString::FreeUTF8(text);
    return NULL;
  }
  if (cls->GetIsLoadable()) {
    VMLoadableClass* loadable = (VMLoadableClass*)cls;
    VMStatus status = VMStatus_OK;
    if (initialize) status = loadable->Initialize(env);
    // An initialiser that threw left its exception pending, wrapped with its cause in
    // ExceptionInInitializerError: that is the answer as it stands. A failure of the
    // machine's own is raised as the exception its status names, or as
    // ClassNotFoundException when that would be a checked exception or a missing class.
    if (status != VMStatus_OK && status != VMStatus_AlreadyThrown) {
      char* message = PendingMessage(env);
      VMLoadableClass* replacement = ns->GetExceptionClass(env, (uint32_t)status);
      if (replacement == NULL || !replacement->IsUnChecked() || status == VMStatus_NoClassDefFoundError)
        replacement = ns->GetExceptionClass(env, VMStatus_ClassNotFoundException);
      Replace(env, replacement, message);
      VMJavaLangString::FreeUTF8(message);
    }
  }
  VMJavaLangString::FreeUTF8(text);
  return (jclass)VMJniHandle::NewLocal(env, cls);
}

/* ---- java/lang/Class ---- */

/* A loader object of Java code is no machine loader: the name is looked up through the
   system loader. */
jclass JNICALL ClassForName0(JNIEnv* env, jclass, jstring name, jboolean initialize, jobject) {
  return FindClassByName(env, name, initialize != 0, NULL);
}

/* The loader of the class of the calling method; the system loader for a caller
   without one (a call from the host). */
jclass JNICALL ClassForName(JNIEnv* env, jclass, jstring name) {
  VMMethod* caller = JVMCallerMethod(env, 1);
  VMClassLoader* loader = caller != NULL ? ((VMClass*)caller->GetDefinedIn())->GetClassLoader() : NULL;
  return FindClassByName(env, name, true, loader);
}

/* Dynamic instanceof: null is an instance of nothing. */
jboolean JNICALL ClassIsInstance(JNIEnv* env, jclass self, jobject object) {
  VMObject* o = VMJniHandle::UnHandle(env, object);
  VMClass* cls = ClassArgument(env, self);
  if (o == NULL || cls == NULL) return 0;
  return VMClass::InstanceOf(o, cls) ? 1 : 0;
}

jboolean JNICALL ClassIsAssignableFrom(JNIEnv* env, jclass self, jclass other) {
  VMClass* from = ClassArgument(env, other);
  VMClass* to = ClassArgument(env, self);
  if (from == NULL || to == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  // A class is assignable to itself, a primitive one included.
  if (from == to) return 1;
  return VMClass::AssignableFrom(from, to) ? 1 : 0;
}

jclass JNICALL ClassGetSuperclass(JNIEnv* env, jclass self) {
  VMClass* cls = ClassArgument(env, self);
  if (cls == NULL || cls->GetIsInterface()) return NULL;
  return (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls->GetSuper());
}

/* No class is signed: the answer of the class library's own code. */
jobjectArray JNICALL ClassGetSigners(JNIEnv*, jclass) { return NULL; }

void JNICALL ClassSetSigners(JNIEnv*, jclass, jobjectArray) {}

const char* const kPrimitiveNames[] = {"boolean", "char", "float", "double", "byte", "short", "int", "long", "void"};

/* The nine primitive classes by their Java names; null for any other name. */
jclass JNICALL ClassGetPrimitiveClass(JNIEnv* env, jclass, jstring name) {
  char* text = javalang::TextOf(env, name);
  if (text == NULL) return NULL;
  jclass result = NULL;
  for (const char* known : kPrimitiveNames) {
    if (strcmp(text, known) != 0) continue;
    VMClass* cls = VMClass::FindSystemClass(javalang::NameSpaceOf(env), known);
    if (cls != NULL && cls->GetIsPrimitive()) result = (jclass)VMJniHandle::NewLocal(env, cls);
    break;
  }
  VMJavaLangString::FreeUTF8(text);
  return result;
}

jobject JNICALL ClassGetProtectionDomain0(JNIEnv*, jclass) { return NULL; }

void JNICALL ClassSetProtectionDomain0(JNIEnv*, jclass, jobject) {}

void JNICALL ClassRegisterNatives(JNIEnv*, jclass) { Register_java_lang_Class(); }

const JNINativeMethod kClass[] = {
    PUX_NATIVE("forName0", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;", ClassForName0),
    PUX_NATIVE("newInstance0", "()Ljava/lang/Object;", JVM_NewInstance),
    PUX_NATIVE("forName", "(Ljava/lang/String;)Ljava/lang/Class;", ClassForName),
    PUX_NATIVE("newInstance", "()Ljava/lang/Object;", JVM_NewInstance),
    PUX_NATIVE("isInstance", "(Ljava/lang/Object;)Z", ClassIsInstance),
    PUX_NATIVE("isAssignableFrom", "(Ljava/lang/Class;)Z", ClassIsAssignableFrom),
    PUX_NATIVE("isInterface", "()Z", JVM_IsInterface),
    PUX_NATIVE("isArray", "()Z", JVM_IsArrayClass),
    PUX_NATIVE("isPrimitive", "()Z", JVM_IsPrimitiveClass),
    PUX_NATIVE("getName", "()Ljava/lang/String;", JVM_GetClassName),
    PUX_NATIVE("getClassLoader0", "()Ljava/lang/ClassLoader;", JVM_GetClassLoader),
    PUX_NATIVE("getClassLoader", "()Ljava/lang/ClassLoader;", JVM_GetClassLoader),
    PUX_NATIVE("getSuperclass", "()Ljava/lang/Class;", ClassGetSuperclass),
    PUX_NATIVE("getInterfaces", "()[Ljava/lang/Class;", JVM_GetClassInterfaces),
    PUX_NATIVE("getComponentType", "()Ljava/lang/Class;", JVM_GetComponentType),
    PUX_NATIVE("getModifiers", "()I", JVM_GetClassModifiers),
    PUX_NATIVE("getSigners", "()[Ljava/lang/Object;", ClassGetSigners),
    PUX_NATIVE("setSigners", "([Ljava/lang/Object;)V", ClassSetSigners),
    PUX_NATIVE("getPrimitiveClass", "(Ljava/lang/String;)Ljava/lang/Class;", ClassGetPrimitiveClass),
    PUX_NATIVE("getFields0", "(I)[Ljava/lang/reflect/Field;", JVM_GetClassFields),
    PUX_NATIVE("getMethods0", "(I)[Ljava/lang/reflect/Method;", JVM_GetClassMethods),
    PUX_NATIVE("getDeclaredClasses0", "()[Ljava/lang/Class;", JVM_GetDeclaredClasses),
    PUX_NATIVE("getDeclaringClass", "()Ljava/lang/Class;", JVM_GetDeclaringClass),
    PUX_NATIVE("getConstructors0", "(I)[Ljava/lang/reflect/Constructor;", JVM_GetClassConstructors),
    PUX_NATIVE("getField0", "(Ljava/lang/String;I)Ljava/lang/reflect/Field;", JVM_GetClassField),
    PUX_NATIVE("getMethod0", "(Ljava/lang/String;[Ljava/lang/Class;I)Ljava/lang/reflect/Method;",
               JVM_GetClassMethod),
    PUX_NATIVE("getConstructor0", "([Ljava/lang/Class;I)Ljava/lang/reflect/Constructor;",
               JVM_GetClassConstructor),
    PUX_NATIVE("getProtectionDomain0", "()Ljava/security/ProtectionDomain;", ClassGetProtectionDomain0),
    PUX_NATIVE("setProtectionDomain0", "(Ljava/security/ProtectionDomain;)V", ClassSetProtectionDomain0),
    PUX_NATIVE("registerNatives", "()V", ClassRegisterNatives),
};

/* ---- java/lang/ClassLoader ---- */

void JNICALL ClassLoaderInit(JNIEnv*, jobject) {}

/* Java code defines no classes from bytes: the class library turns the null into
   ClassFormatError. */
jclass JNICALL ClassLoaderDefineClass0(JNIEnv*, jobject, jstring, jbyteArray, jint, jint) { return NULL; }

void JNICALL ClassLoaderResolveClass0(JNIEnv*, jobject, jclass) {}

jclass JNICALL ClassLoaderFindSystemClass0(JNIEnv* env, jobject, jstring name) {
  if (javalang::StringOf(env, name) == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  jclass cls = FindClassByName(env, name, true, NULL);
  VMJavaLangThrowable* pending = env->thread->GetException();
  VMNameSpace* ns = javalang::NameSpaceOf(env);
  if (pending != NULL && pending->GetLoadableClass() == ns->GetExceptionClass(env, VMStatus_ClassNotFoundException)) {
    env->thread->SetException(NULL);
    VMJniThrowInternal(env, VMStatus_ClassNotFoundException, NULL);
  }
  return cls;
}

jobject JNICALL ClassLoaderGetSystemResourceAsStream0(JNIEnv* env, jclass, jstring name) {
  char* text = javalang::TextOf(env, name);
  if (text == NULL) return NULL;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  jobject stream = host->GetSystemResourceStream != NULL ? host->GetSystemResourceStream(env, text, 0) : NULL;
  host->HeapFree(NULL, text);
  return stream;
}

jstring JNICALL ClassLoaderGetSystemResourceAsName0(JNIEnv*, jclass, jstring) { return NULL; }

jobject JNICALL ClassLoaderGetCallerClassLoader(JNIEnv* env, jclass) {
  jclass caller = JVM_GetCallerClass(env, 2);
  if (caller == NULL) return NULL;
  jobject loader = JVM_GetClassLoader(env, caller);
  env->functions->DeleteLocalRef(env, caller);
  return loader;
}

const JNINativeMethod kClassLoader[] = {
    PUX_NATIVE("init", "()V", ClassLoaderInit),
    PUX_NATIVE("defineClass0", "(Ljava/lang/String;[BII)Ljava/lang/Class;", ClassLoaderDefineClass0),
    PUX_NATIVE("resolveClass0", "(Ljava/lang/Class;)V", ClassLoaderResolveClass0),
    PUX_NATIVE("findSystemClass0", "(Ljava/lang/String;)Ljava/lang/Class;", ClassLoaderFindSystemClass0),
    PUX_NATIVE("getSystemResourceAsStream0", "(Ljava/lang/String;)Ljava/io/InputStream;",
               ClassLoaderGetSystemResourceAsStream0),
    PUX_NATIVE("getSystemResourceAsName0", "(Ljava/lang/String;)Ljava/lang/String;",
               ClassLoaderGetSystemResourceAsName0),
    PUX_NATIVE("getCallerClassLoader", "()Ljava/lang/ClassLoader;", ClassLoaderGetCallerClassLoader),
};

/* ---- java/lang/ClassLoader$NativeLibrary ---- */

jlong JNICALL NativeLibraryFind(JNIEnv* env, jobject, jstring) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_lang_ClassLoader$NativeLibrary_find");
  return 0;
}

/* Only the libraries whose natives the machine has are "loaded"; nothing is opened. */
void JNICALL NativeLibraryLoad(JNIEnv* env, jobject self, jstring name) {
  jfieldID handle = JVMFieldNativeLibraryHandle(env);
  if (handle == NULL) return;
  char* text = javalang::TextOf(env, name);
  if (text == NULL) return;
  jlong known = javalang::IsMachineLibrary(javalang::FileNamePart(text)) ? 1 : 0;
  VMJavaLangString::FreeUTF8(text);
  env->functions->SetLongField(env, self, handle, known);
}

void JNICALL NativeLibraryUnload(JNIEnv* env, jobject) {
  VMJniThrowInternal(env, VMStatus_InternalError, "nyi: java_lang_ClassLoader$NativeLibrary_unload");
}

const JNINativeMethod kNativeLibrary[] = {
    PUX_NATIVE("find", "(Ljava/lang/String;)J", NativeLibraryFind),
    PUX_NATIVE("load", "(Ljava/lang/String;)V", NativeLibraryLoad),
    PUX_NATIVE("unload", "()V", NativeLibraryUnload),
};

}  // namespace

namespace javalang {

FileNameView FileNamePart(const char* path) {
  const char* start = path;
  if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':') start += 2;
  for (const char* p = start; *p != 0; p++) {
    if (*p == '/' || *p == '\\') start = p + 1;
  }
  const char* end = start + strlen(start);
  for (const char* p = end; p > start; p--) {
    if (p[-1] == '.') {
      end = p - 1;
      break;
    }
  }
  return FileNameView{start, (size_t)(end - start)};
}

bool IsMachineLibrary(FileNameView name) {
  static const char* const kLibraries[] = {"math", "net", "zip"};
  for (const char* library : kLibraries) {
    if (strlen(library) == name.length && memcmp(library, name.start, name.length) == 0) return true;
  }
  return false;
}

}  // namespace javalang

void Register_java_lang_Class(void) { JNI_RegisterNative("java/lang/Class", kClass, PUX_ROWS(kClass)); }

void Register_java_lang_ClassLoader(void) {
  JNI_RegisterNative("java/lang/ClassLoader", kClassLoader, PUX_ROWS(kClassLoader));
}

void Register_java_lang_ClassLoader_NativeLibrary(void) {
  JNI_RegisterNative("java/lang/ClassLoader$NativeLibrary", kNativeLibrary, PUX_ROWS(kNativeLibrary));
}
