// Numbers as the bench tables print them.
#pragma once

#include <cstdint>
#include <string>

namespace qel::bench {

// "1 GiB", "64 MiB", "1 MiB", "200 MB" or bytes, whichever is exact.
std::string SizeText(std::uint64_t bytes);
// Seconds as "850 us", "12.3 ms" or "4.56 s".
std::string TimeText(double seconds);
// "123 MiB/s" for bytes moved in seconds.
std::string RateText(std::uint64_t bytes, double seconds);
// Bytes as "12.3 MiB" or "-512 KiB".
std::string MemoryText(double bytes);
// A ratio as "0.97" or a share as "12.5 %".
std::string RatioText(double ratio);
std::string PercentText(double share);

}  // namespace qel::bench
