#include "conversion/timing_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tarn {
namespace {

TEST(TimingText, ClockFields) {
  EXPECT_EQ(formatClock(0), "00:00:00");
  EXPECT_EQ(formatClock(60), "00:01:00");
  EXPECT_EQ(formatClock(75), "00:01:15");
  EXPECT_EQ(formatClock(3599), "00:59:59");
  EXPECT_EQ(formatClock(3600), "01:00:00");
  EXPECT_EQ(formatClock(3725), "01:02:05");
  EXPECT_EQ(formatClock(360000), "100:00:00");
  EXPECT_EQ(formatClock(std::numeric_limits<int32_t>::max()), "596523:14:07");
  EXPECT_EQ(formatClock(-1), "00:00:00");
  EXPECT_EQ(formatClock(std::numeric_limits<int32_t>::min()), "00:00:00");
}

TEST(TimingText, EightCharacterTexts) {
  EXPECT_EQ(fitToEightCharacters(formatClock(360000)), "100:00:0");
  EXPECT_EQ(fitToEightCharacters(formatClock(3725)), "01:02:05");
  EXPECT_EQ(fitToEightCharacters("00.00.00"), "00.00.00");
}

TEST(TimingText, DurationWithMilliseconds) {
  EXPECT_EQ(formatDuration(83.25), "00:01:23.250");
  EXPECT_EQ(formatDuration(0.0), "00:00:00.000");
  EXPECT_EQ(formatDuration(3661.001), "01:01:01.001");
  EXPECT_EQ(formatDuration(0.0005), "00:00:00.000");  // tie to even
  EXPECT_EQ(formatDuration(0.0015), "00:00:00.002");
  EXPECT_EQ(formatDuration(360000.5), "100:00:00.500");
  // Fractions from 0.9995 round to 1000 ms and carry into the seconds, minutes and hours.
  EXPECT_EQ(formatDuration(59.9996), "00:01:00.000");
  EXPECT_EQ(formatDuration(3599.9999), "01:00:00.000");
  EXPECT_EQ(formatDuration(1.9994), "00:00:01.999");
  EXPECT_EQ(formatDuration(-2.5), "00:00:00.000");
  EXPECT_EQ(formatDuration(std::nan("")), "00:00:00.000");
  EXPECT_EQ(formatDuration(std::numeric_limits<double>::infinity()), "00:00:00.000");
}

}  // namespace
}  // namespace tarn
