/* System resources: a file found on the class path of the system loader (loader id 0)
   handed to Java as a java.io.ByteArrayInputStream of its bytes. */
#include "refhost_internal.h"

#include <stdlib.h>

namespace refhost {
namespace detail {

jobject HOSTCALL GetSystemResourceStream(JNIEnv* env, const char* name, jint) {
  if (env == nullptr || name == nullptr) return nullptr;
  void* stream = OpenResource(name, nullptr);
  if (stream == nullptr) return nullptr;
  jint size = StreamSize(stream);
  char* bytes = size > 0 ? (char*)malloc((size_t)size) : nullptr;
  jint got = bytes != nullptr ? StreamRead(stream, bytes, size) : 0;
  StreamClose(stream);
  if (size < 0 || (size > 0 && (bytes == nullptr || got != size))) {
    free(bytes);
    return nullptr;
  }
  const JNINativeInterface_* jni = *(const JNINativeInterface_* const*)env;
  jobject result = nullptr;
  jbyteArray array = jni->NewByteArray(env, size);
  if (array != nullptr) {
    if (size > 0) jni->SetByteArrayRegion(env, array, 0, size, (const jbyte*)bytes);
    jclass cls = jni->FindClass(env, "java/io/ByteArrayInputStream");
    jmethodID init = cls != nullptr ? jni->GetMethodID(env, cls, "<init>", "([B)V") : nullptr;
    if (init != nullptr) result = jni->NewObject(env, cls, init, array);
  }
  free(bytes);
  return result;
}

}  // namespace detail
}  // namespace refhost
