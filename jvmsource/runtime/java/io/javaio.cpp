#include "javaio.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace javaio {

const char* const kNotEnabled = "File I/O NOT Enabled";
const char* const kCannotOpen = "Cannot open file";
const char* const kWriteError = "write error";
const char* const kMissingFd = "missing FileDescriptor";
const char* const kMissingName = "missing File Name";
const char* const kFileClosed = "File Closed";
const char* const kReadError = "Read error";

namespace {

VMNameSpace* NameSpaceOf(JNIEnv* env) { return env->javaVM->nameSpace; }

bool Pending(JNIEnv* env) { return env->thread->GetException() != NULL; }

/* A member id that could not be had leaves an error behind in every case. */
jfieldID Checked(JNIEnv* env, jfieldID id) {
  if (id == 0 && !Pending(env)) VMJniThrowInternal(env, VMStatus_InternalError, "missing field ID");
  return id;
}

}  // namespace

JNIHostFileSystem* FileSystem() {
  JNIHostFunctions* host = VMUtils::RuntimeGetHostFunctions();
  return host->GetFileSystem();
}

JNIHostFileSystem* Gate(JNIEnv* env) {
  JNIHostFileSystem* fs = FileSystem();
  if (fs == NULL) JavaIo_ThrowIOException(env, kNotEnabled);
  return fs;
}

/* The class is looked up by name as the natives' cache would, initialised, and thrown
   with ThrowNew; no monitor is held meanwhile (the look-up may run a static initialiser). */
void ThrowByName(JNIEnv* env, const char* className, const char* message) {
  VMNameSpace* ns = NameSpaceOf(env);
  VMLiteral* name = VMLiteral::CreateInstance(ns, className, 0xFFFFFFFFu);
  VMLoadableClass* cls = name != NULL ? VMLoadableClass::FindInitialized(env, name, NULL) : NULL;
  if (cls == NULL) {
    /* ThrowNew with no class is a crash: keep the failure's own exception instead. */
    if (!Pending(env)) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return;
  }
  jclass local = (jclass)VMJniHandle::NewLocal(env, (VMObject*)cls);
  if (local == 0) return; /* OutOfMemoryError pending */
  env->functions->ThrowNew(env, local, message);
  env->functions->DeleteLocalRef(env, local);
}

bool OldCoding(JNIEnv* env) { return NameSpaceOf(env)->GetLibraryVersion() < 2; }

/* In unsigned arithmetic: INT_MIN - 1 is no value of a signed word. */
jint DecodeHandle(JNIEnv* env, jint fd) {
  if (OldCoding(env)) return fd <= 0 ? -1 : (jint)((uint32_t)fd - 1u);
  return fd < 0 ? -1 : fd;
}

bool Encodable(JNIEnv* env, jint handle) { return handle >= 0 && (!OldCoding(env) || handle < 0x7FFFFFFF); }

jint ClosedValue(JNIEnv* env) { return OldCoding(env) ? 0 : -1; }

jint EncodeHandle(JNIEnv* env, jint handle) {
  if (!Encodable(env, handle)) return ClosedValue(env);
  return OldCoding(env) ? handle + 1 : handle;
}

jfieldID FieldFileDescriptorFd(JNIEnv* env) {
  return Checked(env, NameSpaceOf(env)->GetJNIUtils()->GetFieldFileDescriptor_fd(env));
}

jfieldID FieldFileOutputStreamFd(JNIEnv* env) {
  return Checked(env, NameSpaceOf(env)->GetJNIUtils()->GetFieldFileOutputStream_fd(env));
}

jfieldID FieldFileInputStreamFd(JNIEnv* env) {
  return Checked(env, NameSpaceOf(env)->GetJNIUtils()->GetFieldFileInputStream_fd(env));
}

jfieldID FieldRandomAccessFileFd(JNIEnv* env) {
  return Checked(env, NameSpaceOf(env)->GetJNIUtils()->GetFieldRandomAccessFile_fd(env));
}

jfieldID FieldFilePath(JNIEnv* env) {
  return Checked(env, NameSpaceOf(env)->GetJNIUtils()->GetFieldFile_path(env));
}

jlong PathLength(JNIHostFileSystem* fs, const char* path) {
  if (fs->PathLength64 != NULL) return fs->PathLength64(path);
  return fs->PathLength(path);
}

jlong Skip(JNIHostFileSystem* fs, jint handle, jlong count) {
  if (fs->Skip64 != NULL) return fs->Skip64(handle, count);
  return fs->Skip(handle, count > 0x7FFFFFFF ? 0x7FFFFFFF : (jint)count);
}

/* Every read of more than a chunk asks it: a table without either slot (which reads once
   did without) answers as a pipe does, instead of being called through null. */
jlong FilePointer(JNIHostFileSystem* fs, jint handle) {
  if (fs->GetFilePointer64 != NULL) return fs->GetFilePointer64(handle);
  if (fs->GetFilePointer == NULL) return -1;
  return fs->GetFilePointer(handle);
}

jlong Seek(JNIHostFileSystem* fs, jint handle, jlong position) {
  if (fs->Seek64 != NULL) return fs->Seek64(handle, position);
  if (position < 0 || position > 0x7FFFFFFF) return -1;
  return fs->Seek(handle, (jint)position);
}

jlong Length(JNIHostFileSystem* fs, jint handle) {
  if (fs->Length64 != NULL) return fs->Length64(handle);
  return fs->Length(handle);
}

jobject Descriptor(JNIEnv* env, jobject stream, jfieldID streamFd) {
  if (streamFd == 0) return 0;
  if (VMJniHandle::UnHandle(env, stream) == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  jobject descriptor = env->functions->GetObjectField(env, stream, streamFd);
  if (VMJniHandle::UnHandle(env, descriptor) == NULL) {
    if (descriptor != 0) env->functions->DeleteLocalRef(env, descriptor);
    VMJniThrowInternal(env, VMStatus_NullPointerException, kMissingFd);
    return 0;
  }
  return descriptor;
}

bool ReadHandle(JNIEnv* env, jobject descriptor, jint* handle) {
  jfieldID fd = FieldFileDescriptorFd(env);
  if (fd == 0) return false;
  *handle = DecodeHandle(env, env->functions->GetIntField(env, descriptor, fd));
  return true;
}

bool StoreHandle(JNIEnv* env, jobject descriptor, jint handle) {
  jfieldID fd = FieldFileDescriptorFd(env);
  if (fd == 0) return false;
  env->functions->SetIntField(env, descriptor, fd, EncodeHandle(env, handle));
  return true;
}

jobject StreamDescriptor(JNIEnv* env, jobject stream, jfieldID streamFd, jint* handle) {
  jobject descriptor = Descriptor(env, stream, streamFd);
  if (descriptor == 0) return 0;
  if (!ReadHandle(env, descriptor, handle)) {
    env->functions->DeleteLocalRef(env, descriptor);
    return 0;
  }
  return descriptor;
}

void CloseStream(JNIEnv* env, jobject stream, jfieldID streamFd) {
  JNIHostFileSystem* fs = Gate(env);
  if (fs == NULL) return;
  jint handle;
  jobject descriptor = StreamDescriptor(env, stream, streamFd, &handle);
  if (descriptor == 0) return;
  if (handle >= 0) {
    fs->Close(handle);
    StoreHandle(env, descriptor, -1);
  }
  env->functions->DeleteLocalRef(env, descriptor);
}

bool UsableFileHandle(JNIEnv* env, JNIHostFileSystem* fs, jint handle) {
  if (handle < 0) return false;
  if (handle > 2 && Encodable(env, handle)) return true;
  fs->Close(handle);
  return false;
}

namespace {

/* Copies between a buffer and elements off.. of the array, run by run. */
void Scatter(VMArray* array, uint32_t off, const char* from, uint32_t count) {
  while (count > 0) {
    uint32_t run;
    char* to = (char*)array->FindElement(off, &run);
    if (run > count) run = count;
    memcpy(to, from, run);
    from += run;
    off += run;
    count -= run;
  }
}

void Gather(VMArray* array, uint32_t off, char* to, uint32_t count) {
  while (count > 0) {
    uint32_t run;
    const char* from = (const char*)array->FindElement(off, &run);
    if (run > count) run = count;
    memcpy(to, from, run);
    to += run;
    off += run;
    count -= run;
  }
}

/* What one pass through the stack buffer moves of len bytes left. */
uint32_t ChunkOf(jint len) { return (uint32_t)len < kTransferChunk ? (uint32_t)len : kTransferChunk; }

}  // namespace

void BlockingBegin(JNIEnv* env) { VM::EnterHostWait(env->thread); }

void BlockingEnd(JNIEnv* env) { VM::LeaveHostWait(env); }

jint BlockingRead(JNIEnv* env, JNIHostFileSystem* fs, jint handle, void* to, jint count) {
  BlockingBegin(env);
  jint n = fs->Read(handle, to, count);
  BlockingEnd(env);
  return n;
}

jint BlockingWrite(JNIEnv* env, JNIHostFileSystem* fs, jint handle, const void* from, jint count) {
  BlockingBegin(env);
  jint n = fs->Write(handle, from, count);
  BlockingEnd(env);
  return n;
}

namespace {

/* The array is found again through its reference after every host call, which a
   collection may have run beside. */
__attribute__((noinline)) jint ReadFilled(JNIEnv* env, JNIHostFileSystem* fs, jint handle, jobject b, jint off,
                                          jint len) {
  char bounce[kTransferChunk];
  jint total = 0;
  while (len > 0) {
    uint32_t asked = ChunkOf(len);
    jint n = BlockingRead(env, fs, handle, bounce, (jint)asked);
    if (n < 0 || (uint32_t)n > asked) {
      JavaIo_ThrowIOException(env, kReadError);
      return -1;
    }
    if (n == 0) break;
    Scatter(ByteArrayOf(env, b), (uint32_t)off, bounce, (uint32_t)n);
    total += n;
    off += n;
    len -= n;
    if ((uint32_t)n < asked) break;
  }
  return total;
}

/* A handle without a position gets one host call, which answers what the pipe or the
   console holds: asking it again after a full answer would wait for a writer who may be
   waiting for this reader's answer. The buffer of that call is process memory, not the
   stack: a host thread attached with a small stack reads a pipe as deep in its calls as
   it reads a file. Process memory, not the machine's heap, since the host call may outlast
   the machine or see it moved; freed before anything that may throw. A thread let go in
   the call gives the block back as it parks for good (SetHostWaitBlock). When
   no such block can be had, the read takes one chunk through the stack instead. */
__attribute__((noinline)) jint ReadOnce(JNIEnv* env, JNIHostFileSystem* fs, jint handle, jobject b, jint off,
                                        jint len) {
  uint32_t asked = (uint32_t)len < kStreamChunk ? (uint32_t)len : kStreamChunk;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  char* bounce = (char*)host->HeapAlloc(NULL, asked, jallocFailFast);
  if (bounce == NULL) return ReadFilled(env, fs, handle, b, off, (jint)ChunkOf(len));
  VM::SetHostWaitBlock(bounce);
  jint n = BlockingRead(env, fs, handle, bounce, (jint)asked);
  VM::SetHostWaitBlock(NULL);
  bool answered = n >= 0 && (uint32_t)n <= asked;
  if (answered && n > 0) Scatter(ByteArrayOf(env, b), (uint32_t)off, bounce, (uint32_t)n);
  host->HeapFree(NULL, bounce);
  if (!answered) {
    JavaIo_ThrowIOException(env, kReadError);
    return -1;
  }
  return n;
}

}  // namespace

/* The position is asked only of a read longer than a chunk (a shorter one is one host
   call either way), as a blocking call: a host that runs one call at a time on a handle
   makes it wait while another thread reads the same pipe. */
jint ReadIntoArray(JNIEnv* env, JNIHostFileSystem* fs, jint handle, jobject b, jint off, jint len) {
  if ((uint32_t)len > kTransferChunk) {
    BlockingBegin(env);
    jlong position = FilePointer(fs, handle);
    BlockingEnd(env);
    if (position < 0) return ReadOnce(env, fs, handle, b, off, len);
  }
  return ReadFilled(env, fs, handle, b, off, len);
}

bool WriteFromArray(JNIEnv* env, JNIHostFileSystem* fs, jint handle, jobject b, jint off, jint len) {
  char bounce[kTransferChunk];
  while (len > 0) {
    uint32_t count = ChunkOf(len);
    Gather(ByteArrayOf(env, b), (uint32_t)off, bounce, count);
    const char* address = bounce;
    while (count > 0) {
      jint n = BlockingWrite(env, fs, handle, address, (jint)count);
      if (n <= 0 || (uint32_t)n > count) {
        JavaIo_ThrowIOException(env, kWriteError);
        return false;
      }
      count -= (uint32_t)n;
      off += n;
      len -= n;
      address += n;
    }
  }
  return true;
}

void WriteConsoleFromArray(JNIEnv* env, bool toStderr, jobject b, jint off, jint len) {
  JNIHostFunctions* host = VMUtils::RuntimeGetHostFunctions();
  char bounce[kTransferChunk];
  while (len > 0) {
    uint32_t count = ChunkOf(len);
    Gather(ByteArrayOf(env, b), (uint32_t)off, bounce, count);
    // A console that is a full pipe holds the writer until its reader reads.
    BlockingBegin(env);
    host->ConsoleWrite(toStderr ? 1 : 0, (jint)count, bounce);
    BlockingEnd(env);
    off += (jint)count;
    len -= (jint)count;
  }
}

char* PathCopy(JNIEnv* env, jstring path, const char* nullMessage) {
  VMJavaLangString* string = StringOf(env, path);
  if (string == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, nullMessage);
    return NULL;
  }
  char* copy = string->MakeUTF8();
  if (copy == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return copy;
}

VMJavaLangString* StringOf(JNIEnv* env, jobject string) {
  VMObject* object = VMJniHandle::UnHandle(env, string);
  if (object == NULL || !object->GetHasClass()) return NULL;
  VMClass* stringClass = (VMClass*)NameSpaceOf(env)->GetClassList()->GetStringClass();
  return object->GetClass() == stringClass ? (VMJavaLangString*)object : NULL;
}

VMArray* ByteArrayOf(JNIEnv* env, jobject array) {
  VMObject* object = VMJniHandle::UnHandle(env, array);
  if (object == NULL || !object->GetHasClass()) return NULL;
  VMClass* byteArrayClass = (VMClass*)NameSpaceOf(env)->GetArrayClassList()->GetVMbyteArrayClass();
  if (object->GetClass() != byteArrayClass || !object->GetIsScalarArray()) return NULL;
  return (VMArray*)object;
}

}  // namespace javaio

void JavaIo_ThrowIOException(JNIEnv* env, const char* message) {
  javaio::ThrowByName(env, "java/io/IOException", message);
}
