// Opening the link to the handset.
#pragma once

#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

inline constexpr std::uint32_t kConnectionWaitMilliseconds = 5000;

// Starts the remote API connection and waits for it. Returns 0 connected,
// 1 the start was refused (nothing to end), 2 not up in time (still to be
// ended with CeRapiUninit).
int QelRapiInit(HostPlatform& host, DeviceLink& device);

}  // namespace qel
