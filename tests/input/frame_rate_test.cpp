#include "input/frame_rate.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

std::string streamLine(const std::string& numbers) {
  return " Video file: a.mov\r\n\r\nstream #0:0(eng): video: h264 (high), yuv420p, 1920x480, " +
         numbers + ", 90k tbn\r\nduration: 00:00:10.00, start: 0.000000";
}

TEST(FrameRate, NumberBetweenFpsAndTbr) {
  EXPECT_DOUBLE_EQ(probeFrameRate(streamLine("25 fps, 25 tbr")), 25.0);
  EXPECT_DOUBLE_EQ(probeFrameRate(streamLine("29.97 fps, 29.97 tbr")), 29.97);
  // The value before "tbr" counts, not the one before "fps,".
  EXPECT_DOUBLE_EQ(probeFrameRate(streamLine("29.97 fps, 59.94 tbr")), 59.94);
  EXPECT_DOUBLE_EQ(probeFrameRate(streamLine("23.98 fps,    23.976 tbr")), 23.976);
  // Only the first "fps," of the whole text.
  EXPECT_DOUBLE_EQ(probeFrameRate(streamLine("25 fps, 25 tbr") + "\r\nstream #0:1: 30 fps, 30 tbr"),
                   25.0);
  // No "tbr": the rest of the text is read.
  EXPECT_DOUBLE_EQ(probeFrameRate("x 12 fps, 12.5"), 12.5);
  EXPECT_DOUBLE_EQ(probeFrameRate(""), 0.0);
  EXPECT_DOUBLE_EQ(probeFrameRate(" Video file: a.mp4\r\n"), 0.0);
  EXPECT_DOUBLE_EQ(probeFrameRate("30 fps, tbr"), 0.0);
  EXPECT_DOUBLE_EQ(probeFrameRate("fps, 1k tbr"), 1.0);
  EXPECT_DOUBLE_EQ(probeFrameRate("fps, . tbr"), 0.0);
  EXPECT_DOUBLE_EQ(probeFrameRate("fps, -5 tbr"), -5.0);
}

TEST(FrameRate, WorkedValuesOfATenSecondMovie) {
  struct Row {
    double rate;
    int64_t timePerFrame;
    const char* fps;
    int32_t frames;
  };
  for (const Row& row : {Row{29.97, 333667, "29.97", 299}, Row{25, 400000, "25.00", 250},
                         Row{24, 416667, "24.00", 239}, Row{23.976, 417084, "23.98", 239},
                         Row{59.94, 166834, "59.94", 599}}) {
    const int64_t timePerFrame = frameDurationTicks(row.rate, 123);
    EXPECT_EQ(timePerFrame, row.timePerFrame) << row.rate;
    EXPECT_EQ(fpsText(timePerFrame), row.fps) << row.rate;
    EXPECT_EQ(frameCountOf(100'000'000, timePerFrame), row.frames) << row.rate;
  }
  EXPECT_EQ(fpsText(2'000'000), "05.00");  // the two-digit mask below 10
  EXPECT_EQ(fpsText(10'000'000 / 120), "120.00");
}

TEST(FrameRate, FallsBackToTheDecoderAndNeverToZero) {
  EXPECT_EQ(frameDurationTicks(0.0, 333667), 333667);
  EXPECT_EQ(frameDurationTicks(-5.0, 333667), 333667);
  // Neither the probe nor the decoder knows: 25 frames per second keeps count and rate defined.
  EXPECT_EQ(frameDurationTicks(0.0, 0), 400000);
  EXPECT_EQ(frameDurationTicks(1e300, 0), 400000);
  EXPECT_EQ(frameDurationTicks(1e-300, 0), 400000);
  EXPECT_EQ(frameCountOf(100'000'000, 0), 0);
  EXPECT_EQ(frameCountOf(0, 400000), 0);
  EXPECT_EQ(frameCountOf(INT64_MAX, 10), INT32_MAX);
  EXPECT_EQ(fpsText(0), "00.00");
}

TEST(FrameRate, DecimalTextHasNoBlanksAndUpTo15Digits) {
  EXPECT_EQ(decimalText(2.0), "2");
  EXPECT_EQ(decimalText(10.01), "10.01");
  EXPECT_EQ(decimalText(0.0333667), "0.0333667");
  EXPECT_EQ(decimalText(1.0 / 3.0), "0.333333333333333");
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

TEST(FrameRate, TheStreamsExactRateCountsAndPlacesFrames) {
  // 90 frames at 30000/1001 last 3.003 s; the frame time rounded to ticks would count 89.
  const ExactRate ntsc = exactRateFor(333667, 30000, 1001);
  ASSERT_TRUE(ntsc.known());
  EXPECT_EQ(frameCountOf(30'030'000, 333667, ntsc), 90);
  EXPECT_EQ(frameCountOf(30'030'000, 333667), 89);
  EXPECT_EQ(frameCountOf(30'029'999, 333667, ntsc), 89);  // rounded down, as always
  // A rate that does not agree with the frame time in use is not used.
  EXPECT_FALSE(exactRateFor(400000, 30000, 1001).known());
  EXPECT_FALSE(exactRateFor(333667, 0, 1).known());
  // Slots: the nearest constant-rate frame, exact over an hour of NTSC frames.
  EXPECT_EQ(frameSlotAt(ticksOfFrameSlot(107892, 333667, ntsc), 333667, ntsc), 107892);
  EXPECT_EQ(frameSlotAt(1'000'000, 400000), 3);  // 2.5 slots: halves go up
  EXPECT_EQ(frameSlotAt(-5, 400000), 0);
  EXPECT_EQ(ticksOfFrameSlot(90, 333667, ntsc), 30'030'000);
}

}  // namespace
}  // namespace tarn
