// Owns one handle of a platform and closes it on every way out of a scope.
// reset() closes it early where the order of closing is part of the behaviour.
#pragma once

#include "common/platform_types.h"

namespace qel {

template <typename Platform, bool (Platform::*Close)(Handle)>
class UniqueHandle {
 public:
  UniqueHandle(Platform& platform, Handle handle) : platform_(platform), handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != kInvalidHandle; }

  void reset() {
    if (valid()) (platform_.*Close)(handle_);
    handle_ = kInvalidHandle;
  }

 private:
  Platform& platform_;
  Handle handle_;
};

}  // namespace qel
