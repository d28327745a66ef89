/* Classes and members by name: FindClass and the loader-aware variants, static
   initialisers seen through them, DefineClass, the class relations, public fields and
   overloaded methods, the class enumeration, loaders by host id and class-file names. */
#include "jni_support.h"

#include "safe_wait.h"

#include <fstream>
#include <iterator>

#include "vmclass.h"
#include "vmclassloader.h"
#include "vmhandlearray.h"
#include "vmjavalangstring.h"
#include "vmjni_entries.h"
#include "vmliteral.h"

namespace jni_test {
namespace {

class ClassTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    refhost::SetClassPath((void*)7, AltTestClasses());
    vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    ns = vm->nameSpace;
  }
  void TearDown() override {
    if (vm != nullptr) Destroy(vm);
    JniTest::TearDown();
  }
  jclass Find(const char* name) { return env->functions->FindClass(env, name); }
  VMClass* Cls(jobject h) { return VMJniUnHandleClass(env, h); }
  bool HasField(jclass cls, const char* name) {
    char* sig = env->functions->FindPublicFieldNameUTF(env, cls, name, nullptr, nullptr);
    env->functions->FreeExceptionText(env, sig);
    return sig != nullptr;
  }
  std::vector<uint8_t> ClassBytes(const char* name) {
    std::ifstream in(TestClasses() + "/" + name + ".class", std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  std::string Text(jstring s) {
    VMJavaLangString* string = (VMJavaLangString*)VMJniHandle::UnHandle(env, s);
    char* utf8 = string != nullptr ? string->MakeUTF8() : nullptr;
    std::string text = utf8 != nullptr ? utf8 : "<null>";
    VMJavaLangString::FreeUTF8(utf8);
    return text;
  }

  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  VMNameSpace* ns = nullptr;
};

TEST_F(ClassTest, SlashesOrDotsFindOneClassAndUnknownNamesRaiseNothing) {
  jclass slashed = Find("java/lang/String");
  ASSERT_NE(nullptr, slashed);
  EXPECT_EQ(Cls(slashed), Cls(Find("java.lang.String")));
  EXPECT_EQ((VMClass*)ns->GetClassList()->GetStringClass(), Cls(slashed));
  EXPECT_EQ(nullptr, Find(nullptr));
  EXPECT_EQ(nullptr, Find("bad\xC0"));  // not modified UTF-8: never interned
  EXPECT_EQ(nullptr, env->thread->GetException());
  EXPECT_EQ(nullptr, Find("no/such/Clazz"));
  EXPECT_EQ("java.lang.NoClassDefFoundError", PendingClass(env));
  env->functions->ExceptionClear(env);
  jclass array = Find("[Ljava/lang/String;");
  ASSERT_NE(nullptr, array);
  EXPECT_TRUE(Cls(array)->GetIsArray());
}

TEST_F(ClassTest, NoInitPreparesAndFindClassInitialises) {
  jclass noInit = env->functions->FindClassNoInit(env, "Init");
  ASSERT_NE(nullptr, noInit);
  VMLoadableClass* cls = (VMLoadableClass*)Cls(noInit);
  EXPECT_TRUE(cls->GetIsPrepared());
  EXPECT_FALSE(cls->GetIsInitialized(env));
  EXPECT_EQ(cls, (VMLoadableClass*)Cls(Find("Init")));
  EXPECT_TRUE(cls->GetIsInitialized(env));
}

TEST_F(ClassTest, AFailingStaticInitialiserThenNoClassDefFoundError) {
  refhost::SetCapture(true);
  EXPECT_EQ(nullptr, Find("Boom"));
  // The interpreter gives the division's exception its message, and the wrapper its
  // frames, where it makes them: the description's form is this interface's.
  std::string text = PendingText(env);
  EXPECT_EQ(0u, text.find("java.lang.ExceptionInInitializerError( java.lang.ArithmeticException")) << text;
  EXPECT_EQ(text.size() - 2, text.rfind(" )")) << text;
  std::string expected = text + "\n";
  for (jint i = 0;; i++) {
    char* line = env->functions->GetPendingExceptionStackLine(env, i);
    if (line == nullptr) break;
    expected += std::string("    at ") + line + "\n";
    env->functions->FreeExceptionText(env, line);
  }
  env->functions->ExceptionDescribe(env);
  EXPECT_EQ(expected, refhost::CapturedStderr());
  EXPECT_NE(nullptr, env->thread->GetException()) << "describing keeps the exception pending";
  env->functions->ExceptionClear(env);
  EXPECT_EQ(nullptr, Find("Boom"));
  EXPECT_EQ("java.lang.NoClassDefFoundError", PendingClass(env));
  env->functions->ExceptionClear(env);
}

TEST_F(ClassTest, LoaderIdsChooseTheClassPath) {
  // Loader 7 first: a class the system loader holds is every loader's.
  jclass theirs = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  ASSERT_NE(nullptr, theirs);
  EXPECT_TRUE(HasField(theirs, "alt"));
  jclass mine = Find("Twin");
  ASSERT_NE(nullptr, mine);
  EXPECT_TRUE(HasField(mine, "here"));
  EXPECT_NE(Cls(mine), Cls(theirs));
  // The env's current loader id is what plain FindClass uses.
  EXPECT_EQ(nullptr, env->functions->GetEnvUserWord(env));
  env->functions->SetEnvUserWord(env, (void*)7);
  EXPECT_EQ((void*)7, env->functions->GetEnvUserWord(env));
  EXPECT_EQ(Cls(theirs), Cls(Find("Twin")));
  env->functions->SetEnvUserWord(env, nullptr);
  // A loader reference chooses too; anything else is an unknown loader.
  jobject loader = JNI_CreateClassLoaderLite(env, (void*)7);
  ASSERT_NE(nullptr, loader);
  EXPECT_EQ(Cls(theirs), Cls(env->functions->FindClassInObjectLoader(env, "Twin", loader)));
  EXPECT_EQ(Cls(mine), Cls(env->functions->FindClassInObjectLoader(env, "Twin", nullptr)));
  EXPECT_EQ(nullptr, env->functions->FindClassInObjectLoader(env, "Twin", mine));
  EXPECT_EQ(nullptr, env->thread->GetException());
  // Array names ignore the loader.
  jclass strings = Find("[Ljava/lang/String;");
  EXPECT_EQ(Cls(strings), Cls(env->functions->FindClassInLoaderId(env, "[Ljava/lang/String;", (void*)7)));
  EXPECT_EQ(Cls(strings), Cls(env->functions->FindClassInObjectLoader(env, "[Ljava/lang/String;", loader)));
  // The loader field of a class is its loader; of anything but a class or member, nothing.
  EXPECT_EQ(VMJniHandle::UnHandle(env, loader),
            VMJniHandle::UnHandle(env, env->functions->GetLoaderFieldRef(env, theirs)));
  EXPECT_EQ(nullptr, env->functions->GetLoaderFieldRef2(env, loader));
}

TEST_F(ClassTest, SuperclassesAndAssignability) {
  jclass string = Find("java/lang/String");
  jclass object = Find("java/lang/Object");
  EXPECT_EQ(Cls(object), Cls(env->functions->GetSuperclass(env, string)));
  EXPECT_EQ(nullptr, env->functions->GetSuperclass(env, object));
  EXPECT_EQ(nullptr, env->functions->GetSuperclass(env, Find("[I")));
  jobject intClass = VMJniHandle::NewLocal(env, (VMObject*)ns->GetClassList()->GetVMintClass());
  EXPECT_EQ(nullptr, env->functions->GetSuperclass(env, intClass));
  EXPECT_EQ(nullptr, env->functions->GetSuperclass(env, nullptr));
  EXPECT_TRUE(env->functions->IsAssignableFrom(env, string, object));
  EXPECT_FALSE(env->functions->IsAssignableFrom(env, object, string));
  EXPECT_FALSE(env->functions->IsAssignableFrom(env, nullptr, object));
  EXPECT_EQ(nullptr, env->thread->GetException());
}

TEST_F(ClassTest, DefineClassOnceAndNothingLeftOfARefusal) {
  std::vector<uint8_t> bytes = ClassBytes("AbstractThrowable");
  ASSERT_GT(bytes.size(), 20u);
  VMClassHashTable* table = ns->GetSystemClassLoader()->GetClassTable();
  VMLiteral* name = VMLiteral::CreateInstance(ns, "AbstractThrowable", 0xFFFFFFFFu);
  auto inTable = [&] {
    for (uint32_t i = 0; i < table->GetFilled(); i++)
      if (((VMClass*)table->Get(i))->GetName() == name) return true;
    return false;
  };
  // Cut inside the constant pool: refused, and no shell stays in the table.
  EXPECT_EQ(nullptr, env->functions->DefineClass(env, "AbstractThrowable", nullptr, (const jbyte*)bytes.data(), 40));
  EXPECT_EQ("java.lang.ClassFormatError: AbstractThrowable", PendingText(env));
  env->functions->ExceptionClear(env);
  EXPECT_FALSE(inTable());
  EXPECT_EQ(nullptr, env->functions->DefineClass(env, "AbstractThrowable", nullptr, nullptr, 10));
  EXPECT_EQ("java.lang.ClassFormatError", PendingClass(env));
  env->functions->ExceptionClear(env);
  EXPECT_EQ(nullptr, env->functions->DefineClass(env, "AbstractThrowable", nullptr, (const jbyte*)bytes.data(), -1));
  env->functions->ExceptionClear(env);
  // The whole file: defined, found by name afterwards, and not twice.
  jclass defined = env->functions->DefineClass(env, "AbstractThrowable", (jobject)12345,
                                               (const jbyte*)bytes.data(), (jsize)bytes.size());
  ASSERT_NE(nullptr, defined) << PendingText(env);
  EXPECT_TRUE(((VMLoadableClass*)Cls(defined))->GetIsPrepared());
  EXPECT_EQ(Cls(defined), Cls(env->functions->FindClassNoInit(env, "AbstractThrowable")));
  EXPECT_EQ(nullptr, env->functions->DefineClass(env, "AbstractThrowable", nullptr, (const jbyte*)bytes.data(),
                                                 (jsize)bytes.size()));
  EXPECT_EQ("java.lang.LinkageError: AbstractThrowable", PendingText(env));
  env->functions->ExceptionClear(env);
  // Bytes of another class under this name.
  EXPECT_EQ(nullptr, env->functions->DefineClass(env, "NotTheName", nullptr, (const jbyte*)bytes.data(),
                                                 (jsize)bytes.size()));
  EXPECT_NE(nullptr, env->thread->GetException());
  env->functions->ExceptionClear(env);
}

TEST_F(ClassTest, PublicFieldsByName) {
  jclass fields = Find("Fields");
  ASSERT_NE(nullptr, fields);
  jfieldID id = nullptr;
  jint modifiers = -1;
  EXPECT_EQ("I", Text(env->functions->FindPublicFieldName(env, fields, "pub", &id, &modifiers)));
  EXPECT_EQ(0x1, modifiers);
  EXPECT_EQ(VMJniHandle::MemberIdTag, (uint32_t)(uintptr_t)id & 0xE0000000u);
  jfieldID again = nullptr;
  env->functions->FindPublicFieldName(env, fields, "pub", &again, nullptr);
  EXPECT_EQ(id, again);
  jboolean isStatic = 7;
  EXPECT_EQ("I", Text(env->functions->FindPublicField(env, fields, "spub", nullptr, &isStatic)));
  EXPECT_EQ(1, isStatic);
  EXPECT_EQ("J", Text(env->functions->FindPublicField(env, fields, "wide", nullptr, &isStatic)));
  EXPECT_EQ(0, isStatic);
  EXPECT_EQ("I", Text(env->functions->FindPublicFieldName(env, fields, "INHERITED", nullptr, &modifiers)));
  EXPECT_EQ(0x19, modifiers) << "public static final, as Java writes them";
  isStatic = 7;
  EXPECT_EQ(nullptr, env->functions->FindPublicField(env, fields, "priv", nullptr, &isStatic));
  EXPECT_EQ(0, isStatic);
  EXPECT_EQ(nullptr, env->thread->GetException());
  char* text = env->functions->FindPublicFieldNameUTF(env, fields, "wide", nullptr, nullptr);
  EXPECT_STREQ("J", text);
  env->functions->FreeExceptionText(env, text);
  env->functions->FreeExceptionText(env, nullptr);
  // Not a class: nothing, and nothing raised. A null name: out of memory, as a name that
  // cannot be interned.
  EXPECT_EQ(nullptr, env->functions->FindPublicFieldName(env, (jclass)id, "pub", nullptr, nullptr));
  EXPECT_EQ(nullptr, env->thread->GetException());
  EXPECT_EQ(nullptr, env->functions->FindPublicFieldName(env, fields, nullptr, nullptr, nullptr));
  EXPECT_EQ("java.lang.OutOfMemoryError", PendingClass(env));
  env->functions->ExceptionClear(env);
}

TEST_F(ClassTest, MethodsByOverloadResolution) {
  jclass over = Find("Over");
  ASSERT_NE(nullptr, over);
  jmethodID id = nullptr;
  jint modifiers = 0;
  EXPECT_EQ("(I)I", Text(env->functions->FindMethodName(env, over, "m", "(B)", 1, &id, &modifiers)));
  EXPECT_EQ(0x9, modifiers) << "public static";
  EXPECT_EQ(VMJniHandle::MemberIdTag, (uint32_t)(uintptr_t)id & 0xE0000000u);
  jmethodID again = nullptr;
  jboolean isStatic = 0;
  EXPECT_EQ("(I)I", Text(env->functions->FindMethodBySignature(env, over, "m", "(I)", 1, &again, &isStatic)));
  EXPECT_EQ(id, again);
  EXPECT_EQ(1, isStatic);
  char* text = env->functions->FindMethodNameUTF(env, over, "m", "(J)", 1, nullptr, nullptr);
  EXPECT_STREQ("(J)I", text);
  env->functions->FreeExceptionText(env, text);
  // The instance method wins for (I) and is discarded: no method, nothing raised.
  EXPECT_EQ(nullptr, env->functions->FindMethodName(env, over, "i", "(I)", 0, nullptr, nullptr));
  EXPECT_EQ(nullptr, env->thread->GetException());
  EXPECT_EQ("(I)I", Text(env->functions->FindMethodName(env, over, "i", "(I)", 1, nullptr, &modifiers)));
  EXPECT_EQ(0x1, modifiers);
  EXPECT_EQ(nullptr, env->functions->FindMethodName(env, over, "s", "(Ljava/lang/String;Ljava/lang/String;)", 1,
                                                    nullptr, nullptr));
  EXPECT_EQ("java.lang.InstantiationException: Ambiguous", PendingText(env));
  env->functions->ExceptionClear(env);
  // The loader field of a method id is its return type.
  EXPECT_EQ((VMObject*)ns->GetClassList()->GetVMintClass(),
            VMJniHandle::UnHandle(env, env->functions->GetLoaderFieldRef(env, (jobject)id)));
}

std::vector<std::string>* gEnumerated;
JNIEnv* gEnumeratingEnv;
void HOSTCALL Enumerate(const char* name) {
  gEnumerated->push_back(name);
  // The callback's own look-ups prepare classes while the walk goes on.
  if (gEnumerated->size() == 1) gEnumeratingEnv->functions->FindClass(gEnumeratingEnv, "Enumerated");
}

TEST_F(ClassTest, EnumerationInClassNumberOrderWhileTheCallbackPreparesMore) {
  std::vector<std::string> names;
  gEnumerated = &names;
  gEnumeratingEnv = env;
  env->functions->EnumerateClasses(env, Enumerate);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(1, std::count(names.begin(), names.end(), "java/lang/Object"));
  EXPECT_EQ(1, std::count(names.begin(), names.end(), "Enumerated"));
  VMClassHandleArray* classes = ns->GetClasses();
  std::vector<std::string> expected;
  for (uint32_t i = 1; i < classes->GetCount(); i++) {
    if (classes->Get(i) == nullptr) continue;
    char* n = classes->Get(i)->GetName()->MakeUTF8();
    expected.push_back(n);
    VMLiteral::FreeUTF8(n);
  }
  EXPECT_EQ(expected, names);
  env->functions->EnumerateClasses(env, nullptr);
}

TEST_F(ClassTest, LoaderIdsAndTheirCounts) {
  jobject a = JNI_CreateClassLoaderLite(env, (void*)7);
  jobject b = JNI_CreateClassLoaderLite(env, (void*)7);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(VMJniHandle::UnHandle(env, a), VMJniHandle::UnHandle(env, b));
  EXPECT_EQ(VMJniHandle::UnHandle(env, a), VMJniHandle::UnHandle(env, JNI_FindClassLoaderLite(env, (void*)7)));
  EXPECT_EQ(nullptr, JNI_FindClassLoaderLite(env, (void*)8));
  JNI_IncRefClassLoaderLite(env, a);
  JNI_IncRefClassLoaderLite(env, b);
  JNI_DecRefClassLoaderLite(env, a);
  EXPECT_EQ(1, JNI_GetRefClassLoaderLite(env, a));
  for (int i = 0; i < 3; i++) JNI_DecRefClassLoaderLite(env, a);
  EXPECT_EQ(-2, JNI_GetRefClassLoaderLite(env, b));
  // Nothing, or not a loader: nothing happens.
  JNI_IncRefClassLoaderLite(env, nullptr);
  JNI_DecRefClassLoaderLite(env, Find("java/lang/Object"));
  EXPECT_EQ(0, JNI_GetRefClassLoaderLite(env, nullptr));
  EXPECT_EQ(0, JNI_GetRefClassLoaderLite(env, Find("java/lang/Object")));
  JNI_DestroyClassLoaderLite(env, nullptr);
  // The system loader holds the class world: it is not destroyed.
  jobject system = JNI_CreateClassLoaderLite(env, nullptr);
  EXPECT_EQ((VMObject*)ns->GetSystemClassLoader(), VMJniHandle::UnHandle(env, system));
  JNI_DestroyClassLoaderLite(env, system);
  EXPECT_EQ(ns->GetSystemClassLoader(), ns->FindLoader(nullptr));
  EXPECT_NE(nullptr, Find("java/lang/StringBuffer"));
}

TEST_F(ClassTest, ADestroyedLoaderLeavesNoClassOrIdBehind) {
  jclass twin = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  ASSERT_NE(nullptr, twin);
  jfieldID id = nullptr;
  ASSERT_NE(nullptr, env->functions->FindPublicFieldName(env, twin, "alt", &id, nullptr));
  jobject global = env->functions->NewGlobalRef(env, twin);
  jobject loader = JNI_FindClassLoaderLite(env, (void*)7);
  ASSERT_NE(nullptr, loader);
  JNI_DestroyClassLoaderLite(env, loader);
  EXPECT_EQ(nullptr, ns->FindLoader((void*)7));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, (jobject)id));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, global));
  std::vector<std::string> names;
  gEnumerated = &names;
  gEnumeratingEnv = env;
  env->functions->EnumerateClasses(env, Enumerate);
  EXPECT_EQ(0, std::count(names.begin(), names.end(), "Twin"));
  // A new loader of the id reads the class afresh.
  jclass reborn = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  ASSERT_NE(nullptr, reborn);
  EXPECT_TRUE(HasField(reborn, "alt"));
}

/* A loader dropped while something still uses its classes stays, listed under its id;
   each object keeps a whole class through collections, and the loader goes once the
   last use is let go. */
TEST_F(ClassTest, ALoaderStaysWhileInstancesOfItsClassesLive) {
  jclass twin = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  ASSERT_NE(nullptr, twin);
  VMClass* cls = Cls(twin);
  jfieldID alt = env->functions->GetFieldID(env, twin, "alt", "I");
  ASSERT_NE(nullptr, alt);
  jobject object = env->functions->AllocObject(env, twin);
  ASSERT_NE(nullptr, object);
  env->functions->SetIntField(env, object, alt, 41);
  jobject global = env->functions->NewGlobalRef(env, object);
  env->functions->DeleteLocalRef(env, object);
  jobjectArray twins = env->functions->NewObjectArray(env, 3, twin, nullptr);
  ASSERT_NE(nullptr, twins);
  env->functions->DeleteLocalRef(env, twin);
  for (int round = 0; round < 3; round++) {
    JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
    ASSERT_NE(nullptr, ns->FindLoader((void*)7)) << round;
    vm->vm->GarbageCollect(false);
    jclass of = env->functions->GetObjectClass(env, global);
    ASSERT_EQ(cls, Cls(of)) << round;
    EXPECT_TRUE(HasField(of, "alt")) << round;
    EXPECT_EQ(41 + round, env->functions->GetIntField(env, global, alt));
    env->functions->SetIntField(env, global, alt, 42 + round);
    env->functions->DeleteLocalRef(env, of);
  }
  // The instance goes; an array of the class is still an object of the loader's.
  env->functions->DeleteGlobalRef(env, global);
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  ASSERT_NE(nullptr, ns->FindLoader((void*)7));
  vm->vm->GarbageCollect(false);
  jclass arrayClass = env->functions->GetObjectClass(env, twins);
  ASSERT_NE(nullptr, arrayClass);
  EXPECT_EQ(cls, ((VMArrayClass*)Cls(arrayClass))->GetElementClass());
  EXPECT_EQ(3, env->functions->GetArrayLength(env, twins));
  env->functions->DeleteLocalRef(env, twins);
  // The last use goes. Local references to the loader and its classes are emptied
  // with them: the collector must not follow them into freed blocks.
  jclass kept = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  jobject loader = JNI_FindClassLoaderLite(env, (void*)7);
  JNI_DestroyClassLoaderLite(env, loader);
  EXPECT_EQ(nullptr, ns->FindLoader((void*)7));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, loader));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, kept));
  EXPECT_EQ(nullptr, VMJniHandle::UnHandle(env, arrayClass));
  vm->vm->GarbageCollect(false);
  jclass reborn = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  ASSERT_NE(nullptr, reborn);
  EXPECT_TRUE(HasField(reborn, "alt"));
}

/* No instance, but the class object itself in an element of a system array. */
TEST_F(ClassTest, AClassObjectHeldByAnObjectKeepsItsLoader) {
  jclass twin = env->functions->FindClassInLoaderId(env, "Twin", (void*)7);
  ASSERT_NE(nullptr, twin);
  VMClass* cls = Cls(twin);
  jobjectArray holder = env->functions->NewObjectArray(env, 2, Find("java/lang/Object"), twin);
  ASSERT_NE(nullptr, holder);
  env->functions->DeleteLocalRef(env, twin);
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  ASSERT_NE(nullptr, ns->FindLoader((void*)7));
  vm->vm->GarbageCollect(false);
  jobject held = env->functions->GetObjectArrayElement(env, holder, 1);
  EXPECT_EQ(cls, Cls(held));
  EXPECT_TRUE(HasField((jclass)held, "alt"));
  env->functions->DeleteLocalRef(env, held);
  env->functions->SetObjectArrayElement(env, holder, 0, nullptr);
  env->functions->SetObjectArrayElement(env, holder, 1, nullptr);
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  EXPECT_EQ(nullptr, ns->FindLoader((void*)7));
  vm->vm->GarbageCollect(false);
}

bool gLoaderStayedWhileRunning = false;

void JNICALL DropOwnLoader(JNIEnv* env, jclass) {
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  gLoaderStayedWhileRunning = env->javaVM->nameSpace->FindLoader((void*)7) != nullptr;
}

/* The host drops the loader from a native method of one of its classes: the frames
   below it still run that class's code. */
TEST_F(ClassTest, ALoaderStaysWhileAMethodOfItsClassesRuns) {
  jclass unloader = env->functions->FindClassInLoaderId(env, "Unloader", (void*)7);
  ASSERT_NE(nullptr, unloader);
  JNINativeMethod drop = {(char*)"drop", (char*)"()V", (void*)DropOwnLoader};
  ASSERT_EQ(0, env->functions->RegisterNatives(env, unloader, &drop, 1));
  jmethodID run = env->functions->GetStaticMethodID(env, unloader, "run", "()V");
  ASSERT_NE(nullptr, run);
  gLoaderStayedWhileRunning = false;
  for (int round = 0; round < 3; round++) {
    env->functions->CallStaticVoidMethod(env, unloader, run);
    EXPECT_EQ(nullptr, env->functions->ExceptionOccurred(env)) << PendingText(env);
    EXPECT_TRUE(gLoaderStayedWhileRunning) << round;
  }
  env->functions->DeleteLocalRef(env, unloader);
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  EXPECT_EQ(nullptr, ns->FindLoader((void*)7));
}

std::atomic<bool> gChurnStarted{false};
std::atomic<bool> gChurnLeaving{false};
std::atomic<bool> gChurnMayLeave{false};

void JNICALL ChurnStarted(JNIEnv*, jclass) { gChurnStarted = true; }

/* Waits, in a safe region, until the host has had its last try. */
void JNICALL ChurnFinished(JNIEnv*, jclass) {
  gChurnLeaving = true;
  WhileOutside([] {
    while (!gChurnMayLeave) std::this_thread::yield();
  });
}

/* Another thread of the machine runs the loader's code and makes its objects while the
   host drops the loader again and again: refused while the code runs, gone after;
   every round on a loader made afresh. */
TEST_F(ClassTest, DroppingALoaderWhileAnotherThreadRunsItsCodeIsRefusedUntilItIsDone) {
  for (int round = 0; round < 8; round++) {
    gChurnStarted = false;
    gChurnLeaving = false;
    gChurnMayLeave = false;
    jclass unloader = env->functions->FindClassInLoaderId(env, "Unloader", (void*)7);
    ASSERT_NE(nullptr, unloader);
    JNINativeMethod calls[] = {{(char*)"started", (char*)"()V", (void*)ChurnStarted},
                               {(char*)"finished", (char*)"()V", (void*)ChurnFinished}};
    ASSERT_EQ(0, env->functions->RegisterNatives(env, unloader, calls, 2));
    env->functions->DeleteLocalRef(env, unloader);
    std::atomic<jint> odd{-1};
    std::thread worker([&] {
      JNIEnv* own = nullptr;
      ASSERT_EQ(0, vm->functions->AttachCurrentThread(vm, &own, nullptr));
      jclass cls = own->functions->FindClassInLoaderId(own, "Unloader", (void*)7);
      jmethodID churn = cls != nullptr ? own->functions->GetStaticMethodID(own, cls, "churn", "(I)I") : nullptr;
      if (churn != nullptr) odd = own->functions->CallStaticIntMethod(own, cls, churn, 300);
      if (cls != nullptr) own->functions->DeleteLocalRef(own, cls);
      gChurnStarted = true;
      gChurnLeaving = true;
      EXPECT_EQ(0, vm->functions->DetachCurrentThread(vm));
    });
    WhileOutside([] {
      while (!gChurnStarted) std::this_thread::yield();
    });
    int tries = 0;
    bool last = false;
    while (!last) {
      last = gChurnLeaving;
      JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
      ASSERT_NE(nullptr, ns->FindLoader((void*)7)) << round << " " << tries;
      tries++;
    }
    gChurnMayLeave = true;
    JoinOutside(worker);
    EXPECT_EQ(150, odd.load()) << round;
    JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
    EXPECT_EQ(nullptr, ns->FindLoader((void*)7)) << round;
    vm->vm->GarbageCollect(false);
  }
}

/* Two machines share the name space; the thread dropping the loader is attached to
   both, the other one not current. An instance in the other machine's heap keeps it. */
TEST_F(ClassTest, AnInstanceInAnotherMachineOfTheNameSpaceKeepsTheLoader) {
  JNIEnv* env2 = nullptr;
  JavaVM* vm2 = Create(&env2, vm);
  ASSERT_NE(nullptr, vm2);
  jclass twin = env2->functions->FindClassInLoaderId(env2, "Twin", (void*)7);
  ASSERT_NE(nullptr, twin);
  jfieldID alt = env2->functions->GetFieldID(env2, twin, "alt", "I");
  jobject object = env2->functions->AllocObject(env2, twin);
  ASSERT_NE(nullptr, object);
  env2->functions->SetIntField(env2, object, alt, 7);
  env2->functions->DeleteLocalRef(env2, twin);
  host->AttachThreadEnv(vm, env);
  host->SetCurrentEnv(env);
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  EXPECT_NE(nullptr, ns->FindLoader((void*)7));
  // The thread's record on the other machine is as it was: attached, out of any safe region.
  EXPECT_EQ(env2, vm2->vm->AttachedEnvOfCurrentThread());
  EXPECT_FALSE(env2->thread->GetInSafeRegion());
  host->AttachThreadEnv(vm2, env2);
  host->SetCurrentEnv(env2);
  vm2->vm->GarbageCollect(false);
  EXPECT_EQ(7, env2->functions->GetIntField(env2, object, alt));
  env2->functions->DeleteLocalRef(env2, object);
  host->AttachThreadEnv(vm, env);
  host->SetCurrentEnv(env);
  JNI_DestroyClassLoaderLite(env, JNI_FindClassLoaderLite(env, (void*)7));
  EXPECT_EQ(nullptr, ns->FindLoader((void*)7));
  host->AttachThreadEnv(vm2, env2);
  host->SetCurrentEnv(env2);
  Destroy(vm2);
  host->AttachThreadEnv(vm, env);
  host->SetCurrentEnv(env);
}

TEST_F(ClassTest, ClassFileNamesWithoutAMachine) {
  void* stream = host->OpenClassStream("java/lang/String", &VMClassLoader::FindInZipFile, nullptr);
  ASSERT_NE(nullptr, stream);
  jint start = host->StreamSkip(stream, 0);
  char buffer[64];
  uint32_t flags = 0xFFFFFFFFu;
  EXPECT_EQ(0, JNI_GetClassInfo(host, stream, buffer, sizeof buffer, &flags));
  EXPECT_STREQ("java.lang.String", buffer);
  EXPECT_EQ(0x31u, flags) << "public final super, widened with its upper half clear";
  EXPECT_EQ(start, host->StreamSkip(stream, 0)) << "the stream stands where it stood";
  EXPECT_EQ(-1, JNI_GetClassName(host, stream, buffer, 16));  // 16 bytes: no room for the zero
  EXPECT_EQ(0, JNI_GetClassName(host, stream, buffer, 17));
  host->StreamClose(stream);
  uint8_t junk[8] = {0xCA, 0xFE, 0xBA, 0xBE, 0, 3, 0, 45};
  void* cut = refhost::OpenMemoryStream(junk, sizeof junk);
  EXPECT_EQ(-1, JNI_GetClassInfo(host, cut, buffer, sizeof buffer, nullptr));
  host->StreamClose(cut);
}

class ClassInfoTest : public JniTest {};

TEST_F(ClassInfoTest, MakesTheProcessStateUntilFini) {
  std::vector<uint8_t> bytes;
  {
    std::ifstream in(TestClasses() + "/Fields.class", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_FALSE(ProcessStateExists());
  void* stream = refhost::OpenMemoryStream(bytes.data(), (uint32_t)bytes.size());
  char buffer[8];
  uint32_t flags = 0;
  EXPECT_EQ(0, JNI_GetClassInfo(host, stream, buffer, sizeof buffer, &flags));
  EXPECT_STREQ("Fields", buffer);
  EXPECT_EQ(0x21u, flags);
  EXPECT_TRUE(ProcessStateExists());
  EXPECT_EQ(0, JNI_FiniClassInfo());
  EXPECT_FALSE(ProcessStateExists());
  // With no table bound the scan has nothing to read through.
  JNI_SetHostFunctions(nullptr);
  EXPECT_EQ(-1, JNI_GetClassInfo(nullptr, stream, buffer, sizeof buffer, &flags));
  JNI_SetHostFunctions(host);
  host->StreamClose(stream);
  EXPECT_EQ(0, JNI_FiniClassInfo());
}

}  // namespace
}  // namespace jni_test
