// Making sure that the destination folder exists on the handset.
#pragma once

#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

// Returns 0 when path is a folder on the device afterwards (created, with
// its missing parents, where needed), 1 otherwise.
int QelCheckDirectory(HostPlatform& host, DeviceLink& device, const char16_t* path);

}  // namespace qel
