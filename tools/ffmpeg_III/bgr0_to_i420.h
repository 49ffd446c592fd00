#pragma once

#include <cstdint>
#include <span>

namespace tarn::tool {

// Converts a picture of 4-byte pixels (blue, green, red, unused), bottom row first, into planar
// 4:2:0 Y, U, V (BT.709, limited range) of the same even size: luma per pixel, chroma from the
// average of each 2x2 block. The planes are packed (strides width and width / 2). Processors with
// AVX2 take a vector loop with the very same integer sums (identical results), several times as
// fast as the general scaler: the encoder tool converts every frame while x264 wants both cores.
//
// `blankRows` are ranges of stored rows (0 is the bottom row) that the caller knows to be all zero
// bytes, such as the black bands of a frame file read from its holes: rows of those are filled
// with the black they convert to, without reading them.
struct RowRange {
  int first = 0;
  int end = 0;  // one past the last
};
void convertBgr0ToI420(const uint8_t* pixels, int width, int height, uint8_t* y, uint8_t* u,
                       uint8_t* v, std::span<const RowRange> blankRows = {});

}  // namespace tarn::tool
