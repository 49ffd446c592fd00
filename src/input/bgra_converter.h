#pragma once

#include <cstdint>

#include "input/ffmpeg_handles.h"

namespace tarn {

// Turns decoded frames of any pixel format and size into the converter's frame format: width x
// height pixels of 4 bytes (blue, green, red, unused), rows of width x 4 bytes, bottom row first.
// The scaling context is kept between frames and rebuilt only when the input changes. (libyuv was
// measured here: barely faster, and its BT.709 strong blues come out up to 13 too dark.)
class BgraConverter {
 public:
  BgraConverter(int32_t width, int32_t height) : width_(width), height_(height) {}

  // Writes width x height x 4 bytes to `destination`. False when the frame cannot be converted.
  bool convert(const AVFrame& frame, uint8_t* destination);

  // The matrix a frame is read with: its own tag, or for untagged frames BT.601 below 720 lines
  // and BT.709 from 720 up (AVColorSpace values).
  static int matrixOf(int colourSpace, int height);

 private:
  int32_t width_;
  int32_t height_;
  ScaleContextPtr context_;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  int sourceFormat_ = -1;
  int sourceColourSpace_ = -1;
  int sourceRange_ = -1;
};

}  // namespace tarn
