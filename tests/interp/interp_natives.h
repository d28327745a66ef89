/* The test natives of interp/Natives. */
#ifndef PUX_TESTS_INTERP_NATIVES_H
#define PUX_TESTS_INTERP_NATIVES_H

#include <vector>

#include "interp_support.h"

namespace interp_test {

/* The world the natives look methods up in. */
extern World* nativesWorld;
/* What the last walk of interp/Walk.probe met, and its status. */
extern std::vector<VMword> walked;
extern VMStatus walkStatus;
/* Registers the table of interp/Natives (process-wide); JNI_RegisterNative's answer. */
int RegisterTestNatives();

}  // namespace interp_test

#endif
