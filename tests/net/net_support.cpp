#include "net_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdarg.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "vmarray.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmnamespace.h"

namespace net_test {

bool LoopbackUsable() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = bind(fd, (struct sockaddr*)&a, sizeof a) == 0;
  close(fd);
  return ok;
}

std::vector<HostCall>& Log() {
  static std::vector<HostCall> log;
  return log;
}

namespace {

/* FileDescriptor's static initialiser codes the standard handles through a native of the
   file natives; this world stands in for it as the 1.1 coding does. */
jobject JNICALL InitSystemFD(JNIEnv* e, jclass, jobject fdObj, jint desc) {
  jfieldID fd = e->javaVM->nameSpace->GetJNIUtils()->GetFieldFileDescriptor_fd(e);
  if (fd != NULL) e->functions->SetIntField(e, fdObj, fd, desc + 1);
  return fdObj;
}
JNINativeMethod fdNatives[] = {
    {(char*)"initSystemFD", (char*)"(Ljava/io/FileDescriptor;I)Ljava/io/FileDescriptor;", (void*)&InitSystemFD}};

}  // namespace

Overlay::Overlay() { memset(&table, 0, sizeof table); }

void Overlay::Install() { refhost::SetNetworkOverlay(&table); }

void NetTest::SetUp() {
  JniTest::SetUp();
  if (HasFatalFailure()) return;
  if (!LoopbackUsable()) GTEST_SKIP() << "127.0.0.1 cannot be bound here";
  Log().clear();
  ASSERT_EQ(0, JNI_RegisterNative("java/io/FileDescriptor", fdNatives, 1));
  ASSERT_EQ(0, Register_java_net(0));
  Register_java_net_DatagramPacket();
}

void NetTest::TearDown() {
  refhost::SetNetworkOverlay(nullptr);
  JniTest::TearDown();
}

uint32_t NetTest::HostCalls() {
  uint32_t n = 0;
  for (int slot = 60; slot <= 96; slot++) n += refhost::NetCallCount(slot);
  return n;
}

jobject NetTest::Address(const char* dotted) {
  jclass c = Cls("java/net/InetAddress");
  jmethodID m = f->GetStaticMethodID(env, c, "getByName", "(Ljava/lang/String;)Ljava/net/InetAddress;");
  jobject a = f->CallStaticObjectMethod(env, c, m, f->NewStringUTF(env, dotted));
  EXPECT_NE(nullptr, a) << dotted << ": " << Thrown() << " " << message;
  return a;
}

jobject NetTest::Server(jint port) {
  jclass c = Cls("java/net/ServerSocket");
  jobject s = f->NewObject(env, c, f->GetMethodID(env, c, "<init>", "(I)V"), port);
  EXPECT_NE(nullptr, s) << Thrown() << " " << message;
  return s;
}

jint NetTest::LocalPort(jobject o) {
  jclass c = f->GetObjectClass(env, o);
  return f->CallIntMethod(env, o, f->GetMethodID(env, c, "getLocalPort", "()I"));
}

jobject NetTest::Connect(jint port) {
  jclass c = Cls("java/net/Socket");
  jobject s = f->NewObject(env, c, f->GetMethodID(env, c, "<init>", "(Ljava/net/InetAddress;I)V"),
                           Address("127.0.0.1"), port);
  EXPECT_NE(nullptr, s) << Thrown() << " " << message;
  return s;
}

jobject NetTest::Accept(jobject server) {
  jobject s = f->CallObjectMethod(env, server, Method("java/net/ServerSocket", "accept", "()Ljava/net/Socket;"));
  EXPECT_NE(nullptr, s) << Thrown() << " " << message;
  return s;
}

jobject NetTest::Impl(jobject o) {
  jclass c = f->GetObjectClass(env, o);
  return f->GetObjectField(env, o, f->GetFieldID(env, c, "impl", "Ljava/net/SocketImpl;"));
}

jobject NetTest::Input(jobject socket) {
  jobject in = f->CallObjectMethod(env, socket, Method("java/net/Socket", "getInputStream", "()Ljava/io/InputStream;"));
  EXPECT_NE(nullptr, in) << Thrown() << " " << message;
  return in;
}

jobject NetTest::Output(jobject socket) {
  jobject out =
      f->CallObjectMethod(env, socket, Method("java/net/Socket", "getOutputStream", "()Ljava/io/OutputStream;"));
  EXPECT_NE(nullptr, out) << Thrown() << " " << message;
  return out;
}

jobject NetTest::Datagram(jint port) {
  jclass c = Cls("java/net/DatagramSocket");
  jobject s = f->NewObject(env, c, f->GetMethodID(env, c, "<init>", "(I)V"), port);
  EXPECT_NE(nullptr, s) << Thrown() << " " << message;
  return s;
}

jobject NetTest::DatagramImpl(jobject datagramSocket) {
  return f->GetObjectField(env, datagramSocket, Field("java/net/DatagramSocket", "impl", "Ljava/net/DatagramSocketImpl;"));
}

void NetTest::Pair(jobject* client, jobject* accepted) {
  jobject server = Server(0);
  ASSERT_NE(nullptr, server);
  *client = Connect(LocalPort(server));
  ASSERT_NE(nullptr, *client);
  *accepted = Accept(server);
  ASSERT_NE(nullptr, *accepted);
  f->CallVoidMethod(env, server, Method("java/net/ServerSocket", "close", "()V"));
}

jint NetTest::Read(jobject in, jbyteArray b, jint off, jint len) {
  return f->CallIntMethod(env, in, Method("java/net/SocketInputStream", "socketRead", "([BII)I"), b, off, len);
}

void NetTest::Write(jobject out, jbyteArray b, jint off, jint len) {
  f->CallVoidMethod(env, out, Method("java/net/SocketOutputStream", "socketWrite", "([BII)V"), b, off, len);
}

void NetTest::CallNative(jobject self, const char* cls, const char* name, const char* sig, ...) {
  va_list args;
  va_start(args, sig);
  f->CallVoidMethodV(env, self, Method(cls, name, sig), args);
  va_end(args);
}

jint NetTest::CallIntNative(jobject self, const char* cls, const char* name, const char* sig, ...) {
  va_list args;
  va_start(args, sig);
  jint r = f->CallIntMethodV(env, self, Method(cls, name, sig), args);
  va_end(args);
  return r;
}

jbyteArray NetTest::Bytes(uint32_t size, uint8_t seed) {
  jbyteArray b = f->NewByteArray(env, (jsize)size);
  std::vector<uint8_t> v(size);
  for (uint32_t i = 0; i < size; i++) v[i] = (uint8_t)(seed + i * 7 + (i >> 8));
  if (size > 0) f->SetByteArrayRegion(env, b, 0, (jsize)size, (const jbyte*)v.data());
  return b;
}

std::vector<uint8_t> NetTest::Contents(jbyteArray b) {
  jsize n = f->GetArrayLength(env, b);
  std::vector<uint8_t> v((size_t)n);
  if (n > 0) f->GetByteArrayRegion(env, b, 0, n, (jbyte*)v.data());
  return v;
}

const uint8_t* NetTest::ElementAt(jbyteArray b, uint32_t i, uint32_t* run) {
  VMArray* a = (VMArray*)VMJniHandle::UnHandle(env, b);
  return (const uint8_t*)a->FindElement(i, run);
}

jint NetTest::IntField(jobject o, const char* cls, const char* name) {
  return f->GetIntField(env, o, Field(cls, name, "I"));
}

void NetTest::SetIntField(jobject o, const char* cls, const char* name, jint value) {
  f->SetIntField(env, o, Field(cls, name, "I"), value);
}

jobject NetTest::ObjectField(jobject o, const char* cls, const char* name, const char* sig) {
  return f->GetObjectField(env, o, Field(cls, name, sig));
}

}  // namespace net_test
