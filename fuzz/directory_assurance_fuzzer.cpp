// Fuzzes directory assurance with any device path against a device on which
// the folders above it exist, are files, or cannot be created, as chosen.
//
// Input: the first line chooses, for the path and each parent the descent
// can reach (the path first), what the device holds there: 'D' a folder,
// 'F' a file, 'R' nothing, and its creation is refused, 'O' nothing, and
// only its first creation is refused; any other byte nothing (the fake
// device then creates the folder when its parent exists). The second line is
// the path (decoded by DecodeText, 1 to 259 units).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/platform_types.h"
#include "device/directory_assurance.h"
#include "fakes/call_journal.h"
#include "fakes/fake_device_link.h"
#include "fakes/fake_host_platform.h"
#include "fuzz_support.h"

namespace qel::fuzz {
namespace {

constexpr std::size_t kMaxDevicePath = kMaxPath - 1;
// Far more calls than any descent of a 259-character path can make.
constexpr std::size_t kCallBudget = 4 * kMaxPath;

// The parent as the descent forms it: everything before the last backslash
// met from the last character back to the second; empty when there is none.
std::u16string ParentOf(const std::u16string& path) {
  for (std::size_t i = path.size(); i-- > 1;) {
    if (path[i] == u'\\') return path.substr(0, i);
  }
  return {};
}

struct Call {
  bool create;  // CeCreateDirectory, else CeFindFirstFile
  std::u16string path;
};

// The fake device, refusing to create chosen folders and keeping every
// look-up and creation with its exact path.
class ChoosingDevice : public fakes::FakeDeviceLink {
 public:
  using FakeDeviceLink::FakeDeviceLink;
  std::map<std::u16string, int> refusals;  // path -> creations still refused (-1: all)
  std::vector<Call> calls;

  Handle CeFindFirstFile(const char16_t* path, DeviceFindData& data) override {
    Record(false, path);
    return FakeDeviceLink::CeFindFirstFile(path, data);
  }
  bool CeCreateDirectory(const char16_t* path) override {
    Record(true, path);
    const auto it = refusals.find(path);
    if (it != refusals.end() && it->second != 0) {
      if (it->second > 0) --it->second;
      return false;
    }
    return FakeDeviceLink::CeCreateDirectory(path);
  }

 private:
  void Record(bool create, const char16_t* path) {
    QEL_FUZZ_CHECK(path[0] != u'\0', create ? "CeCreateDirectory with an empty path"
                                            : "CeFindFirstFile with an empty path");
    QEL_FUZZ_CHECK(calls.size() < kCallBudget, "the descent does not end");
    calls.push_back({create, path});
  }
};

void CheckCase(std::string_view choices, const std::u16string& path) {
  fakes::CallJournal journal;
  fakes::FakeHostPlatform host(journal);
  ChoosingDevice device(journal);

  // The chain of paths that the descent may visit: the path, its parent, ...
  std::vector<std::u16string> chain;
  for (std::u16string level = path; !level.empty(); level = ParentOf(level)) chain.push_back(level);
  for (std::size_t i = 0; i < chain.size() && i < choices.size(); ++i) {
    switch (choices[i]) {
      case 'D': device.AddFolder(chain[i]); break;
      case 'F': device.AddFile(chain[i]); break;
      case 'R': device.refusals[chain[i]] = -1; break;
      case 'O': device.refusals[chain[i]] = 1; break;
      default: break;
    }
  }

  const auto input = TerminatedCopy(path);
  const int result = QelCheckDirectory(host, device, input.get());

  // Each level begins with a look-up of its own path; the levels are the
  // path and then, one after the other, each one's parent: every one
  // strictly shorter than the level that descended to it.
  std::vector<std::u16string> levels;
  std::set<std::u16string> seen;
  for (const Call& call : device.calls) {
    if (seen.insert(call.path).second) {
      QEL_FUZZ_CHECK(!call.create, "a folder created before it was looked up: " + Utf8(call.path));
      levels.push_back(call.path);
    }
  }
  QEL_FUZZ_CHECK(!levels.empty() && levels[0] == path);
  for (std::size_t i = 1; i < levels.size(); ++i) {
    QEL_FUZZ_CHECK(levels[i].size() < levels[i - 1].size());
    QEL_FUZZ_CHECK(levels[i] == ParentOf(levels[i - 1]), "level " + Utf8(levels[i]) + " below " +
                                                              Utf8(levels[i - 1]));
  }
  // At most a look-up, a creation, a second creation and a second look-up
  // per level.
  QEL_FUZZ_CHECK(device.calls.size() <= 4 * levels.size());

  const std::vector<std::string> log = LogTexts(host);
  const auto starts = std::count(log.begin(), log.end(), StartMarker("QelCheckDirectory"));
  const auto ends = std::count(log.begin(), log.end(), EndMarker("QelCheckDirectory"));
  QEL_FUZZ_CHECK(starts == static_cast<long>(levels.size()) && ends == starts);
  QEL_FUZZ_CHECK(log.back() == EndMarker("QelCheckDirectory"));

  // 0 only when the folder is there afterwards; nothing was removed, no file
  // was made, and every search was closed.
  QEL_FUZZ_CHECK(result == 0 || result == 1);
  QEL_FUZZ_CHECK(result != 0 || device.HasFolder(path));
  QEL_FUZZ_CHECK(journal.Count("CeDeleteFile") == 0 && journal.Count("CeCreateFile") == 0);
  QEL_FUZZ_CHECK(device.openHandles() == 0 && host.openHandles() == 0);
}

}  // namespace
}  // namespace qel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qel::fuzz;
  SetModuleDir(u"C:\\WORK\\");
  FuzzInput input(data, size);
  const std::string_view choices = input.NextLine();
  const std::u16string path = DecodeText(input.NextLine(), kMaxDevicePath);
  // The settings never deliver an empty device folder.
  if (path.empty()) return 0;
  CheckCase(choices, path);
  return 0;
}
