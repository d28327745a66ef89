/* A client speaking the request protocol to a machine that runs a Java program: the
   program's thread stops in a native that reports a stop at its caller, the client
   inspects and changes the frames, locals, fields, arrays and strings through handles
   and addresses, and the program's results show what landed. Hostile requests are
   refused without harm. Every blocking step runs under a watchdog. */
#include "watchdog.h"
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "debug_client.h"
#include "marked_line.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmjni_support.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace dbgclient;

namespace {


/* The program's stop: the calling thread reports a stop at the Java frame that called
   the native, and waits there until the client removes it. */
void JNICALL Stop(JNIEnv* env, jclass) {
  VMThread* thread = env->thread;
  VMDebugger* agent = thread->GetVM()->GetDebugger();
  if (agent != nullptr) agent->AddEvent(VMDebugger::EventBreakpoint, nullptr, VMDebugger::FrameCaller(thread->GetFrame()));
}

jint JNICALL ViaNative(JNIEnv* env, jclass cls, jint n) {
  jmethodID inner = env->functions->GetStaticMethodID(env, cls, "inner", "(I)I");
  return env->functions->CallStaticIntMethod(env, cls, inner, n);
}

std::string ClassDir() { return std::string(PUX_BUILD_DIR) + "/testclasses/debugger"; }

/* Waits until the condition holds or a generous time has passed (a loaded machine can
   hold a thread off for long); whether it holds. Outside the machine unless the test
   of the condition itself runs in it. */
bool Eventually(std::function<bool()> condition, bool outside = true) {
  const int64_t most = 60 * 1000000;
  bool met = false;
  auto wait = [&] {
    for (int64_t waited = 0; !(met = condition()) && waited < most; waited += 200) usleep(200);
  };
  if (outside)
    WhileOutside(wait);
  else
    wait();
  return met;
}

/* Whether the host thread of that identity is attached to the machine and waits where
   a collection counts it as stopped: a client's wait for an event. */
bool WaitsForTheDebugger(JavaVM* jvm, void* id) {
  VMNameSpace* ns = jvm->vm->GetNameSpace();
  bool waits = false;
  VMUtils::P_SpinLock(ns->GetSpinLock(), "test - WaitsForTheDebugger");
  VMThreadHandleArray* threads = jvm->vm->GetThreads();
  for (uint32_t i = 1; threads != nullptr && i < threads->GetCount(); i++) {
    VMThread* t = threads->Get(i);
    if (t != nullptr && t->GetId() == id && t->GetEnv() != nullptr && (t->GetFlags() & VMThread::SafeToGCFlag) != 0) waits = true;
  }
  VMUtils::V_SpinLock(ns->GetSpinLock(), "test - WaitsForTheDebugger");
  return waits;
}

/* Where a thread runs a method, looked at with every other thread of the machine
   stopped by a collection: the pc of the method's innermost frame, -1 if none. */
struct FrameLook {
  VMThread* thread;
  VMMethod* method;
  bool* collected;
  int32_t pc;
};

void* LookAtFrame(void* context) {
  FrameLook* look = (FrameLook*)context;
  look->pc = -1;
  if (!*look->collected) return nullptr;
  for (VMFrame* f = look->thread->GetFrame(); f != nullptr && !f->GetIsFirstFrame(); f = f->GetCaller()) {
    if (f->GetMethod() == look->method) {
      look->pc = VMDebugger::FramePC(f);
      break;
    }
  }
  return nullptr;
}

int32_t PcWhereItRuns(JavaVM* jvm, VMThread* thread, VMMethod* method) {
  bool collected = false;
  FrameLook look = {thread, method, &collected, -1};
  (void)jvm->vm->CollectThen(false, LookAtFrame, &look, &collected);
  return look.pc;
}

/* The first pc of a line of the method. */
int32_t FirstPcOfLine(VMMethod* method, uint32_t line) {
  VMStatus status = 0;
  VMshortArray* table = method->GetLineNumbers(&status);
  int32_t best = -1;
  for (uint32_t i = 0; table != nullptr && i + 1 < table->GetSize(); i += 2)
    if ((uint16_t)table->Get(i + 1) == line && (best < 0 || (uint16_t)table->Get(i) < best)) best = (uint16_t)table->Get(i);
  EXPECT_GE(best, 0) << "no code on line " << line;
  return best;
}

int16_t Kind(int64_t address) { return (int16_t)(address & 0xFFFF); }

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/classlib.zip:" + ClassDir());
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.name = "session";
    ASSERT_EQ(0, JNI_CreateJavaVM(&jvm, &env, &args));
    target = env->functions->FindClass(env, "dbgtest/Probe");
    ASSERT_NE(nullptr, target);
    target = (jclass)env->functions->NewGlobalRef(env, target);
    static JNINativeMethod natives[] = {{(char*)"stop", (char*)"()V", (void*)Stop},
                                        {(char*)"viaNative", (char*)"(I)I", (void*)ViaNative}};
    ASSERT_EQ(0, env->functions->RegisterNatives(env, target, natives, 2));
    agent = JNI_DebugAttach("session");
    ASSERT_NE(nullptr, agent);
    ASSERT_EQ(0, JNI_DebugEventPending(agent));
    refhost::SetCapture(true);
  }
  void TearDown() override {
    if (agent != nullptr) JNI_DebugDetach(agent);
    if (jvm != nullptr) {
      refhost::Functions()->SetCurrentEnv(env);
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::ResetHooks();
  }

  /* Runs the static method on this thread while the client runs the session on its own
     (detached) thread; the client always lets the program go at the end. */
  jint RunWith(const char* name, const char* signature, jint argument, std::function<void(Client&)> session) {
    std::thread client([this, session] {
      Client c(agent);
      // Class loads come first; the stop follows them.
      int32_t kind;
      while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) {
        int32_t cls = c.EventGet();
        EXPECT_EQ(-1, c.Int(Request(12).I(cls))) << "delivered only once removed";
        loaded.push_back(c.ClassName(cls));
        c.EventRemove();
        // Ids count the classes in the order they were delivered.
        EXPECT_EQ((int32_t)loaded.size() - 1, c.Int(Request(12).I(cls)));
      }
      EXPECT_EQ(VMDebugger::EventBreakpoint, kind);
      if (kind == VMDebugger::EventBreakpoint) session(c);
      c.EventRemove();
    });
    jmethodID m = env->functions->GetStaticMethodID(env, target, name, signature);
    EXPECT_NE(nullptr, m);
    jint result = m != nullptr ? env->functions->CallStaticIntMethod(env, target, m, argument) : -1;
    JoinOutside(client);
    return result;
  }
  jobject RunObjectWith(const char* name, std::function<void(Client&)> session) {
    std::thread client([this, session] {
      Client c(agent);
      int32_t kind;
      while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
      EXPECT_EQ(VMDebugger::EventBreakpoint, kind);
      if (kind == VMDebugger::EventBreakpoint) session(c);
      c.EventRemove();
    });
    jmethodID m = env->functions->GetStaticMethodID(env, target, name, "()Ljava/lang/String;");
    jobject result = m != nullptr ? env->functions->CallStaticObjectMethod(env, target, m) : nullptr;
    JoinOutside(client);
    return result;
  }
  std::string JavaText(jobject s) {
    if (s == nullptr) return "(null)";
    const char* chars = env->functions->GetStringUTFChars(env, (jstring)s, nullptr);
    std::string text = chars != nullptr ? chars : "(none)";
    if (chars != nullptr) env->functions->ReleaseStringUTFChars(env, (jstring)s, chars);
    return text;
  }

  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  jclass target = nullptr;
  void* agent = nullptr;
  std::vector<std::string> loaded;
};

TEST_F(SessionTest, LocalsFieldsAndArraysAreReadAndWrittenThroughHandles) {
  Watchdog dog(240);
  jint result = RunWith("run", "(I)I", 10, [](Client& c) {
    int32_t t = c.ThreadCurrent();
    ASSERT_LT(t, 0) << "reply handles are global";
    EXPECT_EQ(t, c.ThreadCurrent()) << "one number per object";
    int32_t top = c.ThreadFrame(t);
    ASSERT_NE(0, top);
    // The top frame is the native's: no pc; its method is stop.
    EXPECT_EQ(-1, c.FramePC(top));
    EXPECT_NE(std::string::npos, c.MethodName(c.FrameMethod(top)).find("stop"));
    int32_t f = c.FrameCaller(top);
    ASSERT_EQ(top + 1, f) << "the caller lies one frame deeper on the same thread";
    int32_t run = c.FrameMethod(f);
    EXPECT_EQ(run, c.FrameMethod(f));
    EXPECT_NE(std::string::npos, c.MethodName(run).find("run"));
    int32_t cls = c.Int(Request(31).I(f));
    EXPECT_EQ("dbgtest.Probe", c.ClassName(cls));
    EXPECT_EQ(9, c.Int(Request(4).I(cls)));
    EXPECT_EQ(11, c.Int(Request(4).I(0)));
    EXPECT_EQ("null", c.ClassName(0));
    EXPECT_GT(c.FramePC(f), 0);
    EXPECT_EQ(0, c.Int(Request(83).I(f))) << "run was called straight from the host";
    EXPECT_EQ(0, c.Int(Request(30).I(f)));
    EXPECT_EQ(0, c.FrameCaller(f));

    // Locals by name, in their scope at the frame's pc.
    std::vector<int32_t> locals = c.MethodLocals(run);
    int32_t n = c.Named(locals, "n"), tl = c.Named(locals, "t"), local = c.Named(locals, "local"),
            text = c.Named(locals, "text");
    ASSERT_TRUE(n && tl && local && text);
    int64_t aLocal = c.LocalAddress(local, f);
    ASSERT_NE(0, aLocal);
    EXPECT_EQ(1, Kind(aLocal));
    EXPECT_EQ(f, (int32_t)(aLocal >> 32));
    EXPECT_EQ(20, c.GetInt(aLocal));
    c.SetInt(aLocal, 1000);
    EXPECT_EQ(1000, c.GetInt(aLocal));
    int64_t aN = c.LocalAddress(n, f);
    EXPECT_EQ(10, c.GetInt(aN));
    // run has four local words: the last has 4 bytes, not the 8 a long needs.
    EXPECT_EQ(0, c.GetLong((aN & ~0xFFFF0000LL) | (3 << 16)));
    EXPECT_EQ(0, c.GetInt((aN & ~0xFFFF0000LL) | (4 << 16)));
    // A reference local takes no int, and an int local is followed as no object.
    int64_t aT = c.LocalAddress(tl, f);
    int32_t pointer = c.GetInt(aT);
    c.SetInt(aT, 1);
    EXPECT_EQ(pointer, c.GetInt(aT));
    EXPECT_EQ("<null>", c.GetString(aN));
    int64_t aText = c.LocalAddress(text, f);
    EXPECT_EQ("abc", c.GetString(aText));
    EXPECT_EQ(3, c.Int(Request(44).L(aText)));
    // A local of another method says nothing about this frame.
    EXPECT_EQ(0, c.LocalAddress(local, top));

    // Instance fields through the object a local holds.
    std::vector<int32_t> fields = c.ClassFields(cls);
    int32_t count = c.Named(fields, "count");
    ASSERT_NE(0, count);
    int64_t aCount = c.FieldAddress(count, aT);
    ASSERT_NE(0, aCount);
    EXPECT_EQ(4, Kind(aCount));
    EXPECT_EQ(7, c.GetInt(aCount));
    c.SetInt(aCount, 5);
    EXPECT_EQ(0, c.FieldAddress(count, aN)) << "an int is no object";
    EXPECT_EQ(0, c.FieldAddress(run, aT)) << "a method is no field";
    EXPECT_EQ(0x00000008, c.Int(Request(23).I(c.Named(fields, "big")))) << "static";

    // Static data and arrays.
    int64_t aLabel = c.FieldAddress(c.Named(fields, "label"), 0);
    EXPECT_EQ("hello", c.GetString(aLabel));
    int64_t aNumbers = c.FieldAddress(c.Named(fields, "numbers"), 0);
    EXPECT_EQ(3, c.Int(Request(45).L(aNumbers)));
    int64_t e1 = c.Long(Request(46).L(aNumbers).I(1));
    EXPECT_EQ(7, Kind(e1));
    EXPECT_EQ(1, (int32_t)((e1 >> 16) & 0xFFFF));
    EXPECT_EQ(2, c.GetInt(e1));
    c.SetInt(e1, 20);
    EXPECT_EQ(20, c.GetInt(e1));
    for (int32_t bad : {3, -1, 65536 + 1, 70000}) EXPECT_EQ(0, c.Long(Request(46).L(aNumbers).I(bad))) << bad;
    int32_t element = c.Int(Request(47).L(aNumbers));
    EXPECT_EQ(4, c.Int(Request(4).I(element)));
    EXPECT_EQ(4, c.Int(Request(13).I(element)));
    EXPECT_EQ(1234567890123LL, c.GetLong(c.FieldAddress(c.Named(fields, "big"), 0)));

    // The method's code, lines and scopes.
    int32_t size = c.Int(Request(52).I(run));
    Reply code = c.Call(Request(51).I(run).I(0).I(0));
    EXPECT_EQ((uint32_t)size + 2, code.announced);
    EXPECT_EQ(size, code.Short());
    EXPECT_EQ((uint32_t)size + 2, c.Call(Request(51).I(run).I(0).I(size)).announced) << "the whole code is a valid range";
    EXPECT_TRUE(c.Call(Request(51).I(run).I(0).I(size + 1)).Dropped());
    std::vector<uint16_t> lines = c.Call(Request(54).I(run)).Shorts();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(0u, lines.size() % 2);
    EXPECT_EQ(lines[1], (uint16_t)c.Int(Request(53).I(run)));
    int32_t scope = c.Int(Request(28).I(local));
    EXPECT_GT(scope & 0xFFFF, 0);
  });
  // 1000 + 5 + "abc".length() + 20
  EXPECT_EQ(1028, result);
}

TEST_F(SessionTest, LocalHandlesLapseWhenTheStopIsRemoved) {
  Watchdog dog(240);
  int64_t kept = 0;
  int32_t thread = 0;
  jint result = RunWith("run", "(I)I", 1, [&](Client& c) {
    thread = c.ThreadCurrent();
    int32_t f = c.FrameCaller(c.ThreadFrame(thread));
    int32_t run = c.FrameMethod(f);
    kept = c.LocalAddress(c.Named(c.MethodLocals(run), "local"), f);
    EXPECT_EQ(2, c.GetInt(kept));
  });
  EXPECT_EQ(2 + 7 + 3 + 2, result);
  Client c(agent);
  refhost::SetCapture(true);
  EXPECT_EQ(0, c.GetInt(kept));
  EXPECT_NE(std::string::npos, refhost::CapturedLog().find("Debug Error: bad handle\n"));
  // The thread's global handle outlives the stop, but its frames are not walked while
  // it runs (or is gone): no frame handle is made for it.
  EXPECT_EQ(0, c.ThreadFrame(thread));
}

TEST_F(SessionTest, ValuesOfEveryTypeLandInTheFormTheirFieldsHold) {
  Watchdog dog(240);
  jobject text = RunObjectWith("describe", [](Client& c) {
    int32_t f = c.FrameCaller(c.ThreadFrame(c.ThreadCurrent()));
    int32_t describe = c.FrameMethod(f);
    int64_t aT = c.LocalAddress(c.Named(c.MethodLocals(describe), "t"), f);
    int32_t cls = c.Int(Request(31).I(f));
    std::vector<int32_t> fields = c.ClassFields(cls);
    auto field = [&](const char* name) { return c.FieldAddress(c.Named(fields, name), aT); };
    int64_t small = field("small"), letter = field("letter"), flag = field("flag"), tiny = field("tiny"),
            wide = field("wide"), real = field("real"), ratio = field("ratio"), name = field("name"),
            count = field("count");
    EXPECT_EQ(6, Kind(small));
    EXPECT_EQ(5, Kind(letter));
    EXPECT_EQ(6, Kind(flag));
    EXPECT_EQ(0xFD, c.Call(Request(36).L(small)).Byte());
    EXPECT_EQ('x', c.Call(Request(37).L(letter)).Short());
    EXPECT_EQ(1, c.Call(Request(35).L(flag)).Byte());
    EXPECT_EQ(0xFFFE, c.Call(Request(42).L(tiny)).Short());
    EXPECT_EQ(-5, c.GetLong(wide));
    EXPECT_EQ(0x3FF8000000000000LL, c.Long(Request(38).L(real)));
    EXPECT_EQ(0x40200000, c.Int(Request(39).L(ratio)));
    EXPECT_EQ("obj", c.GetString(name));
    // Narrow writes fill the word as Java code reads it.
    c.Call(Request(65).L(tiny).S(0xFFFF));
    EXPECT_EQ(-1, c.GetInt(tiny));
    c.Call(Request(65).L(tiny).S(300));
    c.Call(Request(59).L(small).B(0xFF));
    EXPECT_EQ(-1, c.GetInt(small));
    c.Call(Request(60).L(letter).S('y'));
    c.Call(Request(58).L(flag).B(0));
    c.Call(Request(64).L(wide).L(1LL << 40));
    c.Call(Request(61).L(real).L(0x4002000000000000LL));  // 2.25
    c.Call(Request(62).L(ratio).I(0x3F000000));           // 0.5
    EXPECT_EQ(0u, c.Call(Request(66).L(name).T("zz")).announced);
    EXPECT_EQ("zz", c.GetString(name));
    // A String goes only where its type is accepted, a value only into a value.
    c.Call(Request(66).L(count).T("no"));
    EXPECT_EQ(7, c.GetInt(count));
    c.SetInt(name, 12345);
    EXPECT_EQ("zz", c.GetString(name));
    c.Call(Request(66).L(name).T(std::string("\xC0\x80\xFF", 3)));
    EXPECT_EQ("zz", c.GetString(name)) << "invalid text stores nothing";
    c.Call(Request(66).L(c.FieldAddress(c.Named(fields, "label"), 0)).T("bye"));
    int64_t things = c.FieldAddress(c.Named(fields, "things"), 0);
    c.Call(Request(66).L(c.Long(Request(46).L(things).I(0))).T("elem"));
    int64_t numbers = c.FieldAddress(c.Named(fields, "numbers"), 0);
    int64_t n0 = c.Long(Request(46).L(numbers).I(0));
    c.Call(Request(66).L(n0).T("not an int"));
    EXPECT_EQ(1, c.GetInt(n0));
  });
  EXPECT_EQ("zz,-1,y,false,300,1099511627776,2.25,0.5,bye,elem", JavaText(text));
}

TEST_F(SessionTest, FramesAcrossANativeCallThreadsAndJNIReferences) {
  Watchdog dog(240);
  jobject string = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, "global text"));
  int32_t stringRef = (int32_t)(uintptr_t)string;
  int32_t classRef = (int32_t)(uintptr_t)target;
  jint result = RunWith("nested", "(I)I", 5, [&](Client& c) {
    int32_t t = c.ThreadCurrent();
    int32_t top = c.ThreadFrame(t);
    int32_t inner = c.FrameCaller(top);
    ASSERT_NE(0, inner);
    EXPECT_NE(std::string::npos, c.MethodName(c.FrameMethod(inner)).find("inner"));
    // A native lies between inner and its Java caller.
    EXPECT_EQ(1, c.Int(Request(83).I(inner)));
    EXPECT_EQ(1, c.Int(Request(30).I(inner)));
    int32_t nested = c.FrameCaller(inner);
    ASSERT_NE(0, nested);
    EXPECT_GT(nested, inner + 1) << "frames of other kinds lie between";
    EXPECT_NE(std::string::npos, c.MethodName(c.FrameMethod(nested)).find("nested"));
    int64_t deep = c.LocalAddress(c.Named(c.MethodLocals(c.FrameMethod(inner)), "deep"), inner);
    EXPECT_EQ(105, c.GetInt(deep));
    c.SetInt(deep, 7);
    // Frames of other kinds answer without a method.
    int32_t native = inner + 1;
    EXPECT_EQ(-1, c.FramePC(native));
    EXPECT_TRUE(c.Call(Request(33).I(top + 1000)).Dropped()) << "no frame that deep";

    // Threads: the stopped one is the only one the client sees.
    EXPECT_EQ(1, c.Int(Request(67)));
    EXPECT_EQ(t, c.Int(Request(71).I(0)));
    EXPECT_EQ(0, c.Int(Request(71).I(t)));
    EXPECT_EQ(0, c.Int(Request(71).I(0x7FFFFFFF))) << "a lapsed handle ends the walk";
    EXPECT_FALSE(c.Text(Request(70).I(t)).empty());
    EXPECT_EQ(0, c.Call(Request(76).I(t)).Byte());
    EXPECT_EQ(0u, c.Call(Request(73).I(t)).announced);

    // JNI references: globals of this machine, checked before use.
    int32_t stringClass = c.Int(Request(81).I(stringRef));
    EXPECT_EQ("java.lang.String", c.ClassName(stringClass));
    EXPECT_EQ(10, c.Int(Request(4).I(stringClass)));
    int64_t a = c.Long(Request(82).I(stringRef));
    EXPECT_EQ(8, Kind(a));
    EXPECT_EQ(0, (int32_t)((a >> 16) & 0xFFFF));
    EXPECT_EQ("global text", c.GetString(a));
    int64_t g = c.Long(Request(78).L(a));
    EXPECT_LT((int32_t)(g >> 32), 0);
    EXPECT_EQ("global text", c.GetString(g));
    for (uint32_t bad : {0u, 0x1FFFFFFFu, 0x9FFFFFFFu, 0x5FFFFFFFu, 0x20000001u}) {
      EXPECT_EQ(0, c.Int(Request(81).I((int32_t)bad))) << std::hex << bad;
      EXPECT_EQ(8, c.Long(Request(82).I((int32_t)bad))) << std::hex << bad;
    }
    // A class descriptor has no fields a client may touch.
    int64_t descriptor = c.Long(Request(82).I(classRef));
    ASSERT_NE(8, descriptor);
    for (uint32_t word = 0; word < 12; word++) {
      int64_t inside = (descriptor & ~0xFFFFFFFFLL) | (word << 16) | 4;
      EXPECT_EQ(0, c.GetInt(inside));
      c.SetInt(inside, 0x41414141);
    }
    EXPECT_EQ("java.lang.Class", c.ClassName(c.Int(Request(81).I(classRef)))) << "a jclass is an object of Class";
  });
  EXPECT_EQ(8, result);
  env->functions->DeleteGlobalRef(env, string);
}

TEST_F(SessionTest, CaughtExceptionsAndEventsAreAnsweredAsTheyStand) {
  Watchdog dog(240);
  jint result = RunWith("caught", "()I", 0, [](Client& c) {
    int32_t f = c.FrameCaller(c.ThreadFrame(c.ThreadCurrent()));
    int32_t caught = c.FrameMethod(f);
    int64_t e = c.LocalAddress(c.Named(c.MethodLocals(caught), "e"), f);
    ASSERT_NE(0, e);
    // What the local holds is an object of its own class, not of its declared one.
    int64_t g = c.Long(Request(78).L(e));
    EXPECT_EQ(0, g) << "kind 1 has no global form";
    // The stop carries no object; the class of what the local holds is its own.
    EXPECT_EQ(0, c.EventGet());
    EXPECT_EQ(1, c.EventPending(false));
    EXPECT_NE(0, c.Int(Request(48).L(e)));
    EXPECT_EQ(0, c.Int(Request(45).L(e))) << "no array";
    // Interrupt and report-catch only change flags here.
    EXPECT_EQ(0u, c.Call(Request(22).B(1)).announced);
    EXPECT_TRUE(c.Call(Request(22).B(2)).Dropped());
    EXPECT_EQ(0u, c.Call(Request(22).B(0)).announced);
    EXPECT_EQ(0u, c.Call(Request(49).B(0)).announced);
  });
  EXPECT_EQ(3, result);
  EXPECT_NE(loaded.end(), std::find(loaded.begin(), loaded.end(), "java.lang.IllegalStateException"));
}

/* What one call logged. */
std::string LogOf(std::function<void()> call) {
  size_t before = refhost::CapturedLog().size();
  call();
  std::string log = refhost::CapturedLog();
  return log.size() > before ? log.substr(before) : std::string();
}

TEST_F(SessionTest, EveryOtherRequestAnswersAsItsOperationSays) {
  Watchdog dog(240);
  jint result = RunWith("run", "(I)I", 10, [this](Client& c) {
    int32_t t = c.ThreadCurrent();
    int32_t top = c.ThreadFrame(t);
    int32_t f = c.FrameCaller(top);
    int32_t run = c.FrameMethod(f);
    int32_t cls = c.Int(Request(31).I(f));
    EXPECT_EQ("Probe.java", c.Text(Request(6).I(cls)));
    EXPECT_EQ("null", c.Text(Request(6).I(0)));
    std::vector<int32_t> methods = c.ClassMethods(cls);
    EXPECT_EQ((int32_t)methods.size(), c.Int(Request(9).I(cls)));
    EXPECT_EQ(methods, c.ClassMethods(cls)) << "the same handles again";
    int32_t index = c.Int(Request(33).I(f));
    ASSERT_LT((size_t)index, methods.size());
    EXPECT_EQ(run, methods[index]);
    int32_t object = c.Int(Request(11).I(cls));
    EXPECT_EQ("java.lang.Object", c.ClassName(object));
    EXPECT_EQ(0, c.Int(Request(11).I(object)));
    std::vector<int32_t> fields = c.ClassFields(cls);
    EXPECT_EQ("java.lang.String", c.ClassName(c.Int(Request(24).I(c.Named(fields, "label")))));
    int32_t intClass = c.Int(Request(24).I(c.Named(fields, "count")));
    EXPECT_EQ(4, c.Int(Request(4).I(intClass)));
    EXPECT_EQ(0, c.Int(Request(24).I(run))) << "a method's descriptor names no one class";
    EXPECT_EQ(0, c.Int(Request(28).I(run))) << "a method has no scope";
    // The class of what a reference field holds, else its declared one.
    int64_t aT = c.LocalAddress(c.Named(c.MethodLocals(run), "t"), f);
    int32_t name = c.Named(fields, "name"), other = c.Named(fields, "other");
    EXPECT_EQ("java.lang.String", c.ClassName(c.Int(Request(80).L(c.FieldAddress(name, aT)).I(name))));
    EXPECT_EQ("java.lang.Object", c.ClassName(c.Int(Request(80).L(c.FieldAddress(other, aT)).I(other))));
    EXPECT_EQ("dbgtest.Probe", c.ClassName(c.Int(Request(80).L(aT).I(other))));
    // Global forms of local handles; freeing them changes nothing.
    int32_t frameThread = (int32_t)((uint32_t)f >> 16);
    int32_t global = c.Int(Request(57).I(frameThread));
    EXPECT_LT(global, 0);
    EXPECT_EQ(global, c.Int(Request(57).I(frameThread)));
    EXPECT_EQ(0u, c.Call(Request(56).I(global)).announced);
    int64_t aLocal = c.LocalAddress(c.Named(c.MethodLocals(run), "local"), f);
    EXPECT_EQ(0, c.Long(Request(78).L(aLocal))) << "a frame's local has no global form";
    int64_t aCount = c.FieldAddress(c.Named(fields, "count"), aT);
    int64_t gCount = c.Long(Request(78).L(aCount));
    EXPECT_LT((int32_t)(gCount >> 32), 0);
    EXPECT_EQ(gCount & 0xFFFFFFFF, aCount & 0xFFFFFFFF);
    EXPECT_EQ(7, c.GetInt(gCount));
    EXPECT_EQ(0u, c.Call(Request(79).L(gCount)).announced);
    EXPECT_EQ(7, c.GetInt(gCount));
    EXPECT_EQ(0u, c.Call(Request(2).L(0)).announced);
    // Suspension by the client is counted once and undone once.
    EXPECT_EQ(0u, c.Call(Request(75).I(t)).announced);
    EXPECT_EQ(0u, c.Call(Request(75).I(t)).announced);
    EXPECT_EQ(1, c.Call(Request(76).I(t)).Byte());
    EXPECT_EQ(0u, c.Call(Request(72).I(t)).announced);
    EXPECT_EQ(0, c.Call(Request(76).I(t)).Byte());
    EXPECT_EQ(0u, c.Call(Request(72).I(t)).announced);
    // Breakpoints by request: set and cleared with empty replies; inside an instruction's
    // operands (run begins with a three-byte new) there is no place for one.
    std::vector<uint8_t> code = c.MethodCode(run);
    ASSERT_GE(code.size(), 3u);
    EXPECT_TRUE(c.Done(Request(1).I(run).I(0)));
    EXPECT_EQ(0xCA, c.MethodCode(run)[0]);
    EXPECT_TRUE(c.Done(Request(0).I(run).I(0)));
    EXPECT_EQ(code, c.MethodCode(run));
    const std::string noPlace = "Debug assertion: method != NULL && pc < method->GetCode()->GetSize()\n";
    EXPECT_EQ(noPlace, LogOf([&] { EXPECT_TRUE(c.Call(Request(1).I(run).I(1)).Dropped()); }));
    EXPECT_EQ(code, c.MethodCode(run));
    // A sound place refused for want of memory (the agent's record, then the name
    // space's record of the patch) is answered all the same, logs nothing and sets
    // nothing; the next try sets it.
    for (HHeap* heap : {jvm->vm->GetHeap(), jvm->nameSpace->GetHeap()}) {
      refhost::SetFailureScope(true, heap, 1);
      uint64_t refused = refhost::RefusedCount();
      refhost::FailNthAllocation(1);
      EXPECT_EQ("", LogOf([&] { EXPECT_TRUE(c.Done(Request(1).I(run).I(0))); }));
      refhost::FailNthAllocation(0);
      refhost::SetFailureScope(false, nullptr, -1);
      EXPECT_EQ(refused + 1, refhost::RefusedCount());
      EXPECT_EQ(code, c.MethodCode(run)) << "nothing planted";
    }
    EXPECT_TRUE(c.Done(Request(1).I(run).I(0)));
    EXPECT_EQ(0xCA, c.MethodCode(run)[0]);
    EXPECT_TRUE(c.Done(Request(0).I(run).I(0)));
    EXPECT_EQ(code, c.MethodCode(run));
    // Watches: a field (up to 8 bytes while they lie in the object), an element, a local;
    // past the end of the array, the reference cell of kind 8 and a made-up place are
    // refused with one line each. Request 2 takes them all away.
    const std::string noWatch = "Debug assertion: address != NULL && size <= available\n";
    EXPECT_TRUE(c.Done(Request(3).L(aCount).I(4)));
    EXPECT_TRUE(c.Done(Request(3).L(gCount).I(8)));
    EXPECT_TRUE(c.Done(Request(3).L(aLocal).I(4)));
    int64_t aNumbers = c.FieldAddress(c.Named(fields, "numbers"), 0);
    int64_t last = c.Long(Request(46).L(aNumbers).I(2));
    EXPECT_EQ(3, c.GetInt(last));
    EXPECT_TRUE(c.Done(Request(3).L(last).I(4)));
    EXPECT_EQ(noWatch, LogOf([&] { EXPECT_TRUE(c.Call(Request(3).L(last).I(5)).Dropped()); }));
    int64_t cell = (gCount & ~(int64_t)0xFFFFFFFF) | 8;
    EXPECT_EQ(noWatch, LogOf([&] { EXPECT_TRUE(c.Call(Request(3).L(cell).I(4)).Dropped()); }));
    EXPECT_EQ(noWatch, LogOf([&] { EXPECT_TRUE(c.Call(Request(3).L(0x12345).I(1)).Dropped()); }));
    EXPECT_TRUE(c.Done(Request(2).L(0)));
    // Classes by name, either form; arrays too. Loading runs no initialiser: the class
    // has no static data yet, so its static field has no address.
    EXPECT_EQ("java.lang.Object", c.ClassName(c.Int(Request(7).T("java/lang/Object"))));
    EXPECT_EQ("java.util.Vector", c.ClassName(c.Int(Request(7).T("java.util.Vector"))));
    EXPECT_NE(0, c.Int(Request(7).T("[I")));
    EXPECT_EQ(0, c.Int(Request(7).T("no/such/Class")));
    EXPECT_EQ(0, c.Int(Request(7).T("")));
    EXPECT_EQ(0, c.Int(Request(7).T("bad\xC0name")));
    int32_t lazy = c.Int(Request(7).T("dbgtest/Lazy"));
    ASSERT_NE(0, lazy);
    EXPECT_EQ(lazy, c.Int(Request(7).T("dbgtest.Lazy"))) << "one handle per class";
    EXPECT_EQ(0, c.FieldAddress(c.Named(c.ClassFields(lazy), "ready"), 0));
    // A step is armed on the stopped thread only.
    EXPECT_EQ(0u, c.Call(Request(77).I(t).B(1).B(1)).announced);
  });
  EXPECT_EQ(20 + 7 + 3 + 2, result);
}

TEST_F(SessionTest, AThreadParkedForTheStopIsCountedListedAndChanged) {
  Watchdog dog(240);
  std::atomic<VMThread*> spinning{nullptr};
  std::atomic<jint> spun{-1};
  std::thread spinner([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    jmethodID spin = own->functions->GetStaticMethodID(own, target, "spin", "()I");
    spinning = own->thread;
    spun = own->functions->CallStaticIntMethod(own, target, spin);
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  // A thread that starts while the client is connected stops first at its first
  // instruction; the client lets it go on into its loop.
  std::thread greeter([&] {
    Client c(agent);
    int32_t kind;
    while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
    EXPECT_EQ(VMDebugger::EventBreakpoint, kind);
    int32_t f = c.ThreadFrame(c.ThreadCurrent());
    EXPECT_NE(std::string::npos, c.MethodName(c.FrameMethod(f)).find("spin"));
    EXPECT_EQ(0, c.FramePC(f));
    c.EventRemove();
  });
  // Waited for outside the machine: the spinner's start may collect meanwhile.
  JoinOutside(greeter);
  // Let go from its first instruction, the spinner must be in its loop (its counter
  // live) before the next stop parks it: it may not have run a step since.
  VMMethod* spinMethod = vmjni::UnHandleMethod(env, env->functions->GetStaticMethodID(env, target, "spin", "()I"));
  ASSERT_NE(nullptr, spinMethod);
  int32_t loopPc = FirstPcOfLine(spinMethod, MarkedLine("Probe.java", "spin-loop"));
  ASSERT_GT(loopPc, 0);
  ASSERT_TRUE(Eventually([&] { return spinning.load() != nullptr; }));
  // Each look is a collection of this thread's, which makes it an attached thread's look.
  ASSERT_TRUE(Eventually([&] { return PcWhereItRuns(jvm, spinning.load(), spinMethod) >= loopPc; }, false))
      << "the spinner never reached its loop";
  jint result = RunWith("run", "(I)I", 10, [](Client& c) {
    int32_t current = c.ThreadCurrent();
    EXPECT_EQ(2, c.Int(Request(67)));
    int32_t first = c.Int(Request(71).I(0));
    int32_t second = c.Int(Request(71).I(first));
    EXPECT_EQ(0, c.Int(Request(71).I(second)));
    ASSERT_TRUE(first != 0 && second != 0 && first != second);
    int32_t other = first == current ? second : first;
    EXPECT_NE(current, other);
    // The parked thread's frames: spin, stopped in its loop.
    int32_t f = c.ThreadFrame(other);
    ASSERT_NE(0, f);
    int32_t spin = c.FrameMethod(f);
    EXPECT_NE(std::string::npos, c.MethodName(spin).find("spin"));
    EXPECT_GE(c.FramePC(f), 0);
    int64_t i = c.LocalAddress(c.Named(c.MethodLocals(spin), "i"), f);
    EXPECT_NE(0, i);
    // The client ends the loop through the static flag.
    int32_t cls = c.Int(Request(31).I(f));
    int64_t done = c.FieldAddress(c.Named(c.ClassFields(cls), "done"), 0);
    EXPECT_EQ(0, c.Call(Request(35).L(done)).Byte());
    EXPECT_EQ(0u, c.Call(Request(58).L(done).B(7)).announced);
    EXPECT_EQ(1, c.GetInt(done)) << "a boolean is stored as 0 or 1";
  });
  EXPECT_EQ(32, result);
  JoinOutside(spinner);
  EXPECT_EQ(1, spun.load());
}

std::string Short(const char* type) {
  return std::string("Debug assertion: _read_len == sizeof( ") + type + " )\n";
}

/* The type of each request's first argument, as its short-read line names it. */
const char* FirstArgument(int code) {
  if (code == 7) return "jshort";
  if (code == 20 || code == 22 || code == 49) return "jbyte";
  if ((code >= 29 && code <= 34) || code == 56 || code == 57 || code >= 81) return "jint";
  if (code == 2 || code == 3 || (code >= 35 && code <= 48) || (code >= 58 && code <= 66) || (code >= 78 && code <= 80))
    return "jdebugAddress";
  if (code == 14 || code == 15 || code == 19 || code == 21 || code == 67 || code == 68 || (code >= 16 && code <= 18))
    return nullptr;
  return "jdebugObject";
}

TEST_F(SessionTest, MalformedRequestsAreDroppedWithTheirLineAndNothingWritten) {
  Watchdog dog(240);
  jint result = RunWith("run", "(I)I", 10, [](Client& c) {
    void* agent = c.Agent();
    Reply r;
    auto send = [&](const std::vector<uint8_t>& bytes) { return LogOf([&] { r = Send(agent, bytes); }); };
    // Unassigned codes: nothing read after the code, nothing written, nothing logged.
    for (int code : {16, 17, 18, 84, 127, 128, 200, 255}) {
      EXPECT_EQ("", send({(uint8_t)code, 1, 2, 3, 4, 5, 6, 7, 8})) << code;
      EXPECT_EQ(1u, r.consumed) << code;
      EXPECT_TRUE(r.Dropped()) << code;
    }
    EXPECT_EQ("", send({}));
    EXPECT_TRUE(r.Dropped());
    // The code alone: the first argument arrives short, named by its type.
    for (int code = 0; code <= 83; code++) {
      const char* type = FirstArgument(code);
      if (type == nullptr) continue;
      EXPECT_EQ(Short(type), send({(uint8_t)code})) << code;
      EXPECT_TRUE(r.Dropped()) << code;
    }
    // Later fields short.
    EXPECT_EQ(Short("jdebugAddress"), send({40, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Short("jchar"), send(Request(60).L(8).B(1).bytes));
    EXPECT_EQ(Short("jshort"), send(Request(65).L(8).B(1).bytes));
    EXPECT_EQ(Short("jfloat"), send(Request(62).L(8).B(1).bytes));
    EXPECT_EQ(Short("jlong"), send(Request(64).L(8).I(1).bytes));
    EXPECT_EQ(Short("jdouble"), send(Request(61).L(8).I(1).bytes));
    EXPECT_EQ(Short("jbyte"), send(Request(58).L(8).bytes));
    EXPECT_EQ(Short("jint"), send(Request(46).L(8).S(1).bytes));
    EXPECT_TRUE(r.Dropped());
    // Texts: 512 bytes or more are refused before a byte of them is read.
    EXPECT_EQ("Debug assertion: _len < 512\n", send(Request(66).L(8).S(512).B('a').bytes));
    EXPECT_EQ(11u, r.consumed);
    EXPECT_EQ("Debug assertion: _read_len == _len\n", send(Request(66).L(8).S(511).B('a').bytes));
    EXPECT_EQ("Debug assertion: _len < 512\n", send(Request(7).S(0xFFFF).bytes));
    // Checks.
    EXPECT_EQ("Debug assertion: size <= 8\n", send(Request(3).L(8).I(9).bytes));
    EXPECT_EQ("Debug assertion: size <= 8\n", send(Request(3).L(8).I(-1).bytes));
    EXPECT_EQ("Debug assertion: wait == 0 || wait == 1\n", send(Request(20).B(2).bytes));
    EXPECT_EQ("Debug assertion: on == 0 || on == 1\n", send(Request(22).B(7).bytes));
    EXPECT_EQ("Debug Error: bad handle\nDebug assertion: method != NULL\n", send(Request(51).I(0x7FFFFFFF).I(0).I(0).bytes));
    EXPECT_EQ(5u, r.consumed) << "pc and len stay unread";
    EXPECT_EQ("Debug assertion: thread != NULL\n", send(Request(77).I(0).B(0).B(0).bytes));
    EXPECT_EQ(5u, r.consumed);
    EXPECT_EQ("Debug assertion: frame != NULL\n", send(Request(34).I(0).bytes));
    EXPECT_EQ("Debug assertion: field != NULL\n", send(Request(23).I(0).bytes));
    EXPECT_EQ("Debug assertion: data != NULL\n", send(Request(25).I(0).L(0).bytes));
    EXPECT_EQ("Debug assertion: data != NULL && frame != NULL\n", send(Request(50).I(0).I(0).bytes));
    EXPECT_TRUE(r.Dropped());
    // Replies of no length, and of one byte.
    EXPECT_EQ("", send({15}));
    EXPECT_EQ(1, r.announcements);
    EXPECT_EQ(0u, r.writes);
    EXPECT_EQ("", send({14}));
    EXPECT_EQ(1u, r.announced);
    EXPECT_EQ(1, r.Byte());

    // Breakpoints: a method without code has no place for one; the rest is not built.
    int32_t top = c.ThreadFrame(c.ThreadCurrent());
    int32_t stop = c.FrameMethod(top);
    int32_t run = c.FrameMethod(c.FrameCaller(top));
    EXPECT_EQ("Debug assertion: method != NULL && pc < method->GetCode()->GetSize()\n", send(Request(1).I(stop).I(0).bytes));
    EXPECT_EQ("Debug assertion: method != NULL && pc < method->GetCode()->GetSize()\n", send(Request(1).I(run).I(-1).bytes));
    EXPECT_TRUE(r.Dropped());
    EXPECT_TRUE(c.Call(Request(51).I(stop).I(0).I(0)).Dropped()) << "a native method has no code";
    EXPECT_EQ(0, c.Int(Request(52).I(stop)));

    // Handles no object answers to: refused or answered as none, never followed.
    int32_t cls = c.Int(Request(31).I(c.FrameCaller(top)));
    std::vector<int32_t> hostile = {INT32_MIN, INT32_MAX, -1, 1, 2, (int32_t)0xFFFF0000, cls, run, top};
    for (int code : {4, 5, 6, 8, 9, 10, 11, 12, 13, 23, 24, 26, 27, 28, 52, 53, 54, 55, 69, 70, 72, 73, 75, 76, 71})
      for (int32_t h : hostile) {
        if (code >= 69 && h == c.ThreadCurrent()) continue;
        Reply reply = c.Call(Request((uint8_t)code).I(h));
        if (!reply.Dropped()) {
          EXPECT_EQ(reply.announced, reply.data.size());
        }
      }
    for (int code : {29, 30, 31, 32, 33, 34, 83})
      for (int32_t h : hostile) (void)c.Call(Request((uint8_t)code).I(h == top ? top + 0x100 : h));
    for (int32_t h : hostile) EXPECT_EQ(h < 1 ? h : 0, c.Int(Request(57).I(h == 1 || h == 2 ? 0x7FFF : h)));

    // Addresses made up from every kind, index and handle: reads answer, writes that no
    // place takes change nothing (the program's result below shows it).
    std::mt19937 random(1234);
    std::vector<int32_t> handles = {0, INT32_MIN, -1, 1, 2, 3, top, top + 1, top + 2, cls, run, 0x7FFF};
    for (int i = 0; i < 3000; i++) {
      int32_t h = handles[random() % handles.size()];
      uint32_t kind = random() % 11;
      uint32_t index = random() % 3 == 0 ? random() % 0x10000 : random() % 8;
      int64_t address = ((int64_t)(uint32_t)h << 32) | (index << 16) | kind;
      uint8_t code = (uint8_t)(35 + random() % 14);
      Reply reply = code == 46 ? c.Call(Request(code).L(address).I((int32_t)random())) : c.Call(Request(code).L(address));
      EXPECT_FALSE(reply.Dropped());
      // Writes only through handles that name nothing of the frame's thread.
      if (h == top || h == top + 1 || h == top + 2 || h == 1 || h == 2 || h == 3) continue;
      uint8_t set = (uint8_t)(58 + random() % 8);
      Request w(set);
      w.L(address);
      if (set == 58 || set == 59) w.B(0x55);
      if (set == 60 || set == 65) w.S(0x5555);
      if (set == 61 || set == 64) w.L(0x5555555555555555LL);
      if (set == 62 || set == 63) w.I(0x55555555);
      EXPECT_EQ(0u, c.Call(w).announced);
    }
  });
  EXPECT_EQ(20 + 7 + 3 + 2, result);
}

TEST_F(SessionTest, ATextLongerThanItsCountFieldIsCutAtACharacterBoundary) {
  Watchdog dog(240);
  // 70000 characters of two bytes each in modified UTF-8, and of one byte each.
  std::string twoByte, oneByte(70000, 'a');
  for (int i = 0; i < 70000; i++) twoByte += "\xC3\xA9";
  jobject wide = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, twoByte.c_str()));
  jobject narrow = env->functions->NewGlobalRef(env, env->functions->NewStringUTF(env, oneByte.c_str()));
  ASSERT_TRUE(wide != nullptr && narrow != nullptr);
  jint result = RunWith("run", "(I)I", 10, [&](Client& c) {
    Reply r = c.Call(Request(43).L(c.Long(Request(82).I((int32_t)(uintptr_t)wide))));
    EXPECT_EQ(65534, r.Short()) << "no character is split";
    EXPECT_EQ(65536u, r.announced);
    EXPECT_EQ(70000, c.Int(Request(44).L(c.Long(Request(82).I((int32_t)(uintptr_t)wide)))));
    r = c.Call(Request(43).L(c.Long(Request(82).I((int32_t)(uintptr_t)narrow))));
    EXPECT_EQ(65535, r.Short());
    EXPECT_EQ(65537u, r.announced);
    EXPECT_EQ(std::string(65535, 'a'), r.Text());
  });
  EXPECT_EQ(32, result);
  env->functions->DeleteGlobalRef(env, wide);
  env->functions->DeleteGlobalRef(env, narrow);
}

TEST_F(SessionTest, AClientWaitingForAnEventLetsItsOtherRequestsAndItsDetachThrough) {
  Watchdog dog(120);
  std::atomic<int32_t> kind{-1};
  std::atomic<void*> waiterId{nullptr};
  std::thread waiter([&] {
    waiterId = refhost::Functions()->CurrentThreadId();
    Reply r = Send(agent, Request(20).B(1));
    kind = r.Int();
  });
  // Other requests of the same client go on while it waits.
  ASSERT_TRUE(Eventually([&] { return waiterId.load() != nullptr && WaitsForTheDebugger(jvm, waiterId.load()); }))
      << "the client's wait for an event never began";
  for (int i = 0; i < 20; i++) EXPECT_EQ(1, Send(agent, Request(15)).announcements);
  EXPECT_EQ(-1, kind.load());
  JNI_DebugDetach(agent);
  agent = nullptr;
  JoinOutside(waiter);
  EXPECT_EQ(0, kind.load()) << "the end of the connection ends the wait with no event";
}

TEST_F(SessionTest, HandlesKeepTheirObjectsAcrossCollectionsAndTheirKinds) {
  Watchdog dog(120);
  VMDebugger* a = (VMDebugger*)agent;
  jobject local = env->functions->NewStringUTF(env, "kept by a handle");
  VMObject* string = VMJniHandle::UnHandle(env, local);
  int32_t first = a->EnHandle(VMDebugger::HandleObject, string);
  int32_t second = a->EnHandle(VMDebugger::HandleObject, string);
  EXPECT_GT(first, 0);
  EXPECT_NE(first, second);
  int32_t global = a->RefNewGlobal(first);
  EXPECT_LT(global, 0);
  EXPECT_EQ(global, a->RefNewGlobal(second));
  // The same object as another kind is a global of its own: neither stops resolving.
  int32_t asArray = a->EnGlobal(VMDebugger::HandleArray, string);
  EXPECT_NE(global, asArray);
  EXPECT_EQ(string, a->UnHandle(VMDebugger::HandleObject, global));
  EXPECT_EQ(string, a->UnHandle(VMDebugger::HandleArray, asArray));
  std::string log = LogOf([&] {
    EXPECT_EQ(nullptr, a->UnHandle(VMDebugger::HandleClass, global));
    EXPECT_EQ(nullptr, a->UnHandle(VMDebugger::HandleObject, INT32_MIN));
    EXPECT_EQ(nullptr, a->UnHandle(VMDebugger::HandleObject, INT32_MAX));
  });
  EXPECT_EQ("Debug Error: bad handle\nDebug Error: bad handle\nDebug Error: bad handle\n", log);
  EXPECT_EQ(0, a->RefNewGlobal(0x7FFF));
  EXPECT_EQ(-5, a->RefNewGlobal(-5));
  // Only the handles hold the string now: collections leave it whole.
  env->functions->DeleteLocalRef(env, local);
  for (int i = 0; i < 3; i++) jvm->vm->GarbageCollect(false);
  VMObject* held = a->UnHandle(VMDebugger::HandleObject, first);
  ASSERT_EQ(string, held);
  EXPECT_NE(VM_DESTROYED_TAG, held->GetTag());
  char* text = ((VMJavaLangString*)held)->MakeUTF8();
  ASSERT_NE(nullptr, text);
  EXPECT_STREQ("kept by a handle", text);
  VMJavaLangString::FreeUTF8(text);
  EXPECT_EQ(0, a->EnHandle(VMDebugger::HandleObject, nullptr));
  EXPECT_EQ(0, a->EnGlobal(VMDebugger::HandleObject, nullptr));

  // The tag array cannot grow: that handle is not made, and every older one still
  // resolves (the old tags are kept, not lost).
  std::vector<int32_t> made;
  while (made.size() < 17) made.push_back(a->EnHandle(VMDebugger::HandleObject, string));
  ASSERT_EQ(19, made.back());
  // The first growth is the handle array's, the second the tag array's.
  for (uint32_t n : {1u, 2u}) {
    refhost::SetFailureScope(true, jvm->vm->GetHeap(), -1);
    uint64_t refused = refhost::RefusedCount();
    refhost::FailNthAllocation(n);
    EXPECT_EQ(0, a->EnHandle(VMDebugger::HandleObject, string)) << n;
    EXPECT_EQ(refused + 1, refhost::RefusedCount()) << n;
    refhost::FailNthAllocation(0);
    refhost::SetFailureScope(false, nullptr, -1);
  }
  for (int32_t h : made) EXPECT_EQ(string, a->UnHandle(VMDebugger::HandleObject, h)) << h;
  int32_t next = a->EnHandle(VMDebugger::HandleObject, string);
  EXPECT_GT(next, 19);
  EXPECT_EQ(string, a->UnHandle(VMDebugger::HandleObject, next));
}

/* The line of the marker "// @name" in Journey.java. */
uint32_t JourneyLine(const char* name) { return MarkedLine("Journey.java", name); }

/* The next stopping event; the class loads before it are taken on the way. */
int32_t NextStop(Client& c) {
  int32_t kind;
  while ((kind = c.EventPending(true)) == VMDebugger::EventClassLoad) c.EventRemove();
  return kind;
}

/* The program's thread as a client sees it: a thread that starts while the client is
   connected stops on arrival; the client plants a breakpoint by request, the thread stops
   on it at every call until it is cleared, a step over one line ends on the next, a watch
   on a field stops the thread after the store that changed it, and once the client lets
   go the program ends with what the client wrote. */
TEST_F(SessionTest, BreakpointsStepsAndWatchesSetByRequestStopTheProgramWhereTheySay) {
  Watchdog dog(240);
  std::string outcome;
  std::atomic<bool> attached{false};
  std::thread program([&] {
    JNIEnv* own = nullptr;
    jint status = jvm->functions->AttachCurrentThread(jvm, &own, nullptr);
    attached = true;
    ASSERT_EQ(0, status);
    jclass cls = own->functions->FindClass(own, "dbgtest/Journey");
    jmethodID go = cls != nullptr ? own->functions->GetStaticMethodID(own, cls, "go", "(I)Ljava/lang/String;") : nullptr;
    jobject s = go != nullptr ? own->functions->CallStaticObjectMethod(own, cls, go, 5) : nullptr;
    const char* chars = s != nullptr ? own->functions->GetStringUTFChars(own, (jstring)s, nullptr) : nullptr;
    outcome = chars != nullptr ? chars : "(none)";
    if (chars != nullptr) own->functions->ReleaseStringUTFChars(own, (jstring)s, chars);
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  const uint32_t firstLine = JourneyLine("add-first"), storeLine = JourneyLine("add-store");
  std::thread client([&] {
    Client c(agent);
    // Arrival: the first instruction of the program's first Java method.
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextStop(c));
    int32_t f = c.ThreadFrame(c.ThreadCurrent());
    EXPECT_NE(std::string::npos, c.MethodName(c.FrameMethod(f)).find("go"));
    EXPECT_EQ(0, c.FramePC(f));
    int32_t cls = c.Int(Request(31).I(f));
    int32_t add = c.Named(c.ClassMethods(cls), "add");
    ASSERT_NE(0, add);
    int32_t total = c.Named(c.ClassFields(cls), "total");
    int32_t firstPc = c.PcOfLine(add, firstLine), storePc = c.PcOfLine(add, storeLine);
    ASSERT_GE(firstPc, 0);
    ASSERT_GT(storePc, firstPc);
    std::vector<uint8_t> original = c.MethodCode(add);
    ASSERT_EQ((size_t)c.Int(Request(52).I(add)), original.size());
    ASSERT_TRUE(c.Done(Request(1).I(add).I(firstPc)));
    EXPECT_EQ(0xCA, c.MethodCode(add)[firstPc]);
    c.EventRemove();
    int32_t i = 0;
    for (; i < 2; i++) {
      ASSERT_EQ(VMDebugger::EventBreakpoint, NextStop(c)) << "call " << i;
      f = c.ThreadFrame(c.ThreadCurrent());
      EXPECT_EQ(add, c.FrameMethod(f));
      EXPECT_EQ(firstPc, c.FramePC(f));
      std::vector<int32_t> locals = c.MethodLocals(add);
      EXPECT_EQ(i, c.GetInt(c.LocalAddress(c.Named(locals, "i"), f)));
      EXPECT_EQ(0, c.GetInt(c.FieldAddress(total, c.LocalAddress(c.Named(locals, "this"), f))));
      if (i == 1) {
        // Cleared while the thread stands on it: the displaced byte is back (the field
        // instructions have turned quick meanwhile), and a step over this line is armed.
        ASSERT_TRUE(c.Done(Request(0).I(add).I(firstPc)));
        EXPECT_TRUE(c.Done(Request(0).I(add).I(firstPc))) << "clearing nothing answers all the same";
        std::vector<uint8_t> now = c.MethodCode(add);
        ASSERT_EQ(original.size(), now.size());
        EXPECT_EQ(original[firstPc], now[firstPc]);
        ASSERT_TRUE(c.Done(Request(77).I(c.ThreadCurrent()).B(1).B(1)));
      }
      c.EventRemove();
    }
    // The step ends on the next line, its store not yet run.
    ASSERT_EQ(VMDebugger::EventStep, NextStop(c));
    f = c.ThreadFrame(c.ThreadCurrent());
    EXPECT_EQ(add, c.FrameMethod(f));
    EXPECT_EQ(storePc, c.FramePC(f));
    std::vector<int32_t> locals = c.MethodLocals(add);
    EXPECT_EQ(2, c.GetInt(c.LocalAddress(c.Named(locals, "d"), f)));
    int64_t aTotal = c.FieldAddress(total, c.LocalAddress(c.Named(locals, "this"), f));
    EXPECT_EQ(0, c.GetInt(aTotal));
    ASSERT_TRUE(c.Done(Request(3).L(aTotal).I(4)));
    c.EventRemove();
    // The store changed the field: the thread stops after it, still in add.
    ASSERT_EQ(VMDebugger::EventWatch, NextStop(c));
    f = c.ThreadFrame(c.ThreadCurrent());
    EXPECT_EQ(add, c.FrameMethod(f));
    EXPECT_GT(c.FramePC(f), storePc);
    aTotal = c.FieldAddress(total, c.LocalAddress(c.Named(c.MethodLocals(add), "this"), f));
    EXPECT_EQ(2, c.GetInt(aTotal));
    // The watch goes first: the client's own write would be a change it reports.
    ASSERT_TRUE(c.Done(Request(2).L(0)));
    c.SetInt(aTotal, 100);
    c.EventRemove();
  });
  WhileOutside([&] {
    while (!attached.load()) usleep(100);
  });
  JoinOutside(client);
  JoinOutside(program);
  // 100, then the calls for 2, 3 and 4 add 4, 6 and 8.
  EXPECT_EQ("total=118 of 5", outcome);
}

/* A client that plants and clears a breakpoint by request, round after round, while the
   program runs through the patched place: each stop is at the breakpoint, every call
   runs as written, and the code is whole at the end. */
TEST_F(SessionTest, BreakpointsPlantedAndClearedByRequestWhileTheProgramRunsLeaveItWhole) {
  Watchdog dog(240);
  const int calls = 30000;
  std::string outcome;
  std::atomic<bool> finished{false};
  std::thread program([&] {
    JNIEnv* own = nullptr;
    ASSERT_EQ(0, jvm->functions->AttachCurrentThread(jvm, &own, nullptr));
    jclass cls = own->functions->FindClass(own, "dbgtest/Journey");
    jmethodID go = cls != nullptr ? own->functions->GetStaticMethodID(own, cls, "go", "(I)Ljava/lang/String;") : nullptr;
    jobject s = go != nullptr ? own->functions->CallStaticObjectMethod(own, cls, go, calls) : nullptr;
    const char* chars = s != nullptr ? own->functions->GetStringUTFChars(own, (jstring)s, nullptr) : nullptr;
    outcome = chars != nullptr ? chars : "(none)";
    if (chars != nullptr) own->functions->ReleaseStringUTFChars(own, (jstring)s, chars);
    finished = true;
    EXPECT_EQ(0, jvm->functions->DetachCurrentThread(jvm));
  });
  const uint32_t storeLine = JourneyLine("add-store");
  std::thread client([&] {
    Client c(agent);
    ASSERT_EQ(VMDebugger::EventBreakpoint, NextStop(c));
    int32_t f = c.ThreadFrame(c.ThreadCurrent());
    int32_t cls = c.Int(Request(31).I(f));
    int32_t add = c.Named(c.ClassMethods(cls), "add");
    ASSERT_NE(0, add);
    int32_t storePc = c.PcOfLine(add, storeLine);
    ASSERT_GT(storePc, 0);
    uint8_t original = c.MethodCode(add)[storePc];
    // The first breakpoint goes in while the program still stands at its arrival: its
    // first call of add meets it however late this thread runs after letting it go.
    ASSERT_TRUE(c.Done(Request(1).I(add).I(storePc)));
    c.EventRemove();
    int stops = 0;
    for (int round = 0; round < 300 && (round == 0 || !finished.load()); round++) {
      if (round != 0) {
        ASSERT_TRUE(c.Done(Request(1).I(add).I(storePc)));
      }
      if (round % 2 == 0) usleep(200);
      // The first round waits for its stop: the program cannot end before it.
      int32_t kind = round == 0 ? NextStop(c) : c.EventPending(false);
      if (kind == VMDebugger::EventBreakpoint) {
        f = c.ThreadFrame(c.ThreadCurrent());
        EXPECT_EQ(add, c.FrameMethod(f));
        EXPECT_EQ(storePc, c.FramePC(f));
        stops++;
      }
      // Cleared before the stop is let go, or while the thread runs on.
      if (round % 3 == 0) {
        ASSERT_TRUE(c.Done(Request(0).I(add).I(storePc)));
      }
      if (kind != 0) c.EventRemove();
      if (round % 3 != 0) {
        ASSERT_TRUE(c.Done(Request(0).I(add).I(storePc)));
      }
    }
    EXPECT_EQ(original, c.MethodCode(add)[storePc]);
    // A thread that reported before the last clear still reports: let it go.
    while (!finished.load()) {
      int32_t kind = c.EventPending(false);
      if (kind != 0) c.EventRemove();
      usleep(500);
    }
    EXPECT_GT(stops, 0);
  });
  JoinOutside(client);
  JoinOutside(program);
  EXPECT_EQ("total=" + std::to_string((int64_t)calls * (calls - 1)) + " of " + std::to_string(calls), outcome);
}

}  // namespace
