// Memory figures of this process, as GetProcessMemoryInfo reports them.
#pragma once

#include <cstdint>

namespace qel::bench {

struct MemorySample {
  std::uint64_t workingSet = 0;
  std::uint64_t peakWorkingSet = 0;
};

MemorySample ReadMemory();

// Sets the peak working set back to the present working set, so that the
// next peak read is that of what runs in between. Under Wine on Linux the
// peak is the kernel's high-water mark of resident memory, which the
// process's clear_refs file resets. False where that is not possible.
bool ResetPeakWorkingSet();

}  // namespace qel::bench
