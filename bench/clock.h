// Wall-clock timing with the performance counter, and the median of repeated
// measurements.
#pragma once

#include <vector>

namespace qel::bench {

// Seconds since construction.
class Stopwatch {
 public:
  Stopwatch();
  double Seconds() const;

 private:
  long long start_;
};

// The middle sample; the mean of the two middle ones for an even count.
double Median(std::vector<double> samples);

}  // namespace qel::bench
