/* What the java.io natives share: the file gate, the IOException thrower, the coding of
   FileDescriptor.fd and the steps that take a stream's descriptor apart.

   The file table is asked for anew on every native call and that one answer is used for
   the whole call: the host may grant or withdraw file access between two calls, never
   within one. No lock is held around a host call. */
#ifndef PUX_JAVAIO_H
#define PUX_JAVAIO_H

#include "jnihost.h"
#include "vmforward.h"

/* Makes IOException with the message pending. When the class cannot be had, the
   failure's own exception stays pending (OutOfMemoryError when there is none). */
void JavaIo_ThrowIOException(JNIEnv* env, const char* message);

namespace javaio {

/* The fixed messages. */
extern const char* const kNotEnabled;   /* "File I/O NOT Enabled" */
extern const char* const kCannotOpen;   /* "Cannot open file" */
extern const char* const kWriteError;   /* "write error" */
extern const char* const kMissingFd;    /* "missing FileDescriptor" */
extern const char* const kMissingName;  /* "missing File Name" */

/* The host's file table as it is now; NULL while file access is refused. */
JNIHostFileSystem* FileSystem();
/* The gate: the table, or NULL with IOException "File I/O NOT Enabled" pending. */
JNIHostFileSystem* Gate(JNIEnv* env);

/* Throws an exception of a class named in slash form, found as IOException is. */
void ThrowByName(JNIEnv* env, const char* className, const char* message);

/* ---- FileDescriptor.fd ----
   Below class-library version 2 the field holds handle + 1 and anything <= 0 is closed;
   from version 2 on it holds the handle and anything negative is closed. Every closed
   value decodes to -1, so callers and the host only ever see -1 or a real handle. */
bool OldCoding(JNIEnv* env);
jint DecodeHandle(JNIEnv* env, jint fd);
/* The field value for a handle; the closed value for -1, any negative handle, and a
   handle the coding cannot hold (0x7FFFFFFF under the old coding). */
jint EncodeHandle(JNIEnv* env, jint handle);
bool Encodable(JNIEnv* env, jint handle);
jint ClosedValue(JNIEnv* env);

/* ---- member ids from the natives' cache ----
   Never 0 without an exception pending: a missing id leaves the look-up's error, or
   InternalError "missing field ID" when the look-up left none. */
jfieldID FieldFileDescriptorFd(JNIEnv* env);
jfieldID FieldFileOutputStreamFd(JNIEnv* env);

/* ---- the descriptor steps of the stream natives ---- */

/* The stream's FileDescriptor (a local reference), read through the stream's fd field;
   0 with NullPointerException "missing FileDescriptor" (or the id's error) pending. */
jobject Descriptor(JNIEnv* env, jobject stream, jfieldID streamFd);
/* The decoded handle of a descriptor: false with an exception pending when the field
   cannot be read. */
bool ReadHandle(JNIEnv* env, jobject descriptor, jint* handle);
/* Stores a handle by the coding in force; false with an exception pending. */
bool StoreHandle(JNIEnv* env, jobject descriptor, jint handle);

/* A String argument; NULL for null and for anything that is not a String. */
VMJavaLangString* StringOf(JNIEnv* env, jobject string);
/* A byte[] argument; NULL for null and for anything that is not a byte array. */
VMArray* ByteArrayOf(JNIEnv* env, jobject array);
/* off and len name elements inside an array of count elements (a true sum). */
inline bool RangeFits(jint off, jint len, uint32_t count) {
  return off >= 0 && len >= 0 && (uint64_t)(uint32_t)off + (uint32_t)len <= count;
}

}  // namespace javaio

/* ---- the natives, for the tests that call them directly ---- */
extern "C" {
jboolean JNICALL JavaIoFileDescriptor_valid(JNIEnv* env, jobject self);
void JNICALL JavaIoFileDescriptor_sync(JNIEnv* env, jobject self);
jobject JNICALL JavaIoFileDescriptor_initSystemFD(JNIEnv* env, jclass cls, jobject fdObject, jint desc);
void JNICALL JavaIoFileDescriptor_initIDs(JNIEnv* env, jclass cls);

void JNICALL JavaIoFileOutputStream_open(JNIEnv* env, jobject self, jstring path);
void JNICALL JavaIoFileOutputStream_openAppend(JNIEnv* env, jobject self, jstring path);
void JNICALL JavaIoFileOutputStream_write(JNIEnv* env, jobject self, jint b);
void JNICALL JavaIoFileOutputStream_writeBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
void JNICALL JavaIoFileOutputStream_close(JNIEnv* env, jobject self);
void JNICALL JavaIoFileOutputStream_initIDs(JNIEnv* env, jclass cls);

void JNICALL JavaIoPrintStream_flush(JNIEnv* env, jobject self);
void JNICALL JavaIoPrintStream_writeInt(JNIEnv* env, jobject self, jint b);
void JNICALL JavaIoPrintStream_writeBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
void JNICALL JavaIoPrintStream_writeChars(JNIEnv* env, jobject self, jcharArray chars);
void JNICALL JavaIoPrintStream_writeString(JNIEnv* env, jobject self, jstring text);
void JNICALL JavaIoPrintStream_newLine(JNIEnv* env, jobject self);
}

/* Opens the stream's file for writing: truncate 1 starts it empty, 0 keeps the contents
   and writes after them. */
void JavaIoFileOutputStream_Open(JNIEnv* env, jobject self, jstring path, jboolean truncate);
/* Whether the stream is System.err now; 0 when that cannot be told. */
jboolean JavaIoPrintStream_IsStdErr(JNIEnv* env, jobject self);
/* Deletes the file or empty directory a java.io.File names: false when there is none,
   when it cannot be deleted, and (without an exception) when file access is refused. */
jboolean JavaIoFileSystem_Delete(JNIEnv* env, jobject file);

#endif
