/* The java.io natives: the descriptor coding under both library generations, the file
   gate, FileDescriptor, FileOutputStream's console and file paths against hosts that
   answer out of contract, and the console print-stream natives. */
#include "io_support.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "io/javaio.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmliteral.h"
#include "vmnamespace.h"

using namespace io_test;

namespace {

std::string Slurp(const std::string& path) {
  std::string out;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return "<missing>";
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return out;
}

class CodingTest : public IoTest, public ::testing::WithParamInterface<int> {};

/* Every closed value decodes to -1; nothing overflows at the ends of the range. */
TEST_P(CodingTest, ClosedValuesAndTheEndsOfTheRange) {
  int version = GetParam();
  ASSERT_NE(nullptr, Start(version));
  bool old = version < 2;
  EXPECT_EQ(old ? -1 : 0, javaio::DecodeHandle(env, 0));
  EXPECT_EQ(old ? 0 : 1, javaio::DecodeHandle(env, 1));
  EXPECT_EQ(-1, javaio::DecodeHandle(env, -1));
  EXPECT_EQ(-1, javaio::DecodeHandle(env, INT32_MIN));
  EXPECT_EQ(-1, javaio::DecodeHandle(env, -5));
  EXPECT_EQ(old ? 0x7FFFFFFE : 0x7FFFFFFF, javaio::DecodeHandle(env, 0x7FFFFFFF));
  EXPECT_EQ(old ? 0 : -1, javaio::ClosedValue(env));
  EXPECT_EQ(javaio::ClosedValue(env), javaio::EncodeHandle(env, -1));
  EXPECT_EQ(javaio::ClosedValue(env), javaio::EncodeHandle(env, -7));
  EXPECT_EQ(old ? javaio::ClosedValue(env) : 0x7FFFFFFF, javaio::EncodeHandle(env, 0x7FFFFFFF));
  EXPECT_EQ(old ? 0x7FFFFFFF : 0x7FFFFFFE, javaio::EncodeHandle(env, 0x7FFFFFFE));
  for (jint h : {0, 1, 2, 3, 1000, 0x7FFFFFFE}) EXPECT_EQ(h, javaio::DecodeHandle(env, javaio::EncodeHandle(env, h)));
}

/* valid and sync on a never-set descriptor and a closed one, and initSystemFD, by the
   coding in force: the 1.2 coding keeps the standard handles as they are. */
TEST_P(CodingTest, FileDescriptorNatives) {
  int version = GetParam();
  ASSERT_NE(nullptr, Start(version));
  bool old = version < 2;
  jobject zero = DescriptorWithField(0);
  jobject minus = DescriptorWithField(-1);
  EXPECT_EQ(old ? 0 : 1, JavaIoFileDescriptor_valid(env, zero));
  EXPECT_EQ(0, JavaIoFileDescriptor_valid(env, minus));
  JavaIoFileDescriptor_sync(env, minus);
  EXPECT_EQ("java.io.SyncFailedException: File already closed", TakePending());
  JavaIoFileDescriptor_sync(env, zero);
  EXPECT_EQ(old ? "java.io.SyncFailedException: File already closed" : "", TakePending());
  jobject d = DescriptorWithField(99);
  for (jint desc = 0; desc < 3; desc++) {
    EXPECT_EQ(d, JavaIoFileDescriptor_initSystemFD(env, nullptr, d, desc));
    EXPECT_EQ(old ? desc + 1 : desc, FieldOf(d));
  }
  EXPECT_EQ(nullptr, JavaIoFileDescriptor_initSystemFD(env, nullptr, nullptr, 1));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  /* System.out's descriptor reaches the console under this library only with the 1.1
     coding: the library stores its standard descriptors through initSystemFD. */
  jclass fdClass = env->functions->FindClass(env, "java/io/FileDescriptor");
  jobject out = env->functions->GetStaticObjectField(
      env, fdClass, env->functions->GetStaticFieldID(env, fdClass, "out", "Ljava/io/FileDescriptor;"));
  EXPECT_EQ(1, javaio::DecodeHandle(env, FieldOf(out)));
}

INSTANTIATE_TEST_SUITE_P(Versions, CodingTest, ::testing::Values(1, 2));

class FileGateTest : public IoTest {};

/* Without a table, sync says nothing for the standard descriptors but refuses to claim
   a file's data is safe. A failing host Sync reports the error of that call. */
TEST_F(FileGateTest, SyncTellsTheTruth) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::None);
  JavaIoFileDescriptor_sync(env, DescriptorWithField(2));
  EXPECT_EQ("", TakePending());
  JavaIoFileDescriptor_sync(env, DescriptorWithField(9));
  EXPECT_EQ("java.io.SyncFailedException: File I/O NOT Enabled", TakePending());
  UseTable(Table::Scripted);
  TheScript().syncAnswer = 0;
  TheScript().syncErrno = EIO;
  JavaIoFileDescriptor_sync(env, DescriptorWithField(9));
  EXPECT_EQ(std::string("java.io.SyncFailedException: ") + strerror(EIO), TakePending());
  TheScript().syncErrno = 0;
  JavaIoFileDescriptor_sync(env, DescriptorWithField(9));
  EXPECT_EQ("java.io.SyncFailedException: sync failed", TakePending());
  TheScript().syncAnswer = 1;
  JavaIoFileDescriptor_sync(env, DescriptorWithField(9));
  EXPECT_EQ("", TakePending());
  EXPECT_EQ("Sync(8)", TheScript().calls.back());
}

/* A class that cannot be found leaves its own failure, never a crash in ThrowNew. */
TEST_F(FileGateTest, ThrowingAMissingClassLeavesTheFailure) {
  ASSERT_NE(nullptr, Start());
  javaio::ThrowByName(env, "java/io/NoSuchIOException", "x");
  std::string text = TakePending();
  EXPECT_NE("", text);
  EXPECT_EQ(std::string::npos, text.find("NoSuchIOException: x")) << text;
  JavaIo_ThrowIOException(env, "plain");
  EXPECT_EQ("java.io.IOException: plain", TakePending());
}

class OutputStreamTest : public IoTest {};

/* System.out and System.err print with file access refused; the single-byte native has
   no console path. */
TEST_F(OutputStreamTest, TheConsolePathNeedsNoFileTable) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::None);
  jobject out = StreamOnField(2), err = StreamOnField(3);
  JavaIoFileOutputStream_writeBytes(env, out, Bytes("hello"), 0, 5);
  JavaIoFileOutputStream_writeBytes(env, err, Bytes("oops!"), 1, 3);
  EXPECT_EQ("", TakePending());
  std::vector<ConsoleCall> calls = Console();
  ASSERT_EQ(2u, calls.size());
  EXPECT_FALSE(calls[0].toStderr);
  EXPECT_EQ(5, calls[0].length);
  EXPECT_EQ("hello", calls[0].bytes);
  EXPECT_TRUE(calls[1].toStderr);
  EXPECT_EQ("ops", calls[1].bytes);
  JavaIoFileOutputStream_write(env, out, 'x');
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  JavaIoFileOutputStream_writeBytes(env, StreamOnField(8), Bytes("file"), 0, 4);
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  JavaIoFileOutputStream_open(env, Allocate("java/io/FileOutputStream"), String("f"));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  JavaIoFileOutputStream_close(env, out);
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  EXPECT_EQ(2u, Console().size());
}

/* The console gets the bytes in 8 KB chunks copied out of the array's storage (776
   bytes inline, then 256-byte pieces), whole and in order. */
TEST_F(OutputStreamTest, ConsoleWritesComeInChunksWholeAndInOrder) {
  ASSERT_NE(nullptr, Start());
  jobject out = StreamOnField(2);
  jbyteArray thousand = Bytes(1000, 'a');
  JavaIoFileOutputStream_writeBytes(env, out, thousand, 0, 1000);
  std::vector<ConsoleCall> calls = Console();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(1000, calls[0].length);
  std::string letters(1000, 0);
  for (size_t i = 0; i < 1000; i++) letters[i] = (char)('a' + i % 26);
  EXPECT_EQ(letters, calls[0].bytes);
  jbyteArray big = Bytes(20000, 'A');
  JavaIoFileOutputStream_writeBytes(env, out, big, 700, 17000);
  calls = Console();
  std::vector<jint> lengths;
  for (size_t i = 1; i < calls.size(); i++) lengths.push_back(calls[i].length);
  EXPECT_EQ((std::vector<jint>{8192, 8192, 616}), lengths);
  std::string expected(20000, 0);
  for (size_t i = 0; i < 20000; i++) expected[i] = (char)('A' + i % 26);
  std::string sent;
  for (size_t i = 1; i < calls.size(); i++) sent += calls[i].bytes;
  EXPECT_EQ(expected.substr(700, 17000), sent);
  /* Nothing for len 0, not even a table call. */
  UseTable(Table::Scripted);
  size_t before = Console().size();
  JavaIoFileOutputStream_writeBytes(env, out, big, 5000, 0);
  JavaIoFileOutputStream_writeBytes(env, StreamOnField(8), big, 17, 0);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(before, Console().size());
  EXPECT_TRUE(TheScript().calls.empty());
}

/* Every bad argument is refused before a byte moves; the checks never wrap. */
TEST_F(OutputStreamTest, BadArgumentsWriteNothing) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  jbyteArray ten = Bytes(10, 'a');
  for (jobject stream : {StreamOnField(2), StreamOnField(8)}) {
    struct { jint off, len; } bad[] = {{-1, 1}, {0, -1}, {0, 11}, {10, 1}, {5, 6}, {0x7FFFFFFF, 1}, {1, 0x7FFFFFFF},
                                       {INT32_MIN, 0}, {11, 0}};
    for (auto& b : bad) {
      JavaIoFileOutputStream_writeBytes(env, stream, ten, b.off, b.len);
      EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending()) << b.off << "," << b.len;
    }
    JavaIoFileOutputStream_writeBytes(env, stream, nullptr, 0, 1);
    EXPECT_EQ("java.lang.NullPointerException: ", TakePending());
    /* Not a byte array: a char array of the same length is refused as null. */
    JavaIoFileOutputStream_writeBytes(env, stream, (jbyteArray)env->functions->NewCharArray(env, 10), 0, 1);
    EXPECT_EQ("java.lang.NullPointerException: ", TakePending());
  }
  EXPECT_TRUE(Console().empty());
  EXPECT_EQ(0, TheScript().writeCalls);
  /* A stream whose descriptor is missing. */
  jobject bare = Allocate("java/io/FileOutputStream");
  JavaIoFileOutputStream_writeBytes(env, bare, ten, 0, 1);
  EXPECT_EQ("java.lang.NullPointerException: missing FileDescriptor", TakePending());
  JavaIoFileOutputStream_write(env, bare, 1);
  EXPECT_EQ("java.lang.NullPointerException: missing FileDescriptor", TakePending());
  JavaIoFileOutputStream_close(env, bare);
  EXPECT_EQ("java.lang.NullPointerException: missing FileDescriptor", TakePending());
  JavaIoFileOutputStream_open(env, bare, String("x"));
  EXPECT_EQ("java.lang.NullPointerException: missing FileDescriptor", TakePending());
  JavaIoFileOutputStream_open(env, StreamOnField(0), nullptr);
  EXPECT_EQ("java.lang.NullPointerException: missing File Name", TakePending());
  EXPECT_TRUE(TheScript().calls.empty());
}

/* A host whose Write answers 0, less than -1, or more than it was given: the call ends
   with "write error" instead of looping, sending bytes twice or reading past the buffer. */
TEST_F(OutputStreamTest, OutOfContractWriteAnswersEndTheCall) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  jobject stream = StreamOnField(8);
  jbyteArray data = Bytes(1000, 'a');
  for (std::vector<jint> answers : {std::vector<jint>{0}, {-2}, {INT32_MIN}, {1001}, {777, 224}, {100, 0}, {-1}}) {
    TheScript().writeAnswers = answers;
    TheScript().written.clear();
    TheScript().writeCalls = 0;
    JavaIoFileOutputStream_writeBytes(env, stream, data, 0, 1000);
    EXPECT_EQ("java.io.IOException: write error", TakePending()) << answers[0];
    EXPECT_EQ((int)answers.size(), TheScript().writeCalls) << answers[0];
    EXPECT_LE(TheScript().written.size(), 1000u);
  }
  /* Short writes are sent again from where they stopped. */
  TheScript().writeAnswers = {100, 1, 675, 200, 24};
  TheScript().written.clear();
  JavaIoFileOutputStream_writeBytes(env, stream, data, 0, 1000);
  EXPECT_EQ("", TakePending());
  jbyte expected[1000];
  env->functions->GetByteArrayRegion(env, data, 0, 1000, expected);
  EXPECT_EQ(std::string((const char*)expected, 1000), TheScript().written);
  /* The single-byte native wants exactly one byte taken. */
  for (jint answer : {0, 2, -1}) {
    TheScript().writeAnswers = {answer};
    JavaIoFileOutputStream_write(env, stream, 'q');
    EXPECT_EQ("java.io.IOException: write error", TakePending()) << answer;
  }
}

/* Handles a file must never get: the standard ones (their bytes would go to the
   console), ones the coding cannot hold, and any negative answer. */
TEST_F(OutputStreamTest, OpensThatGiveUnusableHandlesFail) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::Scripted);
  for (jint answer : {0, 1, 2, -2, -1, 0x7FFFFFFF}) {
    TheScript().openAnswer = answer;
    TheScript().closed.clear();
    jobject d = DescriptorWithField(5);
    jobject stream = NewObject("java/io/FileOutputStream", "(Ljava/io/FileDescriptor;)V", d);
    JavaIoFileOutputStream_open(env, stream, String("f"));
    EXPECT_EQ("java.io.IOException: Cannot open file", TakePending()) << answer;
    EXPECT_EQ(0, FieldOf(d)) << "a failed open leaves the descriptor closed";
    if (answer >= 0) {
      EXPECT_EQ(std::vector<jint>{answer}, TheScript().closed) << "what the host opened is given back";
    } else {
      EXPECT_TRUE(TheScript().closed.empty());
    }
  }
  TheScript().openAnswer = 0x7FFFFFFE;
  jobject d = DescriptorWithField(0);
  JavaIoFileOutputStream_openAppend(env, NewObject("java/io/FileOutputStream", "(Ljava/io/FileDescriptor;)V", d),
                                    String("g"));
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(0x7FFFFFFF, FieldOf(d));
  EXPECT_EQ("OpenWrite(g,0)", TheScript().calls.back());
}

/* Through the class library on the real table: truncation, appending, a host that takes
   100 bytes at a time, close and what follows it. */
TEST_F(OutputStreamTest, FilesOnTheRealTable) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  jclass fos = f->FindClass(env, "java/io/FileOutputStream");
  jmethodID write = f->GetMethodID(env, fos, "write", "([BII)V");
  jmethodID close = f->GetMethodID(env, fos, "close", "()V");
  jmethodID writeOne = f->GetMethodID(env, fos, "write", "(I)V");
  refhost::SetFileWriteCap(100);
  jobject a = NewObject("java/io/FileOutputStream", "(Ljava/lang/String;)V", String("out.bin"));
  jbyteArray data = Bytes(5000, 'a');
  f->CallVoidMethod(env, a, write, data, 3, 4990);
  f->CallVoidMethod(env, a, writeOne, 'Z');
  f->CallVoidMethod(env, a, close);
  EXPECT_EQ("", TakePending());
  std::string expected(5000, 0);
  for (size_t i = 0; i < 5000; i++) expected[i] = (char)('a' + i % 26);
  EXPECT_EQ(expected.substr(3, 4990) + "Z", Slurp(dir.path() + "/out.bin"));
  refhost::SetFileWriteCap(0);
  jobject b = NewObject("java/io/FileOutputStream", "(Ljava/lang/String;Z)V", String("out.bin"), (jboolean)1);
  f->CallVoidMethod(env, b, write, Bytes("++"), 0, 2);
  f->CallVoidMethod(env, b, close);
  EXPECT_EQ(expected.substr(3, 4990) + "Z++", Slurp(dir.path() + "/out.bin"));
  jobject c = NewObject("java/io/FileOutputStream", "(Ljava/lang/String;)V", String("out.bin"));
  f->CallVoidMethod(env, c, write, Bytes("new"), 0, 3);
  f->CallVoidMethod(env, c, close);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ("new", Slurp(dir.path() + "/out.bin"));
  /* A second close does nothing; a write after close is the host's refusal. */
  f->CallVoidMethod(env, c, close);
  EXPECT_EQ("", TakePending());
  f->CallVoidMethod(env, c, write, Bytes("x"), 0, 1);
  EXPECT_EQ("java.io.IOException: write error", TakePending());
  f->CallVoidMethod(env, c, writeOne, 'x');
  EXPECT_EQ("java.io.IOException: write error", TakePending());
  EXPECT_EQ("new", Slurp(dir.path() + "/out.bin"));
  /* A stream on a descriptor never opened, and a name the host cannot open. */
  f->CallVoidMethod(env, NewObject("java/io/FileOutputStream", "(Ljava/io/FileDescriptor;)V", DescriptorWithField(0)),
                    write, Bytes("x"), 0, 1);
  EXPECT_EQ("java.io.IOException: write error", TakePending());
  jclass fnf = f->FindClass(env, "java/io/FileOutputStream");
  jmethodID byName = f->GetMethodID(env, fnf, "<init>", "(Ljava/lang/String;)V");
  f->NewObject(env, fnf, byName, String("no\\such\\dir\\x"));
  EXPECT_EQ("java.io.FileNotFoundException: no\\such\\dir\\x (Cannot open file)", TakePending());
  EXPECT_EQ(0u, refhost::OpenFileCount());
}

/* Closing System.out's descriptor leaves the console to System.err, and a file opened
   afterwards receives no console text. */
TEST_F(OutputStreamTest, ClosingTheStandardStreamsKeepsTheConsole) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  ASSERT_NE(nullptr, Start());
  jobject out = StreamOnField(2);
  JavaIoFileOutputStream_close(env, out);
  EXPECT_EQ(0, FieldOf(env->functions->GetObjectField(
                   env, out, env->functions->GetFieldID(env, env->functions->FindClass(env, "java/io/FileOutputStream"),
                                                        "fd", "Ljava/io/FileDescriptor;"))));
  jobject file = Allocate("java/io/FileOutputStream");
  env->functions->SetObjectField(
      env, file,
      env->functions->GetFieldID(env, env->functions->FindClass(env, "java/io/FileOutputStream"), "fd",
                                 "Ljava/io/FileDescriptor;"),
      DescriptorWithField(0));
  JavaIoFileOutputStream_open(env, file, String("after"));
  EXPECT_EQ("", TakePending());
  JavaIoFileOutputStream_writeBytes(env, StreamOnField(3), Bytes("still here"), 0, 10);
  JavaIoFileOutputStream_writeBytes(env, file, Bytes("file"), 0, 4);
  JavaIoFileOutputStream_close(env, file);
  EXPECT_EQ("still here", ConsoleText(true));
  EXPECT_EQ("file", Slurp(dir.path() + "/after"));
}

class PrintStreamTest : public IoTest {};

/* The console natives, called directly (this library declares none of them native). */
TEST_F(PrintStreamTest, BytesAndCharsReachTheConsoleWhole) {
  ASSERT_NE(nullptr, Start());
  UseTable(Table::None);
  jobject ps = NewObject("java/io/PrintStream", "(Ljava/io/OutputStream;)V", NewObject("java/io/ByteArrayOutputStream", "()V"));
  JavaIoPrintStream_writeInt(env, ps, 0x141);
  JavaIoPrintStream_writeInt(env, ps, 0);
  jcharArray chars = env->functions->NewCharArray(env, 2);
  jchar two[] = {0x41, 0x100};
  env->functions->SetCharArrayRegion(env, chars, 0, 2, two);
  JavaIoPrintStream_writeChars(env, ps, chars);
  JavaIoPrintStream_writeBytes(env, ps, Bytes("abcdef"), 2, 0);
  JavaIoPrintStream_writeBytes(env, ps, Bytes("abcdef"), 2, -3);
  JavaIoPrintStream_writeBytes(env, ps, Bytes("abcdef"), 2, 3);
  JavaIoPrintStream_writeString(env, ps, String("xy"));
  JavaIoPrintStream_newLine(env, ps);
  JavaIoPrintStream_flush(env, ps);
  EXPECT_EQ("", TakePending());
  std::vector<ConsoleCall> calls = Console();
  for (const ConsoleCall& call : calls) {
    EXPECT_EQ(1, call.length) << "one character per call, a zero byte included";
    EXPECT_FALSE(call.toStderr);
  }
  EXPECT_EQ(std::string("A\0A\0cdexy\n", 10), ConsoleText(false));
  JavaIoPrintStream_writeBytes(env, ps, Bytes("abc"), 2, 2);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending());
  JavaIoPrintStream_writeBytes(env, ps, Bytes("abc"), -1, 1);
  EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: ", TakePending());
  JavaIoPrintStream_writeBytes(env, ps, nullptr, 0, 0);
  EXPECT_EQ("java.lang.NullPointerException: ", TakePending());
  JavaIoPrintStream_writeChars(env, ps, nullptr);
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  JavaIoPrintStream_writeString(env, ps, nullptr);
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(calls.size(), Console().size());
}

/* The stream is standard error when it is System.err at the time of the call. */
TEST_F(PrintStreamTest, StandardErrorIsWhatSystemErrIsNow) {
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  jclass system = f->FindClass(env, "java/lang/System");
  jobject err = f->GetStaticObjectField(env, system, f->GetStaticFieldID(env, system, "err", "Ljava/io/PrintStream;"));
  ASSERT_NE(nullptr, err);
  EXPECT_EQ(1, JavaIoPrintStream_IsStdErr(env, err));
  JavaIoPrintStream_writeInt(env, err, 'e');
  jobject other = NewObject("java/io/PrintStream", "(Ljava/io/OutputStream;)V", NewObject("java/io/ByteArrayOutputStream", "()V"));
  EXPECT_EQ(0, JavaIoPrintStream_IsStdErr(env, other));
  f->CallStaticVoidMethod(env, system, f->GetStaticMethodID(env, system, "setErr", "(Ljava/io/PrintStream;)V"), other);
  EXPECT_EQ("", TakePending());
  EXPECT_EQ(0, JavaIoPrintStream_IsStdErr(env, err));
  EXPECT_EQ(1, JavaIoPrintStream_IsStdErr(env, other));
  JavaIoPrintStream_writeInt(env, err, 'o');
  EXPECT_EQ("e", ConsoleText(true));
  EXPECT_EQ("o", ConsoleText(false));
}

/* With the console table registered, PrintStream's own Java methods still write to the
   stream under them: binding takes native methods only. */
TEST_F(PrintStreamTest, JavaPrintStreamsKeepTheirTarget) {
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  jobject buffer = NewObject("java/io/ByteArrayOutputStream", "()V");
  jobject ps = NewObject("java/io/PrintStream", "(Ljava/io/OutputStream;)V", buffer);
  jclass cls = f->FindClass(env, "java/io/PrintStream");
  f->CallVoidMethod(env, ps, f->GetMethodID(env, cls, "write", "(I)V"), 'a');
  f->CallVoidMethod(env, ps, f->GetMethodID(env, cls, "write", "([BII)V"), Bytes("xbcx"), 1, 2);
  f->CallVoidMethod(env, ps, f->GetMethodID(env, cls, "flush", "()V"));
  EXPECT_EQ("", TakePending());
  jclass bos = f->FindClass(env, "java/io/ByteArrayOutputStream");
  jobject text = f->CallObjectMethod(env, buffer, f->GetMethodID(env, bos, "toString", "()Ljava/lang/String;"));
  const char* utf = f->GetStringUTFChars(env, (jstring)text, nullptr);
  EXPECT_STREQ("abc", utf);
  f->ReleaseStringUTFChars(env, (jstring)text, utf);
  EXPECT_TRUE(Console().empty());
  /* Nor does a Java method of a registered class hold an address it could be sent to. */
  VMNameSpace* ns = env->javaVM->nameSpace;
  struct { const char* cls; const char* name; const char* signature; } kept[] = {
      {"java/io/PrintStream", "write", "(I)V"}, {"java/io/PrintStream", "write", "([BII)V"},
      {"java/io/PrintStream", "flush", "()V"}, {"java/io/FileOutputStream", "write", "(I)V"}};
  for (auto& k : kept) {
    VMLoadableClass* c = (VMLoadableClass*)VMJniUnHandleClass(env, f->FindClass(env, k.cls));
    ASSERT_NE(nullptr, c);
    VMMethod* m = c->FindMethod(VMLiteral::CreateInstance(ns, k.name, 0xFFFFFFFFu),
                                VMLiteral::CreateInstance(ns, k.signature, 0xFFFFFFFFu), false);
    ASSERT_NE(nullptr, m) << k.cls << "." << k.name;
    EXPECT_FALSE(m->GetIsNative());
    EXPECT_EQ(nullptr, m->GetNativeAddress()) << k.cls << "." << k.name << k.signature;
  }
}

class DeleteWorkerTest : public IoTest {};

TEST_F(DeleteWorkerTest, DeletesFilesAndEmptyDirectoriesOnly) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  dir.Write("gone", "x");
  dir.Write("full/inner", "x");
  ASSERT_EQ(0, mkdir((dir.path() + "/empty").c_str(), 0777));
  ASSERT_NE(nullptr, Start());
  auto file = [&](const char* name) { return NewObject("java/io/File", "(Ljava/lang/String;)V", String(name)); };
  EXPECT_EQ(1, JavaIoFileSystem_Delete(env, file("gone")));
  EXPECT_EQ(1, JavaIoFileSystem_Delete(env, file("empty")));
  EXPECT_EQ(0, JavaIoFileSystem_Delete(env, file("full")));
  EXPECT_EQ(0, JavaIoFileSystem_Delete(env, file("missing")));
  EXPECT_EQ("", TakePending());
  /* Not a File, or none: refused before any host call. */
  EXPECT_EQ(0, JavaIoFileSystem_Delete(env, String("full\\inner")));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_Delete(env, DescriptorWithField(5)));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  EXPECT_EQ(0, JavaIoFileSystem_Delete(env, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", TakePending());
  /* File.delete without file access says so; the shutdown pass then does nothing and
     leaves nothing pending and the file in place. */
  EXPECT_EQ(1, JavaIoFileSystem_DeleteOnExit(env, file("full\\inner")));
  UseTable(Table::None);
  EXPECT_EQ(0, JavaIoFileSystem_Delete(env, file("full\\inner")));
  EXPECT_EQ("java.io.IOException: File I/O NOT Enabled", TakePending());
  JavaIoFileSystem_DeleteAtExit(env, env->javaVM->vm);
  EXPECT_EQ("", TakePending()) << "a refused table raises nothing at shutdown";
  EXPECT_EQ("x", Slurp(dir.path() + "/full/inner"));
  UseTable(Table::Real);
  EXPECT_EQ(1, JavaIoFileSystem_Delete(env, file("full\\inner")));
  EXPECT_EQ("<missing>", Slurp(dir.path() + "/gone"));
  EXPECT_EQ("<missing>", Slurp(dir.path() + "/full/inner"));
}

}  // namespace

namespace {

class RaceTest : public IoTest {};

/* Threads write to the console at once: every host call carries one thread's bytes, and
   nothing is lost or doubled. */
TEST_F(RaceTest, ConsoleWritersInterleaveOnlyBetweenRuns) {
  ASSERT_NE(nullptr, Start());
  jobject stream = env->functions->NewGlobalRef(env, StreamOnField(2));
  const int kThreads = 4, kRounds = 200, kBytes = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; t++) {
    threads.emplace_back([&, t] {
      JNIEnv* mine = nullptr;
      ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
      jbyteArray bytes = mine->functions->NewByteArray(mine, kBytes);
      std::string letter(kBytes, (char)('a' + t));
      mine->functions->SetByteArrayRegion(mine, bytes, 0, kBytes, (const jbyte*)letter.data());
      for (int r = 0; r < kRounds; r++) JavaIoFileOutputStream_writeBytes(mine, stream, bytes, 0, kBytes);
      EXPECT_EQ(nullptr, mine->functions->ExceptionOccurred(mine));
      vm->functions->DetachCurrentThread(vm);
    });
  }
  JoinOutside(threads);
  size_t count[kThreads] = {0};
  for (const ConsoleCall& call : Console()) {
    ASSERT_EQ(kBytes, call.length);
    ASSERT_EQ(std::string(kBytes, call.bytes[0]), call.bytes) << "one call mixes two writers";
    count[call.bytes[0] - 'a']++;
  }
  for (int t = 0; t < kThreads; t++) EXPECT_EQ((size_t)kRounds, count[t]);
  env->functions->DeleteGlobalRef(env, stream);
}

/* A stream closed while other threads write to it: no crash, no write after the close
   reaches the file, and nothing stays open. Many rounds, so that the close falls at
   every point of a write. */
TEST_F(RaceTest, ACloseRacingWritersEndsTheirWritesCleanly) {
  TempDir dir;
  refhost::SetFileRoot(dir.path());
  ASSERT_NE(nullptr, Start());
  JNINativeInterface_ const* f = env->functions;
  for (int round = 0; round < 20; round++) {
    jobject stream = f->NewGlobalRef(env, NewObject("java/io/FileOutputStream", "(Ljava/lang/String;)V", String("race")));
    std::atomic<int> refused{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; t++) {
      threads.emplace_back([&] {
        JNIEnv* mine = nullptr;
        ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &mine, nullptr));
        jbyteArray bytes = mine->functions->NewByteArray(mine, 1000);
        // The others' attach may collect while this one waits for the start.
        WhileOutside([&] {
          while (!go.load()) {
          }
        });
        for (int r = 0; r < 50; r++) {
          JavaIoFileOutputStream_writeBytes(mine, stream, bytes, 0, 1000);
          if (mine->functions->ExceptionOccurred(mine) != nullptr) {
            mine->functions->ExceptionClear(mine);
            refused++;
          }
        }
        vm->functions->DetachCurrentThread(vm);
      });
    }
    go.store(true);
    JavaIoFileOutputStream_close(env, stream);
    EXPECT_EQ("", TakePending());
    JoinOutside(threads);
    struct stat st;
    ASSERT_EQ(0, stat((dir.path() + "/race").c_str(), &st));
    /* Each write is two runs (776 + 224 bytes), each taken whole or refused: a write
       landed whole, or its first run only (then it was refused), or nothing. */
    bool accounted = false;
    for (int partial = 0; partial <= 3 && !accounted; partial++) {
      long rest = (long)st.st_size - 776L * partial;
      accounted = rest >= 0 && rest % 1000 == 0 && rest / 1000 + refused.load() == 3 * 50 && partial <= refused.load();
    }
    EXPECT_TRUE(accounted) << "size " << st.st_size << ", refused " << refused.load();
    EXPECT_EQ(0u, refhost::OpenFileCount());
    f->DeleteGlobalRef(env, stream);
  }
}

}  // namespace
