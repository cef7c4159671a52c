// What the settings step and its TEMP expansion must deliver for given
// settings values and a given TEMP value, worked out from the stated rules
// alone, for the targets to compare with what the stages did.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostplatform/host_platform.h"

namespace qel::fuzz {

// The outcome of expanding one source folder value.
struct ExpectedExpansion {
  int result = 0;
  std::u16string folder;  // meaningful on result 0 only
  // The texts logged between the stage's START and END markers.
  std::vector<std::string> lines;
};

// temp is the value of the environment variable TEMP, or none.
ExpectedExpansion ExpectExpansion(std::u16string_view input, const std::optional<std::u16string>& temp);

// The four keys in the order in which they are read.
inline constexpr std::size_t kKeyCount = 4;
struct SettingsKey {
  const char16_t* section;
  const char16_t* key;
};
inline constexpr std::array<SettingsKey, kKeyCount> kSettingsKeys{{
    {u"Path", u"src"},
    {u"Path", u"dest"},
    {u"RemoteExe", u"fname"},
    {u"RemoteExe", u"option"},
}};

// The outcome of the settings step.
struct ExpectedSettings {
  int result = 0;
  std::size_t keysRead = 0;  // the step reads the keys up to the first failure
  // src (expanded), dest, fname, option, as delivered; on result 1 only the
  // values before the failing key are meaningful.
  std::array<std::u16string, kKeyCount> values;
  // The texts logged between the START and END markers of QelGetIniInfo,
  // the markers and lines of the TEMP expansion included.
  std::vector<std::string> lines;
};

// rawValues are the full values of the four keys as the settings file holds
// them (empty for a missing key), before any case mapping.
ExpectedSettings ExpectSettings(const std::array<std::u16string, kKeyCount>& rawValues,
                                const std::optional<std::u16string>& temp);

// The full values of the four keys as the host's reader finds them in the
// settings file at path, however long; empty when missing.
std::array<std::u16string, kKeyCount> ReadRawValues(HostPlatform& host, const char16_t* path);

}  // namespace qel::fuzz
