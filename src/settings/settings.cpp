#include "settings/settings.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "common/platform_types.h"
#include "common/wide_text.h"
#include "runlog/run_log.h"
#include "settings/temp_expansion.h"

namespace qel {

namespace {

constexpr char16_t kReadError[] = u"GetPrivateProfileString ERROR";
constexpr char16_t kSourceKey[] = u"src";

// The longest value that the run takes. The reader is given room for one
// character more, so that a longer value shows itself by filling that room
// instead of being cut short unnoticed.
constexpr std::size_t kMaxValueLength = 258;
constexpr std::uint32_t kReaderSize = kMaxValueLength + 2;  // with the terminator
using ValueBuffer = char16_t[kReaderSize];

// Reads one key into value. A missing, empty or over-long value is logged
// with the key's name and gives false.
bool ReadValue(HostPlatform& host, const char16_t* settingsPath, const char16_t* section, const char16_t* key,
               ValueBuffer& value) {
  std::fill(std::begin(value), std::end(value), u'\0');
  const std::uint32_t length = host.GetPrivateProfileStringW(section, key, value, kReaderSize, settingsPath);
  if (length == 0 || length > kMaxValueLength) {
    QelWriteLog(host, kReadError, key);
    return false;
  }
  return true;
}

// A setting that is delivered as read, after its case mapping.
struct PlainSetting {
  const char16_t* section;
  const char16_t* key;
  void (*mapCase)(char16_t*);
  char16_t* destination;
};

}  // namespace

int QelGetIniInfo(HostPlatform& host, char16_t* sourceFolder, char16_t* deviceFolder, char16_t* deviceProgram,
                  char16_t* option) {
  StageMarkers markers(host, u"QelGetIniInfo");
  char16_t settingsPath[kMaxPath];
  if (!QelModuleFilePath(kSettingsFileName, settingsPath)) {
    // Without a path there is no settings file to read: the first key fails.
    QelWriteLog(host, kReadError, kSourceKey);
    return 1;
  }

  ValueBuffer value;
  if (!ReadValue(host, settingsPath, u"Path", kSourceKey, value)) return 1;
  UpperCaseAscii(value);
  if (QelChangeEnv(host, value, sourceFolder) != 0) {
    QelWriteLog(host, u"QelChangeEnv ERROR", value);
    return 1;
  }

  const PlainSetting plainSettings[] = {
      {u"Path", u"dest", UpperCaseAscii, deviceFolder},
      {u"RemoteExe", u"fname", UpperCaseAscii, deviceProgram},
      {u"RemoteExe", u"option", LowerCaseAscii, option},
  };
  for (const PlainSetting& setting : plainSettings) {
    if (!ReadValue(host, settingsPath, setting.section, setting.key, value)) return 1;
    setting.mapCase(value);
    // At most kMaxValueLength characters and the terminator: fits every buffer.
    std::copy_n(value, WideLength(value) + 1, setting.destination);
  }
  return 0;
}

}  // namespace qel
