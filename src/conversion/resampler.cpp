#include "conversion/resampler.h"

#include <algorithm>
#include <cmath>

namespace tarn {
namespace {

// Nearest integer, ties to even, from a single-precision value.
int32_t roundToInt(float value) {
  return static_cast<int32_t>(std::nearbyint(value));
}

}  // namespace

ResampleTables buildResampleTables() {
  ResampleTables tables;
  for (int i = 0; i < 256; ++i) tables.byteToFloat[i] = static_cast<float>(i);
  tables.clampTable[0] = 0;
  for (int i = 1; i <= 4095; ++i) {
    const float v = static_cast<float>(i) * 0.0625f;
    if (v > 255.0f) {
      tables.clampTable[i] = 255;
    } else if (v < 0.0f) {
      tables.clampTable[i] = 0;
    } else {
      tables.clampTable[i] = roundToInt(v + 0.5f);
    }
  }
  tables.clampTable[4096] = 0;
  return tables;
}

std::array<float, 4> cubicWeights(float t) {
  // Cubic Lagrange weights through four equally spaced samples, with 1/6 and 1/3 kept to five
  // decimals; every step is rounded to single precision.
  const float sixth = 0.16667f;
  const float third = 0.33333f;
  const float half = 0.5f;
  std::array<float, 4> w;
  w[0] = ((-sixth * t + half) * t - third) * t;
  w[1] = ((half * t - 1.0f) * t - half) * t + 1.0f;
  w[2] = ((1.0f - t) * t * half + 1.0f) * t;
  w[3] = (t * t - 1.0f) * t * sixth;
  return w;
}

uint8_t resampledByte(const ResampleTables& tables, float total) {
  const int64_t sixteenK = 16 * static_cast<int64_t>(std::nearbyint(total));
  if (sixteenK <= 0) return 0;
  if (sixteenK >= 4095) return 255;
  return static_cast<uint8_t>(tables.clampTable[sixteenK - 1] & 0xFF);
}

void resampleBicubic(const ResampleTables& tables, const ResampleJob& job) {
  const float cxD = 0.5f * static_cast<float>(job.destinationWidth) - 0.5f;
  const float cyD = 0.5f * static_cast<float>(job.destinationHeight) - 0.5f;
  const float cxS = 0.5f * static_cast<float>(job.sourceWidth) - 0.5f;
  const float cyS = 0.5f * static_cast<float>(job.sourceHeight) - 0.5f;
  const int64_t stride = job.sourceStride;
  const int64_t available = static_cast<int64_t>(job.sourceBytes);

  for (int32_t y = 0; y < job.destinationHeight; ++y) {
    const float sy = job.scale * (static_cast<float>(y) - cyD) + cyS;
    const int32_t iy = roundToInt(sy);
    const float ty = sy - static_cast<float>(iy);
    if (iy - 1 < 0 || iy - 1 > job.sourceHeight - 4) continue;
    const std::array<float, 4> wy = cubicWeights(ty);
    uint8_t* destinationRow =
        job.destinationPixels + static_cast<int64_t>(y) * job.destinationStride;

    for (int32_t x = 0; x < job.destinationWidth; ++x) {
      const float sx = job.scale * (static_cast<float>(x) - cxD) + cxS;
      const int32_t ix = roundToInt(sx);
      const float tx = sx - static_cast<float>(ix);
      if (ix - 1 < 0 || ix - 1 > job.sourceWidth) continue;

      // Taps past a row's end read the next row, after the last row the caller's slack; never
      // anything beyond the buffer the job names.
      const int64_t firstRow = static_cast<int64_t>(iy - 1) * stride;
      const int64_t lastRow = static_cast<int64_t>(iy + 2) * stride;
      const int64_t lowest = std::min(firstRow, lastRow) + static_cast<int64_t>(ix - 1) * 4;
      const int64_t highest = std::max(firstRow, lastRow) + static_cast<int64_t>(ix + 2) * 4 + 2;
      if (lowest < 0 || highest >= available) continue;

      const std::array<float, 4> wx = cubicWeights(tx);
      const uint8_t* rows[4];
      for (int r = 0; r < 4; ++r) {
        rows[r] = job.sourcePixels + static_cast<int64_t>(iy - 1 + r) * stride +
                  static_cast<int64_t>(ix - 1) * 4;
      }

      uint8_t* pixel = destinationRow + static_cast<int64_t>(x) * 4;
      for (int colour = 0; colour < 3; ++colour) {
        float rowSums[4];
        for (int r = 0; r < 4; ++r) {
          float sum = 0.0f;
          for (int j = 0; j < 4; ++j) sum += tables.byteToFloat[rows[r][j * 4 + colour]] * wx[j];
          rowSums[r] = sum;
        }
        float total = 0.0f;
        for (int r = 0; r < 4; ++r) total += rowSums[r] * wy[r];
        pixel[colour] = resampledByte(tables, total);
      }
    }
  }
}

}  // namespace tarn
