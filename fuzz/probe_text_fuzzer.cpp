// The probe's report parser and the frame rate read back from its text.
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>

#include "input/frame_rate.h"
#include "input/media_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream report(bytes);
  const std::string text = tarn::probeTextFromReport(tarn::fileNamePart(bytes), report);
  for (const std::string& probed : {text, bytes}) {
    const double rate = tarn::probeFrameRate(probed);
    const int64_t ticks = tarn::frameDurationTicks(rate, 333667);
    if (ticks <= 0) __builtin_trap();  // every frame duration stays usable
    tarn::frameCountOf(864'000'000'000, ticks);
    tarn::fpsText(ticks);
    if (std::isfinite(rate)) tarn::decimalText(rate);
  }
  return 0;
}
