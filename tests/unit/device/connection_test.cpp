#include "device/connection.h"

#include "device_stage_test.h"

namespace qel {
namespace {

using ConnectionTest = DeviceStageTest;

struct ConnectionCase {
  const char* outcome;
  HResult initResult;    // what CeRapiInitEx returns
  HResult recordResult;  // hrRapiInit once the event is signalled
  std::uint32_t waitResult;
  int expected;
  const char* errorLine;  // between the markers, or null
};

TEST_F(ConnectionTest, EachOutcomeGivesItsResultAndLines) {
  const ConnectionCase cases[] = {
      {"connected", kSOk, kSOk, kWaitObject0, 0, nullptr},
      {"connected, start returned S_FALSE", 1, kSOk, kWaitObject0, 0, nullptr},
      {"start refused", kEFail, kSOk, kWaitObject0, 1, "CeRapiInitEx START ERROR"},
      {"time-out", kSOk, kSOk, kWaitTimeout, 2, "CeRapiInitEx END ERROR"},
      {"signalled, connection failed", kSOk, kEFail, kWaitObject0, 2, "CeRapiInitEx END ERROR"},
      {"wait failed", kSOk, kSOk, kWaitFailed, 2, "CeRapiInitEx END ERROR"},
      {"wait abandoned", kSOk, kSOk, 0x80, 2, "CeRapiInitEx END ERROR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    journal.Clear();
    host.AddFile(u"C:\\WORK\\qelmoset.log");  // a fresh, empty log
    device.initResult = c.initResult;
    device.recordResult = c.recordResult;
    host.waitResult = c.waitResult;

    EXPECT_EQ(QelRapiInit(host, device), c.expected);

    std::vector<std::string> expectedLines = {Start("QelRapiInit")};
    if (c.errorLine != nullptr) expectedLines.push_back(c.errorLine);
    expectedLines.push_back(End("QelRapiInit"));
    EXPECT_EQ(LogTexts(), expectedLines);
    // One attempt; the wait is on the record's event for exactly 5000 ms,
    // and only after a start that was not refused. The stage never ends the
    // connection itself: that is left to the run.
    EXPECT_EQ(journal.Count("CeRapiInitEx"), 1u);
    const std::vector<std::string> waits = journal.Matching("WaitForSingleObject");
    if (c.expected == 1) {
      EXPECT_TRUE(waits.empty());
    } else {
      EXPECT_EQ(waits, std::vector<std::string>{"WaitForSingleObject 126 5000"});
    }
    EXPECT_EQ(journal.Count("CeRapiUninit"), 0u);
  }
}

}  // namespace
}  // namespace qel
