/* Stand-ins for the env functions that are not built yet: the serialization interface.
   Each makes InternalError "nyi: <name>" pending and returns 0, so the table never holds
   a null slot. Below them, the exported entries of the debugger and of the zip archives,
   which the entry-point block names: each reports "nyi: <name>" to the host's log and
   returns its failure value.

   To build one: define the function of the same name (declared in vmjni_functions.h)
   in a file of its own and delete its line here. */
#include "vmjni_functions.h"

#include <string.h>

#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmobject.h"
#include "vmutils.h"

/* The serialization interface. */
namespace JNIEnvExtension {
void* CreateSerializationInterface(JNIEnv* env, struct JNIHostSerializationSupport*) { VMJniNotImplemented(env, "nyi: CreateSerializationInterface"); return NULL; }
void DestroySerializationInterface(JNIEnv* env, void*) { VMJniNotImplemented(env, "nyi: DestroySerializationInterface"); }
jstring GetSerializationSignature(JNIEnv* env, jclass) { VMJniNotImplemented(env, "nyi: GetSerializationSignature"); return NULL; }
}  // namespace JNIEnvExtension

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

