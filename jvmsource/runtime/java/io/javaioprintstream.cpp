/* java.io.PrintStream's console natives: text straight to the host console, one host
   call per character, to standard error when the stream is System.err at the time of
   the call. They pass no file gate.

   This class library declares none of them native (every PrintStream writes to its own
   stream), so the table is registered and binds nothing; binding looks at native
   methods only, or PrintStream's Java flush and writes would land on the console. */
#include "javaio.h"
#include "registration.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjniutils.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

using namespace javaio;

namespace {

/* Each character is its low byte; a zero byte is sent as itself, never as empty text. */
void Send(jboolean toStderr, unsigned char byte) {
  VMUtils::RuntimeGetHostFunctions()->ConsoleWrite(toStderr, 1, (const char*)&byte);
}

}  // namespace

/* System.err read now, so a later System.setErr is seen at once. When the field cannot
   be had the answer is "not standard error", and the look-up's failure is not left
   behind: printing raises nothing. */
jboolean JavaIoPrintStream_IsStdErr(JNIEnv* env, jobject self) {
  VMJniUtils* utils = env->javaVM->nameSpace->GetJNIUtils();
  bool pendingBefore = env->thread->GetException() != NULL;
  jclass system = utils->GetClassJSystem(env);
  jfieldID err = system != 0 ? utils->GetFieldJSystem_err(env) : 0;
  if (system == 0 || err == 0) {
    if (!pendingBefore) env->functions->ExceptionClear(env);
    return 0;
  }
  jobject current = env->functions->GetStaticObjectField(env, system, err);
  jboolean same = env->functions->IsSameObject(env, self, current) ? 1 : 0;
  if (current != 0) env->functions->DeleteLocalRef(env, current);
  return same;
}

extern "C" {

void JNICALL JavaIoPrintStream_flush(JNIEnv*, jobject) {}

void JNICALL JavaIoPrintStream_writeInt(JNIEnv* env, jobject self, jint b) {
  Send(JavaIoPrintStream_IsStdErr(env, self), (unsigned char)b);
}

/* The range is checked as FileOutputStream's is: a bad one would read outside the array
   and send the heap to the console. len <= 0 sends nothing and raises nothing. */
void JNICALL JavaIoPrintStream_writeBytes(JNIEnv* env, jobject self, jbyteArray b, jint off, jint len) {
  VMArray* array = ByteArrayOf(env, b);
  if (array == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, "");
    return;
  }
  if (len <= 0) return;
  if (!RangeFits(off, len, array->GetSize())) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, "");
    return;
  }
  jboolean toStderr = JavaIoPrintStream_IsStdErr(env, self);
  VMbyteArray* bytes = (VMbyteArray*)array;
  for (jint i = 0; i < len; i++) Send(toStderr, (unsigned char)bytes->Get((uint32_t)(off + i)));
}

void JNICALL JavaIoPrintStream_writeChars(JNIEnv* env, jobject self, jcharArray chars) {
  VMObject* object = VMJniHandle::UnHandle(env, chars);
  VMClass* charArrayClass = (VMClass*)env->javaVM->nameSpace->GetArrayClassList()->GetVMcharArrayClass();
  if (object == NULL || !object->GetHasClass() || object->GetClass() != charArrayClass) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  VMcharArray* array = (VMcharArray*)object;
  jboolean toStderr = JavaIoPrintStream_IsStdErr(env, self);
  uint32_t count = array->GetSize();
  for (uint32_t i = 0; i < count; i++) Send(toStderr, (unsigned char)array->Get(i));
}

/* The string's characters from its offset, clamped to its value array. */
void JNICALL JavaIoPrintStream_writeString(JNIEnv* env, jobject self, jstring text) {
  VMJavaLangString* string = StringOf(env, text);
  if (string == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  VMcharArray* value = string->GetValue();
  uint32_t size = value != NULL ? value->GetSize() : 0;
  uint32_t offset = string->GetOffset();
  uint32_t count = string->GetCount();
  if (offset > size) offset = size;
  if (count > size - offset) count = size - offset;
  jboolean toStderr = JavaIoPrintStream_IsStdErr(env, self);
  for (uint32_t i = 0; i < count; i++) Send(toStderr, (unsigned char)value->Get(offset + i));
}

void JNICALL JavaIoPrintStream_newLine(JNIEnv* env, jobject self) { Send(JavaIoPrintStream_IsStdErr(env, self), '\n'); }

}  // extern "C"

namespace {

const JNINativeMethod kPrintStreamNatives[] = {
    PUX_NATIVE("flush", "()V", JavaIoPrintStream_flush),
    PUX_NATIVE("write", "(I)V", JavaIoPrintStream_writeInt),
    PUX_NATIVE("write", "([BII)V", JavaIoPrintStream_writeBytes),
    PUX_NATIVE("write", "([C)V", JavaIoPrintStream_writeChars),
    PUX_NATIVE("write", "(Ljava/lang/String;)V", JavaIoPrintStream_writeString),
    PUX_NATIVE("newLine", "()V", JavaIoPrintStream_newLine),
};

}  // namespace

extern "C" void Register_java_io_PrintStream(void) {
  JNI_RegisterNative("java/io/PrintStream", kPrintStreamNatives, PUX_ROWS(kPrintStreamNatives));
}
