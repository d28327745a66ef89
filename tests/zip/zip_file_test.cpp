/* The library's ZipFile over the host's file table: every entry stream reads the one file
   the ZipFile opened, so its close must not take the handle from under a read in flight
   (a host may give the number to the next file it opens). A read of the archive is held
   in the host while another thread closes the ZipFile: the close reaches the host only
   once the read is done, the read gives its bytes, and the stream is closed after. And a
   new Deflater's wait for room in the compression budget that other threads' streams hold,
   which comes only after a collection has ended the streams nobody closed. */
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "interp_support.h"
#include "pending_text.h"
#include "javautilzip.h"
#include "jni.h"
#include "machine_move.h"
#include "refhost.h"
#include "safe_wait.h"
#include "vmclass.h"
#include "vmliteral.h"
#include "vmsmallobjectbase.h"
#include "vmthread.h"
#include "zippool.h"

namespace {

std::atomic<jint> gArchive{-1};     // the handle of held.zip
std::atomic<bool> gHoldNext{false};  // the next read of it waits in the host
std::atomic<bool> gReading{false};
std::atomic<bool> gClosing{false};   // the closer is calling the ZipFile's close
std::atomic<bool> gClosed{false};
std::atomic<int> gClosedMidRead{0};

jint HOSTCALL WatchedOpenRead(const char* path) {
  jint h = refhost::RealFileSystem()->OpenRead(path);
  if (strstr(path, "held.zip") != nullptr) gArchive = h;
  return h;
}

/* Once the closer calls the ZipFile's close, waits up to 200 ms for a close of the
   handle, which must not come meanwhile. */
jint HOSTCALL HeldRead(jint h, void* to, jint count) {
  if (h == gArchive && gHoldNext.exchange(false)) {
    gReading = true;
    // The closer sets out as soon as it sees the read here; the bound only keeps a
    // closer that never comes from holding the read for good.
    for (int i = 0; i < 30000 && !gClosing; i++) usleep(1000);
    for (int i = 0; i < 200 && !gClosed; i++) usleep(1000);
    gReading = false;
  }
  return refhost::RealFileSystem()->Read(h, to, count);
}

jint HOSTCALL WatchedClose(jint h) {
  if (h == gArchive) {
    if (gReading) gClosedMidRead++;
    gClosed = true;
  }
  return refhost::RealFileSystem()->Close(h);
}

class ZipFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    refhost::SetCapture(true);
    char pattern[] = "/tmp/pux-zipfile-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir = pattern;
    refhost::SetFileRoot(dir);
    refhost::SetClassPath(nullptr, interp_test::ClassDir("zip") + ":" + PUX_BUILD_DIR + "/classlib.zip");
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    ASSERT_EQ(0, JNI_CreateJavaVM(&jvm, &env, &args));
  }
  void TearDown() override {
    refhost::SetFileSystemOverride(nullptr);
    if (jvm != nullptr) {
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    unlink((dir + "/held.zip").c_str());
    rmdir(dir.c_str());
    refhost::SetFileRoot("");
    refhost::SetClassPath(nullptr, "");
    refhost::ResetHooks();
  }
  std::string Pending() { return TakePendingText(env); }
  std::string Utf(jstring s) {
    const char* utf = env->functions->GetStringUTFChars(env, s, nullptr);
    std::string text = utf != nullptr ? utf : "<none>";
    if (utf != nullptr) env->functions->ReleaseStringUTFChars(env, s, utf);
    return text;
  }
  /* Writes the archive of the zip cases (stored.bin is 300 bytes of data(300, 12)) below
     the test's directory. */
  void WriteArchive(const char* name) {
    jclass cases = env->functions->FindClass(env, "zip/ZipCases");
    ASSERT_NE(nullptr, cases) << Pending();
    jvalue size[1];
    size[0].i = 5000;
    jbyteArray archive = (jbyteArray)env->functions->CallStaticObjectMethodA(
        env, cases, env->functions->GetStaticMethodID(env, cases, "zipArchive", "(I)[B"), size);
    ASSERT_NE(nullptr, archive) << Pending();
    std::vector<jbyte> bytes(env->functions->GetArrayLength(env, archive));
    env->functions->GetByteArrayRegion(env, archive, 0, (jsize)bytes.size(), bytes.data());
    std::ofstream(dir + "/" + name, std::ios::binary).write((const char*)bytes.data(), (std::streamsize)bytes.size());
  }
  std::string dir;
  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
};

TEST_F(ZipFileTest, ACloseWaitsForTheReadInFlight) {
  WriteArchive("held.zip");

  static JNIHostFileSystem table;
  table = *refhost::RealFileSystem();
  table.OpenRead = WatchedOpenRead;
  table.Read = HeldRead;
  table.Close = WatchedClose;
  refhost::SetFileSystemOverride(&table);

  jclass zipFile = env->functions->FindClass(env, "java/util/zip/ZipFile");
  jvalue name[1];
  name[0].l = env->functions->NewStringUTF(env, "held.zip");
  jmethodID open = env->functions->GetMethodID(env, zipFile, "<init>", "(Ljava/lang/String;)V");
  jobject z = env->functions->NewObjectA(env, zipFile, open, name);
  ASSERT_NE(nullptr, z) << Pending();
  ASSERT_NE(-1, gArchive.load());
  jvalue entryName[1];
  entryName[0].l = env->functions->NewStringUTF(env, "stored.bin");
  jobject entry = env->functions->CallObjectMethodA(
      env, z, env->functions->GetMethodID(env, zipFile, "getEntry", "(Ljava/lang/String;)Ljava/util/zip/ZipEntry;"),
      entryName);
  jvalue which[1];
  which[0].l = entry;
  jobject in = env->functions->CallObjectMethodA(
      env, z,
      env->functions->GetMethodID(env, zipFile, "getInputStream", "(Ljava/util/zip/ZipEntry;)Ljava/io/InputStream;"),
      which);
  ASSERT_NE(nullptr, in) << Pending();
  jobject shared = env->functions->NewGlobalRef(env, z);
  jmethodID close = env->functions->GetMethodID(env, zipFile, "close", "()V");

  gReading = gClosing = gClosed = false;
  gClosedMidRead = 0;
  gHoldNext = true;
  std::atomic<bool> readReturned{false};
  std::string closeThrew = "not run";
  std::thread closer([&] {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) != 0) return;
    // Attached, it waits outside the machine: the reader's collections (one at every
    // allocation under collection stress) must not wait for it until it gives up.
    WhileOutside([&] {
      while (!gReading && !readReturned) usleep(1000);
    });
    gClosing = true;
    mine->functions->CallVoidMethodA(mine, shared, close, nullptr);
    closeThrew = mine->functions->ExceptionCheck(mine) ? "an exception" : "";
    mine->functions->ExceptionClear(mine);
    jvm->functions->DetachCurrentThread(jvm);
  });
  jclass stream = env->functions->GetObjectClass(env, in);
  jmethodID read = env->functions->GetMethodID(env, stream, "read", "([BII)I");
  jbyteArray buf = env->functions->NewByteArray(env, 300);
  jvalue a[3];
  a[0].l = buf;
  a[1].i = 0;
  a[2].i = 300;
  jint n = env->functions->CallIntMethodA(env, in, read, a);
  readReturned = true;
  std::string thrown = Pending();
  JoinOutside(closer);

  EXPECT_FALSE(gHoldNext.load()) << "the read never reached the host";
  EXPECT_EQ(0, gClosedMidRead.load()) << "the host closed the archive's handle under a read";
  EXPECT_TRUE(gClosed.load()) << "the ZipFile's close never reached the host";
  EXPECT_EQ("", closeThrew);
  EXPECT_EQ("", thrown);
  ASSERT_EQ(300, n);
  jclass cls = env->functions->FindClass(env, "zip/ZipCases");
  jvalue d[2];
  d[0].i = 300;
  d[1].i = 12;
  jbyteArray want = (jbyteArray)env->functions->CallStaticObjectMethodA(
      env, cls, env->functions->GetStaticMethodID(env, cls, "data", "(II)[B"), d);
  std::vector<jbyte> got(300), expected(300);
  env->functions->GetByteArrayRegion(env, buf, 0, 300, got.data());
  env->functions->GetByteArrayRegion(env, want, 0, 300, expected.data());
  EXPECT_TRUE(got == expected);
  // The close closed the stream.
  env->functions->CallIntMethodA(env, in, read, a);
  EXPECT_EQ("java.io.IOException: Stream closed", Pending());
  env->functions->DeleteGlobalRef(env, shared);
}

/* Another thread closes the ZipFile after an open has found it open and before the open
   reads the entry's header, or between a read's own check and its read of the archive:
   each says the archive was closed, never the closed file's IOException without a
   message. The open runs with a collection at every allocation. */
TEST_F(ZipFileTest, OpensAndReadsThatMeetACloseSayTheArchiveWasClosed) {
  WriteArchive("closing.zip");
  jclass cases = env->functions->FindClass(env, "zip/ClosingCases");
  ASSERT_NE(nullptr, cases) << Pending();
  jvalue path[2];
  path[0].l = env->functions->NewStringUTF(env, "closing.zip");
  const uint32_t stress = VMObjectBase::GetCollectionStress();
  VMObjectBase::SetCollectionStress(1);
  jstring opened = (jstring)env->functions->CallStaticObjectMethodA(
      env, cases, env->functions->GetStaticMethodID(env, cases, "openWhileClosing", "(Ljava/lang/String;)Ljava/lang/String;"),
      path);
  VMObjectBase::SetCollectionStress(stress);
  ASSERT_NE(nullptr, opened) << Pending();
  EXPECT_EQ("java.io.IOException: zip file closed", Utf(opened));

  path[1].i = 40;
  jobjectArray met = (jobjectArray)env->functions->CallStaticObjectMethodA(
      env, cases,
      env->functions->GetStaticMethodID(env, cases, "readWhileClosing", "(Ljava/lang/String;I)[Ljava/lang/String;"), path);
  ASSERT_NE(nullptr, met) << Pending();
  const std::vector<std::string> expected = {
      "java.io.IOException: zip file closed", "java.io.IOException: Stream closed",
      "java.io.IOException: Inflater has been closed", "java.lang.IllegalStateException: zip file closed"};
  for (jsize i = 0; i < env->functions->GetArrayLength(env, met); i++) {
    std::string text = Utf((jstring)env->functions->GetObjectArrayElement(env, met, i));
    EXPECT_TRUE(std::find(expected.begin(), expected.end(), text) != expected.end()) << "a reader met \"" << text << "\"";
  }
  unlink((dir + "/closing.zip").c_str());
}

}  // namespace

namespace {

/* The row of the shared reads, as registered. */
void* Row(JavaVM* jvm, const char* name) {
  VMNativeClassInfo* info =
      VMNativeClassInfo::Find(VMLiteral::CreateInstance(jvm->nameSpace, "java/util/zip/SharedFile", 0xFFFFFFFFu));
  for (uint32_t i = 0; info != nullptr && i < info->GetCount(); i++) {
    if (strcmp(info->GetMethods()[i].name, name) == 0) return info->GetMethods()[i].fnPtr;
  }
  return nullptr;
}

/* The shared reads are the library's own, but code that is not (bytecode need not match
   the descriptor it names) may call them with anything: they take an open
   RandomAccessFile only, and read nothing through any other object's words. */
TEST_F(ZipFileTest, TheSharedReadsTakeAnOpenRandomAccessFileOnly) {
  std::ofstream(dir + "/plain.bin", std::ios::binary) << "0123456789";
  jclass shared = env->functions->FindClass(env, "java/util/zip/SharedFile");
  ASSERT_NE(nullptr, shared) << Pending();
  jmethodID read = env->functions->GetStaticMethodID(env, shared, "read", "(Ljava/io/RandomAccessFile;J[BII)I");
  jmethodID close = env->functions->GetStaticMethodID(env, shared, "close", "(Ljava/io/RandomAccessFile;)V");
  ASSERT_NE(nullptr, read);
  ASSERT_NE(nullptr, close);
  jclass rafClass = env->functions->FindClass(env, "java/io/RandomAccessFile");
  jvalue open[2];
  open[0].l = env->functions->NewStringUTF(env, "plain.bin");
  open[1].l = env->functions->NewStringUTF(env, "r");
  jobject raf = env->functions->NewObjectA(
      env, rafClass, env->functions->GetMethodID(env, rafClass, "<init>", "(Ljava/lang/String;Ljava/lang/String;)V"),
      open);
  ASSERT_NE(nullptr, raf) << Pending();
  jbyteArray buf = env->functions->NewByteArray(env, 10);
  jvalue a[5];
  a[1].j = 4;
  a[2].l = buf;
  a[3].i = 0;
  a[4].i = 10;
  a[0].l = raf;
  EXPECT_EQ(6, env->functions->CallStaticIntMethodA(env, shared, read, a));
  EXPECT_EQ("", Pending());
  jbyte got[6];
  env->functions->GetByteArrayRegion(env, buf, 0, 6, got);
  EXPECT_EQ(0, memcmp(got, "456789", 6));
  a[1].j = 10;
  EXPECT_EQ(-1, env->functions->CallStaticIntMethodA(env, shared, read, a)) << "the end of the file";
  EXPECT_EQ("", Pending());
  // A String in the file's place, past the interface's own check of the argument types.
  typedef jint(JNICALL * ReadRow)(JNIEnv*, jclass, jobject, jlong, jbyteArray, jint, jint);
  typedef void(JNICALL * CloseRow)(JNIEnv*, jclass, jobject);
  ReadRow readRow = (ReadRow)Row(jvm, "read");
  CloseRow closeRow = (CloseRow)Row(jvm, "close");
  ASSERT_NE(nullptr, readRow);
  ASSERT_NE(nullptr, closeRow);
  EXPECT_EQ(-1, readRow(env, shared, open[0].l, 0, buf, 0, 10));
  EXPECT_EQ("java.lang.IllegalArgumentException: not a RandomAccessFile", Pending());
  closeRow(env, shared, open[0].l);
  EXPECT_EQ("java.lang.IllegalArgumentException: not a RandomAccessFile", Pending());
  EXPECT_EQ(4, readRow(env, shared, raf, 6, buf, 0, 10)) << "the file is still open";
  a[0].l = nullptr;
  env->functions->CallStaticIntMethodA(env, shared, read, a);
  EXPECT_EQ("java.lang.NullPointerException", Pending().substr(0, 30));
  a[0].l = raf;
  env->functions->CallStaticVoidMethodA(env, shared, close, a);
  EXPECT_EQ("", Pending());
  env->functions->CallStaticIntMethodA(env, shared, read, a);
  EXPECT_EQ("java.io.IOException", Pending().substr(0, 19)) << "a read after the close";
  env->functions->CallStaticVoidMethodA(env, shared, close, a);
  EXPECT_EQ("", Pending()) << "a second close does nothing";
  unlink((dir + "/plain.bin").c_str());
}

}  // namespace

namespace {

/* On an attached thread: a new Deflater, used and ended by ZipCases.use: "made", or what
   was thrown. */
std::string MakeOne(JNIEnv* e, jclass deflater, jclass cases) {
  const JNINativeInterface_* f = e->functions;
  jvalue d[1];
  d[0].l = f->NewObjectA(e, deflater, f->GetMethodID(e, deflater, "<init>", "()V"), nullptr);
  jmethodID use = f->GetStaticMethodID(e, cases, "use", "(Ljava/util/zip/Deflater;)Ljava/lang/String;");
  jstring s = d[0].l != nullptr ? (jstring)f->CallStaticObjectMethodA(e, cases, use, d) : nullptr;
  const char* utf = s != nullptr ? f->GetStringUTFChars(e, s, nullptr) : nullptr;
  std::string text = utf != nullptr ? utf : TakePendingText(e);
  if (utf != nullptr) f->ReleaseStringUTFChars(e, s, utf);
  return text;
}

void EndOne(JNIEnv* e, jclass deflater, jobject d) {
  if (d != nullptr) e->functions->CallVoidMethodA(e, d, e->functions->GetMethodID(e, deflater, "end", "()V"), nullptr);
}

/* The host moves the machine from inside the first sleep of a declared thread but main;
   gMoved says so once the move is done (main, declared meanwhile, must not run during it). */
JavaVM* gMoving = nullptr;
JNIEnv* gMain = nullptr;
std::atomic<bool> gMoveTaken{false};
std::atomic<bool> gMoved{false};
void(HOSTCALL* gRealSleep)(jlong) = nullptr;

jint(HOSTCALL* gRealEventWait)(void*, jlong) = nullptr;

/* A declared wait of a thread but main, by a host sleep or an event wait: counted, and the
   first of them moves the machine when gMoving names it. */
std::atomic<int> gDeclaredWaits{0};
void DeclaredWait() {
  JNIEnv* e = refhost::Functions()->GetCurrentEnv();
  if (e == nullptr || e == gMain || !(e->thread->GetFlags() & VMThread::InSafeRegionFlag)) return;
  gDeclaredWaits++;
  if (e->javaVM == gMoving && !gMoveTaken.exchange(true)) {
    EXPECT_GT(MoveMachine(gMoving), 20u);
    gMoved = true;
  }
}
void HOSTCALL MovingSleep(jlong ms) {
  DeclaredWait();
  gRealSleep(ms);
}
jint HOSTCALL MovingEventWait(void* event, jlong ms) {
  if (ms != 0) DeclaredWait();
  return gRealEventWait(event, ms);
}
/* Both kinds of wait watched; Unwatch puts the host's own back. */
void WatchWaits() {
  gDeclaredWaits = 0;
  gRealSleep = refhost::Functions()->Sleep;
  gRealEventWait = refhost::Functions()->EventWait;
  refhost::Functions()->Sleep = MovingSleep;
  refhost::Functions()->EventWait = MovingEventWait;
}
void UnwatchWaits() {
  if (gRealSleep != nullptr) refhost::Functions()->Sleep = gRealSleep;
  if (gRealEventWait != nullptr) refhost::Functions()->EventWait = gRealEventWait;
  gRealSleep = nullptr;
  gRealEventWait = nullptr;
}

/* This thread holds the compression budget with two Deflaters; another thread asks for a
   third and waits (it was refused at once), and the host moves the machine during the wait
   (main stands declared). Once this thread ends one of its streams the asker gets its own,
   which works, and so does the one this thread made before the move (its record named the
   machine by its old address: "Deflater has been closed"). Then the wait's other ends, in
   Java: an interrupt refuses the stream and stays set, a stop ends the asker with
   ThreadDeath, and where nothing could end the wait (the budget's streams were made by a
   thread that has ended) the asker is refused as before. */
TEST_F(ZipFileTest, ANewStreamWaitsForAnotherThreadsStreamToEnd) {
  const JNINativeInterface_* f = env->functions;
  // Globals: the asker uses them too.
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  ASSERT_TRUE(cases != nullptr && cls != nullptr) << Pending();
  jmethodID make = f->GetMethodID(env, cls, "<init>", "()V");
  jmethodID use = f->GetStaticMethodID(env, cases, "use", "(Ljava/util/zip/Deflater;)Ljava/lang/String;");
  jobject held[2];
  for (jobject& d : held) ASSERT_NE(nullptr, d = f->NewGlobalRef(env, f->NewObjectA(env, cls, make, nullptr)));
  gMoving = jvm;
  gMain = env;
  WatchWaits();
  std::atomic<bool> asked{false};
  std::string got = "not run";
  std::thread asker([&] {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
      got = MakeOne(mine, cls, cases);
      jvm->functions->DetachCurrentThread(jvm);
    }
    asked = true;
  });
  OutsideAs(env, [&] {
    while (!gMoved && !asked) usleep(1000);
  });
  f->CallVoidMethodA(env, held[0], f->GetMethodID(env, cls, "end", "()V"), nullptr);
  OutsideAs(env, [&] { asker.join(); });
  UnwatchWaits();
  gMoving = nullptr;
  EXPECT_TRUE(gMoved.load()) << "the asker never waited";
  EXPECT_EQ("made", got);
  jvalue d[1];
  d[0].l = held[1];
  jstring kept = (jstring)f->CallStaticObjectMethodA(env, cases, use, d);
  EXPECT_EQ("made", kept != nullptr ? Utf(kept) : Pending());
  for (jobject g : {held[0], held[1], (jobject)cls}) f->DeleteGlobalRef(env, g);

  const char* const expected[] = {"java.lang.OutOfMemoryError interrupted", "java.lang.ThreadDeath",
                                  "java.lang.OutOfMemoryError"};
  for (jint how = 1; how <= 3; how++) {
    d[0].i = how;
    jstring ended = (jstring)f->CallStaticObjectMethodA(
        env, cases, f->GetStaticMethodID(env, cases, "budgetWait", "(I)Ljava/lang/String;"), d);
    EXPECT_EQ(expected[how - 1], ended != nullptr ? Utf(ended) : Pending()) << how;
  }
  ZipPoolCookie* cookie = ZipPoolGetCookie();
  ASSERT_NE(nullptr, cookie);
  EXPECT_EQ(0u, ZipPoolBytesInUse(cookie));
  ZipPoolReleaseCookie(cookie);
  f->DeleteGlobalRef(env, cases);
}

}  // namespace

namespace {

/* Streams that a thread made and dropped unended hold the budget after it has ended: a new
   Deflater gets room from the collection that ends them, without waiting for them first
   (they end only when collected). */
TEST_F(ZipFileTest, StreamsLeftToTheCollectorAreCollectedBeforeAnyWait) {
  const JNINativeInterface_* f = env->functions;
  jclass cases = f->FindClass(env, "zip/ZipCases");
  ASSERT_NE(nullptr, cases) << Pending();
  f->CallStaticVoidMethodA(env, cases, f->GetStaticMethodID(env, cases, "leaveTwo", "()V"), nullptr);
  jclass cls = f->FindClass(env, "java/util/zip/Deflater");
  ASSERT_TRUE(cls != nullptr && !f->ExceptionCheck(env)) << Pending();
  jmethodID make = f->GetMethodID(env, cls, "<init>", "()V");
  const uint32_t sleeps = refhost::SleepCallCount();
  jvalue d[1];
  d[0].l = f->NewObjectA(env, cls, make, nullptr);
  ASSERT_NE(nullptr, d[0].l) << Pending();
  EXPECT_EQ(0u, refhost::SleepCallCount() - sleeps);
  jstring got = (jstring)f->CallStaticObjectMethodA(
      env, cases, f->GetStaticMethodID(env, cases, "use", "(Ljava/util/zip/Deflater;)Ljava/lang/String;"), d);
  EXPECT_EQ("made", got != nullptr ? Utf(got) : Pending());
}

}  // namespace

namespace {

/* Main's first free of process memory once gSlowFrees is set lasts 30 ms longer: the end of
   its stream, once the stream is ended and before most of its blocks are back. */
std::atomic<bool> gSlowFrees{false};
std::atomic<bool> gSlowed{false};
void(HOSTCALL* gRealHeapFree)(HHeap*, void*) = nullptr;
void HOSTCALL SlowFree(HHeap* heap, void* block) {
  gRealHeapFree(heap, block);
  if (heap == nullptr && refhost::Functions()->GetCurrentEnv() == gMain && gSlowFrees && !gSlowed.exchange(true)) {
    usleep(30000);
  }
}

/* Main holds a Deflater and another thread holds one of its own: together they hold the
   budget. That thread asks for a second and waits (main's stream is another thread's).
   Main ends its stream, and the end's blocks come back slowly: the asker, looking
   meanwhile, must go on waiting for the room that end is making rather than be refused
   for want of another thread's live stream. Twenty rounds. */
TEST_F(ZipFileTest, AWaiterIsNotRefusedWhileAnotherThreadsStreamIsEnding) {
  const JNINativeInterface_* f = env->functions;
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  ASSERT_TRUE(cls != nullptr && cases != nullptr) << Pending();
  gMain = env;
  gRealHeapFree = refhost::Functions()->HeapFree;
  refhost::Functions()->HeapFree = SlowFree;
  WatchWaits();
  int refused = 0, slowed = 0;
  std::string first;
  for (int round = 0; round < 20; round++) {
    jobject held = f->NewGlobalRef(env, f->NewObjectA(env, cls, f->GetMethodID(env, cls, "<init>", "()V"), nullptr));
    ASSERT_NE(nullptr, held) << Pending();
    gDeclaredWaits = 0;
    gSlowed = false;
    std::string got = "not run";
    std::atomic<bool> done{false};
    std::thread asker([&] {
      JNIEnv* mine = nullptr;
      if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
        jobject own = mine->functions->NewObjectA(mine, cls, mine->functions->GetMethodID(mine, cls, "<init>", "()V"), nullptr);
        got = own != nullptr ? MakeOne(mine, cls, cases) : TakePendingText(mine);
        EndOne(mine, cls, own);
        jvm->functions->DetachCurrentThread(jvm);
      }
      done = true;
    });
    OutsideAs(env, [&] {
      while (gDeclaredWaits.load() == 0 && !done) usleep(1000);
    });
    gSlowFrees = true;
    EndOne(env, cls, held);
    gSlowFrees = false;
    OutsideAs(env, [&] { asker.join(); });
    f->DeleteGlobalRef(env, held);
    slowed += gSlowed ? 1 : 0;
    if (got != "made") {
      refused++;
      if (first.empty()) first = got;
    }
  }
  refhost::Functions()->HeapFree = gRealHeapFree;
  UnwatchWaits();
  EXPECT_EQ(20, slowed);
  EXPECT_EQ(0, refused) << first;
  f->DeleteGlobalRef(env, cls);
  f->DeleteGlobalRef(env, cases);
}

/* Waits that nothing could end: two threads each hold a Deflater (together, the budget) and
   then each ask for a second; each could only wait for the other's stream, which the other
   ends only once its own ask is answered. Neither may be kept the whole wait (10 rounds).
   And a thread holding two Deflaters that a thread now ended made asks for a third: only
   its own code could end them, so it is answered without any wait at all. */
TEST_F(ZipFileTest, AWaitThatNothingCouldEndIsNotSatOut) {
  const JNINativeInterface_* f = env->functions;
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  ASSERT_TRUE(cls != nullptr && cases != nullptr) << Pending();
  long longest = 0;
  std::string outcomes;
  for (int round = 0; round < 10; round++) {
    std::atomic<int> holding{0};
    long waitedMs[2] = {0, 0};
    std::string got[2];
    auto client = [&](int i) {
      JNIEnv* mine = nullptr;
      if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) != 0) return;
      jobject held = mine->functions->NewObjectA(mine, cls, mine->functions->GetMethodID(mine, cls, "<init>", "()V"), nullptr);
      holding++;
      OutsideAs(mine, [&] {
        while (held != nullptr && holding.load() < 2) usleep(1000);
      });
      const auto t0 = std::chrono::steady_clock::now();
      got[i] = MakeOne(mine, cls, cases);
      waitedMs[i] = (long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
      EndOne(mine, cls, held);
      jvm->functions->DetachCurrentThread(jvm);
    };
    OutsideAs(env, [&] {
      std::thread a(client, 0), b(client, 1);
      a.join();
      b.join();
    });
    for (int i = 0; i < 2; i++) {
      longest = std::max(longest, waitedMs[i]);
      if (outcomes.size() < 200) outcomes += got[i].substr(0, 40) + "; ";
    }
  }
  EXPECT_LT(longest, 1000) << outcomes;

  f->CallStaticVoidMethodA(env, cases, f->GetStaticMethodID(env, cases, "handOver", "()V"), nullptr);
  ASSERT_FALSE(f->ExceptionCheck(env)) << Pending();
  gMain = nullptr;  // main's own waits count here
  WatchWaits();
  jstring handed = (jstring)f->CallStaticObjectMethodA(
      env, cases, f->GetStaticMethodID(env, cases, "askThird", "()Ljava/lang/String;"), nullptr);
  const int waits = gDeclaredWaits.load();
  UnwatchWaits();
  ASSERT_NE(nullptr, handed) << Pending();
  // The budget's one collection waits for the finalizer thread to run what it found due
  // (a few waits); a wait for ends that cannot come took hundreds.
  EXPECT_LT(waits, 10) << Utf(handed);
  f->DeleteGlobalRef(env, cls);
  f->DeleteGlobalRef(env, cases);
}

/* The first asker's steps of its wait for the budget. */
std::atomic<void*> gFirstAskerEvent{nullptr};
std::atomic<bool> gFirstAskerWaits{false};
jint(HOSTCALL* gRealStepWait)(void*, jlong) = nullptr;
jint HOSTCALL StepSeenWait(void* event, jlong ms) {
  if (ms == ZipBudgetStepMillis && event == gFirstAskerEvent.load()) gFirstAskerWaits = true;
  return gRealStepWait(event, ms);
}

/* Two threads each hold a Deflater (together, the budget); the first asks for a second and
   waits for the other's stream, then the other asks too, while a third thread keeps the
   finalizer thread busy, round after round, with objects whose finalizers end no stream.
   Nothing could end the later ask's wait but its own refusal: it must be answered while
   the finalizer thread goes on, not kept as long as that has something to run (its stream
   hidden meanwhile from every thread behind it). Then it ends its stream, and the first
   asker gets its second. */
TEST_F(ZipFileTest, AWaitNothingCouldEndIsAnsweredThoughTheFinalizerThreadKeepsBusy) {
  const JNINativeInterface_* f = env->functions;
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  ASSERT_TRUE(cls != nullptr && cases != nullptr) << Pending();
  jfieldID stop = f->GetStaticFieldID(env, cases, "feedStop", "Z");
  jfieldID rounds = f->GetStaticFieldID(env, cases, "feedRounds", "I");
  ASSERT_TRUE(stop != nullptr && rounds != nullptr) << Pending();
  gRealStepWait = refhost::Functions()->EventWait;
  refhost::Functions()->EventWait = StepSeenWait;
  std::atomic<int> holding{0};
  std::atomic<bool> fed{false}, stopped{false}, secondAnswered{false};
  std::string got[2] = {"not run", "not run"};
  auto asker = [&](int i) {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
      const JNINativeInterface_* m = mine->functions;
      jobject held = m->NewObjectA(mine, cls, m->GetMethodID(mine, cls, "<init>", "()V"), nullptr);
      holding++;
      if (i == 0) gFirstAskerEvent = mine->thread->GetWakeEvent();
      OutsideAs(mine, [&] {
        for (int k = 0; k < 10000 && held != nullptr && holding.load() < 2; k++) usleep(1000);
        // The second asks once the first waits and the finalizer thread is kept busy.
        for (int k = 0; k < 10000 && i == 1 && !(gFirstAskerWaits && fed); k++) usleep(1000);
      });
      got[i] = MakeOne(mine, cls, cases);
      if (i == 1) secondAnswered = true;
      EndOne(mine, cls, held);
      jvm->functions->DetachCurrentThread(jvm);
    }
    if (i == 1) secondAnswered = true;
  };
  std::thread feeder([&] {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) != 0) return;
    stopped = mine->functions->CallStaticBooleanMethod(
        mine, cases, mine->functions->GetStaticMethodID(mine, cases, "feedFinalizers", "()Z"));
    jvm->functions->DetachCurrentThread(jvm);
  });
  std::thread first(asker, 0), second(asker, 1);
  for (int i = 0; i < 10000 && !fed; i++) {
    OutsideAs(env, [&] { usleep(1000); });
    fed = f->GetStaticIntField(env, cases, rounds) >= 2;
  }
  OutsideAs(env, [&] {
    while (!secondAnswered) usleep(1000);
  });
  f->SetStaticBooleanField(env, cases, stop, JNI_TRUE);
  OutsideAs(env, [&] {
    first.join();
    second.join();
    feeder.join();
  });
  refhost::Functions()->EventWait = gRealStepWait;
  EXPECT_TRUE(gFirstAskerWaits.load()) << got[0];
  EXPECT_TRUE(stopped.load()) << "the later ask was answered only once the finalizer thread had nothing to run: "
                              << got[1];
  EXPECT_EQ("java.lang.OutOfMemoryError", got[1].substr(0, 26));
  EXPECT_EQ("made", got[0]);
  f->DeleteGlobalRef(env, cls);
  f->DeleteGlobalRef(env, cases);
}

}  // namespace

namespace {

/* The host hands a thread that attaches again the memory of its last env, as an allocator
   that reuses a block of the size just freed does: the block gKeepBlock names is kept from
   the free and given to the next request of an env's size on the thread gKeepFor names. */
std::atomic<void*> gKeepBlock{nullptr};
std::atomic<void*> gKept{nullptr};
std::atomic<void*> gKeepFor{nullptr};
void*(HOSTCALL* gRealHeapAlloc)(HHeap*, uint32_t, jint) = nullptr;
void(HOSTCALL* gRealFree)(HHeap*, void*) = nullptr;
void HOSTCALL KeepingFree(HHeap* heap, void* block) {
  void* keep = block;
  if (heap == nullptr && block != nullptr && gKeepBlock.compare_exchange_strong(keep, nullptr)) {
    gKept = block;
    return;
  }
  gRealFree(heap, block);
}
void* HOSTCALL ReusingAlloc(HHeap* heap, uint32_t size, jint kind) {
  if (heap == nullptr && size == sizeof(JNIEnv) && refhost::Functions()->CurrentThreadId() == gKeepFor.load()) {
    if (void* block = gKept.exchange(nullptr)) return block;
  }
  return gRealHeapAlloc(heap, size, kind);
}

/* A host thread makes two Deflaters (together, the budget) and hands them to main, then
   detaches and attaches again, its new env in the memory of the old. Its new attachment
   made none of the two, and nothing but main's own code will end them: main's ask for a
   third is answered without any wait. (Taken for their maker, the thread kept main
   waiting the whole 30 s bound; here it leaves at main's first wait.) */
TEST_F(ZipFileTest, AThreadAttachedAgainIsNotTheMakerOfItsEarlierAttachmentsStreams) {
  const JNINativeInterface_* f = env->functions;
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  ASSERT_TRUE(cls != nullptr && cases != nullptr) << Pending();
  gRealHeapAlloc = refhost::Functions()->HeapAlloc;
  gRealFree = refhost::Functions()->HeapFree;
  refhost::Functions()->HeapAlloc = ReusingAlloc;
  refhost::Functions()->HeapFree = KeepingFree;
  gMain = nullptr;  // main's own waits count here
  WatchWaits();
  jobject pair[2] = {nullptr, nullptr};
  std::atomic<int> stage{0};
  std::atomic<bool> answered{false};
  bool sameMemory = false;
  std::thread maker([&] {
    JNIEnv* mine = nullptr;
    gKeepFor = refhost::Functions()->CurrentThreadId();
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
      jmethodID make = mine->functions->GetMethodID(mine, cls, "<init>", "()V");
      for (jobject& d : pair) {
        d = mine->functions->NewGlobalRef(mine, mine->functions->NewObjectA(mine, cls, make, nullptr));
      }
      JNIEnv* first = mine;
      gKeepBlock = first;
      jvm->functions->DetachCurrentThread(jvm);
      if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
        sameMemory = mine == first;
        stage = 1;
        OutsideAs(mine, [&] {
          while (!answered && gDeclaredWaits.load() == 0) usleep(1000);
        });
        jvm->functions->DetachCurrentThread(jvm);
      }
    }
    stage = 1;
  });
  OutsideAs(env, [&] {
    while (stage.load() == 0) usleep(1000);
  });
  std::string got = pair[0] != nullptr && pair[1] != nullptr ? MakeOne(env, cls, cases) : "not made";
  answered = true;
  const int waits = gDeclaredWaits.load();
  OutsideAs(env, [&] { maker.join(); });
  UnwatchWaits();
  refhost::Functions()->HeapAlloc = gRealHeapAlloc;
  refhost::Functions()->HeapFree = gRealFree;
  if (void* block = gKept.exchange(nullptr)) gRealFree(nullptr, block);
  gKeepBlock = nullptr;
  ASSERT_TRUE(sameMemory) << "the host did not give the old env's memory again";
  EXPECT_EQ(0, waits) << got;
  EXPECT_NE(std::string::npos, got.find("OutOfMemoryError")) << got;
  for (jobject d : pair) {
    EndOne(env, cls, d);
    if (d != nullptr) f->DeleteGlobalRef(env, d);
  }
  f->DeleteGlobalRef(env, cls);
  f->DeleteGlobalRef(env, cases);
}

}  // namespace

namespace {

/* The asker's looks for the makers of its machine's streams among its threads, counted once
   gStallThread names it: before the gStallAt-th it stands declared until gGo. */
std::atomic<void*> gStallThread{nullptr};
std::atomic<int> gMakerLooks{0};
const int gStallAt = 2;
std::atomic<bool> gStalled{false};
std::atomic<bool> gGo{false};
jboolean(HOSTCALL* gRealSpinLock)(void*, const char*) = nullptr;
jboolean HOSTCALL StallingSpinLock(void* lock, const char* tag) {
  if (tag != nullptr && strstr(tag, "zip budget makers") != nullptr &&
      refhost::Functions()->CurrentThreadId() == gStallThread.load() && ++gMakerLooks == gStallAt) {
    JNIEnv* e = refhost::Functions()->GetCurrentEnv();
    VM::EnterSafeRegion(e->thread);
    gStalled = true;
    while (!gGo) usleep(1000);
    VM::LeaveSafeRegion(e->thread);
  }
  return gRealSpinLock(lock, tag);
}

/* Main holds two Deflaters that a thread now ended made; another thread asks for a third
   (the waiting try), finds that nothing could end its wait, has its collection made, looks
   again, and between that look at the budget and its look for the streams' makers main ends
   one of them, whole. The room is there: the asker must not be refused. */
TEST_F(ZipFileTest, AnEndMadeWholeBetweenAWaitersTwoLooksIsRoom) {
  const JNINativeInterface_* f = env->functions;
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  ASSERT_TRUE(cls != nullptr && cases != nullptr) << Pending();
  f->CallStaticVoidMethodA(env, cases, f->GetStaticMethodID(env, cases, "handOver", "()V"), nullptr);
  ASSERT_FALSE(f->ExceptionCheck(env)) << Pending();
  jfieldID handed = f->GetStaticFieldID(env, cases, "handedPair", "[Ljava/util/zip/Deflater;");
  jobjectArray pair = (jobjectArray)f->NewGlobalRef(env, f->GetStaticObjectField(env, cases, handed));
  gRealSpinLock = refhost::Functions()->SpinLockAcquire;
  refhost::Functions()->SpinLockAcquire = StallingSpinLock;
  std::string got = "not run";
  std::thread asker([&] {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) != 0) return;
    jobject d = mine->functions->AllocObject(mine, cls);
    jvalue nowrap[1];
    nowrap[0].z = JNI_FALSE;
    gStallThread = refhost::Functions()->CurrentThreadId();
    jmethodID waiting = mine->functions->GetMethodID(mine, cls, "initWaiting", "(Z)V");
    mine->functions->CallNonvirtualVoidMethodA(mine, d, cls, waiting, nowrap);
    gStallThread = nullptr;
    got = TakePendingText(mine);
    if (got.empty()) got = "made";
    EndOne(mine, cls, d);
    jvm->functions->DetachCurrentThread(jvm);
  });
  OutsideAs(env, [&] {
    for (int i = 0; i < 10000 && !gStalled; i++) usleep(1000);
  });
  const bool stalled = gStalled;
  EndOne(env, cls, f->GetObjectArrayElement(env, pair, 0));
  gGo = true;
  OutsideAs(env, [&] { asker.join(); });
  refhost::Functions()->SpinLockAcquire = gRealSpinLock;
  EndOne(env, cls, f->GetObjectArrayElement(env, pair, 1));
  EXPECT_TRUE(stalled) << got;
  EXPECT_EQ("made", got);
  f->DeleteGlobalRef(env, pair);
  f->DeleteGlobalRef(env, cls);
  f->DeleteGlobalRef(env, cases);
}

}  // namespace

namespace {

/* Main's post of the wake its end owes the waiter is held in the host (main standing
   declared) until another thread has used and ended a stream of its own, 10 s at most. */
std::atomic<void*> gWaiterEvent{nullptr};
std::atomic<bool> gWaiterWaits{false};
std::atomic<bool> gPostHeld{false};
std::atomic<bool> gUsedMeanwhile{false};
void(HOSTCALL* gRealPost)(void*) = nullptr;
jint(HOSTCALL* gRealWait)(void*, jlong) = nullptr;
void HOSTCALL HeldPost(void* event) {
  JNIEnv* e = refhost::Functions()->GetCurrentEnv();
  if (e != nullptr && e == gMain && event == gWaiterEvent.load() && !gPostHeld.exchange(true)) {
    VM::EnterSafeRegion(e->thread);
    for (int i = 0; i < 10000 && !gUsedMeanwhile; i++) usleep(1000);
    VM::LeaveSafeRegion(e->thread);
  }
  gRealPost(event);
}
/* The waiter's steps of its wait for the budget. */
jint HOSTCALL SeenWait(void* event, jlong ms) {
  if (ms == ZipBudgetStepMillis && event == gWaiterEvent.load()) gWaiterWaits = true;
  return gRealWait(event, ms);
}

/* Main and another thread each hold a Deflater (together, the budget); a third thread asks
   for one and waits. Main ends its stream, and its post of the waiter's wake stays in the
   host: meanwhile the other thread uses its own stream and ends it (which wakes the waiter
   too). The post holds no lock of the budget or of the streams: the other thread is done
   before the post returns, and the waiter gets its stream. */
TEST_F(ZipFileTest, AnEndsWakeIsPostedHoldingNothingOtherThreadsStreamsNeed) {
  const JNINativeInterface_* f = env->functions;
  jclass cls = (jclass)f->NewGlobalRef(env, f->FindClass(env, "java/util/zip/Deflater"));
  jclass cases = (jclass)f->NewGlobalRef(env, f->FindClass(env, "zip/ZipCases"));
  ASSERT_TRUE(cls != nullptr && cases != nullptr) << Pending();
  jobject mainOwn = f->NewGlobalRef(env, f->NewObjectA(env, cls, f->GetMethodID(env, cls, "<init>", "()V"), nullptr));
  ASSERT_NE(nullptr, mainOwn) << Pending();
  gMain = env;
  gRealPost = refhost::Functions()->EventPost;
  gRealWait = refhost::Functions()->EventWait;
  refhost::Functions()->EventPost = HeldPost;
  refhost::Functions()->EventWait = SeenWait;
  std::atomic<int> stage{0};
  std::string used = "not run", got = "not run";
  std::thread user([&] {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
      jobject own = mine->functions->NewObjectA(mine, cls, mine->functions->GetMethodID(mine, cls, "<init>", "()V"), nullptr);
      stage = 1;
      OutsideAs(mine, [&] {
        while (!gPostHeld && stage.load() != 2) usleep(1000);
      });
      // ZipCases.use deflates with the stream and ends it.
      jstring s = (jstring)mine->functions->CallStaticObjectMethod(
          mine, cases, mine->functions->GetStaticMethodID(mine, cases, "use", "(Ljava/util/zip/Deflater;)Ljava/lang/String;"), own);
      const char* utf = s != nullptr ? mine->functions->GetStringUTFChars(mine, s, nullptr) : nullptr;
      used = utf != nullptr ? utf : TakePendingText(mine);
      if (utf != nullptr) mine->functions->ReleaseStringUTFChars(mine, s, utf);
      gUsedMeanwhile = true;
      jvm->functions->DetachCurrentThread(jvm);
    }
    stage = 1;
  });
  OutsideAs(env, [&] {
    while (stage.load() == 0) usleep(1000);
  });
  std::thread waiter([&] {
    JNIEnv* mine = nullptr;
    if (jvm->functions->AttachCurrentThread(jvm, &mine, nullptr) == 0) {
      gWaiterEvent = mine->thread->GetWakeEvent();
      got = MakeOne(mine, cls, cases);
      jvm->functions->DetachCurrentThread(jvm);
    }
    gWaiterWaits = true;
  });
  OutsideAs(env, [&] {
    for (int i = 0; i < 10000 && !gWaiterWaits; i++) usleep(1000);
  });
  EndOne(env, cls, mainOwn);
  const bool usedDuringPost = gUsedMeanwhile;
  stage = 2;
  OutsideAs(env, [&] {
    user.join();
    waiter.join();
  });
  refhost::Functions()->EventPost = gRealPost;
  refhost::Functions()->EventWait = gRealWait;
  EXPECT_TRUE(gPostHeld.load()) << "main's end posted no wake: " << got;
  EXPECT_TRUE(usedDuringPost) << "the other thread's stream waited for main's post: " << used;
  EXPECT_EQ("made", used);
  EXPECT_EQ("made", got);
  for (jobject g : {mainOwn, (jobject)cls, (jobject)cases}) f->DeleteGlobalRef(env, g);
}

}  // namespace
