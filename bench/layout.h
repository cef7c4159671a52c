// The folders of a measured update run under one work folder:
//   pc\              the library's folder: a copy of qelmoset.dll, and before
//                    each run a fresh qelmoset.ini (the run deletes it)
//   src-<bytes>\     one source folder per update file size, holding update.qel
//   handset\         the emulated handset's file system: \Windows\Apply.exe
//                    and the destination folder \UPDATES
//   copy\            where the plain Win32 copy writes
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace qel::bench {

namespace fs = std::filesystem;

class Layout {
 public:
  // Lays the folders out afresh and points the device emulator at the
  // handset folder, without a journal (it would cost a file append per call).
  Layout(const fs::path& work, const fs::path& library);

  fs::path work, pc, handset, copy;

  fs::path Dll() const { return pc / "qelmoset.dll"; }
  fs::path Log() const { return pc / "qelmoset.log"; }
  fs::path UpdateFile(std::uint64_t bytes) const;
  fs::path DeviceCopy() const { return handset / "UPDATES" / "update.qel"; }
  // The device copy's path as the handset names it.
  static const char16_t* DeviceCopyPath() { return u"\\UPDATES\\update.qel"; }

  // Makes the update file of that size unless it is there already (the
  // bench script makes them beforehand, to time cp on the same files).
  // Returns whether it was made.
  bool EnsureUpdateFile(std::uint64_t bytes) const;
  // Puts a settings file for the update file of that size beside the library
  // and removes the device copy of an earlier run.
  void PrepareRun(std::uint64_t bytes) const;
};

void WriteText(const fs::path& path, const std::string& text);
// Appends copies of a typical log line until the file holds at least bytes.
void GrowLog(const fs::path& path, std::uint64_t bytes);
// Makes count empty files named work00001.tmp and so on in folder.
void MakeFiles(const fs::path& folder, unsigned count);

}  // namespace qel::bench
