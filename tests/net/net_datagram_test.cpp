/* Datagram sockets: packets up to the largest IPv4 datagram across the array's pieces,
   the packet's offset and length, host answers out of contract, peek, options and
   multicast checks, close. */
#include <string.h>

#include <atomic>

#include "net_support.h"

namespace net_test {
namespace {

const JNIHostFunctions* Real() { return refhost::RealNetworkServices(); }

std::atomic<int> gScript{0};
std::atomic<jint> gTtlSeen{0};

jint HOSTCALL LoggedSendTo(jint h, const void* buf, jint n, const SockAddr16* to) {
  jint r;
  switch (gScript.load()) {
    case 1: r = -2; break;
    case 2: r = n - 1; break;
    default: r = Real()->SocketSendTo(h, buf, n, to); break;
  }
  Log().push_back({82, h, buf, n, r});
  return r;
}

jint HOSTCALL WrongRecvFrom(jint h, void* buf, jint n, SockAddr16* from) {
  jint r = Real()->SocketRecvFrom(h, buf, n, from);
  if (gScript.load() == 1) r = n + 1;
  if (gScript.load() == 2) r = -2;
  Log().push_back({80, h, buf, n, r});
  return r;
}

jint HOSTCALL SeenTTL(jint h, jint ttl) {
  gTtlSeen = ttl;
  return Real()->SocketSetTTL(h, ttl);
}

class DatagramTest : public NetTest {
 protected:
  jobject Packet(jbyteArray b, jint off, jint len, jint port) {
    jobject p = f->NewObject(env, Cls("java/net/DatagramPacket"),
                             Method("java/net/DatagramPacket", "<init>", "([BIILjava/net/InetAddress;I)V"), b, off, len,
                             Address("127.0.0.1"), port);
    EXPECT_NE(nullptr, p) << Thrown() << " " << message;
    return p;
  }
  jobject Empty(jbyteArray b, jint off, jint len) {
    jobject p = f->NewObject(env, Cls("java/net/DatagramPacket"), Method("java/net/DatagramPacket", "<init>", "([BII)V"),
                             b, off, len);
    EXPECT_NE(nullptr, p) << Thrown() << " " << message;
    return p;
  }
  void Send(jobject socket, jobject p) {
    f->CallVoidMethod(env, socket, Method("java/net/DatagramSocket", "send", "(Ljava/net/DatagramPacket;)V"), p);
  }
  void Receive(jobject socket, jobject p) {
    f->CallVoidMethod(env, socket, Method("java/net/DatagramSocket", "receive", "(Ljava/net/DatagramPacket;)V"), p);
  }
  jint PacketInt(jobject p, const char* name) { return IntField(p, "java/net/DatagramPacket", name); }
  jobject PacketAddress(jobject p) {
    return ObjectField(p, "java/net/DatagramPacket", "address", "Ljava/net/InetAddress;");
  }
};

TEST_F(DatagramTest, DatagramsUpToTheIPv4LimitGoWholeAcrossThePieces) {
  jobject a = Datagram(0), b = Datagram(0);
  jint pa = LocalPort(a), pb = LocalPort(b);
  Overlay o;
  o.table.SocketSendTo = LoggedSendTo;
  o.Install();
  for (jint n : {0, 1, 776, 777, 1500, 65507}) {
    SCOPED_TRACE(n);
    jbyteArray out = Bytes((uint32_t)n, (uint8_t)n);
    Log().clear();
    Send(a, Packet(out, 0, n, pb));
    ASSERT_EQ("", Exception()) << message;
    ASSERT_EQ(1u, Log().size()) << "one datagram, one host call";
    // A copy in one piece, never the array's own storage: the host may move the machine,
    // the array with it, while the thread waits in the call.
    uint32_t run = 0;
    const uint8_t* first = n > 0 ? ElementAt(out, 0, &run) : nullptr;
    if (n > 0) {
      EXPECT_NE(first, Log()[0].address);
    }
    jbyteArray in = Bytes(65507, 1);
    jobject p = Empty(in, 0, 65507);
    Receive(b, p);
    ASSERT_EQ("", Exception()) << message;
    EXPECT_EQ(n, PacketInt(p, "length"));
    EXPECT_EQ(pa, PacketInt(p, "port"));
    jobject from = PacketAddress(p);
    EXPECT_EQ(0x7F000001, IntField(from, "java/net/InetAddress", "address"));
    EXPECT_EQ(2, IntField(from, "java/net/InetAddress", "family"));
    std::vector<uint8_t> sent = Contents(out), got = Contents(in);
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), got.begin()));
  }
  // One byte more than any IPv4 datagram: refused before the host.
  Log().clear();
  uint32_t calls = HostCalls();
  jobject big = Empty(Bytes(65508, 0), 0, 65508);
  f->SetObjectField(env, big, Field("java/net/DatagramPacket", "address", "Ljava/net/InetAddress;"), Address("127.0.0.1"));
  SetIntField(big, "java/net/DatagramPacket", "port", pb);
  CallNative(DatagramImpl(a), "java/net/PlainDatagramSocketImpl", "send", "(Ljava/net/DatagramPacket;)V", big);
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("Datagram packet too large", message);
  EXPECT_EQ(calls, HostCalls());
}

TEST_F(DatagramTest, TheOffsetAndLengthOfAPacketAreHonoured) {
  jobject a = Datagram(0), b = Datagram(0);
  jint pb = LocalPort(b);
  // Five bytes from offset 3 of ten: exactly those go out.
  jbyteArray out = Bytes(10, 40);
  Send(a, Packet(out, 3, 5, pb));
  jbyteArray in = Bytes(20, 0);
  std::vector<uint8_t> before = Contents(in);
  // Received into four bytes at offset 2: the datagram is cut, nothing else changes.
  jobject p = Empty(in, 2, 4);
  Receive(b, p);
  ASSERT_EQ("", Exception()) << message;
  EXPECT_EQ(4, PacketInt(p, "length"));
  std::vector<uint8_t> sent = Contents(out), got = Contents(in);
  EXPECT_TRUE(std::equal(sent.begin() + 3, sent.begin() + 7, got.begin() + 2));
  EXPECT_TRUE(std::equal(got.begin(), got.begin() + 2, before.begin()));
  EXPECT_TRUE(std::equal(got.begin() + 6, got.end(), before.begin() + 6));
  // A packet's bounds are checked where it is made.
  f->NewObject(env, Cls("java/net/DatagramPacket"), Method("java/net/DatagramPacket", "<init>", "([BII)V"), Bytes(4, 0), 2,
               3);
  EXPECT_EQ("java.lang.IllegalArgumentException", Exception());
  f->NewObject(env, Cls("java/net/DatagramPacket"),
               Method("java/net/DatagramPacket", "<init>", "([BILjava/net/InetAddress;I)V"), Bytes(4, 0), 4,
               Address("127.0.0.1"), 65536);
  EXPECT_EQ("java.lang.IllegalArgumentException", Exception());
}

TEST_F(DatagramTest, AFailedReceiveLeavesThePacketAsItWas) {
  jobject b = Datagram(0);
  f->CallVoidMethod(env, b, Method("java/net/DatagramSocket", "setSoTimeout", "(I)V"), 100);
  jobject p = Packet(Bytes(8, 0), 0, 8, 4321);
  jobject to = PacketAddress(p);
  Receive(b, p);
  EXPECT_EQ("java.io.InterruptedIOException", Exception());
  EXPECT_EQ("timeout", message);
  EXPECT_TRUE(f->IsSameObject(env, to, PacketAddress(p))) << "a reply can still go where it was meant to";
  EXPECT_EQ(8, PacketInt(p, "length"));
  EXPECT_EQ(4321, PacketInt(p, "port"));
}

TEST_F(DatagramTest, HostAnswersOutOfContractNeverLeaveALengthOutsideTheArray) {
  jobject a = Datagram(0), b = Datagram(0);
  jint pb = LocalPort(b);
  jobject aimpl = DatagramImpl(a), bimpl = DatagramImpl(b);
  Overlay o;
  o.table.SocketSendTo = LoggedSendTo;
  o.table.SocketRecvFrom = WrongRecvFrom;
  o.Install();
  const char* D = "java/net/PlainDatagramSocketImpl";
  for (int script : {1, 2}) {
    gScript = script;
    jobject p = Packet(Bytes(900, 0), 0, 900, pb);
    CallNative(aimpl, D, "send", "(Ljava/net/DatagramPacket;)V", p);
    EXPECT_EQ("java.net.SocketException", Exception()) << script;
    EXPECT_EQ(0, PacketInt(p, "length")) << script;
  }
  gScript = 0;
  for (int script : {1, 2}) {
    Send(a, Packet(Bytes(900, 9), 0, 900, pb));
    gScript = script;
    jbyteArray in = Bytes(900, 3);
    std::vector<uint8_t> before = Contents(in);
    jobject p = Empty(in, 0, 900);
    CallNative(bimpl, D, "receive", "(Ljava/net/DatagramPacket;)V", p);
    EXPECT_EQ("java.net.SocketException", Exception()) << script;
    // A count beyond the buffer carries no host text; -2 carries whatever the host says.
    if (script == 1) {
      EXPECT_EQ("Receive failed", message);
    } else {
      EXPECT_EQ(0u, message.find("Receive failed: ")) << message;
    }
    EXPECT_EQ(0, PacketInt(p, "length")) << script;
    EXPECT_EQ(before, Contents(in)) << "nothing copied from a failed receive";
    gScript = 0;
  }
}

TEST_F(DatagramTest, PeekLeavesTheDatagramAndBindStoresThePort) {
  jobject a = Datagram(0), b = Datagram(0);
  jint pa = LocalPort(a), pb = LocalPort(b);
  EXPECT_GT(pb, 0);
  Send(a, Packet(Bytes(30, 5), 0, 30, pb));
  jobject from = New("java/net/InetAddress");
  jobject bimpl = DatagramImpl(b);
  EXPECT_EQ(pa, CallIntNative(bimpl, "java/net/PlainDatagramSocketImpl", "peek", "(Ljava/net/InetAddress;)I", from));
  EXPECT_EQ(0x7F000001, IntField(from, "java/net/InetAddress", "address"));
  jobject p = Empty(Bytes(64, 0), 0, 64);
  Receive(b, p);
  EXPECT_EQ(30, PacketInt(p, "length")) << "the peeked datagram was still there";
  // A fixed port is the port asked for.
  jobject c = Datagram(0);
  jint free = LocalPort(c);
  f->CallVoidMethod(env, c, Method("java/net/DatagramSocket", "close", "()V"));
  jobject d = Datagram(free);
  EXPECT_EQ(free, LocalPort(d));
  f->CallVoidMethod(env, d, Method("java/net/DatagramSocket", "close", "()V"));
}

TEST_F(DatagramTest, CloseForgetsTheSocketAndItsNumberIsNeverAnotherSockets) {
  jobject a = Datagram(0);
  jobject aimpl = DatagramImpl(a);
  jobject fd = ObjectField(aimpl, "java/net/DatagramSocketImpl", "fd", "Ljava/io/FileDescriptor;");
  f->CallVoidMethod(env, a, Method("java/net/DatagramSocket", "close", "()V"));
  f->CallVoidMethod(env, a, Method("java/net/DatagramSocket", "close", "()V"));
  EXPECT_EQ("", Exception()) << "a second close is quiet";
  Send(a, Packet(Bytes(4, 0), 0, 4, 9));
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("Socket closed", message);
  // The natives keep the old number in the descriptor: put back, it reaches the host,
  // which refuses it even after another socket was made.
  jobject b = Datagram(0);
  jint pb = LocalPort(b);
  f->SetObjectField(env, aimpl, Field("java/net/DatagramSocketImpl", "fd", "Ljava/io/FileDescriptor;"), fd);
  CallNative(aimpl, "java/net/PlainDatagramSocketImpl", "send", "(Ljava/net/DatagramPacket;)V",
             Packet(Bytes(4, 0), 0, 4, pb));
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("Send failed: Socket closed", message);
  jobject p = Empty(Bytes(4, 0), 0, 4);
  f->CallVoidMethod(env, b, Method("java/net/DatagramSocket", "setSoTimeout", "(I)V"), 50);
  Receive(b, p);
  EXPECT_EQ("java.io.InterruptedIOException", Exception()) << "nothing reached the other socket";
}

TEST_F(DatagramTest, OptionsAndGroupsCheckTheirValues) {
  jobject a = Datagram(0);
  jobject impl = DatagramImpl(a);
  const char* D = "java/net/PlainDatagramSocketImpl";
  Overlay o;
  o.table.SocketSetTTL = SeenTTL;
  o.Install();
  CallNative(impl, D, "setTTL", "(B)V", (jbyte)-1);
  EXPECT_EQ("", Exception()) << message;
  EXPECT_EQ(-1, gTtlSeen.load()) << "the byte reaches the host widened with its sign";
  EXPECT_EQ((jbyte)-1, JavaNetPlainDatagramSocketImpl_getTTL(env, impl)) << "the host's 255";
  CallNative(impl, D, "setTTL", "(B)V", (jbyte)64);
  EXPECT_EQ(64, JavaNetPlainDatagramSocketImpl_getTTL(env, impl));

  uint32_t reuse = refhost::NetCallCount(87);
  CallNative(impl, D, "socketSetOption", "(ILjava/lang/Object;)V", 4, f->NewStringUTF(env, "1"));
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("invalid DatagramSocket option", message);
  CallNative(impl, D, "socketSetOption", "(ILjava/lang/Object;)V", 16, f->NewStringUTF(env, "1"));
  EXPECT_EQ("invalid DatagramSocket option", (Exception(), message));
  EXPECT_EQ(reuse, refhost::NetCallCount(87));
  jobject one = f->NewObject(env, Cls("java/lang/Integer"), Method("java/lang/Integer", "<init>", "(I)V"), 1);
  CallNative(impl, D, "socketSetOption", "(ILjava/lang/Object;)V", 4, one);
  EXPECT_EQ("", Exception()) << message;
  CallNative(impl, D, "socketSetOption", "(ILjava/lang/Object;)V", 16, Address("127.0.0.1"));
  EXPECT_EQ("", Exception()) << message;
  EXPECT_EQ(0x7F000001, JavaNetPlainDatagramSocketImpl_socketGetOption(env, impl, 16));
  EXPECT_EQ(0, JavaNetPlainDatagramSocketImpl_socketGetOption(env, impl, 15)) << "bound to the wildcard";
  EXPECT_EQ(-1, JavaNetPlainDatagramSocketImpl_socketGetOption(env, impl, 3));
  EXPECT_EQ("Invalid DatagramSocket option", (Exception(), message));
  CallNative(impl, D, "socketSetOption", "(ILjava/lang/Object;)V", 4, nullptr);
  EXPECT_EQ("java.lang.NullPointerException", Exception());

  uint32_t joins = refhost::NetCallCount(83);
  CallNative(impl, D, "join", "(Ljava/net/InetAddress;)V", Address("192.168.0.1"));
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("Not a multicast address multicast", message);
  EXPECT_EQ(joins, refhost::NetCallCount(83));
  CallNative(impl, D, "join", "(Ljava/net/InetAddress;)V", Address("224.0.0.1"));
  EXPECT_EQ(joins + 1, refhost::NetCallCount(83)) << "a group reaches the host";
  std::string joined = Exception();
  if (!joined.empty()) {
    EXPECT_EQ(0u, message.find("Multicast join failed: ")) << message;  // no multicast route here
  } else {
    CallNative(impl, D, "leave", "(Ljava/net/InetAddress;)V", Address("224.0.0.1"));
    EXPECT_EQ("", Exception()) << message;
  }
  CallNative(impl, D, "leave", "(Ljava/net/InetAddress;)V", nullptr);
  EXPECT_EQ("java.lang.NullPointerException", Exception());
}

}  // namespace
}  // namespace net_test
