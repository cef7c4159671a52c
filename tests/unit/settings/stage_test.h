// A fixture for the tests of the settings and host files stages: a fake host
// whose library lies in C:\WORK\, and the texts of the run log it receives.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "fakes/call_journal.h"
#include "fakes/fake_host_platform.h"
#include "runlog/run_log.h"

namespace qel::unit {

// What the fake's fixed clock puts in front of every log text.
inline constexpr std::string_view kStamp = "2026/12/11 09:05:07  ";

inline std::string Start(std::string_view stage) {
  return "<========== " + std::string(stage) + " START ==========>";
}
inline std::string End(std::string_view stage) {
  return "<========== " + std::string(stage) + " END ==========>";
}

class StageTest : public ::testing::Test {
 protected:
  StageTest() { SetModuleDir(u"C:\\WORK\\"); }

  // ModuleDir as the run would have filled it.
  static void SetModuleDir(std::u16string_view folder) {
    ASSERT_LT(folder.size(), kMaxPath);
    std::fill(std::begin(ModuleDir), std::end(ModuleDir), u'\0');
    std::copy(folder.begin(), folder.end(), ModuleDir);
  }

  // The lines of the run log in ModuleDir, each without its timestamp.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : host.Lines(std::u16string(ModuleDir) + kLogFileName)) {
      EXPECT_TRUE(line.starts_with(kStamp)) << line;
      texts.push_back(line.substr(std::min(line.size(), kStamp.size())));
    }
    return texts;
  }

  // Position in the journal of the log line with this text, or -1.
  long LoggedAt(std::string_view text) const {
    return journal.IndexOf("AppendToFile " + std::string(kStamp) + std::string(text));
  }

  fakes::CallJournal journal;
  fakes::FakeHostPlatform host{journal};
};

}  // namespace qel::unit
