#include "settings/temp_expansion.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "unit/settings/stage_test.h"

namespace qel {
namespace {

constexpr char16_t kTmp[] = u"C:\\TMP";

struct ExpansionCase {
  std::optional<std::u16string> temp;  // absent: no TEMP in the environment
  std::u16string input;
  int code;
  std::vector<std::string> lines;  // between the markers
  std::u16string result;           // checked on code 0
};

void PrintTo(const ExpansionCase& c, std::ostream* os) {
  *os << "TEMP=" << (c.temp ? fakes::Narrow(*c.temp) : "(none)") << " input=" << fakes::Narrow(c.input);
}

std::u16string Chars(std::size_t count, char16_t c) { return std::u16string(count, c); }

std::vector<ExpansionCase> Cases() {
  return {
      // The table of the stage, with TEMP set to C:\TMP.
      {kTmp, u"C:\\UPD", 0, {"NO Env"}, u"C:\\UPD"},
      {kTmp, u"%TEMP%", 0, {}, u"C:\\TMP"},
      {kTmp, u"%TEMP%\\UPD", 0, {}, u"C:\\TMP\\UPD"},
      {kTmp, u"X:%TEMP%Y", 0, {}, u"X:C:\\TMPY"},
      {kTmp, u"%TEMP\\UPD", 0, {}, u"C:\\TMPUPD"},
      {kTmp, u"%TEMP", 0, {}, u"C:\\TMP"},
      {kTmp, u"%TEMP%\\%TEMP%", 0, {}, u"C:\\TMP\\%TEMP%"},
      {kTmp, u"%TMP%\\UPD", 1, {"Env ERROR"}, {}},
      {kTmp, u"%temp%\\UPD", 1, {"Env ERROR"}, {}},
      {kTmp, u"100%", 1, {"Env ERROR"}, {}},
      {kTmp, u"A%B%TEMP%", 1, {"Env ERROR"}, {}},
      {kTmp, u"%TEM", 1, {"Env ERROR"}, {}},
      {kTmp, u"", 0, {"NO Env"}, u""},
      // The budget L + T < 256, with a short TEMP and with long ones.
      {kTmp, u"%TEMP%\\" + Chars(242, u'A'), 0, {}, u"C:\\TMP\\" + Chars(242, u'A')},
      {kTmp, u"%TEMP%\\" + Chars(243, u'A'), 1, {"Length Over"}, {}},
      {Chars(250, u'T'), u"%TEMP", 0, {}, Chars(250, u'T')},
      {Chars(251, u'T'), u"%TEMP", 1, {"Length Over"}, {}},
      {Chars(300, u'T'), u"%TEMP", 1, {"Length Over"}, {}},
      // The value goes in as the environment holds it: own case, percent signs kept.
      {u"C:\\Tmp%X%", u"%TEMP%\\A", 0, {}, u"C:\\Tmp%X%\\A"},
      {u"", u"%TEMP%\\UPD", 0, {}, u"\\UPD"},
      // Only a reference needs the variable.
      {std::nullopt, u"%TEMP%\\UPD", 1, {"GetEnvironmentVariable ERROR"}, {}},
      {std::nullopt, u"C:\\UPD", 0, {"NO Env"}, u"C:\\UPD"},
      {std::nullopt, u"%TMP%\\UPD", 1, {"Env ERROR"}, {}},
      // An input without a reference must fit the result buffer with its terminator.
      {kTmp, Chars(259, u'A'), 0, {"NO Env"}, Chars(259, u'A')},
      {kTmp, Chars(260, u'A'), 1, {"Length Over"}, {}},
  };
}

class TempExpansion : public unit::StageTest, public ::testing::WithParamInterface<ExpansionCase> {};

TEST_P(TempExpansion, GivesItsResultAndLogsBetweenItsMarkers) {
  const ExpansionCase& c = GetParam();
  if (c.temp) host.environment[u"TEMP"] = *c.temp;
  char16_t result[kMaxPath] = {};

  EXPECT_EQ(QelChangeEnv(host, c.input.c_str(), result), c.code);

  std::vector<std::string> expected{unit::Start("QelChangeEnv")};
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  expected.push_back(unit::End("QelChangeEnv"));
  EXPECT_EQ(LogTexts(), expected);
  if (c.code == 0) {
    EXPECT_EQ(std::u16string(result), c.result);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, TempExpansion, ::testing::ValuesIn(Cases()));

}  // namespace
}  // namespace qel
