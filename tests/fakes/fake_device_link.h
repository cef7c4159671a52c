// A scriptable handset for native tests: folders and files in memory, the
// outcome of the connection, and any operation failing at its Nth call, all
// set by the test. Every call is recorded in the shared CallJournal.
#pragma once

#include <map>
#include <set>
#include <string>

#include "device/device_link.h"
#include "fakes/call_journal.h"

namespace qel::fakes {

struct DeviceFile {
  std::string content;
  std::uint32_t attributes = 0;
};

class FakeDeviceLink : public DeviceLink {
 public:
  explicit FakeDeviceLink(CallJournal& journal) : journal_(journal) { folders_.insert(u"\\"); }

  // --- the scripted device -------------------------------------------------
  HResult initResult = kSOk;        // what CeRapiInitEx returns
  Handle initEvent = 0x7E;          // the event handle it hands out
  HResult recordResult = kSOk;      // hrRapiInit of the record
  // Operation name -> the call (1-based) of that operation that fails.
  std::map<std::string, int> failAt;
  int shortWriteAt = 0;             // the CeWriteFile call (1-based) that writes one byte less

  void AddFolder(std::u16string_view path) { folders_.insert(Key(path)); }
  void AddFile(std::u16string_view path, std::string content = {}, std::uint32_t attributes = 0x20) {
    files_[Key(path)] = {std::move(content), attributes};
  }
  bool HasFolder(std::u16string_view path) const { return folders_.count(Key(path)) == 1; }
  const DeviceFile* File(std::u16string_view path) const;

  // --- what happened ---------------------------------------------------------
  int connectionsBegun = 0;
  int connectionsEnded = 0;
  int openHandles() const { return static_cast<int>(searches_.size() + openFiles_.size()); }
  std::u16string startedProgram, startedCommandLine;

  // --- DeviceLink ---------------------------------------------------------------
  HResult CeRapiInitEx(Handle& event) override;
  HResult CeRapiInitResult() override { return recordResult; }
  HResult CeRapiUninit() override;
  Handle CeFindFirstFile(const char16_t* path, DeviceFindData& data) override;
  bool CeFindClose(Handle search) override;
  bool CeCreateDirectory(const char16_t* path) override;
  Handle CeCreateFile(const char16_t* path, std::uint32_t access, std::uint32_t share,
                      std::uint32_t creation, std::uint32_t flagsAndAttributes) override;
  bool CeWriteFile(Handle file, const void* buffer, std::uint32_t count, std::uint32_t* written) override;
  bool CeCloseHandle(Handle handle) override;
  bool CeDeleteFile(const char16_t* path) override;
  bool CeCreateProcess(const char16_t* program, const char16_t* commandLine) override;

 private:
  static std::u16string Key(std::u16string_view path);
  // Counts the call of op and tells whether the test made this one fail.
  bool Fails(const std::string& op);

  CallJournal& journal_;
  std::set<std::u16string> folders_;
  std::map<std::u16string, DeviceFile> files_;
  std::set<Handle> searches_;
  std::map<Handle, std::u16string> openFiles_;
  std::map<std::string, int> calls_;
  Handle nextHandle_ = 0x200;
};

}  // namespace qel::fakes
