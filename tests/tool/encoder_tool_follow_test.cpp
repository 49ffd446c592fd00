// The encoder tool started while the converter is still writing frame files.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/process.h"
#include "support/test_media.h"
#include "tool/tool_run_support.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kMp4 = "-t 00:00:00.480 -sameq -qscale 15 -f mp4";

ChildProcess startFollowingTool(const fs::path& folder, const fs::path& output,
                                std::vector<std::string> alsoSet = {}) {
  std::vector<std::string> arguments{(binDir() / "PLUG-IN" / "ffmpeg_III.exe").string()};
  for (std::string& argument : mainEncodeArguments(folder, "25.00", true, kMp4, output)) {
    arguments.push_back(std::move(argument));
  }
  ChildProcess::Options options;
  options.stderrFile = folder / "report.txt";
  options.inputPipe = true;
  options.environment = {"FFMPEG_III_FRAMES_PENDING=1"};
  for (std::string& setting : alsoSet) options.environment.push_back(std::move(setting));
  return ChildProcess::start(arguments, options);
}

int frameFilesIn(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    count += entry.path().extension() == ".bmp" ? 1 : 0;
  }
  return count;
}

const std::vector<std::string> kSoundPendingConsumed = {"FFMPEG_III_SOUND_PENDING=1",
                                                        "FFMPEG_III_CONSUME_FRAMES=1"};

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(EncoderToolFollowingFrames, WaitsForFramesStillBeingWrittenUntilTheyAreComplete) {
  ScratchDir scratch;
  ScratchDir spare;
  writeSoundFile(scratch.path(), 0.6);
  writeFrameFiles(scratch.path(), 64, 32, 4);
  writeFrameFiles(spare.path(), 64, 32, 8, 4);
  const fs::path output = scratch / "out.mp4";
  ChildProcess tool = startFollowingTool(scratch.path(), output);
  ASSERT_TRUE(tool.started());

  // Frame 4 shows up half written, then complete; the rest follow one by one.
  std::this_thread::sleep_for(200ms);
  const std::string fourth = fileText(spare / "temp000004.bmp");
  std::ofstream(scratch / "temp000004.bmp", std::ios::binary)
      << fourth.substr(0, fourth.size() / 2);
  std::this_thread::sleep_for(100ms);
  fs::copy_file(spare / "temp000004.bmp", scratch / "temp000004.bmp",
                fs::copy_options::overwrite_existing);
  for (int number = 5; number < 12; ++number) {
    const std::string name =
        "temp0000" + std::string(number < 10 ? "0" : "") + std::to_string(number) + ".bmp";
    fs::copy_file(spare / name, scratch / name);
    std::this_thread::sleep_for(20ms);
  }
  tool.closeInput("1");
  ASSERT_EQ(tool.wait(), 0) << fileText(scratch / "report.txt");

  const std::string report = fileText(scratch / "report.txt");
  EXPECT_NE(report.find("frames read: 12\n"), std::string::npos) << report;
  const ProbeInfo info = probeFile(output);
  const auto* video = info.stream("video");
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->at("nb_read_frames"), "12");
}

TEST(EncoderToolFollowingFrames, AbandonedFramesMakeNoMovie) {
  for (const int framesWritten : {0, 3}) {
    SCOPED_TRACE(framesWritten);
    ScratchDir scratch;
    writeSoundFile(scratch.path(), 0.6);
    if (framesWritten > 0) writeFrameFiles(scratch.path(), 64, 32, framesWritten);
    const ScratchDir out;
    const fs::path output = out / "out.mp4";
    // An existing movie at the output path is kept as it was.
    if (framesWritten > 0) std::ofstream(output) << "old movie";
    ChildProcess tool = startFollowingTool(scratch.path(), output);
    ASSERT_TRUE(tool.started());
    std::this_thread::sleep_for(300ms);
    tool.closeInput();  // ended without the completion byte: the run was stopped
    EXPECT_EQ(tool.wait(), 1);
    EXPECT_NE(fileText(scratch / "report.txt")
                  .find("ffmpeg_III: error: the converter abandoned the frames\n"),
              std::string::npos);
    if (framesWritten > 0) {
      EXPECT_EQ(fileText(output), "old movie");
    } else {
      EXPECT_FALSE(fs::exists(output));
    }
    // Nothing half-written is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(out.path()), fs::directory_iterator()),
              framesWritten > 0 ? 1 : 0);
  }
}

// The encode starts while the sound is still being extracted: no frame is read (or deleted) until
// the sound file is in place, and then the movie has every frame and the sound.
TEST(EncoderToolFollowingFrames, SoundStillBeingExtractedIsWaitedForAndEncoded) {
  ScratchDir scratch;
  ScratchDir extraction;
  writeFrameFiles(scratch.path(), 64, 32, 12);
  const fs::path extracted = writeSoundFile(extraction.path(), 0.6);
  const fs::path output = scratch / "out.mp4";
  ChildProcess tool = startFollowingTool(scratch.path(), output, kSoundPendingConsumed);
  ASSERT_TRUE(tool.started());

  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(frameFilesIn(scratch.path()), 12);
  // The extraction writes under another name and renames the complete file into place.
  fs::copy_file(extracted, scratch / ".temp.part.wav");
  fs::rename(scratch / ".temp.part.wav", scratch / "temp.wav");
  tool.closeInput("1");
  ASSERT_EQ(tool.wait(), 0) << fileText(scratch / "report.txt");

  const std::string report = fileText(scratch / "report.txt");
  EXPECT_NE(report.find(" -i pipe:3 "), std::string::npos) << report;
  EXPECT_NE(report.find("frames read: 12\n"), std::string::npos) << report;
  EXPECT_EQ(frameFilesIn(scratch.path()), 0);
  const ProbeInfo info = probeFile(output);
  const auto* video = info.stream("video");
  const auto* audio = info.stream("audio");
  ASSERT_NE(video, nullptr);
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(video->at("nb_read_frames"), "12");
  // 12 frames at 25 per second: the sound (AAC frames of 1024 samples) runs as long as the picture.
  const double soundSeconds =
      std::stod(audio->at("nb_read_frames")) * 1024 / std::stod(audio->at("sample_rate"));
  EXPECT_NEAR(soundSeconds, 0.48, 0.07);
}

// A sound file that never comes: the converter abandons the frames (it never says they are
// complete while the sound is pending; if it did, the tool would end rather than wait for ever).
// Either way no movie is made and every frame file is left for the encode that follows.
TEST(EncoderToolFollowingFrames, SoundThatNeverComesMakesNoMovieAndTakesNoFrame) {
  for (const bool saidComplete : {false, true}) {
    SCOPED_TRACE(saidComplete);
    ScratchDir scratch;
    writeFrameFiles(scratch.path(), 64, 32, 4);
    const fs::path output = scratch / "out.mp4";
    ChildProcess tool = startFollowingTool(scratch.path(), output, kSoundPendingConsumed);
    ASSERT_TRUE(tool.started());
    std::this_thread::sleep_for(300ms);
    tool.closeInput(saidComplete ? "1" : "");
    EXPECT_EQ(tool.wait(), 1);
    const std::string report = fileText(scratch / "report.txt");
    EXPECT_NE(report.find(saidComplete ? "was never made" : "the converter abandoned the frames"),
              std::string::npos)
        << report;
    EXPECT_FALSE(fs::exists(output));
    EXPECT_EQ(frameFilesIn(scratch.path()), 4);
  }
}

}  // namespace
}  // namespace tarn::test
