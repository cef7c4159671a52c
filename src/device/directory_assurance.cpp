#include "device/directory_assurance.h"

#include <algorithm>

#include "common/wide_text.h"
#include "runlog/run_log.h"

namespace qel {

namespace {

enum class Entry { kNone, kFolder, kOther };

// Looks path itself up on the device (no wildcard) and tells whether no
// entry, a folder or another entry has that name. The search is closed
// before this returns.
Entry LookUp(DeviceLink& device, const char16_t* path) {
  DeviceFindData data;
  const DeviceSearch search(device, device.CeFindFirstFile(path, data));
  if (!search.valid()) return Entry::kNone;
  return (data.attributes & kFileAttributeDirectory) != 0 ? Entry::kFolder : Entry::kOther;
}

// Length of the parent's path: everything before the last backslash found
// from the last character back to the second; 0 when there is none.
std::size_t ParentLength(const char16_t* path) {
  for (std::size_t i = WideLength(path); i-- > 1;) {
    if (path[i] == u'\\') return i;
  }
  return 0;
}

// Assures the parent folder. Its buffer exists only for the descent, and no
// find record is held meanwhile, so each level of the recursion keeps just
// one path buffer on the stack (a 259-character path may have 129 levels).
int CheckParent(HostPlatform& host, DeviceLink& device, const char16_t* path, std::size_t parentLength) {
  char16_t parent[kMaxPath] = {};
  std::copy_n(path, parentLength, parent);
  return QelCheckDirectory(host, device, parent);
}

}  // namespace

int QelCheckDirectory(HostPlatform& host, DeviceLink& device, const char16_t* path) {
  StageMarkers markers(host, u"QelCheckDirectory");
  QelWriteLog(host, u"<=== DIR ===>", path);

  switch (LookUp(device, path)) {
    case Entry::kFolder:
      return 0;
    case Entry::kOther:
      QelWriteLog(host, u"FindFirstFile ERROR", path);
      return 1;
    case Entry::kNone:
      break;
  }
  if (device.CeCreateDirectory(path)) return 0;

  // The creation may have failed for a missing parent. A path without a
  // parent (or with one too long for a path buffer) has nothing to descend
  // to: descending on an empty parent would never end.
  const std::size_t parentLength = ParentLength(path);
  if (parentLength == 0 || parentLength >= kMaxPath) {
    QelWriteLog(host, u"CeCreateDirectory ERROR", path);
    return 1;
  }
  if (CheckParent(host, device, path, parentLength) != 0) {
    QelWriteLog(host, u"FindFirstFile ERROR", path);
    return 1;
  }
  if (!device.CeCreateDirectory(path) || LookUp(device, path) == Entry::kNone) {
    QelWriteLog(host, u"CeCreateDirectory ERROR", path);
    return 1;
  }
  return 0;
}

}  // namespace qel
