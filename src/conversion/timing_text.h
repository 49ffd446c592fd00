#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// Whole seconds as hh:mm:ss, each field at least two digits: 75 -> "00:01:15",
// 360000 -> "100:00:00". Negative values (a run across midnight) read as "00:00:00".
std::string formatClock(int32_t seconds);

// A movie duration in seconds as hh:mm:ss.mmm, the milliseconds rounded half to even:
// 83.25 -> "00:01:23.250". Milliseconds that round to 1000 carry into the seconds
// (59.9996 -> "00:01:00.000"). Negative, non-finite and absurdly long durations (beyond
// 2^53 seconds) read as "00:00:00.000".
std::string formatDuration(double seconds);

// The first 8 characters of a time text, for the 8-character progress texts:
// "100:00:00" -> "100:00:0".
std::string fitToEightCharacters(std::string_view text);

}  // namespace tarn
