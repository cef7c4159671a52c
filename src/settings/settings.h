// Reading the four settings of a run from "qelmoset.ini" beside the library.
#pragma once

#include <cstddef>

#include "hostplatform/host_platform.h"

namespace qel {

// Capacity of the option buffer, which later holds the device command line.
inline constexpr std::size_t kOptionCapacity = 270;

// Fills the four zero-filled buffers of UpdateSettings (kMaxPath, kMaxPath,
// kMaxPath and kOptionCapacity characters): src upper-cased with its %TEMP%
// reference expanded, dest and fname upper-cased, option lower-cased.
// Returns 0 when all four hold a value, 1 on the first failure: no settings
// path, a value missing, empty or longer than 258 characters, or a src value
// that cannot be expanded. Keys after a failure are not read.
int QelGetIniInfo(HostPlatform& host, char16_t* sourceFolder, char16_t* deviceFolder,
                  char16_t* deviceProgram, char16_t* option);

}  // namespace qel
