/* The internal JNI test class corvane_vm_internal_jnitest: fourteen static natives that
   print their arguments as one console line and return their sum, so that a host can see
   every argument and result kind cross the native call intact. And the default table of
   compiled-code support functions, exported as the data word JNI_JitHostFnTablePtr.

   Sums are IEEE double arithmetic left to right (the library is built for SSE2, so no
   intermediate keeps extra precision); ints wrap as Java ints do. */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "registration.h"
#include "vmclass.h"
#include "vmobject.h"
#include "vmutils.h"

namespace {

/* One console line, formatted whole however long it gets: a double printed with %f can
   take hundreds of characters. */
__attribute__((format(printf, 2, 3))) void JniTestPrint(jboolean toStderr, const char* format, ...) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL || host->ConsoleWrite == NULL) return;
  char local[4096];
  va_list args;
  va_start(args, format);
  int needed = vsnprintf(local, sizeof local, format, args);
  va_end(args);
  if (needed < 0) return;
  if ((size_t)needed < sizeof local) {
    host->ConsoleWrite(toStderr, needed, local);
    return;
  }
  char* text = (char*)host->HeapAlloc(NULL, (uint32_t)needed + 1, jallocFailFast);
  if (text == NULL) return;
  va_start(args, format);
  vsnprintf(text, (size_t)needed + 1, format, args);
  va_end(args);
  host->ConsoleWrite(toStderr, needed, text);
  host->HeapFree(NULL, text);
}

void Hook() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host != NULL && host->TestHook != NULL) host->TestHook();
}

/* A long as its halves, high first. */
#define PUX_HALVES(l) (unsigned)((uint64_t)(l) >> 32), (unsigned)(uint64_t)(l)

jint JNICALL f10i(JNIEnv*, jclass, jint i1, jint i2, jint i3, jint i4, jint i5, jint i6, jint i7, jint i8, jint i9,
                  jint i10) {
  JniTestPrint(0, "f10i: %d %d %d %d %d %d %d %d %d %d\n", i1, i2, i3, i4, i5, i6, i7, i8, i9, i10);
  uint32_t sum = 0;
  for (jint v : {i1, i2, i3, i4, i5, i6, i7, i8, i9, i10}) sum += (uint32_t)v;
  return (jint)sum;
}

jfloat JNICALL f10f(JNIEnv*, jclass, jfloat f1, jfloat f2, jfloat f3, jfloat f4, jfloat f5, jfloat f6, jfloat f7,
                    jfloat f8, jfloat f9, jfloat f10) {
  JniTestPrint(0, "f10f: %f %f %f %f %f %f %f %f %f %f\n", (double)f1, (double)f2, (double)f3, (double)f4,
               (double)f5, (double)f6, (double)f7, (double)f8, (double)f9, (double)f10);
  Hook();
  double sum = 0;
  for (jfloat v : {f1, f2, f3, f4, f5, f6, f7, f8, f9, f10}) sum += (double)v;
  return (jfloat)sum;
}

jdouble JNICALL f1d(JNIEnv*, jclass, jdouble d1) {
  JniTestPrint(0, "f1d: %f\n", d1);
  Hook();
  return d1;
}

jdouble JNICALL f2d(JNIEnv*, jclass, jdouble d1, jdouble d2) {
  JniTestPrint(0, "f2d: %f %f\n", d1, d2);
  Hook();
  return d1 + d2;
}

jdouble JNICALL f3d(JNIEnv*, jclass, jdouble d1, jdouble d2, jdouble d3) {
  JniTestPrint(0, "f3d: %f %f %f\n", d1, d2, d3);
  Hook();
  return (d1 + d2) + d3;
}

jdouble JNICALL f10d(JNIEnv*, jclass, jdouble d1, jdouble d2, jdouble d3, jdouble d4, jdouble d5, jdouble d6,
                     jdouble d7, jdouble d8, jdouble d9, jdouble d10) {
  JniTestPrint(0, "f10d: %f %f %f %f %f %f %f %f %f %f\n", d1, d2, d3, d4, d5, d6, d7, d8, d9, d10);
  Hook();
  double sum = 0;
  for (jdouble v : {d1, d2, d3, d4, d5, d6, d7, d8, d9, d10}) sum += v;
  return sum;
}

jlong JNICALL f1l(JNIEnv*, jclass, jlong l1) {
  JniTestPrint(0, "f1l: %x:%x\n", PUX_HALVES(l1));
  Hook();
  return l1;
}

jlong JNICALL f2l(JNIEnv*, jclass, jlong l1, jlong l2) {
  JniTestPrint(0, "f2l: %x:%x %x:%x\n", PUX_HALVES(l1), PUX_HALVES(l2));
  Hook();
  return (jlong)((uint64_t)l1 + (uint64_t)l2);
}

jlong JNICALL f3l(JNIEnv*, jclass, jlong l1, jlong l2, jlong l3) {
  JniTestPrint(0, "f3l: %x:%x %x:%x %x:%x\n", PUX_HALVES(l1), PUX_HALVES(l2), PUX_HALVES(l3));
  Hook();
  return (jlong)((uint64_t)l1 + (uint64_t)l2 + (uint64_t)l3);
}

jdouble JNICALL fdii(JNIEnv*, jclass, jdouble d1, jint i2, jint i3) {
  JniTestPrint(0, "fdii: %f %d %d\n", d1, i2, i3);
  Hook();
  return (d1 + (double)i2) + (double)i3;
}

jdouble JNICALL fidi(JNIEnv*, jclass, jint i1, jdouble d2, jint i3) {
  JniTestPrint(0, "fidi: %d %f %d\n", i1, d2, i3);
  Hook();
  return ((double)i1 + d2) + (double)i3;
}

jdouble JNICALL fiid(JNIEnv*, jclass, jint i1, jint i2, jdouble d3) {
  JniTestPrint(0, "fiid: %d %d %f\n", i1, i2, d3);
  Hook();
  return (double)(jint)((uint32_t)i1 + (uint32_t)i2) + d3;
}

jlong JNICALL f10l(JNIEnv*, jclass, jlong l1, jlong l2, jlong l3, jlong l4, jlong l5, jlong l6, jlong l7, jlong l8,
                   jlong l9, jlong l10) {
  JniTestPrint(0, "f10l: %x:%x %x:%x %x:%x %x:%x %x:%x %x:%x %x:%x %x:%x %x:%x %x:%x\n", PUX_HALVES(l1),
               PUX_HALVES(l2), PUX_HALVES(l3), PUX_HALVES(l4), PUX_HALVES(l5), PUX_HALVES(l6), PUX_HALVES(l7),
               PUX_HALVES(l8), PUX_HALVES(l9), PUX_HALVES(l10));
  Hook();
  uint64_t sum = 0;
  for (jlong v : {l1, l2, l3, l4, l5, l6, l7, l8, l9, l10}) sum += (uint64_t)v;
  return (jlong)sum;
}

jdouble JNICALL f10m(JNIEnv*, jclass, jint i1, jfloat f2, jdouble d3, jint i4, jfloat f5, jdouble d6, jint i7,
                     jfloat f8, jdouble d9, jint i10) {
  JniTestPrint(0, "f10m: %d %f %f %d %f %f %d %f %f %d\n", i1, (double)f2, d3, i4, (double)f5, d6, i7, (double)f8,
               d9, i10);
  Hook();
  double sum = (double)i1;
  sum += (double)f2;
  sum += d3;
  sum += (double)i4;
  sum += (double)f5;
  sum += d6;
  sum += (double)i7;
  sum += (double)f8;
  sum += d9;
  sum += (double)i10;
  return sum;
}

#undef PUX_HALVES

const JNINativeMethod kJniTest[] = {
    PUX_NATIVE("f10i", "(IIIIIIIIII)I", f10i),   PUX_NATIVE("f10f", "(FFFFFFFFFF)F", f10f),
    PUX_NATIVE("f1d", "(D)D", f1d),              PUX_NATIVE("f2d", "(DD)D", f2d),
    PUX_NATIVE("f3d", "(DDD)D", f3d),            PUX_NATIVE("f10d", "(DDDDDDDDDD)D", f10d),
    PUX_NATIVE("f1l", "(J)J", f1l),              PUX_NATIVE("f2l", "(JJ)J", f2l),
    PUX_NATIVE("f3l", "(JJJ)J", f3l),            PUX_NATIVE("fdii", "(DII)D", fdii),
    PUX_NATIVE("fidi", "(IDI)D", fidi),          PUX_NATIVE("fiid", "(IID)D", fiid),
    PUX_NATIVE("f10l", "(JJJJJJJJJJ)J", f10l),   PUX_NATIVE("f10m", "(IFDIFDIFDI)D", f10m),
};

/* ---- the default compiled-code support table ---- */

/* Slot 0: clears body word 12 of the object it is given. The host, its only caller,
   passes objects of at least thirteen body words. */
void HOSTCALL JitClearWord12(VMObject* object) {
  VM_ASSERT(object == NULL || object->GetNumberOfElements() > 12);
  if (object != NULL) object->SetWord(12, 0);
}
void HOSTCALL JitNothing1(VMword) {}
jboolean JitFalse() { return 0; }
VMword HOSTCALL JitZero1(VMword) { return 0; }
void HOSTCALL JitNothing1b(VMword) {}
VMword HOSTCALL JitZero5(VMword, VMword, VMword, VMword, VMword) { return 0; }

void* const JitHostDefaultFunctions[6] = {
    (void*)JitClearWord12, (void*)JitNothing1, (void*)JitFalse,
    (void*)JitZero1,       (void*)JitNothing1b, (void*)JitZero5,
};

}  // namespace

/* Declared in jni.h: exported, C linkage. */
void* JNI_JitHostFnTablePtr = (void*)JitHostDefaultFunctions;

void Register_corvane_vm_internal_jnitest(void) {
  JNI_RegisterNative("corvane_vm_internal_jnitest", kJniTest, PUX_ROWS(kJniTest));
}
