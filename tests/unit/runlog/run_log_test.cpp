#include "runlog/run_log.h"

#include <gtest/gtest.h>

#include "fakes/fake_host_platform.h"

namespace qel {
namespace {

using fakes::CallJournal;
using fakes::FakeHostPlatform;

constexpr char16_t kLog[] = u"C:\\WORK\\qelmoset.log";

class RunLogTest : public ::testing::Test {
 protected:
  void SetUp() override { QelGetModuleDir(host); }
  CallJournal journal;
  FakeHostPlatform host{journal};
};

TEST(QelFormatLogLine, PadsEveryFieldAndPutsTwoBlanksBeforeTheText) {
  const LocalTime time{987, 1, 2, 3, 4, 5};
  EXPECT_EQ(QelFormatLogLine(time, u"T", nullptr), u"0987/01/02 03:04:05  T");
  EXPECT_EQ(QelFormatLogLine({2026, 12, 31, 23, 59, 58}, u"T", u"d"), u"2026/12/31 23:59:58  T (d)");
  EXPECT_EQ(QelFormatLogLine(time, u"T", u""), u"0987/01/02 03:04:05  T ()")
      << "an empty detail still takes the layout with parentheses";
}

TEST(QelGetModuleDir, KeepsThePathUpToItsLastSeparator) {
  struct Case {
    std::u16string modulePath, moduleDir;
  };
  const Case cases[] = {
      {u"C:\\WORK\\qelmoset.dll", u"C:\\WORK\\"},
      {u"C:\\a\\b/qelmoset.dll", u"C:\\a\\b/"},
      {u"\\\\server\\share\\renamed.dll", u"\\\\server\\share\\"},
      {u"C:qelmoset.dll", u""},
      {u"", u""},
  };
  for (const auto& c : cases) {
    CallJournal journal;
    FakeHostPlatform host(journal);
    host.modulePath = c.modulePath;
    QelGetModuleDir(host);
    EXPECT_EQ(std::u16string(ModuleDir), c.moduleDir) << fakes::Narrow(c.modulePath);
  }
}

TEST(QelGetModuleDir, LeavesItEmptyWhenTheLibraryPathDoesNotFit) {
  CallJournal journal;
  FakeHostPlatform host(journal);
  host.modulePath = u"C:\\" + std::u16string(243, u'd') + u"\\qelmoset.dll";  // 259 characters
  QelGetModuleDir(host);
  EXPECT_EQ(std::u16string(ModuleDir), u"C:\\" + std::u16string(243, u'd') + u"\\");
  host.modulePath += u"x";  // 260: no room for the terminator
  QelGetModuleDir(host);
  EXPECT_EQ(std::u16string(ModuleDir), u"");
}

TEST_F(RunLogTest, AppendsOneLineInUtf8EndedByCrLf) {
  host.AddFile(kLog, "earlier\r\n");
  QelWriteLog(host, u"QelErrorMessage", kNoticeCaption);
  EXPECT_EQ(host.Content(kLog),
            "earlier\r\n2026/12/11 09:05:07  QelErrorMessage (KX520 \xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88"
            "\xE3\x82\xA6\xE3\x82\xA7\xE3\x82\xA2\xE6\x9B\xB8\xE6\x8F\x9B)\r\n");
}

TEST_F(RunLogTest, DropsALineThatCannotBeWrittenAndTriesTheNextOne) {
  host.appendFails = true;
  QelWriteLog(host, u"lost");
  host.appendFails = false;
  QelWriteLog(host, u"kept");
  ASSERT_EQ(host.Lines(kLog).size(), 1u);
  EXPECT_EQ(host.Lines(kLog)[0], "2026/12/11 09:05:07  kept");
}

TEST(QelWriteLog, DropsTheLineWhenTheLogPathDoesNotFit) {
  CallJournal journal;
  FakeHostPlatform host(journal);
  // A renamed library in a deep folder: its folder leaves no room for the
  // twelve characters of the log file name.
  host.modulePath = u"C:\\" + std::u16string(248, u'd') + u"\\q.dll";  // folder of 253 characters
  QelGetModuleDir(host);
  QelWriteLog(host, u"line");
  EXPECT_EQ(journal.Count("AppendToFile"), 0u);
}

TEST_F(RunLogTest, StageMarkersFrameTheStageOnEveryWayOut) {
  {
    const StageMarkers markers(host, u"QelFindFile");
    QelWriteLog(host, u"inside");
  }
  EXPECT_EQ(host.Lines(kLog), (std::vector<std::string>{
                                  "2026/12/11 09:05:07  <========== QelFindFile START ==========>",
                                  "2026/12/11 09:05:07  inside",
                                  "2026/12/11 09:05:07  <========== QelFindFile END ==========>",
                              }));
}

TEST_F(RunLogTest, ErrorMessageLogsTheNoticeBeforeShowingItTopMost) {
  QelErrorMessage(host, kNoticeNoSourceFile);
  ASSERT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(host.notices[0].text, u"転送元ファイルが存在しません");
  EXPECT_EQ(host.notices[0].caption, u"KX520 ソフトウェア書換");
  EXPECT_EQ(host.notices[0].style, 0x40010u);
  EXPECT_LT(journal.IndexOf("AppendToFile 2026/12/11 09:05:07  QelErrorMessage (転送元"),
            journal.IndexOf("MessageBoxW"));
}

TEST(NoticeTexts, AreTheSixFixedTexts) {
  EXPECT_EQ(std::u16string(kNoticeRapiCallFailed), u"RAPIの呼び出しに失敗しました");
  EXPECT_EQ(std::u16string(kNoticeConnectionFailed), u"VEXA KX520 との接続に失敗しました");
  EXPECT_EQ(std::u16string(kNoticeSettingsFailed), u"初期設定ファイルの読み込みに失敗しました");
  EXPECT_EQ(std::u16string(kNoticeNoSourceFile), u"転送元ファイルが存在しません");
  EXPECT_EQ(std::u16string(kNoticeTransferFailed), u"更新ファイルの転送に失敗しました");
  EXPECT_EQ(std::u16string(kNoticeRunFailed), u"更新処理機能の実行に失敗しました");
}

}  // namespace
}  // namespace qel
