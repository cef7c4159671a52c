// Fuzzes the whole run at and around its path and command line limits: the
// source folder, the device folder, the update file's name and the option
// value, each of any length and content.
//
// Input lines (decoded by DecodeText): the src value, the dest value, the
// update file's name (".qel" is appended), the option value, a line of flags
// and the TEMP value. Flags: 'R' the connection is refused, 'W' it does not
// come up in time, 'P' the device program does not start, 'T' TEMP is set.
// The device program is \Windows\Apply.exe. The fake host holds the update
// file in the folder that src names, and the fake device holds the folder
// that dest names, so that every run that gets past the settings step meets
// the length limits.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/platform_types.h"
#include "entry/run.h"
#include "expected_settings.h"
#include "fakes/call_journal.h"
#include "fakes/fake_device_link.h"
#include "fakes/fake_host_platform.h"
#include "fuzz_support.h"
#include "runlog/run_log.h"

namespace qel::fuzz {
namespace {

constexpr std::size_t kMaxValue = 300;
constexpr std::u16string_view kExtension = u".qel";
constexpr std::size_t kMaxName = kMaxPath - 1 - kExtension.size();
constexpr char16_t kSettingsPath[] = u"C:\\WORK\\qelmoset.ini";
constexpr std::size_t kMaxFilePath = 258;
constexpr std::size_t kMaxCommandLine = 269;

struct Case {
  std::u16string src, dest, name, option;
  bool refused = false, late = false, programFails = false;
  std::optional<std::u16string> temp;
};

// The fake host, keeping the exact paths of the files opened.
class RecordingHost : public fakes::FakeHostPlatform {
 public:
  using FakeHostPlatform::FakeHostPlatform;
  std::vector<std::u16string> opened;

  Handle CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t creation) override {
    opened.emplace_back(path);
    return FakeHostPlatform::CreateFileW(path, access, share, creation);
  }
};

// The fake device, keeping the exact paths of the files created and the
// command lines of the programs started.
class RecordingDevice : public fakes::FakeDeviceLink {
 public:
  using FakeDeviceLink::FakeDeviceLink;
  std::vector<std::u16string> created;
  std::vector<std::u16string> commandLines;

  Handle CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share, std::uint32_t creation,
                      std::uint32_t flagsAndAttributes) override {
    created.emplace_back(path);
    return FakeDeviceLink::CeCreateFile(path, access, share, creation, flagsAndAttributes);
  }
  bool CeCreateProcess(const char16_t* program, const char16_t* commandLine) override {
    commandLines.emplace_back(commandLine);
    return FakeDeviceLink::CeCreateProcess(program, commandLine);
  }
};

std::string SettingsFile(const Case& c) {
  return "[Path]\r\nsrc=" + Utf8(c.src) + "\r\ndest=" + Utf8(c.dest) +
         "\r\n[RemoteExe]\r\nfname=\\Windows\\Apply.exe\r\noption=" + Utf8(c.option) + "\r\n";
}

// Position of the journal entry that is exactly text, or -1.
long Position(const fakes::CallJournal& journal, const std::string& text) {
  const auto& entries = journal.entries();
  const auto it = std::find(entries.begin(), entries.end(), text);
  return it == entries.end() ? -1 : static_cast<long>(it - entries.begin());
}

bool Logged(const std::vector<std::string>& log, const std::string& text) {
  return std::find(log.begin(), log.end(), text) != log.end();
}

void CheckCase(const Case& c) {
  fakes::CallJournal journal;
  RecordingHost host(journal);
  RecordingDevice device(journal);
  host.modulePath = u"C:\\WORK\\qelmoset.dll";
  host.AddFolder(u"C:\\WORK");
  host.AddFile(kSettingsPath, SettingsFile(c));
  if (c.temp) host.environment[u"TEMP"] = *c.temp;
  if (c.refused) device.initResult = kEFail;
  if (c.late) host.waitResult = kWaitTimeout;
  if (c.programFails) device.failAt["CeCreateProcess"] = 1;

  const std::array<std::u16string, kKeyCount> rawValues = ReadRawValues(host, kSettingsPath);
  const ExpectedSettings settings = ExpectSettings(rawValues, c.temp);
  const std::u16string& source = settings.values[0];
  const std::u16string& destination = settings.values[1];
  const std::u16string& option = settings.values[3];
  if (settings.result == 0) {
    host.AddFolder(source);
    host.AddFile(source + u"\\" + c.name, "update");
    device.AddFolder(destination);
  }

  const int result = QelRunUpdate(host, device);

  // No path or command line that is refused for its length reaches the
  // platform.
  for (const auto& path : host.opened) QEL_FUZZ_CHECK(path.size() <= kMaxFilePath, Utf8(path));
  for (const auto& path : device.created) QEL_FUZZ_CHECK(path.size() <= kMaxFilePath, Utf8(path));
  for (const auto& line : device.commandLines) QEL_FUZZ_CHECK(line.size() <= kMaxCommandLine, Utf8(line));

  // 0 exactly when the device program was started; one notice on failure.
  const bool started = !device.startedProgram.empty();
  QEL_FUZZ_CHECK((result == 0) == started);
  QEL_FUZZ_CHECK(host.notices.size() == (result == 0 ? 0u : 1u));
  // The connection is ended once after it was begun, after the notice and
  // before the clean-up.
  QEL_FUZZ_CHECK(device.connectionsEnded == (c.refused ? 0 : 1));
  const long uninit = Position(journal, "CeRapiUninit");
  const long notice = journal.IndexOf("MessageBoxW");
  const long cleanup = Position(journal, "FindFirstFileW C:\\WORK\\*.*");
  QEL_FUZZ_CHECK(cleanup >= 0 && uninit < cleanup && notice < cleanup);
  QEL_FUZZ_CHECK(c.refused || notice < uninit);
  QEL_FUZZ_CHECK(host.openHandles() == 0 && device.openHandles() == 0);

  const char16_t* expectedNotice = nullptr;
  if (c.refused) {
    expectedNotice = kNoticeRapiCallFailed;
  } else if (c.late) {
    expectedNotice = kNoticeConnectionFailed;
  } else if (settings.result != 0) {
    expectedNotice = kNoticeSettingsFailed;
  } else if (source.size() + 6 >= kMaxPath) {
    expectedNotice = kNoticeNoSourceFile;  // the search pattern would not fit
  }
  const std::vector<std::string> log = LogTexts(host);
  const bool searched = expectedNotice == nullptr && Logged(log, StartMarker("QelCheckDirectory"));
  if (searched) {
    // The update file was found and the device folder exists: the limits
    // alone decide what happens next.
    const std::u16string localPath = source + u"\\" + c.name;
    const std::u16string devicePath = destination + (destination.size() >= 2 ? u"\\" : u"") + c.name;
    const bool pathsFit = source.size() + 1 + c.name.size() <= kMaxFilePath &&
                          destination.size() + 1 + c.name.size() <= kMaxFilePath;
    const std::u16string commandLine = option + u" " + devicePath;
    const bool commandFits = commandLine.size() <= kMaxCommandLine;
    QEL_FUZZ_CHECK(host.opened == (pathsFit ? std::vector{localPath} : std::vector<std::u16string>{}));
    QEL_FUZZ_CHECK(device.created == (pathsFit ? std::vector{devicePath} : std::vector<std::u16string>{}));
    QEL_FUZZ_CHECK(device.commandLines ==
                   (pathsFit && commandFits ? std::vector{commandLine} : std::vector<std::u16string>{}));
    if (pathsFit) QEL_FUZZ_CHECK(device.File(devicePath) != nullptr && device.File(devicePath)->content == "update");
    if (!pathsFit) expectedNotice = kNoticeTransferFailed;
    else if (!commandFits || c.programFails) expectedNotice = kNoticeRunFailed;
    QEL_FUZZ_CHECK(started == (expectedNotice == nullptr));
  } else {
    QEL_FUZZ_CHECK(host.opened.empty() && device.created.empty() && device.commandLines.empty());
  }
  if (expectedNotice != nullptr) {
    QEL_FUZZ_CHECK(result == 1 && host.notices[0].text == expectedNotice,
                   "notice " + (host.notices.empty() ? std::string("none") : Utf8(host.notices[0].text)) +
                       " expected " + Utf8(expectedNotice));
  }
}

}  // namespace
}  // namespace qel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qel::fuzz;
  FuzzInput input(data, size);
  Case c;
  c.src = DecodeText(input.NextLine(), kMaxValue);
  c.dest = DecodeText(input.NextLine(), kMaxValue);
  c.name = DecodeText(input.NextLine(), kMaxName);
  // The name is a bare file name in the source folder.
  std::replace(c.name.begin(), c.name.end(), u'\\', u'_');
  c.name += kExtension;
  c.option = DecodeText(input.NextLine(), kMaxValue);
  const std::string_view flags = input.NextLine();
  c.refused = flags.find('R') != std::string_view::npos;
  c.late = flags.find('W') != std::string_view::npos;
  c.programFails = flags.find('P') != std::string_view::npos;
  if (flags.find('T') != std::string_view::npos) c.temp = DecodeText(input.NextLine(), kMaxValue);
  CheckCase(c);
  return 0;
}
