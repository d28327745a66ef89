/* The world of the java.net natives' tests: a machine over the class library with the
   java.net natives registered, sockets made through the library's own classes on the
   loopback, the natives called directly through their method ids, and the reference
   host's overlay for answers a sound host never gives. */
#ifndef PUX_TESTS_NET_SUPPORT_H
#define PUX_TESTS_NET_SUPPORT_H

#include <stdint.h>

#include <string>
#include <vector>

#include "jnifunc_support.h"
#include "net/javanet.h"
#include "refhost.h"

namespace net_test {

/* Whether a socket can be bound to 127.0.0.1 here. */
bool LoopbackUsable();

/* Host calls the overlay saw: slot, handle, address and count (as the slot has them). */
struct HostCall {
  int slot;
  jint handle;
  const void* address;
  jint count;
  jint result;
};

/* The overlay: every field that is set replaces the real service; Log collects the calls
   of the overlaid slots that record themselves. */
struct Overlay {
  JNIHostFunctions table;
  Overlay();
  void Install();
};
std::vector<HostCall>& Log();

class NetTest : public jnifunc_test::JniTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* Calls of network slots 60-96 so far. */
  uint32_t HostCalls();

  /* The library's objects. */
  jobject Address(const char* dotted);  // InetAddress.getByName of a dotted address
  jobject Server(jint port = 0);        // new ServerSocket(port)
  jint LocalPort(jobject serverOrSocket);
  jobject Connect(jint port);           // new Socket(127.0.0.1, port)
  jobject Accept(jobject server);       // server.accept()
  jobject Impl(jobject socketOrServer); // its SocketImpl
  jobject Input(jobject socket);        // getInputStream()
  jobject Output(jobject socket);       // getOutputStream()
  jobject Datagram(jint port = 0);      // new DatagramSocket(port)
  jobject DatagramImpl(jobject datagramSocket);
  /* A connected pair: client socket and the accepted one. */
  void Pair(jobject* client, jobject* accepted);

  /* The natives themselves, through their ids (no Java check before them). */
  jint Read(jobject in, jbyteArray b, jint off, jint len);
  void Write(jobject out, jbyteArray b, jint off, jint len);
  void CallNative(jobject self, const char* cls, const char* name, const char* sig, ...);
  jint CallIntNative(jobject self, const char* cls, const char* name, const char* sig, ...);

  /* Arrays. */
  jbyteArray Bytes(uint32_t size, uint8_t seed);
  std::vector<uint8_t> Contents(jbyteArray b);
  /* The address of element i, and how many bytes lie together from there. */
  const uint8_t* ElementAt(jbyteArray b, uint32_t i, uint32_t* run);

  /* Int fields by class and name. */
  jint IntField(jobject o, const char* cls, const char* name);
  void SetIntField(jobject o, const char* cls, const char* name, jint value);
  jobject ObjectField(jobject o, const char* cls, const char* name, const char* sig);

  /* Clears a pending exception and names it (dotted, "" for none); message holds its text. */
  std::string Exception() { return Thrown(); }
};

}  // namespace net_test

#endif
