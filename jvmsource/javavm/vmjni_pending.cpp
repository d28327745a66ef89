/* Stand-ins for the env functions that are not built yet: objects, method ids and calls,
   fields, strings, arrays, registration, monitors and weak references, and the
   serialization interface. Each makes InternalError "nyi: <name>" pending and returns 0,
   so the table never holds a null slot. Below them, the exported entries of the debugger
   and of the zip archives, which the entry-point block names: each reports "nyi: <name>"
   to the host's log and returns its failure value.

   To build one: define the function of the same name (declared in vmjni_functions.h)
   in a file of its own and delete its line here. */
#include "vmjni_functions.h"

#include <string.h>

#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmobject.h"
#include "vmutils.h"

namespace VMJniEnv {
jobject AllocObject(JNIEnv* env, jclass) { VMJniNotImplemented(env, "nyi: AllocObject"); return NULL; }
jobject NewObject(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: NewObject"); return NULL; }
jobject NewObjectV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: NewObjectV"); return NULL; }
jobject NewObjectA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: NewObjectA"); return NULL; }
jclass GetObjectClass(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: GetObjectClass"); return NULL; }
jboolean IsInstanceOf(JNIEnv* env, jobject, jclass) { VMJniNotImplemented(env, "nyi: IsInstanceOf"); return 0; }
jmethodID GetMethodID(JNIEnv* env, jclass, const char*, const char*) { VMJniNotImplemented(env, "nyi: GetMethodID"); return NULL; }
jobject CallObjectMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallObjectMethod"); return NULL; }
jobject CallObjectMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallObjectMethodV"); return NULL; }
jobject CallObjectMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallObjectMethodA"); return NULL; }
jboolean CallBooleanMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallBooleanMethod"); return 0; }
jboolean CallBooleanMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallBooleanMethodV"); return 0; }
jboolean CallBooleanMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallBooleanMethodA"); return 0; }
jbyte CallByteMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallByteMethod"); return 0; }
jbyte CallByteMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallByteMethodV"); return 0; }
jbyte CallByteMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallByteMethodA"); return 0; }
jchar CallCharMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallCharMethod"); return 0; }
jchar CallCharMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallCharMethodV"); return 0; }
jchar CallCharMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallCharMethodA"); return 0; }
jshort CallShortMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallShortMethod"); return 0; }
jshort CallShortMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallShortMethodV"); return 0; }
jshort CallShortMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallShortMethodA"); return 0; }
jint CallIntMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallIntMethod"); return 0; }
jint CallIntMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallIntMethodV"); return 0; }
jint CallIntMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallIntMethodA"); return 0; }
jlong CallLongMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallLongMethod"); return 0; }
jlong CallLongMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallLongMethodV"); return 0; }
jlong CallLongMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallLongMethodA"); return 0; }
jfloat CallFloatMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallFloatMethod"); return 0; }
jfloat CallFloatMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallFloatMethodV"); return 0; }
jfloat CallFloatMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallFloatMethodA"); return 0; }
jdouble CallDoubleMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallDoubleMethod"); return 0; }
jdouble CallDoubleMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallDoubleMethodV"); return 0; }
jdouble CallDoubleMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallDoubleMethodA"); return 0; }
void CallVoidMethod(JNIEnv* env, jobject, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallVoidMethod"); }
void CallVoidMethodV(JNIEnv* env, jobject, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallVoidMethodV"); }
void CallVoidMethodA(JNIEnv* env, jobject, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallVoidMethodA"); }
jobject CallNonvirtualObjectMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualObjectMethod"); return NULL; }
jobject CallNonvirtualObjectMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualObjectMethodV"); return NULL; }
jobject CallNonvirtualObjectMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualObjectMethodA"); return NULL; }
jboolean CallNonvirtualBooleanMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualBooleanMethod"); return 0; }
jboolean CallNonvirtualBooleanMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualBooleanMethodV"); return 0; }
jboolean CallNonvirtualBooleanMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualBooleanMethodA"); return 0; }
jbyte CallNonvirtualByteMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualByteMethod"); return 0; }
jbyte CallNonvirtualByteMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualByteMethodV"); return 0; }
jbyte CallNonvirtualByteMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualByteMethodA"); return 0; }
jchar CallNonvirtualCharMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualCharMethod"); return 0; }
jchar CallNonvirtualCharMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualCharMethodV"); return 0; }
jchar CallNonvirtualCharMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualCharMethodA"); return 0; }
jshort CallNonvirtualShortMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualShortMethod"); return 0; }
jshort CallNonvirtualShortMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualShortMethodV"); return 0; }
jshort CallNonvirtualShortMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualShortMethodA"); return 0; }
jint CallNonvirtualIntMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualIntMethod"); return 0; }
jint CallNonvirtualIntMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualIntMethodV"); return 0; }
jint CallNonvirtualIntMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualIntMethodA"); return 0; }
jlong CallNonvirtualLongMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualLongMethod"); return 0; }
jlong CallNonvirtualLongMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualLongMethodV"); return 0; }
jlong CallNonvirtualLongMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualLongMethodA"); return 0; }
jfloat CallNonvirtualFloatMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualFloatMethod"); return 0; }
jfloat CallNonvirtualFloatMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualFloatMethodV"); return 0; }
jfloat CallNonvirtualFloatMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualFloatMethodA"); return 0; }
jdouble CallNonvirtualDoubleMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualDoubleMethod"); return 0; }
jdouble CallNonvirtualDoubleMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualDoubleMethodV"); return 0; }
jdouble CallNonvirtualDoubleMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualDoubleMethodA"); return 0; }
void CallNonvirtualVoidMethod(JNIEnv* env, jobject, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallNonvirtualVoidMethod"); }
void CallNonvirtualVoidMethodV(JNIEnv* env, jobject, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallNonvirtualVoidMethodV"); }
void CallNonvirtualVoidMethodA(JNIEnv* env, jobject, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallNonvirtualVoidMethodA"); }
jfieldID GetFieldID(JNIEnv* env, jclass, const char*, const char*) { VMJniNotImplemented(env, "nyi: GetFieldID"); return NULL; }
jobject GetObjectField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetObjectField"); return NULL; }
jboolean GetBooleanField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetBooleanField"); return 0; }
jbyte GetByteField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetByteField"); return 0; }
jchar GetCharField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetCharField"); return 0; }
jshort GetShortField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetShortField"); return 0; }
jint GetIntField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetIntField"); return 0; }
jlong GetLongField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetLongField"); return 0; }
jfloat GetFloatField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetFloatField"); return 0; }
jdouble GetDoubleField(JNIEnv* env, jobject, jfieldID) { VMJniNotImplemented(env, "nyi: GetDoubleField"); return 0; }
void SetObjectField(JNIEnv* env, jobject, jfieldID, jobject) { VMJniNotImplemented(env, "nyi: SetObjectField"); }
void SetBooleanField(JNIEnv* env, jobject, jfieldID, jboolean) { VMJniNotImplemented(env, "nyi: SetBooleanField"); }
void SetByteField(JNIEnv* env, jobject, jfieldID, jbyte) { VMJniNotImplemented(env, "nyi: SetByteField"); }
void SetCharField(JNIEnv* env, jobject, jfieldID, jchar) { VMJniNotImplemented(env, "nyi: SetCharField"); }
void SetShortField(JNIEnv* env, jobject, jfieldID, jshort) { VMJniNotImplemented(env, "nyi: SetShortField"); }
void SetIntField(JNIEnv* env, jobject, jfieldID, jint) { VMJniNotImplemented(env, "nyi: SetIntField"); }
void SetLongField(JNIEnv* env, jobject, jfieldID, jlong) { VMJniNotImplemented(env, "nyi: SetLongField"); }
void SetFloatField(JNIEnv* env, jobject, jfieldID, jfloat) { VMJniNotImplemented(env, "nyi: SetFloatField"); }
void SetDoubleField(JNIEnv* env, jobject, jfieldID, jdouble) { VMJniNotImplemented(env, "nyi: SetDoubleField"); }
jmethodID GetStaticMethodID(JNIEnv* env, jclass, const char*, const char*) { VMJniNotImplemented(env, "nyi: GetStaticMethodID"); return NULL; }
jobject CallStaticObjectMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticObjectMethod"); return NULL; }
jobject CallStaticObjectMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticObjectMethodV"); return NULL; }
jobject CallStaticObjectMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticObjectMethodA"); return NULL; }
jboolean CallStaticBooleanMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticBooleanMethod"); return 0; }
jboolean CallStaticBooleanMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticBooleanMethodV"); return 0; }
jboolean CallStaticBooleanMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticBooleanMethodA"); return 0; }
jbyte CallStaticByteMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticByteMethod"); return 0; }
jbyte CallStaticByteMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticByteMethodV"); return 0; }
jbyte CallStaticByteMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticByteMethodA"); return 0; }
jchar CallStaticCharMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticCharMethod"); return 0; }
jchar CallStaticCharMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticCharMethodV"); return 0; }
jchar CallStaticCharMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticCharMethodA"); return 0; }
jshort CallStaticShortMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticShortMethod"); return 0; }
jshort CallStaticShortMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticShortMethodV"); return 0; }
jshort CallStaticShortMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticShortMethodA"); return 0; }
jint CallStaticIntMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticIntMethod"); return 0; }
jint CallStaticIntMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticIntMethodV"); return 0; }
jint CallStaticIntMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticIntMethodA"); return 0; }
jlong CallStaticLongMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticLongMethod"); return 0; }
jlong CallStaticLongMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticLongMethodV"); return 0; }
jlong CallStaticLongMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticLongMethodA"); return 0; }
jfloat CallStaticFloatMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticFloatMethod"); return 0; }
jfloat CallStaticFloatMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticFloatMethodV"); return 0; }
jfloat CallStaticFloatMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticFloatMethodA"); return 0; }
jdouble CallStaticDoubleMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticDoubleMethod"); return 0; }
jdouble CallStaticDoubleMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticDoubleMethodV"); return 0; }
jdouble CallStaticDoubleMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticDoubleMethodA"); return 0; }
void CallStaticVoidMethod(JNIEnv* env, jclass, jmethodID, ...) { VMJniNotImplemented(env, "nyi: CallStaticVoidMethod"); }
void CallStaticVoidMethodV(JNIEnv* env, jclass, jmethodID, va_list) { VMJniNotImplemented(env, "nyi: CallStaticVoidMethodV"); }
void CallStaticVoidMethodA(JNIEnv* env, jclass, jmethodID, const jvalue*) { VMJniNotImplemented(env, "nyi: CallStaticVoidMethodA"); }
jfieldID GetStaticFieldID(JNIEnv* env, jclass, const char*, const char*) { VMJniNotImplemented(env, "nyi: GetStaticFieldID"); return NULL; }
jobject GetStaticObjectField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticObjectField"); return NULL; }
jboolean GetStaticBooleanField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticBooleanField"); return 0; }
jbyte GetStaticByteField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticByteField"); return 0; }
jchar GetStaticCharField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticCharField"); return 0; }
jshort GetStaticShortField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticShortField"); return 0; }
jint GetStaticIntField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticIntField"); return 0; }
jlong GetStaticLongField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticLongField"); return 0; }
jfloat GetStaticFloatField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticFloatField"); return 0; }
jdouble GetStaticDoubleField(JNIEnv* env, jclass, jfieldID) { VMJniNotImplemented(env, "nyi: GetStaticDoubleField"); return 0; }
void SetStaticObjectField(JNIEnv* env, jclass, jfieldID, jobject) { VMJniNotImplemented(env, "nyi: SetStaticObjectField"); }
void SetStaticBooleanField(JNIEnv* env, jclass, jfieldID, jboolean) { VMJniNotImplemented(env, "nyi: SetStaticBooleanField"); }
void SetStaticByteField(JNIEnv* env, jclass, jfieldID, jbyte) { VMJniNotImplemented(env, "nyi: SetStaticByteField"); }
void SetStaticCharField(JNIEnv* env, jclass, jfieldID, jchar) { VMJniNotImplemented(env, "nyi: SetStaticCharField"); }
void SetStaticShortField(JNIEnv* env, jclass, jfieldID, jshort) { VMJniNotImplemented(env, "nyi: SetStaticShortField"); }
void SetStaticIntField(JNIEnv* env, jclass, jfieldID, jint) { VMJniNotImplemented(env, "nyi: SetStaticIntField"); }
void SetStaticLongField(JNIEnv* env, jclass, jfieldID, jlong) { VMJniNotImplemented(env, "nyi: SetStaticLongField"); }
void SetStaticFloatField(JNIEnv* env, jclass, jfieldID, jfloat) { VMJniNotImplemented(env, "nyi: SetStaticFloatField"); }
void SetStaticDoubleField(JNIEnv* env, jclass, jfieldID, jdouble) { VMJniNotImplemented(env, "nyi: SetStaticDoubleField"); }
jstring NewString(JNIEnv* env, const jchar*, jsize) { VMJniNotImplemented(env, "nyi: NewString"); return NULL; }
jsize GetStringLength(JNIEnv* env, jstring) { VMJniNotImplemented(env, "nyi: GetStringLength"); return 0; }
const jchar* GetStringChars(JNIEnv* env, jstring, jboolean*) { VMJniNotImplemented(env, "nyi: GetStringChars"); return NULL; }
void ReleaseStringChars(JNIEnv* env, jstring, const jchar*) { VMJniNotImplemented(env, "nyi: ReleaseStringChars"); }
jstring NewStringUTF(JNIEnv* env, const char*) { VMJniNotImplemented(env, "nyi: NewStringUTF"); return NULL; }
jsize GetStringUTFLength(JNIEnv* env, jstring) { VMJniNotImplemented(env, "nyi: GetStringUTFLength"); return 0; }
const char* GetStringUTFChars(JNIEnv* env, jstring, jboolean*) { VMJniNotImplemented(env, "nyi: GetStringUTFChars"); return NULL; }
void ReleaseStringUTFChars(JNIEnv* env, jstring, const char*) { VMJniNotImplemented(env, "nyi: ReleaseStringUTFChars"); }
jsize GetArrayLength(JNIEnv* env, jarray) { VMJniNotImplemented(env, "nyi: GetArrayLength"); return 0; }
jobjectArray NewObjectArray(JNIEnv* env, jsize, jclass, jobject) { VMJniNotImplemented(env, "nyi: NewObjectArray"); return NULL; }
jobject GetObjectArrayElement(JNIEnv* env, jobjectArray, jsize) { VMJniNotImplemented(env, "nyi: GetObjectArrayElement"); return NULL; }
void SetObjectArrayElement(JNIEnv* env, jobjectArray, jsize, jobject) { VMJniNotImplemented(env, "nyi: SetObjectArrayElement"); }
jbooleanArray NewBooleanArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewBooleanArray"); return NULL; }
jbyteArray NewByteArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewByteArray"); return NULL; }
jcharArray NewCharArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewCharArray"); return NULL; }
jshortArray NewShortArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewShortArray"); return NULL; }
jintArray NewIntArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewIntArray"); return NULL; }
jlongArray NewLongArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewLongArray"); return NULL; }
jfloatArray NewFloatArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewFloatArray"); return NULL; }
jdoubleArray NewDoubleArray(JNIEnv* env, jsize) { VMJniNotImplemented(env, "nyi: NewDoubleArray"); return NULL; }
jboolean* GetBooleanArrayElements(JNIEnv* env, jbooleanArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetBooleanArrayElements"); return NULL; }
jbyte* GetByteArrayElements(JNIEnv* env, jbyteArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetByteArrayElements"); return NULL; }
jchar* GetCharArrayElements(JNIEnv* env, jcharArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetCharArrayElements"); return NULL; }
jshort* GetShortArrayElements(JNIEnv* env, jshortArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetShortArrayElements"); return NULL; }
jint* GetIntArrayElements(JNIEnv* env, jintArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetIntArrayElements"); return NULL; }
jlong* GetLongArrayElements(JNIEnv* env, jlongArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetLongArrayElements"); return NULL; }
jfloat* GetFloatArrayElements(JNIEnv* env, jfloatArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetFloatArrayElements"); return NULL; }
jdouble* GetDoubleArrayElements(JNIEnv* env, jdoubleArray, jboolean*) { VMJniNotImplemented(env, "nyi: GetDoubleArrayElements"); return NULL; }
void ReleaseBooleanArrayElements(JNIEnv* env, jbooleanArray, jboolean*, jint) { VMJniNotImplemented(env, "nyi: ReleaseBooleanArrayElements"); }
void ReleaseByteArrayElements(JNIEnv* env, jbyteArray, jbyte*, jint) { VMJniNotImplemented(env, "nyi: ReleaseByteArrayElements"); }
void ReleaseCharArrayElements(JNIEnv* env, jcharArray, jchar*, jint) { VMJniNotImplemented(env, "nyi: ReleaseCharArrayElements"); }
void ReleaseShortArrayElements(JNIEnv* env, jshortArray, jshort*, jint) { VMJniNotImplemented(env, "nyi: ReleaseShortArrayElements"); }
void ReleaseIntArrayElements(JNIEnv* env, jintArray, jint*, jint) { VMJniNotImplemented(env, "nyi: ReleaseIntArrayElements"); }
void ReleaseLongArrayElements(JNIEnv* env, jlongArray, jlong*, jint) { VMJniNotImplemented(env, "nyi: ReleaseLongArrayElements"); }
void ReleaseFloatArrayElements(JNIEnv* env, jfloatArray, jfloat*, jint) { VMJniNotImplemented(env, "nyi: ReleaseFloatArrayElements"); }
void ReleaseDoubleArrayElements(JNIEnv* env, jdoubleArray, jdouble*, jint) { VMJniNotImplemented(env, "nyi: ReleaseDoubleArrayElements"); }
void GetBooleanArrayRegion(JNIEnv* env, jbooleanArray, jsize, jsize, jboolean*) { VMJniNotImplemented(env, "nyi: GetBooleanArrayRegion"); }
void GetByteArrayRegion(JNIEnv* env, jbyteArray, jsize, jsize, jbyte*) { VMJniNotImplemented(env, "nyi: GetByteArrayRegion"); }
void GetCharArrayRegion(JNIEnv* env, jcharArray, jsize, jsize, jchar*) { VMJniNotImplemented(env, "nyi: GetCharArrayRegion"); }
void GetShortArrayRegion(JNIEnv* env, jshortArray, jsize, jsize, jshort*) { VMJniNotImplemented(env, "nyi: GetShortArrayRegion"); }
void GetIntArrayRegion(JNIEnv* env, jintArray, jsize, jsize, jint*) { VMJniNotImplemented(env, "nyi: GetIntArrayRegion"); }
void GetLongArrayRegion(JNIEnv* env, jlongArray, jsize, jsize, jlong*) { VMJniNotImplemented(env, "nyi: GetLongArrayRegion"); }
void GetFloatArrayRegion(JNIEnv* env, jfloatArray, jsize, jsize, jfloat*) { VMJniNotImplemented(env, "nyi: GetFloatArrayRegion"); }
void GetDoubleArrayRegion(JNIEnv* env, jdoubleArray, jsize, jsize, jdouble*) { VMJniNotImplemented(env, "nyi: GetDoubleArrayRegion"); }
void SetBooleanArrayRegion(JNIEnv* env, jbooleanArray, jsize, jsize, const jboolean*) { VMJniNotImplemented(env, "nyi: SetBooleanArrayRegion"); }
void SetByteArrayRegion(JNIEnv* env, jbyteArray, jsize, jsize, const jbyte*) { VMJniNotImplemented(env, "nyi: SetByteArrayRegion"); }
void SetCharArrayRegion(JNIEnv* env, jcharArray, jsize, jsize, const jchar*) { VMJniNotImplemented(env, "nyi: SetCharArrayRegion"); }
void SetShortArrayRegion(JNIEnv* env, jshortArray, jsize, jsize, const jshort*) { VMJniNotImplemented(env, "nyi: SetShortArrayRegion"); }
void SetIntArrayRegion(JNIEnv* env, jintArray, jsize, jsize, const jint*) { VMJniNotImplemented(env, "nyi: SetIntArrayRegion"); }
void SetLongArrayRegion(JNIEnv* env, jlongArray, jsize, jsize, const jlong*) { VMJniNotImplemented(env, "nyi: SetLongArrayRegion"); }
void SetFloatArrayRegion(JNIEnv* env, jfloatArray, jsize, jsize, const jfloat*) { VMJniNotImplemented(env, "nyi: SetFloatArrayRegion"); }
void SetDoubleArrayRegion(JNIEnv* env, jdoubleArray, jsize, jsize, const jdouble*) { VMJniNotImplemented(env, "nyi: SetDoubleArrayRegion"); }
jint RegisterNatives(JNIEnv* env, jclass, const JNINativeMethod*, jint) { VMJniNotImplemented(env, "nyi: RegisterNatives"); return 0; }
jint UnregisterNatives(JNIEnv* env, jclass) { VMJniNotImplemented(env, "nyi: UnregisterNatives"); return 0; }
jint MonitorEnter(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: MonitorEnter"); return 0; }
jint MonitorExit(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: MonitorExit"); return 0; }
jint GetJavaVM(JNIEnv* env, JavaVM**) { VMJniNotImplemented(env, "nyi: GetJavaVM"); return 0; }
void GetStringRegion(JNIEnv* env, jstring, jsize, jsize, jchar*) { VMJniNotImplemented(env, "nyi: GetStringRegion"); }
void GetStringUTFRegion(JNIEnv* env, jstring, jsize, jsize, char*) { VMJniNotImplemented(env, "nyi: GetStringUTFRegion"); }
void* GetPrimitiveArrayCritical(JNIEnv* env, jarray, jboolean*) { VMJniNotImplemented(env, "nyi: GetPrimitiveArrayCritical"); return NULL; }
void ReleasePrimitiveArrayCritical(JNIEnv* env, jarray, void*, jint) { VMJniNotImplemented(env, "nyi: ReleasePrimitiveArrayCritical"); }
const jchar* GetStringCritical(JNIEnv* env, jstring, jboolean*) { VMJniNotImplemented(env, "nyi: GetStringCritical"); return NULL; }
void ReleaseStringCritical(JNIEnv* env, jstring, const jchar*) { VMJniNotImplemented(env, "nyi: ReleaseStringCritical"); }
jweak NewWeakGlobalRef(JNIEnv* env, jobject) { VMJniNotImplemented(env, "nyi: NewWeakGlobalRef"); return NULL; }
void DeleteWeakGlobalRef(JNIEnv* env, jweak) { VMJniNotImplemented(env, "nyi: DeleteWeakGlobalRef"); }
jboolean ExceptionCheck(JNIEnv* env) { VMJniNotImplemented(env, "nyi: ExceptionCheck"); return 0; }
}  // namespace VMJniEnv

namespace JNIEnvExtension {
uint32_t GetStringUTFPiece(JNIEnv* env, jstring, char*, uint32_t, uint32_t*, uint32_t) { VMJniNotImplemented(env, "nyi: GetStringUTFPiece"); return 0; }
}  // namespace JNIEnvExtension

/* The serialization interface. */
namespace JNIEnvExtension {
}  // namespace JNIEnvExtension

/* The field id of the stand-in natives' cache is the field's instance word plus one. */
jboolean VMJniGetBooleanField(JNIEnv* env, jobject object, void* fieldID) {
  VMObject* target = VMJniHandle::UnHandle(env, object);
  if (target == NULL || fieldID == NULL) return 0;
  return target->GetWord((uint32_t)(uintptr_t)fieldID - 1) != 0 ? 1 : 0;
}

/* ---- exported entries of the debugger and of the zip archives ---- */

static void ReportEntry(const char* text) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host != NULL && host->LogMessage != NULL) host->LogMessage((jint)strlen(text), text);
}

JNIEXPORT void* HOSTCALL JNI_DebugAttach(const char*) { ReportEntry("nyi: JNI_DebugAttach"); return NULL; }
JNIEXPORT void HOSTCALL JNI_DebugDetach(void*) { ReportEntry("nyi: JNI_DebugDetach"); }
JNIEXPORT uint32_t HOSTCALL JNI_DebugRequest(void*, void*, JNIDebugIOCallback, void*, JNIDebugIOCallback) {
  ReportEntry("nyi: JNI_DebugRequest");
  return 0xFFFFFFFFu;
}
JNIEXPORT jbyte HOSTCALL JNI_DebugEventPending(void*) { ReportEntry("nyi: JNI_DebugEventPending"); return (jbyte)255; }
JNIEXPORT JavaVM* HOSTCALL JNI_DebugWaitForVM() { ReportEntry("nyi: JNI_DebugWaitForVM"); return NULL; }
JNIEXPORT void HOSTCALL JNI_DebugReleaseVM(JavaVM*) { ReportEntry("nyi: JNI_DebugReleaseVM"); }
JNIEXPORT void HOSTCALL JNI_DebugEnableVMCreation(jboolean) { ReportEntry("nyi: JNI_DebugEnableVMCreation"); }
JNIEXPORT jint HOSTCALL JNI_DebugGetExistingVMs(JavaVM**, uint32_t, uint32_t* total) {
  ReportEntry("nyi: JNI_DebugGetExistingVMs");
  if (total != NULL) *total = 0;
  return 0;
}
JNIEXPORT void HOSTCALL JNI_DebugSetLoaderID(void*, void*) { ReportEntry("nyi: JNI_DebugSetLoaderID"); }

JNIEXPORT void* HOSTCALL JNI_CreateZipHash(HHeap*, JNIHostFunctions*, void*, JNIZipSeekCallback, uint32_t) {
  ReportEntry("nyi: JNI_CreateZipHash");
  return NULL;
}
JNIEXPORT void HOSTCALL JNI_DestroyZipHash(HHeap*, void*) { ReportEntry("nyi: JNI_DestroyZipHash"); }
JNIEXPORT jboolean HOSTCALL JNI_ZipHashLookup(void*, const char*, uint32_t*, uint32_t*, uint32_t*) {
  ReportEntry("nyi: JNI_ZipHashLookup");
  return 0;
}
JNIEXPORT void* HOSTCALL JNI_OpenZStrm(void*, uint32_t, uint32_t) { ReportEntry("nyi: JNI_OpenZStrm"); return NULL; }
JNIEXPORT jint HOSTCALL JNI_ReadZStrm(void*, void*, jint) { ReportEntry("nyi: JNI_ReadZStrm"); return -1; }
JNIEXPORT jint HOSTCALL JNI_SeekZStrm(void*, jint) { ReportEntry("nyi: JNI_SeekZStrm"); return -1; }
JNIEXPORT jint HOSTCALL JNI_SeekZStrmAbsolute(void*, jint) { ReportEntry("nyi: JNI_SeekZStrmAbsolute"); return -1; }
JNIEXPORT void HOSTCALL JNI_CloseZStrm(void*) { ReportEntry("nyi: JNI_CloseZStrm"); }
