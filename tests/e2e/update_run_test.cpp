// Whole update runs under Wine: the real qelmoset.dll, a host program, and
// the emulated handset. Each test lays out its own PC side and handset.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "scenario.h"

namespace qel::e2e {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

constexpr char kCaption[] = "KX520 ソフトウェア書換";

// Position of a text in the log, or the log's size when it is not there.
std::ptrdiff_t IndexOf(const Texts& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) - texts.begin();
}

TEST(UpdateRun, SucceedsAndLeavesAHiddenCopyTheStartedProgramAndAnEmptiedFolder) {
  Scenario s("success");
  s.WriteSettings(s.SourceFolder(), "\\Windows\\Updates");
  Scenario::WriteFile(s.pc / "OLD.LOG", "kept");
  Scenario::WriteFile(s.pc / "junk.txt", "deleted");
  fs::create_directories(s.pc / "sub");
  Scenario::WriteFile(s.pc / "sub" / "keep.txt", "kept");

  const RunOutcome outcome = s.Run();
  EXPECT_EQ(outcome.result, 0);
  EXPECT_TRUE(outcome.notices.empty());

  const std::string pc = Narrow(s.pc.wstring()) + "\\";
  Texts texts = s.LogTexts();
  // The clean-up's lines follow the order of the folder listing.
  const auto deleteStart = IndexOf(texts, "<========== QelDelete START ==========>");
  ASSERT_LT(deleteStart + 4, static_cast<std::ptrdiff_t>(texts.size()));
  std::sort(texts.begin() + deleteStart + 1, texts.begin() + deleteStart + 4);
  EXPECT_EQ(texts, (Texts{
                       "<========== QelDllEntry START ==========>",
                       "<========== QelRapiInit START ==========>",
                       "<========== QelRapiInit END ==========>",
                       "<========== QelGetIniInfo START ==========>",
                       "<========== QelChangeEnv START ==========>",
                       "NO Env",
                       "<========== QelChangeEnv END ==========>",
                       "<========== QelGetIniInfo END ==========>",
                       "<========== QelFindFile START ==========>",
                       "<========== QelFindFile END ==========>",
                       "<========== QelCheckDirectory START ==========>",
                       "<=== DIR ===> (\\WINDOWS\\UPDATES)",
                       "<========== QelCheckDirectory END ==========>",
                       "<========== QelTransUpdateFile START ==========>",
                       "<========== QelTransUpdateFile END ==========>",
                       "<========== QelDelete START ==========>",
                       "Delete Fail (" + pc + "qelmoset.dll)",
                       "Delete Succeed (" + pc + "junk.txt)",
                       "Delete Succeed (" + pc + "qelmoset.ini)",
                       "<========== QelDelete END ==========>",
                       "<========== QelDllEntry END ==========>",
                   }));

  EXPECT_EQ(Scenario::ReadFile(s.handset / "Windows" / "Updates" / "UPDATE.QEL"),
            Scenario::ReadFile(s.src / "UPDATE.QEL"));
  EXPECT_NE(s.HandsetAttributes("\\Windows\\Updates\\UPDATE.QEL") & FILE_ATTRIBUTE_HIDDEN, 0u);
  const auto journal = s.Journal();
  EXPECT_EQ(journal.Started(), (std::vector<std::pair<std::string, std::string>>{
                                   {"\\WINDOWS\\APPLY.EXE", "-auto \\WINDOWS\\UPDATES\\UPDATE.QEL"}}));
  EXPECT_EQ(journal.ConnectionsBegun(), 1u);
  EXPECT_EQ(journal.ConnectionsEnded(), 1u);
  EXPECT_TRUE(journal.AllHandlesClosed());
  EXPECT_EQ(s.PcEntries(), (Texts{"OLD.LOG", "qelmoset.dll", "qelmoset.log", "sub"}));
  EXPECT_TRUE(fs::exists(s.pc / "sub" / "keep.txt"));
}

struct Failure {
  const char* name;
  void (*arrange)(Scenario&);
  const char* notice;
  std::size_t connectionsEnded;
  const char* stepLine;  // the failing step's reason, or "" where the run finds it itself
};

// A source folder of 252 characters holding AB.QEL: its local path has 259.
void ArrangeLongLocalPath(Scenario& s) {
  fs::path folder = s.src;
  while (Narrow(folder.wstring()).size() < 252) {
    const std::size_t room = 252 - Narrow(folder.wstring()).size() - 1;
    folder /= std::string(std::min<std::size_t>(room, 100), 'L');
  }
  fs::create_directories(folder);
  Scenario::WriteFile(folder / "AB.QEL", "x");
  s.WriteSettings(Narrow(folder.wstring()), "\\Windows\\Updates");
}

const Failure kFailures[] = {
    {"A_StartRefused", [](Scenario& s) { s.SetEnv("QEL_EMU_CONNECT", "refuse"); },
     "RAPIの呼び出しに失敗しました", 0, "CeRapiInitEx START ERROR"},
    {"B_NotUpInTime", [](Scenario& s) { s.SetEnv("QEL_EMU_CONNECT", "never"); },
     "VEXA KX520 との接続に失敗しました", 1, "CeRapiInitEx END ERROR"},
    {"C_NoSettingsFile", [](Scenario& s) { fs::remove(s.pc / "qelmoset.ini"); },
     "初期設定ファイルの読み込みに失敗しました", 1, "GetPrivateProfileString ERROR (src)"},
    {"D_NoUpdateFile", [](Scenario& s) { fs::remove(s.src / "UPDATE.QEL"); },
     "転送元ファイルが存在しません", 1, "FindFirstFile ERROR"},
    {"E_DeviceFolderNotMade", [](Scenario& s) { s.SetEnv("QEL_EMU_FAIL_MKDIR", "\\WINDOWS\\UPDATES"); },
     "更新ファイルの転送に失敗しました", 1, "CeCreateDirectory ERROR (\\WINDOWS\\UPDATES)"},
    {"F_LocalPathTooLong", ArrangeLongLocalPath, "更新ファイルの転送に失敗しました", 1, ""},
    {"G_WriteFails", [](Scenario& s) { s.SetEnv("QEL_EMU_FAIL_WRITE", "2"); },
     "更新ファイルの転送に失敗しました", 1, "CeWriteFile ERROR"},
    {"H_CommandLineTooLong",
     [](Scenario& s) {
       // "\WINDOWS\UPDATES\UPDATE.QEL" has 27 characters: 242 + 1 + 27 = 270.
       s.WriteSettings(s.SourceFolder(), "\\Windows\\Updates", "\\Windows\\Apply.exe", std::string(242, 'o'));
     },
     "更新処理機能の実行に失敗しました", 1, ""},
    {"I_ProgramNotStarted", [](Scenario& s) { s.SetEnv("QEL_EMU_FAIL_PROCESS", "1"); },
     "更新処理機能の実行に失敗しました", 1, ""},
};

class FailedRun : public ::testing::TestWithParam<Failure> {};

TEST_P(FailedRun, ShowsOneNoticeEndsTheConnectionCleansUpAndReturnsOne) {
  const Failure& f = GetParam();
  Scenario s(f.name);
  s.WriteSettings(s.SourceFolder(), "\\Windows\\Updates");
  const std::string earlier = "2020/01/02 03:04:05  an earlier run\r\n";
  Scenario::WriteFile(s.log(), earlier);
  const std::string update = Scenario::ReadFile(s.src / "UPDATE.QEL");
  f.arrange(s);

  const RunOutcome outcome = s.Run();
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.notices.size(), 1u);
  EXPECT_EQ(outcome.notices[0].text, f.notice);
  EXPECT_EQ(outcome.notices[0].caption, kCaption);
  EXPECT_TRUE(outcome.notices[0].topmost);

  EXPECT_TRUE(Scenario::ReadFile(s.log()).starts_with(earlier)) << "the log is only appended to";
  const Texts texts = s.LogTexts();
  const auto noticeLine = IndexOf(texts, std::string("QelErrorMessage (") + f.notice + ")");
  ASSERT_LT(noticeLine, static_cast<std::ptrdiff_t>(texts.size()));
  if (*f.stepLine != '\0') {
    const auto step = std::find_if(texts.begin(), texts.end(), [&](const auto& t) { return t.starts_with(f.stepLine); });
    EXPECT_LT(step - texts.begin(), noticeLine) << "the failing step logs its reason first: " << f.stepLine;
  }
  EXPECT_EQ(texts[static_cast<std::size_t>(noticeLine) + 1], "<========== QelDelete START ==========>");
  EXPECT_EQ(texts.back(), "<========== QelDllEntry END ==========>");

  const auto journal = s.Journal();
  EXPECT_EQ(journal.ConnectionsEnded(), f.connectionsEnded);
  EXPECT_TRUE(journal.AllHandlesClosed());
  EXPECT_FALSE(fs::exists(s.pc / "qelmoset.ini")) << "the clean-up runs on every way out";
  if (fs::exists(s.src / "UPDATE.QEL")) {
    EXPECT_EQ(Scenario::ReadFile(s.src / "UPDATE.QEL"), update) << "the update file on the PC is never changed";
  }
  const bool copyMayStay = f.notice == std::string("更新処理機能の実行に失敗しました");
  if (!copyMayStay) {
    EXPECT_FALSE(fs::exists(s.handset / "Windows" / "Updates" / "UPDATE.QEL")) << "no copy, whole or partial";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, FailedRun, ::testing::ValuesIn(kFailures),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(UpdateRun, ShortWriteLeavesNoPartialCopy) {
  Scenario s("short_write");
  s.WriteSettings(s.SourceFolder(), "\\Windows\\Updates");
  s.SetEnv("QEL_EMU_SHORT_WRITE", "2");
  EXPECT_EQ(s.Run().result, 1);
  const Texts texts = s.LogTexts();
  EXPECT_LT(IndexOf(texts, "CeWriteFile SIZE ERROR"), IndexOf(texts, "<========== QelTransUpdateFile END ==========>"));
  EXPECT_FALSE(fs::exists(s.handset / "Windows" / "Updates" / "UPDATE.QEL"));
  EXPECT_TRUE(s.Journal().AllHandlesClosed());
}

TEST(UpdateRun, ExpandsTempInTheSourceFolder) {
  Scenario s("temp_expanded");
  s.SetEnv("TEMP", Narrow(s.root.wstring()).c_str());
  s.WriteSettings("%temp%\\src", "\\");
  EXPECT_EQ(s.Run().result, 0);
  EXPECT_EQ(s.Journal().Started().at(0).second, "-auto \\UPDATE.QEL");
  EXPECT_EQ(IndexOf(s.LogTexts(), "NO Env"), static_cast<std::ptrdiff_t>(s.LogTexts().size()));
}

TEST(UpdateRun, MissingTempFailsTheSettings) {
  Scenario s("temp_missing");
  s.SetEnv("TEMP", nullptr);
  s.WriteSettings("%temp%\\src", "\\Windows");
  const RunOutcome outcome = s.Run();
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.notices.size(), 1u);
  EXPECT_EQ(outcome.notices[0].text, "初期設定ファイルの読み込みに失敗しました");
  const Texts texts = s.LogTexts();
  EXPECT_LT(IndexOf(texts, "GetEnvironmentVariable ERROR"), IndexOf(texts, "QelChangeEnv ERROR (%TEMP%\\SRC)"));
  EXPECT_LT(IndexOf(texts, "QelChangeEnv ERROR (%TEMP%\\SRC)"), static_cast<std::ptrdiff_t>(texts.size()));
}

TEST(UpdateRun, SettingsValueLongerThan258CharactersIsRefused) {
  Scenario s("value_too_long");
  s.WriteSettings(s.SourceFolder(), "\\Windows", "\\Windows\\Apply.exe", std::string(259, 'o'));
  const RunOutcome outcome = s.Run();
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.notices.size(), 1u);
  EXPECT_EQ(outcome.notices[0].text, "初期設定ファイルの読み込みに失敗しました");
  const Texts texts = s.LogTexts();
  EXPECT_LT(IndexOf(texts, "GetPrivateProfileString ERROR (option)"), static_cast<std::ptrdiff_t>(texts.size()));
}

TEST(UpdateRun, SignalledConnectionThatReportsFailureIsNotConnected) {
  Scenario s("connection_result_fails");
  s.WriteSettings(s.SourceFolder(), "\\Windows");
  s.SetEnv("QEL_EMU_CONNECT", "fail");
  const RunOutcome outcome = s.Run();
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.notices.size(), 1u);
  EXPECT_EQ(outcome.notices[0].text, "VEXA KX520 との接続に失敗しました");
  EXPECT_LT(IndexOf(s.LogTexts(), "CeRapiInitEx END ERROR"), static_cast<std::ptrdiff_t>(s.LogTexts().size()));
  EXPECT_EQ(s.Journal().ConnectionsEnded(), 1u);
  EXPECT_EQ(s.Journal().Count("CeFindFirstFile"), 0u);
}

TEST(UpdateRun, RenamedLibraryWorksInItsOwnFolderAndSparesTheHostsFolder) {
  Scenario s("renamed_library");
  s.libraryName = "renamed.dll";
  fs::rename(s.pc / "qelmoset.dll", s.dll());
  s.WriteSettings(s.SourceFolder(), "\\Windows");
  const fs::path sentinel = s.hostFolder / ("sentinel-of-the-host-" + s.root.parent_path().filename().string());
  Scenario::WriteFile(sentinel, "must stay");

  EXPECT_EQ(s.Run().result, 0);
  EXPECT_TRUE(fs::exists(sentinel)) << "nothing is deleted in the host program's folder";
  fs::remove(sentinel);
  const Texts texts = s.LogTexts();
  EXPECT_LT(IndexOf(texts, "Delete Fail (" + Narrow(s.dll().wstring()) + ")"), static_cast<std::ptrdiff_t>(texts.size()));
  EXPECT_FALSE(fs::exists(s.pc / "qelmoset.ini"));
}

TEST(UpdateRun, MissingRapiDllReadsAsARefusedStart) {
  Scenario s("no_rapi_dll");
  s.WriteSettings(s.SourceFolder(), "\\Windows");
  const RunOutcome outcome = s.RunQelrunCopiedTo(s.root / "host-without-rapi");
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.notices.size(), 1u);
  EXPECT_EQ(outcome.notices[0].text, "RAPIの呼び出しに失敗しました");
  EXPECT_LT(IndexOf(s.LogTexts(), "CeRapiInitEx START ERROR"), static_cast<std::ptrdiff_t>(s.LogTexts().size()));
  EXPECT_TRUE(s.Journal().records().empty()) << "no remote API was reached";
}

}  // namespace
}  // namespace qel::e2e
