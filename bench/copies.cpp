#include "copies.h"

#include <windows.h>

#include <memory>
#include <stdexcept>
#include <type_traits>

#include "clock.h"
#include "device/rapi_device_link.h"
#include "device/transfer.h"

namespace qel::bench {

namespace {

struct CloseFile {
  void operator()(HANDLE file) const { CloseHandle(file); }
};
using File = std::unique_ptr<std::remove_pointer_t<HANDLE>, CloseFile>;

File Open(const std::filesystem::path& path, DWORD access, DWORD creation, DWORD attributes) {
  const HANDLE file = CreateFileW(path.c_str(), access, 0, nullptr, creation, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
  return File(file);
}

DWORD Read(HANDLE file, void* buffer) {
  DWORD read = 0;
  if (!ReadFile(file, buffer, kChunkBytes, &read, nullptr)) throw std::runtime_error("ReadFile failed");
  return read;
}

}  // namespace

double Win32ChunkedCopy(const std::filesystem::path& from, const std::filesystem::path& to) {
  static char buffer[kChunkBytes];
  const Stopwatch clock;
  {
    const File source = Open(from, GENERIC_READ, OPEN_EXISTING, 0);
    const File target = Open(to, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
    for (DWORD read; (read = Read(source.get(), buffer)) != 0;) {
      DWORD written = 0;
      if (!WriteFile(target.get(), buffer, read, &written, nullptr) || written != read) {
        throw std::runtime_error("WriteFile failed");
      }
    }
  }
  return clock.Seconds();
}

double LinkCopy(const std::filesystem::path& from, const char16_t* devicePath) {
  static char buffer[kChunkBytes];
  const Stopwatch clock;
  {
    RapiDeviceLink device;
    Handle event = 0;
    if (!Succeeded(device.CeRapiInitEx(event)) ||
        WaitForSingleObject(reinterpret_cast<HANDLE>(event), 5000) != WAIT_OBJECT_0 ||
        !Succeeded(device.CeRapiInitResult())) {
      throw std::runtime_error("the emulated handset did not connect");
    }
    {
      const File source = Open(from, GENERIC_READ, OPEN_EXISTING, 0);
      const DeviceFileHandle target(
          device, device.CeCreateFile(devicePath, kGenericWrite, 0, kCreateAlways, kFileAttributeHidden));
      if (!target.valid()) throw std::runtime_error("CeCreateFile failed");
      for (DWORD read; (read = Read(source.get(), buffer)) != 0;) {
        std::uint32_t written = 0;
        if (!device.CeWriteFile(target.get(), buffer, read, &written) || written != read) {
          throw std::runtime_error("CeWriteFile failed");
        }
      }
    }
    device.CeRapiUninit();
  }
  return clock.Seconds();
}

double ZeroTimeoutWait() {
  constexpr int kWaits = 10000;
  const File event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  if (!event) throw std::runtime_error("cannot make an event");
  const Stopwatch clock;
  for (int i = 0; i < kWaits; ++i) WaitForSingleObject(event.get(), 0);
  return clock.Seconds() / kWaits;
}

}  // namespace qel::bench
