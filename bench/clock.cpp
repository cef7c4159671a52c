#include "clock.h"

#include <windows.h>

#include <algorithm>

namespace qel::bench {

namespace {

long long Counter() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double Frequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(frequency.QuadPart);
}

}  // namespace

Stopwatch::Stopwatch() : start_(Counter()) {}

double Stopwatch::Seconds() const {
  static const double frequency = Frequency();
  return static_cast<double>(Counter() - start_) / frequency;
}

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0;
  std::sort(samples.begin(), samples.end());
  const std::size_t middle = samples.size() / 2;
  return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

}  // namespace qel::bench
