#include "common/streaming_copy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tarn {
namespace {

// Every alignment of either end, sizes around the smallest streamed copy and with partial heads
// and tails: the bytes copied are exactly the source's, and not one byte around them changes.
TEST(StreamingCopy, CopiesExactlyAtEveryAlignment) {
  std::vector<uint8_t> source(9000);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7 + 3);
  for (const size_t size : {size_t{0}, size_t{1}, size_t{255}, size_t{256}, size_t{257},
                            size_t{1000}, size_t{4096 + 13}}) {
    for (size_t to = 0; to < 70; to += 3) {
      for (const size_t from : {size_t{0}, size_t{1}, size_t{54}}) {
        std::vector<uint8_t> destination(size + 200, 0xAB);
        copyStreaming(destination.data() + to, source.data() + from, size);
        for (size_t i = 0; i < destination.size(); ++i) {
          const bool inside = i >= to && i < to + size;
          const uint8_t expected = inside ? source[from + i - to] : 0xAB;
          ASSERT_EQ(destination[i], expected)
              << "size " << size << " to " << to << " from " << from << " at " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarn
