#include "input/media_probe.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>

#include "input/frame_rate.h"
#include "support/numbered_movies.h"
#include "support/recording_tool.h"
#include "support/test_media.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

TEST(MediaProbe, KeptLinesOfAReport) {
  test::ScratchDir dir;
  const std::string nul(1, '\0');
  {
    std::ofstream report(dir / "metrixVideoQuillon.txt", std::ios::binary);
    report << "ffmpeg version 5.1\r\n"
           << "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from '/v/Pano.MP4':\r\n"
           << "  Duration: 00:00:10.00, start: 0.000000, bitrate: 15 kb/s\r\n"
           << "  Stream #0:0[0x1](und): Video: h264 (High), yuv420p, 160x48, 25 fps, 25 tbr:\r\n"
           << "    Metadata:\r\n"
           << "  STREAM #0:1(ENG): Audio: aac (LC), 44100 Hz, stereo" << nul << "  \n"
           << "  Stream #0:2: Data: none\n"
           << "Input #1, wav, from 'x.wav':\n"
           << "  Stream #1:0: Audio: pcm_s16le\n"
           << ":stream #0:0: tagged with a leading colon\n"
           << "At least one output file must be specified";  // no final line end
  }
  std::ifstream report(dir / "metrixVideoQuillon.txt", std::ios::binary);
  const std::string text = probeTextFromReport("Pano.MP4", report);
  EXPECT_EQ(text,
            " Video file: Pano.MP4\r\n"
            "\r\nduration: 00:00:10.00, start: 0.000000, bitrate: 15 kb/s"
            "\r\nstream #0:0[0x1](und): video: h264 (high), yuv420p, 160x48, 25 fps, 25 tbr"
            "\r\nstream #0:1(eng): audio: aac (lc), 44100 hz, stereo");
  EXPECT_DOUBLE_EQ(probeFrameRate(text), 25.0);

  std::istringstream empty;
  EXPECT_EQ(probeTextFromReport("a.mp4", empty), " Video file: a.mp4\r\n");
}

TEST(MediaProbe, FileNamePart) {
  EXPECT_EQ(fileNamePart("/v/clips/pano.mp4"), "pano.mp4");
  EXPECT_EQ(fileNamePart(R"(C:\v\pano.mp4)"), "pano.mp4");
  EXPECT_EQ(fileNamePart("c:pano.mp4"), "pano.mp4");
  EXPECT_EQ(fileNamePart("pano.mp4"), "pano.mp4");
}

// The real encoder tool of this build describes a movie whose path holds characters a command
// interpreter would act on.
TEST(MediaProbe, ProbesThroughTheEncoderToolWithAnyPath) {
  test::ScratchDir dir;
  const fs::path exeFolder = test::binDir();
  ASSERT_TRUE(fs::exists(exeFolder / "PLUG-IN" / "ffmpeg_III.exe"));
  const fs::path folder = dir / R"(it's "$HOME" `id` %PATH% ; & x)";
  fs::create_directories(folder);
  const fs::path movie = folder / "pano $(touch pwned).mp4";
  fs::copy_file(test::numberedMoviePath(test::numberedMovie("numbered.mp4")), movie);

  std::string probeText = "old";
  ASSERT_TRUE(probeMovie("  " + movie.string() + " ", exeFolder, probeText));
  EXPECT_EQ(probeText.rfind(" Video file: pano $(touch pwned).mp4\r\n\r\n", 0), 0u) << probeText;
  EXPECT_NE(probeText.find("\r\nduration: 00:00:02.00"), std::string::npos) << probeText;
  EXPECT_NE(probeText.find("\r\nstream #0:0"), std::string::npos) << probeText;
  EXPECT_NE(probeText.find("\r\nstream #0:1"), std::string::npos) << probeText;
  EXPECT_DOUBLE_EQ(probeFrameRate(probeText), 25.0);
  EXPECT_FALSE(fs::exists(exeFolder / "metrixVideoQuillon.txt"));
  EXPECT_FALSE(fs::exists(exeFolder / "tempQuillon.bat"));
  EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
  EXPECT_FALSE(fs::exists(folder / "pwned"));
}

TEST(MediaProbe, NothingToProbeLeavesTheTextAlone) {
  test::ScratchDir dir;
  std::string probeText = "kept";
  EXPECT_FALSE(probeMovie("", dir.path(), probeText));
  EXPECT_FALSE(probeMovie("    ", dir.path(), probeText));
  EXPECT_FALSE(probeMovie((dir / "missing.mp4").string(), dir.path(), probeText));
  EXPECT_EQ(probeText, "kept");
  EXPECT_FALSE(fs::exists(dir / "metrixVideoQuillon.txt"));
}

TEST(MediaProbe, OnlyRegularFilesAndNeverLongerThanTheLimit) {
  test::ScratchDir dir;
  std::string probeText = "kept";
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  EXPECT_FALSE(probeMovie((dir / "fifo").string(), dir.path(), probeText));
  EXPECT_FALSE(probeMovie(dir.path().string(), dir.path(), probeText));
  EXPECT_EQ(probeText, "kept");

  // A tool that never answers is ended at the limit; a link where the report goes is replaced.
  test::installRecordingTool(dir.path(), "exec sleep 600");
  std::ofstream(dir / "victim") << "keep";
  fs::create_symlink(dir / "victim", dir / "metrixVideoQuillon.txt");
  const fs::path movie = test::numberedMoviePath(test::numberedMovie("numbered.mp4"));
  ASSERT_TRUE(probeMovie(movie.string(), dir.path(), probeText, {}, std::chrono::seconds(1)));
  EXPECT_EQ(probeText,
            " Video file: numbered.mp4\r\n\r\nno answer from the encoder tool within 1 s");
  std::ifstream victim(dir / "victim");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "metrixVideoQuillon.txt")));
}

TEST(MediaProbe, MissingToolGivesTheHeaderOnly) {
  test::ScratchDir dir;  // an exe folder without PLUG-IN
  const fs::path movie = test::numberedMoviePath(test::numberedMovie("numbered.mp4"));
  // A report left by an earlier run is not taken for this one.
  std::ofstream(dir / "metrixVideoQuillon.txt") << "  Stream #0:0: Video: h264, 30 fps, 30 tbr\n";
  std::string probeText;
  ASSERT_TRUE(probeMovie(movie.string(), dir.path(), probeText));
  EXPECT_EQ(probeText, " Video file: numbered.mp4\r\n");
  EXPECT_FALSE(fs::exists(dir / "metrixVideoQuillon.txt"));
}

}  // namespace
}  // namespace tarn
