// RAPI.dll for tests: a handset emulated on the host. The device's file
// system is the host folder QEL_EMU_ROOT; every call is journaled to
// QEL_EMU_JOURNAL; faults are set from the environment (README.md). All
// variables are read again at every CeRapiInitEx, and the call counters start
// again there, so that one process can run one scenario per connection.
// Calls are expected on one thread, as the remote API's callers make them.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "device/rapi.h"
#include "emulator_settings.h"
#include "journal_line.h"
#include "win32_handles.h"

namespace qel::emulator {
namespace {

// The host path of a device path. Separators may be doubled or trail; a path
// that is empty or holds a ".." component (it could leave the root) has none.
std::optional<std::wstring> HostPath(const std::wstring& root, LPCWSTR devicePath) {
  if (root.empty() || devicePath == nullptr || *devicePath == L'\0') return std::nullopt;
  std::wstring host = root;
  while (host.size() > 1 && (host.back() == L'\\' || host.back() == L'/')) host.pop_back();
  std::wstring_view rest(devicePath);
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find_first_of(L"\\/"), rest.size());
    const std::wstring_view part = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (part == L"..") return std::nullopt;
    if (!part.empty()) host.append(L"\\").append(part);
  }
  return host;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The object handed out in heRapiInit: a manual-reset event, set at once
// unless the link never comes up; for a delayed link a manual-reset waitable
// timer, which the system signals when the delay is over, so that no code of
// this library runs after CeRapiUninit or after it is unloaded.
UniqueHandle ReadyObject(const Settings& settings) {
  if (settings.connect != ConnectMode::kDelay) {
    return UniqueHandle(CreateEventW(nullptr, TRUE, settings.connect != ConnectMode::kNever, nullptr));
  }
  UniqueHandle timer(CreateWaitableTimerW(nullptr, TRUE, nullptr));
  LARGE_INTEGER due{};
  due.QuadPart = -10000LL * settings.delayMilliseconds;  // relative, in 100 ns units
  if (timer && !SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE)) timer.reset();
  return timer;
}

class Emulator {
 public:
  const Settings& settings() const { return settings_; }

  // A new connection: fresh settings and counters, nothing left of the last one.
  HRESULT Begin(RAPIINIT* init) {
    settings_ = ReadSettings();
    End();
    calls_.clear();
    if (init == nullptr || init->cbSize != sizeof(RAPIINIT) || !settings_.valid) return E_INVALIDARG;
    if (settings_.root.empty() || settings_.connect == ConnectMode::kRefuse) return E_FAIL;
    ready_ = ReadyObject(settings_);
    if (!ready_) return E_FAIL;
    begun_ = true;
    init->heRapiInit = ready_.get();
    init->hrRapiInit = settings_.connect == ConnectMode::kFail ? E_FAIL : S_OK;
    return S_OK;
  }

  // Ends the connection; S_OK when one was begun.
  HRESULT End() {
    const HRESULT result = begun_ ? S_OK : E_FAIL;
    begun_ = false;
    ready_.reset();
    files_.clear();
    searches_.clear();
    return result;
  }

  // Counts a call of operation and tells whether it may do its work: the
  // link is up and no fault is set for this call.
  bool Proceeds(const std::string& operation) {
    const unsigned call = ++calls_[operation];
    for (const FailAt& fault : settings_.failAt) {
      if (fault.operation == operation && fault.call == call) return false;
    }
    return LinkUp();
  }

  unsigned CallsOf(const std::string& operation) { return calls_[operation]; }

  std::optional<std::wstring> Host(LPCWSTR devicePath) const { return HostPath(settings_.root, devicePath); }

  HANDLE AddSearch(UniqueSearch search) { return searches_.emplace(search.get(), std::move(search)).first->first; }
  bool CloseSearch(HANDLE search) { return searches_.erase(search) == 1; }
  HANDLE AddFile(UniqueHandle file) { return files_.emplace(file.get(), std::move(file)).first->first; }
  bool IsFile(HANDLE file) const { return files_.count(file) == 1; }
  bool CloseFile(HANDLE file) { return files_.erase(file) == 1; }

 private:
  bool LinkUp() const {
    return begun_ && settings_.connect != ConnectMode::kFail &&
           WaitForSingleObject(ready_.get(), 0) == WAIT_OBJECT_0;
  }

  Settings settings_ = ReadSettings();
  bool begun_ = false;
  UniqueHandle ready_;
  std::map<std::string, unsigned> calls_;
  std::map<HANDLE, UniqueHandle> files_;
  std::map<HANDLE, UniqueSearch> searches_;
};

Emulator& State() {
  static Emulator emulator;
  return emulator;
}

const std::wstring& Journal() { return State().settings().journal; }

CE_FIND_DATA ToCeFindData(const WIN32_FIND_DATAW& found) {
  CE_FIND_DATA data{};
  data.dwFileAttributes = found.dwFileAttributes;
  data.ftCreationTime = found.ftCreationTime;
  data.ftLastAccessTime = found.ftLastAccessTime;
  data.ftLastWriteTime = found.ftLastWriteTime;
  data.nFileSizeHigh = found.nFileSizeHigh;
  data.nFileSizeLow = found.nFileSizeLow;
  static_assert(sizeof data.cFileName == sizeof found.cFileName);
  std::memcpy(data.cFileName, found.cFileName, sizeof data.cFileName);
  return data;
}

// A program is found when the device path names a file; a bare name (without
// backslash) is looked up in \Windows.
bool ProgramExists(LPCWSTR program) {
  if (program == nullptr) return false;
  const std::wstring devicePath =
      std::wcschr(program, L'\\') != nullptr ? std::wstring(program) : L"\\Windows\\" + std::wstring(program);
  const auto host = State().Host(devicePath.c_str());
  if (!host) return false;
  const DWORD attributes = GetFileAttributesW(host->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace
}  // namespace qel::emulator

using qel::emulator::Journal;
using qel::emulator::JournalLine;
using qel::emulator::State;

extern "C" {

HRESULT WINAPI CeRapiInitEx(RAPIINIT* init) {
  const HRESULT result = State().Begin(init);
  JournalLine("CeRapiInitEx").Number(init == nullptr ? 0 : init->cbSize).CodeResult(Journal(), result);
  return result;
}

HRESULT WINAPI CeRapiUninit() {
  const HRESULT result = State().End();
  JournalLine("CeRapiUninit").CodeResult(Journal(), result);
  return result;
}

HANDLE WINAPI CeFindFirstFile(LPCWSTR path, CE_FIND_DATA* data) {
  auto& state = State();
  HANDLE result = INVALID_HANDLE_VALUE;
  const auto host = state.Host(path);
  if (state.Proceeds("CeFindFirstFile") && host && data != nullptr) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(host->c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      *data = qel::emulator::ToCeFindData(found);
      result = state.AddSearch(qel::emulator::UniqueSearch(search));
    }
  }
  JournalLine("CeFindFirstFile").Path(path).HandleResult(Journal(), result);
  return result;
}

BOOL WINAPI CeFindClose(HANDLE search) {
  auto& state = State();
  const bool ok = state.Proceeds("CeFindClose") && state.CloseSearch(search);
  JournalLine("CeFindClose").Handle(search).FlagResult(Journal(), ok);
  return ok;
}

BOOL WINAPI CeCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  auto& state = State();
  const auto host = state.Host(path);
  const auto failing = state.Host(state.settings().failMkdir.c_str());
  const bool ok = state.Proceeds("CeCreateDirectory") && host &&
                  !(failing && qel::emulator::SameText(*host, *failing)) &&
                  CreateDirectoryW(host->c_str(), nullptr);
  JournalLine("CeCreateDirectory").Path(path).FlagResult(Journal(), ok);
  return ok;
}

HANDLE WINAPI CeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                           DWORD creation, DWORD flagsAndAttributes, HANDLE) {
  auto& state = State();
  HANDLE result = INVALID_HANDLE_VALUE;
  const auto host = state.Host(path);
  if (state.Proceeds("CeCreateFile") && host) {
    auto file = qel::emulator::OwnFile(
        CreateFileW(host->c_str(), access, share, nullptr, creation, flagsAndAttributes, nullptr));
    if (file) result = state.AddFile(std::move(file));
  }
  JournalLine("CeCreateFile")
      .Path(path)
      .Number(access)
      .Number(share)
      .Number(creation)
      .Number(flagsAndAttributes)
      .HandleResult(Journal(), result);
  return result;
}

BOOL WINAPI CeWriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
  auto& state = State();
  const bool proceeds = state.Proceeds("CeWriteFile");
  const unsigned call = state.CallsOf("CeWriteFile");
  const auto& settings = state.settings();
  DWORD done = 0;
  bool ok = false;
  if (proceeds && state.IsFile(file) && call != settings.failWrite) {
    const DWORD asked = call == settings.shortWrite && count > 0 ? count - 1 : count;
    ok = WriteFile(file, buffer, asked, &done, nullptr);
  }
  if (written != nullptr) *written = done;
  JournalLine("CeWriteFile").Handle(file).Number(count).Number(done).FlagResult(Journal(), ok);
  return ok;
}

BOOL WINAPI CeCloseHandle(HANDLE handle) {
  auto& state = State();
  const bool ok = state.Proceeds("CeCloseHandle") && state.CloseFile(handle);
  JournalLine("CeCloseHandle").Handle(handle).FlagResult(Journal(), ok);
  return ok;
}

BOOL WINAPI CeDeleteFile(LPCWSTR path) {
  auto& state = State();
  const auto host = state.Host(path);
  const bool ok = state.Proceeds("CeDeleteFile") && host && DeleteFileW(host->c_str());
  JournalLine("CeDeleteFile").Path(path).FlagResult(Journal(), ok);
  return ok;
}

BOOL WINAPI CeCreateProcess(LPCWSTR program, LPCWSTR commandLine, LPSECURITY_ATTRIBUTES,
                            LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID, LPWSTR, LPSTARTUPINFOW,
                            LPPROCESS_INFORMATION) {
  auto& state = State();
  const bool ok = state.Proceeds("CeCreateProcess") && !state.settings().failProcess &&
                  qel::emulator::ProgramExists(program);
  JournalLine("CeCreateProcess").Path(program).Path(commandLine).FlagResult(Journal(), ok);
  return ok;
}

}  // extern "C"
