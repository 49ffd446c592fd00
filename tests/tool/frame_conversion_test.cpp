#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "ffmpeg_III/frame_converter.h"
#include "ffmpeg_III/frame_files.h"

namespace tarn::tool {
namespace {

struct Rgb {
  int red, green, blue;
};

// A frame file's pixels (bottom row first) whose top-left picture pixel is `topLeft` and whose
// other pixels run through the colour cube.
std::vector<unsigned char> framePixels(int width, int height, Rgb topLeft) {
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const size_t at = (static_cast<size_t>(height - 1 - row) * width + x) * 4;
      Rgb colour{(x * 37 + row * 11) % 256, (x * 5 + row * 53) % 256, (x * 91 + row * 3) % 256};
      if (row == 0 && x == 0) colour = topLeft;
      pixels[at] = static_cast<unsigned char>(colour.blue);
      pixels[at + 1] = static_cast<unsigned char>(colour.green);
      pixels[at + 2] = static_cast<unsigned char>(colour.red);
      pixels[at + 3] = 0;
    }
  }
  return pixels;
}

Rgb pictureAt(const std::vector<unsigned char>& pixels, int width, int height, int x, int row) {
  const size_t at = (static_cast<size_t>(height - 1 - row) * width + x) * 4;
  return {pixels[at + 2], pixels[at + 1], pixels[at]};
}

// BT.709 limited range, exactly.
constexpr double kRed = 0.2126;
constexpr double kBlue = 0.0722;
constexpr double kGreen = 1 - kRed - kBlue;
double lumaOf(Rgb c) {
  return 16 + 219 * (kRed * c.red + kGreen * c.green + kBlue * c.blue) / 255;
}
double blueDifferenceOf(double red, double green, double blue) {
  const double luma = kRed * red + kGreen * green + kBlue * blue;
  return 128 + 224 * (blue - luma) / (2 * (1 - kBlue)) / 255;
}
double redDifferenceOf(double red, double green, double blue) {
  const double luma = kRed * red + kGreen * green + kBlue * blue;
  return 128 + 224 * (red - luma) / (2 * (1 - kRed)) / 255;
}

void expectExactBt709Planes(int width, int height) {
  const auto pixels = framePixels(width, height, Rgb{255, 255, 255});
  FrameConverter converter({width, height}, {width, height});
  ASSERT_TRUE(converter.valid());
  Picture picture;
  converter.convert(pixels.data(), picture);
  ASSERT_EQ(picture.size(), static_cast<size_t>(width * height * 3 / 2));

  EXPECT_NEAR(picture[0], 235, 1) << "white at the picture's top left";
  int worst = 0;
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      const double expected = lumaOf(pictureAt(pixels, width, height, x, row));
      const int got = picture[static_cast<size_t>(row) * width + x];
      worst = std::max(worst, static_cast<int>(std::lround(std::abs(got - expected))));
    }
  }
  EXPECT_LE(worst, 1) << "luma";

  const unsigned char* u = picture.data() + width * height;
  const unsigned char* v = u + (width / 2) * (height / 2);
  int worstChroma = 0;
  for (int row = 0; row < height / 2; ++row) {
    for (int x = 0; x < width / 2; ++x) {
      double red = 0, green = 0, blue = 0;
      for (int dy = 0; dy < 2; ++dy) {
        for (int dx = 0; dx < 2; ++dx) {
          const Rgb c = pictureAt(pixels, width, height, 2 * x + dx, 2 * row + dy);
          red += c.red / 4.0;
          green += c.green / 4.0;
          blue += c.blue / 4.0;
        }
      }
      const size_t at = static_cast<size_t>(row) * (width / 2) + x;
      worstChroma = std::max(
          {worstChroma,
           static_cast<int>(std::lround(std::abs(u[at] - blueDifferenceOf(red, green, blue)))),
           static_cast<int>(std::lround(std::abs(v[at] - redDifferenceOf(red, green, blue))))});
    }
  }
  EXPECT_LE(worstChroma, 1) << "chroma of the 2x2 blocks";
}

// Widths of whole vector blocks and with a scalar tail (98 = 3 x 32 + 2).
TEST(FrameConversion, SameSizeFramesGiveBt709PlanesTopRowFirst) {
  for (const auto& [width, height] : {std::pair{64, 32}, std::pair{98, 6}}) {
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    expectExactBt709Planes(width, height);
  }
}

TEST(FrameConversion, BlackAndWhiteHitTheLimitedRangeEnds) {
  for (const Rgb colour : {Rgb{0, 0, 0}, Rgb{255, 255, 255}}) {
    std::vector<unsigned char> pixels(16 * 8 * 4, static_cast<unsigned char>(colour.red));
    FrameConverter converter({16, 8}, {16, 8});
    Picture picture;
    converter.convert(pixels.data(), picture);
    const int luma = colour.red == 0 ? 16 : 235;
    for (size_t i = 0; i < 16 * 8; ++i) ASSERT_EQ(picture[i], luma) << i;
    for (size_t i = 16 * 8; i < picture.size(); ++i) ASSERT_EQ(picture[i], 128) << i;
  }
}

// Rows the caller marks blank (the holes of a frame file, read as zeros) come out exactly as the
// conversion of zero pixels would make them; a row pair with only one blank row is converted.
TEST(FrameConversion, BlankRowsGiveWhatZeroPixelsWould) {
  const int width = 98;
  const int height = 12;
  auto pixels = framePixels(width, height, Rgb{255, 255, 255});
  // Stored rows 0-3 (the picture's bottom four rows, two whole pairs) and 7-8 (picture rows 4
  // and 3, each in a pair with a row that is not blank) are zero.
  const auto zeroRows = [&](int first, int end) {
    std::fill(pixels.begin() + static_cast<std::ptrdiff_t>(first) * width * 4,
              pixels.begin() + static_cast<std::ptrdiff_t>(end) * width * 4, 0);
  };
  zeroRows(0, 4);
  zeroRows(7, 9);
  FrameConverter converter({width, height}, {width, height});
  Picture expected;
  converter.convert(pixels.data(), expected);
  // Rows of whole blank pairs must not be read at all: they hold garbage here.
  std::vector<unsigned char> marked = pixels;
  std::fill(marked.begin(), marked.begin() + 4 * width * 4, 0x5A);
  const RowRange blank[] = {{0, 4}, {7, 9}};
  Picture picture;
  converter.convert(marked.data(), picture, blank);
  EXPECT_EQ(picture, expected);
}

// Holes are block-aligned, rows are not: a row counts as blank only when all of it lies in a hole.
TEST(FrameConversion, OnlyRowsWhollyInsideHolesCountAsBlank) {
  const FrameFormat format{100, 50};  // rows of 400 bytes after the 54-byte header
  const ByteRange holes[] = {{0, 40}, {4096, 8192}, {16384, 54 + 50 * 400}};
  const std::vector<RowRange> rows = rowsInHoles(holes, format);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].first, 11);  // row 10 starts at byte 54 + 4000, before the hole
  EXPECT_EQ(rows[0].end, 20);    // row 20 ends at byte 54 + 8400, after it
  EXPECT_EQ(rows[1].first, 41);
  EXPECT_EQ(rows[1].end, 50);
  EXPECT_TRUE(rowsInHoles(holes, FrameFormat{0, 0}).empty());
}

TEST(FrameConversion, ScaledFramesKeepTheirTopAtTheTop) {
  // Top half white, bottom half black; the file stores the bottom row first.
  const int width = 64;
  const int height = 32;
  std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4, 0);
  for (int row = 0; row < height / 2; ++row) {
    const size_t at = static_cast<size_t>(height - 1 - row) * width * 4;
    std::fill_n(pixels.begin() + static_cast<std::ptrdiff_t>(at), width * 4, 255);
  }
  FrameConverter converter({width, height}, {32, 16});
  ASSERT_TRUE(converter.valid());
  Picture picture;
  converter.convert(pixels.data(), picture);
  ASSERT_EQ(picture.size(), static_cast<size_t>(32 * 16 * 3 / 2));
  EXPECT_NEAR(picture[0], 235, 2);
  EXPECT_NEAR(picture[15 * 32], 16, 2);
}

TEST(FrameConversion, OwnLoopAndScalerAgreeOnBt709Colours) {
  struct Case {
    Rgb colour;
    int y, u, v;
  };
  // BT.709 limited range: red, green, blue, and the greens players showed wrongly when untagged.
  const Case cases[] = {{{255, 0, 0}, 63, 102, 240},
                        {{0, 255, 0}, 173, 42, 26},
                        {{0, 0, 255}, 32, 240, 118},
                        {{13, 160, 56}, 120, 97, 68}};
  for (const Case& c : cases) {
    std::vector<unsigned char> pixels(64 * 32 * 4);
    for (size_t i = 0; i < pixels.size(); i += 4) {
      pixels[i] = static_cast<unsigned char>(c.colour.blue);
      pixels[i + 1] = static_cast<unsigned char>(c.colour.green);
      pixels[i + 2] = static_cast<unsigned char>(c.colour.red);
    }
    for (const FrameFormat target : {FrameFormat{64, 32}, FrameFormat{32, 16}}) {
      SCOPED_TRACE(testing::Message() << c.colour.red << "," << c.colour.green << ","
                                      << c.colour.blue << " to " << target.width);
      FrameConverter converter({64, 32}, target);
      Picture picture;
      converter.convert(pixels.data(), picture);
      const size_t luma = static_cast<size_t>(target.width) * target.height;
      const size_t centre = luma / 2 + target.width / 2;
      EXPECT_NEAR(picture[centre], c.y, 1);
      EXPECT_NEAR(picture[luma + luma / 8 + target.width / 4], c.u, 1);
      EXPECT_NEAR(picture[luma + luma / 4 + luma / 8 + target.width / 4], c.v, 1);
    }
  }
}

}  // namespace
}  // namespace tarn::tool
