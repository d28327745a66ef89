/* The functions of the JNIEnv and JavaVM tables (vmjni_table.cpp), one declaration per
   filled slot, grouped by who provides them. Each has the signature its slot has in
   jni.h; the C convention, like every env function. To give a slot its real function,
   define the function of that name in a file of its own and delete its stand-in from
   vmjni_pending.cpp: the table needs no change. */
#ifndef PUX_VMJNI_FUNCTIONS_H
#define PUX_VMJNI_FUNCTIONS_H

#include "vmjni.h"

/* The JavaVM table (slots 3-10). */
namespace VMJniInvoke {
jint DestroyJavaVM(JavaVM* vm);
jint AttachCurrentThread(JavaVM* vm, JNIEnv** envOut, void* ignored);
jint DetachCurrentThread(JavaVM* vm);
jint GetEnv(JavaVM* vm, void** envOut, jint version);
jint AddDestroyCallback(JavaVM* vm, JNIDestroyCallback callback, void* context);
jint RemoveDestroyCallback(JavaVM* vm, JNIDestroyCallback callback, void* context);
jint AbandonJavaVM(JavaVM* vm);
jint StopOtherThreads(JavaVM* vm);
}  // namespace VMJniInvoke

/* Built here: version, classes, exceptions, references. */
namespace VMJniEnv {
jint GetVersion(JNIEnv* env);
jclass DefineClass(JNIEnv* env, const char* name, jobject loader, const jbyte* bytes, jsize length);
jclass FindClass(JNIEnv* env, const char* name);
jclass GetSuperclass(JNIEnv* env, jclass clazz);
jboolean IsAssignableFrom(JNIEnv* env, jclass clazz1, jclass clazz2);
jint Throw(JNIEnv* env, jthrowable throwable);
jint ThrowNew(JNIEnv* env, jclass clazz, const char* message);
jthrowable ExceptionOccurred(JNIEnv* env);
void ExceptionDescribe(JNIEnv* env);
void ExceptionClear(JNIEnv* env);
void FatalError(JNIEnv* env, const char* message);
jobject NewGlobalRef(JNIEnv* env, jobject ref);
void DeleteGlobalRef(JNIEnv* env, jobject ref);
void DeleteLocalRef(JNIEnv* env, jobject ref);
jboolean IsSameObject(JNIEnv* env, jobject ref1, jobject ref2);
jobject NewLocalRef(JNIEnv* env, jobject ref);
jint EnsureLocalCapacity(JNIEnv* env, jint capacity);
}  // namespace VMJniEnv

/* Slots of the published table that this machine does not provide: each raises
   InternalError "nyi: <name>" and returns 0 (vmjni_table.cpp). */
namespace VMJniEnv {
jmethodID FromReflectedMethod(JNIEnv* env, jobject method);
jfieldID FromReflectedField(JNIEnv* env, jobject field);
jobject ToReflectedMethod(JNIEnv* env, jclass clazz, jmethodID methodID, jboolean isStatic);
jobject ToReflectedField(JNIEnv* env, jclass clazz, jfieldID fieldID, jboolean isStatic);
jint PushLocalFrame(JNIEnv* env, jint capacity);
jobject PopLocalFrame(JNIEnv* env, jobject result);
}  // namespace VMJniEnv

/* Objects, method ids and calls, fields, strings, arrays, registration, monitors,
   weak references: stand-ins in vmjni_pending.cpp until their own files replace them. */
namespace VMJniEnv {
jobject AllocObject(JNIEnv* env, jclass clazz);
jobject NewObject(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jobject NewObjectV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jobject NewObjectA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jclass GetObjectClass(JNIEnv* env, jobject object);
jboolean IsInstanceOf(JNIEnv* env, jobject object, jclass clazz);
jmethodID GetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* signature);
jobject CallObjectMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jobject CallObjectMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jobject CallObjectMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jboolean CallBooleanMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jboolean CallBooleanMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jboolean CallBooleanMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jbyte CallByteMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jbyte CallByteMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jbyte CallByteMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jchar CallCharMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jchar CallCharMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jchar CallCharMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jshort CallShortMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jshort CallShortMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jshort CallShortMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jint CallIntMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jint CallIntMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jint CallIntMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jlong CallLongMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jlong CallLongMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jlong CallLongMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jfloat CallFloatMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jfloat CallFloatMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jfloat CallFloatMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jdouble CallDoubleMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
jdouble CallDoubleMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
jdouble CallDoubleMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
void CallVoidMethod(JNIEnv* env, jobject object, jmethodID methodID, ...);
void CallVoidMethodV(JNIEnv* env, jobject object, jmethodID methodID, va_list args);
void CallVoidMethodA(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args);
jobject CallNonvirtualObjectMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jobject CallNonvirtualObjectMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jobject CallNonvirtualObjectMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jboolean CallNonvirtualBooleanMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jboolean CallNonvirtualBooleanMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jboolean CallNonvirtualBooleanMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jbyte CallNonvirtualByteMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jbyte CallNonvirtualByteMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jbyte CallNonvirtualByteMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jchar CallNonvirtualCharMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jchar CallNonvirtualCharMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jchar CallNonvirtualCharMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jshort CallNonvirtualShortMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jshort CallNonvirtualShortMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jshort CallNonvirtualShortMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jint CallNonvirtualIntMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jint CallNonvirtualIntMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jint CallNonvirtualIntMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jlong CallNonvirtualLongMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jlong CallNonvirtualLongMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jlong CallNonvirtualLongMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jfloat CallNonvirtualFloatMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jfloat CallNonvirtualFloatMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jfloat CallNonvirtualFloatMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jdouble CallNonvirtualDoubleMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
jdouble CallNonvirtualDoubleMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
jdouble CallNonvirtualDoubleMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
void CallNonvirtualVoidMethod(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...);
void CallNonvirtualVoidMethodV(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args);
void CallNonvirtualVoidMethodA(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args);
jfieldID GetFieldID(JNIEnv* env, jclass clazz, const char* name, const char* signature);
jobject GetObjectField(JNIEnv* env, jobject object, jfieldID fieldID);
jboolean GetBooleanField(JNIEnv* env, jobject object, jfieldID fieldID);
jbyte GetByteField(JNIEnv* env, jobject object, jfieldID fieldID);
jchar GetCharField(JNIEnv* env, jobject object, jfieldID fieldID);
jshort GetShortField(JNIEnv* env, jobject object, jfieldID fieldID);
jint GetIntField(JNIEnv* env, jobject object, jfieldID fieldID);
jlong GetLongField(JNIEnv* env, jobject object, jfieldID fieldID);
jfloat GetFloatField(JNIEnv* env, jobject object, jfieldID fieldID);
jdouble GetDoubleField(JNIEnv* env, jobject object, jfieldID fieldID);
void SetObjectField(JNIEnv* env, jobject object, jfieldID fieldID, jobject value);
void SetBooleanField(JNIEnv* env, jobject object, jfieldID fieldID, jboolean value);
void SetByteField(JNIEnv* env, jobject object, jfieldID fieldID, jbyte value);
void SetCharField(JNIEnv* env, jobject object, jfieldID fieldID, jchar value);
void SetShortField(JNIEnv* env, jobject object, jfieldID fieldID, jshort value);
void SetIntField(JNIEnv* env, jobject object, jfieldID fieldID, jint value);
void SetLongField(JNIEnv* env, jobject object, jfieldID fieldID, jlong value);
void SetFloatField(JNIEnv* env, jobject object, jfieldID fieldID, jfloat value);
void SetDoubleField(JNIEnv* env, jobject object, jfieldID fieldID, jdouble value);
jmethodID GetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* signature);
jobject CallStaticObjectMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jobject CallStaticObjectMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jobject CallStaticObjectMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jboolean CallStaticBooleanMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jboolean CallStaticBooleanMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jboolean CallStaticBooleanMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jbyte CallStaticByteMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jbyte CallStaticByteMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jbyte CallStaticByteMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jchar CallStaticCharMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jchar CallStaticCharMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jchar CallStaticCharMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jshort CallStaticShortMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jshort CallStaticShortMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jshort CallStaticShortMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jint CallStaticIntMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jint CallStaticIntMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jint CallStaticIntMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jlong CallStaticLongMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jlong CallStaticLongMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jlong CallStaticLongMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jfloat CallStaticFloatMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jfloat CallStaticFloatMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jfloat CallStaticFloatMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jdouble CallStaticDoubleMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
jdouble CallStaticDoubleMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
jdouble CallStaticDoubleMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
void CallStaticVoidMethod(JNIEnv* env, jclass clazz, jmethodID methodID, ...);
void CallStaticVoidMethodV(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args);
void CallStaticVoidMethodA(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args);
jfieldID GetStaticFieldID(JNIEnv* env, jclass clazz, const char* name, const char* signature);
jobject GetStaticObjectField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jboolean GetStaticBooleanField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jbyte GetStaticByteField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jchar GetStaticCharField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jshort GetStaticShortField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jint GetStaticIntField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jlong GetStaticLongField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jfloat GetStaticFloatField(JNIEnv* env, jclass clazz, jfieldID fieldID);
jdouble GetStaticDoubleField(JNIEnv* env, jclass clazz, jfieldID fieldID);
void SetStaticObjectField(JNIEnv* env, jclass clazz, jfieldID fieldID, jobject value);
void SetStaticBooleanField(JNIEnv* env, jclass clazz, jfieldID fieldID, jboolean value);
void SetStaticByteField(JNIEnv* env, jclass clazz, jfieldID fieldID, jbyte value);
void SetStaticCharField(JNIEnv* env, jclass clazz, jfieldID fieldID, jchar value);
void SetStaticShortField(JNIEnv* env, jclass clazz, jfieldID fieldID, jshort value);
void SetStaticIntField(JNIEnv* env, jclass clazz, jfieldID fieldID, jint value);
void SetStaticLongField(JNIEnv* env, jclass clazz, jfieldID fieldID, jlong value);
void SetStaticFloatField(JNIEnv* env, jclass clazz, jfieldID fieldID, jfloat value);
void SetStaticDoubleField(JNIEnv* env, jclass clazz, jfieldID fieldID, jdouble value);
jstring NewString(JNIEnv* env, const jchar* chars, jsize length);
jsize GetStringLength(JNIEnv* env, jstring string);
const jchar* GetStringChars(JNIEnv* env, jstring string, jboolean* isCopy);
void ReleaseStringChars(JNIEnv* env, jstring string, const jchar* chars);
jstring NewStringUTF(JNIEnv* env, const char* utf);
jsize GetStringUTFLength(JNIEnv* env, jstring string);
const char* GetStringUTFChars(JNIEnv* env, jstring string, jboolean* isCopy);
void ReleaseStringUTFChars(JNIEnv* env, jstring string, const char* utf);
jsize GetArrayLength(JNIEnv* env, jarray array);
jobjectArray NewObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initialElement);
jobject GetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index);
void SetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value);
jbooleanArray NewBooleanArray(JNIEnv* env, jsize length);
jbyteArray NewByteArray(JNIEnv* env, jsize length);
jcharArray NewCharArray(JNIEnv* env, jsize length);
jshortArray NewShortArray(JNIEnv* env, jsize length);
jintArray NewIntArray(JNIEnv* env, jsize length);
jlongArray NewLongArray(JNIEnv* env, jsize length);
jfloatArray NewFloatArray(JNIEnv* env, jsize length);
jdoubleArray NewDoubleArray(JNIEnv* env, jsize length);
jboolean* GetBooleanArrayElements(JNIEnv* env, jbooleanArray array, jboolean* isCopy);
jbyte* GetByteArrayElements(JNIEnv* env, jbyteArray array, jboolean* isCopy);
jchar* GetCharArrayElements(JNIEnv* env, jcharArray array, jboolean* isCopy);
jshort* GetShortArrayElements(JNIEnv* env, jshortArray array, jboolean* isCopy);
jint* GetIntArrayElements(JNIEnv* env, jintArray array, jboolean* isCopy);
jlong* GetLongArrayElements(JNIEnv* env, jlongArray array, jboolean* isCopy);
jfloat* GetFloatArrayElements(JNIEnv* env, jfloatArray array, jboolean* isCopy);
jdouble* GetDoubleArrayElements(JNIEnv* env, jdoubleArray array, jboolean* isCopy);
void ReleaseBooleanArrayElements(JNIEnv* env, jbooleanArray array, jboolean* elements, jint mode);
void ReleaseByteArrayElements(JNIEnv* env, jbyteArray array, jbyte* elements, jint mode);
void ReleaseCharArrayElements(JNIEnv* env, jcharArray array, jchar* elements, jint mode);
void ReleaseShortArrayElements(JNIEnv* env, jshortArray array, jshort* elements, jint mode);
void ReleaseIntArrayElements(JNIEnv* env, jintArray array, jint* elements, jint mode);
void ReleaseLongArrayElements(JNIEnv* env, jlongArray array, jlong* elements, jint mode);
void ReleaseFloatArrayElements(JNIEnv* env, jfloatArray array, jfloat* elements, jint mode);
void ReleaseDoubleArrayElements(JNIEnv* env, jdoubleArray array, jdouble* elements, jint mode);
void GetBooleanArrayRegion(JNIEnv* env, jbooleanArray array, jsize start, jsize length, jboolean* buffer);
void GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* buffer);
void GetCharArrayRegion(JNIEnv* env, jcharArray array, jsize start, jsize length, jchar* buffer);
void GetShortArrayRegion(JNIEnv* env, jshortArray array, jsize start, jsize length, jshort* buffer);
void GetIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize length, jint* buffer);
void GetLongArrayRegion(JNIEnv* env, jlongArray array, jsize start, jsize length, jlong* buffer);
void GetFloatArrayRegion(JNIEnv* env, jfloatArray array, jsize start, jsize length, jfloat* buffer);
void GetDoubleArrayRegion(JNIEnv* env, jdoubleArray array, jsize start, jsize length, jdouble* buffer);
void SetBooleanArrayRegion(JNIEnv* env, jbooleanArray array, jsize start, jsize length, const jboolean* buffer);
void SetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, const jbyte* buffer);
void SetCharArrayRegion(JNIEnv* env, jcharArray array, jsize start, jsize length, const jchar* buffer);
void SetShortArrayRegion(JNIEnv* env, jshortArray array, jsize start, jsize length, const jshort* buffer);
void SetIntArrayRegion(JNIEnv* env, jintArray array, jsize start, jsize length, const jint* buffer);
void SetLongArrayRegion(JNIEnv* env, jlongArray array, jsize start, jsize length, const jlong* buffer);
void SetFloatArrayRegion(JNIEnv* env, jfloatArray array, jsize start, jsize length, const jfloat* buffer);
void SetDoubleArrayRegion(JNIEnv* env, jdoubleArray array, jsize start, jsize length, const jdouble* buffer);
jint RegisterNatives(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint count);
jint UnregisterNatives(JNIEnv* env, jclass clazz);
jint MonitorEnter(JNIEnv* env, jobject object);
jint MonitorExit(JNIEnv* env, jobject object);
jint GetJavaVM(JNIEnv* env, JavaVM** vm);
void GetStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer);
void GetStringUTFRegion(JNIEnv* env, jstring string, jsize start, jsize length, char* buffer);
void* GetPrimitiveArrayCritical(JNIEnv* env, jarray array, jboolean* isCopy);
void ReleasePrimitiveArrayCritical(JNIEnv* env, jarray array, void* elements, jint mode);
const jchar* GetStringCritical(JNIEnv* env, jstring string, jboolean* isCopy);
void ReleaseStringCritical(JNIEnv* env, jstring string, const jchar* chars);
jweak NewWeakGlobalRef(JNIEnv* env, jobject object);
void DeleteWeakGlobalRef(JNIEnv* env, jweak ref);
jboolean ExceptionCheck(JNIEnv* env);
}  // namespace VMJniEnv

/* The server's extensions built here. */
namespace JNIEnvExtension {
jclass FindClassNoInit(JNIEnv* env, const char* name);
jclass FindClassInObjectLoader(JNIEnv* env, const char* name, jobject loader);
jclass FindClassInLoaderId(JNIEnv* env, const char* name, void* loaderId);
jstring FindPublicField(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jboolean* isStatic);
jstring FindMethodBySignature(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature, jboolean instanceMethods, jmethodID* methodID, jboolean* isStatic);
jobject GetLoaderFieldRef(JNIEnv* env, jobject ref);
jobject GetLoaderFieldRef2(JNIEnv* env, jobject ref);
jstring FindPublicFieldName(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jint* modifiers);
jstring FindMethodName(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature, jboolean instanceMethods, jmethodID* methodID, jint* modifiers);
char* GetPendingExceptionText(JNIEnv* env);
char* GetPendingExceptionStackLine(JNIEnv* env, jint index);
void FreeExceptionText(JNIEnv* env, char* text);
void* GetEnvUserWord(JNIEnv* env);
void SetEnvUserWord(JNIEnv* env, void* word);
jint GetHighWaterMarks(JNIEnv* env, jint* marks);
jint DeleteRefs(JNIEnv* env, const jint* marks, jint kind);
char* FindPublicFieldNameUTF(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jint* modifiers);
char* FindMethodNameUTF(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature, jboolean instanceMethods, jmethodID* methodID, jint* modifiers);
void EnumerateClasses(JNIEnv* env, JNIEnumerateClassesFn callback);
}  // namespace JNIEnvExtension

/* Extension of the string functions: a stand-in in vmjni_pending.cpp. */
namespace JNIEnvExtension {
uint32_t GetStringUTFPiece(JNIEnv* env, jstring string, char* buffer, uint32_t bufferSize, uint32_t* bytesWritten, uint32_t startIndex);
}  // namespace JNIEnvExtension

/* The serialization interface: stand-ins in vmjni_pending.cpp until it is built. */
namespace JNIEnvExtension {
void* CreateSerializationInterface(JNIEnv* env, struct JNIHostSerializationSupport* support);
void DestroySerializationInterface(JNIEnv* env, void* serialization);
jstring GetSerializationSignature(JNIEnv* env, jclass clazz);
}  // namespace JNIEnvExtension
#endif
