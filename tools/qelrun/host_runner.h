// One call of a library's QelDllEntry, made as a host updater makes it: load
// the library from its full path, call the entry once on this thread, free
// the library. Optionally every notice box shown meanwhile is watched,
// recorded and answered with OK, so that a run needs nobody at the screen.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qel::host {

// Exit codes of qelrun besides the entry's own result, which is passed on.
inline constexpr int kExitUsage = 100;
inline constexpr int kExitCannotLoad = 101;
inline constexpr int kExitNoEntry = 102;

struct ObservedNotice {
  std::wstring caption;
  std::wstring text;
  unsigned style = 0;    // as the library passed it to MessageBoxW
  bool topmost = false;  // MB_TOPMOST was asked for, or the box has WS_EX_TOPMOST
};

struct HostRunOutcome {
  int exitCode = 0;                     // the entry's result, kExitCannotLoad or kExitNoEntry
  std::string failure;                  // UTF-8; why the entry was not called, empty when it was
  std::vector<ObservedNotice> notices;  // in the order shown; only when dismissing
};

// Loads the library at dllPath, calls QelDllEntry(0) and frees the library.
// With dismissNotices, the library's calls of MessageBoxW are redirected to a
// recorder of the requested style, and a watcher thread finds each box,
// reads its caption and text, calls onNotice (if given) on that thread and
// presses OK. Runs may follow one another in a process; they must not overlap.
HostRunOutcome RunQelDllEntry(const std::wstring& dllPath, bool dismissNotices,
                              const std::function<void(const ObservedNotice&)>& onNotice = {});

// qelrun's command line: [--dismiss-notices] <path of the library>, the
// option before or after the path.
struct QelrunArguments {
  std::wstring dllPath;
  bool dismissNotices = false;
};

// Empty when the arguments (without the program name) are not of that form:
// no path, a second path or an unknown option. qelrun then shows its usage.
std::optional<QelrunArguments> ParseQelrunArguments(const std::vector<std::wstring>& arguments);

// The lines that qelrun prints, in UTF-8 with a line feed:
//   NOTICE caption=<caption> text=<text> style=0x00040010 topmost=yes
//   RESULT 0 (success)      RESULT 1 (failure)      RESULT 7 (unexpected)
std::string NoticeLine(const ObservedNotice& notice);
std::string ResultLine(int result);

}  // namespace qel::host
