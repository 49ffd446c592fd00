#include "ffmpeg_III/ntsc_rate.h"

#include <charconv>
#include <cmath>

namespace tarn::tool {

std::string exactFrameRate(const std::string& rate) {
  double value = 0;
  const char* end = rate.data() + rate.size();
  const auto [stop, error] = std::from_chars(rate.data(), end, value);
  if (error != std::errc() || stop != end || !(value > 0)) return rate;
  const double whole = std::round(value * 1.001);
  // 10 fps and up: below that a rounded two-decimal text no longer tells the families apart.
  if (whole < 10 || whole > 1000) return rate;
  const double ntsc = whole / 1.001;
  // Within the rounding of a two-decimal text, and nearer to it than to the whole rate.
  if (std::abs(value - ntsc) > 0.0051 || std::abs(value - ntsc) >= std::abs(value - whole)) {
    return rate;
  }
  return std::to_string(static_cast<long>(whole) * 1000) + "/1001";
}

}  // namespace tarn::tool
