#include "vmthread.h"

#include "vmutils.h"

VMThread* VMThread::Current() {
  JNIHostFunctions* host = VMUtils::GetHostFunctions();
  if (host == NULL) return NULL;
  void** env = reinterpret_cast<void**>(host->GetCurrentEnv());
  if (env == NULL) return NULL;
  return static_cast<VMThread*>(env[2]);
}
