// Fuzzes the TEMP expansion of the source folder value with any input and
// any TEMP value, or none.
//
// Input: the first line is the value to expand (at most 300 units); the
// second line, when there is one, is the value of TEMP (at most 600 units);
// without a second line TEMP is not set. Lines are decoded by DecodeText.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/platform_types.h"
#include "expected_settings.h"
#include "fakes/call_journal.h"
#include "fakes/fake_host_platform.h"
#include "fuzz_support.h"
#include "settings/temp_expansion.h"

namespace qel::fuzz {
namespace {

constexpr std::size_t kMaxInput = 300;
constexpr std::size_t kMaxTemp = 600;

struct Outcome {
  int result = 0;
  std::u16string folder;
  std::vector<std::string> log;
};

Outcome Expand(const std::u16string& input, const std::optional<std::u16string>& temp) {
  fakes::CallJournal journal;
  fakes::FakeHostPlatform host(journal);
  if (temp) host.environment[u"TEMP"] = *temp;
  const auto in = TerminatedCopy(input);
  const auto result = ZeroFilled(kMaxPath);
  Outcome out;
  out.result = QelChangeEnv(host, in.get(), result.get());
  // Whatever the result, the buffer holds a terminated text within its size.
  out.folder = TextIn(result.get(), kMaxPath);
  out.log = LogTexts(host);
  QEL_FUZZ_CHECK(host.openHandles() == 0);
  return out;
}

bool ReferenceFollows(const std::u16string& input, std::size_t percent) {
  return input.compare(percent + 1, 4, u"TEMP") == 0;
}

void CheckCase(const std::u16string& input, const std::optional<std::u16string>& temp) {
  const Outcome got = Expand(input, temp);
  const std::size_t percent = input.find(u'%');

  if (got.result == 0 && percent == std::u16string::npos) {
    QEL_FUZZ_CHECK(got.folder == input, "no reference, result differs from input");
  }
  if (got.result == 0 && percent != std::u16string::npos) {
    QEL_FUZZ_CHECK(ReferenceFollows(input, percent));
    QEL_FUZZ_CHECK(temp.has_value());
    QEL_FUZZ_CHECK(input.size() + temp->size() < 256);
    const std::u16string expected =
        input.substr(0, percent) + *temp + input.substr(std::min(percent + 6, input.size()));
    QEL_FUZZ_CHECK(got.folder == expected, "expanded: " + Utf8(got.folder) + " expected: " + Utf8(expected));
  }
  const bool envError = percent != std::u16string::npos && !ReferenceFollows(input, percent);
  const bool loggedEnvError = std::find(got.log.begin(), got.log.end(), "Env ERROR") != got.log.end();
  QEL_FUZZ_CHECK(envError == loggedEnvError);
  QEL_FUZZ_CHECK(!envError || got.result == 1);

  // The whole outcome, log lines included, against the stated rules.
  const ExpectedExpansion expected = ExpectExpansion(input, temp);
  std::vector<std::string> expectedLog{StartMarker("QelChangeEnv")};
  expectedLog.insert(expectedLog.end(), expected.lines.begin(), expected.lines.end());
  expectedLog.push_back(EndMarker("QelChangeEnv"));
  QEL_FUZZ_CHECK(got.result == expected.result);
  QEL_FUZZ_CHECK(got.log == expectedLog);

  // Without a reference to expand, TEMP plays no part: the same outcome
  // whether it is set or not.
  if (percent == std::u16string::npos || envError) {
    const Outcome other = Expand(input, temp ? std::nullopt : std::optional<std::u16string>(u"C:\\TMP"));
    QEL_FUZZ_CHECK(other.result == got.result && other.log == got.log);
    QEL_FUZZ_CHECK(got.result != 0 || other.folder == got.folder);
  }
}

}  // namespace
}  // namespace qel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qel::fuzz;
  SetModuleDir(u"C:\\WORK\\");
  FuzzInput input(data, size);
  const std::u16string value = DecodeText(input.NextLine(), kMaxInput);
  std::optional<std::u16string> temp;
  if (input.HasLine()) temp = DecodeText(input.NextLine(), kMaxTemp);
  CheckCase(value, temp);
  return 0;
}
