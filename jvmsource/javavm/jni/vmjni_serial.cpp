/* The serialization interface: the serialization object that JNIEnv slot 283 hands out,
   its function table, and the class serialization signature of slot 285.

   A serializer or deserializer belongs to the machine whose interface made it (its
   global reference indexes that machine's globals) and serves one call at a time: a
   call on one whose call is still running (from Java or host code that the running call
   reached) is refused at once and changes nothing. */
#include "vm.h"
#include "vmclass.h"
#include "vmjni.h"
#include "vmjni_functions.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmserial.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

VM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL; }
HHeap* HeapOf(JNIEnv* env) {
  VM* vm = MachineOf(env);
  return vm != NULL ? vm->GetHeap() : NULL;
}

/* The serializer a reference names, when it is one of this machine's. */
VMObjectSerializer* UnwrapSerializer(JNIEnv* env, jobject ref) {
  VMObject* object = env != NULL ? VMJniHandle::UnHandle(env, ref) : NULL;
  if (object == NULL || object->GetTag() != VMTag_VMObjectSerializer) return NULL;
  VMObjectSerializer* serializer = (VMObjectSerializer*)object;
  return serializer->GetMachine() == MachineOf(env) ? serializer : NULL;
}

VMObjectDeserializer* UnwrapDeserializer(JNIEnv* env, jobject ref) {
  VMObject* object = env != NULL ? VMJniHandle::UnHandle(env, ref) : NULL;
  if (object == NULL || object->GetTag() != VMTag_VMObjectDeserializer) return NULL;
  VMObjectDeserializer* deserializer = (VMObjectDeserializer*)object;
  return deserializer->GetMachine() == MachineOf(env) ? deserializer : NULL;
}

jobject HOSTCALL CreateSerializer(JNIEnv* env, JNIHostSerializationSupport* support) {
  HHeap* heap = HeapOf(env);
  if (heap == NULL || support == NULL) return NULL;
  VMOutputByteStream* stream = VMOutputByteStream::CreateInstance(heap, support);
  if (stream == NULL) return NULL;
  VMObjectSerializer* serializer = VMObjectSerializer::CreateInstance(heap, support, stream);
  if (serializer == NULL) {
    stream->Destroy(heap);
    return NULL;
  }
  serializer->SetMachine(MachineOf(env));
  // Nothing between the creation and the global reference allocates with collection.
  jobject global = VMJniHandle::NewGlobal(env, serializer);
  if (global == NULL) serializer->Destroy(heap);
  return global;
}

jobject HOSTCALL CreateDeserializer(JNIEnv* env, JNIHostSerializationSupport* support) {
  HHeap* heap = HeapOf(env);
  if (heap == NULL || support == NULL) return NULL;
  VMInputByteStream* stream = VMInputByteStream::CreateInstance(heap, support);
  if (stream == NULL) return NULL;
  VMObjectDeserializer* deserializer = VMObjectDeserializer::CreateInstance(heap, support, stream);
  if (deserializer == NULL) {
    stream->Destroy(heap);
    return NULL;
  }
  deserializer->SetMachine(MachineOf(env));
  jobject global = VMJniHandle::NewGlobal(env, deserializer);
  if (global == NULL) deserializer->Destroy(heap);
  return global;
}

void HOSTCALL DestroySerializer(JNIEnv* env, jobject ref) {
  VMObjectSerializer* serializer = UnwrapSerializer(env, ref);
  if (serializer == NULL || serializer->GetIsBusy()) return;
  VMJniHandle::Delete(env, ref);
  serializer->Destroy(HeapOf(env));
}

void HOSTCALL DestroyDeserializer(JNIEnv* env, jobject ref) {
  VMObjectDeserializer* deserializer = UnwrapDeserializer(env, ref);
  if (deserializer == NULL || deserializer->GetIsBusy()) return;
  VMJniHandle::Delete(env, ref);
  deserializer->Destroy(HeapOf(env));
}

jint HOSTCALL WriteObject(JNIEnv* env, jobject ref, jint type, jobject objectRef, void* stream) {
  VMObjectSerializer* serializer = UnwrapSerializer(env, ref);
  VMObject* object = env != NULL ? VMJniHandle::UnHandle(env, objectRef) : NULL;
  // The handle of a running write must stay that write's.
  if (serializer == NULL || object == NULL || serializer->GetIsBusy()) return -1;
  serializer->GetStream()->SetHostStream(stream);
  return serializer->WriteVMObject(env, object, type) ? 0 : -1;
}

/* Runs a read with the env's current loader id set to the read's, so that whatever
   finds classes "in the current loader" on the way finds them in the read's. */
template <typename Read>
bool InLoader(JNIEnv* env, void* loaderId, Read read) {
  VMword saved = env->userWord;
  env->userWord = (VMword)loaderId;
  bool ok = read();
  env->userWord = saved;
  return ok;
}

jobject HOSTCALL ReadObject(JNIEnv* env, jobject ref, void* stream, void* loaderId) {
  VMObjectDeserializer* deserializer = UnwrapDeserializer(env, ref);
  if (deserializer == NULL || deserializer->GetIsBusy()) return NULL;
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMClassLoader* loader = ns != NULL ? ns->FindOrCreateLoader(loaderId) : NULL;
  if (loader == NULL) return NULL;
  deserializer->GetStream()->SetHostStream(stream);
  jobject object = NULL;
  if (!InLoader(env, loaderId, [&] { return deserializer->ReadVMObject(env, &object, loader); })) return NULL;
  return object;
}

jboolean HOSTCALL ReadObjectClasses(JNIEnv* env, jobject ref, void* stream, void* loaderId) {
  VMObjectDeserializer* deserializer = UnwrapDeserializer(env, ref);
  if (deserializer == NULL || deserializer->GetIsBusy()) return 0;
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMClassLoader* loader = ns != NULL ? ns->FindOrCreateLoader(loaderId) : NULL;
  if (loader == NULL) return 0;
  deserializer->GetStream()->SetHostStream(stream);
  return InLoader(env, loaderId, [&] { return deserializer->ReadVMObjectClasses(env, loader); }) ? 1 : 0;
}

/* Finding the class initialises it: writing a descriptor can run its static
   initialiser. */
jint HOSTCALL WriteClassDescriptor(JNIEnv* env, const char* className, void* loaderId,
                                   JNIHostSerializationSupport* support, void* stream) {
  HHeap* heap = HeapOf(env);
  if (heap == NULL || className == NULL || support == NULL) return -1;
  VMOutputByteStream* out = VMOutputByteStream::CreateInstance(heap, support);
  if (out == NULL) return -1;
  out->SetHostStream(stream);
  VMClassDescSerializer* writer = VMClassDescSerializer::CreateInstance(heap, support, out);
  if (writer == NULL) {
    out->Destroy(heap);
    return -1;
  }
  // Held for the whole call: the class look-up can run Java code, and so collect.
  jobject held = VMJniHandle::NewGlobal(env, writer);
  bool ok = false;
  if (held != NULL) {
    jclass ref = env->functions->FindClassInLoaderId(env, className, loaderId);
    VMClass* cls = VMJniUnHandleClass(env, ref);
    if (ref != NULL) VMJniHandle::Delete(env, ref);
    if (cls != NULL && cls->GetIsLoadable()) ok = writer->WriteClassDesc(env, (VMLoadableClass*)cls);
    VMJniHandle::Delete(env, held);
  }
  writer->Destroy(heap);
  return ok ? 0 : -1;
}

jobject HOSTCALL FindObject(JNIEnv* env, jobject ref, jint id) {
  VMObjectDeserializer* deserializer = UnwrapDeserializer(env, ref);
  if (deserializer == NULL) return NULL;
  VMObject* object = NULL;
  if (deserializer->FindObject(id, &object) != 0) return NULL;
  return VMJniHandle::NewLocal(env, object);
}

jint HOSTCALL AddObject(JNIEnv* env, jobject ref, jobject objectRef) {
  VMObjectSerializer* serializer = UnwrapSerializer(env, ref);
  VMObject* object = env != NULL ? VMJniHandle::UnHandle(env, objectRef) : NULL;
  if (serializer == NULL || object == NULL) return 0;
  jint id = 0;
  return serializer->AddObject(object, &id) == 0 ? id : 0;
}

const JNISerializationInterface kSerializationInterface = {
    NULL, NULL, NULL,
    CreateSerializer, CreateDeserializer, DestroySerializer, DestroyDeserializer,
    WriteObject, ReadObject, WriteClassDescriptor, FindObject, AddObject, ReadObjectClasses,
};

}  // namespace

namespace JNIEnvExtension {

void* CreateSerializationInterface(JNIEnv* env, struct JNIHostSerializationSupport* support) {
  // A missing table would be called through at the first read or write.
  if (env == NULL || support == NULL) return NULL;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  JNISerialization* object = (JNISerialization*)host->HeapAlloc(NULL, sizeof(JNISerialization), jallocFailFast);
  if (object == NULL) return NULL;
  object->functions = &kSerializationInterface;
  object->support = support;
  object->serializer = object->functions->CreateSerializer(env, support);
  object->deserializer = object->functions->CreateDeserializer(env, support);
  return object;
}

void DestroySerializationInterface(JNIEnv* env, void* serialization) {
  JNISerialization* object = (JNISerialization*)serialization;
  if (object == NULL) return;
  if (object->serializer != NULL) object->functions->DestroySerializer(env, object->serializer);
  if (object->deserializer != NULL) object->functions->DestroyDeserializer(env, object->deserializer);
  VMUtils::GetHostFunctions()->HeapFree(NULL, object);
}

jstring GetSerializationSignature(JNIEnv* env, jclass clazz) {
  VMClass* cls = VMJniUnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable()) return NULL;
  VMLiteral* signature = ((VMLoadableClass*)cls)->GetSerializationSignature();
  VMJavaLangString* string = signature != NULL ? signature->MakeVMJavaLangString(env) : NULL;
  if (string == NULL) {
    VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return (jstring)VMJniHandle::NewLocal(env, (VMObject*)string);
}

}  // namespace JNIEnvExtension
