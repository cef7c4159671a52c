// Making sure that the destination folder exists on the handset.
#pragma once

#include "common/unique_handle.h"
#include "device/device_link.h"
#include "hostplatform/host_platform.h"

namespace qel {

// A search on the device, closed with CeFindClose.
using DeviceSearch = UniqueHandle<DeviceLink, &DeviceLink::CeFindClose>;

// Returns 0 when path is a folder on the device afterwards (created, with
// its missing parents, where needed), 1 otherwise. path holds at most
// kMaxPath - 1 characters. A folder that cannot be created is retried after
// its parent (the path before its last backslash, ignoring a backslash in
// the first place) has been assured; a folder without a parent fails there.
// Nothing that already exists on the device is changed.
int QelCheckDirectory(HostPlatform& host, DeviceLink& device, const char16_t* path);

}  // namespace qel
