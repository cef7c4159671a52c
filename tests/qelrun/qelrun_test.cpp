// qelrun as a host program, and its runner in-process, against the stand-in
// libraries. The qelrun processes are all started together before the first
// test looks at one, since a 32-bit process takes long to start under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/win32_handle.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/wide_text.h"
#include "host_runner.h"

namespace qel::host {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kCaption[] = L"試験 ソフトウェア書換";
constexpr wchar_t kText[] = L"更新ファイルの転送に失敗しました（試験）";

std::string Utf8(std::wstring_view text) {
  return ToUtf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}

// The folder of this program, where the build puts qelrun and the libraries.
std::wstring BinFolder() {
  wchar_t path[1024] = {};
  const std::wstring program(path, ::GetModuleFileNameW(nullptr, path, 1024));
  return program.substr(0, program.rfind(L'\\') + 1);
}

std::string FileContent(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using qel::testing::Win32Handle;

HANDLE CreateOutputFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct ProcessResult {
  DWORD exitCode = 0;
  std::string out;
  std::string err;
};

// qelrun.exe started with its standard output and error going to files.
class QelrunProcess {
 public:
  QelrunProcess(const std::wstring& arguments, const std::wstring& outputStem)
      : outPath_(outputStem + L".out"), errPath_(outputStem + L".err") {
    const std::wstring program = BinFolder() + L"qelrun.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    const Win32Handle out(CreateOutputFile(outPath_));
    const Win32Handle err(CreateOutputFile(errPath_));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    PROCESS_INFORMATION started{};
    if (::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         nullptr, &startup, &started)) {
      ::CloseHandle(started.hThread);
      process_ = std::make_unique<Win32Handle>(started.hProcess);
    }
  }

  // Waits for the end of the process; a process that hangs is ended.
  ProcessResult Finish() const {
    ProcessResult result;
    EXPECT_TRUE(process_) << "qelrun.exe did not start";
    if (!process_) return result;
    if (::WaitForSingleObject(process_->get(), kPatienceMilliseconds) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "qelrun.exe still running";
      ::TerminateProcess(process_->get(), 255);
      ::WaitForSingleObject(process_->get(), INFINITE);
    }
    ::GetExitCodeProcess(process_->get(), &result.exitCode);
    result.out = FileContent(outPath_);
    result.err = FileContent(errPath_);
    return result;
  }

 private:
  static constexpr DWORD kPatienceMilliseconds = 5 * 60 * 1000;
  std::wstring outPath_, errPath_;
  std::unique_ptr<Win32Handle> process_;
};

class QelrunProgramTest : public ::testing::Test {
 protected:
  enum Run { kNotice, kMissingLibrary, kNoEntry, kRunCount };

  // Started one after the other: Wine's CreateProcessW returns only once the
  // new process has started, about a minute for a 32-bit one here, and
  // starting them from several threads at once crashed the x86 test process
  // under emulation.
  static void SetUpTestSuite() {
    folder_ =
        (fs::temp_directory_path() / (L"qelrun_test_" + std::to_wstring(::GetCurrentProcessId())))
            .wstring() +
        L"\\";
    fs::create_directories(folder_);
    const std::wstring bin = BinFolder();
    const std::wstring arguments[kRunCount] = {
        L"--dismiss-notices \"" + bin + L"qel_test_entry.dll\"",
        L"\"" + MissingLibrary() + L"\"",
        L"\"" + bin + L"qel_test_no_entry.dll\"",
    };
    for (int run = 0; run < kRunCount; ++run) {
      runs_[run] =
          std::make_unique<QelrunProcess>(arguments[run], folder_ + L"run" + std::to_wstring(run));
    }
  }
  static void TearDownTestSuite() {
    for (auto& run : runs_) run.reset();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  static std::wstring MissingLibrary() { return folder_ + L"missing.dll"; }
  static ProcessResult Finish(Run run) { return runs_[run]->Finish(); }

  static inline std::wstring folder_;
  static inline std::unique_ptr<QelrunProcess> runs_[kRunCount];
};

TEST_F(QelrunProgramTest, AnswersTheNoticePrintsItAndPassesTheEntrysResultOn) {
  const ProcessResult result = Finish(kNotice);
  EXPECT_EQ(result.exitCode, 7u);
  EXPECT_EQ(result.out, "NOTICE caption=" + Utf8(kCaption) + " text=" + Utf8(kText) +
                            " style=0x00040010 topmost=yes\n"
                            "RESULT 7 (unexpected)\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(QelrunProgramTest, LibraryThatCannotBeLoadedExitsWith101) {
  const ProcessResult result = Finish(kMissingLibrary);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(kExitCannotLoad));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "qelrun: cannot load " + Utf8(MissingLibrary()) + " (error 126)\n");
}

TEST_F(QelrunProgramTest, LibraryWithoutTheEntryExitsWith102) {
  const ProcessResult result = Finish(kNoEntry);
  EXPECT_EQ(result.exitCode, static_cast<DWORD>(kExitNoEntry));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "qelrun: " + Utf8(BinFolder()) + "qel_test_no_entry.dll has no export QelDllEntry\n");
}

// Every other command line gets the usage text and exit code 100.
TEST(QelrunArgumentsTest, TakeOneLibraryPathAndTheDismissOptionOnEitherSide) {
  struct Case {
    std::vector<std::wstring> arguments;
    std::optional<std::wstring> dllPath;
    bool dismissNotices;
  };
  for (const Case& c : {
           Case{{L"C:\\Upd\\qelmoset.dll"}, L"C:\\Upd\\qelmoset.dll", false},
           Case{{L"--dismiss-notices", L"q.dll"}, L"q.dll", true},
           Case{{L"q.dll", L"--dismiss-notices"}, L"q.dll", true},
           Case{{}, std::nullopt, false},
           Case{{L"--dismiss-notices"}, std::nullopt, false},
           Case{{L"a.dll", L"b.dll"}, std::nullopt, false},
           Case{{L"--help"}, std::nullopt, false},
           Case{{L"-x", L"q.dll"}, std::nullopt, false},
       }) {
    const std::optional<QelrunArguments> parsed = ParseQelrunArguments(c.arguments);
    ASSERT_EQ(parsed.has_value(), c.dllPath.has_value()) << c.arguments.size() << " arguments";
    if (parsed) {
      EXPECT_EQ(parsed->dllPath, *c.dllPath);
      EXPECT_EQ(parsed->dismissNotices, c.dismissNotices);
    }
  }
}

// --- the runner in-process --------------------------------------------------------

void ExpectNotice(const ObservedNotice& notice, unsigned style, bool topmost) {
  EXPECT_EQ(Utf8(notice.caption), Utf8(kCaption));
  EXPECT_EQ(Utf8(notice.text), Utf8(kText));
  EXPECT_EQ(notice.style, style);
  EXPECT_EQ(notice.topmost, topmost);
}

TEST(RunQelDllEntryTest, RunsTwiceInARowAnsweringTheNoticeAndFreeingTheLibraryEachTime) {
  const std::wstring library = BinFolder() + L"qel_test_entry.dll";
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::vector<ObservedNotice> reported;
    const HostRunOutcome outcome = RunQelDllEntry(
        library, true, [&](const ObservedNotice& notice) { reported.push_back(notice); });
    EXPECT_EQ(outcome.exitCode, 7);
    EXPECT_EQ(outcome.failure, "");
    ASSERT_EQ(outcome.notices.size(), 1u);
    ExpectNotice(outcome.notices[0], 0x00040010, true);
    EXPECT_EQ(reported.size(), 1u);
    EXPECT_EQ(::GetModuleHandleW(library.c_str()), nullptr) << "library still loaded";
  }
}

TEST(RunQelDllEntryTest, BoxAskedForWithoutTopmostIsReportedSo) {
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QEL_TEST_NOTICE_STYLE", L"30"));  // MB_ICONWARNING
  const HostRunOutcome outcome = RunQelDllEntry(BinFolder() + L"qel_test_entry.dll", true);
  ::SetEnvironmentVariableW(L"QEL_TEST_NOTICE_STYLE", nullptr);
  EXPECT_EQ(outcome.exitCode, 7);
  ASSERT_EQ(outcome.notices.size(), 1u);
  ExpectNotice(outcome.notices[0], 0x30, false);
  EXPECT_EQ(NoticeLine(outcome.notices[0]), "NOTICE caption=" + Utf8(kCaption) + " text=" +
                                                Utf8(kText) + " style=0x00000030 topmost=no\n");
}

TEST(RunQelDllEntryTest, ResultIsPrintedInNumberAndWords) {
  EXPECT_EQ(ResultLine(0), "RESULT 0 (success)\n");
  EXPECT_EQ(ResultLine(1), "RESULT 1 (failure)\n");
  EXPECT_EQ(ResultLine(-1), "RESULT -1 (unexpected)\n");
}

}  // namespace
}  // namespace qel::host
