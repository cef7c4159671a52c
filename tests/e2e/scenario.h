// One update run end to end under Wine: a PC side (the library's folder with
// a copy of qelmoset.dll and its settings file, a source folder with the
// update file) and a handset folder for the emulated device, then the run
// through a host program, and what it left behind.
//
// The host is qelrun.exe as a child process when QEL_E2E_HOST=qelrun, else
// the same host code in this process (each 32-bit process takes about a
// minute to start under emulation, so the x86 suite runs in-process).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "emulator_journal.h"

namespace qel::e2e {

struct Notice {
  std::string caption, text;  // UTF-8
  bool topmost = false;
};

struct RunOutcome {
  int result = -1;
  std::vector<Notice> notices;
};

class Scenario {
 public:
  // A fresh folder for the named scenario, laid out with a source folder
  // holding UPDATE.QEL (40000 bytes) and a handset with \Windows\Apply.exe.
  explicit Scenario(const std::string& name);
  ~Scenario();

  std::filesystem::path root, pc, src, handset;
  std::filesystem::path hostFolder;  // the host program's own folder
  std::filesystem::path dll() const { return pc / libraryName; }
  std::filesystem::path log() const { return pc / "qelmoset.log"; }
  std::string libraryName = "qelmoset.dll";

  // Writes pc/qelmoset.ini in UTF-8 with CR LF.
  void WriteSettings(const std::string& src, const std::string& dest, const std::string& fname = "\\Windows\\Apply.exe",
                     const std::string& option = "-Auto");
  // src as a Windows path.
  std::string SourceFolder() const;
  static void WriteFile(const std::filesystem::path& path, const std::string& bytes);
  static std::string ReadFile(const std::filesystem::path& path);

  // Sets an environment variable for the run, or removes it (nullptr); the
  // earlier value comes back when the scenario ends.
  void SetEnv(const std::string& name, const char* value);

  RunOutcome Run();
  // Runs a copy of qelrun.exe placed alone in folder (without RAPI.dll).
  RunOutcome RunQelrunCopiedTo(const std::filesystem::path& folder);

  // The log's lines without their timestamps (each timestamp checked).
  std::vector<std::string> LogTexts() const;
  emulator::EmulatorJournal Journal() const { return emulator::EmulatorJournal(root / "journal.txt"); }
  // Attributes of a handset entry as Wine reports them, or INVALID_FILE_ATTRIBUTES.
  std::uint32_t HandsetAttributes(const std::string& devicePath) const;
  std::vector<std::string> PcEntries() const;
  // Every file on the handset as a device path, such as \Windows\Apply.exe; sorted.
  std::vector<std::string> HandsetFiles() const;

 private:
  // Each variable set for the run, with the value it had before (none: unset).
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> savedEnv_;
};

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

}  // namespace qel::e2e
