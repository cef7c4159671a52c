#include "memory.h"

#include <windows.h>
#include <psapi.h>

namespace qel::bench {

MemorySample ReadMemory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return {};
  return {counters.WorkingSetSize, counters.PeakWorkingSetSize};
}

bool ResetPeakWorkingSet() {
  // Writing 5 to clear_refs resets the resident set's high-water mark.
  const HANDLE file = CreateFileW(L"Z:\\proc\\self\\clear_refs", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, "5", 1, &written, nullptr) && written == 1;
  CloseHandle(file);
  return ok;
}

}  // namespace qel::bench
