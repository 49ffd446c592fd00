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

// A frame rate as the stream gives it (30000/1001), kept only where its frame time rounds to the
// movie's `timePerFrame`; {0, 0} otherwise. Whole 100-ns ticks cannot hold 1001/30000 s exactly.
struct ExactRate {
  int32_t numerator = 0;
  int32_t denominator = 0;
  bool known() const { return numerator > 0 && denominator > 0; }
};
ExactRate exactRateFor(int64_t timePerFrame, int32_t numerator, int32_t denominator);

// floor(duration / frame time), 0 for a non-positive frame duration, at most INT32_MAX; with the
// exact rate when known (3.003 s at 30000/1001 fps is 90 frames, not 89).
int32_t frameCountOf(int64_t durationTicks, int64_t timePerFrame, ExactRate rate = {});

// The number of the frame slot a picture shown at `ticks` falls into on a constant-rate timeline:
// round(ticks / frame time), with the exact rate when known.
int64_t frameSlotAt(int64_t ticks, int64_t timePerFrame, ExactRate rate = {});

// The time of frame slot `slot`, in 100-ns ticks.
int64_t ticksOfFrameSlot(int64_t slot, int64_t timePerFrame, ExactRate rate = {});

// 10,000,000 / timePerFrame with the mask "00.00": 5 fps -> "05.00", 29.97 -> "29.97".
std::string fpsText(int64_t timePerFrame);

// A decimal number with up to 15 significant digits and no leading blank: 2.0 -> "2".
std::string decimalText(double value);

}  // namespace tarn
