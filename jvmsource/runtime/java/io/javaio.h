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
extern const char* const kFileClosed;   /* "File Closed" */
extern const char* const kReadError;    /* "Read error" */

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
jfieldID FieldFileInputStreamFd(JNIEnv* env);
jfieldID FieldRandomAccessFileFd(JNIEnv* env);
jfieldID FieldFilePath(JNIEnv* env);

/* ---- sizes and positions, 64-bit where the host has the slots ----
   Each answers -1 on failure. Without the 64-bit slots the 32-bit ones serve: a skip is
   cut to what a signed word holds (a skip may skip less than asked), and a seek beyond
   that range fails rather than land on its low 32 bits. */
jlong PathLength(JNIHostFileSystem* fs, const char* path);
jlong Skip(JNIHostFileSystem* fs, jint handle, jlong count);
jlong FilePointer(JNIHostFileSystem* fs, jint handle);
jlong Seek(JNIHostFileSystem* fs, jint handle, jlong position);
jlong Length(JNIHostFileSystem* fs, jint handle);

/* ---- the descriptor steps of the stream natives ---- */

/* The stream's FileDescriptor (a local reference), read through the stream's fd field;
   0 with NullPointerException "missing FileDescriptor" (or the id's error) pending. */
jobject Descriptor(JNIEnv* env, jobject stream, jfieldID streamFd);
/* The decoded handle of a descriptor: false with an exception pending when the field
   cannot be read. */
bool ReadHandle(JNIEnv* env, jobject descriptor, jint* handle);
/* Stores a handle by the coding in force; false with an exception pending. */
bool StoreHandle(JNIEnv* env, jobject descriptor, jint handle);
/* D2 and D3 together: the descriptor (a local reference the caller deletes) and its
   decoded handle; 0 with an exception pending. */
jobject StreamDescriptor(JNIEnv* env, jobject stream, jfieldID streamFd, jint* handle);
/* The close of every file stream: the host closes the handle and the descriptor reads as
   closed. Closing a standard handle closes only this side: the host keeps the process's
   own descriptor open. */
void CloseStream(JNIEnv* env, jobject stream, jfieldID streamFd);
/* A handle a file open may keep: not a standard one (its bytes would reach the console
   or come from it) and one the coding can hold. Anything else the host gave is closed. */
bool UsableFileHandle(JNIEnv* env, JNIHostFileSystem* fs, jint handle);

/* ---- transfers between a file and a byte array ----
   off and len must already lie inside the array. The bytes pass through a buffer of
   kTransferChunk bytes on the stack (for the one read of a pipe, up to kStreamChunk of
   process memory, or a chunk through the stack when none can be had), one host
   call per chunk (not one per 256-byte piece of the array), and never through the
   array's storage: a host call may outlast the machine (see below). Every host count is
   checked against what was asked before any byte is moved by it. */
const uint32_t kTransferChunk = 8192;
/* What one read of a handle without a position takes at most: what a pipe holds unless
   its owner made it larger. */
const uint32_t kStreamChunk = 65536;
/* Reads until len bytes have come, the file ends, or the host gives fewer than asked
   (a console or pipe gives what it has, and the caller is not made to wait for more). A
   handle the host knows no position of (a console, a pipe) is read by one host call of
   up to kStreamChunk bytes, which answers what it holds, as the system's read does.
   The count read, 0 at the end of the file; -1 with IOException "Read error" pending
   for an answer outside 0..asked (the bytes stored before it stay). */
jint ReadIntoArray(JNIEnv* env, JNIHostFileSystem* fs, jint handle, jobject array, jint off, jint len);
/* Writes all len bytes; false with IOException "write error" pending when the host
   answers outside 1..asked. */
bool WriteFromArray(JNIEnv* env, JNIHostFileSystem* fs, jint handle, jobject array, jint off, jint len);
/* Writes all len bytes to the host's console (standard error when toStderr), which
   reports nothing back. */
void WriteConsoleFromArray(JNIEnv* env, bool toStderr, jobject array, jint off, jint len);

/* ---- host calls that may block ----
   A read of the console or a pipe waits for whoever writes there, for ever if need be,
   and a write to a full pipe waits for its reader: the host call runs between these two,
   a host wait of the machine (VM::EnterHostWait), where the thread counts as stopped for
   a collection. The call is given only memory of the thread's own stack or process
   memory the thread alone holds, never the machine's heap; every object
   is read again through its reference afterwards. Leaving waits for a collection that
   began; a machine that ended meanwhile never sees the thread again (BlockingEnd reads
   the env only once it knows the thread was not let go: the env is gone then). The host
   may move the machine during the call: nothing of it is held across. */
void BlockingBegin(JNIEnv* env);
void BlockingEnd(JNIEnv* env);
jint BlockingRead(JNIEnv* env, JNIHostFileSystem* fs, jint handle, void* to, jint count);
jint BlockingWrite(JNIEnv* env, JNIHostFileSystem* fs, jint handle, const void* from, jint count);

/* The path's modified UTF-8 copy for the host (free it with FreeUTF8); NULL with
   NullPointerException (the message, or none for NULL) for a null path, or with
   OutOfMemoryError when no copy can be made. */
char* PathCopy(JNIEnv* env, jstring path, const char* nullMessage);

/* SHA-1, of which a class's default serial version in the object streams is made. */
class Sha1 {
 public:
  Sha1() { Reset(); }
  void Write(const uint8_t* bytes, uint32_t count);
  /* The 20 bytes of the digest of everything written since the last one; then afresh. */
  void Digest(uint8_t out[20]);

 private:
  void Reset();
  void Compress();
  uint32_t state_[5];
  uint8_t block_[64];
  uint32_t filled_;
  uint64_t length_;
};

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

void JNICALL JavaIoFileInputStream_open(JNIEnv* env, jobject self, jstring path);
jint JNICALL JavaIoFileInputStream_read(JNIEnv* env, jobject self);
jint JNICALL JavaIoFileInputStream_readBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
jlong JNICALL JavaIoFileInputStream_skip(JNIEnv* env, jobject self, jlong n);
jint JNICALL JavaIoFileInputStream_available(JNIEnv* env, jobject self);
void JNICALL JavaIoFileInputStream_close(JNIEnv* env, jobject self);
void JNICALL JavaIoFileInputStream_initIDs(JNIEnv* env, jclass cls);

void JNICALL JavaIoRandomAccessFile_open(JNIEnv* env, jobject self, jstring path, jboolean writeable);
jint JNICALL JavaIoRandomAccessFile_read(JNIEnv* env, jobject self);
jint JNICALL JavaIoRandomAccessFile_readBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
void JNICALL JavaIoRandomAccessFile_write(JNIEnv* env, jobject self, jint b);
void JNICALL JavaIoRandomAccessFile_writeBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len);
jlong JNICALL JavaIoRandomAccessFile_getFilePointer(JNIEnv* env, jobject self);
void JNICALL JavaIoRandomAccessFile_seek(JNIEnv* env, jobject self, jlong pos);
jlong JNICALL JavaIoRandomAccessFile_length(JNIEnv* env, jobject self);
void JNICALL JavaIoRandomAccessFile_close(JNIEnv* env, jobject self);
void JNICALL JavaIoRandomAccessFile_initIDs(JNIEnv* env, jclass cls);

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
/* ---- the file-system workers ----
   Each passes the file gate (IOException "File I/O NOT Enabled" and the failure value
   without a table) and takes its File or path argument apart before any host call. */

/* The File's path as a modified UTF-8 copy (free it with VMJavaLangString::FreeUTF8);
   NULL with NullPointerException for a null File, something that is no File, or a File
   whose path is null, or with OutOfMemoryError when no copy can be made. */
char* JavaIoFile_PathUTF8(JNIEnv* env, jobject file);

/* A one-path boolean query of the host (CheckPath first). quietGate: without a table
   the answer is false with no exception (File.exists). */
typedef jboolean (HOSTCALL* JavaIoPathQuery)(const char*);
jboolean JavaIoFileSystem_Query(JNIEnv* env, jobject file, JavaIoPathQuery JNIHostFileSystem::*slot, bool quietGate);

jboolean JavaIoFileSystem_CreateDirectory(JNIEnv* env, jobject file);
jlong JavaIoFileSystem_GetLastModifiedTime(JNIEnv* env, jobject file);
jlong JavaIoFileSystem_GetLength(JNIEnv* env, jobject file);
jboolean JavaIoFileSystem_SetLastModifiedTime(JNIEnv* env, jobject file, jlong milliseconds);
jboolean JavaIoFileSystem_SetReadOnly(JNIEnv* env, jobject file);
jboolean JavaIoFileSystem_CheckAccess(JNIEnv* env, jobject file, jboolean write);
/* IOException "java_io_File_canonPath" when the host has no canonical form. */
jstring JavaIoFileSystem_Canonicalize(JNIEnv* env, jstring path);
jboolean JavaIoFileSystem_CreateFileExclusively(JNIEnv* env, jstring path);
/* Deletes the file or empty directory a File names: false when there is none or it
   cannot be deleted. */
jboolean JavaIoFileSystem_Delete(JNIEnv* env, jobject file);
/* Registers the File's present path for deletion when the machine ends: false for a
   missing file; true (once per path) otherwise. */
jboolean JavaIoFileSystem_DeleteOnExit(JNIEnv* env, jobject file);
jint JavaIoFileSystem_GetBooleanAttributes(JNIEnv* env, jobject file);
jstring JavaIoFileSystem_GetDriveDirectory(JNIEnv* env, jint drive);
/* The names of a directory but "." and ".."; null without an exception when the host
   cannot list it; null with OutOfMemoryError when the array cannot be made. */
jobjectArray JavaIoFileSystem_List(JNIEnv* env, jobject file);
jint JavaIoFileSystem_ListRoots(JNIEnv* env);
jboolean JavaIoFileSystem_Rename(JNIEnv* env, jobject from, jobject to);
/* A new object of the named class made by its "()V" constructor; null when the class or
   the constructor is missing. */
jobject JavaIo_NewObjectByName(JNIEnv* env, const char* className);
/* The machine's shutdown pass over its delete-on-exit list. */
void JavaIoFileSystem_DeleteAtExit(JNIEnv* env, VM* vm);

#endif
