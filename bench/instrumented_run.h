// Where the time of an update run goes. The run sequence of the library,
// built into this program from the same sources, runs against the real Win32
// host and the real RAPI.dll binding, with every call across the two
// boundaries timed and put down to the part of the run it serves.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <string>

#include "layout.h"

namespace qel::bench {

enum class Part : std::size_t {
  kModulePath,      // the library's own path
  kLog,             // local time and log appends
  kConnection,      // start, wait for, and end the connection
  kSettings,        // the settings file and the environment
  kSearch,          // listing the source folder for the update file
  kDeviceFolder,    // finding or making the device folder
  kTransfer,        // opening, reading, writing and closing the two files
  kDeviceProgram,   // starting the device program
  kCleanupListing,  // listing the library's folder
  kDeletion,        // deleting its working files
  kCount
};
inline constexpr std::size_t kPartCount = static_cast<std::size_t>(Part::kCount);

struct RunBreakdown {
  int result = -1;
  double load = 0;     // LoadLibraryW and FreeLibrary of the library's copy
  double binding = 0;  // RAPI.dll bound and freed again
  double run = 0;      // the run sequence from start to end
  std::array<double, kPartCount> parts{};
  unsigned logLines = 0;
  unsigned notices = 0;  // none in a successful run
  std::map<std::u16string, double> stages;  // from a stage's START line to its END line
};

// One run with the layout's settings file put in place beforehand.
RunBreakdown InstrumentedRun(const Layout& layout);

// Seconds per line of the library's log writer appending lines in a row to
// the log beside the library's copy, on the real host.
double LogLineSeconds(const Layout& layout, unsigned lines);

}  // namespace qel::bench
