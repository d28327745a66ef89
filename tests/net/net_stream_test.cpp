/* The stream-socket natives and the socket streams: transfers through a chunk outside the
   array, gathered from its pieces or scattered into them (also across a move of the
   machine during the host call), host answers out of contract, bounds, accept and connect, options, close. */
#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net_support.h"

namespace net_test {
namespace {

const JNIHostFunctions* Real() { return refhost::RealNetworkServices(); }

std::atomic<jint> gCap{100};
std::atomic<int> gScript{0};  // which out-of-contract answer comes next

jint HOSTCALL CappedRecv(jint h, void* buf, jint n) {
  jint r = Real()->SocketRecv(h, buf, n > gCap ? gCap.load() : n);
  Log().push_back({78, h, buf, n, r});
  return r;
}

jint HOSTCALL CappedSend(jint h, const void* buf, jint n) {
  jint r = Real()->SocketSend(h, buf, n);
  Log().push_back({79, h, buf, n, r});
  return r;
}

/* Answers no sound host gives: a count beyond the request, -2, or -1 after one good call. */
jint HOSTCALL WrongRecv(jint h, void* buf, jint n) {
  jint r;
  switch (gScript.load()) {
    case 0: r = n + 1; break;
    case 1: r = -2; break;
    case 2: r = 0x40000000; break;
    default:
      // First a good partial answer, then a failure.
      r = Log().empty() ? Real()->SocketRecv(h, buf, n > 100 ? 100 : n) : -1;
      break;
  }
  Log().push_back({78, h, buf, n, r});
  return r;
}

jint HOSTCALL WrongSend(jint h, const void* buf, jint n) {
  jint r = gScript.load() == 0 ? -1 : n - 1;
  Log().push_back({79, h, buf, n, r});
  return r;
}

const char* HOSTCALL ScriptedText(void) { return "scripted failure"; }

class StreamTest : public NetTest {};

TEST_F(StreamTest, EveryTransferGoesThroughAChunkOfEightKilobytesOutsideTheArray) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject in = Input(accepted), out = Output(client);
  jbyteArray source = Bytes(30000, 11);
  // Whether an address lies within the array's storage.
  auto inArray = [&](jbyteArray b, const void* address, uint32_t size) {
    for (uint32_t i = 0; i < size;) {
      uint32_t run = 0;
      const uint8_t* at = ElementAt(b, i, &run);
      if (run == 0) break;
      if (address >= at && address < at + run) return true;
      i += run;
    }
    return false;
  };

  Overlay o;
  o.table.SocketRecv = CappedRecv;
  o.table.SocketSend = CappedSend;
  o.Install();
  // Within the inline part: one call, from the chunk (the host may move the machine, the
  // array with it, while the thread waits in the call).
  Write(out, source, 100, 500);
  ASSERT_EQ("", Exception()) << message;
  ASSERT_EQ(1u, Log().size());
  EXPECT_FALSE(inArray(source, Log()[0].address, 30000));
  EXPECT_EQ(500, Log()[0].count);
  // 20,000 bytes from offset 700, across the inline part's end and many 256-byte pieces:
  // three calls of 8,192, 8,192 and 3,616 bytes from a chunk outside the array.
  Log().clear();
  Write(out, source, 700, 20000);
  ASSERT_EQ("", Exception()) << message;
  ASSERT_EQ(3u, Log().size());
  EXPECT_EQ(8192, Log()[0].count);
  EXPECT_EQ(8192, Log()[1].count);
  EXPECT_EQ(3616, Log()[2].count);
  for (const HostCall& c : Log()) {
    EXPECT_EQ(c.count, c.result);
    EXPECT_FALSE(inArray(source, c.address, 30000));
  }

  // Reading back at offset 700 of another array, the host giving 100 bytes a call: one read
  // returns every byte that waits, each call's bytes scattered across the pieces.
  gCap = 100;
  jbyteArray into = Bytes(30000, 200);
  std::vector<uint8_t> before = Contents(into);
  jint got = 0;
  for (int rounds = 0; got < 20500 && rounds < 1000; rounds++) {
    Log().clear();
    jint n = Read(in, into, 700 + got, 29000 - got);
    ASSERT_EQ("", Exception()) << message;
    ASSERT_GT(n, 0);
    for (const HostCall& c : Log()) {
      EXPECT_LE(c.result, 100);
      EXPECT_LE(c.count, 8192);
    }
    got += n;
  }
  EXPECT_EQ(20500, got);
  std::vector<uint8_t> after = Contents(into), sent = Contents(source);
  EXPECT_TRUE(std::equal(after.begin() + 700, after.begin() + 1200, sent.begin() + 100));
  EXPECT_TRUE(std::equal(after.begin() + 1200, after.begin() + 21200, sent.begin() + 700));
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + 700, before.begin()));
  EXPECT_TRUE(std::equal(after.begin() + 21200, after.end(), before.begin() + 21200));
  gCap = 100;
}

TEST_F(StreamTest, AShortReadReturnsAtOnceWithoutASecondWait) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject in = Input(accepted), out = Output(client);
  Write(out, Bytes(10, 1), 0, 10);
  uint32_t waits = refhost::NetCallCount(76), recvs = refhost::NetCallCount(78);
  EXPECT_EQ(10, Read(in, Bytes(100, 0), 0, 100));
  EXPECT_EQ(waits + 1, refhost::NetCallCount(76));
  EXPECT_EQ(recvs + 1, refhost::NetCallCount(78));
}

TEST_F(StreamTest, ReceiveAnswersOutOfContractFailWithoutMovingPastTheRun) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject in = Input(accepted), out = Output(client);
  Write(out, Bytes(4000, 5), 0, 4000);
  Overlay o;
  o.table.SocketRecv = WrongRecv;
  o.table.SocketErrorText = ScriptedText;
  o.Install();
  jbyteArray into = Bytes(1032, 77);
  std::vector<uint8_t> before = Contents(into);
  for (int script = 0; script < 3; script++) {
    gScript = script;
    Log().clear();
    // Called directly: through the env a pending exception hides the result.
    EXPECT_EQ(-1, JavaNetSocketInputStream_socketRead(env, in, into, 700, 332)) << script;
    EXPECT_EQ("java.net.SocketException", Exception()) << script;
    EXPECT_EQ(script == 1 ? "Receive failed: scripted failure" : "Receive failed", message) << script;
    EXPECT_EQ(1u, Log().size()) << "nothing more after a wrong answer";
    EXPECT_EQ(before, Contents(into));
  }
  // The same answers to a read that lies in one run of the array.
  for (int script = 0; script < 3; script++) {
    gScript = script;
    Log().clear();
    EXPECT_EQ(-1, JavaNetSocketInputStream_socketRead(env, in, into, 10, 332)) << script;
    EXPECT_EQ("java.net.SocketException", Exception()) << script;
    EXPECT_EQ(1u, Log().size());
    EXPECT_EQ(before, Contents(into));
  }
  // Bytes already in the array are what the read reports; the failure comes next time.
  gScript = 3;
  Log().clear();
  EXPECT_EQ(100, Read(in, into, 700, 332));
  EXPECT_EQ("", Exception()) << message;
  EXPECT_EQ(-1, JavaNetSocketInputStream_socketRead(env, in, into, 700, 332));
  EXPECT_EQ("java.net.SocketException", Exception());
}

TEST_F(StreamTest, SendAnswersOtherThanTheWholePieceFail) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject out = Output(client);
  Overlay o;
  o.table.SocketSend = WrongSend;
  o.table.SocketErrorText = ScriptedText;
  o.Install();
  for (int script = 0; script < 2; script++) {
    gScript = script;
    Log().clear();
    Write(out, Bytes(3000, 1), 0, 3000);
    EXPECT_EQ("java.net.SocketException", Exception());
    EXPECT_EQ(script == 0 ? "send failed: scripted failure" : "send failed", message);
    EXPECT_EQ(1u, Log().size()) << "nothing sent after the failed piece";
  }
}

TEST_F(StreamTest, BadRangesAndEmptyReadsNeverReachTheHost) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject in = Input(accepted), out = Output(client);
  jbyteArray b = Bytes(1032, 3);
  uint32_t calls = HostCalls();
  // Nothing asked at the very end of an array longer than its inline part: no wait, and
  // no element located past the last piece.
  EXPECT_EQ(0, Read(in, b, 1032, 0));
  EXPECT_EQ("", Exception());
  EXPECT_EQ(0, JavaNetSocketInputStream_socketRead(env, in, b, 1032, 0));
  struct Range {
    jint off, len;
  };
  for (Range r : {Range{-1, 0}, Range{0, -1}, Range{0x7FFFFFFF, 1}, Range{1031, 2}, Range{1, 0x7FFFFFFF},
                  Range{(jint)0x80000000, 1}}) {
    EXPECT_EQ(0, JavaNetSocketInputStream_socketRead(env, in, b, r.off, r.len)) << r.off << "," << r.len;
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Exception()) << r.off << "," << r.len;
    Write(out, b, r.off, r.len);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Exception()) << r.off << "," << r.len;
  }
  EXPECT_EQ(0, JavaNetSocketInputStream_socketRead(env, in, nullptr, 0, 1));
  EXPECT_EQ("java.lang.NullPointerException", Exception());
  Write(out, nullptr, 0, 1);
  EXPECT_EQ("java.lang.NullPointerException", Exception());
  EXPECT_EQ(calls, HostCalls());

  // Through the library: the same ranges are refused before the natives.
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  EXPECT_EQ(0, f->CallIntMethod(env, in, read, b, 1032, 0));
  f->CallIntMethod(env, in, read, b, 1000, 100);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", Exception());
  EXPECT_EQ(calls, HostCalls());
}

TEST_F(StreamTest, TheEndOfTheStreamAndClosedSockets) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject in = Input(accepted), out = Output(client);
  // The socket's own descriptor: the library forgets it on close.
  jobject fd = ObjectField(Impl(client), "java/net/SocketImpl", "fd", "Ljava/io/FileDescriptor;");
  jmethodID close = Method("java/net/Socket", "close", "()V");
  f->CallVoidMethod(env, client, close);
  EXPECT_EQ(0, Read(in, Bytes(16, 0), 0, 16)) << "the native's end of stream";
  jmethodID read = Method("java/io/InputStream", "read", "([BII)I");
  EXPECT_EQ(-1, f->CallIntMethod(env, in, read, Bytes(16, 0), 0, 16));
  EXPECT_EQ(-1, f->CallIntMethod(env, in, Method("java/io/InputStream", "read", "()I")));

  // Closing twice is quiet; afterwards the library says so before any native.
  f->CallVoidMethod(env, client, close);
  EXPECT_EQ("", Exception());
  f->CallVoidMethod(env, out, Method("java/io/OutputStream", "write", "([BII)V"), Bytes(4, 0), 0, 4);
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("Socket closed", message);

  // At the native level the descriptor says closed (-1): the host refuses the handle.
  jobject impl = Impl(client);
  EXPECT_EQ(-1, IntField(fd, "java/io/FileDescriptor", "fd"));
  CallNative(impl, "java/net/PlainSocketImpl", "socketClose", "()V");
  EXPECT_EQ("java.net.SocketException", Exception()) << "the library forgot the descriptor";
  f->SetObjectField(env, impl, Field("java/net/SocketImpl", "fd", "Ljava/io/FileDescriptor;"), fd);
  CallNative(impl, "java/net/PlainSocketImpl", "socketClose", "()V");
  EXPECT_EQ("", Exception()) << "a closed descriptor is left alone";
  EXPECT_EQ(0, JavaNetPlainSocketImpl_socketAvailable(env, impl)) << "0 after a failure";
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("Poll failed: Bad socket handle", message);
  Write(out, Bytes(4, 0), 0, 4);
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("send failed: Bad socket handle", message);
}

TEST_F(StreamTest, EveryNativeWithoutADescriptorSaysSocketClosedWithoutTheHost) {
  jobject impl = New("java/net/PlainSocketImpl");
  jobject dimpl = New("java/net/PlainDatagramSocketImpl");
  jobject in = f->AllocObject(env, Cls("java/net/SocketInputStream"));
  jobject out = f->AllocObject(env, Cls("java/net/SocketOutputStream"));
  jobject addr = Address("127.0.0.1");
  jobject packet = f->NewObject(env, Cls("java/net/DatagramPacket"),
                                Method("java/net/DatagramPacket", "<init>", "([BI)V"), Bytes(4, 0), 4);
  uint32_t calls = HostCalls();
  const char* P = "java/net/PlainSocketImpl";
  const char* D = "java/net/PlainDatagramSocketImpl";
  auto expectClosed = [&](const char* what) {
    EXPECT_EQ("java.net.SocketException", Exception()) << what;
    EXPECT_EQ("Socket closed", message) << what;
  };
  CallNative(impl, P, "socketCreate", "(Z)V", (jboolean)1);
  expectClosed("socketCreate");
  CallNative(impl, P, "socketConnect", "(Ljava/net/InetAddress;I)V", addr, 80);
  expectClosed("socketConnect");
  CallNative(impl, P, "socketBind", "(Ljava/net/InetAddress;I)V", addr, 0);
  expectClosed("socketBind");
  CallNative(impl, P, "socketListen", "(I)V", 5);
  expectClosed("socketListen");
  CallNative(impl, P, "socketAccept", "(Ljava/net/SocketImpl;)V", impl);
  expectClosed("socketAccept");
  EXPECT_EQ(-1, JavaNetPlainSocketImpl_socketAvailable(env, impl));
  expectClosed("socketAvailable");
  CallNative(impl, P, "socketClose", "()V");
  expectClosed("socketClose");
  CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 1, (jboolean)1, nullptr);
  expectClosed("socketSetOption");
  EXPECT_EQ(-1, JavaNetPlainSocketImpl_socketGetOption(env, impl, 1));
  expectClosed("socketGetOption");
  EXPECT_EQ(0, JavaNetSocketInputStream_socketRead(env, in, Bytes(4, 0), 0, 4));
  expectClosed("socketRead");
  Write(out, Bytes(4, 0), 0, 4);
  expectClosed("socketWrite");

  CallNative(dimpl, D, "datagramSocketCreate", "()V");
  expectClosed("datagramSocketCreate");
  CallNative(dimpl, D, "bind", "(ILjava/net/InetAddress;)V", 0, addr);
  expectClosed("bind");
  CallNative(dimpl, D, "send", "(Ljava/net/DatagramPacket;)V", packet);
  expectClosed("send");
  EXPECT_EQ(0, JavaNetPlainDatagramSocketImpl_peek(env, dimpl, addr));
  expectClosed("peek");
  CallNative(dimpl, D, "receive", "(Ljava/net/DatagramPacket;)V", nullptr);
  expectClosed("receive, before the packet is looked at");
  CallNative(dimpl, D, "setTTL", "(B)V", (jbyte)1);
  expectClosed("setTTL");
  EXPECT_EQ(-1, JavaNetPlainDatagramSocketImpl_getTTL(env, dimpl));
  expectClosed("getTTL");
  CallNative(dimpl, D, "join", "(Ljava/net/InetAddress;)V", addr);
  expectClosed("join");
  CallNative(dimpl, D, "leave", "(Ljava/net/InetAddress;)V", addr);
  expectClosed("leave");
  CallNative(dimpl, D, "datagramSocketClose", "()V");
  expectClosed("datagramSocketClose");
  CallNative(dimpl, D, "socketSetOption", "(ILjava/lang/Object;)V", 4, addr);
  expectClosed("datagram socketSetOption");
  EXPECT_EQ(-1, JavaNetPlainDatagramSocketImpl_socketGetOption(env, dimpl, 15));
  expectClosed("datagram socketGetOption");
  EXPECT_EQ(calls, HostCalls());
}

TEST_F(StreamTest, AcceptFillsOnlyTheNewSocketsOwnObjects) {
  jobject server = Server(0);
  jint port = LocalPort(server);
  jobject client = Connect(port);
  jobject listener = Impl(server);
  const char* S = "java/net/SocketImpl";
  jobject listenerAddress = ObjectField(listener, S, "address", "Ljava/net/InetAddress;");
  ASSERT_NE(nullptr, listenerAddress);

  // A target without a descriptor is refused before a connection is taken.
  jobject target = New("java/net/PlainSocketImpl");
  f->SetObjectField(env, target, Field(S, "address", "Ljava/net/InetAddress;"), New("java/net/InetAddress"));
  uint32_t accepts = refhost::NetCallCount(72);
  CallNative(listener, "java/net/PlainSocketImpl", "socketAccept", "(Ljava/net/SocketImpl;)V", target);
  EXPECT_EQ("java.lang.NullPointerException", Exception());
  EXPECT_EQ(accepts, refhost::NetCallCount(72));
  CallNative(listener, "java/net/PlainSocketImpl", "socketAccept", "(Ljava/net/SocketImpl;)V", nullptr);
  EXPECT_EQ("java.lang.NullPointerException", Exception());

  jobject accepted = Accept(server);
  ASSERT_NE(nullptr, accepted);
  jobject impl = Impl(accepted);
  EXPECT_EQ(LocalPort(client), IntField(impl, S, "port"));
  EXPECT_EQ(port, IntField(impl, S, "localport"));
  jobject peer = ObjectField(impl, S, "address", "Ljava/net/InetAddress;");
  EXPECT_FALSE(f->IsSameObject(env, peer, listenerAddress));
  EXPECT_EQ(0x7F000001, IntField(peer, "java/net/InetAddress", "address"));
  EXPECT_EQ(2, IntField(peer, "java/net/InetAddress", "family"));
  EXPECT_EQ(0, IntField(listenerAddress, "java/net/InetAddress", "address")) << "the wildcard is untouched";
}

TEST_F(StreamTest, ConnectAndBindWriteOnlyWhatTheHostGave) {
  jobject gone = Server(0);
  jint port = LocalPort(gone);
  f->CallVoidMethod(env, gone, Method("java/net/ServerSocket", "close", "()V"));
  // Through the library: a refused connection is ConnectException.
  jobject s = f->NewObject(env, Cls("java/net/Socket"), Method("java/net/Socket", "<init>", "(Ljava/net/InetAddress;I)V"),
                           Address("127.0.0.1"), port);
  EXPECT_EQ(nullptr, s);
  EXPECT_EQ("java.net.ConnectException", Exception());
  EXPECT_EQ("Connect failed: Connection refused", message);
  // At the native level nothing is written on failure.
  const char* P = "java/net/PlainSocketImpl";
  const char* S = "java/net/SocketImpl";
  jobject impl = New(P);
  f->CallVoidMethod(env, impl, Method(P, "create", "(Z)V"), (jboolean)1);
  ASSERT_EQ("", Exception());
  CallNative(impl, P, "socketConnect", "(Ljava/net/InetAddress;I)V", Address("127.0.0.1"), port);
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ(nullptr, ObjectField(impl, S, "address", "Ljava/net/InetAddress;"));
  EXPECT_EQ(0, IntField(impl, S, "port"));
  CallNative(impl, P, "socketConnect", "(Ljava/net/InetAddress;I)V", nullptr, port);
  EXPECT_EQ("java.lang.NullPointerException", Exception());
  f->CallVoidMethod(env, impl, Method(P, "close", "()V"));

  // Bind to port 0 asks the host; a fixed port is stored as given.
  jobject any = New(P);
  f->CallVoidMethod(env, any, Method(P, "create", "(Z)V"), (jboolean)1);
  CallNative(any, P, "socketBind", "(Ljava/net/InetAddress;I)V", Address("127.0.0.1"), 0);
  ASSERT_EQ("", Exception()) << message;
  jint chosen = IntField(any, S, "localport");
  EXPECT_GT(chosen, 0);
  f->CallVoidMethod(env, any, Method(P, "close", "()V"));
  jobject fixed = New(P);
  f->CallVoidMethod(env, fixed, Method(P, "create", "(Z)V"), (jboolean)1);
  uint32_t names = refhost::NetCallCount(71);
  CallNative(fixed, P, "socketBind", "(Ljava/net/InetAddress;I)V", Address("127.0.0.1"), chosen);
  ASSERT_EQ("", Exception()) << message;
  EXPECT_EQ(chosen, IntField(fixed, S, "localport"));
  EXPECT_EQ(names, refhost::NetCallCount(71));
  // The same port twice: BindException through the library.
  jobject again = f->NewObject(env, Cls("java/net/ServerSocket"),
                               Method("java/net/ServerSocket", "<init>", "(IILjava/net/InetAddress;)V"), chosen, 5,
                               Address("127.0.0.1"));
  EXPECT_EQ(nullptr, again);
  EXPECT_EQ("java.net.BindException", Exception());
  f->CallVoidMethod(env, fixed, Method(P, "close", "()V"));
  // Ports outside 0..65535 never reach the host (65616 would be 80 in 16 bits).
  uint32_t calls = HostCalls();
  f->NewObject(env, Cls("java/net/Socket"), Method("java/net/Socket", "<init>", "(Ljava/net/InetAddress;I)V"),
               Address("127.0.0.1"), 65616);
  EXPECT_EQ("java.lang.IllegalArgumentException", Exception());
  f->NewObject(env, Cls("java/net/ServerSocket"), Method("java/net/ServerSocket", "<init>", "(I)V"), -1);
  EXPECT_EQ("java.lang.IllegalArgumentException", Exception());
  EXPECT_EQ(calls, HostCalls());
}

TEST_F(StreamTest, OptionsCheckTheClassOfTheirValue) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject impl = Impl(client);
  const char* P = "java/net/PlainSocketImpl";
  uint32_t lingers = refhost::NetCallCount(94);
  CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 128, (jboolean)1, f->NewStringUTF(env, "5"));
  EXPECT_EQ("java.net.SocketException", Exception());
  EXPECT_EQ("invalid parameter for SO_LINGER", message);
  CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 128, (jboolean)1, nullptr);
  EXPECT_EQ("invalid parameter for SO_LINGER", (Exception(), message));
  EXPECT_EQ(lingers, refhost::NetCallCount(94));
  jobject seventy = f->NewObject(env, Cls("java/lang/Integer"), Method("java/lang/Integer", "<init>", "(I)V"), 70000);
  CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 128, (jboolean)1, seventy);
  EXPECT_EQ("", Exception()) << message;
  EXPECT_EQ(65535, CallIntNative(impl, P, "socketGetOption", "(I)I", 128));
  CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 128, (jboolean)0, nullptr);
  EXPECT_EQ(-1, CallIntNative(impl, P, "socketGetOption", "(I)I", 128));
  // Through the library: negative refused, large clamped.
  jmethodID setLinger = Method("java/net/Socket", "setSoLinger", "(ZI)V");
  f->CallVoidMethod(env, client, setLinger, (jboolean)1, -1);
  EXPECT_EQ("java.lang.IllegalArgumentException", Exception());
  f->CallVoidMethod(env, client, setLinger, (jboolean)1, 1 << 30);
  EXPECT_EQ("", Exception());
  EXPECT_EQ(65535, f->CallIntMethod(env, client, Method("java/net/Socket", "getSoLinger", "()I")));

  for (jboolean on : {(jboolean)1, (jboolean)0}) {
    CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 1, on, nullptr);
    EXPECT_EQ(on ? 1 : -1, CallIntNative(impl, P, "socketGetOption", "(I)I", 1));
  }
  EXPECT_EQ(0x7F000001, CallIntNative(impl, P, "socketGetOption", "(I)I", 15));
  jobject server = Server(0);
  EXPECT_EQ(-1, CallIntNative(Impl(server), P, "socketGetOption", "(I)I", 15)) << "bound to the wildcard";
  EXPECT_EQ(-1, JavaNetPlainSocketImpl_socketGetOption(env, impl, 2));
  EXPECT_EQ("Bad socket option", (Exception(), message));
  CallNative(impl, P, "socketSetOption", "(IZLjava/lang/Object;)V", 2, (jboolean)1, nullptr);
  EXPECT_EQ("Bad socket option", (Exception(), message));
  f->CallVoidMethod(env, client, Method("java/net/Socket", "setSoTimeout", "(I)V"), -1);
  EXPECT_EQ("java.lang.IllegalArgumentException", Exception());
}


/* ---- a move of the machine during a host call ---- */

std::atomic<int> gHeldRecvs{0};
std::atomic<bool> gRecvsReleased{false};

/* The host's receive, held until the test lets it go (the bytes wait already). */
jint HOSTCALL HeldRecv(jint h, void* buf, jint n) {
  gHeldRecvs++;
  while (!gRecvsReleased.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return Real()->SocketRecv(h, buf, n);
}

void HOSTCALL MoveWord(void** word, void* heap) { refhost::RelocateWord(word, heap); }
void MoveBlock(void*, void* newBlock, void* heap) { JNI_Relocate(newBlock, heap, MoveWord); }

/* A thread receives into an array of the inline part's size and one across pieces, its
   receive held by the host while the host moves the machine; the bytes then land in the
   array where it is now. (The host was given the array's own storage: the bytes went to
   its old copy, and the array kept what it had.) */
TEST_F(StreamTest, BytesReceivedWhileTheHostMovesTheMachineLandInTheMovedArray) {
  jobject client, accepted;
  Pair(&client, &accepted);
  jobject in = f->NewGlobalRef(env, Input(accepted));
  jobject out = Output(client);
  for (uint32_t size : {16u, 700u, 3000u}) {
    SCOPED_TRACE(size);
    jbyteArray source = Bytes(size, (uint8_t)size);
    jbyteArray into = (jbyteArray)f->NewGlobalRef(env, Bytes(size, 0));
    Write(out, source, 0, (jint)size);
    ASSERT_EQ("", Exception()) << message;
    Overlay o;
    o.table.SocketRecvNow = HeldRecv;
    o.table.SocketRecv = HeldRecv;
    o.Install();
    gHeldRecvs = 0;
    gRecvsReleased = false;
    std::atomic<jint> got{-2};
    std::thread reader([&] {
      JNIEnv* mine = jnifunc_test::AttachThisThread(world.jvm);
      if (mine == nullptr) return;
      jclass c = mine->functions->FindClass(mine, "java/net/SocketInputStream");
      jmethodID m = mine->functions->GetMethodID(mine, c, "socketRead", "([BII)I");
      jint total = 0;
      while (total < (jint)size) {
        jint n = mine->functions->CallIntMethod(mine, in, m, into, total, (jint)size - total);
        if (n <= 0 || mine->functions->ExceptionCheck(mine)) break;
        total += n;
      }
      got = total;
      mine->functions->ExceptionClear(mine);
      jnifunc_test::DetachThisThread(world.jvm);
    });
    VM::EnterSafeRegion(env->thread);
    for (int i = 0; i < 10000 && gHeldRecvs.load() != 1; i++) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    bool held = gHeldRecvs.load() == 1;
    VM::LeaveSafeRegion(env->thread);
    ASSERT_TRUE(held) << "the reader never received";
    // The reader waits in its host call, declared: the host may move the machine.
    HHeap* heap = world.jvm->heap;
    EXPECT_GT(refhost::RelocateHeap(heap), 20u);
    refhost::ForEachRelocated(heap, MoveBlock, heap);
    JNI_RelocationDone(world.jvm, heap, MoveWord);
    refhost::FinishRelocation(heap);
    world.vm = world.jvm->vm;
    gRecvsReleased = true;
    VM::EnterSafeRegion(env->thread);
    reader.join();
    VM::LeaveSafeRegion(env->thread);
    refhost::SetNetworkOverlay(nullptr);
    EXPECT_EQ((jint)size, got.load());
    EXPECT_EQ(Contents(source), Contents(into));
    f->DeleteGlobalRef(env, into);
  }
  f->DeleteGlobalRef(env, in);
}

}  // namespace
}  // namespace net_test
