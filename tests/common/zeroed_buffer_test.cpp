#include "common/zeroed_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace tarn {
namespace {

// The buffer relies on calloc for its zeros instead of filling: it must read as zero even where
// the allocator hands back a block that held other data, and a new size by `assign` shows only
// the value given.
TEST(ZeroedBuffer, ReadsAsZeroUntilWrittenEvenInReusedMemory) {
  for (const size_t count : {size_t{16}, size_t{4096}, size_t{1} << 22}) {
    void* used = std::malloc(count * sizeof(uint32_t));
    ASSERT_NE(used, nullptr);
    std::memset(used, 0xA5, count * sizeof(uint32_t));
    std::free(used);

    ZeroedBuffer<uint32_t> buffer(count);
    ASSERT_EQ(buffer.size(), count);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(buffer[i], 0u) << "count " << count << " at " << i;
    buffer.back() = 9;
    buffer.assign(count / 2, 3u);
    buffer.assign(count, 0u);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(buffer[i], 0u) << "reassigned, at " << i;
  }
  EXPECT_EQ(ZeroedBuffer<uint8_t>(3, 5), (ZeroedBuffer<uint8_t>{5, 5, 5}));
  EXPECT_TRUE(ZeroedBuffer<uint8_t>(0).empty());
}

}  // namespace
}  // namespace tarn
