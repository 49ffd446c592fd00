// Which way a run's frame files go: kept when they fit with the sound and a margin, consumed
// within a window otherwise, refused only when not even two frame files fit.
#include "conversion/frame_budget.h"

#include <gtest/gtest.h>

#include "conversion/conversion_run.h"

namespace tarn {
namespace {

constexpr uint64_t kGB = 1'000'000'000;

FrameBudgetInput movie(int32_t width, int32_t frames, double seconds, uint64_t available,
                       uint64_t capacity) {
  FrameBudgetInput input;
  input.frameFileBytes = frameFilesBytes(width, 1);
  input.totalFrames = frames;
  input.durationSeconds = seconds;
  input.lengthKnown = true;
  input.space = FolderSpace{available, available, capacity};
  input.folder = "/tmp/TEMP";
  return input;
}

TEST(FrameBudget, WindowIsSixtyFourFilesOrOneGigabyteAndAtLeastTwo) {
  EXPECT_EQ(frameWindowFor(frameFilesBytes(1920, 1)), 64);  // 7.37 MB: 135 would fit in 1 GB
  EXPECT_EQ(frameWindowFor(frameFilesBytes(3840, 1)), 33);  // 29.5 MB
  EXPECT_EQ(frameWindowFor(frameFilesBytes(16000, 1)), 2);  // 512 MB
  EXPECT_EQ(frameWindowFor(frameFilesBytes(64, 1)), 64);
  EXPECT_EQ(soundFileBytes(1.0), 44u + 44100u * 4u);
  EXPECT_EQ(soundFileBytes(0), 0u);
}

TEST(FrameBudget, KeptWhenFramesSoundAndMarginFitElseConsumed) {
  // A minute of 1920 x 480 at 29.97 fps: 1798 frames, 13.3 GB.
  const uint64_t frames = frameFilesBytes(1920, 1798);
  const uint64_t sound = soundFileBytes(60);
  // A 1 TB file system: the margin is 5 GB.
  FrameBudget kept = planFrameFiles(FramePolicy::keepWhenTheyFit,
                                    movie(1920, 1798, 60, frames + sound + 5 * kGB, 1000 * kGB));
  EXPECT_FALSE(kept.consume);
  EXPECT_EQ(kept.window, 0);
  EXPECT_TRUE(kept.refusal.empty());
  EXPECT_EQ(frameBudgetLogLine(kept), "Frame files: kept for another compression");
  FrameBudget consumed =
      planFrameFiles(FramePolicy::keepWhenTheyFit,
                     movie(1920, 1798, 60, frames + sound + 5 * kGB - 1, 1000 * kGB));
  EXPECT_TRUE(consumed.consume);
  EXPECT_EQ(consumed.window, 64);
  EXPECT_TRUE(consumed.refusal.empty());
  EXPECT_EQ(frameBudgetLogLine(consumed),
            "Frame files: consumed by the encoder, at most 64 on disk");
  // A 40 GB file system: the margin is a tenth of it.
  EXPECT_FALSE(planFrameFiles(FramePolicy::keepWhenTheyFit,
                              movie(1920, 1798, 60, frames + sound + 4 * kGB, 40 * kGB))
                   .consume);
  EXPECT_TRUE(planFrameFiles(FramePolicy::keepWhenTheyFit,
                             movie(1920, 1798, 60, frames + sound + 4 * kGB - 1, 40 * kGB))
                  .consume);
  // The console program always consumes; a short movie's window is no longer than the movie.
  const FrameBudget always =
      planFrameFiles(FramePolicy::alwaysConsume, movie(1920, 10, 0.4, 1000 * kGB, 2000 * kGB));
  EXPECT_TRUE(always.consume);
  EXPECT_EQ(always.window, 10);
}

TEST(FrameBudget, SmallFoldersShrinkTheWindowUnknownLengthsKeepTheFrames) {
  const uint64_t frame = frameFilesBytes(1920, 1);
  const uint64_t sound = soundFileBytes(600);
  FrameBudget three = planFrameFiles(FramePolicy::alwaysConsume,
                                     movie(1920, 17982, 600, sound + 3 * frame + 100, 10 * kGB));
  EXPECT_TRUE(three.consume);
  EXPECT_EQ(three.window, 3);
  EXPECT_TRUE(three.refusal.empty());
  FrameBudget none = planFrameFiles(FramePolicy::alwaysConsume,
                                    movie(1920, 17982, 600, sound + 2 * frame - 1, 10 * kGB));
  EXPECT_NE(none.refusal.find("Not enough free space in the temporary folder /tmp/TEMP"),
            std::string::npos);
  // Without a known length no encode can start ahead: the frames are kept, nothing is refused.
  FrameBudgetInput unknown = movie(1920, 0, 0, 100, 10 * kGB);
  unknown.lengthKnown = false;
  const FrameBudget keep = planFrameFiles(FramePolicy::alwaysConsume, unknown);
  EXPECT_FALSE(keep.consume);
  EXPECT_TRUE(keep.refusal.empty());
  // Space that cannot be read: kept, as before.
  FrameBudgetInput unread = movie(1920, 100, 4, 0, 0);
  unread.space.reset();
  EXPECT_FALSE(planFrameFiles(FramePolicy::keepWhenTheyFit, unread).consume);
}

}  // namespace
}  // namespace tarn
