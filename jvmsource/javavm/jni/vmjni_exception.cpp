/* Pending exceptions at the native interface: throwing by status, by class and by
   object, reading and clearing, and the text of a throwable (its description and one
   line per recorded frame), which the host reads through the extensions and the class
   library prints for printStackTrace. Texts are process memory (HeapFree with no heap). */
#include <string.h>

#include "vm.h"
#include "vmarray.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmjni_functions.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmdebugger.h"
#include "vmthread.h"
#include "vmutils.h"

/* Nested throwables are followed this deep at most: a cycle through the wrapped
   throwable (made by reflection, or read from stored bytes) must end somewhere. */
static const int kMaxNesting = 16;

static VM* MachineOf(JNIEnv* env) { return env != NULL && env->javaVM != NULL ? env->javaVM->vm : NULL; }

/* ---- throwing ---- */

int VMJniThrowNew(JNIEnv* env, VMLoadableClass* cls, const char* message) {
  VM* vm = MachineOf(env);
  if (vm == NULL || env->thread == NULL || cls == NULL) return -1;
  VMJavaLangThrowable* throwable = VMJavaLangThrowable::CreateInstance(env, cls);
  if (throwable == NULL) return -1;
  // The machine's one pre-made OutOfMemoryError stands in when memory is short; it is
  // shared by every later failure of the machine and keeps no caller's message.
  if (message != NULL && throwable != vm->GetOutOfMemoryError()) {
    bool wasHeld = throwable->GetIsReachableByCPlusPlusCode();
    throwable->SetIsReachableByCPlusPlusCode();
    VMJavaLangString* text = VMJavaLangString::CreateInstance(env, message);
    if (!wasHeld) throwable->ClearIsReachableByCPlusPlusCode();
    throwable->SetMessage(text);
  }
  env->thread->SetException(throwable);
  return 0;
}

int VMJniThrowInternal(JNIEnv* env, VMStatus status, const char* message) {
  // 0 is no failure; 1 says a Java exception is pending already, and it stays.
  if (status == VMStatus_OK || status == VMStatus_AlreadyThrown) return 0;
  VM* vm = MachineOf(env);
  if (vm == NULL || env->thread == NULL) return -1;
  VMNameSpace* ns = env->javaVM->nameSpace;
  VMLoadableClass* cls = ns != NULL ? ns->GetExceptionClass(env, (uint32_t)status) : NULL;
  if (cls == NULL) return -1;
  return VMJniThrowNew(env, cls, message);
}

void VMJniNotImplemented(JNIEnv* env, const char* message) {
  (void)VMJniThrowInternal(env, VMStatus_InternalError, message);
}

/* Whether cls is java/lang/Throwable or a subclass, by names: no class is looked up. */
static bool IsThrowableClass(VMNameSpace* ns, VMClass* cls) {
  if (ns == NULL || cls == NULL || !cls->GetIsLoadable()) return false;
  VMLiteral* throwable = VMLiteral::CreateInstance(ns, "java/lang/Throwable", 0xFFFFFFFFu);
  if (throwable == NULL) return false;
  uint32_t depth = 0;
  for (VMLoadableClass* c = (VMLoadableClass*)cls; c != NULL && depth <= VMLoadableClass::MAX_NESTING;
       c = c->GetSuper(), depth++) {
    if (((VMClass*)c)->GetName() == throwable) return true;
  }
  return false;
}

namespace VMJniEnv {

jint Throw(JNIEnv* env, jthrowable throwable) {
  if (env == NULL || env->thread == NULL) return -1;
  if (throwable == NULL) {
    env->thread->SetException(NULL);
    return 0;
  }
  VMObject* object = VMJniHandle::UnHandle(env, throwable);
  // Only a throwable may become pending: its words are read as a trace and a message.
  if (object == NULL || !object->GetHasClass() || !IsThrowableClass(env->javaVM->nameSpace, object->GetClass()))
    return -1;
  env->thread->SetException((VMJavaLangThrowable*)object);
  return 0;
}

jint ThrowNew(JNIEnv* env, jclass clazz, const char* message) {
  VMClass* cls = VMJniUnHandleClass(env, clazz);
  if (cls == NULL || !cls->GetIsLoadable() || cls->GetIsInterface()) return -1;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  if (!loadable->GetIsPrepared() && loadable->Prepare(NULL) != VMStatus_OK) return -1;
  if (loadable->GetIsAbstract() || !IsThrowableClass(env->javaVM->nameSpace, cls)) return -1;
  return VMJniThrowNew(env, loadable, message);
}

jthrowable ExceptionOccurred(JNIEnv* env) {
  if (env == NULL || env->thread == NULL) return NULL;
  VMJavaLangThrowable* pending = env->thread->GetException();
  return pending != NULL ? VMJniHandle::NewLocal(env, (VMObject*)pending) : NULL;
}

void ExceptionDescribe(JNIEnv* env) {
  if (env == NULL || env->thread == NULL) return;
  VMJavaLangThrowable* pending = env->thread->GetException();
  if (pending == NULL) return;
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  char* description = VMJniGetThrowableDescription(env->javaVM->nameSpace, (VMObject*)pending);
  if (description != NULL) {
    description = VMJniConcatText(description, "\n", NULL);
    host->ConsoleWrite(1, (jint)strlen(description), description);
    host->HeapFree(NULL, description);
  }
  for (jint i = 0;; i++) {
    char* line = VMJniGetThrowableStackLine((VMObject*)pending, i);
    if (line == NULL) break;
    host->ConsoleWrite(1, 7, "    at ");
    host->ConsoleWrite(1, (jint)strlen(line), line);
    host->ConsoleWrite(1, 1, "\n");
    host->HeapFree(NULL, line);
  }
}

void ExceptionClear(JNIEnv* env) {
  if (env != NULL && env->thread != NULL) env->thread->SetException(NULL);
}

void FatalError(JNIEnv*, const char* message) {
  VMUtils::GetHostFunctions()->FatalExit(1, message != NULL ? message : "");
}

}  // namespace VMJniEnv

/* ---- texts ---- */

static char* CopyText(const char* text) {
  uint32_t length = (uint32_t)strlen(text);
  char* copy = (char*)VMUtils::GetHostFunctions()->HeapAlloc(NULL, length + 1, jallocFailFast);
  if (copy != NULL) memcpy(copy, text, length + 1);
  return copy;
}

char* VMJniConcatText(char* first, const char* second, char* third) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (first == NULL) {
    // Nothing to extend: the rest stands alone.
    first = CopyText("");
    if (first == NULL) {
      if (third != NULL) host->HeapFree(NULL, third);
      return NULL;
    }
  }
  size_t a = strlen(first);
  size_t b = second != NULL ? strlen(second) : 0;
  size_t c = third != NULL ? strlen(third) : 0;
  char* joined = NULL;
  if (a + b + c + 1 <= 0x7FFFFFFFu)
    joined = (char*)host->HeapAlloc(NULL, (uint32_t)(a + b + c + 1), jallocFailFast);
  if (joined == NULL) {
    if (third != NULL) host->HeapFree(NULL, third);
    return first;
  }
  memcpy(joined, first, a);
  if (b != 0) memcpy(joined + a, second, b);
  if (c != 0) memcpy(joined + a + b, third, c);
  joined[a + b + c] = 0;
  host->HeapFree(NULL, first);
  if (third != NULL) host->HeapFree(NULL, third);
  return joined;
}

/* The class of a throwable; NULL for anything else, whose words are not a trace and a
   message (an object may have fewer words than a throwable has). */
static VMLoadableClass* ThrowableClass(VMObject* throwable) {
  if (throwable == NULL || !throwable->GetHasClass()) return NULL;
  VMClass* cls = throwable->GetClass();
  if (cls == NULL || !IsThrowableClass(cls->GetNameSpace(), cls)) return NULL;
  VMLoadableClass* loadable = (VMLoadableClass*)cls;
  return loadable->GetCreateSize() >= VMJavaLangThrowable::Words ? loadable : NULL;
}

/* Whether the class is one of the two that wrap a throwable in their word 2. The names
   are compared as interned literals: describing an exception looks no class up. */
static bool WrapsThrowable(VMNameSpace* ns, VMLoadableClass* cls) {
  VMLiteral* name = ((VMClass*)cls)->GetName();
  if (ns == NULL || name == NULL || cls->GetCreateSize() < 3) return false;
  return name == VMLiteral::CreateInstance(ns, "java/lang/ExceptionInInitializerError", 0xFFFFFFFFu) ||
         name == VMLiteral::CreateInstance(ns, "java/lang/reflect/InvocationTargetException", 0xFFFFFFFFu);
}

static char* Describe(VMNameSpace* ns, VMObject* throwable, VMObject** seen, int depth) {
  VMLoadableClass* cls = ThrowableClass(throwable);
  if (cls == NULL) return NULL;
  char* text = ((VMClass*)cls)->GetDotNameUTF8();
  if (text == NULL) return NULL;
  VMObject* message = (VMObject*)throwable->GetWord(VMJavaLangThrowable::MessageWord);
  VMClassList* classes = ns != NULL ? ns->GetClassList() : NULL;
  if (message != NULL && message->GetHasClass() && classes != NULL &&
      message->GetClass() == (VMClass*)classes->GetStringClass()) {
    char* utf8 = ((VMJavaLangString*)message)->MakeUTF8();
    if (utf8 != NULL) text = VMJniConcatText(text, ": ", utf8);
  }
  if (WrapsThrowable(ns, cls)) {
    VMObject* nested = (VMObject*)throwable->GetWord(2);
    seen[depth] = throwable;
    bool repeated = false;
    for (int i = 0; i <= depth; i++) repeated = repeated || (nested != NULL && seen[i] == nested);
    char* inner = NULL;
    if (repeated || depth + 1 >= kMaxNesting) {
      inner = nested != NULL ? CopyText("...") : NULL;
    } else if (nested != NULL) {
      inner = Describe(ns, nested, seen, depth + 1);
    }
    text = VMJniConcatText(text, "( ", inner);
    text = VMJniConcatText(text, " )", NULL);
  }
  return text;
}

char* VMJniGetThrowableDescription(VMNameSpace* ns, VMObject* throwable) {
  VMObject* seen[kMaxNesting];
  return Describe(ns, throwable, seen, 0);
}

char* VMJniGetThrowableStackLine(VMObject* throwable, jint index) {
  if (ThrowableClass(throwable) == NULL) return NULL;
  // The trace word is an ordinary field: only the machine's own trace array is read as one.
  VMObject* word = (VMObject*)throwable->GetWord(VMJavaLangThrowable::TracebackWord);
  if (word == NULL || word->GetTag() != VMTag_VMTracebackArray) return NULL;
  VMTracebackArray* trace = (VMTracebackArray*)word;
  if ((uint32_t)index >= trace->GetSize()) return NULL;
  VMTraceback* record = trace->Get((uint32_t)index);
  VMMethod* method = record != NULL && record->GetTag() == VMTag_VMTraceback ? record->GetMethod() : NULL;
  if (method == NULL) return CopyText("native code");
  VMLoadableClass* cls = ((VMMember*)method)->GetDefinedIn();
  if (cls == NULL) return NULL;
  char* text = ((VMClass*)cls)->GetDotNameUTF8();
  if (text == NULL) return NULL;
  VMLiteral* name = ((VMMember*)method)->GetName();
  if (char* methodName = name != NULL ? name->MakeUTF8() : NULL) text = VMJniConcatText(text, ".", methodName);
  VMLiteral* source = cls->GetSourceFile();
  if (char* file = source != NULL ? source->MakeUTF8() : NULL) {
    text = VMJniConcatText(text, "(", file);
    uint32_t line = VMDebugger::FindLineNumber(method, record->GetPC());
    if (line != 0) {
      char digits[12];
      VMUtils::IntToDecimal((int32_t)line, digits);
      text = VMJniConcatText(text, ":", CopyText(digits));
    }
    text = VMJniConcatText(text, ")", NULL);
  }
  return text;
}

/* ---- the host's extensions ---- */

namespace JNIEnvExtension {

char* GetPendingExceptionText(JNIEnv* env) {
  if (env == NULL || env->thread == NULL) return NULL;
  VMObject* pending = (VMObject*)env->thread->GetException();
  return pending != NULL ? VMJniGetThrowableDescription(env->javaVM->nameSpace, pending) : NULL;
}

char* GetPendingExceptionStackLine(JNIEnv* env, jint index) {
  if (env == NULL || env->thread == NULL) return NULL;
  VMObject* pending = (VMObject*)env->thread->GetException();
  return pending != NULL ? VMJniGetThrowableStackLine(pending, index) : NULL;
}

void FreeExceptionText(JNIEnv*, char* text) {
  if (text != NULL) VMUtils::GetHostFunctions()->HeapFree(NULL, text);
}

}  // namespace JNIEnvExtension
