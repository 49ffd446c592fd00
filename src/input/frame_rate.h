#pragma once

#include <cstdint>
#include <string>

namespace tarn {

// The number between "fps," and "tbr" in the probe text: the text after the first "fps," (none:
// 0), cut before its first "tbr", read as a decimal number after leading blanks (none: 0).
double probeFrameRate(const std::string& probeText);

// The frame duration in 100-ns units: round(1 / rate x 10,000,000) (ties to even) for a positive
// rate, else the decoder's average time per frame. A result that is not a usable duration (0,
// negative, absurd) falls back to the decoder's value and then to 25 frames per second, so that
// the frame count and rate always stay defined.
int64_t frameDurationTicks(double probeRate, int64_t decoderTimePerFrame);

// floor(duration / timePerFrame), 0 for a non-positive frame duration, at most INT32_MAX.
int32_t frameCountOf(int64_t durationTicks, int64_t timePerFrame);

// 10,000,000 / timePerFrame with the mask "00.00": 5 fps -> "05.00", 29.97 -> "29.97".
std::string fpsText(int64_t timePerFrame);

// A decimal number with up to 15 significant digits and no leading blank: 2.0 -> "2".
std::string decimalText(double value);

}  // namespace tarn
