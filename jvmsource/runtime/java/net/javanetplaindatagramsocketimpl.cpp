/* java.net.PlainDatagramSocketImpl: UDP sockets through the host's socket services.

   A datagram is one host call, so it must lie in one piece of memory. An array of up to
   776 bytes does (its storage is inline in the object) and goes to the host as it is;
   a longer one, up to 65507 bytes (the most an IPv4 datagram carries), goes through a
   block of process memory, gathered from the array's pieces before a send and scattered
   into them after a receive. The natives take the packet's whole array; DatagramSocket
   hands them one of exactly the bytes meant.

   A close leaves the descriptor's number where it was; the class library forgets the
   descriptor itself, and the host never gives the number out again. */
#include "javanet.h"

#include <string.h>

#include "vmarray.h"
#include "vmjni.h"
#include "vmobject.h"
#include "vmutils.h"

using namespace javanet;

namespace {

/* The datagram's bytes in one piece, never the array's own storage: the record's own
   bytes for a short one, else a block of process memory (the bytes copied in when
   gather), given back by Release.
   A plain struct: natives may be left by a long jump, which runs no destructor. */
struct Datagram {
  VMArray* array;
  uint32_t size;
  uint8_t* bytes;
  bool copied;
  /* A short datagram's bytes: the host never gets the array itself, which a move of the
     machine may take elsewhere while the thread waits in the host call. */
  uint8_t small[VMArray::FIRST_PART_BYTES];

  /* False with OutOfMemoryError pending when the block cannot be had. */
  bool Take(JNIEnv* env, VMArray* a, uint32_t n, bool gather) {
    array = a;
    size = n;
    bytes = NULL;
    copied = false;
    if (size <= sizeof small) {
      bytes = small;
      copied = true;
      if (gather) Copy(true, size);
      return true;
    }
    bytes = (uint8_t*)Host()->HeapAlloc(NULL, size == 0 ? 1 : size, jallocFailFast);
    if (bytes == NULL) {
      VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
      return false;
    }
    copied = true;
    if (gather) Copy(true, size);
    return true;
  }
  /* Moves count bytes between the block and the array's pieces. */
  void Copy(bool intoBlock, uint32_t count) {
    uint32_t at = 0;
    while (at < count) {
      uint32_t run = 0;
      uint8_t* piece = (uint8_t*)array->FindElement(at, &run);
      if (piece == NULL || run == 0) break;
      if (run > count - at) run = count - at;
      if (intoBlock) {
        memcpy(bytes + at, piece, run);
      } else {
        memcpy(piece, bytes + at, run);
      }
      at += run;
    }
  }
  void Scatter(uint32_t count) {
    if (copied) Copy(false, count);
  }
  void Release() {
    if (copied && bytes != small) Host()->HeapFree(NULL, bytes);
    copied = false;
  }
};

jint PortOf(const SockAddr16& rec) { return (jint)(uint16_t)Host()->NetToHostShort(rec.portNet); }

jint AddressOf(const SockAddr16& rec) { return (jint)Host()->NetToHostLong(rec.addrNet); }

/* The int field of an InetAddress argument; false with the failure pending. */
bool AddressField(JNIEnv* env, jobject address, jint* value) {
  if (address == 0) {
    ThrowNull(env);
    return false;
  }
  jfieldID field = FieldInetAddressAddress(env);
  if (field == 0) return false;
  *value = env->functions->GetIntField(env, address, field);
  return true;
}

void Membership(JNIEnv* env, jobject self, jobject group, bool join) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  jint a;
  if (!AddressField(env, group, &a)) return;
  JNIHostFunctions* host = Host();
  Mreq8 m;
  m.groupNet = host->HostToNetLong((uint32_t)a);
  m.ifaceNet = 0;
  if (((uint32_t)a >> 28) != 0xE) {
    if (!Pending(env)) {
      ThrowSocketException(env, kNotMulticast, false);
      return;
    }
  }
  jint r = join ? host->MulticastJoin(h, &m) : host->MulticastLeave(h, &m);
  if (r < 0 && !Pending(env)) ThrowSocketException(env, join ? kJoinFailed : kLeaveFailed, true);
}

}  // namespace

extern "C" {

void JNICALL JavaNetPlainDatagramSocketImpl_init(JNIEnv*, jclass) {}

void JNICALL JavaNetPlainDatagramSocketImpl_datagramSocketCreate(JNIEnv* env, jobject self) {
  jint old;
  jobject fd = GetDatagramSocketFd(env, self, &old);
  if (fd == 0) return;
  JNIHostFunctions* host = Host();
  jint h = host->SocketCreate(2, 0, 0);
  if (h < 0) {
    ThrowSocketException(env, kCreateFailed, true);
    return;
  }
  host->DatagramCreateOption(h, 1);
  StoreHandle(env, fd, h);
}

void JNICALL JavaNetPlainDatagramSocketImpl_datagramSocketClose(JNIEnv* env, jobject self) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  Host()->SocketClose(h);
}

void JNICALL JavaNetPlainDatagramSocketImpl_bind(JNIEnv* env, jobject self, jint port, jobject address) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  jint a;
  if (!AddressField(env, address, &a)) return;
  jfieldID localPort = FieldDatagramLocalPort(env);
  if (localPort == 0) return;
  JNIHostFunctions* host = Host();
  SockAddr16 rec;
  memset(&rec, 0, sizeof rec);
  rec.family = 2;
  rec.portNet = host->HostToNetShort((uint16_t)port);
  rec.addrNet = host->HostToNetLong((uint32_t)a);
  if (host->SocketBind(h, &rec, (jint)sizeof rec) < 0) {
    ThrowSocketException(env, kCannotBind, true);
    return;
  }
  jint len = sizeof rec;
  if (host->SocketGetName(h, &rec, &len) < 0) {
    ThrowSocketException(env, kCannotGetName, true);
    return;
  }
  env->functions->SetIntField(env, self, localPort, PortOf(rec));
}

void JNICALL JavaNetPlainDatagramSocketImpl_send(JNIEnv* env, jobject self, jobject packet) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  if (packet == 0) {
    ThrowNull(env);
    return;
  }
  jfieldID bufField = FieldPacketBuf(env);
  jfieldID lengthField = bufField != 0 ? FieldPacketLength(env) : 0;
  jfieldID addressField = lengthField != 0 ? FieldPacketAddress(env) : 0;
  jfieldID portField = addressField != 0 ? FieldPacketPort(env) : 0;
  jfieldID inetAddress = portField != 0 ? FieldInetAddressAddress(env) : 0;
  jfieldID inetFamily = inetAddress != 0 ? FieldInetAddressFamily(env) : 0;
  if (inetFamily == 0) return;
  jobject to = env->functions->GetObjectField(env, packet, addressField);
  jobject buf = to != 0 ? env->functions->GetObjectField(env, packet, bufField) : 0;
  VMArray* array = ByteArrayOf(env, buf);
  if (to == 0 || array == NULL) {
    ThrowNull(env);
    return;
  }
  uint32_t size = array->GetSize();
  if (size > kMaxDatagram) {
    ThrowSocketException(env, kPacketTooLarge, false);
    return;
  }
  JNIHostFunctions* host = Host();
  SockAddr16 rec;
  memset(&rec, 0, sizeof rec);
  rec.portNet = host->HostToNetShort((uint16_t)env->functions->GetIntField(env, packet, portField));
  rec.addrNet = host->HostToNetLong((uint32_t)env->functions->GetIntField(env, to, inetAddress));
  rec.family = (uint16_t)env->functions->GetIntField(env, to, inetFamily);
  Datagram d;
  if (!d.Take(env, array, size, true)) return;
  HostBlockBegin(env);
  jint r = host->SocketSendTo(h, d.bytes, (jint)size, &rec);
  HostBlockEnd(env);
  d.Release();
  if (r != (jint)size) {
    env->functions->SetIntField(env, packet, lengthField, 0);
    ThrowSocketException(env, kSendFailed, r < 0);
    return;
  }
  env->functions->SetIntField(env, packet, lengthField, r);
}

/* Waits like receive (a stop or close from another thread ends it) and leaves the
   datagram queued; the sender goes into i. */
jint JNICALL JavaNetPlainDatagramSocketImpl_peek(JNIEnv* env, jobject self, jobject i) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return 0;
  if (i == 0) {
    ThrowNull(env);
    return 0;
  }
  jfieldID timeoutField = FieldDatagramTimeout(env);
  jfieldID inetAddress = timeoutField != 0 ? FieldInetAddressAddress(env) : 0;
  jfieldID inetFamily = inetAddress != 0 ? FieldInetAddressFamily(env) : 0;
  if (inetFamily == 0) return 0;
  jint timeout = env->functions->GetIntField(env, self, timeoutField);
  JNIHostFunctions* host = Host();
  const jlong started = WaitStart(timeout);
  uint8_t one[4];
  SockAddr16 rec;
  jint r;
  // Another round when another receiver took the datagram the wait saw.
  do {
    switch (BoundedWait(env, h, TimeLeft(timeout, started), kReceiveFailed, kReceiveTimedOut)) {
      case kWaitReady:
        break;
      case kWaitExpired:
        return 0;
      default:
        return -1;
    }
    memset(&rec, 0, sizeof rec);
    HostBlockBegin(env);
    r = host->SocketPeekFromNow != NULL ? host->SocketPeekFromNow(h, one, 1, &rec) : host->SocketPeekFrom(h, one, 1, &rec);
    HostBlockEnd(env);
  } while (r == kNothingNow && host->SocketPeekFromNow != NULL);
  if (r < 0 || r > 1) {
    ThrowSocketException(env, kReceiveFailed, r < 0);
    return 0;
  }
  env->functions->SetIntField(env, i, inetFamily, (jint)(int16_t)rec.family);
  env->functions->SetIntField(env, i, inetAddress, AddressOf(rec));
  return PortOf(rec);
}

void JNICALL JavaNetPlainDatagramSocketImpl_receive(JNIEnv* env, jobject self, jobject packet) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  if (packet == 0) {
    ThrowNull(env);
    return;
  }
  jfieldID bufField = FieldPacketBuf(env);
  jfieldID lengthField = bufField != 0 ? FieldPacketLength(env) : 0;
  jfieldID addressField = lengthField != 0 ? FieldPacketAddress(env) : 0;
  jfieldID portField = addressField != 0 ? FieldPacketPort(env) : 0;
  jfieldID timeoutField = portField != 0 ? FieldDatagramTimeout(env) : 0;
  jfieldID inetAddress = timeoutField != 0 ? FieldInetAddressAddress(env) : 0;
  jfieldID inetFamily = inetAddress != 0 ? FieldInetAddressFamily(env) : 0;
  jclass inetClass = inetFamily != 0 ? ClassInetAddress(env) : 0;
  jmethodID inetInit = inetClass != 0 ? InetAddressConstructor(env) : 0;
  if (inetInit == 0) return;
  jobject buf = env->functions->GetObjectField(env, packet, bufField);
  if (buf == 0 || ByteArrayOf(env, buf) == NULL) {
    ThrowNull(env);
    return;
  }
  jobject from = env->functions->NewObject(env, inetClass, inetInit);
  if (from == 0) {
    // A failed construction keeps its own exception (OutOfMemoryError above all).
    if (!Pending(env)) ThrowNull(env);
    return;
  }
  env->functions->SetObjectField(env, packet, addressField, from);
  jint timeout = env->functions->GetIntField(env, self, timeoutField);
  JNIHostFunctions* host = Host();
  const jlong started = WaitStart(timeout);
  Datagram d;
  SockAddr16 rec;
  uint32_t room;
  jint n;
  for (;;) {
    if (BoundedWait(env, h, TimeLeft(timeout, started), kReceiveFailed, kTimeout) != kWaitReady) return;
    // The array after the wait: the collector does not move it, and the frame holds it.
    VMArray* array = ByteArrayOf(env, buf);
    uint32_t size = array->GetSize();
    room = size < kMaxDatagram ? size : kMaxDatagram;
    if (!d.Take(env, array, room, false)) return;
    memset(&rec, 0, sizeof rec);
    HostBlockBegin(env);
    n = host->SocketRecvFromNow != NULL ? host->SocketRecvFromNow(h, d.bytes, (jint)room, &rec)
                                        : host->SocketRecvFrom(h, d.bytes, (jint)room, &rec);
    HostBlockEnd(env);
    d.array = ByteArrayOf(env, buf);
    if (n != kNothingNow || host->SocketRecvFromNow == NULL) break;
    // Another receiver took the datagram the wait saw: another round.
    d.Release();
  }
  if (n < 0 || n > (jint)room) {
    d.Release();
    env->functions->SetIntField(env, packet, lengthField, 0);
    ThrowSocketException(env, kReceiveFailed, n < 0);
    return;
  }
  d.Scatter((uint32_t)n);
  d.Release();
  env->functions->SetIntField(env, packet, portField, PortOf(rec));
  env->functions->SetIntField(env, packet, lengthField, n);
  env->functions->SetIntField(env, from, inetFamily, (jint)(int16_t)rec.family);
  env->functions->SetIntField(env, from, inetAddress, AddressOf(rec));
}

void JNICALL JavaNetPlainDatagramSocketImpl_setTTL(JNIEnv* env, jobject self, jbyte ttl) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  if (Host()->SocketSetTTL(h, (jint)ttl) < 0 && !Pending(env)) ThrowSocketException(env, kSetTtlFailed, true);
}

jbyte JNICALL JavaNetPlainDatagramSocketImpl_getTTL(JNIEnv* env, jobject self) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return -1;
  jint v = 0;
  if (Host()->SocketGetTTL(h, &v) < 0 && !Pending(env)) {
    ThrowSocketException(env, kGetTtlFailed, true);
    return -1;
  }
  return (jbyte)v;
}

void JNICALL JavaNetPlainDatagramSocketImpl_join(JNIEnv* env, jobject self, jobject group) {
  Membership(env, self, group, true);
}

void JNICALL JavaNetPlainDatagramSocketImpl_leave(JNIEnv* env, jobject self, jobject group) {
  Membership(env, self, group, false);
}

void JNICALL JavaNetPlainDatagramSocketImpl_socketSetOption(JNIEnv* env, jobject self, jint opt, jobject value) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return;
  if (value == 0) {
    ThrowNull(env);
    return;
  }
  JNIHostFunctions* host = Host();
  // Each option's value is read by its slot: the class must be the one that slot means.
  if (opt == 16) {
    jclass inet = ClassInetAddress(env);
    if (inet == 0) return;
    if (!env->functions->IsInstanceOf(env, value, inet)) {
      ThrowSocketException(env, kBadDatagramSetOption, false);
      return;
    }
    jint a;
    if (!AddressField(env, value, &a)) return;
    uint32_t v = host->HostToNetLong((uint32_t)a);
    if (host->DatagramSetOption(h, &v) < 0) ThrowSocketException(env, kSetMulticastIfFailed, true);
    return;
  }
  if (opt == 4) {
    jclass integer = ClassInteger(env);
    if (integer == 0) return;
    if (!env->functions->IsInstanceOf(env, value, integer)) {
      ThrowSocketException(env, kBadDatagramSetOption, false);
      return;
    }
    jint v = (jint)VMJniHandle::UnHandle(env, value)->GetWord(0);
    if (host->DatagramSetReuse(h, v) < 0) ThrowSocketException(env, kSetReuseFailed, true);
    return;
  }
  ThrowSocketException(env, kBadDatagramSetOption, false);
}

jint JNICALL JavaNetPlainDatagramSocketImpl_socketGetOption(JNIEnv* env, jobject self, jint opt) {
  jint h;
  if (GetDatagramSocketFd(env, self, &h) == 0) return -1;
  JNIHostFunctions* host = Host();
  if (opt == 16) {
    jint v = 0;
    if (host->DatagramGetOption(h, &v) < 0) {
      ThrowSocketException(env, kGetMulticastIfFailed, true);
      return -1;
    }
    return (jint)host->NetToHostLong((uint32_t)v);
  }
  if (opt == 15) {
    SockAddr16 rec;
    memset(&rec, 0, sizeof rec);
    jint len = sizeof rec;
    if (host->SocketGetName(h, &rec, &len) < 0) {
      ThrowSocketException(env, kCannotGetName, true);
      return -1;
    }
    return AddressOf(rec);
  }
  ThrowSocketException(env, kBadDatagramGetOption, false);
  return -1;
}

}  // extern "C"
