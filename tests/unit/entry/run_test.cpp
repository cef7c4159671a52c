// The whole run against the fakes: the order of the stages, the paths and the
// command line it forms within their limits, and how every failure ends.
#include "entry/run.h"

#include <gtest/gtest.h>

#include "fakes/fake_device_link.h"
#include "fakes/fake_host_platform.h"
#include "runlog/run_log.h"

namespace qel {
namespace {

using fakes::CallJournal;
using fakes::FakeDeviceLink;
using fakes::FakeHostPlatform;

constexpr char16_t kLog[] = u"C:\\WORK\\qelmoset.log";
constexpr char16_t kIni[] = u"C:\\WORK\\qelmoset.ini";
constexpr char16_t kDll[] = u"C:\\WORK\\qelmoset.dll";

std::string Settings(const std::string& src, const std::string& dest, const std::string& option) {
  return "[Path]\r\nsrc=" + src + "\r\ndest=" + dest + "\r\n[RemoteExe]\r\nfname=\\Windows\\Apply.exe\r\noption=" +
         option + "\r\n";
}

class RunTest : public ::testing::Test {
 public:
  void SetUp() override {
    host.AddFolder(u"C:\\WORK");
    host.AddFile(kDll, "MZ");
    host.refuseDelete.push_back(kDll);  // the host never deletes a loaded library
    host.AddFolder(u"C:\\SRC");
    host.AddFile(u"C:\\SRC\\A.QEL", std::string(40000, 'u'));
    device.AddFolder(u"\\Windows");
    WriteSettings("C:\\Src", "\\Windows\\Upd", "-Auto");
  }

  void WriteSettings(const std::string& src, const std::string& dest, const std::string& option) {
    host.AddFile(kIni, Settings(src, dest, option));
  }

  // The log's lines without their timestamps.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    for (const auto& line : host.Lines(kLog)) texts.push_back(line.substr(21));
    return texts;
  }

  CallJournal journal;
  FakeHostPlatform host{journal};
  FakeDeviceLink device{journal};
};

TEST_F(RunTest, SuccessfulRunCopiesStartsAndCleansUp) {
  EXPECT_EQ(QelRunUpdate(host, device), 0);

  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
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
                            "<=== DIR ===> (\\WINDOWS\\UPD)",
                            "<========== QelCheckDirectory END ==========>",
                            "<========== QelTransUpdateFile START ==========>",
                            "<========== QelTransUpdateFile END ==========>",
                            "<========== QelDelete START ==========>",
                            "Delete Fail (C:\\WORK\\qelmoset.dll)",
                            "Delete Succeed (C:\\WORK\\qelmoset.ini)",
                            "<========== QelDelete END ==========>",
                            "<========== QelDllEntry END ==========>",
                        }));
  const auto* copy = device.File(u"\\WINDOWS\\UPD\\A.QEL");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->content, host.Content(u"C:\\SRC\\A.QEL"));
  EXPECT_EQ(copy->attributes, kFileAttributeHidden);
  EXPECT_EQ(device.startedProgram, u"\\WINDOWS\\APPLY.EXE");
  EXPECT_EQ(device.startedCommandLine, u"-auto \\WINDOWS\\UPD\\A.QEL");
  EXPECT_EQ(device.connectionsEnded, 1);
  EXPECT_LT(journal.IndexOf("CeCreateProcess"), journal.IndexOf("CeRapiUninit"));
  EXPECT_LT(journal.IndexOf("CeRapiUninit"), journal.IndexOf("AppendToFile 2026/12/11 09:05:07  <========== QelDelete"));
  EXPECT_TRUE(host.notices.empty());
  EXPECT_EQ(host.List(u"C:\\WORK"), (std::vector<std::u16string>{u"qelmoset.dll", u"qelmoset.log"}));
  EXPECT_EQ(host.openHandles() + device.openHandles(), 0);
}

struct Failure {
  const char* name;
  void (*arrange)(RunTest&);
  const char16_t* notice;
  int connectionsEnded;
  const char* stepLine;  // a line of the failing step, or "" where the run finds it itself
};

class RunFailureTest : public RunTest, public ::testing::WithParamInterface<Failure> {};

const Failure kFailures[] = {
    {"A_StartRefused", [](RunTest& t) { t.device.initResult = kEFail; }, kNoticeRapiCallFailed, 0,
     "CeRapiInitEx START ERROR"},
    {"B_NotUpInTime", [](RunTest& t) { t.host.waitResult = kWaitTimeout; }, kNoticeConnectionFailed, 1,
     "CeRapiInitEx END ERROR"},
    {"C_NoSettingsFile", [](RunTest& t) { t.host.DeleteFileW(kIni); }, kNoticeSettingsFailed, 1,
     "GetPrivateProfileString ERROR (src)"},
    {"D_NoUpdateFile", [](RunTest& t) { t.host.DeleteFileW(u"C:\\SRC\\A.QEL"); }, kNoticeNoSourceFile, 1,
     "FindFirstFile ERROR (C:\\SRC\\*.qel)"},
    {"E_DeviceFolderIsAFile", [](RunTest& t) { t.device.AddFile(u"\\Windows\\Upd"); }, kNoticeTransferFailed, 1,
     "FindFirstFile ERROR (\\WINDOWS\\UPD)"},
    {"F_LocalPathTooLong",
     [](RunTest& t) {
       const std::string folder = "C:\\" + std::string(249, 'S');  // 252 characters, + "\AB.QEL" = 259
       t.host.AddFolder(std::u16string(folder.begin(), folder.end()));
       t.host.AddFile(std::u16string(folder.begin(), folder.end()) + u"\\AB.QEL");
       t.WriteSettings(folder, "\\Windows\\Upd", "-Auto");
     },
     kNoticeTransferFailed, 1, ""},
    {"G_WriteFails", [](RunTest& t) { t.device.failAt["CeWriteFile"] = 2; }, kNoticeTransferFailed, 1,
     "CeWriteFile ERROR"},
    {"H_CommandLineTooLong",
     [](RunTest& t) { t.WriteSettings("C:\\Src", "\\Windows\\Upd", std::string(251, 'o')); },
     kNoticeRunFailed, 1, ""},
    {"I_ProgramNotStarted", [](RunTest& t) { t.device.failAt["CeCreateProcess"] = 1; }, kNoticeRunFailed, 1,
     ""},
};

TEST_P(RunFailureTest, ShowsItsNoticeThenEndsTheConnectionCleansUpAndReturnsOne) {
  const Failure& f = GetParam();
  f.arrange(*this);
  EXPECT_EQ(QelRunUpdate(host, device), 1);

  ASSERT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(host.notices[0].text, f.notice);
  EXPECT_EQ(host.notices[0].caption, kNoticeCaption);
  EXPECT_EQ(host.notices[0].style, kMbTopmost | kMbIconError);
  EXPECT_EQ(device.connectionsBegun, 1);
  EXPECT_EQ(device.connectionsEnded, f.connectionsEnded);

  const auto texts = LogTexts();
  const auto at = [&](const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) - texts.begin();
  };
  const auto noticeLine = at("QelErrorMessage (" + fakes::Narrow(f.notice) + ")");
  ASSERT_LT(noticeLine, static_cast<long>(texts.size()));
  if (*f.stepLine != '\0') {
    EXPECT_LT(at(f.stepLine), noticeLine) << "the failing step logs its reason first";
  }
  EXPECT_EQ(texts[static_cast<std::size_t>(noticeLine) + 1], "<========== QelDelete START ==========>");
  EXPECT_EQ(texts.back(), "<========== QelDllEntry END ==========>");
  if (f.connectionsEnded == 1) {
    EXPECT_LT(journal.IndexOf("MessageBoxW"), journal.IndexOf("CeRapiUninit"))
        << "the connection is still up while the notice is shown";
  }
  EXPECT_FALSE(host.Exists(kIni)) << "the clean-up runs on every way out";
  EXPECT_EQ(host.openHandles() + device.openHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, RunFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(RunTest, FailedCopyLeavesNoPartialFileOnTheDevice) {
  device.shortWriteAt = 2;
  EXPECT_EQ(QelRunUpdate(host, device), 1);
  EXPECT_EQ(device.File(u"\\WINDOWS\\UPD\\A.QEL"), nullptr);
  EXPECT_EQ(host.Content(u"C:\\SRC\\A.QEL"), std::string(40000, 'u'));
}

TEST_F(RunTest, LocalPathOf258CharactersIsAccepted) {
  const std::string folder = "C:\\" + std::string(248, 'S');  // 251 + "\AB.QEL" = 258
  host.AddFolder(std::u16string(folder.begin(), folder.end()));
  host.AddFile(std::u16string(folder.begin(), folder.end()) + u"\\AB.QEL");  // 258
  WriteSettings(folder, "\\Windows\\Upd", "-Auto");
  EXPECT_EQ(QelRunUpdate(host, device), 0);
}

TEST_F(RunTest, DevicePathOf258CharactersIsAcceptedAnd259IsNot) {
  const std::string dest251 = "\\" + std::string(250, 'D');  // + "\A.QEL" = 257
  WriteSettings("C:\\Src", dest251 + "D", "-a");                // 258
  EXPECT_EQ(QelRunUpdate(host, device), 0);

  host.AddFile(kIni, Settings("C:\\Src", dest251 + "DD", "-a"));  // 259
  EXPECT_EQ(QelRunUpdate(host, device), 1);
  EXPECT_EQ(host.notices.back().text, kNoticeTransferFailed);
  EXPECT_TRUE(device.HasFolder(std::u16string(dest251.begin(), dest251.end()) + u"DD"))
      << "the device folder is made before the lengths are checked";
}

TEST_F(RunTest, RootDeviceFolderIsFollowedByTheNameDirectly) {
  WriteSettings("C:\\Src", "\\", "-a");
  EXPECT_EQ(QelRunUpdate(host, device), 0);
  EXPECT_EQ(device.startedCommandLine, u"-a \\A.QEL");
}

TEST_F(RunTest, DeviceFolderEndingInABackslashGetsASecondOne) {
  WriteSettings("C:\\Src\\", "\\Windows\\", "-a");
  EXPECT_EQ(QelRunUpdate(host, device), 0);
  EXPECT_EQ(device.startedCommandLine, u"-a \\WINDOWS\\\\A.QEL");
  EXPECT_EQ(journal.Count("CreateFileW C:\\SRC\\\\A.QEL"), 1u);
}

TEST_F(RunTest, CommandLineOf269CharactersIsAcceptedAnd270IsNot) {
  // Device path \WINDOWS\UPD\A.QEL has 18 characters: option + 1 + 18.
  WriteSettings("C:\\Src", "\\Windows\\Upd", std::string(250, 'o'));
  EXPECT_EQ(QelRunUpdate(host, device), 0);
  EXPECT_EQ(device.startedCommandLine.size(), 269u);

  WriteSettings("C:\\Src", "\\Windows\\Upd", std::string(251, 'o'));
  EXPECT_EQ(QelRunUpdate(host, device), 1);
  EXPECT_EQ(host.notices.back().text, kNoticeRunFailed);
  EXPECT_NE(device.File(u"\\WINDOWS\\UPD\\A.QEL"), nullptr) << "the copy stays after a refused command line";
}

TEST_F(RunTest, SecondCallStartsAfreshAndFindsNoSettings) {
  EXPECT_EQ(QelRunUpdate(host, device), 0);
  EXPECT_EQ(QelRunUpdate(host, device), 1);
  EXPECT_EQ(host.notices.back().text, kNoticeSettingsFailed);
  EXPECT_EQ(device.connectionsBegun, 2);
  EXPECT_EQ(device.connectionsEnded, 2);
  EXPECT_EQ(journal.Count("DeleteFileW C:\\WORK\\qelmoset.dll"), 2u);
}

TEST_F(RunTest, UnknownLibraryFolderTouchesNoFileAndMakesNoConnection) {
  host.modulePath = u"C:\\" + std::u16string(260, u'x') + u"\\qelmoset.dll";
  EXPECT_EQ(QelRunUpdate(host, device), 1);
  ASSERT_EQ(host.notices.size(), 1u);
  EXPECT_EQ(host.notices[0].text, kNoticeSettingsFailed);
  EXPECT_EQ(device.connectionsBegun, 0);
  for (const char* call : {"AppendToFile", "GetPrivateProfileStringW", "FindFirstFileW", "DeleteFileW", "CreateFileW"}) {
    EXPECT_EQ(journal.Count(call), 0u) << call;
  }
}

}  // namespace
}  // namespace qel
