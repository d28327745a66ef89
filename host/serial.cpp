/* The host side of stored objects: a JNIHostSerializationSupport over streams in memory,
   host class ids kept in a table of class names, and stored class descriptors by id,
   with hooks that make the host answer as a faulty or hostile one would (short and
   out-of-range read counts, refused reads and writes, bad class ids, unset class-data
   handles). */
#include "refhost_internal.h"

#include <string.h>

#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace refhost {
namespace {

constexpr uint32_t kStreamTag = 0x53545245u;  // "ERTS"

struct SerialStream {
  uint32_t tag = kStreamTag;
  std::vector<uint8_t> data;
  size_t position = 0;
};

struct ReadAnswer {
  int32_t count;
  bool succeed;
};

struct SerialState {
  std::mutex lock;
  std::set<SerialStream*> streams;
  std::deque<ReadAnswer> script;
  std::vector<int32_t> pattern;
  size_t patternNext = 0;
  uint32_t failWriteAt = 0;  // counts down; the call that takes it to 0 fails
  uint32_t writeCalls = 0;
  uint32_t readCalls = 0;
  uint32_t classToIdCalls = 0;
  uint32_t idToClassCalls = 0;
  uint32_t classDataCalls = 0;
  jint nextId = 1;
  std::map<std::string, jint> ids;
  std::map<jint, std::string> names;
  std::map<std::string, jint> answers;
  std::set<jint> hidden;
  std::map<jint, std::vector<uint8_t>> classData;
  std::set<SerialStream*> classDataOpen;
  bool leaveHandleUnset = false;
};

SerialState& State() {
  static SerialState* state = new SerialState();
  return *state;
}

SerialStream* Known(void* stream) {
  SerialStream* s = (SerialStream*)stream;
  SerialState& st = State();
  return st.streams.count(s) != 0 ? s : nullptr;
}

jint HOSTCALL ClassToId(const char* name, jint) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.classToIdCalls++;
  if (name == nullptr) return 0;
  auto answer = st.answers.find(name);
  if (answer != st.answers.end()) return answer->second;
  auto found = st.ids.find(name);
  if (found != st.ids.end()) return found->second;
  jint id = st.nextId++;
  st.ids[name] = id;
  st.names[id] = name;
  return id;
}

/* The class of an id, in the loader that the calling thread's env names: the machine
   sets the env's loader id to the read's for the length of a read. */
jclass HOSTCALL IdToClass(jint id) {
  std::string name;
  {
    SerialState& st = State();
    std::lock_guard<std::mutex> guard(st.lock);
    st.idToClassCalls++;
    if (st.hidden.count(id) != 0) return nullptr;
    auto found = st.names.find(id);
    if (found == st.names.end()) return nullptr;
    name = found->second;
  }
  JNIEnv* env = Functions()->GetCurrentEnv();
  if (env == nullptr) return nullptr;
  // The env record's first word is its function table.
  const JNINativeInterface_* fn = *(const JNINativeInterface_* const*)env;
  void* loaderId = fn->GetEnvUserWord(env);
  jclass cls = fn->FindClassInLoaderId(env, name.c_str(), loaderId);
  if (cls == nullptr) fn->ExceptionClear(env);
  return cls;
}

jint HOSTCALL Read(void* stream, void* buffer, jint capacity, jint* count) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.readCalls++;
  SerialStream* s = Known(stream);
  if (s == nullptr || buffer == nullptr || count == nullptr || capacity < 0) return 0;
  size_t left = s->data.size() - s->position;
  if (!st.script.empty()) {
    ReadAnswer answer = st.script.front();
    st.script.pop_front();
    if (!answer.succeed) return 0;
    // A count outside 0..capacity is reported as it is, with nothing stored: what a
    // faulty host would say.
    if (answer.count < 0 || answer.count > capacity) {
      *count = answer.count;
      return 1;
    }
    size_t n = (size_t)answer.count < left ? (size_t)answer.count : left;
    if (n > 0) memcpy(buffer, s->data.data() + s->position, n);
    s->position += n;
    *count = (jint)n;
    return 1;
  }
  size_t n = (size_t)capacity;
  if (!st.pattern.empty()) {
    int32_t chunk = st.pattern[st.patternNext++ % st.pattern.size()];
    if (chunk >= 0 && chunk < capacity) n = (size_t)chunk;
  }
  if (n > left) n = left;
  if (n > 0) memcpy(buffer, s->data.data() + s->position, n);
  s->position += n;
  *count = (jint)n;
  return 1;
}

jint HOSTCALL Write(void* stream, const void* bytes, jint count) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.writeCalls++;
  if (st.failWriteAt != 0 && --st.failWriteAt == 0) return 0;
  SerialStream* s = Known(stream);
  if (s == nullptr || count < 0 || (count > 0 && bytes == nullptr)) return 0;
  if (count > 0) s->data.insert(s->data.end(), (const uint8_t*)bytes, (const uint8_t*)bytes + count);
  return 1;
}

jint HOSTCALL Seek(void* stream, jint offset, jint origin) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  SerialStream* s = Known(stream);
  if (s == nullptr) return -1;
  size_t base = origin == 0 ? 0 : origin == 1 ? s->position : s->data.size();
  int64_t target = (int64_t)base + offset;
  if (target < 0 || target > (int64_t)s->data.size()) return -1;
  s->position = (size_t)target;
  return 0;
}

void HOSTCALL GetClassData(jint id, void** handle) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.classDataCalls++;
  if (handle == nullptr || st.leaveHandleUnset) return;
  auto found = st.classData.find(id);
  if (found == st.classData.end()) {
    *handle = nullptr;
    return;
  }
  SerialStream* s = new SerialStream();
  s->data = found->second;
  st.streams.insert(s);
  st.classDataOpen.insert(s);
  *handle = s;
}

void HOSTCALL ReleaseClassData(void* handle) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  SerialStream* s = (SerialStream*)handle;
  if (st.classDataOpen.erase(s) == 0) return;
  st.streams.erase(s);
  delete s;
}

JNIHostSerializationSupport gSupport = {
    nullptr, nullptr, nullptr, ClassToId, nullptr, IdToClass, Read, ReleaseClassData, Write,
    nullptr, nullptr, GetClassData, Seek,
};

}  // namespace

namespace detail {
void ResetSerialHooks() {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.script.clear();
  st.pattern.clear();
  st.patternNext = 0;
  st.failWriteAt = 0;
  st.writeCalls = st.readCalls = st.classToIdCalls = st.idToClassCalls = st.classDataCalls = 0;
  st.answers.clear();
  st.hidden.clear();
  st.classData.clear();
  st.leaveHandleUnset = false;
}
}  // namespace detail

JNIHostSerializationSupport* SerialSupport() { return &gSupport; }

void* SerialStreamCreate(const void* data, size_t size) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  SerialStream* s = new SerialStream();
  if (data != nullptr) s->data.assign((const uint8_t*)data, (const uint8_t*)data + size);
  st.streams.insert(s);
  return s;
}

std::vector<uint8_t> SerialStreamBytes(void* stream) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  SerialStream* s = Known(stream);
  return s != nullptr ? s->data : std::vector<uint8_t>();
}

void SerialStreamRewind(void* stream) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  if (SerialStream* s = Known(stream)) s->position = 0;
}

void SerialStreamDestroy(void* stream) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  SerialStream* s = (SerialStream*)stream;
  if (st.streams.erase(s) == 0) return;
  st.classDataOpen.erase(s);
  delete s;
}

uint32_t SerialStreamsLive() {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  return (uint32_t)st.streams.size();
}

void SerialSetReadPattern(const std::vector<int32_t>& counts) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.pattern = counts;
  st.patternNext = 0;
}

void SerialScriptRead(int32_t count, bool succeed) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.script.push_back({count, succeed});
}

void SerialClearReadScript() {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.script.clear();
}

void SerialFailWriteAt(uint32_t n) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.failWriteAt = n;
}

uint32_t SerialWriteCalls() { return State().writeCalls; }
uint32_t SerialReadCalls() { return State().readCalls; }
uint32_t SerialClassToIdCalls() { return State().classToIdCalls; }
uint32_t SerialIdToClassCalls() { return State().idToClassCalls; }
uint32_t SerialClassDataCalls() { return State().classDataCalls; }

jint SerialIdOf(const std::string& name) { return ClassToId(name.c_str(), 1); }

void SerialSetClassToIdAnswer(const std::string& name, jint answer) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.answers[name] = answer;
}

void SerialMapId(jint id, const std::string& name) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.names[id] = name;
}

void SerialHideClassId(jint id, bool hidden) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  if (hidden)
    st.hidden.insert(id);
  else
    st.hidden.erase(id);
}

void SerialSetClassData(jint id, const std::vector<uint8_t>& bytes) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.classData[id] = bytes;
}

void SerialLeaveClassDataHandleUnset(bool on) {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  st.leaveHandleUnset = on;
}

uint32_t SerialClassDataOpen() {
  SerialState& st = State();
  std::lock_guard<std::mutex> guard(st.lock);
  return (uint32_t)st.classDataOpen.size();
}

}  // namespace refhost
