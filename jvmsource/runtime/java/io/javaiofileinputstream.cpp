/* java.io.FileInputStream: reading files, and standard input on host handle 0, through
   the host's file table.

   Bytes reach the array through ReadIntoArray (javaio.h): every count the host gives
   is checked against what was asked before it is used, since an answer outside that
   range would write past the buffer or go backwards. Such an answer, like -1, is a read
   error, never the end of the file: a caller that took it for the end would keep a
   truncated copy without knowing. A read stops at the first short answer, so standard
   input gives each line as it comes instead of waiting for the whole length. */
#include "javaio.h"
#include "registration.h"
#include "vmclass.h"
#include "vmarray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"

using namespace javaio;

namespace {

/* D1 to D4: the table and the open handle; NULL with an exception pending. */
JNIHostFileSystem* OpenHandle(JNIEnv* env, jobject self, jint* handle) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return NULL;
  jobject descriptor = StreamDescriptor(env, self, FieldFileInputStreamFd(env), handle);
  if (descriptor == 0) return NULL;
  env->functions->DeleteLocalRef(env, descriptor);
  if (*handle < 0) {
    JavaIo_ThrowIOException(env, kFileClosed);
    return NULL;
  }
  return fs;
}

}  // namespace

extern "C" {

/* A failed open stores the closed value all the same, so the stream reads as closed. */
void JNICALL JavaIoFileInputStream_open(JNIEnv* env, jobject self, jstring path) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jobject descriptor = Descriptor(env, self, FieldFileInputStreamFd(env));
  if (descriptor == 0) return;
  char* name = PathCopy(env, path, kMissingName);
  if (name == NULL) {
    env->functions->DeleteLocalRef(env, descriptor);
    return;
  }
  fs->CheckPath(name);
  jint handle = fs->OpenRead(name);
  if (!UsableFileHandle(env, fs, handle)) {
    JavaIo_ThrowIOException(env, kCannotOpen);
    handle = -1;
  }
  StoreHandle(env, descriptor, handle);
  VMJavaLangString::FreeUTF8(name);
  env->functions->DeleteLocalRef(env, descriptor);
}

jint JNICALL JavaIoFileInputStream_read(JNIEnv* env, jobject self) {
  jint handle;
  JNIHostFileSystem* fs = OpenHandle(env, self, &handle);
  if (fs == NULL) return -1;
  unsigned char byte = 0;
  jint n = BlockingRead(env, fs, handle, &byte, 1);
  if (n == 1) return byte;
  if (n == 0) return -1;
  JavaIo_ThrowIOException(env, kReadError);
  return -1;
}

jint JNICALL JavaIoFileInputStream_readBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  jint handle;
  JNIHostFileSystem* fs = OpenHandle(env, self, &handle);
  if (fs == NULL) return -1;
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, "");
    return -1;
  }
  if (!RangeFits(off, len, array->GetSize())) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, "");
    return -1;
  }
  if (len == 0) return 0;
  jint n = ReadIntoArray(env, fs, handle, b, off, len);
  return n == 0 ? -1 : n;
}

/* The whole count goes to the host where it takes 64 bits; otherwise what a signed word
   holds, never the low 32 bits (2^32 + 5 would skip 5, 2^31 would go backwards). */
jlong JNICALL JavaIoFileInputStream_skip(JNIEnv* env, jobject self, jlong n) {
  jint handle;
  JNIHostFileSystem* fs = OpenHandle(env, self, &handle);
  if (fs == NULL) return 0;
  if (n < 0) {
    JavaIo_ThrowIOException(env, "cannot skip backwards");
    return 0;
  }
  BlockingBegin(env);
  jlong skipped = Skip(fs, handle, n);
  BlockingEnd(env);
  if (skipped < 0 || skipped > n) {
    JavaIo_ThrowIOException(env, "");
    return 0;
  }
  return skipped;
}

jint JNICALL JavaIoFileInputStream_available(JNIEnv* env, jobject self) {
  jint handle;
  JNIHostFileSystem* fs = OpenHandle(env, self, &handle);
  if (fs == NULL) return 0;
  jint n = fs->Available(handle);
  if (n < 0) {
    JavaIo_ThrowIOException(env, "");
    return 0;
  }
  return n;
}

void JNICALL JavaIoFileInputStream_close(JNIEnv* env, jobject self) { CloseStream(env, self, FieldFileInputStreamFd(env)); }

void JNICALL JavaIoFileInputStream_initIDs(JNIEnv*, jclass) {}

}  // extern "C"

namespace {

const JNINativeMethod kFileInputStreamNatives[] = {
    PUX_NATIVE("open", "(Ljava/lang/String;)V", JavaIoFileInputStream_open),
    PUX_NATIVE("read", "()I", JavaIoFileInputStream_read),
    PUX_NATIVE("readBytes", "([BII)I", JavaIoFileInputStream_readBytes),
    PUX_NATIVE("skip", "(J)J", JavaIoFileInputStream_skip),
    PUX_NATIVE("available", "()I", JavaIoFileInputStream_available),
    PUX_NATIVE("close", "()V", JavaIoFileInputStream_close),
    PUX_NATIVE("initIDs", "()V", JavaIoFileInputStream_initIDs),
};

}  // namespace

extern "C" void Register_java_io_FileInputStream(void) {
  JNI_RegisterNative("java/io/FileInputStream", kFileInputStreamNatives, PUX_ROWS(kFileInputStreamNatives));
}
