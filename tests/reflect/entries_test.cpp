/* The support entries around reflection: class finders, the caller's class, member and
   declaring classes, access contexts, the entries provided but not implemented; and
   resource bundles read from property files. */
#include <string.h>
#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "classfile_support.h"
#include "natives_support.h"
#include "vmjvm.h"
#include "vmliteral.h"

using natives_test::Machine;

namespace {

class EntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = classfile_test::TempDir("reflectentries");
    mkdir((dir + "/reflect").c_str(), 0777);
    ASSERT_TRUE(m.Create(1, "reflect"));
    refhost::SetClassPath(nullptr, dir + ":" + refhost::GetClassPath(nullptr));
  }
  void TearDown() override {
    m.Destroy();
    classfile_test::RemoveTree(dir);
  }
  void Write(const std::string& relative, const std::string& text) {
    std::ofstream out(dir + "/" + relative, std::ios::binary);
    out << text;
  }
  std::string Name(jobject cls) {
    VMObject* o = VMJniHandle::UnHandle(m.env, cls);
    if (o == nullptr) return "<null>";
    char* text = ((VMClass*)o)->GetDotNameUTF8();
    std::string s = text;
    VMLiteral::FreeUTF8(text);
    return s;
  }
  jint LazyRuns() {
    natives_test::Outcome out = m.Call("reflect/InvokeCases", "lazyRuns", "()I");
    return out.Int();
  }
  Machine m;
  std::string dir;
};

TEST_F(EntriesTest, FindClassFromClassLoaderLoadsInitialisesAndFailsWithTheCause) {
  EXPECT_EQ("int", Name(JVM_FindClassFromClassLoader(m.env, "int", 1, nullptr, 1)));
  jclass lazy = JVM_FindClassFromClassLoader(m.env, "reflect/Lazy", 0, nullptr, 1);
  EXPECT_EQ("reflect.Lazy", Name(lazy));
  EXPECT_EQ(0, LazyRuns());
  EXPECT_EQ("reflect.Lazy", Name(JVM_FindClassFromClassLoader(m.env, "reflect/Lazy", 1, nullptr, 1)));
  EXPECT_EQ(1, LazyRuns());
  EXPECT_EQ(nullptr, JVM_FindClassFromClassLoader(m.env, "reflect/Broken", 1, nullptr, 1));
  EXPECT_EQ("java.lang.ExceptionInInitializerError", m.TakeException());
  natives_test::Outcome out;
  EXPECT_EQ(nullptr, JVM_FindClassFromClassLoader(m.env, "reflect/Missing", 0, nullptr, 1));
  EXPECT_EQ("java.lang.NoClassDefFoundError", m.TakeException(&out));
  EXPECT_EQ("reflect/Missing", out.message);
  EXPECT_EQ(nullptr, JVM_FindClassFromClassLoader(m.env, "reflect/Missing", 0, nullptr, 0));
  EXPECT_EQ("java.lang.ClassNotFoundException", m.TakeException(&out));
  EXPECT_EQ("reflect/Missing", out.message);
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(nullptr, JVM_FindClassFromClassLoader(m.env, "reflect/Missing", 0, nullptr, 0));
    EXPECT_EQ("java.lang.ClassNotFoundException", m.TakeException(&out));
    EXPECT_EQ("reflect/Missing", out.message);
  }
  // A class file that does not parse: its error, never a shell to use later.
  Write("reflect/Garbage.class", "\xCA\xFE\xBA\xBE not a class file");
  for (int i = 0; i < 2; i++) {
    EXPECT_EQ(nullptr, JVM_FindClassFromClassLoader(m.env, "reflect/Garbage", i, nullptr, 1));
    EXPECT_EQ("java.lang.ClassFormatError", m.TakeException(&out));
    EXPECT_EQ("reflect.Garbage", out.message);
  }
  EXPECT_EQ(nullptr, JVM_FindClassFromClassLoader(m.env, nullptr, 0, nullptr, 1));
  EXPECT_NE("", m.TakeException());
}

TEST_F(EntriesTest, PrimitiveClassesCallersAndComponents) {
  EXPECT_EQ("int", Name(JVM_FindPrimitiveClass(m.env, "int")));
  EXPECT_EQ("void", Name(JVM_FindPrimitiveClass(m.env, "void")));
  EXPECT_EQ(nullptr, JVM_FindPrimitiveClass(m.env, "java/lang/String"));
  EXPECT_EQ(nullptr, JVM_FindPrimitiveClass(m.env, "integer"));
  // A host thread has no Java frame above it.
  EXPECT_EQ(nullptr, JVM_GetCallerClass(m.env, 2));
  jclass intArray = m.Local((VMObject*)m.ns->GetArrayClassList()->GetVMintArrayClass());
  EXPECT_EQ("int", Name(JVM_GetComponentType(m.env, intArray)));
  EXPECT_EQ(nullptr, JVM_GetComponentType(m.env, m.Local((VMObject*)m.Class("reflect/Fixture"))));
  EXPECT_EQ(0, JVM_GetClassModifiers(m.env, m.Local((VMObject*)m.ns->GetClassList()->GetVMintClass())));
  EXPECT_EQ(nullptr, JVM_GetComponentType(m.env, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
  EXPECT_EQ("", m.TakeException());
}

/* Member classes are loaded, not initialised, and one that cannot be loaded is an error,
   never a null in the array. */
TEST_F(EntriesTest, MemberClassesAreLoadedNotInitialised) {
  jclass outer = m.Local((VMObject*)m.Class("reflect/PrivilegedCases"));
  jobjectArray members = JVM_GetDeclaredClasses(m.env, outer);
  ASSERT_NE(nullptr, members);
  VMClassArray* array = (VMClassArray*)VMJniHandle::UnHandle(m.env, members);
  ASSERT_EQ(11u, array->GetSize());
  for (uint32_t i = 0; i < array->GetSize(); i++) {
    VMLoadableClass* c = (VMLoadableClass*)array->Get(i);
    ASSERT_NE(nullptr, c);
    EXPECT_TRUE(c->GetIsLoaded());
    EXPECT_FALSE(c->GetIsInitialized(m.env));
    EXPECT_EQ("reflect.PrivilegedCases", Name(JVM_GetDeclaringClass(m.env, m.Local((VMObject*)c))));
  }
  // Without the class file of one member class (the others copied beside the outer one).
  std::string copy = classfile_test::TempDir("reflectmembers");
  mkdir((copy + "/reflect").c_str(), 0777);
  const char* kept[] = {"", "$Checked", "$Fails", "$Good", "$Half", "$Inherits", "$Overrides", "$Returns",
                        "$ReturnsNull", "$Unchecked", "$Whole"};
  for (const char* suffix : kept) {
    std::string file = std::string("/reflect/PrivilegedCases") + suffix + ".class";
    ASSERT_TRUE(classfile_test::WriteFileBytes(copy + file,
                                               classfile_test::ReadFileBytes(natives_test::ClassDir("reflect") + file)));
  }
  m.Destroy();
  ASSERT_TRUE(m.Create(1));
  refhost::SetClassPath(nullptr, copy + ":" + PUX_BUILD_DIR + "/classlib.zip");
  jclass outer2 = m.Local((VMObject*)m.Class("reflect/PrivilegedCases"));
  ASSERT_NE(nullptr, outer2);
  EXPECT_EQ(nullptr, JVM_GetDeclaredClasses(m.env, outer2));
  EXPECT_EQ("java.lang.NoClassDefFoundError", m.TakeException());
  classfile_test::RemoveTree(copy);
}

TEST_F(EntriesTest, AccessContexts) {
  typedef jobject(JNICALL * ContextFn)(JNIEnv*, jclass);
  ContextFn inherited = (ContextFn)m.Native("java/security/AccessController", "getInheritedAccessControlContext",
                                            "()Ljava/security/AccessControlContext;");
  ContextFn stack = (ContextFn)m.Native("java/security/AccessController", "getStackAccessControlContext",
                                        "()Ljava/security/AccessControlContext;");
  ASSERT_TRUE(inherited && stack);
  EXPECT_EQ(nullptr, inherited(m.env, nullptr));
  EXPECT_EQ(nullptr, stack(m.env, nullptr));
  VMObject* context = VMObject::CreateInstance(m.vm->GetHeap(), m.Class("java/security/AccessControlContext"),
                                               jallocFailFast);
  ASSERT_NE(nullptr, context);
  jobject self = m.Local((VMObject*)m.env->thread->GetJavaLangThread());
  jfieldID field = m.env->functions->GetFieldID(m.env, m.env->functions->GetObjectClass(m.env, self),
                                                "inheritedAccessControlContext", "Ljava/security/AccessControlContext;");
  ASSERT_NE(nullptr, field);
  m.env->functions->SetObjectField(m.env, self, field, m.Local(context));
  EXPECT_EQ(context, VMJniHandle::UnHandle(m.env, inherited(m.env, nullptr)));
  EXPECT_EQ(nullptr, stack(m.env, nullptr));
  typedef jobject(JNICALL * LoaderFn)(JNIEnv*, jclass);
  LoaderFn loader = (LoaderFn)m.Native("java/sql/DriverManager", "getCallerClassLoader", "()Ljava/lang/ClassLoader;");
  ASSERT_NE(nullptr, loader);
  EXPECT_EQ(nullptr, loader(m.env, nullptr));
  EXPECT_EQ("", m.TakeException());
}

/* Provided but not implemented: each says so in the log and as InternalError on the
   calling thread; none ends the host. */
TEST_F(EntriesTest, EntriesNotImplementedReportAndReturn) {
  refhost::SetCapture(true);
  jvalue none;
  none.j = 0;
  struct {
    const char* name;
    void (*call)(JNIEnv*, jvalue);
  } entries[] = {
      {"JVM_NewInstanceFromConstructor", [](JNIEnv* e, jvalue) { (void)JVM_NewInstanceFromConstructor(e, 0, 0); }},
      {"JVM_GetProtectionDomain", [](JNIEnv* e, jvalue) { (void)JVM_GetProtectionDomain(e, 0); }},
      {"JVM_ResolveClass", [](JNIEnv* e, jvalue) { JVM_ResolveClass(e, 0); }},
      {"JVM_FindLoadedClass", [](JNIEnv* e, jvalue) { (void)JVM_FindLoadedClass(e, 0, 0); }},
      {"JVM_GetField", [](JNIEnv* e, jvalue) { (void)JVM_GetField(e, 0, 0); }},
      {"JVM_GetPrimitiveField", [](JNIEnv* e, jvalue) { (void)JVM_GetPrimitiveField(e, 0, 0, 0); }},
      {"JVM_SetField", [](JNIEnv* e, jvalue) { JVM_SetField(e, 0, 0, 0); }},
      {"JVM_SetPrimitiveField", [](JNIEnv* e, jvalue v) { JVM_SetPrimitiveField(e, 0, 0, v, 0); }},
      {"JVM_GetArrayLength", [](JNIEnv* e, jvalue) { (void)JVM_GetArrayLength(e, 0); }},
      {"JVM_GetArrayElement", [](JNIEnv* e, jvalue) { (void)JVM_GetArrayElement(e, 0, 0); }},
      {"JVM_GetPrimitiveArrayElement", [](JNIEnv* e, jvalue) { (void)JVM_GetPrimitiveArrayElement(e, 0, 0, 0); }},
      {"JVM_SetArrayElement", [](JNIEnv* e, jvalue) { JVM_SetArrayElement(e, 0, 0, 0); }},
      {"JVM_SetPrimitiveArrayElement", [](JNIEnv* e, jvalue v) { JVM_SetPrimitiveArrayElement(e, 0, 0, v, 0); }},
      {"JVM_NewArray", [](JNIEnv* e, jvalue) { (void)JVM_NewArray(e, 0, 0); }},
      {"JVM_NewMultiArray", [](JNIEnv* e, jvalue) { (void)JVM_NewMultiArray(e, 0, 0); }},
  };
  for (const auto& entry : entries) {
    entry.call(m.env, none);
    natives_test::Outcome out;
    EXPECT_EQ("java.lang.InternalError", m.TakeException(&out)) << entry.name;
    EXPECT_EQ(std::string("nyi: ") + entry.name, out.message);
    EXPECT_NE(std::string::npos, refhost::CapturedLog().find(std::string("nyi: ") + entry.name + "\n")) << entry.name;
  }
  JVM_SetProtectionDomain(m.env, nullptr, nullptr);
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(0, refhost::FatalExitCount());
}

TEST_F(EntriesTest, ResourceBundlesFromPropertyFiles) {
  Write("reflect/Strings.properties", "greeting=hello\ncount=3\nonly_fr=non\n");
  Write("reflect/Strings_de.properties", "# a comment\ngreeting = hallo\n");
  Write("reflect/Mixed.properties", "greeting=from a file\n");
  Write("reflect/Mixed_de.properties", "count=from the German file\n");
  EXPECT_EQ(
      "de: java.util.PropertyResourceBundle: count greeting only_fr | greeting=hallo count=3 only_fr=non words "
      "missing (words) nothing missing (nothing)\n"
      "fr: java.util.PropertyResourceBundle: count greeting only_fr | greeting=hello count=3 only_fr=non words "
      "missing (words) nothing missing (nothing)\n"
      "mixed: java.util.PropertyResourceBundle: count greeting | greeting=from a file count=from the German file "
      "only_fr missing (only_fr) words missing (words) nothing missing (nothing)\n",
      m.CallText("reflect/BundleCases", "fromProperties", "()Ljava/lang/String;"));
}

}  // namespace
