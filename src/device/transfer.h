// Copying the update file to the handset as a hidden file.
#pragma once

#include <cstddef>

#include "common/unique_handle.h"
#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

inline constexpr std::size_t kTransferChunkBytes = 16384;

// An open file on the host, closed with CloseHandle.
using HostFileHandle = UniqueHandle<HostPlatform, &HostPlatform::CloseHandle>;
// An open file on the device, closed with CeCloseHandle.
using DeviceFileHandle = UniqueHandle<DeviceLink, &DeviceLink::CeCloseHandle>;

// Copies hostPath to devicePath byte for byte through one 16384-byte buffer,
// one remote write per chunk, replacing any file there with a hidden one.
// Returns 0 when the whole file was copied; 1 otherwise. A copy that fails
// after the device file was created is closed and deleted from the device;
// when the host file cannot be opened or the device file cannot be created,
// nothing on the device is touched.
int QelTransUpdateFile(HostPlatform& host, DeviceLink& device, const char16_t* hostPath,
                       const char16_t* devicePath);

}  // namespace qel
