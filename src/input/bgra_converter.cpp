#include "input/bgra_converter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace tarn {
namespace {

// The full-range ("J") formats are deprecated names of the plain formats with full range.
AVPixelFormat plainFormat(AVPixelFormat format, bool& fullRange) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      fullRange = true;
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      fullRange = true;
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      fullRange = true;
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      fullRange = true;
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      fullRange = true;
      return AV_PIX_FMT_YUV411P;
    default:
      return format;
  }
}

}  // namespace

int BgraConverter::matrixOf(int colourSpace, int height) {
  if (colourSpace != AVCOL_SPC_UNSPECIFIED && colourSpace != AVCOL_SPC_RESERVED) {
    return colourSpace;
  }
  // Untagged video: BT.601 below 720 lines, BT.709 from 720 up, as players assume.
  return height >= 720 ? AVCOL_SPC_BT709 : AVCOL_SPC_BT470BG;
}

bool BgraConverter::convert(const AVFrame& frame, uint8_t* destination) {
  if (frame.width <= 0 || frame.height <= 0 || frame.format < 0) return false;
  bool fullRange = frame.color_range == AVCOL_RANGE_JPEG;
  const AVPixelFormat format = plainFormat(static_cast<AVPixelFormat>(frame.format), fullRange);
  const int colourSpace = frame.colorspace;
  const int range = fullRange ? 1 : 0;
  const int matrix = matrixOf(colourSpace, frame.height);

  if (!context_ || frame.width != sourceWidth_ || frame.height != sourceHeight_ ||
      format != sourceFormat_ || colourSpace != sourceColourSpace_ || range != sourceRange_) {
    context_.reset(sws_getContext(frame.width, frame.height, format, width_, height_,
                                  AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!context_) return false;
    sourceWidth_ = frame.width;
    sourceHeight_ = frame.height;
    sourceFormat_ = format;
    sourceColourSpace_ = colourSpace;
    sourceRange_ = range;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool isYuv =
        descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3;
    if (isYuv) {
      const int* coefficients = sws_getCoefficients(matrix);
      sws_setColorspaceDetails(context_.get(), coefficients, range,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    }
  }

  // Bottom row first: start at the last row and step backwards.
  const int stride = width_ * 4;
  uint8_t* planes[4] = {destination + static_cast<ptrdiff_t>(height_ - 1) * stride, nullptr,
                        nullptr, nullptr};
  int strides[4] = {-stride, 0, 0, 0};
  const int rows =
      sws_scale(context_.get(), frame.data, frame.linesize, 0, frame.height, planes, strides);
  return rows == height_;
}

}  // namespace tarn
