#include "natives_support.h"

#include <string.h>

#include "vmframe.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"

namespace natives_test {

std::string ClassDir(const char* suite) { return std::string(PUX_BUILD_DIR) + "/testclasses/" + suite; }

bool Machine::Create(int32_t version, const char* suite) {
  refhost::ResetHooks();
  if (captureFromStart) refhost::SetCapture(true);
  // Several suites separated by ':' go in that order.
  std::string first;
  for (const char* p = suite; p != nullptr && *p != 0;) {
    const char* end = strchr(p, ':');
    std::string one = end != nullptr ? std::string(p, end - p) : std::string(p);
    first += ClassDir(one.c_str()) + ":";
    p = end != nullptr ? end + 1 : nullptr;
  }
  refhost::SetClassPath(nullptr, first + ClassDir("natives") + ":" + ClassDir("natives_lines") + ":" + PUX_BUILD_DIR +
                                     "/classlib.zip");
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  args.jdkVersion = version;
  if (JNI_CreateJavaVM(&jvm, &env, &args) != 0) {
    jvm = nullptr;
    env = nullptr;
    return false;
  }
  vm = jvm->vm;
  ns = jvm->nameSpace;
  return true;
}

void Machine::Destroy() {
  if (jvm != nullptr) jvm->functions->DestroyJavaVM(jvm);
  jvm = nullptr;
  env = nullptr;
  vm = nullptr;
  ns = nullptr;
  refhost::ResetHooks();
}

VMLoadableClass* Machine::Class(const char* name) {
  VMLiteral* literal = VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu);
  return literal != nullptr ? VMLoadableClass::FindInitialized(env, literal, nullptr) : nullptr;
}

std::string Machine::Text(VMObject* string) {
  if (string == nullptr) return "<null>";
  char* utf8 = ((VMJavaLangString*)string)->MakeUTF8();
  std::string text = utf8 != nullptr ? utf8 : "<no memory>";
  VMJavaLangString::FreeUTF8(utf8);
  return text;
}

/* Held by a local reference of the machine's thread: the tests pass it on raw, across
   class loads and calls that may collect. */
VMObject* Machine::String(const char* text) {
  VMObject* string = (VMObject*)VMJavaLangString::CreateInstance(env, text);
  if (string != nullptr) (void)Local(string);
  return string;
}

static std::string ClassName(VMObject* object) {
  if (object == nullptr || !object->GetHasClass()) return "";
  char* name = object->GetClass()->GetDotNameUTF8();
  std::string text = name != nullptr ? name : "?";
  VMJavaLangString::FreeUTF8(name);
  return text;
}

std::string Machine::TakeException(Outcome* into) {
  VMJavaLangThrowable* e = env->thread->GetException();
  env->thread->SetException(nullptr);
  if (e == nullptr) return "";
  std::string name = ClassName((VMObject*)e);
  if (into != nullptr) {
    into->message = Text((VMObject*)e->GetMessage());
    VMLoadableClass* cls = e->GetLoadableClass();
    if (cls->GetCreateSize() > 2 && name == "java.lang.ExceptionInInitializerError") {
      VMObject* cause = (VMObject*)e->GetWord(2);
      into->cause = cause != nullptr ? ClassName(cause) + ": " + Text((VMObject*)cause->GetWord(1)) : "null";
    }
  }
  return name;
}

Outcome Machine::Call(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args) {
  Outcome out;
  VMLoadableClass* c = Class(cls);
  VMMethod* method = c != nullptr ? c->FindMethod(VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu),
                                                  VMLiteral::CreateInstance(ns, sig, 0xFFFFFFFFu), true)
                                  : nullptr;
  if (method == nullptr) {
    out.thrown = TakeException(&out);
    if (out.thrown.empty()) out.thrown = std::string("<no method ") + cls + "." + name + ">";
    return out;
  }
  VMword words[260] = {};
  uint32_t i = 0;
  for (VMword w : args) words[i++] = w;
  VMFrame::ExecuteJava(env, method, words);
  // A reference result is held like a made string: the caller may pass it on.
  const char* result = strchr(sig, ')');
  if (result != nullptr && (result[1] == 'L' || result[1] == '[') && words[0] != 0 &&
      env->thread->GetException() == nullptr)
    (void)Local((VMObject*)words[0]);
  out.words[0] = words[0];
  out.words[1] = words[1];
  out.thrown = TakeException(&out);
  return out;
}

std::string Machine::CallText(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args) {
  Outcome out = Call(cls, name, sig, args);
  if (!out.thrown.empty()) return "threw " + out.thrown + ": " + out.message;
  return Text(out.Object());
}

void* Machine::Native(const char* cls, const char* name, const char* sig) {
  VMNativeClassInfo* info = VMNativeClassInfo::Find(VMLiteral::CreateInstance(ns, cls, 0xFFFFFFFFu));
  if (info == nullptr) return nullptr;
  for (uint32_t i = 0; i < info->GetCount(); i++) {
    const JNINativeMethod& row = info->GetMethods()[i];
    if (strcmp(row.name, name) == 0 && strcmp(row.signature, sig) == 0) return row.fnPtr;
  }
  return nullptr;
}

}  // namespace natives_test
