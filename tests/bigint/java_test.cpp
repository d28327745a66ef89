/* java.math through the interpreter: the public API of BigInteger and BigDecimal over the
   natives, against Python's integers and decimals with Java's rules, and the programs that
   use them end to end. Java runs through the native interface's calls. */
#include "bigint_support.h"

#include <stdio.h>

#include <fstream>

#include "vmjni.h"

using namespace bigint_test;

namespace {

class JavaMathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    refhost::ResetHooks();
    JNI_SetHostFunctions(refhost::Functions());
    refhost::SetCapture(true);
    refhost::SetClassPath(nullptr, std::string(PUX_BUILD_DIR) + "/testclasses/bigint:" + PUX_BUILD_DIR +
                                       "/classlib.zip");
    JNICreateArgs args;
    JNI_GetDefaultJavaVMInitArgs(&args);
    args.host = refhost::Functions();
    args.name = "java.math machine";
    ASSERT_EQ(0, JNI_CreateJavaVM(&jvm, &env, &args));
    fn = env->functions;
    cls = fn->FindClass(env, "BigIntDiff");
    ASSERT_NE(nullptr, cls) << Pending();
  }
  void TearDown() override {
    if (jvm != nullptr) {
      EXPECT_EQ(0, jvm->functions->DestroyJavaVM(jvm));
    }
    refhost::SetClassPath(nullptr, "");
    refhost::ResetHooks();
  }
  std::string Pending() {
    if (!fn->ExceptionCheck(env)) return "";
    char* text = fn->GetPendingExceptionText(env);
    std::string s = text != nullptr ? text : "?";
    fn->FreeExceptionText(env, text);
    fn->ExceptionClear(env);
    return s;
  }
  /* A static String method of BigIntDiff called with a String, or with ints and longs. */
  std::string Text(jobject s) {
    if (s == nullptr) return "<null: " + Pending() + ">";
    const char* chars = fn->GetStringUTFChars(env, (jstring)s, nullptr);
    std::string out = chars;
    fn->ReleaseStringUTFChars(env, (jstring)s, chars);
    fn->DeleteLocalRef(env, s);
    return out;
  }
  std::string Eval(const std::string& line) {
    static jmethodID eval = nullptr;
    eval = fn->GetStaticMethodID(env, cls, "eval", "(Ljava/lang/String;)Ljava/lang/String;");
    jstring arg = fn->NewStringUTF(env, line.c_str());
    std::string out = Text(fn->CallStaticObjectMethod(env, cls, eval, arg));
    fn->DeleteLocalRef(env, arg);
    return out;
  }

  JavaVM* jvm = nullptr;
  JNIEnv* env = nullptr;
  const JNINativeInterface_* fn = nullptr;
  jclass cls = nullptr;
};

TEST_F(JavaMathTest, PublicApiMatchesPythonWithJavasRules) {
  std::ifstream in(std::string(PUX_BUILD_DIR) + "/bigint_java_vectors.txt");
  int total = 0, mismatches = 0, lineNumber = 0;
  // Under collection stress, where every allocation collects, every eighth vector.
  const int step = refhost::CollectionStress() != 0 ? 8 : 1;
  for (std::string line; std::getline(in, line);) {
    size_t tab = line.find('\t');
    if (tab == std::string::npos || lineNumber++ % step != 0) continue;
    std::string want = line.substr(0, tab), op = line.substr(tab + 1);
    std::string got = Eval(op);
    total++;
    if (got != want && ++mismatches <= 15) ADD_FAILURE() << op << "\n got " << got << "\nwant " << want;
  }
  EXPECT_GT(total, 10000 / step);
  EXPECT_EQ(0, mismatches) << "of " << total;
}

TEST_F(JavaMathTest, FactorialAndPowersOfTwoInDecimal) {
  jmethodID factorial = fn->GetStaticMethodID(env, cls, "factorial", "(I)Ljava/lang/String;");
  std::string f = Text(fn->CallStaticObjectMethod(env, cls, factorial, (jint)1000));
  std::string want;
  FILE* p = popen("python3 -c 'import math,sys; sys.set_int_max_str_digits(0) if hasattr(sys,\"set_int_max_str_digits\") "
                  "else 0; print(math.factorial(1000)); print(2**10000)'", "r");
  ASSERT_NE(nullptr, p);
  char buf[8192];
  std::string py;
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) py.append(buf, n);
  pclose(p);
  size_t nl = py.find('\n');
  ASSERT_NE(std::string::npos, nl);
  EXPECT_EQ(py.substr(0, nl), f);
  std::string pow2 = Eval("pow 2 10000");
  EXPECT_EQ(py.substr(nl + 1, py.size() - nl - 2), pow2);
}

TEST_F(JavaMathTest, PrimeConstructorAndToyRsa) {
  jmethodID small = fn->GetStaticMethodID(env, cls, "smallPrimes", "(J)Ljava/lang/String;");
  EXPECT_EQ("", Text(fn->CallStaticObjectMethod(env, cls, small, (jlong)42))) << "wrong bit length or not prime";
  jmethodID rsa = fn->GetStaticMethodID(env, cls, "rsa", "(IJ)Ljava/lang/String;");
  std::string primes;
  for (int bits : {64, 100, 128, 256}) {
    std::string r = Text(fn->CallStaticObjectMethod(env, cls, rsa, (jint)bits, (jlong)bits * 31));
    ASSERT_EQ(std::string::npos, r.find_first_not_of("0123456789 ")) << bits << ": " << r;
    primes += r.substr(0, r.rfind(' ')) + " ";
  }
  // Python confirms every prime the constructor gave (Miller-Rabin, 64 random bases).
  std::string cmd = "python3 -c 'import random,sys\n"
                    "def p(n):\n"
                    " d,s=n-1,0\n"
                    " while d%2==0: d//=2; s+=1\n"
                    " for _ in range(64):\n"
                    "  x=pow(random.randrange(2,n-1),d,n)\n"
                    "  if x in(1,n-1): continue\n"
                    "  for _ in range(s-1):\n"
                    "   x=x*x%n\n"
                    "   if x==n-1: break\n"
                    "  else: return 0\n"
                    " return 1\n"
                    "print(all(p(int(v)) for v in sys.argv[1:]))' " +
                    primes;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(nullptr, p);
  char buf[64] = {};
  size_t n = fread(buf, 1, sizeof buf - 1, p);
  pclose(p);
  EXPECT_EQ("True\n", std::string(buf, n)) << primes;
}

}  // namespace
