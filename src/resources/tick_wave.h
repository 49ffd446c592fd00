#pragma once

#include <cstdint>
#include <vector>

namespace tarn {

// The "tick" click sound as a complete in-memory RIFF/WAVE file (16-bit mono PCM), generated in
// code so that nothing but the executable is needed.
std::vector<uint8_t> makeTickWave();

}  // namespace tarn
