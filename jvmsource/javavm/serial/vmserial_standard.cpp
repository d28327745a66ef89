/* Stream type 5: the object written and read with the class library's object streams,
   over the host's own Java stream classes on the same host stream handle. Everything
   goes through the native interface, so the Java code run meanwhile may collect: every
   object held across it is held by a local reference. */
#include "vmserial.h"

#include "vmjni.h"
#include "vmnamespace.h"
#include "vmserial_internal.h"
#include "vmthread.h"

namespace vmserial {

namespace {

bool OldLibrary(JNIEnv* env) {
  VMNameSpace* ns = EnvNameSpace(env);
  return ns == NULL || ns->GetLibraryVersion() < 2;
}

/* The handle as the host's stream classes take it: widened with its sign. */
jlong HandleAsLong(void* stream) { return (jlong)(jint)(intptr_t)stream; }

void Drop(JNIEnv* env, jobject ref) {
  if (ref != NULL) env->functions->DeleteLocalRef(env, ref);
}

}  // namespace

VMStatus WriteStandardStream(JNIEnv* env, void* stream, VMObject* object, bool* threw) {
  const JNINativeInterface_* f = env->functions;
  *threw = false;
  jobject root = VMJniHandle::NewLocal(env, object);
  if (root == NULL) return VMStatus_OutOfMemoryError;
  VMStatus status = 0;
  jobject out = NULL, objects = NULL;
  jclass objectsClass = NULL;
  jclass outClass =
      f->FindClass(env, OldLibrary(env) ? "corvane/sql/Tavik/VqOutputStream" : "nimbrel/tavik/jrt/util/VqOutputStream");
  jmethodID init = outClass != NULL ? f->GetMethodID(env, outClass, "<init>", "(J)V") : NULL;
  if (init != NULL) out = f->NewObject(env, outClass, init, HandleAsLong(stream));
  Drop(env, outClass);
  if (out == NULL) status = VMStatus_OutOfMemoryError;
  if (status == 0) {
    objectsClass = f->FindClass(env, "java/io/ObjectOutputStream");
    jmethodID ctor = objectsClass != NULL ? f->GetMethodID(env, objectsClass, "<init>", "(Ljava/io/OutputStream;)V") : NULL;
    if (ctor == NULL) {
      status = objectsClass == NULL ? VMStatus_OutOfMemoryError : VMStatus_VerifyError;
    } else {
      objects = f->NewObject(env, objectsClass, ctor, out);
      if (objects == NULL) status = f->ExceptionCheck(env) ? VMStatus_TavikSerializationError : VMStatus_OutOfMemoryError;
    }
  }
  if (status == 0) {
    jmethodID write = f->GetMethodID(env, objectsClass, "writeObject", "(Ljava/lang/Object;)V");
    jmethodID flush = f->GetMethodID(env, objectsClass, "flush", "()V");
    if (write == NULL || flush == NULL) {
      status = VMStatus_VerifyError;
    } else {
      // A write that Java code refused (an object that is not Serializable, a hook that
      // threw, a host stream that failed) left a truncated stream: it is no success.
      f->CallVoidMethod(env, objects, write, root);
      if (!f->ExceptionCheck(env)) f->CallVoidMethod(env, objects, flush);
      if (f->ExceptionCheck(env)) {
        status = VMStatus_TavikSerializationError;
        *threw = true;
      }
    }
  }
  Drop(env, objects);
  Drop(env, objectsClass);
  Drop(env, out);
  Drop(env, root);
  return status;
}

jobject ReadStandardStream(JNIEnv* env, JNIHostSerializationSupport* support, void* stream, VMStatus* status) {
  const JNINativeInterface_* f = env->functions;
  *status = 0;
  jclass inClass =
      f->FindClass(env, OldLibrary(env) ? "corvane/sql/Tavik/VqInputStream" : "nimbrel/tavik/jrt/util/VqInputStream");
  jmethodID init = inClass != NULL ? f->GetMethodID(env, inClass, "<init>", "(JI)V") : NULL;
  if (init == NULL) {
    Drop(env, inClass);
    *status = VMStatus_OutOfMemoryError;
    return NULL;
  }
  // The header byte the buffer already took is read again, by Java code.
  if (support != NULL && support->Seek != NULL) (void)support->Seek(stream, 0, 0);
  jobject in = f->NewObject(env, inClass, init, HandleAsLong(stream), (jint)0);
  jfieldID handle = in != NULL ? f->GetFieldID(env, inClass, "m_strm", "J") : NULL;
  Drop(env, inClass);
  if (in == NULL || handle == NULL) {
    Drop(env, in);
    *status = VMStatus_OutOfMemoryError;
    return NULL;
  }
  jobject result = NULL;
  jclass objectsClass = f->FindClass(env, "java/io/ObjectInputStream");
  jmethodID ctor = objectsClass != NULL ? f->GetMethodID(env, objectsClass, "<init>", "(Ljava/io/InputStream;)V") : NULL;
  jmethodID read = objectsClass != NULL ? f->GetMethodID(env, objectsClass, "readObject", "()Ljava/lang/Object;") : NULL;
  if (ctor == NULL || read == NULL) {
    *status = objectsClass == NULL ? VMStatus_OutOfMemoryError : VMStatus_VerifyError;
  } else {
    // A stream the object streams refuse (a bad header, a hostile record) ends the read
    // with their exception pending and no object.
    jobject objects = f->NewObject(env, objectsClass, ctor, in);
    if (objects != NULL) result = f->CallObjectMethod(env, objects, read);
    Drop(env, objects);
  }
  // The stream object keeps the host's handle only while the read lasts.
  jthrowable pending = f->ExceptionOccurred(env);
  if (pending != NULL) f->ExceptionClear(env);
  f->SetLongField(env, in, handle, 0);
  if (pending != NULL) {
    f->Throw(env, pending);
    Drop(env, pending);
  }
  Drop(env, in);
  Drop(env, objectsClass);
  // The result's local reference is the caller's to hand out.
  return result;
}

}  // namespace vmserial
