// Copying the update file to the handset as a hidden file.
#pragma once

#include <cstddef>

#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

inline constexpr std::size_t kTransferChunkBytes = 16384;

// Copies hostPath to devicePath byte for byte, replacing any file there.
// Returns 0 when the whole file was copied; 1 otherwise, and a partial copy
// is then deleted from the device.
int QelTransUpdateFile(HostPlatform& host, DeviceLink& device, const char16_t* hostPath,
                       const char16_t* devicePath);

}  // namespace qel
