#include "vm.h"

#include <atomic>

#include "vmutils.h"

static std::atomic<uint32_t> garbageCollectRequests(0);

VM* VM::Current() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL) return NULL;
  void** env = reinterpret_cast<void**>(host->GetCurrentEnv());
  if (env == NULL) return NULL;
  void** javaVM = static_cast<void**>(env[1]);
  if (javaVM == NULL) return NULL;
  return static_cast<VM*>(javaVM[1]);
}

void VM::GarbageCollect(bool) {
  garbageCollectRequests.fetch_add(1);
}

uint32_t VM::GetGarbageCollectRequests() {
  return garbageCollectRequests.load();
}
