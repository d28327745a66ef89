/* java.io.FileOutputStream: files through the host's file table, and the console path
   that lets System.out and System.err print without file access. */
#include "javaio.h"
#include "registration.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjni.h"
#include "vmutils.h"

using namespace javaio;

namespace {

/* The stream's descriptor and its decoded handle (D2, D3); 0 with an exception pending. */
jobject OwnDescriptor(JNIEnv* env, jobject self, jint* handle) {
  return StreamDescriptor(env, self, FieldFileOutputStreamFd(env), handle);
}

}  // namespace

/* A failed open still stores the closed value, so the stream reads as closed in both
   codings. A handle the host should never give a file (a standard one, or one the
   coding cannot hold) counts as a failed open. */
void JavaIoFileOutputStream_Open(JNIEnv* env, jobject self, jstring path, jboolean truncate) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jobject descriptor = Descriptor(env, self, FieldFileOutputStreamFd(env));
  if (descriptor == 0) return;
  char* name = PathCopy(env, path, kMissingName);
  if (name == NULL) {
    env->functions->DeleteLocalRef(env, descriptor);
    return;
  }
  fs->CheckPath(name);
  jint handle = fs->OpenWrite(name, truncate ? 1 : 0);
  if (!UsableFileHandle(env, fs, handle)) {
    JavaIo_ThrowIOException(env, kCannotOpen);
    handle = -1;
  }
  /* The store goes ahead under the pending exception: it only writes a field. */
  StoreHandle(env, descriptor, handle);
  VMJavaLangString::FreeUTF8(name);
  env->functions->DeleteLocalRef(env, descriptor);
}

extern "C" {

void JNICALL JavaIoFileOutputStream_open(JNIEnv* env, jobject self, jstring path) {
  if (Gate(env) == NULL) return;
  JavaIoFileOutputStream_Open(env, self, path, 1);
}

void JNICALL JavaIoFileOutputStream_openAppend(JNIEnv* env, jobject self, jstring path) {
  if (Gate(env) == NULL) return;
  JavaIoFileOutputStream_Open(env, self, path, 0);
}

/* No console path and no closed test: a closed stream hands -1 to the host, whose
   refusal is the "write error". */
void JNICALL JavaIoFileOutputStream_write(JNIEnv* env, jobject self, jint b) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jint handle;
  jobject descriptor = OwnDescriptor(env, self, &handle);
  if (descriptor == 0) return;
  env->functions->DeleteLocalRef(env, descriptor);
  unsigned char byte = (unsigned char)b;
  if (BlockingWrite(env, fs, handle, &byte, 1) != 1) JavaIo_ThrowIOException(env, kWriteError);
}

/* The console takes the bytes a chunk at a time (WriteConsoleFromArray); a file takes
   them through WriteFromArray, where a host count outside 1..asked would send bytes twice or
   reach past the buffer: it ends the call with "write error", as -1 does. */
void JNICALL JavaIoFileOutputStream_writeBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  jint handle;
  jobject descriptor = OwnDescriptor(env, self, &handle);
  if (descriptor == 0) return;
  env->functions->DeleteLocalRef(env, descriptor);
  bool console = handle == 1 || handle == 2;
  JNIHostFileSystem* fs = FileSystem();
  if (fs == NULL && !console) {
    JavaIo_ThrowIOException(env, kNotEnabled);
    return;
  }
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, "");
    return;
  }
  if (!RangeFits(off, len, array->GetSize())) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, "");
    return;
  }
  if (console) {
    WriteConsoleFromArray(env, handle == 2, b, off, len);
    return;
  }
  WriteFromArray(env, fs, handle, b, off, len);
}

void JNICALL JavaIoFileOutputStream_close(JNIEnv* env, jobject self) { CloseStream(env, self, FieldFileOutputStreamFd(env)); }

void JNICALL JavaIoFileOutputStream_initIDs(JNIEnv*, jclass) {}

}  // extern "C"

namespace {

const JNINativeMethod kFileOutputStreamNatives[] = {
    PUX_NATIVE("open", "(Ljava/lang/String;)V", JavaIoFileOutputStream_open),
    PUX_NATIVE("openAppend", "(Ljava/lang/String;)V", JavaIoFileOutputStream_openAppend),
    PUX_NATIVE("write", "(I)V", JavaIoFileOutputStream_write),
    PUX_NATIVE("writeBytes", "([BII)V", JavaIoFileOutputStream_writeBytes),
    PUX_NATIVE("close", "()V", JavaIoFileOutputStream_close),
    PUX_NATIVE("initIDs", "()V", JavaIoFileOutputStream_initIDs),
};

}  // namespace

extern "C" void Register_java_io_FileOutputStream(void) {
  JNI_RegisterNative("java/io/FileOutputStream", kFileOutputStreamNatives, PUX_ROWS(kFileOutputStreamNatives));
}
