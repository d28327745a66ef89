/* A debugger client for the tests, written from the wire protocol: requests built
   big-endian into a byte buffer, sent through JNI_DebugRequest with memory callbacks,
   and the reply checked as it arrives (one announcement before any data, writes adding
   up to it, nothing at all for a dropped request) and decoded. */
#ifndef PUX_TESTS_DEBUG_CLIENT_H
#define PUX_TESTS_DEBUG_CLIENT_H

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "vmjni_entries.h"

namespace dbgclient {

/* One request's bytes. */
struct Request {
  std::vector<uint8_t> bytes;
  explicit Request(uint8_t code) { bytes.push_back(code); }
  Request& B(uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  Request& S(uint16_t v) { return B((uint8_t)(v >> 8)).B((uint8_t)v); }
  Request& I(int32_t v) {
    for (int s = 24; s >= 0; s -= 8) B((uint8_t)((uint32_t)v >> s));
    return *this;
  }
  Request& L(int64_t v) {
    for (int s = 56; s >= 0; s -= 8) B((uint8_t)((uint64_t)v >> s));
    return *this;
  }
  Request& T(const std::string& text) {
    S((uint16_t)text.size());
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
};

/* What one request did on the wire. */
struct Reply {
  jint result = 0;
  size_t consumed = 0;
  std::vector<jint> asked;
  int announcements = 0;
  bool announcedFirst = true;
  uint32_t announced = 0;
  size_t writes = 0;
  std::vector<uint8_t> data;

  bool Dropped() const { return announcements == 0 && data.empty(); }
  uint32_t U(size_t at, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v = (v << 8) | (at + i < data.size() ? data[at + i] : 0);
    return v;
  }
  uint8_t Byte(size_t at = 0) const { return (uint8_t)U(at, 1); }
  uint16_t Short(size_t at = 0) const { return (uint16_t)U(at, 2); }
  int32_t Int(size_t at = 0) const { return (int32_t)U(at, 4); }
  int64_t Long(size_t at = 0) const { return (int64_t)(((uint64_t)U(at, 4) << 32) | U(at + 4, 4)); }
  std::string Text() const {
    size_t n = Short(0);
    return n + 2 <= data.size() ? std::string(data.begin() + 2, data.begin() + 2 + n) : std::string();
  }
  std::vector<int32_t> Handles() const {
    std::vector<int32_t> out;
    for (size_t i = 0, n = Short(0); i < n; i++) out.push_back(Int(2 + 4 * i));
    return out;
  }
  std::vector<uint16_t> Shorts() const {
    std::vector<uint16_t> out;
    for (size_t i = 0, n = Short(0); i < n; i++) out.push_back(Short(2 + 2 * i));
    return out;
  }
};

struct Channel {
  const std::vector<uint8_t>* in;
  Reply* reply;
  static jint HOSTCALL Read(void* c, void* buffer, jint length) {
    Channel* ch = (Channel*)c;
    ch->reply->asked.push_back(length);
    size_t left = ch->in->size() - ch->reply->consumed;
    size_t n = length < 0 ? 0 : ((size_t)length < left ? (size_t)length : left);
    if (n != 0) memcpy(buffer, ch->in->data() + ch->reply->consumed, n);
    ch->reply->consumed += n;
    return (jint)n;
  }
  static jint HOSTCALL Write(void* c, void* buffer, jint length) {
    Channel* ch = (Channel*)c;
    if (length == 0) {
      if (!ch->reply->data.empty()) ch->reply->announcedFirst = false;
      ch->reply->announcements++;
      memcpy(&ch->reply->announced, buffer, 4);
      return 0;
    }
    if (ch->reply->announcements == 0) ch->reply->announcedFirst = false;
    ch->reply->writes++;
    ch->reply->data.insert(ch->reply->data.end(), (uint8_t*)buffer, (uint8_t*)buffer + length);
    return length;
  }
};

/* Sends the bytes as one request; every reply must keep to the protocol. */
inline Reply Send(void* agent, const std::vector<uint8_t>& bytes) {
  Reply reply;
  Channel ch{&bytes, &reply};
  reply.result = (jint)JNI_DebugRequest(agent, &ch, Channel::Read, &ch, Channel::Write);
  EXPECT_EQ(0, reply.result);
  EXPECT_TRUE(reply.announcedFirst) << "data written before the announcement";
  EXPECT_LE(reply.announcements, 1) << "announced twice";
  if (reply.announcements == 1) {
    EXPECT_EQ(reply.announced, reply.data.size()) << "reply bytes differ from the announcement";
  }
  return reply;
}
inline Reply Send(void* agent, const Request& r) { return Send(agent, r.bytes); }

/* A client session on one agent with typed requests. */
class Client {
 public:
  explicit Client(void* agent) : agent_(agent) {}
  void* Agent() const { return agent_; }
  Reply Call(const Request& r) { return Send(agent_, r); }
  int32_t Int(const Request& r) {
    Reply reply = Call(r);
    EXPECT_EQ(4u, reply.announced);
    return reply.Int();
  }
  int64_t Long(const Request& r) {
    Reply reply = Call(r);
    EXPECT_EQ(8u, reply.announced);
    return reply.Long();
  }
  std::string Text(const Request& r) { return Call(r).Text(); }

  int32_t EventPending(bool wait) { return Int(Request(20).B(wait ? 1 : 0)); }
  int32_t EventGet() { return Int(Request(19)); }
  void EventRemove() { EXPECT_EQ(0u, Call(Request(21)).announced); }
  std::string ClassName(int32_t h) { return Text(Request(10).I(h)); }
  std::vector<int32_t> ClassFields(int32_t h) { return Call(Request(5).I(h)).Handles(); }
  std::vector<int32_t> ClassMethods(int32_t h) { return Call(Request(8).I(h)).Handles(); }
  std::string MemberName(int32_t h) { return Text(Request(26).I(h)); }
  std::string MethodName(int32_t h) { return Text(Request(27).I(h)); }
  std::vector<int32_t> MethodLocals(int32_t h) { return Call(Request(55).I(h)).Handles(); }
  int32_t ThreadCurrent() { return Int(Request(68)); }
  int32_t ThreadFrame(int32_t t) { return Int(Request(69).I(t)); }
  int32_t FrameCaller(int32_t f) { return Int(Request(29).I(f)); }
  int32_t FrameMethod(int32_t f) { return Int(Request(32).I(f)); }
  int32_t FramePC(int32_t f) { return Int(Request(34).I(f)); }
  int64_t LocalAddress(int32_t local, int32_t frame) { return Long(Request(50).I(local).I(frame)); }
  int64_t FieldAddress(int32_t field, int64_t object) { return Long(Request(25).I(field).L(object)); }
  int32_t GetInt(int64_t a) { return Int(Request(40).L(a)); }
  int64_t GetLong(int64_t a) { return Long(Request(41).L(a)); }
  std::string GetString(int64_t a) { return Text(Request(43).L(a)); }
  void SetInt(int64_t a, int32_t v) { EXPECT_EQ(0u, Call(Request(63).L(a).I(v)).announced); }

  /* A request whose reply is empty: answered (not dropped) with an announcement of 0. */
  bool Done(const Request& r) {
    Reply reply = Call(r);
    return reply.announcements == 1 && reply.announced == 0;
  }
  /* The method's whole code as request 51 shows it (breakpoints included). */
  std::vector<uint8_t> MethodCode(int32_t method) {
    int32_t size = Int(Request(52).I(method));
    Reply reply = Call(Request(51).I(method).I(0).I(size));
    EXPECT_EQ((uint32_t)size, reply.Short());
    return reply.data.size() >= 2 ? std::vector<uint8_t>(reply.data.begin() + 2, reply.data.end())
                                  : std::vector<uint8_t>();
  }
  /* The first pc of the line in the method's line table; -1 when the line has none. */
  int32_t PcOfLine(int32_t method, uint32_t line) {
    std::vector<uint16_t> table = Call(Request(54).I(method)).Shorts();
    int32_t best = -1;
    for (size_t i = 0; i + 1 < table.size(); i += 2)
      if (table[i + 1] == line && (best < 0 || table[i] < best)) best = table[i];
    return best;
  }

  /* The handle among hs whose name (request 26) is name; 0 when none is. */
  int32_t Named(const std::vector<int32_t>& hs, const std::string& name) {
    for (int32_t h : hs)
      if (MemberName(h) == name) return h;
    return 0;
  }

 private:
  void* agent_;
};

}  // namespace dbgclient

#endif
