// The fixture of the device stage tests: a fake host and a fake handset that
// share one journal, with ModuleDir set so that the run log is written.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/call_journal.h"
#include "fakes/fake_device_link.h"
#include "fakes/fake_host_platform.h"
#include "runlog/run_log.h"

namespace qel {

// The fake handset, on which the folders named in refusedFolders can never
// be created, however often that is tried.
class RefusingDeviceLink : public fakes::FakeDeviceLink {
 public:
  explicit RefusingDeviceLink(fakes::CallJournal& journal) : FakeDeviceLink(journal), journal_(journal) {}

  std::vector<std::u16string> refusedFolders;

  bool CeCreateDirectory(const char16_t* path) override {
    if (std::ranges::find(refusedFolders, path) == refusedFolders.end()) {
      return FakeDeviceLink::CeCreateDirectory(path);
    }
    journal_.Add("CeCreateDirectory " + fakes::Narrow(path));
    return false;
  }

 private:
  fakes::CallJournal& journal_;
};

class DeviceStageTest : public ::testing::Test {
 protected:
  // Every line starts with this under the fake's default clock.
  static constexpr std::string_view kStamp = "2026/12/11 09:05:07  ";

  void SetUp() override { QelGetModuleDir(host); }

  // The lines of the run log without their timestamp.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : host.Lines(u"C:\\WORK\\qelmoset.log")) {
      EXPECT_TRUE(line.starts_with(kStamp)) << line;
      texts.push_back(line.substr(kStamp.size()));
    }
    return texts;
  }

  // Position in the journal of the log line with this text, or -1.
  long LogIndex(std::string_view text) const {
    return journal.IndexOf("AppendToFile " + std::string(kStamp) + std::string(text));
  }

  static std::string Start(std::string_view stage) {
    return "<========== " + std::string(stage) + " START ==========>";
  }
  static std::string End(std::string_view stage) {
    return "<========== " + std::string(stage) + " END ==========>";
  }

  fakes::CallJournal journal;
  fakes::FakeHostPlatform host{journal};
  RefusingDeviceLink device{journal};
};

}  // namespace qel
