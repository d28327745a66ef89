/* The agent's answers about the stopped machine: thread names and control, frames, and
   the classes, methods, fields and local variables behind them. Every query takes NULL
   (and a frame of any kind) and answers it with NULL, 0 or the text "null". */
#include <string.h>

#include "vm.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmdebugger_support.h"
#include "vmframe.h"
#include "vmhandlearray.h"
#include "vmjni.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmnamespace.h"
#include "vmthread.h"

using namespace dbg;

/* ---- threads ---- */

VMJavaLangString* VMDebugger::ThreadName(VMThread* thread) {
  if (thread == NULL) return NULL;
  JNIEnv* env = Host()->GetCurrentEnv();
  VMcharArray* name = thread->GetName();
  if (name != NULL) return VMJavaLangString::CreateInstance(env, name, 0);
  char digits[16];
  VMUtils::IntToDecimal((int32_t)(uintptr_t)thread->GetId(), digits);
  return VMJavaLangString::CreateInstance(env, digits);
}

void VMDebugger::ThreadStop(VMThread* thread) {
  if (thread != NULL) Host()->StopThread(thread->GetHandle(), 1);
}

void VMDebugger::ThreadSet(VMThread*) {}

uint8_t VMDebugger::ThreadSuspended(VMThread* thread) {
  return thread != NULL && thread->GetSuspendCount() != 0 ? 1 : 0;
}

/* ---- frames ---- */

int32_t VMDebugger::FrameCallerCount(VMFrame* frame) {
  if (frame == NULL) return 0;
  int32_t count = 0;
  for (VMFrame* f = frame->caller; f != NULL && !f->GetIsFirstFrame(); f = f->caller)
    if (f->GetIsExecutableByteCode()) count++;
  return count;
}

int32_t VMDebugger::FrameFlags(VMFrame* frame) {
  if (frame == NULL) return 0;
  VMByteCodeFrame* caller = FrameCaller(frame);
  return caller != NULL && (VMFrame*)caller != frame->caller ? 1 : 0;
}

uint32_t VMDebugger::FrameMethodIndex(VMFrame* frame) {
  VMMethod* method = frame != NULL ? frame->method : NULL;
  VMLoadableClass* cls = method != NULL ? method->GetDefinedIn() : NULL;
  VMMethodArray* methods = cls != NULL ? cls->GetMethods() : NULL;
  for (uint32_t i = 0; methods != NULL && i < methods->GetSize(); i++)
    if (methods->Get(i) == method) return i;
  return 0;
}

int32_t VMDebugger::FramePC(VMFrame* frame) {
  // Only a frame that runs bytecode has a pc: the others have no code to count in.
  if (frame == NULL || !frame->GetIsExecutableByteCode() || frame->GetIsFirstFrame() || frame->method == NULL ||
      frame->method->GetCode() == NULL)
    return -1;
  return (int32_t)((VMByteCodeFrame*)frame)->GetPC(false);
}

/* ---- classes ---- */

VMJavaLangString* VMDebugger::ClassFile(VMClass* cls) {
  JNIEnv* env = Host()->GetCurrentEnv();
  VMLiteral* file = cls != NULL && cls->GetIsLoadable() ? ((VMLoadableClass*)cls)->GetSourceFile() : NULL;
  // A class without a source-file name answers as no class does.
  if (file == NULL) return VMJavaLangString::CreateInstance(env, "null");
  return VMJavaLangString::CreateInstance(env, file);
}

VMJavaLangString* VMDebugger::ClassName(VMClass* cls) {
  JNIEnv* env = Host()->GetCurrentEnv();
  VMLiteral* name = cls != NULL ? cls->GetName() : NULL;
  if (name == NULL) return VMJavaLangString::CreateInstance(env, "null");
  char* text = name->MakeUTF8();
  if (text != NULL) {
    for (char* p = text; *p != 0; p++)
      if (*p == '/') *p = '.';
    VMJavaLangString* s = VMJavaLangString::CreateInstance(env, text);
    VMJavaLangString::FreeUTF8(text);
    return s;
  }
  // Too long for one host block: the string is made from the literal and dotted in its
  // own characters, which nothing else holds yet.
  VMJavaLangString* s = VMJavaLangString::CreateInstance(env, name);
  VMcharArray* chars = s != NULL ? s->GetValue() : NULL;
  if (chars != NULL) {
    uint32_t end = s->GetOffset() + s->GetCount();
    for (uint32_t i = s->GetOffset(); i < end && i < chars->GetSize(); i++)
      if (chars->Get(i) == '/') chars->Set(i, '.');
  }
  return s;
}

VMMethodArray* VMDebugger::ClassMethods(VMClass* cls) {
  return cls != NULL && cls->GetIsLoadable() ? ((VMLoadableClass*)cls)->GetMethods() : NULL;
}

VMDataMemberArray* VMDebugger::ClassFields(VMClass* cls) {
  return cls != NULL && cls->GetIsLoadable() ? ((VMLoadableClass*)cls)->GetDataMembers() : NULL;
}

VMClass* VMDebugger::ClassSuper(VMClass* cls) { return cls != NULL ? (VMClass*)cls->GetSuper() : NULL; }

uint32_t VMDebugger::ClassId(VMClass* cls) {
  if (cls == NULL) return 0xFFFFFFFFu;
  VMUtils::MutexLock(GetClassLoadMutex());
  uint32_t index = GetClassesLoaded()->Find(cls);
  VMUtils::MutexUnlock(GetClassLoadMutex());
  return index - 1;
}

int32_t VMDebugger::ClassClassify(VMClass* cls) {
  if (cls == NULL) return 11;
  VMClassList* list = GetNameSpace()->GetClassList();
  if (cls->GetIsPrimitive()) {
    VMClass* primitives[] = {(VMClass*)list->GetVMbooleanClass(), (VMClass*)list->GetVMbyteClass(),
                             (VMClass*)list->GetVMcharClass(),    (VMClass*)list->GetVMshortClass(),
                             (VMClass*)list->GetVMintClass(),     (VMClass*)list->GetVMlongClass(),
                             (VMClass*)list->GetVMfloatClass(),   (VMClass*)list->GetVMdoubleClass()};
    for (int32_t i = 0; i < 8; i++)
      if (cls == primitives[i]) return i;
    return cls == (VMClass*)list->GetVMvoidClass() ? 12 : 11;
  }
  if (cls->GetIsArray()) return 8;
  return cls == (VMClass*)list->GetStringClass() ? 10 : 9;
}

int32_t VMDebugger::ClassSize(VMClass* cls) {
  static const int32_t sizes[] = {1, 1, 2, 2, 4, 8, 4, 8, 4, 4, 4};
  int32_t code = ClassClassify(cls);
  if (code <= 10) return sizes[code];
  if (code == 12 || cls == NULL) return 0;
  return 4;
}

uint32_t VMDebugger::MethodCodeSize(VMMethod* method) {
  VMbyteArray* code = method != NULL ? method->GetCode() : NULL;
  return code != NULL ? code->GetSize() : 0;
}

VMshortArray* VMDebugger::MethodLines(VMMethod* method) {
  if (method == NULL) return NULL;
  VMStatus status = 0;
  VMshortArray* lines = method->GetLineNumbers(&status);
  return status == 0 ? lines : NULL;
}

VMLocalDataMemberArray* VMDebugger::MethodLocals(VMMethod* method) {
  if (method == NULL) return NULL;
  VMStatus status = 0;
  VMLocalDataMemberArray* locals = method->GetLocalVariables(&status);
  return status == 0 ? locals : NULL;
}

VMClass* VMDebugger::FieldClass(VMDataMember* field) {
  VMLiteral* signature = field != NULL ? field->GetSignature() : NULL;
  // A method's descriptor names no one class.
  if (signature == NULL || signature->UTF8Length() == 0 || signature->ByteAt(0) == '(') return NULL;
  VMLoadableClass* definedIn = field->GetDefinedIn();
  // The type as the field's own class sees it, in that class's loader.
  VMClassLoader* loader = definedIn != NULL ? definedIn->GetClassLoader() : NULL;
  return VMClass::FindBySignature(GetNameSpace(), signature, loader);
}

VMClass* VMDebugger::FieldDynamicClass(jlong address, VMDataMember* field) {
  VMClass* declared = FieldClass(field);
  if (field == NULL || !field->IsRefField()) return declared;
  VMObject* object = ObjectFromAddr(address);
  return object != NULL ? object->GetClass() : declared;
}

int32_t VMDebugger::FieldAttributes(VMDataMember* field) { return field != NULL ? field->GetFlags() : 0; }

/* ---- classes on request ---- */

VMClass* VMDebugger::ClassLoad(const char* name) {
  JNIEnv* env = Host()->GetCurrentEnv();
  VMNameSpace* ns = GetNameSpace();
  if (env == NULL || env->thread == NULL || ns == NULL || name == NULL) return NULL;
  // While the program's threads are caught, the client looks with the loader it chose.
  VMword saved = env->userWord;
  if (ThreadNext(NULL) != NULL && GetLoaderID() != NULL) env->userWord = (VMword)GetLoaderID();
  // Invalid modified UTF-8 makes no literal and names no class.
  VMLiteral* literal = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  VMClass* cls = NULL;
  if (literal != NULL) {
    // Loaded and linked but not initialised: an initialiser run here would run Java on
    // the client's thread, and would wait for ever on a class whose initialisation a
    // stopped thread holds. Arrays are found with their element's loader.
    if (name[0] == '[')
      cls = VMClass::FindByName(ns, literal, NULL);
    else
      cls = VMLoadableClass::FindPrepared(env, literal, NULL);
  }
  env->thread->SetException(NULL);
  env->userWord = saved;
  return cls;
}
