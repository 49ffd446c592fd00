// The decode's conversion to BGRA against the exact matrices, in the common formats and every
// matrix, and the reading of untagged frames.
#include "input/bgra_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace tarn {
namespace {

struct Matrix {
  AVColorSpace space;
  double kr, kb;
};

const Matrix kMatrices[] = {{AVCOL_SPC_BT709, 0.2126, 0.0722},
                            {AVCOL_SPC_BT470BG, 0.299, 0.114},
                            {AVCOL_SPC_SMPTE170M, 0.299, 0.114},
                            {AVCOL_SPC_BT2020_NCL, 0.2627, 0.0593}};

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// A frame whose samples run through the whole code range of `range` (each plane on its own
// pattern): 16..235 for luma and 16..240 for chroma in limited range, 0..255 in full range.
FramePtr patternFrame(AVPixelFormat format, int width, int height, AVColorSpace space,
                      AVColorRange range) {
  FramePtr frame(av_frame_alloc());
  frame->format = format;
  frame->width = width;
  frame->height = height;
  frame->colorspace = space;
  frame->color_range = range;
  EXPECT_EQ(av_frame_get_buffer(frame.get(), 0), 0);
  const bool full = range == AVCOL_RANGE_JPEG;
  const auto luma = [full](int n) { return static_cast<uint8_t>(full ? n % 256 : 16 + n % 220); };
  const auto chroma = [full](int n) { return static_cast<uint8_t>(full ? n % 256 : 16 + n % 225); };
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      frame->data[0][row * frame->linesize[0] + x] = luma(x * 7 + row * 3);
    }
  }
  const int chromaRows =
      format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12 ? height / 2 : height;
  const int chromaWidth = format == AV_PIX_FMT_YUV444P ? width : width / 2;
  for (int row = 0; row < chromaRows; ++row) {
    for (int x = 0; x < chromaWidth; ++x) {
      const uint8_t u = chroma(x * 13 + row * 29);
      const uint8_t v = chroma(x * 5 + row * 41 + 100);
      if (format == AV_PIX_FMT_NV12) {
        frame->data[1][row * frame->linesize[1] + 2 * x] = u;
        frame->data[1][row * frame->linesize[1] + 2 * x + 1] = v;
      } else {
        frame->data[1][row * frame->linesize[1] + x] = u;
        frame->data[2][row * frame->linesize[2] + x] = v;
      }
    }
  }
  return frame;
}

// The picture pixel (x, row) of `frame` by the exact formula, each channel clamped to 0..255.
std::array<double, 3> exactRgb(const AVFrame& frame, const Matrix& m, int x, int row) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  const int cx = format == AV_PIX_FMT_YUV444P ? x : x / 2;
  const int crow = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_NV12 ? row / 2 : row;
  double y = frame.data[0][row * frame.linesize[0] + x];
  double u = 0, v = 0;
  if (format == AV_PIX_FMT_NV12) {
    u = frame.data[1][crow * frame.linesize[1] + 2 * cx];
    v = frame.data[1][crow * frame.linesize[1] + 2 * cx + 1];
  } else {
    u = frame.data[1][crow * frame.linesize[1] + cx];
    v = frame.data[2][crow * frame.linesize[2] + cx];
  }
  if (frame.color_range == AVCOL_RANGE_JPEG) {
    u = (u - 128) / 255;
    v = (v - 128) / 255;
    y = y / 255;
  } else {
    y = (y - 16) / 219;
    u = (u - 128) / 224;
    v = (v - 128) / 224;
  }
  const double kg = 1 - m.kr - m.kb;
  const double red = y + 2 * (1 - m.kr) * v;
  const double blue = y + 2 * (1 - m.kb) * u;
  const double green = (y - m.kr * red - m.kb * blue) / kg;
  const auto clamp = [](double c) { return std::clamp(c * 255, 0.0, 255.0); };
  return {clamp(red), clamp(green), clamp(blue)};
}

// swscale's 8-bit tables stay within 3 of the exact formula (libyuv, tried here, was off by 13 in
// BT.709 strong blues).
TEST(BgraConverter, PlanarFormatsMatchTheExactMatricesWithinThree) {
  const int width = 96;
  const int height = 64;
  for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P}) {
    for (const Matrix& matrix : kMatrices) {
      for (const AVColorRange range : {AVCOL_RANGE_MPEG, AVCOL_RANGE_JPEG}) {
        SCOPED_TRACE(testing::Message()
                     << "format " << format << " matrix " << matrix.space << " range " << range);
        const FramePtr frame = patternFrame(format, width, height, matrix.space, range);
        BgraConverter converter(width, height);
        std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
        ASSERT_TRUE(converter.convert(*frame, out.data()));
        long worst = 0;
        for (int row = 0; row < height; ++row) {
          for (int x = 0; x < width; ++x) {
            // Bottom row first.
            const uint8_t* p = &out[(static_cast<size_t>(height - 1 - row) * width + x) * 4];
            const auto exact = exactRgb(*frame, matrix, x, row);
            for (int c = 0; c < 3; ++c) {
              worst = std::max(worst, std::abs(p[2 - c] - std::lround(exact[c])));
            }
          }
        }
        EXPECT_LE(worst, 3) << "largest difference from the exact formula";
      }
    }
  }
}

TEST(BgraConverter, UntaggedFramesFollowTheirHeight) {
  EXPECT_EQ(BgraConverter::matrixOf(AVCOL_SPC_UNSPECIFIED, 576), AVCOL_SPC_BT470BG);
  EXPECT_EQ(BgraConverter::matrixOf(AVCOL_SPC_UNSPECIFIED, 719), AVCOL_SPC_BT470BG);
  EXPECT_EQ(BgraConverter::matrixOf(AVCOL_SPC_UNSPECIFIED, 720), AVCOL_SPC_BT709);
  EXPECT_EQ(BgraConverter::matrixOf(AVCOL_SPC_RESERVED, 1080), AVCOL_SPC_BT709);
  // A tag wins over the size.
  EXPECT_EQ(BgraConverter::matrixOf(AVCOL_SPC_BT709, 480), AVCOL_SPC_BT709);
  EXPECT_EQ(BgraConverter::matrixOf(AVCOL_SPC_SMPTE170M, 1080), AVCOL_SPC_SMPTE170M);

  // An untagged 720-line frame of pure BT.709 red decodes as red, one of 480 lines as BT.601 red.
  for (const int height : {480, 720}) {
    const bool hd = height >= 720;
    const FramePtr frame = patternFrame(AV_PIX_FMT_YUV420P, 64, height, AVCOL_SPC_UNSPECIFIED,
                                        AVCOL_RANGE_UNSPECIFIED);
    // Red (255, 0, 0) in each matrix, limited range.
    const int y = hd ? 63 : 81;
    const int u = hd ? 102 : 90;
    std::fill_n(frame->data[0], frame->linesize[0] * height, y);
    std::fill_n(frame->data[1], frame->linesize[1] * height / 2, u);
    std::fill_n(frame->data[2], frame->linesize[2] * height / 2, 240);
    BgraConverter converter(64, height);
    std::vector<uint8_t> out(static_cast<size_t>(64) * height * 4);
    ASSERT_TRUE(converter.convert(*frame, out.data()));
    EXPECT_NEAR(out[2], 255, 2) << height;
    EXPECT_NEAR(out[1], 0, 2) << height;
    EXPECT_NEAR(out[0], 0, 2) << height;
  }
}

}  // namespace
}  // namespace tarn
