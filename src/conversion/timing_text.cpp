#include "conversion/timing_text.h"

#include <cmath>
#include <cstdio>

#include "common/rounding.h"

namespace tarn {
namespace {

std::string clockText(int64_t seconds) {
  const int64_t hours = seconds / 3600;
  const int64_t minutes = (seconds - 3600 * hours) / 60;
  const int64_t rest = seconds % 60;
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                static_cast<long long>(minutes), static_cast<long long>(rest));
  return text;
}

}  // namespace

std::string formatClock(int32_t seconds) {
  return clockText(seconds < 0 ? 0 : seconds);
}

std::string formatDuration(double seconds) {
  constexpr double kLongest = 9007199254740992.0;  // 2^53: whole seconds still exact
  if (!(seconds >= 0.0) || seconds >= kLongest) return "00:00:00.000";
  double whole = std::floor(seconds);
  int64_t milliseconds = roundHalfEven(1000.0 * (seconds - whole));
  if (milliseconds >= 1000) {
    whole += 1.0;
    milliseconds -= 1000;
  }
  char text[32];
  std::snprintf(text, sizeof text, ".%03lld", static_cast<long long>(milliseconds));
  return clockText(static_cast<int64_t>(whole)) + text;
}

std::string fitToEightCharacters(std::string_view text) {
  return std::string(text.substr(0, 8));
}

}  // namespace tarn
