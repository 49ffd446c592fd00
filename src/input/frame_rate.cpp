#include "input/frame_rate.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/rounding.h"

namespace tarn {
namespace {

constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kFallbackTimePerFrame = 400'000;  // 25 frames per second
// Frame durations outside 1 microsecond .. 1 hour are not a movie's.
constexpr int64_t kShortestFrame = 10;
constexpr int64_t kLongestFrame = 36'000'000'000;

bool usable(int64_t timePerFrame) {
  return timePerFrame >= kShortestFrame && timePerFrame <= kLongestFrame;
}

// A plain decimal number at the start of `text` after blanks: optional sign, digits, optional
// fraction. Read without the locale, which may use another decimal mark.
double readDecimal(const std::string& text) {
  size_t pos = text.find_first_not_of(' ');
  if (pos == std::string::npos) return 0.0;
  const size_t start = pos;
  if (text[pos] == '+' || text[pos] == '-') ++pos;
  const size_t digitsStart = pos;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) ++pos;
  }
  if (pos - digitsStart == 0 || (pos - digitsStart == 1 && text[digitsStart] == '.')) return 0.0;
  const size_t numberStart = text[start] == '+' ? start + 1 : start;
  double value = 0.0;
  const auto result = std::from_chars(text.data() + numberStart, text.data() + pos, value);
  return result.ec == std::errc() ? value : 0.0;
}

}  // namespace

double probeFrameRate(const std::string& probeText) {
  const size_t marker = probeText.find("fps,");
  if (marker == std::string::npos) return 0.0;
  std::string rest = probeText.substr(marker + 4);
  const size_t tbr = rest.find("tbr");
  if (tbr != std::string::npos) rest.resize(tbr);
  return readDecimal(rest);
}

int64_t frameDurationTicks(double probeRate, int64_t decoderTimePerFrame) {
  if (probeRate > 0.0 && std::isfinite(probeRate)) {
    const double ticks = (1.0 / probeRate) * 10'000'000.0;
    if (ticks < static_cast<double>(kLongestFrame)) {
      const int64_t rounded = roundHalfEven(ticks);
      if (usable(rounded)) return rounded;
    }
  }
  if (usable(decoderTimePerFrame)) return decoderTimePerFrame;
  return kFallbackTimePerFrame;
}

ExactRate exactRateFor(int64_t timePerFrame, int32_t numerator, int32_t denominator) {
  if (numerator <= 0 || denominator <= 0 || timePerFrame <= 0) return {};
  const __int128 scaled = static_cast<__int128>(kTicksPerSecond) * denominator;
  // The frame time rounded to whole ticks, as the decoder and the probe give it.
  const __int128 rounded = (2 * scaled + numerator) / (2 * static_cast<__int128>(numerator));
  if (rounded < timePerFrame - 1 || rounded > timePerFrame + 1) return {};
  return ExactRate{numerator, denominator};
}

int32_t frameCountOf(int64_t durationTicks, int64_t timePerFrame, ExactRate rate) {
  if (timePerFrame <= 0 || durationTicks <= 0) return 0;
  __int128 count = durationTicks / timePerFrame;
  if (rate.known()) {
    count = static_cast<__int128>(durationTicks) * rate.numerator /
            (static_cast<__int128>(kTicksPerSecond) * rate.denominator);
  }
  return count > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                     : static_cast<int32_t>(count);
}

int64_t frameSlotAt(int64_t ticks, int64_t timePerFrame, ExactRate rate) {
  if (timePerFrame <= 0) return 0;
  __int128 numerator = ticks;
  __int128 denominator = timePerFrame;
  if (rate.known()) {
    numerator = static_cast<__int128>(ticks) * rate.numerator;
    denominator = static_cast<__int128>(kTicksPerSecond) * rate.denominator;
  }
  // Rounded to the nearest slot, halves up; negative times belong to slot 0.
  if (numerator <= 0) return 0;
  return static_cast<int64_t>((2 * numerator + denominator) / (2 * denominator));
}

int64_t ticksOfFrameSlot(int64_t slot, int64_t timePerFrame, ExactRate rate) {
  if (!rate.known()) return slot * timePerFrame;
  return static_cast<int64_t>(static_cast<__int128>(slot) * kTicksPerSecond * rate.denominator /
                              rate.numerator);
}

// Both formats are written without the locale, which may use another decimal mark.
std::string fpsText(int64_t timePerFrame) {
  const double rate = timePerFrame > 0 ? 10'000'000.0 / static_cast<double>(timePerFrame) : 0.0;
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 2);
  std::string fixed(text, result.ptr);
  const size_t point = fixed.find('.');
  if (point != std::string::npos && point < 2) fixed.insert(0, 2 - point, '0');
  return fixed;
}

std::string decimalText(double value) {
  char text[64];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  return std::string(text, result.ptr);
}

}  // namespace tarn
