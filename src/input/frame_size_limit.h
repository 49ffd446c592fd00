#pragma once

#include <cstdint>

namespace tarn {

// Largest frame the converter accepts. The frame source keeps several W x (H+1) pixel buffers and
// the canvas is about W x W/2, so a frame must stay far below what 32-bit sizes and memory allow.
inline constexpr int64_t kMaxFrameSide = 32768;
inline constexpr int64_t kMaxFrameBufferBytes = int64_t{1} << 30;

// True when a W x H frame can be handled: both sides positive and at most kMaxFrameSide, and a
// W x (H+1) buffer of 4-byte pixels at most kMaxFrameBufferBytes.
inline bool frameSizeFits(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) return false;
  return width * (height + 1) * 4 <= kMaxFrameBufferBytes;
}

}  // namespace tarn
