/* Names and addresses, and what all the natives share: look-ups in the host's order and
   shape, malformed host entries, the local name, shortages while an answer is built, the
   SocketException text and registering again. */
#include <arpa/inet.h>
#include <string.h>

#include <atomic>
#include <string>

#include "net_support.h"
#include "vmjni.h"

namespace net_test {
namespace {

/* Host entries no sound host gives, built here. */
struct Entry {
  HostEnt16 e;
  std::string name;
  std::vector<uint32_t> addrs;
  std::vector<char*> list;
  char* none[1] = {nullptr};
  void Build(const char* n, uint32_t count, int16_t type = 2, int16_t length = 4) {
    name = n;
    addrs.resize(count);
    list.clear();
    for (uint32_t i = 0; i < count; i++) {
      addrs[i] = htonl(0x0A000000u + i);
      list.push_back((char*)&addrs[i]);
    }
    list.push_back(nullptr);
    e.name = (char*)name.c_str();
    e.aliases = none;
    e.type = type;
    e.length = length;
    e.addrList = list.data();
  }
};
Entry gEntry;
std::atomic<int> gMode{0};
unsigned char gAsked[4];

HostEnt16* HOSTCALL ScriptedByName(const char*, jint) {
  switch (gMode.load()) {
    case 0: return &gEntry.e;
    case 1: gEntry.e.addrList = nullptr; return &gEntry.e;
    default: return nullptr;
  }
}

HostEnt16* HOSTCALL ScriptedByAddr(const void* addr, jint, jint) {
  memcpy(gAsked, addr, 4);
  switch (gMode.load()) {
    case 0: return &gEntry.e;
    case 1: gEntry.e.name = nullptr; return &gEntry.e;
    default: return nullptr;
  }
}

jint HOSTCALL ScriptedHostName(char* buf, jint size) {
  switch (gMode.load()) {
    case 0: memset(buf, 'a', (size_t)size); return 0;  // no terminator anywhere
    case 1: strcpy(buf, "garbage"); return -5;
    default: strcpy(buf, "host\xE2\x82"); return 0;  // a character cut at the end
  }
}

std::string gText;
const char* HOSTCALL ScriptedText(void) { return gMode.load() == 9 ? nullptr : gText.c_str(); }
jint HOSTCALL FailingListen(jint, jint) { return -1; }

class NamesTest : public NetTest {
 protected:
  jobject ImplObject() {
    jclass c = Cls("java/net/InetAddress");
    return f->GetStaticObjectField(env, c, f->GetStaticFieldID(env, c, "impl", "Ljava/net/InetAddressImpl;"));
  }
  jobjectArray LookupAll(const char* name) {
    return JavaNetInetAddressImpl_lookupAllHostAddr(env, ImplObject(), name ? f->NewStringUTF(env, name) : nullptr);
  }
  std::vector<std::vector<uint8_t>> Addresses(jobjectArray all) {
    std::vector<std::vector<uint8_t>> out;
    for (jsize i = 0; i < f->GetArrayLength(env, all); i++) {
      out.push_back(Contents((jbyteArray)f->GetObjectArrayElement(env, all, i)));
    }
    return out;
  }
  std::string String(jstring s) { return s != nullptr ? Text(s) : std::string("<null>"); }
  jobject ByName(const char* name) {
    jclass c = Cls("java/net/InetAddress");
    return f->CallStaticObjectMethod(env, c, f->GetStaticMethodID(env, c, "getByName", "(Ljava/lang/String;)Ljava/net/InetAddress;"),
                                     f->NewStringUTF(env, name));
  }
  std::string Describe(jobject address) {
    return String((jstring)f->CallObjectMethod(env, address, Method("java/net/InetAddress", "toString", "()Ljava/lang/String;")));
  }
};

TEST_F(NamesTest, LookupsKeepTheHostsOrderAndShape) {
  refhost::SetHostTable({{"three.test", {"127.0.0.1", "10.1.2.3", "192.168.0.9"}}, {"none.test", {}}});
  refhost::SetHostTableOnly(true);
  jobjectArray all = LookupAll("three.test");
  ASSERT_NE(nullptr, all) << Exception() << message;
  std::vector<std::vector<uint8_t>> expect = {{127, 0, 0, 1}, {10, 1, 2, 3}, {192, 168, 0, 9}};
  EXPECT_EQ(expect, Addresses(all));
  jobjectArray none = LookupAll("none.test");
  ASSERT_NE(nullptr, none) << "an empty list is no failure";
  EXPECT_EQ(0, f->GetArrayLength(env, none));
  EXPECT_EQ(nullptr, LookupAll("missing.test"));
  EXPECT_EQ("java.net.UnknownHostException", Exception());
  EXPECT_EQ("", message);
  uint32_t calls = HostCalls();
  EXPECT_EQ(nullptr, LookupAll(nullptr));
  EXPECT_EQ("java.lang.NullPointerException", Exception());
  EXPECT_EQ(calls, HostCalls());

  // Through the library: the name in the exception, dotted addresses parsed in Java.
  EXPECT_EQ(nullptr, ByName("missing.test"));
  EXPECT_EQ("java.net.UnknownHostException", Exception());
  EXPECT_EQ("missing.test", message);
  EXPECT_EQ("three.test/127.0.0.1", Describe(ByName("three.test")));
  calls = HostCalls();
  EXPECT_EQ("/10.1.2.3", Describe(ByName("10.1.2.3")));
  EXPECT_EQ("/255.255.255.255", Describe(ByName("255.255.255.255")));
  EXPECT_EQ("localhost/127.0.0.1", Describe(ByName("")));
  EXPECT_EQ(calls, HostCalls()) << "numbers never reach the host";
  for (const char* bad : {"1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.", "0001.2.3.4"}) {
    EXPECT_EQ(nullptr, ByName(bad)) << bad;
    EXPECT_EQ("java.net.UnknownHostException", Exception()) << bad;
  }
}

TEST_F(NamesTest, MalformedHostEntriesAreRefused) {
  Overlay o;
  o.table.LookupHostByName = ScriptedByName;
  o.Install();
  gMode = 0;
  gEntry.Build("many.test", 100);
  jobjectArray all = LookupAll("many.test");
  ASSERT_NE(nullptr, all);
  EXPECT_EQ(100, f->GetArrayLength(env, all));
  EXPECT_EQ((std::vector<uint8_t>{10, 0, 0, 99}), Addresses(all)[99]);
  gEntry.Build("huge.test", 3000);
  all = LookupAll("huge.test");
  ASSERT_NE(nullptr, all);
  EXPECT_EQ(1024, f->GetArrayLength(env, all)) << "a bounded copy";
  gEntry.Build("v6.test", 2, 10, 16);
  EXPECT_EQ(nullptr, LookupAll("v6.test"));
  EXPECT_EQ("java.net.UnknownHostException", Exception()) << "IPv4 only";
  gEntry.Build("nolist.test", 2);
  gMode = 1;
  EXPECT_EQ(nullptr, LookupAll("nolist.test"));
  EXPECT_EQ("java.net.UnknownHostException", Exception());
}

TEST_F(NamesTest, ReverseLookupsPassNetworkOrderAndCheckTheName) {
  Overlay o;
  o.table.LookupHostByAddr = ScriptedByAddr;
  o.Install();
  jobject impl = ImplObject();
  gEntry.Build("loop.test", 1);
  gMode = 0;
  EXPECT_EQ("loop.test", String(JavaNetInetAddressImpl_getHostByAddr(env, impl, 0x7F000001)));
  EXPECT_EQ(0, memcmp(gAsked, "\x7f\x00\x00\x01", 4));
  gEntry.Build("loop\xE2", 1);  // a character cut at the end
  EXPECT_EQ(nullptr, JavaNetInetAddressImpl_getHostByAddr(env, impl, 1));
  EXPECT_EQ("java.net.UnknownHostException", Exception());
  gMode = 1;
  EXPECT_EQ(nullptr, JavaNetInetAddressImpl_getHostByAddr(env, impl, 1));
  EXPECT_EQ("java.net.UnknownHostException", Exception());
  EXPECT_EQ("", message);
  gMode = 2;
  EXPECT_EQ(nullptr, JavaNetInetAddressImpl_getHostByAddr(env, impl, 1));
  EXPECT_EQ("java.net.UnknownHostException", Exception());
  // The library falls back to the dotted form.
  jobject a = ByName("10.0.0.7");
  EXPECT_EQ("10.0.0.7", String((jstring)f->CallObjectMethod(env, a, Method("java/net/InetAddress", "getHostName", "()Ljava/lang/String;"))));
}

TEST_F(NamesTest, TheLocalNameFallsBackToLocalhost) {
  jobject impl = ImplObject();
  refhost::SetLocalHostName("db-1");
  EXPECT_EQ("db-1", String(JavaNetInetAddressImpl_getLocalHostName(env, impl)));
  refhost::FailGetHostName(true);
  EXPECT_EQ("localhost", String(JavaNetInetAddressImpl_getLocalHostName(env, impl)));
  Overlay o;
  o.table.GetHostName = ScriptedHostName;
  o.Install();
  for (int mode : {0, 1, 2}) {
    gMode = mode;
    EXPECT_EQ("localhost", String(JavaNetInetAddressImpl_getLocalHostName(env, impl))) << mode;
    EXPECT_EQ("", Exception()) << mode;
  }
}

TEST_F(NamesTest, AShortageWhileTheAnswerIsBuiltLeavesOutOfMemoryAndNoLeak) {
  refhost::SetHostTable({{"three.test", {"127.0.0.1", "10.1.2.3", "192.168.0.9"}}});
  refhost::SetHostTableOnly(true);
  jstring name = f->NewStringUTF(env, "three.test");
  jobject impl = ImplObject();
  int failures = 0;
  for (uint32_t n = 1; n < 12; n++) {
    uint64_t bytes = refhost::BytesInUse(nullptr);
    refhost::FailNthAllocation(n);
    jobjectArray all = JavaNetInetAddressImpl_lookupAllHostAddr(env, impl, name);
    refhost::FailNthAllocation(0);
    std::string thrown = Exception();
    if (all == nullptr) {
      failures++;
      EXPECT_EQ("java.lang.OutOfMemoryError", thrown) << n;
    } else {
      EXPECT_EQ("", thrown) << n;
      EXPECT_EQ(3, f->GetArrayLength(env, all)) << n;
    }
    EXPECT_EQ(bytes, refhost::BytesInUse(nullptr)) << "the name's copy is given back, " << n;
  }
  EXPECT_GT(failures, 0);
}

TEST_F(NamesTest, SocketExceptionTextsAreBoundedAndWellFormed) {
  jobject server = Server(0);
  jobject impl = Impl(server);
  Overlay o;
  o.table.SocketListen = FailingListen;
  o.table.SocketErrorText = ScriptedText;
  o.Install();
  auto listen = [&]() {
    CallNative(impl, "java/net/PlainSocketImpl", "socketListen", "(I)V", 5);
    EXPECT_EQ("java.net.SocketException", Exception());
    return message;
  };
  gMode = 0;
  gText = "Connection refused";
  EXPECT_EQ("Listen failed: Connection refused", listen());
  gMode = 9;  // the host answers NULL
  EXPECT_EQ("Listen failed: ", listen());
  gMode = 0;
  gText = std::string(300, 'x');
  std::string m = listen();
  EXPECT_EQ("Listen failed: " + std::string(300, 'x'), m);
  gText = std::string(2000, 'y');
  m = listen();
  EXPECT_EQ(511u, m.size()) << "cut to the message buffer";
  EXPECT_EQ(0u, m.find("Listen failed: yyy"));
  gText = "\xFF\xFE" "abc\xC3";  // stray and cut bytes become '?'
  EXPECT_EQ("Listen failed: ??abc?", listen());
  gText.clear();
  for (int i = 0; i < 400; i++) gText += "\xC3\xA9";  // two-byte characters, cut whole
  m = listen();
  EXPECT_LE(m.size(), 511u);
  EXPECT_EQ(0u, (m.size() - strlen("Listen failed: ")) % 2) << "no half character at the end";
}

TEST_F(NamesTest, RegisteringAgainKeepsEveryNativeWorking) {
  uint32_t startups = refhost::NetCallCount(60);
  EXPECT_EQ(0, Register_java_net(0));
  EXPECT_EQ(startups + 4, refhost::NetCallCount(60)) << "four tables call NetStartup";
  jobject client, accepted;
  Pair(&client, &accepted);
  Write(Output(client), Bytes(3, 1), 0, 3);
  EXPECT_EQ(3, Read(Input(accepted), Bytes(3, 0), 0, 3));
  // DatagramPacket's table is not among them, and stays registered.
  jobject d = Datagram(0);
  jobject p = f->NewObject(env, Cls("java/net/DatagramPacket"), Method("java/net/DatagramPacket", "<init>", "([BI)V"),
                           Bytes(4, 0), 4);
  EXPECT_NE(nullptr, p);
  EXPECT_NE(nullptr, d);
  EXPECT_EQ("", Exception()) << message;
}

}  // namespace
}  // namespace net_test
