#include "common/rounding.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarn {
namespace {

TEST(RoundHalfEven, TiesGoToTheEvenNeighbourAndExtremesAreSafe) {
  EXPECT_EQ(roundHalfEven(0.5), 0);
  EXPECT_EQ(roundHalfEven(1.5), 2);
  EXPECT_EQ(roundHalfEven(2.5), 2);
  EXPECT_EQ(roundHalfEven(-2.5), -2);
  EXPECT_EQ(roundHalfEven(333666.67), 333667);
  EXPECT_EQ(roundHalfEven(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(roundHalfEven(1e300), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(roundHalfEven(-std::numeric_limits<double>::infinity()),
            std::numeric_limits<int64_t>::min());
}

}  // namespace
}  // namespace tarn
