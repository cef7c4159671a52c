#include "layout.h"

#include <windows.h>

#include <fstream>
#include <stdexcept>
#include <vector>

namespace qel::bench {

namespace {

fs::path SourceFolder(const fs::path& work, std::uint64_t bytes) {
  return work / ("src-" + std::to_string(bytes));
}

void SetVariable(const wchar_t* name, const wchar_t* value) {
  if (!SetEnvironmentVariableW(name, value) && value != nullptr) {
    throw std::runtime_error("cannot set an environment variable");
  }
}

// Pseudo-random bytes, so that nothing along the way gains from a pattern.
void WriteRandomFile(const fs::path& path, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> chunk(1 << 20);
  std::uint32_t state = 2463534242u;
  for (std::uint64_t left = bytes; left > 0;) {
    for (char& byte : chunk) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      byte = static_cast<char>(state);
    }
    const std::uint64_t count = std::min<std::uint64_t>(left, chunk.size());
    out.write(chunk.data(), static_cast<std::streamsize>(count));
    left -= count;
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

Layout::Layout(const fs::path& workFolder, const fs::path& library)
    : work(workFolder), pc(work / "pc"), handset(work / "handset"), copy(work / "copy") {
  fs::remove_all(pc);
  fs::remove_all(handset);
  fs::remove_all(copy);
  fs::create_directories(pc);
  fs::create_directories(handset / "Windows");
  fs::create_directories(handset / "UPDATES");
  fs::create_directories(copy);
  fs::copy_file(library, Dll());
  WriteText(handset / "Windows" / "Apply.exe", "device program");
  SetVariable(L"QEL_EMU_ROOT", handset.c_str());
  for (const wchar_t* variable : {L"QEL_EMU_JOURNAL", L"QEL_EMU_CONNECT", L"QEL_EMU_FAIL_MKDIR", L"QEL_EMU_FAIL_WRITE",
                                  L"QEL_EMU_SHORT_WRITE", L"QEL_EMU_FAIL_PROCESS", L"QEL_EMU_FAIL"}) {
    SetVariable(variable, nullptr);
  }
}

fs::path Layout::UpdateFile(std::uint64_t bytes) const { return SourceFolder(work, bytes) / "update.qel"; }

bool Layout::EnsureUpdateFile(std::uint64_t bytes) const {
  const fs::path file = UpdateFile(bytes);
  if (fs::exists(file) && fs::file_size(file) == bytes) return false;
  fs::create_directories(file.parent_path());
  WriteRandomFile(file, bytes);
  return true;
}

void Layout::PrepareRun(std::uint64_t bytes) const {
  WriteText(pc / "qelmoset.ini", "[Path]\r\nsrc=" + SourceFolder(work, bytes).string() +
                                     "\r\ndest=\\Updates\r\n[RemoteExe]\r\nfname=\\Windows\\Apply.exe\r\n"
                                     "option=-Auto\r\n");
  fs::remove(DeviceCopy());
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void GrowLog(const fs::path& path, std::uint64_t bytes) {
  const std::string line = "2024/01/01 12:00:00  <========== QelTransUpdateFile START ==========>\r\n";
  std::string chunk;
  while (chunk.size() < (1u << 20)) chunk += line;
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path.string());
  bool ok = true;
  for (std::uint64_t size = fs::file_size(path); ok && size < bytes; size += chunk.size()) {
    DWORD written = 0;
    ok = WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) && written == chunk.size();
  }
  // On disk before any run is timed, so that no write-back competes with it.
  ok = FlushFileBuffers(file) && ok;
  CloseHandle(file);
  if (!ok) throw std::runtime_error("cannot write " + path.string());
}

void MakeFiles(const fs::path& folder, unsigned count) {
  for (unsigned i = 1; i <= count; ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"work%05u.tmp", i);
    const HANDLE file = CreateFileW((folder / name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot make a file in " + folder.string());
    CloseHandle(file);
  }
}

}  // namespace qel::bench
