/* The natives of jnifunc/CNatives, an ordinary C library built against the machine's jni.h
   and found by the machine through its symbol names. Every native calls back into Java
   through the env table, in the variadic, va_list or jvalue form. */
#include <stdarg.h>
#include <string.h>

#include "jni.h"

/* Referenced by the test program, so that the linker keeps the library. */
JNIEXPORT int jnifunc_natives_version(void) { return 1; }

static jmethodID Back(JNIEnv* env, jclass cls, const char* name, const char* signature) {
  return (*env)->GetStaticMethodID(env, cls, name, signature);
}

/* The va_list form goes through a variadic helper of our own. */
static jdouble CallDoubleV(JNIEnv* env, jclass cls, jmethodID m, ...) {
  va_list ap;
  jdouble r;
  va_start(ap, m);
  r = (*env)->CallStaticDoubleMethodV(env, cls, m, ap);
  va_end(ap);
  return r;
}

static jshort CallShortV(JNIEnv* env, jclass cls, jmethodID m, ...) {
  va_list ap;
  jshort r;
  va_start(ap, m);
  r = (*env)->CallStaticShortMethodV(env, cls, m, ap);
  va_end(ap);
  return r;
}

JNIEXPORT jboolean JNICALL Java_jnifunc_CNatives_z(JNIEnv* env, jclass cls, jboolean v) {
  jmethodID m = Back(env, cls, "backZ", "(Z)Z");
  return m != NULL ? (*env)->CallStaticBooleanMethod(env, cls, m, v) : 0;
}

JNIEXPORT jbyte JNICALL Java_jnifunc_CNatives_b(JNIEnv* env, jclass cls, jbyte v) {
  jvalue a[1];
  jmethodID m = Back(env, cls, "backB", "(B)B");
  a[0].b = v;
  return m != NULL ? (*env)->CallStaticByteMethodA(env, cls, m, a) : 0;
}

JNIEXPORT jchar JNICALL Java_jnifunc_CNatives_c(JNIEnv* env, jclass cls, jchar v) {
  jmethodID m = Back(env, cls, "backC", "(C)C");
  return m != NULL ? (*env)->CallStaticCharMethod(env, cls, m, v) : 0;
}

JNIEXPORT jshort JNICALL Java_jnifunc_CNatives_s(JNIEnv* env, jclass cls, jshort v) {
  jmethodID m = Back(env, cls, "backS", "(S)S");
  return m != NULL ? CallShortV(env, cls, m, v) : 0;
}

JNIEXPORT jint JNICALL Java_jnifunc_CNatives_i(JNIEnv* env, jclass cls, jint v) {
  jvalue a[1];
  jmethodID m = Back(env, cls, "backI", "(I)I");
  a[0].i = v;
  return m != NULL ? (*env)->CallStaticIntMethodA(env, cls, m, a) : 0;
}

JNIEXPORT jlong JNICALL Java_jnifunc_CNatives_j(JNIEnv* env, jclass cls, jlong v) {
  jmethodID m = Back(env, cls, "backJ", "(J)J");
  return m != NULL ? (*env)->CallStaticLongMethod(env, cls, m, v) : 0;
}

JNIEXPORT jfloat JNICALL Java_jnifunc_CNatives_f(JNIEnv* env, jclass cls, jfloat v) {
  jmethodID m = Back(env, cls, "backF", "(F)F");
  /* A float passes as a double through the variadic form. */
  return m != NULL ? (*env)->CallStaticFloatMethod(env, cls, m, v) : 0;
}

JNIEXPORT jdouble JNICALL Java_jnifunc_CNatives_d(JNIEnv* env, jclass cls, jdouble v) {
  jmethodID m = Back(env, cls, "backD", "(D)D");
  return m != NULL ? CallDoubleV(env, cls, m, v) : 0;
}

/* "<" + v + ">" made in Java, from a copy of v's modified UTF-8 made here. */
JNIEXPORT jstring JNICALL Java_jnifunc_CNatives_l(JNIEnv* env, jclass cls, jstring v) {
  jvalue a[1];
  jstring copy;
  jmethodID m;
  const char* text = (*env)->GetStringUTFChars(env, v, NULL);
  if (text == NULL) return NULL;
  copy = (*env)->NewStringUTF(env, text);
  (*env)->ReleaseStringUTFChars(env, v, text);
  if (copy == NULL) return NULL;
  m = Back(env, cls, "backL", "(Ljava/lang/String;)Ljava/lang/String;");
  if (m == NULL) return NULL;
  a[0].l = copy;
  return (jstring)(*env)->CallStaticObjectMethodA(env, cls, m, a);
}

/* One bit per argument that arrived as CNatives.run passes it. */
JNIEXPORT jint JNICALL Java_jnifunc_CNatives_mix(JNIEnv* env, jclass cls, jboolean z, jbyte b, jchar c, jshort s,
                                             jint i, jlong j, jfloat f, jdouble d, jstring str, jintArray arr,
                                             jobject o) {
  jint bits = 0;
  jint elements[3];
  char utf[8];
  (void)cls;
  if (z == 1) bits |= 1 << 0;
  if (b == -2) bits |= 1 << 1;
  if (c == 0x1234) bits |= 1 << 2;
  if (s == -3) bits |= 1 << 3;
  if (i == 100000) bits |= 1 << 4;
  if (j == -5) bits |= 1 << 5;
  if (f == 0.5f) bits |= 1 << 6;
  if (d == 0.25) bits |= 1 << 7;
  if ((*env)->GetStringLength(env, str) == 2) {
    (*env)->GetStringUTFRegion(env, str, 0, 2, utf);
    if (strcmp(utf, "ab") == 0) bits |= 1 << 8;
  }
  if ((*env)->GetArrayLength(env, arr) == 3) {
    (*env)->GetIntArrayRegion(env, arr, 0, 3, elements);
    if (elements[0] == 1 && elements[1] == 2 && elements[2] == 3) bits |= 1 << 9;
  }
  if ((*env)->IsSameObject(env, o, arr) && (*env)->IsInstanceOf(env, o, (*env)->GetObjectClass(env, arr)))
    bits |= 1 << 10;
  return bits;
}

/* field + twice(add), read and called on the receiver. */
JNIEXPORT jint JNICALL Java_jnifunc_CNatives_here(JNIEnv* env, jobject self, jint add) {
  jclass cls = (*env)->GetObjectClass(env, self);
  jfieldID field = (*env)->GetFieldID(env, cls, "field", "I");
  jmethodID twice = (*env)->GetMethodID(env, cls, "twice", "(I)I");
  if (field == NULL || twice == NULL) return -1;
  return (*env)->GetIntField(env, self, field) + (*env)->CallIntMethod(env, self, twice, add);
}

JNIEXPORT jintArray JNICALL Java_jnifunc_CNatives_squares(JNIEnv* env, jclass cls, jint n) {
  jint values[16];
  jint k;
  jintArray a;
  (void)cls;
  if (n < 0 || n > 16) return NULL;
  a = (*env)->NewIntArray(env, n);
  if (a == NULL) return NULL;
  for (k = 0; k < n; k++) values[k] = k * k;
  (*env)->SetIntArrayRegion(env, a, 0, n, values);
  return a;
}

/* boom(v), its exception caught here: -1 when it threw. */
JNIEXPORT jint JNICALL Java_jnifunc_CNatives_caught(JNIEnv* env, jclass cls, jint v) {
  jint r;
  jmethodID m = Back(env, cls, "boom", "(I)I");
  if (m == NULL) return -2;
  r = (*env)->CallStaticIntMethod(env, cls, m, v);
  if ((*env)->ExceptionCheck(env)) {
    (*env)->ExceptionClear(env);
    return r == 0 ? -1 : -3;
  }
  return r;
}
