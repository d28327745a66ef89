#include <gtest/gtest.h>
#include "refhost.h"
#include "jnitypes.h"
#include "vmjni.h"
#include "vmthread.h"
#include "vmutils.h"
TEST(Smoke, CreateDestroy) {
  refhost::SetClassPath(nullptr, PUX_BUILD_DIR "/classlib.zip");
  JNICreateArgs args;
  JNI_GetDefaultJavaVMInitArgs(&args);
  args.host = refhost::Functions();
  JavaVM* vm = nullptr; JNIEnv* env = nullptr;
  ASSERT_EQ(0, JNI_CreateJavaVM(&vm, &env, &args));
  jclass s = env->functions->FindClass(env, "java/lang/String");
  EXPECT_NE(nullptr, s);
  EXPECT_EQ(0, vm->functions->DestroyJavaVM(vm));
  EXPECT_EQ(nullptr, refhost::Functions()->GetGlobalCell(0));
}
