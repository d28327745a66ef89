/* The two function tables and the entry-point block: every slot filled and in its place,
   the slots this machine does not provide raising their own name, a native built in C
   against our jni.h, a native that tries to detach under its own frames, and the code
   loading entries. */
#include "jni_support.h"

#include <stddef.h>
#include <string.h>

#include "native/c_native.h"
#include "vmjni_entries.h"

namespace jni_test {
namespace {

class TableTest : public JniTest {};

typedef void (*AnyFunction)();
#define SLOT(name, number) {offsetof(JNINativeInterface_, name), number, (AnyFunction)VMJniEnv::name}
#define EXT(name, number) {offsetof(JNINativeInterface_, name), number, (AnyFunction)JNIEnvExtension::name}
struct SlotRow {
  size_t offset;
  int slot;
  AnyFunction function;
};
const SlotRow kSlots[] = {
    SLOT(GetVersion, 4),          SLOT(DefineClass, 5),         SLOT(FindClass, 6),
    SLOT(GetSuperclass, 10),      SLOT(IsAssignableFrom, 11),   SLOT(Throw, 13),
    SLOT(ThrowNew, 14),           SLOT(ExceptionOccurred, 15),  SLOT(ExceptionDescribe, 16),
    SLOT(ExceptionClear, 17),     SLOT(FatalError, 18),         SLOT(NewGlobalRef, 21),
    SLOT(DeleteGlobalRef, 22),    SLOT(DeleteLocalRef, 23),     SLOT(IsSameObject, 24),
    SLOT(NewLocalRef, 25),        SLOT(EnsureLocalCapacity, 26), SLOT(AllocObject, 27),
    SLOT(NewObject, 28),          SLOT(GetMethodID, 33),        SLOT(CallObjectMethod, 34),
    SLOT(CallBooleanMethodV, 38), SLOT(CallVoidMethodA, 63),    SLOT(CallNonvirtualObjectMethod, 64),
    SLOT(CallNonvirtualVoidMethodA, 93), SLOT(GetFieldID, 94),  SLOT(GetObjectField, 95),
    SLOT(GetBooleanField, 96),    SLOT(GetDoubleField, 103),    SLOT(SetObjectField, 104),
    SLOT(SetDoubleField, 112),    SLOT(GetStaticMethodID, 113), SLOT(CallStaticObjectMethod, 114),
    SLOT(CallStaticVoidMethodA, 143), SLOT(GetStaticFieldID, 144), SLOT(GetStaticObjectField, 145),
    SLOT(SetStaticDoubleField, 162), SLOT(NewString, 163),      SLOT(ReleaseStringUTFChars, 170),
    SLOT(GetArrayLength, 171),    SLOT(NewObjectArray, 172),    SLOT(SetObjectArrayElement, 174),
    SLOT(NewBooleanArray, 175),   SLOT(NewDoubleArray, 182),    SLOT(GetBooleanArrayElements, 183),
    SLOT(ReleaseBooleanArrayElements, 191), SLOT(GetBooleanArrayRegion, 199),
    SLOT(SetBooleanArrayRegion, 207), SLOT(SetDoubleArrayRegion, 214), SLOT(RegisterNatives, 215),
    SLOT(UnregisterNatives, 216), SLOT(MonitorEnter, 217),      SLOT(MonitorExit, 218),
    SLOT(GetJavaVM, 219),         SLOT(GetStringRegion, 220),   SLOT(GetStringUTFRegion, 221),
    SLOT(GetPrimitiveArrayCritical, 222), SLOT(ReleasePrimitiveArrayCritical, 223),
    SLOT(GetStringCritical, 224), SLOT(ReleaseStringCritical, 225), SLOT(NewWeakGlobalRef, 226),
    SLOT(DeleteWeakGlobalRef, 227), SLOT(ExceptionCheck, 228),
    EXT(GetStringUTFPiece, 277),  EXT(FindClassNoInit, 278),    EXT(FindClassInObjectLoader, 279),
    EXT(FindClassInLoaderId, 280), EXT(FindPublicField, 281),   EXT(FindMethodBySignature, 282),
    EXT(CreateSerializationInterface, 283), EXT(DestroySerializationInterface, 284),
    EXT(GetSerializationSignature, 285), EXT(GetLoaderFieldRef, 286), EXT(GetLoaderFieldRef2, 287),
    EXT(FindPublicFieldName, 288), EXT(FindMethodName, 289),    EXT(GetPendingExceptionText, 290),
    EXT(GetPendingExceptionStackLine, 291), EXT(FreeExceptionText, 292), EXT(GetEnvUserWord, 293),
    EXT(SetEnvUserWord, 294),     EXT(GetHighWaterMarks, 295),  EXT(DeleteRefs, 296),
    EXT(FindPublicFieldNameUTF, 297), EXT(FindMethodNameUTF, 298), EXT(EnumerateClasses, 299),
};
#undef SLOT
#undef EXT

TEST_F(TableTest, EverySlotIsFilledAndInItsPlace) {
  const AnyFunction* slots = (const AnyFunction*)&VMJniEnvFunctionTable;
  for (int i = 0; i < 300; i++) EXPECT_NE(nullptr, slots[i]) << "slot " << i;
  for (const SlotRow& row : kSlots) {
    EXPECT_EQ(row.slot * 4u, row.offset);
    EXPECT_EQ(row.function, slots[row.slot]) << "slot " << row.slot;
  }
  const AnyFunction* vmSlots = (const AnyFunction*)&VMJniInvokeFunctionTable;
  EXPECT_EQ(nullptr, vmSlots[0]);
  EXPECT_EQ((AnyFunction)VMJniInvoke::DestroyJavaVM, vmSlots[3]);
  EXPECT_EQ((AnyFunction)VMJniInvoke::GetEnv, vmSlots[6]);
  EXPECT_EQ((AnyFunction)VMJniInvoke::StopOtherThreads, vmSlots[10]);
}

TEST_F(TableTest, SlotsNotProvidedRaiseTheirName) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  EXPECT_EQ(1, env->functions->GetVersion(env));
  EXPECT_EQ(0, env->functions->PushLocalFrame(env, 8));
  EXPECT_EQ("java.lang.InternalError: nyi: PushLocalFrame", PendingText(env));
  EXPECT_EQ(nullptr, env->functions->FromReflectedMethod(env, nullptr));
  EXPECT_EQ("java.lang.InternalError: nyi: FromReflectedMethod", PendingText(env));
  EXPECT_EQ(nullptr, env->functions->ToReflectedField(env, nullptr, nullptr, 0));
  EXPECT_EQ("java.lang.InternalError: nyi: ToReflectedField", PendingText(env));
  // A reserved slot, called as a function of the env alone.
  typedef void (*Reserved)(JNIEnv*);
  ((Reserved)env->functions->reserved229)(env);
  EXPECT_EQ("java.lang.InternalError: nyi: reserved slot 229", PendingText(env));
  env->functions->ExceptionClear(env);
  // Every env of every machine shares the one table; the user word is each env's own.
  JNIEnv* other = nullptr;
  JavaVM* second = Create(&other);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(env->functions, other->functions);
  env->functions->SetEnvUserWord(env, (void*)0x1234);
  EXPECT_EQ(nullptr, other->functions->GetEnvUserWord(other));
  EXPECT_EQ((void*)0x1234, env->functions->GetEnvUserWord(env));
  env->functions->SetEnvUserWord(env, nullptr);
  Destroy(second);
  host->AttachThreadEnv(vm, env);
  host->SetCurrentEnv(env);
  Destroy(vm);
}

TEST_F(TableTest, ANativeInPlainCCallsThroughTheTable) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  memset(&gCNativeResults, 0, sizeof gCNativeResults);
  EXPECT_EQ(nullptr, env->functions->FindClass(env, "CNativeUser"));
  EXPECT_EQ(1, gCNativeResults.calls);
  EXPECT_EQ(1, gCNativeResults.version);
  EXPECT_EQ(1, gCNativeResults.foundString);
  EXPECT_EQ(1, gCNativeResults.superIsObject);
  EXPECT_EQ(1, gCNativeResults.assignable);
  EXPECT_EQ(1, gCNativeResults.globalSame);
  EXPECT_EQ(1, gCNativeResults.pushFrameRaised);
  EXPECT_EQ(1, gCNativeResults.pendingCleared);
  EXPECT_EQ(0, gCNativeResults.throwNew);
  EXPECT_EQ("java.lang.ExceptionInInitializerError( java.lang.IllegalStateException: thrown from C )",
            PendingText(env));
  env->functions->ExceptionClear(env);
  Destroy(vm);
}

jint gDetachResult = 99;
extern "C" JNIEXPORT jint JNICALL Java_Detacher_detach(JNIEnv* env, jclass) {
  gDetachResult = env->javaVM->functions->DetachCurrentThread(env->javaVM);
  return gDetachResult;
}

TEST_F(TableTest, ANativeCannotDetachUnderItsOwnFrames) {
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  jclass detacher = env->functions->FindClass(env, "Detacher");
  EXPECT_NE(nullptr, detacher) << PendingText(env);
  EXPECT_EQ(-1, gDetachResult);
  EXPECT_EQ(env, env->thread->GetEnv()) << "still attached";
  EXPECT_EQ(env, host->GetCurrentEnv());
  Destroy(vm);
}

TEST_F(TableTest, TheEntryPointBlock) {
  const uint32_t* block = JNI_GetEntryPoints();
  EXPECT_EQ(0x000004E3u, block[0]);
  EXPECT_EQ(0x01A53DE5u, block[1]);
  const void* const expected[37] = {
      (void*)JNI_GetDefaultJavaVMInitArgs, (void*)JNI_CreateJavaVM, (void*)JNI_Relocate,
      (void*)JNI_RelocationDone, (void*)JNI_CreateClassLoaderLite, (void*)JNI_FindClassLoaderLite,
      (void*)JNI_IncRefClassLoaderLite, (void*)JNI_DecRefClassLoaderLite, (void*)JNI_GetRefClassLoaderLite,
      (void*)JNI_DestroyClassLoaderLite, (void*)JNI_SetHostFunctions, (void*)JNI_GetCreatedJavaVMs,
      (void*)JNI_GetCreatedJavaVMsNoMutex, (void*)JNI_GetClassName, (void*)JNI_GetClassInfo,
      (void*)JNI_FiniClassInfo, (void*)JNI_LoadLibrary, (void*)JNI_LoadCompiled, (void*)JNI_DebugSetLoaderID,
      (void*)JNI_DebugRequest, (void*)JNI_DebugAttach, (void*)JNI_DebugDetach, (void*)JNI_DebugWaitForVM,
      (void*)JNI_DebugReleaseVM, (void*)JNI_DebugEnableVMCreation, (void*)JNI_DebugGetExistingVMs,
      (void*)JNI_DebugEventPending, (void*)JNI_CreateZipHash, (void*)JNI_DestroyZipHash,
      (void*)JNI_ZipHashLookup, (void*)JNI_OpenZStrm, (void*)JNI_ReadZStrm, (void*)JNI_SeekZStrm,
      (void*)JNI_SeekZStrmAbsolute, (void*)JNI_CloseZStrm, (void*)JNI_SetJitFunctions,
      (void*)JNI_SetVMTraceFlag};
  for (int i = 0; i < 37; i++) EXPECT_EQ(expected[i], (const void*)(uintptr_t)block[2 + i]) << "entry " << i;
  EXPECT_EQ(1, JNI_SetVMTraceFlag(0));
  JNI_Assert("false", "here", 1);  // reports nothing, and returns
  // Entries of later pieces answer their failure values.
  EXPECT_EQ(nullptr, JNI_DebugAttach("x"));
  EXPECT_EQ(0xFFFFFFFFu, JNI_DebugRequest(nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(nullptr, JNI_OpenZStrm(nullptr, 1, 1));
  EXPECT_EQ(-1, JNI_SeekZStrm(nullptr, 0));
}

TEST_F(TableTest, LoadingCodeModules) {
  const std::string module = std::string(PUX_BUILD_DIR) + "/libjni_test_module.so";
  EXPECT_EQ(-1, JNI_LoadLibrary(7, "/no/such/module.so"));
  EXPECT_EQ(-1, JNI_LoadCompiled(7, nullptr));
  EXPECT_EQ(7, JNI_LoadLibrary(7, module.c_str()));
  JNIEnv* env = nullptr;
  JavaVM* vm = Create(&env);
  ASSERT_NE(nullptr, vm);
  // The entry takes the global mutex again on the same thread: no deadlock, and every
  // hold is given back.
  uint32_t locks = refhost::GlobalMutexLockCount();
  uint32_t unlocks = refhost::GlobalMutexUnlockCount();
  EXPECT_TRUE(EndsWithin(5000, [&] { EXPECT_EQ(1001, JNI_LoadCompiled(1, module.c_str())); }));
  EXPECT_EQ(refhost::GlobalMutexLockCount() - locks, refhost::GlobalMutexUnlockCount() - unlocks);
  Destroy(vm);
}

/* The relocation entries hand the callback nothing for what is not an object head: a
   null block, a block without the head flag (a storage piece, a plain block), or a null
   record; and they report nothing. */
void HOSTCALL CountingRelocation(void** word, void* context) {
  (void)word;
  ++*(int*)context;
}

TEST_F(TableTest, RelocationEntriesPassOverWhatIsNoObjectHead) {
  refhost::SetCapture(true);
  int calls = 0;
  JNI_Relocate(nullptr, &calls, CountingRelocation);
  uint32_t plain[8] = {0xCAFE7878u, 0, 0, 0x1234, 0x5678, 0, 0, 0};  // tag, no head flag
  JNI_Relocate(plain, &calls, CountingRelocation);
  JNI_RelocationDone(nullptr, &calls, CountingRelocation);
  EXPECT_EQ(0, calls);
  EXPECT_EQ("", refhost::CapturedLog());
  EXPECT_EQ(0, refhost::FatalExitCount());
}

}  // namespace
}  // namespace jni_test
