#include "io_support.h"

#include <errno.h>
#include <limits.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>

#include "vmjni_functions.h"

namespace io_test {

namespace {

std::mutex gLock;
std::vector<ConsoleCall> gConsole;
Table gTable = Table::Real;
Script gScript;

void HOSTCALL RecordConsole(jboolean toStderr, jint length, const char* bytes) {
  {
    std::lock_guard<std::mutex> guard(gLock);
    gConsole.push_back({toStderr != 0, length, length > 0 && bytes ? std::string(bytes, (size_t)length) : ""});
  }
  refhost::Functions()->ConsoleWrite(toStderr, length, bytes);
}

void Log(const std::string& call) {
  std::lock_guard<std::mutex> guard(gLock);
  gScript.calls.push_back(call);
}

jint HOSTCALL SCheckPath(const char*) { return 0; }

jint HOSTCALL SOpenWrite(const char* path, jboolean truncate) {
  Log(std::string("OpenWrite(") + path + "," + std::to_string((int)truncate) + ")");
  return gScript.openAnswer;
}

/* Takes what the script says, storing the bytes it claims to have taken (never more
   than offered), so a test sees exactly what reached the "file". */
jint HOSTCALL SWrite(jint h, const void* bytes, jint count) {
  Log("Write(" + std::to_string(h) + "," + std::to_string(count) + ")");
  std::lock_guard<std::mutex> guard(gLock);
  gScript.writeCalls++;
  jint answer = count;
  if (!gScript.writeAnswers.empty()) {
    answer = gScript.writeAnswers.front();
    gScript.writeAnswers.erase(gScript.writeAnswers.begin());
  }
  if (answer > 0) gScript.written.append((const char*)bytes, (size_t)(answer < count ? answer : count));
  return answer;
}

jint HOSTCALL SClose(jint h) {
  Log("Close(" + std::to_string(h) + ")");
  std::lock_guard<std::mutex> guard(gLock);
  gScript.closed.push_back(h);
  return 0;
}

jboolean HOSTCALL SSync(jint h) {
  Log("Sync(" + std::to_string(h) + ")");
  errno = gScript.syncErrno;
  return gScript.syncAnswer;
}

jint HOSTCALL SOpenRead(const char* path) {
  Log(std::string("OpenRead(") + path + ")");
  return gScript.openReadAnswer;
}

jint HOSTCALL SRead(jint h, void* buf, jint count) {
  Log("Read(" + std::to_string(h) + "," + std::to_string(count) + ")");
  std::lock_guard<std::mutex> guard(gLock);
  gScript.reads.push_back({(const char*)buf, count});
  size_t left = gScript.readData.size() - gScript.readPos;
  jint answer;
  if (!gScript.readAnswers.empty()) {
    answer = gScript.readAnswers.front();
    gScript.readAnswers.erase(gScript.readAnswers.begin());
  } else {
    answer = count < 0 ? -1 : (jint)std::min<size_t>((size_t)count, left);
    if (gScript.readCap > 0 && answer > gScript.readCap) answer = gScript.readCap;
  }
  size_t copy = answer > 0 ? std::min<size_t>({(size_t)answer, (size_t)(count > 0 ? count : 0), left}) : 0;
  memcpy(buf, gScript.readData.data() + gScript.readPos, copy);
  gScript.readPos += copy;
  return answer;
}

jint HOSTCALL SSkip(jint h, jint count) {
  Log("Skip(" + std::to_string(h) + "," + std::to_string(count) + ")");
  return gScript.skipAnswer == -2 ? count : (jint)gScript.skipAnswer;
}
jlong HOSTCALL SSkip64(jint h, jlong count) {
  Log("Skip64(" + std::to_string(h) + "," + std::to_string(count) + ")");
  return gScript.skipAnswer == -2 ? count : gScript.skipAnswer;
}
jint HOSTCALL SSeek(jint h, jint position) {
  Log("Seek(" + std::to_string(h) + "," + std::to_string(position) + ")");
  return gScript.seekAnswer == -2 ? position : (jint)gScript.seekAnswer;
}
jlong HOSTCALL SSeek64(jint h, jlong position) {
  Log("Seek64(" + std::to_string(h) + "," + std::to_string(position) + ")");
  return gScript.seekAnswer == -2 ? position : gScript.seekAnswer;
}
/* Unlogged: reads ask it, and tests compare their logs of other calls whole. */
jlong HOSTCALL SGetFilePointer64(jint) {
  std::lock_guard<std::mutex> guard(gLock);
  return gScript.pointerAnswer == -2 ? (jlong)gScript.readPos : gScript.pointerAnswer;
}
jint HOSTCALL SGetFilePointer(jint h) {
  jlong position = SGetFilePointer64(h);
  return position > INT_MAX ? -1 : (jint)position;
}
jint HOSTCALL SLength(jint h) {
  Log("Length(" + std::to_string(h) + ")");
  jlong length = gScript.lengthAnswer;
  return length > INT_MAX ? -1 : (jint)length;
}
jlong HOSTCALL SLength64(jint h) {
  Log("Length64(" + std::to_string(h) + ")");
  return gScript.lengthAnswer;
}

JNIHostFileSystem* ScriptedTable() {
  static JNIHostFileSystem table = [] {
    /* Every slot the natives under test do not use stays the real one. */
    JNIHostFileSystem t = *refhost::RealFileSystem();
    t.CheckPath = SCheckPath;
    t.OpenWrite = SOpenWrite;
    t.Write = SWrite;
    t.Close = SClose;
    t.Sync = SSync;
    t.OpenRead = SOpenRead;
    t.Read = SRead;
    return t;
  }();
  /* Read per call, so that a test may take the 64-bit slots away. */
  bool with64 = !gScript.without64;
  table.Skip = SSkip;
  table.Seek = SSeek;
  table.Length = SLength;
  table.GetFilePointer = gScript.withoutPointer ? nullptr : SGetFilePointer;
  table.Skip64 = with64 ? SSkip64 : nullptr;
  table.Seek64 = with64 ? SSeek64 : nullptr;
  table.Length64 = with64 ? SLength64 : nullptr;
  table.GetFilePointer64 = with64 ? SGetFilePointer64 : nullptr;
  table.PathLength64 = with64 ? refhost::RealFileSystem()->PathLength64 : nullptr;
  return &table;
}

JNIHostFileSystem* HOSTCALL ChosenTable(void) {
  switch (gTable) {
    case Table::Real: return refhost::Functions()->GetFileSystem();
    case Table::Scripted: return ScriptedTable();
    default: return nullptr;
  }
}

}  // namespace

TempDir::TempDir() {
  std::string base = std::string(PUX_BUILD_DIR) + "/tmp";
  mkdir(base.c_str(), 0777);
  std::string templ = base + "/ioXXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back(0);
  char* made = mkdtemp(buf.data());
  EXPECT_NE(nullptr, made);
  path_ = made ? made : base + "/io-fallback";
}

TempDir::~TempDir() {
  std::string cmd = "rm -rf '" + path_ + "'";
  if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path_.c_str());
}

void TempDir::Write(const std::string& relative, const std::string& data) const {
  std::string full = path_ + "/" + relative;
  for (size_t i = path_.size() + 1; i < full.size(); i++)
    if (full[i] == '/') mkdir(full.substr(0, i).c_str(), 0777);
  FILE* f = fopen(full.c_str(), "wb");
  ASSERT_NE(nullptr, f) << full;
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

std::string LibraryZip() { return std::string(PUX_BUILD_DIR) + "/classlib.zip"; }

JNIHostFunctions* RecordingHost() {
  static JNIHostFunctions table = [] {
    JNIHostFunctions t = *refhost::Functions();
    t.ConsoleWrite = RecordConsole;
    t.GetFileSystem = ChosenTable;
    return t;
  }();
  return &table;
}

void UseTable(Table table) { gTable = table; }
Script& TheScript() { return gScript; }

void IoTest::SetUp() {
  refhost::ResetHooks();
  refhost::SetCapture(true);
  refhost::SetClassPath(nullptr, LibraryZip());
  std::lock_guard<std::mutex> guard(gLock);
  gConsole.clear();
  gScript = Script();
  gTable = Table::Real;
}

void IoTest::TearDown() {
  if (vm != nullptr) Stop();
  refhost::CloseAllFiles();
  refhost::SetClassPath(nullptr, "");
  refhost::ResetHooks();
  gTable = Table::Real;
}

JNIEnv* IoTest::Start(int version) {
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = RecordingHost();
  args.name = "io test";
  args.jdkVersion = version;
  args.runVerifier = 0;
  EXPECT_EQ(0, JNI_CreateJavaVM(&vm, &env, &args));
  {
    std::lock_guard<std::mutex> guard(gLock);
    gConsole.clear();
  }
  return env;
}

void IoTest::Stop() {
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  vm = nullptr;
  env = nullptr;
}

std::string IoTest::TakePending() {
  char* text = env->functions->GetPendingExceptionText(env);
  std::string result = text != nullptr ? text : "";
  env->functions->FreeExceptionText(env, text);
  env->functions->ExceptionClear(env);
  return result;
}

jobject IoTest::NewObject(const char* cls, const char* signature, ...) {
  jclass c = env->functions->FindClass(env, cls);
  EXPECT_NE(nullptr, c) << cls;
  jmethodID init = env->functions->GetMethodID(env, c, "<init>", signature);
  EXPECT_NE(nullptr, init) << cls << signature;
  va_list args;
  va_start(args, signature);
  jobject object = env->functions->NewObjectV(env, c, init, args);
  va_end(args);
  EXPECT_NE(nullptr, object) << TakePending();
  return object;
}

jobject IoTest::Allocate(const char* cls) {
  jclass c = env->functions->FindClass(env, cls);
  jobject object = env->functions->AllocObject(env, c);
  EXPECT_NE(nullptr, object) << TakePending();
  return object;
}

jbyteArray IoTest::Bytes(const std::string& bytes) {
  jbyteArray array = env->functions->NewByteArray(env, (jsize)bytes.size());
  env->functions->SetByteArrayRegion(env, array, 0, (jsize)bytes.size(), (const jbyte*)bytes.data());
  return array;
}

jbyteArray IoTest::Bytes(size_t count, char fill) {
  std::string bytes(count, fill);
  for (size_t i = 0; i < count; i++) bytes[i] = (char)(fill + i % 26);
  return Bytes(bytes);
}

jstring IoTest::String(const char* text) { return env->functions->NewStringUTF(env, text); }

jobject IoTest::DescriptorWithField(jint value) {
  jobject d = NewObject("java/io/FileDescriptor", "()V");
  jclass c = env->functions->FindClass(env, "java/io/FileDescriptor");
  env->functions->SetIntField(env, d, env->functions->GetFieldID(env, c, "fd", "I"), value);
  return d;
}

jint IoTest::FieldOf(jobject descriptor) {
  jclass c = env->functions->FindClass(env, "java/io/FileDescriptor");
  return env->functions->GetIntField(env, descriptor, env->functions->GetFieldID(env, c, "fd", "I"));
}

jobject IoTest::StreamOnField(jint value) {
  return NewObject("java/io/FileOutputStream", "(Ljava/io/FileDescriptor;)V", DescriptorWithField(value));
}

std::vector<ConsoleCall> IoTest::Console() {
  std::lock_guard<std::mutex> guard(gLock);
  return gConsole;
}

std::string IoTest::ConsoleText(bool toStderr) {
  std::string text;
  for (const ConsoleCall& call : Console())
    if (call.toStderr == toStderr) text += call.bytes;
  return text;
}

}  // namespace io_test
