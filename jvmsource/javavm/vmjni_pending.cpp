/* Stand-ins for the env functions that are not built yet: the serialization interface.
   Each makes InternalError "nyi: <name>" pending and returns 0, so the table never holds
   a null slot.

   To build one: define the function of the same name (declared in vmjni_functions.h)
   in a file of its own and delete its line here. */
#include "vmjni_functions.h"

#include "vmjni.h"
#include "vmobject.h"

/* The serialization interface. */
namespace JNIEnvExtension {
void* CreateSerializationInterface(JNIEnv* env, struct JNIHostSerializationSupport*) { VMJniNotImplemented(env, "nyi: CreateSerializationInterface"); return NULL; }
void DestroySerializationInterface(JNIEnv* env, void*) { VMJniNotImplemented(env, "nyi: DestroySerializationInterface"); }
jstring GetSerializationSignature(JNIEnv* env, jclass) { VMJniNotImplemented(env, "nyi: GetSerializationSignature"); return NULL; }
}  // namespace JNIEnvExtension
