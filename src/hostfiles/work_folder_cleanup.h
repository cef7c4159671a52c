// Emptying the library's folder of its working files at the end of a run.
#pragma once

#include "hostplatform/host_platform.h"

namespace qel {

// Deletes every file in ModuleDir whose upper-cased extension is not ".LOG";
// subfolders are left alone. Returns 0 when the folder was walked (or is
// missing or empty), 1 when its listing failed to start for another reason
// or ModuleDir leaves no room for the listing pattern.
int QelDelete(HostPlatform& host);

}  // namespace qel
