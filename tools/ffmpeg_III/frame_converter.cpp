#include "ffmpeg_III/frame_converter.h"

#include <cstring>

#include "ffmpeg_III/bgr0_to_i420.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace tarn::tool {

FrameConverter::FrameConverter(FrameFormat source, FrameFormat target)
    : source_(source), target_(target) {
  context_ =
      sws_getContext(source.width, source.height, AV_PIX_FMT_BGR0, target.width, target.height,
                     AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (context_) {
    // Full-range RGB in, limited-range BT.709 out, stated rather than left to defaults.
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(context_, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  }
}

FrameConverter::~FrameConverter() {
  sws_freeContext(context_);
}

size_t FrameConverter::pictureBytes() const {
  const auto luma = static_cast<size_t>(target_.width) * static_cast<size_t>(target_.height);
  const auto chroma =
      static_cast<size_t>((target_.width + 1) / 2) * static_cast<size_t>((target_.height + 1) / 2);
  return luma + 2 * chroma;
}

void FrameConverter::convert(const unsigned char* pixels, Picture& picture,
                             std::span<const RowRange> blankRows) {
  picture.resize(pictureBytes());
  if (source_ == target_ && source_.width % 2 == 0 && source_.height % 2 == 0) {
    uint8_t* y = picture.data();
    uint8_t* u = y + static_cast<size_t>(target_.width) * target_.height;
    uint8_t* v = u + static_cast<size_t>(target_.width / 2) * (target_.height / 2);
    convertBgr0ToI420(pixels, source_.width, source_.height, y, u, v, blankRows);
    return;
  }
  // The file's last row is the picture's top: start there and step backwards.
  const int rowBytes = source_.width * 4;
  const uint8_t* sourceRows[1] = {pixels + static_cast<size_t>(source_.height - 1) * rowBytes};
  const int sourceStrides[1] = {-rowBytes};
  const int chromaWidth = (target_.width + 1) / 2;
  const int chromaHeight = (target_.height + 1) / 2;
  constexpr int kPad = 64;
  const auto padded = [](int bytes) { return (bytes + kPad - 1) / kPad * kPad; };
  const int strides[3] = {padded(target_.width), padded(chromaWidth), padded(chromaWidth)};
  const size_t lumaBytes = static_cast<size_t>(strides[0]) * target_.height;
  const size_t chromaBytes = static_cast<size_t>(strides[1]) * chromaHeight;
  scratch_.resize(lumaBytes + 2 * chromaBytes + kPad);
  uint8_t* planes[3] = {scratch_.data(), scratch_.data() + lumaBytes,
                        scratch_.data() + lumaBytes + chromaBytes};
  sws_scale(context_, sourceRows, sourceStrides, 0, source_.height, planes, strides);
  uint8_t* out = picture.data();
  const int widths[3] = {target_.width, chromaWidth, chromaWidth};
  const int heights[3] = {target_.height, chromaHeight, chromaHeight};
  for (int plane = 0; plane < 3; ++plane) {
    for (int row = 0; row < heights[plane]; ++row) {
      std::memcpy(out, planes[plane] + static_cast<size_t>(row) * strides[plane],
                  static_cast<size_t>(widths[plane]));
      out += widths[plane];
    }
  }
}

}  // namespace tarn::tool
