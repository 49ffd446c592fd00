#include "conversion/resampler.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarn {
namespace {

struct Picture {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> bytes;  // width * height * 4 plus slack

  Picture(int32_t w, int32_t h, size_t slack) : width(w), height(h), bytes(w * h * 4 + slack) {}
  uint8_t* pixel(int32_t x, int32_t y) { return bytes.data() + (y * width + x) * 4; }
};

ResampleJob jobFor(const Picture& source, Picture& destination, float scale) {
  ResampleJob job;
  job.sourceWidth = source.width;
  job.sourceHeight = source.height;
  job.sourceStride = source.width * 4;
  job.sourcePixels = source.bytes.data();
  job.sourceBytes = source.bytes.size();
  job.destinationWidth = destination.width;
  job.destinationHeight = destination.height;
  job.destinationStride = destination.width * 4;
  job.destinationPixels = destination.bytes.data();
  job.scale = scale;
  return job;
}

bool untouched(Picture& picture, int32_t x, int32_t y) {
  const uint8_t* p = picture.pixel(x, y);
  return p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
}

TEST(ResampleTables, ClampTableAndByteTable) {
  const ResampleTables tables = buildResampleTables();
  EXPECT_EQ(tables.byteToFloat[0], 0.0f);
  EXPECT_EQ(tables.byteToFloat[128], 128.0f);
  EXPECT_EQ(tables.byteToFloat[255], 255.0f);

  EXPECT_EQ(tables.clampTable[0], 0);
  EXPECT_EQ(tables.clampTable[1], 1);
  EXPECT_EQ(tables.clampTable[8], 1);
  EXPECT_EQ(tables.clampTable[16], 2);  // 1.5 ties to even
  EXPECT_EQ(tables.clampTable[24], 2);
  EXPECT_EQ(tables.clampTable[4080], 256);
  for (int i = 4081; i <= 4095; ++i) EXPECT_EQ(tables.clampTable[i], 255) << i;
  EXPECT_EQ(tables.clampTable[4096], 0);
  // 16k - 1 looks up k itself for every in-range k.
  for (int k = 1; k <= 255; ++k) EXPECT_EQ(tables.clampTable[16 * k - 1], k) << k;
}

TEST(ResampleTables, WeightsAndRoundingOfTotals) {
  const auto atZero = cubicWeights(0.0f);
  EXPECT_EQ(atZero[0], 0.0f);
  EXPECT_EQ(atZero[1], 1.0f);
  EXPECT_EQ(atZero[2], 0.0f);
  EXPECT_EQ(atZero[3], 0.0f);
  const auto atHalf = cubicWeights(0.5f);
  EXPECT_NEAR(atHalf[0], -0.0625f, 1e-5f);
  EXPECT_NEAR(atHalf[1], 0.5625f, 1e-5f);
  EXPECT_NEAR(atHalf[2], 0.5625f, 1e-5f);
  EXPECT_NEAR(atHalf[3], -0.0625f, 1e-5f);

  const ResampleTables tables = buildResampleTables();
  EXPECT_EQ(resampledByte(tables, 255.4f), 255);
  EXPECT_EQ(resampledByte(tables, 255.6f), 255);
  EXPECT_EQ(resampledByte(tables, 400.0f), 255);
  EXPECT_EQ(resampledByte(tables, -3.0f), 0);
  EXPECT_EQ(resampledByte(tables, 127.5f), 128);
  EXPECT_EQ(resampledByte(tables, 126.5f), 126);
  EXPECT_EQ(resampledByte(tables, 0.4f), 0);
  EXPECT_EQ(resampledByte(tables, 0.6f), 1);
}

TEST(ResampleBicubic, ScaleOneReproducesInteriorAndSkipsTheEdges) {
  const ResampleTables tables = buildResampleTables();
  constexpr int32_t kSize = 8;
  Picture source(kSize, kSize, 16);
  for (size_t i = 0; i < source.bytes.size(); ++i) source.bytes[i] = 1 + (i * 37) % 250;
  Picture destination(kSize, kSize, 0);
  resampleBicubic(tables, jobFor(source, destination, 1.0f));

  for (int32_t y = 0; y < kSize; ++y) {
    for (int32_t x = 0; x < kSize; ++x) {
      const bool skipped = x == 0 || y == 0 || y >= kSize - 2;
      if (skipped) {
        EXPECT_TRUE(untouched(destination, x, y)) << x << "," << y;
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(destination.pixel(x, y)[c], source.pixel(x, y)[c]) << x << "," << y;
      }
      EXPECT_EQ(destination.pixel(x, y)[3], 0) << "byte 3 is never written";
    }
  }
}

// The logo case: 3000 x 300 scaled to the 1920 x 192 band (scale 1.5625).
class WideDownscale : public ::testing::Test {
 protected:
  static constexpr int32_t kSourceWidth = 3000;
  static constexpr int32_t kSourceHeight = 300;
  static constexpr int32_t kWidth = 1920;
  static constexpr int32_t kHeight = 192;

  static Picture uniformSource(size_t slack) {
    Picture source(kSourceWidth, kSourceHeight, slack);
    for (size_t i = 0; i + 3 < source.bytes.size(); i += 4) {
      source.bytes[i] = 10;
      source.bytes[i + 1] = 100;
      source.bytes[i + 2] = 200;
    }
    return source;
  }
  ResampleTables tables = buildResampleTables();
};

TEST_F(WideDownscale, SkipsFirstAndLastRowAndFirstColumnAndReadsTwoPixelsPastTheRow) {
  const Picture source = uniformSource(16);
  Picture destination(kWidth, kHeight, 0);
  resampleBicubic(tables, jobFor(source, destination, 1.5625f));

  for (int32_t x = 0; x < kWidth; ++x) {
    ASSERT_TRUE(untouched(destination, x, 0)) << x;
    ASSERT_TRUE(untouched(destination, x, kHeight - 1)) << x;
  }
  for (int32_t y = 1; y < kHeight - 1; ++y) {
    ASSERT_TRUE(untouched(destination, 0, y)) << y;
    for (int32_t x : {1, 960, kWidth - 1}) {
      const uint8_t* p = destination.pixel(x, y);
      ASSERT_EQ(p[0], 10) << x << "," << y;
      ASSERT_EQ(p[1], 100) << x << "," << y;
      ASSERT_EQ(p[2], 200) << x << "," << y;
    }
  }
}

TEST_F(WideDownscale, WithoutSlackTheLastRowsEndIsSkippedInsteadOfReadPastTheBuffer) {
  const Picture source = uniformSource(0);
  Picture destination(kWidth, kHeight, 0);
  resampleBicubic(tables, jobFor(source, destination, 1.5625f));

  // Row 190's last column taps source row 299 two pixels past its end: beyond the buffer.
  EXPECT_TRUE(untouched(destination, kWidth - 1, kHeight - 2));
  EXPECT_EQ(destination.pixel(kWidth - 2, kHeight - 2)[0], 10);
  // Earlier rows run into the next source row, which is inside the buffer.
  EXPECT_EQ(destination.pixel(kWidth - 1, kHeight - 3)[2], 200);
}

}  // namespace
}  // namespace tarn
