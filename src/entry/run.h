// One complete update run, as QelDllEntry carries it out.
#pragma once

#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

// Returns 0 when the update file was copied and the device program started,
// 1 on any failure (after its notice was shown and closed).
int QelRunUpdate(HostPlatform& host, DeviceLink& device);

}  // namespace qel
