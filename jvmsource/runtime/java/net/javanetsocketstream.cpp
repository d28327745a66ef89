/* java.net.SocketInputStream and SocketOutputStream: bytes between a connected socket
   and a Java byte array, straight into and out of the array's storage, one contiguous
   run of it per host call. The stream shares its socket's FileDescriptor, held in the
   file stream's own field (the body word of PlainSocketImpl.fd); reads wait the timeout
   of the stream's PlainSocketImpl.

   Also the empty init of java.net.DatagramPacket. */
#include "javanet.h"

#include "vmarray.h"
#include "vmjni.h"

using namespace javanet;

extern "C" {

void JNICALL JavaNetSocketInputStream_init(JNIEnv*, jclass) {}

void JNICALL JavaNetSocketOutputStream_init(JNIEnv*, jclass) {}

void JNICALL JavaNetDatagramPacket_init(JNIEnv*, jclass) {}

/* Bytes read; 0 at the end of the stream or after a failed wait; -1 after a failed
   receive. Once some bytes are in the array they are what the call reports: a failure
   after them is met again by the next read. */
jint JNICALL JavaNetSocketInputStream_socketRead(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  jint h;
  jobject descriptor = GetStreamFd(env, self, true, &h);
  if (descriptor == 0) return 0;
  if (b == 0) {
    ThrowNull(env);
    return 0;
  }
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_InternalError, "not a byte array");
    return 0;
  }
  if (!RangeFits(off, len, array->GetSize())) {
    ThrowIndex(env);
    return 0;
  }
  // Nothing asked, nothing waited for: an offset at the end names no element to locate.
  if (len == 0) return 0;
  jfieldID implField = FieldInputStreamImpl(env);
  jfieldID timeoutField = implField != 0 ? FieldSocketTimeout(env) : 0;
  jclass plain = timeoutField != 0 ? ClassPlainSocketImpl(env) : 0;
  if (plain == 0) return 0;
  jobject impl = env->functions->GetObjectField(env, self, implField);
  if (impl == 0) {
    ThrowNull(env);
    return 0;
  }
  // The timeout is read by its slot in PlainSocketImpl: another SocketImpl has no such word.
  if (!env->functions->IsInstanceOf(env, impl, plain)) {
    VMJniThrowInternal(env, VMStatus_InternalError, "socket stream without a PlainSocketImpl");
    return 0;
  }
  jint timeout = env->functions->GetIntField(env, impl, timeoutField);
  env->functions->DeleteLocalRef(env, impl);
  if (BoundedWait(env, h, timeout, kReadFailed, kTimeout) != kWaitReady) return 0;

  JNIHostFunctions* host = Host();
  jint total = 0;
  uint32_t at = (uint32_t)off;
  uint32_t left = (uint32_t)len;
  do {
    uint32_t run = 0;
    void* start = array->FindElement(at, &run);
    if (start == NULL || run == 0) break;
    jint n = (jint)(run < left ? run : left);
    HostBlockBegin(env);
    jint r = host->SocketRecv(h, start, n);
    HostBlockEnd(env);
    if (r < 0 || r > n) {
      if (total > 0) return total;
      // A count beyond what was asked carries no failure text of the host's.
      ThrowSocketException(env, kReceiveFailed, r < 0);
      return -1;
    }
    if (r == 0) {
      // A close from another thread shuts the connection down after it marks the
      // descriptor closed: to this reader that is no end of stream.
      if (total == 0 && env->functions->GetIntField(env, descriptor, FieldFileDescriptorFd(env)) == -1) {
        ThrowSocketException(env, kSocketClosed, false);
      }
      break;
    }
    total += r;
    at += (uint32_t)r;
    left -= (uint32_t)r;
  } while (left > 0 && host->SocketHasInput(h) != 0);
  return total;
}

/* Sends every byte or raises: a host that reports fewer than it was given has failed. */
void JNICALL JavaNetSocketOutputStream_socketWrite(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  jint h;
  if (GetStreamFd(env, self, false, &h) == 0) return;
  if (b == 0) {
    ThrowNull(env);
    return;
  }
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_InternalError, "not a byte array");
    return;
  }
  if (!RangeFits(off, len, array->GetSize())) {
    ThrowIndex(env);
    return;
  }
  JNIHostFunctions* host = Host();
  uint32_t at = (uint32_t)off;
  uint32_t left = (uint32_t)len;
  while (left > 0) {
    uint32_t run = 0;
    const void* start = array->FindElement(at, &run);
    if (start == NULL || run == 0) break;
    jint n = (jint)(run < left ? run : left);
    HostBlockBegin(env);
    jint r = host->SocketSend(h, start, n);
    HostBlockEnd(env);
    if (r != n) {
      ThrowSocketException(env, kStreamSendFailed, r < 0);
      return;
    }
    at += (uint32_t)n;
    left -= (uint32_t)n;
  }
}

}  // extern "C"
