#include "expected_settings.h"

#include <algorithm>
#include <vector>

#include "common/platform_types.h"
#include "fuzz_support.h"

namespace qel::fuzz {

namespace {

constexpr std::u16string_view kVariableName = u"TEMP";
constexpr std::size_t kReferenceLength = 6;  // "%TEMP" and one closing character
constexpr std::size_t kLengthBudget = 256;   // the result buffer less the name
constexpr std::size_t kMaxValueLength = 258;

// Only the 26 ASCII letters change case.
std::u16string MapCase(std::u16string text, bool upper) {
  const char16_t from = upper ? u'a' : u'A';
  const char16_t to = upper ? u'A' : u'a';
  for (char16_t& c : text) {
    if (c >= from && c <= from + 25) c = static_cast<char16_t>(c - from + to);
  }
  return text;
}

ExpectedExpansion Failure(std::string line) { return {1, {}, {std::move(line)}}; }

}  // namespace

ExpectedExpansion ExpectExpansion(std::u16string_view input, const std::optional<std::u16string>& temp) {
  const std::size_t percent = input.find(u'%');
  if (percent == std::u16string_view::npos) {
    // The result is the input itself, which must fit the buffer.
    if (input.size() >= kMaxPath) return Failure("Length Over");
    return {0, std::u16string(input), {"NO Env"}};
  }
  if (input.substr(percent + 1, kVariableName.size()) != kVariableName) return Failure("Env ERROR");
  if (!temp) return Failure("GetEnvironmentVariable ERROR");
  if (input.size() + temp->size() >= kLengthBudget) return Failure("Length Over");
  std::u16string folder(input.substr(0, percent));
  folder += *temp;
  folder += input.substr(std::min(percent + kReferenceLength, input.size()));
  return {0, std::move(folder), {}};
}

ExpectedSettings ExpectSettings(const std::array<std::u16string, kKeyCount>& rawValues,
                                const std::optional<std::u16string>& temp) {
  ExpectedSettings out;
  for (std::size_t i = 0; i < kKeyCount; ++i) {
    out.keysRead = i + 1;
    const std::u16string& raw = rawValues[i];
    if (raw.empty() || raw.size() > kMaxValueLength) {
      out.lines.push_back("GetPrivateProfileString ERROR (" + Utf8(kSettingsKeys[i].key) + ")");
      out.result = 1;
      return out;
    }
    const bool isOption = i == kKeyCount - 1;
    std::u16string value = MapCase(raw, !isOption);
    if (i == 0) {
      const ExpectedExpansion expansion = ExpectExpansion(value, temp);
      out.lines.push_back(StartMarker("QelChangeEnv"));
      out.lines.insert(out.lines.end(), expansion.lines.begin(), expansion.lines.end());
      out.lines.push_back(EndMarker("QelChangeEnv"));
      if (expansion.result != 0) {
        out.lines.push_back("QelChangeEnv ERROR (" + Utf8(value) + ")");
        out.result = 1;
        return out;
      }
      value = expansion.folder;
    }
    out.values[i] = std::move(value);
  }
  return out;
}

std::array<std::u16string, kKeyCount> ReadRawValues(HostPlatform& host, const char16_t* path) {
  std::array<std::u16string, kKeyCount> values;
  std::vector<char16_t> buffer(4096);
  for (std::size_t i = 0; i < kKeyCount; ++i) {
    std::fill(buffer.begin(), buffer.end(), u'\0');
    host.GetPrivateProfileStringW(kSettingsKeys[i].section, kSettingsKeys[i].key, buffer.data(),
                                  static_cast<std::uint32_t>(buffer.size()), path);
    values[i] = buffer.data();
  }
  return values;
}

}  // namespace qel::fuzz
