#include "input/frame_callback.h"

#include <gtest/gtest.h>

#include "input/frame_source_state.h"

namespace tarn {
namespace {

TEST(FrameCallback, EntryContract) {
  FrameSourceState state;
  state.frameBuffer.assign(4, 0xAAAAAAAAu);
  state.frameWordCount = 99;
  int frames = 0;
  FrameCallback& callback = initFrameCallback(state, [&] { ++frames; });

  // Empty or missing samples are skipped without a trace.
  const uint8_t bytes[20] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0};
  callback.bufferCB(0.0, bytes, 0);
  callback.bufferCB(0.0, nullptr, 16);
  callback.bufferCB(0.0, bytes, -4);
  EXPECT_EQ(frames, 0);
  EXPECT_EQ(state.frameWordCount, 99);
  EXPECT_EQ(state.frameBuffer, ZeroedBuffer<uint32_t>(4, 0xAAAAAAAAu));

  // Only whole words: 10 bytes copy 2 words.
  callback.bufferCB(0.0, bytes, 10);
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(state.frameWordCount, 2);
  EXPECT_EQ(state.frameBuffer, (ZeroedBuffer<uint32_t>{1, 2, 0xAAAAAAAAu, 0xAAAAAAAAu}));

  // Never past the end of frameBuffer.
  callback.bufferCB(0.0, bytes, 20);
  EXPECT_EQ(frames, 2);
  EXPECT_EQ(state.frameWordCount, 5);
  EXPECT_EQ(state.frameBuffer, (ZeroedBuffer<uint32_t>{1, 2, 3, 4}));
}

// A conversion's callback works on the sample where it lies when it holds the whole W x H frame;
// a shorter one goes through frameBuffer as ever.
TEST(FrameCallback, WholeSamplesAreHandedOverWithoutACopy) {
  FrameSourceState state;
  state.sourceWidth = 2;
  state.sourceHeight = 2;
  state.frameBuffer.assign(6, 0);  // W x (H + 1)
  std::vector<const uint32_t*> handed;
  std::vector<uint32_t> firstWords;
  FrameCallback& callback = initSampleFrameCallback(state, [&](const uint32_t* frame) {
    handed.push_back(frame);
    firstWords.push_back(frame[0]);
  });
  const uint32_t whole[4] = {7, 8, 9, 10};
  callback.bufferCB(0.5, reinterpret_cast<const uint8_t*>(whole), sizeof whole);
  ASSERT_EQ(handed.size(), 1u);
  EXPECT_EQ(handed[0], whole);
  EXPECT_EQ(state.frameWordCount, 4);
  EXPECT_EQ(state.frameTicks, 5'000'000);
  EXPECT_EQ(state.frameBuffer, ZeroedBuffer<uint32_t>(6, 0));

  const uint32_t part[3] = {1, 2, 3};
  callback.bufferCB(0.0, reinterpret_cast<const uint8_t*>(part), sizeof part);
  ASSERT_EQ(handed.size(), 2u);
  EXPECT_EQ(handed[1], state.frameBuffer.data());
  EXPECT_EQ(firstWords[1], 1u);
  EXPECT_EQ(state.frameBuffer, (ZeroedBuffer<uint32_t>{1, 2, 3, 0, 0, 0}));
}

TEST(FrameCallback, OneStaticObjectRetargetedForEachRun) {
  FrameSourceState first;
  FrameSourceState second;
  first.frameBuffer.assign(1, 0);
  second.frameBuffer.assign(1, 0);
  int firstFrames = 0;
  int secondFrames = 0;
  FrameCallback& a = initFrameCallback(first, [&] { ++firstFrames; });
  FrameCallback& b = initFrameCallback(second, [&] { ++secondFrames; });
  EXPECT_EQ(&a, &b);
  const uint32_t word = 42;
  a.bufferCB(0.0, reinterpret_cast<const uint8_t*>(&word), 4);
  EXPECT_EQ(firstFrames, 0);
  EXPECT_EQ(secondFrames, 1);
  EXPECT_EQ(second.frameBuffer[0], 42u);
  EXPECT_EQ(first.frameBuffer[0], 0u);
}

}  // namespace
}  // namespace tarn
