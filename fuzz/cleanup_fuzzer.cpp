// Fuzzes the clean-up of the library's folder with any folder and any
// entries in it: file and folder names of any length and content.
//
// Input lines (decoded by DecodeText): the library's folder (a backslash is
// appended when it does not end in one; empty: C:\WORK\), a line of flags,
// then one line per entry. An entry line that begins with 'D' is a folder,
// with 'R' a file whose deletion the host refuses, with 'F' a file, each
// named by the rest of the line; any other line is a file named by all of
// it. An entry named like the run log (qelmoset.log) is left out. Flags:
// '2', '3' or '8' make the listing fail to start with error 2, 3 or 18; 'B'
// makes it break off at its second FindNextFileW.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/platform_types.h"
#include "fakes/call_journal.h"
#include "fakes/fake_host_platform.h"
#include "fuzz_support.h"
#include "hostfiles/work_folder_cleanup.h"
#include "runlog/run_log.h"

namespace qel::fuzz {
namespace {

constexpr std::size_t kMaxName = kMaxPath - 1;
constexpr std::size_t kMaxEntries = 64;

struct Deletion {
  std::u16string path;
  bool done;
};

// The fake host, keeping every entry that the listing gave and every
// deletion with its exact path and outcome.
class RecordingHost : public fakes::FakeHostPlatform {
 public:
  using FakeHostPlatform::FakeHostPlatform;
  std::vector<HostFindData> listed;
  std::vector<Deletion> deletions;

  Handle FindFirstFileW(const char16_t* pattern, HostFindData& data) override {
    const Handle search = FakeHostPlatform::FindFirstFileW(pattern, data);
    if (search != kInvalidHandle) listed.push_back(data);
    return search;
  }
  bool FindNextFileW(Handle search, HostFindData& data) override {
    const bool found = FakeHostPlatform::FindNextFileW(search, data);
    if (found) listed.push_back(data);
    return found;
  }
  bool DeleteFileW(const char16_t* path) override {
    const bool done = FakeHostPlatform::DeleteFileW(path);
    deletions.push_back({path, done});
    return done;
  }
};

// A log file is one whose extension, from the last full stop, is ".LOG" in
// any case of its ASCII letters.
bool IsLogFile(const std::u16string& name) {
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos || name.size() - dot != 4) return false;
  const std::u16string_view letters = u"LOG";
  for (std::size_t i = 0; i < 3; ++i) {
    const char16_t c = name[dot + 1 + i];
    const char16_t upper = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    if (upper != letters[i]) return false;
  }
  return true;
}

struct Flags {
  std::optional<std::uint32_t> listingError;
  bool breakOff = false;
};

void CheckCase(const std::u16string& folder, const Flags& flags,
               const std::vector<std::pair<char, std::u16string>>& entries) {
  fakes::CallJournal journal;
  RecordingHost host(journal);
  SetModuleDir(folder);
  host.AddFolder(folder);
  for (const auto& [kind, name] : entries) {
    const std::u16string path = folder + name;
    if (kind == 'D') {
      host.AddFolder(path);
    } else {
      host.AddFile(path, "x");
      if (kind == 'R') host.refuseDelete.push_back(path);
    }
  }
  host.listingError = flags.listingError;
  if (flags.breakOff) host.failNextFileAt = 2;

  const int result = QelDelete(host);

  const bool patternFits = folder.size() + 3 < kMaxPath;
  const bool logFits = folder.size() + 12 < kMaxPath;
  std::vector<std::string> lines;
  std::vector<std::u16string> expectedDeletions;
  std::size_t deletion = 0;
  for (const HostFindData& entry : host.listed) {
    const std::u16string name(entry.name);
    if ((entry.attributes & kFileAttributeDirectory) != 0 || IsLogFile(name)) continue;
    const std::u16string path = folder + name;
    // A path that does not fit is never deleted, and its failure is logged.
    bool done = false;
    if (path.size() < kMaxPath) {
      expectedDeletions.push_back(path);
      done = deletion < host.deletions.size() && host.deletions[deletion++].done;
    }
    lines.push_back((done ? "Delete Succeed (" : "Delete Fail (") + Utf8(path) + ")");
  }
  std::vector<std::u16string> deletedPaths;
  for (const Deletion& d : host.deletions) deletedPaths.push_back(d.path);
  QEL_FUZZ_CHECK(deletedPaths == expectedDeletions, "deletions differ");

  // What stays: every folder, every log file, every file not deleted.
  for (const HostFindData& entry : host.listed) {
    const std::u16string name(entry.name);
    if (name == u"." || name == u"..") continue;
    const bool deleted = std::any_of(host.deletions.begin(), host.deletions.end(),
                                     [&](const Deletion& d) { return d.done && d.path == folder + name; });
    QEL_FUZZ_CHECK(host.Exists(folder + name) != deleted, "entry " + Utf8(name));
  }

  if (!patternFits) {
    QEL_FUZZ_CHECK(result == 1 && host.listed.empty() && journal.Count("FindFirstFileW") == 0);
  } else if (flags.listingError) {
    const std::uint32_t error = *flags.listingError;
    QEL_FUZZ_CHECK(result == (error == kErrorPathNotFound || error == kErrorNoMoreFiles ? 0 : 1));
    if (result == 1) lines.push_back("FindFirstFile ERROR (" + Utf8(folder) + "*.*)");
  } else {
    QEL_FUZZ_CHECK(result == 0);
  }
  if (logFits) {
    lines.insert(lines.begin(), StartMarker("QelDelete"));
    lines.push_back(EndMarker("QelDelete"));
    QEL_FUZZ_CHECK(LogTexts(host) == lines, "log differs");
  } else {
    QEL_FUZZ_CHECK(journal.Count("AppendToFile") == 0);
  }
  QEL_FUZZ_CHECK(host.openHandles() == 0);
}

}  // namespace
}  // namespace qel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qel::fuzz;
  FuzzInput input(data, size);
  std::u16string folder = DecodeText(input.NextLine(), qel::kMaxPath - 2);
  if (folder.empty()) folder = u"C:\\WORK\\";
  if (folder.back() != u'\\') folder += u'\\';

  Flags flags;
  for (const char flag : input.NextLine()) {
    if (flag == '2') flags.listingError = qel::kErrorFileNotFound;
    if (flag == '3') flags.listingError = qel::kErrorPathNotFound;
    if (flag == '8') flags.listingError = qel::kErrorNoMoreFiles;
    if (flag == 'B') flags.breakOff = true;
  }

  std::vector<std::pair<char, std::u16string>> entries;
  while (input.HasLine() && entries.size() < kMaxEntries) {
    std::string_view line = input.NextLine();
    char kind = 'F';
    if (line.starts_with('D') || line.starts_with('R') || line.starts_with('F')) {
      kind = line[0];
      line.remove_prefix(1);
    }
    std::u16string name = DecodeText(line, kMaxName);
    // A bare name in the folder; the listing gives "." and ".." itself, and
    // the run log is the one that the stage writes.
    std::replace(name.begin(), name.end(), u'\\', u'_');
    if (name.empty() || name == u"." || name == u".." || qel::fakes::FoldCase(name) == u"QELMOSET.LOG") {
      continue;
    }
    entries.emplace_back(kind, name);
  }
  CheckCase(folder, flags, entries);
  return 0;
}
