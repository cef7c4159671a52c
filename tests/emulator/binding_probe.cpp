// Starts a connection through RapiDeviceLink from wherever this program was
// copied to, so that a test can see which RAPI.dll the binding finds. Exit
// code 0 when CeRapiInitEx succeeded, 1 when it did not.
#include "device/rapi_device_link.h"

int main() {
  qel::RapiDeviceLink link;
  qel::Handle event = 0;
  if (!qel::Succeeded(link.CeRapiInitEx(event))) return 1;
  link.CeRapiUninit();
  return 0;
}
