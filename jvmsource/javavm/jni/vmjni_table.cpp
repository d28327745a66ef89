/* The two function tables every JNIEnv and JavaVM record points to, shared by every
   machine, and the functions of the slots this machine leaves unprovided. Every slot
   holds a function: a native built for the published table that calls a slot we do not
   provide gets a Java exception instead of a jump to address 0. */
#include "vmjni_functions.h"

#include "vmjni.h"

/* Slots reserved in the published table and the 48 slots before the extensions: nothing
   should call them; one that does learns which. Any arguments are the caller's to pop. */
#define PUX_RESERVED_SLOT(n) \
  static void ReservedSlot##n(JNIEnv* env) { VMJniNotImplemented(env, "nyi: reserved slot " #n); }

PUX_RESERVED_SLOT(0) PUX_RESERVED_SLOT(1) PUX_RESERVED_SLOT(2) PUX_RESERVED_SLOT(3)
PUX_RESERVED_SLOT(229) PUX_RESERVED_SLOT(230) PUX_RESERVED_SLOT(231) PUX_RESERVED_SLOT(232)
PUX_RESERVED_SLOT(233) PUX_RESERVED_SLOT(234) PUX_RESERVED_SLOT(235) PUX_RESERVED_SLOT(236)
PUX_RESERVED_SLOT(237) PUX_RESERVED_SLOT(238) PUX_RESERVED_SLOT(239) PUX_RESERVED_SLOT(240)
PUX_RESERVED_SLOT(241) PUX_RESERVED_SLOT(242) PUX_RESERVED_SLOT(243) PUX_RESERVED_SLOT(244)
PUX_RESERVED_SLOT(245) PUX_RESERVED_SLOT(246) PUX_RESERVED_SLOT(247) PUX_RESERVED_SLOT(248)
PUX_RESERVED_SLOT(249) PUX_RESERVED_SLOT(250) PUX_RESERVED_SLOT(251) PUX_RESERVED_SLOT(252)
PUX_RESERVED_SLOT(253) PUX_RESERVED_SLOT(254) PUX_RESERVED_SLOT(255) PUX_RESERVED_SLOT(256)
PUX_RESERVED_SLOT(257) PUX_RESERVED_SLOT(258) PUX_RESERVED_SLOT(259) PUX_RESERVED_SLOT(260)
PUX_RESERVED_SLOT(261) PUX_RESERVED_SLOT(262) PUX_RESERVED_SLOT(263) PUX_RESERVED_SLOT(264)
PUX_RESERVED_SLOT(265) PUX_RESERVED_SLOT(266) PUX_RESERVED_SLOT(267) PUX_RESERVED_SLOT(268)
PUX_RESERVED_SLOT(269) PUX_RESERVED_SLOT(270) PUX_RESERVED_SLOT(271) PUX_RESERVED_SLOT(272)
PUX_RESERVED_SLOT(273) PUX_RESERVED_SLOT(274) PUX_RESERVED_SLOT(275) PUX_RESERVED_SLOT(276)
#undef PUX_RESERVED_SLOT

/* Reflection conversions and local frames are not part of this machine. */
namespace VMJniEnv {
jmethodID FromReflectedMethod(JNIEnv* env, jobject) {
  VMJniNotImplemented(env, "nyi: FromReflectedMethod");
  return NULL;
}
jfieldID FromReflectedField(JNIEnv* env, jobject) {
  VMJniNotImplemented(env, "nyi: FromReflectedField");
  return NULL;
}
jobject ToReflectedMethod(JNIEnv* env, jclass, jmethodID, jboolean) {
  VMJniNotImplemented(env, "nyi: ToReflectedMethod");
  return NULL;
}
jobject ToReflectedField(JNIEnv* env, jclass, jfieldID, jboolean) {
  VMJniNotImplemented(env, "nyi: ToReflectedField");
  return NULL;
}
jint PushLocalFrame(JNIEnv* env, jint) {
  VMJniNotImplemented(env, "nyi: PushLocalFrame");
  return 0;
}
jobject PopLocalFrame(JNIEnv* env, jobject) {
  VMJniNotImplemented(env, "nyi: PopLocalFrame");
  return NULL;
}
}  // namespace VMJniEnv

/* Word 0 of every JNIEnv record. */
const JNINativeInterface_ VMJniEnvFunctionTable = {
    reinterpret_cast<void*>(ReservedSlot0),  // 0
    reinterpret_cast<void*>(ReservedSlot1),  // 1
    reinterpret_cast<void*>(ReservedSlot2),  // 2
    reinterpret_cast<void*>(ReservedSlot3),  // 3
    VMJniEnv::GetVersion,  // 4
    VMJniEnv::DefineClass,  // 5
    VMJniEnv::FindClass,  // 6
    VMJniEnv::FromReflectedMethod,  // 7
    VMJniEnv::FromReflectedField,  // 8
    VMJniEnv::ToReflectedMethod,  // 9
    VMJniEnv::GetSuperclass,  // 10
    VMJniEnv::IsAssignableFrom,  // 11
    VMJniEnv::ToReflectedField,  // 12
    VMJniEnv::Throw,  // 13
    VMJniEnv::ThrowNew,  // 14
    VMJniEnv::ExceptionOccurred,  // 15
    VMJniEnv::ExceptionDescribe,  // 16
    VMJniEnv::ExceptionClear,  // 17
    VMJniEnv::FatalError,  // 18
    VMJniEnv::PushLocalFrame,  // 19
    VMJniEnv::PopLocalFrame,  // 20
    VMJniEnv::NewGlobalRef,  // 21
    VMJniEnv::DeleteGlobalRef,  // 22
    VMJniEnv::DeleteLocalRef,  // 23
    VMJniEnv::IsSameObject,  // 24
    VMJniEnv::NewLocalRef,  // 25
    VMJniEnv::EnsureLocalCapacity,  // 26
    VMJniEnv::AllocObject,  // 27
    VMJniEnv::NewObject,  // 28
    VMJniEnv::NewObjectV,  // 29
    VMJniEnv::NewObjectA,  // 30
    VMJniEnv::GetObjectClass,  // 31
    VMJniEnv::IsInstanceOf,  // 32
    VMJniEnv::GetMethodID,  // 33
    VMJniEnv::CallObjectMethod,  // 34
    VMJniEnv::CallObjectMethodV,  // 35
    VMJniEnv::CallObjectMethodA,  // 36
    VMJniEnv::CallBooleanMethod,  // 37
    VMJniEnv::CallBooleanMethodV,  // 38
    VMJniEnv::CallBooleanMethodA,  // 39
    VMJniEnv::CallByteMethod,  // 40
    VMJniEnv::CallByteMethodV,  // 41
    VMJniEnv::CallByteMethodA,  // 42
    VMJniEnv::CallCharMethod,  // 43
    VMJniEnv::CallCharMethodV,  // 44
    VMJniEnv::CallCharMethodA,  // 45
    VMJniEnv::CallShortMethod,  // 46
    VMJniEnv::CallShortMethodV,  // 47
    VMJniEnv::CallShortMethodA,  // 48
    VMJniEnv::CallIntMethod,  // 49
    VMJniEnv::CallIntMethodV,  // 50
    VMJniEnv::CallIntMethodA,  // 51
    VMJniEnv::CallLongMethod,  // 52
    VMJniEnv::CallLongMethodV,  // 53
    VMJniEnv::CallLongMethodA,  // 54
    VMJniEnv::CallFloatMethod,  // 55
    VMJniEnv::CallFloatMethodV,  // 56
    VMJniEnv::CallFloatMethodA,  // 57
    VMJniEnv::CallDoubleMethod,  // 58
    VMJniEnv::CallDoubleMethodV,  // 59
    VMJniEnv::CallDoubleMethodA,  // 60
    VMJniEnv::CallVoidMethod,  // 61
    VMJniEnv::CallVoidMethodV,  // 62
    VMJniEnv::CallVoidMethodA,  // 63
    VMJniEnv::CallNonvirtualObjectMethod,  // 64
    VMJniEnv::CallNonvirtualObjectMethodV,  // 65
    VMJniEnv::CallNonvirtualObjectMethodA,  // 66
    VMJniEnv::CallNonvirtualBooleanMethod,  // 67
    VMJniEnv::CallNonvirtualBooleanMethodV,  // 68
    VMJniEnv::CallNonvirtualBooleanMethodA,  // 69
    VMJniEnv::CallNonvirtualByteMethod,  // 70
    VMJniEnv::CallNonvirtualByteMethodV,  // 71
    VMJniEnv::CallNonvirtualByteMethodA,  // 72
    VMJniEnv::CallNonvirtualCharMethod,  // 73
    VMJniEnv::CallNonvirtualCharMethodV,  // 74
    VMJniEnv::CallNonvirtualCharMethodA,  // 75
    VMJniEnv::CallNonvirtualShortMethod,  // 76
    VMJniEnv::CallNonvirtualShortMethodV,  // 77
    VMJniEnv::CallNonvirtualShortMethodA,  // 78
    VMJniEnv::CallNonvirtualIntMethod,  // 79
    VMJniEnv::CallNonvirtualIntMethodV,  // 80
    VMJniEnv::CallNonvirtualIntMethodA,  // 81
    VMJniEnv::CallNonvirtualLongMethod,  // 82
    VMJniEnv::CallNonvirtualLongMethodV,  // 83
    VMJniEnv::CallNonvirtualLongMethodA,  // 84
    VMJniEnv::CallNonvirtualFloatMethod,  // 85
    VMJniEnv::CallNonvirtualFloatMethodV,  // 86
    VMJniEnv::CallNonvirtualFloatMethodA,  // 87
    VMJniEnv::CallNonvirtualDoubleMethod,  // 88
    VMJniEnv::CallNonvirtualDoubleMethodV,  // 89
    VMJniEnv::CallNonvirtualDoubleMethodA,  // 90
    VMJniEnv::CallNonvirtualVoidMethod,  // 91
    VMJniEnv::CallNonvirtualVoidMethodV,  // 92
    VMJniEnv::CallNonvirtualVoidMethodA,  // 93
    VMJniEnv::GetFieldID,  // 94
    VMJniEnv::GetObjectField,  // 95
    VMJniEnv::GetBooleanField,  // 96
    VMJniEnv::GetByteField,  // 97
    VMJniEnv::GetCharField,  // 98
    VMJniEnv::GetShortField,  // 99
    VMJniEnv::GetIntField,  // 100
    VMJniEnv::GetLongField,  // 101
    VMJniEnv::GetFloatField,  // 102
    VMJniEnv::GetDoubleField,  // 103
    VMJniEnv::SetObjectField,  // 104
    VMJniEnv::SetBooleanField,  // 105
    VMJniEnv::SetByteField,  // 106
    VMJniEnv::SetCharField,  // 107
    VMJniEnv::SetShortField,  // 108
    VMJniEnv::SetIntField,  // 109
    VMJniEnv::SetLongField,  // 110
    VMJniEnv::SetFloatField,  // 111
    VMJniEnv::SetDoubleField,  // 112
    VMJniEnv::GetStaticMethodID,  // 113
    VMJniEnv::CallStaticObjectMethod,  // 114
    VMJniEnv::CallStaticObjectMethodV,  // 115
    VMJniEnv::CallStaticObjectMethodA,  // 116
    VMJniEnv::CallStaticBooleanMethod,  // 117
    VMJniEnv::CallStaticBooleanMethodV,  // 118
    VMJniEnv::CallStaticBooleanMethodA,  // 119
    VMJniEnv::CallStaticByteMethod,  // 120
    VMJniEnv::CallStaticByteMethodV,  // 121
    VMJniEnv::CallStaticByteMethodA,  // 122
    VMJniEnv::CallStaticCharMethod,  // 123
    VMJniEnv::CallStaticCharMethodV,  // 124
    VMJniEnv::CallStaticCharMethodA,  // 125
    VMJniEnv::CallStaticShortMethod,  // 126
    VMJniEnv::CallStaticShortMethodV,  // 127
    VMJniEnv::CallStaticShortMethodA,  // 128
    VMJniEnv::CallStaticIntMethod,  // 129
    VMJniEnv::CallStaticIntMethodV,  // 130
    VMJniEnv::CallStaticIntMethodA,  // 131
    VMJniEnv::CallStaticLongMethod,  // 132
    VMJniEnv::CallStaticLongMethodV,  // 133
    VMJniEnv::CallStaticLongMethodA,  // 134
    VMJniEnv::CallStaticFloatMethod,  // 135
    VMJniEnv::CallStaticFloatMethodV,  // 136
    VMJniEnv::CallStaticFloatMethodA,  // 137
    VMJniEnv::CallStaticDoubleMethod,  // 138
    VMJniEnv::CallStaticDoubleMethodV,  // 139
    VMJniEnv::CallStaticDoubleMethodA,  // 140
    VMJniEnv::CallStaticVoidMethod,  // 141
    VMJniEnv::CallStaticVoidMethodV,  // 142
    VMJniEnv::CallStaticVoidMethodA,  // 143
    VMJniEnv::GetStaticFieldID,  // 144
    VMJniEnv::GetStaticObjectField,  // 145
    VMJniEnv::GetStaticBooleanField,  // 146
    VMJniEnv::GetStaticByteField,  // 147
    VMJniEnv::GetStaticCharField,  // 148
    VMJniEnv::GetStaticShortField,  // 149
    VMJniEnv::GetStaticIntField,  // 150
    VMJniEnv::GetStaticLongField,  // 151
    VMJniEnv::GetStaticFloatField,  // 152
    VMJniEnv::GetStaticDoubleField,  // 153
    VMJniEnv::SetStaticObjectField,  // 154
    VMJniEnv::SetStaticBooleanField,  // 155
    VMJniEnv::SetStaticByteField,  // 156
    VMJniEnv::SetStaticCharField,  // 157
    VMJniEnv::SetStaticShortField,  // 158
    VMJniEnv::SetStaticIntField,  // 159
    VMJniEnv::SetStaticLongField,  // 160
    VMJniEnv::SetStaticFloatField,  // 161
    VMJniEnv::SetStaticDoubleField,  // 162
    VMJniEnv::NewString,  // 163
    VMJniEnv::GetStringLength,  // 164
    VMJniEnv::GetStringChars,  // 165
    VMJniEnv::ReleaseStringChars,  // 166
    VMJniEnv::NewStringUTF,  // 167
    VMJniEnv::GetStringUTFLength,  // 168
    VMJniEnv::GetStringUTFChars,  // 169
    VMJniEnv::ReleaseStringUTFChars,  // 170
    VMJniEnv::GetArrayLength,  // 171
    VMJniEnv::NewObjectArray,  // 172
    VMJniEnv::GetObjectArrayElement,  // 173
    VMJniEnv::SetObjectArrayElement,  // 174
    VMJniEnv::NewBooleanArray,  // 175
    VMJniEnv::NewByteArray,  // 176
    VMJniEnv::NewCharArray,  // 177
    VMJniEnv::NewShortArray,  // 178
    VMJniEnv::NewIntArray,  // 179
    VMJniEnv::NewLongArray,  // 180
    VMJniEnv::NewFloatArray,  // 181
    VMJniEnv::NewDoubleArray,  // 182
    VMJniEnv::GetBooleanArrayElements,  // 183
    VMJniEnv::GetByteArrayElements,  // 184
    VMJniEnv::GetCharArrayElements,  // 185
    VMJniEnv::GetShortArrayElements,  // 186
    VMJniEnv::GetIntArrayElements,  // 187
    VMJniEnv::GetLongArrayElements,  // 188
    VMJniEnv::GetFloatArrayElements,  // 189
    VMJniEnv::GetDoubleArrayElements,  // 190
    VMJniEnv::ReleaseBooleanArrayElements,  // 191
    VMJniEnv::ReleaseByteArrayElements,  // 192
    VMJniEnv::ReleaseCharArrayElements,  // 193
    VMJniEnv::ReleaseShortArrayElements,  // 194
    VMJniEnv::ReleaseIntArrayElements,  // 195
    VMJniEnv::ReleaseLongArrayElements,  // 196
    VMJniEnv::ReleaseFloatArrayElements,  // 197
    VMJniEnv::ReleaseDoubleArrayElements,  // 198
    VMJniEnv::GetBooleanArrayRegion,  // 199
    VMJniEnv::GetByteArrayRegion,  // 200
    VMJniEnv::GetCharArrayRegion,  // 201
    VMJniEnv::GetShortArrayRegion,  // 202
    VMJniEnv::GetIntArrayRegion,  // 203
    VMJniEnv::GetLongArrayRegion,  // 204
    VMJniEnv::GetFloatArrayRegion,  // 205
    VMJniEnv::GetDoubleArrayRegion,  // 206
    VMJniEnv::SetBooleanArrayRegion,  // 207
    VMJniEnv::SetByteArrayRegion,  // 208
    VMJniEnv::SetCharArrayRegion,  // 209
    VMJniEnv::SetShortArrayRegion,  // 210
    VMJniEnv::SetIntArrayRegion,  // 211
    VMJniEnv::SetLongArrayRegion,  // 212
    VMJniEnv::SetFloatArrayRegion,  // 213
    VMJniEnv::SetDoubleArrayRegion,  // 214
    VMJniEnv::RegisterNatives,  // 215
    VMJniEnv::UnregisterNatives,  // 216
    VMJniEnv::MonitorEnter,  // 217
    VMJniEnv::MonitorExit,  // 218
    VMJniEnv::GetJavaVM,  // 219
    VMJniEnv::GetStringRegion,  // 220
    VMJniEnv::GetStringUTFRegion,  // 221
    VMJniEnv::GetPrimitiveArrayCritical,  // 222
    VMJniEnv::ReleasePrimitiveArrayCritical,  // 223
    VMJniEnv::GetStringCritical,  // 224
    VMJniEnv::ReleaseStringCritical,  // 225
    VMJniEnv::NewWeakGlobalRef,  // 226
    VMJniEnv::DeleteWeakGlobalRef,  // 227
    VMJniEnv::ExceptionCheck,  // 228
    reinterpret_cast<void*>(ReservedSlot229),  // 229
    reinterpret_cast<void*>(ReservedSlot230),  // 230
    reinterpret_cast<void*>(ReservedSlot231),  // 231
    reinterpret_cast<void*>(ReservedSlot232),  // 232
    reinterpret_cast<void*>(ReservedSlot233),  // 233
    reinterpret_cast<void*>(ReservedSlot234),  // 234
    reinterpret_cast<void*>(ReservedSlot235),  // 235
    reinterpret_cast<void*>(ReservedSlot236),  // 236
    reinterpret_cast<void*>(ReservedSlot237),  // 237
    reinterpret_cast<void*>(ReservedSlot238),  // 238
    reinterpret_cast<void*>(ReservedSlot239),  // 239
    reinterpret_cast<void*>(ReservedSlot240),  // 240
    reinterpret_cast<void*>(ReservedSlot241),  // 241
    reinterpret_cast<void*>(ReservedSlot242),  // 242
    reinterpret_cast<void*>(ReservedSlot243),  // 243
    reinterpret_cast<void*>(ReservedSlot244),  // 244
    reinterpret_cast<void*>(ReservedSlot245),  // 245
    reinterpret_cast<void*>(ReservedSlot246),  // 246
    reinterpret_cast<void*>(ReservedSlot247),  // 247
    reinterpret_cast<void*>(ReservedSlot248),  // 248
    reinterpret_cast<void*>(ReservedSlot249),  // 249
    reinterpret_cast<void*>(ReservedSlot250),  // 250
    reinterpret_cast<void*>(ReservedSlot251),  // 251
    reinterpret_cast<void*>(ReservedSlot252),  // 252
    reinterpret_cast<void*>(ReservedSlot253),  // 253
    reinterpret_cast<void*>(ReservedSlot254),  // 254
    reinterpret_cast<void*>(ReservedSlot255),  // 255
    reinterpret_cast<void*>(ReservedSlot256),  // 256
    reinterpret_cast<void*>(ReservedSlot257),  // 257
    reinterpret_cast<void*>(ReservedSlot258),  // 258
    reinterpret_cast<void*>(ReservedSlot259),  // 259
    reinterpret_cast<void*>(ReservedSlot260),  // 260
    reinterpret_cast<void*>(ReservedSlot261),  // 261
    reinterpret_cast<void*>(ReservedSlot262),  // 262
    reinterpret_cast<void*>(ReservedSlot263),  // 263
    reinterpret_cast<void*>(ReservedSlot264),  // 264
    reinterpret_cast<void*>(ReservedSlot265),  // 265
    reinterpret_cast<void*>(ReservedSlot266),  // 266
    reinterpret_cast<void*>(ReservedSlot267),  // 267
    reinterpret_cast<void*>(ReservedSlot268),  // 268
    reinterpret_cast<void*>(ReservedSlot269),  // 269
    reinterpret_cast<void*>(ReservedSlot270),  // 270
    reinterpret_cast<void*>(ReservedSlot271),  // 271
    reinterpret_cast<void*>(ReservedSlot272),  // 272
    reinterpret_cast<void*>(ReservedSlot273),  // 273
    reinterpret_cast<void*>(ReservedSlot274),  // 274
    reinterpret_cast<void*>(ReservedSlot275),  // 275
    reinterpret_cast<void*>(ReservedSlot276),  // 276
    JNIEnvExtension::GetStringUTFPiece,  // 277
    JNIEnvExtension::FindClassNoInit,  // 278
    JNIEnvExtension::FindClassInObjectLoader,  // 279
    JNIEnvExtension::FindClassInLoaderId,  // 280
    JNIEnvExtension::FindPublicField,  // 281
    JNIEnvExtension::FindMethodBySignature,  // 282
    JNIEnvExtension::CreateSerializationInterface,  // 283
    JNIEnvExtension::DestroySerializationInterface,  // 284
    JNIEnvExtension::GetSerializationSignature,  // 285
    JNIEnvExtension::GetLoaderFieldRef,  // 286
    JNIEnvExtension::GetLoaderFieldRef2,  // 287
    JNIEnvExtension::FindPublicFieldName,  // 288
    JNIEnvExtension::FindMethodName,  // 289
    JNIEnvExtension::GetPendingExceptionText,  // 290
    JNIEnvExtension::GetPendingExceptionStackLine,  // 291
    JNIEnvExtension::FreeExceptionText,  // 292
    JNIEnvExtension::GetEnvUserWord,  // 293
    JNIEnvExtension::SetEnvUserWord,  // 294
    JNIEnvExtension::GetHighWaterMarks,  // 295
    JNIEnvExtension::DeleteRefs,  // 296
    JNIEnvExtension::FindPublicFieldNameUTF,  // 297
    JNIEnvExtension::FindMethodNameUTF,  // 298
    JNIEnvExtension::EnumerateClasses,  // 299
};

/* Word 0 of every JavaVM record. */
const JNIInvokeInterface_ VMJniInvokeFunctionTable = {
    NULL,
    NULL,
    NULL,
    VMJniInvoke::DestroyJavaVM,
    VMJniInvoke::AttachCurrentThread,
    VMJniInvoke::DetachCurrentThread,
    VMJniInvoke::GetEnv,
    VMJniInvoke::AddDestroyCallback,
    VMJniInvoke::RemoveDestroyCallback,
    VMJniInvoke::AbandonJavaVM,
    VMJniInvoke::StopOtherThreads,
};
