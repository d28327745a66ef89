/* java.net.SocketInputStream and SocketOutputStream: bytes between a connected socket
   and a Java byte array: a run that lies in one piece of the array's storage goes
   straight to the host; one that spans pieces goes through a chunk on the stack, so that
   a host call moves up to 8 KB rather than one 256-byte piece. The stream reaches its
   socket's FileDescriptor through its impl (a PlainSocketImpl), whose timeout the reads
   wait.

   Also the empty init of java.net.DatagramPacket. */
#include "javanet.h"

#include <string.h>

#include "vmarray.h"
#include "vmjni.h"

using namespace javanet;

namespace {

/* Bytes a transfer moves through the stack at once: a run of the array that spans its
   256-byte pieces goes to the host as one call of up to this many bytes. */
enum : uint32_t { kStreamChunk = 8192 };

/* Copies up to kStreamChunk bytes of the array from at (at most left) into chunk. */
uint32_t Gather(VMArray* array, uint32_t at, uint32_t left, uint8_t* chunk) {
  uint32_t filled = 0;
  while (filled < kStreamChunk && left > 0) {
    uint32_t run = 0;
    const void* start = array->FindElement(at, &run);
    if (start == NULL || run == 0) break;
    uint32_t n = run < left ? run : left;
    if (n > kStreamChunk - filled) n = kStreamChunk - filled;
    memcpy(chunk + filled, start, n);
    filled += n;
    at += n;
    left -= n;
  }
  return filled;
}

/* Copies count bytes of chunk into the array from at on; the range was checked. */
void Scatter(VMArray* array, uint32_t at, const uint8_t* chunk, uint32_t count) {
  while (count > 0) {
    uint32_t run = 0;
    void* start = array->FindElement(at, &run);
    if (start == NULL || run == 0) break;
    uint32_t n = run < count ? run : count;
    memcpy(start, chunk, n);
    chunk += n;
    at += n;
    count -= n;
  }
}

}  // namespace

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

  JNIHostFunctions* host = Host();
  // Without the host's no-wait form, a receive after the wait waits again on its own.
  jint(HOSTCALL * recvNow)(jint, void*, jint) = host->SocketRecvNow;
  const jlong started = WaitStart(timeout);
  uint8_t chunk[kStreamChunk];
  jint total = 0;
  uint32_t at = (uint32_t)off;
  uint32_t left = (uint32_t)len;
  bool nothing;
  do {
    // Another round when another reader took what the wait saw.
    if (BoundedWait(env, h, TimeLeft(timeout, started), kReadFailed, kTimeout) != kWaitReady) return 0;
    nothing = false;
    do {
      // The host receives into the chunk on this frame's stack, never into the array: the
      // host may move the machine, the array with it, while the thread waits in the call.
      jint n = (jint)(left < kStreamChunk ? left : kStreamChunk);
      HostBlockBegin(env);
      jint r = recvNow != NULL ? recvNow(h, chunk, n) : host->SocketRecv(h, chunk, n);
      HostBlockEnd(env);
      if (r == kNothingNow && recvNow != NULL) {
        nothing = total == 0;
        break;
      }
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
      // Found again after the call, which a collection or a move may have run beside.
      Scatter(ByteArrayOf(env, b), at, chunk, (uint32_t)r);
      total += r;
      at += (uint32_t)r;
      left -= (uint32_t)r;
    } while (left > 0 && host->SocketHasInput(h) != 0);
  } while (nothing);
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
  uint8_t chunk[kStreamChunk];
  uint32_t at = (uint32_t)off;
  uint32_t left = (uint32_t)len;
  while (left > 0) {
    // One host call per chunk, not per piece: pieces are gathered into the chunk, which
    // stays where it is while the host may move the machine during the send.
    array = ByteArrayOf(env, b);
    uint32_t n = Gather(array, at, left, chunk);
    if (n == 0) break;
    HostBlockBegin(env);
    jint r = host->SocketSend(h, chunk, (jint)n);
    HostBlockEnd(env);
    if (r != (jint)n) {
      ThrowSocketException(env, kStreamSendFailed, r < 0);
      return;
    }
    at += n;
    left -= n;
  }
}

}  // extern "C"
