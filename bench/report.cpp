#include "report.h"

#include <cmath>
#include <cstdio>

namespace qel::bench {

namespace {

std::string Format(const char* format, double value, const char* unit) {
  char text[64];
  std::snprintf(text, sizeof text, format, value, unit);
  return text;
}

// Three significant digits.
std::string Scaled(double value, const char* unit) {
  const double size = std::fabs(value);
  return Format(size >= 100 ? "%.0f %s" : size >= 10 ? "%.1f %s" : "%.2f %s", value, unit);
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kKiB = 1024, kMiB = kKiB * 1024, kGiB = kMiB * 1024, kMB = 1000 * 1000;
  if (bytes == 0) return "0 bytes";
  if (bytes % kGiB == 0) return std::to_string(bytes / kGiB) + " GiB";
  if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  if (bytes % kMB == 0) return std::to_string(bytes / kMB) + " MB";
  if (bytes % kKiB == 0) return std::to_string(bytes / kKiB) + " KiB";
  return std::to_string(bytes) + " bytes";
}

std::string TimeText(double seconds) {
  if (seconds < 1e-3) return Scaled(seconds * 1e6, "us");
  if (seconds < 1) return Scaled(seconds * 1e3, "ms");
  return Scaled(seconds, "s");
}

std::string RateText(std::uint64_t bytes, double seconds) {
  return Scaled(static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds, "MiB/s");
}

std::string MemoryText(double bytes) {
  if (std::fabs(bytes) < 1024.0 * 1024.0) return Scaled(bytes / 1024.0, "KiB");
  return Scaled(bytes / (1024.0 * 1024.0), "MiB");
}

std::string RatioText(double ratio) { return Format("%.2f%s", ratio, ""); }

std::string PercentText(double share) { return Format("%.1f %s", share * 100, "%"); }

}  // namespace qel::bench
