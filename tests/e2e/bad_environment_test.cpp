// Update runs end to end in a hostile environment: files held open by other
// programs, a settings file in UTF-16 with comments and blanks, the library
// in a folder at the path limit, TEMP empty or too long, a device folder
// that tries to climb out of the handset, and two calls in a row.
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "scenario.h"

namespace qel::e2e {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

constexpr char kEarlierLog[] = "2020/01/02 03:04:05  an earlier run\r\n";
constexpr char kSettingsFailed[] = "初期設定ファイルの読み込みに失敗しました";
constexpr char kNoSourceFile[] = "転送元ファイルが存在しません";
constexpr char kTransferFailed[] = "更新ファイルの転送に失敗しました";

bool Logged(const Texts& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

// A file held open by another program, without sharing, for as long as this lives.
class HeldOpen {
 public:
  explicit HeldOpen(const fs::path& path)
      : handle_(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldOpen() {
    if (held()) CloseHandle(handle_);
  }
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

void ExpectOneNotice(const RunOutcome& outcome, const char* text) {
  EXPECT_EQ(outcome.result, 1);
  ASSERT_EQ(outcome.notices.size(), 1u);
  EXPECT_EQ(outcome.notices[0].text, text);
}

TEST(BadEnvironment, LogHeldOpenWithoutSharingLosesTheRunsLinesAndNothingElse) {
  for (const bool updateFileThere : {true, false}) {
    SCOPED_TRACE(updateFileThere ? "successful run" : "failed run");
    Scenario s(updateFileThere ? "log_held_open" : "log_held_open_failing");
    s.WriteSettings(s.SourceFolder(), "\\Windows");
    if (!updateFileThere) fs::remove(s.src / "UPDATE.QEL");
    Scenario::WriteFile(s.log(), kEarlierLog);
    RunOutcome outcome;
    {
      const HeldOpen log(s.log());
      ASSERT_TRUE(log.held());
      outcome = s.Run();
    }
    EXPECT_EQ(outcome.result, updateFileThere ? 0 : 1);
    EXPECT_EQ(outcome.notices.size(), updateFileThere ? 0u : 1u) << "the notice is shown although its line is lost";
    EXPECT_EQ(Scenario::ReadFile(s.log()), kEarlierLog);
    EXPECT_EQ(s.Journal().Started().size(), updateFileThere ? 1u : 0u);
    EXPECT_EQ(s.Journal().ConnectionsEnded(), 1u);
    EXPECT_FALSE(fs::exists(s.pc / "qelmoset.ini")) << "the clean-up ran";
  }
}

// UTF-16LE with a byte-order mark: the host's profile reader takes it as such.
std::string Utf16File(const std::string& utf8) {
  const std::wstring text = Widen(utf8);
  std::string bytes = "\xFF\xFE";
  for (const wchar_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>((c >> 8) & 0xFF);
  }
  return bytes;
}

TEST(BadEnvironment, SettingsInUtf16WithCommentsAndBlanksAroundNamesAndValues) {
  Scenario s("settings_utf16");
  const fs::path source = s.root / Widen("src更新");  // a folder name that only UTF-16 keeps
  fs::create_directories(source);
  fs::copy_file(s.src / "UPDATE.QEL", source / "UPDATE.QEL");
  Scenario::WriteFile(s.pc / "qelmoset.ini", Utf16File("; settings of the update\r\n\r\n[Path]\r\n  src = " +
                                                       Narrow(source.wstring()) +
                                                       "   \r\n; the handset's folder\r\ndest\t=\t\\Windows\\Updates\t\r\n"
                                                       "\r\n[RemoteExe]\r\n fname = \\Windows\\Apply.exe\r\n"
                                                       "option = -Auto \r\n"));

  const RunOutcome outcome = s.Run();
  EXPECT_EQ(outcome.result, 0);
  EXPECT_TRUE(outcome.notices.empty());
  EXPECT_EQ(s.Journal().Started(), (std::vector<std::pair<std::string, std::string>>{
                                       {"\\WINDOWS\\APPLY.EXE", "-auto \\WINDOWS\\UPDATES\\UPDATE.QEL"}}));
  EXPECT_EQ(Scenario::ReadFile(s.handset / "Windows" / "Updates" / "UPDATE.QEL"),
            Scenario::ReadFile(source / "UPDATE.QEL"));
}

// A folder below parent whose Windows path has exactly length characters.
fs::path FolderOfLength(fs::path folder, std::size_t length) {
  std::size_t left = length - folder.wstring().size();
  while (left > 0) {
    // Each level adds a separator and a name; never leave one character over.
    const std::size_t name = left > 101 ? 99 : left - 1;
    folder /= std::wstring(name, L'L');
    left -= name + 1;
  }
  fs::create_directories(folder);
  return folder;
}

// The library's path is as long as the log's and the settings file's, since
// the three file names have 12 characters each.
TEST(BadEnvironment, LibraryPathOf259CharactersWorksAndLongerNamesInItsFolderAreLeftAlone) {
  Scenario s("library_path_259");
  const fs::path pc = FolderOfLength(s.pc, 259 - 13);
  fs::rename(s.dll(), pc / s.libraryName);
  s.pc = pc;
  ASSERT_EQ(s.dll().wstring().size(), 259u);
  s.WriteSettings(s.SourceFolder(), "\\Windows");
  const fs::path working = s.pc / "working-file.txt";  // its path does not fit a path buffer
  Scenario::WriteFile(working, "stays");

  EXPECT_EQ(s.Run().result, 0);
  const Texts texts = s.LogTexts();
  EXPECT_TRUE(Logged(texts, "Delete Fail (" + Narrow(working.wstring()) + ")"));
  EXPECT_TRUE(Logged(texts, "Delete Succeed (" + Narrow((s.pc / "qelmoset.ini").wstring()) + ")"));
  EXPECT_TRUE(fs::exists(working));
  EXPECT_EQ(s.Journal().Started().size(), 1u);
}

TEST(BadEnvironment, LibraryPathOf260CharactersTouchesNoFileAndMakesNoConnection) {
  Scenario s("library_path_260");
  const fs::path pc = FolderOfLength(s.pc, 260 - 13);
  fs::rename(s.dll(), pc / s.libraryName);
  s.pc = pc;
  ASSERT_EQ(s.dll().wstring().size(), 260u);
  s.WriteSettings(s.SourceFolder(), "\\Windows");

  ExpectOneNotice(s.Run(), kSettingsFailed);
  EXPECT_TRUE(s.Journal().records().empty());
  EXPECT_FALSE(fs::exists(s.log()));
  EXPECT_TRUE(fs::exists(s.pc / "qelmoset.ini"));
}

struct TempCase {
  const char* name;
  std::string value;
  const char* notice;
  std::string line;  // what the run logs for it
};

TEST(BadEnvironment, EmptyOrOverlongTemp) {
  const TempCase cases[] = {
      // An empty value is a value: the folder becomes \SRC on the current drive.
      {"temp_empty", "", kNoSourceFile, "FindFirstFile ERROR (\\SRC\\*.qel)"},
      {"temp_300", "C:\\" + std::string(297, 't'), kSettingsFailed, "Length Over"},
  };
  for (const TempCase& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s(c.name);
    s.SetEnv("TEMP", c.value.c_str());
    s.WriteSettings("%temp%\\src", "\\Windows");
    ExpectOneNotice(s.Run(), c.notice);
    EXPECT_TRUE(Logged(s.LogTexts(), c.line));
    EXPECT_EQ(s.Journal().Count("CeCreateFile"), 0u);
  }
}

TEST(BadEnvironment, DeviceFolderClimbingOutOfTheHandsetWritesNothing) {
  Scenario s("dest_climbs_out");
  s.WriteSettings(s.SourceFolder(), "\\Windows\\..\\..\\Outside");
  ExpectOneNotice(s.Run(), kTransferFailed);
  const auto journal = s.Journal();
  EXPECT_TRUE(journal.Paths("CeCreateDirectory").empty());
  EXPECT_EQ(journal.Count("CeCreateFile"), 0u);
  EXPECT_EQ(s.HandsetFiles(), Texts{"\\Windows\\Apply.exe"});
  EXPECT_FALSE(fs::exists(s.root / "Outside"));
  EXPECT_FALSE(fs::exists(s.root.parent_path() / "Outside"));
}

TEST(BadEnvironment, UpdateFileHeldOpenByAnotherProgramLeavesTheHandsetAlone) {
  Scenario s("update_file_held_open");
  s.WriteSettings(s.SourceFolder(), "\\Windows");
  RunOutcome outcome;
  {
    const HeldOpen update(s.src / "UPDATE.QEL");
    ASSERT_TRUE(update.held());
    outcome = s.Run();
  }
  ExpectOneNotice(outcome, kTransferFailed);
  EXPECT_TRUE(Logged(s.LogTexts(), "CreateFile ERROR (" + Upper(s.SourceFolder()) + "\\UPDATE.QEL)"));
  EXPECT_EQ(s.Journal().Count("CeCreateFile"), 0u);
  EXPECT_EQ(s.HandsetFiles(), Texts{"\\Windows\\Apply.exe"});
}

TEST(BadEnvironment, SecondCallInTheSameProcessConnectsAfreshAndFindsNoSettings) {
  Scenario s("two_calls");
  s.WriteSettings(s.SourceFolder(), "\\Windows");
  // Kept loaded between the calls, as a host that calls twice would keep it.
  const HMODULE library = LoadLibraryW(s.dll().c_str());
  ASSERT_NE(library, nullptr);
  const RunOutcome first = s.Run();
  const RunOutcome second = s.Run();
  FreeLibrary(library);

  EXPECT_EQ(first.result, 0);
  ExpectOneNotice(second, kSettingsFailed);
  const auto journal = s.Journal();
  EXPECT_EQ(journal.ConnectionsBegun(), 2u);
  EXPECT_EQ(journal.ConnectionsEnded(), 2u);
  const Texts texts = s.LogTexts();
  const auto secondStart = std::find(texts.rbegin(), texts.rend(), "<========== QelDllEntry START ==========>");
  ASSERT_NE(secondStart, texts.rend());
  const Texts secondRun(secondStart.base() - 1, texts.end());
  EXPECT_TRUE(Logged(secondRun, "GetPrivateProfileString ERROR (src)"));
  EXPECT_TRUE(Logged(secondRun, "Delete Fail (" + Narrow(s.dll().wstring()) + ")"));
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "<========== QelDllEntry END ==========>"), 2);
}

}  // namespace
}  // namespace qel::e2e
