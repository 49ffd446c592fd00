#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "encoding/encoder_runs.h"
#include "support/recording_tool.h"
#include "support/test_media.h"

namespace tarn {
namespace {

bool waitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000 && !condition(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

TEST(AudioExtraction, StopEndsOnlyTheRunningExtraction) {
  test::ScratchDir program;
  test::installRecordingTool(program.path(), "exec sleep 600");
  EncoderRuns runs;
  const ToolCommand command =
      audioExtractionCommand(program.path().string(), "/v/in.mov", program.path().string());
  startAudioExtraction(runs, command);
  ASSERT_TRUE(waitFor([&] {
    std::lock_guard lock(runs.mutex);
    return runs.audioProcess != nullptr;
  }));
  stopAudioExtraction(runs);
  joinAudioExtraction(runs);  // returns because the process was ended
  std::lock_guard lock(runs.mutex);
  EXPECT_EQ(runs.audioProcess, nullptr);
}

TEST(AudioExtraction, StopAfterTheEndOrDuringTheStartIsHarmless) {
  test::ScratchDir program;
  test::installRecordingTool(program.path());
  EncoderRuns runs;
  const ToolCommand command =
      audioExtractionCommand(program.path().string(), "/v/in.mov", program.path().string());
  startAudioExtraction(runs, command);
  joinAudioExtraction(runs);
  stopAudioExtraction(runs);  // nothing left to end
  EXPECT_EQ(test::recordedRuns(program.path()).size(), 1u);

  // A stop that comes at once still ends a long extraction, however far its start has got.
  test::installRecordingTool(program.path(), "exec sleep 600");
  startAudioExtraction(runs, command);
  stopAudioExtraction(runs);
  joinAudioExtraction(runs);
  SUCCEED();
}

TEST(AudioExtraction, DestroyingTheRecordJoinsItsWorkers) {
  test::ScratchDir program;
  test::installRecordingTool(program.path(), "exec sleep 600");
  {
    EncoderRuns runs;
    startAudioExtraction(runs, audioExtractionCommand(program.path().string(), "/v/in.mov",
                                                      program.path().string()));
  }
  SUCCEED();
}

}  // namespace
}  // namespace tarn
