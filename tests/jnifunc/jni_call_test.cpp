/* Calls into Java through the env table: every argument and result type in the three
   forms of the three families, dispatch, the parameter limit, and every way a call can
   be refused or fail. Also method ids and object creation. */
#include <math.h>
#include <stdarg.h>
#include <string.h>

#include "jnifunc_support.h"
#include "vmclass.h"
#include "vmjavalangstring.h"
#include "vmliteral.h"
#include "vmnamespace.h"

namespace jnifunc_test {
namespace {

/* The V forms through variadic helpers, as a C caller reaches them. */
#define PUX_V_HELPERS(Name, T)                                                  \
  T V##Name(JNIEnv* env, jobject o, jmethodID m, ...) {                         \
    va_list ap;                                                                 \
    va_start(ap, m);                                                            \
    T r = env->functions->Call##Name##MethodV(env, o, m, ap);                   \
    va_end(ap);                                                                 \
    return r;                                                                   \
  }                                                                             \
  T NV##Name(JNIEnv* env, jobject o, jclass c, jmethodID m, ...) {              \
    va_list ap;                                                                 \
    va_start(ap, m);                                                            \
    T r = env->functions->CallNonvirtual##Name##MethodV(env, o, c, m, ap);      \
    va_end(ap);                                                                 \
    return r;                                                                   \
  }                                                                             \
  T SV##Name(JNIEnv* env, jclass c, jmethodID m, ...) {                         \
    va_list ap;                                                                 \
    va_start(ap, m);                                                            \
    T r = env->functions->CallStatic##Name##MethodV(env, c, m, ap);             \
    va_end(ap);                                                                 \
    return r;                                                                   \
  }
PUX_V_HELPERS(Object, jobject)
PUX_V_HELPERS(Boolean, jboolean)
PUX_V_HELPERS(Byte, jbyte)
PUX_V_HELPERS(Char, jchar)
PUX_V_HELPERS(Short, jshort)
PUX_V_HELPERS(Int, jint)
PUX_V_HELPERS(Long, jlong)
PUX_V_HELPERS(Float, jfloat)
PUX_V_HELPERS(Double, jdouble)
#undef PUX_V_HELPERS

void VVoid(JNIEnv* env, jobject o, jmethodID m, ...) {
  va_list ap;
  va_start(ap, m);
  env->functions->CallVoidMethodV(env, o, m, ap);
  va_end(ap);
}
void NVVoid(JNIEnv* env, jobject o, jclass c, jmethodID m, ...) {
  va_list ap;
  va_start(ap, m);
  env->functions->CallNonvirtualVoidMethodV(env, o, c, m, ap);
  va_end(ap);
}
void SVVoid(JNIEnv* env, jclass c, jmethodID m, ...) {
  va_list ap;
  va_start(ap, m);
  env->functions->CallStaticVoidMethodV(env, c, m, ap);
  va_end(ap);
}

using CallTest = JniTest;

/* The nine functions of each result type: static echo<X>, and here<X> on an object
   through the virtual and the nonvirtual family; each in the variadic, V and A form. */
TEST_F(CallTest, EveryCallFunctionReturnsItsTypeInEveryForm) {
  jclass cls = Cls("jnifunc/Values");
  jobject obj = New("jnifunc/Values");
  ASSERT_NE(nullptr, obj);
#define PUX_EACH_FORM(Name, T, X, sigT, value, promoted, member)                             \
  {                                                                                         \
    jmethodID s = f->GetStaticMethodID(env, cls, "echo" X, "(" sigT ")" sigT);              \
    jmethodID h = f->GetMethodID(env, cls, "here" X, "(" sigT ")" sigT);                    \
    ASSERT_NE(nullptr, s) << X;                                                             \
    ASSERT_NE(nullptr, h) << X;                                                             \
    jvalue a[1];                                                                            \
    memset(a, 0, sizeof a);                                                                 \
    a[0].member = value;                                                                    \
    EXPECT_EQ((T)(value), f->CallStatic##Name##Method(env, cls, s, promoted)) << X;         \
    EXPECT_EQ((T)(value), SV##Name(env, cls, s, promoted)) << X;                            \
    EXPECT_EQ((T)(value), f->CallStatic##Name##MethodA(env, cls, s, a)) << X;               \
    EXPECT_EQ((T)(value), f->Call##Name##Method(env, obj, h, promoted)) << X;               \
    EXPECT_EQ((T)(value), V##Name(env, obj, h, promoted)) << X;                             \
    EXPECT_EQ((T)(value), f->Call##Name##MethodA(env, obj, h, a)) << X;                     \
    EXPECT_EQ((T)(value), f->CallNonvirtual##Name##Method(env, obj, cls, h, promoted)) << X; \
    EXPECT_EQ((T)(value), NV##Name(env, obj, cls, h, promoted)) << X;                       \
    EXPECT_EQ((T)(value), f->CallNonvirtual##Name##MethodA(env, obj, cls, h, a)) << X;      \
    EXPECT_EQ("", Thrown()) << X << " " << message;                                         \
  }
  PUX_EACH_FORM(Boolean, jboolean, "Z", "Z", (jboolean)1, (int)1, z)
  PUX_EACH_FORM(Byte, jbyte, "B", "B", (jbyte)-7, (int)-7, b)
  PUX_EACH_FORM(Char, jchar, "C", "C", (jchar)0xFEDC, (int)0xFEDC, c)
  PUX_EACH_FORM(Short, jshort, "S", "S", (jshort)-12345, (int)-12345, s)
  PUX_EACH_FORM(Int, jint, "I", "I", (jint)0x7FFFFFFF, (jint)0x7FFFFFFF, i)
  PUX_EACH_FORM(Long, jlong, "J", "J", (jlong)0x8000000000000001LL, (jlong)0x8000000000000001LL, j)
  PUX_EACH_FORM(Float, jfloat, "F", "F", 3.5f, (double)3.5f, f)
  PUX_EACH_FORM(Double, jdouble, "D", "D", -1e-300, -1e-300, d)
#undef PUX_EACH_FORM

  // Objects: the same object comes back as a new local reference.
  jstring str = f->NewStringUTF(env, "x");
  jmethodID s = StaticMethod("jnifunc/Values", "echoL", "(Ljava/lang/Object;)Ljava/lang/Object;");
  jmethodID h = Method("jnifunc/Values", "hereL", "(Ljava/lang/Object;)Ljava/lang/Object;");
  jvalue a[1];
  a[0].l = str;
  jobject results[9] = {
      f->CallStaticObjectMethod(env, cls, s, str), SVObject(env, cls, s, str), f->CallStaticObjectMethodA(env, cls, s, a),
      f->CallObjectMethod(env, obj, h, str),       VObject(env, obj, h, str),  f->CallObjectMethodA(env, obj, h, a),
      f->CallNonvirtualObjectMethod(env, obj, cls, h, str), NVObject(env, obj, cls, h, str),
      f->CallNonvirtualObjectMethodA(env, obj, cls, h, a)};
  for (jobject r : results) {
    EXPECT_NE(str, r);
    EXPECT_TRUE(f->IsSameObject(env, r, str));
  }

  // Void: every form runs the method once.
  jfieldID calls = StaticField("jnifunc/Values", "calls", "I");
  jmethodID touch = StaticMethod("jnifunc/Values", "touch", "()V");
  jmethodID hereV = Method("jnifunc/Values", "hereV", "()V");
  f->CallStaticVoidMethod(env, cls, touch);
  SVVoid(env, cls, touch);
  f->CallStaticVoidMethodA(env, cls, touch, NULL);
  f->CallVoidMethod(env, obj, hereV);
  VVoid(env, obj, hereV);
  f->CallVoidMethodA(env, obj, hereV, NULL);
  f->CallNonvirtualVoidMethod(env, obj, cls, hereV);
  NVVoid(env, obj, cls, hereV);
  f->CallNonvirtualVoidMethodA(env, obj, cls, hereV, NULL);
  EXPECT_EQ(9, f->GetStaticIntField(env, cls, calls));
  EXPECT_EQ("", Thrown());
}

/* A jvalue is narrowed by the parameter's type; a va_list argument is taken as a C
   caller promotes it. Both land in Java as the Java type reads them. */
TEST_F(CallTest, ArgumentsOfEveryTypeArriveAsJavaSeesThem) {
  jclass cls = Cls("jnifunc/Values");
  jmethodID store = StaticMethod("jnifunc/Values", "storeAll", "(ZBCSIJFDLjava/lang/Object;)I");
  jstring str = f->NewStringUTF(env, "arg");
  jvalue a[9];
  memset(a, 0, sizeof a);
  a[0].i = 0x0101;  // a boolean whose other bytes are not zero: its low byte
  a[1].i = 0xFF;    // byte 0xFF: -1
  a[2].i = 0x1FFFF; // char: the low 16 bits, 65535
  a[3].i = 0x18000; // short: the low 16 bits, -32768
  a[4].i = -42;
  a[5].j = (jlong)0x8000000000000001LL;
  a[6].f = -1.25f;
  a[7].d = 6.02e23;
  a[8].l = str;
  EXPECT_EQ(-41, f->CallStaticIntMethodA(env, cls, store, a));
  ASSERT_EQ("", Thrown()) << message;
  EXPECT_EQ(1, f->GetStaticBooleanField(env, cls, StaticField("jnifunc/Values", "sz", "Z")));
  EXPECT_EQ(-1, f->GetStaticByteField(env, cls, StaticField("jnifunc/Values", "sb", "B")));
  EXPECT_EQ(65535, f->GetStaticCharField(env, cls, StaticField("jnifunc/Values", "sc", "C")));
  EXPECT_EQ(-32768, f->GetStaticShortField(env, cls, StaticField("jnifunc/Values", "ss", "S")));
  EXPECT_EQ(-42, f->GetStaticIntField(env, cls, StaticField("jnifunc/Values", "si", "I")));
  EXPECT_EQ((jlong)0x8000000000000001LL, f->GetStaticLongField(env, cls, StaticField("jnifunc/Values", "sj", "J")));
  EXPECT_EQ(-1.25f, f->GetStaticFloatField(env, cls, StaticField("jnifunc/Values", "sf", "F")));
  EXPECT_EQ(6.02e23, f->GetStaticDoubleField(env, cls, StaticField("jnifunc/Values", "sd", "D")));
  jobject l = f->GetStaticObjectField(env, cls, StaticField("jnifunc/Values", "sl", "Ljava/lang/Object;"));
  EXPECT_TRUE(f->IsSameObject(env, l, str));

  // The variadic form: a float travels as a double and arrives as the nearest float.
  EXPECT_EQ(8, f->CallStaticIntMethod(env, cls, store, (int)0, (int)-128, (int)'A', (int)1234, (jint)7,
                                      (jlong)-2, 1.1f, 0.1, (jobject)NULL));
  EXPECT_EQ(0, f->GetStaticBooleanField(env, cls, StaticField("jnifunc/Values", "sz", "Z")));
  EXPECT_EQ(-128, f->GetStaticByteField(env, cls, StaticField("jnifunc/Values", "sb", "B")));
  EXPECT_EQ('A', f->GetStaticCharField(env, cls, StaticField("jnifunc/Values", "sc", "C")));
  EXPECT_EQ(1234, f->GetStaticShortField(env, cls, StaticField("jnifunc/Values", "ss", "S")));
  EXPECT_EQ(-2, f->GetStaticLongField(env, cls, StaticField("jnifunc/Values", "sj", "J")));
  EXPECT_EQ(1.1f, f->GetStaticFloatField(env, cls, StaticField("jnifunc/Values", "sf", "F")));
  EXPECT_EQ(0.1, f->GetStaticDoubleField(env, cls, StaticField("jnifunc/Values", "sd", "D")));
  EXPECT_EQ(nullptr, f->GetStaticObjectField(env, cls, StaticField("jnifunc/Values", "sl", "Ljava/lang/Object;")));

  // The same through an instance method, in all three forms.
  jobject obj = New("jnifunc/Values");
  jmethodID here = Method("jnifunc/Values", "storeAllHere", "(ZBCSIJFDLjava/lang/Object;)I");
  EXPECT_EQ(-40, f->CallIntMethodA(env, obj, here, a));
  EXPECT_EQ(-40, f->CallNonvirtualIntMethodA(env, obj, cls, here, a));
  EXPECT_EQ(9, VInt(env, obj, here, (int)1, (int)2, (int)3, (int)4, (jint)7, (jlong)5, 2.5f, 3.5, str));
  EXPECT_EQ(2.5f, f->GetFloatField(env, obj, Field("jnifunc/Values", "f", "F")));
  EXPECT_EQ(5, f->GetLongField(env, obj, Field("jnifunc/Values", "j", "J")));
  EXPECT_EQ("", Thrown());
}

TEST_F(CallTest, ResultsConvertAndANullObjectMakesNoReference) {
  jclass cls = Cls("jnifunc/Values");
  EXPECT_EQ(1, f->CallStaticBooleanMethod(env, cls, StaticMethod("jnifunc/Values", "yes", "()Z")));
  EXPECT_EQ(-1, f->CallStaticByteMethod(env, cls, StaticMethod("jnifunc/Values", "minusOne", "()B")));
  EXPECT_EQ(65535, f->CallStaticCharMethod(env, cls, StaticMethod("jnifunc/Values", "maxChar", "()C")));
  EXPECT_EQ(-32768, f->CallStaticShortMethod(env, cls, StaticMethod("jnifunc/Values", "minShort", "()S")));
  jmethodID nothing = StaticMethod("jnifunc/Values", "nothing", "()Ljava/lang/Object;");
  jint before = Locals();
  EXPECT_EQ(nullptr, f->CallStaticObjectMethod(env, cls, nothing));
  EXPECT_EQ(before, Locals());
  // Strings and arrays in and out.
  jmethodID concat = StaticMethod("jnifunc/Values", "concat", "(Ljava/lang/String;I)Ljava/lang/String;");
  jstring joined = (jstring)f->CallStaticObjectMethod(env, cls, concat, f->NewStringUTF(env, "n="), 12);
  EXPECT_EQ("n=12", Text(joined));
  jintArray squares = (jintArray)f->CallStaticObjectMethod(env, cls, StaticMethod("jnifunc/Values", "squares", "(I)[I"), 6);
  ASSERT_NE(nullptr, squares);
  EXPECT_EQ(6, f->GetArrayLength(env, squares));
  EXPECT_EQ(55, f->CallStaticIntMethod(env, cls, StaticMethod("jnifunc/Values", "sum", "([I)I"), squares));
  // A class argument is not read: any handle, null included, calls the id's method.
  EXPECT_EQ(65535, f->CallStaticCharMethod(env, NULL, StaticMethod("jnifunc/Values", "maxChar", "()C")));
  EXPECT_EQ("", Thrown());
}

TEST_F(CallTest, VirtualNonvirtualAndInterfaceDispatch) {
  jobject b = New("jnifunc/B");
  jclass aClass = Cls("jnifunc/A");
  jmethodID m = Method("jnifunc/A", "m", "()I");
  EXPECT_EQ(2, f->CallIntMethod(env, b, m));
  EXPECT_EQ(1, f->CallNonvirtualIntMethod(env, b, aClass, m));
  EXPECT_EQ(1, f->CallNonvirtualIntMethodA(env, b, NULL, m, NULL));

  // An interface method runs the receiver's implementation.
  jobject impl = New("jnifunc/Impl");
  jmethodID im = Method("jnifunc/I", "im", "()I");
  EXPECT_EQ(3, f->CallIntMethod(env, impl, im));
  EXPECT_EQ(4, f->CallIntMethod(env, impl, Method("jnifunc/J", "jm", "()I")));
  // Through the nonvirtual family too (an interface has no code to call directly).
  EXPECT_EQ(3, f->CallNonvirtualIntMethod(env, impl, NULL, im));
  // A private method of the receiver's class has a slot above the superclass's public
  // one, but implements nothing: the public one runs.
  jobject q = New("jnifunc/gen/Q");
  EXPECT_EQ(3, f->CallIntMethod(env, q, im));
  EXPECT_EQ("", Thrown());

  // An array receiver has no implementation; no receiver at all is refused.
  jintArray array = f->NewIntArray(env, 2);
  EXPECT_EQ(0, f->CallIntMethod(env, array, im));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  EXPECT_EQ("Interface method not found", message);
  EXPECT_EQ(0, f->CallIntMethod(env, NULL, im));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  EXPECT_EQ("Cannot call interface method without object", message);
  // java/lang/Object's methods reach an array.
  jmethodID hash = Method("java/lang/Object", "hashCode", "()I");
  (void)f->CallIntMethod(env, array, hash);
  EXPECT_EQ("", Thrown()) << message;
}

/* The receiver is required and checked from the method itself: a missing receiver
   would shift the arguments by a word, a foreign one would have another class's fields
   read and written. */
TEST_F(CallTest, ReceiversAndIdsThatDoNotFitAreRefusedBeforeAnythingRuns) {
  jobject b = New("jnifunc/B");
  jclass values = Cls("jnifunc/Values");
  jmethodID twice = Method("jnifunc/A", "twice", "(I)I");
  jmethodID touch = StaticMethod("jnifunc/Values", "touch", "()V");
  jfieldID calls = StaticField("jnifunc/Values", "calls", "I");
  EXPECT_EQ(10, f->CallIntMethod(env, b, twice, 5));

  EXPECT_EQ(0, f->CallIntMethod(env, NULL, twice, 5));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  // The nonvirtual family would have taken the 5 for the receiver.
  EXPECT_EQ(0, f->CallNonvirtualIntMethod(env, NULL, NULL, twice, 5));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  jvalue five[1];
  five[0].i = 5;
  EXPECT_EQ(0, f->CallNonvirtualIntMethodA(env, NULL, NULL, twice, five));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());

  // Static ids in the instance families and instance ids in the static family.
  f->CallVoidMethod(env, b, touch);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  f->CallNonvirtualVoidMethodA(env, b, NULL, touch, NULL);
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0, f->CallStaticIntMethod(env, values, twice, 5));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0, f->GetStaticIntField(env, values, calls));

  // A receiver that is not an instance of the method's class, and one that is no Java
  // object at all (a method id passed as an object).
  jstring s = f->NewStringUTF(env, "not an A");
  EXPECT_EQ(0, f->CallIntMethod(env, s, twice, 5));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0, f->CallNonvirtualIntMethod(env, s, NULL, twice, 5));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(0, f->CallIntMethod(env, (jobject)twice, twice, 5));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());

  // No id, an id of a field, an id beyond the member ids, a local reference as an id.
  EXPECT_EQ(0, f->CallIntMethod(env, b, NULL, 5));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  EXPECT_EQ("", message);
  f->CallStaticVoidMethod(env, values, (jmethodID)calls);
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  f->CallStaticVoidMethodA(env, values, (jmethodID)(uintptr_t)0x20FFFFFF, NULL);
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  f->CallStaticVoidMethodA(env, values, (jmethodID)values, NULL);
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  // A jvalue form without values for a method that takes some.
  EXPECT_EQ(0, f->CallIntMethodA(env, b, twice, NULL));
  EXPECT_EQ("java.lang.NullPointerException", Thrown());
  EXPECT_EQ(0, f->GetStaticIntField(env, values, calls));
}

TEST_F(CallTest, ThirtyOneParameterWordsAndNoMore) {
  jobject many = New("jnifunc/Many");
  jclass cls = Cls("jnifunc/Many");
  jvalue a[31];
  for (int i = 0; i < 31; i++) a[i].i = i + 1;
  // 30 ints and the receiver: 31 words.
  jmethodID w31 = Method("jnifunc/Many", "w31", "(IIIIIIIIIIIIIIIIIIIIIIIIIIIIII)I");
  EXPECT_EQ(465, f->CallIntMethodA(env, many, w31, a));
  EXPECT_EQ(465, f->CallIntMethod(env, many, w31, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                  20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30));
  jmethodID s31 = StaticMethod("jnifunc/Many", "s31", "(IIIIIIIIIIIIIIIIIIIIIIIIIIIIIII)I");
  EXPECT_EQ(496, f->CallStaticIntMethodA(env, cls, s31, a));
  EXPECT_EQ("", Thrown()) << message;
  // 31 ints and the receiver: 32 words.
  jmethodID w32 = Method("jnifunc/Many", "w32", "(IIIIIIIIIIIIIIIIIIIIIIIIIIIIIII)I");
  EXPECT_EQ(0, f->CallIntMethodA(env, many, w32, a));
  EXPECT_EQ("java.lang.VirtualMachineError", Thrown());
  EXPECT_EQ("Too many parameters for JNI call", message);
  EXPECT_EQ(0, f->CallIntMethod(env, many, w32, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                                20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31));
  EXPECT_EQ("java.lang.VirtualMachineError", Thrown());
}

/* The jvalue form refuses a method with too many words before its class is
   initialised, the va_list form only after. */
TEST_F(CallTest, TheTwoFormsCheckTheLimitOnEitherSideOfInitialisation) {
  VMLoadableClass* late = world.Class("jnifunc/ManyLate");
  ASSERT_NE(nullptr, late);
  jclass cls = VMJniHandle::NewLocal(env, (VMObject*)late);
  jmethodID l16 = f->GetStaticMethodID(env, cls, "l16", "(JJJJJJJJJJJJJJJJ)J");
  ASSERT_NE(nullptr, l16);
  jvalue a[16];
  for (int i = 0; i < 16; i++) a[i].j = i;
  EXPECT_EQ(0, f->CallStaticLongMethodA(env, cls, l16, a));
  EXPECT_EQ("java.lang.VirtualMachineError", Thrown());
  EXPECT_EQ(nullptr, late->GetInitializedStaticData(world.vm));
  EXPECT_EQ(0, f->CallStaticLongMethod(env, cls, l16, (jlong)0, (jlong)1, (jlong)2, (jlong)3, (jlong)4, (jlong)5,
                                       (jlong)6, (jlong)7, (jlong)8, (jlong)9, (jlong)10, (jlong)11, (jlong)12,
                                       (jlong)13, (jlong)14, (jlong)15));
  EXPECT_EQ("java.lang.VirtualMachineError", Thrown());
  EXPECT_NE(nullptr, late->GetInitializedStaticData(world.vm));
}

TEST_F(CallTest, NativesThatAreNotBoundAreCheckedOnTheMethodThatWouldRun) {
  jclass unbound = Cls("jnifunc/Unbound");
  EXPECT_EQ(0, f->CallStaticIntMethod(env, unbound, StaticMethod("jnifunc/Unbound", "nothing", "()I")));
  EXPECT_EQ("java.lang.UnsatisfiedLinkError", Thrown());
  EXPECT_EQ("jnifunc.Unbound.nothing", message);
  // An unbound native base method overridden in Java: the override runs.
  jobject nsub = New("jnifunc/NSub");
  EXPECT_EQ(5, f->CallIntMethod(env, nsub, Method("jnifunc/NBase", "g", "()I")));
  EXPECT_EQ("", Thrown());
  // A Java method overridden by an unbound native: the native is what would run.
  jobject jsub = New("jnifunc/JSub");
  jmethodID h = Method("jnifunc/JBase", "h", "()I");
  EXPECT_EQ(0, f->CallIntMethod(env, jsub, h));
  EXPECT_EQ("java.lang.UnsatisfiedLinkError", Thrown());
  EXPECT_EQ("jnifunc.JSub.h", message);
  EXPECT_EQ(6, f->CallNonvirtualIntMethod(env, jsub, NULL, h));
  EXPECT_EQ("", Thrown());
}

TEST_F(CallTest, ExceptionsStayPendingAndCallsRunWithOneAlreadyPending) {
  jclass cls = Cls("jnifunc/Values");
  jmethodID throwIt = StaticMethod("jnifunc/Values", "throwIt", "(I)I");
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, throwIt, 3));
  EXPECT_EQ("java.lang.IllegalStateException", Thrown());
  EXPECT_EQ("thrown 3", message);
  EXPECT_EQ(-3, f->CallStaticIntMethod(env, cls, throwIt, -3));

  // With an exception pending the method runs; its result reads 0 and the exception
  // stays the one that was pending.
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_ArithmeticException, "earlier"));
  f->CallStaticVoidMethod(env, cls, StaticMethod("jnifunc/Values", "touch", "()V"));
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, StaticMethod("jnifunc/Values", "echoI", "(I)I"), 5));
  jmethodID echoL = StaticMethod("jnifunc/Values", "echoL", "(Ljava/lang/Object;)Ljava/lang/Object;");
  jint before = Locals();
  EXPECT_EQ(nullptr, f->CallStaticObjectMethod(env, cls, echoL, cls));
  EXPECT_EQ(before, Locals());
  EXPECT_EQ("java.lang.ArithmeticException", Thrown());
  EXPECT_EQ("earlier", message);
  EXPECT_EQ(1, f->GetStaticIntField(env, cls, StaticField("jnifunc/Values", "calls", "I")));
}

/* A class that cannot be initialised in this machine has no static data here: its
   methods must not run. */
TEST_F(CallTest, AClassWhoseInitialisationFailedIsNotCalled) {
  VMLoadableClass* bad = world.Class("jnifunc/BadInit");
  ASSERT_NE(nullptr, bad);
  jclass cls = VMJniHandle::NewLocal(env, (VMObject*)bad);
  jmethodID get = f->GetStaticMethodID(env, cls, "get", "()I");
  ASSERT_NE(nullptr, get);
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, get));
  EXPECT_EQ("java.lang.ExceptionInInitializerError", Thrown());
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, get));
  EXPECT_EQ("java.lang.NoClassDefFoundError", Thrown());
  EXPECT_EQ("jnifunc.BadInit", message);
  EXPECT_EQ(0, f->GetStaticIntField(env, cls, f->GetStaticFieldID(env, cls, "x", "I")));
  EXPECT_EQ("java.lang.NoClassDefFoundError", Thrown());
}

/* A call whose frame cannot be made leaves its arguments in the area: none of them may
   come back as the result, least of all as a reference. */
TEST_F(CallTest, ACallThatCouldNotStartAnswersNull) {
  jclass cls = Cls("jnifunc/Values");
  jmethodID echo = StaticMethod("jnifunc/Values", "echoL", "(Ljava/lang/Object;)Ljava/lang/Object;");
  jmethodID echoI = StaticMethod("jnifunc/Values", "echoI", "(I)I");
  jstring s = f->NewStringUTF(env, "argument");
  jint before = Locals();
  refhost::SetFailureScope(true, nullptr, jallocFailFast);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(nullptr, f->CallStaticObjectMethod(env, cls, echo, s));
  refhost::ResetHooks();
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_EQ(before, Locals());
  refhost::SetFailureScope(true, nullptr, jallocFailFast);
  refhost::FailNthAllocation(1);
  EXPECT_EQ(0, f->CallStaticIntMethod(env, cls, echoI, 77));
  refhost::ResetHooks();
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_TRUE(f->IsSameObject(env, s, f->CallStaticObjectMethod(env, cls, echo, s)));
}

/* Two machines share classes and ids, not static values: the first call in the second
   machine runs the class's initialiser there. */
TEST_F(CallTest, TwoMachinesOnOneNameSpaceInitialiseEachForItself) {
  jclass cls = Cls("jnifunc/Flagged");
  jmethodID get = StaticMethod("jnifunc/Flagged", "get", "()I");
  jmethodID bumped = StaticMethod("jnifunc/Flagged", "bumped", "()I");
  EXPECT_EQ(1, f->CallStaticIntMethod(env, cls, get));
  EXPECT_EQ(1, f->CallStaticIntMethod(env, cls, bumped));
  EXPECT_EQ(2, f->CallStaticIntMethod(env, cls, bumped));
  Machine second;
  ASSERT_TRUE(second.Create(world.ns));
  JNIEnv* e2 = second.env;
  VMLoadableClass* flagged = (VMLoadableClass*)Obj(cls);
  EXPECT_EQ(nullptr, flagged->GetInitializedStaticData(second.vm));
  // The ids of the first machine serve the second.
  EXPECT_EQ(1, e2->functions->CallStaticIntMethod(e2, NULL, get));
  EXPECT_EQ(1, e2->functions->CallStaticIntMethod(e2, NULL, bumped));
  EXPECT_NE(nullptr, flagged->GetInitializedStaticData(second.vm));
  second.Destroy();
  refhost::Functions()->AttachThreadEnv(world.jvm, env);
  refhost::Functions()->SetCurrentEnv(env);
  EXPECT_EQ(3, f->CallStaticIntMethod(env, cls, bumped));
}

/* ---- method ids and objects ---- */

TEST_F(CallTest, MethodIdsAreFoundUpTheSuperclassesAndKeepTheirKind) {
  jmethodID viaB = Method("jnifunc/B", "twice", "(I)I");
  EXPECT_EQ(viaB, Method("jnifunc/A", "twice", "(I)I"));
  EXPECT_EQ(viaB, Method("jnifunc/B", "twice", "(I)I"));
  // A superinterface's method is not found through an interface.
  EXPECT_EQ(nullptr, f->GetMethodID(env, Cls("jnifunc/J"), "im", "()I"));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  // A static method is no instance method and the other way round; no message.
  EXPECT_EQ(nullptr, f->GetMethodID(env, Cls("jnifunc/Values"), "touch", "()V"));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  EXPECT_EQ("", message);
  EXPECT_EQ(nullptr, f->GetStaticMethodID(env, Cls("jnifunc/Values"), "hereV", "()V"));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
  // Array and primitive classes, names that are no text: 0 and nothing raised.
  EXPECT_EQ(nullptr, f->GetMethodID(env, f->GetObjectClass(env, f->NewIntArray(env, 1)), "hashCode", "()I"));
  jclass intClass = VMJniHandle::NewLocal(env, (VMObject*)world.ns->GetClassList()->GetVMintClass());
  EXPECT_EQ(nullptr, f->GetStaticMethodID(env, intClass, "valueOf", "(I)I"));
  EXPECT_EQ(nullptr, f->GetMethodID(env, Cls("jnifunc/A"), NULL, "()I"));
  EXPECT_EQ(nullptr, f->GetMethodID(env, Cls("jnifunc/A"), "m", NULL));
  EXPECT_EQ(nullptr, f->GetMethodID(env, Cls("jnifunc/A"), "m\xC3", "()I"));
  EXPECT_EQ(nullptr, f->GetMethodID(env, NULL, "m", "()I"));
  EXPECT_EQ(nullptr, f->GetMethodID(env, f->NewStringUTF(env, "not a class"), "m", "()I"));
  EXPECT_EQ("", Thrown());
}

/* An id that cannot be made is a shortage, not a missing member: the OutOfMemoryError
   of the member-id array stays pending. */
TEST_F(CallTest, AnIdThatCannotBeMadeIsAShortageNotAMissingMember) {
  jclass cls = Cls("java/lang/String");
  VMLoadableClass* string = (VMLoadableClass*)Obj(cls);
  VMMethodArray* methods = string->GetMethods();
  VMDataMemberArray* fields = string->GetDataMembers();
  ASSERT_NE(nullptr, methods);
  // The member-id array grows by ten: one of the first ids asked for without memory
  // needs it to grow.
  refhost::SetFailureScope(true, world.ns->GetHeap(), -1);
  refhost::FailNextAllocations(100000);
  int refused = 0;
  for (uint32_t i = 0; i < methods->GetSize() && refused == 0; i++) {
    VMMethod* m = methods->Get(i);
    char* name = m->GetName()->MakeUTF8();
    char* sig = m->GetSignature()->MakeUTF8();
    jmethodID id = m->GetIsStatic() ? f->GetStaticMethodID(env, cls, name, sig) : f->GetMethodID(env, cls, name, sig);
    VMLiteral::FreeUTF8(name);
    VMLiteral::FreeUTF8(sig);
    if (id != nullptr) continue;
    refused++;
    EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  }
  for (uint32_t i = 0; fields != nullptr && i < fields->GetSize() && refused < 2; i++) {
    VMDataMember* field = fields->Get(i);
    char* name = field->GetName()->MakeUTF8();
    char* sig = field->GetSignature()->MakeUTF8();
    jfieldID id = field->GetIsStatic() ? f->GetStaticFieldID(env, cls, name, sig) : f->GetFieldID(env, cls, name, sig);
    VMLiteral::FreeUTF8(name);
    VMLiteral::FreeUTF8(sig);
    if (id != nullptr) continue;
    refused++;
    EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  }
  refhost::ResetHooks();
  EXPECT_GE(refused, 1);
  EXPECT_NE(nullptr, Method("java/lang/String", "length", "()I"));
}

TEST_F(CallTest, ObjectsWithAndWithoutAConstructor) {
  // A constructor found in the superclass runs on an object of the class asked for.
  jclass noCtor = Cls("jnifunc/NoCtor");
  jmethodID baseInit = Method("jnifunc/NoCtor", "<init>", "()V");
  EXPECT_EQ(baseInit, Method("jnifunc/Base", "<init>", "()V"));
  jobject made = f->NewObject(env, noCtor, baseInit);
  ASSERT_NE(nullptr, made);
  EXPECT_TRUE(f->IsSameObject(env, noCtor, f->GetObjectClass(env, made)));
  EXPECT_EQ(11, f->GetIntField(env, made, Field("jnifunc/Base", "made", "I")));
  jvalue v[1];
  v[0].i = 23;
  jobject withArg = f->NewObjectA(env, noCtor, Method("jnifunc/NoCtor", "<init>", "(I)V"), v);
  EXPECT_EQ(23, f->GetIntField(env, withArg, Field("jnifunc/Base", "made", "I")));

  // Nothing can be made of an abstract class or an interface.
  jclass abs = Cls("jnifunc/Abs");
  EXPECT_EQ(nullptr, f->AllocObject(env, abs));
  EXPECT_EQ("java.lang.InstantiationError", Thrown());
  EXPECT_EQ(nullptr, f->AllocObject(env, Cls("jnifunc/I")));
  EXPECT_EQ("java.lang.InstantiationError", Thrown());
  EXPECT_EQ(nullptr, f->AllocObject(env, NULL));
  EXPECT_EQ("java.lang.InstantiationError", Thrown());
  EXPECT_EQ(nullptr, f->NewObject(env, abs, Method("java/lang/Object", "<init>", "()V")));
  EXPECT_EQ("java.lang.InstantiationException", Thrown());
  EXPECT_EQ(nullptr, f->NewObjectA(env, f->GetObjectClass(env, f->NewIntArray(env, 1)),
                                   Method("java/lang/Object", "<init>", "()V"), NULL));
  EXPECT_EQ("java.lang.InstantiationException", Thrown());

  // AllocObject: every field zero, no constructor, no initialiser.
  VMLoadableClass* flagged = world.Class("jnifunc/Flagged");
  jclass shell = VMJniHandle::NewLocal(env, (VMObject*)flagged);
  jobject raw = f->AllocObject(env, shell);
  ASSERT_NE(nullptr, raw);
  EXPECT_EQ(0, f->GetIntField(env, raw, f->GetFieldID(env, shell, "x", "I")));
  EXPECT_EQ(nullptr, flagged->GetInitializedStaticData(world.vm));
  EXPECT_EQ("", Thrown());
}

TEST_F(CallTest, NewObjectInitialisesTheClassMadeAndHandsOutNothingThatFailed) {
  // Base's constructor on a FlaggedSub: FlaggedSub is what gets initialised.
  jfieldID ran = StaticField("jnifunc/FlaggedSub", "ran", "Z");
  jmethodID baseInit = Method("jnifunc/Base", "<init>", "()V");
  VMLoadableClass* subClass = world.Class("jnifunc/FlaggedSub");
  ASSERT_NE(nullptr, subClass);
  Machine second;
  ASSERT_TRUE(second.Create(world.ns));
  JNIEnv* e2 = second.env;
  EXPECT_EQ(nullptr, subClass->GetInitializedStaticData(second.vm));
  jobject o = e2->functions->NewObject(e2, VMJniHandle::NewLocal(e2, (VMObject*)subClass), baseInit);
  EXPECT_NE(nullptr, o);
  EXPECT_NE(nullptr, subClass->GetInitializedStaticData(second.vm));
  EXPECT_EQ(1, e2->functions->GetStaticBooleanField(e2, NULL, ran));
  second.Destroy();
  refhost::Functions()->AttachThreadEnv(world.jvm, env);
  refhost::Functions()->SetCurrentEnv(env);

  // A constructor that throws: no object, its exception pending.
  jclass throws = Cls("jnifunc/Throws");
  jmethodID withInt = Method("jnifunc/Throws", "<init>", "(I)V");
  EXPECT_EQ(nullptr, f->NewObject(env, throws, withInt, -1));
  EXPECT_EQ("java.lang.IllegalArgumentException", Thrown());
  EXPECT_EQ("negative", message);
  jobject fine = f->NewObject(env, throws, withInt, 4);
  EXPECT_EQ(4, f->GetIntField(env, fine, Field("jnifunc/Throws", "v", "I")));
  // An exception pending before is not the constructor's: the object comes back.
  ASSERT_EQ(0, VMJniThrowInternal(env, VMStatus_ArithmeticException, NULL));
  EXPECT_NE(nullptr, f->NewObject(env, throws, withInt, 2));
  EXPECT_EQ("java.lang.ArithmeticException", Thrown());

  // Ids that cannot be a constructor of the class: static, of another class, none.
  EXPECT_EQ(nullptr, f->NewObject(env, throws, StaticMethod("jnifunc/Values", "touch", "()V")));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(nullptr, f->NewObject(env, throws, Method("jnifunc/Values", "<init>", "()V")));
  EXPECT_EQ("java.lang.IncompatibleClassChangeError", Thrown());
  EXPECT_EQ(nullptr, f->NewObject(env, throws, NULL));
  EXPECT_EQ("java.lang.NoSuchMethodError", Thrown());
}

TEST_F(CallTest, ARefusedObjectIsAnOutOfMemoryError) {
  jclass values = Cls("jnifunc/Values");
  jmethodID init = Method("jnifunc/Values", "<init>", "()V");
  // Every allocation of the machine's heap refused, the retry after the collection too.
  refhost::SetFailureScope(true, world.vm->GetHeap(), -1);
  refhost::FailNextAllocations(100);
  EXPECT_EQ(nullptr, f->NewObject(env, values, init));
  EXPECT_EQ(nullptr, f->AllocObject(env, values));
  refhost::ResetHooks();
  EXPECT_EQ("java.lang.OutOfMemoryError", Thrown());
  EXPECT_NE(nullptr, f->NewObject(env, values, init));
}

TEST_F(CallTest, ObjectClassesAndInstanceTests) {
  jstring s = f->NewStringUTF(env, "s");
  EXPECT_TRUE(f->IsSameObject(env, Cls("java/lang/String"), f->GetObjectClass(env, s)));
  EXPECT_EQ(nullptr, f->GetObjectClass(env, NULL));
  EXPECT_EQ(nullptr, f->GetObjectClass(env, (jobject)Method("jnifunc/A", "m", "()I")));
  EXPECT_EQ("", Thrown());
  jobject b = New("jnifunc/B");
  jobject a = New("jnifunc/A");
  EXPECT_TRUE(f->IsInstanceOf(env, b, Cls("jnifunc/A")));
  EXPECT_FALSE(f->IsInstanceOf(env, a, Cls("jnifunc/B")));
  EXPECT_TRUE(f->IsInstanceOf(env, NULL, Cls("jnifunc/B")));
  EXPECT_TRUE(f->IsInstanceOf(env, New("jnifunc/Impl"), Cls("jnifunc/I")));
  EXPECT_FALSE(f->IsInstanceOf(env, b, NULL));
  EXPECT_FALSE(f->IsInstanceOf(env, b, s));
  EXPECT_EQ("", Thrown());
}

}  // namespace
}  // namespace jnifunc_test
