/* The native of java.sql.DriverManager: every class belongs to the system loader here,
   so its caller's loader is always null. */
#include "registration.h"
#include "vmclass.h"

namespace {

jobject JNICALL GetCallerClassLoader(JNIEnv*, jclass) { return NULL; }

const JNINativeMethod kDriverManager[] = {
    PUX_NATIVE("getCallerClassLoader", "()Ljava/lang/ClassLoader;", GetCallerClassLoader),
};

}  // namespace

void Register_java_sql_DriverManager(void) {
  JNI_RegisterNative("java/sql/DriverManager", kDriverManager, PUX_ROWS(kDriverManager));
}
