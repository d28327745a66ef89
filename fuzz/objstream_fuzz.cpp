/* Fuzz target of the object-stream reader: every input is a stream that a Java program
   reads with ObjectInputStream.readObject until it ends, on a machine made through
   JNI_CreateJavaVM over the class library and the classes of tests/java/objstream (which
   the streams may name: fixtures with hooks, Externalizable ones, evolved ones, ones
   without a valid constructor, and the library's own Vector, Hashtable and wrappers).

   After each input: no sanitizer report, and the reading ended either with the stream or
   with an exception a reader expects (an IOException, ClassNotFoundException,
   ClassCastException, ArrayStoreException, OutOfMemoryError or StackOverflowError);
   anything else (a NullPointerException, an index or argument error, an error of the
   machine) is a fault of the streams or their natives and stops the run. A good stream
   then reads correctly on the same machine. Built and run by fuzz/run.sh objstream. */
#define PUX_FUZZ_NAME "objstream_fuzz"
#include "fuzz_common.h"

#include <string>

#include "vm.h"
#include "vmjni.h"

namespace {

struct Fixture {
  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  jclass cases = nullptr;
  jmethodID readBytes = nullptr;
  jmethodID graphBytes = nullptr;
  uint32_t inputs = 0;
};

Fixture* gFixture = nullptr;

[[noreturn]] void Fail(const char* what, const std::string& detail = "") {
  fprintf(stderr, "objstream_fuzz: %s %s\n", what, detail.c_str());
  abort();
}

Fixture* MakeFixture() {
  Fixture* f = new Fixture();
  JNIHostFunctions* host = refhost::Functions();
  JNI_SetHostFunctions(host);
  refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/testclasses/objstream:" + fuzz_common::ClassPath());
  refhost::SetCapture(true);
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = host;
  args.name = "objstream_fuzz";
  if (JNI_CreateJavaVM(&f->vm, &f->env, &args) != 0) Fail("no machine");
  // A small heap, so that a stream that claims a huge array fails fast.
  refhost::SetHeapCapacity(f->vm->vm->GetHeap(), 64u << 20);
  JNIEnv* env = f->env;
  f->cases = (jclass)env->functions->FindClass(env, "objstream/Cases");
  if (f->cases == nullptr) Fail("no objstream/Cases");
  f->readBytes = env->functions->GetStaticMethodID(env, f->cases, "readBytes", "([B)Ljava/lang/String;");
  f->graphBytes = env->functions->GetStaticMethodID(env, f->cases, "graphBytes", "()[B");
  if (f->readBytes == nullptr || f->graphBytes == nullptr) Fail("no methods");
  return f;
}

void DestroyFixture(Fixture* f) {
  if (f->vm->functions->DestroyJavaVM(f->vm) != 0) Fail("the machine cannot be destroyed");
  delete f;
}

std::string Read(Fixture* f, const uint8_t* data, size_t size) {
  JNIEnv* env = f->env;
  const JNINativeInterface_* fn = env->functions;
  jbyteArray bytes = fn->NewByteArray(env, (jsize)size);
  if (bytes == nullptr) {
    fn->ExceptionClear(env);
    return "ok (no array)";
  }
  fn->SetByteArrayRegion(env, bytes, 0, (jsize)size, (const jbyte*)data);
  jstring result = (jstring)fn->CallStaticObjectMethod(env, f->cases, f->readBytes, bytes);
  fn->DeleteLocalRef(env, bytes);
  if (fn->ExceptionCheck(env)) {
    char* text = fn->GetPendingExceptionText(env);
    std::string s = text != nullptr ? text : "?";
    fn->FreeExceptionText(env, text);
    fn->ExceptionClear(env);
    // Only a want of memory may escape the catch-all of the Java side.
    if (s.find("OutOfMemoryError") != std::string::npos || s.find("StackOverflowError") != std::string::npos)
      return "ok (" + s + ")";
    Fail("escaped:", s);
  }
  if (result == nullptr) Fail("no answer");
  const char* chars = fn->GetStringUTFChars(env, result, nullptr);
  std::string out = chars != nullptr ? chars : "";
  fn->ReleaseStringUTFChars(env, result, chars);
  fn->DeleteLocalRef(env, result);
  return out;
}

bool Expected(const std::string& r) {
  static const char* const kAllowed[] = {
      "ok",
      "java.io.",
      "java.lang.ClassNotFoundException",
      "java.lang.ClassCastException",
      "java.lang.ArrayStoreException",
      "java.lang.OutOfMemoryError",
      "java.lang.StackOverflowError",
  };
  for (const char* p : kAllowed)
    if (r.compare(0, strlen(p), p) == 0) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (gFixture == nullptr) {
    gFixture = MakeFixture();
  } else if (++gFixture->inputs % 3000 == 0) {
    // Classes named by the inputs pile up in the name space: a fresh machine now and then.
    DestroyFixture(gFixture);
    gFixture = MakeFixture();
  }
  Fixture* f = gFixture;
  if (size > 65536) return 0;
  std::string r = Read(f, data, size);
  if (getenv("PUX_OBJSTREAM_SHOW") != nullptr) fprintf(stderr, "objstream_fuzz: %s\n", r.c_str());
  if (!Expected(r)) Fail("unexpected outcome:", r);
  // The machine still reads a good stream as it should.
  if (f->inputs % 64 == 0) {
    JNIEnv* env = f->env;
    jbyteArray good = (jbyteArray)env->functions->CallStaticObjectMethod(env, f->cases, f->graphBytes);
    if (good == nullptr) Fail("no good stream");
    jsize n = env->functions->GetArrayLength(env, good);
    std::string bytes(n, 0);
    env->functions->GetByteArrayRegion(env, good, 0, n, (jbyte*)&bytes[0]);
    env->functions->DeleteLocalRef(env, good);
    std::string back = Read(f, (const uint8_t*)bytes.data(), bytes.size());
    if (back.compare(0, 3, "ok ") != 0) Fail("a good stream fails after the input:", back);
  }
  return 0;
}
