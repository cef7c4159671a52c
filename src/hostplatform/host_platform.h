// The host boundary: every Win32 service of the desktop PC that the run uses.
// Stages reach the host only through this interface. The Windows build passes
// Win32HostPlatform; native tests pass a scriptable fake. Method names are
// those of the Win32 calls behind them; arguments that never vary are fixed
// by the implementation and left out here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/platform_types.h"

namespace qel {

struct LocalTime {
  std::uint16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// The fields of WIN32_FIND_DATAW that the stages read.
struct HostFindData {
  std::uint32_t attributes = 0;
  char16_t name[kMaxPath] = {};
};

// Result of an environment lookup: whether the variable exists, and the full
// length of its value (characters, without the terminator).
struct EnvironmentValue {
  bool found = false;
  std::size_t length = 0;
};

class HostPlatform {
 public:
  virtual ~HostPlatform() = default;

  // Full path of this library's own module file (GetModuleHandleExW with an
  // address inside the library, then GetModuleFileNameW), whatever the file's
  // name. Returns its length; 0 when it is unknown or does not fit in
  // capacity with its terminator, and the buffer is then left empty.
  virtual std::size_t GetModuleFileNameW(char16_t* buffer, std::size_t capacity) = 0;

  virtual LocalTime GetLocalTime() = 0;

  // Modal box without owner window; returns once it has been closed.
  virtual void MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style) = 0;

  // No default value. Returns the number of characters put into buffer
  // (at most size - 1, terminated); 0 when the file, section or key is missing
  // or the value is empty.
  virtual std::uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                                 char16_t* buffer, std::uint32_t size,
                                                 const char16_t* path) = 0;

  // A directory listing for a wildcard pattern. FindFirstFileW returns
  // kInvalidHandle when no listing starts; GetLastError then tells why.
  virtual Handle FindFirstFileW(const char16_t* pattern, HostFindData& data) = 0;
  virtual bool FindNextFileW(Handle search, HostFindData& data) = 0;
  virtual bool FindClose(Handle search) = 0;
  virtual std::uint32_t GetLastError() = 0;

  virtual bool DeleteFileW(const char16_t* path) = 0;

  // CreateFileW with no security attributes, attributes 0 and no template.
  virtual Handle CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                             std::uint32_t creation) = 0;
  // ReadFile without an overlapped record.
  virtual bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
  virtual bool CloseHandle(Handle handle) = 0;

  virtual std::uint32_t WaitForSingleObject(Handle event, std::uint32_t milliseconds) = 0;

  // Looks the variable up in the process environment as it is now. The value,
  // terminated, is put into buffer only when it fits with its terminator.
  virtual EnvironmentValue GetEnvironmentVariableW(const char16_t* name, char16_t* buffer,
                                                   std::size_t capacity) = 0;

  // Opens the file for appending (creating it), writes the bytes and closes
  // it again. False when it could not be opened or written.
  virtual bool AppendToFile(const char16_t* path, const char* bytes, std::size_t count) = 0;
};

}  // namespace qel
