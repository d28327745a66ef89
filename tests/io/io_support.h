/* A machine over a recording host for the java.io natives' tests: every console write is
   kept with its length and stream, and the file table the machine gets is chosen per
   test (the real one, a scripted one, or none). */
#ifndef PUX_IO_SUPPORT_H
#define PUX_IO_SUPPORT_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "refhost.h"
#include "vmjni.h"

namespace io_test {

struct ConsoleCall {
  bool toStderr;
  jint length;
  std::string bytes;
};

/* The file table the host hands out. */
enum class Table { Real, Scripted, None };

/* An in-memory file table: one open "file" at a time, whose bytes are kept; answers that
   tests script, and a log of the calls. */
struct Script {
  std::vector<jint> writeAnswers;  /* taken in order; when empty, Write takes everything */
  jint openAnswer = 7;             /* what OpenWrite gives */
  jboolean syncAnswer = 1;
  int syncErrno = 0;
  std::string written;             /* the bytes Write accepted */
  std::vector<jint> closed;        /* handles Close was called with */
  std::vector<std::string> calls;  /* "OpenWrite(path,truncate)", "Write(h,n)", ... */
  int writeCalls = 0;
  /* Reading: OpenRead gives openReadAnswer; Read hands out readData from readPos, at most
     readCap bytes a call (0: no cap), unless readAnswers scripts the answer (the bytes
     then copied are never more than asked). */
  jint openReadAnswer = 7;
  std::string readData;
  size_t readPos = 0;
  jint readCap = 0;
  std::vector<jint> readAnswers;
  struct Transfer { const char* address; jint count; };
  std::vector<Transfer> reads;     /* every Read's buffer and count */
  jlong seekAnswer = -2;           /* -2: Seek answers the position asked */
  jlong pointerAnswer = -2;        /* -2: GetFilePointer answers readPos (a file); -1: a pipe */
  jlong lengthAnswer = 10;
  bool without64 = false;          /* the table then lacks the 64-bit slots */
  bool withoutPointer = false;     /* the table then lacks GetFilePointer (slot 27) */
  jlong skipAnswer = -2;           /* -2: Skip and Skip64 answer the count asked */
};

class IoTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  /* A machine of the given class-library version; null (test failed) when creation fails. */
  JNIEnv* Start(int version = 1);
  void Stop();

  /* The pending exception's text ("" when none), cleared. */
  std::string TakePending();

  /* Objects made through the env's functions; each fails the test when it cannot be made. */
  jobject NewObject(const char* cls, const char* signature, ...);
  /* An instance with no constructor run (every field 0 or null). */
  jobject Allocate(const char* cls);
  jbyteArray Bytes(const std::string& bytes);
  jbyteArray Bytes(size_t count, char fill);
  jstring String(const char* text);
  /* A FileDescriptor whose fd field holds the value. */
  jobject DescriptorWithField(jint value);
  jint FieldOf(jobject descriptor);
  /* A FileOutputStream over a new descriptor with that field value. */
  jobject StreamOnField(jint value);

  /* The console calls so far, and their bytes per stream. */
  std::vector<ConsoleCall> Console();
  std::string ConsoleText(bool toStderr);

  JNIEnv* env = nullptr;
  JavaVM* vm = nullptr;
};

/* The host and table the machine is given; tests change them between calls. */
void UseTable(Table table);
Script& TheScript();
JNIHostFunctions* RecordingHost();

std::string LibraryZip();

/* A fresh directory under the build tree, removed at destruction. */
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  /* Writes a file below the directory, making the directories on the way. */
  void Write(const std::string& relative, const std::string& data) const;

 private:
  std::string path_;
};

}  // namespace io_test

#endif
