// Whole tarn-convert runs on movies as they come: slow, cut, without a length, with varying frame
// times. The output is judged as a user would judge it, with ffprobe.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "support/conversion_rig.h"
#include "support/tarn_convert_run.h"
#include "support/test_media.h"

namespace tarn {
namespace {
namespace fs = std::filesystem;
using test::quoted;

std::string fileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

double probeSeconds(const fs::path& movie, const std::string& entries) {
  std::string out;
  test::runShell("ffprobe -v error -select_streams v:0 -show_entries " + entries +
                     " -of default=noprint_wrappers=1:nokey=1 " + quoted(movie.string()),
                 &out);
  return out.empty() ? -1.0 : std::atof(out.c_str());
}

// The time of the last video frame of `movie`.
double lastFrameSeconds(const fs::path& movie) {
  std::string out;
  test::runShell("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 " +
                     quoted(movie.string()) + " | tail -n 1",
                 &out);
  return out.empty() ? -1.0 : std::atof(out.c_str());
}

std::string convertArguments(const fs::path& movie, const fs::path& output,
                             const test::ScratchDir& dir) {
  // -y: an existing output may be replaced, and only by a complete movie.
  return "-y " + quoted(movie.string()) + " " + quoted(output.string()) + " --temp " +
         quoted((dir / "temp").string());
}

int frameFilesIn(const fs::path& folder) {
  int count = 0;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.path().extension() == ".bmp") ++count;
  }
  return count;
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(HonestResults, AReadThatStallsIsWaitedForAndEveryFrameConverted) {
  test::ScratchDir dir;
  const fs::path movie = test::stripMovie(320, 80, 3);
  const fs::path output = dir / "out.mov";
  // Half-way through, one read of the movie takes longer than the run's stall limit.
  const std::string slowDisk = "LD_PRELOAD=" + quoted(TARN_SLOW_READ_SHIM) +
                               " TARN_SLOW_READ_PATH=" + quoted(movie.string()) +
                               " TARN_SLOW_READ_AFTER=" + std::to_string(fs::file_size(movie) / 2) +
                               " TARN_SLOW_READ_SECONDS=18";
  const test::TarnConvertRun run =
      test::runTarnConvert(convertArguments(movie, output, dir), slowDisk);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::decodedFrames(output), test::decodedFrames(movie));
  EXPECT_EQ(test::probeField(output, "a", "codec_type"), "audio");
}
#endif

TEST(HonestResults, AMovieCutShortIsConvertedAsFarAsItGoesAndNeverCalledSuccessful) {
  test::ScratchDir dir;
  // The movie header comes first, so the cut file opens and says it is 4 s long.
  const fs::path whole = test::generatedMedia(
      "cut-source-4s.mp4",
      "-f lavfi -i testsrc2=size=320x80:rate=25 -f lavfi -i sine=frequency=440 -t 4 -c:v libx264 "
      "-pix_fmt yuv420p -preset ultrafast -c:a aac -shortest -movflags +faststart");
  const fs::path cut = dir / "cut.mp4";
  fs::copy_file(whole, cut);
  fs::resize_file(cut, fs::file_size(whole) / 2);
  const fs::path output = dir / "out.mov";

  const test::TarnConvertRun run = test::runTarnConvert(convertArguments(cut, output, dir));
  EXPECT_EQ(run.status, 3) << run.output;
  EXPECT_EQ(run.output.find("Movie converted successfully."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("could not be read to its end"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(" of 100 frames"), std::string::npos) << run.output;
  // What was read is kept, picture and sound of the same length.
  const int frames = test::decodedFrames(output);
  EXPECT_GT(frames, 10);
  EXPECT_LT(frames, 100);
  const double audio = probeSeconds(output, "format=duration");
  EXPECT_NEAR(audio, frames / 25.0, 0.2);
}

TEST(HonestResults, AStreamWithoutLengthIsConvertedWholeAndAStillPictureRefused) {
  test::ScratchDir dir;
  const fs::path raw = test::generatedMedia(
      "raw-60-frames.h264",
      "-f lavfi -i testsrc2=size=320x80:rate=25 -frames:v 60 -c:v libx264 -pix_fmt yuv420p "
      "-preset ultrafast -f h264");
  const fs::path output = dir / "raw.avi";
  const test::TarnConvertRun run = test::runTarnConvert(convertArguments(raw, output, dir));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::decodedFrames(output), 60);

  const fs::path picture =
      test::generatedMedia("still-320x80.png", "-f lavfi -i testsrc2=size=320x80 -frames:v 1");
  const test::TarnConvertRun still =
      test::runTarnConvert(convertArguments(picture, dir / "still.mov", dir));
  EXPECT_EQ(still.status, 1) << still.output;
  EXPECT_NE(still.output.find("Unsupported media type!"), std::string::npos) << still.output;
  EXPECT_FALSE(fs::exists(dir / "still.mov"));
}

TEST(HonestResults, FrameTimesAndRatesAreKept) {
  test::ScratchDir dir;
  // Frames 20 to 40 left out with their times kept: a movie whose frame times vary, 3 s long.
  const fs::path varying = test::generatedMedia(
      "varying-rate-3s.mkv",
      "-f lavfi -i testsrc2=size=320x80:rate=30 -f lavfi -i sine=frequency=440 -t 3 "
      "-vf select='not(between(n\\,20\\,40))' -fps_mode passthrough -c:v libx264 "
      "-pix_fmt yuv420p -preset ultrafast -c:a aac -shortest");
  const fs::path varyingOut = dir / "varying.mov";
  const test::TarnConvertRun run = test::runTarnConvert(convertArguments(varying, varyingOut, dir));
  ASSERT_EQ(run.status, 0) << run.output;
  const std::string rate = test::probeField(varyingOut, "v", "r_frame_rate");  // "30/1"
  const double frameTime =
      std::atof(rate.substr(rate.find('/') + 1).c_str()) / std::atof(rate.c_str());
  EXPECT_NEAR(lastFrameSeconds(varyingOut), lastFrameSeconds(varying), 1.5 * frameTime);
  EXPECT_NEAR(probeSeconds(varyingOut, "format=duration"), 3.0, 0.15);

  // 90 frames at 30000/1001: 3.003 s, every frame kept; an old file at the output path is
  // replaced by the complete movie.
  const fs::path ntsc = test::generatedMedia(
      "ntsc-90-frames.mov",
      "-f lavfi -i testsrc2=size=320x80:rate=30000/1001 -frames:v 90 -c:v libx264 -pix_fmt "
      "yuv420p -preset ultrafast");
  const fs::path ntscOut = dir / "ntsc.mov";
  std::ofstream(ntscOut) << "an older movie";
  const test::TarnConvertRun exact = test::runTarnConvert(
      convertArguments(ntsc, ntscOut, dir) + " --log " + quoted((dir / "run.log").string()));
  ASSERT_EQ(exact.status, 0) << exact.output;
  EXPECT_EQ(test::decodedFrames(ntscOut), 90);
  EXPECT_NE(fileText(dir / "run.log").find("-t 00:00:03.003"), std::string::npos);
}

TEST(HonestResults, WhatStopsTheEncodeIsSaidBeforeTheFramesAndOldFilesStay) {
  test::ScratchDir dir;
  const fs::path movie = test::stripMovie(320, 80, 1);
  const fs::path output = dir / "out.mp4";
  std::ofstream(output) << "the user's earlier movie";

  const test::TarnConvertRun noFfmpeg =
      test::runTarnConvert(convertArguments(movie, output, dir), "PATH=/nonexistent");
  EXPECT_EQ(noFfmpeg.status, 1) << noFfmpeg.output;
  EXPECT_NE(noFfmpeg.output.find("Output movie was not created."), std::string::npos);
  EXPECT_NE(noFfmpeg.output.find("ffmpeg is not installed"), std::string::npos) << noFfmpeg.output;
  EXPECT_EQ(fileText(output), "the user's earlier movie");
  EXPECT_EQ(frameFilesIn(dir / "temp"), 0);

  const test::TarnConvertRun noFolder =
      test::runTarnConvert(convertArguments(movie, dir / "missing" / "out.mp4", dir));
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_NE(noFolder.output.find("does not exist"), std::string::npos) << noFolder.output;
}

}  // namespace
}  // namespace tarn
