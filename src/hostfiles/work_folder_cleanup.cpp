#include "hostfiles/work_folder_cleanup.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "common/platform_types.h"
#include "common/unique_handle.h"
#include "common/wide_text.h"
#include "runlog/run_log.h"

namespace qel {

namespace {

constexpr char16_t kListingPattern[] = u"*.*";
constexpr char16_t kDeleteFailed[] = u"Delete Fail";
constexpr std::u16string_view kKeptExtension = u".LOG";

using HostSearch = UniqueHandle<HostPlatform, &HostPlatform::FindClose>;

// The extension runs from the last full stop to the end of the name; log
// files are kept whatever the letter case of theirs.
bool IsLogFile(const char16_t* name) {
  const std::u16string_view text(name);
  const std::size_t dot = text.rfind(u'.');
  if (dot == std::u16string_view::npos) return false;
  std::u16string extension(text.substr(dot));
  UpperCaseAscii(extension.data());
  return extension == kKeptExtension;
}

// Deletes one listed entry unless it is a folder or a log file, and logs the
// outcome with the entry's full path.
void CleanEntry(HostPlatform& host, const HostFindData& entry) {
  if ((entry.attributes & kFileAttributeDirectory) != 0 || IsLogFile(entry.name)) return;
  char16_t path[kMaxPath];
  if (!QelModuleFilePath(entry.name, path)) {
    // Too long for the path buffer: left in place, and named in full.
    QelWriteLog(host, kDeleteFailed, (std::u16string(ModuleDir) + entry.name).c_str());
    return;
  }
  QelWriteLog(host, host.DeleteFileW(path) ? u"Delete Succeed" : kDeleteFailed, path);
}

}  // namespace

int QelDelete(HostPlatform& host) {
  StageMarkers markers(host, u"QelDelete");
  char16_t pattern[kMaxPath];
  if (!QelModuleFilePath(kListingPattern, pattern)) {
    // No folder to list, or one too long for the pattern: never list another.
    QelWriteLog(host, u"FindFirstFile ERROR", (std::u16string(ModuleDir) + kListingPattern).c_str());
    return 1;
  }
  HostFindData entry;
  HostSearch search(host, host.FindFirstFileW(pattern, entry));
  if (!search.valid()) {
    const std::uint32_t reason = host.GetLastError();
    // A missing folder or an empty listing leaves nothing to clean.
    if (reason == kErrorPathNotFound || reason == kErrorNoMoreFiles) return 0;
    QelWriteLog(host, u"FindFirstFile ERROR", pattern);
    return 1;
  }
  do {
    CleanEntry(host, entry);
  } while (host.FindNextFileW(search.get(), entry));
  return 0;
}

}  // namespace qel
