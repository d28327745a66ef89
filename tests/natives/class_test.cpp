/* Class look-up, newInstance, the class queries and the security manager's natives. */
#include <gtest/gtest.h>

#include "natives_support.h"
#include "vmjvm.h"
#include "lang/javalang.h"

using natives_test::Machine;
using natives_test::Outcome;

namespace {

class ClassTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m.Create()); }
  void TearDown() override { m.Destroy(); }

  std::string ForName(const char* name) {
    return m.CallText("natives/ClassCases", "forNameOf", "(Ljava/lang/String;)Ljava/lang/String;",
                      {(VMword)m.String(name)});
  }
  std::string NewInstance(const char* method, VMClass* cls) {
    return m.CallText("natives/ClassCases", method, "(Ljava/lang/Class;)Ljava/lang/String;", {(VMword)cls});
  }
  VMClass* Named(const char* name) {
    VMClass* cls = VMClass::FindSystemClass(m.ns, name);
    if (cls != nullptr && cls->GetIsLoadable()) ((VMLoadableClass*)cls)->Prepare(nullptr);
    return cls;
  }

  Machine m;
};

TEST_F(ClassTest, ForNameFindsDottedAndSlashNamesAndNeverHandsOutAShell) {
  EXPECT_EQ("found java.lang.String", ForName("java.lang.String"));
  EXPECT_EQ("found java.lang.String", ForName("java/lang/String"));
  EXPECT_EQ("found natives.Shapes$Plain", ForName("natives.Shapes$Plain"));
  EXPECT_EQ("found [Ljava.lang.String;", ForName("[Ljava.lang.String;"));
  // A name no class file bears: ClassNotFoundException, every time, and no Class object.
  for (int i = 0; i < 3; i++)
    EXPECT_EQ("java.lang.ClassNotFoundException: natives.Missing", ForName("natives.Missing"));
  EXPECT_EQ("java.lang.ClassNotFoundException: [Lnatives.Missing;", ForName("[Lnatives.Missing;"));
  EXPECT_EQ("java.lang.ClassNotFoundException: null", m.CallText("natives/ClassCases", "forNameOf",
                                                               "(Ljava/lang/String;)Ljava/lang/String;", {0}));
  // forName0 with the initialise flag clear and a Java loader object: the loader object
  // is never taken for a machine loader, and a missing class is still missing.
  typedef jclass(JNICALL * ForName0)(JNIEnv*, jclass, jstring, jboolean, jobject);
  ForName0 forName0 =
      (ForName0)m.Native("java/lang/Class", "forName0", "(Ljava/lang/String;ZLjava/lang/ClassLoader;)Ljava/lang/Class;");
  ASSERT_NE(nullptr, forName0);
  jobject javaLoader = m.Local(m.String("not a machine loader"));
  EXPECT_EQ(nullptr, forName0(m.env, nullptr, m.Local(m.String("natives.Missing2")), 0, javaLoader));
  EXPECT_EQ("java.lang.ClassNotFoundException", m.TakeException());
  jclass found = forName0(m.env, nullptr, m.Local(m.String("natives.Shapes$NoDefault")), 0, javaLoader);
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ((VMObject*)Named("natives/Shapes$NoDefault"), VMJniHandle::UnHandle(m.env, found));
}

/* A Java class loader reaches the machine's loaders only to find system classes, which it
   gets initialised; it defines nothing from bytes. */
TEST_F(ClassTest, AJavaClassLoaderFindsSystemClassesAndDefinesNothing) {
  EXPECT_EQ(3, m.Call("natives/LoaderCases", "findsSystemClasses", "()I").Int());
  const char* sig = "(Ljava/lang/String;)Ljava/lang/String;";
  EXPECT_EQ("ClassNotFoundException null", m.CallText("natives/LoaderCases", "missing", sig, {(VMword)m.String("no.such.Cls")}));
  EXPECT_EQ("NullPointerException", m.CallText("natives/LoaderCases", "missing", sig, {0}));
  EXPECT_EQ("found natives.Shapes$Plain",
            m.CallText("natives/LoaderCases", "missing", sig, {(VMword)m.String("natives.Shapes$Plain")}));
  EXPECT_EQ("ClassFormatError class definition not supported: natives.Made",
            m.CallText("natives/LoaderCases", "define", "()Ljava/lang/String;"));
  EXPECT_EQ("NullPointerException", m.CallText("natives/LoaderCases", "resolveNull", "()Ljava/lang/String;"));
  EXPECT_EQ("null", m.CallText("natives/LoaderCases", "callerLoader", "()Ljava/lang/String;"));
}

TEST_F(ClassTest, AFailingInitialiserReachesTheCallerWithItsCause) {
  EXPECT_EQ("java.lang.ExceptionInInitializerError: null <- java.lang.RuntimeException: boom",
            ForName("natives.ThrowsInInit"));
  EXPECT_EQ("java.lang.InternalError: bad", ForName("natives.ErrorInInit"));
}

TEST_F(ClassTest, NewInstanceChecksAccessAndRefusesMachineShapedClasses) {
  EXPECT_EQ("made natives.Shapes$Plain", NewInstance("newInstanceOf", Named("natives/Shapes$Plain")));
  EXPECT_EQ("java.lang.InstantiationException: natives.Shapes$Abstract",
            NewInstance("newInstanceOf", Named("natives/Shapes$Abstract")));
  EXPECT_EQ("java.lang.InstantiationException: natives.Shapes$Face",
            NewInstance("newInstanceOf", Named("natives/Shapes$Face")));
  EXPECT_EQ("java.lang.InstantiationException: natives.Shapes$NoDefault",
            NewInstance("newInstanceOf", Named("natives/Shapes$NoDefault")));
  EXPECT_EQ("java.lang.InstantiationException: null", NewInstance("newInstanceOf", Named("int")));
  EXPECT_EQ("java.lang.InstantiationException: null", NewInstance("newInstanceOf", Named("[I")));
  EXPECT_EQ("java.lang.IllegalAccessException: java.lang.Class", NewInstance("newInstanceOf", Named("java/lang/Class")));
  EXPECT_EQ("java.lang.IllegalAccessException: java.lang.reflect.Method",
            NewInstance("newInstanceOf", Named("java/lang/reflect/Method")));
  EXPECT_EQ("java.lang.IllegalAccessException: natives.Shapes$PrivateConstructor",
            NewInstance("newInstanceOf", Named("natives/Shapes$PrivateConstructor")));
  EXPECT_EQ("made natives.Shapes$PrivateConstructor",
            m.CallText("natives/ClassCases", "privateSelf", "()Ljava/lang/String;"));
  EXPECT_EQ("made natives.Hidden", NewInstance("newInstanceOf", Named("natives/Hidden")));
  EXPECT_EQ("java.lang.IllegalAccessException: natives.Hidden",
            NewInstance("newInstanceFromOutside", Named("natives/Hidden")));
  EXPECT_EQ("made natives.Shapes$Plain", NewInstance("newInstanceFromOutside", Named("natives/Shapes$Plain")));
  EXPECT_EQ("java.lang.ExceptionInInitializerError: null <- java.lang.RuntimeException: boom",
            NewInstance("newInstanceOf", Named("natives/ThrowsInInit")));
  // From the host, with no Java caller: trusted, as the host's own JNI is.
  jobject made = JVM_NewInstance(m.env, m.Local(Named("natives/Hidden")));
  EXPECT_EQ("", m.TakeException());
  EXPECT_NE(nullptr, made);
}

TEST_F(ClassTest, QueriesAnswerJavaBooleansAndCopiesOfTheInterfaceList) {
  EXPECT_EQ(0, m.Call("natives/ClassCases", "queries", "()I").Int());
  EXPECT_EQ(0, m.Call("natives/ClassCases", "booleans", "()I").Int());
  EXPECT_EQ(0, m.Call("natives/ClassCases", "interfaces", "()I").Int());
  for (VMClass* cls : {Named("[I"), Named("natives/Shapes$Face"), Named("int"), Named("java/lang/Object")}) {
    jclass c = m.Local(cls);
    EXPECT_LE(JVM_IsArrayClass(m.env, c), 1);
    EXPECT_LE(JVM_IsInterface(m.env, c), 1);
    EXPECT_LE(JVM_IsPrimitiveClass(m.env, c), 1);
  }
  typedef jclass(JNICALL * Primitive)(JNIEnv*, jclass, jstring);
  Primitive primitive = (Primitive)m.Native("java/lang/Class", "getPrimitiveClass", "(Ljava/lang/String;)Ljava/lang/Class;");
  ASSERT_NE(nullptr, primitive);
  EXPECT_EQ((VMObject*)Named("int"), VMJniHandle::UnHandle(m.env, primitive(m.env, nullptr, m.Local(m.String("int")))));
  EXPECT_EQ(nullptr, primitive(m.env, nullptr, m.Local(m.String("java/lang/String"))));
  EXPECT_EQ(nullptr, primitive(m.env, nullptr, m.Local(m.String("x"))));
  EXPECT_EQ("", m.TakeException());
  EXPECT_EQ(nullptr, primitive(m.env, nullptr, nullptr));
  EXPECT_EQ("java.lang.NullPointerException", m.TakeException());
}

TEST_F(ClassTest, TheSecurityManagerWalksJavaFramesAndNeverAnswersFoundByDefault) {
  EXPECT_EQ("natives.Guard natives.Guard$B natives.Guard$A natives.Guard 1 -1 -1 -1 true NPE",
            m.CallText("natives/Guard", "run", "()Ljava/lang/String;"));
  // From the host, with no Java frame: not found, not depth 0.
  typedef jint(JNICALL * Depth)(JNIEnv*, jobject, jstring);
  typedef jint(JNICALL * LoaderDepth)(JNIEnv*, jobject);
  Depth classDepth = (Depth)m.Native("java/lang/SecurityManager", "classDepth", "(Ljava/lang/String;)I");
  LoaderDepth loaderDepth = (LoaderDepth)m.Native("java/lang/SecurityManager", "classLoaderDepth", "()I");
  ASSERT_TRUE(classDepth && loaderDepth);
  EXPECT_EQ(-1, classDepth(m.env, nullptr, m.Local(m.String("java.lang.Object"))));
  EXPECT_EQ(-1, loaderDepth(m.env, nullptr));
  EXPECT_EQ("", m.TakeException());
}

/* The native-library rows, called from bytecode on a record of the later generations'
   shape (tests/java/natives): load writes the whole handle, 1 for math, net and zip by
   the file-name part and 0 for anything else, and leaves it for a null name; find and
   unload are not built and say so. */
TEST_F(ClassTest, NativeLibraryRowsSetTheHandleOrSayTheyAreNotBuilt) {
  const char* sig = "(Ljava/lang/String;Z)Ljava/lang/String;";
  EXPECT_EQ("0 1 1 1 0 0 0 1 NPE 1",
            m.CallText("java/lang/ClassLoader$NativeLibrary", "loads", sig,
                       {(VMword)m.String("awt,zip,C:\\lib\\math.dll,/usr/lib/net.so,Zip,libzip.so,,zip."), 1}));
  // From its first value (-1): both words are written.
  EXPECT_EQ("1 ", m.CallText("java/lang/ClassLoader$NativeLibrary", "loads", sig, {(VMword)m.String("net"), 0}));
  EXPECT_EQ("0 ", m.CallText("java/lang/ClassLoader$NativeLibrary", "loads", sig, {(VMword)m.String("lib/awt"), 0}));
  EXPECT_EQ(
      "java.lang.InternalError: nyi: java_lang_ClassLoader$NativeLibrary_find\n"
      "java.lang.InternalError: nyi: java_lang_ClassLoader$NativeLibrary_unload\n"
      "handle 1",
      m.CallText("java/lang/ClassLoader$NativeLibrary", "unbuilt", "()Ljava/lang/String;"));
  // ClassLoader's resource-name row answers null for every name, null too, and throws
  // nothing (the library's ClassLoader has no such method: the row is called as bound).
  typedef jstring(JNICALL * AsName)(JNIEnv*, jclass, jstring);
  AsName asName =
      (AsName)m.Native("java/lang/ClassLoader", "getSystemResourceAsName0", "(Ljava/lang/String;)Ljava/lang/String;");
  ASSERT_NE(nullptr, asName);
  for (jstring name : {(jstring)m.Local(m.String("java/lang/Object.class")), (jstring)m.Local(m.String("")), (jstring)nullptr}) {
    EXPECT_EQ(nullptr, asName(m.env, nullptr, name));
    EXPECT_EQ("", m.TakeException());
  }
}

TEST(NativeLibraryNames, TheFileNamePartIsWhatTheDriveDirectoryAndExtensionLeave) {
  const struct {
    const char* path;
    const char* name;
    bool known;
  } cases[] = {
      {"zip", "zip", true},           {"C:\\lib\\zip.dll", "zip", true}, {"/usr/lib/net.so", "net", true},
      {"d:math", "math", true},       {"a\\b/c\\math.1.dll", "math.1", false}, {"Zip", "Zip", false},
      {"libzip.so", "libzip", false}, {"awt.dll", "awt", false},        {"dir.d/zip", "zip", true},
      {".dll", "", false},            {"", "", false},                  {"zip.", "zip", true},
      {"C:", "", false},              {"1:zip", "1:zip", false},         {"x/", "", false},
  };
  for (const auto& c : cases) {
    javalang::FileNameView view = javalang::FileNamePart(c.path);
    EXPECT_EQ(c.name, std::string(view.start, view.length)) << c.path;
    EXPECT_EQ(c.known, javalang::IsMachineLibrary(view)) << c.path;
  }
}

}  // namespace
