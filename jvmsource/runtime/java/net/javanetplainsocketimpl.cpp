/* java.net.PlainSocketImpl: TCP sockets made, connected, bound, listened on, accepted,
   queried, configured and closed through the host's socket services.

   The socket's whole state is in the Java object: fd (its FileDescriptor, whose fd is
   the host handle + 1, -1 once closed), address, port, localport and timeout. A failure
   leaves what was already written; connect and accept write nothing before the host
   succeeded. */
#include "javanet.h"

#include <string.h>

#include "vmjni.h"
#include "vmobject.h"

using namespace javanet;

namespace {

/* Fills a zeroed record from an InetAddress and a port: family, then port and address
   in network order. False with NullPointerException (or an id's failure) pending. */
bool FillSocketAddress(JNIEnv* env, jobject address, jint port, SockAddr16* rec) {
  if (address == 0) {
    ThrowNull(env);
    return false;
  }
  jfieldID a = FieldInetAddressAddress(env);
  jfieldID family = a != 0 ? FieldInetAddressFamily(env) : 0;
  if (family == 0) return false;
  JNIHostFunctions* host = Host();
  rec->family = (uint16_t)env->functions->GetIntField(env, address, family);
  rec->portNet = host->HostToNetShort((uint16_t)port);
  rec->addrNet = host->HostToNetLong((uint32_t)env->functions->GetIntField(env, address, a));
  return true;
}

jint PortOf(const SockAddr16& rec) { return (jint)(uint16_t)Host()->NetToHostShort(rec.portNet); }

jint AddressOf(const SockAddr16& rec) { return (jint)Host()->NetToHostLong(rec.addrNet); }

/* The port the host gave the socket; -1 with "message: text" pending on failure. */
jint LocalPort(JNIEnv* env, jint handle, const char* message) {
  SockAddr16 rec;
  memset(&rec, 0, sizeof rec);
  jint len = sizeof rec;
  if (Host()->SocketGetName(handle, &rec, &len) < 0) {
    ThrowSocketException(env, message, true);
    return -1;
  }
  return PortOf(rec);
}

}  // namespace

extern "C" {

void JNICALL JavaNetPlainSocketImpl_initProto(JNIEnv*, jclass) {}

void JNICALL JavaNetPlainSocketImpl_socketCreate(JNIEnv* env, jobject self, jboolean stream) {
  jint old;
  jobject fd = GetSocketFd(env, self, &old);
  if (fd == 0) return;
  jint h = Host()->SocketCreate(2, stream ? 1 : 0, 0);
  if (h < 0) {
    ThrowSocketException(env, kCannotCreate, true);
    return;
  }
  StoreHandle(env, fd, h);
}

void JNICALL JavaNetPlainSocketImpl_socketConnect(JNIEnv* env, jobject self, jobject address, jint port) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return;
  SockAddr16 rec;
  memset(&rec, 0, sizeof rec);
  if (!FillSocketAddress(env, address, port, &rec)) return;
  jfieldID addressField = FieldSocketAddress(env);
  jfieldID portField = addressField != 0 ? FieldSocketPort(env) : 0;
  jfieldID localField = portField != 0 ? FieldSocketLocalPort(env) : 0;
  if (localField == 0) return;
  HostBlockBegin(env);
  jint r = Host()->SocketConnect(h, &rec, (jint)sizeof rec);
  HostBlockEnd(env);
  if (r < 0) {
    ThrowSocketException(env, kConnectFailed, true);
    return;
  }
  env->functions->SetObjectField(env, self, addressField, address);
  env->functions->SetIntField(env, self, portField, port);
  if (env->functions->GetIntField(env, self, localField) == 0) {
    jint local = LocalPort(env, h, kCannotGetName);
    if (local >= 0) env->functions->SetIntField(env, self, localField, local);
  }
}

void JNICALL JavaNetPlainSocketImpl_socketBind(JNIEnv* env, jobject self, jobject address, jint port) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return;
  SockAddr16 rec;
  memset(&rec, 0, sizeof rec);
  if (!FillSocketAddress(env, address, port, &rec)) return;
  jfieldID addressField = FieldSocketAddress(env);
  jfieldID localField = addressField != 0 ? FieldSocketLocalPort(env) : 0;
  if (localField == 0) return;
  if (Host()->SocketBind(h, &rec, (jint)sizeof rec) < 0) {
    ThrowSocketException(env, kCannotBind, true);
    return;
  }
  env->functions->SetObjectField(env, self, addressField, address);
  jint local = port;
  if (local == 0) {
    local = LocalPort(env, h, kCannotGetName);
    if (local < 0) return;
  }
  env->functions->SetIntField(env, self, localField, local);
}

void JNICALL JavaNetPlainSocketImpl_socketListen(JNIEnv* env, jobject self, jint count) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return;
  if (Host()->SocketListen(h, count) < 0) ThrowSocketException(env, kListenFailed, true);
}

void JNICALL JavaNetPlainSocketImpl_socketAccept(JNIEnv* env, jobject self, jobject s) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return;
  jfieldID fdField = FieldSocketFd(env);
  jfieldID addressField = fdField != 0 ? FieldSocketAddress(env) : 0;
  jfieldID portField = addressField != 0 ? FieldSocketPort(env) : 0;
  jfieldID localField = portField != 0 ? FieldSocketLocalPort(env) : 0;
  jfieldID timeoutField = localField != 0 ? FieldSocketTimeout(env) : 0;
  jfieldID inetAddress = timeoutField != 0 ? FieldInetAddressAddress(env) : 0;
  jfieldID inetFamily = inetAddress != 0 ? FieldInetAddressFamily(env) : 0;
  if (inetFamily == 0) return;
  // Everything the new connection is written into is there before one is taken: a
  // connection accepted for nowhere would be lost.
  if (s == 0) {
    ThrowNull(env);
    return;
  }
  jobject peer = env->functions->GetObjectField(env, s, addressField);
  jobject sfd = env->functions->GetObjectField(env, s, fdField);
  if (peer == 0 || sfd == 0) {
    ThrowNull(env);
    return;
  }
  jint timeout = env->functions->GetIntField(env, self, timeoutField);
  JNIHostFunctions* host = Host();
  const jlong started = WaitStart(timeout);
  SockAddr16 rec;
  jint nh;
  // Another round when another acceptor took the connection the wait saw (or it went).
  do {
    if (BoundedWait(env, h, TimeLeft(timeout, started), kAcceptFailed, kTimeout) != kWaitReady) return;
    memset(&rec, 0, sizeof rec);
    jint len = sizeof rec;
    HostBlockBegin(env);
    nh = host->SocketAcceptNow != NULL ? host->SocketAcceptNow(h, &rec, &len) : host->SocketAccept(h, &rec, &len);
    HostBlockEnd(env);
  } while (nh == kNothingNow && host->SocketAcceptNow != NULL);
  if (nh < 0) {
    ThrowSocketException(env, kAcceptFailed, true);
    return;
  }
  if (!StoreHandle(env, sfd, nh)) return;
  env->functions->SetIntField(env, s, portField, PortOf(rec));
  env->functions->SetIntField(env, peer, inetFamily, (jint)(int16_t)rec.family);
  env->functions->SetIntField(env, peer, inetAddress, AddressOf(rec));
  env->functions->SetIntField(env, s, localField, env->functions->GetIntField(env, self, localField));
}

jint JNICALL JavaNetPlainSocketImpl_socketAvailable(JNIEnv* env, jobject self) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return -1;
  jint count = 0;
  // A closed socket's handle goes to the host too, which refuses it with a text of its own.
  if (Host()->SocketAvailable(h, &count) < 0) {
    ThrowSocketException(env, kPollFailed, true);
    return 0;
  }
  return count < 0 ? 0 : count;
}

void JNICALL JavaNetPlainSocketImpl_socketClose(JNIEnv* env, jobject self) {
  jint h;
  jobject fd = GetSocketFd(env, self, &h);
  if (fd == 0 || h < 0) return;
  jfieldID field = FieldFileDescriptorFd(env);
  if (field == 0) return;
  env->functions->SetIntField(env, fd, field, -1);
  JNIHostFunctions* host = Host();
  // Linger on with 0 s asks for a reset: a shutdown of the sending side would end the
  // connection in order first. The receiving side still goes, to wake this socket's readers.
  jint onOff = 0, seconds = -1;
  bool reset = host->StreamGetLinger(h, &onOff, &seconds) == 0 && onOff != 0 && seconds == 0;
  host->SocketShutdown(h, reset ? 0 : 2);
  host->SocketClose(h);
}

void JNICALL JavaNetPlainSocketImpl_socketSetOption(JNIEnv* env, jobject self, jint cmd, jboolean on,
                                                    jobject value) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return;
  JNIHostFunctions* host = Host();
  switch (cmd) {
    case 1:
      if (host->StreamSetNoDelay(h, on ? 1 : 0) < 0) ThrowSocketException(env, kSetNoDelayFailed, true);
      return;
    case 128: {
      if (!on) {
        if (host->StreamSetLinger(h, 0, 0) < 0) ThrowSocketException(env, kSetLingerFailed, true);
        return;
      }
      // The time is the value's first word: only an Integer has one that means that.
      jclass integer = value != 0 ? ClassInteger(env) : 0;
      if (value != 0 && integer == 0) return;
      if (value == 0 || !env->functions->IsInstanceOf(env, value, integer)) {
        ThrowSocketException(env, kBadLinger, false);
        return;
      }
      jint seconds = (jint)VMJniHandle::UnHandle(env, value)->GetWord(0);
      if (host->StreamSetLinger(h, 1, seconds) < 0) ThrowSocketException(env, kSetLingerFailed, true);
      return;
    }
    case 4:
      // The host's reuse option (slot 87) is SO_REUSEADDR, whatever kind the socket is.
      if (host->DatagramSetReuse(h, on ? 1 : 0) < 0) ThrowSocketException(env, kSetReuseFailed, true);
      return;
    default:
      ThrowSocketException(env, kBadOption, false);
      return;
  }
}

jint JNICALL JavaNetPlainSocketImpl_socketGetOption(JNIEnv* env, jobject self, jint cmd) {
  jint h;
  if (GetSocketFd(env, self, &h) == 0) return -1;
  JNIHostFunctions* host = Host();
  switch (cmd) {
    case 1: {
      jint v = 0;
      if (host->StreamGetNoDelay(h, &v) < 0) {
        ThrowSocketException(env, kGetOptionFailed, false);
        return -1;
      }
      return v != 0 ? 1 : -1;
    }
    case 15: {
      SockAddr16 rec;
      memset(&rec, 0, sizeof rec);
      jint len = sizeof rec;
      if (host->SocketGetName(h, &rec, &len) < 0) {
        ThrowSocketException(env, kGetOptionFailed, true);
        return -1;
      }
      if (rec.addrNet == 0) return -1;
      return AddressOf(rec);
    }
    case 128: {
      jint onOff = 0, seconds = 0;
      if (host->StreamGetLinger(h, &onOff, &seconds) < 0) {
        ThrowSocketException(env, kGetOptionFailed, true);
        return -1;
      }
      return onOff == 0 ? -1 : seconds;
    }
    default:
      ThrowSocketException(env, kBadOption, false);
      return -1;
  }
}

}  // extern "C"
