// The device boundary: the ten operations of the Windows CE remote API that
// the run uses. Stages reach the handset only through this interface. The
// Windows build passes RapiDeviceLink (RAPI.dll bound at run time); native
// tests pass a scriptable fake. Arguments that are always null or zero
// (security attributes, templates, overlapped records, the eight trailing
// arguments of CeCreateProcess) are fixed by the implementation.
#pragma once

#include <cstdint>

#include "common/platform_types.h"

namespace qel {

// The fields of CE_FIND_DATA that are of use.
struct DeviceFindData {
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  char16_t name[kMaxPath] = {};
};

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;

  // Starts the connection and hands out the event (heRapiInit) that is
  // signalled when the link is up. The remote API fills in the outcome
  // (hrRapiInit) only when it signals the event, after this call has
  // returned, so the record stays with the link until CeRapiUninit.
  virtual HResult CeRapiInitEx(Handle& event) = 0;
  // hrRapiInit of that record: the outcome of the connection, meaningful
  // once the event has been signalled.
  virtual HResult CeRapiInitResult() = 0;
  virtual HResult CeRapiUninit() = 0;
  virtual Handle CeFindFirstFile(const char16_t* path, DeviceFindData& data) = 0;
  virtual bool CeFindClose(Handle search) = 0;
  virtual bool CeCreateDirectory(const char16_t* path) = 0;
  virtual Handle CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                              std::uint32_t creation, std::uint32_t flagsAndAttributes) = 0;
  virtual bool CeWriteFile(Handle file, const void* buffer, std::uint32_t count,
                           std::uint32_t* written) = 0;
  virtual bool CeCloseHandle(Handle handle) = 0;
  virtual bool CeDeleteFile(const char16_t* path) = 0;
  virtual bool CeCreateProcess(const char16_t* program, const char16_t* commandLine) = 0;
};

}  // namespace qel
