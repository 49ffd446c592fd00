#pragma once

#include <cmath>
#include <cstdint>

namespace tarn {

// Nearest integer, ties to the even neighbour: the converter's one rounding rule.
inline int64_t roundHalfEven(double value) {
  return static_cast<int64_t>(std::nearbyint(value));
}

}  // namespace tarn
