/* The twenty system properties: constants, three texts of the host, and the version
   pair the name space's class-library version selects. The machine asks nothing else of
   the operating system for them. */
#include "vmjvm.h"

#include "vmjni.h"
#include "vmjvm_ids.h"
#include "vmnamespace.h"
#include "vmthread.h"
#include "vmutils.h"

namespace {

struct VersionPair {
  const char* version;
  const char* specification;
};

/* Index 0 serves every version outside 1..3, negative ones included. */
const VersionPair kVersions[] = {
    {"1.1.6", "1.1"},
    {"1.1.8", "1.1"},
    {"1.2.2", "1.2"},
    {"1.3.0", "1.3"},
};

enum Source { Constant, JavaVersion, SpecificationVersion, JavaHome, EncodingPkg, Timezone };

struct PropertyRow {
  const char* key;
  Source source;
  const char* value;
};

const PropertyRow kProperties[] = {
    {"java.version", JavaVersion, NULL},
    {"java.specification.version", SpecificationVersion, NULL},
    {"java.vendor", Constant, "Corvane Inc."},
    {"java.vendor.url", Constant, "http://www.corvane.com/"},
    {"java.home", JavaHome, NULL},
    {"java.class.version", Constant, "45.3"},
    {"java.class.path", Constant, "unknown"},
    {"os.name", Constant, "unknown"},
    {"os.arch", Constant, "unknown"},
    {"os.version", Constant, "0.0"},
    {"user.name", Constant, "unknown"},
    {"user.home", Constant, "unknown"},
    {"user.dir", Constant, "unknown"},
    {"user.language", Constant, "en"},
    {"file.encoding", Constant, "8859_1"},
    {"file.encoding.pkg", EncodingPkg, NULL},
    {"user.timezone", Timezone, NULL},
    {"file.separator", Constant, "\\"},
    {"path.separator", Constant, ";"},
    {"line.separator", Constant, "\n"},
};

const char* ValueOf(const PropertyRow& row, const VersionPair& pair) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  switch (row.source) {
    case JavaVersion: return pair.version;
    case SpecificationVersion: return pair.specification;
    case JavaHome: return host->GetJavaHome != NULL ? host->GetJavaHome() : NULL;
    case EncodingPkg: return host->GetFileEncodingPkg != NULL ? host->GetFileEncodingPkg() : NULL;
    case Timezone: return host->GetUserTimezone != NULL ? host->GetUserTimezone() : NULL;
    case Constant: break;
  }
  return row.value;
}

/* The thread's pending exception, taken off it. */
jthrowable TakePending(JNIEnv* env) {
  jthrowable pending = env->functions->ExceptionOccurred(env);
  if (pending != NULL) env->functions->ExceptionClear(env);
  return pending;
}

}  // namespace

/* Every property is put, each with no exception pending while Java code runs; one the
   host cannot give (a null text, or one that is not modified UTF-8) is left out alone,
   and the first exception a put raised is pending again at the end. */
jobject JNICALL JVM_InitProperties(JNIEnv* env, jobject props) {
  VMNameSpace* ns = env != NULL && env->javaVM != NULL ? env->javaVM->nameSpace : NULL;
  if (ns == NULL || env->thread == NULL) return props;
  if (props == NULL) {
    VMJniThrowInternal(env, VMStatus_NullPointerException, NULL);
    return NULL;
  }
  jthrowable first = TakePending(env);
  jmethodID put = JVMMethodPropertiesPut(env);
  if (put == NULL) {
    // Nothing can be put; the look-up's failure is the answer (out of memory when the
    // look-up could not even say why).
    if (env->thread->GetException() == NULL) VMJniThrowInternal(env, VMStatus_OutOfMemoryError, NULL);
    if (first != NULL) env->functions->DeleteLocalRef(env, first);
    return props;
  }
  const int32_t version = ns->GetLibraryVersion();
  const VersionPair& pair = version < 4 && version > 0 ? kVersions[version] : kVersions[0];
  for (const PropertyRow& row : kProperties) {
    const char* text = ValueOf(row, pair);
    jstring value = text != NULL ? env->functions->NewStringUTF(env, text) : NULL;
    jstring key = value != NULL ? env->functions->NewStringUTF(env, row.key) : NULL;
    if (key == NULL || value == NULL) {
      // A value the host cannot give drops this property only.
      jthrowable failure = TakePending(env);
      if (failure != NULL) env->functions->DeleteLocalRef(env, failure);
    } else {
      jobject old = env->functions->CallObjectMethod(env, props, put, key, value);
      if (old != NULL) env->functions->DeleteLocalRef(env, old);
      jthrowable failure = TakePending(env);
      if (first == NULL)
        first = failure;
      else if (failure != NULL)
        env->functions->DeleteLocalRef(env, failure);
    }
    if (key != NULL) env->functions->DeleteLocalRef(env, key);
    if (value != NULL) env->functions->DeleteLocalRef(env, value);
  }
  if (first != NULL) {
    env->functions->Throw(env, first);
    env->functions->DeleteLocalRef(env, first);
  }
  return props;
}
