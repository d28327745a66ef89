/* The native interface of puxjvm: the types, records and function tables that native
   methods and the host share with the machine. Usable from C and C++.

   Calling conventions (32-bit x86):
   - the JNIEnv and JavaVM tables, and native methods, use the C convention (JNICALL is
     empty), so natives built against the usual header of this platform call in
     unchanged; the variadic functions are C convention in any case;
   - the host's service table, its callbacks and the library's exported JNI_* entries use
     stdcall (HOSTCALL).

   A JNIEnv* points to a record whose first word is the table pointer, so `(*env)->Fn(env,
   ...)` in C and `env->functions->Fn(env, ...)` in C++ reach the same function; likewise
   for JavaVM*. The machine's records have more words after the table pointer: inside the
   library they are defined by vmjni.h, and no file sees both definitions.

   Where this table means something else than the published 1.2 table:
   - GetVersion returns 1;
   - slots 7-9, 12, 19, 20 (reflection conversions, local frames) and every reserved slot
     hold functions that raise InternalError "nyi: <name>" and return 0;
   - FindClass looks in the loader of the env's current class-loader id (slot 293);
     DefineClass ignores its loader and defines in the system loader;
   - GetSuperclass of an interface returns its superclass field (java/lang/Object);
   - Throw(NULL) clears the pending exception; ThrowNew runs no constructor and refuses a
     class that is not a concrete subclass of java/lang/Throwable;
   - ExceptionDescribe leaves the exception pending;
   - DeleteLocalRef and DeleteGlobalRef delete a reference of either kind; member ids
     cannot be deleted;
   - NewWeakGlobalRef makes a strong global reference;
   - slots 277-299 are the server's extensions;
   - these fail with null and nothing pending, where a native may expect an exception:
     GetPrimitiveArrayCritical of an array of more than 776 data bytes (byte[1024]
     already: use Get<Type>ArrayElements or Get<Type>ArrayRegion), Get<Type>ArrayElements
     of an empty array, NewStringUTF of text whose last sequence is cut off (a 4-byte
     UTF-8 character is such text: modified UTF-8 has none), FindClass of a malformed
     array name ("[", more than 255 dimensions, bad UTF-8);
   - methods with more than 31 parameter words cannot be called through the Call*
     functions (VirtualMachineError; reflection calls them);
   - a reference argument (and a native's reference result) that is not null and not an
     instance of its declared class is refused with IllegalArgumentException, nothing
     run;
   - GetStringRegion copies exactly the region; GetStringUTFRegion writes a zero byte
     after the encoded characters;
   - DeleteRefs (slot 296) with kind 1 deletes only the globals the calling thread made;
     from marks the calling thread remembers, its four latest GetHighWaterMarks on the
     machine (marks a deletion has used give way first), it deletes every handle of the
     kind it made since on the machine, wherever it lies (a global put into a slot freed
     below them, a local appended after the local count fell below them); from other
     marks, another thread's included, those from the marks up only (another thread's
     marks that read the same as marks the caller remembers count as those);
   - JNI_CreateJavaVM takes any jdkVersion: one without reflection classes of its layout
     (0 or -1, say) runs without reflection. */
#ifndef PUX_JNI_H
#define PUX_JNI_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#define JNICALL
#ifndef HOSTCALL
#define HOSTCALL __attribute__((stdcall))
#endif
#ifdef __cplusplus
#define JNIEXPORT extern "C" __attribute__((visibility("default")))
#else
#define JNIEXPORT __attribute__((visibility("default")))
#endif
#define JNIIMPORT JNIEXPORT

typedef uint8_t  jboolean;
typedef int8_t   jbyte;
typedef uint16_t jchar;
typedef int16_t  jshort;
typedef int32_t  jint;
typedef int64_t  jlong;
typedef float    jfloat;
typedef double   jdouble;
typedef jint     jsize;

/* References are handles: a local is a bare index, globals and member ids carry tag bits;
   0 is the null reference. */
typedef struct _jobject* jobject;
typedef jobject jclass;
typedef jobject jstring;
typedef jobject jthrowable;
typedef jobject jweak;
typedef jobject jarray;
typedef jarray jobjectArray;
typedef jarray jbooleanArray;
typedef jarray jbyteArray;
typedef jarray jcharArray;
typedef jarray jshortArray;
typedef jarray jintArray;
typedef jarray jlongArray;
typedef jarray jfloatArray;
typedef jarray jdoubleArray;
typedef struct _jfieldID* jfieldID;
typedef struct _jmethodID* jmethodID;

typedef union jvalue {
  jboolean z;
  jbyte b;
  jchar c;
  jshort s;
  jint i;
  jlong j;
  jfloat f;
  jdouble d;
  jobject l;
} jvalue;

#define JNI_FALSE 0
#define JNI_TRUE 1
#define JNI_OK 0
#define JNI_ERR (-1)
#define JNI_EDETACHED (-2)
#define JNI_COMMIT 1
#define JNI_ABORT 2
#define JNI_VERSION_1_1 0x00010001
#define JNI_VERSION_1_2 0x00010002

/* One entry of a native registration table. */
#ifndef PUX_JNINATIVEMETHOD_DEFINED
#define PUX_JNINATIVEMETHOD_DEFINED
typedef struct {
  char* name;
  char* signature;
  void* fnPtr;
} JNINativeMethod;
#endif

struct JNINativeInterface_;
struct JNIInvokeInterface_;
struct JNIHostFunctions;
struct JNIHostJitSupport;
struct JNIHostSerializationSupport;

#if defined(__cplusplus)
typedef struct JNIEnv_ JNIEnv;
typedef struct JavaVM_ JavaVM;
#ifndef PUX_JNI_MACHINE_RECORDS
/* What a native sees of the records; the machine's own definitions are larger. */
struct JNIEnv_ {
  const struct JNINativeInterface_* functions;
};
struct JavaVM_ {
  const struct JNIInvokeInterface_* functions;
};
#endif
#else
typedef const struct JNINativeInterface_* JNIEnv;
typedef const struct JNIInvokeInterface_* JavaVM;
#endif

/* Host callbacks, stdcall: the class enumeration's (slot 299; the name is the class's
   internal name, valid only during the call) and a destroy callback (JavaVM slot 7). */
typedef void (HOSTCALL *JNIEnumerateClassesFn)(const char* name);
typedef void (HOSTCALL *JNIDestroyCallback)(void* context);

/* The JNIEnv function table: 300 slots, every function taking the env first. */
struct JNINativeInterface_ {
  void* reserved0;                                          /* 0 */
  void* reserved1;                                          /* 1 */
  void* reserved2;                                          /* 2 */
  void* reserved3;                                          /* 3 */
  jint (JNICALL *GetVersion)(JNIEnv* env); /* 4 */
  jclass (JNICALL *DefineClass)(JNIEnv* env, const char* name, jobject loader, const jbyte* bytes, jsize length); /* 5 */
  jclass (JNICALL *FindClass)(JNIEnv* env, const char* name); /* 6 */
  jmethodID (JNICALL *FromReflectedMethod)(JNIEnv* env, jobject method); /* 7 */
  jfieldID (JNICALL *FromReflectedField)(JNIEnv* env, jobject field); /* 8 */
  jobject (JNICALL *ToReflectedMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, jboolean isStatic); /* 9 */
  jclass (JNICALL *GetSuperclass)(JNIEnv* env, jclass clazz); /* 10 */
  jboolean (JNICALL *IsAssignableFrom)(JNIEnv* env, jclass clazz1, jclass clazz2); /* 11 */
  jobject (JNICALL *ToReflectedField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jboolean isStatic); /* 12 */
  jint (JNICALL *Throw)(JNIEnv* env, jthrowable throwable); /* 13 */
  jint (JNICALL *ThrowNew)(JNIEnv* env, jclass clazz, const char* message); /* 14 */
  jthrowable (JNICALL *ExceptionOccurred)(JNIEnv* env); /* 15 */
  void (JNICALL *ExceptionDescribe)(JNIEnv* env); /* 16 */
  void (JNICALL *ExceptionClear)(JNIEnv* env); /* 17 */
  void (JNICALL *FatalError)(JNIEnv* env, const char* message); /* 18 */
  jint (JNICALL *PushLocalFrame)(JNIEnv* env, jint capacity); /* 19 */
  jobject (JNICALL *PopLocalFrame)(JNIEnv* env, jobject result); /* 20 */
  jobject (JNICALL *NewGlobalRef)(JNIEnv* env, jobject ref); /* 21 */
  void (JNICALL *DeleteGlobalRef)(JNIEnv* env, jobject ref); /* 22 */
  void (JNICALL *DeleteLocalRef)(JNIEnv* env, jobject ref); /* 23 */
  jboolean (JNICALL *IsSameObject)(JNIEnv* env, jobject ref1, jobject ref2); /* 24 */
  jobject (JNICALL *NewLocalRef)(JNIEnv* env, jobject ref); /* 25 */
  jint (JNICALL *EnsureLocalCapacity)(JNIEnv* env, jint capacity); /* 26 */
  jobject (JNICALL *AllocObject)(JNIEnv* env, jclass clazz); /* 27 */
  jobject (*NewObject)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 28 */
  jobject (JNICALL *NewObjectV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 29 */
  jobject (JNICALL *NewObjectA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 30 */
  jclass (JNICALL *GetObjectClass)(JNIEnv* env, jobject object); /* 31 */
  jboolean (JNICALL *IsInstanceOf)(JNIEnv* env, jobject object, jclass clazz); /* 32 */
  jmethodID (JNICALL *GetMethodID)(JNIEnv* env, jclass clazz, const char* name, const char* signature); /* 33 */
  jobject (*CallObjectMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 34 */
  jobject (JNICALL *CallObjectMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 35 */
  jobject (JNICALL *CallObjectMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 36 */
  jboolean (*CallBooleanMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 37 */
  jboolean (JNICALL *CallBooleanMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 38 */
  jboolean (JNICALL *CallBooleanMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 39 */
  jbyte (*CallByteMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 40 */
  jbyte (JNICALL *CallByteMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 41 */
  jbyte (JNICALL *CallByteMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 42 */
  jchar (*CallCharMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 43 */
  jchar (JNICALL *CallCharMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 44 */
  jchar (JNICALL *CallCharMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 45 */
  jshort (*CallShortMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 46 */
  jshort (JNICALL *CallShortMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 47 */
  jshort (JNICALL *CallShortMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 48 */
  jint (*CallIntMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 49 */
  jint (JNICALL *CallIntMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 50 */
  jint (JNICALL *CallIntMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 51 */
  jlong (*CallLongMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 52 */
  jlong (JNICALL *CallLongMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 53 */
  jlong (JNICALL *CallLongMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 54 */
  jfloat (*CallFloatMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 55 */
  jfloat (JNICALL *CallFloatMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 56 */
  jfloat (JNICALL *CallFloatMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 57 */
  jdouble (*CallDoubleMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 58 */
  jdouble (JNICALL *CallDoubleMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 59 */
  jdouble (JNICALL *CallDoubleMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 60 */
  void (*CallVoidMethod)(JNIEnv* env, jobject object, jmethodID methodID, ...); /* 61 */
  void (JNICALL *CallVoidMethodV)(JNIEnv* env, jobject object, jmethodID methodID, va_list args); /* 62 */
  void (JNICALL *CallVoidMethodA)(JNIEnv* env, jobject object, jmethodID methodID, const jvalue* args); /* 63 */
  jobject (*CallNonvirtualObjectMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 64 */
  jobject (JNICALL *CallNonvirtualObjectMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 65 */
  jobject (JNICALL *CallNonvirtualObjectMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 66 */
  jboolean (*CallNonvirtualBooleanMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 67 */
  jboolean (JNICALL *CallNonvirtualBooleanMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 68 */
  jboolean (JNICALL *CallNonvirtualBooleanMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 69 */
  jbyte (*CallNonvirtualByteMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 70 */
  jbyte (JNICALL *CallNonvirtualByteMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 71 */
  jbyte (JNICALL *CallNonvirtualByteMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 72 */
  jchar (*CallNonvirtualCharMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 73 */
  jchar (JNICALL *CallNonvirtualCharMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 74 */
  jchar (JNICALL *CallNonvirtualCharMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 75 */
  jshort (*CallNonvirtualShortMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 76 */
  jshort (JNICALL *CallNonvirtualShortMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 77 */
  jshort (JNICALL *CallNonvirtualShortMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 78 */
  jint (*CallNonvirtualIntMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 79 */
  jint (JNICALL *CallNonvirtualIntMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 80 */
  jint (JNICALL *CallNonvirtualIntMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 81 */
  jlong (*CallNonvirtualLongMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 82 */
  jlong (JNICALL *CallNonvirtualLongMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 83 */
  jlong (JNICALL *CallNonvirtualLongMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 84 */
  jfloat (*CallNonvirtualFloatMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 85 */
  jfloat (JNICALL *CallNonvirtualFloatMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 86 */
  jfloat (JNICALL *CallNonvirtualFloatMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 87 */
  jdouble (*CallNonvirtualDoubleMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 88 */
  jdouble (JNICALL *CallNonvirtualDoubleMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 89 */
  jdouble (JNICALL *CallNonvirtualDoubleMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 90 */
  void (*CallNonvirtualVoidMethod)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, ...); /* 91 */
  void (JNICALL *CallNonvirtualVoidMethodV)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, va_list args); /* 92 */
  void (JNICALL *CallNonvirtualVoidMethodA)(JNIEnv* env, jobject object, jclass clazz, jmethodID methodID, const jvalue* args); /* 93 */
  jfieldID (JNICALL *GetFieldID)(JNIEnv* env, jclass clazz, const char* name, const char* signature); /* 94 */
  jobject (JNICALL *GetObjectField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 95 */
  jboolean (JNICALL *GetBooleanField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 96 */
  jbyte (JNICALL *GetByteField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 97 */
  jchar (JNICALL *GetCharField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 98 */
  jshort (JNICALL *GetShortField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 99 */
  jint (JNICALL *GetIntField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 100 */
  jlong (JNICALL *GetLongField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 101 */
  jfloat (JNICALL *GetFloatField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 102 */
  jdouble (JNICALL *GetDoubleField)(JNIEnv* env, jobject object, jfieldID fieldID); /* 103 */
  void (JNICALL *SetObjectField)(JNIEnv* env, jobject object, jfieldID fieldID, jobject value); /* 104 */
  void (JNICALL *SetBooleanField)(JNIEnv* env, jobject object, jfieldID fieldID, jboolean value); /* 105 */
  void (JNICALL *SetByteField)(JNIEnv* env, jobject object, jfieldID fieldID, jbyte value); /* 106 */
  void (JNICALL *SetCharField)(JNIEnv* env, jobject object, jfieldID fieldID, jchar value); /* 107 */
  void (JNICALL *SetShortField)(JNIEnv* env, jobject object, jfieldID fieldID, jshort value); /* 108 */
  void (JNICALL *SetIntField)(JNIEnv* env, jobject object, jfieldID fieldID, jint value); /* 109 */
  void (JNICALL *SetLongField)(JNIEnv* env, jobject object, jfieldID fieldID, jlong value); /* 110 */
  void (JNICALL *SetFloatField)(JNIEnv* env, jobject object, jfieldID fieldID, jfloat value); /* 111 */
  void (JNICALL *SetDoubleField)(JNIEnv* env, jobject object, jfieldID fieldID, jdouble value); /* 112 */
  jmethodID (JNICALL *GetStaticMethodID)(JNIEnv* env, jclass clazz, const char* name, const char* signature); /* 113 */
  jobject (*CallStaticObjectMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 114 */
  jobject (JNICALL *CallStaticObjectMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 115 */
  jobject (JNICALL *CallStaticObjectMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 116 */
  jboolean (*CallStaticBooleanMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 117 */
  jboolean (JNICALL *CallStaticBooleanMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 118 */
  jboolean (JNICALL *CallStaticBooleanMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 119 */
  jbyte (*CallStaticByteMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 120 */
  jbyte (JNICALL *CallStaticByteMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 121 */
  jbyte (JNICALL *CallStaticByteMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 122 */
  jchar (*CallStaticCharMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 123 */
  jchar (JNICALL *CallStaticCharMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 124 */
  jchar (JNICALL *CallStaticCharMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 125 */
  jshort (*CallStaticShortMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 126 */
  jshort (JNICALL *CallStaticShortMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 127 */
  jshort (JNICALL *CallStaticShortMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 128 */
  jint (*CallStaticIntMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 129 */
  jint (JNICALL *CallStaticIntMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 130 */
  jint (JNICALL *CallStaticIntMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 131 */
  jlong (*CallStaticLongMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 132 */
  jlong (JNICALL *CallStaticLongMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 133 */
  jlong (JNICALL *CallStaticLongMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 134 */
  jfloat (*CallStaticFloatMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 135 */
  jfloat (JNICALL *CallStaticFloatMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 136 */
  jfloat (JNICALL *CallStaticFloatMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 137 */
  jdouble (*CallStaticDoubleMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 138 */
  jdouble (JNICALL *CallStaticDoubleMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 139 */
  jdouble (JNICALL *CallStaticDoubleMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 140 */
  void (*CallStaticVoidMethod)(JNIEnv* env, jclass clazz, jmethodID methodID, ...); /* 141 */
  void (JNICALL *CallStaticVoidMethodV)(JNIEnv* env, jclass clazz, jmethodID methodID, va_list args); /* 142 */
  void (JNICALL *CallStaticVoidMethodA)(JNIEnv* env, jclass clazz, jmethodID methodID, const jvalue* args); /* 143 */
  jfieldID (JNICALL *GetStaticFieldID)(JNIEnv* env, jclass clazz, const char* name, const char* signature); /* 144 */
  jobject (JNICALL *GetStaticObjectField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 145 */
  jboolean (JNICALL *GetStaticBooleanField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 146 */
  jbyte (JNICALL *GetStaticByteField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 147 */
  jchar (JNICALL *GetStaticCharField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 148 */
  jshort (JNICALL *GetStaticShortField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 149 */
  jint (JNICALL *GetStaticIntField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 150 */
  jlong (JNICALL *GetStaticLongField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 151 */
  jfloat (JNICALL *GetStaticFloatField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 152 */
  jdouble (JNICALL *GetStaticDoubleField)(JNIEnv* env, jclass clazz, jfieldID fieldID); /* 153 */
  void (JNICALL *SetStaticObjectField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jobject value); /* 154 */
  void (JNICALL *SetStaticBooleanField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jboolean value); /* 155 */
  void (JNICALL *SetStaticByteField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jbyte value); /* 156 */
  void (JNICALL *SetStaticCharField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jchar value); /* 157 */
  void (JNICALL *SetStaticShortField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jshort value); /* 158 */
  void (JNICALL *SetStaticIntField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jint value); /* 159 */
  void (JNICALL *SetStaticLongField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jlong value); /* 160 */
  void (JNICALL *SetStaticFloatField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jfloat value); /* 161 */
  void (JNICALL *SetStaticDoubleField)(JNIEnv* env, jclass clazz, jfieldID fieldID, jdouble value); /* 162 */
  jstring (JNICALL *NewString)(JNIEnv* env, const jchar* chars, jsize length); /* 163 */
  jsize (JNICALL *GetStringLength)(JNIEnv* env, jstring string); /* 164 */
  const jchar* (JNICALL *GetStringChars)(JNIEnv* env, jstring string, jboolean* isCopy); /* 165 */
  void (JNICALL *ReleaseStringChars)(JNIEnv* env, jstring string, const jchar* chars); /* 166 */
  jstring (JNICALL *NewStringUTF)(JNIEnv* env, const char* utf); /* 167 */
  jsize (JNICALL *GetStringUTFLength)(JNIEnv* env, jstring string); /* 168 */
  const char* (JNICALL *GetStringUTFChars)(JNIEnv* env, jstring string, jboolean* isCopy); /* 169 */
  void (JNICALL *ReleaseStringUTFChars)(JNIEnv* env, jstring string, const char* utf); /* 170 */
  jsize (JNICALL *GetArrayLength)(JNIEnv* env, jarray array); /* 171 */
  jobjectArray (JNICALL *NewObjectArray)(JNIEnv* env, jsize length, jclass elementClass, jobject initialElement); /* 172 */
  jobject (JNICALL *GetObjectArrayElement)(JNIEnv* env, jobjectArray array, jsize index); /* 173 */
  void (JNICALL *SetObjectArrayElement)(JNIEnv* env, jobjectArray array, jsize index, jobject value); /* 174 */
  jbooleanArray (JNICALL *NewBooleanArray)(JNIEnv* env, jsize length); /* 175 */
  jbyteArray (JNICALL *NewByteArray)(JNIEnv* env, jsize length); /* 176 */
  jcharArray (JNICALL *NewCharArray)(JNIEnv* env, jsize length); /* 177 */
  jshortArray (JNICALL *NewShortArray)(JNIEnv* env, jsize length); /* 178 */
  jintArray (JNICALL *NewIntArray)(JNIEnv* env, jsize length); /* 179 */
  jlongArray (JNICALL *NewLongArray)(JNIEnv* env, jsize length); /* 180 */
  jfloatArray (JNICALL *NewFloatArray)(JNIEnv* env, jsize length); /* 181 */
  jdoubleArray (JNICALL *NewDoubleArray)(JNIEnv* env, jsize length); /* 182 */
  jboolean* (JNICALL *GetBooleanArrayElements)(JNIEnv* env, jbooleanArray array, jboolean* isCopy); /* 183 */
  jbyte* (JNICALL *GetByteArrayElements)(JNIEnv* env, jbyteArray array, jboolean* isCopy); /* 184 */
  jchar* (JNICALL *GetCharArrayElements)(JNIEnv* env, jcharArray array, jboolean* isCopy); /* 185 */
  jshort* (JNICALL *GetShortArrayElements)(JNIEnv* env, jshortArray array, jboolean* isCopy); /* 186 */
  jint* (JNICALL *GetIntArrayElements)(JNIEnv* env, jintArray array, jboolean* isCopy); /* 187 */
  jlong* (JNICALL *GetLongArrayElements)(JNIEnv* env, jlongArray array, jboolean* isCopy); /* 188 */
  jfloat* (JNICALL *GetFloatArrayElements)(JNIEnv* env, jfloatArray array, jboolean* isCopy); /* 189 */
  jdouble* (JNICALL *GetDoubleArrayElements)(JNIEnv* env, jdoubleArray array, jboolean* isCopy); /* 190 */
  void (JNICALL *ReleaseBooleanArrayElements)(JNIEnv* env, jbooleanArray array, jboolean* elements, jint mode); /* 191 */
  void (JNICALL *ReleaseByteArrayElements)(JNIEnv* env, jbyteArray array, jbyte* elements, jint mode); /* 192 */
  void (JNICALL *ReleaseCharArrayElements)(JNIEnv* env, jcharArray array, jchar* elements, jint mode); /* 193 */
  void (JNICALL *ReleaseShortArrayElements)(JNIEnv* env, jshortArray array, jshort* elements, jint mode); /* 194 */
  void (JNICALL *ReleaseIntArrayElements)(JNIEnv* env, jintArray array, jint* elements, jint mode); /* 195 */
  void (JNICALL *ReleaseLongArrayElements)(JNIEnv* env, jlongArray array, jlong* elements, jint mode); /* 196 */
  void (JNICALL *ReleaseFloatArrayElements)(JNIEnv* env, jfloatArray array, jfloat* elements, jint mode); /* 197 */
  void (JNICALL *ReleaseDoubleArrayElements)(JNIEnv* env, jdoubleArray array, jdouble* elements, jint mode); /* 198 */
  void (JNICALL *GetBooleanArrayRegion)(JNIEnv* env, jbooleanArray array, jsize start, jsize length, jboolean* buffer); /* 199 */
  void (JNICALL *GetByteArrayRegion)(JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* buffer); /* 200 */
  void (JNICALL *GetCharArrayRegion)(JNIEnv* env, jcharArray array, jsize start, jsize length, jchar* buffer); /* 201 */
  void (JNICALL *GetShortArrayRegion)(JNIEnv* env, jshortArray array, jsize start, jsize length, jshort* buffer); /* 202 */
  void (JNICALL *GetIntArrayRegion)(JNIEnv* env, jintArray array, jsize start, jsize length, jint* buffer); /* 203 */
  void (JNICALL *GetLongArrayRegion)(JNIEnv* env, jlongArray array, jsize start, jsize length, jlong* buffer); /* 204 */
  void (JNICALL *GetFloatArrayRegion)(JNIEnv* env, jfloatArray array, jsize start, jsize length, jfloat* buffer); /* 205 */
  void (JNICALL *GetDoubleArrayRegion)(JNIEnv* env, jdoubleArray array, jsize start, jsize length, jdouble* buffer); /* 206 */
  void (JNICALL *SetBooleanArrayRegion)(JNIEnv* env, jbooleanArray array, jsize start, jsize length, const jboolean* buffer); /* 207 */
  void (JNICALL *SetByteArrayRegion)(JNIEnv* env, jbyteArray array, jsize start, jsize length, const jbyte* buffer); /* 208 */
  void (JNICALL *SetCharArrayRegion)(JNIEnv* env, jcharArray array, jsize start, jsize length, const jchar* buffer); /* 209 */
  void (JNICALL *SetShortArrayRegion)(JNIEnv* env, jshortArray array, jsize start, jsize length, const jshort* buffer); /* 210 */
  void (JNICALL *SetIntArrayRegion)(JNIEnv* env, jintArray array, jsize start, jsize length, const jint* buffer); /* 211 */
  void (JNICALL *SetLongArrayRegion)(JNIEnv* env, jlongArray array, jsize start, jsize length, const jlong* buffer); /* 212 */
  void (JNICALL *SetFloatArrayRegion)(JNIEnv* env, jfloatArray array, jsize start, jsize length, const jfloat* buffer); /* 213 */
  void (JNICALL *SetDoubleArrayRegion)(JNIEnv* env, jdoubleArray array, jsize start, jsize length, const jdouble* buffer); /* 214 */
  jint (JNICALL *RegisterNatives)(JNIEnv* env, jclass clazz, const JNINativeMethod* methods, jint count); /* 215 */
  jint (JNICALL *UnregisterNatives)(JNIEnv* env, jclass clazz); /* 216 */
  jint (JNICALL *MonitorEnter)(JNIEnv* env, jobject object); /* 217 */
  jint (JNICALL *MonitorExit)(JNIEnv* env, jobject object); /* 218 */
  jint (JNICALL *GetJavaVM)(JNIEnv* env, JavaVM** vm); /* 219 */
  void (JNICALL *GetStringRegion)(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer); /* 220 */
  void (JNICALL *GetStringUTFRegion)(JNIEnv* env, jstring string, jsize start, jsize length, char* buffer); /* 221 */
  void* (JNICALL *GetPrimitiveArrayCritical)(JNIEnv* env, jarray array, jboolean* isCopy); /* 222 */
  void (JNICALL *ReleasePrimitiveArrayCritical)(JNIEnv* env, jarray array, void* elements, jint mode); /* 223 */
  const jchar* (JNICALL *GetStringCritical)(JNIEnv* env, jstring string, jboolean* isCopy); /* 224 */
  void (JNICALL *ReleaseStringCritical)(JNIEnv* env, jstring string, const jchar* chars); /* 225 */
  jweak (JNICALL *NewWeakGlobalRef)(JNIEnv* env, jobject object); /* 226 */
  void (JNICALL *DeleteWeakGlobalRef)(JNIEnv* env, jweak ref); /* 227 */
  jboolean (JNICALL *ExceptionCheck)(JNIEnv* env); /* 228 */
  void* reserved229;                                        /* 229 */
  void* reserved230;                                        /* 230 */
  void* reserved231;                                        /* 231 */
  void* reserved232;                                        /* 232 */
  void* reserved233;                                        /* 233 */
  void* reserved234;                                        /* 234 */
  void* reserved235;                                        /* 235 */
  void* reserved236;                                        /* 236 */
  void* reserved237;                                        /* 237 */
  void* reserved238;                                        /* 238 */
  void* reserved239;                                        /* 239 */
  void* reserved240;                                        /* 240 */
  void* reserved241;                                        /* 241 */
  void* reserved242;                                        /* 242 */
  void* reserved243;                                        /* 243 */
  void* reserved244;                                        /* 244 */
  void* reserved245;                                        /* 245 */
  void* reserved246;                                        /* 246 */
  void* reserved247;                                        /* 247 */
  void* reserved248;                                        /* 248 */
  void* reserved249;                                        /* 249 */
  void* reserved250;                                        /* 250 */
  void* reserved251;                                        /* 251 */
  void* reserved252;                                        /* 252 */
  void* reserved253;                                        /* 253 */
  void* reserved254;                                        /* 254 */
  void* reserved255;                                        /* 255 */
  void* reserved256;                                        /* 256 */
  void* reserved257;                                        /* 257 */
  void* reserved258;                                        /* 258 */
  void* reserved259;                                        /* 259 */
  void* reserved260;                                        /* 260 */
  void* reserved261;                                        /* 261 */
  void* reserved262;                                        /* 262 */
  void* reserved263;                                        /* 263 */
  void* reserved264;                                        /* 264 */
  void* reserved265;                                        /* 265 */
  void* reserved266;                                        /* 266 */
  void* reserved267;                                        /* 267 */
  void* reserved268;                                        /* 268 */
  void* reserved269;                                        /* 269 */
  void* reserved270;                                        /* 270 */
  void* reserved271;                                        /* 271 */
  void* reserved272;                                        /* 272 */
  void* reserved273;                                        /* 273 */
  void* reserved274;                                        /* 274 */
  void* reserved275;                                        /* 275 */
  void* reserved276;                                        /* 276 */
  uint32_t (JNICALL *GetStringUTFPiece)(JNIEnv* env, jstring string, char* buffer, uint32_t bufferSize, uint32_t* bytesWritten, uint32_t startIndex); /* 277 */
  jclass (JNICALL *FindClassNoInit)(JNIEnv* env, const char* name); /* 278 */
  jclass (JNICALL *FindClassInObjectLoader)(JNIEnv* env, const char* name, jobject loader); /* 279 */
  jclass (JNICALL *FindClassInLoaderId)(JNIEnv* env, const char* name, void* loaderId); /* 280 */
  jstring (JNICALL *FindPublicField)(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jboolean* isStatic); /* 281 */
  jstring (JNICALL *FindMethodBySignature)(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature, jboolean instanceMethods, jmethodID* methodID, jboolean* isStatic); /* 282 */
  void* (JNICALL *CreateSerializationInterface)(JNIEnv* env, struct JNIHostSerializationSupport* support); /* 283 */
  void (JNICALL *DestroySerializationInterface)(JNIEnv* env, void* serialization); /* 284 */
  jstring (JNICALL *GetSerializationSignature)(JNIEnv* env, jclass clazz); /* 285 */
  jobject (JNICALL *GetLoaderFieldRef)(JNIEnv* env, jobject ref); /* 286 */
  jobject (JNICALL *GetLoaderFieldRef2)(JNIEnv* env, jobject ref); /* 287 */
  jstring (JNICALL *FindPublicFieldName)(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jint* modifiers); /* 288 */
  jstring (JNICALL *FindMethodName)(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature, jboolean instanceMethods, jmethodID* methodID, jint* modifiers); /* 289 */
  char* (JNICALL *GetPendingExceptionText)(JNIEnv* env); /* 290 */
  char* (JNICALL *GetPendingExceptionStackLine)(JNIEnv* env, jint index); /* 291 */
  void (JNICALL *FreeExceptionText)(JNIEnv* env, char* text); /* 292 */
  void* (JNICALL *GetEnvUserWord)(JNIEnv* env); /* 293 */
  void (JNICALL *SetEnvUserWord)(JNIEnv* env, void* word); /* 294 */
  jint (JNICALL *GetHighWaterMarks)(JNIEnv* env, jint* marks); /* 295 */
  jint (JNICALL *DeleteRefs)(JNIEnv* env, const jint* marks, jint kind); /* 296 */
  char* (JNICALL *FindPublicFieldNameUTF)(JNIEnv* env, jclass clazz, const char* name, jfieldID* fieldID, jint* modifiers); /* 297 */
  char* (JNICALL *FindMethodNameUTF)(JNIEnv* env, jclass clazz, const char* name, const char* argumentSignature, jboolean instanceMethods, jmethodID* methodID, jint* modifiers); /* 298 */
  void (JNICALL *EnumerateClasses)(JNIEnv* env, JNIEnumerateClassesFn callback); /* 299 */
};

/* The JavaVM table: the published invocation layout in slots 0-6, then the server's. */
struct JNIInvokeInterface_ {
  void* reserved0;
  void* reserved1;
  void* reserved2;
  jint (JNICALL *DestroyJavaVM)(JavaVM* vm);                                                /* 3 */
  jint (JNICALL *AttachCurrentThread)(JavaVM* vm, JNIEnv** envOut, void* ignored);         /* 4 */
  jint (JNICALL *DetachCurrentThread)(JavaVM* vm);                                          /* 5 */
  jint (JNICALL *GetEnv)(JavaVM* vm, void** envOut, jint version);                          /* 6 */
  jint (JNICALL *AddDestroyCallback)(JavaVM* vm, JNIDestroyCallback callback, void* context);    /* 7 */
  jint (JNICALL *RemoveDestroyCallback)(JavaVM* vm, JNIDestroyCallback callback, void* context); /* 8 */
  jint (JNICALL *AbandonJavaVM)(JavaVM* vm);                                                /* 9 */
  jint (JNICALL *StopOtherThreads)(JavaVM* vm);                                             /* 10 */
};

/* Creation arguments, filled by the host (JNI_GetDefaultJavaVMInitArgs gives the
   defaults) and read only during JNI_CreateJavaVM. 36 bytes. */
typedef struct JNICreateArgs {
  struct JNIHostFunctions* host;  /* 0: the host's service table; must be set */
  uint32_t stackSize;             /* 4: default stack size, kept by the machine */
  const char* name;               /* 8: the machine's name; must not be null */
  JavaVM* shareNameSpaceOf;       /* 12: a machine whose name space the new one shares */
  jint unused16;                  /* 16 */
  jint unused20;                  /* 20 */
  jboolean waitForDebugger;       /* 24 */
  jboolean unused25;              /* 25 */
  jboolean unused26;              /* 26 */
  jboolean runVerifier;           /* 27: new name space only */
  jboolean forCompiler;           /* 28: new name space only: no java.lang.Thread objects */
  jboolean enableThreads;         /* 29 */
  jbyte padding[2];               /* 30 */
  jint jdkVersion;                /* 32: class-library version of a new name space, 1-3 */
} JNICreateArgs;

/* ---- exported entries (stdcall) ---- */
JNIEXPORT jint HOSTCALL JNI_SetHostFunctions(struct JNIHostFunctions* functions);
JNIEXPORT jint HOSTCALL JNI_SetJitFunctions(struct JNIHostJitSupport* functions);
JNIEXPORT void HOSTCALL JNI_GetDefaultJavaVMInitArgs(JNICreateArgs* args);
JNIEXPORT jint HOSTCALL JNI_CreateJavaVM(JavaVM** vmOut, JNIEnv** envOut, JNICreateArgs* args);
JNIEXPORT jint HOSTCALL JNI_GetCreatedJavaVMs(JavaVM** buffer, jsize bufferLength, jsize* total);
JNIEXPORT jint HOSTCALL JNI_GetCreatedJavaVMsNoMutex(JavaVM** buffer, jsize bufferLength, jsize* total);
JNIEXPORT jobject HOSTCALL JNI_CreateClassLoaderLite(JNIEnv* env, void* loaderId);
JNIEXPORT jobject HOSTCALL JNI_FindClassLoaderLite(JNIEnv* env, void* loaderId);
JNIEXPORT void HOSTCALL JNI_DestroyClassLoaderLite(JNIEnv* env, jobject loader);
JNIEXPORT jint HOSTCALL JNI_GetClassInfo(struct JNIHostFunctions* host, void* stream, char* nameBuffer,
                                         uint32_t bufferSize, uint32_t* accessFlags);
JNIEXPORT jint HOSTCALL JNI_GetClassName(struct JNIHostFunctions* host, void* stream, char* nameBuffer,
                                         uint32_t bufferSize);
JNIEXPORT jint HOSTCALL JNI_FiniClassInfo(void);
JNIEXPORT const uint32_t* HOSTCALL JNI_GetEntryPoints(void);
JNIEXPORT jint HOSTCALL JNI_LoadLibrary(jint argument, const char* moduleName);
JNIEXPORT jint HOSTCALL JNI_LoadCompiled(jint argument, const char* moduleName);
/* Relocation: the callback rewrites the pointer word it is given to the new address. */
typedef void (HOSTCALL *JNIRelocateCallback)(void** word, void* context);
JNIEXPORT void HOSTCALL JNI_Relocate(void* object, void* context, JNIRelocateCallback callback);
JNIEXPORT void HOSTCALL JNI_RelocationDone(JavaVM* vm, void* context, JNIRelocateCallback callback);
JNIEXPORT jint HOSTCALL JNI_SetVMTraceFlag(jint flag);
JNIEXPORT void HOSTCALL JNI_Assert(const char* expression, const char* file, jint line);
/* The address of the library's default table of six compiled-code support functions. */
#ifdef __cplusplus
extern "C" __attribute__((visibility("default"))) void* JNI_JitHostFnTablePtr;
#else
extern __attribute__((visibility("default"))) void* JNI_JitHostFnTablePtr;
#endif

#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L)
#ifdef __cplusplus
#define PUX_JNI_ASSERT(c, m) static_assert(c, m)
#else
#define PUX_JNI_ASSERT(c, m) _Static_assert(c, m)
#endif
PUX_JNI_ASSERT(sizeof(void*) == 4, "a 32-bit interface: build with -m32");
PUX_JNI_ASSERT(sizeof(jvalue) == 8, "jvalue is eight bytes");
PUX_JNI_ASSERT(sizeof(struct JNINativeInterface_) == 300 * 4, "300 slots");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetVersion) == 4 * 4, "slot 4");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, FindClass) == 6 * 4, "slot 6");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, Throw) == 13 * 4, "slot 13");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, NewGlobalRef) == 21 * 4, "slot 21");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, AllocObject) == 27 * 4, "slot 27");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, CallObjectMethod) == 34 * 4, "slot 34");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, CallVoidMethodA) == 63 * 4, "slot 63");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, CallNonvirtualObjectMethod) == 64 * 4, "slot 64");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, CallNonvirtualVoidMethodA) == 93 * 4, "slot 93");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetFieldID) == 94 * 4, "slot 94");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, SetDoubleField) == 112 * 4, "slot 112");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetStaticMethodID) == 113 * 4, "slot 113");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, CallStaticVoidMethodA) == 143 * 4, "slot 143");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetStaticFieldID) == 144 * 4, "slot 144");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, SetStaticDoubleField) == 162 * 4, "slot 162");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, NewString) == 163 * 4, "slot 163");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetArrayLength) == 171 * 4, "slot 171");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, NewBooleanArray) == 175 * 4, "slot 175");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetBooleanArrayElements) == 183 * 4, "slot 183");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, ReleaseBooleanArrayElements) == 191 * 4, "slot 191");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetBooleanArrayRegion) == 199 * 4, "slot 199");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, SetDoubleArrayRegion) == 214 * 4, "slot 214");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, RegisterNatives) == 215 * 4, "slot 215");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetJavaVM) == 219 * 4, "slot 219");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetStringCritical) == 224 * 4, "slot 224");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, ExceptionCheck) == 228 * 4, "slot 228");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, reserved229) == 229 * 4, "slot 229");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetStringUTFPiece) == 277 * 4, "slot 277");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, CreateSerializationInterface) == 283 * 4, "slot 283");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, GetPendingExceptionText) == 290 * 4, "slot 290");
PUX_JNI_ASSERT(offsetof(struct JNINativeInterface_, EnumerateClasses) == 299 * 4, "slot 299");
PUX_JNI_ASSERT(sizeof(struct JNIInvokeInterface_) == 11 * 4, "eleven slots");
PUX_JNI_ASSERT(offsetof(struct JNIInvokeInterface_, DestroyJavaVM) == 3 * 4, "slot 3");
PUX_JNI_ASSERT(offsetof(struct JNIInvokeInterface_, GetEnv) == 6 * 4, "slot 6");
PUX_JNI_ASSERT(offsetof(struct JNIInvokeInterface_, StopOtherThreads) == 10 * 4, "slot 10");
PUX_JNI_ASSERT(sizeof(JNICreateArgs) == 36, "creation arguments are 36 bytes");
PUX_JNI_ASSERT(offsetof(JNICreateArgs, waitForDebugger) == 24, "byte 24");
PUX_JNI_ASSERT(offsetof(JNICreateArgs, enableThreads) == 29, "byte 29");
PUX_JNI_ASSERT(offsetof(JNICreateArgs, jdkVersion) == 32, "word at 32");
#undef PUX_JNI_ASSERT
#endif

#endif
