// Finding the update file: the first "*.qel" file in the source folder.
#pragma once

#include "hostplatform/host_platform.h"

namespace qel {

// Puts the bare name of the first file matching "*.qel" in sourceFolder into
// updateFileName (kMaxPath characters, zero-filled on entry). Returns 0 when
// a file was found, 1 otherwise.
int QelFindFile(HostPlatform& host, const char16_t* sourceFolder, char16_t* updateFileName);

}  // namespace qel
