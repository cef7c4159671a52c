// Expansion of the one %TEMP% reference in the source folder setting.
#pragma once

#include "hostplatform/host_platform.h"

namespace qel {

// Expands the first %TEMP% reference of input into result (kMaxPath
// characters, zero-filled on entry). Returns 0 with the finished folder in
// result, 1 when the input cannot be expanded: its first percent sign is not
// followed by "TEMP", TEMP is not set, or input and value are too long.
int QelChangeEnv(HostPlatform& host, const char16_t* input, char16_t* result);

}  // namespace qel
