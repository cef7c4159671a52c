// Values and records shared by the two platform boundaries and the stages.
// The numeric values are those of the Windows and Windows CE APIs, so that a
// stage passes and tests exactly what the real calls take and return.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qel {

// An opaque handle of either platform: a search, a file or an event.
using Handle = std::uintptr_t;
inline constexpr Handle kInvalidHandle = ~Handle{0};  // INVALID_HANDLE_VALUE

// Capacity, in characters with the terminator, of every path buffer.
inline constexpr std::size_t kMaxPath = 260;

inline constexpr std::uint32_t kGenericRead = 0x80000000u;
inline constexpr std::uint32_t kGenericWrite = 0x40000000u;
inline constexpr std::uint32_t kCreateAlways = 2;
inline constexpr std::uint32_t kOpenExisting = 3;
inline constexpr std::uint32_t kFileAttributeHidden = 0x02;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;

inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNoMoreFiles = 18;

inline constexpr std::uint32_t kMbIconError = 0x00000010u;
inline constexpr std::uint32_t kMbTopmost = 0x00040000u;

// HRESULT: negative values are failures.
using HResult = std::int32_t;
inline constexpr HResult kSOk = 0;
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr bool Succeeded(HResult hr) { return hr >= 0; }

}  // namespace qel
