/* The natives of tests/java/interp/Natives.java: found by symbol name (these exported
   functions), or registered with C signatures that differ on purpose from the Java ones
   (wrong widths, dirty upper bits, fewer arguments in both conventions). */
#include "interp_natives.h"

#include <string.h>

#include "vmarray.h"
#include "vmjavalangthrowable.h"
#include "vmjni.h"
#include "vmobject.h"

namespace interp_test {
World* nativesWorld = nullptr;
std::vector<VMword> walked;
VMStatus walkStatus = 0;
}

using interp_test::nativesWorld;

extern "C" {

JNIEXPORT jboolean JNICALL Java_interp_Natives_symZ(JNIEnv*, jclass, jboolean z) { return z ? 0 : 1; }
JNIEXPORT jbyte JNICALL Java_interp_Natives_symB(JNIEnv*, jclass, jbyte b) { return (jbyte)(-b - 1); }
JNIEXPORT jchar JNICALL Java_interp_Natives_symC(JNIEnv*, jclass, jchar c) { return (jchar)(c == 65 ? 65000 : 0); }
/* Never called: the registered table binds symS instead. */
JNIEXPORT jshort JNICALL Java_interp_Natives_symS(JNIEnv*, jclass, jshort) { return 1; }
JNIEXPORT jint JNICALL Java_interp_Natives_symI(JNIEnv*, jclass, jint a, jlong b, jint c) {
  return a + (jint)(b >> 32) + c;
}
JNIEXPORT jlong JNICALL Java_interp_Natives_symJ(JNIEnv*, jclass, jlong a, jint b, jlong c) { return a * b + c; }
JNIEXPORT jfloat JNICALL Java_interp_Natives_symF(JNIEnv*, jclass, jfloat a, jdouble b, jfloat c) {
  return (jfloat)(a + b + c);
}
JNIEXPORT jdouble JNICALL Java_interp_Natives_symD(JNIEnv*, jclass, jdouble a, jfloat b, jdouble c) {
  return a + b + c;
}
JNIEXPORT jobject JNICALL Java_interp_Natives_symL(JNIEnv*, jclass, jobject s, jobject o) { return o == nullptr ? s : o; }
JNIEXPORT void JNICALL Java_interp_Natives_symV(JNIEnv* env, jclass, jobject out) {
  VMintArray* array = (VMintArray*)VMJniHandle::UnHandle(env, out);
  if (array != nullptr && array->GetSize() > 0) array->Set(0, 77);
}
JNIEXPORT jint JNICALL Java_interp_Natives_symInstance(JNIEnv* env, jobject self, jint add) {
  VMObject* object = VMJniHandle::UnHandle(env, self);
  return object != nullptr ? (jint)object->GetWord(0) + add : -1;
}

/* A Java method of the test classes, run from a native. */
static jint CallJava(JNIEnv* env, const char* cls, const char* name, const char* sig, jint arg) {
  VMMethod* m = nativesWorld->Method(cls, name, sig);
  if (m == nullptr) return -1000;
  VMword args[2] = {(VMword)arg, 0};
  VMFrame::ExecuteJava(env, m, args);
  return (jint)args[0];
}

JNIEXPORT jint JNICALL Java_interp_Natives_throwsThrough(JNIEnv* env, jclass, jint a) {
  // The Java method throws; its exception stays pending and surfaces after this returns.
  return CallJava(env, "interp/Flow", "escapes", "(I)I", a);
}

JNIEXPORT jint JNICALL Java_interp_Natives_callsBack(JNIEnv* env, jclass, jint depth) {
  return CallJava(env, "interp/Natives", "back", "(I)I", depth);
}

/* A posted exception met by a poll inside a native: thrown at the native's own frame,
   which has no handler record, it stays pending and the poll answers nonzero. */
JNIEXPORT jint JNICALL Java_interp_Natives_pollInside(JNIEnv* env, jclass) {
  VMLoadableClass* cls = nativesWorld->Class("java/lang/IllegalStateException");
  if (cls == nullptr || cls->Initialize(env) != 0) return -1;
  env->thread->PostException(VMJavaLangThrowable::CreateInstance(env, cls));
  return env->thread->Yield() != 0 && env->thread->GetException() != nullptr ? 1 : 0;
}

/* Walks the calling thread's frames as the collector does and records what it meets. */
JNIEXPORT jobject JNICALL Java_interp_Walk_probe(JNIEnv* env, jclass, jint, jobject o) {
  interp_test::walked.clear();
  interp_test::walkStatus = env->thread->GetFrame()->WalkReferences(
      [](VMword* slot, void*) {
        interp_test::walked.push_back(*slot);
        return true;
      },
      nullptr);
  return o;
}

}  // extern "C"

namespace {

/* Dirty upper bits: only the low byte or half counts. */
jint __attribute__((cdecl)) RegZ(JNIEnv*, jclass, jint v) { return (jint)(0x1234FF00u | (uint32_t)(v & 0xFF)); }
jint __attribute__((cdecl)) RegB(JNIEnv*, jclass, jint v) { return (jint)(0x7ABC0000u | (uint32_t)(v & 0xFFFF)); }
jint __attribute__((cdecl)) RegC(JNIEnv*, jclass, jint v) { return v; }
jint __attribute__((cdecl)) RegS(JNIEnv*, jclass, jint v) { return v; }
jint __attribute__((cdecl)) RegSymS(JNIEnv*, jclass, jint v) { return v == 7 ? (jint)0xABCD8300u : 0; }
/* One argument word less than Java passes, in the C convention... */
jint __attribute__((cdecl)) RegI(JNIEnv*, jclass, jint a) { return a * 7; }
/* ...and in stdcall, which pops only what it declares. */
jlong __attribute__((stdcall)) RegJ(JNIEnv*, jclass) { return 0x1234567800000005LL; }
jfloat __attribute__((cdecl)) RegF(JNIEnv*, jclass, jfloat a) { return a + 1.0f; }
jdouble __attribute__((stdcall)) RegD(JNIEnv*, jclass, jdouble a) { return a * 2; }
jobject __attribute__((cdecl)) RegL(JNIEnv*, jclass, jobject a) { return a; }
jlong __attribute__((cdecl)) RegInstanceJ(JNIEnv*, jobject, jlong a) { return a + 41; }

JNINativeMethod registered[] = {
    {(char*)"regZ", (char*)"(I)Z", (void*)&RegZ},
    {(char*)"regB", (char*)"(I)B", (void*)&RegB},
    {(char*)"regC", (char*)"(I)C", (void*)&RegC},
    {(char*)"regS", (char*)"(I)S", (void*)&RegS},
    {(char*)"regI", (char*)"(II)I", (void*)&RegI},
    {(char*)"regJ", (char*)"(J)J", (void*)&RegJ},
    {(char*)"regF", (char*)"(F)F", (void*)&RegF},
    {(char*)"regD", (char*)"(D)D", (void*)&RegD},
    {(char*)"regL", (char*)"(Ljava/lang/Object;)Ljava/lang/Object;", (void*)&RegL},
    {(char*)"regInstanceJ", (char*)"(J)J", (void*)&RegInstanceJ},
    // Names no method: reported, while the others still bind.
    {(char*)"noSuchMethod", (char*)"()V", (void*)&RegC},
    // A registered table wins over a symbol of the same method.
    {(char*)"symS", (char*)"(S)S", (void*)&RegSymS},
};

}  // namespace

namespace interp_test {

int RegisterTestNatives() {
  return JNI_RegisterNative("interp/Natives", registered, sizeof(registered) / sizeof(registered[0]));
}

}  // namespace interp_test
