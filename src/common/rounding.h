#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace tarn {

// Nearest integer, ties to the even neighbour: the converter's one rounding rule.
// NaN gives 0 and values beyond the int64 range saturate, so no input is undefined behaviour.
inline int64_t roundHalfEven(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);
  if (rounded >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
  if (rounded <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(rounded);
}

}  // namespace tarn
