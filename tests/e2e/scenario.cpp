#include "scenario.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host_runner.h"

namespace qel::e2e {

namespace fs = std::filesystem;

std::wstring Widen(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& wide) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

fs::path ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

bool UseQelrun() {
  wchar_t value[16] = {};
  return GetEnvironmentVariableW(L"QEL_E2E_HOST", value, 16) > 0 && std::wstring(value) == L"qelrun";
}

// "NOTICE caption=<caption> text=<text> style=0x00040010 topmost=yes"
Notice ParseNoticeLine(const std::string& line) {
  const auto caption = line.find("caption="), text = line.find(" text="), style = line.find(" style=");
  if (caption == std::string::npos || text == std::string::npos || style == std::string::npos) {
    throw std::runtime_error("unexpected qelrun line: " + line);
  }
  return {line.substr(caption + 8, text - caption - 8), line.substr(text + 6, style - text - 6),
          line.ends_with(" topmost=yes")};
}

// Runs qelrun.exe as a child process and reads its NOTICE lines.
RunOutcome RunThroughQelrun(const fs::path& qelrun, const fs::path& dll, const fs::path& output) {
  std::wstring commandLine = L"\"" + qelrun.wstring() + L"\" --dismiss-notices \"" + dll.wstring() + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(qelrun.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    CloseHandle(out);
    throw std::runtime_error("qelrun.exe could not be started");
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(out);

  RunOutcome outcome;
  outcome.result = static_cast<int>(code);
  std::istringstream lines(Scenario::ReadFile(output));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.starts_with("NOTICE")) continue;
    outcome.notices.push_back(ParseNoticeLine(line));
  }
  return outcome;
}

RunOutcome RunInProcess(const fs::path& dll) {
  const host::HostRunOutcome host = host::RunQelDllEntry(dll.wstring(), true);
  RunOutcome outcome;
  outcome.result = host.exitCode;
  for (const auto& notice : host.notices) {
    outcome.notices.push_back({Narrow(notice.caption), Narrow(notice.text), notice.topmost});
  }
  return outcome;
}

}  // namespace

Scenario::Scenario(const std::string& name) {
  // Each way of hosting has folders of its own, so that the test programs
  // of both may run at the same time.
  hostFolder = ProgramFolder();
  root = hostFolder.parent_path() / "e2e-work" / (UseQelrun() ? "qelrun" : "in-process") / name;
  fs::remove_all(root);
  pc = root / "pc";
  src = root / "src";
  handset = root / "handset";
  fs::create_directories(pc);
  fs::create_directories(src);
  fs::create_directories(handset / "Windows");
  fs::copy_file(ProgramFolder() / "qelmoset.dll", dll());
  std::string bytes(40000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  WriteFile(src / "UPDATE.QEL", bytes);
  WriteFile(handset / "Windows" / "Apply.exe", "device program");
  for (const char* variable : {"QEL_EMU_CONNECT", "QEL_EMU_FAIL_MKDIR", "QEL_EMU_FAIL_WRITE", "QEL_EMU_SHORT_WRITE",
                               "QEL_EMU_FAIL_PROCESS", "QEL_EMU_FAIL"}) {
    SetEnv(variable, nullptr);
  }
  SetEnv("QEL_EMU_ROOT", Narrow(handset.wstring()).c_str());
  SetEnv("QEL_EMU_JOURNAL", Narrow((root / "journal.txt").wstring()).c_str());
}

Scenario::~Scenario() {
  for (auto it = savedEnv_.rbegin(); it != savedEnv_.rend(); ++it) {
    SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
  }
}

void Scenario::SetEnv(const std::string& name, const char* value) {
  const std::wstring wideName = Widen(name);
  static wchar_t old[32768];
  SetLastError(0);
  const DWORD n = GetEnvironmentVariableW(wideName.c_str(), old, 32768);
  const bool missing = n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND;
  savedEnv_.emplace_back(wideName, missing ? std::nullopt : std::optional<std::wstring>(std::wstring(old, n)));
  SetEnvironmentVariableW(wideName.c_str(), value == nullptr ? nullptr : Widen(value).c_str());
}

void Scenario::WriteSettings(const std::string& srcValue, const std::string& dest, const std::string& fname,
                             const std::string& option) {
  WriteFile(pc / "qelmoset.ini", "[Path]\r\nsrc=" + srcValue + "\r\ndest=" + dest + "\r\n[RemoteExe]\r\nfname=" +
                                     fname + "\r\noption=" + option + "\r\n");
}

std::string Scenario::SourceFolder() const { return Narrow(src.wstring()); }

void Scenario::WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string Scenario::ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

RunOutcome Scenario::Run() {
  return UseQelrun() ? RunThroughQelrun(ProgramFolder() / "qelrun.exe", dll(), root / "qelrun.out")
                     : RunInProcess(dll());
}

RunOutcome Scenario::RunQelrunCopiedTo(const fs::path& folder) {
  fs::create_directories(folder);
  fs::copy_file(ProgramFolder() / "qelrun.exe", folder / "qelrun.exe");
  return RunThroughQelrun(folder / "qelrun.exe", dll(), root / "qelrun.out");
}

std::vector<std::string> Scenario::LogTexts() const {
  std::vector<std::string> texts;
  const std::string text = ReadFile(log());
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) throw std::runtime_error("log line without CR LF");
    const std::string line = text.substr(start, end - start);
    // "YYYY/MM/DD hh:mm:ss  "
    static const char kShape[] = "9999/99/99 99:99:99  ";
    for (std::size_t i = 0; i < sizeof(kShape) - 1; ++i) {
      const bool digit = line.size() > i && line[i] >= '0' && line[i] <= '9';
      if ((kShape[i] == '9') != digit || (kShape[i] != '9' && line[i] != kShape[i])) {
        throw std::runtime_error("malformed log line: " + line);
      }
    }
    texts.push_back(line.substr(sizeof(kShape) - 1));
    start = end + 2;
  }
  return texts;
}

std::uint32_t Scenario::HandsetAttributes(const std::string& devicePath) const {
  return GetFileAttributesW((handset.wstring() + Widen(devicePath)).c_str());
}

std::vector<std::string> Scenario::PcEntries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(pc)) names.push_back(Narrow(entry.path().filename().wstring()));
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> Scenario::HandsetFiles() const {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(handset)) {
    if (entry.is_regular_file()) files.push_back(Narrow(L"\\" + entry.path().lexically_relative(handset).wstring()));
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace qel::e2e
