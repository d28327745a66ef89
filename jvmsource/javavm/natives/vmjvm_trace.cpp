/* Stack traces: recording the calling thread's frames in a throwable, and printing a
   throwable's description and frame lines through a stream's println(char[]). The texts
   are the ones the native interface gives the host for the same throwable. */
#include "vmjvm.h"

#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

/* Whether the object has the throwable layout the machine writes: a recorded trace in
   word 0 and the message in word 1. */
bool IsThrowable(VMObject* object) {
  if (object == NULL || !object->GetHasClass() || !object->GetClass()->GetIsLoadable()) return false;
  return VMJavaLangThrowable::LayoutFits(object->GetLoadableClass(), VMJavaLangThrowable::Words);
}

/* The number of recorded frames; 0 when word 0 is not the machine's own trace (never
   filled in, or something else stored there). */
uint32_t RecordedFrames(VMObject* throwable) {
  VMObject* word = (VMObject*)throwable->GetWord(VMJavaLangThrowable::TracebackWord);
  if (word == NULL || word->GetTag() != VMTag_VMTracebackArray) return 0;
  return ((VMArray*)word)->GetSize();
}

/* A char[] of exactly the text's characters; NULL for text that is not modified UTF-8
   or without memory. */
VMcharArray* CharsOf(JNIEnv* env, const char* text) {
  VMJavaLangString* string = VMJavaLangString::CreateInstance(env, text);
  if (string == NULL) return NULL;
  VMcharArray* value = string->GetValue();
  uint32_t count = string->GetCount();
  if (value != NULL && string->GetOffset() == 0 && value->GetSize() == count) return value;
  VM* vm = env->javaVM->vm;
  VMArrayClass* chars = env->javaVM->nameSpace->GetArrayClassList()->GetVMcharArrayClass();
  string->SetIsReachableByCPlusPlusCode();
  VMcharArray* copy = VMcharArray::CreateInstance(vm->GetHeap(), count, jallocCollectAndRetry,
                                                  VMTag_VMUserArrayInstance);
  string->ClearIsReachableByCPlusPlusCode();
  if (copy == NULL || chars == NULL) return NULL;
  copy->SetIsScalarArray();
  copy->SetClass((VMClass*)chars);
  for (uint32_t i = 0; i < count; i++) copy->Set(i, string->Get(i));
  return copy;
}

/* The thread's pending exception, taken off it. */
jthrowable TakePending(JNIEnv* env) {
  jthrowable pending = env->functions->ExceptionOccurred(env);
  if (pending != NULL) env->functions->ExceptionClear(env);
  return pending;
}

}  // namespace

/* One line: prefix and text joined, handed to the stream as a char[] with no exception
   pending while Java code runs. A line that cannot be made is left out. */
void JVMPrintStackTraceLine(JNIEnv* env, jobject stream, jmethodID println, const char* prefix,
                            const char* text) {
  if (text == NULL) return;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  size_t a = strlen(prefix);
  size_t b = strlen(text);
  if (a + b + 1 > 0x7FFFFFFFu) return;
  char* line = (char*)host->HeapAlloc(NULL, (uint32_t)(a + b + 1), jallocFailFast);
  if (line == NULL) return;
  memcpy(line, prefix, a);
  memcpy(line + a, text, b + 1);
  VMcharArray* chars = CharsOf(env, line);
  host->HeapFree(NULL, line);
  jobject array = VMJniHandle::NewLocal(env, (VMObject*)chars);
  if (array == NULL) {
    if (chars != NULL) env->thread->SetException(NULL);
    return;
  }
  env->functions->CallVoidMethod(env, stream, println, array);
  env->functions->DeleteLocalRef(env, array);
}

void JNICALL JVM_FillInStackTrace(JNIEnv* env, jobject handle) {
  VMObject* throwable = VMJniHandle::UnHandle(env, handle);
  if (throwable == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  if (IsThrowable(throwable)) ((VMJavaLangThrowable*)throwable)->FillInFrameTrace(env);
}

/* Every line is handed over, each with no exception pending; the first exception a
   println raised is pending again at the end. */
void JNICALL JVM_PrintStackTrace(JNIEnv* env, jobject handle, jobject stream) {
  VMObject* throwable = VMJniHandle::UnHandle(env, handle);
  VMObject* out = VMJniHandle::UnHandle(env, stream);
  if (throwable == NULL || out == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  if (!out->GetHasClass() || !out->GetClass()->GetIsLoadable() || !IsThrowable(throwable)) return;
  jclass cls = (jclass)VMJniHandle::NewLocal(env, (VMObject*)out->GetClass());
  if (cls == NULL) return;
  jmethodID println = env->functions->GetMethodID(env, cls, "println", "([C)V");
  env->functions->DeleteLocalRef(env, cls);
  // Without println(char[]) nothing can be printed; the look-up's NoSuchMethodError is
  // the answer.
  if (println == NULL) return;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  jthrowable first = TakePending(env);
  char* description = VMJniGetThrowableDescription(env->javaVM->nameSpace, throwable);
  JVMPrintStackTraceLine(env, stream, println, "", description);
  if (description != NULL) host->HeapFree(NULL, description);
  // Each println runs Java code, which may wait where the host moves the machine: the
  // throwable is read through its handle after each.
  const uint32_t frames = RecordedFrames(VMJniHandle::UnHandle(env, handle));
  for (uint32_t i = 0; i < frames; i++) {
    jthrowable failure = TakePending(env);
    if (first == NULL)
      first = failure;
    else if (failure != NULL)
      env->functions->DeleteLocalRef(env, failure);
    // A line that cannot be made (no memory) is left out; the next one may be.
    char* line = VMJniGetThrowableStackLine(VMJniHandle::UnHandle(env, handle), (jint)i);
    JVMPrintStackTraceLine(env, stream, println, "    at ", line);
    if (line != NULL) host->HeapFree(NULL, line);
  }
  jthrowable failure = TakePending(env);
  if (first == NULL)
    first = failure;
  else if (failure != NULL)
    env->functions->DeleteLocalRef(env, failure);
  if (first != NULL) {
    env->functions->Throw(env, first);
    env->functions->DeleteLocalRef(env, first);
  }
}
