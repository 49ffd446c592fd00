#pragma once

#include <string>

namespace tarn::tool {

// A legacy frame rate text as ffmpeg should read it. The converter writes rates with two
// decimals, so the NTSC family arrives rounded ("23.98", "29.97", "59.94", also "23.976"):
// those become the exact N*1000/1001 fractions ("30000/1001"), so that containers store the
// movie's own rate rather than 2997/100. Every other text is returned as it is.
std::string exactFrameRate(const std::string& rate);

}  // namespace tarn::tool
