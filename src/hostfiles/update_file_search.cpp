#include "hostfiles/update_file_search.h"

#include <algorithm>
#include <string_view>

#include "common/platform_types.h"
#include "common/unique_handle.h"
#include "runlog/run_log.h"

namespace qel {

namespace {

constexpr std::u16string_view kPatternTail = u"\\*.qel";
// The pattern must stay below this length, one less than a full buffer.
constexpr std::size_t kPatternLimit = kMaxPath - 1;
constexpr char16_t kListingError[] = u"FindFirstFile ERROR";

using HostSearch = UniqueHandle<HostPlatform, &HostPlatform::FindClose>;

}  // namespace

int QelFindFile(HostPlatform& host, const char16_t* sourceFolder, char16_t* updateFileName) {
  StageMarkers markers(host, u"QelFindFile");
  const std::u16string_view folder(sourceFolder);
  if (folder.size() + kPatternTail.size() >= kPatternLimit) {
    // Nothing has been put into the name buffer yet: the detail is empty.
    QelWriteLog(host, u"Length Over", u"");
    return 1;
  }
  char16_t* end = std::copy(folder.begin(), folder.end(), updateFileName);
  *std::copy(kPatternTail.begin(), kPatternTail.end(), end) = u'\0';

  HostFindData entry;
  HostSearch search(host, host.FindFirstFileW(updateFileName, entry));
  if (!search.valid()) {
    QelWriteLog(host, kListingError, updateFileName);
    return 1;
  }
  while ((entry.attributes & kFileAttributeDirectory) != 0) {
    if (!host.FindNextFileW(search.get(), entry)) {
      // Only folders matched: the listing is ended before the failure is told.
      search.reset();
      QelWriteLog(host, kListingError, updateFileName);
      return 1;
    }
  }
  // The bare name, terminated, over the pattern; both buffers hold kMaxPath.
  std::copy_n(entry.name, kMaxPath, updateFileName);
  return 0;
}

}  // namespace qel
