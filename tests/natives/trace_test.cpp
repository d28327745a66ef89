/* Stack traces, system properties, the standard-stream setters and the uncaught-exception
   path. The ones that call Java through the env's calls and fields run once those
   functions of the native interface are there; until then they are skipped, naming the
   function. */
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "natives_support.h"
#include "vmjavalangthrowable.h"
#include "vmjvm.h"
#include "vmjvm_ids.h"
#include "vmliteral.h"

using natives_test::Machine;
using natives_test::Outcome;

namespace {

/* The env function that is still a stand-in among the ones these tests need; empty when
   all of them are there. */
std::string StandIn(Machine& m) {
  jclass object = m.env->functions->FindClass(m.env, "java/lang/Object");
  m.env->functions->GetMethodID(m.env, object, "toString", "()Ljava/lang/String;");
  m.env->functions->NewStringUTF(m.env, "x");
  Outcome o;
  std::string thrown = m.TakeException(&o);
  return thrown == "java.lang.InternalError" && o.message.compare(0, 5, "nyi: ") == 0 ? o.message : "";
}

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }
  std::string StandIn() { return ::StandIn(m); }

  std::vector<std::string> Lines(VMObject* throwable) {
    std::vector<std::string> lines;
    for (jint i = 0;; i++) {
      char* line = VMJniGetThrowableStackLine(throwable, i);
      if (line == nullptr) break;
      lines.push_back(line);
      refhost::Functions()->HeapFree(nullptr, line);
    }
    return lines;
  }

  Machine m;
};

TEST_F(TraceTest, FillInRecordsEveryFrameWithItsLine) {
  VMObject* made = m.Call("lines/Traces", "make", "()Ljava/lang/Throwable;").Object();
  ASSERT_NE(nullptr, made);
  std::vector<std::string> lines = Lines(made);
  ASSERT_GE(lines.size(), 3u);
  // From the fillInStackTrace native outwards: the constructors, then make().
  EXPECT_EQ(0u, lines[0].find("java.lang.Throwable.fillInStackTrace")) << lines[0];
  bool found = false;
  for (const std::string& line : lines) found = found || line == "lines.Traces.make(Traces.java:7)";
  EXPECT_TRUE(found) << lines.back();
  // A deep stack: one record per frame.
  VMObject* deep = m.Call("lines/Traces", "deep", "(I)Ljava/lang/Throwable;", {400}).Object();
  ASSERT_NE(nullptr, deep);
  std::vector<std::string> deepLines = Lines(deep);
  EXPECT_GE(deepLines.size(), 401u);
  size_t recursive = 0;
  for (const std::string& line : deepLines) recursive += line.find("lines.Traces.deep(Traces.java") == 0;
  // The innermost frame of deep() stands at the line that made the Error, the others at
  // the recursive call.
  EXPECT_EQ(400, std::count(deepLines.begin(), deepLines.end(), "lines.Traces.deep(Traces.java:14)"));
  // Each call once: the frame the host's call pushes for deep() is no frame of its own.
  EXPECT_EQ(401u, recursive);
  EXPECT_EQ(1, std::count(deepLines.begin(), deepLines.end(), "lines.Traces.deep(Traces.java:12)"));
  // An instruction or a call that ends its line is named at that line, not the next one.
  VMObject* ended = m.Call("lines/Traces", "endOfLine", "()Ljava/lang/Throwable;").Object();
  ASSERT_NE(nullptr, ended);
  std::vector<std::string> endedLines = Lines(ended);
  ASSERT_EQ(1u, endedLines.size());
  EXPECT_EQ("lines.Traces.endOfLine(Traces.java:25)", endedLines[0]);
  VMObject* called = m.Call("lines/Traces", "callEndsLine", "()Ljava/lang/Throwable;").Object();
  ASSERT_NE(nullptr, called);
  std::vector<std::string> calledLines = Lines(called);
  ASSERT_GE(calledLines.size(), 2u);
  EXPECT_EQ("lines.Traces.thrower(Traces.java:33)", calledLines[calledLines.size() - 2]);
  EXPECT_EQ("lines.Traces.callEndsLine(Traces.java:39)", calledLines.back());
  // A stack deeper than a trace keeps: the newest 1024 frames.
  VMObject* deeper = m.Call("lines/Traces", "deep", "(I)Ljava/lang/Throwable;", {3000}).Object();
  ASSERT_NE(nullptr, deeper);
  std::vector<std::string> deeperLines = Lines(deeper);
  EXPECT_EQ(1024u, deeperLines.size());
  EXPECT_EQ(1, std::count(deeperLines.begin(), deeperLines.end(), "lines.Traces.deep(Traces.java:12)"));
  EXPECT_EQ("lines.Traces.deep(Traces.java:14)", deeperLines.back());
  // fillInStackTrace on an object that is no throwable records nothing and breaks nothing.
  VMObject* text = m.String("no throwable");
  JVM_FillInStackTrace(m.env, m.Local(text));
  EXPECT_EQ("no throwable", m.Text(text));
  JVM_FillInStackTrace(m.env, nullptr);
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
}

TEST_F(TraceTest, PrintHandsEveryLineToTheStreamWithNothingPending) {
  std::string missing = StandIn();
  if (!missing.empty()) GTEST_SKIP() << missing;
  VMObject* made = m.Call("lines/Traces", "make", "()Ljava/lang/Throwable;").Object();
  VMLoadableClass* linesClass = m.Class("lines/Traces$Lines");
  ASSERT_TRUE(made && linesClass);
  VMObject* stream = VMObject::CreateInitialized(m.env, linesClass, jallocFailFast, true, true);
  ASSERT_NE(nullptr, stream);
  jobject streamHandle = m.Local(stream);
  JVM_PrintStackTrace(m.env, m.Local(made), streamHandle);
  EXPECT_EQ("", m.TakeException());
  std::string printed = m.CallText("lines/Traces$Lines", "joined", "()Ljava/lang/String;", {(VMword)stream});
  EXPECT_EQ(0u, printed.find("java.lang.RuntimeException: made\n    at java.lang.Throwable.fillInStackTrace")) << printed;
  EXPECT_NE(std::string::npos, printed.find("\n    at lines.Traces.make(Traces.java"));
  // println throws at two lines: every line still reaches the stream, the first
  // exception is pending afterwards.
  VMObject* failing = VMObject::CreateInitialized(m.env, linesClass, jallocFailFast, true, true);
  jobject failingHandle = m.Local(failing);  // the field look-up below may collect
  VMDataMember* failures = linesClass->FindField(VMLiteral::CreateInstance(m.ns, "failures", 0xFFFFFFFFu),
                                                 VMLiteral::CreateInstance(m.ns, "I", 0xFFFFFFFFu), false, m.env);
  ASSERT_TRUE(failing && failures);
  failing->SetWord((uint32_t)failures->GetIndex(), 2);
  JVM_PrintStackTrace(m.env, m.Local(made), failingHandle);
  Outcome o;
  EXPECT_EQ("java.lang.IllegalStateException", m.TakeException(&o));
  EXPECT_EQ("println failed", o.message);
  std::string all = m.CallText("lines/Traces$Lines", "joined", "()Ljava/lang/String;", {(VMword)failing});
  EXPECT_EQ(printed, all);
  // An ExceptionInInitializerError prints its cause inside "( ... )".
  VMObject* wrapped = m.Call("lines/Traces", "wrapped", "()Ljava/lang/Throwable;").Object();
  VMObject* third = VMObject::CreateInitialized(m.env, linesClass, jallocFailFast, true, true);
  JVM_PrintStackTrace(m.env, m.Local(wrapped), m.Local(third));
  std::string nested = m.CallText("lines/Traces$Lines", "joined", "()Ljava/lang/String;", {(VMword)third});
  EXPECT_EQ(0u, nested.find("java.lang.ExceptionInInitializerError( java.lang.IllegalStateException: inner )\n"))
      << nested;
  // A stream without println(char[]) prints nothing; a null one throws.
  JVM_PrintStackTrace(m.env, m.Local(made), m.Local(m.String("no stream")));
  EXPECT_EQ("java.lang.NoSuchMethodError", m.TakeException());
  JVM_PrintStackTrace(m.env, m.Local(made), nullptr);
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
}

TEST_F(TraceTest, PropertiesAreTwentyAndANullHostTextDropsOnlyItsOwn) {
  std::string missing = StandIn();
  if (!missing.empty()) GTEST_SKIP() << missing;
  auto get = [&](VMObject* props, const char* key) {
    return m.CallText("natives/Props", "get", "(Ljava/util/Properties;Ljava/lang/String;)Ljava/lang/String;",
                      {(VMword)props, (VMword)m.String(key)});
  };
  VMObject* props = m.Call("natives/Props", "fresh", "()Ljava/util/Properties;").Object();
  ASSERT_NE(nullptr, props);
  jobject handle = m.Local(props);
  EXPECT_EQ(props, VMJniHandle::UnHandle(m.env, JVM_InitProperties(m.env, handle)));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(20, m.Call("natives/Props", "size", "(Ljava/util/Properties;)I", {(VMword)props}).Int());
  EXPECT_EQ("1.1.8", get(props, "java.version"));
  EXPECT_EQ("1.1", get(props, "java.specification.version"));
  EXPECT_EQ("\n", get(props, "line.separator"));
  EXPECT_EQ("\\", get(props, "file.separator"));
  EXPECT_EQ(";", get(props, "path.separator"));
  EXPECT_EQ("unknown", get(props, "os.name"));
  EXPECT_EQ("45.3", get(props, "java.class.version"));
  EXPECT_EQ("8859_1", get(props, "file.encoding"));
  // A key already there is replaced, in the same object.
  VMObject* holding = m.Call("natives/Props", "holding", "()Ljava/util/Properties;").Object();
  EXPECT_EQ(holding, VMJniHandle::UnHandle(m.env, JVM_InitProperties(m.env, m.Local(holding))));
  EXPECT_EQ("1.1.8", get(holding, "java.version"));
  EXPECT_EQ("kept", get(holding, "other"));
  // The host has no java.home, then a user.timezone that is no modified UTF-8.
  refhost::SetNullHostText(20);
  VMObject* noHome = m.Call("natives/Props", "fresh", "()Ljava/util/Properties;").Object();
  JVM_InitProperties(m.env, m.Local(noHome));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(19, m.Call("natives/Props", "size", "(Ljava/util/Properties;)I", {(VMword)noHome}).Int());
  EXPECT_EQ("<none>", get(noHome, "java.home"));
  EXPECT_EQ("1.1.8", get(noHome, "java.version"));
  refhost::SetNullHostText(0);
  refhost::SetUserTimezone("\xC0\x80\xFF");
  VMObject* badZone = m.Call("natives/Props", "fresh", "()Ljava/util/Properties;").Object();
  JVM_InitProperties(m.env, m.Local(badZone));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ("<none>", get(badZone, "user.timezone"));
  EXPECT_EQ("\n", get(badZone, "line.separator"));
}

TEST(PropertyVersions, TheVersionPairFollowsTheLibraryVersion) {
  const struct {
    int32_t version;
    const char* java;
    const char* specification;
  } cases[] = {{1, "1.1.8", "1.1"}, {2, "1.2.2", "1.2"}, {0, "1.1.6", "1.1"}};
  for (const auto& c : cases) {
    Machine m;
    ASSERT_TRUE(m.Create(c.version)) << c.version;
    std::string missing = StandIn(m);
    if (!missing.empty()) {
      m.Destroy();
      GTEST_SKIP() << missing;
    }
    VMObject* props = m.Call("natives/Props", "fresh", "()Ljava/util/Properties;").Object();
    JVM_InitProperties(m.env, m.Local(props));
    EXPECT_EQ("", m.TakeException());
    auto get = [&](const char* key) {
      return m.CallText("natives/Props", "get", "(Ljava/util/Properties;Ljava/lang/String;)Ljava/lang/String;",
                        {(VMword)props, (VMword)m.String(key)});
    };
    EXPECT_EQ(c.java, get("java.version")) << c.version;
    EXPECT_EQ(c.specification, get("java.specification.version")) << c.version;
    m.Destroy();
  }
}

TEST_F(TraceTest, StreamSettersWriteTheFinalFieldsAndAnUncaughtExceptionReachesItsGroup) {
  std::string missing = StandIn();
  if (!missing.empty()) GTEST_SKIP() << missing;
  typedef void(JNICALL * Setter)(JNIEnv*, jclass, jobject);
  Setter setOut = (Setter)m.Native("java/lang/System", "setOut0", "(Ljava/io/PrintStream;)V");
  ASSERT_NE(nullptr, setOut);
  VMLoadableClass* system = m.Class("java/lang/System");
  ASSERT_NE(nullptr, system);
  jclass systemHandle = m.Local((VMObject*)system);
  jfieldID out = JVMFieldSystemOut(m.env);
  VMObject* stream = m.Call("natives/Handlers", "sink", "()Ljava/io/PrintStream;").Object();
  ASSERT_NE(nullptr, stream);
  setOut(m.env, systemHandle, m.Local(stream));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(stream, VMJniHandle::UnHandle(m.env, m.env->functions->GetStaticObjectField(m.env, systemHandle, out)));
  setOut(m.env, systemHandle, nullptr);
  EXPECT_EQ(nullptr, m.env->functions->GetStaticObjectField(m.env, systemHandle, out));
  EXPECT_EQ("", m.TakeException());
  // The group's own uncaughtException(Thread, Throwable) takes it; the overload never.
  EXPECT_EQ("group escaped;", m.CallText("natives/Handlers", "run", "()Ljava/lang/String;"));
}

}  // namespace
