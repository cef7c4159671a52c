// The update file's bytes copied without the library, as baselines for the
// run: by plain Win32 calls, and through the remote API alone.
#pragma once

#include <filesystem>

namespace qel::bench {

// Size of every chunk, as the run's transfer reads and writes them.
inline constexpr unsigned kChunkBytes = 16384;

// Copies from to a new hidden file with CreateFileW, then ReadFile and
// WriteFile of 16 KiB chunks. Returns the seconds it took.
double Win32ChunkedCopy(const std::filesystem::path& from, const std::filesystem::path& to);

// Copies from to the handset through RAPI.dll as the run does, and only
// that: bind the library, connect, create the hidden device file, ReadFile
// and one CeWriteFile per 16 KiB chunk, close, end the connection. Returns
// the seconds it took.
double LinkCopy(const std::filesystem::path& from, const char16_t* devicePath);

// Seconds of one WaitForSingleObject with timeout 0 on a signalled event.
double ZeroTimeoutWait();

}  // namespace qel::bench
