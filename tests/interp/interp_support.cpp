#include "interp_support.h"

#include <string.h>

#include "classfile_world.h"
#include "test_host.h"
#include "vmclassloader.h"
#include "vmconstantpool.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"

namespace interp_test {

namespace {

/* Throwable's constructors record the frames through this library native. */
jobject JNICALL FillInStackTrace(JNIEnv* env, jobject self) {
  VMObject* t = VMJniHandle::UnHandle(env, self);
  if (t != nullptr) ((VMJavaLangThrowable*)t)->FillInFrameTrace(env);
  return self;
}

JNINativeMethod throwableNatives[] = {
    {(char*)"fillInStackTrace", (char*)"()Ljava/lang/Throwable;", (void*)&FillInStackTrace}};

VMLiteral* Lit(VMNameSpace* ns, const char* text) { return VMLiteral::CreateInstance(ns, text, 0xFFFFFFFFu); }

}  // namespace

std::string ClassDir(const char* suite) { return std::string(PUX_BUILD_DIR) + "/testclasses/" + suite; }

bool World::Create(const std::string& classDir, uint32_t stackBytes) {
  // The class world of the parser tests, plus what the interpreter reads besides.
  classfile_test::ClassWorld base;
  if (!base.Create(classDir + ":" + PUX_BUILD_DIR + "/classlib.zip")) {
    base.Destroy();
    return false;
  }
  ns = base.ns;
  // As a machine made with the default creation arguments: every class is verified.
  ns->SetRunVerifier();
  if (JNI_RegisterNative("java/lang/Throwable", throwableNatives, 1) != 0) return false;
  HHeap* heap = ns->GetHeap();
  VMClassLoader* loader = base.loader;
  VMClassList* classes = ns->GetClassList();
  // The array classes in the list's order: boolean byte short char int long float double.
  static const char* const kArrays[] = {"[Z", "[B", "[S", "[C", "[I", "[J", "[F", "[D"};
  for (int i = 0; i < 8; i++) {
    VMClass* cls = VMClass::FindByName(ns, Lit(ns, kArrays[i]), loader);
    if (cls == nullptr) return false;
    ns->GetArrayClassList()->SetReference(i, (VMObject*)cls);
  }
  VMrefArray* exceptions = VMrefArray::CreateInstance(heap, VMNameSpace::ExceptionClassCount, jallocFailFast,
                                                      VMTag_VMExceptionClasses);
  if (exceptions == nullptr) return false;
  ns->SetExceptionClasses((VMLoadableClassArray*)exceptions);

  jvm = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  if (jvm == nullptr) return false;
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = ns;
  vm = VM::CreateInstance(stackBytes, jvm);
  if (vm == nullptr) return false;
  jvm->vm = vm;
  if (Attach() == nullptr) return false;
  // java/lang/Object first, as the library's start-up does: every class builds on it.
  VMLoadableClass* object = classes->GetObjectClass();
  if (object->Initialize(env) != 0) return false;
  vm->SetOutOfMemoryError(VMJavaLangOutOfMemoryError::CreateInstance(env));
  return vm->GetOutOfMemoryError() != nullptr;
}

JNIEnv* World::Attach() {
  JNIEnv* e = VMJniCreateEnv(jvm);
  if (e == nullptr) return nullptr;
  if (VMJniAttachEnv(jvm, e) != 0) {
    refhost::Functions()->HeapFree(nullptr, e);
    return nullptr;
  }
  env = e;
  return e;
}

void World::Detach() {
  VMJniDetachEnv(jvm);
  VMJniClearHostEnv();
  env = nullptr;
}

void World::Destroy() {
  if (vm != nullptr) {
    if (env != nullptr) Detach();
    if (vm->Destroy() == 0) ns->Destroy();
  } else if (ns != nullptr) {
    ns->Destroy();
  }
  if (jvm != nullptr) {
    VMJniCallDestroyKeys(jvm);  // as DestroyJavaVM does last
    refhost::Functions()->HeapFree(nullptr, jvm);
  }
  vm = nullptr;
  ns = nullptr;
  jvm = nullptr;
  refhost::SetClassPath(nullptr, "");
}

VMLoadableClass* World::Class(const char* name) {
  VMClass* cls = VMClass::FindByName(ns, Lit(ns, name), nullptr);
  return cls != nullptr && cls->GetIsLoadable() ? (VMLoadableClass*)cls : nullptr;
}

VMMethod* World::Method(const char* cls, const char* name, const char* sig) {
  VMLoadableClass* c = Class(cls);
  if (c == nullptr || c->Prepare(nullptr) != 0) return nullptr;
  return c->FindMethod(Lit(ns, name), Lit(ns, sig), true);
}

std::string World::Text(VMObject* string) {
  if (string == nullptr) return "";
  char* utf8 = ((VMJavaLangString*)string)->MakeUTF8();
  std::string text = utf8 != nullptr ? utf8 : "";
  VMJavaLangString::FreeUTF8(utf8);
  return text;
}

std::string World::TakeException(Outcome* into) {
  VMThread* thread = env->thread;
  VMJavaLangThrowable* e = thread->GetException();
  thread->SetException(nullptr);
  if (e == nullptr) return "";
  VMLoadableClass* cls = e->GetLoadableClass();
  char* name = cls != nullptr ? ((VMClass*)cls)->GetDotNameUTF8() : nullptr;
  std::string text = name != nullptr ? name : "?";
  VMJavaLangString::FreeUTF8(name);
  if (into != nullptr) {
    into->exception = e;
    into->message = Text((VMObject*)e->GetMessage());
    // Only a reference word can hold a wrapped exception: a user exception's own field
    // there is an int.
    VMboolArray* refs = cls != nullptr ? cls->GetCreateBits() : nullptr;
    VMObject* cause = cls != nullptr && cls->GetCreateSize() > 2 && refs != nullptr && refs->Get(2)
                          ? (VMObject*)e->GetWord(2)
                          : nullptr;
    if (cause != nullptr && cause->GetHasClass()) {
      char* causeName = cause->GetClass()->GetDotNameUTF8();
      into->cause = causeName != nullptr ? causeName : "";
      VMJavaLangString::FreeUTF8(causeName);
    }
  }
  return text;
}

Outcome World::Call(VMMethod* method, std::initializer_list<VMword> args) {
  Outcome out;
  if (method == nullptr) {
    out.thrown = "<no method>";
    return out;
  }
  VMword words[260] = {};
  uint32_t i = 0;
  for (VMword w : args) words[i++] = w;
  VMLoadableClass* cls = method->GetDefinedIn();
  VMStatus status = cls->Initialize(env);
  if (status != 0) {
    out.thrown = TakeException(&out);
    if (out.thrown.empty()) out.thrown = "<status " + std::to_string(status) + ">";
    return out;
  }
  VMFrame::ExecuteJava(env, method, words);
  out.words[0] = words[0];
  out.words[1] = words[1];
  out.thrown = TakeException(&out);
  return out;
}

Outcome World::Call(const char* cls, const char* name, const char* sig, std::initializer_list<VMword> args) {
  return Call(Method(cls, name, sig), args);
}

VMJavaLangString* World::String(const char* text) { return VMJavaLangString::CreateInstance(env, text); }

}  // namespace interp_test
