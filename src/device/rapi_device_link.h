// DeviceLink over the desktop's remote API. RAPI.dll is bound when the object
// is constructed: loaded from the host program's own folder or the system
// folder (never the current folder), then all ten names are looked up. When
// the library or any name is missing nothing is bound, and every operation
// fails without calling anything: CeRapiInitEx returns E_FAIL, which the
// caller reads as a refused start. The library is freed with the object.
#pragma once

#include <memory>
#include <type_traits>

#include "device/device_link.h"
#include "device/rapi.h"

namespace qel {

class RapiDeviceLink : public DeviceLink {
 public:
  RapiDeviceLink();

  HResult CeRapiInitEx(Handle& event) override;
  HResult CeRapiInitResult() override;
  HResult CeRapiUninit() override;
  Handle CeFindFirstFile(const char16_t* path, DeviceFindData& data) override;
  bool CeFindClose(Handle search) override;
  bool CeCreateDirectory(const char16_t* path) override;
  Handle CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                      std::uint32_t creation, std::uint32_t flagsAndAttributes) override;
  bool CeWriteFile(Handle file, const void* buffer, std::uint32_t count,
                   std::uint32_t* written) override;
  bool CeCloseHandle(Handle handle) override;
  bool CeDeleteFile(const char16_t* path) override;
  bool CeCreateProcess(const char16_t* program, const char16_t* commandLine) override;

 private:
  struct FreeModule {
    void operator()(HMODULE module) const { FreeLibrary(module); }
  };
  struct Procs {
    CeRapiInitExProc rapiInitEx = nullptr;
    CeRapiUninitProc rapiUninit = nullptr;
    CeFindFirstFileProc findFirstFile = nullptr;
    CeFindCloseProc findClose = nullptr;
    CeCreateDirectoryProc createDirectory = nullptr;
    CeCreateFileProc createFile = nullptr;
    CeWriteFileProc writeFile = nullptr;
    CeCloseHandleProc closeHandle = nullptr;
    CeDeleteFileProc deleteFile = nullptr;
    CeCreateProcessProc createProcess = nullptr;
  };

  bool Bind();
  bool bound() const { return module_ != nullptr; }

  std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeModule> module_;
  Procs procs_;
  // The record of the connection; the remote API writes its outcome into it
  // when the connection comes up, so it lives as long as the link.
  RAPIINIT init_{};
};

}  // namespace qel
