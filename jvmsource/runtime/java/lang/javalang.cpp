#include "javalang.h"

#include "vmclass.h"
#include "vmjavalangstring.h"

namespace javalang {

VMJavaLangString* StringOf(JNIEnv* env, jobject handle) {
  VMObject* object = VMJniHandle::UnHandle(env, handle);
  VMNameSpace* ns = NameSpaceOf(env);
  if (object == NULL || ns == NULL || !object->GetHasClass()) return NULL;
  VMClass* stringClass = (VMClass*)ns->GetClassList()->GetStringClass();
  return object->GetClass() == stringClass ? (VMJavaLangString*)object : NULL;
}

char* TextOf(JNIEnv* env, jobject string) {
  VMJavaLangString* s = StringOf(env, string);
  if (s == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  char* text = s->MakeUTF8();
  if (text == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return text;
}

}  // namespace javalang
