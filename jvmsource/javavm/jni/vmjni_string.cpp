/* Strings at the native interface: made from UTF-16 or modified UTF-8, read whole into
   host blocks, by region into the caller's buffer, and piece by piece.

   Every reader checks that the reference names a string of the env's name space before
   it reads the string's words: any other object would have its first words read as a
   character array, an offset and a count. */
#include <string.h>

#include "vmjavalangstring.h"
#include "vmjni_functions.h"
#include "vmjni_support.h"
#include "vmutils.h"

using namespace vmjni;

namespace {

/* The string a reference names; NULL with NullPointerException pending for null, with
   IllegalArgumentException for an object that is not a string. */
VMJavaLangString* StringOf(JNIEnv* env, jstring string) {
  VMObject* object = VMJniHandle::UnHandle(env, string);
  if (object == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  VMNameSpace* ns = NameSpaceOf(env);
  VMClass* stringClass = ns != NULL ? (VMClass*)ns->GetClassList()->GetStringClass() : NULL;
  if (stringClass == NULL || object->GetClass() != stringClass) {
    (void)VMJniThrowInternal(env, VMStatus_IllegalArgumentException, NULL);
    return NULL;
  }
  return (VMJavaLangString*)object;
}

/* start and length describe characters start .. start + length - 1 of a string of count
   characters. Compared without a sum that could wrap. */
bool RegionFits(jsize start, jsize length, uint32_t count) {
  if (start < 0 || length < 0) return false;
  return (uint32_t)start <= count && (uint32_t)length <= count - (uint32_t)start;
}

/* Copies characters from..from + n - 1 of the string into out. */
void CopyChars(VMJavaLangString* s, uint32_t from, uint32_t n, jchar* out) {
  VMcharArray* value = s->GetValue();
  uint32_t at = s->GetOffset() + from;
  while (n > 0) {
    uint32_t run = 0;
    const jchar* chars = (const jchar*)value->FindElement(at, &run);
    if (run == 0) break;
    if (run > n) run = n;
    memcpy(out, chars, run * sizeof(jchar));
    out += run;
    at += run;
    n -= run;
  }
}

}  // namespace

namespace VMJniEnv {

jstring NewString(JNIEnv* env, const jchar* chars, jsize length) {
  VM* vm = MachineOf(env);
  if (vm == NULL) return NULL;
  if (length < 0) {
    (void)VMJniThrowInternal(env, VMStatus_NegativeArraySizeException, NULL);
    return NULL;
  }
  if (chars == NULL && length > 0) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  // The string and its own character array, filled straight from the caller's units: no
  // temporary array lies unreferenced while the string's allocation may collect.
  VMJavaLangString* s =
      VMJavaLangString::allocate(vm->GetNameSpace(), vm->GetHeap(), (uint32_t)length, jallocCollectAndRetry);
  if (s == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  VMcharArray* value = s->GetValue();
  uint32_t at = 0;
  while (at < (uint32_t)length) {
    uint32_t run = 0;
    jchar* out = (jchar*)value->FindElement(at, &run);
    if (run == 0) break;
    if (run > (uint32_t)length - at) run = (uint32_t)length - at;
    memcpy(out, chars + at, run * sizeof(jchar));
    at += run;
  }
  return VMJniHandle::NewLocal(env, (VMObject*)s);
}

jsize GetStringLength(JNIEnv* env, jstring string) {
  VMJavaLangString* s = StringOf(env, string);
  return s != NULL ? (jsize)s->GetCount() : 0;
}

const jchar* GetStringChars(JNIEnv* env, jstring string, jboolean* isCopy) {
  VMJavaLangString* s = StringOf(env, string);
  if (s == NULL) return NULL;
  uint32_t count = s->GetCount();
  jchar* block = (jchar*)VMUtils::GetHostFunctions()->HeapAlloc(NULL, count * sizeof(jchar), jallocFailFast);
  if (block == NULL) {
    // A null answer to an empty string is no shortage.
    if (count > 0) (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  if (isCopy != NULL) *isCopy = JNI_TRUE;
  CopyChars(s, 0, count, block);
  return block;
}

void ReleaseStringChars(JNIEnv*, jstring, const jchar* chars) {
  if (chars != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, (void*)chars);
}

jstring NewStringUTF(JNIEnv* env, const char* utf) {
  VM* vm = MachineOf(env);
  // No text and text whose last sequence is cut off give no string and raise nothing.
  if (vm == NULL || utf == NULL) return NULL;
  if (VMLiteral::UnicodeLength(utf, (uint32_t)strlen(utf)) == VMInvalidUTF8Length) return NULL;
  VMJavaLangString* s = VMJavaLangString::CreateInstance(env, utf);
  if (s == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    return NULL;
  }
  return VMJniHandle::NewLocal(env, (VMObject*)s);
}

jsize GetStringUTFLength(JNIEnv* env, jstring string) {
  VMJavaLangString* s = StringOf(env, string);
  return s != NULL ? (jsize)s->UTF8Length() : 0;
}

const char* GetStringUTFChars(JNIEnv* env, jstring string, jboolean* isCopy) {
  if (isCopy != NULL) *isCopy = JNI_TRUE;
  VMJavaLangString* s = StringOf(env, string);
  if (s == NULL) return NULL;
  char* text = s->MakeUTF8();
  if (text == NULL) (void)VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
  return text;
}

void ReleaseStringUTFChars(JNIEnv*, jstring, const char* utf) {
  if (utf != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, (void*)utf);
}

/* Writes a 0 unit at buffer[length]: the buffer holds length + 1 units. */
void GetStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer) {
  VMJavaLangString* s = StringOf(env, string);
  if (s == NULL) return;
  if (!RegionFits(start, length, s->GetCount())) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return;
  }
  if (buffer == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  // Exactly the region: callers size their buffers to it.
  CopyChars(s, (uint32_t)start, (uint32_t)length, buffer);
}

/* Writes a zero byte after the encoded characters: at most 3 x length + 1 bytes. */
void GetStringUTFRegion(JNIEnv* env, jstring string, jsize start, jsize length, char* buffer) {
  VMJavaLangString* s = StringOf(env, string);
  if (s == NULL) return;
  if (!RegionFits(start, length, s->GetCount())) {
    (void)VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return;
  }
  if (buffer == NULL) {
    (void)VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return;
  }
  char* out = buffer;
  for (jsize k = 0; k < length; k++) out += VMLiteral::UnicodeToUTF8(s->Get((uint32_t)(start + k)), out);
  *out = 0;
}

const jchar* GetStringCritical(JNIEnv* env, jstring, jboolean*) {
  VMJniNotImplemented(env, "nyi: VMJniGetStringCritical");
  return NULL;
}

void ReleaseStringCritical(JNIEnv* env, jstring, const jchar*) {
  VMJniNotImplemented(env, "nyi: VMJniReleaseStringCritical");
}

}  // namespace VMJniEnv

namespace JNIEnvExtension {

/* The modified UTF-8 of the string from character startIndex on, as much as fits whole
   into the buffer; the index to go on from, or 0 at the end. */
uint32_t GetStringUTFPiece(JNIEnv* env, jstring string, char* buffer, uint32_t bufferSize,
                           uint32_t* bytesWritten, uint32_t startIndex) {
  uint32_t ignored;
  if (bytesWritten == NULL) bytesWritten = &ignored;
  *bytesWritten = 0;
  VMJavaLangString* s = StringOf(env, string);
  if (s == NULL) return 0;
  // Unsigned: an index at or past the end is the end, whatever the buffer.
  if (startIndex >= s->GetCount()) return 0;
  if (buffer == NULL) bufferSize = 0;
  if (bufferSize < 3) {
    // No character fits. Answering startIndex (0 at the start, which reads as "done")
    // would lose the text or loop for ever without a word: the misuse is made visible.
    (void)VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, NULL);
    return startIndex;
  }
  uint32_t written = 0;
  uint32_t next = s->GetUTF8Piece(buffer, bufferSize, written, startIndex);
  *bytesWritten = written;
  return next;
}

}  // namespace JNIEnvExtension
