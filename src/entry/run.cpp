#include "entry/run.h"

#include "common/wide_text.h"
#include "device/connection.h"
#include "device/directory_assurance.h"
#include "device/transfer.h"
#include "hostfiles/update_file_search.h"
#include "hostfiles/work_folder_cleanup.h"
#include "runlog/run_log.h"
#include "settings/settings.h"

namespace qel {

namespace {

// The run's own buffers. The settings values are read into the first four;
// the local path, the device path and the command line are later formed in
// the buffer of the value they begin with.
struct RunBuffers {
  char16_t sourceFolder[kMaxPath] = {};
  char16_t deviceFolder[kMaxPath] = {};
  char16_t deviceProgram[kMaxPath] = {};
  char16_t option[kOptionCapacity] = {};
  char16_t updateFileName[kMaxPath] = {};
};

// Longest local path and device path (with its separator, counted even when
// it is left out), and longest command line, in characters.
constexpr std::size_t kMaxFilePath = 258;
constexpr std::size_t kMaxCommandLine = 269;

// Everything between the connection and its end. Returns the notice that
// ends the run, or nullptr when the device program was started.
const char16_t* UpdateDevice(HostPlatform& host, DeviceLink& device, RunBuffers& run) {
  if (QelGetIniInfo(host, run.sourceFolder, run.deviceFolder, run.deviceProgram, run.option) != 0) {
    return kNoticeSettingsFailed;
  }
  if (QelFindFile(host, run.sourceFolder, run.updateFileName) != 0) return kNoticeNoSourceFile;
  if (QelCheckDirectory(host, device, run.deviceFolder) != 0) return kNoticeTransferFailed;

  const std::size_t nameLength = WideLength(run.updateFileName);
  if (WideLength(run.sourceFolder) + 1 + nameLength > kMaxFilePath ||
      WideLength(run.deviceFolder) + 1 + nameLength > kMaxFilePath) {
    return kNoticeTransferFailed;
  }
  AppendText(run.sourceFolder, kMaxPath, u"\\");
  AppendText(run.sourceFolder, kMaxPath, run.updateFileName);
  // A one-character device folder is the root "\": the name follows directly.
  if (WideLength(run.deviceFolder) >= 2) AppendText(run.deviceFolder, kMaxPath, u"\\");
  AppendText(run.deviceFolder, kMaxPath, run.updateFileName);
  if (QelTransUpdateFile(host, device, run.sourceFolder, run.deviceFolder) != 0) {
    return kNoticeTransferFailed;
  }

  if (WideLength(run.option) + 1 + WideLength(run.deviceFolder) > kMaxCommandLine) return kNoticeRunFailed;
  AppendText(run.option, kOptionCapacity, u" ");
  AppendText(run.option, kOptionCapacity, run.deviceFolder);
  if (!device.CeCreateProcess(run.deviceProgram, run.option)) return kNoticeRunFailed;
  return nullptr;
}

}  // namespace

int QelRunUpdate(HostPlatform& host, DeviceLink& device) {
  RunBuffers run;
  QelGetModuleDir(host);
  if (ModuleDir[0] == u'\0') {
    // Without the library's own folder there is no settings file to read, no
    // log to write and no working folder to clean: touch no file at all.
    QelErrorMessage(host, kNoticeSettingsFailed);
    return 1;
  }

  const StageMarkers markers(host, u"QelDllEntry");
  const int connection = QelRapiInit(host, device);
  if (connection == 1) {
    QelErrorMessage(host, kNoticeRapiCallFailed);
    QelDelete(host);
    return 1;
  }
  const char16_t* notice = connection == 2 ? kNoticeConnectionFailed : UpdateDevice(host, device, run);
  if (notice != nullptr) QelErrorMessage(host, notice);
  device.CeRapiUninit();
  QelDelete(host);
  return notice == nullptr ? 0 : 1;
}

}  // namespace qel
