#include "javanet.h"

#include "registration.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace javanet {

const char kSocketClosed[] = "Socket closed";
const char kCannotCreate[] = "Cannot create socket";
const char kCreateFailed[] = "Socket create failed";
const char kConnectFailed[] = "Connect failed";
const char kCannotBind[] = "Cannot bind socket";
const char kCannotGetName[] = "Cannot get socket name";
const char kListenFailed[] = "Listen failed";
const char kAcceptFailed[] = "Accept failed";
const char kSetTimeoutFailed[] = "Set timeout failed";
const char kPollFailed[] = "Poll failed";
const char kSetNoDelayFailed[] = "Set TCP_NODELAY failed";
const char kBadLinger[] = "invalid parameter for SO_LINGER";
const char kSetLingerFailed[] = "Set SO_LINGER failed";
const char kBadOption[] = "Bad socket option";
const char kGetOptionFailed[] = "Get socket option failed";
const char kReadFailed[] = "SocketRead failed";
const char kReceiveFailed[] = "Receive failed";
const char kStreamSendFailed[] = "send failed";
const char kSendFailed[] = "Send failed";
const char kPacketTooLarge[] = "Datagram packet too large";
const char kSetTtlFailed[] = "Set ttl failed";
const char kGetTtlFailed[] = "Get ttl failed";
const char kNotMulticast[] = "Not a multicast address multicast";
const char kJoinFailed[] = "Multicast join failed";
const char kLeaveFailed[] = "Multicast leave group failed";
const char kSetMulticastIfFailed[] = "Set IP_MULTICAST_IF failed";
const char kSetReuseFailed[] = "Set REUSEADDR failed";
const char kBadDatagramSetOption[] = "invalid DatagramSocket option";
const char kGetMulticastIfFailed[] = "Get IP_MULTICAST_IF failed";
const char kBadDatagramGetOption[] = "Invalid DatagramSocket option";
const char kReceiveTimedOut[] = "Receive timed out";
const char kTimeout[] = "timeout";

namespace {

VMJniUtils* Cache(JNIEnv* env) { return env->javaVM->nameSpace->GetJNIUtils(); }

/* An id or class that the cache could not give leaves an error behind in every case. */
template <typename T>
T Checked(JNIEnv* env, T id) {
  if (id == 0 && !Pending(env)) VMJniThrowInternal(env, VMStatus_InternalError, "missing field ID");
  return id;
}

/* Appends text to out (which holds used bytes of room) as modified UTF-8: a byte that
   does not begin a well-formed one-, two- or three-byte character becomes '?', and a
   character that would not fit whole is left out with everything after it. */
size_t AppendText(char* out, size_t used, size_t room, const char* text) {
  const unsigned char* p = (const unsigned char*)text;
  while (*p != 0) {
    unsigned char c = p[0];
    size_t n = 1;
    bool ok;
    if (c < 0x80) {
      ok = true;
    } else if ((c & 0xE0) == 0xC0) {
      n = 2;
      ok = (p[1] & 0xC0) == 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
      ok = (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80;
    } else {
      ok = false;
    }
    if (!ok) n = 1;
    if (used + n >= room) break;
    if (ok) {
      memcpy(out + used, p, n);
    } else {
      out[used] = '?';
    }
    used += n;
    p += n;
  }
  out[used] = 0;
  return used;
}

/* ThrowNew on a class the cache holds; without it, the look-up's failure stays. */
void ThrowCached(JNIEnv* env, jclass cls, const char* message) {
  if (cls == 0) {
    if (!Pending(env)) VMJniThrowInternal(env, VMStatus_InternalError, message);
    return;
  }
  if (env->functions->ThrowNew(env, cls, message) != 0 && !Pending(env)) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  }
}

}  // namespace

JNIHostFunctions* Host() { return VMUtils::RuntimeGetHostFunctions(); }

bool Pending(JNIEnv* env) { return env->thread->GetException() != NULL; }

void ThrowSocketException(JNIEnv* env, const char* message, bool withHostText) {
  char text[512];
  size_t used = AppendText(text, 0, sizeof text, message);
  if (withHostText) {
    const char* hostText = Host()->SocketErrorText();
    used = AppendText(text, used, sizeof text, ": ");
    AppendText(text, used, sizeof text, hostText != NULL ? hostText : "");
  }
  VMJniUtils* cache = Cache(env);
  ThrowCached(env, cache != NULL ? cache->GetClassSocketException(env) : (jclass)0, text);
}

void ThrowInterruptedIO(JNIEnv* env, const char* message) {
  VMJniUtils* cache = Cache(env);
  ThrowCached(env, cache != NULL ? cache->GetClassInterruptedIOException(env) : (jclass)0, message);
}

void ThrowUnknownHost(JNIEnv* env) {
  VMJniUtils* cache = Cache(env);
  ThrowCached(env, cache != NULL ? cache->GetClassUnknownHostException(env) : (jclass)0, "");
}

void ThrowNull(JNIEnv* env) { VMJniThrowInternal(env, VMStatus_NullPointerException, NULL); }

void ThrowIndex(JNIEnv* env) { VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL); }

/* ---- ids ---- */

#define PUX_NET_ID(Name, Type, Getter) \
  Type Name(JNIEnv* env) { return Checked(env, Cache(env)->Getter(env)); }
PUX_NET_ID(FieldFileDescriptorFd, jfieldID, GetFieldFileDescriptor_fd)
PUX_NET_ID(FieldInetAddressAddress, jfieldID, GetFieldInetAddress_address)
PUX_NET_ID(FieldInetAddressFamily, jfieldID, GetFieldInetAddress_family)
PUX_NET_ID(InetAddressConstructor, jmethodID, GetFieldInetAddress_constructor)
PUX_NET_ID(ClassInetAddress, jclass, GetClassInetAddress)
PUX_NET_ID(FieldSocketFd, jfieldID, GetFieldPlainSocketImpl_fd)
PUX_NET_ID(FieldSocketAddress, jfieldID, GetFieldPlainSocketImpl_address)
PUX_NET_ID(FieldSocketPort, jfieldID, GetFieldPlainSocketImpl_port)
PUX_NET_ID(FieldSocketLocalPort, jfieldID, GetFieldPlainSocketImpl_localport)
PUX_NET_ID(FieldSocketTimeout, jfieldID, GetFieldPlainSocketImpl_timeout)
PUX_NET_ID(ClassPlainSocketImpl, jclass, GetClassPlainSocketImpl)
PUX_NET_ID(FieldDatagramFd, jfieldID, GetFieldPlainDatagramSocketImpl_fd)
PUX_NET_ID(FieldDatagramLocalPort, jfieldID, GetFieldPlainDatagramSocketImpl_localPort)
PUX_NET_ID(FieldDatagramTimeout, jfieldID, GetFieldPlainDatagramSocketImpl_timeout)
PUX_NET_ID(FieldPacketBuf, jfieldID, GetFieldDatagramPacket_buf)
PUX_NET_ID(FieldPacketLength, jfieldID, GetFieldDatagramPacket_length)
PUX_NET_ID(FieldPacketAddress, jfieldID, GetFieldDatagramPacket_address)
PUX_NET_ID(FieldPacketPort, jfieldID, GetFieldDatagramPacket_port)
PUX_NET_ID(FieldInputStreamImpl, jfieldID, GetFieldSocketInputStream_impl)
#undef PUX_NET_ID

jclass ClassInteger(JNIEnv* env) {
  jclass cls = env->functions->FindClass(env, "java/lang/Integer");
  if (cls == 0 && !Pending(env)) VMJniThrowInternal(env, VMStatus_InternalError, "missing class java/lang/Integer");
  return cls;
}

/* ---- descriptors ---- */

namespace {

jobject Descriptor(JNIEnv* env, jobject object, jfieldID field, jint* handle) {
  if (field == 0) return 0;
  if (VMJniHandle::UnHandle(env, object) == NULL) {
    ThrowNull(env);
    return 0;
  }
  jobject descriptor = env->functions->GetObjectField(env, object, field);
  if (Pending(env)) return 0;  // an object without the field
  if (descriptor == 0) {
    ThrowSocketException(env, kSocketClosed, false);
    return 0;
  }
  // Read by slot: the word must really be a FileDescriptor before its own word is read.
  VMJniUtils* cache = Cache(env);
  jclass fdClass = Checked(env, cache->GetClassFileDescriptor(env));
  jfieldID fd = FieldFileDescriptorFd(env);
  if (fdClass == 0 || fd == 0) return 0;
  if (!env->functions->IsInstanceOf(env, descriptor, fdClass)) {
    VMJniThrowInternal(env, VMStatus_InternalError, "socket descriptor is not a FileDescriptor");
    return 0;
  }
  // In unsigned arithmetic: 0 - 1 and INT_MIN - 1 are no values of a signed word. A
  // closed socket's -1 passes as -2, which the host refuses.
  *handle = (jint)((uint32_t)env->functions->GetIntField(env, descriptor, fd) - 1u);
  return descriptor;
}

}  // namespace

jobject GetSocketFd(JNIEnv* env, jobject object, jint* handle) {
  return Descriptor(env, object, FieldSocketFd(env), handle);
}

jobject GetDatagramSocketFd(JNIEnv* env, jobject object, jint* handle) {
  return Descriptor(env, object, FieldDatagramFd(env), handle);
}

/* A socket stream reaches its socket through its impl, never through the descriptor it
   has as a file stream: that one is handed out by the public getFD, and a file stream
   made on it could close the socket's handle behind the socket's back. */
jobject GetStreamFd(JNIEnv* env, jobject stream, bool input, jint* handle) {
  if (VMJniHandle::UnHandle(env, stream) == NULL) {
    ThrowNull(env);
    return 0;
  }
  jfieldID implField;
  if (input) {
    implField = FieldInputStreamImpl(env);
  } else {
    // Not cached: found on the stream's own class, as the input stream's is in the cache.
    jclass cls = env->functions->GetObjectClass(env, stream);
    implField = cls != 0 ? env->functions->GetFieldID(env, cls, "impl", "Ljava/net/SocketImpl;") : 0;
    if (cls != 0) env->functions->DeleteLocalRef(env, cls);
    implField = Checked(env, implField);
  }
  jclass plain = implField != 0 ? ClassPlainSocketImpl(env) : 0;
  if (plain == 0) return 0;
  jobject impl = env->functions->GetObjectField(env, stream, implField);
  if (Pending(env)) return 0;
  // A stream that was never given its socket has none to read or write.
  if (impl == 0) {
    ThrowSocketException(env, kSocketClosed, false);
    return 0;
  }
  // The descriptor is read by its slot in PlainSocketImpl: another SocketImpl has no such word.
  if (!env->functions->IsInstanceOf(env, impl, plain)) {
    VMJniThrowInternal(env, VMStatus_InternalError, "socket stream without a PlainSocketImpl");
    return 0;
  }
  jobject descriptor = GetSocketFd(env, impl, handle);
  env->functions->DeleteLocalRef(env, impl);
  return descriptor;
}

bool StoreHandle(JNIEnv* env, jobject descriptor, jint handle) {
  jfieldID fd = FieldFileDescriptorFd(env);
  if (fd == 0 || handle < 0 || handle == 0x7FFFFFFF) {
    Host()->SocketClose(handle);
    if (!Pending(env)) VMJniThrowInternal(env, VMStatus_InternalError, "socket handle out of range");
    return false;
  }
  env->functions->SetIntField(env, descriptor, fd, handle + 1);
  return true;
}

VMArray* ByteArrayOf(JNIEnv* env, jobject array) {
  VMObject* object = VMJniHandle::UnHandle(env, array);
  if (object == NULL || !object->GetHasClass()) return NULL;
  VMClass* byteArrayClass = (VMClass*)env->javaVM->nameSpace->GetArrayClassList()->GetVMbyteArrayClass();
  if (object->GetClass() != byteArrayClass || !object->GetIsScalarArray()) return NULL;
  return (VMArray*)object;
}

/* ---- waiting ---- */

/* The thread counts as stopped for a collection while the host may block it (a safe
   region of the machine): a peer that never answers must not hold every collection of
   the machine back. */
void HostBlockBegin(JNIEnv* env) {
  if (env != NULL) VM::EnterSafeRegion(env->thread);
}

/* Running again: a collection that began meanwhile is waited for before the native
   touches another reference, which it reads again through its handle. */
void HostBlockEnd(JNIEnv* env) {
  if (env != NULL) VM::LeaveSafeRegion(env->thread);
}

bool PollThread(JNIEnv* env) {
  if (env->thread->Yield() == 0) return true;
  // A request the poll served may have left its own exception; a host stop has none.
  if (!Pending(env)) VMJniThrowInternal(env, VMStatus_ThreadDeath, NULL);
  return false;
}

WaitOutcome BoundedWait(JNIEnv* env, jint handle, jint timeout, const char* firstMessage,
                        const char* expiredMessage) {
  JNIHostFunctions* host = Host();
  if (timeout == 0) {
    for (;;) {
      HostBlockBegin(env);
      jint r = host->SocketWait(handle, 1000);
      HostBlockEnd(env);
      if (r > 0) return kWaitReady;
      if (r < 0) {
        ThrowSocketException(env, firstMessage, true);
        return kWaitFailed;
      }
      if (!PollThread(env)) return kWaitFailed;
    }
  }
  jint remaining = timeout;
  while (remaining > 0) {
    jint step = remaining > 1000 ? 1000 : remaining;
    HostBlockBegin(env);
    jint r = host->SocketWait(handle, step);
    HostBlockEnd(env);
    if (r > 0) return kWaitReady;
    if (r < 0) {
      ThrowSocketException(env, kSetTimeoutFailed, true);
      return kWaitFailed;
    }
    remaining -= 1000;
    if (!PollThread(env)) return kWaitFailed;
  }
  ThrowInterruptedIO(env, expiredMessage);
  return kWaitExpired;
}

jlong WaitStart(jint timeout) { return timeout > 0 ? Host()->CurrentTimeMillis() : 0; }

jint TimeLeft(jint timeout, jlong started) {
  if (timeout <= 0) return timeout;
  jlong spent = Host()->CurrentTimeMillis() - started;
  // A clock set back counts as no time spent.
  if (spent < 0) spent = 0;
  return spent >= timeout ? -1 : (jint)(timeout - spent);
}

}  // namespace javanet

/* ---- registration ---- */

/* JNI_RegisterNative keeps the tables by address: static data for the library's life. */
static const JNINativeMethod kInetAddressNatives[] = {
    PUX_NATIVE("init", "()V", JavaNetInetAddress_init),
};

static const JNINativeMethod kInetAddressImplNatives[] = {
    PUX_NATIVE("getLocalHostName", "()Ljava/lang/String;", JavaNetInetAddressImpl_getLocalHostName),
    PUX_NATIVE("makeAnyLocalAddress", "(Ljava/net/InetAddress;)V", JavaNetInetAddressImpl_makeAnyLocalAddress),
    PUX_NATIVE("lookupAllHostAddr", "(Ljava/lang/String;)[[B", JavaNetInetAddressImpl_lookupAllHostAddr),
    PUX_NATIVE("getHostByAddr", "(I)Ljava/lang/String;", JavaNetInetAddressImpl_getHostByAddr),
    PUX_NATIVE("getInetFamily", "()I", JavaNetInetAddressImpl_getInetFamily),
};

static const JNINativeMethod kPlainDatagramSocketImplNatives[] = {
    PUX_NATIVE("init", "()V", JavaNetPlainDatagramSocketImpl_init),
    PUX_NATIVE("bind", "(ILjava/net/InetAddress;)V", JavaNetPlainDatagramSocketImpl_bind),
    PUX_NATIVE("send", "(Ljava/net/DatagramPacket;)V", JavaNetPlainDatagramSocketImpl_send),
    PUX_NATIVE("peek", "(Ljava/net/InetAddress;)I", JavaNetPlainDatagramSocketImpl_peek),
    PUX_NATIVE("receive", "(Ljava/net/DatagramPacket;)V", JavaNetPlainDatagramSocketImpl_receive),
    PUX_NATIVE("setTTL", "(B)V", JavaNetPlainDatagramSocketImpl_setTTL),
    PUX_NATIVE("getTTL", "()B", JavaNetPlainDatagramSocketImpl_getTTL),
    PUX_NATIVE("join", "(Ljava/net/InetAddress;)V", JavaNetPlainDatagramSocketImpl_join),
    PUX_NATIVE("leave", "(Ljava/net/InetAddress;)V", JavaNetPlainDatagramSocketImpl_leave),
    PUX_NATIVE("datagramSocketCreate", "()V", JavaNetPlainDatagramSocketImpl_datagramSocketCreate),
    PUX_NATIVE("datagramSocketClose", "()V", JavaNetPlainDatagramSocketImpl_datagramSocketClose),
    PUX_NATIVE("socketSetOption", "(ILjava/lang/Object;)V", JavaNetPlainDatagramSocketImpl_socketSetOption),
    PUX_NATIVE("socketGetOption", "(I)I", JavaNetPlainDatagramSocketImpl_socketGetOption),
};

static const JNINativeMethod kPlainSocketImplNatives[] = {
    PUX_NATIVE("socketCreate", "(Z)V", JavaNetPlainSocketImpl_socketCreate),
    PUX_NATIVE("socketConnect", "(Ljava/net/InetAddress;I)V", JavaNetPlainSocketImpl_socketConnect),
    PUX_NATIVE("socketBind", "(Ljava/net/InetAddress;I)V", JavaNetPlainSocketImpl_socketBind),
    PUX_NATIVE("socketListen", "(I)V", JavaNetPlainSocketImpl_socketListen),
    PUX_NATIVE("socketAccept", "(Ljava/net/SocketImpl;)V", JavaNetPlainSocketImpl_socketAccept),
    PUX_NATIVE("socketAvailable", "()I", JavaNetPlainSocketImpl_socketAvailable),
    PUX_NATIVE("socketClose", "()V", JavaNetPlainSocketImpl_socketClose),
    PUX_NATIVE("initProto", "()V", JavaNetPlainSocketImpl_initProto),
    PUX_NATIVE("socketSetOption", "(IZLjava/lang/Object;)V", JavaNetPlainSocketImpl_socketSetOption),
    PUX_NATIVE("socketGetOption", "(I)I", JavaNetPlainSocketImpl_socketGetOption),
};

static const JNINativeMethod kSocketInputStreamNatives[] = {
    PUX_NATIVE("init", "()V", JavaNetSocketInputStream_init),
    PUX_NATIVE("socketRead", "([BII)I", JavaNetSocketInputStream_socketRead),
};

static const JNINativeMethod kSocketOutputStreamNatives[] = {
    PUX_NATIVE("init", "()V", JavaNetSocketOutputStream_init),
    PUX_NATIVE("socketWrite", "([BII)V", JavaNetSocketOutputStream_socketWrite),
};

static const JNINativeMethod kDatagramPacketNatives[] = {
    PUX_NATIVE("init", "()V", JavaNetDatagramPacket_init),
};

void Register_java_net_InetAddress(void) {
  JNI_RegisterNative("java/net/InetAddress", kInetAddressNatives, PUX_ROWS(kInetAddressNatives));
}

void Register_java_net_InetAddressImpl(void) {
  javanet::Host()->NetStartup();
  JNI_RegisterNative("java/net/InetAddressImpl", kInetAddressImplNatives, PUX_ROWS(kInetAddressImplNatives));
}

void Register_java_net_PlainDatagramSocketImpl(void) {
  JNI_RegisterNative("java/net/PlainDatagramSocketImpl", kPlainDatagramSocketImplNatives,
                     PUX_ROWS(kPlainDatagramSocketImplNatives));
}

void Register_java_net_PlainSocketImpl(void) {
  javanet::Host()->NetStartup();
  JNI_RegisterNative("java/net/PlainSocketImpl", kPlainSocketImplNatives, PUX_ROWS(kPlainSocketImplNatives));
}

void Register_java_net_SocketInputStream(void) {
  javanet::Host()->NetStartup();
  JNI_RegisterNative("java/net/SocketInputStream", kSocketInputStreamNatives,
                     PUX_ROWS(kSocketInputStreamNatives));
}

void Register_java_net_SocketOutputStream(void) {
  javanet::Host()->NetStartup();
  JNI_RegisterNative("java/net/SocketOutputStream", kSocketOutputStreamNatives,
                     PUX_ROWS(kSocketOutputStreamNatives));
}

void Register_java_net_DatagramPacket(void) {
  JNI_RegisterNative("java/net/DatagramPacket", kDatagramPacketNatives, PUX_ROWS(kDatagramPacketNatives));
}

/* Registers the java.net tables again (DatagramPacket's stays as it is). */
JNIEXPORT jint HOSTCALL Register_java_net(jint) {
  Register_java_net_SocketOutputStream();
  Register_java_net_InetAddressImpl();
  Register_java_net_PlainDatagramSocketImpl();
  Register_java_net_PlainSocketImpl();
  Register_java_net_SocketInputStream();
  Register_java_net_InetAddress();
  return 0;
}
