/* Fuzz target of the debugger's request decoder. A machine runs the debugger test
   program (tests/java/debugger) on a Java thread that stops again and again in
   Probe.run; a client is attached and connected. Every input is a script of up to 64
   requests sent through JNI_DebugRequest one after another: the first byte a request
   reads is its code, and every later field it reads is taken from the input's next
   bytes, except that a 4-byte field whose first byte is FE takes a number from the pool
   of handles and frames that earlier replies returned (FE, then a selector byte), and an
   8-byte field whose first byte is FE an address from the pool with its index and kind
   replaced (FE, selector, two index bytes, kind byte). Pools carry over between inputs
   and are seeded, for each new connection, by a fixed script that walks the stopped
   thread's frames, locals, fields and arrays.

   Rewritten on the way: ThreadStop (74) becomes ThreadSet (it would end the program's
   thread), and the wait byte of EventPending (20) is 0 (nothing must block). After an
   EventRemove (21) the harness lets the program stop again before the next request.

   After each request: the reply is either nothing at all or one announcement first and
   writes adding up to it; a request never reads more than its table width; every log
   line is a check text or the bad-handle line; an element address is of the element
   kind. After each input the program's thread still comes back to a stop (its native's,
   or a breakpoint the requests planted; steps and watches that fire on the way are let
   go), so nothing the requests did broke it. Built and run by fuzz/run.sh debug_request. */
#define PUX_FUZZ_NAME "debug_request_fuzz"
#include "fuzz_common.h"

#include <unistd.h>

#include <atomic>
#include <thread>

#include "vm.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmthread.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  fprintf(stderr, "debug_request_fuzz: %s\n", what);
  abort();
}

void JNICALL Stop(JNIEnv* env, jclass) {
  VMThread* thread = env->thread;
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  if (agent != nullptr) agent->AddEvent(VMDebugger::EventBreakpoint, nullptr, VMDebugger::FrameCaller(thread->GetFrame()));
}

jint JNICALL ViaNative(JNIEnv* env, jclass cls, jint n) {
  jmethodID inner = env->functions->GetStaticMethodID(env, cls, "inner", "(I)I");
  return env->functions->CallStaticIntMethod(env, cls, inner, n);
}

struct World {
  JavaVM* jvm = nullptr;
  void* agent = nullptr;
  std::thread program;
  std::atomic<bool> quit{false};
  std::atomic<uint32_t> runs{0};
  std::vector<int32_t> pool4;
  std::vector<int64_t> pool8;
  uint32_t inputs = 0;
  /* The program's thread, as the connection names it. */
  int32_t thread = 0;
};

World* gWorld = nullptr;

/* ---- one request on the wire ---- */

struct Call {
  Call(const uint8_t* d, size_t n, size_t from, World* w) : data(d), size(n), at(from), world(w) {}
  const uint8_t* data;
  size_t size;
  size_t at;
  World* world;
  int code = -1;
  size_t consumed = 0;
  int announcements = 0;
  uint32_t announced = 0;
  std::vector<uint8_t> reply;
  bool dataFirst = false;
};

jint HOSTCALL Read(void* c, void* buffer, jint length) {
  Call* call = (Call*)c;
  uint8_t* out = (uint8_t*)buffer;
  if (length <= 0) return 0;
  if (call->code < 0) {
    if (call->at >= call->size) return 0;
    uint8_t code = call->data[call->at++];
    if (code == 74) code = 73;
    call->code = code;
    out[0] = code;
    call->consumed++;
    return 1;
  }
  size_t left = call->size - call->at;
  World* w = call->world;
  if (length == 4 && left >= 2 && call->data[call->at] == 0xFE && !w->pool4.empty()) {
    int32_t v = w->pool4[call->data[call->at + 1] % w->pool4.size()];
    call->at += 2;
    for (int i = 0; i < 4; i++) out[i] = (uint8_t)((uint32_t)v >> (24 - 8 * i));
    call->consumed += 4;
    return 4;
  }
  if (length == 8 && left >= 5 && call->data[call->at] == 0xFE && !w->pool8.empty()) {
    int64_t v = w->pool8[call->data[call->at + 1] % w->pool8.size()];
    v = (v & ~0xFFFFFFFFLL) | ((int64_t)call->data[call->at + 2] << 24) | ((int64_t)call->data[call->at + 3] << 16) |
        call->data[call->at + 4];
    call->at += 5;
    for (int i = 0; i < 8; i++) out[i] = (uint8_t)((uint64_t)v >> (56 - 8 * i));
    call->consumed += 8;
    return 8;
  }
  size_t n = (size_t)length < left ? (size_t)length : left;
  memcpy(out, call->data + call->at, n);
  if (call->code == 20 && length == 1 && n == 1) out[0] = 0;
  call->at += n;
  call->consumed += n;
  return (jint)n;
}

jint HOSTCALL Write(void* c, void* buffer, jint length) {
  Call* call = (Call*)c;
  if (length == 0) {
    if (!call->reply.empty()) call->dataFirst = true;
    call->announcements++;
    memcpy(&call->announced, buffer, 4);
    return 0;
  }
  if (call->announcements == 0) call->dataFirst = true;
  call->reply.insert(call->reply.end(), (uint8_t*)buffer, (uint8_t*)buffer + length);
  return length;
}

/* The most a request of this code may read after its code byte (texts at their most). */
size_t Width(int code) {
  switch (code) {
    case 14: case 15: case 19: case 21: case 67: case 68: return 0;
    case 20: case 22: case 49: return 1;
    case 77: return 6;
    case 0: case 1: case 2: case 35: case 36: case 37: case 38: case 39: case 40: case 41: case 42: case 43:
    case 44: case 45: case 47: case 48: case 50: case 78: case 79: return 8;
    case 58: case 59: return 9;
    case 60: case 65: return 10;
    case 3: case 25: case 46: case 51: case 62: case 63: case 80: return 12;
    case 61: case 64: return 16;
    case 7: return 2 + 511;
    case 66: return 10 + 511;
    default: return code >= 0 && code <= 83 ? 4 : 0;
  }
}

uint32_t U(const std::vector<uint8_t>& b, size_t at, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; i++) v = (v << 8) | (at + i < b.size() ? b[at + i] : 0);
  return v;
}

/* Adds what a reply names to the pools. */
void Harvest(World* w, int code, const std::vector<uint8_t>& r) {
  auto add4 = [&](int32_t v) {
    if (v != 0 && w->pool4.size() < 4096) w->pool4.push_back(v);
  };
  auto add8 = [&](int64_t v) {
    if (v != 0 && w->pool8.size() < 4096) w->pool8.push_back(v);
  };
  switch (code) {
    case 7: case 11: case 19: case 24: case 29: case 31: case 32: case 47: case 57: case 68: case 69: case 71:
    case 80: case 81:
      if (r.size() == 4) add4((int32_t)U(r, 0, 4));
      break;
    case 5: case 8: case 55:
      for (size_t i = 0, n = U(r, 0, 2); i < n && 2 + 4 * i + 4 <= r.size(); i++) add4((int32_t)U(r, 2 + 4 * i, 4));
      break;
    case 25: case 46: case 50: case 78: case 82:
      if (r.size() == 8) add8((int64_t)(((uint64_t)U(r, 0, 4) << 32) | U(r, 4, 4)));
      break;
  }
}

/* Sends one request from the script at *at; false when the script is used up. */
bool SendOne(World* w, const uint8_t* data, size_t size, size_t* at) {
  if (*at >= size) return false;
  Call call(data, size, *at, w);
  uint32_t result = JNI_DebugRequest(w->agent, &call, Read, &call, Write);
  if (result != 0) Fail("a request was not served");
  if (call.announcements > 1) Fail("a reply was announced twice");
  if (call.dataFirst) Fail("reply bytes came before the announcement");
  if (call.announcements == 1 && call.announced != call.reply.size()) Fail("a reply differs from its announcement");
  if (call.announcements == 0 && !call.reply.empty()) Fail("a dropped request wrote");
  if (call.consumed > 1 + Width(call.code)) Fail("a request read past its width");
  // Texts, lists and code carry a count that must agree with the announcement.
  int c = call.code;
  if (call.announcements == 1 && call.reply.size() >= 2) {
    uint32_t n = U(call.reply, 0, 2);
    if ((c == 6 || c == 10 || c == 26 || c == 27 || c == 43 || c == 70 || c == 51) && n + 2 != call.announced)
      Fail("a text's count differs from its announcement");
    if ((c == 5 || c == 8 || c == 55) && 2 + 4 * n != call.announced) Fail("a list's count differs");
    if (c == 54 && 2 + 2 * n != call.announced) Fail("a short list's count differs");
  }
  if (c == 46 && call.reply.size() == 8) {
    uint32_t low = U(call.reply, 4, 4);
    if (low != 0 && (low & 0xFFFF) != 7) Fail("an element address of another kind");
  }
  Harvest(w, c, call.reply);
  *at = call.at;
  return true;
}

std::vector<uint8_t> Script(std::initializer_list<uint8_t> bytes) { return std::vector<uint8_t>(bytes); }

int32_t SendFor4(World* w, const std::vector<uint8_t>& bytes) {
  Call call(bytes.data(), bytes.size(), 0, w);
  (void)JNI_DebugRequest(w->agent, &call, Read, &call, Write);
  return call.reply.size() == 4 ? (int32_t)U(call.reply, 0, 4) : 0;
}

/* Waits until the program's thread stands in its stop, taking class loads on the way. */
void AwaitStop(World* w) {
  for (int i = 0; i < 20000; i++) {
    int32_t kind = SendFor4(w, Script({20, 0}));
    if (kind == VMDebugger::EventBreakpoint) return;
    if (kind != 0) {
      (void)SendFor4(w, Script({21}));
      continue;
    }
    // A suspension the script made keeps the thread from its stop: undone here.
    if (i % 64 == 63 && w->thread != 0) {
      int32_t t = w->thread;
      (void)SendFor4(w, {72, (uint8_t)(t >> 24), (uint8_t)(t >> 16), (uint8_t)(t >> 8), (uint8_t)t});
    }
    usleep(200);
  }
  Fail("the program's thread no longer stops");
}

void Seed(World* w) {
  // The stopped thread, its frames, the method and class of run, their locals and fields.
  static const uint8_t seed[] = {
      68,                                   // thread
      69, 0xFE, 0,                          // its top frame
      29, 0xFE, 1,                          // run's frame
      32, 0xFE, 2,                          // run
      31, 0xFE, 2,                          // Probe
      55, 0xFE, 3,                          // run's locals
      8, 0xFE, 4,                           // Probe's methods
      5, 0xFE, 4,                           // Probe's fields
  };
  w->pool4.clear();
  w->pool8.clear();
  size_t at = 0;
  while (SendOne(w, seed, sizeof seed, &at)) {
  }
  w->thread = w->pool4.empty() ? 0 : w->pool4[0];
  // Addresses of every local in run's frame, and of every field through them.
  std::vector<int32_t> handles = w->pool4;
  int32_t frame = handles.size() > 2 ? handles[2] : 0;
  for (int32_t h : handles) {
    std::vector<uint8_t> r = {50, (uint8_t)(h >> 24), (uint8_t)(h >> 16), (uint8_t)(h >> 8), (uint8_t)h,
                              (uint8_t)(frame >> 24), (uint8_t)(frame >> 16), (uint8_t)(frame >> 8), (uint8_t)frame};
    size_t a = 0;
    (void)SendOne(w, r.data(), r.size(), &a);
  }
  std::vector<int64_t> addresses = w->pool8;
  for (int32_t h : handles)
    for (int64_t address : addresses.empty() ? std::vector<int64_t>{0} : addresses) {
      std::vector<uint8_t> r = {25, (uint8_t)(h >> 24), (uint8_t)(h >> 16), (uint8_t)(h >> 8), (uint8_t)h};
      for (int i = 0; i < 8; i++) r.push_back((uint8_t)((uint64_t)address >> (56 - 8 * i)));
      size_t a = 0;
      (void)SendOne(w, r.data(), r.size(), &a);
    }
  static const int32_t fixed[] = {0, -1, 1, (int32_t)0x80000000, 0x7FFFFFFF, (int32_t)0xFFFF0000};
  for (int32_t v : fixed) w->pool4.push_back(v);
}

void Connect(World* w) {
  w->thread = 0;
  w->agent = JNI_DebugAttach("debug_request_fuzz");
  if (w->agent == nullptr || JNI_DebugEventPending(w->agent) == (jbyte)255) Fail("no debugger agent");
  AwaitStop(w);
  Seed(w);
}

World* MakeWorld() {
  World* w = new World();
  JNIHostFunctions* host = refhost::Functions();
  JNI_SetHostFunctions(host);
  refhost::SetClassPath(nullptr, fuzz_common::ClassPath() + ":" + PUX_BUILD_DIR + "/testclasses/debugger");
  refhost::SetCapture(true);
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  args.name = "debug_request_fuzz";
  JNIEnv* env = nullptr;
  if (JNI_CreateJavaVM(&w->jvm, &env, &args) != 0) Fail("no machine");
  // Strings the requests make are collected when the heap runs out, as in a host.
  refhost::SetHeapCapacity(w->jvm->vm->GetHeap(), 32u << 20);
  jclass target = env->functions->FindClass(env, "dbgtest/Probe");
  if (target == nullptr) Fail("no dbgtest/Probe on the class path");
  static JNINativeMethod natives[] = {{(char*)"stop", (char*)"()V", (void*)Stop},
                                      {(char*)"viaNative", (char*)"(I)I", (void*)ViaNative}};
  if (env->functions->RegisterNatives(env, target, natives, 2) != 0) Fail("natives not registered");
  // The client's thread is attached only for its calls: a collection the program's
  // thread starts never waits for it.
  JavaVM* jvm = w->jvm;
  if (jvm->functions->DetachCurrentThread(jvm) != 0) Fail("cannot detach");
  w->program = std::thread([w, jvm] {
    JNIEnv* own = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &own, nullptr) != 0) Fail("cannot attach the program");
    jclass cls = own->functions->FindClass(own, "dbgtest/Probe");
    jmethodID run = own->functions->GetStaticMethodID(own, cls, "run", "(I)I");
    jmethodID nested = own->functions->GetStaticMethodID(own, cls, "nested", "(I)I");
    while (!w->quit.load()) {
      bool viaNative = (w->runs.fetch_add(1) & 1) != 0;
      (void)own->functions->CallStaticIntMethod(own, cls, viaNative ? nested : run, 10);
      own->functions->ExceptionClear(own);
    }
    jvm->functions->DetachCurrentThread(jvm);
  });
  Connect(w);
  return w;
}

void DestroyWorld(World* w) {
  w->quit.store(true);
  JNI_DebugDetach(w->agent);
  w->program.join();
  JNIEnv* env = nullptr;
  if (w->jvm->functions->AttachCurrentThread(w->jvm, &env, nullptr) != 0) Fail("cannot attach to destroy");
  if (w->jvm->functions->DestroyJavaVM(w->jvm) != 0) Fail("the machine cannot be destroyed");
  delete w;
}

/* Every line the requests logged is one the protocol has. */
void CheckLog(size_t* seen) {
  std::string log = refhost::CapturedLog();
  size_t at = *seen;
  while (at < log.size()) {
    size_t end = log.find('\n', at);
    if (end == std::string::npos) break;
    std::string line = log.substr(at, end - at);
    if (line.rfind("Debug assertion: ", 0) != 0 && line != "Debug Error: bad handle") {
      fprintf(stderr, "debug_request_fuzz: log line \"%s\"\n", line.c_str());
      Fail("a log line the protocol does not have");
    }
    at = end + 1;
  }
  *seen = at;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gWorld == nullptr) {
    gWorld = MakeWorld();
    atexit([] {
      if (gWorld != nullptr) DestroyWorld(gWorld);
      gWorld = nullptr;
    });
  }
  World* w = gWorld;
  static size_t logSeen = 0;
  if (++w->inputs % 256 == 0) {
    // Global handles pile up until the connection ends: a fresh one now and then.
    JNI_DebugDetach(w->agent);
    Connect(w);
  }
  size_t at = 0;
  for (int i = 0; i < 64 && at < size; i++) {
    int code = data[at];
    if (!SendOne(w, data, size, &at)) break;
    CheckLog(&logSeen);
    if (code == 21) AwaitStop(w);
  }
  AwaitStop(w);
  if (refhost::CapturedLog().size() > (8u << 20)) {
    // The captured log is kept whole: started afresh (with the class path) before it grows.
    refhost::ResetHooks();
    refhost::SetClassPath(nullptr, fuzz_common::ClassPath() + ":" + PUX_BUILD_DIR + "/testclasses/debugger");
    refhost::SetCapture(true);
    logSeen = 0;
  }
  return 0;
}
