/* What the java.net natives share: registration, the thrower of SocketException and the
   fixed messages, the socket's handle in its FileDescriptor, member ids from the natives'
   cache, and the bounded wait.

   A socket's FileDescriptor.fd holds the host handle + 1 (0: never made, -1: closed)
   whatever the class-library version. The natives keep nothing of a socket between
   calls, take no lock, and hold nothing (no monitor, no copy, no host block) across a
   call of the thread's poll. Host answers are checked against what was asked before any
   pointer moves by them. */
#ifndef PUX_JAVANET_H
#define PUX_JAVANET_H

#include "jnihost.h"
#include "vmforward.h"

namespace javanet {

/* The fixed messages (SocketException unless said otherwise). */
extern const char kSocketClosed[];        /* "Socket closed" */
extern const char kCannotCreate[];        /* "Cannot create socket" */
extern const char kCreateFailed[];        /* "Socket create failed" */
extern const char kConnectFailed[];       /* "Connect failed" */
extern const char kCannotBind[];          /* "Cannot bind socket" */
extern const char kCannotGetName[];       /* "Cannot get socket name" */
extern const char kListenFailed[];        /* "Listen failed" */
extern const char kAcceptFailed[];        /* "Accept failed" */
extern const char kSetTimeoutFailed[];    /* "Set timeout failed" */
extern const char kPollFailed[];          /* "Poll failed" */
extern const char kSetNoDelayFailed[];    /* "Set TCP_NODELAY failed" */
extern const char kBadLinger[];           /* "invalid parameter for SO_LINGER" */
extern const char kSetLingerFailed[];     /* "Set SO_LINGER failed" */
extern const char kBadOption[];           /* "Bad socket option" */
extern const char kGetOptionFailed[];     /* "Get socket option failed" */
extern const char kReadFailed[];          /* "SocketRead failed" */
extern const char kReceiveFailed[];       /* "Receive failed" */
extern const char kStreamSendFailed[];    /* "send failed" */
extern const char kSendFailed[];          /* "Send failed" */
extern const char kPacketTooLarge[];      /* "Datagram packet too large" */
extern const char kSetTtlFailed[];        /* "Set ttl failed" */
extern const char kGetTtlFailed[];        /* "Get ttl failed" */
extern const char kNotMulticast[];        /* "Not a multicast address multicast" */
extern const char kJoinFailed[];          /* "Multicast join failed" */
extern const char kLeaveFailed[];         /* "Multicast leave group failed" */
extern const char kSetMulticastIfFailed[];/* "Set IP_MULTICAST_IF failed" */
extern const char kSetReuseFailed[];      /* "Set REUSEADDR failed" */
extern const char kBadDatagramSetOption[];/* "invalid DatagramSocket option" */
extern const char kGetMulticastIfFailed[];/* "Get IP_MULTICAST_IF failed" */
extern const char kBadDatagramGetOption[];/* "Invalid DatagramSocket option" */
extern const char kReceiveTimedOut[];     /* "Receive timed out", InterruptedIOException */
extern const char kTimeout[];             /* "timeout", InterruptedIOException */

/* The most an IPv4 datagram carries. */
enum : uint32_t { kMaxDatagram = 65507 };

JNIHostFunctions* Host();
bool Pending(JNIEnv* env);

/* SocketException with the message, followed by ": " and the host's failure text when
   withHostText (read before any other host call). The whole message is at most 511
   bytes, cut at a character boundary. Without the class, the failure of its look-up
   stays pending (InternalError with the message when there is none). */
void ThrowSocketException(JNIEnv* env, const char* message, bool withHostText);
/* InterruptedIOException and UnknownHostException with a fixed text, the same way. */
void ThrowInterruptedIO(JNIEnv* env, const char* message);
void ThrowUnknownHost(JNIEnv* env);
/* NullPointerException, ArrayIndexOutOfBoundsException: no message. */
void ThrowNull(JNIEnv* env);
void ThrowIndex(JNIEnv* env);

/* ---- member ids: never 0 without an exception pending ---- */
jfieldID FieldFileDescriptorFd(JNIEnv* env);
jfieldID FieldInetAddressAddress(JNIEnv* env);
jfieldID FieldInetAddressFamily(JNIEnv* env);
jmethodID InetAddressConstructor(JNIEnv* env);
jclass ClassInetAddress(JNIEnv* env);
jfieldID FieldSocketFd(JNIEnv* env);
jfieldID FieldSocketAddress(JNIEnv* env);
jfieldID FieldSocketPort(JNIEnv* env);
jfieldID FieldSocketLocalPort(JNIEnv* env);
jfieldID FieldSocketTimeout(JNIEnv* env);
jclass ClassPlainSocketImpl(JNIEnv* env);
jfieldID FieldDatagramFd(JNIEnv* env);
jfieldID FieldDatagramLocalPort(JNIEnv* env);
jfieldID FieldDatagramTimeout(JNIEnv* env);
jfieldID FieldPacketBuf(JNIEnv* env);
jfieldID FieldPacketLength(JNIEnv* env);
jfieldID FieldPacketAddress(JNIEnv* env);
jfieldID FieldPacketPort(JNIEnv* env);
jfieldID FieldInputStreamImpl(JNIEnv* env);
/* java/lang/Integer, whose value is its first body word; 0 with the failure pending. */
jclass ClassInteger(JNIEnv* env);

/* ---- the socket of a Java object ---- */

/* The FileDescriptor in the object's fd field, read through the given field id (a local
   reference), with the host handle it holds. NULL with "Socket closed" pending when the
   field is null, or with the failure pending when it is not a FileDescriptor. */
jobject GetSocketFd(JNIEnv* env, jobject object, jint* handle);
jobject GetDatagramSocketFd(JNIEnv* env, jobject object, jint* handle);
/* The same for a socket stream, through its impl (a PlainSocketImpl; "Socket closed"
   without one): never the descriptor the stream has as a file stream. */
jobject GetStreamFd(JNIEnv* env, jobject stream, bool input, jint* handle);
/* FileDescriptor.fd for a new handle; false (the handle closed, the exception pending)
   for a handle the field cannot hold. */
bool StoreHandle(JNIEnv* env, jobject descriptor, jint handle);

/* The byte array a handle names, NULL for anything else. */
VMArray* ByteArrayOf(JNIEnv* env, jobject array);
/* off and len name elements inside an array of count elements: signs first, then an
   unsigned sum that cannot wrap. */
inline bool RangeFits(jint off, jint len, uint32_t count) {
  return off >= 0 && len >= 0 && (uint32_t)off + (uint32_t)len <= count;
}

/* ---- waiting ---- */

/* The answers of the host's socket services that may block run between these two: the
   thread touches no reference meanwhile, only the storage of arrays its frame holds, and
   finds every object again through its reference afterwards. */
void HostBlockBegin(JNIEnv* env);
void HostBlockEnd(JNIEnv* env);

/* Calls the thread's poll; false (an exception pending: the poll's own, else
   ThreadDeath) when it answers that the thread is to stop. */
bool PollThread(JNIEnv* env);

enum WaitOutcome { kWaitReady, kWaitExpired, kWaitFailed };
/* Waits until the socket has input, in steps of at most 1000 ms with a poll of the
   thread after each. Timeout 0 waits without limit (a failure raises firstMessage with
   the host's text); a positive one at most that long (a failed step raises "Set timeout
   failed"; expiry InterruptedIOException expiredMessage); a negative one expires at once. */
WaitOutcome BoundedWait(JNIEnv* env, jint handle, jint timeout, const char* firstMessage,
                        const char* expiredMessage);

/* What the host's no-wait receive and accept (slots 107-110) answer when what the wait
   saw has gone meanwhile: the caller waits again with the time its limit has left. */
enum : jint { kNothingNow = -2 };
/* The host's clock when a wait with this timeout begins (0 for none is needed). */
jlong WaitStart(jint timeout);
/* The timeout for the next round of a wait begun at started: 0 (no limit) stays 0; a
   limit used up answers -1, which BoundedWait takes as expired. */
jint TimeLeft(jint timeout, jlong started);

}  // namespace javanet

/* ---- registration ---- */
extern "C" {
void Register_java_net_InetAddress(void);
void Register_java_net_InetAddressImpl(void);
void Register_java_net_PlainDatagramSocketImpl(void);
void Register_java_net_PlainSocketImpl(void);
void Register_java_net_SocketInputStream(void);
void Register_java_net_SocketOutputStream(void);
void Register_java_net_DatagramPacket(void);
}
JNIEXPORT jint HOSTCALL Register_java_net(jint unused);

/* ---- the natives, for the tests that call them directly ---- */
extern "C" {
void JNICALL JavaNetInetAddress_init(JNIEnv* env, jclass cls);
jstring JNICALL JavaNetInetAddressImpl_getLocalHostName(JNIEnv* env, jobject self);
void JNICALL JavaNetInetAddressImpl_makeAnyLocalAddress(JNIEnv* env, jobject self, jobject address);
jobjectArray JNICALL JavaNetInetAddressImpl_lookupAllHostAddr(JNIEnv* env, jobject self, jstring host);
jstring JNICALL JavaNetInetAddressImpl_getHostByAddr(JNIEnv* env, jobject self, jint address);
jint JNICALL JavaNetInetAddressImpl_getInetFamily(JNIEnv* env, jobject self);

void JNICALL JavaNetPlainSocketImpl_socketCreate(JNIEnv* env, jobject self, jboolean stream);
void JNICALL JavaNetPlainSocketImpl_socketConnect(JNIEnv* env, jobject self, jobject address, jint port);
void JNICALL JavaNetPlainSocketImpl_socketBind(JNIEnv* env, jobject self, jobject address, jint port);
void JNICALL JavaNetPlainSocketImpl_socketListen(JNIEnv* env, jobject self, jint count);
void JNICALL JavaNetPlainSocketImpl_socketAccept(JNIEnv* env, jobject self, jobject s);
jint JNICALL JavaNetPlainSocketImpl_socketAvailable(JNIEnv* env, jobject self);
void JNICALL JavaNetPlainSocketImpl_socketClose(JNIEnv* env, jobject self);
void JNICALL JavaNetPlainSocketImpl_initProto(JNIEnv* env, jclass cls);
void JNICALL JavaNetPlainSocketImpl_socketSetOption(JNIEnv* env, jobject self, jint cmd, jboolean on, jobject value);
jint JNICALL JavaNetPlainSocketImpl_socketGetOption(JNIEnv* env, jobject self, jint cmd);

void JNICALL JavaNetSocketInputStream_init(JNIEnv* env, jclass cls);
jint JNICALL JavaNetSocketInputStream_socketRead(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
void JNICALL JavaNetSocketOutputStream_init(JNIEnv* env, jclass cls);
void JNICALL JavaNetSocketOutputStream_socketWrite(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
void JNICALL JavaNetDatagramPacket_init(JNIEnv* env, jclass cls);

void JNICALL JavaNetPlainDatagramSocketImpl_init(JNIEnv* env, jclass cls);
void JNICALL JavaNetPlainDatagramSocketImpl_bind(JNIEnv* env, jobject self, jint port, jobject address);
void JNICALL JavaNetPlainDatagramSocketImpl_send(JNIEnv* env, jobject self, jobject packet);
jint JNICALL JavaNetPlainDatagramSocketImpl_peek(JNIEnv* env, jobject self, jobject address);
void JNICALL JavaNetPlainDatagramSocketImpl_receive(JNIEnv* env, jobject self, jobject packet);
void JNICALL JavaNetPlainDatagramSocketImpl_setTTL(JNIEnv* env, jobject self, jbyte ttl);
jbyte JNICALL JavaNetPlainDatagramSocketImpl_getTTL(JNIEnv* env, jobject self);
void JNICALL JavaNetPlainDatagramSocketImpl_join(JNIEnv* env, jobject self, jobject group);
void JNICALL JavaNetPlainDatagramSocketImpl_leave(JNIEnv* env, jobject self, jobject group);
void JNICALL JavaNetPlainDatagramSocketImpl_datagramSocketCreate(JNIEnv* env, jobject self);
void JNICALL JavaNetPlainDatagramSocketImpl_datagramSocketClose(JNIEnv* env, jobject self);
void JNICALL JavaNetPlainDatagramSocketImpl_socketSetOption(JNIEnv* env, jobject self, jint opt, jobject value);
jint JNICALL JavaNetPlainDatagramSocketImpl_socketGetOption(JNIEnv* env, jobject self, jint opt);
}

#endif
