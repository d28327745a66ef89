/* java.io.RandomAccessFile: reading and writing a file at the places seek sets, through
   the host's file table.

   Ranges are checked against the array before any byte moves, and transfers go through
   ReadIntoArray and WriteFromArray with every host count checked, as the stream natives
   do. A failure is never quiet: a read error is not the end of the file, a
   refused or short write is not success, and a seek the host cannot make, or one to a
   negative place, throws before the next write could land at the old position. */
#include "javaio.h"
#include "registration.h"
#include "vmclass.h"
#include "vmarray.h"
#include "vmjavalangstring.h"
#include "vmjni.h"

using namespace javaio;

namespace {

/* The open handle of the file, or -1 with IOException "" pending for a missing or
   closed descriptor (in place of the missing descriptor's NullPointerException). */
jint FileHandle(JNIEnv* env, jobject self) {
  jint handle = -1;
  jobject descriptor = StreamDescriptor(env, self, FieldRandomAccessFileFd(env), &handle);
  if (descriptor != 0) env->functions->DeleteLocalRef(env, descriptor);
  if (descriptor == 0 || handle < 0) {
    JavaIo_ThrowIOException(env, "");
    return -1;
  }
  return handle;
}

}  // namespace

extern "C" {

/* "rw" opens without truncation and then seeks to 0, so reading starts at the front and
   nothing the file held is lost, wherever the host left its pointer. A failed open
   leaves the descriptor as it was. */
void JNICALL JavaIoRandomAccessFile_open(JNIEnv* env, jobject self, jstring path, jboolean writeable) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jobject descriptor = Descriptor(env, self, FieldRandomAccessFileFd(env));
  if (descriptor == 0) return;
  char* name = PathCopy(env, path, NULL);
  if (name == NULL) {
    env->functions->DeleteLocalRef(env, descriptor);
    return;
  }
  fs->CheckPath(name);
  jint handle = (writeable & 0xFF) != 0 ? fs->OpenWrite(name, 0) : fs->OpenRead(name);
  VMJavaLangString::FreeUTF8(name);
  bool opened = UsableFileHandle(env, fs, handle);
  if (opened && (writeable & 0xFF) != 0 && Seek(fs, handle, 0) != 0) {
    fs->Close(handle);
    opened = false;
  }
  if (opened) {
    StoreHandle(env, descriptor, handle);
  } else {
    JavaIo_ThrowIOException(env, "");
  }
  env->functions->DeleteLocalRef(env, descriptor);
}

jint JNICALL JavaIoRandomAccessFile_read(JNIEnv* env, jobject self) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return -1;
  jint handle = FileHandle(env, self);
  if (handle < 0) return 0;
  unsigned char byte = 0;
  jint n = BlockingRead(env, fs, handle, &byte, 1);
  if (n == 1) return byte;
  if (n == 0) return -1;
  JavaIo_ThrowIOException(env, kReadError);
  return -1;
}

/* len below 1 reads nothing and looks at nothing else, as before. */
jint JNICALL JavaIoRandomAccessFile_readBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  if (len < 1) return 0;
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  if (!RangeFits(off, len, array->GetSize())) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, "");
    return 0;
  }
  jint handle = FileHandle(env, self);
  if (handle < 0) return 0;
  jint n = ReadIntoArray(env, fs, handle, b, off, len);
  if (n < 0) return 0;
  return n == 0 ? -1 : n;
}

void JNICALL JavaIoRandomAccessFile_write(JNIEnv* env, jobject self, jint b) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jint handle = FileHandle(env, self);
  if (handle < 0) return;
  unsigned char byte = (unsigned char)b;
  if (BlockingWrite(env, fs, handle, &byte, 1) != 1) JavaIo_ThrowIOException(env, kWriteError);
}

/* A null array is refused whatever len is; len 0 or less writes nothing. */
void JNICALL JavaIoRandomAccessFile_writeBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  jint handle = FileHandle(env, self);
  if (handle < 0 || len <= 0) return;
  if (!RangeFits(off, len, array->GetSize())) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, "");
    return;
  }
  WriteFromArray(env, fs, handle, b, off, len);
}

/* A position or length the host cannot give is an IOException, never -1 handed on as if
   it were one. */
jlong JNICALL JavaIoRandomAccessFile_getFilePointer(JNIEnv* env, jobject self) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  jint handle = FileHandle(env, self);
  if (handle < 0) return 0;
  jlong position = FilePointer(fs, handle);
  if (position < 0) {
    JavaIo_ThrowIOException(env, "");
    return 0;
  }
  return position;
}

void JNICALL JavaIoRandomAccessFile_seek(JNIEnv* env, jobject self, jlong pos) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jint handle = FileHandle(env, self);
  if (handle < 0) return;
  if (pos < 0) {
    JavaIo_ThrowIOException(env, "Negative seek offset");
    return;
  }
  if (Seek(fs, handle, pos) != pos) JavaIo_ThrowIOException(env, "");
}

jlong JNICALL JavaIoRandomAccessFile_length(JNIEnv* env, jobject self) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return 0;
  jint handle = FileHandle(env, self);
  if (handle < 0) return 0;
  jlong length = Length(fs, handle);
  if (length < 0) {
    JavaIo_ThrowIOException(env, "");
    return 0;
  }
  return length;
}

void JNICALL JavaIoRandomAccessFile_close(JNIEnv* env, jobject self) { CloseStream(env, self, FieldRandomAccessFileFd(env)); }

void JNICALL JavaIoRandomAccessFile_initIDs(JNIEnv*, jclass) {}

}  // extern "C"

namespace {

const JNINativeMethod kRandomAccessFileNatives[] = {
    PUX_NATIVE("open", "(Ljava/lang/String;Z)V", JavaIoRandomAccessFile_open),
    PUX_NATIVE("read", "()I", JavaIoRandomAccessFile_read),
    PUX_NATIVE("readBytes", "([BII)I", JavaIoRandomAccessFile_readBytes),
    PUX_NATIVE("write", "(I)V", JavaIoRandomAccessFile_write),
    PUX_NATIVE("writeBytes", "([BII)V", JavaIoRandomAccessFile_writeBytes),
    PUX_NATIVE("getFilePointer", "()J", JavaIoRandomAccessFile_getFilePointer),
    PUX_NATIVE("seek", "(J)V", JavaIoRandomAccessFile_seek),
    PUX_NATIVE("length", "()J", JavaIoRandomAccessFile_length),
    PUX_NATIVE("close", "()V", JavaIoRandomAccessFile_close),
    PUX_NATIVE("initIDs", "()V", JavaIoRandomAccessFile_initIDs),
};

}  // namespace

extern "C" void Register_java_io_RandomAccessFile(void) {
  JNI_RegisterNative("java/io/RandomAccessFile", kRandomAccessFileNatives, PUX_ROWS(kRandomAccessFileNatives));
}
