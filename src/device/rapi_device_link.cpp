#include "device/rapi_device_link.h"

#include <algorithm>

namespace qel {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

LPCWSTR Wide(const char16_t* text) { return reinterpret_cast<LPCWSTR>(text); }

HANDLE ToWin32(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

// INVALID_HANDLE_VALUE is all ones, as kInvalidHandle is.
Handle FromWin32(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

// Looks name up in module; the detour through a plain function pointer type
// keeps the cast from FARPROC free of function-type warnings.
template <typename Proc>
bool Lookup(HMODULE module, const char* name, Proc& proc) {
  proc = reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
  return proc != nullptr;
}

}  // namespace

RapiDeviceLink::RapiDeviceLink()
    : module_(LoadLibraryExW(L"RAPI.dll", nullptr,
                             LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32)) {
  if (bound() && !Bind()) {
    procs_ = {};
    module_.reset();
  }
}

bool RapiDeviceLink::Bind() {
  HMODULE module = module_.get();
  return Lookup(module, "CeRapiInitEx", procs_.rapiInitEx) &&
         Lookup(module, "CeRapiUninit", procs_.rapiUninit) &&
         Lookup(module, "CeFindFirstFile", procs_.findFirstFile) &&
         Lookup(module, "CeFindClose", procs_.findClose) &&
         Lookup(module, "CeCreateDirectory", procs_.createDirectory) &&
         Lookup(module, "CeCreateFile", procs_.createFile) &&
         Lookup(module, "CeWriteFile", procs_.writeFile) &&
         Lookup(module, "CeCloseHandle", procs_.closeHandle) &&
         Lookup(module, "CeDeleteFile", procs_.deleteFile) &&
         Lookup(module, "CeCreateProcess", procs_.createProcess);
}

HResult RapiDeviceLink::CeRapiInitEx(Handle& event) {
  if (!bound()) return kEFail;
  init_ = RAPIINIT{};
  init_.cbSize = sizeof(RAPIINIT);
  const HRESULT result = procs_.rapiInitEx(&init_);
  event = FromWin32(init_.heRapiInit);
  return result;
}

HResult RapiDeviceLink::CeRapiInitResult() { return init_.hrRapiInit; }

HResult RapiDeviceLink::CeRapiUninit() {
  if (!bound()) return kEFail;
  return procs_.rapiUninit();
}

Handle RapiDeviceLink::CeFindFirstFile(const char16_t* path, DeviceFindData& data) {
  if (!bound()) return kInvalidHandle;
  CE_FIND_DATA found{};
  const HANDLE search = procs_.findFirstFile(Wide(path), &found);
  if (search == INVALID_HANDLE_VALUE) return kInvalidHandle;
  data.attributes = found.dwFileAttributes;
  data.size = (std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
  const auto nameEnd = std::find(found.cFileName, found.cFileName + kMaxPath - 1, L'\0');
  *std::transform(found.cFileName, nameEnd, data.name,
                  [](WCHAR c) { return static_cast<char16_t>(c); }) = u'\0';
  return FromWin32(search);
}

bool RapiDeviceLink::CeFindClose(Handle search) {
  return bound() && procs_.findClose(ToWin32(search));
}

bool RapiDeviceLink::CeCreateDirectory(const char16_t* path) {
  return bound() && procs_.createDirectory(Wide(path), nullptr);
}

Handle RapiDeviceLink::CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                                    std::uint32_t creation, std::uint32_t flagsAndAttributes) {
  if (!bound()) return kInvalidHandle;
  return FromWin32(procs_.createFile(Wide(path), access, share, nullptr, creation,
                                     flagsAndAttributes, nullptr));
}

bool RapiDeviceLink::CeWriteFile(Handle file, const void* buffer, std::uint32_t count,
                                 std::uint32_t* written) {
  DWORD done = 0;
  const bool ok = bound() && procs_.writeFile(ToWin32(file), buffer, count, &done, nullptr);
  if (written != nullptr) *written = done;
  return ok;
}

bool RapiDeviceLink::CeCloseHandle(Handle handle) {
  return bound() && procs_.closeHandle(ToWin32(handle));
}

bool RapiDeviceLink::CeDeleteFile(const char16_t* path) {
  return bound() && procs_.deleteFile(Wide(path));
}

bool RapiDeviceLink::CeCreateProcess(const char16_t* program, const char16_t* commandLine) {
  return bound() && procs_.createProcess(Wide(program), Wide(commandLine), nullptr, nullptr, FALSE,
                                         0, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace qel
