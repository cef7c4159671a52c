#include "host_runner.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <stop_token>
#include <string_view>
#include <thread>
#include <type_traits>

#include "common/wide_text.h"
#include "qelmoset.h"

namespace qel::host {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

// The entry as the public header declares it, so that qelrun calls it the way
// every host that follows the header does.
static_assert(std::is_same_v<decltype(&QelDllEntry), QelDllEntryProc>);

// How often the watcher looks for a box, and for a dismissed one to go.
constexpr DWORD kPollMilliseconds = 10;

// The control of a message box that holds its text.
constexpr int kBoxTextControl = 0xFFFF;

std::string Utf8(std::wstring_view text) {
  return ToUtf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}

// --- the style the library asks for ----------------------------------------------

// Set on the calling thread by the redirected MessageBoxW before the box is
// made; read by the watcher once the box is up. Wine does not give a box the
// WS_EX_TOPMOST style that MB_TOPMOST asks for, so the request is the record.
std::atomic<unsigned> requestedStyle{0};

int WINAPI RecordingMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  requestedStyle = style;
  return ::MessageBoxW(owner, text, caption, style);
}

// The slots of a loaded module's import address table, one per imported function.
std::vector<ULONG_PTR*> ImportSlots(HMODULE module) {
  auto* const base = reinterpret_cast<BYTE*>(module);
  const auto* const dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* const nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<ULONG_PTR*> slots;
  if (imports.VirtualAddress == 0) return slots;
  for (auto* library =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    for (auto* slot = reinterpret_cast<ULONG_PTR*>(base + library->FirstThunk); *slot != 0;
         ++slot) {
      slots.push_back(slot);
    }
  }
  return slots;
}

bool WriteSlot(ULONG_PTR* slot, ULONG_PTR value) {
  DWORD previous = 0;
  if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
  *slot = value;
  ::VirtualProtect(slot, sizeof *slot, previous, &previous);
  return true;
}

// Points the import slots of a module that hold one function at another for
// as long as it lives, then puts the original back.
class ImportRedirect {
 public:
  ImportRedirect(HMODULE module, ULONG_PTR original, ULONG_PTR replacement) : original_(original) {
    for (ULONG_PTR* slot : ImportSlots(module)) {
      if (*slot == original && WriteSlot(slot, replacement)) redirected_.push_back(slot);
    }
  }
  ~ImportRedirect() {
    for (ULONG_PTR* slot : redirected_) WriteSlot(slot, original_);
  }
  ImportRedirect(const ImportRedirect&) = delete;
  ImportRedirect& operator=(const ImportRedirect&) = delete;

 private:
  ULONG_PTR original_;
  std::vector<ULONG_PTR*> redirected_;
};

// --- the watcher --------------------------------------------------------------------

BOOL CALLBACK TakeNoticeBox(HWND window, LPARAM found) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  wchar_t className[8] = {};
  if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window) ||
      ::GetClassNameW(window, className, 8) == 0 || std::wstring_view(className) != L"#32770") {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// A box of MessageBoxW that is up: a visible top-level dialog of this process.
HWND FindNoticeBox() {
  HWND found = nullptr;
  ::EnumWindows(TakeNoticeBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

ObservedNotice Observe(HWND box) {
  const unsigned style = requestedStyle;
  const bool topmost =
      (style & MB_TOPMOST) != 0 || (::GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  return {WindowText(box), WindowText(::GetDlgItem(box, kBoxTextControl)), style, topmost};
}

void WatchNotices(std::stop_token stop, std::vector<ObservedNotice>& notices,
                  const std::function<void(const ObservedNotice&)>& onNotice) {
  while (!stop.stop_requested()) {
    const HWND box = FindNoticeBox();
    if (box == nullptr) {
      ::Sleep(kPollMilliseconds);
      continue;
    }
    notices.push_back(Observe(box));
    if (onNotice) onNotice(notices.back());
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    while (::IsWindow(box) && !stop.stop_requested()) ::Sleep(kPollMilliseconds);
  }
}

// Calls the entry with the library's MessageBoxW import redirected and a
// watcher answering the boxes; the watcher has ended when this returns.
int CallDismissingNotices(HMODULE library, QelDllEntryProc entry,
                          std::vector<ObservedNotice>& notices,
                          const std::function<void(const ObservedNotice&)>& onNotice) {
  const auto messageBox = reinterpret_cast<ULONG_PTR>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "MessageBoxW"));
  const ImportRedirect redirect(library, messageBox,
                                reinterpret_cast<ULONG_PTR>(&RecordingMessageBoxW));
  requestedStyle = 0;
  // The desktop is set up (and under Wine its process started) on the first
  // use of a window in the process; do that here, before two threads race
  // for it.
  ::GetDesktopWindow();
  const std::jthread watcher(WatchNotices, std::ref(notices), std::cref(onNotice));
  return entry(0);
}

struct FreeLibraryOnExit {
  void operator()(HMODULE library) const { ::FreeLibrary(library); }
};
using LoadedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeLibraryOnExit>;

}  // namespace

HostRunOutcome RunQelDllEntry(const std::wstring& dllPath, bool dismissNotices,
                              const std::function<void(const ObservedNotice&)>& onNotice) {
  HostRunOutcome outcome;
  const LoadedLibrary library(::LoadLibraryW(dllPath.c_str()));
  if (!library) {
    const DWORD error = ::GetLastError();
    outcome.exitCode = kExitCannotLoad;
    outcome.failure = "cannot load " + Utf8(dllPath) + " (error " + std::to_string(error) + ")";
    return outcome;
  }
  const QelDllEntryProc entry = QelFindDllEntry(library.get());
  if (entry == nullptr) {
    outcome.exitCode = kExitNoEntry;
    outcome.failure = Utf8(dllPath) + " has no export QelDllEntry";
    return outcome;
  }
  outcome.exitCode = dismissNotices
                         ? CallDismissingNotices(library.get(), entry, outcome.notices, onNotice)
                         : entry(0);
  return outcome;
}

std::optional<QelrunArguments> ParseQelrunArguments(const std::vector<std::wstring>& arguments) {
  QelrunArguments parsed;
  for (const std::wstring& argument : arguments) {
    if (argument == L"--dismiss-notices") {
      parsed.dismissNotices = true;
    } else if (argument.starts_with(L"-") || !parsed.dllPath.empty()) {
      return std::nullopt;
    } else {
      parsed.dllPath = argument;
    }
  }
  if (parsed.dllPath.empty()) return std::nullopt;
  return parsed;
}

std::string NoticeLine(const ObservedNotice& notice) {
  char style[16];
  std::snprintf(style, sizeof style, "0x%08X", notice.style);
  return "NOTICE caption=" + Utf8(notice.caption) + " text=" + Utf8(notice.text) +
         " style=" + style + " topmost=" + (notice.topmost ? "yes" : "no") + "\n";
}

std::string ResultLine(int result) {
  const char* const words = result == QEL_RESULT_SUCCESS   ? "success"
                            : result == QEL_RESULT_FAILURE ? "failure"
                                                           : "unexpected";
  return "RESULT " + std::to_string(result) + " (" + words + ")\n";
}

}  // namespace qel::host
