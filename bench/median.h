#pragma once
// The median of the times a benchmark program took, in milliseconds.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace ostrane::bench {

inline double median(std::vector<double> values) {
  std::ranges::sort(values);
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace ostrane::bench
