// Every remote operation of a successful update failing in turn, end to end:
// the real qelmoset.dll, the host code of qelrun in this process, and the
// emulated handset. A clean run is made first; each call that its journal
// shows becomes one run in which just that call fails (QEL_EMU_FAIL=Op:N),
// each write also once short; a run whose copy failed is made again with
// the closing and again with the deletion of the partial copy failing too;
// and the connection is refused, never comes up, or comes up failed. Every run is checked for what the user sees and for what is left
// on the PC and on the handset, and the sweep ends with a one-line summary.
#include <windows.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "scenario.h"

namespace qel::e2e {
namespace {

namespace fs = std::filesystem;
using emulator::EmulatorJournal;
using emulator::JournalRecord;
using Texts = std::vector<std::string>;

constexpr char kCaption[] = "KX520 ソフトウェア書換";
constexpr char kRapiCallFailed[] = "RAPIの呼び出しに失敗しました";
constexpr char kConnectionFailed[] = "VEXA KX520 との接続に失敗しました";
constexpr char kTransferFailed[] = "更新ファイルの転送に失敗しました";
constexpr char kRunFailed[] = "更新処理機能の実行に失敗しました";

// Two levels below the handset's existing \Windows, so that the folder step
// descends and makes several lookups and creations.
constexpr char kDest[] = "\\Windows\\Updates\\Today";
constexpr char kCopy[] = "\\WINDOWS\\UPDATES\\TODAY\\UPDATE.QEL";
constexpr char kProgram[] = "\\WINDOWS\\APPLY.EXE";
// Four full chunks and a short one: five writes.
constexpr std::size_t kUpdateSize = 4 * 16384 + 100;
constexpr char kEarlierLog[] = "2020/01/02 03:04:05  an earlier run\r\n";

const std::string kDeleteStart = "<========== QelDelete START ==========>";
const std::string kDeleteEnd = "<========== QelDelete END ==========>";
const std::string kEntryStart = "<========== QelDllEntry START ==========>";
const std::string kEntryEnd = "<========== QelDllEntry END ==========>";

// The operations that the emulator can make fail.
const std::set<std::string> kFailable = {"CeFindFirstFile", "CeFindClose",   "CeCreateDirectory", "CeCreateFile",
                                         "CeWriteFile",     "CeCloseHandle", "CeDeleteFile",      "CeCreateProcess"};

// What the handset holds at kCopy after the run.
enum class Copy { kNone, kWhole, kPartial };

struct Expected {
  int result = 0;
  const char* notice = nullptr;      // none on success
  std::string reason;                // the failing step's line, or ""
  std::size_t connectionsEnded = 1;  // none after a refused start
  Copy copy = Copy::kWhole;
  bool handleLeftToTheEnd = false;   // a close failed: the connection's end closes the handle
};

struct Fault {
  std::string name;
  std::vector<std::pair<std::string, std::string>> env;  // the emulator's settings for the run
  Expected expected;
};

Expected Succeeds() { return {}; }

Expected Fails(const char* notice, std::string reason, Copy copy = Copy::kNone) {
  Expected e;
  e.result = 1;
  e.notice = notice;
  e.reason = std::move(reason);
  e.copy = copy;
  return e;
}

// How a run ends when the call at index of the clean run's journal fails.
Expected WhenFailing(const std::vector<JournalRecord>& clean, std::size_t index) {
  const JournalRecord& call = clean[index];
  // A call that failed in the clean run too (a lookup of a missing folder, a
  // creation below a missing parent): the fault changes nothing.
  if (!EmulatorJournal::Succeeded(call)) return Succeeds();
  if (call.op == "CeFindClose" || call.op == "CeCloseHandle") {
    Expected e = Succeeds();  // their results are not read
    e.handleLeftToTheEnd = true;
    return e;
  }
  const std::string path = call.args.empty() ? "" : call.args[0];
  if (call.op == "CeCreateDirectory") {
    const bool first = std::none_of(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(index),
                                    [&](const JournalRecord& r) { return r.op == call.op && r.args[0] == path; });
    // A first creation that fails is made again once the parent has been
    // made sure of; the second one is the last try.
    return first ? Succeeds() : Fails(kTransferFailed, "CeCreateDirectory ERROR (" + path + ")");
  }
  // A lookup that found the folder: missing once more after its creation.
  if (call.op == "CeFindFirstFile") return Fails(kTransferFailed, "CeCreateDirectory ERROR (" + path + ")");
  if (call.op == "CeCreateFile") return Fails(kTransferFailed, "CeCreateFile ERROR (" + path + ")");
  if (call.op == "CeWriteFile") return Fails(kTransferFailed, "CeWriteFile ERROR");
  if (call.op == "CeCreateProcess") return Fails(kRunFailed, "", Copy::kWhole);  // the copy stays for a later run
  throw std::logic_error("no expectation for " + call.op);
}

std::string Setting(const std::string& op, unsigned call) { return op + ":" + std::to_string(call); }

// One fault per call of the clean run that the emulator can fail, in call
// order; each write also once short.
std::vector<Fault> DeriveFaults(const EmulatorJournal& clean) {
  std::vector<Fault> faults;
  std::map<std::string, unsigned> calls;
  const auto& records = clean.records();
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (!kFailable.contains(records[i].op)) continue;
    const std::string at = Setting(records[i].op, ++calls[records[i].op]);
    faults.push_back({at, {{"QEL_EMU_FAIL", at}}, WhenFailing(records, i)});
    if (records[i].op == "CeWriteFile") {
      const std::string n = std::to_string(calls[records[i].op]);
      faults.push_back({"short write " + n, {{"QEL_EMU_SHORT_WRITE", n}},
                        Fails(kTransferFailed, "CeWriteFile SIZE ERROR")});
    }
  }
  return faults;
}

// After a failed copy the transfer closes the partial copy and deletes it;
// each of those calls fails as well in one more run. Either way the partial
// copy stays: a deletion that fails leaves it, and so does a failed close,
// since a copy still open cannot be deleted.
std::vector<Fault> DeriveFollowUps(const Fault& fault, const EmulatorJournal& run) {
  std::vector<Fault> followUps;
  if (!fault.expected.reason.starts_with("CeWriteFile")) return followUps;
  const auto& records = run.records();
  const auto lastWrite = std::find_if(records.rbegin(), records.rend(),
                                      [](const JournalRecord& r) { return r.op == "CeWriteFile"; }).base();
  std::map<std::string, unsigned> calls;
  for (auto record = records.begin(); record != records.end(); ++record) {
    const unsigned n = ++calls[record->op];
    if (record < lastWrite || !kFailable.contains(record->op)) continue;
    const std::string at = Setting(record->op, n);
    Fault followUp = fault;
    followUp.name += " and " + at;
    auto failing = std::find_if(followUp.env.begin(), followUp.env.end(),
                                [](const auto& variable) { return variable.first == "QEL_EMU_FAIL"; });
    if (failing == followUp.env.end()) {
      followUp.env.emplace_back("QEL_EMU_FAIL", at);
    } else {
      failing->second += "," + at;
    }
    followUp.expected.copy = Copy::kPartial;
    followUp.expected.handleLeftToTheEnd = record->op == "CeCloseHandle";
    followUps.push_back(std::move(followUp));
  }
  return followUps;
}

// The three ways the connection fails; the time-out waits its 5 seconds.
std::vector<Fault> ConnectionFaults() {
  Fault refused{"connection refused", {{"QEL_EMU_CONNECT", "refuse"}},
                Fails(kRapiCallFailed, "CeRapiInitEx START ERROR")};
  refused.expected.connectionsEnded = 0;
  return {refused,
          {"connection never up", {{"QEL_EMU_CONNECT", "never"}}, Fails(kConnectionFailed, "CeRapiInitEx END ERROR")},
          {"connection up but failed", {{"QEL_EMU_CONNECT", "fail"}},
           Fails(kConnectionFailed, "CeRapiInitEx END ERROR")}};
}

std::string UpdateBytes() {
  std::string bytes(kUpdateSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  return bytes;
}

std::string Upper(std::string text) {
  for (char& c : text) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return text;
}

// Counts the checks made, so that the sweep can say how much it looked at.
struct Tally {
  int runs = 0, checks = 0, failed = 0;
  bool Check(bool ok, const std::string& what) {
    ++checks;
    failed += ok ? 0 : 1;
    EXPECT_TRUE(ok) << what;
    return ok;
  }
};

// Every handle that the device handed out was given to its close call.
bool EveryHandleGivenBack(const EmulatorJournal& journal) {
  std::set<std::string> open;
  for (const JournalRecord& record : journal.records()) {
    const bool opens = record.op == "CeCreateFile" || record.op == "CeFindFirstFile";
    if (opens && EmulatorJournal::Succeeded(record)) open.insert(record.result);
    if (record.op == "CeCloseHandle" || record.op == "CeFindClose") open.erase(record.args.at(0));
  }
  return open.empty();
}

void CheckDevice(Tally& t, const Scenario& s, const EmulatorJournal& journal, const Expected& e) {
  t.Check(journal.ConnectionsEnded() == e.connectionsEnded, "the connection ended " +
                                                                std::to_string(journal.ConnectionsEnded()) + " times");
  if (e.connectionsEnded == 1) {
    t.Check(journal.records().back().op == "CeRapiUninit", "no remote call after the connection's end");
  }
  t.Check(EveryHandleGivenBack(journal), "every device handle given to its close call");
  t.Check(e.handleLeftToTheEnd || journal.AllHandlesClosed(), "every device handle closed");
  t.Check(journal.Started().size() == (e.result == 0 ? 1u : 0u), "the device program started only on success");

  Texts expectedFiles = {"\\WINDOWS\\APPLY.EXE"};
  if (e.copy != Copy::kNone) expectedFiles.push_back(kCopy);
  Texts files = s.HandsetFiles();
  std::transform(files.begin(), files.end(), files.begin(), Upper);
  t.Check(files == expectedFiles, "the handset's files");
  if (e.copy == Copy::kNone) return;
  const std::string copy = Scenario::ReadFile(s.handset / "Windows" / "Updates" / "Today" / "UPDATE.QEL");
  const std::string whole = UpdateBytes();
  if (e.copy == Copy::kWhole) {
    t.Check(copy == whole, "a whole copy on the handset");
    t.Check((s.HandsetAttributes(kCopy) & FILE_ATTRIBUTE_HIDDEN) != 0, "the copy is hidden");
  } else {
    t.Check(copy.size() == journal.BytesWritten(kCopy) && whole.starts_with(copy),
            "the partial copy holds what was written, " + std::to_string(copy.size()) + " bytes");
  }
}

void CheckPc(Tally& t, const Scenario& s, const RunOutcome& outcome, const Expected& e) {
  t.Check(outcome.result == e.result, "result " + std::to_string(outcome.result));
  const std::size_t notices = e.notice != nullptr ? 1 : 0;
  if (t.Check(outcome.notices.size() == notices, std::to_string(outcome.notices.size()) + " notices") &&
      notices == 1) {
    const Notice& notice = outcome.notices[0];
    t.Check(notice.text == e.notice, "notice " + notice.text);
    t.Check(notice.caption == kCaption, "caption " + notice.caption);
    t.Check(notice.topmost, "the notice is top-most");
  }
  t.Check(Scenario::ReadFile(s.src / "UPDATE.QEL") == UpdateBytes(), "the update file on the PC is unchanged");
  t.Check(s.PcEntries() == Texts{"qelmoset.dll", "qelmoset.log"}, "the library's folder emptied of its working files");

  t.Check(Scenario::ReadFile(s.log()).starts_with(kEarlierLog), "the log's earlier content is unchanged");
  Texts texts;
  std::string malformed;
  try {
    texts = s.LogTexts();
  } catch (const std::runtime_error& error) {
    malformed = error.what();
  }
  if (!t.Check(malformed.empty(), "every line with its timestamp and CR LF " + malformed)) return;
  // The run's lines follow the earlier one and end with the clean-up's
  // START, its two lines in the order of the listing, its END and the end marker.
  if (!t.Check(texts.size() > 7 && texts[1] == kEntryStart, "the run's lines follow the earlier ones")) return;
  const auto last = [&](std::size_t back) { return texts[texts.size() - back]; };
  Texts deletions = {last(4), last(3)};
  std::sort(deletions.begin(), deletions.end());
  const std::string pc = Narrow(s.pc.wstring()) + "\\";
  t.Check(last(5) == kDeleteStart && last(2) == kDeleteEnd && last(1) == kEntryEnd &&
              deletions == Texts{"Delete Fail (" + pc + "qelmoset.dll)", "Delete Succeed (" + pc + "qelmoset.ini)"},
          "the clean-up's lines and the end marker last");
  const auto noticeAt = static_cast<std::size_t>(
      std::find_if(texts.begin(), texts.end(), [](const auto& l) { return l.starts_with("QelErrorMessage"); }) -
      texts.begin());
  if (e.notice == nullptr) {
    t.Check(noticeAt == texts.size(), "no notice line");
  } else {
    t.Check(noticeAt == texts.size() - 6 && texts[noticeAt] == std::string("QelErrorMessage (") + e.notice + ")",
            "the notice line right before the clean-up");
  }
  if (!e.reason.empty()) {
    const auto reasonAt = static_cast<std::size_t>(std::find(texts.begin(), texts.end(), e.reason) - texts.begin());
    t.Check(reasonAt < noticeAt, "the failing step's line first: " + e.reason);
  }
}

// One run with the fault's settings; returns its journal.
EmulatorJournal RunWith(Tally& t, const Fault& fault, int number) {
  SCOPED_TRACE(fault.name);
  Scenario s("sweep" + std::to_string(number));
  s.WriteSettings(s.SourceFolder(), kDest);
  Scenario::WriteFile(s.src / "UPDATE.QEL", UpdateBytes());
  Scenario::WriteFile(s.log(), kEarlierLog);
  for (const auto& [name, value] : fault.env) s.SetEnv(name, value.c_str());

  const RunOutcome outcome = s.Run();
  ++t.runs;
  const EmulatorJournal journal = s.Journal();
  CheckPc(t, s, outcome, fault.expected);
  CheckDevice(t, s, journal, fault.expected);
  return journal;
}

TEST(FaultSweep, EveryRemoteOperationOfASuccessfulRunFailingInTurn) {
  Tally clean;
  const EmulatorJournal cleanJournal = RunWith(clean, {"clean run", {}, Succeeds()}, 0);
  ASSERT_EQ(clean.failed, 0) << "the clean run must succeed before its calls are failed";
  ASSERT_EQ(cleanJournal.Count("CeWriteFile"), 5u);
  ASSERT_EQ(cleanJournal.Count("CeCreateDirectory"), 3u) << "the folder step descends one level";

  Tally tally;
  int number = 0;
  for (const Fault& fault : DeriveFaults(cleanJournal)) {
    const EmulatorJournal journal = RunWith(tally, fault, ++number);
    for (const Fault& followUp : DeriveFollowUps(fault, journal)) RunWith(tally, followUp, ++number);
  }
  for (const Fault& fault : ConnectionFaults()) {
    const EmulatorJournal journal = RunWith(tally, fault, ++number);
    tally.Check(journal.records().size() == fault.expected.connectionsEnded + 1, "no device call but the connection's");
  }

  const char* arch = sizeof(void*) == 4 ? "x86" : "x64";
  std::cout << "device fault sweep (" << arch << "): " << tally.runs << " fault runs, " << tally.checks << " checks, "
            << tally.failed << " failed\n";
  ::testing::Test::RecordProperty("fault_runs", tally.runs);
  ::testing::Test::RecordProperty("checks", tally.checks);
}

}  // namespace
}  // namespace qel::e2e
