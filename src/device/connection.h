// Opening the link to the handset.
#pragma once

#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

inline constexpr std::uint32_t kConnectionWaitMilliseconds = 5000;

// Starts the remote API connection and waits up to 5 seconds for its event.
// Returns 0 connected (the event was signalled and the connection reports
// success), 1 the start was refused (nothing to end), 2 not up in time or
// failed while coming up (still to be ended with CeRapiUninit). The event
// handle belongs to the remote API and is not closed here.
int QelRapiInit(HostPlatform& host, DeviceLink& device);

}  // namespace qel
