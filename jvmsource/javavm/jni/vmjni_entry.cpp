/* The entry-point block a host that binds the library dynamically reads instead of
   looking every name up, and the small entries beside it: loading a host code module,
   the relocation entries, the trace switch. */
#include "vm.h"
#include "vmdebugger.h"
#include "vmframe.h"
#include "vmjni.h"
#include "vmjni_entries.h"
#include "vmutils.h"

namespace {

struct EntryPointBlock {
  uint32_t magic;
  uint32_t cookie;
  const void* entries[37];
};
static_assert(sizeof(EntryPointBlock) == 39 * 4, "39 words");

#define PUX_ENTRY(fn) reinterpret_cast<const void*>(&fn)
const EntryPointBlock kEntryPoints = {
    0x000004E3u,
    VMUtils::INTERFACE_COOKIE,
    {
        PUX_ENTRY(JNI_GetDefaultJavaVMInitArgs),  // 0
        PUX_ENTRY(JNI_CreateJavaVM),
        PUX_ENTRY(JNI_Relocate),
        PUX_ENTRY(JNI_RelocationDone),
        PUX_ENTRY(JNI_CreateClassLoaderLite),  // 4
        PUX_ENTRY(JNI_FindClassLoaderLite),
        PUX_ENTRY(JNI_IncRefClassLoaderLite),
        PUX_ENTRY(JNI_DecRefClassLoaderLite),
        PUX_ENTRY(JNI_GetRefClassLoaderLite),
        PUX_ENTRY(JNI_DestroyClassLoaderLite),
        PUX_ENTRY(JNI_SetHostFunctions),  // 10
        PUX_ENTRY(JNI_GetCreatedJavaVMs),
        PUX_ENTRY(JNI_GetCreatedJavaVMsNoMutex),
        PUX_ENTRY(JNI_GetClassName),  // 13
        PUX_ENTRY(JNI_GetClassInfo),
        PUX_ENTRY(JNI_FiniClassInfo),
        PUX_ENTRY(JNI_LoadLibrary),  // 16
        PUX_ENTRY(JNI_LoadCompiled),
        PUX_ENTRY(JNI_DebugSetLoaderID),  // 18
        PUX_ENTRY(JNI_DebugRequest),
        PUX_ENTRY(JNI_DebugAttach),
        PUX_ENTRY(JNI_DebugDetach),
        PUX_ENTRY(JNI_DebugWaitForVM),
        PUX_ENTRY(JNI_DebugReleaseVM),
        PUX_ENTRY(JNI_DebugEnableVMCreation),
        PUX_ENTRY(JNI_DebugGetExistingVMs),
        PUX_ENTRY(JNI_DebugEventPending),
        PUX_ENTRY(JNI_CreateZipHash),  // 27
        PUX_ENTRY(JNI_DestroyZipHash),
        PUX_ENTRY(JNI_ZipHashLookup),
        PUX_ENTRY(JNI_OpenZStrm),
        PUX_ENTRY(JNI_ReadZStrm),
        PUX_ENTRY(JNI_SeekZStrm),
        PUX_ENTRY(JNI_SeekZStrmAbsolute),
        PUX_ENTRY(JNI_CloseZStrm),
        PUX_ENTRY(JNI_SetJitFunctions),  // 35
        PUX_ENTRY(JNI_SetVMTraceFlag),
    }};
#undef PUX_ENTRY

}  // namespace

JNIEXPORT const uint32_t* HOSTCALL JNI_GetEntryPoints() { return &kEntryPoints.magic; }

static jint RunModule(jint argument, const char* moduleName) {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  JNIHostModuleEntryFn entry = host != NULL && moduleName != NULL ? host->LoadCodeModule(moduleName) : NULL;
  return entry != NULL ? entry(argument) : -1;
}

JNIEXPORT jint HOSTCALL JNI_LoadLibrary(jint argument, const char* moduleName) {
  return RunModule(argument, moduleName);
}

/* The load and the module's whole entry run under the global mutex (recursive: an entry
   may call entries that take it). An entry that waits for another thread needing the
   mutex deadlocks; that is the host's to avoid. */
JNIEXPORT jint HOSTCALL JNI_LoadCompiled(jint argument, const char* moduleName) {
  if (VMUtils::GetHostFunctions() == NULL) return -1;
  VMUtils::GlobalMutexGuard guard;
  return RunModule(argument, moduleName);
}

/* Relocation. After moving memory of a machine's heap the host calls JNI_Relocate for
   every object head of that heap (a block that did not move may still name one that
   did), then JNI_RelocationDone once. It relocates only while no collection runs and
   while every thread of the machine is stopped outside the machine or at a poll of the
   interpreter (a backward branch or a call, as a suspension or a debugger pause leaves
   it); the name space's heap never moves. Each pointer word reaches the callback once. */
JNIEXPORT void HOSTCALL JNI_Relocate(void* object, void* context, JNIRelocateCallback callback) {
  if (object == NULL || callback == NULL) return;
  VMObject* o = (VMObject*)object;
  // Storage pieces and plain blocks are rewritten with the object or thread they serve.
  if (!VMUtils::ValidateTag(o->GetTag()) || !o->GetIsRootObject()) return;
  VMRelocateInfo info(callback, context);
  o->Relocate(&info);
}

JNIEXPORT void HOSTCALL JNI_RelocationDone(JavaVM* javaVM, void* context, JNIRelocateCallback callback) {
  if (javaVM == NULL || callback == NULL) return;
  VMRelocateInfo info(callback, context);
  info.Relocate((VMword*)&javaVM->vm);
  VM* vm = javaVM->vm;
  if (vm != NULL) vm->RelocateThreads(&info);
  if (vm != NULL) vm->RelocateFinalizables(&info);
  // The agent names frames by their place; detached agents name none.
  if (vm != NULL && vm->GetDebugger() != NULL) vm->GetDebugger()->RelocateFrames(&info);
  // Interpreter loops stopped at a poll find out that their registers are stale.
  VMFrame::CountRelocation();
}

JNIEXPORT jint HOSTCALL JNI_SetVMTraceFlag(jint) { return 1; }
