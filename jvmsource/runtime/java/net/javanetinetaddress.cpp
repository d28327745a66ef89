/* java.net.InetAddress and InetAddressImpl: the local host's name, the wildcard address,
   and the host's look-ups by name and by address. IPv4 only: family 2, four bytes.

   A host entry belongs to the host and may be the calling thread's only copy there: it
   is read through before anything is allocated, since an allocation may collect, and a
   finalizer run by that collection on this thread may look up another name. */
#include "javanet.h"

#include <string.h>

#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmjni.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace javanet;

namespace {

enum { kMaxAddresses = 1024, kMaxName = 1024 };

/* A new String of modified UTF-8 text as a local reference; 0 for text that is not valid
   (nothing pending) and 0 with OutOfMemoryError pending when it cannot be made. */
jstring NewString(JNIEnv* env, const char* text, bool* invalid) {
  *invalid = VMLiteral::UnicodeLength(text, (uint32_t)strlen(text)) == VMInvalidUTF8Length;
  if (*invalid) return 0;
  VMJavaLangString* s = VMJavaLangString::CreateInstance(env, text);
  if (s == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return 0;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)s);
}

}  // namespace

extern "C" {

void JNICALL JavaNetInetAddress_init(JNIEnv*, jclass) {}

jint JNICALL JavaNetInetAddressImpl_getInetFamily(JNIEnv*, jobject) { return 2; }

/* The host's name for this machine; "localhost" when the host has none it can give. */
jstring JNICALL JavaNetInetAddressImpl_getLocalHostName(JNIEnv* env, jobject) {
  char name[256];
  memset(name, 0, sizeof name);
  HostBlockBegin(env);
  jint r = Host()->GetHostName(name, (jint)sizeof name);
  HostBlockEnd(env);
  // A name that fills the buffer without its terminator has been cut: no name at all.
  bool whole = memchr(name, 0, sizeof name) != NULL;
  name[sizeof name - 1] = 0;
  bool invalid = false;
  jstring result = 0;
  if (r >= 0 && whole) {
    result = NewString(env, name, &invalid);
    if (result != 0 || !invalid) return result;
  }
  return NewString(env, "localhost", &invalid);
}

void JNICALL JavaNetInetAddressImpl_makeAnyLocalAddress(JNIEnv* env, jobject, jobject address) {
  if (address == 0) {
    ThrowNull(env);
    return;
  }
  jfieldID a = FieldInetAddressAddress(env);
  jfieldID family = a != 0 ? FieldInetAddressFamily(env) : 0;
  if (family == 0) return;
  env->functions->SetIntField(env, address, a, 0);
  env->functions->SetIntField(env, address, family, 2);
}

jobjectArray JNICALL JavaNetInetAddressImpl_lookupAllHostAddr(JNIEnv* env, jobject, jstring host) {
  if (host == 0) {
    ThrowNull(env);
    return 0;
  }
  const char* name = env->functions->GetStringUTFChars(env, host, NULL);
  if (name == NULL) {
    if (!Pending(env)) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return 0;
  }
  HostBlockBegin(env);
  HostEnt16* entry = Host()->LookupHostByName(name, 2);
  HostBlockEnd(env);
  env->functions->ReleaseStringUTFChars(env, host, name);

  // Everything of the entry is copied out before the first allocation.
  static_assert(sizeof(uint8_t[kMaxAddresses][4]) == 4096, "the copy is 4 KB of stack");
  uint8_t addresses[kMaxAddresses][4];
  uint32_t n = 0;
  if (entry == NULL || entry->addrList == NULL || entry->type != 2 || entry->length != 4) {
    ThrowUnknownHost(env);
    return 0;
  }
  while (n < kMaxAddresses && entry->addrList[n] != NULL) {
    memcpy(addresses[n], entry->addrList[n], 4);
    n++;
  }

  jclass bytes = env->functions->FindClass(env, "[B");
  if (bytes == 0) return 0;
  jobjectArray all = env->functions->NewObjectArray(env, (jsize)n, bytes, 0);
  env->functions->DeleteLocalRef(env, bytes);
  if (all == 0) return 0;
  for (uint32_t i = 0; i < n; i++) {
    jbyteArray one = env->functions->NewByteArray(env, 4);
    if (one == 0) return 0;
    env->functions->SetByteArrayRegion(env, one, 0, 4, (const jbyte*)addresses[i]);
    env->functions->SetObjectArrayElement(env, all, (jsize)i, one);
    env->functions->DeleteLocalRef(env, one);
    if (Pending(env)) return 0;
  }
  return all;
}

jstring JNICALL JavaNetInetAddressImpl_getHostByAddr(JNIEnv* env, jobject, jint address) {
  JNIHostFunctions* host = Host();
  uint32_t a = host->HostToNetLong((uint32_t)address);
  HostBlockBegin(env);
  HostEnt16* entry = host->LookupHostByAddr(&a, 4, 2);
  HostBlockEnd(env);
  char name[kMaxName + 1];
  if (entry == NULL || entry->name == NULL) {
    ThrowUnknownHost(env);
    return 0;
  }
  size_t length = strnlen(entry->name, kMaxName + 1);
  if (length > kMaxName) {
    ThrowUnknownHost(env);
    return 0;
  }
  memcpy(name, entry->name, length + 1);
  bool invalid = false;
  jstring result = NewString(env, name, &invalid);
  if (invalid) ThrowUnknownHost(env);
  return result;
}

}  // extern "C"
