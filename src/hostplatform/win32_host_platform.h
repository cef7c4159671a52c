// The host boundary on Windows: each method is the Win32 call of its name,
// with the arguments that never vary fixed here. Strings cross as UTF-16;
// handles cross as the opaque Handle of the interface.
#pragma once

#include "hostplatform/host_platform.h"

namespace qel {

class Win32HostPlatform final : public HostPlatform {
 public:
  std::size_t GetModuleFileNameW(char16_t* buffer, std::size_t capacity) override;
  LocalTime GetLocalTime() override;
  void MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style) override;
  std::uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                         char16_t* buffer, std::uint32_t size,
                                         const char16_t* path) override;
  Handle FindFirstFileW(const char16_t* pattern, HostFindData& data) override;
  bool FindNextFileW(Handle search, HostFindData& data) override;
  bool FindClose(Handle search) override;
  std::uint32_t GetLastError() override;
  bool DeleteFileW(const char16_t* path) override;
  Handle CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t creation) override;
  bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) override;
  bool CloseHandle(Handle handle) override;
  std::uint32_t WaitForSingleObject(Handle event, std::uint32_t milliseconds) override;
  EnvironmentValue GetEnvironmentVariableW(const char16_t* name, char16_t* buffer,
                                           std::size_t capacity) override;
  bool AppendToFile(const char16_t* path, const char* bytes, std::size_t count) override;
};

}  // namespace qel
