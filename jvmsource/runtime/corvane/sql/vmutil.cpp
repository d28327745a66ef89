/* The natives of the server's class corvane.sql.VMUtil: the descriptor of a Method, and
   the descriptor of the method an overloaded call with given argument types selects
   (the machine's overload resolver, the one the native interface uses).

   The server's callers choose the names and descriptors: nothing they pass is interned.
   A name that no literal of the name space spells can name no method, and the argument
   descriptor is read from a copy that is given back at once. (Class names inside the
   descriptor are looked up as every class look-up does.) */
#include <string.h>

#include "registration.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangreflectfield.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmoverload.h"
#include "vmthread.h"

namespace {

jstring Descriptor(JNIEnv* env, VMMethod* method) {
  VMJavaLangString* text = method->GetSignature()->MakeVMJavaLangString(env);
  if (text == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)text);
}

jstring JNICALL GetSignature(JNIEnv* env, jclass, jobject methodHandle) {
  VMJavaLangReflectMethod* wrapper = (VMJavaLangReflectMethod*)VMJniHandle::UnHandle(env, methodHandle);
  if (wrapper == NULL) return NULL;
  VMMethod* method = wrapper->GetVMMethod((unsigned long)env->javaVM->nameSpace->GetLibraryVersion());
  if (method == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  return Descriptor(env, method);
}

/* The text of a String argument; NULL for null, with OutOfMemoryError when the host
   cannot hold the copy. */
char* TextOf(JNIEnv* env, jobject handle, bool* failed) {
  VMObject* string = VMJniHandle::UnHandle(env, handle);
  *failed = false;
  if (string == NULL) return NULL;
  char* text = ((VMJavaLangString*)string)->MakeUTF8();
  if (text == NULL) {
    *failed = true;
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  }
  return text;
}

/* The descriptor's bytes as a literal the resolver can read, outside the literal table,
   on the name space's heap (which no collection sweeps); NULL without memory. */
VMLiteral* TemporaryLiteral(VMNameSpace* ns, const char* text) {
  const uint32_t length = (uint32_t)strlen(text);
  VMbyteArray* bytes = VMbyteArray::CreateInstance(ns->GetHeap(), length, jallocFailFast, VMTag_VMLiteral);
  if (bytes == NULL) return NULL;
  for (uint32_t i = 0; i < length; i++) bytes->Set(i, (jbyte)text[i]);
  return (VMLiteral*)bytes;
}

jstring JNICALL Overload(JNIEnv* env, jclass, jclass classHandle, jstring nameHandle, jstring argumentsHandle,
                         jboolean allowInstance) {
  VMOverload record(env);
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMClass* cls = VMJniUnHandleClass(env, classHandle);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  bool failed = false;
  char* name = TextOf(env, nameHandle, &failed);
  if (name == NULL) return NULL;
  char* arguments = TextOf(env, argumentsHandle, &failed);
  if (arguments == NULL) {
    VMJavaLangString::FreeUTF8(name);
    return NULL;
  }
  VMLiteral* nameLiteral = VMLiteral::Find(ns, name, 0xFFFFFFFFu);
  VMLiteral* argumentLiteral = nameLiteral != NULL ? TemporaryLiteral(ns, arguments) : NULL;
  VMJavaLangString::FreeUTF8(name);
  VMJavaLangString::FreeUTF8(arguments);
  if (nameLiteral == NULL) return NULL;
  if (argumentLiteral == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMMethod* method =
      record.FindMethod(env, (VMLoadableClass*)cls, nameLiteral, argumentLiteral, allowInstance != 0);
  ((VMObject*)argumentLiteral)->Destroy(ns->GetHeap());
  if (method == NULL) {
    // The host matches on this text.
    if (record.IsAmbiguous()) (void)VMJniThrowInternal(env, VMStatus_InstantiationException, "Ambiguous");
    return NULL;
  }
  return Descriptor(env, method);
}

const JNINativeMethod kVMUtil[] = {
    PUX_NATIVE("getSignature", "(Ljava/lang/reflect/Method;)Ljava/lang/String;", GetSignature),
    PUX_NATIVE("Overload", "(Ljava/lang/Class;Ljava/lang/String;Ljava/lang/String;Z)Ljava/lang/String;", Overload),
};

}  // namespace

void Register_corvane_sql_VMUtil(void) { JNI_RegisterNative("corvane/sql/VMUtil", kVMUtil, PUX_ROWS(kVMUtil)); }
