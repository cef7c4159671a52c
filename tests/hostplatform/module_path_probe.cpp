// A library that reports its own module path through the host boundary, so
// that a test can load it under any file name and compare.
#include <cstddef>

#include "hostplatform/win32_host_platform.h"

extern "C" __declspec(dllexport) std::size_t
    ProbeModuleFileName(char16_t* buffer, std::size_t capacity) {
  qel::Win32HostPlatform host;
  return host.GetModuleFileNameW(buffer, capacity);
}
