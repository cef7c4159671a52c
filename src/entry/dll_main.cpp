// The library's only export. A host program loads qelmoset.dll and calls
// QelDllEntry once per update; the call returns when the run is over.
#include <windows.h>

#include "qelmoset.h"

#include "device/rapi_device_link.h"
#include "entry/run.h"
#include "hostplatform/win32_host_platform.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// The argument is never read. Returns 0 when the device program was started,
// 1 on any failure. Defined with the public header's declaration in sight,
// so that the two cannot differ.
int WINAPI QelDllEntry(int) {
  try {
    qel::Win32HostPlatform host;
    qel::RapiDeviceLink device;
    return qel::QelRunUpdate(host, device);
  } catch (...) {
    // Out of memory is the only source of an exception; none may cross into
    // the host program, whatever language it is written in.
    return 1;
  }
}
