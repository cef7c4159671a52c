// Owners of the Win32 handles that the emulator holds.
#pragma once

#include <windows.h>

#include <memory>

namespace qel::emulator {

struct CloseKernelHandle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
struct CloseSearch {
  void operator()(HANDLE search) const { FindClose(search); }
};

// Files, events and timers. Holds a valid handle or none.
using UniqueHandle = std::unique_ptr<void, CloseKernelHandle>;
using UniqueSearch = std::unique_ptr<void, CloseSearch>;

// Owns what CreateFileW returned, or nothing when that was INVALID_HANDLE_VALUE.
inline UniqueHandle OwnFile(HANDLE file) {
  return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace qel::emulator
