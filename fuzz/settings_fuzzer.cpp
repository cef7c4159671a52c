// Fuzzes the settings step with any settings file text and any TEMP value,
// or none, read through the fake host's INI reader.
//
// Input: the first line sets TEMP when it begins with '=' (the rest of the
// line, decoded by DecodeText, is the value); otherwise TEMP is not set.
// Every byte after that line is the settings file, as the reader gets it.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/platform_types.h"
#include "common/wide_text.h"
#include "expected_settings.h"
#include "fakes/call_journal.h"
#include "fakes/fake_host_platform.h"
#include "fuzz_support.h"
#include "runlog/run_log.h"
#include "settings/settings.h"

namespace qel::fuzz {
namespace {

constexpr std::size_t kMaxTemp = 300;
constexpr char16_t kSettingsPath[] = u"C:\\WORK\\qelmoset.ini";
// The capacities of the four buffers of UpdateSettings.
constexpr std::array<std::size_t, kKeyCount> kCapacities{kMaxPath, kMaxPath, kMaxPath, kOptionCapacity};

// The fake's reader held to what the step relies on: the count it returns is
// the length of the terminated value that it put into the buffer. (The fake
// itself counts a NUL character of the file as part of a value.)
class ProfileHost : public fakes::FakeHostPlatform {
 public:
  using FakeHostPlatform::FakeHostPlatform;

  std::uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key, char16_t* buffer,
                                         std::uint32_t size, const char16_t* path) override {
    FakeHostPlatform::GetPrivateProfileStringW(section, key, buffer, size, path);
    return static_cast<std::uint32_t>(WideLength(buffer));
  }
};

bool HasAnyOf(const std::u16string& text, char16_t first, char16_t last) {
  return std::any_of(text.begin(), text.end(), [&](char16_t c) { return c >= first && c <= last; });
}

std::string ReaderCall(const SettingsKey& key) {
  return "GetPrivateProfileStringW " + Utf8(key.section) + " " + Utf8(key.key) + " " + Utf8(kSettingsPath);
}

void CheckCase(const std::optional<std::u16string>& temp, std::string_view settingsFile) {
  fakes::CallJournal journal;
  ProfileHost host(journal);
  if (temp) host.environment[u"TEMP"] = *temp;
  host.AddFolder(u"C:\\WORK");
  host.AddFile(kSettingsPath, std::string(settingsFile));

  const std::array<std::u16string, kKeyCount> rawValues = ReadRawValues(host, kSettingsPath);
  const ExpectedSettings expected = ExpectSettings(rawValues, temp);
  journal.Clear();

  std::array<std::unique_ptr<char16_t[]>, kKeyCount> buffers;
  for (std::size_t i = 0; i < kKeyCount; ++i) buffers[i] = ZeroFilled(kCapacities[i]);
  const int result = QelGetIniInfo(host, buffers[0].get(), buffers[1].get(), buffers[2].get(), buffers[3].get());

  std::array<std::u16string, kKeyCount> values;
  for (std::size_t i = 0; i < kKeyCount; ++i) values[i] = TextIn(buffers[i].get(), kCapacities[i]);
  QEL_FUZZ_CHECK(result == expected.result);
  if (result == 0) {
    for (const std::u16string& value : values) QEL_FUZZ_CHECK(!value.empty());
    // The source folder keeps the case of an inserted TEMP value only.
    const std::size_t percent = rawValues[0].find(u'%');
    std::u16string sourceOutsideTemp = values[0];
    if (percent != std::u16string::npos) sourceOutsideTemp.erase(percent, temp->size());
    QEL_FUZZ_CHECK(!HasAnyOf(sourceOutsideTemp, u'a', u'z'));
    for (std::size_t i = 1; i + 1 < kKeyCount; ++i) QEL_FUZZ_CHECK(!HasAnyOf(values[i], u'a', u'z'));
    QEL_FUZZ_CHECK(!HasAnyOf(values[3], u'A', u'Z'));
  }
  // Values before the failing key are delivered; the buffers of the keys
  // after it (and of a failing plain key) are left untouched.
  const std::size_t delivered = result == 0 ? kKeyCount : expected.keysRead - 1;
  for (std::size_t i = 0; i < kKeyCount; ++i) {
    if (i < delivered) {
      QEL_FUZZ_CHECK(values[i] == expected.values[i], "key " + Utf8(kSettingsKeys[i].key) + ": " +
                                                          Utf8(values[i]) + " expected " + Utf8(expected.values[i]));
    } else if (i > 0) {
      QEL_FUZZ_CHECK(values[i].empty(), "key " + Utf8(kSettingsKeys[i].key) + " written after a failure");
    }
  }

  // The keys are read in their fixed order, up to the first failure.
  std::vector<std::string> expectedCalls;
  for (std::size_t i = 0; i < expected.keysRead; ++i) expectedCalls.push_back(ReaderCall(kSettingsKeys[i]));
  QEL_FUZZ_CHECK(journal.Matching("GetPrivateProfileStringW") == expectedCalls);

  std::vector<std::string> expectedLog{StartMarker("QelGetIniInfo")};
  expectedLog.insert(expectedLog.end(), expected.lines.begin(), expected.lines.end());
  expectedLog.push_back(EndMarker("QelGetIniInfo"));
  QEL_FUZZ_CHECK(LogTexts(host) == expectedLog);
  QEL_FUZZ_CHECK(host.openHandles() == 0);
}

}  // namespace
}  // namespace qel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qel::fuzz;
  SetModuleDir(u"C:\\WORK\\");
  FuzzInput input(data, size);
  const std::string_view tempLine = input.NextLine();
  std::optional<std::u16string> temp;
  if (tempLine.starts_with('=')) temp = DecodeText(tempLine.substr(1), kMaxTemp);
  CheckCase(temp, input.Rest());
  return 0;
}
