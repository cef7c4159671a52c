#include "settings/temp_expansion.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "common/platform_types.h"
#include "runlog/run_log.h"

namespace qel {

namespace {

// The variable that is looked up, and the four characters that must follow
// the first percent sign of the input.
constexpr char16_t kVariableName[] = u"TEMP";
constexpr std::size_t kNameLength = std::size(kVariableName) - 1;
// A reference is the percent sign, the name and one closing character, which
// is dropped unexamined.
constexpr std::size_t kReferenceLength = kNameLength + 2;
// The whole input and the TEMP value together must stay below the result
// buffer less the length of the name.
constexpr std::size_t kLengthBudget = kMaxPath - kNameLength;

// Copies text to out, without a terminator, and returns the position after it.
char16_t* CopyText(std::u16string_view text, char16_t* out) {
  return std::copy(text.begin(), text.end(), out);
}

}  // namespace

int QelChangeEnv(HostPlatform& host, const char16_t* input, char16_t* result) {
  StageMarkers markers(host, u"QelChangeEnv");
  // The value is used only when it and the input stay within the budget, so a
  // buffer of the budget's size always holds a value that is used.
  char16_t tempValue[kLengthBudget] = {};
  const EnvironmentValue temp = host.GetEnvironmentVariableW(kVariableName, tempValue, std::size(tempValue));

  const std::u16string_view text(input);
  const std::size_t percent = text.find(u'%');
  if (percent == std::u16string_view::npos) {
    // The result is the input itself, which must fit with its terminator.
    if (text.size() >= kMaxPath) {
      QelWriteLog(host, u"Length Over");
      return 1;
    }
    *CopyText(text, result) = u'\0';
    QelWriteLog(host, u"NO Env");
    return 0;
  }
  if (text.substr(percent + 1, kNameLength) != kVariableName) {
    QelWriteLog(host, u"Env ERROR");
    return 1;
  }
  if (!temp.found) {
    QelWriteLog(host, u"GetEnvironmentVariable ERROR");
    return 1;
  }
  if (text.size() + temp.length >= kLengthBudget) {
    QelWriteLog(host, u"Length Over");
    return 1;
  }
  const std::u16string_view rest = text.substr(std::min(percent + kReferenceLength, text.size()));
  char16_t* end = CopyText(text.substr(0, percent), result);
  end = CopyText(std::u16string_view(tempValue, temp.length), end);
  *CopyText(rest, end) = u'\0';
  return 0;
}

}  // namespace qel
