#include "hostplatform/win32_host_platform.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "common/unique_handle.h"

namespace qel {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* Wide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

Handle ToHandle(HANDLE handle) { return reinterpret_cast<Handle>(handle); }
HANDLE ToNative(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

// Buffer sizes beyond what a DWORD counts are offered as the largest it can.
DWORD ToDword(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, MAXDWORD));
}

void Fill(HostFindData& data, const WIN32_FIND_DATAW& found) {
  static_assert(sizeof data.name == sizeof found.cFileName);
  data.attributes = found.dwFileAttributes;
  std::memcpy(data.name, found.cFileName, sizeof data.name);
}

// An object of this file: its address lies inside the module (program or
// library) that this code was linked into.
const char kModuleAnchor = 0;

using OwnedHandle = UniqueHandle<Win32HostPlatform, &Win32HostPlatform::CloseHandle>;

}  // namespace

std::size_t Win32HostPlatform::GetModuleFileNameW(char16_t* buffer, std::size_t capacity) {
  if (capacity == 0) return 0;
  buffer[0] = u'\0';
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module)) {
    return 0;
  }
  // A path that does not fit comes back truncated with the full size as
  // result: it is of no use, so the buffer is emptied again.
  const DWORD size = ToDword(capacity);
  const DWORD length = ::GetModuleFileNameW(module, Wide(buffer), size);
  if (length == 0 || length >= size) {
    buffer[0] = u'\0';
    return 0;
  }
  return length;
}

LocalTime Win32HostPlatform::GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void Win32HostPlatform::MessageBoxW(const char16_t* text, const char16_t* caption,
                                    std::uint32_t style) {
  ::MessageBoxW(nullptr, Wide(text), Wide(caption), style);
}

std::uint32_t Win32HostPlatform::GetPrivateProfileStringW(const char16_t* section,
                                                          const char16_t* key, char16_t* buffer,
                                                          std::uint32_t size,
                                                          const char16_t* path) {
  return ::GetPrivateProfileStringW(Wide(section), Wide(key), nullptr, Wide(buffer), size,
                                    Wide(path));
}

Handle Win32HostPlatform::FindFirstFileW(const char16_t* pattern, HostFindData& data) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(Wide(pattern), &found);
  if (search == INVALID_HANDLE_VALUE) return kInvalidHandle;  // last error kept for the caller
  Fill(data, found);
  return ToHandle(search);
}

bool Win32HostPlatform::FindNextFileW(Handle search, HostFindData& data) {
  WIN32_FIND_DATAW found{};
  if (!::FindNextFileW(ToNative(search), &found)) return false;
  Fill(data, found);
  return true;
}

bool Win32HostPlatform::FindClose(Handle search) { return ::FindClose(ToNative(search)) != FALSE; }

std::uint32_t Win32HostPlatform::GetLastError() { return ::GetLastError(); }

bool Win32HostPlatform::DeleteFileW(const char16_t* path) {
  return ::DeleteFileW(Wide(path)) != FALSE;
}

Handle Win32HostPlatform::CreateFileW(const char16_t* path, std::uint32_t access,
                                      std::uint32_t share, std::uint32_t creation) {
  return ToHandle(::CreateFileW(Wide(path), access, share, nullptr, creation, 0, nullptr));
}

bool Win32HostPlatform::ReadFile(Handle file, void* buffer, std::uint32_t size,
                                 std::uint32_t* read) {
  DWORD count = 0;
  const bool ok = ::ReadFile(ToNative(file), buffer, size, &count, nullptr) != FALSE;
  *read = count;
  return ok;
}

bool Win32HostPlatform::CloseHandle(Handle handle) {
  return ::CloseHandle(ToNative(handle)) != FALSE;
}

std::uint32_t Win32HostPlatform::WaitForSingleObject(Handle event, std::uint32_t milliseconds) {
  return ::WaitForSingleObject(ToNative(event), milliseconds);
}

EnvironmentValue Win32HostPlatform::GetEnvironmentVariableW(const char16_t* name, char16_t* buffer,
                                                            std::size_t capacity) {
  // The result is the length when the value fits, the size needed with the
  // terminator when it does not, and 0 both for a missing variable and for
  // an empty one: only the last error tells those two apart.
  const DWORD size = ToDword(capacity);
  ::SetLastError(ERROR_SUCCESS);
  const DWORD result = ::GetEnvironmentVariableW(Wide(name), Wide(buffer), size);
  if (result == 0) return {::GetLastError() != ERROR_ENVVAR_NOT_FOUND, 0};
  return {true, result < size ? result : result - 1};
}

bool Win32HostPlatform::AppendToFile(const char16_t* path, const char* bytes, std::size_t count) {
  if (count > MAXDWORD) return false;
  const OwnedHandle file(
      *this,
      ToHandle(::CreateFileW(Wide(path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file.valid()) return false;
  DWORD written = 0;
  return ::WriteFile(ToNative(file.get()), bytes, static_cast<DWORD>(count), &written, nullptr) &&
         written == count;
}

}  // namespace qel
