// A scriptable host for native tests: files and folders in memory with the
// listing order set by the test, an INI reader over those files, an
// environment, a clock, and faults on demand. Every call is recorded in the
// shared CallJournal; notices are recorded instead of shown.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fakes/call_journal.h"
#include "hostplatform/host_platform.h"

namespace qel::fakes {

struct RecordedNotice {
  std::u16string text;
  std::u16string caption;
  std::uint32_t style = 0;
};

class FakeHostPlatform : public HostPlatform {
 public:
  explicit FakeHostPlatform(CallJournal& journal) : journal_(journal) {}

  // --- the scripted world -------------------------------------------------
  std::u16string modulePath = u"C:\\WORK\\qelmoset.dll";
  LocalTime clock{2026, 12, 11, 9, 5, 7};
  std::map<std::u16string, std::u16string> environment;  // name -> value
  std::uint32_t waitResult = kWaitObject0;

  // Files and folders; a file or folder is listed in the order it was added.
  void AddFolder(std::u16string_view path);
  void AddFile(std::u16string_view path, std::string content = {}, std::uint32_t attributes = 0x20);
  bool Exists(std::u16string_view path) const;
  std::string Content(std::u16string_view path) const;  // empty when missing
  // Names in a folder, in listing order (files and subfolders).
  std::vector<std::u16string> List(std::u16string_view folder) const;

  // --- faults ---------------------------------------------------------------
  std::optional<std::uint32_t> listingError;  // every FindFirstFileW fails with it
  std::optional<int> failNextFileAt;          // the Nth FindNextFileW (1-based) fails
  std::vector<std::u16string> refuseDelete;   // paths whose deletion is refused
  std::vector<std::u16string> locked;         // paths that cannot be opened
  std::optional<int> failReadAt;              // the Nth ReadFile (1-based) fails
  bool appendFails = false;                   // the log cannot be opened

  // --- what happened ---------------------------------------------------------
  std::vector<RecordedNotice> notices;
  int openHandles() const { return static_cast<int>(searches_.size() + files_.size()); }
  // The text appended to a file, split into lines without their CR LF.
  std::vector<std::string> Lines(std::u16string_view path) const;

  // --- HostPlatform ----------------------------------------------------------
  std::size_t GetModuleFileNameW(char16_t* buffer, std::size_t capacity) override;
  LocalTime GetLocalTime() override;
  void MessageBoxW(const char16_t* text, const char16_t* caption, std::uint32_t style) override;
  std::uint32_t GetPrivateProfileStringW(const char16_t* section, const char16_t* key,
                                         char16_t* buffer, std::uint32_t size,
                                         const char16_t* path) override;
  Handle FindFirstFileW(const char16_t* pattern, HostFindData& data) override;
  bool FindNextFileW(Handle search, HostFindData& data) override;
  bool FindClose(Handle search) override;
  std::uint32_t GetLastError() override;
  bool DeleteFileW(const char16_t* path) override;
  Handle CreateFileW(const char16_t* path, std::uint32_t access, std::uint32_t share,
                     std::uint32_t creation) override;
  bool ReadFile(Handle file, void* buffer, std::uint32_t size, std::uint32_t* read) override;
  bool CloseHandle(Handle handle) override;
  std::uint32_t WaitForSingleObject(Handle event, std::uint32_t milliseconds) override;
  EnvironmentValue GetEnvironmentVariableW(const char16_t* name, char16_t* buffer,
                                           std::size_t capacity) override;
  bool AppendToFile(const char16_t* path, const char* bytes, std::size_t count) override;

 private:
  struct Node {
    std::u16string path;  // as added
    bool folder = false;
    std::uint32_t attributes = 0;
    std::string content;
  };
  struct Search {
    std::vector<HostFindData> entries;
    std::size_t next = 0;
  };
  struct OpenFile {
    std::u16string key;
    std::size_t offset = 0;
  };

  static std::u16string Key(std::u16string_view path);
  const Node* Find(std::u16string_view path) const;

  CallJournal& journal_;
  std::vector<Node> nodes_;  // in the order added
  std::map<Handle, Search> searches_;
  std::map<Handle, OpenFile> files_;
  Handle nextHandle_ = 0x100;
  std::uint32_t lastError_ = 0;
  int nextFileCalls_ = 0;
  int readCalls_ = 0;
};

}  // namespace qel::fakes
