// The host side of a successful run, made to fail one operation at a time:
// a clean run is recorded first, and every host call it made (each read of
// the update file, each listing start with each reason, each listing step,
// each deletion, the opening of the update file, each log line) is then
// failed in a run of its own. Every run must end the way the run's design
// says, and leave nothing open, nothing half-copied on the device, and the
// update file on the PC as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "entry/run.h"
#include "fakes/fake_device_link.h"
#include "fakes/fake_host_platform.h"
#include "runlog/run_log.h"

namespace qel {
namespace {

using fakes::CallJournal;
using fakes::FakeDeviceLink;
using fakes::FakeHostPlatform;
using fakes::Narrow;
using Texts = std::vector<std::string>;

constexpr char16_t kLog[] = u"C:\\WORK\\qelmoset.log";
constexpr char16_t kIni[] = u"C:\\WORK\\qelmoset.ini";
constexpr char16_t kDll[] = u"C:\\WORK\\qelmoset.dll";
constexpr char16_t kUpdate[] = u"C:\\SRC\\A.QEL";
constexpr char16_t kCopy[] = u"\\WINDOWS\\UPD\\A.QEL";
constexpr char kSearchPattern[] = "C:\\SRC\\*.qel";
constexpr char kCleanupPattern[] = "C:\\WORK\\*.*";
// Three full chunks and a short one, then the read that finds the end; no
// two chunks alike, so that a chunk out of place shows.
const std::string kUpdateBytes = [] {
  std::string bytes(3 * 16384 + 100, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  return bytes;
}();

// The fake host, with two more faults: the Nth listing start fails with a
// given reason, and the Nth log line cannot be written.
class SweepHost : public FakeHostPlatform {
 public:
  using FakeHostPlatform::FakeHostPlatform;

  int failListingAt = 0;
  std::uint32_t listingReason = 0;
  int dropLineAt = 0;

  Handle FindFirstFileW(const char16_t* pattern, HostFindData& data) override {
    listingError = ++listings_ == failListingAt ? std::optional(listingReason) : std::nullopt;
    return FakeHostPlatform::FindFirstFileW(pattern, data);
  }
  bool AppendToFile(const char16_t* path, const char* bytes, std::size_t count) override {
    appendFails = ++lines_ == dropLineAt;
    return FakeHostPlatform::AppendToFile(path, bytes, count);
  }

 private:
  int listings_ = 0;
  int lines_ = 0;
};

// One PC and one handset: the library in C:\WORK with its settings file; in
// C:\SRC a folder that matches the pattern, listed before the update file,
// so that the search takes a step through its listing.
struct World {
  World() {
    host.AddFolder(u"C:\\WORK");
    host.AddFile(kDll, "MZ");
    host.refuseDelete.push_back(kDll);  // the host never deletes a loaded library
    host.AddFile(kIni,
                 "[Path]\r\nsrc=C:\\Src\r\ndest=\\Windows\\Upd\r\n"
                 "[RemoteExe]\r\nfname=\\Windows\\Apply.exe\r\noption=-Auto\r\n");
    host.AddFolder(u"C:\\SRC");
    host.AddFolder(u"C:\\SRC\\OLD.QEL");
    host.AddFile(kUpdate, kUpdateBytes);
    device.AddFolder(u"\\Windows");
  }

  Texts LogTexts() const {
    Texts texts;
    for (const auto& line : host.Lines(kLog)) texts.push_back(line.substr(21));
    return texts;
  }

  CallJournal journal;
  SweepHost host{journal};
  FakeDeviceLink device{journal};
};


// How a run with one fault must end.
struct Expected {
  int result = 0;
  const char16_t* notice = nullptr;   // none on success
  std::string reason;                 // the failing step's line, or ""
  Texts cleanup;                      // the lines between the clean-up's markers
  bool iniStays = false;              // the clean-up did not reach the settings file
  std::optional<Texts> log;           // the whole log, where it is known in full
};

struct Fault {
  std::string name;
  std::function<void(World&)> arrange;
  Expected expected;
};

const std::string kDeleteStart = "<========== QelDelete START ==========>";
const std::string kDeleteEnd = "<========== QelDelete END ==========>";
const std::string kEntryEnd = "<========== QelDllEntry END ==========>";

Texts Between(const Texts& texts, const std::string& first, const std::string& last) {
  const auto from = std::find(texts.begin(), texts.end(), first);
  const auto to = std::find(from, texts.end(), last);
  return to == texts.end() ? Texts{} : Texts(from + 1, to);
}

std::string Listing(const char* pattern) { return std::string("FindFirstFile ERROR (") + pattern + ")"; }

std::u16string Widen(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

bool NamesTheSettingsFile(const std::string& line) { return line.ends_with("qelmoset.ini)"); }

Expected Fails(const char16_t* notice, std::string reason, Texts cleanup) {
  Expected e;
  e.result = 1;
  e.notice = notice;
  e.reason = std::move(reason);
  e.cleanup = std::move(cleanup);
  return e;
}

// The run keeps its result; the settings file stays when the clean-up's
// lines do not tell of its deletion.
Expected Succeeds(Texts cleanup) {
  Expected e;
  e.iniStays = std::none_of(cleanup.begin(), cleanup.end(), [](const std::string& line) {
    return line.starts_with("Delete Succeed") && NamesTheSettingsFile(line);
  });
  e.cleanup = std::move(cleanup);
  return e;
}

// Every host call of the clean run, in the order made, becomes a fault; a
// listing start fails once for each reason the clean-up tells apart.
std::vector<Fault> DeriveFaults(const CallJournal& clean, const Texts& cleanLog) {
  const Texts cleanup = Between(cleanLog, kDeleteStart, kDeleteEnd);
  std::vector<Fault> faults;
  int reads = 0, listings = 0, steps = 0, lines = 0;
  std::size_t deletions = 0;
  for (const std::string& call : clean.entries()) {
    if (call.starts_with("ReadFile ")) {
      const int n = ++reads;
      faults.push_back({"ReadFile:" + std::to_string(n), [n](World& w) { w.host.failReadAt = n; },
                        Fails(kNoticeTransferFailed, "ReadFile ERROR", cleanup)});
    } else if (call.starts_with("FindFirstFileW ")) {
      const int n = ++listings;
      for (const std::uint32_t reason : {kErrorFileNotFound, kErrorPathNotFound, kErrorAccessDenied, kErrorNoMoreFiles}) {
        // The clean-up's listing fails silently for reasons 3 and 18.
        const bool silent = reason == kErrorPathNotFound || reason == kErrorNoMoreFiles;
        faults.push_back({"FindFirstFileW:" + std::to_string(n) + " reason " + std::to_string(reason),
                          [n, reason](World& w) {
                            w.host.failListingAt = n;
                            w.host.listingReason = reason;
                          },
                          call.ends_with(kCleanupPattern)
                              ? Succeeds(silent ? Texts{} : Texts{Listing(kCleanupPattern)})
                              : Fails(kNoticeNoSourceFile, Listing(kSearchPattern), cleanup)});
      }
    } else if (call == "FindNextFileW") {
      // In the search, which has seen only the folder, no file is found; in
      // the clean-up the walk ends there, and the entries not reached stay.
      const int n = ++steps;
      faults.push_back({"FindNextFileW:" + std::to_string(n), [n](World& w) { w.host.failNextFileAt = n; },
                        listings == 2 ? Succeeds(Texts(cleanup.begin(), cleanup.begin() + static_cast<std::ptrdiff_t>(deletions)))
                                      : Fails(kNoticeNoSourceFile, Listing(kSearchPattern), cleanup)});
    } else if (call.starts_with("DeleteFileW ")) {
      // The refused file stays, is named as such, and the walk goes on.
      const std::string path = call.substr(std::string("DeleteFileW ").size());
      Texts refused = cleanup;
      refused.at(deletions++) = "Delete Fail (" + path + ")";
      faults.push_back({"DeleteFileW " + path, [path](World& w) { w.host.refuseDelete.push_back(Widen(path)); },
                        Succeeds(refused)});
    } else if (call.starts_with("CreateFileW ")) {
      const std::string path = call.substr(12, call.find(" access=") - 12);
      faults.push_back({"CreateFileW " + path, [path](World& w) { w.host.locked.push_back(Widen(path)); },
                        Fails(kNoticeTransferFailed, "CreateFile ERROR (" + path + ")", cleanup)});
    } else if (call.starts_with("AppendToFile ")) {
      // A line that cannot be written is lost, and nothing else changes.
      const int n = ++lines;
      Expected e = Succeeds(cleanup);
      e.log = cleanLog;
      e.log->erase(e.log->begin() + (n - 1));
      faults.push_back({"AppendToFile:" + std::to_string(n), [n](World& w) { w.host.dropLineAt = n; }, e});
    }
  }
  return faults;
}

// Counts the checks made, so that the sweep can tell how much it looked at.
struct Tally {
  int runs = 0, checks = 0, failed = 0;
  void Check(bool ok, const std::string& what) {
    ++checks;
    failed += ok ? 0 : 1;
    EXPECT_TRUE(ok) << what;
  }
};

long IndexOf(const Texts& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) - texts.begin();
}

void CheckRun(Tally& t, const World& w, int result, const Expected& e) {
  t.Check(result == e.result, "result " + std::to_string(result));
  t.Check(w.host.notices.size() == (e.notice != nullptr ? 1u : 0u), "one notice on failure, none on success");
  if (e.notice != nullptr && w.host.notices.size() == 1) {
    const auto& notice = w.host.notices[0];
    t.Check(notice.text == e.notice && notice.caption == kNoticeCaption && notice.style == kNoticeStyle,
            "notice " + Narrow(notice.text));
  }
  t.Check(w.device.connectionsBegun == 1 && w.device.connectionsEnded == 1, "one connection, ended once");
  t.Check(w.host.openHandles() == 0 && w.device.openHandles() == 0, "no handle left open");
  t.Check(w.host.Content(kUpdate) == kUpdateBytes, "the update file on the PC is unchanged");
  const auto* copy = w.device.File(kCopy);
  if (e.result == 0) {
    t.Check(copy != nullptr && copy->content == kUpdateBytes && copy->attributes == kFileAttributeHidden,
            "a whole hidden copy on the device");
    t.Check(w.device.startedCommandLine == u"-auto \\WINDOWS\\UPD\\A.QEL", "the device program started");
  } else {
    t.Check(copy == nullptr, "no copy, whole or partial, on the device");
    t.Check(w.device.startedProgram.empty(), "no device program started");
  }
  t.Check(w.host.Exists(kIni) == e.iniStays, "the settings file is deleted unless the clean-up missed it");

  const Texts texts = w.LogTexts();
  if (e.log) {
    t.Check(texts == *e.log, "the log is the clean run's without the lost line");
    return;
  }
  t.Check(!texts.empty() && texts.back() == kEntryEnd, "the end marker is the last line");
  t.Check(Between(texts, kDeleteStart, kDeleteEnd) == e.cleanup, "the clean-up's lines");
  const long cleanupAt = IndexOf(texts, kDeleteStart);
  if (e.notice != nullptr) {
    t.Check(IndexOf(texts, "QelErrorMessage (" + Narrow(e.notice) + ")") == cleanupAt - 1,
            "the notice line right before the clean-up");
  }
  if (!e.reason.empty()) t.Check(IndexOf(texts, e.reason) < cleanupAt - 1, "the reason first: " + e.reason);
}

TEST(HostFaultSweep, EveryHostCallOfASuccessfulRunFailingInTurn) {
  World clean;
  ASSERT_EQ(QelRunUpdate(clean.host, clean.device), 0);
  ASSERT_EQ(clean.journal.Count("ReadFile"), 5u) << "four chunks and the read that finds the end";
  ASSERT_EQ(clean.journal.Count("FindNextFileW"), 6u) << "one step in the search, five in the clean-up";

  Tally tally;
  for (const Fault& fault : DeriveFaults(clean.journal, clean.LogTexts())) {
    SCOPED_TRACE(fault.name);
    World w;
    fault.arrange(w);
    const int result = QelRunUpdate(w.host, w.device);
    ++tally.runs;
    CheckRun(tally, w, result, fault.expected);
  }
  std::cout << "host fault sweep: " << tally.runs << " fault runs, " << tally.checks << " checks, " << tally.failed
            << " failed\n";
  ::testing::Test::RecordProperty("fault_runs", tally.runs);
  ::testing::Test::RecordProperty("checks", tally.checks);
}

}  // namespace
}  // namespace qel
