/* java.io.FileDescriptor: validity, sync, and the standard descriptors. */
#include <errno.h>
#include <string.h>

#include "javaio.h"
#include "registration.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmthread.h"

using namespace javaio;

namespace {

const char* const kSyncFailed = "java/io/SyncFailedException";

/* The text of the error the host's Sync left in errno, at most 255 characters without a
   trailing line end; a fixed text when there is none. */
void SyncErrorText(int error, char* text, size_t room) {
  text[0] = 0;
  if (error != 0) {
    /* The GNU form returns the text, which may or may not be the buffer. */
    const char* message = strerror_r(error, text, room);
    if (message != text && message != NULL) {
      strncpy(text, message, room - 1);
      text[room - 1] = 0;
    }
  }
  size_t length = strlen(text);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = 0;
  if (length == 0) strcpy(text, "sync failed");
}

}  // namespace

extern "C" {

jboolean JNICALL JavaIoFileDescriptor_valid(JNIEnv* env, jobject self) {
  jfieldID fd = FieldFileDescriptorFd(env);
  if (fd == 0) return 0;
  jint value = env->functions->GetIntField(env, self, fd);
  return OldCoding(env) ? value > 0 : value > -1;
}

/* Closed first, then the gate. Without a file table the standard descriptors need
   nothing; any other open descriptor cannot be synced, and saying it was would tell the
   caller its data is safe when it is not. */
void JNICALL JavaIoFileDescriptor_sync(JNIEnv* env, jobject self) {
  jint handle;
  if (!ReadHandle(env, self, &handle)) return;
  if (handle < 0) {
    ThrowByName(env, kSyncFailed, "File already closed");
    return;
  }
  JNIHostFileSystem* fs = FileSystem();
  if (fs == NULL) {
    if (handle > 2) ThrowByName(env, kSyncFailed, kNotEnabled);
    return;
  }
  errno = 0;
  if (fs->Sync(handle)) return;
  int error = errno;
  char text[256];
  SyncErrorText(error, text, sizeof text);
  ThrowByName(env, kSyncFailed, text);
}

/* The standard handle desc by the coding in force: handle + 1 below version 2, the
   handle itself from 2 on (where desc + 1 would send System.out to standard error). */
jobject JNICALL JavaIoFileDescriptor_initSystemFD(JNIEnv* env, jclass, jobject fdObject, jint desc) {
  if (VMJniHandle::UnHandle(env, fdObject) == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return 0;
  }
  if (!StoreHandle(env, fdObject, desc)) return 0;
  return fdObject;
}

void JNICALL JavaIoFileDescriptor_initIDs(JNIEnv*, jclass) {}

}  // extern "C"

namespace {

const JNINativeMethod kFileDescriptorNatives[] = {
    PUX_NATIVE("valid", "()Z", JavaIoFileDescriptor_valid),
    PUX_NATIVE("sync", "()V", JavaIoFileDescriptor_sync),
    PUX_NATIVE("initSystemFD", "(Ljava/io/FileDescriptor;I)Ljava/io/FileDescriptor;", JavaIoFileDescriptor_initSystemFD),
    PUX_NATIVE("initIDs", "()V", JavaIoFileDescriptor_initIDs),
};

}  // namespace

extern "C" void Register_java_io_FileDescriptor(void) {
  JNI_RegisterNative("java/io/FileDescriptor", kFileDescriptorNatives, PUX_ROWS(kFileDescriptorNatives));
}
