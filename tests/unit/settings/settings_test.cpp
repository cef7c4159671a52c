#include "settings/settings.h"

#include <gtest/gtest.h>

#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "unit/settings/stage_test.h"

namespace qel {
namespace {

constexpr char16_t kSettingsPath[] = u"C:\\WORK\\qelmoset.ini";

class Settings : public unit::StageTest {
 protected:
  int Read() { return QelGetIniInfo(host, source, device, program, option); }

  // The reads made, as "Section key", in order; every one from kSettingsPath.
  std::vector<std::string> Reads() const {
    std::vector<std::string> reads;
    for (const auto& entry : journal.Matching("GetPrivateProfileStringW ")) {
      const std::string rest = entry.substr(entry.find(' ') + 1);
      const std::string path = " " + fakes::Narrow(kSettingsPath);
      EXPECT_TRUE(rest.ends_with(path)) << entry;
      reads.push_back(rest.substr(0, rest.size() - path.size()));
    }
    return reads;
  }

  char16_t source[kMaxPath] = {};
  char16_t device[kMaxPath] = {};
  char16_t program[kMaxPath] = {};
  char16_t option[kOptionCapacity] = {};
};

TEST_F(Settings, WorkedExample) {
  host.environment[u"TEMP"] = u"C:\\Tmp";
  host.AddFile(kSettingsPath,
               "[Path]\r\nsrc=%temp%\\Upd\r\ndest=\\Windows\\Upd\r\n"
               "[RemoteExe]\r\nfname=\\Windows\\Apply.exe\r\noption=-Auto\r\n");

  EXPECT_EQ(Read(), 0);

  EXPECT_EQ(std::u16string(source), u"C:\\Tmp\\UPD");
  EXPECT_EQ(std::u16string(device), u"\\WINDOWS\\UPD");
  EXPECT_EQ(std::u16string(program), u"\\WINDOWS\\APPLY.EXE");
  EXPECT_EQ(std::u16string(option), u"-auto");
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            "<========== QelGetIniInfo START ==========>",
                            "<========== QelChangeEnv START ==========>",
                            "<========== QelChangeEnv END ==========>",
                            "<========== QelGetIniInfo END ==========>",
                        }));
  EXPECT_EQ(Reads(),
            (std::vector<std::string>{"Path src", "Path dest", "RemoteExe fname", "RemoteExe option"}));
}

TEST_F(Settings, OnlyAsciiLettersChangeCaseAndOnlySrcIsExpanded) {
  host.environment[u"TEMP"] = u"C:\\Tmp";
  host.AddFile(kSettingsPath,
               "[Path]\nsrc=c:\\d\xC3\xA9p\xC3\xB4t\ndest=%temp%\\caf\xC3\xA9\n"
               "[RemoteExe]\nfname=\\\xE6\x9B\xB8x.exe\noption=-AUTO \xC3\x84 %TEMP%\n");

  EXPECT_EQ(Read(), 0);

  EXPECT_EQ(std::u16string(source), u"C:\\DéPôT");
  EXPECT_EQ(std::u16string(device), u"%TEMP%\\CAFé");
  EXPECT_EQ(std::u16string(program), u"\\書X.EXE");
  EXPECT_EQ(std::u16string(option), u"-auto Ä %temp%");
}

TEST_F(Settings, ValuesOf258CharactersAreDeliveredWhole) {
  const std::string value(258, 'v');
  host.AddFile(kSettingsPath, "[Path]\nsrc=" + value + "\ndest=" + value + "\n[RemoteExe]\nfname=" + value +
                                  "\noption=" + std::string(258, 'V') + "\n");

  EXPECT_EQ(Read(), 0);

  const std::u16string upper(258, u'V'), lower(258, u'v');
  EXPECT_EQ(std::u16string(source), upper);
  EXPECT_EQ(std::u16string(device), upper);
  EXPECT_EQ(std::u16string(program), upper);
  EXPECT_EQ(std::u16string(option), lower);
}

struct FailureCase {
  const char* what;
  std::optional<std::string> settings;  // absent: no settings file
  std::optional<std::u16string> temp;   // absent: no TEMP in the environment
  std::vector<std::string> lines;       // between the markers of the step
  std::vector<std::string> reads;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.what; }

// The lines of a src value without reference, then one failure.
std::vector<std::string> AfterNoEnv(const std::string& failure) {
  return {unit::Start("QelChangeEnv"), "NO Env", unit::End("QelChangeEnv"), failure};
}

const std::vector<FailureCase> kFailures{
    {"no settings file", std::nullopt, u"C:\\Tmp", {"GetPrivateProfileString ERROR (src)"}, {"Path src"}},
    {"src empty",
     "[Path]\nsrc=\ndest=D\n[RemoteExe]\nfname=F\noption=O\n",
     u"C:\\Tmp",
     {"GetPrivateProfileString ERROR (src)"},
     {"Path src"}},
    {"src reference misspelt",
     "[Path]\nsrc=%tmp%\\In\ndest=D\n[RemoteExe]\nfname=F\noption=O\n",
     u"C:\\Tmp",
     {unit::Start("QelChangeEnv"), "Env ERROR", unit::End("QelChangeEnv"), "QelChangeEnv ERROR (%TMP%\\IN)"},
     {"Path src"}},
    {"src reference without TEMP",
     "[Path]\nsrc=%temp%\\Upd\ndest=D\n[RemoteExe]\nfname=F\noption=O\n",
     std::nullopt,
     {unit::Start("QelChangeEnv"), "GetEnvironmentVariable ERROR", unit::End("QelChangeEnv"),
      "QelChangeEnv ERROR (%TEMP%\\UPD)"},
     {"Path src"}},
    {"dest missing",
     "[Path]\nsrc=S\n[RemoteExe]\nfname=F\noption=O\n",
     u"C:\\Tmp",
     AfterNoEnv("GetPrivateProfileString ERROR (dest)"),
     {"Path src", "Path dest"}},
    {"no RemoteExe section",
     "[Path]\nsrc=S\ndest=D\n",
     u"C:\\Tmp",
     AfterNoEnv("GetPrivateProfileString ERROR (fname)"),
     {"Path src", "Path dest", "RemoteExe fname"}},
    {"option empty",
     "[Path]\nsrc=S\ndest=D\n[RemoteExe]\nfname=F\noption=\n",
     u"C:\\Tmp",
     AfterNoEnv("GetPrivateProfileString ERROR (option)"),
     {"Path src", "Path dest", "RemoteExe fname", "RemoteExe option"}},
    {"option of 259 characters",
     "[Path]\nsrc=S\ndest=D\n[RemoteExe]\nfname=F\noption=" + std::string(259, 'o') + "\n",
     u"C:\\Tmp",
     AfterNoEnv("GetPrivateProfileString ERROR (option)"),
     {"Path src", "Path dest", "RemoteExe fname", "RemoteExe option"}},
    {"src of 259 characters",
     "[Path]\nsrc=" + std::string(259, 's') + "\ndest=D\n[RemoteExe]\nfname=F\noption=O\n",
     u"C:\\Tmp",
     {"GetPrivateProfileString ERROR (src)"},
     {"Path src"}},
};

class SettingsFailure : public Settings, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SettingsFailure, LogsTheFirstFailureAndReadsNoFurther) {
  const FailureCase& c = GetParam();
  if (c.settings) host.AddFile(kSettingsPath, *c.settings);
  if (c.temp) host.environment[u"TEMP"] = *c.temp;

  EXPECT_EQ(Read(), 1);

  std::vector<std::string> expected{unit::Start("QelGetIniInfo")};
  expected.insert(expected.end(), c.lines.begin(), c.lines.end());
  expected.push_back(unit::End("QelGetIniInfo"));
  EXPECT_EQ(LogTexts(), expected);
  EXPECT_EQ(Reads(), c.reads);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingsFailure, ::testing::ValuesIn(kFailures));

// The settings path is ModuleDir and "qelmoset.ini" in a buffer of 260
// characters with its terminator; without room for it nothing is read.
class SettingsPath : public Settings, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(SettingsPath, IsReadOnlyWhenItFits) {
  const std::size_t folderLength = GetParam();
  const std::u16string folder =
      folderLength == 0 ? u"" : u"C:\\" + std::u16string(folderLength - 4, u'L') + u"\\";
  SetModuleDir(folder);
  host.AddFile(folder + kSettingsFileName, "[Path]\nsrc=S\ndest=D\n[RemoteExe]\nfname=F\noption=O\n");
  const bool fits = folderLength != 0 && folderLength + std::size(kSettingsFileName) <= kMaxPath;

  EXPECT_EQ(Read(), fits ? 0 : 1);

  EXPECT_EQ(journal.Count("GetPrivateProfileStringW"), fits ? 4u : 0u);
  EXPECT_EQ(journal.Count("GetEnvironmentVariableW"), fits ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(FolderLengths, SettingsPath,
                         ::testing::Values(std::size_t{247}, std::size_t{248}, std::size_t{0}));

}  // namespace
}  // namespace qel
