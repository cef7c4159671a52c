// The emulator's settings, all taken from environment variables at every
// CeRapiInitEx (see README.md for the list). A malformed value makes the
// settings invalid, and CeRapiInitEx then refuses the connection, so that a
// mistyped scenario fails loudly instead of running without its fault.
#pragma once

#include <string>
#include <vector>

namespace qel::emulator {

enum class ConnectMode { kAtOnce, kRefuse, kNever, kFail, kDelay };

// The Nth call (from 1) of an operation fails.
struct FailAt {
  std::string operation;
  unsigned call = 0;
};

struct Settings {
  bool valid = true;
  std::wstring root;     // host folder that holds the device's file system; empty when unset
  std::wstring journal;  // journal file; empty when unset
  ConnectMode connect = ConnectMode::kAtOnce;
  unsigned delayMilliseconds = 0;
  std::wstring failMkdir;  // device path whose CeCreateDirectory fails
  unsigned failWrite = 0;  // the CeWriteFile call that fails; 0 none
  unsigned shortWrite = 0;  // the CeWriteFile call that writes one byte less; 0 none
  bool failProcess = false;
  std::vector<FailAt> failAt;
};

Settings ReadSettings();

}  // namespace qel::emulator
