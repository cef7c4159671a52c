// qelrun: the smallest host updater. Loads a library such as qelmoset.dll
// from the path given, calls its QelDllEntry once and exits with the result.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host_runner.h"

namespace {

constexpr char kUsage[] =
    "usage: qelrun [--dismiss-notices] <path of qelmoset.dll>\n"
    "Loads the library, calls QelDllEntry(0) once and exits with its result.\n"
    "  --dismiss-notices  answer every notice box with OK and print one line for it:\n"
    "                     NOTICE caption=<caption> text=<text> style=0x<hex> topmost=yes|no\n"
    "When the entry has returned: RESULT <n> (success|failure|unexpected)\n"
    "Exit codes: the entry's result; 100 usage; 101 the library cannot be loaded;\n"
    "102 the library has no export QelDllEntry.\n";

void Print(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // UTF-8 lines with bare line feeds, whatever reads them.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  const std::optional<qel::host::QelrunArguments> arguments =
      qel::host::ParseQelrunArguments({argv + 1, argv + argc});
  if (!arguments) {
    std::fputs(kUsage, stderr);
    return qel::host::kExitUsage;
  }
  const qel::host::HostRunOutcome outcome = qel::host::RunQelDllEntry(
      arguments->dllPath, arguments->dismissNotices,
      [](const qel::host::ObservedNotice& notice) { Print(qel::host::NoticeLine(notice)); });
  if (!outcome.failure.empty()) {
    std::fprintf(stderr, "qelrun: %s\n", outcome.failure.c_str());
  } else {
    Print(qel::host::ResultLine(outcome.exitCode));
  }
  return outcome.exitCode;
}
