/* What the unit-test fixtures share when they set up the library: the binding to the
   reference host, and the well-known names of a name space's start-up. Header-only, so
   that the class world (used by the parser benchmark and the fuzz driver too) can take it. */
#ifndef PUX_TESTS_TEST_HOST_H
#define PUX_TESTS_TEST_HOST_H

#include "refhost.h"
#include "vmutils.h"

namespace test_host {

/* Binds the library to the reference host's table, which it returns. */
inline JNIHostFunctions* BindReferenceHost() {
  JNIHostFunctions* host = refhost::Functions();
  VMUtils::Init(host);
  VMUtils::SetHostFunctions(host);
  return host;
}

/* The names of the name space's literal table, in its order. */
const int kWellKnownNameCount = 18;
const char* const kWellKnownNames[kWellKnownNameCount] = {
    "()V", "", "<init>", "<clinit>", "finalize", "run", "java/lang/Boolean",
    "java/lang/Character", "java/lang/Float", "java/lang/Double", "java/lang/Byte",
    "java/lang/Short", "java/lang/Integer", "java/lang/Long", "java/lang/Object",
    "java/lang/String", "java/lang/System", "initializeSystemClass"};

}  // namespace test_host

#endif
