#include "device/transfer.h"

#include <array>

#include "runlog/run_log.h"

namespace qel {

namespace {

// Streams the host file to the device file chunk by chunk until a read
// returns no byte. Logs the first failure and returns false on it.
bool CopyChunks(HostPlatform& host, DeviceLink& device, Handle hostFile, Handle deviceFile) {
  std::array<std::byte, kTransferChunkBytes> buffer;
  constexpr auto kChunk = static_cast<std::uint32_t>(kTransferChunkBytes);
  for (;;) {
    std::uint32_t read = 0;
    std::uint32_t written = 0;
    if (!host.ReadFile(hostFile, buffer.data(), kChunk, &read)) {
      QelWriteLog(host, u"ReadFile ERROR");
      return false;
    }
    if (read == 0) return true;
    if (!device.CeWriteFile(deviceFile, buffer.data(), read, &written)) {
      QelWriteLog(host, u"CeWriteFile ERROR");
      return false;
    }
    if (written != read) {
      QelWriteLog(host, u"CeWriteFile SIZE ERROR");
      return false;
    }
  }
}

}  // namespace

int QelTransUpdateFile(HostPlatform& host, DeviceLink& device, const char16_t* hostPath,
                       const char16_t* devicePath) {
  StageMarkers markers(host, u"QelTransUpdateFile");

  // Unshared, so that no other program changes the file while it is copied.
  HostFileHandle hostFile(host, host.CreateFileW(hostPath, kGenericRead, 0, kOpenExisting));
  if (!hostFile.valid()) {
    QelWriteLog(host, u"CreateFile ERROR", hostPath);
    return 1;
  }
  DeviceFileHandle deviceFile(
      device, device.CeCreateFile(devicePath, kGenericWrite, 0, kCreateAlways, kFileAttributeHidden));
  if (!deviceFile.valid()) {
    hostFile.reset();
    QelWriteLog(host, u"CeCreateFile ERROR", devicePath);
    return 1;
  }

  const bool copied = CopyChunks(host, device, hostFile.get(), deviceFile.get());
  // The device file is closed before the host file, and before a partial
  // copy is deleted; the outcome of closing and deleting is not looked at.
  deviceFile.reset();
  hostFile.reset();
  if (copied) return 0;
  device.CeDeleteFile(devicePath);
  return 1;
}

}  // namespace qel
