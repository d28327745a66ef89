/* Pending exceptions and their text: the description and stack-line formats on throwables
   made by hand, the bounds a hostile throwable meets, throwing by class, object and status,
   and texts built while memory is refused. */
#include "jni_support.h"

#include "vmarray.h"
#include "vmclass.h"
#include "vmdebugger.h"
#include "vmjavalangstring.h"
#include "vmjavalangthrowable.h"
#include "vmliteral.h"

namespace jni_test {
namespace {

class ExceptionTest : public JniTest {
 protected:
  void SetUp() override {
    JniTest::SetUp();
    vm = Create(&env);
    ASSERT_NE(nullptr, vm);
    ns = vm->nameSpace;
  }
  void TearDown() override {
    if (vm != nullptr) Destroy(vm);
    JniTest::TearDown();
  }
  VMLoadableClass* Class(const char* name) {
    jclass h = env->functions->FindClass(env, name);
    return (VMLoadableClass*)VMJniUnHandleClass(env, h);
  }
  /* A throwable of the class, message as given, made without a constructor. */
  /* The throwables of these tests are held by the test alone, across allocations that
     may collect: each is held as machine code holds an object. */
  VMJavaLangThrowable* Make(const char* cls, const char* message = nullptr) {
    VMJavaLangThrowable* t = VMJavaLangThrowable::CreateInstance(env, Class(cls));
    if (t == nullptr) return nullptr;
    ((VMObject*)t)->SetIsReachableByCPlusPlusCode();
    if (message != nullptr) t->SetMessage(VMJavaLangString::CreateInstance(env, message));
    return t;
  }
  VMJavaLangThrowable* Wrap(const char* cls, VMJavaLangThrowable* nested) {
    VMJavaLangThrowable* t = Make(cls);
    t->SetWord(2, (VMword)nested);
    return t;
  }
  std::string Describe(VMObject* t) {
    char* text = VMJniGetThrowableDescription(ns, t);
    std::string result = text != nullptr ? text : "<null>";
    host->HeapFree(nullptr, text);
    return result;
  }
  std::string Line(VMObject* t, jint i) {
    char* text = VMJniGetThrowableStackLine(t, i);
    std::string result = text != nullptr ? text : "<null>";
    host->HeapFree(nullptr, text);
    return result;
  }
  VMMethod* Method(const char* cls, const char* name, const char* sig) {
    return Class(cls)->FindMethod(VMLiteral::CreateInstance(ns, name, 0xFFFFFFFFu),
                                  VMLiteral::CreateInstance(ns, sig, 0xFFFFFFFFu), false);
  }
  /* Gives the throwable a trace of the frames (method, pc); a null method is native. */
  void Trace(VMJavaLangThrowable* t, std::vector<VMMethod*> methods) {
    VMTracebackArray* trace = VMTracebackArray::CreateInstance(vm->heap, (uint32_t)methods.size(),
                                                               jallocFailFast, VMTag_VMTracebackArray);
    for (uint32_t i = 0; i < methods.size(); i++) {
      VMTraceback* r = VMTraceback::CreateInstance(vm->heap);
      r->SetMethod(methods[i]);
      r->SetPC(3);
      trace->Set(i, r);
    }
    t->SetTraceback(trace);
  }
  jobject Local(VMObject* o) { return VMJniHandle::NewLocal(env, o); }
  /* The stack line of Thread.run at the traces' pc, whose line the class library's line
     table gives. */
  std::string ThreadRunAt0() {
    uint32_t line = VMDebugger::FindLineNumber(Method("java/lang/Thread", "run", "()V"), 3);
    EXPECT_NE(0u, line) << "the class library keeps its line tables";
    return "java.lang.Thread.run(Thread.java:" + std::to_string(line) + ")";
  }

  JavaVM* vm = nullptr;
  JNIEnv* env = nullptr;
  VMNameSpace* ns = nullptr;
};

TEST_F(ExceptionTest, DescriptionFormats) {
  EXPECT_EQ("java.lang.NullPointerException: boom", Describe(Make("java/lang/NullPointerException", "boom")));
  EXPECT_EQ("java.lang.NullPointerException", Describe(Make("java/lang/NullPointerException")));
  VMJavaLangThrowable* zero = Make("java/lang/ArithmeticException", "/ by zero");
  EXPECT_EQ("java.lang.ExceptionInInitializerError( java.lang.ArithmeticException: / by zero )",
            Describe(Wrap("java/lang/ExceptionInInitializerError", zero)));
  EXPECT_EQ("java.lang.ExceptionInInitializerError(  )",
            Describe(Wrap("java/lang/ExceptionInInitializerError", nullptr)));
  EXPECT_EQ("java.lang.reflect.InvocationTargetException( java.lang.ExceptionInInitializerError( "
            "java.lang.ArithmeticException: / by zero ) )",
            Describe(Wrap("java/lang/reflect/InvocationTargetException",
                          Wrap("java/lang/ExceptionInInitializerError", zero))));
  // Other classes are not followed into their third word, wrappers or not.
  VMJavaLangThrowable* other = Make("java/lang/Error", "outer");
  EXPECT_EQ("java.lang.Error: outer", Describe(other));
  EXPECT_EQ("<null>", Describe(nullptr));
  // Only throwables are read as throwables.
  EXPECT_EQ("<null>", Describe((VMObject*)ns->GetClassList()->GetObjectClass()));
  EXPECT_EQ("<null>", Describe((VMObject*)VMJavaLangString::CreateInstance(env, "text")));
  EXPECT_EQ("<null>", Line((VMObject*)VMJavaLangString::CreateInstance(env, "text"), 0));
}

TEST_F(ExceptionTest, ACycleOfWrappersEndsTheDescription) {
  VMJavaLangThrowable* self = Make("java/lang/reflect/InvocationTargetException");
  self->SetWord(2, (VMword)self);
  EXPECT_EQ("java.lang.reflect.InvocationTargetException( ... )", Describe(self));
  // A chain deeper than any real one is cut, its parentheses closed.
  VMJavaLangThrowable* chain = Make("java/lang/NullPointerException");
  for (int i = 0; i < 40; i++) chain = Wrap("java/lang/reflect/InvocationTargetException", chain);
  std::string text = Describe(chain);
  size_t opened = 0, closed = 0;
  for (size_t at = 0; (at = text.find("( ", at)) != std::string::npos; at++) opened++;
  for (size_t at = 0; (at = text.find(" )", at)) != std::string::npos; at++) closed++;
  EXPECT_EQ(16u, opened);
  EXPECT_EQ(opened, closed);
  EXPECT_NE(std::string::npos, text.find("( ... )"));
}

TEST_F(ExceptionTest, StackLineFormats) {
  VMJavaLangThrowable* t = Make("java/lang/IllegalStateException");
  Trace(t, {Method("java/lang/Thread", "run", "()V"), nullptr, Method("Over", "m", "(I)I")});
  EXPECT_EQ(ThreadRunAt0(), Line(t, 0));
  EXPECT_EQ("native code", Line(t, 1));
  EXPECT_EQ("Over.m", Line(t, 2)) << "a class without a source file";
  EXPECT_EQ("<null>", Line(t, 3));
  EXPECT_EQ("<null>", Line(t, -1));
  EXPECT_EQ("<null>", Line(t, (jint)0x80000000));
  // A trace word that holds anything but the machine's trace is no trace.
  t->SetTraceback((VMTracebackArray*)VMJavaLangString::CreateInstance(env, "not a trace"));
  EXPECT_EQ("<null>", Line(t, 0));
}

TEST_F(ExceptionTest, DescribePrintsTheTextAndKeepsTheException) {
  refhost::SetCapture(true);
  env->functions->ExceptionDescribe(env);
  EXPECT_EQ("", refhost::CapturedStderr());
  VMJavaLangThrowable* t = Make("java/lang/IllegalStateException", "state");
  Trace(t, {nullptr, Method("java/lang/Thread", "run", "()V")});
  EXPECT_EQ(0, env->functions->Throw(env, Local(t)));
  env->functions->ExceptionDescribe(env);
  EXPECT_EQ("java.lang.IllegalStateException: state\n    at native code\n    at " + ThreadRunAt0() + "\n",
            refhost::CapturedStderr());
  EXPECT_EQ((VMObject*)t, VMJniHandle::UnHandle(env, env->functions->ExceptionOccurred(env)));
  char* text = env->functions->GetPendingExceptionText(env);
  EXPECT_STREQ("java.lang.IllegalStateException: state", text);
  env->functions->FreeExceptionText(env, text);
  text = env->functions->GetPendingExceptionStackLine(env, 1);
  EXPECT_EQ(ThreadRunAt0(), text != nullptr ? text : "");
  env->functions->FreeExceptionText(env, text);
  EXPECT_EQ(nullptr, env->functions->GetPendingExceptionStackLine(env, 2));
  env->functions->ExceptionClear(env);
  EXPECT_EQ(nullptr, env->functions->ExceptionOccurred(env));
  EXPECT_EQ(nullptr, env->functions->GetPendingExceptionText(env));
  EXPECT_EQ(nullptr, env->functions->GetPendingExceptionStackLine(env, 0));
}

TEST_F(ExceptionTest, OnlyThrowablesAreThrown) {
  VMJavaLangThrowable* before = Make("java/lang/IllegalStateException", "before");
  EXPECT_EQ(0, env->functions->Throw(env, Local(before)));
  jobject string = Local((VMObject*)VMJavaLangString::CreateInstance(env, "a string"));
  EXPECT_EQ(-1, env->functions->Throw(env, string));
  jclass stringClass = env->functions->FindClass(env, "java/lang/String");
  EXPECT_EQ(-1, env->functions->Throw(env, stringClass));
  jclass over = env->functions->FindClass(env, "Over");
  jmethodID id = nullptr;
  env->functions->FindMethodName(env, over, "m", "(I)", 1, &id, nullptr);
  EXPECT_EQ(-1, env->functions->Throw(env, (jobject)id));
  // ThrowNew: only a concrete throwable class.
  jclass runnable = env->functions->FindClass(env, "java/lang/Runnable");
  jclass abstractOne = env->functions->FindClass(env, "AbstractThrowable");
  jobject intClass = Local((VMObject*)ns->GetClassList()->GetVMintClass());
  jclass ints = env->functions->FindClass(env, "[I");
  for (jclass refused : {runnable, abstractOne, intClass, ints, stringClass, (jclass) nullptr, string})
    EXPECT_EQ(-1, env->functions->ThrowNew(env, refused, "no"));
  EXPECT_EQ("java.lang.IllegalStateException: before", PendingText(env)) << "refusals changed the exception";
  EXPECT_EQ(0, env->functions->ThrowNew(env, env->functions->FindClass(env, "java/lang/SecurityException"), "yes"));
  EXPECT_EQ("java.lang.SecurityException: yes", PendingText(env));
  EXPECT_EQ(0, env->functions->ThrowNew(env, env->functions->FindClass(env, "java/lang/SecurityException"), nullptr));
  EXPECT_EQ("java.lang.SecurityException", PendingText(env));
  EXPECT_EQ(0, env->functions->ThrowNew(env, env->functions->FindClass(env, "java/lang/SecurityException"), "\xC0"));
  EXPECT_EQ("java.lang.SecurityException", PendingText(env)) << "invalid modified UTF-8 leaves no message";
  EXPECT_EQ(0, env->functions->Throw(env, nullptr));
  EXPECT_EQ(nullptr, env->thread->GetException());
}

TEST_F(ExceptionTest, StatusesZeroAndOneLeaveThePendingException) {
  EXPECT_EQ(0, VMJniThrowInternal(env, VMStatus_ArrayStoreException, "first"));
  EXPECT_EQ(0, VMJniThrowInternal(env, VMStatus_OK, "zero"));
  EXPECT_EQ(0, VMJniThrowInternal(env, VMStatus_AlreadyThrown, "one"));
  EXPECT_EQ("java.lang.ArrayStoreException: first", PendingText(env));
  EXPECT_EQ(0, VMJniThrowInternal(env, 999, "beyond the table"));
  EXPECT_EQ("java.lang.InternalError: beyond the table", PendingText(env));
  EXPECT_EQ(-1, VMJniThrowInternal(nullptr, VMStatus_InternalError, "x"));
  env->functions->ExceptionClear(env);
}

TEST_F(ExceptionTest, ThePreMadeOutOfMemoryErrorKeepsNoMessage) {
  VMJavaLangThrowable* oom = vm->vm->GetOutOfMemoryError();
  ASSERT_NE(nullptr, oom);
  // The class is had first: only the throwable itself is refused below.
  EXPECT_EQ(0, VMJniThrowInternal(env, VMStatus_NumberFormatException, NULL));
  env->functions->ExceptionClear(env);
  // The throwable cannot be had (both tries of its allocation refused): the pre-made
  // error stands in, and the caller's message must not stick to it.
  refhost::SetFailureScope(true, vm->heap, -1);
  refhost::FailNextAllocations(2);
  EXPECT_EQ(0, VMJniThrowInternal(env, VMStatus_NumberFormatException, "File Closed"));
  refhost::FailNextAllocations(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_EQ(oom, env->thread->GetException());
  EXPECT_EQ(nullptr, oom->GetMessage());
  EXPECT_EQ("java.lang.OutOfMemoryError", PendingText(env));
  env->functions->ExceptionClear(env);
}

TEST_F(ExceptionTest, TextsUnderRefusedMemoryGetShorterNeverLost) {
  VMJavaLangThrowable* t = Wrap("java/lang/ExceptionInInitializerError",
                                Make("java/lang/ArithmeticException", "/ by zero"));
  Trace(t, {Method("java/lang/Thread", "run", "()V")});
  std::string full = Describe(t);
  std::string line = Line(t, 0);
  refhost::SetFailureScope(true, nullptr, -1);
  for (uint32_t n = 1; n < 40; n++) {
    uint32_t blocks = refhost::BlocksInUse(nullptr);
    refhost::FailNthAllocation(n);
    char* text = VMJniGetThrowableDescription(ns, t);
    refhost::FailNthAllocation(n);
    char* stack = VMJniGetThrowableStackLine(t, 0);
    refhost::FailNthAllocation(0);
    if (text != nullptr) {
      EXPECT_EQ(0u, full.find(std::string(text).substr(0, 10))) << n;
      EXPECT_LE(strlen(text), full.size());
    }
    if (stack != nullptr) {
      EXPECT_EQ(0u, line.find(std::string(stack).substr(0, 5))) << n;
    }
    host->HeapFree(nullptr, text);
    host->HeapFree(nullptr, stack);
    EXPECT_EQ(blocks, refhost::BlocksInUse(nullptr)) << "refusal " << n;
  }
  refhost::SetFailureScope(false, nullptr, -1);
  // The join that cannot get its block gives back the first part and frees the third.
  char* first = (char*)host->HeapAlloc(nullptr, 4, jallocFailFast);
  strcpy(first, "abc");
  char* third = (char*)host->HeapAlloc(nullptr, 4, jallocFailFast);
  strcpy(third, "xyz");
  uint32_t blocks = refhost::BlocksInUse(nullptr);
  refhost::SetFailureScope(true, nullptr, -1);
  refhost::FailNthAllocation(1);
  char* joined = VMJniConcatText(first, "-", third);
  refhost::FailNthAllocation(0);
  refhost::SetFailureScope(false, nullptr, -1);
  EXPECT_EQ(first, joined);
  EXPECT_STREQ("abc", joined);
  EXPECT_EQ(blocks - 1, refhost::BlocksInUse(nullptr));
  joined = VMJniConcatText(joined, "-", nullptr);
  EXPECT_STREQ("abc-", joined);
  host->HeapFree(nullptr, joined);
}

TEST_F(ExceptionTest, FatalErrorGoesToTheHost) {
  refhost::SetFatalExitReturns(true);
  int before = refhost::FatalExitCount();
  env->functions->FatalError(env, "it is over");
  EXPECT_EQ(before + 1, refhost::FatalExitCount());
  EXPECT_EQ(1, refhost::LastFatalExitCode());
  EXPECT_EQ("it is over", refhost::LastFatalExitText());
}

}  // namespace
}  // namespace jni_test
