#include "device/connection.h"

#include "runlog/run_log.h"

namespace qel {

int QelRapiInit(HostPlatform& host, DeviceLink& device) {
  StageMarkers markers(host, u"QelRapiInit");
  Handle event = 0;
  if (!Succeeded(device.CeRapiInitEx(event))) {
    QelWriteLog(host, u"CeRapiInitEx START ERROR");
    return 1;
  }
  // The record's result is only meaningful once the event has been
  // signalled; a failed wait or a failed connection is no connection.
  const std::uint32_t wait = host.WaitForSingleObject(event, kConnectionWaitMilliseconds);
  if (wait != kWaitObject0 || !Succeeded(device.CeRapiInitResult())) {
    QelWriteLog(host, u"CeRapiInitEx END ERROR");
    return 2;
  }
  return 0;
}

}  // namespace qel
