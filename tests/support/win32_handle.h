// A Win32 handle that a test program opened itself, closed at the end of its
// scope. Holds a valid handle, or none (null or INVALID_HANDLE_VALUE).
#pragma once

#include <windows.h>

namespace qel::testing {

class Win32Handle {
 public:
  explicit Win32Handle(HANDLE handle = nullptr) : handle_(handle) {}
  ~Win32Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  Win32Handle(const Win32Handle&) = delete;
  Win32Handle& operator=(const Win32Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

}  // namespace qel::testing
