#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarn {

// Lookup tables of the bicubic resampler, built once at start-up and only read afterwards.
struct ResampleTables {
  // Entry i holds i (0.0 .. 255.0): colour bytes become floats by lookup.
  std::array<float, 256> byteToFloat{};
  // Entry i (1..4095) holds round(i / 16 + 0.5) clamped to 0..255; entries 0 and 4096 hold 0.
  std::array<int32_t, 4097> clampTable{};
};

ResampleTables buildResampleTables();

// Interpolation weights for the taps at offsets -1, 0, +1, +2 from the centre sample, for a
// fraction t between -0.5 and 0.5.
std::array<float, 4> cubicWeights(float t);

// One scaling request. Pixels are 4 bytes (blue, green, red, unused); row order does not matter.
struct ResampleJob {
  int32_t sourceWidth = 0;
  int32_t sourceHeight = 0;
  int32_t sourceStride = 0;  // bytes from one source row to the next
  const uint8_t* sourcePixels = nullptr;
  // Readable bytes from sourcePixels on, slack included. Taps may run up to four pixels past the
  // end of a row; a destination pixel whose taps would reach past this size is skipped.
  size_t sourceBytes = 0;
  int32_t destinationWidth = 0;
  int32_t destinationHeight = 0;
  int32_t destinationStride = 0;
  uint8_t* destinationPixels = nullptr;  // the caller zero-fills it
  float scale = 1.0f;                    // source pixels per destination pixel
};

// Scales the source into the destination with a 4x4 cubic kernel, mapping centre to centre.
// Destination pixels whose taps fall outside the source are left untouched; byte 3 of a pixel is
// never written. Holds no state: calls on different jobs may run at the same time.
void resampleBicubic(const ResampleTables& tables, const ResampleJob& job);

// The byte a colour total becomes: round(total), ties to even, clamped to 0..255 through the
// clamp table.
uint8_t resampledByte(const ResampleTables& tables, float total);

}  // namespace tarn
