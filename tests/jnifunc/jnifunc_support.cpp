#include "jnifunc_support.h"

#include <string.h>
#include <sys/stat.h>

#include "classfile_support.h"
#include "vmarray.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"

using classfile_test::Bytes;
using classfile_test::ClassBuilder;

namespace jnifunc_test {

namespace {

void Write(const std::string& dir, const std::string& name, const ClassBuilder& c) {
  std::string path = dir;
  size_t slash = 0;
  // Directories of the package.
  while ((slash = name.find('/', slash)) != std::string::npos) {
    std::string sub = dir + "/" + name.substr(0, slash);
    mkdir(sub.c_str(), 0777);
    slash++;
  }
  ASSERT_TRUE(classfile_test::WriteFileBytes(dir + "/" + name + ".class", c.Build()));
}

/* Class files javac would not make, or whose layout the tests must know for sure:
   - jnifunc/gen/Wide: 195 int fields, then a long at body word 195 (its high word is the
     first word of the first piece) and a double at 197; the same for its statics;
   - jnifunc/gen/Piece: 259 ints, a long at word 259 (the last word of the first piece, its
     high word in the next piece), 62 ints, a double at 323 (the last word of the second);
   - jnifunc/gen/P and jnifunc/gen/Q: Q extends P and implements jnifunc/I; P's public im() answers 3,
     Q declares a private im() answering 4, which has a vtable slot of its own above P's
     and implements nothing. */
void WriteGeneratedClasses(const std::string& dir) {
  {
    ClassBuilder c = classfile_test::SmallClass("jnifunc/gen/Wide");
    for (int i = 0; i < 195; i++) c.AddField(0x0001, "p" + std::to_string(i), "I");
    c.AddField(0x0001, "w", "J");
    c.AddField(0x0001, "wd", "D");
    for (int i = 0; i < 195; i++) c.AddField(0x0009, "sp" + std::to_string(i), "I");
    c.AddField(0x0009, "sw", "J");
    c.AddField(0x0009, "swd", "D");
    Write(dir, "jnifunc/gen/Wide", c);
  }
  {
    ClassBuilder c = classfile_test::SmallClass("jnifunc/gen/Piece");
    for (int i = 0; i < 259; i++) c.AddField(0x0001, "p" + std::to_string(i), "I");
    c.AddField(0x0001, "w", "J");
    for (int i = 0; i < 62; i++) c.AddField(0x0001, "q" + std::to_string(i), "I");
    c.AddField(0x0001, "wd", "D");
    Write(dir, "jnifunc/gen/Piece", c);
  }
  {
    ClassBuilder c = classfile_test::SmallClass("jnifunc/gen/P");
    c.AddMethod(0x0001, "im", "()I", {c.CodeAttribute(1, 1, Bytes{0x06, 0xAC})});  // iconst_3 ireturn
    Write(dir, "jnifunc/gen/P", c);
  }
  {
    ClassBuilder c = classfile_test::SmallClass("jnifunc/gen/Q", "jnifunc/gen/P");
    c.interfaces.push_back(c.Class("jnifunc/I"));
    c.AddMethod(0x0002, "im", "()I", {c.CodeAttribute(1, 1, Bytes{0x07, 0xAC})});  // iconst_4 ireturn
    Write(dir, "jnifunc/gen/Q", c);
  }
}

/* The few natives of the class library that the test classes reach (string
   concatenation copies arrays, Object.hashCode), written through the env table where it
   serves. The library's own natives are other work. */
jint JNICALL ObjectHashCode(JNIEnv* env, jobject self) {
  VMObject* o = VMJniHandle::UnHandle(env, self);
  return o != nullptr ? (jint)o->GetIdentityHashCode(env->thread->GetVM()) : 0;
}

jclass JNICALL ObjectGetClass(JNIEnv* env, jobject self) { return env->functions->GetObjectClass(env, self); }

void JNICALL SystemArraycopy(JNIEnv* env, jclass, jobject src, jint srcPos, jobject dst, jint dstPos, jint length) {
  VMArray* from = (VMArray*)VMJniHandle::UnHandle(env, src);
  VMArray* to = (VMArray*)VMJniHandle::UnHandle(env, dst);
  if (from == nullptr || to == nullptr) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, nullptr);
    return;
  }
  if (srcPos < 0 || dstPos < 0 || length < 0 || (uint32_t)srcPos + (uint32_t)length > from->GetSize() ||
      (uint32_t)dstPos + (uint32_t)length > to->GetSize()) {
    VMJniThrowInternal(env, VMStatus_ArrayIndexOutOfBoundsException, nullptr);
    return;
  }
  to->Copy(from, (uint32_t)srcPos, (uint32_t)dstPos, (uint32_t)length);
}

jint JNICALL SystemIdentityHashCode(JNIEnv* env, jclass, jobject o) { return ObjectHashCode(env, o); }

jclass JNICALL ClassGetPrimitiveClass(JNIEnv* env, jclass, jstring name) {
  const char* text = env->functions->GetStringUTFChars(env, name, nullptr);
  if (text == nullptr) return nullptr;
  VMClass* cls = VMClass::FindByName(env->javaVM->nameSpace, text, nullptr);
  env->functions->ReleaseStringUTFChars(env, name, text);
  return cls != nullptr && cls->GetIsPrimitive() ? VMJniHandle::NewLocal(env, (VMObject*)cls) : nullptr;
}

JNINativeMethod classNatives[] = {
    {(char*)"getPrimitiveClass", (char*)"(Ljava/lang/String;)Ljava/lang/Class;", (void*)&ClassGetPrimitiveClass}};
JNINativeMethod objectNatives[] = {
    {(char*)"hashCode", (char*)"()I", (void*)&ObjectHashCode},
    {(char*)"getClass", (char*)"()Ljava/lang/Class;", (void*)&ObjectGetClass}};
JNINativeMethod systemNatives[] = {
    {(char*)"arraycopy", (char*)"(Ljava/lang/Object;ILjava/lang/Object;II)V", (void*)&SystemArraycopy},
    {(char*)"identityHashCode", (char*)"(Ljava/lang/Object;)I", (void*)&SystemIdentityHashCode}};

}  // namespace

bool Machine::Create(VMNameSpace* ns) {
  jvm = (JavaVM*)refhost::Functions()->HeapAlloc(nullptr, sizeof(JavaVM), jallocFailFast);
  if (jvm == nullptr) return false;
  memset(jvm, 0, sizeof(JavaVM));
  jvm->nameSpace = ns;
  vm = VM::CreateInstance(1024, jvm);
  if (vm == nullptr) return false;
  jvm->vm = vm;
  env = VMJniCreateEnv(jvm);
  if (env == nullptr || VMJniAttachEnv(jvm, env) != 0) return false;
  if (ns->GetClassList()->GetObjectClass()->Initialize(env) != 0) return false;
  vm->SetOutOfMemoryError(VMJavaLangOutOfMemoryError::CreateInstance(env));
  return vm->GetOutOfMemoryError() != nullptr;
}

void Machine::Destroy() {
  if (vm != nullptr) {
    if (env != nullptr) VMJniDetachEnv(jvm);
    // The world's machine still uses the name space.
    (void)vm->Destroy();
  }
  if (jvm != nullptr) refhost::Functions()->HeapFree(nullptr, jvm);
  vm = nullptr;
  jvm = nullptr;
  env = nullptr;
}

JNIEnv* AttachThisThread(JavaVM* jvm) {
  JNIEnv* e = VMJniCreateEnv(jvm);
  if (e == nullptr) return nullptr;
  if (VMJniAttachEnv(jvm, e) != 0) {
    refhost::Functions()->HeapFree(nullptr, e);
    return nullptr;
  }
  return e;
}

void DetachThisThread(JavaVM* jvm) { VMJniDetachEnv(jvm); }

void JniTest::SetUp() {
  genDir = classfile_test::TempDir("jnifunc");
  WriteGeneratedClasses(genDir);
  ASSERT_TRUE(world.Create(interp_test::ClassDir("jnifunc") + ":" + genDir)) << "the test world could not be made";
  env = world.env;
  f = env->functions;
  // What the library's start-up does first: the machine makes strings and class
  // objects of these two classes from the start.
  ASSERT_EQ(0, world.Class("java/lang/String")->Initialize(env));
  ASSERT_EQ(0, world.Class("java/lang/Class")->Initialize(env));
  ASSERT_EQ(0, JNI_RegisterNative("java/lang/Object", objectNatives, 2));
  ASSERT_EQ(0, JNI_RegisterNative("java/lang/System", systemNatives, 2));
  ASSERT_EQ(0, JNI_RegisterNative("java/lang/Class", classNatives, 1));
  // Object is prepared already: its natives are bound now.
  VMLoadableClass::RegisterNativeMethods(world.ns, "java/lang/Object");
  VMLoadableClass::RegisterNativeMethods(world.ns, "java/lang/Class");
}

void JniTest::TearDown() {
  refhost::ResetHooks();
  world.Destroy();
  classfile_test::RemoveTree(genDir);
}

jclass JniTest::Cls(const char* name) {
  jclass c = f->FindClass(env, name);
  EXPECT_NE(nullptr, c) << name << ": " << Thrown() << " " << message;
  return c;
}

jmethodID JniTest::Method(const char* cls, const char* name, const char* sig) {
  jmethodID m = f->GetMethodID(env, Cls(cls), name, sig);
  EXPECT_NE(nullptr, m) << cls << "." << name << sig;
  return m;
}

jmethodID JniTest::StaticMethod(const char* cls, const char* name, const char* sig) {
  jmethodID m = f->GetStaticMethodID(env, Cls(cls), name, sig);
  EXPECT_NE(nullptr, m) << cls << "." << name << sig;
  return m;
}

jfieldID JniTest::Field(const char* cls, const char* name, const char* sig) {
  jfieldID id = f->GetFieldID(env, Cls(cls), name, sig);
  EXPECT_NE(nullptr, id) << cls << "." << name;
  return id;
}

jfieldID JniTest::StaticField(const char* cls, const char* name, const char* sig) {
  jfieldID id = f->GetStaticFieldID(env, Cls(cls), name, sig);
  EXPECT_NE(nullptr, id) << cls << "." << name;
  return id;
}

jobject JniTest::New(const char* cls) {
  jclass c = Cls(cls);
  jmethodID init = f->GetMethodID(env, c, "<init>", "()V");
  jobject o = f->NewObject(env, c, init);
  EXPECT_NE(nullptr, o) << cls << ": " << Thrown() << " " << message;
  return o;
}

std::string JniTest::Thrown() {
  interp_test::Outcome out;
  std::string name = world.TakeException(&out);
  message = out.message;
  return name;
}

jint JniTest::Locals() { return (jint)env->thread->GetJNIHandleArray()->GetCount(); }

std::string JniTest::Text(jstring s) { return world.Text(Obj(s)); }

}  // namespace jnifunc_test
