#include "javaio.h"

#include "vmarray.h"
#include "vmclass.h"
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
