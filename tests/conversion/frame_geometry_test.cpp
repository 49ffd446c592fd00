#include "conversion/frame_geometry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/run_log.h"
#include "conversion/logo_picture.h"
#include "conversion/resampler.h"
#include "support/test_media.h"

namespace tarn {
namespace {

uint32_t rowMarker(int32_t row) {
  return 0x01000000u | static_cast<uint32_t>(row + 1);
}

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct CanvasFixture : ::testing::Test {
  test::ScratchDir dir;
  RunLog log{dir / "run.log"};
  ResampleTables tables = buildResampleTables();
  LogoPicture noLogo;
  FrameGeometry geometry;

  void prepare(int32_t width, int32_t height, float shift = 0.0f,
               const LogoPicture* logo = nullptr) {
    geometry.frameWidth = width;
    geometry.frameHeight = height;
    prepareCanvas(geometry, logo ? *logo : noLogo, shift, tables, log);
  }
  const uint32_t* canvasRow(int32_t row) const {
    return geometry.canvas.data() + static_cast<size_t>(geometry.frameWidth) * row;
  }
  // A frame whose every pixel holds its own row number (+1, so no row is black).
  std::vector<uint32_t> markedFrame() const {
    std::vector<uint32_t> frame(static_cast<size_t>(geometry.frameWidth) *
                                (geometry.frameHeight + 1));
    for (int32_t row = 0; row < geometry.frameHeight; ++row) {
      std::fill_n(frame.data() + static_cast<size_t>(row) * geometry.frameWidth,
                  geometry.frameWidth, rowMarker(row));
    }
    return frame;
  }
  bool rowIs(int32_t canvasRowIndex, uint32_t value) const {
    const uint32_t* row = canvasRow(canvasRowIndex);
    return std::all_of(row, row + geometry.frameWidth, [&](uint32_t p) { return p == value; });
  }
};

TEST(CanvasSize, HeightOffsetAndShiftFollowTheRoundingRules) {
  EXPECT_EQ(canvasHeightFor(1920), 960);
  EXPECT_EQ(canvasHeightFor(1001), 500);
  EXPECT_EQ(canvasHeightFor(1002), 500);
  EXPECT_EQ(canvasHeightFor(1003), 502);
  EXPECT_EQ(canvasRowOffsetFor(960, 480), 241);
  EXPECT_EQ(canvasRowOffsetFor(960, 481), 240);
  EXPECT_EQ(canvasRowOffsetFor(960, 479), 242);
  EXPECT_EQ(shiftRowsFor(0.0f, 480), 0);
  EXPECT_EQ(shiftRowsFor(0.1f, 480), 48);
  EXPECT_EQ(shiftRowsFor(0.1f, 490), 48);  // round(49) = 49, largest even not above: 48
}

TEST(CanvasSize, PlacementClipsRowsOutsideTheCanvas) {
  const FramePlacement centred = planFramePlacement(480, 960, 241, 0);
  EXPECT_EQ(centred.destinationFirstRow, 241);
  EXPECT_EQ(centred.sourceFirstRow, 0);
  EXPECT_EQ(centred.rowCount, 478);
  EXPECT_FALSE(centred.clipped);

  const FramePlacement shifted = planFramePlacement(480, 960, 241, 48);
  EXPECT_EQ(shifted.destinationFirstRow, 193);
  EXPECT_EQ(shifted.rowCount, 480);
  EXPECT_FALSE(shifted.clipped);

  // A shift past row 0: the rows below the canvas are left out.
  const FramePlacement pushed = planFramePlacement(480, 960, 241, 288);
  EXPECT_TRUE(pushed.clipped);
  EXPECT_EQ(pushed.destinationFirstRow, 0);
  EXPECT_EQ(pushed.sourceFirstRow, 47);
  EXPECT_EQ(pushed.rowCount, 433);

  // A frame higher than the canvas: both ends are cut.
  const FramePlacement tall = planFramePlacement(1000, 960, canvasRowOffsetFor(960, 1000), 0);
  EXPECT_TRUE(tall.clipped);
  EXPECT_EQ(tall.destinationFirstRow, 0);
  EXPECT_EQ(tall.sourceFirstRow, 19);
  EXPECT_EQ(tall.rowCount, 960);

  // A negative shift that pushes the frame past the top.
  const FramePlacement up = planFramePlacement(480, 960, 241, -300);
  EXPECT_TRUE(up.clipped);
  EXPECT_EQ(up.destinationFirstRow, 541);
  EXPECT_EQ(up.rowCount, 419);

  EXPECT_EQ(planFramePlacement(2, 960, 480, 0).rowCount, 0);
}

TEST(CanvasSize, ReversePixelsTurnsARowAround) {
  const std::vector<uint8_t> row{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  EXPECT_EQ(reversePixels(row), (std::vector<uint8_t>{9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}));
  EXPECT_TRUE(reversePixels({}).empty());
}

TEST_F(CanvasFixture, UnshiftedFrameIsCentredAndTheBandsStayBlack) {
  prepare(1920, 480);
  EXPECT_EQ(geometry.canvasHeight, 960);
  const auto frame = markedFrame();
  placeFrame(geometry, frame.data());
  for (int32_t row = 0; row <= 240; ++row) ASSERT_TRUE(rowIs(row, 0)) << row;
  for (int32_t row = 241; row <= 718; ++row) ASSERT_TRUE(rowIs(row, rowMarker(row - 241))) << row;
  for (int32_t row = 719; row <= 959; ++row) ASSERT_TRUE(rowIs(row, 0)) << row;
  EXPECT_EQ(geometry.canvasImage().size(), size_t{1920} * 960 * 4);
  EXPECT_EQ(geometry.frameFileBytes(), 7372854u);
  EXPECT_EQ(geometry.frameFileHeaders.fileHeader[2], 7372854u & 0xff);
  EXPECT_EQ(geometry.frameFileHeaders.infoHeader[8], 960 & 0xff);
  EXPECT_EQ(geometry.frameFileHeaders.infoHeader[9], 960 >> 8);
  EXPECT_EQ(readAll(dir / "run.log"),
            "Checking 16x16\r\nDetermine DMEM1, DMEM2, DMEM3, DMEM4\r\n"
            "Determine DMEM1, DMEM2, DMEM3, DMEM4 END\r\nLOGO PRESENT = 0\r\n");
}

TEST_F(CanvasFixture, OddHeightAndShiftPlaceEveryRowAtItsOffset) {
  prepare(1920, 481);
  placeFrame(geometry, markedFrame().data());
  EXPECT_TRUE(rowIs(239, 0));
  EXPECT_TRUE(rowIs(240, rowMarker(0)));
  EXPECT_TRUE(rowIs(718, rowMarker(478)));
  EXPECT_TRUE(rowIs(719, 0));

  prepare(1920, 480, 0.1f);
  EXPECT_EQ(geometry.shiftRows, 48);
  placeFrame(geometry, markedFrame().data());
  EXPECT_TRUE(rowIs(192, 0));
  EXPECT_TRUE(rowIs(193, rowMarker(0)));
  EXPECT_TRUE(rowIs(672, rowMarker(479)));
  EXPECT_TRUE(rowIs(673, 0));
}

TEST_F(CanvasFixture, FrameThatDoesNotFitIsClippedAndLoggedOnce) {
  prepare(64, 100);  // far less than twice as wide as high
  EXPECT_EQ(geometry.canvasHeight, 32);
  EXPECT_TRUE(geometry.placement.clipped);
  const auto frame = markedFrame();
  placeFrame(geometry, frame.data());
  placeFrame(geometry, frame.data());
  // Row 0 of the canvas holds the frame row that falls there; the spare row above Hc stays black.
  const int32_t offset = canvasRowOffsetFor(32, 100);
  EXPECT_TRUE(rowIs(0, rowMarker(-offset)));
  EXPECT_TRUE(rowIs(31, rowMarker(31 - offset)));
  EXPECT_TRUE(rowIs(32, 0));
  const std::string logText = readAll(dir / "run.log");
  EXPECT_EQ(std::count(logText.begin(), logText.end(), '\n'), 5);
  EXPECT_NE(logText.find("Frame does not fit the canvas"), std::string::npos);
}

TEST_F(CanvasFixture, LogoBandsAreUprightAtTheNadirAndTurnedAtTheZenith) {
  LogoPicture logo;
  logo.logoPresent = 1;
  logo.logoWidth = 3000;
  logo.logoHeight = 300;
  logo.logoPixels.assign(size_t{3000} * 300 * 5, 0);
  // A picture that changes along both axes, so a turn is visible.
  for (int32_t y = 0; y < 300; ++y) {
    for (int32_t x = 0; x < 3000; ++x) {
      uint8_t* pixel = &logo.logoPixels[(static_cast<size_t>(y) * 3000 + x) * 4];
      pixel[0] = static_cast<uint8_t>(x / 12);
      pixel[1] = static_cast<uint8_t>(y * 255 / 299);
      pixel[2] = 200;
    }
  }
  prepare(1920, 480, 0.0f, &logo);
  placeFrame(geometry, markedFrame().data());
  const int32_t width = 1920;
  // B = 192: nadir rows 0..190, zenith rows 770..959; rows 191, 768 and 769 black.
  for (int32_t row = 1; row <= 190; ++row) {
    ASSERT_FALSE(rowIs(row, 0)) << row;
    ASSERT_EQ(canvasRow(row)[width - 1], canvasRow(row)[width - 2]) << row;
  }
  EXPECT_TRUE(rowIs(191, 0));
  EXPECT_TRUE(rowIs(768, 0));
  EXPECT_TRUE(rowIs(769, 0));
  for (int32_t i = 2; i <= 191; ++i) {
    const uint32_t* zenith = canvasRow(960 - 192 + i);
    const uint32_t* nadir = canvasRow(192 - i);
    for (int32_t x = 0; x < width; ++x) ASSERT_EQ(zenith[x], nadir[width - 1 - x]) << i << "," << x;
  }
  // Upright: the green level rises with the row.
  EXPECT_LT(canvasRow(10)[960] & 0xff00, canvasRow(180)[960] & 0xff00);
  EXPECT_NE(readAll(dir / "run.log").find("LOGO PRESENT = 1"), std::string::npos);
}

TEST_F(CanvasFixture, RefusedLogoLeavesTheBandsBlack) {
  LogoPicture logo;  // logoPresent 0 however its pixels look
  std::fill(logo.logoPixels.begin(), logo.logoPixels.end(), 0xff);
  prepare(320, 80, 0.0f, &logo);
  for (int32_t row = 0; row < geometry.canvasHeight; ++row) ASSERT_TRUE(rowIs(row, 0));
}

}  // namespace
}  // namespace tarn
